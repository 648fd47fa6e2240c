// PCX reader and writer: header and palette tail, run limits and prefixes byte by byte, planes,
// odd widths, damaged files and failures at every step.
#include "formats/ff_pcx.h"

#include <gtest/gtest.h>

#include <tuple>

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

struct PcxHead {
  int manufacturer = 10, encoding = 1, bits = 8, xmin = 0, ymin = 0, xmax = 0, ymax = 0, planes = 1;
  int bytesPerLine = 2;
};

// The header, the coded data and, when given, the marker and a palette whose entry i is
// (red i, green 255 - i, blue 7).
std::vector<uint8_t> PcxBytes(const PcxHead& h, const std::vector<uint8_t>& data, bool palette) {
  ByteWriter w;
  w.u8(h.manufacturer);
  w.u8(5);
  w.u8(h.encoding);
  w.u8(h.bits);
  w.u16le(h.xmin);
  w.u16le(h.ymin);
  w.u16le(h.xmax);
  w.u16le(h.ymax);
  w.fill(0, 65 - w.size());
  w.u8(h.planes);
  w.u16le(h.bytesPerLine);
  w.fill(0, 128 - w.size());
  w.write(data.data(), data.size());
  if (palette) {
    w.u8(12);
    for (int i = 0; i < 256; ++i) {
      w.u8(i);
      w.u8(255 - i);
      w.u8(7);
    }
  }
  return w.bytes();
}

class PcxTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("pcx");
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::vector<uint8_t> SaveBytes(const Qimg& img, const std::string& name = "out.pcx") {
    EXPECT_EQ(Try([&] { PCXSave_(Path(name), img); }), kOk);
    return FileBytes(Path(name));
  }
  // The coded lines of a written file: after the header, before any palette tail.
  std::vector<uint8_t> CodedBytes(const Qimg& img) {
    const auto b = SaveBytes(img);
    const size_t tail = img.bpp == 8 ? 769 : 0;
    return std::vector<uint8_t>(b.begin() + 128, b.end() - long(tail));
  }
  // Loads bytes written to a file; the caller frees img.
  Outcome LoadBytes(const std::vector<uint8_t>& bytes, Qimg& img) {
    PutFile(Path("in.pcx"), bytes);
    return Try([&] { PCXLoad_(Path("in.pcx"), img); });
  }

  std::string dir_;
};

TEST_F(PcxTest, WrittenHeaderAndPaletteTail) {
  for (int32_t bpp : {8, 24}) {
    SCOPED_TRACE(bpp);
    Qimg img;
    test::MakePattern(img, 5, 3, bpp);
    const auto b = SaveBytes(img);
    ASSERT_GE(b.size(), 128u);
    // The resolution is the size; the line length is even.
    auto want = PcxBytes({.xmax = 4, .ymax = 2, .planes = bpp / 8, .bytesPerLine = 6}, {}, false);
    want[12] = 5, want[14] = 3;
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 128), want);
    if (bpp == 8) {
      const size_t tail = b.size() - 769;
      EXPECT_EQ(b[tail], 12);
      for (int i = 0; i < 256; ++i)
        EXPECT_EQ(Le16(b, tail + 3 * i) >> 8 | b[tail + 3 + 3 * i] << 8, img.palette[i][2] | img.palette[i][0] << 8);
    }
    ImgFree(img);
  }
}

TEST_F(PcxTest, RunLimitsAndTheHighBytePrefix) {
  struct Case {
    std::vector<uint32_t> row;
    std::vector<uint8_t> coded;
  };
  const Case cases[] = {// 300 equal bytes: runs of 63, 63, 63, 63 and 48.
                        {std::vector<uint32_t>(300, 7), {255, 7, 255, 7, 255, 7, 255, 7, 240, 7}},
                        // One byte of 200 is a run of one; the odd width adds a literal 0.
                        {{200}, {193, 200, 0}},
                        {{191}, {191, 0}},
                        {{192}, {193, 192, 0}},
                        {{192, 192}, {194, 192}},
                        {{1, 2, 2, 3}, {1, 194, 2, 3}},
                        // A run of exactly 63, then one more of the same value.
                        {std::vector<uint32_t>(64, 9), {255, 9, 9}},
                        // Odd width: each line is padded.
                        {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.row.size() << " bytes from " << c.row[0]);
    Qimg img;
    test::MakeFrom(img, int32_t(c.row.size()), 1, 8, c.row);
    EXPECT_EQ(CodedBytes(img), c.coded);
    EXPECT_EQ(Le16(FileBytes(Path("out.pcx")), 66), (c.row.size() + 1) & ~1u) << "the even line length";
    Qimg back;
    ASSERT_EQ(Try([&] { PCXLoad_(Path("out.pcx"), back); }), kOk);
    EXPECT_TRUE(test::SameImage(img, back));
    for (Qimg* p : {&img, &back}) ImgFree(*p);
  }
}

