#include "kez.h"
#include "kez_test.h"
#include "kezcty.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using kez_test::capture;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr float M = KEZ_FMISS;
constexpr int N = KEZ_MISS;
const std::string fixture_dir = std::string(KEZ_SOURCE_DIR) + "/tests/geo/data";

/* Region tests run in a folder of their own as "file_path", so that no
 * "kez.reg" is found unless the test writes one. */
struct Place {
  TempDir dir;
  Place() { RES_put("file_path", dir.path().c_str()); }
  ~Place() {
    for (const char* name : {"file_path", "stat_prior", "plot_domain", "region", "grid_domain"}) RES_put(name, "");
  }
};

struct Want {
  int proj;
  float plat, plon, p0, p1;
  float clat, clon;
  int nx, ny;
  float dx, dy;
  int ellipse;
};

void expect_domain(const Domain& d, const Want& w, const std::string& what) {
  EXPECT_EQ(d.proj, w.proj) << what;
  EXPECT_FLOAT_EQ(d.plat, w.plat) << what;
  EXPECT_FLOAT_EQ(d.plon, w.plon) << what;
  EXPECT_FLOAT_EQ(d.param[0], w.p0) << what;
  EXPECT_FLOAT_EQ(d.param[1], w.p1) << what;
  EXPECT_FLOAT_EQ(d.clat, w.clat) << what;
  EXPECT_FLOAT_EQ(d.clon, w.clon) << what;
  EXPECT_EQ(d.nx, w.nx) << what;
  EXPECT_EQ(d.ny, w.ny) << what;
  EXPECT_FLOAT_EQ(d.dx, w.dx) << what;
  EXPECT_FLOAT_EQ(d.dy, w.dy) << what;
  EXPECT_EQ(d.ellipse, w.ellipse) << what;
}

TEST(DomainText, LayoutsAreTriedInOrder) {
  Place place;
  struct Case {
    const char* spec;
    Want want;
    const char* why;
  };
  const Case cases[] = {
      {"ps,40,-100,25,17,1.2",
       {1, M, 40, M, M, -100, 25, 25, 17, 17, 1.2f, 0},
       "a projection and five numbers: proj,plon,clat,clon,dx,dy"},
      {"40,-100,25,17,1.2", {1, M, M, M, M, 40, -100, 25, 17, 1.2f, 1.2f, 0}, "clat,clon,nx,ny,dx"},
      {"lc:30:-100:25:45,40,-100",
       {4, 30, -100, 25, 45, 40, -100, 25, 17, 1.2f, 1.2f, 0},
       "true latitudes in the projection item"},
      {"lc:-95,35,-95,25,17,1.5,1.5",
       {4, M, -95, M, M, 35, -95, 25, 17, 1.5f, 1.5f, 0},
       "two parts: the second is plon"},
      {"ps:e,40,-100", {1, M, 0, M, M, 40, -100, 25, 17, 1.2f, 1.2f, 0}, "two parts: 'e' is plon and reads 0"},
      {"sat:e:0:-75:421.6,0,-75", {9, 0, -75, 421.6f, M, 0, -75, 25, 17, 1.2f, 1.2f, 1}, "the ellipsoid mark"},
      {"lamb::-100:::,40,-100,25,17,1,1",
       {4, M, -100, M, M, 40, -100, 25, 17, 1, 1, 0},
       "empty parts are missing, not 0"},
      {"merc,0,10,20,40,50,1.5,2.5", {3, M, 0, M, M, 10, 20, 40, 50, 1.5f, 2.5f, 0}, "all eight items"},
      {"latlon,10,20,30,40,2",
       {2, M, 10, M, M, 20, 30, 25, 17, 40, 2, 0},
       "five numbers after a projection are never nx,ny"},
      {"latlon,10,20,30,40,",
       {2, M, M, M, M, 10, 20, 25, 17, 30, 40, 0},
       "a trailing comma makes no item: proj,clat,clon,dx,dy"},
      {"10,20,30,40,2,3", {1, M, M, M, M, 10, 20, 30, 40, 2, 3, 0}, "no projection: 1"},
      {"ortho,10,20,2,3", {5, M, M, M, M, 10, 20, 25, 17, 2, 3, 0}, "25 x 17"},
      {"moll,10,20,2", {7, M, M, M, M, 10, 20, 25, 17, 2, 2, 0}, "one spacing"},
      {"10,20,30,40", {1, M, M, M, M, 10, 20, 30, 40, 1.2f, 1.2f, 0}, "grid size only"},
      {"10,20,3", {1, M, M, M, M, 10, 20, 25, 17, 3, 3, 0}, "centre and spacing"},
      {"lc,40,-100", {4, M, M, M, M, 40, -100, 25, 17, 1.2f, 1.2f, 0}, "projection and centre"},
      {"zoom,40,-100", {50, M, M, M, M, 40, -100, 25, 17, 1, 1, 0}, "zoom spacing 1"},
      {"size,640,512", {51, M, M, M, M, M, M, 640, 512, M, M, 0}, "the size keyword"},
      {"SIZE,640.7,512", {51, M, M, M, M, M, M, 640, 512, M, M, 0}, "a number read as %d"},
      {"40,-100", {1, M, M, M, M, 40, -100, 25, 17, 1.2f, 1.2f, 0}, "centre only"},
      {"none,40,-100", {1, M, M, M, M, M, M, 25, 17, M, M, 0}, "none: defaults only"},
      {"40,-100,,,1.2", {1, M, M, M, M, 40, -100, N, N, 1.2f, 1.2f, 0}, "empty items"},
      {"40abc,-100", {1, M, M, M, M, 40, -100, 25, 17, 1.2f, 1.2f, 0}, "a leading number"},
  };
  for (const Case& c : cases) {
    Domain d;
    EXPECT_EQ(DOM_decode(c.spec, &d), 1) << c.spec;
    expect_domain(d, c.want, std::string(c.spec) + ": " + c.why);
    EXPECT_EQ(FLAG_get(5), 1) << c.spec;
  }
}

