#include "kez.h"
#include "kez_test.h"
#include "kezcty.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::TempDir;
using kez_test::write_file;

const std::string fixture_dir = std::string(KEZ_SOURCE_DIR) + "/tests/geo/data";

/* Resources of these tests are put back to unset (empty) afterwards. */
struct Resources {
  Resources() { RES_put("file_path", fixture_dir.c_str()); }
  ~Resources() {
    for (const char* name : {"file_path", "city_file", "identifier", "stat_prior"}) RES_put(name, "");
  }
};

TEST(StationFile, DenverLineReadsEveryField) {
  Resources res;
  int num = 0;
  int fd = CTY_open_file("sao.cty", &num);
  ASSERT_GE(fd, 0);
  CTY_data c;
  ASSERT_EQ(CTY_read(fd, &c), 10);
  EXPECT_STREQ(c.name, "Denver");
  EXPECT_STREQ(c.state, "CO");
  EXPECT_STREQ(c.region, "US");
  EXPECT_STREQ(c.id, "DEN");
  EXPECT_EQ(c.prior, 2);
  EXPECT_EQ(c.mos, '*');
  EXPECT_EQ(c.ua, '*');
  EXPECT_FLOAT_EQ(c.lat, 39.75f);
  EXPECT_FLOAT_EQ(c.lon, -104.87f);
  EXPECT_FLOAT_EQ(c.el, 1611.0f);
  EXPECT_EQ(c.wmo, 72469);
  EXPECT_EQ(c.num, 0);

  /* Marks on either side, a last number, a missing elevation. */
  struct Want {
    const char* id;
    int prior;
    char mos, ua;
    float el;
    int num;
  };
  const Want wants[] = {
      {"DNR", 3, ' ', ' ', 1611, 0}, {"COS", 3, ' ', ' ', 1881, 0}, {"PUB", 4, ' ', ' ', 1439, 0},
      {"CYS", 3, ' ', '*', 1872, 0}, {"DTO", 6, ' ', ' ', 196, 0},  {"YYZ", 1, '*', ' ', 173, 7},
      {"7-", 8, ' ', ' ', -9999, 0}, {"EBBR", 2, ' ', ' ', 56, 0},
  };
  for (const Want& w : wants) {
    ASSERT_EQ(CTY_read(fd, &c), 10) << w.id;
    EXPECT_STREQ(c.id, w.id);
    EXPECT_EQ(c.prior, w.prior) << w.id;
    EXPECT_EQ(c.mos, w.mos) << w.id;
    EXPECT_EQ(c.ua, w.ua) << w.id;
    EXPECT_EQ(c.el, w.el) << w.id;
    EXPECT_EQ(c.num, w.num) << w.id;
  }
  EXPECT_EQ(CTY_read(fd, &c), -1) << "end of file";
  CTY_info info{-1};
  EXPECT_EQ(CTY_getinfo(fd, &info), 0);
  EXPECT_EQ(info.dtype, 0);
  EXPECT_EQ(CTY_read(fd, &c), 10) << "getinfo rewinds";
  EXPECT_STREQ(c.id, "DEN");
  EXPECT_EQ(CTY_close(fd), 0);
  EXPECT_EQ(CTY_close(fd), -1);
  EXPECT_EQ(CTY_rewind(fd), -1);
  EXPECT_EQ(CTY_read(fd, &c), -1);
}

TEST(StationFile, HostileLinesAreBoundedAndCounted) {
  TempDir dir;
  std::string longname(300, 'N');
  write_file(dir.file("bad.cty"), longname +
                                      " COLORADO UNITED LONGIDENTIFIER12 *3* 39.5 -105 1000 72000 5\n"
                                      "\n"
                                      "   \n"
                                      "Short CO US SHT x 39.5 -105\n"
                                      "Far CO US FAR 3 95.0 -105 10 1 1\n"
                                      "Nan CO US NAN 3 nan -105 10 1 1\n"
                                      "Big CO US BIG 3 39 -105 10 99999999999 1\n"
                                      "Prio CO US PRI 12 39 -105\n");
  ASSERT_GE(CTY_open(dir.file("bad.cty").c_str(), 0, 0), 0);
  CTY_data c;
  ASSERT_EQ(CTY_read(0, &c), 10);
  EXPECT_EQ(std::string(c.name), std::string(20, 'N'));
  EXPECT_STREQ(c.state, "CO");
  EXPECT_STREQ(c.region, "UN");
  EXPECT_STREQ(c.id, "LONGIDENT");
  EXPECT_EQ(c.prior, 3);
  EXPECT_EQ(c.num, 5) << "the fields after a long one stay in step";
  const int counts[] = {4, 5, 5, 8, 4};
  for (int want : counts) EXPECT_EQ(CTY_read(0, &c), want) << "blank lines are passed over";
  EXPECT_EQ(CTY_read(0, &c), -1);
  CTY_close(0);
}

