// PNM reader and writer: written files byte by byte, tokens and comments, the sample shift,
// the size limits, damaged files and failures at every step.
#include "formats/ff_pnm.h"

#include <gtest/gtest.h>

#include <tuple>

#include "formats/still_test_util.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::kOk;
using stilltest::Outcome;
using stilltest::Try;

class PnmTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("pnm");
  }
  void TearDown() override {
    PNMSetEncoding(0);
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string SaveText(const Qimg& img, int32_t encoding, const std::string& name = "out.ppm") {
    PNMSetEncoding(encoding);
    EXPECT_EQ(Try([&] { PNMSave(Path(name), img); }), kOk);
    return test::ReadWholeFile(Path(name));
  }
  Outcome Load(const std::string& bytes, Qimg& img) {
    test::WriteWholeFile(Path("in.pnm"), bytes);
    return Try([&] { PNMLoad(Path("in.pnm"), img); });
  }
  // The loaded picture's samples, grey or red-green-blue, in file order.
  static std::vector<int> Samples(const Qimg& img) {
    std::vector<int> v;
    for (int32_t i = 0; i < img.width * img.height; ++i) {
      const uint8_t* p = img.data + size_t(i) * img.bytesPerPixel;
      if (img.bpp == 8)
        v.push_back(p[0]);
      else
        v.insert(v.end(), {p[2], p[1], p[0]});
    }
    return v;
  }

  std::string dir_;
};

// A 4 x 4 grey text map whose samples are 0 ... 15 after the given header part.
std::string Grey16(const std::string& head) {
  std::string s = head;
  for (int i = 0; i < 16; ++i) s += std::to_string(i) + (i % 4 == 3 ? "\n" : " ");
  return s;
}

TEST_F(PnmTest, WrittenBytesOfBothEncodings) {
  Qimg img;
  test::MakeFrom(img, 2, 1, 24, {0x000764, 0xFF0A09});
  EXPECT_EQ(SaveText(img, 0), std::string("P6\n2 1\n255\n") + std::string("\x00\x07\x64\xFF\x0A\x09", 6));
  EXPECT_EQ(SaveText(img, 1), "P3\n2 1\n255\n0\n7\n100\n255\n10\n9\n");
  // Any value but 1 means binary.
  EXPECT_EQ(SaveText(img, 2).substr(0, 2), "P6");
  ImgFree(img);
}

TEST_F(PnmTest, RoundTripsAtEveryDepthThroughTheBuffers) {
  for (int32_t bpp : {8, 15, 16, 24, 32}) {
    for (int32_t encoding : {0, 1}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, encoding " << encoding);
      Qimg img, want, back;
      // Large enough that reading and writing both go through several buffer fills.
      test::MakePattern(img, 64, 48, bpp, uint32_t(bpp));
      ImgConvBpp(img, want, 24);
      const std::string text = SaveText(img, encoding);
      EXPECT_GT(text.size(), 2u * 4096);
      ASSERT_EQ(Try([&] { PNMLoad(Path("out.ppm"), back); }), kOk);
      EXPECT_TRUE(test::SameImage(want, back));
      ImgFree(img);
      ImgFree(want);
      ImgFree(back);
    }
  }
}

TEST_F(PnmTest, TokensCommentsBitmapsAndGreyMaps) {
  std::vector<int> ramp, bits = {0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255};
  std::string fours;
  for (int i = 0; i < 16; ++i) ramp.push_back(i * 17);
  for (int i = 0; i < 45; ++i) fours += "4 ";
  struct Case {
    std::string file;
    int32_t bpp;
    std::vector<int> samples;  // the first ones, in file order
  };
  const Case cases[] = {
      // A comment line between width and height, one glued to the width, tabs and carriage returns.
      {Grey16("P2\n4\n# between width and height\n4\n15\n"), 8, ramp},
      {Grey16("P2 #c\n4#glued\n4\t\r15\n"), 8, ramp},
      {Grey16("P2\n4 4\n#\n15\n"), 8, ramp},
      // Comments between samples too.
      {"P3 4 4 255\n1 2 3 # first pixel\n" + fours, 24, {1, 2, 3, 4}},
      // Binary: exactly one blank after the maximum value; a blank and a tab are samples here.
      {"P6 4 4 255\n" + std::string("\x0A\x20\x09", 3) + std::string(45, '\x05'), 24, {10, 32, 9, 5, 5, 5}},
      {"P5\n4 4\n255\n" + std::string(16, '\xC8'), 8, std::vector<int>(16, 200)},
      // Bitmaps: 1 is black; text bits need no blanks between them, binary rows start on a new
      // byte, the highest bit first.
      {"P1 5 4\n1000 0\n# comment\n000001\t1111\n1111\n0", 8, bits},
      {"P1\n5 4 10000000001111111110", 8, bits},
      {"P4 5 4\n" + std::string("\x80\x00\xFF\xF7", 4), 8, bits},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 40));
    Qimg img;
    ASSERT_EQ(Load(c.file, img), kOk);
    EXPECT_EQ(img.bpp, c.bpp);
    const auto got = Samples(img);
    EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + long(c.samples.size())), c.samples);
    EXPECT_EQ(img.palette[77][0], img.bpp == 8 ? 77 : 0);
    EXPECT_EQ(img.palette[77][2], img.bpp == 8 ? 77 : 0);
    ImgFree(img);
  }
}

