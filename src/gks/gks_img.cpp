/*
 * gks_img: raster images into and out of the window.
 *
 * gget_image captures the current drawing target (the backing drawable or
 * a selected frame, over the visible window's size) into an image record;
 * glend_image captures it the same way but only lends the record, without
 * copying the pixels, to a writer: every image dump goes through it. A
 * server on this machine hands the
 * pixels over in shared memory, any other through the connection. The
 * record keeps the server's pixels as they are (depth, bits per pixel, row
 * length, byte order) and describes their colours either by the visual's
 * masks (true colour) or by a table read from the window's colormap.
 *
 * gload_image puts a record into the drawing target (or onto the
 * PostScript page) at a place measured from the viewport's edges;
 * goverlay_image does the same but leaves out the pixels of a background
 * colour, so that an image can lie over a map. An image is shown through an
 * X image of the window's depth: the record's own pixels where they are
 * already the window's, else a block converted pixel by pixel from the
 * record's colours (true-colour windows), after indexed images were given
 * colour cells (windows of 8 bits or fewer). Pairs that cannot be
 * converted are refused with a message.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kez.h"
#include "kezgks_x11.h"
#include "kezimg.h"

namespace {

constexpr std::size_t INFO_CHARS = 74;
constexpr M_type M_image_trace = M_debug;

struct ImageDeleter {
  void operator()(XImage* image) const {
    if (image) XDestroyImage(image);
  }
};
using ImagePtr = std::unique_ptr<XImage, ImageDeleter>;

/* The segment and the server's hold on it, released in turn. */
struct Segment {
  Display* display;
  XShmSegmentInfo info{};
  bool attached = false;
  explicit Segment(Display* d) : display(d) {
    info.shmid = -1;
    info.shmaddr = reinterpret_cast<char*>(-1);
  }
  ~Segment() {
    if (attached) XShmDetach(display, &info);
    if (info.shmaddr != reinterpret_cast<char*>(-1)) ::shmdt(info.shmaddr);
    if (info.shmid >= 0) ::shmctl(info.shmid, IPC_RMID, nullptr);
  }
  Segment(const Segment&) = delete;
  Segment& operator=(const Segment&) = delete;
};

/* The backing pixmap kept in shared memory (see gcreate_shared_pixmap):
 * its segment, id, and the visual, depth and size it was made with. */
struct SharedPixmap {
  std::unique_ptr<Segment> seg;
  Pixmap pixmap = 0;
  Visual* visual = nullptr;
  int depth = 0, width = 0, height = 0;
};

struct ImgState {
  int output_type = IMG_SAVE_GIF; /* format of gsave_image_file */
  bool shm_error = false;         /* the server refused a shared-memory step */
  SharedPixmap shared;            /* the window's backing pixmap, when shared */
};

constexpr int BITS_UNIT = 32;
constexpr int MAX_CELL_MAP = 256;

ImgState state;

void trace_ximage(const XImage& x) {
  if (!MESS_check(M_image_trace)) return;
  MESS_print(M_image_trace, "width: %d\n", x.width);
  MESS_print(M_image_trace, "height: %d\n", x.height);
  MESS_print(M_image_trace, "xoffset: %d\n", x.xoffset);
  MESS_print(M_image_trace, "format: %d\n", x.format);
  MESS_print(M_image_trace, "byte_order: %d\n", x.byte_order);
  MESS_print(M_image_trace, "bitmap_unit: %d\n", x.bitmap_unit);
  MESS_print(M_image_trace, "bitmap_bit_order: %d\n", x.bitmap_bit_order);
  MESS_print(M_image_trace, "bitmap_pad: %d\n", x.bitmap_pad);
  MESS_print(M_image_trace, "depth: %d\n", x.depth);
  MESS_print(M_image_trace, "bits_per_pixel: %d\n", x.bits_per_pixel);
  MESS_print(M_image_trace, "bytes_per_line: %d\n", x.bytes_per_line);
  MESS_print(M_image_trace, "red_mask: %lX\n", x.red_mask);
  MESS_print(M_image_trace, "green_mask: %lX\n", x.green_mask);
  MESS_print(M_image_trace, "blue_mask: %lX\n", x.blue_mask);
}

/* The record's order of sub-byte pixels: the first 4-bit pixel in the high
 * half of a byte, the first 1-bit pixel in the lowest bit. */
