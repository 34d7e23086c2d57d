#include <gtest/gtest.h>

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
using kez_test::write_file;
using kez_test::XServer;

std::string text_of(const Gwindow_spec& s) {
  return std::to_string(s.window) + " " + std::to_string(s.drawable) + " " + std::to_string(s.width) + "x" +
         std::to_string(s.height) + " " + std::to_string(s.colormap);
}

TEST(WindowText, IdFormsAndWindowIdFiles) {
  struct Case {
    const char* text;
    const char* want; /* window drawable WxH colormap, or a message */
    const char* why;
  };
  const Case cases[] = {
      {"+1:2:300x200:5", "1 2 300x200 5", "five numbers"},
      {"+1:2", "1 2 640x512 0", "size defaults"},
      {"+1:2:300x200", "1 2 300x200 0", "no colormap"},
      {"0x1f:300x200:5", "31 31 300x200 0", "hexadecimal drawable; a colormap only from five numbers"},
      {"0X1F", "31 31 640x512 0", "hexadecimal drawable alone"},
      {"42:100x50", "42 42 100x50 0", "decimal drawable"},
      {"w7", "7 8 10x20 0", "kezloop.7"},
      {"W12x", "12 12 640x512 0", "kezloop.12: the digits after the letter"},
      {"w", "3 4 640x512 0", "kezloop.win"},
      {"window", "3 4 640x512 0", "w and anything else: kezloop.win"},
      {"mine.id", "99 99 640x512 0", "any other name"},
      {"0", "gopen_ws: window id not specified\n", "drawable 0"},
      {"+5", "gopen_ws: window id not specified\n", "no drawable"},
      {"+x", "gopen_ws: window id not specified\n", "nothing scanned"},
      {"w9", "gopen_ws: unable to open window id file\n", "no such file"},
      {"empty.id", "gopen_ws: window id not specified\n", "an empty file"},
  };
  TempDir dir;
  write_file(dir.file("kezloop.7"), "+7:8:10x20\n");
  write_file(dir.file("kezloop.12"), "12\n");
  write_file(dir.file("kezloop.win"), "\n  +3:4 more\n");
  write_file(dir.file("mine.id"), "99");
  write_file(dir.file("empty.id"), "");
  for (const Case& c : cases) {
    auto r = run_child([&] {
      RES_put("file_path", dir.path().c_str());
      Gwindow_spec spec{0, 0, 640, 512, 0};
      if (gget_window_spec(c.text, &spec) != 0) return 1;
      std::printf("%s", text_of(spec).c_str());
      return 0;
    });
    const std::string got = r.status == 0 ? r.out : r.err;
    EXPECT_EQ(got, c.want) << c.why;
  }
}

/* ---- the frame table on a window ------------------------------------------ */

/* The own window with a unit world on the whole plot area. */
int open_plain_window(const XServer& x, const char* title = "Frames") {
  setenv("kezinverse", "1", 1);
  gset_win_title(title);
  if (gks_test::open_window(x) != 0) return 1;
  gks_test::use_tran(1, gks_test::lim(0, 1, 0, 1), gks_test::lim(0, 1, 0, 1));
  return 0;
}

