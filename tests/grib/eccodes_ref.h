/*
 * The GRIB tests' reference from ecCodes: tests/grib/eccodes_walk.py reads
 * the files with python3-eccodes and hands every field's keys and values
 * through a pipe; walk_agrees reads the same files through the grid files,
 * as any program of the suite reads them, and compares each record with
 * ecCodes' field: parameter, level, date and time, grid and the position of
 * its points, and every value. A field the decoder refuses must be one of
 * a kind the README says is not read.
 */
#ifndef ECCODES_REF_H
#define ECCODES_REF_H

#include "grib_driver.h"
#include "kez_test.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace grib_test {

inline const std::string examples = "/usr/share/doc/python-grib-doc/examples/";
inline const std::string samples = "/usr/share/eccodes/samples/";

inline constexpr double kMiss = -9999.0;

/* One field as ecCodes reads it. */
struct EcField {
  std::map<std::string, std::string> keys;
  std::vector<double> values;

  std::string s(const std::string& k) const {
    auto it = keys.find(k);
    return it == keys.end() ? std::string() : it->second;
  }
  long n(const std::string& k) const {
    const std::string v = s(k);
    char* end = nullptr;
    long x = std::strtol(v.c_str(), &end, 10);
    return (v.empty() || *end) ? -1 : x;
  }
  std::vector<double> list(const std::string& k) const {
    std::vector<double> out;
    std::istringstream in(s(k));
    std::string w;
    while (std::getline(in, w, ',')) out.push_back(std::atof(w.c_str()));
    return out;
  }
};

/* Reads the helper's output straight from the pipe's descriptor: the
 * captures around each record flush every stdio stream, which must not
 * touch this one. */
class EcReader {
 public:
  explicit EcReader(const std::vector<std::string>& files) {
    std::string cmd = "/usr/bin/python3 " + std::string(KEZ_SOURCE_DIR) + "/tests/grib/eccodes_walk.py";
    for (const auto& f : files) cmd += " '" + f + "'";
    pipe_ = popen((cmd + " 2>/dev/null").c_str(), "r");
  }
  ~EcReader() {
    if (pipe_) pclose(pipe_);
  }
  EcReader(const EcReader&) = delete;
  EcReader& operator=(const EcReader&) = delete;

  bool next(EcField* f) {
    f->keys.clear();
    std::string line;
    char c;
    while (get(&c, 1)) {
      if (c == '\n') break;
      line.push_back(c);
    }
    if (line.empty()) return false;
    std::istringstream in(line);
    std::string pair;
    while (std::getline(in, pair, '\t')) {
      size_t eq = pair.find('=');
      if (eq != std::string::npos) f->keys[pair.substr(0, eq)] = pair.substr(eq + 1);
    }
    const long n = f->n("nvalues");
    f->values.resize(static_cast<size_t>(std::max(n, 0L)));
    return n <= 0 || get(reinterpret_cast<char*>(f->values.data()), static_cast<size_t>(n) * sizeof(double));
  }

 private:
  bool get(char* out, size_t n) {
    if (!pipe_) return false;
    const int fd = fileno(pipe_);
    while (n > 0) {
      ssize_t got = ::read(fd, out, n);
      if (got <= 0) return false;
      out += got;
      n -= static_cast<size_t>(got);
    }
    return true;
  }
  FILE* pipe_ = nullptr;
};

/* The records of a file as the grid files give them, one at a time (the
 * values of a large file do not all fit in memory at once). */
class Records {
 public:
  explicit Records(const std::string& path) {
    if (!grib_test::open_grib(path)) return;
    GRD_info info{};
    kez_test::capture([&] { grib_test::file_header(&info); });
    open_ = true;
  }
  ~Records() {
    std::free(rec.grid);
    if (open_) grib_test::close_grib();
  }
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;

  /* The next record: false at the end of the file. */
  bool next() {
    if (!open_) return false;
    int n = index_++;
    auto cap = kez_test::capture([&] { result = GRD_read(grib_test::HANDLE, &rec, GRD_READ_ALL, &n); });
    err = cap.err;
    if (result == -1) return false;
    values.clear();
    if (result == 0 && rec.grid) values.assign(rec.grid, rec.grid + static_cast<size_t>(rec.domain.nx) * rec.domain.ny);
    return true;
  }

  int result = -1;
  GRD_report rec{};
  std::vector<float> values;
  std::string err;

