"""python3 -m quorvane: one benchmark run with a progress line, then its report.

The progress line goes to stderr, the report's JSON line to stdout. Ctrl-C
cancels the run; the cancelled report is still printed and the exit status
is 130.
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
    end = "\r" if sys.stderr.isatty() else "\n"

    def show(percent: int, phase: int) -> None:
        print(f"{percent:3d}%  {PHASE_NAMES.get(phase, phase)}".ljust(40), end=end,
              file=sys.stderr, flush=True)

    status = 0
    try:
        report = bench.run(on_progress=show)
    except QuorvaneError as error:
        print(f"quorvane: {error}", file=sys.stderr)
        return EXIT_REFUSED
    except KeyboardInterrupt:
        # run() has cancelled the run and waited for it to close.
        report = bench.results()
        status = EXIT_INTERRUPTED
    if end == "\r":
        print(file=sys.stderr)
    print(json.dumps(report, separators=(",", ":")))
    return status


if __name__ == "__main__":
    sys.exit(main())
