#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gks_output.h"
#include "gks_window.h"

namespace {

using gks_test::ab_font;
using gks_test::body_of;
using gks_test::Checks;
using gks_test::count;
using gks_test::font_text;
using gks_test::ink;
using gks_test::lim;
using gks_test::open_ps;
using gks_test::point_world;
using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

/* A folder with the font list "fix fix.fnt" and that font. */
struct FontDir {
  TempDir dir;
  explicit FontDir(const std::string& font = ab_font(), const std::string& list = "fix fix.fnt\n") {
    write_file(dir.file("fix.fnt"), font);
    write_file(dir.file("kez.fnl"), list);
  }
  std::string file(const std::string& name) const { return dir.file(name); }
};

/* Runs body on an upright EPS page in the point world with the folder as
 * "file_path"; returns the drawing part of the file. */
std::string drawn(const FontDir& fonts, const std::function<void()>& body, std::string* err = nullptr) {
  auto r = run_child([&] {
    RES_put("file_path", fonts.dir.path().c_str());
    if (open_ps(fonts.file("a.ps") + ",eps,port") != 0) return 1;
    point_world();
    gps_printf("%%mark\n");
    body();
    gclose_ws(1);
    return 0;
  });
  if (err) *err = r.err;
  if (r.status != 0) return "failed: " + r.err;
  const std::string body_text = body_of(read_file(fonts.file("a.ps")));
  const size_t at = body_text.find("%mark\n");
  return at == std::string::npos ? "no mark" : body_text.substr(at + 6);
}

/* Text of the capital height of the font (105 units) makes font units
 * world units, so the drawing shows the font arithmetic directly. */
void draw_ab(const char* s, Gtext_hor hor = GNORMAL_HOR, Gtext_ver vert = GNORMAL_VERT) {
  gset_char_ht(105);
  Gtext_align align{hor, vert};
  gset_text_align(&align);
  Gpt at{200, 300};
  gtext(&at, s);
}

TEST(StrokeText, LengthsAlignmentsAndSpacing) {
  struct Case {
    const char* why;
    std::function<void()> draw;
    std::string expected; /* a part of the drawing */
  };
  const Case cases[] = {
      {"left at the anchor, baseline on it", [] { draw_ab("AB"); },
       "np\n200.00 300.00 mv\n260.00 405.00 ln\nstroke\nnp\n285.00 300.00 mv\n355.00 405.00 ln\nstroke\n"},
      {"\"AB\" is 60 + 25 + 70 = 155 long: centred it starts 77 left", [] { draw_ab("AB", GCENTER_HOR); },
       "np\n123.00 300.00 mv\n"},
      {"right aligned it ends at the anchor", [] { draw_ab("AB", GRIGHT_HOR); }, "np\n45.00 300.00 mv\n"},
      {"left is the normal alignment", [] { draw_ab("AB", GLEFT_HOR); }, "np\n200.00 300.00 mv\n"},
      {"top", [] { draw_ab("A", GNORMAL_HOR, GTOP_VERT); }, "np\n200.00 175.00 mv\n"},
      {"cap", [] { draw_ab("A", GNORMAL_HOR, GCAP_VERT); }, "np\n200.00 195.00 mv\n"},
      {"half", [] { draw_ab("A", GNORMAL_HOR, GHALF_VERT); }, "np\n200.00 250.00 mv\n"},
      {"base", [] { draw_ab("A", GNORMAL_HOR, GBASE_VERT); }, "np\n200.00 300.00 mv\n"},
      {"bottom", [] { draw_ab("A", GNORMAL_HOR, GBOTTOM_VERT); }, "np\n200.00 335.00 mv\n"},
      {"a space advances 25 + 40", [] { draw_ab("A B"); }, "np\n350.00 300.00 mv\n"},
      {"the space counts 25 + 40 in the length: 220", [] { draw_ab("A B", GRIGHT_HOR); }, "np\n-20.00 300.00 mv\n"},
      {"a character without a glyph draws nothing and does not advance", [] { draw_ab("A~B"); },
       "stroke\nnp\n285.00 300.00 mv\n"},
      {"fixed pitch: every character takes 125",
       [] {
         gset_char_space(1);
         draw_ab("AB");
       },
       "np\n325.00 300.00 mv\n"},
      {"fixed pitch length 125 + 100",
       [] {
         gset_char_space(1);
         draw_ab("AB", GRIGHT_HOR);
       },
       "np\n-25.00 300.00 mv\n"},
      {"expansion widens glyphs and advances",
       [] {
         gset_expan(2);
         draw_ab("AB");
       },
       "np\n200.00 300.00 mv\n320.00 405.00 ln\nstroke\nnp\n370.00 300.00 mv\n"},
      {"up vector (-1, 0) turns the text a quarter counter-clockwise",
       [] {
         Gpt up{-1, 0};
         gset_char_up_vec(&up);
         draw_ab("AB");
       },
       "np\n200.00 300.00 mv\n95.00 360.00 ln\nstroke\nnp\n200.00 385.00 mv\n"},
      {"up vector (0, 2) is stored at unit length",
       [] {
         Gpt up{0, 2};
         gset_char_up_vec(&up);
         draw_ab("A");
       },
       "np\n200.00 300.00 mv\n260.00 405.00 ln\n"},
      {"the height scales the font units",
       [] {
         gset_char_ht(210);
         Gpt at{200, 300};
         gtext(&at, "A");
       },
       "np\n200.00 300.00 mv\n320.00 510.00 ln\n"},
  };
  FontDir fonts;
  for (const Case& c : cases) {
    const std::string body = drawn(fonts, c.draw);
    EXPECT_NE(body.find(c.expected), std::string::npos) << c.why << "\n" << body;
  }
}

TEST(StrokeText, CommentColourWidthAndDashComeFirst) {
  FontDir fonts;
  const std::string body = drawn(fonts, [] {
    gset_linetype(3);
    Gpt line[2] = {{0, 0}, {10, 10}};
    gpolyline(2, line);
    gset_text_width(3);
    draw_ab("A\nB");
  });
  EXPECT_NE(body.find("%%TE:200.000000 300.000000 A B\n3.0 dot lw\n[] 0 setdash\nnp\n"), std::string::npos)
      << "a line end in the text stays out of the comment\n"
      << body;
}

/* The position comment is formed without printf, from the float's bits:
 * it must be printf's "%.6f" for every float, ties, signs of zero,
 * subnormal and very large values included. */
TEST(StrokeText, PositionCommentIsPrintfsForAnyFloat) {
  std::vector<float> values = {0.0f,   -0.0f,   0.5f,        -2.5f,   1e-7f,     5e-7f,      -4.9999997e-7f,
                               1e-45f, -1e-40f, 1e-38f,      123.25f, 99999.99f, 1e8f,       3e10f,
                               -5e11f, 1e30f,   16777216.0f, 0.3f,    -0.0625f,  1.0000005f, 2.5e-6f};
  std::uint32_t x = 2463534242u;
  for (int i = 0; i < 3000; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    /* exponents from 2^-40 to 2^50, any mantissa and sign */
    const std::uint32_t exponent = 127 - 40 + x % 91;
    values.push_back(std::bit_cast<float>((x & 0x807FFFFFu) | (exponent << 23)));
  }
  FontDir fonts;
  const std::string body = drawn(fonts, [&] {
    gset_char_ht(105);
    for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
      Gpt at{values[i], values[i + 1]};
      gtext(&at, "A");
    }
  });
  std::size_t at = 0;
  for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
    char want[200];
    std::snprintf(want, sizeof want, "%%%%TE:%.6f %.6f A\n", static_cast<double>(values[i]),
                  static_cast<double>(values[i + 1]));
    const std::size_t found = body.find("%%TE:", at);
    ASSERT_NE(found, std::string::npos) << want;
    const std::size_t end = body.find('\n', found);
    ASSERT_EQ(body.substr(found, end + 1 - found), want);
    at = end;
  }
}