TEST(DomainText, InvalidAndMissingTexts) {
  Place place;
  const char* invalid[] = {
      "ps,x,y",
      "foo,40,-100",
      "40",
      "nan,1",
      "40,-100,1e999",
      "1,2,3,4,5,6,7,8,9",
      "ps,40,-100,3000000000,17,1,1",
      "lc:inf,40,-100",
      ",",
      "xx",
      "id:NOPE",
      "mw:",
  };
  for (const char* spec : invalid) {
    Domain d;
    auto out = capture([&] { EXPECT_EQ(DOM_decode(spec, &d), -1) << spec; });
    EXPECT_NE(out.err.find("DOM_decode: Invalid plot domain"), std::string::npos) << spec;
    EXPECT_EQ(FLAG_get(5), -1) << spec;
    EXPECT_EQ(d.proj, N) << spec << ": nothing half-decoded stays";
  }
  FLAG_set(5, 7);
  for (const char* spec : {"miss", "MISS", ""}) {
    Domain d;
    EXPECT_EQ(DOM_decode(spec, &d), N) << spec;
  }
  Domain d;
  EXPECT_EQ(DOM_decode(nullptr, &d), N);
  EXPECT_EQ(FLAG_get(5), 7) << "no domain text leaves the flag";
  EXPECT_EQ(DOM_decode("40,-100", nullptr), -1);
}

TEST(DomainText, SetParamsReportsWhatFailed) {
  Place place;
  char a[] = "ps", b[] = "40", c[] = "x";
  char* items[] = {a, b, c};
  Domain d;
  EXPECT_EQ(DOM_set_params(3, items, &d, DOM_ITEM_PROJ, DOM_ITEM_CLAT, DOM_ITEM_CLON), 6);
  EXPECT_EQ(DOM_set_params(2, items, &d, DOM_ITEM_PROJ, DOM_ITEM_CLAT, DOM_ITEM_CLON), -1);
  char bad[] = "bogus";
  items[0] = bad;
  EXPECT_EQ(DOM_set_params(1, items, &d, DOM_ITEM_PROJ), 1);
  EXPECT_EQ(d.proj, 1) << "an unknown name leaves projection 1";
}

