/*
 * ua_read: upper-air report files.
 *
 * Owns the one open upper-air file of the process: detection of its layout,
 * opening and closing, its header (read and written), rewinding, and reading
 * its reports by index into a UPA_report. The text layouts carry each level
 * as the radiosonde code's five-character groups (PPhhh, TTTDD, dddff), which
 * the group coders (ua_read_code.cpp) turn into values and back; the netCDF
 * layouts are read and written only through the netCDF access layer
 * (kezcdf.h), whose calls never let the library end the process. The
 * sounding programs' prompt layer reads files through these calls; decoders
 * write them (ua_read_write.cpp). The files share the state of
 * ua_read_impl.h, which is defined here.
 *
 * Every file is hostile: tokens are read whole and cut, a token that is
 * neither a marker nor a group of its kind decodes to missing values, a
 * report cut short keeps the rest of its record missing, and the counts of
 * a netCDF record are limited to the record's sizes before any read.
 */
#include "kezupa.h"

#include "kezcdf.h"
#include "ua_read_impl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

using namespace ua_read_impl;

namespace ua_read_impl {

/* The one open upper-air file of the process. */
State state;

} // namespace ua_read_impl

namespace {

/* The first word of a report holds at most this many characters. */
constexpr size_t first_word_max = 39;
/* The text of the date label, without its terminator. */
constexpr size_t datim_max = sizeof(UPA_info{}.datim) - 1;
constexpr const char* default_history = "Upper air converted file from KEZ decoders";

enum class Shape { text, single, mant, sigt, sigw };
enum class Kind { chars, count, wmo, value };

struct CdfSchema {
  const char* name11;
  const char* name12;
  Shape shape;
  Kind kind;
  const char* long_name;
  const char* units11; /* nullptr: none */
  const char* units12;
  float min;
  float max;
};

/* The count ranges admit every count the record holds. */
constexpr std::array<CdfSchema, V_COUNT> schema{{
    {"id", "id", Shape::text, Kind::chars, "Station ID", nullptr, nullptr, 0, 0},
    {"region", "region", Shape::text, Kind::chars, "Region ID", nullptr, nullptr, 0, 0},
    {"type", "type", Shape::text, Kind::chars, "Report Origination", nullptr, nullptr, 0, 0},
    {"idn", "idn", Shape::single, Kind::wmo, "WMO Numeric Station ID", nullptr, nullptr, 0, 0},
    {"lat", "lat", Shape::single, Kind::value, "Latitude", "degrees_N", "degrees_N", -90, 90},
    {"lon", "lon", Shape::single, Kind::value, "Longitude", "degrees_E", "degrees_E", -180, 180},
    {"num_mant", "num_mant", Shape::single, Kind::count, "Number of Mandatory Levels", nullptr, nullptr, 0,
     UPA_NUM_MAN},
    {"num_sigt", "num_sigt", Shape::single, Kind::count, "Number of Significant Levels wrt T", nullptr, nullptr, 0,
     UPA_NUM_SIG},
    {"num_sigw", "num_sigw", Shape::single, Kind::count, "Number of Significant Levels wrt W", nullptr, nullptr, 0,
     UPA_NUM_WND},
    {"p_man", "P_man", Shape::mant, Kind::value, "Pressure - Mandatory Levels", "hectopascals", "hectopascals", 0,
     1500},
    {"z_man", "Z_man", Shape::mant, Kind::value, "Geopotential - Mandatory Levels", "meters", "meters", -150, 100000},
    {"t_man", "T_man", Shape::mant, Kind::value, "Temperature - Mandatory Levels", "celsius", "celsius", -100, 100},
    {"td_man", "TD_man", Shape::mant, Kind::value, "Dew Point - Mandatory Levels", "celsius", "celsius", -100, 100},
    {"dir_man", "DIR_man", Shape::mant, Kind::value, "Wind Direction - Mandatory Levels", "degrees", "degrees", 0, 360},
    {"spd_man", "SPD_man", Shape::mant, Kind::value, "Wind Speed - Mandatory Levels", "knots", "meters/second", 0, 300},
    {"p_sigt", "P_sigt", Shape::sigt, Kind::value, "Pressure - Significant Levels wrt T", "hectopascals",
     "hectopascals", 0, 1500},
    {"t_sigt", "T_sigt", Shape::sigt, Kind::value, "Temperature - Significant Levels wrt T", "celsius", "celsius", -100,
     100},
    {"td_sigt", "TD_sigt", Shape::sigt, Kind::value, "Dew Point - Significant Levels wrt T", "celsius", "celsius", -100,
     100},
    {"z_sigw", "Z_sigw", Shape::sigw, Kind::value, "Altitude - Significant Levels wrt W", "feet", "meters", -150,
     100000},
    {"dir_sigw", "DIR_sigw", Shape::sigw, Kind::value, "Wind Direction - Significant Levels wrt W", "degrees",
     "degrees", 0, 360},
    {"spd_sigw", "SPD_sigw", Shape::sigw, Kind::value, "Wind Speed - Significant Levels wrt W", "knots",
     "meters/second", 0, 300},
}};

bool is_text(int t) { return t >= UPA_FT_OLD_SHORT && t <= UPA_FT_OPEN_LOC; }

/* ---- text tokens -------------------------------------------------------------------- */

/* The text reader: tokens are separated by white space; a token longer
 * than token_max is read whole and cut. */
struct Reader {
  FILE* fp;
  bool at_end = false;

