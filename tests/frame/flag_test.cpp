#include "kez.h"
#include "kez_checks.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using kez_test::Checks;
using kez_test::run_child;

std::array<int, 13> parts() {
  std::array<int, 13> p{};
  for (int i = 0; i < 13; ++i) p[static_cast<size_t>(i)] = FLAG_getplot(i);
  return p;
}

TEST(Flags, StartAtZeroAndRefuseBadIndexes) {
  auto r = run_child([] {
    Checks check;
    check(FLAG_get(2) == 0, "device flag starts at 0");
    check(FLAG_batch() == 0 && FLAG_help() == 0, "batch and help start off");
    FLAG_reset(-9999);
    check(FLAG_get(2) == -9999 && FLAG_getl(29) == -9999, "a reset sets every flag");
    check(FLAG_batch() == 0 && FLAG_help() == 0, "batch and help stay off after a reset to -9999");
    check(FLAG_set(30, 5) == -1 && FLAG_set(-1, 5) == -1, "setting outside 0 to 29 is refused");
    check(FLAG_get(30) == 0 && FLAG_getl(-1) == 0, "reading outside 0 to 29 gives 0");
    check(FLAG_set(19, 1) == 0 && FLAG_batch() == 1, "flag 19 is batch");
    check(FLAG_setl(4, 1L << 40) == 0 && FLAG_getl(4) == (1L << 40), "a long flag keeps 64 bits");
    FLAG_set(20, 2);
    check(FLAG_help() == 1, "flag 20 above 0 is help");
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(PlotParts, SumsFollowEverySet) {
  struct Step {
    int type, val;
  };
  struct Case {
    std::vector<Step> steps;
    bool reset_zero;
    std::array<int, 13> expect;
    const char* why;
  };
  const Case cases[] = {
      {{{3, 0}}, false, {5, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 15}, "upper-right off"},
      {{{8, 1}}, true, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1}, "map only"},
      {{{0, 0}}, false, {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 5}, "text off keeps the border"},
      {{{12, 0}}, false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "all off"},
      {{{12, 0}, {12, 1}}, false, {6, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 17}, "all on again"},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      if (c.reset_zero) FLAG_resetplot(0);
      for (const Step& s : c.steps) FLAG_setplot(s.type, s.val);
      return parts() == c.expect ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0) << c.why;
  }
}

TEST(PlotParts, IndexOutsideTheTableIsRefused) {
  auto r = run_child([] {
    auto before = parts();
    Checks check;
    check(FLAG_setplot(13, 0) == -1 && FLAG_setplot(-1, 0) == -1, "setting outside 0 to 12 is refused");
    check(FLAG_getplot(13) == 0 && FLAG_getplot(-5) == 0, "reading outside 0 to 12 gives 0");
    check(parts() == before, "no part changed");
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out;
}

TEST(PlotParts, DrawResourceWords) {
  struct Case {
    const char* value;
    std::array<int, 13> expect;
  };
  const Case cases[] = {
      {"map,data", {0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 2}},
      {"-text", {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 4}},
      {"-all", {6, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 17}},
      {"none,+map", {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1}},
      {"text_ul,bogus,bord", {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 3}},
  };
  for (const Case& c : cases) {
    auto r = run_child([&] {
      RES_put("draw", c.value);
      RES_conv_data(RES_get("draw"), nullptr, CV_draw);
      return parts() == c.expect ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0) << c.value;
  }
}

} // namespace
