/* The upper-air printers and the prompt layer: golden text, and prompts
 * driven through standard input in child processes. */
#include "kez_test.h"
#include "kezupa.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

constexpr float M = KEZ_FMISS;

std::unique_ptr<UPA_report> report() {
  auto r = std::make_unique<UPA_report>();
  UPA_initialize(r.get());
  std::snprintf(r->id, sizeof r->id, "DNR");
  r->lat = 39.77f;
  r->lon = -104.87f;
  r->man[0] = {840, 1611, 10, 5, 180, 10};
  r->man[3] = {850, 1500, 12.5f, 8, 210, 16};
  r->man[22] = {250, M, -55.1f, M, 300, 45};
  r->numsig = 5;
  for (int i = 0; i < 5; ++i) r->sig[i] = {840.0f - 100 * i, 10.0f - 5 * i, 5.0f - 5 * i};
  r->numwnd = -9999;
  return r;
}

TEST(UpaPrint, ReportBlocks) {
  auto r = report();
  EXPECT_EQ(kez_test::capture([&] { UPA_print_man(M_print, r.get()); }).out,
            "STA:   DNR WMO: -9999 LAT:   39.77 LON: -104.87\n"
            "     Press    Height   Temp    Dewpt     Dir    Spd\n"
            "SFC   840.0     1611     10.0     5.0     180     10\n"
            "      850.0     1500     12.5     8.0     210     16\n"
            "TROP  250.0    -9999    -55.1 -9999.0     300     45\n");
  /* Five levels: rows (0, 3), (1, 4), then 2 alone. */
  EXPECT_EQ(kez_test::capture([&] { UPA_print_sig(M_print, r.get()); }).out,
            "STA:   DNR WMO: -9999 LAT:   39.77 LON: -104.87\n"
            "Press    Temp    Dewpt     Press    Temp    Dewpt\n"
            " 840.0     10.0     5.0     540.0     -5.0   -10.0\n"
            " 740.0      5.0     0.0     440.0    -10.0   -15.0\n"
            " 640.0      0.0    -5.0\n");
  /* A negative count prints no rows. */
  EXPECT_EQ(kez_test::capture([&] { UPA_print_wnd(M_print, r.get()); }).out,
            "STA:   DNR WMO: -9999 LAT:   39.77 LON: -104.87\n"
            "Height    Dir    Spd     Height    Dir    Spd\n\n");
  r->wmo = 72469;
  r->elev = 1611;
  UPA_set_datim("12Z  5 JAN 24");
  EXPECT_EQ(kez_test::capture([&] { UPA_print_locate(M_print, r.get()); }).out,
            "Date:12Z  5 JAN 24\nStation: DNR\nWMO ident:  72469\nLatitude:   39.77\nLongitude: -104.87\n"
            "Elevation: 1611.00\n");
  r->numsig = 0;
  r->numwnd = 1;
  r->wnd[0] = {0, 180, 10};
  EXPECT_EQ(kez_test::capture([&] { UPA_print_report(M_print, r.get()); }).out,
            "     Press    Height   Temp    Dewpt     Dir    Spd\n"
            "SFC   840.0     1611     10.0     5.0     180     10\n"
            "      850.0     1500     12.5     8.0     210     16\n"
            "TROP  250.0    -9999    -55.1 -9999.0     300     45\n"
            "Press    Temp    Dewpt     Press    Temp    Dewpt\n"
            "Height    Dir    Spd     Height    Dir    Spd\n"
            "     0     180     10\n\n");
}

const std::string level_head =
    "-------------------------------------------------------------------------------\n"
    "LEV PRES  HGHT  TEMP  DEWP  RH  DD   WETB DIR SPD THETA THE-V THE-W THE-E   W\n"
    "     mb     m     C     C    %   C     C  deg knt   K     K     K     K    g/kg\n"
    "-------------------------------------------------------------------------------\n";

