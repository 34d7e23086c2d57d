/*
 * grd_read_gc: WMO GRID-code bulletins, for grd_read.
 *
 * GRID-code bulletins (22) are decoded grid after grid, each on the fixed
 * 19 by 15 latitude-longitude geometry of its identifier; the state that
 * runs from record to record is kept per record so that any record can be
 * read again.
 */
#include "grd_read_impl.h"
#include "kezgrd.h"

#include <sys/stat.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

using namespace grd_read_impl;

namespace {

/* ---- WMO GRID-code bulletins --------------------------------------------------- */

constexpr int kGcCols = 19;
constexpr int kGcRows = 15;
constexpr float kGcSpacing = 5.0f;
constexpr size_t kGcTokenMax = 32;
constexpr int kGcMaxRecords = 100000;

struct GcCentre {
  float clat, clon;
};
/* Centres of the fixed grids by identifier 1 to 12. */
constexpr GcCentre gc_centres[] = {{55, -45}, {55, -135}, {55, 135},  {55, 45},    {0, -45},   {0, -135},
                                   {0, 135},  {0, 45},    {-55, -45}, {-55, -135}, {-55, 135}, {-55, 45}};

struct GcScale {
  char code;
  float factor;
};
constexpr GcScale gc_scales[] = {{'1', 0.1f},   {'2', 0.01f},   {'3', 0.001f},   {'4', 0.0001f},  {'5', 10.0f},
                                 {'6', 100.0f}, {'7', 1000.0f}, {'8', 10000.0f}, {'9', 100000.0f}};

/* The next blank-separated token; false at the end of the file. A token
 * longer than kGcTokenMax is cut there (the rest is consumed). */
bool gc_token(FILE* fp, std::string* tok) {
  tok->clear();
  int c;
  while ((c = std::getc(fp)) != EOF && is_space(c)) {
  }
  while (c != EOF && !is_space(c)) {
    if (tok->size() < kGcTokenMax) *tok += static_cast<char>(c);
    c = std::getc(fp);
  }
  if (c != EOF) std::ungetc(c, fp);
  return !tok->empty();
}

/* Characters from..to (1-based) of a group as a number; -1 when they are
 * not all digits. */
int gc_digits(const std::string& g, size_t from, size_t to) {
  if (g.size() < to) return -1;
  int v = 0;
  for (size_t i = from - 1; i < to; ++i) {
    if (g[i] < '0' || g[i] > '9') return -1;
    v = v * 10 + (g[i] - '0');
  }
  return v;
}

void gc_skip_blanks(FILE* fp) {
  int c;
  while ((c = std::getc(fp)) != EOF && is_space(c)) {
  }
  if (c != EOF) std::ungetc(c, fp);
}

/* width digits in a row as one number; false when one is missing. */
bool gc_packed(FILE* fp, int width, long* v) {
  long x = 0;
  for (int i = 0; i < width; ++i) {
    int c = std::getc(fp);
    if (c < '0' || c > '9') return false;
    x = x * 10 + (c - '0');
  }
  *v = x;
  gc_skip_blanks(fp);
  return true;
}

/* The year of a two-digit year group, as the suite reads years without
 * their century: below 50 this century's. */
int gc_year(int yy) { return yy <= 49 ? 2000 + yy : 1900 + yy; }

/* What gc_read gives for a grid whose values cannot be read: the stream
 * is at the "GRID" group of the next bulletin. */
constexpr int kGcSkipped = 1;

/* Passes over the rest of a grid whose rows cannot be told apart, up to the
 * "GRID" group that begins the next bulletin (left unread): true when one
 * follows. Its value groups must not be taken for grids. */
bool gc_skip_to_next(FILE* fp) {
  std::string tok;
  for (;;) {
    const long at = std::ftell(fp);
    if (!gc_token(fp, &tok)) return false;
    if (tok == "GRID") {
      std::fseek(fp, at, SEEK_SET);
      return true;
    }
  }
}

/* Reads the grid at the stream position (values into grd when want, the
 * rows skipped otherwise), leaving the stream after it. 0; -1 when no grid
 * begins there or the grid is cut short; kGcSkipped when its values cannot
 * be read and another bulletin follows. */
int gc_read(FILE* fp, GRD_report* grd, bool want, GcCarry* carry) {
  std::string tok;
  if (!gc_token(fp, &tok)) return -1;
  if (tok == "GRID" && !gc_token(fp, &tok)) return -1;
  const int src = gc_digits(tok, 1, 2);
  const int gid = gc_digits(tok, 3, 5);
  if (src < 0 || gid < 0 || tok.size() != 5) {
    if (tok != "NNNN") MESS_print(M_warn, "GRD_read: Invalid GRID identification group: %s\n", tok.c_str());
    return -1;
  }
  std::free(grd->grid);
  GRD_init(grd);
  grd->version = 1;
  grd->source = src;
  grd->model = src;
  grd->type = gid + 70;
  grd->time = 0;
  std::string g;
  if (!gc_token(fp, &g) || !gc_token(fp, &g)) return -1;
  int var = KEZ_MISS, ltype = KEZ_MISS, level = KEZ_MISS;
  int year = 0, month = 1, day = 1, hour = 0;
  /* The identification groups, each optional, in their order. */
  if (!gc_token(fp, &g)) return -1;
  const char ident_order[] = {'1', '2', '3', '6', '7', '8', '0'};
  for (char key : ident_order) {
    if (g.empty() || g[0] != key) continue;
    if (g.size() != 5 || gc_digits(g, 1, 5) < 0) {
      MESS_print(M_warn, "GRD_read: Invalid GRID group: %s\n", g.c_str());
      return -1;
    }
    switch (key) {
      case '1': var = gc_digits(g, 2, 3); break;
      case '2':
        ltype = 10;
        level = gc_digits(g, 2, 3) * 10;
        break;
      case '3':
        level = gc_digits(g, 2, 3) * 10;
        ltype = level == 0 ? 12 : 13;
        break;
      case '6':
        year = gc_digits(g, 2, 3);
        month = gc_digits(g, 4, 5);
        break;
      case '7':
        day = gc_digits(g, 2, 3);
        hour = gc_digits(g, 4, 5);
        break;
      case '8': grd->time = gc_digits(g, 3, 5); break;
      default: break;
    }
    if (!gc_token(fp, &g)) return -1;
  }
  /* g is the group skipped after them. */
  if (var == 22) {
    carry->wind_dec = carry->run22 ? (carry->wind_dec == 1 ? 2 : 0) : 1;
    carry->run22 = carry->wind_dec != 0;
  } else {
    carry->wind_dec = 0;
    carry->run22 = false;
  }
  if (carry->wind_dec == 1) var = 23;
  if (carry->wind_dec == 2) var = 24;
  /* The bulletin's own numbers in the numbering of every grid record; a
   * third wind field of a run keeps its packed values and is no field
   * that numbering has. */
  const int code = carry->wind_dec == 0 && var == 22 ? 0 : var;
  grd->units[0] = '\0';
  grd->var = var == KEZ_MISS ? KEZ_MISS : GRD_old_param(code, grd->units, sizeof grd->units);
  grd->ltype = ltype;
  grd->level = level;
  int sign_mode = 0;
  float scale = 1.0f, ref = 0.0f;
  if (!gc_token(fp, &g)) return -1;
  if (!g.empty() && g[0] == '1') {
    sign_mode = g.size() >= 5 ? g[4] - '0' : 0;
    if (!gc_token(fp, &g)) return -1;
  }
  if (!g.empty() && g[0] == '2') {
    int d = gc_digits(g, 2, 2);
    carry->bpval = d < 0 ? 0 : (sign_mode == 1 ? d - 1 : d);
    if (!gc_token(fp, &g)) return -1;
  }
  if (!g.empty() && g[0] == '3') {
    for (const GcScale& sc : gc_scales)
      if (g.size() >= 2 && g[1] == sc.code) scale = sc.factor;
    std::string r;
    if (!gc_token(fp, &r) || !parse_float(r, &ref)) {
      MESS_print(M_warn, "GRD_read: Invalid GRID reference value\n");
      return -1;
    }
    if (var == 4) ref = -ref;
    ref *= scale;
    if (!gc_token(fp, &g)) return -1;
  }
  /* g is the first row marker. */
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23) {
    MESS_print(M_warn, "GRD_read: Invalid GRID date groups\n");
    return -1;
  }
  struct tm t {};
  t.tm_year = gc_year(year) - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  const long base = DATE_num_sec_tm(&t);
  grd->date.year = gc_year(year);
  grd->date.month = month;
  grd->date.day = day;
  grd->date.hour = hour;
  if (grd->var == 0)
    std::snprintf(grd->info, sizeof grd->info, "GRID parameter %d", var);
  else
    VAR_make_datatype(grd->time, grd->ltype, grd->level, grd->var, grd->units, grd->info,
                      static_cast<int>(sizeof grd->info));
  std::string label;
  DATE_make_label_for(grd->time, grd->model, base, &label);
  copy_field(grd->datim, sizeof grd->datim, label);
  DOM_init(&grd->domain);
  const bool fixed = gid >= 1 && gid <= 12;
  if (fixed) {
    grd->domain.proj = 2;
    grd->domain.nx = kGcCols;
    grd->domain.ny = kGcRows;
    grd->domain.dx = grd->domain.dy = kGcSpacing;
    grd->domain.clat = gc_centres[gid - 1].clat;
    grd->domain.clon = gc_centres[gid - 1].clon;
    grd->domain.plon = grd->domain.clon;
  }
  std::vector<float> vals(static_cast<size_t>(kGcCols) * kGcRows, KEZ_FMISS);
  const int width = carry->bpval;
  for (int row = 0; row < kGcRows; ++row) {
    if (row > 0 && !gc_token(fp, &g)) {
      MESS_print(M_warn, "GRD_read: GRID grid ends after %d rows\n", row);
      return -1;
    }
    std::string label_tok;
    if (!gc_token(fp, &label_tok)) return -1;
    const int at = gid <= 4 ? kGcRows - 1 - row : row;
    float* out = &vals[static_cast<size_t>(at) * kGcCols];
    if (!g.empty() && g[0] == '9') {
      std::string v;
      float x = 0;
      if (!gc_token(fp, &v) || !parse_float(v, &x)) {
        MESS_print(M_warn, "GRD_read: Invalid GRID constant row\n");
        return -1;
      }
      std::fill(out, out + kGcCols, ref + x * scale);
      continue;
    }
    if (width < 3 || width > 5) {
      /* Without the width the values cannot be told from the next rows
       * and grids: the grid is dropped, never read as other grids. */
      if (gc_skip_to_next(fp)) {
        MESS_print(M_warn, "GRD_read: GRID values of %d digits cannot be read; grid skipped\n", width);
        return kGcSkipped;
      }
      MESS_print(M_warn, "GRD_read: GRID values of %d digits cannot be read; the bulletin ends here\n", width);
      return -1;
    }
    gc_skip_blanks(fp);
    for (int c = 0; c < kGcCols; ++c) {
      long sgn = 0, v = 0;
      if ((sign_mode == 1 && !gc_packed(fp, 1, &sgn)) || !gc_packed(fp, width, &v)) {
        MESS_print(M_warn, "GRD_read: Bad GRID value in row %d\n", row + 1);
        return -1;
      }
      if (sign_mode == 3 || sgn == 1) v = -v;
      const double deg = static_cast<double>(v / 100) * M_PI / 180.0;
      const double speed = static_cast<double>(v % 100);
      if (carry->wind_dec == 1)
        out[c] = static_cast<float>(-speed * std::sin(deg));
      else if (carry->wind_dec == 2)
        out[c] = static_cast<float>(-speed * std::cos(deg));
      else
        out[c] = ref + static_cast<float>(v) * scale;
    }
  }
  if (want && fixed) {
    if (!GRD_alloc(grd)) return -1;
    std::copy(vals.begin(), vals.end(), grd->grid);
  }
  return 0;
}

