#!/usr/bin/env bash
# One whole run through the command-line host and through each binding
# (Python, .NET on Mono, Node), one after another in one session, and what
# each host's polling costs.
#
#   bash scripts/measure-bindings.sh [BUILD_DIR]     (default build/release)
#
# Needs the library and the host built in BUILD_DIR, g++, python3, mcs and
# mono, node and npm. Takes about three minutes.
#
# 1. The real library: int_multi_mops and fp_multi_mflops of one whole run per
#    host, and the CPU time of the host's own threads during it. The library's
#    threads exist only during a run, so a host process's threads that are
#    left after the run are the host's own; their CPU time comes from
#    /proc/PID/task/*/stat in clock ticks (10 ms), so a cost below a tick
#    reads 0. For the C host it is its main thread over its whole life,
#    sampled every 50 ms.
# 2. A stand-in library (measure-bindings/timed_library.cpp) whose run lasts
#    STAND_IN_S seconds (default 10) and has no thread of its own, so all of
#    the process's CPU time (getrusage, in microseconds) is the host's. Each
#    binding's process also waits idle for as long with no run: the
#    difference is what polling costs. The C host is timed from outside, and
#    its idle comparison is the same command with a run of 0 ms.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-${root}/build/release}" && pwd)"
stand_in_s="${STAND_IN_S:-10}"
drivers="${root}/scripts/measure-bindings"
library="${build}/bin/libmorvatic-quorvane-cpu-benchmark.so"
host="${build}/bin/quorvane"
for needed in "${library}" "${host}"; do
  [[ -f "${needed}" ]] || { echo "missing ${needed}: build the release preset first" >&2; exit 2; }
done
CLK_TCK="$(getconf CLK_TCK)"
export CLK_TCK
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT

# The stand-in carries the library's soname, so that the .NET binding's
# DllImport binds to it once loaded.
g++ -std=c++17 -O2 -shared -fPIC -fvisibility=hidden -Wl,-soname,libmorvatic-quorvane-cpu-benchmark.so.1 \
    -o "${work}/timed-library.so" "${drivers}/timed_library.cpp"
mcs -nologo -r:System.Runtime.Serialization.dll -out:"${work}/DotnetRun.exe" \
    "${root}/bindings/dotnet/Quorvane.cs" "${drivers}/DotnetRun.cs"
[[ -d "${root}/bindings/node/node_modules/koffi" ]] ||
  (cd "${root}/bindings/node" && npm ci --prefer-offline --no-audit --no-fund >&2)

# The real library through the C host: its main thread polls every 50 ms.
c_host_run() {
  "${host}" --json -q >"${work}/c.json" &
  local pid=$! ticks=0 sample started=${EPOCHREALTIME}
  while sample="$(awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/${pid}/task/${pid}/stat" 2>/dev/null)" &&
        [[ -n "${sample}" ]]; do
    ticks=${sample}
    sleep 0.05
  done
  wait "${pid}"
  local ended=${EPOCHREALTIME}
  python3 - "${work}/c.json" "${ticks}" "${started}" "${ended}" <<'PY'
import json, os, sys
report = json.load(open(sys.argv[1]))
print(json.dumps({"binding": "C host", "int_multi_mops": report["int_multi_mops"],
                  "fp_multi_mflops": report["fp_multi_mflops"],
                  "run_ms": round((float(sys.argv[4]) - float(sys.argv[3])) * 1000),
                  "run_own_threads_cpu_ms": int(sys.argv[2]) * 1000 / int(os.environ["CLK_TCK"])}))
PY
}

# The stand-in through the C host: the CPU time of the whole child process.
c_host_stand_in() {
  python3 - "${host}" "${work}/timed-library.so" "${stand_in_s}" <<'PY'
import json, os, resource, subprocess, sys

def child_cpu_ms(run_ms):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([sys.argv[1], "--json", "-q", "--library", sys.argv[2]], check=True,
                   stdout=subprocess.DEVNULL, env=dict(os.environ, QUORVANE_STAND_IN_RUN_MS=str(run_ms)))
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime) * 1000

run_ms = int(float(sys.argv[3]) * 1000)
print(json.dumps({"binding": "C host", "run_ms": run_ms, "run_process_cpu_ms": child_cpu_ms(run_ms),
                  "idle_ms": 0, "idle_process_cpu_ms": child_cpu_ms(0)}))
PY
}

python_binding() {
  PYTHONPATH="${root}/bindings/python" PYTHONDONTWRITEBYTECODE=1 python3 "${drivers}/python_run.py" "$1"
}
dotnet_binding() { mono "${work}/DotnetRun.exe" "$1"; }
node_binding() { node "${drivers}/node_run.js" "$1"; }

echo "processors: $(nproc); load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for measure in c_host_run python_binding dotnet_binding node_binding; do
  echo "whole run: ${measure}" >&2
  QUORVANE_LIBRARY="${library}" "${measure}" 0 >>"${work}/runs.jsonl"
done
for measure in c_host_stand_in python_binding dotnet_binding node_binding; do
  echo "stand-in run of ${stand_in_s} s: ${measure}" >&2
  QUORVANE_LIBRARY="${work}/timed-library.so" QUORVANE_STAND_IN_RUN_MS=$((stand_in_s * 1000)) \
    "${measure}" "${stand_in_s}" >>"${work}/polls.jsonl"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

python3 - "${work}/runs.jsonl" "${work}/polls.jsonl" <<'PY'
import json, sys
runs = [json.loads(line) for line in open(sys.argv[1])]
polls = [json.loads(line) for line in open(sys.argv[2])]
print("One whole run of the real library through each host:\n")
print("| host | int_multi_mops | fp_multi_mflops | run, ms | host's own threads' CPU in the run, ms |")
print("|---|---:|---:|---:|---:|")
for row in runs:
    print(f"| {row['binding']} | {row['int_multi_mops']:.0f} | {row['fp_multi_mflops']:.0f} | "
          f"{row['run_ms']} | {row['run_own_threads_cpu_ms']:.0f} |")
print("\nThe host's own CPU time polling a stand-in run that has no threads, against an idle wait:\n")
print("| host | stand-in run, ms | CPU in it, ms | idle, ms | CPU idle, ms | polling, ms per s | of one processor |")
print("|---|---:|---:|---:|---:|---:|---:|")
for row in polls:
    cost = (row["run_process_cpu_ms"] - row["idle_process_cpu_ms"]) / (row["run_ms"] / 1000)
    print(f"| {row['binding']} | {row['run_ms']} | {row['run_process_cpu_ms']:.1f} | {row['idle_ms']} | "
          f"{row['idle_process_cpu_ms']:.1f} | {cost:.3f} | {cost / 10:.4f} % |")
print("\nThe C host's comparison is the same command with a stand-in run of 0 ms (idle 0): its")
print("start-up and exit cancel out. Each binding's is an idle wait as long as the run, in the")
print("same process after the run cancelled at once that comes first.")
PY
