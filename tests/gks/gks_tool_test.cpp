#include <gtest/gtest.h>

#include <unistd.h>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "gks_scenario.h"
#include "kez_test.h"
#include "ps_render.h"
#include "x_server.h"

namespace {

using gks_test::body_of;
using gks_test::Checks;
using gks_test::count;
using gks_test::lim;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

std::string lim_text(const Glim& l) {
  char text[96];
  std::snprintf(text, sizeof text, "%.4f %.4f %.4f %.4f", l.x_min, l.x_max, l.y_min, l.y_max);
  return text;
}

bool near(const Glim& a, const Glim& b) {
  return std::fabs(a.x_min - b.x_min) < 1e-4f && std::fabs(a.x_max - b.x_max) < 1e-4f &&
         std::fabs(a.y_min - b.y_min) < 1e-4f && std::fabs(a.y_max - b.y_max) < 1e-4f;
}

TEST(PageLayout, AspectFitsTheShapeIntoTheRectangle) {
  struct Case {
    Glim vin;
    Gaspect asp;
    Gcenter center;
    Glim want;
    const char* why;
  };
  const Glim page = lim(0, 1, 0, 0.8f);
  const Case cases[] = {
      {page, {1, 1}, {2, 2}, lim(0.1f, 0.9f, 0, 0.8f), "a square centred on a wide page"},
      {page, {1, 1}, {3, 3}, lim(0.2f, 1, 0, 0.8f), "flush with the upper edges"},
      {page, {1, 1}, {0, 1}, lim(0, 0.8f, 0, 0.8f), "other codes: flush with the lower edges"},
      {lim(0, 1, 0.032f, 0.768f), {1, 0.8f}, {2, 2}, lim(0.04f, 0.96f, 0.032f, 0.768f), "the page shape in a band"},
      {page, {1, 4}, {2, 2}, lim(0.4f, 0.6f, 0, 0.8f), "a tall shape takes the height"},
      {page, {1, 0.1f}, {2, 2}, lim(0, 1, 0.35f, 0.45f), "a flat shape takes the width"},
      {lim(0.5f, 1, 0.4f, 0.8f), {1, 1}, {1, 3}, lim(0.5f, 0.9f, 0.4f, 0.8f), "inside an offset rectangle"},
      {page, {0, 1}, {2, 2}, page, "a shape without width: the whole rectangle"},
      {page, {-1, 1}, {2, 2}, page, "a negative shape: the whole rectangle"},
      {lim(0.3f, 0.3f, 0, 1), {1, 1}, {2, 2}, lim(0.3f, 0.3f, 0, 1), "a rectangle without width"},
  };
  for (const Case& c : cases) {
    Glim out = lim(-1, -1, -1, -1);
    EXPECT_EQ(gset_aspect(&c.vin, &out, c.asp, c.center), 0);
    EXPECT_TRUE(near(out, c.want)) << c.why << ": " << lim_text(out) << ", want " << lim_text(c.want);
  }
}

/* A PostScript plot started by GPH_setup on the connection text. */
int setup_ps(const std::string& conn, float aspect, Glim* offset, Gint* type = nullptr) {
  RES_put("device", ("p," + conn).c_str());
  Gint id = 0, t = 0;
  GPH_setup(&id, type ? type : &t, aspect, offset);
  return id;
}

TEST(PageLayout, PanelsOfA640By512Page) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("geometry", "640x512"); /* hundredths of an inch: 460 by 368 points */
    Glim off = lim(0, 0, 0.04f, 0.04f);
    const int id = setup_ps(dir.file("a.ps"), 0, &off);
    check(id == 1, "workstation 1");
    check.near(GPH_get_vert_win_size(), 0.8f, "page height");
    check(near(off, lim(0.04f, 0.96f, 0.032f, 0.768f)), "margins 0.04 at top and bottom: " + lim_text(off));
    Glim v{}, w{};
    GPH_get_view(1, &v);
    GPH_get_win(1, &w);
    check(near(v, lim(0, 1, 0, 0.8f)) && near(w, v), "transformation 1 is the page: " + lim_text(v));
    for (int tran : {2, 3}) {
      GPH_get_view(tran, &v);
      GPH_get_win(tran, &w);
      check(near(v, off) && near(w, off), "transformation " + std::to_string(tran) + ": " + lim_text(v));
    }
    GPH_print_view(&off);

