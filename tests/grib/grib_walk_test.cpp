/*
 * Every field of every GRIB file of python-grib-doc and of every ecCodes
 * sample against what ecCodes reads from the same files (eccodes_ref.h).
 * The refusals are listed with their reasons in the test's output.
 */
#include "eccodes_ref.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using grib_test::examples;
using grib_test::samples;
using grib_test::Walk;

namespace {

/* The grid files of a test case: one python-grib-doc file, or all the
 * samples. */
std::vector<std::string> files_of(const std::string& name) {
  std::vector<std::string> out;
  if (name != "samples") {
    out.push_back(examples + name);
    return out;
  }
  if (DIR* d = opendir(samples.c_str())) {
    while (dirent* ent = readdir(d)) {
      const std::string n = ent->d_name;
      if (n.size() > 5 && n.compare(n.size() - 5, 5, ".tmpl") == 0 &&
          (n.find("grib") != std::string::npos || n.rfind("GRIB", 0) == 0))
        out.push_back(samples + n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

class GribWalk : public ::testing::TestWithParam<const char*> {};

TEST_P(GribWalk, EveryFieldAgreesWithEcCodes) {
  const std::vector<std::string> files = files_of(GetParam());
  if (files.empty() || !std::ifstream(files[0])) GTEST_SKIP() << "python-grib-doc or ecCodes' samples not installed";
  if (!grib_test::have_eccodes_python()) GTEST_SKIP() << "python3-eccodes not installed";
  const Walk w = grib_test::walk_agrees(files);
  std::cout << GetParam() << ": " << w.total << " fields, " << w.decoded << " decoded";
  if (!w.refused.empty()) std::cout << ", refused:";
  std::cout << "\n";
  for (const std::string& r : w.refused) std::cout << "  " << r << "\n";
}

INSTANTIATE_TEST_SUITE_P(RealFiles, GribWalk,
                         ::testing::Values("CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib",
                                           "cl00010000_ecoclimap_rot.grib1", "ds.maxt.bin", "ds.waveh.bin",
                                           "dspr.temp.bin", "ecmwf_tigge.grb", "eta.grb", "flux.grb", "gfs.grb",
                                           "gfs.t12z.pgrbf120.2p5deg.grib2", "ngm.grb", "no-radius-shapeOfEarth-7.grb2",
                                           "rap.wrfnat.grib2", "reduced_latlon_surface.grib2",
                                           "regular_latlon_surface.grib1", "regular_latlon_surface.grib2",
                                           "rotated_ll.grib1", "safrica.grib2", "spherical_pressure_level.grib1",
                                           "samples"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

} // namespace
