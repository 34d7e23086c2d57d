/* Fuzz target: the format dispatch and the own image format's reader. */
#include "fuzz_image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_image_reader(data, size, IMG_read_kez);
  return fuzz_image_reader(data, size, IMG_read);
}