  bool token(std::string* out) {
    out->clear();
    int c;
    while ((c = std::getc(fp)) != EOF && std::isspace(c)) {
    }
    if (c == EOF) {
      at_end = true;
      return false;
    }
    do {
      if (out->size() < token_max) *out += static_cast<char>(c);
    } while ((c = std::getc(fp)) != EOF && !std::isspace(c));
    if (c != EOF) std::ungetc(c, fp);
    return true;
  }
  std::string next() {
    std::string t;
    token(&t);
    return t;
  }
  void skip(int n) {
    std::string t;
    for (int i = 0; i < n && !at_end; ++i) token(&t);
  }
  void skip_space() {
    int c;
    while ((c = std::getc(fp)) != EOF && std::isspace(c)) {
    }
    if (c != EOF) std::ungetc(c, fp);
  }
};

/* A number that fills the whole token ("013", "7.5"); missing otherwise. */
float token_value(const std::string& t) {
  if (t.empty()) return KEZ_FMISS;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 1e6) return KEZ_FMISS;
  return static_cast<float>(v);
}

/* The pressure of a significant entry: three characters at most, and 1000
 * added to a value below 100 written with a leading 0 ("013", not "0.5"). */
float sig_pressure(const std::string& t) {
  if (t.size() > 3) return KEZ_FMISS;
  float p = token_value(t);
  if (!missing(p) && p < 100 && t[0] == '0' && t.find('.') == std::string::npos) p += 1000;
  return p;
}

void set_text(char* dst, std::string_view src, size_t max) {
  const size_t n = std::min(src.size(), max);
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

/* The first word: the identifier, and in type 5 "wmo:id:lat:lon". */
void first_word(const std::string& word, UPA_report* r) {
  const std::string w = word.substr(0, first_word_max);
  if (state.file_type != UPA_FT_OPEN_LOC) {
    set_text(r->id, w, UPA_ID_LEN - 1);
    return;
  }
  const size_t c1 = w.find(':');
  const float wmo = token_value(w.substr(0, c1));
  if (!missing(wmo) && wmo == std::floor(wmo) && std::fabs(wmo) < 1e6f) r->wmo = static_cast<int>(wmo);
  if (c1 == std::string::npos) return;
  const size_t c2 = w.find(':', c1 + 1);
  set_text(r->id, std::string_view(w).substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1),
           UPA_ID_LEN - 1);
  if (c2 == std::string::npos) return;
  const size_t c3 = w.find(':', c2 + 1);
  const float lat = token_value(w.substr(c2 + 1, c3 == std::string::npos ? std::string::npos : c3 - c2 - 1));
  if (missing(lat) || c3 == std::string::npos) return;
  const float lon = token_value(w.substr(c3 + 1));
  if (missing(lon)) return;
  r->lat = lat;
  r->lon = lon;
}

void read_triplet(Reader& in, UPA_level* m, const std::string& ph) {
  decd_ph(ph.c_str(), &m->p, &m->h);
  const std::string td = in.next();
  decd_td(td.c_str(), &m->t, &m->td);
  const std::string wd = in.next();
  decd_wd(wd.c_str(), &m->dir, &m->spd);
}

/* A whole text report and what the surface read looks at. */
struct TextReport {
  UPA_report rep;
  int sig_count = KEZ_MISS;  /* the count token of types 1 and 2 */
  std::string sig_p, sig_td; /* the first significant entry's tokens */
  std::string wnd_h, wnd_dd; /* the first wind entry's tokens */
};

