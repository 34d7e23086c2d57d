#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "gks_scenario.h"
#include "gks_window.h"
#include "img_images.h"
#include "kez_test.h"
#include "ps_render.h"

namespace {

using gks_test::Checks;
using gks_test::near_rgb;
using kez_test::RgbImage;
using kez_test::run_child;
using kez_test::run_command;
using kez_test::TempDir;
using kez_test::XServer;

constexpr int DEPTHS[] = {8, 16, 24};

/* An 8-bit indexed image of the given colours (0 to 255 each), pixel
 * value from f. */
void make_coloured(img_test::Image& img, int w, int h, const std::vector<img_test::RGB>& colours,
                   const img_test::PixelFn& f) {
  img_test::make_indexed(img, w, h, static_cast<int>(colours.size()), f);
  for (size_t i = 0; i < colours.size(); ++i)
    img->colors[i] = {colours[i].r / 255.0f, colours[i].g / 255.0f, colours[i].b / 255.0f};
}

int open_page_window(const XServer& x) {
  setenv("kezinverse", "1", 1);
  gks_test::page_fonts();
  if (gks_test::open_window(x) != 0) return 1;
  gks_test::draw_test_page();
  gks_test::use_tran(1, gks_test::lim(0, 1, 0, 1), gks_test::lim(0, 1, 0, 1));
  gupdate_window();
  return 0;
}

/* Through shared memory where the server offers it, through the
 * connection where it does not: the same capture either way. */
TEST(WindowImages, ACaptureOfTheWindowEqualsItsXWindowDump) {
  if (!kez_test::have_program("xwd") || !kez_test::have_program("compare")) GTEST_SKIP() << "no xwd or compare";
  struct Case {
    int depth;
    bool shared;
  };
  const Case cases[] = {{8, true}, {16, true}, {24, true}, {8, false}, {24, false}};
  for (const Case& c : cases) {
    const int depth = c.depth;
    XServer x(800, 700, depth,
              c.shared ? std::vector<std::string>{} : std::vector<std::string>{"-extension", "MIT-SHM"});
    ASSERT_TRUE(x.ok());
    TempDir dir;
    auto r = run_child([&] {
      Checks check;
      MESS_set_str("debug");
      if (open_page_window(x) != 0) return 1;
      IMG_report image;
      check(gget_image(&image) == 1, "captured");
      check(image.width == 640 && image.height == 512 && image.depth == depth, "the window's size and depth");
      check(depth == 8 ? image.color_type == IMG_COLOR_INDEXED && image.num_colors == 256
                       : image.color_type == IMG_COLOR_MASKS && image.num_colors == 0,
            "colours by the visual");
      check(XWD_write(dir.file("ours.xwd").c_str(), &image) == 1, "written");
      IMG_free(&image);
      /* A dump reads the pixels where they lie: the backing pixmap itself
       * where the server shares it, else the grab's. The same file. */
      check(c.shared ? gget_shared_pixmap() != 0 && gget_base_window() == gget_shared_pixmap()
                     : gget_shared_pixmap() == 0,
            "the backing pixmap is shared where the server can share one");
      check(XWD_dump(dir.file("lent.xwd").c_str()) == 1, "dumped");
      check(kez_test::read_file(dir.file("lent.xwd")) == kez_test::read_file(dir.file("ours.xwd")),
            "the lent record gives the same file");
      /* A frame is a plain pixmap: grabbed into a segment of its own. */
      const int frame = gcreate_frame(GFRAME_LAST);
      check(frame >= 0, "a frame");
      gselect_frame(frame);
      gks_test::draw_test_page();
      IMG_report framed;
      check(gget_image(&framed) == 1 && XWD_write(dir.file("frame.xwd").c_str(), &framed) == 1, "frame captured");
      IMG_free(&framed);
      check(XWD_dump(dir.file("frame_lent.xwd").c_str()) == 1 &&
                kez_test::read_file(dir.file("frame_lent.xwd")) == kez_test::read_file(dir.file("frame.xwd")),
            "the frame's lent record gives the same file");
      gselect_frame(GFRAME_BASE);
      x.run("xwd -silent -nobdrs -id " + std::to_string(gget_root_window()) + " -out " + dir.file("theirs.xwd"));
      gset_save_image_type(IMG_SAVE_PNG);
      check(gsave_image_file(dir.file("saved").c_str()) == 1, "saved");
      gclose_ws(1);
      return check.status();
    });
    ASSERT_EQ(r.status, 0) << depth << r.out << r.err;
    EXPECT_EQ((r.out + r.err).find("gget_image: through shared memory") != std::string::npos, c.shared)
        << depth << (c.shared ? " shared" : " connection");
    /* A few per cent allow for the scaling of 5- and 6-bit components by
     * the reader; a wrong pixel differs by far more. */
    std::string differ;
    run_command("compare -fuzz 3% -metric AE " + dir.file("ours.xwd") + " " + dir.file("theirs.xwd") + " null: 2>&1",
                &differ);
    EXPECT_EQ(differ, "0") << "depth " << depth;
    std::string format;
    run_command("identify -format '%m %wx%h' " + dir.file("saved"), &format);
    EXPECT_EQ(format, "PNG 640x512") << depth;
  }
}

TEST(WindowImages, ImagesShowInTheirColoursAtEachDepthAndAgainstTheFarEdges) {
  for (int depth : DEPTHS) {
    XServer x(800, 700, depth);
    ASSERT_TRUE(x.ok());
    TempDir dir;
    {
      img_test::Image block;
      make_coloured(block, 40, 30, {{255, 0, 0}, {0, 0, 255}}, [](int, int col) { return col < 20 ? 0u : 1u; });
      ASSERT_EQ(GIF_write(dir.file("block.gif").c_str(), block.get()), 1);
    }
    auto r = run_child([&] {
      Checks check;
      if (open_page_window(x) != 0) return 1;
      check(gload_image_file(dir.file("block.gif").c_str(), -10, -10) == 1, "loaded");
      XRectangle vp{};
      gget_xviewport(&vp);
      const int right = vp.x + vp.width, bottom = vp.y + vp.height;
      const RgbImage w = gks_test::window_picture(x);
      check(near_rgb(w.at(right - 11, bottom - 11), {0, 0, 255}), "right part against the right edge");
      check(near_rgb(w.at(right - 49, bottom - 39), {255, 0, 0}), "left part, top row");
      check(!near_rgb(w.at(right - 9, bottom - 11), {0, 0, 255}), "ten pixels left free at the right");
      check(!near_rgb(w.at(right - 11, bottom - 9), {0, 0, 255}), "ten pixels left free at the bottom");
      check(!near_rgb(w.at(right - 51, bottom - 20), {255, 0, 0}), "nothing left of the image");

      /* A true-colour record: converted on deep windows, refused on 8 bits. */
      img_test::Image rgb;
      img_test::make_rgb32(
          rgb, 30, 20, [](int, int) { return 0x00FF00u; }, 0);
      gload_image(rgb.get(), 5, 5);
      check(depth == 8 || near_rgb(gks_test::window_picture(x).at(vp.x + 10, vp.y + 10), {0, 255, 0}),
            "a green record");
      gclose_ws(1);
      return check.status();
    });
    EXPECT_EQ(r.status, 0) << "depth " << depth << "\n" << r.out << r.err;
    EXPECT_EQ(r.err.find("cannot be shown") != std::string::npos, depth == 8) << depth << r.err;
  }
}

/* An image whose rows are as long as their pixels (30 pixels wide) reaches
 * the window on every depth, loaded and overlaid, from PNG and GIF files;
 * X takes rows padded to whole units. */
TEST(WindowImages, ImagesOfAnyWidthShow) {
  TempDir dir;
  {
    img_test::Image narrow;
    make_coloured(narrow, 30, 20, {{255, 0, 0}, {0, 0, 255}}, [](int, int col) { return col < 15 ? 0u : 1u; });
    ASSERT_EQ(PNG_write(dir.file("narrow.png").c_str(), narrow.get()), 1);
    ASSERT_EQ(GIF_write(dir.file("narrow.gif").c_str(), narrow.get()), 1);
  }
  for (int depth : DEPTHS)
    for (const char* name : {"narrow.png", "narrow.gif"}) {
      XServer x(800, 700, depth);
      ASSERT_TRUE(x.ok());
      auto r = run_child([&] {
        Checks check;
        if (open_page_window(x) != 0) return 1;
        XRectangle vp{};
        gget_xviewport(&vp);
        /* Loaded at the top left, overlaid 200 pixels to the right. */
        for (int left : {0, 200}) {
          const int px = vp.x + left, py = vp.y + 100;
          const RgbImage before = gks_test::window_picture(x);
          check(!near_rgb(before.at(px + 29, py + 19), {0, 0, 255}), "no blue there before");
          const int done = left == 0 ? gload_image_file(dir.file(name).c_str(), left, 100)
                                     : goverlay_image_file(dir.file(name).c_str(), nullptr, left, 100) + 1;
          check(done == 1, left == 0 ? "loaded" : "overlaid");
          const RgbImage w = gks_test::window_picture(x);
          check(near_rgb(w.at(px, py), {255, 0, 0}), "first pixel red");
          check(near_rgb(w.at(px + 14, py + 10), {255, 0, 0}), "left half red");
          check(near_rgb(w.at(px + 15, py + 10), {0, 0, 255}), "right half blue");
          check(near_rgb(w.at(px + 29, py + 19), {0, 0, 255}), "last pixel of the last row blue");
          check(!near_rgb(w.at(px + 30, py + 10), {0, 0, 255}), "nothing right of the image");
        }
        gclose_ws(1);
        return check.status();
      });
      EXPECT_EQ(r.status, 0) << name << ", depth " << depth << "\n" << r.out << r.err;
    }
}

TEST(WindowImages, AnOverlayLeavesItsBackgroundOut) {
  TempDir dir;
  {
    /* White with a blue band along the top and a black corner. */
    img_test::Image over;
    make_coloured(over, 60, 40, {{255, 255, 255}, {0, 0, 255}, {0, 0, 0}}, [](int row, int col) {
      if (row < 10 && col >= 40) return 1u;
      if (row >= 30 && col < 10) return 2u;
      return 0u;
    });
    ASSERT_EQ(GIF_write(dir.file("over.gif").c_str(), over.get()), 1);
  }
  struct Case {
    const char* background;
    std::array<int, 3> band;  /* what shows at the blue band */
    std::array<int, 3> white; /* what shows at the white part over the red square */
    const char* why;
  };
  const Case cases[] = {
      {nullptr, {0, 0, 255}, {255, 0, 0}, "the window's white background is left out"},
      {"blue", {255, 0, 0}, {255, 255, 255}, "an X colour name: the band is left out, the white drawn"},
  };
  for (int depth : {8, 24})
    for (const Case& c : cases) {
      XServer x(800, 700, depth);
      ASSERT_TRUE(x.ok());
      auto r = run_child([&] {
        Checks check;
        if (open_page_window(x) != 0) return 1;
        /* The red square of the page lies under the overlay's right part. */
        check(goverlay_image_file(dir.file("over.gif").c_str(), c.background, 0, 30) == 0, "overlaid");
        const RgbImage w = gks_test::window_picture(x);
        check(near_rgb(w.at(30, 50), c.white), "over the red square");
        check(near_rgb(w.at(10, 50), {255, 255, 255}), "the page's own white");
        check(near_rgb(w.at(50, 35), c.band), std::string("band: ") + gks_test::rgb_text(w.at(50, 35)));
        check(near_rgb(w.at(5, 65), {0, 0, 0}), "black drawn");
        check(goverlay_image_file(dir.file("over.gif").c_str(), "no such colour", 0, 30) == 0, "unknown colour");
        gclose_ws(1);
        return check.status();
      });
      EXPECT_EQ(r.status, 0) << c.why << ", depth " << depth << "\n" << r.out << r.err;
      EXPECT_NE(r.err.find("goverlay_image: unknown background colour: no such colour\n"), std::string::npos) << r.err;
    }
}

TEST(WindowImages, PostScriptReceivesALoadedImage) {
  TempDir dir;
  auto r = run_child([&] {
    gks_test::open_ps(dir.file("a.ps") + ",color");
    gks_test::use_tran(1, gks_test::lim(0, 1, 0, 1), gks_test::lim(0, 1, 0, 1));
    img_test::Image img;
    make_coloured(img, 100, 60, {{255, 0, 0}, {0, 0, 255}}, [](int, int col) { return col < 50 ? 0u : 1u; });
    gload_image(img.get(), 0, 0);
    return gclose_ws(1);
  });
  ASSERT_EQ(r.status, 0) << r.err;
  kez_test::Raster raster;
  ASSERT_TRUE(kez_test::gs_render(dir.file("a.ps"), 612, 792, &raster).clean());
  /* One image pixel a point, from the viewport's top left corner. */
  int red = 0, blue = 0;
  for (int y = 0; y < raster.height; y += 2)
    for (int x = 0; x < raster.width; x += 2) {
      const auto c = raster.at(x, y);
      red += near_rgb(c, {255, 0, 0}, 30) ? 1 : 0;
      blue += near_rgb(c, {0, 0, 255}, 30) ? 1 : 0;
    }
  EXPECT_GT(red, 600) << "about 50 by 60 points of red";
  EXPECT_LT(red, 900);
  EXPECT_GT(blue, 600);
  EXPECT_LT(blue, 900);
}

} // namespace
