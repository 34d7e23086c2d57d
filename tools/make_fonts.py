#!/usr/bin/python3
"""Converts the public-domain Hershey fonts into the suite's stroke-font files.

The sources are the ".jhf" files of Debian's hershey-fonts-data package: one
glyph a record, for the character codes 32 to 126 in order, each a glyph
number, a vertex count, a left and right margin and the vertices, every
number one character offset from "R", " R" lifting the pen; y grows downward,
the baseline at 9 and the top of the capitals at -12.

A stroke-font file of the suite holds byte pairs (x, y) in font units: x from
0 at the glyph's left edge, y upward from 0 at the bottom of the descenders,
the baseline at 35 and the top of the capitals at 140. An x of 128 or more
starts a stroke with the pen up at x - 128. So every coordinate must stay in
0 to 125 (x) and 0 to 253 (y): 254 ends the glyph data and 255 separates the
glyphs. A glyph's advance is its largest x, and the renderer adds its own
gap after it, so each glyph keeps one Hershey unit of its left bearing and
none of its right. Capitals of 21 Hershey units become 105 font units (5 a unit);
glyphs wider than 125 units are narrowed to fit, and descenders deeper than
the 35 units below the baseline are compressed toward it.

The files are written in the labelled form: a header of a number and a
name, every glyph after "255" and its character as a label, the end mark
254, then the 256 glyph offsets (-1 for a character without a glyph).

Usage: tools/make_fonts.py [hershey-folder [output-folder]]
"""

import os
import sys

SOURCE = "/usr/share/hershey-fonts"
OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")

# Output file, font-list abbreviation, Hershey source.
FONTS = [
    ("modern.fnt", "modern", "futural.jhf"),
    ("simplex.fnt", "simplex", "rowmans.jhf"),
    ("duplex.fnt", "duplex", "rowmand.jhf"),
    ("roman.fnt", "roman", "timesr.jhf"),
    ("italic.fnt", "italic", "timesi.jhf"),
    ("script.fnt", "script", "scriptc.jhf"),
    ("greek.fnt", "greek", "greeks.jhf"),
]

UNIT = 5            # font units per Hershey unit
BASELINE_H = 9      # Hershey y of the baseline
BASELINE = 35       # font y of the baseline
BEARING = 1         # Hershey units left of a glyph's ink
MAX_X = 125         # largest x a pen-up pair can carry (x + 128 < 254)
MAX_Y = 253
MAX_DATA = 15000    # glyph bytes a font may hold, end mark included


def parse_jhf(path):
    """The glyphs of a .jhf file as (left, right, strokes) in Hershey units."""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1").replace("\r", "").replace("\n", "")
    glyphs = []
    at = 0
    while at < len(text):
        if not text[at:at + 5].strip():
            at += 1
            continue
        count = int(text[at + 5:at + 8])
        body = text[at + 8:at + 8 + 2 * count]
        at += 8 + 2 * count
        if len(body) != 2 * count:
            raise ValueError("%s: truncated glyph record" % path)
        left, right = ord(body[0]) - 82, ord(body[1]) - 82
        strokes, stroke = [], []
        for k in range(2, len(body), 2):
            pair = body[k:k + 2]
            if pair == " R":
                if stroke:
                    strokes.append(stroke)
                stroke = []
            else:
                stroke.append((ord(pair[0]) - 82, ord(pair[1]) - 82))
        if stroke:
            strokes.append(stroke)
        glyphs.append((left, right, strokes))
    return glyphs


def descender_scale(glyphs):
    """Font units per Hershey unit below the baseline: the deepest descender
    must end at 0."""
    deepest = max((y - BASELINE_H for _, _, strokes in glyphs for s in strokes for _, y in s), default=0)
    if deepest * UNIT <= BASELINE:
        return UNIT
    return BASELINE / deepest


def convert_glyph(strokes, below):
    """The glyph's strokes in font units, within the format's limits."""
    xs = [x for s in strokes for x, _ in s]
    origin = min(xs) - BEARING
    width = (max(xs) - origin) * UNIT
    narrow = MAX_X / width if width > MAX_X else 1.0
    out = []
    for s in strokes:
        points = []
        for x, y in s:
            fx = round((x - origin) * UNIT * narrow)
            depth = BASELINE_H - y
            fy = round(BASELINE + depth * (UNIT if depth >= 0 else below))
            fx = min(max(fx, 0), MAX_X)
            fy = min(max(fy, 0), MAX_Y)
            if not points or points[-1] != (fx, fy):
                points.append((fx, fy))
        out.append(points)
    return out


def convert(source, name):
    glyphs = parse_jhf(source)
    below = descender_scale(glyphs)
    data = []          # the glyph bytes as the reader stores them
    lines = ["1 %s" % name]
    index = [-1] * 256
    for i, (_, _, strokes) in enumerate(glyphs[:95]):
        code = 32 + i
        if not strokes:
            continue
        data.append(255)
        index[code] = len(data)
        words = []
        for stroke in convert_glyph(strokes, below):
            for k, (x, y) in enumerate(stroke):
                pair = (x + 128 if k == 0 else x, y)
                data.extend(pair)
                words.extend(str(v) for v in pair)
        lines.append("255 %s" % chr(code))
        for k in range(0, len(words), 20):
            lines.append(" ".join(words[k:k + 20]))
    data.append(255)  # the end mark 254 is stored as 255
    lines.append("254")
    if len(data) > MAX_DATA:
        raise ValueError("%s: %d bytes of glyph data, more than %d" % (source, len(data), MAX_DATA))
    for k in range(0, 256, 16):
        lines.append(" ".join(str(v) for v in index[k:k + 16]))
    return "\n".join(lines) + "\n", len(data)


def main(argv):
    source = argv[1] if len(argv) > 1 else SOURCE
    output = argv[2] if len(argv) > 2 else OUTPUT
    font_list = []
    for file_name, abbr, jhf in FONTS:
        text, size = convert(os.path.join(source, jhf), abbr)
        with open(os.path.join(output, file_name), "w") as f:
            f.write(text)
        font_list.append("%-8s %s\n" % (abbr, file_name))
        print("%s: %d bytes of glyph data from %s" % (file_name, size, jhf))
    with open(os.path.join(output, "kez.fnl"), "w") as f:
        f.writelines(font_list)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