TEST(UpaPrint, LevelRowsWithAndWithoutTheSecondLevel) {
  const UPA_level a{850, 1500, 12.5f, 8, 210, 16}, b{7.5f, M, -40, M, M, M}, c{450, M, -20, M, M, M},
      d{10, 100, 0, M, M, M};
  const std::string both = kez_test::capture([&] {
                             UPA_print_level(M_out1, M_out2, 0, nullptr);
                             UPA_print_level(M_out1, M_out2, -1, &a);
                             UPA_print_level(M_out1, M_out2, 3, &b);
                             UPA_print_level(M_out1, M_out2, -1, &c);
                             UPA_print_level(M_out1, M_out2, -5, &d);
                           }).out;
  EXPECT_EQ(both, level_head +
                      "SFC  850  1500  12.5   8.0  74  4.5   9.9 210  16 299.2 300.7 289.5 322.6  7.94\n"
                      "  3  7.5       -40.0                              944.9                        \n"
                      " -1  450       -20.0                              318.1                        \n"
                      "LCL   10   100   0.0                              1019.5                        \n");
  /* With the second level off only the short table remains. */
  const std::string short_table = kez_test::capture([&] {
                                    UPA_print_level(M_out1, M_out3, 0, nullptr);
                                    UPA_print_level(M_out1, M_out3, 3, &b);
                                    UPA_print_level(M_out1, M_out3, -1, &a);
                                  }).out;
  EXPECT_EQ(short_table,
            "---------------------------------------\n"
            "LEV PRES  HGHT  TEMP  DEWP  RH DIR SPD\n"
            "     mb     m     C     C    % deg knt\n"
            "---------------------------------------\n"
            "  3  7.5       -40.0                   \n"
            "SFC  850  1500  12.5   8.0  74 210  16 \n");
  /* Dashes for missing values (the setting stays: a child of its own). */
  const auto dashed = kez_test::run_child([&] {
    UPA_set_miss_dash();
    UPA_print_level(M_out1, M_out2, -1, &b);
    UPA_print_level(M_out1, M_out3, -1, &b);
    return 0;
  });
  EXPECT_EQ(dashed.out,
            " -1  7.5     - -40.0     -   -    -     -   -   - 944.9     -     -     -     -\n"
            " -1  7.5     - -40.0     -   -   -   - \n");
}

TEST(UpaPrint, WindTable) {
  const WIND storm{240, 20};
  const UPA_level w{850, 1500, 12, 8, 270, 20}, calm{700, M, M, M, M, M};
  EXPECT_EQ(kez_test::capture([&] {
              UPA_print_wind(M_out1, M_out2, 0, nullptr, &storm);
              UPA_print_wind(M_out1, M_out2, 1, &w, &storm);
              UPA_print_wind(M_out1, M_out2, 2, &calm, &storm);
            }).out,
            "\nWind level data\n"
            "   Storm motion: 240 at  20 knt\n"
            "----------------------------------------------------------\n"
            "                   TRUE/GROUND REL   |     STORM REL\n"
            " LEV   P    H    DIR SPD   U     V   | DIR SPD   U     V\n"
            "       mb   m        knt     m/s     |     knt     m/s\n"
            "----------------------------------------------------------\n"
            "  1   850  1500  270  20  10.3   0.0 | 345  10   1.4  -5.1 \n"
            "  2   700                           \n");
  EXPECT_EQ(kez_test::capture([&] {
              UPA_print_wind(M_out1, M_out2, 0, nullptr, nullptr);
              UPA_print_wind(M_out1, M_out2, 1, &w, nullptr);
            }).out,
            "\nWind level data\n"
            "------------------------------------\n"
            "                   TRUE/GROUND REL   \n"
            " LEV   P    H    DIR SPD   U     V   \n"
            "       mb   m        knt     m/s     \n"
            "------------------------------------\n"
            "  1   850  1500  270  20  10.3   0.0\n");
}

/* ---- prompts ------------------------------------------------------------------------------ */

/* A type-5 file of n stations S00, S01, ... with WMO numbers 70000 + i. */
std::string station_file(const kez_test::TempDir& dir, int n) {
  const std::string path = dir.file("stations.upa");
  int type = UPA_FT_OPEN_LOC;
  const int fd = UPA_open(path.c_str(), UPA_ACC_WRITE, &type);
  UPA_info info{};
  std::snprintf(info.datim, sizeof info.datim, "12Z  5 JAN 24");
  UPA_putinfo(fd, &info);
  auto r = std::make_unique<UPA_report>();
  int num = 0;
  for (int i = 0; i < n; ++i) {
    UPA_initialize(r.get());
    std::snprintf(r->id, sizeof r->id, i == 7 ? "ABCD" : "S%02d", i);
    r->wmo = 70000 + i;
    r->man[1] = {1000, 100, 20, 10, 180, 10};
    UPA_write(fd, r.get(), UPA_REP_FULL, &num);
  }
  UPA_close(fd);
  return path;
}

