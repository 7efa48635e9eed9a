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
#   windows every package of dist/ that carries the DLL (the win_amd64
#           wheel, the npm and the NuGet packages, any other) carries the
#           zip's, byte for byte; the wheel and the npm package must carry it,
#           the NuGet package too where the .NET SDK is installed
#   readme  the front page's Python, Node and C# examples are the packages'
#           README examples that the checks above run, word for word; an
#           example that is not found is an error
# and the arm64 packages under qemu-aarch64, on an arm64 Debian root unpacked
# from Debian's arm64 packages (scripts/packaging/arm64-root.sh; the .deb
# files are kept in build/arm64-root-debs):
#   arm64-archive  the Linux-aarch64 archive's host: --version, a cancelled run
#   arm64-debian   the _arm64.deb files unpacked into the root: the host's
#                  --version and a cancelled run, and the CMake consumer
#                  cross-built against the -dev package, run
#   arm64-python   a venv of Debian's arm64 Python, pip (from Debian's pip
#                  wheel) installs the aarch64 wheel; a cancelled run
#   arm64-npm      npm install of the tarball for arm64 (koffi's arm64 build
#                  from the registry), a cancelled run in Debian's arm64 Node.js
#   arm64-nuget    the NuGet package's linux-arm64 asset: an AArch64 ELF file,
#                  the same bytes as the archive's library (and the wheel's and
#                  the npm package's)
#   arm64-dotnet   a console app published for linux-arm64 with .NET's arm64
#                  runtime from nuget.org, a cancelled run under qemu; skipped
#                  without dotnet
# Prints each check's output; exits non-zero when any check fails. A check
# that cannot run (no dotnet, no npm, no qemu) says "skipped" with its
# reason, and the skipped checks are listed at the end; with
# QUORVANE_SKIPPED_FILE set, they are also appended to that file, a line each
# (.ci/run lists them last).
# Usage: bash scripts/check-packages.sh [python] [npm] [nuget] [debian] [windows] [readme]
#          [arm64-archive] [arm64-debian] [arm64-python] [arm64-npm] [arm64-nuget] [arm64-dotnet]
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dist="${root}/dist"
# The library's file names as the package builds give them (scripts/package.sh).
linux_library=$(cat "${root}/build/package/linux/library-file-name" 2>/dev/null) || linux_library=""
windows_library=$(cat "${root}/build/package/windows/library-file-name" 2>/dev/null) || windows_library=""

