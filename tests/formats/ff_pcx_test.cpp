// PCX reader and writer: header and palette tail, run limits and prefixes byte by byte, planes,
// odd widths, damaged files and failures at every step.
#include "formats/ff_pcx.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(b[0], 10);
    EXPECT_EQ(b[1], 5);
    EXPECT_EQ(b[2], 1);
    EXPECT_EQ(b[3], 8);
    EXPECT_EQ(Le16(b, 4), 0u);
    EXPECT_EQ(Le16(b, 6), 0u);
    EXPECT_EQ(Le16(b, 8), 4u);
    EXPECT_EQ(Le16(b, 10), 2u);
    EXPECT_EQ(Le16(b, 12), 5u);
    EXPECT_EQ(Le16(b, 14), 3u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 16, b.begin() + 65), std::vector<uint8_t>(49, 0));
    EXPECT_EQ(b[65], bpp / 8);
    EXPECT_EQ(Le16(b, 66), 6u);  // the even line length
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 68, b.begin() + 128), std::vector<uint8_t>(60, 0));
    if (bpp == 8) {
      const size_t tail = b.size() - 769;
      EXPECT_EQ(b[tail], 12);
      for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(b[tail + 1 + 3 * i], img.palette[i][2]);
        EXPECT_EQ(b[tail + 3 + 3 * i], img.palette[i][0]);
      }
    }
    ImgFree(img);
  }
}

TEST_F(PcxTest, RunLimitsAndTheHighBytePrefix) {
  struct Case {
    std::vector<uint32_t> row;
    std::vector<uint8_t> coded;
  };
  const Case cases[] = {
      // 300 equal bytes: runs of 63, 63, 63, 63 and 48.
      {std::vector<uint32_t>(300, 7), {255, 7, 255, 7, 255, 7, 255, 7, 240, 7}},
      // One byte of 200 is a run of one; the odd width adds a literal 0.
      {{200}, {193, 200, 0}},
      {{191}, {191, 0}},
      {{192, 192}, {194, 192}},
      {{1, 2, 2, 3}, {1, 194, 2, 3}},
      // A run of exactly 63, then one more of the same value.
      {std::vector<uint32_t>(64, 9), {255, 9, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.row.size() << " bytes from " << c.row[0]);
    Qimg img;
    test::MakeFrom(img, int32_t(c.row.size()), 1, 8, c.row);
    EXPECT_EQ(CodedBytes(img), c.coded);
    Qimg back;
    ASSERT_EQ(Try([&] { PCXLoad_(Path("out.pcx"), back); }), kOk);
    EXPECT_TRUE(test::SameImage(img, back));
    ImgFree(img);
    ImgFree(back);
  }
}

TEST_F(PcxTest, OddWidthLinesArePaddedAndComeBackWhole) {
  Qimg img, back;
  test::MakeFrom(img, 5, 2, 8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  const auto b = SaveBytes(img);
  EXPECT_EQ(Le16(b, 66), 6u);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 128, b.end() - 769),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 0, 6, 7, 8, 9, 10, 0}));
  ASSERT_EQ(Try([&] { PCXLoad_(Path("out.pcx"), back); }), kOk);
  EXPECT_EQ(back.width, 5);
  EXPECT_TRUE(test::SameImage(img, back));
  ImgFree(img);
  ImgFree(back);
}

TEST_F(PcxTest, TrueColourRowsAreRedGreenBluePlanes) {
  Qimg img;
  // Even width: the planes of a row form one stream, so a run may cross them.
  test::MakeFrom(img, 2, 1, 24, {0x030201, 0x060504});
  EXPECT_EQ(CodedBytes(img), (std::vector<uint8_t>{3, 6, 2, 5, 1, 4}));
  ImgFree(img);
  test::MakeFrom(img, 2, 1, 24, {0x090909, 0x090909});
  EXPECT_EQ(CodedBytes(img), (std::vector<uint8_t>{198, 9}));
  ImgFree(img);
  // Odd width: every plane is padded to the even line length.
  test::MakeFrom(img, 1, 1, 24, {0xC80201});
  EXPECT_EQ(CodedBytes(img), (std::vector<uint8_t>{193, 200, 0, 2, 0, 1, 0}));
  ImgFree(img);
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
        ImgFree(img);
        ImgFree(back);
      }
    }
  }
}

TEST_F(PcxTest, DecodingRunsLinesAndTruncation) {
  Qimg img;
  // A run crosses the end of the first line (line length 2 for width 2).
  ASSERT_EQ(LoadBytes(PcxBytes({.xmax = 1, .ymax = 1}, {195, 4, 5}, true), img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{4, 4, 4, 5}));
  EXPECT_EQ(img.palette[3][2], 3);
  EXPECT_EQ(img.palette[3][1], 252);
  EXPECT_EQ(img.palette[3][0], 7);
  ImgFree(img);

  // A run longer than the picture stops at its end; a run of length zero writes nothing.
  ASSERT_EQ(LoadBytes(PcxBytes({.xmax = 1, .ymax = 1}, {192, 9, 255, 6}, true), img), kOk);
  EXPECT_EQ(test::Pixels(img), std::vector<uint32_t>(4, 6));
  ImgFree(img);

  // Lines longer than the even width: the extra bytes are skipped.
  ASSERT_EQ(LoadBytes(PcxBytes({.xmax = 2, .ymax = 1, .bytesPerLine = 5}, {1, 2, 3, 0, 0, 4, 5, 6, 0, 0}, true), img),
            kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
  ImgFree(img);

  // A line length shorter than the width is taken as the even width.
  ASSERT_EQ(LoadBytes(PcxBytes({.xmax = 2, .ymax = 1, .bytesPerLine = 0}, {1, 2, 3, 0, 4, 5, 6, 0}, true), img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
  ImgFree(img);

  // Planes padded one by one, as other writers store odd widths.
  ASSERT_EQ(LoadBytes(PcxBytes({.xmax = 0, .planes = 3, .bytesPerLine = 2}, {3, 0, 2, 0, 1, 0}, false), img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0x030201}));
  ImgFree(img);

  // Data ending inside the picture (and a run prefix without its value): the rest stays zero.
  ASSERT_EQ(LoadBytes(PcxBytes({.xmax = 1, .ymax = 1}, {1, 2, 3, 200}, true), img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{1, 2, 3, 0}));
  ImgFree(img);
  ASSERT_EQ(LoadBytes(PcxBytes({.xmax = 1, .ymax = 1, .planes = 3}, {9, 9, 8}, false), img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0x090800, 0x090000, 0, 0}));
  ImgFree(img);
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
    EXPECT_EQ(info.format, 2);
    EXPECT_EQ(info.fileSize, int64_t(bytes.size()));
    EXPECT_EQ(info.video.width, c.width);
    EXPECT_EQ(info.video.height, c.height);
    EXPECT_EQ(info.video.bpp, c.bpp);
    EXPECT_EQ(info.video.frames, 1);
    EXPECT_EQ(info.video.hasVideo, c.hasVideo);
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
    Qimg img, back;
    test::MakePattern(img, 7, 3, bpp);
    const std::string path = Path("faults.pcx");
    for (Fault kind : {Fault::Open, Fault::Write, Fault::Alloc}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, save, fault kind " << int(kind));
      test::WriteWholeFile(path, "old");
      EXPECT_GE(stilltest::SweepFaults(
                    kind, kind == Fault::Alloc ? 5 : 6, [&] { PCXSave_(path, img); }, path),
                1);
    }
    ImgFree(img);
    for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, load, fault kind " << int(kind));
      EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { PCXLoad_(path, back); }), 1);
      ImgFree(back);
    }
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
