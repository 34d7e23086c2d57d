/*
 * Weather symbols and cover circles: the prefix rule and its order, the
 * alignment of the unit square, the symbol file shipped for every weather
 * code the surface tools make, hostile symbol files, and a chart of every
 * symbol and cover through ghostscript.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "kezraw.h"
#include "kezsfc.h"
#include "ps_render.h"
#include "station_draw.h"

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;
using station_draw::near;
using station_draw::Prim;
using station_draw::show;

struct Drawn {
  std::vector<Prim> prims;
  kez_test::ChildResult run;
};

/* Runs draw in a fresh process whose "file_path" is dir. */
Drawn drawn(const TempDir& dir, const std::function<int()>& draw) {
  const std::string file = dir.file("s.meta");
  Drawn d;
  d.run = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    if (station_draw::open_meta(file, Glim{0, 20, 0, 20}) != 0) return 200;
    const int res = draw();
    station_draw::close_meta();
    return res;
  });
  d.prims = station_draw::read_meta(file);
  return d;
}

/* A symbol whose one group is a line from (0, 0) to (k/10, 0): its number
 * reads back from the line's end. */
std::string symbol(const std::string& name, int k) { return name + "\n0,0 " + std::to_string(k / 10.0) + ",0 L\n$\n"; }

int which(const std::vector<Prim>& prims) {
  if (prims.size() != 1 || prims[0].pts.size() != 2) return -1;
  return static_cast<int>(prims[0].pts[1].x * 10 + 0.5f) - 100;
}

TEST(WeatherSymbol, FirstNameInFileOrderThatBeginsTheCode) {
  TempDir dir;
  write_file(dir.file("long.smb"), symbol("TRWD", 1) + symbol("TR", 2));
  write_file(dir.file("short.smb"), symbol("TR", 2) + symbol("TRWD", 1));
  struct Case {
    const char* file;
    const char* code;
    int want; /* symbol number, 0 none */
    const char* why;
  } cases[] = {
      {"long.smb", "TRWD", 1, "the longer name first matches itself"},
      {"long.smb", "TR", 2, "the prefix matches the short code"},
      {"long.smb", "TRW+", 2, "and codes that begin with it"},
      {"long.smb", "trwd", 1, "case is ignored"},
      {"short.smb", "TRWD", 2, "a prefix listed first wins"},
      {"long.smb", "T", 0, "a code shorter than every name"},
      {"long.smb", "", 0, "empty code"},
      {"long.smb", " TR", 0, "a code beginning with a blank"},
      {"long.smb", "RW", 0, "no name matches"},
  };
  for (const Case& c : cases) {
    auto d = drawn(dir, [&] {
      WX_symb_file(c.file);
      GPH_text_align(GLEFT_HOR, GBASE_VERT);
      return WX_symb(10, 0, c.code, 1) + 10;
    });
    EXPECT_EQ(d.run.status, c.want ? 11 : 10) << c.why << d.run.err;
    if (c.want)
      EXPECT_EQ(which(d.prims), c.want) << c.why << "\n" << show(d.prims);
    else
      EXPECT_TRUE(d.prims.empty()) << c.why;
  }
}

TEST(WeatherSymbol, AlignmentShiftsTheUnitSquare) {
  TempDir dir;
  write_file(dir.file("wx.smb"), "BOX\n0,0 1,0 1,1 0,1 0,0 L\n0.2,0.2 0.8,0.2 0.5,0.8 Fill\n$\n");
  struct Case {
    int hor, vert;
    Gpt corner;
  } cases[] = {{GCENTER_HOR, GBASE_VERT, {9.5f, 10}},
               {GLEFT_HOR, GBOTTOM_VERT, {10, 10}},
               {GRIGHT_HOR, GTOP_VERT, {9, 9}},
               {GNORMAL_HOR, GHALF_VERT, {10, 9.5f}},
               {GCENTER_HOR, GCAP_VERT, {9.5f, 9}}};
  for (const Case& c : cases) {
    auto d = drawn(dir, [&] {
      GPH_text_align(c.hor, c.vert);
      return WX_symb(10, 10, "BOX", 1);
    });
    ASSERT_EQ(d.run.status, 1) << d.run.err;
    ASSERT_EQ(d.prims.size(), 2u) << show(d.prims);
    EXPECT_EQ(d.prims[0].kind, "PL");
    EXPECT_TRUE(near(d.prims[0].pts[0], c.corner)) << c.hor << c.vert << "\n" << show(d.prims);
    EXPECT_EQ(d.prims[1].kind, "FA") << "a token beginning with F fills";
  }
}

