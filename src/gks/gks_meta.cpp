/*
 * gks_meta: the metafile writer (device 3).
 *
 * The suite's text metafile, whose first line is "KEZMETA", lists every
 * kernel call with its arguments in world coordinates; the kernel's
 * primitives and setters write their records through gmeta_printf, which
 * writes only on the text form. The display list writes its picture here on
 * demand.
 */
#include <cstdarg>
#include <ctime>

#include "kez.h"
#include "kezgks.h"

namespace {

struct MetaState {
  FILE* out_file = nullptr;
  int append = 0;
  int meta_type = 0; /* 0 the text metafile, 1 the binary CGM */
};

MetaState state;

} // namespace

int gmeta_set_type(int type) {
  state.meta_type = type;
  return 0;
}

int gmeta_get_type() { return state.meta_type; }

FILE* gmeta_open_file(const char* name) {
  if (!name) return nullptr;
  if (state.out_file) {
    MESS_print(M_warn, "gmeta_open_file: a metafile is open already\n");
    return nullptr;
  }
  MESS_print(M_mess, "Creating metafile: %s\n", name);
  state.append = name[0] == '+' ? 1 : 0;
  state.out_file = state.append ? FILE_open(name + 1, "a") : FILE_open(name, "w");
  return state.out_file;
}

int gmeta_init_file() {
  if (!state.out_file || state.meta_type != 0) return 0;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  char date[64] = "";
  if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y\n", &local);
  std::fprintf(state.out_file, "KEZMETA\n");
  std::fprintf(state.out_file, "#Title: KEZ Graphics Display: %s\n", gget_win_title());
  std::fprintf(state.out_file, "#Creator: KEZ Metafile Processor-1.0\n");
  std::fprintf(state.out_file, "#CreationDate: %s", date);
  return 0;
}

int gmeta_printf(const char* format, ...) {
  if (!state.out_file || state.meta_type != 0 || !format) return 0;
  va_list args;
  va_start(args, format);
  std::vfprintf(state.out_file, format, args);
  va_end(args);
  return 0;
}

int gmeta_close_file() {
  if (!state.out_file) return -1;
  FILE_close(state.out_file);
  MESS_print(M_mess, "Created metafile\n");
  state.out_file = nullptr;
  return 0;
}
