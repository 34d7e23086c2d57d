/*
 * STAND-IN for the plot frame's label style (module plt_tool), so that the
 * variable labels can be built before the plot frame exists. It keeps the
 * style in this file only; drop this file when plt_tool lands.
 */
#include "kez.h"

namespace {

struct StandinState {
  int label_type = 0; /* normal labels until "plot_param" says otherwise */
};

StandinState state;

} // namespace

int PLT_get_label_type() { return state.label_type; }

int PLT_set_label_type(int val) {
  state.label_type = val;
  return 0;
}
