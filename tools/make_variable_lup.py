#!/usr/bin/python3
"""Writes data/variable.lup and data/source.lup, the variable and data-source
tables of the suite, from the WMO code tables that Debian's libeccodes-data
ships.

variable.lup: one line per abbreviation, "numbers abbreviation description".
The WMO GRIB edition 1 parameter table (definitions/grib1/2.0.3.table:
number, short name, name and units in one text) gives the numbers 1 to 127
and their descriptions, the units being cut off the end. For every number
the suite's own abbreviation comes first, so that a number is named by it;
the suite's further abbreviations for the same number and the WMO short
name follow. Quantities that no WMO number stands for (station texts,
derived surface values, the grid calculator's results) take numbers of
their own: 128 to 254 where the suite shares a local number with common
GRIB practice (NCEP's local table of edition 1), 300 and up for the suite
alone, 600 and up for quantities of GRIB edition 2 that no edition 1 table
numbers (all below 1000, so that the ensemble codes can add their
offsets).

source.lup: "number name" per WMO originating centre, from the common code
table C-1 (definitions/common/c-1.table), the name cut to 40 characters.

Usage: tools/make_variable_lup.py [definitions folder [output folder]]
       (the output folder is data/ beside this script unless given)
"""

import os
import re
import sys

DEFS = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/eccodes/definitions"
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "..", "data")

ABBR_LEN = 9
DESC_LEN = 49
SOURCE_LEN = 40

# The units that end the names of table 2.0.3, longest first when tried.
UNITS = [
    "K m**2 kg**-1 s**-1", "W m**-1 sr**-1", "kg m**-2 s**-1", "m (of water equivalent)",
    "Dobson (kg m**-2)", "m**2 s**-2", "m**2 s**-1", "Degree true", "kg kg**-1", "kg m**-2",
    "kg m**-3", "Pa s**-1", "m s**-1", "m s*-1", "W m**-2", "N m**-2", "(0 - 1)", "K s**-1",
    "s**-1", "gpm", "Pa", "K", "m", "s", "%", "J", "-",
]

# The suite's abbreviations of WMO parameters: number, abbreviations (the
# first names the number).
SUITE_WMO = [
    (1, ["pres", "pr"]),
    (2, ["pmsl", "pralt"]),
    (3, ["ptend"]),
    (7, ["hght", "hh"]),
    (8, ["elev"]),
    (11, ["temp", "st"]),
    (12, ["vtemp"]),
    (13, ["theta"]),
    (14, ["thetae"]),
    (15, ["maxt", "maxt6", "maxt24", "extt"]),
    (16, ["mint", "mint6", "mint24"]),
    (17, ["dewp"]),
    (18, ["dewd"]),
    (20, ["vis"]),
    (31, ["wdir", "dir", "ewdir"]),
    (32, ["wspd", "spd", "mag", "wind", "wbrb", "wbrbc", "hwind"]),
    (33, ["uwnd", "uw", "uwndg"]),
    (34, ["vwnd", "vw", "vwndg"]),
    (39, ["vv"]),
    (41, ["avort"]),
    (43, ["rvort"]),
    (44, ["diverg"]),
    (51, ["shum"]),
    (52, ["rhum", "rh"]),
    (53, ["mrat", "mixrat"]),
    (55, ["vpres", "vapor"]),
    (61, ["prec", "qp", "prec1", "prec3", "prec6", "prec12", "prec24", "apcp"]),
    (66, ["snwdp", "sc"]),
    (71, ["cldcv"]),
    (73, ["nlcld"]),
    (80, ["sst", "ss"]),
    (100, ["wh"]),
    (102, ["wavhgt"]),
    (103, ["wavper"]),
    (107, ["wd"]),
    (108, ["wp"]),
]

