#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "gks_output.h"

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
using kez_test::write_file;

int open_meta(const std::string& conn) {
  gopen_gks(nullptr, 0);
  return gopen_ws(1, conn.c_str(), GWS_META);
}

TEST(TextMetafile, HeaderAndTextRecords) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    gset_win_title("Surface");
    check(open_meta(dir.file("a.meta")) == 0 && gtype_is_META() && gmeta_get_type() == 0, "text form");
    Gcolr_rep red{1, 0, 0};
    gset_colr_rep(1, 3, &red);
    gset_text_colr_ind(3);
    gset_char_ht(0.02f);
    gset_expan(1.5f);
    gset_text_width(2);
    gset_space(0.5f);
    gset_char_space(1);
    Gpt up2{0, 2}, up1{0, 1};
    gset_char_up_vec(&up2);
    gset_char_up_vec(&up1); /* (0, 2) was stored as (0, 1): no change */
    Gtext_align align{GCENTER_HOR, GHALF_VERT};
    gset_text_align(&align);
    gset_text_align(&align);
    Gfontprec fp{9, GSTROKE_PREC};
    check(gset_fontprec(&fp) == 0, "any font number is recorded");
    Gpt at{0.1f, 0.2f};
    gtext(&at, "Hello\nworld");
    gtext(&at, "");
    check(gclose_ws(1) == 0, "closed");
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string meta = read_file(dir.file("a.meta"));
  EXPECT_EQ(meta.rfind("KEZMETA\n#Title: KEZ Graphics Display: Surface\n#Creator: KEZ Metafile Processor-1.0\n"
                       "#CreationDate: ",
                       0),
            0u)
      << meta;
  EXPECT_EQ(records_of(meta),
            "CLR 1 3 1.000000 0.000000 0.000000\nTE_CLR 3\nTE_HGHT 0.020000\nTE_EXP 1.500000\nTE_WDTH 2.000000\n"
            "TE_SPC 0.500000\nTE_CSPC 1.000000\nTE_UP 0.000000,2.000000\nTE_ALGN 2 3\nTE_FNT 9 2\n"
            "TE 0.100000,0.200000 Hello world\n");
  EXPECT_NE(r.out.find("Creating metafile: " + dir.file("a.meta") + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Created metafile\n"), std::string::npos);
}

/* A picture with every kind of record, in world coordinates whose
 * decimals the metafile keeps exactly. */
void scene() {
  use_tran(2, lim(0, 100, 0, 80), lim(0.125f, 0.875f, 0.0625f, 0.9375f));
  Gcolr_rep grey{0.5f, 0.5f, 0.25f};
  gset_colr_rep(1, 4, &grey);
  gset_line_colr_ind(4);
  gset_linewidth(2);
  gset_linetype(3);
  Gpt line[6] = {{0, 0}, {10, 5}, {20, 0}, {30, 5}, {40, 0}, {50, 5}};
  gpolyline(6, line);
  gset_fill_colr_ind(4);
  gset_fill_int_style(GSOLID);
  Gpt area[4] = {{60, 10}, {90, 10}, {90, 40}, {60, 40}};
  gfill_area(4, area);
  gset_marker_type(4);
  gset_marker_size(1.5f);
  gset_marker_width(2);
  gset_marker_colr_ind(503);
  Gpt marks[5] = {{10, 60}, {20, 60}, {30, 60}, {40, 60}, {50, 60}};
  gpolymarker(5, marks);
  Gfontprec italic{5, GSTROKE_PREC};
  gset_fontprec(&italic);
  gset_char_ht(4);
  gset_expan(1.25f);
  gset_text_width(2);
  gset_text_colr_ind(506);
  Gtext_align centre{GCENTER_HOR, GHALF_VERT};
  gset_text_align(&centre);
  Gpt up{-1, 1};
  gset_char_up_vec(&up);
  Gpt at{50, 40};
  gtext(&at, "Replayed text");
  use_tran(3, lim(-1, 1, -1, 1), lim(0, 0.5f, 0, 0.5f));
  gsel_norm_tran(2);
  Gpt upright{0, 1};
  gset_char_up_vec(&upright);
  gset_space(0.5f);
  gset_char_space(0.5f);
  Gpt at2{5, 75};
  gtext(&at2, "fixed pitch");
}

TEST(MetafileReader, ReplayIntoPostScriptEqualsDrawingDirectly) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    gset_win_title("Scene");
    open_ps(dir.file("direct.ps"));
    scene();
    gclose_ws(1);
    open_meta(dir.file("scene.meta"));
    scene();
    gclose_ws(1);
    open_ps(dir.file("replayed.ps"));
    const int result = gread_metafile(dir.file("scene.meta").c_str());
    gclose_ws(1);
    return result;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string direct = body_of(read_file(dir.file("direct.ps")));
  EXPECT_GT(count(direct, "%%TE:"), 1);
  EXPECT_GT(count(direct, "%%PM:5"), 0);
  EXPECT_EQ(body_of(read_file(dir.file("replayed.ps"))), direct);
}

