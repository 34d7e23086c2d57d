/*
 * gif: GIF files with the system's own LZW coder.
 *
 * GIF_write turns any image record into a GIF89a file with one image: a
 * global colour table of the pixel values in the order in which they first
 * occur (at most 256; later new values take index 0), optionally the
 * window's background colour marked transparent and the rows interlaced.
 * The image itself is left as it is. GIF_read turns the first image of a
 * GIF file into an 8-bit indexed record with its colour table.
 *
 * The reader treats the file as hostile: sizes are bounded, every code is
 * checked against the string table, a string table that fills without a
 * clear code stops growing (as encoders that defer the clear expect), and
 * a file without an image or whose image data end before its last pixel
 * fails.
 */
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "kez.h"
#include "kezgks.h"
#include "kezimg.h"

namespace {

constexpr int MAX_CODES = 4096; /* 12-bit codes */
constexpr int MAX_WIDTH = 12;
constexpr int BLOCK_DATA = 254; /* data bytes of a full sub-block as written */
constexpr int HASH_SIZE = 8192; /* twice the codes, so probe chains stay short */
constexpr unsigned char EXTENSION = 0x21;
constexpr unsigned char IMAGE_SEPARATOR = 0x2C;
constexpr unsigned char TRAILER = 0x3B;
constexpr unsigned char LABEL_CONTROL = 0xF9;
constexpr unsigned char LABEL_APPLICATION = 0xFF;
constexpr unsigned char LABEL_COMMENT = 0xFE;
constexpr unsigned char GLOBAL_TABLE = 0x80;
constexpr unsigned char INTERLACED = 0x40;
constexpr unsigned char DELAY = 10; /* hundredths of a second in the control extension */

/* Interlaced row order: the start row and step of each of the four passes. */
struct Pass {
  int start;
  int step;
};
constexpr std::array<Pass, 4> PASSES = {{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};

struct GifState {
  int use_inter = 0; /* write interlaced */
  int trans = 0;     /* mark the background colour transparent */
};

GifState state;

struct FileCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};
using File = std::unique_ptr<FILE, FileCloser>;

/* Releases what a failed read had allocated. */
struct Discard {
  IMG_report* image;
  ~Discard() {
    if (image) IMG_free(image);
  }
};

void put16(std::vector<unsigned char>* out, int v) {
  out->push_back(static_cast<unsigned char>(v & 0xFF));
  out->push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

/* Rows in the order they are coded. */
std::vector<int> row_order(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int r = 0; r < height; ++r) rows.push_back(r);
    return rows;
  }
  for (const Pass& p : PASSES)
    for (int r = p.start; r < height; r += p.step) rows.push_back(r);
  return rows;
}

/* ---- writer: LZW coder ---------------------------------------------------- */

class Encoder {
 public:
  Encoder(std::vector<unsigned char>* out, int code_size)
      : out_(out), code_size_(code_size), clear_(1 << code_size), eoi_(clear_ + 1) {
    width_ = code_size_ + 1;
    next_ = clear_ + 2;
    keys_.assign(HASH_SIZE, -1);
    codes_.assign(HASH_SIZE, 0);
    clear_table();
  }

  void encode(const std::vector<unsigned char>& pixels) {
    if (pixels.empty()) {
      finish(-1);
      return;
    }
    int prefix = pixels[0];
    for (std::size_t i = 1; i < pixels.size(); ++i) {
      const int p = pixels[i];
      const int key = (prefix << 8) | p;
      int slot = probe(key);
      if (keys_[static_cast<std::size_t>(slot)] == key) {
        prefix = codes_[static_cast<std::size_t>(slot)];
        continue;
      }
      put(prefix);
      prefix = p;
      if (next_ >= MAX_CODES) {
        clear_table();
      } else {
        keys_[static_cast<std::size_t>(slot)] = key;
        codes_[static_cast<std::size_t>(slot)] = next_++;
      }
    }
    finish(prefix);
  }

 private:
  int probe(int key) const {
    unsigned int h = (static_cast<unsigned int>(key) * 2654435761u) >> 19; /* 13 bits */
    while (keys_[h] != -1 && keys_[h] != key) h = (h + 1) & (HASH_SIZE - 1);
    return static_cast<int>(h);
  }

  void clear_table() {
    put(clear_);
    std::fill(keys_.begin(), keys_.end(), -1);
    width_ = code_size_ + 1;
    next_ = eoi_ + 1;
  }