 private:
  bool open_ = false;
  int index_ = 0;
};

inline bool readable_grid(const std::string& g) {
  return g == "regular_ll" || g == "reduced_ll" || g == "mercator" || g == "polar_stereographic" || g == "lambert";
}

inline bool readable_packing(const std::string& p) {
  return p == "grid_simple" || p == "grid_complex" || p == "grid_complex_spatial_differencing" || p == "grid_jpeg" ||
         p == "grid_run_length";
}

/* What the README lists as not read, by the words of a refusal; the
 * README must hold the words on the right. */
struct NotRead {
  const char* reason; /* in the decoder's message */
  const char* readme; /* in the README's list */
};
inline constexpr NotRead kNotRead[] = {
    {"Gaussian", "Gaussian"},
    {"otated", "rotated"},
    {"pherical harmonic", "spherical-harmonic"},
    {"bi-Fourier", "bi-Fourier"},
    {"stretched", "stretched"},
    {"space view", "space-view"},
    {"econd-order", "second-order"},
    {"Matrix", "matrix"},
    {"IEEE", "IEEE"},
    {"PNG", "PNG"},
    {"CCSDS", "CCSDS"},
    {"end marker", "7777"},
    {"column by column", "column by column"},
    {"offset by half a step", "offset by half a step"},
    {"matrix values", "matrix"},
    {"Data representation template 5.", "edition 2 packings other than those"},
};

