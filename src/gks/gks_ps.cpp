/*
 * gks_ps: the PostScript and EPS writer (device 4).
 *
 * The writer owns the output stream, the prolog with its procedure names
 * (mv, ln, lw, np, cp, dot) and the trailer, and the colour, grey, width and
 * dash state in force, with a cache so that unchanged settings are not
 * written again. The kernel's primitives and transformations write their
 * path text through gps_printf and position through gps_move and gps_line.
 * Coordinates are points (1/72 inch) from the lower left of the drawing.
 *
 * The module also fills the device record of PostScript (gps_device): the
 * open with its option table (the page-option grammar of gks_opt), the clip
 * and the writers of the primitives.
 *
 * The options (orientation, EPS, colour, reversed greys, scale, base width,
 * page size) are settings that survive from one open to the next. While the
 * workstation's own output is open, a print of the display list opens a
 * second one; the first is held aside with its cache and taken back when the
 * second closes.
 *
 * Paths are most of a page (a station model is a few hundred stroke-font
 * vertices), so they go out in a compact form that the prolog defines, in
 * whole hundredths of a point, each number a step from the point before:
 * "dx dy M" starts a new path and "dx dy m" a new subpath, "[dx dy ...]L"
 * draws lines and "[dx dy ...]S" draws lines and strokes them. The page
 * keeps the pen in two integers (X, Y) and hands moveto and lineto X/100
 * and Y/100, which is the very number that scanning the point written with
 * two decimals gives, so a page draws exactly what the plain
 * "x.xx y.yy ln" form drew, in half the bytes. Numbers are formatted here,
 * not by printf, into a buffer that goes to the stream a primitive at a
 * time.
 */
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(__x86_64__) && defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kez.h"
#include "kezgks.h"
#include "kezimg.h"

namespace {

constexpr int NUM_ENTRIES = 257;

/* What the output has in force. */
struct Cache {
  float gray_level = 0; /* grey set last; -1 after a colour */
  int ps_col_ind = -1;  /* colour index set last in colour output; -1 none */
  float line_width = 1; /* width factor set last */
  int line_type = 1;    /* dash type set last */
};

/* The path being written in the compact form. */
struct PathPen {
  bool newpath = false;   /* "np" asked for and not written yet */
  bool at_move = false;   /* a move's line is still open */
  bool run = false;       /* a run of steps "[" is open */
  int run_pairs = 0;      /* steps on the run's current line after its first */
  long long x = 0, y = 0; /* the page's X and Y: the pen in hundredths */
};

/* What the marks of an EPS cover, in points before the prolog's scale. */
struct Extent {
  float x_min = 0, y_min = 0, x_max = 0, y_max = 0;
  bool any = false;
  Glim area{0, 0, 0, 0}; /* the plot area and its clip margin, which bound every mark */
  Glim clip{0, 0, 0, 0}; /* the clip in force: what lies beyond it is not drawn */
  /* A point of a path, widened by half the line width in force, within
   * the clip. */
  void add(float x, float y, float pad) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    const float x0 = std::clamp(x - pad, clip.x_min, clip.x_max), x1 = std::clamp(x + pad, clip.x_min, clip.x_max);
    const float y0 = std::clamp(y - pad, clip.y_min, clip.y_max), y1 = std::clamp(y + pad, clip.y_min, clip.y_max);
    if (!any) {
      x_min = x0;
      x_max = x1;
      y_min = y0;
      y_max = y1;
      any = true;
      return;
    }
    x_min = std::min(x_min, x0);
    x_max = std::max(x_max, x1);
    y_min = std::min(y_min, y0);
    y_max = std::max(y_max, y1);
  }
};

/* Text on its way to the stream. Path steps are formed in place in the
 * room it hands out, which keeps the writer's hottest loop free of
 * per-piece length checks and copies. */
class PageText {
 public:
  /* At least n writable characters at the end; commit what was written. */
  char* room(std::size_t n) {
    if (data_.size() - size_ < n) [[unlikely]]
      grow(n);
    return data_.data() + size_;
  }
  void commit(const char* end) { size_ = static_cast<std::size_t>(end - data_.data()); }

  PageText& operator+=(std::string_view s) {
    append(s.data(), s.size());
    return *this;
  }
  PageText& operator+=(char c) {
    *room(1) = c;
    ++size_;
    return *this;
  }
  void append(const char* s, std::size_t n) {
    if (n == 0) return;
    std::memcpy(room(n), s, n);
    size_ += n;
  }
  void append(std::string_view s) { append(s.data(), s.size()); }

  bool empty() const { return size_ == 0; }
  const char* data() const { return data_.data(); }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }

 private:
  [[gnu::noinline]] void grow(std::size_t n) { data_.resize(std::max(2 * data_.size(), size_ + n + 4096)); }
  std::vector<char> data_;
  std::size_t size_ = 0; /* characters in use at the front of data_ */
};

struct Output {
  FILE* fp = nullptr;
  int deferring = 0;       /* open Deferred scopes: the text goes to fp at the last one's end */
  int append = 0;          /* no header or trailer */
  bool clip_saved = false; /* EPS: a gsave holds the state under the clip */
  long box_at = -1;        /* EPS: offset of the header's box line; -1 when it cannot be rewritten */
  Extent extent;           /* EPS: what the marks cover */
  Cache cache;
  PageText buf; /* text not yet handed to fp */
  PathPen pen;
  std::shared_ptr<char[]> stream_buffer; /* fp's buffer, kept until fp is closed; none for a standard stream */
  std::string name;                      /* as opened, for the report of a failed write */
};

/* A page is megabytes handed to the stream a primitive at a time: a large
 * buffer keeps the system's writes few. */
constexpr std::size_t STREAM_BUFFER = std::size_t{1} << 16;

/* The line that sets a colour, kept with the components it was formed
 * from: a station model changes colour with each of its fields. */
struct RgbLine {
  float r = -1, g = -1, b = -1;
  PageText text;
};

struct PsState {
  Output out;
  Output held;     /* the workstation's output during a print */
  int pr_port = 0; /* 1: drawing not turned on the page */
  int pr_eps = 0;
  int pr_color = 0; /* 0: grey levels */
  int pr_rev = 0;   /* reversed greys */
  float pr_scale = 1;
  float base_width = 1;
  float sx = 11, sy = 8.5;               /* page in inches, long side first */
  std::array<float, NUM_ENTRIES> gray{}; /* 0 black to 1 white */
  std::array<RgbLine, 16> rgb_lines;     /* by colour index, modulo */
  std::vector<Gpt> glyph_points;         /* a glyph's points in points of the page (ps_strokes) */
  PsState() = default;
  PsState(const PsState&) = delete;
  PsState& operator=(const PsState&) = delete;
  ~PsState();
};

PsState state;

/* The print colours: black, white and light grey, each at normal, double
 * and quadruple width. */
struct PrintColour {
  int first, last;
  const char* setgray;
  float grey;
};

