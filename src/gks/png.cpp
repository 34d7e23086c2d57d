/*
 * png: PNG files through libpng.
 *
 * PNG_write turns any image record into an 8-bit palette PNG with a full
 * 256-entry palette (the pixel values in the order in which they first
 * occur, then black) and three text chunks: the window title, the software
 * and the creation time. libpng writes the chunks; the palette indexes are
 * made and compressed here with zlib's run-length strategy, a large image
 * in bands of rows by up to four threads at once (a raw deflate stream
 * each, all but the last ended on a byte boundary by a sync flush, so that
 * together they are one stream), and go in as IDAT chunks. The image
 * itself is left as it is.
 *
 * PNG_read brings every PNG into the record's layouts: palette files and
 * grey files become 8-bit indexed images (grey ones with a grey ramp as
 * their colour table), RGB files 24-bit pixels of three bytes and RGB
 * files with alpha 32-bit pixels R, R, G, B (alpha dropped), all with the
 * most significant byte first; 16-bit samples are scaled to 8 bits, sub-byte
 * pixels widened to a byte and interlaced files combined by libpng.
 *
 * libpng reports errors by a long jump. Each step that may jump is a small
 * function whose frame holds nothing to destroy; the structures, the file
 * and the buffers are owned one frame further out.
 */
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "img_band.h"
#include "kez.h"
#include "kezgks.h"
#include "kezimg.h"

namespace {

constexpr const char* SOFTWARE = "KEZ - Nimbrel v5.0";
constexpr int GREY_LEVELS = 256;
constexpr unsigned int RED_MASK = 0xFF0000;
constexpr unsigned int GRN_MASK = 0x00FF00;
constexpr unsigned int BLU_MASK = 0x0000FF;

struct FileCloser {
  void operator()(FILE* fp) const { FILE_close(fp); }
};
struct PlainCloser {
  void operator()(FILE* fp) const { std::fclose(fp); }
};

/* The error pointer of each structure is the reporting function's name. */
void on_error(png_structp png, png_const_charp msg) {
  const char* who = static_cast<const char*>(png_get_error_ptr(png));
  MESS_print(M_warn, "%s: %s\n", who ? who : "PNG", msg);
  png_longjmp(png, 1);
}

void on_warning(png_structp png, png_const_charp msg) {
  const char* who = static_cast<const char*>(png_get_error_ptr(png));
  MESS_print(M_debug, "%s: %s\n", who ? who : "PNG", msg);
}

/* ---- writer ------------------------------------------------------------------- */

struct WriteJob {
  int width;
  int height;
  png_color palette[IMG_PALETTE_MAX];
  png_text text[3];
  const std::vector<std::vector<unsigned char>>* idat; /* the zlib stream of the rows, in pieces */
};

/* Images of fewer pixels are compressed in one piece: a second thread
 * would cost more than it saves. Larger ones in PARTS bands of rows, which
 * up to MAX_THREADS threads take in turn: the bands of a chart differ in
 * how hard they are to pack, and small ones share the work out evenly. */
constexpr std::size_t SPLIT_PIXELS = 1u << 18;
constexpr int PARTS = 8;
constexpr int MAX_THREADS = 4;
constexpr std::size_t IDAT_PIECE = 1u << 16; /* bytes of image data per IDAT chunk */
constexpr int WINDOW_BITS = 15;
constexpr int MEM_LEVEL = 8;

struct PngState {
  int threads = 0; /* PNG_threads' bound on the threads of a write, 0 for the machine's */
};

PngState state;

/* One thread's means of packing bands: the filtered rows of a band and a
 * deflate stream, both kept from band to band. */
struct Packer {
  std::vector<unsigned char> rows;
  std::vector<unsigned char> buffer; /* deflate's output */
  z_stream z{};
  bool open = false;
  Packer() = default;
  Packer(const Packer&) = delete;
  Packer& operator=(const Packer&) = delete;
  ~Packer() {
    if (open) deflateEnd(&z);
  }

  /* Room for a band of size bytes of filtered rows. */
  bool take(std::size_t size) noexcept try {
    rows.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }

  /* A fresh raw deflate stream; a reset one packs as a new one would. */
  bool start() {
    if (open) return deflateReset(&z) == Z_OK;
    open = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -WINDOW_BITS, MEM_LEVEL, Z_RLE) == Z_OK;
    return open;
  }

