#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <cmath>
#include <string>

#include "gks_scenario.h"
#include "gks_window.h"
#include "kez_test.h"

namespace {

using gks_test::Checks;
using gks_test::near_rgb;
using kez_test::read_file;
using kez_test::RgbImage;
using kez_test::run_child;
using kez_test::TempDir;
using kez_test::XServer;

void print_event(int kind, char* text, float x, float y) {
  std::printf("event %d %s %.0f %.0f\n", kind, text, static_cast<double>(x), static_cast<double>(y));
  std::fflush(stdout);
}

/* The callback's lines without positions and without those of modifier
 * keys pressed alone (they have no text of their own). */
std::string event_texts(const std::string& out) {
  std::string texts;
  size_t at = 0;
  while ((at = out.find("event ", at)) != std::string::npos) {
    const size_t end = out.find('\n', at);
    const std::string line = out.substr(at, end - at);
    at = end;
    char text[100] = "";
    int kind = 0;
    if (std::sscanf(line.c_str(), "event %d %99s", &kind, text) < 2 || text[0] == '-' ||
        line.rfind("event 2  ", 0) == 0)
      continue;
    texts += std::to_string(kind) + " " + text + "\n";
  }
  return texts;
}

/* The title tells the key sender that the hold has begun. */
int mark_holding() { return gset_win_title_extra("holding"); }

int open_unit_window(const XServer& x, const char* title) {
  setenv("kezinverse", "1", 1);
  gset_win_title(title);
  if (gks_test::open_window(x) != 0) return 1;
  gks_test::use_tran(1, gks_test::lim(0, 1, 0, 1), gks_test::lim(0, 1, 0, 1));
  return 0;
}

TEST(WindowEvents, KeysAndButtonsRunTheirBindingsAndReachTheCallbackInOrder) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  kez_test::Repeater keys(x,
                          "xdotool search --name '^Bindings holding$' windowfocus mousemove --window %1 100 100 "
                          "key alt+u alt+z alt+u x keydown alt keydown shift keydown ctrl click 3 keyup ctrl "
                          "keyup shift keyup alt click 4 click 5 key alt+Return",
                          1.0);
  auto r = run_child([&] {
    gset_mouse_callback(print_event);
    gset_refresh_callback(1, mark_holding);
    if (open_unit_window(x, "Bindings") != 0) return 1;
    ghold(1);
    std::printf("held, zoom %d\n", gget_zoom());
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  /* Alt-u unmagnified reaches the callback; after Alt-z it unmagnifies
   * and stays silent. The wheel reports nothing. */
  EXPECT_EQ(event_texts(r.out), "2 u-Alt\n2 z-Alt\n2 x\n3 B3-P-Alt-Shft-Cntrl\n3 B3-R-Alt-Shft-Cntrl\n2 Ret-Alt\n")
      << r.out;
  EXPECT_NE(r.out.find("held, zoom 1\n"), std::string::npos) << r.out;
}

TEST(WindowEvents, TenAltZReachTheLimitAndTheEleventhIsReported) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  kez_test::Repeater keys(x,
                          "xdotool search --name '^Zooming holding$' windowfocus mousemove --window %1 200 150 "
                          "key --delay 50 alt+z alt+z alt+z alt+z alt+z alt+z alt+z alt+z alt+z alt+z alt+z "
                          "key Return",
                          1.0);
  auto r = run_child([&] {
    gset_mouse_callback(print_event);
    gset_refresh_callback(1, mark_holding);
    if (open_unit_window(x, "Zooming") != 0) return 1;
    ghold(1);
    std::printf("held, zoom %d\n", gget_zoom());
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("held, zoom 1024\n"), std::string::npos) << r.out;
  EXPECT_EQ(gks_test::count(r.out + r.err, "gzoom: Cannot zoom past 1024x\n"), 1) << r.out << r.err;
  EXPECT_EQ(gks_test::count(event_texts(r.out), "2 z-Alt\n"), 11) << r.out;
}

TEST(WindowEvents, AltGAndAltXWriteImagesIntoTheImagePath) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  kez_test::Repeater keys(x, "xdotool search --name '^Dump Me holding$' windowfocus key alt+g alt+x alt+m Return", 1.0);
  auto r = run_child([&] {
    MESS_set(1, M_mess);
    RES_put("image_path", dir.path().c_str());
    setenv("METAOUT", dir.file("plot.meta").c_str(), 1);
    gset_mouse_callback(print_event);
    gset_refresh_callback(1, mark_holding);
    if (open_unit_window(x, "Dump_Me") != 0) return 1;
    ghold(1);
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(event_texts(r.out), "2 g-Alt\n2 x-Alt\n2 m-Alt\n2 Ret\n") << r.out;
  for (const char* name : {"Dump_.gif", "Dump_.xwd"}) {
    EXPECT_NE(r.out.find(std::string("Created ") + (name[6] == 'g' ? "GIF" : "XWD") + " file: " + dir.file(name)),
              std::string::npos)
        << r.out;
    std::string size;
    EXPECT_EQ(kez_test::run_command("identify -format '%wx%h' " + dir.file(name), &size), 0) << name;
    EXPECT_EQ(size, "640x512") << name;
  }
  /* The window records no drawing: Alt-m says so and writes no empty file. */
  EXPECT_NE(r.err.find("gobj_print_meta: No redraw data to make metafile from; nothing written"), std::string::npos)
      << r.err;
  EXPECT_NE(kez_test::run_command("test -e " + dir.file("plot.meta")), 0);
}

TEST(WindowEvents, LoopingFramesAreWrittenOneFileEach) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  auto r = run_child([&] {
    Checks check;
    MESS_set(1, M_mess);
    RES_put("image_path", dir.path().c_str());
    if (open_unit_window(x, "Loop") != 0) return 1;
    for (int i = 0; i < 3; ++i) gcreate_frame(-1);
    gset_looping(1);
    /* Alt-g from another client, served as the hold would. */
    gset_input_mode(1);
    x.run("xdotool search --name '^Loop$' windowfocus key alt+g");
    for (int i = 0; i < 500 && gget_draw_window() == gget_base_window(); ++i) {
      KEZ_sleep(0.01f);
      gcheck_event();
    }
    check(gget_draw_window() == gget_frame_id(2), "the last frame stays selected");
    gset_input_mode(0);
    gclose_ws(1);
    return check.status();
  });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Creating GIF files:\n" + dir.file("Loop-00.gif") + "\n" + dir.file("Loop-01.gif") + "\n" +
                       dir.file("Loop-02.gif") + "\n"),
            std::string::npos)
      << r.out;
}