# Quantities without a WMO number: number, description, abbreviations.
SUITE_OWN = [
    (131, "Lifted index", ["li"]),
    (180, "Wind gust", ["wgst"]),
    # NCEP's local numbers of edition 1, which GRIB edition 2 fields of
    # these quantities take (data/grib2_var.lup).
    (130, "Mean sea level pressure (Eta model reduction)", ["mslet"]),
    (132, "Best (4-layer) lifted index", ["lftx4"]),
    (136, "Vertical speed shear", ["vwsh"]),
    (140, "Categorical rain", ["crain"]),
    (141, "Categorical freezing rain", ["cfrzr"]),
    (142, "Categorical ice pellets", ["cicep"]),
    (143, "Categorical snow", ["csnow"]),
    (144, "Volumetric soil moisture content", ["soilw"]),
    (145, "Potential evaporation rate", ["pevpr"]),
    (146, "Cloud work function", ["cwork"]),
    (147, "Zonal flux of gravity wave stress", ["ugwd"]),
    (148, "Meridional flux of gravity wave stress", ["vgwd"]),
    (153, "Cloud water mixing ratio", ["clwmr"]),
    (154, "Ozone mixing ratio", ["o3mr"]),
    (155, "Ground heat flux", ["gflux"]),
    (156, "Convective inhibition", ["cin"]),
    (157, "Convective available potential energy", ["cape"]),
    (190, "Storm relative helicity", ["hlcy"]),
    (196, "U-component of storm motion", ["ustm"]),
    (197, "V-component of storm motion", ["vstm"]),
    (204, "Downward short-wave radiation flux", ["dswrf"]),
    (205, "Downward long-wave radiation flux", ["dlwrf"]),
    (211, "Upward short-wave radiation flux", ["uswrf"]),
    (212, "Upward long-wave radiation flux", ["ulwrf"]),
    (214, "Convective precipitation rate", ["cprat"]),
    (219, "Wilting point", ["wilt"]),
    (220, "Field capacity", ["fldcp"]),
    (221, "Planetary boundary layer height", ["hpbl"]),
    (222, "5-wave geopotential height", ["wavh5"]),
    (230, "5-wave geopotential height anomaly", ["wava5"]),
    # Station values of the surface program.
    (300, "Station identifier", ["city"]),
    (301, "Temperature and dew point", ["ttd"]),
    (302, "Altimeter setting", ["alt"]),
    (303, "Present weather", ["wx"]),
    (304, "Cloud ceiling", ["cldcl"]),
    (305, "Cloud ceiling code", ["cldclc"]),
    (306, "Low cloud type", ["lcld"]),
    (307, "Middle cloud type", ["mcld"]),
    (308, "High cloud type", ["hcld"]),
    (309, "Sunshine duration", ["solar"]),
    (310, "Saturation vapour pressure", ["svpres"]),
    (311, "Wind chill temperature", ["wchilt", "wchill"]),
    (312, "Wind chill temperature (2001 formula)", ["wchill2"]),
    (313, "Wind chill heat loss", ["wchilf"]),
    (314, "Heat index", ["heat"]),
    (315, "Humiture", ["humit"]),
    (316, "Saturation mixing ratio", ["smrat"]),
    (317, "Wet bulb temperature", ["wetblb"]),
    (318, "Wet bulb potential temperature", ["thetaw"]),
    (319, "Virtual potential temperature", ["thetav"]),
    (320, "Flight category", ["fr"]),
    # Results of the grid calculator.
    (400, "Copy", ["copy"]),
    (401, "Maximum", ["max"]),
    (402, "Minimum", ["min"]),
    (403, "Sum of two fields", ["add"]),
    (404, "Sum", ["sum"]),
    (405, "Average", ["avg"]),
    (406, "Interpolation", ["interp"]),
    (407, "Difference", ["sub"]),
    (408, "Thickness", ["thick"]),
    (409, "Product", ["mul"]),
    (410, "Remainder", ["mod"]),
    (411, "Square root", ["sqrt"]),
    (412, "Power", ["pow"]),
    (413, "Exponential", ["exp"]),
    (414, "Natural logarithm", ["log"]),
    (415, "Decimal logarithm", ["log10"]),
    (416, "Absolute value", ["abs"]),
    (417, "Quotient", ["div"]),
    (418, "Sine", ["sin"]),
    (419, "Cosine", ["cos"]),
    (420, "Tangent", ["tan"]),
    (421, "Arc sine", ["asin"]),
    (422, "Arc cosine", ["acos"]),
    (423, "Arc tangent", ["atan"]),
    (424, "Arc tangent of a quotient", ["atan2"]),
    (425, "Smoothed field", ["smooth"]),
    (426, "Latitude", ["lat"]),
    (427, "Longitude", ["lon"]),
    (428, "Projection X", ["projx"]),
    (429, "Projection Y", ["projy"]),
    (430, "Showalter index", ["show"]),
    (431, "Pressure altitude", ["pr_alt"]),
    (432, "X derivative", ["dx"]),
    (433, "Y derivative", ["dy"]),
    (434, "Gradient", ["grad"]),
    (435, "Vector difference", ["vdiff"]),
    (436, "Laplacian", ["lapl"]),
    (437, "Convergence", ["conv"]),
    (438, "Flux convergence", ["vconv"]),
    (439, "Stretching deformation", ["def1"]),
    (440, "Shearing deformation", ["def2"]),
    (441, "Advection", ["adv"]),
    (442, "Geostrophic u-component of wind", ["ugeos"]),
    (443, "Geostrophic v-component of wind", ["vgeos"]),
    (444, "Q-vector u-component", ["uq"]),
    (445, "Q-vector v-component", ["vq"]),
    (446, "Dot product", ["dot"]),
    (447, "Cross product", ["cross"]),
    (448, "Wind vectors", ["vect"]),
    (449, "Streamlines", ["stream", "strm"]),
    # GRIB edition 2 quantities that no edition 1 table numbers
    # (data/grib2_var.lup): numbers of their own, clear of every edition 1
    # parameter and below the ensemble codes.
    (600, "Skin temperature", ["skt"]),
    (601, "Total column water", ["tcw"]),
    (602, "Snowfall water equivalent", ["snowf"]),
    (603, "Sunshine duration", ["sund"]),
]


