#!/usr/bin/python3
"""Writes the suite's colour tables, data/kez.clr and data/kezfill.clr.

Every colour takes its value from the X11 colour database (rgb.txt of
Debian's x11-common), so that a name means here what it means to the X
server. Each table line is a name and "#RRGGBB".

kez.clr, the default table:
  slots 0 to 15  the basic colours that the plotting defaults and the
                 contour fill name: black, white, the primaries and the
                 light and dark variants named lred, lgreen, ..., dgray;
                 a variant takes the X11 colour named in BASIC;
  then           further X11 colours by their names, and the greys.

kezfill.clr, a table whose leading colours, closed by "END", make a colour
scale for filled contours, cold to warm, neighbours clearly apart. A fill
set counts only in the first file of the "color_table" setting, so it is
used as color_table=kezfill.clr,kez.clr. Two colours follow the END line,
so that the END line is not the file's last and adds no empty slot.

Usage: tools/make_kez_clr.py [rgb.txt] [data folder]
"""
import sys

# (table name, X11 name)
BASIC = [
    ("black", "black"), ("white", "white"), ("red", "red"), ("green", "green"),
    ("blue", "blue"), ("yellow", "yellow"), ("cyan", "cyan"), ("magenta", "magenta"),
    ("brown", "brown"), ("lgray", "light gray"), ("dgray", "dark gray"),
    ("lred", "light coral"), ("lgreen", "light green"), ("lblue", "light blue"),
    ("lcyan", "light cyan"), ("lmagenta", "violet"),
]

NAMED = [
    "orange", "gold", "pink", "purple", "violet", "navy", "maroon", "tan", "khaki",
    "salmon", "coral", "tomato", "turquoise", "aquamarine", "orchid", "plum",
    "sienna", "chocolate", "peru", "beige", "wheat", "firebrick", "ivory",
    "lavender", "linen", "snow", "thistle", "goldenrod",
    "DarkRed", "OrangeRed", "DarkOrange", "HotPink", "DeepPink", "LightPink",
    "DarkGreen", "ForestGreen", "SeaGreen", "LimeGreen", "YellowGreen", "OliveDrab",
    "LawnGreen", "SpringGreen", "PaleGreen", "LightGreen",
    "DarkBlue", "MediumBlue", "RoyalBlue", "SteelBlue", "SkyBlue", "LightBlue",
    "LightSkyBlue", "DodgerBlue", "DeepSkyBlue", "MidnightBlue", "SlateBlue",
    "NavyBlue", "CornflowerBlue", "CadetBlue",
    "DarkCyan", "LightCyan", "PaleTurquoise", "DarkMagenta", "DarkViolet",
    "BlueViolet", "MediumPurple", "LightYellow", "LightCoral", "SandyBrown",
    "SaddleBrown", "RosyBrown", "DarkKhaki", "LemonChiffon",
    "gray", "grey", "LightGray", "LightGrey", "DarkGray", "DarkGrey",
    "DimGray", "DimGrey", "SlateGray",
] + ["gray%d" % n for n in range(0, 101, 10)] + ["grey%d" % n for n in range(0, 101, 10)]

FILL = [
    "navy", "MediumBlue", "RoyalBlue", "DodgerBlue", "DeepSkyBlue", "LightSkyBlue",
    "PaleTurquoise", "aquamarine", "PaleGreen", "LimeGreen", "ForestGreen",
    "OliveDrab", "YellowGreen", "yellow", "gold", "orange", "OrangeRed", "red",
    "firebrick", "DarkRed", "DarkMagenta",
]

AFTER_FILL = ["black", "white"]


def read_rgb(path):
    colours = {}
    with open(path) as f:
        for line in f:
            if line.startswith("!") or not line.strip():
                continue
            parts = line.split()
            r, g, b = (int(v) for v in parts[:3])
            colours.setdefault(" ".join(parts[3:]).lower(), (r, g, b))
    return colours


def line(name, rgb):
    return "%-16s #%02X%02X%02X\n" % (name, rgb[0], rgb[1], rgb[2])


def main():
    rgb_path = sys.argv[1] if len(sys.argv) > 1 else "/etc/X11/rgb.txt"
    out = sys.argv[2] if len(sys.argv) > 2 else "data"
    x11 = read_rgb(rgb_path)

    with open(out + "/kez.clr", "w") as f:
        f.write("# kez.clr: the default colour table, made by tools/make_kez_clr.py\n"
                "# from the X11 colour database. One colour a line: name and #RRGGBB.\n"
                "# Slots 0 to 15: the basic colours.\n")
        for name, source in BASIC:
            f.write(line(name, x11[source.lower()]))
        f.write("# Slots 16 on: X11 colours by name, then the greys.\n")
        for name in NAMED:
            f.write(line(name, x11[name.lower()]))

    with open(out + "/kezfill.clr", "w") as f:
        f.write("# kezfill.clr: a colour scale for filled contours, made by\n"
                "# tools/make_kez_clr.py from the X11 colour database. The colours\n"
                "# before END are the fill set when this file comes first in the\n"
                "# color_table setting, as in color_table=kezfill.clr,kez.clr.\n")
        for name in FILL:
            f.write(line(name, x11[name.lower()]))
        f.write("END\n")
        for name in AFTER_FILL:
            f.write(line(name, x11[name.lower()]))


if __name__ == "__main__":
    main()
