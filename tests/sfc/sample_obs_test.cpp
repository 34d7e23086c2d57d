/*
 * The bundled sample observations (the hourly "_sao.wmo" files of
 * data/sample): every file reads back through the surface-file reader as
 * plausible reports, is written the way the suite's own writer writes it,
 * carries all three weather forms, and differs from the hour before.
 */
#include "kez_test.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kez_test::read_file;
using kez_test::TempDir;

/* The hours of the sample, oldest first, as the "sfc_cvt" template names
 * them (%y%m%d%h_sao.wmo). */
constexpr const char* kHours[] = {"11101019", "11101020", "11101021", "11101022", "11101023", "11101100"};

std::string sample_path(const char* hour) { return std::string(KEZ_DATA_DIR) + "/sample/" + hour + "_sao.wmo"; }

struct Sample {
  SFC_info info{};
  std::vector<SFC_report> reports;
};

/* Every report of one file, read in order as the plotting driver reads. */
bool read_sample(const std::string& path, Sample* s) {
  int type = 0;
  const int fd = SFC_open(path.c_str(), SFC_ACC_READ, &type);
  if (fd < 0) return false;
  EXPECT_EQ(type, SFC_FT_TAGGED) << path;
  EXPECT_EQ(SFC_getinfo(fd, &s->info), 0) << path;
  SFC_report r;
  for (int n = 0; SFC_read(fd, &r, SFC_REP_FULL, &n) == 0; ++n) s->reports.push_back(r);
  SFC_close(fd);
  return true;
}

bool present(float v) { return v != KEZ_FMISS; }

/* The form of a weather field: its first character tells them apart. */
enum Form { wmo_number, metar_groups, short_code };
Form form_of(const char* wx) {
  if (std::isdigit(static_cast<unsigned char>(wx[0]))) return wmo_number;
  if (wx[0] == '!') return metar_groups;
  return short_code;
}

TEST(SampleObs, EveryHourReadsBackAsPlausibleReports) {
  for (const char* hour : kHours) {
    SCOPED_TRACE(hour);
    Sample s;
    ASSERT_TRUE(read_sample(sample_path(hour), &s));
    /* The header's date is the hour the file is named for. */
    EXPECT_EQ(s.info.date.year % 100 * 1000000 + s.info.date.month * 10000 + s.info.date.day * 100 + s.info.date.hour,
              std::stoi(hour));
    EXPECT_GT(s.reports.size(), 2000u);
    EXPECT_LT(s.reports.size(), 5000u);

    int forms[3] = {0, 0, 0};
    int gusts = 0, calm = 0, clear = 0, rain1 = 0;
    for (const SFC_report& r : s.reports) {
      SCOPED_TRACE(r.id);
      ASSERT_TRUE(present(r.t) && present(r.td));
      EXPECT_GE(r.t, -40.0f);
      EXPECT_LE(r.t, 115.0f);
      EXPECT_LE(r.td, r.t);
      EXPECT_GE(r.td, -60.0f);
      ASSERT_TRUE(present(r.w_dir) && present(r.w_spd));
      EXPECT_GE(r.w_spd, 0.0f);
      EXPECT_LE(r.w_spd, 80.0f);
      EXPECT_EQ(std::fmod(r.w_dir, 10.0f), 0.0f) << "direction in tens of degrees";
      EXPECT_LE(r.w_dir, 360.0f);
      if (r.w_spd == 0) {
        EXPECT_EQ(r.w_dir, 0.0f) << "calm";
        ++calm;
      }
      if (present(r.w_gust)) {
        EXPECT_GE(r.w_gust, r.w_spd + 10);
        ++gusts;
      }
      ASSERT_TRUE(present(r.alt) && present(r.pmb));
      EXPECT_GE(r.alt, 28.5f);
      EXPECT_LE(r.alt, 31.5f);
      EXPECT_GE(r.pmb, 960.0f);
      EXPECT_LE(r.pmb, 1050.0f);
      ASSERT_TRUE(present(r.vis));
      EXPECT_GT(r.vis, 0.0f);
      EXPECT_LE(r.vis, 10.0f);
      ASSERT_GE(r.num_cld, 1);
      ASSERT_LE(r.num_cld, 3);
      if (r.cld_cover[0] == SFC_CLD_CLEAR) {
        EXPECT_EQ(r.num_cld, 1);
        ++clear;
      }
      for (int k = 0; k < r.num_cld; ++k) {
        EXPECT_NE(std::strchr("FSBOXC", r.cld_cover[k]), nullptr) << r.cld_cover[k];
        if (r.cld_cover[k] == SFC_CLD_CLEAR) continue;
        EXPECT_GE(r.cld_height[k], 100.0f);
        EXPECT_LE(r.cld_height[k], 50000.0f);
        if (k > 0) {
          EXPECT_GT(r.cld_height[k], r.cld_height[k - 1]) << "layers lowest first";
        }
      }
      if (present(r.rain1)) {
        EXPECT_GT(r.rain1, 0.0f);
        EXPECT_LT(r.rain1, 2.0f);
        ++rain1;
      }
      if (r.weather[0] != ' ') {
        ++forms[form_of(r.weather)];
        /* every weather is one the code conversions know */
        EXPECT_NE(WX_weather_wmo(r.weather), 0) << r.weather;
      }
    }
    EXPECT_GT(forms[wmo_number], 0) << "WMO present-weather numbers";
    EXPECT_GT(forms[metar_groups], 0) << "METAR groups";
    EXPECT_GT(forms[short_code], 0) << "short letter codes";
    EXPECT_GT(gusts, 0);
    EXPECT_GT(calm, 0);
    EXPECT_GT(clear, 0);
    EXPECT_GT(rain1, 0);
  }
}

