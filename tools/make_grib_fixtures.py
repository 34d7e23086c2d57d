#!/usr/bin/python3
"""Makes the GRIB test messages of tests/grib/data.

Messages of editions 1 and 2 come from ecCodes' command-line tools and their
sample templates (grib_filter puts the values in with simple packing); the
edition 0 message is built here byte by byte. Each set is then written behind
each bulletin framing the decoder reads:

  framing_raw.grb     messages back to back
  framing_kez.grb     "** heading" lines, CR CR LF ETX after each message
  framing_ldm.grb     SOH, sequence number, heading ... CR CR LF ETX
  framing_oldkez.grb  "GRIB: N" size lines before LDM-like records
  framing_mixed.grb   a KEZ file whose third message has no heading line
  ed0_kez.grb         edition 0 messages behind KEZ headings
  ed0_raw.grb         edition 0 messages back to back, then edition 1

and the edition 1 fields the unpacking is checked on (e1_*.grb): ecCodes'
samples with values put in by grib_filter and keys changed with it, and
messages built here (predefined grids without a grid description, a thinned
grid, NCEP ensemble and probability products) whose values are known by
construction; and edition 2 grid definitions (e2_*.grb) made with grib_set,
with one message that holds several fields; and products once read wrong
(e1_times.grb, e1_local.grb, e2_products.grb) set with grib_set on small
fields of the samples.

Run from the top of the tree: /usr/bin/python3 tools/make_grib_fixtures.py
"""
import os
import struct
import subprocess
import tempfile

OUT = os.path.join('tests', 'grib', 'data')
SAMPLES = '/usr/share/eccodes/samples'


def grib_filter(template, rules, tmp):
    rfile = os.path.join(tmp, 'rules')
    out = os.path.join(tmp, 'out.grb')
    with open(rfile, 'w') as f:
        f.write(rules + '\nwrite "%s";\n' % out)
    subprocess.run(['grib_filter', rfile, os.path.join(SAMPLES, template)], check=True,
                   stdout=subprocess.DEVNULL)
    with open(out, 'rb') as f:
        data = f.read()
    os.remove(out)
    return data


def grib_set(data, keys, tmp):
    src = os.path.join(tmp, 'in.grb')
    out = os.path.join(tmp, 'set.grb')
    with open(src, 'wb') as f:
        f.write(data)
    subprocess.run(['grib_set', '-s', keys, src, out], check=True)
    with open(out, 'rb') as f:
        return f.read()


def latlon(ni, nj, lat1, lon1, step, values, bits, extra=''):
    return '''set Ni=%d; set Nj=%d;
set latitudeOfFirstGridPointInDegrees=%g; set longitudeOfFirstGridPointInDegrees=%g;
set latitudeOfLastGridPointInDegrees=%g; set longitudeOfLastGridPointInDegrees=%g;
set iDirectionIncrementInDegrees=%g; set jDirectionIncrementInDegrees=%g;
set bitsPerValue=%d;
%s
set values={%s};''' % (ni, nj, lat1, lon1, lat1 - (nj - 1) * step, lon1 + (ni - 1) * step,
                       step, step, bits, extra, ','.join('%g' % v for v in values))


def ibm_float(x):
    """IBM single precision (sign, 7-bit base-16 exponent, 24-bit fraction)."""
    if x == 0:
        return b'\0\0\0\0'
    sign = 0x80 if x < 0 else 0
    x = abs(x)
    exp = 64
    while x >= 1:
        x /= 16
        exp += 1
    while x < 1 / 16:
        x *= 16
        exp -= 1
    return bytes([sign | exp]) + int(x * (1 << 24)).to_bytes(3, 'big')


def ed0_message(param, year, value):
    """An edition 0 message of grid 21 (no grid description), constant value."""
    pds = bytearray(24)
    pds[0:3] = (24).to_bytes(3, 'big')
    pds[3] = 0      # octet 4 (the decoder reads it as the edition)
    pds[4] = 7      # centre
    pds[5] = 39     # process
    pds[6] = 21     # grid
    pds[7] = 0      # no grid description, no bit map
    pds[8] = param
    pds[9] = 100    # isobaric
    pds[10:12] = (500).to_bytes(2, 'big')
    pds[12:17] = bytes([year, 3, 15, 12, 0])
    pds[17] = 1     # hours
    bds = bytearray(12)
    bds[0:3] = (12).to_bytes(3, 'big')
    bds[3] = 0
    bds[6:10] = ibm_float(value)
    bds[10] = 0     # no bits: every point is the reference value
    return b'GRIB' + bytes(pds) + bytes(bds) + b'7777'


