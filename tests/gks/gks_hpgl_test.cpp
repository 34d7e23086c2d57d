#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <regex>

#include "gks_output.h"

namespace {

using gks_test::ab_font;
using gks_test::Checks;
using gks_test::count;
using gks_test::lim;
using gks_test::use_tran;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

const std::string ESC = "\x1b";
const std::string pcl_start = ESC + "E" + ESC + "%1B" + ESC + "&l1O\n";
const std::string pcl_end = ESC + "%0A" + ESC + "E";

int open_hpgl(const std::string& conn) {
  gopen_gks(nullptr, 0);
  return gopen_ws(1, conn.c_str(), GWS_HPGL);
}

/* One world unit is one plotter unit, from the plot area's corner. */
void plotter_world() { use_tran(1, lim(0, 7611, 0, 7611), lim(0, 1, 0, 1)); }

TEST(HpglWriter, FramingPrologAndTrailerPerOption) {
  struct Case {
    const char* options;
    const char* env; /* kezhp_param, or null */
    std::string head;
    std::string tail;
    const char* why;
  };
  const std::string pen = "PW0.2;SV;LT;\n";
  const std::string plain_end = "SP;PG;\n";
  const Case cases[] = {
      {"", nullptr, pcl_start + "IN;SP1;PA;\n" + pen, plain_end + pcl_end, "PCL framing by default"},
      {",nopcl", nullptr, "IN;SP1;PA;\n" + pen, plain_end, "plain HPGL"},
      {",lj,port", nullptr, pcl_start + "IN;SP1;PA;\nRO90;\nRO90;\n" + pen, plain_end + pcl_end,
       "turned framing and portrait: two turns"},
      {",nopcl,rot=180", nullptr, "IN;SP1;PA;\nRO180;\n" + pen, plain_end, "rotation"},
      {",nopcl,rot=45", nullptr, "IN;SP1;PA;\n" + pen, plain_end, "only quarter turns act"},
      {",nopcl,lwidth=0.5", nullptr, "IN;SP1;PA;\nPW0.5;SV;LT;\n", plain_end, "base pen width"},
      {",nopcl,pcl", nullptr, pcl_start + "IN;SP1;PA;\n" + pen, plain_end + pcl_end, "later items win"},
      {",pcl", "nopcl,port", pcl_start + "IN;SP1;PA;\nRO90;\n" + pen, plain_end + pcl_end,
       "the connection string comes after the environment"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      if (c.env)
        setenv("kezhp_param", c.env, 1);
      else
        unsetenv("kezhp_param");
      return open_hpgl(dir.file("a.hpgl") + c.options) == 0 && gclose_ws(1) == 0 ? 0 : 1;
    });
    ASSERT_EQ(r.status, 0) << c.why << r.err;
    const std::string hpgl = read_file(dir.file("a.hpgl"));
    EXPECT_EQ(hpgl.substr(0, c.head.size()), c.head) << c.why;
    ASSERT_GE(hpgl.size(), c.tail.size());
    EXPECT_EQ(hpgl.substr(hpgl.size() - c.tail.size()), c.tail) << c.why;
    if (c.head.find(ESC) == std::string::npos) {
      EXPECT_EQ(hpgl.find(ESC), std::string::npos) << c.why;
    }
    EXPECT_NE(r.out.find("Creating: " + dir.file("a.hpgl") + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Created HPGL file\n"), std::string::npos);
  }
}

TEST(HpglWriter, AppendingWritesOnlyThePenLine) {
  TempDir dir;
  write_file(dir.file("a.hpgl"), "first;\n");
  auto r = run_child([&] {
    open_hpgl("+" + dir.file("a.hpgl"));
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string hpgl = read_file(dir.file("a.hpgl"));
  EXPECT_EQ(hpgl.rfind("first;\nPW0.2;SV;LT;\nIW ", 0), 0u) << hpgl;
  EXPECT_EQ(hpgl.find("SP;PG;"), std::string::npos);
  EXPECT_EQ(hpgl.find(ESC), std::string::npos);
  EXPECT_NE(r.out.find("Appending to: " + dir.file("a.hpgl")), std::string::npos);
}

/* An output that cannot be made leaves the kernel closed and says which
 * file and why. */
TEST(HpglWriter, OpenFailureNamesTheFileAndTheReason) {
  TempDir dir;
  write_file(dir.file("plain"), "x");
  auto r = run_child([&] { return open_hpgl(dir.file("plain") + "/a.hpgl") == -1 && !gchk_graphics() ? 0 : 1; });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("gopen_ws: unable to open HPGL file " + dir.file("plain") + "/a.hpgl: Not a directory\n"),
            std::string::npos)
      << r.err;
}

TEST(HpglWorkstation, PlotAreaFromPageOptionsAndGeometry) {
  struct Case {
    const char* options;
    const char* env;      /* kezhp_param */
    const char* geometry; /* kezhp_geometry */
    int w, h, x, y;
    const char* why;
  };
  const Case cases[] = {
      {"", nullptr, nullptr, 10150, 7612, 10, 10, "10.5 by 8 inches less margins, offset 10"},
      {",a4", nullptr, nullptr, 11357, 7876, 10, 10, "paper name"},
      {",sz=20x10", nullptr, nullptr, 19792, 9642, 10, 10, "page size"},
      {"", "roll=36", nullptr, 36032, 23345, 10, 10, "roll paper from the environment"},
      {",roll=36", nullptr, nullptr, 10150, 7612, 10, 10, "roll paper is no connection item"},
      {"", nullptr, "500x400+100+50", 5075, 4060, 1025, 517, "size and offset in hundredths of an inch"},
      {"", nullptr, "500x400", 5075, 4060, 10, 10, "size only"},
      {"", nullptr, "+100+50", 10150, 7612, 1025, 517, "offset only"},
      {"", nullptr, "P2x2+1+0", 5075, 3806, 5075, 3806, "upper right panel"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      if (c.env) setenv("kezhp_param", c.env, 1);
      if (c.geometry) setenv("kezhp_geometry", c.geometry, 1);
      if (open_hpgl(dir.file("a.hpgl") + c.options) != 0) return 2;
      int w = 0, h = 0, x = 0, y = 0;
      gget_win_size(&w, &h);
      gget_win_offset(&x, &y);
      std::printf("%d %d %d %d\n", w, h, x, y);
      gclose_ws(1);
      return 0;
    });
    ASSERT_EQ(r.status, 0) << c.why << r.err;
    const std::string want =
        std::to_string(c.w) + " " + std::to_string(c.h) + " " + std::to_string(c.x) + " " + std::to_string(c.y) + "\n";
    EXPECT_NE(r.out.find(want), std::string::npos) << c.why << "\n" << r.out;
  }
}

TEST(HpglWorkstation, PostScriptRedirectedToHpgl) {
  TempDir dir;
  auto r = run_child([&] {
    setenv("kezprint", "HPGL", 1);
    setenv("kezps_print", dir.file("not.ps").c_str(), 1);
    setenv("kezhp_out", dir.file("env.hpgl").c_str(), 1);
    gopen_gks(nullptr, 0);
    Checks check;
    check(gopen_ws(1, dir.file("named.hpgl").c_str(), GWS_PS) == 0 && gtype_is_HPGL(), "named by item 1");
    gclose_ws(1);
    check(gopen_ws(1, "", GWS_PS) == 0, "named by kezhp_out");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_file(dir.file("named.hpgl")).rfind(pcl_start, 0), 0u);
  EXPECT_EQ(read_file(dir.file("env.hpgl")).rfind(pcl_start, 0), 0u);
  EXPECT_EQ(read_file(dir.file("not.ps")), "");
}

/* What body writes on a plain HPGL plot in the plotter world, after a
 * mark; options add to ",nopcl". */
std::string drawn(const std::function<void()>& body, const std::string& options = "", std::string* err = nullptr) {
  TempDir dir;
  auto r = run_child([&] {
    if (open_hpgl(dir.file("a.hpgl") + ",nopcl" + options) != 0) return 1;
    plotter_world();
    ghpgl_printf("%%mark\n");
    body();
    gclose_ws(1);
    return 0;
  });
  if (err) *err = r.err;
  if (r.status != 0) return "failed: " + r.err;
  const std::string hpgl = read_file(dir.file("a.hpgl"));
  const size_t at = hpgl.find("%mark\n");
  return at == std::string::npos ? "no mark" : hpgl.substr(at + 6);
}

void line() {
  static const Gpt pts[2] = {{1000, 1000}, {2000, 1000}};
  gpolyline(2, pts);
}

void area() {
  static const Gpt pts[3] = {{1000, 1000}, {2000, 1000}, {2000, 2000}};
  gfill_area(3, pts);
}

void grey_quarter() {
  const Gcolr_rep grey{0.25f, 0.25f, 0.25f};
  gset_colr_rep(1, 2, &grey);
}

TEST(HpglWriter, CommandsForGreysWidthsLineTypesAndFills) {
  struct Case {
    std::function<void()> draw;
    std::string expected;
    const char* why;
  };
  const std::string path = "PU1010,1010;PD2010,1010;\n";
  const Case cases[] = {
      {[] {
         gset_line_colr_ind(503);
         line();
         line();
         gset_line_colr_ind(506);
         line();
         gset_line_colr_ind(1);
         line();
       },
       "SV1,0;\n" + path + path + "SV1,30;\n" + path + "SV;\n" + path, "print greys, each written when it changes"},
      {[] {
         gset_line_colr_ind(502);
         line();
         gset_line_colr_ind(1);
         gset_linewidth(3);
         line();
         gset_line_print_bold(2);
         gset_linewidth(1);
         line();
       },
       "PW0.8;\n" + path + "PW0.6;\n" + path + "PW0.4;\n" + path, "quadruple black, width 3, print bold 2"},
      {[] {
         for (int type : {2, 3, 4, 5, 7, 1}) {
           gset_linetype(type);
           line();
         }
       },
       "LT2,5,1;\n" + path + "LT5,8,1;\n" + path + "LT6,10,1;\n" + path + "LT2,1,1;\n" + path + path + "LT;\n" + path,
       "line types; type 7 has no pattern and keeps the one in force"},
      {[] {
         grey_quarter();
         gset_fill_colr_ind(2);
         area();
         area();
       },
       "FT10,75;\nPU1010,1010;PM0;PD2010,1010;PD2010,2010;PM1;PM2;FP;\nPU1010,1010;PM0;",
       "a grey of 0.25 shades 75, once"},
      {[] {
         gset_fill_colr_ind(-1);
         area();
         gset_fill_colr_ind(503);
         area();
         gset_fill_colr_ind(506);
         area();
         gset_fill_print_solid(1);
         area();
         area();
       },
       "FT10,0;\nPU1010,1010;PM0;PD2010,1010;PD2010,2010;PM1;PM2;FP;\nPU1010,1010;PM0;PD2010,1010;PD2010,2010;PM1;"
       "PM2;FP;\nFT10,30;\nPU1010,1010;PM0;PD2010,1010;PD2010,2010;PM1;PM2;FP;\nFT1;\nPU1010,1010;PM0;PD2010,1010;"
       "PD2010,2010;PM1;PM2;FP;\nFT1;\n",
       "background and print white are white, print grey is light; solid fills are written every time"},
      {[] {
         gset_fill_int_style(GPAT);
         area();
       },
       "PU1010,1010;PM0;PD2010,1010;PD2010,2010;PM1;PM2;FP;\n", "patterns fill too; black writes no shade"},
      {[] {
         Gpt pts[12];
         for (int i = 0; i < 12; ++i) pts[i] = Gpt{static_cast<float>(100 * i), 0};
         gpolyline(12, pts);
       },
       "PU10,10;PD110,10;PD210,10;PD310,10;PD410,10;PD510,10;PD610,10;PD710,10;PD810,10;PD910,10;\n"
       "PD1010,10;PD1110,10;\n",
       "a line end after the tenth point and at the end"},
      {[] {
         ghpgl_move(1000, 1000);
         ghpgl_move(1000, 1000);
       },
       "PU1010,1010;PU1010,1010;", "two pen-up moves on one line"},
  };
  for (const Case& c : cases) {
    const std::string body = drawn(c.draw);
    EXPECT_NE(body.find(c.expected), std::string::npos) << c.why << "\n" << body;
  }
}

TEST(HpglWriter, SecondPlotStartsWithBlackFillInForce) {
  TempDir dir;
  auto r = run_child([&] {
    for (const char* name : {"a.hpgl", "b.hpgl"}) {
      open_hpgl(dir.file(name) + ",nopcl");
      plotter_world();
      grey_quarter();
      gset_fill_colr_ind(1);
      area();
      gset_fill_colr_ind(2);
      area();
      gclose_ws(1);
    }
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"a.hpgl", "b.hpgl"}) {
    const std::string hpgl = read_file(dir.file(name));
    EXPECT_EQ(count(hpgl, "FT10,"), 1) << name << "\n" << hpgl;
    EXPECT_NE(hpgl.find("FP;\nFT10,75;\n"), std::string::npos) << name;
  }
}

TEST(HpglWriter, ScaleMultipliesEveryCoordinate) {
  const std::string doubled = drawn(line, ",scale=2");
  EXPECT_NE(doubled.find("PU2020,2020;PD4020,2020;\n"), std::string::npos) << doubled;
  std::string err;
  const std::string plain = drawn([] {}, ",scale=2");
  const std::string refused = drawn(line, ",scale=0", &err);
  EXPECT_NE(refused.find("PU1010,1010;PD2010,1010;\n"), std::string::npos) << refused;
  EXPECT_NE(err.find("ghpgl_set_scale: invalid scale: 0.000000\n"), std::string::npos) << err;

  /* The input window follows the scale. */
  TempDir dir;
  auto r = run_child([&] {
    open_hpgl(dir.file("a.hpgl") + ",nopcl,scale=2");
    plotter_world();
    gclose_ws(1);
    open_hpgl(dir.file("b.hpgl") + ",nopcl,scale=1");
    plotter_world();
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(read_file(dir.file("a.hpgl")).find("IW 20,20,15242,15242;\n"), std::string::npos)
      << read_file(dir.file("a.hpgl"));
  EXPECT_NE(read_file(dir.file("b.hpgl")).find("IW 10,10,7621,7621;\n"), std::string::npos);
}

TEST(HpglWriter, StrokeTextSetsThePenAndEndsEachGlyphLine) {
  TempDir fonts;
  write_file(fonts.file("fix.fnt"), ab_font());
  write_file(fonts.file("kez.fnl"), "fix fix.fnt\n");
  const std::string body = drawn([&] {
    RES_put("file_path", fonts.path().c_str());
    gsetup_fonts();
    gset_char_ht(105);
    gset_text_width(2);
    gset_text_colr_ind(503);
    Gpt at{1000, 1000};
    gtext(&at, "AB");
  });
  EXPECT_NE(body.find("PW0.4;\nSV1,0;\nPU1010,1010;PD1070,1115;\nPU1095,1010;PD1165,1115;\n"), std::string::npos)
      << body;
}

/* A PBM raster as hp2xx writes it (P4), row 0 at the top. */
struct Bitmap {
  int width = 0, height = 0;
  std::vector<bool> set;
  bool at(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height && set[static_cast<size_t>(y) * width + x];
  }
};

bool read_pbm(const std::string& data, Bitmap* b) {
  std::smatch m;
  static const std::regex header("^P4\\s+(\\d+)\\s+(\\d+)\\s");
  if (!std::regex_search(data, m, header)) return false;
  b->width = std::stoi(m[1]);
  b->height = std::stoi(m[2]);
  const size_t row = static_cast<size_t>(b->width + 7) / 8, from = static_cast<size_t>(m.length(0));
  if (b->width <= 0 || b->height <= 0 || data.size() < from + row * b->height) return false;
  b->set.resize(static_cast<size_t>(b->width) * b->height);
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x)
      b->set[static_cast<size_t>(y) * b->width + x] =
          (static_cast<unsigned char>(data[from + y * row + x / 8]) >> (7 - x % 8)) & 1;
  return true;
}

TEST(HpglRendering, PlainHpglThroughHp2xx) {
  ASSERT_TRUE(kez_test::have_program("hp2xx")) << "hp2xx is needed (tools/install-deps.sh)";
  TempDir dir;
  const std::string file = dir.file("plot.hpgl");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    if (open_hpgl(file + ",nopcl") != 0) return 1;
    /* A frame of 4000 by 2000 plotter units holds the drawing. */
    plotter_world();
    const Gpt frame[5] = {{0, 0}, {4000, 0}, {4000, 2000}, {0, 2000}, {0, 0}};
    gpolyline(5, frame);
    const Gpt square[4] = {{400, 400}, {1200, 400}, {1200, 1200}, {400, 1200}};
    gfill_area(4, square);
    gset_marker_type(6);
    gset_marker_size(8); /* 812 plotter units */
    const Gpt centre{2000, 1000};
    gpolymarker(1, &centre);
    gset_char_ht(600);
    const Gpt at{2800, 700};
    gtext(&at, "H");
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string out = dir.file("plot.pbm");
  std::string log;
  ASSERT_EQ(kez_test::run_command("hp2xx -q -m pbm -f '" + out + "' '" + file + "' 2>&1", &log), 0) << log;
  Bitmap b;
  ASSERT_TRUE(read_pbm(read_file(out), &b)) << log;
  /* hp2xx fits the drawing's extent into the raster: find the frame. */
  int x0 = b.width, x1 = -1, y0 = b.height, y1 = -1;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x)
      if (b.at(x, y)) {
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
      }
  ASSERT_GT(x1 - x0, 100) << "the frame spans the raster";
  EXPECT_NEAR(static_cast<double>(x1 - x0) / (y1 - y0), 2.0, 0.05) << "the frame keeps its aspect";
  auto inked = [&](float px, float py) {
    const int x = x0 + static_cast<int>(px / 4000 * (x1 - x0) + 0.5f);
    const int y = y1 - static_cast<int>(py / 2000 * (y1 - y0) + 0.5f);
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy)
        if (b.at(x + dx, y + dy)) return true;
    return false;
  };
  struct Sample {
    float x, y;
    bool inked;
    const char* what;
  };
  const Sample samples[] = {
      {800, 800, true, "inside the filled square"},
      {1400, 800, false, "beside the square"},
      {2000, 1406, true, "top of the square marker"},
      {2000, 1000, false, "inside the marker"},
      {2406, 1000, true, "right of the square marker"},
      {2800 + 600.0f / 105 * 5, 900, true, "stem of the H"},
      {3000, 1500, false, "above the H"},
      {200, 1800, false, "empty corner"},
  };
  for (const Sample& s : samples) EXPECT_EQ(inked(s.x, s.y), s.inked) << s.what;
}

} // namespace
