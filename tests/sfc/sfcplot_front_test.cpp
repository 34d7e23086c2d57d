/*
 * sfcplot with front bulletins: front mode draws a bulletin on its own (a
 * PostScript page, and one frame a bulletin in a window), and the "front"
 * variable draws the bulletin of the surface file's time over the station
 * models. Pictures are judged by their pixels as ghostscript or the
 * program's own dump renders them.
 */
#include "kez_test.h"
#include "ps_render.h"
#include "x_server.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kez_test::read_file;
using kez_test::TempDir;
using kez_test::write_file;

const std::string kProgram = std::string(KEZ_BINARY_DIR) + "/programs/sfcplot";
const std::string kBulletin = std::string(KEZ_SOURCE_DIR) + "/tests/sfc/data/24030512_frt.dat";
const std::string kArgs =
    " -ba -fp " + std::string(KEZ_DATA_DIR) + " -pd lc:40:-95:33:45,40,-95,19,13,3.4,3.4 -pr +3 -pp plt_grid -me none";

/* The hand-written bulletin moved to another valid time. */
std::string bulletin_at(const std::string& valid, const std::string& issued) {
  std::string text = read_file(kBulletin);
  text.replace(text.find("VALID 030512Z"), 13, "VALID " + valid);
  text.replace(text.find("TUE MAR 05 2024"), 15, issued);
  return text;
}

/* Runs a batch plot to a PostScript page and waits for its detached child
 * to finish the page. */
kez_test::Raster page(const TempDir& dir, const std::string& args) {
  const std::string ps = dir.file("page.ps");
  std::remove(ps.c_str());
  std::string out;
  kez_test::run_command("cd " + dir.path() + " && " + kProgram + kArgs + " -dp . -de p," + ps + ",ps,port,color " +
                            args + " </dev/null 2>&1",
                        &out);
  EXPECT_TRUE(kez_test::wait_until([&] { return read_file(ps).find("%%EOF") != std::string::npos; })) << out;
  kez_test::Raster r;
  EXPECT_TRUE(kez_test::gs_render(ps, 612, 792, &r).clean());
  return r;
}

/* Pixels of the fronts' and centres' blue: nothing else on these maps is
 * drawn in it. */
int blue(const kez_test::Raster& r) {
  int n = 0;
  for (size_t i = 0; i + 2 < r.rgb.size(); i += 3) n += r.rgb[i] < 80 && r.rgb[i + 1] < 80 && r.rgb[i + 2] > 170;
  return n;
}

TEST(SfcplotFronts, FrontModeDrawsTheBulletin) {
  TempDir dir;
  write_file(dir.file("24030512_frt.dat"), read_file(kBulletin));
  const kez_test::Raster r = page(dir, "-inp front 24030512_frt.dat");
  EXPECT_GT(blue(r), 200) << "the cold front and the highs";
}

TEST(SfcplotFronts, FrontVariableDrawsTheBulletinOfTheSurfaceFileOverTheStations) {
  TempDir dir;
  const std::string sample = std::string(KEZ_DATA_DIR) + "/sample/11101100_sao.wmo";
  write_file(dir.file("11101100_sao.wmo"), read_file(sample));
  write_file(dir.file("11101100_frt.dat"), bulletin_at("101100Z", "MON OCT 10 2011"));
  const std::string menu = " -va stnmdl";
  const kez_test::Raster stations = page(dir, menu + " 11101100_sao.wmo");
  const kez_test::Raster both = page(dir, menu + ",front 11101100_sao.wmo");
  EXPECT_LT(blue(stations), 50) << "station models alone";
  EXPECT_GT(blue(both), blue(stations) + 200) << "the bulletin of 00 UTC over them";
  /* A bulletin of another time is not drawn: the warning, no fronts. */
  write_file(dir.file("11101100_frt.dat"), bulletin_at("101800Z", "MON OCT 10 2011"));
  const kez_test::Raster other = page(dir, menu + ",front 11101100_sao.wmo");
  EXPECT_LT(blue(other), 50);
}

/* Two bulletins in a window are two frames, each dumped as an image. */
TEST(SfcplotFronts, TwoBulletinsAreTwoFrames) {
  kez_test::XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok()) << "Xvfb is needed";
  if (!kez_test::have_program("identify")) GTEST_SKIP() << "ImageMagick is needed";
  TempDir dir;
  write_file(dir.file("24030512_frt.dat"), read_file(kBulletin));
  write_file(dir.file("24030518_frt.dat"), read_file(std::string(KEZ_SOURCE_DIR) + "/tests/sfc/data/24030518_frt.dat"));
  std::string out;
  kez_test::run_command("cd " + dir.path() + " && DISPLAY=" + x.display() + " " + kProgram + kArgs +
                            " -dp . -ip . -of png=f%i.png -de display," + x.display() +
                            " -inp front 24030512_frt.dat 24030518_frt.dat </dev/null 2>&1",
                        &out);
  std::string sig[2];
  for (int i = 0; i < 2; ++i) {
    const std::string f = dir.file("f0" + std::to_string(i) + ".png");
    ASSERT_TRUE(kez_test::wait_until([&] {
      return kez_test::run_command("identify -format '%#' " + f + " 2>/dev/null", &sig[i]) == 0 && !sig[i].empty();
    })) << out;
  }
  EXPECT_NE(sig[0], sig[1]) << "each frame its own bulletin";
}

} // namespace
