#include "kez.h"
#include "kez_test.h"
#include "kezcty.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using kez_test::TempDir;
using kez_test::write_file;

const std::string fixture_dir = std::string(KEZ_SOURCE_DIR) + "/tests/geo/data";

struct Resources {
  Resources() { RES_put("file_path", fixture_dir.c_str()); }
  ~Resources() {
    CTY_clear();
    CTY_data_size(0);
    CTY_enter_func(nullptr);
    CTY_set_id_type(CTY_ID_IDENT);
    for (const char* name : {"file_path", "city_file", "identifier", "stat_prior"}) RES_put(name, "");
  }
};

std::vector<CTY_data> fixture_records() {
  Resources res;
  std::vector<CTY_data> all;
  int num = 0;
  int fd = CTY_open_file("sao.cty", &num);
  CTY_data c;
  while (CTY_read(fd, &c) == 10) all.push_back(c);
  CTY_close(fd);
  return all;
}

/* The identifiers of the fixture stations that a filter list passes. */
std::string passing(const char* filter) {
  int argc = 0;
  char** argv = nullptr;
  parse_string(filter, ',', &argc, &argv);
  std::string ids;
  for (const CTY_data& c : fixture_records()) {
    if (CTY_data_cmp(argc, argv, &c) < 0) continue;
    if (!ids.empty()) ids += " ";
    ids += c.id;
  }
  free_parsed_array(argc, argv);
  return ids;
}

TEST(StationFilter, TermsSelectStations) {
  struct Case {
    const char* filter;
    const char* ids;
    const char* why;
  };
  const Case cases[] = {
      {"ST=CO", "DEN DNR COS PUB 7-", "state"},
      {"st=co", "DEN DNR COS PUB 7-", "keywords and texts without regard to case"},
      {"ST:CO_US", "DEN DNR COS PUB 7-", "separated state and country"},
      {"ST=CO_US", "DEN DNR COS PUB 7-", "state and country"},
      {"ST:ON", "YYZ", "separated state"},
      {"CN=US:P<3", "DEN DNR COS CYS", "all terms must match"},
      {"CN:CA", "YYZ", "separated country"},
      {"RA<39.75:-104.87:100", "DEN DNR", "within 100 km of Denver"},
      {"RA<39.75:-104.87:110", "DEN DNR COS", "Colorado Springs is 104 km away"},
      {"Name=Den", "DEN DNR DTO", "beginning of the name"},
      {"DEN,72565", "DEN DNR", "an identifier and a WMO number"},
      {"Denver", "DEN DNR", "a bare beginning of a name longer than four"},
      {"Dent", "", "four characters are not a name"},
      {"ST=CO:DEN", "", "a bare identifier is no term"},
      {"ID=cys", "CYS", "identifier term"},
      {"P>6", "DTO 7-", "priority at least"},
      {"P=3", "DNR COS CYS", "priority equals"},
      {"Lat>41:Lon<-100", "CYS", "latitude and longitude"},
      {"Elev<100", "EBBR", "a missing elevation passes no elevation term"},
      {"Elev>1800", "COS CYS", "elevation at least"},
      {"WMO=06451", "EBBR", "WMO number in five digits"},
      {"WMO<72000", "YYZ EBBR", "WMO at most, not the stations without a number"},
      {"ST", "", "separated state without its term"},
      {"RA<39.75:-104.87", "", "range without its radius"},
      {"P<x", "", "a limit that is no number"},
      {"Zap=1", "", "no such keyword"},
  };
  for (const Case& c : cases) EXPECT_EQ(passing(c.filter), c.ids) << c.filter << ": " << c.why;
}

TEST(StationFilter, ResultIsTheFirstMatchingItem) {
  std::vector<CTY_data> all = fixture_records();
  ASSERT_FALSE(all.empty());
  char a[] = "ST=WY", b[] = "CN=US", c[] = "DEN";
  char* ids[] = {a, b, c};
  EXPECT_EQ(CTY_data_cmp(3, ids, &all[0]), 1);
  EXPECT_EQ(CTY_data_cmp(1, ids, &all[0]), -1);
  EXPECT_EQ(CTY_data_cmp(0, nullptr, &all[0]), 1) << "an empty list passes all";
}

