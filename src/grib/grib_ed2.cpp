/*
 * grib_ed2: the GRIB decoder's edition 2 sections up to the product.
 *
 * The section headers (GRIB_read_section, GRIB_skip_section), the
 * identification (GRIB_IDS), the grid definition (GRIB_GDS: latitude and
 * longitude, Mercator, polar stereographic and Lambert conformal grids,
 * thinned rows) and the product definition (GRIB_PDS: parameter, fixed
 * surfaces, time ranges, ensemble members, derived forecasts,
 * probabilities and chemical constituents), with the parameter table
 * "grib2_var.lup". A section is read whole into state.sec before its
 * octets are looked at; what the identification and grid definition set
 * carries over to the later fields of their message.
 */
#include "grib_impl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace grib_impl;

/* --- edition 2: sections, identification, grid definition ---------------- */

/* Reads octets 6 to the end of the current section into state.sec; false
 * (nothing kept) on a short read or an absurd length. */
bool grib_impl::read_section_body(FILE* f, const char* who) {
  long len = state.slen;
  if (len < 5 || len > GRIB2_MAX_SECTION) {
    MESS_print(M_warn, "%s: Invalid section length %ld\n", who, len);
    return false;
  }
  std::vector<unsigned char> body(static_cast<size_t>(len) + 1, 0);
  if (len > 5 && !read_octets(f, &body[6], static_cast<size_t>(len - 5))) {
    MESS_print(M_warn, "%s: Section %d cut short\n", who, state.sect);
    return false;
  }
  body[5] = static_cast<unsigned char>(state.sect);
  state.sec = std::move(body);
  return true;
}

namespace {

/* A 4-octet sign-and-magnitude angle in millionths of a degree. */
long angle_raw(long k) {
  long v = static_cast<long>(be_sec(k, 4) & 0x7FFFFFFFul);
  return (oct(k) & 0x80) ? -v : v;
}

float angle_deg(long k, double unit = 1e-6) { return static_cast<float>(angle_raw(k) * unit); }

/* Degrees of one unit of a latitude/longitude template's angles: the basic
 * angle over its subdivisions (millionths of a degree where either is 0 or
 * missing). */
double angle_unit() {
  unsigned long basic = be_sec(39, 4), sub = be_sec(43, 4);
  if (basic == 0 || basic == 0xFFFFFFFFul) basic = 1;
  if (sub == 0 || sub == 0xFFFFFFFFul) sub = 1000000;
  return static_cast<double>(basic) / static_cast<double>(sub);
}

float norm_lon(float lon) { return lon > 180 ? lon - 360 : lon; }

/* The grid number composed from the grid definition, or -9999 when it does
 * not fit an int. */
int composed_grid_number(int templ) {
  const bool ll = templ == 0;
  long la1 = angle_raw(ll ? 47 : 39);
  long lo1 = angle_raw(ll ? 51 : 43);
  long long a = std::labs(la1) / 10000000;
  long long b = std::labs(lo1) / 10000000;
  if (lo1 < 0) b = 36 - b;
  if (la1 < 0) b += 36;
  long long n = static_cast<int32_t>(be_sec(31, 4));
  long long c = (n / 10) * 100;
  long long d;
  if (ll) {
    float l1 = norm_lon(angle_deg(51));
    float l2 = norm_lon(angle_deg(60));
    if (l2 <= l1) l2 += 360;
    d = n == 1 ? 0 : static_cast<long long>(((l2 - l1) / static_cast<float>(n - 1)) * 10.0f);
  } else {
    d = static_cast<int32_t>(be_sec(56, 4)) / 1000000;
  }
  long long t = templ * 10000000LL + a * 1000000LL + b * 10000LL + c + d;
  return to_int(t);
}

int refuse_gds(const char* why) {
  MESS_print(M_warn, "GRIB_GDS: %s\n", why);
  return 0;
}

} // namespace

