#!/usr/bin/env bash
# Builds every package of quorvane into dist/:
#   quorvane-<v>-Linux-x86_64.tar.gz, quorvane-<v>-Windows-x86_64.zip   CPack archives
#   quorvane-<v>-Linux-aarch64.tar.gz                                     the same, arm64 cross build
#   lib…1_<v>-1_amd64.deb, lib…-dev_…deb, quorvane_…deb                  CPack DEB, checked by lintian
#   the same three …_arm64.deb                                            from the arm64 cross build
#   quorvane-<v>-py3-none-manylinux_2_NN_x86_64.whl                      NN read from the .so
#   quorvane-<v>-py3-none-manylinux_2_NN_aarch64.whl                     NN read from the arm64 .so
#   quorvane-<v>-py3-none-win_amd64.whl
#   quorvane-<v>.tgz                                                      npm pack, prebuilds/linux-x64, linux-arm64, win32-x64
#   Quorvane.<v>.nupkg                                                    dotnet pack (left out without dotnet),
#                                                                         runtimes/linux-x64, linux-arm64, win-x64
#   SHA256SUMS
# Every package carries the stripped library of the archives, so the Windows
# DLL is the same file, byte for byte, in all of them.
# Builds in build/package/ (linux, debian, windows, and linux-aarch64 and
# debian-aarch64 with Debian's cross compilers); uses ccache when present.
# Usage: bash scripts/package.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dist="${root}/dist"
work="${root}/build/package"
jobs="${QUORVANE_JOBS:-2}"
version=$(sed -n 's/^project(quorvane VERSION \([0-9.]*\).*/\1/p' "${root}/CMakeLists.txt")

# The arm64 lists name Debian's arm64 packages (libc6:arm64 …), installed
# beside the amd64 ones: dpkg-shlibdeps reads the arm64 Debian packages'
# Depends from them. install-packages.sh adds the architecture first.

bash "${root}/scripts/install-packages.sh" "${root}/scripts/packages/run.list" \
  "${root}/scripts/packages/package.list" "${root}/scripts/packages/aarch64.list" \
  "${root}/scripts/packages/arm64.list"
if ! command -v npm >/dev/null; then
  echo "npm is not installed: it packs the Node package (Node.js 18 or later with npm)" >&2
  exit 1
fi

# library_file DIR: the file name a program loads the library by, as the
# build in DIR names it (the unversioned .so link, or the DLL).
library_file() { cat "$1/library-file-name"; }

# configure_and_build DIR [cmake options...]: a release build without tests.
configure_and_build() {
  local dir="$1"
  shift
  cmake -S "${root}" -B "${dir}" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
    "$@" >/dev/null
  cmake --build "${dir}" -j "${jobs}"
}

rm -rf "${dist}" "${work}/stage"
mkdir -p "${dist}" "${work}/stage"

echo "== Linux archive =="
configure_and_build "${work}/linux"
(cd "${work}/linux" && cpack -G TGZ -B "${work}/linux/packages" >/dev/null)
cp "${work}/linux/packages/quorvane-${version}-Linux-x86_64.tar.gz" "${dist}/"
tar -xzf "${dist}/quorvane-${version}-Linux-x86_64.tar.gz" -C "${work}/stage"
linux_library=$(library_file "${work}/linux")
# The file the link names: the one the packages carry under the link's name.
linux_so=$(readlink -f "${work}/stage/quorvane-${version}-Linux-x86_64/lib/${linux_library}")

echo "== Windows archive (mingw-w64 cross build) =="
configure_and_build "${work}/windows" -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/mingw-w64-x86_64.cmake"
(cd "${work}/windows" && cpack -G ZIP -B "${work}/windows/packages" >/dev/null)
cp "${work}/windows/packages/quorvane-${version}-Windows-x86_64.zip" "${dist}/"
(cd "${work}/stage" && cmake -E tar xf "${dist}/quorvane-${version}-Windows-x86_64.zip")
windows_library=$(library_file "${work}/windows")
windows_dll="${work}/stage/quorvane-${version}-Windows-x86_64/bin/${windows_library}"

