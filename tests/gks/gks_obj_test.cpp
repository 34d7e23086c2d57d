#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "gks_scenario.h"
#include "kez_test.h"
#include "ps_render.h"

namespace {

using gks_test::body_of;
using gks_test::Checks;
using gks_test::count;
using gks_test::lim;
using gks_test::open_ps;
using gks_test::records_of;
using gks_test::use_tran;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;

int polls = 0;
int count_poll() { return ++polls; }

TEST(DisplayList, EveryFiveHundredthCallServesEvents) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    gset_event_poll(count_poll);
    /* Recording is off on PostScript; every changed attribute still counts. */
    auto calls = [](int n) {
      static int type = 2;
      for (int i = 0; i < n; ++i) gset_linetype(type = type == 2 ? 3 : 2);
    };
    calls(499);
    check(polls == 0, "none before the 500th call");
    calls(1);
    check(polls == 1, "at the 500th");
    calls(499);
    check(polls == 1, "none before the 1000th");
    calls(1);
    check(polls == 2, "at the 1000th");
    /* Nothing recorded: no metafile of nothing, and the key says why. */
    setenv("METAOUT", dir.file("empty.meta").c_str(), 1);
    check(gobj_print_meta() == -1, "no metafile of an empty list");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("gobj_print_meta: No redraw data to make metafile from; nothing written\n"), std::string::npos)
      << r.err;
  EXPECT_NE(kez_test::run_command("test -e " + dir.file("empty.meta")), 0) << "no empty file";
}

TEST(DisplayList, RecordedCallsBecomeMetafileRecords) {
  TempDir dir;
  auto r = run_child([&] {
    open_ps(dir.file("a.ps"));
    gset_redraw(1);
    use_tran(1, lim(0, 10, 0, 5), lim(0.1f, 0.9f, 0.1f, 0.5f));
    Gcolr_rep red{1, 0, 0};
    gset_colr_rep(1, 2, &red);
    gset_line_colr_ind(2);
    gset_linetype(3);
    gset_linetype(3);
    gset_linewidth(2);
    Gpt p[5] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}};
    gpolyline(4, p);
    gpolyline(5, p);
    gset_fill_colr_ind(2);
    gfill_area(3, p);
    gfill_area(4, p);
    gset_fill_int_style(GPAT);
    gset_fill_style_ind(12);
    gset_fill_print_solid(1);
    gset_line_print_bold(2);
    gtext(&p[1], "Hi there");
    setenv("METAOUT", dir.file("plot.meta").c_str(), 1);
    gobj_print_meta();
    /* Without METAOUT the file goes where the window's image files go. */
    unsetenv("METAOUT");
    RES_put("image_path", dir.file("images").c_str());
    gobj_print_meta();
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(records_of(read_file(dir.file("images/kez.meta"))), records_of(read_file(dir.file("plot.meta"))));
  EXPECT_EQ(records_of(read_file(dir.file("plot.meta"))),
            "WIN 1 0.000000 0.000000 10.000000 5.000000\n"
            "VP 1 0.100000 0.100000 0.900000 0.500000\n"
            "TR 1\n"
            "CLR 1 2 1.000000 0.000000 0.000000\n"
            "PL_CLR 2\n"
            "PL_TYPE 3\n"
            "PL_LW 2.000000\n"
            "PL 4 0.000000,0.000000 1.000000,1.000000 2.000000,0.000000 3.000000,1.000000 \n"
            "PL 5 0.000000,0.000000 1.000000,1.000000 2.000000,0.000000 3.000000,1.000000 \n"
            "   4.000000,0.000000 \n"
            "FA_CLR 2\n"
            "FA 3 0.000000,0.000000 1.000000,1.000000 2.000000,0.000000 \n"
            "FA 4 0.000000,0.000000 1.000000,1.000000 2.000000,0.000000 3.000000,1.000000 \n"
            "   FA_INT 2\n"
            "FA_ST 12\n"
            "TE 1.000000,1.000000 Hi there\n");
}

TEST(DisplayList, SegmentDeleteRemovesEveryRunOfTheSegment) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("a.ps"));
    check(gdel_seg_objs(5) == -1, "refused while recording is off");
    gset_redraw(1);
    auto line = [](float y) {
      Gpt p[2] = {{0, y}, {1, y}};
      gpolyline(2, p);
    };
    gnew_obj(81, 5, 0, nullptr);
    line(0.1f);
    gnew_obj(82, 5, 0, nullptr);
    line(0.2f);
    gnew_obj(81, 7, 0, nullptr);
    line(0.3f);
    gnew_obj(82, 7, 0, nullptr);
    gnew_obj(81, 5, 0, nullptr);
    line(0.4f); /* a run without its closing record reaches the end */
    check(gdel_seg_objs(5) == 0 && gget_redraw() == 1, "deleted, still recording");
    line(0.5f); /* appended after the new end */
    setenv("METAOUT", dir.file("seg.meta").c_str(), 1);
    gobj_print_meta();
    gclose_ws(1);
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(records_of(read_file(dir.file("seg.meta"))),
            "PL 2 0.000000,0.200000 1.000000,0.200000 \n"
            "PL 2 0.000000,0.300000 1.000000,0.300000 \n"
            "PL 2 0.000000,0.500000 1.000000,0.500000 \n");
}

