/*
 * The GRIB decoder's inner loops, kept apart from its state: packed values
 * of a fixed width to integers or to scaled values, counts and expansion
 * over a bit map, and thinned rows laid out at full length. They know
 * nothing of messages; the decoder checks every count and position before
 * it calls them.
 *
 * Packed data is always padded: at least 8 readable octets follow the
 * octet that holds the first bit of the last value read, so a value is
 * fetched as one 64-bit word whatever its width and position.
 */
#ifndef KEZ_GRIB_UNPACK_H
#define KEZ_GRIB_UNPACK_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace grib_unpack {

constexpr size_t PAD = 8;     /* octets of padding after packed data */
constexpr int MAX_WIDTH = 32; /* widest packed value */

/* How a packed integer x becomes a value: ds * (x * sf + rf), each step
 * rounded to float (the decoder's values depend on that order). */
struct Scale {
  float ds = 1, sf = 1, rf = 0;
  float operator()(uint64_t x) const { return ds * (static_cast<float>(x) * sf + rf); }
};

/* count values of width bits (0 to MAX_WIDTH; 0 gives zeros) from bit pos
 * of data on, into out. */
void to_integers(const unsigned char* data, uint64_t pos, int width, long count, uint32_t* out);

/* The same values scaled. */
void to_values(const unsigned char* data, uint64_t pos, int width, long count, const Scale& scale, float* out);

/* The same values over a reference: x + ref scaled (ref below 2^32). */
void to_values_over(const unsigned char* data, uint64_t pos, int width, long count, uint64_t ref, const Scale& scale,
                    float* out);

/* Signed integers scaled. */
void scale_signed(const int32_t* x, long count, const Scale& scale, float* out);

/* The set bits of map (most significant bit first) in [from, from + n). */
long count_bits(const unsigned char* map, uint64_t from, long n);

/* out[i], i < n: for a set bit at from + i the next of vals, else miss. */
void expand(const unsigned char* map, uint64_t from, long n, const float* vals, float miss, float* out);

/* A thinned row of n values laid over nx points (n <= nx) at their exact
 * positions, each point interpolated between its two neighbours (missing
 * when either is); a row without values is missing, a row of one value
 * holds it everywhere. */
void stretch_exact(const float* vals, int n, float* row, int nx, float miss);

/* The same with positions stepped by a running float fraction (edition 1
 * rows: values already stored depend on that rounding). */
void stretch_stepped(const float* vals, int n, float* row, int nx, float miss);

/* The positions stretch_stepped gives the points of a row of n >= 2 values
 * over nx >= 2 points: for point i the value on its left and the fraction
 * of the way to the next. They depend on n and nx alone, so the rows of
 * one length share them, and laying a row out with them is no longer tied
 * to the running fraction. */
struct Steps {
  std::vector<int32_t> left;
  std::vector<float> frac;
};
void stepped_positions(int n, int nx, Steps* out);

/* stretch_stepped of a row of n values with the positions of n and nx. */
void stretch_by(const float* vals, const Steps& steps, float* row, int nx, float miss);

} // namespace grib_unpack

#endif