  /* Codes go least significant bit first into sub-blocks of BLOCK_DATA
   * bytes. The width grows once the next free code no longer fits. */
  void put(int code) {
    acc_ |= static_cast<unsigned long>(code) << bits_;
    bits_ += width_;
    while (bits_ >= 8) {
      byte(static_cast<unsigned char>(acc_ & 0xFF));
      acc_ >>= 8;
      bits_ -= 8;
    }
    if (next_ > (1 << width_) - 1 && width_ < MAX_WIDTH) ++width_;
  }

  void byte(unsigned char b) {
    block_[static_cast<std::size_t>(used_++)] = b;
    if (used_ == BLOCK_DATA) flush();
  }

  void flush() {
    if (used_ == 0) return;
    out_->push_back(static_cast<unsigned char>(used_));
    out_->insert(out_->end(), block_.begin(), block_.begin() + used_);
    used_ = 0;
  }

  void finish(int prefix) {
    if (prefix >= 0) put(prefix);
    put(eoi_);
    if (bits_ > 0) byte(static_cast<unsigned char>(acc_ & 0xFF));
    acc_ = 0;
    bits_ = 0;
    flush();
  }

  std::vector<unsigned char>* out_;
  int code_size_;
  int clear_;
  int eoi_;
  int width_ = 0;
  int next_ = 0;
  unsigned long acc_ = 0;
  int bits_ = 0;
  std::array<unsigned char, BLOCK_DATA> block_{};
  int used_ = 0;
  std::vector<int> keys_;  /* (prefix << 8 | pixel), -1 empty */
  std::vector<int> codes_; /* the code of each key */
};

/* ---- reader ------------------------------------------------------------------ */

class Reader {
 public:
  explicit Reader(FILE* fp) : fp_(fp) {}
  int get() { return std::getc(fp_); }
  bool read(unsigned char* buf, std::size_t n) { return std::fread(buf, 1, n, fp_) == n; }
  bool skip(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      if (get() == EOF) return false;
    return true;
  }
  /* Passes over data sub-blocks up to the zero-length one. */
  bool skip_blocks() {
    for (;;) {
      const int len = get();
      if (len == EOF) return false;
      if (len == 0) return true;
      if (!skip(static_cast<std::size_t>(len))) return false;
    }
  }

 private:
  FILE* fp_;
};

int le16(const unsigned char* p) { return p[0] | (p[1] << 8); }

bool read_table(Reader& in, int size, IMG_report* image) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(size) * 3);
  if (!in.read(rgb.data(), rgb.size())) return false;
  auto* colors = static_cast<IMG_color*>(std::calloc(static_cast<std::size_t>(size), sizeof(IMG_color)));
  if (!colors) return false;
  for (int i = 0; i < size; ++i) {
    colors[i].r = rgb[static_cast<std::size_t>(3 * i)] / 255.0f;
    colors[i].g = rgb[static_cast<std::size_t>(3 * i + 1)] / 255.0f;
    colors[i].b = rgb[static_cast<std::size_t>(3 * i + 2)] / 255.0f;
  }
  std::free(image->colors);
  image->colors = colors;
  image->num_colors = size;
  MESS_print(M_debug, "color table size: %d\n", size);
  return true;
}

/* Reads an extension after its introducer; only debug lines come of it. */
bool read_extension(Reader& in) {
  MESS_print(M_debug, "Graphics Control Extension\n");
  const int label = in.get();
  if (label == EOF) return false;
  MESS_print(M_debug, "Extension Label: %2X\n", label);
  if (label == LABEL_CONTROL) {
    const int size = in.get();
    if (size == EOF) return false;
    unsigned char b[255] = {};
    if (size > 0 && !in.read(b, static_cast<std::size_t>(size))) return false;
    if (size >= 4) {
      static constexpr const char* disposal[] = {"No disposal specified\n", "Do not dispose. graphic left in tact\n",
                                                 "Restore to background color\n", "Restore to previous image\n"};
      const int method = (b[0] >> 2) & 7;
      MESS_print(M_debug, "Control Extension\n");
      MESS_print(M_debug, "Block size: %d\n", size);
      if (method < 4) MESS_print(M_debug, "%s", disposal[method]);
      MESS_print(M_debug, (b[0] & 2) ? "User input expected\n" : "User input not expected\n");
      MESS_print(M_debug, (b[0] & 1) ? "Transparent index given\n" : "Transparent index not given\n");
      MESS_print(M_debug, "Delay time: %d %.2f\n", le16(b + 1), le16(b + 1) / 100.0);
      MESS_print(M_debug, "Transparent color index: %d\n", b[3]);
    }
    return size == 0 || in.skip_blocks();
  }
  if (label == LABEL_APPLICATION) {
    const int size = in.get();
    if (size == EOF) return false;
    unsigned char b[255] = {};
    if (size > 0 && !in.read(b, static_cast<std::size_t>(size))) return false;
    MESS_print(M_debug, "Application Extension\n");
    MESS_print(M_debug, "Block size: %d\n", size);
    if (size >= 11) {
      MESS_print(M_debug, "Application identifier: %8.8s\n", reinterpret_cast<const char*>(b));
      MESS_print(M_debug, "Application authentication: %3.3s\n", reinterpret_cast<const char*>(b + 8));
    }
    return size == 0 || in.skip_blocks();
  }
  if (label == LABEL_COMMENT) MESS_print(M_debug, "Comment Data\n");
  return in.skip_blocks();
}