def pack_bits(xs, bits):
    acc = 0
    n = 0
    out = bytearray()
    for x in xs:
        acc = (acc << bits) | x
        n += bits
        while n >= 8:
            n -= 8
            out.append((acc >> n) & 0xFF)
        acc &= (1 << n) - 1
    if n:
        out.append((acc << (8 - n)) & 0xFF)
    return bytes(out)


def ed1_message(grid, xs, bits, ref=0.0, param=11, ltype=100, level=500, gds=b'',
                centre=7, subcentre=0, extra=b'', bitmap=None, dscale=0, table=2):
    """An edition 1 message with simple packing of the integers xs."""
    pds = bytearray(28)
    pds[3] = table
    pds[4] = centre
    pds[5] = 80
    pds[6] = grid
    pds[7] = (0x80 if gds else 0) | (0x40 if bitmap is not None else 0)
    pds[8] = param
    pds[9] = ltype
    pds[10:12] = level.to_bytes(2, 'big')
    pds[12:17] = bytes([24, 5, 6, 12, 0])
    pds[17] = 1
    pds[18] = 6
    pds[24] = 21
    pds[25] = subcentre
    pds[26:28] = (abs(dscale) | (0x8000 if dscale < 0 else 0)).to_bytes(2, 'big')
    pds += extra
    pds[0:3] = len(pds).to_bytes(3, 'big')
    bms = b''
    if bitmap is not None:
        bm = pack_bits(bitmap, 1)
        if len(bm) % 2:
            bm += b'\0'
        bms = (6 + len(bm)).to_bytes(3, 'big') + b'\0\0\0' + bm
    bds = bytearray(11) + pack_bits(xs, bits)
    if len(bds) % 2:
        bds += b'\0'
    bds[0:3] = len(bds).to_bytes(3, 'big')
    bds[6:10] = ibm_float(ref)
    bds[10] = bits
    body = bytes(pds) + gds + bms + bytes(bds) + b'7777'
    return b'GRIB' + (8 + len(body)).to_bytes(3, 'big') + b'\1' + body


def angle(deg):
    v = int(round(abs(deg) * 1000))
    return ((0x800000 if deg < 0 else 0) | v).to_bytes(3, 'big')


def thinned_gds(rows, la1, lo1, la2, lo2, dj):
    g = bytearray(32)
    g[3] = 0        # no vertical coordinates
    g[4] = 33       # row lengths from octet 33
    g[6:8] = (0xFFFF).to_bytes(2, 'big')
    g[8:10] = len(rows).to_bytes(2, 'big')
    g[10:13] = angle(la1)
    g[13:16] = angle(lo1)
    g[16] = 0x80
    g[17:20] = angle(la2)
    g[20:23] = angle(lo2)
    g[23:25] = (0xFFFF).to_bytes(2, 'big')
    g[25:27] = int(dj * 1000).to_bytes(2, 'big')
    g[27] = 0       # north to south
    g += b''.join(n.to_bytes(2, 'big') for n in rows)
    g[0:3] = len(g).to_bytes(3, 'big')
    return bytes(g)


def latlon_gds(ni, nj, la1, lo1, di, dj):
    g = bytearray(32)
    g[0:3] = (32).to_bytes(3, 'big')
    g[4] = 255
    g[6:8] = ni.to_bytes(2, 'big')
    g[8:10] = nj.to_bytes(2, 'big')
    g[10:13] = angle(la1)
    g[13:16] = angle(lo1)
    g[16] = 0x80
    g[17:20] = angle(la1 - (nj - 1) * dj)
    g[20:23] = angle(lo1 + (ni - 1) * di)
    g[23:25] = int(di * 1000).to_bytes(2, 'big')
    g[25:27] = int(dj * 1000).to_bytes(2, 'big')
    return bytes(g)


