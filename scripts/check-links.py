#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

"""Checks that every relative link and image in the Markdown files leads to a
file or folder of the project, and every #anchor to a heading of the Markdown
file it names. Links with a scheme (https:, mailto:) are not followed, and
code (spans and fenced blocks) is not read. Prints each broken link as
FILE:LINE: TARGET: why, and exits 1 if there was one.
    check-links.py [FILE.md...]   default: README.md and docs/*.md"""

import re
import sys
from pathlib import Path
from urllib.parse import unquote

ROOT = Path(__file__).resolve().parent.parent
FENCE = re.compile(r"^\s{0,3}(```|~~~)")
CODE_SPAN = re.compile(r"(`+).+?\1")
# The target after "](", for links and images alike, nested or not.
INLINE_TARGET = re.compile(r"\]\(\s*<?([^)\s>]+)")
REFERENCE = re.compile(r"^\s{0,3}\[[^\]]+\]:\s*<?([^\s>]+)")
HEADING = re.compile(r"^\s{0,3}#{1,6}\s+(.*?)(\s+#+)?\s*$")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


def prose_lines(path, keep_code=False):
    """Yields (number, line) of the lines outside fenced code, with code spans
    removed unless asked to keep them (a heading's code is in its anchor)."""
    fenced = None
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        fence = FENCE.match(line)
        if fence:
            if fenced is None:
                fenced = fence.group(1)
            elif fence.group(1) == fenced:
                fenced = None
            continue
        if fenced is None:
            yield number, line if keep_code else CODE_SPAN.sub("", line)


def anchors(path):
    """The anchors a Markdown renderer gives the file's headings: lower case,
    punctuation dropped, spaces as hyphens, a repeated one numbered."""
    seen = {}
    for _, line in prose_lines(path, keep_code=True):
        heading = HEADING.match(line)
        if not heading:
            continue
        text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading.group(1))
        slug = re.sub(r"[^\w\- ]", "", text.strip().lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        yield slug if count == 0 else f"{slug}-{count}"


def check(path):
    """Yields what is wrong with each relative link of one Markdown file."""
    for number, line in prose_lines(path):
        targets = INLINE_TARGET.findall(line)
        reference = REFERENCE.match(line)
        if reference:
            targets.append(reference.group(1))
        for target in targets:
            if SCHEME.match(target):
                continue
            location, _, anchor = target.partition("#")
            location = unquote(location)
            if not location:
                linked = path
            elif location.startswith("/"):
                linked = ROOT / location.lstrip("/")
            else:
                linked = path.parent / location
            linked = linked.resolve()
            where = f"{path.relative_to(ROOT)}:{number}: {target}"
            if not linked.is_relative_to(ROOT):
                yield f"{where}: outside the project"
            elif not linked.exists():
                yield f"{where}: no such file"
            elif anchor and linked.suffix == ".md" and anchor not in set(anchors(linked)):
                yield f"{where}: no heading #{anchor} in {linked.relative_to(ROOT)}"


def main(arguments):
    files = [Path(a).resolve() for a in arguments] or [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
    problems = [problem for path in files for problem in check(path)]
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-links: {len(problems)} broken link(s)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
