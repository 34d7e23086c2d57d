/*
 * The raw-file tool's commands, handed word lists as the tool hands them
 * its command line, on small raw files in a temporary folder; the results
 * are read back as text.
 */
#include "kez_test.h"
#include "kezraw.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::read_file;
using kez_test::TempDir;
using kez_test::write_file;

using Lines = std::vector<std::pair<std::string, std::string>>; /* identifier, value token */

class RawMath : public ::testing::Test {
 protected:
  /* Resources are process-wide: the fixture hands back what it found. */
  static constexpr const char* kResources[] = {"raw_path",   "file_path", "name_conv",  "parameter",
                                               "identifier", "current",   "plot_format"};
  void SetUp() override {
    for (const char* r : kResources) {
      const char* v = RES_get(r);
      saved.emplace_back(r, v ? v : "");
    }
    RES_put("raw_path", dir.path().c_str());
    RES_put("file_path", dir.path().c_str());
    RES_put("name_conv", "name_conv");
    RES_put("parameter", "");
    RES_put("identifier", "");
    RES_put("current", "");
    RES_put("plot_format", "%.1f");
    write_file(dir.file("name_conv"), "obs base.raw\n");
    put("a.raw", "12Z\nTemps", "AAA 40.00 -100.00 10\nBBB 41 -101 20\nCCC 42 -102 -\n");
    put("b.raw", "l\ni", "AAA 40 -100 1\nBBB 41 -101 2\nDDD 43 -103 5\n");
    put("c.raw", "l\ni", "AAA 40 -100 100\nDDD 43 -103 7\n");
  }
  void TearDown() override {
    for (const auto& [name, value] : saved) RES_put(name.c_str(), value.c_str());
  }
  void put(const std::string& name, const std::string& head, const std::string& body) {
    write_file(dir.file(name), "KEZRAW\n" + head + "\n" + body);
  }
  /* Runs one command line; its result. */
  static int run(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    std::vector<const char*> ptrs;
    for (const std::string& w : words) ptrs.push_back(w.c_str());
    return RAW_math_command(static_cast<int>(ptrs.size()), ptrs.data());
  }
  /* The data lines of an output: identifier and value token. */
  Lines lines(const std::string& name) const {
    std::istringstream in(read_file(dir.file(name)));
    std::string line;
    Lines out;
    for (int n = 0; std::getline(in, line); ++n) {
      if (n < 3 || line.empty()) continue;
      std::istringstream words(line);
      std::string id, lat, lon, value;
      words >> id >> lat >> lon >> value;
      out.emplace_back(id, value);
    }
    return out;
  }
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> saved;
};

TEST_F(RawMath, TableCommandsCombineStationByStation) {
  struct Case {
    const char* command;
    const char* parameter;
    Lines expected;
  };
  const Case cases[] = {
      /* Stations missing from the base file, or missing there, are ignored. */
      {"sum a.raw b.raw c.raw = out.raw", "", {{"AAA", "111.0"}, {"BBB", "22.0"}}},
      {"MAX a.raw b.raw = out.raw", "", {{"AAA", "10.0"}, {"BBB", "20.0"}}},
      {"min a.raw b.raw = out.raw", "", {{"AAA", "1.0"}, {"BBB", "2.0"}}},
      {"copy a.raw b.raw = out.raw", "", {{"AAA", "1.0"}, {"BBB", "2.0"}}},
      /* With a substitute, absent stations join and missing values count as
       * it; values equal to it are saved only with "outmiss". */
      {"sum a.raw b.raw c.raw = out.raw", "miss=0", {{"AAA", "111.0"}, {"BBB", "22.0"}, {"DDD", "12.0"}}},
      {"sum a.raw b.raw c.raw = out.raw",
       "miss=0,outmiss",
       {{"AAA", "111.0"}, {"BBB", "22.0"}, {"CCC", "0.0"}, {"DDD", "12.0"}}},
      {"merge a.raw c.raw = out.raw", "miss=0", {{"AAA", "100.0"}, {"BBB", "20.0"}, {"DDD", "7.0"}}},
  };
  for (const Case& c : cases) {
    RES_put("parameter", c.parameter);
    EXPECT_EQ(run(c.command), 1) << c.command;
    EXPECT_EQ(lines("out.raw"), c.expected) << c.command << " / " << c.parameter;
  }
}

