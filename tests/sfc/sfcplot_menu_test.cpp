/*
 * The surface plotting program's variable menu, data/sfcplot.var: it reads
 * as a menu through the variable-file reader, every entry parses into
 * records whose names the surface variables know, and its first entry (the
 * one batch mode plots) is the station model laid out as forecasters know
 * it.
 */
#include "kez.h"
#include "kez_test.h"
#include "kezraw.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using kez_test::run_child;

/* The abbreviations of the shown menu entries, in menu order, as the
 * menu's "?" listing gives them ("back" first). */
std::vector<std::string> menu_abbreviations() {
  auto r = run_child(
      [] {
        RES_put("file_path", KEZ_DATA_DIR);
        if (VAR_open_file("sfcplot.var") != 1 || VAR_read_menu() != 1) return 2;
        FLAG_set_batch(0);
        char answer[MENU_STRING_LEN] = "";
        VAR_menu("Variable Menu", "Enter: ", answer, 0);
        return 0;
      },
      "?\n\n");
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> abbrs;
  const size_t at = r.out.find("back,");
  if (at == std::string::npos) return abbrs;
  const std::string list = r.out.substr(at, r.out.find('\n', at) - at);
  for (size_t a = 0; a <= list.size();) {
    size_t b = list.find(',', a);
    if (b == std::string::npos) b = list.size();
    abbrs.push_back(list.substr(a, b - a));
    a = b + 1;
  }
  return abbrs;
}

/* Parses a list as the program does: surface level, the menu file open. */
void setup(const std::string& list) {
  RES_put("file_path", KEZ_DATA_DIR);
  ASSERT_EQ(VAR_open_file("sfcplot.var"), 1);
  FLAG_set(FLAG_LEVEL_TYPE, 1);
  std::string text = list;
  ASSERT_EQ(VAR_setup(nullptr, text.data()), 1) << list;
}

int kind(int ind) { return VAR_get_flag(ind) % 10; }

TEST(SfcplotMenu, EveryEntryParsesIntoKnownSurfaceVariables) {
  const std::vector<std::string> abbrs = menu_abbreviations();
  ASSERT_GT(abbrs.size(), 10u) << "the menu lists its entries";
  EXPECT_EQ(abbrs[0], "back");
  EXPECT_EQ(abbrs[1], "stnmdl") << "batch mode without a variable plots the station model";
  for (size_t e = 1; e < abbrs.size(); ++e) {
    SCOPED_TRACE(abbrs[e]);
    setup(abbrs[e]);
    ASSERT_GT(VAR_get_num(), 0);
    for (int i = 0; i < VAR_get_num(); ++i) {
      if (kind(i) == VAR_KIND_COMP) continue; /* a group's header draws only its label */
      VAR_data* var = VAR_get_var(i);
      ASSERT_NE(var, nullptr);
      EXPECT_EQ(kind(i) == VAR_KIND_REG || kind(i) == VAR_KIND_SUBREG, true) << var->name;
      SFC_report report;
      SFC_initialize(&report);
      RAW_data datum;
      RAW_data_init(&datum);
      VAR_data probe = *var;
      EXPECT_EQ(SFC_get_data(&report, &probe, &datum), 1) << "unknown surface variable " << var->name;
      /* station data, or a field analysed from them */
      const int t = VAR_get_type(i);
      EXPECT_TRUE(t == VAR_TYPE_VALUE || t == VAR_TYPE_TEXT || t == VAR_TYPE_SYMB || t == VAR_TYPE_CLOUD ||
                  t == VAR_TYPE_WBARB || t == VAR_TYPE_CBARB || t == VAR_TYPE_LCONT || t == VAR_TYPE_FCONT)
          << var->name << " type " << t;
    }
  }
}

/* Where a member of the station model is drawn: its offset from the
 * station in plot heights, its alignment and its size factor. */
struct Placed {
  int type;
  float x, y; /* offset times scale */
  int hor;
  float text_size; /* scale times height factor */
};

TEST(SfcplotMenu, StationModelIsLaidOutAsForecastersKnowIt) {
  setup("stnmdl");
  ASSERT_EQ(kind(0), VAR_KIND_COMP) << "one group";
  std::map<std::string, Placed> at;
  for (int i = 1; i < VAR_get_num(); ++i) {
    EXPECT_EQ(kind(i), VAR_KIND_SUBREG) << VAR_get_name(i);
    RAW_attribs a;
    RAW_init_attrib(&a);
    std::string fmt = VAR_get_format(i);
    int type = RAW_parse_format(&a, fmt.c_str());
    if (type == 0) type = VAR_get_type(i);
    const float height = a.attrib.height == KEZ_FMISS ? 1.0f : a.attrib.height;
    at[VAR_get_name(i)] = {type, a.x * a.scale, a.y * a.scale, a.hor, a.scale * height};
  }
  ASSERT_EQ(at.size(), 7u);
  const Placed& t = at["temp"];
  const Placed& td = at["dewp"];
  const Placed& p = at["pralt"];
  const Placed& wx = at["wx"];
  const Placed& vis = at["vis"];
  const Placed& sky = at["cldcv"];
  const Placed& wind = at["wind"];
  /* temperature upper left, dew point lower left, pressure code upper right */
  EXPECT_TRUE(t.x < 0 && t.y > 0 && t.hor == GRIGHT_HOR) << t.x << " " << t.y;
  EXPECT_TRUE(td.x < 0 && td.y < 0 && td.hor == GRIGHT_HOR) << td.x << " " << td.y;
  EXPECT_TRUE(p.x > 0 && p.y > 0 && p.hor == GLEFT_HOR) << p.x << " " << p.y;
  EXPECT_EQ(t.type, VAR_TYPE_VALUE);
  EXPECT_EQ(td.type, VAR_TYPE_VALUE);
  EXPECT_EQ(p.type, VAR_TYPE_TEXT) << "the three-digit code is the datum's text";
  /* sky cover at the station, the barb leaving room for its circle */
  EXPECT_EQ(sky.type, VAR_TYPE_CLOUD);
  EXPECT_EQ(sky.x, 0.0f);
  EXPECT_EQ(sky.y, 0.0f);
  EXPECT_EQ(wind.type, VAR_TYPE_CBARB);
  /* the weather symbol left of the circle (radius 0.01, symbol 0.03 wide,
   * drawn leftwards of its point), the visibility left of the symbol at
   * the ordinary text size */
  EXPECT_EQ(wx.type, VAR_TYPE_SYMB);
  EXPECT_EQ(wx.hor, GRIGHT_HOR);
  EXPECT_EQ(wx.y, 0.0f);
  EXPECT_LE(wx.x, -0.01f);
  EXPECT_EQ(vis.type, VAR_TYPE_TEXT);
  EXPECT_EQ(vis.hor, GRIGHT_HOR);
  EXPECT_EQ(vis.y, 0.0f);
  EXPECT_LE(vis.x, wx.x - 0.03f);
  EXPECT_NEAR(vis.text_size, 1.0f, 0.01f);
}

} // namespace
