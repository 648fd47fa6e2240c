// The per-frame geometry: every fitting mode places the frame where the arithmetic says, margins
// and rotation give the final size, and the steps reuse their pictures from frame to frame.
#include "engine/geometry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kBorder = 0xFF8000;  // 0xRRGGBB; no source pixel has red 255
constexpr uint8_t kSourceRed = 0x80;

class GeometryTest : public test::FoundationTest {
 protected:
  Qimg src;
  GeoWork work;
  OutputDef def{};

  void SetUp() override {
    FoundationTest::SetUp();
    SetOutputDefaults(def, true, true);
    def.BorderColor = kBorder;
  }
  void TearDown() override {
    ImgFree(src);
    GeoDone(work);
    FoundationTest::TearDown();
  }

  // Every source pixel says where it came from: blue = x, green = y (both modulo 256).
  void MakeSource(int32_t w, int32_t h) {
    ASSERT_EQ(_imgalloc_(src, w, h, 24, "Test.Geometry.src"), 0);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        uint8_t* p = src.data + (size_t(y) * w + x) * 3;
        p[0] = uint8_t(x);
        p[1] = uint8_t(y);
        p[2] = kSourceRed;
      }
  }

  void SetRescale(int32_t w, int32_t h) {
    def.Width = w;
    def.Height = h;
    OutCalcFinalSize(def);
  }
};

const uint8_t* Pixel(const Qimg& img, int32_t x, int32_t y) { return img.data + (size_t(y) * img.width + x) * 3; }

// What a probe expects: the border, any source pixel, or the source pixel (sx, sy).
struct Probe {
  int32_t x, y;
  int32_t sx, sy;  // -1: border; -2: any source pixel
};