TEST_F(PnmTest, BufferedReaderStopsAtTheFileEnd) {
  std::string body;
  for (int i = 0; i < 5000; ++i) body += char(i * 7);
  test::WriteWholeFile(Path("raw.pgm"), "P5 100 50 255\n" + body);
  QPNMFile pnm;
  ASSERT_EQ(Try([&] {
              PNMOpen_(pnm, Path("raw.pgm"));
              EXPECT_EQ(pnm.f.dataOffset, 14);
              // More than one buffer fill, asked for past the end.
              std::vector<uint8_t> got(6000, 0xAA);
              EXPECT_EQ(PNMReadBuf_(pnm, got.data(), 6000), 5000);
              EXPECT_EQ(std::string(got.begin(), got.begin() + 5000), body);
              EXPECT_EQ(got[5000], 0xAA);
              EXPECT_EQ(PNMReadBuf_(pnm, got.data(), 1), 0);
              PNMClose_(pnm);
            }),
            kOk);
}

TEST_F(PnmTest, SamplesAreScaledFromTheMaximumValueWithRounding) {
  struct Case {
    int maxValue, sample, want;
  };
  // 127: 64 is 128.5 of 255, rounded up; 65535: 0x12FF is nearer 0x13 than its high byte.
  const Case cases[] = {{15, 15, 255},       {15, 1, 17},           {1, 1, 255},          {1, 0, 0},    {255, 200, 200},
                        {127, 64, 129},      {127, 1, 2},           {63, 32, 130},        {1023, 8, 2}, {15, 40, 255},
                        {65535, 65535, 255}, {65535, 0x12FF, 0x13}, {65535, 0x127F, 0x12}};
  for (const Case& c : cases) {
    for (bool binary : {false, true}) {
      SCOPED_TRACE(testing::Message() << "max " << c.maxValue << " sample " << c.sample << " binary " << binary);
      Qimg img;
      std::string text = (binary ? "P5 4 4 " : "P2 4 4 ") + std::to_string(c.maxValue) + "\n";
      for (int i = 0; i < 16; ++i) {
        if (!binary)
          text += std::to_string(c.sample) + " ";
        else if (c.maxValue > 255)  // two bytes per sample, high byte first
          text += {char(c.sample >> 8), char(c.sample)};
        else
          text += char(c.sample);
      }
      ASSERT_EQ(Load(text, img), kOk);
      EXPECT_EQ(Samples(img), std::vector<int>(16, c.want));
      ImgFree(img);
    }
  }
}

