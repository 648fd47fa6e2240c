// TGA, PCX and BMP against ImageMagick and ffmpeg: their files load to the pixels they decode,
// and our files decode in ImageMagick to the pixels we wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ff_bmp.h"
#include "formats/ff_pcx.h"
#include "formats/ff_tga.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "image/image_test_util.h"
#include "interop/peers.h"
#include "os/kernel.h"

namespace rf {
namespace {

// A header byte that shows ImageMagick wrote the variant asked for: (byte & mask) == value.
struct StillMark {
  size_t at;
  uint8_t mask, value;
};

using StillLoader = void (*)(std::string_view, Qimg&);
using StillSaver = void (*)(std::string_view, const Qimg&);

// The bits of each component that count: for 15- and 16-bit pictures only the top five, since the
// peers widen them by scaling rather than by shifting.
int StillBits(int32_t bpp, int bits = 8) { return bpp == 15 || bpp == 16 ? std::min(bits, 5) : bits; }

// A bottom-up BMP turned into the top-down file of the same picture: rows reversed, height
// negated.
std::string StillTopDown(std::string b) {
  auto le = [&b](size_t at) {
    return uint32_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint8_t(b[at + 3]) << 24);
  };
  const uint32_t offset = le(10), width = le(18), height = le(22), bits = uint8_t(b[28]);
  const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
  std::string rows;
  for (uint32_t y = height; y-- > 0;) rows += b.substr(offset + y * stride, stride);
  b.replace(offset, rows.size(), rows);
  const uint32_t negative = uint32_t(-int64_t(height));
  for (int i = 0; i < 4; ++i) b[22 + size_t(i)] = char(negative >> (8 * i));
  return b;
}

class StillInteropTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    if (!kernel::FileExists(test::kConvert) || !kernel::FileExists(test::kFfmpeg))
      GTEST_SKIP() << "ImageMagick or ffmpeg is not installed";
    dir_ = test::ScratchDir("still_interop");
    // Odd sizes, so that padding, odd PCX lines and packets across rows all occur.
    source_ = dir_ + "/source.png";
    ASSERT_TRUE(test::ConvertRun("-seed 7 -size 37x23 plasma:fractal -depth 8 '" + source_ + "'"));
  }
  void TearDown() override {
    TGASetCompression(-1);
    ErrClear();
    FoundationTest::TearDown();
  }

  // Writes the source picture with the given options and checks that we load what it decodes.
  void CheckTheirs(const std::string& options, const std::string& file, StillLoader load, int32_t bpp,
                   const std::vector<StillMark>& marks) {
    SCOPED_TRACE(options + " " + file);
    // A "bmp3:" style prefix picks ImageMagick's writer and is no part of the name.
    const size_t colon = file.find(':');
    const std::string prefix = colon == std::string::npos ? "" : file.substr(0, colon + 1);
    const std::string path = dir_ + "/" + file.substr(colon == std::string::npos ? 0 : colon + 1);
    ASSERT_TRUE(test::ConvertRun("'" + source_ + "' " + options + " '" + prefix + path + "'"));
    CheckFile(path, load, bpp, marks, false);
  }

  // The same with ffmpeg writing the file in the given pixel format and decoding it; only the
  // top `bits` of each component count.
  void CheckFfmpegs(const std::string& pixelFormat, const std::string& file, StillLoader load, int32_t bpp,
                    const std::vector<StillMark>& marks, int bits = 8) {
    SCOPED_TRACE(pixelFormat + " " + file);
    const std::string path = dir_ + "/" + file;
    ASSERT_TRUE(test::FfmpegRun("-i '" + source_ + "' -pix_fmt " + pixelFormat + " '" + path + "'"));
    CheckFile(path, load, bpp, marks, true, bits);
  }

  void CheckFile(const std::string& path, StillLoader load, int32_t bpp, const std::vector<StillMark>& marks,
                 bool ffmpeg, int bits = 8) {
    const std::string bytes = test::ReadWholeFile(path);
    for (const StillMark& m : marks) {
      ASSERT_LT(m.at, bytes.size());
      EXPECT_EQ(uint8_t(bytes[m.at]) & m.mask, m.value) << "header byte " << m.at;
    }
    Qimg img;
    GuardedSilent("Test.StillInterop", [&] { load(path, img); });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_EQ(img.width, 37);
    EXPECT_EQ(img.height, 23);
    EXPECT_EQ(img.bpp, bpp);
    const auto theirs = ffmpeg ? test::DecodedByFfmpeg(path, dir_) : test::DecodedByConvert(path, dir_);
    test::ExpectSamePixels(test::OurRgb(img), theirs, 0, StillBits(img.bpp, bits));
    ImgFree(img);
  }

  // Saves a picture of ours and checks that ImageMagick decodes the same pixels.
  void CheckOurs(const Qimg& img, const std::string& file, StillSaver save) {
    const std::string path = dir_ + "/" + file;
    GuardedSilent("Test.StillInterop", [&] { save(path, img); });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    test::ExpectSamePixels(test::OurRgb(img), test::DecodedByConvert(path, dir_), 0, StillBits(img.bpp));
  }

  std::string dir_, source_;
};

