/*
 * cty_read: the station database file.
 *
 * Owns the one open database file and reads it a record at a time: name,
 * state, country, identifier, priority text, latitude, longitude,
 * elevation, WMO number and a last number, separated by white space, one
 * station a line. Each field is read within its record width (a longer one
 * is cut, so the fields after it stay in step) and numbers must be numbers:
 * a line is read up to its first field that is not, and the count of fields
 * read tells the caller how far it got. Blank lines are passed over.
 *
 * Single stations are looked up here without a table (CTY_get); the station
 * table of a plot is cty_tool's.
 */
#include "kezcty.h"

#include <array>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

struct FileCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};

constexpr std::size_t BLOCK = 1 << 16; /* bytes read from the database at a time */

struct {
  std::unique_ptr<FILE, FileCloser> file; /* the open database */
  int file_type = 0;
  int fd = 0;
  /* The file read a block at a time: lines are found in the block, which
   * grows to hold a line longer than itself. block[at, end) is unread. */
  std::vector<char> block;
  std::size_t at = 0, end = 0;
  bool ended = false; /* the file gave no more */
  std::string line;   /* a line without its carriage returns, kept for its room */
} state;

void forget_block() {
  state.at = state.end = 0;
  state.ended = false;
}

/* The next line of the database, as fget_text_line gives it: without its
 * newline and without any carriage return, NULs kept; the last line may
 * lack its newline. false at the end. */
bool next_line(std::string_view* line) {
  FILE* fp = state.file.get();
  for (;;) {
    const char* from = state.block.data() + state.at;
    const std::size_t have = state.end - state.at;
    const auto* newline = static_cast<const char*>(have > 0 ? std::memchr(from, '\n', have) : nullptr);
    if (newline || (state.ended && have > 0)) {
      const std::size_t n = newline ? static_cast<std::size_t>(newline - from) : have;
      state.at += newline ? n + 1 : n;
      *line = std::string_view(from, n);
      if (std::memchr(from, '\r', n)) {
        state.line.clear();
        for (char c : *line)
          if (c != '\r') state.line.push_back(c);
        *line = state.line;
      }
      return true;
    }
    if (state.ended) return false;
    /* The unread rest to the front, room made, and the next block read. */
    if (state.at > 0) {
      std::memmove(state.block.data(), from, have);
      state.at = 0;
      state.end = have;
    }
    if (state.block.size() - state.end < BLOCK) state.block.resize(state.end + BLOCK);
    const std::size_t got = std::fread(state.block.data() + state.end, 1, state.block.size() - state.end, fp);
    state.end += got;
    if (got == 0) state.ended = true;
  }
}

constexpr float el_missing_above = 9000.0f; /* elevations above this are missing */
constexpr long bytes_per_bucket = 59;
constexpr int max_buckets = 4000;
constexpr int prior_text_len = 4;

/* Database names never run a command or read a standard stream, a device
 * or a pipe: a station file is data, and a name may come from a domain
 * text. */
bool plain_file_name(const char* who, const char* name) {
  if (!name || !*name || name[0] == '|' || FILE_is_stdio(name) || (FILE_exist(name) && !FILE_is_file(name))) {
    MESS_print(M_warn, "%s: Not a station database file: %s\n", who, name ? name : "");
    return false;
  }
  return true;
}

void copy_field(char* out, int size, std::string_view text) {
  size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

/* The fields of a record; words after them are not read. */
constexpr std::size_t RECORD_WORDS = 10;

/* The first RECORD_WORDS white-space separated words of a line. */
struct Words {
  std::array<std::string_view, RECORD_WORDS> word;
  std::size_t n = 0;
};

/* The spaces among 16 characters as the low 16 bits, character k bit k:
 * ' ' and '\t', '\n', '\v', '\f', '\r', which follow one another. */
unsigned space_bits(const char* p) {
#if defined(__SSE2__)
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i blank = _mm_cmpeq_epi8(c, _mm_set1_epi8(' '));
  const __m128i from_tab = _mm_sub_epi8(c, _mm_set1_epi8('\t'));
  const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(from_tab, _mm_set1_epi8('\r' - '\t')), from_tab);
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(blank, control)));
#else
  unsigned bits = 0;
  for (int k = 0; k < 16; ++k) bits |= p[k] == ' ' || (p[k] >= '\t' && p[k] <= '\r') ? 1u << k : 0u;
  return bits;
