#!/usr/bin/python3
"""Makes the GRIB test messages of tests/grib/data whose grids, dates and
products were once placed or named wrong, with ecCodes' Python module:

  e1_noinc.grb       edition 1 latitude/longitude grids of 3 by 2 degrees
                     without increments (rows north to south and south to
                     north), and one of 1 January 1901 (century 20)
  e2_cyclic.grb      edition 2 grids whose last longitude is the first one
                     again (0 to 360, -180 to 180: 13 columns 30 degrees
                     apart), and one of 12 columns up to 330
  e2_basic_angle.grb an edition 2 grid of 2 degrees over 10 to 32 E, 40 to
                     52 N whose angles count thousandths of a degree (basic
                     angle 1, 1000 subdivisions; ecCodes writes none such,
                     so its octets are set here)
  e1_proj_scans.grb  edition 1 Lambert conformal and polar stereographic
                     grids of 6 by 4 points in the four scanning orders
  e2_proj_scans.grb  the same in edition 2
  e1_winds.grb       edition 1 u and v winds and a temperature on a Lambert
                     conformal grid, relative to the earth, then u relative
                     to the grid
  e2_winds.grb       the same in edition 2
  e2_fluxes.grb      edition 2 net fluxes: short-wave accumulated at the
                     surface, long-wave at the nominal top, instantaneous
                     long-wave at the surface, an accumulated stress

The projected grids keep their first point (La1, Lo1) whatever the order;
their values count 0, 1, 2 ... in the message's order, so the first point
holds 0.

Run from the top of the tree: /usr/bin/python3 tools/make_grib_geometry_fixtures.py
"""
import itertools
import os

import eccodes as ec

OUT = os.path.join('tests', 'grib', 'data')
EXAMPLES = '/usr/share/doc/python-grib-doc/examples/'
SAMPLES = '/usr/share/eccodes/samples/'


def load(path):
    with open(path, 'rb') as f:
        return ec.codes_grib_new_from_file(f)


def setall(h, keys):
    for k, v in keys:
        if v is None:
            ec.codes_set_missing(h, k)
        elif isinstance(v, float):
            ec.codes_set_double(h, k, v)
        elif isinstance(v, str):
            ec.codes_set_string(h, k, v)
        else:
            ec.codes_set_long(h, k, v)


def message(base, keys, values):
    h = ec.codes_clone(base)
    setall(h, keys)
    ec.codes_set_values(h, values)
    data = ec.codes_get_message(h)
    ec.codes_release(h)
    return data


def latlon(ni, nj, la1, lo1, la2, lo2, di, dj):
    return [('Ni', ni), ('Nj', nj), ('latitudeOfFirstGridPointInDegrees', la1),
            ('longitudeOfFirstGridPointInDegrees', lo1), ('latitudeOfLastGridPointInDegrees', la2),
            ('longitudeOfLastGridPointInDegrees', lo2), ('iDirectionIncrementInDegrees', di),
            ('jDirectionIncrementInDegrees', dj)]


def thousandths(msg):
    """The message with its grid's angles in thousandths of a degree."""
    m = bytearray(msg)
    i = 16
    while m[i + 4] != 3:
        i += int.from_bytes(m[i:i + 4], 'big')

    def octets(k, v=None):
        at = i + k - 1
        if v is not None:
            m[at:at + 4] = v.to_bytes(4, 'big')
        return int.from_bytes(m[at:at + 4], 'big')

    octets(39, 1)
    octets(43, 1000)
    for k in (47, 51, 56, 60, 64, 68):
        octets(k, octets(k) // 1000)
    return bytes(m)


def main():
    out = {}
    e1 = load(EXAMPLES + 'regular_latlon_surface.grib1')
    e2 = load(EXAMPLES + 'regular_latlon_surface.grib2')
    count = [float(i) for i in range(84)]
    out['e1_noinc.grb'] = (
        message(e1, latlon(12, 7, 52.0, 10.0, 40.0, 43.0, 3.0, 2.0) + [('ijDirectionIncrementGiven', 0)], count) +
        message(e1, latlon(12, 7, 40.0, 10.0, 52.0, 43.0, 3.0, 2.0) +
                [('jScansPositively', 1), ('ijDirectionIncrementGiven', 0)], count) +
        message(e1, latlon(12, 7, 52.0, 10.0, 40.0, 43.0, 3.0, 2.0) + [('dataDate', 19010101)], count))
    out['e2_cyclic.grb'] = b''.join(
        message(e2, latlon(ni, 7, 52.0, lo1, 40.0, lo2, 30.0, 2.0), [float(i) for i in range(ni * 7)])
        for ni, lo1, lo2 in ((13, 0.0, 360.0), (13, -180.0, 180.0), (12, 0.0, 330.0)))
    out['e2_basic_angle.grb'] = thousandths(message(e2, latlon(12, 7, 52.0, 10.0, 40.0, 32.0, 2.0, 2.0), count))
    for edition, sources in ((1, ('e1_lambert.grb', 'e1_ps.grb')), (2, ('e2_lambert.grb', 'e2_ps.grb'))):
        data = b''
        for source in sources:
            base = load(os.path.join(OUT, source))
            for ineg, jpos in itertools.product((0, 1), (0, 1)):
                data += message(base, [('Ni', 6), ('Nj', 4), ('iScansNegatively', ineg), ('jScansPositively', jpos)],
                                [float(i) for i in range(24)])
        out['e%d_proj_scans.grb' % edition] = data
    for edition, source, params in (
            (1, 'e1_lambert.grb', [[('centre', 7), ('table2Version', 2), ('indicatorOfParameter', n)] for n in (33, 34, 11)]),
            (2, 'e2_lambert.grb', [[('discipline', 0), ('parameterCategory', c), ('parameterNumber', n)]
                                   for c, n in ((2, 2), (2, 3), (0, 0))])):
        base = load(os.path.join(OUT, source))
        fields = [float(i) for i in range(24)]
        out['e%d_winds.grb' % edition] = b''.join(
            message(base, [('Ni', 6), ('Nj', 4), ('uvRelativeToGrid', grid)] + keys, fields)
            for grid, keys in [(0, params[0]), (0, params[1]), (0, params[2]), (1, params[0])])
    flux = [('productDefinitionTemplateNumber', 8), ('discipline', 0), ('scaleFactorOfFirstFixedSurface', None),
            ('scaledValueOfFirstFixedSurface', None)]
    field = [1000.0 + i for i in range(496)]
    out['e2_fluxes.grb'] = b''.join(
        message(e2, flux + keys, field) for keys in (
            [('parameterCategory', 4), ('parameterNumber', 9), ('typeOfFirstFixedSurface', 1), ('stepType', 'accum'),
             ('startStep', 0), ('endStep', 6)],
            [('parameterCategory', 5), ('parameterNumber', 5), ('typeOfFirstFixedSurface', 8), ('stepType', 'accum'),
             ('startStep', 0), ('endStep', 6)],
            [('productDefinitionTemplateNumber', 0), ('parameterCategory', 5), ('parameterNumber', 5),
             ('typeOfFirstFixedSurface', 1)],
            [('parameterCategory', 2), ('parameterNumber', 17), ('typeOfFirstFixedSurface', 1),
             ('stepType', 'accum'), ('startStep', 0), ('endStep', 6)]))
    for name, data in out.items():
        with open(os.path.join(OUT, name), 'wb') as f:
            f.write(data)


main()