TEST(DomainText, StationsCentreTheDomain) {
  Place place;
  RES_put("file_path", fixture_dir.c_str());
  const Want den{1, M, M, M, M, 39.75f, -104.87f, 25, 17, 1.2f, 1.2f, 0};
  TempDir other;
  write_file(other.file("other.cty"), "Elsewhere -- XX DEN 1 10.5 20.5 0 1 0\n");
  for (const char* spec : {"id:DEN", "ID:den"}) {
    Domain d;
    EXPECT_EQ(DOM_decode(spec, &d), 1) << spec;
    expect_domain(d, den, spec);
  }
  Domain d;
  std::string spec = "id:" + other.file("other.cty") + ":DEN";
  EXPECT_EQ(DOM_decode(spec.c_str(), &d), 1) << "a station file of its own";
  EXPECT_FLOAT_EQ(d.clat, 10.5f);
  EXPECT_EQ(DOM_decode("lc,id:DEN,25,17,1.2,1.2", &d), 1);
  expect_domain(d, {4, M, M, M, M, 39.75f, -104.87f, 25, 17, 1.2f, 1.2f, 0}, "in layout 2");
  EXPECT_EQ(DOM_decode("id:|cat /etc/passwd:DEN", &d), -1) << "station files are plain files";
}

TEST(DomainText, BuiltInRegionsAndPriority) {
  Place place;
  struct Case {
    const char* spec;
    float clat, clon, spacing;
    int prior;
  };
  const Case cases[] = {
      {"us", 39, -97, 2.3f, 2}, {"ne", 42, -76, 0.9f, 3},     {"at", 37, -82, 0.9f, 3}, {"se", 31, -88, 1.1f, 3},
      {"MW", 43, -93, 1.1f, 3}, {"sp", 32.5f, -100, 1.2f, 3}, {"nw", 44, -112, 1, 3},   {"sw", 37, -112, 1, 3},
  };
  for (const Case& c : cases) {
    Domain d;
    EXPECT_EQ(DOM_decode(c.spec, &d), 2) << c.spec;
    expect_domain(d, {1, M, c.clon, M, M, c.clat, c.clon, 25, 17, c.spacing, c.spacing, 0}, c.spec);
    EXPECT_EQ(DOM_get_prior(), c.prior) << c.spec;
    EXPECT_EQ(FLAG_get(5), 2);
  }
  Domain d;
  EXPECT_EQ(DOM_get_def_region("xx", &d), 0);
  struct Adjust {
    const char* value;
    int prior;
  };
  const Adjust adjusts[] = {{"+2", 4}, {"-1", 1}, {"7", 7}, {"x", 2}, {"+", 2}};
  for (const Adjust& a : adjusts) {
    RES_put("stat_prior", a.value);
    DOM_decode("us", &d);
    EXPECT_EQ(DOM_get_prior(), a.prior) << a.value;
  }
  RES_put("stat_prior", "");
  const float sizes[] = {60, 30, 20, 10, 4, 2};
  for (int i = 0; i < 6; ++i) {
    DOM_set_base_prior(sizes[i]);
    EXPECT_EQ(DOM_get_prior(), i + 1) << sizes[i];
  }
  EXPECT_EQ(DOM_get_loc_prior(), 4);
  DOM_set_loc_prior(6);
  EXPECT_EQ(DOM_get_loc_prior(), 6);
}

TEST(DomainText, VariableRegionAsksForTheCentre) {
  auto r = run_child(
      [] {
        Domain d;
        int result = DOM_decode("var", &d);
        return result == 2 && d.clat == 45.0f && d.clon == -120.0f && d.plon == -120.0f && d.dx == 1.2f ? 0 : 1;
      },
      "45\n-120\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Enter the central latitude: "), std::string::npos);
  EXPECT_NE(r.out.find("Enter the central longitude: "), std::string::npos);
}

const char* const region_file =
    "# abbr name menu domain\n"
    "den Denver_Area 1 ps,39.75,-104.87,25,17,0.5,0.5\n"
    "wst West 1 lc:30:-110:30:60,40,-110,25,17,1,1\n"
    "alias Alias_of_West 0 wst\n"
    "loop Loop 0 loop\n"
    "ping Ping 0 pong\n"
    "pong Pong 0 ping\n"
    "sw Own_Southwest 0 sw\n"
    "bad Bad 0 40\n"
    "short Short\n"
    "word\n"
    "hid Hidden 0 ps,10,10\n"
    "\n"
    "aft After_the_blank 1 ps,0,0\n";

