/*
 * The colour bar and its value flash: boxes, lines and texts observed
 * through the recorder of kernel primitives on a PostScript plot, the
 * bar's limits (band count, room under the frame), the value under a page
 * point, and the blink of a band with its waits recorded, not waited.
 */
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cont_record.h"
#include "kez_test.h"
#include "kezcont.h"
#include "ps_render.h"
#include "x_server.h"

namespace {

using kez_test::ChildResult;
using kez_test::run_child;
using kez_test::TempDir;

/* A batch PostScript plot of a small latitude/longitude domain, contour
 * settings fresh, the recorder forwarding to the device. */
void open_plot(const std::string& ps, const char* plot_param = "") {
  FLAG_set_batch(1);
  CLR_read_table(KEZ_DATA_DIR "/kez.clr");
  RES_put("device", ("p," + ps).c_str());
  RES_put("plot_param", plot_param);
  RES_put("color_cont", "off");
  Domain d{};
  DOM_init(&d);
  d.proj = MAP_LATLON;
  d.nx = 11;
  d.ny = 11;
  d.clat = 40;
  d.clon = -100;
  d.dx = d.dy = 1;
  PLT_open(DOM_aspect(&d));
  MAP_setup(&d);
  CONT_init();
  CONT_reset_fill_set();
  cont_rec::install(true);
}

/* Settings of one bar: a data range, interval and base, or a level list. */
struct Bar {
  float max = KEZ_FMISS, min = KEZ_FMISS, intrvl = KEZ_FMISS, base = KEZ_FMISS;
  const char* levels = nullptr;
  int type = CONT_FILL;
  float bar_max = KEZ_FMISS, bar_min = KEZ_FMISS;
};

int draw_bar(const Bar& b) {
  CONT_set_type(b.type);
  if (b.bar_max != KEZ_FMISS) CONT_set_bar_range(b.bar_max, b.bar_min);
  CONT_set_fill_colors(b.levels, b.levels ? 1 : 0);
  CONT_set_range(b.max, b.min);
  CONT_set_intrvl(b.intrvl);
  CONT_set_base(b.base);
  return CONT_draw_bar(1, "");
}

std::string num(float v) {
  char buf[SET_NUM_LEN];
  return set_num(buf, "2.2.0", v);
}

/* What the child saw: the result, the boxes, the texts. */
struct Seen {
  int result = 0;
  size_t boxes = 0;
  std::vector<std::string> texts;
  std::string why;
};

Seen run_bar(const Bar& b, const char* plot_param = "") {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_plot(dir.file("a.ps"), plot_param);
    const int res = draw_bar(b);
    std::printf("result %d %zu\n", res, cont_rec::rec().polys.size());
    for (const auto& w : cont_rec::rec().words) std::printf("text %s\n", w.text.c_str());
    return 0;
  });
  Seen s;
  s.why = r.out + r.err;
  EXPECT_EQ(r.status, 0) << s.why;
  std::istringstream in(r.out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("result ", 0) == 0) std::sscanf(line.c_str(), "result %d %zu", &s.result, &s.boxes);
    if (line.rfind("text ", 0) == 0) s.texts.push_back(line.substr(5));
  }
  return s;
}

TEST(ColourBar, BandsBoxesAndLabels) {
  /* 0 to 100 by 10: 11 bands up to 110, every box labelled and the top */
  Bar b;
  b.max = 100, b.min = 0, b.intrvl = 10, b.base = 0;
  Seen s = run_bar(b);
  EXPECT_EQ(s.result, 0) << s.why;
  EXPECT_EQ(s.boxes, 11u) << s.why;
  std::vector<std::string> want;
  for (int k = 0; k <= 11; ++k) want.push_back(num(10.0f * static_cast<float>(k)));
  EXPECT_EQ(s.texts, want) << s.why;

  /* 31 bands: every third box */
  b.max = 300;
  s = run_bar(b);
  EXPECT_EQ(s.boxes, 31u) << s.why;
  want.clear();
  for (int k = 0; k <= 30; k += 3) want.push_back(num(10.0f * static_cast<float>(k)));
  want.push_back(num(310.0f));
  EXPECT_EQ(s.texts, want) << s.why;

  /* lines only: no boxes, the same labels */
  b.type = CONT_LINES;
  b.max = 100;
  s = run_bar(b);
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.boxes, 0u);
  EXPECT_EQ(s.texts.size(), 12u) << s.why;
}