TEST(StationFilter, BareIdentifierTest) {
  struct Case {
    const char* list;
    const char* id;
    int want;
  };
  const Case cases[] = {
      {"DEN,COS", "cos", 1},  {"DEN,COS", "PUB", 0}, {"st:CO", "PUB", 1},   {"Name=X", "PUB", 1},
      {"RA<1:2:3", "PUB", 1}, {"STX", "PUB", 0},     {"P<3,DEN", "ABC", 1}, {"DENVER", "DEN", 0},
  };
  for (const Case& c : cases) {
    int argc = 0;
    char** argv = nullptr;
    parse_string(c.list, ',', &argc, &argv);
    EXPECT_EQ(CTY_ids_cmp(argc, argv, c.id), c.want) << c.list << " " << c.id;
    free_parsed_array(argc, argv);
  }
  EXPECT_EQ(CTY_ids_cmp(0, nullptr, "X"), 1);
  EXPECT_EQ(CTY_id_cmp("DEN", "den"), 1);
  EXPECT_EQ(CTY_id_cmp("DEN", "COS"), 0);
}

Domain colorado() {
  Domain d;
  DOM_init(&d);
  d.proj = 1;
  d.clat = 39.0f;
  d.clon = -105.0f;
  d.nx = 25;
  d.ny = 17;
  d.dx = d.dy = 0.5f;
  return d;
}

std::string stored_ids() {
  std::string ids;
  TAB_table* tab = CTY_get_table();
  TAB_first(tab);
  while (char* rec = TAB_next(tab)) {
    CTY_locate loc;
    std::memcpy(&loc, rec, sizeof loc);
    if (!ids.empty()) ids += " ";
    ids += loc.id;
  }
  return ids;
}

TEST(StationTable, StoresStationsInsideTheDomainByPriorityAndFilter) {
  Resources res;
  Domain d = colorado();
  EXPECT_GT(CTY_store("sao.cty", CTY_TABLE_POS, &d, 9), 0);
  EXPECT_EQ(stored_ids(), "DEN DNR COS PUB CYS 72476") << "Texas, Canada, Belgium outside; the "
                                                          "unnamed station by its WMO key";
  EXPECT_GT(CTY_store("sao.cty", CTY_TABLE_POS, &d, 3), 0);
  EXPECT_EQ(stored_ids(), "DEN DNR COS CYS");
  RES_put("identifier", "ST=CO");
  RES_put("stat_prior", "4");
  EXPECT_GT(CTY_store("sao.cty", CTY_TABLE_POS, &d, KEZ_MISS), 0);
  EXPECT_EQ(stored_ids(), "DEN DNR COS PUB") << "the priority limit from \"stat_prior\"";
  RES_put("identifier", "all");
  EXPECT_GT(CTY_store("sao.cty", CTY_TABLE_POS, &d, KEZ_MISS), 0);
  EXPECT_EQ(stored_ids(), "DEN DNR COS PUB CYS");
  RES_put("city_file", "none");
  EXPECT_EQ(CTY_store("sao.cty", CTY_TABLE_POS, &d, 9), 0);
  EXPECT_EQ(stored_ids(), "") << "no database, no table";
  CTY_locate loc;
  EXPECT_EQ(CTY_search("DEN", &loc), 0);
}

