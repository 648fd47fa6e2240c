// Sun raster reader and writer: written headers, colour maps and coded rows byte by byte, rows
// padded or not as the data length says, pixel orders of every type, damaged files and failures
// at every step.
#include "formats/ff_ras.h"

#include <gtest/gtest.h>

#include <tuple>

#include "formats/still_test_util.h"
#include "foundation/bytes.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::FileBytes;
using stilltest::kOk;
using stilltest::Outcome;
using stilltest::PutFile;
using stilltest::Try;

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b.at(at) << 24 | b.at(at + 1) << 16 | b.at(at + 2) << 8 | b.at(at + 3));
}

struct RasHead {
  uint32_t magic = 0x59A66A95, width = 1, height = 1, depth = 24, length = 0, type = 1, mapType = 0, mapLength = 0;
};

std::vector<uint8_t> RasBytes(const RasHead& h, const std::vector<uint8_t>& rest) {
  ByteWriter w;
  for (uint32_t v : {h.magic, h.width, h.height, h.depth, h.length, h.type, h.mapType, h.mapLength}) w.u32be(v);
  w.write(rest.data(), rest.size());
  return w.bytes();
}

class RasTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("ras");
  }
  void TearDown() override {
    RASSetCompression(1);
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::vector<uint8_t> SaveBytes(const Qimg& img, int32_t compression, const std::string& name = "out.ras") {
    RASSetCompression(compression);
    EXPECT_EQ(Try([&] { RASSave(Path(name), img); }), kOk);
    return FileBytes(Path(name));
  }
  Outcome LoadBytes(const std::vector<uint8_t>& bytes, Qimg& img) {
    PutFile(Path("in.ras"), bytes);
    return Try([&] { RASLoad(Path("in.ras"), img); });
  }

  std::string dir_;
};

TEST_F(RasTest, WrittenHeadersMapsAndRoundTripsAtEveryDepth) {
  for (int32_t bpp : {8, 15, 16, 24, 32}) {
    for (int32_t coded : {0, 1}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, compression " << coded);
      Qimg img, want, back;
      test::MakePattern(img, 5, 3, bpp, uint32_t(bpp));
      ImgConvBpp(img, want, bpp == 8 ? 8 : 24);
      const auto b = SaveBytes(img, coded);
      const bool mapped = bpp == 8;
      const uint32_t pixel = mapped ? 1 : 3;
      ASSERT_GE(b.size(), 32u);
      const size_t data = 32 + (mapped ? 768 : 0), row = 5 * pixel, padded = row + 1;
      // The colour map as planes of red, green and blue.
      std::vector<uint8_t> map;
      for (int plane = 2; mapped && plane >= 0; --plane)
        for (int i = 0; i < 256; ++i) map.push_back(img.palette[i][plane]);
      const RasHead head{.width = 5,
                         .height = 3,
                         .depth = pixel * 8,
                         .length = uint32_t(coded ? b.size() - data : 3 * padded),
                         .type = coded ? 2u : 1u,
                         .mapType = mapped ? 1u : 0u,
                         .mapLength = mapped ? 768u : 0u};
      EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + long(data)), RasBytes(head, map));
      if (!coded) {
        // Top row first, pixels as the picture keeps them (blue first), each row and a zero.
        ASSERT_EQ(b.size(), data + 3 * padded);
        for (size_t y = 0; y < 3; ++y) {
          const auto at = b.begin() + long(data + y * padded);
          EXPECT_EQ(std::vector<uint8_t>(at, at + long(row)),
                    std::vector<uint8_t>(want.data + y * row, want.data + (y + 1) * row));
          EXPECT_EQ(at[long(row)], 0);
        }
      }
      ASSERT_EQ(Try([&] { RASLoad(Path("out.ras"), back); }), kOk);
      EXPECT_TRUE(test::SameImage(want, back));
      if (mapped) {
        EXPECT_EQ(std::memcmp(img.palette, back.palette, 768), 0);
      }
      ImgFree(img);
      ImgFree(want);
      ImgFree(back);
    }
  }
}

TEST_F(RasTest, RowsArePaddedUnlessTheDataLengthIsThatOfUnpaddedRows) {
  Qimg img;
  test::MakeFrom(img, 3, 2, 8, {1, 2, 3, 4, 5, 6});
  auto b = SaveBytes(img, 0);
  EXPECT_EQ(Be32(b, 16), 8u);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 800, b.end()), (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
  b = SaveBytes(img, 1);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 800, b.end()), (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
  ImgFree(img);
  const std::vector<uint8_t> unpadded = {1, 2, 3, 4, 5, 6}, padded = {1, 2, 3, 0, 4, 5, 6, 0};
  struct Case {
    uint32_t length, type;
    std::vector<uint8_t> data;
  };
  // Plain files by their data length (0: none given); coded ones by the length they decode to.
  const Case cases[] = {{6, 1, unpadded},  {8, 1, padded},
                        {0, 1, padded},    {8, 1, {1, 2, 3, 0, 4, 5, 6}},             // the last row's padding left out
                        {99, 2, unpadded}, {99, 2, {1, 2, 3, 0, 4, 5, 6, 0x80, 0}}};  // the pad an escaped 80 hex
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "length " << c.length << " type " << c.type << " bytes " << c.data.size());
    ASSERT_EQ(
        LoadBytes(RasBytes({.width = 3, .height = 2, .depth = 8, .length = c.length, .type = c.type}, c.data), img),
        kOk);
    EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(img.palette[5][0], 5);  // no map: grey levels
    ImgFree(img);
  }
  // 24 bits: rows of 9 bytes, or of 10 when padded.
  std::vector<uint8_t> rows(20);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i + 1);
  for (uint32_t length : {18u, 20u}) {
    ASSERT_EQ(LoadBytes(RasBytes({.width = 3, .height = 2, .length = length}, rows), img), kOk);
    EXPECT_EQ(test::Pixel(img, 0, 1), length == 18 ? 0x0C0B0Au : 0x0D0C0Bu);
    ImgFree(img);
  }
}

