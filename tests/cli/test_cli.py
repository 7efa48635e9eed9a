"""The quorvane command-line host, run as a user runs it, against the real library.

Paths come from the environment (CTest sets them):
QUORVANE_CLI the host executable, QUORVANE_LIBRARY the library,
QUORVANE_STAND_IN_LIBRARY a library that lacks one export,
QUORVANE_STAND_IN_RUN_LIBRARY a library that runs in a few polls with a fixed report.

QUORVANE_CLI_RUNNER, when set, is the command that runs the host: the build's
wine-run for the Windows host quorvane.exe (tests/cli/CMakeLists.txt), with the
libraries above as DLLs. The tests that need what only the POSIX host has (its
signals, a pseudo-terminal, the fake /proc and /sys tree it reads, cgroups)
are then skipped, each with its reason (docs/windows.md lists them).
"""

import csv
import hashlib
import io
import json
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

CLI = os.environ.get("QUORVANE_CLI", "")
LIBRARY = os.environ.get("QUORVANE_LIBRARY", "")
STAND_IN_LIBRARY = os.environ.get("QUORVANE_STAND_IN_LIBRARY", "")
STAND_IN_RUN_LIBRARY = os.environ.get("QUORVANE_STAND_IN_RUN_LIBRARY", "")
# The command line that starts the host, and whether it is the Windows host.
HOST = [*shlex.split(os.environ.get("QUORVANE_CLI_RUNNER", "")), CLI]
WINDOWS_HOST = CLI.lower().endswith(".exe")


def posix_host_only(reason):
    """Skips a test of the Windows host that only the POSIX host can pass."""
    return unittest.skipIf(WINDOWS_HOST, f"not for the Windows host: {reason}")


SIGNALS = "it sends POSIX signals (Ctrl-C of quorvane.exe: windows.cli_console_interrupt)"
FAKE_TREE = "the Windows host reads Windows, not a fake /proc and /sys tree"
# The comparisons compare clean runs: the POSIX host's are judged on a fake
# machine that stands still, the Windows host's on the busy test machine.
QUIET = "it compares clean runs, which takes the fake quiet machine the Windows host does not read"
# The stand-in's two reports (tests/cli/stand_in_run_library.cpp).
STAND_IN_FINISHED_MS = 20013
STAND_IN_CANCELLED_MS = 137
STAND_IN_THREADS = 2

REPORT_KEYS = ["score_single", "score_multi", "int_single_mops", "int_multi_mops",
               "fp_single_mflops", "fp_multi_mflops", "mem_bandwidth_mbps", "threads_used",
               "duration_ms"]
MEASUREMENTS = REPORT_KEYS[:7]
TABLE_LABELS = ["integer mixing, one thread", "integer mixing, all processors",
                "floating point, one thread", "floating point, all processors", "memory copy",
                "single-thread score", "multi-thread score", "processors", "duration"]
# A run left to itself ends after about 20 s; nothing here should take longer
# than a few of those.
WHOLE_RUN_LIMIT_S = 120
# A cancel ends the current phase at the library's next 20 ms poll; the limit
# leaves room for a sanitized build on a loaded machine, and stays under the
# 4 s that an uncancelled phase takes.
CANCEL_LIMIT_S = 3.0
SCHEMA_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                           "results.schema.json")


def setUpModule():
    for name, value in (("QUORVANE_CLI", CLI), ("QUORVANE_LIBRARY", LIBRARY)):
        if not value or not os.path.exists(value):
            raise unittest.SkipTest(f"{name} does not name a file: {value!r}")