/* Reads the report at which the stream stands; -1 without a first word. */
int read_text_report(Reader& in, TextReport* out) {
  UPA_report& r = out->rep;
  UPA_initialize(&r);
  const int type = state.file_type;
  const bool old = type == UPA_FT_OLD_SHORT || type == UPA_FT_OLD_LONG;
  const bool fixed = type == UPA_FT_FIXED;
  int nwnd_fixed = 0;
  if (type == UPA_FT_OLD_SHORT) {
    r.numman = 5;
    r.numsig = old_short_sig;
    nwnd_fixed = static_cast<int>(old_short_heights.size());
    for (int i = 0; i < nwnd_fixed; ++i) r.wnd[i].h = old_short_heights[i];
  } else if (type == UPA_FT_OLD_LONG) {
    r.numman = 11;
    r.numsig = old_long_sig;
    nwnd_fixed = static_cast<int>(old_long_heights.size());
    for (int i = 0; i < nwnd_fixed; ++i) r.wnd[i].h = old_long_heights[i];
  } else {
    r.numman = 17;
  }
  r.numwnd = nwnd_fixed;

  std::string word;
  if (!in.token(&word)) return -1;
  first_word(word, &r);

  /* Mandatory triplets. */
  if (old) {
    const int* slots = type == UPA_FT_OLD_SHORT ? old_short_slots.data() : old_long_slots.data();
    const size_t n = type == UPA_FT_OLD_SHORT ? old_short_slots.size() : old_long_slots.size();
    for (size_t i = 0; i < n; ++i) read_triplet(in, &r.man[slots[i]], in.next());
  } else {
    read_triplet(in, &r.man[UPA_SLOT_1000], in.next());
    int slot = UPA_SLOT_925;
    if (fixed) {
      /* The 925 hPa triplet is there only when it says 925. */
      const std::string ph = in.next();
      float p, h;
      decd_ph(ph.c_str(), &p, &h);
      if (p == 925.0f) {
        read_triplet(in, &r.man[UPA_SLOT_925], ph);
      } else {
        read_triplet(in, &r.man[UPA_SLOT_850], ph);
        r.man[UPA_SLOT_850].p = 850.0f;
      }
      slot = p == 925.0f ? UPA_SLOT_850 : UPA_SLOT_850 + 1;
    }
    for (; slot <= UPA_SLOT_10; ++slot) read_triplet(in, &r.man[slot], in.next());
    r.numman = 19;
    std::string t = in.next();
    for (int s = UPA_SLOT_ABOVE; s <= UPA_SLOT_ABOVE_END && !t.empty() && t[0] == '-'; ++s) {
      read_triplet(in, &r.man[s], t);
      t = in.next();
      ++r.numman;
    }
    /* Tropopause and maximum wind: 88PPP and 77PPP carry the pressure. */
    float p, h;
    decd_ph(t.c_str(), &p, &h);
    r.man[UPA_SLOT_TROP].p = h;
    std::string g = in.next();
    decd_td(g.c_str(), &r.man[UPA_SLOT_TROP].t, &r.man[UPA_SLOT_TROP].td);
    g = in.next();
    decd_wd(g.c_str(), &r.man[UPA_SLOT_TROP].dir, &r.man[UPA_SLOT_TROP].spd);
    g = in.next();
    decd_ph(g.c_str(), &p, &h);
    r.man[UPA_SLOT_MAXW].p = h;
    g = in.next();
    decd_wd(g.c_str(), &r.man[UPA_SLOT_MAXW].dir, &r.man[UPA_SLOT_MAXW].spd);
  }

  /* Significant levels. */
  int places = fixed_places;
  bool marker_ended = false;
  if (old) {
    const std::string c = in.next();
    const float v = token_value(c);
    out->sig_count = missing(v) || v < 0 ? 0 : static_cast<int>(std::min(v, 1000.0f));
    places = out->sig_count;
  }
  int nsig = 0;
  for (; (!fixed || nsig < places) && (!old || nsig < places) && !in.at_end; ++nsig) {
    const std::string pt = in.next();
    if (pt == "X" || pt.empty()) {
      marker_ended = pt == "X";
      break;
    }
    const std::string tt = in.next();
    if (nsig == 0) {
      out->sig_p = pt;
      out->sig_td = tt;
    }
    if (nsig >= UPA_NUM_SIG) continue;
    UPA_sig& s = r.sig[nsig];
    s.p = sig_pressure(pt);
    decd_td(tt.c_str(), &s.t, &s.td);
    if (nsig == 0 && !missing(s.p) && s.p > 500) {
      r.man[UPA_SLOT_SFC].p = s.p;
      r.man[UPA_SLOT_SFC].t = s.t;
      r.man[UPA_SLOT_SFC].td = s.td;
    }
  }
  r.numsig = std::min(nsig, UPA_NUM_SIG);
  if (old) {
    const int cap = type == UPA_FT_OLD_SHORT ? old_short_sig : old_long_sig;
    if (nsig < cap) in.skip(2 * (cap - nsig));
    r.numsig = std::min(out->sig_count, UPA_NUM_SIG);
  } else if (fixed && nsig < fixed_places) {
    in.skip(fixed_places - nsig - (marker_ended ? 1 : 0));
  }

  /* Wind levels. */
  if (old) {
    for (int i = 0; i < nwnd_fixed; ++i) {
      const std::string g = in.next();
      if (i == 0) out->wnd_dd = g;
      decd_wd(g.c_str(), &r.wnd[i].dir, &r.wnd[i].spd);
    }
    r.man[UPA_SLOT_SFC].dir = r.wnd[0].dir;
    r.man[UPA_SLOT_SFC].spd = r.wnd[0].spd;
  } else {
    int nwnd = 0;
    bool dollar = false;
    marker_ended = false;
    for (; (!fixed || nwnd < fixed_places) && !in.at_end; ++nwnd) {
      const std::string ht = in.next();
      if (ht == "X" || ht == "$" || ht.empty()) {
        marker_ended = ht == "X";
        dollar = ht == "$";
        break;
      }
      const std::string g = in.next();
      if (nwnd == 0) {
        out->wnd_h = ht;
        out->wnd_dd = g;
      }
      if (nwnd >= UPA_NUM_WND) continue;
      UPA_wnd& w = r.wnd[nwnd];
      const float hv = ht.size() <= 2 ? token_value(ht) : KEZ_FMISS;
      w.h = missing(hv) ? KEZ_FMISS : hv * 1000.0f;
      decd_wd(g.c_str(), &w.dir, &w.spd);
      if (nwnd == 0 && w.h == 0.0f) {
        r.man[UPA_SLOT_SFC].dir = w.dir;
        r.man[UPA_SLOT_SFC].spd = w.spd;
      }
    }
    r.numwnd = std::min(nwnd, UPA_NUM_WND);
    if (fixed) {
      if (nwnd < fixed_places) in.skip(fixed_places - nwnd - (marker_ended ? 1 : 0));
    } else if (!dollar) {
      std::string t;
      while (in.token(&t) && t != "$") {
      }
    }
  }

  /* Without significant levels the surface is the lowest level reported. */
  if (r.numsig == 0 && missing(r.man[UPA_SLOT_1000].t))
    r.man[UPA_SLOT_SFC].p = r.man[UPA_SLOT_1000].p;
  else if (r.numsig == 0 && missing(r.man[UPA_SLOT_925].t))
    r.man[UPA_SLOT_SFC].p = r.man[UPA_SLOT_925].p;
  in.skip_space();
  return 0;
}

