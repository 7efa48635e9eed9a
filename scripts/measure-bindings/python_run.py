"""One idle wait, then one whole run through bindings/python; prints one JSON line.

Two clocks of the process's CPU time, each over the idle wait and over the run:
own_threads: the threads left after the run, from /proc/self/task/*/stat in
clock ticks. The library's threads end with the run, so these are the
interpreter's own. process: getrusage(RUSAGE_SELF), in microseconds; it counts
the library's threads too, so it shows the host's own cost only against a
stand-in library that has none. A run cancelled at once goes first, so
first-use costs are not counted.
"""

import json
import os
import resource
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


def process_ms():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return (usage.ru_utime + usage.ru_stime) * 1000


class CpuWindow:
    def __init__(self):
        self.ticks, self.process, self.started = thread_ticks(), process_ms(), time.monotonic()

    def close(self, name, row):
        after = thread_ticks()
        row[f"{name}_ms"] = round((time.monotonic() - self.started) * 1000)
        row[f"{name}_own_threads_cpu_ms"] = sum(
            now - self.ticks.get(tid, 0) for tid, now in after.items()) * TICK_MS
        row[f"{name}_process_cpu_ms"] = round(process_ms() - self.process, 3)


def main():
    idle_s = float(sys.argv[1])
    bench = quorvane.Quorvane()
    bench.start()
    bench.cancel()
    bench.wait(0.01)
    bench.results()
    row = {"binding": "python"}
    window = CpuWindow()
    time.sleep(idle_s)
    window.close("idle", row)
    window = CpuWindow()
    report = bench.run()
    window.close("run", row)
    row.update(int_multi_mops=report["int_multi_mops"], fp_multi_mflops=report["fp_multi_mflops"])
    print(json.dumps(row))


if __name__ == "__main__":
    main()
