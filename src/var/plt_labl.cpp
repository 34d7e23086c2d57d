/*
 * plt_labl: the corner labels of a plot and their overlays.
 *
 * Every plot carries up to six texts around its plot area (three above it,
 * three below). Each plotter writes its description into them; when fields
 * are drawn over one another each overlay gets its own line at a position,
 * or, in the compact (negative) label types, its text is appended to the
 * first line. This module stores the texts and expands the label escapes
 * of the "label" resource; plt_labl_draw.cpp draws the texts and the frame
 * border at the end of a frame (PLT_labels). PLT_close empties the store.
 *
 * Every text is held to PLT_LABEL_MAX characters: longer texts are cut, and
 * the expansion of escapes is bounded by PLT_FORMAT_LEN.
 */
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "kez.h"
#include "plt_labl_impl.h"

using namespace plt_labl_impl;

namespace plt_labl_impl {

/* The corner labels of the open plot. */
LabelState state;

} // namespace plt_labl_impl

namespace {

/* Appended overlay texts stop short of this length of the first line. */
constexpr int APPEND_LIMIT = 60;

std::string cut(const char* str, size_t max) {
  std::string s = str ? str : "";
  if (s.size() > max) s.resize(max);
  return s;
}

bool valid_lab(int lab) { return lab >= 0 && lab < PLT_NUM_LABELS; }

int set_position(int lab, const char* str) {
  if (state.lab_type < 0 && state.overlay > 0) return PLT_label_strcat(lab, str);
  if (state.overlay >= 0 && state.overlay < PLT_NUM_OVERLAYS) return PLT_label_strcpy(lab, str);
  return 0;
}

std::string two_digits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2.2d", v);
  return buf;
}

} // namespace

int PLT_init_labels() {
  for (auto& pos : state.label)
    for (auto& text : pos) text.clear();
  state.label_ind.fill(0);
  state.num_over = 0;
  return 0;
}

int PLT_set_num_overlay(int ind) {
  if (ind < 0)
    state.num_over = -ind;
  else if (ind > state.num_over)
    state.num_over = ind;
  return 0;
}

int PLT_set_overlay(int ind) {
  ind = std::min(ind, PLT_NUM_OVERLAYS - 1);
  PLT_set_num_overlay(std::max(ind, 0));
  state.overlay = ind;
  return 0;
}

int PLT_get_overlay() { return state.overlay; }

int PLT_set_overlay_base(int ind) {
  ind = std::min(ind, PLT_NUM_OVERLAYS - 1);
  PLT_set_num_overlay(std::max(ind, 0));
  state.over_base = ind;
  return 0;
}

int PLT_get_overlay_base() { return state.over_base; }

int PLT_next_overlay() {
  if (state.overlay > PLT_NUM_OVERLAYS - 1) return -1;
  ++state.overlay;
  if (state.lab_type > 0)
    ++state.lab_type;
  else if (state.lab_type < 0)
    --state.lab_type;
  for (int i = 0; i < PLT_NUM_LABELS; ++i) state.label_ind[i] = static_cast<int>(state.label[i][0].size());
  if (state.overlay > state.num_over) state.num_over = state.overlay;
  return state.overlay;
}

int PLT_get_num_over() { return state.num_over; }
int PLT_get_label_type() { return state.lab_type; }

int PLT_set_label_type(int val) {
  state.lab_type = val;
  return 0;
}

int PLT_label_strcpy(int lab, const char* str) {
  if (!valid_lab(lab) || state.overlay < 0 || state.overlay >= PLT_NUM_OVERLAYS) return 0;
  state.label[lab][state.overlay] = cut(str, PLT_LABEL_MAX);
  return 0;
}

int PLT_label_strcat(int lab, const char* str) {
  if (!valid_lab(lab) || !str) return 0;
  const size_t at = static_cast<size_t>(state.label_ind[lab]);
  if (at + std::strlen(str) >= APPEND_LIMIT) return 0;
  std::string& line = state.label[lab][0];
  if (line.size() > at) line.resize(at);
  line.resize(at, ' ');
  line += ' ';
  line += str;
  return 0;
}

const char* PLT_get_label(int lab, int over) {
  if (!valid_lab(lab) || over < 0 || over >= PLT_NUM_OVERLAYS) return "";
  return state.label[lab][over].c_str();
}

int PLT_label_up_left(const char* str) { return set_position(0, str); }
int PLT_label_up_center(const char* str) { return set_position(1, str); }
int PLT_label_up_right(const char* str) { return set_position(2, str); }
int PLT_label_low_left(const char* str) { return set_position(3, str); }
int PLT_label_low_center(const char* str) { return set_position(4, str); }
int PLT_label_low_right(const char* str) { return set_position(5, str); }

int PLT_label_date(const Date* datim) {
  if (datim) state.date = *datim;
  return 0;
}

int PLT_label_for_time(long int val) {
  state.fhour = val;
  return 0;
}

std::string PLT_label_format(const char* form) {
  std::string out;
  if (!form) return out;
  const size_t max = PLT_FORMAT_LEN - 1;
  char buf[DATE_LABEL_LEN];
  for (const char* p = form; *p && out.size() < max; ++p) {
    if (*p == '_') {
      out += ' ';
      continue;
    }
    if (*p != '%') {
      out += *p;
      continue;
    }
    const char esc = *++p;
    if (!esc) break;
    buf[0] = '\0';
    switch (esc) {
      case 'D':
        DATE_make_label(&state.date, buf);
        out += buf;
        break;
      case 'W': state.date.hour = KEZ_MISS; [[fallthrough]];
      case 'V':
        DATE_make_label_valid_time(static_cast<int>(state.fhour), &state.date, buf);
        out += buf;
        break;
      case 'y': out += two_digits(state.date.year % 100); break;
      case 'm': out += two_digits(state.date.month); break;
      case 'b': {
        const char* month = DATE_month(state.date.month);
        out += cut(month, 3);
        break;
      }
      case 'h': out += two_digits(state.date.hour); break;
      case 'd': out += two_digits(state.date.day); break;
      case 'n': out += two_digits(state.date.min); break;
      case 'f': out += DATE_fhour_label(buf, static_cast<int>(state.fhour), 0); break;
      case 'F': out += DATE_fhour_label(buf, static_cast<int>(state.fhour), 1); break;
      case '%': out += '%'; break;
      default: break;
    }
  }
  if (out.size() > max) out.resize(max);
  return out;
}

int PLT_label_format(const char* form, char* str) {
  if (!str) return 0;
  const std::string out = PLT_label_format(form);
  std::memcpy(str, out.c_str(), out.size() + 1);
  return 0;
}
