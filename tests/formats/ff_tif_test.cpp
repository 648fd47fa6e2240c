// TIFF reader and writer: round trips at every depth and compression, the fields we write, the
// layouts we read from files libtiff writes for the test, compression names, libtiff's messages
// in the registers and failures at every step.
#include "formats/ff_tif.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <tuple>

#include "formats/ffdesc.h"
#include "formats/still_test_util.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::FileBytes;
using stilltest::kOk;
using stilltest::Le16;
using stilltest::Le32;
using stilltest::Outcome;
using stilltest::PutFile;
using stilltest::Try;

// A file written by libtiff itself, for layouts our writer never makes.
struct TiffRecipe {
  uint32_t width = 2, height = 1;
  uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE, extra = 0;  // extra: samples past the colour ones
  std::vector<uint16_t> colormap{};                    // red, green, blue entries one after another
  bool tiled = false;
  std::vector<uint8_t> data{};  // the scan lines, or one tile
};

void WriteTiff(const std::string& path, const TiffRecipe& s) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, s.planar);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, s.compression);
  if (s.extra) {
    uint16_t kinds[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, kinds);
  }
  if (!s.colormap.empty()) {
    const size_t n = s.colormap.size() / 3;
    std::vector<uint16_t> map = s.colormap;
    TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
  }
  if (s.tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    std::vector<uint8_t> tile(size_t(TIFFTileSize(tif)), 0);
    TIFFWriteTile(tif, tile.data(), 0, 0, 0, 0);
  } else {
    const size_t line = size_t(TIFFScanlineSize(tif));
    std::vector<uint8_t> data = s.data;
    data.resize(line * s.height * (s.planar == PLANARCONFIG_SEPARATE ? s.samples : 1));
    if (s.planar == PLANARCONFIG_SEPARATE) {
      for (uint16_t p = 0; p < s.samples; ++p)
        for (uint32_t y = 0; y < s.height; ++y) TIFFWriteScanline(tif, data.data() + line * y, y, p);
    } else {
      for (uint32_t y = 0; y < s.height; ++y) TIFFWriteScanline(tif, data.data() + line * y, y, 0);
    }
  }
  TIFFClose(tif);
}

// The fields of a file as libtiff reads them back.
struct TiffFields {
  uint32_t width = 0, height = 0, rowsPerStrip = 0;
  uint16_t bits = 0, samples = 0, compression = 0, photometric = 0, orientation = 0, planar = 0;
  uint32_t strips = 0;
  uint16_t red0 = 0;
};

TiffFields ReadFields(const std::string& path) {
  TiffFields f;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return f;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
  TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &f.rowsPerStrip);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &f.compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric);
  TIFFGetField(tif, TIFFTAG_ORIENTATION, &f.orientation);
  TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &f.planar);
  f.strips = TIFFNumberOfStrips(tif);
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  if (TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) f.red0 = r[0];
  TIFFClose(tif);
  return f;
}

// Changes the value (and the type, or the tag) of one field in the first directory of a
// little-endian file.
void PatchField(std::vector<uint8_t>& b, uint16_t tag, uint32_t value, uint16_t newTag = 0, uint16_t type = 0) {
  const size_t ifd = Le32(b, 4);
  for (size_t i = 0; i < Le16(b, ifd); ++i) {
    const size_t e = ifd + 2 + 12 * i;
    if (Le16(b, e) != tag) continue;
    for (int k = 0; k < 4; ++k) b[e + 8 + k] = uint8_t(value >> (8 * k));
    if (newTag) b[e] = uint8_t(newTag), b[e + 1] = uint8_t(newTag >> 8);
    if (type) b[e + 2] = uint8_t(type);
    return;
  }
  ADD_FAILURE() << "no field " << tag;
}

double Psnr(const Qimg& a, const Qimg& b) {
  double sum = 0;
  for (int32_t i = 0; i < a.size; ++i) sum += std::pow(double(a.data[i]) - b.data[i], 2);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size / sum);
}

class TifTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("tif");
  }
  void TearDown() override {
    TIFSetCompression(1);
    WarnClear();
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  Outcome LoadMade(const TiffRecipe& recipe, Qimg& img) {
    WriteTiff(Path("in.tif"), recipe);
    return Try([&] { TIFLoad(Path("in.tif"), img); });
  }

  std::string dir_;
};

