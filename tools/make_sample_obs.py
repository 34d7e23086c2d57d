#!/usr/bin/python3
"""Writes the sample surface observations data/sample/*_sao.wmo.

Source: the GFS field set that Debian's python-grib-doc package ships as
/usr/share/doc/python-grib-doc/examples/gfs.grb (a 72-hour forecast from
00 UTC 8 October 2011, valid 00 UTC 11 October 2011, on a 2.5-degree
global grid), read with grib_get_data of Debian's libeccodes-tools. The
fields are interpolated (bilinear) to the stations of data/sao.cty inside
North America (latitude 20 to 60 N, longitude 130 to 60 W) and written as
one "KEZSFC" tagged file per hour, named by the "sfc_cvt" template of
data/name_conv (%y%m%d%h_sao.wmo):

  11101100_sao.wmo   the fields' valid time, 00 UTC 11 Oct 2011
  11101023_sao.wmo   ... one file an hour back to
  11101019_sao.wmo   19 UTC 10 Oct 2011

What each report holds, from which fields:
- temperature and dew point: 2 m temperature and relative humidity
  (dew point by the Magnus formula), in tenths of a degree F;
- wind: 10 m wind, direction rounded to tens of degrees, speed in knots,
  calm below 3 knots; a gust from the surface gust field when it is at
  least 18 knots and 10 knots above the speed;
- sea-level pressure: the mean sea-level pressure field (prmsl);
- altimeter setting: the surface pressure reduced from the station's
  elevation z by the standard atmosphere, p_alt = p_sfc / ((288.15 -
  0.0065 z) / 288.15)^5.2558, the reduction the suite's formula library
  undoes; z is the elevation of data/sao.cty, which tools/make_sao_cty.py
  takes from the same file's model orography, so the station pressure that
  the program computes back is the model's surface pressure;
- clouds: one layer for each of the low, middle and high cloud fractions
  of at least 6 percent, the base the standard-atmosphere height of the
  layer's cloud-bottom pressure above that of the surface pressure (in
  hundreds of feet, defaults of 3000, 10000 and 25000 ft where the model
  gives no bottom). As observers report it, each layer's cover is the
  summation cover of the sky at and below it, so it never decreases
  upward: the fractions combine by random overlap, 1 - (1 - f1)(1 - f2)...,
  and the sum gives few (up to 25 percent), scattered (50), broken (87) or
  overcast. A clear sky is one clear layer; fog with a quarter mile or
  less makes an obscured sky (vertical visibility 100 ft);
- visibility: the least of a humidity visibility, 10 * ((100 - RH) / 15)^1.5
  miles above 85 percent, and a precipitation visibility, 10 exp(-0.5 R)
  miles for rain and 10 exp(-2 R) for snow and ice (R the rate in mm/h),
  rounded to reportable values (eighths below 1 mile, quarters to 3,
  whole miles to 10);
- present weather: precipitation from a rate of 0.1 mm/h, the station's
  rate being the grid's six-hour mean rate times a random local factor
  (lognormal, mean 1, sigma 0.8 of its logarithm); snow where the
  categorical snow field is set or the 2 m temperature is below 0 C under
  a cold 850 hPa layer; below 0 C under a warm 850 hPa layer (above 0.5 C)
  freezing rain down to -3 C and ice pellets below (the file's categorical
  ice-pellet field does not decode to 0 and 1, so the temperatures decide);
  rain otherwise.
  Showers where the convective part of the rate is more than half, a
  thunderstorm where it is and CAPE exceeds 300 J/kg; intensity light below
  2.5 mm/h (1 mm/h for snow and ice), heavy from 7.6 mm/h (2.5 mm/h).
  Without precipitation: fog below 5/8 mile, mist below 7 miles from
  humidity. The weather is written in three forms: METAR groups ("!-RA")
  at United States stations, WMO present-weather numbers ("61") at
  Canadian stations and the short letter code ("R-") everywhere else;
- one-hour precipitation (inches) where it rains; the time of observation.

The earlier hours are derived from the same fields by a plausible hourly
change: every field is moved back along the 700 hPa wind (the field at
station x, k hours before the valid time, is the valid field at x + k v700,
as a pattern carried by the steering wind), the 2 m temperature gets the
diurnal change between the local solar times (a cosine, warmest at 15 h
solar time, with a daily range of 4 C plus a quarter of the dew-point
depression, less under cloud, at most 12 C), the dew point stays at most
the temperature, the station pressure follows the sea-level pressure's
change, and every report gets small observation errors (temperature and
dew point 0.3 C, pressure 0.2 hPa, direction 8 degrees, speed 1 knot,
humidity 2 percent; a fixed random seed, so the files are reproduced
exactly).

Reports are ordered by station priority (then by their order in sao.cty),
so that a thinned map keeps the more important stations.

Usage: /usr/bin/python3 tools/make_sample_obs.py [output-directory]
"""