def fake_tree(files):
    """A fake /proc and /sys tree for QUORVANE_SYSTEM_ROOT; removed by the caller."""
    root = tempfile.mkdtemp(prefix="quorvane-tree-")
    for path, text in files.items():
        full = os.path.join(root, path.lstrip("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as file:
            file.write(text)
    return root


# A machine that stays still: its counters never move, so nothing shows as
# a disturbance while the stand-in's runs take a few polls on a busy host.
QUIET_MACHINE = {"/sys/devices/system/cpu/online": "0-1\n",
                 "/proc/stat": "cpu0 100 0 50 10000 5 0 0 0 0 0\ncpu1 100 0 50 10000 5 0 0 0 0 0\n"}


def run_cli(*arguments, timeout=30):
    return subprocess.run([*HOST, *arguments], capture_output=True, text=True, timeout=timeout)


def parse_report(line, test):
    """The report as a dict, checked for its nine members in their order."""
    report = json.loads(line)
    test.assertEqual(list(report), REPORT_KEYS, line)
    for key, value in report.items():
        test.assertIsInstance(value, int, f"{key} in {line}")
    return report


def check_document(test, path):
    """The results document at path, validated against docs/results.schema.json."""
    import jsonschema
    with open(SCHEMA_PATH, encoding="utf-8") as schema_file:
        schema = json.load(schema_file)
    with open(path, encoding="utf-8") as document_file:
        document = json.load(document_file)
    jsonschema.validate(document, schema)
    return document


def check_exports_agree(test, folder, report_lines):
    """The .json and .csv exports in folder carry exactly the reports printed by --json."""
    reports = [json.loads(line) for line in report_lines]
    document = check_document(test, os.path.join(folder, "results.json"))
    test.assertEqual([run["report"] for run in document["runs"]], reports)
    # In the order the library wrote the members, too.
    test.assertEqual([list(run["report"]) for run in document["runs"]],
                     [list(report) for report in reports])
    with open(os.path.join(folder, "results.csv"), newline="", encoding="utf-8") as csv_file:
        rows = list(csv.DictReader(csv_file))
    test.assertEqual(len(rows), len(reports))
    for row, report, run in zip(rows, reports, document["runs"]):
        # The CSV's text of each number is the report's own text.
        test.assertEqual({key: row[key] for key in REPORT_KEYS},
                         {key: json.dumps(report[key]) for key in REPORT_KEYS})
        test.assertEqual(row["started_at"], run["started_at"])
        test.assertEqual(row["cancelled"], "true" if run["cancelled"] else "false")
    return document


class Interrupted:
    """Starts the host, waits for a line on one of its streams, sends signals."""

    def __init__(self, *arguments, watch="stderr", env=None, held=()):
        # held: signals the parent holds back, which the host inherits.
        self.process = subprocess.Popen(
            [*HOST, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env,
            preexec_fn=(lambda: signal.pthread_sigmask(signal.SIG_BLOCK, held)) if held else None)
        self.watched = getattr(self.process, watch)
        self.seen = []

    def wait_for(self, text, timeout=WHOLE_RUN_LIMIT_S):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            line = self.watched.readline()
            if not line:
                break
            self.seen.append(line)
            if text in line:
                return
        self.process.kill()
        raise AssertionError(f"never saw {text!r}; saw {self.seen!r}")

    def finish(self, signals, gap_s=0.0):
        """Sends the signals, waits for the exit; returns (status, seconds, stdout, stderr)."""
        sent = time.monotonic()
        for number in signals:
            self.process.send_signal(number)
            time.sleep(gap_s)
        stdout, stderr = self.process.communicate(timeout=WHOLE_RUN_LIMIT_S)
        elapsed = time.monotonic() - sent
        rest = "".join(self.seen) + (stderr if self.watched is self.process.stderr else stdout)
        if self.watched is self.process.stderr:
            return self.process.returncode, elapsed, stdout, rest
        return self.process.returncode, elapsed, rest, stderr


class CommandLineTest(unittest.TestCase):
    """Version, and the failures that come before any run."""

    def test_version_names_host_and_the_library_found_beside_it(self):
        result = run_cli("--version")
        self.assertEqual(result.returncode, 0, result.stderr)
        if WINDOWS_HOST:
            # The folder as Windows names it: a drive, backslashes.
            self.assertRegex(result.stdout, r"^quorvane 1\.0\.0\nlibrary 1\.0\.0 \([A-Za-z]:\\.*\\"
                             + re.escape(os.path.basename(LIBRARY)) + r"\)\n$")
            return
        beside = os.path.join(os.path.dirname(CLI), os.path.basename(LIBRARY))
        self.assertEqual(result.stdout, f"quorvane 1.0.0\nlibrary 1.0.0 ({beside})\n")

    def test_bad_command_line_exits_2(self):
        for arguments in (["--runs", "0"], ["--bogus"], ["--library"]):
            with self.subTest(arguments=arguments):
                result = run_cli(*arguments)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)

    def test_library_that_cannot_be_loaded_gives_one_line_and_exit_2(self):
        path = os.path.join(os.path.dirname(LIBRARY), "no-such-library.so")
        result = run_cli("--library", path)
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, "")
        lines = result.stderr.splitlines()
        self.assertEqual(len(lines), 1, result.stderr)
        self.assertTrue(lines[0].startswith(f"quorvane: cannot load the library {path}: "),
                        lines[0])

    def test_library_missing_an_export_gives_one_line_and_exit_2(self):
        if not os.path.exists(STAND_IN_LIBRARY):
            self.skipTest("QUORVANE_STAND_IN_LIBRARY is not set")
        for arguments in ([], ["--json"], ["--version"]):
            with self.subTest(arguments=arguments):
                result = run_cli("--library", STAND_IN_LIBRARY, *arguments)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stderr,
                                 f"quorvane: the library {STAND_IN_LIBRARY} lacks the export "
                                 "quorvane_results_json\n")
                self.assertNotIn("{", result.stdout)


