/*
 * The bundled sample observations (the hourly "_sao.wmo" files of
 * data/sample): every file reads back through the surface-file reader as
 * plausible reports, is written the way the suite's own writer writes it,
 * carries all three weather forms, and differs from the hour before; its
 * cloud layers are summation cover, its stations have elevations that its
 * altimeter settings agree with, and its front bulletins are analyses of
 * its own pressures.
 */
#include "kez_test.h"
#include "kezraw.h"
#include "kezsfc.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
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

namespace {

/* The flight category as the rules say, from the layers themselves: the
 * ceiling is the base of the lowest broken or overcast layer. */
const char* category_of(const SFC_report& r) {
  float ceiling = KEZ_FMISS;
  for (int k = 0; k < r.num_cld && ceiling == KEZ_FMISS; ++k)
    if (r.cld_cover[k] == SFC_CLD_BROKEN || r.cld_cover[k] == SFC_CLD_OVERCAST) ceiling = r.cld_height[k];
  const bool ceil = ceiling != KEZ_FMISS;
  if ((ceil && ceiling < 1000) || (present(r.vis) && r.vis < 3)) return "IFR";
  if ((ceil && ceiling <= 3000) || (present(r.vis) && r.vis <= 5)) return "MVFR";
  return "VFR";
}

std::string text_of(const SFC_report& r, const char* key) {
  VAR_data var{};
  std::snprintf(var.name, sizeof var.name, "%s", key);
  var.ltype = VAR_LEV_SFC;
  RAW_data d;
  RAW_data_init(&d);
  SFC_get_data(&r, &var, &d);
  return d.data;
}

/* Layers are reported as observers report them, in summation cover: a
 * higher layer hides at least as much sky as the one below. The ceiling
 * is then the lowest broken or overcast base, whatever lies above it, and
 * the flight category follows from it. */
TEST(SampleObs, CloudLayersNeverCoverLessAboveThanBelow) {
  auto rank = [](char c) { return std::string("CFSBOX").find(c); };
  size_t layered = 0;
  for (const char* hour : kHours) {
    SCOPED_TRACE(hour);
    Sample s;
    ASSERT_TRUE(read_sample(sample_path(hour), &s));
    for (const SFC_report& r : s.reports) {
      SCOPED_TRACE(r.id);
      for (int k = 1; k < r.num_cld; ++k)
        EXPECT_GE(rank(r.cld_cover[k]), rank(r.cld_cover[k - 1])) << std::string(r.cld_cover, r.num_cld);
      layered += r.num_cld > 1;
      EXPECT_EQ(text_of(r, "fr"), category_of(r)) << std::string(r.cld_cover, r.num_cld);
      for (int k = 0; k < r.num_cld; ++k) {
        if (r.cld_cover[k] != SFC_CLD_BROKEN && r.cld_cover[k] != SFC_CLD_OVERCAST) continue;
        char want[16];
        std::snprintf(want, sizeof want, "%.0f", r.cld_height[k] / 100);
        EXPECT_EQ(text_of(r, "cldcl"), want) << "the ceiling";
        break;
      }
    }
  }
  EXPECT_GT(layered, 3000u) << "the sample keeps its multi-layer reports";

  /* Fargo at 19 UTC: broken at 2700 ft under higher layers is a ceiling of
   * 27 and marginal flight rules, not a scattered sky. */
  Sample s;
  ASSERT_TRUE(read_sample(sample_path("11101019"), &s));
  for (const SFC_report& r : s.reports) {
    if (std::strcmp(r.id, "FAR") != 0) continue;
    EXPECT_EQ(std::string(r.cld_cover, r.num_cld), "BBB");
    EXPECT_EQ(text_of(r, "cldcv"), "B");
    EXPECT_EQ(text_of(r, "cldcl"), "27");
    EXPECT_EQ(text_of(r, "fr"), "MVFR");
  }
}

/* Elevations of the station table's lines, by identifier. */
std::map<std::string, float> elevations() {
  std::map<std::string, float> out;
  std::istringstream in(read_file(std::string(KEZ_DATA_DIR) + "/sao.cty"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, state, country, id, prior, lat, lon;
    float el = KEZ_FMISS;
    if (words >> name >> state >> country >> id >> prior >> lat >> lon >> el) out.emplace(id, el);
  }
  return out;
}

/* Every station of the sample has an elevation, and the elevations follow
 * the land: the plains below the Rockies, the coasts near sea level. The
 * altimeter settings were reduced with them, so the station pressure
 * computed back lies below the sea-level pressure by what the height
 * makes. */
TEST(SampleObs, StationsHaveElevationsThatTheAltimeterSettingsAgreeWith) {
  const std::map<std::string, float> el = elevations();
  EXPECT_GT(el.at("DEN"), 1200);
  EXPECT_GT(el.at("SLC"), 1200);
  EXPECT_LT(el.at("MSY"), 100);
  EXPECT_LT(el.at("MIA"), 100);
  Sample s;
  ASSERT_TRUE(read_sample(sample_path("11101100"), &s));
  for (const SFC_report& r : s.reports) {
    SCOPED_TRACE(r.id);
    ASSERT_TRUE(el.count(r.id));
    const float z = el.at(r.id);
    ASSERT_NE(z, 9999.0f) << "no elevation";
    EXPECT_GE(z, -100.0f);
    EXPECT_LE(z, 4500.0f);
    const float p = sfc_pr_alt(33.85399f * r.alt, z);
    /* about 1 hPa for every 8 m of height */
    EXPECT_NEAR(r.pmb - p, z / 8.3f, 5.0f + z / 25.0f);
  }
}

/* A coded front bulletin's centres: (kind, pressure, lat, lon east). */
struct Centre {
  char kind;
  int pressure;
  float lat, lon;
};
std::vector<Centre> centres_of(const std::string& bulletin) {
  std::vector<Centre> out;
  std::istringstream in(bulletin);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key, p, g;
    words >> key;
    if (key != "HIGHS" && key != "LOWS") continue;
    while (words >> p >> g)
      out.push_back({key[0], std::stoi(p), static_cast<float>(std::stoi(g.substr(0, 2))),
                     -static_cast<float>(std::stoi(g.substr(2)))});
  }
  return out;
}

float distance_km(float lat1, float lon1, float lat2, float lon2) {
  const double r = 3.14159265358979 / 180;
  const double h = std::pow(std::sin((lat2 - lat1) * r / 2), 2) +
                   std::cos(lat1 * r) * std::cos(lat2 * r) * std::pow(std::sin((lon2 - lon1) * r / 2), 2);
  return static_cast<float>(2 * 6371.22 * std::asin(std::sqrt(std::min(h, 1.0))));
}

/* The bundled front bulletins are analyses of the sample itself: each
 * high has higher pressures near it than farther out, each low lower ones,
 * and the centre's pressure is that of the stations around it. */
TEST(SampleObs, FrontBulletinCentresAreThoseOfTheSamplesPressures) {
  std::map<std::string, std::pair<float, float>> where;
  std::istringstream cty(read_file(std::string(KEZ_DATA_DIR) + "/sao.cty"));
  for (std::string line; std::getline(cty, line);) {
    std::istringstream words(line);
    std::string name, state, country, id, prior;
    float lat = 0, lon = 0;
    if (words >> name >> state >> country >> id >> prior >> lat >> lon) where.emplace(id, std::make_pair(lat, lon));
  }
  size_t checked = 0;
  for (const char* hour : {"11101021", "11101100"}) {
    SCOPED_TRACE(hour);
    Sample s;
    ASSERT_TRUE(read_sample(sample_path(hour), &s));
    const std::string bulletin = read_file(std::string(KEZ_DATA_DIR) + "/sample/" + hour + "_frt.dat");
    ASSERT_FALSE(bulletin.empty());
    for (const Centre& c : centres_of(bulletin)) {
      double near = 0, far = 0;
      int n_near = 0, n_far = 0;
      for (const SFC_report& r : s.reports) {
        const auto& [lat, lon] = where.at(r.id);
        const float d = distance_km(c.lat, c.lon, lat, lon);
        if (d < 250) near += r.pmb, ++n_near;
        if (d > 600 && d < 1000) far += r.pmb, ++n_far;
      }
      if (n_near < 3 || n_far < 10) continue;
      near /= n_near;
      far /= n_far;
      EXPECT_NEAR(near, c.pressure, 3.0) << c.kind << " at " << c.lat << " " << c.lon;
      if (c.kind == 'H')
        EXPECT_GT(near, far) << "a high at " << c.lat << " " << c.lon;
      else
        EXPECT_LT(near, far) << "a low at " << c.lat << " " << c.lon;
      ++checked;
    }
  }
  EXPECT_GE(checked, 3u);
}

} // namespace
