// BMP reader and writer: written headers and padding byte by byte, OS/2 and longer headers, every
// bit count, bit fields and row order, 4- and 8-bit run-length decoding with line ends and moves,
// damaged files and failures at every step.
#include "formats/ff_bmp.h"

#include <gtest/gtest.h>

#include <tuple>

#include <algorithm>
#include <cstdlib>

#include "formats/still_test_util.h"
#include "foundation/bytes.h"
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

struct BmpHead {
  int infoSize = 40, width = 1, height = 1, bitCount = 8;
  uint32_t compression = 0;
  std::vector<uint32_t> masks = {};  // red, green, blue (and alpha), in or after the header
};

std::vector<uint8_t> BmpBytes(const BmpHead& h, const std::vector<uint8_t>& palette,
                              const std::vector<uint8_t>& pixels) {
  const size_t after = h.infoSize == 40 ? 4 * h.masks.size() : 0;
  const uint32_t offset = uint32_t(14 + h.infoSize + after + palette.size());
  ByteWriter w;
  w.u8('B');
  w.u8('M');
  w.u32le(uint32_t(offset + pixels.size()));
  w.u32le(0);
  w.u32le(offset);
  w.u32le(uint32_t(h.infoSize));
  if (h.infoSize == 12) {
    w.u16le(uint32_t(h.width));
    w.u16le(uint32_t(h.height));
    w.u16le(1);
    w.u16le(uint32_t(h.bitCount));
  } else {
    w.u32le(uint32_t(h.width));
    w.u32le(uint32_t(h.height));
    w.u16le(1);
    w.u16le(uint32_t(h.bitCount));
    w.u32le(h.compression);
    w.fill(0, 54 - w.size());
    for (uint32_t m : h.masks) w.u32le(m);
    w.fill(0, std::max<size_t>(size_t(14 + h.infoSize), w.size()) - w.size());
  }
  w.write(palette.data(), palette.size());
  w.write(pixels.data(), pixels.size());
  return w.bytes();
}

// Four-byte colour-table entries (blue, green, red, unused) for indices 0 .. n-1: i, 2i, 3i.
std::vector<uint8_t> Quads(int n) {
  std::vector<uint8_t> q;
  for (int i = 0; i < n; ++i) q.insert(q.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), 0xEE});
  return q;
}

class BmpTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("bmp");
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::vector<uint8_t> SaveBytes(const Qimg& img) {
    EXPECT_EQ(Try([&] { DIBSave_(Path("out.bmp"), img); }), kOk);
    return FileBytes(Path("out.bmp"));
  }
  Outcome LoadBytes(const std::vector<uint8_t>& bytes, Qimg& img) {
    PutFile(Path("in.bmp"), bytes);
    return Try([&] { DIBLoad_(Path("in.bmp"), img); });
  }
  // A 4- or 8-bit run-length file of the given size and data, and the loaded picture's pixels.
  std::vector<uint32_t> Rle8(int width, int height, const std::vector<uint8_t>& data, int bits = 8) {
    Qimg img;
    const BmpHead head{.width = width, .height = height, .bitCount = bits, .compression = bits == 8 ? 1u : 2u};
    EXPECT_EQ(LoadBytes(BmpBytes(head, Quads(4), data), img), kOk);
    auto px = test::Pixels(img);
    ImgFree(img);
    return px;
  }

  std::string dir_;
};

// The 54-byte headers written for a picture of the given size and stored bit count.
std::vector<uint8_t> WrittenHead(int width, int height, int bits, uint32_t imageSize) {
  const uint32_t colours = bits == 8 ? 256 : 0, offset = 54 + 4 * colours;
  ByteWriter w;
  w.u8('B');
  w.u8('M');
  for (uint32_t v : {offset + imageSize, 0u, offset, 40u, uint32_t(width), uint32_t(height)}) w.u32le(v);
  w.u16le(1);
  w.u16le(uint32_t(bits));
  for (uint32_t v : {0u, imageSize, 0u, 0u, colours, colours}) w.u32le(v);
  return w.bytes();
}

