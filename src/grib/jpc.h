/*
 * JPEG 2000 code streams of GRIB edition 2 fields: the small interface the
 * decoder sees, so the codec underneath can change without touching it.
 */
#ifndef KEZ_GRIB_JPC_H
#define KEZ_GRIB_JPC_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct JpcImage {
  long x0 = 0, y0 = 0;          /* top-left corner on the reference grid */
  long width = 0, height = 0;   /* bottom-right corner less top-left */
  std::vector<int32_t> samples; /* component 0, row by row */
};

/* Decodes the code stream data[0..len) into image. The header is checked
 * before anything is decoded: at least one component, a precision of 1 to
 * 31 bits and width x height at most max_samples; false (image empty, no
 * message printed) when it fails those checks or cannot be decoded. */
bool JPC_decode(const unsigned char* data, size_t len, long long max_samples, JpcImage* image);

#endif
