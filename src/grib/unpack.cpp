/*
 * The GRIB decoder's inner loops (unpack.h). Values are fetched as 64-bit
 * big-endian words; a kernel is instantiated for every width, so that in
 * runs of eight values starting on an octet (eight values of w bits fill
 * w octets) every shift is a constant. Scaling is done four or eight
 * values at a time with the compiler's vector types, in the same float
 * steps as one value at a time, so the results do not depend on the path.
 */
#include "unpack.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

namespace grib_unpack {

namespace {

using v4si = int32_t __attribute__((vector_size(16)));
using v4sf = float __attribute__((vector_size(16)));
using v8qu = uint8_t __attribute__((vector_size(8)));
using v8hu = uint16_t __attribute__((vector_size(16)));
using v8si = int32_t __attribute__((vector_size(32)));
using v8sf = float __attribute__((vector_size(32)));

constexpr long CHUNK = 512; /* integers unpacked before they are scaled */

inline uint64_t load_be64(const unsigned char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return __builtin_bswap64(w);
}

template <int W>
inline uint32_t value_at(const unsigned char* data, uint64_t pos) {
  return static_cast<uint32_t>((load_be64(data + (pos >> 3)) << (pos & 7)) >> (64 - W));
}

template <int W>
void integers(const unsigned char* data, uint64_t pos, long count, uint32_t* out) {
  long i = 0;
  /* A few single values bring most widths onto an octet. */
  for (; i < count && i < 8 && (pos & 7) != 0; ++i, pos += W) out[i] = value_at<W>(data, pos);
  if ((pos & 7) == 0) {
    const unsigned char* q = data + (pos >> 3);
    for (; i + 8 <= count; i += 8, q += W) {
#pragma GCC unroll 8
      for (int j = 0; j < 8; ++j)
        out[i + j] = static_cast<uint32_t>((load_be64(q + j * W / 8) << (j * W % 8)) >> (64 - W));
    }
    pos = static_cast<uint64_t>(q - data) * 8;
  }
  for (; i < count; ++i, pos += W) out[i] = value_at<W>(data, pos);
}

using IntegerKernel = void (*)(const unsigned char*, uint64_t, long, uint32_t*);

template <size_t... W>
constexpr std::array<IntegerKernel, sizeof...(W)> integer_kernels(std::index_sequence<W...>) {
  return {integers<static_cast<int>(W) + 1>...};
}
constexpr auto kernels = integer_kernels(std::make_index_sequence<MAX_WIDTH>());

void scale_ints(const int32_t* x, long n, const Scale& s, float* out) {
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    v4si v;
    std::memcpy(&v, x + i, sizeof v);
    v4sf f = __builtin_convertvector(v, v4sf);
    f = s.ds * (f * s.sf + s.rf);
    std::memcpy(out + i, &f, sizeof f);
  }
  for (; i < n; ++i) out[i] = s.ds * (static_cast<float>(x[i]) * s.sf + s.rf);
}

/* x[i] below 2^31 convert as signed integers. */
void scale_small(const uint32_t* x, long n, const Scale& s, float* out) {
  scale_ints(reinterpret_cast<const int32_t*>(x), n, s, out);
}

void values_of_octets(const unsigned char* q, long n, const Scale& s, float* out) {
  long i = 0;
  for (; i + 8 <= n; i += 8, q += 8) {
    v8qu v;
    std::memcpy(&v, q, sizeof v);
    v8sf f = __builtin_convertvector(__builtin_convertvector(v, v8si), v8sf);
    f = s.ds * (f * s.sf + s.rf);
    std::memcpy(out + i, &f, sizeof f);
  }
  for (; i < n; ++i, ++q) out[i] = s(*q);
}

void values_of_pairs(const unsigned char* q, long n, const Scale& s, float* out) {
  long i = 0;
  for (; i + 8 <= n; i += 8, q += 16) {
    v8hu v;
    std::memcpy(&v, q, sizeof v);
    v = static_cast<v8hu>((v << 8) | (v >> 8)); /* big-endian pairs */
    v8sf f = __builtin_convertvector(__builtin_convertvector(v, v8si), v8sf);
    f = s.ds * (f * s.sf + s.rf);
    std::memcpy(out + i, &f, sizeof f);
  }
  for (; i < n; ++i, q += 2) out[i] = s(static_cast<unsigned>(q[0] << 8 | q[1]));
}

} // namespace

