#!/usr/bin/env bash
# Builds every package of quorvane into dist/:
#   quorvane-<v>-Linux-x86_64.tar.gz, quorvane-<v>-Windows-x86_64.zip   CPack archives
#   lib…1_<v>-1_amd64.deb, lib…-dev_…deb, quorvane_…deb                  CPack DEB, checked by lintian
#   quorvane-<v>-py3-none-manylinux_2_NN_x86_64.whl                      NN read from the .so
#   quorvane-<v>-py3-none-win_amd64.whl
#   quorvane-<v>.tgz                                                      npm pack, prebuilds/linux-x64, win32-x64
#   Quorvane.<v>.nupkg                                                    dotnet pack (left out without dotnet)
#   SHA256SUMS
# Every package carries the stripped library of the archives, so the Windows
# DLL is the same file, byte for byte, in all of them.
# Builds in build/package/ (linux, debian, windows); uses ccache when present.
# Usage: bash scripts/package.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dist="${root}/dist"
work="${root}/build/package"
jobs="${QUORVANE_JOBS:-2}"
version=$(sed -n 's/^project(quorvane VERSION \([0-9.]*\).*/\1/p' "${root}/CMakeLists.txt")

bash "${root}/scripts/install-packages.sh" "${root}/scripts/packages/run.list" \
  "${root}/scripts/packages/package.list"
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

echo "== Debian packages =="
# Installed under /usr, the library and its development files go to the
# multiarch folder (lib/x86_64-linux-gnu), where pkg-config finds them.
configure_and_build "${work}/debian" -DCMAKE_INSTALL_PREFIX=/usr
(cd "${work}/debian" && cpack -G DEB -B "${work}/debian/packages" >/dev/null)
cp "${work}/debian/packages/"*.deb "${dist}/"
bash "${root}/scripts/packaging/lintian.sh" "${dist}"/*.deb

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

echo "== npm package =="
npm_stage="${work}/stage/npm"
mkdir -p "${npm_stage}/prebuilds/linux-x64" "${npm_stage}/prebuilds/win32-x64"
cp "${root}/bindings/node/"{package.json,index.js,index.d.ts,README.md} "${root}/LICENSE" "${npm_stage}/"
cp "${linux_so}" "${npm_stage}/prebuilds/linux-x64/${linux_library}"
cp "${windows_dll}" "${npm_stage}/prebuilds/win32-x64/${windows_library}"
(cd "${npm_stage}" && npm pack --silent --pack-destination "${dist}" >/dev/null)

echo "== NuGet package =="
if command -v dotnet >/dev/null; then
  # The names .NET's probing tries for the module name on each system.
  nuget_stage="${work}/stage/nuget"
  mkdir -p "${nuget_stage}/linux-x64" "${nuget_stage}/win-x64"
  cp "${linux_so}" "${nuget_stage}/linux-x64/${linux_library}"
  cp "${windows_dll}" "${nuget_stage}/win-x64/${windows_library}"
  DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 dotnet pack "${root}/bindings/dotnet/Quorvane.csproj" \
    --nologo -c Release -o "${dist}" --artifacts-path "${work}/dotnet" \
    -p:QuorvaneNativeLinuxX64="${nuget_stage}/linux-x64/${linux_library}" \
    -p:QuorvaneNativeWinX64="${nuget_stage}/win-x64/${windows_library}" >/dev/null
else
  echo "note: the .NET SDK (dotnet) is not installed; no NuGet package"
fi

echo "== SHA256SUMS =="
(cd "${dist}" && sha256sum -- * >SHA256SUMS)
(cd "${dist}" && stat -c '%10s  %n' -- *)
