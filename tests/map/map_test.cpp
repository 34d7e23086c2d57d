/*
 * Map backgrounds: map lists with region blocks and size conditions,
 * outline files in both layouts, lat/lon lines and the rendered maps
 * checked by ghostscript.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gks.h"
#include "kez.h"
#include "kez_test.h"
#include "kezgks.h"
#include "test_domains.h"

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::us_domain;

namespace {

/* Opens a PostScript plot of a domain and sets the map up. */
int open_map(const TempDir& dir, const char* domain, const char* name) {
  RES_put("file_path", KEZ_DATA_DIR);
  RES_put("device", ("p," + dir.file(name)).c_str());
  Domain d = us_domain();
  if (std::string(domain) != "us" && DOM_decode(domain, &d) != 1) return -1;
  if (PLT_open(DOM_aspect(&d)) != 0) return -1;
  return MAP_setup(&d);
}

void put_be(std::string* s, unsigned v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put_float(std::string* s, float f) {
  unsigned u = 0;
  std::memcpy(&u, &f, sizeof u);
  put_be(s, u, 4);
}
std::string bin_record(const std::vector<std::pair<float, float>>& pts) {
  std::string s;
  put_be(&s, static_cast<unsigned>(pts.size()), 2);
  for (int i = 0; i < 4; ++i) put_float(&s, 0);
  put_be(&s, 0, 4);
  for (auto [lat, lon] : pts) {
    put_float(&s, lat);
    put_float(&s, lon);
  }
  return s;
}

} // namespace

