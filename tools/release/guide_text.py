#!/usr/bin/env python3
"""The sysop guide (Markdown) as plain text for a BBS file area: at most 79 columns, code page
437 bytes, no control characters besides the line ends.

Headings are underlined, paragraphs and list items wrapped, code blocks kept as they are, and
each table row becomes an entry: its first cell as a heading line, the other cells indented
below it (with the column's name when the table has more than two columns). Inline markup
(backquotes, links, emphasis) is dropped. Characters that code page 437 lacks get a plain
stand-in from the table below; any other one stops the conversion.

Usage: guide_text.py guide.md output.txt [--crlf]
"""
import re
import sys
import textwrap

WIDTH = 79
INDENT = "    "
KEEP = "\x00"  # a blank inside code, where no line may be broken

# Characters the guide uses that code page 437 has no glyph for.
STAND_INS = {
    "\u2192": "->",  # rightwards arrow
    "\u2190": "<-",
    "\u2014": "--",  # em dash
    "\u2013": "-",  # en dash
    "\u2018": "'",
    "\u2019": "'",
    "\u201c": '"',
    "\u201d": '"',
    "\u2026": "...",
    "\u0142": "l",  # l with stroke
    "\u20ac": "EUR",
    "\u00a0": " ",
}


def inline(text):
    text = re.sub(r"!\[([^\]]*)\]\([^)]*\)", r"\1", text)  # images
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)  # links
    text = re.sub(r"\*\*([^*]+)\*\*", r"\1", text)
    text = re.sub(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])", r"\1", text)
    text = text.replace("\\|", "|")
    # Backquotes go, except where the code itself holds one.
    text = re.sub(r"``\s?(.*?)\s?``", lambda m: keep_whole(m.group(1)), text)
    text = re.sub(r"`([^`]*)`", lambda m: keep_whole(m.group(1)), text)
    return text


def keep_whole(code):
    # Code that fits on a line of its own is never broken; longer code is broken at its blanks.
    return code.replace(" ", KEEP) if len(code) <= WIDTH // 2 else code


def wrap(text, first, rest):
    lines = textwrap.wrap(
        text,
        width=WIDTH,
        initial_indent=first,
        subsequent_indent=rest,
        break_long_words=True,
        break_on_hyphens=False,
    ) or [first.rstrip()]
    return [line.replace(KEEP, " ") for line in lines]


def split_row(line):
    line = line.strip()
    if line.startswith("|"):
        line = line[1:]
    if line.endswith("|") and not line.endswith("\\|"):
        line = line[:-1]
    cells = re.split(r"(?<!\\)\|", line)
    return [inline(c.strip()) for c in cells]


def table(lines):
    header = split_row(lines[0])
    rows = [split_row(l) for l in lines[2:]]
    out = []
    for row in rows:
        out += wrap(row[0], "  ", "  ")
        for name, cell in zip(header[1:], row[1:]):
            if not cell:
                continue
            label = f"{name}: " if len(header) > 2 and name else ""
            out += wrap(label + cell, "  " + INDENT, "  " + INDENT)
        out.append("")
    return out


def convert(markdown):
    lines = markdown.splitlines()
    out = []
    i = 0

    def blank():
        if out and out[-1] != "":
            out.append("")

    while i < len(lines):
        line = lines[i]
        stripped = line.strip()
        if not stripped:
            blank()
            i += 1
            continue
        heading = re.match(r"^(#+)\s+(.*)$", line)
        if heading:
            blank()
            title = inline(heading.group(2))
            level = len(heading.group(1))
            if level == 1:
                out += [title.upper(), "=" * len(title)]
            else:
                out += [title, ("-" if level == 2 else "~") * len(title)]
            out.append("")
            i += 1
            continue
        if stripped.startswith("|"):
            block = []
            while i < len(lines) and lines[i].strip().startswith("|"):
                block.append(lines[i])
                i += 1
            blank()
            out += table(block)
            continue
        # A code block: indented four columns more than the text it belongs to.
        code = re.match(r"^( {4,})\S", line)
        if code and (not out or out[-1] == ""):
            depth = len(code.group(1))
            while i < len(lines) and (lines[i].startswith(" " * depth) or not lines[i].strip()):
                if not lines[i].strip() and (i + 1 >= len(lines) or not lines[i + 1].startswith(" " * depth)):
                    break
                out.append((" " * max(depth, len(INDENT)) + lines[i][depth:]).rstrip())
                i += 1
            out.append("")
            continue
        item = re.match(r"^(\s*)([-*]|\d+\.)\s+(.*)$", line)
        if item:
            marker = item.group(2)
            marker = "-" if marker in "-*" else marker
            text = item.group(3)
            i += 1
            # The item goes on over the following lines indented under it.
            while i < len(lines) and lines[i].startswith("  ") and lines[i].strip() \
                    and not re.match(r"^\s*([-*]|\d+\.)\s", lines[i]) and not re.match(r"^ {6,}", lines[i]):
                text += " " + lines[i].strip()
                i += 1
            first = "  " + marker + " "
            out += wrap(inline(text), first, " " * len(first))
            continue
        text = stripped
        i += 1
        while i < len(lines) and lines[i].strip() and not re.match(r"^(#|\||\s*([-*]|\d+\.)\s| {4,})", lines[i]):
            text += " " + lines[i].strip()
            i += 1
        out += wrap(inline(text), "", "")
        out.append("")
    while out and out[-1] == "":
        out.pop()
    return out


def encode(lines):
    data = bytearray()
    for number, line in enumerate(lines, 1):
        for ch in line:
            ch = STAND_INS.get(ch, ch)
            try:
                data += ch.encode("cp437")
            except UnicodeEncodeError:
                sys.exit(f"guide_text.py: line {number}: {ch!r} has no code page 437 glyph; add a stand-in")
        data += b"\n"
    return bytes(data)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        lines = convert(f.read())
    for number, line in enumerate(lines, 1):
        if len(line) > WIDTH:
            sys.exit(f"guide_text.py: line {number} is wider than {WIDTH} columns: {line!r}")
    data = encode(lines)
    if "--crlf" in sys.argv[3:]:
        data = data.replace(b"\n", b"\r\n")
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
