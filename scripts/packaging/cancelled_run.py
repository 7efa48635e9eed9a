"""A cancelled run through the quorvane package installed in this Python.

Usage: python cancelled_run.py MACHINE

Starts a run, cancels it half a second in, and checks that it ends in state
3 with the nine keys of a report, from the library of a package installed
in a virtual environment, on the processor MACHINE (platform.machine()).
"""

import platform
import sys
import time

import quorvane

machine = sys.argv[1]
bench = quorvane.Quorvane()
print("loaded", bench.path, "on", platform.machine())
bench.start()
time.sleep(0.5)
bench.cancel()
state = bench.wait(poll=0.05)
report = bench.results()
print("state", state, "keys", len(report), report)
assert state == quorvane.STATE_CANCELLED and len(report) == 9, (state, report)
assert platform.machine() == machine, platform.machine()
assert "/venv/" in bench.path, bench.path