void copy_first_word(const UPA_report& from, UPA_report* to) {
  std::memcpy(to->id, from.id, sizeof to->id);
  to->wmo = from.wmo;
  to->lat = from.lat;
  to->lon = from.lon;
}

bool slot_mode(int mode) {
  return (mode >= UPA_SLOT_1000 && mode <= UPA_SLOT_10) || mode == UPA_SLOT_TROP || mode == UPA_SLOT_MAXW;
}

int read_text(UPA_report* report, int mode, int n) {
  FILE* fp = state.cvt_file.get();
  if (!fp || state.file_access != UPA_ACC_READ) return -1;
  if (n < 0) return -1;
  if (n == state.last_num && state.cur_pos > 0 && n < state.stat_num) {
    if (std::fseek(fp, state.cur_pos, SEEK_SET) != 0) return -1;
    state.stat_num = n;
  } else if (state.stat_num < 0 || n < state.stat_num) {
    if (UPA_rewind(0) != 0) return -1;
  }
  Reader in{fp};
  auto scratch = std::make_unique<TextReport>();
  while (state.stat_num < n) {
    in.skip_space();
    if (read_text_report(in, scratch.get()) != 0) return -1;
    ++state.stat_num;
  }
  in.skip_space();
  const long pos = std::ftell(fp);
  TextReport& tr = *scratch;
  if (read_text_report(in, &tr) != 0) {
    state.last_num = -1;
    state.cur_pos = -1;
    return -1;
  }
  state.cur_pos = pos;
  state.last_num = n;
  state.stat_num = n + 1;

  const int keep_type = report->type;
  UPA_initialize(report);
  const UPA_report& full = tr.rep;
  const int type = state.file_type;
  const bool old = type == UPA_FT_OLD_SHORT || type == UPA_FT_OLD_LONG;
  if (mode == UPA_REP_FULL) {
    *report = full;
    report->type = keep_type;
    return 0;
  }
  copy_first_word(full, report);
  if (mode == UPA_REP_ID) return 0;
  UPA_level& sfc = report->man[UPA_SLOT_SFC];
  if (mode == UPA_REP_SFC) {
    report->numsig = old ? tr.sig_count : KEZ_MISS;
    const bool none = tr.sig_p.empty() || tr.sig_p == "X" || (old && tr.sig_count == 0);
    if (!none) {
      const float p = sig_pressure(tr.sig_p);
      if (!missing(p) && p >= 500) {
        sfc.p = p;
        decd_td(tr.sig_td.c_str(), &sfc.t, &sfc.td);
      }
    }
    if (old) {
      decd_wd(tr.wnd_dd.c_str(), &sfc.dir, &sfc.spd);
    } else if (tr.wnd_h.size() >= 2 && token_value(tr.wnd_h) == 0.0f) {
      decd_wd(tr.wnd_dd.c_str(), &sfc.dir, &sfc.spd);
    }
    return 0;
  }
  if (slot_mode(mode)) sfc = full.man[mode];
  report->numman = 1;
  return 0;
}

