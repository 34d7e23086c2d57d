#!/usr/bin/python3
"""Writes data/grib2_var.lup, the GRIB edition 2 parameter table.

The suite names every grid by an edition 1 parameter number, so a field of
edition 2 must take the number the same quantity has in edition 1: then a
search for temp, uwnd or pmsl finds it whatever the edition. This script
pairs edition 2 parameters (discipline, category, number) with those
numbers:

- EDITION1: the WMO's own correspondence of GRIB edition 2 code table 4.2
  with edition 1 table 2 (ecCodes converts edition 1 messages to these
  parameters; tests/grib checks the pairs against its conversion), and
  NCEP's local edition 1 numbers for the quantities that only NCEP's table
  numbered in edition 1;
- EDITION2_ONLY: quantities that no edition 1 table numbers; they take the
  suite's own numbers from 600 on (tools/make_variable_lup.py), clear of
  every edition 1 parameter.

Each pair becomes one line

  centre discipline category number name units long name

with centre 0 (any) for the WMO's parameters and 7 for NCEP's local ones
(category or number of 192 and above), the variable name and long name
that data/variable.lup gives the number, and the units that the decoder
gives the edition 1 number (its table in src/grib/grib.cpp; "-" for none)
or, where edition 2 gives its own, those (UNITS2).
The table has no empty line (an empty line ends the decoder's scan).

Run from anywhere: /usr/bin/python3 tools/make_grib2_var_lup.py
"""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.join(HERE, '..')

# (discipline, category, number): edition 1 number.
EDITION1 = {
    # Temperature.
    (0, 0, 0): 11, (0, 0, 1): 12, (0, 0, 2): 13, (0, 0, 3): 14, (0, 0, 4): 15, (0, 0, 5): 16,
    (0, 0, 6): 17, (0, 0, 7): 18, (0, 0, 8): 19, (0, 0, 9): 25, (0, 0, 10): 121, (0, 0, 11): 122,
    # Moisture; ECMWF writes accumulated total precipitation as 0/1/52.
    (0, 1, 0): 51, (0, 1, 1): 52, (0, 1, 2): 53, (0, 1, 3): 54, (0, 1, 4): 55, (0, 1, 5): 56,
    (0, 1, 6): 57, (0, 1, 7): 59, (0, 1, 8): 61, (0, 1, 9): 62, (0, 1, 10): 63, (0, 1, 11): 66,
    (0, 1, 12): 64, (0, 1, 13): 65, (0, 1, 14): 78, (0, 1, 15): 79, (0, 1, 16): 99, (0, 1, 22): 153,
    (0, 1, 52): 61, (0, 1, 60): 65,
    # Momentum.
    (0, 2, 0): 31, (0, 2, 1): 32, (0, 2, 2): 33, (0, 2, 3): 34, (0, 2, 4): 35, (0, 2, 5): 36,
    (0, 2, 6): 37, (0, 2, 7): 38, (0, 2, 8): 39, (0, 2, 9): 40, (0, 2, 10): 41, (0, 2, 11): 42,
    (0, 2, 12): 43, (0, 2, 13): 44, (0, 2, 14): 4, (0, 2, 15): 45, (0, 2, 16): 46, (0, 2, 17): 124,
    (0, 2, 18): 125, (0, 2, 19): 126, (0, 2, 20): 123, (0, 2, 22): 180,
    # Mass.
    (0, 3, 0): 1, (0, 3, 1): 2, (0, 3, 2): 3, (0, 3, 3): 5, (0, 3, 4): 6, (0, 3, 5): 7, (0, 3, 6): 8,
    (0, 3, 7): 9, (0, 3, 8): 26, (0, 3, 9): 27, (0, 3, 10): 89,
    # Short-wave and long-wave radiation; ECMWF's net fluxes are 0/4/9 and 0/5/5.
    (0, 4, 0): 111, (0, 4, 1): 113, (0, 4, 2): 116, (0, 4, 3): 117, (0, 4, 4): 118, (0, 4, 5): 119,
    (0, 4, 6): 120, (0, 4, 9): 111, (0, 5, 0): 112, (0, 5, 1): 114, (0, 5, 2): 115, (0, 5, 5): 112,
    # Cloud.
    (0, 6, 0): 58, (0, 6, 1): 71, (0, 6, 2): 72, (0, 6, 3): 73, (0, 6, 4): 74, (0, 6, 5): 75, (0, 6, 6): 76,
    # Stability.
    (0, 7, 0): 24, (0, 7, 1): 77, (0, 7, 6): 157, (0, 7, 7): 156, (0, 7, 8): 190,
    # Trace gases, radar, physical atmospheric properties.
    (0, 14, 0): 10, (0, 15, 6): 21, (0, 15, 7): 22, (0, 15, 8): 23,
    (0, 19, 0): 20, (0, 19, 1): 84, (0, 19, 2): 60, (0, 19, 3): 67,
    # Land surface.
    (2, 0, 0): 81, (2, 0, 1): 83, (2, 0, 2): 85, (2, 0, 3): 86, (2, 0, 4): 87, (2, 0, 5): 90, (2, 0, 22): 86,
    # Waves, currents, ice, surface and sub-surface properties of the ocean.
    (10, 0, 0): 28, (10, 0, 1): 29, (10, 0, 2): 30, (10, 0, 3): 100, (10, 0, 4): 101, (10, 0, 5): 102,
    (10, 0, 6): 103, (10, 0, 7): 104, (10, 0, 8): 105, (10, 0, 9): 106, (10, 0, 10): 107, (10, 0, 11): 108,
    (10, 0, 12): 109, (10, 0, 13): 110,
    (10, 1, 0): 47, (10, 1, 1): 48, (10, 1, 2): 49, (10, 1, 3): 50,
    (10, 2, 0): 91, (10, 2, 1): 92, (10, 2, 2): 93, (10, 2, 3): 94, (10, 2, 4): 95, (10, 2, 5): 96,
    (10, 2, 6): 97, (10, 2, 7): 98,
    (10, 3, 0): 80, (10, 3, 1): 82,
    (10, 4, 0): 69, (10, 4, 1): 70, (10, 4, 2): 68, (10, 4, 3): 88,
    # NCEP's local parameters of edition 2 and their local edition 1 numbers.
    (0, 1, 192): 140, (0, 1, 193): 141, (0, 1, 194): 142, (0, 1, 195): 143, (0, 1, 196): 214,
    (0, 1, 200): 145, (0, 2, 192): 136, (0, 2, 194): 196, (0, 2, 195): 197,
    (0, 3, 192): 130, (0, 3, 193): 222, (0, 3, 194): 147, (0, 3, 195): 148, (0, 3, 196): 221,
    (0, 3, 197): 230, (0, 4, 192): 204, (0, 4, 193): 211, (0, 5, 192): 205, (0, 5, 193): 212,
    (0, 6, 193): 146, (0, 7, 192): 131, (0, 7, 193): 132, (0, 14, 192): 154,
    (2, 0, 192): 144, (2, 0, 193): 155, (2, 0, 201): 219, (2, 3, 203): 220,
}

