// SGI reader and writer: written headers, planes and run-length rows byte by byte, channel
// placement and row order of every variant read, damaged files and failures at every step.
#include "formats/ff_sgi.h"

#include <gtest/gtest.h>

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

uint32_t Be16(const std::vector<uint8_t>& b, size_t at) { return uint32_t(b.at(at) << 8 | b.at(at + 1)); }
uint32_t Be32(const std::vector<uint8_t>& b, size_t at) { return Be16(b, at) << 16 | Be16(b, at + 2); }

struct SgiHead {
  int magic = 474, storage = 0, bpc = 1, dimension = 3, x = 1, y = 1, z = 3, colorMap = 0;
};

// A 512-byte header followed by rest.
std::vector<uint8_t> SgiBytes(const SgiHead& h, const std::vector<uint8_t>& rest) {
  ByteWriter w;
  w.u16be(h.magic);
  w.u8(h.storage);
  w.u8(h.bpc);
  w.u16be(h.dimension);
  w.u16be(h.x);
  w.u16be(h.y);
  w.u16be(h.z);
  w.u32be(0);
  w.u32be(255);
  w.fill(0, 104 - w.size());
  w.u32be(h.colorMap);
  w.fill(0, 512 - w.size());
  w.write(rest.data(), rest.size());
  return w.bytes();
}

// Run-length rows given as (channel-major) coded byte strings, with their tables before them.
std::vector<uint8_t> SgiCoded(SgiHead h, const std::vector<std::vector<uint8_t>>& rows) {
  h.storage = 1;
  ByteWriter tables;
  uint32_t at = uint32_t(512 + rows.size() * 8);
  for (const auto& r : rows) {
    tables.u32be(at);
    at += uint32_t(r.size());
  }
  for (const auto& r : rows) tables.u32be(uint32_t(r.size()));
  std::vector<uint8_t> rest = tables.bytes();
  for (const auto& r : rows) rest.insert(rest.end(), r.begin(), r.end());
  return SgiBytes(h, rest);
}

class SgiTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("sgi");
  }
  void TearDown() override {
    SGISetCompression(1);
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::vector<uint8_t> SaveBytes(const Qimg& img, int32_t compression, const std::string& name = "out.sgi") {
    SGISetCompression(compression);
    EXPECT_EQ(Try([&] { SGISave(Path(name), img); }), kOk);
    return FileBytes(Path(name));
  }
  // Loads bytes written to a file; the outcome is checked by the caller.
  Outcome LoadBytes(const std::vector<uint8_t>& bytes, Qimg& img) {
    PutFile(Path("in.sgi"), bytes);
    return Try([&] { SGILoad(Path("in.sgi"), img); });
  }

  std::string dir_;
};

TEST_F(SgiTest, WrittenHeaderPlanesAndRoundTripsAtEveryDepth) {
  for (int32_t bpp : {8, 15, 16, 24, 32}) {
    for (int32_t coded : {0, 1}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, compression " << coded);
      Qimg img, want, back;
      test::MakePattern(img, 5, 3, bpp, uint32_t(bpp));
      ImgConvBpp(img, want, 24);
      const auto b = SaveBytes(img, coded);
      ASSERT_GE(b.size(), 512u);
      EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 512), SgiBytes({.storage = coded, .x = 5, .y = 3}, {}));
      if (!coded) {
        ASSERT_EQ(b.size(), 512u + 5 * 3 * 3);
        // Red plane first, bottom row first; then green, then blue.
        for (int32_t c = 0; c < 3; ++c)
          for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 5; ++x)
              ASSERT_EQ(b[512 + size_t(c * 15 + y * 5 + x)], want.data[((2 - y) * 5 + x) * 3 + (2 - c)])
                  << c << " " << x << "," << y;
      }
      ASSERT_EQ(Try([&] { SGILoad(Path("out.sgi"), back); }), kOk);
      EXPECT_TRUE(test::SameImage(want, back));
      for (Qimg* p : {&img, &want, &back}) ImgFree(*p);
    }
  }
}

