#!/usr/bin/python3
"""Writes the surface station database data/sao.cty.

The stations come from the public station list of Debian's weather-util-data
package (/usr/share/weather-util/stations.gz): one section per ICAO station
with a description ("Denver International Airport, CO, United States") and a
position in radians. Country names become two-letter codes through Debian's
iso-codes package (iso_3166-1.json); the list's IATA table (airports.gz)
marks the stations that serve passenger airports.

Each line of sao.cty is a station: name (one word of at most 20 characters,
'_' for blanks), state or province (two characters, "--" when unknown),
country (two characters), identifier, priority, latitude, longitude,
elevation, WMO number and a last number. The list has neither elevations nor
WMO numbers, and no Debian package of reasonable size has a station list
with elevations. As a stand-in, a station's elevation is the model
orography at its position: the surface geopotential height field of the
GFS file that Debian's python-grib-doc ships (examples/gfs.grb, a
2.5-degree global grid, read with grib_get_data of libeccodes-tools),
interpolated bilinearly and rounded to whole metres. It is smoothed
terrain: mountain stations come out a few hundred metres off (Denver about
1550 m for 1656 m), coastal ones near their true height. The sample
observations (tools/make_sample_obs.py) reduce their altimeter settings
with these same elevations, so station pressure computed back from them
agrees with the model's surface pressure. WMO numbers are written as 99999
(none). Identifiers of the contiguous United States drop their leading
"K" (DEN for KDEN), as the surface reports name them; all others keep the
four-letter ICAO identifier.

Priorities (0 most important, 9 least) thin the stations so that a map of
any size shows a readable subset: stations are taken in order of importance
(a list of large passenger airports, international airports, then airports
with an IATA code, then regional and municipal airports, then the rest) and a station gets priority p when it
lies at least SPACING[p] km from every station already given priority p or
less. Stations that no level takes get 7 (airports) or 8.

Usage: /usr/bin/python3 tools/make_sao_cty.py [output-file]
"""

import gzip
import json
import math
import os
import re
import subprocess
import sys
import unicodedata

import numpy

GRIB = "/usr/share/doc/python-grib-doc/examples/gfs.grb"
STATIONS = "/usr/share/weather-util/stations.gz"
AIRPORTS = "/usr/share/weather-util/airports.gz"
COUNTRIES = "/usr/share/iso-codes/json/iso_3166-1.json"
OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "sao.cty")

EARTH_KM = 6371.22
# Least distance (km) between stations of priority p or less, p = 1 to 6.
SPACING = {1: 600.0, 2: 350.0, 3: 200.0, 4: 110.0, 5: 60.0, 6: 30.0}

# Country names of the list that iso-codes writes otherwise.
COUNTRY_ALIASES = {
    "united states": "US", "united states of america": "US", "russia": "RU",
    "iran": "IR", "south korea": "KR", "korea south": "KR", "north korea": "KP",
    "korea north": "KP", "vietnam": "VN", "viet nam": "VN", "syria": "SY",
    "taiwan": "TW", "bolivia": "BO", "venezuela": "VE", "tanzania": "TZ",
    "laos": "LA", "moldova": "MD", "czech republic": "CZ", "macedonia": "MK",
    "brunei": "BN", "cape verde": "CV", "ivory coast": "CI", "cote d'ivoire": "CI",
    "congo": "CG", "democratic republic of the congo": "CD", "zaire": "CD",
    "swaziland": "SZ", "burma": "MM", "myanmar": "MM", "libya": "LY",
    "united kingdom": "GB", "great britain": "GB", "holland": "NL",
    "slovak republic": "SK", "yugoslavia": "RS", "serbia and montenegro": "RS",
    "micronesia": "FM", "federated states of micronesia": "FM",
    "saint kitts and nevis": "KN", "saint vincent and the grenadines": "VC",
    "trinidad and tobago": "TT", "antigua and barbuda": "AG",
    "bosnia and herzegovina": "BA", "sao tome and principe": "ST",
    "turks and caicos islands": "TC", "falkland islands": "FK",
    "virgin islands": "VI", "british virgin islands": "VG", "palestine": "PS",
    "east timor": "TL", "the bahamas": "BS", "bahamas": "BS", "gambia": "GM",
    "the gambia": "GM", "netherlands antilles": "CW", "reunion": "RE",
    "hong kong": "HK", "macau": "MO", "kyrgyzstan": "KG", "turkey": "TR",
}

# Canadian province abbreviations as the list writes them.
PROVINCES = {
    "ON": "ON", "ONT": "ON", "ONTARIO": "ON", "QC": "QC", "QUE": "QC", "QUEBEC": "QC",
    "PQ": "QC", "BC": "BC", "AB": "AB", "ALTA": "AB", "ALBERTA": "AB", "SK": "SK",
    "SASK": "SK", "MB": "MB", "MAN": "MB", "NS": "NS", "NB": "NB", "NL": "NL",
    "NF": "NL", "NFLD": "NL", "LAB": "NL", "PE": "PE", "PEI": "PE", "YT": "YT",
    "YK": "YT", "YUKON": "YT", "NT": "NT", "NWT": "NT", "NU": "NU", "NUNAVUT": "NU",
}