TEST_F(RawMath, ConstantOperations) {
  put("z.raw", "l\ni", "AAA 1 2 0\nBBB 1 2 4\n");
  struct Case {
    const char* command;
    Lines expected;
  };
  const Case cases[] = {
      {"a.raw sub #10 = out.raw", {{"AAA", "0.0"}, {"BBB", "10.0"}}},
      {"#10 sub a.raw = out.raw", {{"AAA", "0.0"}, {"BBB", "-10.0"}}},
      {"a.raw add #0.5 = out.raw", {{"AAA", "10.5"}, {"BBB", "20.5"}}},
      {"a.raw MUL #3 = out.raw", {{"AAA", "30.0"}, {"BBB", "60.0"}}},
      {"#100 div a.raw = out.raw", {{"AAA", "10.0"}, {"BBB", "5.0"}}},
      {"a.raw mod #3 = out.raw", {{"AAA", "1.0"}, {"BBB", "2.0"}}},
      {"#25 mod a.raw = out.raw", {{"AAA", "5.0"}, {"BBB", "5.0"}}},
      {"a.raw ge #15 = out.raw", {{"AAA", "10.0"}, {"BBB", "-"}}},
      {"a.raw le #15 = out.raw", {{"AAA", "-"}, {"BBB", "20.0"}}},
      /* Division and remainder by zero give the missing value. */
      {"a.raw div #0 = out.raw", {{"AAA", "-"}, {"BBB", "-"}}},
      {"a.raw mod #0 = out.raw", {{"AAA", "-"}, {"BBB", "-"}}},
      {"#8 div z.raw = out.raw", {{"AAA", "-"}, {"BBB", "2.0"}}},
      {"#8 mod z.raw = out.raw", {{"AAA", "-"}, {"BBB", "0.0"}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.command), 1) << c.command;
    EXPECT_EQ(lines("out.raw"), c.expected) << c.command;
    EXPECT_EQ(read_file(dir.file("out.raw")).find("inf"), std::string::npos) << c.command;
    EXPECT_EQ(read_file(dir.file("out.raw")).find("nan"), std::string::npos) << c.command;
  }
}

TEST_F(RawMath, OperationsBetweenTwoFilesKeepStationsTheSecondUpdated) {
  put("e.raw", "l\ni", "AAA 1 2 15\nBBB 1 2 5\nDDD 1 2 9\n");
  put("z.raw", "l\ni", "AAA 1 2 0\n");
  struct Case {
    const char* command;
    Lines expected;
  };
  const Case cases[] = {
      {"a.raw div b.raw = out.raw", {{"AAA", "10.0"}, {"BBB", "10.0"}}},
      {"a.raw sub c.raw = out.raw", {{"AAA", "-90.0"}}},
      {"a.raw div z.raw = out.raw", {{"AAA", "-"}}},
      {"a.raw mod z.raw = out.raw", {{"AAA", "-"}}},
      /* "mod", "ge" and "le" act as they do with a constant. */
      {"a.raw mod e.raw = out.raw", {{"AAA", "10.0"}, {"BBB", "0.0"}}},
      {"a.raw ge e.raw = out.raw", {{"AAA", "10.0"}, {"BBB", "-"}}},
      {"a.raw le e.raw = out.raw", {{"AAA", "-"}, {"BBB", "20.0"}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.command), 1) << c.command;
    EXPECT_EQ(lines("out.raw"), c.expected) << c.command;
  }
}

TEST_F(RawMath, StationsAreKeyedOnTheWholeIdentifierAndCountedOncePerFile) {
  put("long.raw", "l\ni", "STATIONNAME01 1 2 5\nSTATIONNAME02 1 2 7\n");
  EXPECT_EQ(run("sum long.raw long.raw = out.raw"), 1);
  EXPECT_EQ(lines("out.raw"), (Lines{{"STATIONNAME01", "10.0"}, {"STATIONNAME02", "14.0"}}));
  /* A station listed twice in one file updates once in that pass. */
  put("dup.raw", "l\ni", "AAA 1 2 1\nAAA 1 2 1000\n");
  EXPECT_EQ(run("sum a.raw dup.raw dup.raw = out.raw"), 1);
  EXPECT_EQ(lines("out.raw"), (Lines{{"AAA", "12.0"}, {"BBB", "20.0"}}));
}

TEST_F(RawMath, IdentifierListFiltersEveryOperation) {
  RES_put("identifier", "BBB,DDD");
  EXPECT_EQ(run("sum a.raw b.raw = out.raw"), 1);
  EXPECT_EQ(lines("out.raw"), (Lines{{"BBB", "22.0"}}));
  EXPECT_EQ(run("b.raw add #1 = out.raw"), 1);
  EXPECT_EQ(lines("out.raw"), (Lines{{"BBB", "3.0"}, {"DDD", "6.0"}}));
}

TEST_F(RawMath, HeaderComesFromTheCommandOrTheFirstInput) {
  EXPECT_EQ(run("a.raw sub #1 = out.raw Diff 18Z"), 1);
  EXPECT_EQ(read_file(dir.file("out.raw")).rfind("KEZRAW\n18Z\nDiff\n", 0), 0u);
  EXPECT_EQ(run("a.raw sub #1 = out.raw - -"), 1);
  EXPECT_EQ(read_file(dir.file("out.raw")).rfind("KEZRAW\n12Z\nTemps\n", 0), 0u);
  EXPECT_EQ(run("sum a.raw b.raw = out.raw Total"), 1);
  EXPECT_EQ(read_file(dir.file("out.raw")).rfind("KEZRAW\n12Z\nTotal\n", 0), 0u);
}