@posix_host_only(SIGNALS)
class InterruptTest(unittest.TestCase):
    """Cancelling with a signal during the first phase: each test lasts about a second."""

    def check_cancelled_report(self, report):
        for key in MEASUREMENTS:
            self.assertEqual(report[key], 0, key)
        self.assertEqual(report["threads_used"], len(os.sched_getaffinity(0)))
        # The run thread stores the duration only at its closing: a report
        # with it was read after the run closed.
        self.assertGreater(report["duration_ms"], 0)
        self.assertLess(report["duration_ms"], 4000, "the first phase should have been cut short")

    def test_signal_during_first_phase_cancels_and_prints_the_report(self):
        # A host whose parent held the signals back takes them all the same.
        for number, held in ((signal.SIGINT, ()), (signal.SIGTERM, ()),
                             (signal.SIGTERM, (signal.SIGINT, signal.SIGTERM))):
            with self.subTest(signal=number.name, held=len(held)):
                host = Interrupted("--json", "--library", LIBRARY, held=held)
                host.wait_for("phase 1/5")
                status, seconds, stdout, stderr = host.finish([number])
                self.assertEqual(status, 130, stderr)
                self.assertLess(seconds, CANCEL_LIMIT_S)
                lines = stdout.splitlines()
                self.assertEqual(len(lines), 1, stdout)
                self.check_cancelled_report(parse_report(lines[0], self))
                self.assertIn("interrupted, cancelling the run", stderr)

    def test_an_interrupt_before_the_run_ends_the_host_with_no_run(self):
        # The baseline is a FIFO: the host's open of it returns once this end
        # is open too, so the interrupt lands while the host reads the
        # baseline, before it loads the library.
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        root = fake_tree(QUIET_MACHINE)
        self.addCleanup(shutil.rmtree, root)
        fifo, exported = os.path.join(folder, "baseline.jsonl"), os.path.join(folder, "r.json")
        os.mkfifo(fifo)
        process = subprocess.Popen([*HOST, "--library", STAND_IN_RUN_LIBRARY, "--compare", fifo,
                                    "--export", exported], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True,
                                   env=dict(os.environ, QUORVANE_SYSTEM_ROOT=root))
        try:
            with open(fifo, "w", encoding="utf-8") as baseline:
                process.send_signal(signal.SIGINT)
                baseline.write(json.dumps(dict(zip(REPORT_KEYS, [1591, 3043, 900, 1890, 2000,
                                                                 4000, 9123, 2, 20013]))) + "\n")
            stdout, stderr = process.communicate(timeout=WHOLE_RUN_LIMIT_S)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.assertEqual((process.returncode, stdout), (130, ""), stderr)
        self.assertEqual(stderr, "interrupted before the run started\n")
        self.assertFalse(os.path.exists(exported), "nothing ran, so nothing is exported")

    def test_second_interrupt_still_waits_for_the_run_to_close(self):
        host = Interrupted("--json", "--library", LIBRARY)
        host.wait_for("phase 1/5")
        status, _, stdout, stderr = host.finish([signal.SIGINT, signal.SIGINT], gap_s=0.002)
        # Killed by the second signal, the status would be -SIGINT and no
        # report would follow.
        self.assertEqual(status, 130, stderr)
        lines = stdout.splitlines()
        self.assertEqual(len(lines), 1, stdout)
        self.check_cancelled_report(parse_report(lines[0], self))

    def test_table_of_a_cancelled_run_off_a_terminal_has_no_redraws(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        exported = os.path.join(folder, "results.json")
        host = Interrupted("--library", LIBRARY, "--export", exported)
        host.wait_for("phase 1/5")
        status, _, stdout, stderr = host.finish([signal.SIGINT])
        self.assertEqual(status, 130, stderr)
        self.assertNotIn("\r", stdout)
        self.assertNotIn("\r", stderr)
        # Progress went to standard error; standard output has the tables alone.
        self.assertIn("cancelled after", stderr)
        self.assertTrue(stdout.startswith("Machine\n  processor "), stdout)
        self.assertIn("Results of the cancelled run", stdout)
        table = stdout[stdout.index("Results of the cancelled run"):]
        for label in TABLE_LABELS:
            self.assertRegex(table, rf"\n  {label} +[0-9.]+")
        # What was measured is exported, marked cancelled, in a valid document.
        document = check_document(self, exported)
        self.assertEqual(len(document["runs"]), 1)
        run = document["runs"][0]
        self.assertTrue(run["cancelled"])
        self.check_cancelled_report(run["report"])
        self.assertIsInstance(run["other_load_percent"][0], float)
        self.assertEqual(run["other_load_percent"][1:], [None] * 4)
        self.assertEqual(document["summary"], {})
        self.assertEqual(document["machine"]["usable_processors"], len(os.sched_getaffinity(0)))

    @unittest.skipUnless(sys.platform.startswith("linux"), "needs a pseudo-terminal")
    def test_on_a_terminal_the_progress_line_is_redrawn_in_place(self):
        import pty
        import select
        controller, terminal = pty.openpty()
        process = subprocess.Popen([CLI, "--library", LIBRARY], stdout=terminal,
                                   stderr=terminal, stdin=subprocess.DEVNULL)
        os.close(terminal)
        screen = b""
        deadline = time.monotonic() + WHOLE_RUN_LIMIT_S
        try:
            # Two drawings of the first phase: the line is being redrawn.
            while screen.count(b"\r[") < 2 or b"1/5 integer mixing" not in screen:
                self.assertLess(time.monotonic(), deadline, screen)
                if select.select([controller], [], [], 1.0)[0]:
                    screen += os.read(controller, 4096)
            process.send_signal(signal.SIGINT)
            while True:
                try:
                    chunk = os.read(controller, 4096)
                except OSError:  # the terminal closed with the process
                    break
                if not chunk:
                    break
                screen += chunk
            self.assertEqual(process.wait(timeout=WHOLE_RUN_LIMIT_S), 130)
        finally:
            if process.poll() is None:
                process.kill()
            os.close(controller)
        text = screen.decode()
        self.assertRegex(text, r"\r\[#*-*\]  +\d+%  1/5 integer mixing, one thread  \d+\.\d s")
        self.assertIn("cancelled", text)
        self.assertIn("Results of the cancelled run", text)


def run_stand_in(*arguments, behaviour=None, timeout=30, machine=None):
    """The host against the stand-in on a fake machine (files by path), the
    quiet one by default; machine="real" reads this machine's own /proc."""
    root = fake_tree(QUIET_MACHINE if machine in (None, "real") else machine)
    environment = dict(os.environ)
    if machine != "real":
        environment["QUORVANE_SYSTEM_ROOT"] = root
    environment.pop("QUORVANE_STAND_IN_BEHAVIOUR", None)
    if behaviour:
        environment["QUORVANE_STAND_IN_BEHAVIOUR"] = behaviour
    try:
        return subprocess.run([*HOST, "--library", STAND_IN_RUN_LIBRARY, *arguments],
                              capture_output=True, text=True, timeout=timeout, env=environment)
    finally:
        shutil.rmtree(root)


class StandInRunTest(unittest.TestCase):
    """The host against a stand-in library whose runs take a few polls."""

    def setUp(self):
        if not os.path.exists(STAND_IN_RUN_LIBRARY):
            self.skipTest("QUORVANE_STAND_IN_RUN_LIBRARY is not set")

    @posix_host_only("the stand-in raises SIGINT")
    def test_interrupt_inside_start_cancels_the_run(self):
        # The signal lands after the host's last check before the start and
        # before the run's first poll: it must still cancel the run.
        result = run_stand_in("--json", behaviour="interrupt_in_start")
        self.assertEqual(result.returncode, 130, result.stderr)
        self.assertIn("interrupted, cancelling the run", result.stderr)
        self.assertEqual(json.loads(result.stdout)["duration_ms"], STAND_IN_CANCELLED_MS,
                         "the run went on to finish: the interrupt was lost")

    @posix_host_only("the stand-in raises SIGINT")
    def test_interrupt_after_the_run_finished_exits_0(self):
        # 130 means that the run was cancelled; this one finished.
        result = run_stand_in("--json", behaviour="interrupt_in_report")
        self.assertEqual(json.loads(result.stdout)["duration_ms"], STAND_IN_FINISHED_MS)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_a_refused_start_exits_3_with_the_librarys_text_on_standard_error(self):
        result = run_stand_in("--json", "-q", behaviour="refuse_start")
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (3, "", "quorvane: the library refused to start a run: already running\n"))

    def folder(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        return folder

    def test_bad_export_paths_are_refused_before_the_run(self):
        folder = self.folder()
        os.mkdir(os.path.join(folder, "taken.json"))
        for path, reason in ((os.path.join(folder, "results.txt"), "unknown extension '.txt'"),
                             (os.path.join(folder, "no", "such", "folder.json"),
                              "Path not found" if WINDOWS_HOST else "No such file or directory"),
                             (os.path.join(folder, "taken.json"), "it is a folder")):
            with self.subTest(path=path):
                good = os.path.join(folder, "good.csv")
                result = run_stand_in("--export", good, "--export", path)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")
                # One line and no progress: the run never started.
                self.assertEqual(result.stderr.splitlines(),
                                 [f"quorvane: cannot export to {path}: " +
                                  result.stderr.split(": ", 2)[-1].rstrip("\n")])
                self.assertIn(reason, result.stderr)
                self.assertFalse(os.path.exists(good))

    def test_exports_agree_with_the_report_lines_of_the_same_invocation(self):
        folder = self.folder()
        paths = [os.path.join(folder, name) for name in ("results.json", "results.csv",
                                                         "results.md")]
        # An earlier export is replaced whole.
        with open(paths[0], "w", encoding="utf-8") as earlier:
            earlier.write("x" * 100000)
        arguments = ["--json", "--runs", "3"]
        for path in paths:
            arguments += ["--export", path]
        result = run_stand_in(*arguments)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 3)
        document = check_exports_agree(self, folder, lines)
        self.assertEqual(document["library_version"], "0.0.0-stand-in")
        # The build that ran: the digest of the very file loaded.
        with open(STAND_IN_RUN_LIBRARY, "rb") as library:
            self.assertEqual(document["library_sha256"], hashlib.sha256(library.read()).hexdigest())
        self.assertEqual(document["summary"]["duration_ms"],
                         {"median": STAND_IN_FINISHED_MS, "min": STAND_IN_FINISHED_MS,
                          "max": STAND_IN_FINISHED_MS, "cv_percent": 0})
        with open(paths[2], encoding="utf-8") as markdown:
            self.assertIn("| score_multi | 3043 | 3043 | 3043 | 0.0% |", markdown.read())
        self.assertEqual(sorted(os.listdir(folder)), ["results.csv", "results.json", "results.md"])

    def test_each_export_format_reads_back(self):
        folder = self.folder()
        paths = {extension: os.path.join(folder, "results" + extension)
                 for extension in (".json", ".csv", ".md", ".prom", ".html")}
        arguments = ["--json", "--runs", "2"]
        for path in paths.values():
            arguments += ["--export", path]
        result = run_stand_in(*arguments)
        self.assertEqual(result.returncode, 0, result.stderr)
        # The JSON document and the CSV rows are the report lines.
        check_exports_agree(self, folder, result.stdout.splitlines())
        with open(paths[".md"], encoding="utf-8") as markdown:
            self.assertIn("| score_multi | 3043 | 3043 | 3043 | 0.0% |", markdown.read())
        with open(paths[".prom"], encoding="utf-8") as prom:
            samples = dict(line.rsplit(" ", 1) for line in prom.read().splitlines()
                           if line and not line.startswith("#"))
        self.assertEqual(samples["quorvane_runs"], "2")
        self.assertEqual(samples['quorvane_score{threads="all"}'], "3043")
        import html.parser
        counts = {}

        class Tags(html.parser.HTMLParser):
            def handle_starttag(self, tag, attributes):
                counts[tag] = counts.get(tag, 0) + 1

        with open(paths[".html"], encoding="utf-8") as page:
            text = page.read()
        Tags().feed(text)
        # One chart per figure of the report, and no script.
        self.assertGreaterEqual(counts.get("svg", 0), 7, counts)
        self.assertNotIn("script", counts)
        self.assertIn("0.0.0-stand-in", text)

    def test_an_export_over_a_read_only_file(self):
        folder = self.folder()
        target = os.path.join(folder, "results.json")
        with open(target, "w", encoding="utf-8") as earlier:
            earlier.write("earlier")
        os.chmod(target, 0o444)
        result = run_stand_in("--quiet", "--export", target)
        # Replaced whole and still read-only (POSIX, and Wine as root), or,
        # where the system refuses (Windows), a failed export that leaves the
        # file as it was: never a partial file or a lost mode.
        if WINDOWS_HOST and result.returncode == 4:
            self.assertIn(f"quorvane: cannot write {target}: ", result.stderr)
            with open(target, encoding="utf-8") as kept:
                self.assertEqual(kept.read(), "earlier")
        else:
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(len(check_document(self, target)["runs"]), 1)
            self.assertEqual(os.stat(target).st_mode & 0o777, 0o444)
        self.assertEqual(os.listdir(folder), ["results.json"], "a temporary file was left")

    def test_the_machine_conditions_are_shown_or_said_to_be_not_reported(self):
        # This machine's own conditions, whatever the system reports of them.
        folder = self.folder()
        exported = os.path.join(folder, "results.json")
        result = run_stand_in("--export", exported, machine="real")
        self.assertEqual(result.returncode, 0, result.stderr)
        machine = check_document(self, exported)["machine"]
        rows = dict(re.findall(r"^  (\S.*?)  +(\S.*)$", result.stdout.split("\n\n")[0], re.M))
        frequencies = [machine["base_frequency_hz"], machine["max_frequency_hz"]]
        for label, values in (("virtualisation", [machine["virtualisation"]]),
                              ("frequency", frequencies),
                              ("frequency policy", [machine["frequency_policy"]]),
                              ("power source", [machine["power_source"]])):
            with self.subTest(label):
                reported = [value for value in values if value is not None]
                if reported:
                    self.assertFalse(rows[label].startswith("not reported"), (rows[label], values))
                    if isinstance(reported[0], str):
                        self.assertTrue(rows[label].startswith(reported[0]), (rows[label], values))
                else:
                    self.assertEqual(rows[label], "not reported", values)

    @posix_host_only(FAKE_TREE)
    def test_a_big_little_arm_machine_is_described_from_its_tree(self):
        # Two kinds of Arm core: the terminal, the document and the Markdown
        # export all say so.
        machine = dict(QUIET_MACHINE)
        for cpu, (midr, capacity) in enumerate([("0x412fd050", "446"), ("0x414fd0b1", "1024")]):
            folder = f"/sys/devices/system/cpu/cpu{cpu}"
            machine[folder + "/regs/identification/midr_el1"] = midr + "\n"
            machine[folder + "/cpu_capacity"] = capacity + "\n"
        folder = self.folder()
        result = run_stand_in("--export", os.path.join(folder, "results.json"),
                              "--export", os.path.join(folder, "results.md"), machine=machine)
        self.assertEqual(result.returncode, 0, result.stderr)
        kinds = "1 Arm Cortex-A76 (capacity 1024), 1 Arm Cortex-A55 (capacity 446)"
        self.assertRegex(result.stdout, r"processor +Arm Cortex-A55 \+ Arm Cortex-A76\n")
        self.assertRegex(result.stdout, r"core kinds +" + re.escape(kinds) + "\n")
        self.assertIn("note: this machine has cores of more than one kind", result.stdout)
        document = check_document(self, os.path.join(folder, "results.json"))
        self.assertEqual(document["machine"]["core_kinds"],
                         [{"name": "Arm Cortex-A76 (capacity 1024)", "processors": 1},
                          {"name": "Arm Cortex-A55 (capacity 446)", "processors": 1}])
        self.assertIn("single_thread_note", document["machine"])
        with open(os.path.join(folder, "results.md"), encoding="utf-8") as markdown:
            self.assertIn(f"| core kinds | {kinds} |", markdown.read())

    @posix_host_only(SIGNALS)
    def test_a_cancelled_run_is_still_exported(self):
        folder = self.folder()
        root = fake_tree(QUIET_MACHINE)
        self.addCleanup(shutil.rmtree, root)
        environment = dict(os.environ, QUORVANE_STAND_IN_BEHAVIOUR="until_cancel",
                           QUORVANE_SYSTEM_ROOT=root)
        host = Interrupted("--json", "--library", STAND_IN_RUN_LIBRARY,
                           "--export", os.path.join(folder, "results.json"),
                           "--export", os.path.join(folder, "results.csv"), env=environment)
        host.wait_for("phase 1/5")
        status, _, stdout, stderr = host.finish([signal.SIGINT])
        self.assertEqual(status, 130, stderr)
        document = check_exports_agree(self, folder, stdout.splitlines())
        self.assertTrue(document["runs"][0]["cancelled"])
        self.assertEqual(document["runs"][0]["report"]["duration_ms"], STAND_IN_CANCELLED_MS)

    def test_two_runs_with_json_print_one_report_line_each(self):
        folder = self.folder()
        # This machine's own counters: every phase's other load is measured.
        result = run_stand_in("--json", "--runs", "2",
                              "--export", os.path.join(folder, "results.json"),
                              "--export", os.path.join(folder, "results.csv"), machine="real")
        self.assertEqual(result.returncode, 0, result.stderr)
        document = check_exports_agree(self, folder, result.stdout.splitlines())
        self.assertEqual(document["library_version"], "0.0.0-stand-in")
        self.assertEqual(set(document["summary"]), set(REPORT_KEYS))
        for run in document["runs"]:
            self.assertEqual(len([load for load in run["other_load_percent"]
                                  if load is not None]), 5)
        lines = result.stdout.split("\n")
        self.assertEqual(lines[-1], "", "every report line ends with a newline")
        self.assertEqual(len(lines), 3, result.stdout)
        for line in lines[:2]:
            report = parse_report(line, self)
            for key in MEASUREMENTS:
                self.assertGreater(report[key], 0, f"{key} in {line}")
            self.assertEqual(report["threads_used"], STAND_IN_THREADS)
        # Progress went to standard error, one line per phase of each run.
        phase_lines = [line for line in result.stderr.splitlines() if ", phase " in line]
        self.assertEqual([line.split(":")[0] for line in phase_lines],
                         [f"run {run}/2, phase {phase}/5"
                          for run in (1, 2) for phase in range(1, 6)])
        self.assertNotIn("\r", result.stderr)

    @posix_host_only(QUIET)
    def test_compare_checks_the_baseline_first_and_prints_the_comparison_after(self):
        folder = self.folder()
        baseline = os.path.join(folder, "baseline.jsonl")
        with open(baseline, "w", encoding="utf-8") as lines:
            lines.write('{"score_single":1}\n')
        result = run_stand_in("--compare", baseline)
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, "")
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertIn(baseline, result.stderr)

        exported = os.path.join(folder, "results.json")
        self.assertEqual(run_stand_in("--quiet", "--export", exported).returncode, 0)
        result = run_stand_in("--compare", exported)
        self.assertEqual(result.returncode, 0, result.stderr)
        comparison = result.stdout[result.stdout.index("\nComparison"):]
        self.assertRegex(comparison, r"multi-thread score +3043 +3043 +1\.000 +- +too few runs")
        self.assertIn("4 clean runs a side would do", comparison)
        # With --json the comparison goes to standard error.
        result = run_stand_in("--json", "--compare", exported)
        self.assertEqual(len(result.stdout.splitlines()), 1)
        self.assertIn("too few runs", result.stderr)

    @posix_host_only(QUIET)
    def test_a_version_1_baseline_compares_with_this_version_2_document(self):
        folder = self.folder()
        report = {"score_single": 1591, "score_multi": 3043, "int_single_mops": 1002,
                  "int_multi_mops": 1890, "fp_single_mflops": 3546, "fp_multi_mflops": 6911,
                  "mem_bandwidth_mbps": 9123, "threads_used": 2, "duration_ms": 20013}
        old = {"schema_version": 1, "host_version": "1.0.0", "library_version": "0.0.0-stand-in",
               "started_at": "2026-12-01T10:00:00Z", "summary": {},
               "machine": {"cpu_model": "Old CPU", "logical_processors": 2,
                           "usable_processors": 2, "memory_bytes": 1, "os": "x", "kernel": "y"},
               "runs": [{"started_at": "2026-12-01T10:00:00Z", "ended_at": "2026-12-01T10:00:20Z",
                         "cancelled": False, "report": dict(report, score_multi=3000 + run),
                         "other_load_percent": [0, 0, 0, 0, 0]} for run in range(4)]}
        baseline = os.path.join(folder, "v1.json")
        with open(baseline, "w", encoding="utf-8") as file:
            json.dump(old, file)
        exported = os.path.join(folder, "results.json")
        result = run_stand_in("--runs", "4", "--compare", baseline, "--export", exported)
        self.assertEqual(result.returncode, 0, result.stderr)
        comparison = result.stdout[result.stdout.index("\nComparison"):]
        self.assertIn("  not like for like:\n    processor model: Old CPU there, ", comparison)
        self.assertIn("not recorded on one side: library build, virtualisation, frequency "
                      "policy, quota, power source", comparison)
        # 3043 against 3000 to 3003 in every pair: faster, on four runs a side.
        self.assertRegex(comparison, r"multi-thread score +3001\.5 +3043 +1\.014 +1\.013-1\.014"
                                     r"  faster")
        document = check_document(self, exported)
        self.assertEqual(document["comparison"]["baseline"]["source"], baseline)
        self.assertEqual(document["comparison"]["figures"]["score_multi"]["verdict"], "faster")
        self.assertFalse(document["comparison"]["like_for_like"])
        self.assertIn(f"\nwrote {exported}\n", result.stderr)

    @posix_host_only(QUIET)
    def test_the_terminal_the_document_and_the_page_give_one_comparison(self):
        # A baseline whose disturbed runs lie far above its clean ones: every
        # layout leaves them out, and shows the ratio its interval belongs to.
        report = {"score_single": 1591, "score_multi": 3043, "int_single_mops": 1002,
                  "int_multi_mops": 1890, "fp_single_mflops": 3546, "fp_multi_mflops": 6911,
                  "mem_bandwidth_mbps": 9123, "threads_used": 2, "duration_ms": 20013}
        runs = []
        for number, factor in enumerate((0.94, 0.95, 1.2, 1.3, 1.4, 0.96, 0.955)):
            disturbed = number in (2, 3, 4)
            runs.append({"cancelled": False,
                         "report": dict(report, score_single=round(1591 * factor)),
                         "verdict": {"clean": not disturbed, "not_reported": [],
                                     "reasons": ["steal 9% in phase 4"] if disturbed else []}})
        folder = self.folder()
        baseline = os.path.join(folder, "baseline.json")
        with open(baseline, "w", encoding="utf-8") as file:
            json.dump({"schema_version": 2, "runs": runs}, file)
        exported, page = os.path.join(folder, "results.json"), os.path.join(folder, "page.html")
        result = run_stand_in("--runs", "4", "--compare", baseline, "--export", exported,
                              "--export", page)
        self.assertEqual(result.returncode, 0, result.stderr)
        figure = check_document(self, exported)["comparison"]["figures"]["score_single"]
        self.assertEqual(figure["baseline_median"], 1515)  # 1496, 1511, 1519, 1527
        self.assertLessEqual(figure["interval_low"], figure["ratio"])
        self.assertLessEqual(figure["ratio"], figure["interval_high"])
        cells = (f"{figure['ratio']:.3f}", f"{figure['interval_low']:.3f}",
                 f"{figure['interval_high']:.3f}")
        self.assertRegex(result.stdout, r"single-thread score +1515 +1591 +%s +%s-%s  faster"
                         % tuple(re.escape(cell) for cell in cells))
        with open(page, encoding="utf-8") as file:
            html = file.read()
        self.assertIn('<tr data-figure="score_single"><th>single-thread score</th>'
                      '<td class="num">1515</td><td class="num">1591</td>'
                      '<td class="num">%s</td><td class="num">%s to %s</td><td>faster</td>'
                      % cells, html)

    @posix_host_only(FAKE_TREE)
    def test_a_quota_below_the_processors_used_makes_the_run_disturbed(self):
        machine = dict(QUIET_MACHINE, **{
            "/proc/self/cgroup": "0::/box\n",
            "/sys/fs/cgroup/cgroup.controllers": "cpu\n",
            "/sys/fs/cgroup/box/cpu.max": "50000 100000\n"})
        folder = self.folder()
        exported = os.path.join(folder, "results.json")
        for extra, status in (([], 0), (["--require-clean"], 6)):
            with self.subTest(extra=extra):
                result = run_stand_in(*extra, "--export", exported, machine=machine)
                self.assertEqual(result.returncode, status, result.stderr)
                verdict = "run 1/1: disturbed: quota 0.50 processors below 2 used"
                self.assertIn(f"\nVerdict\n  {verdict}\n", result.stdout)
                self.assertIn(f"warning: {verdict}\n", result.stderr)
                self.assertRegex(result.stdout, r"\n  processor quota +0\.50 processors "
                                                r"\(cgroup v2 /box\)\n")
                document = check_document(self, exported)
                self.assertEqual(document["machine"]["quota_processors"], 0.5)
                self.assertEqual(document["disturbed_runs"], 1)
                self.assertFalse(document["runs"][0]["verdict"]["clean"])


