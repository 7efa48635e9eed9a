"""Fails when a relative link in the project's Markdown documents points at a
file that does not exist, or at a heading that the target does not have.

Checks README.md, docs/*.md and bindings/*/README.md under the given root.
Links inside code (fenced blocks and `spans`) are text, not links, and links
with a scheme (https:, mailto:) leave the project.
Usage: python3 check_links.py <root>
"""
import glob
import os
import re
import sys

LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")
FENCE = re.compile(r"^\s*(```|~~~)")


def prose_lines(path):
    """The file's numbered lines outside fenced code."""
    in_fence = False
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            if FENCE.match(line):
                in_fence = not in_fence
                continue
            if not in_fence:
                yield number, line


def anchors(path):
    """The anchors the headings of a Markdown file get, as GitHub makes them."""
    seen = {}
    found = set()
    for _, line in prose_lines(path):
        heading = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
        if not heading:
            continue
        with_code = re.sub(r"`([^`]*)`", r"\1", heading.group(1))
        slug = re.sub(r"[^\w\- ]", "", with_code.lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        found.add(slug if count == 0 else f"{slug}-{count}")
    return found


def broken_links(path):
    problems = []
    for number, line in prose_lines(path):
        for target in LINK.findall(re.sub(r"`[^`]*`", "``", line)):
            if SCHEME.match(target):
                continue
            file_part, _, fragment = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) \
                if file_part else path
            if not os.path.exists(resolved):
                problems.append(f"{path}:{number}: {target}: no such file")
            elif fragment and resolved.endswith(".md") and fragment not in anchors(resolved):
                problems.append(f"{path}:{number}: {target}: no such heading")
    return problems


def main():
    root = sys.argv[1]
    documents = [os.path.join(root, "README.md")]
    documents += sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    documents += sorted(glob.glob(os.path.join(root, "bindings", "*", "README.md")))
    problems = [problem for document in documents for problem in broken_links(document)]
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print(f"every relative link in {len(documents)} documents resolves")
    return 0


if __name__ == "__main__":
    sys.exit(main())
