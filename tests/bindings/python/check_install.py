"""pip installs bindings/python with no network and no build isolation.

Run by any python3; the install itself uses the first interpreter that has
pip, setuptools and wheel (a pyenv python3 may lack wheel; Debian's has all
three with python3-pip, python3-setuptools and python3-wheel). Exits 77, a
skip, when none has.
"""

import os
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                      "bindings", "python")
SKIP = 77


def packaging_python():
    for candidate in (sys.executable, "/usr/bin/python3"):
        if candidate and os.path.exists(candidate) and subprocess.run(
                [candidate, "-c", "import setuptools, wheel, pip"],
                stderr=subprocess.DEVNULL).returncode == 0:
            return candidate
    return None


def main():
    python = packaging_python()
    if python is None:
        print("no python3 with pip, setuptools and wheel: skipped")
        return SKIP
    with tempfile.TemporaryDirectory() as work:
        # A copy, so the build's own folders stay out of the source tree.
        source = shutil.copytree(SOURCE, os.path.join(work, "source"))
        target = os.path.join(work, "site")
        subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index",
                        "--no-deps", "--disable-pip-version-check", "--target", target, source],
                       check=True)
        environment = dict(os.environ, PYTHONPATH=target)
        where = subprocess.run([python, "-c", "import quorvane; print(quorvane.__file__)"],
                               env=environment, check=True, capture_output=True, text=True)
        if not where.stdout.startswith(target):
            print(f"imported {where.stdout.strip()}, not the installed copy in {target}")
            return 1
        if not os.path.exists(os.path.join(target, "quorvane", "py.typed")):
            print("the installed package lacks py.typed")
            return 1
        subprocess.run([python, "-m", "quorvane", "--help"], env=environment, check=True,
                       stdout=subprocess.DEVNULL)
    print("installed and imported")
    return 0


if __name__ == "__main__":
    sys.exit(main())
