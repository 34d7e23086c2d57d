/*
 * The surface plotting program run as a user runs it: its help, the batch
 * and settings-driven runs, the answers at its menus, its exit statuses,
 * the input kinds; and on a real window (Xvfb) the animation frames, the
 * re-run on a redraw key, the value read-out, the grid-save key and the
 * timed refresh. Each run gets a folder of its own with a few stations in
 * hourly files and a small variable menu.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kez_test.h"
#include "x_server.h"

namespace {

using kez_test::read_file;
using kez_test::TempDir;
using kez_test::wait_until;
using kez_test::write_file;

const std::string kProgram = std::string(KEZ_BINARY_DIR) + "/programs/sfcplot";

/* The menu: plain values, another value, and an analysed field. */
constexpr const char* kMenu =
    "tmp Temperature 1 temp\n"
    "dew Dew_point 1 dewp\n"
    "tan Temperature_analysis 1 temp:sfc:ln\n"
    "grp Temperature_and_dew_point 1 tdpair{+temp:F:value:ul,+dewp:F:value:ll}\n"
    "gan Pair_over_the_temperature_analysis 1 temp:sfc:ln,grp\n";

constexpr const char* kNameConv =
    "sfc_cvt       %D/%y%m%d%h_sao.wmo      -    10\n"
    "sfc_grd_kez   %G/%y%m%d%h_sfc.grd      -    0\n"
    "sfc_grd       %G/%y%m%d%h_sfc.grd      -    0\n"
    "sfc_raw       %R/%y%m%d%h_%v.raw       -    0\n"
    "frt_dat       %D/%y%m%d%3h_frt.dat     -    200\n"
    "frf_dat       %D/%y%m%d%12h_frf.dat    -    200\n"
    "other         %D/%y%m%d%h_oth.dat      -    0\n"
    "my_sfc        %D/%y%m%d%h_my.wmo       -    0\n";

/* Kansas City in the middle of the test region, four more stations around
 * it, one of them not in the station table but reporting its position. */
std::string hour_file(int hour, int warming) {
  char head[64];
  std::snprintf(head, sizeof head, "KEZSFC\n%02dZ 10 DEC 26\n", hour);
  std::string text = head;
  const char* lines[] = {"MCI %d 300 2710 992 150 10 30S,80B -", "ORD %d 250 3315 995 160 7 -99M RA",
                         "MSP %d 100 3620 998 170 5 20O SN", "STL %d 400 2005 990 140 10 -99M -",
                         "XUNL %d 320 2510 993 155 10 -99M - L415,-960"};
  int t = 450 + 10 * warming;
  for (const char* l : lines) {
    char buf[128];
    std::snprintf(buf, sizeof buf, l, t);
    text += std::string(buf) + " $\n";
    t -= 60;
  }
  return text;
}

std::string hour_name(int hour) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "261210%02d_sao.wmo", hour);
  return buf;
}

/* A run folder: "d" holds the bundled tables with this menu and naming
 * file, the folder itself the observations. */
struct Folder {
  TempDir dir;
  Folder() {
    kez_test::run_command("mkdir -p " + dir.file("d") + " && for f in " + KEZ_DATA_DIR + "/*; do ln -s \"$f\" " +
                          dir.file("d") + "/; done && rm -f " + dir.file("d/name_conv") + " " +
                          dir.file("d/sfcplot.var"));
    write_file(dir.file("d/name_conv"), kNameConv);
    write_file(dir.file("d/sfcplot.var"), kMenu);
    for (int h : {12, 13, 14}) add_hour(h);
  }
  void add_hour(int h) const { write_file(dir.file(hour_name(h)), hour_file(h, h - 12)); }
  std::string path(const std::string& name) const { return dir.file(name); }
};

struct Result {
  int status = -1;
  std::string out, err;
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

/* Runs the program in the folder with these arguments and this input. */
Result run(const Folder& f, const std::string& args, const std::string& input = "") {
  write_file(f.path("input"), input);
  Result r;
  r.status = kez_test::run_command("cd " + quoted(f.dir.path()) + " && " + kProgram + " -fp d -dp . " + args +
                                   " <input >out 2>err");
  r.out = read_file(f.path("out"));
  r.err = read_file(f.path("err"));
  return r;
}

std::string ps_body(const std::string& file) {
  std::string text = read_file(file), body;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    if (line.rfind("%%CreationDate", 0) != 0) body += line + "\n";
    at = end + 1;
  }
  return body;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool page_done(const std::string& file) { return read_file(file).find("%%EOF") != std::string::npos; }

TEST(Sfcplot, HelpPrintsThePurposeAndTheOptions) {
  Folder f;
  Result r = run(f, "-h");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("sfcplot: This program plots various types of surface data\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("-va"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("-pd"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Region Menu"), std::string::npos);
}