constexpr PrintColour print_colours[] = {
    {500, 502, "0 setgray\n", 0.0f},
    {503, 505, "1 setgray\n", 1.0f},
    {506, 508, ".7 setgray\n", 0.7f},
};

const PrintColour* print_colour(int ind) {
  for (const PrintColour& p : print_colours)
    if (ind >= p.first && ind <= p.last) return &p;
  return nullptr;
}

struct Dash {
  int type;
  const char* setdash;
};

constexpr Dash dashes[] = {
    {1, "[] 0 setdash\n"},        {2, "[6] 0 setdash\n"}, {3, "[3 6] 0 setdash\n"},
    {4, "[6 6 3 6] 0 setdash\n"}, {5, "[2] 0 setdash\n"},
};

float grey_of(float r, float g, float b) {
  float v = (0.9f * r + g + 0.8f * b) / 2.7f;
  return state.pr_rev ? 1 - v : v;
}

/* ---- numbers and text -------------------------------------------------- */

/* Steps per line of a run, so that lines stay well under 255 characters. */
constexpr int PAIRS_PER_LINE = 12;
/* Points beyond this go out at the limit: hundredths and their steps stay
 * within the page's 32-bit integers. */
constexpr double POINT_LIMIT = 1.0e7;

/* Room for a path's pair of steps with its separators: each step is at
 * most 2 * POINT_LIMIT hundredths: ten digits and a sign. */
constexpr std::size_t PAIR_ROOM = 40;