  /* The rows as raw deflate data appended to out: the last band of an
   * image ends the stream, any other ends with a sync flush on a byte
   * boundary, where the next band's data can follow. False when zlib
   * failed. */
  bool deflate_rows(bool final, std::vector<unsigned char>* out) noexcept try {
    buffer.resize(IDAT_PIECE);
    if (!start()) return false;
    constexpr std::size_t MAX_IN = std::size_t{1} << 30; /* input of one call, within zlib's counts */
    std::size_t at = 0;
    int status = Z_OK;
    do {
      const std::size_t in = std::min(rows.size() - at, MAX_IN);
      z.next_in = rows.data() + at;
      z.avail_in = static_cast<uInt>(in);
      at += in;
      const int flush = at < rows.size() ? Z_NO_FLUSH : final ? Z_FINISH : Z_SYNC_FLUSH;
      do {
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        status = deflate(&z, flush);
        out->insert(out->end(), buffer.data(), buffer.data() + (buffer.size() - z.avail_out));
      } while (status == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
      if (!(status == Z_OK || status == Z_BUF_ERROR || (flush == Z_FINISH && status == Z_STREAM_END))) return false;
    } while (at < rows.size());
    return true;
  } catch (const std::bad_alloc&) {
    return false; /* on any thread, where it must not escape */
  }
};

/* The palette of an image and the zlib stream of its rows, shared out
 * among threads by bands of rows. Each thread takes the next band, indexes
 * it into its filtered rows by a list of values that starts with the
 * palette as merged so far, waits for the bands above to be merged, merges
 * its own into the palette, maps its indexes to the palette's where the
 * palette has grown meanwhile, and packs the rows. Bands are taken and
 * merged in order, so a thread waits only for bands that others are
 * working on, and the threads that could be started do all the work, at
 * worst the calling one alone. */
struct Packing {
  const IMG_report* image = nullptr;
  IMG_palette* pal = nullptr;
  std::vector<IMG_band> bands;
  std::vector<std::vector<unsigned char>>* pieces = nullptr; /* the zlib header, then a piece per band */
  std::vector<uLong> adlers;                                 /* of each band's filtered rows */
  std::atomic<int> next{0};                                  /* the next band to take */
  std::atomic<int> merged{0};                                /* bands merged, from the top */
  std::vector<int> merged_colors;                            /* [m]: the palette's entries once m bands are merged */
  std::atomic<bool> ok{true};

  int parts() const { return static_cast<int>(bands.size()); }

  /* Waits until the bands above this one are merged, merges it (unless
   * the write failed) and lets the next band's thread go on. */
  void merge(int part, bool indexed) {
    for (int m = merged.load(); m != part; m = merged.load()) merged.wait(m);
    if (indexed && ok)
      IMG_merge_band(image, -1, &bands[static_cast<std::size_t>(part)], pal);
    else
      ok = false;
    merged_colors[static_cast<std::size_t>(part) + 1] = pal->num_color;
    merged = part + 1;
    merged.notify_all();
  }