# ---- arm64: the archive (Debian's cross compilers) ------------------------
echo "== Linux arm64 archive (aarch64-linux-gnu cross build) =="
# The toolchain runs the host under qemu-aarch64, so the arm64 archive has
# its manual page too.
configure_and_build "${work}/linux-aarch64" -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/aarch64-linux-gnu.cmake"
(cd "${work}/linux-aarch64" && cpack -G TGZ -B "${work}/linux-aarch64/packages" >/dev/null)
cp "${work}/linux-aarch64/packages/quorvane-${version}-Linux-aarch64.tar.gz" "${dist}/"
tar -xzf "${dist}/quorvane-${version}-Linux-aarch64.tar.gz" -C "${work}/stage"
# The library's name is the archive's own: its unversioned link, and the file
# that link names.
aarch64_lib="${work}/stage/quorvane-${version}-Linux-aarch64/lib"
aarch64_library=$(find "${aarch64_lib}" -maxdepth 1 -type l -name 'lib*.so' -printf '%f\n')
[[ $(wc -w <<<"${aarch64_library}") -eq 1 ]] || { echo "no single lib*.so link in ${aarch64_lib}" >&2; exit 1; }
aarch64_so=$(readlink -f "${aarch64_lib}/${aarch64_library}")
# ---------------------------------------------------------------------------

