"""One idle wait, then one whole run through bindings/python; prints one JSON line.

own_threads_cpu_ms is the CPU time the interpreter's own threads spent during
the run: the library's threads end with the run, so the threads left after it
are the interpreter's (read from /proc/self/task/*/stat, in clock ticks). A
run cancelled at once goes first, so first-use costs are not counted.
"""

import json
import os
import sys
import time

import quorvane

TICK_MS = 1000 / os.sysconf("SC_CLK_TCK")


def thread_ticks():
    ticks = {}
    for tid in os.listdir("/proc/self/task"):
        try:
            with open(f"/proc/self/task/{tid}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except FileNotFoundError:
            continue
        ticks[tid] = int(fields[11]) + int(fields[12])  # utime + stime
    return ticks


def cpu_ms_since(before):
    after = thread_ticks()
    return sum(now - before.get(tid, 0) for tid, now in after.items()) * TICK_MS


def main():
    idle_s = float(sys.argv[1])
    bench = quorvane.Quorvane()
    # A run cancelled at once first, so first-use costs stay out of the figures.
    bench.start()
    bench.cancel()
    bench.wait(0.01)
    bench.results()
    before = thread_ticks()
    time.sleep(idle_s)
    idle_cpu_ms = cpu_ms_since(before)
    before = thread_ticks()
    started = time.monotonic()
    report = bench.run()
    wall_ms = (time.monotonic() - started) * 1000
    print(json.dumps({"binding": "python", "int_multi_mops": report["int_multi_mops"],
                      "fp_multi_mflops": report["fp_multi_mflops"], "run_ms": round(wall_ms),
                      "own_threads_cpu_ms": cpu_ms_since(before), "idle_ms": idle_s * 1000,
                      "idle_cpu_ms": idle_cpu_ms}))


if __name__ == "__main__":
    main()