# library_names: fails, saying why, when the package builds left no file names.
library_names() {
  [[ -n ${linux_library} && -n ${windows_library} ]] && return
  echo "no build/package/*/library-file-name: run bash scripts/package.sh first"
  return 1
}
version=$(sed -n 's/^project(quorvane VERSION \([0-9.]*\).*/\1/p' "${root}/CMakeLists.txt")
arm64_checks=(arm64-archive arm64-debian arm64-python arm64-npm arm64-nuget arm64-dotnet)
if (($#)); then checks=("$@"); else checks=(python npm nuget debian windows readme "${arm64_checks[@]}"); fi

scratch=$(mktemp -d /tmp/quorvane-packages.XXXXXX)
trap 'rm -rf "${scratch}"' EXIT
failed=()
skipped=()
skipped_status=77

# skip REASON: inside a check, ends it as skipped, the reason kept for the end.
skip() {
  echo "$1" >"${scratch}/skipped-reason"
  return "${skipped_status}"
}

# check NAME COMMAND...: runs one check in its own folder, output shown.
check() {
  local name="$1" status reason
  shift
  echo
  echo "== ${name} =="
  mkdir -p "${scratch}/${name}"
  rm -f "${scratch}/skipped-reason"
  (cd "${scratch}/${name}" && "$@")
  status=$?
  if ((status == skipped_status)) && [[ -s "${scratch}/skipped-reason" ]]; then
    reason=$(cat "${scratch}/skipped-reason")
    echo "-- ${name}: skipped (${reason})"
    skipped+=("${name}: ${reason}")
  elif ((status == 0)); then
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

# readme_example FILE LANGUAGE OUT: writes that block to OUT; fails when FILE
# has none, so that a missing example never passes as an empty one.
readme_example() {
  readme_block "$1" "$2" >"$3"
  if [[ ! -s $3 ]]; then
    echo "no \`\`\`$2 example in ${1#"${root}"/}"
    return 1
  fi
}

python_check() {
  python3 -m venv venv || return
  # As the package's README says: pip picks the wheel for this platform.
  venv/bin/pip install --quiet --no-index --find-links "${dist}" quorvane || return
  venv/bin/python "${root}/scripts/packaging/cancelled_run.py" x86_64 || return
  venv/bin/python -m quorvane --help | head -n 3 || return
  # The package README's example, a whole run of about 20 s, as written.
  readme_example "${root}/bindings/python/README.md" python example.py || return
  venv/bin/python example.py | tail -n 3
  [[ ${PIPESTATUS[0]} -eq 0 ]]
}

npm_check() {
  command -v npm >/dev/null || { skip "npm is not installed"; return; }
  npm init -y >/dev/null || return
  npm install --no-audit --no-fund --loglevel=error "${dist}/quorvane-${version}.tgz" || return
  node "${root}/scripts/packaging/cancelled_run.js" linux-x64 || return
  # The package README's example, a whole run of about 20 s, as written.
  readme_example "${root}/bindings/node/README.md" js example.js || return
  node example.js | tail -n 3
  [[ ${PIPESTATUS[0]} -eq 0 ]]
}

nuget_check() {
  command -v dotnet >/dev/null || { skip "the .NET SDK (dotnet) is not installed"; return; }
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
  readme_example "${root}/bindings/dotnet/README.md" csharp Program.cs || return
  dotnet run | tail -n 3
  [[ ${PIPESTATUS[0]} -eq 0 ]]
}

debian_check() {
  local package
  library_names || return
  # The amd64 packages: the arm64 ones, beside them in dist, have the same paths.
  for package in "${dist}"/*_amd64.deb; do dpkg-deb -x "${package}" rootfs || return; done
  find rootfs \( -name 'lib*.so*' -o -name 'quorvane*' \) \( -type f -o -type l \) | sed 's|^rootfs||' | sort
  rootfs/usr/bin/quorvane --version || return
  # The manual page and the bash completion of the host's package.
  zcat rootfs/usr/share/man/man1/quorvane.1.gz | grep -A 1 '^\.SH NAME' || return
  bash -c 'source rootfs/usr/share/bash-completion/completions/quorvane
    COMP_WORDS=(quorvane --ru); COMP_CWORD=1; _quorvane
    echo "completion of --ru: ${COMPREPLY[*]}"; [[ ${COMPREPLY[*]} == --runs ]]' || return
  # The fleet rules the host's package carries, read by promtool (test.list has it).
  promtool check rules rootfs/usr/share/quorvane/prometheus/quorvane-rules.yml || return
  # A cancelled run: Ctrl-C once the first progress line is out (the run
  # has begun), exit status 130 and the report.
  rootfs/usr/bin/quorvane --json >report.json 2>progress.txt &
  local host=$! waited
  for ((waited = 0; waited < 600; ++waited)); do
    grep -q 'phase 1/5' progress.txt && break
    kill -0 "${host}" 2>/dev/null || break
    sleep 0.1
  done
  cat progress.txt
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
  ldd consumer/consumer | grep -F "${linux_library}" || return
  consumer/consumer
}

windows_check() {
  local have_dotnet=0
  library_names || return
  command -v dotnet >/dev/null && have_dotnet=1
  python3 - "${dist}" "${version}" "${windows_library}" "${have_dotnet}" "${scratch}/skipped-reason" <<'PY'
import hashlib, pathlib, sys, tarfile, zipfile
dist, version, dll, have_dotnet, skip_file = sys.argv[1:]
dist = pathlib.Path(dist)
zip_name = f"quorvane-{version}-Windows-x86_64.zip"

def members(path):
    """(member name, bytes) of every file named like the DLL inside path."""
    if zipfile.is_zipfile(path):
        with zipfile.ZipFile(path) as archive:
            return [(n, archive.read(n)) for n in archive.namelist() if n.rsplit("/", 1)[-1] == dll]
    if tarfile.is_tarfile(path):
        with tarfile.open(path) as archive:
            return [(m.name, archive.extractfile(m).read()) for m in archive.getmembers()
                    if m.isfile() and m.name.rsplit("/", 1)[-1] == dll]
    return []

def digest(data): return hashlib.sha256(data).hexdigest()

reference = dict(members(dist / zip_name)).get(f"quorvane-{version}-Windows-x86_64/bin/{dll}")
if reference is None:
    sys.exit(f"{zip_name} has no bin/{dll}")
print(f"{digest(reference)}  {zip_name}: bin/{dll}")
carriers, same = set(), True
for path in sorted(dist.iterdir()):
    if path.name == zip_name or path.name == "SHA256SUMS":
        continue
    for name, data in members(path):
        carriers.add(path.name)
        ok = data == reference
        same &= ok
        print(f"{digest(data)}  {path.name}: {name}{'' if ok else '  DIFFERS'}")
expected = {f"quorvane-{version}-py3-none-win_amd64.whl": True,
            f"quorvane-{version}.tgz": True,
            f"Quorvane.{version}.nupkg": have_dotnet == "1"}
missing = [name for name, required in expected.items() if required and name not in carriers]
for name in missing:
    print(f"{name} does not carry {dll}" if (dist / name).exists() else f"{name} is not in dist/")
if not same or missing:
    sys.exit(1)
if have_dotnet != "1" and f"Quorvane.{version}.nupkg" not in carriers:
    # The rest was checked; the missing NuGet package is named at the end.
    with open(skip_file, "w", encoding="utf-8") as note:
        note.write("the NuGet package was not built: the .NET SDK (dotnet) is not installed\n")
    sys.exit(77)
PY
}

# The front page's examples are the packages' own, which the checks above run
# as written: each must stand there word for word.
readme_check() {
  local language readme same=0
  for language in python:python js:node csharp:dotnet; do
    readme="${root}/bindings/${language#*:}/README.md"
    readme_example "${root}/README.md" "${language%%:*}" front.txt || { same=1; continue; }
    readme_example "${readme}" "${language%%:*}" package.txt || { same=1; continue; }
    if diff front.txt package.txt; then
      echo "README.md quotes the ${language%%:*} example of ${readme#"${root}"/}"
    else
      echo "README.md's ${language%%:*} example differs from ${readme#"${root}"/}"
      same=1
    fi
  done
  return "${same}"
}

# ---- arm64: the packages under qemu-aarch64 ---------------------------------
# A check that cannot run prints its reason and exits with this status.
arm64_skip_status=77
arm64_root=""
arm64_unavailable=""

# The arm64 library's file name, as the arm64 archive carries it (its
# unversioned link); empty when dist has no such archive.
arm64_library=$(tar -tzf "${dist}/quorvane-${version}-Linux-aarch64.tar.gz" 2>/dev/null |
  sed -n 's|^[^/]*/lib/\(lib[^/]*\.so\)$|\1|p' | head -n 1)

# arm64_prepare: makes the arm64 root once, or says why it cannot be had.
arm64_prepare() {
  [[ -n ${arm64_root} || -n ${arm64_unavailable} ]] && return
  if ! command -v qemu-aarch64 >/dev/null; then
    arm64_unavailable="qemu-aarch64 is not installed (apt-get install qemu-user)"
    return
  fi
  echo
  echo "== the arm64 root (Debian's arm64 packages) =="
  local status=0
  bash "${root}/scripts/packaging/arm64-root.sh" "${root}/build/arm64-root-debs" "${scratch}/arm64-root" || status=$?
  case ${status} in
    0) arm64_root="${scratch}/arm64-root"
       echo "$(qemu-aarch64 -L "${arm64_root}" "${arm64_root}/usr/bin/python3" --version) and Node.js" \
         "$(qemu-aarch64 -L "${arm64_root}" "${arm64_root}/usr/bin/node" --version) under $(qemu-aarch64 --version | head -n 1)" ;;
    2) arm64_unavailable="Debian's arm64 packages cannot be downloaded (see above)" ;;
    *) arm64_unavailable="the arm64 root could not be made (see above)" ;;
  esac
}

# arm64 ARGS...: runs an arm64 program of the root or of the check's folder.
arm64() { qemu-aarch64 -L "${arm64_root}" "$@"; }

# arm64_check NAME: runs one arm64 check as check does; exit status 77 or a
# missing root reports it as skipped with the reason it printed.
arm64_check() {
  local name="$1" function="${1//-/_}_check" status=0
  echo
  echo "== ${name} =="
  if [[ -n ${arm64_unavailable} ]]; then
    echo "-- ${name}: skipped (${arm64_unavailable})"
    skipped+=("${name}: ${arm64_unavailable}")
    return
  fi
  mkdir -p "${scratch}/${name}"
  if [[ -z ${arm64_library} ]]; then
    echo "dist/quorvane-${version}-Linux-aarch64.tar.gz is missing or has no lib/lib*.so"
    status=1
  else
    (cd "${scratch}/${name}" && "${function}") || status=$?
  fi
  if ((status == 0)); then
    echo "-- ${name}: ok"
  elif ((status == arm64_skip_status)); then
    echo "-- ${name}: skipped (see the reason above)"
    skipped+=("${name}: see its output")
  else
    echo "-- ${name}: FAILED"
    failed+=("${name}")
  fi
}

# arm64_cancelled_host ROOT HOST: a cancelled run of an arm64 host over that
# root: Ctrl-C a second after the host's first progress line (under qemu,
# and on a busy machine, the host takes seconds to get there; before it, the
# signal would find no handler), then status 130 and the report's nine keys.
# qemu itself is the background job, so that the signal reaches it (and
# through it the host). The run goes into a history, which the host then
# reads back: the arm64 host keeps one.
arm64_cancelled_host() {
  rm -f history.sqlite
  qemu-aarch64 -L "$1" "$2" --json --history history.sqlite >report.json 2>progress.txt &
  local host=$! waited=0
  while [[ ! -s progress.txt ]] && ((waited < 120)) && kill -0 "${host}" 2>/dev/null; do
    sleep 0.5
    ((waited += 1))
  done
  sleep 1
  kill -INT "${host}"
  wait "${host}"
  local status=$?
  cat progress.txt
  echo "exit status ${status}: $(cat report.json)"
  [[ ${status} -eq 130 ]] || return
  python3 -c 'import json,sys; r=json.load(open("report.json")); sys.exit(len(r)!=9)' || return
  qemu-aarch64 -L "$1" "$2" history --history history.sqlite >history.txt || return
  cat history.txt
  grep -q '^  1 run, 0 clean and finished' history.txt
}

# elf_machine FILE: the ELF file's class and machine, as readelf names them.
elf_machine() {
  readelf -h "$1" | awk -F: '/Class:|Machine:/ {gsub(/^ +/, "", $2); printf "%s ", $2} END {print ""}'
}

arm64_archive_check() {
  local archive="quorvane-${version}-Linux-aarch64"
  tar -xzf "${dist}/${archive}.tar.gz" || return
  echo "bin/quorvane: $(elf_machine "${archive}/bin/quorvane")"
  arm64 "${archive}/bin/quorvane" --version || return
  arm64_cancelled_host "${arm64_root}" "${archive}/bin/quorvane"
}

arm64_debian_check() {
  local package
  cp -a "${arm64_root}" rootfs || return
  for package in "${dist}"/*_arm64.deb; do dpkg-deb -x "${package}" rootfs || return; done
  find rootfs \( -name "${arm64_library}*" -o -name 'quorvane*' \) \( -type f -o -type l \) | sed 's|^rootfs||' | sort
  qemu-aarch64 -L rootfs rootfs/usr/bin/quorvane --version || return
  zcat rootfs/usr/share/man/man1/quorvane.1.gz | grep -A 1 '^\.SH NAME' || return
  arm64_cancelled_host rootfs rootfs/usr/bin/quorvane || return
  # The consumer cross-built with the project's toolchain, which finds the
  # unpacked -dev package under the root as under /usr.
  printf 'include(%s)\nlist(APPEND CMAKE_FIND_ROOT_PATH %s)\n' \
    "${root}/cmake/aarch64-linux-gnu.cmake" "${PWD}/rootfs" >toolchain.cmake
  cmake -S "${root}/tests/install/consumer" -B consumer -DCMAKE_TOOLCHAIN_FILE="${PWD}/toolchain.cmake" \
    -DQUORVANE_EXPECTED_VERSION="${version}" >/dev/null || return
  cmake --build consumer >/dev/null || return
  echo "consumer: $(elf_machine consumer/consumer)"
  # The consumer links the unpacked library, as the arm64 loader resolves it.
  qemu-aarch64 -L rootfs rootfs/lib/ld-linux-aarch64.so.1 --list consumer/consumer | grep -F "${arm64_library}" || return
  qemu-aarch64 -L rootfs consumer/consumer
}

arm64_python_check() {
  arm64 "${arm64_root}/usr/bin/python3" -m venv --without-pip venv || return
  # Debian's pip runs from its own wheel; it picks the wheel whose tags this
  # arm64 Python accepts.
  local pip=("${arm64_root}"/usr/share/python-wheels/pip-*.whl)
  arm64 venv/bin/python "${pip[0]}/pip" install --quiet --no-index --no-compile \
    --disable-pip-version-check --find-links "${dist}" quorvane || return
  ls venv/lib/python3*/site-packages/quorvane-*.dist-info/WHEEL >/dev/null &&
    grep '^Tag:' venv/lib/python3*/site-packages/quorvane-*.dist-info/WHEEL || return
  arm64 venv/bin/python "${root}/scripts/packaging/cancelled_run.py" aarch64
}

arm64_npm_check() {
  npm init -y >/dev/null || return
  # npm on this machine installs for arm64 as npm on an arm64 machine does:
  # koffi's optional package for linux-arm64. koffi's install script is left
  # out: run by this machine's Node, it would build koffi for x86-64.
  npm install --os=linux --cpu=arm64 --libc=glibc --ignore-scripts --no-audit --no-fund \
    --loglevel=error "${dist}/quorvane-${version}.tgz" || return
  arm64 "${arm64_root}/usr/bin/node" "${root}/scripts/packaging/cancelled_run.js" linux-arm64 \
    /koffi-linux-arm64/linux_arm64/
}

arm64_nuget_check() {
  python3 - "${dist}" "${version}" "${arm64_library}" <<'PY'
import hashlib, pathlib, sys, tarfile, zipfile
dist, version, so = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3]
EM_AARCH64, ELFCLASS64 = 183, 2
def describe(data):
    machine = int.from_bytes(data[18:20], "little")
    ok = data[:4] == b"\x7fELF" and data[4] == ELFCLASS64 and machine == EM_AARCH64
    return ok, f"ELF class {data[4]} machine {machine}{' (AArch64)' if machine == EM_AARCH64 else ''}"
archive = f"quorvane-{version}-Linux-aarch64"
reference = tarfile.open(dist / f"{archive}.tar.gz").extractfile(f"{archive}/lib/{so}.{version}").read()
nupkg = dist / f"Quorvane.{version}.nupkg"
if not nupkg.exists():
    print(f"skipped: {nupkg.name} is not in dist (no .NET SDK when it was packed)")
    sys.exit(77)
found = {"the NuGet package's runtimes/linux-arm64/native": zipfile.ZipFile(nupkg).read(
             f"runtimes/linux-arm64/native/{so}"),
         "the npm package's prebuilds/linux-arm64": tarfile.open(dist / f"quorvane-{version}.tgz").extractfile(
             f"package/prebuilds/linux-arm64/{so}").read()}
wheels = sorted(dist.glob(f"quorvane-{version}-py3-none-manylinux_*_aarch64.whl"))
if len(wheels) != 1:
    print("expected one aarch64 wheel, found", [wheel.name for wheel in wheels])
    sys.exit(1)
found[f"the wheel {wheels[0].name}"] = zipfile.ZipFile(wheels[0]).read(f"quorvane/{so}")
good = True
print(f"{hashlib.sha256(reference).hexdigest()}  the archive's lib/{so}.{version}")
for where, data in found.items():
    elf_ok, text = describe(data)
    same = data == reference
    print(f"{hashlib.sha256(data).hexdigest()}  {where}: {text}{'' if same else ', DIFFERENT bytes'}")
    good &= elf_ok and same
sys.exit(0 if good else 1)
PY
}