TEST_F(TifTest, RoundTripsAtEveryDepthAndCompression) {
  for (int32_t compression : {1, 5, 7, 32773, 32946}) {
    for (int32_t bpp : {8, 15, 16, 24, 32}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, compression " << compression);
      TIFSetCompression(compression);
      Qimg img, back, expected;
      // Tall enough for several strips of 64 KiB.
      test::MakePattern(img, 301, 250, bpp, 5);
      ASSERT_EQ(Try([&] { TIFSave(Path("out.tif"), img); }), kOk);
      const TiffFields f = ReadFields(Path("out.tif"));
      // JPEG coding cannot hold palette indices: 8-bit pictures are then written as RGB.
      const bool mapped = bpp == 8 && compression != 7;
      EXPECT_EQ(std::tuple(f.width, f.height, f.compression, f.bits, f.samples, f.photometric, f.orientation, f.planar),
                std::tuple(301u, 250u, compression, 8, mapped ? 1 : 3, mapped ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB,
                           ORIENTATION_TOPLEFT, PLANARCONFIG_CONTIG));
      const uint32_t rowBytes = mapped ? 301 : 903;
      EXPECT_LE(f.rowsPerStrip * rowBytes, 65536u);
      EXPECT_GT((f.rowsPerStrip + (compression == 7 ? 8 : 1)) * rowBytes, 65536u) << "strips stay near 64 KiB";
      EXPECT_GT(f.strips, 1u);
      if (mapped) {
        EXPECT_EQ(f.red0, img.palette[0][2] * 257);
      }

      ASSERT_EQ(Try([&] { TIFLoad(Path("out.tif"), back); }), kOk);
      ImgCopy(img, expected);
      if (!mapped) ImgConvBpp(expected, expected, 24);
      ASSERT_EQ(back.bpp, expected.bpp);
      if (compression == 7) {
        // The pattern is noise, JPEG's hardest case: 25 dB is what quality 75 keeps of it.
        EXPECT_GT(Psnr(expected, back), 25.0);
      } else {
        EXPECT_TRUE(test::SameImage(expected, back));
      }
      if (mapped) {
        EXPECT_EQ(std::memcmp(img.palette, back.palette, sizeof img.palette), 0);
      }
      for (Qimg* p : {&img, &back, &expected}) ImgFree(*p);
    }
  }
}

TEST_F(TifTest, CompressionSettingFallsBackToNone) {
  Qimg img;
  test::MakePattern(img, 4, 4, 24);
  for (int32_t value : {0, 2, 6, 12345, FF_AUTO}) {
    TIFSetCompression(value);
    ASSERT_EQ(Try([&] { TIFSave(Path("c.tif"), img); }), kOk);
    EXPECT_EQ(ReadFields(Path("c.tif")).compression, COMPRESSION_NONE) << value;
  }
  ImgFree(img);
}

