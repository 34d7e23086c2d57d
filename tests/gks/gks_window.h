/*
 * Helpers of the window tests: the kernel on an X server of the test's own
 * (kez_test::XServer), the picture of its window read back through another
 * connection, and a test page that the window and PostScript both draw, so
 * that sampled pixels of the two can be compared.
 *
 * Page geometry: with the default 640 by 512 window the unit square of NDC
 * fills 511 by 511 pixels from the top left corner (pixel x = 511 u, y =
 * 511 (1 - v)); on a portrait EPS page it fills 575 by 575 points from the
 * lower left corner (x = 575 u, y = 575 v).
 */
#ifndef KEZ_GKS_WINDOW_H
#define KEZ_GKS_WINDOW_H

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gks_scenario.h"
#include "kez_test.h"
#include "kezgks_x11.h"
#include "x_server.h"

namespace gks_test {

/* The kernel on the own window of the server (connection item 1). */
inline int open_window(const kez_test::XServer& x, const std::string& options = "") {
  gopen_gks(nullptr, 0);
  return gopen_ws(1, (x.display() + options).c_str(), GWS_WINDOW);
}

/* The window as the X server shows it, after the backing pixmap was copied
 * to it. */
inline kez_test::RgbImage window_picture(const kez_test::XServer& x) {
  gupdate_window();
  kez_test::RgbImage image;
  kez_test::read_drawable(x.display(), gget_root_window(), &image);
  return image;
}

inline bool near_rgb(const std::array<int, 3>& got, const std::array<int, 3>& want, int tol = 4) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(got[static_cast<size_t>(i)] - want[static_cast<size_t>(i)]) > tol) return false;
  return true;
}

inline std::string rgb_text(const std::array<int, 3>& c) {
  return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
}

/* An RGB picture as a binary PPM file, and back. */
inline void write_ppm(const std::string& path, const kez_test::RgbImage& image) {
  std::string text = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
  text.append(reinterpret_cast<const char*>(image.rgb.data()), image.rgb.size());
  kez_test::write_file(path, text);
}

inline bool read_ppm(const std::string& path, kez_test::RgbImage* image) {
  const std::string data = kez_test::read_file(path);
  int w = 0, h = 0, n = 0;
  if (std::sscanf(data.c_str(), "P6\n%d %d\n255\n%n", &w, &h, &n) < 2 || n <= 0) return false;
  const size_t need = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
  if (data.size() < static_cast<size_t>(n) + need) return false;
  image->width = w;
  image->height = h;
  image->rgb.assign(data.begin() + n, data.begin() + n + static_cast<long>(need));
  return true;
}

/* The colours of the test page: index, components 0 to 1. */
struct PageColour {
  int ind;
  Gcolr_rep rep;
};

inline constexpr PageColour page_colours[] = {
    {1, {0, 0, 0}}, {2, {1, 0, 0}}, {3, {0, 1, 0}}, {4, {0, 0, 1}},
    {5, {1, 1, 0}}, {6, {0, 1, 1}}, {7, {1, 0, 1}}, {8, {0.5f, 0.5f, 0.5f}},
};

/* The test page, in world units 0 to 100 on the whole unit square:
 * - solid squares of colours 2 to 8 along the top (y 80 to 95);
 * - wide solid lines in red, green and blue at y 70, 64 and 58;
 * - a red square with its middle cleared by gclear_region (y 30 to 50);
 * - stroke text, two markers and (on the window only) server text;
 * - a green area larger than transformation 2, whose viewport is the lower
 *   right quarter: only the part inside the quarter is drawn. */
