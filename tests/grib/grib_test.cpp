/*
 * The GRIB decoder's front: framing search, next-record offsets, the file
 * header, raw copies, headings, hostile lengths, and the unit and remapping
 * tables.
 */
#include "grib_driver.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using grib_test::HANDLE;
using kez_test::TempDir;

namespace {

std::string data_file(const std::string& name) { return std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/" + name; }

std::string bytes_of(const std::string& path) { return kez_test::read_file(path); }

void put_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<grib_test::Record> walk_file(const std::string& path) {
  EXPECT_NE(grib_test::open_grib(path), nullptr) << path;
  GRD_info info{};
  std::vector<grib_test::Record> records;
  if (grib_test::file_header(&info) == 0) records = grib_test::walk();
  grib_test::close_grib();
  return records;
}

/* Offsets and lengths of the messages of a file by ecCodes' grib_ls. */
std::vector<std::pair<long, long>> eccodes_messages(const std::string& path) {
  std::string out;
  kez_test::run_command("grib_ls -p offset,totalLength " + path, &out);
  std::vector<std::pair<long, long>> list;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    long off = 0, len = 0;
    if (std::sscanf(line.c_str(), "%ld %ld", &off, &len) == 2) list.emplace_back(off, len);
  }
  return list;
}

const char* const heads[] = {"YTHA01 KWBC 151200", "YTHB02 KWBC 161200", "YTHC03 EGRR 170000", "YTHD04 LFPW 181800"};

} // namespace

/* Every framing holds the same four messages (editions 1, 2, 1, 2); each
 * walk must find them at the offsets ecCodes finds in the raw file, keep the
 * heading, learn the framing kind and hand on to the next record. */
TEST(GribFraming, EveryFramingFindsEveryMessage) {
  if (!kez_test::have_program("grib_ls")) GTEST_SKIP() << "grib_ls not installed";
  const std::string raw = bytes_of(data_file("framing_raw.grb"));
  auto expected = eccodes_messages(data_file("framing_raw.grb"));
  ASSERT_EQ(expected.size(), 4u);
  const std::string dflt = GRIB_DEFAULT_HEADING;
  struct Case {
    const char* file;
    int itype[4];
    bool framed[4]; /* heading from the framing, else the default */
  } cases[] = {
      {"framing_raw.grb", {4, 4, 4, 4}, {false, false, false, false}},
      {"framing_kez.grb", {1, 1, 1, 1}, {true, true, true, true}},
      {"framing_ldm.grb", {2, 2, 2, 2}, {true, true, true, true}},
      {"framing_oldkez.grb", {3, 3, 3, 3}, {true, true, true, true}},
      /* one unframed message inside a KEZ file; the next returns to KEZ */
      {"framing_mixed.grb", {1, 1, 4, 1}, {true, true, false, true}},
  };
  const int editions[4] = {1, 2, 1, 2};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string file = bytes_of(data_file(c.file));
    auto recs = walk_file(data_file(c.file));
    ASSERT_EQ(recs.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      const auto& r = recs[i];
      EXPECT_EQ(r.itype, c.itype[i]);
      EXPECT_EQ(r.heading, c.framed[i] ? std::string(heads[i]) : dflt);
      EXPECT_EQ(r.version, editions[i]);
      EXPECT_EQ(r.type, 'B');
      long len = expected[i].second;
      ASSERT_LE(r.message + len, static_cast<long>(file.size()));
      EXPECT_EQ(file.substr(r.message, len), raw.substr(expected[i].first, len));
      long end = r.message + len; /* just past the end marker */
      if (i + 1 < 4) {
        EXPECT_EQ(recs[i + 1].start, r.next);
      }
      switch (r.itype) {
        case 4: EXPECT_EQ(r.next, end); break;
        case 1: EXPECT_EQ(r.next, end + (editions[i] == 1 ? 1 : 4)); break;
        case 2:
          EXPECT_EQ(r.next, end + 4); /* past CR CR LF ETX, on the next SOH */
          if (i + 1 < 4) {
            EXPECT_EQ(file[r.next], '\x01');
          }
          break;
        case 3:
          EXPECT_EQ(r.next, end + 5); /* the trailer, then one separator */
          if (i + 1 < 4) {
            EXPECT_EQ(file.substr(r.next, 5), "GRIB:");
          }
          break;
      }
    }
  }
}