arm64_dotnet_check() {
  if ! command -v dotnet >/dev/null; then
    echo "skipped: the .NET SDK (dotnet) is not installed, so no app is published for linux-arm64"
    return "${arm64_skip_status}"
  fi
  [[ -f ${dist}/Quorvane.${version}.nupkg ]] || {
    echo "skipped: Quorvane.${version}.nupkg is not in dist"
    return "${arm64_skip_status}"
  }
  export NUGET_PACKAGES="${PWD}/nuget-packages" DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
  dotnet new console --name App --output App >/dev/null || return
  cd App || return
  dotnet add package Quorvane --source "${dist}" >/dev/null || return
  cat >Program.cs <<'CS'
using System;
using System.Runtime.InteropServices;
using System.Threading;
using Quorvane;

// Under qemu the first calls take long: the run is cancelled a second after its
// first progress report, and at the latest after two minutes.
using var cancel = new CancellationTokenSource(TimeSpan.FromMinutes(2));
try
{
    await Benchmark.RunAsync(new CancelAfterFirstReport(cancel), cancel.Token);
    Console.WriteLine("the run was not cancelled");
    return 1;
}
catch (OperationCanceledException)
{
}
var report = Benchmark.Results();
var keys = report.Json.Split(':').Length - 1;
Console.WriteLine($"{RuntimeInformation.OSArchitecture} {RuntimeInformation.FrameworkDescription} {RuntimeInformation.RuntimeIdentifier}");
Console.WriteLine($"state {(int)Benchmark.State} ({Benchmark.State}) keys {keys} {report.Json}");
return Benchmark.State == RunState.Cancelled && keys == 9 &&
       RuntimeInformation.OSArchitecture == Architecture.Arm64 ? 0 : 1;

// Reported to in the polling loop itself (Progress<T> would queue each report
// to the thread pool, which qemu can delay by many seconds).
sealed class CancelAfterFirstReport : IProgress<RunProgress>
{
    private readonly CancellationTokenSource cancel;
    private int reports;
    public CancelAfterFirstReport(CancellationTokenSource cancel) { this.cancel = cancel; }
    public void Report(RunProgress value)
    {
        if (Interlocked.Increment(ref reports) == 1) cancel.CancelAfter(1000);
    }
}
CS
  # A self-contained app: .NET's linux-arm64 runtime and host come from
  # nuget.org (Microsoft.NETCore.App.Runtime.linux-arm64, …Host.linux-arm64);
  # the package's runtimes/linux-arm64/native asset lands beside the app.
  dotnet publish -c Release -r linux-arm64 --self-contained -o out >/dev/null || return
  echo "out/App: $(elf_machine out/App); out/${arm64_library}: $(elf_machine "out/${arm64_library}")"
  arm64 out/App
}
# ---------------------------------------------------------------------------

for name in "${checks[@]}"; do
  case ${name} in
    python | npm | nuget | debian | windows | readme) check "${name}" "${name}_check" ;;
    arm64-archive | arm64-debian | arm64-python | arm64-npm | arm64-nuget | arm64-dotnet)
      arm64_prepare
      arm64_check "${name}" ;;
    *) echo "unknown check ${name}" >&2; exit 2 ;;
  esac
done
echo
if ((${#skipped[@]})); then
  echo "package checks skipped:"
  printf '  %s\n' "${skipped[@]}"
  if [[ -n ${QUORVANE_SKIPPED_FILE:-} ]]; then
    printf 'package check %s\n' "${skipped[@]}" >>"${QUORVANE_SKIPPED_FILE}"
  fi
fi
if ((${#failed[@]})); then
  echo "package checks FAILED: ${failed[*]}"
  exit 1
fi
if ((${#skipped[@]})); then
  echo "package checks: the others passed"
else
  echo "package checks: all passed"
fi
