/* Raw sounding files: the layout as written, the round trip, the naming
 * convention and hostile files. Each scenario runs in a child process of
 * its own, as the analysis state is process-wide. */
#include "kez_test.h"
#include "kezupa.h"
#include "sounding_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kez_test::read_file;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

int verdict() { return ::testing::Test::HasFailure() ? 1 : 0; }

Date the_date() {
  Date d{2026, 12, 10, 344, 4, 0, 0, 0};
  return d;
}

/* A small sounding: temperature levels (the first at the surface, one
 * without wind, one without dew point), wind levels, tropopause, maximum
 * wind. */
void make_sounding() {
  static std::vector<UPA_level> sm(UPA_MAX_LEVELS), wm(UPA_MAX_LEVELS);
  sm[0] = {965, 287, 15.2f, 10.4f, 270, 15};
  sm[1] = {925, 640, 12.1f, 8.3f, M, M};
  sm[2] = {850, 1337, 10, 5, 290, 30};
  sm[3] = {700, 3012, 0.5f, M, 300, 35};
  sm[4] = {500, 5780, -12.3f, -25.7f, 310, 40};
  wm[0] = {965, 287, M, M, 270, 15};
  wm[1] = {900, 900, M, M, 280, 20};
  wm[2] = {600, 4400, M, M, 305, 38};
  THERM_set_data(965, sm.data(), 5, wm.data(), 3);
  UPA_level trop{250, 10400, -55.1f, M, 280, 50};
  UPA_level mwnd{200, 11800, -57, M, 275, 99};
  THERM_set_trop(&trop);
  THERM_set_mwnd(&mwnd);
  THERM_set_id("GHI", 72649);
  Date d = the_date();
  THERM_set_date(&d);
}

struct Folder {
  TempDir dir;
  void conventions() const {
    write_file(dir.file("name_conv"),
               "upa_snd " + dir.path() + "/%y%m%d%h_%i.snd\nsnd_conv " + dir.path() + "/other_%i.txt\n");
    RES_put("file_path", dir.path().c_str());
  }
};

const char* written =
    "KEZRAW\n"
    "%s\n"
    "!GHI Sounding\n"
    " Lev   P     H     T     Td    Dir Spd $\n"
    " SFC  965   287   15.2  10.4  270  15\n"
    "   1  925   640   12.1   8.3  276  18\n"
    "   2  850  1337   10.0   5.0  290  30\n"
    "   3  700  3012    0.5     -  300  35\n"
    "   4  500  5780  -12.3 -25.7  310  40\n"
    "WIND  965   287      -     -  270  15\n"
    "   1  900   900      -     -  280  20\n"
    "   2  600  4400      -     -  305  38\n"
    "TROP  250 10400  -55.1     -  280  50\n"
    "MWND  200 11800  -57.0     -  275  99\n"
    "\n";

