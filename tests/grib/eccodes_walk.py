#!/usr/bin/python3
"""What ecCodes reads from GRIB files, for the decoder's walk test.

Usage: /usr/bin/python3 eccodes_walk.py FILE...

Every field of every file (one per field of a message holding several) is
written to standard output as one line of tab-separated key=value pairs,
followed by the field's values as little-endian 8-octet floats in the
order of the message's points, missing points as -9999. The line's key
"nvalues" says how many values follow; it is 0 for grids the suite does
not read (their values are not decoded at all, which keeps the walk over
the large Gaussian samples quick). The keys "lat" and "lon" give the
positions of the points listed in "points" (message order), so that the
grid can be checked without sending every position.
"""
import sys

import eccodes as ec
import numpy as np

KEYS_ED1 = ['table2Version', 'indicatorOfParameter', 'indicatorOfTypeOfLevel', 'timeRangeIndicator',
            'indicatorOfUnitOfTimeRange', 'P1', 'P2', 'numberIncludedInAverage', 'decimalScaleFactor',
            'earthIsOblate']
KEYS_ED2 = ['discipline', 'parameterCategory', 'parameterNumber', 'typeOfFirstFixedSurface:i',
            'scaledValueOfFirstFixedSurface',
            'typeOfSecondFixedSurface:i', 'productDefinitionTemplateNumber', 'indicatorOfUnitOfTimeRange',
            'alternativeRowScanning', 'dataRepresentationTemplateNumber', 'gridDefinitionTemplateNumber',
            'shapeOfTheEarth', 'numberOfGroupsOfDataValues', 'typeOfEnsembleForecast:i', 'perturbationNumber:i',
            'derivedForecast:i', 'probabilityType:i', 'typeOfGeneratingProcess:i', 'constituentType:i']
KEYS = ['edition', 'centre:i', 'shortName', 'paramId', 'typeOfLevel', 'level', 'topLevel', 'bottomLevel',
        'dataDate', 'dataTime', 'stepType', 'gridType', 'Ni', 'Nj', 'iScansNegatively', 'jScansPositively',
        'jPointsAreConsecutive', 'numberOfValues', 'packingType', 'bitmapPresent', 'referenceValue',
        'latitudeOfFirstGridPointInDegrees', 'longitudeOfFirstGridPointInDegrees',
        'latitudeOfLastGridPointInDegrees', 'longitudeOfLastGridPointInDegrees']
READ_GRIDS = ('regular_ll', 'reduced_ll', 'mercator', 'polar_stereographic', 'lambert')


def get(h, key):
    try:
        if key.endswith(':i'):
            return str(ec.codes_get_long(h, key[:-2]))
        if ec.codes_is_missing(h, key):
            return 'MISSING'
        return str(ec.codes_get(h, key)).replace('\t', ' ')
    except ec.CodesInternalError:
        return ''


def steps(h):
    """Start and end of the forecast step in minutes."""
    try:
        ec.codes_set(h, 'stepUnits', 'm')
        return str(ec.codes_get_long(h, 'startStep')), str(ec.codes_get_long(h, 'endStep'))
    except ec.CodesInternalError:
        return '', ''


POSITIONS = {}


def positions(h, ni, nj):
    """Sample points and their positions; each grid's once, however many
    fields share it (the positions of every point of a large grid take
    longer to compute than its values)."""
    key = get(h, 'md5GridSection')
    if key not in POSITIONS:
        points = sorted({0, ni - 1, (nj - 1) * ni, nj * ni - 1, (nj // 2) * ni + ni // 2, (nj // 3) * ni + 1})
        lats = ec.codes_get_double_array(h, 'latitudes')
        lons = ec.codes_get_double_array(h, 'longitudes')
        POSITIONS[key] = [('points', ','.join(str(p) for p in points)),
                          ('lat', ','.join('%.6f' % lats[p] for p in points)),
                          ('lon', ','.join('%.6f' % lons[p] for p in points))]
    return POSITIONS[key]


def field(out, h):
    pairs = [(k.split(':')[0], get(h, k)) for k in KEYS]
    edition = ec.codes_get_long(h, 'edition')
    pairs += [(k.split(':')[0], get(h, k)) for k in (KEYS_ED1 if edition == 1 else KEYS_ED2)]
    start, end = steps(h)
    pairs += [('startStep', start), ('endStep', end)]
    grid = get(h, 'gridType')
    values = None
    if grid in READ_GRIDS:
        ec.codes_set(h, 'missingValue', -9999.0)
        values = np.asarray(ec.codes_get_values(h), dtype='<f8')
        if grid == 'reduced_ll':
            pairs.append(('pl', ','.join(str(n) for n in ec.codes_get_array(h, 'pl'))))
        else:
            ni, nj = ec.codes_get_long(h, 'Ni'), ec.codes_get_long(h, 'Nj')
            pairs += positions(h, ni, nj)
    pairs.append(('nvalues', str(0 if values is None else len(values))))
    out.write(('\t'.join('%s=%s' % kv for kv in pairs) + '\n').encode())
    if values is not None:
        out.write(memoryview(values))


def main():
    ec.codes_grib_multi_support_on()
    out = sys.stdout.buffer
    for path in sys.argv[1:]:
        with open(path, 'rb') as f:
            while True:
                h = ec.codes_grib_new_from_file(f)
                if h is None:
                    break
                try:
                    field(out, h)
                finally:
                    ec.codes_release(h)
    out.flush()


main()