TEST_F(StillInteropTest, TheirBmpFilesLoadToTheirPixels) {
  // Bit count at byte 28, compression at 30, header size at 14.
  CheckTheirs("-type Palette -compress None", "bmp3:p8.bmp", DIBLoad_, 8, {{28, 0xFF, 8}, {30, 0xFF, 0}});
  CheckTheirs("-type Palette -compress RLE", "bmp3:rle8.bmp", DIBLoad_, 8, {{28, 0xFF, 8}, {30, 0xFF, 1}});
  CheckTheirs("-type TrueColor", "bmp3:t24.bmp", DIBLoad_, 24, {{28, 0xFF, 24}, {14, 0xFF, 40}});
  // The default writer uses the long header with colour masks.
  CheckTheirs("-type TrueColor", "v5.bmp", DIBLoad_, 24, {{28, 0xFF, 24}, {14, 0xFF, 124}});
  CheckTheirs("-colors 16 -type Palette", "bmp3:p4.bmp", DIBLoad_, 8, {{28, 0xFF, 4}, {30, 0xFF, 0}});
  CheckTheirs("-colors 16 -type Palette", "p4v5.bmp", DIBLoad_, 8, {{28, 0xFF, 4}, {14, 0xFF, 124}});
  CheckTheirs("-monochrome", "bmp3:m1.bmp", DIBLoad_, 8, {{28, 0xFF, 1}});
  CheckTheirs("-type TrueColorAlpha -alpha set -channel A -evaluate set 60% +channel", "a32.bmp", DIBLoad_, 32,
              {{28, 0xFF, 32}, {30, 0xFF, 3}, {14, 0xFF, 124}});
  // Their files turned top-down (negative height) load as they decode them.
  for (const char* name : {"t24.bmp", "p4.bmp", "m1.bmp", "a32.bmp"}) {
    SCOPED_TRACE(name);
    const std::string path = dir_ + "/top_" + name;
    test::WriteWholeFile(path, StillTopDown(test::ReadWholeFile(dir_ + "/" + name)));
    CheckFile(path, DIBLoad_,
              std::string(name) == "t24.bmp"   ? 24
              : std::string(name) == "a32.bmp" ? 32
                                               : 8,
              {{25, 0xFF, 0xFF}}, false);
  }
}

