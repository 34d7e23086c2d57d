/*
 * Station datum drawing: the plot-format items and "plot_param" keywords,
 * what each datum draws (read back from the metafile), the switches and
 * cut-offs, colouring by value, hostile value formats, the text form of a
 * datum and the station text of plotted values, and a page of station
 * models on a Lambert map through ghostscript.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kezcont.h"
#include "kezraw.h"
#include "ps_render.h"
#include "station_draw.h"

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using station_draw::near;
using station_draw::Prim;
using station_draw::show;

constexpr float H = 100; /* plot height of the test window: s = H x scale */

RAW_data datum(float x, float y, int type, const char* data, float v0 = -9999, float v1 = -9999,
               const char* format = "") {
  RAW_data d;
  const float v[2] = {v0, v1};
  RAW_set(&d, x, y, type, format, data, v);
  return d;
}

struct PlotRun {
  std::vector<Prim> prims;
  kez_test::ChildResult run;
};

/* A plot of the window 0..H in a fresh process: resources, then
 * RAW_plot_init, then body. */
PlotRun plot(const std::vector<std::pair<const char*, const char*>>& resources, const std::function<int()>& body,
             bool setters = false) {
  TempDir dir;
  const std::string file = dir.file("p.meta");
  PlotRun r;
  r.run = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    for (const auto& [k, v] : resources) RES_put(k, v);
    if (station_draw::open_meta(file, Glim{0, H, 0, H}) != 0) return 200;
    CLR_read_table(KEZ_DATA_DIR "/kez.clr");
    Gattribs a;
    ATTRIB_init(&a);
    a.color = 1;
    RAW_plot_init(&a, 1);
    const int res = body();
    station_draw::close_meta();
    return res;
  });
  r.prims = station_draw::read_meta(file, setters);
  return r;
}

std::vector<Prim> only(const std::vector<Prim>& p, const char* kind) {
  std::vector<Prim> out;
  for (const Prim& q : p)
    if (q.kind == kind) out.push_back(q);
  return out;
}

