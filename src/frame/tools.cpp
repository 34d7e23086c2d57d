/*
 * tools: small tools of the runtime frame.
 *
 * Line readers with their newline convention, byte order and the swapping
 * read and write helpers, small numeric tools, and the conversion between
 * WMO station numbers and station identifiers.
 */
#include "kez.h"

/* ---- line readers, byte order and small numeric tools -------------------- */

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

struct ByteOrderState {
  bool swap = true; /* whether the swap functions act; only swap_setup sets it */
};

ByteOrderState byte_order;

/* One line of text, at most limit bytes, into buf. A newline standing at the
 * reading position ends the previous line and is taken away first; the
 * newline that ends this line stays for the next call. Gives EOF (buffer
 * untouched), 0 for an empty line or 1 with the bytes taken in *taken. */
int read_line(FILE* ifile, char* buf, int limit, int* taken) {
  *taken = 0;
  int c = std::getc(ifile);
  if (c == '\n') c = std::getc(ifile);
  if (c == EOF) return EOF;
  if (c == '\n') {
    std::ungetc(c, ifile);
    buf[0] = '\0';
    return 0;
  }
  int n = 0;
  for (;;) {
    buf[n++] = static_cast<char>(c);
    if (n == limit) break;
    c = std::getc(ifile);
    if (c == EOF) break;
    if (c == '\n') {
      std::ungetc(c, ifile);
      break;
    }
  }
  buf[n] = '\0';
  *taken = n;
  return 1;
}

bool reader_args_ok(const char* who, FILE* ifile, const char* string, int len) {
  if (ifile && string && len >= 1) return true;
  MESS_print(M_error, "%s: No file, no buffer or a length below 1 (%d)\n", who, len);
  return false;
}

int reverse_bytes(unsigned char* ptr, int size, int num) {
  if (!byte_order.swap || !ptr) return -1;
  for (int i = 0; i < num; ++i) {
    unsigned char* word = ptr + static_cast<std::ptrdiff_t>(i) * size;
    for (int lo = 0, hi = size - 1; lo < hi; ++lo, --hi) std::swap(word[lo], word[hi]);
  }
  return 0;
}

int fread_swap(unsigned char* data, FILE* ifile, int size) {
  if (!data || !ifile) return 0;
  int got = static_cast<int>(std::fread(data, static_cast<size_t>(size), 1, ifile));
  if (got == 1) reverse_bytes(data, size, 1);
  return got;
}

int fwrite_swap(unsigned char* data, FILE* ofile, int size) {
  if (!data || !ofile) return 0;
  reverse_bytes(data, size, 1);
  return static_cast<int>(std::fwrite(data, static_cast<size_t>(size), 1, ofile));
}

} // namespace

int fgetline(FILE* ifile, char* string) {
  if (!reader_args_ok("fgetline", ifile, string, FGETLINE_LEN)) return EOF;
  int taken = 0;
  int got = read_line(ifile, string, FGETLINE_LEN, &taken);
  return got == EOF ? EOF : static_cast<int>(std::strlen(string));
}

int fgetnline(FILE* ifile, char* string, int len) {
  if (!reader_args_ok("fgetnline", ifile, string, len)) return EOF;
  int taken = 0;
  int got = read_line(ifile, string, len, &taken);
  return got == EOF ? EOF : taken;
}

int fgetstring(FILE* ifile, char* string, int len) {
  if (!reader_args_ok("fgetstring", ifile, string, len)) return EOF;
  int taken = 0;
  return read_line(ifile, string, len, &taken);
}

int fget_rawstring(FILE* ifile, char* string, int len) {
  int got = fgetstring(ifile, string, len);
  if (got == EOF) return EOF;
  /* From the end: the text ends at its first carriage return, and control
   * and non-ASCII bytes become blanks. */
  for (size_t i = std::strlen(string); i-- > 0;) {
    if (string[i] == '\r')
      string[i] = '\0';
    else if (static_cast<signed char>(string[i]) <= 32)
      string[i] = ' ';
  }
  return got;
}

