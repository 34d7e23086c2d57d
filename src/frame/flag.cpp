/*
 * flag: the 30 process flags and the 13 plot-part switches.
 *
 * Components hand each other decisions through these tables: the resource
 * converters and setup functions set flags (2 device, 11 plot type, 15 file
 * parameter, 19 batch, 20 help, ...) and the plotting and file functions read
 * them. Plot part 0 always holds the sum of parts 1 to 6 (the corner labels)
 * and part 12 the sum of parts 0 to 11 after every FLAG_setplot.
 */
#include "kez.h"

#include <array>
#include <cstdint>

namespace {

constexpr int kNumFlags = 30;
constexpr int kNumParts = 13;

struct FlagState {
  std::array<std::int64_t, kNumFlags> flags{}; /* 0 at start, -9999 after RES_init */
  std::array<int, kNumParts> plot_it{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
};

FlagState state;

bool flag_ok(int flag) { return flag >= 0 && flag < kNumFlags; }
bool part_ok(int type) { return type >= 0 && type < kNumParts; }

} // namespace

int FLAG_get(int flag) { return flag_ok(flag) ? static_cast<int>(state.flags[flag]) : 0; }

long int FLAG_getl(int flag) { return flag_ok(flag) ? state.flags[flag] : 0; }

int FLAG_set(int flag, int value) {
  if (!flag_ok(flag)) return -1;
  state.flags[flag] = value;
  return 0;
}

int FLAG_setl(int flag, long int value) {
  if (!flag_ok(flag)) return -1;
  state.flags[flag] = value;
  return 0;
}

int FLAG_reset(int value) {
  state.flags.fill(value);
  return 0;
}

int FLAG_resetl(long int value) {
  state.flags.fill(value);
  return 0;
}

int FLAG_batch() { return state.flags[FLAG_BATCH] > 0 ? 1 : 0; }

int FLAG_set_batch(int val) {
  state.flags[FLAG_BATCH] = val;
  return 0;
}

int FLAG_help() { return state.flags[FLAG_HELP] > 0 ? 1 : 0; }

/* An index outside 0 to 12 is refused (-1) and changes nothing. */
int FLAG_setplot(int type, int val) {
  if (!part_ok(type)) return -1;
  auto& p = state.plot_it;
  p[type] = val;
  if (type == 12)
    for (int i = 0; i <= 11; ++i) p[i] = val;
  if (type == 0)
    for (int i = 0; i <= 6; ++i) p[i] = val;
  p[0] = p[1] + p[2] + p[3] + p[4] + p[5] + p[6];
  int all = 0;
  for (int i = 0; i <= 11; ++i) all += p[i];
  p[12] = all;
  return 0;
}

/* An index outside 0 to 12 reads as 0 (off). */
int FLAG_getplot(int type) { return part_ok(type) ? state.plot_it[type] : 0; }

int FLAG_resetplot(int val) {
  state.plot_it.fill(val);
  return 0;
}