@posix_host_only("cgroups are Linux's")
class CgroupQuotaTest(unittest.TestCase):
    """A whole run of spinning threads inside a real cgroup with a quota of
    half a processor (as root): about 5 s."""

    WINDOW_MS = 800

    def make_cgroup(self):
        """A new cgroup with the quota, and the file that moves a process into
        it; skips with the reason where none can be made."""
        if not sys.platform.startswith("linux"):
            self.skipTest("cgroups are Linux's")
        if os.geteuid() != 0:
            self.skipTest("making a cgroup needs root")
        name = f"quorvane-test-{os.getpid()}"
        unified = "/sys/fs/cgroup"
        if os.path.exists(os.path.join(unified, "cgroup.controllers")):
            with open(os.path.join(unified, "cgroup.controllers"), encoding="utf-8") as file:
                if "cpu" not in file.read().split():
                    self.skipTest("the cgroup v2 hierarchy has no cpu controller")
            folder = os.path.join(unified, name)
            quota_file, quota = "cpu.max", "50000 100000"
        elif os.path.exists("/sys/fs/cgroup/cpu/cpu.cfs_quota_us"):
            folder = os.path.join("/sys/fs/cgroup/cpu", name)
            quota_file, quota = "cpu.cfs_quota_us", "50000"
        else:
            self.skipTest("no cgroup cpu controller is mounted")
        try:
            os.mkdir(folder)
        except OSError as error:
            self.skipTest(f"cannot make a cgroup: {error}")
        self.addCleanup(self.remove_cgroup, folder)
        try:
            if quota_file == "cpu.cfs_quota_us":
                with open(os.path.join(folder, "cpu.cfs_period_us"), "w") as file:
                    file.write("100000")
            with open(os.path.join(folder, quota_file), "w") as file:
                file.write(quota)
        except OSError as error:
            self.skipTest(f"cannot set the cgroup's quota: {error}")
        return os.path.join(folder, "cgroup.procs")

    @staticmethod
    def remove_cgroup(folder):
        # Every process in it has ended by now; a cgroup goes with rmdir.
        deadline = time.monotonic() + 10
        while os.path.exists(folder):
            try:
                os.rmdir(folder)
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)

    def test_a_run_in_a_half_processor_quota_is_disturbed_for_it(self):
        if not os.path.exists(STAND_IN_RUN_LIBRARY):
            self.skipTest("QUORVANE_STAND_IN_RUN_LIBRARY is not set")
        procs = self.make_cgroup()
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        exported = os.path.join(folder, "results.json")
        environment = dict(os.environ, QUORVANE_STAND_IN_BEHAVIOUR="spin",
                           QUORVANE_STAND_IN_WINDOW_MS=str(self.WINDOW_MS))
        environment.pop("QUORVANE_SYSTEM_ROOT", None)
        # The shell moves itself into the cgroup, then becomes the host.
        script = 'echo $$ > "$1" && shift && exec "$@"'
        result = subprocess.run(["sh", "-c", script, "sh", procs, CLI, "--library",
                                 STAND_IN_RUN_LIBRARY, "--require-clean", "--export", exported],
                                capture_output=True, text=True, env=environment,
                                timeout=WHOLE_RUN_LIMIT_S)
        self.assertEqual(result.returncode, 6, result.stdout + result.stderr)
        document = check_document(self, exported)
        self.assertEqual(document["machine"]["quota_processors"], 0.5)
        verdict = document["runs"][0]["verdict"]
        self.assertFalse(verdict["clean"])
        self.assertTrue(any(reason.startswith("quota throttling") for reason in verdict["reasons"]),
                        verdict)
        self.assertIn("quota 0.50 processors below", "; ".join(verdict["reasons"]))
        throttled = [phase["quota_throttled_periods"] for phase in document["runs"][0]["conditions"]]
        self.assertGreater(max(throttled), 0, throttled)


