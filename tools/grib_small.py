#!/usr/bin/python3
"""Makes small GRIB messages from large real ones, for fuzz seeds.

  grib_small.py cut IN OUT [NI NJ]
      The first message of IN with its grid cut to a window of NI x NJ
      points (6 x 5 unless given), chosen where the field has some missing
      points when it has any. Latitude/longitude, Mercator, Lambert and polar
      stereographic grids are cut; a thinned latitude/longitude grid keeps
      its first NJ rows, each shortened in proportion. Any other grid keeps
      its definition and gets a constant field, which packs to no bits.
      Every other key (product, level, packing, bit map) stays as it was.

  grib_small.py regrid IN OUT
      The first message of IN on a 6 x 5 latitude/longitude grid (its
      product, packing and bit map kept), so that a product whose own grid
      the decoder refuses still reaches the data.

  grib_small.py complex IN OUT TEMPLATE ORDER OCTETS MVM
      The edition 2 field of IN packed again with complex packing, which
      ecCodes writes without spatial differencing or missing-value
      management: template 5.2 or 5.3, differencing of order 0, 1 or 2 with
      OCTETS octets per extra descriptor, missing-value management MVM
      (0 keeps the bit map; 1 and 2 mark missing points in the groups,
      with MVM 2 every third one as secondary missing). Groups of varying
      lengths and widths. The result is checked against ecCodes' reading.

Run with Debian's python3 (python3-eccodes).
"""
import struct
import sys

import eccodes as ec

CUTTABLE = {
    'regular_ll': ('Ni', 'Nj'),
    'mercator': ('Ni', 'Nj'),
    'lambert': ('Nx', 'Ny'),
    'polar_stereographic': ('Nx', 'Ny'),
}


def load(path):
    with open(path, 'rb') as f:
        h = ec.codes_grib_new_from_file(f)
    if h is None:
        sys.exit('grib_small: no GRIB message in %s' % path)
    return h


def save(h, path):
    with open(path, 'wb') as f:
        ec.codes_write(h, f)


