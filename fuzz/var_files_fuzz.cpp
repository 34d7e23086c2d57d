/*
 * The variable vocabulary's files and lookups: the program's definition and
 * menu file ("fuzz.var"), the data-source table "source.lup" and the
 * model-name table "mod_name.lup", with the lookups a program makes in them,
 * the plot-type decoder and the variable menu answered from the input. The
 * input is cut at NUL bytes into
 *   0  the definition file,
 *   1  "source.lup",
 *   2  "mod_name.lup",
 *   3  lookups, one a line: an abbreviation, a source number, a model code,
 *      a plot-type word,
 *   4  typed answers to the variable menu,
 *   5  the display texts (model, level, time) the menu conditions test, one a
 *      line,
 *   6  bytes: the forced plot type, the menu's flags.
 * Two folders take turns, so that each input's tables are read afresh.
 */
#include "kez_fuzz.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

void put(const std::string& dir, const char* name, const std::string& text) {
  if (FILE* fp = std::fopen((dir + "/" + name).c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), fp);
    std::fclose(fp);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int turn = 0;
  static std::string folder[2];
  static const bool ready = [] {
    kez_fuzz::quiet();
    /* The menu is printed on the standard output. */
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("var_files_fuzz: stdout");
    for (int i = 0; i < 2; ++i) {
      folder[i] = kez_fuzz::scratch_dir() + "/" + std::to_string(i);
      const std::string cmd = "mkdir -p '" + folder[i] + "'";
      if (std::system(cmd.c_str()) != 0) std::perror("var_files_fuzz: mkdir");
    }
    return true;
  }();
  (void)ready;
  const auto p = kez_fuzz::parts(data, size, 7);
  if (!kez_fuzz::feed_answers(p[4])) return -1;
  turn ^= 1;
  const std::string& dir = folder[turn];
  put(dir, "fuzz.var", p[0]);
  put(dir, "source.lup", p[1]);
  put(dir, "mod_name.lup", p[2]);
  RES_put("file_path", dir.c_str());

  const auto queries = kez_fuzz::lines_of(p[3]);
  auto query = [&](size_t i) { return i < queries.size() ? queries[i] : std::string(); };
  const auto context = kez_fuzz::lines_of(p[5]);
  auto shown = [&](size_t i) { return i < context.size() ? context[i] : std::string(); };
  const unsigned char forced = p[6].size() > 0 ? static_cast<unsigned char>(p[6][0]) : 0;
  const unsigned char flags = p[6].size() > 1 ? static_cast<unsigned char>(p[6][1]) : 1;

  VAR_set_model_str(shown(0).c_str());
  VAR_set_level_str(shown(1).c_str());
  VAR_set_time_str(shown(2).c_str());
  VAR_open_file("fuzz.var");
  VAR_read_menu();
  char name[128];
  VAR_search_name_file(query(0).c_str(), name, sizeof name);
  VAR_search_name_file("stnmdl", name, 8);
  VAR_print_file();

  char text[64];
  VAR_source(text, std::atoi(query(1).c_str()), sizeof text);
  VAR_source(text, 7, 4);
  std::string model;
  VAR_model(&model, std::atoi(query(2).c_str()));
  char model_c[VAR_MODEL_LEN];
  VAR_model(model_c, 7002);

  constexpr int plot_types[] = {KEZ_MISS, 0, 15, 99, 12, 62};
  FLAG_set(FLAG_PLOT_TYPE, plot_types[forced % 6]);
  VAR_data rec;
  VAR_data_init(&rec);
  rec.type = (forced >> 3) % 2 ? VAR_TYPE_WIND : VAR_TYPE_VALUE;
  VAR_dec_format(query(3).c_str(), &rec);
  VAR_print_type(rec.type);

  FLAG_set_batch(0);
  char answer[MENU_STRING_LEN];
  VAR_menu("Variables", "Enter: ", answer, flags & 7);
  FLAG_set(FLAG_PLOT_TYPE, KEZ_MISS);
  return 0;
}
