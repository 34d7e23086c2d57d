/*
 * Fuzz target of the variable-string parser and the definition file: the
 * input is a definition file, a NUL byte and a variable string (without a
 * NUL byte the whole input is the string). The plot-type flag and the
 * default flags take values from the input's last byte so that both the
 * forced and the free typing paths run; its bits 4-5 pick the label style.
 * Each field of the string (between "," and ":") goes through the
 * single-field decoders as well, and the codes they give through the
 * labels, the short texts and the level encoder.
 */
#include "kez.h"
#include "kezgrd.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string fuzz_dir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/kez-var-fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return std::string(d ? d : "/tmp");
  }();
  return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    MESS_set(0, 0); /* quiet: the messages are not under test */
    GRD_calc_register();
    FLAG_reset(KEZ_MISS);
    std::string dir = fuzz_dir();
    RES_put("file_path", dir.c_str());
    FILE* fp = std::fopen((dir + "/variable.lup").c_str(), "w");
    if (fp) {
      std::fputs("11 temp Temperature\n17 dewp Dew point\n33,34 u u wind\n34 v v wind\n", fp);
      std::fclose(fp);
    }
    return true;
  }();
  (void)ready;
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string defs, list = input;
  size_t nul = input.find('\0');
  if (nul != std::string::npos) {
    defs = input.substr(0, nul);
    list = input.substr(nul + 1);
    list = list.substr(0, list.find('\0'));
  }
  std::string path = fuzz_dir() + "/fuzz.var";
  if (FILE* fp = std::fopen(path.c_str(), "wb")) {
    std::fwrite(defs.data(), 1, defs.size(), fp);
    std::fclose(fp);
  }
  int last = size ? data[size - 1] : 0;
  FLAG_set(11, last % 3 == 0 ? KEZ_MISS : last % 3 == 1 ? 15 : 99);
  FLAG_set(6, last & 4 ? 24 : KEZ_MISS);
  FLAG_set(7, last & 8 ? 100 : KEZ_MISS);
  FLAG_set(8, 500);
  constexpr int label_styles[] = {PLT_LAB_NORM, PLT_LAB_SIMP, PLT_LAB_COMP, PLT_LAB_MIN};
  PLT_set_label_type(label_styles[(last >> 4) & 3]);
  VAR_setup("fuzz.var", list.c_str());
  if (VAR_get_num() < 0 || VAR_get_num() > VAR_MAX_RECORDS) std::abort();
  for (int i = 0; i < VAR_get_num(); ++i) {
    const VAR_data* d = VAR_get_var(i);
    if (!d || std::char_traits<char>::length(d->name) > VAR_NAME_LEN ||
        std::char_traits<char>::length(d->units) > VAR_UNITS_LEN ||
        std::char_traits<char>::length(d->format) > VAR_FORMAT_LEN)
      std::abort();
  }
  /* The definition file as a menu, with the list as the display texts. */
  VAR_set_model_str(list.c_str());
  VAR_set_level_str(defs.c_str());
  VAR_read_menu();
  VAR_menu_display(list.c_str(), defs.c_str());
  char label[128];
  for (int i = 0; i < VAR_get_num(); ++i) VAR_make_var_form_datatype(i, label, sizeof label);

  /* What the plotting and grid components ask of each record. */
  using Test = int (*)(int);
  constexpr Test tests[] = {
      VAR_is_REG,       VAR_is_SUBREG,         VAR_is_FUNC,      VAR_is_SUBFUNC,   VAR_is_COMP,
      VAR_is_VECT,      VAR_is_SUBFUNC_VECT,   VAR_is_FUNC_VECT, VAR_is_CALC,      VAR_is_SUBCALC,
      VAR_is_LABEL,     VAR_is_PLOT,           VAR_is_SUBPLOT,   VAR_is_DATA,      VAR_is_plot_VECT,
      VAR_is_plot_FUNC, VAR_is_plot_FUNC_VECT, VAR_is_plot_PLOT, VAR_is_plot_GRID, VAR_is_subplot_GRID,
      VAR_is_type_MAP,  VAR_is_FRAME,          VAR_is_PANEL,     VAR_is_type_PLOT, VAR_is_type_GRID,
      VAR_is_type_CONT, VAR_is_plot_CONT,      VAR_is_type_VECT, VAR_is_calc_GRID, VAR_is_fit_GRID,
      VAR_is_get_GRID};
  for (int i = -1; i <= VAR_get_num(); ++i) {
    for (Test test : tests) test(i);
    VAR_get_level_key(i);
    VAR_get_time_key(i);
    VAR_make_var_datatype(i, label, sizeof label);
    if (const VAR_data* d = VAR_get_var(i)) {
      VAR_make_vardata_form_datatype(d, label, sizeof label);
      VAR_print_info(M_debug, d);
      float l1 = 0, l2 = 0;
      if (VAR_get_level(d->ltype, d->level, &l1, &l2) == 0) {
        int lt = 0, lv = 0;
        VAR_enc_level(d->ltype, l1, l2, &lt, &lv);
      }
    }
  }
  VAR_print_all(M_debug);

  /* The single-field decoders on the raw string as well; a decoded time
   * reads back from its short text. */
  int t = 0, lt = 0, lv = 0;
  if (VAR_dec_time(list.c_str(), &t) == 2) {
    char text[64];
    int back = 0;
    VAR_time(text, t, sizeof text);
    if (VAR_dec_time(text, &back) != 2 || back != t) std::abort();
  }
  if (VAR_dec_level(list.c_str(), &lt, &lv) == 2) {
    VAR_level(label, lt, lv, sizeof label);
    VAR_make_datalevel(t, lt, lv, label, sizeof label);
  }
  VAR_data rec;
  VAR_data_init(&rec);
  VAR_dec_var(list.c_str(), &rec);

  /* The fields one at a time, as the decoders see them outside a parse:
   * the text between "," and ":", escaping backslashes removed. */
  std::vector<std::string> fields;
  std::string field;
  for (size_t i = 0; i < list.size(); ++i) {
    const char c = list[i];
    if (c == '\\' && i + 1 < list.size()) {
      field += list[++i];
    } else if (c == ',' || c == ':') {
      if (!field.empty()) fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  if (!field.empty()) fields.push_back(field);
  if (fields.size() > 64) fields.resize(64);
  float prev = KEZ_FMISS;
  for (const std::string& f : fields) {
    int ft = 0, flt = KEZ_MISS, flv = KEZ_MISS;
    if (VAR_dec_time(f.c_str(), &ft) > 0) {
      VAR_time(label, ft, sizeof label);
      VAR_make_datalevel(ft, VAR_LEV_PRES, 500, label, sizeof label);
    }
    if (VAR_dec_level(f.c_str(), &flt, &flv) > 0) {
      VAR_level(label, flt, flv, sizeof label);
      VAR_make_datalevel(0, flt, flv, label, sizeof label);
      float l1 = 0, l2 = 0;
      VAR_get_level(flt, flv, &l1, &l2);
      int lt = 0, lv = 0;
      constexpr int coords[] = {VAR_LEV_SFC, VAR_LEV_PRES, VAR_LEV_HGT,  VAR_LEV_AGL,  VAR_LEV_THETA,
                                VAR_LEV_PAG, VAR_LEV_SIG,  VAR_LEV_HLYR, VAR_LEV_TLYR, VAR_LEV_PAGLYR};
      for (int coord : coords) {
        VAR_enc_level(coord, l1, l2, &lt, &lv);
        VAR_enc_level(coord, l1, prev, &lt, &lv);
      }
      prev = l1;
    }
    VAR_data_init(&rec);
    VAR_dec_format(f.c_str(), &rec);
    VAR_print_type(rec.type);
    VAR_data_init(&rec);
    const int v = VAR_dec_var(f.c_str(), &rec);
    if (v != KEZ_MISS) {
      VAR_str(label, v, f.c_str(), sizeof label);
      VAR_abbr(label, v, sizeof label);
      VAR_make_datatype(ft, flt, flv, v, "", label, sizeof label);
      VAR_make_devtype(ft, flt, flv, f.c_str(), "m", label, sizeof label);
    }
  }
  return 0;
}
