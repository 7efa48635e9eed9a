"""python3 -m quorvane: one benchmark run with a progress line, then its report.

The progress line goes to stderr, the report's JSON line to stdout; the last
progress line says "finished" or "cancelled". Ctrl-C cancels the run; the
cancelled report is still printed and the exit status is 130.
"""

from __future__ import annotations

import argparse
import json
import sys
from typing import List, Optional

from . import PHASE_NAMES, Quorvane, QuorvaneError

EXIT_REFUSED = 3
EXIT_INTERRUPTED = 130


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m quorvane",
                                     description="Runs the quorvane benchmark once (about 20 s).")
    parser.add_argument("--library", help="the library's path (default: $QUORVANE_LIBRARY, "
                                          "beside the package, then the loader's search path)")
    arguments = parser.parse_args(argv)
    try:
        bench = Quorvane(arguments.library)
    except QuorvaneError as error:
        print(f"quorvane: {error}", file=sys.stderr)
        return 2
    # On a terminal the line is rewritten in place; elsewhere each change is a line.
    terminal = sys.stderr.isatty()

    def line(text: str, final: bool = False) -> None:
        # One write of the whole line: a Ctrl-C between the text and its end
        # (as print() writes them) would leave the line without its newline.
        if terminal:
            text = "\r" + text.ljust(40) + ("\n" if final else "")
        else:
            text += "\n"
        sys.stderr.write(text)
        sys.stderr.flush()

    def show(percent: int, phase: int) -> None:
        # Phase 0 is the time before the first phase and after the last: the
        # opening and the closing line name those.
        line(f"{percent:3d}%  {PHASE_NAMES.get(phase, phase) if phase else 'starting'}")

    status = 0
    try:
        report = bench.run(on_progress=show)
        outcome = "finished"
    except QuorvaneError as error:
        if terminal:
            line("", final=True)
        print(f"quorvane: {error}", file=sys.stderr)
        return EXIT_REFUSED
    except KeyboardInterrupt:
        # run() has cancelled the run and waited for it to close.
        report = bench.results()
        outcome = "cancelled"
        status = EXIT_INTERRUPTED
    line(f"{bench.progress:3d}%  {outcome}", final=True)
    print(json.dumps(report, separators=(",", ":")))
    return status


if __name__ == "__main__":
    sys.exit(main())
