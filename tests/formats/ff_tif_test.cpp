// TIFF reader and writer: round trips at every depth and compression, the fields we write, the
// layouts we read from files libtiff writes for the test, compression names, libtiff's messages
// in the registers and failures at every step.
#include "formats/ff_tif.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>

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

// Changes the value of one short field in the first directory of a little-endian file.
void PatchShortField(std::vector<uint8_t>& b, uint16_t tag, uint16_t value, uint16_t newTag = 0) {
  const size_t ifd = Le32(b, 4);
  const size_t count = Le16(b, ifd);
  for (size_t i = 0; i < count; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    if (Le16(b, e) != tag) continue;
    b[e + 8] = uint8_t(value);
    b[e + 9] = uint8_t(value >> 8);
    if (newTag) {
      b[e] = uint8_t(newTag);
      b[e + 1] = uint8_t(newTag >> 8);
    }
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
      EXPECT_EQ(f.width, 301u);
      EXPECT_EQ(f.height, 250u);
      EXPECT_EQ(f.compression, compression);
      EXPECT_EQ(f.bits, 8);
      EXPECT_EQ(f.samples, mapped ? 1 : 3);
      EXPECT_EQ(f.photometric, mapped ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
      EXPECT_EQ(f.orientation, ORIENTATION_TOPLEFT);
      EXPECT_EQ(f.planar, PLANARCONFIG_CONTIG);
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
      ImgFree(img);
      ImgFree(back);
      ImgFree(expected);
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
  Qimg img;
  // Grey below 8 bits: unpacked, first pixel in the high bits, an even grey ramp.
  ASSERT_EQ(LoadMade({.width = 9, .bits = 1, .data = {0xA5, 0x80}}, img), kOk);
  EXPECT_EQ(img.bpp, 8);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{1, 0, 1, 0, 0, 1, 0, 1, 1}));
  EXPECT_EQ(img.palette[1][0], 255);
  ASSERT_EQ(LoadMade({.width = 3, .bits = 2, .data = {0x1B}}, img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(img.palette[2][1], 170);
  ASSERT_EQ(LoadMade({.width = 2, .bits = 4, .data = {0xF7}}, img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{15, 7}));
  EXPECT_EQ(img.palette[7][2], 119);
  // Min-is-white: level 0 is white.
  ASSERT_EQ(LoadMade({.width = 2, .photometric = PHOTOMETRIC_MINISWHITE, .data = {0, 255}}, img), kOk);
  EXPECT_EQ(img.palette[0][0], 255);
  EXPECT_EQ(img.palette[255][0], 0);
  // Colour maps: 16-bit entries are scaled, maps that fit in 8 bits are taken as they are.
  std::vector<uint16_t> wide(3 * 16, 0), narrow(3 * 16, 0);
  wide[1] = 65535;
  wide[16 + 1] = 32896;  // 128 x 257
  wide[32 + 1] = 257;
  narrow[1] = 200;
  narrow[32 + 1] = 7;
  ASSERT_EQ(
      LoadMade({.width = 2, .bits = 4, .photometric = PHOTOMETRIC_PALETTE, .colormap = wide, .data = {0x10}}, img),
      kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(img.palette[1][2], 255);
  EXPECT_EQ(img.palette[1][1], 128);
  EXPECT_EQ(img.palette[1][0], 1);
  ASSERT_EQ(
      LoadMade({.width = 2, .bits = 4, .photometric = PHOTOMETRIC_PALETTE, .colormap = narrow, .data = {0x10}}, img),
      kOk);
  EXPECT_EQ(img.palette[1][2], 200);
  EXPECT_EQ(img.palette[1][0], 7);
  // RGB with an alpha sample: blue-green-red, the alpha dropped.
  ASSERT_EQ(
      LoadMade({.width = 2, .samples = 4, .photometric = PHOTOMETRIC_RGB, .extra = 1, .data = {1, 2, 3, 4, 5, 6, 7, 8}},
               img),
      kOk);
  EXPECT_EQ(img.bpp, 24);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0x010203, 0x050607}));
  ImgFree(img);

  // Layouts without a picture form: error (7, 1), and Info says they are not readable.
  const TiffRecipe unsupported[] = {
      {.bits = 16, .data = {1, 2, 3, 4}},
      {.samples = 3, .photometric = PHOTOMETRIC_RGB, .planar = PLANARCONFIG_SEPARATE},
      {.width = 16, .height = 16, .tiled = true},
      {.bits = 8, .samples = 2, .photometric = PHOTOMETRIC_MINISBLACK, .extra = 1},
      {.samples = 4, .photometric = PHOTOMETRIC_SEPARATED},
  };
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
  const std::pair<uint16_t, const char*> names[] = {
      {1, "Uncompressed"},
      {2, "CCITT modified Huffman RLE"},
      {3, "CCITT Group 3 fax encoding"},
      {4, "CCITT Group 4 fax encoding"},
      {5, "Variable-Length-Code LZW (Lempel-Ziv & Welch)"},
      {6, "JPEG 6.0"},
      {7, "JPEG DCT compression"},
      {32766, "NeXT 2-bit RLE"},
      {32771, "#1 w/ word alignment"},
      {32773, "Macintosh RLE (PackBits)"},
      {32809, "ThunderScan RLE"},
      {32895, "IT8 CT w/padding"},
      {32896, "IT8 Linework RLE"},
      {32897, "IT8 Monochrome picture"},
      {32898, "IT8 Binary line art"},
      {32908, "Pixar companded 10bit LZW"},
      {32909, "Pixar companded 11bit ZIP"},
      {32946, "Deflate compression (modified LZ77)"},
      {32947, "Kodak DCS encoding"},
      {34661, "ISO JBIG"},
      {34676, "SGI Log Luminance RLE"},
      {34677, "SGI Log 24-bit packed"},
      {50000, "Unknown compression"},
  };
  WriteTiff(Path("base.tif"), {.width = 3, .height = 2, .samples = 3, .photometric = PHOTOMETRIC_RGB});
  const auto base = FileBytes(Path("base.tif"));
  for (const auto& [tag, name] : names) {
    SCOPED_TRACE(tag);
    auto bytes = base;
    PatchShortField(bytes, TIFFTAG_COMPRESSION, tag);
    PutFile(Path("named.tif"), bytes);
    QffInfo info;
    ASSERT_EQ(Try([&] { TIFInfo(Path("named.tif"), info); }), kOk);
    EXPECT_EQ(info.video.compression, name);
    EXPECT_EQ(info.format, 10);
    EXPECT_EQ(info.fileSize, int64_t(bytes.size()));
    EXPECT_EQ(info.video.width, 3);
    EXPECT_EQ(info.video.height, 2);
    EXPECT_EQ(info.video.bpp, 24);
    EXPECT_EQ(info.video.bytesPerPixel, 3);
    EXPECT_EQ(info.video.frames, 1);
    EXPECT_EQ(TIFCompressionName(tag), std::string(name));
  }
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
  PatchShortField(bytes, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
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
  PatchShortField(bytes, TIFFTAG_PLANARCONFIG, 1, 65000);
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
  // A long field for the sides: make them 70000 x 70000 through their low words.
  const size_t ifd = Le32(huge, 4);
  for (size_t i = 0; i < Le16(huge, ifd); ++i) {
    const size_t e = ifd + 2 + 12 * i;
    if (Le16(huge, e) == TIFFTAG_IMAGEWIDTH || Le16(huge, e) == TIFFTAG_IMAGELENGTH) {
      huge[e + 2] = TIFF_LONG;
      huge[e + 8] = 0x70;
      huge[e + 9] = 0x11;
      huge[e + 10] = 0x01;
      huge[e + 11] = 0x00;
    }
  }
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
      const std::string path = Path("sweep.tif");
      for (Fault kind : {Fault::Open, Fault::Write, Fault::Alloc}) {
        test::WriteWholeFile(path, "old");
        EXPECT_GE(stilltest::SweepFaults(
                      kind, kind == Fault::Alloc ? 5 : 6, [&] { TIFSave(path, src); }, path),
                  1);
      }
      ASSERT_EQ(Try([&] { TIFSave(path, src); }), kOk);
      for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc}) {
        EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { TIFLoad(path, img); }), 1);
        ImgFree(img);
      }
      ImgFree(src);
    }
  }
}

}  // namespace
}  // namespace rf