TEST(GribFraming, FileHeaderGivesTheFirstReferenceTime) {
  struct Case {
    const char* file;
    int grid, year, month, day, hour;
  } cases[] = {
      {"framing_kez.grb", 1, 2024, 3, 15, 12},
      {"framing_ldm.grb", 1, 2024, 3, 15, 12},
      {"ed0_raw.grb", 0, 1995, 3, 15, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    GRD_file* gf = grib_test::open_grib(data_file(c.file));
    ASSERT_NE(gf, nullptr);
    GRD_info info{};
    info.date.sec = 42; /* fields the read does not own keep their values */
    ASSERT_EQ(grib_test::file_header(&info), 0);
    EXPECT_EQ(gf->grid, c.grid);
    EXPECT_EQ(info.date.year, c.year);
    EXPECT_EQ(info.date.month, c.month);
    EXPECT_EQ(info.date.day, c.day);
    EXPECT_EQ(info.date.hour, c.hour);
    EXPECT_EQ(info.date.min, 0);
    EXPECT_EQ(info.date.sec, 42);
    EXPECT_EQ(gf->date.year, c.year);
    EXPECT_EQ(std::ftell(gf->file), 0L);
    char label[DATE_LABEL_LEN];
    DATE_make_label(&info.date, label);
    EXPECT_EQ(std::string(info.datim), std::string(label).substr(0, sizeof info.datim - 1));
    grib_test::close_grib();
  }
}

/* Edition 2: section 1 after the 16-octet indicator; edition 1's year is the
 * year of its century (octet 25: century 20 holds 1901 to 2000), and
 * without a century the years below 50 are this century's. */
TEST(GribFraming, FileHeaderYearAndMonthRules) {
  TempDir dir;
  const std::string raw = bytes_of(data_file("framing_raw.grb"));
  std::string ed2 = raw.substr(138, 209);
  put_bytes(dir.file("ed2.grb"), ed2);
  ASSERT_NE(grib_test::open_grib(dir.file("ed2.grb")), nullptr);
  GRD_info info{};
  ASSERT_EQ(grib_test::file_header(&info), 0);
  EXPECT_EQ(GRD_get_gfile(HANDLE)->grid, 2);
  EXPECT_EQ(info.date.year, 2024);
  EXPECT_EQ(info.date.day, 16);
  EXPECT_EQ(info.date.hour, 6);
  grib_test::close_grib();

  struct Case {
    int year_octet, month_octet, century, year, month;
  } cases[] = {{100, 3, 20, 2000, 3}, {49, 3, 21, 2049, 3}, {50, 3, 20, 1950, 3}, {24, 13, 21, 2024, 1},
               {1, 12, 20, 1901, 12}, {1, 1, 21, 2001, 1},  {100, 3, 0, 2000, 3}, {49, 3, 0, 2049, 3},
               {50, 3, 0, 1950, 3},   {0, 12, 0, 2000, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year_octet << " of century " << c.century);
    std::string m = raw.substr(0, 138);
    m[8 + 12] = static_cast<char>(c.year_octet);
    m[8 + 13] = static_cast<char>(c.month_octet);
    m[8 + 24] = static_cast<char>(c.century);
    put_bytes(dir.file("y.grb"), m);
    ASSERT_NE(grib_test::open_grib(dir.file("y.grb")), nullptr);
    GRD_info y{};
    ASSERT_EQ(grib_test::file_header(&y), 0);
    EXPECT_EQ(y.date.year, c.year);
    EXPECT_EQ(y.date.month, c.month);
    grib_test::close_grib();
  }

  /* Fewer than 40 octets after the indicator: nothing written. */
  put_bytes(dir.file("short.grb"), raw.substr(0, 30));
  ASSERT_NE(grib_test::open_grib(dir.file("short.grb")), nullptr);
  ASSERT_GT(GRIB_header(HANDLE), 0);
  GRD_info s{};
  s.date.year = 1234;
  EXPECT_EQ(GRIB_get_info(HANDLE, &s), -1);
  EXPECT_EQ(s.date.year, 1234);
  grib_test::close_grib();
}

/* A KEZ heading keeps all but its last three characters, at most 27 of 30;
 * a heading shorter than the WMO 18 leaves nothing of an older one. */
TEST(GribFraming, KezHeadingLengths) {
  TempDir dir;
  const std::string msg = bytes_of(data_file("framing_raw.grb")).substr(0, 138);
  const std::string h30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  std::string file = "** " + h30 + "\n" + msg + "\r\r\n\x03" + "** ab\n" + msg + "\r\r\n\x03" + "**\tXY12345\n" + msg;
  put_bytes(dir.file("h.grb"), file);
  auto recs = walk_file(dir.file("h.grb"));
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].heading, h30.substr(0, 18));
  EXPECT_EQ(recs[1].heading, "");
  EXPECT_EQ(recs[2].heading, "XY12");
  for (const auto& r : recs) EXPECT_EQ(r.itype, 1);

  /* The 27 kept characters, whole: the first record's heading is reused. */
  ASSERT_NE(grib_test::open_grib(dir.file("h.grb")), nullptr);
  ASSERT_GT(GRIB_header(HANDLE), 0);
  char head[GRIB_WMO_LEN + 8];
  std::memset(head, '#', sizeof head);
  GRIB_get_WMO_header(HANDLE, head);
  EXPECT_EQ(std::string(head, GRIB_WMO_LEN), h30.substr(0, 18));
  EXPECT_EQ(head[GRIB_WMO_LEN], '#'); /* no terminator written */
  GRIB_next(HANDLE, 1);
  ASSERT_GT(GRIB_header(HANDLE), 0); /* the 2-character heading */
  GRIB_get_WMO_header(HANDLE, head);
  EXPECT_EQ(std::string(head, GRIB_WMO_LEN), std::string(GRIB_WMO_LEN, '\0'));
  grib_test::close_grib();
}

