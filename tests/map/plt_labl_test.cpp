/*
 * Corner labels: the store of texts per position and overlay, the compact
 * label types, the label escapes and the "label" resource, and the drawing
 * of the labels on a PostScript page.
 */
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "gks.h"
#include "kez.h"
#include "kez_test.h"
#include "kezcont.h"
#include "kezgks.h"
#include "ps_render.h"

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;

class Labels : public ::testing::Test {
 protected:
  void SetUp() override {
    PLT_set_overlay(0);
    PLT_set_overlay_base(0);
    PLT_set_label_type(PLT_LAB_NORM);
    PLT_init_labels();
  }
};

TEST_F(Labels, EachFieldWritesItsOwnOverlayInNormalType) {
  PLT_label_up_left("first");
  EXPECT_EQ(PLT_next_overlay(), 1);
  PLT_label_up_left("second");
  EXPECT_STREQ(PLT_get_label(0, 0), "first");
  EXPECT_STREQ(PLT_get_label(0, 1), "second");
  EXPECT_EQ(PLT_get_num_over(), 1);
  EXPECT_EQ(PLT_get_label_type(), PLT_LAB_NORM);
}

TEST_F(Labels, CompactTypeAppendsLaterFieldsToTheFirstLine) {
  PLT_set_label_type(PLT_LAB_SIMP);
  PLT_label_low_right("temp");
  EXPECT_EQ(PLT_next_overlay(), 1);
  EXPECT_EQ(PLT_get_label_type(), PLT_LAB_MIN);
  PLT_label_low_right("dewp");
  EXPECT_STREQ(PLT_get_label(5, 0), "temp dewp");
  EXPECT_STREQ(PLT_get_label(5, 1), "");
  /* A third call of the same overlay replaces the second's append. */
  PLT_label_low_right("wind");
  EXPECT_STREQ(PLT_get_label(5, 0), "temp wind");
  /* An append that would reach 60 characters is not made. */
  PLT_label_low_right(std::string(56, 'x').c_str());
  EXPECT_STREQ(PLT_get_label(5, 0), "temp wind");
}

TEST_F(Labels, SixOverlaysThenNoMore) {
  for (int i = 0; i < 6; ++i) {
    PLT_label_up_center(("field " + std::to_string(i)).c_str());
    EXPECT_EQ(PLT_next_overlay(), i + 1);
  }
  EXPECT_EQ(PLT_get_num_over(), 6);
  PLT_label_up_center("seventh");
  for (int i = 0; i < 6; ++i) EXPECT_EQ(PLT_get_label(1, i), "field " + std::to_string(i));
  EXPECT_EQ(PLT_next_overlay(), -1);

  /* In a compact type the seventh still appends. */
  SetUp();
  PLT_set_label_type(PLT_LAB_SIMP);
  for (int i = 0; i < 6; ++i) {
    PLT_label_up_center("a");
    PLT_next_overlay();
  }
  PLT_label_up_center("z");
  EXPECT_STREQ(PLT_get_label(1, 0), "a a a a a a z");
}

TEST_F(Labels, LongTextsAreCutNotDropped) {
  const std::string long_text(100, 'q');
  PLT_label_up_left(long_text.c_str());
  EXPECT_EQ(std::string(PLT_get_label(0, 0)), long_text.substr(0, PLT_LABEL_MAX));
  PLT_label_up_left(nullptr);
  EXPECT_STREQ(PLT_get_label(0, 0), "");
  EXPECT_STREQ(PLT_get_label(6, 0), "");
  EXPECT_STREQ(PLT_get_label(0, -1), "");
}

TEST_F(Labels, OverlaySettersClampAndRaiseTheCount) {
  PLT_set_overlay(9);
  EXPECT_EQ(PLT_get_overlay(), 5);
  EXPECT_EQ(PLT_get_num_over(), 5);
  PLT_set_num_overlay(2);
  EXPECT_EQ(PLT_get_num_over(), 5);
  PLT_set_num_overlay(-2);
  EXPECT_EQ(PLT_get_num_over(), 2);
  PLT_set_overlay_base(7);
  EXPECT_EQ(PLT_get_overlay_base(), 5);
  PLT_set_overlay_base(0);
  PLT_set_overlay(0);
}

TEST_F(Labels, EscapesExpandFromTheStoredDate) {
  const Date date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 18, 7, 0};
  PLT_label_date(&date);
  PLT_label_for_time(0);
  const std::string month = std::string(DATE_month(3)).substr(0, 3);
  struct Case {
    const char* form;
    std::string want;
    const char* why;
  };
  const Case cases[] = {
      {"%y%m%d/%h", "240305/18", "two-digit fields"},   {"%n", "07", "minute"},
      {"%b", month, "month name, three letters"},       {"%%", "%", "a literal percent"},
      {"a_b", "a b", "underscore is a blank"},          {"x%qy", "xy", "unknown escape gives nothing"},
      {"end%", "end", "a final percent ends the text"},
  };
  for (const Case& c : cases) {
    char out[PLT_FORMAT_LEN];
    PLT_label_format(c.form, out);
    EXPECT_EQ(out, c.want) << c.why;
  }
  char label[DATE_LABEL_LEN];
  DATE_make_label(&date, label);
  EXPECT_EQ(PLT_label_format("%D"), label);
}

TEST_F(Labels, ExpansionIsBounded) {
  const Date date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 18, 0, 0};
  PLT_label_date(&date);
  std::string form;
  for (int i = 0; i < 40; ++i) form += "%D";
  char out[PLT_FORMAT_LEN + 8];
  std::fill(out, out + sizeof out, '#');
  PLT_label_format(form.c_str(), out);
  EXPECT_EQ(std::string(out).size(), static_cast<size_t>(PLT_FORMAT_LEN - 1));
  EXPECT_EQ(out[PLT_FORMAT_LEN], '#');
}