void to_integers(const unsigned char* data, uint64_t pos, int width, long count, uint32_t* out) {
  if (count <= 0) return;
  if (width <= 0 || width > MAX_WIDTH) {
    std::fill(out, out + count, 0u);
    return;
  }
  kernels[static_cast<size_t>(width - 1)](data, pos, count, out);
}

void to_values(const unsigned char* data, uint64_t pos, int width, long count, const Scale& scale, float* out) {
  if (count <= 0) return;
  if (width <= 0 || width > MAX_WIDTH) {
    std::fill(out, out + count, scale(0));
    return;
  }
  if ((pos & 7) == 0 && width == 8) return values_of_octets(data + (pos >> 3), count, scale, out);
  if ((pos & 7) == 0 && width == 16) return values_of_pairs(data + (pos >> 3), count, scale, out);
  uint32_t x[CHUNK];
  for (long done = 0; done < count;) {
    const long n = std::min(CHUNK, count - done);
    kernels[static_cast<size_t>(width - 1)](data, pos, n, x);
    if (width < MAX_WIDTH)
      scale_small(x, n, scale, out + done);
    else
      for (long i = 0; i < n; ++i) out[done + i] = scale(x[i]);
    pos += static_cast<uint64_t>(n) * static_cast<unsigned>(width);
    done += n;
  }
}

void to_values_over(const unsigned char* data, uint64_t pos, int width, long count, uint64_t ref, const Scale& scale,
                    float* out) {
  if (count <= 0) return;
  if (width <= 0 || width > MAX_WIDTH) {
    std::fill(out, out + count, scale(ref));
    return;
  }
  /* The sums stay below 2^31 in nearly every field: added and converted
   * four at a time. */
  const bool small = ref + ((uint64_t{1} << width) - 1) < (uint64_t{1} << 31);
  uint32_t x[CHUNK];
  for (long done = 0; done < count;) {
    const long n = std::min(CHUNK, count - done);
    kernels[static_cast<size_t>(width - 1)](data, pos, n, x);
    if (small) {
      const uint32_t r = static_cast<uint32_t>(ref);
      for (long i = 0; i < n; ++i) x[i] += r;
      scale_small(x, n, scale, out + done);
    } else {
      for (long i = 0; i < n; ++i) out[done + i] = scale(x[i] + ref);
    }
    pos += static_cast<uint64_t>(n) * static_cast<unsigned>(width);
    done += n;
  }
}

void scale_signed(const int32_t* x, long count, const Scale& scale, float* out) {
  if (count > 0) scale_ints(x, count, scale, out);
}

long count_bits(const unsigned char* map, uint64_t from, long n) {
  long count = 0;
  uint64_t i = from;
  const uint64_t end = from + static_cast<uint64_t>(std::max(n, 0L));
  for (; i < end && (i & 7) != 0; ++i) count += (map[i >> 3] >> (7 - (i & 7))) & 1;
  for (; i + 64 <= end; i += 64) {
    uint64_t w;
    std::memcpy(&w, map + (i >> 3), sizeof w);
    count += __builtin_popcountll(w);
  }
  for (; i + 8 <= end; i += 8) count += __builtin_popcount(map[i >> 3]);
  for (; i < end; ++i) count += (map[i >> 3] >> (7 - (i & 7))) & 1;
  return count;
}

void expand(const unsigned char* map, uint64_t from, long n, const float* vals, float miss, float* out) {
  long i = 0;
  auto one = [&](uint64_t bit) { out[i++] = (map[bit >> 3] >> (7 - (bit & 7))) & 1 ? *vals++ : miss; };
  while (i < n && ((from + static_cast<uint64_t>(i)) & 7) != 0) one(from + static_cast<uint64_t>(i));
  while (i + 8 <= n) {
    const unsigned octet = map[(from + static_cast<uint64_t>(i)) >> 3];
    if (octet == 0xFF) {
      std::copy(vals, vals + 8, out + i);
      vals += 8;
      i += 8;
    } else if (octet == 0) {
      std::fill(out + i, out + i + 8, miss);
      i += 8;
    } else {
      for (int b = 7; b >= 0; --b) out[i++] = (octet >> b) & 1 ? *vals++ : miss;
    }
  }
  while (i < n) one(from + static_cast<uint64_t>(i));
}

