/* Fuzz target: the X Window Dump reader. */
#include "fuzz_image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz_image_reader(data, size, XWD_read);
}
