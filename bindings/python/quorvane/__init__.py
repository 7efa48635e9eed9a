"""Drive the quorvane benchmark library from Python (standard library only).

    import quorvane
    bench = quorvane.Quorvane("build/bin/libmorvatic-quorvane-cpu-benchmark.so")
    report = bench.run(on_progress=lambda percent, phase: print(percent, phase))
    print(report["score_single"], report["score_multi"])

The library is loaded by path: the path given to Quorvane(), else the
QUORVANE_LIBRARY environment variable, else the library's file beside this
module. The library keeps one run state per process, so every Quorvane object
in a process drives the same run.
"""

import ctypes
import json
import os
import sys
import time

__all__ = ["Quorvane", "QuorvaneError", "STATE_IDLE", "STATE_RUNNING", "STATE_FINISHED",
           "STATE_CANCELLED", "PHASE_NAMES", "library_file_name"]

STATE_IDLE = 0
STATE_RUNNING = 1
STATE_FINISHED = 2
STATE_CANCELLED = 3

PHASE_NAMES = {
    0: "none",
    1: "integer mixing, one thread",
    2: "integer mixing, all processors",
    3: "floating point, one thread",
    4: "floating point, all processors",
    5: "memory copy",
}

ENVIRONMENT_VARIABLE = "QUORVANE_LIBRARY"

_EXPORTS = (
    ("quorvane_version", ctypes.c_char_p),
    ("quorvane_last_error", ctypes.c_char_p),
    ("quorvane_state", ctypes.c_int),
    ("quorvane_progress", ctypes.c_int),
    ("quorvane_phase", ctypes.c_int),
    ("quorvane_cancel", None),
    ("quorvane_start", ctypes.c_int),
    ("quorvane_results_json", ctypes.c_char_p),
)


class QuorvaneError(RuntimeError):
    """The library could not be loaded, or it refused to start a run."""


def library_file_name():
    """The library's file name on this operating system."""
    if sys.platform == "win32":
        return "morvatic-quorvane-cpu-benchmark.dll"
    if sys.platform == "darwin":
        return "libmorvatic-quorvane-cpu-benchmark.dylib"
    return "libmorvatic-quorvane-cpu-benchmark.so"


def _default_path():
    from_environment = os.environ.get(ENVIRONMENT_VARIABLE)
    if from_environment:
        return from_environment
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), library_file_name())


class Quorvane:
    """One loaded copy of the library and its eight functions."""

    def __init__(self, path=None):
        self.path = os.fspath(path) if path is not None else _default_path()
        # An absolute path keeps the loader from searching its own folders.
        absolute = os.path.abspath(self.path)
        try:
            self._lib = ctypes.CDLL(absolute)
        except OSError as error:
            raise QuorvaneError(f"cannot load the library {self.path}: {error}") from None
        missing = []
        for name, result_type in _EXPORTS:
            try:
                function = getattr(self._lib, name)
            except AttributeError:
                missing.append(name)
                continue
            function.argtypes = []
            function.restype = result_type
        if missing:
            raise QuorvaneError(f"the library {self.path} lacks the export(s) {', '.join(missing)}")

    @property
    def version(self):
        """The library's version text."""
        return self._lib.quorvane_version().decode()

    @property
    def state(self):
        """0 idle, 1 running, 2 finished, 3 cancelled."""
        return self._lib.quorvane_state()

    @property
    def phase(self):
        """The phase now running, 1 to 5, or 0 when none runs."""
        return self._lib.quorvane_phase()

    @property
    def progress(self):
        """Percent done: 0, 2, 20, 40, 60, 80 or 100."""
        return self._lib.quorvane_progress()

    @property
    def last_error(self):
        """The reason of the last refused start, or ""."""
        return self._lib.quorvane_last_error().decode()

    def start(self):
        """Starts a run on the library's own thread; raises QuorvaneError if refused."""
        if self._lib.quorvane_start() != 0:
            raise QuorvaneError(f"the library refused to start a run: {self.last_error}")

    def cancel(self):
        """Asks the run in progress to end early; it ends in state 3."""
        self._lib.quorvane_cancel()

    def results(self):
        """The report of the last run as a dict of its nine members."""
        return json.loads(self._lib.quorvane_results_json().decode())

    def wait(self, poll=0.1, on_progress=None):
        """Waits until no run is in progress; returns the final state."""
        last = None
        while True:
            # The state is read first: once it is final, so are phase and progress.
            state = self.state
            now = (self.progress, self.phase)
            if on_progress is not None and now != last:
                on_progress(*now)
                last = now
            if state != STATE_RUNNING:
                return state
            time.sleep(poll)

    def run(self, on_progress=None, poll=0.1):
        """Runs the benchmark to the end and returns the report as a dict.

        on_progress(percent, phase) is called whenever either changes. An
        exception in the wait (Ctrl-C, or one raised by on_progress) cancels
        the run and waits for it to close before it propagates, so the
        library's threads never outlive the call.
        """
        self.start()
        try:
            self.wait(poll, on_progress)
        except BaseException:
            self.cancel()
            self._wait_through_interrupts(poll)
            raise
        return self.results()

    def _wait_through_interrupts(self, poll):
        # A second Ctrl-C must not leave the run going in a process that is
        # on its way out: keep waiting until the run has closed.
        while True:
            try:
                self.wait(poll)
                return
            except KeyboardInterrupt:
                continue