# Large passenger airports, roughly busiest first within each area: they go
# before every other station, so that a continental map names them.
HUBS = """
katl klax kord kdfw kden kjfk ksfo ksea klas kmco kewr kclt kphx kiah kmia
kbos kmsp kdtw kphl kslc ksan kiad kbwi ktpa kpdx kstl kbna kaus kmci krdu
ksmf kcle kpit kind kcmh kcvg kmsy kmem kokc kabq kelp ksat ktus koma kboi
kgeg kbil kfar kbis krap kgtf kmso krno kbuf kalb kbdl kpwm kbgr ksyr korf
kric kchs ksav kjax kbhm kjan klit ktul kict kdsm kmke kgrr kdlh ksdf klex
kbro kcrp kmaf klbb kama kshv kfat kmfr kotm kpsc klnk kfsd kabr kjac kcod
cyyz cyvr cyul cyyc cyeg cyow cywg cyhz cyqb cyxe cyqr cyyt cyxy cyzf cyfb
panc pafa pajn phnl phog
mmmx mmun mmgl mmmy mpto muha tjsj mkjp tncm
egll egkk egcc ehlm ehak ehgg lfpg lfpo eddf eddm eddb lemd lebl lirf limc lszh
loww ekch engm essa efhk eidw ebbr lppt lgav ltfm uuee ulli epwa lkpr lhbp lrop
bikf
rjtt rjaa rjbb rksi zbaa zspd zggg vhhh rctp wsss vtbs wmkk wiii rpll vidp
vabb vobl omdb othh oerk oejn llbg heca faor fact dnmm hkjk haab gmmn daag
yssy ymml ybbn ypph nzaa nzch sbgr sbgl scel saez skbo spjc seqm
""".split()

# Shorter forms of common words, so that names fit their 20 characters.
WORDS = {
    "international": "Intl", "int'l": "Intl", "intl": "Intl", "airport": "Arpt",
    "regional": "Rgnl", "municipal": "Muni", "county": "Co", "field": "Fld",
    "memorial": "Mem", "national": "Natl", "executive": "Exec", "air": "Air",
    "force": "Force", "base": "Base", "station": "Stn", "airfield": "Afld",
    "aerodrome": "Aerodrome", "saint": "St", "mount": "Mt", "fort": "Ft",
}