int GRIB_read_section(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (!f) return 0;
  if (cut_message("GRIB_read_section")) {
    state.sect = -1;
    return 0;
  }
  unsigned char h[5];
  if (fread(h, 1, 4, f) != 4) return 0;
  if (h[0] == '7' && h[1] == '7') {
    state.sect = -1;
    return 0;
  }
  int c = getc(f);
  if (c == EOF) return 0;
  h[4] = static_cast<unsigned char>(c);
  unsigned long len = be_uint(h, 4);
  state.sect = h[4];
  state.slen = len > static_cast<unsigned long>(INT_MAX) ? INT_MAX : static_cast<int>(len);
  if (len < 5) {
    /* A length that does not cover its own header would step backwards. */
    MESS_print(M_warn, "GRIB_read_section: Invalid length %lu of section %d\n", len, state.sect);
    return 0;
  }
  return state.sect <= 8 ? 1 : 0;
}

int GRIB_get_sect() { return state.sect; }

int GRIB_get_slen() { return state.slen; }

int GRIB_skip_section(int grd_fd) {
  FILE* f = stream_of(grd_fd);
  if (f && state.slen >= 5) fseek(f, state.slen - 5, SEEK_CUR);
  return 1;
}

int GRIB_IDS(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  if (!f || !grd || !read_section_body(f, "GRIB_IDS")) return 0;
  grd->version = state.version;
  state.source = static_cast<int>(be_sec(6, 2));
  grd->source = state.source;
  state.date = Date{};
  state.date.year = static_cast<int>(be_sec(13, 2));
  state.date.month = static_cast<int>(oct(15));
  state.date.day = static_cast<int>(oct(16));
  state.date.hour = static_cast<int>(oct(17));
  state.date.min = static_cast<int>(oct(18));
  grd->date = state.date;
  grd->type = 0;
  /* A bit map serves the fields of its own message only. */
  state.bmb.clear();
  state.bmb_on = false;
  state.bms_bad = false;
  return 1;
}