TEST_F(PnmTest, SizeLimitsAndInfo) {
  struct Case {
    std::string head;
    int32_t width, height, bpp, readable;
    const char* compression;
  };
  const Case cases[] = {
      {"P6 4 4 255\n", 4, 4, 24, -1, "Binary encoded"},
      {"P5 4096 4 255\n", 4096, 4, 8, -1, "Binary encoded"},
      {"P3 4 4096 255\n", 4, 4096, 24, -1, "Ascii encoded"},
      {"P2 4 4 15\n", 4, 4, 8, -1, "Ascii encoded"},
      {"P6 3 4 255\n", 3, 4, 24, 0, "Binary encoded"},
      {"P2 4 3 255\n", 4, 3, 8, 0, "Ascii encoded"},
      {"P5 4097 4 255\n", 4097, 4, 8, 0, "Binary encoded"},
      {"P1 8 8\n", 8, 8, 8, -1, "Ascii encoded"},
      {"P4 8 8\n", 8, 8, 8, -1, "Binary encoded"},
      {"P4 2147483647 8\n", 2147483647, 8, 8, 0, "Binary encoded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    test::WriteWholeFile(Path("info.pnm"), c.head + std::string(64, '1'));
    QffInfo info;
    ASSERT_EQ(Try([&] { PNMInfo(Path("info.pnm"), info); }), kOk);
    EXPECT_EQ(stilltest::Still(info),
              (stilltest::StillFields{15, int64_t(c.head.size() + 64), c.width, c.height, c.bpp}));
    EXPECT_EQ(std::tuple(info.video.videoReadable, info.video.compression),
              std::tuple(c.readable, std::string(c.compression)));
    Qimg img;
    if (!c.readable) {
      EXPECT_EQ(Try([&] { PNMLoad(Path("info.pnm"), img); }), (Outcome{7, 1}));
    }
  }
  // The largest accepted sizes load.
  Qimg img;
  ASSERT_EQ(Load("P5 4096 4 255\n" + std::string(4096 * 4, 'x'), img), kOk);
  EXPECT_EQ(img.width, 4096);
  ImgFree(img);
}

TEST_F(PnmTest, DamagedFilesGiveTheirErrors) {
  const std::string bad = test::ScratchDir("bad_pnm");
  struct Case {
    const char* name;
    std::string bytes;
    Outcome info, load;
  };
  const Case cases[] = {
      {"empty.pnm", "", {7, 2}, {7, 2}},
      {"p7.pnm", "P7 4 4 255\n", {7, 2}, {7, 2}},
      {"not_p.pnm", "Q6 4 4 255\n", {7, 2}, {7, 2}},
      {"glued_kind.pnm", "P64 4 255\n", {7, 2}, {7, 2}},
      {"letters.pnm", "P6 four 4 255\n", {7, 2}, {7, 2}},
      {"glued_letters.pnm", "P6 4x 4 255\n", {7, 2}, {7, 2}},
      {"max0.pnm", "P6 4 4 0\n", {7, 2}, {7, 2}},
      {"max70000.pnm", "P6 4 4 70000\n", {7, 2}, {7, 2}},
      {"header_end.pnm", "P6 4 4", {7, 9}, {7, 9}},
      {"comment_to_end.pnm", "P6 4 # no more", {7, 9}, {7, 9}},
      // Sizes past 31 bits are refused, not cut to some other number.
      {"huge_width.pnm", "P6 99999999999999999999 4 255\n", {7, 2}, {7, 2}},
      {"width_2_32.pnm", "P6\n4294967296 13\n255\n", {7, 2}, {7, 2}},
      {"height_2_31.pnm", "P5 4 2147483648 255\n", {7, 2}, {7, 2}},
      {"bitmap_short.pnm", "P4 9 4\n" + std::string(7, 'a'), kOk, {7, 9}},
      {"bitmap_text_digit.pnm", "P1 4 4 0 1 2" + std::string(30, ' '), kOk, {7, 9}},
      {"binary_short.pnm", "P6 4 4 255\n" + std::string(47, 'a'), kOk, {7, 9}},
      {"binary16_short.pnm", "P5 4 4 256\n" + std::string(31, 'a'), kOk, {7, 9}},
      {"text_short.pnm", Grey16("P2 4 4 15\n").substr(0, 30), kOk, {7, 9}},
      {"text_letter.pnm", "P2 4 4 15\n1 2 x 4" + std::string(30, ' '), kOk, {7, 9}},
      {"text_glued.pnm", "P2 4 4 15\n1 2 3- 4" + std::string(30, ' '), kOk, {7, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = bad + "/" + c.name;
    test::WriteWholeFile(path, c.bytes);
    QffInfo info;
    EXPECT_EQ(Try([&] { PNMInfo(path, info); }), c.info);
    Qimg img;
    EXPECT_EQ(Try([&] { PNMLoad(path, img); }), c.load);
    EXPECT_FALSE(ImgValid(img));
  }
}

TEST_F(PnmTest, FailuresLeaveNothingBehind) {
  Qimg src;
  test::MakePattern(src, 40, 40, 24);
  for (int32_t encoding : {0, 1}) {
    SCOPED_TRACE(encoding);
    SaveText(src, encoding, "in.ppm");
    Qimg img;
    for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc})
      EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { PNMLoad(Path("in.ppm"), img); }), 1);
    ImgFree(img);
    const std::string path = Path("fail.ppm");
    for (Fault kind : {Fault::Open, Fault::Write}) {
      test::WriteWholeFile(path, "old");
      EXPECT_GE(stilltest::SweepFaults(
                    kind, 6, [&] { PNMSave(path, src); }, path),
                1);
    }
  }
  Qimg grey;
  test::MakePattern(grey, 5, 5, 8);
  test::WriteWholeFile(Path("conv.ppm"), "old");
  EXPECT_GE(stilltest::SweepFaults(
                Fault::Alloc, 5, [&] { PNMSave(Path("conv.ppm"), grey); }, Path("conv.ppm")),
            1);
  ImgFree(grey);
  ImgFree(src);
}

}  // namespace
}  // namespace rf