/* A metafile that went through CRLF line ends, its magic line included,
 * reads as the file it was. */
TEST(MetafileReader, ACrlfFileReadsAsItsLineFeedTwin) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    open_meta(dir.file("scene.meta"));
    scene();
    gclose_ws(1);
    std::string crlf;
    for (char c : read_file(dir.file("scene.meta"))) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    write_file(dir.file("crlf.meta"), crlf);
    int result = 0;
    for (const char* name : {"scene", "crlf"}) {
      open_ps(dir.file(std::string(name) + ".ps"));
      result |= gread_metafile(dir.file(std::string(name) + ".meta").c_str());
      gclose_ws(1);
    }
    return result;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("gread_metafile"), std::string::npos) << r.err;
  const std::string lf = body_of(read_file(dir.file("scene.ps")));
  EXPECT_GT(count(lf, "%%PL:"), 0);
  EXPECT_EQ(body_of(read_file(dir.file("crlf.ps"))), lf);
}

TEST(MetafileReader, RecordsAsWrittenIncludingContinuationsAndPassedOverLines) {
  TempDir dir;
  const std::string long_text(120, 'x');
  write_file(dir.file("in.meta"),
             "KEZMETA\n#Title: first\n"
             "WIN 1 0.000000 0.000000 575.000000 575.000000\nTR 1\n"
             "FA 4 10.000000,10.000000 20.000000,10.000000 20.000000,20.000000 10.000000,20.000000 \n"
             "   PL_CLR 503\n"
             "WS_WIN 1 0.0 0.0 0.5 0.5\n"
             "ME a message\nCLR_REG 0 0 1 1\nSEG_CR 3\n"
             "KEZMETA\n#Title: appended\n#Creator: KEZ Metafile Processor-1.0\n"
             "PL 5 1.000000,1.000000 2.000000,1.000000 3.000000,1.000000 4.000000,1.000000 \n"
             "   5.000000,1.000000 \n"
             "TE 100.000000,100.000000 " +
                 long_text +
                 "\n"
                 "TE 100.000000,200.000000 \n");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    open_ps(dir.file("out.ps"));
    gps_printf("%%mark\n");
    const int result = gread_metafile(dir.file("in.meta").c_str());
    gclose_ws(1);
    return result;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string body = body_of(read_file(dir.file("out.ps")));
  EXPECT_NE(body.find("%%FA:4\nnp\n10.00 10.00 mv\n20.00 10.00 ln\n20.00 20.00 ln\n10.00 20.00 ln\ncp\n"),
            std::string::npos)
      << "the window of transformation 1 and the fill\n"
      << body;
  EXPECT_NE(body.find("%%PL:5\n1 setgray\nnp\n1.00 1.00 mv\n2.00 1.00 ln\n3.00 1.00 ln\n4.00 1.00 ln\n5.00 1.00 ln\n"
                      "stroke\n"),
            std::string::npos)
      << "the colour after the continuation, and the five points across two lines";
  EXPECT_NE(body.find("%%TE:100.000000 100.000000 " + std::string(100, 'x') + "\n"), std::string::npos)
      << "a text is cut at 100 characters";
  EXPECT_EQ(count(body, "%%TE:"), 1) << "an empty text draws nothing";
  EXPECT_EQ(r.err.find("gread_metafile"), std::string::npos) << r.err;
}