int fskipline(FILE* ifile) {
  if (!ifile) return EOF;
  int c = std::getc(ifile);
  if (c == EOF) return EOF;
  if (c == '\n') {
    /* Already at the end of a line: the next reader takes this newline. */
    std::ungetc(c, ifile);
    return 0;
  }
  while ((c = std::getc(ifile)) != EOF)
    if (c == '\n') return 0;
  return EOF;
}

int swap_setup(int flag) {
  constexpr bool little = std::endian::native == std::endian::little;
  switch (flag) {
    case 1: byte_order.swap = little; break;
    case 2: byte_order.swap = !little; break;
    case -1: byte_order.swap = false; break;
    default: byte_order.swap = true; break;
  }
  return 0;
}

int swap_long(unsigned char* ptr) { return reverse_bytes(ptr, 4, 1); }
int swap_double(unsigned char* ptr) { return reverse_bytes(ptr, 8, 1); }
int swap_longs(unsigned char* ptr, int num) { return reverse_bytes(ptr, 4, num); }
int swap_short(unsigned char* ptr) { return reverse_bytes(ptr, 2, 1); }
int swap_shorts(unsigned char* ptr, int num) { return reverse_bytes(ptr, 2, num); }

int fread_double_swap(unsigned char* data, FILE* ifile) { return fread_swap(data, ifile, 8); }
int fread_long_swap(unsigned char* data, FILE* ifile) { return fread_swap(data, ifile, 4); }
int fread_short_swap(unsigned char* data, FILE* ifile) { return fread_swap(data, ifile, 2); }
int fwrite_long_swap(unsigned char* data, FILE* ofile) { return fwrite_swap(data, ofile, 4); }
int fwrite_short_swap(unsigned char* data, FILE* ofile) { return fwrite_swap(data, ofile, 2); }

float linear_interp(float x, float x1, float x2, float y1, float y2) { return (x - x1) * (y2 - y1) / (x2 - x1) + y1; }

int fswap(float* x, float* y) {
  std::swap(*x, *y);
  return 0;
}

int float2int(float x) {
  if (x == 0.0f) return 0;
  if (!std::isfinite(x)) return -9999;
  float value = std::fabs(x);
  /* Codes in stored variable names were made with exactly these steps: the
   * logarithm in double, the scaling in single precision (0.01 -> 799). */
  int e = static_cast<int>(std::log10(static_cast<double>(value)) + 5.0) - 5;
  if (e >= 1) {
    for (int i = 0; i < e - 1; ++i) value /= 10.0f;
  } else {
    for (int i = 0; i < 1 - e; ++i) value *= 10.0f;
  }
  int digits = static_cast<int>(value) % 100;
  int field = e >= 0 ? e : e + 10;
  return x > 0.0f ? 100 * field + digits : -(100 * field) - digits;
}

bool fget_text_line(FILE* ifile, std::string* line) { return fget_text_line(ifile, line, std::string::npos); }

/* Lines are read a block at a time through fgets, whose terminator is
 * found as the last NUL of a block first filled with ones: a line may hold
 * NUL characters of its own, which are kept. No lock per block: the
 * library reads its files from one thread. */
bool fget_text_line(FILE* ifile, std::string* line, std::size_t max) {
  line->clear();
  constexpr int BLOCK = 256;
  char block[BLOCK];
  bool any = false;
  for (;;) {
    std::memset(block, 1, sizeof block);
    if (!fgets_unlocked(block, BLOCK, ifile)) return any;
    any = true;
    const auto* terminator = static_cast<const char*>(memrchr(block, '\0', sizeof block));
    std::size_t n = terminator ? static_cast<std::size_t>(terminator - block) : 0;
    const bool ended = n > 0 && block[n - 1] == '\n';
    if (ended) --n;
    if (!std::memchr(block, '\r', n)) {
      line->append(block, std::min(n, max - std::min(max, line->size())));
    } else {
      for (std::size_t i = 0; i < n; ++i)
        if (block[i] != '\r' && line->size() < max) line->push_back(block[i]);
    }
    if (ended || n + 1 < static_cast<std::size_t>(BLOCK)) return true;
  }
}

