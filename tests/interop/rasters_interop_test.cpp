// SGI, Sun raster, PNM and BAY against ImageMagick and ffmpeg: their files load to the pixels
// they decode, and our files decode in them to the pixels we wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "formats/ff_bay.h"
#include "formats/ff_pnm.h"
#include "formats/ff_ras.h"
#include "formats/ff_sgi.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "image/image_test_util.h"
#include "interop/peers.h"
#include "os/kernel.h"

namespace rf {
namespace {

using RastersLoader = void (*)(std::string_view, Qimg&);
using RastersSaver = void (*)(std::string_view, const Qimg&);

// A header byte that shows ImageMagick wrote the variant asked for.
struct RastersMark {
  size_t at;
  uint8_t value;
};

// A Sun run-length coder of the test's own, coding the whole pixel block as one stream (runs
// cross rows), so that files of this kind exist although ImageMagick writes none.
std::vector<uint8_t> RastersSunCode(const uint8_t* p, size_t n) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < n;) {
    size_t j = i + 1;
    while (j < n && p[j] == p[i] && j - i < 256) ++j;
    if (j - i >= 4 || (p[i] == 0x80 && j - i > 1))
      out.insert(out.end(), {0x80, uint8_t(j - i - 1), p[i]});
    else
      for (size_t k = i; k < j; ++k) {
        out.push_back(p[k]);
        if (p[k] == 0x80) out.push_back(0);
      }
    i = j;
  }
  return out;
}

void RastersSwapRedBlue(std::vector<uint8_t>& rgb) {
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
}

uint32_t RastersBe32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}

class RastersInteropTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    if (!kernel::FileExists(test::kConvert) || !kernel::FileExists(test::kFfmpeg))
      GTEST_SKIP() << "ImageMagick or ffmpeg is not installed";
    dir_ = test::ScratchDir("rasters_interop");
    // An odd width, so that rows of odd length (and their padding) occur, and an even one.
    odd_ = dir_ + "/odd.png";
    even_ = dir_ + "/even.png";
    ASSERT_TRUE(test::ConvertRun("-seed 7 -size 37x23 plasma:fractal -depth 8 '" + odd_ + "'"));
    ASSERT_TRUE(test::ConvertRun("-seed 7 -size 38x23 plasma:fractal -depth 8 '" + even_ + "'"));
  }
  void TearDown() override {
    SGISetCompression(1);
    RASSetCompression(1);
    PNMSetEncoding(0);
    ErrClear();
    FoundationTest::TearDown();
  }

  // Writes source with the given options and checks that we load what ImageMagick decodes.
  void CheckTheirs(const std::string& source, const std::string& options, const std::string& file, RastersLoader load,
                   int32_t bpp, const std::vector<RastersMark>& marks) {
    SCOPED_TRACE(options + " " + file);
    const size_t colon = file.find(':');
    const std::string path = dir_ + "/" + file.substr(colon + 1);
    ASSERT_TRUE(test::ConvertRun("'" + source + "' " + options + " '" + file.substr(0, colon + 1) + path + "'"));
    const auto bytes = test::FileBytes(path);
    for (const RastersMark& m : marks) {
      ASSERT_LT(m.at, bytes.size());
      EXPECT_EQ(bytes[m.at], m.value) << "header byte " << m.at;
    }
    CheckFile(path, load, bpp);
  }

  // With redFirst ImageMagick reads the file's true-colour pixels red first where we read them
  // blue first: it does so for every Sun raster type but the standard one, coded files included.
  // With ffmpeg the file is compared with ffmpeg's decode instead of ImageMagick's.
  void CheckFile(const std::string& path, RastersLoader load, int32_t bpp, bool redFirst = false, bool ffmpeg = false,
                 int tolerance = 0) {
    Qimg img;
    GuardedSilent("Test.RastersInterop", [&] { load(path, img); });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_EQ(img.bpp, bpp);
    std::vector<uint8_t> theirs = ffmpeg ? test::DecodedByFfmpeg(path, dir_) : test::DecodedByConvert(path, dir_);
    ASSERT_EQ(theirs.size(), size_t(img.width) * img.height * 3);
    if (redFirst) RastersSwapRedBlue(theirs);
    test::ExpectSamePixels(test::OurRgb(img), theirs, tolerance);
    ImgFree(img);
  }

  // ffmpeg must decode our file to our pixels, and so must ImageMagick unless convert is false;
  // redFirstInConvert as for CheckFile.
  void CheckOurs(const Qimg& img, const std::string& file, RastersSaver save, bool redFirstInConvert = false,
                 bool convert = true) {
    SCOPED_TRACE(file);
    const std::string path = dir_ + "/" + file;
    GuardedSilent("Test.RastersInterop", [&] { save(path, img); });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    std::vector<uint8_t> theirs = test::DecodedByConvert(path, dir_);
    if (redFirstInConvert) RastersSwapRedBlue(theirs);
    if (convert) test::ExpectSamePixels(test::OurRgb(img), theirs);
    test::ExpectSamePixels(test::OurRgb(img), test::DecodedByFfmpeg(path, dir_));
  }

  std::string dir_, odd_, even_;
};

