// BAY reader: the exact file size, the trailer, exposure values and mode names, both cell
// layouts, and failures at every step.
#include "formats/ff_bay.h"

#include <gtest/gtest.h>

#include <tuple>

#include "formats/still_test_util.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::kOk;
using stilltest::Outcome;
using stilltest::PutFile;
using stilltest::Try;

// A sensor block whose cell i holds the bytes 4i .. 4i + 3 (mod 256), and the trailer.
std::vector<uint8_t> BayBytes(const char* camera, int colour, int exposure) {
  std::vector<uint8_t> b(BAY_FILE_SIZE, 0);
  for (int32_t i = 0; i < BAY_SENSOR_BYTES; ++i) b[size_t(i)] = uint8_t(i);
  // What follows the trailer is not looked at.
  std::fill(b.begin() + BAY_SENSOR_BYTES + BAY_TRAILER_BYTES, b.end(), 0xEE);
  uint8_t* t = b.data() + BAY_SENSOR_BYTES;
  std::memcpy(t, camera, std::min<size_t>(2, std::strlen(camera)));
  std::memcpy(t + 3, "BAY 2", 5);
  t[8] = uint8_t(colour);
  t[11] = uint8_t(exposure);
  return b;
}

class BayTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("bay");
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Put(const std::vector<uint8_t>& bytes) {
    PutFile(Path("in.bay"), bytes);
    return Path("in.bay");
  }
  std::string dir_;
};

TEST_F(BayTest, ColourCellsFillTheirSquares) {
  auto bytes = BayBytes("EK", 1, 1);
  const uint8_t cell[4] = {10, 20, 30, 40};
  std::memcpy(bytes.data(), cell, 4);
  // Cell 257 is the second cell of the second pair of rows.
  const uint8_t other[4] = {1, 2, 3, 4};
  std::memcpy(bytes.data() + 257 * 4, other, 4);
  Qimg img;
  ASSERT_EQ(Try([&] { BayLoad(Put(bytes), img); }), kOk);
  EXPECT_EQ(std::tuple(img.width, img.height, img.bpp), std::tuple(512, 384, 24));
  // Upper pixels blue 30, green 10, red 20; lower blue 30, green 40, red 20.
  const uint32_t square[] = {test::Pixel(img, 0, 0), test::Pixel(img, 1, 0), test::Pixel(img, 0, 1),
                             test::Pixel(img, 1, 1), test::Pixel(img, 2, 2), test::Pixel(img, 3, 3)};
  EXPECT_EQ(std::vector<uint32_t>(square, square + 6),
            (std::vector<uint32_t>{0x140A1E, 0x140A1E, 0x14281E, 0x14281E, 0x020103, 0x020403}));
  EXPECT_NE(test::Pixel(img, 4, 2), 0x020103u);
  // The last cell fills the bottom-right square.
  const uint8_t* last = bytes.data() + BAY_SENSOR_BYTES - 4;
  EXPECT_EQ(test::Pixel(img, 511, 383), uint32_t(last[1]) << 16 | uint32_t(last[3]) << 8 | last[2]);
  ImgFree(img);
}

TEST_F(BayTest, MonochromeCellsAreGreySquares) {
  Qimg img;
  ASSERT_EQ(Try([&] { BayLoad(Put(BayBytes("ML", 2, 3)), img); }), kOk);
  EXPECT_EQ(img.bpp, 8);
  // Cell 0 holds 0, 1, 2, 3; cell 1 holds 4 .. 7; cell 256 begins the second pair of rows.
  const uint32_t grey[] = {test::Pixel(img, 0, 0), test::Pixel(img, 1, 0),    test::Pixel(img, 0, 1),
                           test::Pixel(img, 1, 1), test::Pixel(img, 2, 0),    test::Pixel(img, 3, 1),
                           test::Pixel(img, 0, 2), test::Pixel(img, 511, 383)};
  EXPECT_EQ(std::vector<uint32_t>(grey, grey + 8),
            (std::vector<uint32_t>{0, 1, 2, 3, 4, 7, 256 * 4 % 256, (BAY_SENSOR_BYTES - 1) % 256}));
  EXPECT_EQ(img.palette[99][0] + img.palette[99][1], 198) << "a grey palette";
  ImgFree(img);
}