TEST(StrokeText, LongStrokeIsWrittenAsTwoPaths) {
  /* One pen-up pair and 34 pen-down pairs. */
  std::vector<int> glyph = {128, 35};
  for (int i = 1; i <= 34; ++i) glyph.insert(glyph.end(), {i, 35});
  FontDir fonts(font_text({{'L', glyph}}));
  const std::string body = drawn(fonts, [] { draw_ab("L"); });
  std::string want = "np\n200.00 300.00 mv\n";
  for (int i = 1; i <= 29; ++i) want += std::to_string(200 + i) + ".00 300.00 ln\n";
  want += "stroke\nnp\n229.00 300.00 mv\n";
  for (int i = 30; i <= 34; ++i) want += std::to_string(200 + i) + ".00 300.00 ln\n";
  want += "stroke\n";
  EXPECT_NE(body.find(want), std::string::npos) << body;
  EXPECT_EQ(count(body, "stroke"), 2);
}

/* What a device's text operations were handed, in order: b glyph begin,
 * u pen up, d pen down, s split, e glyph end. */
struct TextCall {
  char kind;
  Gpt at;
  std::vector<Gpt> finished;
};

std::vector<TextCall> text_calls;

void record(char kind, Gpt at, const Gpt* pts, int n) {
  text_calls.push_back(TextCall{kind, at, std::vector<Gpt>(pts, pts + n)});
}

/* The glyph walk over a glyph's bytes as the renderer first did it, one
 * point at a time into a pending array, for a one-glyph string placed h
 * font units along the baseline. */
std::vector<TextCall> walk_glyph(const std::vector<int>& bytes, float height, float expan, int h, int v, Gpt up, Gpt o,
                                 bool each_point) {
  constexpr int MAX_PENDING = 30;
  const double length = std::sqrt(static_cast<double>(up.x) * up.x + static_cast<double>(up.y) * up.y);
  const auto upx = static_cast<float>(up.x / length), upy = static_cast<float>(up.y / length);
  const float s = height / 105.0f, hf = static_cast<float>(h);
  std::vector<TextCall> calls;
  std::array<Gpt, MAX_PENDING> pending{};
  int count = 0;
  auto finished = [&] { return std::vector<Gpt>(pending.begin(), pending.begin() + (count > 1 ? count : 0)); };
  calls.push_back(TextCall{'b', {}, {}});
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const bool pen_up = bytes[i] >= 128;
    const float bx = static_cast<float>(pen_up ? bytes[i] - 128 : bytes[i]);
    const float u = s * (bx * expan + hf);
    const float wv = s * static_cast<float>(bytes[i + 1] + v);
    const Gpt at{o.x + upy * u + upx * wv, o.y - upx * u + upy * wv};
    if (pen_up || count == 0) {
      calls.push_back(TextCall{'u', at, finished()});
      pending[0] = at;
      count = 1;
      continue;
    }
    if (each_point) calls.push_back(TextCall{'d', at, {}});
    pending[static_cast<size_t>(count++)] = at;
    if (count == MAX_PENDING) {
      calls.push_back(TextCall{'s', at, finished()});
      pending[0] = at;
      count = 1;
    }
  }
  calls.push_back(TextCall{'e', {}, finished()});
  return calls;
}