void to_record_order(const XImage& x, unsigned char* data, long bytes) {
  if (x.bits_per_pixel == 1 && x.bitmap_bit_order == MSBFirst) {
    for (long i = 0; i < bytes; ++i) {
      unsigned char b = data[i], r = 0;
      for (int k = 0; k < 8; ++k) r = static_cast<unsigned char>(r | (((b >> k) & 1) << (7 - k)));
      data[i] = r;
    }
  } else if (x.bits_per_pixel == 4 && x.byte_order == LSBFirst) {
    for (long i = 0; i < bytes; ++i) data[i] = static_cast<unsigned char>(data[i] << 4 | data[i] >> 4);
  }
}

unsigned long lowest_bit(unsigned long mask) { return mask & (~mask + 1); }

/* The colours of pixels 0 to n - 1 from the colormap; for direct colour
 * the pixel of entry i holds i in each of the three fields. */
void read_colormap(Display* d, Colormap map, const Visual& visual, IMG_report* image) {
  const int n = visual.map_entries;
  if (n <= 0) return;
  std::vector<XColor> cells(static_cast<std::size_t>(n));
  const unsigned long r_step = lowest_bit(visual.red_mask), g_step = lowest_bit(visual.green_mask),
                      b_step = lowest_bit(visual.blue_mask);
  unsigned long r = 0, g = 0, b = 0;
  for (int i = 0; i < n; ++i) {
    XColor& c = cells[static_cast<std::size_t>(i)];
    if (visual.c_class == DirectColor) {
      c.pixel = r | g | b;
      if ((r += r_step) > visual.red_mask) r = 0;
      if ((g += g_step) > visual.green_mask) g = 0;
      if ((b += b_step) > visual.blue_mask) b = 0;
    } else {
      c.pixel = static_cast<unsigned long>(i);
    }
  }
  XQueryColors(d, map, cells.data(), n);
  auto* colors = static_cast<IMG_color*>(std::malloc(sizeof(IMG_color) * static_cast<std::size_t>(n)));
  if (!colors) {
    MESS_print(M_warn, "gget_image: Unable to allocate memory for colors\n");
    return;
  }
  auto unit = [](unsigned short v) {
    const float f = static_cast<float>(v) / 65535.0f;
    return f > 0.99f ? 1.0f : f;
  };
  for (int i = 0; i < n; ++i) {
    const XColor& c = cells[static_cast<std::size_t>(i)];
    colors[i] = IMG_color{unit(c.red), unit(c.green), unit(c.blue)};
  }
  image->colors = colors;
  image->num_colors = n;
}

/* ---- the grab ------------------------------------------------------------
 *
 * A chart window of 1100 x 850 true-colour pixels is 3.7 MB. Through the
 * connection it is copied by the socket, then by the X library, into fresh
 * pages that fault in one at a time. Through a shared memory segment the
 * server writes the pixels once, into pages made present up front in one
 * call. A server without the extension, one on another machine, or any
 * failing step leaves the grab to XGetImage.
 *
 * Fresh pages are the dear part of a grab on a busy machine, so a writer
 * that only reads the pixels (every dump) is lent them where they lie
 * (glend_image); gget_image copies them out of the segment into the
 * record's own block. */

int note_shm_error(Display*, XErrorEvent*) {
  state.shm_error = true;
  return 0;
}

/* Makes a new block's pages present in one call; a kernel without the
 * call leaves them to fault in as they are touched. */
void populate(void* block, std::size_t bytes) { ::madvise(block, bytes, MADV_POPULATE_WRITE); }

/* A block for the record's pixels that std::free releases, page-aligned so
 * that its pages can be made present. */
unsigned char* page_block(std::size_t bytes) {
  const long page = ::sysconf(_SC_PAGESIZE);
  const std::size_t align = page > 0 ? static_cast<std::size_t>(page) : 4096;
  const std::size_t size = (bytes + align - 1) / align * align;
  auto* block = static_cast<unsigned char*>(std::aligned_alloc(align, size));
  if (block) populate(block, size);
  return block;
}

/* A grabbed picture: the X image and, when its pixels came through shared
 * memory, the segment that holds them (its own, or the shared pixmap's).
 * The image's data then points into a segment, which is no block of
 * Xlib's to free. */
struct Grab {
  std::unique_ptr<Segment> seg;
  ImagePtr x;
  bool shared = false; /* x's data lies in a segment */
  Grab() = default;
  Grab(const Grab&) = delete;
  Grab& operator=(const Grab&) = delete;
  ~Grab() {
    if (shared && x) x->data = nullptr;
  }
};

