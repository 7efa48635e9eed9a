"""Writes a platform wheel of the Python package with the native library inside it.

    python3 make_wheel.py PROJECT_DIR LIBRARY PLATFORM_TAG OUTPUT_DIR [LIBRARY_NAME]

PROJECT_DIR is bindings/python (its pyproject.toml names the package and its
version); LIBRARY goes into the package folder under LIBRARY_NAME, the name
the package loads by default as the build gives it (the build folder's
library-file-name: the unversioned .so link, or the DLL). Without
LIBRARY_NAME, LIBRARY's own name with any version after ".so" left off. The wheel is the package alone: no build backend runs, so the
same files always give the same wheel.
"""

from __future__ import annotations

import base64
import hashlib
import pathlib
import re
import sys
import tomllib
import zipfile

# Every member gets this time, so that a wheel depends on its contents only.
FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def record_hash(data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
    return "sha256=" + digest.decode()


def metadata(project: dict, readme: str) -> str:
    lines = ["Metadata-Version: 2.1",
             f"Name: {project['name']}",
             f"Version: {project['version']}",
             f"Summary: {project['description']}",
             f"License: {project['license']['text']}",
             f"Requires-Python: {project['requires-python']}"]
    lines += [f"Classifier: {classifier}" for classifier in project.get("classifiers", [])]
    lines += ["Description-Content-Type: text/markdown", "", readme]
    return "\n".join(lines)


def main(project_dir: str, library: str, platform_tag: str, output_dir: str,
         library_name: str = "") -> int:
    root = pathlib.Path(project_dir)
    project = tomllib.loads((root / "pyproject.toml").read_text())["project"]
    name, version = project["name"], project["version"]
    library_name = library_name or re.sub(r"\.so(\.[0-9]+)+$", ".so", pathlib.Path(library).name)
    dist_info = f"{name}-{version}.dist-info"

    members = []  # (path in the wheel, bytes, unix mode)
    package = root / name
    for source in sorted(package.iterdir()):
        if source.is_file() and (source.suffix == ".py" or source.name == "py.typed"):
            members.append((f"{name}/{source.name}", source.read_bytes(), 0o644))
    members.append((f"{name}/{library_name}", pathlib.Path(library).read_bytes(), 0o755))
    members.append((f"{dist_info}/METADATA",
                    metadata(project, (root / "README.md").read_text()).encode(), 0o644))
    members.append((f"{dist_info}/WHEEL",
                    ("Wheel-Version: 1.0\nGenerator: quorvane make_wheel.py\n"
                     f"Root-Is-Purelib: false\nTag: py3-none-{platform_tag}\n").encode(), 0o644))
    licence = root.parent.parent / "LICENSE"
    members.append((f"{dist_info}/LICENSE", licence.read_bytes(), 0o644))
    record = "".join(f"{path},{record_hash(data)},{len(data)}\n" for path, data, _ in members)
    record += f"{dist_info}/RECORD,,\n"
    members.append((f"{dist_info}/RECORD", record.encode(), 0o644))

    wheel = pathlib.Path(output_dir) / f"{name}-{version}-py3-none-{platform_tag}.whl"
    with zipfile.ZipFile(wheel, "w", zipfile.ZIP_DEFLATED) as archive:
        for path, data, mode in members:
            info = zipfile.ZipInfo(path, FIXED_TIME)
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)
    print(wheel)
    return 0


if __name__ == "__main__":
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