/* Places decoded pixels row by row (interlaced in the GIF order) from the
 * record's top-left corner; pixels outside the record are dropped. */
class Placer {
 public:
  Placer(IMG_report* image, int width, int height, bool interlaced)
      : image_(image), width_(width), height_(height), interlaced_(interlaced) {}
  bool done() const { return done_; }
  void put(unsigned char pix) {
    if (done_) return;
    if (col_ < image_->width && row_ < image_->height)
      image_->data[static_cast<long>(row_) * image_->bytes_line + col_] = pix;
    if (++col_ < width_) return;
    col_ = 0;
    if (!interlaced_) {
      if (++row_ >= height_) done_ = true;
      return;
    }
    row_ += PASSES[static_cast<std::size_t>(pass_)].step;
    while (row_ >= height_) {
      if (++pass_ >= static_cast<int>(PASSES.size())) {
        done_ = true;
        return;
      }
      row_ = PASSES[static_cast<std::size_t>(pass_)].start;
    }
  }

 private:
  IMG_report* image_;
  int width_;
  int height_;
  bool interlaced_;
  int row_ = 0;
  int col_ = 0;
  int pass_ = 0;
  bool done_ = false;
};

/* Codes, least significant bit first, across data sub-blocks. */
class CodeReader {
 public:
  explicit CodeReader(Reader& in) : in_(in) {}
  /* The next code, or -1 when the data end (zero-length block or end of file). */
  int next(int width) {
    while (bits_ < width) {
      if (pos_ == size_) {
        const int len = in_.get();
        if (len == EOF || len == 0) return -1;
        size_ = len;
        pos_ = 0;
        if (!in_.read(block_.data(), static_cast<std::size_t>(len))) return -1;
      }
      acc_ |= static_cast<unsigned long>(block_[static_cast<std::size_t>(pos_++)]) << bits_;
      bits_ += 8;
    }
    const int code = static_cast<int>(acc_ & ((1ul << width) - 1));
    acc_ >>= width;
    bits_ -= width;
    return code;
  }

 private:
  Reader& in_;
  std::array<unsigned char, 255> block_{};
  int size_ = 0;
  int pos_ = 0;
  unsigned long acc_ = 0;
  int bits_ = 0;
};

enum class Decoded { complete, short_data, corrupt };