TEST_F(BmpTest, WrittenHeadersPaletteAndPaddedRows) {
  Qimg img;
  test::MakeFrom(img, 3, 2, 24, {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112});
  auto b = SaveBytes(img);
  // The bottom row first, each row followed by three zero bytes.
  std::vector<uint8_t> want = WrittenHead(3, 2, 24, 24);
  want.insert(want.end(), {0x0C, 0x0B, 0x0A, 0x0F, 0x0E, 0x0D, 0x12, 0x11, 0x10, 0, 0, 0,  //
                           0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0, 0, 0});
  EXPECT_EQ(b, want);
  ImgFree(img);
  // A 15-bit picture is written as 16 bits without bit fields.
  test::MakePattern(img, 5, 1, 15);
  b = SaveBytes(img);
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 54), WrittenHead(5, 1, 16, 12));
  ImgFree(img);
  test::MakePattern(img, 5, 1, 8);
  b = SaveBytes(img);
  ASSERT_EQ(b.size(), 54u + 1024 + 8);
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 54), WrittenHead(5, 1, 8, 8));
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54 + 4 * i, b.begin() + 58 + 4 * i),
              (std::vector<uint8_t>{img.palette[i][0], img.palette[i][1], img.palette[i][2], 0}));
  ImgFree(img);
}

TEST_F(BmpTest, RoundTripsAtEveryDepthAndWidth) {
  for (int32_t bpp : {8, 15, 24}) {
    for (int32_t w = 1; w <= 5; ++w) {
      for (int32_t h : {1, 3}) {
        SCOPED_TRACE(testing::Message() << bpp << " bits, " << w << " x " << h);
        Qimg img, back;
        test::MakePattern(img, w, h, bpp, uint32_t(w + 7 * h));
        SaveBytes(img);
        ASSERT_EQ(Try([&] { DIBLoad_(Path("out.bmp"), back); }), kOk);
        EXPECT_TRUE(test::SameImage(img, back));
        if (bpp == 8) {
          EXPECT_EQ(std::memcmp(img.palette, back.palette, 768), 0);
        }
        ImgFree(img);
        ImgFree(back);
      }
    }
  }
}

TEST_F(BmpTest, EveryBitCountFieldsAndRowOrderLoad) {
  // Masks: red, green, blue (and alpha).
  const std::vector<uint32_t> argb = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, xbgr = {0xFF, 0xFF00, 0xFF0000},
                              ten = {0x3FF00000, 0xFFC00, 0x3FF}, w565 = {0xF800, 0x7E0, 0x1F},
                              w555 = {0x7C00, 0x3E0, 0x1F}, w4444 = {0xF00, 0xF0, 0xF, 0xF000},
                              w1555 = {0x7C00, 0x3E0, 0x1F, 0x8000};
  struct Case {
    BmpHead head;
    std::vector<uint8_t> pixels;
    int32_t bpp;
    std::vector<uint32_t> want;
    std::vector<uint8_t> palette = Quads(16);
  };
  // Rows are padded to words, bottom row first unless the height is negative; bits and nibbles
  // from the highest on.
  const Case cases[] = {
      {{.infoSize = 12, .width = 2, .height = 2}, {0, 1, 0, 0, 1, 1, 0, 0}, 8, {1, 1, 0, 1}, {1, 2, 3, 4, 5, 6}},
      {{.infoSize = 124}, {2, 0, 0, 0}, 8, {2}},                                       // the colour table after it
      {{.width = 2, .bitCount = 16}, {0x1F, 0xFC, 0xE0, 0x03}, 15, {0x7C1F, 0x03E0}},  // the top bit dropped
      {{.width = 10, .height = 2, .bitCount = 1}, {0xA0, 0x40, 0, 0, 0x01, 0xC0, 0, 0}, 8, {0, 0, 0, 0, 0, 0, 0,
                                                                                            1, 1, 1, 1, 0, 1, 0,
                                                                                            0, 0, 0, 0, 0, 1}},
      {{.width = 3, .bitCount = 4}, {0x12, 0x3F, 0, 0}, 8, {1, 2, 3}},
      {{.bitCount = 32}, {1, 2, 3, 4}, 24, {0x030201}},
      {{.infoSize = 124, .bitCount = 32, .compression = 3, .masks = argb}, {1, 2, 3, 4}, 32, {0x04030201}},
      {{.bitCount = 32, .compression = 3, .masks = xbgr}, {1, 2, 3, 4}, 24, {0x010203}},  // masks after the header
      {{.bitCount = 32, .compression = 3, .masks = ten}, {0xFF, 0x03, 0, 0x20}, 24, {0x8000FF}},
      {{.bitCount = 16, .compression = 3, .masks = w565}, {0x34, 0x12}, 16, {0x1234}},
      {{.bitCount = 16, .compression = 3, .masks = w555}, {0x34, 0x12}, 15, {0x1234}},
      {{.infoSize = 56, .bitCount = 16, .compression = 3, .masks = w4444}, {0x34, 0x12}, 32, {0x11223344}},
      {{.bitCount = 16, .compression = 6, .masks = w1555}, {0x1F, 0x80}, 32, {0xFF0000FF}},
      {{.height = -2, .bitCount = 24}, {1, 2, 3, 0, 4, 5, 6, 0}, 24, {0x030201, 0x060504}},
      {{.width = 2, .height = -2, .bitCount = 1}, {0x80, 0, 0, 0, 0x40, 0, 0, 0}, 8, {1, 0, 0, 1}},
      {{.height = -2, .bitCount = 32}, {1, 2, 3, 0, 4, 5, 6, 0}, 24, {0x030201, 0x060504}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.head.bitCount << " bits, masks " << c.head.masks.size() << ", case "
                                    << &c - cases);
    PutFile(Path("in.bmp"), BmpBytes(c.head, c.palette, c.pixels));
    QffInfo info;
    ASSERT_EQ(Try([&] { DIBInfo(Path("in.bmp"), info); }), kOk);
    EXPECT_EQ(std::tuple(info.video.height, info.video.bpp, info.video.hasVideo, info.video.videoReadable),
              std::tuple(std::abs(c.head.height), c.bpp, -1, -1));
    Qimg img;
    ASSERT_EQ(Try([&] { DIBLoad_(Path("in.bmp"), img); }), kOk);
    EXPECT_EQ(img.bpp, c.bpp);
    EXPECT_EQ(test::Pixels(img), c.want);
    if (c.bpp == 8) {
      // The file's colour table, entries of three or four bytes.
      EXPECT_EQ(std::memcmp(img.palette[1], c.palette.data() + (c.head.infoSize == 12 ? 3 : 4), 3), 0);
    }
    ImgFree(img);
  }
}