import datetime
import math
import os
import shutil
import subprocess
import sys

GRIB = "/usr/share/doc/python-grib-doc/examples/gfs.grb"
HERE = os.path.dirname(os.path.abspath(__file__))
CTY = os.path.normpath(os.path.join(HERE, "..", "data", "sao.cty"))
OUTPUT = os.path.normpath(os.path.join(HERE, "..", "data", "sample"))

LAT_MIN, LAT_MAX, LON_MIN, LON_MAX = 20.0, 60.0, -130.0, -60.0
HOURS = 6  # the valid time and the five hours before it
SEED = 20111011
MONTHS = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"]
KNOT = 0.514444  # m/s
MISS = -9999.0


def check_packages():
    """Says what is missing and how to install it."""
    missing = []
    try:
        import numpy  # noqa: F401
    except ImportError:
        missing.append("python3-numpy")
    if shutil.which("grib_get_data") is None or shutil.which("grib_get") is None:
        missing.append("libeccodes-tools")
    if not os.path.exists(GRIB):
        missing.append("python-grib-doc")
    if missing:
        sys.exit("make_sample_obs: missing %s; install with: sudo apt-get install %s"
                 % (", ".join(missing), " ".join(missing)))


def field(where):
    """One GRIB message chosen by its keys, as a (73, 144) array of
    latitudes 90 to -90 and longitudes 0 to 357.5; NaN where missing."""
    import numpy
    out = subprocess.run(["grib_get_data", "-m", "nan", "-w", where, GRIB],
                         check=True, capture_output=True, text=True).stdout
    rows = out.split("\n")[1:]
    vals = [float(r.split()[2]) for r in rows if r.strip()]
    if len(vals) != 73 * 144:
        sys.exit("make_sample_obs: %s: %d values, not one 2.5-degree field" % (where, len(vals)))
    return numpy.array(vals).reshape(73, 144)


def valid_time():
    """The fields' valid time, from the 2 m temperature's message."""
    out = subprocess.run(["grib_get", "-p", "validityDate,validityTime", "-w",
                          "shortName=2t,typeOfLevel=heightAboveGround", GRIB],
                         check=True, capture_output=True, text=True).stdout.split()
    return datetime.datetime.strptime("%s%04d" % (out[0], int(out[1])), "%Y%m%d%H%M")


def read_fields():
    sel = {
        "t2": "shortName=2t,typeOfLevel=heightAboveGround",
        "rh2": "shortName=2r,typeOfLevel=heightAboveGround",
        "u10": "shortName=10u,typeOfLevel=heightAboveGround",
        "v10": "shortName=10v,typeOfLevel=heightAboveGround",
        "gust": "shortName=gust,typeOfLevel=surface",
        "mslp": "shortName=prmsl,typeOfLevel=meanSea",
        "psfc": "shortName=sp,typeOfLevel=surface",
        "lcc": "shortName=tcc,typeOfLevel=lowCloudLayer",
        "mcc": "shortName=tcc,typeOfLevel=middleCloudLayer",
        "hcc": "shortName=tcc,typeOfLevel=highCloudLayer",
        "lcb": "shortName=pres,typeOfLevel=lowCloudBottom",
        "mcb": "shortName=pres,typeOfLevel=middleCloudBottom",
        "hcb": "shortName=pres,typeOfLevel=highCloudBottom",
        "prate": "shortName=prate,typeOfLevel=surface",
        "cprat": "shortName=cprat,typeOfLevel=surface",
        "csnow": "shortName=csnow,typeOfLevel=surface",
        "cfrzr": "shortName=cfrzr,typeOfLevel=surface",
        "cape": "shortName=cape,typeOfLevel=surface",
        "t850": "shortName=t,typeOfLevel=isobaricInhPa,level=850",
        "u700": "shortName=u,typeOfLevel=isobaricInhPa,level=700",
        "v700": "shortName=v,typeOfLevel=isobaricInhPa,level=700",
    }
    return {k: field(w) for k, w in sel.items()}


