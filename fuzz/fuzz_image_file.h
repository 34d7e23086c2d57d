/*
 * Shared by the image readers' fuzz targets: the input becomes a file that
 * looks long finished (so no reader waits for it to grow), the reader runs
 * on it for the whole image and for the header only, and what it read is
 * released.
 */
#ifndef KEZ_FUZZ_IMAGE_FILE_H
#define KEZ_FUZZ_IMAGE_FILE_H

#include <unistd.h>
#include <utime.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kez.h"
#include "kezimg.h"

inline int fuzz_image_reader(const uint8_t* data, size_t size, int (*reader)(const char*, IMG_report*, int)) {
  static bool quiet = (MESS_set(0, M_none), true);
  (void)quiet;
  char path[] = "/tmp/kez-image-fuzz-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  struct utimbuf old_times {
    1000000000, 1000000000
  };
  utime(path, &old_times);
  for (int type = 0; type <= 1; ++type) {
    IMG_report image;
    std::memset(&image, 0, sizeof image);
    IMG_init(&image);
    image.depth = 32;
    reader(path, &image, type);
    IMG_free(&image);
  }
  unlink(path);
  return 0;
}

#endif
