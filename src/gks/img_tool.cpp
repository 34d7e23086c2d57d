/*
 * img_tool: the image record, format dispatch and the suite's own image
 * format.
 *
 * Owns IMG_report: it empties, copies, prints and releases records, and
 * IMG_read hands a file to the reader of its format by the file's first
 * bytes (GIF, PNG, the own format, and X Window Dump for anything else).
 * The own format is four text lines (magic, date label, title, size or map
 * domain) followed by one byte per pixel, plain or as a series of zlib
 * streams of 10,000 input bytes each. Images deeper than 8 bits, or with a
 * colour table, are reduced to one byte per pixel on writing.
 *
 * The pixel accessors and the first-occurrence palette here serve every
 * writer, so the bit layouts of the record are read in one place. Every
 * header is hostile: sizes are bounded before allocation, a file that ends
 * before its pixels fails, and the pixel file named by a header is opened
 * literally, never as a command, and only when it is a regular file.
 */
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "img_band.h"
#include "kez.h"
#include "kezgks.h"
#include "kezimg.h"

namespace {

constexpr std::string_view MAGIC = "KEZIMG";
constexpr int DATIM_MAX = 49;
constexpr int INFO_MAX = 74;
constexpr std::size_t LINE_MAX_BYTES = 4096; /* longer header lines are refused */
constexpr std::size_t SLICE = 10000;         /* input bytes of one zlib stream */
constexpr long V_BLOCK = 1024;               /* option "V": bytes before the pixels */
constexpr int GROW_TRIES = 10;               /* waits for a file still being written */
constexpr time_t GROW_RECENT = 10;           /* seconds since a change that count as "being written" */

struct ImgState {
  int (*describe)(IMG_report*) = nullptr;
};

ImgState state;

struct FileCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct PlainCloser {
  void operator()(FILE* fp) const { std::fclose(fp); }
};

bool is_set(float v) { return v != KEZ_FMISS; }

/* Copies text into a fixed field, cut to max characters. */
void set_field(char* field, int max, std::string_view text) {
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(max));
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

/* A record's text field as one header line: bounded even without its
 * terminating zero, line ends and control bytes turned into blanks. */
std::string field_line(const char* field, int max) {
  std::string text(field, strnlen(field, static_cast<std::size_t>(max)));
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return text;
}

/* Reads one line byte by byte (so the pixels after it stay in place),
 * without its line feed and a carriage return before it. False at the end
 * of the file before any byte, or for a line longer than the bound. */
bool read_header_line(FILE* fp, std::string* line) {
  line->clear();
  int c = std::getc(fp);
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    if (line->size() >= LINE_MAX_BYTES) return false;
    line->push_back(static_cast<char>(c));
    c = std::getc(fp);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

/* Bytes between the reading position and the end of a regular file, or -1
 * when the stream cannot tell (a pipe). */
long bytes_left(FILE* fp) {
  struct stat st {};
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  const long pos = std::ftell(fp);
  if (pos < 0) return -1;
  return static_cast<long>(st.st_size) - pos;
}

/* A regular file changed within the last few seconds may still be growing. */
bool recently_changed(FILE* fp) {
  struct stat st {};
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return std::time(nullptr) - st.st_mtime < GROW_RECENT;
}

bool skip_bytes(FILE* fp, long n) {
  for (long i = 0; i < n; ++i)
    if (std::getc(fp) == EOF) return false;
  return true;
}

bool finite_all(const float* v, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

/* ---- line 4: size or map domain --------------------------------------- */

/* The projection token of line 4, with its trailing blank; empty for a
 * domain without one (not written: such a domain gets the generic token). */
std::string domain_token(const Domain& d) {
  char buf[256];
  switch (d.proj) {
    case 2: return "LL ";
    case 3: return "ME ";
    case 1:
      if (is_set(d.plon) && d.plon != d.clon) {
        std::snprintf(buf, sizeof buf, "PS:%f ", d.plon);
        return buf;
      }
      return "PS ";
    case 4:
      if (is_set(d.param[0])) {
        std::snprintf(buf, sizeof buf, "LC:%f:%f:%f:%f:%f ", d.plat, d.plon, d.param[0], d.param[1], d.param[2]);
        return buf;
      }
      if (is_set(d.plon)) {
        std::snprintf(buf, sizeof buf, "LC:%f ", d.plon);
        return buf;
      }
      return "LC ";
    case 9: {
      std::string t;
      std::snprintf(buf, sizeof buf, "SAT:%f:%f", d.plat, d.plon);
      t = buf;
      if (is_set(d.param[0])) {
        std::snprintf(buf, sizeof buf, ":%f", d.param[0]);
        t += buf;
      }
      return t + " ";
    }
    default:
      /* Every other projection keeps its code and parameters, so that its
       * file reads back. */
      std::snprintf(buf, sizeof buf, "PJ:%d:%f:%f:%f:%f:%f:%f:%f ", d.proj, d.plat, d.plon, d.param[0], d.param[1],
                    d.param[2], d.param[3], d.param[4]);
      return buf;
  }
}

/* Up to max numbers separated by ":" after the token's letters. */
int token_values(const std::string& token, float* v, int max) {
  int n = 0;
  std::size_t pos = token.find(':');
  while (pos != std::string::npos && n < max) {
    const char* start = token.c_str() + pos + 1;
    char* end = nullptr;
    const float f = std::strtof(start, &end);
    if (end == start || !std::isfinite(f)) break;
    v[n++] = f;
    pos = token.find(':', pos + 1);
  }
  return n;
}

/* Reads a token into the domain's projection fields. */
void read_token(const std::string& token, Domain* d) {
  const std::string_view key = std::string_view(token).substr(0, 2);
  float v[8];
  if (key == "LL") {
    d->proj = 2;
  } else if (key == "ME") {
    d->proj = 3;
  } else if (key == "PS") {
    d->proj = 1;
    if (token_values(token, v, 1) == 1) d->plon = v[0];
  } else if (key == "LC") {
    d->proj = 4;
    const int n = token_values(token, v, 5);
    if (n == 5) {
      d->plat = v[0];
      d->plon = v[1];
      d->param[0] = v[2];
      d->param[1] = v[3];
      d->param[2] = v[4];
    } else if (n >= 1) {
      d->plon = v[0];
    }
  } else if (key == "SA") {
    d->proj = 9;
    const int n = token_values(token, v, 3);
    if (n >= 1) d->plat = v[0];
    if (n >= 2) d->plon = v[1];
    if (n >= 3) d->param[0] = v[2];
  } else if (key == "PJ") {
    const int n = token_values(token, v, 8);
    if (n >= 1 && v[0] == std::floor(v[0]) && std::fabs(v[0]) < 1000) {
      d->proj = static_cast<int>(v[0]);
      if (n >= 2) d->plat = v[1];
      if (n >= 3) d->plon = v[2];
      for (int i = 3; i < n; ++i) d->param[i - 3] = v[i];
    }
  }
}

bool is_integer_word(const std::string& w) {
  if (w.empty() || w.size() > 9) return false;
  return std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

/* Line 4 of a header that is not version 4. False when it holds neither a
 * size nor a token with the six domain numbers. */
bool read_geometry(const std::string& line, IMG_report* image) {
  const std::vector<std::string> w = words_of(line);
  if (w.size() == 2 && is_integer_word(w[0]) && is_integer_word(w[1])) {
    image->width = std::atoi(w[0].c_str());
    image->height = std::atoi(w[1].c_str());
    image->domain.nx = image->width;
    image->domain.ny = image->height;
    return true;
  }
  if (w.size() != 7) return false;
  Domain& d = image->domain;
  read_token(w[0], &d);
  float f[4];
  for (int i = 0; i < 4; ++i) {
    char* end = nullptr;
    f[i] = std::strtof(w[static_cast<std::size_t>(i + 1)].c_str(), &end);
    if (*end != '\0') return false;
  }
  if (!finite_all(f, 4) || !is_integer_word(w[5]) || !is_integer_word(w[6])) return false;
  d.clat = f[0];
  d.clon = f[1];
  d.dx = f[2];
  d.dy = f[3];
  d.nx = std::atoi(w[5].c_str());
  d.ny = std::atoi(w[6].c_str());
  image->width = d.nx;
  image->height = d.ny;
  return true;
}

/* ---- pixels --------------------------------------------------------------- */

const unsigned char* pixel_at(const IMG_report* image, int row, int col, int bits) {
  return image->data + static_cast<long>(row) * image->bytes_line + static_cast<long>(col) * bits / 8;
}

/* The byte the own format stores for one pixel: a grey level of 32-bit
 * pixels, the low-order byte of 24- and 16-bit ones, the value of the rest. */
unsigned char reduced_pixel(const IMG_report* image, int row, int col) {
  const int bits = IMG_storage_bits(image);
  const unsigned char* p = pixel_at(image, row, col, bits);
  const bool msb = image->byte_order == 1;
  switch (bits) {
    case 32: return static_cast<unsigned char>(msb ? (p[1] + p[2] + p[3]) / 3 : (p[0] + p[1] + p[2]) / 3);
    case 24: return msb ? p[2] : p[0];
    case 16: return msb ? p[1] : p[0];
    default: return static_cast<unsigned char>(IMG_pixel(image, row, col));
  }
}

/* The values of a row's first width pixels, as IMG_pixel gives them, with
 * the layout chosen once per row rather than per pixel. */
void row_values(const IMG_report* image, int row, unsigned int* out) {
  const int bits = IMG_storage_bits(image);
  const unsigned char* p = image->data + static_cast<long>(row) * image->bytes_line;
  const bool msb = image->byte_order == 1;
  const int w = image->width;
  switch (bits) {
    case 32: {
      /* Whole words, turned once to the host's order: the loop vectorises. */
      auto word = [p](int col) {
        std::uint32_t v;
        std::memcpy(&v, p + 4 * col, sizeof v);
        return v;
      };
      if (msb != (std::endian::native == std::endian::big))
        for (int col = 0; col < w; ++col) out[col] = __builtin_bswap32(word(col)) & 0xFFFFFFu;
      else
        for (int col = 0; col < w; ++col) out[col] = word(col) & 0xFFFFFFu;
      break;
    }
    case 24:
      for (int col = 0; col < w; ++col, p += 3)
        out[col] = msb ? (p[0] << 16 | p[1] << 8 | p[2]) : (p[2] << 16 | p[1] << 8 | p[0]);
      break;
    case 16:
      for (int col = 0; col < w; ++col, p += 2) out[col] = msb ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
      break;
    case 8:
      for (int col = 0; col < w; ++col) out[col] = p[col];
      break;
    default:
      for (int col = 0; col < w; ++col) out[col] = IMG_pixel(image, row, col);
  }
}

/* One component of a masked pixel value on the 0 to 255 scale. */
struct MaskScale {
  int shift = 0;
  int scale = 0; /* 8 minus the mask's width: left shift, or right when negative */
};

MaskScale mask_scale(unsigned int mask, int depth) {
  MaskScale m;
  int width = 0;
  while (m.shift < depth && m.shift < 32 && !((mask >> m.shift) & 1u)) ++m.shift;
  while (m.shift + width < depth && m.shift + width < 32 && ((mask >> (m.shift + width)) & 1u)) ++width;
  m.scale = 8 - width;
  return m;
}

int component(unsigned int value, unsigned int mask, const MaskScale& m) {
  if (m.shift >= 32) return 0;
  unsigned int c = (value & mask) >> m.shift;
  c = m.scale >= 0 ? c << m.scale : c >> -m.scale;
  return static_cast<int>(std::min(c, 255u));
}

/* Rounded, so that a colour read as byte / 255 is written back as the same
 * byte. */
int to_byte(float v) {
  if (!(v > 0)) return 0;
  return v >= 1 ? 255 : static_cast<int>(std::lround(255.0 * v));
}

/* Writes the block as zlib streams of SLICE input bytes each. */
bool write_compressed(FILE* fp, const std::vector<unsigned char>& block) {
  std::vector<unsigned char> out(compressBound(SLICE));
  for (std::size_t start = 0; start < block.size(); start += SLICE) {
    const std::size_t n = std::min(SLICE, block.size() - start);
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(block.data() + start);
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int r = deflate(&zs, Z_FINISH);
    MESS_print(IMG_M_trace, "Deflate+ %d = %u %lu = %u %lu\n", r, zs.avail_in, zs.total_in, zs.avail_out, zs.total_out);
    const std::size_t produced = zs.total_out;
    deflateEnd(&zs);
    if (r != Z_STREAM_END) return false;
    if (std::fwrite(out.data(), 1, produced, fp) != produced) return false;
  }
  return true;
}

/* Inflates stream after stream from fp until the block is full. */
bool read_compressed(FILE* fp, unsigned char* data, long need) {
  std::vector<unsigned char> in(SLICE);
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  long got = 0;
  int tries = 0;
  bool ok = false;
  for (;;) {
    if (zs.avail_in == 0) {
      const std::size_t n = std::fread(in.data(), 1, in.size(), fp);
      if (n == 0) {
        if (std::ferror(fp) || tries >= GROW_TRIES || !recently_changed(fp)) {
          MESS_print(M_warn, "IMG_read_kez: File ends before its pixels (%ld of %ld bytes)\n", got, need);
          break;
        }
        ++tries;
        KEZ_sleep(1.0f);
        std::clearerr(fp);
        continue;
      }
      zs.next_in = in.data();
      zs.avail_in = static_cast<uInt>(n);
    }
    zs.next_out = data + got;
    zs.avail_out = static_cast<uInt>(std::min<long>(need - got, 1L << 30));
    const int r = inflate(&zs, Z_SYNC_FLUSH);
    got = static_cast<long>(zs.next_out - data);
    MESS_print(IMG_M_trace, "Inflate+ %d = %u %lu = %u %lu - %ld %ld\n", r, zs.avail_in, zs.total_in, zs.avail_out,
               zs.total_out, got, need);
    if (got >= need) {
      ok = true;
      break;
    }
    if (r == Z_STREAM_END) {
      /* The next stream starts with the input that is left. */
      Bytef* next = zs.next_in;
      const uInt avail = zs.avail_in;
      inflateEnd(&zs);
      zs = z_stream{};
      if (inflateInit(&zs) != Z_OK) return false;
      zs.next_in = next;
      zs.avail_in = avail;
      continue;
    }
    if (r != Z_OK && r != Z_BUF_ERROR) {
      MESS_print(M_warn, "IMG_read_kez: Corrupt compressed pixels (zlib %d after %ld bytes)\n", r, got);
      break;
    }
  }
  inflateEnd(&zs);
  return ok;
}

/* ---- palette ------------------------------------------------------------- */

/* A direct-mapped table in front of a list of values: every pixel is
 * looked up by a hash of its value, and the list searched only for a value
 * not there. A chart changes colour every few pixels, and a test for the
 * end of each run would be mispredicted at nearly every change. Only
 * values in the list enter the table, so a value past a full list is
 * searched every time and takes entry 0. Pixel values have at most 24
 * bits, so a key of value + 1 leaves 0 for an empty place. */
struct ValueTable {
  static constexpr int BITS = 12;
  std::array<std::uint32_t, std::size_t{1} << BITS> keys{};
  std::array<unsigned char, std::size_t{1} << BITS> entries{};
  static std::size_t slot(unsigned int v) { return static_cast<std::size_t>((v * 2654435761u) >> (32 - BITS)); }
};

/* Indexes rows first to last - 1 by the list values[0 .. *count - 1] (row
 * first + r at index + r * stride); a value not in the list is appended
 * while grow holds and the list has room, else it takes index 0 and sets
 * *overflow. */
void index_rows(const IMG_report* image, int first, int last, unsigned int* values, int* count, bool grow,
                bool* overflow, unsigned char* index, std::size_t stride) {
  auto table = std::make_unique<ValueTable>();
  std::uint32_t* const key_at = table->keys.data();
  unsigned char* const entry_at = table->entries.data();
  for (int i = 0; i < *count; ++i) {
    key_at[ValueTable::slot(values[i])] = values[i] + 1;
    entry_at[ValueTable::slot(values[i])] = static_cast<unsigned char>(i);
  }
  auto search = [&](unsigned int v, std::size_t at) {
    int entry = -1;
    for (int i = 0; i < *count; ++i)
      if (values[i] == v) {
        entry = i;
        break;
      }
    if (entry < 0 && grow && *count < IMG_PALETTE_MAX) {
      entry = (*count)++;
      values[entry] = v;
    }
    if (entry < 0) {
      *overflow = true;
      return static_cast<unsigned char>(0);
    }
    key_at[at] = v + 1;
    entry_at[at] = static_cast<unsigned char>(entry);
    return static_cast<unsigned char>(entry);
  };
  auto entry_of = [&](unsigned int v) {
    const std::size_t at = ValueTable::slot(v);
    return key_at[at] == v + 1 ? entry_at[at] : search(v, at);
  };
  const std::size_t width = static_cast<std::size_t>(image->width);
  /* A window's 32-bit pixels in the host's order (the usual grab) are read
   * in place as row_values would give them, the low 24 bits of a word. */
  const bool words =
      IMG_storage_bits(image) == 32 && (image->byte_order == 1) == (std::endian::native == std::endian::big);
  std::vector<unsigned int> row_buffer(words ? 0 : width);
  for (int row = first; row < last; ++row) {
    unsigned char* out = index + static_cast<std::size_t>(row - first) * stride;
    if (words) {
      const unsigned char* p = image->data + static_cast<long>(row) * image->bytes_line;
      for (std::size_t col = 0; col < width; ++col) {
        std::uint32_t word;
        std::memcpy(&word, p + 4 * col, sizeof word);
        out[col] = entry_of(word & 0xFFFFFFu);
      }
    } else {
      row_values(image, row, row_buffer.data());
      for (std::size_t col = 0; col < width; ++col) out[col] = entry_of(row_buffer[col]);
    }
  }
}

} // namespace

/* ---- the record ------------------------------------------------------------ */

int IMG_init(IMG_report* image) {
  if (!image) return -1;
  image->source = image->version = image->type = 0;
  image->width = image->height = image->depth = 0;
  image->bits_pixel = image->bytes_line = image->num_colors = 0;
  image->datim[0] = '\0';
  image->info[0] = '\0';
  DATE_init(&image->date);
  DOM_init(&image->domain);
  image->byte_order = 1;
  image->trans_color = -1;
  image->colors = nullptr;
  image->data = nullptr;
  /* Every field gets a defined value, so that a reader that does not fill
   * one leaves no stale or uninitialised value behind. */
  image->xres = image->yres = image->xoff = image->yoff = 0;
  image->color_type = IMG_COLOR_INDEXED;
  image->red = image->grn = image->blu = 0;
  return 0;
}

int IMG_free(IMG_report* image) {
  if (!image) return -1;
  std::free(image->data);
  std::free(image->colors);
  image->data = nullptr;
  image->colors = nullptr;
  image->num_colors = 0;
  return 0;
}

int IMG_copy(IMG_report* image1, const IMG_report* image2) {
  if (!image1 || !image2) return -1;
  *image1 = *image2;
  image1->data = nullptr;
  if (!image2->data || image2->bytes_line <= 0 || image2->height <= 0) return 0;
  const std::size_t size = static_cast<std::size_t>(image2->bytes_line) * static_cast<std::size_t>(image2->height);
  image1->data = static_cast<unsigned char*>(std::malloc(size));
  if (!image1->data) {
    MESS_print(M_warn, "IMG_copy: No memory for %zu pixel bytes\n", size);
    return -1;
  }
  std::memcpy(image1->data, image2->data, size);
  return 0;
}

int IMG_print(M_type lev, const IMG_report* image) {
  if (!image) return -1;
  MESS_print(lev, "Source: %d\n", image->source);
  MESS_print(lev, "Version: %d\n", image->version);
  MESS_print(lev, "Date: %s\n", field_line(image->datim, DATIM_MAX).c_str());
  MESS_print(lev, "Info: %s\n", field_line(image->info, INFO_MAX).c_str());
  MESS_print(lev, "Type: %d\n", image->type);
  MESS_print(lev, "Size: %dx%d\n", image->width, image->height);
  MESS_print(lev, "Resolution: %.2fx%.2f\n", image->xres, image->yres);
  MESS_print(lev, "Offset: %.2fx%.2f\n", image->xoff, image->yoff);
  MESS_print(lev, "Depth: %d\n", image->depth);
  MESS_print(lev, "Bits per pixel: %d\n", image->bits_pixel);
  MESS_print(lev, "Bytes per line: %d\n", image->bytes_line);
  MESS_print(lev, "Bytes order: %d\n", image->byte_order);
  MESS_print(lev, "Number of colors: %d\n", image->num_colors);
  MESS_print(lev, "Tranparent colors: %d\n", image->trans_color);
  DOM_print(lev, &image->domain);
  return 0;
}

int IMG_set_dump_hook(int (*describe)(IMG_report* image)) {
  state.describe = describe;
  return 0;
}

int IMG_dump(const char* filename) {
  return glend_image(
      [](IMG_report* image, void* name) {
        if (state.describe) state.describe(image);
        return IMG_write(static_cast<const char*>(name), image, IMG_WRITE_PLAIN) ? 1 : 0;
      },
      const_cast<char*>(filename));
}

/* ---- pixel access ------------------------------------------------------- */

int IMG_storage_bits(const IMG_report* image) {
  if (image->bits_pixel == 32) return 32;
  const int b = image->bits_pixel;
  if ((b == 1 || b == 4 || b == 8 || b == 16 || b == 24) && b >= image->depth) return b;
  const int d = image->depth;
  if (d <= 1) return 1;
  if (d <= 4) return 4;
  if (d <= 8) return 8;
  if (d <= 16) return 16;
  if (d <= 24) return 24;
  return 32;
}

int IMG_row_pixels(const IMG_report* image) {
  return static_cast<int>(static_cast<long>(image->bytes_line) * 8 / IMG_storage_bits(image));
}

unsigned int IMG_pixel(const IMG_report* image, int row, int col) {
  if (col >= image->width) return 0;
  const int bits = IMG_storage_bits(image);
  const unsigned char* p = pixel_at(image, row, col, bits);
  const bool msb = image->byte_order == 1;
  switch (bits) {
    case 32: return msb ? (p[1] << 16 | p[2] << 8 | p[3]) : (p[2] << 16 | p[1] << 8 | p[0]);
    case 24: return msb ? (p[0] << 16 | p[1] << 8 | p[2]) : (p[2] << 16 | p[1] << 8 | p[0]);
    case 16: return msb ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
    case 8: return p[0];
    case 4: return (col % 2 == 0) ? (p[0] >> 4) : (p[0] & 0x0F);
    default: return (p[0] >> (col % 8)) & 1u;
  }
}

int IMG_check(const IMG_report* image, const char* who) {
  if (!image || !image->data) {
    MESS_print(M_warn, "%s: The image has no pixels\n", who);
    return 0;
  }
  if (image->width < 1 || image->height < 1 || image->width > IMG_MAX_SIDE || image->height > IMG_MAX_SIDE ||
      image->depth < 1 || image->depth > 32) {
    MESS_print(M_warn, "%s: Bad image size %dx%d, depth %d\n", who, image->width, image->height, image->depth);
    return 0;
  }
  const long need = (static_cast<long>(image->width) * IMG_storage_bits(image) + 7) / 8;
  if (image->bytes_line < need || static_cast<long>(image->bytes_line) * image->height > IMG_MAX_BYTES) {
    MESS_print(M_warn, "%s: Rows of %d bytes do not fit %d pixels of %d bits\n", who, image->bytes_line, image->width,
               IMG_storage_bits(image));
    return 0;
  }
  return 1;
}

int IMG_index_band(const IMG_report* image, IMG_band* band, unsigned char* index, std::size_t stride) try {
  band->num_value = std::clamp(band->num_value, 0, IMG_PALETTE_MAX);
  band->overflow = false;
  index_rows(image, band->first_row, band->last_row, band->value, &band->num_value, true, &band->overflow, index,
             stride);
  return 0;
} catch (const std::bad_alloc&) {
  return -1; /* also on a writer's thread, where it must not escape */
}

void IMG_merge_band(const IMG_report* image, long trans_value, IMG_band* band, IMG_palette* pal) {
  const int depth = std::min(image->depth, 32);
  MaskScale ms[3];
  const unsigned int masks[3] = {image->red, image->grn, image->blu};
  if (image->color_type == IMG_COLOR_MASKS)
    for (int c = 0; c < 3; ++c) ms[c] = mask_scale(masks[c], depth);
  auto add = [&](unsigned int v) {
    const int entry = pal->num_color++;
    pal->value[entry] = v;
    if (image->color_type == IMG_COLOR_MASKS) {
      pal->red[entry] = component(v, masks[0], ms[0]);
      pal->grn[entry] = component(v, masks[1], ms[1]);
      pal->blu[entry] = component(v, masks[2], ms[2]);
    } else if (image->colors && v < static_cast<unsigned int>(std::max(image->num_colors, 0))) {
      pal->red[entry] = to_byte(image->colors[v].r);
      pal->grn[entry] = to_byte(image->colors[v].g);
      pal->blu[entry] = to_byte(image->colors[v].b);
    } else {
      /* A value without a colour (an image without a table) shows as a
       * grey level. */
      const unsigned int top = depth >= 8 ? 255u : (1u << depth) - 1u;
      const int grey = static_cast<int>((std::min(v, top) * 255u) / std::max(top, 1u));
      pal->red[entry] = pal->grn[entry] = pal->blu[entry] = grey;
    }
    if (trans_value >= 0 && v == static_cast<unsigned long>(trans_value) && pal->trans_index < 0)
      pal->trans_index = entry;
    return entry;
  };
  /* The image's first occurrences are the bands' in band order. A value
   * past a band's 256th has 256 others before it and is in no palette. */
  band->identity = true;
  for (int i = 0; i < band->num_value; ++i) {
    const unsigned int v = band->value[i];
    int entry = -1;
    for (int j = 0; j < pal->num_color; ++j)
      if (pal->value[j] == v) {
        entry = j;
        break;
      }
    if (entry < 0) entry = pal->num_color < IMG_PALETTE_MAX ? add(v) : 0;
    band->map[i] = static_cast<unsigned char>(entry);
    band->identity = band->identity && entry == i;
  }
  /* An overflowed band's index 0 stands also for values outside its list,
   * which only an unchanged list keeps at palette index 0. */
  band->reindex = band->overflow && !band->identity;
}

int IMG_reindex_band(const IMG_report* image, const unsigned int* palette_values, int num_values, IMG_band* band,
                     unsigned char* index, std::size_t stride) try {
  unsigned int values[IMG_PALETTE_MAX];
  int count = std::clamp(num_values, 0, IMG_PALETTE_MAX);
  std::copy_n(palette_values, count, values);
  bool overflow = false;
  index_rows(image, band->first_row, band->last_row, values, &count, false, &overflow, index, stride);
  for (int i = 0; i < IMG_PALETTE_MAX; ++i) band->map[i] = static_cast<unsigned char>(i);
  band->identity = true;
  band->reindex = false;
  return 0;
} catch (const std::bad_alloc&) {
  return -1;
}

int IMG_make_palette(const IMG_report* image, long trans_value, IMG_palette* pal, std::vector<unsigned char>* index) {
  *pal = IMG_palette{};
  if (image->color_type == IMG_COLOR_MASKS) {
    const int depth = std::min(image->depth, 32);
    const MaskScale r = mask_scale(image->red, depth), g = mask_scale(image->grn, depth),
                    b = mask_scale(image->blu, depth);
    MESS_print(IMG_M_trace, "mask: %d-%d %d-%d %d-%d\n", r.shift, r.scale, g.shift, g.scale, b.shift, b.scale);
  }
  const std::size_t width = static_cast<std::size_t>(image->width);
  index->resize(width * static_cast<std::size_t>(image->height));
  /* One band: its list is the palette, and its indexes are final. */
  IMG_band band;
  band.last_row = image->height;
  const int result = IMG_index_band(image, &band, index->data(), width);
  IMG_merge_band(image, trans_value, &band, pal);
  return result;
}

/* ---- format dispatch ------------------------------------------------------ */

int IMG_read(const char* filename, IMG_report* image, int type) {
  if (!image) return 0;
  unsigned char head[6] = {};
  {
    File fp(filename ? FILE_open(filename, "r") : nullptr);
    if (!fp) {
      MESS_print(M_warn, "IMG_read: Unable to open image file: %s\n", filename ? filename : "(null)");
      return 0;
    }
    std::size_t n = std::fread(head, 1, sizeof head, fp.get());
    if (n >= 3 && std::memcmp(head, "** ", 3) == 0) {
      std::size_t i = 3;
      while (i < n && head[i] != '\n') ++i;
      if (i == n) {
        int c = 0;
        while ((c = std::getc(fp.get())) != EOF && c != '\n') {
        }
      }
      /* The next line's first bytes, some of which may already be in head. */
      unsigned char next[6] = {};
      std::size_t k = 0;
      for (std::size_t j = i + 1; j < n && k < sizeof next; ++j) next[k++] = head[j];
      k += std::fread(next + k, 1, sizeof next - k, fp.get());
      std::memcpy(head, next, sizeof head);
      n = k;
    }
    (void)n;
  }
  IMG_init(image);
  /* The XWD reader refuses images deeper than the window; without a window
   * nothing limits the depth. */
  const int depth = gget_win_depth();
  image->depth = (gtype_is_WIN_PIX() && depth > 0) ? depth : IMG_DEPTH_NO_WINDOW;

  int result = 0;
  if (std::memcmp(head, "GIF", 3) == 0)
    result = GIF_read(filename, image, type);
  else if (std::memcmp(head + 1, "PNG", 3) == 0)
    result = PNG_read(filename, image, type);
  else if (std::memcmp(head, "KEZ", 3) == 0)
    result = IMG_read_kez(filename, image, type);
  else
    result = XWD_read(filename, image, type);
  if (!result) IMG_free(image);
  return result;
}

/* ---- the own format --------------------------------------------------------- */

int IMG_write(const char* filename, const IMG_report* image, int type) {
  if (!IMG_check(image, "IMG_write")) return 0;
  const Domain& d = image->domain;
  const bool has_domain = d.proj != KEZ_MISS;
  /* Line 4 declares the pixel count: with a domain its grid is the image. */
  if (has_domain && (d.nx != image->width || d.ny != image->height)) {
    MESS_print(M_warn, "IMG_write: Domain grid %dx%d is not the image's %dx%d\n", d.nx, d.ny, image->width,
               image->height);
    return 0;
  }
  File fp(filename ? FILE_open(filename, "w") : nullptr);
  if (!fp) {
    MESS_print(M_warn, "Unable to open: %s\n", filename ? filename : "(null)");
    return 0;
  }
  const bool zipped = type == IMG_WRITE_ZLIB;
  std::string header(MAGIC);
  if (zipped) header += 'Z';
  header += '\n' + field_line(image->datim, DATIM_MAX) + '\n' + field_line(image->info, INFO_MAX) + '\n';
  char line[256];
  if (has_domain) {
    std::snprintf(line, sizeof line, "%f %f %f %f %d %d\n", d.clat, d.clon, d.dx, d.dy, d.nx, d.ny);
    header += domain_token(d) + line;
  } else {
    std::snprintf(line, sizeof line, "%d %d\n", image->width, image->height);
    header += line;
  }

  const std::size_t w = static_cast<std::size_t>(image->width);
  std::vector<unsigned char> block(w * static_cast<std::size_t>(image->height));
  const bool plain_bytes = image->depth == 8 && IMG_storage_bits(image) == 8 && image->num_colors == 0;
  for (int row = 0; row < image->height; ++row) {
    unsigned char* out = block.data() + static_cast<std::size_t>(row) * w;
    if (plain_bytes) {
      std::memcpy(out, image->data + static_cast<long>(row) * image->bytes_line, w);
    } else {
      for (int col = 0; col < image->width; ++col) out[col] = reduced_pixel(image, row, col);
    }
  }

  bool ok = std::fwrite(header.data(), 1, header.size(), fp.get()) == header.size();
  if (ok)
    ok = zipped ? write_compressed(fp.get(), block)
                : std::fwrite(block.data(), 1, block.size(), fp.get()) == block.size();
  if (ok) ok = std::fflush(fp.get()) == 0 && !std::ferror(fp.get());
  if (ok) ok = FILE_close(fp.release()) == 0;
  if (!ok) {
    MESS_print(M_warn, "IMG_write: Unable to write: %s\n", filename);
    return 0;
  }
  return 1;
}

int IMG_read_kez(const char* filename, IMG_report* image, int type) {
  (void)type; /* the whole file is always read */
  if (!image) return 0;
  File fp(filename ? FILE_open(filename, "r") : nullptr);
  if (!fp) {
    MESS_print(M_warn, "Unable to open: %s\n", filename ? filename : "(null)");
    return 0;
  }
  std::string line;
  if (!read_header_line(fp.get(), &line) || line.compare(0, MAGIC.size(), MAGIC) != 0) {
    MESS_print(M_warn, "IMG_read_kez: Invalid image type\n");
    return 0;
  }
  const std::string opts = line.substr(MAGIC.size());
  const bool v4 = opts.find('4') != std::string::npos;
  const bool separate = opts.find('*') != std::string::npos;
  const bool zipped = opts.find('Z') != std::string::npos;
  const bool v_block = opts.find('V') != std::string::npos;
  const bool c_block = opts.find('C') != std::string::npos;

  IMG_init(image);
  image->source = IMG_SOURCE_KEZ;
  std::string datim, info, geometry;
  if (!read_header_line(fp.get(), &datim) || !read_header_line(fp.get(), &info) ||
      !read_header_line(fp.get(), &geometry)) {
    MESS_print(M_warn, "IMG_read_kez: Header ends early or has an overlong line\n");
    return 0;
  }
  set_field(image->datim, DATIM_MAX, datim);
  DATE_decode_label(image->datim, &image->date);
  set_field(image->info, INFO_MAX, info);

  if (v4) {
    if (DOM_decode(geometry.c_str(), &image->domain) < 0) {
      MESS_print(M_warn, "IMG_read_kez: Bad domain: %s\n", geometry.c_str());
      return 0;
    }
    image->width = image->domain.nx;
    image->height = image->domain.ny;
  } else if (!read_geometry(geometry, image)) {
    MESS_print(M_warn, "IMG_read_kez: Bad size line: %s\n", geometry.c_str());
    return 0;
  }
  image->depth = 8;
  image->bytes_line = image->width;
  if (image->width < 1 || image->height < 1 || image->width > IMG_MAX_SIDE || image->height > IMG_MAX_SIDE ||
      static_cast<long>(image->width) * image->height > IMG_MAX_BYTES) {
    MESS_print(M_warn, "IMG_read_kez: Image size %dx%d out of range\n", image->width, image->height);
    return 0;
  }

  if (v_block && !skip_bytes(fp.get(), V_BLOCK)) {
    MESS_print(M_warn, "IMG_read_kez: File ends in its V block\n");
    return 0;
  }
  if (c_block) {
    unsigned char c[4];
    if (std::fread(c, 1, 4, fp.get()) != 4) {
      MESS_print(M_warn, "IMG_read_kez: File ends in its C block\n");
      return 0;
    }
    const int count = static_cast<signed char>(c[3]);
    if (count < 0 || !skip_bytes(fp.get(), 2L * count)) {
      MESS_print(M_warn, "IMG_read_kez: Bad C block\n");
      return 0;
    }
  }

  const long need = static_cast<long>(image->width) * image->height;
  if (separate) {
    /* The pixel file's name is taken literally: a header never runs a
     * command or names a standard stream. */
    std::string name;
    int c = 0;
    while ((c = std::getc(fp.get())) != EOF && std::isspace(c)) {
    }
    while (c != EOF && !std::isspace(c) && name.size() < LINE_MAX_BYTES) {
      name.push_back(static_cast<char>(c));
      c = std::getc(fp.get());
    }
    /* Only a regular file: a device or pipe named here could block for ever. */
    struct stat st {};
    const bool regular = !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    std::unique_ptr<FILE, PlainCloser> pf(regular ? std::fopen(name.c_str(), "rb") : nullptr);
    if (!pf) {
      MESS_print(M_warn, "IMG_read_kez: Unable to open pixel file: %s\n", name.c_str());
      return 0;
    }
    const long left = bytes_left(pf.get());
    if (left >= 0 && left < need) {
      MESS_print(M_warn, "IMG_read_kez: Pixel file %s holds %ld of %ld bytes\n", name.c_str(), left, need);
      return 0;
    }
    image->data = static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(need), 1));
    if (!image->data) return 0;
    if (std::fread(image->data, 1, static_cast<std::size_t>(need), pf.get()) != static_cast<std::size_t>(need)) {
      MESS_print(M_warn, "IMG_read_kez: Pixel file %s ends early\n", name.c_str());
      IMG_free(image);
      return 0;
    }
    return 1;
  }
  if (!zipped) {
    const long left = bytes_left(fp.get());
    if (left >= 0 && left < need) {
      MESS_print(M_warn, "IMG_read_kez: File ends before its pixels (%ld of %ld bytes)\n", left, need);
      return 0;
    }
  }
  image->data = static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(need), 1));
  if (!image->data) return 0;
  if (zipped) {
    if (!read_compressed(fp.get(), image->data, need)) {
      IMG_free(image);
      return 0;
    }
    return 1;
  }
  const std::size_t got = std::fread(image->data, 1, static_cast<std::size_t>(need), fp.get());
  if (got != static_cast<std::size_t>(need)) {
    MESS_print(M_warn, "IMG_read_kez: File ends before its pixels (%zu of %ld bytes)\n", got, need);
    IMG_free(image);
    return 0;
  }
  return 1;
}
