/* A published station sounding through the whole chain: written as a text
 * report, read back, merged with the bundled station table, analysed, and
 * compared with the indices published beside it (Norman, Oklahoma, 4 May
 * 1999 00 UTC; the values of the archive's station page).
 *
 * What the method cannot reproduce, and so is not checked closer:
 * - temperatures travel in the report's groups to a tenth of a degree (even
 *   tenths above 0, odd below) and dew-point depressions above 5 degrees to
 *   whole degrees, so levels between the mandatory ones move by up to 0.1
 *   and 0.5 degrees; heights of those levels are rebuilt hydrostatically
 *   and winds keep whole thousands of feet and five-degree directions;
 * - precipitable water sums the specific humidity of dew points so
 *   rounded (hence 2 %);
 * - CAPE: the recorded sounding ends at 251 hPa with the parcel still some
 *   10 degrees warmer than the air, so the area above it, which the page
 *   took from its full sounding, is missing here; the ascent also steps
 *   10 hPa on a saturated adiabat of its own formulas (hence 3 %);
 * - the inhibition and the LFC hang on the shallow warm layer near 790 hPa,
 *   which the groups round and the 10 hPa steps sample coarsely: they are
 *   checked to 10 % and 5 hPa;
 * - the values with the virtual-temperature correction (CAPE 2381.9,
 *   CIN 64.6 J/kg) are not what the method computes. */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;

std::vector<UPA_level> published() {
  std::vector<UPA_level> s;
  std::ifstream in(std::string(KEZ_SOURCE_DIR) + "/tests/upa/data/OUN990504.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    UPA_level l;
    if (w >> l.p >> l.h >> l.t >> l.td >> l.dir >> l.spd) s.push_back(l);
  }
  return s;
}

/* The report a station would send: mandatory levels with their heights, the
 * levels with a temperature as significant levels (the surface first), and
 * the winds at whole thousands of feet. No elevation or position: the
 * station table gives them. */
std::unique_ptr<UPA_report> report_of(const std::vector<UPA_level>& s) {
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  std::snprintf(r->id, sizeof r->id, "OUN");
  r->wmo = 72357;
  r->numman = UPA_NUM_MAN;
  const float ground = 345;
  for (const UPA_level& l : s) {
    const int slot = UPA_mandatory(l.p);
    if (slot > 0) r->man[slot] = l;
    if (l.t == M) continue;
    if (r->numsig == 0) {
      r->man[UPA_SLOT_SFC] = {l.p, M, l.t, l.td, l.dir, l.spd};
      r->wnd[r->numwnd++] = {0, l.dir, l.spd};
    }
    r->sig[r->numsig++] = {l.p, l.t, l.td};
    const float ft = l.h * UPA_M_TO_FT;
    const float thousand = std::round(ft / 1000) * 1000;
    if (l.h > ground && l.dir != M && std::fabs(ft - thousand) < 20) r->wnd[r->numwnd++] = {thousand, l.dir, l.spd};
  }
  return r;
}

int verdict() { return ::testing::Test::HasFailure() ? 1 : 0; }

TEST(PublishedSounding, NormanIndicesAgreeWithThePublishedValues) {
  kez_test::TempDir dir;
  const std::string file = dir.file("oun.upa");
  auto r = kez_test::run_child([&] {
    const auto s = published();
    EXPECT_EQ(s.size(), 32u);
    auto rep = report_of(s);
    int type = UPA_FT_OPEN_LOC;
    int fd = UPA_open(file.c_str(), UPA_ACC_WRITE, &type);
    UPA_info info{};
    std::snprintf(info.datim, sizeof info.datim, "00Z  4 MAY 99");
    UPA_putinfo(fd, &info);
    int n = 0;
    EXPECT_EQ(UPA_write(fd, rep.get(), UPA_REP_FULL, &n), 0);
    UPA_close(fd);

    /* The bundled table, where a sounding program finds it. */
    RES_put("file_path", KEZ_DATA_DIR);
    EXPECT_EQ(UPA_open_file(file.c_str()), 1);
    auto got = std::make_unique<UPA_report>();
    UPA_initialize(got.get());
    EXPECT_EQ(UPA_get_station("OUN", got.get()), 1);
    EXPECT_EQ(UPA_merge_report(got.get()), 1);
    EXPECT_EQ(got->elev, 345) << "the station table's elevation";
    EXPECT_NEAR(got->lat, 35.18, 0.01);
    EXPECT_NEAR(got->lon, -97.44, 0.01);
    THERM_calc();
    const THERM_values& v = *THERM_get_values();

    UPA_level* sm = THERM_get_SM();
    const int num = THERM_get_SM_num();
    const float ground = THERM_get_sfc()->h;
    EXPECT_EQ(ground, 345);
    /* The page's parcel: the lowest 500 m mixed, no virtual temperature. */
    constexpr float depth = 500;
    PARCEL_params pp{};
    EXPECT_EQ(parcel_calc(sm, num, nullptr, UPA_CO_HGT, ground, depth, &pp), 1);
    UPA_level l500;
    UPA_interp(sm, num, UPA_CO_PRES, 500, &l500);
    const float li = lifted_index(sm, num, UPA_CO_HGT, ground, depth, l500.h);

    const struct {
      const char* what;
      double got, published, tolerance;
    } rows[] = {
        {"K index", v.k, 27.40, 0.005},
        {"Totals totals", v.tt, 59.30, 0.005},
        {"Vertical totals", vertical_totals(sm, num), 31.90, 0.005},
        {"Cross totals", cross_totals(sm, num), 27.40, 0.005},
        /* the terms add up to 555.50; the page's own rounding shows 555.49 */
        {"SWEAT index", v.sweat, 555.49, 0.011},
        {"1000-500 hPa thickness (m)", v.thick, 5677, 0.5},
        {"Precipitable water (mm)", v.precip * 25.4, 26.86, 0.02 * 26.86},
        {"Showalter index", v.si, -6.51, 0.15},
        {"Lifted index", li, -8.04, 0.15},
        {"LCL pressure (hPa)", pp.plcl, 895.98, 1},
        {"CAPE (J/kg)", pp.Bplus, 2252.3, 0.03 * 2252.3},
        {"CIN (J/kg)", pp.Bminus, 120.6, 0.1 * 120.6},
        {"LFC (hPa)", pp.lfc, 712.9, 5},
    };
    std::printf("%-28s %10s %10s\n", "index", "computed", "published");
    for (const auto& row : rows) {
      std::printf("%-28s %10.2f %10.2f\n", row.what, row.got, row.published);
      EXPECT_NEAR(row.got, row.published, row.tolerance) << row.what;
    }
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::printf("%s", r.out.c_str());
}

} // namespace