/* Which item a list draws shows in the "not found" report of its file. */
TEST(MapList, RegionBlocksAndSizeConditionsPickTheItems) {
  struct Case {
    const char* domain;
    const char* list;
    const char* drawn;
    const char* skipped;
  };
  const Case cases[] = {
      {"us", "[20,55,-130,-60,40],us.map,[],world.map", "us.map", "world.map"},
      {"us", "[20,55,-130,-60,20],us.map,[],world.map", "world.map", "us.map"},
      {"latlon,0,0,0,2,2,180,90", "[20,55,-130,-60,40],us.map,[],world.map", "world.map", "us.map"},
      {"us", "[55,20,-60,-130],us.map", "us.map", "world"},
      {"latlon,0,0,0,2,2,180,90", "s+100:big.map,s-100:small.map", "small.map", "big.map"},
      {"latlon,0,0,0,2,2,180,90", ">10<100:mid.map,<10:tiny.map,>10<50:no.map", "mid.map", "tiny.map"},
      {"us", "-under.map,+over.map,s+5:broken", "under.map", "over.map"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    auto r = run_child([&] {
      if (open_map(dir, c.domain, "l.ps") != 0) return 2;
      std::printf("height %.1f\n", MAP_get_vert());
      RES_put("map_file", c.list);
      MAP_draw(5);
      PLT_close();
      return 0;
    });
    ASSERT_EQ(r.status, 0) << c.list << r.err;
    EXPECT_NE(r.err.find(std::string("not found: ") + KEZ_DATA_DIR + "/" + c.drawn), std::string::npos)
        << c.list << "\n"
        << r.out << r.err;
    EXPECT_EQ(r.err.find(c.skipped), std::string::npos) << c.list << "\n" << r.err;
  }
}

TEST(MapList, DefaultListIsChosenForEachPlot) {
  TempDir dir;
  auto r = run_child([&] {
    if (open_map(dir, "us", "d.ps") != 0) return 2;
    RES_put("file_path", dir.path().c_str());
    MAP_draw(5);
    Domain europe{};
    DOM_decode("latlon,50,10,0.5,0.5,80,60", &europe);
    MAP_setup(&europe);
    MAP_draw(5);
    PLT_close();
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  const auto us = r.err.find("kez.map");
  const auto world = r.err.find("cont.map");
  EXPECT_NE(us, std::string::npos) << r.err;
  EXPECT_NE(world, std::string::npos) << r.err;
  EXPECT_LT(us, world);
}

TEST(MapList, RefusedSpacingsAndBrokenItemsEndQuickly) {
  TempDir dir;
  auto r = run_child([&] {
    if (open_map(dir, "latlon,0,0,0,2,2,180,90", "s.ps") != 0) return 2;
    std::printf("%d %d %d\n", MAP_lines(0, 10), MAP_lines(-5, 10), MAP_lines(KEZ_FMISS, 10));
    RES_put("map_file", "s+10,lalo:0,lalo:x:-3");
    MAP_draw(4);
    PLT_close();
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("-1 -1 -1\n"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.err.find("MAP_process: Condition without ':'"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("MAP_lines: Line spacings must be above 0: 0,0"), std::string::npos) << r.err;
}

TEST(MapOutline, TextAndBinaryRecordsAreRead) {
  TempDir dir;
  const std::string bin = dir.file("b.map");
  kez_test::write_file(bin, bin_record({{40, -100}, {41, -99}, {42, -98}}) + bin_record({}));
  const std::string txt = dir.file("t.map");
  kez_test::write_file(txt, "3 42 40 -98 -100 0\n40 -100\n41 -99\n42 -98\n0 0 0 0 0 0\n");
  const std::string cut = dir.file("c.map");
  kez_test::write_file(cut, bin_record({{40, -100}, {41, -99}, {42, -98}}).substr(0, 30));
  auto r = run_child([&] {
    if (open_map(dir, "us", "o.ps") != 0) return 2;
    for (const std::string& f : {bin, txt, cut}) {
      FILE* fp = std::fopen(f.c_str(), "rb");
      std::printf("%d ", MAP_map(fp));
      std::fclose(fp);
    }
    Domain diag{};
    DOM_decode("xy,0,0,1,1,10,10", &diag);
    MAP_setup(&diag);
    FILE* fp = std::fopen(bin.c_str(), "rb");
    std::printf("%d\n", MAP_map(fp));
    std::fclose(fp);
    PLT_close();
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("0 0 -1 1\n"), std::string::npos) << r.out << r.err;
  EXPECT_NE(r.err.find("MAP_map: Outline record ends early"), std::string::npos) << r.err;
}

/* A binary record that breaks off (in the middle of a point, or at a point
 * that is not a number) still draws the points before the break, exactly as
 * a record holding only those points would. */
TEST(MapOutline, BrokenBinaryRecordDrawsThePointsBeforeTheBreak) {
  const float nan = std::nanf("");
  const std::vector<std::pair<float, float>> good = {{38, -104}, {40, -100}, {41, -97}};
  struct Case {
    const char* why;
    std::string record;
  };
  const std::string whole = bin_record({{38, -104}, {40, -100}, {41, -97}, {43, -95}});
  const Case cases[] = {
      {"cut in the middle of the fourth point", whole.substr(0, whole.size() - 5)},
      {"cut right after the third point", whole.substr(0, whole.size() - 8)},
      {"latitude not a number", bin_record({{38, -104}, {40, -100}, {41, -97}, {nan, -95}, {44, -90}})},
      {"longitude not a number", bin_record({{38, -104}, {40, -100}, {41, -97}, {43, nan}, {44, -90}})},
  };
  TempDir dir;
  auto draw = [&](const std::string& record, const char* page) {
    const std::string file = dir.file("r.map");
    kez_test::write_file(file, record);
    auto r = run_child([&] {
      if (open_map(dir, "us", page) != 0) return 2;
      FILE* fp = std::fopen(file.c_str(), "rb");
      const int res = MAP_map(fp);
      std::fclose(fp);
      PLT_close();
      return res == -1 ? 0 : 3;
    });
    EXPECT_EQ(r.status, 0) << r.err;
    std::string body;
    const std::string ps = kez_test::read_file(dir.file(page));
    std::size_t at = 0;
    while (at < ps.size()) {
      std::size_t end = ps.find('\n', at);
      if (end == std::string::npos) end = ps.size();
      const std::string line = ps.substr(at, end - at);
      if (line.rfind("%%CreationDate", 0) != 0) body += line + "\n";
      at = end + 1;
    }
    return body;
  };
  const std::string expected = draw(bin_record(good), "good.ps");
  ASSERT_NE(draw("", "none.ps"), expected) << "the three points draw nothing";
  for (const Case& c : cases) EXPECT_EQ(draw(c.record, "broken.ps"), expected) << c.why;
}

/* Most of an outline file lies off a regional map and is not projected:
 * the same records read from a text file (which are always projected)
 * must draw the same page on every kind of map, whatever the records:
 * dense and sparse lines, lines over the poles, across the date line and
 * the seam behind the map, beside and level with the map. */
TEST(MapOutline, BinaryRecordsDrawTheirTextTwinsPage) {
  std::mt19937 rng(20261211);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<std::vector<std::pair<float, float>>> records;
  for (int r = 0; r < 400; ++r) {
    const float step = r % 4 == 0 ? 8.0f * u(rng) + 2.0f : 0.3f * u(rng) + 0.02f; /* sparse or dense */
    float lat = 180.0f * u(rng) - 90.0f, lon = 360.0f * u(rng) - 180.0f;
    std::vector<std::pair<float, float>> pts;
    const int n = 2 + static_cast<int>(40 * u(rng));
    const float dir = 6.2831853f * u(rng);
    for (int i = 0; i < n; ++i) {
      pts.emplace_back(std::clamp(lat, -90.0f, 90.0f), lon);
      lat += step * std::sin(dir + 0.3f * u(rng));
      lon += step * std::cos(dir + 0.3f * u(rng));
      if (lon > 180.0f) lon -= 360.0f;
      if (lon < -180.0f) lon += 360.0f;
    }
    records.push_back(pts);
  }
  std::string bin, text;
  for (const auto& pts : records) {
    bin += bin_record(pts);
    text += std::to_string(pts.size()) + " 0 0 0 0 0\n";
    for (auto [lat, lon] : pts) {
      char line[64];
      std::snprintf(line, sizeof line, "%.9g %.9g\n", static_cast<double>(lat), static_cast<double>(lon));
      text += line;
    }
  }
  bin += bin_record({});
  text += "0 0 0 0 0 0\n";
  TempDir dir;
  kez_test::write_file(dir.file("r.map"), bin);
  kez_test::write_file(dir.file("t.map"), text);
  auto page = [&](const char* domain, const char* map) {
    auto r = run_child([&] {
      if (open_map(dir, domain, "page.ps") != 0) return 2;
      FILE* fp = std::fopen(dir.file(map).c_str(), "rb");
      const int res = MAP_map(fp);
      std::fclose(fp);
      PLT_close();
      return res == 0 ? 0 : 3;
    });
    EXPECT_EQ(r.status, 0) << domain << " " << map << ": " << r.err;
    const std::string ps = kez_test::read_file(dir.file("page.ps"));
    const std::size_t date = ps.find("%%CreationDate");
    return date == std::string::npos ? ps : ps.substr(0, date) + ps.substr(ps.find('\n', date));
  };
  const char* domains[] = {
      "us",
      "lc:40:-95:33:45,40,-95,19,13,3.4,3.4",
      "lc:-35:140:-30:-45,-35,140,15,11,3,3",
      "lc:25:170:25:25,30,170,15,11,3,3",
      "ps:90:-100,60,-100,25,17,2,2",
      "ps:-90:0,-70,0,25,17,2,2",
      "ll:0:180,0,180,30,20,2,2",
      "ll,40,-100,40,30,1,1",
      "merc:0:-170,10,-170,30,20,2,2",
  };
  for (const char* d : domains) {
    const std::string from_text = page(d, "t.map");
    EXPECT_GT(from_text.size(), 2000u) << d << ": the records draw something";
    EXPECT_EQ(page(d, "r.map"), from_text) << d;
  }
}

TEST(MapCircle, OneDegreeRadiusSpansOneDegreeOfLatitude) {
  TempDir dir;
  auto r = run_child([&] {
    if (open_map(dir, "latlon,0,0,100,100,0.1,0.1", "c.ps") != 0) return 2;
    float x = 0, y = 0, xn = 0, yn = 0, lat = 0, lon = 0;
    MAP_tran(0, 0, &x, &y);
    MAP_offset(x, y, 0, 111.195f, &xn, &yn);
    MAP_untran(xn, yn, &lat, &lon);
    std::printf("%.2f %.2f %d\n", lat, lon, MAP_draw_circle(x, y, 111.195f));
    PLT_close();
    return 0;
  });
  EXPECT_NE(r.out.find("1.00 0.00 0\n"), std::string::npos) << r.out << r.err;
}

/* The shipped outlines drawn as real maps; ghostscript must render them. */
TEST(MapRender, UsLambertAndWorldMapsRender) {
  if (!kez_test::have_program("gs")) GTEST_SKIP() << "no ghostscript";
  struct Case {
    const char* domain;
    const char* list;
    const char* name;
  };
  const Case cases[] = {
      {"us", "kez.map:black,lalo:10", "us"},
      {"latlon,0,0,0,73,37,5,5", "cont.map:blue,country.map:red,lalo:30", "world"},
      {"ps,90,-100,101,101,1,1", "cont.map:blue,country.map:red,lalo:10", "polar"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string ps = dir.file(std::string(c.name) + ".ps");
    auto r = run_child([&] {
      if (open_map(dir, c.domain, (std::string(c.name) + ".ps").c_str()) != 0) return 2;
      RES_put("map_file", c.list);
      /* The west and east ends of the map's middle row. */
      MAP_limits lim{};
      MAP_get_limits(&lim);
      float lat = 0, west = 0, east = 0;
      MAP_untran(lim.x_min, 0.5f * (lim.y_min + lim.y_max), &lat, &west);
      MAP_untran(lim.x_max, 0.5f * (lim.y_min + lim.y_max), &lat, &east);
      std::printf("span %.0f %.0f\n", west, east);
      MAP_draw(5);
      PLT_close();
      return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    if (std::string(c.name) == "world") {
      EXPECT_NE(r.out.find("span -180 180"), std::string::npos) << "the whole globe: " << r.out;
    }
    std::string out;
    EXPECT_EQ(kez_test::run_command("gs -q -dNOPAUSE -dBATCH -sDEVICE=bbox " + ps + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("%%BoundingBox"), std::string::npos) << out;
    if (const char* keep = std::getenv("KEZ_MAP_PNG_DIR"))
      kez_test::run_command("gs -q -dNOPAUSE -dBATCH -sDEVICE=png16m -r60 -sOutputFile=" + std::string(keep) + "/" +
                            c.name + ".png " + ps);
  }
}