/* ---- the shared pixmap ----------------------------------------------------
 *
 * Where the server can keep a pixmap in a shared memory segment, the
 * window's backing pixmap is made there: the server draws into memory
 * this process can read, and a grab of the backing pixmap reads the
 * pixels where they lie after a round trip, instead of having the server
 * copy them into a segment made for the grab. */

/* The shared pixmap's pixels as an X image, when target is the shared
 * pixmap at the grab's size and its pixels need no reordering. */
bool grab_shared_pixmap(Display* d, Drawable target, int width, int height, Grab* g) {
  const SharedPixmap& sp = state.shared;
  if (!sp.pixmap || target != sp.pixmap || width != sp.width || height != sp.height) return false;
  ImagePtr x(XShmCreateImage(d, sp.visual, static_cast<unsigned int>(sp.depth), ZPixmap, nullptr, &sp.seg->info,
                             static_cast<unsigned int>(width), static_cast<unsigned int>(height)));
  if (!x || x->bits_per_pixel < 8) return false;
  x->data = sp.seg->info.shmaddr;
  /* The server touched every page; map them here in one call rather than
   * by a fault every few pages while the pixels are read. */
  ::madvise(x->data, static_cast<std::size_t>(x->bytes_per_line) * static_cast<std::size_t>(height),
            MADV_POPULATE_READ);
  g->x = std::move(x);
  g->shared = true;
  MESS_print(M_image_trace, "gget_image: through shared memory\n");
  return true;
}

/* The target's pixels through shared memory into g; false when that way
 * is closed. */
bool grab_shared(Display* d, Drawable target, int width, int height, Grab* g) {
  if (!XShmQueryExtension(d) || !gget_visual()) return false;
  auto seg = std::make_unique<Segment>(d);
  ImagePtr x(XShmCreateImage(d, gget_visual(), static_cast<unsigned int>(gget_win_depth()), ZPixmap, nullptr,
                             &seg->info, static_cast<unsigned int>(width), static_cast<unsigned int>(height)));
  if (!x || x->bytes_per_line <= 0) return false;
  const std::size_t bytes = static_cast<std::size_t>(x->bytes_per_line) * static_cast<std::size_t>(height);
  seg->info.shmid = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (seg->info.shmid < 0) return false;
  seg->info.shmaddr = static_cast<char*>(::shmat(seg->info.shmid, nullptr, 0));
  if (seg->info.shmaddr == reinterpret_cast<char*>(-1)) return false;
  populate(seg->info.shmaddr, bytes);
  seg->info.readOnly = False;
  x->data = seg->info.shmaddr;

  /* A server elsewhere refuses the segment with an error that is expected
   * here; earlier requests' errors were all reported by the caller's last
   * round trip. */
  state.shm_error = false;
  XErrorHandler kernel_handler = XSetErrorHandler(note_shm_error);
  seg->attached = XShmAttach(d, &seg->info) != 0;
  XSync(d, False);
  if (state.shm_error) seg->attached = false; /* nothing for the server to detach */
  const bool got =
      seg->attached && !state.shm_error && XShmGetImage(d, target, x.get(), 0, 0, AllPlanes) && !state.shm_error;
  XSetErrorHandler(kernel_handler);
  if (!got) {
    x->data = nullptr;
    return false;
  }
  g->seg = std::move(seg);
  g->x = std::move(x);
  g->shared = true;
  MESS_print(M_image_trace, "gget_image: through shared memory\n");
  return true;
}

/* Grabs the current drawing target over the visible window's size into g
 * and describes it in image (cleared first): the header, the colour table
 * of an indexed visual (the record's own) and data pointing at g's pixels,
 * in the record's order. 1, or 0 with a message. */