inline void draw_test_page() {
  for (const PageColour& c : page_colours) gset_colr_rep(1, c.ind, &c.rep);
  use_tran(1, lim(0, 100, 0, 100), lim(0, 1, 0, 1));
  for (int i = 0; i < 7; ++i) {
    const float x0 = 5.0f + 12.0f * static_cast<float>(i);
    Gpt square[4] = {{x0, 80}, {x0 + 10, 80}, {x0 + 10, 95}, {x0, 95}};
    gset_fill_colr_ind(2 + i);
    gfill_area(4, square);
  }
  gset_linewidth(9);
  const float line_y[3] = {70, 64, 58};
  for (int i = 0; i < 3; ++i) {
    gset_line_colr_ind(2 + i);
    Gpt line[2] = {{5, line_y[i]}, {45, line_y[i]}};
    gpolyline(2, line);
  }
  Gpt block[4] = {{5, 30}, {45, 30}, {45, 50}, {5, 50}};
  gset_fill_colr_ind(2);
  gfill_area(4, block);
  Glim hole = lim(15, 35, 35, 45);
  gclear_region(&hole);

  /* Stroke text in blue, markers in cyan and server text in magenta, in the
   * free part of the right half. */
  gset_text_colr_ind(4);
  gset_char_ht(8);
  gset_text_width(2);
  Gpt at{55, 62};
  gtext(&at, "KEZ");
  gset_marker_colr_ind(6);
  gset_marker_size(2);
  gset_marker_width(2);
  for (int type : {2, 6}) {
    gset_marker_type(type);
    Gpt centre{type == 2 ? 80.0f : 90.0f, 70};
    gpolymarker(1, &centre);
  }
  const Gfontprec server{2, GSTRING_PREC};
  gset_fontprec(&server);
  gset_text_colr_ind(7);
  Gpt low{55, 53};
  gtext(&low, "Server");

  use_tran(2, lim(0, 10, 0, 10), lim(0.5f, 1, 0, 0.5f));
  Gpt beyond[4] = {{-10, -10}, {20, -10}, {20, 20}, {-10, 20}};
  gset_fill_colr_ind(3);
  gfill_area(4, beyond);
}

/* The fonts of the test page: a stroke font and a server font. */
inline void page_fonts() {
  RES_put("file_path", KEZ_DATA_DIR);
  RES_put("font_list", "modern.fnt,#fixed");
}

/* An NDC box (u0 < u1, v0 < v1). */
struct Box {
  float u0 = 2, v0 = 2, u1 = -1, v1 = -1;
  bool empty() const { return u0 > u1; }
};

/* The box of the pixels near a colour inside a search box, on a picture
 * read through at(u, v) sampled on a grid of n by n. */
template <class At>
Box colour_box(At at, int n, const Box& search, const std::array<int, 3>& rgb) {
  Box box;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const float u = static_cast<float>(i) / static_cast<float>(n), v = static_cast<float>(j) / static_cast<float>(n);
      if (u < search.u0 || u > search.u1 || v < search.v0 || v > search.v1) continue;
      if (!near_rgb(at(u, v), rgb, 40)) continue;
      box.u0 = std::min(box.u0, u);
      box.u1 = std::max(box.u1, u);
      box.v0 = std::min(box.v0, v);
      box.v1 = std::max(box.v1, v);
    }
  return box;
}

/* Sample points of the test page in NDC with the colour expected there. */
struct PageSample {
  float u, v;
  std::array<int, 3> rgb;
  const char* what;
};

inline constexpr std::array<int, 3> WHITE{255, 255, 255};

inline const PageSample page_samples[] = {
    {0.10f, 0.875f, {255, 0, 0}, "red square"},
    {0.22f, 0.875f, {0, 255, 0}, "green square"},
    {0.34f, 0.875f, {0, 0, 255}, "blue square"},
    {0.46f, 0.875f, {255, 255, 0}, "yellow square"},
    {0.58f, 0.875f, {0, 255, 255}, "cyan square"},
    {0.70f, 0.875f, {255, 0, 255}, "magenta square"},
    {0.82f, 0.875f, {127, 127, 127}, "grey square"},
    {0.16f, 0.875f, WHITE, "between two squares"},
    {0.25f, 0.70f, {255, 0, 0}, "red wide line"},
    {0.25f, 0.64f, {0, 255, 0}, "green wide line"},
    {0.25f, 0.58f, {0, 0, 255}, "blue wide line"},
    {0.25f, 0.67f, WHITE, "between two wide lines"},
    {0.08f, 0.40f, {255, 0, 0}, "red block left of the cleared hole"},
    {0.25f, 0.40f, WHITE, "the cleared hole"},
    {0.42f, 0.40f, {255, 0, 0}, "red block right of the cleared hole"},
    {0.75f, 0.25f, {0, 255, 0}, "green inside the clip"},
    {0.45f, 0.25f, WHITE, "left of the clip"},
    {0.75f, 0.55f, WHITE, "above the clip"},
};