/* A PostScript plot that puts on its labels; returns PLT_labels' result
 * in the child's status (0 or 255). */
int labelled_plot(const std::string& file, const char* plot_param, const char* label) {
  RES_put("file_path", KEZ_DATA_DIR);
  RES_put("device", ("p," + file).c_str());
  if (plot_param) RES_put("plot_param", plot_param);
  if (label) RES_put("label", label);
  if (PLT_open(0) != 0) return 2;
  const Date date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 18, 0, 0};
  PLT_label_date(&date);
  PLT_label_up_left("upper left");
  PLT_label_low_left("lower left");
  const int r = PLT_labels();
  std::printf("ur=%s ll1=%s num=%d\n", PLT_get_label(2, 0), PLT_get_label(3, 1), PLT_get_num_over());
  PLT_close();
  return r == 0 ? 0 : 3;
}

TEST(LabelDrawing, LabelResourceAndRoomOfThePage) {
  TempDir dir;
  struct Case {
    const char* plot_param;
    const char* label;
    int status;
    const char* out;
    const char* why;
  };
  const Case cases[] = {
      {nullptr, "ur:%y%m%d/%h,ll1:Second", 0, "ur=240305/18 ll1=Second num=1", "default margins leave room"},
      {"full", nullptr, 3, "ur= ll1= num=0", "no margins: border only, no room"},
      {"fullab", nullptr, 0, "ur= ll1= num=0", "labels inside the plot area"},
  };
  for (const Case& c : cases) {
    const std::string file = dir.file("l.ps");
    auto r = run_child([&] { return labelled_plot(file, c.plot_param, c.label); });
    EXPECT_EQ(r.status, c.status) << c.why << r.out << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << c.why << ": " << r.out;
    const std::string ps = read_file(file);
    EXPECT_NE(ps.find("%Message: Labels"), std::string::npos) << c.why;
    EXPECT_EQ(kez_test::run_command("gs -q -dNOPAUSE -dBATCH -sDEVICE=nullpage " + file + " 2>&1"), 0) << c.why;
  }
}

} // namespace

namespace {

/* A plot of only the border (label nullptr) or only one label at position
 * lab; returns ghostscript's bounding box of the page. */
std::array<int, 4> drawn_box(const std::string& file, const char* plot_param, int lab, const char* label,
                             bool bar = false) {
  auto r = run_child([&] {
    if (bar) {
      CONT_set_bar(1);
    }
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("p," + file + ",port").c_str());
    RES_put("plot_param", plot_param);
    if (PLT_open(1) != 0) return 2;
    if (label) {
      PLT_border(0);
      PLT_set_overlay(0);
      PLT_label_strcpy(lab, label);
    }
    PLT_labels();
    PLT_close();
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  std::array<int, 4> box{};
  EXPECT_TRUE(kez_test::gs_bbox(file, &box).clean());
  return box;
}

TEST(LabelDrawing, LabelsLieOutsideTheAreaOrInsideWithFullab) {
  TempDir dir;
  const std::string file = dir.file("b.ps");
  for (const char* param : {"", "fullab"}) {
    const auto area = drawn_box(file, param, 0, nullptr);
    const auto upper = drawn_box(file, param, 0, "UPPER LEFT");
    const auto lower = drawn_box(file, param, 5, "LOWER RIGHT");
    const bool inside = *param != '\0';
    /* Boxes are x0 y0 x1 y1 in points. */
    EXPECT_GE(upper[0], area[0]) << param;
    EXPECT_LT(upper[2], (area[0] + area[2]) / 2) << param << ": upper left stays on the left half";
    EXPECT_GT(lower[0], (area[0] + area[2]) / 2) << param << ": lower right on the right half";
    EXPECT_LE(lower[2], area[2]) << param;
    if (inside) {
      EXPECT_LE(upper[3], area[3]) << param;
      EXPECT_GE(lower[1], area[1]) << param;
    } else {
      EXPECT_GE(upper[1], area[3] - 1) << param << ": above the area";
      EXPECT_LE(lower[3], area[1] + 1) << param << ": below the area";
    }
  }
}

TEST(LabelDrawing, AColourBarTakesTheLowerLeftAndCentre) {
  TempDir dir;
  const std::string file = dir.file("c.ps");
  const std::array<int, 4> nothing{0, 0, 0, 0};
  EXPECT_EQ(drawn_box(file, "", 3, "LOWER LEFT", true), nothing);
  EXPECT_EQ(drawn_box(file, "", 4, "LOWER CENTRE", true), nothing);
  EXPECT_NE(drawn_box(file, "", 5, "LOWER RIGHT", true), nothing);
  EXPECT_NE(drawn_box(file, "", 3, "LOWER LEFT", false), nothing);
}

TEST(LabelDrawing, ResetFoldsTheLabelTypeAndMessagesAreBounded) {
  TempDir dir;
  const std::string file = dir.file("m.ps");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    RES_put("device", ("p," + file).c_str());
    if (PLT_open(0) != 0) return 2;
    PLT_set_label_type(-3);
    PLT_reset(0);
    std::printf("%d ", PLT_get_label_type());
    PLT_set_label_type(4);
    PLT_reset(0);
    std::printf("%d\n", PLT_get_label_type());
    PLT_mess("%s", std::string(200, 'm').c_str());
    PLT_close();
    return 0;
  });
  EXPECT_NE(r.out.find("-1 1\n"), std::string::npos) << r.out << r.err;
  const std::string ps = read_file(file);
  EXPECT_NE(ps.find("%Message: " + std::string(PLT_MESS_LEN - 1, 'm') + "\n"), std::string::npos);
}

} // namespace
