// Random effects, pixelize, deinterlace, oil painting and the mirrors.
#include <gtest/gtest.h>

#include <algorithm>
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
using Greys = std::vector<int32_t>;

class SpecialTest : public test::EffectsTest {};

// Every pixel carries its own position: blue = x, green = y, red = 7.
void Positions(Qimg& img, int32_t w, int32_t h) {
  std::vector<Bgr> px;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) px.push_back({uint8_t(x), uint8_t(y), 7});
  test::Make24(img, w, h, px);
}

// The values each channel takes over the picture, blue first.
std::vector<std::set<int32_t>> ChannelValues(const Qimg& img) {
  std::vector<std::set<int32_t>> sets(3);
  for (int32_t i = 0; i < img.width * img.height * 3; ++i) sets[size_t(i % 3)].insert(img.data[i]);
  return sets;
}

TEST_F(SpecialTest, GeneratorSequence) {
  FnRandSetSeed(0);
  EXPECT_EQ(FnRandom(1000), 0u);                     // seed 1: 1000 / 2^32
  EXPECT_EQ(FnRandom(0x80000000u), 134775814u / 2);  // seed 134775814, high half of x 2^31
  FnRandSetSeed(0xFFFFFFFFu);
  EXPECT_EQ(FnRandom(10), 9u);  // seed wraps to 4160191484; x 10 div 2^32
  EXPECT_EQ(FnRandSeed(), 4160191484u);
  FnRandFix(99);
  FnRandomize();
  EXPECT_EQ(FnRandSeed(), 99u);
}

TEST_F(SpecialTest, ChaosStaysWithinItsRadiusAndRepeatsWithAFixedSeed) {
  for (int32_t radius : {1, 3, 10, 25}) {
    Pic src, dst;
    Positions(src, 40, 30);
    FnRandSetSeed(12345);
    ImgChaos(src, dst, radius);
    EXPECT_EQ(FnRandSeed(), 12345u) << "the seed is restored";
    const int32_t r = std::min(radius, 10);
    int32_t moved = 0, far = 0;
    for (int32_t i = 0; i < 40 * 30; ++i) {
      const Bgr p = At(dst, i % 40, i / 40);
      moved += p[0] != i % 40 || p[1] != i / 40;
      far += std::abs(p[0] - i % 40) > r || std::abs(p[1] - i / 40) > r || p[2] != 7;
    }
    EXPECT_EQ(far, 0) << radius;
    EXPECT_GT(moved, 40 * 30 / 4) << radius;
    EXPECT_EQ(At(src, 5, 5), (Bgr{5, 5, 7})) << "the source is read only";
  }
  Pic a, outA, outB, outC;
  test::Pattern(a, 20, 20, 8);
  FnRandFix(5);
  ImgChaos(a, outA, 2);
  ImgChaos(a, outB, 2);
  FnRandFix(6);
  ImgChaos(a, outC, 2);
  ASSERT_EQ(outA.bpp, 8);
  EXPECT_EQ(test::Bytes(outA), test::Bytes(outB));
  EXPECT_NE(test::Bytes(outA), test::Bytes(outC));
  EXPECT_EQ(std::memcmp(outA.palette, a.palette, sizeof a.palette), 0);
}