TEST_F(BayTest, InfoReportsExposureAndMode) {
  struct Case {
    const char* camera;
    int colour, exposure;
    double rate;
    const char* name;
    int32_t bpp, readable;
  };
  // The ends of both exposure tables and one step past them.
  const Case cases[] = {
      {"ML", 1, 1, 30, "HG (color)", 24, -1},       {"ML", 2, 2, 60, "HG (monochrome)", 8, -1},
      {"ML", 1, 7, 2000, "HG (color)", 24, -1},     {"ML", 1, 8, 0, "HG (color)", 24, -1},
      {"ML", 1, 0, 0, "HG (color)", 24, -1},        {"EK", 1, 1, 250, "DRC (color)", 24, -1},
      {"EK", 2, 3, 1000, "HR (monochrome)", 8, -1}, {"EK", 1, 4, 0, "DRC (color)", 24, -1},
      {"RO", 1, 1, 250, "RO (color)", 24, -1},      {"RO", 2, 3, 1000, "RO (monochrome)", 8, -1},
      {"QX", 1, 1, 0, "QX (color)", 24, -1},        {"", 2, 1, 0, " (monochrome)", 8, -1},
      {"EK", 3, 1, 250, "DRC (color)", 24, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.camera << " colour " << c.colour << " exposure " << c.exposure);
    QffInfo info;
    ASSERT_EQ(Try([&] { BayInfo(Put(BayBytes(c.camera, c.colour, c.exposure)), info); }), kOk);
    EXPECT_EQ(stilltest::Still(info), (stilltest::StillFields{16, BAY_FILE_SIZE, 512, 384, c.bpp}));
    EXPECT_EQ(info.video.frameRate, c.rate);
    EXPECT_EQ(info.video.compression, c.name);
    EXPECT_EQ(info.video.videoReadable, c.readable);
  }
}

TEST_F(BayTest, WrongSizesAndTrailersAreRefused) {
  const auto good = BayBytes("EK", 1, 1);
  auto noMark = good;
  noMark[BAY_SENSOR_BYTES + 7] = '3';
  auto colour3 = good;
  colour3[BAY_SENSOR_BYTES + 8] = 3;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Outcome info, load;
  };
  const Case cases[] = {
      {"one_short", std::vector<uint8_t>(good.begin(), good.end() - 1), {7, 2}, {7, 2}},
      {"one_long",
       [&] {
         auto b = good;
         b.push_back(0);
         return b;
       }(),
       {7, 2},
       {7, 2}},
      {"empty", {}, {7, 2}, {7, 2}},
      {"no_mark", noMark, {7, 2}, {7, 2}},
      {"colour3", colour3, kOk, {7, 1}},
      {"trailer_at_end",
       [&] {
         auto b = std::vector<uint8_t>(good.begin(), good.begin() + BAY_SENSOR_BYTES);
         b.resize(BAY_FILE_SIZE - BAY_TRAILER_BYTES, 0);
         b.insert(b.end(), good.begin() + BAY_SENSOR_BYTES, good.begin() + BAY_SENSOR_BYTES + BAY_TRAILER_BYTES);
         return b;
       }(),
       {7, 2},
       {7, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Put(c.bytes);
    QffInfo info;
    EXPECT_EQ(Try([&] { BayInfo(path, info); }), c.info);
    Qimg img;
    GuardedSilent("Test.Bay", [&] { BayLoad(path, img); });
    EXPECT_EQ((Outcome{ErrCategory(), ErrCode()}), c.load);
    if (c.load == (Outcome{7, 2})) {
      EXPECT_EQ(ErrLastMessage(), "Invalid image format.");
    }
    ErrClear();
    EXPECT_FALSE(ImgValid(img));
  }
  ASSERT_EQ(cases[0].bytes.size(), 197631u);
}

TEST_F(BayTest, FailuresLeaveNothingBehind) {
  const std::string path = Put(BayBytes("ML", 1, 2));
  Qimg img;
  for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc})
    EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { BayLoad(path, img); }), 1);
  ImgFree(img);
}

}  // namespace
}  // namespace rf
