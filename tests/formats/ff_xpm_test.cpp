// XPM wrappers and unit: exact round trips with few and many colours, hand-written files with
// every colour form, damaged files and failures at every step.
#include "formats/ff_xpm.h"

#include <gtest/gtest.h>

#include <tuple>

#include <cstdio>
#include <iterator>

#include "formats/still_test_util.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::kOk;
using stilltest::Outcome;
using stilltest::Try;

class XpmTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("xpm");
  }
  void TearDown() override {
    WarnClear();
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  Outcome LoadText(const std::string& text, Qimg& img) {
    test::WriteWholeFile(Path("in.xpm"), text);
    return Try([&] { XPMLoad(Path("in.xpm"), img); });
  }

  std::string dir_;
};

// The characters per pixel of a written file, from its values line.
int32_t WrittenCpp(const std::string& text) {
  const size_t q = text.find('"');
  int w = 0, h = 0, n = 0, cpp = 0;
  std::sscanf(text.c_str() + q + 1, "%d %d %d %d", &w, &h, &n, &cpp);
  return cpp;
}

TEST_F(XpmTest, RoundTripsWithFewAndManyColours) {
  struct Case {
    int32_t width, height, bpp, cpp;
  };
  // 8-bit pictures have at most 256 colours (two characters); noise at 24 bits needs three.
  for (const Case c :
       {Case{7, 5, 8, 1}, Case{40, 30, 8, 2}, Case{100, 70, 24, 3}, Case{9, 4, 15, 1}, Case{9, 4, 32, 1}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.bpp);
    Qimg img, back, expected;
    test::MakePattern(img, c.width, c.height, c.bpp, 11);
    if (c.bpp == 8 && c.cpp == 1) {
      for (int32_t i = 0; i < img.size; ++i) img.data[i] &= 31;  // 32 colours fit one character
    }
    ASSERT_EQ(Try([&] { XPMSave(Path("out.xpm"), img); }), kOk);
    const std::string text = test::ReadWholeFile(Path("out.xpm"));
    EXPECT_EQ(text.rfind("/* XPM */", 0), 0u);
    if (c.bpp != 15 && c.bpp != 32) {
      EXPECT_EQ(WrittenCpp(text), c.cpp);
    }
    ASSERT_EQ(Try([&] { XPMLoad(Path("out.xpm"), back); }), kOk);
    ImgCopy(img, expected);
    ImgConvBpp(expected, expected, 24);
    EXPECT_TRUE(test::SameImage(expected, back));
    ImgFree(img);
    ImgFree(back);
    ImgFree(expected);
  }
}

