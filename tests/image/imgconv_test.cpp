// Depth conversions: exact values, grey fills, round trips over every depth, in place and not.
#include <gtest/gtest.h>

#include <cstring>
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

class ImgConvTest : public test::FoundationTest {};

constexpr int32_t kDeep[] = {15, 16, 24, 32};

std::vector<uint32_t> Convert(const std::vector<uint32_t>& px, int32_t from, int32_t to, int32_t method = 0) {
  Qimg a, b;
  MakeFrom(a, int32_t(px.size()), 1, from, px);
  ImgConvBppEx(a, b, to, method);
  std::vector<uint32_t> out = Pixels(b);
  ImgFree(a);
  ImgFree(b);
  return out;
}

TEST_F(ImgConvTest, WordValues) {
  EXPECT_EQ(Convert({0xFFFF}, 16, 24), (std::vector<uint32_t>{0xF8FCF8}));
  EXPECT_EQ(Convert({0x7FFF}, 15, 24), (std::vector<uint32_t>{0xF8F8F8}));
  EXPECT_EQ(Convert(Convert({0xFFFFFF}, 24, 16), 16, 24), (std::vector<uint32_t>{0xF8FCF8}));
  EXPECT_EQ(Convert(Convert({0xFFFF}, 16, 15), 15, 16), (std::vector<uint32_t>{0xFFDF}));
  // Channels land in their own fields: blue low, red high; green keeps 5 or 6 bits.
  EXPECT_EQ(Convert({0x0000FF, 0x00FF00, 0xFF0000, 0x0C0804}, 24, 16),
            (std::vector<uint32_t>{0x001F, 0x07E0, 0xF800, (1 << 11) | (2 << 5) | 0}));
  EXPECT_EQ(Convert({0x0000FF, 0x00FF00, 0xFF0000}, 24, 15), (std::vector<uint32_t>{0x001F, 0x03E0, 0x7C00}));
  EXPECT_EQ(Convert({0x03E0, 0x0020}, 15, 16), (std::vector<uint32_t>{0x07C0, 0x0040})) << "green gains a low 0";
  EXPECT_EQ(Convert({0x07E0, 0x0020}, 16, 15), (std::vector<uint32_t>{0x03E0, 0x0000})) << "the low green bit goes";
  EXPECT_EQ(Convert({0x123456}, 24, 32), (std::vector<uint32_t>{0x00123456}));
  EXPECT_EQ(Convert({0xFF123456}, 32, 24), (std::vector<uint32_t>{0x123456}));
  EXPECT_EQ(Convert({0x7C1F}, 15, 32), (std::vector<uint32_t>{0x00F800F8}));
}

TEST_F(ImgConvTest, PaletteSources) {
  Qimg pal, out;
  MakeFrom(pal, 3, 1, 8, {0, 1, 255});
  const uint8_t entries[3][3] = {{255, 255, 255}, {8, 4, 16}, {1, 2, 3}};  // blue, green, red
  std::memcpy(pal.palette[0], entries[0], 3);
  std::memcpy(pal.palette[1], entries[1], 3);
  std::memcpy(pal.palette[255], entries[2], 3);
  const std::pair<int32_t, std::vector<uint32_t>> depths[] = {{24, {0xFFFFFF, 0x100408, 0x030201}},
                                                              {16, {0xFFFF, (2 << 11) | (1 << 5) | 1, 0}},
                                                              {15, {0x7FFF, (2 << 10) | (0 << 5) | 1, 0}},
                                                              {32, {0xFFFFFF, 0x100408, 0x030201}}};
  for (const auto& [bpp, px] : depths) {
    ImgConvBpp(pal, out, bpp);
    EXPECT_EQ(Pixels(out), px) << bpp;
  }
  ImgFree(pal);
  ImgFree(out);
}