inline std::string readme_text() {
  std::ifstream in(std::string(KEZ_SOURCE_DIR) + "/README.md");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

/* The suite's level type of an edition 2 surface: edition 1's type of
 * that surface, or of the layer between two; the whole atmosphere (from
 * the ground to the nominal top, or as one) edition 1's 200. Surfaces
 * whose edition 1 numbers name other surfaces, and local ones of centres
 * other than NCEP and the National Weather Service, have none (-9999). */
inline int ed2_level_type(const EcField& e) {
  static const std::map<long, std::pair<int, int>> types = {
      {100, {100, 101}}, {101, {102, 102}}, {102, {103, 104}}, {103, {105, 106}}, {104, {107, 108}}, {105, {109, 110}},
      {106, {111, 112}}, {107, {113, 114}}, {108, {115, 116}}, {109, {117, 117}}, {111, {119, 120}}};
  const long t1 = e.n("typeOfFirstFixedSurface"), t2 = e.n("typeOfSecondFixedSurface"), centre = e.n("centre");
  const bool layer = t2 != 255;
  if ((t1 == 1 && t2 == 8) || t1 == 10) return 200;
  auto it = types.find(t1);
  if (it != types.end()) return layer ? it->second.second : it->second.first;
  if ((t1 >= 110 && t1 <= 128) || t1 == 141 || (t1 >= 192 && t1 <= 254 && centre != 7 && centre != 8 && centre != 9))
    return -9999;
  return static_cast<int>(t1);
}

/* The suite's level type of ecCodes' level names; other names keep the
 * message's own code, which editions 1 and 2 share. */
inline int level_type(const EcField& e) {
  if (e.n("edition") == 2) return ed2_level_type(e);
  static const std::map<std::string, int> types = {{"surface", 1},
                                                   {"isobaricInhPa", 100},
                                                   {"isobaricInPa", 100},
                                                   {"meanSea", 102},
                                                   {"heightAboveSea", 103},
                                                   {"heightAboveGround", 105},
                                                   {"hybrid", 109},
                                                   {"depthBelowLand", 111},
                                                   {"theta", 113},
                                                   {"heightAboveGroundLayer", 106},
                                                   {"isobaricLayer", 101},
                                                   {"depthBelowLandLayer", 112},
                                                   {"pressureFromGroundLayer", 116},
                                                   {"sigma", 107},
                                                   {"sigmaLayer", 108},
                                                   {"potentialVorticity", 117},
                                                   {"entireAtmosphere", 200}};
  /* ecCodes names every type 210 isobaric in Pa, which is ECMWF's use of
   * it only (NCEP's 210 is a cloud top). */
  if (e.s("typeOfLevel") == "isobaricInPa" && e.n("centre") != 98)
    return static_cast<int>(e.n("indicatorOfTypeOfLevel"));
  auto it = types.find(e.s("typeOfLevel"));
  if (it != types.end()) return it->second;
  return e.n("edition") == 1 ? static_cast<int>(e.n("indicatorOfTypeOfLevel"))
                             : static_cast<int>(e.n("typeOfFirstFixedSurface"));
}

/* The number the suite gives a parameter it cannot name: centre, table
 * version and parameter in their own digits above every other number. */
inline long local_number(long centre, long table, long param) {
  return 1000000000L + centre * 1000000L + table * 1000L + param;
}

/* ECMWF's local tables name a few quantities the suite numbers as the WMO
 * table does, some on the level the quantity belongs to (level type 0:
 * the message's own); every other parameter of a centre's own table has
 * the number of a parameter the suite cannot name. */
struct EcmwfNumber {
  long var;
  int ltype;
};
inline EcmwfNumber local_table_number(const EcField& e) {
  static const std::map<std::string, EcmwfNumber> ecmwf = {
      {"z", {6, 0}},      {"t", {11, 0}},   {"2t", {11, 105}}, {"swh", {100, 0}},  {"msl", {1, 102}},
      {"tcc", {71, 200}}, {"lsm", {81, 0}}, {"tp", {61, 0}},   {"sshf", {122, 0}}, {"ewss", {326, 0}}};
  const long centre = e.n("centre"), table = e.n("table2Version"), param = e.n("indicatorOfParameter");
  if (centre == 98) {
    auto it = ecmwf.find(e.s("shortName"));
    if (it != ecmwf.end()) return it->second;
  }
  /* NCEP's second table: the one parameter the suite knows there. */
  if (centre == 7 && table == 129 && param == 212) return {491, 0};
  return {local_number(centre, table, param), 0};
}

/* What an edition 2 ensemble or probability product adds to the number
 * of its parameter, from ecCodes' keys; *prob: the parameter's number is
 * the probability's digits 5 to 7. */
inline long ensemble_part(const EcField& e, bool* prob) {
  *prob = false;
  const long pdt = e.n("productDefinitionTemplateNumber");
  if (pdt == 1 || pdt == 11) {
    /* Control, negatively and positively perturbed; other kinds 0.
     * Members from 20 on in a range of their own. */
    const long t = e.n("typeOfEnsembleForecast");
    const long type = t <= 1 ? 1 : t <= 3 ? t : 0;
    const long member = e.n("perturbationNumber");
    if (member < 20) return 19280000L + 20000L * type + 1000L * member;
    return 1300000000L + 256000L * type + 1000L * member;
  }
  if (pdt == 2 || pdt == 12) {
    const long d = e.n("derivedForecast");
    return d <= 1 ? 19000000L : d == 2 ? 19001000L : 1400000000L + 1000L * d;
  }
  *prob = pdt == 5 || pdt == 9;
  return 0;
}

/* The time code of the field from ecCodes' steps (in minutes): hours, or
 * -9999 for steps that are not whole hours; -1 when there is nothing to
 * compare. A step between two times that is neither of the statistics
 * has the code of such periods, 2,000,000. Edition 1 says what the period
 * is by its time range indicator. */
inline long time_code(const EcField& e) {
  const long sm = e.n("startStep"), tm = e.n("endStep");
  if (sm < 0 || tm < 0) return -1;
  if (sm % 60 || tm % 60) return -9999;
  const long s = sm / 60, t = tm / 60;
  if (e.n("edition") == 1) {
    const long r = e.n("timeRangeIndicator");
    if (r == 0 || r == 1 || r == 10) return t;
    if (r >= 2 && r <= 5) return r * 1000000 + s * 1000 + t;
    /* Statistics over N periods of P2: the first start and N times P2. */
    const long n = e.n("numberIncludedInAverage") * e.n("P2");
    if (e.n("indicatorOfUnitOfTimeRange") != 1) return -1;
    if (r == 113 || r == 118) return r % 100 * 1000000 + s * 1000 + n;
    if (r == 123) return 23000000 + n;
    return -9999; /* never another field's time */
  }
  const std::string st = e.s("stepType");
  static const std::map<std::string, long> ops = {
      {"avg", 3000000}, {"accum", 4000000}, {"diff", 5000000}, {"max", 6000000}, {"min", 7000000}};
  if (st == "instant") return s == t ? t : 2000000 + s * 1000 + t;
  auto it = ops.find(st);
  if (it == ops.end()) return -1;
  return it->second + s * 1000 + t;
}

inline std::string where(const std::string& file, size_t i, const EcField& e) {
  return file + " #" + std::to_string(i) + " (" + e.s("shortName") + ", " + e.s("gridType") + ", " +
         e.s("packingType") + ")";
}

/* The message's point p, given in message order, in our array (northern
 * row first, west to east). ecCodes gives the positions of alternating
 * rows as if every row ran west to east, its values in message order. */
struct Scan {
  long ni;
  bool alternating, south_to_north, east_to_west;
  explicit Scan(const EcField& e)
      : ni(e.n("Ni")),
        alternating(e.n("alternativeRowScanning") == 1),
        south_to_north(e.n("jScansPositively") == 1),
        east_to_west(e.n("iScansNegatively") == 1) {}
};

inline size_t our_index(const Scan& sc, long p, int nx, int ny, bool alternating = true) {
  long k = p / sc.ni, i = p % sc.ni;
  if (alternating && sc.alternating && (k % 2) == 1) i = sc.ni - 1 - i;
  const long row = sc.south_to_north ? ny - 1 - k : k;
  const long col = sc.east_to_west ? nx - 1 - i : i;
  return static_cast<size_t>(row) * static_cast<size_t>(nx) + static_cast<size_t>(col);
}

/* ecCodes' values in our layout; thinned rows laid linearly over the
 * longest row, missing where either neighbour is. */
inline std::vector<double>& in_our_layout(const EcField& e, int nx, int ny) {
  /* One buffer for every field: a large field's pages are had once. */
  static std::vector<double> want;
  want.assign(static_cast<size_t>(nx) * ny, kMiss);
  if (e.s("gridType") != "reduced_ll") {
    const Scan sc(e);
    for (size_t p = 0; p < e.values.size(); ++p) want[our_index(sc, static_cast<long>(p), nx, ny)] = e.values[p];
    return want;
  }
  const std::vector<double> pl = e.list("pl");
  size_t k = 0;
  for (int r = 0; r < static_cast<int>(pl.size()) && r < ny; ++r) {
    const int n = static_cast<int>(pl[static_cast<size_t>(r)]);
    const double* v = e.values.data() + k;
    k += static_cast<size_t>(n);
    const int row = e.n("jScansPositively") == 1 ? ny - 1 - r : r;
    double* out = want.data() + static_cast<size_t>(row) * nx;
    for (int i = 0; i < nx && n > 0; ++i) {
      if (n == 1 || nx == 1) {
        out[i] = v[0];
        continue;
      }
      const long num = static_cast<long>(i) * (n - 1);
      const int a = static_cast<int>(num / (nx - 1));
      const double fr = static_cast<double>(num % (nx - 1)) / (nx - 1);
      out[i] = fr == 0 ? v[a] : (v[a] == kMiss || v[a + 1] == kMiss) ? kMiss : fr * v[a + 1] + (1 - fr) * v[a];
    }
  }
  return want;
}

inline double lon_diff(double a, double b) {
  double d = std::fmod(std::fabs(a - b), 360.0);
  return d > 180 ? 360 - d : d;
}

/* Compares one decoded field with ecCodes'; failures name the field. */
inline void compare(const std::string& file, size_t i, const Records& o, const EcField& e,
                    std::map<std::string, std::set<long>>* numbers) {
  SCOPED_TRACE(where(file, i, e));
  const GRD_report& r = o.rec;
  const int edition = static_cast<int>(e.n("edition"));
  /* Parameter: a centre's own table (ECMWF's parameters above 128 in
   * any), or the WMO's. */
  const bool ecmwf = edition == 1 && e.n("centre") == 98;
  const bool local = edition == 1 && (e.n("table2Version") >= 128 || (ecmwf && e.n("indicatorOfParameter") > 128));
  const EcmwfNumber ec_num = local ? local_table_number(e) : EcmwfNumber{e.n("indicatorOfParameter"), 0};
  long base = r.var;
  bool chem = false;
  if (edition == 1) {
    EXPECT_EQ(r.var, ec_num.var) << "parameter";
  } else {
    /* A number the suite names, below the ensemble codes, inside the
     * number of an ensemble or probability product. */
    bool prob = false;
    base = r.var - ensemble_part(e, &prob);
    /* A chemical constituent's quantity: constituent and parameter in
     * digits of their own. */
    const long constituent = e.n("constituentType");
    chem = e.n("productDefinitionTemplateNumber") == 40 && e.n("discipline") == 0 && e.n("parameterCategory") == 20;
    if (chem) {
      EXPECT_EQ(r.var, 1500000000L + 1000L * constituent + e.n("parameterNumber")) << "constituent";
      EXPECT_NE(std::string(r.info).find("Chem[" + std::to_string(constituent) + "]"), std::string::npos) << r.info;
      (*numbers)[e.s("shortName") + "/" + std::to_string(constituent)].insert(r.var);
    } else if (prob) {
      EXPECT_EQ(r.var / 10000000, 191) << "probability";
      base = r.var / 10000 % 1000;
    }
    if (!chem) {
      char label[256];
      VAR_str(label, static_cast<int>(base), nullptr, sizeof label);
      EXPECT_GT(base, 0);
      EXPECT_LT(base, 1000) << "parameter of a made-up number: " << r.var;
      EXPECT_NE(std::string(label), "v" + std::to_string(base)) << "parameter without a name";
    }
  }
  if (e.s("shortName") != "unknown" && !chem) (*numbers)[e.s("shortName")].insert(base);
  /* Level; the suite moves ECMWF's 2-metre temperature to its height. */
  const bool ecmwf_2t = ecmwf && e.s("shortName") == "2t";
  const int lt = local && ec_num.ltype ? ec_num.ltype : level_type(e);
  EXPECT_EQ(r.ltype, lt) << "level type " << e.s("typeOfLevel");
  static const std::set<int> single = {1, 100, 103, 105, 109, 113};
  const bool ed2_layer = edition == 2 && e.n("typeOfSecondFixedSurface") != 255;
  if (ecmwf_2t) {
    EXPECT_EQ(r.level, 2) << "level";
  } else if (lt == -9999) {
    EXPECT_EQ(r.level, -9999) << "level of a surface without a level type";
  } else if (lt == 102) {
    EXPECT_EQ(r.level, 0) << "level of mean sea level";
  } else if (e.s("scaledValueOfFirstFixedSurface") == "MISSING") {
    /* A surface without its value: level 0 where the level type needs
     * none, else missing. */
    EXPECT_EQ(r.level, (lt < 100 || lt == 102 || lt >= 200) ? 0 : -9999) << "level without a value";
  } else if (e.s("typeOfLevel") == "isobaricInPa" && lt == 100) {
    /* Whole hPa; a level between them has no code. */
    EXPECT_EQ(r.level, e.n("level") % 100 == 0 ? e.n("level") / 100 : -9999) << "level";
  } else if (single.count(lt) && !ed2_layer) {
    EXPECT_EQ(r.level, e.n("level")) << "level";
  }
  /* Reference date and time code. */
  const long date = e.n("dataDate"), hm = e.n("dataTime");
  EXPECT_EQ(r.date.year, date / 10000);
  EXPECT_EQ(r.date.month, date / 100 % 100);
  EXPECT_EQ(r.date.day, date % 100);
  EXPECT_EQ(r.date.hour, hm / 100);
  EXPECT_EQ(r.date.min, hm % 100);
  const long unit = e.n("indicatorOfUnitOfTimeRange");
  const long tc = time_code(e);
  if (unit != 2 && unit != 3 && tc >= 0) {
    EXPECT_EQ(r.time, tc) << "time code, step type " << e.s("stepType");
  }
  /* Grid. */
  const std::string g = e.s("gridType");
  const int proj = g == "mercator" ? 3 : g == "polar_stereographic" ? 1 : g == "lambert" ? 4 : 2;
  EXPECT_EQ(r.domain.proj, proj) << "projection";
  EXPECT_EQ(r.domain.ny, e.n("Nj")) << "rows";
  if (g == "reduced_ll") {
    auto pl = e.list("pl");
    EXPECT_EQ(r.domain.nx, static_cast<int>(*std::max_element(pl.begin(), pl.end()))) << "longest row";
  } else {
    EXPECT_EQ(r.domain.nx, e.n("Ni")) << "columns";
  }
  const int nx = r.domain.nx, ny = r.domain.ny;
  if (nx < 1 || ny < 1 || o.values.size() != static_cast<size_t>(nx) * ny) {
    ADD_FAILURE() << "no values of the grid's size";
    return;
  }
  /* ecCodes steps the rows of a polar stereographic grid towards the pole
   * whatever the scanning mode says; the centres of such grids are checked
   * against PROJ (grib_ed2_test.cpp). */
  const bool ecc_places = !(proj == 1 && e.n("jScansPositively") == 0);
  if (g == "reduced_ll") {
    /* Thinned rows span the longitudes of the first and last points, the
     * rows the latitudes: the north-western and south-eastern corners
     * (once 65.535 degrees apart in edition 1, whose increment is missing). */
    GRD_report lat = r, lon = r;
    static std::vector<float> a, b;
    a.assign(o.values.size(), static_cast<float>(kMiss));
    a.front() = a.back() = 0.0f;
    b = a;
    lat.grid = a.data();
    lon.grid = b.data();
    GRD_point_locate(&lat, "lat");
    GRD_point_locate(&lon, "lon");
    auto key = [&](const char* k) { return std::atof(e.s(k).c_str()); };
    const bool s2n = e.n("jScansPositively") == 1;
    const double la1 = key("latitudeOfFirstGridPointInDegrees"), la2 = key("latitudeOfLastGridPointInDegrees");
    EXPECT_NEAR(a.front(), s2n ? la2 : la1, 1e-3) << "northern row";
    EXPECT_NEAR(a.back(), s2n ? la1 : la2, 1e-3) << "southern row";
    EXPECT_LT(lon_diff(b.front(), key("longitudeOfFirstGridPointInDegrees")), 1e-3) << "western end " << b.front();
    /* Rows of one point lie at the first longitude. */
    const char* east = r.domain.nx == 1 ? "longitudeOfFirstGridPointInDegrees" : "longitudeOfLastGridPointInDegrees";
    EXPECT_LT(lon_diff(b.back(), key(east)), 1e-3) << "eastern end " << b.back();
  }
  if (g != "reduced_ll" && ecc_places) {
    /* Positions of sample points, as the grid store places them (it
     * leaves the missing points alone, so only these are computed). */
    const auto pts = e.list("points"), lats = e.list("lat"), lons = e.list("lon");
    GRD_report lat = r, lon = r;
    static std::vector<float> a, b;
    a.assign(o.values.size(), static_cast<float>(kMiss));
    const Scan sc(e);
    for (double p : pts) a[our_index(sc, static_cast<long>(p), nx, ny, false)] = 0.0f;
    b = a;
    lat.grid = a.data();
    lon.grid = b.data();
    GRD_point_locate(&lat, "lat");
    GRD_point_locate(&lon, "lon");
    /* A quarter of a grid length: spheres of other radii move points by
     * less. The suite projects on a sphere; on a grid defined on an
     * ellipsoid points lie up to some kilometres away. */
    const double step = proj == 2 ? std::max(r.domain.dx, r.domain.dy) : r.domain.dx * 100.0 / 111.0;
    const long shape = e.n("shapeOfTheEarth");
    const bool ellipsoid =
        e.n("earthIsOblate") == 1 || shape == 2 || shape == 4 || shape == 5 || shape == 7 || shape == 8 || shape == 9;
    double tol = std::max(0.25 * step, ellipsoid && proj != 2 ? 0.05 : 1e-3);
    /* The suite spans a Mercator grid between the corners the message
     * gives, ecCodes steps from the first by the grid lengths: where the
     * message disagrees with itself, points differ as its corners do. */
    if (proj == 3 && !lats.empty())
      tol += std::fabs(lats.back() - std::atof(e.s("latitudeOfLastGridPointInDegrees").c_str())) +
             lon_diff(lons.back(), std::atof(e.s("longitudeOfLastGridPointInDegrees").c_str()));
    for (size_t k = 0; k < pts.size() && k < lats.size() && k < lons.size(); ++k) {
      const size_t at = our_index(sc, static_cast<long>(pts[k]), nx, ny, false);
      EXPECT_NEAR(a[at], lats[k], tol) << "latitude of point " << pts[k];
      EXPECT_LT(lon_diff(b[at], lons[k]), tol / std::max(0.05, std::cos(lats[k] * M_PI / 180)))
          << "longitude of point " << pts[k] << ": " << b[at] << " against " << lons[k];
    }
  }
  /* Values. ecCodes reads a complex-packed field of no groups, a constant,
   * from data it does not have: the field is its reference value. */
  std::vector<double>& want = in_our_layout(e, nx, ny);
  if (e.s("packingType").rfind("grid_complex", 0) == 0 && e.n("numberOfGroupsOfDataValues") == 0)
    for (double& w : want)
      if (w != kMiss) w = std::atof(e.s("referenceValue").c_str());
  /* ECMWF's cloud cover, a fraction, in the percent of the WMO's. */
  if (ecmwf && e.s("shortName") == "tcc")
    for (double& w : want)
      if (w != kMiss) w *= 100;
  double amax = 1;
  for (double w : want)
    if (w != kMiss) amax = std::max(amax, std::fabs(w));
  const double tol = amax * 2e-6;
  long bad = 0, misplaced = 0;
  double worst = 0;
  size_t first = 0;
  for (size_t k = 0; k < want.size(); ++k) {
    const bool gm = o.values[k] == static_cast<float>(kMiss), wm = want[k] == kMiss;
    if (gm != wm) {
      if (!misplaced++ && !bad) first = k;
      continue;
    }
    if (!gm && std::fabs(o.values[k] - want[k]) > tol) {
      if (!bad++ && !misplaced) first = k;
      worst = std::max(worst, std::fabs(o.values[k] - want[k]));
    }
  }
  EXPECT_EQ(bad + misplaced, 0) << bad << " values off by up to " << worst << ", " << misplaced
                                << " missing points misplaced; first at " << first << ": " << o.values[first]
                                << " against " << want[first];
}

inline bool have_eccodes_python() {
  static const bool have = kez_test::run_command("/usr/bin/python3 -c 'import eccodes' 2>/dev/null") == 0;
  return have;
}

/* What a walk found: fields, fields decoded, and each refusal with its
 * reason. */
struct Walk {
  size_t total = 0, decoded = 0;
  std::vector<std::string> refused;
};

/* Reads every record of the files and compares each with ecCodes' field
 * (failures are the caller's test's); a refusal must be of a kind the
 * README lists. */
inline Walk walk_agrees(const std::vector<std::string>& files) {
  Walk w;
  RES_put("file_path", KEZ_DATA_DIR);
  const std::string readme = readme_text();
  EcReader ec(files);
  EcField e; /* one for every field: its buffer is large */
  std::map<std::string, std::set<long>> numbers;
  for (const std::string& path : files) {
    const std::string file = path.substr(path.rfind('/') + 1);
    Records o(path);
    for (size_t i = 0; o.next(); ++i) {
      if (!ec.next(&e)) {
        ADD_FAILURE() << file << ": ecCodes has fewer fields than the records";
        return w;
      }
      ++w.total;
      const bool readable =
          readable_grid(e.s("gridType")) && readable_packing(e.s("packingType")) && e.n("jPointsAreConsecutive") != 1;
      if (o.result == 0) {
        ++w.decoded;
        EXPECT_TRUE(readable) << where(file, i, e) << ": decoded a field of a kind the suite does not read";
        compare(file, i, o, e, &numbers);
        continue;
      }
      /* A refusal: its reason, one of the kinds the README lists. */
      std::string reason = o.err;
      while (!reason.empty() && reason.back() == '\n') reason.pop_back();
      /* The grid store's own line after the decoder's reason adds nothing. */
      const size_t own = reason.find("\nGRD_read: GRIB field without values");
      if (own != std::string::npos) reason.erase(own);
      std::replace(reason.begin(), reason.end(), '\n', ';');
      w.refused.push_back(where(file, i, e) + ": " + reason);
      EXPECT_EQ(o.result, 1) << where(file, i, e);
      EXPECT_FALSE(readable) << where(file, i, e) << ": refused: " << o.err;
      bool listed = false;
      for (const NotRead& n : kNotRead)
        if (o.err.find(n.reason) != std::string::npos) {
          listed = true;
          EXPECT_NE(readme.find(n.readme), std::string::npos) << "the README does not say: " << n.readme;
        }
      EXPECT_TRUE(listed) << where(file, i, e) << ": a refusal the README does not list: " << o.err;
    }
  }
  EXPECT_FALSE(ec.next(&e)) << "ecCodes has more fields than the records: " << where("", w.total, e);
  /* One ecCodes name, one number of the suite. */
  for (const auto& [name, vars] : numbers) EXPECT_EQ(vars.size(), 1u) << name << " has several numbers";
  RES_put("file_path", "");
  return w;
}

} // namespace grib_test

#endif
