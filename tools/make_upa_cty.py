#!/usr/bin/python3
"""Writes the upper-air station database data/upa.cty.

The stations come from the WMO station list that Debian's metview-data
package ships as a GNU dbm file (/usr/share/metview/etc/stations-i.db, keyed
by WMO index number; read with python3-gdbm). Each record holds the index
number, latitude and longitude in hundredths of a degree, four characters
telling which observations the station makes at 00, 06, 12 and 18 UTC ("T"
a radiosonde ascent, "P" a pilot balloon, "-" none), the station elevation in
metres and the station name. Every station that makes radiosonde ascents is
taken.

Identifiers: upper-air reports name a station by a short identifier or by
its WMO number. A station gets the identifier of the surface station list of
Debian's weather-util-data package (as tools/make_sao_cty.py reads it: the
ICAO identifier, with the leading "K" dropped in the contiguous United
States) when that station lies within 10 km and its name begins with the
same word; otherwise its identifier is the WMO number itself. The state and
country come from the nearest station of that list within 100 km ("--" and
the WMO name's own country otherwise are not known: "--", "--").

Each line is a station: name (one word of at most 20 characters), state,
country, identifier, priority, latitude, longitude, elevation (9999 when
missing), WMO number and a last number. Priorities thin the stations on a
map: taken in order of the number of ascents a day, a station gets 1 when it
lies 600 km or more from every station of priority 1, 2 at 300 km from every
station of priority 1 or 2, else 3.

Usage: tools/make_upa_cty.py [output-file]
"""

import dbm.gnu
import math
import os
import re
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_sao_cty as sao  # noqa: E402

WMO_LIST = "/usr/share/metview/etc/stations-i.db"
OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "upa.cty")
EARTH_KM = 6371.22
SAME_PLACE_KM = 10.0
NEAR_KM = 100.0
SPACING = {1: 600.0, 2: 300.0}


def wmo_stations():
    """(wmo, lat, lon, ascents a day, elevation, name) of every radiosonde
    station of the WMO list."""
    db = dbm.gnu.open(WMO_LIST, "r")
    out = []
    key = db.firstkey()
    while key is not None:
        rec = db[key]
        key = db.nextkey(key)
        wmo, lat, lon = struct.unpack_from("<qqq", rec, 0)
        flags = rec[24:28].decode("latin1")
        elev = struct.unpack_from("<i", rec, 40)[0]
        name = rec[56:].split(b"\0")[0].decode("latin1")
        ascents = flags.count("T")
        if ascents == 0 or not 0 < wmo < 100000:
            continue
        if abs(lat) > 9000 or abs(lon) > 18000:
            continue
        out.append((wmo, lat / 100.0, lon / 100.0, ascents, elev if -500 < elev < 9000 else 9999, name))
    return out


def distance_km(lat1, lon1, lat2, lon2):
    p1, p2 = math.radians(lat1), math.radians(lat2)
    h = math.sin((p2 - p1) / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(math.radians(lon2 - lon1) / 2) ** 2
    return 2 * EARTH_KM * math.asin(min(1.0, math.sqrt(h)))


def first_word(text):
    words = re.split(r"[^A-Za-z]+", sao.ascii_text(text).upper())
    return next((w for w in words if w), "")


def surface_stations():
    """(id, lat, lon, name, state, country) of the surface station list."""
    codes = sao.country_codes()
    out = []
    for icao, sec in sao.read_sections(sao.STATIONS).items():
        m = re.fullmatch(r"\(([-0-9.e]+), ([-0-9.e]+)\)", sec.get("location", "None"))
        if not m or not re.fullmatch(r"[a-z]{4}", icao):
            continue
        desc = sec.get("description", "")
        described = sao.describe(desc, codes)
        if not described:
            continue
        lat, lon = math.degrees(float(m.group(1))), math.degrees(float(m.group(2)))
        ident = icao.upper()
        if ident.startswith("K") and described[2] == "US" and described[1] not in ("AK", "HI"):
            ident = ident[1:]
        out.append((ident, lat, lon, desc, described[1], described[2]))
    return out


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else OUTPUT
    surface = surface_stations()
    rows = []
    for wmo, lat, lon, ascents, elev, name in wmo_stations():
        near = [(distance_km(lat, lon, s[1], s[2]), s) for s in surface
                if abs(s[1] - lat) < 1.5 and abs(s[2] - lon) < 3]
        near.sort(key=lambda x: x[0])
        ident, state, country = "%05d" % wmo, "--", "--"
        if near and near[0][0] <= NEAR_KM:
            state, country = near[0][1][4], near[0][1][5]
        for d, s in near:
            if d <= SAME_PLACE_KM and first_word(s[3]) == first_word(name):
                ident = s[0]
                break
        label = sao.one_word(re.sub(r"\(.*?\)|,.*$", "", name).title()) or "%05d" % wmo
        rows.append({"name": label, "state": state, "country": country, "id": ident, "lat": lat,
                     "lon": lon, "elev": elev, "wmo": wmo, "ascents": ascents})

    rows.sort(key=lambda r: (-r["ascents"], r["wmo"]))
    kept = []
    for r in rows:
        r["prior"] = 3
        for p in (1, 2):
            if all(distance_km(r["lat"], r["lon"], k["lat"], k["lon"]) >= SPACING[p] for k in kept if k["prior"] <= p):
                r["prior"] = p
                kept.append(r)
                break
    rows.sort(key=lambda r: (r["prior"], r["wmo"]))
    with open(output, "w", encoding="ascii") as f:
        for r in rows:
            f.write("%-20s %-2s %-2s %-9s %-4d %7.2f %8.2f %5d %5d %d\n" %
                    (r["name"], r["state"], r["country"], r["id"], r["prior"],
                     r["lat"], r["lon"], r["elev"], r["wmo"], 0))
    named = sum(1 for r in rows if not r["id"].isdigit())
    print("%s: %d stations, %d with a surface identifier" % (output, len(rows), named))


if __name__ == "__main__":
    main()