/* ---- netCDF -------------------------------------------------------------------------- */

void read_cdf_text(int var, char* dst) {
  char buf[UPA_ID_LEN] = "";
  if (CDF_get_str(var, UPA_ID_LEN - 1, buf) == 1) set_text(dst, view(buf), UPA_ID_LEN - 1);
}

int read_count(int var, int max) {
  const long v = CDF_get_long(var);
  if (v < 0 || v == KEZ_MISS) return 0;
  return v > max ? max : static_cast<int>(v);
}

float knots(float v, bool si) { return si && !missing(v) ? v * UPA_MS_TO_KT : v; }

int read_cdf(UPA_report* report, int mode, int n) {
  if (n < 0 || n >= state.num_station) return -1;
  const int keep_type = report->type;
  UPA_initialize(report);
  report->type = keep_type;
  const bool si = state.file_type == UPA_FT_CDF_SI;
  const auto& id = state.var_id;
  const bool level = mode == UPA_REP_SFC || slot_mode(mode);
  if (!level && mode != UPA_REP_FULL && mode != UPA_REP_ID && mode != UPA_REP_LOCATION) return 0;
  CDF_set_fd(state.cdf_fd);
  CDF_set_pos(1, n);
  read_cdf_text(id[V_ID], report->id);
  CDF_set_pos(1, n);
  const long wmo = CDF_get_long(id[V_IDN]);
  report->wmo = wmo > -1000000000L && wmo < 1000000000L ? static_cast<int>(wmo) : KEZ_MISS;
  if (mode == UPA_REP_ID) return 0;

  if (id[V_REGION] == CDF_NO_ID) {
    std::snprintf(report->area, sizeof report->area, "UN");
  } else {
    CDF_set_pos(1, n);
    read_cdf_text(id[V_REGION], report->area);
  }
  CDF_set_pos(1, n);
  report->lat = CDF_get_float(id[V_LAT]);
  report->lon = CDF_get_float(id[V_LON]);
  /* Version-1 files hold longitudes with the opposite sign. */
  if (state.version == 1.0f && !missing(report->lon)) report->lon = -report->lon;
  CDF_set_pos(2, n, 0);
  report->elev = CDF_get_float(id[V_Z_MAN]);
  if (mode == UPA_REP_LOCATION) return 0;

  if (level) {
    CDF_set_pos(2, n, UPA_SLOT_925);
    const float p2 = CDF_get_float(id[V_P_MAN]);
    int slot = mode;
    if (mode > UPA_SLOT_1000 && p2 == 850.0f) slot = mode - 1;
    if (mode == UPA_SLOT_925 && p2 == 850.0f) return 0;
    CDF_set_pos(2, n, slot);
    UPA_level& m = report->man[UPA_SLOT_SFC];
    m.p = CDF_get_float(id[V_P_MAN]);
    m.h = CDF_get_float(id[V_Z_MAN]);
    m.t = CDF_get_float(id[V_T_MAN]);
    m.td = CDF_get_float(id[V_TD_MAN]);
    m.dir = CDF_get_float(id[V_DIR_MAN]);
    m.spd = knots(CDF_get_float(id[V_SPD_MAN]), si);
    return 0;
  }

  CDF_set_pos(1, n);
  const int nman = read_count(id[V_NUM_MANT], UPA_NUM_MAN);
  const int nsig = read_count(id[V_NUM_SIGT], UPA_NUM_SIG);
  const int nwnd = read_count(id[V_NUM_SIGW], UPA_NUM_WND);
  report->numman = nman;
  if (nman > 0) {
    std::array<std::array<float, UPA_NUM_MAN>, 6> v;
    for (auto& a : v) a.fill(KEZ_FMISS);
    constexpr std::array<int, 6> vars{V_P_MAN, V_Z_MAN, V_T_MAN, V_TD_MAN, V_DIR_MAN, V_SPD_MAN};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nman);
      CDF_get_float_array(id[vars[k]], v[k].data());
    }
    /* A file without a 925 hPa slot has 850 hPa at index 2. */
    const int shift = nman > UPA_SLOT_925 && v[0][UPA_SLOT_925] == 850.0f ? 1 : 0;
    for (int i = 0; i < nman; ++i) {
      const int slot = i >= UPA_SLOT_925 ? i + shift : i;
      if (slot >= UPA_NUM_MAN) break;
      report->man[slot] = {v[0][i], v[1][i], v[2][i], v[3][i], v[4][i], knots(v[5][i], si)};
    }
  }
  report->numsig = nsig;
  if (nsig > 0) {
    std::array<std::array<float, UPA_NUM_SIG>, 3> v;
    for (auto& a : v) a.fill(KEZ_FMISS);
    constexpr std::array<int, 3> vars{V_P_SIGT, V_T_SIGT, V_TD_SIGT};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nsig);
      CDF_get_float_array(id[vars[k]], v[k].data());
    }
    for (int i = 0; i < nsig; ++i) report->sig[i] = {v[0][i], v[1][i], v[2][i]};
  }
  report->numwnd = nwnd;
  if (nwnd > 0) {
    std::array<std::array<float, UPA_NUM_WND>, 3> v;
    for (auto& a : v) a.fill(KEZ_FMISS);
    constexpr std::array<int, 3> vars{V_Z_SIGW, V_DIR_SIGW, V_SPD_SIGW};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nwnd);
      CDF_get_float_array(id[vars[k]], v[k].data());
    }
    for (int i = 0; i < nwnd; ++i) {
      /* The exact inverse of the writer's factor: 25,000 m come back as
       * 82,021 ft, not a foot short of a thousand. */
      const float h = si && !missing(v[0][i]) ? v[0][i] / UPA_FT_TO_M : v[0][i];
      report->wnd[i] = {h, v[1][i], knots(v[2][i], si)};
    }
  }
  return 0;
}