TEST(RegionFile, EntriesDecodeAndNamesResolve) {
  Place place;
  write_file(place.dir.file("kez.reg"), region_file);
  write_file(place.dir.file("other.reg"), "sole Sole 1 ps,1,2\n");
  write_file(place.dir.file("one.reg"), "ps,5,6\n");
  struct Case {
    const char* spec;
    int result;
    float clat, clon;
    const char* why;
  };
  const Case cases[] = {
      {"den", 2, 39.75f, -104.87f, "an entry of kez.reg"},
      {"DEN", 2, 39.75f, -104.87f, "abbreviations without regard to case"},
      {"alias", 2, 40, -110, "an entry naming another"},
      {"mw", 2, 43, -93, "not in the file: built in"},
      {"other.reg:sole", 2, 1, 2, "file and abbreviation"},
      {"fi:other.reg", 2, 1, 2, "the first entry of a file"},
      {"fi:one.reg", 2, 5, 6, "a file of one word"},
      {"loop", -1, M, M, "an entry naming itself is a built-in region, here none"},
      {"sw", 2, 37, -112, "an entry naming itself: the built-in region"},
      {"ping", -1, M, M, "entries naming each other end"},
      {"bad", -1, M, M, "an entry that decodes nothing"},
      {"short", -1, M, M, "a short line is no entry"},
      {"aft", -1, M, M, "the search ends at the first empty line"},
      {"zz", -1, M, M, "unknown region"},
      {"other.reg:zz", -1, M, M, "unknown in that file"},
      {"fi:missing.reg", -1, M, M, "no such file"},
      {"id:x", -1, M, M, "a station item is no region"},
  };
  for (const Case& c : cases) {
    Domain d;
    EXPECT_EQ(DOM_decode(c.spec, &d), c.result) << c.spec << ": " << c.why;
    if (c.result > 0) {
      EXPECT_FLOAT_EQ(d.clat, c.clat) << c.spec;
      EXPECT_FLOAT_EQ(d.clon, c.clon) << c.spec;
    }
  }
  Domain d;
  EXPECT_EQ(DOM_decode("wst", &d), 2);
  expect_domain(d, {4, 30, -110, 30, 60, 40, -110, 25, 17, 1, 1, 0}, "wst");
  char key[FILE_KEY_LEN];
  FILE_get_key('r', key);
  EXPECT_STREQ(key, "wst");

  char spec[DOM_SPEC_LEN];
  EXPECT_EQ(DOM_search_file("kez.reg", "wst", spec), 1);
  EXPECT_STREQ(spec, "lc:30:-110:30:60,40,-110,25,17,1,1");
  EXPECT_EQ(DOM_search_file("kez.reg", nullptr, spec), 1);
  EXPECT_STREQ(spec, "ps,39.75,-104.87,25,17,0.5,0.5");
  EXPECT_EQ(DOM_search_file("kez.reg", "word", spec), 0) << "a one-word line answers no name";
  write_file(place.dir.file("long.reg"), "lng Long 1 " + std::string(90, '1') + "\n");
  EXPECT_EQ(DOM_search_file("long.reg", "lng", spec), 0) << "longer than the buffer";
  EXPECT_EQ(DOM_search_file("|echo x", nullptr, spec), 0);
  EXPECT_EQ(DOM_search_file("/dev/zero", nullptr, spec), 0) << "a device has no end of line";
  EXPECT_EQ(DOM_search_file(place.dir.path().c_str(), nullptr, spec), 0);
}

