/*
 * The decoder's inner loops against plain one-value-at-a-time readings of
 * the same bits: every width from every bit position, runs long and short
 * enough to take each path, bit maps from every offset, and thinned rows
 * laid out from shared positions as the running fraction lays them out.
 */
#include "unpack.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using grib_unpack::PAD;
using grib_unpack::Scale;

/* values of width bits from bit 'first' on, with set bits before and after
 * them and the padding the decoder adds. */
std::vector<unsigned char> pack(const std::vector<uint32_t>& values, int width, uint64_t first) {
  const uint64_t bits = first + values.size() * static_cast<uint64_t>(width);
  std::vector<unsigned char> out((bits + 7) / 8 + PAD, 0xA5); /* junk before the first bit */
  std::fill(out.begin() + static_cast<long>(first / 8) + 1, out.end(), 0);
  out[first / 8] &= static_cast<unsigned char>(0xFF00u >> (first % 8));
  uint64_t pos = first;
  for (uint32_t v : values)
    for (int b = width - 1; b >= 0; --b, ++pos)
      if ((v >> b) & 1) out[pos / 8] |= static_cast<unsigned char>(0x80u >> (pos % 8));
  for (; pos < out.size() * 8; ++pos) out[pos / 8] |= static_cast<unsigned char>(0x80u >> (pos % 8)); /* junk after */
  return out;
}

std::vector<uint32_t> random_values(int width, size_t count, std::mt19937& rng) {
  std::vector<uint32_t> v(count);
  const uint64_t top = (uint64_t{1} << width) - 1;
  for (auto& x : v) x = static_cast<uint32_t>(rng() & top);
  if (count > 1) v[count - 1] = static_cast<uint32_t>(top); /* the widest value */
  return v;
}

TEST(GribUnpack, EveryWidthFromEveryBitPosition) {
  std::mt19937 rng(11);
  const Scale scale{0.01f, 2.0f, -40.5f};
  for (int width = 1; width <= grib_unpack::MAX_WIDTH; ++width)
    for (uint64_t first : {0, 1, 3, 7, 8, 13, 64})       /* 13 takes several values to reach an octet */
      for (size_t count : {1, 7, 8, 9, 23, 600, 1100}) { /* tails, runs of 8, several chunks */
        SCOPED_TRACE(testing::Message() << "width " << width << " from bit " << first << ", " << count << " values");
        const std::vector<uint32_t> v = random_values(width, count, rng);
        const std::vector<unsigned char> data = pack(v, width, first);
        std::vector<uint32_t> ints(count + 1, 0xDEADBEEF);
        grib_unpack::to_integers(data.data(), first, width, static_cast<long>(count), ints.data());
        EXPECT_EQ(std::vector<uint32_t>(ints.begin(), ints.end() - 1), v);
        EXPECT_EQ(ints.back(), 0xDEADBEEF) << "wrote past the count";

        std::vector<float> got(count), over(count);
        grib_unpack::to_values(data.data(), first, width, static_cast<long>(count), scale, got.data());
        const uint64_t ref = width < 20 ? 1000 : (uint64_t{1} << 31); /* sums below and above 2^31 */
        grib_unpack::to_values_over(data.data(), first, width, static_cast<long>(count), ref, scale, over.data());
        for (size_t i = 0; i < count; ++i) {
          ASSERT_EQ(std::bit_cast<uint32_t>(got[i]), std::bit_cast<uint32_t>(scale(v[i]))) << "value " << i;
          ASSERT_EQ(std::bit_cast<uint32_t>(over[i]), std::bit_cast<uint32_t>(scale(v[i] + ref))) << "value " << i;
        }
      }
}

TEST(GribUnpack, NoBitsGiveTheScaledZero) {
  const std::vector<unsigned char> data(PAD, 0xFF);
  const Scale scale{1.0f, 1.0f, 273.15f};
  std::vector<float> out(5, 0);
  grib_unpack::to_values(data.data(), 3, 0, 5, scale, out.data());
  for (float x : out) EXPECT_EQ(x, 273.15f);
  grib_unpack::to_values_over(data.data(), 3, 0, 5, 7, scale, out.data());
  for (float x : out) EXPECT_EQ(x, scale(7));
}

TEST(GribUnpack, BitMapsFromEveryOffset) {
  std::mt19937 rng(5);
  std::vector<unsigned char> map(40 + PAD, 0);
  for (size_t i = 0; i < 40; ++i) map[i] = static_cast<unsigned char>(rng());
  map[10] = 0xFF; /* whole octets on and off */
  map[11] = 0;
  auto bit = [&](uint64_t i) { return (map[i >> 3] >> (7 - (i & 7))) & 1; };
  std::vector<float> vals(320);
  for (size_t i = 0; i < vals.size(); ++i) vals[i] = static_cast<float>(i) + 0.5f;
  const float miss = -9999;
  for (uint64_t from : {0, 1, 5, 8, 77}) /* 77: neither start nor end on an octet */
    for (long n : {0L, 1L, 7L, 64L, 65L, 230L}) {
      SCOPED_TRACE(testing::Message() << n << " bits from " << from);
      long want = 0;
      std::vector<float> expect;
      for (long i = 0; i < n; ++i) {
        const bool on = bit(from + static_cast<uint64_t>(i));
        expect.push_back(on ? vals[static_cast<size_t>(want)] : miss);
        want += on;
      }
      EXPECT_EQ(grib_unpack::count_bits(map.data(), from, n), want);
      std::vector<float> out(static_cast<size_t>(n) + 1, 1.25f);
      grib_unpack::expand(map.data(), from, n, vals.data(), miss, out.data());
      EXPECT_EQ(std::vector<float>(out.begin(), out.end() - 1), expect);
      EXPECT_EQ(out.back(), 1.25f) << "wrote past the row";
    }
}

TEST(GribUnpack, SharedRowPositionsLayOutAsTheRunningFraction) {
  const float miss = -9999;
  struct Case {
    int n, nx;
    std::vector<int> missing; /* values set to miss */
  };
  const std::vector<Case> cases = {
      {2, 2, {}},    {2, 1000, {}},     {999, 1000, {}}, {1000, 1000, {}},   {313, 501, {}},
      {7, 360, {3}}, {20, 97, {0, 19}}, {64, 65, {63}},  {500, 1000, {250}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n << " values over " << c.nx << " points");
    std::vector<float> vals(static_cast<size_t>(c.n));
    for (int i = 0; i < c.n; ++i) vals[static_cast<size_t>(i)] = 250 + 0.37f * static_cast<float>(i % 41) - 1e-3f * i;
    for (int m : c.missing) vals[static_cast<size_t>(m)] = miss;
    std::vector<float> want(static_cast<size_t>(c.nx)), got(static_cast<size_t>(c.nx));
    grib_unpack::stretch_stepped(vals.data(), c.n, want.data(), c.nx, miss);
    grib_unpack::Steps steps;
    grib_unpack::stepped_positions(c.n, c.nx, &steps);
    grib_unpack::stretch_by(vals.data(), steps, got.data(), c.nx, miss);
    for (int i = 0; i < c.nx; ++i)
      ASSERT_EQ(std::bit_cast<uint32_t>(got[static_cast<size_t>(i)]),
                std::bit_cast<uint32_t>(want[static_cast<size_t>(i)]))
          << "point " << i;
  }
}

} // namespace
