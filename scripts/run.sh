#!/usr/bin/env bash
# Installs what the build needs if it is missing (scripts/packages/run.list),
# builds the library and the command-line host in build/run (no tests), then
# runs one benchmark.
# Usage: bash scripts/run.sh [host options, e.g. --json or --runs 3]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build/run"

bash "${root}/scripts/install-packages.sh" "${root}/scripts/packages/run.list"

mkdir -p "${build}"
log="${build}/build.log"
echo "building the library and the host in ${build} (log: ${log})" >&2
if ! {
  cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUORVANE_BUILD_TESTS=OFF -DQUORVANE_BUILD_BENCH=OFF &&
    cmake --build "${build}" -j "${QUORVANE_JOBS:-$(nproc)}"
} >"${log}" 2>&1; then
  tail -n 20 "${log}" >&2
  echo "the build failed; the whole output is in ${log}" >&2
  exit 1
fi
exec "${build}/bin/quorvane" "$@"