TEST(MetafileReader, HostileFilesGiveAMessageAndNoCrash) {
  struct Case {
    std::string records;
    const char* message; /* null: no message */
    const char* why;
  };
  const Case cases[] = {
      {"PL -3 1,1 2,2\n", "bad PL record", "negative count"},
      {"PL 2000000000 1,1 2,2\n", "bad PL record", "count far beyond the points"},
      {"PL 9999999999999 1,1 2,2\n", "bad PL record", "count beyond an int"},
      {"FA 2 1,1 2,2\n", "bad FA record", "an area of two points"},
      {"PM 0\n", "bad PM record", "no markers"},
      {"WIN 9 0 0 1 1\n", "bad WIN record", "transformation 9"},
      {"VP -1 0 0 1 1\n", "bad VP record", "transformation -1"},
      {"TR 77\n", "bad TR record", "select transformation 77"},
      {"PL 2 nan,1 2,2\n", "bad PL record", "not a number"},
      {"PL 2 1e40,1 2,2\n", "bad PL record", "beyond a float"},
      {"PL 2 1;1 2,2\n", "bad PL record", "no comma"},
      {"TE_HGHT abc\n", "bad TE_HGHT record", "a word for a number"},
      {"CLR 1 3 0.5 0.5\n", "bad CLR record", "a colour short of a component"},
      {"PL_CLR 99999999999\n", "bad PL_CLR record", "an index beyond an int"},
      {"FA_INT 9\n", "bad FA_INT record", "no such interior style"},
      {"TE_UP 0,0\n", "gset_char_up_vec: invalid up vector", "an up vector without direction"},
      {"TE_ALGN 77 -5\n", nullptr, "alignments without offsets"},
      {std::string("\x01\xff\xfe PL\0 3\n", 10), nullptr, "binary noise"},
      {"PL 5 1,1 2,2\n", "bad PL record", "a record cut short"},
      {"TE", "bad TE record", "a text record without its position, at the end of the file"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const bool at_end = c.records.find('\n') == std::string::npos;
    write_file(dir.file("bad.meta"),
               "KEZMETA\nWIN 1 0 0 575 575\nTR 1\n" + c.records + (at_end ? "" : "PL_CLR 503\nPL 2 10,10 20,20\n"));
    auto r = run_child([&] {
      open_ps(dir.file("out.ps"));
      gps_printf("%%mark\n");
      const int result = gread_metafile(dir.file("bad.meta").c_str());
      gclose_ws(1);
      return result;
    });
    EXPECT_EQ(r.status, 0) << c.why << r.err;
    if (c.message) {
      EXPECT_NE(r.err.find(c.message), std::string::npos) << c.why << "\n" << r.err;
    } else {
      EXPECT_EQ(r.err.find("gread_metafile"), std::string::npos) << c.why << "\n" << r.err;
    }
    const std::string body = body_of(read_file(dir.file("out.ps")));
    EXPECT_EQ(count(body, "%%PL:"), at_end ? 0 : 1) << c.why << ": the records after a bad one replay\n" << body;
    if (!at_end) {
      EXPECT_NE(body.find("1 setgray\nnp\n10.00 10.00 mv\n20.00 20.00 ln\n"), std::string::npos) << c.why;
    }
    EXPECT_EQ(body.find("nan"), std::string::npos) << c.why;
  }
}

TEST(MetafileReader, FilesThatAreNoMetafilesAndManyBadRecords) {
  TempDir dir;
  write_file(dir.file("other.txt"), "KEZRAW\nPL 2 1,1 2,2\n");
  write_file(dir.file("empty.meta"), "");
  write_file(dir.file("magic.meta"), "KEZMETA");
  std::string bad = "KEZMETA\n";
  for (int i = 0; i < 25; ++i) bad += "TR 9\n";
  write_file(dir.file("bad.meta"), bad);
  auto r = run_child([&] {
    Checks check;
    open_ps(dir.file("out.ps"));
    check(gread_metafile(dir.file("missing.meta").c_str()) == -1, "missing file");
    check(gread_metafile(dir.file("other.txt").c_str()) == -1, "not a metafile");
    check(gread_metafile(dir.file("empty.meta").c_str()) == -1, "empty file");
    check(gread_metafile(dir.file("magic.meta").c_str()) == 0, "the magic line alone");
    check(gread_metafile(dir.file("bad.meta").c_str()) == 0, "bad records are passed over");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.err.find("gread_metafile: Unable to open image file: " + dir.file("missing.meta")), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("gread_metafile: not a metafile: " + dir.file("other.txt")), std::string::npos);
  EXPECT_NE(r.err.find("gread_metafile: not a metafile: " + dir.file("empty.meta")), std::string::npos);
  EXPECT_EQ(count(r.err, "gread_metafile: bad TR record"), 10) << "the first ten are shown";
  EXPECT_NE(r.err.find("gread_metafile: 25 bad records in " + dir.file("bad.meta") + ", the first 10 shown"),
            std::string::npos);
  EXPECT_EQ(count(read_file(dir.file("out.ps")), "%%PL"), 0);
}

TEST(TextMetafile, DisplayListPrintsTextAndMarkers) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    open_ps(dir.file("a.ps"));
    gset_redraw(1);
    gset_marker_type(3);
    gset_marker_size(2);
    gset_marker_width(3);
    gset_marker_colr_ind(506);
    Gpt pts[2] = {{0.25f, 0.5f}, {0.5f, 0.5f}};
    gpolymarker(2, pts);
    gset_space(0.5f);
    gset_char_space(0.25f);
    gset_expan(2);
    gset_text_colr_ind(503);
    gset_char_ht(0.05f);
    Gpt up{1, 0};
    gset_char_up_vec(&up);
    Gfontprec fp{2, GSTROKE_PREC};
    gset_fontprec(&fp);
    Gtext_align align{GRIGHT_HOR, GTOP_VERT};
    gset_text_align(&align);
    gset_text_width(4);
    gtext(&pts[1], "recorded");
    setenv("METAOUT", dir.file("plot.meta").c_str(), 1);
    gobj_print_meta();
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(records_of(read_file(dir.file("plot.meta"))),
            "PM_TYPE 3\nPM_SIZE 2.000000\nPM_WDTH 3.000000\nPM_CLR 506\n"
            "PM 2 0.250000,0.500000 0.500000,0.500000 \n"
            "TE_SPC 0.500000\nTE_CSPC 0.250000\nTE_EXP 2.000000\nTE_CLR 503\nTE_HGHT 0.050000\n"
            "TE_UP 1.000000,0.000000\nTE_FNT 2 2\nTE_ALGN 3 1\nTE_WDTH 4.000000\n"
            "TE 0.500000,0.500000 recorded\n");
}

/* ---- CGM ------------------------------------------------------------- */

struct Element {
  int cls, id;
  std::string params;
};

int word_at(const std::string& s, size_t at) {
  return static_cast<int16_t>((static_cast<unsigned char>(s[at]) << 8) | static_cast<unsigned char>(s[at + 1]));
}

/* A strict walk over a binary CGM: every element header with its short or
 * long (unpartitioned) length, the parameters and the pad byte after an odd
 * length, up to END METAFILE, which must end the file. */
bool walk_cgm(const std::string& data, std::vector<Element>* out, std::string* why) {
  size_t at = 0;
  while (at < data.size()) {
    if (at + 2 > data.size()) return *why = "half a header word", false;
    const unsigned w = static_cast<unsigned>(word_at(data, at)) & 0xffff;
    at += 2;
    Element e{static_cast<int>(w >> 12), static_cast<int>((w >> 5) & 0x7f), ""};
    size_t length = w & 31;
    if (length == 31) {
      if (at + 2 > data.size()) return *why = "a long form without its length", false;
      const unsigned long_length = static_cast<unsigned>(word_at(data, at)) & 0xffff;
      if (long_length & 0x8000) return *why = "a partitioned element", false;
      length = long_length;
      at += 2;
    }
    if (at + length + (length % 2) > data.size()) return *why = "parameters past the end", false;
    e.params = data.substr(at, length);
    at += length;
    if (length % 2) {
      if (data[at] != 0) return *why = "a pad byte that is not zero", false;
      ++at;
    }
    out->push_back(e);
    if (e.cls == 0 && e.id == 2) return at == data.size() ? true : (*why = "bytes after END METAFILE", false);
  }
  return *why = "no END METAFILE", false;
}

struct CgmFile {
  std::vector<Element> elements;
  std::array<int, 4> extent{};
  std::string why;
  bool ok = false;
};

/* The walk, the header elements in their order with their values, and
 * only clip rectangles and polylines in the body. */
CgmFile check_cgm(const std::string& data) {
  CgmFile f;
  if (!walk_cgm(data, &f.elements, &f.why)) return f;
  const auto& e = f.elements;
  struct Head {
    int cls, id;
    std::string params;
  };
  const Head head[] = {
      {0, 1, ""},
      {1, 1, std::string("\0\1", 2)},
      {1, 2, std::string("\x0aKEZCGM-1.0")},
      {1, 11, std::string("\0\1\xff\xff\0\1", 6)},
      {1, 9, std::string("\xff")},
  };
  if (e.size() < 10) return f.why = "too few elements", f;
  for (size_t i = 0; i < 5; ++i)
    if (e[i].cls != head[i].cls || e[i].id != head[i].id || e[i].params != head[i].params)
      return f.why = "header element " + std::to_string(i) + " out of place or wrong", f;
  if (e[5].cls != 2 || e[5].id != 6 || e[5].params.size() != 8) return f.why = "no VDC extent", f;
  for (int k = 0; k < 4; ++k) f.extent[static_cast<size_t>(k)] = word_at(e[5].params, 2 * static_cast<size_t>(k));
  if (f.extent[0] >= f.extent[2] || f.extent[1] >= f.extent[3]) return f.why = "an empty extent", f;
  if (e[6].cls != 0 || e[6].id != 3 || e[7].cls != 0 || e[7].id != 4) return f.why = "no picture begun", f;
  const size_t n = e.size();
  if (e[n - 2].cls != 0 || e[n - 2].id != 5) return f.why = "END PICTURE is not second to last", f;
  for (size_t i = 8; i + 2 < n; ++i) {
    const bool clip = e[i].cls == 3 && e[i].id == 5 && e[i].params.size() == 8;
    const bool line = e[i].cls == 4 && e[i].id == 1 && e[i].params.size() >= 8 && e[i].params.size() % 4 == 0;
    if (!clip && !line) return f.why = "element " + std::to_string(i) + " is no clip or polyline", f;
  }
  f.ok = true;
  return f;
}

std::vector<std::array<int, 2>> points_of(const Element& e) {
  std::vector<std::array<int, 2>> pts;
  for (size_t at = 0; at + 4 <= e.params.size(); at += 4)
    pts.push_back({word_at(e.params, at), word_at(e.params, at + 2)});
  return pts;
}

std::string cgm_of(const std::function<void()>& body, const std::string& options = ",cgm") {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    if (open_meta(dir.file("a.cgm") + options) != 0) return 1;
    body();
    return gclose_ws(1) == 0 ? 0 : 1;
  });
  return r.status == 0 ? read_file(dir.file("a.cgm")) : "failed: " + r.err;
}