/* The digit pairs 00 to 99. */
constexpr auto DIGIT_PAIRS = [] {
  std::array<char, 200> d{};
  for (int i = 0; i < 100; ++i) {
    d[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    d[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return d;
}();

/* A whole number as to_chars writes it, into [at, end); the end of what
 * was written. Path steps are mostly below 10000 hundredths, and those are
 * written from digit pairs, the page's most frequent conversion. */
[[gnu::always_inline]] inline char* put_int(char* at, char* end, long long v) {
  constexpr long long SMALL = 10000;
  if (v <= -SMALL || v >= SMALL || end - at < 5) [[unlikely]]
    return std::to_chars(at, end, v).ptr;
  if (v < 0) *at++ = '-';
  const auto u = static_cast<unsigned>(v < 0 ? -v : v);
  if (u < 10) {
    *at = static_cast<char>('0' + u);
    return at + 1;
  }
  if (u < 100) {
    std::memcpy(at, &DIGIT_PAIRS[2 * u], 2);
    return at + 2;
  }
  const unsigned hi = u / 100, lo = u % 100;
  if (u < 1000) {
    *at++ = static_cast<char>('0' + hi);
  } else {
    std::memcpy(at, &DIGIT_PAIRS[2 * hi], 2);
    at += 2;
  }
  std::memcpy(at, &DIGIT_PAIRS[2 * lo], 2);
  return at + 2;
}

void append_int(PageText& out, long long v) {
  char digits[24];
  const char* end = put_int(digits, digits + sizeof digits, v);
  out.append(digits, static_cast<std::size_t>(end - digits));
}

/* As "%.<decimals>f" writes the number. */
void append_fixed(PageText& out, double v, int decimals) {
  char digits[400]; /* the widest double in fixed form, with its decimals */
  const auto r = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, decimals);
  if (r.ec == std::errc{})
    out.append(digits, static_cast<std::size_t>(r.ptr - digits));
  else
    out += '0';
}

/* A float as "%.<decimals>f" writes it, decimals 0 to 6 (the position
 * comment of every text, the colours), from the float's exact binary
 * value: its mantissa times 10^decimals, shifted down with ties to even,
 * is the number in units of the last decimal. Floats too large for that
 * go through the general conversion. */
void append_fixed_exact(PageText& out, float v, int decimals) {
  constexpr unsigned long long POW10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  /* |v| is m * 2^e with m below 2^24, read from the float's fields. */
  const auto bits = std::bit_cast<std::uint32_t>(v);
  const int biased = static_cast<int>((bits >> 23) & 0xff);
  const std::uint32_t field = bits & 0x7fffff;
  const unsigned long long m = biased == 0 ? field : field | 0x800000;
  const int e = (biased == 0 ? 1 : biased) - 150;
  /* m * 10^6 < 2^44, so 2^e must stay below 2^19 for 64 bits. */
  if (biased == 0xff || e > 19 || decimals < 0 || decimals > 6) {
    append_fixed(out, v, decimals);
    return;
  }
  const unsigned long long unit = POW10[decimals];
  unsigned long long q = m * unit;
  if (e >= 0) {
    q <<= e;
  } else if (-e > 44) {
    q = 0; /* below half of the last decimal */
  } else {
    const int k = -e;
    const unsigned long long r = q & ((1ULL << k) - 1), half = 1ULL << (k - 1);
    q >>= k;
    if (r > half || (r == half && (q & 1) != 0)) ++q;
  }
  /* Formed in place: a sign, at most 20 digits, the point and 6 decimals. */
  char* at = out.room(32);
  if (std::signbit(v)) *at++ = '-';
  at = put_int(at, at + 24, static_cast<long long>(q / unit));
  if (decimals > 0) {
    *at++ = '.';
    /* The decimals from the last, two at a time. */
    unsigned long long f = q % unit;
    char* d = at + decimals;
    for (; d - at >= 2; d -= 2, f /= 100) std::memcpy(d - 2, &DIGIT_PAIRS[2 * (f % 100)], 2);
    if (d > at) *at = static_cast<char>('0' + f % 10);
    at += decimals;
  }
  out.commit(at);
}

/* Adding and taking away 1.5 * 2^52 leaves a double below 2^51 rounded to
 * a whole number, ties to even, as the default rounding mode rounds, without
 * a library call. */
constexpr double ROUNDER = 6755399441055744.0;
static_assert(POINT_LIMIT * 100 < 2251799813685248.0, "hundredths must stay below 2^51");

/* A point in whole hundredths, rounded as "%.2f" rounds it: a float times
 * 100 is exact in a double, and ties go to the even neighbour. */
[[gnu::always_inline]] inline long long hundredths(float v) {
  double p = static_cast<double>(v);
  if (std::isnan(p)) p = 0;
  p = std::clamp(p, -POINT_LIMIT, POINT_LIMIT) * 100.0;
#if defined(__x86_64__) && defined(__SSE2__)
  /* The processor's conversion rounds in the same mode, in one step. */
  return _mm_cvtsd_si64(_mm_set_sd(p));
#else
  volatile double r = p + ROUNDER; /* kept apart: no rewrite may cancel the two */
  return static_cast<long long>(r - ROUNDER);
#endif
}

/* The steps -999 to 999 as put_int writes them, sign and digits from the
 * front of 8 characters, their count in the last. */
constexpr int SMALL_STEP = 999;
using StepText = std::array<char, 8>;

constexpr std::array<StepText, 2 * SMALL_STEP + 1> SMALL_STEPS = [] {
  std::array<StepText, 2 * SMALL_STEP + 1> t{};
  for (int v = -SMALL_STEP; v <= SMALL_STEP; ++v) {
    StepText& e = t[static_cast<std::size_t>(v + SMALL_STEP)];
    const int u = v < 0 ? -v : v;
    const int digits = u < 10 ? 1 : u < 100 ? 2 : 3;
    const int sign = v < 0 ? 1 : 0;
    if (sign) e[0] = '-';
    for (int k = digits - 1, w = u; k >= 0; --k, w /= 10)
      e[static_cast<std::size_t>(sign + k)] = static_cast<char>('0' + w % 10);
    e[7] = static_cast<char>(sign + digits);
  }
  return t;
}();

/* A path step as put_int writes it. Steps of the stroke text are almost
 * all within 999 hundredths: those are one copy of 8 characters from the
 * table (what lies past the step is room not yet committed). */
[[gnu::always_inline]] inline char* put_step(char* at, char* end, long long v) {
  const auto k = static_cast<unsigned long long>(v + SMALL_STEP);
  if (k > 2 * SMALL_STEP || end - at < 8) [[unlikely]]
    return put_int(at, end, v);
  const StepText& e = SMALL_STEPS[k];
  std::memcpy(at, e.data(), e.size());
  return at + e[7];
}

/* A step, as put_step writes it, at `at` with PAIR_ROOM characters of room
 * for it and its pair: the loop over a path's points checks the room once
 * for all of them. */
[[gnu::always_inline]] inline char* put_step_in_room(char* at, long long v) {
  const auto k = static_cast<unsigned long long>(v + SMALL_STEP);
  if (k > 2 * SMALL_STEP) [[unlikely]]
    return put_int(at, at + 24, v);
  const StepText& e = SMALL_STEPS[k];
  std::memcpy(at, e.data(), e.size());
  return at + e[7];
}

/* The steps of a point and the blank between them, in room made for them. */
[[gnu::always_inline]] inline char* put_pair(char* at, long long dx, long long dy) {
  at = put_step_in_room(at, dx);
  *at++ = ' ';
  return put_step_in_room(at, dy);
}

/* Hundredths of n points (x, y, x, y, ...), as hundredths() gives each:
 * two points a step where the processor allows (a NaN made 0 before the
 * clamp, the conversion in the same rounding mode; the hundredths are
 * within 32 bits). */
void hundredths_of(const Gpt* pts, int n, std::int32_t* out) {
  int i = 0;
#if defined(__x86_64__) && defined(__SSE2__)
  const __m128d lo = _mm_set1_pd(-POINT_LIMIT), hi = _mm_set1_pd(POINT_LIMIT), hundred = _mm_set1_pd(100.0);
  auto convert = [&](__m128d p) {
    p = _mm_and_pd(p, _mm_cmpord_pd(p, p));
    return _mm_cvtpd_epi32(_mm_mul_pd(_mm_min_pd(hi, _mm_max_pd(lo, p)), hundred));
  };
  for (; i + 2 <= n; i += 2) {
    __m128 p;
    std::memcpy(&p, pts + i, sizeof p);
    const __m128i first = convert(_mm_cvtps_pd(p)), second = convert(_mm_cvtps_pd(_mm_movehl_ps(p, p)));
    const __m128i both = _mm_unpacklo_epi64(first, second);
    std::memcpy(out + 2 * i, &both, sizeof both);
  }
#endif
  for (; i < n; ++i) {
    out[2 * i] = static_cast<std::int32_t>(hundredths(pts[i].x));
    out[2 * i + 1] = static_cast<std::int32_t>(hundredths(pts[i].y));
  }
}
static_assert(POINT_LIMIT * 100 < 2147483647.0, "hundredths must fit 32 bits");

/* No lock per piece: the page is written from one thread. */
void flush(Output& o) {
  if (o.fp && !o.buf.empty()) fwrite_unlocked(o.buf.data(), 1, o.buf.size(), o.fp);
  o.buf.clear();
}

/* Hands a finished piece to the stream, unless a primitive that hands over
 * its whole text at its end is under way. */
void hand_over(Output& o) {
  if (o.deferring == 0) flush(o);
}

/* A primitive's text goes to the stream once, at its end, instead of a
 * call per setting and per stroke: the stream still holds every finished
 * primitive. */
class Deferred {
 public:
  Deferred() : o_(state.out) { ++o_.deferring; }
  ~Deferred() {
    if (--o_.deferring == 0) flush(o_);
  }
  Deferred(const Deferred&) = delete;
  Deferred& operator=(const Deferred&) = delete;

 private:
  Output& o_;
};

/* A program that ends without closing its page still leaves what it drew
 * in the file: the stream is emptied before the buffer it writes through
 * goes with this state, ahead of the exit's own flush. */
PsState::~PsState() {
  for (Output* o : {&out, &held}) {
    flush(*o);
    if (o->fp) std::fflush(o->fp);
  }
}

/* Ends the line of a move or a run of steps. */
void end_path_line(Output& o) {
  if (o.pen.run)
    o.buf += "]L\n";
  else if (o.pen.at_move)
    o.buf += '\n';
  o.pen.run = false;
  o.pen.at_move = false;
}

void write_newpath_due(Output& o) {
  if (!o.pen.newpath) return;
  o.buf += "np\n";
  o.pen.newpath = false;
}

/* Any text but a path: it follows the path's line and a due "np", and
 * goes to the stream with what came before, so that every finished
 * primitive is in the file once the stream is flushed (a path is finished
 * by such a text: stroke, fill, clip), as before a fork. */
class TextOut {
 public:
  TextOut() : o_(state.out) {
    if (!o_.fp) return;
    end_path_line(o_);
    write_newpath_due(o_);
  }
  ~TextOut() { hand_over(o_); }
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;
  explicit operator bool() const { return o_.fp != nullptr; }
  PageText& text() { return o_.buf; }

 private:
  Output& o_;
};

void put(std::string_view text) {
  TextOut out;
  if (out) out.text().append(text);
}

/* A new path: written with the next move ("M"), or as "np" when text
 * comes first. */
void new_path() {
  Output& o = state.out;
  if (!o.fp) return;
  end_path_line(o);
  o.pen.newpath = true;
}

/* The steps of a point are formed in place in the page text: paths are
 * most of a page, so this is the writer's hottest loop. */
void move_to(float x, float y) {
  Output& o = state.out;
  if (!o.fp) return;
  end_path_line(o);
  const long long hx = hundredths(x), hy = hundredths(y);
  char* at = o.buf.room(PAIR_ROOM);
  char* const end = at + PAIR_ROOM;
  at = put_step(at, end, hx - o.pen.x);
  *at++ = ' ';
  at = put_step(at, end, hy - o.pen.y);
  *at++ = ' ';
  *at++ = o.pen.newpath ? 'M' : 'm';
  o.buf.commit(at);
  o.pen.x = hx;
  o.pen.y = hy;
  o.pen.newpath = false;
  o.pen.at_move = true;
}

void line_to(float x, float y) {
  Output& o = state.out;
  if (!o.fp) return;
  PathPen& p = o.pen;
  if (!p.run && !p.at_move) write_newpath_due(o);
  char* at = o.buf.room(PAIR_ROOM);
  char* const end = at + PAIR_ROOM;
  if (!p.run) {
    *at++ = '[';
    p.run = true;
    p.at_move = false;
    p.run_pairs = 0;
  } else if (++p.run_pairs == PAIRS_PER_LINE) {
    *at++ = '\n';
    p.run_pairs = 0;
  } else {
    *at++ = ' ';
  }
  const long long hx = hundredths(x), hy = hundredths(y);
  at = put_step(at, end, hx - p.x);
  *at++ = ' ';
  at = put_step(at, end, hy - p.y);
  o.buf.commit(at);
  p.x = hx;
  p.y = hy;
}

/* The steps of n points, each as line_to writes it. The pen is held in
 * locals through the loop: the page text's character stores would
 * otherwise have it read back from memory after every digit. */
void lines_to(const Gpt* pts, int n) {
  Output& o = state.out;
  if (!o.fp || n <= 0) return;
  PathPen& p = o.pen;
  if (!p.run && !p.at_move) write_newpath_due(o);
  long long px = p.x, py = p.y;
  int pairs = p.run_pairs;
  bool run = p.run;
  constexpr int CHUNK = 64; /* points per request for room */
  std::array<std::int32_t, 2 * CHUNK> h;
  for (int from = 0; from < n; from += CHUNK) {
    const int to = std::min(n, from + CHUNK);
    const int count = to - from;
    hundredths_of(pts + from, count, h.data());
    char* at = o.buf.room(PAIR_ROOM * static_cast<std::size_t>(count));
    /* The first point of a run opens it; each after it follows a blank, or
     * a newline after PAIRS_PER_LINE of them. */
    int i = 0;
    if (!run && count > 0) {
      *at++ = '[';
      at = put_pair(at, h[0] - px, h[1] - py);
      px = h[0];
      py = h[1];
      run = true;
      pairs = 0;
      i = 1;
    }
    for (; i < count; ++i) {
      const long long hx = h[static_cast<std::size_t>(2 * i)], hy = h[static_cast<std::size_t>(2 * i + 1)];
      const bool wrap = ++pairs == PAIRS_PER_LINE;
      *at++ = wrap ? '\n' : ' ';
      pairs = wrap ? 0 : pairs;
      at = put_pair(at, hx - px, hy - py);
      px = hx;
      py = hy;
    }
    o.buf.commit(at);
  }
  p.x = px;
  p.y = py;
  p.run_pairs = pairs;
  p.run = true;
  p.at_move = false;
}

/* Strokes the path; a run of lines ends with it. */
void stroke() {
  Output& o = state.out;
  if (!o.fp) return;
  if (o.pen.run) {
    o.buf += "]S\n";
    o.pen.run = false;
    hand_over(o);
    return;
  }
  put("stroke\n");
}

/* "<number> <number> ... <word>\n" with "%.<decimals>f" numbers. */
void put_numbers(std::initializer_list<double> values, int decimals, std::string_view word) {
  TextOut out;
  if (!out) return;
  for (double v : values) {
    append_fixed(out.text(), v, decimals);
    out.text() += ' ';
  }
  out.text().append(word);
}

/* As put_numbers, for floats, with at most six decimals. */
void put_floats(std::initializer_list<float> values, int decimals, std::string_view word) {
  TextOut out;
  if (!out) return;
  for (float v : values) {
    append_fixed_exact(out.text(), v, decimals);
    out.text() += ' ';
  }
  out.text().append(word);
}

/* A whole number between two texts: "%%PL:7\n", "2 dot lw\n". */
void put_count(std::string_view head, long long n, std::string_view tail) {
  TextOut out;
  if (!out) return;
  out.text().append(head);
  append_int(out.text(), n);
  out.text().append(tail);
}

void set_print_grey(const PrintColour& p) {
  Cache& c = state.out.cache;
  if (c.gray_level != p.grey) put(p.setgray);
  c.gray_level = p.grey;
}

void set_rgb(int ind) {
  Cache& c = state.out.cache;
  if (ind == c.ps_col_ind && c.gray_level < 0) return;
  float r = 0, g = 0, b = 0;
  gget_color_rgb(ind, &r, &g, &b);
  RgbLine& line = state.rgb_lines[static_cast<unsigned>(ind) % state.rgb_lines.size()];
  if (line.text.empty() || line.r != r || line.g != g || line.b != b) {
    line.text.clear();
    for (float v : {r, g, b}) {
      append_fixed_exact(line.text, v, 2);
      line.text += ' ';
    }
    line.text += "setrgbcolor\n";
    line.r = r;
    line.g = g;
    line.b = b;
  }
  put(std::string_view(line.text.data(), line.text.size()));
  c.ps_col_ind = ind;
  c.gray_level = -1;
}

void set_grey(float g) {
  Cache& c = state.out.cache;
  if (c.gray_level == g) return;
  put_floats({g}, 3, "setgray\n");
  c.gray_level = g;
}

/* An EPS is a figure, never turned on a page. Its box line is written at
 * the start with the plot area and, once the figure is complete, rewritten
 * in place with what the marks cover; the line keeps its length. */
constexpr int kBoxLineLen = 60;

/* An EPS figure is moved up and right by a fraction of a point, so that
 * the clip's margin of 0.1 point (scaled) and a renderer's rounding of its
 * edge stay above 0, where the box starts. */
float eps_shift() { return 0.15f + 0.1f * state.pr_scale; }

/* The box of an EPS, in whole points of the figure: what the marks cover,
 * or before any mark the plot area and its clip margin of 0.1 point; never
 * below 0. */
void bounding_box(int box[4]) {
  const Extent& e = state.out.extent;
  float x0 = e.area.x_min, x1 = e.area.x_max, y0 = e.area.y_min, y1 = e.area.y_max;
  if (e.any) {
    x0 = e.x_min;
    y0 = e.y_min;
    x1 = e.x_max;
    y1 = e.y_max;
  }
  const float s = state.pr_scale, t = eps_shift();
  box[0] = std::max(0, gdevice_int(std::floor(t + s * x0)));
  box[1] = std::max(0, gdevice_int(std::floor(t + s * y0)));
  box[2] = std::max(box[0], gdevice_int(std::ceil(t + s * x1)));
  box[3] = std::max(box[1], gdevice_int(std::ceil(t + s * y1)));
}

void write_box_line() {
  int box[4];
  bounding_box(box);
  char line[kBoxLineLen + 1];
  std::snprintf(line, sizeof line, "%%%%BoundingBox: %d %d %d %d", box[0], box[1], box[2], box[3]);
  std::fprintf(state.out.fp, "%-*s\n", kBoxLineLen - 1, line);
}

/* Rewrites the box line of a finished EPS with the marks' extent; a pipe
 * keeps the plot area's box. */
void tighten_box() {
  Output& out = state.out;
  if (out.box_at < 0 || !out.extent.any) return;
  const long end = std::ftell(out.fp);
  if (end < 0 || std::fseek(out.fp, out.box_at, SEEK_SET) != 0) return;
  write_box_line();
  std::fseek(out.fp, end, SEEK_SET);
}

void reset_state_in_force() { put(state.pr_color ? "0 0 0 setrgbcolor\n" : "0 setgray\n"); }

/* Image samples: the colour of a pixel from the image's colour table, or
 * from its masked components; a grey image without a table holds greys. */
struct PixelReader {
  const IMG_report& img;
  int bits;             /* bits a pixel occupies */
  long long line_needs; /* bytes a row's pixels need */

  static int bits_of(const IMG_report& img) {
    if (img.bits_pixel > 0) return img.bits_pixel;
    return img.depth > 8 ? ((img.depth + 7) / 8) * 8 : 8;
  }

  explicit PixelReader(const IMG_report& image) : img(image), bits(bits_of(image)) {
    line_needs = (static_cast<long long>(img.width) * bits + 7) / 8;
  }

  bool usable() const {
    static constexpr int allowed[] = {1, 4, 8, 16, 24, 32};
    const bool known_size = std::find(std::begin(allowed), std::end(allowed), bits) != std::end(allowed);
    return img.data && img.width > 0 && img.height > 0 && known_size && img.bytes_line >= line_needs &&
           (img.num_colors == 0 || img.colors);
  }

  unsigned int value(int row, int col) const {
    const unsigned char* line = img.data + static_cast<size_t>(row) * static_cast<size_t>(img.bytes_line);
    if (bits == 1) return (line[col / 8] >> (col % 8)) & 1u;
    if (bits == 4) return (col % 2 == 0) ? (line[col / 2] >> 4) : (line[col / 2] & 0x0fu);
    const int n = bits / 8;
    const unsigned char* p = line + static_cast<size_t>(col) * static_cast<size_t>(n);
    unsigned int v = 0;
    for (int k = 0; k < n; ++k) v = img.byte_order ? (v << 8) | p[k] : v | (static_cast<unsigned int>(p[k]) << (8 * k));
    return v;
  }

  static float component(unsigned int v, unsigned int mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1u)) ++shift;
    const unsigned int top = mask >> shift;
    return static_cast<float>((v & mask) >> shift) / static_cast<float>(top);
  }

  void colour(int row, int col, float* r, float* g, float* b) const {
    const unsigned int v = value(row, col);
    if (img.color_type == 0 && bits > 8) {
      *r = component(v, img.red ? img.red : 0xff0000u);
      *g = component(v, img.grn ? img.grn : 0x00ff00u);
      *b = component(v, img.blu ? img.blu : 0x0000ffu);
      return;
    }
    if (img.num_colors > 0) {
      const IMG_color& c = img.colors[v < static_cast<unsigned int>(img.num_colors) ? v : 0];
      *r = c.r;
      *g = c.g;
      *b = c.b;
      return;
    }
    const float top = static_cast<float>((bits >= 32 ? 0xffffffffu : (1u << bits) - 1u));
    *r = *g = *b = static_cast<float>(v) / top;
  }
};

