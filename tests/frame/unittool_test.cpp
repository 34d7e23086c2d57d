#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::TempDir;
using kez_test::write_file;

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Units, ConversionsThroughTheUnitsFile) {
  TempDir dir;
  write_file(dir.file("units.lup"),
             "# test units\n"
             "C F *1.8+32\n"
             "K C -273.15\n"
             "m km *0.001\n"
             "# m ft *3 is commented out\n"
             "   # so is this line\n"
             "in_Hg mb *33.8639\n"
             "m/s knt *1.943844\n");
  RES_put("file_path", dir.path().c_str());
  struct Case {
    float value;
    const char* in;
    const char* out;
    float expect;
    const char* why;
  };
  const Case cases[] = {
      {100, "C", "F", 212, "scale and offset"},
      {273.15f, "K", "C", 0, "offset alone"},
      {-40, "c", "F", -40, "names in any case"},
      {50, "F", "f", 50, "same unit in other case"},
      {29.92f, "in_Hg", "in Hg", 29.92f, "_ is a blank"},
      {29.92f, "in Hg", "MB", 29.92f * 33.8639f, "blank written as _ in the file"},
      {1500, "m", "km", 1.5f, "plain entry"},
      {2, "1000 m", "km", 2, "input factor"},
      {2, "m", "10^-3 km", 2, "output factor as a power"},
      {10, "m/s", "knt", 19.43844f, "names with a slash"},
      {-9999, "C", "F", -9999, "missing value passes"},
      {12, "C", "", 12, "empty output unit"},
      {7, "1000 m", "m", 7000, "factors alone, no entry needed"},
      {7, "10^3 m", "m", 7000, "power factor"},
      {7, "3h", "h", 21, "factor without a blank"},
      {7, "-m", "m", -7, "a leading minus"},
      {7, "1e-05 m/s/m", "10^-5 m/s/m", 7, "scaled kinematic units"},
      {7, "2 nanometre", "nanometre", 14, "no number read from a name"},
      {7, "2 infinity", "infinity", 14, "no number read from a name"},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(UNIT_cvt(c.value, c.in, c.out), c.expect, 1e-4 * std::fabs(c.expect) + 1e-5) << c.why;
}

TEST(Units, OffsetsThatCancelGiveExactlyZero) {
  RES_put("file_path", KEZ_DATA_DIR);
  struct Case {
    float value;
    const char* in;
    const char* out;
    float expect;
  };
  const Case cases[] = {
      {273.15f, "K", "C", 0.0f},    {0.0f, "C", "K", 273.15f},  {32.0f, "F", "C", 0.0f},
      {273.15f, "K", "degC", 0.0f}, {300.0f, "K", "C", 26.85f}, {-17.77777778f, "C", "F", 0.0f},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UNIT_cvt(c.value, c.in, c.out), c.expect) << c.value << " " << c.in << " to " << c.out;
}

TEST(Units, RememberedPairIsKeyedOnTheWholeUnitTexts) {
  TempDir dir;
  write_file(dir.file("units.lup"), "m km *0.001\n");
  RES_put("file_path", dir.path().c_str());
  EXPECT_FLOAT_EQ(UNIT_cvt(1, "1000 m", "km"), 1.0f);
  EXPECT_FLOAT_EQ(UNIT_cvt(1, "m", "km"), 0.001f);
  EXPECT_FLOAT_EQ(UNIT_cvt(1, "1000 m", "km"), 1.0f);
  /* The pair is remembered: a grid converts with one reading of the file. */
  std::remove(dir.file("units.lup").c_str());
  EXPECT_FLOAT_EQ(UNIT_cvt(3000, "1000 m", "km"), 3000.0f);
}

TEST(Units, MissingFileLeavesValuesUnchangedWithOneWarning) {
  TempDir dir;
  RES_put("file_path", dir.path().c_str());
  auto r = capture([] {
    EXPECT_FLOAT_EQ(UNIT_cvt(7, "1000 m", "m"), 7000.0f) << "factors need no file";
    for (int i = 0; i < 100; ++i) EXPECT_FLOAT_EQ(UNIT_cvt(static_cast<float>(i), "C", "F"), static_cast<float>(i));
  });
  EXPECT_EQ(count(r.err, "Unable to open units file"), 1) << r.err;
}

TEST(Units, UnknownOrBadEntriesAreReportedNotGuessed) {
  TempDir dir;
  write_file(dir.file("units.lup"),
             "C F *1.8+32\n"
             "bad x *abc\n"
             "worse y *2+\n" +
                 std::string(500, 'q') +
                 " z *2\n"
                 "last entry\n");
  RES_put("file_path", dir.path().c_str());
  struct Case {
    const char* in;
    const char* out;
    const char* message;
  };
  const Case cases[] = {
      {"1000 ft", "m", "No conversion from ft to m"},
      {"bad", "x", "Bad conversion"},
      {"worse", "y", "Bad conversion"},
      {"F", "C", "Incomplete entry"},
  };
  for (const Case& c : cases) {
    auto r = capture([&] { EXPECT_FLOAT_EQ(UNIT_cvt(5, c.in, c.out), 5.0f) << c.in; });
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.in << ": " << r.err;
  }
}

TEST(Units, ScaleRewritesTheFactor) {
  struct Case {
    const char* in;
    float scale;
    const char* mstr;
    const char* out;
  };
  const Case cases[] = {
      {"m/s", 100, "", "1e+02 m/s"},       {"10^-5 s^-1", 10, "", "1e-04 s^-1"},
      {"m/s", 1e-5f, "/m", "1e-05 m/s/m"}, {"1000 m", 0.001f, "", "1e+00 m"},
      {"-K", 2, "", "-2e+00 K"},           {"", 1, "", "1e+00 "},
  };
  for (const Case& c : cases) {
    char out[128];
    EXPECT_EQ(UNIT_scale(c.in, c.scale, c.mstr, out), 0);
    EXPECT_STREQ(out, c.out) << c.in;
  }
}

TEST(Units, LabelsSplitAndChange) {
  struct Case {
    const char* label;
    const char* name;
    const char* units;
  };
  const Case cases[] = {
      {"Temperature (C)", "Temperature", "C"},
      {"Height(m)", "Height", "m"},
      {"Height", "Height", ""},
      {"(m)", "", ""},
      {"Wind  (m/s) extra", "Wind", "m/s"},
      {"Open (units", "Open", "units"},
      {"Empty ()", "Empty", ""},
  };
  for (const Case& c : cases) {
    char name[64] = "~", units[64] = "~";
    EXPECT_EQ(UNIT_parse(c.label, name, units), 0);
    EXPECT_STREQ(name, c.name) << c.label;
    EXPECT_STREQ(units, c.units) << c.label;
  }

  struct Change {
    const char* label;
    const char* units;
    const char* out;
  };
  const Change changes[] = {
      {"Temperature (C)", "F", "Temperature (F)"},
      {"Height", "m", "Height (m)"},
      {"(x)", "K", " (K)"},
  };
  for (const Change& c : changes) {
    char label[64];
    std::snprintf(label, sizeof label, "%s", c.label);
    EXPECT_EQ(UNIT_change(label, c.units), 0);
    EXPECT_STREQ(label, c.out) << c.label;
  }
  char longer[128];
  std::snprintf(longer, sizeof longer, "%s (m)", std::string(70, 'n').c_str());
  UNIT_change(longer, "km");
  EXPECT_EQ(std::string(longer), std::string(49, 'n') + " (km)");
}

/* GNU units names of the project's unit names; temperatures are scales with
 * an offset and are written as functions. */
std::string gnu_quantity(const std::string& name, double value) {
  static const std::map<std::string, std::string> temps = {
      {"K", "tempK"}, {"C", "tempC"}, {"degC", "tempC"}, {"F", "tempF"}, {"degF", "tempF"}};
  auto t = temps.find(name);
  std::ostringstream s;
  s.precision(17);
  if (t != temps.end()) {
    s << t->second << "(" << value << ")";
    return s.str();
  }
  return "";
}

std::string gnu_unit(const std::string& name) {
  static const std::map<std::string, std::string> names = {
      {"K", "tempK"},          {"C", "tempC"},    {"degC", "tempC"},
      {"F", "tempF"},          {"degF", "tempF"}, {"dK", "K"},
      {"dC", "degC"},          {"dF", "degF"},    {"mb", "millibar"},
      {"in_Hg", "inHg"},       {"mm_Hg", "mmHg"}, {"knt", "knot"},
      {"kt", "knot"},          {"kts", "knot"},   {"knots", "knot"},
      {"km/h", "km/hr"},       {"in", "inch"},    {"mi", "mile"},
      {"nmi", "nauticalmile"}, {"gpm", "m"}, /* geopotential metres, taken as metres; GNU units reads gallons per minute
                                              */
      {"/s", "1/s"},           {"/s^2", "1/s^2"}, {"/s/s", "1/s/s"},
      {"/m", "1/m"},           {"/m^2", "1/m^2"}, {"kg/m^2", "(kg/m^2/(1000 kg/m^3))"},
  };
  auto it = names.find(name);
  return it == names.end() ? name : it->second;
}

TEST(Units, ProjectUnitsFileAgreesWithGnuUnits) {
  if (!kez_test::have_program("units")) GTEST_SKIP() << "GNU units is not installed";
  RES_put("file_path", KEZ_DATA_DIR);
  std::ifstream file(std::string(KEZ_DATA_DIR) + "/units.lup");
  ASSERT_TRUE(file.good());
  struct Probe {
    std::string in, out;
    double value;
    float ours;
  };
  std::vector<Probe> probes;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream words(line);
    std::string in, out, cvt;
    if (!(words >> in) || in[0] == '#') continue;
    ASSERT_TRUE(words >> out >> cvt) << line;
    for (double v : {1.0, 37.5, 290.0}) {
      probes.push_back({in, out, v, UNIT_cvt(static_cast<float>(v), in.c_str(), out.c_str())});
    }
  }
  ASSERT_GT(probes.size(), 300u);

  TempDir dir;
  std::ostringstream queries;
  queries.precision(17);
  for (const Probe& p : probes) {
    std::string from = gnu_quantity(p.in, p.value);
    if (from.empty()) {
      std::ostringstream s;
      s.precision(17);
      s << p.value << " " << gnu_unit(p.in);
      from = s.str();
    }
    queries << from << "\n" << gnu_unit(p.out) << "\n";
  }
  write_file(dir.file("queries"), queries.str());
  std::string answers;
  ASSERT_EQ(kez_test::run_command("units -t -d 12 < " + dir.file("queries"), &answers), 0);
  std::istringstream in(answers);
  for (const Probe& p : probes) {
    std::string answer;
    ASSERT_TRUE(std::getline(in, answer)) << p.in << " " << p.out;
    char* end = nullptr;
    double expect = std::strtod(answer.c_str(), &end);
    ASSERT_NE(end, answer.c_str()) << p.in << " -> " << p.out << ": " << answer;
    EXPECT_NEAR(p.ours, expect, 2e-6 * std::fabs(expect) + 1e-9) << p.value << " " << p.in << " -> " << p.out;
  }
}

} // namespace