TEST_F(BmpTest, BrokenFieldsAreNotReadable) {
  for (const std::vector<uint32_t>& masks :
       std::vector<std::vector<uint32_t>>{{0xF0F, 0xF0, 0}, {0x1F0000, 0x7E0, 0x1F}, {0, 0xFF00, 0x80000001}}) {
    SCOPED_TRACE(masks[0]);
    const int bits = masks[1] == 0x7E0 ? 16 : 32;
    PutFile(Path("in.bmp"), BmpBytes({.bitCount = bits, .compression = 3, .masks = masks}, {}, {1, 2, 3, 4}));
    QffInfo info;
    ASSERT_EQ(Try([&] { DIBInfo(Path("in.bmp"), info); }), kOk);
    EXPECT_EQ(info.video.videoReadable, 0);
    Qimg img;
    EXPECT_EQ(Try([&] { DIBLoad_(Path("in.bmp"), img); }), (Outcome{7, 1}));
  }
}

TEST_F(BmpTest, RunLengthLinesEndAndContinueOnTheNextRow) {
  // File rows are bottom first: the loaded picture lists the last coded row first.
  // A row ended early by an end-of-line code: the next row starts at its own beginning.
  EXPECT_EQ(Rle8(4, 2, {2, 1, 0, 0, 4, 3, 0, 1}), (std::vector<uint32_t>{3, 3, 3, 3, 1, 1, 0, 0}));
  // Rows coded to their padded length (four for width 3), then an end of line.
  EXPECT_EQ(Rle8(3, 2, {4, 1, 0, 0, 4, 2, 0, 0, 0, 1}), (std::vector<uint32_t>{2, 2, 2, 1, 1, 1}));
  // A full row followed by an end of line does not skip a row.
  EXPECT_EQ(Rle8(2, 2, {2, 1, 0, 0, 2, 2, 0, 1}), (std::vector<uint32_t>{2, 2, 1, 1}));
  // Rows coded in full without line ends run on.
  EXPECT_EQ(Rle8(2, 2, {3, 1, 1, 2}), (std::vector<uint32_t>{1, 2, 1, 1}));
}

