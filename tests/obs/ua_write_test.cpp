/* Writing upper-air reports in every layout: the bytes written, reading
 * them back, and the caller's record left alone. */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr float M = KEZ_FMISS;

/* A report whose values the codes carry exactly. */
std::unique_ptr<UPA_report> sample() {
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  std::snprintf(r->id, sizeof r->id, "DNR");
  std::snprintf(r->area, sizeof r->area, "NA");
  r->wmo = 72469;
  r->lat = 40.0f;
  r->lon = -100.5f;
  r->time = 1200;
  const UPA_level man[] = {
      {965, M, 14.2f, 9.2f, 270, 15},   {1000, 105, 15.2f, 12, 270, 125}, {925, 780, 14, 9, 280, 20},
      {850, 1512, 10, 5, 290, 30},      {700, 3012, 0, -10, 300, 35},     {500, 5800, -15.3f, -20.3f, 310, 40},
      {400, 7200, -25.1f, M, 315, 45},  {300, 9200, -40.1f, M, 320, 50},  {250, 10400, -50.1f, M, 325, 60},
      {200, 11800, -55.1f, M, 330, 70}, {150, 13700, -58.1f, M, 335, 65}, {100, 16500, -60.1f, M, 340, 55},
      {70, 18600, -62.1f, M, 345, 45},  {50, 20600, -60.1f, M, 350, 35},  {30, 23800, -55.1f, M, 355, 25},
      {20, 26400, -52.1f, M, 0, 15},    {10, 31000, -48.1f, M, 5, 10},    {7, 33500, -45.1f, M, 10, 10},
      {5, 35500, -44.1f, M, 15, 12}};
  for (size_t i = 0; i < std::size(man); ++i) r->man[i] = man[i];
  r->man[UPA_SLOT_TROP] = {250, M, -55.1f, M, 300, 45};
  r->man[UPA_SLOT_MAXW] = {200, M, M, M, 310, 90};
  r->numman = 21;
  const UPA_sig sig[] = {{965, 14.2f, 9.2f},   {850, 10, 5},    {800, 8, 2},
                         {600, -5.1f, -10.1f}, {85, -60.1f, M}, {7.5f, -45.1f, M}};
  for (size_t i = 0; i < std::size(sig); ++i) r->sig[i] = sig[i];
  r->numsig = 6;
  const UPA_wnd wnd[] = {{0, 270, 15}, {1000, 275, 18}, {3000, 285, 25}, {12000, 320, 50}, {20000, 330, 70}};
  for (size_t i = 0; i < std::size(wnd); ++i) r->wnd[i] = wnd[i];
  r->numwnd = 5;
  return r;
}

std::string write_one(const std::string& path, int type, const UPA_report& r, int* rc = nullptr) {
  int t = type;
  const int fd = UPA_open(path.c_str(), UPA_ACC_WRITE, &t);
  EXPECT_GE(fd, 0);
  UPA_info info{};
  std::snprintf(info.datim, sizeof info.datim, "12Z  5 JAN 24");
  info.date = {2024, 1, 5, KEZ_MISS, KEZ_MISS, 12, 0, 0};
  EXPECT_EQ(UPA_putinfo(fd, &info), 0);
  int n = 0;
  const int got = UPA_write(fd, &r, UPA_REP_FULL, &n);
  if (rc) *rc = got;
  EXPECT_EQ(UPA_close(fd), 0);
  return kez_test::read_file(path);
}

std::unique_ptr<UPA_report> read_back(const std::string& path) {
  int t = 0;
  const int fd = UPA_open(path.c_str(), UPA_ACC_READ, &t);
  EXPECT_GE(fd, 0) << path;
  UPA_info info{};
  UPA_getinfo(fd, &info);
  auto r = std::make_unique<UPA_report>();
  int n = 0;
  EXPECT_EQ(UPA_read(fd, r.get(), UPA_REP_FULL, &n), 0);
  UPA_close(fd);
  return r;
}