/* Colour components are truncated; a grey is rounded, being computed. */
int to_byte(float v) { return static_cast<int>(std::clamp(v, 0.0f, 1.0f) * 255); }
int grey_byte(float v) { return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); }

/* Two upper-case hex digits of a byte. */
void hex_byte(char* out, int byte) {
  static constexpr char digits[] = "0123456789ABCDEF";
  out[0] = digits[(byte >> 4) & 15];
  out[1] = digits[byte & 15];
}

} // namespace

FILE* gps_open_file(const char* name) {
  if (!name) return nullptr;
  if (state.out.fp) {
    if (state.held.fp) {
      MESS_print(M_warn, "gps_open_file: two postscript files are open already\n");
      return nullptr;
    }
    state.held = state.out;
    state.out = Output{};
  }
  Output out;
  if (name[0] == '|') {
    out.fp = FILE_open(name, "w");
    if (out.fp) MESS_print(M_mess, "Spooling to: %s\n", name + 1);
  } else if (name[0] == '+') {
    out.fp = FILE_open(name + 1, "a");
    out.append = 1;
    if (out.fp) MESS_print(M_mess, "Appending to: %s\n", name + 1);
  } else {
    out.fp = FILE_open(name, "w");
    if (out.fp) MESS_print(M_mess, "Creating: %s\n", name);
  }
  if (!out.fp) {
    state.out = state.held;
    state.held = Output{};
    return nullptr;
  }
  out.name = name;
  if (out.fp != stdout && out.fp != stderr) {
    out.stream_buffer = std::make_shared<char[]>(STREAM_BUFFER);
    if (std::setvbuf(out.fp, out.stream_buffer.get(), _IOFBF, STREAM_BUFFER) != 0) out.stream_buffer.reset();
  }
  state.out = out;
  if (std::getenv("PSCOLOR")) state.pr_color = 1;
  return out.fp;
}

