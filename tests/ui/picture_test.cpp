// Pictures of every depth reach the screen with their colours, through the aligned row copy
// where their rows need it; the drawn part follows the rect rules; constant blocks decode.
#include "ui/picture.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "common/test_support.h"
#include "formats/havcodec.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "image/imgdib.h"

namespace rf {
namespace {

class PictureTest : public test::FoundationTest {
 protected:
  std::vector<Qimg*> pictures;

  void TearDown() override {
    for (Qimg* p : pictures) {
      ImgFree(*p);
      delete p;
    }
    FoundationTest::TearDown();
  }

  // A width x height picture whose every byte is a different value.
  Qimg& Picture(int32_t width, int32_t height, int32_t bpp) {
    Qimg* img = pictures.emplace_back(new Qimg);
    _imgalloc_(*img, width, height, bpp, "Test.Picture.img");
    for (int32_t i = 0; i < img->size; ++i) img->data[i] = uint8_t(i * 37 + 11);
    for (int i = 0; i < 256; ++i) img->palette[i][0] = uint8_t(i), img->palette[i][2] = uint8_t(255 - i);
    return *img;
  }

  // What ImgPutEx leaves on a white true-colour canvas.
  static QImage Drawn(const Qimg& img, const QRect& rect, int x = 0, int y = 0) {
    QImage canvas(img.width + 2, img.height + 2, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    ui::ImgPutEx(img, rect, painter, x, y, 0);
    return canvas;
  }

  // The colour the picture's pixel (x, y) should show, read from its bytes.
  static QRgb Expected(const Qimg& img, int x, int y) {
    const uint8_t* p = img.data + (int64_t(y) * img.width + x) * img.bytesPerPixel;
    if (img.bpp == 8) return qRgb(img.palette[*p][2], img.palette[*p][1], img.palette[*p][0]);
    return qRgb(p[2], p[1], p[0]);
  }
};

TEST_F(PictureTest, EveryDepthShowsItsPixelsAndOnlyUnalignedRowsAreCopied) {
  const struct {
    int32_t width, bpp;
    bool direct;
  } cases[] = {{3, 24, false}, {4, 24, true}, {5, 8, false}, {8, 8, true}, {3, 32, true}};
  for (const auto& c : cases) {
    const Qimg& img = Picture(c.width, 3, c.bpp);
    const QImage screen = ui::QimgScreenImage(img);
    EXPECT_EQ(screen.constBits() == img.data, c.direct) << c.width << "x" << c.bpp;
    const QImage canvas = Drawn(img, QRect());
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        EXPECT_EQ(canvas.pixel(x, y) & 0xFFFFFF, Expected(img, x, y) & 0xFFFFFF) << c.bpp << " " << x << "," << y;
    EXPECT_EQ(canvas.pixel(img.width, 0), qRgb(255, 255, 255));
  }
}

TEST_F(PictureTest, SixteenAndFifteenBitPicturesShowTheirTwentyFourBitColours) {
  for (int32_t bpp : {15, 16}) {
    Qimg& img = Picture(5, 4, bpp);
    Qimg wide;
    ImgCopy(img, wide);
    ImgConvBpp(wide, wide, 24);
    const QImage shown = Drawn(img, QRect()), reference = Drawn(wide, QRect());
    EXPECT_EQ(shown, reference) << bpp;
    ImgFree(wide);
  }
}

TEST_F(PictureTest, RectRulesPickThePartDrawn) {
  const Qimg& img = Picture(6, 5, 24);
  const struct {
    QRect rect, drawn;
  } cases[] = {
      {QRect(2, 1, 0, 0), QRect(2, 1, 4, 4)},    // width 0: the rest of the picture
      {QRect(9, 9, 3, 2), QRect(0, 0, 3, 2)},    // beyond the picture: from its origin
      {QRect(4, 3, 10, 10), QRect(4, 3, 2, 2)},  // cut to the picture
      {QRect(1, 1, 2, 2), QRect(1, 1, 2, 2)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ui::ClipPutRect(img, c.rect), c.drawn) << c.rect.x() << "," << c.rect.y();
    const QImage canvas = Drawn(img, c.rect, 1, 1);
    EXPECT_EQ(canvas.pixel(1, 1) & 0xFFFFFF, Expected(img, c.drawn.x(), c.drawn.y()) & 0xFFFFFF);
    EXPECT_EQ(canvas.pixel(1 + c.drawn.width(), 1), qRgb(255, 255, 255));
  }
  Qimg empty;
  EXPECT_TRUE(ui::ClipPutRect(empty, QRect()).isEmpty());
}

TEST_F(PictureTest, SixteenBitDibsBecomeFifteenBitPictures) {
  const int32_t w = 3, h = 2, stride = DibStride(w, 16);
  std::vector<uint8_t> dib = DibStreamFormat(w, h, 16, nullptr);
  for (int32_t i = 0; i < stride * h; ++i) dib.push_back(uint8_t(i));
  Qimg& img = *pictures.emplace_back(new Qimg);
  DibToQimg(img, dib.data(), int64_t(dib.size()));
  EXPECT_EQ(img.bpp, 15);
  EXPECT_EQ(ui::QimgScreenImage(img).size(), QSize(w, h));
}

TEST_F(PictureTest, ConstantBlocksDecodePlainAndCompressed) {
  Qimg& placeholder = *pictures.emplace_back(new Qimg);
  ui::ImgFromFn(ui::PlaceholderBlock(), placeholder);
  EXPECT_EQ(std::make_tuple(placeholder.width, placeholder.height, placeholder.bpp), std::make_tuple(293, 58, 8));

  // The same pixels through the frame coder.
  const HavStrip strip{placeholder.size, placeholder.width, 1};
  std::vector<uint8_t> stream(size_t(placeholder.size) * 2 + 1024);
  const int32_t length = HavEncodeBest(placeholder.data, nullptr, strip, stream.data(), int32_t(stream.size()));
  ASSERT_GT(length, 0);
  std::vector<uint8_t> block(ui::PlaceholderBlock().begin(), ui::PlaceholderBlock().begin() + 16 + 768);
  block[12] = uint8_t(length), block[13] = uint8_t(length >> 8), block[14] = uint8_t(length >> 16);
  block.insert(block.end(), stream.begin(), stream.begin() + length);
  Qimg& decoded = *pictures.emplace_back(new Qimg);
  ui::ImgFromFn(block, decoded);
  ASSERT_EQ(decoded.size, placeholder.size);
  EXPECT_EQ(std::memcmp(decoded.data, placeholder.data, size_t(decoded.size)), 0);

  block.resize(block.size() - 1);  // one byte short of what the header promises
  Qimg& shorter = *pictures.emplace_back(new Qimg);
  GuardedSilent("Test.Picture", [&] { ui::ImgFromFn(block, shorter); });
  EXPECT_EQ(ErrCategory(), 7);
  ErrClear();
}

}  // namespace
}  // namespace rf