    struct Case {
      float sx, sy, ox, oy;
      Glim margins;
      float aspect;
      Glim want;
      const char* why;
    };
    const Case cases[] = {
        {1, 1, 0, 0, lim(0, 0, 0, 0), 1, lim(0.1f, 0.9f, 0, 0.8f), "aspect 1 gives a square"},
        {1, 1, 0, 0, lim(0, 0, 0, 0), 0, lim(0, 1, 0, 0.8f), "aspect 0 keeps the page"},
        {0.5f, 0.5f, 0.5f, 0, lim(0.1f, 0.1f, 0.1f, 0.1f), 0, lim(0.55f, 0.95f, 0.04f, 0.36f),
         "lower right quarter with margins"},
        {0.5f, 0.5f, 0, 0.5f, lim(0, 0, 0, 0), 2, lim(0, 0.5f, 0.475f, 0.725f), "upper left quarter, twice as wide"},
    };
    for (const Case& c : cases) {
      GPH_set_view_size(c.sx, c.sy, c.ox, c.oy);
      Glim area = c.margins;
      GPH_panel(nullptr, nullptr, c.aspect, &area);
      check(near(area, c.want), std::string(c.why) + ": " + lim_text(area));
      GPH_get_view(2, &v);
      check(near(v, c.want), std::string(c.why) + ": viewport of transformation 2");
    }
    GPH_get_view_size(&v);
    check(near(v, lim(0, 0.5f, 0.4f, 0.8f)), "the panel rectangle: " + lim_text(v));

    /* The page start defined every colour of the table in the kernel. */
    for (const char* name : {"red", "lblue", "gray50"}) {
      const int ind = CLR_get_ind(name);
      float r = -1, g = -1, b = -1, kr = -2, kg = -2, kb = -2;
      CLR_get_rgb(ind, &r, &g, &b);
      gget_color_rgb(ind, &kr, &kg, &kb);
      check(ind > 0 && r == kr && g == kg && b == kb, std::string(name) + " defined in the kernel");
    }
    GPH_end(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(" 0.04  0.96  0.03  0.77\n"), std::string::npos) << r.out;
}

const std::string prompt = "Display (D) or Postscript (P): ";