def bilinear(f, lat, lon):
    """Field values at the points; a missing corner gives the nearest
    present corner, four missing corners NaN."""
    import numpy
    x = numpy.mod(lon, 360.0) / 2.5
    y = (90.0 - lat) / 2.5
    i0 = numpy.floor(x).astype(int)
    j0 = numpy.clip(numpy.floor(y).astype(int), 0, 71)
    fx = x - i0
    fy = y - j0
    i0 %= 144
    i1 = (i0 + 1) % 144
    j1 = j0 + 1
    corners = [(f[j0, i0], (1 - fx) * (1 - fy)), (f[j0, i1], fx * (1 - fy)),
               (f[j1, i0], (1 - fx) * fy), (f[j1, i1], fx * fy)]
    num = numpy.zeros_like(lat)
    den = numpy.zeros_like(lat)
    for v, w in corners:
        ok = numpy.isfinite(v)
        num += numpy.where(ok, v, 0.0) * w * ok
        den += w * ok
    return numpy.where(den > 0, num / numpy.where(den > 0, den, 1.0), numpy.nan)


def read_stations():
    """(identifier, country, latitude, longitude, elevation) of the domain's
    stations, ordered by priority, then by their order in the list."""
    rows = []
    with open(CTY, encoding="ascii") as f:
        for n, line in enumerate(f):
            w = line.split()
            if len(w) < 10:
                continue
            lat, lon = float(w[5]), float(w[6])
            if LAT_MIN <= lat <= LAT_MAX and LON_MIN <= lon <= LON_MAX:
                rows.append((int(w[4]), n, w[3], w[2], lat, lon, float(w[7])))
    rows.sort()
    if any(r[6] == 9999 for r in rows):
        sys.exit("make_sample_obs: %s has stations without elevation; run tools/make_sao_cty.py" % CTY)
    return [(r[2], r[3], r[4], r[5], r[6]) for r in rows]


def dew_point(t_c, rh):
    """Magnus formula over water, degrees C."""
    rh = max(1.0, min(100.0, rh))
    g = math.log(rh / 100.0) + 17.62 * t_c / (243.12 + t_c)
    return 243.12 * g / (17.62 - g)


def rel_hum(t_c, td_c):
    es = math.exp(17.62 * t_c / (243.12 + t_c))
    e = math.exp(17.62 * td_c / (243.12 + td_c))
    return 100.0 * e / es


def std_height(p_hpa):
    """Standard-atmosphere height (m) of a pressure."""
    return 44330.8 * (1.0 - (p_hpa / 1013.25) ** 0.190263)


def round_vis(v):
    if v < 1.0:
        return max(1, round(v * 8.0)) / 8.0
    if v < 3.0:
        return round(v * 4.0) / 4.0
    return float(min(10, round(v)))


def cover_of(frac):
    if frac < 6:
        return None
    if frac <= 25:
        return "F"
    if frac <= 50:
        return "S"
    if frac <= 87:
        return "B"
    return "O"


# Present weather in its three forms: (METAR group, WMO ww, short code).
WEATHER = {
    ("RA", "-"): ("-RA", 61, "R-"), ("RA", ""): ("RA", 63, "R"), ("RA", "+"): ("+RA", 65, "R+"),
    ("SN", "-"): ("-SN", 71, "S-"), ("SN", ""): ("SN", 73, "S"), ("SN", "+"): ("+SN", 75, "S+"),
    ("FZRA", "-"): ("-FZRA", 66, "ZR-"), ("FZRA", ""): ("FZRA", 67, "ZR"), ("FZRA", "+"): ("+FZRA", 67, "ZR+"),
    ("PL", "-"): ("-PL", 79, "IP-"), ("PL", ""): ("PL", 79, "IP"), ("PL", "+"): ("+PL", 79, "IP+"),
    ("SHRA", "-"): ("-SHRA", 80, "RW-"), ("SHRA", ""): ("SHRA", 81, "RW"), ("SHRA", "+"): ("+SHRA", 82, "RW+"),
    ("SHSN", "-"): ("-SHSN", 85, "SW-"), ("SHSN", ""): ("SHSN", 86, "SW"), ("SHSN", "+"): ("+SHSN", 86, "SW+"),
    ("TSRA", "-"): ("-TSRA", 95, "TRW-"), ("TSRA", ""): ("TSRA", 95, "TRW"), ("TSRA", "+"): ("+TSRA", 97, "TRW+"),
    ("BR", ""): ("BR", 10, "H"), ("FG", ""): ("FG", 45, "F"),
}


def weather_text(kind, country):
    metar, ww, code = WEATHER[kind]
    if country == "US":
        return "!" + metar
    if country == "CA":
        return "%02d" % ww
    return code