/* Fills the drawing target with colour index ind over the plot area. */
void paint(int ind, const Gcolr_rep& rep) {
  gset_colr_rep(1, ind, &rep);
  gset_fill_colr_ind(ind);
  Gpt all[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  gfill_area(4, all);
  gsync();
}

constexpr Gcolr_rep RED{1, 0, 0}, GREEN{0, 1, 0}, BLUE{0, 0, 1};

TEST(Frames, AppendedFramesTakeTheirDelaysAndTheTableHoldsOneHundredTwentyEight) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    check(gcreate_frame(-1) == -1, "no window: refused");
    if (open_plain_window(x) != 0) return 1;
    for (int i = 0; i < 3; ++i) check(gcreate_frame(-1) == i, "append " + std::to_string(i));
    check(gget_num_images() == 3, "three frames");
    check.near(gget_frame_delay(0), 0.5f, "delay 0");
    check.near(gget_frame_delay(1), 0.5f, "delay 1");
    check.near(gget_frame_delay(2), 1.0f, "delay of the last frame");
    check(gget_frame_id(0) && gget_frame_id(0) != gget_frame_id(1), "one pixmap each");

    /* Deleting the last of three hands the end pause on. */
    check(gdelete_frame(GFRAME_LAST) == 1 && gget_num_images() == 2, "last deleted");
    check.near(gget_frame_delay(1), 1.0f, "new last frame pauses");
    check.near(gget_frame_delay(0), 0.5f, "first keeps its delay");

    /* A full table refuses the next frame and changes nothing. */
    while (gget_num_images() < GMAX_FRAMES)
      if (gcreate_frame(-1) < 0) break;
    check(gget_num_images() == GMAX_FRAMES, "filled to 128");
    const unsigned long last_id = gget_frame_id(GFRAME_LAST);
    check(gcreate_frame(-1) == -1, "the 129th append is refused");
    check(gcreate_frame(GMAX_FRAMES) == -1, "index 128 is refused");
    check(gget_num_images() == GMAX_FRAMES && gget_frame_id(GFRAME_LAST) == last_id, "table unchanged");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Frames, FramesHoldTheirPicturesAndShowThemWithTheirNumber) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    if (open_plain_window(x) != 0) return 1;
    const Gcolr_rep reps[3] = {RED, GREEN, BLUE};
    const std::array<int, 3> rgb[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int i = 0; i < 3; ++i) {
      gcreate_frame(-1);
      gselect_frame(i);
      paint(10 + i, reps[i]);
    }
    gselect_frame(GFRAME_BASE);
    for (int i : {1, 0, 2}) {
      gdisplay_frame(i);
      check(gget_cur_frame() == i, "current " + std::to_string(i));
      check(near_rgb(gks_test::window_picture(x).at(300, 200), rgb[i]), "frame " + std::to_string(i) + " shown");
      char extra[GTITLE_EXTRA_LEN];
      gget_win_title_extra(extra);
      check(extra == "[" + std::to_string(i) + "]", std::string("title mark ") + extra);
    }

    /* Copy and switch move pictures between frames and the backing drawable. */
    gcopy_frame(0, 2);
    gdisplay_frame(0);
    check(near_rgb(gks_test::window_picture(x).at(300, 200), rgb[2]), "copied");
    gselect_frame(1);
    gswitch_frame(1, GFRAME_BASE);
    check(gget_draw_window() == gget_frame_id(1), "the drawing target stays with its entry");
    RgbImage base;
    check(kez_test::read_drawable(x.display(), gget_base_window(), &base) && near_rgb(base.at(10, 10), rgb[1]),
          "switched into the backing drawable");

    /* Without the loop title the name keeps no mark. */
    gset_loop_title(0);
    gset_win_title_extra("");
    gdisplay_frame(2);
    char extra[GTITLE_EXTRA_LEN];
    gget_win_title_extra(extra);
    check(extra[0] == '\0', "no mark");

    /* Deleting frames: the current one is shown again, the only one clears. */
    check(gdelete_frame(2) == 1 && gget_cur_frame() == 1, "current moves back");
    check(gdelete_frame(0) == 1 && gdelete_frame(0) == 1, "all deleted");
    check(gget_num_images() == 0 && gget_cur_frame() == -1, "no current frame");
    check(near_rgb(gks_test::window_picture(x).at(300, 200), {255, 255, 255}), "window cleared");
    check(gdelete_frame(GMAX_FRAMES) == 0, "index 128");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err.find("X11 error"), std::string::npos) << r.err;
}

TEST(Frames, LoopDirectionsVisitFramesInOrder) {
  struct Case {
    int frames;
    int direction;
    const char* want; /* frames shown from the start */
    const char* why;
  };
  const Case cases[] = {
      {3, GLOOP_FORWARD, "0 1 2 0 1 2 0", "forward wraps to the first"},
      {3, GLOOP_BACKWARD, "0 2 1 0 2 1 0", "backward wraps to the last"},
      {3, GLOOP_ROCK_FORWARD, "0 1 2 1 0 1 2", "rocking turns at both ends"},
      {4, GLOOP_ROCK_BACK, "0 1 2 3 2 1 0", "rocking back from the start turns forward"},
      {2, GLOOP_ROCK_FORWARD, "0 1 0 1 0 1 0", "two frames rock between them"},
      {1, GLOOP_ROCK_FORWARD, "0 0 0 0 0 0 0", "one frame stays"},
      {0, GLOOP_FORWARD, "-1", "no frames"},
  };
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  for (const Case& c : cases) {
    auto r = run_child([&] {
      if (open_plain_window(x) != 0) return 1;
      for (int i = 0; i < c.frames; ++i) gcreate_frame(-1);
      gset_loop_direct(c.direction);
      std::string shown;
      for (int i = 0; i < (c.frames ? 7 : 1); ++i) {
        const int next = ginc_frame(0);
        shown += (shown.empty() ? "" : " ") + std::to_string(next);
        gdisplay_frame(next);
      }
      std::printf("%s\n", shown.c_str());
      gclose_ws(1);
      return 0;
    });
    EXPECT_EQ(r.out, std::string(c.want) + "\n") << c.why << r.err;
  }
}