TEST_F(SpecialTest, NoiseStepsClampAndZeroCopies) {
  Pic img, low, d, out;
  test::Fill24(img, 32, 32, {128, 0, 255});
  FnRandFix(77);
  ImgNoiseUniform(img, img, 100, 100, 100);
  // Blue 128 -/+ 127, green clamped at 0, red at 255.
  EXPECT_EQ(ChannelValues(img), (std::vector<std::set<int32_t>>{{1, 128, 255}, {0, 127}, {128, 255}}));
  // Per-channel amounts: 10 % is 12; 0 counts as 1 once another value is set.
  test::Fill24(low, 32, 32, Grey(100));
  ImgNoiseUniform(low, low, 10, 1, 0);
  EXPECT_EQ(ChannelValues(low), (std::vector<std::set<int32_t>>{{99, 100, 101}, {99, 100, 101}, {88, 100, 112}}));
  // Gaussian draws take five steps of 10 % (12) around the value, most of them the middle one.
  Pic g;
  test::Fill24(g, 64, 64, Grey(128));
  ImgNoiseGaussian(g, g, 10, 10, 10);
  const std::vector<uint8_t> drawn = test::Bytes(g);
  EXPECT_EQ(std::set<int32_t>(drawn.begin(), drawn.end()), (std::set<int32_t>{104, 116, 128, 140, 152}));
  EXPECT_GT(std::count(drawn.begin(), drawn.end(), 128), int64_t(drawn.size() / 2));
  test::Pattern(d, 16, 16);
  for (auto noise : {ImgNoiseUniform, ImgNoiseGaussian}) {
    noise(d, out, 0, 0, 0);
    EXPECT_EQ(test::Bytes(out), test::Bytes(d)) << "all three zero copy the picture";
  }
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

TEST_F(SpecialTest, InterferenceStreaks) {
  Pic img, wide;
  test::Fill24(img, 200, 50, Grey(0));
  FnRandFix(1);
  ImgNoiseInterference(img, img, 100);
  // n = 100 x 200 x 50 div 3000 + 1 = 334 streaks and up to 83 more, each at most 2 pixels.
  int32_t changed = 0, bad = 0;
  for (int32_t g : test::Greys(img)) {
    changed += g != 0;
    bad += g != 0 && g < 160;
  }
  EXPECT_EQ(bad, 0);
  EXPECT_GT(changed, 200);
  EXPECT_LE(changed, 2 * (334 + 83));

  // Long streaks on a wide picture: grey steps by at most 8 from pixel to pixel.
  test::Fill24(wide, 2000, 4, Grey(0));
  ImgNoiseInterference(wide, wide, 1);
  const Greys g = test::Greys(wide);
  int32_t jumps = 0, runs = 0;
  for (size_t i = 1; i < g.size(); ++i)
    if (i % 2000 && g[i - 1] && g[i]) {
      ++runs;
      jumps += std::abs(g[i - 1] - g[i]) > 8;
    }
  EXPECT_GT(runs, 0);
  EXPECT_LE(jumps, 2) << "only where two streaks meet";
}

TEST_F(SpecialTest, PixelizeBlocks) {
  Pic img, big, col, one;
  test::Make24(img, 5, 2,
               {Grey(0), Grey(10), Grey(20), Grey(30), Grey(40), Grey(2), Grey(12), Grey(22), Grey(32), Grey(42)});
  ImgPixelize(img, big, 64, 64);
  EXPECT_EQ(test::Greys(big), Greys(10, 21));  // 210 div 10
  // Blocks of 2 x 2 from the left: the last column of blocks is one pixel wide.
  // (0 + 10 + 2 + 12) div 4, (20 + 30 + 22 + 32) div 4, (40 + 42) div 2.
  ImgPixelize(img, img, 2, 2);
  EXPECT_EQ(test::Greys(img), (Greys{6, 6, 26, 26, 41, 6, 6, 26, 26, 41}));
  // Sizes below 2 are held at 2; channels are averaged apart.
  test::Make24(
      col, 3, 3,
      {{10, 0, 1}, {20, 0, 3}, {30, 0, 5}, {40, 0, 7}, {50, 0, 9}, {60, 0, 11}, {70, 0, 13}, {80, 0, 15}, {90, 0, 17}});
  ImgPixelize(col, one, 1, 1);
  EXPECT_EQ(test::Bytes(one), (std::vector<uint8_t>{30, 0,  5, 30, 0,  5, 45, 0,  8, 30, 0,  5, 30, 0,
                                                    5,  45, 0, 8,  75, 0, 14, 75, 0, 14, 90, 0, 17}));
}

TEST_F(SpecialTest, DeinterlaceFourRows) {
  // Odd rows replaced: row 0 = row 1, row 2 = (20 + 61) div 2 and (21 + 64) div 2. Even rows
  // replaced: row 1 = (10 + 40) div 2, the last row without one below a copy of row 2. Duplicated.
  const struct {
    int32_t which, duplicate;
    Greys greys;
  } cases[] = {{0, 0, {20, 21, 20, 21, 40, 42, 61, 64}},
               {1, 0, {10, 11, 25, 26, 40, 41, 40, 41}},
               {0, 1, {20, 21, 20, 21, 20, 21, 61, 64}}};
  for (const auto& c : cases) {
    Pic src, out;
    test::Make24(src, 2, 4, {Grey(10), Grey(11), Grey(20), Grey(21), Grey(40), Grey(41), Grey(61), Grey(64)});
    // Interpolation in place, duplication into another picture, whose source is read only.
    Qimg& dst = c.duplicate ? out : src;
    ImgDeinterlace(src, dst, c.which, c.duplicate);
    EXPECT_EQ(test::Greys(dst), c.greys) << c.which << c.duplicate;
    EXPECT_EQ(At(src, 0, 0), Grey(c.duplicate ? 10 : c.greys[0]));
  }
  // Duplicating keeps every depth; interpolating works at 24 bits.
  Pic w16, i16;
  test::Pattern(w16, 3, 4, 16);
  test::Pattern(i16, 3, 4, 16);
  auto rows = test::Bytes(w16);
  std::copy(rows.begin(), rows.begin() + 6, rows.begin() + 6);
  std::copy(rows.begin() + 12, rows.begin() + 18, rows.begin() + 18);
  ImgDeinterlace(w16, w16, 1, 1);
  EXPECT_EQ(w16.bpp, 16);
  EXPECT_EQ(test::Bytes(w16), rows);
  ImgDeinterlace(i16, i16, 1, 0);
  EXPECT_EQ(i16.bpp, 24);
}

TEST_F(SpecialTest, OilPaintingTakesTheCommonestValue) {
  // A lone odd pixel disappears; each channel votes alone.
  Pic img, out, plain;
  std::vector<Bgr> px(25, Bgr{10, 20, 30});
  px[12] = {200, 20, 1};
  test::Make24(img, 5, 5, px);
  test::Fill24(plain, 5, 5, {10, 20, 30});
  ImgOilPainting(img, out, 1);
  EXPECT_EQ(test::Bytes(out), test::Bytes(plain));

  // A tie goes to the value met first: the corner window holds two of each; the centre 5 to 4.
  for (uint8_t first : {uint8_t(50), uint8_t(90)}) {
    const Bgr f = Grey(first), o = Grey(uint8_t(140 - first));
    Pic tie, painted;
    test::Make24(tie, 3, 3, {f, o, f, o, f, o, f, o, f});
    ImgOilPainting(tie, painted, 1);
    EXPECT_EQ(At(painted, 0, 0), f);
    EXPECT_EQ(At(painted, 1, 1), f);
  }
}

TEST_F(SpecialTest, OilPaintingRadiusLimit) {
  Pic a, r9, r7, r6, narrow, r5, r4, thin, same;
  test::Pattern(a, 20, 30, 24, 1);
  test::Pattern(narrow, 10, 30, 24, 1);
  // Only 32 distinct values, so that windows have clear winners.
  for (Qimg* p : {&a, &narrow})
    for (int32_t i = 0; i < p->size; ++i) p->data[i] &= 0xF8;
  ImgOilPainting(a, r9, 9);
  ImgOilPainting(a, r7, 7);
  ImgOilPainting(a, r6, 6);
  EXPECT_EQ(test::Bytes(r9), test::Bytes(r7)) << "the radius is held at 7";
  EXPECT_NE(test::Bytes(r7), test::Bytes(r6));
  ImgOilPainting(narrow, r5, 5);
  ImgOilPainting(narrow, r4, 4);
  EXPECT_EQ(test::Bytes(r5), test::Bytes(r4)) << "(10 - 1) div 2 = 4";
  // Two pixels across leave no room for a radius: the picture is copied.
  test::Pattern(thin, 2, 9);
  ImgOilPainting(thin, same, 3);
  EXPECT_EQ(test::Bytes(same), test::Bytes(thin));
}

TEST_F(SpecialTest, Mirrors) {
  Pic row, even, evenOut, col, i8, w16;
  test::Make24(row, 5, 1, {Grey(1), Grey(2), Grey(3), Grey(4), Grey(5)});
  ImgMirrorH(row, row);
  EXPECT_EQ(test::Greys(row), (Greys{1, 2, 3, 2, 1}));
  test::Make24(even, 4, 1, {Grey(1), Grey(2), Grey(3), Grey(4)});
  ImgMirrorH(even, evenOut);
  EXPECT_EQ(test::Greys(evenOut), (Greys{1, 2, 2, 1}));
  EXPECT_EQ(At(even, 3, 0), Grey(4)) << "the source is read only";
  test::Make24(col, 1, 4, {Grey(1), Grey(2), Grey(3), Grey(4)});
  ImgMirrorV(col, col);
  EXPECT_EQ(test::Greys(col), (Greys{1, 2, 2, 1}));

  // Mirror H keeps 8 bits, Mirror V every depth; 8-bit indices move, the palette stays.
  test::Pattern(i8, 3, 2, 8);
  test::Pattern(w16, 2, 3, 16);
  auto indices = test::Bytes(i8), words = test::Bytes(w16);
  indices[2] = indices[0], indices[5] = indices[3];
  std::copy(words.begin(), words.begin() + 4, words.begin() + 8);
  ImgMirrorH(i8, i8);
  ImgMirrorV(w16, w16);
  EXPECT_EQ(i8.bpp * 100 + w16.bpp, 816);
  EXPECT_EQ(test::Bytes(i8), indices);
  EXPECT_EQ(test::Bytes(w16), words);
}

}  // namespace
}  // namespace rf
