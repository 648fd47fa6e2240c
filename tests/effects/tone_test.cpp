// Tone and colour effects: table values, colour rules, palette mode and depth handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "effects/fnparams.h"
#include "effects/fnrun.h"
#include "effects/fx_test_util.h"
#include "effects/tone.h"
#include "foundation/errors.h"

namespace rf {
namespace {

using test::At;
using test::Bgr;
using test::Grey;
using test::Pic;

class ToneTest : public test::EffectsTest {};

std::vector<uint8_t> Table(FnTableBuilder builder, double v) {
  std::vector<uint8_t> t(256);
  builder(v, t.data());
  return t;
}

TEST_F(ToneTest, TableEdges) {
  // Brightness 10: trunc(10 x 255 x 0.01) = 25; Adjust RGB -50: 50.5 truncated; contrast +-50:
  // a = 50, k = trunc(128 / 64.5) = 1; gamma 0.01: 255 x (254 / 255)^100 = 172.14.
  const struct {
    FnTableBuilder builder;
    double value;
    std::vector<std::pair<int32_t, int32_t>> entries;  // index, entry
  } tables[] = {{BrightnessCalc_, 10, {{0, 25}, {230, 255}}},
                {BrightnessCalc_, -10, {{20, 0}, {255, 230}}},
                {AdjustRGBCalc_, 50, {{100, 150}, {200, 255}}},
                {AdjustRGBCalc_, -50, {{101, 50}, {0, 0}}},
                {ContrastCalc_, 50, {{100, 86}, {200, 237}, {0, 0}}},
                {ContrastCalc_, -50, {{100, 114}, {127, 128}}},
                {GammaCalc_, 0.01, {{254, 172}, {255, 255}, {100, 0}}},
                {PosterizeCalc_, 2, {{63, 0}, {64, 127}, {191, 127}, {192, 255}}},
                {SolarizeCalc_, 128, {{127, 127}, {128, 127}, {200, 55}}}};
  for (const auto& t : tables) {
    const std::vector<uint8_t> table = Table(t.builder, t.value);
    for (const auto& [index, entry] : t.entries) EXPECT_EQ(table[size_t(index)], entry) << t.value << " @" << index;
  }
  std::vector<uint8_t> identity(256);
  for (int32_t i = 0; i < 256; ++i) identity[size_t(i)] = uint8_t(i);
  const std::pair<FnTableBuilder, double> identities[] = {
      {BrightnessCalc_, 0}, {AdjustRGBCalc_, 0}, {ContrastCalc_, 0}, {GammaCalc_, 1}, {PosterizeCalc_, 255}};
  for (const auto& [builder, value] : identities) EXPECT_EQ(Table(builder, value), identity) << value;
  std::vector<uint8_t> steep(256, 0);
  std::fill(steep.begin() + 128, steep.end(), 255);
  EXPECT_EQ(Table(ContrastCalc_, 100), steep);
  EXPECT_EQ(Table(ContrastCalc_, -100), std::vector<uint8_t>(256, 128));
}

TEST_F(ToneTest, TablesGoToTheirOwnChannelsWithinTheirRanges) {
  Pic img, a, b;
  test::Fill24(img, 2, 1, Grey(100));
  ImgBrightness(img, img, 10, 0, -10);  // red, green, blue
  ImgSolarize(img, img, 1, 255, 255);   // only red crosses its threshold
  EXPECT_EQ(test::Bytes(img), (std::vector<uint8_t>{75, 100, 130, 75, 100, 130}));
  test::Ramp(a);
  test::Ramp(b);
  ImgBrightness(a, a, 500, 500, -500);
  ImgBrightness(b, b, 100, 100, -100);
  EXPECT_EQ(test::Bytes(a), test::Bytes(b));
  // Posterize 0 on one channel is held at 1 once another channel is non-zero.
  ImgPosterize(a, a, 0, 255, 255);
  EXPECT_EQ(At(a, 0, 0)[2], 255);  // red 255 from brightness; level 1 keeps it 255
}

TEST_F(ToneTest, AllValuesZeroLeaveEveryTableEffectUnchanged) {
  for (int32_t id : {FN_ADJUST_RGB, FN_BRIGHTNESS, FN_CONTRAST, FN_GAMMA, FN_POSTERIZE, FN_SOLARIZE}) {
    for (int32_t bpp : {16, 24}) {
      Pic src, spare;
      test::Pattern(src, 7, 5, bpp);
      const auto before = test::Bytes(src);
      QFnParams empty{};
      empty.inPlace = RF_TRUE;
      Qimg* result = nullptr;
      FnRun(id, src, spare, empty, result);
      EXPECT_EQ(result, &src);
      EXPECT_EQ(src.bpp, bpp) << id;
      EXPECT_EQ(test::Bytes(src), before) << id;
    }
  }
}

TEST_F(ToneTest, SaturationExamples) {
  // Less: every channel to the mean, (0 + 200 + 255) div 3. More: (0, 200, 255) has max 255, min
  // 0, middle 0 + 200 + 200 held at 255; (30, 60, 90): h = 30, min 0, max 120, middle 0 + 30 + 30.
  // Ties: blue counts as larger than green and red, green as larger than red; with A = 50 % of x:
  // h = A[60] div 2 = 15, min 25, max 115, middle 25 + 60 + 30 held at 115.
  const struct {
    int32_t amount;
    std::vector<Bgr> from, to;
  } cases[] = {{-100, {{30, 60, 90}, {0, 200, 255}}, {Grey(60), Grey(151)}},
               {100, {{30, 60, 90}, {0, 200, 255}}, {{0, 60, 120}, {0, 255, 255}}},
               {50, {{100, 100, 40}}, {{115, 115, 25}}},
               {0, {{1, 2, 3}}, {{1, 2, 3}}}};
  for (const auto& c : cases) {
    Pic img, out, want;
    test::Make24(img, int32_t(c.from.size()), 1, c.from);
    test::Make24(want, int32_t(c.to.size()), 1, c.to);
    ImgSaturation(img, out, c.amount);
    EXPECT_EQ(test::Bytes(out), test::Bytes(want)) << c.amount;
  }
}

TEST_F(ToneTest, HueRotations) {
  Pic img, plus120, minus120, plus180, minus180, plus60, zero, wide;
  test::Make24(img, 3, 1, {{0, 0, 255}, {255, 0, 0}, {40, 80, 120}});
  ImgHue(img, plus120, 120);
  ImgHue(img, minus120, -120);
  ImgHue(img, plus180, 180);
  ImgHue(img, minus180, -180);
  ImgHue(img, plus60, 60);
  ImgHue(img, zero, 0);
  ImgHue(img, wide, 999);
  EXPECT_EQ(At(plus120, 0, 0), (Bgr{0, 255, 0}));  // red turns green
  EXPECT_EQ(At(plus120, 1, 0), (Bgr{0, 0, 255}));  // blue turns red
  EXPECT_EQ(At(minus120, 0, 0), (Bgr{255, 0, 0}));
  EXPECT_EQ(At(plus60, 0, 0), (Bgr{0, 127, 127}));  // halved coefficients 127
  EXPECT_EQ(At(plus180, 0, 0), (Bgr{127, 127, 0}));
  EXPECT_EQ(test::Bytes(plus180), test::Bytes(minus180));
  EXPECT_EQ(test::Bytes(zero), test::Bytes(img));
  EXPECT_EQ(test::Bytes(wide), test::Bytes(plus180)) << "out-of-range degrees are held at 180";
}

TEST_F(ToneTest, EqualizeSpreadsTheHistogram) {
  Pic one, ramp;
  test::Fill24(one, 6, 4, {10, 90, 200});
  ImgEqualize(one, one);
  EXPECT_EQ(test::Greys(one), std::vector<int32_t>(24, 255));
  // Every value once: boundaries fall one below each value, so every value moves up by one.
  test::Ramp(ramp);
  ImgEqualize(ramp, ramp);
  std::vector<int32_t> up;
  for (int32_t i = 0; i < 256; ++i) up.push_back(std::min(i + 1, 255));
  EXPECT_EQ(test::Greys(ramp), up);
}

TEST_F(ToneTest, NegativeGrayAndTheirDepths) {
  Pic img, neg, grey, w16, w15;
  test::Make24(img, 2, 1, {{10, 20, 31}, {0, 128, 255}});
  ImgNegative(img, neg);
  EXPECT_EQ(test::Bytes(neg), (std::vector<uint8_t>{245, 235, 224, 255, 127, 0}));
  ImgGray(img, grey);
  EXPECT_EQ(test::Greys(grey), (std::vector<int32_t>{20, 127}));
  // 16 bits stay 16: each colour field complemented, that is the whole word; full red becomes
  // none, the rest full.
  ASSERT_EQ(_imgalloc_(w16, 2, 1, 16, "Test.w16"), 0);
  const uint8_t words[] = {0x34, 0x12, 0x00, 0xF8};
  std::memcpy(w16.data, words, 4);
  ImgNegative(w16, w16);
  ASSERT_EQ(w16.bpp, 16);
  EXPECT_EQ(test::Bytes(w16), (std::vector<uint8_t>{0xCB, 0xED, 0xFF, 0x07}));
  // 15 bits are worked at 24: 0x7C00 is full red, expanded to 248 before the complement.
  ASSERT_EQ(_imgalloc_(w15, 1, 1, 15, "Test.w15"), 0);
  w15.data[0] = 0x00, w15.data[1] = 0x7C;
  ImgNegative(w15, w15);
  ASSERT_EQ(w15.bpp, 24);
  EXPECT_EQ(At(w15, 0, 0), (Bgr{255, 255, 7}));
}

// On an 8-bit picture a palette-mode effect rewrites the palette and leaves every index; the new
// colour of each pixel is what the effect gives that pixel at 24 bits.
TEST_F(ToneTest, PaletteModeKeepsIndices) {
  struct Case {
    int32_t id;
    double a, b, c;
  };
  const Case cases[] = {{FN_ADJUST_RGB, 40, -30, 10}, {FN_BRIGHTNESS, 20, -20, 5}, {FN_CONTRAST, 60, -40, 0},
                        {FN_EQUALIZE, 0, 0, 0},       {FN_GAMMA, 0.5, 1.7, 3},     {FN_GRAYSCALE, 0, 0, 0},
                        {FN_HUE, 75, 0, 0},           {FN_NEGATIVE, 0, 0, 0},      {FN_POSTERIZE, 3, 7, 1},
                        {FN_SATURATION, -35, 0, 0},   {FN_SATURATION, 60, 0, 0},   {FN_SOLARIZE, 90, 128, 200},
                        {FN_SWAP_RB, 0, 0, 0}};
  for (const Case& c : cases) {
    Pic src8, spare;
    test::Pattern(src8, 9, 7, 8, uint32_t(c.id));
    const auto indices = test::Bytes(src8);
    Pic src24, spare24;
    ImgConvBpp(src8, src24, 24);
    QFnParams p{};
    p.inPlace = RF_TRUE;
    p.values[0] = c.a, p.values[1] = c.b, p.values[2] = c.c;
    Qimg* out8 = nullptr;
    Qimg* out24 = nullptr;
    FnRun(c.id, src8, spare, p, out8);
    FnRun(c.id, src24, spare24, p, out24);
    ASSERT_EQ(out8->bpp, 8) << c.id;
    EXPECT_EQ(test::Bytes(*out8), indices) << c.id;
    int32_t wrong = 0;
    for (int32_t i = 0; i < 63; ++i) {
      const uint8_t* pal = out8->palette[indices[size_t(i)]];
      wrong += At(*out24, i % 9, i / 9) != Bgr{pal[0], pal[1], pal[2]};
    }
    EXPECT_EQ(wrong, 0) << c.id;
  }
}

}  // namespace
}  // namespace rf