int GRIB_GDS(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  if (!f || !grd || !read_section_body(f, "GRIB_GDS")) return 0;
  const int templ = static_cast<int>(be_sec(13, 2));
  state.uv_earth = false;
  BorrowedDomain borrow;
  Domain dv;
  DOM_init(&dv);
  int ydir = 1, xalt = 0;
  bool xrev = false;
  std::vector<int> rows;
  const long ni_raw = static_cast<int32_t>(be_sec(31, 4));
  const long nj = static_cast<long>(be_sec(35, 4));
  /* The scanning mode; a refusal's reason, or null. Rows or columns offset
   * by half a step (bits 5 to 7) would place every point half a step off. */
  auto scanning = [&](long k) -> const char* {
    unsigned scan = oct(k);
    ydir = (scan & 0x40) ? 1 : -1;
    xalt = (scan & 0x10) ? 1 : 0;
    xrev = (scan & 0x80) != 0;
    if (scan & 0x20) return "Grids stored column by column are not supported";
    if (scan & 0x0E) return "Grids with rows or columns offset by half a step are not supported";
    return nullptr;
  };
  auto spacing = [](float span, long n) { return n > 1 ? std::fabs(span) / (n - 1) : MISS; };
  switch (templ) {
    case 0: { /* latitude/longitude */
      if (nj > 10000) return refuse_gds("Too many rows");
      if (const char* why = scanning(72)) return refuse_gds(why);
      dv.proj = 2;
      const double unit = angle_unit();
      float la1 = angle_deg(47, unit), la2 = angle_deg(56, unit);
      float lo1 = norm_lon(angle_deg(51, unit)), lo2 = norm_lon(angle_deg(60, unit));
      const float first_lon = lo1, first_lat = la1;
      /* Rows that run east to west start at their eastern end. A row whose
       * ends share a meridian goes once round the globe. */
      if (xrev) std::swap(lo1, lo2);
      if (lo2 < lo1 || (lo2 == lo1 && ni_raw != 1)) lo2 += 360;
      long nx = ni_raw;
      if (ni_raw == -1) {
        /* Row lengths after the template, each as wide as octet 11 says. */
        const int width = static_cast<int>(oct(11));
        if (width < 1 || width > 4 || 73 + width * nj - 1 > state.slen)
          return refuse_gds("Thinned grid without row lengths");
        rows.resize(static_cast<size_t>(nj));
        nx = 0;
        for (long j = 0; j < nj; ++j) {
          rows[static_cast<size_t>(j)] = static_cast<int>(be_sec(73 + width * j, width));
          nx = std::max<long>(nx, rows[static_cast<size_t>(j)]);
        }
      }
      dv.nx = static_cast<int>(std::min<long>(nx, INT_MAX));
      dv.ny = static_cast<int>(nj);
      dv.plat = 0;
      /* A single column or row lies at the first point. */
      dv.plon = dv.clon = dv.nx == 1 ? first_lon : (lo1 + lo2) / 2;
      dv.clat = dv.ny == 1 ? first_lat : (la1 + la2) / 2;
      dv.dx = spacing(lo2 - lo1, dv.nx);
      dv.dy = spacing(la2 - la1, dv.ny);
      break;
    }
    case 10: { /* Mercator */
      if (nj > GRIB_MAX_SIDE) return refuse_gds("Too many rows");
      if (const char* why = scanning(60)) return refuse_gds(why);
      dv.proj = 3;
      dv.nx = static_cast<int>(std::min<long>(ni_raw, INT_MAX));
      dv.ny = static_cast<int>(nj);
      float la1 = angle_deg(39), la2 = angle_deg(52);
      float lo1 = norm_lon(angle_deg(43)), lo2 = norm_lon(angle_deg(56));
      if (xrev) std::swap(lo1, lo2);
      /* A grid across 180 degrees ends east of where it starts; one whose
       * ends share a meridian goes once round the globe. */
      if (lo2 < lo1 || (lo2 == lo1 && ni_raw != 1)) lo2 += 360;
      dv.plat = 0;
      dv.plon = norm_lon((lo1 + lo2) / 2);
      MAP_domain(&dv);
      float x1, y1, x2, y2;
      MAP_tran(la1, lo1, &x1, &y1);
      MAP_tran(la2, lo2, &x2, &y2);
      MAP_untran((x1 + x2) / 2, (y1 + y2) / 2, &dv.clat, &dv.clon);
      dv.dx = spacing(x2 - x1, dv.nx);
      dv.dy = spacing(y2 - y1, dv.ny);
      break;
    }
    case 20:   /* polar stereographic */
    case 30: { /* Lambert conformal */
      if (nj > GRIB_MAX_SIDE) return refuse_gds("Too many rows");
      if (const char* why = scanning(65)) return refuse_gds(why);
      dv.proj = templ == 20 ? 1 : 4;
      dv.nx = static_cast<int>(std::min<long>(ni_raw, INT_MAX));
      dv.ny = static_cast<int>(nj);
      float la1 = angle_deg(39), lo1 = norm_lon(angle_deg(43));
      float lov = norm_lon(angle_deg(52));
      dv.plon = lov;
      dv.plat = (oct(64) & 0x80) ? -90.0f : 90.0f;
      if (templ == 20) {
        dv.param[0] = angle_deg(48);
      } else {
        dv.clon = lov;
        dv.param[0] = angle_deg(66);
        dv.param[1] = angle_deg(70);
        dv.param[2] = 1;
      }
      MAP_domain(&dv);
      float x1, y1;
      MAP_tran(la1, lo1, &x1, &y1);
      dv.dx = static_cast<float>(be_sec(56, 4) * 1e-8);
      dv.dy = static_cast<float>(be_sec(60, 4) * 1e-8);
      /* The exact middle, where the grid store puts the domain's centre;
       * rows that run east to west start at their eastern end. */
      const float cx = x1 + (dv.nx - 1) * (xrev ? -dv.dx : dv.dx) / 2;
      const float cy = y1 + (dv.ny - 1) * ydir * dv.dy / 2;
      MAP_untran(cx, cy, &dv.clat, &dv.clon);
      break;
    }
    default: break; /* a template not described: no domain */
  }
  if (dv.proj != KEZ_MISS) {
    if (dv.nx < 1 || dv.ny < 1 || ni_raw > INT_MAX || static_cast<long long>(dv.nx) * dv.ny > GRIB2_MAX_POINTS)
      return refuse_gds("The grid has no usable size");
  }
  /* Components relative to the grid: resolution and component flag 5. */
  state.uv_earth = (templ == 20 || templ == 30) && !(oct(47) & 0x08);
  state.dv = dv;
  state.gds_templ = templ;
  state.ydir = ydir;
  state.xalt = xalt;
  state.xrev = xrev;
  state.thin = rows.empty() ? 0 : 1;
  state.thin_rows = std::move(rows);
  grd->domain = dv;
  grd->type = composed_grid_number(templ);
  return 1;
}