void expect_level(const UPA_level& got, const UPA_level& want, const std::string& what) {
  EXPECT_NEAR(got.p, want.p, 0.01) << what;
  if (want.h == M) {
    EXPECT_EQ(got.h, M) << what;
  } else {
    EXPECT_NEAR(got.h, want.h, 10) << what;
  }
  EXPECT_NEAR(got.t, want.t, 0.11) << what;
  if (want.td == M) {
    EXPECT_EQ(got.td, M) << what;
  } else {
    EXPECT_NEAR(got.td, want.td, 0.11) << what;
  }
  EXPECT_NEAR(got.dir, want.dir, 2.5) << what;
  EXPECT_NEAR(got.spd, want.spd, 1.01) << what;
}

TEST(UpaWrite, NewLayoutsAndNetcdfReadBackTheSameValues) {
  kez_test::TempDir dir;
  for (int type : {3, 4, 5, 11, 12}) {
    auto r = sample();
    const UPA_report before = *r;
    const std::string path = dir.file("w" + std::to_string(type));
    int rc = -2;
    write_one(path, type, *r, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::memcmp(&before, r.get(), sizeof before), 0) << type;
    auto b = read_back(path);
    const std::string t = "type " + std::to_string(type);
    EXPECT_STREQ(b->id, "DNR") << t;
    for (int slot = 1; slot <= 18; ++slot)
      expect_level(b->man[slot], r->man[slot], t + " slot " + std::to_string(slot));
    EXPECT_NEAR(b->man[UPA_SLOT_TROP].p, 250, 0.01) << t;
    EXPECT_NEAR(b->man[UPA_SLOT_MAXW].spd, 90, 1.01) << t;
    ASSERT_EQ(b->numsig, type >= 11 ? 6 : 5) << t; /* 850 repeats a mandatory level */
    EXPECT_NEAR(b->sig[type >= 11 ? 5 : 4].p, 7.5f, 0.01) << t;
    EXPECT_NEAR(b->sig[type >= 11 ? 4 : 3].p, 85, 0.01) << t;
    ASSERT_EQ(b->numwnd, 5) << t;
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(b->wnd[i].h, r->wnd[i].h, 1) << t << " wind " << i;
      EXPECT_NEAR(b->wnd[i].spd, r->wnd[i].spd, 1.01) << t << " wind " << i;
    }
    if (type == 5) {
      EXPECT_EQ(b->wmo, 72469);
      EXPECT_FLOAT_EQ(b->lon, -100.5f);
    }
    if (type >= 11) {
      EXPECT_STREQ(b->area, "NA");
      EXPECT_EQ(b->numman, 25);
    }
  }
}

TEST(UpaWrite, OldLayoutsCarryTheirLevels) {
  kez_test::TempDir dir;
  for (int type : {1, 2}) {
    auto r = sample();
    const UPA_report before = *r;
    const std::string path = dir.file("o" + std::to_string(type));
    const std::string text = write_one(path, type, *r);
    EXPECT_EQ(std::memcmp(&before, r.get(), sizeof before), 0) << type;
    auto b = read_back(path);
    const int slots1[] = {1, 3, 4, 5}, slots2[] = {1, 3, 4, 5, 6, 7, 9, 11};
    if (type == 1) {
      for (int s : slots1) expect_level(b->man[s], r->man[s], "slot " + std::to_string(s));
    } else {
      for (int s : slots2) expect_level(b->man[s], r->man[s], "slot " + std::to_string(s));
    }
    EXPECT_EQ(b->man[2].p, M);
    EXPECT_EQ(b->man[8].p, M);
    /* 850 hPa repeats slot 3 and is dropped; type 1 keeps 500 hPa and more. */
    ASSERT_EQ(b->numsig, 3) << text; /* 85 hPa lies above type 2 too */
    EXPECT_FLOAT_EQ(b->sig[1].p, 800);
    EXPECT_FLOAT_EQ(b->wnd[1].spd, 18);
    EXPECT_FLOAT_EQ(b->wnd[3].dir, 285);
    EXPECT_FLOAT_EQ(b->wnd[11].spd, 50);
    if (type == 2) {
      EXPECT_FLOAT_EQ(b->wnd[14].spd, 70); /* 20000 ft: a place in type 2 only */
    }
    const std::string first_line =
        text.substr(text.find('\n') + 1, text.find('\n', text.find('\n') + 1) - text.find('\n') - 1);
    EXPECT_EQ(first_line, "DNR 00105 15232 27125 85512 10050 29030 70012 00060 30035 50580 15350 31040");
  }
}

