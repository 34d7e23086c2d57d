#include "gks.h"
#include "kezgks.h"
#include "kezsfc.h"
#include "kez_test.h"
#include "ps_render.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

const std::string fixtures = KEZ_SOURCE_DIR "/tests/sfc/data/";

/* North America on a polar stereographic map, 6000 by 4000 km. */
Domain america() {
  Domain d;
  DOM_init(&d);
  d.proj = MAP_PSTEREO;
  d.plat = 90;
  d.plon = -95;
  d.clat = 42;
  d.clon = -92;
  d.dx = 1;
  d.dy = 1;
  d.nx = 61;
  d.ny = 41;
  return d;
}

/* The page: portrait EPS, the map on the unit square's lower part, one
 * point of the page a 575th of the unit. */
constexpr float PAGE = 575;
constexpr float MAP_H = 40.0f / 60.0f;

struct Plot {
  MAP_limits lim{};
  /* Page point of a position. */
  std::array<int, 2> at(float lat, float lon) const {
    float x = 0, y = 0;
    MAP_tran(lat, lon, &x, &y);
    return {static_cast<int>(std::lround((x - lim.x_min) / (lim.x_max - lim.x_min) * PAGE)),
            static_cast<int>(std::lround((y - lim.y_min) / (lim.y_max - lim.y_min) * PAGE * MAP_H))};
  }
};

/* Opens a colour EPS of the map with the suite's colours; the module's
 * resources from res (name=value pairs). */
Plot open_map(const std::string& file, const std::vector<std::pair<std::string, std::string>>& res = {}) {
  RES_put("file_path", KEZ_DATA_DIR);
  for (const auto& [k, v] : res) RES_put(k.c_str(), v.c_str());
  gopen_gks(nullptr, 0);
  gopen_ws(1, (file + ",eps,port,color").c_str(), GWS_PS);
  CLR_read_table(KEZ_DATA_DIR "/kez.clr");
  for (int i = 0; i < CLR_get_num(); ++i) {
    Gcolr_rep rep{};
    CLR_get_rgb(i, &rep.red, &rep.green, &rep.blue);
    gset_colr_rep(1, i, &rep);
  }
  Domain d = america();
  MAP_domain(&d);
  Plot p;
  MAP_get_limits(&p.lim);
  const Glim win{p.lim.x_min, p.lim.x_max, p.lim.y_min, p.lim.y_max}, vp{0, 1, 0, MAP_H};
  gset_win(2, &win);
  gset_vp(2, &vp);
  gsel_norm_tran(2);
  return p;
}

void close_map() {
  gclose_ws(1);
  gclose_gks();
}

/* Draws a bulletin in a child and renders it; the child's run in *run. */
kez_test::Raster draw(const std::string& bulletin_file, const std::vector<std::pair<std::string, std::string>>& res,
                      kez_test::ChildResult* run = nullptr, const Date& date = Date{2024, 3, 5, KEZ_MISS, KEZ_MISS, 14, 0, 0}) {
  TempDir dir;
  const std::string eps = dir.file("f.eps");
  auto r = run_child([&] {
    open_map(eps, res);
    FRT_set_date(&date);
    FRT_plot_file(bulletin_file.c_str());
    close_map();
    return 0;
  });
  if (run) *run = r;
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  kez_test::Raster page;
  auto gs = kez_test::gs_render(eps, static_cast<int>(PAGE), static_cast<int>(PAGE * MAP_H) + 1, &page);
  EXPECT_TRUE(gs.clean()) << gs.log;
  if (const char* keep = std::getenv("KEZ_KEEP_PLOTS"))
    kez_test::run_command("cp " + eps + " " + keep + "/" + std::to_string(std::rand()) + "_frt.eps");
  return page;
}

TEST(FrontPicture, Sample) {
  draw(fixtures + "24030512_frt.dat", {{"plot_param", "barb"}});
}

} // namespace
