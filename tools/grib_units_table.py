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
            for r in rows:
                for n in r[1].split(','):
                    out.append(f'ed1 {n.strip()} {unit(r[0])}')
        elif head[:2] == ['Variable', 'Unit name']:
            for r in rows:
                for n in r[0].split(','):
                    out.append(f'cdf {n.strip()} {unit(r[1])}')
    kinds = {l.split()[0] for l in out}
    if kinds != {'ecmwf', 'ed0', 'ed1', 'cdf'}:
        raise SystemExit('tables not found: ' + ' '.join(sorted(kinds)))
    print('\n'.join(out))


main()
