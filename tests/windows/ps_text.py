#!/usr/bin/python3
"""Prints the text of a PostScript file that Wine's PostScript driver wrote.

The driver draws each glyph of a font it downloads as Type 42 by its glyph
index ("/g1a2b glyphshow"), so the text cannot be read back from the file alone
(and ghostscript's text extraction sees no characters). This maps every such
glyph back to its character through the font's own character map: the font is
the one fontconfig knows under the PostScript name the file uses. Fonts it
downloads as Type 1 name their glyphs ("/uni5F20 glyphshow", "/zero glyphshow"):
those names are read through the Adobe Glyph List.

    ps_text.py FILE.ps        one line per line of text, "--- page N" between pages

Exit code 1 when the file cannot be read or a font is not found.
"""
import re
import subprocess
import sys

from fontTools.agl import toUnicode
from fontTools.ttLib import TTFont

_fonts = {}


def characters_of(ps_name):
    """Glyph index -> character for the font of that PostScript name."""
    if ps_name in _fonts:
        return _fonts[ps_name]
    out = subprocess.run(["fc-list", ":postscriptname=" + ps_name, "file", "index"],
                         capture_output=True, text=True, check=False).stdout.strip().splitlines()
    if not out:
        raise SystemExit("no font with the PostScript name %s" % ps_name)
    match = re.match(r"(.*?): :index=(\d+)", out[0])
    path, index = (match.group(1), int(match.group(2))) if match else (out[0].rstrip(":"), 0)
    font = TTFont(path, fontNumber=index, lazy=True)
    table = {}
    for code, glyph in font.getBestCmap().items():
        table.setdefault(font.getGlyphID(glyph), chr(code))
    _fonts[ps_name] = table
    return table


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    with open(sys.argv[1], "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    font = None
    text = []
    last_y = None
    for line in lines:
        if line.startswith("%%Page:"):
            text.append("\n--- page %s\n" % line.split()[1])
            last_y = None
            continue
        m = re.match(r"^/(\S+) findfont( dup)?$", line)
        if m:
            font = m.group(1)
            continue
        m = re.match(r"^(-?\d+) (-?\d+) moveto$", line)
        if m:
            y = m.group(2)
            if last_y is not None and y != last_y:
                text.append("\n")
            last_y = y
            continue
        m = re.match(r"^/(\S+) glyphshow$", line)
        if m and font:
            name = m.group(1)
            index = re.fullmatch(r"g([0-9a-fA-F]+)", name)
            if index:
                text.append(characters_of(font).get(int(index.group(1), 16), "\ufffd"))
            else:
                text.append(toUnicode(name) or "\ufffd")
    sys.stdout.write("".join(text).strip("\n") + "\n")


if __name__ == "__main__":
    main()
