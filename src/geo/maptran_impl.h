/*
 * maptran_impl.h: what the files of maptran share: the module's state (the
 * current frame, the last domain pair, the decluttering grid) and the
 * constants its frame is built with. Defined in maptran.cpp; private to
 * the module.
 */
#ifndef MAPTRAN_IMPL_H
#define MAPTRAN_IMPL_H

#include "kez.h"

#include <climits>
#include <cstring>
#include <type_traits>
#include <vector>

namespace maptran_impl {

constexpr double rad = 0.017453292519943334; /* radians per degree */
constexpr double deg = 57.295779513082195;   /* degrees per radian */
constexpr double pi = 3.14159265358979323846;
constexpr double miss = KEZ_FMISS;
constexpr double km_per_deg = 111.195; /* along a great circle */
constexpr double kappa = 0.286;        /* exponent of the potential temperature */
constexpr double edge_margin = 1e-4;   /* degrees of longitude past a map's edge still on it */

struct Rule;

/* Everything a transformation reads: the current domain, its limits and the
 * constants derived from it. Copied whole when another domain is made
 * current for one conversion. */
struct Frame {
  Domain dom{KEZ_MISS,  KEZ_FMISS, KEZ_FMISS, {KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS},
             KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS,
             KEZ_MISS,  KEZ_MISS,  0};
  const Rule* rule = nullptr; /* unit of dom.proj; null for a code without one */
  int rule_code = INT_MIN;    /* the code that rule and the constants belong to */
  MAP_limits limits{KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS};
  MAP_limits view{KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS}; /* diagram viewport */

  double earth_rad = 63.7122; /* sphere, plot units */
  double earth_maj = 63.781368;
  double earth_min = 63.56752;
  double earth_ratio2 = (63.56752 / 63.781368) * (63.56752 / 63.781368);
  double sat_rad = 421.64; /* satellite distance from the earth's centre */
  float tlat1 = 30.0f;     /* true latitudes in use (degrees) */
  float tlat2 = 60.0f;

  /* Diagram scales: -9999 not yet computed, 0 while the limits are. */
  double xfactor = miss;
  double yfactor = miss;
  double scale = miss; /* skew-T: the y of the bottom edge */

  /* Map projection constants, valid once ready is set. */
  bool ready = false;
  bool usable = true;  /* false for a degenerate domain: every point hidden */
  double hemi = 1.0;   /* polar stereographic: -1 north, +1 south; Lambert: +1 north, -1 south */
  double k = 0.0;      /* polar stereographic radius factor */
  double cone = 0.0;   /* Lambert cone constant n */
  double cone_f = 0.0; /* Lambert radius factor F */
  double cos_plat = 1.0;
  double sin_plat = 0.0;
  double sat_ratio = miss; /* R / Rs */
};

static_assert(std::is_trivially_copyable_v<Frame> && std::is_trivially_copyable_v<Domain>);

/* The frames of the last two domains MAP_domain_tran carried a point
 * between, set up and prepared, with the frame and domains they came
 * from: a report's position goes from the plot's domain to the grid's for
 * every station, and setting up a domain projects its centre. Compared
 * byte for byte, so that any change of either domain or of the frame in
 * force sets them up again. */
struct DomainPair {
  bool valid = false;
  Frame base;     /* the frame in force when the pair was set up */
  Domain d1, d2;  /* the domains, as given */
  Frame from, to; /* the frames of d1 and d2 */

  bool holds(const Frame& f, const Domain& a, const Domain& b) const {
    return valid && std::memcmp(&base, &f, sizeof f) == 0 && std::memcmp(&d1, &a, sizeof a) == 0 &&
           std::memcmp(&d2, &b, sizeof b) == 0;
  }
  void keep(const Frame& f, const Domain& a, const Domain& b, const Frame& fa, const Frame& fb) {
    base = f;
    d1 = a;
    d2 = b;
    from = fa;
    to = fb;
    valid = true;
  }
};

struct MapState {
  Frame frame;
  DomainPair pair;        /* MAP_domain_tran's frames last set up */
  int grid_limit = 0;     /* decluttering cells: n per spacing, -n spacings a cell, 0 off */
  std::vector<int> cells; /* counters of the decluttering grid */
};

extern MapState st;

} // namespace maptran_impl

#endif