TEST_F(RawMath, ExtractAndSeriesOfFields) {
  put("f.raw", "00Z\n!Obs\nid lat lon T:Temperature:%.0f TD\n$", "AAA 40 -100 50 40\nBBB 41 -101 60 -\n");
  put("g.raw", "06Z\n!Obs\nid lat lon T:Temperature:%.0f TD\n$", "AAA 40 -100 55 41\nBBB 41 -101 65 42\n");
  EXPECT_EQ(run("ext f.raw-TD = out.raw"), 1);
  EXPECT_EQ(read_file(dir.file("out.raw")).rfind("KEZRAW\n00Z\nObs - TD\n", 0), 0u);
  EXPECT_EQ(lines("out.raw"), (Lines{{"AAA", "40.0"}}));
  /* The field's plot format goes with its values unless "noattr". */
  EXPECT_EQ(run("ext f.raw-T = out.raw"), 1);
  EXPECT_EQ(read_file(dir.file("out.raw")).rfind("KEZRAW\n00Z\nObs - Temperature\n", 0), 0u);
  EXPECT_EQ(lines("out.raw"), (Lines{{"AAA", "50.0:%.0f"}, {"BBB", "60.0:%.0f"}}));
  RES_put("parameter", "noattr");
  EXPECT_EQ(run("ext f.raw-T = out.raw"), 1);
  EXPECT_EQ(lines("out.raw"), (Lines{{"AAA", "50.0"}, {"BBB", "60.0"}}));

  EXPECT_EQ(run("series f.raw-TD:00Z g.raw-TD:06Z = out.raw"), 1);
  EXPECT_EQ(lines("out.raw"), (Lines{{"00Z", "40.0"}, {"06Z", "41.0"}, {"06Z", "42.0"}}));
  EXPECT_EQ(run("series a.raw b.raw = out.raw"), 1);
  EXPECT_EQ(lines("out.raw"), (Lines{{"1", "10.0"}, {"1", "20.0"}, {"2", "1.0"}, {"2", "2.0"}, {"2", "5.0"}}));
  /* Without an output the series goes to the standard output. */
  auto out = capture([&] { EXPECT_EQ(run("series a.raw"), 1); });
  EXPECT_NE(out.out.find("KEZRAW\n12Z\nTemps\n1"), std::string::npos) << out.out;
}

TEST_F(RawMath, FileWordsPassThroughTheNamingLayer) {
  put("base.raw", "l\ni", "QQQ 1 2 3\n");
  RES_put("current", "la");
  auto out = capture([&] { EXPECT_EQ(run("obs add #1 = out.raw"), 1); });
  EXPECT_EQ(lines("out.raw"), (Lines{{"QQQ", "4.0"}}));
}

TEST_F(RawMath, ValuesGoThroughTheCheckedFormatter) {
  RES_put("plot_format", "%s%n");
  auto out = capture([&] { EXPECT_EQ(run("a.raw add #1 = out.raw"), 1); });
  EXPECT_EQ(lines("out.raw"), (Lines{{"AAA", "11.000000"}, {"BBB", "21.000000"}}));
  EXPECT_NE(out.err.find("RAW_write"), std::string::npos) << out.err;
}

TEST_F(RawMath, InvalidCommandsAndUnusableFilesFail) {
  const char* const invalid[] = {
      "a.raw pow #2 = out.raw", "a.raw add #2 =", "a.raw", "ext a.raw =", "sum", "sum = out.raw",
  };
  for (const char* c : invalid) {
    auto out = capture([&] { EXPECT_EQ(run(c), 0) << c; });
    EXPECT_NE((out.out + out.err).find("RAW_math_command: Invalid operation"), std::string::npos) << c;
  }
  for (const char* c : {"sum none.raw b.raw = out.raw", "none.raw add #1 = out.raw", "none.raw div b.raw = out.raw",
                        "ext none.raw = out.raw", "series a.raw none.raw = out.raw"}) {
    auto out = capture([&] { EXPECT_EQ(run(c), 0) << c; });
    EXPECT_NE((out.out + out.err).find("RAW_file_open: Unable to open file:"), std::string::npos) << c;
  }
  for (const char* c : {"a.raw add #x = out.raw", "#1e99 sub a.raw = out.raw", "a.raw div # = out.raw"}) {
    auto out = capture([&] { EXPECT_EQ(run(c), 0) << c; });
    EXPECT_NE((out.out + out.err).find("RAW_math: Invalid constant"), std::string::npos) << c;
  }
  EXPECT_EQ(RAW_math_command(0, nullptr), 0);
}

} // namespace
