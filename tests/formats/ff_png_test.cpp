// PNG reader and writer: hand-built files of every colour type and depth, written headers,
// libpng's errors and warnings in the registers, and failures at every step.
#include "formats/ff_png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "formats/ffdesc.h"
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

const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 | uint32_t(b.at(at + 2)) << 8 | b.at(at + 3);
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data, bool goodCrc = true) {
  const uint32_t n = uint32_t(data.size());
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(n >> s));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  uint32_t crc = uint32_t(crc32(0, body.data(), uInt(body.size())));
  if (!goodCrc) crc ^= 1;
  out.insert(out.end(), body.begin(), body.end());
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(crc >> s));
}

struct PngRecipe {
  uint32_t width = 1, height = 1;
  uint8_t depth = 8, colorType = 2;
  std::vector<uint8_t> rows{};  // the raw rows, each without its filter byte
  std::vector<uint8_t> plte{};
  bool goodIhdrCrc = true;
  bool badTextCrc = false;  // adds a tEXt chunk with a wrong checksum
  size_t cutAfter = 0;      // keeps only this many bytes when set
};

std::vector<uint8_t> PngBytes(const PngRecipe& s) {
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  ByteWriter ihdr;
  for (uint32_t v : {s.width, s.height})
    for (int sh = 24; sh >= 0; sh -= 8) ihdr.u8((v >> sh) & 0xFF);
  ihdr.u8(s.depth);
  ihdr.u8(s.colorType);
  ihdr.u8(0);
  ihdr.u8(0);
  ihdr.u8(0);
  PutChunk(out, "IHDR", ihdr.bytes(), s.goodIhdrCrc);
  if (!s.plte.empty()) PutChunk(out, "PLTE", s.plte);
  if (s.badTextCrc) PutChunk(out, "tEXt", {'a', 0, 'b'}, false);
  std::vector<uint8_t> raw;
  const size_t rowBytes = s.height ? s.rows.size() / s.height : 0;
  for (uint32_t y = 0; y < s.height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), s.rows.begin() + long(y * rowBytes), s.rows.begin() + long((y + 1) * rowBytes));
  }
  uLongf size = compressBound(uLong(raw.size()));
  std::vector<uint8_t> z(size);
  compress(z.data(), &size, raw.data(), uLong(raw.size()));
  z.resize(size);
  PutChunk(out, "IDAT", z);
  PutChunk(out, "IEND", {});
  if (s.cutAfter) out.resize(s.cutAfter);
  return out;
}

class PngTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("png");
  }
  void TearDown() override {
    PNGSetLevel(FF_AUTO);
    WarnClear();
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  Outcome Load(const PngRecipe& recipe, Qimg& img) {
    PutFile(Path("in.png"), PngBytes(recipe));
    return Try([&] { PNGLoad(Path("in.png"), img); });
  }

  std::string dir_;
};

TEST_F(PngTest, WrittenFilesAndRoundTripsAtEveryDepth) {
  for (int32_t bpp : {8, 15, 16, 24, 32}) {
    SCOPED_TRACE(testing::Message() << bpp << " bits");
    Qimg img, back, expected;
    test::MakePattern(img, 7, 5, bpp, 3);
    ASSERT_EQ(Try([&] { PNGSave(Path("out.png"), img); }), kOk);
    const auto b = FileBytes(Path("out.png"));
    ASSERT_GE(b.size(), 33u);
    // 8 bits a sample, palette or RGB, not interlaced.
    const auto head = PngBytes({.width = 7, .height = 5, .colorType = uint8_t(bpp == 8 ? 3 : 2)});
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 33), std::vector<uint8_t>(head.begin(), head.begin() + 33));
    if (bpp == 8) {
      EXPECT_EQ(Be32(b, 33), 768u);  // a full 256-entry palette follows the header
      EXPECT_EQ(b[41], img.palette[0][2]) << "the palette is stored red first";
    }
    ASSERT_EQ(Try([&] { PNGLoad(Path("out.png"), back); }), kOk);
    if (bpp == 8) {
      EXPECT_TRUE(test::SameImage(img, back));
      EXPECT_EQ(std::memcmp(img.palette, back.palette, sizeof img.palette), 0);
    } else {
      ImgCopy(img, expected);
      if (bpp != 24) ImgConvBpp(expected, expected, 24);
      EXPECT_TRUE(test::SameImage(expected, back));
    }
    EXPECT_EQ(img.bpp, bpp) << "the caller's picture is left as it was";
    for (Qimg* p : {&img, &back, &expected}) ImgFree(*p);
  }
}

