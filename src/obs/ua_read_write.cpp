/*
 * ua_read_write: writing reports into the open upper-air file.
 *
 * Each layout has its writer: the old and new text layouts as code groups
 * in their places, the markup layout, the fixed binary record, and the
 * netCDF record. UPA_write completes and edits a copy of the caller's
 * report (a surface carried as the first significant and wind level,
 * repeats of mandatory levels dropped) and refuses an identifier that a
 * text reader would split, so that a written file reads back as written.
 */
#include "kezupa.h"

#include "kezcdf.h"
#include "ua_read_impl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

using namespace ua_read_impl;

/* ---- writing ---------------------------------------------------------------------------- */

namespace {

/* Appends printf-style text to a report being built. */
void add(std::string* out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void add(std::string* out, const char* fmt, ...) {
  char buf[128];
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n > 0) out->append(buf, std::min(static_cast<size_t>(n), sizeof buf - 1));
}

std::string id_text(const char* id) { return std::string(id, strnlen(id, UPA_ID_LEN)); }

/* Pressures, heights and the like cut to an int the way a group wants. */
int int_part(float v) { return std::fabs(v) < 1e9f ? static_cast<int>(v) : 0; }

void triplet(std::string* out, const UPA_level& m) {
  encd_ph(m.p, m.h);
  *out += UPA_encoded();
  *out += ' ';
  encd_td(m.t, m.td);
  *out += UPA_encoded();
  *out += ' ';
  encd_wd(m.dir, m.spd);
  *out += UPA_encoded();
}

/* A report without significant or wind levels carries its surface as the
 * first of each. */
void complete_sig(UPA_report* r) {
  const UPA_level& s = r->man[UPA_SLOT_SFC];
  if (r->numsig == 0 && !missing(s.p)) {
    r->sig[0] = {s.p, s.t, s.td};
    r->numsig = 1;
  }
}
void complete_wnd(UPA_report* r) {
  const UPA_level& s = r->man[UPA_SLOT_SFC];
  if (r->numwnd == 0 && !missing(s.p)) {
    r->wnd[0] = {0.0f, s.dir, s.spd};
    r->numwnd = 1;
  }
}

int clamp_count(int n, int max) { return n < 0 ? 0 : std::min(n, max); }

/* A significant level that repeats a mandatory level with a height. */
bool repeats_mandatory(const UPA_report& r, float p) {
  const int slot = UPA_mandatory(p);
  return slot != 0 && !missing(r.man[slot].h);
}

void write_old_text(UPA_report* r, std::string* out) {
  const bool shorter = state.file_type == UPA_FT_OLD_SHORT;
  const int s = shorter ? old_short_sig : old_long_sig;
  const int w = shorter ? static_cast<int>(old_short_heights.size()) : static_cast<int>(old_long_heights.size());
  const float p_min = shorter ? 500.0f : 100.0f;
  *out += id_text(r->id) + " ";
  const int* slots = shorter ? old_short_slots.data() : old_long_slots.data();
  const size_t nslots = shorter ? old_short_slots.size() : old_long_slots.size();
  for (size_t i = 0; i < nslots; ++i) {
    triplet(out, r->man[slots[i]]);
    *out += slots[i] == 5 || slots[i] == 11 ? '\n' : ' ';
  }
  const int nsig = clamp_count(r->numsig, UPA_NUM_SIG);
  auto candidate = [&](int i) { return !missing(r->sig[i].p) && r->sig[i].p >= p_min; };
  int chosen = 0;
  for (int i = 0; i < nsig && chosen < s; ++i) {
    if (!candidate(i)) continue;
    if (i == 0 || !repeats_mandatory(*r, r->sig[i].p))
      ++chosen;
    else
      r->sig[i].p = KEZ_FMISS; /* dropped (in the writer's copy) */
  }
  int limit = nsig;
  if (chosen == 0 && !missing(r->man[UPA_SLOT_SFC].p)) {
    const UPA_level& sfc = r->man[UPA_SLOT_SFC];
    r->sig[0] = {sfc.p, sfc.t, sfc.td};
    r->numsig = limit = 1;
    chosen = candidate(0) ? 1 : 0;
  }
  add(out, "%2d ", chosen);
  int written = 0;
  for (int i = 0; i < limit && written < s; ++i) {
    if (!candidate(i)) continue;
    ++written;
    add(out, "%3.3d ", int_part(r->sig[i].p) % 1000);
    encd_td(r->sig[i].t, r->sig[i].td);
    *out += UPA_encoded();
    *out += written % 7 == 0 ? '\n' : ' ';
  }
  for (int k = written + 1; k <= s; ++k) {
    *out += "000 00000";
    *out += k % 7 == 0 ? '\n' : ' ';
  }
  complete_wnd(r);
  std::array<int, 21> place;
  place.fill(-1);
  for (int i = 0; i < clamp_count(r->numwnd, UPA_NUM_WND); ++i) {
    const float h = r->wnd[i].h;
    if (missing(h) || h < 0) continue;
    int at = -1;
    if (h <= 10000)
      at = static_cast<int>(h / 1000);
    else if (h == 12000)
      at = 11;
    else if (h == 14000)
      at = 12;
    else if (shorter && h == 15000)
      at = 13;
    else if (h == 16000)
      at = shorter ? 14 : 13;
    else if (shorter && h == 18000)
      at = 15;
    else if (!shorter && h >= 20000 && h <= 50000 && std::fmod(h, 5000.0f) == 0)
      at = 14 + static_cast<int>((h - 20000) / 5000);
    if (at >= 0 && at < w) place[at] = i;
  }
  for (int k = 0; k < w; ++k) {
    if (place[k] < 0) {
      *out += "99999";
    } else {
      encd_wd(r->wnd[place[k]].dir, r->wnd[place[k]].spd);
      *out += UPA_encoded();
    }
    *out += k == 10 || k == 20 || (shorter && k == 15) ? '\n' : ' ';
  }
}

/* The fixed layout's reader takes the triplet after 1000 hPa for the 925
 * hPa one when its pressure group says 925, and for the 850 hPa one
 * otherwise; a slot whose pressure says something else would shift every
 * later group of the report and the next reports. */
bool says_925(float p) {
  encd_ph(p, KEZ_FMISS);
  return std::strncmp(UPA_encoded(), "92", 2) == 0;
}

void write_new_text(UPA_report* r, std::string* out) {
  const int type = state.file_type;
  const bool fixed = type == UPA_FT_FIXED;
  if (type == UPA_FT_OPEN_LOC) {
    add(out, "%5.5d:%s", r->wmo, id_text(r->id).c_str());
    if (!missing(r->lat)) add(out, ":%.2f:%.2f", r->lat, r->lon);
    *out += ' ';
  } else {
    *out += id_text(r->id) + " ";
  }
  bool wrote_925 = false;
  for (int slot = UPA_SLOT_1000; slot <= UPA_SLOT_10; ++slot) {
    UPA_level m = r->man[slot];
    if (fixed && slot == UPA_SLOT_925) {
      if (!says_925(m.p)) continue;
      wrote_925 = true;
    }
    /* Its reader knows the 850 hPa triplet by position: it keeps 850 hPa. */
    if (fixed && slot == UPA_SLOT_850 && !wrote_925 && says_925(m.p)) m.p = 850.0f;
    triplet(out, m);
    const bool end = fixed ? (slot == 5 || slot == 9 || slot == 13) : slot % 4 == 0;
    *out += end ? '\n' : ' ';
  }
  bool above = false;
  for (int slot = UPA_SLOT_ABOVE; slot <= UPA_SLOT_ABOVE_END; ++slot) {
    /* Only a level coded "-P" (1 to 10 hPa) reads back as one of these; any
     * other ends the list as a missing one does. */
    if (missing(r->man[slot].p) || !(r->man[slot].p >= 1 && r->man[slot].p < 10)) {
      if (above) *out += '\n';
      break;
    }
    above = true;
    triplet(out, r->man[slot]);
    *out += slot == UPA_SLOT_ABOVE_END ? '\n' : ' ';
  }
  const UPA_level& trop = r->man[UPA_SLOT_TROP];
  if (missing(trop.p)) {
    *out += "X X X ";
  } else {
    triplet(out, {880.0f, trop.p, trop.t, trop.td, trop.dir, trop.spd});
    *out += ' ';
  }
  const UPA_level& maxw = r->man[UPA_SLOT_MAXW];
  if (missing(maxw.p)) {
    *out += "X X\n";
  } else {
    encd_ph(770.0f, maxw.p);
    *out += UPA_encoded();
    *out += ' ';
    encd_wd(maxw.dir, maxw.spd);
    *out += UPA_encoded();
    *out += '\n';
  }

  complete_sig(r);
  const int nsig = clamp_count(r->numsig, UPA_NUM_SIG);
  int written = 0, lost_sig = 0;
  for (int i = 0; i < nsig; ++i) {
    const UPA_sig& sg = r->sig[i];
    if (i > 0 && repeats_mandatory(*r, sg.p)) continue;
    if (fixed && written >= fixed_places) {
      ++lost_sig;
      continue;
    }
    if (sg.p >= 1000)
      add(out, "%3.3d ", int_part(sg.p) % 1000);
    else if (sg.p < 10 && sg.p >= 0)
      add(out, "%3.1f ", sg.p);
    else
      add(out, "%3d ", int_part(sg.p));
    encd_td(sg.t, sg.td);
    *out += UPA_encoded();
    ++written;
    const bool end = fixed ? written % 7 == 0 : written % 7 == 0 && written - 1 != nsig - 1;
    *out += end ? '\n' : ' ';
  }
  if (fixed) {
    for (int k = written + 1; k <= fixed_places; ++k) *out += k % 7 == 0 ? "X\n" : "X ";
  } else {
    *out += "X\n";
  }

  complete_wnd(r);
  int nwnd = clamp_count(r->numwnd, UPA_NUM_WND);
  const int lost_wnd = fixed ? std::max(0, nwnd - fixed_places) : 0;
  if (fixed) nwnd = std::min(nwnd, fixed_places);
  /* The fixed lists have their places: what does not fit is left out, the
   * top of the sounding, and that is said. */
  if (lost_sig > 0 || lost_wnd > 0)
    MESS_print(M_warn,
               "UPA_write: The fixed layout keeps %d levels of a list: %s loses %d significant and %d wind levels\n",
               fixed_places, id_text(r->id).c_str(), lost_sig, lost_wnd);
  /* The height token has two characters: a wind from 100,000 ft up has no
   * place (a third digit would shift every group after it). */
  auto hh_of = [](const UPA_wnd& wd) { return missing(wd.h) ? -9 : int_part((wd.h + 1) / 1000); };
  int last = nwnd;
  for (int i = 0; i < nwnd; ++i)
    if (hh_of(r->wnd[i]) > 99) --last;
  for (int i = 0, n = 0; i < nwnd; ++i) {
    const UPA_wnd& wd = r->wnd[i];
    const int hh = hh_of(wd);
    if (hh > 99) continue;
    encd_wd(wd.dir, wd.spd);
    add(out, "%2.2d %s", hh, UPA_encoded());
    ++n;
    if (fixed)
      *out += n % 7 == 0 ? "\n " : " ";
    else
      *out += n % 7 == 0 && n != last ? '\n' : ' ';
  }
  if (fixed) {
    for (int k = last + 1; k <= fixed_places; ++k) *out += k % 7 == 0 ? "X\n" : "X ";
  } else {
    *out += "$\n";
  }
}

/* Markup text with its special characters escaped. */
std::string escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

void element_pressure(std::string* out, float p) { add(out, p < 100 ? " pres.mb=\"%.1f\"" : " pres.mb=\"%.0f\"", p); }

void element_values(std::string* out, const UPA_level& m, bool winds_only) {
  if (!missing(m.h)) add(out, " hght.m=\"%.0f\"", m.h);
  if (!winds_only && !missing(m.t)) add(out, " temp.C=\"%.1f\"", m.t);
  if (!winds_only && !missing(m.td)) add(out, " dewp.C=\"%.1f\"", m.td);
  if (!missing(m.dir)) add(out, " wdir.deg=\"%.0f\"", m.dir);
  if (!missing(m.spd)) add(out, " wspd.knt=\"%.0f\"", m.spd);
  *out += "/>\n";
}

void write_element(UPA_report* r, std::string* out) {
  add(out, "<obs wmo=\"%5.5d\" id=\"", r->wmo);
  *out += escaped(id_text(r->id)) + "\"";
  if (!missing(r->lat)) add(out, " lat=\"%.2f\" lon=\"%.2f\"", r->lat, r->lon);
  *out += ">\n  <mand_level>\n";
  const UPA_level& sfc = r->man[UPA_SLOT_SFC];
  if (!missing(sfc.p)) {
    *out += "    <level type=\"sfc\"";
    element_pressure(out, sfc.p);
    element_values(out, sfc, false);
  }
  for (int slot = UPA_SLOT_1000; slot <= UPA_SLOT_ABOVE_END; ++slot) {
    const UPA_level& m = r->man[slot];
    if (missing(m.p)) continue;
    add(out, "    <level pres.mb=\"%.0f\"", m.p);
    element_values(out, m, false);
  }
  const UPA_level& trop = r->man[UPA_SLOT_TROP];
  if (!missing(trop.p)) {
    *out += "    <level type=\"trop\"";
    element_pressure(out, trop.p);
    element_values(out, trop, false);
  }
  const UPA_level& maxw = r->man[UPA_SLOT_MAXW];
  if (!missing(maxw.p)) {
    *out += "    <level type=\"mwnd\"";
    element_pressure(out, maxw.p);
    element_values(out, maxw, true);
  }
  *out += "  </mand_level>\n";
  complete_sig(r);
  *out += "  <sig_level>\n";
  for (int i = 0; i < clamp_count(r->numsig, UPA_NUM_SIG); ++i) {
    const UPA_sig& s = r->sig[i];
    add(out, s.p < 100 ? "    <level pres.mb=\"%.1f\"" : "    <level pres.mb=\"%.0f\"", s.p);
    if (!missing(s.t)) add(out, " temp.C=\"%.1f\"", s.t);
    if (!missing(s.td)) add(out, " dewp.C=\"%.1f\"", s.td);
    *out += "/>\n";
  }
  *out += "  </sig_level>\n";
  complete_wnd(r);
  *out += "  <wnd_level>\n";
  for (int i = 0; i < clamp_count(r->numwnd, UPA_NUM_WND); ++i) {
    const UPA_wnd& w = r->wnd[i];
    add(out, "    <level hght.m=\"%.0f\"", w.h);
    if (!missing(w.dir)) add(out, " wdir.deg=\"%.0f\"", w.dir);
    if (!missing(w.spd)) add(out, " wspd.knt=\"%.0f\"", w.spd);
    *out += "/>\n";
  }
  *out += "  </wnd_level>\n</obs>\n";
}

/* A 16-bit value of the binary record: 9999 for a missing value, else the
 * low 16 bits of the truncated value. */
uint16_t bin_value(double v) {
  if (!std::isfinite(v) || std::fabs(v) > 1e15) return 9999;
  return static_cast<uint16_t>(static_cast<long long>(v));
}
uint16_t bin_measured(float v, double add_after) {
  return missing(v) ? uint16_t{9999} : bin_value(static_cast<double>(v) + add_after);
}

void write_binary(const UPA_report* r, std::string* out) {
  std::array<unsigned char, UPA_BIN_RECORD> rec{};
  if (std::isalpha(static_cast<unsigned char>(r->id[0])))
    for (size_t i = 0; i < 5 && i < UPA_ID_LEN && r->id[i]; ++i) rec[i] = static_cast<unsigned char>(r->id[i]);
  char wmo[16];
  std::snprintf(wmo, sizeof wmo, "%5.5d", r->wmo == KEZ_MISS ? 99999 : r->wmo);
  for (size_t i = 0; i < 7 && wmo[i]; ++i) rec[5 + i] = static_cast<unsigned char>(wmo[i]);
  size_t at = 12;
  auto put = [&](uint16_t v) {
    rec[at] = static_cast<unsigned char>(v & 0xff);
    rec[at + 1] = static_cast<unsigned char>(v >> 8);
    at += 2;
  };
  const UPA_level& m850 = r->man[UPA_SLOT_850];
  const UPA_level& m700 = r->man[4];
  const UPA_level& m500 = r->man[5];
  put(missing(r->lat) ? 9999 : bin_value(static_cast<double>(100.0f * r->lat) + 0.1));
  put(missing(r->lon) ? 9999 : bin_value(static_cast<double>(100.0f * r->lon) + 0.1));
  put(bin_measured(m850.t, 0.5));
  put(0);
  put(bin_measured(m700.t, 0.5));
  put(bin_measured(m500.t, 0.5));
  put(0);
  for (const UPA_level* m : {&m850, &m700, &m500}) put(bin_measured(m->h, 0));
  for (int i = 0; i < 5; ++i) put(0);
  for (const UPA_level* m : {&m850, &m700, &m500}) put(missing(m->dir) ? 9999 : bin_value(m->dir / 10.0f));
  put(0);
  for (const UPA_level* m : {&m850, &m700, &m500}) put(bin_measured(m->spd, 0));
  put(0);
  for (const UPA_level* m : {&m850, &m700, &m500})
    put(missing(m->t) || missing(m->td) ? 9999 : bin_value(static_cast<double>(m->t - m->td) + 0.5));
  put(bin_measured(r->man[UPA_SLOT_TROP].h, 0));
  const float h1 = r->man[UPA_SLOT_1000].h, h5 = m500.h;
  put(missing(h1) || missing(h5) ? 9999 : bin_value(h5 - h1));
  put(static_cast<uint16_t>(r->time));
  out->assign(reinterpret_cast<const char*>(rec.data()), rec.size());
}

int write_cdf(const UPA_report* r, int n) {
  if (n < 0) return -1;
  const bool si = state.file_type == UPA_FT_CDF_SI;
  const auto& id = state.var_id;
  auto ms = [&](float v) { return si && !missing(v) ? v * UPA_KT_TO_MS : v; };
  int bad = 0;
  auto check = [&](int rc) { bad |= rc < 0; };
  CDF_set_fd(state.cdf_fd);
  CDF_set_pos(1, n);
  check(CDF_put_str(id[V_ID], id_text(r->id).c_str()));
  CDF_set_pos(1, n);
  check(CDF_put_str(id[V_REGION], id_text(r->area).c_str()));
  CDF_set_pos(1, n);
  check(CDF_put_str(id[V_TYPE], "LAND"));
  CDF_set_pos(1, n);
  check(CDF_put_long(id[V_IDN], r->wmo));
  check(CDF_put_float(id[V_LAT], r->lat));
  check(CDF_put_float(id[V_LON], r->lon));
  check(CDF_put_long(id[V_NUM_MANT], r->numman != 0 ? UPA_NUM_MAN : 0));
  std::array<std::array<float, UPA_NUM_MAN>, 6> man;
  for (int i = 0; i < UPA_NUM_MAN; ++i) {
    const UPA_level& m = r->man[i];
    man[0][i] = m.p, man[1][i] = m.h, man[2][i] = m.t, man[3][i] = m.td, man[4][i] = m.dir, man[5][i] = ms(m.spd);
  }
  constexpr std::array<int, 6> man_vars{V_P_MAN, V_Z_MAN, V_T_MAN, V_TD_MAN, V_DIR_MAN, V_SPD_MAN};
  for (size_t k = 0; k < man_vars.size(); ++k) {
    CDF_set_range(2, n, 1, 0, UPA_NUM_MAN);
    check(CDF_put_float_array(id[man_vars[k]], man[k].data()));
  }
  const int nsig = clamp_count(r->numsig, UPA_NUM_SIG);
  const int nwnd = clamp_count(r->numwnd, UPA_NUM_WND);
  CDF_set_pos(1, n);
  check(CDF_put_long(id[V_NUM_SIGT], nsig));
  check(CDF_put_long(id[V_NUM_SIGW], nwnd));
  if (nsig > 0) {
    std::array<std::array<float, UPA_NUM_SIG>, 3> sig;
    for (int i = 0; i < nsig; ++i) sig[0][i] = r->sig[i].p, sig[1][i] = r->sig[i].t, sig[2][i] = r->sig[i].td;
    constexpr std::array<int, 3> vars{V_P_SIGT, V_T_SIGT, V_TD_SIGT};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nsig);
      check(CDF_put_float_array(id[vars[k]], sig[k].data()));
    }
  }
  if (nwnd > 0) {
    std::array<std::array<float, UPA_NUM_WND>, 3> wnd;
    for (int i = 0; i < nwnd; ++i) {
      const float h = r->wnd[i].h;
      wnd[0][i] = si && !missing(h) ? h * UPA_FT_TO_M : h;
      wnd[1][i] = r->wnd[i].dir;
      wnd[2][i] = ms(r->wnd[i].spd);
    }
    constexpr std::array<int, 3> vars{V_Z_SIGW, V_DIR_SIGW, V_SPD_SIGW};
    for (size_t k = 0; k < vars.size(); ++k) {
      CDF_set_range(2, n, 1, 0, nwnd);
      check(CDF_put_float_array(id[vars[k]], wnd[k].data()));
    }
  }
  return bad ? -1 : 0;
}