/* A 'G' or 'B' just before the magic, and runs of near-magics, hide nothing. */
TEST(GribFraming, MagicAfterNearMisses) {
  TempDir dir;
  const std::string msg = bytes_of(data_file("framing_raw.grb")).substr(0, 138);
  for (const char* junk : {"G", "B", "GG", "GRI", "BUF", "GRGRI", "BUFBGR"}) {
    SCOPED_TRACE(junk);
    std::string file = std::string(junk) + msg;
    put_bytes(dir.file("m.grb"), file);
    auto recs = walk_file(dir.file("m.grb"));
    ASSERT_FALSE(recs.empty());
    long at = static_cast<long>(file.size() - msg.size());
    bool found = false;
    for (const auto& r : recs) found = found || (r.message == at && r.version == 1);
    EXPECT_TRUE(found);
  }
}

TEST(GribFraming, EditionZeroEndsAtTheEndMarkerScan) {
  /* Back to back: the next record begins at the 'G' of the next magic. */
  const std::string raw0 = bytes_of(data_file("ed0_raw.grb"));
  auto recs = walk_file(data_file("ed0_raw.grb"));
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].version, 0);
  EXPECT_EQ(recs[0].next, 44);
  EXPECT_EQ(recs[1].version, 0);
  EXPECT_EQ(recs[1].next, 88);
  EXPECT_EQ(raw0.substr(88, 4), "GRIB");
  EXPECT_EQ(recs[2].version, 1);
  EXPECT_EQ(recs[2].next, static_cast<long>(raw0.size()));

  /* Behind KEZ headings: just after the ETX that ends the record. */
  const std::string kez0 = bytes_of(data_file("ed0_kez.grb"));
  recs = walk_file(data_file("ed0_kez.grb"));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].itype, 1);
  EXPECT_EQ(kez0[recs[0].next - 1], '\x03');
  EXPECT_EQ(kez0.substr(recs[0].next, 2), "**");
  EXPECT_EQ(recs[1].next, static_cast<long>(kez0.size()));
}