int grab(IMG_report* image, Grab* g) {
  IMG_init(image);
  Display* d = gget_display();
  const Drawable target = gget_draw_window();
  if (!d || !target) return 0;

  XWindowAttributes attrs{};
  const int print = gset_xerror_print(0);
  const Status got_attrs = XGetWindowAttributes(d, gget_root_window(), &attrs);
  XSync(d, False);
  gset_xerror_print(print);
  if (!got_attrs || attrs.width <= 0 || attrs.height <= 0) {
    MESS_print(M_warn, "gget_image: Can't get target window attributes\n");
    return 0;
  }
  const int width = attrs.width, height = attrs.height;

  char* name = nullptr;
  const std::string info = XFetchName(d, gget_root_window(), &name) && name && *name ? name : "xwdump";
  if (name) XFree(name);
  std::snprintf(image->info, sizeof image->info, "%.*s", static_cast<int>(INFO_CHARS), info.c_str());

  if (!grab_shared_pixmap(d, target, width, height, g) && !grab_shared(d, target, width, height, g))
    g->x.reset(XGetImage(d, target, 0, 0, static_cast<unsigned int>(width), static_cast<unsigned int>(height),
                         AllPlanes, ZPixmap));
  const XImage* x = g->x.get();
  if (!x || !x->data) {
    MESS_print(M_warn, "gget_image: Unable to get image at %dx%d+%d+%d\n", width, height, 0, 0);
    return 0;
  }
  const long bytes = static_cast<long>(x->bytes_per_line) * height;
  image->data = reinterpret_cast<unsigned char*>(x->data);
  to_record_order(*x, image->data, bytes);
  image->width = width;
  image->height = height;
  image->bits_pixel = x->bits_per_pixel;
  image->bytes_line = x->bytes_per_line;
  image->byte_order = x->byte_order == MSBFirst ? 1 : 0;
  image->depth = x->depth;
  image->red = static_cast<unsigned int>(x->red_mask);
  image->grn = static_cast<unsigned int>(x->green_mask);
  image->blu = static_cast<unsigned int>(x->blue_mask);
  trace_ximage(*x);

  const Visual* visual = attrs.visual ? attrs.visual : gget_visual();
  if (MESS_check(M_image_trace) && visual) {
    MESS_print(M_image_trace, "num colors: %d\n", visual->map_entries);
    MESS_print(M_image_trace, "red_mask: %lX\n", visual->red_mask);
    MESS_print(M_image_trace, "green_mask: %lX\n", visual->green_mask);
    MESS_print(M_image_trace, "blue_mask: %lX\n", visual->blue_mask);
  }
  const bool masked = visual && (visual->c_class == TrueColor);
  image->color_type = masked ? IMG_COLOR_MASKS : IMG_COLOR_INDEXED;
  image->num_colors = 0;
  if (masked && image->red == 0) {
    image->red = static_cast<unsigned int>(visual->red_mask);
    image->grn = static_cast<unsigned int>(visual->green_mask);
    image->blu = static_cast<unsigned int>(visual->blue_mask);
  }
  /* A window without a colormap has no colour table; its pixels are then
   * taken as indexes without colours (grey levels to the writers). */
  if (!masked && visual && attrs.colormap) read_colormap(d, attrs.colormap, *visual, image);
  XFlush(d);
  return 1;
}

} // namespace

int gget_image(IMG_report* image) {
  if (!image) return 0;
  Grab g;
  if (!grab(image, &g)) return 0;
  /* The record owns its pixels: a copy out of the segment, or the block
   * XGetImage allocated (C allocator), taken over without a second copy. */
  if (g.shared) {
    const std::size_t bytes = static_cast<std::size_t>(image->bytes_line) * static_cast<std::size_t>(image->height);
    unsigned char* block = page_block(bytes);
    if (!block) {
      image->data = nullptr;
      MESS_print(M_warn, "gget_image: Unable to get image at %dx%d+%d+%d\n", image->width, image->height, 0, 0);
      return 0;
    }
    std::memcpy(block, image->data, bytes);
    image->data = block;
  } else {
    g.x->data = nullptr;
  }
  return 1;
}