TEST(PageStart, DeviceIsAskedOnlyWhenInteractiveWithoutADevice) {
  TempDir dir;
  /* Interactive, no device: asked at every plot, and flag 2 goes back. */
  auto r = run_child(
      [&] {
        Checks check;
        if (chdir(dir.path().c_str()) != 0) return 2;
        unsetenv("kezps_print");
        unsetenv("PSPRINT");
        write_file("kezgks.err", "old errors\n");
        for (int plot = 0; plot < 2; ++plot) {
          Gint id = 0, type = -1;
          Glim off = lim(0, 0, 0, 0);
          GPH_setup(&id, &type, 0, &off);
          check(type == GWS_PS && FLAG_get(2) == GWS_PS, "the answer chooses PostScript");
          check(!FILE_exist("kezgks.err"), "the old error file is gone");
          check(GPH_hold(id) == 0, "a PostScript page holds nothing");
          GPH_end(id);
          check(FLAG_get(2) == 0, "flag 2 back to 0 after the plot");
        }
        return check.status();
      },
      "p\npostscript\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(count(r.out, prompt), 2) << r.out;
  EXPECT_NE(read_file(dir.file("kez.ps")).find("%%End of plot"), std::string::npos);

  /* A device setting: no prompt, and the flag stays. */
  r = run_child([&] {
    Checks check;
    Gint type = 0;
    Glim off = lim(0, 0, 0, 0);
    setup_ps(dir.file("set.ps"), 0, &off, &type);
    check(type == GWS_PS, "the setting chooses PostScript");
    GPH_end(1);
    check(FLAG_get(2) == GWS_PS, "flag 2 keeps the setting");
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(count(r.out, prompt), 0) << r.out;
  EXPECT_NE(read_file(dir.file("set.ps")).find("%%End of plot"), std::string::npos);

  /* Batch without a device: the window, never a prompt (and without an X
   * display the window cannot open). */
  r = run_child(
      [&] {
        unsetenv("DISPLAY");
        FLAG_set(19, 1);
        Gint id = 0, type = -1;
        Glim off = lim(0, 0, 0, 0);
        GPH_setup(&id, &type, 0, &off);
        return 0;
      },
      "p\n");
  EXPECT_EQ(r.status, 4) << r.out << r.err;
  EXPECT_EQ(count(r.out, prompt), 0) << r.out;
}

TEST(PageStart, WorkstationThatCannotOpenEndsTheProgram) {
  auto r = run_child([&] {
    Glim off = lim(0, 0, 0, 0);
    setup_ps("/proc/kez-none/a.ps", 0, &off);
    return 0;
  });
  EXPECT_EQ(r.status, 4) << r.out << r.err;
  EXPECT_NE(r.err.find("GPH_begin: Error opening workstation\n"), std::string::npos) << r.err;
}

TEST(PageStart, WindowTitleAndProgramName) {
  struct Case {
    const char* name;
    const char* title;
    const char* want_prog;
    const char* want_title;
  };
  const Case cases[] = {
      {nullptr, nullptr, "kezsfc", "kezsfc"},
      {"+Surface", nullptr, "+Surface", "Surface"},
      {"sfc", "My plot", "sfc", "My plot"},
      {nullptr, "Only title", "kezsfc", "Only title"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      static char prog[] = "/usr/local/bin/kezsfc";
      static char* argv[] = {prog, nullptr};
      RES_setCL(1, argv);
      if (c.name) RES_put("name", c.name);
      if (c.title) RES_put("title", c.title);
      GPH_set_win_title();
      return std::string(gget_prog_name()) == c.want_prog && std::string(gget_win_title()) == c.want_title ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0) << (c.name ? c.name : "-") << " " << (c.title ? c.title : "-");
  }
}

TEST(PageStart, DeviceHelpers) {
  struct Case {
    const char* text;
    int type;
    const char* conn;
  };
  const Case cases[] = {
      {"p,out.ps,eps", 4, "out.ps,eps"}, {"hpgl", 5, ""}, {"Meta,x.meta", 3, "x.meta"}, {"w,+1", 6, "+1"}, {"", 1, ""},
      {"display,:0", 1, ":0"},
  };
  for (const Case& c : cases) {
    char conn[FILE_PATH_LEN] = "junk";
    EXPECT_EQ(gdevice_setup(c.text, conn), c.type) << c.text;
    EXPECT_STREQ(conn, c.conn) << c.text;
  }
  struct Prompt {
    int start;
    const char* answer;
    int want;
    bool asked;
  };
  const Prompt prompts[] = {
      {0, "p\n", 4, true}, {0, "  Post\n", 4, true}, {0, "d\n", 1, true}, {0, "", 1, true}, {5, "p\n", 5, false}};
  for (const Prompt& p : prompts) {
    auto r = run_child(
        [&] {
          int type = p.start;
          GPH_device_prompt(&type);
          return type;
        },
        p.answer);
    EXPECT_EQ(r.status, p.want) << p.answer;
    EXPECT_EQ(count(r.out, prompt), p.asked ? 1 : 0) << p.answer;
  }
}

/* The body of a PostScript page on which `steps` ran before a line, a fill
 * area, a marker and a text were drawn. */
std::string page_body(const std::function<void()>& steps) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    gks_test::open_ps(dir.file("a.ps") + ",color");
    gks_test::use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
    for (int i = 0; i < 4; ++i) {
      Gcolr_rep rep{0.25f * static_cast<float>(i), 0, 1};
      gset_colr_rep(1, i, &rep);
    }
    steps();
    const Gpt line[2] = {{0.1f, 0.1f}, {0.9f, 0.9f}}, area[3] = {{0.1f, 0.1f}, {0.9f, 0.1f}, {0.9f, 0.9f}};
    gpolyline(2, line);
    gfill_area(3, area);
    gpolymarker(1, line);
    gtext(&line[1], "Ag");
    gclose_ws(1);
    return 0;
  });
  return r.status == 0 ? body_of(read_file(dir.file("a.ps"))) : "failed: " + r.err;
}

/* A print colour with a huge width from an attribute string reaches
 * PostScript as a bounded width. */