void stretch_exact(const float* vals, int n, float* row, int nx, float miss) {
  if (n == nx) {
    std::copy(vals, vals + n, row);
    return;
  }
  if (n <= 0) {
    std::fill(row, row + nx, miss);
    return;
  }
  if (n == 1 || nx == 1) {
    std::fill(row, row + nx, vals[0]);
    return;
  }
  /* Point i lies at i * (n - 1) / (nx - 1) in values: a whole part a and a
   * remainder r, stepped in integers (a summed float fraction drifts and
   * would let a missing neighbour blank a point lying on a value). */
  const int d = nx - 1, s = n - 1;
  const float fd = static_cast<float>(d);
  /* A row without missing, infinite or negative zero values takes every
   * point from the formula: on a value (r = 0) it gives that value. */
  bool plain = true;
  for (int k = 0; k < n; ++k) {
    const float v = vals[k];
    plain &= v != miss && std::isfinite(v) && !(v == 0 && std::signbit(v));
  }
  int a = 0, r = 0;
  if (plain) {
    for (int i = 0; i < d; ++i) {
      const float fr = static_cast<float>(r) / fd;
      row[i] = fr * vals[a + 1] + (1 - fr) * vals[a];
      r += s;
      if (r >= d) {
        r -= d;
        ++a;
      }
    }
    row[d] = vals[n - 1];
    return;
  }
  for (int i = 0; i <= d; ++i) {
    const float va = vals[a];
    if (r == 0) {
      row[i] = va;
    } else {
      const float vb = vals[a + 1];
      const float fr = static_cast<float>(r) / fd;
      row[i] = (va == miss || vb == miss) ? miss : fr * vb + (1 - fr) * va;
    }
    r += s;
    if (r >= d) {
      r -= d;
      ++a;
    }
  }
}

void stretch_stepped(const float* vals, int n, float* row, int nx, float miss) {
  if (n <= 0) {
    std::fill(row, row + nx, miss);
    return;
  }
  if (n == 1 || nx == 1) {
    std::fill(row, row + nx, vals[0]);
    return;
  }
  const float step = static_cast<float>(n - 1) / static_cast<float>(nx - 1);
  float a = vals[0], b = vals[1], fr = 0;
  int used = 2;
  for (int i = 0; i < nx; ++i) {
    if (fr >= 1 && used < n) {
      a = b;
      b = vals[used++];
      fr -= 1;
    }
    row[i] = (a == miss || b == miss) ? miss : fr * b + (1 - fr) * a;
    fr += step;
  }
}

void stepped_positions(int n, int nx, Steps* out) {
  out->left.resize(static_cast<size_t>(nx));
  out->frac.resize(static_cast<size_t>(nx));
  const float step = static_cast<float>(n - 1) / static_cast<float>(nx - 1);
  float fr = 0;
  int used = 2;
  for (int i = 0; i < nx; ++i) {
    if (fr >= 1 && used < n) {
      ++used;
      fr -= 1;
    }
    out->left[static_cast<size_t>(i)] = used - 2;
    out->frac[static_cast<size_t>(i)] = fr;
    fr += step;
  }
}

void stretch_by(const float* vals, const Steps& steps, float* row, int nx, float miss) {
  const int32_t* left = steps.left.data();
  const float* frac = steps.frac.data();
  const int n = left[nx - 1] + 2;
  if (std::find(vals, vals + n, miss) == vals + n) {
    for (int i = 0; i < nx; ++i) {
      const float a = vals[left[i]], b = vals[left[i] + 1], fr = frac[i];
      row[i] = fr * b + (1 - fr) * a;
    }
    return;
  }
  for (int i = 0; i < nx; ++i) {
    const float a = vals[left[i]], b = vals[left[i] + 1], fr = frac[i];
    row[i] = (a == miss || b == miss) ? miss : fr * b + (1 - fr) * a;
  }
}

} // namespace grib_unpack
