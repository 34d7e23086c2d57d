/* Stroke-font files and font lists: kez.fnl, a list file named with "fi:"
 * and the "font_list" text. */
#include "kez_fuzz.h"
#include "kezgks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kez_fuzz::quiet();
  const auto p = kez_fuzz::parts(data, size, 3);
  kez_fuzz::write_file("fuzz.fnt", reinterpret_cast<const uint8_t*>(p[0].data()), p[0].size());
  kez_fuzz::write_file("kez.fnl", reinterpret_cast<const uint8_t*>(p[1].data()), p[1].size());
  kez_fuzz::write_file("list.fnl", reinterpret_cast<const uint8_t*>(p[1].data()), p[1].size());
  RES_put("file_path", kez_fuzz::scratch_dir().c_str());
  read_font("fuzz.fnt");
  gget_font_index(p[2].c_str());
  gget_font_index("1");
  /* The font list of a workstation open: from the bundled-style list file,
   * from a "fi:" list file, and from the text itself. */
  gset_font_list("");
  RES_put("font_list", "");
  gsetup_fonts();
  gset_font_list("fi:list.fnl");
  gsetup_fonts();
  gset_font_list(p[2].c_str());
  gsetup_fonts();
  gget_font_index(p[2].c_str());
  return 0;
}
