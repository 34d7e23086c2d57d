/*
 * plt_labl_draw: drawing the corner labels at the end of a frame.
 *
 * PLT_labels takes the texts of the "label" resource into the store, then
 * draws the frame border and the stored texts through the plot frame: the
 * upper three above the plot area, the lower three below it, one line per
 * overlay, in a line height that the room beside the plot area allows.
 * Positions that the colour bar or the vector legend take are left out.
 */
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "gks.h"
#include "kez.h"
#include "kezcont.h"
#include "kezgks.h"
#include "plt_labl_impl.h"

using namespace plt_labl_impl;

namespace {

/* Plot-part switches the labels read. */
constexpr int PART_TEXT = 0;        /* any label text */
constexpr int PART_FIRST_LABEL = 1; /* 1 to 6: the positions */
constexpr int PART_BORDER = 11;
/* Label room of "fullab", page units. */
constexpr float FULLAB_ROOM = 0.06f;
constexpr float MIN_ROOM = 0.005f;
constexpr float MAX_LINE_FRACTION = 0.03f; /* of the plot area's height */
constexpr float CHAR_FRACTION = 0.75f;     /* character height of a line height */
constexpr float GAP_LINES = 0.2f;

constexpr const char* POSITION_KEYS[PLT_NUM_LABELS] = {"ul", "uc", "ur", "ll", "lc", "lr"};

/* The text of a "label" item: from the fourth character when the third is
 * ":", else from the fifth (after an overlay digit). */
const char* item_text(const char* item) {
  const size_t n = std::strlen(item);
  if (n >= 3 && item[2] == ':') return item + 3;
  return n >= 4 ? item + 4 : item + n;
}

} // namespace

int PLT_labels() {
  std::array<bool, PLT_NUM_LABELS> fixed{};
  int paramc = 0;
  char** paramv = nullptr;
  RES_getvals("label", &paramc, &paramv);
  for (int i = 0; i < paramc; ++i) {
    const char* item = paramv[i];
    PLT_set_overlay(0);
    const std::string text = PLT_label_format(item_text(item));
    for (int lab = 0; lab < PLT_NUM_LABELS; ++lab) {
      if (strnicmp(item, POSITION_KEYS[lab], 2) != 0) continue;
      if (item[2] == ':') {
        PLT_label_strcpy(lab, text.c_str());
        fixed[lab] = true;
      } else if (item[2] >= '0' && item[2] <= '9' && item[3] == ':') {
        PLT_set_overlay(item[2] - '0');
        PLT_label_strcpy(lab, text.c_str());
        PLT_set_overlay(0);
      }
      break;
    }
  }
  free_parsed_array(paramc, paramv);

  Gattribs attrib{};
  ATTRIB_init(&attrib);
  ATTRIB_get("color_text", gget_inverse() ? "black" : "white", &attrib);
  PLT_mess("Labels");
  GPH_trans(1);
  Glim panel{};
  GPH_get_view_size(&panel);
  GPH_line_attr(nullptr);
  GPH_text_attr(nullptr, 1);
  GPH_text_font(nullptr);
  GPH_line_attr(&attrib);

  Glim area{};
  PLT_get_view(&area);
  const bool full_lab = PLT_get_full_lab() != 0;
  const float room = full_lab ? FULLAB_ROOM : area.y_min - panel.y_min;
  if (PLT_get_border() == 1 && FLAG_getplot(PART_BORDER)) GPH_border(&area);
  if (room < MIN_ROOM) return -1;
  if (!FLAG_getplot(PART_TEXT)) return 0;

  const int lines = (state.lab_type >= 0 && state.num_over != 0) ? state.num_over : 1;
  const float height = area.y_max - area.y_min;
  const float lh = std::min(room / static_cast<float>(lines), MAX_LINE_FRACTION * height);
  GPH_text_attr(&attrib, CHAR_FRACTION * lh);
  const float gap = full_lab ? -(GAP_LINES + static_cast<float>(lines)) * lh : GAP_LINES * lh;
  const float width = area.x_max - area.x_min;
  const float xs[3] = {area.x_min + 0.01f * width, 0.5f * (area.x_min + area.x_max), area.x_max - 0.01f * width};
  const int aligns[3] = {GLEFT_HOR, GCENTER_HOR, GRIGHT_HOR};
  const float base = static_cast<float>(state.over_base) * lh;
  const float upper = area.y_max + gap + base;
  const float lower = area.y_min - gap - static_cast<float>(lines - 1) * lh - base;
  const bool bar = CONT_get_bar() >= 1;
  const bool vect = VECT_get_vect() >= 1;
  for (int lab = 0; lab < PLT_NUM_LABELS; ++lab) {
    if (!FLAG_getplot(PART_FIRST_LABEL + lab)) continue;
    const bool up = lab < 3;
    if (!up && lab < 5 && bar) continue;
    if (lab == 5 && vect) continue;
    GPH_text_align(aligns[lab % 3], up ? GBASE_VERT : GCAP_VERT);
    const int count = fixed[lab] ? 1 : lines;
    for (int k = 0; k < count; ++k) {
      const std::string& t = state.label[lab][k];
      if (t.empty()) continue;
      const Gpt pt{xs[lab % 3], (up ? upper : lower) + static_cast<float>(k) * lh};
      GPH_pprint(&pt, t.c_str());
    }
  }
  return 0;
}