TEST(Sfcplot, SettingsMakeOnePlotWithoutMenus) {
  Folder f;
  Result r = run(f, "-pd mw -va tmp -de p,one.ps,ps " + hour_name(12));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("Menu"), std::string::npos) << r.out;
  EXPECT_EQ(count(r.out, "Date: 12Z 10 DEC 26"), 1u) << r.out;
  EXPECT_EQ(count(read_file(f.path("one.ps")), "showpage"), 1u);

  /* Batch mode without a list plots the first menu entry, once. */
  Result b = run(f, "-ba -pd mw -de p,first.ps,ps " + hour_name(12));
  ASSERT_EQ(b.status, 0) << b.err;
  ASSERT_TRUE(wait_until([&] { return page_done(f.path("first.ps")); })) << "the batch child writes the page";
  EXPECT_EQ(ps_body(f.path("first.ps")), ps_body(f.path("one.ps")));
  run(f, "-pd mw -va dew -de p,dew.ps,ps " + hour_name(12));
  EXPECT_NE(ps_body(f.path("dew.ps")), ps_body(f.path("one.ps"))) << "another variable draws another page";
}

/* A page has no animation frames: of several files only the last readable
 * one is drawn, rather than every file over the same page. */
TEST(Sfcplot, SeveralFilesOnAPageDrawTheLastReadableOne) {
  Folder f;
  write_file(f.path("junk.wmo"), "Z not a surface file\n");
  Result r = run(
      f, "-pd mw -va tmp -de p,three.ps,ps " + hour_name(12) + " " + hour_name(13) + " " + hour_name(14) + " junk.wmo");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("only the last readable one is drawn"), std::string::npos) << r.out;
  EXPECT_EQ(count(r.out, "Date: "), 1u) << r.out;
  run(f, "-pd mw -va tmp -de p,last.ps,ps " + hour_name(14));
  EXPECT_EQ(ps_body(f.path("three.ps")), ps_body(f.path("last.ps")));
}

TEST(Sfcplot, MenuAnswers) {
  Folder f;
  /* "main" goes back to the region menu, "exit" ends the program. */
  Result m = run(f, "-de p,m.ps,ps " + hour_name(12), "mw\nmain\nexit\n");
  EXPECT_EQ(m.status, 0) << m.err;
  EXPECT_EQ(count(m.out, "Region Menu"), 2u) << m.out;
  EXPECT_EQ(count(m.out, "Variable Menu"), 1u) << m.out;
  EXPECT_FALSE(kez_test::run_command("test -e " + f.path("m.ps")) == 0) << "nothing plotted";

  Result e = run(f, "-de p,e.ps,ps " + hour_name(12), "mw\nexit\n");
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(count(e.out, "Variable Menu"), 1u) << e.out;

  /* An empty region answer asks again; a list typed in full is plotted
   * as typed. */
  Result t = run(f, "-de p,typed.ps,ps " + hour_name(12), "\nmw\ntemp\nexit\n");
  EXPECT_EQ(t.status, 0) << t.err;
  EXPECT_EQ(count(t.out, "Enter the region: "), 2u) << t.out;
  EXPECT_EQ(count(t.out, "Date: 12Z"), 1u) << t.out;
  run(f, "-pd mw -va temp -de p,set.ps,ps " + hour_name(12));
  EXPECT_EQ(ps_body(f.path("typed.ps")), ps_body(f.path("set.ps")));
}

/* A list longer than the prompt hands back is refused, not cut; a long
 * list from the settings is taken whole. */
TEST(Sfcplot, LongVariableListsAreNeverCut) {
  Folder f;
  Result t = run(f, "-pd mw -de p,long.ps,ps " + hour_name(12), "temp,dewp,temp,dewp,temp\nexit\n");
  EXPECT_EQ(t.status, 0) << t.err;
  EXPECT_NE(t.err.find("SFC_prompt_variable: A typed list of 19 or more characters may have been cut"),
            std::string::npos)
      << t.err;
  EXPECT_EQ(t.out.find("Date:"), std::string::npos) << "nothing plotted";

  std::string list = "temp";
  while (list.size() < 120) list += ",dewp,temp";
  Result s = run(f, "-pd mw -va " + list + " -de p,set.ps,ps " + hour_name(12));
  EXPECT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(count(read_file(f.path("set.ps")), "showpage"), 1u);
}

TEST(Sfcplot, ExitStatuses) {
  Folder f;
  kez_test::run_command("mkdir -p " + f.path("empty"));
  Result missing = run(f, "-ba -pd mw -dp empty");
  EXPECT_EQ(missing.status, 10);
  EXPECT_NE(missing.err.find("File not found: "), std::string::npos) << missing.err;

  Result invalid = run(f, "-ba -pd xx::1,2 " + hour_name(12));
  EXPECT_EQ(invalid.status, 43);
  EXPECT_NE(invalid.err.find("Invalid domain"), std::string::npos) << invalid.err;

  /* A named file that is no surface file ends the run too. */
  write_file(f.path("junk.wmo"), "Z not a surface file\n");
  Result junk = run(f, "-pd mw -va tmp -de p,junk.ps,ps junk.wmo");
  EXPECT_EQ(junk.status, 10);
  EXPECT_NE(junk.err.find("SFC_open_file: Unable to open file:./junk.wmo"), std::string::npos) << junk.err;
}

