#include "x_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "kez_test.h"

namespace kez_test {

namespace {

/* In a forked child: the parent's death ends this process too. */
void die_with_parent(pid_t parent) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);
}

void quiet_stdio() {
  int null = ::open("/dev/null", O_RDWR);
  if (null < 0) return;
  ::dup2(null, 0);
  ::dup2(null, 1);
  ::dup2(null, 2);
  ::close(null);
}

/* Sends a child SIGTERM and reaps it, with SIGKILL when it does not end
 * within two seconds. */
void end_child(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

/* The component (0 to 255) of a pixel under a true-colour mask. */
int channel(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const unsigned long max = mask >> shift;
  return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}

} // namespace

std::array<int, 3> RgbImage::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
  const std::size_t i =
      (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

XServer::XServer(int width, int height, int depth, const std::vector<std::string>& options) {
  int fds[2];
  if (::pipe(fds) != 0) return;
  const pid_t parent = ::getpid();
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  std::fflush(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    die_with_parent(parent);
    ::close(fds[0]);
    quiet_stdio();
    const std::string fd = std::to_string(fds[1]);
    std::vector<const char*> argv = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
                                     screen.c_str(), "-nolisten",  "tcp",      "-noreset"};
    for (const std::string& o : options) argv.push_back(o.c_str());
    argv.push_back(nullptr);
    ::execvp("Xvfb", const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  ::close(fds[1]);
  if (pid_ < 0) {
    ::close(fds[0]);
    return;
  }
  /* The server writes its display number once it accepts connections. */
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(kPatience);
  while (std::chrono::steady_clock::now() < until) {
    if (::poll(&p, 1, 100) <= 0) continue;
    char c = 0;
    const ssize_t n = ::read(fds[0], &c, 1);
    if (n <= 0 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  if (number.empty()) {
    stop();
    return;
  }
  display_ = ":" + number;
}

XServer::~XServer() { stop(); }

void XServer::stop() {
  end_child(pid_);
  pid_ = -1;
}

std::string XServer::run(const std::string& command, int* status) const {
  std::string out;
  const int s = run_command("DISPLAY=" + display_ + " " + command + " 2>&1", &out);
  if (status) *status = s;
  return out;
}

Repeater::Repeater(const XServer& server, const std::string& command, double pause_seconds, double first_delay) {
  const pid_t parent = ::getpid();
  /* The loop ends on SIGTERM only between commands (the shell runs a trap
   * once its foreground command is done): an xdotool killed between a key's
   * press and its release would leave the key down, and the server's
   * auto-repeat would then type it into the next test's window. The pauses
   * are waited for in the background, so that the trap ends them at once. */
  const std::string loop = "trap 'exit 0' TERM; sleep " + std::to_string(first_delay) + " & wait $!; while :; do " +
                           command + "; sleep " + std::to_string(pause_seconds) + " & wait $!; done";
  std::fflush(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setpgid(0, 0);
    die_with_parent(parent);
    quiet_stdio();
    ::setenv("DISPLAY", server.display().c_str(), 1);
    ::execl("/bin/sh", "sh", "-c", loop.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ > 0) ::setpgid(pid_, pid_);
}

Repeater::~Repeater() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  /* Not reaped yet: the group's number stays ours until the shell is. */
  wait_until([this] {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_;
  });
  /* What is left: the pause's sleep, or a command that never ended. */
  ::kill(-pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

bool read_drawable(const std::string& display, unsigned long drawable, RgbImage* image, unsigned long colormap) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  bool ok = false;
  Window root = 0;
  int x = 0, y = 0;
  unsigned int w = 0, h = 0, border = 0, depth = 0;
  const int screen = DefaultScreen(d);
  Visual* visual = DefaultVisual(d, screen);
  Colormap cmap = colormap ? colormap : DefaultColormap(d, screen);
  XWindowAttributes attrs{};
  int (*old)(Display*, XErrorEvent*) = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  if (XGetGeometry(d, drawable, &root, &x, &y, &w, &h, &border, &depth)) {
    if (XGetWindowAttributes(d, drawable, &attrs)) {
      visual = attrs.visual;
      if (!colormap && attrs.colormap) cmap = attrs.colormap;
    }
    XImage* img = XGetImage(d, drawable, 0, 0, w, h, AllPlanes, ZPixmap);
    if (img) {
      image->width = static_cast<int>(w);
      image->height = static_cast<int>(h);
      image->rgb.assign(static_cast<std::size_t>(w) * h * 3, 0);
      std::vector<XColor> cells;
      const bool true_colour = visual->c_class == TrueColor || visual->c_class == DirectColor;
      if (!true_colour) {
        cells.resize(static_cast<std::size_t>(visual->map_entries));
        for (std::size_t i = 0; i < cells.size(); ++i) cells[i].pixel = i;
        XQueryColors(d, cmap, cells.data(), static_cast<int>(cells.size()));
      }
      for (unsigned int row = 0; row < h; ++row)
        for (unsigned int col = 0; col < w; ++col) {
          const unsigned long pixel = XGetPixel(img, static_cast<int>(col), static_cast<int>(row));
          unsigned char* out = &image->rgb[(static_cast<std::size_t>(row) * w + col) * 3];
          if (true_colour) {
            out[0] = static_cast<unsigned char>(channel(pixel, visual->red_mask));
            out[1] = static_cast<unsigned char>(channel(pixel, visual->green_mask));
            out[2] = static_cast<unsigned char>(channel(pixel, visual->blue_mask));
          } else if (pixel < cells.size()) {
            out[0] = static_cast<unsigned char>(cells[pixel].red >> 8);
            out[1] = static_cast<unsigned char>(cells[pixel].green >> 8);
            out[2] = static_cast<unsigned char>(cells[pixel].blue >> 8);
          }
        }
      XDestroyImage(img);
      ok = true;
    }
  }
  XSync(d, False);
  XSetErrorHandler(old);
  XCloseDisplay(d);
  return ok;
}

unsigned long find_window(const std::string& display, const std::string& name) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return 0;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int n = 0;
  unsigned long found = 0;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
    for (unsigned int i = 0; i < n && !found; ++i) {
      char* title = nullptr;
      if (XFetchName(d, children[i], &title) && title) {
        if (name == title) found = children[i];
        XFree(title);
      }
    }
    if (children) XFree(children);
  }
  XCloseDisplay(d);
  return found;
}

} // namespace kez_test
