#!/usr/bin/env bash
# Installs what the build needs if it is missing (scripts/packages/run.list),
# builds the library and the command-line host in build/run (no tests), then
# runs one benchmark.
# Standard output carries the host's output alone: the installer, the build
# and its progress write to standard error, so `bash scripts/run.sh --json >
# out.json` keeps only the report.
# Usage: bash scripts/run.sh [host options, e.g. --json or --runs 3]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build/run"

bash "${root}/scripts/install-packages.sh" "${root}/scripts/packages/run.list"

# Shows ninja's "[done/total] what" lines on standard error while the build
# runs: redrawn on one line on a terminal, one line each elsewhere.
show_progress() {
  local line width
  width=$(($(tput cols 2>/dev/null || echo 80) - 1))
  while IFS= read -r line; do
    [[ ${line} =~ ^\[[0-9]+/[0-9]+\] ]] || continue
    if [[ -t 2 ]]; then
      printf '\r\033[K%s' "${line:0:width}" >&2
    else
      printf '%s\n' "${line}" >&2
    fi
  done
  if [[ -t 2 ]]; then printf '\r\033[K' >&2; fi
}

mkdir -p "${build}"
log="${build}/build.log"
echo "building the library and the host in ${build}: the first build takes one to two minutes" \
  "on two processors, a later one seconds (log: ${log})" >&2
if ! {
  cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUORVANE_BUILD_TESTS=OFF -DQUORVANE_BUILD_BENCH=OFF &&
    cmake --build "${build}" -j "${QUORVANE_JOBS:-$(nproc)}"
} 2>&1 | tee "${log}" | show_progress; then
  tail -n 20 "${log}" >&2
  echo "the build failed; the whole output is in ${log}" >&2
  exit 1
fi
exec "${build}/bin/quorvane" "$@"
