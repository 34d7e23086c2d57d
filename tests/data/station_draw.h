/*
 * What the station drawers draw, read back from the kernel's text
 * metafile: every polyline, fill area, marker and text with its points in
 * world coordinates. The metafile is written by the kernel's own device, so
 * the drawings are checked as any program would receive them.
 */
#ifndef KEZ_STATION_DRAW_H
#define KEZ_STATION_DRAW_H

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "gks.h"
#include "kez_test.h"
#include "kezgks.h"

namespace station_draw {

struct Prim {
  std::string kind; /* "PL", "FA", "PM", "TE", or a setter's record */
  std::vector<Gpt> pts;
  std::string text;
};

inline Gpt pair_of(const std::string& w) {
  Gpt p{};
  std::sscanf(w.c_str(), "%f,%f", &p.x, &p.y);
  return p;
}

/* The drawings of a metafile; with setters, the setters' records too, in
 * order with the drawings. */
inline std::vector<Prim> read_meta(const std::string& file, bool with_setters = false) {
  std::vector<Prim> out;
  std::vector<Prim> ignored;
  std::vector<Prim>& setters = with_setters ? out : ignored;
  std::istringstream in(kez_test::read_file(file));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string w;
    if (!(words >> w)) continue;
    /* Four points a line; a record may follow on the continued line. */
    if (line[0] == ' ' && w.find(',') != std::string::npos) {
      if (!out.empty()) {
        do out.back().pts.push_back(pair_of(w));
        while (words >> w);
      }
      continue;
    }
    if (w == "PL" || w == "FA" || w == "PM") {
      Prim p{w, {}, ""};
      int n;
      words >> n;
      while (words >> w) p.pts.push_back(pair_of(w));
      out.push_back(p);
    } else if (w == "TE") {
      Prim p{w, {}, ""};
      words >> w;
      p.pts.push_back(pair_of(w));
      std::getline(words, p.text);
      if (!p.text.empty() && p.text[0] == ' ') p.text.erase(0, 1);
      out.push_back(p);
    } else if (w.find(',') == std::string::npos) {
      /* A setter: its arguments as text. */
      Prim p{w, {}, ""};
      std::getline(words, p.text);
      if (!p.text.empty() && p.text[0] == ' ') p.text.erase(0, 1);
      setters.push_back(p);
    }
  }
  return out;
}

/* The kernel with a metafile device whose transformation 2 shows win. */
inline int open_meta(const std::string& file, Glim win) {
  gopen_gks(nullptr, 0);
  if (gopen_ws(1, file.c_str(), GWS_META) != 0) return -1;
  const Glim vp{0, 1, 0, 1};
  gset_win(2, &win);
  gset_vp(2, &vp);
  gsel_norm_tran(2);
  return 0;
}

inline void close_meta() {
  gclose_ws(1);
  gclose_gks();
}

inline bool near(Gpt a, Gpt b, float tol = 2e-4f) { return std::fabs(a.x - b.x) < tol && std::fabs(a.y - b.y) < tol; }

inline std::string show(const std::vector<Prim>& prims) {
  std::ostringstream s;
  for (const Prim& p : prims) {
    s << p.kind;
    for (const Gpt& q : p.pts) s << " " << q.x << "," << q.y;
    if (!p.text.empty()) s << " '" << p.text << "'";
    s << "\n";
  }
  return s.str();
}

inline void load_colours() {
  CLR_read_table(KEZ_DATA_DIR "/kez.clr");
  for (int i = 0; i < CLR_get_num(); ++i) {
    Gcolr_rep rep{};
    CLR_get_rgb(i, &rep.red, &rep.green, &rep.blue);
    gset_colr_rep(1, i, &rep);
  }
}

} // namespace station_draw

#endif
