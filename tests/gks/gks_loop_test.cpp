#include <gtest/gtest.h>

#include <string>

#include "gks_scenario.h"
#include "kez_test.h"

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

std::string text_of(const Gwindow_spec& s) {
  return std::to_string(s.window) + " " + std::to_string(s.drawable) + " " + std::to_string(s.width) + "x" +
         std::to_string(s.height) + " " + std::to_string(s.colormap);
}

TEST(WindowSpecification, IdFormsAndWindowIdFiles) {
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

} // namespace
