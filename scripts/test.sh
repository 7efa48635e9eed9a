#!/usr/bin/env bash
# Builds and runs the whole test suite: release, ThreadSanitizer, then the
# Windows build under Wine.
# Usage: bash scripts/test.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${QUORVANE_JOBS:-2}"

run_suite() {
  local name="$1"
  shift
  echo "== ${name} =="
  cmake -S "${root}" -B "${root}/build/${name}" -G Ninja "$@"
  cmake --build "${root}/build/${name}" -j "${jobs}"
  ctest --test-dir "${root}/build/${name}" -j "${jobs}" --output-on-failure
}

run_suite release -DCMAKE_BUILD_TYPE=Release
run_suite tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZER=thread
bash "${root}/scripts/test-windows.sh"
