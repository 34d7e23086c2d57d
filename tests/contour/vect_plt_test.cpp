/*
 * The vector plot: format items, "plot_param" keywords and the type
 * prompt; arrows, barbs and streamlines observed through a recorder of the
 * wind drawer; and the grid store's winds left as read.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "kez_test.h"
#include "kezcont.h"
#include "ps_render.h"

namespace {

using kez_test::ChildResult;
using kez_test::run_child;

struct Mark {
  bool barb;
  float x, y, dir, spd, size, head;
};

std::vector<Mark>& marks() {
  static std::vector<Mark> m;
  return m;
}

int on_vect(float x, float y, float dir, float spd, float size, float head) {
  marks().push_back(Mark{false, x, y, dir, spd, size, head});
  return 0;
}

int on_barb(float x, float y, float dir, float spd, float size, float offset) {
  marks().push_back(Mark{true, x, y, dir, spd, size, offset});
  return 0;
}

void record() {
  marks().clear();
  const VECT_kernel k{on_vect, on_barb, nullptr};
  VECT_set_kernel(&k);
}

/* A u and v pair on a latitude/longitude grid of one-degree spacing. */
struct Pair {
  GRD_report u{}, v{};
  std::vector<float> uv, vv;
  Pair(int nx, int ny, float u0, float v0) : uv(static_cast<size_t>(nx) * ny, u0), vv(uv.size(), v0) {
    for (GRD_report* g : {&u, &v}) {
      DOM_init(&g->domain);
      g->domain.proj = MAP_LATLON;
      g->domain.nx = nx;
      g->domain.ny = ny;
      g->domain.clat = 0;
      g->domain.clon = 0;
      g->domain.dx = g->domain.dy = 1;
      std::snprintf(g->datim, sizeof g->datim, "12Z");
    }
    u.grid = uv.data();
    v.grid = vv.data();
  }
};

void set_var(int ind, int type, const char* format) {
  VAR_data* v = VAR_get_var(ind);
  v->type = type;
  std::snprintf(v->format, sizeof v->format, "%s", format);
}

ChildResult scenario(const std::function<int()>& body, const std::string& input = "") {
  return run_child(
      [&] {
        CLR_read_table(KEZ_DATA_DIR "/kez.clr");
        return body();
      },
      input);
}

