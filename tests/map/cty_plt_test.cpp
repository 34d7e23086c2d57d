/*
 * Station plotting: which stations are drawn, with which text and where,
 * read back from the kernel's text metafile.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../data/station_draw.h"
#include "kez.h"
#include "kez_test.h"
#include "kezcty.h"
#include "test_domains.h"

using kez_test::run_child;
using kez_test::us_domain;

namespace {

/* The station plot of a region drawn to the kernel's text metafile; each
 * text as "[text] lat lon" of the position it was drawn at. */
std::string plot(const char* identifier, const char* plot_param, int prior) {
  kez_test::TempDir dir;
  const std::string file = dir.file("stations.meta");
  auto r = run_child([&] {
    RES_put("file_path", KEZ_DATA_DIR);
    if (identifier) RES_put("identifier", identifier);
    if (plot_param) RES_put("plot_param", plot_param);
    if (station_draw::open_meta(file, Glim{0, 1, 0, 1}) != 0) return 200;
    Domain d = us_domain();
    MAP_setup(&d); /* the plot window of the region */
    DOM_set_prior(prior);
    const int status = CTY_plot();
    station_draw::close_meta();
    std::printf("---\n");
    for (const station_draw::Prim& p : station_draw::read_meta(file)) {
      if (p.kind != "TE" || p.pts.empty()) continue;
      float lat = 0;
      float lon = 0;
      MAP_untran(p.pts[0].x, p.pts[0].y, &lat, &lon);
      std::printf("[%s] %.1f %.1f\n", p.text.c_str(), lat, lon);
    }
    return status;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  const size_t texts = r.out.find("---\n");
  return texts == std::string::npos ? r.out : r.out.substr(texts + 4);
}

} // namespace

TEST(StationPlot, IdentifierItemsLabelAndPlaceStations) {
  struct Case {
    const char* identifier;
    const char* want;
    const char* why;
  };
  const Case cases[] = {
      {"DEN:Mile_High", "[Mile High] 39.9 -104.7\n", "label at the station"},
      {"DEN:39.7:-104.9:Home", "[Home] 39.7 -104.9\n", "label and position of the item"},
      {"XYZ:40:-100:Center", "[Center] 40.0 -100.0\n", "a place no station matches"},
      {"XYZ:40:-100", "[XYZ] 40.0 -100.0\n", "its filter part names it"},
      {"DEN", "[DEN] 39.9 -104.7\n", "plain identifier"},
  };
  for (const Case& c : cases) EXPECT_EQ(plot(c.identifier, nullptr, 9), c.want) << c.why;
}

TEST(StationPlot, FilterTermsKeepTheirColon) {
  const std::string out = plot("ST:CO", nullptr, 1);
  EXPECT_NE(out.find("[DEN]"), std::string::npos) << out;
  EXPECT_EQ(out.find("[CO]"), std::string::npos) << out;
  EXPECT_EQ(out.find("[ORD]"), std::string::npos) << out;
}

TEST(StationPlot, PlotParamChoosesTheText) {
  EXPECT_NE(plot("DEN", "wmo", 9).find("[99999]"), std::string::npos);
  EXPECT_NE(plot("DEN", "num", 9).find("[0]"), std::string::npos);
  EXPECT_EQ(plot("DEN", "nzero", 9), "");
  EXPECT_NE(plot("DEN", "nzero=0", 9).find("[DEN]"), std::string::npos);
}