/* A file the run cannot do without is named where it was looked for, and
 * the run ends with status 3 before it draws; what the run does not need
 * (stations with "city_file" none or for fronts, a font the font list does
 * not name first) is not asked for. */
TEST(Sfcplot, MissingDataFilesEndTheRunWithStatus3) {
  struct Case {
    const char* removed; /* from the data folder "d" */
    const char* font_list_file;
    const char* args;
    int status;
    const char* named; /* in the message, after the run folder */
  } cases[] = {
      {"name_conv", nullptr, "", 3, "/d/name_conv"},
      {"sfcplot.var", nullptr, "", 3, "/d/sfcplot.var"},
      {"sao.cty", nullptr, "", 3, "/d/sao.cty"},
      {"modern.fnt", nullptr, "", 3, "/d/modern.fnt"},
      {"", nullptr, "-fp nowhere", 3, "/nowhere"},
      {"sao.cty", nullptr, "-cf none", 0, nullptr},
      {"sao.cty", nullptr, "-inp front", 0, nullptr},
      {"modern.fnt", nullptr, "-fl simplex.fnt", 0, nullptr},
      {"modern.fnt", "simplex  simplex.fnt\nmodern  modern.fnt\n", "", 0, nullptr},
      {"simplex.fnt", "simplex  simplex.fnt\n", "", 3, "/d/simplex.fnt"},
  };
  for (const Case& c : cases) {
    Folder f;
    if (*c.removed) std::remove(f.path("d/" + std::string(c.removed)).c_str());
    if (c.font_list_file) {
      std::remove(f.path("d/kez.fnl").c_str());
      write_file(f.path("d/kez.fnl"), c.font_list_file);
    }
    Result r = run(f, std::string(c.args) + " -ba -pd mw -va tmp -de p,page.ps,ps " + hour_name(12));
    const std::string what = std::string(c.removed) + " " + c.args;
    EXPECT_EQ(r.status, c.status) << what << "\n" << r.err;
    if (c.named) {
      const std::string kind = *c.removed ? "Data file not found: " : "Data folder not found: ";
      EXPECT_NE(r.err.find(kind), std::string::npos) << what << "\n" << r.err;
      EXPECT_NE(r.err.find(std::string(c.named) + "\n"), std::string::npos) << what << "\n" << r.err;
      EXPECT_EQ(read_file(f.path("page.ps")), "") << what;
    } else {
      EXPECT_EQ(r.err.find("not found: "), std::string::npos) << what << "\n" << r.err;
    }
  }
}

/* A run with no usable file ends before its page opens: no page is left
 * that looks like a result, the status is 10 and the file is named. */
TEST(Sfcplot, NoUsableFileLeavesNoPage) {
  Folder f;
  write_file(f.path("empty_sao.wmo"), "");
  write_file(f.path("header_sao.wmo"), "KEZSFC\n12Z 10 DEC 26\n");
  const struct {
    const char* files;
    const char* message;
  } cases[] = {
      {"nosuch_sao.wmo", "SFC_open_file: Unable to open file:./nosuch_sao.wmo"},
      {"empty_sao.wmo", "SFC_open_file: Unable to open file:./empty_sao.wmo"},
      {"header_sao.wmo", "SFC_open_file: No report in file:./header_sao.wmo"},
      {"nosuch_sao.wmo header_sao.wmo", "SFC_plot: None of the 2 files holds surface reports"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files);
    for (const char* mode : {"", "-ba "}) {
      Result r = run(f, std::string(mode) + "-pd mw -va tmp -de p,none.ps,ps " + c.files);
      EXPECT_EQ(r.status, 10) << mode;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << mode << r.err;
      EXPECT_EQ(r.out.find("Created Postscript file"), std::string::npos) << mode << r.out;
      EXPECT_NE(kez_test::run_command("test -e " + f.path("none.ps")), 0) << mode << "no page";
    }
  }
}

/* A page that cannot be written ends the run with the graphics status 4,
 * naming the file and the reason (here a folder that is a plain file). */
TEST(Sfcplot, UnwritablePageEndsWithStatus4) {
  Folder f;
  write_file(f.path("plain"), "x\n");
  for (const char* mode : {"", "-ba "}) {
    Result r = run(f, std::string(mode) + "-pd mw -va tmp -de p,plain/page.ps,ps " + hour_name(12));
    EXPECT_EQ(r.status, 4) << mode;
    EXPECT_NE((r.out + r.err).find("plain/page.ps: Not a directory"), std::string::npos) << mode << r.out << r.err;
  }
}

