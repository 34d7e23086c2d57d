/*
 * Helpers of the graphics kernel's tests. The kernel keeps process-wide
 * state, so every scenario runs in a child process (kez_test::run_child);
 * Checks prints what failed on the child's standard output and gives the
 * child's exit status.
 */
#ifndef KEZ_GKS_SCENARIO_H
#define KEZ_GKS_SCENARIO_H

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

/* The drawing part of a PostScript file: after the prolog's plot comment,
 * up to the end-of-plot comment. */
inline std::string body_of(const std::string& ps) {
  size_t from = ps.find("%%KEZ Plot:");
  if (from == std::string::npos) return "";
  from = ps.find('\n', from) + 1;
  size_t to = ps.find("%%End of plot");
  return ps.substr(from, to == std::string::npos ? std::string::npos : to - from);
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