TEST(RegionFile, MenuLoadsListedEntries) {
  auto r = run_child([] {
    Place place;
    write_file(place.dir.file("kez.reg"), region_file);
    std::string names;
    for (int i = 0; i <= 10; ++i) {
      const char* n = DOM_get_region_name(i);
      names += n ? n : "(end)";
      names += "|";
    }
    if (names !=
        "Return to previous menu|Contiguous US|New England|Atlantic|Southeastern|"
        "Midwestern|Southern Plains|Northwestern|Southwestern|Variable|(end)|")
      return 1;
    if (DOM_read_menu("missing.reg") != 0) return 2;
    if (std::strcmp(DOM_get_region_name(1), "Contiguous US") != 0) return 3;
    if (DOM_read_menu("kez.reg") != 1) return 4;
    names.clear();
    for (int i = 1; i <= 4; ++i) {
      const char* n = DOM_get_region_name(i);
      names += n ? n : "(end)";
      names += "|";
    }
    if (names != "Denver Area|West|After the blank|(end)|") return 5;
    /* A file and ":" loads that file's menu; no domain comes of it. */
    write_file(place.dir.file("other.reg"), "sole A_very_long_name_of_a_region 1 ps,1,2\n");
    Domain d;
    if (DOM_decode("other.reg:", &d) != -1) return 6;
    if (std::strcmp(DOM_get_region_name(1), "A very long name of ") != 0) return 7;
    if (DOM_get_region_name(2) != nullptr || DOM_get_region_name(23) != nullptr) return 8;
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(RegionFile, ListingShowsAbbreviationsAndNames) {
  Place place;
  write_file(place.dir.file("kez.reg"), region_file);
  auto out = capture([] { EXPECT_EQ(DOM_print_file("kez.reg"), 0); });
  EXPECT_EQ(out.out.rfind(" Abbr    Description\n", 0), 0u);
  EXPECT_NE(out.out.find("den      Denver_Area"), std::string::npos);
  EXPECT_NE(out.out.find("aft      After_the_blank"), std::string::npos);
  EXPECT_EQ(out.out.find("word"), std::string::npos);
  EXPECT_EQ(out.out.find("#"), std::string::npos);
}

TEST(DomainPrint, PrintedDomainsReadBackForEveryProjection) {
  Place place;
  const int codes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 20, 21, 22, 23, 24, 25, 40, 41, 42, 43, 44, 50, 51, 99};
  for (int code : codes) {
    Domain d;
    DOM_init(&d);
    d.proj = code;
    d.plat = 35.5f;
    d.plon = -97.25f;
    d.param[0] = 30;
    d.param[1] = 60;
    d.clat = 40.125f;
    d.clon = -100.5f;
    d.nx = 31;
    d.ny = 21;
    d.dx = 1.25f;
    d.dy = 0.75f;
    if (code == 9) {
      d.ellipse = 1;
      d.param[2] = 1;
      d.param[3] = 2;
    }
    auto out = capture([&] { DOM_print(M_print, &d); });
    std::string text = out.out;
    ASSERT_FALSE(text.empty()) << code;
    text.pop_back();
    Domain back;
    EXPECT_EQ(DOM_decode(text.c_str(), &back), 1) << text;
    EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0) << text;
  }
  /* Missing fields print empty and read back missing. */
  Domain d;
  DOM_init(&d);
  d.proj = 4;
  d.plat = 30;
  d.clat = 40;
  d.clon = -100;
  d.nx = 25;
  d.ny = 17;
  d.dx = d.dy = 1;
  auto out = capture([&] { DOM_print(M_print, &d); });
  EXPECT_EQ(out.out, "lamb:30.000::::,40.000,-100.000,25,17,1.0000,1.0000\n");
  std::string text = out.out.substr(0, out.out.size() - 1);
  Domain back;
  EXPECT_EQ(DOM_decode(text.c_str(), &back), 1);
  EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0) << "plat stays plat";
  MESS_set(-1, M_print);
  out = capture([&] { DOM_print(M_print, &d); });
  MESS_set(1, M_print);
  EXPECT_EQ(out.out, "") << "a level that is off prints nothing";
}

