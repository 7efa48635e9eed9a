#!/usr/bin/env bash
# Installs the Debian packages named in the given lists that are not
# installed yet. As root: apt-get update, then apt-get install of what is
# missing (with recommends: Wine needs them), no service started. Otherwise
# prints one line with the apt-get command to run as root and exits 2.
# Exits 0 when everything is installed, at once if nothing was missing.
# Usage: bash scripts/install-packages.sh LIST...  (e.g. scripts/packages/run.list)
# Lists: one package a line; '#' starts a comment.
# Everything it and apt print goes to standard error: the callers' standard
# output is the program's own (bash scripts/run.sh --json > out.json).
set -euo pipefail
exec >&2

if ! command -v dpkg-query >/dev/null; then
  echo "note: not a Debian system; make sure these are installed: $(cat "$@" | sed 's/#.*//' | xargs)" >&2
  exit 0
fi

packages=()
for list in "$@"; do
  while read -r line || [[ -n ${line} ]]; do
    line=${line%%#*}
    for package in ${line}; do packages+=("${package}"); done
  done <"${list}"
done

# A name without :ARCH means the build machine's architecture (or "all"):
# with another architecture's build of the same package installed beside it
# (libsqlite3-dev and libsqlite3-dev:arm64), dpkg-query lists both.
native=$(dpkg --print-architecture)
missing=()
for package in "${packages[@]}"; do
  wanted=${native}
  [[ ${package} == *:* ]] && wanted=${package##*:}
  # dpkg -s also knows removed packages whose configuration is left.
  dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' "${package}" 2>/dev/null |
    grep -qxE "(${wanted}|all) installed" || missing+=("${package}")
done
((${#missing[@]})) || exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "missing Debian packages; as root run: apt-get install -y ${missing[*]}" >&2
  exit 2
fi

# A package named PACKAGE:ARCH of another architecture (libsqlite3-dev:arm64)
# needs dpkg to know that architecture before apt's lists are read.
for package in "${missing[@]}"; do
  [[ ${package} == *:* ]] || continue
  architecture=${package##*:}
  [[ ${architecture} == "${native}" ]] && continue
  dpkg --print-foreign-architectures | grep -qx "${architecture}" && continue
  echo "adding the ${architecture} architecture for ${package}"
  dpkg --add-architecture "${architecture}"
done

echo "installing ${#missing[@]} missing Debian packages: ${missing[*]}"
# A package that brings a service (a daemon) must not start it: while this
# runs, invoke-rc.d asks policy-rc.d, and 101 means "not allowed".
policy=/usr/sbin/policy-rc.d
if [[ ! -e ${policy} ]]; then
  printf '#!/bin/sh\nexit 101\n' >"${policy}"
  chmod 755 "${policy}"
  trap 'rm -f "${policy}"' EXIT
fi
export DEBIAN_FRONTEND=noninteractive
apt-get -q update
apt-get -q -y -o DPkg::Lock::Timeout=600 install "${missing[@]}"
# Where systemd runs, the packages' services are also enabled at install:
# the tests start their own node_exporter, so none is left enabled either.
if [[ -d /run/systemd/system ]]; then
  for service in prometheus prometheus-node-exporter; do
    systemctl disable --now "${service}" >/dev/null 2>&1 || true
  done
fi