TEST_F(XpmTest, EveryColourForm) {
  struct Case {
    const char* entry;  // what follows the pixel code on a colour line
    uint32_t rgb;
  };
  // One digit a channel gives the high bits, as X11 reads it; three and four digits are a fraction
  // of their largest value, rounded (F321 is 242.18, not its high byte F3).
  const Case cases[] = {
      {"c red", 0xFF0000},
      {"c Light Blue", 0xADD8E6},
      {"c gray50", 0x7F7F7F},
      {"c GREY100", 0xFFFFFF},
      {"c #F0A", 0xF000A0},
      {"c #0a0B0c", 0x0A0B0C},
      {"c #AB0FFF000", 0xAAFF00},
      {"c #FFFFF321F321", 0xFFF2F2},
      {"c #123456789ABC", 0x12569A},
      {"c None", 0x000000},
      {"m white", 0xFFFFFF},
      {"s bg g4 #808080", 0x808080},
      {"g #404040 m black", 0x404040},
      {"m black c #0000FF", 0x0000FF},
      {"c c", 0x000000},
  };
  const int32_t count = int32_t(std::size(cases));
  // Two characters a pixel, the first a space, as ImageMagick writes them.
  std::string text = "/* XPM */\n/* \"quotes\" in a comment */\nstatic const char *pic[] = {\n/* values */\n\"" +
                     std::to_string(count) + " 1 " + std::to_string(count) + " 2 0 0\",\n";
  std::string row;
  for (int32_t i = 0; i < count; ++i) {
    const std::string code = std::string(" ") + char('A' + i);
    text += "\"" + code + "\t" + cases[i].entry + "\", /* entry */\n";
    row += code;
  }
  text += "\"" + row + "\"\n};\n";
  Qimg img;
  ASSERT_EQ(LoadText(text, img), kOk);
  EXPECT_EQ(img.bpp, 24);
  const std::vector<uint32_t> pixels = test::Pixels(img);
  for (int32_t i = 0; i < count && i < int32_t(pixels.size()); ++i)
    EXPECT_EQ(pixels[size_t(i)], cases[i].rgb) << cases[i].entry;
  // "c c" names a colour "c", which no table holds.
  EXPECT_EQ(WarnLastMessage(), "Unknown colour \"c\" read as black");
  ImgFree(img);
  WarnClear();

  // The line form, with carriage returns.
  ASSERT_EQ(LoadText("! XPM2\r\n2 1 2 1\r\na c #010203\r\nb c blue\r\nab\r\n", img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0x010203, 0x0000FF}));
  EXPECT_TRUE(WarnNone());
  ImgFree(img);

  // A name outside the table is black, with a warning naming the first one.
  ASSERT_EQ(LoadText("/* XPM */\nstatic char *p[] = {\n\"2 1 2 1\",\n\"a c red3\",\n\"b c bogus\",\n\"ab\"};\n", img),
            kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0, 0}));
  EXPECT_EQ(WarnCategory(), 1);
  EXPECT_EQ(WarnLastMessage(), "Unknown colour \"red3\" read as black");
  ImgFree(img);
}

TEST_F(XpmTest, InfoAndTheWrappers) {
  test::WriteWholeFile(Path("i.xpm"),
                       "/* XPM */\nstatic char *p[] = {\n\"3 2 1 1\",\n\"a c red\",\n\"aaa\",\n\"aaa\"};\n");
  QffInfo info;
  ASSERT_EQ(Try([&] { XPMInfo(Path("i.xpm"), info); }), kOk);
  EXPECT_EQ(stilltest::Still(info),
            (stilltest::StillFields{17, int64_t(test::ReadWholeFile(Path("i.xpm")).size()), 3, 2, 24}));
  EXPECT_EQ(info.video.videoReadable, RF_TRUE);

  // Without pixels only the size; with pixels for another size, a refusal.
  QXpmDesc desc;
  int result = -1;
  ASSERT_EQ(Try([&] { result = ReadXpm(Path("i.xpm"), desc); }), kOk);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(desc.width, 3);
  EXPECT_EQ(desc.height, 2);
  std::vector<uint8_t> pixels(18, 0xEE);
  desc.pixels = pixels.data();
  desc.width = 2;
  ASSERT_EQ(Try([&] { result = ReadXpm(Path("i.xpm"), desc); }), kOk);
  EXPECT_NE(result, 0);
  EXPECT_EQ(pixels, std::vector<uint8_t>(18, 0xEE));
  desc.width = 3;
  ASSERT_EQ(Try([&] { result = ReadXpm(Path("i.xpm"), desc); }), kOk);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(pixels[2], 0xFF);
  QXpmDesc none;
  ASSERT_EQ(Try([&] { result = WriteXpm(Path("none.xpm"), none); }), kOk);
  EXPECT_NE(result, 0);
  EXPECT_FALSE(kernel::FileExists(Path("none.xpm")));
}

