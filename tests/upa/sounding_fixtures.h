/*
 * Realistic soundings shared by the index tests (levels from the ground up;
 * p hPa, h m, t and td degrees C, wind direction degrees and speed knots),
 * and the run of the NumPy reference over one of them.
 */
#ifndef SOUNDING_FIXTURES_H
#define SOUNDING_FIXTURES_H

#include "kez_test.h"
#include "kezupa.h"

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fixtures {

/* Plains afternoon: hot, moist surface, steep lapse rates, veering winds. */
inline const std::vector<UPA_level> kStrong = {
    {965, 350, 32, 22, 170, 15},      {950, 490, 30.5, 21.5, 175, 20}, {900, 967, 26, 19, 190, 30},
    {850, 1464, 21.5, 16, 205, 35},   {800, 1984, 17.5, 10, 215, 38},  {750, 2529, 13.5, 4, 225, 40},
    {700, 3105, 9.5, -1, 235, 42},    {650, 3713, 5, -6, 240, 45},     {600, 4360, 0.5, -12, 245, 50},
    {550, 5051, -4.5, -18, 250, 55},  {500, 5794, -10, -25, 255, 60},  {450, 6596, -16, -32, 258, 65},
    {400, 7472, -22.5, -38, 260, 70}, {350, 8438, -30, -45, 262, 75},  {300, 9517, -38.5, -52, 265, 80},
    {250, 10744, -48, -60, 265, 85},  {200, 12190, -56, -68, 265, 80}, {150, 14003, -60, -74, 265, 65},
    {100, 16511, -64, -80, 270, 45},
};
/* Weakly unstable: modest moisture and lapse rates. */
inline const std::vector<UPA_level> kWeak = {
    {1005, 100, 24, 17, 200, 8},      {950, 587, 20, 15, 210, 15},      {900, 1048, 16, 12, 220, 20},
    {850, 1529, 12.5, 8, 230, 22},    {800, 2033, 9, 3, 240, 25},       {750, 2563, 5.5, -3, 245, 28},
    {700, 3123, 2, -8, 250, 30},      {650, 3716, -2, -14, 255, 33},    {600, 4347, -6, -19, 260, 36},
    {550, 5021, -11, -24, 260, 40},   {500, 5745, -16.5, -30, 265, 45}, {450, 6529, -22, -36, 265, 50},
    {400, 7384, -28.5, -42, 270, 55}, {350, 8326, -36, -49, 270, 60},   {300, 9378, -44.5, -56, 270, 65},
    {250, 10579, -52, -63, 270, 70},  {200, 12015, -55, -70, 270, 60},  {150, 13844, -57, -75, 270, 45},
};
/* Moist surface under a warm, dry layer near 800 hPa. */
inline const std::vector<UPA_level> kCapped = {
    {990, 200, 28, 21, 160, 12},       {950, 562, 25, 20, 170, 20},      {900, 1031, 21, 18, 185, 30},
    {850, 1522, 19, 11, 200, 35},      {800, 2041, 20, 2, 215, 35},      {750, 2592, 16, -2, 225, 38},
    {700, 3171, 11, -5, 235, 40},      {650, 3782, 6, -9, 240, 42},      {600, 4431, 1, -14, 245, 45},
    {550, 5123, -4, -19, 250, 50},     {500, 5867, -9.5, -25, 255, 55},  {450, 6672, -15.5, -31, 258, 60},
    {400, 7549, -22, -38, 260, 65},    {350, 8517, -29.5, -45, 262, 70}, {300, 9598, -38, -52, 265, 75},
    {250, 10828, -47.5, -60, 265, 80}, {200, 12279, -55, -67, 265, 70},  {150, 14100, -59, -74, 265, 55},
};
/* Cold and dry, winds backing with height. */
inline const std::vector<UPA_level> kStable = {
    {1020, 50, 2, -6, 350, 10},       {1000, 209, 1, -7, 340, 12},      {950, 620, -1, -9, 320, 15},
    {900, 1050, -2, -14, 310, 20},    {850, 1503, -3, -18, 300, 25},    {800, 1980, -6, -22, 295, 28},
    {750, 2482, -9.5, -26, 290, 30},  {700, 3011, -13, -30, 290, 32},   {650, 3571, -17, -34, 285, 35},
    {600, 4167, -21.5, -38, 285, 38}, {550, 4802, -26, -42, 280, 40},   {500, 5485, -31, -46, 280, 45},
    {450, 6224, -36.5, -51, 280, 50}, {400, 7030, -42.5, -56, 280, 55}, {350, 7920, -49, -61, 280, 58},
    {300, 8925, -52, -66, 280, 55},   {250, 10103, -53, -70, 280, 50},  {200, 11539, -54, -75, 280, 40},
};

/* The reference's values for a sounding and a storm motion (knots). */
inline std::map<std::string, double> reference(const std::vector<UPA_level>& s, WIND storm) {
  kez_test::TempDir dir;
  std::ostringstream in;
  in.precision(9);
  for (const auto& l : s)
    in << "L " << l.p << ' ' << l.h << ' ' << l.t << ' ' << l.td << ' ' << l.dir << ' ' << l.spd << '\n';
  in << "S " << storm.dir << ' ' << storm.spd << '\n';
  std::string file = dir.file("sounding");
  kez_test::write_file(file, in.str());
  std::string out;
  std::map<std::string, double> r;
  if (kez_test::run_command("/usr/bin/python3 " KEZ_SOURCE_DIR "/tests/upa/data/parcel_ref.py " + file, &out) != 0)
    return r;
  std::istringstream res(out);
  std::string name;
  double v;
  while (res >> name >> v) r[name] = v;
  return r;
}

} // namespace fixtures

#endif
