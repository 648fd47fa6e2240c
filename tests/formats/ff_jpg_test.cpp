// JPEG wrappers and unit: colour and grey round trips by PSNR, the quality setting, grey and CMYK
// files libjpeg writes for the test, libjpeg's errors and warnings in the registers, failures at
// every step.
#include "formats/ff_jpg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <tuple>

#include <jpeglib.h>

#include "formats/ffdesc.h"
#include "formats/still_test_util.h"
#include "image/image_test_util.h"

namespace rf {
namespace {

using stilltest::FileBytes;
using stilltest::kOk;
using stilltest::Le16;
using stilltest::Outcome;
using stilltest::PutFile;
using stilltest::Try;

// A file in a colour space our writer never uses, coded by libjpeg directly.
void WriteJpegAs(const std::string& path, int width, int height, int components, J_COLOR_SPACE space,
                 const std::vector<uint8_t>& pixels) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  jpeg_stdio_dest(&c, f);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  for (int y = 0; y < height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + size_t(y) * width * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

double Psnr(const Qimg& a, const Qimg& b) {
  double sum = 0;
  for (int32_t i = 0; i < a.size; ++i) sum += std::pow(double(a.data[i]) - b.data[i], 2);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size / sum);
}

// A smooth picture, the kind JPEG is made for.
void MakeSmooth(Qimg& img, int32_t w, int32_t h) {
  std::vector<uint32_t> px;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) px.push_back(uint32_t((x * 255 / w) << 16 | (y * 255 / h) << 8 | ((x + y) % 256)));
  test::MakeFrom(img, w, h, 24, px);
}

class JpgTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    dir_ = test::ScratchDir("jpg");
  }
  void TearDown() override {
    JPGSetQuality(FF_AUTO);
    WarnClear();
    FoundationTest::TearDown();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::vector<uint8_t> SaveAt(const Qimg& img, int32_t quality) {
    JPGSetQuality(quality);
    EXPECT_EQ(Try([&] { JPGSave(Path("q.jpg"), img); }), kOk);
    return FileBytes(Path("q.jpg"));
  }

  std::string dir_;
};

TEST_F(JpgTest, RoundTripsAtEveryDepth) {
  for (int32_t bpp : {8, 15, 16, 24, 32}) {
    SCOPED_TRACE(testing::Message() << bpp << " bits");
    Qimg smooth, img, back;
    MakeSmooth(smooth, 67, 45);
    ImgCopy(smooth, img);
    if (bpp != 24) ImgConvBpp(img, img, bpp);
    ASSERT_EQ(Try([&] { JPGSave(Path("out.jpg"), img); }), kOk);
    const auto b = FileBytes(Path("out.jpg"));
    ASSERT_GE(b.size(), 4u);
    EXPECT_EQ(Le16(b, 0), 0xD8FFu);
    ASSERT_EQ(Try([&] { JPGLoad(Path("out.jpg"), back); }), kOk);
    EXPECT_EQ(std::tuple(back.bpp, back.width, back.height), std::tuple(24, 67, 45)) << "coded in colour";
    ImgConvBpp(img, img, 24);
    // Quality 85 on a smooth picture: 30 dB is well below what it keeps and well above damage.
    EXPECT_GT(Psnr(img, back), 30.0);
    for (Qimg* p : {&smooth, &img, &back}) ImgFree(*p);
  }
}

TEST_F(JpgTest, QualitySetting) {
  Qimg img, back;
  MakeSmooth(img, 64, 64);
  const auto low = SaveAt(img, 5), deflt = SaveAt(img, 85), high = SaveAt(img, 100);
  EXPECT_LT(low.size(), deflt.size());
  EXPECT_LT(deflt.size(), high.size());
  EXPECT_EQ(SaveAt(img, FF_AUTO), deflt);
  EXPECT_EQ(SaveAt(img, 0), SaveAt(img, 1)) << "out-of-range values are clamped";
  EXPECT_EQ(SaveAt(img, 250), high);
  SaveAt(img, 100);
  ASSERT_EQ(Try([&] { JPGLoad(Path("q.jpg"), back); }), kOk);
  EXPECT_GT(Psnr(img, back), 40.0);
  ImgFree(img);
  ImgFree(back);
}

