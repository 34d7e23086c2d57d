/*
 * The device records and what every kernel call shares: the guard, the
 * point counts, every primitive on every file device, the choice of a
 * device row by its form item, the page-option grammar and the writers'
 * option setters.
 */
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "gks_scenario.h"
#include "gks_window.h"
#include "kez_test.h"
#include "ps_render.h"
#include "x_server.h"

namespace {

using gks_test::Checks;
using gks_test::lim;
using gks_test::use_tran;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

/* The drawing of a PostScript page, after its prolog. */
std::string body_of_plot(const std::string& ps) {
  const std::size_t at = ps.find("%%Begin plot");
  return at == std::string::npos ? "" : ps.substr(at);
}

const Gpt square[4] = {{0.2f, 0.2f}, {0.8f, 0.2f}, {0.8f, 0.8f}, {0.2f, 0.8f}};

/* ---- the guard ----------------------------------------------------------- */

struct GuardedCall {
  const char* name; /* the name the report carries */
  std::function<int()> call;
};

const std::vector<GuardedCall>& guarded_calls() {
  static const std::vector<GuardedCall> calls = {
      {"gpolyline", [] { return gpolyline(2, square); }},
      {"gfill_area", [] { return gfill_area(3, square); }},
      {"gpolymarker", [] { return gpolymarker(1, square); }},
      {"gtext", [] { return gtext(square, "A"); }},
      {"gset_line_colr_ind", [] { return gset_line_colr_ind(2); }},
      {"gset_linewidth", [] { return gset_linewidth(2); }},
      {"gset_linetype", [] { return gset_linetype(2); }},
      {"gset_fill_colr_ind", [] { return gset_fill_colr_ind(2); }},
      {"gset_fill_int_style", [] { return gset_fill_int_style(GPAT); }},
      {"gset_fill_style_ind", [] { return gset_fill_style_ind(3); }},
      {"gset_marker_colr_ind", [] { return gset_marker_colr_ind(2); }},
      {"gset_marker_size", [] { return gset_marker_size(2); }},
      {"gset_marker_type", [] { return gset_marker_type(2); }},
      {"gset_marker_width", [] { return gset_marker_width(2); }},
      {"gset_text_colr_ind", [] { return gset_text_colr_ind(2); }},
      {"gset_colr_rep",
       [] {
         const Gcolr_rep red{1, 0, 0};
         return gset_colr_rep(1, 2, &red);
       }},
      {"gprint_plot", [] { return gobj_print_plot(); }},
      {"gprint_meta", [] { return gobj_print_meta(); }},
  };
  return calls;
}

TEST(KernelGuard, EveryCallRefusesWhileNoWorkstationIsOpen) {
  TempDir dir;
  const std::string err_file = dir.file("kez.err");
  auto r = run_child([&] {
    Checks check;
    check(gopen_gks(err_file.c_str(), 0) == 0, "kernel open");
    for (const GuardedCall& c : guarded_calls()) check(c.call() == -1, std::string(c.name) + " refused");
    gclose_gks();
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string file = read_file(err_file);
  for (const GuardedCall& c : guarded_calls()) {
    const std::string report = std::string(c.name) + ": GKS not opened\n\n";
    EXPECT_NE(r.err.find(report), std::string::npos) << c.name << " printed\n" << r.err;
    EXPECT_NE(file.find(report), std::string::npos) << c.name << " in the error file\n" << file;
  }
}

/* ---- point counts -------------------------------------------------------- */

struct Primitive {
  const char* name;
  int least; /* the fewest points it takes */
  Gint (*draw)(Gint n, const Gpt* pts);
};

constexpr Primitive counted_primitives[] = {
    {"gpolyline", 2, gpolyline},
    {"gfill_area", 3, gfill_area},
    {"gpolymarker", 1, gpolymarker},
};

TEST(PointCounts, TooFewOrNoPointsAreRefusedWithTheirCount) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    gopen_gks(nullptr, 0);
    gopen_ws(1, dir.file("a.ps").c_str(), GWS_PS);
    use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
    for (const Primitive& p : counted_primitives) {
      check(p.draw(p.least - 1, square) == -1, std::string(p.name) + " one point too few");
      check(p.draw(p.least, nullptr) == -1, std::string(p.name) + " without points");
      check(p.draw(-5, square) == -1, std::string(p.name) + " a negative count");
      check(p.draw(p.least, square) == 0, std::string(p.name) + " the fewest points");
    }
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  for (const Primitive& p : counted_primitives) {
    const std::string report = std::string(p.name) + ": invalid number of points: " + std::to_string(p.least - 1);
    EXPECT_NE(r.err.find(report), std::string::npos) << report << "\n" << r.err;
    EXPECT_NE(r.err.find(std::string(p.name) + ": invalid number of points: -5"), std::string::npos) << r.err;
  }
}

/* ---- every primitive on every file device -------------------------------- */

struct FileDevice {
  const char* name;
  int type;
  const char* options; /* after the file name */
};

constexpr FileDevice file_devices[] = {
    {"PostScript", GWS_PS, ""},       {"EPS", GWS_PS, ",eps,port"}, {"HPGL", GWS_HPGL, ""},
    {"HPGL in PCL", GWS_HPGL, ",lj"}, {"metafile", GWS_META, ""},   {"CGM", GWS_META, ",cgm"},
};

struct DrawnPrimitive {
  const char* name;
  void (*draw)();
};

constexpr DrawnPrimitive drawn_primitives[] = {
    {"polyline", [] { gpolyline(4, square); }},
    {"fill area", [] { gfill_area(4, square); }},
    {"marker", [] { gpolymarker(2, square); }},
    {"text", [] { gtext(square, "Kz"); }},
    {"clear region",
     [] {
       const Glim region = lim(0.3f, 0.6f, 0.3f, 0.6f);
       gclear_region(&region);
     }},
    {"message", [] { gmessage(1, "hello"); }},
};

/* Which primitives a device carries: the CGM has neither areas nor
 * markers nor clears, and HPGL carries no clears or messages. */
bool carries(const std::string& device, const std::string& primitive) {
  if (device == "CGM") return primitive == "polyline" || primitive == "text";
  if (device.rfind("HPGL", 0) == 0) return primitive != "clear region" && primitive != "message";
  return true;
}

/* The output of a page with one primitive (none for null), without the
 * lines that carry the date. */
std::string page(const FileDevice& device, void (*draw)()) {
  TempDir dir;
  const std::string file = dir.file("page");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR); /* the stroke font */
    gopen_gks(nullptr, 0);
    if (gopen_ws(1, (file + device.options).c_str(), device.type) != 0) return 1;
    use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
    if (draw) draw();
    gclose_ws(1);
    return 0;
  });
  if (r.status != 0) return "open failed: " + r.err;
  const std::string all = read_file(file);
  std::string out;
  for (std::size_t at = 0; at < all.size();) {
    const std::size_t eol = all.find('\n', at);
    const std::string line = all.substr(at, eol == std::string::npos ? std::string::npos : eol + 1 - at);
    if (line.find("CreationDate") == std::string::npos) out += line;
    if (eol == std::string::npos) break;
    at = eol + 1;
  }
  return out;
}

