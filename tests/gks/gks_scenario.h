/*
 * Helpers of the graphics kernel's tests. The kernel keeps process-wide
 * state, so every scenario runs in a child process (kez_test::run_child);
 * Checks prints what failed on the child's standard output and gives the
 * child's exit status.
 */
#ifndef KEZ_GKS_SCENARIO_H
#define KEZ_GKS_SCENARIO_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "gks.h"
#include "kez.h"
#include "kezgks.h"

namespace gks_test {

struct Checks {
  int failed = 0;
  void operator()(bool ok, const std::string& what) {
    if (ok) return;
    ++failed;
    std::printf("FAILED: %s\n", what.c_str());
  }
  void near(float got, float want, const std::string& what, float tol = 1e-3f) {
    (*this)(std::fabs(got - want) <= tol, what + ": got " + std::to_string(got) + ", want " + std::to_string(want));
  }
  int status() const { return failed ? 1 : 0; }
};

/* The kernel with its error report on, and a PostScript workstation on the
 * connection string (file name and options). */
inline int open_ps(const std::string& conn) {
  gopen_gks(nullptr, 0);
  return gopen_ws(1, conn.c_str(), GWS_PS);
}

inline Glim lim(float x0, float x1, float y0, float y1) { return Glim{x0, x1, y0, y1}; }

/* Transformation n with a world window on a viewport, made current. */
inline void use_tran(int n, Glim win, Glim vp) {
  gset_win(n, &win);
  gset_vp(n, &vp);
  gsel_norm_tran(n);
}

/* One world unit is one point of the drawing (PostScript) on the default
 * page: the unit viewport fills 575 points. */
inline void point_world() { use_tran(1, lim(0, 575, 0, 575), lim(0, 1, 0, 1)); }

inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

/* A number of hundredths as "%.2f" writes it. */
inline std::string two_decimals(long long v) {
  const long long a = v < 0 ? -v : v;
  std::string frac = std::to_string(a % 100);
  return (v < 0 ? "-" : "") + std::to_string(a / 100) + "." + (frac.size() < 2 ? "0" : "") + frac;
}

/* A page with its paths in the plain form that the writer's compact one
 * stands for: "dx dy M" is "np" and "x y mv", "dx dy m" is "x y mv", each
 * step of "[...]L" is "x y ln", and "[...]S" adds "stroke"; the steps are
 * hundredths of a point from the point before. Everything else is copied.
 * A malformed path gives "?path" where it stands. */
inline std::string plain_paths(const std::string& ps) {
  std::string out;
  long long x = 0, y = 0;
  size_t at = 0;
  auto read_int = [&](long long* v) {
    size_t used = 0;
    try {
      *v = std::stoll(ps.substr(at, 24), &used);
    } catch (...) {
      return false;
    }
    at += used;
    return true;
  };
  auto skip_blanks = [&] {
    while (at < ps.size() && (ps[at] == ' ' || ps[at] == '\n')) ++at;
  };
  auto point = [&](const char* op) { out += two_decimals(x) + " " + two_decimals(y) + op; };
  while (at < ps.size()) {
    const size_t eol = std::min(ps.find('\n', at), ps.size());
    const std::string line = ps.substr(at, eol - at);
    const size_t move = line.find_first_of("Mm");
    const bool is_move = move != std::string::npos && move > 2 && line[move - 1] == ' ' &&
                         line.find_first_not_of("-0123456789 ") == move;
    /* A run begins a line only after text broke into it; a dash array
     * ("[3 6] 0 setdash") is no run. */
    const size_t close = line.find(']');
    const bool is_run = line.rfind("[", 0) == 0 && close != std::string::npos && close + 1 < line.size() &&
                        (line[close + 1] == 'L' || line[close + 1] == 'S');
    const bool continued = line.rfind("[", 0) == 0 && close == std::string::npos &&
                           line.find_first_not_of("[-0123456789 ") == std::string::npos;
    if (!is_move && !is_run && !continued) {
      out += line + "\n";
      at = eol + 1;
      continue;
    }
    if (is_move) {
      long long dx = 0, dy = 0;
      if (!read_int(&dx) || !read_int(&dy)) return out + "?path";
      x += dx;
      y += dy;
      if (line[move] == 'M') out += "np\n";
      point(" mv\n");
      at += 2; /* " M" */
    }
    if (at < ps.size() && ps[at] == '[') {
      ++at;
      for (;;) {
        skip_blanks();
        if (at < ps.size() && ps[at] == ']') break;
        long long dx = 0, dy = 0;
        if (!read_int(&dx) || !read_int(&dy)) return out + "?path";
        x += dx;
        y += dy;
        point(" ln\n");
      }
      if (at + 1 >= ps.size() || (ps[at + 1] != 'L' && ps[at + 1] != 'S')) return out + "?path";
      if (ps[at + 1] == 'S') out += "stroke\n";
      at += 2;
    }
    if (at < ps.size() && ps[at] == '\n') ++at;
  }
  return out;
}

/* The drawing part of a PostScript file, its paths in the plain form:
 * after the prolog's plot comment, up to the end-of-plot comment. */
inline std::string body_of(const std::string& ps) {
  size_t from = ps.find("%%KEZ Plot:");
  if (from == std::string::npos) return "";
  from = ps.find('\n', from) + 1;
  size_t to = ps.find("%%End of plot");
  return plain_paths(ps.substr(from, to == std::string::npos ? std::string::npos : to - from));
}

/* The records of a text metafile: everything after its four header lines
 * (empty when the file is shorter). */
inline std::string records_of(const std::string& meta) {
  size_t at = 0;
  for (int line = 0; line < 4; ++line) {
    at = meta.find('\n', at);
    if (at == std::string::npos) return "";
    ++at;
  }
  return meta.substr(at);
}

} // namespace gks_test

#endif