TEST(StationTable, IdentifierKindsNamePositionEntries) {
  Resources res;
  Domain world;
  DOM_init(&world);
  world.proj = 2;
  world.clat = 0;
  world.clon = 0;
  world.nx = 73;
  world.ny = 37;
  world.dx = world.dy = 5.0f;
  struct Case {
    int type;
    const char* ids;
  };
  char made[WMO_ID_LEN];
  wmo_to_id(made, 72476);
  const Case cases[] = {
      {CTY_ID_IDENT, "DEN DNR COS PUB CYS DTO YYZ 72476 EBBR"},
      {CTY_ID_WMO, "72469 72565 72466 72464 72564 DTO 71624 72476 b06451"},
  };
  for (const Case& c : cases) {
    CTY_set_id_type(c.type);
    CTY_store("sao.cty", CTY_TABLE_POS, &world, 9);
    EXPECT_EQ(stored_ids(), c.ids) << c.type;
  }
  CTY_set_id_type(CTY_ID_COD_WMO);
  CTY_store("sao.cty", CTY_TABLE_POS, &world, 9);
  EXPECT_EQ(stored_ids(), std::string("DEN DNR COS PUB CYS DTO YYZ ") + made + " EBBR");
}

TEST(StationTable, SearchKeysFollowTheFormOfTheName) {
  Resources res;
  Domain world;
  DOM_init(&world);
  world.proj = 2;
  world.clat = 0;
  world.clon = 0;
  world.nx = 73;
  world.ny = 37;
  world.dx = world.dy = 5.0f;
  CTY_store("sao.cty", CTY_TABLE_FULL, &world, 9);
  struct Case {
    const char* key;
    const char* id;
  };
  /* Denton has no WMO number: a report "99999" is no report of Denton's. */
  const Case cases[] = {
      {"DEN", "DEN"},   {"72469", "DEN"},   {"b06451", "EBBR"}, {"06451", nullptr},
      {"den", nullptr}, {"72999", nullptr}, {"99999", nullptr}, {"DTO", "DTO"},
  };
  for (const Case& c : cases) {
    CTY_data d;
    CTY_data_init(&d);
    EXPECT_EQ(CTY_search(c.key, &d), c.id ? 1 : 0) << c.key;
    if (c.id) {
      EXPECT_STREQ(d.id, c.id) << c.key;
    }
  }
  /* A letter, any character and three digits stand for a WMO number. */
  char id[WMO_ID_LEN];
  wmo_to_id(id, 72469);
  CTY_data d;
  if (std::strcmp(id, "72469") != 0) {
    EXPECT_EQ(CTY_search(id, &d), 1) << id;
    EXPECT_STREQ(d.id, "DEN");
  }
  EXPECT_EQ(CTY_make_entry_simple("ZZZ", "12345"), 0);
  EXPECT_EQ(CTY_search("12345", &d), 1);
  EXPECT_STREQ(d.id, "ZZZ");
}

TEST(StationTable, NearestStationOnTheSphere) {
  Resources res;
  TempDir dir;
  RES_put("file_path", dir.path().c_str());
  Domain world;
  DOM_init(&world);
  world.proj = 2;
  world.clat = 0;
  world.clon = 0;
  world.nx = 73;
  world.ny = 37;
  world.dx = world.dy = 5.0f;
  struct Case {
    const char* stations;
    float lat, lon;
    const char* want; /* nullptr: none */
    const char* why;
  };
  const Case cases[] = {
      {"Denver CO US DEN *2* 39.75 -104.87 1611 72469 0\n", 39.9f, -104.9f, "DEN",
       "one tenth of a degree south, ring 1"},
      {"A -- NO AAA 3 70.0 10.2 0 1 0\nB -- NO BBB 3 70.1 10.0 0 2 0\n", 70.0f, 10.0f, "AAA",
       "two cells east is nearer than one cell north at 70N"},
      {"C -- NO CCC 3 69.9 9.9 0 3 0\n", 70.0f, 10.0f, "CCC", "the south-west corner cell"},
      {"D -- NO DDD 3 70.02 10.04 0 4 0\nE -- NO EEE 3 70.0 10.01 0 5 0\n", 70.0f, 10.0f, "EEE",
       "two stations in one cell"},
      {"F -- FJ FFF 3 -17.0 179.95 0 6 0\n", -17.0f, -179.95f, "FFF", "across the date line"},
      {"G -- XX GGG 3 10.0 10.0 0 7 0\n", 15.5f, 10.0f, nullptr, "beyond 4.9 degrees"},
      {"H -- XX HHH 3 -0.03 -0.04 0 8 0\n", 0.0f, 0.0f, "HHH", "the cell at zero, from below"},
  };
  for (const Case& c : cases) {
    write_file(dir.file("near.cty"), c.stations);
    CTY_store("near.cty", CTY_TABLE_POS_LOC, &world, 9);
    CTY_locate loc;
    int found = CTY_search_loc(c.lat, c.lon, &loc);
    EXPECT_EQ(found, c.want ? 1 : 0) << c.why;
    if (c.want && found) {
      EXPECT_STREQ(loc.id, c.want) << c.why;
    }
  }
  CTY_store("near.cty", CTY_TABLE_POS, &world, 9);
  CTY_locate loc;
  EXPECT_EQ(CTY_search_loc(10.0f, 10.0f, &loc), 0) << "kind 2 keeps no location key";
}

