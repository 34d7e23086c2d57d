/*
 * plt_labl_impl: the label store that plt_labl.cpp keeps and
 * plt_labl_draw.cpp draws. Internal to the module; the store is defined in
 * plt_labl.cpp.
 */
#ifndef PLT_LABL_IMPL_H
#define PLT_LABL_IMPL_H

#include <array>
#include <string>

#include "kez.h"

namespace plt_labl_impl {

/* The label store: one text per position and overlay. */
using LabelTexts = std::array<std::array<std::string, PLT_NUM_OVERLAYS>, PLT_NUM_LABELS>;

struct LabelState {
  LabelTexts label;
  std::array<int, PLT_NUM_LABELS> label_ind{};
  int overlay = 0;
  int over_base = 0;
  int num_over = 0;
  int lab_type = 0;
  Date date{KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS, KEZ_MISS};
  long fhour = 0;
};

extern LabelState state;

} // namespace plt_labl_impl

#endif
