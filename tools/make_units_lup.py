#!/usr/bin/python3
"""Writes data/units.lup, the units file of the unit conversions.

Each group lists unit names with the linear map to its group's base unit
(base = factor * value + offset). Every ordered pair of names in a group
becomes one entry "input output conversion", where the conversion is
"*scale" and, when not zero, "+offset" or "-offset" (output = offset +
scale * input). Names are written with "_" for blanks, as the unit texts
are compared. The factors are the exact definitions of the units (the
international foot, inch and mile, the nautical mile, the knot as a
nautical mile per hour, the conventional inch and millimetre of mercury).

Usage: tools/make_units_lup.py > data/units.lup
"""

KNOT = 1852.0 / 3600.0
IN_HG = 3386.38864034  # Pa: 25.4 mm of mercury at 13595.1 kg/m^3 and standard gravity
MM_HG = 133.322387415  # Pa

GROUPS = [
    ("Temperature (base K)", [
        ("K", 1.0, 0.0), ("C", 1.0, 273.15), ("F", 5.0 / 9.0, 459.67 * 5.0 / 9.0),
        ("degC", 1.0, 273.15), ("degF", 5.0 / 9.0, 459.67 * 5.0 / 9.0),
    ]),
    ("Temperature differences (base K)", [
        ("dK", 1.0, 0.0), ("dC", 1.0, 0.0), ("dF", 5.0 / 9.0, 0.0),
    ]),
    ("Pressure (base Pa)", [
        ("Pa", 1.0, 0.0), ("hPa", 100.0, 0.0), ("mb", 100.0, 0.0), ("kPa", 1000.0, 0.0),
        ("in_Hg", IN_HG, 0.0), ("mm_Hg", MM_HG, 0.0),
    ]),
    ("Speed (base m/s)", [
        ("m/s", 1.0, 0.0), ("knt", KNOT, 0.0), ("kt", KNOT, 0.0), ("kts", KNOT, 0.0),
        ("knots", KNOT, 0.0), ("mph", 0.44704, 0.0), ("km/h", 1.0 / 3.6, 0.0),
    ]),
    # Geopotential heights come in geopotential metres ("gpm"), which model
    # output and its plots take as metres of height.
    ("Length and height (base m)", [
        ("m", 1.0, 0.0), ("km", 1000.0, 0.0), ("dam", 10.0, 0.0), ("cm", 0.01, 0.0),
        ("mm", 0.001, 0.0), ("ft", 0.3048, 0.0), ("in", 0.0254, 0.0),
        ("mi", 1609.344, 0.0), ("nmi", 1852.0, 0.0), ("gpm", 1.0, 0.0),
    ]),
    ("Precipitation: water mass per area as depth (base mm)", [
        ("kg/m^2", 1.0, 0.0), ("mm", 1.0, 0.0), ("cm", 10.0, 0.0), ("in", 25.4, 0.0),
    ]),
    ("Time (base s)", [
        ("s", 1.0, 0.0), ("sec", 1.0, 0.0), ("min", 60.0, 0.0), ("hr", 3600.0, 0.0),
    ]),
    ("Mixing ratio and specific humidity (base g/kg)", [
        ("g/kg", 1.0, 0.0), ("kg/kg", 1000.0, 0.0),
    ]),
    ("Fractions (base percent)", [
        ("%", 1.0, 0.0), ("percent", 1.0, 0.0),
    ]),
    ("Energy flux (base W/m^2)", [
        ("W/m^2", 1.0, 0.0), ("kW/m^2", 1000.0, 0.0),
    ]),
    ("Kinematic fields: per second (vorticity, divergence; the 1e-05 scale "
     "rides on the unit text, as in '1e-05 m/s/m')", [
        ("/s", 1.0, 0.0), ("s^-1", 1.0, 0.0), ("m/s/m", 1.0, 0.0),
    ]),
    ("Kinematic fields: per second squared (advection of vorticity, 1e-10 scale)", [
        ("/s^2", 1.0, 0.0), ("s^-2", 1.0, 0.0), ("/s/s", 1.0, 0.0), ("m/s/m/s", 1.0, 0.0),
    ]),
    ("Kinematic fields: per metre (gradients, 1e-05 scale)", [
        ("/m", 1.0, 0.0), ("m^-1", 1.0, 0.0), ("m/m^2", 1.0, 0.0),
    ]),
    ("Kinematic fields: per square metre (Laplacians, 1e-10 scale)", [
        ("/m^2", 1.0, 0.0), ("m^-2", 1.0, 0.0),
    ]),
]


def number(x):
    text = "%.10g" % x
    return text


def conversion(a, b):
    (fa, oa), (fb, ob) = a, b
    scale = fa / fb
    offset = (oa - ob) / fb
    text = "" if scale == 1.0 and offset != 0.0 else "*" + number(scale)
    if abs(offset) > 1e-9:
        text += ("+" if offset > 0 else "-") + number(abs(offset))
    return text


def main():
    print("# units.lup: unit conversions by name, made by tools/make_units_lup.py")
    print("# input_name  output_name  conversion (output = offset + scale * input)")
    written = set()
    for title, units in GROUPS:
        print()
        print("# " + title)
        for name_a, fa, oa in units:
            for name_b, fb, ob in units:
                # A pair that an earlier group gave keeps its first entry.
                if name_a != name_b and (name_a, name_b) not in written:
                    written.add((name_a, name_b))
                    print("%-10s %-10s %s" % (name_a, name_b, conversion((fa, oa), (fb, ob))))


if __name__ == "__main__":
    main()