int gps_init() {
  state.out.cache = Cache{};
  return 0;
}

int gps_set_size(float width, float height) {
  if (width > 0 && height > 0) {
    state.sx = width;
    state.sy = height;
  }
  return 0;
}

int gps_set_EPS(int val) {
  state.pr_eps = val;
  return 0;
}

int gps_set_orient(int val) {
  state.pr_port = val;
  return 0;
}

int gps_set_scale(float val) {
  if (!std::isfinite(val) || val <= 0) {
    MESS_print(M_warn, "gps_set_scale: invalid scale: %f\n", static_cast<double>(val));
    return -1;
  }
  state.pr_scale = val;
  return 0;
}

int gps_set_colorPS(int val) {
  state.pr_color = val;
  return 0;
}

int gps_get_colorPS() { return state.pr_color; }

int gps_set_reverse(int val) {
  state.pr_rev = val;
  return 0;
}

int gps_set_base_width(int val) {
  state.base_width = static_cast<float>(val);
  return 0;
}

int gps_set_color_rep(int ind, float red, float green, float blue) {
  if (ind < 0 || ind >= NUM_ENTRIES) return 0;
  state.gray[static_cast<size_t>(ind)] = grey_of(red, green, blue);
  /* A colour in force that was redefined must be written again. */
  if (state.out.cache.ps_col_ind == ind) state.out.cache.ps_col_ind = -1;
  return 0;
}

float gps_get_gray(int ind) {
  if (ind == -1) ind = NUM_ENTRIES - 1;
  return (ind >= 0 && ind < NUM_ENTRIES) ? state.gray[static_cast<size_t>(ind)] : 0.0f;
}