/* GRIB_get_raw copies exactly the bytes of each record. */
TEST(GribFraming, RawCopiesHoldTheWholeRecord) {
  for (const char* name :
       {"framing_raw.grb", "framing_kez.grb", "framing_ldm.grb", "framing_oldkez.grb", "framing_mixed.grb"}) {
    SCOPED_TRACE(name);
    const std::string file = bytes_of(data_file(name));
    auto recs = walk_file(data_file(name));
    ASSERT_EQ(recs.size(), 4u);
    ASSERT_NE(grib_test::open_grib(data_file(name)), nullptr);
    GRD_info info{};
    ASSERT_EQ(grib_test::file_header(&info), 0);
    for (const auto& r : recs) {
      grib_test::set_pos(r.start);
      char* buf = nullptr;
      int size = 0;
      int n = GRIB_get_raw(HANDLE, &buf, &size);
      long want = std::min<long>(r.next, static_cast<long>(file.size())) - r.start;
      ASSERT_EQ(n, want);
      EXPECT_EQ(size, r.next - r.start);
      EXPECT_EQ(std::string(buf, n), file.substr(r.start, want));
      std::free(buf);

      /* The caller's buffer: a record that does not fit writes nothing. */
      std::string small(static_cast<size_t>(size - 1), 'z');
      char* sp = small.data();
      int cap = size - 1;
      EXPECT_EQ(GRIB_get_raw(HANDLE, &sp, &cap), -1);
      EXPECT_EQ(small, std::string(static_cast<size_t>(size - 1), 'z'));
      std::string room(static_cast<size_t>(size + 10), 'z');
      char* rp = room.data();
      int rcap = size + 10;
      EXPECT_EQ(GRIB_get_raw(HANDLE, &rp, &rcap), want);
      EXPECT_EQ(room.substr(0, want), file.substr(r.start, want));
      EXPECT_EQ(room.substr(size), std::string(10, 'z'));
    }
    grib_test::close_grib();
  }
}

/* Lengths that would step back, stand still, overflow an offset or exceed
 * the limit end the walk with -1; a length within the limits at whose end
 * no "7777" stands makes the search go on one octet after the message's
 * start. */
TEST(GribFraming, LengthBoundsEndTheWalk) {
  TempDir dir;
  const std::string raw = bytes_of(data_file("framing_raw.grb"));
  struct Case {
    int edition;
    uint64_t length;
    bool accepted;
  } cases[] = {
      {1, 0, false},          {1, 7, false},       {1, 11, false},     {1, 12, true},
      {1, 2000000, true},     {1, 2000001, false}, {2, 0, false},      {2, 15, false},
      {2, 19, false},         {2, 20, true},       {2, 5000000, true}, {2, (1ull << 31) + 5, false},
      {2, 1ull << 40, false}, {2, ~0ull, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.edition << " " << c.length);
    std::string m = c.edition == 1 ? raw.substr(0, 138) : raw.substr(138, 209);
    if (c.edition == 1) {
      for (int i = 0; i < 3; ++i) m[4 + i] = static_cast<char>(c.length >> (8 * (2 - i)));
    } else {
      for (int i = 0; i < 8; ++i) m[8 + i] = static_cast<char>(c.length >> (8 * (7 - i)));
    }
    put_bytes(dir.file("l.grb"), m + m);
    ASSERT_NE(grib_test::open_grib(dir.file("l.grb")), nullptr);
    GRD_info info{};
    ASSERT_EQ(grib_test::file_header(&info), 0);
    ASSERT_GT(GRIB_header(HANDLE), 0);
    long pos = std::ftell(GRD_get_gfile(HANDLE)->file);
    std::string err;
    int next = 0;
    auto out = kez_test::capture([&] { next = GRIB_next(HANDLE, 1); });
    if (c.accepted) {
      EXPECT_EQ(next, 1);
      EXPECT_EQ(out.err, "");
    } else {
      EXPECT_EQ(next, -1);
      EXPECT_NE(out.err.find("Invalid product size"), std::string::npos);
      EXPECT_EQ(std::ftell(GRD_get_gfile(HANDLE)->file), pos);
    }
    /* A walk over such a file always ends. */
    std::rewind(GRD_get_gfile(HANDLE)->file);
    std::vector<grib_test::Record> recs;
    kez_test::capture([&] { recs = grib_test::walk(50); });
    EXPECT_LT(recs.size(), 50u);
    for (size_t i = 1; i < recs.size(); ++i) EXPECT_GT(recs[i].start, recs[i - 1].start);
    grib_test::close_grib();
  }
}