  /* One thread's share of the work; nothing escapes it. */
  void run() noexcept {
    Packer packer;
    const std::size_t width = static_cast<std::size_t>(image->width), stride = width + 1;
    for (int part = next++; part < parts(); part = next++) {
      const std::size_t k = static_cast<std::size_t>(part);
      IMG_band& band = bands[k];
      const std::size_t size = static_cast<std::size_t>(band.last_row - band.first_row) * stride;
      /* The list starts with the palette as merged so far (entries once
       * merged stay as they are while later bands add theirs), so that its
       * indexes are the palette's unless the palette grows meanwhile. */
      const int known = merged_colors[static_cast<std::size_t>(merged.load())];
      std::copy_n(pal->value, known, band.value);
      band.num_value = known;
      merge(part, ok && packer.take(size) && IMG_index_band(image, &band, packer.rows.data() + 1, stride) == 0);
      if (!ok) continue;
      if (band.reindex) {
        /* Against the palette up to this band: later ones may be adding to it. */
        if (IMG_reindex_band(image, pal->value, merged_colors[k + 1], &band, packer.rows.data() + 1, stride) != 0) {
          ok = false;
          continue;
        }
      } else if (!band.identity) {
        for (std::size_t at = 1; at < size; at += stride)
          for (unsigned char *p = &packer.rows[at], *end = p + width; p < end; ++p) *p = band.map[*p];
      }
      for (std::size_t at = 0; at < size; at += stride) packer.rows[at] = 0; /* filter: none */
      adlers[k] = adler32_z(adler32(0L, Z_NULL, 0), packer.rows.data(), size);
      if (!packer.deflate_rows(part == parts() - 1, &(*pieces)[k + 1])) ok = false;
    }
  }
};

/* The helper threads of a packing, joined however the calling frame is
 * left. */
struct Helpers {
  std::vector<std::thread> threads;
  ~Helpers() {
    for (std::thread& t : threads) t.join();
  }
};

/* Threads that share the bands of one image, the calling one included:
 * PNG_threads' bound, else the machine's processors, at most MAX_THREADS. */
int crew_size(int parts) {
  if (parts <= 1) return 1;
  const int want = state.threads > 0 ? state.threads : static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(std::min(want, parts), 1, MAX_THREADS);
}

/* The palette of an image and the zlib stream of its rows in pieces to be
 * written in turn: the header, the deflate data of each band of rows, and
 * the Adler-32 checksum of all the filtered rows. */
bool compress_image(const IMG_report* image, IMG_palette* pal, std::vector<std::vector<unsigned char>>* pieces) try {
  const int height = image->height;
  const std::size_t width = static_cast<std::size_t>(image->width);
  const int parts = width * static_cast<std::size_t>(height) >= SPLIT_PIXELS ? std::min(PARTS, height) : 1;
  *pal = IMG_palette{};
  Packing packing;
  packing.image = image;
  packing.pal = pal;
  packing.pieces = pieces;
  packing.bands.resize(static_cast<std::size_t>(parts));
  packing.adlers.assign(static_cast<std::size_t>(parts), 0);
  packing.merged_colors.assign(static_cast<std::size_t>(parts) + 1, 0);
  for (int part = 0; part < parts; ++part) {
    IMG_band& band = packing.bands[static_cast<std::size_t>(part)];
    band.first_row = static_cast<int>(static_cast<long>(height) * part / parts);
    band.last_row = static_cast<int>(static_cast<long>(height) * (part + 1) / parts);
  }
  /* CMF: deflate with a 32 KiB window; FLG: no dictionary, the fastest
   * level's mark (as zlib writes for its run-length strategy), and the
   * check bits that make the pair a multiple of 31. */
  const unsigned cmf = 0x78, flg = 31 - (cmf * 256) % 31;
  pieces->assign(static_cast<std::size_t>(parts) + 1, {});
  (*pieces)[0] = {static_cast<unsigned char>(cmf), static_cast<unsigned char>(flg)};
  {
    Helpers helpers;
    helpers.threads.reserve(MAX_THREADS);
    for (int i = 1; i < crew_size(parts); ++i) {
      try {
        helpers.threads.emplace_back([&packing] { packing.run(); });
      } catch (const std::system_error&) {
        break; /* the threads started do every band */
      }
    }
    packing.run();
  }
  if (!packing.ok) return false;
  uLong adler = packing.adlers[0];
  for (int part = 1; part < parts; ++part) {
    const IMG_band& band = packing.bands[static_cast<std::size_t>(part)];
    const auto bytes = static_cast<z_off_t>(band.last_row - band.first_row) * static_cast<z_off_t>(width + 1);
    adler = adler32_combine(adler, packing.adlers[static_cast<std::size_t>(part)], bytes);
  }
  std::vector<unsigned char>& tail = pieces->back(); /* the last band's */
  for (int shift = 24; shift >= 0; shift -= 8) tail.push_back(static_cast<unsigned char>(adler >> shift));
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

bool write_png(FILE* fp, WriteJob* job) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, const_cast<char*>("PNG_write"), on_error, on_warning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, fp);
  png_set_IHDR(png, info, static_cast<png_uint_32>(job->width), static_cast<png_uint_32>(job->height), 8,
               PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, job->palette, IMG_PALETTE_MAX);
  png_set_text(png, info, job->text, 3);
  png_write_info(png, info);
  /* The image data made by compress_image, then the end: libpng's own end
   * would want rows written through it. */
  for (const std::vector<unsigned char>& idat : *job->idat) {
    for (std::size_t at = 0; at < idat.size(); at += IDAT_PIECE)
      png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), idat.data() + at,
                      std::min(IDAT_PIECE, idat.size() - at));
  }
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  png_destroy_write_struct(&png, &info);
  return true;
}