/* Record n of a bulletin, scanning forward as far as needed; the stream is
 * left at its start. */
bool gc_locate(Slot& s, int n, GcCarry* carry) {
  FILE* fp = s.f->file;
  if (n >= kGcMaxRecords) return false;
  while (static_cast<int>(s.grib.size()) <= n) {
    if (s.grib_scan < 0) return false;
    const long start = s.grib_scan;
    std::fseek(fp, start, SEEK_SET);
    GcCarry c = s.gc_carry;
    GRD_report tmp{};
    const int r = gc_read(fp, &tmp, false, &c);
    if (r == kGcSkipped) {
      s.gc_carry = c;
      s.grib_scan = std::ftell(fp);
      continue;
    }
    if (r != 0) {
      s.grib_scan = -1;
      return false;
    }
    s.grib.push_back(GribRec{start, 0});
    s.gc_starts.push_back(s.gc_carry);
    s.gc_carry = c;
    s.grib_scan = std::ftell(fp);
  }
  *carry = s.gc_starts[static_cast<size_t>(n)];
  std::fseek(fp, s.grib[static_cast<size_t>(n)].msg, SEEK_SET);
  return true;
}

} // namespace

namespace grd_read_impl {

int gc_getinfo(Slot& s, GRD_info* info) {
  FILE* fp = s.f->file;
  std::rewind(fp);
  std::string g;
  info->grid_type = 0;
  if (!gc_token(fp, &g)) {
    MESS_print(M_warn, "GRD_getinfo: Empty GRID file\n");
    return -1;
  }
  int skip = g == "GRID" ? 3 : 2;
  for (int i = 0; i < skip; ++i)
    if (!gc_token(fp, &g)) {
      MESS_print(M_warn, "GRD_getinfo: GRID file ends in its identification\n");
      return -1;
    }
  Date d{};
  d.month = d.day = 1;
  bool any = gc_token(fp, &g);
  for (char key : {'1', '2', '3', '6', '7'}) {
    if (!any || g.empty() || g[0] != key) continue;
    if (key == '6') {
      d.year = gc_year(std::max(gc_digits(g, 2, 3), 0));
      d.month = gc_digits(g, 4, 5);
    } else if (key == '7') {
      d.day = gc_digits(g, 2, 3);
      d.hour = gc_digits(g, 4, 5);
    }
    any = gc_token(fp, &g);
  }
  if (d.month < 1 || d.month > 12) d.month = 1;
  if (d.day < 1 || d.day > 31) d.day = 1;
  if (d.hour < 0 || d.hour > 23) d.hour = 0;
  info->date = d;
  char label[DATE_LABEL_LEN] = {};
  DATE_make_label(&info->date, label);
  copy_field(info->datim, sizeof info->datim, label);
  s.f->date = d;
  std::rewind(fp);
  s.grib.clear();
  s.gc_starts.clear();
  s.grib_scan = 0;
  s.gc_carry = GcCarry{};
  s.first_rec = 0;
  s.f->num = 0;
  return 0;
}

int gc_read_record(Slot& s, GRD_report* grd, int rep_type, int* grdnum) {
  if (s.is_std) {
    MESS_print(M_warn, "GRD_read: GRID files cannot be read from a stream\n");
    return -1;
  }
  if (s.first_rec < 0) {
    GRD_info info{};
    if (gc_getinfo(s, &info) != 0) return -1;
  }
  const int n = *grdnum < 0 ? 0 : *grdnum;
  GcCarry carry;
  if (!gc_locate(s, n, &carry)) return -1;
  const long start = std::ftell(s.f->file);
  state.cur_pos = start;
  const bool want = rep_type == GRD_READ_ALL;
  int r = gc_read(s.f->file, grd, want, &carry);
  std::fseek(s.f->file, start, SEEK_SET);
  if (r != 0) return -1;
  s.f->num = n;
  *grdnum = n;
  return 0;
}

} // namespace grd_read_impl