TEST(UpaPrompt, ListsAndFindsStations) {
  kez_test::TempDir dir;
  const std::string path = station_file(dir, 31);
  ASSERT_EQ(UPA_open_file(path.c_str()), 1);
  EXPECT_STREQ(UPA_get_datim(), "12Z  5 JAN 24");
  const std::string list = kez_test::capture([] { UPA_list_stations(); }).out;
  EXPECT_EQ(list.substr(0, 18), "Possible stations\n");
  size_t lines = 0;
  for (char c : list) lines += c == '\n';
  EXPECT_EQ(lines, 1u + 3u + 1u) << list;
  EXPECT_NE(list.find(" S30 \n\n"), std::string::npos) << list;
  auto r = std::make_unique<UPA_report>();
  EXPECT_EQ(UPA_get_station("70012", r.get()), 1);
  EXPECT_STREQ(r->id, "S12");
  EXPECT_EQ(UPA_get_station("abcd", r.get()), 1);
  EXPECT_STREQ(r->id, "ABCD");
  EXPECT_EQ(r->wmo, 70007);
  const auto missing = kez_test::capture([&] { EXPECT_EQ(UPA_get_station("XYZ", r.get()), 0); });
  EXPECT_NE((missing.out + missing.err).find("UPA_get_station: No such station:XYZ"), std::string::npos);
  UPA_rewind_file();
  ASSERT_EQ(UPA_read_station(r.get()), 0);
  EXPECT_STREQ(r->id, "S00");
  ASSERT_EQ(UPA_read_station(r.get()), 0);
  EXPECT_STREQ(r->id, "S01");
  UPA_close_file();
  const auto failed = kez_test::capture([] { EXPECT_EQ(UPA_open_file("/nonexistent"), 0); });
  EXPECT_EQ(failed.out + failed.err, "UPA_open_file: Unable to open file:/nonexistent\n");
}

TEST(UpaPrompt, StationPromptAnswers) {
  kez_test::TempDir dir;
  const std::string path = station_file(dir, 20);
  struct Case {
    std::string input;
    int status;
    const char* id;
  };
  const Case cases[] = {
      {"s05\n", 0, "S05"},                /* three letters: upper case */
      {"abcd\n", 0, "ABCD"},              /* four, lower case: as typed, found */
      {"70011\n", 0, "S11"},              /* digits: a WMO number */
      {"nope\nxx\nS99\nS03\n", 0, "S03"}, /* the fourth attempt */
      {"nope\nxx\nS99\nS98\n", 31, ""},   /* four failures */
      {"nope\nexit\n", 0, ""},            /* exit ends the program */
  };
  for (const Case& c : cases) {
    const auto res = kez_test::run_child(
        [&] {
          UPA_open_file(path.c_str());
          auto r = std::make_unique<UPA_report>();
          UPA_initialize(r.get());
          if (UPA_prompt_station(r.get()) != 1) return 2;
          std::printf("found %s\n", r->id);
          /* A second prompt is off until turned on again. */
          return UPA_prompt_station(r.get()) == 0 ? 0 : 3;
        },
        c.input);
    EXPECT_EQ(res.status, c.status) << c.input << res.out;
    if (*c.id) {
      EXPECT_NE(res.out.find(std::string("found ") + c.id), std::string::npos) << c.input << res.out;
    }
  }
  /* A given identifier gets one search; "list" lists and ends. */
  const auto given = kez_test::run_child([&] {
    RES_put("identifier", "QQQ");
    UPA_open_file(path.c_str());
    auto r = std::make_unique<UPA_report>();
    UPA_prompt_station(r.get());
    return 5;
  });
  EXPECT_EQ(given.status, 31);
  EXPECT_NE((given.out + given.err).find("Unable to find a station"), std::string::npos);
  const auto list = kez_test::run_child([&] {
    RES_put("identifier", "list");
    UPA_open_file(path.c_str());
    auto r = std::make_unique<UPA_report>();
    UPA_prompt_station(r.get());
    return 5;
  });
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("Possible stations"), std::string::npos);
}