def window(vals, NI, NJ, ni, nj, miss):
    """The corner of the window with about a third of its points missing
    when the field has missing points, else with none."""
    want = 0.3 if any(v == miss for v in vals) else 0.0
    best, score = (0, 0), None
    for j0 in range(0, NJ - nj + 1, max(1, (NJ - nj) // 24)):
        for i0 in range(0, NI - ni + 1, max(1, (NI - ni) // 24)):
            m = sum(1 for j in range(nj) for i in range(ni) if vals[(j0 + j) * NI + i0 + i] == miss)
            s = abs(m / (ni * nj) - want)
            if score is None or s < score:
                best, score = (i0, j0), s
    return best


def cut(h, ni, nj):
    gt = ec.codes_get(h, 'gridType')
    vals = list(ec.codes_get_values(h))
    miss = ec.codes_get(h, 'missingValue')
    holes = any(v == miss for v in vals)
    if gt in CUTTABLE:
        kx, ky = CUTTABLE[gt]
        NI, NJ = ec.codes_get(h, kx), ec.codes_get(h, ky)
        ni, nj = min(ni, NI), min(nj, NJ)
        i0, j0 = window(vals, NI, NJ, ni, nj, miss)
        lats = ec.codes_get_array(h, 'latitudes')
        lons = ec.codes_get_array(h, 'longitudes')
        sub = [vals[(j0 + j) * NI + i0 + i] for j in range(nj) for i in range(ni)]
        first, last = j0 * NI + i0, (j0 + nj - 1) * NI + i0 + ni - 1
        ec.codes_set(h, kx, ni)
        ec.codes_set(h, ky, nj)
        ec.codes_set(h, 'latitudeOfFirstGridPointInDegrees', float(lats[first]))
        ec.codes_set(h, 'longitudeOfFirstGridPointInDegrees', float(lons[first]))
        if kx == 'Ni':
            ec.codes_set(h, 'latitudeOfLastGridPointInDegrees', float(lats[last]))
            ec.codes_set(h, 'longitudeOfLastGridPointInDegrees', float(lons[last]))
    elif gt == 'reduced_ll':
        pl = list(ec.codes_get_array(h, 'pl'))
        longest = max(pl)
        sub, rows, off = [], [], 0
        for j in range(min(nj, len(pl))):
            k = max(1, pl[j] * ni // longest)
            rows.append(k)
            sub += vals[off:off + k]
            off += pl[j]
        ec.codes_set(h, 'Nj', len(rows))
        ec.codes_set_array(h, 'pl', rows)
    else:
        sub = [1.0] * len(vals)
        holes = False
    if holes:
        ec.codes_set(h, 'bitmapPresent', 1)
    ec.codes_set_values(h, sub)


def regrid(h):
    """A 6 x 5 latitude/longitude grid in place of the message's own."""
    vals = [v for v in ec.codes_get_values(h)]
    miss = ec.codes_get(h, 'missingValue')
    holes = any(v == miss for v in vals)
    ec.codes_set(h, 'gridDefinitionTemplateNumber', 0)
    ec.codes_set(h, 'numberOfOctectsForNumberOfPoints', 0)
    ec.codes_set(h, 'interpretationOfNumberOfPoints', 0)
    for k, v in (('Ni', 6), ('Nj', 5), ('latitudeOfFirstGridPointInDegrees', 60.0),
                 ('longitudeOfFirstGridPointInDegrees', 0.0), ('latitudeOfLastGridPointInDegrees', 52.0),
                 ('longitudeOfLastGridPointInDegrees', 10.0), ('iDirectionIncrementInDegrees', 2.0),
                 ('jDirectionIncrementInDegrees', 2.0)):
        ec.codes_set(h, k, v)
    present = [v for v in vals if v != miss]
    sub = [present[(i * 7919) % len(present)] for i in range(30)]
    if holes:
        ec.codes_set(h, 'bitmapPresent', 1)
        for i in (3, 11, 12, 17):
            sub[i] = miss
    ec.codes_set_values(h, sub)


# --- complex packing ------------------------------------------------------


class Bits:
    def __init__(self):
        self.acc, self.n, self.out = 0, 0, bytearray()

    def put(self, v, nb):
        if nb == 0:
            return
        assert 0 <= v < (1 << nb), (v, nb)
        self.acc = (self.acc << nb) | v
        self.n += nb
        while self.n >= 8:
            self.n -= 8
            self.out.append((self.acc >> self.n) & 0xFF)
        self.acc &= (1 << self.n) - 1

    def align(self):
        if self.n:
            self.put(0, 8 - self.n)


def sign_mag(v, n):
    m = abs(v)
    assert m < (1 << (8 * n - 1)), (v, n)
    return (m | ((1 << (8 * n - 1)) if v < 0 else 0)).to_bytes(n, 'big')


def sections(msg):
    """The edition 2 sections of one message: {number: bytes}, in order."""
    out, p = [], 16
    while msg[p:p + 4] != b'7777':
        n = int.from_bytes(msg[p:p + 4], 'big')
        out.append((msg[p + 4], msg[p:p + n]))
        p += n
    return out


def section(num, body):
    return struct.pack('>IB', 5 + len(body), num) + body


# Group lengths in turn: short and long groups, so that lengths and widths
# both vary.
PATTERN = [3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8]


def complex_pack(h, templ, order, octets, mvm):
    vals = list(ec.codes_get_values(h))
    miss = ec.codes_get(h, 'missingValue')
    D = ec.codes_get(h, 'decimalScaleFactor')
    E = ec.codes_get(h, 'binaryScaleFactor')
    msg = ec.codes_get_message(h)
    secs = sections(msg)
    kind = [v != miss for v in vals]  # True: present
    if mvm == 0:
        stream = [v for v in vals if v != miss]
        flags = [0] * len(stream)  # 0 value, 1 primary, 2 secondary missing
        bitmap = [b for n, b in secs if n == 6][0]
    else:
        stream = vals
        flags, k = [], 0
        for v in vals:
            if v != miss:
                flags.append(0)
            else:
                k += 1
                flags.append(2 if mvm == 2 and k % 3 == 0 else 1)
        bitmap = section(6, b'\xff')
    present = [v for v, f in zip(stream, flags) if f == 0]
    # A coarser binary scale where the extra descriptors are too narrow for
    # the first values and the minimum.
    while True:
        Y = [round(v * 10 ** D / 2.0 ** E) for v in present]
        R = min(Y) if Y else 0
        Y = [y - R for y in Y]
        first, minimum, Z = [], 0, list(Y)
        if templ == 3 and order in (1, 2) and len(Y) > order:
            first = Y[:order]
            if order == 1:
                d = [Y[i] - Y[i - 1] for i in range(1, len(Y))]
            else:
                d = [Y[i] - 2 * Y[i - 1] + Y[i - 2] for i in range(2, len(Y))]
            minimum = min(d)
            Z = [0] * order + [x - minimum for x in d]
        if not first or all(abs(v) < 1 << (8 * octets - 1) for v in first + [minimum]):
            break
        E += 1
    want = iter([(R + y) * 2.0 ** E / 10 ** D for y in Y])
    vals = [next(want) if v != miss else v for v in vals]
    # Z in stream order, None where missing.
    zi = iter(Z)
    packed = [next(zi) if f == 0 else None for f in flags]
    groups, p, g = [], 0, 0
    while p < len(packed):
        n = min(PATTERN[g % len(PATTERN)], len(packed) - p)
        groups.append(packed[p:p + n])
        p += n
        g += 1
    reserve = mvm  # all ones (and all ones less one) stand for missing
    refs, widths, lens = [], [], []
    for grp in groups:
        present = [z for z in grp if z is not None]
        lens.append(len(grp))
        if not present:
            refs.append(None)  # all missing: the reference says which
            widths.append(0)
            continue
        lo, hi = min(present), max(present)
        refs.append(lo)
        if hi == lo and len(present) == len(grp):
            widths.append(0)
        else:
            widths.append((hi - lo + reserve).bit_length())
    nb_ref = (max([r for r in refs if r is not None] + [0]) + reserve).bit_length()
    if mvm and nb_ref == 0:
        nb_ref = 1
    refs = [(r if r is not None else (1 << nb_ref) - 1) for r in refs]
    # A group all of secondary missing points says so with all ones less one.
    for i, grp in enumerate(groups):
        if mvm == 2 and all(z is None for z in grp):
            fl = flags[sum(lens[:i]):sum(lens[:i]) + lens[i]]
            if all(f == 2 for f in fl):
                refs[i] = (1 << nb_ref) - 2
    wref = min(widths)
    nb_w = (max(widths) - wref).bit_length()
    lref = min(lens[:-1]) if len(lens) > 1 else lens[0]
    nb_l = (max(lens[:-1] + [lref]) - lref).bit_length()
    body = bytearray()
    if first:
        for v in first + [minimum]:
            body += sign_mag(v, octets)
    b = Bits()
    for r in refs:
        b.put(r, nb_ref)
    b.align()
    for w in widths:
        b.put(w - wref, nb_w)
    b.align()
    for ln in lens[:-1]:
        b.put(ln - lref, nb_l)
    b.put(0, nb_l)
    b.align()
    f_iter = iter(flags)
    for grp, r, w in zip(groups, refs, widths):
        for z in grp:
            f = next(f_iter)
            if w == 0:
                continue
            if z is None:
                b.put((1 << w) - f, w)  # 1: all ones, 2: all ones less one
            else:
                b.put(z - r, w)
    b.align()
    body += b.out
    s5 = struct.pack('>IH', len(stream), templ) + struct.pack('>f', R * 2.0 ** E)
    s5 += struct.pack('>HH', E if E >= 0 else 0x8000 | -E, D if D >= 0 else 0x8000 | -D)
    s5 += bytes([nb_ref, 0, 1, mvm]) + struct.pack('>ff', float(miss), float(miss))
    s5 += struct.pack('>IBB', len(groups), wref, nb_w) + struct.pack('>IB', lref, 1)
    s5 += struct.pack('>IB', lens[-1], nb_l)
    if templ == 3:
        s5 += bytes([order, octets])
    out = bytearray()
    for n, s in secs:
        if n == 5:
            out += section(5, s5)
        elif n == 6:
            out += bitmap
        elif n == 7:
            out += section(7, bytes(body))
        else:
            out += s
    total = 16 + len(out) + 4
    return msg[:8] + struct.pack('>Q', total) + bytes(out) + b'7777', vals, miss


def check_same(data, want, miss):
    h = ec.codes_new_from_message(bytes(data))
    got = list(ec.codes_get_values(h))
    gmiss = ec.codes_get(h, 'missingValue')
    ec.codes_release(h)
    assert len(got) == len(want), (len(got), len(want))
    for g, w in zip(got, want):
        if w == miss:
            assert g == gmiss, (g, w)
        else:
            assert abs(g - w) <= 1e-3 * max(1.0, abs(w)), (g, w)


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    op, src, dst = argv[1], argv[2], argv[3]
    h = load(src)
    if op == 'cut':
        ni, nj = (int(argv[4]), int(argv[5])) if len(argv) > 5 else (6, 5)
        cut(h, ni, nj)
        save(h, dst)
    elif op == 'regrid':
        regrid(h)
        save(h, dst)
    elif op == 'complex':
        templ, order, octets, mvm = (int(a) for a in argv[4:8])
        data, want, miss = complex_pack(h, templ, order, octets, mvm)
        check_same(data, want, miss)
        with open(dst, 'wb') as f:
            f.write(data)
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main(sys.argv)
