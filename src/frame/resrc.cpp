/*
 * resrc: the resource store.
 *
 * A resource is a name with a value text, kept in one process-wide list in
 * the order in which names first appeared and read by name at the point of
 * use. No resource has a built-in value: each reader states its own
 * fallback. The converters turn a value into a typed value for a caller or
 * act on the process (flags, message level, plot-part switches, output
 * device). Nothing is ever removed from the list; replacing a value frees
 * the old value text.
 */
#include "kez.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

struct Resource {
  int index = -9999;       /* definition position, -9999 without one */
  std::string name;
  bool has_data = false;   /* a resource can exist without a value */
  std::string data;
  DEF_convert cvt = CV_string;
};

struct ResourceState {
  std::vector<std::unique_ptr<Resource>> list; /* in order of first appearance */
  int clargc = 0;
  char** clargv = nullptr;
};

ResourceState state;

Resource* find(const char* name) {
  if (!name) return nullptr;
  for (auto& res : state.list)
    if (res->name == name) return res.get();
  return nullptr;
}

Resource* find_or_add(const char* name) {
  Resource* res = find(name);
  if (res) return res;
  auto made = std::make_unique<Resource>();
  made->name = name;
  state.list.push_back(std::move(made));
  return state.list.back().get();
}

struct PlotTypeWord {
  const char* word;
  int type;
};

constexpr PlotTypeWord plot_type_words[] = {
    {"raw", 0},    {"none", 99},  {"value", 17}, {"gvalue", 17}, {"cf", 15},    {"lcf", 16},
    {"ln", 12},    {"dln", 13},   {"ndln", 14},  {"vect", 21},   {"barb", 22},  {"strm", 23},
    {"stream", 23}, {"an", 54},   {"number", 54}, {"pm", 55},    {"stuve", 61}, {"skewt", 62},
    {"ema", 63},   {"teph", 64},  {"rteph", 65}, {"hodo", 69},
};

struct DrawWord {
  const char* word;
  int part;
};

constexpr DrawWord draw_words[] = {
    {"text_ul", 1}, {"text_uc", 2}, {"text_ur", 3}, {"text_ll", 4}, {"text_lc", 5},
    {"text_lr", 6}, {"data", 7},    {"map", 8},     {"grid", 9},    {"sum", 10},
    {"bord", 11},
};

void convert_draw(const char* value) {
  int argc = 0;
  char** argv = nullptr;
  if (parse_string(value, ',', &argc, &argv) != 0) return;
  for (int i = 0; i < argc; ++i) {
    const char* item = argv[i];
    int on = 1;
    if (*item == '+' || *item == '-') {
      on = *item == '+' ? 1 : 0;
      ++item;
    } else if (i == 0) {
      FLAG_resetplot(0);
    }
    if (stricmp(item, "none") == 0) {
      FLAG_setplot(12, 0);
    } else if (stricmp(item, "all") == 0) {
      FLAG_setplot(12, 1);
    } else if (stricmp(item, "text") == 0) {
      FLAG_setplot(0, on);
      FLAG_setplot(11, on);
    } else {
      for (const DrawWord& dw : draw_words) {
        if (stricmp(item, dw.word) == 0) {
          FLAG_setplot(dw.part, on);
          break;
        }
      }
    }
  }
  free_parsed_array(argc, argv);
}

bool starts_number(const char* text) {
  return (*text >= '0' && *text <= '9') || *text == '+' || *text == '-';
}

} // namespace