TEST_F(TifTest, LayoutsLibtiffWrites) {
  // Grey below 8 bits: unpacked, first pixel in the high bits, an even grey ramp; min-is-white:
  // level 0 is white; 16-bit colour map entries are scaled, maps that fit in 8 bits are taken as
  // they are; RGB with an alpha sample: blue-green-red, the alpha dropped.
  std::vector<uint16_t> wide(3 * 16, 0), narrow(3 * 16, 0);
  wide[1] = 65535;
  wide[16 + 1] = 32896;  // 128 x 257
  wide[32 + 1] = 257;
  narrow[1] = 200;
  narrow[32 + 1] = 7;
  const uint16_t pal = PHOTOMETRIC_PALETTE;
  const struct {
    TiffRecipe recipe;
    std::vector<uint32_t> pixels;  // indices, or 0xRRGGBB for 24 bits
    int32_t entry;                 // a palette entry (blue, green, red) when the picture has one
    std::vector<uint8_t> colour;
  } cases[] = {
      {{.width = 9, .bits = 1, .data = {0xA5, 0x80}}, {1, 0, 1, 0, 0, 1, 0, 1, 1}, 1, {255, 255, 255}},
      {{.width = 3, .bits = 2, .data = {0x1B}}, {0, 1, 2}, 2, {170, 170, 170}},
      {{.width = 2, .bits = 4, .data = {0xF7}}, {15, 7}, 7, {119, 119, 119}},
      {{.width = 2, .photometric = PHOTOMETRIC_MINISWHITE, .data = {0, 255}}, {0, 255}, 1, {254, 254, 254}},
      {{.width = 2, .bits = 4, .photometric = pal, .colormap = wide, .data = {0x10}}, {1, 0}, 1, {1, 128, 255}},
      {{.width = 2, .bits = 4, .photometric = pal, .colormap = narrow, .data = {0x10}}, {1, 0}, 1, {7, 0, 200}},
      {{.width = 2, .samples = 4, .photometric = PHOTOMETRIC_RGB, .extra = 1, .data = {1, 2, 3, 4, 5, 6, 7, 8}},
       {0x010203, 0x050607},
       0,
       {}}};
  Qimg img;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "bits " << c.recipe.bits << " photometric " << c.recipe.photometric);
    ASSERT_EQ(LoadMade(c.recipe, img), kOk);
    stilltest::ExpectDecoded(img, c.pixels, c.entry, c.colour);
  }
  ImgFree(img);

  // Layouts without a picture form: error (7, 1), and Info says they are not readable.
  const TiffRecipe unsupported[] = {{.bits = 16, .data = {1, 2, 3, 4}},
                                    {.samples = 3, .photometric = PHOTOMETRIC_RGB, .planar = PLANARCONFIG_SEPARATE},
                                    {.width = 16, .height = 16, .tiled = true},
                                    {.bits = 8, .samples = 2, .photometric = PHOTOMETRIC_MINISBLACK, .extra = 1},
                                    {.samples = 4, .photometric = PHOTOMETRIC_SEPARATED}};
  for (const TiffRecipe& s : unsupported) {
    SCOPED_TRACE(testing::Message() << "bits " << s.bits << " samples " << s.samples << " photometric "
                                    << s.photometric);
    EXPECT_EQ(LoadMade(s, img), (Outcome{7, 1}));
    EXPECT_FALSE(ImgValid(img));
    QffInfo info;
    ASSERT_EQ(Try([&] { TIFInfo(Path("in.tif"), info); }), kOk);
    EXPECT_EQ(info.video.videoReadable, 0);
    EXPECT_EQ(info.video.hasVideo, RF_TRUE);
    EXPECT_EQ(info.video.bpp, s.bits * s.samples);
  }
}

TEST_F(TifTest, InfoNamesEveryCompression) {
  // A sample of the names, the first and last known codes among them.
  const std::pair<uint16_t, const char*> names[] = {{1, "Uncompressed"},
                                                    {5, "Variable-Length-Code LZW (Lempel-Ziv & Welch)"},
                                                    {7, "JPEG DCT compression"},
                                                    {32773, "Macintosh RLE (PackBits)"},
                                                    {34677, "SGI Log 24-bit packed"},
                                                    {50000, "Unknown compression"}};
  WriteTiff(Path("base.tif"), {.width = 3, .height = 2, .samples = 3, .photometric = PHOTOMETRIC_RGB});
  const auto base = FileBytes(Path("base.tif"));
  for (const auto& [tag, name] : names) {
    SCOPED_TRACE(tag);
    auto bytes = base;
    PatchField(bytes, TIFFTAG_COMPRESSION, tag);
    PutFile(Path("named.tif"), bytes);
    QffInfo info;
    ASSERT_EQ(Try([&] { TIFInfo(Path("named.tif"), info); }), kOk);
    EXPECT_EQ(info.video.compression, name);
    EXPECT_EQ(TIFCompressionName(tag), std::string(name));
  }
  QffInfo info;
  ASSERT_EQ(Try([&] { TIFInfo(Path("base.tif"), info); }), kOk);
  EXPECT_EQ(std::tuple(info.format, info.fileSize, info.video.width, info.video.height, info.video.bpp,
                       info.video.bytesPerPixel, info.video.frames),
            std::tuple(10, int64_t(base.size()), 3, 2, 24, 3, 1));
}

