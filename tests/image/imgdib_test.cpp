// Packed DIBs: header and colour table, padded bottom-up rows, and pictures read back from them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "image/imgdib.h"
#include "image_test_util.h"

namespace rf {
namespace {

using test::MakePattern;
using test::SameImage;

class ImgDibTest : public test::FoundationTest {};

// A whole packed DIB of img: header (with colour table) and rows.
std::vector<uint8_t> PackedDib(const Qimg& img) {
  std::vector<uint8_t> dib = DibStreamFormat(img.width, img.height, img.bpp, img.palette);
  const size_t header = dib.size();
  dib.resize(header + size_t(DibStride(img.width, img.bpp)) * img.height, 0xEE);
  QimgToDibBits(img, dib.data() + header);
  return dib;
}

TEST_F(ImgDibTest, EveryDepthAndOddWidthRoundTrips) {
  const int32_t depths[] = {8, 15, 24, 32};
  const int32_t widths[] = {1, 3, 5, 321};
  for (int32_t bpp : depths) {
    for (int32_t w : widths) {
      Qimg src, back;
      MakePattern(src, w, 7, bpp, uint32_t(w + bpp));
      const std::vector<uint8_t> dib = PackedDib(src);
      DibToQimg(back, dib.data(), int64_t(dib.size()));
      ASSERT_TRUE(ErrNone()) << bpp << " bits, " << w << " wide";
      EXPECT_TRUE(SameImage(src, back)) << bpp << " bits, " << w << " wide";
      if (bpp == 8) {
        EXPECT_EQ(std::memcmp(src.palette, back.palette, sizeof src.palette), 0);
      }
      ImgFree(src);
      ImgFree(back);
    }
  }
}

TEST_F(ImgDibTest, RowsAreStoredBottomUpWithZeroedPadding) {
  Qimg img;
  MakePattern(img, 321, 2, 24);
  std::vector<uint8_t> bits(2 * 964, 0xEE);
  QimgToDibBits(img, bits.data());
  EXPECT_EQ(DibStride(321, 24), 963 + 1);
  EXPECT_EQ(std::memcmp(bits.data(), img.data + 963, 963), 0) << "the bottom row comes first";
  EXPECT_EQ(std::memcmp(bits.data() + 964, img.data, 963), 0);
  EXPECT_EQ(bits[963], 0);
  EXPECT_EQ(bits[964 + 963], 0);
  ImgFree(img);
}

TEST_F(ImgDibTest, FormatHeaderCarriesThePaletteOnlyAtEightBits) {
  uint8_t palette[256][3];
  for (int32_t i = 0; i < 256; ++i) {
    palette[i][0] = uint8_t(i);
    palette[i][1] = uint8_t(255 - i);
    palette[i][2] = 7;
  }
  const std::vector<uint8_t> eight = DibStreamFormat(10, 4, 8, palette);
  ASSERT_EQ(eight.size(), 1064u);
  DibInfo info;
  ASSERT_TRUE(DibReadInfo(eight.data(), int64_t(eight.size()), info));
  EXPECT_EQ(info.bitCount, 8);
  EXPECT_EQ(info.clrUsed, 256u);
  EXPECT_EQ(info.sizeImage, 12u * 4);
  const uint8_t entry[4] = {200, 55, 7, 0};
  EXPECT_EQ(std::memcmp(eight.data() + 40 + 4 * 200, entry, 4), 0);

  const std::vector<uint8_t> fifteen = DibStreamFormat(10, 4, 15, nullptr);
  ASSERT_EQ(fifteen.size(), 40u);
  ASSERT_TRUE(DibReadInfo(fifteen.data(), 40, info));
  EXPECT_EQ(info.bitCount, 16) << "15-bit pictures are stored as 16-bit DIBs";
  EXPECT_EQ(info.clrUsed, 0u);
  EXPECT_FALSE(DibReadInfo(fifteen.data(), 39, info));
}

TEST_F(ImgDibTest, SixteenBitsReadAsFifteenAndNegativeHeightTopDown) {
  // 2 x 2 pixels of 16 bits, rows top first because the height is negative.
  std::vector<uint8_t> dib = DibStreamFormat(2, 2, 16, nullptr);
  dib[8] = 0xFE, dib[9] = dib[10] = dib[11] = 0xFF;  // height -2
  const uint8_t rows[] = {1, 0, 2, 0, 3, 0, 4, 0};
  dib.insert(dib.end(), rows, rows + 8);
  Qimg img;
  DibToQimg(img, dib.data(), int64_t(dib.size()));
  ASSERT_TRUE(ErrNone());
  EXPECT_EQ(img.bpp, 15);
  EXPECT_EQ(img.data[0], 1);
  EXPECT_EQ(img.data[6], 4);
  ImgFree(img);
}

TEST_F(ImgDibTest, DamagedDibsAreRefusedBeforeAnyAllocation) {
  Qimg img;
  MakePattern(img, 5, 3, 24);
  const std::vector<uint8_t> good = PackedDib(img);
  ImgFree(img);
  struct Case {
    const char* what;
    size_t offset;  // byte changed, or the size cut to when value is negative
    int32_t value;
  };
  const Case cases[] = {
      {"rows cut short", good.size() - 1, -1},
      {"header cut short", 39, -1},
      {"compressed", 16, 1},
      {"12 bits per pixel", 14, 12},
      {"zero width", 4, 0},
      {"header size below 40", 0, 12},
      {"huge height", 10, 0x7F},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    if (c.value < 0)
      bad.resize(c.offset);
    else
      bad[c.offset] = uint8_t(c.value);
    GuardedSilent("Test.DibToQimg", [&] { DibToQimg(img, bad.data(), int64_t(bad.size())); });
    EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 702) << c.what;
    EXPECT_FALSE(ImgValid(img)) << c.what;
    ErrClear();
  }
}

}  // namespace
}  // namespace rf