TEST_F(XpmTest, DamagedFilesGiveTheirErrors) {
  const std::string head = "/* XPM */\nstatic char *p[] = {\n";
  struct Case {
    const char* name;
    std::string text;
    Outcome info;
  };
  const Case cases[] = {
      {"empty", "", {7, 8}},
      {"not_xpm", "P6\n3 2\n255\n", {7, 8}},
      {"no_values", head + "};\n", {7, 8}},
      {"letters", head + "\"3 x 1 1\",\n};\n", {7, 8}},
      {"no_header", "static char *p[] = {\n\"1 1 1 1\",\n\"a c red\",\n\"a\"};\n", {7, 8}},
      {"open_comment", "/* XPM", {7, 8}},
      // Sizes that the text cannot hold are refused before anything is sized by them.
      {"huge", head + "\"65535 65535 1 1\",\n\"a c red\",\n\"a\"};\n", {7, 8}},
      {"beyond_32_bits", head + "\"4294967296 1 1 1\",\n\"a c red\",\n\"a\"};\n", {7, 8}},
      {"no_colours", head + "\"1 1 0 1\",\n\"a\"};\n", {7, 8}},
      {"no_characters", head + "\"1 1 1 0\",\n\"c red\",\n\"\"};\n", {7, 8}},
      {"many_colours", head + "\"1 1 99999999 1\",\n\"a c red\",\n\"a\"};\n", {7, 8}},
      {"short_rows", head + "\"4 2 1 1\",\n\"a c red\",\n\"aaaa\",\n\"aa\"};\n", {7, 8}},
      // A colour line must give each key once and a value for it, and nothing before the first key.
      {"key_twice", head + "\"1 1 1 1\",\n\"a c red c blue\",\n\"a\"};\n", {7, 8}},
      {"key_without_value", head + "\"1 1 1 1\",\n\"a m black c\",\n\"a\"};\n", {7, 8}},
      {"value_without_key", head + "\"1 1 1 1\",\n\"a red\",\n\"a\"};\n", {7, 8}},
      {"symbol_only", head + "\"1 1 1 1\",\n\"a s background\",\n\"a\"};\n", {7, 8}},
      {"open_string", head + "\"1 1 1 1\",\n\"a c red\",\n\"a};\n", {7, 8}},
      {"missing_row", head + "\"1 2 1 1\",\n\"a c red\",\n\"a\"};\n", {7, 8}},
      {"short_colour_line", head + "\"1 1 1 3\",\n\"a\",\n\"aaa\"};\n", {7, 8}},
      {"unknown_pixel", head + "\"2 1 1 1\",\n\"a c red\",\n\"ab\"};\n", {7, 8}},
      {"wide", head + "\"70000 1 1 1\",\n\"a c red\",\n\"" + std::string(70000, 'a') + "\"};\n", {7, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string(c.name) + ".xpm");
    test::WriteWholeFile(path, c.text);
    QffInfo info;
    EXPECT_EQ(Try([&] { XPMInfo(path, info); }), c.info);
    Qimg img;
    EXPECT_EQ(Try([&] { XPMLoad(path, img); }), c.info);
    EXPECT_FALSE(ImgValid(img));
  }
  Qimg img;
  EXPECT_EQ(Try([&] { XPMLoad(Path("missing.xpm"), img); }), (Outcome{6, 1}));
  EXPECT_EQ(Try([&] { XPMSave(Path("bad.xpm"), img); }), (Outcome{7, 2})) << "an empty picture";
}

TEST_F(XpmTest, FailuresLeaveNothingBehind) {
  for (int32_t bpp : {8, 24}) {
    SCOPED_TRACE(testing::Message() << bpp << " bits");
    Qimg src, img;
    test::MakePattern(src, 30, 20, bpp);
    const std::string path = Path("sweep.xpm");
    for (Fault kind : {Fault::Open, Fault::Write, Fault::Alloc}) {
      std::remove(path.c_str());
      EXPECT_GE(stilltest::SweepFaults(
                    kind, kind == Fault::Alloc ? 5 : 6, [&] { XPMSave(path, src); }, path),
                1);
    }
    ASSERT_EQ(Try([&] { XPMSave(path, src); }), kOk);
    for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc}) {
      EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { XPMLoad(path, img); }), 1);
      ImgFree(img);
    }
    ImgFree(src);
  }
}

}  // namespace
}  // namespace rf