TEST_F(GeometryTest, FittingModesPlaceTheFrame) {
  struct Case {
    const char* what;
    int32_t W, H, RW, RH, small, large, filter;
    std::vector<Probe> probes;
  } cases[] = {
      {"a frame of half the size fills the border fit without a border",
       320,
       240,
       640,
       480,
       SM_BORDER,
       SM_STRETCH,
       1,
       {{0, 0, -2, 0}, {639, 479, -2, 0}, {320, 240, -2, 0}}},
      {"border fit: 480 x 360 inserted at left 80, top 0",
       320,
       240,
       640,
       360,
       SM_BORDER,
       SM_STRETCH,
       0,
       {{79, 0, -1, 0}, {80, 0, 0, 0}, {559, 359, 319, 239}, {560, 180, -1, 0}, {639, 359, -1, 0}}},
      {"crop fit: 640 x 480 with the window from row 60 kept",
       320,
       240,
       640,
       360,
       SM_CROP,
       SM_STRETCH,
       0,
       {{0, 0, 0, 30}, {639, 359, 319, 209}}},
      {"center: columns 18..81 of a 100 x 100 frame, 50 border rows above and below",
       100,
       100,
       64,
       200,
       SM_STRETCH,
       SM_CENTER,
       0,
       {{0, 49, -1, 0}, {0, 50, 18, 0}, {63, 50, 81, 0}, {0, 149, 18, 99}, {0, 150, -1, 0}}},
      {"a frame that fits takes the small-image mode",
       100,
       100,
       200,
       200,
       SM_CENTER,
       SM_STRETCH,
       0,
       {{49, 49, -1, 0}, {50, 50, 0, 0}, {149, 149, 99, 99}, {150, 150, -1, 0}}},
      {"a frame wider than the target takes the large-image mode: 200 x 66 at top 67",
       300,
       100,
       200,
       200,
       SM_CENTER,
       SM_BORDER,
       0,
       {{0, 66, -1, 0}, {0, 67, 0, 0}, {0, 132, -2, 0}, {0, 133, -1, 0}}},
      {"stretch fills the target", 100, 50, 64, 64, SM_BORDER, SM_STRETCH, 0, {{0, 0, 0, 0}, {63, 63, 99, 49}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MakeSource(c.W, c.H);
    def.SmallMode = c.small;
    def.LargeMode = c.large;
    def.Filter = c.filter;
    SetRescale(c.RW, c.RH);
    Qimg* current = &src;
    GeoPrepareFrame(def, work, current);
    ASSERT_EQ(current->width, c.RW);
    ASSERT_EQ(current->height, c.RH);
    ASSERT_EQ(current->bpp, 24);
    for (const Probe& p : c.probes) {
      SCOPED_TRACE(testing::Message() << "probe " << p.x << "," << p.y);
      const uint8_t* px = Pixel(*current, p.x, p.y);
      if (p.sx == -1) {
        EXPECT_EQ(px[0] | px[1] << 8 | px[2] << 16, kBorder);
        continue;
      }
      EXPECT_EQ(px[2], kSourceRed);
      if (p.sx >= 0) {
        EXPECT_EQ(px[0], uint8_t(p.sx));
        EXPECT_EQ(px[1], uint8_t(p.sy));
      }
    }
    EXPECT_EQ(src.width, c.W) << "the frame handed in is never changed";
  }
}

TEST_F(GeometryTest, FrameOfTheRescaleSizePassesUntouched) {
  MakeSource(64, 48);
  SetRescale(64, 48);
  Qimg* current = &src;
  GeoPrepareFrame(def, work, current);
  GeoFinishFrame(def, work, current);
  EXPECT_EQ(current, &src);
}

TEST_F(GeometryTest, EmptyTargetIsOutOfRange) {
  MakeSource(8, 8);
  def.Width = 0;
  Qimg* current = &src;
  GuardedSilent("Test.Geometry", [&] { GeoRescale(def, work, current); });
  EXPECT_EQ(ErrCategory(), 4);
  EXPECT_EQ(ErrCode(), 1);
  ErrClear();
}

TEST_F(GeometryTest, MarginsRotationAndFinalSize) {
  struct Case {
    const char* what;
    int32_t left, top, right, bottom;
    bool resizeBack;
    int32_t rotation;
    int32_t finalW, finalH;
    int32_t topLeftX, topLeftY;  // the source pixel that ends at the result's top-left corner
  } cases[] = {
      {"left and right 10 of 100 give 80", 10, 5, 10, 0, false, 0, 80, 45, 10, 5},
      {"resize back keeps 100 x 50", 10, 5, 10, 0, true, 0, 100, 50, 10, 5},
      {"clockwise turns the left column into the top row", 0, 0, 0, 0, false, 1, 50, 100, 0, 49},
      {"counter-clockwise", 0, 0, 0, 0, false, 3, 50, 100, 99, 0},
      {"half turn", 0, 0, 0, 0, false, 2, 100, 50, 99, 49},
      {"margins leaving 3 pixels are discarded", 50, 0, 47, 0, false, 0, 100, 50, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MakeSource(100, 50);
    def.CropLeft = c.left;
    def.CropTop = c.top;
    def.CropRight = c.right;
    def.CropBottom = c.bottom;
    def.ResizeBack = c.resizeBack ? RF_TRUE : RF_FALSE;
    def.Rotation = c.rotation;
    def.Filter = 0;
    SetRescale(100, 50);
    EXPECT_EQ(def.FinalWidth, c.finalW);
    EXPECT_EQ(def.FinalHeight, c.finalH);
    Qimg* current = &src;
    GeoPrepareFrame(def, work, current);
    EXPECT_EQ(Pixel(*current, 0, 0)[0], c.topLeftX);
    EXPECT_EQ(Pixel(*current, 0, 0)[1], c.topLeftY);
    GeoFinishFrame(def, work, current);
    EXPECT_EQ(current->width, c.finalW);
    EXPECT_EQ(current->height, c.finalH);
  }
}

TEST_F(GeometryTest, RotationOf640x480Gives480x640) {
  MakeSource(640, 480);
  def.Rotation = 1;
  SetRescale(640, 480);
  EXPECT_EQ(def.FinalWidth, 480);
  EXPECT_EQ(def.FinalHeight, 640);
  Qimg* current = &src;
  GeoPrepareFrame(def, work, current);
  GeoFinishFrame(def, work, current);
  ASSERT_EQ(current->width, 480);
  ASSERT_EQ(current->height, 640);
  EXPECT_EQ(Pixel(*current, 479, 0)[1], 0) << "the source's top row becomes the right column";
  EXPECT_EQ(Pixel(*current, 0, 0)[1], uint8_t(479));
}

// With frames of one size every step writes into a picture that already has its size: no new
// tracked block remains and no pixel block moves after the first frame.
TEST_F(GeometryTest, StepsReuseTheirPicturesAfterTheFirstFrame) {
  MakeSource(320, 240);
  def.SmallMode = SM_BORDER;
  def.CropLeft = def.CropRight = 8;
  def.ResizeBack = RF_TRUE;
  def.Rotation = 1;
  SetRescale(640, 360);
  auto frame = [&] {
    Qimg* current = &src;
    GeoPrepareFrame(def, work, current);
    GeoFinishFrame(def, work, current);
    EXPECT_EQ(current, &work.final);
  };
  frame();
  const std::vector<uint8_t*> blocks = {work.fitted.data, work.placed.data, work.cropped.data, work.rotated.data,
                                        work.final.data};
  const int32_t count = MemCount();
  for (int i = 0; i < 3; ++i) {
    frame();
    EXPECT_EQ(MemCount(), count);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's realloc moves every block, whatever its size
    EXPECT_EQ(blocks, (std::vector<uint8_t*>{work.fitted.data, work.placed.data, work.cropped.data, work.rotated.data,
                                             work.final.data}));
#endif
  }
}

// Each allocation of a frame failing in turn: the frame fails with the allocator's error and the
// next frame comes out whole from the same pictures.
TEST_F(GeometryTest, EveryAllocationFailureLeavesTheStepsUsable) {
  MakeSource(320, 240);
  def.SmallMode = SM_BORDER;
  def.CropTop = 4;
  def.Rotation = 3;
  def.ResizeBack = RF_TRUE;
  SetRescale(160, 90);
  const int32_t blocks = MemCount();
  for (int32_t n = 1;; ++n) {
    SCOPED_TRACE(n);
    GeoDone(work);
    FaultAfter(Fault::Alloc, n);
    Qimg* current = &src;
    GuardedSilent("Test.Geometry", [&] {
      GeoPrepareFrame(def, work, current);
      GeoFinishFrame(def, work, current);
    });
    const bool struck = FaultLeft(Fault::Alloc) == 0;
    FaultReset();
    if (!struck) break;
    EXPECT_EQ(ErrCategory(), 5);
    ErrClear();
    EXPECT_EQ(MemCount(), blocks) << "the failed frame released what it acquired";
    current = &src;
    GeoPrepareFrame(def, work, current);
    GeoFinishFrame(def, work, current);
    EXPECT_EQ(std::tuple(current->width, current->height), std::tuple(90, 160));
  }
}

}  // namespace
}  // namespace rf
