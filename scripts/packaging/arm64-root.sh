#!/usr/bin/env bash
# Makes an arm64 Debian root for qemu-aarch64 -L ROOT: downloads the packages
# of scripts/packages/arm64-root.list that CACHE lacks (apt-get download;
# the architecture is added and apt's lists updated first when apt does not
# know arm64, which needs root), then unpacks every one of them into ROOT
# with dpkg-deb -x. Nothing is installed on this machine.
# Usage: bash scripts/packaging/arm64-root.sh CACHE ROOT
# Exits 0 with ROOT made; 2 when the packages cannot be had (message on
# standard error); 1 on any other failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cache="$1"
target="$2"
list="${root}/scripts/packages/arm64-root.list"

packages=()
while read -r line || [[ -n ${line} ]]; do
  line=${line%%#*}
  for package in ${line}; do packages+=("${package}"); done
done <"${list}"

# The packages not in the cache yet, by name: a cached file of any version
# serves.
missing=()
for package in "${packages[@]}"; do
  name=${package%%:*}
  compgen -G "${cache}/${name}_*.deb" >/dev/null || missing+=("${package}")
done

if ((${#missing[@]})); then
  if [[ -z $(apt-cache policy libc6:arm64 2>/dev/null | awk '/Candidate:/ {print $2}') ]]; then
    if [[ $(id -u) -ne 0 ]]; then
      echo "apt does not know Debian's arm64 packages; as root run: dpkg --add-architecture arm64 && apt-get update" >&2
      exit 2
    fi
    dpkg --print-foreign-architectures | grep -qx arm64 || dpkg --add-architecture arm64
    apt-get -q update >&2
  fi
  mkdir -p "${cache}"
  echo "downloading ${#missing[@]} arm64 Debian packages into ${cache}" >&2
  # Root's download is not sandboxed into apt's own user, so no warning asks for it.
  (cd "${cache}" && apt-get -q -o APT::Sandbox::User=root download "${missing[@]}" >&2) || {
    echo "apt-get download of Debian's arm64 packages failed" >&2
    exit 2
  }
fi

mkdir -p "${target}"
for package in "${packages[@]}"; do
  for file in "${cache}/${package%%:*}"_*.deb; do dpkg-deb -x "${file}" "${target}"; done
done