TEST(VectorSettings, FormatItemsAndPlotParam) {
  ChildResult r = scenario([] {
    int bad = 0;
    VECT_set_format(VECT_ARROWS, "barb:sk=2:co=red");
    VECT_format_decode_type();
    Gattribs a{};
    ATTRIB_init(&a);
    VECT_format_decode_attrib(&a);
    if (VECT_get_type() != VECT_BARBS || VECT_inspect("xskip") != 2 || VECT_inspect("yskip") != 2) bad |= 1;
    if (a.color != CLR_get_ind("red")) bad |= 2;
    VECT_init();
    VECT_set_format(VECT_ARROWS, "vect:strm");
    VECT_format_decode_type();
    if (VECT_get_type() != VECT_STREAM) bad |= 4;
    VECT_set_format(VECT_ARROWS, "STRM:Vect:sk=0:ss=0.05:nolr");
    VECT_format_decode_type();
    if (VECT_get_type() != VECT_ARROWS || VECT_inspect("xskip") != 1 || FLAG_getplot(6) != 0) bad |= 8;
    VECT_set_format(VECT_STREAM, "in=5");
    VECT_format_decode_type();
    if (VECT_get_type() != VECT_STREAM || VECT_get_intrvl() != 5) bad |= 16;

    struct {
      const char* param;
      float arrow_scale;
      int xs, ys, uvgrid;
    } params[] = {
        {"strm_sc=0", 1, 1, 1, 1},      {"strm_sc=2.5", 2.5f, 1, 1, 1},    {"wv_skip=3", 2.5f, 3, 3, 1},
        {"wv_skip=2:4", 2.5f, 2, 4, 1}, {"wv_skip=0,uvew", 2.5f, 1, 1, 0}, {"UVGRID", 2.5f, 1, 1, 1},
    };
    int k = 0;
    for (const auto& p : params) {
      RES_put("plot_param", p.param);
      VECT_param_decode();
      if (VECT_inspect("arrow_scale") != p.arrow_scale || VECT_inspect("xskip") != p.xs ||
          VECT_inspect("yskip") != p.ys || VECT_inspect("uvgrid") != p.uvgrid)
        bad |= 32 << k;
      ++k;
    }
    RES_put("plot_param", "vbar,bar");
    VECT_param_decode();
    if (VECT_get_vect() != 1 || CONT_get_bar() != 1) bad |= 1 << 12;
    RES_put("plot_param", "nobar");
    VECT_param_decode();
    if (CONT_get_bar() != -1) bad |= 1 << 13;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(VectorSettings, TypePrompt) {
  struct Case {
    const char* input;
    int type;
  } cases[] = {
      {"s\n", VECT_STREAM},   {"Barb\n", VECT_BARBS},  {"none\n", VECT_NONE}, {"\n", VECT_ARROWS},
      {"yes\n", VECT_STREAM}, {"strm\n", VECT_STREAM}, {"x\n", VECT_ARROWS},
  };
  for (const Case& c : cases) {
    ChildResult r = scenario(
        [&] {
          Pair p(4, 3, 1, 1);
          set_var(0, -9999, "");
          VECT_set_format(-9999, "");
          VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
          return VECT_get_type() == c.type ? 0 : 1;
        },
        c.input);
    EXPECT_EQ(r.status, 0) << c.input << r.out;
    EXPECT_NE(r.out.find("Vectors (V) or Streamlines (S): "), std::string::npos);
  }
  /* A saved "none" asks again on the next frame. */
  ChildResult again = scenario(
      [] {
        Pair p(4, 3, 1, 1);
        VECT_set_format(-9999, "");
        VECT_plot_setup(0, 5, &p.u, &p.v, nullptr, nullptr);
        const int first = VECT_get_type();
        VECT_plot_setup(1, 5, &p.u, &p.v, nullptr, nullptr);
        return (first == VECT_NONE && VECT_get_type() == VECT_STREAM) ? 0 : 1;
      },
      "none\ns\n");
  EXPECT_EQ(again.status, 0) << again.out;
  /* Batch mode never prompts, whatever flag 11 holds. */
  for (int flag : {-9999, 12, 99 - 1}) {
    ChildResult b = scenario([flag] {
      FLAG_set_batch(1);
      FLAG_set(FLAG_PLOT_TYPE, flag);
      Pair p(4, 3, 1, 1);
      VECT_set_format(-9999, "");
      VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
      return VECT_get_type() == VECT_ARROWS ? 0 : 1;
    });
    EXPECT_EQ(b.status, 0) << flag << b.out;
    EXPECT_EQ(b.out.find("Vectors (V)"), std::string::npos) << flag;
  }
}

int draw_pair(Pair& p, const char* format) {
  MAP_domain(&p.u.domain);
  VECT_set_format(VECT_ARROWS, format);
  VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
  record();
  return VECT_draw(&p.u, &p.v);
}

TEST(VectorDraw, ArrowLengthsFollowBaseAndLargestSpeed) {
  ChildResult r = scenario([] {
    FLAG_set_batch(1);
    RES_put("plot_param", "uvew");
    RES_put("color_cont", "red");
    int bad = 0;
    Pair p(3, 2, 0, 0);
    p.uv = {10, 5, 20, 0, 0, 0};
    p.vv = {0, 0, 0, -10, 0, 0};
    if (draw_pair(p, "vect:cb=10") != 0) bad |= 1;
    /* length = size * relative speed */
    auto len = [](const Mark& m) { return m.size * m.spd; };
    if (marks().size() != 4)
      bad |= 2;
    else {
      if (std::fabs(len(marks()[0]) - 1.0f) > 1e-5) bad |= 4;
      if (std::fabs(len(marks()[1]) - 0.5f) > 1e-5) bad |= 8;
      if (std::fabs(len(marks()[2]) - 2.0f) > 1e-5) bad |= 16;
      if (std::fabs(marks()[0].dir - 270) > 1e-3 || std::fabs(marks()[3].dir - 0) > 1e-3) bad |= 32;
      if (marks()[0].x != 0 || marks()[0].y != 1 || marks()[3].y != 0) bad |= 64;
    }
    if (draw_pair(p, "vect:sc=2") != 0 || marks().size() != 4 || std::fabs(len(marks()[2]) - 2.0f) > 1e-5 ||
        std::fabs(len(marks()[0]) - 1.0f) > 1e-5)
      bad |= 128;
    if (draw_pair(p, "barb") != 0 || marks().size() != 4 || !marks()[0].barb || marks()[0].spd != 10) bad |= 256;
    /* the upper cut-off leaves out its own speed */
    if (draw_pair(p, "vect:mx=10") != 0 || marks().size() != 1) bad |= 512;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(VectorDraw, SkipLatticeFromTheTopRow) {
  ChildResult r = scenario([] {
    FLAG_set_batch(1);
    RES_put("plot_param", "uvew");
    RES_put("color_cont", "red");
    Pair p(7, 8, 3, 4);
    draw_pair(p, "vect:sk=3");
    std::vector<std::pair<float, float>> want;
    for (int row : {0, 3, 6})
      for (int col : {0, 3, 6}) want.emplace_back(static_cast<float>(col), static_cast<float>(7 - row));
    std::vector<std::pair<float, float>> got;
    for (const Mark& m : marks()) got.emplace_back(m.x, m.y);
    return got == want ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(VectorDraw, GridStoreWindsStayAsRead) {
  ChildResult r = scenario([] {
    FLAG_set_batch(1);
    RES_put("color_cont", "red");
    Pair p(6, 5, 3, -4);
    p.vv[7] = KEZ_FMISS;
    const std::vector<float> u0 = p.uv, v0 = p.vv;
    int bad = 0;
    for (const char* form : {"vect", "vect", "strm", "barb"}) {
      draw_pair(p, form);
      if (std::memcmp(u0.data(), p.uv.data(), u0.size() * sizeof(float)) != 0 ||
          std::memcmp(v0.data(), p.vv.data(), v0.size() * sizeof(float)) != 0)
        bad |= 1;
    }
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Streamlines, StepsHeadsAndEnds) {
  ChildResult r = scenario([] {
    FLAG_set_batch(1);
    RES_put("plot_param", "uvew");
    RES_put("color_cont", "red");
    int bad = 0;
    /* a uniform south-west wind: lines run up and to the right */
    Pair p(40, 6, 3, 4);
    draw_pair(p, "strm");
    if (marks().empty()) return 1;
    int heads = 0, steps = 0, k = 0;
    for (size_t n = 0; n < marks().size(); ++n) {
      const Mark& m = marks()[n];
      if (std::fabs(m.spd - 0.25f) > 1e-6 || m.size != 1) bad |= 2;
      if (std::fabs(m.dir - (-180 + 36.8699f)) > 1e-3) bad |= 4;
      ++steps;
      if (m.head > 0) {
        ++heads;
        if (m.head != 4) bad |= 8;
      }
      if (n > 0) {
        const Mark& q = marks()[n - 1];
        const float dx = m.x - q.x, dy = m.y - q.y;
        const bool next_step = std::fabs(dx - 0.15f) < 1e-4 && std::fabs(dy - 0.2f) < 1e-4;
        const bool end_head = dx == 0 && dy == 0;
        if (next_step)
          ++k;
        else if (!end_head)
          k = 0;
        if (next_step && m.head > 0 && k % 10 != 9) bad |= 16;
      }
    }
    if (heads == 0 || steps < 10) bad |= 32;
    /* a spacing below one step heads every step and never divides by 0 */
    draw_pair(p, "strm:ss=0.05");
    if (marks().empty()) bad |= 64;
    for (const Mark& m : marks())
      if (std::fabs(m.head - 0.2f) > 1e-6) bad |= 128;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace

namespace {

/* --- directions against PROJ ---------------------------------------------- */

struct LL {
  double lat, lon;
};

/* PROJ's proj (or invproj with "-I") on the points: two numbers a line. */
std::vector<std::pair<double, double>> run_proj(const std::string& args,
                                                const std::vector<std::pair<double, double>>& in) {
  kez_test::TempDir dir;
  std::string text;
  char line[96];
  for (auto [a, b] : in) {
    std::snprintf(line, sizeof line, "%.10f %.10f\n", a, b);
    text += line;
  }
  kez_test::write_file(dir.file("in"), text);
  std::string out;
  kez_test::run_command("proj -f %.10f " + args + " < " + dir.file("in") + " 2>/dev/null", &out);
  std::vector<std::pair<double, double>> res;
  std::istringstream lines(out);
  double a = 0, b = 0;
  while (lines >> a >> b) res.emplace_back(a, b);
  return res;
}

/* The direction (clockwise from plot up) of the meridian's image at each
 * point, from PROJ. */
std::vector<double> north_angles(const std::string& args, const std::vector<LL>& pts) {
  std::vector<std::pair<double, double>> in;
  for (const LL& p : pts) {
    in.emplace_back(p.lon, p.lat);
    in.emplace_back(p.lon, p.lat + 0.001);
  }
  const auto xy = run_proj(args, in);
  std::vector<double> out;
  for (size_t k = 0; k + 1 < xy.size(); k += 2)
    out.push_back(std::atan2(xy[k + 1].first - xy[k].first, xy[k + 1].second - xy[k].second) * 180 / M_PI);
  return out;
}

double turn(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return std::fabs(d);
}

Domain dom(int proj, float plat, float plon, float clat, float clon, float dx, int nx, int ny, float p0 = KEZ_FMISS,
           float p1 = KEZ_FMISS) {
  Domain d;
  DOM_init(&d);
  d.proj = proj;
  d.plat = plat;
  d.plon = plon;
  d.clat = clat;
  d.clon = clon;
  d.dx = d.dy = dx;
  d.nx = nx;
  d.ny = ny;
  d.param[0] = p0;
  d.param[1] = p1;
  return d;
}

const char* const kStere = "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105 +R=6371220";
const char* const kLcc = "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=90 +lon_0=-100 +R=6371220";
const char* const kEqc = "+proj=eqc +lon_0=-90 +R=5729577.951308232";

TEST(VectorDirections, ArrowsAndBarbsFollowTheMeridiansOfEveryMap) {
  if (!kez_test::have_program("proj")) GTEST_SKIP() << "no PROJ";
  /* earth-relative winds on a latitude/longitude grid */
  const int nx = 7, ny = 5;
  std::vector<LL> pts;
  std::vector<float> dirs;
  for (int r = 0; r < ny; ++r)
    for (int i = 0; i < nx; ++i) {
      pts.push_back(LL{45.0 + 5.0 * ((ny - 1) / 2.0 - r), -100.0 + 5.0 * (i - (nx - 1) / 2.0)});
      dirs.push_back(static_cast<float>((37 * (r * nx + i)) % 360));
    }
  struct MapCase {
    const char* why;
    Domain map;
    const char* args;
  } maps[] = {
      {"latitude/longitude", dom(MAP_LATLON, 0, -90, 40, -90, 1, 60, 40), kEqc},
      {"polar stereographic", dom(MAP_PSTEREO, 90, -105, 45, -100, 1, 60, 40), kStere},
      {"Lambert conformal", dom(MAP_LAMB, 45, -100, 45, -100, 1, 60, 40, 30, 60), kLcc},
  };
  for (const MapCase& mc : maps) {
    const std::vector<double> north = north_angles(mc.args, pts);
    ASSERT_EQ(north.size(), pts.size()) << mc.why;
    for (const char* form : {"vect", "barb"}) {
      ChildResult r = scenario([&] {
        FLAG_set_batch(1);
        RES_put("plot_param", "uvew");
        RES_put("color_cont", "red");
        Pair p(nx, ny, 0, 0);
        for (GRD_report* g : {&p.u, &p.v}) g->domain = dom(MAP_LATLON, 0, -100, 45, -100, 5, nx, ny);
        for (size_t k = 0; k < dirs.size(); ++k) wind2vect(dirs[k], 10, &p.uv[k], &p.vv[k]);
        MAP_domain(&mc.map);
        VECT_set_format(VECT_ARROWS, form);
        VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
        record();
        VECT_draw(&p.u, &p.v);
        if (marks().size() != pts.size()) return 1;
        for (size_t k = 0; k < pts.size(); ++k)
          if (turn(marks()[k].dir, dirs[k] + north[k]) > 0.5) {
            std::printf("%zu: %g against %g\n", k, static_cast<double>(marks()[k].dir), dirs[k] + north[k]);
            return 2;
          }
        return 0;
      });
      EXPECT_EQ(r.status, 0) << mc.why << " " << form << "\n" << r.out << r.err;
    }
  }
}

TEST(VectorDirections, GridRelativeLambertWindsTurnToTheEarth) {
  if (!kez_test::have_program("proj")) GTEST_SKIP() << "no PROJ";
  const int nx = 6, ny = 5;
  const float dx = 3.0f; /* 300 km */
  /* the grid's points from PROJ: centre at 45N 100W */
  const auto centre = run_proj(kLcc, {{-100.0, 45.0}});
  ASSERT_EQ(centre.size(), 1u);
  std::vector<std::pair<double, double>> xy;
  for (int r = 0; r < ny; ++r)
    for (int i = 0; i < nx; ++i)
      xy.emplace_back(centre[0].first + 1e5 * dx * (i - (nx - 1) / 2.0),
                      centre[0].second + 1e5 * dx * ((ny - 1) / 2.0 - r));
  const auto ll = run_proj(std::string("-I ") + kLcc, xy);
  ASSERT_EQ(ll.size(), xy.size());
  std::vector<LL> pts;
  for (auto [lon, lat] : ll) pts.push_back(LL{lat, lon});
  const std::vector<double> grid_north = north_angles(kLcc, pts);
  const std::vector<double> map_north = north_angles(kStere, pts);
  ASSERT_EQ(grid_north.size(), pts.size());
  ASSERT_EQ(map_north.size(), pts.size());
  ChildResult r = scenario([&] {
    FLAG_set_batch(1);
    RES_put("plot_param", "uvgrid");
    RES_put("color_cont", "red");
    Pair p(nx, ny, 0, 0);
    for (GRD_report* g : {&p.u, &p.v}) g->domain = dom(MAP_LAMB, 45, -100, 45, -100, dx, nx, ny, 30, 60);
    std::vector<float> gdir;
    for (size_t k = 0; k < p.uv.size(); ++k) {
      gdir.push_back(static_cast<float>((53 * k + 10) % 360));
      wind2vect(gdir[k], 12, &p.uv[k], &p.vv[k]);
    }
    const Domain map = dom(MAP_PSTEREO, 90, -105, 45, -100, 1, 60, 40);
    MAP_domain(&map);
    VECT_set_format(VECT_ARROWS, "vect");
    VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
    record();
    VECT_draw(&p.u, &p.v);
    if (marks().size() != pts.size()) return 1;
    for (size_t k = 0; k < pts.size(); ++k) {
      const double earth = gdir[k] - grid_north[k];
      if (turn(marks()[k].dir, earth + map_north[k]) > 0.5) {
        std::printf("%zu: %g against %g\n", k, static_cast<double>(marks()[k].dir), earth + map_north[k]);
        return 2;
      }
    }
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace

namespace {

/* --- streamlines against an independent tracer ------------------------------ */

std::vector<Mark> parse_marks(const std::string& text) {
  std::vector<Mark> out;
  std::istringstream lines(text);
  std::string tag;
  Mark m{};
  while (lines >> tag) {
    if (tag != "M") continue;
    lines >> m.x >> m.y >> m.head;
    out.push_back(m);
  }
  return out;
}

TEST(Streamlines, MatchAFixedStepTracerInNumpy) {
  if (!kez_test::have_program("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  const int nx = 15, ny = 10;
  for (int field : {0, 1}) {
    std::vector<float> u(static_cast<size_t>(nx) * ny), v(u.size());
    for (int r = 0; r < ny; ++r)
      for (int i = 0; i < nx; ++i) {
        const size_t k = static_cast<size_t>(r) * nx + i;
        const float x = static_cast<float>(i) - 7.03f, y = static_cast<float>(ny - 1 - r) - 4.47f;
        u[k] = field == 0 ? 3.0f : -0.5f * y;
        v[k] = field == 0 ? 4.0f : 0.5f * x;
      }
    ChildResult r = scenario([&] {
      FLAG_set_batch(1);
      RES_put("plot_param", "uvew");
      RES_put("color_cont", "red");
      Pair p(nx, ny, 0, 0);
      p.uv = u;
      p.vv = v;
      draw_pair(p, "strm");
      for (const Mark& m : marks())
        std::printf("M %.7f %.7f %g\n", static_cast<double>(m.x), static_cast<double>(m.y),
                    static_cast<double>(m.head));
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Mark> ours = parse_marks(r.out);
    kez_test::TempDir dir;
    std::string in = std::to_string(nx) + " " + std::to_string(ny) + " 1 1 1 1 " + std::to_string(4 * nx) + "\n";
    char num[32];
    for (const std::vector<float>* g : {&u, &v})
      for (float f : *g) {
        std::snprintf(num, sizeof num, "%.9g ", static_cast<double>(f));
        in += num;
      }
    kez_test::write_file(dir.file("in"), in);
    std::string out;
    kez_test::run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/contour/data/stream_trace.py " + dir.file("in"),
                          &out);
    std::string tagged;
    std::istringstream lines(out);
    std::string l;
    while (std::getline(lines, l)) tagged += "M " + l + "\n";
    const std::vector<Mark> theirs = parse_marks(tagged);
    ASSERT_GT(theirs.size(), 20u) << out;
    ASSERT_EQ(ours.size(), theirs.size()) << "field " << field;
    for (size_t k = 0; k < ours.size(); ++k) {
      ASSERT_NEAR(ours[k].x, theirs[k].x, 1e-4) << "field " << field << " mark " << k;
      ASSERT_NEAR(ours[k].y, theirs[k].y, 1e-4) << "field " << field << " mark " << k;
      ASSERT_EQ(ours[k].head, theirs[k].head) << "field " << field << " mark " << k;
    }
  }
}

} // namespace

namespace {

/* --- corner labels and the stand-alone plot -------------------------------- */

TEST(VectorSetup, CornerLabels) {
  struct Case {
    const char* format;
    const char* param;
    const char* lower_right;
    const char* lower_left;
  } cases[] = {
      {"vect", "", "MAX:", ""},         {"vect:vbar", "", "", ""},
      {"strm:vbar", "", "MAX:", ""},    {"vect:in=5", "", "MAX:", "INTERVAL:"},
      {"vect:in=5", "bar", "MAX:", ""},
  };
  for (const Case& c : cases) {
    ChildResult r = scenario([&] {
      FLAG_set_batch(1);
      RES_put("plot_param", c.param);
      /* the plot type of a streamline plot keeps "MAX:" beside the legend */
      if (std::strncmp(c.format, "strm", 4) == 0) FLAG_set(FLAG_PLOT_TYPE, VECT_STREAM);
      Pair p(4, 3, 3, 4);
      PLT_init_labels();
      VECT_set_format(VECT_ARROWS, c.format);
      VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
      std::printf("LR[%s] LL[%s]\n", PLT_get_label(5, 0), PLT_get_label(3, 0));
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t lr = r.out.find("LR["), ll = r.out.find("] LL[");
    ASSERT_NE(ll, std::string::npos) << r.out;
    const std::string lr_text = r.out.substr(lr + 3, ll - lr - 3);
    const std::string ll_text = r.out.substr(ll + 5, r.out.find(']', ll + 5) - ll - 5);
    EXPECT_EQ(lr_text.rfind(c.lower_right, 0), 0u) << c.format << " " << lr_text;
    EXPECT_EQ(ll_text.rfind(c.lower_left, 0), 0u) << c.format << " " << ll_text;
    if (!*c.lower_right) {
      EXPECT_EQ(lr_text, "") << c.format;
    }
    if (!*c.lower_left) {
      EXPECT_EQ(ll_text, "") << c.format;
    }
    if (std::string(c.lower_right) == "MAX:") {
      EXPECT_NE(lr_text.find("5.0"), std::string::npos) << lr_text;
    }
  }
}

TEST(VectorPlot, StandAlonePlotRendersThroughGhostscript) {
  if (!kez_test::have_program("gs")) GTEST_SKIP() << "no ghostscript";
  kez_test::TempDir dir;
  const std::string file = std::getenv("KEZ_VECT_PS") ? std::getenv("KEZ_VECT_PS") : dir.file("vect.ps");
  /* dark pixels of the page: border and labels, plus the winds */
  long baseline = -1;
  for (const char* form : {"vect:mx=0.001", "vect:vbar", "barb", "strm"}) {
    ChildResult r = scenario([&] {
      FLAG_set_batch(1);
      RES_put("file_path", KEZ_DATA_DIR);
      RES_put("device", ("p," + file).c_str());
      RES_put("plot_param", "uvew");
      RES_put("color_cont", "red");
      const int nx = 21, ny = 15;
      Pair p(nx, ny, 0, 0);
      for (int r = 0; r < ny; ++r)
        for (int i = 0; i < nx; ++i) {
          const size_t k = static_cast<size_t>(r) * nx + i;
          p.uv[k] = -0.8f * static_cast<float>(7 - r) + 0.05f;
          p.vv[k] = 0.8f * static_cast<float>(i - 10) + 0.05f;
        }
      VECT_set_format(VECT_ARROWS, form);
      Domain map = p.u.domain;
      map.clat = 1; /* another domain: positions are projected */
      VECT_plot_grid(&p.u, &p.v, &map, nullptr);
      return p.uv[0] == -0.8f * 7 + 0.05f ? 0 : 1;
    });
    ASSERT_EQ(r.status, 0) << form << r.out << r.err;
    kez_test::Raster page;
    const kez_test::GsRun run = kez_test::gs_render(file, 612, 792, &page);
    ASSERT_TRUE(run.clean()) << run.log;
    long dark = 0;
    for (int y = 0; y < 792; ++y)
      for (int x = 0; x < 612; ++x) {
        const auto px = page.at(x, y);
        if (px[0] + px[1] + px[2] < 300) ++dark;
      }
    if (baseline < 0)
      baseline = dark;
    else
      EXPECT_GT(dark, baseline + 1000) << form << ": the winds are drawn";
  }
}

} // namespace

namespace {

TEST(VectorDraw, PositionsFollowTheMapOfEachDraw) {
  ChildResult r = scenario([] {
    FLAG_set_batch(1);
    RES_put("plot_param", "uvew");
    RES_put("color_cont", "red");
    Pair p(5, 4, 3, 4);
    int bad = 0;
    for (float clat : {2.0f, 5.0f}) {
      Domain map = p.u.domain;
      map.clat = clat; /* a zoomed or moved map */
      MAP_domain(&map);
      VECT_set_format(VECT_ARROWS, "vect");
      VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
      record();
      VECT_draw(&p.u, &p.v);
      float* gx = nullptr;
      float* gy = nullptr;
      GRD_proj_XY(&p.u, &map, &gx, &gy);
      if (marks().size() != 20) bad |= 1;
      for (size_t k = 0; k < marks().size() && k < 20; ++k)
        if (std::fabs(marks()[k].x - gx[k]) > 1e-5 || std::fabs(marks()[k].y - gy[k]) > 1e-5) bad |= 2;
      std::free(gx);
      std::free(gy);
    }
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace

namespace {

TEST(VectorSetup, LongLevelListIsCutAtALevelWithinTheLabel) {
  ChildResult r = scenario([] {
    FLAG_set_batch(1);
    std::string list;
    for (int k = 0; k < 40; ++k)
      list += (k ? "," : "") + std::to_string(1000 + k * 250) + ":" + std::to_string(k % 10 + 1);
    RES_put("color_fill", list.c_str());
    Pair p(4, 3, 3, 4);
    PLT_init_labels();
    VECT_set_format(VECT_ARROWS, "vect");
    VECT_plot_setup(0, 0, &p.u, &p.v, nullptr, nullptr);
    std::printf("LL[%s]\n", PLT_get_label(3, 0));
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const size_t a = r.out.find("LL[");
  ASSERT_NE(a, std::string::npos) << r.out;
  const std::string ll = r.out.substr(a + 3, r.out.find(']', a) - a - 3);
  ASSERT_EQ(ll.rfind("LEVELS: ", 0), 0u) << ll;
  EXPECT_LE(ll.size(), static_cast<size_t>(PLT_LABEL_MAX)) << ll;
  EXPECT_GT(ll.size(), 55u) << ll;
  EXPECT_NE(ll.back(), ',') << ll;
  /* every item is a whole level of the list */
  std::istringstream items(ll.substr(8));
  std::string item;
  float expect = 1000;
  while (std::getline(items, item, ',')) {
    char want[32];
    std::snprintf(want, sizeof want, "%.1f", static_cast<double>(expect));
    EXPECT_EQ(item, want) << ll;
    expect += 250;
  }
}

} // namespace