/* A stand-in for the other program of device 6: a process with its own
 * connection that owns a 300 by 200 window and a blue pixmap of that size,
 * names the window, writes its window-id file (five-number form) when given
 * one, and answers the two client messages: 2 (add a frame) shows the busy
 * mark "+" for `busy` seconds while it keeps the picture so far as a frame
 * of its own and makes its pixmap blue again, 9 (end of the wait) ends it.
 * Every message is noted in the log file. */
class ForeignWindow {
 public:
  static constexpr int WIDTH = 300;
  static constexpr int HEIGHT = 200;

  ForeignWindow(const kez_test::XServer& x, const std::string& log, const std::string& name, double busy = 0.5,
                const std::string& id_file = "") {
    int fds[2];
    if (::pipe(fds) != 0) return;
    const pid_t parent = ::getpid();
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(1);
      ::close(fds[0]);
      serve(x.display(), fds[1], log, name, busy, id_file);
      ::_exit(0);
    }
    ::close(fds[1]);
    char ids[64] = "";
    ssize_t n = pid_ > 0 ? ::read(fds[0], ids, sizeof ids - 1) : -1;
    ::close(fds[0]);
    if (n > 0) {
      ids[n] = '\0';
      std::sscanf(ids, "%lu %lu", &window, &pixmap);
    }
  }
  ~ForeignWindow() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  ForeignWindow(const ForeignWindow&) = delete;
  ForeignWindow& operator=(const ForeignWindow&) = delete;
  bool ok() const { return window && pixmap; }

  unsigned long window = 0;
  unsigned long pixmap = 0;

 private:
  static void note(const std::string& log, const std::string& line) {
    if (FILE* fp = std::fopen(log.c_str(), "a")) {
      std::fputs(line.c_str(), fp);
      std::fclose(fp);
    }
  }

  static void serve(const std::string& display, int ready, const std::string& log, const std::string& name, double busy,
                    const std::string& id_file) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return;
    const int screen = DefaultScreen(d);
    const Window win = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, WIDTH, HEIGHT, 0, WhitePixel(d, screen),
                                           WhitePixel(d, screen));
    const Pixmap pix = XCreatePixmap(d, win, WIDTH, HEIGHT, static_cast<unsigned int>(DefaultDepth(d, screen)));
    XColor blue{};
    blue.blue = 0xFFFF;
    blue.flags = DoRed | DoGreen | DoBlue;
    XAllocColor(d, DefaultColormap(d, screen), &blue);
    GC gc = XCreateGC(d, pix, 0, nullptr);
    XSetForeground(d, gc, blue.pixel);
    XFillRectangle(d, pix, gc, 0, 0, WIDTH, HEIGHT);
    XStoreName(d, win, name.c_str());
    XMapWindow(d, win);
    XSync(d, False);
    if (!id_file.empty())
      kez_test::write_file(id_file, "+" + std::to_string(win) + ":" + std::to_string(pix) + ":" +
                                        std::to_string(WIDTH) + "x" + std::to_string(HEIGHT) + "\n");
    const std::string ids = std::to_string(win) + " " + std::to_string(pix) + "\n";
    if (::write(ready, ids.c_str(), ids.size()) < 0) return;
    ::close(ready);
    for (;;) {
      XEvent event;
      XNextEvent(d, &event);
      if (event.type != ClientMessage) continue;
      const int code = event.xclient.data.b[0];
      note(log, "got " + std::to_string(code) + "\n");
      if (code == 9) return;
      if (code != 2) continue;
      const std::string busy_name = name + " +";
      XStoreName(d, win, busy_name.c_str());
      const Pixmap frame = XCreatePixmap(d, win, WIDTH, HEIGHT, static_cast<unsigned int>(DefaultDepth(d, screen)));
      XCopyArea(d, pix, frame, gc, 0, 0, WIDTH, HEIGHT, 0, 0);
      XFillRectangle(d, pix, gc, 0, 0, WIDTH, HEIGHT);
      XSync(d, False);
      ::usleep(static_cast<useconds_t>(busy * 1e6));
      XStoreName(d, win, name.c_str());
      XSync(d, False);
      note(log, "ready\n");
    }
  }

  pid_t pid_ = -1;
};

} // namespace gks_test

#endif