/* --- edition 2: product definition and the parameter table --------------- */

int GribParam_init(GribParam* param) {
  param->ind = param->src = param->disc = param->cat = param->param = KEZ_MISS;
  param->name[0] = param->units[0] = param->lname[0] = '\0';
  return 1;
}

GribParam GRIB_get_ver2_param(int src, int disc, int cat, int param) {
  GribParam p;
  p.ver = 0;
  GribParam_init(&p);
  const char* dir = RES_get("file_path");
  std::string path = FILE_add_path(dir ? dir : "", "grib2_var.lup");
  FILE* f = FILE_open(path.c_str(), "r");
  if (!f) return p;
  MESS_print(M_debug, "get_ver2_param %d %d %d %d\n", src, disc, cat, param);
  char line[201];
  bool named = false;
  while (fgetnline(f, line, sizeof line) > 0) {
    if (line[0] == '#') continue;
    int s, d, c, n;
    char name[20] = {}, units[30] = {}, lname[80] = {};
    if (std::sscanf(line, "%d %d %d %d %19s %29s %79[^\n]", &s, &d, &c, &n, name, units, lname) < 6) continue;
    if (d != disc || c != cat || n != param || (s != 0 && s != src)) continue;
    p.src = s;
    p.disc = d;
    p.cat = c;
    p.param = n;
    copy_text(p.name, sizeof p.name, name);
    copy_text(p.units, sizeof p.units, units);
    copy_text(p.lname, sizeof p.lname, lname);
    int num = VAR_search_var_num(name);
    named = num != 0;
    p.ind = named ? num : KEZ_MISS;
    break;
  }
  FILE_close(f);
  if (!named) {
    MESS_print(M_debug, "VER2: %d %d %d %d\n", src, disc, cat, param);
    p.ind = to_int(disc * 1000000LL + cat * 1000LL + param);
  }
  MESS_print(M_debug, "GPARAM: %s %s %d\n", p.name, p.units, p.ind);
  return p;
}

