"""The Python package bindings/python against the real library.

QUORVANE_LIBRARY names the library (the wrapper's own default);
QUORVANE_STAND_IN_LIBRARY a library that lacks one export;
QUORVANE_INTERRUPTING_LIBRARY a library whose start raises SIGINT.
"""

import ctypes
import json
import os
import signal
import subprocess
import sys
import threading
import time
import unittest

import quorvane

REPORT_KEYS = ["score_single", "score_multi", "int_single_mops", "int_multi_mops",
               "fp_single_mflops", "fp_multi_mflops", "mem_bandwidth_mbps", "threads_used",
               "duration_ms"]
MEASUREMENTS = REPORT_KEYS[:7]
POLL_S = 0.01
CLOSE_LIMIT_S = 30


def wait_until(condition, limit_s=CLOSE_LIMIT_S):
    deadline = time.monotonic() + limit_s
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("timed out")
        time.sleep(POLL_S)


class WrapperTest(unittest.TestCase):
    """Each test lasts well under a second."""

    def setUp(self):
        self.bench = quorvane.Quorvane()

    def tearDown(self):
        # Leave no run behind for the next test.
        self.bench.cancel()
        wait_until(lambda: self.bench.state != quorvane.STATE_RUNNING)

    def test_loads_the_library_named_by_the_environment(self):
        self.assertEqual(self.bench.path, os.environ["QUORVANE_LIBRARY"])
        self.assertEqual(self.bench.version, "1.0.0")
        self.assertIn(self.bench.state, (0, 2, 3))
        self.assertEqual(self.bench.phase, 0)

    def test_cancelled_run_returns_the_nine_keys_and_zero_measurements(self):
        seen = []

        def cancel_in_first_phase(progress, phase):
            seen.append((progress, phase))
            if phase == 1:
                self.bench.cancel()

        report = self.bench.run(on_progress=cancel_in_first_phase, poll=POLL_S)
        self.assertEqual(list(report), REPORT_KEYS)
        for key in MEASUREMENTS:
            self.assertEqual(report[key], 0, key)
        self.assertEqual(report["threads_used"], len(os.sched_getaffinity(0)))
        # A cancel seen within a millisecond of the opening gives 0; the
        # cancelled state says the run closed, this that phase 1 was cut short.
        self.assertLess(report["duration_ms"], 4000)
        self.assertEqual(self.bench.state, quorvane.STATE_CANCELLED)
        self.assertEqual(self.bench.phase, 0)
        self.assertEqual(self.bench.progress, 20)
        progress_values = [progress for progress, _ in seen]
        self.assertEqual(progress_values, sorted(progress_values), seen)

    def test_second_start_while_running_raises_and_leaves_the_run_going(self):
        self.bench.start()
        self.assertEqual(self.bench.last_error, "")
        with self.assertRaisesRegex(quorvane.QuorvaneError,
                                    "refused to start a run: already running"):
            self.bench.start()
        self.assertEqual(self.bench.last_error, "already running")
        self.assertEqual(self.bench.state, quorvane.STATE_RUNNING)
        # run() refused in the same way leaves the run in progress alone.
        with self.assertRaisesRegex(quorvane.QuorvaneError, "already running"):
            self.bench.run(poll=POLL_S)
        self.assertEqual(self.bench.state, quorvane.STATE_RUNNING)
        # A second object in the same process drives the same run.
        with self.assertRaises(quorvane.QuorvaneError):
            quorvane.Quorvane().start()

    def test_an_exception_in_the_callback_cancels_the_run_and_waits_for_it(self):
        def fail_in_first_phase(progress, phase):
            if phase == 1:
                raise ValueError("stop here")

        with self.assertRaisesRegex(ValueError, "stop here"):
            self.bench.run(on_progress=fail_in_first_phase, poll=POLL_S)
        # No run is left behind: the wrapper waited for the run to close.
        self.assertEqual(self.bench.state, quorvane.STATE_CANCELLED)
        report = self.bench.results()
        for key in MEASUREMENTS:
            self.assertEqual(report[key], 0, key)
        self.assertLess(report["duration_ms"], 4000)

    def test_text_getters_leave_the_library_text_alone(self):
        # ctypes copies c_char_p results; were it to free them, the second
        # read or the process would show it.
        for _ in range(1000):
            version, error, report = (self.bench.version, self.bench.last_error,
                                      self.bench.results())
        self.assertEqual(version, "1.0.0")
        self.assertIn(error, ("", "already running"))
        self.assertEqual(list(report), REPORT_KEYS)
        self.assertEqual(self.bench.version, "1.0.0")

    def test_without_path_or_environment_the_loader_search_path_is_used(self):
        library = os.environ["QUORVANE_LIBRARY"]
        environment = dict(os.environ, QUORVANE_LIBRARY="",
                           LD_LIBRARY_PATH=os.path.dirname(library),
                           PYTHONPATH=os.path.dirname(quorvane.__path__[0]))
        probe = "import quorvane; bench = quorvane.Quorvane(); print(bench.path, bench.version)"
        found = subprocess.run([sys.executable, "-c", probe], env=environment, check=True,
                               capture_output=True, text=True).stdout.split()
        self.assertEqual(found, [quorvane.library_file_name(), "1.0.0"])

    def test_refuses_a_library_it_cannot_use(self):
        absent = os.environ["QUORVANE_LIBRARY"] + ".absent"
        with self.assertRaisesRegex(quorvane.QuorvaneError, f"cannot load the library {absent}"):
            quorvane.Quorvane(absent)
        stand_in = os.environ.get("QUORVANE_STAND_IN_LIBRARY", "")
        if stand_in:
            with self.assertRaisesRegex(quorvane.QuorvaneError,
                                        "lacks the export.* quorvane_results_json$"):
                quorvane.Quorvane(stand_in)


