#!/usr/bin/python3
"""Writes the expected GRIB unit and remapping rows for the decoder's tests.

Reads the markdown document given as the first argument, finds its three
tables (ECMWF remapping, edition 0 remapping, edition 1 units by parameter)
and the netCDF unit-name table, and prints one line per case:

  ecmwf <param> <var> <units> <ltype> <level>      ("-" where not set)
  ed0 <param> <var> <units>
  ed1 <param> <units>
  cdf <var> <name>

Units are written in double quotes ("" for empty). The decoder's tables are
typed separately; the test reads this file, so a slip in either shows.
"""
import re
import sys


def tables(text):
    """Yields (header cells, rows of cells) of every pipe table."""
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        if lines[i].startswith('|') and i + 1 < len(lines) and re.match(r'^\|[-| ]+\|$', lines[i + 1]):
            head = [c.strip() for c in lines[i].strip('|').split('|')]
            rows = []
            i += 2
            while i < len(lines) and lines[i].startswith('|'):
                rows.append([c.strip() for c in lines[i].strip('|').split('|')])
                i += 1
            yield head, rows
        else:
            i += 1


def unit(cell):
    if cell == 'empty' or cell == '':
        return '""'
    m = re.fullmatch(r'"(.*)"', cell)
    if not m:
        raise SystemExit('unexpected units cell: ' + cell)
    return '"' + m.group(1) + '"'


# ECMWF's fluxes and stresses are accumulated: their values are in these
# units, whatever the rate of the WMO parameter they are remapped to.
ACCUMULATED = {'146': '"J/m^2"', '147': '"J/m^2"', '176': '"J/m^2"', '177': '"J/m^2"',
               '180': '"N-s/m^2"', '181': '"N-s/m^2"'}


# The WMO's units (edition 1 table 2) where the description's differ: 50
# is the v-component of a current, 77 a lifted index; and the units of
# the WMO parameters the description gives none.
WMO_UNITS = {'50': '"m/s"', '77': '"dK"'}
WMO_ADDED = {4: 'K-m^2/kg/s', 5: 'm', 64: 'kg/m^2/s', 67: 'm', 68: 'm', 69: 'm', 70: 'm', 72: '%', 73: '%', 74: '%',
             75: '%', 78: 'kg/m^2', 79: 'kg/m^2', 82: 'm', 87: '%', 88: 'kg/kg', 89: 'kg/m^3', 92: 'm', 93: 'deg',
             94: 'm/s', 95: 'm/s', 96: 'm/s', 97: 'm/s', 98: '/s', 99: 'kg/m^2', 101: 'deg', 102: 'm', 103: 's',
             104: 'deg', 105: 'm', 106: 's', 109: 'deg', 110: 's', 115: 'W/m^2', 116: 'W/m^2', 117: 'W/m^2', 118: 'K',
             123: 'W/m^2', 180: 'm/s'}


def main():
    text = open(sys.argv[1], encoding='utf-8').read()
    out = []
    for head, rows in tables(text):
        if head[:2] == ['ECMWF parameter', '`var`']:
            for r in rows:
                ltype = level = '-'
                m = re.match(r'level type (\d+)(?:, level (\d+))?', r[3])
                if m:
                    ltype = m.group(1)
                    level = m.group(2) or '-'
                units = ACCUMULATED.get(r[0], unit(r[2]))
                out.append(f'ecmwf {r[0]} {r[1]} {units} {ltype} {level}')
        elif head[:2] == ['Edition 0 parameter', '`var`']:
            for r in rows:
                out.append(f'ed0 {r[0]} {r[1]} {unit(r[2])}')
        elif head[:2] == ['`units`', '`var` modulo 1000']:
            listed = set()
            for r in rows:
                for n in r[1].split(','):
                    out.append(f'ed1 {n.strip()} {WMO_UNITS.get(n.strip(), unit(r[0]))}')
                    listed.add(int(n))
            out += [f'ed1 {n} "{u}"' for n, u in sorted(WMO_ADDED.items()) if n not in listed]
        elif head[:2] == ['Variable', 'Unit name']:
            for r in rows:
                for n in r[0].split(','):
                    out.append(f'cdf {n.strip()} {unit(r[1])}')
    kinds = {l.split()[0] for l in out}
    if kinds != {'ecmwf', 'ed0', 'ed1', 'cdf'}:
        raise SystemExit('tables not found: ' + ' '.join(sorted(kinds)))
    print('\n'.join(out))


main()
