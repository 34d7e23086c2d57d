/*
 * sfcplot on the bundled sample as the README and the demo run it: the
 * quantities built on station pressure, the labels of the station-model
 * group and the analysis, the front bulletins of the sample's hours, the
 * README's example commands and the demo's frames. Every run works in a
 * folder of its own; pictures are judged by ghostscript and ImageMagick.
 */
#include "kez_test.h"
#include "ps_render.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kez_test::read_file;
using kez_test::TempDir;
using kez_test::wait_until;

const std::string kProgram = std::string(KEZ_BINARY_DIR) + "/programs/sfcplot";
const std::string kData = std::string(KEZ_DATA_DIR);
const std::string kRegion = " -pd lc:40:-95:33:45,40,-95,19,13,3.4,3.4";

struct Outcome {
  int status = -1;
  std::string out;
};

/* The program in dir on the bundled tables and sample. */
Outcome sfcplot(const TempDir& dir, const std::string& args) {
  Outcome r;
  r.status = kez_test::run_command("cd " + dir.path() + " && " + kProgram + " -fp " + kData + " -dp " + kData +
                                       "/sample" + kRegion + " " + args + " </dev/null 2>&1",
                                   &r.out);
  return r;
}

/* The station values of a raw output file: those that are present. */
std::vector<double> raw_values(const std::string& file) {
  std::istringstream in(read_file(file));
  std::vector<double> out;
  std::string line;
  bool data = false;
  while (std::getline(in, line)) {
    if (!data) {
      data = line == "$";
      continue;
    }
    std::istringstream words(line);
    std::string id;
    double lat = 0, lon = 0, v = -9999;
    if (words >> id >> lat >> lon >> v && v != -9999) out.push_back(v);
  }
  return out;
}

/* Station pressure comes from the altimeter setting and the station's
 * elevation; with elevations in the station table it and every quantity
 * built on it have values at the stations, in their ranges. */
TEST(SfcplotSample, StationPressureAndWhatIsBuiltOnItHaveValues) {
  struct Quantity {
    const char* name;
    double lo, hi;
  };
  const Quantity quantities[] = {{"pres", 600, 1050},  {"theta", 270, 330}, {"thetae", 270, 400}, {"thetaw", 260, 310},
                                 {"thetav", 270, 335}, {"mrat", 0.1, 30},   {"smrat", 0.5, 40},   {"shum", 0.1, 30},
                                 {"wetblb", 250, 310}, {"vtemp", 250, 320}};
  TempDir dir;
  std::string list;
  for (const Quantity& q : quantities) list += std::string(list.empty() ? "+" : ",+") + q.name;
  Outcome r = sfcplot(dir, "-pr 9 -va " + list + " -of raw -rp " + dir.path() + " -de p,p.ps,ps 11101100_sao.wmo");
  ASSERT_EQ(r.status, 0) << r.out;
  for (const Quantity& q : quantities) {
    SCOPED_TRACE(q.name);
    const std::vector<double> v = raw_values(dir.file(std::string("11101100_") + q.name + ".raw"));
    EXPECT_GT(v.size(), 2000u);
    for (double x : v) {
      EXPECT_GE(x, q.lo);
      EXPECT_LE(x, q.hi);
    }
  }
  /* The pressure of the lifting condensation level, too. */
  TempDir lcl;
  r = sfcplot(lcl, "-pr 9 -va +pres:lcl -of raw -rp " + lcl.path() + " -de p,p.ps,ps 11101100_sao.wmo");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::vector<double> v = raw_values(lcl.file("11101100_pres.raw"));
  EXPECT_GT(v.size(), 2000u);
  for (double x : v) EXPECT_LT(x, 1050);
}

/* The corner labels of a page, in the order drawn. */
std::vector<std::string> labels_of(const std::string& ps) {
  std::vector<std::string> out;
  std::istringstream in(ps);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("%%TE:", 0) != 0) continue;
    std::istringstream words(line.substr(5));
    double x = 0, y = 0;
    std::string text;
    words >> x >> y;
    std::getline(words, text);
    if (x < 1 && y < 1 && !text.empty()) out.push_back(text.substr(1));
  }
  return out;
}

