/*
 * standin_i46: STAND-IN for the file table of grd_read until that module
 * lands (the lead drops this file then).
 *
 * GRD_get_gfile hands out one of GRD_MAX_FILES records that a caller (the
 * GRIB decoder's tests) fills in itself; GRD_get_pos returns the offset that
 * the caller last stored in grd_standin_pos, as the real reader stores the
 * start of the record it read last.
 */
#include "kezgrd.h"

long grd_standin_pos = 0; /* stand-in only: the tests' reader sets it */

namespace {

struct StandinState {
  GRD_file files[GRD_MAX_FILES] = {};
};

StandinState state;

} // namespace

GRD_file* GRD_get_gfile(int ind) {
  if (ind < 0 || ind >= GRD_MAX_FILES) return nullptr;
  return &state.files[ind];
}

long GRD_get_pos(int grd_fd) {
  (void)grd_fd;
  return grd_standin_pos;
}