/* The file is read a block at a time: lines across the blocks' seams, a
 * line longer than a block, carriage returns anywhere, a NUL in a line and
 * a last line without its newline read as the lines they are, also after
 * a rewind in the middle. */
TEST(StationFile, LinesReadWholeWhateverTheirLengthAndEnding) {
  TempDir dir;
  std::string text;
  std::vector<std::string> ids;
  for (int i = 0; i < 3000; ++i) {
    ids.push_back("S" + std::to_string(i));
    text += "Station_" + std::to_string(i) + " CO US " + ids.back() + " 3 39.5 -105.25 1600 72469 " +
            std::to_string(i) + "\n";
  }
  text += std::string(70000, ' ') + "Long CO US LNG 3 39.5 -105 10 1 1\n";
  text += "Cr\r CO US C\rR 3 39.5 -105 10 1 1\r\n";
  text += std::string("Nu\0l CO US NUL 3 39.5 -105 10 1 1\n", 34);
  text += "End CO US END 3 39.5 -105 10 1 1";
  ids.insert(ids.end(), {"LNG", "CR", "NUL", "END"});
  write_file(dir.file("many.cty"), text);
  ASSERT_GE(CTY_open(dir.file("many.cty").c_str(), 0, 0), 0);
  CTY_data c;
  for (int pass = 0; pass < 2; ++pass) {
    std::size_t n = 0;
    for (; CTY_read(0, &c) == 10; ++n) {
      ASSERT_LT(n, ids.size());
      EXPECT_EQ(c.id, ids[n]) << n;
      if (n < 3000) {
        EXPECT_EQ(c.num, static_cast<int>(n)) << n;
      }
    }
    EXPECT_EQ(n, ids.size()) << "pass " << pass;
    EXPECT_STREQ(c.name, "End");
    EXPECT_EQ(CTY_read(0, &c), -1);
    /* part of the file again, then from the start */
    ASSERT_EQ(CTY_rewind(0), 0);
    for (int i = 0; i < 1500; ++i) ASSERT_EQ(CTY_read(0, &c), 10);
    EXPECT_STREQ(c.id, "S1499");
    ASSERT_EQ(CTY_rewind(0), 0);
  }
  CTY_close(0);
}

/* The words of a line are what a split at the six blank characters gives,
 * wherever they fall against the reader's 16-character steps: lines of
 * every length from 10 to 70 with the fields moved along them, runs of
 * every blank, a word that ends the line, more than ten words. */
TEST(StationFile, FieldsAreTheWordsBetweenBlanksWhereverTheyFall) {
  const char blanks[] = {' ', '\t', '\v', '\f'};
  auto words_of = [](const std::string& line) {
    std::vector<std::string> out;
    std::string w;
    for (char c : line + " ") {
      if (c == ' ' || (c >= '\t' && c <= '\r')) {
        if (!w.empty()) out.push_back(w);
        w.clear();
      } else {
        w += c;
      }
    }
    return out;
  };
  std::string text;
  std::vector<std::vector<std::string>> want;
  for (int shift = 0; shift < 40; ++shift) {
    const std::string gap(static_cast<std::size_t>(1 + shift % 3), blanks[shift % 4]);
    std::string line = std::string(static_cast<std::size_t>(shift), blanks[(shift + 1) % 4]) + "N" +
                       std::string(static_cast<std::size_t>(shift % 17), 'm') + gap + "CO" + gap + "US" + gap + "ID" +
                       std::to_string(shift) + gap + "3" + gap + "39.5" + gap + "-105" + gap + "1600" + gap + "72469" +
                       gap + std::to_string(shift);
    if (shift % 5 == 0) line += gap + "extra words" + gap;
    text += line + "\n";
    want.push_back(words_of(line));
  }
  TempDir dir;
  write_file(dir.file("seams.cty"), text);
  ASSERT_GE(CTY_open(dir.file("seams.cty").c_str(), 0, 0), 0);
  CTY_data c;
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(CTY_read(0, &c), 10) << i;
    const std::vector<std::string>& w = want[i];
    EXPECT_EQ(c.name, w[0].substr(0, CTY_NAME_LEN - 1)) << i;
    EXPECT_EQ(c.id, w[3]) << i;
    EXPECT_EQ(c.num, std::stoi(w[9])) << i;
    EXPECT_EQ(c.wmo, 72469) << i;
  }
  EXPECT_EQ(CTY_read(0, &c), -1);
  CTY_close(0);
}

