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


main()