/* The old size line: an end before the indicator's end, or too far ahead,
 * gives no next record. */
TEST(GribFraming, OldSizeLineBounds) {
  TempDir dir;
  const std::string msg = bytes_of(data_file("framing_raw.grb")).substr(0, 138);
  for (long n : {0L, 5L, 2000100L, -50L}) {
    SCOPED_TRACE(n);
    std::string file = "GRIB: " + std::to_string(n) + "\n\x01\r\r\n001\r\r\nHEAD\r\r\n" + msg + "\n";
    put_bytes(dir.file("o.grb"), file + file);
    ASSERT_NE(grib_test::open_grib(dir.file("o.grb")), nullptr);
    std::vector<grib_test::Record> recs;
    kez_test::capture([&] { recs = grib_test::walk(50); });
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].itype, 3);
    EXPECT_EQ(recs[0].next, -1);
    grib_test::close_grib();
  }
}

/* A file cut at every length gives records, then an end: never a loop, a
 * crash or a read past a buffer. */
TEST(GribFraming, FilesCutAtEveryLengthEnd) {
  TempDir dir;
  for (const char* name : {"framing_kez.grb", "framing_ldm.grb", "framing_oldkez.grb", "framing_mixed.grb",
                           "ed0_raw.grb", "ed0_kez.grb"}) {
    SCOPED_TRACE(name);
    const std::string file = bytes_of(data_file(name));
    kez_test::capture([&] {
      for (size_t cut = 0; cut <= file.size(); ++cut) {
        put_bytes(dir.file("c.grb"), file.substr(0, cut));
        ASSERT_NE(grib_test::open_grib(dir.file("c.grb")), nullptr);
        std::vector<grib_test::Record> recs;
        GRD_info info{};
        if (grib_test::file_header(&info) == 0) recs = grib_test::walk(20);
        grib_test::set_pos(0);
        char* buf = nullptr;
        int size = 0;
        if (GRIB_get_raw(HANDLE, &buf, &size) > 0) std::free(buf);
        ASSERT_LT(recs.size(), 6u) << cut;
        for (size_t i = 1; i < recs.size(); ++i) ASSERT_GT(recs[i].start, recs[i - 1].start) << cut;
        grib_test::close_grib();
      }
    });
  }
}

/* Every row of the unit and remapping tables, read from a list written from
 * the tables' own description (tools/grib_units_table.py). */