TEST(DeviceRecords, EveryPrimitiveReachesEveryFileDeviceThatCarriesIt) {
  for (const FileDevice& device : file_devices) {
    const std::string empty = page(device, nullptr);
    ASSERT_EQ(empty.find("open failed"), std::string::npos) << device.name << ": " << empty;
    for (const DrawnPrimitive& p : drawn_primitives) {
      const bool reached = page(device, p.draw) != empty;
      EXPECT_EQ(reached, carries(device.name, p.name)) << p.name << " on " << device.name;
    }
  }
}

/* The window devices carry every primitive but the message. The page has a
 * grey square under the primitive, so that a cleared region shows. */
TEST(DeviceRecords, EveryPrimitiveReachesBothWindowDevices) {
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed (tools/install-deps.sh)";
  TempDir dir;
  gks_test::ForeignWindow foreign(x, dir.file("loop.log"), "Loop");
  ASSERT_NE(foreign.pixmap, 0UL);
  struct WindowDevice {
    const char* name;
    int type;
    std::string items;
  };
  const WindowDevice windows[] = {
      {"own window", GWS_WINDOW, ""},
      {"another program's window", GWS_PIXMAP,
       ",+" + std::to_string(foreign.window) + ":" + std::to_string(foreign.pixmap) + ":300x200:0"},
  };
  for (const WindowDevice& w : windows) {
    /* Pictures of the page without (index 0) and with each primitive. */
    auto picture = [&](void (*draw)()) {
      const std::string ppm = dir.file("page.ppm");
      auto r = run_child([&] {
        RES_put("file_path", KEZ_DATA_DIR);
        gopen_gks(nullptr, 0);
        if (gopen_ws(1, (x.display() + w.items).c_str(), w.type) != 0) return 1;
        const Gcolr_rep red{1, 0, 0}, grey{0.5f, 0.5f, 0.5f};
        gset_colr_rep(1, 2, &red);
        gset_colr_rep(1, 3, &grey);
        use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
        /* Another program's drawable keeps the last page: cover it. */
        const Gcolr_rep white{1, 1, 1};
        gset_colr_rep(1, 4, &white);
        gset_fill_colr_ind(4);
        const Gpt all[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        gfill_area(4, all);
        gset_fill_colr_ind(3);
        gfill_area(4, square);
        for (auto set : {gset_line_colr_ind, gset_fill_colr_ind, gset_marker_colr_ind, gset_text_colr_ind}) set(2);
        if (draw) draw();
        kez_test::RgbImage image;
        if (w.type == GWS_WINDOW)
          image = gks_test::window_picture(x);
        else if (gsync() != 0 || !kez_test::read_drawable(x.display(), foreign.pixmap, &image))
          return 2;
        gks_test::write_ppm(ppm, image);
        gclose_ws(1);
        return 0;
      });
      kez_test::RgbImage image;
      if (r.status != 0 || !gks_test::read_ppm(ppm, &image)) return std::string("no picture: ") + r.err;
      return std::string(image.rgb.begin(), image.rgb.end());
    };
    const std::string empty = picture(nullptr);
    ASSERT_EQ(empty.rfind("no picture", 0), std::string::npos) << w.name << ": " << empty;
    for (const DrawnPrimitive& p : drawn_primitives) {
      const bool reached = picture(p.draw) != empty;
      EXPECT_EQ(reached, std::string(p.name) != "message") << p.name << " on the " << w.name;
    }
  }
}

/* ---- non-finite points ---------------------------------------------------- */

/* A scene with non-finite points and the same scene drawn with only what
 * must be left of it: a line broken at each such point (a run of one point
 * left out), a fill area or text skipped whole, a marker left out. */
struct NonFiniteScene {
  const char* name;
  void (*with)();
  void (*without)();
};

constexpr float nan_ = NAN, inf_ = INFINITY;

const NonFiniteScene non_finite_scenes[] = {
    {"line broken at NaN and infinity",
     [] {
       const Gpt line[] = {{0.1f, 0.1f}, {0.3f, 0.5f}, {nan_, 0.4f}, {0.5f, 0.2f},
                           {0.7f, 0.8f}, {0.8f, inf_}, {0.9f, 0.1f}};
       gpolyline(7, line);
     },
     [] {
       const Gpt a[] = {{0.1f, 0.1f}, {0.3f, 0.5f}}, b[] = {{0.5f, 0.2f}, {0.7f, 0.8f}};
       gpolyline(2, a);
       gpolyline(2, b);
     }},
    {"line starting at NaN",
     [] {
       const Gpt line[] = {{nan_, nan_}, {0.2f, 0.2f}, {0.8f, 0.3f}};
       gpolyline(3, line);
     },
     [] {
       const Gpt line[] = {{0.2f, 0.2f}, {0.8f, 0.3f}};
       gpolyline(2, line);
     }},
    {"fill area with NaN",
     [] {
       const Gpt area[] = {{0.2f, 0.2f}, {0.8f, 0.2f}, {0.8f, nan_}, {0.2f, 0.8f}};
       gfill_area(4, area);
     },
     [] {}},
    {"markers at NaN and infinity",
     [] {
       const Gpt at[] = {{0.2f, 0.2f}, {nan_, 0.5f}, {0.8f, 0.8f}, {-inf_, 0.3f}};
       gpolymarker(4, at);
     },
     [] {
       const Gpt at[] = {{0.2f, 0.2f}, {0.8f, 0.8f}};
       gpolymarker(2, at);
     }},
    {"markers all at NaN",
     [] {
       const Gpt at[] = {{nan_, nan_}};
       gpolymarker(1, at);
     },
     [] {}},
    {"text at NaN",
     [] {
       const Gpt at{nan_, 0.5f};
       gtext(&at, "Kz");
     },
     [] {}},
};

TEST(NonFinitePoints, NeverReachAFileDevice) {
  for (const FileDevice& device : file_devices) {
    for (const NonFiniteScene& scene : non_finite_scenes) {
      const std::string with = page(device, scene.with);
      ASSERT_EQ(with.find("open failed"), std::string::npos) << device.name << ": " << with;
      EXPECT_EQ(with, page(device, scene.without)) << scene.name << " on " << device.name;
      if (device.type != GWS_META || std::string(device.options).empty()) {
        std::string lower = with;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(lower.find("nan"), std::string::npos) << scene.name << " on " << device.name;
        EXPECT_EQ(lower.find("inf"), std::string::npos) << scene.name << " on " << device.name;
      }
    }
  }
}

/* All scenes on one page: ghostscript, hp2xx and the metafile reader take
 * what the devices wrote. */
TEST(NonFinitePoints, PagesStayReadableByTheirReaders) {
  auto all = [] {
    for (const NonFiniteScene& scene : non_finite_scenes) scene.with();
  };
  TempDir dir;
  for (const FileDevice& device : file_devices) {
    if (device.type == GWS_META && std::string(device.options) == ",cgm") continue;
    const std::string file = dir.file("all");
    kez_test::write_file(file, page(device, all));
    if (device.type == GWS_PS) {
      kez_test::Raster raster;
      const kez_test::GsRun gs = kez_test::gs_render(file, 612, 792, &raster);
      EXPECT_TRUE(gs.clean()) << device.name << ": " << gs.log;
    } else if (device.type == GWS_HPGL) {
      ASSERT_TRUE(kez_test::have_program("hp2xx")) << "hp2xx is needed (tools/install-deps.sh)";
      std::string log;
      const int status =
          kez_test::run_command("hp2xx -q -m pbm -f '" + dir.file("all.pbm") + "' '" + file + "' 2>&1", &log);
      EXPECT_EQ(status, 0) << device.name << ": " << log;
    } else {
      auto r = run_child([&] {
        RES_put("file_path", KEZ_DATA_DIR);
        gopen_gks(nullptr, 0);
        if (gopen_ws(1, (dir.file("again.ps")).c_str(), GWS_PS) != 0) return 1;
        const int read = gread_metafile(file.c_str());
        gclose_ws(1);
        return read == 0 ? 0 : 2;
      });
      EXPECT_EQ(r.status, 0) << device.name << ": " << r.out << r.err;
      EXPECT_EQ(r.err.find("bad"), std::string::npos) << r.err;
    }
  }
}

TEST(NonFinitePoints, EachSkipSaysSoAtTheDebugLevel) {
  TempDir dir;
  auto r = run_child([&] {
    MESS_set_str("debug");
    gopen_gks(nullptr, 0);
    if (gopen_ws(1, dir.file("a.ps").c_str(), GWS_PS) != 0) return 1;
    use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
    for (const NonFiniteScene& scene : non_finite_scenes) scene.with();
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* said : {"gpolyline: line broken at 2 non-finite points of 7", "gfill_area: area with 1 non-finite",
                           "gpolymarker: 2 markers at non-finite points of 4", "gtext: text at a non-finite position"})
    EXPECT_NE((r.out + r.err).find(said), std::string::npos) << said << "\n" << r.out << r.err;
}

/* The window takes the same scenes: pictures with and without the
 * non-finite points are equal. */
TEST(NonFinitePoints, NeverReachTheWindow) {
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed (tools/install-deps.sh)";
  TempDir dir;
  auto picture = [&](void (*draw)()) {
    const std::string ppm = dir.file("page.ppm");
    auto r = run_child([&] {
      RES_put("file_path", KEZ_DATA_DIR);
      if (gks_test::open_window(x) != 0) return 1;
      use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
      draw();
      gks_test::write_ppm(ppm, gks_test::window_picture(x));
      gclose_ws(1);
      return 0;
    });
    kez_test::RgbImage image;
    if (r.status != 0 || !gks_test::read_ppm(ppm, &image)) return std::string("no picture: ") + r.err;
    return std::string(image.rgb.begin(), image.rgb.end());
  };
  for (const NonFiniteScene& scene : non_finite_scenes) {
    const std::string with = picture(scene.with);
    ASSERT_EQ(with.rfind("no picture", 0), std::string::npos) << with;
    EXPECT_TRUE(with == picture(scene.without)) << scene.name;
  }
}

TEST(DeviceRecords, TheLastFormItemChoosesTheMetafileRow) {
  struct Case {
    const char* options;
    bool cgm;
  };
  constexpr Case cases[] = {
      {"", false}, {",cgm", true}, {",CGM", true}, {",cgm,kez", false}, {",kez,cgm", true}, {",land,cgm,a4", true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      gopen_gks(nullptr, 0);
      if (gopen_ws(1, (dir.file("m") + c.options).c_str(), GWS_META) != 0) return 1;
      const int form = gmeta_get_type();
      gclose_ws(1);
      return form == (c.cgm ? 1 : 0) && gmeta_get_type() == 0 ? 0 : 2;
    });
    EXPECT_EQ(r.status, 0) << c.options;
    const std::string head = read_file(dir.file("m")).substr(0, 7);
    const std::string want = c.cgm ? std::string("\x00\x20", 2) : "KEZMETA"; /* BEGIN METAFILE, or the magic line */
    EXPECT_EQ(head.substr(0, want.size()), want) << c.options;
  }
}

TEST(DeviceRecords, APrintOfTheDisplayListGivesTheRecordBack) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    setenv("kezps_print", dir.file("print.ps").c_str(), 1);
    setenv("METAOUT", dir.file("print.meta").c_str(), 1);
    gopen_gks(nullptr, 0);
    if (gopen_ws(1, (dir.file("a.cgm") + ",cgm").c_str(), GWS_META) != 0) return 1;
    check(&gdevice() == &gcgm_device, "the CGM row");
    gobj_print_plot();
    check(&gdevice() == &gcgm_device, "the CGM row after a PostScript print");
    gobj_print_meta();
    check(&gdevice() == &gcgm_device && gget_win_type() == GWS_META, "the CGM row after a metafile print");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* ---- the page-option grammar -------------------------------------------- */

/* What the test's option table saw. */
std::string seen;

constexpr Gpage_option test_options[] = {
    {"port", false, false, [](float, Gpage*) { seen += "port;"; }},
    {"scale", true, false, [](float v, Gpage*) { seen += "scale " + std::to_string(v) + ";"; }},
    {"roll", true, true,
     [](float v, Gpage* page) {
       *page = Gpage{v, 23.5f};
     }},
};

bool any_page(float w, float h) { return w > 0 && h > 0; }

TEST(PageOptions, WordsNumbersSizesAndPapersLaterItemsWinning) {
  struct Case {
    std::vector<std::string> items; /* [0] the output name, skipped */
    bool from_env;
    std::string seen;
    Gpage page;
    const char* why;
  };
  const Case cases[] = {
      {{"out", "PORT"}, false, "port;", {11, 8.5f}, "a word without regard to case"},
      {{"out", "scale=0.5"}, false, "scale 0.500000;", {11, 8.5f}, "a number after its keyword"},
      {{"out", "scale:2"}, false, "scale 2.000000;", {11, 8.5f}, "any one separator"},
      {{"out", "scale=abc", "scale="}, false, "", {11, 8.5f}, "a keyword without a number is nothing"},
      {{"out", "a4"}, false, "", {11.69f, 8.26f}, "a paper name"},
      {{"out", "A3", "letter"}, false, "", {11, 8.5f}, "the later paper wins"},
      {{"out", "sz=5x4"}, false, "", {5, 4}, "a page size"},
      {{"out", "sz=0x4", "sz=5"}, false, "", {11, 8.5f}, "a size the device refuses, one that does not scan"},
      {{"out", "roll=30"}, false, "", {11, 8.5f}, "an environment option on the connection string"},
      {{"out", "roll=30"}, true, "", {30, 23.5f}, "the same in the environment"},
      {{"out", "bogus", "port"}, false, "port;", {11, 8.5f}, "unknown items are passed over"},
  };
  for (const Case& c : cases) {
    seen.clear();
    Gpage page{11, 8.5f};
    gpage_options(c.items, 1, test_options, static_cast<int>(std::size(test_options)), c.from_env, any_page, &page);
    EXPECT_EQ(seen, c.seen) << c.why;
    EXPECT_FLOAT_EQ(page.width, c.page.width) << c.why;
    EXPECT_FLOAT_EQ(page.height, c.page.height) << c.why;
  }
}

TEST(PageOptions, PanelAndSizeGeometries) {
  struct Case {
    const char* text;
    bool panel;
    bool y_up;
    float scale;
    Garea want;
    const char* why;
  };
  constexpr Case cases[] = {
      {"2x2+1+0", true, true, 0, {500, 400, 500, 400}, "top right panel of a page"},
      {"2x2+1+0", true, false, 0, {500, 400, 500, 0}, "top right panel of a window"},
      {"20x20+30+30", true, true, 0, {125, 100, 875, 0}, "eight panels at most, the last one"},
      {"0.5x0.5+0.25+0.25", true, true, 0, {500, 400, 250, 200}, "fractions"},
      {"0.5x0.5+0.9+0", true, false, 0, {500, 400, 500, 400}, "fractions kept inside a window"},
      {"0x1", true, true, 0, {1000, 800, 0, 0}, "no area leaves the plot area"},
      {"300x200+10+20", false, false, 2, {600, 400, 20, 40}, "size and offset"},
      {"300x200", false, false, 2, {600, 400, 0, 0}, "size alone"},
      {"+10+20", false, false, 2, {1000, 800, 20, 40}, "offset alone"},
      {"junk", false, false, 2, {1000, 800, 0, 0}, "a text that does not scan"},
  };
  for (const Case& c : cases) {
    Garea area{1000, 800, 0, 0};
    if (c.panel)
      gpanel_geometry(c.text, c.y_up, &area);
    else
      gsize_geometry(c.text, c.scale, &area);
    EXPECT_EQ(area.width, c.want.width) << c.why;
    EXPECT_EQ(area.height, c.want.height) << c.why;
    EXPECT_EQ(area.x, c.want.x) << c.why;
    EXPECT_EQ(area.y, c.want.y) << c.why;
  }
}

/* ---- huge settings --------------------------------------------------------- */

/* Every number after "dot lw" in a PostScript text. */
std::vector<double> ps_widths(const std::string& ps) {
  std::vector<double> widths;
  for (std::size_t at = ps.find(" dot lw"); at != std::string::npos; at = ps.find(" dot lw", at + 1)) {
    const std::size_t start = ps.rfind('\n', at) + 1;
    widths.push_back(std::strtod(ps.c_str() + start, nullptr));
  }
  return widths;
}

/* Huge sizes, geometries, widths and scales from settings and files stay
 * within the device range when they become ints: the plot area, the
 * bounding box and every line width come out bounded and the page stays
 * readable. */
TEST(HugeSettings, AreBoundedOnEveryFileDevice) {
  struct Case {
    const char* what;
    int type;
    const char* options;
    const char* geometry; /* the "geometry" setting, or null */
    void (*draw)();
  };
  auto line = [] {
    const Gpt pts[2] = {{0.1f, 0.1f}, {0.9f, 0.9f}};
    gpolyline(2, pts);
  };
  auto wide_print_colours = [] {
    const Gpt pts[2] = {{0.1f, 0.1f}, {0.9f, 0.9f}};
    gset_linewidth(1e30f);
    for (int colour : {501, 502, 1}) {
      gset_line_colr_ind(colour);
      gpolyline(2, pts);
    }
  };
  const Case cases[] = {
      {"PostScript sz:1e30x2", GWS_PS, ",sz:1e30x2", nullptr, line},
      {"HPGL sz:1e30x2", GWS_HPGL, ",sz:1e30x2", nullptr, line},
      {"PostScript lwidth:1e30", GWS_PS, ",lwidth:1e30", nullptr, line},
      {"EPS scale:1e30", GWS_PS, ",eps,scale:1e30", nullptr, line},
      {"PostScript panel P1e30x2", GWS_PS, "", "P1e30x2", line},
      {"PostScript panel fractions P0.5x1e30", GWS_PS, "", "P0.5x1e30", line},
      {"HPGL panel fractions P0.5x1e30", GWS_HPGL, "", "P0.5x1e30", line},
      {"metafile geometry 55585555x6", GWS_META, "", "55585555x6", line},
      {"metafile panel fractions P1e30x0.5", GWS_META, "", "P1e30x0.5", line},
      {"PostScript size geometry 99999999999x5", GWS_PS, "", "99999999999x5", line},
      {"print colours with a huge line width", GWS_PS, "", nullptr, wide_print_colours},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = dir.file("out");
    auto r = run_child([&] {
      if (c.geometry) RES_put("geometry", c.geometry);
      gopen_gks(nullptr, 0);
      if (gopen_ws(1, (file + c.options).c_str(), c.type) != 0) return 1;
      int w = 0, h = 0, x = 0, y = 0;
      gget_win_size(&w, &h);
      gget_win_offset(&x, &y);
      use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
      c.draw();
      gclose_ws(1);
      for (int v : {w, h, x, y})
        if (v < -GDEVICE_LIMIT || v > GDEVICE_LIMIT) return 2;
      return w > 0 && h > 0 ? 0 : 3;
    });
    EXPECT_EQ(r.status, 0) << c.what << ": plot area out of range\n" << r.err;
    if (c.type != GWS_PS) continue;
    const std::string ps = read_file(file);
    for (double width : ps_widths(ps)) EXPECT_TRUE(width >= 0 && width <= GDEVICE_LIMIT) << c.what << ": " << width;
    std::array<int, 4> box{};
    if (kez_test::declared_bbox(ps, &box)) {
      for (int v : box) EXPECT_TRUE(v >= -GDEVICE_LIMIT && v <= GDEVICE_LIMIT) << c.what << ": box " << v;
    }
    kez_test::Raster raster;
    const kez_test::GsRun gs = kez_test::gs_render(file, 612, 792, &raster);
    EXPECT_TRUE(gs.clean()) << c.what << ": " << gs.log;
  }
}

/* A hostile metafile's huge width on a print colour reaches PostScript
 * bounded. */
TEST(HugeSettings, AMetafileWidthOnAPrintColourIsBounded) {
  TempDir dir;
  write_file(dir.file("wide.meta"),
             "KEZMETA\nPL_CLR 501\nPL_LW 1e30\nPL 2 0.1,0.1 0.9,0.9\n"
             "PL_CLR 502\nPL 2 0.1,0.9 0.9,0.1\n");
  auto r = run_child([&] {
    gopen_gks(nullptr, 0);
    if (gopen_ws(1, dir.file("out.ps").c_str(), GWS_PS) != 0) return 1;
    const int read = gread_metafile(dir.file("wide.meta").c_str());
    gclose_ws(1);
    return read;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<double> widths = ps_widths(body_of_plot(read_file(dir.file("out.ps"))));
  EXPECT_FALSE(widths.empty());
  for (double width : widths) EXPECT_TRUE(width >= 0 && width <= GDEVICE_LIMIT) << width;
}

/* The window bounds a huge line width to its pixels. */
TEST(HugeSettings, AWindowTakesAHugeLineWidth) {
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed (tools/install-deps.sh)";
  auto r = run_child([&] {
    if (gks_test::open_window(x) != 0) return 1;
    use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
    const Gpt pts[2] = {{0.1f, 0.1f}, {0.9f, 0.9f}};
    gset_linewidth(1e30f);
    gpolyline(2, pts);
    gset_marker_width(1e30f);
    gpolymarker(1, pts);
    const int synced = gsync();
    gclose_ws(1);
    return synced == 0 ? 0 : 2;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("X Error"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("BadValue"), std::string::npos) << r.err;
}

/* ---- the writers' option setters ------------------------------------------ */

TEST(WriterOptions, SettersReturnZeroOrMinusOne) {
  struct Case {
    const char* call;
    std::function<int()> run;
    int want;
  };
  const Case cases[] = {
      {"gps_set_EPS(1)", [] { return gps_set_EPS(1); }, 0},
      {"gps_set_orient(1)", [] { return gps_set_orient(1); }, 0},
      {"gps_set_colorPS(1)", [] { return gps_set_colorPS(1); }, 0},
      {"gps_set_reverse(1)", [] { return gps_set_reverse(1); }, 0},
      {"gps_set_scale(0.5)", [] { return gps_set_scale(0.5f); }, 0},
      {"gps_set_scale(0)", [] { return gps_set_scale(0); }, -1},
      {"gps_set_scale(nan)", [] { return gps_set_scale(std::nanf("")); }, -1},
      {"ghpgl_set_scale(2)", [] { return ghpgl_set_scale(2); }, 0},
      {"ghpgl_set_scale(-1)", [] { return ghpgl_set_scale(-1); }, -1},
      {"ghpgl_set_colorPS(1)", [] { return ghpgl_set_colorPS(1); }, 0},
      {"ghpgl_set_reverse(1)", [] { return ghpgl_set_reverse(1); }, 0},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] { return c.run() == c.want ? 0 : 1; });
    EXPECT_EQ(r.status, 0) << c.call;
    if (c.want == -1) {
      EXPECT_NE(r.err.find("invalid scale"), std::string::npos) << c.call << ": " << r.err;
    }
  }
}

} // namespace