TEST(WeatherSymbol, FileSelection) {
  TempDir dir;
  write_file(dir.file("a.smb"), symbol("AB", 1));
  auto d = drawn(dir, [&] {
    int bad = 0;
    if (WX_symb_file("a.smb") != 0) bad |= 1;
    if (WX_symb(10, 0, "AB", 1) != 1) bad |= 2;
    if (WX_symb_file("A.SMB") != -1) bad |= 4; /* already open: nothing read again */
    if (WX_symb(10, 0, "AB", 1) != 1) bad |= 8;
    if (WX_symb_file("none.smb") != -1) bad |= 16;
    /* no file open now, and no default file in the folder */
    if (WX_symb(10, 0, "AB", 1) != 0) bad |= 32;
    return bad;
  });
  EXPECT_EQ(d.run.status, 0) << d.run.err;
  EXPECT_NE(d.run.err.find("WX_symb_file: Unable to open file: " + dir.file("none.smb")), std::string::npos)
      << d.run.err;
  EXPECT_NE(d.run.err.find("WX_symb_file: Unable to open file: " + dir.file("wx.smb")), std::string::npos)
      << "the default is tried";
  EXPECT_EQ(d.prims.size(), 2u);
}

TEST(WeatherSymbol, HostileFilesAreReadWithinBounds) {
  TempDir dir;
  std::string many;
  for (int i = 0; i < 200; ++i) many += symbol("S" + std::to_string(i) + "X", 1);
  std::string fifty = "LONG\n";
  for (int i = 0; i < 50; ++i) fifty += std::to_string(i / 50.0) + ",0.5 ";
  fifty += "L\n0,0 0.5,0 L\n$\n";
  write_file(dir.file("many.smb"), many);
  write_file(dir.file("names.smb"), std::string(5000, 'N') + "\n0,0 1,0 L\n$\n" + symbol("OK", 3));
  write_file(dir.file("fifty.smb"), fifty);
  write_file(dir.file("nodollar.smb"), "AA\n0,0 1,1 L\n0,1 1,0 L");
  write_file(dir.file("junk.smb"), "AA 1e39,0 L 0,nan L $ BB ,,, F $ CC 0,0 1,1");
  struct Case {
    const char* file;
    const char* code;
    int result;
    size_t prims;
    const char* message; /* expected in the warnings, or "" */
  } cases[] = {
      {"many.smb", "S99X", 1, 1, "only the first 100 symbols"},
      {"many.smb", "S100X", 0, 0, "only the first 100 symbols"},
      {"names.smb", "NNNNNNNNNNNNNN", 0, 0, "names longer than 14 characters"},
      {"names.smb", "OK", 1, 1, ""},
      {"fifty.smb", "LONG", 1, 1, "a group of 50 points in symbol LONG is not drawn"},
      {"nodollar.smb", "AA", 1, 2, "" /* both groups, then the end */},
      {"junk.smb", "AA", 1, 0, ""},
      {"junk.smb", "CC", 1, 0, "" /* a group without its token */},
  };
  for (const Case& c : cases) {
    auto d = drawn(dir, [&] {
      WX_symb_file(c.file);
      return WX_symb(10, 10, c.code, 1);
    });
    EXPECT_EQ(d.run.status, c.result) << c.file << " " << c.code << d.run.err;
    EXPECT_EQ(d.prims.size(), c.prims) << c.file << " " << c.code << "\n" << show(d.prims);
    if (*c.message) {
      EXPECT_NE(d.run.err.find(c.message), std::string::npos) << c.file << ": " << d.run.err;
    }
  }
}