TEST_F(TifTest, LibraryMessagesReachTheRegisters) {
  // Not a TIFF at all: libtiff says why.
  PutFile(Path("text.tif"), std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'});
  QffInfo info;
  GuardedSilent("Test.Tif", [&] { TIFInfo(Path("text.tif"), info); });
  EXPECT_EQ(ErrCategory(), 1);
  EXPECT_NE(ErrLastMessage().find("Not a TIFF"), std::string::npos) << ErrLastMessage();
  ErrClear();

  // Strips that end early: libtiff's read error ends the load.
  WriteTiff(Path("full.tif"), {.width = 100, .height = 100, .data = std::vector<uint8_t>(10000, 9)});
  auto bytes = FileBytes(Path("full.tif"));
  const size_t ifd = Le32(bytes, 4);
  PatchField(bytes, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
  // Only the header and the directory survive; the pixels came first.
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + 8);
  cut.resize(ifd, 0x80);  // PackBits no-op bytes: no pixels at all
  cut.insert(cut.end(), bytes.begin() + long(ifd), bytes.end());
  PutFile(Path("cut.tif"), cut);
  Qimg img;
  GuardedSilent("Test.Tif", [&] { TIFLoad(Path("cut.tif"), img); });
  EXPECT_EQ(ErrCategory(), 1) << ErrLastMessage();
  EXPECT_FALSE(ErrLastMessage().empty());
  EXPECT_FALSE(ImgValid(img));
  ErrClear();

  // An unknown field is only a warning: the picture loads.
  WriteTiff(Path("tag.tif"), {.width = 2, .data = {5, 6}});
  bytes = FileBytes(Path("tag.tif"));
  PatchField(bytes, TIFFTAG_PLANARCONFIG, 1, 65000);
  PutFile(Path("tag.tif"), bytes);
  ASSERT_EQ(Try([&] { TIFLoad(Path("tag.tif"), img); }), kOk);
  EXPECT_EQ(WarnCategory(), 1);
  EXPECT_NE(WarnLastMessage().find("65000"), std::string::npos) << WarnLastMessage();
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{5, 6}));
  ImgFree(img);
}

TEST_F(TifTest, DamagedFilesGiveTheirErrors) {
  WriteTiff(Path("big.tif"), {.width = 2, .height = 2});
  auto huge = FileBytes(Path("big.tif"));
  for (uint16_t tag : {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH}) PatchField(huge, tag, 70000, 0, TIFF_LONG);
  PutFile(Path("huge.tif"), huge);
  Qimg img;
  const Outcome hugeLoad = Try([&] { TIFLoad(Path("huge.tif"), img); });
  EXPECT_TRUE(hugeLoad == (Outcome{7, 2}) || hugeLoad.category == 1) << hugeLoad;
  EXPECT_FALSE(ImgValid(img));
  PutFile(Path("empty.tif"), {});
  EXPECT_EQ(Try([&] { TIFLoad(Path("empty.tif"), img); }).category, 1);
  EXPECT_EQ(Try([&] { TIFLoad(Path("missing.tif"), img); }), (Outcome{6, 1}));
  EXPECT_EQ(Try([&] { TIFSave(Path("bad.tif"), img); }), (Outcome{7, 2})) << "an empty picture";
  EXPECT_FALSE(kernel::FileExists(Path("bad.tif")));
}

TEST_F(TifTest, FailuresLeaveNothingBehind) {
  for (int32_t compression : {1, 5, 7}) {
    for (int32_t bpp : {8, 24}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, compression " << compression);
      TIFSetCompression(compression);
      Qimg src, img;
      test::MakePattern(src, 120, 90, bpp);
      ASSERT_EQ(Try([&] { TIFSave(Path("in.tif"), src); }), kOk);
      stilltest::SweepLoadAndSave([&] { TIFLoad(Path("in.tif"), img); }, [&] { TIFSave(Path("sweep.tif"), src); },
                                  Path("sweep.tif"));
      for (Qimg* p : {&src, &img}) ImgFree(*p);
    }
  }
}

}  // namespace
}  // namespace rf