def read_sections(path):
    """The sections of an ini-like file: name -> {key: value}."""
    sections = {}
    current = None
    with gzip.open(path, "rt", encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("#") or not line.strip():
                continue
            if line.startswith("["):
                current = sections.setdefault(line.strip("[]"), {})
            elif current is not None and " = " in line:
                key, value = line.split(" = ", 1)
                current[key.strip()] = value.strip()
    return sections


def country_codes():
    with open(COUNTRIES, encoding="utf-8") as f:
        entries = json.load(f)["3166-1"]
    codes = {}
    for e in entries:
        for key in ("name", "common_name", "official_name"):
            if key in e:
                codes[e[key].lower()] = e["alpha_2"]
    codes.update(COUNTRY_ALIASES)
    return codes


def ascii_text(text):
    return unicodedata.normalize("NFKD", text).encode("ascii", "ignore").decode()


def one_word(text):
    """A place name as one word of at most 20 characters."""
    words = []
    for w in re.split(r"[\s/\-]+", ascii_text(text)):
        w = re.sub(r"[^A-Za-z0-9']", "", w)
        if not w:
            continue
        w = WORDS.get(w.lower(), w).replace("'", "")
        if w:
            words.append(w[0].upper() + w[1:])
    name = "_".join(words)
    return name[:20].rstrip("_")


def describe(desc, codes):
    """(name, state, country) of a description, or None."""
    if desc.lower().startswith("unknown station"):
        return None
    parts = [p.strip() for p in desc.split(",")]
    if len(parts) >= 2 and parts[-1] in ("South", "North") and parts[-2] == "Korea":
        parts = parts[:-2] + ["Korea " + parts[-1]]
    last = parts[-1]
    if re.fullmatch(r"[A-Z]{2}", last):
        country = last
    else:
        country = codes.get(ascii_text(last).lower()) or codes.get(last.lower())
    if not country:
        return None
    state = "--"
    if len(parts) >= 3:
        sub = re.sub(r"[.\s]", "", ascii_text(parts[-2])).upper()
        if country == "CA":
            state = PROVINCES.get(sub, "--")
        elif re.fullmatch(r"[A-Z0-9]{1,2}", sub):
            state = sub
    elif country == "CA" and len(parts) == 2:
        state = "--"
    name = one_word(parts[0])
    if len(name) < 2:
        return None
    return name, state, country


def importance(icao, desc, has_iata):
    if icao in HUBS:
        return 10 + len(HUBS) - HUBS.index(icao)
    text = desc.lower()
    if "international" in text or "intl" in text or "int'l" in text:
        return 3 if has_iata else 2
    if has_iata:
        return 2
    if "regional" in text or "municipal" in text or "airport" in text:
        return 1
    return 0


def orography():
    """The model orography (m) as a (73, 144) array of latitudes 90 to -90
    and longitudes 0 to 357.5."""
    out = subprocess.run(["grib_get_data", "-w", "shortName=orog,typeOfLevel=surface", GRIB],
                         check=True, capture_output=True, text=True).stdout
    vals = [float(r.split()[2]) for r in out.split("\n")[1:] if r.strip()]
    if len(vals) != 73 * 144:
        sys.exit("make_sao_cty: %s: %d orography values, not one 2.5-degree field" % (GRIB, len(vals)))
    return numpy.array(vals).reshape(73, 144)


def elevation(orog, lat, lon):
    """Bilinear interpolation of the orography to one position."""
    x = (lon % 360.0) / 2.5
    y = (90.0 - lat) / 2.5
    i0 = int(math.floor(x)) % 144
    j0 = min(int(math.floor(y)), 71)
    fx = x - math.floor(x)
    fy = y - j0
    i1 = (i0 + 1) % 144
    return ((1 - fx) * (1 - fy) * orog[j0, i0] + fx * (1 - fy) * orog[j0, i1] +
            (1 - fx) * fy * orog[j0 + 1, i0] + fx * fy * orog[j0 + 1, i1])


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else OUTPUT
    codes = country_codes()
    stations = read_sections(STATIONS)
    iata = {s.get("station", "") for s in read_sections(AIRPORTS).values()}

    rows = []
    skipped = 0
    for icao, sec in stations.items():
        loc = sec.get("location", "None")
        desc = sec.get("description", "")
        m = re.fullmatch(r"\(([-0-9.e]+), ([-0-9.e]+)\)", loc)
        if not m or not re.fullmatch(r"[a-z]{4}", icao):
            skipped += 1
            continue
        described = describe(desc, codes)
        if not described:
            skipped += 1
            continue
        name, state, country = described
        lat = math.degrees(float(m.group(1)))
        lon = math.degrees(float(m.group(2)))
        ident = icao.upper()
        if country == "US" and ident.startswith("K"):
            ident = ident[1:]
        score = importance(icao, desc, icao in iata)
        rows.append({"name": name, "state": state, "country": country, "id": ident,
                     "lat": lat, "lon": lon, "score": score})

    # One station per identifier: the first of the list's order wins.
    seen = set()
    unique = []
    for r in rows:
        if r["id"] not in seen:
            seen.add(r["id"])
            unique.append(r)
    rows = unique

    rows.sort(key=lambda r: (-r["score"], r["id"]))
    lat = numpy.radians([r["lat"] for r in rows])
    lon = numpy.radians([r["lon"] for r in rows])
    prior = numpy.full(len(rows), 0)
    taken = numpy.zeros(len(rows), dtype=bool)
    for p in sorted(SPACING):
        chosen = list(numpy.nonzero(taken)[0])
        for i in range(len(rows)):
            if taken[i]:
                continue
            if chosen:
                c = numpy.array(chosen)
                h = (numpy.sin((lat[c] - lat[i]) / 2) ** 2 +
                     numpy.cos(lat[c]) * math.cos(lat[i]) * numpy.sin((lon[c] - lon[i]) / 2) ** 2)
                if (2 * EARTH_KM * numpy.arcsin(numpy.sqrt(numpy.minimum(h, 1.0)))).min() < SPACING[p]:
                    continue
            taken[i] = True
            prior[i] = p
            chosen.append(i)
    for i, r in enumerate(rows):
        r["prior"] = int(prior[i]) if taken[i] else (7 if r["score"] >= 1 else 8)

    orog = orography()
    for r in rows:
        r["elev"] = int(round(elevation(orog, r["lat"], r["lon"])))

    rows.sort(key=lambda r: (r["prior"], r["id"]))
    with open(output, "w", encoding="ascii") as f:
        for r in rows:
            f.write("%-20s %-2s %-2s %-9s %-4d %7.2f %8.2f %5d %5d %d\n" %
                    (r["name"], r["state"], r["country"], r["id"], r["prior"],
                     r["lat"], r["lon"], r["elev"], 99999, 0))
    counts = {}
    for r in rows:
        counts[r["prior"]] = counts.get(r["prior"], 0) + 1
    print("%s: %d stations (%d skipped); by priority %s" %
          (output, len(rows), skipped, dict(sorted(counts.items()))))


if __name__ == "__main__":
    main()