/* A text report's first word is read up to a blank and, in type 5, split
 * at colons: an identifier that is empty or holds either would shift every
 * group of the report (and of the next). */
bool fits_text(const char* id, int type) {
  const std::string text = id_text(id);
  if (text.empty() && type != UPA_FT_OPEN_LOC) return false;
  for (unsigned char c : text)
    if (std::isspace(c) || std::iscntrl(c) || (c == ':' && type == UPA_FT_OPEN_LOC)) return false;
  return true;
}

} // namespace

int UPA_write(int /*cvt_fd*/, const UPA_report* report, int /*rep_type*/, int* statnum) {
  if (!report || !statnum || state.file_access != UPA_ACC_WRITE) return -1;
  const int type = state.file_type;
  if (is_cdf(type)) return write_cdf(report, *statnum);
  if ((type == UPA_FT_OLD_SHORT || type == UPA_FT_OLD_LONG || is_new_text(type)) && !fits_text(report->id, type)) {
    MESS_print(M_error, "UPA_write: Identifier unfit for a text file: \"%s\"\n", id_text(report->id).c_str());
    return -1;
  }
  FILE* fp = state.cvt_file.get();
  if (!fp) return -1;
  /* The writer completes and edits a copy: the caller's record stays as it was. */
  auto copy = std::make_unique<UPA_report>(*report);
  std::string out;
  if (type == UPA_FT_OLD_SHORT || type == UPA_FT_OLD_LONG)
    write_old_text(copy.get(), &out);
  else if (is_new_text(type))
    write_new_text(copy.get(), &out);
  else if (type == UPA_FT_ELEMENT)
    write_element(copy.get(), &out);
  else if (type == UPA_FT_BINARY)
    write_binary(copy.get(), &out);
  else
    return -1;
  if (std::fwrite(out.data(), 1, out.size(), fp) != out.size() || std::fflush(fp) != 0) return -1;
  if (type != UPA_FT_BINARY) ++*statnum;
  return 0;
}
