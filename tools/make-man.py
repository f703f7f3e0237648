#!/usr/bin/env python3
"""Makes the manual pages from their Markdown pages, which the manual links to as well:
docs/manual/cli.md -> man/kelvarin-cli.1, docs/manual/kelvarin.md -> man/kelvarin.1.

  tools/make-man.py          writes the pages
  tools/make-man.py --check  fails (status 1) when a committed page is not what the Markdown gives

The Markdown is the plain kind these pages use: a "# " title and a first paragraph (the NAME
line's description comes from the title's page), "## " sections, "### " subsections, paragraphs,
"- " lists, fenced blocks, `code` (bold) and links (their text).
"""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
PAGES = (("docs/manual/cli.md", "man/kelvarin-cli.1", "kelvarin-cli",
          "convert images and terrain data into 16-bit greyscale height maps"),
         ("docs/manual/kelvarin.md", "man/kelvarin.1", "kelvarin",
          "the KELVARIN window: images and terrain data to 16-bit greyscale height maps"))
SECTION_DATE = "2026-12-09"


def version():
    return re.search(r"project\(kelvarin VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)


def escape(text):
    """roff text: backslashes and dashes spelt out, a leading dot or quote kept from being a request."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def inline(text):
    """`code` in bold, [text](link) as its text, the rest escaped."""
    out, pos = [], 0
    text = re.sub(r"\[([^\]]+)\]\([^)]+\)", r"\1", text)
    for match in re.finditer(r"`([^`]+)`", text):
        out.append(escape(text[pos:match.start()]))
        out.append("\\fB" + escape(match.group(1)) + "\\fR")
        pos = match.end()
    out.append(escape(text[pos:]))
    line = "".join(out)
    return line[2:] if line.startswith("\\&\\&") else line


def convert(markdown, name, description):
    lines = markdown.splitlines()
    out = [f'.TH {name.upper()} 1 "{SECTION_DATE}" "KELVARIN {version()}" "KELVARIN manual"',
           ".SH NAME", f"{escape(name)} \\- {escape(description)}"]
    fenced, paragraph, in_list = False, [], False
    # The title and the paragraph under it introduce the Markdown page; the man page has NAME.
    body = lines[next(i for i, line in enumerate(lines) if line.startswith("## ")):]

    def flush():
        nonlocal paragraph
        if paragraph:
            out.append(inline(" ".join(part.strip() for part in paragraph)))
            paragraph = []

    for line in body:
        if line.startswith("```"):
            flush()
            out.append(".PP\n.nf\n.RS 4" if not fenced else ".RE\n.fi")
            fenced = not fenced
        elif fenced:
            out.append(escape(line) if line else "")
        elif line.startswith("## "):
            flush()
            out.append(".SH " + escape(line[3:].upper()))
        elif line.startswith("### "):
            flush()
            out.append(".SS " + inline(line[4:]))
        elif line.startswith("- "):
            flush()
            out.append('.IP "\\(bu" 2')
            paragraph = [line[2:]]
            in_list = True
        elif not line.strip():
            flush()
            in_list = False
        elif in_list:
            paragraph.append(line)
        else:
            if not paragraph:
                out.append(".PP")
            paragraph.append(line)
    flush()
    text = "\n".join(out) + "\n"
    return text.replace(".PP\n.PP\n", ".PP\n")


def main():
    check = sys.argv[1:] == ["--check"]
    stale = []
    for source, target, name, description in PAGES:
        text = convert((ROOT / source).read_text(encoding="utf-8"), name, description)
        path = ROOT / target
        if check:
            if not path.exists() or path.read_text(encoding="utf-8") != text:
                stale.append(f"{target} is not what {source} gives: run tools/make-man.py")
        else:
            path.parent.mkdir(exist_ok=True)
            path.write_text(text, encoding="utf-8")
    if stale:
        sys.exit("\n".join(stale))


if __name__ == "__main__":
    main()
