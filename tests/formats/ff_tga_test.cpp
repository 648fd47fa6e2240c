// TGA reader and writer: written headers and packets byte by byte, origins, ID fields, colour
// maps, damaged files and failures at every step.
#include "formats/ff_tga.h"

#include <gtest/gtest.h>

#include <array>

#include "formats/still_test_util.h"
#include "foundation/bytes.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::FileBytes;
using stilltest::kOk;
using stilltest::Le16;
using stilltest::Outcome;
using stilltest::PutFile;
using stilltest::Try;

struct TgaHead {
  int idLength = 0, mapType = 0, type = 2, first = 0, mapLength = 0, entryBits = 0;
  int width = 1, height = 1, depth = 24, descriptor = 0;
};

std::vector<uint8_t> TgaBytes(const TgaHead& h, const std::vector<uint8_t>& rest) {
  ByteWriter w;
  w.u8(h.idLength);
  w.u8(h.mapType);
  w.u8(h.type);
  w.u16le(h.first);
  w.u16le(h.mapLength);
  w.u8(h.entryBits);
  w.u16le(0);
  w.u16le(0);
  w.u16le(h.width);
  w.u16le(h.height);
  w.u8(h.depth);
  w.u8(h.descriptor);
  w.write(rest.data(), rest.size());
  return w.bytes();
}

class TgaTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("tga");
  }
  void TearDown() override {
    TGASetCompression(-1);
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Saves img with the given compression and returns the file's bytes.
  std::vector<uint8_t> SaveBytes(const Qimg& img, int32_t compression, const std::string& name = "out.tga") {
    TGASetCompression(compression);
    EXPECT_EQ(Try([&] { TGASave_(Path(name), img); }), kOk);
    return FileBytes(Path(name));
  }

  std::string dir_;
};

// A picture that mixes runs with single pixels, so that both packet kinds occur.
void MakeRunny(Qimg& img, int32_t w, int32_t h, int32_t bpp) {
  test::MakePattern(img, w, h, bpp, 7);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 1; x < w; ++x)
      if ((x / 3 + y) % 2 == 0) {
        uint8_t* p = img.data + (size_t(y) * w + x) * img.bytesPerPixel;
        std::memcpy(p, p - img.bytesPerPixel, size_t(img.bytesPerPixel));
      }
}

TEST_F(TgaTest, WrittenHeadersAndRoundTripsAtEveryDepth) {
  for (int32_t bpp : {8, 15, 24, 32}) {
    // Any non-zero compression setting is on.
    for (int32_t coded : {0, int32_t(0x80000000)}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, compression " << coded);
      Qimg img, back;
      MakeRunny(img, 7, 5, bpp);
      const auto b = SaveBytes(img, coded);
      ASSERT_GE(b.size(), 18u);
      const int mapped = bpp == 8 ? 1 : 0;
      // No ID field, a 15-bit picture written as 16 bits, bottom-left origin.
      EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 18), TgaBytes({.mapType = mapped,
                                                                           .type = (mapped ? 1 : 2) + (coded ? 8 : 0),
                                                                           .mapLength = 256 * mapped,
                                                                           .entryBits = 24 * mapped,
                                                                           .width = 7,
                                                                           .height = 5,
                                                                           .depth = img.bytesPerPixel * 8},
                                                                          {}));
      const size_t row = size_t(7) * img.bytesPerPixel, data = 18 + 768 * size_t(mapped);
      if (!coded) {
        ASSERT_EQ(b.size(), data + row * 5);
        EXPECT_EQ(std::memcmp(b.data() + data, img.data + 4 * row, row), 0) << "the bottom row comes first";
      }
      ASSERT_EQ(Try([&] { TGALoad_(Path("out.tga"), back); }), kOk);
      EXPECT_TRUE(test::SameImage(img, back));
      EXPECT_TRUE(!mapped || std::memcmp(img.palette, back.palette, 768) == 0);
      ImgFree(img);
      ImgFree(back);
    }
  }
}