TEST(RegionFile, ShippedRegionsAreTheBuiltInOnes) {
  /* "var" asks for its centre twice: once through the file, once built in. */
  auto r = run_child(
      [] {
        RES_put("file_path", KEZ_DATA_DIR);
        if (DOM_read_menu("kez.reg") != 1) return 1;
        const char* names[] = {"us", "ne", "at", "se", "mw", "sp", "nw", "sw", "var"};
        const char* titles[] = {"Contiguous US",   "New England",  "Atlantic",     "Southeastern", "Midwestern",
                                "Southern Plains", "Northwestern", "Southwestern", "Variable"};
        for (int i = 0; i < 9; ++i) {
          Domain shipped, built_in;
          if (DOM_decode(names[i], &shipped) != 2) return 10 + i;
          DOM_get_def_region(names[i], &built_in);
          if (!DOM_comp(&shipped, &built_in)) return 20 + i;
          if (std::strcmp(DOM_get_region_name(i + 1), titles[i]) != 0) return 30 + i;
        }
        return DOM_get_region_name(10) == nullptr ? 0 : 2;
      },
      "40\n-100\n40\n-100\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(RegionPrompt, MenuAnswersByNumberAbbreviationAndList) {
  struct Case {
    const char* input;
    bool region_file; /* with a "kez.reg" */
    int result;
    float clat;
    const char* why;
  };
  const Case cases[] = {
      {"3\n", false, 2, 37, "the third built-in region"},
      {"mw\n", false, 2, 43, "an abbreviation"},
      {"midwestern\n", false, 2, 43, "a one-word name"},
      {"40,-100\n", false, 1, 40, "a domain text typed at the menu"},
      {"1\n", true, 2, 41, "the first region of the file"},
      {"list\nhi\n", true, 2, 41, "a listing, then an answer"},
      {"sw\n", true, 2, 37, "built-in regions still decode"},
      {"0\n", false, 0, M, "back"},
      {"bad\nbad\nbad\nbad\nbad\n", false, -1, M, "five invalid answers"},
      {"bad\nnw\n", false, 2, 44, "asked again"},
  };
  for (const Case& c : cases) {
    auto r = run_child(
        [&] {
          Place place;
          if (c.region_file) write_file(place.dir.file("kez.reg"), "hi High_Plains 1 ps,41,-103,25,17,0.8,0.8\n");
          Domain d;
          int got = DOM_prompt_region(&d, 1);
          if (got != c.result) return 1;
          if (got > 0 && d.clat != c.clat) return 2;
          return 0;
        },
        c.input);
    EXPECT_EQ(r.status, 0) << c.input << ": " << c.why << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("        Region Menu"), std::string::npos) << c.input;
    EXPECT_NE(r.out.find(c.region_file ? "  1: High Plains" : "  5: Midwestern"), std::string::npos) << c.input;
    if (std::string(c.input).rfind("list", 0) == 0) {
      EXPECT_NE(r.out.find("hi       High_Plains"), std::string::npos);
    }
  }
}

/* The prompt hands back 19 characters of an answer: a longer domain would
 * be cut into another one that still decodes (a spacing of 1.25 read as
 * 1), so such an answer is refused and asked again. */
TEST(RegionPrompt, TypedDomainThatMayHaveBeenCutIsRefused) {
  auto r = run_child(
      [] {
        Place place;
        Domain d;
        int got = DOM_prompt_region(&d, 1);
        return got == 1 && d.clat == 44.0f && d.dx == 1.2f ? 0 : 1;
      },
      "45.5,-93.25,25,17,1.25\n44,-93,25,17\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("DOM_prompt_region: A typed domain of 19 or more characters may have been cut; give a long "
                       "domain with the \"plot_domain\" setting\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("Invalid domain"), std::string::npos);
}

TEST(RegionPrompt, NumbersChooseMenuEntries) {
  auto r = run_child(
      [] {
        Place place;
        write_file(place.dir.file("kez.reg"),
                   "hi High_Plains 1 ps,41,-103,25,17,0.8,0.8\nlo Low 1 ps,30,-90,25,17,0.8,0.8\n");
        Domain d;
        int got = DOM_prompt_region(&d, 1);
        return got == 2 && d.clat == 30.0f ? 0 : 1;
      },
      "2\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("  1: High Plains"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Enter the region: "), std::string::npos);
}

TEST(RegionPrompt, ExitChoiceEndsTheProgram) {
  auto r = run_child(
      [] {
        Place place;
        Domain d;
        DOM_prompt_region(&d, 1);
        return 5;
      },
      "-1\n");
  EXPECT_EQ(r.status, 0);
}