TEST(PlotFormat, ItemsSetTheAttributes) {
  auto r = run_child([] {
    CLR_read_table(KEZ_DATA_DIR "/kez.clr");
    int bad = 0, k = 0;
    auto check = [&](bool ok, const char* why) {
      ++k;
      if (!ok) {
        std::printf("%d: %s\n", k, why);
        bad = 1;
      }
    };
    RAW_attribs a;
    RAW_init_attrib(&a);
    check(RAW_parse_format(&a, "value:ul:co=red") == 2, "value gives 2");
    check(a.x == -0.012f && a.y == 0.02f && a.hor == GRIGHT_HOR && a.vert == GHALF_VERT, "ul");
    check(a.attrib.color == CLR_get_ind("red") && a.attrib.color >= 0, "red");
    struct Scale {
      const char* item;
      float want;
    } scales[] = {{"sc=0.001", 1}, {"sc=2000", 1}, {"sc=2", 2}, {"sc=abc", 1}};
    for (const Scale& s : scales) {
      RAW_init_attrib(&a);
      RAW_parse_format(&a, s.item);
      check(a.scale == s.want, s.item);
    }
    struct Align {
      const char* item;
      int hor, vert;
    } aligns[] = {{"ta=rb", 3, 5}, {"ta=l", 1, 3}, {"TA=LT", 1, 1}, {"ta=xc", 2, 2}, {"ta=cs", 2, 4}, {"ta=", 2, 3}};
    for (const Align& al : aligns) {
      RAW_init_attrib(&a);
      RAW_parse_format(&a, al.item);
      check(a.hor == al.hor && a.vert == al.vert, al.item);
    }
    struct Mark {
      const char* item;
      int want;
    } marks[] = {{"mk=circle", 4}, {"mk=crcl", 4}, {"mk=7", 7},      {"mk=xyz", 5}, {"mk=dot", 8},
                 {"mk=itri", 9},   {"mk=tri", 7},  {"mk=square", 6}, {"mk=", 0}};
    for (const Mark& m : marks) {
      RAW_init_attrib(&a);
      RAW_parse_format(&a, m.item);
      check(a.marker == m.want, m.item);
    }
    struct Type {
      const char* fmt;
      int want;
    } types[] = {{"wbarb", 32},    {"TRACK", 23},          {"wx", 36}, {"%5.1f", 2},     {"fm=%d%d", 2},
                 {"cloud:tr", 31}, {"nonsense:hi=abc", 0}, {"", 0},    {"value:text", 3}};
    for (const Type& t : types) {
      RAW_init_attrib(&a);
      check(RAW_parse_format(&a, t.fmt) == t.want, t.fmt);
    }
    RAW_init_attrib(&a);
    RAW_parse_format(&a, "xy=-1 2:mn=5:mx=10:sk=3:hi=2:wi=3:te=0.5");
    check(a.x == -0.012f && a.y == 0.04f && a.hor == GRIGHT_HOR && a.vert == GHALF_VERT, "xy=");
    check(a.min == 5 && a.max == 10 && a.skip == 3, "mn mx sk");
    check(a.attrib.height == 2 && a.attrib.width == 3 && a.attrib.expan == 0.5f, "hi wi te");
    RAW_init_attrib(&a);
    const std::string longs = "tx=ABCDEFGHIJKLMN:sf=" + std::string(100, 'f') + ":fm=%" + std::string(100, '9') + "f";
    RAW_parse_format(&a, longs.c_str());
    check(std::strcmp(a.text, "ABCDEFGHI") == 0, "text cut at 9");
    check(std::strlen(a.symbol) == 39 && std::strlen(a.format) == 59, "symbol and format cut");
    RAW_init_attrib(&a);
    check(RAW_parse_format(&a, "wbarb:value") == 2, "the last type item wins");
    /* A format is parsed once and kept; its items still apply in their
     * order, and those that look something up look it up each time. */
    RES_put("boxstyle", "blue:hi=9:wi=8");
    for (int round = 0; round < 2; ++round) {
      RAW_init_attrib(&a);
      check(RAW_parse_format(&a, "value:hi=2:rs=boxstyle:wi=4") == 2, "typed again");
      check(a.attrib.height == 9 && a.attrib.width == 4 && a.attrib.color == CLR_get_ind("blue"),
            "a resource between items");
      RAW_init_attrib(&a);
      RAW_parse_format(&a, "rs=boxstyle:hi=2");
      check(a.attrib.height == 2 && a.attrib.width == 8, "an item after the resource");
    }
    RES_put("boxstyle", "red:hi=7");
    RAW_init_attrib(&a);
    RAW_parse_format(&a, "value:hi=2:rs=boxstyle:wi=4");
    check(a.attrib.height == 7 && a.attrib.width == 4 && a.attrib.color == CLR_get_ind("red"),
          "the resource is read again");
    RAW_init_attrib(&a);
    RAW_parse_format(&a, "co=green:hi=3:co=red");
    check(a.attrib.color == CLR_get_ind("red") && a.attrib.height == 3, "the last colour wins");
    for (int i = 0; i < 300; ++i) {
      /* more formats than are kept: each still gives its own items */
      const std::string f = "hi=" + std::to_string(i) + ":sk=" + std::to_string(i + 1);
      RAW_init_attrib(&a);
      RAW_parse_format(&a, f.c_str());
      if (a.attrib.height != static_cast<float>(i) || a.skip != i + 1) check(false, f.c_str());
    }
    RES_put("boxstyle", "");
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(PlotParam, StationKeywordsOfThePlotParameter) {
  struct Case {
    const char* param;
    std::function<bool(const RAW_attribs&)> ok;
    const char* why;
  } cases[] = {
      {"skip=3,text=AB,line",
       [](const RAW_attribs& b) { return b.skip == 3 && !std::strcmp(b.text, "AB") && b.line == 1; },
       "skip, text, line"},
      {"skip,text,mark", [](const RAW_attribs& b) { return b.skip == 1 && b.text[0] == 0 && b.marker == 0; },
       "bare items read nothing past their end"},
      {"mark=CLD", [](const RAW_attribs& b) { return b.marker == RAW_MARK_CLOUD; }, "the cloud marker"},
      {"ybar", [](const RAW_attribs& b) { return b.bar == 0; }, "ybar alone"},
      {"yba", [](const RAW_attribs& b) { return b.bar == 0; }, "yba"},
      {"ybar50", [](const RAW_attribs& b) { return b.bar == 50; }, "ybar with a number"},
      {"xy=1:2", [](const RAW_attribs& b) { return b.x == 0.012f && b.y == 0.04f && b.hor == GLEFT_HOR; }, "xy="},
      {"cl", [](const RAW_attribs& b) { return b.x == -0.015f && b.y == 0 && b.hor == GRIGHT_HOR; },
       "cl stands further out"},
      {"LR", [](const RAW_attribs& b) { return b.x == 0.012f && b.y == -0.02f && b.hor == GLEFT_HOR; }, "lr"},
      {"text="
       "0123456789ABCDEF",
       [](const RAW_attribs& b) { return !std::strcmp(b.text, "012345678"); }, "text cut at 9"},
  };
  for (const Case& c : cases) {
    PlotRun r = plot({{"plot_param", c.param}}, [&] { return c.ok(RAW_get_base()) ? 0 : 1; });
    EXPECT_EQ(r.run.status, 0) << c.why << r.run.err;
  }
}

TEST(PlotFormat, ResourceTypeAndContourBase) {
  PlotRun r = plot({{"plot_format", "wbarb:mn=5"}, {"con_base", ">2,<40"}, {"con_interval", "10"}}, [] {
    const RAW_attribs b = RAW_get_base();
    float mx, mn;
    RAW_get_range(&mx, &mn);
    return (b.type == 32 && b.min == 2 && b.base == 2 && b.max == 40 && b.intrvl == 10 && mx == 40 && mn == 2 &&
            CONT_get_intrvl() == 10 && CONT_get_base() == 2)
               ? 0
               : 1;
  });
  EXPECT_EQ(r.run.status, 0) << r.run.err;
}

TEST(StationDatum, Switches) {
  auto r = run_child([] {
    RAW_plot_init(nullptr, 1);
    RAW_set_marker(5);
    int bad = 0;
    FLAG_setplot(12, 0);
    if (RAW_plot_init(nullptr, 2) != -1 || RAW_get_base().marker != 5) bad |= 1;
    FLAG_setplot(12, 1);
    FLAG_setplot(7, 0);
    RAW_data d = datum(1, 1, 3, "A");
    if (RAW_plot_data(&d) != -1) bad |= 2;
    FLAG_setplot(7, 1);
    FLAG_set(FLAG_PLOT_TYPE, 99);
    if (RAW_plot_data(&d) != -1 || RAW_plot_init(nullptr, 1) != -1) bad |= 4;
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

struct TextCase {
  RAW_data d;
  const char* want; /* the text drawn, or "" for nothing */
  const char* why;
};

TEST(StationDatum, ValuesAndTextsDrawn) {
  std::vector<TextCase> cases = {
      {datum(50, 50, 2, "", 0.5f, -9999, "%z3.1f"), ".5", "leading zero dropped"},
      {datum(50, 50, 2, "", -0.5f, -9999, "%z3.1f"), "-.5", "-0 becomes -"},
      {datum(50, 50, 2, "", 1.5f, -9999, "%z3.1f"), "1.5", "no zero to drop"},
      {datum(50, 50, 2, "", 273.6f), "274", "no format: %1.0f"},
      {datum(50, 50, 2, "M"), "M", "a missing value draws its text"},
      {datum(50, 50, 2, ""), "", "missing value, no text: nothing"},
      {datum(50, 50, 1, "ABC", 5), "ABC", "type 1 draws its text with a value given"},
      {datum(50, 50, 1, "", 12.4f), "", "type 1 without text draws nothing"},
      {datum(50, 50, 2, "", 12.4f, -9999, "%s"), "12", "%s falls back"},
      {datum(50, 50, 2, "", 12.4f, -9999, "%n"), "12", "%n falls back"},
      {datum(50, 50, 2, "", 12.4f, -9999, "%99999f"), "12", "a huge width falls back"},
      {datum(50, 50, 2, "", 12.4f, -9999, "fm=%d%d"), "12", "two conversions fall back"},
      {datum(50, 50, 2, "", 12.4f, -9999, "fm=%5.2f"), "12.40", "a good format"},
      {datum(50, 50, 2, "", 12.4f, -9999, "%z%s"), "12", "a bad %z format"},
      {datum(50, 50, 3, "", -9999, -9999, "tx=FIX"), "FIX", "a fixed text for a missing value"},
  };
  for (const TextCase& c : cases) {
    RAW_data d = c.d;
    PlotRun r = plot({}, [&] { return RAW_plot_data(&d); });
    EXPECT_EQ(r.run.status, 0) << c.why << r.run.err;
    auto texts = only(r.prims, "TE");
    if (!*c.want) {
      EXPECT_TRUE(texts.empty()) << c.why << "\n" << show(r.prims);
    } else {
      ASSERT_EQ(texts.size(), 1u) << c.why << "\n" << show(r.prims);
      EXPECT_EQ(texts[0].text, c.want) << c.why;
      EXPECT_TRUE(near(texts[0].pts[0], Gpt{50, 50})) << c.why;
    }
  }
}

/* The integer type takes its format from the plot; a format item of the
 * datum would make it a value. */
TEST(StationDatum, IntegersKeepTheirBits) {
  float int_bits;
  const int forty_two = 42;
  std::memcpy(&int_bits, &forty_two, sizeof int_bits);
  struct Case {
    const char* plot_format;
    const char* want;
  } cases[] = {{"fm=%05d", "00042"}, {"fm=%f", "42"}, {"fm=%d%d", "42"}, {"fm=%n", "42"}, {"", "42"}};
  for (const Case& c : cases) {
    RAW_data d = datum(50, 50, 5, "", int_bits);
    PlotRun r = plot({{"plot_format", c.plot_format}}, [&] { return RAW_plot_data(&d); });
    auto texts = only(r.prims, "TE");
    ASSERT_EQ(texts.size(), 1u) << c.plot_format << "\n" << show(r.prims);
    EXPECT_EQ(texts[0].text, c.want) << c.plot_format;
  }
}

float circle_radius(const Prim& p) {
  float cx = 0, cy = 0;
  for (size_t k = 0; k + 1 < p.pts.size(); ++k) cx += p.pts[k].x, cy += p.pts[k].y;
  cx /= static_cast<float>(p.pts.size() - 1), cy /= static_cast<float>(p.pts.size() - 1);
  return std::hypot(p.pts[0].x - cx, p.pts[0].y - cy);
}

TEST(StationDatum, WindsAndCalms) {
  struct Case {
    RAW_data d;
    std::vector<float> circles; /* radii, in plot heights */
    float staff_from;           /* distance of the staff's start, -1 no barb */
    const char* why;
  } cases[] = {
      {datum(50, 50, 33, "", 270, 0), {0.013f}, -1, "cbarb calm: one circle"},
      {datum(50, 50, 33, "", -9999, 10), {}, -1, "cbarb without direction: nothing"},
      {datum(50, 50, 33, "", 270, 15), {}, 0.01f, "cbarb: the staff leaves room for the cloud circle"},
      {datum(50, 50, 34, "", 270, 15), {0.003f}, 0.003f, "dbarb: the dot and a barb"},
      {datum(50, 50, 34, "", 270, 0), {0.003f, 0.006f}, -1, "dbarb calm: two circles"},
      {datum(50, 50, 32, "", 270, 0), {0.003f}, -1, "wbarb calm: a small circle"},
      {datum(50, 50, 32, "", 270, 15), {}, 0, "wbarb: from the station"},
      {datum(50, 50, 32, "", 270, -5), {}, -1, "a negative speed draws nothing"},
      {datum(50, 50, 31, "8"), {0.01f}, -1, "cloud circle"},
  };
  for (const Case& c : cases) {
    RAW_data d = c.d;
    PlotRun r = plot({}, [&] { return RAW_plot_data(&d); });
    EXPECT_EQ(r.run.status, 0) << c.why << r.run.err;
    std::vector<float> radii;
    float staff = -1;
    for (const Prim& p : only(r.prims, "PL")) {
      if (p.pts.size() == 13) radii.push_back(circle_radius(p) / H);
      /* The staff of a wind from the west runs to the left. */
      if (p.pts.size() == 2 && std::fabs(p.pts[1].x - (50 - 0.05f * H)) < 1e-3f && std::fabs(p.pts[1].y - 50) < 1e-3f)
        staff = (50 - p.pts[0].x) / H;
    }
    ASSERT_EQ(radii.size(), c.circles.size()) << c.why << "\n" << show(r.prims);
    for (size_t k = 0; k < radii.size(); ++k) EXPECT_NEAR(radii[k], c.circles[k], 1e-4) << c.why;
    EXPECT_NEAR(staff, c.staff_from, 1e-4) << c.why << "\n" << show(r.prims);
  }
}

TEST(StationDatum, ScaleAndOffsets) {
  RAW_data d = datum(50, 50, 3, "T", -9999, -9999, "sc=2:ur");
  PlotRun r = plot({}, [&] { return RAW_plot_data(&d); });
  auto texts = only(r.prims, "TE");
  ASSERT_EQ(texts.size(), 1u) << show(r.prims);
  EXPECT_TRUE(near(texts[0].pts[0], Gpt{50 + 0.012f * 2 * H, 50 + 0.02f * 2 * H})) << show(r.prims);
}

TEST(StationDatum, LinesBetweenStations) {
  PlotRun r = plot({}, [] {
    RAW_data a = datum(10, 10, 37, "post");
    RAW_data b = datum(20, 30, 3, "B");
    RAW_plot_data(&a);
    RAW_plot_data(&b);
    RAW_data c = datum(40, 40, 37, "pre");
    return RAW_plot_data(&c);
  });
  ASSERT_EQ(r.run.status, 0) << r.run.err;
  ASSERT_EQ(r.prims.size(), 3u) << show(r.prims);
  EXPECT_EQ(r.prims[0].kind, "PL");
  EXPECT_TRUE(near(r.prims[0].pts[0], Gpt{20, 30}) && near(r.prims[0].pts[1], Gpt{10, 10}))
      << "the line from A to B comes before B's datum\n"
      << show(r.prims);
  EXPECT_EQ(r.prims[1].kind, "TE");
  EXPECT_TRUE(near(r.prims[2].pts[0], Gpt{40, 40}) && near(r.prims[2].pts[1], Gpt{20, 30})) << show(r.prims);
}

TEST(StationDatum, CutOffsUseTheValue) {
  PlotRun r = plot({{"plot_format", "mn=5:mx=10"}}, [] {
    int bad = 0;
    RAW_data lo = datum(50, 50, 2, "", 4), hi = datum(50, 50, 2, "", 11), in = datum(50, 50, 2, "", 7),
             miss = datum(50, 50, 2, "M"), own = datum(50, 50, 2, "", 4, -9999, "mn=0");
    if (RAW_plot_data(&lo) != -1) bad |= 1;
    if (RAW_plot_data(&hi) != -1) bad |= 2;
    if (RAW_plot_data(&in) != 0) bad |= 4;
    if (RAW_plot_data(&miss) != 0) bad |= 8;
    if (RAW_plot_data(&own) != -1) bad |= 16; /* its own items come after the test */
    return bad;
  });
  EXPECT_EQ(r.run.status, 0) << r.run.err;
  EXPECT_EQ(only(r.prims, "TE").size(), 2u) << show(r.prims);
}

/* The colour in force for each text drawn. */
std::vector<int> text_colours(const std::vector<Prim>& prims) {
  std::vector<int> out;
  int colour = -9999;
  for (const Prim& p : prims) {
    if (p.kind == "TE_CLR") colour = std::atoi(p.text.c_str());
    if (p.kind == "TE") out.push_back(colour);
  }
  return out;
}

TEST(StationDatum, ColouredByValueAndPlotColourOutsideTheScale) {
  int band15 = -1;
  PlotRun r = plot(
      {{"con_interval", "10"}, {"con_base", "<30"}},
      [&] {
        Gattribs a;
        ATTRIB_init(&a);
        CONT_get_fill_attrib(15, &a);
        RAW_data in = datum(50, 50, 2, "", 15), out = datum(50, 50, 2, "", -9999, -9999),
                 beyond = datum(50, 50, 2, "", 35);
        std::snprintf(in.data, sizeof in.data, "%s", "");
        std::snprintf(out.data, sizeof out.data, "%s", "M");
        RAW_plot_data(&in);
        RAW_plot_data(&out);
        /* beyond the cut-off of the colour scale but not of the plot */
        RAW_set_range(-9999, -9999);
        RAW_plot_data(&beyond);
        return a.color;
      },
      true);
  band15 = r.run.status;
  auto colours = text_colours(r.prims);
  ASSERT_EQ(colours.size(), 3u) << show(r.prims);
  EXPECT_GT(band15, 1);
  EXPECT_EQ(colours[0], band15) << "the band of 15";
  EXPECT_EQ(colours[1], 1) << "a missing value takes the plot's colour, not the last one set";
  EXPECT_EQ(colours[2], 1) << "a value beyond the scale takes the plot's colour";
}

/* The text setters' records in force at each text. */
std::vector<std::string> text_settings(const std::vector<Prim>& prims) {
  std::vector<std::string> out;
  std::string colour, align, height;
  for (const Prim& p : prims) {
    if (p.kind == "TE_CLR") colour = p.text;
    if (p.kind == "TE_ALGN") align = p.text;
    if (p.kind == "TE_HGHT") height = p.text;
    if (p.kind == "TE") out.push_back(colour + "|" + align + "|" + height);
  }
  return out;
}

/* A datum puts its attributes in force whatever another caller set since
 * the datum before, also when the two datums ask for the same. */
TEST(StationDatum, AttributesSetByAnotherCallerBetweenDatumsAreUndone) {
  const std::function<void()> between[] = {
      [] { gset_text_colr_ind(CLR_get_ind("blue")); },
      [] { GPH_text_align(GLEFT_HOR, GTOP_VERT); },
      [] { gset_char_ht(33); },
      [] {
        Gattribs b;
        ATTRIB_init(&b);
        b.color = CLR_get_ind("blue");
        GPH_text_attr(&b, 5);
      },
  };
  for (std::size_t i = 0; i < std::size(between); ++i) {
    PlotRun r = plot(
        {},
        [&] {
          RAW_data a = datum(50, 50, 2, "", 12, -9999, "co=red:ur"), b = a;
          RAW_plot_data(&a);
          between[i]();
          RAW_plot_data(&b);
          return 0;
        },
        true);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    const auto settings = text_settings(r.prims);
    ASSERT_EQ(settings.size(), 2u) << i << "\n" << show(r.prims);
    EXPECT_EQ(settings[1], settings[0]) << i;
  }
}

/* Datums ask for their formats station by station in one order; when the
 * list changes, a datum in the place of another draws by its own format. */
TEST(StationDatum, EachDatumDrawsByItsOwnFormatWhenTheListChanges) {
  const std::vector<std::vector<const char*>> lists = {
      {"tx=A1", "tx=B2:ul", "tx=C3"}, {"tx=A1", "tx=B2:ul", "tx=C3"}, {"tx=A1", "tx=D4", "tx=C3"},
      {"tx=A1", "tx=D4", "tx=C3"},    {"tx=E5", "tx=B2:ul"},          {"tx=C3", "tx=A1", "tx=B2:ul", "tx=D4"},
      {"tx=A1", "tx=B2:ul", "tx=C3"},
  };
  std::string want;
  PlotRun r = plot({}, [&] {
    for (const auto& list : lists)
      for (const char* format : list) {
        RAW_data d = datum(50, 50, 2, "", 12, -9999, format);
        RAW_plot_data(&d);
      }
    return 0;
  });
  for (const auto& list : lists)
    for (const char* format : list) want += std::string(format + 3, 2) + " ";
  std::string got;
  for (const Prim& p : only(r.prims, "TE")) got += p.text + " ";
  EXPECT_EQ(got, want) << show(r.prims);
}

TEST(StationDatum, TextForm) {
  auto r = run_child([] {
    RAW_plot_init(nullptr, 1);
    struct Case {
      RAW_data d;
      const char* want;
    } cases[] = {{datum(0, 0, 1, "", 12.4f), "12"},
                 {datum(0, 0, 1, "X", 12.4f), "X"},
                 {datum(0, 0, 2, "", 7.6f), "8"},
                 {datum(0, 0, 2, ""), "keep"},
                 {datum(0, 0, 32, "", 270, 15), "270-15"},
                 {datum(0, 0, 36, "RW"), "RW"},
                 {datum(0, 0, 23, "", 1, 2), "keep"},
                 /* as "%1.0f" writes them: a half goes to the even neighbour, a
                  * small negative keeps its sign */
                 {datum(0, 0, 32, "", 2.5f, -0.4f), "2--0"},
                 {datum(0, 0, 32, "", 3.5f, 1e30f), "4-1000000015047466219876688855040"},
                 /* one value after another in the default format, each its
                  * own text however close the last one was: zeros and NaNs
                  * of either sign, a repeat, a neighbour */
                 {datum(0, 0, 2, "", 0.0f), "0"},
                 {datum(0, 0, 2, "", -0.0f), "-0"},
                 {datum(0, 0, 2, "", -0.0f), "-0"},
                 {datum(0, 0, 2, "", 0.0f), "0"},
                 {datum(0, 0, 2, "", NAN), "nan"},
                 {datum(0, 0, 2, "", -NAN), "-nan"},
                 {datum(0, 0, 2, "", 7.5f), "8"},
                 {datum(0, 0, 2, "", std::nextafter(7.5f, 0.0f)), "7"},
                 {datum(0, 0, 2, "", 7.5f), "8"}};
    int bad = 0;
    for (const Case& c : cases) {
      char str[RAW_STRING_LEN] = "keep";
      RAW_data_to_string(str, &c.d);
      if (std::strcmp(str, c.want) != 0) {
        std::printf("type %d: '%s' not '%s'\n", c.d.type, str, c.want);
        bad = 1;
      }
    }
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(StationText, AppendsWithinItsRoom) {
  auto r = run_child([] {
    RAW_plot_init(nullptr, 1);
    VAR_data t{};
    std::snprintf(t.name, sizeof t.name, "T");
    t.flag = 0;
    VAR_data g = t;
    g.flag = 50;
    RAW_data v = datum(0, 0, 2, "", 54.2f);
    int bad = 0;
    struct Buf {
      char str[RAW_VAR_STRING_LEN];
      char guard[16];
    } b;
    std::memset(b.guard, 'G', sizeof b.guard);
    std::snprintf(b.str, sizeof b.str, "%s", "");
    RAW_set_var_string(&t, &v, b.str);
    if (std::strcmp(b.str, "T=54 ") != 0) bad |= 1;
    RAW_set_var_string(&t, &v, b.str);
    if (std::strcmp(b.str, "T=54 ") != 0) bad |= 2; /* a new frame starts again */
    /* 109 characters: below the limit, the addition is cut at the room */
    std::string long_text(109, 'a');
    std::snprintf(b.str, sizeof b.str, "%s", long_text.c_str());
    VAR_data big = t;
    std::snprintf(big.name, sizeof big.name, "%s", "LONGNAMEOFVARIABLE");
    RAW_data w = datum(0, 0, 3, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLM");
    RAW_set_var_string(&big, &w, b.str);
    if (std::strlen(b.str) != RAW_VAR_STRING_LEN - 1) bad |= 4;
    for (char c : b.guard)
      if (c != 'G') bad |= 8;
    RAW_set_var_string(&t, &v, b.str); /* 119 characters: replaced */
    if (std::strcmp(b.str, "54") != 0) bad |= 16;
    RAW_set_var_string(&g, &v, b.str); /* inside a group, text not empty */
    if (std::strcmp(b.str, "54") != 0) bad |= 32;
    b.str[0] = '\0';
    RAW_set_var_string(&g, &v, b.str);
    if (std::strcmp(b.str, "54") != 0) bad |= 64;
    RAW_set_var_string(&t, &v, nullptr);
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(RawData, InitAndInitVal) {
  RAW_data d;
  std::memset(&d, 0x55, sizeof d);
  d.type = 31;
  RAW_data_init(&d);
  EXPECT_EQ(d.x, -9999);
  EXPECT_EQ(d.y, -9999);
  EXPECT_EQ(d.value[0], -9999);
  EXPECT_EQ(d.value[1], -9999);
  EXPECT_EQ(d.type, 31) << "the type is kept";
  EXPECT_EQ(d.data[0], 0);
  EXPECT_EQ(d.format[0], 0);
  EXPECT_EQ(d.attr.color, -9999);
  EXPECT_EQ(d.attr.width, -9999);
  EXPECT_EQ(d.attr.font, -9999);
  d.x = 3;
  std::snprintf(d.format, sizeof d.format, "ul");
  std::snprintf(d.data, sizeof d.data, "X");
  d.value[0] = 1;
  RAW_data_init_val(&d);
  EXPECT_EQ(d.x, 3);
  EXPECT_STREQ(d.format, "ul");
  EXPECT_EQ(d.data[0], 0);
  EXPECT_EQ(d.value[0], -9999);
}

} // namespace

namespace {

/* A page of station models on a Lambert conformal map: temperature upper
 * left, dew point lower left, the pressure code upper right, the cloud
 * circle with a barb outside it, the weather symbol and the visibility to
 * the left. For ghostscript, and for the eye with KEZ_KEEP_PLOTS=folder. */
TEST(StationModel, PageOnALambertMapRendersThroughGhostscript) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed";
  TempDir dir;
  const std::string file = dir.file("station_models.ps");
  struct Station {
    float lat, lon, t, td, p, dir, spd;
    const char* cover;
    const char* wx;
    float vis;
  } stations[] = {
      {40.8f, -74.0f, 45, 40, 132, 0, 15, "8", "R", 3},    {41.9f, -87.6f, 30, 25, 208, 270, 25, "6", "S-", 1},
      {39.7f, -105.0f, 52, 20, 96, 180, 10, "2", "", 10},  {33.7f, -84.4f, 68, 62, 150, 135, 65, "4", "TRW", 2},
      {29.8f, -95.4f, 75, 70, 121, 90, 5, "1", "F", 0.5f}, {47.6f, -122.3f, 50, 48, 180, 225, 0, "7", "L-", 4},
      {35.1f, -90.0f, 61, 55, 140, 45, 35, "9", "RW", 6},  {44.9f, -93.2f, 20, 12, 240, 315, 50, "0", "", 10},
  };
  auto r = run_child([&] {
    unsetenv("PSCOLOR");
    RES_put("file_path", KEZ_DATA_DIR);
    gopen_gks(nullptr, 0);
    if (gopen_ws(1, (file + ",color").c_str(), GWS_PS) != 0) return 100;
    station_draw::load_colours();
    Domain map;
    DOM_init(&map);
    map.proj = 4, map.clat = 39, map.clon = -96, map.plat = -9999, map.plon = -96;
    map.param[0] = 30, map.param[1] = 60;
    map.dx = map.dy = 1, map.nx = 51, map.ny = 31;
    MAP_domain(&map);
    MAP_set_limits();
    MAP_limits lim{};
    MAP_get_limits(&lim);
    const Glim win{lim.x_min, lim.x_max, lim.y_min, lim.y_max};
    const float aspect = (lim.x_max - lim.x_min) / (lim.y_max - lim.y_min);
    const Glim vp{0.02f, 0.98f, 0.02f, 0.02f + 0.96f / aspect};
    gset_win(2, &win);
    gset_vp(2, &vp);
    gsel_norm_tran(2);
    Gattribs black;
    ATTRIB_init(&black);
    black.color = CLR_get_ind("black");
    GPH_line_attr(&black);
    GPH_border(&win);
    /* meridians every 10 degrees, to see which way is north */
    for (int lon = -130; lon <= -60; lon += 10) {
      std::vector<Gpt> line;
      for (int lat = 15; lat <= 60; lat += 5) {
        Gpt p;
        MAP_tran(static_cast<float>(lat), static_cast<float>(lon), &p.x, &p.y);
        line.push_back(p);
      }
      gpolyline(static_cast<int>(line.size()), line.data());
    }
    RAW_plot_init(&black, 1.5f);
    auto draw = [](float x, float y, int type, const char* fmt, const char* data, float v0, float v1) {
      RAW_data d;
      const float v[2] = {v0, v1};
      RAW_set(&d, x, y, type, fmt, data, v);
      return RAW_plot_data(&d);
    };
    int bad = 0;
    for (const Station& s : stations) {
      float x, y;
      MAP_tran(s.lat, s.lon, &x, &y);
      bad |= draw(x, y, 2, "ul:co=red", "", s.t, -9999);
      bad |= draw(x, y, 2, "ll:co=green", "", s.td, -9999);
      bad |= draw(x, y, 2, "ur:fm=%03.0f", "", s.p, -9999);
      bad |= draw(x, y, 31, "", s.cover, -9999, -9999);
      bad |= draw(x, y, 33, "", "", s.dir, s.spd);
      bad |= draw(x, y, 36, "cl:co=blue", s.wx, -9999, -9999);
      bad |= draw(x, y, 2, "xy=-4.2 0:%z3.1f", "", s.vis, -9999);
    }
    gclose_ws(1);
    gclose_gks();
    return bad;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  kez_test::Raster page;
  auto run = kez_test::gs_render(file, 612, 792, &page);
  EXPECT_TRUE(run.clean()) << run.log;
  long red = 0, dark = 0;
  for (size_t k = 0; k + 2 < page.rgb.size(); k += 3) {
    if (page.rgb[k] > 180 && page.rgb[k + 1] < 80 && page.rgb[k + 2] < 80) ++red;
    if (page.rgb[k] < 80 && page.rgb[k + 1] < 80 && page.rgb[k + 2] < 80) ++dark;
  }
  EXPECT_GT(red, 50) << "the temperatures";
  EXPECT_GT(dark, 1000);
  if (const char* keep = std::getenv("KEZ_KEEP_PLOTS")) kez_test::run_command("cp " + file + " " + keep + "/");
}

} // namespace

namespace {

TEST(StationDatum, MarkersBarsAndFixedDrawings) {
  struct Case {
    const char* param;
    RAW_data d;
    const char* kind; /* the one drawing expected, "" none */
    size_t points;
    const char* why;
  } cases[] = {
      {"mark=cld", datum(50, 50, 2, "", 7), "PL", 13, "the cloud marker is an empty circle"},
      {"mark=cld", datum(50, 50, 2, ""), "", 0, "no marker for a datum without text or value"},
      {"", datum(50, 50, 2, "", 7, -9999, "mk=plus"), "PM", 1, "a marker item draws the marker"},
      {"", datum(50, 50, 4, "+"), "PM", 1, "a marker datum"},
      {"ybar", datum(50, 60, 2, "", 7), "PL", 2, "a bar down to y 0"},
      {"", datum(50, 50, 36, "RW"), "PL", 4, "the weather symbol of a shower: its triangle"},
      {"", datum(50, 50, 36, "QQ"), "", 0, "an unknown weather code draws nothing"},
      {"", datum(50, 50, 99, "X", 1), "", 0, "an unknown type draws nothing"},
  };
  for (const Case& c : cases) {
    RAW_data d = c.d;
    PlotRun r = plot({{"plot_param", c.param}}, [&] { return RAW_plot_data(&d); });
    EXPECT_EQ(r.run.status, 0) << c.why << r.run.err;
    if (!*c.kind) {
      EXPECT_TRUE(r.prims.empty()) << c.why << "\n" << show(r.prims);
      continue;
    }
    ASSERT_FALSE(r.prims.empty()) << c.why;
    EXPECT_EQ(r.prims[0].kind, c.kind) << c.why << "\n" << show(r.prims);
    EXPECT_EQ(r.prims[0].pts.size(), c.points) << c.why << "\n" << show(r.prims);
  }
  RAW_data bar = datum(50, 60, 2, "", 7);
  PlotRun r = plot({{"plot_param", "ybar"}}, [&] { return RAW_plot_data(&bar); });
  ASSERT_EQ(r.prims.size(), 1u) << show(r.prims);
  EXPECT_TRUE(near(r.prims[0].pts[0], Gpt{50, 60}) && near(r.prims[0].pts[1], Gpt{50, 0})) << show(r.prims);
}

} // namespace

namespace {

TEST(StationDatum, WindArrowCoversAnHourOfWind) {
  RAW_data d = datum(50, 50, 35, "", 0, 100, "sc=2");
  PlotRun r = plot({}, [&] { return RAW_plot_data(&d); });
  auto lines = only(r.prims, "PL");
  ASSERT_EQ(lines.size(), 3u) << show(r.prims);
  /* 100 knots for an hour: 185.2 km, 1.852 plot units, times the scale */
  EXPECT_TRUE(near(lines[0].pts[0], Gpt{50, 50}) && near(lines[0].pts[1], Gpt{50, 50 - 2 * 1.852f}, 1e-3f))
      << show(r.prims);
  RAW_data calm = datum(50, 50, 35, "", 0, 0);
  r = plot({}, [&] { return RAW_plot_data(&calm); });
  EXPECT_TRUE(r.prims.empty()) << show(r.prims);
}

} // namespace
