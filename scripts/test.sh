#!/usr/bin/env bash
# Builds and runs the whole test suite through the CMake presets:
#   release  every label: unit, slow host runs, command-line host, the
#            Python, .NET and Node bindings, stress, valgrind memcheck and
#            the static checks
#   asan     unit, slow host runs, command-line host and stress under
#            AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     the same under ThreadSanitizer
#   fuzz     each libFuzzer target replays its seed corpus, then fuzzes for
#            60 s (Clang, AddressSanitizer + UndefinedBehaviorSanitizer)
#   windows  scripts/test-windows.sh (the DLL cross-built and tested under
#            Wine), when that script is present
#   aarch64  the library, the host and their tests cross-built for 64-bit Arm
#            Linux and run under qemu-aarch64 (unit, slow host runs, the
#            host's tests and program tests, stress, install; see
#            docs/testing.md), first installing scripts/packages/aarch64.list
# Every stage's time is printed as it ends and again in a summary, with how
# many compilations ccache served from its cache (cmake/QuorvaneCcache.cmake);
# a failed stage does not stop the later ones, but the script then exits
# non-zero.
# First installs what the suites need if it is missing
# (scripts/packages/run.list and test.list; see scripts/install-packages.sh).
# Usage: bash scripts/test.sh [release] [asan] [tsan] [fuzz] [windows] [aarch64]  (default: all)
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "${root}"

bash scripts/install-packages.sh scripts/packages/run.list scripts/packages/test.list || exit

if (($#)); then presets=("$@"); else presets=(release asan tsan fuzz windows aarch64); fi

summary=()
failed=0

# ccache's hit and miss counters, "hits misses"; empty without ccache.
ccache_counts() {
  command -v ccache >/dev/null || return 0
  ccache --print-stats 2>/dev/null | awk '
    $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hits += $2 }
    $1 == "cache_miss" { misses += $2 }
    END { print hits + 0, misses + 0 }'
}

# Runs one stage, prints its time, and records it for the summary.
stage() {
  local name="$1"
  shift
  echo
  echo "== ${name} =="
  local started=${SECONDS}
  "$@"
  local status=$?
  local took=$((SECONDS - started))
  local result="ok"
  if ((status != 0)); then
    result="FAILED (${status})"
    failed=1
  fi
  echo "-- ${name}: ${result} in ${took} s"
  summary+=("$(printf '%-22s %6d s  %s' "${name}" "${took}" "${result}")")
  return "${status}"
}

# Configure, build and test one preset; the tests run only after a build.
suite() {
  local preset="$1"
  stage "${preset} configure" cmake --preset "${preset}" &&
    stage "${preset} build" cmake --build --preset "${preset}" &&
    stage "${preset} test" ctest --preset "${preset}"
}

total_started=${SECONDS}
read -r hits_before misses_before <<<"$(ccache_counts)"
for preset in "${presets[@]}"; do
  case "${preset}" in
    release)
      command -v valgrind >/dev/null || echo "note: valgrind is not installed; memcheck tests are left out"
      suite release
      ;;
    asan | tsan | debug | fuzz)
      suite "${preset}"
      ;;
    aarch64)
      if stage "aarch64 packages" bash scripts/install-packages.sh scripts/packages/aarch64.list; then
        suite aarch64
      fi
      ;;
    windows)
      if [[ -f scripts/test-windows.sh ]]; then
        stage "windows (Wine)" bash scripts/test-windows.sh
      else
        echo "note: scripts/test-windows.sh is not present; no Windows suite"
      fi
      ;;
    *)
      echo "unknown preset ${preset}" >&2
      exit 2
      ;;
  esac
done

echo
echo "== summary =="
printf '%s\n' "${summary[@]}"
printf '%-22s %6d s\n' "total" "$((SECONDS - total_started))"
read -r hits_after misses_after <<<"$(ccache_counts)"
if [[ -n ${hits_after} ]]; then
  # The counters are the cache's, so a build elsewhere at the same time counts too.
  echo "ccache: $((hits_after - hits_before)) compilations from the cache," \
    "$((misses_after - misses_before)) compiled"
fi
exit "${failed}"
