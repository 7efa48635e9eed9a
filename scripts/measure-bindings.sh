#!/usr/bin/env bash
# One whole run through the command-line host and through each binding
# (Python, .NET on Mono, Node), one after another in one session, and the
# CPU time each host's own threads spend on it: the polling cost.
#
#   bash scripts/measure-bindings.sh [BUILD_DIR]     (default build/release)
#
# Needs the library and the host built in BUILD_DIR, python3, mcs and mono,
# node and npm. Takes about 100 s: four runs of 20 s, and an idle wait of
# IDLE_S seconds (default 5) in each binding's process.
#
# The library's threads exist only during a run, so the threads of a host
# process that are left after the run are the host's own; their CPU time
# during the run (from /proc/PID/task/*/stat, in clock ticks) is what the
# host's polling, its runtime and its timers cost. The idle wait in the same
# process shows what the runtime spends with no run at all. For the C host
# the figure is its main thread's CPU time over the whole process, loading
# included.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-${root}/build/release}" && pwd)"
idle_s="${IDLE_S:-5}"
drivers="${root}/scripts/measure-bindings"
library="${build}/bin/libmorvatic-quorvane-cpu-benchmark.so"
host="${build}/bin/quorvane"
for needed in "${library}" "${host}"; do
  [[ -f "${needed}" ]] || { echo "missing ${needed}: build the release preset first" >&2; exit 2; }
done
export QUORVANE_LIBRARY="${library}"
CLK_TCK="$(getconf CLK_TCK)"
export CLK_TCK
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT

# The C host: its main thread polls (every 50 ms). Its CPU time is sampled
# every 50 ms while it lives; the last sample misses at most the final 50 ms,
# after the run has closed (the report's printing and the exit).
c_host() {
  "${host}" --json -q >"${work}/c.json" &
  local pid=$! ticks=0 sample started=${EPOCHREALTIME}
  while sample="$(awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/${pid}/task/${pid}/stat" 2>/dev/null)" &&
        [[ -n "${sample}" ]]; do
    ticks=${sample}
    sleep 0.05
  done
  wait "${pid}"
  local ended=${EPOCHREALTIME}
  python3 - "${work}/c.json" "${ticks}" "${CLK_TCK}" "${started}" "${ended}" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
print(json.dumps({"binding": "C host (quorvane --json)", "int_multi_mops": report["int_multi_mops"],
                  "fp_multi_mflops": report["fp_multi_mflops"],
                  "run_ms": round((float(sys.argv[5]) - float(sys.argv[4])) * 1000),
                  "own_threads_cpu_ms": int(sys.argv[2]) * 1000 / int(sys.argv[3])}))
PY
}

python_binding() {
  PYTHONPATH="${root}/bindings/python" PYTHONDONTWRITEBYTECODE=1 python3 "${drivers}/python_run.py" "${idle_s}"
}

dotnet_binding() {
  mcs -nologo -r:System.Runtime.Serialization.dll -out:"${work}/DotnetRun.exe" \
      "${root}/bindings/dotnet/Quorvane.cs" "${drivers}/DotnetRun.cs"
  mono "${work}/DotnetRun.exe" "${idle_s}"
}

node_binding() {
  [[ -d "${root}/bindings/node/node_modules/koffi" ]] ||
    (cd "${root}/bindings/node" && npm ci --prefer-offline --no-audit --no-fund >&2)
  node "${drivers}/node_run.js" "${idle_s}"
}

echo "processors: $(nproc); load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for measure in c_host python_binding dotnet_binding node_binding; do
  echo "measuring: ${measure}" >&2
  "${measure}" >>"${work}/rows.jsonl"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

python3 - "${work}/rows.jsonl" "${CLK_TCK}" <<'PY'
import json, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
print(f"| host | int_multi_mops | fp_multi_mflops | run, ms | own threads' CPU in the run, ms "
      f"| per second of run, ms | idle, per second, ms |")
print("|---|---:|---:|---:|---:|---:|---:|")
for row in rows:
    per_second = row["own_threads_cpu_ms"] / (row["run_ms"] / 1000)
    idle = (f"{row['idle_cpu_ms'] / (row['idle_ms'] / 1000):.2f}" if "idle_ms" in row else "")
    print(f"| {row['binding']} | {row['int_multi_mops']:.0f} | {row['fp_multi_mflops']:.0f} | "
          f"{row['run_ms']} | {row['own_threads_cpu_ms']:.0f} | {per_second:.2f} | {idle} |")
print(f"\nCPU times are counted in clock ticks of {1000 / int(sys.argv[2]):.0f} ms.")
PY