/* A page that opens but cannot be written to the end (a full disk) is no
 * page either: every file device reports the file and the reason, says
 * nothing of having made it, and ends with status 4. A batch run's parent
 * has left by then (status 0, by design), so there the report is in the
 * message log and the status is the detached child's. */
TEST(Sfcplot, PageThatFailsOnTheWayEndsWithStatus4) {
  Folder f;
  const struct {
    const char* device;
    const char* kind;
  } cases[] = {{"p,/dev/full,ps", "Postscript"}, {"q,/dev/full", "HPGL"}, {"m,/dev/full", "meta"}};
  for (const auto& c : cases) {
    const std::string report = std::string("Unable to write ") + c.kind + " file /dev/full: No space left on device";
    Result r = run(f, std::string("-pd mw -va tmp -de ") + c.device + " " + hour_name(12));
    EXPECT_EQ(r.status, 4) << c.device << r.out << r.err;
    const std::string said = r.out + r.err;
    EXPECT_NE(said.find(report), std::string::npos) << c.device << said;
    EXPECT_EQ(said.find("Created"), std::string::npos) << c.device << said;

    /* The child holds descriptor 3 until it ends, so "cat" waits for it. */
    const std::string log = f.path("batch.log");
    kez_test::run_command("rm -f " + quoted(log) + " && cd " + quoted(f.dir.path()) + " && { " + kProgram +
                          " -fp d -dp . -ba -me " + quoted("mess,+fi=" + log) + " -pd mw -va tmp -de " + c.device +
                          " " + hour_name(12) + " 3>&1 >/dev/null 2>&1 </dev/null; } | cat >/dev/null");
    const std::string logged = read_file(log);
    EXPECT_NE(logged.find(report), std::string::npos) << c.device << logged;
  }
}

/* What can draw nothing is refused with a message and a status of its
 * own, before any page opens; a resource of the suite that the program
 * does not list is still taken. */