/* The demo's title names the station models and the analysis in words. */
TEST(SfcplotSample, LabelsNameTheStationModelsAndTheAnalysis) {
  TempDir dir;
  Outcome r = sfcplot(dir, "-va stnslp -de p,p.ps,ps 11101100_sao.wmo");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::vector<std::string> labels = labels_of(read_file(dir.file("p.ps")));
  const std::set<std::string> got(labels.begin(), labels.end());
  EXPECT_TRUE(got.count("Surface Station model")) << r.out;
  EXPECT_TRUE(got.count("Analysis for 00Z 11 OCT 11"));
  EXPECT_TRUE(got.count("Surface Mean sea level pressure (mb)"));
  for (const std::string& l : labels) {
    EXPECT_EQ(l.find("v0"), std::string::npos) << l;
    EXPECT_EQ(l.find("lfm"), std::string::npos) << l;
  }
}

/* Pixels of the fronts' blue and red, which the bare map lacks. */
struct Colours {
  int blue = 0, red = 0;
};
Colours front_colours(const std::string& ps) {
  kez_test::Raster r;
  EXPECT_TRUE(kez_test::gs_render(ps, 612, 792, &r).clean());
  Colours c;
  for (size_t i = 0; i + 2 < r.rgb.size(); i += 3) {
    c.blue += r.rgb[i] < 80 && r.rgb[i + 1] < 80 && r.rgb[i + 2] > 170;
    c.red += r.rgb[i] > 170 && r.rgb[i + 1] < 80 && r.rgb[i + 2] < 80;
  }
  return c;
}

/* Every hour of the sample finds its front bulletin, valid for it, and the
 * bulletin draws fronts with their pips. */
TEST(SfcplotSample, EverySampleHourHasItsFrontBulletin) {
  ASSERT_TRUE(kez_test::have_program("gs")) << "ghostscript is needed (tools/install-deps.sh)";
  TempDir dir;
  for (const char* hour : {"11101019", "11101020", "11101021", "11101022", "11101023", "11101100"}) {
    SCOPED_TRACE(hour);
    Outcome r = sfcplot(dir, std::string("-me warn -va front -de p,f.ps,ps ") + hour + "_sao.wmo");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("Unable to open front file"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Invalid date"), std::string::npos) << r.out;
  }
  for (const char* bulletin : {"11101018", "11101021", "11101100"}) {
    SCOPED_TRACE(bulletin);
    Outcome plain = sfcplot(dir, std::string("-inp front -de p,plain.ps,ps,port,color ") + bulletin + "_frt.dat");
    Outcome pips =
        sfcplot(dir, std::string("-inp front -pp barb -de p,pips.ps,ps,port,color ") + bulletin + "_frt.dat");
    ASSERT_EQ(plain.status, 0) << plain.out;
    ASSERT_EQ(pips.status, 0) << pips.out;
    const Colours a = front_colours(dir.file("plain.ps")), b = front_colours(dir.file("pips.ps"));
    EXPECT_GT(a.blue, 100) << "cold fronts and highs";
    EXPECT_GT(b.blue + b.red, a.blue + a.red + 50) << "the pips add triangles and half-discs";
  }
}

/* ---- the README's commands ------------------------------------------------ */

/* The shell text of every code block of the README that runs sfcplot. */
std::vector<std::string> readme_blocks() {
  std::istringstream in(read_file(std::string(KEZ_SOURCE_DIR) + "/README.md"));
  std::vector<std::string> blocks;
  std::string line, block;
  auto flush = [&] {
    if (block.find("build/programs/sfcplot") != std::string::npos) blocks.push_back(block);
    block.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("    ", 0) == 0)
      block += line.substr(4) + "\n";
    else if (!line.empty())
      flush();
  }
  flush();
  return blocks;
}

/* The options whose values are folders. */
const std::set<std::string> kPathOptions = {"-fp", "-dp", "-cp", "-gp", "-rp", "-ip", "-wp", "-tp", "-mp", "-sp"};

