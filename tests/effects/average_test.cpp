// The temporal average: sizes, repeated frames, every source depth and the failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "effects/average.h"
#include "effects/fx_test_util.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

using test::At;
using test::Bgr;
using test::Grey;
using test::Pic;

class AverageTest : public test::EffectsTest {};

TEST_F(AverageTest, RepeatedFrameComesBackAt24Bits) {
  for (int32_t bpp : {24, 32}) {
    Pic frame, result;
    test::Pattern(frame, 13, 7, bpp);
    for (int32_t i = 0; i < 5; ++i) ImgAverage(frame);
    ImgAverageDone(result);
    Pic want;
    ImgConvBpp(frame, want, 24);
    EXPECT_TRUE(ErrNone());
    EXPECT_EQ(std::vector<int32_t>({result.bpp, result.width, result.height}), std::vector<int32_t>({24, 13, 7}));
    EXPECT_EQ(test::Bytes(result), test::Bytes(want)) << bpp;
  }
}

TEST_F(AverageTest, MeanOfDifferentFramesAndDepths) {
  Pic dark, light, pal, words, result;
  test::Fill24(dark, 2, 1, {0, 10, 255});
  test::Fill24(light, 2, 1, {100, 21, 255});
  ImgAverage(dark);
  ImgAverage(light);
  ImgAverageDone(result);
  EXPECT_EQ(At(result, 1, 0), (Bgr{50, 15, 255}));  // sums div 2

  // 8 bits count through the palette, 16 bits expand with low bits 0.
  ASSERT_EQ(_imgalloc_(pal, 2, 1, 8, "Test.pal"), 0);
  pal.data[0] = 3, pal.data[1] = 4;
  pal.palette[3][0] = 30, pal.palette[3][1] = 60, pal.palette[3][2] = 90;
  pal.palette[4][0] = 200, pal.palette[4][1] = 100, pal.palette[4][2] = 0;
  ASSERT_EQ(_imgalloc_(words, 2, 1, 16, "Test.words"), 0);
  std::memset(words.data, 0xFF, 4);
  Pic mean;
  ImgAverage(pal);
  ImgAverage(words);
  ImgAverageDone(mean);
  // (30 + 248) div 2, (60 + 252) div 2, (90 + 248) div 2; (200 + 248) div 2, ...
  EXPECT_EQ(test::Bytes(mean), (std::vector<uint8_t>{139, 156, 169, 224, 176, 124}));
}

TEST_F(AverageTest, SumsAreTrackedUntilDone) {
  Pic frame, result;
  test::Fill24(frame, 4, 4, Grey(9));
  const int32_t before = MemCount();
  ImgAverage(frame);
  EXPECT_EQ(MemCount(), before + 1);
  ImgAverageDone(result);
  EXPECT_EQ(MemCount(), before + 1) << "the sums are freed, the result block is the caller's";
  EXPECT_GE(MemSize(result.data), 4 * 4 * 3);
  EXPECT_NE(MemLabel(result.data).find("impress.ImgAverageDone.imgResult"), std::string::npos);
}

TEST_F(AverageTest, FailuresOfSizeAndOrder) {
  Pic a, b, result;
  test::Fill24(a, 4, 3, Grey(1));
  test::Fill24(b, 3, 4, Grey(1));
  ImgAverage(a);
  GuardedSilent("Test.Average", [&] { ImgAverage(b); });
  EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 401);
  ErrClear();
  // The first frame still counts.
  ImgAverageDone(result);
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(At(result, 3, 2), Grey(1));

  Pic nothing;
  GuardedSilent("Test.Average", [&] { ImgAverageDone(nothing); });
  EXPECT_EQ(ErrCode(), 2147483647);
  EXPECT_EQ(ErrLastMessage().find("General image handling fault."), 0u) << ErrLastMessage();
  EXPECT_FALSE(ImgValid(nothing));
  ErrClear();
}

}  // namespace
}  // namespace rf