TEST_F(PcxTest, TrueColourRowsAreRedGreenBluePlanes) {
  // Even width: the planes of a row form one stream, so a run may cross them. Odd width: every
  // plane is padded to the even line length.
  const std::pair<std::vector<uint32_t>, std::vector<uint8_t>> cases[] = {{{0x030201, 0x060504}, {3, 6, 2, 5, 1, 4}},
                                                                          {{0x090909, 0x090909}, {198, 9}},
                                                                          {{0xC80201}, {193, 200, 0, 2, 0, 1, 0}}};
  for (const auto& [row, coded] : cases) {
    Qimg img;
    test::MakeFrom(img, int32_t(row.size()), 1, 24, row);
    EXPECT_EQ(CodedBytes(img), coded);
    ImgFree(img);
  }
}

TEST_F(PcxTest, RoundTripsAtBothDepthsAndManyWidths) {
  for (int32_t bpp : {8, 24}) {
    for (int32_t w = 1; w <= 6; ++w) {
      for (int32_t h : {1, 3}) {
        SCOPED_TRACE(testing::Message() << bpp << " bits, " << w << " x " << h);
        Qimg img, back;
        test::MakePattern(img, w, h, bpp, uint32_t(w * 10 + h));
        // Runs too: the second half of every row repeats one value.
        for (int32_t i = img.size / 2; i < img.size; ++i) img.data[i] = 0xE0;
        SaveBytes(img);
        ASSERT_EQ(Try([&] { PCXLoad_(Path("out.pcx"), back); }), kOk);
        EXPECT_TRUE(test::SameImage(img, back));
        if (bpp == 8) {
          EXPECT_EQ(std::memcmp(img.palette, back.palette, 768), 0);
        }
        for (Qimg* p : {&img, &back}) ImgFree(*p);
      }
    }
  }
}