# Descriptions of table 2.0.3 as Debian ships it that the WMO's own table
# words otherwise: ice cover is the fraction of a point covered by ice, not
# a copy of the land-sea mask's wording.
ERRATA = {91: "Ice cover (1=ice, 0=no ice)"}


def wmo_parameters(path):
    """Number -> (short name or None, description) of table 2.0.3."""
    out = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            parts = line.split(None, 3)
            if len(parts) < 4 or not parts[0].isdigit():
                continue
            number, short, _, text = int(parts[0]), parts[1], parts[2], parts[3].strip()
            if not 1 <= number <= 127:
                continue
            for unit in sorted(UNITS, key=len, reverse=True):
                if text.endswith(" " + unit):
                    text = text[: -len(unit) - 1].rstrip()
                    break
            if not re.fullmatch(r"[a-z][a-z0-9_]*", short):
                short = None
            out[number] = (short, ERRATA.get(number, text))
    return out


def line(numbers, abbr, desc):
    assert len(abbr) <= ABBR_LEN, abbr
    return "%s %s %s\n" % (",".join(str(n) for n in numbers), abbr, desc[:DESC_LEN].rstrip())


def variable_lup(wmo):
    rows = []
    seen = set()

    def add(number, abbr, desc):
        if abbr in seen:
            return
        seen.add(abbr)
        rows.append(line([number], abbr, desc))

    suite = dict(SUITE_WMO)
    for number in sorted(wmo):
        short, desc = wmo[number]
        names = list(suite.get(number, []))
        if short and short not in names:
            names.append(short)
        # A number whose names all serve other numbers still gets one.
        if not [a for a in names if a not in seen]:
            names.append("v%d" % number)
        for abbr in names:
            add(number, abbr, desc)
    for number, desc, names in SUITE_OWN:
        for abbr in names:
            add(number, abbr, desc)
    head = ("# Variable table: parameter numbers (up to five, separated by \",\"),\n"
            "# abbreviation and description. Made by tools/make_variable_lup.py.\n")
    return head + "".join(rows)


def source_lup(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for text in f:
            parts = text.split(None, 2)
            if len(parts) < 3 or not parts[0].isdigit():
                continue
            rows.append("%d %s\n" % (int(parts[0]), parts[2].strip()[:SOURCE_LEN].rstrip()))
    return ("# Data sources: WMO originating centre and name. Made by tools/make_variable_lup.py.\n"
            + "".join(rows))


def main():
    wmo = wmo_parameters(os.path.join(DEFS, "grib1", "2.0.3.table"))
    with open(os.path.join(OUT, "variable.lup"), "w", encoding="utf-8") as f:
        f.write(variable_lup(wmo))
    with open(os.path.join(OUT, "source.lup"), "w", encoding="utf-8") as f:
        f.write(source_lup(os.path.join(DEFS, "common", "c-1.table")))


if __name__ == "__main__":
    main()