Pixmap gcreate_shared_pixmap(Drawable on, int width, int height) {
  gfree_shared_pixmap(1);
  Display* d = gget_display();
  Visual* visual = gget_visual();
  const int depth = gget_win_depth();
  int major = 0, minor = 0;
  Bool pixmaps = False;
  if (!d || !visual || !on || width <= 0 || height <= 0 || !XShmQueryVersion(d, &major, &minor, &pixmaps) || !pixmaps ||
      XShmPixmapFormat(d) != ZPixmap)
    return 0;
  auto seg = std::make_unique<Segment>(d);
  ImagePtr x(XShmCreateImage(d, visual, static_cast<unsigned int>(depth), ZPixmap, nullptr, &seg->info,
                             static_cast<unsigned int>(width), static_cast<unsigned int>(height)));
  if (!x || x->bytes_per_line <= 0) return 0;
  const std::size_t bytes = static_cast<std::size_t>(x->bytes_per_line) * static_cast<std::size_t>(height);
  seg->info.shmid = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (seg->info.shmid < 0) return 0;
  seg->info.shmaddr = static_cast<char*>(::shmat(seg->info.shmid, nullptr, 0));
  if (seg->info.shmaddr == reinterpret_cast<char*>(-1)) return 0;
  seg->info.readOnly = False;

  /* As for a grab, a server elsewhere refuses the segment. */
  state.shm_error = false;
  XErrorHandler kernel_handler = XSetErrorHandler(note_shm_error);
  seg->attached = XShmAttach(d, &seg->info) != 0;
  XSync(d, False);
  if (state.shm_error) seg->attached = false;
  Pixmap pixmap = 0;
  if (seg->attached) {
    pixmap = XShmCreatePixmap(d, on, seg->info.shmaddr, &seg->info, static_cast<unsigned int>(width),
                              static_cast<unsigned int>(height), static_cast<unsigned int>(depth));
    XSync(d, False);
    if (state.shm_error) pixmap = 0;
  }
  XSetErrorHandler(kernel_handler);
  if (!pixmap) return 0;
  /* Both sides are attached: marked for removal now, the segment goes when
   * the last of them lets go, however the run ends. */
  ::shmctl(seg->info.shmid, IPC_RMID, nullptr);
  seg->info.shmid = -1;
  state.shared = SharedPixmap{std::move(seg), pixmap, visual, depth, width, height};
  MESS_print(M_image_trace, "gcreate_shared_pixmap: %dx%d\n", width, height);
  return pixmap;
}

Pixmap gget_shared_pixmap() { return state.shared.pixmap; }

void gfree_shared_pixmap(int server_too) {
  SharedPixmap& sp = state.shared;
  if (!sp.seg) return;
  Display* d = gget_display();
  if (server_too && d) {
    XFreePixmap(d, sp.pixmap);
  } else {
    sp.seg->attached = false; /* the connection closes, and its attachment with it */
  }
  sp = SharedPixmap{};
}

int glend_image(int (*use)(IMG_report* image, void* arg), void* arg) {
  if (!use) return 0;
  IMG_report image;
  Grab g;
  int result = 0;
  if (grab(&image, &g)) result = use(&image, arg);
  image.data = nullptr; /* the grab's, released with it */
  IMG_free(&image);
  return result;
}

