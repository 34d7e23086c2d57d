#include "kez.h"
#include "kez_test.h"
#include "kezraw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;

char* field(int n) { return RAW_sel(RAW_SEL_FIELD + n); }
char* all() { return RAW_sel(RAW_SEL_ALL); }

/* Opens a raw file for reading and reads its header. */
struct Reader {
  int fd = -1;
  RAW_info info{};
  explicit Reader(const std::string& path, int type = 0) {
    fd = RAW_open(path.c_str(), RAW_READ, &type);
    if (fd >= 0) RAW_getinfo(fd, &info);
  }
  ~Reader() { RAW_close(fd); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  RAW_report get(const char* sel, int line, int* result = nullptr) {
    RAW_report r{};
    const int res = RAW_read(fd, &r, sel, &line);
    if (result) *result = res;
    return r;
  }
};

std::string raw_file(const TempDir& dir, const std::string& name, const std::string& text) {
  const std::string p = dir.file(name);
  write_file(p, text);
  return p;
}

const char* kTemp =
    "KEZRAW\n12Z  5 JAN 98\n!Temperature\nid lat lon T:Temperature:value:%1.0f wx\n$\n"
    "KMSP 44.88 -93.22 - 12:uc\n"
    "72649 - - 3 wx=RA\n"
    "KDLH 46.84 -92.19 270,15 SN\n";

TEST(RawRead, FieldListHeaderAndKeys) {
  TempDir dir;
  Reader r(raw_file(dir, "t.raw", kTemp));
  ASSERT_GE(r.fd, 0);
  EXPECT_STREQ(r.info.datim, "12Z  5 JAN 98");
  EXPECT_STREQ(r.info.info, "Temperature");
  EXPECT_EQ(r.info.num_stat, KEZ_MISS);
  EXPECT_EQ(r.info.date.hour, 12);
  EXPECT_EQ(r.info.date.day, 5);
  EXPECT_EQ(RAW_get_num_field(r.fd), 5);
  EXPECT_STREQ(RAW_get_field_name(r.fd, field(0)), "T");
  EXPECT_STREQ(RAW_get_field_info(r.fd, "T"), "Temperature");
  EXPECT_STREQ(RAW_get_field_fmt(r.fd, "T"), "value:%1.0f");
  EXPECT_EQ(RAW_get_field_info(r.fd, "wx"), nullptr); /* empty text */
  EXPECT_EQ(RAW_get_field_name(r.fd, field(2)), nullptr);
  EXPECT_EQ(RAW_get_field_ind(r.fd, "lat"), 1);
  EXPECT_EQ(RAW_get_field_ind(r.fd, RAW_sel(KEZ_MISS)), -1);
  EXPECT_EQ(RAW_get_field_ind(r.fd, "nothing"), -1);

  /* Selector 10 and the name "T" read the same value of the same line. */
  RAW_report a = r.get(field(0), 2);
  RAW_report b = r.get("T", 2);
  EXPECT_STREQ(a.id, "KDLH");
  EXPECT_FLOAT_EQ(a.lat, 46.84f);
  EXPECT_FLOAT_EQ(a.lon, -92.19f);
  EXPECT_FLOAT_EQ(a.value[0], 270);
  EXPECT_FLOAT_EQ(a.value[1], 15);
  EXPECT_STREQ(a.data, "270,15");
  EXPECT_STREQ(a.format, "value:%1.0f");
  EXPECT_STREQ(b.data, a.data);
  EXPECT_STREQ(b.id, "KDLH");
}

TEST(RawRead, ValueByValueAlongALine) {
  TempDir dir;
  Reader r(raw_file(dir, "t.raw", kTemp));
  int res = 0;
  RAW_report v = r.get(all(), 0, &res);
  EXPECT_EQ(res, 1);
  EXPECT_STREQ(v.id, "KMSP");
  EXPECT_EQ(v.type, 3);
  EXPECT_EQ(v.value[0], M);
  EXPECT_STREQ(v.data, "");
  v = r.get(all(), 0, &res);
  EXPECT_EQ(res, 1);
  EXPECT_EQ(v.type, 4);
  EXPECT_FLOAT_EQ(v.value[0], 12);
  EXPECT_STREQ(v.format, "uc"); /* "wx" has no format of its own */
  v = r.get(all(), 0, &res);
  EXPECT_EQ(res, 0);
  EXPECT_EQ(v.type, KEZ_MISS);
  /* The next number gives the next line: an identifier longer than four
   * characters is also a number, "-" keys are missing. */
  v = r.get(all(), 1, &res);
  EXPECT_EQ(res, 1);
  EXPECT_EQ(v.wmo, 72649);
  EXPECT_EQ(v.lat, M);
  EXPECT_EQ(v.lon, M);
  EXPECT_FLOAT_EQ(v.value[0], 3);
}

/* A caller that counts every call (as sounding readers do) still gets the
 * lines in order, none skipped. */
TEST(RawRead, ValueByValueWithACounterPerCall) {
  TempDir dir;
  Reader r(raw_file(dir, "t.raw", kTemp));
  std::vector<std::string> got;
  for (int n = 0; n < 100; ++n) {
    RAW_report v{};
    int k = n;
    const int res = RAW_read(r.fd, &v, all(), &k);
    if (res == -1) break;
    if (res == 1) got.push_back(std::string(v.id) + ":" + v.data);
  }
  const std::vector<std::string> want = {"KMSP:", "KMSP:12", "72649:3", "72649:RA", "KDLH:270,15", "KDLH:SN"};
  EXPECT_EQ(got, want);
}

/* Two fields asked for one line number come from that one station. */
TEST(RawRead, SameLineNumberReadsTheSameLineAgain) {
  TempDir dir;
  Reader r(raw_file(dir, "t.raw", kTemp));
  RAW_report t = r.get("T", 1);
  RAW_report w = r.get("wx", 1);
  RAW_report id = r.get("ID", 1);
  EXPECT_STREQ(t.id, "72649");
  EXPECT_FLOAT_EQ(t.value[0], 3);
  EXPECT_STREQ(w.id, "72649");
  EXPECT_STREQ(w.data, "RA"); /* the name= part goes */
  EXPECT_STREQ(id.data, "72649");
  /* Going back rewinds; asking for a line past the data ends them. */
  EXPECT_STREQ(r.get("T", 0).id, "KMSP");
  EXPECT_STREQ(r.get("T", 2).id, "KDLH");
  EXPECT_STREQ(r.get("T", 0).id, "KMSP");
  int res = 0;
  r.get("T", 3, &res);
  EXPECT_EQ(res, -1);
  EXPECT_STREQ(r.get("lat", 2).data, "46.84");
}

TEST(RawRead, BackwardsRequestRewindsAndSkips) {
  TempDir dir;
  std::string text = "KEZRAW\nlabel\ninfo\n";
  for (int k = 0; k < 10; ++k) text += "S" + std::to_string(k) + " 40 -90 " + std::to_string(k) + "\n";
  Reader r(raw_file(dir, "n.raw", text));
  EXPECT_STREQ(r.get(field(0), 7).id, "S7");
  RAW_report v = r.get(field(0), 3);
  EXPECT_STREQ(v.id, "S3");
  EXPECT_FLOAT_EQ(v.value[0], 3);
  EXPECT_FLOAT_EQ(v.lat, 40);
}

TEST(RawRead, NameSearchAndTokens) {
  struct Case {
    const char* line;
    const char* sel;
    float v0, v1;
    const char* data;
    const char* why;
  };
  const Case cases[] = {
      {"A 1 2 270,15", "10", 270, 15, "270,15", "a pair"},
      {"A 1 2 x wx=RA", "wx", M, M, "RA", "name= found after other values"},
      {"A 1 2 wx=", "wx", M, M, "", "name= without a value"},
      {"A 1 2 -", "10", M, M, "", "dash is missing"},
      {"A 1 2 -x", "10", M, M, "-x", "not a number: text only"},
      {"A 1 2 1e999", "10", M, M, "1e999", "overflow is missing"},
      {"A 1 2 .5:ul", "10", 0.5f, M, ".5", "own format after the colon"},
      {"A 1 2 5", "11", M, M, "", "fewer values than asked"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    Reader r(raw_file(dir, "c.raw", std::string("KEZRAW\nlabel\n!info\nid lat lon a b\n$\n") + c.line + "\n"));
    const char* sel = std::strcmp(c.sel, "10") == 0 ? field(0) : std::strcmp(c.sel, "11") == 0 ? field(1) : c.sel;
    RAW_report v = r.get(sel, 0);
    EXPECT_EQ(v.value[0], c.v0) << c.why;
    EXPECT_EQ(v.value[1], c.v1) << c.why;
    EXPECT_STREQ(v.data, c.data) << c.why;
  }
}

TEST(RawRead, FilesWithoutFieldList) {
  TempDir dir;
  Reader r(raw_file(dir, "p.raw", "KEZRAW\nlabel\nno list\nABC 45 -93 7\nABC 7 X\n"));
  RAW_report v = r.get(field(0), 0);
  EXPECT_FLOAT_EQ(v.lat, 45);
  EXPECT_FLOAT_EQ(v.lon, -93);
  EXPECT_FLOAT_EQ(v.value[0], 7);
  v = r.get(field(0), 1);
  EXPECT_EQ(v.lat, M);
  EXPECT_FLOAT_EQ(v.value[0], 7);
  EXPECT_STREQ(r.get(field(1), 1).data, "X");
  EXPECT_EQ(RAW_get_num_field(r.fd), 0);
}

TEST(RawRead, IdentifierOnlyLineGivesKeysOnceThenEnds) {
  TempDir dir;
  Reader r(raw_file(dir, "i.raw", "KEZRAW\nlabel\n!i\nid lat lon T\n$\nLONE\nNEXT 1 2 3\n"));
  int res = 0;
  RAW_report v = r.get(all(), 0, &res);
  EXPECT_EQ(res, 1);
  EXPECT_STREQ(v.id, "LONE");
  EXPECT_EQ(v.type, KEZ_MISS);
  r.get(all(), 0, &res);
  EXPECT_EQ(res, 0);
  v = r.get(all(), 1, &res);
  EXPECT_EQ(res, 1);
  EXPECT_STREQ(v.id, "NEXT");
}

/* CRLF lines, a line longer than the reader takes, and an empty line where
 * the data end. */
TEST(RawRead, CrlfLongLinesAndEmptyLineEnd) {
  TempDir dir;
  std::string longline = "LONG 1 2 " + std::string(600, '9') + " 5";
  std::string text = "KEZRAW\r\nlabel\r\n!info\r\nid lat lon T U\r\n$\r\nA 1 2 3 4\r\n" + longline +
                     "\r\nB 5 6 7 8\r\n\r\nC 9 9 9 9\r\n";
  Reader r(raw_file(dir, "c.raw", text));
  EXPECT_STREQ(r.info.info, "info");
  EXPECT_STREQ(RAW_get_field_name(r.fd, "U"), "U");
  RAW_report v = r.get("U", 0);
  EXPECT_FLOAT_EQ(v.value[0], 4);
  EXPECT_STREQ(v.format, "");
  v = r.get("T", 1);
  EXPECT_STREQ(v.id, "LONG");
  EXPECT_EQ(std::strlen(v.data), RAW_VAL_LEN - 1u); /* cut to the record */
  /* The rest of the long line is dropped, not read as a line. */
  EXPECT_STREQ(r.get("T", 2).id, "B");
  int res = 0;
  r.get("T", 3, &res);
  EXPECT_EQ(res, -1);
}

TEST(RawRead, OverlongHeaderTextsAreCut) {
  TempDir dir;
  const std::string big(300, 'x');
  std::string text = "KEZRAW\n" + big + "\n!" + big + "\n" + big + ":" + big + ":" + big + " " + big + "=1\n$\n" + big +
                     " 1:" + big + " 2 " + big + "\n";
  Reader r(raw_file(dir, "b.raw", text));
  /* Two fields and no "lat": one key, so the first field is number 9. */
  char* first = RAW_sel(RAW_SEL_FIELD - 1);
  ASSERT_NE(RAW_get_field_name(r.fd, first), nullptr);
  EXPECT_EQ(std::strlen(r.info.datim), RAW_LABEL_LEN - 1u);
  EXPECT_EQ(std::strlen(r.info.info), RAW_LABEL_LEN - 1u);
  EXPECT_EQ(std::strlen(RAW_get_field_name(r.fd, first)), RAW_FIELD_NAME_LEN - 1u);
  EXPECT_EQ(std::strlen(RAW_get_field_info(r.fd, first)), RAW_FIELD_INFO_LEN - 1u);
  EXPECT_EQ(std::strlen(RAW_get_field_fmt(r.fd, first)), RAW_FIELD_FMT_LEN - 1u);
  RAW_report v = r.get(all(), 0);
  EXPECT_EQ(std::strlen(v.id), RAW_ID_LEN - 1u);
  EXPECT_EQ(std::strlen(v.format), RAW_REP_FMT_LEN - 1u);
}

/* A list longer than the table keeps its first entries and is still read
 * up to its "$", so no field becomes a data line. */
TEST(RawRead, LongFieldListIsBoundedAndReadToItsEnd) {
  TempDir dir;
  std::string text = "KEZRAW\nlabel\n!info\nid lat lon";
  for (int k = 0; k < 1000; ++k) text += (k % 10 ? " f" : "\nf") + std::to_string(k);
  text += " $ ignored\nS1 1 2 3\n";
  Reader r(raw_file(dir, "l.raw", text));
  EXPECT_EQ(RAW_get_num_field(r.fd), RAW_MAX_FIELDS);
  EXPECT_STREQ(RAW_get_field_name(r.fd, field(71)), "f71");
  EXPECT_EQ(RAW_get_field_name(r.fd, field(72)), nullptr);
  RAW_report v = r.get("f0", 0);
  EXPECT_STREQ(v.id, "S1");
  EXPECT_FLOAT_EQ(v.value[0], 3);
}

/* Profile files have two keys: a level label and the pressure. Lookups by
 * number follow the file's own key count. */
TEST(RawRead, ProfileFilesCountTheirOwnKeys) {
  TempDir dir;
  Reader r(raw_file(dir, "u.raw", "KEZRAW\nlabel\n!72649\nlev P HGHT TEMP\n$\n1 1000 110 25.5\n2 850 1500 14\n"));
  EXPECT_STREQ(RAW_get_field_name(r.fd, field(0)), "HGHT");
  EXPECT_EQ(RAW_get_field_ind(r.fd, field(1)), 3);
  int res = 0;
  RAW_report v = r.get(all(), 0, &res);
  EXPECT_EQ(res, 1);
  EXPECT_STREQ(v.id, "1");
  EXPECT_FLOAT_EQ(v.lat, 1000);
  EXPECT_EQ(v.type, 2);
  EXPECT_FLOAT_EQ(v.value[0], 110);
  v = r.get("TEMP", 1);
  EXPECT_FLOAT_EQ(v.value[0], 14);
  EXPECT_FLOAT_EQ(r.get("P", 1).value[0], 850);
}

TEST(RawRead, HeaderlessFilesAndStandardInput) {
  TempDir dir;
  {
    Reader r(raw_file(dir, "h.raw", "A 45 -93 7\nB 1 2 X\n"));
    int type = 0;
    EXPECT_EQ(RAW_chktype(dir.file("h.raw").c_str()), RAW_TYPE_PLAIN);
    RAW_info info{};
    EXPECT_EQ(RAW_getinfo(r.fd, &info), -1);
    EXPECT_FLOAT_EQ(r.get(field(0), 0).value[0], 7);
    EXPECT_STREQ(r.get(field(0), 1).data, "X");
    /* A headerless file on disk can be read again from its start. */
    EXPECT_EQ(RAW_rewind(r.fd), 0);
    EXPECT_STREQ(r.get(field(0), 0).id, "A");
    (void)type;
  }
  {
    /* A headerless file whose first station begins with "K". */
    Reader r(raw_file(dir, "k.raw", "KMSP 45 -93 7\nKDLH 46 -92 8\n"));
    EXPECT_EQ(RAW_chktype(dir.file("k.raw").c_str()), RAW_TYPE_PLAIN);
    EXPECT_STREQ(r.get(field(0), 0).id, "KMSP");
    EXPECT_FLOAT_EQ(r.get(field(0), 1).value[0], 8);
  }
  auto c = run_child(
      [] {
        int type = 0;
        const int fd = RAW_open("stdn", RAW_READ, &type);
        RAW_report v{};
        int n = 0;
        int res;
        while ((res = RAW_read(fd, &v, field(0), &n)) == 0) {
          std::printf("%d %s %s\n", type, v.id, v.data);
          ++n;
        }
        RAW_close(fd);
        return 0;
      },
      "X1 1 2 a\nX2 3 4 b\n");
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out, "99 X1 a\n99 X2 b\n");
}

TEST(RawRead, OpeningRules) {
  TempDir dir;
  int type = RAW_TYPE_HEADER;
  EXPECT_EQ(RAW_open(dir.file("missing.raw").c_str(), RAW_APPEND, &type), -1);
  type = 0;
  EXPECT_EQ(RAW_open(dir.file("new.raw").c_str(), RAW_WRITE, &type), -1);
  EXPECT_EQ(RAW_chktype(dir.file("missing.raw").c_str()), -1);
  raw_file(dir, "plain.raw", "A 1 2 3\n");
  type = RAW_TYPE_HEADER;
  EXPECT_EQ(RAW_open(dir.file("plain.raw").c_str(), RAW_APPEND, &type), -1);
  type = 7;
  EXPECT_EQ(RAW_open(dir.file("plain.raw").c_str(), RAW_READ, &type), -1);
  /* The slot table holds five files; a closed slot is free again. */
  int fds[RAW_MAX_FILES];
  for (int& fd : fds) {
    type = 0;
    fd = RAW_open(dir.file("plain.raw").c_str(), RAW_READ, &type);
    EXPECT_GE(fd, 0);
  }
  type = 0;
  EXPECT_EQ(RAW_open(dir.file("plain.raw").c_str(), RAW_READ, &type), -1);
  RAW_close(fds[2]);
  type = 0;
  EXPECT_EQ(RAW_open(dir.file("plain.raw").c_str(), RAW_READ, &type), fds[2]);
  for (int fd : fds) RAW_close(fd);
  /* Descriptor -1 and empty slots are harmless. */
  RAW_report v{};
  int n = 0;
  EXPECT_EQ(RAW_read(-1, &v, all(), &n), 0);
  EXPECT_EQ(RAW_read(3, &v, all(), &n), 0);
  EXPECT_EQ(RAW_close(-1), 0);
  EXPECT_EQ(RAW_get_num_field(-1), 0);
  EXPECT_EQ(RAW_get_field_name(-1, "T"), nullptr);
}

/* Every value type written and read back, with the field list. */
TEST(RawWrite, RoundTripOfEveryValueType) {
  TempDir dir;
  const std::string path = dir.file("out/w.raw");
  RES_put("plot_format", "");
  int type = RAW_TYPE_HEADER;
  const int fd = RAW_open(path.c_str(), RAW_WRITE, &type);
  ASSERT_GE(fd, 0);
  const char* names[] = {"T", "WX", "N", "WIND", "SKY"};
  for (int k = 0; k < 5; ++k) {
    RAW_set_field_name(fd, field(k), names[k]);
    EXPECT_EQ(RAW_set_field_info(fd, field(k), "some text"), 1);
    EXPECT_EQ(RAW_set_field_fmt(fd, field(k), "value:%1.0f"), 1);
  }
  EXPECT_EQ(RAW_get_num_field(fd), 8);
  RAW_info info{};
  std::snprintf(info.datim, sizeof info.datim, "12Z 10 DEC 26");
  std::snprintf(info.info, sizeof info.info, "Surface data");
  EXPECT_EQ(RAW_putinfo(fd, &info), 0);
  struct Val {
    int type;
    float v0, v1;
    const char* data;
  };
  const Val vals[] = {{VAR_TYPE_VALUE, 54.5f, M, ""},
                      {VAR_TYPE_TEXT, M, M, "RA SN"},
                      {VAR_TYPE_INT, 7.9f, M, ""},
                      {VAR_TYPE_BARB, 270, 15, ""},
                      {VAR_TYPE_CLOUD, M, M, "B"}};
  for (int s = 0; s < 2; ++s) {
    RAW_report r{};
    std::snprintf(r.id, sizeof r.id, s == 0 ? "KMSP" : "");
    r.lat = s == 0 ? 44.88f : M;
    r.lon = s == 0 ? -93.22f : M;
    EXPECT_EQ(RAW_write(fd, &r, RAW_sel(RAW_PUT_START), nullptr), 0);
    for (const Val& v : vals) {
      RAW_report d{};
      d.type = v.type;
      d.value[0] = s == 0 ? v.v0 : M;
      d.value[1] = v.v1;
      std::snprintf(d.data, sizeof d.data, "%s", s == 0 ? v.data : "");
      EXPECT_EQ(RAW_write(fd, &d, RAW_sel(RAW_PUT_VALUE), nullptr), 1);
    }
    RAW_write(fd, &r, RAW_sel(RAW_PUT_END), nullptr);
  }
  RAW_close(fd);

  const std::string text = kez_test::read_file(path);
  EXPECT_NE(text.find("KEZRAW\n12Z 10 DEC 26\n!Surface data\nid lat lon\nT:some_text:value:%1.0f\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("KMSP  44.88  -93.22 54.500000 RA_SN 7 270.000000,15.000000 B\n"), std::string::npos) << text;
  EXPECT_NE(text.find("-      -       - - - - - -\n"), std::string::npos) << text;

  Reader r(path);
  EXPECT_STREQ(r.info.info, "Surface data");
  EXPECT_EQ(RAW_get_num_field(r.fd), 8);
  EXPECT_STREQ(RAW_get_field_info(r.fd, "WX"), "some text");
  RAW_report v = r.get("T", 0);
  EXPECT_FLOAT_EQ(v.value[0], 54.5f);
  EXPECT_FLOAT_EQ(v.lat, 44.88f);
  EXPECT_STREQ(r.get("WX", 0).data, "RA_SN");
  EXPECT_FLOAT_EQ(r.get("N", 0).value[0], 7);
  v = r.get("WIND", 0);
  EXPECT_FLOAT_EQ(v.value[0], 270);
  EXPECT_FLOAT_EQ(v.value[1], 15);
  EXPECT_STREQ(r.get("SKY", 0).data, "B");
  /* The station without position or values keeps its columns. */
  v = r.get("SKY", 1);
  EXPECT_EQ(v.lat, M);
  EXPECT_STREQ(v.data, "");
  int res = 0;
  r.get("T", 2, &res);
  EXPECT_EQ(res, -1);
}

/* The value format of "plot_format" goes through the format check: a
 * format that could crash the writer is replaced. */
TEST(RawWrite, PlotFormatIsChecked) {
  auto c = run_child([] {
    TempDir dir;
    const std::string path = dir.file("f.raw");
    int type = RAW_TYPE_HEADER;
    int fd = RAW_open(path.c_str(), RAW_WRITE, &type);
    RAW_report d{};
    std::snprintf(d.id, sizeof d.id, "A");
    d.lat = 1, d.lon = 2, d.type = VAR_TYPE_VALUE, d.value[0] = 3.25f;
    RES_put("plot_format", "%5.1f");
    RAW_write(fd, &d, RAW_sel(RAW_PUT_LINE), nullptr);
    RES_put("plot_format", "%s%s%n");
    RAW_write(fd, &d, RAW_sel(RAW_PUT_LINE), nullptr);
    RAW_write(fd, &d, RAW_sel(RAW_PUT_LINE), nullptr);
    RES_put("plot_format", "text");
    RAW_write(fd, &d, RAW_sel(RAW_PUT_LINE), nullptr); /* a keyword sets the type */
    RAW_close(fd);
    std::printf("%s", kez_test::read_file(path).c_str());
    return 0;
  });
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out,
            "A   1.00    2.00   3.2\n"
            "A   1.00    2.00 3.250000\n"
            "A   1.00    2.00 3.250000\n"
            "A   1.00    2.00 -\n\n")
      << c.out;
  /* One warning, not one per value. */
  const size_t w = c.err.find("RAW_write:");
  EXPECT_NE(w, std::string::npos) << c.err;
  EXPECT_EQ(c.err.find("RAW_write:", w + 1), std::string::npos) << c.err;
}

TEST(RawWrite, HeaderWithoutFieldsAndPutheader) {
  TempDir dir;
  const std::string path = dir.file("h.raw");
  int type = RAW_TYPE_HEADER;
  int fd = RAW_open(path.c_str(), RAW_WRITE, &type);
  RAW_info info{};
  std::snprintf(info.datim, sizeof info.datim, "label\nbroken");
  std::snprintf(info.info, sizeof info.info, "!72649");
  RAW_putinfo(fd, &info);
  RAW_putheader(fd, "lev P TEMP");
  RAW_report r{};
  std::snprintf(r.id, sizeof r.id, "1");
  r.lat = 1000, r.lon = M, r.type = VAR_TYPE_VALUE, r.value[0] = 25;
  RES_put("plot_format", "%g");
  RAW_write(fd, &r, RAW_sel(RAW_PUT_LINE), nullptr);
  RAW_close(fd);
  Reader rd(path);
  EXPECT_STREQ(rd.info.datim, "label broken");
  EXPECT_STREQ(RAW_get_field_name(rd.fd, "TEMP"), "TEMP");
  /* Header functions refuse a headerless file. */
  type = RAW_TYPE_PLAIN;
  fd = RAW_open(dir.file("p.raw").c_str(), RAW_WRITE, &type);
  EXPECT_EQ(RAW_putinfo(fd, &info), -1);
  EXPECT_EQ(RAW_putheader(fd, "x"), -1);
  RAW_close(fd);
  /* Appending to a file with the magic line adds lines. */
  type = RAW_TYPE_HEADER;
  fd = RAW_open(path.c_str(), RAW_APPEND, &type);
  EXPECT_EQ(type, RAW_TYPE_HEADER);
  RAW_close(fd);
  RES_put("plot_format", "");
}

/* Hostile bytes never crash and every text stays bounded. */
TEST(RawRead, HostileFiles) {
  TempDir dir;
  std::string garbage;
  unsigned x = 12345;
  for (int k = 0; k < 20000; ++k) {
    x = x * 1103515245u + 12345u;
    garbage += static_cast<char>(x >> 16);
  }
  const std::string texts[] = {
      "KEZRAW\n" + garbage,
      "K" + garbage,
      garbage,
      "KEZRAW\nl\n!i\nid lat lon a= b= =:: ::\n$\nS 1 2 a= b= = : ::: =,\n",
      "KEZRAW\nl\n!i\n" + std::string(10000, 'a') + "\n",
      "KEZRAW\nl\n!i\nid lat lon T\n$\n" + std::string(10000, '1') + "\n" + std::string(10000, ' ') + "x\n",
      "KEZRAW",
      "",
  };
  for (const std::string& t : texts) {
    Reader r(raw_file(dir, "g.raw", t));
    if (r.fd < 0) continue;
    for (int n = 0; n < 50; ++n) {
      RAW_report v{};
      int k = n;
      if (RAW_read(r.fd, &v, all(), &k) < 0) break;
      EXPECT_LT(std::strlen(v.data), sizeof v.data);
      RAW_read(r.fd, &v, "a", &k);
      RAW_read(r.fd, &v, field(n % 5), &k);
      RAW_read(r.fd, &v, "zz", &k);
    }
  }
}

} // namespace