TEST(Attributes, AHugeWidthOnAPrintColourIsBounded) {
  TempDir dir;
  auto r = run_child([&] {
    Glim off = lim(0, 0, 0, 0);
    setup_ps(dir.file("a.ps"), 0, &off);
    for (const char* text : {"pbblk:wi=1e30", "ptblk:wi=1e30"}) {
      Gattribs a;
      ATTRIB_init(&a);
      ATTRIB_parse(text, &a);
      GPH_line_attr(&a);
      GPH_line(0.1f, 0.1f, 0.9f, 0.9f);
    }
    GPH_end(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string body = body_of(read_file(dir.file("a.ps")));
  int widths = 0;
  for (std::size_t at = body.find(" dot lw"); at != std::string::npos; at = body.find(" dot lw", at + 1), ++widths) {
    const double width = std::strtod(body.c_str() + body.rfind('\n', at) + 1, nullptr);
    EXPECT_TRUE(width >= 0 && width <= GDEVICE_LIMIT) << width;
  }
  EXPECT_GE(widths, 2) << body;
}

TEST(Attributes, BundlesSetWhatTheyGiveAndNothingElse) {
  constexpr int M = KEZ_MISS;
  constexpr float F = KEZ_FMISS;
  struct Case {
    std::function<void()> with_bundle;
    std::function<void()> direct;
    const char* why;
  };
  auto bundle = [](Gattribs a) { return a; };
  const Case cases[] = {
      {[&] {
         const Gattribs a = bundle({2, 3, F, F, 2, M, M});
         GPH_line_attr(&a);
       },
       [] {
         gset_line_colr_ind(2);
         gset_linetype(2);
         gset_linewidth(3);
       },
       "colour, style and width of a line"},
      {[&] {
         const Gattribs a = bundle({-1, F, F, F, M, M, M});
         GPH_line_attr(&a);
       },
       [] {}, "colour -1 and nothing given change nothing"},
      {[&] {
         const Gattribs a = bundle({-2, F, F, F, 3, M, M});
         GPH_line_attr(&a);
       },
       [] { gset_linetype(3); }, "colour -2 keeps the colour"},
      {[] {
         gset_linetype(3);
         gset_linewidth(4);
         GPH_line_attr(nullptr);
       },
       [] {
         gset_linetype(3);
         gset_linewidth(4);
         gset_linetype(1);
         gset_linewidth(0);
       },
       "no bundle resets"},
      {[&] {
         const Gattribs a = bundle({3, F, F, F, M, 0, M});
         GPH_fill_attr(&a);
       },
       [] {
         gset_fill_colr_ind(3);
         gset_fill_int_style(GSOLID);
       },
       "pattern 0 fills solid"},
      {[&] {
         const Gattribs a = bundle({1, F, F, F, M, 9, M});
         GPH_fill_attr(&a);
       },
       [] {
         gset_fill_colr_ind(1);
         gset_fill_int_style(GPAT);
         gset_fill_style_ind(9);
       },
       "a pattern"},
      {[&] {
         const Gattribs a = bundle({M, F, F, F, M, M, M});
         GPH_fill_attr(&a);
       },
       [] {}, "nothing given"},
      {[] {
         gset_fill_int_style(GPAT);
         GPH_fill_attr(nullptr);
       },
       [] {
         gset_fill_int_style(GPAT);
         gset_fill_int_style(GSOLID);
       },
       "no bundle fills solid"},
      {[&] {
         const Gattribs a = bundle({2, 1.5f, 2, F, 3, M, M});
         GPH_mark_attr(&a, 2);
       },
       [] {
         gset_marker_colr_ind(2);
         gset_marker_type(3);
         gset_marker_size(4);
         gset_marker_width(1.5f);
       },
       "marker colour, type, size times the scale, width"},
      {[&] {
         const Gattribs a = bundle({M, F, F, F, M, M, M});
         GPH_mark_attr(&a, 0);
       },
       [] {}, "no height and scale 0 leave the marker size"},
      {[&] {
         const Gattribs a = bundle({M, F, F, F, M, M, M});
         GPH_mark_attr(&a, 3);
       },
       [] { gset_marker_size(3); }, "no height: the scale is the size"},
      {[] {
         gset_marker_width(3);
         GPH_mark_attr(nullptr, 5);
       },
       [] {
         gset_marker_width(3);
         gset_marker_width(0);
       },
       "no bundle resets the marker width only"},
      {[&] {
         const Gattribs a = bundle({1, F, F, F, M, M, M});
         GPH_text_attr(&a, 0.05f);
       },
       [] {
         gset_text_colr_ind(1);
         gset_char_ht(0.05f);
         gset_space(0.25f);
       },
       "the height is always set: the scale when none is given"},
      {[&] {
         const Gattribs a = bundle({3, 2, 2, 1.5f, M, M, 2});
         GPH_text_attr(&a, 0.01f);
       },
       [] {
         gset_text_colr_ind(3);
         gset_char_ht(0.02f);
         gset_text_width(2);
         gset_expan(1.5f);
         const Gfontprec font{2, GSTROKE_PREC};
         gset_fontprec(&font);
         gset_space(0.25f);
       },
       "text colour, height times the scale, width, expansion, font"},
      {[] {
         gset_text_width(3);
         gset_expan(2);
         GPH_text_attr(nullptr, 0.5f);
       },
       [] {
         gset_text_width(3);
         gset_expan(2);
         gset_text_width(0);
         gset_expan(1);
       },
       "no bundle resets the text width and expansion"},
  };
  for (const Case& c : cases) {
    const std::string got = page_body(c.with_bundle), want = page_body(c.direct);
    EXPECT_EQ(got, want) << c.why;
    EXPECT_EQ(got.find("failed"), std::string::npos) << got;
  }
  auto r = run_child([] {
    Gattribs a;
    ATTRIB_init(&a);
    return GPH_text_attr(nullptr, 1) == -1 && GPH_text_attr(&a, 1) == 0 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0) << "GPH_text_attr gives -1 without a bundle";
}

/* A line, a fill area, a marker and a text in the attributes in force. */
void draw_each_primitive() {
  const Gpt line[2] = {{0.2f, 0.3f}, {0.7f, 0.6f}}, area[3] = {{0.2f, 0.2f}, {0.6f, 0.2f}, {0.6f, 0.5f}};
  gpolyline(2, line);
  gfill_area(3, area);
  gpolymarker(1, line);
  gtext(&line[1], "Kz");
}

/* One bundle for all four primitives, with its text scale, marker scale
 * and alignment. */
struct AllAttribs {
  Gattribs a;
  float text_scale, mark_scale;
  int hor, vert;
};

using Apply = void (*)(const AllAttribs&);

/* What GPH_attribs stands for: each primitive's reset and then the bundle. */
void four_calls(const AllAttribs& b) {
  GPH_text_attr(nullptr, 1);
  GPH_text_attr(&b.a, b.text_scale);
  GPH_text_align(b.hor, b.vert);
  GPH_line_attr(nullptr);
  GPH_line_attr(&b.a);
  GPH_mark_attr(nullptr, 1);
  GPH_mark_attr(&b.a, b.mark_scale);
  GPH_fill_attr(nullptr);
  GPH_fill_attr(&b.a);
}

void one_call(const AllAttribs& b) { GPH_attribs(&b.a, b.text_scale, b.mark_scale, b.hor, b.vert); }

TEST(Attributes, OneBundleForAllPrimitivesDrawsAsTheFourCalls) {
  constexpr int M = KEZ_MISS;
  constexpr float F = KEZ_FMISS;
  const AllAttribs red{{2, F, F, F, M, M, M}, 0.04f, 1, GRIGHT_HOR, GHALF_VERT};
  const AllAttribs blue{{3, F, F, F, M, M, M}, 0.04f, 1, GLEFT_HOR, GBOTTOM_VERT};
  const AllAttribs given{{1, 2.5f, 1.5f, 2, 3, 5, 2}, 0.02f, 3, GCENTER_HOR, GTOP_VERT};
  const AllAttribs keep{{-1, F, F, F, M, M, M}, 0.03f, 0, GCENTER_HOR, GHALF_VERT};
  const AllAttribs bad{{2, -4, F, -1, -2, 99, M}, 0.04f, 1, GRIGHT_HOR, GHALF_VERT};
  struct Case {
    std::function<void(Apply)> steps;
    const char* why;
  };
  const Case cases[] = {
      {[&](Apply put) { put(given); }, "width, expansion, font, style, pattern and height given"},
      {[&](Apply put) {
         put(given);
         draw_each_primitive();
         put(red);
       },
       "what one bundle gave and the next does not is reset"},
      {[&](Apply put) {
         put(red);
         draw_each_primitive();
         put(blue);
         draw_each_primitive();
         put(red);
       },
       "datums of two bundles in turn"},
      {[&](Apply put) {
         put(red);
         draw_each_primitive();
         gset_text_colr_ind(3);
         gset_line_colr_ind(0);
         gset_fill_colr_ind(1);
         gset_marker_colr_ind(0);
         put(red);
       },
       "colours changed by another caller between two equal bundles"},
      {[&](Apply put) {
         put(red);
         draw_each_primitive();
         gset_linewidth(4);
         gset_linetype(3);
         gset_marker_width(5);
         gset_marker_size(9);
         gset_char_ht(0.1f);
         gset_text_width(6);
         gset_expan(3);
         gset_space(1);
         GPH_text_align(GLEFT_HOR, GTOP_VERT);
         gset_fill_int_style(GPAT);
         put(red);
       },
       "sizes, styles and alignment changed by another caller"},
      {[&](Apply put) {
         put(given);
         draw_each_primitive();
         const Gfontprec font{1, GSTROKE_PREC};
         gset_fontprec(&font);
         gset_fill_style_ind(4);
         put(given);
       },
       "font and pattern changed by another caller"},
      {[&](Apply put) {
         put(red);
         draw_each_primitive();
         greset_text();
         greset_line();
         greset_marker();
         greset_fill();
         put(red);
       },
       "the kernel's resets"},
      {[&](Apply put) {
         put(blue);
         draw_each_primitive();
         put(keep);
       },
       "colour -1 and no marker scale keep the colours and the marker size"},
      {[&](Apply put) {
         put(bad);
         draw_each_primitive();
         put(bad);
       },
       "refused values leave the resets standing, every time"},
  };
  for (const Case& c : cases) {
    const std::string got = page_body([&] { c.steps(one_call); }), want = page_body([&] { c.steps(four_calls); });
    EXPECT_EQ(got, want) << c.why;
    EXPECT_EQ(got.find("failed"), std::string::npos) << got;
  }
  auto r = run_child([] { return GPH_attribs(nullptr, 1, 1, GCENTER_HOR, GHALF_VERT) == -1 ? 0 : 1; });
  EXPECT_EQ(r.status, 0) << "GPH_attribs gives -1 without a bundle";
}

/* Without a workstation, also after one closed, every setter of a bundle
 * says so, every time. */
TEST(Attributes, ABundleWithoutAWorkstationIsRefusedEveryTime) {
  TempDir dir;
  auto r = run_child([&] {
    const AllAttribs b{
        {2, KEZ_FMISS, KEZ_FMISS, KEZ_FMISS, KEZ_MISS, KEZ_MISS, KEZ_MISS}, 0.04f, 1, GRIGHT_HOR, GHALF_VERT};
    gks_test::open_ps(dir.file("a.ps"));
    one_call(b);
    gclose_ws(1);
    for (int i = 0; i < 3; ++i) {
      one_call(b);
      std::fprintf(stderr, "|bundle|\n");
    }
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<int> refusals;
  std::size_t from = 0;
  for (std::size_t end = r.err.find("|bundle|"); end != std::string::npos; end = r.err.find("|bundle|", from)) {
    refusals.push_back(count(r.err.substr(from, end - from), "GKS not opened"));
    from = end + 1;
  }
  ASSERT_EQ(refusals.size(), 3u) << r.err;
  EXPECT_GT(refusals[0], 3) << r.err;
  EXPECT_EQ(refusals[1], refusals[0]);
  EXPECT_EQ(refusals[2], refusals[0]);
}

/* A new workstation starts from the kernel's defaults: a bundle put in
 * force on the page before is put in force again on the next. */
TEST(Attributes, ABundleStandsOnlyOnItsOwnWorkstation) {
  TempDir dir;
  constexpr int M = KEZ_MISS;
  constexpr float F = KEZ_FMISS;
  auto page = [&](const std::string& name) {
    gks_test::open_ps(dir.file(name) + ",color");
    gks_test::use_tran(1, lim(0, 1, 0, 1), lim(0, 1, 0, 1));
    for (int i = 0; i < 4; ++i) {
      Gcolr_rep rep{0.25f * static_cast<float>(i), 0, 1};
      gset_colr_rep(1, i, &rep);
    }
    one_call({{2, 2, F, F, 2, M, M}, 0.04f, 2, GRIGHT_HOR, GTOP_VERT});
    draw_each_primitive();
    gclose_ws(1);
  };
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    page("first.ps");
    page("second.ps");
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    page("alone.ps");
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string second = body_of(read_file(dir.file("second.ps")));
  EXPECT_EQ(second, body_of(read_file(dir.file("alone.ps"))));
  EXPECT_NE(second.find("setdash"), std::string::npos) << second;
}

TEST(TextHelpers, FontsAlignmentRotationAndBoundedTexts) {
  TempDir dir;
  const std::string file = dir.file("a.meta");
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("m," + file).c_str());
    GPH_set_def_font("script");
    Gint id = 0, type = 0;
    Glim off = lim(0, 0, 0, 0);
    GPH_setup(&id, &type, 0, &off);
    GPH_text_font("2");
    GPH_text_font("nonesuch");
    GPH_text_font("3");
    GPH_set_def_font(std::string(40, 'x').c_str());
    GPH_text_font(nullptr);
    GPH_text_align(2, 3);
    int h = 0, v = 0;
    GPH_get_text_align(&h, &v);
    check(h == 2 && v == 3, "alignment read back");
    GPH_text_rotate(90);
    GPH_text_rotate(0);
    GPH_printf(0.1f, 0.2f, "%s", std::string(150, 'a').c_str());
    const Gpt pt{0.3f, 0.4f};
    GPH_pprintf(&pt, "%d:%s", 7, std::string(100, 'b').c_str());
    GPH_printf(0.5f, 0.5f, "%5.1f hPa", 1013.3);
    GPH_pprint(&pt, "");
    GPH_mark(0.5f, 0.6f);
    GPH_end(id);
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string meta = read_file(file);
  const std::string records[] = {
      "TE_FNT 6 2\n", /* the default font, by its abbreviation */
      "TE_FNT 2 2\n", /* by number */
      "TE_FNT 1 2\n", /* an unknown name: the first font */
      "TE_FNT 3 2\n",
      "TE_FNT 1 2\n", /* an over-long default name is cut, and unknown */
      "TE_ALGN 2 3\n",
      "TE_UP 1.000000,0.000000\n",
      "TE_UP 0.000000,1.000000\n",
      "TE 0.100000,0.200000 " + std::string(99, 'a') + "\n",
      "TE 0.300000,0.400000 7:" + std::string(57, 'b') + "\n",
      "TE 0.500000,0.500000 1013.3 hPa\n",
      "PM 1 0.500000,0.600000 \n",
  };
  std::size_t at = 0;
  for (const std::string& record : records) {
    std::size_t found = meta.find(record, at);
    EXPECT_NE(found, std::string::npos) << "missing in order: " << record << "\n" << meta.substr(at, 400);
    if (found != std::string::npos) at = found + record.size();
  }
  EXPECT_EQ(count(meta, "\nTE "), 3) << "an empty text draws nothing";
}

/* ---- a two-by-two page through ghostscript ---- */

bool close_to(const std::array<int, 3>& got, const std::array<int, 3>& want) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(got[static_cast<size_t>(i)] - want[static_cast<size_t>(i)]) > 3) return false;
  return true;
}

std::string rgb_text(const std::array<int, 3>& c) {
  return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
}

TEST(PageRendering, FourPanelsShowTheirAttributeColours) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed (tools/install-deps.sh)";
  struct Panel {
    float ox, oy;
    const char* attrib;
    std::array<int, 3> colour;
    const char* where;
  };
  const Panel panels[] = {
      {0, 0.5f, "red", {255, 0, 0}, "upper left: a colour name"},
      {0.5f, 0.5f, "co=blue:fp=sol", {0, 0, 255}, "upper right: keyed items"},
      {0, 0, "#00C000", {0, 192, 0}, "lower left: a hex colour appended while drawing"},
      {0.5f, 0, nullptr, {255, 255, 0}, "lower right: the colour setting over its default"},
  };
  TempDir dir;
  const std::string file = dir.file("page.eps");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("color_fill", "yellow");
    Glim off = lim(0, 0, 0, 0);
    setup_ps(file + ",eps,port,color", 0, &off);
    for (const Panel& p : panels) {
      GPH_set_view_size(0.5f, 0.5f, p.ox, p.oy);
      Glim area = lim(0.05f, 0.05f, 0.05f, 0.05f);
      GPH_panel(nullptr, nullptr, 0, &area);
      GPH_trans(2);
      Gattribs a;
      ATTRIB_init(&a);
      if (p.attrib)
        ATTRIB_parse(p.attrib, &a);
      else
        ATTRIB_get("color_fill", "white", &a);
      GPH_fill_attr(&a);
      GPH_frect(area.x_min, area.y_min, area.x_max, area.y_max);
      ATTRIB_init(&a);
      ATTRIB_parse("black:wi=2", &a);
      GPH_line_attr(&a);
      GPH_border(&area);
      const float cx = (area.x_min + area.x_max) / 2, cy = (area.y_min + area.y_max) / 2;
      if (!p.attrib) {
        ATTRIB_parse("magenta", &a);
        GPH_fill_attr(&a);
        GPH_fcircle(cx, cy, 0.05f);
      }
      if (p.ox == 0 && p.oy > 0) {
        ATTRIB_init(&a);
        ATTRIB_parse("black:st=2:wi=3", &a);
        GPH_mark_attr(&a, 2);
        GPH_mark(cx, cy);
      }
      if (p.ox > 0 && p.oy > 0) {
        ATTRIB_init(&a);
        ATTRIB_parse("white:wi=3", &a);
        GPH_text_attr(&a, 0.1f);
        GPH_text_align(2, 3);
        GPH_printf(cx, cy, "%s", "KEZ");
      }
    }
    GPH_end(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  kez_test::Raster page;
  auto run = kez_test::gs_render(file, 800, 700, &page);
  ASSERT_TRUE(run.clean()) << run.log;
  /* The page (1 by 576/756) fills the 756 by 576 point plot area. */
  const float yvp = 576.0f / 756.0f, scale = 575.0f / yvp;
  auto at = [&](float px, float py) { return page.at(static_cast<int>(px * scale), static_cast<int>(py * scale)); };
  for (const Panel& p : panels) {
    const float cx = p.ox + 0.25f, cy = (p.oy + 0.25f) * yvp;
    const auto inside = at(cx - 0.15f, cy);
    EXPECT_TRUE(close_to(inside, p.colour)) << p.where << ": " << rgb_text(inside);
    const auto margin = at(p.ox + 0.01f, (p.oy + 0.01f) * yvp);
    EXPECT_TRUE(close_to(margin, {255, 255, 255})) << p.where << ": margin " << rgb_text(margin);
  }
  EXPECT_TRUE(close_to(at(0.75f, 0.25f * yvp), {255, 0, 255})) << "circle in the lower right panel";
  EXPECT_TRUE(close_to(at(0.25f, 0.75f * yvp), {0, 0, 0})) << "marker in the upper left panel";
  /* The label in the upper right panel: white strokes on blue around its centre. */
  int strokes = 0, ground = 0;
  for (float dx = -0.08f; dx <= 0.08f; dx += 0.004f)
    for (float dy = -0.04f; dy <= 0.04f; dy += 0.004f) {
      const auto c = at(0.75f + dx, 0.75f * yvp + dy);
      strokes += close_to(c, {255, 255, 255});
      ground += close_to(c, {0, 0, 255});
    }
  EXPECT_GT(strokes, 10) << "label strokes";
  EXPECT_GT(ground, strokes) << "label on its panel";
  EXPECT_TRUE(close_to(at(0.5f, 0.5f * yvp), {255, 255, 255})) << "between the panels";
}

/* The page layer on the window: without an X server the program ends with
 * status 4 and a message; with one, GPH_hold shows the page and holds it
 * until Return. */
TEST(PageLayer, WindowOpensOrEndsTheProgramAndHolds) {
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto begin = [](const std::string& display) {
    Gint ws_id = 0;
    Gws_type type = GWS_WINDOW;
    return GPH_begin(&ws_id, display.c_str(), &type);
  };
  auto absent = run_child([&] { return begin(x.display() + "9") == 0 ? 0 : 1; });
  EXPECT_EQ(absent.status, 4);
  EXPECT_NE(absent.err.find("gopen_ws: unable to connect to display\n"), std::string::npos) << absent.err;
  EXPECT_NE(absent.err.find("GPH_begin: Error opening workstation\n"), std::string::npos) << absent.err;

  kez_test::Repeater keys(x, "xdotool search --name '^Paged$' windowfocus key Return", 0.3);
  auto held = run_child([&] {
    gset_win_title("Paged");
    if (begin(x.display()) != 0) return 1;
    GPH_hold(1);
    std::printf("held\n");
    return GPH_end(1);
  });
  EXPECT_EQ(held.status, 0) << held.err;
  EXPECT_EQ(held.out, "held\n");
}

} // namespace
