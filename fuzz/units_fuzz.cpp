/* The units file units.lup and the unit texts (factors, labels). */
#include "kez_fuzz.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const auto p = kez_fuzz::parts(data, size, 3);
  kez_fuzz::write_file("units.lup", reinterpret_cast<const uint8_t*>(p[0].data()), p[0].size());
  RES_put("file_path", kez_fuzz::scratch_dir().c_str());
  /* A pair of its own first, so that the file is read again. */
  UNIT_cvt(1.0f, "fuzz_in", "fuzz_out");
  UNIT_cvt(273.15f, "K", "C");
  UNIT_cvt(10.0f, p[1].c_str(), p[2].c_str());
  UNIT_cvt(10.0f, p[2].c_str(), p[1].c_str());

  std::vector<char> out(p[1].size() + p[2].size() + 16);
  UNIT_scale(p[1].c_str(), 2.5f, p[2].c_str(), out.data());
  std::vector<char> var(p[1].size() + 1), units(p[1].size() + 1);
  UNIT_parse(p[1].c_str(), var.data(), units.data());
  std::vector<char> label(std::min<size_t>(p[1].size(), 49) + p[2].size() + 4 + p[1].size() + 1);
  std::copy(p[1].begin(), p[1].end(), label.begin());
  UNIT_change(label.data(), p[2].c_str());
  return 0;
}