/* ---- files ----------------------------------------------------------------------------- */

/* Reads up to the line end, keeping at most max characters. */
std::string read_line(FILE* fp, size_t max) {
  std::string line;
  int c;
  while ((c = std::getc(fp)) != EOF && c != '\n')
    if (line.size() < max) line += static_cast<char>(c);
  return line;
}

void skip_line(FILE* fp) {
  int c;
  while ((c = std::getc(fp)) != EOF && c != '\n') {
  }
}

bool cdf_detect(const char* filename, int* type) {
  CDF_print_errors(0);
  const int fd = CDF_open(filename, CDF_READ);
  bool ok = fd != -1;
  if (ok) {
    *type = CDF_get_dim("station") != -1 ? UPA_FT_CDF : UPA_FT_CDF_SI;
    CDF_close();
  }
  CDF_print_errors(1);
  return ok;
}

} // namespace

int UPA_chktype(const char* filename) {
  if (!filename) return -1;
  FILE* raw = FILE_open(filename, "r");
  if (!raw) return -1;
  Stream fp(raw);
  Reader in{raw};
  std::string word;
  if (!in.token(&word)) return -1;
  skip_line(raw);
  skip_line(raw);
  int number = -1;
  {
    int c1;
    while ((c1 = std::getc(raw)) != EOF && std::isspace(c1)) {
    }
    if (c1 != EOF && std::isdigit(c1)) {
      number = c1 - '0';
      const int c2 = std::getc(raw);
      if (c2 != EOF && std::isdigit(c2)) number = number * 10 + (c2 - '0');
    }
  }
  fp.reset();
  if (word == "KEZUPA+") return UPA_FT_OPEN;
  if (word == "KEZUPAx") return UPA_FT_OPEN_LOC;
  if (word == "KEZUPA") return UPA_FT_FIXED;
  const char c = word[0];
  if (c == '0' || c == '1' || c == '2') return number > 21 ? UPA_FT_OLD_LONG : UPA_FT_OLD_SHORT;
  if (c == 'C') {
    int type = -1;
    return cdf_detect(filename, &type) ? type : -1;
  }
  return -1;
}

