/*
 * gks_meta: the metafile device (3) and the metafile reader.
 *
 * Two forms are written. The suite's text metafile, whose first line is
 * "KEZMETA", lists every kernel call with its arguments in world
 * coordinates; the kernel's primitives and setters write their records
 * through gmeta_printf, which writes only on the text form. The binary CGM
 * (big-endian 16-bit words) carries polylines and clip rectangles in device
 * coordinates; its VDC extent is the plot area, so the picture fills it.
 *
 * The two forms are two rows of device 3, gmeta_device and gcgm_device
 * (chosen by the item "cgm", "kez" the text form). The text form keeps every
 * kernel call as its record (the device record's `record`); the CGM draws
 * polylines and text strokes and records no setter.
 *
 * gread_metafile replays a text metafile through the kernel into whatever
 * device and transformation are current. The file is hostile: every count,
 * number and text is checked before use, a bad record is reported and
 * passed over, and the replay goes on with the next line.
 */
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "kez.h"
#include "kezgks.h"

namespace {

constexpr int CGM = 1;
constexpr int MAX_POLYLINE_POINTS = 8191; /* 4 bytes a point in a 15-bit length */
constexpr int LONG_FORM = 31;

struct MetaState {
  FILE* out_file = nullptr;
  std::string name; /* as opened, for the report of a failed write */
  int append = 0;
  int meta_type = 0; /* 0 the text metafile, 1 the binary CGM */
  int line_type = 0; /* CGM line type in force */
};

MetaState state;

bool cgm_open() { return state.out_file && state.meta_type == CGM; }

void put_word(int v) {
  const auto w = static_cast<std::uint16_t>(v);
  const unsigned char bytes[2] = {static_cast<unsigned char>(w >> 8), static_cast<unsigned char>(w & 0xff)};
  std::fwrite(bytes, 1, 2, state.out_file);
}

/* Coordinates beyond the 16-bit range are held at its ends. */
int to_int16(float v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(v, -32768.0f, 32767.0f));
}

void cgm_header() {
  int width = 0, height = 0, x = 0, y = 0;
  gget_win_size(&width, &height);
  gget_win_offset(&x, &y);
  gcgm_control(0, 1, 0, 0);  /* BEGIN METAFILE */
  gcgm_control(1, 1, 2, 1);  /* METAFILE VERSION 1 */
  gcgm_control(1, 2, 11, 0); /* METAFILE DESCRIPTION */
  static constexpr unsigned char description[] = {10, 'K', 'E', 'Z', 'C', 'G', 'M', '-', '1', '.', '0', 0};
  std::fwrite(description, 1, sizeof description, state.out_file);
  gcgm_control(1, 11, 6, 1); /* METAFILE ELEMENT LIST: 1 entry, */
  put_word(-1);              /* the drawing set */
  put_word(1);
  gcgm_control(1, 9, 1, 0xff00); /* MAXIMUM COLOUR INDEX 255, padded */
  gcgm_control(2, 6, 8, 0);      /* VDC EXTENT: the plot area */
  gcgm_ps_point(static_cast<float>(x), static_cast<float>(y));
  gcgm_ps_point(static_cast<float>(x + std::max(width - 1, 1)), static_cast<float>(y + std::max(height - 1, 1)));
  gcgm_control(0, 3, 0, 0); /* BEGIN PICTURE */
  gcgm_control(0, 4, 0, 0); /* BEGIN PICTURE BODY */
}

/* ---- reading ------------------------------------------------------------ */

constexpr std::size_t MAX_TEXT = 100;
constexpr int MAX_REPORTS = 10;