TEST(UpaPrompt, LevelFromBatchResourceAndMenuFile) {
  const auto batch = kez_test::run_child([] {
    FLAG_set_batch(1);
    if (UPA_prompt_level() != 1) return 2;
    if (FLAG_get(FLAG_LEVEL_VALUE) != 500 || FLAG_get(FLAG_LEVEL_TYPE) != 100) return 3;
    return UPA_prompt_level() == 0 ? 0 : 4;
  });
  EXPECT_EQ(batch.status, 0) << batch.out << batch.err;
  const auto given = kez_test::run_child([] {
    RES_put("level", "850");
    if (UPA_prompt_level() != 1) return 2;
    return FLAG_get(FLAG_LEVEL_VALUE) == 850 ? 0 : 3;
  });
  EXPECT_EQ(given.status, 0) << given.out << given.err;

  /* A text that names no level sets none (type 0 would be a layer). */
  const auto bad = kez_test::run_child([] {
    RES_put("level", "50x0");
    FLAG_set(FLAG_LEVEL_VALUE, 700);
    FLAG_set(FLAG_LEVEL_TYPE, 100);
    if (UPA_prompt_level() != 0) return 2;
    return FLAG_get(FLAG_LEVEL_VALUE) == 700 && FLAG_get(FLAG_LEVEL_TYPE) == 100 ? 0 : 3;
  });
  EXPECT_EQ(bad.status, 0) << bad.out << bad.err;
  const auto typo = kez_test::run_child(
      [] {
        UPA_set_prompt_level(1);
        if (UPA_prompt_level() != 1) return 2;
        return FLAG_get(FLAG_LEVEL_VALUE) == 850 && FLAG_get(FLAG_LEVEL_TYPE) == 100 ? 0 : 3;
      },
      "50x0\n850\n");
  EXPECT_EQ(typo.status, 0) << typo.out << typo.err;
  EXPECT_NE(typo.out.find("Enter the level: "), typo.out.rfind("Enter the level: ")) << "asked again";

  /* The menu file: conditions on the model and forecast time, 50 rows. */
  kez_test::TempDir dir;
  std::string rows =
      "sfc Surface_level 1\nhid Hidden 0\neta Eta_only mo=eta\ngfs Gfs_f12 mo=gfs&ft=12\n"
      "alt Either mo=xx,ft=12\n";
  for (int i = 0; i < 50; ++i) rows += "l" + std::to_string(i) + " Row_" + std::to_string(i) + " 1\n";
  const auto menu = kez_test::run_child(
      [&] {
        char prog[FILE_PATH_LEN];
        RES_get_progname(prog);
        kez_test::write_file(dir.file(std::string(prog) + ".lev"), rows);
        RES_put("file_path", dir.path().c_str());
        VAR_set_model_str("gfs");
        VAR_set_time_str("12");
        UPA_set_prompt_level(1);
        for (int i = 0; i < 100; ++i) UPA_read_level_menu();
        return UPA_prompt_level() == 0 ? 0 : 2;
      },
      "0\n");
  /* The menu shows the kept rows; answering 0 goes back. */
  EXPECT_EQ(menu.status, 0) << menu.out;
  EXPECT_NE(menu.out.find("Surface level"), std::string::npos) << menu.out;
  EXPECT_EQ(menu.out.find("Hidden"), std::string::npos);
  EXPECT_EQ(menu.out.find("Eta only"), std::string::npos);
  EXPECT_NE(menu.out.find("Gfs f12"), std::string::npos);
  EXPECT_NE(menu.out.find("Either"), std::string::npos);
  EXPECT_NE(menu.out.find("38: Row 34"), std::string::npos) << menu.out; /* rows 1 to 38 */
  EXPECT_EQ(menu.out.find("Row 35"), std::string::npos) << menu.out;
}

} // namespace

namespace {

TEST(UpaPrompt, InFileSelectsUpperAirInput) {
  const auto res = kez_test::run_child([] {
    FLAG_set(FLAG_INPUT_KIND, 10);
    RES_put("in_file", "upa");
    UPA_in_file();
    return FLAG_get(FLAG_INPUT_KIND) == 20 ? 0 : 2;
  });
  EXPECT_EQ(res.status, 0) << res.out << res.err;
}

} // namespace