bool scan_decimal(std::string_view text, double* value, std::size_t* used) {
  /* At most 15 digits make a whole number that a double holds exactly, and
   * its quotient by the exact power of ten of its decimals is the double
   * nearest the text, which is strtod's result. */
  static constexpr double POW10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::size_t q = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++q;
  std::uint64_t whole = 0;
  int digits = 0, decimals = 0;
  bool point = false;
  for (; q < text.size(); ++q) {
    const char c = text[q];
    if (c >= '0' && c <= '9') {
      if (++digits > 15) return false;
      whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
      decimals += point ? 1 : 0;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  /* an exponent, or the "x" of "0x" */
  if (q < text.size() && (text[q] == 'e' || text[q] == 'E' || text[q] == 'x' || text[q] == 'X')) return false;
  const double v = static_cast<double>(whole) / POW10[decimals];
  *value = negative ? -v : v;
  *used = q;
  return true;
}

/* ---- WMO station numbers and station identifiers ------------------------- */

/* A station is known by its five-digit WMO number (block and station) or by
 * a five-character identifier: a one- or two-character prefix for the WMO
 * blocks of the ICAO-style regions, then the last four or three digits of
 * the number. Numbers in no range are written as five digits. The station
 * table makes identifiers for stations that have none and reads typed
 * identifiers back into WMO numbers. */
namespace {

struct WmoRange {
  int low;            /* first number of the range */
  int high;           /* last number, inclusive */
  const char* prefix; /* one or two characters */
};

/* Ranges do not overlap; the first that holds a number counts. */
constexpr WmoRange wmo_ranges[] = {
    {1000, 1499, "EN"},   {2000, 2699, "ES"},   {2800, 2999, "EF"},   {3000, 3949, "EG"},   {3950, 3999, "EI"},
    {4000, 4099, "BI"},   {4100, 4399, "BG"},   {6000, 6199, "EK"},   {6200, 6399, "EH"},   {6400, 6499, "EB"},
    {6500, 6599, "EL"},   {6600, 6799, "LS"},   {7000, 7999, "LF"},   {8000, 8499, "LE"},   {8500, 8579, "LP"},

    {10000, 10999, "ED"}, {11000, 11399, "LO"}, {11400, 11999, "LK"}, {12100, 12699, "EP"}, {12700, 12999, "LH"},
    {13000, 13599, "LY"}, {13600, 13699, "LA"}, {14000, 14299, "LJ"}, {15000, 15499, "LR"}, {15500, 15999, "LB"},
    {16000, 16599, "LI"}, {16600, 16999, "LG"}, {17000, 17599, "LT"}, {17600, 17699, "LC"},

    {20000, 29999, "U"},

    {30000, 39999, "X"},

    {40000, 40099, "OS"}, {40100, 40149, "OL"}, {40150, 40199, "LL"}, {40250, 40349, "OJ"}, {40350, 40499, "OE"},
    {40500, 40599, "OK"}, {40600, 40699, "OR"}, {40700, 40899, "OI"}, {40900, 40999, "OA"}, {41000, 41149, "OE"},
    {41150, 41159, "OB"}, {41160, 41179, "OE"}, {41180, 41239, "OT"}, {41240, 41319, "OM"}, {41320, 41409, "OY"},
    {41410, 41499, "OD"}, {41500, 41799, "OP"}, {41800, 41999, "VG"}, {42000, 42999, "VI"}, {43000, 43999, "VO"},
    {44000, 44399, "ZM"}, {44400, 44499, "VN"}, {45000, 45099, "VH"}, {46000, 46999, "RC"}, {47000, 47079, "ZK"},
    {47080, 47199, "RK"}, {47400, 47999, "RJ"}, {48000, 48199, "VB"}, {48300, 48599, "VT"}, {48600, 48689, "WM"},
    {48690, 48699, "WS"}, {48800, 48929, "VV"}, {48930, 48959, "VL"}, {48960, 48999, "VD"},

    {50000, 59999, "Z"},

    {60000, 60049, "GC"}, {60050, 60319, "GM"}, {60320, 60339, "GE"}, {60350, 60699, "DA"}, {60700, 60799, "DT"},
    {61000, 61099, "DR"}, {61100, 61299, "GA"}, {61400, 61499, "GQ"}, {61600, 61699, "GO"}, {61700, 61749, "GB"},
    {61750, 61799, "GG"}, {61800, 61849, "GU"}, {61850, 61899, "GF"}, {62000, 62299, "HL"}, {62300, 62499, "HE"},
    {62600, 62999, "HS"}, {63000, 63099, "HA"}, {63100, 63149, "HF"}, {63150, 63299, "HC"}, {63300, 63499, "HA"},
    {63600, 63979, "HK"}, {63980, 63999, "FS"}, {64000, 64360, "FZ"}, {64380, 64389, "HR"}, {64390, 64399, "HB"},
    {64400, 64499, "FC"}, {64500, 64599, "FO"}, {64600, 64699, "FE"}, {64700, 64799, "FT"}, {64800, 64849, "FG"},
    {64850, 64999, "FK"}, {65000, 65299, "DN"}, {65300, 65349, "DB"}, {65350, 65399, "DX"}, {65400, 65499, "DG"},
    {65500, 65524, "DF"}, {65525, 65599, "DI"}, {65600, 65699, "GL"}, {66000, 66999, "FN"}, {67000, 67199, "FM"},
    {67200, 67399, "FQ"}, {67400, 67753, "FL"}, {67755, 67789, "FV"}, {67790, 67799, "FW"}, {67800, 67999, "FV"},
    {68000, 68999, "FA"}, {69000, 69999, "KQ"},

    {70000, 70999, "PA"}, {71000, 71999, "CY"}, {72000, 72999, "K2"}, {74000, 74999, "K4"}, {76000, 76999, "MM"},
    {78000, 78199, "MY"}, {78200, 78379, "MU"}, {78380, 78384, "MW"}, {78385, 78399, "MK"}, {78400, 78449, "MT"},
    {78450, 78499, "MD"}, {78500, 78519, "MH"}, {78520, 78534, "TJ"}, {78535, 78550, "TI"}, {78580, 78599, "MZ"},
    {78600, 78649, "MG"}, {78650, 78699, "MS"}, {78700, 78729, "MH"}, {78730, 78759, "MN"}, {78760, 78789, "MR"},
    {78790, 78819, "MP"}, {78840, 78864, "TK"}, {78865, 78889, "TN"}, {78890, 78899, "TF"}, {78900, 78919, "TD"},
    {78920, 78939, "TF"}, {78940, 78959, "TL"}, {78960, 78979, "TT"}, {78980, 78999, "TN"},

    {80000, 80399, "SK"}, {80400, 80999, "SV"}, {81000, 81199, "SY"}, {81200, 81399, "SM"}, {81400, 81599, "SO"},
    {82000, 82999, "SB"}, {83000, 83999, "SZ"}, {84000, 84299, "SE"}, {84300, 84999, "SP"}, {85000, 85399, "SL"},
    {85400, 85999, "SC"}, {86000, 86299, "SG"}, {86300, 86599, "SU"}, {87000, 87999, "SA"}, {88000, 88999, "SF"},

    {91000, 91199, "PH"}, {91250, 91259, "PK"}, {91260, 91299, "PH"}, {91300, 91359, "PT"}, {91360, 91379, "PK"},
    {91380, 91399, "PL"}, {91400, 91449, "PT"}, {91450, 91499, "PL"}, {91500, 91549, "AG"}, {91550, 91569, "NV"},
    {91570, 91599, "NW"}, {91600, 91649, "NG"}, {91650, 91699, "NF"}, {91700, 91749, "N1"}, {91750, 91759, "NL"},
    {91760, 91769, "NS"}, {91770, 91799, "NF"}, {91800, 91849, "NC"}, {91900, 91959, "NT"}, {92000, 92999, "AY"},
    {93000, 93999, "NZ"}, {94100, 95999, "Y"},  {96000, 96999, "WI"}, {97000, 97999, "WA"}, {98000, 98999, "RP"},
};

/* Bases of the one-character prefixes; a two-character prefix takes the
 * thousand-block of its range ("OE" has two, told apart by the digits). */
struct WmoBase {
  char prefix;
  int base;
};
constexpr WmoBase wmo_one_char_bases[] = {{'U', 20000}, {'X', 30000}, {'Z', 50000}, {'Y', 90000}};

constexpr int kNoWmo = 99999; /* the number of a station that has none */

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

const WmoRange* wmo_range_of(int wmo) {
  for (const WmoRange& r : wmo_ranges)
    if (wmo >= r.low && wmo <= r.high) return &r;
  return nullptr;
}

/* The number of the digits id[from] to id[to - 1]. */
int digits_value(const char* id, int from, int to) {
  int v = 0;
  for (int i = from; i < to; ++i) v = v * 10 + (id[i] - '0');
  return v;
}

/* The number an identifier with a letter first and digits in places 3 to 5
 * is read as, before it is checked; kNoWmo when nothing reads it. */
int decode_identifier(const char* id) {
  const int d = digits_value(id, 2, 5);
  for (const WmoBase& b : wmo_one_char_bases) {
    if (id[0] != b.prefix) continue;
    if (b.prefix == 'Z' && !is_digit(id[1])) break; /* "Z" and a letter: a two-character prefix */
    return is_digit(id[1]) ? b.base + digits_value(id, 1, 5) : kNoWmo;
  }
  if (id[0] == 'O' && id[1] == 'E') return d > 300 ? 40000 + d : 41000 + d;
  for (const WmoRange& r : wmo_ranges)
    if (r.prefix[1] != '\0' && r.prefix[0] == id[0] && r.prefix[1] == id[1]) return r.low / 1000 * 1000 + d;
  return kNoWmo;
}

} // namespace

int wmo_to_id(char* id, int wmo) {
  if (!id) return -1;
  if (wmo < 0 || wmo > 99999) {
    /* Such a number would not fit the five characters of an identifier. */
    std::snprintf(id, WMO_ID_LEN, "%d", kNoWmo);
    return -1;
  }
  const WmoRange* r = wmo_range_of(wmo);
  if (!r)
    std::snprintf(id, WMO_ID_LEN, "%5.5d", wmo);
  else if (r->prefix[1] == '\0')
    std::snprintf(id, WMO_ID_LEN, "%c%4.4d", r->prefix[0], wmo % 10000);
  else
    std::snprintf(id, WMO_ID_LEN, "%c%c%3.3d", r->prefix[0], r->prefix[1], wmo % 1000);
  return 0;
}

int id_to_wmo(const char* id, int* wmo) {
  if (!wmo) return -1;
  *wmo = kNoWmo;
  if (!id) return -1;
  int n = 0;
  while (n < 6 && id[n]) ++n;
  if (n != 5) return -1;
  bool all_digits = true;
  for (int i = 0; i < 5; ++i) all_digits = all_digits && is_digit(id[i]);
  if (all_digits) {
    *wmo = digits_value(id, 0, 5);
    return -1;
  }
  if (!is_letter(id[0]) || !is_digit(id[2]) || !is_digit(id[3]) || !is_digit(id[4])) return -1;
  /* Only an identifier that the number's own identifier spells out stands
   * for it: an unknown prefix, or digits outside the prefix's ranges, would
   * otherwise find some other station under its WMO number. */
  const int number = decode_identifier(id);
  char made[WMO_ID_LEN];
  if (number == kNoWmo || wmo_to_id(made, number) != 0 || std::string(made) != id) return -1;
  *wmo = number;
  return 0;
}