Decoded decode(Reader& in, int code_size, Placer& place) {
  const int clear = 1 << code_size;
  const int eoi = clear + 1;
  std::array<int, MAX_CODES> prefix{};
  std::array<unsigned char, MAX_CODES> suffix{};
  std::array<unsigned char, MAX_CODES> first{};
  for (int i = 0; i < clear; ++i) {
    prefix[static_cast<std::size_t>(i)] = -1;
    suffix[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
    first[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
  }
  std::vector<unsigned char> stack(MAX_CODES + 1);
  int width = code_size + 1;
  int next = clear + 2;
  int prev = -1;
  CodeReader codes(in);

  /* Pushes the string of code, last pixel first, and pops it in order. */
  auto emit = [&](int code, int extra) {
    std::size_t n = 0;
    if (extra >= 0) stack[n++] = static_cast<unsigned char>(extra);
    for (int c = code; c >= 0 && n < stack.size(); c = prefix[static_cast<std::size_t>(c)])
      stack[n++] = suffix[static_cast<std::size_t>(c)];
    while (n > 0) place.put(stack[--n]);
  };

  while (!place.done()) {
    const int code = codes.next(width);
    if (code < 0) return Decoded::short_data;
    if (code == clear) {
      width = code_size + 1;
      next = clear + 2;
      prev = -1;
      continue;
    }
    if (code == eoi) break;
    if (prev < 0) {
      if (code > clear) return Decoded::corrupt;
      emit(code, -1);
      prev = code;
      continue;
    }
    unsigned char head = 0;
    if (code < next) {
      emit(code, -1);
      head = first[static_cast<std::size_t>(code)];
    } else if (code == next && next < MAX_CODES) {
      head = first[static_cast<std::size_t>(prev)];
      emit(prev, head);
    } else {
      return Decoded::corrupt;
    }
    /* A full table without a clear code stops growing. */
    if (next < MAX_CODES) {
      const auto e = static_cast<std::size_t>(next);
      prefix[e] = prev;
      suffix[e] = head;
      first[e] = first[static_cast<std::size_t>(prev)];
      if (next == (1 << width) - 1 && width < MAX_WIDTH) ++width;
      ++next;
    }
    prev = code;
  }
  return place.done() ? Decoded::complete : Decoded::short_data;
}

} // namespace

int GIF_interlace(int val) {
  state.use_inter = val;
  return 0;
}

int GIF_transparent(int val) {
  state.trans = val;
  return 0;
}

int GIF_write(const char* filename, const IMG_report* image) {
  if (image) {
    MESS_print(M_debug, "width: %d\n", image->width);
    MESS_print(M_debug, "height: %d\n", image->height);
    MESS_print(M_debug, "depth: %d\n", image->depth);
    MESS_print(M_debug, "bytes_per_line: %d\n", image->bytes_line);
  }
  if (!IMG_check(image, "GIF_write")) return 0;
  File fp(filename ? FILE_open(filename, "wb") : nullptr);
  if (!fp) {
    MESS_print(M_warn, "Unable to open GIF file\n");
    return 0;
  }
  long background = -1;
  if (state.trans) {
    const int bg = gget_color_ind(-1);
    if (bg >= 0) background = bg;
  }
  IMG_palette pal;
  std::vector<unsigned char> index;
  IMG_make_palette(image, background, &pal, &index);
  MESS_print(M_debug, "num_color: %d\n", pal.num_color);

  int n = 1;
  while ((1 << n) < pal.num_color) ++n;
  const int code_size = std::max(n, 2);
  MESS_print(M_debug, "num_color+: %d\n", 1 << n);
  MESS_print(M_debug, "code_size: %d\n", code_size);

  std::vector<unsigned char> out = {'G', 'I', 'F', '8', '9', 'a'};
  put16(&out, image->width);
  put16(&out, image->height);
  out.push_back(static_cast<unsigned char>(GLOBAL_TABLE | ((n - 1) << 4) | (n - 1)));
  out.push_back(0); /* background colour index */
  out.push_back(0); /* aspect ratio */
  for (int i = 0; i < (1 << n); ++i) {
    const bool found = i < pal.num_color;
    out.push_back(static_cast<unsigned char>(found ? pal.red[i] : 0));
    out.push_back(static_cast<unsigned char>(found ? pal.grn[i] : 0));
    out.push_back(static_cast<unsigned char>(found ? pal.blu[i] : 0));
  }
  /* Without a background pixel in the image there is nothing to mark. */
  if (state.trans && pal.trans_index >= 0) {
    const unsigned char control[] = {
        EXTENSION, LABEL_CONTROL, 0x04, 0x01, DELAY, 0x00, static_cast<unsigned char>(pal.trans_index), 0x00};
    out.insert(out.end(), std::begin(control), std::end(control));
  }
  out.push_back(IMAGE_SEPARATOR);
  put16(&out, 0);
  put16(&out, 0);
  put16(&out, image->width);
  put16(&out, image->height);
  out.push_back(state.use_inter ? INTERLACED : 0);
  out.push_back(static_cast<unsigned char>(code_size));

  const std::size_t w = static_cast<std::size_t>(image->width);
  std::vector<unsigned char> pixels;
  pixels.reserve(index.size());
  for (int r : row_order(image->height, state.use_inter != 0)) {
    const auto* row = index.data() + static_cast<std::size_t>(r) * w;
    pixels.insert(pixels.end(), row, row + w);
  }
  Encoder(&out, code_size).encode(pixels);
  out.push_back(0x00); /* block terminator */
  out.push_back(TRAILER);

  bool ok = std::fwrite(out.data(), 1, out.size(), fp.get()) == out.size();
  if (ok) ok = FILE_close(fp.release()) == 0;
  if (!ok) {
    MESS_print(M_warn, "GIF_write: Unable to write: %s\n", filename);
    return 0;
  }
  return 1;
}

int GIF_read(const char* filename, IMG_report* image, int type) {
  if (!image) return 0;
  image->data = nullptr;
  image->colors = nullptr;
  image->num_colors = 0;
  Discard discard{image};
  File fp(filename ? FILE_open(filename, "rb") : nullptr);
  if (!fp) {
    MESS_print(M_warn, "GIF_read: Unable to open file\n");
    return 0;
  }
  Reader in(fp.get());
  unsigned char head[13];
  if (!in.read(head, 3)) head[0] = 0;
  if (std::memcmp(head, "** ", 3) == 0) {
    int c = 0;
    while ((c = in.get()) != EOF && c != '\n') {
    }
    if (!in.read(head, 3)) head[0] = 0;
  }
  if (std::memcmp(head, "GIF", 3) != 0) {
    MESS_print(M_warn, "GIF_read: Not a GIF file\n");
    return 0;
  }
  if (!in.read(head + 3, 10)) {
    MESS_print(M_warn, "GIF_read: File ends in its screen descriptor\n");
    return 0;
  }
  const unsigned char* screen = head + 6;
  image->width = le16(screen);
  image->height = le16(screen + 2);
  const bool global = (screen[4] & GLOBAL_TABLE) != 0;
  const int global_size = 1 << ((screen[4] & 7) + 1);
  image->depth = 8;
  image->bytes_line = image->width;
  image->color_type = IMG_COLOR_INDEXED;
  std::snprintf(image->info, sizeof image->info, "GIF");
  MESS_print(M_debug, "type: %s\n", image->info);
  MESS_print(M_debug, "width: %d\n", image->width);
  MESS_print(M_debug, "height: %d\n", image->height);
  MESS_print(M_debug, "depth: %d\n", image->depth);
  MESS_print(M_debug, "bytes_per_line: %d\n", image->bytes_line);
  if (image->width < 1 || image->height < 1 || static_cast<long>(image->width) * image->height > IMG_MAX_BYTES) {
    MESS_print(M_warn, "GIF_read: Bad screen size %dx%d\n", image->width, image->height);
    return 0;
  }
  if (type == IMG_READ_HEADER) {
    image->num_colors = global ? global_size : 0;
    discard.image = nullptr;
    return 1;
  }
  if (global && !read_table(in, global_size, image)) {
    MESS_print(M_warn, "GIF_read: File ends in its colour table\n");
    return 0;
  }
  image->data = static_cast<unsigned char*>(
      std::calloc(static_cast<std::size_t>(image->bytes_line) * static_cast<std::size_t>(image->height), 1));
  if (!image->data) {
    MESS_print(M_warn, "Unable to allocate data buffer.\n");
    return 0;
  }

  for (;;) {
    const int c = in.get();
    if (c == EOF || c == TRAILER) {
      MESS_print(M_warn, "GIF_read: No image in the file\n");
      return 0;
    }
    if (c == IMAGE_SEPARATOR) break;
    if (c == EXTENSION && !read_extension(in)) {
      MESS_print(M_warn, "GIF_read: File ends in an extension\n");
      return 0;
    }
  }
  unsigned char desc[9];
  if (!in.read(desc, sizeof desc)) {
    MESS_print(M_warn, "GIF_read: File ends in its image descriptor\n");
    return 0;
  }
  const int width = le16(desc + 4);
  const int height = le16(desc + 6);
  MESS_print(M_debug, "X: %3d Y: %3d W: %3d H: %3d\n", le16(desc), le16(desc + 2), width, height);
  if (width < 1 || height < 1) {
    MESS_print(M_warn, "GIF_read: Image of no pixels (%dx%d)\n", width, height);
    return 0;
  }
  /* The image's pixels index its own table when it has one. */
  if ((desc[8] & GLOBAL_TABLE) && !read_table(in, 1 << ((desc[8] & 7) + 1), image)) {
    MESS_print(M_warn, "GIF_read: File ends in its local colour table\n");
    return 0;
  }
  const int code_size = in.get();
  if (code_size < 1 || code_size > 8) {
    MESS_print(M_warn, "GIF_read: Bad code size %d\n", code_size);
    return 0;
  }
  Placer place(image, width, height, (desc[8] & INTERLACED) != 0);
  switch (decode(in, code_size, place)) {
    case Decoded::complete: discard.image = nullptr; return 1;
    case Decoded::short_data: MESS_print(M_warn, "GIF_read: Image data end before the last pixel\n"); return 0;
    case Decoded::corrupt: break;
  }
  MESS_print(M_warn, "GIF_read: Corrupt image data\n");
  return 0;
}

int GIF_dump(const char* filename) {
  return glend_image([](IMG_report* image, void* name) { return GIF_write(static_cast<const char*>(name), image); },
                     const_cast<char*>(filename));
}