TEST(Frames, LoopDelaysChangeInStepsAndNeverBelowZero) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    MESS_set(1, M_out4);
    if (open_plain_window(x) != 0) return 1;
    for (int i = 0; i < 3; ++i) gcreate_frame(-1);
    ginc_loop_delay(-0.2f);
    check.near(gget_loop_delay(), 0.3f, "decremented");
    check.near(gget_frame_delay(0), 0.3f, "every frame but the last");
    check.near(gget_frame_delay(2), 1.0f, "the last keeps its pause");
    ginc_loop_delay(-1);
    check.near(gget_loop_delay(), 0, "not below 0");
    gset_loop_delay(GFRAME_CURRENT, 2);
    gset_loop_delay(1, 0.25f);
    gset_loop_delay(GMAX_FRAMES, 9);
    check.near(gget_frame_delay(1), 0.25f, "one frame");
    gset_looping(1);
    check(gget_looping() == 1 && gget_cursor_type() == 3, "looping with its cursor");
    gtoggle_loop(-1);
    check(gget_looping() == 0 && gget_cursor_type() == 4, "toggled off");

    /* The loop waits at least the current frame's delay from the clock's
     * restart. */
    gdisplay_frame(1);
    KEZ_init_time();
    check(gloop_sleep() == 0, "slept");
    check(KEZ_elapse_time() >= 0.25f, "the frame's delay was waited out");

    /* A frame's data block: at most fifty bytes. */
    const std::string data(60, 'd');
    gset_image_data(1, data.data(), 60);
    char back[GFRAME_DATA_LEN + 10] = "";
    gget_image_data(1, back);
    check(std::string(back, GFRAME_DATA_LEN) == data.substr(0, GFRAME_DATA_LEN) && back[GFRAME_DATA_LEN] == '\0',
          "fifty bytes");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Loop delay decremented to: 0.30"), std::string::npos) << r.out;
}

/* Three coloured frames loop in the hold; Alt-l stops the loop and Return
 * ends the hold. The window name shows a frame number only while the hold
 * loops, so the keys reach the hold. */
void note_key(int kind, char* text, float, float) { std::printf("event %d %s\n", kind, text); }

TEST(Frames, TheHoldLoopsThroughTheFramesUntilAltL) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  kez_test::Repeater keys(x, "xdotool search --name '^Looping \\[2\\]$' windowfocus key alt+l sleep 0.5 key Return",
                          0.5);
  auto r = run_child([&] {
    MESS_set(1, M_debug | M_out4);
    gset_mouse_callback(note_key);
    if (open_plain_window(x, "Looping") != 0) return 1;
    const Gcolr_rep reps[3] = {RED, GREEN, BLUE};
    for (int i = 0; i < 3; ++i) {
      gcreate_frame(-1);
      gselect_frame(i);
      paint(10 + i, reps[i]);
    }
    gselect_frame(GFRAME_BASE);
    gset_looping(1);
    ghold(1);
    std::printf("looping %d\n", gget_looping());
    gclose_ws(1);
    return 0;
  });
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Looping stopped\nevent 2 l-Alt\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("event 2 Ret\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("looping 0\n"), std::string::npos) << r.out;
  /* The frames shown, in order, from the debug trace. */
  std::string shown;
  for (size_t at = r.out.find("Display frame: "); at != std::string::npos; at = r.out.find("Display frame: ", at + 1))
    shown += r.out[at + 15];
  EXPECT_EQ(shown.rfind("012", 0), 0u) << r.out;
  for (size_t i = 1; i < shown.size(); ++i) EXPECT_EQ(shown[i] - '0', (shown[i - 1] - '0' + 1) % 3) << shown;
}