TEST_F(TgaTest, RunAndLiteralPacketLimits) {
  std::vector<uint32_t> alternating(300), edge(130, 9), same(300, 0x112233);
  for (size_t i = 0; i < alternating.size(); ++i) alternating[i] = uint32_t(i % 2);
  edge.back() = 4;
  std::vector<uint8_t> literals = {127};
  for (size_t i = 0; i < 300; ++i) {
    if (i == 128 || i == 256) literals.push_back(i == 128 ? 127 : 43);
    literals.push_back(uint8_t(i % 2));
  }
  struct Case {
    int32_t width, height, bpp;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> coded;  // the data after the header and any colour map
  };
  // 300 equal pixels: runs of 128, 128 and 44; 300 without equal neighbours: literals of 128,
  // 128 and 44; pairs become runs, singles literals, each row on its own, bottom row first; a run
  // of 128, then one more pixel of that colour opens a literal; 32 bits go in whole pixels.
  const Case cases[] = {{300, 1, 24, same, {255, 0x33, 0x22, 0x11, 255, 0x33, 0x22, 0x11, 171, 0x33, 0x22, 0x11}},
                        {300, 1, 8, alternating, literals},
                        {4, 2, 8, {5, 5, 5, 5, 1, 2, 2, 3}, {0, 1, 129, 2, 0, 3, 131, 5}},
                        {130, 1, 8, edge, {255, 9, 1, 9, 4}},
                        {3, 1, 32, {0x01020304, 0x01020304, 0x05060708}, {129, 4, 3, 2, 1, 0, 8, 7, 6, 5}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    Qimg img;
    test::MakeFrom(img, c.width, c.height, c.bpp, c.pixels);
    const auto b = SaveBytes(img, 1);
    const auto data = long(18 + (c.bpp == 8 ? 768 : 0));
    ASSERT_GE(b.size(), size_t(data));
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + data, b.end()), c.coded);
    ImgFree(img);
  }
}

TEST_F(TgaTest, IdFieldAndOriginBit) {
  // 2 x 2 colour-mapped, two 24-bit map entries, pixel rows {0,1} and {1,0} as stored.
  const std::vector<uint8_t> map = {10, 20, 30, 40, 50, 60};
  const std::vector<uint8_t> id = {'h', 'e', 'l', 'l', 'o'};
  for (int descriptor : {0, 32}) {
    for (bool coded : {false, true}) {
      std::vector<uint8_t> rest = id;
      rest.insert(rest.end(), map.begin(), map.end());
      const std::vector<uint8_t> plain = {0, 1, 1, 0};
      if (coded)
        rest.insert(rest.end(), {1, 0, 1, 1, 1, 0});  // two literal packets of two pixels
      else
        rest.insert(rest.end(), plain.begin(), plain.end());
      const TgaHead head{5, 1, coded ? 9 : 1, 0, 2, 24, 2, 2, 8, descriptor};
      PutFile(Path("id.tga"), TgaBytes(head, rest));
      Qimg img;
      ASSERT_EQ(Try([&] { TGALoad_(Path("id.tga"), img); }), kOk);
      const bool top = descriptor == 32;
      // The first stored row {0,1} is the top row only with bit 5 set.
      EXPECT_EQ(test::Pixels(img), top ? (std::vector<uint32_t>{0, 1, 1, 0}) : (std::vector<uint32_t>{1, 0, 0, 1}))
          << "descriptor " << descriptor << (coded ? " coded" : " plain");
      EXPECT_EQ(img.palette[1][0], 40);
      EXPECT_EQ(img.palette[1][2], 60);
      ImgFree(img);
    }
  }
}

