/*
 * STAND-IN (branch i42): the plot-frame and map-drawing calls that the
 * contour module makes, under their real names, until the plot frame
 * (plt_tool, plt_labl) and the map backgrounds (map) land and replace this
 * file. The labels are kept for overlay 0 only.
 */
#include <string>

#include "gks.h"
#include "kez.h"
#include "kezgks.h"

namespace {

struct {
  int fill_cont = 0;
  int label_type = 0;
  std::string labels[6];
} state;

} // namespace

float MAP_get_vert() {
  Glim win{};
  GPH_get_win(2, &win);
  return win.y_max - win.y_min;
}

int MAP_fill_cont(int value) {
  state.fill_cont = value;
  return 0;
}

int PLT_get_view(Glim* view) {
  if (view) *view = Glim{0.0f, 1.0f, 0.0f, 1.0f};
  return 0;
}

int PLT_get_label_type() { return state.label_type; }

int PLT_set_label_type(int val) {
  state.label_type = val;
  return 0;
}

int PLT_label_up_left(const char* str) {
  state.labels[0] = str ? str : "";
  return 0;
}

int PLT_label_up_right(const char* str) {
  state.labels[2] = str ? str : "";
  return 0;
}

int PLT_label_low_left(const char* str) {
  state.labels[3] = str ? str : "";
  return 0;
}

int PLT_label_low_right(const char* str) {
  state.labels[5] = str ? str : "";
  return 0;
}

const char* PLT_get_label(int lab, int over) {
  if (lab < 0 || lab > 5 || over != 0) return "";
  return state.labels[lab].c_str();
}