def stand_in_document(folder):
    """A real results document of three stand-in runs, as text."""
    path = os.path.join(folder, "real.json")
    result = run_stand_in("--quiet", "--runs", "3", "--export", path)
    if result.returncode != 0:
        raise AssertionError(result.stderr)
    with open(path, encoding="utf-8") as document:
        return document.read()


def write_bytes(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))
    return path


class HostileInputTest(unittest.TestCase):
    """What a user saw the host do with bad input, each case as it was reproduced."""

    def setUp(self):
        if not os.path.exists(STAND_IN_RUN_LIBRARY):
            self.skipTest("QUORVANE_STAND_IN_RUN_LIBRARY is not set")
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.real = stand_in_document(self.folder)
        self.line = json.dumps(json.loads(self.real)["runs"][0]["report"], separators=(",", ":"))

    def host(self, *arguments, stdout=subprocess.PIPE, user=None):
        root = fake_tree(QUIET_MACHINE)
        self.addCleanup(shutil.rmtree, root)
        os.chmod(root, 0o755)  # readable by the unprivileged user some cases run as
        environment = dict(os.environ, QUORVANE_SYSTEM_ROOT=root)
        environment.pop("QUORVANE_STAND_IN_BEHAVIOUR", None)
        return subprocess.run([*HOST, "--library", STAND_IN_RUN_LIBRARY, "--quiet", *arguments],
                              stdout=stdout, stderr=subprocess.PIPE, timeout=60, env=environment,
                              user=user, check=False)

    def assert_one_line(self, result, status, *needles):
        stderr = result.stderr.decode("utf-8")  # valid UTF-8, or this raises
        self.assertEqual(result.returncode, status, stderr)
        # Warnings about other programs' load may come too, each a line.
        errors = [line for line in stderr.splitlines() if line.startswith("quorvane: ")]
        self.assertEqual(len(errors), 1, stderr)
        for needle in needles:
            self.assertIn(needle, errors[0])
        self.assertFalse(re.search("[\x00-\x08\x0b-\x1f\x7f]", stderr), repr(stderr))

    def test_baselines_the_host_refuses_with_one_line_and_status_2(self):
        deep = "[" * 200000 + "]" * 200000
        cases = [
            ("schema_version -1e400", self.real.replace('"schema_version": 2', '"schema_version": -1e400'), "-1e400"),
            ("report line -1e400", self.line.replace("1591", "-1e400") + "\n", "-1e400"),
            ("nested 200 000 deep", self.real.replace('"cancelled": false,', '"cancelled": false, "x": %s,' % deep, 1), "deep"),
            ("other load 1.7e308", re.sub(r'"other_load_percent": \[[^\]]*\]', '"other_load_percent": [1.7e308]', self.real, count=1), "other_load_percent"),
            ("report value 1.7e308", self.real.replace('"mem_bandwidth_mbps": 9123', '"mem_bandwidth_mbps": 1.7e308', 1), "1e100"),
            ("negative rate", self.real.replace('"int_multi_mops": 1890', '"int_multi_mops": -1890', 1), "-1890"),
            ("no threads in a finished run", self.real.replace('"threads_used": 2', '"threads_used": 0', 1), "threads_used"),
            ("Latin-1 byte", self.real.encode("utf-8").replace(b'"os": "', b'"os": "Caf\xe9 ', 1), "UTF-8"),
            ("escape in JSON text", self.real.replace('"os": "', '"os": \x1b[31m"', 1), "not JSON"),
        ]
        for name, text, needle in cases:
            with self.subTest(name):
                path = write_bytes(self.folder, "baseline.json", text)
                html = os.path.join(self.folder, "l.html")
                if os.path.exists(html):
                    os.remove(html)
                result = self.host("--compare", path, "--export", html)
                self.assert_one_line(result, 2, path, needle)
                self.assertEqual(result.stdout, b"")
                self.assertFalse(os.path.exists(html), "no run started")

    def test_unreadable_baselines_say_why(self):
        private = write_bytes(self.folder, "private.json", self.real)
        os.chmod(private, 0o600)
        os.chmod(self.folder, 0o755)
        cases = [(os.path.join(self.folder, "absent.json"), None, "does not exist")]
        if not WINDOWS_HOST:  # a POSIX device
            cases.append(("/dev/zero", None, "larger than 64 MiB"))
        # Wine runs only as the owner of its prefix.
        if os.geteuid() == 0 and not WINDOWS_HOST:
            cases.append((private, 65534, "Permission denied"))
        for path, user, needle in cases:
            with self.subTest(path):
                self.assert_one_line(self.host("--compare", path, user=user), 2, path, needle)

    @posix_host_only(QUIET)
    def test_baseline_text_never_drives_the_terminal(self):
        text = self.real.replace('"cpu_model": "', '"cpu_model": "\\u001b]0;owned\\u0007\\u001b[31m', 1)
        text = text.replace('"os": "', '"os": "two\\nlines ', 1)
        text = text.replace('"score_multi": 3043', '"score_multi": 1e40')
        path = write_bytes(self.folder, "baseline.json", text)
        result = self.host("--compare", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        stdout = result.stdout.decode("utf-8")
        self.assertFalse(re.search("[\x00-\x09\x0b-\x1f\x7f]", stdout), repr(stdout))
        self.assertIn("10000000000000000303786028427003666890752", stdout)
        self.assertNotIn("two\nlines", stdout)

    def test_a_closed_or_full_standard_output_loses_no_export(self):
        cases = [("/dev/full", "No space left on device"), ("closed", "Bad file descriptor")]
        for target, needle in cases:
            with self.subTest(target):
                export = os.path.join(self.folder, "x.json")
                if os.path.exists(export):
                    os.remove(export)
                arguments = [*HOST, "--library", STAND_IN_RUN_LIBRARY, "--quiet", "--json",
                             "--runs", "2", "--export", export]
                if target == "closed":
                    result = subprocess.run(arguments, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                            timeout=60, check=False, pass_fds=(),
                                            preexec_fn=lambda: os.close(1))
                else:
                    with open(target, "wb") as full:
                        result = subprocess.run(arguments, stdout=full, stderr=subprocess.PIPE,
                                                timeout=60, check=False)
                self.assert_one_line(result, 5, "standard output", needle)
                with open(export, encoding="utf-8") as document:
                    self.assertEqual(len(json.load(document)["runs"]), 2)

    def test_a_reader_that_goes_away_loses_no_export(self):
        export = os.path.join(self.folder, "x.json")
        shell = (f"{shlex.join(HOST)} --library '{STAND_IN_RUN_LIBRARY}' --quiet --runs 2 --json "
                 f"--export '{export}' | head -c1 >/dev/null; echo \"status ${{PIPESTATUS[0]}}\"")
        result = subprocess.run(["bash", "-c", shell], capture_output=True, text=True, timeout=60,
                                check=False)
        self.assertIn("status 5", result.stdout, result.stderr)
        # Wine gives the C runtime's EINVAL where POSIX says EPIPE.
        self.assertIn("cannot write to standard output: " +
                      ("Invalid argument" if WINDOWS_HOST else "Broken pipe"), result.stderr)
        with open(export, encoding="utf-8") as document:
            self.assertEqual(len(json.load(document)["runs"]), 2)

    @posix_host_only("Wine shows a Unix symbolic link as the file it names, not as a link")
    def test_an_export_through_a_link_replaces_the_file_it_names(self):
        real = write_bytes(self.folder, "real.prom", "stale 1\n")
        link = os.path.join(self.folder, "link.prom")
        os.symlink("real.prom", link)
        result = self.host("--export", link)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.islink(link))
        with open(real, encoding="utf-8") as f:
            self.assertIn("quorvane_score", f.read())


