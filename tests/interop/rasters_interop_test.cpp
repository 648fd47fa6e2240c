// SGI, Sun raster, PNM and BAY against ImageMagick: its files load to the pixels it decodes, and
// our files decode in it to the pixels we wrote.
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
#include "os/kernel.h"

namespace rf {
namespace {

// The real tool; another program of that name earlier on the path is not it.
const char* const kRastersConvert = "/usr/bin/convert";

using RastersLoader = void (*)(std::string_view, Qimg&);
using RastersSaver = void (*)(std::string_view, const Qimg&);

// A header byte that shows ImageMagick wrote the variant asked for.
struct RastersMark {
  size_t at;
  uint8_t value;
};

bool RastersConvertRun(const std::string& args) {
  const std::string cmd = std::string(kRastersConvert) + " " + args + " 2>/dev/null";
  return std::system(cmd.c_str()) == 0;
}

std::vector<uint8_t> RastersFile(const std::string& path) {
  const std::string s = test::ReadWholeFile(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// The pixels ImageMagick decodes from a file: red, green, blue bytes, rows top first.
std::vector<uint8_t> RastersDecodedByConvert(const std::string& file, const std::string& scratch) {
  const std::string raw = scratch + "/decoded.rgb";
  std::remove(raw.c_str());
  if (!RastersConvertRun("'" + file + "' -depth 8 'rgb:" + raw + "'")) return {};
  return RastersFile(raw);
}

// Our picture as red, green, blue bytes (8-bit pictures through their palette, the fourth byte of
// 32-bit pixels left out).
std::vector<uint8_t> RastersOurRgb(const Qimg& img) {
  std::vector<uint8_t> rgb;
  for (int32_t y = 0; y < img.height; ++y)
    for (int32_t x = 0; x < img.width; ++x) {
      const uint32_t v = test::Pixel(img, x, y);
      if (img.bpp == 8)
        rgb.insert(rgb.end(), {img.palette[v][2], img.palette[v][1], img.palette[v][0]});
      else
        rgb.insert(rgb.end(), {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    }
  return rgb;
}

void RastersExpectSame(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs) {
  ASSERT_EQ(ours.size(), theirs.size());
  size_t differ = 0, first = 0;
  for (size_t i = 0; i < ours.size(); ++i)
    if (ours[i] != theirs[i] && differ++ == 0) first = i;
  EXPECT_EQ(differ, 0u) << "first difference at byte " << first << ": " << int(ours[first]) << " vs "
                        << int(theirs[first]);
}

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
    if (!kernel::FileExists(kRastersConvert)) GTEST_SKIP() << "ImageMagick is not installed";
    dir_ = test::ScratchDir("rasters_interop");
    // An odd width, so that rows of odd length occur; Sun raster rows are read unpadded, which
    // only agrees with ImageMagick's padded rows at even lengths, so those tests use 38.
    odd_ = dir_ + "/odd.png";
    even_ = dir_ + "/even.png";
    ASSERT_TRUE(RastersConvertRun("-seed 7 -size 37x23 plasma:fractal -depth 8 '" + odd_ + "'"));
    ASSERT_TRUE(RastersConvertRun("-seed 7 -size 38x23 plasma:fractal -depth 8 '" + even_ + "'"));
  }
  void TearDown() override {
    SGISetCompression(1);
    RASSetCompression(1);
    PNMSetEncoding(0);
    ErrClear();
    FoundationTest::TearDown();
  }

  // Writes source with the given options and checks that we load what ImageMagick decodes.
  // With scale15 the file's samples are 4-bit: ImageMagick widens them by 17, we by 16.
  void CheckTheirs(const std::string& source, const std::string& options, const std::string& file, RastersLoader load,
                   int32_t bpp, const std::vector<RastersMark>& marks, bool scale15 = false) {
    SCOPED_TRACE(options + " " + file);
    const size_t colon = file.find(':');
    const std::string path = dir_ + "/" + file.substr(colon + 1);
    ASSERT_TRUE(RastersConvertRun("'" + source + "' " + options + " '" + file.substr(0, colon + 1) + path + "'"));
    const auto bytes = RastersFile(path);
    for (const RastersMark& m : marks) {
      ASSERT_LT(m.at, bytes.size());
      EXPECT_EQ(bytes[m.at], m.value) << "header byte " << m.at;
    }
    CheckFile(path, load, bpp, scale15);
  }

  // With redFirst ImageMagick reads the file's true-colour pixels red first where we read them
  // blue first: it does so for every Sun raster type but the standard one, coded files included.
  void CheckFile(const std::string& path, RastersLoader load, int32_t bpp, bool scale15 = false,
                 bool redFirst = false) {
    Qimg img;
    GuardedSilent("Test.RastersInterop", [&] { load(path, img); });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    EXPECT_EQ(img.bpp, bpp);
    std::vector<uint8_t> theirs = RastersDecodedByConvert(path, dir_);
    ASSERT_EQ(theirs.size(), size_t(img.width) * img.height * 3);
    if (scale15)
      for (uint8_t& v : theirs) v = uint8_t(v / 17 * 16);
    if (redFirst) RastersSwapRedBlue(theirs);
    RastersExpectSame(RastersOurRgb(img), theirs);
    ImgFree(img);
  }

  void CheckOurs(const Qimg& img, const std::string& file, RastersSaver save, bool redFirst = false) {
    SCOPED_TRACE(file);
    const std::string path = dir_ + "/" + file;
    GuardedSilent("Test.RastersInterop", [&] { save(path, img); });
    ASSERT_TRUE(ErrNone()) << ErrLastMessage();
    std::vector<uint8_t> theirs = RastersDecodedByConvert(path, dir_);
    if (redFirst) RastersSwapRedBlue(theirs);
    RastersExpectSame(RastersOurRgb(img), theirs);
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
  CheckTheirs(even_, "-type Palette", "sun:p8.ras", RASLoad, 8, {{15, 8}, {23, 1}, {27, 1}});
  CheckTheirs(even_, "-type TrueColor", "sun:t24.ras", RASLoad, 24, {{15, 24}, {23, 3}, {27, 0}});
  // ImageMagick writes no coded files; code its plain ones (red-green-blue turned to the coded
  // type's blue-green-red) and check that both sides decode them alike.
  for (const char* name : {"p8.ras", "t24.ras"}) {
    SCOPED_TRACE(name);
    auto b = RastersFile(dir_ + "/" + name);
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
    CheckFile(path, RASLoad, rgb ? 24 : 8, false, rgb);
  }
}

TEST_F(RastersInteropTest, TheirPnmFilesLoadToTheirPixels) {
  CheckTheirs(odd_, "-compress none -type Grayscale", "pgm:p2.pgm", PNMLoad, 8, {{0, 'P'}, {1, '2'}});
  CheckTheirs(odd_, "-compress none", "ppm:p3.ppm", PNMLoad, 24, {{1, '3'}});
  CheckTheirs(odd_, "-type Grayscale", "pgm:p5.pgm", PNMLoad, 8, {{1, '5'}});
  CheckTheirs(odd_, "", "ppm:p6.ppm", PNMLoad, 24, {{1, '6'}});
  // Maximum value 15 (the header's third line is "15"): samples shifted by 4.
  CheckTheirs(odd_, "-depth 4", "ppm:p6_15.ppm", PNMLoad, 24, {{1, '6'}, {9, '1'}, {10, '5'}, {11, '\n'}}, true);
  // (ImageMagick writes text maps with maximum value 255 whatever the depth.)
  CheckTheirs(odd_, "-colorspace gray -depth 4", "pgm:p5_15.pgm", PNMLoad, 8,
              {{1, '5'}, {9, '1'}, {10, '5'}, {11, '\n'}}, true);
}

TEST_F(RastersInteropTest, OurFilesDecodeInImageMagick) {
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
        // Sun raster rows are unpadded: ImageMagick reads them alike at even lengths only.
        if (width % 2 == 0) {
          RASSetCompression(coded);
          CheckOurs(img, coded ? "ours_rle.ras" : "ours.ras", RASSave, coded && bpp == 24);
        }
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