namespace {

constexpr const char* procedures[] = {
    "/inch {72 mul} def\n",     "/dot {.33 mul} def\n", "/mv {moveto} def\n",    "/ln {lineto} def\n",
    "/lw {setlinewidth} def\n", "/np {newpath} def\n",  "/cp {closepath} def\n",
};

/* The compact path form (see the top of this file). */
constexpr const char* path_procedures[] = {
    "/X 0 def\n",
    "/Y 0 def\n",
    "/d {Y add /Y exch def X add /X exch def X 100 div Y 100 div} bind def\n",
    "/m {d moveto} bind def\n",
    "/M {newpath d moveto} bind def\n",
    "/L {0 2 2 index length 1 sub {1 index exch 2 getinterval aload pop d lineto} for pop} bind def\n",
    "/S {L stroke} bind def\n",
};

} // namespace

int gps_init_file() {
  if (state.out.append) {
    /* The file may have been begun by another writer: the procedures the
     * drawing uses come with it. */
    for (const char* p : procedures) put(p);
    for (const char* p : path_procedures) put(p);
    reset_state_in_force();
    put("1 dot lw\n");
    put("[] 0 setdash\n");
    gps_printf("%%%%KEZ Plot: %s\n", gget_win_title());
    return 0;
  }
  if (state.pr_eps) {
    put("%!PS-Adobe-3.0 EPSF-3.0\n");
    int w = 0, h = 0, ox = 0, oy = 0;
    gget_win_size(&w, &h);
    gget_win_offset(&ox, &oy);
    state.out.extent = Extent{};
    state.out.extent.area = Glim{static_cast<float>(ox) - 0.1f, static_cast<float>(ox + w - 1) + 0.1f,
                                 static_cast<float>(oy) - 0.1f, static_cast<float>(oy + h - 1) + 0.1f};
    state.out.extent.clip = state.out.extent.area;
    flush(state.out);
    state.out.box_at = std::ftell(state.out.fp);
    write_box_line();
  } else {
    put("%!PS-Adobe-1.0\n");
  }
  gps_printf("%%%%Title: KEZ Graphics Display: %s\n", gget_win_title());
  put("%%Creator: KEZ Postscript Processor-2.0\n");
  std::time_t now = std::time(nullptr);
  std::tm local{};
  char date[64] = "";
  if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y\n", &local);
  gps_printf("%%%%CreationDate: %s", date);
  put("%%EndComments\n");
  put("%%Postscript initialization\n");
  if (!state.pr_eps) {
    put("30 dict begin\n");
    put("/saveobj save def\n");
  }
  for (const char* p : procedures) put(p);
  for (const char* p : path_procedures) put(p);
  if (state.pr_eps) {
    put_numbers({eps_shift(), eps_shift()}, 2, "translate\n");
  } else if (!state.pr_port) {
    put("90 rotate\n");
    put(".25 inch -");
    put_numbers({state.sy - 0.25f}, 2, "inch translate\n");
  } else {
    put(".25 inch .25 inch translate\n");
  }
  reset_state_in_force();
  put("2 setlinejoin\n");
  put("1 dot lw\n");
  put("[] 0 setdash\n");
  if (state.pr_scale != 1) put_numbers({state.pr_scale, state.pr_scale}, 2, "scale\n");
  put("%%Begin plot\n");
  gps_printf("%%%%KEZ Plot: %s\n", gget_win_title());
  return 0;
}

int gps_close_file() {
  if (!state.out.fp) return -1;
  put("%%End of plot\n");
  if (state.out.clip_saved) put("grestore\n");
  if (!state.out.append) {
    if (!state.pr_eps) put("saveobj restore\n");
    put("showpage\n");
    if (!state.pr_eps) put("end\n");
    put("%%EOF\n");
    flush(state.out);
    if (state.pr_eps) tighten_box();
  }
  flush(state.out);
  const int result = gclose_output(state.out.fp, state.out.name.c_str(), "Postscript");
  if (result == 0) MESS_print(M_mess, "Created Postscript file\n");
  state.out = state.held;
  state.held = Output{};
  return result;
}

int gps_printf(const char* format, ...) {
  if (!state.out.fp || !format) return 0;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<size_t>(n));
    put(text);
  }
  va_end(again);
  return 0;
}

int gps_move(float x, float y) { return gps_move_abs(xW_ps(x), yW_ps(y)); }

int gps_line(float x, float y) { return gps_line_abs(xW_ps(x), yW_ps(y)); }

/* Half the width of the line in force, in points (a dot is 0.33 point). */
float half_line_width() { return 0.165f * state.base_width * state.out.cache.line_width; }

int gps_move_abs(float x, float y) {
  if (state.pr_eps) state.out.extent.add(x, y, half_line_width());
  move_to(x, y);
  return 0;
}

int gps_line_abs(float x, float y) {
  if (state.pr_eps) state.out.extent.add(x, y, half_line_width());
  line_to(x, y);
  return 0;
}

namespace {

/* Lines to n world points, as gps_line draws each, converted a batch at a
 * time: the strokes of the station models' text and the polylines come
 * this way. */
void gps_lines(const Gpt* world, int n) {
  constexpr int BATCH = 64;
  std::array<Gpt, BATCH> device;
  for (int from = 0; from < n; from += BATCH) {
    const int k = std::min(BATCH, n - from);
    gW_ps_points(k, world + from, device.data());
    if (state.pr_eps)
      for (int i = 0; i < k; ++i) state.out.extent.add(device[i].x, device[i].y, half_line_width());
    lines_to(device.data(), k);
  }
}

} // namespace

/* Lines are black in grey output. */
int gps_set_color(int ind) {
  if (const PrintColour* p = print_colour(ind)) {
    set_print_grey(*p);
  } else if (state.pr_color) {
    set_rgb(ind);
  } else {
    if (state.out.cache.gray_level != 0) put("0 setgray\n");
    state.out.cache.gray_level = 0;
  }
  return 0;
}

/* Print colours fill in their own grey, as they draw. */
int gps_set_fill_color(int ind) {
  if (const PrintColour* p = print_colour(ind)) {
    set_print_grey(*p);
  } else if (state.pr_color) {
    set_rgb(ind);
  } else if (gget_fill_print_solid()) {
    put("0 setgray\n");
    state.out.cache.gray_level = 0;
  } else if (ind == -1) {
    if (state.out.cache.gray_level != 1) put("1 setgray\n");
    state.out.cache.gray_level = 1;
  } else {
    set_grey(gps_get_gray(ind));
  }
  return 0;
}

/* Widths are bounded like every device number, whatever a setting or a
 * metafile asked for. */
int gps_set_width(int ind, float width) {
  Cache& c = state.out.cache;
  const double b = state.base_width, w = width;
  float factor = 0;
  if (ind == 501 || ind == 504 || ind == 507) {
    factor = 2 * width;
    if (factor != c.line_width) put_count("", gdevice_int(w * b * 2), " dot lw\n");
  } else if (ind == 502 || ind == 505 || ind == 508) {
    factor = 4 * width;
    if (factor != c.line_width) put_count("", gdevice_int(w * b * 4), " dot lw\n");
  } else {
    const double bold = gget_line_print_bold();
    factor = static_cast<float>(bold * w);
    if (factor != c.line_width)
      put_numbers({std::clamp(b * w * bold, 0.0, static_cast<double>(GDEVICE_LIMIT))}, 1, "dot lw\n");
  }
  c.line_width = factor;
  return 0;
}