TEST_F(SgiTest, CodedRowsAndTables) {
  Qimg img;
  // Red row 7,7,7,7,1,2,3,3: a repeat packet, then a literal that keeps the trailing pair.
  // Green all 0 and blue 9,9 then 8 others.
  std::vector<uint32_t> px;
  const uint8_t red[8] = {7, 7, 7, 7, 1, 2, 3, 3};
  const uint8_t blue[8] = {9, 9, 9, 1, 2, 1, 2, 1};
  for (int i = 0; i < 8; ++i) px.push_back(uint32_t(red[i]) << 16 | blue[i]);
  test::MakeFrom(img, 8, 1, 24, px);
  const auto b = SaveBytes(img, 1);
  const std::vector<uint8_t> rows[3] = {{4, 7, 0x84, 1, 2, 3, 3, 0}, {8, 0, 0}, {3, 9, 0x85, 1, 2, 1, 2, 1, 0}};
  ASSERT_EQ(b.size(), 512u + 24 + 8 + 3 + 9);
  uint32_t at = 512 + 24;
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(Be32(b, 512 + 4 * size_t(c)), at) << "start of channel " << c;
    EXPECT_EQ(Be32(b, 524 + 4 * size_t(c)), rows[c].size()) << "length of channel " << c;
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + at, b.begin() + at + rows[c].size()), rows[c]);
    at += uint32_t(rows[c].size());
  }
  ImgFree(img);

  // 300 equal bytes: packets of 127, 127 and 46; 130 bytes without repeats: literals of 127 and 3.
  std::vector<uint32_t> flat(300, 0x050505), noise(130);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint32_t(i % 2) * 0x010101;
  test::MakeFrom(img, 300, 1, 24, flat);
  auto f = SaveBytes(img, 1);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 536, f.begin() + 543), (std::vector<uint8_t>{127, 5, 127, 5, 46, 5, 0}));
  ImgFree(img);
  test::MakeFrom(img, 130, 1, 24, noise);
  f = SaveBytes(img, 1);
  EXPECT_EQ(Be32(f, 524), 133u);
  EXPECT_EQ(f[536], 128 + 127);
  EXPECT_EQ(f[536 + 128], 128 + 3);
  EXPECT_EQ(f[536 + 132], 0);
  ImgFree(img);

  // Rows are tabled channel by channel, bottom row first.
  test::MakeFrom(img, 1, 2, 24, {0x010203, 0x040506});
  f = SaveBytes(img, 1);
  ASSERT_EQ(f.size(), 512u + 48 + 6 * 3);
  const uint8_t want[] = {0x81, 4, 0, 0x81, 1, 0, 0x81, 5, 0, 0x81, 2, 0, 0x81, 6, 0, 0x81, 3, 0};
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 560, f.end()), std::vector<uint8_t>(want, want + 18));
  ImgFree(img);
}