TEST_F(PcxTest, DecodingRunsLinesAndTruncation) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> pixels;
  } cases[] = {
      {"a run crosses the end of the first line", PcxBytes({.xmax = 1, .ymax = 1}, {195, 4, 5}, true), {4, 4, 4, 5}},
      {"a run past the picture's end stops there, a run of zero writes nothing",
       PcxBytes({.xmax = 1, .ymax = 1}, {192, 9, 255, 6}, true),
       {6, 6, 6, 6}},
      {"the bytes past the even width are skipped",
       PcxBytes({.xmax = 2, .ymax = 1, .bytesPerLine = 5}, {1, 2, 3, 0, 0, 4, 5, 6, 0, 0}, true),
       {1, 2, 3, 4, 5, 6}},
      {"a line length below the width is the even width",
       PcxBytes({.xmax = 2, .ymax = 1, .bytesPerLine = 0}, {1, 2, 3, 0, 4, 5, 6, 0}, true),
       {1, 2, 3, 4, 5, 6}},
      {"planes padded one by one, as other writers store odd widths",
       PcxBytes({.xmax = 0, .planes = 3, .bytesPerLine = 2}, {3, 0, 2, 0, 1, 0}, false),
       {0x030201}},
      {"data ending inside the picture, a run prefix without its value",
       PcxBytes({.xmax = 1, .ymax = 1}, {1, 2, 3, 200}, true),
       {1, 2, 3, 0}},
      {"planes ending early",
       PcxBytes({.xmax = 1, .ymax = 1, .planes = 3}, {9, 9, 8}, false),
       {0x090800, 0x090000, 0, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Qimg img;
    ASSERT_EQ(LoadBytes(c.bytes, img), kOk);
    EXPECT_EQ(test::Pixels(img), c.pixels);
    if (img.bpp == 8) {
      EXPECT_EQ(std::vector<uint8_t>(img.palette[3], img.palette[3] + 3), (std::vector<uint8_t>{7, 252, 3}));
    }
    ImgFree(img);
  }
}

TEST_F(PcxTest, InfoFlagsAndCompressionName) {
  struct Case {
    PcxHead head;
    int32_t width, height, bpp, hasVideo, readable;
  };
  const Case cases[] = {
      {{.xmin = 10, .ymin = 20, .xmax = 14, .ymax = 22}, 5, 3, 8, -1, -1},
      {{.xmax = 3, .ymax = 1, .planes = 3}, 4, 2, 24, -1, -1},
      {{.xmin = 5, .xmax = 4}, 0, 1, 8, 0, -1},
      {{.xmin = 0, .ymin = 3, .ymax = 1}, 1, -1, 8, 0, -1},
      {{.bits = 1, .planes = 4}, 1, 1, 32, -1, 0},
      {{.planes = 2}, 1, 1, 16, -1, 0},
      {{.encoding = 0}, 1, 1, 8, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << c.bpp);
    const auto bytes = PcxBytes(c.head, {1, 2}, true);
    PutFile(Path("info.pcx"), bytes);
    QffInfo info;
    ASSERT_EQ(Try([&] { PCXInfo(Path("info.pcx"), info); }), kOk);
    EXPECT_EQ(std::tuple(info.format, info.fileSize, info.video.width, info.video.height, info.video.bpp,
                         info.video.frames, info.video.hasVideo),
              std::tuple(2, int64_t(bytes.size()), c.width, c.height, c.bpp, 1, c.hasVideo));
    EXPECT_EQ(info.video.videoReadable, c.readable);
    EXPECT_EQ(info.video.compression, "Run Length Encoding (RLE)");
  }
}

// Small damaged files, generated into a folder of their own, with the error each must give.
TEST_F(PcxTest, DamagedFilesGiveTheirErrors) {
  const std::string bad = test::ScratchDir("bad_pcx");
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Outcome info, load;
  };
  const Case cases[] = {
      {"manufacturer11.pcx", PcxBytes({.manufacturer = 11}, {1}, true), {7, 2}, {7, 2}},
      {"short_header.pcx", {10, 5, 1, 8, 0, 0}, {6, 3}, {6, 3}},
      {"no_palette_room.pcx", PcxBytes({}, std::vector<uint8_t>(300, 1), false), kOk, {7, 9}},
      {"four_bit.pcx", PcxBytes({.bits = 4}, {1}, true), kOk, {7, 1}},
      {"inverted.pcx", PcxBytes({.xmin = 9, .xmax = 1}, {1}, true), kOk, {7, 2}},
      {"huge.pcx",
       PcxBytes({.xmax = 65535, .ymax = 65535, .planes = 3, .bytesPerLine = 65535}, {255, 1}, false),
       kOk,
       {7, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = bad + "/" + c.name;
    PutFile(path, c.bytes);
    QffInfo info;
    EXPECT_EQ(Try([&] { PCXInfo(path, info); }), c.info);
    Qimg img;
    EXPECT_EQ(Try([&] { PCXLoad_(path, img); }), c.load);
    EXPECT_FALSE(ImgValid(img));
  }
}

TEST_F(PcxTest, FailuresDuringLoadAndSaveLeaveNothingBehind) {
  for (int32_t bpp : {8, 24}) {
    SCOPED_TRACE(bpp);
    Qimg img, back;
    test::MakePattern(img, 7, 3, bpp);
    SaveBytes(img, "in.pcx");
    stilltest::SweepLoadAndSave([&] { PCXLoad_(Path("in.pcx"), back); }, [&] { PCXSave_(Path("faults.pcx"), img); },
                                Path("faults.pcx"));
    for (Qimg* p : {&img, &back}) ImgFree(*p);
  }
}

TEST_F(PcxTest, DepthsAndSizesTheFormatCannotHoldAreRefused) {
  const std::string path = Path("refused.pcx");
  for (int32_t bpp : {15, 16, 32}) {
    Qimg img;
    test::MakePattern(img, 2, 2, bpp);
    EXPECT_EQ(Try([&] { PCXSave_(path, img); }), (Outcome{7, 1})) << bpp;
    ImgFree(img);
  }
  Qimg wide;
  test::MakePattern(wide, 65535, 1, 8);
  EXPECT_EQ(Try([&] { PCXSave_(path, wide); }), (Outcome{7, 1}));
  ImgFree(wide);
  EXPECT_FALSE(kernel::FileExists(path));
}

}  // namespace
}  // namespace rf