TEST(RawSounding, WrittenLayout) {
  Folder f;
  auto r = run_child([&] {
    f.conventions();
    make_sounding();
    EXPECT_EQ(THERM_out_raw(), 1);
    return verdict();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string name = f.dir.file("26121000_GHI.snd");
  EXPECT_NE(r.out.find("Written raw file to: " + name), std::string::npos) << r.out;
  std::string text = read_file(name);
  Date d = the_date();
  char label[200] = {};
  DATE_make_label(&d, label);
  char want[2000];
  std::snprintf(want, sizeof want, written, label);
  /* the 925 hPa level took the wind sounding's wind, in ln p */
  EXPECT_EQ(text, want);
}

TEST(RawSounding, RoundTripGivesTheSameSounding) {
  Folder f;
  auto w = run_child([&] {
    f.conventions();
    make_sounding();
    return THERM_out_raw() == 1 ? 0 : 1;
  });
  ASSERT_EQ(w.status, 0) << w.out << w.err;
  const std::string first = read_file(f.dir.file("26121000_GHI.snd"));
  auto r = run_child([&] {
    /* a previous sounding whose tropopause and surface must not survive */
    UPA_level old_trop{100, 16000, -70, M, M, M};
    THERM_set_trop(&old_trop);
    THERM_read_raw(f.dir.file("26121000_GHI.snd").c_str());
    EXPECT_STREQ(THERM_get_id(), "GHI");
    EXPECT_EQ(THERM_get_sfc()->p, 965);
    EXPECT_EQ(THERM_get_SM_num(), 5);
    EXPECT_EQ(THERM_get_WM_num(), 3);
    if (THERM_get_SM_num() != 5 || THERM_get_WM_num() != 3) return 2;
    const UPA_level* sm = THERM_get_SM();
    const UPA_level* wm = THERM_get_WM();
    EXPECT_NE(sm, wm);
    EXPECT_EQ(sm[0].p, 965);
    EXPECT_EQ(sm[0].h, 287);
    EXPECT_FLOAT_EQ(sm[0].t, 15.2f);
    EXPECT_FLOAT_EQ(sm[0].td, 10.4f);
    EXPECT_EQ(sm[1].dir, 276) << "the wind taken on writing comes back";
    EXPECT_EQ(sm[3].td, M);
    EXPECT_FLOAT_EQ(sm[4].td, -25.7f);
    EXPECT_EQ(wm[0].dir, 270);
    EXPECT_EQ(wm[0].t, M);
    EXPECT_EQ(wm[2].p, 600);
    EXPECT_EQ(wm[2].spd, 38);
    EXPECT_EQ(THERM_get_trop()->p, 250);
    EXPECT_EQ(THERM_get_trop()->h, 10400);
    EXPECT_FLOAT_EQ(THERM_get_trop()->t, -55.1f);
    EXPECT_EQ(THERM_get_mwnd()->spd, 99);
    Date d = the_date();
    char label[200] = {};
    DATE_make_label(&d, label);
    EXPECT_STREQ(UPA_get_datim(), label) << "the file layer's date label";
    EXPECT_EQ(THERM_get_wmo(), KEZ_MISS) << "the WMO number is not in the file";
    /* written again, as a sounding program would after setting the
     * identifier: the same file */
    f.conventions();
    THERM_set_id(THERM_get_id(), KEZ_MISS);
    EXPECT_EQ(THERM_out_raw(), 1);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("ID: GHI Sounding\n"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(f.dir.file("26121000_GHI.snd")), first) << r.out;
}

TEST(RawSounding, FileWithoutWindsSurfaceOrTropopause) {
  TempDir dir;
  const std::string name = dir.file("a.raw");
  write_file(name,
             "KEZRAW\n"
             "00Z 10 DEC 26\n"
             "!AVeryLongIdentifierOfMoreThan19 test\n"
             " Lev   P     H     T     Td    Dir Spd $\n"
             "   0  900  1000   10.0   5.0  200  10\n"
             "   1  850  1500    8.0   -    210  12\n"
             "\n");
  auto r = run_child([&] {
    UPA_level old{300, 9000, -40, M, M, M};
    THERM_set_trop(&old);
    THERM_set_mwnd(&old);
    std::vector<UPA_level> prev(UPA_MAX_LEVELS, UPA_level{1000, 0, 0, 0, 0, 0});
    THERM_set_data(1000, prev.data(), 2, prev.data(), 2);
    THERM_read_raw(name.c_str());
    EXPECT_EQ(THERM_get_sfc()->p, 900) << "the first level's pressure";
    EXPECT_EQ(THERM_get_SM_num(), 2);
    EXPECT_EQ(THERM_get_WM_num(), 2);
    EXPECT_EQ(THERM_get_WM(), THERM_get_SM()) << "temperature levels serve as winds";
    EXPECT_EQ(THERM_get_trop()->p, M) << "cleared, not the previous station's";
    EXPECT_EQ(THERM_get_mwnd()->p, M);
    EXPECT_STREQ(THERM_get_id(), "AVeryLongIdentifier");
    EXPECT_EQ(THERM_get_SM()[1].td, M);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(RawSounding, HostileLinesStayInTheirLevels) {
  TempDir dir;
  const std::string name = dir.file("h.raw");
  std::string text =
      "KEZRAW\n00Z 10 DEC 26\n!XX\n Lev P H T Td Dir Spd $\n"
      "   0  900\n"              /* keys alone: no level */
      "   1  850  1500   8.0\n"; /* fewer columns */
  for (int i = 0; i < 320; ++i) text += "   2  800  2000   5.0  1.0  200  10  99  98\n";
  text += "WIND 900 1000 - - 180 5\n\n";
  write_file(name, text);
  auto r = run_child([&] {
    THERM_read_raw(name.c_str());
    EXPECT_EQ(THERM_get_SM_num(), UPA_MAX_LEVELS);
    EXPECT_EQ(THERM_get_SM()[0].p, 850);
    EXPECT_FLOAT_EQ(THERM_get_SM()[0].t, 8.0f);
    EXPECT_EQ(THERM_get_SM()[0].td, M);
    EXPECT_EQ(THERM_get_SM()[1].spd, 10) << "extra columns go nowhere";
    EXPECT_EQ(THERM_get_WM_num(), 1);
    EXPECT_EQ(THERM_get_WM()[0].dir, 180);
    return verdict();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("THERM_read_raw: More than 300 levels"), std::string::npos) << r.err;
}

TEST(RawSounding, MissingFileEndsTheProcess) {
  auto r = run_child([] {
    THERM_read_raw("/nonexistent/dir/x.raw");
    return 0;
  });
  EXPECT_EQ(r.status, 10);
  EXPECT_NE(r.err.find("Unable to open file:/nonexistent/dir/x.raw"), std::string::npos) << r.err;
}

TEST(RawSounding, OutFileChoosesTheConvention) {
  struct Case {
    const char* out_file;
    const char* file; /* "" none written */
  } cases[] = {
      {"raw", "26121000_GHI.snd"},
      {"raw:snd_conv", "other_GHI.txt"},
      {"gif", "26121000_GHI.snd"},
      {"gif,raw:snd_conv", "other_GHI.txt"},
      /* every image item belongs to the plot's dump, none names this file */
      {"png=frame.png", "26121000_GHI.snd"},
      {"XWD:shot.xwd,img,raw:snd_conv", "other_GHI.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out_file);
    Folder f;
    auto r = run_child([&] {
      f.conventions();
      RES_put("out_file", c.out_file);
      make_sounding();
      return THERM_out_raw() == 1 ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(FILE_exist(f.dir.file(c.file).c_str())) << r.out;
  }
}

TEST(RawSounding, UnwritableFileIsAWarning) {
  auto r = run_child([] {
    RES_put("out_file", "@/proc/no/such/dir/x.raw");
    make_sounding();
    return THERM_out_raw();
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("THERM_out_raw: Unable to open output file: /proc/no/such/dir/x.raw"), std::string::npos)
      << r.err;
}

/* The analysis of the index run, exactly: every value of the record from
 * the condensation level on (the location is the caller's), the parcel
 * lifted and the storm motion, as hexadecimal floats. */
void print_analysis() {
  THERM_calc();
  const THERM_values* v = THERM_get_values();
  constexpr size_t from = offsetof(THERM_values, plcl);
  constexpr size_t count = (sizeof(THERM_values) - from) / sizeof(float);
  static_assert(from + count * sizeof(float) == sizeof(THERM_values), "the record is floats from plcl on");
  float x[count];
  std::memcpy(x, reinterpret_cast<const unsigned char*>(v) + from, sizeof x);
  for (float f : x) std::printf("%a\n", static_cast<double>(f));
  const UPA_level* par = THERM_get_parcel();
  for (float f : {par->p, par->h, par->t, par->td, THERM_get_storm().dir, THERM_get_storm().spd})
    std::printf("%a\n", static_cast<double>(f));
}

TEST(RawSounding, SameAnalysisAfterTheRoundTrip) {
  Folder f;
  /* Values at the file's precision: whole hPa, m, degrees and knots,
   * tenths of a degree Celsius. */
  const std::vector<UPA_level>& s = fixtures::kWeak;
  auto w = run_child([&] {
    f.conventions();
    static std::vector<UPA_level> sm(UPA_MAX_LEVELS), wm(UPA_MAX_LEVELS);
    std::copy(s.begin(), s.end(), sm.begin());
    std::copy(s.begin(), s.end(), wm.begin());
    const int n = static_cast<int>(s.size());
    THERM_set_data(s[0].p, sm.data(), n, wm.data(), n);
    THERM_set_id("RND", 12345);
    Date d = the_date();
    THERM_set_date(&d);
    if (THERM_out_raw() != 1) return 1;
    std::printf("--\n");
    print_analysis();
    return 0;
  });
  ASSERT_EQ(w.status, 0) << w.out << w.err;
  const std::string file = f.dir.file("26121000_RND.snd");
  auto r = run_child([&] {
    THERM_read_raw(file.c_str());
    std::printf("--\n");
    print_analysis();
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::string before = w.out.substr(w.out.find("--\n")), after = r.out.substr(r.out.find("--\n"));
  EXPECT_GT(before.size(), 100u);
  EXPECT_EQ(after, before) << read_file(file);
}

} // namespace
