#!/usr/bin/env bash
# Installs each package of dist/ (scripts/package.sh) where its users put it,
# in a fresh folder outside the checkout, with no path and no environment
# variable naming the library, and checks that it works:
#   python  a new venv (no system site packages), pip install --no-index of
#           the manylinux wheel; a cancelled run to nine keys and state 3,
#           python -m quorvane --help, and the package README's example
#           (a whole run)
#   npm     a new npm project, npm install of the tarball (koffi from the
#           registry); new Quorvane() with no argument, a cancelled run,
#           and the package README's example (a whole run)
#   nuget   a new console project, dotnet add package Quorvane --source dist,
#           dotnet run: a cancelled run on .NET, and the package README's
#           example (a whole run); left out without dotnet
#   debian  the .deb files unpacked with dpkg-deb -x into a temporary root:
#           the host's --version and a cancelled run, and a CMake project
#           that finds the package there
#   windows the DLL in the wheel, the npm and the NuGet packages is the zip's,
#           byte for byte
#   readme  the front page's Python, Node and C# examples are the packages'
#           README examples that the checks above run, word for word
# Prints each check's output; exits non-zero when any check fails.
# Usage: bash scripts/check-packages.sh [python] [npm] [nuget] [debian] [windows] [readme]
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dist="${root}/dist"
library=morvatic-quorvane-cpu-benchmark
version=$(sed -n 's/^project(quorvane VERSION \([0-9.]*\).*/\1/p' "${root}/CMakeLists.txt")
if (($#)); then checks=("$@"); else checks=(python npm nuget debian windows readme); fi

scratch=$(mktemp -d /tmp/quorvane-packages.XXXXXX)
trap 'rm -rf "${scratch}"' EXIT
failed=()

# check NAME COMMAND...: runs one check in its own folder, output shown.
check() {
  local name="$1"
  shift
  echo
  echo "== ${name} =="
  mkdir -p "${scratch}/${name}"
  if (cd "${scratch}/${name}" && "$@"); then
    echo "-- ${name}: ok"
  else
    echo "-- ${name}: FAILED"
    failed+=("${name}")
  fi
}

# readme_block FILE LANGUAGE: the first fenced block of that language in FILE.
readme_block() {
  awk -v fence='```'"$2" '$0 == fence {inside = 1; next} inside && $0 == "```" {exit} inside' "$1"
}

python_check() {
  python3 -m venv venv || return
  # As the package's README says: pip picks the wheel for this platform.
  venv/bin/pip install --quiet --no-index --find-links "${dist}" quorvane || return
  venv/bin/python - <<'PY' || return
import time
import quorvane
bench = quorvane.Quorvane()
print("loaded", bench.path)
bench.start()
time.sleep(0.3)
bench.cancel()
state = bench.wait(poll=0.02)
report = bench.results()
print("state", state, "keys", len(report), report)
assert state == quorvane.STATE_CANCELLED and len(report) == 9, (state, report)
assert "/venv/" in bench.path, bench.path
PY
  venv/bin/python -m quorvane --help | head -n 3 || return
  # The package README's example, a whole run of about 20 s, as written.
  readme_block "${root}/bindings/python/README.md" python >example.py
  venv/bin/python example.py | tail -n 3
  [[ ${PIPESTATUS[0]} -eq 0 ]]
}

npm_check() {
  npm init -y >/dev/null || return
  npm install --no-audit --no-fund --loglevel=error "${dist}/quorvane-${version}.tgz" || return
  cat >cancelled.js <<'JS'
const { Quorvane, STATE } = require('quorvane');
const bench = new Quorvane();
console.log('loaded', bench.path);
const controller = new AbortController();
setTimeout(() => controller.abort(), 300);
bench.run({ signal: controller.signal }).then(
  () => { console.error('the run was not cancelled'); process.exit(1); },
  (error) => {
    const report = error.cause;
    console.log('state', bench.state, 'keys', Object.keys(report).length, JSON.stringify(report));
    if (bench.state !== STATE.CANCELLED || Object.keys(report).length !== 9) process.exit(1);
    if (!bench.path.includes('node_modules/quorvane/prebuilds/linux-x64/')) process.exit(1);
  });
JS
  node cancelled.js || return
  # The package README's example, a whole run of about 20 s, as written.
  readme_block "${root}/bindings/node/README.md" js >example.js
  node example.js | tail -n 3
  [[ ${PIPESTATUS[0]} -eq 0 ]]
}

nuget_check() {
  if ! command -v dotnet >/dev/null; then
    echo "the .NET SDK (dotnet) is not installed: the NuGet package is not checked"
    return 0
  fi
  # A package folder of its own, so no earlier copy of the same version is reused.
  export NUGET_PACKAGES="${PWD}/nuget-packages" DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
  dotnet new console --name App --output App >/dev/null || return
  cd App || return
  dotnet add package Quorvane --source "${dist}" >/dev/null || return
  cat >Program.cs <<'CS'
using System;
using System.Threading;
using Quorvane;

using var cancel = new CancellationTokenSource(TimeSpan.FromMilliseconds(300));
try
{
    await Benchmark.RunAsync(null, cancel.Token);
    Console.WriteLine("the run was not cancelled");
    return 1;
}
catch (OperationCanceledException)
{
}
var report = Benchmark.Results();
var keys = report.Json.Split(':').Length - 1;
Console.WriteLine($"state {(int)Benchmark.State} ({Benchmark.State}) keys {keys} {report.Json}");
return Benchmark.State == RunState.Cancelled && keys == 9 ? 0 : 1;
CS
  dotnet run || return
  # The package README's example, a whole run of about 20 s, as written.
  readme_block "${root}/bindings/dotnet/README.md" csharp >Program.cs
  dotnet run | tail -n 3
  [[ ${PIPESTATUS[0]} -eq 0 ]]
}

debian_check() {
  local package
  for package in "${dist}"/*.deb; do dpkg-deb -x "${package}" rootfs || return; done
  find rootfs \( -name 'lib*.so*' -o -name 'quorvane*' \) \( -type f -o -type l \) | sed 's|^rootfs||' | sort
  rootfs/usr/bin/quorvane --version || return
  # The manual page and the bash completion of the host's package.
  zcat rootfs/usr/share/man/man1/quorvane.1.gz | grep -A 1 '^\.SH NAME' || return
  bash -c 'source rootfs/usr/share/bash-completion/completions/quorvane
    COMP_WORDS=(quorvane --ru); COMP_CWORD=1; _quorvane
    echo "completion of --ru: ${COMPREPLY[*]}"; [[ ${COMPREPLY[*]} == --runs ]]' || return
  # The fleet rules the host's package carries, read by promtool (test.list has it).
  promtool check rules rootfs/usr/share/quorvane/prometheus/quorvane-rules.yml || return
  # A cancelled run: Ctrl-C after a second, exit status 130 and the report.
  rootfs/usr/bin/quorvane --json --quiet >report.json &
  local host=$!
  sleep 1
  kill -INT "${host}"
  wait "${host}"
  local status=$?
  echo "exit status ${status}: $(cat report.json)"
  [[ ${status} -eq 130 ]] || return
  python3 -c 'import json,sys; r=json.load(open("report.json")); sys.exit(len(r)!=9)' || return
  cmake -S "${root}/tests/install/consumer" -B consumer -DCMAKE_PREFIX_PATH="${PWD}/rootfs/usr" \
    -DQUORVANE_EXPECTED_VERSION="${version}" >/dev/null || return
  cmake --build consumer >/dev/null || return
  # The consumer links the unpacked library, through the unpacked CMake package.
  ldd consumer/consumer | grep "${library}" || return
  consumer/consumer
}

windows_check() {
  python3 - "${dist}" "${version}" "${library}" <<'PY'
import hashlib, io, pathlib, sys, tarfile, zipfile
dist, version, library = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3]
dll = f"{library}.dll"
def digest(data): return hashlib.sha256(data).hexdigest()
def from_zip(path, member): return zipfile.ZipFile(path).read(member)
reference = digest(from_zip(dist / f"quorvane-{version}-Windows-x86_64.zip",
                            f"quorvane-{version}-Windows-x86_64/bin/{dll}"))
print(f"{reference}  the zip's bin/{dll}")
found = {
    "the win_amd64 wheel": from_zip(dist / f"quorvane-{version}-py3-none-win_amd64.whl", f"quorvane/{dll}"),
    "the npm package": tarfile.open(dist / f"quorvane-{version}.tgz").extractfile(
        f"package/prebuilds/win32-x64/{dll}").read(),
}
nupkg = dist / f"Quorvane.{version}.nupkg"
if nupkg.exists():
    found["the NuGet package"] = from_zip(nupkg, f"runtimes/win-x64/native/{dll}")
same = True
for where, data in found.items():
    print(f"{digest(data)}  {where}")
    same &= digest(data) == reference
sys.exit(0 if same else 1)
PY
}

# The front page's examples are the packages' own, which the checks above run
# as written: each must stand there word for word.
readme_check() {
  local language readme same=0
  for language in python:python js:node csharp:dotnet; do
    readme="${root}/bindings/${language#*:}/README.md"
    if diff <(readme_block "${root}/README.md" "${language%%:*}") \
      <(readme_block "${readme}" "${language%%:*}"); then
      echo "README.md quotes the ${language%%:*} example of ${readme#"${root}"/}"
    else
      echo "README.md's ${language%%:*} example differs from ${readme#"${root}"/}"
      same=1
    fi
  done
  return "${same}"
}

for name in "${checks[@]}"; do
  case ${name} in
    python | npm | nuget | debian | windows | readme) check "${name}" "${name}_check" ;;
    *) echo "unknown check ${name}" >&2; exit 2 ;;
  esac
done
echo
if ((${#failed[@]})); then
  echo "package checks FAILED: ${failed[*]}"
  exit 1
fi
echo "package checks: all passed"