class WholeRunTest(unittest.TestCase):
    """A complete run of the real library: 20 s. The host's own handling of
    runs, reports and exports is tested against the stand-in above."""

    def test_one_run_off_a_terminal_prints_phase_lines_then_the_table(self):
        result = run_cli("--library", LIBRARY, timeout=WHOLE_RUN_LIMIT_S)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn("\r", result.stdout)
        self.assertNotIn("\r", result.stderr)
        lines = result.stderr.splitlines()
        self.assertEqual([line.split(":")[0] for line in lines[:5]],
                         [f"phase {phase}/5" for phase in range(1, 6)])
        self.assertTrue(lines[5].startswith("finished in "), lines[5])
        # Standard output carries the machine and the results alone.
        self.assertRegex(result.stdout, r"^Machine\n  processor +\S.*\n  processors +\d+ logical, "
                                        r"\d+ usable by this process\n  memory +[0-9.]+ GiB\n"
                                        r"  system +\S.*\n  virtualisation +\S.*\n"
                                        r"(  \S.*\n)*\nResults\n")
        table = result.stdout[result.stdout.index("\nResults\n"):]
        for label in TABLE_LABELS[:7]:
            self.assertRegex(table, rf"\n  {label} +[1-9][0-9]*(  \S.*)?\n")
        self.assertRegex(table, rf"\n  processors +{len(os.sched_getaffinity(0))}\n")



class InterferenceTest(unittest.TestCase):
    """A run while another process keeps a processor busy. The host measures
    the other programs' share itself, so the stand-in's run of a few polls
    serves: its phases last about a tenth of a second each."""

    def setUp(self):
        if not os.path.exists(STAND_IN_RUN_LIBRARY):
            self.skipTest("QUORVANE_STAND_IN_RUN_LIBRARY is not set")

    def test_a_busy_processor_shows_in_the_phases_figures(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        exported = os.path.join(folder, "results.json")
        busy = subprocess.Popen([sys.executable, "-c", "while True: pass"])
        try:
            result = run_stand_in("--json", "--export", exported, machine="real")
        finally:
            busy.kill()
            busy.wait()
        self.assertEqual(result.returncode, 0, result.stderr)
        loads = check_document(self, exported)["runs"][0]["other_load_percent"]
        self.assertGreaterEqual(max(loads), 20, loads)
        # Each phase above 10% has its warning on standard error.
        warned = [load for load in loads if load > 10]
        self.assertEqual(len([line for line in result.stderr.splitlines()
                              if line.startswith("warning: other programs used ")]),
                         len(warned), result.stderr)


if __name__ == "__main__":
    unittest.main()