echo "== Debian packages =="
# Installed under /usr, the library and its development files go to the
# multiarch folder (lib/x86_64-linux-gnu), where pkg-config finds them.
configure_and_build "${work}/debian" -DCMAKE_INSTALL_PREFIX=/usr
(cd "${work}/debian" && cpack -G DEB -B "${work}/debian/packages" >/dev/null)
cp "${work}/debian/packages/"*.deb "${dist}/"
bash "${root}/scripts/packaging/lintian.sh" "${dist}"/*_amd64.deb

# ---- arm64: the Debian packages --------------------------------------------
echo "== Debian packages for arm64 =="
# The multiarch folder, lib/aarch64-linux-gnu, is named here: GNUInstallDirs
# picks it only for a build that is not a cross build. CPack's dpkg-shlibdeps
# reads the Depends from the arm64 libraries of scripts/packages/arm64.list.
configure_and_build "${work}/debian-aarch64" -DCMAKE_TOOLCHAIN_FILE="${root}/cmake/aarch64-linux-gnu.cmake" \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib/aarch64-linux-gnu
(cd "${work}/debian-aarch64" && cpack -G DEB -B "${work}/debian-aarch64/packages" >/dev/null)
cp "${work}/debian-aarch64/packages/"*_arm64.deb "${dist}/"
bash "${root}/scripts/packaging/lintian.sh" "${dist}"/*_arm64.deb
# ---------------------------------------------------------------------------

echo "== Python wheels =="
# The highest glibc symbol version the library needs: the manylinux tag's NN.
glibc=$(objdump -T "${linux_so}" | grep -o 'GLIBC_2\.[0-9]*' | sort -uV | tail -n 1)
[[ -n ${glibc} ]] || { echo "no GLIBC_ symbol versions in ${linux_so}" >&2; exit 1; }
# A manylinux library may need only the C library's own files.
needed=$(objdump -p "${linux_so}" | awk '/NEEDED/ {print $2}')
for file in ${needed}; do
  case ${file} in
    libc.so.6 | libm.so.6 | libpthread.so.0 | libdl.so.2 | ld-linux-x86-64.so.2) ;;
    *) echo "${linux_so} needs ${file}: not a manylinux library" >&2; exit 1 ;;
  esac
done
manylinux="manylinux_${glibc#GLIBC_}"
manylinux="${manylinux/./_}_x86_64"
echo "the library needs ${glibc} at most (NEEDED: ${needed//$'\n'/ }): ${manylinux}"
python3 "${root}/scripts/packaging/make_wheel.py" "${root}/bindings/python" "${linux_so}" "${manylinux}" "${dist}" "${linux_library}"
python3 "${root}/scripts/packaging/make_wheel.py" "${root}/bindings/python" "${windows_dll}" win_amd64 "${dist}" "${windows_library}"

# ---- arm64: the wheel --------------------------------------------------------
# aarch64_manylinux SO: the manylinux_2_NN_aarch64 tag of the arm64 library,
# NN from the highest GLIBC_ symbol version it needs; fails when it needs a
# file beside the C library's own.
aarch64_manylinux() {
  local so="$1" glibc needed file
  glibc=$(aarch64-linux-gnu-objdump -T "${so}" | grep -o 'GLIBC_2\.[0-9]*' | sort -uV | tail -n 1)
  [[ -n ${glibc} ]] || { echo "no GLIBC_ symbol versions in ${so}" >&2; return 1; }
  needed=$(aarch64-linux-gnu-objdump -p "${so}" | awk '/NEEDED/ {print $2}')
  for file in ${needed}; do
    case ${file} in
      libc.so.6 | libm.so.6 | libpthread.so.0 | libdl.so.2 | ld-linux-aarch64.so.1) ;;
      *) echo "${so} needs ${file}: not a manylinux library" >&2; return 1 ;;
    esac
  done
  local tag="manylinux_${glibc#GLIBC_}"
  tag="${tag/./_}_aarch64"
  echo "the arm64 library needs ${glibc} at most (NEEDED: ${needed//$'\n'/ }): ${tag}" >&2
  echo "${tag}"
}
aarch64_tag=$(aarch64_manylinux "${aarch64_so}")
python3 "${root}/scripts/packaging/make_wheel.py" "${root}/bindings/python" "${aarch64_so}" "${aarch64_tag}" "${dist}"
# ---------------------------------------------------------------------------

echo "== npm package =="
npm_stage="${work}/stage/npm"
mkdir -p "${npm_stage}/prebuilds/linux-x64" "${npm_stage}/prebuilds/win32-x64"
cp "${root}/bindings/node/"{package.json,index.js,index.d.ts,README.md} "${root}/LICENSE" "${npm_stage}/"
cp "${linux_so}" "${npm_stage}/prebuilds/linux-x64/${linux_library}"
cp "${windows_dll}" "${npm_stage}/prebuilds/win32-x64/${windows_library}"
# arm64: index.js picks prebuilds/linux-arm64 where process.arch is 'arm64'.
mkdir -p "${npm_stage}/prebuilds/linux-arm64"
cp "${aarch64_so}" "${npm_stage}/prebuilds/linux-arm64/${aarch64_library}"
(cd "${npm_stage}" && npm pack --silent --pack-destination "${dist}" >/dev/null)

echo "== NuGet package =="
if command -v dotnet >/dev/null; then
  # The names .NET's probing tries for the module name on each system.
  nuget_stage="${work}/stage/nuget"
  mkdir -p "${nuget_stage}/linux-x64" "${nuget_stage}/win-x64"
  cp "${linux_so}" "${nuget_stage}/linux-x64/${linux_library}"
  cp "${windows_dll}" "${nuget_stage}/win-x64/${windows_library}"
  # arm64: .NET picks runtimes/linux-arm64/native on an Arm64 Linux machine.
  mkdir -p "${nuget_stage}/linux-arm64"
  cp "${aarch64_so}" "${nuget_stage}/linux-arm64/${aarch64_library}"
  DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 dotnet pack "${root}/bindings/dotnet/Quorvane.csproj" \
    --nologo -c Release -o "${dist}" --artifacts-path "${work}/dotnet" \
    -p:QuorvaneNativeLinuxX64="${nuget_stage}/linux-x64/${linux_library}" \
    -p:QuorvaneNativeWinX64="${nuget_stage}/win-x64/${windows_library}" \
    -p:QuorvaneNativeLinuxArm64="${nuget_stage}/linux-arm64/${aarch64_library}" >/dev/null
else
  echo "note: the .NET SDK (dotnet) is not installed; no NuGet package"
fi

echo "== SHA256SUMS =="
(cd "${dist}" && sha256sum -- * >SHA256SUMS)
(cd "${dist}" && stat -c '%10s  %n' -- *)