/* ---- events sent by another client ------------------------------------ */

class Sender {
 public:
  explicit Sender(const XServer& x) : d_(XOpenDisplay(x.display().c_str())) {}
  ~Sender() {
    if (d_) XCloseDisplay(d_);
  }
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  void send(XEvent event, long mask = NoEventMask) {
    event.xany.window = gget_root_window();
    XSendEvent(d_, gget_root_window(), True, mask, &event);
    XSync(d_, False);
  }
  void key(KeySym sym, unsigned int state) {
    XEvent e{};
    e.xkey.type = KeyPress;
    e.xkey.keycode = XKeysymToKeycode(d_, sym);
    e.xkey.state = state;
    e.xkey.display = d_;
    send(e);
  }
  void button(int type, unsigned int button, unsigned int state = 0, int x = 10, int y = 10) {
    XEvent e{};
    e.xbutton.type = type;
    e.xbutton.button = button;
    e.xbutton.state = state;
    e.xbutton.x = x;
    e.xbutton.y = y;
    send(e);
  }
  void expose() {
    XEvent e{};
    e.xexpose.type = Expose;
    e.xexpose.width = 10;
    e.xexpose.height = 10;
    send(e);
  }
  void paint_window(unsigned long pixel) {
    GC gc = XCreateGC(d_, gget_root_window(), 0, nullptr);
    XSetForeground(d_, gc, pixel);
    XFillRectangle(d_, gget_root_window(), gc, 0, 0, 640, 512);
    XFreeGC(d_, gc);
    XSync(d_, False);
  }
  Display* display() const { return d_; }

 private:
  Display* d_;
};

/* Serves events until `done` or a generous time-out; the user events. */
template <class Done>
int serve_until(Done done) {
  int users = 0;
  for (int i = 0; i < 500 && !done(); ++i) {
    XSync(gget_display(), False);
    users += gcheck_event();
    if (!done()) KEZ_sleep(0.01f);
  }
  return users;
}

