/*
 * A real X server for the window tests: Xvfb on a display number that it
 * finds free itself, with one screen of a given size and depth, stopped when
 * the object goes, also when a test fails. Should the test process die
 * first, the kernel stops the server (it is the child's parent-death
 * signal), so no X server outlives a test run.
 *
 * Beside it: reading a window or pixmap back as RGB pixels through a
 * connection of its own, and shell commands (xdotool, xprop) run against the
 * server, in the foreground or in the background.
 */
#ifndef KEZ_X_SERVER_H
#define KEZ_X_SERVER_H

#include <sys/types.h>

#include <array>
#include <string>
#include <vector>

namespace kez_test {

/* An RGB picture, row 0 at the top as the X server counts rows. */
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;

  /* The pixel at (x, y); {-1, -1, -1} outside. */
  std::array<int, 3> at(int x, int y) const;
};

class XServer {
 public:
  /* options: further Xvfb arguments ("-extension", "MIT-SHM" leaves that
   * extension out). */
  XServer(int width, int height, int depth, const std::vector<std::string>& options = {});
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool ok() const { return !display_.empty(); }
  /* The display name, ":N". */
  const std::string& display() const { return display_; }
  /* Ends the server now (the kernel's lost-connection path). */
  void stop();
  /* Runs a shell command with DISPLAY set to this server; its standard
   * output, and its exit status in *status. */
  std::string run(const std::string& command, int* status = nullptr) const;

 private:
  pid_t pid_ = -1;
  std::string display_;
};

/* A shell command run over and over in the background (with a pause between
 * runs) until the object goes: keys sent to a window that must first reach
 * its hold loop. */
class Repeater {
 public:
  Repeater(const XServer& server, const std::string& command, double pause_seconds, double first_delay = 0);
  ~Repeater();
  Repeater(const Repeater&) = delete;
  Repeater& operator=(const Repeater&) = delete;

 private:
  pid_t pid_ = -1;
};

/* Reads a drawable of the server: a window through its own colormap, a
 * pixmap through the given colormap (0: the screen's default). */
bool read_drawable(const std::string& display, unsigned long drawable, RgbImage* image, unsigned long colormap = 0);

/* The first top-level window whose name is exactly `name`; 0 when none. */
unsigned long find_window(const std::string& display, const std::string& name);

} // namespace kez_test

#endif
