#!/usr/bin/env python3
"""Makes the Debian package's changelog (data/changelog, which the build compresses into
/usr/share/doc/kelvarin/changelog.gz) from CHANGELOG.md: one Debian entry per "## VERSION (DATE)"
section, its "- " items as the entry's items.

  tools/make-changelog.py          writes data/changelog
  tools/make-changelog.py --check  fails (status 1) when data/changelog is not what CHANGELOG.md gives
"""

import datetime
import re
import sys
import textwrap
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
HEADING = re.compile(r"^## ([0-9][0-9.]*) \((\d{4})-(\d\d)-(\d\d)\)$")


def maintainer():
    cmake = (ROOT / "cmake/Packaging.cmake").read_text()
    return re.search(r'set\(KELVARIN_PACKAGE_MAINTAINER "([^"]+)"', cmake).group(1)


def entries(markdown):
    """(version, date, items) of each release, newest first, as the page lists them."""
    found = []
    for line in markdown.splitlines():
        heading = HEADING.match(line)
        if heading:
            found.append((heading.group(1), datetime.date(*map(int, heading.groups()[1:])), []))
        elif found and line.startswith("- "):
            found[-1][2].append(line[2:].strip())
        elif found and line.startswith("  ") and found[-1][2]:
            found[-1][2][-1] += " " + line.strip()
    return found


def debian_changelog(markdown):
    blocks = []
    for version, date, items in entries(markdown):
        lines = [f"kelvarin ({version}) stable; urgency=medium", ""]
        for item in items:
            lines += textwrap.wrap(item.replace("`", ""), 76, initial_indent="  * ", subsequent_indent="    ")
        stamp = datetime.datetime(date.year, date.month, date.day, 12, 0, tzinfo=datetime.timezone.utc)
        lines += ["", f" -- {maintainer()}  {stamp.strftime('%a, %d %b %Y %H:%M:%S +0000')}"]
        blocks.append("\n".join(lines) + "\n")
    return "\n".join(blocks)


def main():
    text = debian_changelog((ROOT / "CHANGELOG.md").read_text(encoding="utf-8"))
    target = ROOT / "data/changelog"
    if sys.argv[1:] == ["--check"]:
        if not target.exists() or target.read_text(encoding="utf-8") != text:
            sys.exit("data/changelog is not what CHANGELOG.md gives: run tools/make-changelog.py")
    else:
        target.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main()