bool same_point(const Gpt& a, const Gpt& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string differs(const std::vector<TextCall>& got, const std::vector<TextCall>& want) {
  if (got.size() != want.size()) return std::to_string(got.size()) + " calls for " + std::to_string(want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    const TextCall &g = got[i], &w = want[i];
    bool same = g.kind == w.kind && g.finished.size() == w.finished.size();
    if (same && (g.kind == 'u' || g.kind == 'd' || g.kind == 's')) same = same_point(g.at, w.at);
    for (size_t k = 0; same && k < g.finished.size(); ++k) same = same_point(g.finished[k], w.finished[k]);
    if (!same) return "call " + std::to_string(i) + " (" + g.kind + " for " + w.kind + ")";
  }
  return "";
}

/* The strokes handed to the devices are the walk's, point for point and
 * bit for bit, through both ways of handing them (finished strokes, and
 * every point as well for a device that takes them), over glyphs with
 * pen-up runs, a pen-down start, strokes at and past the pending limit,
 * no points, and a long random glyph, at many sizes, expansions, offsets
 * along the baseline (a leading space of several widths), turns and
 * vertical alignments. */
TEST(StrokeText, GlyphStrokesAreTheWalkOverTheFontBytes) {
  std::map<int, std::vector<int>> glyphs;
  glyphs['A'] = {128, 35, 30, 140, 60, 35, 143, 80, 47, 80};
  glyphs['B'] = {10, 35, 10, 140, 50, 140, 178, 60, 178, 70};
  for (int i = 0; i < 75; ++i) glyphs['C'].insert(glyphs['C'].end(), {i == 0 ? 128 : i, 35 + i});
  glyphs['D'] = {140, 90};
  for (int i = 0; i < 30; ++i) glyphs['E'].insert(glyphs['E'].end(), {i == 0 ? 128 : i, 100});
  for (int i = 0; i < 31; ++i) glyphs['E'].insert(glyphs['E'].end(), {i == 0 ? 200 : 70 - i, 120});
  glyphs['F'] = {};
  unsigned seed = 7;
  auto next = [&seed](unsigned range) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % range);
  };
  for (int i = 0; i < 200; ++i)
    glyphs['G'].insert(glyphs['G'].end(), {next(9) == 0 ? 128 + next(100) : next(100), next(250)});
  FontDir fonts(font_text(glyphs));
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", fonts.dir.path().c_str());
    if (open_ps(fonts.file("a.ps")) != 0) return 1;
    point_world();
    for (bool each_point : {false, true}) {
      Gdevice device = gps_device;
      device.text = Gtext_ops{nullptr,
                              [] { record('b', {}, nullptr, 0); },
                              [](Gpt at, const Gpt* pts, int n) { record('u', at, pts, n); },
                              nullptr,
                              [](Gpt at, const Gpt* pts, int n) { record('s', at, pts, n); },
                              [](const Gpt* pts, int n) { record('e', {}, pts, n); },
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr};
      if (each_point) device.text.pen_down = [](Gpt at) { record('d', at, nullptr, 0); };
      gset_device(&device);
      struct Vertical {
        Gtext_ver align;
        int v;
      };
      for (float height : {105.0f, 7.3f, 0.01f, 1e4f})
        for (float expan : {1.0f, 0.77f, 2.5f})
          for (float space : {0.25f, -0.6f, 1.3f})
            for (Gpt up : {Gpt{0, 1}, Gpt{-1, 0}, Gpt{0.3f, 0.7f}, Gpt{-1, 1}})
              for (Gpt o : {Gpt{200, 300}, Gpt{-1e3f, 0.1f}})
                for (Vertical vert :
                     {Vertical{GNORMAL_VERT, -35}, Vertical{GTOP_VERT, -160}, Vertical{GBOTTOM_VERT, 0}}) {
                  gset_char_ht(height);
                  gset_expan(expan);
                  gset_space(space);
                  gset_char_up_vec(&up);
                  const Gtext_align align{GNORMAL_HOR, vert.align};
                  gset_text_align(&align);
                  /* The space moves the glyph as the renderer's units() does. */
                  const int h =
                      static_cast<int>(static_cast<double>(expan) * (100.0 * static_cast<double>(space) + 40));
                  for (const auto& [code, bytes] : glyphs) {
                    const char str[3] = {' ', static_cast<char>(code), 0};
                    text_calls.clear();
                    gtext(&o, str);
                    const std::string why =
                        differs(text_calls, walk_glyph(bytes, height, expan, h, vert.v, up, o, each_point));
                    check(why.empty(), std::string("glyph ") + static_cast<char>(code) + " height " +
                                           std::to_string(height) + " expansion " + std::to_string(expan) +
                                           (each_point ? " point by point" : "") + ": " + why);
                  }
                }
    }
    gset_device(&gps_device);
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out.substr(0, 3000) << r.err;
}

/* A primitive's page text goes to the stream when the primitive is done:
 * a program that flushes its streams and leaves without its exit handlers
 * (as a forked child does) still has every finished primitive in the
 * file, strokes and strings of blanks alike. */
/* PostScript takes a glyph's strokes all at once; its page is the page of
 * the same text handed over stroke by stroke, byte for byte and with the
 * same EPS box, over pen-up runs, a pen-down start, a stroke of one point,
 * strokes at, past and twice past the pending limit, a glyph without
 * points and a long random glyph, in several sizes and turns, with drop
 * shadows. */