int UPA_open(const char* filename, int f_access, int* f_type) {
  if (!filename || !f_type) return -1;
  if (f_access != UPA_ACC_READ && f_access != UPA_ACC_WRITE) return -1;
  /* One file at a time: an open one is closed (and finished) first. */
  if (state.file_type != UPA_FT_NONE) UPA_close(state.cdf_fd);
  int type = *f_type;
  if (type == UPA_FT_NONE) {
    if (f_access != UPA_ACC_READ) return -1;
    type = UPA_chktype(filename);
    if (type < 0) return -1;
    *f_type = type;
  }
  state.file_access = f_access;
  state.stat_num = state.last_num = -1;
  state.cur_pos = -1;
  if (is_text(type) || type == UPA_FT_ELEMENT || type == UPA_FT_BINARY) {
    const bool bin = type == UPA_FT_BINARY;
    const char* mode = f_access == UPA_ACC_READ ? (bin ? "rb" : "r") : (bin ? "wb" : "w");
    FILE* fp = FILE_open(filename, mode);
    if (!fp) return -1;
    state.cvt_file.reset(fp);
    state.file_type = type;
    return fileno(fp);
  }
  if (is_cdf(type)) {
    CDF_print_errors(0);
    const int fd = CDF_open(filename, f_access == UPA_ACC_READ ? CDF_READ : CDF_CREATE);
    CDF_print_errors(1);
    if (fd == -1) return -1;
    state.cdf_fd = fd;
    state.num_station = 0;
    state.file_type = type;
    return fd;
  }
  return -1;
}

int UPA_close(int /*cvt_fd*/) {
  const int type = state.file_type;
  if (type == UPA_FT_NONE) return -1;
  int rc = 0;
  if (type == UPA_FT_ELEMENT && state.file_access == UPA_ACC_WRITE && state.cvt_file)
    if (std::fputs("</kezupa>\n", state.cvt_file.get()) == EOF) rc = -1;
  if (state.cvt_file) {
    if (FILE_close(state.cvt_file.release()) != 0) rc = -1;
  }
  if (is_cdf(type)) {
    /* The module's own file: a wrong handle must not close another user's. */
    CDF_set_fd(state.cdf_fd);
    if (CDF_close() != 0) rc = -1;
    state.cdf_fd = CDF_NO_ID;
  }
  state.file_type = UPA_FT_NONE;
  state.stat_num = state.last_num = -1;
  state.cur_pos = -1;
  return rc;
}

int UPA_getinfo(int /*cvt_fd*/, UPA_info* info) {
  if (!info) return 1;
  const int type = state.file_type;
  if (is_text(type) && state.cvt_file && state.file_access == UPA_ACC_READ) {
    FILE* fp = state.cvt_file.get();
    std::rewind(fp);
    if (is_new_text(type)) skip_line(fp);
    /* A longer label line is cut to what datim holds. */
    const std::string line = read_line(fp, datim_max);
    set_text(info->datim, line, datim_max);
    wsstrip_string(info->datim);
    DATE_decode_label(info->datim, &info->date);
    state.stat_num = 0;
    state.last_num = -1;
    state.cur_pos = -1;
    return 0;
  }
  if (is_cdf(type)) {
    CDF_set_fd(state.cdf_fd);
    const int n = CDF_get_dim_size(CDF_RECORD_DIM);
    state.num_station = n < 0 ? 0 : n;
    for (size_t i = 0; i < schema.size(); ++i)
      state.var_id[i] = CDF_get_var(type == UPA_FT_CDF ? schema[i].name11 : schema[i].name12);
    CDF_print_errors(0);
    char label[sizeof info->datim];
    if (CDF_get_glob_att("filetime", label, sizeof label) != -1 ||
        CDF_get_glob_att("datetime", label, sizeof label) != -1)
      set_text(info->datim, view(label), datim_max);
    char version[16];
    state.version = CDF_get_glob_att("version", version, sizeof version) == -1 ? 1.0f : 1.1f;
    CDF_print_errors(1);
    info->datim[datim_max] = '\0';
    DATE_decode_label(info->datim, &info->date);
    state.stat_num = 0;
    return 1;
  }
  return 1;
}

