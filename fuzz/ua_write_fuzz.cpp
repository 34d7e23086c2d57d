/* Upper-air text writers and the reader behind them: the first byte picks a
 * text layout, then come an identifier (up to a NUL byte) and the values of
 * a few levels (pressure, height, temperature, dew point, wind) as bytes.
 * Two copies of the report are written; when the writer accepts them, both
 * must read back with their identifier and the groups after it in place. */
#include "kez_fuzz.h"
#include "kezupa.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

/* A float from two bytes, spread over what the groups can and cannot carry. */
float value(const uint8_t*& p, const uint8_t* end, float scale, float offset) {
  if (end - p < 2) return KEZ_FMISS;
  const int v = p[0] | (p[1] << 8);
  p += 2;
  return v == 0xffff ? KEZ_FMISS : static_cast<float>(v) * scale + offset;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  if (size < 1) return 0;
  constexpr int types[] = {UPA_FT_OLD_SHORT, UPA_FT_OLD_LONG, UPA_FT_FIXED, UPA_FT_OPEN, UPA_FT_OPEN_LOC};
  const int type = types[data[0] % 5];
  const uint8_t* p = data + 1;
  const uint8_t* end = data + size;
  auto rep = std::make_unique<UPA_report>();
  UPA_initialize(rep.get());
  size_t n = 0;
  while (p < end && *p != 0) {
    if (n < UPA_ID_LEN - 1) rep->id[n++] = static_cast<char>(*p);
    ++p;
  }
  rep->id[n] = '\0';
  if (p < end) ++p;
  rep->wmo = 72357;
  rep->numman = 19;
  rep->man[UPA_SLOT_1000] = {1000, 100, 20, 10, 180, 10};
  rep->man[UPA_SLOT_850] = {850, 1500, 10, 5, 200, 20};
  for (int slot = UPA_SLOT_ABOVE; slot <= UPA_SLOT_ABOVE + 1; ++slot)
    rep->man[slot] = {value(p, end, 0.001f, 0), value(p, end, 1, 30000), value(p, end, 0.01f, -80), KEZ_FMISS,
                      value(p, end, 0.01f, 0),  value(p, end, 0.01f, 0)};
  for (int i = 0; i < 3 && p < end; ++i) {
    rep->sig[rep->numsig++] = {value(p, end, 0.02f, 0), value(p, end, 0.01f, -80), value(p, end, 0.01f, -90)};
    rep->wnd[rep->numwnd++] = {value(p, end, 2, 0), value(p, end, 0.01f, 0), value(p, end, 0.01f, 0)};
  }
  const std::string path = kez_fuzz::scratch_dir() + "/upa_write";
  int t = type;
  if (UPA_open(path.c_str(), UPA_ACC_WRITE, &t) < 0) return 0;
  UPA_info info{};
  UPA_putinfo(0, &info);
  int count = 0;
  const bool ok =
      UPA_write(0, rep.get(), UPA_REP_FULL, &count) == 0 && UPA_write(0, rep.get(), UPA_REP_FULL, &count) == 0;
  UPA_close(0);
  if (!ok) return 0;
  t = type;
  if (UPA_open(path.c_str(), UPA_ACC_READ, &t) < 0) std::abort();
  UPA_getinfo(0, &info);
  for (int k = 0; k < 2; ++k) {
    auto back = std::make_unique<UPA_report>();
    int index = k;
    if (UPA_read(0, back.get(), UPA_REP_FULL, &index) != 0) std::abort();
    if (std::strcmp(back->id, rep->id) != 0 || back->man[UPA_SLOT_850].p != 850 || back->man[UPA_SLOT_850].h != 1500)
      std::abort();
  }
  UPA_close(0);
  return 0;
}