TEST(UpaWrite, TextLayoutsLineByLine) {
  kez_test::TempDir dir;
  auto r = sample();
  r->numsig = 0;
  r->numwnd = 0;
  r->man[UPA_SLOT_925].p = M;
  for (int s = 17; s <= 24; ++s) r->man[s] = {M, M, M, M, M, M};
  EXPECT_EQ(write_one(dir.file("a"), 3, *r),
            "KEZUPA\n12Z  5 JAN 24\n"
            "DNR 00105 15232 27125 85512 10050 29030 70012 00060 30035 50580 15350 31040\n"
            "40720 25199 31545 30920 40199 32050 25040 50199 32560 20180 55199 33070\n"
            "15370 58199 33565 10650 60199 34055 07860 62199 34545 05060 60199 35035\n"
            "03380 55199 35525 02640 52199 00015 01100 48199 00510 X X X X X\n"
            "965 14250 X X X X X X\nX X X X X X X\nX X X X X X X\nX X X X X X X\n"
            "00 27015 X X X X X X\nX X X X X X X\nX X X X X X X\nX X X X X X X\n");
  /* Seven significant entries: one line, then the end marker on it. */
  r = sample();
  r->numsig = 7;
  for (int i = 0; i < 7; ++i) r->sig[i] = {960.0f - 20 * i, 10, 5};
  r->numwnd = 0;
  const std::string t4 = write_one(dir.file("b"), 4, *r);
  EXPECT_NE(t4.find("\n960 10050 940 10050 920 10050 900 10050 880 10050 860 10050 840 10050 X\n00 27015 $\n"),
            std::string::npos)
      << t4;
  /* Thirty entries in type 3: the first 28, no filler. */
  r->numsig = 30;
  for (int i = 0; i < 30; ++i) r->sig[i] = {996.0f - 10 * i, 10, 5}; /* none a mandatory level */
  const std::string t3 = write_one(dir.file("c"), 3, *r);
  EXPECT_NE(t3.find("726 10050\n00 27015"), std::string::npos) << t3;
  EXPECT_EQ(t3.find("716 10050"), std::string::npos);
  /* Type 5 without a latitude. */
  r->lat = M;
  const std::string t5 = write_one(dir.file("d"), 5, *r);
  EXPECT_EQ(t5.substr(0, 30), "KEZUPAx\n12Z  5 JAN 24\n72469:DN");
  EXPECT_EQ(t5.substr(22, 10), "72469:DNR ");
}

TEST(UpaWrite, BinaryRecordMatchesItsBytes) {
  kez_test::TempDir dir;
  auto r = sample();
  std::string bytes = write_one(dir.file("bin"), 41, *r);
  ASSERT_EQ(bytes.size(), size_t(UPA_BIN_HEADER + UPA_BIN_RECORD));
  EXPECT_EQ(bytes.substr(0, 22), "12:00Z XXX JAN  5 2024");
  const std::string rec = bytes.substr(22);
  auto i16 = [&](size_t at) {
    return static_cast<int16_t>(static_cast<uint8_t>(rec[at]) | (static_cast<uint8_t>(rec[at + 1]) << 8));
  };
  EXPECT_EQ(rec.substr(0, 5), std::string("DNR\0\0", 5));
  EXPECT_EQ(rec.substr(5, 7), std::string("72469\0\0", 7));
  const struct {
    size_t at;
    int16_t v;
  } want[] = {{12, 4000}, {14, -10049}, {16, 10}, {18, 0},    {20, 0},    {22, -14},  {26, 1512}, {28, 3012},
              {30, 5800}, {32, 0},      {42, 29}, {44, 30},   {46, 31},   {50, 30},   {52, 35},   {54, 40},
              {58, 5},    {60, 10},     {62, 5},  {64, 9999}, {66, 5695}, {68, 1200}, {70, 0},    {76, 0}};
  for (const auto& w : want) EXPECT_EQ(i16(w.at), w.v) << "offset " << w.at;
  std::snprintf(r->id, sizeof r->id, "7ABC");
  r->wmo = KEZ_MISS;
  bytes = write_one(dir.file("bin2"), 41, *r);
  EXPECT_EQ(bytes.substr(22, 12), std::string("\0\0\0\0\0"
                                              "99999\0\0",
                                              12));
}

