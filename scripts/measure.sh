#!/usr/bin/env bash
# Measures how much of the machine the library's figures capture and prints
# a Markdown report: the library side by side with its own kernels run
# standalone and with mbw, scaling, repeatability, cancel latency, run
# overhead and memory, a Clang build beside the GCC one, and the kernels'
# object code from both compilers. Builds what it needs in build-measure*/
# (the build log is build-measure/build.log). Takes about four minutes.
# It measures only: it never fails on a threshold.
#
# usage: bash scripts/measure.sh [--rounds N] [--cancels N] [--no-clang]
#                                [--windows-build DIR] [--windows-cancels N]
#   --windows-build DIR   a MinGW build directory holding the Windows DLL and
#                         quorvane_measure.exe (configured with
#                         -DQUORVANE_BUILD_BENCH=ON); adds the DLL's rows,
#                         run under Wine
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
gcc_dir=$root/build-measure
clang_dir=$root/build-measure-clang
rounds=3
cancels=3
windows_cancels=1
use_clang=1
windows_dir=

while (( $# > 0 )); do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --cancels) cancels=$2; shift 2 ;;
    --no-clang) use_clang=0; shift ;;
    --windows-build) windows_dir=$(cd "$2" && pwd); shift 2 ;;
    --windows-cancels) windows_cancels=$2; shift 2 ;;
    *) sed -n '2,18p' "$0" >&2; exit 2 ;;
  esac
done

command -v mbw >/dev/null || { echo "mbw is not installed (Debian package mbw)" >&2; exit 1; }

mkdir -p "$gcc_dir"
log=$gcc_dir/build.log
: >"$log"

# configure_and_build DIR TARGET... (CC/CXX from the environment)
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
    -DQUORVANE_BUILD_TOOLS=OFF -DQUORVANE_BUILD_BENCH=ON >>"$log" 2>&1
  cmake --build "$dir" -j2 --target "$@" >>"$log" 2>&1
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
  echo "$1/src/CMakeFiles/quorvane_kernels.dir/engine/kernels.cpp.o"
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
if [[ -n $windows_dir ]]; then
  dll=$(ls "$windows_dir"/bin/*.dll 2>/dev/null | grep -i quorvane | head -n1 || true)
  exe=$windows_dir/bin/quorvane_measure.exe
  if [[ -n $dll && -f $exe ]] && command -v wine >/dev/null; then
    windows_args=(--windows-program "$exe" --windows-dll "$dll" --windows-cancels "$windows_cancels")
    objects+=("$(kernel_object_of "$windows_dir")" "MinGW $(compiler_of "$windows_dir") (Windows DLL)")
  else
    echo "[measure] no Windows DLL and quorvane_measure.exe in $windows_dir/bin, or no wine" >&2
  fi
fi

echo "Command: \`bash scripts/measure.sh${*:+ $*}\`"
echo
"$gcc_dir/bin/quorvane_measure" table --library "$library" --library-label "$gcc_label" \
  --rounds "$rounds" --cancels "$cancels" "${clang_args[@]}" "${windows_args[@]}"
echo
echo "Kernel object code (kernels.cpp.o as linked into each library; flags: $(kernel_flags_of "$gcc_dir")):"
echo
bash "$root/scripts/check_kernel_code.sh" "${objects[@]}"