TEST_F(ImgConvTest, GreyMethodsAndTheirFills) {
  for (int32_t method : {2, 4}) {
    Qimg rgb, grey;
    MakeFrom(rgb, 2, 1, 24, {(31 << 16) | (20 << 8) | 10, 0xFFFFFF});
    ImgConvBppEx(rgb, grey, 8, method);
    EXPECT_EQ(Pixels(grey), (std::vector<uint32_t>{20, 255}));
    for (int32_t i = 0; i < 256; ++i)
      ASSERT_EQ(std::vector<uint8_t>(grey.palette[i], grey.palette[i] + 3), std::vector<uint8_t>(3, uint8_t(i)));
    ImgFree(rgb);
    ImgFree(grey);
  }
  EXPECT_EQ(Convert({0, 0x7FFF}, 15, 8, 2), (std::vector<uint32_t>{9, 254})) << "(7 + 14 + 7) div 3";
  EXPECT_EQ(Convert({0, 0xFFFF}, 16, 8, 4), (std::vector<uint32_t>{6, 254})) << "(7 + 6 + 7) div 3";
  EXPECT_EQ(Convert({0x00FF0000}, 32, 8, 2), (std::vector<uint32_t>{85}));
}

TEST_F(ImgConvTest, SameDepthCopiesExactly) {
  for (int32_t bpp : {8, 15, 16, 24, 32}) {
    Qimg a, b;
    MakePattern(a, 5, 3, bpp, 11);
    const std::vector<uint32_t> px = Pixels(a);
    ImgConvBpp(a, a, bpp);
    EXPECT_EQ(Pixels(a), px);
    ImgConvBppEx(a, b, bpp, 1);
    EXPECT_TRUE(SameImage(a, b));
    EXPECT_EQ(std::memcmp(a.palette, b.palette, 768) == 0, bpp == 8);
    ImgFree(a);
    ImgFree(b);
  }
}

// Every pair of word and byte depths: the second trip loses nothing more than the first, widening
// and narrowing back is lossless, and converting in place gives what converting into a copy gives.
TEST_F(ImgConvTest, RoundTripsOverEveryDepth) {
  auto precision = [](int32_t bpp) { return bpp == 15 ? 15 : bpp == 16 ? 16 : 24; };
  for (int32_t from : kDeep)
    for (int32_t to : kDeep) {
      Qimg a, b, back, again, inPlace;
      MakePattern(a, 9, 7, from, uint32_t(from * 31 + to));
      ImgConvBpp(a, b, to);
      EXPECT_EQ(b.bpp, to);
      ImgConvBpp(b, back, from);
      ImgConvBpp(back, again, to);
      EXPECT_TRUE(SameImage(b, again)) << from << " -> " << to;
      if (precision(to) >= precision(from)) {
        EXPECT_TRUE(SameImage(a, back)) << from << " -> " << to << " -> " << from;
      }
      ImgCopy(a, inPlace);
      ImgConvBpp(inPlace, inPlace, to);
      EXPECT_TRUE(SameImage(inPlace, b));
      for (Qimg* p : {&a, &b, &back, &again, &inPlace}) ImgFree(*p);
    }
  EXPECT_EQ(MemCount(), 0);
}

TEST_F(ImgConvTest, EveryWordSurvivesTheTripThrough24Bits) {
  for (int32_t bpp : {15, 16}) {
    const int32_t values = bpp == 15 ? 32768 : 65536;
    Qimg words, rgb, back;
    ASSERT_EQ(_imgalloc_(words, 256, values / 256, bpp, "Test.words"), 0);
    for (int32_t v = 0; v < values; ++v) {
      words.data[2 * v] = uint8_t(v);
      words.data[2 * v + 1] = uint8_t(v >> 8);
    }
    ImgConvBpp(words, rgb, 24);
    ImgConvBpp(rgb, back, bpp);
    EXPECT_TRUE(SameImage(words, back)) << bpp;
    EXPECT_EQ(Pixel(rgb, 255, values / 256 - 1), bpp == 15 ? 0xF8F8F8u : 0xF8FCF8u);
    for (Qimg* p : {&words, &rgb, &back}) ImgFree(*p);
  }
}

}  // namespace
}  // namespace rf