TEST(ColourBar, NoBarWithoutBandsOrInterval) {
  struct Case {
    Bar bar;
    const char* why;
  };
  Case cases[] = {
      {Bar{2000, 0, 10, 0, nullptr, CONT_FILL}, "201 bands"},
      {Bar{KEZ_FMISS, KEZ_FMISS, 10, 0, nullptr, CONT_FILL}, "no data range"},
  };
  for (const Case& c : cases) {
    const Seen s = run_bar(c.bar);
    EXPECT_EQ(s.result, -1) << c.why << s.why;
    EXPECT_EQ(s.boxes, 0u) << c.why;
    EXPECT_TRUE(s.texts.empty()) << c.why;
  }
  /* settings given as NaN or infinity are not given */
  Bar nan_range{100, 0, 10, 0, nullptr, CONT_FILL, NAN, NAN};
  Seen s = run_bar(nan_range);
  EXPECT_EQ(s.result, 0) << "a bar range of NaN follows the data" << s.why;
  EXPECT_EQ(s.boxes, 11u) << s.why;
  s = run_bar(Bar{NAN, 0, 10, 0, nullptr, CONT_FILL});
  EXPECT_EQ(s.result, -1) << "a data range of NaN is none" << s.why;
  s = run_bar(Bar{100, 0, INFINITY, 0, nullptr, CONT_FILL});
  EXPECT_EQ(s.result, 0) << "an infinite interval asks for the automatic one" << s.why;
  EXPECT_EQ(s.boxes, 13u) << "0 to 100 among 14 bands: interval 8, up to 104" << s.why;
  /* 200 bands still make a bar */
  s = run_bar(Bar{1990, 0, 10, 0, nullptr, CONT_FILL});
  EXPECT_EQ(s.result, 0) << s.why;
  EXPECT_EQ(s.boxes, 200u);
}

TEST(ColourBar, ExplicitLevelsUseTheirTexts) {
  Bar b;
  b.levels = "0:2:la=zero,10:3:la=,20:4:la=twenty";
  const Seen s = run_bar(b);
  EXPECT_EQ(s.result, 0) << s.why;
  EXPECT_EQ(s.boxes, 3u);
  /* no text at the right end */
  const std::vector<std::string> want{"zero", num(10.0f), "twenty"};
  EXPECT_EQ(s.texts, want) << s.why;
}

TEST(ColourBar, FirstBoxHasTheColourOfTheLowestBand) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_plot(dir.file("a.ps"));
    Bar b;
    b.max = 170, b.min = 100, b.intrvl = 5, b.base = 0;
    if (draw_bar(b) != 0) return 1;
    const auto& polys = cont_rec::rec().polys;
    Gattribs band{}, entry{};
    CONT_get_fill_attrib(102.0f, &band);
    const int n = static_cast<int>(CONT_inspect("color_num"));
    CONT_get_fill_attrib_ind(20 % n, &entry);
    std::printf("colours %d %d %d n %d\n", polys.empty() ? -1 : polys[0].colour, band.color, entry.color, n);
    return polys.empty() || polys[0].colour != band.color || polys[0].colour != entry.color ? 2 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* The bar's room under the frame: cut to 0.035, none below 0.01; with
 * full-window labels inside the frame. */