/* Every weather code the surface tools make: from manned and automatic
 * present-weather numbers and from METAR groups. */
std::set<std::string> weather_codes() {
  std::set<std::string> codes;
  char code[16];
  for (int ww = 0; ww < 100; ++ww) {
    WX_wmo_weather(ww, code);
    codes.insert(code);
    WX_wmo_auto_weather(code, ww);
    codes.insert(code);
  }
  const char* intensity[] = {"", "-", "+", "VC"};
  const char* descriptor[] = {"", "MI", "BC", "DR", "BL", "TS", "SH", "FZ"};
  const char* precipitation[] = {"", "DZ", "RA", "SN", "SG", "GS", "PE", "PL", "IC", "RASN", "SNRA"};
  const char* obscuration[] = {"", "FG", "BR", "HZ", "SA", "DU", "FU"};
  for (const char* i : intensity)
    for (const char* d : descriptor)
      for (const char* p : precipitation)
        for (const char* o : obscuration) {
          WX_metar_weather((std::string("!") + i + d + p + o).c_str(), code);
          codes.insert(code);
        }
  return codes;
}

bool has_letter(const std::string& s) {
  for (char c : s)
    if (std::isalpha(static_cast<unsigned char>(c))) return true;
  return false;
}

TEST(WeatherSymbol, ShippedFileHasASymbolForEveryCode) {
  const std::set<std::string> codes = weather_codes();
  ASSERT_GT(codes.size(), 60u);
  /* The names of the shipped file, read as a plain word list. */
  std::vector<std::string> names;
  {
    std::istringstream in(kez_test::read_file(KEZ_DATA_DIR "/wx.smb"));
    std::string w;
    bool at_name = true;
    while (in >> w) {
      if (at_name) names.push_back(w);
      at_name = w == "$";
    }
  }
  ASSERT_LE(names.size(), static_cast<size_t>(WX_SYMB_MAX));
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    int bad = 0;
    for (const std::string& code : codes) {
      if (!has_letter(code)) continue;
      /* The most specific name: the longest that begins the code. */
      std::string best;
      for (const std::string& n : names)
        if (n.size() <= code.size() && strnicmp(n.c_str(), code.c_str(), static_cast<int>(n.size())) == 0 &&
            n.size() > best.size())
          best = n;
      const char* got = WX_symb_match(code.c_str());
      if (!got || best.empty() || best != got) {
        std::printf("code '%s' finds '%s', its own symbol is '%s'\n", code.c_str(), got ? got : "(none)", best.c_str());
        ++bad;
      }
    }
    return bad;
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(CoverCircle, EachCoverDrawsItsShape) {
  struct Case {
    char cover;
    int fills;
    int lines; /* polylines besides the outline */
    const char* why;
  } cases[] = {
      {'0', 0, 0, "clear: the empty circle"},
      {'C', 0, 0, "clear"},
      {'x', 0, 0, "thin obscured"},
      {'1', 0, 1, "one okta: a vertical diameter"},
      {'F', 0, 1, "few"},
      {'2', 1, 0, "a quarter"},
      {'3', 1, 1, "a quarter and a line"},
      {'4', 1, 0, "half"},
      {'5', 1, 1, "half and a line"},
      {'6', 1, 0, "three quarters"},
      {'B', 1, 0, "broken"},
      {'7', 2, 0, "filled but a vertical gap"},
      {'8', 1, 0, "overcast: all filled"},
      {'O', 1, 0, "overcast"},
      {'9', 0, 2, "obscured: two diagonals"},
      {'X', 0, 2, "obscured"},
      {'/', 0, 1, "missing: the M"},
      {'M', 0, 1, "missing"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    auto d = drawn(dir, [&] { return WX_cloud(10, 10, 1, c.cover); });
    ASSERT_EQ(d.run.status, 0);
    int fills = 0, lines = 0, outlines = 0;
    for (const Prim& p : d.prims) {
      if (p.kind == "FA") ++fills;
      if (p.kind == "PL" && p.pts.size() == 13)
        ++outlines;
      else if (p.kind == "PL")
        ++lines;
    }
    EXPECT_EQ(outlines, 1) << c.why << "\n" << show(d.prims);
    EXPECT_EQ(fills, c.fills) << c.why << "\n" << show(d.prims);
    EXPECT_EQ(lines, c.lines) << c.why << "\n" << show(d.prims);
    for (const Prim& p : d.prims)
      for (const Gpt& q : p.pts)
        EXPECT_LE(std::hypot(q.x - 10, q.y - 10), 1.0001f) << c.why << ": everything within the circle";
  }
  /* Seven oktas leave the band |x| < 0.2588 r unfilled. */
  auto d = drawn(dir, [&] { return WX_cloud(10, 10, 1, '7'); });
  for (const Prim& p : d.prims)
    if (p.kind == "FA") {
      for (const Gpt& q : p.pts) EXPECT_GE(std::fabs(q.x - 10), 0.2588f - 1e-3f);
    }
}

/* A chart of every symbol of the shipped file and every cover, for the
 * eye (KEZ_KEEP_PLOTS=folder keeps it) and for ghostscript. */
TEST(WeatherSymbol, ChartRendersThroughGhostscript) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed";
  TempDir dir;
  const std::string file = dir.file("wx_chart.ps");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    gopen_gks(nullptr, 0);
    if (gopen_ws(1, (file + ",color").c_str(), GWS_PS) != 0) return 100;
    station_draw::load_colours();
    const Glim win{0, 10, 0, 12}, vp{0.05f, 0.75f, 0.05f, 0.89f};
    gset_win(2, &win);
    gset_vp(2, &vp);
    gsel_norm_tran(2);
    Gattribs a;
    ATTRIB_init(&a);
    a.color = CLR_get_ind("black");
    GPH_line_attr(&a);
    GPH_fill_attr(&a);
    GPH_text_attr(&a, 0.18f);
    std::istringstream in(kez_test::read_file(KEZ_DATA_DIR "/wx.smb"));
    std::string w;
    bool at_name = true;
    int k = 0, drawn_ok = 0;
    while (in >> w) {
      if (at_name) {
        const float x = static_cast<float>(k % 8) * 1.25f + 0.1f, y = 11.2f - static_cast<float>(k / 8) * 1.2f;
        GPH_text_align(GLEFT_HOR, GBOTTOM_VERT);
        drawn_ok += WX_symb(x, y, w.c_str(), 0.7f);
        GPH_text_align(GLEFT_HOR, GTOP_VERT);
        GPH_printf(x, y - 0.05f, "%s", w.c_str());
        ++k;
      }
      at_name = w == "$";
    }
    const char covers[] = "0123456789CFSBOX/";
    for (int i = 0; covers[i]; ++i) WX_cloud(0.4f + static_cast<float>(i) * 0.58f, 0.35f, 0.25f, covers[i]);
    gclose_ws(1);
    gclose_gks();
    return drawn_ok == k ? 0 : 1;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  kez_test::Raster page;
  auto run = kez_test::gs_render(file, 612, 792, &page);
  EXPECT_TRUE(run.clean()) << run.log;
  long dark = 0;
  for (size_t k = 0; k + 2 < page.rgb.size(); k += 3)
    if (page.rgb[k] < 100 && page.rgb[k + 1] < 100 && page.rgb[k + 2] < 100) ++dark;
  EXPECT_GT(dark, 3000);
  if (const char* keep = std::getenv("KEZ_KEEP_PLOTS")) kez_test::run_command("cp " + file + " " + keep + "/");
}

} // namespace
