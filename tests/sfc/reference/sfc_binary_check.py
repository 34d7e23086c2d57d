"""Packs surface reports into the 64-byte binary records with struct and
compares them with a file written by the library.

Usage: sfc_binary_check.py FILE TABLE
TABLE holds one report per line as "name=value" fields joined by "|".
Prints "ok N" for N matching records, else the first difference.
"""
import math
import struct
import sys

MISS = -9999.0
BIN_MISS = 9999


def word(v):
    if v is None or v < -32768 or v > 32767:
        return BIN_MISS
    return v


def trunc(x):
    return None if x == MISS else int(x)


def scaled(x, scale, add):
    return None if x == MISS else int(x * scale + add)


def rounded(x):
    return None if x == MISS else math.floor(x + 0.5)


COVER_BITS = {"F": 0x1000, "S": 0x4000, "B": 0x2000, "O": 0x6000, "X": 0x7000}


def cloud(rep, i):
    if i >= rep["num_cld"] or rep["h%d" % i] == MISS or rep["h%d" % i] < 0:
        return BIN_MISS
    h = int(rep["h%d" % i] / 100)
    if h > 0xFFF:
        return BIN_MISS
    c = rep["c%d" % i]
    if c == "C":
        return 0
    return h | COVER_BITS.get(c, 0)


def pad(text, n):
    b = text.encode("latin-1")[:n]
    return b + b"\0" * (n - len(b))


def pack(rep):
    wmo = rep["wmo"]
    wmo_text = "%05d" % wmo if 0 <= wmo <= 99999 else "99999"
    head = pad(rep["id"], 7) + pad(wmo_text, 7) + pad(rep["weather"][1:], 10)
    time = None if rep["time"] == -9999 else rep["time"]
    values = [
        time, BIN_MISS,
        rounded(rep["t"]), rounded(rep["td"]),
        trunc(rep["w_dir"]), trunc(rep["w_spd"]), trunc(rep["w_gust"]),
        scaled(rep["alt"], 100, 0.1), scaled(rep["pmb"], 10, 0.1),
        BIN_MISS, BIN_MISS, BIN_MISS,
        scaled(rep["lat"], 100, 0), scaled(rep["lon"], 100, 0),
        0,
        scaled(rep["vis"], 100, 0.1),
        cloud(rep, 0), cloud(rep, 1), cloud(rep, 2),
        trunc(rep["elev"]),
    ]
    return head + b"".join(struct.pack("<h", word(v)) for v in values)


def parse(line):
    rep = {}
    for item in line.rstrip("\n").split("|"):
        key, _, value = item.partition("=")
        if key in ("id", "weather") or key.startswith("c"):
            rep[key] = value
        elif key in ("wmo", "time", "num_cld"):
            rep[key] = int(value)
        else:
            rep[key] = float(value)
    return rep


def main():
    data = open(sys.argv[1], "rb").read()
    reps = [parse(l) for l in open(sys.argv[2], encoding="latin-1") if l.strip()]
    header = b"DATE:03/09/98 06:00:00"
    if data[:22] != header:
        print("header", data[:22])
        return 1
    if len(data) != 22 + 64 * len(reps):
        print("length", len(data))
        return 1
    for n, rep in enumerate(reps):
        want = pack(rep)
        got = data[22 + 64 * n: 22 + 64 * (n + 1)]
        if got != want:
            for off in range(64):
                if got[off] != want[off]:
                    print("record %d (%s) differs at byte %d: %r != %r"
                          % (n, rep["id"], off, got[off:off + 2], want[off:off + 2]))
                    return 1
    print("ok %d" % len(reps))
    return 0


if __name__ == "__main__":
    sys.exit(main())