TEST(Cgm, EmptyPictureHasHeaderClipsAndTrailer) {
  const CgmFile f = check_cgm(cgm_of([] { use_tran(1, lim(0, 1, 0, 1), lim(0.25f, 0.75f, 0.25f, 0.75f)); }));
  ASSERT_TRUE(f.ok) << f.why;
  EXPECT_EQ(f.extent, (std::array<int, 4>{0, 0, 999, 799})) << "the plot area of 1000 by 800";
  ASSERT_EQ(f.elements.size(), 12u);
  const std::vector<std::array<int, 2>> clips[] = {points_of(f.elements[8]), points_of(f.elements[9])};
  EXPECT_EQ(clips[0], (std::vector<std::array<int, 2>>{{0, 0}, {799, 799}})) << "at open";
  EXPECT_EQ(clips[1], (std::vector<std::array<int, 2>>{{199, 199}, {599, 599}})) << "after the viewport";
  EXPECT_EQ(f.elements[11].cls, 0);
  EXPECT_EQ(f.elements[11].id, 2);
}

TEST(Cgm, DrawingFillsTheExtentAndStaysInsideIt) {
  const std::string data = cgm_of([] {
    Glim ws = lim(0, 1.25f, 0, 1);
    gset_ws_win(1, &ws);
    use_tran(1, lim(0, 1.25f, 0, 1), lim(0, 1.25f, 0, 1));
    Gpt frame[5] = {{0, 0}, {1.25f, 0}, {1.25f, 1}, {0, 1}, {0, 0}};
    gpolyline(5, frame);
    Gpt area[3] = {{0, 0}, {1, 0}, {1, 1}};
    gfill_area(3, area);
    gpolymarker(1, area);
    gset_char_ht(0.1f);
    Gpt at{0.5f, 0.5f};
    gtext(&at, "HI");
  });
  const CgmFile f = check_cgm(data);
  ASSERT_TRUE(f.ok) << f.why;
  int lines = 0, x0 = 99999, y0 = 99999, x1 = -99999, y1 = -99999;
  for (const Element& e : f.elements) {
    if (e.cls != 4) continue;
    ++lines;
    for (auto p : points_of(e)) {
      x0 = std::min(x0, p[0]), y0 = std::min(y0, p[1]), x1 = std::max(x1, p[0]), y1 = std::max(y1, p[1]);
      EXPECT_TRUE(p[0] >= f.extent[0] && p[0] <= f.extent[2] && p[1] >= f.extent[1] && p[1] <= f.extent[3]);
    }
  }
  EXPECT_EQ(lines, 1 + 3 + 1) << "the frame and the strokes of H and I; no fill, no marker";
  EXPECT_LE(x0 - f.extent[0], 1);
  EXPECT_LE(y0 - f.extent[1], 1);
  EXPECT_LE(f.extent[2] - x1, 1) << "the frame reaches the right of the extent";
  EXPECT_LE(f.extent[3] - y1, 1) << "and its top";
}

