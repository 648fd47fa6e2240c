// Tone and colour effects: table values, colour rules, palette mode and depth handling.
#include <gtest/gtest.h>

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

bool IsIdentity(const std::vector<uint8_t>& t) {
  for (int32_t i = 0; i < 256; ++i)
    if (t[size_t(i)] != i) return false;
  return true;
}

TEST_F(ToneTest, TableValues) {
  // Brightness 10: trunc(10 x 255 x 0.01) = 25; Adjust RGB -50: 50.5 truncated; contrast +-50:
  // a = 50, k = trunc(128 / 64.5) = 1; gamma 2: 255 x sqrt(64 / 255) = 127.75; gamma 0.01:
  // 255 x (254 / 255)^100 = 172.14.
  const struct {
    FnTableBuilder builder;
    double value;
    int32_t index, entry;
  } entries[] = {{BrightnessCalc_, 10, 0, 25},   {BrightnessCalc_, 10, 230, 255},  {BrightnessCalc_, 10, 240, 255},
                 {BrightnessCalc_, -10, 20, 0},  {BrightnessCalc_, -10, 255, 230}, {AdjustRGBCalc_, 50, 100, 150},
                 {AdjustRGBCalc_, 50, 200, 255}, {AdjustRGBCalc_, -50, 101, 50},   {AdjustRGBCalc_, -50, 0, 0},
                 {AdjustRGBCalc_, -100, 255, 0}, {ContrastCalc_, 50, 100, 86},     {ContrastCalc_, 50, 200, 237},
                 {ContrastCalc_, 50, 0, 0},      {ContrastCalc_, -50, 100, 114},   {ContrastCalc_, -50, 200, 163},
                 {ContrastCalc_, -50, 127, 128}, {GammaCalc_, 2, 64, 128},         {GammaCalc_, 2, 0, 0},
                 {GammaCalc_, 2, 255, 255},      {GammaCalc_, 0.01, 254, 172},     {GammaCalc_, 0.01, 100, 0},
                 {PosterizeCalc_, 1, 127, 0},    {PosterizeCalc_, 1, 128, 255},    {PosterizeCalc_, 2, 63, 0},
                 {PosterizeCalc_, 2, 64, 127},   {PosterizeCalc_, 2, 191, 127},    {PosterizeCalc_, 2, 192, 255},
                 {SolarizeCalc_, 128, 127, 127}, {SolarizeCalc_, 128, 128, 127},   {SolarizeCalc_, 128, 200, 55},
                 {SolarizeCalc_, 1, 0, 0},       {SolarizeCalc_, 1, 1, 254},       {SolarizeCalc_, 1, 255, 0}};
  for (const auto& e : entries)
    EXPECT_EQ(Table(e.builder, e.value)[size_t(e.index)], e.entry) << e.value << " @" << e.index;

  const std::pair<FnTableBuilder, double> identities[] = {
      {BrightnessCalc_, 0}, {AdjustRGBCalc_, 0}, {ContrastCalc_, 0}, {GammaCalc_, 1}, {PosterizeCalc_, 255}};
  for (const auto& [builder, value] : identities) EXPECT_TRUE(IsIdentity(Table(builder, value))) << value;

  auto full = Table(ContrastCalc_, 100), none = Table(ContrastCalc_, -100);
  for (int32_t i = 0; i < 256; ++i) {
    EXPECT_EQ(full[size_t(i)], i < 128 ? 0 : 255) << i;
    EXPECT_EQ(none[size_t(i)], 128) << i;
  }
}

TEST_F(ToneTest, TablesGoToTheirOwnChannels) {
  Pic img;
  test::Fill24(img, 2, 1, Grey(100));
  ImgBrightness(img, img, 10, 0, -10);  // red, green, blue
  EXPECT_EQ(At(img, 1, 0), (Bgr{75, 100, 125}));
  ImgSolarize(img, img, 1, 255, 255);  // only red crosses its threshold
  EXPECT_EQ(At(img, 0, 0), (Bgr{75, 100, 130}));
}

