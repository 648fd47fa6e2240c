// XPM wrappers and unit: exact round trips with few and many colours, hand-written files with
// every colour form, damaged files and failures at every step.
#include "formats/ff_xpm.h"

#include <gtest/gtest.h>

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
  Qimg img;
  const std::string text =
      "/* XPM */\n"
      "/* a comment with \"quotes\" before the values */\n"
      "static char *pic[] = {\n"
      "/* columns rows colors chars-per-pixel */\n"
      "\"8 1 8 1\",\n"
      "\"a c red\",\n"
      "\"b c Light Blue\",\n"
      "\"c c gray50\",\n"
      "\"d c #F0A\",\n"
      "\"e c #123456789ABC\",\n"
      "\"f c None\",\n"
      "\"g m white\",\n"
      "\"h c grey100\",\n"
      "\"abcdefgh\"\n"
      "};\n";
  ASSERT_EQ(LoadText(text, img), kOk);
  EXPECT_EQ(img.bpp, 24);
  // #F0A takes its digits as the high bits, as X11 does; None is black; a mono-only entry is used.
  EXPECT_EQ(test::Pixels(img),
            (std::vector<uint32_t>{0xFF0000, 0xADD8E6, 0x7F7F7F, 0xF000A0, 0x12569A, 0x000000, 0xFFFFFF, 0xFFFFFF}));
  EXPECT_TRUE(WarnNone());
  ImgFree(img);

  // The second layout libXpm reads.
  ASSERT_EQ(LoadText("! XPM2\n2 1 2 1\na c #010203\nb c blue\nab\n", img), kOk);
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0x010203, 0x0000FF}));
  ImgFree(img);

  // A name outside the table is black, with a warning.
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
  EXPECT_EQ(info.format, 17);
  EXPECT_EQ(info.fileSize, int64_t(test::ReadWholeFile(Path("i.xpm")).size()));
  EXPECT_EQ(info.video.width, 3);
  EXPECT_EQ(info.video.height, 2);
  EXPECT_EQ(info.video.bpp, 24);
  EXPECT_EQ(info.video.bytesPerPixel, 3);
  EXPECT_EQ(info.video.frames, 1);
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
      // Sizes that the text cannot hold are refused before libXpm allocates for them.
      {"huge", head + "\"65535 65535 1 1\",\n\"a c red\",\n\"a\"};\n", {7, 8}},
      {"many_colours", head + "\"1 1 99999999 1\",\n\"a c red\",\n\"a\"};\n", {7, 8}},
      {"short_rows", head + "\"4 2 1 1\",\n\"a c red\",\n\"aaaa\",\n\"aa\"};\n", {7, 8}},
      // libXpm would lose the first value of a key given twice.
      {"key_twice", head + "\"1 1 1 1\",\n\"a c red c blue\",\n\"a\"};\n", {7, 8}},
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
      test::WriteWholeFile(path, "old");
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