namespace {

int put_cdf_header(UPA_info* info) {
  const bool si = state.file_type == UPA_FT_CDF_SI;
  CDF_set_fd(state.cdf_fd);
  const int rec = CDF_def_dim(si ? "report" : "station", 0);
  const int mant = CDF_def_dim("mant_level", UPA_NUM_MAN);
  const int sigt = CDF_def_dim("sigt_level", UPA_NUM_SIG);
  const int sigw = CDF_def_dim("sigw_level", UPA_NUM_WND);
  const int slen = CDF_def_dim("string_len", UPA_ID_LEN);
  if (rec < 0 || mant < 0 || sigt < 0 || sigw < 0 || slen < 0) return -1;
  for (size_t i = 0; i < schema.size(); ++i) {
    const CdfSchema& s = schema[i];
    const char* name = si ? s.name12 : s.name11;
    switch (s.shape) {
      case Shape::text: CDF_set_shape(2, rec, slen); break;
      case Shape::single: CDF_set_shape(1, rec); break;
      case Shape::mant: CDF_set_shape(2, rec, mant); break;
      case Shape::sigt: CDF_set_shape(2, rec, sigt); break;
      case Shape::sigw: CDF_set_shape(2, rec, sigw); break;
    }
    int vid = -1;
    switch (s.kind) {
      case Kind::chars: vid = CDF_def_char_var(name); break;
      case Kind::count:
      case Kind::wmo: vid = CDF_def_long_var(name); break;
      case Kind::value: vid = CDF_def_float_var(name); break;
    }
    if (vid < 0) return -1;
    state.var_id[i] = vid;
  }
  for (size_t i = 0; i < schema.size(); ++i) {
    const CdfSchema& s = schema[i];
    const int vid = state.var_id[i];
    CDF_put_base_att(vid, s.long_name, si ? s.units12 : s.units11);
    if (s.kind == Kind::count) {
      CDF_put_long_range_att(vid, static_cast<long>(s.min), static_cast<long>(s.max));
      CDF_put_long_fill_att(vid, 0);
    } else if (s.kind == Kind::value) {
      CDF_put_float_range_att(vid, s.min, s.max);
      CDF_put_fill_att(vid);
    }
  }
  if (!info->cmdline) info->cmdline = default_history;
  const std::string datim(info->datim, strnlen(info->datim, sizeof info->datim));
  const std::string file(info->file, strnlen(info->file, sizeof info->file));
  if (CDF_put_glob_att("title", "Upper Air Observations") < 0 || CDF_put_glob_att("version", "2.0") < 0 ||
      CDF_put_glob_att("history", info->cmdline) < 0 || CDF_put_glob_att("filetime", datim.c_str()) < 0 ||
      CDF_put_glob_att("yymmddhh", file.c_str()) < 0)
    return -1;
  state.num_station = 0;
  return CDF_end_def() == -1 ? -1 : 0;
}

} // namespace

int UPA_putinfo(int /*cvt_fd*/, UPA_info* info) {
  const int type = state.file_type;
  if (!info || state.file_access != UPA_ACC_WRITE) return -1;
  const std::string datim(info->datim, strnlen(info->datim, sizeof info->datim));
  FILE* fp = state.cvt_file.get();
  int rc = 0;
  switch (type) {
    case UPA_FT_OLD_SHORT:
    case UPA_FT_OLD_LONG: rc = std::fprintf(fp, "%s\n", datim.c_str()); break;
    case UPA_FT_FIXED: rc = std::fprintf(fp, "KEZUPA\n%s\n", datim.c_str()); break;
    case UPA_FT_OPEN: rc = std::fprintf(fp, "KEZUPA+\n%s\n", datim.c_str()); break;
    case UPA_FT_OPEN_LOC: rc = std::fprintf(fp, "KEZUPAx\n%s\n", datim.c_str()); break;
    case UPA_FT_ELEMENT: rc = std::fprintf(fp, "<kezupa date=\"%s\">\n", datim.c_str()); break;
    case UPA_FT_BINARY: {
      const Date& d = info->date;
      const char* mon = d.month >= 1 && d.month <= 12 ? DATE_month(d.month) : "";
      rc = std::fprintf(fp, "%2.2d:%2.2dZ XXX %3s %2d %4d", d.hour, d.min, mon ? mon : "", d.day, d.year);
      swap_setup(2);
      break;
    }
    case UPA_FT_CDF:
    case UPA_FT_CDF_SI: return put_cdf_header(info);
    default: return -1;
  }
  return rc < 0 ? -1 : 0;
}

int UPA_rewind(int /*cvt_fd*/) {
  const int type = state.file_type;
  if (is_text(type) && state.cvt_file) {
    FILE* fp = state.cvt_file.get();
    std::rewind(fp);
    if (is_new_text(type)) skip_line(fp);
    skip_line(fp);
    state.stat_num = 0;
    state.last_num = -1;
    state.cur_pos = -1;
    return 0;
  }
  if (is_cdf(type)) {
    state.stat_num = 0;
    return 0;
  }
  return -1;
}

int UPA_read(int /*cvt_fd*/, UPA_report* report, int rep_type, const int* statnum) {
  if (!report || !statnum) return -1;
  if (is_text(state.file_type)) return read_text(report, rep_type, *statnum);
  if (is_cdf(state.file_type) && state.file_access == UPA_ACC_READ) return read_cdf(report, rep_type, *statnum);
  return -1;
}