std::string events_seen;
void note_event(int kind, char* text, float, float) { events_seen += std::to_string(kind) + " " + text + "\n"; }

TEST(WindowEvents, OutsideTheHoldKeysCountButReachNoCallback) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    gset_mouse_callback(note_event);
    if (open_unit_window(x, "Quiet") != 0) return 1;
    Sender s(x);
    s.key(XK_a, 0);
    s.key(XK_q, Mod1Mask);
    s.button(ButtonPress, 4);
    s.button(ButtonRelease, 4);
    s.button(ButtonPress, 2, Mod1Mask); /* the marker: no binding with Alt */
    const int users = serve_until([] { return events_seen.find("B2-P") != std::string::npos; });
    check(events_seen == "3 B2-P-Alt\n", "only the button: " + events_seen);
    check(users == 2, "two keys counted, wheel and press not: " + std::to_string(users));
    check(gget_input_mode() == 1 && gget_looping() == 0, "no binding ran");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(WindowEvents, ARunOfExposuresIsAnsweredOnce) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    gset_mouse_callback(note_event);
    if (open_unit_window(x, "Exposed") != 0) return 1;
    Sender s(x);
    const unsigned long green = 0x00FF00;
    auto window_is = [&](const std::array<int, 3>& rgb) {
      RgbImage picture;
      return kez_test::read_drawable(x.display(), gget_root_window(), &picture) && near_rgb(picture.at(50, 50), rgb);
    };
    s.paint_window(green);
    s.expose();
    serve_until([&] { return window_is({255, 255, 255}); });
    check(window_is({255, 255, 255}), "the first exposure copies the picture");
    s.paint_window(green);
    s.expose();
    s.expose();
    XSync(gget_display(), False);
    gcheck_event();
    check(window_is({0, 255, 0}), "the rest of the run is not answered");
    /* Any other event ends the run. */
    s.button(ButtonPress, 2, Mod1Mask);
    s.expose();
    serve_until([&] { return window_is({255, 255, 255}); });
    check(window_is({255, 255, 255}), "a new run is answered");

    /* A structure change to the same size is no resize. */
    XEvent configure{};
    configure.xconfigure.type = ConfigureNotify;
    configure.xconfigure.event = gget_root_window();
    configure.xconfigure.width = 640;
    configure.xconfigure.height = 512;
    s.send(configure);
    s.button(ButtonPress, 1, Mod1Mask);
    serve_until([] { return events_seen.find("B1-P") != std::string::npos; });
    check(events_seen == "3 B2-P-Alt\n3 B1-P-Alt\n", "no size report: " + events_seen);
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* Buttons 1 to 3 and Alt with "[", "]" and d step through frames, or
 * change the loop delay while looping, and delete the current frame. */
TEST(WindowEvents, FrameBindingsStepLoopAndDelete) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    gset_mouse_callback(note_event);
    if (open_unit_window(x, "Stepping") != 0) return 1;
    for (int i = 0; i < 3; ++i) gcreate_frame(-1);
    gdisplay_frame(0);
    gset_input_mode(1);
    Sender s(x);
    size_t served = 0;
    auto press = [&](unsigned int button) {
      s.button(ButtonPress, button);
      const std::string text = "B" + std::to_string(button) + "-P\n";
      serve_until([&] { return events_seen.find(text, served) != std::string::npos; });
      served = events_seen.size();
    };
    auto key = [&](KeySym sym) {
      s.key(sym, Mod1Mask);
      serve_until([&] { return events_seen.size() > served; });
      served = events_seen.size();
    };
    struct Step {
      char input; /* 1 to 3 a button, else the key with Alt */
      int frame;  /* the current frame after it */
    };
    const Step steps[] = {{'3', 1}, {'1', 0}, {'1', 2}, {']', 0}, {'[', 2}};
    for (const Step& st : steps) {
      if (st.input >= '1' && st.input <= '3')
        press(static_cast<unsigned int>(st.input - '0'));
      else
        key(st.input == ']' ? XK_bracketright : XK_bracketleft);
      check(gget_cur_frame() == st.frame, std::string("after ") + st.input + ": " + std::to_string(gget_cur_frame()));
    }
    press(2);
    check(gget_looping() == 1, "button 2 starts looping");
    struct Delay {
      char input;
      float before, after;
    };
    const Delay delays[] = {{'3', 0.5f, 0.4f},  {'1', 0.4f, 0.5f}, {'3', 0.1f, 0.05f},
                            {'1', 0.05f, 0.1f}, {']', 0.2f, 0.1f}, {'[', 0.2f, 0.3f}};
    for (const Delay& d : delays) {
      ginc_loop_delay(d.before - gget_loop_delay());
      if (d.input == '1' || d.input == '3')
        press(static_cast<unsigned int>(d.input - '0'));
      else
        key(d.input == ']' ? XK_bracketright : XK_bracketleft);
      check(std::fabs(gget_loop_delay() - d.after) < 1e-4f,
            std::string("delay after ") + d.input + ": " + std::to_string(gget_loop_delay()));
    }
    press(2);
    check(gget_looping() == 0, "button 2 stops looping");
    key(XK_d);
    check(gget_num_images() == 2 && gget_cur_frame() == 1, "Alt-d deleted the current frame");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