#endif
}

/* The words are found 16 characters at a time from where the spaces
 * change to other characters and back: a station line is mostly blanks. */
Words words_of(std::string_view line) {
  constexpr unsigned ALL = 0xffff;
  Words words;
  const std::size_t n = line.size();
  bool in_word = false;
  std::size_t start = 0;
  for (std::size_t base = 0; base < n; base += 16) {
    unsigned spaces;
    if (n - base >= 16) {
      spaces = space_bits(line.data() + base);
    } else {
      /* The last characters, and blanks after them. */
      char tail[16];
      std::memset(tail, ' ', sizeof tail);
      std::memcpy(tail, line.data() + base, n - base);
      spaces = space_bits(tail);
    }
    for (unsigned from = 0; from < 16;) {
      const unsigned ahead = (ALL << from) & ALL;
      const unsigned change = (in_word ? spaces : ~spaces) & ahead;
      if (change == 0) break;
      const auto k = static_cast<unsigned>(std::countr_zero(change));
      if (in_word) {
        words.word[words.n++] = line.substr(start, base + k - start);
        if (words.n == RECORD_WORDS) return words;
      } else {
        start = base + k;
      }
      in_word = !in_word;
      from = k + 1;
    }
  }
  if (in_word) words.word[words.n++] = line.substr(start);
  return words;
}

/* A number as strtod reads it from the start of the word. */
bool read_float(std::string_view word, float* value) {
  double v = 0;
  if (std::size_t used = 0; scan_decimal(word, &v, &used)) {
    if (std::fabs(v) > 1e30) return false;
    *value = static_cast<float>(v);
    return true;
  }
  std::string text(word);
  char* end = nullptr;
  errno = 0;
  v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || errno == ERANGE || !std::isfinite(v) || std::fabs(v) > 1e30) return false;
  *value = static_cast<float>(v);
  return true;
}

/* A number as strtol reads it from the start of the word: a sign and up
 * to nine digits here, anything longer through strtol. */
bool read_int(std::string_view word, int* value) {
  std::size_t i = !word.empty() && (word[0] == '-' || word[0] == '+') ? 1 : 0;
  const std::size_t first = i;
  long digits = 0;
  while (i < word.size() && i - first < 10 && word[i] >= '0' && word[i] <= '9')
    digits = 10 * digits + (word[i++] - '0');
  if (i > first && i - first < 10) {
    *value = static_cast<int>(word[0] == '-' ? -digits : digits);
    return true;
  }
  std::string text(word);
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE || v > 2147483647L || v < -2147483647L) return false;
  *value = static_cast<int>(v);
  return true;
}

/* '3', '*3', '3*' or '*3*'. */
bool read_priority(std::string_view word, CTY_data* city) {
  if (word.size() > static_cast<size_t>(prior_text_len)) return false;
  size_t i = 0;
  city->mos = ' ';
  city->ua = ' ';
  if (i < word.size() && word[i] == '*') {
    city->mos = '*';
    ++i;
  }
  if (i >= word.size() || !std::isdigit(static_cast<unsigned char>(word[i]))) return false;
  city->prior = word[i] - '0';
  ++i;
  if (i < word.size() && word[i] == '*') {
    city->ua = '*';
    ++i;
  }
  return i == word.size();
}

/* Fills city from the words of one line; the number of fields read. */
int read_record(const Words& record, CTY_data* city) {
  const size_t n = record.n;
  const auto& words = record.word;
  int count = 0;
  if (n > 0) copy_field(city->name, CTY_NAME_LEN, words[0]), ++count;
  if (n > 1) copy_field(city->state, CTY_STATE_LEN, words[1]), ++count;
  if (n > 2) copy_field(city->region, CTY_REGION_LEN, words[2]), ++count;
  if (n > 3) copy_field(city->id, CTY_ID_LEN, words[3]), ++count;
  if (n <= 4 || !read_priority(words[4], city)) return count;
  ++count;
  if (n <= 5 || !read_float(words[5], &city->lat) || std::fabs(city->lat) > 90.0f) return count;
  ++count;
  if (n <= 6 || !read_float(words[6], &city->lon) || std::fabs(city->lon) > 360.0f) return count;
  ++count;
  if (n <= 7 || !read_float(words[7], &city->el)) return count;
  if (city->el > el_missing_above) city->el = KEZ_FMISS;
  ++count;
  if (n <= 8 || !read_int(words[8], &city->wmo)) return count;
  ++count;
  if (n <= 9 || !read_int(words[9], &city->num)) return count;
  return ++count;
}