/* Written back through the library's tagged writer, each file comes out
 * byte for byte as it is: the script writes exactly what the suite writes. */
TEST(SampleObs, FilesAreWhatTheSuitesWriterWrites) {
  TempDir dir;
  for (const char* hour : kHours) {
    SCOPED_TRACE(hour);
    Sample s;
    ASSERT_TRUE(read_sample(sample_path(hour), &s));
    int type = SFC_FT_TAGGED;
    const std::string copy = dir.file(std::string(hour) + "_sao.wmo");
    const int fd = SFC_open(copy.c_str(), SFC_ACC_WRITE, &type);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(SFC_putinfo(fd, &s.info), 0);
    int n = 0;
    for (const SFC_report& r : s.reports) {
      ASSERT_EQ(SFC_write(fd, &r, SFC_REP_FULL, &n), 0);
      ++n;
    }
    SFC_close(fd);
    EXPECT_EQ(read_file(copy), read_file(sample_path(hour)));
  }
}

/* The hours hold the same stations in the same order, but their values
 * change from hour to hour, so that the sequence animates. */
TEST(SampleObs, ConsecutiveHoursDiffer) {
  Sample before;
  ASSERT_TRUE(read_sample(sample_path(kHours[0]), &before));
  for (size_t h = 1; h < std::size(kHours); ++h) {
    SCOPED_TRACE(kHours[h]);
    Sample now;
    ASSERT_TRUE(read_sample(sample_path(kHours[h]), &now));
    ASSERT_EQ(now.reports.size(), before.reports.size());
    EXPECT_EQ(now.info.date.hour, (before.info.date.hour + 1) % 24);
    size_t t_changed = 0, p_changed = 0, wx_changed = 0;
    for (size_t i = 0; i < now.reports.size(); ++i) {
      const SFC_report& a = before.reports[i];
      const SFC_report& b = now.reports[i];
      ASSERT_STREQ(a.id, b.id);
      t_changed += a.t != b.t;
      p_changed += a.pmb != b.pmb;
      wx_changed += std::strcmp(a.weather, b.weather) != 0;
      /* an hour's change stays plausible */
      EXPECT_LT(std::fabs(a.t - b.t), 15.0f) << b.id;
      EXPECT_LT(std::fabs(a.pmb - b.pmb), 6.0f) << b.id;
    }
    EXPECT_GT(t_changed, now.reports.size() / 2);
    EXPECT_GT(p_changed, now.reports.size() / 2);
    EXPECT_GT(wx_changed, 0u);
    before = std::move(now);
  }
}

} // namespace
