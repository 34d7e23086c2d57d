/* Parcel ascent and the thermodynamic indices of a sounding. */
#include "kez_test.h"
#include "kezupa.h"
#include "sounding_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr float M = KEZ_FMISS;

/* Relative agreement, with a floor for values near zero. */
void expect_rel(double got, double want, double rel, double floor, const std::string& what) {
  EXPECT_NEAR(got, want, std::fmax(std::fabs(want) * rel, floor)) << what;
}

struct Named {
  const char* name;
  const std::vector<UPA_level>* s;
};

const Named kSoundings[] = {
    {"strong", &fixtures::kStrong},
    {"weak", &fixtures::kWeak},
    {"capped", &fixtures::kCapped},
    {"stable", &fixtures::kStable},
};

void expect_ascent(const PARCEL_params& pp, std::map<std::string, double>& ref, const std::string& tag) {
  auto r = [&](const char* k) { return ref.at(tag + "_" + k); };
  EXPECT_NEAR(pp.plcl, r("plcl"), 1.0) << tag << " LCL";
  EXPECT_NEAR(pp.tlcl, r("tlcl"), 0.05) << tag << " LCL temperature";
  EXPECT_NEAR(pp.lfc, r("lfc"), 1.0) << tag << " LFC";
  EXPECT_NEAR(pp.el, r("el"), 1.0) << tag << " EL";
  EXPECT_NEAR(pp.mpl, r("mpl"), 1.0) << tag << " MPL";
  EXPECT_NEAR(pp.cap, r("cap"), 0.05) << tag << " cap";
  expect_rel(pp.Bplus, r("bplus"), 0.005, 0.05, tag + " CAPE");
  expect_rel(pp.Bminus, r("bminus"), 0.005, 0.05, tag + " CIN");
  expect_rel(pp.wmax, r("wmax"), 0.005, 0.01, tag + " wmax");
  if (r("bel") == M)
    EXPECT_EQ(pp.Bel, M) << tag;
  else
    expect_rel(pp.Bel, r("bel"), 0.005, 0.05, tag + " buoyancy at the EL");
  if (r("bmpl") == M)
    EXPECT_EQ(pp.Bmpl, M) << tag;
  else
    expect_rel(pp.Bmpl, r("bmpl"), 0.005, 0.5, tag + " buoyancy at the MPL");
}

TEST(UaParcel, AgreesWithTheNumpyReference) {
  for (const auto& n : kSoundings) {
    SCOPED_TRACE(n.name);
    std::vector<UPA_level> s = *n.s;
    const int num = static_cast<int>(s.size());
    auto ref = fixtures::reference(s, WIND{240, 25});
    ASSERT_FALSE(ref.empty()) << "the reference did not run";

    PARCEL_params sfc{};
    EXPECT_EQ(parcel_calc(s.data(), num, nullptr, UPA_CO_PRES, s[0].p, 0, &sfc), 1);
    expect_ascent(sfc, ref, "sfc");
    PARCEL_params ml{};
    EXPECT_EQ(parcel_calc(s.data(), num, nullptr, UPA_CO_PRES, s[0].p, 100, &ml), 1);
    expect_ascent(ml, ref, "ml");

    EXPECT_NEAR(cap_strength(s.data(), num, UPA_CO_PRES, s[0].p, 0), ref.at("capstr"), 0.05);
    EXPECT_NEAR(lifted_index(s.data(), num, UPA_CO_PRES, s[0].p, 0, 500), ref.at("li"), 0.05);
    EXPECT_NEAR(lifted_index(s.data(), num, UPA_CO_PRES, s[0].p, 100, 500), ref.at("li_ml"), 0.05);
    EXPECT_NEAR(lifted_index(s.data(), num, UPA_CO_PRES, 850, 0, 500), ref.at("si"), 0.05) << "Showalter";
    EXPECT_NEAR(total_totals(s.data(), num), ref.at("tt"), 0.01);
    EXPECT_NEAR(vertical_totals(s.data(), num), ref.at("vt"), 0.01);
    EXPECT_NEAR(cross_totals(s.data(), num), ref.at("ct"), 0.01);
    EXPECT_NEAR(k_index(s.data(), num), ref.at("k"), 0.01);
    EXPECT_NEAR(sweat_index(s.data(), num), ref.at("sweat"), 0.01);
    EXPECT_NEAR(energy_index(s.data(), num), ref.at("ei"), 0.01);
  }
}

} // namespace
