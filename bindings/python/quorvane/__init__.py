"""Drive the quorvane benchmark library from Python (standard library only).

    import quorvane
    bench = quorvane.Quorvane()   # the wheel's own library; or Quorvane("path/to/the/library")
    report = bench.run(on_progress=lambda percent, phase: print(percent, phase))
    print(report["score_single"], report["score_multi"])

The library is loaded from the path given to Quorvane(), else from the
QUORVANE_LIBRARY environment variable, else from beside this package, else
by its file name through the loader's search path. The library keeps one run
state per process, so every Quorvane object in a process drives the same run.
"""

from __future__ import annotations

import ctypes
import json
import os
import signal
import sys
import threading
import time
from typing import Callable, Dict, Optional, Tuple, Union

__all__ = ["Quorvane", "QuorvaneError", "STATE_IDLE", "STATE_RUNNING", "STATE_FINISHED",
           "STATE_CANCELLED", "PHASE_NAMES", "ENVIRONMENT_VARIABLE", "library_file_name",
           "ProgressCallback", "Report"]

STATE_IDLE = 0
STATE_RUNNING = 1
STATE_FINISHED = 2
STATE_CANCELLED = 3

PHASE_NAMES: Dict[int, str] = {
    0: "none",
    1: "integer mixing, one thread",
    2: "integer mixing, all processors",
    3: "floating point, one thread",
    4: "floating point, all processors",
    5: "memory copy",
}

ENVIRONMENT_VARIABLE = "QUORVANE_LIBRARY"

ProgressCallback = Callable[[int, int], None]
"""on_progress(percent, phase)"""
Report = Dict[str, int]
"""The report's nine members; every value is a whole number."""

# c_char_p results are copied into bytes; ctypes never frees the library's text.
_EXPORTS: Tuple[Tuple[str, Optional[type]], ...] = (
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


def library_file_name() -> str:
    """The library's file name on this operating system."""
    if sys.platform == "win32":
        return "morvatic-quorvane-cpu-benchmark.dll"
    if sys.platform == "darwin":
        return "libmorvatic-quorvane-cpu-benchmark.dylib"
    return "libmorvatic-quorvane-cpu-benchmark.so"


def _default_path() -> str:
    from_environment = os.environ.get(ENVIRONMENT_VARIABLE)
    if from_environment:
        return from_environment
    beside_package = os.path.join(os.path.dirname(os.path.abspath(__file__)), library_file_name())
    if os.path.exists(beside_package):
        return beside_package
    # A bare file name: the loader searches its own folders.
    return library_file_name()


class Quorvane:
    """One loaded copy of the library and its eight functions."""

    def __init__(self, path: Union[str, "os.PathLike[str]", None] = None) -> None:
        self.path: str = os.fspath(path) if path is not None else _default_path()
        # A path with a folder in it is made absolute, so the loader does not
        # search its own folders for it; a bare file name is left to them.
        to_load = os.path.abspath(self.path) if os.path.dirname(self.path) else self.path
        try:
            self._lib = ctypes.CDLL(to_load)
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
    def version(self) -> str:
        """The library's version text."""
        return self._lib.quorvane_version().decode()

    @property
    def state(self) -> int:
        """0 idle, 1 running, 2 finished, 3 cancelled."""
        return self._lib.quorvane_state()

    @property
    def phase(self) -> int:
        """The phase now running, 1 to 5, or 0 when none runs."""
        return self._lib.quorvane_phase()

    @property
    def progress(self) -> int:
        """Percent done: 0, 2, 20, 40, 60, 80 or 100."""
        return self._lib.quorvane_progress()

    @property
    def last_error(self) -> str:
        """The reason of the last refused start, or ""."""
        return self._lib.quorvane_last_error().decode()

    def start(self) -> None:
        """Starts a run on the library's own thread; raises QuorvaneError if refused."""
        if self._lib.quorvane_start() != 0:
            raise QuorvaneError(f"the library refused to start a run: {self.last_error}")

    def cancel(self) -> None:
        """Asks the run in progress to end early; it ends in state 3."""
        self._lib.quorvane_cancel()

    def results(self) -> Report:
        """The report of the last run as a dict of its nine members."""
        return json.loads(self._lib.quorvane_results_json().decode())

    def wait(self, poll: float = 0.1, on_progress: Optional[ProgressCallback] = None) -> int:
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

    def run(self, on_progress: Optional[ProgressCallback] = None, poll: float = 0.1) -> Report:
        """Runs the benchmark to the end and returns the report as a dict.

        on_progress(percent, phase) is called whenever either changes. An
        exception (Ctrl-C, or one raised by on_progress) that arrives during
        the start or the wait cancels the run and waits for it to close before
        it propagates, so the library's threads never outlive the call. A
        refused start raises QuorvaneError and leaves the run in progress,
        which is not this call's, alone; so does Ctrl-C around a refused
        start.
        """
        outcome = {"accepted": False}
        try:
            self._start_holding_interrupts(outcome)
            self.wait(poll, on_progress)
        except BaseException:
            # Only a run this call started is this call's to cancel: not the
            # run in progress that refused the start, nor one that another
            # caller starts after an interrupt landed before this start.
            if outcome["accepted"]:
                self._close_run(poll)
            raise
        return self.results()

    def _start_holding_interrupts(self, outcome: Dict[str, bool]) -> None:
        # Ctrl-C that arrives while quorvane_start runs is held until its
        # result is recorded in outcome, then raised as it would have been,
        # so run() knows whether the run is its own to cancel.
        # Only the main thread may set handlers, and only it receives
        # signals; a handler set outside Python (None) is left alone.
        held = []
        previous = None
        if threading.current_thread() is threading.main_thread():
            previous = signal.getsignal(signal.SIGINT)
        if previous is not None:
            signal.signal(signal.SIGINT, lambda signum, frame: held.append(frame))
        try:
            outcome["accepted"] = self._lib.quorvane_start() == 0
        finally:
            if previous is not None:
                signal.signal(signal.SIGINT, previous)
        if held:
            if callable(previous):
                previous(signal.SIGINT, held[0])
            elif previous == signal.SIG_DFL:
                signal.raise_signal(signal.SIGINT)
        if not outcome["accepted"]:
            raise QuorvaneError(f"the library refused to start a run: {self.last_error}")

    def _close_run(self, poll: float) -> None:
        # A second Ctrl-C must not leave the run going in a process that is
        # on its way out: cancel again and keep waiting until the run closes.
        while True:
            try:
                self.cancel()
                self.wait(poll)
                return
            except KeyboardInterrupt:
                continue
