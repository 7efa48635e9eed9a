#!/usr/bin/env bash
# Checks Debian packages with lintian: any error fails, and so does any
# warning that is not one of those this project has weighed (see
# docs/packages.md for why each stays).
# Usage: bash scripts/packaging/lintian.sh PACKAGE.deb...
set -euo pipefail
accepted=(
  # CPack writes postinst/postrm scripts that run ldconfig for a library in
  # /usr/lib; the packages also activate the ldconfig trigger.
  maintscript-calls-ldconfig
  # The packages are not uploaded to Debian, so there is no ITP bug to close.
  initial-upload-closes-no-bugs
)
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed (apt-get install lintian)" >&2
  exit 1
fi
status=0
output=$(lintian --pedantic "$@" 2>&1) || status=$?
# Root runs lintian too (it only warns about it).
report=$(printf '%s\n' "${output}" | grep -v '^running with root privileges' || true)
[[ -z ${report} ]] || printf '%s\n' "${report}"
# A failure with no tags is lintian's own (a package it could not read):
# nothing was checked.
if ((status != 0)) && ! grep -qE '^[EW]: ' <<<"${report}"; then
  echo "lintian: failed (exit status ${status}) without checking the packages" >&2
  exit 1
fi
pattern=$(IFS='|'; echo "${accepted[*]}")
unweighed=$(printf '%s\n' "${report}" | grep -E '^[EW]: ' | grep -Ev ": (${pattern})( |$)" || true)
if [[ -n ${unweighed} ]]; then
  echo "lintian: errors or warnings to mend:" >&2
  printf '%s\n' "${unweighed}" >&2
  exit 1
fi
echo "lintian: no errors; warnings only of the weighed kinds"