namespace {

/* Where a mask's field starts and its largest value. */
struct Field {
  int shift = 0;
  int width = 0;
  unsigned long max = 0;
};

Field field_of(unsigned long mask) {
  Field f;
  if (!mask) return f;
  while (!(mask & 1)) {
    mask >>= 1;
    ++f.shift;
  }
  f.max = mask;
  for (unsigned long m = mask; m & 1; m >>= 1) ++f.width;
  return f;
}

/* The colour of one of the record's pixel values, components 0 to 1. */
IMG_color colour_of(const IMG_report& img, unsigned int value) {
  if (img.color_type == IMG_COLOR_MASKS) {
    auto part = [value](unsigned int mask) {
      const Field f = field_of(mask);
      return f.max ? static_cast<float>((value & mask) >> f.shift) / static_cast<float>(f.max) : 0.0f;
    };
    return IMG_color{part(img.red), part(img.grn), part(img.blu)};
  }
  if (img.num_colors > 0 && img.colors)
    return img.colors[value < static_cast<unsigned int>(img.num_colors) ? value : 0];
  const int bits = std::clamp(img.depth, 1, 16);
  const float grey = static_cast<float>(value) / static_cast<float>((1u << bits) - 1);
  return IMG_color{grey, grey, grey};
}

/* Bits a pixel of the given depth takes in a block of our own. */
int storage_bits(int depth) {
  if (depth > 16) return 32;
  if (depth > 8) return 16;
  if (depth > 4) return 8;
  if (depth > 1) return 4;
  return 1;
}

bool is_true_colour(const Visual* visual) { return visual && visual->c_class == TrueColor; }

/* The record's pixels can go to the server as they are. */
bool shares_pixels(const IMG_report& img, int depth, const Visual* visual) {
  if (img.depth != depth) return false;
  if (depth <= 8 && !is_true_colour(visual)) return img.color_type == IMG_COLOR_INDEXED;
  return is_true_colour(visual) && img.color_type == IMG_COLOR_MASKS && img.red == visual->red_mask &&
         img.grn == visual->green_mask && img.blu == visual->blue_mask;
}

/* An X image and the pixel block it owns when the record's could not be
 * shared. */
struct ShownImage {
  XImage ximage{};
  bool ok = false;
  ~ShownImage() {
    if (converted) std::free(ximage.data);
  }
  bool converted = false;
};

bool make_shown(IMG_report* img, ShownImage* shown) {
  shown->ok = gset_ximage_params(img, &shown->ximage) == 1;
  shown->converted = shown->ok && shown->ximage.data != reinterpret_cast<char*>(img->data);
  return shown->ok;
}

/* The image's place in the viewport: from the left or top edge for
 * offsets of 0 or more, from the right or bottom edge for negative ones. */
XPoint place_of(const IMG_report& img, int x, int y, XRectangle* vp) {
  gget_xviewport(vp);
  const int px = x >= 0 ? vp->x + x : vp->x + vp->width + x - img.width;
  const int py = y >= 0 ? vp->y + y : vp->y + vp->height + y - img.height;
  return XPoint{static_cast<short>(std::clamp(px, -32768, 32767)), static_cast<short>(std::clamp(py, -32768, 32767))};
}

void put_shown(ShownImage* shown, const IMG_report& img, XPoint at, const XRectangle& vp) {
  XPutImage(gget_display(), gget_draw_window(), gget_root_gc(), &shown->ximage, 0, 0, at.x, at.y,
            static_cast<unsigned int>(std::min(img.width, static_cast<int>(vp.width))),
            static_cast<unsigned int>(std::min(img.height, static_cast<int>(vp.height))));
}

bool have_target() { return gget_display() && gget_draw_window() && gget_root_gc(); }

/* The pixel of a background text: empty the window's background, else a
 * colour of the colour table or an X colour name. */
bool background_pixel(const char* text, unsigned long* pixel) {
  if (!text || !*text) {
    *pixel = static_cast<unsigned long>(gget_color_ind(-1));
    return true;
  }
  const int ind = CLR_get_ind(text);
  if (ind >= 0) {
    *pixel = static_cast<unsigned long>(gget_color_ind(ind));
    return true;
  }
  XColor colour{};
  Display* d = gget_display();
  if (!XParseColor(d, gget_colormap(), text, &colour) || !XAllocColor(d, gget_colormap(), &colour)) return false;
  *pixel = colour.pixel;
  return true;
}

/* Whether a colour is within 0.01 of a pixel's: of its colour-table entry,
 * or, for a cell allocated outside the table (an X colour name), of the
 * cell's colour on the server. */
bool near_pixel(int pixel, const IMG_color& c) {
  if (gis_color_near(pixel, c.r, c.g, c.b, 1)) return true;
  Display* d = gget_display();
  if (!d || !gget_colormap()) return false;
  XColor cell{};
  cell.pixel = static_cast<unsigned long>(pixel);
  const int print = gset_xerror_print(0);
  XQueryColor(d, gget_colormap(), &cell);
  XSync(d, False);
  gset_xerror_print(print);
  auto close = [](unsigned short x, float want) { return std::fabs(static_cast<float>(x) / 65535.0f - want) < 0.01f; };
  return close(cell.red, c.r) && close(cell.green, c.g) && close(cell.blue, c.b);
}

} // namespace

int gsetup_image_colors(IMG_report* image, int trans) {
  if (!image || image->num_colors <= 0 || !image->colors || !image->data) return 0;
  const int depth = gget_win_depth();
  if (depth != 8 && depth != 4 && depth != 1) return 0;
  /* Only pixels stored as the window stores them are given cells. */
  if (IMG_storage_bits(image) != depth) return 0;
  const int per_byte = 8 / depth;
  const long per_row = static_cast<long>(image->bytes_line) * per_byte;
  std::array<int, MAX_CELL_MAP> map;
  map.fill(-1);
  const unsigned int value_mask = (1u << depth) - 1;
  for (int row = 0; row < image->height; ++row) {
    unsigned char* line = image->data + static_cast<long>(row) * image->bytes_line;
    for (long k = 0; k < per_row; ++k) {
      unsigned char& byte = line[k / per_byte];
      const int slot = static_cast<int>(k % per_byte);
      unsigned int value = 0;
      if (depth == 8)
        value = byte;
      else if (depth == 4)
        value = slot == 0 ? byte >> 4 : byte & 0x0F;
      else
        value = (byte >> slot) & 1u;
      if (value >= static_cast<unsigned int>(image->num_colors)) value = 0;
      int& cell = map[value];
      if (cell < 0) {
        const IMG_color& c = image->colors[value];
        cell = trans >= 0 && near_pixel(trans, c) ? trans : galloc_colr(-1, c.r, c.g, c.b);
        if (cell < 0) cell = 0;
      }
      const unsigned int pixel = static_cast<unsigned int>(cell) & value_mask;
      if (depth == 8)
        byte = static_cast<unsigned char>(pixel);
      else if (depth == 4)
        byte = static_cast<unsigned char>(slot == 0 ? (byte & 0x0F) | pixel << 4 : (byte & 0xF0) | pixel);
      else
        byte = static_cast<unsigned char>((byte & ~(1u << slot)) | pixel << slot);
    }
  }
  return 0;
}