TEST_F(JpgTest, GreyAndCmykFiles) {
  std::vector<uint8_t> grey;
  for (int i = 0; i < 16 * 8; ++i) grey.push_back(uint8_t(i * 2));
  WriteJpegAs(Path("grey.jpg"), 16, 8, 1, JCS_GRAYSCALE, grey);
  QffInfo info;
  ASSERT_EQ(Try([&] { JPGInfo(Path("grey.jpg"), info); }), kOk);
  EXPECT_EQ(stilltest::Still(info), (stilltest::StillFields{8, int64_t(FileBytes(Path("grey.jpg")).size()), 16, 8, 8}));
  EXPECT_EQ(info.video.compression, "JFIF 1.02");
  EXPECT_EQ(info.video.videoReadable, RF_TRUE);
  Qimg img;
  ASSERT_EQ(Try([&] { JPGLoad(Path("grey.jpg"), img); }), kOk);
  EXPECT_EQ(img.bpp, 8);
  EXPECT_EQ(img.palette[200][0] + img.palette[200][2], 400) << "a grey palette";
  int32_t worst = 0;
  for (size_t i = 0; i < grey.size(); ++i) worst = std::max(worst, std::abs(int32_t(img.data[i]) - grey[i]));
  EXPECT_LE(worst, 6) << "quality 95 keeps a grey ramp within a few levels";
  ImgFree(img);

  WriteJpegAs(Path("cmyk.jpg"), 8, 8, 4, JCS_CMYK, std::vector<uint8_t>(8 * 8 * 4, 100));
  ASSERT_EQ(Try([&] { JPGInfo(Path("cmyk.jpg"), info); }), kOk);
  EXPECT_EQ(std::tuple(info.video.bpp, info.video.hasVideo, info.video.videoReadable), std::tuple(32, RF_TRUE, 0));
  EXPECT_EQ(Try([&] { JPGLoad(Path("cmyk.jpg"), img); }), (Outcome{7, 1}));
  EXPECT_FALSE(ImgValid(img));
}

TEST_F(JpgTest, WrapperContracts) {
  Qimg img;
  MakeSmooth(img, 20, 10);
  int w = 0, h = 0, c = 0;
  int result = -1;
  ASSERT_EQ(Try([&] { result = write_JPEG_file(Path("w.jpg"), img.data, 20, 10, 90); }), kOk);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(Try([&] { result = info_JPEG_file(Path("w.jpg"), &w, &h, &c); }), kOk);
  EXPECT_EQ(std::tuple(result, w, h, c), std::tuple(0, 20, 10, 3));
  // A buffer announced too small is refused before a byte is written into it.
  std::vector<uint8_t> small(20 * 9 * 3, 0xEE);
  w = 20, h = 9, c = 3;
  ASSERT_EQ(Try([&] { result = read_JPEG_file(Path("w.jpg"), small.data(), &w, &h, &c); }), kOk);
  EXPECT_NE(result, 0);
  EXPECT_EQ(small, std::vector<uint8_t>(20 * 9 * 3, 0xEE));
  // A larger one takes the picture and reports its real size.
  std::vector<uint8_t> big(20 * 11 * 3, 0);
  w = 20, h = 11, c = 3;
  ASSERT_EQ(Try([&] { result = read_JPEG_file(Path("w.jpg"), big.data(), &w, &h, &c); }), kOk);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(h, 10);
  // Unusable arguments make no file.
  for (const auto& [width, height, quality] : {std::tuple{0, 10, 90}, {20, -1, 90}, {20, 10, 0}, {20, 10, 101}}) {
    ASSERT_EQ(Try([&] { result = write_JPEG_file(Path("none.jpg"), img.data, width, height, quality); }), kOk);
    EXPECT_NE(result, 0);
    EXPECT_FALSE(kernel::FileExists(Path("none.jpg")));
  }
  ImgFree(img);
}