# (discipline, category, number): units of edition 2 quantities whose
# edition 1 number the suite gives another representation of the same
# quantity: edition 2's cloud water is a column (kg/m^2, as NCEP's edition
# 1 number 76 was), its soil moisture a density (ECMWF writes it so).
UNITS2 = {(0, 6, 6): 'kg/m^2', (2, 0, 22): 'kg/m^3'}

# (discipline, category, number): (suite number, units) of quantities no
# edition 1 table numbers.
EDITION2_ONLY = {
    (0, 0, 17): (600, 'K'),
    (0, 1, 51): (601, 'kg/m^2'),
    (0, 1, 53): (602, 'kg/m^2'),
    (0, 6, 24): (603, 's'),
    (0, 6, 201): (603, 's'),
}


def suite_names(path):
    """Number -> (first name, description) of data/variable.lup."""
    out = {}
    for line in open(path, encoding='utf-8'):
        if line.startswith('#'):
            continue
        parts = line.split(None, 2)
        if len(parts) < 3:
            continue
        number = int(parts[0].split(',')[0])
        out.setdefault(number, (parts[1], parts[2].strip()))
    return out


def edition1_units(path):
    """Number -> units of the decoder's edition 1 table ("-" when empty)."""
    text = open(path, encoding='utf-8').read()
    table = text[text.index('constexpr UnitRow ed1_units[]'):]
    table = table[:table.index('};')]
    out = {}
    for units, numbers in re.findall(r'\{"([^"]*)",\s*\{([\d,\s]+)\}\}', table):
        for n in numbers.split(','):
            if n.strip():
                out[int(n)] = units or '-'
    return out


def main():
    names = suite_names(os.path.join(TOP, 'data', 'variable.lup'))
    units = edition1_units(os.path.join(TOP, 'src', 'grib', 'grib.cpp'))
    lines = []
    pairs = [(dcn, n, UNITS2.get(dcn, units.get(n, '-'))) for dcn, n in EDITION1.items()]
    pairs += [(dcn, n, u) for dcn, (n, u) in EDITION2_ONLY.items()]
    for (d, c, n), number, unit in sorted(pairs):
        if number not in names:
            sys.exit('make_grib2_var_lup: data/variable.lup has no name for %d' % number)
        name, desc = names[number]
        centre = 7 if c >= 192 or n >= 192 else 0
        lines.append('%d %d %d %d %s %s %s' % (centre, d, c, n, name, unit.replace(' ', '.'), desc))
    with open(os.path.join(TOP, 'data', 'grib2_var.lup'), 'w', encoding='utf-8') as f:
        f.write('# centre discipline category number name units long name; made by tools/make_grib2_var_lup.py\n')
        f.write('\n'.join(lines) + '\n')


main()
