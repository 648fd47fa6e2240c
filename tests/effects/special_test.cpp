// Random effects, pixelize, deinterlace, oil painting and the mirrors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "effects/fnrandom.h"
#include "effects/fx_test_util.h"
#include "effects/special.h"

namespace rf {
namespace {

using test::At;
using test::Bgr;
using test::Grey;
using test::Pic;

class SpecialTest : public test::EffectsTest {};

// Every pixel carries its own position: blue = x, green = y, red = 7.
void Positions(Qimg& img, int32_t w, int32_t h) {
  std::vector<Bgr> px;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) px.push_back({uint8_t(x), uint8_t(y), 7});
  test::Make24(img, w, h, px);
}

TEST_F(SpecialTest, GeneratorSequence) {
  FnRandSetSeed(0);
  EXPECT_EQ(FnRandom(1000), 0u);  // seed 1: 1000 / 2^32
  EXPECT_EQ(FnRandSeed(), 1u);
  EXPECT_EQ(FnRandom(0x80000000u), 134775814u / 2);  // seed 134775814, high half of x 2^31
  FnRandSetSeed(0xFFFFFFFFu);
  EXPECT_EQ(FnRandom(10), 9u);  // seed wraps to 4160191484; x 10 div 2^32
  EXPECT_EQ(FnRandSeed(), 4160191484u);
  FnRandFix(99);
  FnRandomize();
  EXPECT_EQ(FnRandSeed(), 99u);
  FnRandUnfix();
}

TEST_F(SpecialTest, ChaosStaysWithinItsRadius) {
  for (int32_t radius : {1, 3, 10, 25}) {
    Pic src, dst;
    Positions(src, 40, 30);
    FnRandSetSeed(12345);
    ImgChaos(src, dst, radius);
    EXPECT_EQ(FnRandSeed(), 12345u) << "the seed is restored";
    const int32_t r = std::min(radius, 10);
    int32_t moved = 0, far = 0;
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) {
        const Bgr p = At(dst, x, y);
        moved += p[0] != x || p[1] != y;
        far += std::abs(p[0] - x) > r || std::abs(p[1] - y) > r || p[2] != 7;
      }
    EXPECT_EQ(far, 0) << radius;
    EXPECT_GT(moved, 40 * 30 / 4) << radius;
    EXPECT_EQ(At(src, 5, 5), (Bgr{5, 5, 7})) << "the source is read only";
  }
}

TEST_F(SpecialTest, ChaosRepeatsWithAFixedSeedAndKeepsEightBits) {
  Pic a, b, c, outA, outB, outC;
  test::Pattern(a, 20, 20, 8);
  test::Pattern(b, 20, 20, 8);
  test::Pattern(c, 20, 20, 8);
  FnRandFix(5);
  ImgChaos(a, outA, 2);
  ImgChaos(b, outB, 2);
  FnRandFix(6);
  ImgChaos(c, outC, 2);
  ASSERT_EQ(outA.bpp, 8);
  EXPECT_EQ(test::Bytes(outA), test::Bytes(outB));
  EXPECT_NE(test::Bytes(outA), test::Bytes(outC));
  EXPECT_EQ(std::memcmp(outA.palette, a.palette, sizeof a.palette), 0);
}

TEST_F(SpecialTest, UniformNoiseSteps) {
  Pic img;
  test::Fill24(img, 32, 32, {128, 0, 255});
  FnRandFix(77);
  ImgNoiseUniform(img, img, 100, 100, 100);
  std::set<int32_t> blue, green, red;
  for (int32_t i = 0; i < 32 * 32; ++i) {
    const Bgr p = At(img, i % 32, i / 32);
    blue.insert(p[0]);
    green.insert(p[1]);
    red.insert(p[2]);
  }
  EXPECT_EQ(blue, (std::set<int32_t>{1, 128, 255}));  // 128 - 127, 128, 128 + 127
  EXPECT_EQ(green, (std::set<int32_t>{0, 127}));      // clamped at 0
  EXPECT_EQ(red, (std::set<int32_t>{128, 255}));      // clamped at 255

  // Per-channel amounts: 10 % is 12.
  Pic low;
  test::Fill24(low, 32, 32, Grey(100));
  ImgNoiseUniform(low, low, 10, 1, 0);
  std::set<int32_t> r10, g1, b0;
  for (int32_t i = 0; i < 32 * 32; ++i) {
    const Bgr p = At(low, i % 32, i / 32);
    b0.insert(p[0]);
    g1.insert(p[1]);
    r10.insert(p[2]);
  }
  EXPECT_EQ(r10, (std::set<int32_t>{88, 100, 112}));
  EXPECT_EQ(g1, (std::set<int32_t>{99, 100, 101}));
  EXPECT_EQ(b0, (std::set<int32_t>{99, 100, 101}));  // 0 counts as 1 once another value is set
}