def kez(msgs, heads):
    return b''.join(b'** ' + h.encode() + b' \r\r\n' + m + b'\r\r\n\x03' for m, h in zip(msgs, heads))


def ldm_record(seq, head, msg):
    return b'\x01\r\r\n' + b'%03d' % seq + b'\r\r\n' + head.encode() + b'\r\r\n' + msg + b'\r\r\n\x03'


def main():
    with tempfile.TemporaryDirectory() as tmp:
        e1a = grib_filter('GRIB1.tmpl', latlon(5, 4, 60, 0, 5, range(1, 21), 12) +
                          '\nset dataDate=20240315; set dataTime=1200;', tmp)
        e2a = grib_filter('GRIB2.tmpl', latlon(5, 4, 60, 0, 5, range(21, 41), 12) +
                          '\nset dataDate=20240316; set dataTime=600;', tmp)
        e1b = grib_filter('GRIB1.tmpl', latlon(7, 3, 50, 10, 2.5, [0.5 * i for i in range(21)], 16) +
                          '\nset indicatorOfParameter=11; set dataDate=20240317; set dataTime=0;', tmp)
        e2b = grib_filter('GRIB2.tmpl', latlon(3, 6, 30, 100, 1, [i * i for i in range(18)], 10) +
                          '\nset dataDate=20240318; set dataTime=1800;', tmp)
    msgs = [e1a, e2a, e1b, e2b]
    heads = ['YTHA01 KWBC 151200', 'YTHB02 KWBC 161200', 'YTHC03 EGRR 170000', 'YTHD04 LFPW 181800']

    def put(name, data):
        with open(os.path.join(OUT, name), 'wb') as f:
            f.write(data)

    put('framing_raw.grb', b''.join(msgs))
    put('framing_kez.grb', kez(msgs, heads))
    put('framing_ldm.grb', b''.join(ldm_record(i + 1, h, m) for i, (m, h) in enumerate(zip(msgs, heads))))
    old = b''
    for i, (m, h) in enumerate(zip(msgs, heads)):
        rec = ldm_record(i + 1, h, m)
        old += b'GRIB: %d\n' % len(rec) + rec + b'\n'
    put('framing_oldkez.grb', old)
    put('framing_mixed.grb', kez(msgs[:2], heads[:2]) + msgs[2] + b'\r\r\n\x03' +
        kez(msgs[3:], heads[3:]))
    ed0 = [ed0_message(2, 95, 5520.0), ed0_message(9, 95, 2.5)]
    put('ed0_kez.grb', kez(ed0, heads[:2]))
    put('ed0_raw.grb', b''.join(ed0) + e1a)

    # Edition 1 fields checked against grib_get_data.
    vals = [((i * 37) % 101) * 0.25 - 3 for i in range(20)]
    vtext = ','.join('%g' % v for v in vals)

    def ll(bits, extra='', v=vals):
        return latlon(5, 4, 60, 0, 5, v, bits, extra)

    with tempfile.TemporaryDirectory() as tmp:
        put('e1_ll12.grb', grib_filter('GRIB1.tmpl', ll(12), tmp))
        put('e1_ll4.grb', grib_filter('GRIB1.tmpl', ll(4), tmp))
        put('e1_ll16.grb', grib_set(grib_filter('GRIB1.tmpl', ll(16), tmp), 'decimalScaleFactor=2', tmp))
        put('e1_ll24.grb', grib_filter('GRIB1.tmpl', ll(24), tmp))
        put('e1_const.grb', grib_filter('GRIB1.tmpl', ll(12, v=[7.5] * 20), tmp))
        grid = """set Ni=5; set Nj=4;
set latitudeOfFirstGridPointInDegrees=%g; set longitudeOfFirstGridPointInDegrees=%g;
set latitudeOfLastGridPointInDegrees=%g; set longitudeOfLastGridPointInDegrees=%g;
set iDirectionIncrementInDegrees=5; set jDirectionIncrementInDegrees=5; set bitsPerValue=12;
set values={%s};"""
        put('e1_s2n.grb', grib_filter('GRIB1.tmpl', 'set jScansPositively=1;\n' +
                                       grid % (45, 0, 60, 20, vtext), tmp))
        put('e1_e2w.grb', grib_filter('GRIB1.tmpl', 'set iScansNegatively=1;\n' +
                                       grid % (60, 20, 45, 0, vtext), tmp))
        bm = [9999 if i % 2 else v for i, v in enumerate(vals)]
        put('e1_bitmap.grb', grib_filter('GRIB1.tmpl', 'set bitmapPresent=1; set missingValue=9999;\n' +
                                          ll(8, v=bm), tmp))
        put('e1_ps.grb', grib_filter('polar_stereographic_sfc_grib1.tmpl', '''set Nx=6; set Ny=5;
set latitudeOfFirstGridPointInDegrees=40; set longitudeOfFirstGridPointInDegrees=-100;
set orientationOfTheGridInDegrees=-105; set DxInMetres=100000; set DyInMetres=100000;
set jScansPositively=1; set bitsPerValue=12;
set values={%s};''' % ','.join('%g' % (i * 1.5) for i in range(30)), tmp))
        put('e1_lambert.grb', grib_filter('GRIB1.tmpl', '''set dataRepresentationType=3;
set Nx=6; set Ny=4; set latitudeOfFirstGridPointInDegrees=30; set longitudeOfFirstGridPointInDegrees=-110;
set LoVInDegrees=-95; set Latin1InDegrees=25; set Latin2InDegrees=25; set DxInMetres=80000; set DyInMetres=80000;
set jScansPositively=1; set bitsPerValue=10;
set values={%s};''' % ','.join('%g' % (i * 2) for i in range(24)), tmp))
        put('e1_params.grb', grib_filter('GRIB1.tmpl', ll(8) + '''
set indicatorOfParameter=61; set indicatorOfTypeOfLevel=1; set unitOfTimeRange=1;
set P1=6; set P2=12; set timeRangeIndicator=4;''', tmp))
        put('e1_second_order.grb', grib_filter('GRIB1.tmpl', latlon(
            20, 10, 60, 0, 1, [((i * 7919) % 997) * 0.1 for i in range(200)], 12) +
            '\nset packingType="grid_second_order";', tmp))

    # Built here: the expected grid is known by construction.
    g21 = [(r * 37 + c) % 4096 for r in range(36) for c in range(37)] + [4000]
    put('e1_grid21.grb', ed1_message(21, g21, 12, ref=100.0))
    g26 = [1] + [(r * 72 + c) % 4096 for r in range(18) for c in range(72)]
    put('e1_grid26.grb', ed1_message(26, g26, 12))
    g50 = []
    for r in range(32, -1, -1):
        k = len([j for j in range(1, 9) if 4 * j < r])
        g50 += [r * 36 + c for c in range(36 - 2 * k)]
    put('e1_grid50.grb', ed1_message(50, g50, 11))
    put('e1_grid211.grb', ed1_message(211, [i % 256 for i in range(93 * 65)], 8))
    rows = [2, 3, 5, 3, 2]
    thin = [10 * r + i for r, n in enumerate(rows) for i in range(n)]
    # Rows of 25 values at 8 bits; a jump is a change of more than 128.
    def jumps(n):
        row = [10] * 25
        for j in range(n):
            row[2 + 3 * j] = 250   # up and back down: two jumps each
        return row
    quiet = [20 + i for i in range(25)]
    put('e1_jumps_bad.grb', ed1_message(255, quiet + jumps(3) + quiet, 8,
                                         gds=latlon_gds(25, 3, 10, 0, 1, 1)))
    put('e1_jumps_ok.grb', ed1_message(255, jumps(2) + [10] * 24 + [250] + jumps(2), 8,
                                        gds=latlon_gds(25, 3, 10, 0, 1, 1)))
    put('e1_thin.grb', ed1_message(255, thin, 8, gds=thinned_gds(rows, 20, 0, 0, 20, 5)))
    ens = bytearray(27)  # octets 29-55
    ens[41 - 28:45 - 28] = bytes([3, 2, 1, 0])
    put('e1_ens.grb', ed1_message(21, g21, 12, subcentre=2, extra=bytes(ens)))
    prob = bytearray(27)
    prob[41 - 28:47 - 28] = bytes([5, 0, 0, 0, 61, 2])
    prob[47 - 28:51 - 28] = ibm_float(0.0)
    prob[51 - 28:55 - 28] = ibm_float(6.35)
    put('e1_prob.grb', ed1_message(21, g21, 12, param=191, subcentre=2, extra=bytes(prob)))

    # Edition 2 grid definitions (header reads; the values are not used).
    with tempfile.TemporaryDirectory() as tmp:
        def gset(template, keys_list):
            data = open(os.path.join(SAMPLES, template), 'rb').read()
            for keys in keys_list:
                data = grib_set(data, keys, tmp)
            return data
        put('e2_ll.grb', gset('GRIB2.tmpl', [
            'Ni=720,Nj=361,latitudeOfFirstGridPointInDegrees=90,longitudeOfFirstGridPointInDegrees=0,'
            'latitudeOfLastGridPointInDegrees=-90,longitudeOfLastGridPointInDegrees=359.5,'
            'iDirectionIncrementInDegrees=0.5,jDirectionIncrementInDegrees=0.5']))
        put('e2_merc.grb', gset('GRIB2.tmpl', ['gridDefinitionTemplateNumber=10',
            'Ni=10,Nj=8,latitudeOfFirstGridPointInDegrees=-10,longitudeOfFirstGridPointInDegrees=100,'
            'latitudeOfLastGridPointInDegrees=20,longitudeOfLastGridPointInDegrees=140,'
            'LaDInDegrees=0,jScansPositively=1']))
        put('e2_ps.grb', gset('polar_stereographic_sfc_grib2.tmpl', [
            'Nx=6,Ny=5,latitudeOfFirstGridPointInDegrees=40,longitudeOfFirstGridPointInDegrees=260,'
            'orientationOfTheGridInDegrees=255,DxInMetres=100000,DyInMetres=100000,'
            'LaDInDegrees=60,jScansPositively=1']))
        put('e2_lambert.grb', gset('GRIB2.tmpl', ['gridDefinitionTemplateNumber=30',
            'Nx=185,Ny=129,latitudeOfFirstGridPointInDegrees=12.19,longitudeOfFirstGridPointInDegrees=226.541,'
            'DxInMetres=40635.25,DyInMetres=40635.25,LoVInDegrees=265,Latin1InDegrees=25,'
            'Latin2InDegrees=25,jScansPositively=1']))

    # Products once read wrong, set with grib_set on a small field of each
    # edition's sample: edition 1 time ranges and parameters of centres'
    # own tables; edition 2 probabilities and statistics over a period,
    # statistics over an area, chemical constituents.
    with tempfile.TemporaryDirectory() as tmp:
        def each(data, keys_list):
            return b''.join(grib_set(data, keys, tmp) for keys in keys_list)
        f1 = grib_filter('GRIB1.tmpl', ll(12), tmp)
        put('e1_times.grb', each(f1, ['timeRangeIndicator=1,P1=3', 'timeRangeIndicator=1,P1=0',
                                      'timeRangeIndicator=0,P1=3', 'timeRangeIndicator=2,P1=3,P2=9']))
        put('e1_local.grb', each(f1, ['centre=%d,table2Version=%d,indicatorOfParameter=%d' % k for k in [
            (98, 128, 31), (98, 128, 229), (98, 128, 167), (98, 140, 229), (98, 140, 230), (98, 2, 229),
            (78, 201, 11), (7, 129, 212), (7, 129, 33), (7, 2, 61)]]))
        f2 = grib_filter('GRIB2.tmpl', ll(12), tmp)
        put('e2_products.grb', each(f2, [
            'productDefinitionTemplateNumber=9,typeOfGeneratingProcess=2,probabilityType=1,'
            'scaleFactorOfUpperLimit=0,scaledValueOfUpperLimit=300,typeOfStatisticalProcessing=255,'
            'lengthOfTimeRange=6',
            'productDefinitionTemplateNumber=9,typeOfGeneratingProcess=2,probabilityType=1,'
            'scaleFactorOfUpperLimit=0,scaledValueOfUpperLimit=300,typeOfStatisticalProcessing=1,'
            'forecastTime=6,lengthOfTimeRange=6',
            'productDefinitionTemplateNumber=8,typeOfStatisticalProcessing=255,lengthOfTimeRange=300',
            'productDefinitionTemplateNumber=15,forecastTime=6,typeOfFirstFixedSurface=100,'
            'scaleFactorOfFirstFixedSurface=0,scaledValueOfFirstFixedSurface=50000',
            'productDefinitionTemplateNumber=40,constituentType=0,forecastTime=6,typeOfFirstFixedSurface=100,'
            'scaleFactorOfFirstFixedSurface=0,scaledValueOfFirstFixedSurface=50000']))

    # Ensemble products, each after one whose details it must not take:
    # the unweighted mean after a standard deviation (fixed time and time
    # range), a spread, members numbered 20 and more, a multi-model member
    # after a perturbed one, a deterministic field last; chemical
    # constituents of one quantity; ECMWF's cloud cover (a fraction, also
    # constant), accumulated flux and stress.
    with tempfile.TemporaryDirectory() as tmp:
        def each(data, keys_list):
            return b''.join(grib_set(data, keys, tmp) for keys in keys_list)
        f2 = grib_filter('GRIB2.tmpl', ll(12), tmp)
        period = 'typeOfStatisticalProcessing=1,forecastTime=6,lengthOfTimeRange=6'
        put('e2_ensemble.grb', each(f2, [
            'productDefinitionTemplateNumber=2,derivedForecast=2,numberOfForecastsInEnsemble=50',
            'productDefinitionTemplateNumber=2,derivedForecast=0,numberOfForecastsInEnsemble=50',
            'productDefinitionTemplateNumber=12,derivedForecast=2,' + period,
            'productDefinitionTemplateNumber=12,derivedForecast=0,' + period,
            'productDefinitionTemplateNumber=2,derivedForecast=4',
            'productDefinitionTemplateNumber=1,typeOfEnsembleForecast=3,perturbationNumber=21',
            'productDefinitionTemplateNumber=1,typeOfEnsembleForecast=4,perturbationNumber=1',
            'productDefinitionTemplateNumber=1,typeOfEnsembleForecast=2,perturbationNumber=19',
            'productDefinitionTemplateNumber=11,typeOfEnsembleForecast=3,perturbationNumber=255,' + period,
            'productDefinitionTemplateNumber=0']))
        put('e2_chem.grb', each(f2, [
            'productDefinitionTemplateNumber=40,parameterCategory=20,parameterNumber=2,constituentType=%d' % c
            for c in (0, 2, 10000)]))
        frac = [((i * 37) % 101) / 100.0 for i in range(20)]
        tcc = grib_filter('GRIB1.tmpl', ll(12, v=frac), tmp)
        tcc_const = grib_filter('GRIB1.tmpl', ll(12, v=[0.75] * 20), tmp)
        f1 = grib_filter('GRIB1.tmpl', ll(12), tmp)
        ecmwf = 'centre=98,table2Version=128,indicatorOfParameter=%d'
        put('e1_ecmwf.grb', grib_set(tcc, ecmwf % 164, tmp) + grib_set(tcc_const, ecmwf % 164, tmp) +
            each(f1, [ecmwf % 146, ecmwf % 180]))

    # One message holding several fields: sections 4 to 7 repeated, then
    # sections 3 to 7 with another grid.
    def sections(msg):
        out = []
        at = 16
        while msg[at:at + 4] != b'7777':
            n = int.from_bytes(msg[at:at + 4], 'big')
            out.append(msg[at:at + n])
            at += n
        return out
    s1, s3, s4, s5, s6, s7 = sections(e2a)
    t3 = sections(e2b)[1]
    body = s1 + s3 + s4 + s5 + s6 + s7 + s4 + s5 + s6 + s7 + t3 + s4 + s5 + s6 + s7
    multi = e2a[:8] + (16 + len(body) + 4).to_bytes(8, 'big') + body + b'7777'
    put('e2_multi.grb', multi + e1a)


main()