bool same_nocase(const char* a, const char* b) { return stricmp(a, b) == 0; }

} // namespace

int CTY_open(const char* filename, int f_access, int f_type) {
  const char* mode = f_access == 0 ? "r" : f_access == 1 ? "w" : nullptr;
  if (!mode) {
    MESS_print(M_warn, "CTY_open: Invalid access: %d\n", f_access);
    return -1;
  }
  if (!plain_file_name("CTY_open", filename)) return -1;
  state.file.reset();
  state.fd = 0;
  forget_block();
  FILE* fp = FILE_open(filename, mode);
  if (!fp) return -1;
  state.file.reset(fp);
  state.file_type = f_type;
  state.fd = fileno(fp);
  return state.fd;
}

int CTY_getinfo(int city_fd, CTY_info* info) {
  if (CTY_rewind(city_fd) != 0) return -1;
  if (info) info->dtype = state.file_type;
  return 0;
}

int CTY_rewind(int city_fd) {
  (void)city_fd;
  if (!state.file) return -1;
  std::rewind(state.file.get());
  forget_block();
  return 0;
}

int CTY_close(int city_fd) {
  (void)city_fd;
  if (!state.file) return -1;
  state.file.reset();
  state.fd = 0;
  forget_block();
  return 0;
}

int CTY_data_init(CTY_data* data) {
  if (!data) return -1;
  *data = CTY_data{};
  data->prior = 0;
  data->mos = ' ';
  data->ua = ' ';
  data->wmo = KEZ_MISS;
  data->lat = data->lon = data->el = KEZ_FMISS;
  return 0;
}

int CTY_read(int city_fd, CTY_data* city) {
  (void)city_fd;
  if (!state.file || !city) return -1;
  std::string_view line;
  while (next_line(&line)) {
    const Words words = words_of(line);
    if (words.n == 0) continue;
    CTY_data_init(city);
    city->num = 0;
    return read_record(words, city);
  }
  return -1;
}

int CTY_open_file(const char* city_file, int* num_stats) {
  const char* name = RES_get("city_file");
  if (name && stricmp(name, "none") == 0) {
    if (num_stats) *num_stats = 0;
    return -1;
  }
  if (!name || !*name) name = city_file && *city_file ? city_file : "sao.cty";
  std::string path = FILE_add_path(RES_get("file_path"), name);
  long size = FILE_exist(path.c_str()) ? FILE_size(path.c_str()) : 0;
  long buckets = size > 0 ? size / bytes_per_bucket : 0;
  if (buckets > max_buckets) buckets = max_buckets;
  if (num_stats) *num_stats = static_cast<int>(buckets);
  int fd = CTY_open(path.c_str(), 0, 0);
  if (fd < 0) MESS_print(M_warn, "CTY_open_file: Database file not found: %s\n", path.c_str());
  return fd;
}

int CTY_get(const char* city_file, const char* id, CTY_data* data) {
  if (!id || !data) return 0;
  int num = 0;
  int fd = CTY_open_file(city_file, &num);
  if (fd < 0) return 0;
  MESS_print(M_mess, "Searching the city database file for: %s ...\n", id);
  CTY_data city;
  int found = 0;
  char wmo[16];
  int count;
  while ((count = CTY_read(fd, &city)) > 0) {
    std::snprintf(wmo, sizeof wmo, "%05d", city.wmo);
    bool wmo_match = count >= 9 && same_nocase(wmo, id);
    if (same_nocase(city.id, id) || same_nocase(city.name, id) || wmo_match) {
      *data = city;
      found = 1;
      break;
    }
  }
  CTY_close(fd);
  return found;
}

int CTY_get_loc(const char* city_file, const char* id, float* lat, float* lon) {
  CTY_data city;
  if (!CTY_get(city_file, id, &city)) return 0;
  if (city.lat == KEZ_FMISS || city.lon == KEZ_FMISS) {
    MESS_print(M_warn, "CTY_get_loc: Station without a position: %s\n", id);
    return 0;
  }
  if (lat) *lat = city.lat;
  if (lon) *lon = city.lon;
  return 1;
}