TEST(RegionPrompt, ResourcesAndBatch) {
  /* An invalid resource domain ends the program with status 43. */
  for (const char* name : {"plot_domain", "region"}) {
    auto r = run_child([name] {
      Place place;
      RES_put(name, "ps,x,y");
      Domain d;
      DOM_prompt_region(&d, 1);
      return 5;
    });
    EXPECT_EQ(r.status, 43) << name << r.out << "|" << r.err;
    EXPECT_NE(r.err.find("Invalid domain"), std::string::npos) << name;
  }
  /* So does one that decodes but can draw no map; diagrams hold data
   * values in those fields and are not judged. */
  const struct {
    const char* spec;
    const char* why;
  } unplottable[] = {
      {"ps,999,-100,25,17,1.2,1.2", "a latitude beyond a pole"},
      {"ps,40,-100,25,17,1.2", "a latitude beyond a pole"}, /* clat -100 as a projection and five numbers read */
      {"lc:40:-95:33:45,-91,-95,19,13,3.4,3.4", "a latitude beyond a pole"},
      {"lc:40:-95:33:95,40,-95", "a true latitude beyond a pole"},
      {"ps,40,400", "a longitude beyond 360 degrees"},
      {"ps,40,-100,0,0,1.2,1.2", "fewer than 2 grid points"},
      {"ps,40,-100,1,17,1.2,1.2", "fewer than 2 grid points"},
      {"ps,40,-100,25,17,-1.2,1.2", "a spacing that is not positive"},
      {"ps,40,-100,25,17,1.2,0", "a spacing that is not positive"},
      {"size,40.9,-100", "a size below 1"},
      {"xlogp,0,1050,25,17,10,-50", nullptr},
      {"ps,-90,360,2,2,0.1,0.1", nullptr},
  };
  for (const auto& c : unplottable) {
    for (bool batch : {false, true}) {
      auto u = run_child([&] {
        Place place;
        FLAG_set_batch(batch ? 1 : 0);
        RES_put("plot_domain", c.spec);
        Domain d;
        return DOM_prompt_region(&d, 1) == 1 ? 0 : 5;
      });
      EXPECT_EQ(u.status, c.why ? 43 : 0) << c.spec << u.err;
      if (c.why) {
        EXPECT_NE(u.err.find(std::string(c.spec) + ": " + c.why), std::string::npos) << u.err;
      }
    }
    Domain d;
    capture([&] { EXPECT_EQ(DOM_decode(c.spec, &d), 1) << c.spec << ": the text itself decodes"; });
  }
  /* A typed answer that can draw no map is asked again. */
  auto typed = run_child(
      [] {
        Place place;
        Domain d;
        return DOM_prompt_region(&d, 1) == 1 && d.clat == 40.0f ? 0 : 1;
      },
      "ps,40,-100,1,1,1,1\nps,40,-100,9,9,1,1\n");
  EXPECT_EQ(typed.status, 0) << typed.out << typed.err;
  EXPECT_EQ(typed.err.find("Invalid domain"), typed.err.rfind("Invalid domain")) << "once: " << typed.err;
  EXPECT_NE(typed.err.find("fewer than 2 grid points"), std::string::npos) << typed.err;

  auto r = run_child([] {
    Place place;
    RES_put("plot_domain", "ps,40,-100,25,17,1.2,1.2");
    Domain d;
    if (DOM_prompt_region(&d, 1) != 1 || d.clat != 40.0f) return 1;
    if (DOM_prompt_region(&d, 1) != 0) return 2; /* a resource serves one pass */
    DOM_set_prompt_region(1);
    RES_put("plot_domain", "");
    RES_put("region", "sw");
    if (DOM_prompt_region(&d, 0) != 2 || d.clat != 37.0f) return 3;
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  r = run_child([] {
    Place place;
    FLAG_set_batch(1);
    Domain d;
    return DOM_prompt_region(&d, 1) == 2 && d.clat == 39.0f ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0) << "batch: the first region of the menu";
  r = run_child([] {
    Place place;
    write_file(place.dir.file("kez.reg"), "bad Bad 1 40\n");
    FLAG_set_batch(1);
    Domain d;
    DOM_prompt_region(&d, 1);
    return 5;
  });
  EXPECT_EQ(r.status, 43) << "an invalid batch region";
  EXPECT_NE(r.err.find("Invalid domain"), std::string::npos);
}

TEST(RegionPrompt, DomainsFromResourcesWithoutPrompting) {
  auto r = run_child([] {
    Place place;
    Domain d;
    if (DOM_get_region(&d, 0) != 0) return 1;
    if (DOM_get_region(&d, 4) != 2 || d.clat != 39.0f) return 2;
    RES_put("plot_domain", "10,20");
    RES_put("region", "mw");
    if (DOM_get_region(&d, 1) != 1 || d.clat != 10.0f) return 3;
    if (DOM_get_region(&d, 2) != 2 || d.clat != 43.0f) return 4;
    if (DOM_get_grid_domain(&d) != 2 || d.clat != 43.0f) return 5;
    RES_put("grid_domain", "30,40");
    if (DOM_get_grid_domain(&d) != 1 || d.clat != 30.0f) return 6;
    return 0;
  });
  EXPECT_EQ(r.status, 0);
}

} // namespace