TEST_F(RastersInteropTest, TheirSgiFilesLoadToTheirPixels) {
  for (const char* compress : {"RLE", "None"}) {
    const uint8_t storage = std::string(compress) == "RLE" ? 1 : 0;
    const std::string c = std::string("-compress ") + compress + " -depth 8";
    // Storage at byte 2, bytes per channel at 3, channels in bytes 10 and 11.
    CheckTheirs(odd_, c + " -type TrueColor", "sgi:t24.sgi", SGILoad, 24, {{2, storage}, {3, 1}, {11, 3}});
    CheckTheirs(odd_, c + " -type TrueColorAlpha -alpha set -channel A -evaluate set 60% +channel", "sgi:t32.sgi",
                SGILoad, 32, {{2, storage}, {11, 4}});
    CheckTheirs(odd_, c + " -type Grayscale", "sgi:g8.sgi", SGILoad, 8, {{2, storage}, {11, 1}});
  }
}

TEST_F(RastersInteropTest, TheirSunRasterFilesLoadToTheirPixels) {
  // Depth in byte 15, type in byte 23, colour-map type in byte 27.
  CheckTheirs(odd_, "-type Palette", "sun:p8.ras", RASLoad, 8, {{15, 8}, {23, 1}, {27, 1}});
  CheckTheirs(odd_, "-type TrueColor", "sun:t24.ras", RASLoad, 24, {{15, 24}, {23, 3}, {27, 0}});
  // ImageMagick writes no coded files; code its plain ones (red-green-blue turned to the coded
  // type's blue-green-red) and check that we decode them as ffmpeg does (ImageMagick misreads
  // coded rows of odd length).
  for (const char* name : {"p8.ras", "t24.ras"}) {
    SCOPED_TRACE(name);
    auto b = test::FileBytes(dir_ + "/" + name);
    const size_t data = 32 + RastersBe32(b, 28);
    const bool rgb = RastersBe32(b, 20) == 3;
    std::vector<uint8_t> pixels(b.begin() + long(data), b.end());
    if (rgb)
      for (size_t i = 0; i + 2 < pixels.size(); i += 3) std::swap(pixels[i], pixels[i + 2]);
    const auto coded = RastersSunCode(pixels.data(), pixels.size());
    b.resize(data);
    b[23] = 2;
    for (int k = 0; k < 4; ++k) b[16 + size_t(k)] = uint8_t(coded.size() >> (24 - 8 * k));
    b.insert(b.end(), coded.begin(), coded.end());
    const std::string path = dir_ + "/rle_" + name;
    test::WriteWholeFile(path, std::string(b.begin(), b.end()));
    CheckFile(path, RASLoad, rgb ? 24 : 8, false, true);
  }
  // ffmpeg's files, plain and coded, padded at the odd width.
  for (const char* format : {"bgr24", "pal8", "gray"}) {
    for (const char* rle : {"0", "1"}) {
      SCOPED_TRACE(std::string(format) + " rle " + rle);
      const std::string path = dir_ + "/ff_" + format + rle + ".ras";
      ASSERT_TRUE(test::FfmpegRun("-i '" + odd_ + "' -pix_fmt " + format + " -c:v sunrast -rle " + rle +
                                  " -f image2 '" + path + "'"));
      CheckFile(path, RASLoad, std::string(format) == "bgr24" ? 24 : 8, false, true);
    }
  }
}

TEST_F(RastersInteropTest, TheirPnmFilesLoadToTheirPixels) {
  CheckTheirs(odd_, "-compress none -type Grayscale", "pgm:p2.pgm", PNMLoad, 8, {{0, 'P'}, {1, '2'}});
  CheckTheirs(odd_, "-compress none", "ppm:p3.ppm", PNMLoad, 24, {{1, '3'}});
  CheckTheirs(odd_, "-type Grayscale", "pgm:p5.pgm", PNMLoad, 8, {{1, '5'}});
  CheckTheirs(odd_, "", "ppm:p6.ppm", PNMLoad, 24, {{1, '6'}});
  // Maximum value 15 (the header's third line is "15").
  CheckTheirs(odd_, "-depth 4", "ppm:p6_15.ppm", PNMLoad, 24, {{1, '6'}, {9, '1'}, {10, '5'}, {11, '\n'}});
  // (ImageMagick writes text maps with maximum value 255 whatever the depth.)
  CheckTheirs(odd_, "-colorspace gray -depth 4", "pgm:p5_15.pgm", PNMLoad, 8,
              {{1, '5'}, {9, '1'}, {10, '5'}, {11, '\n'}});
  // Bitmaps in text and binary form.
  CheckTheirs(odd_, "-monochrome -compress none", "pbm:p1.pbm", PNMLoad, 8, {{1, '1'}});
  CheckTheirs(odd_, "-monochrome", "pbm:p4.pbm", PNMLoad, 8, {{1, '4'}});
  const std::string p4 = dir_ + "/ff.pbm";
  ASSERT_TRUE(test::FfmpegRun("-i '" + odd_ + "' -pix_fmt monob '" + p4 + "'"));
  CheckFile(p4, PNMLoad, 8, false, true);
}

