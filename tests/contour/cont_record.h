/*
 * A recorder of what the contour walk draws: fill areas, lines and texts
 * with the band attributes in force, installed in place of the kernel's
 * primitives (CONT_set_kernel). With forward set, everything also goes on
 * to the kernel, so a file device still receives the drawing. The tests of
 * the contour module and its benchmark share it.
 */
#ifndef KEZ_CONT_RECORD_H
#define KEZ_CONT_RECORD_H

#include <string>
#include <vector>

#include "gks.h"
#include "kezcont.h"
#include "kezgks.h"

namespace cont_rec {

struct Poly {
  int colour;
  std::vector<Gpt> pts;
};

struct Line {
  int colour;
  int type;
  float width;
  Gpt a, b;
};

struct Text {
  Gpt pos;
  std::string text;
};

/* One event of the colour bar's flash: a wait (ind -1, the seconds in red)
 * or a colour redefinition. */
struct Flash {
  int ind;
  float red, grn, blu;
};

struct Record {
  bool forward = false;
  bool count_only = false;
  long fills = 0, lines = 0, texts = 0; /* counts, kept also when count_only */
  int fill_colour = -9999, line_colour = -9999, line_type = 1;
  float line_width = 0;
  std::vector<Poly> polys;
  std::vector<Line> segs;
  std::vector<Text> words;
  std::vector<Flash> flashes;
};

inline Record& rec() {
  static Record r;
  return r;
}

inline Gint on_fill(Gint n, const Gpt* p) {
  Record& r = rec();
  ++r.fills;
  if (!r.count_only) r.polys.push_back(Poly{r.fill_colour, std::vector<Gpt>(p, p + n)});
  return r.forward ? gfill_area(n, p) : 0;
}

inline Gint on_line(Gint n, const Gpt* p) {
  Record& r = rec();
  ++r.lines;
  if (!r.count_only && n >= 2) r.segs.push_back(Line{r.line_colour, r.line_type, r.line_width, p[0], p[1]});
  return r.forward ? gpolyline(n, p) : 0;
}

inline Gint on_text(const Gpt* pos, const Gchar* s) {
  Record& r = rec();
  ++r.texts;
  if (!r.count_only) r.words.push_back(Text{*pos, s});
  return r.forward ? gtext(pos, s) : 0;
}

inline Gint on_fill_colr(Gint c) {
  rec().fill_colour = c;
  return rec().forward ? gset_fill_colr_ind(c) : 0;
}

inline Gint on_line_colr(Gint c) {
  rec().line_colour = c;
  return rec().forward ? gset_line_colr_ind(c) : 0;
}

inline Gint on_linetype(Gint t) {
  rec().line_type = t;
  return rec().forward ? gset_linetype(t) : 0;
}

inline Gint on_linewidth(Gfloat w) {
  rec().line_width = w;
  return rec().forward ? gset_linewidth(w) : 0;
}

/* Waits are recorded, not waited. */
inline int on_sleep(float secs) {
  rec().flashes.push_back(Flash{-1, secs, 0, 0});
  return 0;
}

inline int on_set_color(int ind, float r, float g, float b) {
  rec().flashes.push_back(Flash{ind, r, g, b});
  return rec().forward ? GPH_set_color(ind, r, g, b) : 0;
}

/* Starts a fresh recording. */
inline void install(bool forward = false, bool count_only = false) {
  rec() = Record{};
  rec().forward = forward;
  rec().count_only = count_only;
  const CONT_kernel k{on_fill,     on_line,      on_text,  on_fill_colr, on_line_colr,
                      on_linetype, on_linewidth, on_sleep, on_set_color};
  CONT_set_kernel(&k);
}

inline void remove() { CONT_set_kernel(nullptr); }

} // namespace cont_rec

#endif