namespace {

/* A scale factor octet: above 128 stands for 128 minus it; 255 missing. */
int scale_factor(unsigned o) { return o > 128 ? 128 - static_cast<int>(o) : static_cast<int>(o); }

/* A scaled value at octet k with its scale factor at octet e. */
float scaled_value(long e, long k) {
  if (oct(k) == 255 && oct(k + 1) == 255) return MISS;
  int f = scale_factor(oct(e));
  if (f == -127) return MISS;
  double v = static_cast<double>(be_sec(k, 4) & 0x7FFFFFFFul);
  if (oct(k) & 0x80) v = -v;
  if (f != 0) v *= std::pow(10.0, -f);
  return static_cast<float>(v);
}

/* Truncation toward zero; -9999 for a value no int can hold. */
int trunc_i(double v) {
  if (!(v > INT_MIN - 1.0 && v < INT_MAX + 1.0)) return KEZ_MISS;
  return static_cast<int>(v);
}

/* A fixed surface's value in a unit of 10^p of its own (hPa of Pa: 2,
 * sigma in ten-thousandths: -4): the scaled value at octet k times
 * 10^(-f-p), f the scale factor at octet e. -9999 when it is missing or no
 * whole number of that unit, so that a level the code cannot hold never
 * reads as its neighbour (50 Pa as 0 hPa, 925 hPa as 92 kPa). */
int surface_in(long e, long k, int p) {
  if (oct(k) == 255 && oct(k + 1) == 255) return KEZ_MISS;
  const int f = scale_factor(oct(e));
  if (f == -127) return KEZ_MISS;
  long long v = static_cast<long long>(be_sec(k, 4) & 0x7FFFFFFFul);
  if (oct(k) & 0x80) v = -v;
  for (int x = -f - p; x > 0; --x) {
    if (v > INT_MAX || v < INT_MIN) return KEZ_MISS;
    v *= 10;
  }
  for (int x = -f - p; x < 0; ++x) {
    if (v % 10 != 0) return KEZ_MISS;
    v /= 10;
  }
  return v >= INT_MIN && v <= INT_MAX ? static_cast<int>(v) : KEZ_MISS;
}

/* Level type and code of the fixed surfaces, which stand sh octets
 * further on in templates with more octets before them: the edition 1
 * type of the same surface (or of the layer between two of one type) and
 * its level in that type's unit. Surfaces whose edition 1 number means
 * another surface (a mixed layer depth is no potential vorticity surface)
 * have no level type of the suite; a level no code can hold is missing. */
void set_surfaces(GRD_report* grd, long sh) {
  const int t1 = static_cast<int>(oct(23 + sh)), t2 = static_cast<int>(oct(29 + sh));
  const bool layer = t2 != 255;
  const bool v1_missing = scaled_value(24 + sh, 25 + sh) == MISS;
  const bool v2_missing = scaled_value(30 + sh, 31 + sh) == MISS;
  MESS_print(M_debug, "LEV %d %d\n", t1, t2);
  /* The first surface in 10^p of its unit, and a layer between two
   * surfaces of its type coded top * 1000 + bottom; a part that is
   * missing, negative or (the bottom) of four digits would make another
   * layer's code. */
  auto one = [&](int p) { return surface_in(24 + sh, 25 + sh, p); };
  auto pair = [&](int p) {
    const int top = surface_in(24 + sh, 25 + sh, p), bottom = surface_in(30 + sh, 31 + sh, p);
    if (t2 != t1 || top == KEZ_MISS || bottom == KEZ_MISS || top < 0 || bottom < 0 || bottom > 999) return KEZ_MISS;
    const long long code = top * 1000LL + bottom;
    return code > INT_MAX ? KEZ_MISS : static_cast<int>(code);
  };
  int ltype = t1, level = one(0);
  bool named = true;
  switch (t1) {
    case 1:
      /* From the ground to the nominal top: the whole atmosphere. */
      if (layer && t2 == 8) {
        ltype = 200;
        level = 0;
      } else if (layer) {
        level = KEZ_MISS;
      }
      break;
    case 10: /* the entire atmosphere */
      ltype = 200;
      level = 0;
      break;
    case 100:
      ltype = layer ? 101 : 100;
      level = layer ? pair(3) : one(2);
      break;
    case 101:
      ltype = 102;
      level = 0;
      break;
    case 102:
      ltype = layer ? 104 : 103;
      level = layer ? pair(2) : one(0);
      break;
    case 103: {
      ltype = layer ? 106 : 105;
      /* Heights to the nearest metre, as ecCodes names them (1.5 m: 2). */
      const float v1 = scaled_value(24 + sh, 25 + sh);
      level = layer ? pair(2) : v1 == MISS ? KEZ_MISS : trunc_i(v1 + 0.5);
      break;
    }
    case 104:
      ltype = layer ? 108 : 107;
      level = layer ? pair(-2) : one(-4);
      break;
    case 105:
      ltype = layer ? 110 : 109;
      level = layer ? pair(0) : one(0);
      break;
    case 106:
      ltype = layer ? 112 : 111;
      level = layer ? pair(-2) : one(-2);
      break;
    case 107:
      /* Edition 1 counts the layer's surfaces down from 475 K. */
      ltype = layer ? 114 : 113;
      level = layer ? KEZ_MISS : one(0);
      break;
    case 108:
      ltype = layer ? 116 : 115;
      level = layer ? pair(2) : one(2);
      break;
    case 109:
      ltype = 117;
      level = layer ? KEZ_MISS : one(-6);
      break;
    case 111:
      ltype = layer ? 120 : 119;
      level = layer ? pair(-2) : one(-4);
      break;
    default:
      /* Edition 2 numbers that edition 1 gives other surfaces; local
       * numbers of centres other than NCEP's and the National Weather
       * Service's, whose local numbers the level types take. */
      named = !((t1 >= 110 && t1 <= 128) || t1 == 141 ||
                (t1 >= 192 && t1 <= 254 && grd->source != 7 && grd->source != 8 && grd->source != 9));
      if (layer) level = KEZ_MISS; /* no layer code of its own */
      break;
  }
  if (!named) {
    MESS_print(M_warn, "GRIB_PDS: Surface type %d has no level type of the suite\n", t1);
    ltype = level = KEZ_MISS;
  } else if (v1_missing || (layer && v2_missing && t1 >= 100 && t1 != 101 && t1 < 200)) {
    /* surfaces without a value are level 0 */
    level = (t1 < 100 || t1 == 101 || t1 >= 200) ? 0 : KEZ_MISS;
  } else if (level == KEZ_MISS) {
    MESS_print(M_warn, "GRIB_PDS: No level code for surface type %d%s\n", t1, layer ? " of a layer" : "");
  }
  grd->ltype = ltype;
  grd->level = level;
}

int process_code(unsigned p) {
  switch (p) {
    case 0: return 3000000;
    case 1: return 4000000;
    case 2: return 6000000;
    case 3: return 7000000;
    case 4: return 5000000;
    default: return 0;
  }
}

const char* process_name(unsigned p) {
  switch (p) {
    case 5: return "root mean square";
    case 6: return "standard deviation";
    case 7: return "covariance";
    case 8: return "difference from the end to the start";
    case 9: return "ratio";
    case 10: return "standardized anomaly";
    case 11: return "summation";
    case 255: return "missing";
    default: return "unknown";
  }
}

/* Time code of a statistical product: process at octet pk, length at lk
 * (its unit in the octet before). A process without a code of its own is
 * a period all the same, from its start to its end. */
int range_time(long pk, long lk) {
  const unsigned unit = oct(18);
  const unsigned lunit = oct(lk - 1);
  const long long s = static_cast<long long>(be_sec(19, 4));
  const long long l = static_cast<long long>(be_sec(lk, 4));
  const unsigned proc = oct(pk);
  MESS_print(M_debug, "TIM %u %lld %lld\n", proc, s, l);
  int k = process_code(proc);
  if (k == 0) {
    /* Its values need not be the parameter's (a standard deviation, a
     * ratio): the period is read, and said to be of another statistic. */
    MESS_print(M_warn,
               "GRIB_PDS: Statistical process %u (%s) has no time code of its own; read as a period of the "
               "parameter\n",
               proc, process_name(proc));
    k = 2000000;
  }
  /* Days and months on from a start in the same unit; any other start and
   * length in hours, whatever units they were given in. */
  if (unit == 2 || unit == 3) {
    if (lunit != unit || s >= 100 || l >= 100 || s + l >= 100) return KEZ_MISS;
    const long long base = unit == 2 ? 800 : 900;
    return to_int(k + (base + s) * 1000LL + base + s + l);
  }
  long long hs = 0, hl = 0;
  if (!unit_hours(s, unit, &hs)) return KEZ_MISS;
  if (lunit == 2)
    hl = 24 * l;
  else if (!unit_hours(l, lunit, &hl))
    return KEZ_MISS;
  int cs = 0, ce = 0;
  if (!period_codes(hs, hs + hl, &cs, &ce)) return KEZ_MISS;
  return to_int(k + cs * 1000LL + ce);
}

} // namespace