int gps_set_type(int type) {
  Cache& c = state.out.cache;
  if (type == c.line_type) return 0;
  for (const Dash& d : dashes)
    if (d.type == type) put(d.setdash);
  c.line_type = type;
  return 0;
}

/* The image fills the current viewport at one sample per point; x and y
 * shift it (a negative offset leaves blank columns or rows first). */
int gps_image(const IMG_report* image, int x, int y) {
  if (!image || !state.out.fp) return 0;
  const PixelReader reader(*image);
  if (!reader.usable()) {
    MESS_print(M_warn, "gps_image: image record without usable pixels\n");
    return 0;
  }
  Grectangle vp{0, 0, 0, 0};
  gget_gviewport(&vp);
  const int W = vp.width, H = vp.height;
  if (W <= 0 || H <= 0) return 0;

  const bool colour = state.pr_color != 0;
  if (state.pr_eps) {
    state.out.extent.add(static_cast<float>(vp.x), static_cast<float>(vp.y), 0);
    state.out.extent.add(static_cast<float>(vp.x + W), static_cast<float>(vp.y + H), 0);
  }
  put("gsave\n");
  gps_printf("%d %d translate\n", vp.x, vp.y);
  gps_printf("%d %d scale\n", W, H);
  gps_printf("/picstr %d string def\n", W);
  gps_printf("%d %d 8 [ %d 0 0 %d 0 %d ]\n", W, H, W, -H, H);
  put("{ currentfile picstr readhexstring pop }\n");
  put(colour ? "false 3 colorimage\n" : "image\n");

  const char* blank = colour ? "FFFFFF" : "FF";
  std::string line;
  int samples = 0;
  auto sample = [&](const char* hex) {
    line += hex;
    if (samples++ % 80 == 79) line += '\n';
  };
  auto end_row = [&]() {
    line += '\n';
    put(line.c_str());
    line.clear();
    samples = 0;
  };

  int rows = 0;
  for (int i = 0; i < -y && rows < H; ++i, ++rows) {
    for (int k = 0; k < W; ++k) sample(blank);
    end_row();
  }
  char hex[8];
  for (int row = std::max(y, 0); row < image->height && rows < H; ++row, ++rows) {
    for (int k = 0; k < -x && samples < W; ++k) sample(blank);
    for (int col = std::max(x, 0); col < image->width && samples < W; ++col) {
      float r = 0, g = 0, b = 0;
      reader.colour(row, col, &r, &g, &b);
      if (colour) {
        hex_byte(hex, to_byte(r));
        hex_byte(hex + 2, to_byte(g));
        hex_byte(hex + 4, to_byte(b));
        hex[6] = '\0';
      } else {
        hex_byte(hex, grey_byte(grey_of(r, g, b)));
        hex[2] = '\0';
      }
      sample(hex);
    }
    while (samples < W) sample(blank);
    end_row();
  }
  for (; rows < H; ++rows) {
    for (int k = 0; k < W; ++k) sample(blank);
    end_row();
  }
  put("grestore\n");
  return 0;
}

/* ---- the PostScript device ------------------------------------------- */

