// Resize, resample and rotate: the exact pixel and row sequences, averages and turn properties.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "common/test_support.h"
#include "foundation/trackedmem.h"
#include "image/imgbasic.h"
#include "image_test_util.h"

namespace rf {
namespace {

using test::MakeFrom;
using test::MakePattern;
using test::Pixel;
using test::Pixels;
using test::SameImage;

class ImgGeomTest : public test::FoundationTest {};

std::vector<uint32_t> Iota(int32_t n) {
  std::vector<uint32_t> v(static_cast<size_t>(n));
  std::iota(v.begin(), v.end(), 0u);
  return v;
}

// Which source column (or row) each destination column (or row) of ImgResize takes.
std::vector<uint32_t> Resized(int32_t from, int32_t to, bool rows) {
  Qimg a, b;
  MakeFrom(a, rows ? 1 : from, rows ? from : 1, 8, Iota(from));
  ImgResize(a, b, rows ? 1 : to, rows ? to : 1);
  std::vector<uint32_t> v = Pixels(b);
  ImgFree(a);
  ImgFree(b);
  return v;
}
std::vector<uint32_t> ResizedColumns(int32_t from, int32_t to) { return Resized(from, to, false); }
std::vector<uint32_t> ResizedRows(int32_t from, int32_t to) { return Resized(from, to, true); }

TEST_F(ImgGeomTest, ResizeSequences) {
  // Shrinking columns: the rule the closed forms below leave open.
  EXPECT_EQ(ResizedColumns(8, 4), (std::vector<uint32_t>{0, 2, 4, 6}));
  EXPECT_EQ(ResizedColumns(9, 6), (std::vector<uint32_t>{0, 2, 4, 5, 7, 8})) << "a sum on a boundary skips one more";
}

// The closed forms of the stepping rules, over many sizes: enlarging takes floor(n step), shrinking
// rows take ceil(m step); every shrinking column sequence rises strictly and stays inside.
TEST_F(ImgGeomTest, ResizeFollowsTheSteppingRulesAtManySizes) {
  for (int32_t from = 1; from <= 24; ++from)
    for (int32_t to = 1; to <= 40; ++to) {
      const int64_t step = int64_t(from) * 100000 / to;
      const std::vector<uint32_t> cols = ResizedColumns(from, to), rows = ResizedRows(from, to);
      ASSERT_EQ(cols.size(), size_t(to));
      ASSERT_EQ(rows.size(), size_t(to));
      for (int32_t n = 0; n < to; ++n) {
        if (step <= 100000) {
          EXPECT_EQ(cols[n], uint32_t(n * step / 100000)) << from << "->" << to << " at " << n;
          EXPECT_EQ(rows[n], uint32_t(n * step / 100000)) << from << "->" << to << " at " << n;
        } else {
          EXPECT_EQ(rows[n], uint32_t((n * step + 99999) / 100000)) << from << "->" << to << " at " << n;
          EXPECT_LT(cols[n], uint32_t(from));
          if (n > 0) {
            EXPECT_GT(cols[n], cols[n - 1]);
          }
        }
      }
    }
}

TEST_F(ImgGeomTest, ResizeKeepsEightBitsAndWorksInPlace) {
  Qimg pal, out;
  MakePattern(pal, 6, 5, 8, 2);
  ImgResize(pal, out, 6, 5);
  EXPECT_TRUE(SameImage(pal, out)) << "the same size copies the picture";
  EXPECT_EQ(std::memcmp(pal.palette, out.palette, 768), 0);
  Qimg w16, rgb;
  MakePattern(w16, 6, 5, 16, 3);
  ImgConvBpp(w16, rgb, 24);
  ImgResize(w16, w16, 12, 3);
  EXPECT_EQ(w16.bpp, 24) << "depths other than 8 are scaled at 24 bits";
  EXPECT_EQ(std::vector<uint32_t>({Pixel(w16, 11, 2), Pixel(w16, 3, 1)}),
            std::vector<uint32_t>({Pixel(rgb, 5, 4), Pixel(rgb, 1, 2)}));
  EXPECT_EQ(MemCount(), 4) << "the temporary of the in-place run is gone";
  for (Qimg* p : {&pal, &out, &w16, &rgb}) ImgFree(*p);
}

// A grey row (or column) resampled to another length, as grey levels.
std::vector<uint32_t> Resampled(const std::vector<uint32_t>& grey, int32_t to, bool column) {
  std::vector<uint32_t> px;
  for (uint32_t g : grey) px.push_back(g * 0x010101);
  const int32_t n = int32_t(px.size());
  Qimg a, b;
  MakeFrom(a, column ? 1 : n, column ? n : 1, 24, px);
  ImgResample(a, b, column ? 1 : to, column ? to : 1);
  std::vector<uint32_t> out;
  for (uint32_t v : Pixels(b)) out.push_back(v & 0xFF);
  ImgFree(a);
  ImgFree(b);
  return out;
}
std::vector<uint32_t> ResampledRow(const std::vector<uint32_t>& grey, int32_t to) { return Resampled(grey, to, false); }
std::vector<uint32_t> ResampledColumn(const std::vector<uint32_t>& grey, int32_t to) {
  return Resampled(grey, to, true);
}

TEST_F(ImgGeomTest, ResampleEnlargesByMidpoints) {
  EXPECT_EQ(ResampledRow({10, 20}, 4), (std::vector<uint32_t>{10, 15, 20, 20}));
  EXPECT_EQ(ResampledRow({0, 100, 200}, 7), (std::vector<uint32_t>{0, 25, 50, 100, 150, 200, 200}));
  EXPECT_EQ(ResampledRow({0, 9}, 8), (std::vector<uint32_t>{0, 2, 4, 6, 9, 9, 9, 9})) << "two doublings";
  // Rows double bottom-up first, so the repeated row is the top one; the last pass inserts means.
  EXPECT_EQ(ResampledColumn({10, 20}, 4), (std::vector<uint32_t>{10, 10, 15, 20}));
  EXPECT_EQ(ResampledColumn({0, 100, 200}, 5), (std::vector<uint32_t>{0, 50, 100, 150, 200}));
  EXPECT_EQ(ResampledColumn({10, 20}, 5), (std::vector<uint32_t>{10, 10, 10, 15, 20}));
  EXPECT_EQ(ResampledColumn({0, 8}, 8), (std::vector<uint32_t>{0, 0, 0, 2, 4, 6, 8, 8})) << "second pass top-down";
}

// Enlarging a ramp, through any mix of doubling passes and the last pass in either direction,
// keeps both ends and never steps down: a row spoilt by the in-place passes would break the order.
TEST_F(ImgGeomTest, ResampleEnlargementKeepsRampsInOrder) {
  for (int32_t n = 2; n <= 7; ++n) {
    std::vector<uint32_t> ramp;
    for (int32_t i = 0; i < n; ++i) ramp.push_back(uint32_t(i * 250 / (n - 1)));
    for (int32_t to = n; to <= 5 * n + 3; ++to) {
      for (const std::vector<uint32_t>& out : {ResampledRow(ramp, to), ResampledColumn(ramp, to)}) {
        ASSERT_EQ(out.size(), size_t(to));
        EXPECT_EQ(out.front(), 0u) << n << "->" << to;
        EXPECT_EQ(out.back(), 250u) << n << "->" << to;
        for (int32_t i = 1; i < to; ++i) EXPECT_LE(out[i - 1], out[i]) << n << "->" << to << " at " << i;
      }
    }
  }
}

TEST_F(ImgGeomTest, ResampleShrinksByBoxAverages) {
  EXPECT_EQ(ResampledColumn({10, 20, 30, 41}, 2), (std::vector<uint32_t>{15, 35}));
  EXPECT_EQ(ResampledRow({10, 20, 30, 41}, 2), (std::vector<uint32_t>{15, 35}));
  EXPECT_EQ(ResampledRow({0, 10, 20, 30, 40, 50, 60, 70, 80}, 6), (std::vector<uint32_t>{5, 25, 40, 55, 70, 80}));
  EXPECT_EQ(ResampledColumn({0, 10, 20, 30, 40, 50, 60, 70, 80}, 6), (std::vector<uint32_t>{5, 20, 35, 50, 65, 80}))
      << "rows join a run only past a boundary";

  // Whole-factor shrinks average blocks exactly, also for runs longer than 255 pixels or rows.
  for (int32_t k : {2, 3, 7, 255, 256, 300, 1000}) {
    std::vector<uint32_t> grey;
    uint32_t s = uint32_t(k);
    for (int32_t i = 0; i < 3 * k; ++i) {
      s = s * 1103515245u + 12345u;
      grey.push_back(i < k ? 255 : (s >> 16) & 0xFF);
    }
    std::vector<uint32_t> want;
    for (int32_t b = 0; b < 3; ++b) {
      uint32_t sum = 0;
      for (int32_t i = 0; i < k; ++i) sum += grey[size_t(b * k + i)];
      want.push_back(sum / uint32_t(k));
    }
    EXPECT_EQ(want[0], 255u);
    EXPECT_EQ(ResampledRow(grey, 3), want) << k;
    EXPECT_EQ(ResampledColumn(grey, 3), want) << k;
  }
}

TEST_F(ImgGeomTest, ResampleGivesTwentyFourBitsAndKeepsFlatPictures) {
  Qimg pal, out;
  MakeFrom(pal, 3, 2, 8, std::vector<uint32_t>(6, 4));
  pal.palette[4][0] = 9, pal.palette[4][1] = 99, pal.palette[4][2] = 199;
  const int32_t sizes[][2] = {{3, 2}, {1, 1}, {7, 5}, {13, 9}, {2, 17}, {40, 1}};
  for (const auto& sz : sizes) {
    ImgResample(pal, out, sz[0], sz[1]);
    ASSERT_EQ(std::vector<int32_t>({out.bpp, out.width, out.height}), std::vector<int32_t>({24, sz[0], sz[1]}));
    EXPECT_EQ(Pixels(out), std::vector<uint32_t>(size_t(sz[0]) * sz[1], 0xC76309)) << sz[0] << "x" << sz[1];
  }
  Qimg rgb, same;
  MakePattern(rgb, 9, 6, 24, 5);
  ImgResample(rgb, same, 9, 6);
  EXPECT_TRUE(SameImage(rgb, same));
  ImgResample(rgb, rgb, 4, 15);
  EXPECT_EQ(rgb.width * 100 + rgb.height, 415);
  for (Qimg* p : {&pal, &out, &rgb, &same}) ImgFree(*p);
}

TEST_F(ImgGeomTest, RotationTurnsAndRoundTrips) {
  Qimg src, turned;
  MakeFrom(src, 2, 3, 24, {1, 2, 3, 4, 5, 6});
  ImgRotate(src, turned, 1);
  EXPECT_EQ(turned.width * 100 + turned.height, 302);
  EXPECT_EQ(Pixels(turned), (std::vector<uint32_t>{5, 3, 1, 6, 4, 2})) << "left column read upwards on top";
  ImgRotate(src, turned, 3);
  EXPECT_EQ(Pixels(turned), (std::vector<uint32_t>{2, 4, 6, 1, 3, 5}));
  ImgRotate(src, turned, 2);
  EXPECT_EQ(Pixels(turned), (std::vector<uint32_t>{6, 5, 4, 3, 2, 1}));

  for (int32_t bpp : {8, 24}) {
    Qimg orig, a, b;
    MakePattern(orig, 37, 70, bpp, uint32_t(bpp));
    ImgCopy(orig, a);
    for (int32_t i = 0; i < 4; ++i) ImgRotate(a, a, 1);
    EXPECT_TRUE(SameImage(a, orig)) << "four quarter turns";
    ImgRotate(orig, a, 1);
    ImgRotate(a, a, 3);
    EXPECT_TRUE(SameImage(a, orig)) << "clockwise then counter-clockwise";
    ImgRotate(orig, a, 2);
    ImgRotate(orig, b, 1);
    ImgRotate(b, b, 1);
    EXPECT_TRUE(SameImage(a, b)) << "half turn = two quarter turns";
    ImgRotate(a, a, 2);
    EXPECT_TRUE(SameImage(a, orig));
    EXPECT_EQ(std::memcmp(a.palette, orig.palette, 768) == 0, bpp == 8);
    for (Qimg* p : {&orig, &a, &b}) ImgFree(*p);
  }
  Qimg w16, copy;
  MakePattern(w16, 3, 4, 16, 8);
  ImgRotate(w16, copy, 0);
  EXPECT_TRUE(SameImage(w16, copy)) << "other modes copy, keeping the depth";
  ImgRotate(w16, w16, 3);
  EXPECT_EQ(w16.bpp * 100 + w16.width, 2404);
  for (Qimg* p : {&src, &turned, &w16, &copy}) ImgFree(*p);
}

}  // namespace
}  // namespace rf