TEST_F(SpecialTest, GaussianNoiseSteps) {
  Pic img;
  test::Fill24(img, 64, 64, Grey(128));
  FnRandFix(3);
  ImgNoiseGaussian(img, img, 10, 10, 10);
  std::multiset<int32_t> seen;
  for (int32_t i = 0; i < 64 * 64 * 3; ++i) seen.insert(img.data[i]);
  std::set<int32_t> distinct(seen.begin(), seen.end());
  EXPECT_EQ(distinct, (std::set<int32_t>{104, 116, 128, 140, 152}));
  // Most draws fall in the middle step.
  EXPECT_GT(seen.count(128), seen.size() / 2);
  EXPECT_LT(seen.count(104), seen.count(116));
}

// The draws follow the shared generator one by one, red byte first, then green, then blue.
TEST_F(SpecialTest, NoiseDrawsInGeneratorOrder) {
  Pic uni, gauss;
  test::Fill24(uni, 5, 3, {100, 120, 140});
  test::Fill24(gauss, 5, 3, {100, 120, 140});
  FnRandFix(2024);
  ImgNoiseUniform(uni, uni, 30, 20, 10);  // amounts 38, 25, 12
  ImgNoiseGaussian(gauss, gauss, 30, 20, 10);
  const int32_t amount[3] = {12, 25, 38};  // blue, green, red
  FnRandSetSeed(2024);
  for (int32_t i = 0; i < 15; ++i)
    for (int32_t c = 2; c >= 0; --c) {
      const int32_t k = int32_t(FnRandom(3)) - 1;
      EXPECT_EQ(uni.data[3 * i + c], uint8_t(100 + 20 * c + k * amount[c])) << i << "," << c;
    }
  FnRandSetSeed(2024);
  for (int32_t i = 0; i < 15; ++i)
    for (int32_t c = 2; c >= 0; --c) {
      int32_t t = 0;
      for (int32_t j = 0; j < 4; ++j) t += int32_t(FnRandom(2147483647u) & 32767u);
      const int32_t k = int32_t(t * 0.0000528596089837 - 3.46410161514);
      const int32_t change = k == 3 || k == -3 ? 0 : k * amount[c];
      EXPECT_EQ(gauss.data[3 * i + c], uint8_t(100 + 20 * c + change)) << i << "," << c;
    }
}

TEST_F(SpecialTest, NoiseRepeatsWithAFixedSeed) {
  for (auto noise : {ImgNoiseUniform, ImgNoiseGaussian}) {
    Pic a, b, c;
    test::Pattern(a, 16, 16);
    test::Pattern(b, 16, 16);
    test::Pattern(c, 16, 16);
    const auto before = test::Bytes(a);
    FnRandFix(42);
    noise(a, a, 50, 50, 50);
    noise(b, b, 50, 50, 50);
    FnRandFix(43);
    noise(c, c, 50, 50, 50);
    EXPECT_EQ(test::Bytes(a), test::Bytes(b));
    EXPECT_NE(test::Bytes(a), test::Bytes(c));
    EXPECT_NE(test::Bytes(a), before);
    // All three zero copy the picture.
    Pic d, out;
    test::Pattern(d, 16, 16);
    noise(d, out, 0, 0, 0);
    EXPECT_EQ(test::Bytes(out), test::Bytes(d));
  }
}