/* ---- reader ---------------------------------------------------------------------- */

struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_infop end = nullptr;
  ~PngRead() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, end ? &end : nullptr);
  }
};

/* How many ancillary chunks libpng keeps. */
constexpr png_uint_32 PNG_CHUNK_CACHE_MAX = 1000;

/* Walks the chunk list after the signature: every chunk must fit in what is
 * left of the file. libpng allocates a text chunk's declared length before
 * reading it, so a two-gigabyte claim in a small file would otherwise be
 * allocated. Leaves the file just after the signature. */
bool chunks_fit(FILE* fp) {
  if (std::fseek(fp, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(fp);
  long at = 8;
  while (size >= 0 && at + 12 <= size) {
    unsigned char head[8];
    if (std::fseek(fp, at, SEEK_SET) != 0 || std::fread(head, 1, sizeof head, fp) != sizeof head) return false;
    const unsigned long length = (static_cast<unsigned long>(head[0]) << 24) |
                                 (static_cast<unsigned long>(head[1]) << 16) |
                                 (static_cast<unsigned long>(head[2]) << 8) | head[3];
    if (length > static_cast<unsigned long>(size - at - 12)) return false;
    at += 12 + static_cast<long>(length);
    if (std::memcmp(head + 4, "IEND", 4) == 0) break;
  }
  return size >= 0 && std::fseek(fp, 8, SEEK_SET) == 0;
}

struct Header {
  png_uint_32 width;
  png_uint_32 height;
  int bit_depth;
  int color_type;
  int interlace;
  int compression;
  int filter;
  png_size_t rowbytes;
};

/* Reads the header and sets the conversions to the record's layouts. */
bool read_header(PngRead* r, FILE* fp, Header* h) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  png_set_user_limits(r->png, IMG_MAX_SIDE, IMG_MAX_SIDE);
  png_set_chunk_cache_max(r->png, PNG_CHUNK_CACHE_MAX);
  png_init_io(r->png, fp);
  png_set_sig_bytes(r->png, 8);
  png_read_info(r->png, r->info);
  png_get_IHDR(r->png, r->info, &h->width, &h->height, &h->bit_depth, &h->color_type, &h->interlace, &h->compression,
               &h->filter);
  MESS_print(M_debug, "%u %u %d - %d %d - %d %d\n", h->width, h->height, h->bit_depth, h->color_type, h->interlace,
             h->compression, h->filter);
  if (h->bit_depth == 16) png_set_scale_16(r->png);
  if (h->bit_depth < 8) {
    if (h->color_type == PNG_COLOR_TYPE_PALETTE) png_set_packing(r->png);
    if (h->color_type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(r->png);
  }
  if (h->color_type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_strip_alpha(r->png);
  png_set_interlace_handling(r->png);
  png_read_update_info(r->png, r->info);
  h->rowbytes = png_get_rowbytes(r->png, r->info);
  return true;
}

bool read_palette(PngRead* r, png_colorp* palette, int* num) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  *num = 0;
  *palette = nullptr;
  png_get_PLTE(r->png, r->info, palette, num);
  return true;
}

bool read_pixels(PngRead* r, png_bytepp rows) {
  if (setjmp(png_jmpbuf(r->png))) return false;
  png_read_image(r->png, rows);
  png_read_end(r->png, r->end);
  return true;
}

bool make_colors(IMG_report* image, int num) {
  image->colors = static_cast<IMG_color*>(std::calloc(static_cast<std::size_t>(num), sizeof(IMG_color)));
  if (!image->colors) return false;
  image->num_colors = num;
  return true;
}

int read_file(FILE* fp, IMG_report* image, int type) {
  PngRead r;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, const_cast<char*>("PNG_read"), on_error, on_warning);
  if (!r.png) return 0;
  r.info = png_create_info_struct(r.png);
  r.end = png_create_info_struct(r.png);
  if (!r.info || !r.end) return 0;
  Header h{};
  if (!read_header(&r, fp, &h)) return 0;

  const bool indexed = h.color_type == PNG_COLOR_TYPE_PALETTE;
  const bool grey = h.color_type == PNG_COLOR_TYPE_GRAY || h.color_type == PNG_COLOR_TYPE_GRAY_ALPHA;
  const bool alpha = h.color_type == PNG_COLOR_TYPE_RGB_ALPHA;
  std::snprintf(image->info, sizeof image->info, "PNG");
  image->width = static_cast<int>(h.width);
  image->height = static_cast<int>(h.height);
  image->colors = nullptr;
  image->num_colors = 0;
  image->byte_order = 1;
  if (indexed || grey) {
    image->depth = image->bits_pixel = 8;
    image->color_type = IMG_COLOR_INDEXED;
  } else {
    image->depth = 24;
    image->bits_pixel = alpha ? 32 : 24;
    image->color_type = IMG_COLOR_MASKS;
    image->red = RED_MASK;
    image->grn = GRN_MASK;
    image->blu = BLU_MASK;
  }
  const std::size_t need = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->bits_pixel / 8);
  if (h.rowbytes < need || h.rowbytes > static_cast<png_size_t>(IMG_MAX_BYTES) ||
      static_cast<long>(h.rowbytes) * image->height > IMG_MAX_BYTES) {
    MESS_print(M_warn, "PNG_read: Image size %dx%d out of range\n", image->width, image->height);
    return 0;
  }
  image->bytes_line = static_cast<int>(h.rowbytes);
  static constexpr const char* TYPE_NAMES[] = {"grey", "?", "RGB", "palette", "grey+alpha", "?", "RGBA"};
  MESS_print(M_debug, "type: %s\n", h.color_type >= 0 && h.color_type <= 6 ? TYPE_NAMES[h.color_type] : "?");
  MESS_print(M_debug, "width: %d\n", image->width);
  MESS_print(M_debug, "height: %d\n", image->height);
  MESS_print(M_debug, "depth: %d\n", image->depth);
  MESS_print(M_debug, "bytes_per_line: %d\n", image->bytes_line);
  if (type == IMG_READ_HEADER) return 1;

  if (indexed) {
    png_colorp palette = nullptr;
    int num = 0;
    if (!read_palette(&r, &palette, &num)) return 0;
    MESS_print(M_debug, "color table size: %d\n", num);
    if (num > 0 && palette) {
      if (!make_colors(image, num)) return 0;
      for (int i = 0; i < num; ++i) {
        image->colors[i].r = palette[i].red / 255.0f;
        image->colors[i].g = palette[i].green / 255.0f;
        image->colors[i].b = palette[i].blue / 255.0f;
      }
    }
  } else if (grey) {
    if (!make_colors(image, GREY_LEVELS)) return 0;
    for (int i = 0; i < GREY_LEVELS; ++i)
      image->colors[i].r = image->colors[i].g = image->colors[i].b = static_cast<float>(i) / (GREY_LEVELS - 1);
  }

  const std::size_t size = h.rowbytes * static_cast<std::size_t>(image->height);
  image->data = static_cast<unsigned char*>(std::malloc(size));
  if (!image->data) {
    MESS_print(M_warn, "Unable to allocate data buffer.\n");
    return 0;
  }
  std::vector<png_bytep> rows(static_cast<std::size_t>(image->height));
  for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = image->data + y * h.rowbytes;
  if (!read_pixels(&r, rows.data())) return 0;

  if (alpha) {
    /* R, G, B, A becomes R, R, G, B: the masks with the high byte first. */
    for (int y = 0; y < image->height; ++y) {
      unsigned char* p = rows[static_cast<std::size_t>(y)];
      for (int x = 0; x < image->width; ++x, p += 4) {
        p[3] = p[2];
        p[2] = p[1];
        p[1] = p[0];
      }
    }
  }
  return 1;
}

} // namespace