TEST_F(TgaTest, ColourMapEntryFormsAndSurplus) {
  // 32-bit entries lose their fourth byte; a map of 300 entries from index 100 keeps what fits
  // and the pixels still come after the whole map.
  std::vector<uint8_t> long32;
  for (int i = 0; i < 300; ++i) long32.insert(long32.end(), {uint8_t(i), 1, 2, 0xEE});
  long32.push_back(200);
  using Entry = std::array<uint8_t, 3>;
  struct Case {
    const char* what;
    TgaHead head;
    std::vector<uint8_t> rest;
    std::vector<std::pair<int, Entry>> entries;
    uint32_t pixel;
  };
  const Case cases[] = {
      {"15-bit entries expand by shifting, placed from the first index on",
       {.mapType = 1, .type = 1, .first = 10, .mapLength = 2, .entryBits = 16, .depth = 8, .descriptor = 32},
       {0x00, 0x7C, 0xFF, 0x03, 11},
       {{9, {0, 0, 0}}, {10, {0, 0, 248}}, {11, {248, 248, 0}}},
       11},
      {"32-bit entries past the palette",
       {.mapType = 1, .type = 1, .first = 100, .mapLength = 300, .entryBits = 32, .depth = 8, .descriptor = 32},
       long32,
       {{100, {0, 1, 2}}, {255, {155, 1, 2}}},
       200},
      {"a map length and entry size without a map type",
       {.mapLength = 1, .entryBits = 24, .depth = 24},
       {1, 2, 3},
       {},
       0x030201},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile(Path("map.tga"), TgaBytes(c.head, c.rest));
    Qimg img;
    ASSERT_EQ(Try([&] { TGALoad_(Path("map.tga"), img); }), kOk);
    for (const auto& [index, want] : c.entries)
      EXPECT_EQ((Entry{img.palette[index][0], img.palette[index][1], img.palette[index][2]}), want) << index;
    EXPECT_EQ(test::Pixel(img, 0, 0), c.pixel);
    ImgFree(img);
  }
}

TEST_F(TgaTest, SixteenBitFilesAreFifteenBitPictures) {
  // Bit 15 (the attribute bit) is dropped: the picture's 15-bit layout has no room for it.
  PutFile(Path("d16.tga"), TgaBytes({.width = 2, .depth = 16, .descriptor = 32}, {0x1F, 0xFC, 0xE0, 0x03}));
  Qimg img;
  ASSERT_EQ(Try([&] { TGALoad_(Path("d16.tga"), img); }), kOk);
  EXPECT_EQ(img.bpp, 15);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0x7C1F, 0x03E0}));
  ImgFree(img);
}

TEST_F(TgaTest, GreyFilesLoadWithAGreyPalette) {
  // 2 x 2, top row first: plain, and coded as a run of two and a literal of two. A colour map
  // before grey pixels is skipped, not taken as their palette.
  const std::vector<uint8_t> map = {1, 2, 3};
  for (const auto& [type, data] :
       {std::pair{3, std::vector<uint8_t>{0, 0, 128, 255}}, std::pair{11, std::vector<uint8_t>{129, 0, 1, 128, 255}}}) {
    SCOPED_TRACE(type);
    std::vector<uint8_t> rest = map;
    rest.insert(rest.end(), data.begin(), data.end());
    PutFile(Path("grey.tga"), TgaBytes({0, 1, type, 0, 1, 24, 2, 2, 8, 32}, rest));
    Qimg img;
    ASSERT_EQ(Try([&] { TGALoad_(Path("grey.tga"), img); }), kOk);
    EXPECT_EQ(img.bpp, 8);
    EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0, 0, 128, 255}));
    for (int i : {0, 128, 255})
      EXPECT_EQ(std::vector<uint8_t>(img.palette[i], img.palette[i] + 3), std::vector<uint8_t>(3, uint8_t(i)));
    ImgFree(img);
  }
}