TEST(UpaWrite, ElementFileEscapesAndCloses) {
  kez_test::TempDir dir;
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  std::snprintf(r->id, sizeof r->id, "A&B<C");
  r->wmo = 123;
  r->man[0] = {965, 1611, 14.2f, M, 270, 15};
  r->man[3] = {850, 1512, 10, 5, M, M};
  r->man[23] = {200, M, M, M, 310, 90};
  r->sig[0] = {85, -60.1f, M};
  r->numsig = 1;
  EXPECT_EQ(
      write_one(dir.file("e"), 51, *r),
      "<kezupa date=\"12Z  5 JAN 24\">\n"
      "<obs wmo=\"00123\" id=\"A&amp;B&lt;C\">\n"
      "  <mand_level>\n"
      "    <level type=\"sfc\" pres.mb=\"965\" hght.m=\"1611\" temp.C=\"14.2\" wdir.deg=\"270\" wspd.knt=\"15\"/>\n"
      "    <level pres.mb=\"850\" hght.m=\"1512\" temp.C=\"10.0\" dewp.C=\"5.0\"/>\n"
      "    <level type=\"mwnd\" pres.mb=\"200\" wdir.deg=\"310\" wspd.knt=\"90\"/>\n"
      "  </mand_level>\n"
      "  <sig_level>\n"
      "    <level pres.mb=\"85.0\" temp.C=\"-60.1\"/>\n"
      "  </sig_level>\n"
      "  <wnd_level>\n"
      "    <level hght.m=\"0\" wdir.deg=\"270\" wspd.knt=\"15\"/>\n"
      "  </wnd_level>\n"
      "</obs>\n"
      "</kezupa>\n");
}

TEST(UpaWrite, NetcdfStoresSiUnitsInTheReportLayout) {
  if (!kez_test::have_program("ncdump")) GTEST_SKIP() << "ncdump missing";
  kez_test::TempDir dir;
  auto r = sample();
  r->wnd[2] = {3000, 285, 20};
  write_one(dir.file("si.nc"), 12, *r);
  std::string dump;
  kez_test::run_command("ncdump -v Z_sigw,SPD_sigw,type '" + dir.file("si.nc") + "'", &dump);
  EXPECT_NE(dump.find("914.4"), std::string::npos) << dump;
  EXPECT_NE(dump.find("10.288"), std::string::npos) << dump;
  EXPECT_NE(dump.find("\"LAND\""), std::string::npos) << dump;
}

TEST(UpaWrite, NetcdfReportLayoutKeepsHighWindHeights) {
  /* Metres back to feet by the inverse of the factor that made them: a
   * wind at 82,000 ft stays in the place of 82 in the text layouts. */
  kez_test::TempDir dir;
  auto r = sample();
  r->wnd[2] = {82000, 285, 20};
  r->wnd[3] = {95000, 290, 25};
  write_one(dir.file("high.nc"), 12, *r);
  int type = 0;
  ASSERT_GE(UPA_open(dir.file("high.nc").c_str(), UPA_ACC_READ, &type), 0);
  UPA_info info{};
  UPA_getinfo(0, &info);
  auto back = std::make_unique<UPA_report>();
  int n = 0;
  ASSERT_EQ(UPA_read(0, back.get(), UPA_REP_FULL, &n), 0);
  UPA_close(0);
  for (int i : {2, 3}) {
    EXPECT_NEAR(back->wnd[i].h, r->wnd[i].h, 0.05);
    EXPECT_EQ(static_cast<int>((back->wnd[i].h + 1) / 1000), static_cast<int>(r->wnd[i].h / 1000));
  }
}

TEST(UpaWrite, FailuresAreReported) {
  auto r = sample();
  int n = 0;
  EXPECT_EQ(UPA_write(0, r.get(), UPA_REP_FULL, &n), -1);
  EXPECT_EQ(n, 0);
  for (int type : {1, 3, 4, 41, 51}) {
    int t = type;
    const int fd = UPA_open("/dev/full", UPA_ACC_WRITE, &t);
    ASSERT_GE(fd, 0);
    UPA_info info{};
    UPA_putinfo(fd, &info);
    EXPECT_EQ(UPA_write(fd, r.get(), UPA_REP_FULL, &n), -1) << type;
    UPA_close(fd);
  }
  /* A file opened for reading takes no reports. */
  kez_test::TempDir dir;
  kez_test::write_file(dir.file("r"), "KEZUPA\n12Z\n");
  int t = 0;
  const int fd = UPA_open(dir.file("r").c_str(), UPA_ACC_READ, &t);
  EXPECT_EQ(UPA_write(fd, r.get(), UPA_REP_FULL, &n), -1);
  UPA_close(fd);
}

} // namespace