def observe(st, v, hour, rng):
    """One report line's values from the fields at one station."""
    ident, country, lat, lon, z = st
    t = v["t2"] - 273.15 + rng.normal(0, 0.3)
    rh = min(100.0, max(5.0, v["rh2"] + rng.normal(0, 2.0)))
    td = min(t, dew_point(t, rh) + rng.normal(0, 0.3))
    rh = rel_hum(t, td)

    u, w = v["u10"], v["v10"]
    spd = math.hypot(u, w) / KNOT + rng.normal(0, 1.0)
    dirn = (math.degrees(math.atan2(-u, -w)) + rng.normal(0, 8.0)) % 360.0
    if spd < 2.5:
        spd, dirn = 0, 0
    else:
        spd = int(round(spd))
        dirn = int(round(dirn / 10.0)) * 10
        dirn = 360 if dirn == 0 else dirn
    gust = v["gust"] / KNOT
    gust = int(round(gust)) if spd >= 10 and gust >= spd + 10 else None

    perr = rng.normal(0, 0.2)
    pmb = v["mslp"] / 100.0 + perr
    psfc = v["psfc"] / 100.0 + perr
    alt = psfc / ((288.15 - 0.0065 * z) / 288.15) ** 5.2558 / 33.8639

    # a station sees a local rate about the grid box's six-hour mean
    local = math.exp(0.8 * rng.normal() - 0.32)
    rate = max(0.0, v["prate"] * 3600.0) * local
    conv = max(0.0, v["cprat"] * 3600.0) * local
    cape = v["cape"]
    kind = None
    frozen = False
    if rate >= 0.1:
        warm_aloft = v["t850"] - 273.15 > 0.5
        if v["cfrzr"] >= 0.5 or (t <= 0 and warm_aloft and t > -3):
            base = "FZRA"
            frozen = True
        elif t <= 0 and warm_aloft:
            base = "PL"
            frozen = True
        elif v["csnow"] >= 0.5 or t <= 0:
            base = "SN"
            frozen = True
        else:
            base = "RA"
        showery = conv > 0.5 * rate
        if showery and base == "RA" and cape > 300:
            base = "TSRA"
        elif showery and base in ("RA", "SN"):
            base = "SH" + base
        light, heavy = (1.0, 2.5) if frozen else (2.5, 7.6)
        sign = "-" if rate < light else "+" if rate >= heavy else ""
        kind = (base, sign)

    vis = 10.0
    if rh > 85:
        vis = 10.0 * ((100.0 - rh) / 15.0) ** 1.5
    if rate >= 0.1:
        vis = min(vis, 10.0 * math.exp((-2.0 if frozen else -0.5) * rate))
    vis = round_vis(max(vis, 0.06))
    if kind is None and vis < 0.625:
        kind = ("FG", "")
    elif kind is None and vis < 7:
        kind = ("BR", "")

    layers = []
    p_sfc = v["psfc"] / 100.0
    for cc, cb, default in (("lcc", "lcb", 3000), ("mcc", "mcb", 10000), ("hcc", "hcb", 25000)):
        if cover_of(v[cc]) is None:
            continue
        base_ft = default
        if math.isfinite(v[cb]) and 0 < v[cb] < v["psfc"]:
            base_ft = (std_height(v[cb] / 100.0) - std_height(p_sfc)) / 0.3048
        base_ft = max(100, int(round(base_ft / 100.0)) * 100)
        layers.append([base_ft, v[cc]])
    layers.sort()
    clear = 1.0
    for k in range(len(layers)):
        if k > 0:  # bases rise with the layers
            layers[k][0] = max(layers[k][0], layers[k - 1][0] + 100)
        # summation cover: the sky hidden at and below this layer
        clear *= 1.0 - min(100.0, layers[k][1]) / 100.0
        layers[k][1] = cover_of(100.0 * (1.0 - clear))
    if kind == ("FG", "") and vis <= 0.25:
        layers = [[100, "X"]]
    if not layers:
        layers = [[None, "C"]]

    return {
        "id": ident, "t": 32 + 1.8 * t, "td": 32 + 1.8 * td, "dir": dirn, "spd": spd, "gust": gust,
        "alt": alt, "pmb": pmb, "vis": vis, "layers": layers,
        "wx": weather_text(kind, country) if kind else None,
        "rain1": rate / 25.4 if rate >= 0.254 else None, "time": hour * 100,
    }