TEST(DisplayList, PrintFileNameComesFromTheEnvironment) {
  struct Case {
    const char* kezps_print;
    const char* psprint;
    const char* expect;
  };
  const Case cases[] = {
      {"first.ps", "second.ps", "first.ps"},
      {nullptr, "second.ps", "second.ps"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      if (chdir(dir.path().c_str()) != 0) return 2;
      if (c.kezps_print) setenv("kezps_print", c.kezps_print, 1);
      setenv("PSPRINT", c.psprint, 1);
      unsetenv("kezps_param");
      gopen_gks(nullptr, 0);
      gopen_ws(1, "work.ps", GWS_PS);
      int status = gobj_print_plot();
      gclose_ws(1);
      return status == 0 ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("gobj_print_plot: No redraw data to make Postscript file from\n"), std::string::npos);
    const std::string printed = read_file(dir.file(c.expect));
    EXPECT_NE(printed.find("%%EOF"), std::string::npos) << c.expect;
  }
}

int callback_runs = 0;
void note_callback(char* text) {
  ++callback_runs;
  gps_printf("%%callback %s\n", text);
}

/* A plot with every recorded call that reaches PostScript. */
void draw_plot() {
  use_tran(1, lim(0, 100, 0, 100), lim(0, 1, 0, 1));
  Gcolr_rep colours[] = {{1, 0, 0}, {0, 0.5f, 0}, {0.2f, 0.3f, 0.9f}};
  for (int i = 0; i < 3; ++i) gset_colr_rep(1, 2 + i, &colours[i]);
  Gpt square[4] = {{10, 10}, {40, 10}, {40, 40}, {10, 40}};
  gset_fill_colr_ind(3);
  gfill_area(4, square);
  for (int t = 1; t <= 5; ++t) {
    gset_linetype(t);
    gset_linewidth(static_cast<float>(t));
    gset_line_colr_ind(1 + t % 3);
    Gpt line[2] = {{50, 10.0f * static_cast<float>(t)}, {90, 10.0f * static_cast<float>(t)}};
    gpolyline(2, line);
  }
  use_tran(2, lim(-1, 1, -1, 1), lim(0.5f, 1, 0.5f, 1));
  gset_line_print_bold(2);
  gset_line_colr_ind(507);
  Gpt cross[2] = {{-2, -2}, {2, 2}};
  gpolyline(2, cross);
  gsel_norm_tran(1);
  gset_fill_print_solid(1);
  gfill_area(4, square);
}

TEST(DisplayList, RecordedPlotPrintsAsItWasDrawn) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    check(open_ps(dir.file("direct.ps")) == 0, "open");
    gset_win_size(757, 577); /* the size of a print */
    gset_redraw(1);
    draw_plot();
    char* text = static_cast<char*>(std::malloc(8));
    std::strcpy(text, "replay");
    gset_redraw_func(note_callback, text);
    setenv("kezps_print", dir.file("printed.ps").c_str(), 1);
    check(gobj_print_plot() == 0, "print");
    check(callback_runs == 1, "callback ran once, in the print");
    check(gget_redraw() == 1 && gtype_is_PS(), "recording and device restored");
    gclose_ws(1);
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string direct = read_file(dir.file("direct.ps")), printed = read_file(dir.file("printed.ps"));
  /* Both begin with the clip of the whole plot area, then the plot. */
  auto drawing = [](const std::string& ps) {
    std::string body = body_of(ps);
    size_t clip = body.find("cp\nclip\n");
    return clip == std::string::npos ? std::string() : body.substr(clip + 8);
  };
  ASSERT_FALSE(drawing(direct).empty());
  EXPECT_EQ(drawing(direct), drawing(printed).substr(0, drawing(printed).find("%callback")));
  EXPECT_NE(printed.find("%callback replay\n"), std::string::npos);
  for (const std::string& file : {dir.file("direct.ps"), dir.file("printed.ps")}) {
    kez_test::Raster page;
    auto run = kez_test::gs_render(file, 612, 792, &page);
    EXPECT_TRUE(run.clean()) << file << ": " << run.log;
  }
}

} // namespace
