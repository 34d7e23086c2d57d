#!/usr/bin/python3
"""The peer of bench/cty_tool_bench.cpp: a station database read into
dictionaries, the way a Python program would keep it.

    /usr/bin/python3 tools/cty_bench_peer.py FILE

Each line gives name, state, country, identifier, priority, latitude,
longitude, elevation, WMO number and a last number. The stations of
priority 9 or less within 20-60 N, 130-60 W are kept by identifier (the
first of each), by WMO key ("%05d") and by location key ("%5.0f%6.0f" of
tenths of a degree), each key to the list of its stations in the order of
the file. Prints the time in ms (the interpreter's start-up not counted).
"""
import sys
import time


def main():
    start = time.perf_counter()
    by_id, by_wmo, by_cell = {}, {}, {}
    with open(sys.argv[1], encoding="ascii") as f:
        for line in f:
            w = line.split()
            if len(w) < 10:
                continue
            prior = int(w[4].strip("*"))
            lat, lon = float(w[5]), float(w[6])
            if prior > 9 or not (20 <= lat <= 60 and -130 <= lon <= -60):
                continue
            rec = (w[0], w[1], w[2], w[3], prior, lat, lon, float(w[7]), int(w[8]))
            by_id.setdefault(w[3], rec)
            by_wmo.setdefault("%05d" % rec[8], []).append(rec)
            by_cell.setdefault("%5.0f%6.0f" % (lat * 10, lon * 10), []).append(rec)
    print("%.3f" % ((time.perf_counter() - start) * 1000.0))


if __name__ == "__main__":
    main()