TEST(Cgm, LongPolylineIsSplitIntoElementsThatShareAPoint) {
  const CgmFile f = check_cgm(cgm_of([] {
    std::vector<Gpt> pts(10000);
    for (size_t i = 0; i < pts.size(); ++i)
      pts[i] = Gpt{static_cast<float>(i % 2) * 0.5f, static_cast<float>(i) / 10000};
    gpolyline(static_cast<Gint>(pts.size()), pts.data());
  }));
  ASSERT_TRUE(f.ok) << f.why;
  std::vector<std::vector<std::array<int, 2>>> lines;
  for (const Element& e : f.elements)
    if (e.cls == 4) lines.push_back(points_of(e));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 8191u);
  EXPECT_EQ(lines[1].size(), 10000u - 8190u);
  EXPECT_EQ(lines[0].back(), lines[1].front());
}

TEST(Cgm, GeometryNamesAndTheFormAfterClosing) {
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    check(chdir(dir.path().c_str()) == 0, "into the folder");
    unsetenv("kezmeta_out");
    check(open_meta(",cgm") == 0 && gmeta_get_type() == 1, "CGM by option");
    check(gcgm_set_type(1) == 0 && gcgm_set_type(1) == -1, "a line type in force gives -1");
    gclose_ws(1);
    check(gmeta_get_type() == 0, "the text form after the CGM closed");
    check(open_meta("") == 0, "text metafile by default");
    gclose_ws(1);
    setenv("kezmeta_out", "env.cgm", 1);
    RES_put("geometry", "P2x2+1+0");
    check(open_meta(",cgm") == 0, "named by kezmeta_out");
    gclose_ws(1);
    check(open_meta("named.cgm,kez,cgm") == 0 && gmeta_get_type() == 1, "named by item 1, later items win");
    gclose_ws(1);
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(check_cgm(read_file(dir.file("kez.cgm"))).ok);
  EXPECT_EQ(read_file(dir.file("kez.meta")).rfind("KEZMETA\n", 0), 0u);
  const CgmFile panel = check_cgm(read_file(dir.file("env.cgm")));
  ASSERT_TRUE(panel.ok) << panel.why;
  EXPECT_EQ(panel.extent, (std::array<int, 4>{500, 400, 999, 799})) << "the upper right panel";
  EXPECT_TRUE(check_cgm(read_file(dir.file("named.cgm"))).ok);
}

TEST(Cgm, OpenFailureIsReported) {
  TempDir dir;
  write_file(dir.file("plain"), "x");
  auto r = run_child([&] { return open_meta(dir.file("plain") + "/x.cgm,cgm") == -1 && !gchk_graphics() ? 0 : 1; });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("gopen_ws: unable to open metafile " + dir.file("plain") + "/x.cgm: Not a directory\n"),
            std::string::npos)
      << r.err;
}

} // namespace