TEST_F(RasTest, CodedRowsFollowTheSunRule) {
  struct Case {
    int32_t width, height, bpp;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> coded;  // the data after the header and the map
  };
  const Case cases[] = {
      {10, 1, 8, {5, 5, 5, 5, 0x80, 1, 2, 2, 0x80, 0x80}, {0x80, 3, 5, 0x80, 0, 1, 2, 2, 0x80, 1, 0x80}},
      // Runs stop at 256 and at each row's end, the padding included.
      {300, 1, 8, std::vector<uint32_t>(300, 7), {0x80, 255, 7, 0x80, 43, 7}},
      {1, 2, 24, {0x070707, 0x070707}, {0x80, 2, 7, 0, 0x80, 2, 7, 0}},
  };
  Qimg img;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    test::MakeFrom(img, c.width, c.height, c.bpp, c.pixels);
    const auto b = SaveBytes(img, 1);
    const size_t data = c.bpp == 8 ? 800 : 32;
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + long(data), b.end()), c.coded);
    EXPECT_EQ(Be32(b, 16), c.coded.size());
    ImgFree(img);
  }

  // Reading: an escaped 80 hex, a run across the row's end and its padding, and a run cut at the
  // picture's end.
  ASSERT_EQ(
      LoadBytes(RasBytes({.width = 3, .height = 2, .depth = 8, .type = 2}, {0x80, 0, 0x80, 2, 9, 4, 0x80, 200, 1}),
                img),
      kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0x80, 9, 9, 4, 1, 1}));
  ImgFree(img);
  // Data ending inside a packet leaves the rest as zeros.
  ASSERT_EQ(LoadBytes(RasBytes({.width = 2, .height = 2, .depth = 8, .type = 2}, {3, 0x80, 5}), img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{3, 0, 0, 0}));
  ImgFree(img);
}

TEST_F(RasTest, PixelOrdersOfEveryTypeAndColourMaps) {
  Qimg img;
  struct Case {
    uint32_t depth, type;
    std::vector<uint8_t> data;
    uint32_t pixel;
  };
  const Case cases[] = {
      {24, 1, {1, 2, 3}, 0x030201},    {24, 0, {1, 2, 3}, 0x030201},    {24, 3, {1, 2, 3}, 0x010203},
      {32, 1, {9, 1, 2, 3}, 0x030201}, {32, 3, {9, 1, 2, 3}, 0x010203}, {32, 2, {9, 1, 2, 3}, 0x030201},
      {24, 4, {1, 2, 3}, 0x030201},    {24, 5, {1, 2, 3}, 0x030201},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << c.depth << " type " << c.type);
    ASSERT_EQ(LoadBytes(RasBytes({.depth = c.depth, .type = c.type}, c.data), img), kOk);
    EXPECT_EQ(img.bpp, 24);
    EXPECT_EQ(test::Pixel(img, 0, 0), c.pixel);
    ImgFree(img);
  }
  // A map of two entries per plane: red 10, 11, green 20, 21, blue 30, 31.
  ASSERT_EQ(
      LoadBytes(RasBytes({.width = 2, .depth = 8, .mapType = 1, .mapLength = 6}, {10, 11, 20, 21, 30, 31, 1, 0}), img),
      kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(std::vector<uint8_t>(img.palette[0], img.palette[3]),
            (std::vector<uint8_t>{30, 20, 10, 31, 21, 11, 0, 0, 0}));
  ImgFree(img);
  // A map ahead of 24-bit pixels is skipped.
  ASSERT_EQ(LoadBytes(RasBytes({.mapType = 1, .mapLength = 3}, {7, 7, 7, 1, 2, 3}), img), kOk);
  EXPECT_EQ(test::Pixel(img, 0, 0), 0x030201u);
  ImgFree(img);
}

