#!/usr/bin/env bash
# Cross-builds the library and its tests for 64-bit Windows with mingw-w64
# and runs them under Wine. Extra arguments go to ctest (e.g. -LE slow).
# When the cross compiler or Wine is missing, installs them on Debian when
# run as root, and otherwise says in one line why the suite was skipped.
# Usage: bash scripts/test-windows.sh [ctest arguments]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${QUORVANE_JOBS:-2}"
build="${root}/build/windows"

# What the Windows suite needs, as Debian packages and the file each provides.
declare -A needed=(
  [g++-mingw-w64-x86-64-win32]=/usr/bin/x86_64-w64-mingw32-g++-win32
  [wine]=/usr/bin/wine
  [wine64]=/usr/lib/wine/wine64
  [googletest]=/usr/src/googletest/CMakeLists.txt
  [nlohmann-json3-dev]=/usr/include/nlohmann/json.hpp
)
missing=()
for package in "${!needed[@]}"; do
  [[ -e "${needed[${package}]}" ]] || missing+=("${package}")
done
if ((${#missing[@]})); then
  if [[ "$(id -u)" -eq 0 && -f /etc/debian_version ]] && command -v apt-get >/dev/null; then
    echo "== installing for the Windows suite: ${missing[*]} =="
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  else
    echo "Skipped the Windows suite: ${missing[*]} not installed (installing needs root on Debian)."
    exit 0
  fi
fi

echo "== windows (mingw-w64 cross build, tests under Wine) =="
cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/mingw-w64-x86_64.cmake"

# The build's own Wine prefix, created once: the build runs the test
# programs to list their tests, and every later Wine start reuses it.
export WINEPREFIX="${build}/wine-prefix"
export WINEDEBUG=-all
if [[ ! -f "${WINEPREFIX}/system.reg" ]]; then
  echo "== creating the Wine prefix ${WINEPREFIX} =="
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi

# One wineserver for the whole build and test run. Left to itself it exits a
# few seconds after its last client, and a program that starts in that
# moment fails with "recvmsg: Connection reset by peer". Its background
# services start with the first Wine program and live as long as it does:
# start them here with no output, or they would hold the output pipe of
# whichever test came first and ctest would wait on it for ever.
wineserver -w
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot </dev/null >/dev/null 2>&1

cmake --build "${build}" -j "${jobs}"
ctest --test-dir "${build}" -j "${jobs}" --output-on-failure "$@"