int PNG_write(const char* filename, const IMG_report* image) {
  if (image) {
    MESS_print(M_debug, "width: %d\n", image->width);
    MESS_print(M_debug, "height: %d\n", image->height);
    MESS_print(M_debug, "depth: %d\n", image->depth);
    MESS_print(M_debug, "bytes_per_line: %d\n", image->bytes_line);
  }
  if (!IMG_check(image, "PNG_write")) return 0;
  std::unique_ptr<FILE, FileCloser> fp(filename ? FILE_open(filename, "wb") : nullptr);
  if (!fp) {
    MESS_print(M_warn, "Unable to open PNG file\n");
    return 0;
  }
  /* Charts are long runs of a few colours: run-length matching alone packs
   * them tighter than the default search and in a fraction of its time. */
  IMG_palette pal;
  std::vector<std::vector<unsigned char>> idat;
  if (!compress_image(image, &pal, &idat)) {
    MESS_print(M_warn, "PNG_write: Unable to compress the image: %s\n", filename);
    return 0;
  }
  MESS_print(M_debug, "num_color: %d\n", pal.num_color);

  WriteJob job{};
  job.width = image->width;
  job.height = image->height;
  for (int i = 0; i < IMG_PALETTE_MAX; ++i) {
    const bool found = i < pal.num_color;
    job.palette[i].red = static_cast<png_byte>(found ? pal.red[i] : 0);
    job.palette[i].green = static_cast<png_byte>(found ? pal.grn[i] : 0);
    job.palette[i].blue = static_cast<png_byte>(found ? pal.blu[i] : 0);
  }
  std::string title = gget_win_title() ? gget_win_title() : "";
  std::string software = SOFTWARE;
  /* As strftime's "%d %b %Y %H:%M:%S GMT" in the C locale, from the
   * clock's days and seconds: strftime, and gmtime at its first call, read
   * the time zone files, which a time in GMT does not need. */
  static constexpr const char* MONTHS[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  const auto today = std::chrono::floor<std::chrono::days>(now);
  const std::chrono::year_month_day date{today};
  const std::chrono::hh_mm_ss<std::chrono::seconds> clock{now - today};
  const unsigned month = static_cast<unsigned>(date.month());
  char stamp[40] = "";
  std::snprintf(stamp, sizeof stamp, "%02u %s %d %02ld:%02ld:%02ld GMT", static_cast<unsigned>(date.day()),
                MONTHS[month >= 1 && month <= 12 ? month - 1 : 0], static_cast<int>(date.year()),
                static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
                static_cast<long>(clock.seconds().count()));
  std::string keys[3] = {"Title", "Software", "Creation Time"};
  std::string texts[3] = {title, software, stamp};
  for (int i = 0; i < 3; ++i) {
    job.text[i].compression = PNG_TEXT_COMPRESSION_NONE;
    job.text[i].key = keys[i].data();
    job.text[i].text = texts[i].data();
    job.text[i].text_length = texts[i].size();
  }
  job.idat = &idat;

  bool ok = write_png(fp.get(), &job);
  if (ok) ok = std::fflush(fp.get()) == 0 && !std::ferror(fp.get());
  if (ok) ok = FILE_close(fp.release()) == 0;
  if (!ok) {
    MESS_print(M_warn, "PNG_write: Unable to write: %s\n", filename);
    return 0;
  }
  return 1;
}

int PNG_read(const char* filename, IMG_report* image, int type) {
  if (!image) return 0;
  image->data = nullptr;
  image->colors = nullptr;
  std::unique_ptr<FILE, PlainCloser> fp(filename ? std::fopen(filename, "rb") : nullptr);
  if (!fp) {
    MESS_print(M_warn, "PNG_read: Unable to open file: %s\n", filename ? filename : "(null)");
    return 0;
  }
  png_byte sig[8] = {};
  if (std::fread(sig, 1, sizeof sig, fp.get()) != sizeof sig || png_sig_cmp(sig, 0, sizeof sig) != 0) {
    MESS_print(M_warn, "PNG_read: Not a PNG file\n");
    return 0;
  }
  if (!chunks_fit(fp.get())) {
    MESS_print(M_warn, "PNG_read: A chunk runs past the end of the file\n");
    return 0;
  }
  const int ok = read_file(fp.get(), image, type);
  if (!ok) IMG_free(image);
  return ok;
}

int PNG_dump(const char* filename) {
  return glend_image([](IMG_report* image, void* name) { return PNG_write(static_cast<const char*>(name), image); },
                     const_cast<char*>(filename));
}

int PNG_threads(int n) {
  const int old = state.threads;
  state.threads = std::clamp(n, 0, MAX_THREADS);
  return old;
}