TEST_F(TgaTest, RunLengthDecodingStaysInsideBothBuffers) {
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    std::vector<uint32_t> want;
  };
  const Case cases[] = {
      {"a run of three across the first row's end, a literal of one",
       {130, 1, 2, 3, 0, 4, 5, 6},
       {0x030201, 0x030201, 0x030201, 0x060504}},
      {"a run of 128 into four pixels, then more packets",
       {255, 9, 9, 9, 255, 8, 8, 8},
       std::vector<uint32_t>(4, 0x090909)},
      // What is there is decoded, the rest stays as allocated.
      {"a literal announcing more than there is, half a pixel", {3, 1, 1, 1, 2, 2}, {0x010101, 0, 0, 0}},
      {"no data at all: an empty picture, not an error", {}, std::vector<uint32_t>(4, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile(Path("rle.tga"), TgaBytes({.type = 10, .width = 2, .height = 2, .depth = 24, .descriptor = 32}, c.data));
    Qimg img;
    ASSERT_EQ(Try([&] { TGALoad_(Path("rle.tga"), img); }), kOk);
    EXPECT_EQ(test::Pixels(img), c.want);
    ImgFree(img);
  }
}

TEST_F(TgaTest, InfoFlagsAndCompressionNames) {
  struct Case {
    TgaHead head;
    int32_t bpp, hasVideo, readable;
    const char* compression;
  };
  const Case cases[] = {
      {{.type = 2, .width = 3, .height = 2, .depth = 24}, 24, -1, -1, ""},
      {{.type = 10, .width = 3, .height = 2, .depth = 32}, 32, -1, -1, "Run Length Encoding (RLE)"},
      {{.mapType = 1, .type = 9, .mapLength = 1, .entryBits = 24, .depth = 8}, 8, -1, -1, "Run Length Encoding (RLE)"},
      {{.type = 2, .depth = 0}, 0, 0, 0, ""},
      {{.type = 2, .depth = 12}, 12, -1, 0, ""},
      {{.type = 2, .depth = 40}, 40, 0, 0, ""},
      {{.mapType = 1, .type = 1, .mapLength = 1, .entryBits = 24, .depth = 16}, 15, -1, 0, ""},
      {{.type = 3, .depth = 8}, 8, -1, -1, ""},
      {{.type = 11, .depth = 8}, 8, -1, -1, "Run Length Encoding (RLE)"},
      {{.type = 3, .depth = 16}, 15, -1, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.head.type << " depth " << c.head.depth);
    const auto bytes = TgaBytes(c.head, std::vector<uint8_t>(64, 0));
    PutFile(Path("info.tga"), bytes);
    QffInfo info;
    ASSERT_EQ(Try([&] { TGAInfo(Path("info.tga"), info); }), kOk);
    EXPECT_EQ(std::tuple(info.format, info.fileSize, info.video.width, info.video.height, info.video.bpp,
                         info.video.frames, info.video.hasVideo, info.video.videoReadable, info.video.compression),
              std::tuple(1, int64_t(bytes.size()), c.head.width, c.head.height, c.bpp, 1, c.hasVideo, c.readable,
                         std::string(c.compression)));
  }
}

// Small damaged files, generated into a folder of their own, with the error each must give.
TEST_F(TgaTest, DamagedFilesGiveTheirErrors) {
  const std::string bad = test::ScratchDir("bad_tga");
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Outcome info, load;
  };
  const Case cases[] = {
      {"type4.tga", TgaBytes({.type = 4, .depth = 8}, {1}), {7, 2}, {7, 2}},
      {"type0.tga", TgaBytes({.type = 0}, {1, 2, 3}), {7, 2}, {7, 2}},
      {"type19.tga", TgaBytes({.type = 19, .depth = 8}, {1}), {7, 2}, {7, 2}},
      {"map_type2.tga", TgaBytes({.mapType = 2}, {1, 2, 3}), {7, 2}, {7, 2}},
      {"short_header.tga", {0, 0, 2, 0, 0, 0, 0}, {6, 3}, {6, 3}},
      {"zero_width.tga", TgaBytes({.width = 0}, {1, 2, 3}), kOk, {7, 2}},
      {"depth12.tga", TgaBytes({.depth = 12}, {1, 2}), kOk, {7, 1}},
      {"truncated_rows.tga", TgaBytes({.width = 4, .height = 4}, std::vector<uint8_t>(47, 1)), kOk, {7, 9}},
      {"map_past_end.tga",
       TgaBytes({.mapType = 1, .type = 1, .mapLength = 256, .entryBits = 24, .depth = 8}, {1, 2, 3}),
       kOk,
       {7, 9}},
      {"rle_map_past_end.tga",
       TgaBytes({.mapType = 1, .type = 9, .mapLength = 256, .entryBits = 24, .depth = 8}, {1, 2, 3}),
       kOk,
       {7, 9}},
      {"huge_rle.tga",
       TgaBytes({.type = 10, .width = 65535, .height = 65535, .depth = 32}, {255, 1, 2, 3, 4}),
       kOk,
       {7, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = bad + "/" + c.name;
    PutFile(path, c.bytes);
    QffInfo info;
    EXPECT_EQ(Try([&] { TGAInfo(path, info); }), c.info);
    Qimg img;
    EXPECT_EQ(Try([&] { TGALoad_(path, img); }), c.load);
    EXPECT_FALSE(ImgValid(img));
    EXPECT_EQ(img.width, 0);
  }
  Qimg img;
  EXPECT_EQ(Try([&] { TGALoad_(bad + "/missing.tga", img); }), (Outcome{6, 1}));

  // A picture the caller already holds survives a file that fails before any pixel is read,
  // and is replaced by one that loads.
  test::MakePattern(img, 3, 2, 24);
  const auto before = test::Pixels(img);
  EXPECT_EQ(Try([&] { TGALoad_(bad + "/type4.tga", img); }), (Outcome{7, 2}));
  EXPECT_EQ(test::Pixels(img), before);
  PutFile(bad + "/good.tga", TgaBytes({.width = 1, .height = 1, .depth = 8}, {7}));
  ASSERT_EQ(Try([&] { TGALoad_(bad + "/good.tga", img); }), kOk);
  EXPECT_EQ(test::Pixels(img), std::vector<uint32_t>{7});
  EXPECT_EQ(img.bpp, 8);
  ImgFree(img);
}

TEST_F(TgaTest, FailuresLeaveNothingBehind) {
  for (int32_t bpp : {8, 24}) {
    for (int32_t coded : {0, 1}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, coded " << coded);
      Qimg img, back;
      MakeRunny(img, 9, 4, bpp);
      TGASetCompression(coded);
      const std::string path = Path("fail.tga");
      for (Fault kind : {Fault::Open, Fault::Write, Fault::Alloc}) {
        test::WriteWholeFile(path, "old");
        const int32_t hits = stilltest::SweepFaults(
            kind, kind == Fault::Alloc ? 5 : 6, [&] { TGASave_(path, img); }, path);
        // Only the coder has a block of its own.
        EXPECT_TRUE(hits >= 1 || (kind == Fault::Alloc && !coded));
      }
      ASSERT_EQ(Try([&] { TGASave_(path, img); }), kOk);
      for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc}) {
        EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { TGALoad_(path, back); }), 1);
        ImgFree(back);
      }
      ImgFree(img);
    }
  }
}

TEST_F(TgaTest, PicturesTheFormatCannotHoldAreRefused) {
  const std::string path = Path("refused.tga");
  Qimg empty;
  EXPECT_EQ(Try([&] { TGASave_(path, empty); }), (Outcome{7, 2}));
  Qimg wide;
  test::MakePattern(wide, 65536, 1, 8);
  EXPECT_EQ(Try([&] { TGASave_(path, wide); }), (Outcome{7, 1}));
  EXPECT_FALSE(kernel::FileExists(path));
  ImgFree(wide);
  // An older file of the name is replaced, not appended to.
  test::WriteWholeFile(path, std::string(5000, 'x'));
  Qimg img;
  test::MakePattern(img, 2, 1, 24);
  TGASetCompression(0);
  ASSERT_EQ(Try([&] { TGASave_(path, img); }), kOk);
  EXPECT_EQ(test::ReadWholeFile(path).size(), 18u + 6u);
  ImgFree(img);
}

}  // namespace
}  // namespace rf