TEST(Sfcplot, CommandLinesThatDrawNothingAreRefused) {
  Folder f;
  const struct {
    const char* args;
    int status;
    const char* message;
  } cases[] = {
      {"-pd mw -va zzz", 2, "SFC_prompt_variable: Unknown variable: zzz"},
      {"-pd mw -va temp,zzz", 2, "SFC_prompt_variable: Unknown variable: zzz"},
      {"-ba -pd mw -va var", 2, "SFC_prompt_variable: Unknown variable: var"},
      {"-pd mw -va tmp -zz 3", 2, "RES_decode: Unknown option: -zz"},
      {"-pd mw -va tmp --bogus", 2, "RES_decode: Unknown option: -bogus"},
      {"-ba -pd var -va tmp", 2, "KEZ_prompt: Batch mode cannot ask: Enter the central latitude: "},
      {"-pd ps,999,-100,25,17,1.2,1.2 -va tmp", 43, "a latitude beyond a pole"},
      {"-pd lc:40:-95:33:45,999,-95,19,13,3.4,3.4 -va tmp", 43, "a latitude beyond a pole"},
      {"-pd ps,40,-100,0,0,1.2,1.2 -va tmp", 43, "fewer than 2 grid points"},
      {"-pd ps,40,-100,25,17,-1.2,1.2 -va tmp", 43, "a spacing that is not positive"},
      {"-pd size,40.9,-100 -va tmp", 43, "a size below 1"},
      {"-ba -pd ps,40,-100,0,0,1.2,1.2 -va tmp", 43, "Invalid domain"},
      {"-pd mw -va tmp -level 3", 0, ""},
      {"-pd ps,40,-100,25,17,1.2,1.2 -va tmp", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    kez_test::run_command("rm -f " + f.path("r.ps"));
    Result r = run(f, std::string(c.args) + " -de p,r.ps,ps " + hour_name(12), "tmp\nexit\n");
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    if (c.status != 0) {
      EXPECT_NE(kez_test::run_command("test -e " + f.path("r.ps")), 0) << "no page";
    } else {
      ASSERT_TRUE(wait_until([&] { return page_done(f.path("r.ps")); }));
    }
  }
  /* A name typed at the menu that the reports do not give is asked again. */
  Result t = run(f, "-pd mw -de p,t.ps,ps " + hour_name(12), "zzz\ntmp\nexit\n");
  EXPECT_EQ(t.status, 0) << t.err;
  EXPECT_EQ(count(t.err, "Unknown variable: zzz"), 1u) << t.err;
  EXPECT_EQ(count(t.out, "Date: 12Z 10 DEC 26"), 1u) << t.out;
}

/* A value that no instrument gives is missing: the page shows the station
 * as if the value were not reported, not a number of eleven digits. */
TEST(Sfcplot, ValuesNoInstrumentGivesAreNotDrawn) {
  Folder f;
  std::string text = hour_file(12, 0);
  const std::string mci = "MCI 450 ";
  ASSERT_EQ(text.find(mci), text.find("MCI"));
  std::string absurd = text, missing = text;
  absurd.replace(absurd.find(mci), mci.size(), "MCI 1e11 ");
  missing.replace(missing.find(mci), mci.size(), "MCI -99 ");
  write_file(f.path("absurd.wmo"), absurd);
  write_file(f.path("missing.wmo"), missing);
  for (const char* list : {"tmp", "tan"}) {
    SCOPED_TRACE(list);
    ASSERT_EQ(run(f, std::string("-pd mw -in 5 -va ") + list + " -de p,a.ps,ps absurd.wmo").status, 0);
    ASSERT_EQ(run(f, std::string("-pd mw -in 5 -va ") + list + " -de p,m.ps,ps missing.wmo").status, 0);
    EXPECT_EQ(ps_body(f.path("a.ps")), ps_body(f.path("m.ps")));
  }
}

/* A file whose name holds no date (a copy under another name) is dated
 * by its header: the page is that of the same file under its dated name. */
TEST(Sfcplot, AnUndatedNameTakesTheDateOfTheHeader) {
  Folder f;
  write_file(f.path("good_sao.wmo"), read_file(f.path(hour_name(12))));
  for (const char* list : {"tmp", "tan"}) {
    SCOPED_TRACE(list);
    Result r = run(f, std::string("-pd mw -in 5 -va ") + list + " -de p,copy.ps,ps good_sao.wmo");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(run(f, std::string("-pd mw -in 5 -va ") + list + " -de p,named.ps,ps " + hour_name(12)).status, 0);
    const std::string copy = ps_body(f.path("copy.ps"));
    EXPECT_EQ(copy.find("JAN 80"), std::string::npos);
    EXPECT_NE(copy.find("Analysis for 12Z 10 DEC 26"), std::string::npos);
    EXPECT_EQ(copy, ps_body(f.path("named.ps")));
  }
}

/* "input" and "in_file" choose the kind of input and its naming: the file
 * listing ("list" as the file name) shows the files of the convention. */
TEST(Sfcplot, InputAndInFileChooseTheConvention) {
  Folder f;
  for (const char* name : {"26121012_frt.dat", "26121000_frf.dat", "26121012_oth.dat", "26121012_my.wmo"})
    write_file(f.path(name), "x\n");
  struct Case {
    const char* args;
    const char* shown;
  } cases[] = {
      {"", "26121012_sao.wmo"},          {"-inp front", "26121012_frt.dat"},       {"-if forfront", "26121000_frf.dat"},
      {"-if my_sfc", "26121012_my.wmo"}, {"-inp front,other", "26121012_oth.dat"},
  };
  for (const Case& c : cases) {
    Result r = run(f, std::string(c.args) + " list");
    EXPECT_EQ(r.status, 0) << c.args << r.err;
    EXPECT_NE(r.out.find(c.shown), std::string::npos) << c.args << "\n" << r.out;
  }
  /* Front mode asks for a front file, surface mode for a surface file. */
  struct Mode {
    const char* args;
    const char* prompt;
  } modes[] = {{"-inp front", "Enter the front filename: "},
               {"-inp front,other", "Enter the front filename: "},
               {"-if my_sfc", "Enter the surface filename: "},
               {"-inp front -if sfc_cvt", "Enter the surface filename: "}};
  for (const Mode& m : modes) {
    Result r = run(f, m.args, "exit\n");
    EXPECT_NE(r.out.find(m.prompt), std::string::npos) << m.args << "\n" << r.out;
  }
}

/* ---- on a window ---------------------------------------------------------- */

using kez_test::XServer;

/* The program started in the background on the server; the status file
 * appears when it ends. */
void start(const Folder& f, const XServer& x, const std::string& args) {
  kez_test::run_command("cd " + quoted(f.dir.path()) + " && (DISPLAY=" + x.display() +
                        /* line-buffered output shows each step at once; a
                         * sanitizer build lets the buffering library load first */
                        " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 stdbuf -oL -eL " +
                        kProgram + " -fp d -dp . -de display," + x.display() + " -ti Sfcplot " + args +
                        " </dev/null >out 2>err; echo $? >status) >/dev/null 2>&1 &");
}

bool ended(const Folder& f) { return !read_file(f.path("status")).empty(); }
std::string out_of(const Folder& f) { return read_file(f.path("out")); }

/* Runs an xdotool action on the plot window ($W in it) until the
 * program's output shows what it should cause. */
bool act_until(const XServer& x, const Folder& f, const std::string& action, const std::string& shown, size_t times) {
  return wait_until([&] {
    if (count(out_of(f), shown) >= times) return true;
    x.run("export DISPLAY=" + x.display() +
          "; W=$(xdotool search --name '^Sfcplot' | head -1); [ -n \"$W\" ] && xdotool " + action);
    return wait_until([&] { return count(out_of(f), shown) >= times; }, 2.0);
  });
}

/* Sends keys to the plot window with the pointer at (px, py), its middle
 * unless said. */
bool keys_until(const XServer& x, const Folder& f, const std::string& keys, const std::string& shown, size_t times,
                int px = 320, int py = 256) {
  return act_until(x, f, "mousemove --window $W " + std::to_string(px) + " " + std::to_string(py) + " key " + keys,
                   shown, times);
}

/* The plot window as the server shows it; empty when there is none. */
kez_test::RgbImage window_picture(const XServer& x) {
  kez_test::RgbImage picture;
  if (const unsigned long w = kez_test::find_window(x.display(), "Sfcplot"))
    kez_test::read_drawable(x.display(), w, &picture);
  return picture;
}

bool same_picture(const kez_test::RgbImage& a, const kez_test::RgbImage& b) {
  return a.width > 0 && a.width == b.width && a.height == b.height && a.rgb == b.rgb;
}

/* A Shift-drag of button 1 across the window: the zoom box. */
const std::string kZoomDrag =
    "mousemove --window $W 250 200 keydown shift mousedown 1 mousemove --window $W 300 240 "
    "mousemove --window $W 390 300 mouseup 1 keyup shift";

void finish(const XServer& x, const Folder& f) {
  wait_until([&] {
    x.run("export DISPLAY=" + x.display() +
          "; xdotool search --name '^Sfcplot' | head -1 | xargs -r -I{} xdotool key --window {} Return");
    return wait_until([&] { return ended(f); }, 2.0);
  });
}

/* Three hourly files are three frames, each written as an image by the
 * program's own dump; an unreadable middle file leaves two. */
TEST(SfcplotWindow, HourlyFilesAreFrames) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  for (bool broken : {false, true}) {
    Folder f;
    if (broken) write_file(f.path(hour_name(13)), "Z broken\n");
    start(f, x, "-pd mw -va tmp -of png=frame%i.png " + hour_name(12) + " " + hour_name(13) + " " + hour_name(14));
    ASSERT_TRUE(wait_until([&] { return ended(f); })) << out_of(f);
    const size_t frames = broken ? 2 : 3;
    EXPECT_EQ(read_file(f.path("status")), "0\n") << read_file(f.path("err"));
    EXPECT_EQ(count(out_of(f), "Wrote PNG file"), frames) << out_of(f);
    std::vector<std::string> pixels;
    for (size_t i = 0; i < frames; ++i) {
      std::string rgb;
      const std::string png = f.path("frame0" + std::to_string(i) + ".png");
      EXPECT_EQ(kez_test::run_command("convert " + png + " rgb:- | md5sum", &rgb), 0) << png;
      pixels.push_back(rgb);
    }
    EXPECT_NE(kez_test::run_command("test -e " + f.path("frame0" + std::to_string(frames) + ".png")), 0);
    for (size_t i = 1; i < frames; ++i) EXPECT_NE(pixels[i], pixels[i - 1]) << "frames " << i - 1 << " and " << i;
    if (broken) {
      EXPECT_NE(read_file(f.path("err")).find("Unable to open file:./" + hour_name(13)), std::string::npos);
    }
  }
}

