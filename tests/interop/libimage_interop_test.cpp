// TIFF, PNG, JPEG and XPM against ImageMagick: its files load to the pixels it decodes (JPEG by
// PSNR), and our files decode in it (XPM also in ffmpeg) to the pixels we wrote.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ff_jpg.h"
#include "formats/ff_png.h"
#include "formats/ff_tif.h"
#include "formats/ff_xpm.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "image/image_test_util.h"
#include "interop/peers.h"
#include "os/kernel.h"

namespace rf {
namespace {

// Two decoders of the same JPEG data differ only in rounding: 40 dB is far below that and far
// above any real decoding difference.
constexpr double kLibSameDecodeDb = 40.0;
// Our JPEG coding at the default quality of a smooth picture, decoded by ImageMagick.
constexpr double kLibOurJpegDb = 30.0;

using LibLoader = void (*)(std::string_view, Qimg&);
using LibSaver = void (*)(std::string_view, const Qimg&);

double LibPsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::pow(double(a[i]) - b[i], 2);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

void LibExpectSame(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs, double minDb) {
  if (minDb == 0) return test::ExpectSamePixels(ours, theirs);
  ASSERT_EQ(ours.size(), theirs.size());
  EXPECT_GT(LibPsnr(ours, theirs), minDb);
}

// The compression and photometric tags of a TIFF file, to see that ImageMagick wrote what was
// asked for.
std::pair<int, int> LibTiffTags(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return {0, 0};
  uint16_t compression = 0, photometric = 0;
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFClose(tif);
  return {compression, photometric};
}

class LibImageInteropTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    if (!kernel::FileExists(test::kConvert)) GTEST_SKIP() << "ImageMagick is not installed";
    dir_ = test::ScratchDir("libimage_interop");
    source_ = dir_ + "/source.png";
    ASSERT_TRUE(test::ConvertRun("-seed 7 -size 37x23 plasma:fractal -depth 8 '" + source_ + "'"));
  }
  void TearDown() override {
    TIFSetCompression(1);
    ErrClear();
    WarnClear();
    FoundationTest::TearDown();
  }

  // Writes the source picture with the given options and checks that we load what it decodes.
  std::string CheckTheirs(const std::string& options, const std::string& file, LibLoader load, int32_t bpp,
                          double minDb = 0, bool wide = false) {
    SCOPED_TRACE(options + " " + file);
    const size_t colon = file.find(':');
    const std::string path = dir_ + "/" + file.substr(colon == std::string::npos ? 0 : colon + 1);
    const std::string prefix = colon == std::string::npos ? "" : file.substr(0, colon + 1);
    EXPECT_TRUE(test::ConvertRun("'" + source_ + "' " + options + " '" + prefix + path + "'"));
    Qimg img;
    GuardedSilent("Test.LibInterop", [&] { load(path, img); });
    EXPECT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_EQ(img.width, 37);
    EXPECT_EQ(img.height, 23);
    EXPECT_EQ(img.bpp, bpp);
    if (ImgValid(img))
      LibExpectSame(test::OurRgb(img), wide ? test::DecodedRounded(path, dir_) : test::DecodedByConvert(path, dir_),
                    minDb);
    ImgFree(img);
    return path;
  }

  void CheckOurs(const Qimg& img, const std::string& file, LibSaver save, double minDb = 0) {
    SCOPED_TRACE(file);
    const std::string path = dir_ + "/" + file;
    GuardedSilent("Test.LibInterop", [&] { save(path, img); });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    LibExpectSame(test::OurRgb(img), test::DecodedByConvert(path, dir_), minDb);
  }

  std::string dir_, source_;
};

TEST_F(LibImageInteropTest, TheirTiffFilesLoadToTheirPixels) {
  struct Kind {
    const char* compress;
    int tag;
  };
  for (const Kind k : {Kind{"None", 1}, Kind{"LZW", 5}, Kind{"RLE", 32773}, Kind{"Zip", 8}}) {
    SCOPED_TRACE(k.compress);
    const std::string c = std::string("-compress ") + k.compress;
    // Its colour maps hold 16-bit entries.
    std::string path = CheckTheirs(c + " -type Palette", "p8.tif", TIFLoad, 8, 0, true);
    EXPECT_EQ(LibTiffTags(path), std::make_pair(k.tag, PHOTOMETRIC_PALETTE));
    path = CheckTheirs(c + " -type Grayscale", "g8.tif", TIFLoad, 8);
    EXPECT_EQ(LibTiffTags(path), std::make_pair(k.tag, PHOTOMETRIC_MINISBLACK));
    path = CheckTheirs(c + " -type TrueColor", "t24.tif", TIFLoad, 24);
    EXPECT_EQ(LibTiffTags(path), std::make_pair(k.tag, PHOTOMETRIC_RGB));
  }
  // JPEG coded, colour as YCbCr and grey; the same coefficients decoded twice.
  std::string path = CheckTheirs("-compress JPEG -type TrueColor", "j24.tif", TIFLoad, 24, kLibSameDecodeDb);
  EXPECT_EQ(LibTiffTags(path).first, COMPRESSION_JPEG);
  path = CheckTheirs("-compress JPEG -type Grayscale", "jg.tif", TIFLoad, 8, kLibSameDecodeDb);
  EXPECT_EQ(LibTiffTags(path).first, COMPRESSION_JPEG);
}