TEST_F(BmpTest, RunLengthMovesCopiesAndBounds) {
  // A move by (2, 1) after one pixel lands on the fourth pixel of the second row.
  EXPECT_EQ(Rle8(4, 3, {1, 3, 0, 2, 2, 1, 1, 2, 0, 1}), (std::vector<uint32_t>{0, 0, 0, 0, 0, 0, 0, 2, 3, 0, 0, 0}));
  // Literal copies: an odd count skips a padding byte.
  EXPECT_EQ(Rle8(4, 1, {0, 3, 1, 2, 3, 0, 1, 3}), (std::vector<uint32_t>{1, 2, 3, 3}));
  // End of bitmap stops everything after it.
  EXPECT_EQ(Rle8(2, 1, {1, 1, 0, 1, 1, 2}), (std::vector<uint32_t>{1, 0}));
  // A run, a copy or a move past the end of the picture stops there.
  EXPECT_EQ(Rle8(2, 2, {255, 3, 255, 2}), (std::vector<uint32_t>(4, 3)));
  EXPECT_EQ(Rle8(2, 1, {0, 5, 1, 2, 3, 0, 0}), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(Rle8(2, 2, {0, 2, 255, 255, 1, 1}), (std::vector<uint32_t>(4, 0)));
  // Data that ends inside a copy, a move or a pair leaves the rest as allocated.
  EXPECT_EQ(Rle8(4, 1, {0, 4, 1, 2}), (std::vector<uint32_t>{1, 2, 0, 0}));
  EXPECT_EQ(Rle8(2, 1, {1, 1, 0, 2, 1}), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(Rle8(2, 1, {1, 1, 1}), (std::vector<uint32_t>{1, 0}));
}

TEST_F(BmpTest, FourBitRunsCopiesAndBounds) {
  // Runs alternate the value's two nibbles, the high one first; copies take nibbles in order and
  // skip to a word: three nibbles are two bytes, five are three and a padding byte.
  EXPECT_EQ(Rle8(5, 1, {5, 0x12}, 4), (std::vector<uint32_t>{1, 2, 1, 2, 1}));
  EXPECT_EQ(Rle8(4, 1, {0, 3, 0x45, 0x60, 1, 0x77}, 4), (std::vector<uint32_t>{4, 5, 6, 7}));
  EXPECT_EQ(Rle8(6, 1, {0, 5, 0x12, 0x34, 0x5F, 0xEE, 1, 0x90}, 4), (std::vector<uint32_t>{1, 2, 3, 4, 5, 9}));
  // Line ends, moves and the end of the bitmap as at 8 bits; rows bottom first.
  EXPECT_EQ(Rle8(2, 2, {1, 0x30, 0, 0, 0, 2, 1, 0, 1, 0x40, 0, 1}, 4), (std::vector<uint32_t>{0, 4, 3, 0}));
  // Runs and copies past the picture or the data stop there.
  EXPECT_EQ(Rle8(2, 2, {255, 0x12, 255, 0x33}, 4), (std::vector<uint32_t>{1, 2, 1, 2}));
  EXPECT_EQ(Rle8(3, 1, {0, 9, 0x12, 0x34, 0x56, 0x78, 0x9A}, 4), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(Rle8(4, 1, {0, 4, 0x12}, 4), (std::vector<uint32_t>{1, 2, 0, 0}));
}

// Compression names; what the reader takes as plain rows or standard masks; the depths every
// other case reports are those of the bit-count table above.
TEST_F(BmpTest, InfoFlagsAndCompressionNames) {
  struct Case {
    BmpHead head;
    int32_t bpp, readable;
    const char* compression;
  };
  const Case cases[] = {
      {{.bitCount = 8, .compression = 1}, 8, -1, "Run Length Encoding (RLE)"},
      {{.bitCount = 24, .compression = 1}, 24, -1, ""},
      {{.bitCount = 8, .compression = 2}, 8, -1, ""},
      {{.bitCount = 16, .compression = 3, .masks = {0, 0, 0}}, 15, -1, ""},
      {{.bitCount = 4, .compression = 2}, 8, -1, "Run Length Encoding (RLE)"},
      {{.bitCount = 2}, 2, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.head.bitCount << " bits, compression " << c.head.compression);
    const auto bytes = BmpBytes(c.head, {}, std::vector<uint8_t>(8));
    PutFile(Path("info.bmp"), bytes);
    QffInfo info;
    ASSERT_EQ(Try([&] { DIBInfo(Path("info.bmp"), info); }), kOk);
    EXPECT_EQ(stilltest::Still(info), (stilltest::StillFields{3, int64_t(bytes.size()), 1, 1, c.bpp}));
    EXPECT_EQ(std::tuple(info.video.videoReadable, info.video.compression),
              std::tuple(c.readable, std::string(c.compression)));
  }
}

// Small damaged files, generated into a folder of their own, with the error each must give.
TEST_F(BmpTest, DamagedFilesGiveTheirErrors) {
  const std::string bad = test::ScratchDir("bad_bmp");
  auto cut = [](std::vector<uint8_t> v, size_t n) {
    v.resize(n);
    return v;
  };
  auto withOffset = [](std::vector<uint8_t> v, uint32_t offset) {
    for (int i = 0; i < 4; ++i) v[10 + i] = uint8_t(offset >> (8 * i));
    return v;
  };
  const auto plain = BmpBytes({.width = 3, .height = 3, .bitCount = 24}, {}, std::vector<uint8_t>(36, 1));
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Outcome info, load;
  };
  const Case cases[] = {
      {"signature.bmp",
       [&] {
         auto v = plain;
         v[1] = 'X';
         return v;
       }(),
       {7, 2},
       {7, 2}},
      {"file_header_only.bmp", cut(plain, 16), {6, 3}, {6, 3}},
      {"info_header_cut.bmp", cut(plain, 40), {6, 3}, {6, 3}},
      {"rows_cut.bmp", cut(plain, 54 + 12 * 2 + 8), kOk, {7, 9}},
      {"rows_offset_past_end.bmp", withOffset(plain, 60), kOk, {7, 9}},
      {"rle_offset_past_end.bmp", withOffset(BmpBytes({.compression = 1}, {}, {1, 1, 0, 1}), 1000), kOk, {7, 9}},
      {"palette_past_end.bmp", withOffset(BmpBytes({}, {}, {1}), 1078), kOk, {7, 9}},
      {"two_bit.bmp", BmpBytes({.bitCount = 2}, {}, {0, 0, 0, 0}), kOk, {7, 1}},
      {"one_bit_rows_cut.bmp",
       BmpBytes({.width = 33, .height = 2, .bitCount = 1}, {}, std::vector<uint8_t>(12)),
       kOk,
       {7, 9}},
      {"thirty_two_rows_cut.bmp",
       BmpBytes({.width = 2, .height = 2, .bitCount = 32}, {}, std::vector<uint8_t>(15)),
       kOk,
       {7, 9}},
      {"height_min.bmp", BmpBytes({.height = INT32_MIN, .bitCount = 24}, {}, {1, 2, 3}), {7, 2}, {7, 2}},
      {"masks_cut.bmp",
       cut(BmpBytes({.infoSize = 124, .bitCount = 32, .compression = 3, .masks = {0xFF, 0xFF00, 0xFF0000, 0}}, {}, {}),
           60),
       {6, 3},
       {6, 3}},
      {"zero_width.bmp", BmpBytes({.width = 0, .bitCount = 24}, {}, {}), kOk, {7, 2}},
      // Found by fuzzing: sizes whose product overflows 64 bits.
      {"absurd_geometry.bmp",
       BmpBytes({.width = INT32_MIN, .height = -1300468480, .bitCount = 65535}, {}, {1}),
       kOk,
       {7, 1}},
      {"huge.bmp", BmpBytes({.width = 1 << 30, .height = 1 << 30, .compression = 1}, {}, {255, 1}), kOk, {7, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = bad + "/" + c.name;
    PutFile(path, c.bytes);
    QffInfo info;
    EXPECT_EQ(Try([&] { DIBInfo(path, info); }), c.info);
    Qimg img;
    EXPECT_EQ(Try([&] { DIBLoad_(path, img); }), c.load);
    EXPECT_FALSE(ImgValid(img));
  }
}

TEST_F(BmpTest, FailuresDuringLoadAndSaveLeaveNothingBehind) {
  PutFile(Path("rle.bmp"), BmpBytes({.width = 4, .height = 2, .compression = 1}, Quads(4), {4, 1, 0, 0, 4, 2, 0, 1}));
  for (int32_t bpp : {8, 24}) {
    Qimg img, back;
    test::MakePattern(img, 5, 3, bpp);
    const std::string path = Path("faults.bmp");
    for (Fault kind : {Fault::Open, Fault::Write}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, save, fault kind " << int(kind));
      test::WriteWholeFile(path, "old");
      EXPECT_GE(stilltest::SweepFaults(
                    kind, 6, [&] { DIBSave_(path, img); }, path),
                1);
    }
    ImgFree(img);
    for (const std::string& name : {path, Path("rle.bmp")}) {
      for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc}) {
        SCOPED_TRACE(testing::Message() << name << ", load, fault kind " << int(kind));
        EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { DIBLoad_(name, back); }), 1);
        ImgFree(back);
      }
    }
  }
}

TEST_F(BmpTest, AnEmptyPictureIsNotSaved) {
  Qimg empty;
  EXPECT_EQ(Try([&] { DIBSave_(Path("empty.bmp"), empty); }), (Outcome{7, 2}));
  EXPECT_FALSE(kernel::FileExists(Path("empty.bmp")));
}

}  // namespace
}  // namespace rf