TEST_F(SpecialTest, InterferenceStreaks) {
  Pic img;
  test::Fill24(img, 200, 50, Grey(0));
  FnRandFix(1);
  ImgNoiseInterference(img, img, 100);
  // n = 100 x 200 x 50 div 3000 + 1 = 334 streaks and up to 83 more, each at most 2 pixels.
  int32_t changed = 0, bad = 0;
  for (int32_t y = 0; y < 50; ++y)
    for (int32_t x = 0; x < 200; ++x) {
      const Bgr p = At(img, x, y);
      if (p == Grey(0)) continue;
      ++changed;
      bad += p[0] != p[1] || p[1] != p[2] || p[0] < 160;
    }
  EXPECT_EQ(bad, 0);
  EXPECT_GT(changed, 200);
  EXPECT_LE(changed, 2 * (334 + 83));

  // Long streaks on a wide picture: grey steps by at most 8 from pixel to pixel.
  Pic wide;
  test::Fill24(wide, 2000, 4, Grey(0));
  ImgNoiseInterference(wide, wide, 1);
  int32_t jumps = 0, runs = 0;
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 1; x < 2000; ++x) {
      const int32_t a = At(wide, x - 1, y)[0], b = At(wide, x, y)[0];
      if (a && b) {
        ++runs;
        jumps += std::abs(a - b) > 8;
      }
    }
  EXPECT_GT(runs, 0);
  EXPECT_LE(jumps, 2) << "only where two streaks meet";
}

TEST_F(SpecialTest, PixelizeBlocks) {
  Pic img;
  test::Make24(img, 5, 2,
               {Grey(0), Grey(10), Grey(20), Grey(30), Grey(40), Grey(2), Grey(12), Grey(22), Grey(32), Grey(42)});
  Pic big;
  ImgPixelize(img, big, 64, 64);
  for (int32_t i = 0; i < 10; ++i) EXPECT_EQ(At(big, i % 5, i / 5), Grey(21));  // 210 div 10

  // Blocks of 2 x 2 from the left: the last column of blocks is one pixel wide.
  // (0 + 10 + 2 + 12) div 4, (20 + 30 + 22 + 32) div 4, (40 + 42) div 2.
  ImgPixelize(img, img, 2, 2);
  EXPECT_EQ(test::Greys(img), (std::vector<int32_t>{6, 6, 26, 26, 41, 6, 6, 26, 26, 41}));

  // Sizes below 2 are held at 2.
  Pic col, one;
  test::Make24(col, 1, 3, {Grey(10), Grey(20), Grey(31)});
  ImgPixelize(col, one, 1, 1);
  EXPECT_EQ(test::Greys(one), (std::vector<int32_t>{15, 15, 31}));
}

TEST_F(SpecialTest, DeinterlaceFourRows) {
  auto rows = [](Qimg& img) {
    test::Make24(img, 2, 4, {Grey(10), Grey(11), Grey(20), Grey(21), Grey(40), Grey(41), Grey(61), Grey(64)});
  };
  // Odd rows replaced: row 0 = row 1, row 2 = (20 + 61) div 2 and (21 + 64) div 2. Even rows
  // replaced: row 1 = (10 + 40) div 2, the last row without one below a copy of row 2. Duplicated.
  const struct {
    int32_t which, duplicate;
    std::vector<int32_t> greys;
  } cases[] = {{0, 0, {20, 21, 20, 21, 40, 42, 61, 64}},
               {1, 0, {10, 11, 25, 26, 40, 41, 40, 41}},
               {0, 1, {20, 21, 20, 21, 20, 21, 61, 64}}};
  for (const auto& c : cases) {
    Pic src, out;
    rows(src);
    // Interpolation in place, duplication into another picture, whose source is read only.
    Qimg& dst = c.duplicate ? out : src;
    ImgDeinterlace(src, dst, c.which, c.duplicate);
    EXPECT_EQ(test::Greys(dst), c.greys) << c.which << c.duplicate;
    if (c.duplicate) {
      EXPECT_EQ(At(src, 0, 0), Grey(10));
    }
  }

  // Duplicating keeps every depth; interpolating works at 24 bits.
  Pic w16, i16;
  test::Pattern(w16, 3, 4, 16);
  test::Pattern(i16, 3, 4, 16);
  const auto before = test::Bytes(w16);
  ImgDeinterlace(w16, w16, 1, 1);
  ASSERT_EQ(w16.bpp, 16);
  EXPECT_EQ(std::memcmp(w16.data + 6, before.data(), 6), 0);  // row 1 = row 0
  EXPECT_EQ(std::memcmp(w16.data + 12, before.data() + 12, 6), 0);
  ImgDeinterlace(i16, i16, 1, 0);
  EXPECT_EQ(i16.bpp, 24);
}

