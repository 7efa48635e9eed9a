#!/usr/bin/env bash
# Builds the library and the command-line host, then runs one benchmark.
# Usage: bash scripts/run.sh [host options, e.g. --json or --runs 3]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cmake -S "${root}" -B "${root}/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "${root}/build/release" -j "${QUORVANE_JOBS:-2}" >/dev/null
exec "${root}/build/release/bin/quorvane" "$@"