namespace {

TEST(UpaWrite, OldLayoutWindPlacesByHeight) {
  kez_test::TempDir dir;
  auto r = sample();
  const UPA_wnd wnd[] = {{0, 270, 15},     {1000, 275, 18},  {1500, 280, 22}, {15000, 300, 40},
                         {20000, 330, 70}, {50000, 340, 80}, {13000, 350, 90}};
  for (size_t i = 0; i < std::size(wnd); ++i) r->wnd[i] = wnd[i];
  r->numwnd = static_cast<int>(std::size(wnd));
  for (int type : {1, 2}) {
    const std::string path = dir.file("p" + std::to_string(type));
    write_one(path, type, *r);
    auto b = read_back(path);
    EXPECT_FLOAT_EQ(b->wnd[1].spd, 22) << type; /* 1500 ft replaces 1000 ft */
    if (type == 1) {
      EXPECT_FLOAT_EQ(b->wnd[13].spd, 40); /* 15000 ft */
    } else {
      EXPECT_FLOAT_EQ(b->wnd[14].spd, 70); /* 20000 ft */
      EXPECT_FLOAT_EQ(b->wnd[20].spd, 80); /* 50000 ft */
    }
    for (int i = 0; i < b->numwnd; ++i) EXPECT_NE(b->wnd[i].spd, 90) << type; /* 13000 ft has no place */
  }
}

TEST(UpaWrite, IdentifierThatWouldShiftTheGroupsIsRefused) {
  kez_test::TempDir dir;
  const struct {
    const char* id;
    int type;
    bool ok;
  } cases[] = {
      {"", UPA_FT_OLD_SHORT, false}, {"A B", UPA_FT_OLD_LONG, false}, {"", UPA_FT_FIXED, false},
      {"AB\tC", UPA_FT_OPEN, false}, {"A:B", UPA_FT_OPEN_LOC, false}, {"A:B", UPA_FT_OPEN, true},
      {"", UPA_FT_OPEN_LOC, true},   {"DNR", UPA_FT_OLD_SHORT, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.id + "\" type " + std::to_string(c.type));
    auto r = sample();
    std::snprintf(r->id, sizeof r->id, "%s", c.id);
    const std::string path = dir.file("id" + std::to_string(c.type) + ".txt");
    int rc = 0;
    const std::string text = write_one(path, c.type, *r, &rc);
    EXPECT_EQ(rc, c.ok ? 0 : -1);
    if (!c.ok) {
      EXPECT_EQ(text.find("00105"), std::string::npos) << "nothing of the report written";
      continue;
    }
    /* What is written reads back as it was. */
    int type = 0;
    ASSERT_GE(UPA_open(path.c_str(), UPA_ACC_READ, &type), 0);
    auto back = std::make_unique<UPA_report>();
    int n = 0;
    EXPECT_EQ(UPA_read(0, back.get(), UPA_REP_FULL, &n), 0);
    EXPECT_STREQ(back->id, c.id);
    EXPECT_EQ(back->man[UPA_SLOT_850].p, 850);
    EXPECT_EQ(back->man[UPA_SLOT_850].h, 1512);
    UPA_close(0);
  }
}

TEST(UpaWrite, SurfaceCompletesTheListsOfACopy) {
  kez_test::TempDir dir;
  auto r = sample();
  r->numsig = 0;
  r->numwnd = 0;
  const UPA_report before = *r;
  write_one(dir.file("s"), 4, *r);
  EXPECT_EQ(std::memcmp(&before, r.get(), sizeof before), 0);
  auto b = read_back(dir.file("s"));
  ASSERT_EQ(b->numsig, 1);
  EXPECT_FLOAT_EQ(b->sig[0].p, 965);
  ASSERT_EQ(b->numwnd, 1);
  EXPECT_FLOAT_EQ(b->wnd[0].dir, 270);
}

/* The fixed layout tells a 925 hPa triplet from the 850 hPa one by its
 * pressure group: a 925 hPa slot that holds another pressure (as a damaged
 * file read positionally can give), or an 850 hPa slot that says 925
 * without a 925 hPa level, must not shift the groups of the report and of
 * the next one. */
TEST(UpaWrite, FixedLayoutKeepsTheNextReportInStep) {
  constexpr int slot_700 = 4;
  kez_test::TempDir dir;
  struct Case {
    const char* what;
    UPA_level l925, l850;
  } cases[] = {
      {"925 slot at 700 hPa", {700, 3012, 0, -10, 300, 35}, {850, 1512, 10, 5, 290, 30}},
      {"850 slot saying 925 hPa", {M, M, M, M, M, M}, {925, 780, 14, 9, 280, 20}},
      {"925 slot without its height", {925, M, 14, 9, 280, 20}, {850, 1512, 10, 5, 290, 30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto first = sample();
    first->man[UPA_SLOT_925] = c.l925;
    first->man[UPA_SLOT_850] = c.l850;
    auto second = sample();
    std::snprintf(second->id, sizeof second->id, "GHI");
    const std::string path = dir.file("fixed");
    int type = UPA_FT_FIXED;
    ASSERT_GE(UPA_open(path.c_str(), UPA_ACC_WRITE, &type), 0);
    UPA_info info{};
    UPA_putinfo(0, &info);
    int n = 0;
    EXPECT_EQ(UPA_write(0, first.get(), UPA_REP_FULL, &n), 0);
    EXPECT_EQ(UPA_write(0, second.get(), UPA_REP_FULL, &n), 0);
    UPA_close(0);
    type = 0;
    ASSERT_GE(UPA_open(path.c_str(), UPA_ACC_READ, &type), 0);
    UPA_getinfo(0, &info);
    auto back = std::make_unique<UPA_report>();
    n = 0;
    ASSERT_EQ(UPA_read(0, back.get(), UPA_REP_FULL, &n), 0);
    EXPECT_STREQ(back->id, "DNR");
    expect_level(back->man[slot_700], first->man[slot_700], "700 hPa of the first");
    if (c.l925.p == 925) expect_level(back->man[UPA_SLOT_925], c.l925, "925 hPa of the first");
    n = 1;
    ASSERT_EQ(UPA_read(0, back.get(), UPA_REP_FULL, &n), 0);
    EXPECT_STREQ(back->id, "GHI");
    for (int slot = UPA_SLOT_1000; slot <= UPA_SLOT_10; ++slot)
      expect_level(back->man[slot], second->man[slot], "slot " + std::to_string(slot) + " of the second");
    EXPECT_EQ(back->numsig, 5);
    UPA_close(0);
  }
}

} // namespace

namespace {

TEST(UpaWrite, FixedLayoutSaysWhatItsPlacesLeaveOut) {
  /* 30 significant levels and 30 winds: the fixed lists keep 28 each, the
   * lowest; the rest is reported, not lost unseen. The open layout keeps
   * them all and says nothing. */
  kez_test::TempDir dir;
  for (int type : {UPA_FT_FIXED, UPA_FT_OPEN}) {
    SCOPED_TRACE(type);
    auto r = kez_test::run_child([&] {
      MESS_set_str("warn");
      auto rep = sample();
      rep->numsig = 30;
      rep->numwnd = 30;
      for (int i = 0; i < 30; ++i) {
        rep->sig[i] = {965.0f - 12 * i, 15.0f - i, 5.0f - i};
        rep->wnd[i] = {1000.0f * i, 270, 20};
      }
      const std::string path = dir.file("many" + std::to_string(type));
      write_one(path, type, *rep);
      auto back = read_back(path);
      const int want = type == UPA_FT_FIXED ? 28 : 30;
      EXPECT_EQ(back->numsig, want);
      EXPECT_EQ(back->numwnd, want);
      EXPECT_NEAR(back->sig[want - 1].p, rep->sig[want - 1].p, 0.5);
      return ::testing::Test::HasFailure() ? 1 : 0;
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string all = r.out + r.err;
    const bool said = all.find(
                          "UPA_write: The fixed layout keeps 28 levels of a list: DNR loses 2 significant and 2 "
                          "wind levels") != std::string::npos;
    EXPECT_EQ(said, type == UPA_FT_FIXED) << r.out << r.err;
  }
}

} // namespace