/* Glyphs of every kind of stroke the renderer hands over. */
std::map<int, std::vector<int>> stroke_kinds() {
  std::map<int, std::vector<int>> glyphs;
  glyphs['A'] = {128, 35, 30, 140, 60, 35, 143, 80, 47, 80};
  glyphs['B'] = {10, 35, 10, 140, 50, 140, 178, 60, 178, 70};
  for (int i = 0; i < 75; ++i) glyphs['C'].insert(glyphs['C'].end(), {i == 0 ? 128 : i, 35 + i});
  glyphs['D'] = {140, 90};
  glyphs['d'] = {140, 90, 150, 95, 160, 80, 20, 30};
  for (int i = 0; i < 30; ++i) glyphs['E'].insert(glyphs['E'].end(), {i == 0 ? 128 : i, 100});
  for (int i = 0; i < 31; ++i) glyphs['E'].insert(glyphs['E'].end(), {i == 0 ? 200 : 70 - i, 120});
  for (int i = 0; i < 59; ++i) glyphs['e'].insert(glyphs['e'].end(), {i == 0 ? 128 : i, 100 + i % 3});
  glyphs['F'] = {};
  unsigned seed = 11;
  auto next = [&seed](unsigned range) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % range);
  };
  for (int i = 0; i < 200; ++i)
    glyphs['G'].insert(glyphs['G'].end(), {next(9) == 0 ? 128 + next(100) : next(100), next(250)});
  return glyphs;
}

TEST(StrokeText, WholeGlyphsWriteWhatStrokeByStrokeWrites) {
  FontDir fonts(font_text(stroke_kinds()));
  auto page = [&](const std::string& name, bool whole) {
    auto r = run_child([&] {
      RES_put("file_path", fonts.dir.path().c_str());
      if (open_ps(fonts.file(name) + ",eps,port") != 0) return 1;
      Gdevice device = gps_device;
      if (!whole) device.text.strokes = nullptr;
      gset_device(&device);
      point_world();
      Gpt at{200, 300};
      for (float height : {105.0f, 7.3f, 33.0f})
        for (Gpt up : {Gpt{0, 1}, Gpt{-1, 0.4f}}) {
          gset_char_ht(height);
          gset_char_up_vec(&up);
          gtext(&at, "ABCDdEeFG A");
          at.y -= 40;
          gtext(&at, "DD");
        }
      gset_font_drop(2);
      gtext(&at, "eDAd");
      gclose_ws(1);
      return 0;
    });
    if (r.status != 0) return "failed: " + r.err;
    const std::string ps = read_file(fonts.file(name));
    const std::size_t box = ps.find("%%BoundingBox:");
    return ps.substr(box, ps.find('\n', box) - box) + "\n" + body_of(ps);
  };
  const std::string whole = page("whole.eps", true), by_stroke = page("strokes.eps", false);
  EXPECT_EQ(whole, by_stroke);
  EXPECT_EQ(whole.find("failed"), std::string::npos) << whole;
  EXPECT_GT(count(whole, "stroke\n"), 100) << whole;
}