/* A redraw re-runs the plot on the open window without loading the
 * stations or analysing again; "v-Alt" reads out the station and values
 * under the pointer; "s-Alt" with two variables saves nothing. */
TEST(SfcplotWindow, RedrawAndReadOut) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  Folder f;
  start(f, x, "-pd ps::-94.73,39.3,-94.73,25,17,0.5,0.5 -va tan,tmp -in 5 -gp . " + hour_name(12));
  EXPECT_TRUE(keys_until(x, f, "alt+r", "Date: 12Z", 2)) << out_of(f);
  EXPECT_TRUE(keys_until(x, f, "alt+v", "Id: MCI", 1)) << out_of(f);
  EXPECT_TRUE(wait_until([&] { return count(out_of(f), "Var:") >= 2; }, 10)) << out_of(f);
  finish(x, f);
  const std::string out = out_of(f);
  EXPECT_EQ(count(out, "Reading the city database file"), 1u) << out;
  EXPECT_EQ(count(out, "Reading in data from converted file"), 1u) << out;
  EXPECT_NE(out.find("Var:   temp - "), std::string::npos) << out;
  EXPECT_EQ(read_file(f.path("status")), "0\n");
}

/* A batch run on a window ends by itself once its images are written: an
 * X Window Dump is an image dump, not the name of a grid file; a folder
 * that cannot take the images ends the run with status 4. */