/* Numbers of a station line are read as strtod and strtol read them
 * (plain decimals and short integers without them): the value, and
 * whether the field counts as read. */
TEST(StationFile, NumbersReadAsTheLibraryReadsThem) {
  const char* words[] = {"1611",   "1611.",      ".5",          "+39.5",      "-104.870",   "-0",
                         "007",    "1e1",        "0x10",        "12abc",      "abc",        "-",
                         "+",      "2147483647", "-2147483647", "2147483648", "99999",      "1e31",
                         "-1e-50", "nan",        "inf",         "123456789",  "1234567890", "0.000000000000001"};
  TempDir dir;
  std::string text;
  for (const char* w : words) text += std::string("Name CO US ID 3 39 -105 ") + w + " 99999 " + w + "\n";
  write_file(dir.file("numbers.cty"), text);
  ASSERT_GE(CTY_open(dir.file("numbers.cty").c_str(), 0, 0), 0);
  for (const char* w : words) {
    SCOPED_TRACE(w);
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(w, &end);
    const bool el_read = end != w && errno != ERANGE && std::isfinite(d) && std::fabs(d) <= 1e30;
    errno = 0;
    const long l = std::strtol(w, &end, 10);
    const bool num_read = end != w && errno != ERANGE && l <= 2147483647L && l >= -2147483647L;
    CTY_data c;
    const int count = CTY_read(0, &c);
    EXPECT_EQ(count, !el_read ? 7 : num_read ? 10 : 9);
    if (el_read) {
      const float want = static_cast<float>(d) > 9000.0f ? KEZ_FMISS : static_cast<float>(d);
      EXPECT_EQ(c.el, want);
    }
    if (el_read && num_read) {
      EXPECT_EQ(c.num, static_cast<int>(l));
    }
  }
  EXPECT_EQ(CTY_read(0, nullptr), -1);
  CTY_close(0);
}

TEST(StationFile, OnlyPlainFilesOpen) {
  TempDir dir;
  auto out = capture([&] {
    EXPECT_EQ(CTY_open("|echo DEN CO US DEN 1 39 -104 0 0 0", 0, 0), -1);
    EXPECT_EQ(CTY_open("-", 0, 0), -1);
    EXPECT_EQ(CTY_open("/dev/zero", 0, 0), -1) << "a device has no end of line";
    EXPECT_EQ(CTY_open(dir.path().c_str(), 0, 0), -1);
    EXPECT_EQ(CTY_open(dir.file("x.cty").c_str(), 2, 0), -1);
    EXPECT_EQ(CTY_open(dir.file("missing.cty").c_str(), 0, 0), -1);
  });
  EXPECT_NE(out.err.find("CTY_open: Not a station database file"), std::string::npos);
  EXPECT_NE(out.err.find("CTY_open: Invalid access"), std::string::npos);
}