class InterruptTest(unittest.TestCase):
    """Ctrl-C, as the KeyboardInterrupt a SIGINT raises in the main thread."""

    def test_an_interrupt_inside_start_still_cancels_the_run(self):
        path = os.environ["QUORVANE_INTERRUPTING_LIBRARY"]
        bench = quorvane.Quorvane(path)
        with self.assertRaises(KeyboardInterrupt):
            bench.run(poll=POLL_S)
        cancel_calls = ctypes.CDLL(path).stand_in_cancel_calls
        self.assertGreaterEqual(cancel_calls(), 1, "the run was left going without a cancel")
        self.assertEqual(bench.state, quorvane.STATE_CANCELLED)

    def test_an_interrupt_inside_a_refused_start_leaves_the_other_run_alone(self):
        path = os.environ["QUORVANE_INTERRUPTING_LIBRARY"]
        bench = quorvane.Quorvane(path)
        cancel_calls = ctypes.CDLL(path).stand_in_cancel_calls
        if bench.state != quorvane.STATE_RUNNING:
            # Another caller's run: its own start is interrupted too.
            with self.assertRaises(KeyboardInterrupt):
                bench.start()
        before = cancel_calls()
        with self.assertRaises(KeyboardInterrupt):
            bench.run(poll=POLL_S)
        self.assertEqual(cancel_calls(), before, "another caller's run was cancelled")
        self.assertEqual(bench.state, quorvane.STATE_RUNNING)
        bench.cancel()

    def test_ctrl_c_during_a_run_cancels_it_and_waits_for_it_to_close(self):
        bench = quorvane.Quorvane()

        # Ctrl-C once the run is in its first phase, however long it took to start.
        def interrupt_once_running():
            wait_until(lambda: bench.phase >= 1)
            os.kill(os.getpid(), signal.SIGINT)

        interrupter = threading.Thread(target=interrupt_once_running)
        interrupter.start()
        try:
            with self.assertRaises(KeyboardInterrupt):
                bench.run(poll=POLL_S)
        finally:
            interrupter.join(CLOSE_LIMIT_S)
        self.assertEqual(bench.state, quorvane.STATE_CANCELLED)
        self.assertEqual(bench.phase, 0)
        self.assertGreater(bench.results()["duration_ms"], 0)

    def test_module_prints_progress_and_the_cancelled_report_after_ctrl_c(self):
        # Standard error as a pipe (a line per change) and as a terminal (one line redrawn).
        for terminal in (False, True):
            with self.subTest(terminal=terminal):
                status, stdout, stderr = run_module(interrupt=True, terminal=terminal)
                self.assertEqual(status, 130, stderr)
                report = json.loads(stdout)
                self.assertEqual(list(report), REPORT_KEYS)
                self.assertEqual(report["mem_bandwidth_mbps"], 0)
                assert_progress_lines(self, stderr, r"\d+%  cancelled")


