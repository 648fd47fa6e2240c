// Movie writers' picture preparation: size limits, block padding and stored depth.
#include "formats/ffbasic.h"

#include <gtest/gtest.h>

#include "formats/ffdesc.h"
#include "formats/still_test_util.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

using stilltest::kOk;
using stilltest::Outcome;
using stilltest::Try;

TEST(FFInit, RefusesPicturesOutsideTheMovieLimits) {
  struct Case {
    int32_t width, height, format;
  };
  for (const Case c : {Case{3, 10, FF_AVI}, Case{10, 3, FF_AVI}, Case{4097, 4, FF_AVI}, Case{4, 4097, FF_HAV},
                       Case{16, 16, FF_MP2}, Case{16, 16, FF_BAY}}) {
    Qimg img;
    _imgalloc_(img, c.width, c.height, 24, "test");
    QffPrepared prepared;
    EXPECT_EQ(Try([&] { FFInit(c.format, prepared, img, 1); }), (Outcome{14, 1})) << c.width << "x" << c.height;
    EXPECT_EQ(prepared.img, nullptr);
    ImgFree(img);
  }
  Qimg empty;
  QffPrepared prepared;
  EXPECT_EQ(Try([&] { FFInit(FF_AVI, prepared, empty, 1); }), (Outcome{14, 1}));
}

TEST(FFInit, UsesThePictureItselfWhenNothingChanges) {
  Qimg img;
  _imgalloc_(img, 4, 4096, 24, "test");
  QffPrepared prepared;
  ASSERT_EQ(Try([&] { FFInit(FF_AVI, prepared, img, 1); }), kOk);
  EXPECT_EQ(prepared.img, &img);
  EXPECT_FALSE(ImgValid(prepared.temp));
  FFDone(prepared);
  ImgFree(img);
}

TEST(FFInit, PadsToTheBlockWithZeroedPixelsAndConvertsTheDepth) {
  Qimg img;
  _imgalloc_(img, 5, 6, 24, "test");
  for (int32_t i = 0; i < img.size; ++i) img.data[i] = uint8_t(i % 200 + 50);
  QffPrepared prepared;
  const int32_t blocks = MemCount();
  // HAV stores 24-bit pictures as they are; blocks of 4 pad 5x6 to 8x8.
  ASSERT_EQ(Try([&] { FFInit(FF_HAV, prepared, img, 4); }), kOk);
  ASSERT_EQ(prepared.img, &prepared.temp);
  const Qimg& out = *prepared.img;
  ASSERT_EQ(out.width, 8);
  ASSERT_EQ(out.height, 8);
  ASSERT_EQ(out.bpp, 24);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x)
      for (int32_t c = 0; c < 3; ++c) {
        const int32_t expected = x < 5 && y < 6 ? img.data[(y * 5 + x) * 3 + c] : 0;
        ASSERT_EQ(out.data[(y * 8 + x) * 3 + c], expected) << x << "," << y;
      }
  FFDone(prepared);
  EXPECT_EQ(MemCount(), blocks);

  // A 32-bit picture becomes the 24 bits AVI stores, without padding.
  Qimg deep;
  _imgalloc_(deep, 6, 4, 32, "test");
  ASSERT_EQ(Try([&] { FFInit(FF_AVI, prepared, deep, 1); }), kOk);
  EXPECT_EQ(prepared.img->bpp, 24);
  EXPECT_EQ(prepared.img->width, 6);
  FFDone(prepared);
  ImgFree(deep);
  ImgFree(img);
}

}  // namespace
}  // namespace rf