TEST(StationTable, LocationKeyOfTheDenverLine) {
  Resources res;
  Domain d = colorado();
  CTY_store("sao.cty", CTY_TABLE_POS_LOC, &d, 2);
  EXPECT_NE(TAB_search(CTY_get_table(), 3, "  398 -1049"), nullptr);
  EXPECT_NE(TAB_search(CTY_get_table(), 2, "72469"), nullptr);
}

int fill_block(const CTY_data* city, void* block) {
  std::snprintf(static_cast<char*>(block), 120, "plotted %s", city->id);
  return 0;
}

TEST(StationTable, UserDataBlocksAreKeptEmptiedAndFreed) {
  Resources res;
  Domain d = colorado();
  CTY_data_size(120);
  CTY_enter_func(fill_block);
  for (int kind : {CTY_TABLE_FULL, CTY_TABLE_POS_LOC}) {
    /* The second store replaces the first, blocks and all (a leak check
     * run sees the difference). */
    CTY_store("sao.cty", kind, &d, 9);
    char* block = static_cast<char*>(CTY_get_data("DEN"));
    ASSERT_NE(block, nullptr) << kind;
    EXPECT_STREQ(block, "plotted DEN");
    EXPECT_EQ(CTY_get_data("72565"), CTY_get_data("DNR")) << "a WMO key finds the same block";
    EXPECT_EQ(CTY_get_data("NOPE"), nullptr);
    int count = 0;
    for (void* b = CTY_next_data(0); b; b = CTY_next_data(1)) ++count;
    EXPECT_EQ(count, 6) << kind;
    EXPECT_EQ(CTY_clear_data(1), 0);
    EXPECT_EQ(static_cast<char*>(CTY_get_data("DEN")), block) << "kept for reuse";
    EXPECT_STREQ(block, "");
  }
  EXPECT_EQ(CTY_clear_data(0), 0);
  EXPECT_EQ(CTY_get_data("DEN"), nullptr) << "freed";
  EXPECT_EQ(CTY_clear(), 0);
  EXPECT_EQ(CTY_next_data(0), nullptr);
}

TEST(StationTable, InvalidKindBuildsNothing) {
  Resources res;
  Domain d = colorado();
  EXPECT_EQ(CTY_store("sao.cty", 7, &d, 9), 0);
  CTY_data c;
  EXPECT_EQ(CTY_search("DEN", &c), 0);
  EXPECT_EQ(CTY_search(nullptr, &c), 0);
}

TEST(StationTable, PriorityResourceGivesTheDefaultLimit) {
  Resources res;
  EXPECT_EQ(CTY_get_prior(), 10);
  RES_put("stat_prior", "5");
  EXPECT_EQ(CTY_get_prior(), 5);
  RES_put("stat_prior", "junk");
  EXPECT_EQ(CTY_get_prior(), 10);
}

} // namespace
