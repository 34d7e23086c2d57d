/*
 * The demo's defaults file, data/demo.def, through the defaults reader:
 * both of its branches give a batch run of the station model over a domain
 * that holds the sample's stations, the plain one a PostScript page, the
 * "frames" one PNG images of a six-hour sequence in a window.
 */
#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using kez_test::run_child;

/* The resource lines the reader takes, as "name=value" lines, with the
 * "frames" tag defined or not. */
std::map<std::string, std::string> demo_defaults(bool frames) {
  auto r = run_child([frames] {
    DEF_clr_tag();
    if (frames) DEF_tag("frames");
    if (DEF_open(KEZ_DATA_DIR "/demo.def") != 0) return 2;
    std::string name, value;
    while (DEF_get(&name, &value) == 1) std::printf("%s=%s\n", name.c_str(), value.c_str());
    DEF_close();
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "no directive warnings";
  std::map<std::string, std::string> got;
  for (size_t a = 0, b; (b = r.out.find('\n', a)) != std::string::npos; a = b + 1) {
    const std::string line = r.out.substr(a, b - a);
    const size_t eq = line.find('=');
    EXPECT_EQ(got.count(line.substr(0, eq)), 0u) << "set once: " << line;
    got[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return got;
}

TEST(DemoDefaults, BothBranchesPlotStationModelsOverIsobarsInBatch) {
  for (bool frames : {false, true}) {
    SCOPED_TRACE(frames ? "frames" : "page");
    auto d = demo_defaults(frames);
    EXPECT_EQ(d["*batch"], "yes");
    EXPECT_EQ(d["*variable"], "stnslp") << "station models over sea-level isobars";
    EXPECT_EQ(d["*data_path"], "data/sample");
    EXPECT_EQ(d["*current"], "#2011101100") << "the sample's last hour";
    ASSERT_EQ(d.count("*plot_domain"), 1u);
    if (frames) {
      EXPECT_EQ(d["*device"], "x");
      EXPECT_EQ(d["*num_hour"], "-5") << "the five hours before as well";
      EXPECT_EQ(d["*out_file"].rfind("png=", 0), 0u) << "a PNG image per frame";
      EXPECT_NE(d["*out_file"].find("%i"), std::string::npos) << "named by the frame";
    } else {
      EXPECT_EQ(d["*device"].rfind("p,", 0), 0u) << "PostScript";
      EXPECT_EQ(d.count("*num_hour"), 0u) << "one hour";
      EXPECT_EQ(d.count("*out_file"), 0u);
    }
  }
}

TEST(DemoDefaults, DomainHoldsTheSampleStations) {
  auto d = demo_defaults(false);
  Domain dom;
  DOM_init(&dom);
  ASSERT_EQ(DOM_decode(d["*plot_domain"].c_str(), &dom), 1);
  MAP_setup(&dom);
  /* the sample's corners and middle: Seattle, Miami, Goose Bay, Monterrey,
   * Denver */
  const struct {
    const char* name;
    float lat, lon;
  } places[] = {
      {"SEA", 47.45f, -122.31f},  {"MIA", 25.79f, -80.29f},  {"CYYR", 53.32f, -60.42f},
      {"MMMY", 25.78f, -100.11f}, {"DEN", 39.86f, -104.67f},
  };
  for (const auto& p : places) {
    float x = 0, y = 0;
    ASSERT_EQ(MAP_tran(p.lat, p.lon, &x, &y), 1) << p.name;
    EXPECT_EQ(MAP_in_domain(x, y), 1) << p.name;
  }
}

} // namespace