int RES_new(int index, const char* name, const char* data, DEF_convert cvt) {
  if (!name) return -1;
  try {
    Resource* res = find_or_add(name);
    res->has_data = data != nullptr;
    res->data = data ? data : "";
    res->index = index;
    res->cvt = cvt;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

int RES_append(int index, const char* name, const char* data, DEF_convert cvt) {
  if (!name) return -1;
  Resource* res = find(name);
  if (!res) return RES_new(index, name, data, cvt);
  if (!data) return 0;
  try {
    if (res->has_data)
      res->data += std::string("\n") + data;
    else
      res->data = data;
    res->has_data = true;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

int RES_put(const char* name, const char* value) { return RES_new(-9999, name, value, CV_string); }

char* RES_get(const char* name) {
  Resource* res = find(name);
  return res ? res->data.data() : nullptr;
}

int RES_getval(const char* name, void* data, DEF_convert cvt) {
  Resource* res = find(name);
  if (!res || !data) return 0;
  return RES_conv_data(res->has_data ? res->data.data() : nullptr, data, cvt);
}

int RES_getvals(const char* name, int* paramc, char*** paramv) {
  if (paramc) *paramc = 0;
  if (!paramv) return 0;
  *paramv = nullptr;
  Resource* res = find(name);
  if (!res || !res->has_data) return 0;
  int argc = 0;
  if (parse_string(res->data.c_str(), res->cvt == CV_strings ? '\n' : ',', &argc, paramv) != 0)
    return 0;
  if (paramc) *paramc = argc;
  return argc;
}

int RES_conv_data(char* data, void* out, DEF_convert cvt) {
  switch (cvt) {
  case CV_batch:
    FLAG_set(19, 1);
    if (MESS_check_set() == 0) MESS_set(0, 0xFF);
    return 1;
  case CV_help:
    FLAG_set(20, 1);
    return 1;
  case CV_bool:
    if (out) {
      int* flag = static_cast<int*>(out);
      if (!data) {
        *flag = 1;
      } else if (stricmp(data, "true") == 0 || stricmp(data, "on") == 0 || stricmp(data, "yes") == 0) {
        *flag = 1;
      } else if (stricmp(data, "false") == 0 || stricmp(data, "off") == 0 ||
                 stricmp(data, "no") == 0) {
        *flag = 0;
      }
      return 1;
    }
    break;
  default: break;
  }
  if (!data) return 0;

  switch (cvt) {
  case CV_mess:
    MESS_set_str(data);
    return 1;
  case CV_file_param:
    if (stricmp(data, "over") == 0 || stricmp(data, "calc") == 0 || stricmp(data, "recalc") == 0)
      FLAG_set(15, 1);
    else if (stricmp(data, "app") == 0)
      FLAG_set(15, 2);
    else if (stricmp(data, "use") == 0 || stricmp(data, "reuse") == 0)
      FLAG_set(15, 3);
    return 1;
  case CV_plot_type:
    for (const PlotTypeWord& pw : plot_type_words) {
      if (stricmp(data, pw.word) == 0) {
        FLAG_set(11, pw.type);
        break;
      }
    }
    return 1;
  case CV_draw:
    convert_draw(data);
    return 1;
  default: break;
  }
  if (!out) return 0;

  switch (cvt) {
  case CV_int:
    if (starts_number(data)) {
      if (data[0] != '\0' && (data[1] == 'x' || data[1] == 'X'))
        *static_cast<int*>(out) = static_cast<int>(std::strtol(data, nullptr, 16));
      else
        *static_cast<int*>(out) = static_cast<int>(std::strtol(data, nullptr, 10));
    }
    return 1;
  case CV_short:
    if (*data >= '0' && *data <= '9') *static_cast<short*>(out) = static_cast<short>(std::atoi(data));
    return 1;
  case CV_long:
    if (*data >= '0' && *data <= '9') *static_cast<long int*>(out) = std::strtol(data, nullptr, 10);
    return 1;
  case CV_float:
    *static_cast<float*>(out) = static_cast<float>(std::atof(data));
    return 1;
  case CV_color:
    *static_cast<long int*>(out) = std::atol(data);
    return 1;
  case CV_string:
    *static_cast<char**>(out) = data;
    return 1;
  case CV_strcpy: {
    size_t n = strnlen(data, RES_STRCPY_LEN - 1);
    std::memcpy(out, data, n);
    static_cast<char*>(out)[n] = '\0';
    return 1;
  }
  case CV_path: {
    /* The caller always owns the text, "none" giving an empty one. */
    const char* value = stricmp(data, "none") == 0 ? "" : data;
    size_t n = std::strlen(value);
    char* copy = static_cast<char*>(std::malloc(n + 2));
    if (copy) {
      std::memcpy(copy, value, n + 1);
      FILE_add_path_delim(copy);
    }
    *static_cast<char**>(out) = copy;
    return 1;
  }
  case CV_device: {
    int argc = 0;
    char** argv = nullptr;
    parse_string(data, ',', &argc, &argv);
    FLAG_set(2, argc > 0 ? RES_set_device(argv[0]) : 1);
    if (argc >= 2) *static_cast<char**>(out) = std::strchr(data, ',') + 1;
    free_parsed_array(argc, argv);
    return 1;
  }
  default: return 1;
  }
}

int RES_list() {
  for (const auto& res : state.list) {
    if (res->has_data)
      MESS_print(8, "%s: %s\n", res->name.c_str(), res->data.c_str());
    else
      MESS_print(8, "%s:\n", res->name.c_str());
  }
  return 0;
}

int RES_set_device(const char* str) {
  switch (str ? str[0] : '\0') {
  case 'P': case 'p': return 4;
  case 'H': case 'h': case 'Q': case 'q': return 5;
  case 'M': case 'm': return 3;
  case 'W': case 'w': return 6;
  default: return 1;
  }
}

int RES_setCL(int argc, char** argv) {
  state.clargc = argc;
  state.clargv = argv;
  return 1;
}

char* RES_get_prog() { return state.clargc > 0 && state.clargv ? state.clargv[0] : nullptr; }

char* RES_get_progname(char* prog) {
  const char* path = RES_get_prog();
  if (!path) path = "kez";
  const char* slash = std::strrchr(path, '/');
  const char* base = slash ? slash + 1 : path;
  if (prog) {
    size_t n = strnlen(base, FILE_PATH_LEN - 1);
    std::memcpy(prog, base, n);
    prog[n] = '\0';
    return prog;
  }
  return create_string(base);
}