TEST_F(SpecialTest, OilPaintingTakesTheCommonestValue) {
  // A lone odd pixel disappears; each channel votes alone.
  Pic img;
  std::vector<Bgr> px(25, Bgr{10, 20, 30});
  px[12] = {200, 20, 1};
  test::Make24(img, 5, 5, px);
  Pic out;
  ImgOilPainting(img, out, 1);
  for (int32_t i = 0; i < 25; ++i) EXPECT_EQ(At(out, i % 5, i / 5), (Bgr{10, 20, 30})) << i;

  // A tie goes to the value met first: the corner window holds two of each.
  for (uint8_t first : {uint8_t(50), uint8_t(90)}) {
    const uint8_t other = first == 50 ? 90 : 50;
    Pic tie, painted;
    test::Make24(tie, 3, 3,
                 {Grey(first), Grey(other), Grey(first), Grey(other), Grey(first), Grey(other), Grey(first),
                  Grey(other), Grey(first)});
    ImgOilPainting(tie, painted, 1);
    EXPECT_EQ(At(painted, 0, 0), Grey(first));
    EXPECT_EQ(At(painted, 1, 1), Grey(first));  // 5 against 4
  }
}

TEST_F(SpecialTest, OilPaintingRadiusLimit) {
  Pic a, b, c, r7, r4, r3;
  test::Pattern(a, 10, 30, 24, 1);
  test::Pattern(b, 10, 30, 24, 1);
  test::Pattern(c, 10, 30, 24, 1);
  // Only 32 distinct values, so that windows have clear winners.
  for (Qimg* p : {&a, &b, &c})
    for (int32_t i = 0; i < p->size; ++i) p->data[i] &= 0xF8;
  ImgOilPainting(a, r7, 7);
  ImgOilPainting(b, r4, 4);
  ImgOilPainting(c, r3, 3);
  EXPECT_EQ(test::Bytes(r7), test::Bytes(r4));  // (10 - 1) div 2 = 4
  EXPECT_NE(test::Bytes(r4), test::Bytes(r3));

  // Two pixels across leave no room for a radius: the picture is copied.
  Pic thin, same;
  test::Pattern(thin, 2, 9);
  ImgOilPainting(thin, same, 3);
  EXPECT_EQ(test::Bytes(same), test::Bytes(thin));
}

TEST_F(SpecialTest, Mirrors) {
  Pic row;
  test::Make24(row, 5, 1, {Grey(1), Grey(2), Grey(3), Grey(4), Grey(5)});
  ImgMirrorH(row, row);
  EXPECT_EQ(test::Greys(row), (std::vector<int32_t>{1, 2, 3, 2, 1}));

  Pic even, evenOut;
  test::Make24(even, 4, 1, {Grey(1), Grey(2), Grey(3), Grey(4)});
  ImgMirrorH(even, evenOut);
  EXPECT_EQ(test::Greys(evenOut), (std::vector<int32_t>{1, 2, 2, 1}));
  EXPECT_EQ(At(even, 3, 0), Grey(4)) << "the source is read only";

  Pic col;
  test::Make24(col, 1, 4, {Grey(1), Grey(2), Grey(3), Grey(4)});
  ImgMirrorV(col, col);
  EXPECT_EQ(test::Greys(col), (std::vector<int32_t>{1, 2, 2, 1}));

  // Mirror H keeps 8 bits, Mirror V every depth; 8-bit indices move, the palette stays.
  Pic i8, w16;
  test::Pattern(i8, 3, 2, 8);
  test::Pattern(w16, 2, 3, 16);
  const auto indices = test::Bytes(i8);
  const auto words = test::Bytes(w16);
  ImgMirrorH(i8, i8);
  ImgMirrorV(w16, w16);
  ASSERT_EQ(i8.bpp, 8);
  EXPECT_EQ(i8.data[2] << 8 | i8.data[1], indices[0] << 8 | indices[1]);
  ASSERT_EQ(w16.bpp, 16);
  EXPECT_EQ(std::memcmp(w16.data + 8, words.data(), 4), 0);  // row 2 = row 0
  EXPECT_EQ(std::memcmp(w16.data + 4, words.data() + 4, 4), 0);
}

}  // namespace
}  // namespace rf
