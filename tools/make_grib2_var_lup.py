#!/usr/bin/python3
"""Writes data/grib2_var.lup, the GRIB edition 2 parameter table.

ecCodes' definitions (Debian's libeccodes-data) name every parameter by a
parameter id: grib2/paramId.def pairs the id with an edition 2 discipline,
category and number, grib1/paramId.def (and NCEP's local grib1 concepts)
with an edition 1 table version and parameter number. Every edition 2
parameter whose id also has a WMO edition 1 number (table versions 1 to 3)
becomes one line:

  centre discipline category number name units long name

with centre 0 (any), the short name as the variable name, the units without
blanks, and the long name followed by the edition 1 number in brackets. The
table has no empty line (an empty line ends the decoder's scan).

Run from the top of the tree: /usr/bin/python3 tools/make_grib2_var_lup.py
"""
import os
import re

DEFS = '/usr/share/eccodes/definitions'


def entries(path):
    """(value, keys, comment) of every entry of a concept file, in order."""
    if not os.path.exists(path):
        return
    comment = ''
    value = None
    keys = {}
    for line in open(path, encoding='utf-8', errors='replace'):
        line = line.strip()
        if line.startswith('#'):
            comment = line[1:].strip()
            continue
        m = re.match(r"^'(.*)'\s*=\s*\{", line)
        if m:
            value, keys = m.group(1), {}
            continue
        m = re.match(r'^(\w+)\s*=\s*(-?\d+)\s*;', line)
        if m and value is not None:
            keys[m.group(1)] = int(m.group(2))
            continue
        if line.startswith('}') and value is not None:
            yield value, keys, comment
            value = None


def plain_ed2(keys):
    return set(keys) == {'discipline', 'parameterCategory', 'parameterNumber'}


def by_dcn(path):
    out = {}
    for value, keys, _ in entries(path):
        if plain_ed2(keys):
            out.setdefault((keys['discipline'], keys['parameterCategory'], keys['parameterNumber']), value)
    return out


def main():
    ed1 = {}
    for path in (DEFS + '/grib1/paramId.def', DEFS + '/grib1/localConcepts/kwbc/paramId.def'):
        for value, keys, _ in entries(path):
            if set(keys) == {'table2Version', 'indicatorOfParameter'} and keys['table2Version'] in (1, 2, 3):
                ed1.setdefault(value, keys['indicatorOfParameter'])
    short = by_dcn(DEFS + '/grib2/shortName.def')
    units = by_dcn(DEFS + '/grib2/units.def')
    lines = []
    seen = set()
    for value, keys, comment in entries(DEFS + '/grib2/paramId.def'):
        if not plain_ed2(keys) or value not in ed1:
            continue
        dcn = (keys['discipline'], keys['parameterCategory'], keys['parameterNumber'])
        if dcn in seen or dcn not in short:
            continue
        seen.add(dcn)
        name = short[dcn][:19]
        unit = (units.get(dcn, '-').replace(' ', '.') or '-')[:29]
        long_name = ('%s [%d]' % (comment or name, ed1[value]))[:79]
        lines.append('0 %d %d %d %s %s %s' % (dcn + (name, unit, long_name)))
    with open(os.path.join('data', 'grib2_var.lup'), 'w') as f:
        f.write('# centre discipline category number name units long name [edition 1 number]\n')
        f.write('\n'.join(lines) + '\n')


main()
