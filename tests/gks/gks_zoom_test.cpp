#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gks_scenario.h"
#include "gks_window.h"
#include "kez_test.h"

namespace {

using gks_test::Checks;
using gks_test::near_rgb;
using kez_test::RgbImage;
using kez_test::run_child;
using kez_test::XServer;

/* Blocks of colours of different sizes, so that any shift of the view
 * shows. */
void draw_blocks() {
  gks_test::use_tran(1, gks_test::lim(0, 1, 0, 1), gks_test::lim(0, 1, 0, 1));
  for (int i = 0; i < 7; ++i) {
    const Gcolr_rep rep{static_cast<float>(i % 2), static_cast<float>((i / 2) % 2), static_cast<float>(i % 3) / 2};
    gset_colr_rep(1, 20 + i, &rep);
  }
  int k = 0;
  for (float y = 0; y < 1; y += 0.13f)
    for (float x = 0; x < 1; x += 0.07f + 0.01f * static_cast<float>(k % 5)) {
      gset_fill_colr_ind(20 + k++ % 7);
      Gpt box[4] = {{x, y}, {x + 0.09f, y}, {x + 0.09f, y + 0.13f}, {x, y + 0.13f}};
      gfill_area(4, box);
    }
  /* A right edge stripe of its own colour. */
  const Gcolr_rep blue{0, 0, 1};
  gset_colr_rep(1, 30, &blue);
  gset_fill_colr_ind(30);
  Gpt edge[4] = {{0.985f, 0}, {1.3f, 0}, {1.3f, 1}, {0.985f, 1}};
  gfill_area(4, edge);
}

/* Window pixels whose colour is not that of the unmagnified pixel that
 * xZ_p and yZ_p name, on a grid of samples. */
int mismatches(const RgbImage& zoomed, const RgbImage& original) {
  int bad = 0;
  for (int r = 0; r < zoomed.height; r += 7)
    for (int c = 0; c < zoomed.width; c += 5) {
      const int sx = static_cast<int>(std::floor(xZ_p(static_cast<float>(c))));
      const int sy = static_cast<int>(std::floor(yZ_p(static_cast<float>(r))));
      if (!near_rgb(zoomed.at(c, r), original.at(sx, sy), 0)) ++bad;
    }
  return bad;
}

TEST(WindowZoom, RepeatedMagnificationKeepsThePixelUnderThePointer) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    if (gks_test::open_window(x) != 0) return 1;
    draw_blocks();
    const RgbImage original = gks_test::window_picture(x);
    check(gzoom(GFRAME_CURRENT, 10, 10, -2, 1) == 0 && gget_zoom() == 1, "a redisplay needs a magnification");
    check(gzoom(GFRAME_CURRENT, 10, 10, 0, 0) == 0 && gget_zoom() == 1, "factor 0 refused");
    struct Step {
      int x, y, factor, zoom;
    };
    const Step steps[] = {{300, 200, -2, 2}, {100, 400, -2, 4}, {600, 50, -3, 12}, {-1, -1, 5, 5}};
    for (const Step& s : steps) {
      const float ux = xZ_p(static_cast<float>(s.x)), uy = yZ_p(static_cast<float>(s.y));
      check(gzoom(GFRAME_CURRENT, s.x, s.y, s.factor, 0) == 1 && gget_zoom() == s.zoom,
            "zoom " + std::to_string(s.zoom));
      const RgbImage zoomed = gks_test::window_picture(x);
      check(mismatches(zoomed, original) == 0,
            "zoom " + std::to_string(s.zoom) + ": " + std::to_string(mismatches(zoomed, original)) + " mismatches");
      /* The chosen point stays near the middle unless an edge holds it. */
      if (s.x > 0 && s.x < 600) {
        const float mx = xZ_p(320), my = yZ_p(256);
        check(std::fabs(mx - ux) <= 640.0f / static_cast<float>(s.zoom) &&
                  std::fabs(my - uy) <= 512.0f / static_cast<float>(s.zoom),
              "centred on the chosen point");
      }
    }
    check(gunzoom() == 0 && gget_zoom() == 1, "unmagnified");
    const RgbImage back = gks_test::window_picture(x);
    check(back.rgb == original.rgb, "the original picture is back");

    /* At the bottom right corner the view stays inside the picture and
     * reaches its last column and row. */
    check(gzoom(GFRAME_CURRENT, 639, 511, -2, 0) == 1, "corner zoom");
    check(mismatches(gks_test::window_picture(x), original) == 0, "corner view");
    check(std::floor(xZ_p(639)) >= 638 && std::floor(yZ_p(511)) >= 510 && xZ_p(0) >= 0 && yZ_p(0) >= 0,
          "view inside the picture");
    gunzoom();
    check(xZ_p(123) == 123, "no magnification: the pixel itself");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(WindowZoom, TenDoublingsReachTheLimitAndTheNextIsRefused) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    if (gks_test::open_window(x) != 0) return 1;
    draw_blocks();
    for (int i = 0; i < 10; ++i) check(gzoom(GFRAME_CURRENT, 320, 256, -2, 0) == 1, "doubling");
    check(gget_zoom() == GZOOM_MAX, "1024");
    check(gzoom(GFRAME_CURRENT, 320, 256, -2, 0) == 0 && gget_zoom() == GZOOM_MAX, "refused");
    greset_zoom();
    check(gget_zoom() == 1 && gunzoom() == 0, "reset without drawing");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(gks_test::count(r.out + r.err, "gzoom: Cannot zoom past 1024x\n"), 1) << r.err;
}

TEST(WindowZoom, FramesShownWhileMagnifiedAreMagnified) {
  XServer x(800, 700, 24);
  ASSERT_TRUE(x.ok());
  auto r = run_child([&] {
    Checks check;
    if (gks_test::open_window(x) != 0) return 1;
    gks_test::use_tran(1, gks_test::lim(0, 1, 0, 1), gks_test::lim(0, 1, 0, 1));
    const Gcolr_rep red{1, 0, 0}, green{0, 1, 0};
    gset_colr_rep(1, 10, &red);
    gset_colr_rep(1, 11, &green);
    for (int i = 0; i < 2; ++i) {
      gcreate_frame(-1);
      gselect_frame(i);
      /* Left half red in frame 0, green in frame 1; right half background. */
      gset_fill_colr_ind(10 + i);
      Gpt half[4] = {{0, 0}, {0.4f, 0}, {0.4f, 1}, {0, 1}};
      gfill_area(4, half);
    }
    gdisplay_frame(0);
    check(gzoom(GFRAME_CURRENT, 100, 256, -2, 0) == 1, "magnified frame 0");
    check(near_rgb(gks_test::window_picture(x).at(400, 256), {255, 0, 0}), "red fills more of the window");
    gdisplay_frame(1);
    check(gget_zoom() == 2 && near_rgb(gks_test::window_picture(x).at(400, 256), {0, 255, 0}),
          "frame 1 magnified with the same view");
    gunzoom();
    check(gget_zoom() == 1 && !near_rgb(gks_test::window_picture(x).at(400, 256), {0, 255, 0}),
          "the current frame shown plainly again");
    gclose_ws(1);
    return check.status();
  });
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

} // namespace