/* The README's examples run as written from a fresh folder holding the
 * build and the data (a window becomes a page, so that nothing waits for
 * a key): each ends with status 0 and writes its page into demo-out/ and
 * nothing anywhere else; and every folder an example names exists. */
TEST(SfcplotSample, ReadmeExamplesRunAsWritten) {
  const std::vector<std::string> blocks = readme_blocks();
  ASSERT_GE(blocks.size(), 3u);
  TempDir dir;
  kez_test::run_command("mkdir -p " + dir.file("build/programs") + " && ln -s " + kProgram + " " +
                        dir.file("build/programs/sfcplot") + " && ln -s " + kData + " " + dir.file("data"));
  int pages = 0;
  for (std::string block : blocks) {
    SCOPED_TRACE(block);
    /* every folder option names a folder */
    std::istringstream words(block);
    std::string w, prev;
    while (words >> w) {
      if (kPathOptions.count(prev)) {
        EXPECT_EQ(kez_test::run_command("cd " + dir.path() + " && test -d " + w), 0) << prev << " " << w;
      }
      prev = w;
    }
    const size_t x = block.find("-de x ");
    if (x != std::string::npos) block.replace(x, 6, "-de p,demo-out/window.ps,ps ");
    const std::string script = dir.file("block.sh");
    {
      std::ofstream f(script);
      f << "set -e\nmkdir -p demo-out\n" << block;
    }
    std::string out;
    /* A batch run detaches: its child holds descriptor 3 until the page
     * is written, so the pipe ends when it has. */
    const int status =
        kez_test::run_command("cd " + dir.path() + " && { sh block.sh 3>&1 >out.txt 2>&1 </dev/null; } | cat", &out);
    EXPECT_EQ(status, 0) << read_file(dir.file("out.txt"));
    std::string listing;
    kez_test::run_command("cd " + dir.path() + " && ls -A", &listing);
    EXPECT_EQ(listing, "block.sh\nbuild\ndata\ndemo-out\nout.txt\n") << "nothing outside demo-out/";
    std::string made;
    kez_test::run_command("cd " + dir.path() + " && ls demo-out/*.ps demo-out/*.eps 2>/dev/null", &made);
    for (std::istringstream files(made); std::getline(files, w);) {
      const std::string page = read_file(dir.file(w));
      EXPECT_NE(page.find("%%EOF"), std::string::npos) << w;
      /* the file found by the clock of kezcurtime, and three hours before */
      if (w == "demo-out/latest.ps") {
        EXPECT_NE(page.find("Analysis for 00Z 11 OCT 11"), std::string::npos);
      }
      if (w == "demo-out/three_hours.ps") {
        EXPECT_NE(page.find("Analysis for 21Z 10 OCT 11"), std::string::npos);
      }
      kez_test::run_command("rm -f " + dir.file(w));
      ++pages;
    }
  }
  EXPECT_GE(pages, 5);
}

/* ---- the demo ---------------------------------------------------------------- */

/* The demo draws its frames as the "frames" block of its defaults says:
 * six hours in a 1000 x 720 window. */
TEST(SfcplotSample, DemoFramesFollowTheDefaultsFile) {
  if (!kez_test::have_program("Xvfb") || !kez_test::have_program("identify"))
    GTEST_SKIP() << "Xvfb and ImageMagick are needed";
  TempDir dir;
  std::string out;
  const int status = kez_test::run_command("cd " + std::string(KEZ_SOURCE_DIR) + " && tools/demo.sh " +
                                               std::string(KEZ_BINARY_DIR) + " " + dir.path() + " 2>&1",
                                           &out);
  ASSERT_EQ(status, 0) << out;
  for (int i = 0; i < 6; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "sfcplot_%02d.png", i);
    std::string size;
    kez_test::run_command("identify -format '%wx%h' " + dir.file(name), &size);
    EXPECT_EQ(size, "1000x720") << name << "\n" << out;
  }
  EXPECT_NE(kez_test::run_command("test -e " + dir.file("sfcplot_06.png")), 0);
  EXPECT_NE(read_file(dir.file("sfcplot.ps")).find("%%EOF"), std::string::npos);
}

} // namespace