TEST_F(LibImageInteropTest, TheirPngFilesLoadToTheirPixels) {
  CheckTheirs("-type Palette", "png8:p8.png", PNGLoad, 8);
  CheckTheirs("-type Grayscale", "g8.png", PNGLoad, 8);
  CheckTheirs("-type TrueColor", "png24:t24.png", PNGLoad, 24);
  // Alpha is dropped; the colour under it is what ImageMagick decodes too.
  CheckTheirs("-alpha set -channel A -evaluate set 60% +channel", "png32:t32.png", PNGLoad, 24);
  // 16-bit samples.
  CheckTheirs("-depth 16 -evaluate multiply 1.0013", "png48:t48.png", PNGLoad, 24, 0, true);
  CheckTheirs("-type Grayscale -depth 16 -evaluate multiply 1.0013", "g16.png", PNGLoad, 8, 0, true);
}

TEST_F(LibImageInteropTest, TheirJpegAndXpmFilesLoadToTheirPixels) {
  CheckTheirs("-quality 90", "c.jpg", JPGLoad, 24, kLibSameDecodeDb);
  CheckTheirs("-quality 90 -type Grayscale", "g.jpg", JPGLoad, 8, kLibSameDecodeDb);
  // ImageMagick names the colours it knows and writes the others in 16-bit hex.
  const std::string path = CheckTheirs("-colors 40", "p.xpm", XPMLoad, 24);
  EXPECT_NE(test::ReadWholeFile(path).find("c #"), std::string::npos);
  CheckTheirs("-fill red -draw 'rectangle 0,0 10,10' -fill white -draw 'rectangle 11,0 20,10' -colors 30", "n.xpm",
              XPMLoad, 24);
  // Colours of 16-bit samples are written with four digits a channel, rounded to 8 bits on reading.
  const std::string wide = CheckTheirs("-depth 16 -evaluate multiply 1.0013 -colors 40", "w.xpm", XPMLoad, 24, 0, true);
  const std::string text = test::ReadWholeFile(wide);
  const size_t hex = text.find(" c #");
  ASSERT_NE(hex, std::string::npos);
  EXPECT_EQ(text.find('"', hex) - hex, 4 + 12u);
}

TEST_F(LibImageInteropTest, OurXpmFilesDecodeInImageMagickAndFfmpeg) {
  // Noise at 24 bits needs three characters a pixel, a palette picture two, a few colours one.
  struct Case {
    int32_t width, height, bpp;
    uint32_t mask;
  };
  for (const Case c :
       {Case{37, 23, 24, 0xFFFFFF}, Case{37, 23, 8, 0xFF}, Case{5, 3, 24, 0x0F00F0}, Case{1, 1, 24, 0}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.bpp);
    Qimg img;
    test::MakePattern(img, c.width, c.height, c.bpp, 5);
    if (c.bpp == 24) {
      std::vector<uint32_t> px = test::Pixels(img);
      for (uint32_t& p : px) p &= c.mask;
      ImgFree(img);
      test::MakeFrom(img, c.width, c.height, 24, px);
    }
    CheckOurs(img, "ours_" + std::to_string(c.bpp) + ".xpm", XPMSave);
    LibExpectSame(test::OurRgb(img), test::DecodedByFfmpeg(dir_ + "/ours_" + std::to_string(c.bpp) + ".xpm", dir_), 0);
    ImgFree(img);
  }
}

TEST_F(LibImageInteropTest, OurFilesDecodeInImageMagick) {
  for (int32_t bpp : {8, 24}) {
    SCOPED_TRACE(bpp);
    Qimg img;
    test::MakePattern(img, 37, 23, bpp, uint32_t(bpp));
    for (int32_t i = 0; i < img.size / 3; ++i) img.data[i] = uint8_t(i / 97);
    for (int32_t compression : {1, 5, 32773, 32946}) {
      TIFSetCompression(compression);
      CheckOurs(img, "ours_" + std::to_string(compression) + ".tif", TIFSave);
    }
    CheckOurs(img, "ours.png", PNGSave);
    CheckOurs(img, "ours.xpm", XPMSave);
    ImgFree(img);
  }
  // JPEG coding, also inside TIFF, of a smooth picture; XPM of a palette picture converted.
  Qimg smooth;
  std::vector<uint32_t> px;
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37; ++x) px.push_back(uint32_t((x * 6) << 16 | (y * 11) << 8 | 128));
  test::MakeFrom(smooth, 37, 23, 24, px);
  CheckOurs(smooth, "ours.jpg", JPGSave, kLibOurJpegDb);
  TIFSetCompression(7);
  CheckOurs(smooth, "ours_7.tif", TIFSave, kLibOurJpegDb);
  ImgFree(smooth);
}

}  // namespace
}  // namespace rf