TEST_F(ToneTest, ValuesAreHeldWithinTheirRanges) {
  Pic a, b;
  test::Ramp(a);
  test::Ramp(b);
  ImgBrightness(a, a, 500, 500, -500);
  ImgBrightness(b, b, 100, 100, -100);
  EXPECT_EQ(test::Bytes(a), test::Bytes(b));
  // Posterize 0 on one channel is held at 1 once another channel is non-zero.
  ImgPosterize(a, a, 0, 255, 255);
  EXPECT_EQ(At(a, 0, 0)[2], 255);  // red 255 from brightness; level 1 keeps it 255
  EXPECT_TRUE(ErrNone());
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
  Pic img;
  test::Make24(img, 2, 1, {{30, 60, 90}, {0, 200, 255}});
  Pic less;
  ImgSaturation(img, less, -100);
  EXPECT_EQ(At(less, 0, 0), (Bgr{60, 60, 60}));
  EXPECT_EQ(At(less, 1, 0), (Bgr{151, 151, 151}));  // (0 + 200 + 255) div 3
  Pic more;
  ImgSaturation(img, more, 100);
  EXPECT_EQ(At(more, 1, 0), (Bgr{0, 255, 255}));  // max 255, min 0, middle 0 + 200 + 200 held at 255
  // (30, 60, 90): h = 30; min 0, max 120, middle 0 + 30 + 30.
  EXPECT_EQ(At(more, 0, 0), (Bgr{0, 60, 120}));

  // Ties: blue counts as larger than green and red, green as larger than red. Blue and green
  // share the top here, so blue is the maximum and green the middle.
  Pic tie;
  test::Make24(tie, 1, 1, {{100, 100, 40}});
  ImgSaturation(tie, tie, 50);
  // A = 50 % of x: h = A[60] div 2 = 15; min 25, max 115, middle 25 + 60 + 30 held at 115.
  EXPECT_EQ(At(tie, 0, 0), (Bgr{115, 115, 25}));

  Pic same;
  test::Pattern(same, 4, 4);
  const auto before = test::Bytes(same);
  ImgSaturation(same, same, 0);
  EXPECT_EQ(test::Bytes(same), before);
}

TEST_F(ToneTest, HueRotations) {
  Pic img;
  test::Make24(img, 3, 1, {{0, 0, 255}, {255, 0, 0}, {40, 80, 120}});
  Pic plus120, minus120, plus180, minus180, plus60, zero;
  ImgHue(img, plus120, 120);
  ImgHue(img, minus120, -120);
  ImgHue(img, plus180, 180);
  ImgHue(img, minus180, -180);
  ImgHue(img, plus60, 60);
  ImgHue(img, zero, 0);
  EXPECT_EQ(At(plus120, 0, 0), (Bgr{0, 255, 0}));  // red turns green
  EXPECT_EQ(At(plus120, 1, 0), (Bgr{0, 0, 255}));  // blue turns red
  EXPECT_EQ(At(minus120, 0, 0), (Bgr{255, 0, 0}));
  EXPECT_EQ(At(plus60, 0, 0), (Bgr{0, 127, 127}));  // halved coefficients 127
  EXPECT_EQ(At(plus180, 0, 0), (Bgr{127, 127, 0}));
  EXPECT_EQ(test::Bytes(plus180), test::Bytes(minus180));
  EXPECT_EQ(test::Bytes(zero), test::Bytes(img));
  // Out-of-range degrees are held at 180.
  Pic wide;
  ImgHue(img, wide, 999);
  EXPECT_EQ(test::Bytes(wide), test::Bytes(plus180));
}

TEST_F(ToneTest, EqualizeSpreadsTheHistogram) {
  Pic one;
  test::Fill24(one, 6, 4, {10, 90, 200});
  ImgEqualize(one, one);
  for (int32_t i = 0; i < 24; ++i) EXPECT_EQ(At(one, i % 6, i / 6), Grey(255));

  // Every value once: boundaries fall one below each value, so every value moves up by one.
  Pic ramp;
  test::Ramp(ramp);
  ImgEqualize(ramp, ramp);
  EXPECT_EQ(At(ramp, 0, 0), Grey(1));
  EXPECT_EQ(At(ramp, 100, 0), Grey(101));
  EXPECT_EQ(At(ramp, 254, 0), Grey(255));
  EXPECT_EQ(At(ramp, 255, 0), Grey(255));
}

TEST_F(ToneTest, NegativeGrayAndTheirDepths) {
  Pic img;
  test::Make24(img, 2, 1, {{10, 20, 31}, {0, 128, 255}});
  Pic neg, grey;
  ImgNegative(img, neg);
  EXPECT_EQ(At(neg, 0, 0), (Bgr{245, 235, 224}));
  EXPECT_EQ(At(neg, 1, 0), (Bgr{255, 127, 0}));
  ImgGray(img, grey);
  EXPECT_EQ(At(grey, 0, 0), Grey(20));
  EXPECT_EQ(At(grey, 1, 0), Grey(127));

  // 16 bits stay 16: each colour field complemented, that is the whole word.
  Pic w16;
  ASSERT_EQ(_imgalloc_(w16, 2, 1, 16, "Test.w16"), 0);
  w16.data[0] = 0x34, w16.data[1] = 0x12, w16.data[2] = 0x00, w16.data[3] = 0xF8;
  ImgNegative(w16, w16);
  ASSERT_EQ(w16.bpp, 16);
  EXPECT_EQ(w16.data[0] | (w16.data[1] << 8), 0xEDCB);
  EXPECT_EQ(w16.data[2] | (w16.data[3] << 8), 0x07FF);  // full red becomes none, the rest full

  // 15 bits are worked at 24: 0x7C00 is full red, expanded to 248 before the complement.
  Pic w15;
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