/* A cursor over the file's text. */
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool at_end() {
    skip_blanks();
    return at_ >= text_.size();
  }

  /* The next blank-delimited word. */
  std::string_view word() {
    skip_blanks();
    const std::size_t from = at_;
    last_ = from;
    while (at_ < text_.size() && !is_blank(text_[at_])) ++at_;
    return text_.substr(from, at_ - from);
  }

  /* The rest of the line after one blank, without the line end. */
  std::string_view rest_of_line() {
    if (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    const std::size_t from = at_;
    while (at_ < text_.size() && text_[at_] != '\n') ++at_;
    std::string_view line = text_.substr(from, at_ - from);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

  /* Back to the start of the last word read, the one that did not scan,
   * so that a truncated record does not swallow the record after it. */
  void back() { at_ = last_; }

  void skip_line() {
    while (at_ < text_.size() && text_[at_] != '\n') ++at_;
  }

  bool integer(int* v) { return parse(word(), v); }

  bool number(float* v) { return parse_float(word(), v); }

  /* "x,y" */
  bool point(Gpt* p) {
    const std::string_view w = word();
    const std::size_t comma = w.find(',');
    return comma != std::string_view::npos && parse_float(w.substr(0, comma), &p->x) &&
           parse_float(w.substr(comma + 1), &p->y);
  }

 private:
  static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

  void skip_blanks() {
    while (at_ < text_.size() && is_blank(text_[at_])) ++at_;
  }

  static bool parse(std::string_view w, int* v) {
    if (w.empty()) return false;
    const char* end = w.data() + w.size();
    auto [ptr, ec] = std::from_chars(w.data(), end, *v);
    return ec == std::errc() && ptr == end;
  }

  static bool parse_float(std::string_view w, float* v) {
    if (w.empty()) return false;
    const char* end = w.data() + w.size();
    auto [ptr, ec] = std::from_chars(w.data(), end, *v);
    return ec == std::errc() && ptr == end && std::isfinite(*v);
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t last_ = 0;
};

/* Each record reads its arguments and makes its kernel call; false when an
 * argument does not scan or is out of range. */
using Record = bool (*)(Cursor& in);

template <Gint (*Set)(Gint)>
bool int_record(Cursor& in) {
  int v = 0;
  if (!in.integer(&v)) return false;
  Set(v);
  return true;
}

template <Gint (*Set)(Gfloat)>
bool float_record(Cursor& in) {
  float v = 0;
  if (!in.number(&v)) return false;
  Set(v);
  return true;
}

/* A count and that many points; the points are read one by one, so a
 * count larger than the record holds costs nothing. */
bool read_points(Cursor& in, int least, std::vector<Gpt>* pts) {
  int n = 0;
  if (!in.integer(&n) || n < least) return false;
  for (int i = 0; i < n; ++i) {
    Gpt p{};
    if (!in.point(&p)) return false;
    pts->push_back(p);
  }
  return true;
}

bool polyline_record(Cursor& in) {
  std::vector<Gpt> pts;
  if (!read_points(in, 2, &pts)) return false;
  gpolyline(static_cast<Gint>(pts.size()), pts.data());
  return true;
}

bool fill_record(Cursor& in) {
  std::vector<Gpt> pts;
  if (!read_points(in, 3, &pts)) return false;
  gfill_area(static_cast<Gint>(pts.size()), pts.data());
  return true;
}

bool marker_record(Cursor& in) {
  std::vector<Gpt> pts;
  if (!read_points(in, 1, &pts)) return false;
  gpolymarker(static_cast<Gint>(pts.size()), pts.data());
  return true;
}

bool text_record(Cursor& in) {
  Gpt p{};
  if (!in.point(&p)) return false;
  std::string s(in.rest_of_line().substr(0, MAX_TEXT));
  gtext(&p, s.c_str());
  return true;
}

bool fill_style_record(Cursor& in) {
  int v = 0;
  if (!in.integer(&v) || v < GHOLLOW || v > GHATCH) return false;
  gset_fill_int_style(static_cast<Gfill_int_style>(v));
  return true;
}

bool up_record(Cursor& in) {
  Gpt up{};
  if (!in.point(&up)) return false;
  gset_char_up_vec(&up);
  return true;
}

bool align_record(Cursor& in) {
  int h = 0, v = 0;
  if (!in.integer(&h) || !in.integer(&v)) return false;
  const Gtext_align align{static_cast<Gtext_hor>(h), static_cast<Gtext_ver>(v)};
  gset_text_align(&align);
  return true;
}

bool font_record(Cursor& in) {
  int font = 0, prec = 0;
  if (!in.integer(&font) || !in.integer(&prec)) return false;
  const Gfontprec fp{font, static_cast<Gtext_prec>(prec)};
  gset_fontprec(&fp);
  return true;
}

bool colour_record(Cursor& in) {
  int ws = 0, ind = 0;
  Gcolr_rep rep{};
  if (!in.integer(&ws) || !in.integer(&ind) || !in.number(&rep.red) || !in.number(&rep.green) || !in.number(&rep.blue))
    return false;
  gset_colr_rep(1, ind, &rep);
  return true;
}

bool valid_tran(int n) { return n >= 0 && n <= 5; }

/* The rectangle as written: x_min, y_min, x_max, y_max. */
bool tran_rect(Cursor& in, int* n, Glim* lim) {
  return in.integer(n) && valid_tran(*n) && in.number(&lim->x_min) && in.number(&lim->y_min) &&
         in.number(&lim->x_max) && in.number(&lim->y_max);
}

bool window_record(Cursor& in) {
  int n = 0;
  Glim lim{};
  if (!tran_rect(in, &n, &lim)) return false;
  gset_win(n, &lim);
  return true;
}

bool viewport_record(Cursor& in) {
  int n = 0;
  Glim lim{};
  if (!tran_rect(in, &n, &lim)) return false;
  gset_vp(n, &lim);
  return true;
}

bool select_record(Cursor& in) {
  int n = 0;
  if (!in.integer(&n) || !valid_tran(n)) return false;
  gsel_norm_tran(n);
  return true;
}

/* The workstation window belongs to the device replayed into. */
bool ws_window_record(Cursor& in) {
  for (int i = 0; i < 5; ++i) in.word();
  return true;
}

struct RecordType {
  const char* keyword;
  Record read;
};

constexpr RecordType record_types[] = {
    {"PL", polyline_record},
    {"FA", fill_record},
    {"PM", marker_record},
    {"TE", text_record},
    {"PL_CLR", int_record<gset_line_colr_ind>},
    {"PL_LW", float_record<gset_linewidth>},
    {"PL_TYPE", int_record<gset_linetype>},
    {"PM_CLR", int_record<gset_marker_colr_ind>},
    {"PM_SIZE", float_record<gset_marker_size>},
    {"PM_WDTH", float_record<gset_marker_width>},
    {"PM_TYPE", int_record<gset_marker_type>},
    {"FA_CLR", int_record<gset_fill_colr_ind>},
    {"FA_INT", fill_style_record},
    {"FA_ST", int_record<gset_fill_style_ind>},
    {"TE_CLR", int_record<gset_text_colr_ind>},
    {"TE_HGHT", float_record<gset_char_ht>},
    {"TE_EXP", float_record<gset_expan>},
    {"TE_WDTH", float_record<gset_text_width>},
    {"TE_SPC", float_record<gset_space>},
    {"TE_CSPC", float_record<gset_char_space>},
    {"TE_UP", up_record},
    {"TE_ALGN", align_record},
    {"TE_FNT", font_record},
    {"CLR", colour_record},
    {"WIN", window_record},
    {"VP", viewport_record},
    {"TR", select_record},
    {"WS_WIN", ws_window_record},
};

Record record_of(std::string_view keyword) {
  for (const RecordType& r : record_types)
    if (keyword == r.keyword) return r.read;
  return nullptr;
}

bool read_file(const char* name, std::string* out) {
  FILE* fp = FILE_open(name, "r");
  if (!fp) return false;
  char buf[8192];
  std::size_t got = 0;
  while ((got = std::fread(buf, 1, sizeof buf, fp)) > 0) out->append(buf, got);
  const bool ok = !std::ferror(fp);
  FILE_close(fp);
  return ok;
}

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
  state.name = name;
  state.line_type = 0;
  state.out_file = state.append ? FILE_open(name + 1, "a") : FILE_open(name, "w");
  return state.out_file;
}

int gmeta_init_file() {
  if (!state.out_file) return 0;
  if (state.meta_type == CGM) {
    cgm_header();
    return 0;
  }
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
  if (state.meta_type == CGM && !state.append) {
    gcgm_control(0, 5, 0, 0); /* END PICTURE */
    gcgm_control(0, 2, 0, 0); /* END METAFILE */
  }
  const int result = gclose_output(state.out_file, state.name.c_str(), "meta");
  if (result == 0) MESS_print(M_mess, "Created metafile\n");
  state.out_file = nullptr;
  return result;
}

int gcgm_control(int cls, int id, int length, int value) {
  if (!cgm_open()) return -1;
  const int field = std::clamp(length, 0, LONG_FORM);
  put_word(((cls & 0xf) << 12) | ((id & 0x7f) << 5) | field);
  if (value > 0 || field == LONG_FORM) put_word(value);
  return 0;
}

int gcgm_ps_point(float x, float y) {
  if (!cgm_open()) return 0;
  put_word(to_int16(x));
  put_word(to_int16(y));
  return 0;
}

int gcgm_point(float x, float y) { return gcgm_ps_point(xW_ps(x), yW_ps(y)); }

/* A long polyline becomes several elements that share their end points,
 * since one element holds at most 8191 points. */
int gcgm_polyline(int n, const Gpt* pts) {
  if (!cgm_open() || n < 2 || !pts) return 0;
  for (int from = 0; from < n - 1; from += MAX_POLYLINE_POINTS - 1) {
    const int count = std::min(MAX_POLYLINE_POINTS, n - from);
    gcgm_control(4, 1, LONG_FORM, count * 4);
    for (int i = from; i < from + count; ++i) gcgm_point(pts[i].x, pts[i].y);
  }
  return 0;
}

int gcgm_set_color(int) { return 0; }

int gcgm_set_fill_color(int) { return 0; }

int gcgm_set_width(int, float) { return 0; }

/* Every line of a CGM is solid, so nothing is written for a type. */
int gcgm_set_type(int type) {
  if (type == state.line_type) return -1;
  state.line_type = type;
  return 0;
}

int gread_metafile(const char* name) {
  std::string content;
  if (!name || !read_file(name, &content)) {
    MESS_print(M_warn, "gread_metafile: Unable to open image file: %s\n", name ? name : "");
    return -1;
  }
  const std::string_view all(content);
  const std::size_t eol = all.find('\n');
  std::string_view magic = all.substr(0, eol);
  if (!magic.empty() && magic.back() == '\r') magic.remove_suffix(1); /* a file moved through CRLF line ends */
  if (magic != "KEZMETA") {
    MESS_print(M_warn, "gread_metafile: not a metafile: %s\n", name);
    return -1;
  }
  Cursor in(eol == std::string_view::npos ? std::string_view() : all.substr(eol + 1));
  int bad = 0;
  while (!in.at_end()) {
    const std::string_view keyword = in.word();
    const Record read = record_of(keyword);
    if (!read) {
      in.skip_line();
      continue;
    }
    if (!read(in)) {
      if (++bad <= MAX_REPORTS)
        MESS_print(M_warn, "gread_metafile: bad %.*s record in %s\n", static_cast<int>(keyword.size()), keyword.data(),
                   name);
      in.back();
    }
  }
  if (bad > MAX_REPORTS)
    MESS_print(M_warn, "gread_metafile: %d bad records in %s, the first %d shown\n", bad, name, MAX_REPORTS);
  return 0;
}

/* ---- the metafile devices: the text metafile and the CGM -------------- */

namespace {

/* The text form unless the item "cgm" asks for the CGM (the choice of the
 * device row); the form holds while this workstation is open. */
int open_meta(const Gconn_items& items, int form) {
  gset_cache(0);
  gset_redraw(0);
  gmeta_set_type(form);
  Garea area{1000, 800, 0, 0};
  if (const char* geometry = RES_get("geometry")) {
    if (geometry[0] == 'P' || geometry[0] == 'p')
      gpanel_geometry(geometry + 1, true, &area);
    else
      gsize_geometry(geometry, 100, &area);
  }
  gset_xsize(area.width, area.height);
  gset_xoff(area.x, area.y);
  std::string name = !items.empty() && !items[0].empty() ? items[0] : "";
  if (name.empty()) {
    const char* env = std::getenv("kezmeta_out");
    name = env ? env : (form == CGM ? "kez.cgm" : "kez.meta");
  }
  errno = 0;
  if (!gmeta_open_file(name.c_str())) {
    const int err = errno;
    gmeta_set_type(0);
    gerr_printf("gopen_ws", "unable to open metafile %s: %s\n", name.c_str(),
                err != 0 ? std::strerror(err) : "refused");
    return -1;
  }
  gmeta_init_file();
  return 0;
}

int open_text_meta(const Gconn_items& items) { return open_meta(items, 0); }
int open_cgm(const Gconn_items& items) { return open_meta(items, CGM); }

int close_meta() {
  const int result = gmeta_close_file();
  gmeta_set_type(0);
  return result;
}

/* The text form keeps every call as a record: four points a line. */
int meta_polyline(int n, const Gpt* pts, const Gline_attr&) {
  gmeta_printf("PL %d ", n);
  for (int i = 0; i < n; ++i) {
    gmeta_printf("%f,%f ", pts[i].x, pts[i].y);
    if (i % 4 == 3 && i != n - 1) gmeta_printf("\n   ");
  }
  gmeta_printf("\n");
  return 1;
}

/* The break also follows the last point, so the final newline comes only
 * after an incomplete line. */
void meta_points(const char* keyword, int n, const Gpt* pts) {
  gmeta_printf("%s %d ", keyword, n);
  for (int i = 0; i < n; ++i) {
    gmeta_printf("%f,%f ", pts[i].x, pts[i].y);
    if (i % 4 == 3) gmeta_printf("\n   ");
  }
  if (n % 4 != 0) gmeta_printf("\n");
}

int meta_fill_area(int n, const Gpt* pts, int, int) {
  meta_points("FA", n, pts);
  return 1;
}

int meta_polymarker(int n, const Gpt* pts) {
  meta_points("PM", n, pts);
  return 0;
}

/* A text as a record line: control characters would end the line early,
 * so they are written as blanks. */
bool meta_text(const Gpt& pos, const char* string) {
  std::string line(string);
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  gmeta_printf("TE %f,%f %s\n", pos.x, pos.y, line.c_str());
  return true;
}

void meta_clear_region(const Glim& lim) {
  gmeta_printf("CLR_REG %f %f %f %f\n", lim.x_min, lim.y_min, lim.x_max, lim.y_max);
}

void meta_message(const char* text) { gmeta_printf("ME %s\n", text); }

/* The CGM carries the clip without the margin. */
void cgm_clip(float x0, float y0, float x1, float y1) {
  gcgm_control(3, 5, 8, 0);
  gcgm_ps_point(x0, y0);
  gcgm_ps_point(x1, y1);
}

int cgm_polyline(int n, const Gpt* pts, const Gline_attr&) {
  gcgm_polyline(n, pts);
  return 1;
}

/* Areas and markers are not carried by the CGM. */
int cgm_fill_area(int, const Gpt*, int, int) { return 1; }
int cgm_polymarker(int, const Gpt*) { return 0; }

/* The CGM carries text strokes as polylines. */
void cgm_text_setup(const unsigned char*, float, float, const Gline_attr& a) {
  gcgm_set_width(a.color, a.width);
  gcgm_set_color(a.color);
  gcgm_set_type(1);
}
void cgm_stroke(const Gpt* finished, int n) {
  if (n > 1) gcgm_polyline(n, finished);
}
void cgm_pen_up(Gpt, const Gpt* finished, int n) { cgm_stroke(finished, n); }

/* The CGM keeps none of the setters' records. */
int cgm_record(const char*, ...) { return 0; }

} // namespace

const Gdevice gmeta_device = {
    GWS_META,
    "kez",
    GINIT_META,
    open_text_meta,
    close_meta,
    gmeta_printf,
    nullptr,
    meta_polyline,
    meta_fill_area,
    {0, nullptr, nullptr, nullptr, nullptr, meta_polymarker},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, meta_text, nullptr, nullptr},
    meta_clear_region,
    meta_message,
};

const Gdevice gcgm_device = {
    GWS_META,
    "cgm",
    GINIT_META,
    open_cgm,
    close_meta,
    cgm_record,
    cgm_clip,
    cgm_polyline,
    cgm_fill_area,
    {0, nullptr, nullptr, nullptr, nullptr, cgm_polymarker},
    {cgm_text_setup, nullptr, cgm_pen_up, nullptr, cgm_pen_up, cgm_stroke, nullptr, nullptr, nullptr, nullptr},
    nullptr,
    nullptr,
};