TEST_F(SgiTest, ChannelPlacementRowOrderAndDamagedRuns) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    int32_t bpp;
    std::vector<uint32_t> pixels;
  } cases[] = {
      {"one channel, bottom row first", SgiBytes({.x = 2, .y = 2, .z = 1}, {1, 2, 3, 4}), 8, {3, 4, 1, 2}},
      {"grey with alpha: the alpha is dropped", SgiBytes({.x = 2, .y = 1, .z = 2}, {10, 20, 99, 98}), 8, {10, 20}},
      {"red, green, blue into bytes 2, 1, 0, alpha into 3",
       SgiBytes({.x = 1, .y = 1, .z = 4}, {0x11, 0x22, 0x33, 0x44}),
       32,
       {0x44112233}},
      {"coded rows, the first stored row the bottom one",
       SgiCoded({.x = 2, .y = 2, .z = 3},
                {{2, 1, 0}, {0x82, 3, 4, 0}, {2, 5, 0}, {2, 6, 0}, {2, 7, 0}, {0x82, 8, 9, 0}}),
       24,
       {0x030608, 0x040609, 0x010507, 0x010507}},
      {"dimension 1: one row of one channel",
       SgiBytes({.dimension = 1, .x = 3, .y = 7, .z = 3}, {1, 2, 3}),
       8,
       {1, 2, 3}},
      {"dimension 2: one channel", SgiBytes({.dimension = 2, .x = 1, .y = 2, .z = 3}, {1, 2}), 8, {2, 1}},
      {"a repeat past the row's end, a literal past the data's end",
       SgiCoded({.x = 3, .y = 2, .z = 1}, {{100, 7, 0}, {0x85, 1}}),
       8,
       {1, 0, 0, 7, 7, 7}},
      {"rows without an end mark or bytes leave zeros",
       SgiCoded({.x = 2, .y = 2, .z = 1}, {{}, {1, 5}}),
       8,
       {5, 0, 0, 0}},
      {"a repeat without its value", SgiCoded({.x = 2, .y = 1, .z = 1}, {{0x81, 4, 2}}), 8, {4, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Qimg img;
    ASSERT_EQ(LoadBytes(c.bytes, img), kOk);
    EXPECT_EQ(img.bpp, c.bpp);
    EXPECT_EQ(test::Pixels(img), c.pixels);
    if (c.bpp == 8) {
      EXPECT_EQ(img.palette[200][0] + img.palette[200][2], 400) << "a grey palette";
    }
    ImgFree(img);
  }
}

TEST_F(SgiTest, InfoReportsSupportDepthAndCompression) {
  struct Case {
    SgiHead head;
    int32_t bpp, readable;
    const char* compression;
  };
  const Case cases[] = {
      {{.x = 4, .y = 3, .z = 3}, 24, -1, ""},
      {{.storage = 1, .x = 4, .y = 3, .z = 4}, 32, -1, "Run Length Encoding (RLE)"},
      {{.x = 4, .y = 3, .z = 1}, 8, -1, ""},
      {{.x = 4, .y = 3, .z = 2}, 8, -1, ""},
      {{.bpc = 2, .x = 4, .y = 3, .z = 3}, 24, 0, ""},
      {{.storage = 2, .x = 4, .y = 3, .z = 3}, 24, 0, ""},
      {{.x = 4, .y = 3, .z = 5}, 40, 0, ""},
      {{.dimension = 4, .x = 4, .y = 3, .z = 3}, 0, 0, ""},
      {{.x = 4, .y = 3, .z = 3, .colorMap = 1}, 24, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "storage " << c.head.storage << " bpc " << c.head.bpc << " dim "
                                    << c.head.dimension << " z " << c.head.z << " map " << c.head.colorMap);
    const auto bytes = SgiBytes(c.head, std::vector<uint8_t>(64, 0));
    PutFile(Path("info.sgi"), bytes);
    QffInfo info;
    ASSERT_EQ(Try([&] { SGIInfo(Path("info.sgi"), info); }), kOk);
    EXPECT_EQ(stilltest::Still(info), (stilltest::StillFields{13, int64_t(bytes.size()), 4, 3, c.bpp}));
    EXPECT_EQ(info.video.videoReadable, c.readable);
    EXPECT_EQ(info.video.compression, c.compression);
  }
}

TEST_F(SgiTest, DamagedFilesGiveTheirErrors) {
  const std::string bad = test::ScratchDir("bad_sgi");
  const std::vector<uint8_t> plain = SgiBytes({}, {});
  std::vector<uint8_t> shortTables = SgiBytes({.storage = 1, .x = 2, .y = 2, .z = 3}, std::vector<uint8_t>(47, 0));
  auto pastEnd = SgiCoded({.x = 2, .y = 1, .z = 1}, {{0x82, 1, 2, 0}});
  pastEnd[512 + 3] = 0xF0;  // the row starts beyond the file
  auto longRow = SgiCoded({.x = 2, .y = 1, .z = 1}, {{0x82, 1, 2, 0}});
  longRow[512 + 7] = 5;  // the row claims five bytes, only four are there
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Outcome info, load;
  };
  const Case cases[] = {
      {"magic.sgi", SgiBytes({.magic = 0x1DB}, {1, 2, 3}), {7, 2}, {7, 2}},
      {"two_byte_channels.sgi", SgiBytes({.bpc = 2, .z = 1}, {0, 1}), kOk, {7, 1}},
      {"five_channels.sgi", SgiBytes({.z = 5}, {1, 2, 3, 4, 5}), kOk, {7, 1}},
      {"dimension0.sgi", SgiBytes({.dimension = 0}, {1, 2, 3}), kOk, {7, 1}},
      {"colour_map.sgi", SgiBytes({.z = 1, .colorMap = 3}, {1}), kOk, {7, 1}},
      {"storage2.sgi", SgiBytes({.storage = 2}, {1, 2, 3}), kOk, {7, 1}},
      {"short_header.sgi", std::vector<uint8_t>(plain.begin(), plain.begin() + 100), {6, 3}, {6, 3}},
      {"zero_width.sgi", SgiBytes({.x = 0}, {}), kOk, {7, 2}},
      {"truncated_planes.sgi", SgiBytes({.x = 2, .y = 2, .z = 3}, std::vector<uint8_t>(11, 1)), kOk, {7, 9}},
      {"tables_past_end.sgi", shortTables, kOk, {7, 9}},
      {"row_past_end.sgi", pastEnd, kOk, {7, 9}},
      {"row_length_past_end.sgi", longRow, kOk, {7, 9}},
      {"huge_coded.sgi", SgiCoded({.x = 65535, .y = 65535, .z = 4}, {{0}}), kOk, {7, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = bad + "/" + c.name;
    PutFile(path, c.bytes);
    QffInfo info;
    EXPECT_EQ(Try([&] { SGIInfo(path, info); }), c.info);
    Qimg img;
    EXPECT_EQ(Try([&] { SGILoad(path, img); }), c.load);
    EXPECT_FALSE(ImgValid(img));
  }
  Qimg img;
  EXPECT_EQ(Try([&] { SGILoad(bad + "/missing.sgi", img); }), (Outcome{6, 1}));
}

TEST_F(SgiTest, PicturesTheHeaderCannotHoldAreRefused) {
  Qimg wide;
  test::MakePattern(wide, 65536, 1, 8);
  EXPECT_EQ(Try([&] { SGISave(Path("wide.sgi"), wide); }), (Outcome{7, 1}));
  EXPECT_FALSE(kernel::FileExists(Path("wide.sgi")));
  ImgFree(wide);
  Qimg empty;
  EXPECT_EQ(Try([&] { SGISave(Path("empty.sgi"), empty); }), (Outcome{7, 2}));
}

TEST_F(SgiTest, FailuresLeaveNothingBehind) {
  Qimg src, img, grey;
  test::MakePattern(src, 6, 4, 24);
  for (int32_t coded : {0, 1}) {
    SCOPED_TRACE(coded);
    SaveBytes(src, coded, "in.sgi");
    stilltest::SweepLoadAndSave([&] { SGILoad(Path("in.sgi"), img); }, [&] { SGISave(Path("fail.sgi"), src); },
                                Path("fail.sgi"));
  }
  // A picture that needs converting first fails cleanly as well.
  test::MakePattern(grey, 3, 3, 8);
  EXPECT_GE(stilltest::SweepFaults(
                Fault::Alloc, 5, [&] { SGISave(Path("conv.sgi"), grey); }, Path("conv.sgi")),
            2);
  for (Qimg* p : {&src, &img, &grey}) ImgFree(*p);
}

}  // namespace
}  // namespace rf