/* ---- the rubber band ----------------------------------------------------- */

int band_kind = GBAND_LINE;
std::string releases;

/* At the press the plot frame chooses its band: a line bounded to pixels
 * 50 to 300, or a polyline whose first point keeps its x. */
void choose_band(int kind, char* text, float x, float y) {
  const std::string t = text;
  if (kind == 3 && t == "B1-P") {
    gset_rubber_band(band_kind);
    if (band_kind == GBAND_LINE) {
      const Gpt bounds[2] = {{xp_W(50), yp_W(50)}, {xp_W(300), yp_W(300)}};
      gset_rubber_band_limits(bounds);
    } else {
      const Gpt points[3] = {{xp_W(200), yp_W(100)}, {xp_W(300), yp_W(300)}, {xp_W(100), yp_W(300)}};
      gset_rubber_band_points(points, 3, GBAND_KEEP_X);
    }
  }
  if (kind == 3 && t == "B1-R") {
    char line[80];
    std::snprintf(line, sizeof line, "%.0f %.0f", static_cast<double>(xW_p(x)), static_cast<double>(yW_p(y)));
    releases = line;
  }
}

TEST(WindowEvents, RubberBandsFollowThePointerWithinTheirBounds) {
  struct Case {
    int band;
    const char* release; /* the reported position, in pixels */
    std::array<int, 2> on, off;
  };
  const Case cases[] = {
      {GBAND_LINE, "400 400", {200, 200}, {350, 350}},
      {GBAND_POLY, "200 250", {250, 275}, {300, 250}},
  };
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  for (const Case& c : cases) {
    auto r = run_child([&] {
      Checks check;
      band_kind = c.band;
      gset_mouse_callback(choose_band);
      if (open_unit_window(x, "Band") != 0) return 1;
      const Gcolr_rep red{1, 0, 0};
      gset_colr_rep(1, 2, &red);
      gset_line_colr_ind(2);
      const std::string w = std::to_string(gget_root_window());
      const std::string start = c.band == GBAND_LINE ? "100 100" : "200 100";
      x.run("xdotool mousemove --window " + w + " " + start + " mousedown 1 mousemove --window " + w +
            " 250 260 mousemove --window " + w + (c.band == GBAND_LINE ? " 400 400" : " 350 250") + " mouseup 1");
      serve_until([] { return !releases.empty(); });
      check(releases == c.release, "released at " + releases);
      RgbImage picture;
      kez_test::read_drawable(x.display(), gget_root_window(), &picture);
      const std::array<int, 3> red_rgb{255, 0, 0};
      check(near_rgb(picture.at(c.on[0], c.on[1]), red_rgb), "the final band is drawn");
      check(!near_rgb(picture.at(c.off[0], c.off[1]), red_rgb), "nothing beyond it");
      int reds = 0;
      for (int y = 0; y < 512; y += 2)
        for (int xx = 0; xx < 640; xx += 2) reds += near_rgb(picture.at(xx, y), red_rgb) ? 1 : 0;
      check(reds < 400, "no band left over from the motion: " + std::to_string(reds));
      check(gget_line_gc_func() == GXcopy, "lines drawn in copy mode again");
      check(!near_rgb(gks_test::window_picture(x).at(c.on[0], c.on[1]), red_rgb), "not in the backing picture");
      gclose_ws(1);
      return check.status();
    });
    EXPECT_EQ(r.status, 0) << "band " << c.band << "\n" << r.out << r.err;
  }
}

} // namespace