def run_module(interrupt, terminal=False):
    """python -m quorvane, with Ctrl-C once its first progress line is out if interrupt.

    Returns the exit status, standard output and standard error (from a
    pseudo-terminal when terminal is true).
    """
    environment = dict(os.environ, PYTHONPATH=os.path.dirname(quorvane.__path__[0]))
    if terminal:
        controller, stderr_end = os.openpty()
    else:
        controller, stderr_end = os.pipe()
    command = subprocess.Popen([sys.executable, "-m", "quorvane"], env=environment,
                               stdout=subprocess.PIPE, stderr=stderr_end, text=True)
    os.close(stderr_end)
    stderr = b""
    try:
        stderr += os.read(controller, 4096)
        if interrupt:
            command.send_signal(signal.SIGINT)
        while True:
            try:
                chunk = os.read(controller, 4096)
            except OSError:  # a pseudo-terminal reports its end as EIO
                break
            if not chunk:
                break
            stderr += chunk
        stdout, _ = command.communicate(timeout=CLOSE_LIMIT_S + 30)
    finally:
        command.kill()
        os.close(controller)
    return command.returncode, stdout, stderr.decode().replace("\r\n", "\n")


def assert_progress_lines(test, stderr, last_pattern):
    """Progress on standard error: each state once, the last one named, then a newline."""
    test.assertTrue(stderr.endswith("\n"), repr(stderr))
    lines = [line.strip() for line in stderr.replace("\r", "\n").split("\n") if line.strip()]
    test.assertRegex(lines[0], r"^\d+%")
    test.assertRegex(lines[-1], "^" + last_pattern + "$", repr(stderr))
    test.assertEqual(len(lines), len(set(lines)), repr(stderr))


class WholeRunTest(unittest.TestCase):
    """A complete run of the library QUORVANE_LIBRARY names: under CTest the
    stand-in of tests/cli, whose run takes a few polls; 20 s for the real one."""

    def test_progress_callback_sees_non_decreasing_values_up_to_a_finished_run(self):
        bench = quorvane.Quorvane()
        seen = []
        report = bench.run(on_progress=lambda progress, phase: seen.append((progress, phase)),
                           poll=0.05)
        progress_values = [progress for progress, _ in seen]
        self.assertEqual(progress_values, sorted(progress_values), seen)
        self.assertEqual(progress_values[-1], 100)
        phases = [phase for _, phase in seen if phase != 0]
        self.assertEqual(sorted(set(phases)), [1, 2, 3, 4, 5], seen)
        self.assertEqual(phases, sorted(phases), seen)
        self.assertEqual(bench.state, quorvane.STATE_FINISHED)
        self.assertEqual(list(report), REPORT_KEYS)
        for key in MEASUREMENTS:
            self.assertGreater(report[key], 0, key)

    def test_module_ends_a_finished_run_with_one_closing_line(self):
        status, stdout, stderr = run_module(interrupt=False)
        self.assertEqual(status, 0, stderr)
        self.assertEqual(list(json.loads(stdout)), REPORT_KEYS)
        assert_progress_lines(self, stderr, "100%  finished")


if __name__ == "__main__":
    unittest.main()