TEST(StationFile, BucketsFollowTheFileSize) {
  Resources res;
  TempDir dir;
  RES_put("file_path", dir.path().c_str());
  struct Case {
    size_t bytes;
    int buckets;
  };
  const Case cases[] = {{59000, 1000}, {1000000, 4000}, {58, 0}};
  for (const Case& c : cases) {
    write_file(dir.file("size.cty"), std::string(c.bytes, '\n'));
    int num = -1;
    int fd = CTY_open_file("size.cty", &num);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(num, c.buckets) << c.bytes;
    CTY_close(fd);
  }
  int num = -1;
  auto out = capture([&] { EXPECT_EQ(CTY_open_file("missing.cty", &num), -1); });
  EXPECT_EQ(num, 0);
  EXPECT_NE(out.err.find("CTY_open_file: Database file not found"), std::string::npos);
  RES_put("city_file", "none");
  EXPECT_EQ(CTY_open_file("size.cty", &num), -1) << "\"none\" means no database";
}

TEST(StationFile, SingleLookupsByIdentifierNameOrWmo) {
  Resources res;
  struct Case {
    const char* key;
    const char* id; /* nullptr: not found */
  };
  const Case cases[] = {
      {"DEN", "DEN"},   {"den", "DEN"}, {"Colorado_springs", "COS"}, {"72564", "CYS"}, {"06451", "EBBR"},
      {"XXX", nullptr}, {"", nullptr},
  };
  for (const Case& c : cases) {
    CTY_data d;
    CTY_data_init(&d);
    int found = CTY_get("sao.cty", c.key, &d);
    EXPECT_EQ(found, c.id ? 1 : 0) << c.key;
    if (c.id) {
      EXPECT_STREQ(d.id, c.id) << c.key;
    }
  }
  float lat = 1.0f, lon = 2.0f;
  EXPECT_EQ(CTY_get_loc("sao.cty", "DEN", &lat, &lon), 1);
  EXPECT_FLOAT_EQ(lat, 39.75f);
  EXPECT_FLOAT_EQ(lon, -104.87f);
  lat = lon = 1.0f;
  EXPECT_EQ(CTY_get_loc("sao.cty", "NOPE", &lat, &lon), 0);
  EXPECT_EQ(lat, 1.0f) << "untouched";
  RES_put("city_file", "none");
  EXPECT_EQ(CTY_get_loc("sao.cty", "DEN", &lat, &lon), 0);
}

TEST(StationFile, ShippedDatabaseReadsWhole) {
  Resources res;
  RES_put("file_path", KEZ_DATA_DIR);
  int num = 0;
  int fd = CTY_open_file(nullptr, &num);
  ASSERT_GE(fd, 0) << "sao.cty by default";
  EXPECT_EQ(num, 4000);
  CTY_data c;
  int lines = 0, count;
  std::set<std::string> ids;
  int prior_counts[10] = {};
  while ((count = CTY_read(fd, &c)) > 0) {
    ++lines;
    ASSERT_EQ(count, 10) << "line " << lines;
    EXPECT_TRUE(ids.insert(c.id).second) << "duplicate " << c.id;
    ASSERT_GE(c.prior, 0);
    ASSERT_LE(c.prior, 9);
    ++prior_counts[c.prior];
    /* the model orography stands in for the elevations */
    EXPECT_GT(c.el, -500.0f) << c.id;
    EXPECT_LT(c.el, 6000.0f) << c.id;
  }
  CTY_close(fd);
  EXPECT_GT(lines, 5000);
  EXPECT_GT(prior_counts[1], 100);
  EXPECT_GT(prior_counts[6], prior_counts[1]) << "few stations at the top";
  CTY_data den;
  ASSERT_EQ(CTY_get(nullptr, "DEN", &den), 1);
  EXPECT_STREQ(den.state, "CO");
  EXPECT_STREQ(den.region, "US");
  EXPECT_EQ(den.prior, 1);
  EXPECT_NEAR(den.lat, 39.86, 0.05);
  EXPECT_NEAR(den.lon, -104.67, 0.05);
}

TEST(StationFile, InitialisedRecordIsEmptyAndMissing) {
  CTY_data d;
  std::memset(&d, 'x', sizeof d);
  EXPECT_EQ(CTY_data_init(&d), 0);
  EXPECT_STREQ(d.name, "");
  EXPECT_STREQ(d.id, "");
  EXPECT_EQ(d.wmo, -9999);
  EXPECT_EQ(d.lat, -9999.0f);
  EXPECT_EQ(d.lon, -9999.0f);
  EXPECT_EQ(d.el, -9999.0f);
}

} // namespace