namespace {

/* Words first, then the numbers after their keywords. */
constexpr Gpage_option ps_options[] = {
    {"port", false, false, [](float, Gpage*) { gps_set_orient(1); }},
    {"land", false, false, [](float, Gpage*) { gps_set_orient(0); }},
    {"eps", false, false, [](float, Gpage*) { gps_set_EPS(1); }},
    {"noeps", false, false, [](float, Gpage*) { gps_set_EPS(0); }},
    {"color", false, false,
     [](float, Gpage*) {
       gps_set_colorPS(1);
       gset_inverse(1);
     }},
    {"gray", false, false, [](float, Gpage*) { gps_set_colorPS(0); }},
    {"scale", true, false, [](float v, Gpage*) { gps_set_scale(v); }},
    {"lwidth", true, false, [](float v, Gpage*) { gps_set_base_width(gdevice_int(v)); }},
};

int open_postscript(const Gconn_items& items) {
  gset_cache(0);
  gset_redraw(0);
  std::string name = !items.empty() && !items[0].empty() ? items[0] : "";
  if (name.empty()) {
    const char* env = gfirst_env({"kezps_print", "PSPRINT"});
    name = env ? env : "kez.ps";
  }
  errno = 0;
  if (!gps_open_file(name.c_str())) {
    const int err = errno;
    gerr_printf("gopen_ws", "unable to open postscript file %s: %s\n", name.c_str(),
                err != 0 ? std::strerror(err) : "refused");
    return -1;
  }
  Gpage page{11, 8.5f};
  gps_init();
  const int n = static_cast<int>(std::size(ps_options));
  gpage_options(gsplit_items(std::getenv("kezps_param")), 0, ps_options, n, true, gusable_page, &page);
  gpage_options(items, 1, ps_options, n, false, gusable_page, &page);

  /* A page's plot area lies on its paper either way: upright, its long
   * side runs up the paper. An EPS has no paper; its box holds the area as
   * it is, never turned. */
  const bool upright_page = state.pr_port && !state.pr_eps;
  const double across = upright_page ? page.height : page.width, up = upright_page ? page.width : page.height;
  Garea area{gdevice_int(72 * (across - 0.5)), gdevice_int(72 * (up - 0.5)), 0, 0};
  const char* geometry = RES_get("geometry");
  if (!geometry) geometry = gfirst_env({"kezps_geometry", "PSGEOMETRY"});
  if (geometry && (geometry[0] == 'P' || geometry[0] == 'p'))
    gpanel_geometry(geometry + 1, true, &area);
  else if (geometry)
    gsize_geometry(geometry, 0.72f, &area);
  gset_xsize(area.width, area.height);
  gset_xoff(area.x, area.y);

  /* The prolog follows the geometry, so that an EPS bounding box holds the
   * plot area as it will be drawn. */
  gps_set_size(page.width, page.height);
  gps_init_file();
  return 0;
}

/* An EPS must not reset the clip of the page that holds it, so there the
 * clip of the last viewport is taken back with the state saved under it;
 * what that state held is written again when next needed. */
void ps_clip(float x0, float y0, float x1, float y1) {
  Output& out = state.out;
  const float left = x0 - 0.1f, bottom = y0 - 0.1f;
  if (state.pr_eps) {
    if (out.clip_saved) put("grestore\n");
    put("gsave\n");
    out.clip_saved = true;
    out.cache = Cache{};
  } else {
    put("initclip\n");
  }
  if (state.pr_eps) {
    const Glim& a = out.extent.area;
    out.extent.clip = Glim{std::max(a.x_min, left), std::min(a.x_max, x1 + 0.1f), std::max(a.y_min, bottom),
                           std::min(a.y_max, y1 + 0.1f)};
  }
  new_path();
  move_to(left, bottom);
  line_to(left, y1 + 0.1f);
  line_to(x1 + 0.1f, y1 + 0.1f);
  line_to(x1 + 0.1f, bottom);
  put("cp\nclip\n");
}

int ps_polyline(int n, const Gpt* pts, const Gline_attr& a) {
  const Deferred whole;
  put_count("%%PL:", n, "\n");
  gps_set_width(a.color, a.width);
  gps_set_color(a.color);
  gps_set_type(a.type);
  new_path();
  gps_move(pts[0].x, pts[0].y);
  gps_lines(pts + 1, n - 1);
  stroke();
  return 0;
}

/* PostScript fills only in the solid style. */
int ps_fill_area(int n, const Gpt* pts, int style, int color) {
  if (style != GSOLID) return 0;
  const Deferred whole;
  put_count("%%FA:", n, "\n");
  new_path();
  gps_move(pts[0].x, pts[0].y);
  gps_lines(pts + 1, n - 1);
  put("cp\n");
  gps_set_fill_color(color);
  put("fill\n");
  return 0;
}

void ps_marker_setup(int n, const Gline_attr& a) {
  put_count("%%PM:", n, "\n");
  gps_set_width(a.color, a.width);
  gps_set_color(a.color);
  gps_set_type(1);
}

Gpt ps_centre(const Gpt& w) { return Gpt{xW_ps(w.x), yW_ps(w.y)}; }

/* A single point is a zero-length line, which PostScript paints only with
 * round caps. */
void ps_marker_stroke(int npt, const Gpt* pts) {
  new_path();
  gps_move_abs(pts[0].x, pts[0].y);
  if (npt == 1) {
    gps_line_abs(pts[0].x, pts[0].y);
    put("1 setlinecap\nstroke\n0 setlinecap\n");
    return;
  }
  for (int i = 1; i < npt; ++i) gps_line_abs(pts[i].x, pts[i].y);
  stroke();
}

/* A text as a comment line: control characters would end the line early,
 * so they are written as blanks. */
void append_one_line(PageText& out, const unsigned char* s) {
  if (!s) return;
  const std::size_t n = std::strlen(reinterpret_cast<const char*>(s));
  char* at = out.room(n);
  for (std::size_t i = 0; i < n; ++i) at[i] = s[i] < 32 || s[i] == 127 ? ' ' : static_cast<char>(s[i]);
  out.commit(at + n);
}

/* A string's text, from its set-up to its end, goes to the stream at its
 * end (Deferred, over the device calls of the string). */
void ps_text_setup(const unsigned char* string, float ox, float oy, const Gline_attr& a) {
  ++state.out.deferring;
  if (TextOut out; out) {
    PageText& b = out.text();
    b += "%%TE:";
    append_fixed_exact(b, ox, 6);
    b += ' ';
    append_fixed_exact(b, oy, 6);
    b += ' ';
    append_one_line(b, string);
    b += '\n';
  }
  gps_set_width(a.color, a.width);
  gps_set_color(a.color);
  gps_set_type(1);
}
/* A stroke goes out when it is finished: its move was written when it
 * began, its lines to the points after the first come at its end, so the
 * page is what a line per pen-down point wrote, for a call per stroke. */
void stroke_lines(const Gpt* finished, int n) {
  if (n > 1) gps_lines(finished + 1, n - 1);
}
void ps_text_end() {
  Output& o = state.out;
  if (o.deferring > 0 && --o.deferring == 0) flush(o);
}
void ps_glyph_begin() { new_path(); }
void ps_pen_up(Gpt at, const Gpt* pts, int finished) {
  if (finished > 0) {
    stroke_lines(pts, finished);
    stroke();
    new_path();
  }
  gps_move(at.x, at.y);
}
void ps_split(Gpt at, const Gpt* pts, int finished) {
  stroke_lines(pts, finished);
  stroke();
  new_path();
  gps_move(at.x, at.y);
}
void ps_glyph_end(const Gpt* pts, int finished) {
  if (finished > 0) {
    stroke_lines(pts, finished);
    stroke();
  }
}

/* A glyph's strokes as ps_glyph_begin, ps_pen_up, ps_split and
 * ps_glyph_end write them, its points converted in one batch: most of a
 * station model's page is glyphs of a few short strokes each. */
void ps_strokes(const Gpt* pts, int n, const int* starts, int nstrokes) {
  new_path();
  if (n <= 0 || nstrokes <= 0) return;
  std::vector<Gpt>& dev = state.glyph_points;
  if (dev.size() < static_cast<std::size_t>(n)) dev.resize(static_cast<std::size_t>(n));
  gW_ps_points(n, pts, dev.data());
  auto lines = [&](int from, int count) {
    if (state.pr_eps)
      for (int i = from; i < from + count; ++i) state.out.extent.add(dev[i].x, dev[i].y, half_line_width());
    lines_to(dev.data() + from, count);
  };
  /* As the renderer hands them over: `count` points from `first` on. */
  int first = 0, count = 0;
  constexpr int PIECE = GTEXT_PENDING - 1;
  for (int j = 0; j < nstrokes; ++j) {
    const int a = starts[j], b = j + 1 < nstrokes ? starts[j + 1] : n;
    if (count > 1) {
      lines(first + 1, count - 1);
      stroke();
      new_path();
    }
    gps_move_abs(dev[a].x, dev[a].y);
    first = a;
    for (int k = a + PIECE; k < b; k += PIECE) {
      lines(first + 1, PIECE);
      stroke();
      new_path();
      gps_move_abs(dev[k].x, dev[k].y);
      first = k;
    }
    count = b - first;
  }
  if (count > 1) {
    lines(first + 1, count - 1);
    stroke();
  }
}

void ps_clear_region(const Glim& lim) {
  /* Clearing paints the background, which is not part of an EPS figure. */
  const Extent kept = state.out.extent;
  put("%CLR\n");
  new_path();
  gps_move(lim.x_min, lim.y_min);
  gps_line(lim.x_min, lim.y_max);
  gps_line(lim.x_max, lim.y_max);
  gps_line(lim.x_max, lim.y_min);
  gps_line(lim.x_min, lim.y_min);
  put("cp\n");
  gps_set_fill_color(-1);
  put("fill\n");
  state.out.extent = kept;
}

void ps_message(const char* text) {
  if (TextOut out; out) {
    out.text() += "%Message: ";
    out.text() += text ? text : "";
    out.text() += '\n';
  }
}

} // namespace

const Gdevice gps_device = {
    GWS_PS,
    nullptr,
    GINIT_PS,
    open_postscript,
    gps_close_file,
    nullptr,
    ps_clip,
    ps_polyline,
    ps_fill_area,
    {0.72, ps_marker_setup, ps_centre, ps_marker_stroke, nullptr, nullptr},
    {ps_text_setup, ps_glyph_begin, ps_pen_up, nullptr, ps_split, ps_glyph_end, nullptr, nullptr, ps_text_end,
     ps_strokes},
    ps_clear_region,
    ps_message,
};