TEST_F(RasTest, InfoReportsSupportDepthAndCompression) {
  struct Case {
    RasHead head;
    int32_t bpp, readable;
    const char* compression;
  };
  const Case cases[] = {
      {{.width = 4, .height = 3, .depth = 8}, 8, -1, ""},
      {{.width = 4, .height = 3, .depth = 24, .type = 2}, 24, -1, "Run Length Encoding (RLE)"},
      {{.width = 4, .height = 3, .depth = 32, .type = 3}, 24, -1, ""},
      {{.width = 4, .height = 3, .depth = 1}, 1, 0, ""},
      {{.width = 4, .height = 3, .depth = 24, .type = 6}, 24, 0, ""},
      {{.width = 4, .height = 3, .depth = 0xFFFF}, 0xFFFF, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << c.head.depth << " type " << c.head.type);
    const auto bytes = RasBytes(c.head, std::vector<uint8_t>(64, 0));
    PutFile(Path("info.ras"), bytes);
    QffInfo info;
    ASSERT_EQ(Try([&] { RASInfo(Path("info.ras"), info); }), kOk);
    EXPECT_EQ(stilltest::Still(info), (stilltest::StillFields{14, int64_t(bytes.size()), 4, 3, c.bpp}));
    EXPECT_EQ(std::tuple(info.video.videoReadable, info.video.compression),
              std::tuple(c.readable, std::string(c.compression)));
  }
}

TEST_F(RasTest, DamagedFilesGiveTheirErrors) {
  const std::string bad = test::ScratchDir("bad_ras");
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Outcome info, load;
  };
  const Case cases[] = {
      {"magic.ras", RasBytes({.magic = 0x956AA659}, {1, 2, 3}), {7, 2}, {7, 2}},
      {"depth1.ras", RasBytes({.depth = 1}, {1}), kOk, {7, 1}},
      {"depth16.ras", RasBytes({.depth = 16}, {1, 2}), kOk, {7, 1}},
      // Sizes past 31 bits and depths past 16 are refused, not cut to some other number.
      {"depth_max.ras", RasBytes({.width = 0x7FFFFFFF, .depth = 0xFFFFFFFF}, {1, 2}), {7, 2}, {7, 2}},
      {"depth_2_16.ras", RasBytes({.depth = 0x10000}, {1, 2}), {7, 2}, {7, 2}},
      {"width_2_31.ras", RasBytes({.width = 0x80000000}, {1, 2, 3}), {7, 2}, {7, 2}},
      {"height_2_32_less_1.ras", RasBytes({.height = 0xFFFFFFFF}, {1, 2, 3}), {7, 2}, {7, 2}},
      {"width_max.ras", RasBytes({.width = 0x7FFFFFFF, .depth = 8}, {1, 2, 3}), kOk, {7, 2}},
      {"type6.ras", RasBytes({.type = 6}, {1, 2, 3}), kOk, {7, 1}},
      {"short_header.ras", {0x59, 0xA6, 0x6A, 0x95, 0, 0, 0, 1}, {6, 3}, {6, 3}},
      {"zero_height.ras", RasBytes({.height = 0}, {1, 2, 3}), kOk, {7, 2}},
      {"padded_rows_cut.ras", RasBytes({.width = 3, .height = 2, .depth = 8}, {1, 2, 3, 0, 4, 5}), kOk, {7, 9}},
      {"huge.ras", RasBytes({.width = 60000, .height = 60000, .type = 2}, {0x80, 255, 1}), kOk, {7, 2}},
      {"truncated_rows.ras", RasBytes({.width = 4, .height = 4}, std::vector<uint8_t>(47, 1)), kOk, {7, 9}},
      {"map_past_end.ras", RasBytes({.depth = 8, .mapType = 1, .mapLength = 768}, {1, 2, 3}), kOk, {7, 9}},
      {"coded_map_past_end.ras",
       RasBytes({.depth = 8, .type = 2, .mapType = 1, .mapLength = 0xFFFFFFF0}, {1}),
       kOk,
       {7, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = bad + "/" + c.name;
    PutFile(path, c.bytes);
    QffInfo info;
    EXPECT_EQ(Try([&] { RASInfo(path, info); }), c.info);
    Qimg img;
    EXPECT_EQ(Try([&] { RASLoad(path, img); }), c.load);
    EXPECT_FALSE(ImgValid(img));
  }
  Qimg img;
  EXPECT_EQ(Try([&] { RASLoad(bad + "/missing.ras", img); }), (Outcome{6, 1}));
}

TEST_F(RasTest, FailuresLeaveNothingBehind) {
  for (int32_t bpp : {8, 24, 32}) {
    Qimg src;
    test::MakePattern(src, 6, 4, bpp);
    for (int32_t coded : {0, 1}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, coded " << coded);
      SaveBytes(src, coded, "in.ras");
      Qimg img;
      for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc})
        EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { RASLoad(Path("in.ras"), img); }), 1);
      ImgFree(img);
      const std::string path = Path("fail.ras");
      for (Fault kind : {Fault::Open, Fault::Write, Fault::Alloc}) {
        test::WriteWholeFile(path, "old");
        EXPECT_GE(stilltest::SweepFaults(
                      kind, kind == Fault::Alloc ? 5 : 6, [&] { RASSave(path, src); }, path),
                  1);
      }
    }
    ImgFree(src);
  }
}

}  // namespace
}  // namespace rf
