"""Reference values for the formula library, from published definitions.

Prints one line per case: the function's name, its arguments and the
reference result. The tests run the library on the same arguments.

Sources of the definitions:
  - saturation vapour pressure over water: Goff and Gratch (1946) in the
    form of the Smithsonian Meteorological Tables (steam point 373.16 K,
    1013.246 hPa);
  - mixing ratio 0.622 e / (p - e), Poisson's equation with R/cp = 0.286;
  - the pseudo-adiabat theta_e = theta exp(L w_s / (cp T)) with
    L/cp = 2651.8986 K kg/kg, solved for T by Brent's method;
  - the lifting condensation level as the pressure where the dry adiabat
    through the air meets its saturation mixing ratio, solved likewise;
  - the U.S. Standard Atmosphere 1976 (troposphere and the isothermal
    layer from 11 to 20 km);
  - the 2001 wind-chill temperature of the U.S. National Weather Service
    (degrees F, mph), rounded to whole degrees as in its chart;
  - the 16-term heat-index regression (degrees F, percent).
"""
import math

import numpy as np
from scipy.optimize import brentq

KAPPA = 0.286


def goff_gratch(t):
    ts = 373.16
    log_e = (-7.90298 * (ts / t - 1) + 5.02808 * np.log10(ts / t)
             - 1.3816e-7 * (10 ** (11.344 * (1 - t / ts)) - 1)
             + 8.1328e-3 * (10 ** (-3.49149 * (ts / t - 1)) - 1)
             + np.log10(1013.246))
    return 10 ** log_e


def mixing_ratio(e, p):
    return 622.0 * e / (p - e)


def theta(t, p):
    return t * (1000.0 / p) ** KAPPA


def theta_e_sat(t, p):
    return theta(t, p) * math.exp(2.6518986 * mixing_ratio(goff_gratch(t), p) / t)


def out(name, *values):
    print(name, " ".join("%.9g" % v for v in values))


# Saturation vapour pressure and its inverse.
for t in np.arange(180.0, 330.0, 7.5):
    out("vapor_pr", t, goff_gratch(t))
out("vapor_pr", 273.16, goff_gratch(273.16))  # 6.1078 at the triple point
for e in [0.05, 0.3, 1.0, 2.5, 6.1078, 12.0, 30.0, 60.0, 100.0]:
    out("temp_vapor_pr", e, brentq(lambda t: goff_gratch(t) - e, 150.0, 400.0, xtol=1e-10))

# Mixing ratio and specific humidity, from a temperature and from a vapour
# pressure (an argument of 100 or less).
for t, p in [(273.15, 1000), (300, 1000), (250, 500), (290, 850), (310, 1013.25)]:
    e = goff_gratch(t)
    out("mix_ratio", t, p, mixing_ratio(e, p))
    out("spec_hum", t, p, 622.0 * e / p)
for e, p in [(6.11, 1000), (20, 850), (0.5, 300), (99.0, 1000)]:
    out("mix_ratio", e, p, mixing_ratio(e, p))
for w, p in [(0.1, 500), (1.0, 850), (5.0, 1000), (15.0, 1000), (25.0, 950)]:
    e = w * p / (622.0 + w)
    out("temp_on_mixrat", w, p, brentq(lambda t: goff_gratch(t) - e, 150.0, 400.0, xtol=1e-10))

# Relative humidity and dew point.
for t, td in [(300, 290), (273.15, 263.15), (250, 249), (310, 280)]:
    out("rel_hum", t, td, 100 * goff_gratch(td) / goff_gratch(t))
for t, rh in [(300, 50), (273.15, 80), (290, 10), (260, 95)]:
    target = goff_gratch(t) * rh / 100
    out("dew_temp", t, rh, brentq(lambda x: goff_gratch(x) - target, 150.0, 400.0, xtol=1e-10))

# Saturated adiabats: the temperature on the adiabat through (t0, p0) at p.
for t0, p0 in [(300, 1000), (290, 1000), (280, 850), (273.15, 1000), (260, 700)]:
    te = theta_e_sat(t0, p0)
    out("thetae_on_satad", t0, p0, te)
    for p in [1000, 850, 700, 500, 300, 200]:
        top = brentq(lambda x: goff_gratch(x) - 0.5 * p, 150.0, 400.0)
        t = brentq(lambda x: theta_e_sat(x, p) - te, 150.0, top, xtol=1e-10)
        out("temp_on_satad", te, p, t)

# Lifting condensation level.
for ts, tds, ps in [(300, 290, 1000), (303.15, 293.15, 1013), (290, 280, 950),
                    (280, 279, 1000), (310, 270, 900), (273.15, 263.15, 850)]:
    w = mixing_ratio(goff_gratch(tds), ps)
    th = theta(ts, ps)

    def gap(p):
        t = th * (p / 1000.0) ** KAPPA
        return mixing_ratio(goff_gratch(t), p) - w

    out("lcl_pres", ts, tds, ps, brentq(gap, 300.0, ps, xtol=1e-8))

# Pressure altitude in the U.S. Standard Atmosphere 1976.
G0, RSTAR, M = 9.80665, 8.31432, 0.0289644
T0, LAPSE, P0 = 288.15, 0.0065, 1013.25
P11 = P0 * (1 - LAPSE * 11000 / T0) ** (G0 * M / (RSTAR * LAPSE))
T11 = T0 - LAPSE * 11000
for p in [1050, 1013.25, 1000, 900, 850, 700, 500, 400, 300, 250, 226.32, 200, 150, 100, 70, 55]:
    if p >= P11:
        h = T0 / LAPSE * (1 - (p / P0) ** (RSTAR * LAPSE / (G0 * M)))
    else:
        h = 11000 + RSTAR * T11 / (G0 * M) * math.log(P11 / p)
    out("pres_alt", p, h)

# The 2001 wind-chill chart: temperatures 40 to -45 F, winds 5 to 60 mph.
for tf in range(40, -50, -5):
    for mph in range(5, 65, 5):
        wc = 35.74 + 0.6215 * tf - 35.75 * mph ** 0.16 + 0.4275 * tf * mph ** 0.16
        out("wind_chill_temp2", (tf - 32) * 5 / 9 + 273.15, mph * 0.44704,
            (round(wc) - 32) * 5 / 9 + 273.15)

# Heat index from the 16-term regression, where the first estimate reaches 77 F.
COEFF = [(0, 0, 16.923), (1, 0, 0.185212), (0, 1, 5.37941), (1, 1, -0.100254),
         (2, 0, 0.941695e-2), (0, 2, 0.728898e-2), (2, 1, 0.345372e-3),
         (1, 2, -0.814971e-3), (2, 2, 0.102102e-4), (3, 0, -0.38646e-4),
         (0, 3, 0.291583e-4), (3, 1, 0.142721e-5), (1, 3, 0.197483e-6),
         (3, 2, -0.218429e-7), (2, 3, 0.843296e-9), (3, 3, -0.481975e-10)]
for tf in range(80, 116, 5):
    for rh in range(40, 101, 10):
        tk = (tf - 32) * 5 / 9 + 273.15
        target = goff_gratch(tk) * rh / 100
        td = brentq(lambda x: goff_gratch(x) - target, 150.0, 400.0, xtol=1e-10)
        hi = sum(c * tf ** a * rh ** b for a, b, c in COEFF)
        out("heat_index", tk, td, (hi - 32) * 5 / 9 + 273.15)
