#!/usr/bin/env bash
# Measures how much of the machine the library's figures capture and prints
# a Markdown report: the library side by side with its own kernels run
# standalone and with mbw, scaling, repeatability, cancel latency, run
# overhead and memory, a Clang build beside the GCC one, and the kernels'
# object code from both compilers. Builds what it needs in build-measure*/
# (the build log is build-measure/build.log). With the MinGW cross
# toolchain and Wine installed it also builds the Windows DLL and measures
# it under Wine. Takes four to five minutes.
# It measures only: it never fails on a threshold.
#
# usage: bash scripts/measure.sh [--rounds N] [--cancels N] [--no-clang]
#                                [--no-windows] [--windows-cancels N]
#                                [--quiet-below LOAD]
#   --quiet-below LOAD   first wait (up to 15 minutes) for the one-minute
#                        load average to fall below LOAD
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
invocation="bash scripts/measure.sh${*:+ $*}"
# Paths below are relative to the checkout, so the report names them so.
cd "$root"
gcc_dir=build-measure
clang_dir=build-measure-clang
rounds=3
cancels=3
windows_cancels=1
use_clang=1
use_windows=1
quiet_below=
windows_dir=build-measure-windows
toolchain=cmake/mingw-w64-x86_64.cmake

while (( $# > 0 )); do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --cancels) cancels=$2; shift 2 ;;
    --no-clang) use_clang=0; shift ;;
    --no-windows) use_windows=0; shift ;;
    --windows-cancels) windows_cancels=$2; shift 2 ;;
    --quiet-below) quiet_below=$2; shift 2 ;;
    *) sed -n '2,19p' "$0" >&2; exit 2 ;;
  esac
done

command -v mbw >/dev/null || { echo "mbw is not installed (Debian package mbw)" >&2; exit 1; }

mkdir -p "$gcc_dir"
log=$gcc_dir/build.log
: >"$log"

# configure_and_build DIR TARGET... [-DOPTION...] (CC/CXX from the environment)
configure_and_build() {
  local dir=$1
  shift
  local targets=() options=()
  for word in "$@"; do
    if [[ $word == -D* ]]; then options+=("$word"); else targets+=("$word"); fi
  done
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
    -DQUORVANE_BUILD_TOOLS=OFF -DQUORVANE_BUILD_BENCH=ON "${options[@]}" >>"$log" 2>&1 &&
    cmake --build "$dir" -j2 --target "${targets[@]}" >>"$log" 2>&1
}

# The compiler of a configured build directory, e.g. "GNU 12.2.0".
compiler_of() {
  local file
  file=$(ls "$1"/CMakeFiles/*/CMakeCXXCompiler.cmake | head -n1)
  sed -n 's/^set(CMAKE_CXX_COMPILER_ID "\(.*\)")$/\1/p; s/^set(CMAKE_CXX_COMPILER_VERSION "\(.*\)")$/\1/p' "$file" |
    paste -sd' '
}

# The flags kernels.cpp is compiled with in a build directory.
kernel_flags_of() {
  grep -o '"command": "[^"]*engine/kernels.cpp"' "$1/compile_commands.json" |
    grep -o -- ' -[Of][^ ]*\| -DNDEBUG\| -m[^ ]*' | tr -s ' ' | paste -sd' ' | sed 's/^ *//; s/  */ /g'
}

kernel_object_of() {
  ls "$1"/src/CMakeFiles/quorvane_kernels.dir/engine/kernels.cpp.o* | head -n1
}

echo "[measure] building with the default compiler (log: $log)" >&2
configure_and_build "$gcc_dir" quorvane quorvane_measure
gcc_label=$(compiler_of "$gcc_dir")
library=$gcc_dir/bin/libmorvatic-quorvane-cpu-benchmark.so

clang_args=()
objects=("$(kernel_object_of "$gcc_dir")" "$gcc_label")
if (( use_clang )) && command -v clang++ >/dev/null; then
  echo "[measure] building the library with Clang" >&2
  CC=clang CXX=clang++ configure_and_build "$clang_dir" quorvane
  clang_label=$(compiler_of "$clang_dir")
  clang_args=(--clang-library "$clang_dir/bin/libmorvatic-quorvane-cpu-benchmark.so"
              --clang-label "$clang_label")
  objects+=("$(kernel_object_of "$clang_dir")" "$clang_label")
fi

windows_args=()
if (( use_windows )) && [[ -f $toolchain ]] && command -v wine >/dev/null; then
  echo "[measure] building the Windows DLL with MinGW" >&2
  if configure_and_build "$windows_dir" quorvane quorvane_measure \
       -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain"; then
    windows_label="MinGW $(compiler_of "$windows_dir"), $(wine --version 2>/dev/null || echo wine)"
    windows_args=(--windows-program "$windows_dir/bin/quorvane_measure.exe"
                  --windows-dll "$windows_dir/bin/morvatic-quorvane-cpu-benchmark.dll"
                  --windows-label "$windows_label" --windows-cancels "$windows_cancels")
    objects+=("$(kernel_object_of "$windows_dir")" "MinGW $(compiler_of "$windows_dir")")
  else
    echo "[measure] the Windows build failed; see $log" >&2
  fi
fi

if [[ -n $quiet_below ]]; then
  for (( waited = 0; waited < 900; waited += 10 )); do
    load=$(cut -d' ' -f1 /proc/loadavg)
    awk -v load="$load" -v limit="$quiet_below" 'BEGIN { exit !(load < limit) }' && break
    (( waited % 60 == 0 )) && echo "[measure] waiting for a quiet machine: load $load" >&2
    sleep 10
  done
fi

echo "Command: \`$invocation\`"
echo
"$gcc_dir/bin/quorvane_measure" table --library "$library" --library-label "$gcc_label" \
  --rounds "$rounds" --cancels "$cancels" "${clang_args[@]}" "${windows_args[@]}"
echo
echo "Kernel object code (kernels.cpp.o as linked into each library; flags: $(kernel_flags_of "$gcc_dir")):"
echo
bash "$root/scripts/check_kernel_code.sh" "${objects[@]}"