def code_alt(alt):
    return int(100.0 * alt + 0.01) % 1000


def code_pmb(r):
    """The three-digit code, or the whole tenths where the reader's century
    rule would not give the value back."""
    tenths = int(10.0 * r["pmb"] + 0.1)
    c = tenths % 1000
    if c > 500:
        p = 900 + c / 10.0
        if r["alt"] > 30.7:
            p += 100
    else:
        p = 1000 + c / 10.0
        if r["alt"] < 28.4:
            p -= 100
    return c if 950 <= r["pmb"] <= 1050 and round(10 * p) == tenths else tenths


def line_of(r):
    """One report in the tagged layout, field for field as the suite's
    writer puts it."""
    s = r["id"] + " "
    s += "%3.0f " % (10 * round(r["t"], 1))
    s += "%3.0f " % (10 * round(r["td"], 1))
    s += "%04d " % ((r["dir"] // 10) * 100 + r["spd"])
    s += "%3d " % code_alt(r["alt"])
    s += "%3d " % code_pmb(r)
    s += ("%.2f " if r["vis"] < 5 else "%.1f ") % r["vis"]
    s += ",".join(("-99" if h is None else "%1.0f" % (h / 100.0)) + c for h, c in r["layers"]) + " "
    s += r["wx"] if r["wx"] else "-"
    s += " @%4.4d" % r["time"]
    if r["rain1"] is not None:
        s += " p%2.0f" % (100 * r["rain1"])
    if r["gust"] is not None:
        s += " G%3.0f" % r["gust"]
    return s + " $\n"


def main():
    check_packages()
    import numpy
    out_dir = sys.argv[1] if len(sys.argv) > 1 else OUTPUT
    os.makedirs(out_dir, exist_ok=True)
    f = read_fields()
    stations = read_stations()
    lat = numpy.array([s[2] for s in stations])
    lon = numpy.array([s[3] for s in stations])
    rng = numpy.random.RandomState(SEED)

    valid = valid_time()
    now = {k: bilinear(a, lat, lon) for k, a in f.items()}
    u7, v7 = now["u700"], now["v700"]
    cloud = (numpy.nan_to_num(now["lcc"]) + numpy.nan_to_num(now["mcc"])) / 200.0
    for k in range(HOURS):
        # The field seen k hours back is the one now k hours downstream.
        dy = v7 * 3600.0 * k / 111200.0
        dx = u7 * 3600.0 * k / (111200.0 * numpy.cos(numpy.radians(lat)))
        vals = {n: bilinear(a, lat + dy, lon + dx) for n, a in f.items()}
        when = valid - datetime.timedelta(hours=k)
        hour = when.hour
        solar_then = (hour + lon / 15.0) % 24.0
        solar_now = (valid.hour + lon / 15.0) % 24.0
        depression = vals["t2"] - 273.15 - numpy.array(
            [dew_point(t - 273.15, r) for t, r in zip(vals["t2"], vals["rh2"])])
        rng_c = numpy.minimum(12.0, (4.0 + 0.25 * depression) * (1.0 - 0.6 * cloud))
        shape = lambda h: 0.5 * numpy.cos(2.0 * numpy.pi * (h - 15.0) / 24.0)  # noqa: E731
        t_new = vals["t2"] + rng_c * (shape(solar_then) - shape(solar_now))
        # the moisture stays: the relative humidity follows the new temperature
        e = vals["rh2"] * numpy.exp(17.62 * (vals["t2"] - 273.15) / (vals["t2"] - 30.03))
        vals["rh2"] = numpy.minimum(100.0, e / numpy.exp(17.62 * (t_new - 273.15) / (t_new - 30.03)))
        vals["t2"] = t_new
        vals["psfc"] = now["psfc"] * vals["mslp"] / now["mslp"]

        name = os.path.join(out_dir, when.strftime("%y%m%d%H") + "_sao.wmo")
        lines = ["KEZSFC\n", "%dZ %2d %s %02d\n" % (hour, when.day, MONTHS[when.month - 1], when.year % 100)]
        for i, st in enumerate(stations):
            v = {n: float(a[i]) for n, a in vals.items()}
            if not all(math.isfinite(v[n]) for n in ("t2", "rh2", "u10", "v10", "mslp", "psfc")):
                continue
            lines.append(line_of(observe(st, v, hour, rng)))
        with open(name, "w", encoding="ascii") as out:
            out.writelines(lines)
        print("make_sample_obs: %s, %d reports" % (name, len(lines) - 2))


if __name__ == "__main__":
    main()