TEST(StrokeText, FinishedTextIsInTheStreamWhenTheCallReturns) {
  FontDir fonts;
  auto r = run_child([&] {
    RES_put("file_path", fonts.dir.path().c_str());
    if (open_ps(fonts.file("a.ps")) != 0) return 1;
    point_world();
    const Gpt line[2] = {{10, 10}, {100, 10}};
    gpolyline(2, line);
    draw_ab("AB");
    const Gpt at{50, 50};
    gtext(&at, "   ");
    gset_font_drop(2);
    gtext(&at, "BA");
    std::fflush(nullptr);
    _exit(0);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string ps = read_file(fonts.file("a.ps"));
  EXPECT_EQ(count(ps, "%%PL:2\n"), 1) << ps;
  EXPECT_EQ(count(ps, "%%TE:"), 5) << ps;
  EXPECT_NE(ps.find("%%TE:50.000000 50.000000    \n"), std::string::npos) << ps;
  EXPECT_EQ(count(ps, "]S\n"), 1 + 2 + 3 * 2) << "the line, AB, and BA with its two shadows";
}

TEST(StrokeText, DropShadowsLieOneDeviceUnitApart) {
  FontDir fonts;
  const std::string body = drawn(fonts, [] {
    gset_font_drop(3);
    draw_ab("A");
    gps_printf("%%far\n");
    /* Far to the right, where the pixel conversion is held at its limit,
     * the x step is zero: the copies keep the text's x instead of going to
     * infinity. */
    Gpt far{1e6f, 300};
    gtext(&far, "A");
    gset_font_drop(0);
  });
  /* The anchors of the copies and the text, in order. */
  std::vector<std::array<float, 2>> anchors;
  for (size_t at = body.find("%%TE:"); at != std::string::npos; at = body.find("%%TE:", at + 1)) {
    float x = 0, y = 0;
    if (std::sscanf(body.c_str() + at, "%%%%TE:%f %f", &x, &y) == 2) anchors.push_back({x, y});
  }
  const std::array<float, 2> want[] = {{200, 300},  {201, 299},  {202, 298},  {200, 300},
                                       {1e6f, 300}, {1e6f, 299}, {1e6f, 298}, {1e6f, 300}};
  ASSERT_EQ(anchors.size(), 8u) << "three shadows and the text, twice\n" << body;
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_NEAR(anchors[i][0], want[i][0], 1e-3) << i;
    EXPECT_NEAR(anchors[i][1], want[i][1], 1e-3) << i;
  }
  EXPECT_EQ(body.find("inf"), std::string::npos);
  EXPECT_EQ(body.find("nan"), std::string::npos);
}

TEST(StrokeText, EmptyTextClosedKernelAndBadSetterValues) {
  FontDir fonts;
  std::string err;
  const std::string body = drawn(
      fonts,
      [] {
        Checks check;
        Gpt at{1, 1};
        check(gtext(&at, "") == 0, "empty text");
        check(gset_char_ht(-1) == -1 && gset_expan(-2) == -1 && gset_text_width(-3) == -1, "negatives");
        check(gset_char_ht(std::nanf("")) == -1, "no height");
        Gpt none{0, 0};
        check(gset_char_up_vec(&none) == -1, "an up vector without direction");
        check(gset_text_width(0) == 0, "width 0 on PostScript becomes 1");
        Gtext_align align{};
        Gint err_ind = 7;
        ginq_text_align(&err_ind, &align);
        check(err_ind == 0 && align.hor == GNORMAL_HOR && align.vert == GNORMAL_VERT, "alignment after reset");
        check(gset_text_path(GUP_PATH) == 0, "text path accepted");
        if (check.failed) gps_printf("%%checks failed\n");
      },
      &err);
  EXPECT_EQ(body.find("%%TE"), std::string::npos) << body;
  EXPECT_EQ(body.find("checks failed"), std::string::npos) << body;
  EXPECT_EQ(body.find("lw"), std::string::npos) << "width 0 became the width in force";
  for (const char* m :
       {"gset_char_ht: invalid character height: -1.000000\n", "gset_expan: invalid expansion factor: -2.000000\n",
        "gset_text_width: invalid text width: -3.000000\n", "gset_char_up_vec: invalid up vector"})
    EXPECT_NE(err.find(m), std::string::npos) << m << "\n" << err;

  auto r = run_child([] {
    gopen_gks(nullptr, 0);
    Gpt at{1, 1};
    return gtext(&at, "A") == -1 && gset_text_colr_ind(2) == -1 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("gtext: GKS not opened\n"), std::string::npos) << r.err;
}

TEST(FontList, ListsFromFilesNamesAndTheirLimits) {
  TempDir dir;
  write_file(dir.file("a.fnt"), ab_font());
  std::string twelve, forty_five;
  for (int i = 1; i <= 12; ++i) twelve += "f" + std::to_string(i) + " a.fnt\n";
  for (int i = 1; i <= 45; ++i) forty_five += "f" + std::to_string(i) + "   a.fnt  \n";
  write_file(dir.file("twelve.lst"), twelve);
  write_file(dir.file("kez.fnl"), forty_five);
  write_file(dir.file("long.lst"), "toolongabbr a.fnt\nok " + std::string(100, 'n') + "\ngood a.fnt\n");
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", dir.path().c_str());
    open_ps(dir.file("a.ps"));
    check(gget_font_index("f40") == 40 && gget_font_index("F12") == 12, "kez.fnl: abbreviations, case ignored");
    check(gget_font_index("f41") == 1, "kez.fnl holds 40");
    check(gget_font_index("2") == 2 && gget_font_index("17") == 17, "numbers are taken as they are");
    check(gget_font_index("xyz") == 1, "no match is font 1");
    gclose_ws(1);

    gset_font_list("fi:twelve.lst");
    open_ps(dir.file("b.ps"));
    check(gget_font_index("f10") == 10 && gget_font_index("f11") == 1, "a fi: file gives 10");
    gclose_ws(1);

    gset_font_list("fi:long.lst");
    open_ps(dir.file("c.ps"));
    check(gget_font_index("good") == 1, "over-long entries are refused, the next is font 1");
    gclose_ws(1);

    gset_font_list("fi:missing.lst");
    open_ps(dir.file("d.ps"));
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("gsetup_fonts: more than 40 fonts in "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gsetup_fonts: more than 10 fonts in "), std::string::npos);
  EXPECT_NE(r.err.find("gsetup_fonts: font entry refused"), std::string::npos);
  EXPECT_NE(r.err.find("gsetup_fonts: unable to load font list file: " + dir.file("missing.lst")), std::string::npos);
  EXPECT_NE(r.err.find("read_font: unable to load font file: " + dir.file("modern.fnt")), std::string::npos)
      << "without entries the default font is loaded";
}

TEST(FontList, NamesFromTheSettingAndAnInvalidFontNumber) {
  FontDir fonts(ab_font());
  write_file(fonts.file("b.fnt"), font_text({{'A', {128, 35, 10, 140}}}));
  auto r = run_child([&] {
    RES_put("file_path", fonts.dir.path().c_str());
    RES_put("font_list", " fix.fnt , b.fnt");
    open_ps(fonts.file("n.ps") + ",eps,port");
    point_world();
    Checks check;
    Gfontprec three{3, GSTROKE_PREC}, two{2, GSTROKE_PREC};
    check(gset_fontprec(&three) == -1, "font 3 of 2");
    check(gset_fontprec(&three) == -1, "font 3 is refused again");
    gset_char_ht(105);
    Gpt at{200, 300};
    gps_printf("%%first\n");
    gtext(&at, "A");
    check(gset_fontprec(&two) == 0, "font 2");
    gps_printf("%%second\n");
    gtext(&at, "A");
    gclose_ws(1);
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(count(r.err, "gset_fontprec: invalid font id: 3\n"), 2) << r.err;
  const std::string ps = gks_test::plain_paths(read_file(fonts.file("n.ps")));
  EXPECT_NE(ps.find("%first\n%%TE:200.000000 300.000000 A\nnp\n200.00 300.00 mv\n260.00 405.00 ln\n"),
            std::string::npos)
      << "font 1 stays after the refusal\n"
      << ps;
  EXPECT_NE(ps.find("%second\n%%TE:200.000000 300.000000 A\nnp\n200.00 300.00 mv\n210.00 405.00 ln\n"),
            std::string::npos)
      << ps;
}

TEST(FontFiles, FilesBeyondTheFormatAreRefused) {
  const std::string index_of_a = [] {
    std::string s;
    for (int i = 0; i < 256; ++i) s += i == 'A' ? "1 " : "-1 ";
    return s;
  }();
  const std::string big = [&] {
    std::string s = "255";
    for (int i = 0; i < 7500; ++i) s += " 128 35";
    return s + " 254 " + index_of_a;
  }();
  struct Case {
    const char* why;
    std::string font;
    const char* message;
  };
  const Case cases[] = {
      {"more than 15000 bytes", big, "more glyph data than a font holds"},
      {"a value above a byte", "255 128 35 300 140 254 " + index_of_a, "a glyph value outside 0 to 255"},
      {"a negative value", "255 128 35 -5 140 254 " + index_of_a, "a glyph value outside 0 to 255"},
      {"no end mark", "255 128 35 60 140", "glyph data without its end mark"},
      {"an offset past the data", "255 128 35 60 140 254 " + std::string("999 ") + index_of_a.substr(3),
       "a glyph offset outside the glyph data"},
      {"an offset below -1", "255 128 35 60 140 254 -2 " + index_of_a.substr(3),
       "a glyph offset outside the glyph data"},
      {"a short index", "255 128 35 60 140 254 -1 1", "an incomplete glyph index"},
      {"a word among the numbers", "255 128 x 60 140 254 " + index_of_a, "glyph data without its end mark"},
      {"a label missing at the end", "7 name 255", "a glyph label missing"},
      {"an empty file", "", "no glyph data"},
  };
  for (const Case& c : cases) {
    FontDir fonts(c.font);
    std::string err;
    const std::string body = drawn(
        fonts, [] { draw_ab("A"); }, &err);
    EXPECT_NE(err.find(std::string("read_font: font file refused (") + c.message + "): " + fonts.file("fix.fnt")),
              std::string::npos)
        << c.why << "\n"
        << err;
    EXPECT_EQ(body.find(" ln\n"), std::string::npos) << c.why << ": a refused font draws nothing";
  }
  /* A glyph whose first pair has the pen down still starts with a move. */
  FontDir pen_down(font_text({{'A', {0, 35, 60, 140}}}));
  EXPECT_NE(drawn(pen_down, [] { draw_ab("A"); }).find("np\n200.00 300.00 mv\n260.00 405.00 ln\nstroke\n"),
            std::string::npos);
  /* The labelled form: a header, and a label after every separator. */
  FontDir labelled("3 test 255 A 128 35 60 140 255 B 128 35 70 140 254 " + index_of_a);
  EXPECT_NE(drawn(labelled, [] { draw_ab("A", GRIGHT_HOR); }).find("np\n140.00 300.00 mv\n200.00 405.00 ln\n"),
            std::string::npos);
}

TEST(FontFiles, ShippedFontsLoadAndDrawEveryPrintableCharacter) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    RES_put("file_path", KEZ_DATA_DIR);
    open_ps(dir.file("a.ps"));
    check(gget_font_index("modern") == 1, "modern is the first font");
    for (const char* name : {"modern", "simplex", "duplex", "roman", "italic", "script", "greek"}) {
      const Gfontprec fp{gget_font_index(name), GSTROKE_PREC};
      check(fp.font > 1 || std::string(name) == "modern", std::string(name) + " is in kez.fnl");
      check(read_font((std::string(name) + ".fnt").c_str()) == 0, std::string(name) + " loads");
      gps_printf("%%font %s\n", name);
      Gpt at{0.1f, 0.5f};
      for (int c = 33; c < 127; ++c) {
        const char s[2] = {static_cast<char>(c), 0};
        gtext(&at, s);
      }
    }
    gclose_ws(1);
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  const std::string ps = gks_test::plain_paths(read_file(dir.file("a.ps")));
  for (const char* name : {"modern", "simplex", "duplex", "roman", "italic", "script", "greek"}) {
    const size_t from = ps.find(std::string("%font ") + name);
    const size_t to = ps.find("%font ", from + 1);
    const std::string part = ps.substr(from, to == std::string::npos ? std::string::npos : to - from);
    EXPECT_EQ(count(part, "%%TE:"), 94) << name;
    EXPECT_GE(count(part, "stroke"), 94) << name << ": every printable character has a glyph";
  }
}

/* A page of stroke text: fonts, heights, angles, alignments and shadows,
 * drawn thick enough to sample. */
void text_page() {
  point_world();
  gset_text_width(4);
  const char* fonts[] = {"modern", "simplex", "duplex", "roman", "italic", "script", "greek"};
  for (int i = 0; i < 7; ++i) {
    const Gfontprec fp{gget_font_index(fonts[i]), GSTROKE_PREC};
    gset_fontprec(&fp);
    gset_char_ht(static_cast<float>(12 + 2 * i));
    Gpt at{20, static_cast<float>(560 - 40 * i)};
    gtext(&at, (std::string(fonts[i]) + ": Hlm 12").c_str());
  }
  const Gfontprec modern{1, GSTROKE_PREC};
  gset_fontprec(&modern);
  gset_char_ht(70);
  Gpt h{300, 150};
  gtext(&h, "H"); /* stems near x 303 and 351, bar near y 184 */
  Gtext_align centre{GCENTER_HOR, GHALF_VERT};
  gset_text_align(&centre);
  Gpt up{-1, 0};
  gset_char_up_vec(&up);
  Gpt turned{500, 150};
  gtext(&turned, "I"); /* the stem lies along y 150 */
  Gpt diagonal{-1, 1};
  gset_char_up_vec(&diagonal);
  gset_char_ht(30);
  Gpt slanted{450, 300};
  gtext(&slanted, "Turned 45");
  Gpt upright{0, 1};
  gset_char_up_vec(&upright);
  gset_font_drop(4);
  Gpt shadowed{150, 60};
  gtext(&shadowed, "Shadow");
  gset_font_drop(0);
}

TEST(StrokeTextRendering, TestPageThroughGhostscript) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed (tools/install-deps.sh)";
  TempDir dir;
  const std::string file = dir.file("page.eps");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    if (open_ps(file + ",eps,port") != 0) return 1;
    text_page();
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  kez_test::Raster page;
  auto run = kez_test::gs_render(file, 800, 700, &page);
  ASSERT_TRUE(run.clean()) << run.log;
  struct Sample {
    int x0, y0, x1, y1;
    bool inked;
    const char* what;
  };
  const Sample samples[] = {
      {302, 160, 305, 210, true, "left stem of the H"},
      {350, 160, 353, 210, true, "right stem of the H"},
      {315, 182, 340, 186, true, "bar of the H"},
      {312, 195, 342, 212, false, "inside the H above the bar"},
      {312, 152, 342, 175, false, "inside the H below the bar"},
      {470, 148, 530, 152, true, "the turned I lies across its anchor"},
      {497, 160, 503, 200, false, "nothing above the turned I"},
      {20, 558, 60, 575, true, "first line of the font list"},
      {20, 318, 60, 345, true, "last line of the font list"},
      {150, 55, 260, 80, true, "the shadowed word"},
      {430, 280, 470, 320, true, "the turned words around their centre"},
      {600, 500, 700, 600, false, "blank paper"},
  };
  for (const Sample& s : samples) {
    const int n = ink(page, s.x0, s.y0, s.x1, s.y1);
    if (s.inked)
      EXPECT_GT(n, 0) << s.what;
    else
      EXPECT_EQ(n, 0) << s.what;
  }
}

/* Server text on the window: the ink of "HH" in the font "fixed" placed by
 * each alignment, against the font's own measures read through another
 * connection; shadows are black copies a pixel apart. */
TEST(Text, ServerFontOnTheWindowAlignsByTheFontsMeasures) {
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  Display* d = XOpenDisplay(x.display().c_str());
  ASSERT_NE(d, nullptr);
  XFontStruct* font = XLoadQueryFont(d, "fixed");
  ASSERT_NE(font, nullptr) << "the font \"fixed\" is needed (xfonts-base)";
  const int ascent = font->ascent, descent = font->descent, width = XTextWidth(font, "HH", 2);
  XFreeFont(d, font);
  XCloseDisplay(d);

  struct Case {
    Gtext_hor hor;
    Gtext_ver vert;
    int shadows;
    int dx, dy; /* the ink's shift from that of the normal alignment */
  };
  const Case cases[] = {
      {GNORMAL_HOR, GNORMAL_VERT, 0, 0, 0},
      {GLEFT_HOR, GBASE_VERT, 0, 0, 0},
      {GCENTER_HOR, GNORMAL_VERT, 0, -(width / 2), 0},
      {GRIGHT_HOR, GNORMAL_VERT, 0, -width, 0},
      {GNORMAL_HOR, GTOP_VERT, 0, 0, ascent},
      {GNORMAL_HOR, GCAP_VERT, 0, 0, ascent},
      {GNORMAL_HOR, GHALF_VERT, 0, 0, ascent / 2},
      {GNORMAL_HOR, GBOTTOM_VERT, 0, 0, -descent},
      {GNORMAL_HOR, GNORMAL_VERT, 2, 0, 0},
  };
  constexpr int N = sizeof cases / sizeof cases[0];
  /* Each case at its own anchor, 100 pixels apart. */
  auto anchor = [](int i) { return std::array<int, 2>{100 + 100 * (i % 5), 100 + 100 * (i / 5)}; };
  TempDir dir;
  auto r = run_child([&] {
    setenv("kezinverse", "1", 1);
    RES_put("font_list", "#fixed");
    if (gks_test::open_window(x) != 0) return 1;
    gks_test::use_tran(1, lim(0, 511, 511, 0), lim(0, 1, 0, 1));
    const Gcolr_rep red{1, 0, 0};
    gset_colr_rep(1, 2, &red);
    gset_text_colr_ind(2);
    for (int i = 0; i < N; ++i) {
      const Gtext_align align{cases[i].hor, cases[i].vert};
      gset_text_align(&align);
      gset_font_drop(cases[i].shadows);
      Gpt at{static_cast<float>(anchor(i)[0]), static_cast<float>(anchor(i)[1])};
      gtext(&at, "HH");
    }
    gks_test::write_ppm(dir.file("w.ppm"), gks_test::window_picture(x));
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  kez_test::RgbImage picture;
  ASSERT_TRUE(gks_test::read_ppm(dir.file("w.ppm"), &picture));
  struct Ink {
    int x0 = 9999, y0 = 9999, x1 = -1, y1 = -1, black = 0;
  };
  auto ink_of = [&](int i) {
    Ink ink;
    const auto [ax, ay] = anchor(i);
    for (int y = ay - 45; y < ay + 45; ++y)
      for (int xx = ax - 45; xx < ax + 45; ++xx) {
        const auto c = picture.at(xx, y);
        if (gks_test::near_rgb(c, {0, 0, 0})) ++ink.black;
        if (!gks_test::near_rgb(c, {255, 0, 0})) continue;
        ink.x0 = std::min(ink.x0, xx - ax);
        ink.x1 = std::max(ink.x1, xx - ax);
        ink.y0 = std::min(ink.y0, y - ay);
        ink.y1 = std::max(ink.y1, y - ay);
      }
    return ink;
  };
  const Ink normal = ink_of(0);
  ASSERT_LT(normal.x0, 9999) << "server text drawn";
  EXPECT_GE(normal.x0, 0) << "the ink starts at the anchor";
  EXPECT_LE(normal.y1, -1) << "the ink stands on the anchor's baseline";
  EXPECT_EQ(normal.black, 0);
  for (int i = 1; i < N; ++i) {
    const Ink got = ink_of(i);
    EXPECT_EQ(got.x0 - normal.x0, cases[i].dx) << "case " << i;
    EXPECT_EQ(got.y0 - normal.y0, cases[i].dy) << "case " << i;
    EXPECT_EQ(got.black > 0, cases[i].shadows > 0) << "case " << i << ": black shadows";
  }
}

/* Stroke text on the window follows the text colour, and its drop shadows
 * are black; the text context takes a new colour at once. */
TEST(Text, StrokeTextOnTheWindowWithShadows) {
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  auto r = run_child([&] {
    setenv("kezinverse", "1", 1);
    RES_put("file_path", KEZ_DATA_DIR);
    if (gks_test::open_window(x) != 0) return 1;
    gks_test::use_tran(1, lim(0, 511, 511, 0), lim(0, 1, 0, 1));
    const Gcolr_rep red{1, 0, 0}, blue{0, 0, 1};
    gset_colr_rep(1, 2, &red);
    gset_text_colr_ind(2);
    gset_char_ht(40);
    Gpt at{100, 100};
    gtext(&at, "E");
    gset_font_drop(2);
    Gpt shadowed{300, 100};
    gtext(&shadowed, "E");
    gset_colr_rep(1, 2, &blue);
    gset_font_drop(0);
    Gpt later{100, 300};
    gtext(&later, "E");
    gks_test::write_ppm(dir.file("w.ppm"), gks_test::window_picture(x));
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  kez_test::RgbImage picture;
  ASSERT_TRUE(gks_test::read_ppm(dir.file("w.ppm"), &picture));
  auto count_in = [&](int x0, int y0, const std::array<int, 3>& rgb) {
    int n = 0;
    for (int y = y0 - 60; y < y0 + 20; ++y)
      for (int xx = x0 - 10; xx < x0 + 60; ++xx) n += gks_test::near_rgb(picture.at(xx, y), rgb) ? 1 : 0;
    return n;
  };
  EXPECT_GT(count_in(100, 100, {255, 0, 0}), 40) << "red E";
  EXPECT_EQ(count_in(100, 100, {0, 0, 0}), 0) << "no shadow";
  EXPECT_GT(count_in(300, 100, {255, 0, 0}), 40) << "red E over its shadows";
  EXPECT_GT(count_in(300, 100, {0, 0, 0}), 20) << "black shadows";
  EXPECT_GT(count_in(100, 300, {0, 0, 255}), 40) << "the new colour";
}

/* The window takes a glyph's strokes all at once too, and draws the same
 * pixels as stroke by stroke. */
TEST(Text, WholeGlyphsOnTheWindowDrawWhatStrokeByStrokeDraws) {
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  FontDir fonts(font_text(stroke_kinds()));
  auto picture = [&](const std::string& name, bool whole) {
    return run_child([&] {
      RES_put("file_path", fonts.dir.path().c_str());
      if (gks_test::open_window(x) != 0) return 1;
      Gdevice device = gws_window_device;
      if (!whole) device.text.strokes = nullptr;
      gset_device(&device);
      gks_test::use_tran(1, lim(0, 511, 511, 0), lim(0, 1, 0, 1));
      const Gcolr_rep red{1, 0, 0};
      gset_colr_rep(1, 2, &red);
      gset_text_colr_ind(2);
      Gpt at{20, 60};
      for (float height : {30.0f, 11.0f})
        for (Gpt up : {Gpt{0, 1}, Gpt{-1, 0.4f}}) {
          gset_char_ht(height);
          gset_char_up_vec(&up);
          gtext(&at, "ABCDdEeFG A");
          at.y += 90;
        }
      gset_font_drop(2);
      gtext(&at, "eDAd");
      gks_test::write_ppm(fonts.file(name), gks_test::window_picture(x));
      return gclose_ws(1);
    });
  };
  const auto whole = picture("whole.ppm", true), by_stroke = picture("strokes.ppm", false);
  ASSERT_EQ(whole.status, 0) << whole.err;
  ASSERT_EQ(by_stroke.status, 0) << by_stroke.err;
  kez_test::RgbImage a, b;
  ASSERT_TRUE(gks_test::read_ppm(fonts.file("whole.ppm"), &a));
  ASSERT_TRUE(gks_test::read_ppm(fonts.file("strokes.ppm"), &b));
  EXPECT_TRUE(a.rgb == b.rgb) << "the pictures differ";
  int red = 0;
  for (int y = 0; y < a.height; ++y)
    for (int xx = 0; xx < a.width; ++xx) red += gks_test::near_rgb(a.at(xx, y), {255, 0, 0}) ? 1 : 0;
  EXPECT_GT(red, 1000);
}

} // namespace