int GRIB_PDS(int grd_fd, GRD_report* grd) {
  FILE* f = stream_of(grd_fd);
  if (!f || !grd || !read_section_body(f, "GRIB_PDS")) return 0;
  grd->version = state.version;
  grd->source = state.source;
  grd->date = state.date;
  clear_product();
  state.var_scale = 1.0f;
  const int templ = static_cast<int>(be_sec(8, 2));
  const bool known = templ == 0 || templ == 1 || templ == 2 || templ == 5 || templ == 8 || templ == 9 || templ == 11 ||
                     templ == 12 || templ == 15 || templ == 40;
  /* A chemical constituent's type stands before the process, time and
   * surfaces, two octets later than in the other templates. */
  const long sh = templ == 40 ? 2 : 0;
  if (templ == 50008) {
    grd->time = 0;
    grd->ltype = 1;
    grd->level = 0;
  }
  if (!known) {
    /* Never another field's name, level or time; the parameter is still
     * named from octets 10-11, which every template shares. */
    GribParam p =
        GRIB_get_ver2_param(grd->source, state.discipline, static_cast<int>(oct(10)), static_cast<int>(oct(11)));
    grd->var = p.ind;
    copy_text(grd->units, sizeof grd->units, p.units);
    if (templ != 50008) {
      grd->model = KEZ_MISS;
      grd->ltype = grd->level = grd->time = KEZ_MISS;
    }
  } else {
    GribParam p =
        GRIB_get_ver2_param(grd->source, state.discipline, static_cast<int>(oct(10)), static_cast<int>(oct(11)));
    grd->var = p.ind;
    state.param = p.ind;
    warn_earth_winds("GRIB_PDS");
    copy_text(grd->units, sizeof grd->units, p.units);
    grd->model = static_cast<int>(oct(14 + sh));
    auto member = [&] {
      state.ens = 1;
      /* Control, negatively and positively perturbed; a kind without a
       * tag of its own (multi-model, a centre's own) is type 0. */
      switch (oct(35)) {
        case 0:
        case 1: state.ens_type = 1; break;
        case 2: state.ens_type = 2; break;
        case 3: state.ens_type = 3; break;
        default: state.ens_type = 0; break;
      }
      state.ens_id = static_cast<int>(oct(36));
      state.ens_prod = 1;
      state.ens_smooth = 0;
    };
    auto derived = [&] {
      state.ens = 1;
      state.ens_type = 5;
      state.ens_id = 0;
      state.ens_smooth = 0;
      /* Unweighted and weighted means, the standard deviation; any other
       * derived forecast keeps its own code. */
      const unsigned code = oct(35);
      if (code == 0 || code == 1)
        state.ens_prod = 2;
      else if (code == 2)
        state.ens_prod = 11;
      else
        state.ens_derived = static_cast<int>(code);
    };
    auto probability = [&] {
      state.ens = 1;
      state.ens_type = 5;
      state.ens_id = 0;
      state.ens_prod = 0;
      state.ens_smooth = 0;
      state.ens_prob_var = p.ind;
      grd->var = 191;
      /* Below the lower limit, above the upper, between them, above the
       * lower, below the upper: of an ensemble, or of any other process.
       * Every kind keeps its limit in the number, so that no two
       * probabilities of one parameter share it. */
      static constexpr int table[][5] = {{1, 2, 3, 7, 8}, {4, 5, 6, 7, 8}};
      const unsigned process = oct(12), ptype = oct(37);
      const bool ensemble =
          (templ == 5 && (process == 2 || process == 4 || process == 5)) || (templ == 9 && process == 4);
      if (ptype < 5) state.ens_prob_type = table[ensemble ? 0 : 1][ptype];
      state.ens_prob_low = scaled_value(38, 39);
      state.ens_prob_up = scaled_value(43, 44);
    };
    bool dm = false;
    const int forecast = hours_of(static_cast<long long>(be_sec(19 + sh, 4)), oct(18 + sh), &dm);
    switch (templ) {
      case 0:
      case 15: /* a statistic over an area, at one time */
      case 40:
        /* One quantity of many constituents: each its own number. */
        if (state.discipline == 0 && oct(10) == CHEM_CATEGORY) {
          state.chem = static_cast<int>(be_sec(12, 2));
          state.chem_param = static_cast<int>(oct(11));
        }
        grd->time = forecast;
        break;
      case 1:
        member();
        grd->time = forecast;
        break;
      case 2:
        derived();
        grd->time = forecast;
        break;
      case 5:
        probability();
        grd->time = forecast;
        break;
      case 8: grd->time = range_time(47, 50); break;
      case 9:
        probability();
        grd->time = range_time(60, 63);
        break;
      case 11:
        member();
        grd->time = range_time(50, 53);
        break;
      case 12:
        derived();
        grd->time = range_time(49, 52);
        break;
      default: break;
    }
    if (grd->time == KEZ_MISS)
      MESS_print(M_warn,
                 "GRIB_PDS: No time code for the time of product template 4.%d (forecast time %lu in unit %u)\n", templ,
                 be_sec(19 + sh, 4), oct(18 + sh));
    set_surfaces(grd, sh);
    /* A net flux at the nominal top is the top's own parameter, not the
     * surface's. */
    if (grd->ltype == 8) {
      if (grd->var == 111 || grd->var == 112) grd->var += 2;
      if (state.ens_prob_var == 111 || state.ens_prob_var == 112) state.ens_prob_var += 2;
    }
    accumulated_units(grd);
  }
  GRIB_set_var(grd);
  char label[DATE_LABEL_LEN] = {};
  DATE_make_label_for_time(grd->time, grd->source * 1000 + grd->model, &grd->date, label);
  copy_text(grd->datim, sizeof grd->datim, label);
  return 1;
}