TEST(GribUnits, EveryTableRow) {
  std::ifstream in(data_file("grib_units.txt"));
  ASSERT_TRUE(in) << "grib_units.txt";
  std::string line;
  int rows = 0;
  auto quoted = [](std::istringstream& s) {
    std::string q;
    s >> std::ws;
    std::getline(s, q, '"');
    std::getline(s, q, '"');
    return q;
  };
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string kind;
    s >> kind;
    SCOPED_TRACE(line);
    GRD_report g{};
    g.ltype = 100;
    g.level = 500;
    if (kind == "ecmwf") {
      int param, var;
      s >> param >> var;
      std::string units = quoted(s), ltype, level;
      s >> ltype >> level;
      g.source = 98;
      g.version = 1;
      g.var = param;
      EXPECT_EQ(GRIB_units(&g), 0);
      EXPECT_EQ(g.var, var);
      EXPECT_STREQ(g.units, units.c_str());
      EXPECT_EQ(g.ltype, ltype == "-" ? 100 : std::stoi(ltype));
      EXPECT_EQ(g.level, level == "-" ? 500 : std::stoi(level));
    } else if (kind == "ed0") {
      int param, var;
      s >> param >> var;
      std::string units = quoted(s);
      g.source = 7;
      g.version = 0;
      g.var = param;
      GRIB_units(&g);
      EXPECT_EQ(g.var, var);
      EXPECT_STREQ(g.units, units.c_str());
    } else if (kind == "ed1") {
      int param;
      s >> param;
      std::string units = quoted(s);
      for (int offset : {0, 19280000, 1000}) {
        g.source = 7;
        g.version = 1;
        g.var = param + offset;
        GRIB_units(&g);
        EXPECT_EQ(g.var, param + offset);
        EXPECT_STREQ(g.units, units.c_str());
      }
    } else if (kind == "cdf") {
      int var;
      s >> var;
      std::string name = quoted(s);
      ASSERT_NE(GRIB_cdf_units(var), nullptr);
      EXPECT_STREQ(GRIB_cdf_units(var), name.c_str());
    } else {
      ADD_FAILURE() << "unknown row";
    }
    ++rows;
  }
  EXPECT_EQ(rows, 263);
}

TEST(GribUnits, RemapAndFallbackCases) {
  struct Case {
    int source, version, var, ltype, level;
    int want_var, want_ltype, want_level;
    const char* units;
    bool warns;
  } cases[] = {
      {98, 1, 167, 100, 500, 11, 105, 2, "K", false},             /* ECMWF 2 m temperature */
      {98, 1, 200, 100, 500, 1098000200, 100, 500, "", true},     /* not in the ECMWF table */
      {98, 1, 7, 100, 500, 7, 100, 500, "m", false},              /* 128 or less: edition 1 */
      {98, 0, 7, 100, 500, 7, 100, 500, "", false},               /* ... edition 0: none */
      {7, 0, 2, 100, 500, 7, 100, 500, "10 m", false},            /* edition 0 */
      {7, 0, 9, 100, 500, 1007000009, 100, 500, "", true},        /* not in the edition 0 table */
      {98, 1, 1098128229, 1, 0, 1098128229, 1, 0, "", false},     /* already a centre's own */
      {7, 1, 19280011, 100, 500, 19280011, 100, 500, "K", false}, /* ensemble member */
      {7, 1, -9999, 100, 500, -9999, 100, 500, "-", false},
      {7, 1, 255, 100, 500, 255, 100, 500, "-", false},
      {7, 2, 11, 100, 500, 11, 100, 500, "", false}, /* edition 2: its own table */
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source << "/" << c.version << "/" << c.var);
    GRD_report g{};
    g.source = c.source;
    g.version = c.version;
    g.var = c.var;
    g.ltype = c.ltype;
    g.level = c.level;
    std::snprintf(g.units, sizeof g.units, "old");
    auto out = kez_test::capture([&] { EXPECT_EQ(GRIB_units(&g), 0); });
    EXPECT_EQ(g.var, c.want_var);
    EXPECT_EQ(g.ltype, c.want_ltype);
    EXPECT_EQ(g.level, c.want_level);
    EXPECT_STREQ(g.units, c.units);
    EXPECT_EQ(out.err.find("Invalid GRIB variable: " + std::to_string(c.var) + "\n") != std::string::npos, c.warns);
  }
  EXPECT_EQ(GRIB_cdf_units(3), nullptr);
  EXPECT_EQ(GRIB_cdf_units(-9999), nullptr);
}