/* Another program asks the own window for frames by client message. */
void send_add_frame(const XServer& x, Window window) {
  Display* d = XOpenDisplay(x.display().c_str());
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.format = 8;
  event.xclient.data.b[0] = GLOOP_ADD_FRAME;
  XSendEvent(d, window, True, NoEventMask, &event);
  XCloseDisplay(d);
}

TEST(LoopProtocol, AddAFrameMessageKeepsThePictureAsAFrame) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    if (open_plain_window(x) != 0) return 1;
    paint(10, RED);
    const Drawable drawn_into = gget_base_window();
    send_add_frame(x, gget_root_window());
    for (int i = 0; i < 500 && gget_num_images() < 1; ++i) {
      KEZ_sleep(0.01f);
      gcheck_event();
    }
    check(gget_num_images() == 1 && gget_looping() == 1, "one frame, looping");
    RgbImage picture;
    check(
        kez_test::read_drawable(x.display(), gget_frame_id(0), &picture) && near_rgb(picture.at(100, 100), {255, 0, 0}),
        "frame 0 holds the picture");
    check(kez_test::read_drawable(x.display(), gget_base_window(), &picture) &&
              near_rgb(picture.at(100, 100), {255, 255, 255}),
          "a cleared backing drawable");
    check(gget_draw_window() == gget_base_window() && gget_base_window() != drawn_into, "drawing goes there");

    /* The second: the last pixmap stays the last, blank, its picture one
     * frame before it. */
    paint(11, GREEN);
    const unsigned long last = gget_frame_id(0);
    send_add_frame(x, gget_root_window());
    for (int i = 0; i < 500 && gget_num_images() < 2; ++i) {
      KEZ_sleep(0.01f);
      gcheck_event();
    }
    check(gget_num_images() == 2 && gget_frame_id(1) == last, "two frames, the last pixmap kept last");
    check(
        kez_test::read_drawable(x.display(), gget_frame_id(0), &picture) && near_rgb(picture.at(100, 100), {255, 0, 0}),
        "frame 0 holds the old picture");
    check(kez_test::read_drawable(x.display(), gget_frame_id(1), &picture) &&
              near_rgb(picture.at(100, 100), {255, 255, 255}),
          "the last frame is blank");
    char extra[GTITLE_EXTRA_LEN];
    check(gget_win_title_extra(extra) == 0 && extra[0] == '\0', "busy mark gone");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err.find("X11 error"), std::string::npos) << r.err;
}

/* The other program's window names itself in its window-id file, takes a
 * frame by client message and ends its wait by another. */
TEST(LoopProtocol, TheLoopWindowReceivesAFrameAndEndsItsWait) {
  XServer x(640, 480, 24);
  ASSERT_TRUE(x.ok());
  TempDir dir;
  gks_test::ForeignWindow loop(x, dir.file("log"), "Loop", 0.3, dir.file("kezloop.5"));
  ASSERT_TRUE(loop.ok());
  for (int mode : {2, 9}) {
    auto r = run_child([&] {
      RES_put("file_path", dir.path().c_str());
      gset_pix_mode(mode);
      gopen_gks(nullptr, 0);
      if (gopen_ws(1, (x.display() + ",w5").c_str(), GWS_PIXMAP) != 0) return 1;
      if (mode == 2) {
        gks_test::use_tran(1, gks_test::lim(0, 1, 0, 1), gks_test::lim(0, 1, 0, 1));
        paint(10, RED);
      }
      return gclose_ws(1);
    });
    ASSERT_EQ(r.status, 0) << mode << r.err;
    if (mode == 2) {
      RgbImage picture;
      ASSERT_TRUE(kez_test::read_drawable(x.display(), loop.pixmap, &picture));
      EXPECT_TRUE(near_rgb(picture.at(150, 100), {255, 0, 0})) << gks_test::rgb_text(picture.at(150, 100));
    }
  }
  std::string log;
  for (int i = 0; i < 250 && (log = read_file(dir.file("log"))) != "got 2\nready\ngot 9\n"; ++i) usleep(20000);
  EXPECT_EQ(log, "got 2\nready\ngot 9\n");
}

} // namespace