TEST_F(StillInteropTest, FfmpegBmpAndTgaFilesLoadToItsPixels) {
  // Bit count at byte 28, compression at 30: plain 32 bits, bit fields of 16 bits, 1 bit.
  CheckFfmpegs("bgra", "f32.bmp", DIBLoad_, 24, {{28, 0xFF, 32}, {30, 0xFF, 0}});
  CheckFfmpegs("rgb565", "f565.bmp", DIBLoad_, 16, {{28, 0xFF, 16}, {30, 0xFF, 3}});
  // Both peers widen four-bit fields by shifting (white is 240), we by scaling: the four bits
  // must agree.
  CheckFfmpegs("rgb444", "f444.bmp", DIBLoad_, 24, {{28, 0xFF, 16}, {30, 0xFF, 3}}, 4);
  CheckFfmpegs("rgb555", "f555.bmp", DIBLoad_, 15, {{28, 0xFF, 16}, {30, 0xFF, 0}});
  CheckFfmpegs("monob", "f1.bmp", DIBLoad_, 8, {{28, 0xFF, 1}});
  CheckFfmpegs("rgb4_byte", "f8.bmp", DIBLoad_, 8, {{28, 0xFF, 8}});
  // A grey TGA, top row first: image type 3, origin bit set.
  CheckFfmpegs("gray", "fg.tga", TGALoad_, 8, {{2, 0xFF, 3}, {17, 32, 32}});
}

TEST_F(StillInteropTest, TheirTgaFilesLoadToTheirPixels) {
  for (const char* orient : {"BottomLeft", "TopLeft"}) {
    for (const char* compress : {"None", "RLE"}) {
      const std::string common = std::string("-orient ") + orient + " -compress " + compress;
      const uint8_t rle = std::string(compress) == "RLE" ? 8 : 0;
      const uint8_t top = std::string(orient) == "TopLeft" ? 32 : 0;
      // Image type at byte 2, depth at 16, origin bit in 17; the ID length at 0.
      CheckTheirs(common + " -type Palette", "p8.tga", TGALoad_, 8,
                  {{2, 0xFF, uint8_t(1 + rle)}, {16, 0xFF, 8}, {17, 32, top}});
      CheckTheirs(common + " -type TrueColor", "t24.tga", TGALoad_, 24,
                  {{2, 0xFF, uint8_t(2 + rle)}, {16, 0xFF, 24}, {17, 32, top}});
      CheckTheirs(common + " -type TrueColorAlpha -alpha set -channel A -evaluate set 60% +channel", "t32.tga",
                  TGALoad_, 32, {{2, 0xFF, uint8_t(2 + rle)}, {16, 0xFF, 32}, {17, 32, top}});
      CheckTheirs(common + " -type Grayscale", "g8.tga", TGALoad_, 8,
                  {{2, 0xFF, uint8_t(3 + rle)}, {16, 0xFF, 8}, {17, 32, top}});
      // A comment becomes the ID field before the colour map.
      CheckTheirs(common + " -type Palette -set comment 'made by the test'", "id.tga", TGALoad_, 8,
                  {{0, 0xFF, 16}, {2, 0xFF, uint8_t(1 + rle)}, {17, 32, top}});
    }
  }
}

TEST_F(StillInteropTest, TheirPcxFilesLoadToTheirPixels) {
  // Planes at byte 65; the line length (66) is the odd width itself, without padding.
  CheckTheirs("-type Palette", "p8.pcx", PCXLoad_, 8, {{65, 0xFF, 1}, {66, 0xFF, 37}});
  CheckTheirs("-type TrueColor", "t24.pcx", PCXLoad_, 24, {{65, 0xFF, 3}, {66, 0xFF, 37}});
}

TEST_F(StillInteropTest, OurFilesDecodeInImageMagick) {
  for (int32_t bpp : {8, 15, 24, 32}) {
    Qimg img;
    test::MakePattern(img, 37, 23, bpp, uint32_t(bpp));
    // Long runs as well as noise, for the run-length coders.
    for (int32_t i = 0; i < img.size / 3; ++i) img.data[i] = uint8_t(i / 97);
    if (bpp == 15) {
      for (int32_t i = 1; i < img.size; i += 2) img.data[i] &= 0x7F;
    }
    SCOPED_TRACE(bpp);
    for (int32_t coded : {0, 1}) {
      TGASetCompression(coded);
      CheckOurs(img, coded ? "ours_rle.tga" : "ours.tga", TGASave_);
    }
    if (bpp != 32) CheckOurs(img, "ours.bmp", DIBSave_);
    if (bpp == 8 || bpp == 24) CheckOurs(img, "ours.pcx", PCXSave_);
    ImgFree(img);
  }
}

}  // namespace
}  // namespace rf