TEST_F(JpgTest, LibraryMessagesReachTheRegisters) {
  Qimg img;
  // Not a JPEG: libjpeg's own words.
  PutFile(Path("text.jpg"), {'G', 'I', 'F', '8', '9', 'a', 0, 0});
  GuardedSilent("Test.Jpg", [&] { JPGLoad(Path("text.jpg"), img); });
  EXPECT_EQ(ErrCategory(), 1);
  EXPECT_EQ(ErrLastMessage(), "Not a JPEG file: starts with 0x47 0x49");
  ErrClear();
  PutFile(Path("empty.jpg"), {});
  QffInfo info;
  GuardedSilent("Test.Jpg", [&] { JPGInfo(Path("empty.jpg"), info); });
  EXPECT_EQ(ErrCategory(), 1);
  EXPECT_FALSE(ErrLastMessage().empty());
  ErrClear();
  EXPECT_FALSE(ImgValid(img));

  Qimg src;
  MakeSmooth(src, 64, 64);
  ASSERT_EQ(Try([&] { JPGSave(Path("good.jpg"), src); }), kOk);
  const auto good = FileBytes(Path("good.jpg"));
  // Cut short: the picture loads with what there is and libjpeg warns.
  PutFile(Path("cut.jpg"), std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() * 2 / 3)));
  ASSERT_EQ(Try([&] { JPGLoad(Path("cut.jpg"), img); }), kOk);
  EXPECT_EQ(WarnCategory(), 1);
  EXPECT_EQ(WarnLastMessage(), "Premature end of JPEG file");
  EXPECT_EQ(img.width, 64);
  ImgFree(img);
  // Stray bytes before a marker: a warning too.
  std::vector<uint8_t> stray = good;
  stray.insert(stray.begin() + 2, {0x12, 0x34, 0x56});
  PutFile(Path("stray.jpg"), stray);
  ASSERT_EQ(Try([&] { JPGLoad(Path("stray.jpg"), img); }), kOk);
  EXPECT_EQ(WarnCategory(), 1);
  EXPECT_NE(WarnLastMessage().find("extraneous bytes"), std::string::npos) << WarnLastMessage();
  ImgFree(img);
  // A frame header with a zero height is libjpeg's error.
  std::vector<uint8_t> zero = good;
  for (size_t i = 0; i + 9 < zero.size(); ++i)
    if (zero[i] == 0xFF && zero[i + 1] == 0xC0) {
      zero[i + 5] = 0;
      zero[i + 6] = 0;
      break;
    }
  PutFile(Path("zero.jpg"), zero);
  GuardedSilent("Test.Jpg", [&] { JPGLoad(Path("zero.jpg"), img); });
  EXPECT_EQ(ErrCategory(), 1);
  EXPECT_EQ(ErrLastMessage(), "Empty JPEG image (DNL not supported)");
  ErrClear();
  EXPECT_EQ(Try([&] { JPGLoad(Path("missing.jpg"), img); }), (Outcome{6, 1}));
  EXPECT_EQ(Try([&] { JPGSave(Path("bad.jpg"), img); }), (Outcome{7, 2})) << "an empty picture";
  ImgFree(src);
}

TEST_F(JpgTest, FailuresLeaveNothingBehind) {
  for (int32_t bpp : {8, 24}) {
    SCOPED_TRACE(testing::Message() << bpp << " bits");
    Qimg src, img;
    // Large enough for several output buffers.
    test::MakePattern(src, 90, 70, bpp);
    const std::string path = Path("sweep.jpg");
    for (Fault kind : {Fault::Open, Fault::Write, Fault::Alloc}) {
      test::WriteWholeFile(path, "old");
      const int32_t hits = stilltest::SweepFaults(
          kind, kind == Fault::Alloc ? 5 : 6, [&] { JPGSave(path, src); }, path);
      // A 24-bit picture needs no block of ours.
      if (kind != Fault::Alloc || bpp == 8) {
        EXPECT_GE(hits, 1);
      }
    }
    ASSERT_EQ(Try([&] { JPGSave(path, src); }), kOk);
    for (Fault kind : {Fault::Open, Fault::Read, Fault::Alloc}) {
      EXPECT_GE(stilltest::SweepFaults(kind, kind == Fault::Alloc ? 5 : 6, [&] { JPGLoad(path, img); }), 1);
      ImgFree(img);
    }
    ImgFree(src);
  }
  // libjpeg refuses a width past its limit once the file is being written: the old one stays.
  Qimg wide;
  ASSERT_EQ(_imgalloc_(wide, 65501, 1, 24, "Test.Jpg.wide"), 0);
  test::WriteWholeFile(Path("wide.jpg"), "old");
  EXPECT_EQ(Try([&] { JPGSave(Path("wide.jpg"), wide); }).category, 1);
  EXPECT_EQ(test::ReadWholeFile(Path("wide.jpg")), "old");
  EXPECT_FALSE(stilltest::TemporaryBeside(Path("wide.jpg")));
  ImgFree(wide);
}

}  // namespace
}  // namespace rf