TEST(ColourBar, RoomUnderTheFrame) {
  for (int fullab = 0; fullab < 2; ++fullab) {
    TempDir dir;
    ChildResult r = run_child([&] {
      /* a frame that leaves 0.005 of the page below it */
      PLT_set_view_offsets(0.05f, 0.05f, 0.005f, 0.05f);
      open_plot(dir.file("a.ps"), fullab ? "fullab" : "");
      Glim view{}, panel{};
      PLT_get_view(&view);
      GPH_get_view_size(&panel);
      const float room = view.y_min - panel.y_min;
      Bar b;
      b.max = 100, b.min = 0, b.intrvl = 10, b.base = 0;
      const int res = draw_bar(b);
      float lowest = 1e9f, highest = -1e9f;
      for (const auto& p : cont_rec::rec().polys)
        for (const Gpt& q : p.pts) lowest = std::fmin(lowest, q.y), highest = std::fmax(highest, q.y);
      std::printf("room %g result %d boxes %g..%g frame %g\n", static_cast<double>(room), res,
                  static_cast<double>(lowest), static_cast<double>(highest), static_cast<double>(view.y_min));
      if (!fullab) return room < 0.01f && res == -1 && cont_rec::rec().polys.empty() ? 0 : 1;
      return res == 0 && lowest > view.y_min && highest <= view.y_min + 0.0351f ? 0 : 2;
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
  }
}

/* "con_base" items while a bar range is set: a plain base applies, ">"
 * and "<" never make the base 0. */
TEST(ColourBar, ConBaseItemsWithABarRange) {
  struct Case {
    const char* con_base;
    bool bar_range;
    float base;  /* expected after the bar */
    float conlo; /* expected lowest level */
  };
  constexpr Case cases[] = {
      {"3", true, 3.0f, -7.0f},  {">5", true, KEZ_FMISS, 0.0f},   {"<50", true, KEZ_FMISS, 0.0f},
      {">5", false, 5.0f, 5.0f}, {"junk", true, KEZ_FMISS, 0.0f},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ChildResult r = run_child([&] {
      open_plot(dir.file("a.ps"));
      RES_put("con_base", c.con_base);
      if (c.bar_range) CONT_set_bar_range(100, 0);
      Bar b;
      b.max = 100, b.min = 0, b.intrvl = 10;
      if (draw_bar(b) != 0) return 1;
      std::printf("base %g conlo %g\n", static_cast<double>(CONT_get_base()),
                  static_cast<double>(CONT_inspect("conlo")));
      return CONT_get_base() == c.base && CONT_inspect("conlo") == c.conlo ? 0 : 2;
    });
    EXPECT_EQ(r.status, 0) << c.con_base << " " << r.out << r.err;
  }
}

TEST(ColourBar, ValueUnderAPointAndTheFlash) {
  TempDir dir;
  ChildResult r = run_child([&] {
    open_plot(dir.file("a.ps"));
    int bad = 0;
    if (CONT_get_bar_value(0.5f, 0.5f) != KEZ_FMISS) bad |= 1; /* no bar yet */
    Bar b;
    b.max = 100, b.min = 0, b.intrvl = 10, b.base = 0;
    if (draw_bar(b) != 0) return 64;
    /* the box edges from the texts under them */
    const auto& words = cont_rec::rec().words;
    const float x0 = words[0].pos.x, inc = words[1].pos.x - words[0].pos.x, y = words[0].pos.y;
    const float yin = y + 0.001f;
    if (CONT_get_bar_value(x0 + 2.5f * inc, yin) != 20.0f) bad |= 2;
    if (CONT_get_bar_value(x0, yin) != 0.0f) bad |= 4;
    if (CONT_get_bar_value(x0 - 0.001f, yin) != KEZ_FMISS) bad |= 8;
    if (CONT_get_bar_value(x0 + inc, y - 0.01f) != KEZ_FMISS) bad |= 16;

    /* "f-Alt" over the third box, in map coordinates */
    auto flash = [&](const char* event, float px) {
      cont_rec::rec().flashes.clear();
      CONT_flash_value(event, xW_trans(px, 1, 2), yW_trans(yin, 1, 2));
      return cont_rec::rec().flashes;
    };
    const auto blinks = flash("f-Alt", x0 + 2.5f * inc);
    Gattribs band{};
    CONT_get_fill_attrib(20.0f, &band);
    float red = 0, grn = 0, blu = 0;
    CLR_get_rgb(band.color, &red, &grn, &blu);
    if (blinks.size() != 16) bad |= 32;
    for (size_t k = 0; k < blinks.size(); ++k) {
      const auto& f = blinks[k];
      const bool ok = k % 2 == 0   ? f.ind == -1 && f.red == 0.5f
                      : k % 4 == 1 ? f.ind == band.color && f.red == 0 && f.grn == 0 && f.blu == 0
                                   : f.ind == band.color && f.red == red && f.grn == grn && f.blu == blu;
      if (!ok) bad |= 128;
    }
    if (!flash("f-Alt", x0 - 0.01f).empty()) bad |= 256;      /* left of the bar */
    if (!flash("s-Alt", x0 + 2.5f * inc).empty()) bad |= 512; /* another key */
    if (flash("f-Alt-Shft", x0 + 2.5f * inc).size() != 16) bad |= 1024;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* Ghostscript's view: the bar puts coloured boxes on the page. */
TEST(ColourBar, RendersThroughGhostscript) {
  if (!kez_test::have_program("gs")) GTEST_SKIP() << "no ghostscript";
  long coloured[2] = {0, 0};
  for (int with_bar = 0; with_bar < 2; ++with_bar) {
    TempDir dir;
    const std::string ps = std::getenv("KEZ_BAR_PS") ? std::getenv("KEZ_BAR_PS") : dir.file("a.ps");
    ChildResult r = run_child([&] {
      setenv("PSCOLOR", "1", 1); /* colour PostScript */
      open_plot(ps);
      Bar b;
      b.max = 100, b.min = 0, b.intrvl = 10, b.base = 0;
      if (with_bar && draw_bar(b) != 0) return 1;
      PLT_close();
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    kez_test::Raster page;
    const kez_test::GsRun run = kez_test::gs_render(ps, 612, 792, &page);
    ASSERT_TRUE(run.clean()) << run.log;
    for (int y = 0; y < page.height; ++y)
      for (int x = 0; x < page.width; ++x) {
        const auto p = page.at(x, y);
        if (std::abs(p[0] - p[1]) + std::abs(p[1] - p[2]) > 60) ++coloured[with_bar];
      }
  }
  EXPECT_GT(coloured[1], coloured[0] + 2000) << coloured[0] << " " << coloured[1];
}

} // namespace

namespace {

struct Blink {
  std::string display;
  unsigned long window = 0;
  std::array<int, 3> band{};
  std::vector<long> seen; /* band-coloured pixels at every wait */
};

Blink& blink() {
  static Blink b;
  return b;
}

long band_pixels() {
  kez_test::RgbImage img;
  if (!kez_test::read_drawable(blink().display, blink().window, &img)) return -1;
  long n = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const auto p = img.at(x, y);
      if (std::abs(p[0] - blink().band[0]) + std::abs(p[1] - blink().band[1]) + std::abs(p[2] - blink().band[2]) < 24)
        ++n;
    }
  return n;
}

/* Each wait looks at the screen instead of waiting. */
int look(float) {
  gupdate_window();
  blink().seen.push_back(band_pixels());
  return 0;
}

/* On an 8-bit display the flash redefines the band's colour cell: the
 * band's pixels turn black and back, four times. */
TEST(ColourBar, FlashBlinksTheBandOnAnEightBitWindow) {
  kez_test::XServer x(800, 700, 8);
  if (!x.ok()) GTEST_SKIP() << "Xvfb is needed";
  if (!kez_test::have_program("xdotool")) GTEST_SKIP() << "xdotool is needed";
  ChildResult r = run_child([&] {
    FLAG_set_batch(1);
    CLR_read_table(KEZ_DATA_DIR "/kez.clr");
    RES_put("device", ("display," + x.display()).c_str());
    RES_put("title", "Blinkbar");
    RES_put("color_cont", "off");
    Domain d{};
    DOM_init(&d);
    d.proj = MAP_LATLON;
    d.nx = d.ny = 11;
    d.clat = 40;
    d.clon = -100;
    d.dx = d.dy = 1;
    if (PLT_open(DOM_aspect(&d)) != 0) return 1;
    MAP_setup(&d);
    CONT_init();
    CONT_reset_fill_set();
    Bar b;
    b.max = 100, b.min = 0, b.intrvl = 10, b.base = 0;
    if (draw_bar(b) != 0) return 2;
    gupdate_window();
    std::string id;
    for (int tries = 0; tries < 600 && id.empty(); ++tries) {
      int status = 0;
      id = x.run("xdotool search --name '^Blinkbar' | head -1", &status);
      if (id.empty()) usleep(100000);
    }
    if (id.empty()) return 3;
    blink().display = x.display();
    blink().window = std::strtoul(id.c_str(), nullptr, 10);
    /* the third box: where the bar gives 20 */
    Glim view{};
    PLT_get_view(&view);
    const float y = view.y_min - 0.02f;
    float lo = 2, hi = -1;
    for (int k = 0; k <= 1000; ++k) {
      const float px = view.x_min + (view.x_max - view.x_min) * static_cast<float>(k) / 1000.0f;
      if (CONT_get_bar_value(px, y) == 20.0f) lo = std::fmin(lo, px), hi = std::fmax(hi, px);
    }
    if (hi < lo) return 4;
    Gattribs band{};
    CONT_get_fill_attrib(20.0f, &band);
    float red = 0, grn = 0, blu = 0;
    CLR_get_rgb(band.color, &red, &grn, &blu);
    blink().band = {static_cast<int>(std::lround(red * 255)), static_cast<int>(std::lround(grn * 255)),
                    static_cast<int>(std::lround(blu * 255))};
    CONT_kernel k{};
    k.sleep = look;
    CONT_set_kernel(&k);
    CONT_flash_value("f-Alt", xW_trans((lo + hi) / 2, 1, 2), yW_trans(y, 1, 2));
    look(0);
    for (long n : blink().seen) std::printf("%ld ", n);
    std::printf("\n");
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::istringstream in(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1));
  std::vector<long> seen;
  long n = 0;
  while (in >> n) seen.push_back(n);
  ASSERT_EQ(seen.size(), 9u) << r.out;
  /* before each black: the band shows; after: it is gone */
  for (size_t k = 0; k < seen.size(); ++k) {
    if (k % 2 == 0) {
      EXPECT_GT(seen[k], 20) << "wait " << k << ": " << r.out;
    } else {
      EXPECT_EQ(seen[k], 0) << "wait " << k << ": " << r.out;
    }
  }
}

} // namespace