// Samples of every value a maximum allows (a spread of them at 65535) are scaled as both peers
// scale them.
TEST_F(RastersInteropTest, PnmSamplesScaleAsThePeersScaleThem) {
  struct Case {
    int maxValue;
    // Where a sample falls between two levels the peers differ from exact rounding by one:
    // ImageMagick truncates some, ffmpeg scales by fixed-point factors and dithers 16 bits to 8.
    int convertTolerance, ffmpegTolerance;
  };
  for (const Case c :
       {Case{1, 0, 0}, Case{15, 0, 0}, Case{63, 1, 1}, Case{127, 1, 1}, Case{255, 0, 0}, Case{65535, 1, 2}}) {
    for (const char* kind : {"5", "6"}) {
      SCOPED_TRACE(testing::Message() << "maximum " << c.maxValue << " P" << kind);
      const int samples = kind[0] == '5' ? 1 : 3, width = 64, height = 48;
      std::string file = std::string("P") + kind + " " + std::to_string(width) + " " + std::to_string(height) + " " +
                         std::to_string(c.maxValue) + "\n";
      for (int i = 0; i < width * height * samples; ++i) {
        const int v = int(int64_t(i) * 7919 % (c.maxValue + 1));
        if (c.maxValue > 255) file += char(v >> 8);
        file += char(v);
      }
      const std::string path = dir_ + "/max" + std::to_string(c.maxValue) + "_" + kind + ".pnm";
      test::WriteWholeFile(path, file);
      CheckFile(path, PNMLoad, samples == 1 ? 8 : 24, false, false, c.convertTolerance);
      CheckFile(path, PNMLoad, samples == 1 ? 8 : 24, false, true, c.ffmpegTolerance);
    }
  }
}

TEST_F(RastersInteropTest, OurFilesDecodeInImageMagickAndFfmpeg) {
  for (int32_t bpp : {8, 24}) {
    SCOPED_TRACE(bpp);
    for (int32_t width : {37, 38}) {
      Qimg img;
      test::MakePattern(img, width, 23, bpp, uint32_t(bpp + width));
      // Long runs as well as noise, for the run-length coders.
      for (int32_t i = 0; i < img.size / 3; ++i) img.data[i] = uint8_t(i / 97);
      for (int32_t coded : {0, 1}) {
        SGISetCompression(coded);
        CheckOurs(img, coded ? "ours_rle.sgi" : "ours.sgi", SGISave);
        PNMSetEncoding(coded);
        CheckOurs(img, coded ? "ours_ascii.ppm" : "ours.ppm", PNMSave);
        // ImageMagick decodes coded Sun raster data of padded odd-length rows short by the
        // padding: its last row comes out wrong, in ffmpeg's files as in ours.
        RASSetCompression(coded);
        CheckOurs(img, coded ? "ours_rle.ras" : "ours.ras", RASSave, coded && bpp == 24, !coded || width % 2 == 0);
      }
      ImgFree(img);
    }
  }
}

// ImageMagick has no BAY reader: a file built here loads to the cells it was built from, and the
// picture we load goes through our PNM writer into ImageMagick unchanged.
TEST_F(RastersInteropTest, BayFileBuiltHereLoadsAndPassesOn) {
  std::vector<uint8_t> b(BAY_FILE_SIZE, 0);
  for (int32_t i = 0; i < BAY_SENSOR_BYTES; ++i) b[size_t(i)] = uint8_t((i * 7) ^ (i >> 9));
  std::memcpy(b.data() + BAY_SENSOR_BYTES, "EK\0BAY 2\x01\0\0\x02", 12);
  const std::string path = dir_ + "/made.bay";
  test::WriteWholeFile(path, std::string(b.begin(), b.end()));
  Qimg img;
  GuardedSilent("Test.RastersInterop", [&] { BayLoad(path, img); });
  ASSERT_TRUE(ErrNone()) << ErrLastMessage();
  ASSERT_EQ(img.bpp, 24);
  const uint8_t* cell = b.data() + (3 * 256 + 5) * 4;  // the square at x 10, y 6
  EXPECT_EQ(test::Pixel(img, 11, 6), uint32_t(cell[1]) << 16 | uint32_t(cell[0]) << 8 | cell[2]);
  EXPECT_EQ(test::Pixel(img, 10, 7), uint32_t(cell[1]) << 16 | uint32_t(cell[3]) << 8 | cell[2]);
  CheckOurs(img, "bay.ppm", PNMSave);
  ImgFree(img);
}

}  // namespace
}  // namespace rf