TEST_F(PngTest, CompressionLevelSetting) {
  Qimg img;
  test::MakeFrom(img, 64, 64, 24, std::vector<uint32_t>(64 * 64, 0x405060));
  auto sizeAt = [&](int32_t level) {
    PNGSetLevel(level);
    EXPECT_EQ(Try([&] { PNGSave(Path("l.png"), img); }), kOk);
    return FileBytes(Path("l.png"));
  };
  const auto stored = sizeAt(0), best = sizeAt(9), deflt = sizeAt(7);
  EXPECT_GT(stored.size(), 64u * 64 * 3) << "level 0 stores the rows";
  EXPECT_LT(best.size(), 200u);
  EXPECT_EQ(sizeAt(FF_AUTO), deflt);
  EXPECT_EQ(sizeAt(-5), stored) << "out-of-range levels are clamped";
  EXPECT_EQ(sizeAt(42), best);
  ImgFree(img);
}

TEST_F(PngTest, EveryColourTypeAndDepthLoads) {
  // Grey below 8 bits is unpacked, with a grey palette spread over the levels; 16-bit samples are
  // scaled to the nearest 8-bit level; alpha is dropped; colour comes in blue-green-red order; a
  // palette keeps the file's entries and leaves the rest black.
  const struct {
    PngRecipe recipe;
    std::vector<uint32_t> pixels;  // indices, or 0xRRGGBB for 24 bits
    int32_t entry;                 // a palette entry (blue, green, red) when the picture has one
    std::vector<uint8_t> colour;
  } cases[] = {
      {{.width = 9, .depth = 1, .colorType = 0, .rows = {0xA5, 0x80}}, {1, 0, 1, 0, 0, 1, 0, 1, 1}, 1, {255, 255, 255}},
      {{.width = 3, .depth = 2, .colorType = 0, .rows = {0x1B}}, {0, 1, 2}, 1, {85, 85, 85}},
      {{.width = 2, .depth = 4, .colorType = 0, .rows = {0xF7}}, {15, 7}, 7, {119, 119, 119}},
      {{.width = 2, .depth = 4, .colorType = 0, .rows = {0xF7}}, {15, 7}, 15, {255, 255, 255}},
      {{.width = 2, .depth = 16, .colorType = 0, .rows = {0x12, 0x80, 0xFF, 0xFF}}, {0x12, 0xFF}, 0x12, {18, 18, 18}},
      {{.width = 2, .depth = 8, .colorType = 4, .rows = {10, 0, 20, 255}}, {10, 20}, 20, {20, 20, 20}},
      {{.width = 1, .rows = {1, 2, 3}}, {0x010203}, 0, {}},
      {{.width = 1, .colorType = 6, .rows = {1, 2, 3, 4}}, {0x010203}, 0, {}},
      {{.width = 1, .depth = 16, .colorType = 2, .rows = {0x10, 0x7F, 0x20, 0x80, 0xFF, 0x00}}, {0x1020FE}, 0, {}},
      {{.width = 2, .depth = 4, .colorType = 3, .rows = {0x10}, .plte = {1, 2, 3, 4, 5, 6}}, {1, 0}, 1, {6, 5, 4}},
      {{.width = 2, .depth = 4, .colorType = 3, .rows = {0x10}, .plte = {1, 2, 3, 4, 5, 6}}, {1, 0}, 2, {0, 0, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << int(c.recipe.depth) << " type " << int(c.recipe.colorType));
    Qimg img;
    ASSERT_EQ(Load(c.recipe, img), kOk);
    stilltest::ExpectDecoded(img, c.pixels, c.entry, c.colour);
    ImgFree(img);
  }
}

TEST_F(PngTest, InfoReportsWhatLoadDelivers) {
  struct Case {
    uint8_t depth, colorType;
    int32_t bpp;
  };
  for (const Case c : {Case{1, 0, 8}, Case{16, 0, 8}, Case{8, 4, 8}, Case{8, 3, 8}, Case{8, 2, 24}, Case{16, 6, 24}}) {
    SCOPED_TRACE(testing::Message() << "depth " << int(c.depth) << " type " << int(c.colorType));
    const size_t channels = c.colorType == 2 ? 3 : c.colorType == 6 ? 4 : c.colorType == 4 ? 2 : 1;
    const auto bytes = PngBytes({.width = 3,
                                 .height = 2,
                                 .depth = c.depth,
                                 .colorType = c.colorType,
                                 .rows = std::vector<uint8_t>(2 * ((3 * channels * c.depth + 7) / 8), 1),
                                 .plte = c.colorType == 3 ? std::vector<uint8_t>(6, 9) : std::vector<uint8_t>{}});
    PutFile(Path("i.png"), bytes);
    QffInfo info;
    ASSERT_EQ(Try([&] { PNGInfo(Path("i.png"), info); }), kOk);
    EXPECT_EQ(stilltest::Still(info), (stilltest::StillFields{9, int64_t(bytes.size()), 3, 2, c.bpp}));
    EXPECT_EQ(info.video.videoReadable, RF_TRUE);
    Qimg img;
    ASSERT_EQ(Try([&] { PNGLoad(Path("i.png"), img); }), kOk);
    EXPECT_EQ(img.bpp, c.bpp);
    ImgFree(img);
  }
}

TEST_F(PngTest, LibraryMessagesReachTheRegisters) {
  Qimg img;
  // A damaged critical chunk is libpng's error, with its text.
  PutFile(Path("crc.png"), PngBytes({.rows = {1, 2, 3}, .goodIhdrCrc = false}));
  GuardedSilent("Test.Png", [&] { PNGLoad(Path("crc.png"), img); });
  EXPECT_EQ(ErrCategory(), 1);
  EXPECT_EQ(ErrLastMessage(), "IHDR: CRC error");
  ErrClear();
  PutFile(Path("zero.png"), PngBytes({.width = 0, .rows = {}}));
  QffInfo info;
  GuardedSilent("Test.Png", [&] { PNGInfo(Path("zero.png"), info); });
  // The detail comes first as a warning, then the error that ends the read.
  EXPECT_EQ(ErrCategory(), 1);
  EXPECT_EQ(ErrLastMessage(), "Invalid IHDR data");
  EXPECT_EQ(WarnCategory(), 1);
  EXPECT_EQ(WarnLastMessage(), "Image width is zero in IHDR");
  ErrClear();
  // A chunk claiming a gigabyte is refused, with a warning, and what follows makes no sense.
  std::vector<uint8_t> huge = PngBytes({.rows = {1, 2, 3}});
  const std::vector<uint8_t> claim = {0x40, 0, 0, 0, 't', 'E', 'X', 't', 'a', 0, 'b'};
  huge.insert(huge.begin() + 33, claim.begin(), claim.end());
  PutFile(Path("huge_chunk.png"), huge);
  GuardedSilent("Test.Png", [&] { PNGInfo(Path("huge_chunk.png"), info); });
  EXPECT_EQ(ErrCategory(), 1);
  EXPECT_EQ(WarnLastMessage(), "tEXt: chunk data is too large");
  ErrClear();
  // A damaged ancillary chunk is only a warning: the picture loads.
  ASSERT_EQ(Load({.rows = {1, 2, 3}, .badTextCrc = true}, img), kOk);
  EXPECT_EQ(WarnCategory(), 1);
  EXPECT_EQ(WarnLastMessage(), "tEXt: CRC error");
  EXPECT_EQ(test::Pixels(img), (std::vector<uint32_t>{0x010203}));
  ImgFree(img);
}

TEST_F(PngTest, DamagedFilesGiveTheirErrors) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Outcome info, load;
  };
  const auto good = PngBytes({.width = 4, .height = 4, .rows = std::vector<uint8_t>(48, 7)});
  std::vector<uint8_t> notPng = good;
  notPng[1] = 'Q';
  std::vector<uint8_t> lateSig = good;
  lateSig[6] = 0;  // passes the first four bytes, fails libpng's own check
  const Case cases[] = {
      {"empty.png", {}, {6, 3}, {6, 3}},
      {"short.png", {137, 80}, {6, 3}, {6, 3}},
      {"not_png.png", notPng, {7, 2}, {7, 2}},
      {"late_sig.png", lateSig, {1, TEXT_ONLY_CODE}, {1, TEXT_ONLY_CODE}},
      {"no_idat.png", std::vector<uint8_t>(good.begin(), good.begin() + 33), {6, 3}, {6, 3}},
      {"cut_idat.png", std::vector<uint8_t>(good.begin(), good.end() - 20), kOk, {6, 3}},
      {"huge.png", PngBytes({.width = 60000, .height = 60000, .depth = 16, .colorType = 6, .rows = {}}), kOk, {7, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PutFile(Path(c.name), c.bytes);
    QffInfo info;
    EXPECT_EQ(Try([&] { PNGInfo(Path(c.name), info); }), c.info);
    Qimg img;
    EXPECT_EQ(Try([&] { PNGLoad(Path(c.name), img); }), c.load);
    EXPECT_FALSE(ImgValid(img));
  }
  Qimg img;
  EXPECT_EQ(Try([&] { PNGLoad(Path("missing.png"), img); }), (Outcome{6, 1}));
  EXPECT_EQ(Try([&] { PNGSave(Path("bad.png"), img); }), (Outcome{7, 2})) << "an empty picture";
  EXPECT_FALSE(kernel::FileExists(Path("bad.png")));
}

TEST_F(PngTest, FailuresLeaveNothingBehind) {
  for (int32_t bpp : {8, 24}) {
    SCOPED_TRACE(testing::Message() << bpp << " bits");
    Qimg src, img;
    test::MakePattern(src, 40, 30, bpp);
    ASSERT_EQ(Try([&] { PNGSave(Path("in.png"), src); }), kOk);
    stilltest::SweepLoadAndSave([&] { PNGLoad(Path("in.png"), img); }, [&] { PNGSave(Path("sweep.png"), src); },
                                Path("sweep.png"));
    for (Qimg* p : {&src, &img}) ImgFree(*p);
  }
}

}  // namespace
}  // namespace rf