TEST(SfcplotWindow, BatchImageDumpsEndTheRun) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  Folder f;
  /* The detached child holds descriptor 3 until it ends. */
  auto batch = [&](const std::string& args) {
    kez_test::run_command("rm -f " + f.path("done") + " " + f.path("status"));
    kez_test::run_command("cd " + quoted(f.dir.path()) + " && ({ DISPLAY=" + x.display() + " " + kProgram +
                          " -ba -fp d -dp . -de display," + x.display() + " -pd mw -va tan -in 5 " + args +
                          " 3>&1 >out 2>err </dev/null; echo $? >status; } | cat; echo >done) >/dev/null 2>&1 &");
    return wait_until([&] { return !read_file(f.path("done")).empty(); });
  };
  ASSERT_TRUE(batch("-ip . -of xwd=o.xwd " + hour_name(12))) << read_file(f.path("err"));
  EXPECT_EQ(read_file(f.path("status")), "0\n");
  /* an X Window Dump of version 7: the second word of its header */
  const std::string xwd = read_file(f.path("o.xwd"));
  ASSERT_GT(xwd.size(), 100u);
  EXPECT_EQ(xwd.substr(4, 4), std::string("\0\0\0\7", 4));
  EXPECT_NE(kez_test::run_command("test -e " + quoted(f.path("xwd=o.xwd"))), 0) << "no grid file of that name";

  write_file(f.path("plain"), "x\n");
  ASSERT_TRUE(batch("-ip plain/images -of png=o%i.png " + hour_name(12))) << read_file(f.path("err"));
  EXPECT_EQ(read_file(f.path("status")), "4\n");
  EXPECT_NE(read_file(f.path("err")).find("Unable to write PNG file: plain/images/owin.png: Not a directory"),
            std::string::npos)
      << read_file(f.path("err"));
}

/* "s-Alt" saves the analysed grid and leaves the input files' naming
 * current: the refresh afterwards still finds the newest surface file and
 * draws it. A station variable holds no grid, and says so. */
TEST(SfcplotWindow, GridSaveAndRefresh) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  Folder f;
  kez_test::run_command("rm -f " + f.path(hour_name(13)) + " " + f.path(hour_name(14)));
  start(f, x, "-pd mw -va tan -in 5 -gp . -pp refresh " + hour_name(12));
  EXPECT_TRUE(keys_until(x, f, "alt+s", "Grid saved: ", 1)) << out_of(f) << read_file(f.path("err"));
  EXPECT_EQ(kez_test::run_command("test -s " + f.path("26121012_sfc.grd")), 0);
  f.add_hour(13);
  EXPECT_TRUE(wait_until([&] { return out_of(f).find("plot frame\n") != std::string::npos; }, 150))
      << out_of(f) << read_file(f.path("err"));
  EXPECT_NE(out_of(f).find("Date: 13Z 10 DEC 26"), std::string::npos) << out_of(f);
  finish(x, f);

  Folder g;
  start(g, x, "-pd mw -va tmp " + hour_name(12));
  EXPECT_TRUE(wait_until([&] {
    x.run("export DISPLAY=" + x.display() +
          "; W=$(xdotool search --name '^Sfcplot' | head -1); [ -n \"$W\" ] && xdotool key --window $W alt+s");
    return wait_until([&] { return read_file(g.path("err")).find("holds no analysed grid") != std::string::npos; },
                      2.0);
  })) << read_file(g.path("err"));
  finish(x, g);
}

/* A zoom, an unzoom and a redraw each replace the picture: after Alt-u the
 * window shows exactly what it showed before the zoom, and Alt-r after the
 * file changed shows exactly what a new run on the changed file shows. */
TEST(SfcplotWindow, ZoomUnzoomAndRedrawReplaceThePicture) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  Folder f;
  const std::string args = "-pd mw -va tmp " + hour_name(12);
  const std::string changed = hour_file(12, 7);

  write_file(f.path(hour_name(12)), changed);
  start(f, x, args);
  ASSERT_TRUE(keys_until(x, f, "alt+v", "Lat:", 1)) << out_of(f);
  const kez_test::RgbImage expected = window_picture(x);
  finish(x, f);
  ASSERT_GT(expected.width, 0);

  Folder g;
  start(g, x, args);
  ASSERT_TRUE(keys_until(x, g, "alt+v", "Lat:", 1)) << out_of(g);
  const kez_test::RgbImage before = window_picture(x);
  ASSERT_FALSE(same_picture(before, expected)) << "the changed file draws other values";
  ASSERT_TRUE(act_until(x, g, kZoomDrag, "New domain:", 1)) << out_of(g);
  EXPECT_TRUE(wait_until([&] { return count(out_of(g), "Date: ") >= 2 && !same_picture(window_picture(x), before); }))
      << "the zoomed map";
  ASSERT_TRUE(keys_until(x, g, "alt+u", "Original domain:", 1)) << out_of(g);
  EXPECT_TRUE(wait_until([&] { return same_picture(window_picture(x), before); })) << "the unzoomed map alone";

  write_file(g.path(hour_name(12)), changed);
  ASSERT_TRUE(keys_until(x, g, "alt+r", "Date: ", 4)) << out_of(g);
  EXPECT_TRUE(wait_until([&] { return same_picture(window_picture(x), expected); })) << "the new values alone";
  finish(x, g);
  EXPECT_EQ(read_file(g.path("status")), "0\n") << read_file(g.path("err"));
}