int gset_ximage_params(IMG_report* img, XImage* ximg) {
  if (!img || !ximg || !img->data || img->width <= 0 || img->height <= 0) return 0;
  const int depth = gget_win_depth();
  const Visual* visual = gget_visual();
  *ximg = XImage{};
  ximg->width = img->width;
  ximg->height = img->height;
  ximg->xoffset = 0;
  ximg->format = ZPixmap;
  ximg->bitmap_unit = BITS_UNIT;
  ximg->bitmap_pad = BITS_UNIT;
  ximg->depth = depth;
  if (visual) {
    ximg->red_mask = visual->red_mask;
    ximg->green_mask = visual->green_mask;
    ximg->blue_mask = visual->blue_mask;
  }
  if (shares_pixels(*img, depth, visual)) {
    /* The record's order: the first 4-bit pixel high, the first bit lowest. */
    ximg->byte_order = img->bits_pixel == 4 || img->byte_order ? MSBFirst : LSBFirst;
    ximg->bitmap_bit_order = IMG_storage_bits(img) == 1 ? LSBFirst : (img->byte_order ? MSBFirst : LSBFirst);
    ximg->bits_per_pixel = IMG_storage_bits(img);
    ximg->bytes_per_line = img->bytes_line;
    ximg->data = reinterpret_cast<char*>(img->data);
    constexpr int unit_bytes = BITS_UNIT / 8;
    if (img->bytes_line % unit_bytes != 0) {
      /* X takes rows padded to whole units; a row as long as its pixels
       * (a PNG or GIF 30 pixels wide) is copied into padded rows. */
      const std::size_t from = static_cast<std::size_t>(img->bytes_line);
      const std::size_t line = (from + unit_bytes - 1) / unit_bytes * unit_bytes;
      auto* block = static_cast<char*>(std::calloc(line * static_cast<std::size_t>(img->height), 1));
      if (!block) return 0;
      for (int row = 0; row < img->height; ++row)
        std::memcpy(block + line * static_cast<std::size_t>(row), img->data + from * static_cast<std::size_t>(row),
                    from);
      ximg->bytes_per_line = static_cast<int>(line);
      ximg->data = block;
    }
    if (XInitImage(ximg)) return 1;
    if (ximg->data != reinterpret_cast<char*>(img->data)) std::free(ximg->data);
    ximg->data = nullptr;
    return 0;
  }
  if (!is_true_colour(visual) || IMG_check(img, "gset_ximage_params") != 1) {
    MESS_print(M_warn, "gset_ximage_params: a %d-bit image cannot be shown on this %d-bit window\n", img->depth, depth);
    return 0;
  }
  ximg->byte_order = ImageByteOrder(gget_display());
  ximg->bitmap_bit_order = BitmapBitOrder(gget_display());
  ximg->bits_per_pixel = storage_bits(depth);
  ximg->bytes_per_line = (img->width * ximg->bits_per_pixel + BITS_UNIT - 1) / BITS_UNIT * (BITS_UNIT / 8);
  const std::size_t bytes = static_cast<std::size_t>(ximg->bytes_per_line) * static_cast<std::size_t>(img->height);
  ximg->data = static_cast<char*>(std::calloc(bytes, 1));
  if (!ximg->data) return 0;
  if (!XInitImage(ximg)) {
    std::free(ximg->data);
    ximg->data = nullptr;
    return 0;
  }
  const Field r = field_of(visual->red_mask), g = field_of(visual->green_mask), b = field_of(visual->blue_mask);
  MESS_print(M_debug_c, "mask: %d-%d-%lu %d-%d-%lu %d-%d-%lu\n", r.shift, r.width, r.max, g.shift, g.width, g.max,
             b.shift, b.width, b.max);
  auto level = [](const Field& f, float c) {
    return static_cast<unsigned long>(static_cast<float>(f.max) * std::clamp(c, 0.0f, 1.0f)) << f.shift;
  };
  for (int row = 0; row < img->height; ++row)
    for (int col = 0; col < img->width; ++col) {
      const IMG_color c = colour_of(*img, IMG_pixel(img, row, col));
      XPutPixel(ximg, col, row, level(r, c.r) | level(g, c.g) | level(b, c.b));
    }
  trace_ximage(*ximg);
  return 1;
}

