// Running effects by identifier and applying the chain to frames.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "effects/filters.h"
#include "effects/fnchain.h"
#include "effects/fnrun.h"
#include "effects/fx_test_util.h"
#include "effects/special.h"
#include "effects/tone.h"
#include "foundation/errors.h"

namespace rf {
namespace {

using test::At;
using test::Bgr;
using test::Grey;
using test::Pic;

class FnRunTest : public test::EffectsTest {};

QFnParams Params(int32_t id, double a = 0, double b = 0, double c = 0) {
  QFnParams p{};
  p.paramSize = FnParamCount(id) * 8 + 4;
  p.inPlace = FnInPlace(id) ? RF_TRUE : RF_FALSE;
  p.values[0] = a, p.values[1] = b, p.values[2] = c;
  return p;
}

TEST_F(FnRunTest, ValuesAreTruncatedTowardZeroButGammaKeepsItsFloats) {
  Pic up, spare;
  test::Fill24(up, 1, 1, Grey(100));
  Qimg* result = nullptr;
  // 2 gives trunc(5.1) = 5; an untruncated 2.9 would give 7, -2.9 rounded down -3 would give 93.
  FnRun(FN_BRIGHTNESS, up, spare, Params(FN_BRIGHTNESS, 2.9, 0, -2.9), result);
  EXPECT_EQ(At(up, 0, 0), (Bgr{95, 100, 105}));

  Pic a, b, direct;
  test::Ramp(a);
  test::Ramp(b);
  FnRun(FN_GAMMA, a, spare, Params(FN_GAMMA, 1.5, 0.5, 2.25), result);
  ImgGamma(b, direct, 1.5, 0.5, 2.25);
  EXPECT_EQ(test::Bytes(a), test::Bytes(direct));
  EXPECT_NE(test::Bytes(a), test::Bytes(b));

  // Values no integer holds do not reach the effects as garbage.
  Pic huge;
  test::Fill24(huge, 1, 1, Grey(100));
  FnRun(FN_BRIGHTNESS, huge, spare, Params(FN_BRIGHTNESS, 1e300, -1e300, 1e10), result);
  EXPECT_EQ(At(huge, 0, 0), (Bgr{255, 0, 255}));
}

TEST_F(FnRunTest, ResultRecordFollowsTheInPlaceFlag) {
  Pic src, spare;
  test::Pattern(src, 6, 4);
  const auto before = test::Bytes(src);
  Qimg* result = nullptr;
  FnRun(FN_NEGATIVE, src, spare, Params(FN_NEGATIVE), result);
  EXPECT_EQ(result, &src);
  EXPECT_FALSE(ImgValid(spare));
  EXPECT_NE(test::Bytes(src), before);

  FnRun(FN_NEGATIVE, src, spare, Params(FN_NEGATIVE), result);  // back to the start
  FnRun(FN_SOFTEN, src, spare, Params(FN_SOFTEN), result);
  EXPECT_EQ(result, &spare);
  EXPECT_EQ(test::Bytes(src), before);
  Pic direct;
  ImgSoften(src, direct);
  EXPECT_EQ(test::Bytes(spare), test::Bytes(direct));

  // Unknown identifiers do nothing.
  Pic other;
  test::Pattern(other, 3, 3);
  const auto kept = test::Bytes(other);
  for (int32_t id : {0, 32, 35, -1}) {
    Pic none;
    FnRun(id, other, none, Params(id), result);
    EXPECT_EQ(test::Bytes(other), kept);
    EXPECT_FALSE(ImgValid(none));
  }
}

// The working depth for sources of 8, 15, 16, 24 and 32 bits, for every effect.
TEST_F(FnRunTest, DepthMaps) {
  const std::set<int32_t> keep8 = {FN_ADJUST_RGB, FN_BRIGHTNESS, FN_CHAOS,     FN_CONTRAST, FN_EQUALIZE,
                                   FN_FLIP_H,     FN_GAMMA,      FN_GRAYSCALE, FN_HUE,      FN_MIRROR_H,
                                   FN_POSTERIZE,  FN_SATURATION, FN_SOLARIZE,  FN_SWAP_RB};
  const std::set<int32_t> identity = {FN_FLIP_V, FN_MIRROR_V};
  for (int32_t id = 1; id <= FnCount(); ++id) {
    for (int32_t bpp : {8, 15, 16, 24, 32}) {
      int32_t expected = 24;
      if (identity.count(id) || (bpp == 8 && (keep8.count(id) || id == FN_NEGATIVE)) ||
          (bpp == 16 && id == FN_NEGATIVE))
        expected = bpp;
      // The largest value of every parameter, so that no table effect takes its copy shortcut.
      QFnParams p = Params(id);
      for (int32_t i = 0; i < FnParamCount(id) && i < 8; ++i) p.values[i] = FnParamRange(id, i).maximum;
      Pic src, spare;
      test::Pattern(src, 9, 6, bpp);
      Qimg* result = nullptr;
      FnRun(id, src, spare, p, result);
      ASSERT_TRUE(ErrNone()) << id;
      EXPECT_EQ(std::vector<int32_t>({result->bpp, result->width, result->height}),
                std::vector<int32_t>({expected, 9, 6}))
          << FnName(id) << " from " << bpp;
    }
  }
  // Deinterlace by duplication keeps every depth.
  for (int32_t bpp : {8, 15, 16, 32}) {
    Pic src, spare;
    test::Pattern(src, 4, 4, bpp);
    Qimg* result = nullptr;
    FnRun(FN_DEINTERLACE, src, spare, Params(FN_DEINTERLACE, 0, 1), result);
    EXPECT_EQ(result->bpp, bpp);
  }
}

TEST_F(FnRunTest, ChainRangesAreInclusive) {
  QFnParams bright = Params(FN_BRIGHTNESS, 10, 10, 10);
  QFnEntry entry = FnMakeEntry(FN_BRIGHTNESS);
  entry.first = 10;
  entry.last = 20;
  entry.fnParams = &bright;
  const QFnChain chain = {&entry};
  for (int32_t frame : {9, 10, 15, 20, 21, NOT_SET}) {
    Pic img, spare;
    test::Fill24(img, 2, 2, Grey(100));
    Qimg* current = &img;
    FnChainApply(chain, frame, current, spare);
    const bool applies = frame == NOT_SET || (frame >= 10 && frame <= 20);
    EXPECT_EQ(current, &img);
    EXPECT_EQ(At(img, 1, 1), Grey(applies ? 125 : 100)) << frame;
  }
}

TEST_F(FnRunTest, ChainCurrentAndSpare) {
  QFnParams soften = Params(FN_SOFTEN), negative = Params(FN_NEGATIVE), sharpen = Params(FN_SHARPEN);
  QFnParams oil = Params(FN_OIL_PAINTING, 1);
  QFnEntry e1 = FnMakeEntry(FN_SOFTEN), e2 = FnMakeEntry(FN_NEGATIVE), e3 = FnMakeEntry(FN_SHARPEN),
           e4 = FnMakeEntry(FN_OIL_PAINTING), e5 = FnMakeEntry(FN_BLUR);
  e1.fnParams = &soften;
  e2.fnParams = &negative;
  e3.fnParams = &sharpen;
  e4.fnParams = &oil;
  // e5 has no parameter record: it runs with zero values and blur's own in-place ability.
  const QFnChain chain = {&e1, &e2, &e3, &e4, &e5};

  Pic frame, spare;
  test::Pattern(frame, 12, 9);
  const auto original = test::Bytes(frame);
  Qimg* current = &frame;
  FnChainApply(chain, 5, current, spare);
  EXPECT_EQ(current, &spare);
  EXPECT_EQ(test::Bytes(frame), original) << "the frame was only read by the first filter";

  // The same steps one by one on separate records.
  Pic ref, s1, s3, s4, s5;
  test::Pattern(ref, 12, 9);
  ImgSoften(ref, s1);
  ImgNegative(s1, s1);
  ImgSharpen(s1, s3);
  ImgOilPainting(s3, s4, 1);
  ImgBlur(s4, s5);
  EXPECT_EQ(test::Bytes(spare), test::Bytes(s5));
}

}  // namespace
}  // namespace rf