/* "v-Alt" reads out the station drawn nearest to the pointer: over Kansas
 * City Downtown, a station of the table that sent no report, it is the
 * airport's values, for one variable and for a group. */
TEST(SfcplotWindow, ReadOutIsOfTheNearestDrawnStation) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  const struct {
    const char* list;
    const char* shown;
  } cases[] = {
      {"tmp", "Id: MCI Lat:  39.30 Lon:  -94.73 = temp=45"},
      {"grp", "temp=45 dewp=30"},
  };
  for (const auto& c : cases) {
    Folder f;
    start(f, x, std::string("-pd ps::-94.73,39.3,-94.73,25,17,0.5,0.5 -va ") + c.list + " " + hour_name(12));
    /* The pointer on the downtown station, south-east of the airport. */
    EXPECT_TRUE(keys_until(x, f, "alt+v", "Id: ", 1, 327, 268)) << out_of(f);
    finish(x, f);
    const std::string out = out_of(f);
    EXPECT_NE(out.find("Lat:  39.12 Lon:  -94.5"), std::string::npos) << "the pointer's place\n" << out;
    EXPECT_NE(out.find(c.shown), std::string::npos) << c.list << "\n" << out;
    EXPECT_EQ(out.find("-9999"), std::string::npos) << out;
  }
}

/* The window keys that write files say so when they cannot: "s-Alt" saves
 * the one analysed grid of a list with a group, and says why it saves
 * nothing for a group alone; "m-Alt" writes no empty metafile. */
TEST(SfcplotWindow, SaveKeysWriteWhatThePlotHoldsOrSaySo) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  Folder f;
  start(f, x, "-pd mw -va gan -in 5 -gp . " + hour_name(12));
  EXPECT_TRUE(keys_until(x, f, "alt+s", "Grid saved: ", 1)) << out_of(f) << read_file(f.path("err"));
  finish(x, f);
  EXPECT_EQ(kez_test::run_command("test -s " + f.path("26121012_sfc.grd")), 0);

  Folder g;
  start(g, x, "-pd mw -va grp -ip images " + hour_name(12));
  const auto said = [&](const std::string& keys, const std::string& text) {
    return wait_until([&] {
      x.run("export DISPLAY=" + x.display() +
            "; W=$(xdotool search --name '^Sfcplot' | head -1); [ -n \"$W\" ] && xdotool key --window $W " + keys);
      return wait_until([&] { return read_file(g.path("err")).find(text) != std::string::npos; }, 2.0);
    });
  };
  EXPECT_TRUE(said("alt+s", "SFC_callback: The plot holds no analysed grid; nothing saved"))
      << read_file(g.path("err"));
  EXPECT_TRUE(said("alt+m", "gobj_print_meta: No redraw data to make metafile from; nothing written"))
      << read_file(g.path("err"));
  finish(x, g);
  EXPECT_NE(kez_test::run_command("test -e " + g.path("kez.meta") + " -o -e " + g.path("images/kez.meta")), 0)
      << "no empty metafile";
}

/* The window holds 128 frames: of 130 files the last two are not drawn
 * over the 128th, and the program says so, for surface files and front
 * bulletins alike. */
TEST(SfcplotWindow, FramesStopAtTheWindowsLimit) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  const std::string bulletin = read_file(std::string(KEZ_SOURCE_DIR) + "/tests/sfc/data/24030512_frt.dat");
  const struct {
    const char* args;
    const char* suffix;
    const char* said;
  } cases[] = {
      {"-pd mw -va tmp", "_sao.wmo", "SFC_plot: The window holds at most 128 frames; 2 files from ./f128_sao.wmo on"},
      {"-pd mw -inp front", "_frt.dat",
       "FRT_plot: The window holds at most 128 frames; 2 files from ./f128_frt.dat on"},
  };
  for (const auto& c : cases) {
    Folder f;
    std::string names;
    for (int i = 0; i < 130; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "f%03d%s", i, c.suffix);
      write_file(f.path(name), c.suffix[1] == 's' ? hour_file(12, i % 5) : bulletin);
      names += std::string(" ") + name;
    }
    start(f, x, std::string(c.args) + " -ge 160x128 -ip . -of png=frame%i.png" + names);
    ASSERT_TRUE(wait_until([&] { return ended(f); }, 600)) << out_of(f);
    EXPECT_EQ(read_file(f.path("status")), "0\n");
    EXPECT_NE(read_file(f.path("err")).find(c.said), std::string::npos) << read_file(f.path("err"));
    EXPECT_EQ(count(out_of(f), "Wrote PNG file"), 128u) << c.args;
    EXPECT_EQ(kez_test::run_command("test -s " + f.path("frame127.png")), 0);
  }
}

} // namespace