int gload_image(IMG_report* image, int x, int y) {
  if (!image) return -1;
  gsetup_image_colors(image, -1);
  if (gtype_is_WIN_PIX()) {
    if (!have_target()) return -1;
    ShownImage shown;
    if (!make_shown(image, &shown)) return -1;
    XRectangle vp{};
    const XPoint at = place_of(*image, x, y, &vp);
    put_shown(&shown, *image, at, vp);
    gsync();
  } else if (gtype_is_PS()) {
    gps_image(image, x, y);
  }
  return 0;
}

int gload_image_file(const char* filename, int x, int y) {
  if (!have_target()) return 0;
  IMG_report image;
  IMG_init(&image);
  if (!gread_image_file(filename, &image)) {
    IMG_free(&image);
    return 0;
  }
  /* A file read but not shown is no success. */
  const int shown = gload_image(&image, x, y);
  IMG_free(&image);
  return shown == 0 ? 1 : 0;
}

int goverlay_image(IMG_report* image, const char* background, int x, int y) {
  if (!image || !have_target()) return 0;
  Display* d = gget_display();
  unsigned long back = 0;
  if (!background_pixel(background, &back)) {
    MESS_print(M_warn, "goverlay_image: unknown background colour: %s\n", background);
    return -1;
  }
  gsetup_image_colors(image, static_cast<int>(back));
  ShownImage shown;
  if (!make_shown(image, &shown)) return 0;

  /* Pixels of the background colour are left out through a clip mask; on
   * a true-colour window only the colour bits are compared. */
  const Visual* visual = gget_visual();
  const unsigned long colour_bits =
      is_true_colour(visual) ? visual->red_mask | visual->green_mask | visual->blue_mask : ~0UL;
  const int row_bytes = (image->width + 7) / 8;
  std::vector<char> mask(static_cast<std::size_t>(row_bytes) * static_cast<std::size_t>(image->height), 0);
  for (int row = 0; row < image->height; ++row)
    for (int col = 0; col < image->width; ++col)
      if ((XGetPixel(&shown.ximage, col, row) & colour_bits) != (back & colour_bits))
        mask[static_cast<std::size_t>(row) * static_cast<std::size_t>(row_bytes) + static_cast<std::size_t>(col / 8)] |=
            static_cast<char>(1 << (col % 8));
  const Pixmap bitmap =
      XCreateBitmapFromData(d, gget_root_window(), mask.data(), static_cast<unsigned int>(image->width),
                            static_cast<unsigned int>(image->height));
  XRectangle vp{};
  const XPoint at = place_of(*image, x, y, &vp);
  GC gc = gget_root_gc();
  XSetClipMask(d, gc, bitmap);
  XSetClipOrigin(d, gc, at.x, at.y);
  put_shown(&shown, *image, at, vp);
  XSetClipMask(d, gc, None);
  XSetClipOrigin(d, gc, 0, 0);
  if (bitmap) XFreePixmap(d, bitmap);
  gsync();
  return 0;
}

int goverlay_image_file(const char* filename, const char* background, int x, int y) {
  if (!have_target()) return 0;
  IMG_report image;
  IMG_init(&image);
  if (gread_image_file(filename, &image)) goverlay_image(&image, background, x, y);
  IMG_free(&image);
  return 0;
}

int gread_image_file(const char* filename, IMG_report* image) { return IMG_read(filename, image, IMG_READ_ALL); }

int gquery_image_file(const char* filename, IMG_report* image) { return IMG_read(filename, image, IMG_READ_HEADER); }

int gset_save_image_type(int val) {
  state.output_type = val;
  return 0;
}

int gget_save_image_type() { return state.output_type; }

int gsave_image_file(const char* filename) {
  return glend_image(
      [](IMG_report* image, void* name) {
        const char* file = static_cast<const char*>(name);
        if (state.output_type == IMG_SAVE_GIF) return GIF_write(file, image);
        if (state.output_type == IMG_SAVE_PNG) return PNG_write(file, image);
        return XWD_write(file, image);
      },
      const_cast<char*>(filename));
}
