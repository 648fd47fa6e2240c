// Pictures on screen: Qimg pictures drawn by a painter, constant image blocks and the preview
// panel.
#include "ui/picture.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "formats/havcodec.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"

namespace rf::ui {
namespace {

constexpr int32_t kBlockHeader = 16;
constexpr int32_t kPaletteBytes = 768;

QImage::Format ScreenFormat(int32_t bpp) {
  switch (bpp) {
    case 8:
      return QImage::Format_Indexed8;
    case 32:
      return QImage::Format_RGB32;  // blue, green, red, unused in memory
    default:
      return QImage::Format_BGR888;
  }
}

void SetColourTable(const Qimg& img, QImage& image) {
  QList<QRgb> table(256);
  for (int i = 0; i < 256; ++i) table[i] = qRgb(img.palette[i][2], img.palette[i][1], img.palette[i][0]);
  image.setColorTable(table);
}

// The picture's own rows when they are 4-byte multiples, else a copy with aligned rows.
QImage RowsImage(const Qimg& img) {
  const int32_t row = img.width * img.bytesPerPixel;
  const QImage::Format format = ScreenFormat(img.bpp);
  QImage image;
  if (row % 4 == 0) {
    image = QImage(img.data, img.width, img.height, row, format);
  } else {
    image = QImage(img.width, img.height, format);
    for (int32_t y = 0; y < img.height; ++y) std::memcpy(image.scanLine(y), img.data + int64_t(y) * row, size_t(row));
  }
  if (img.bpp == 8) SetColourTable(img, image);
  return image;
}

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void DecodePixels(const uint8_t* stream, int32_t size, Qimg& img) {
  std::vector<uint8_t> padded(stream, stream + size);
  padded.resize(size_t(size) + HAV_STREAM_PAD, 0);
  const HavStrip strip{img.size, img.width * img.bytesPerPixel, img.bytesPerPixel};
  if (!HavDecodeBest(padded.data(), size, img.data, strip)) ErrSet(7, 2);
  if (img.bytesPerPixel == 3) {
    std::vector<uint8_t> residuals(img.data, img.data + img.size);
    HavUnpredict(residuals.data(), img.data, img.size);
  }
}

// A 293 x 58 grey card with a border and diagonal stripes: plainly not a frame of the film.
std::vector<uint8_t> MakePlaceholder() {
  const int32_t w = 293, h = 58;
  std::vector<uint8_t> block;
  PutU32(block, w);
  PutU32(block, h);
  PutU32(block, 1);
  PutU32(block, 0);
  for (int i = 0; i < 256; ++i) block.insert(block.end(), 3, uint8_t(i));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const bool border = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
      const bool stripe = (x + y) / 8 % 2 == 0;
      block.push_back(border ? 200 : stripe ? 72 : 48);
    }
  return block;
}

}  // namespace

QRect ClipPutRect(const Qimg& img, const QRect& rect) {
  if (!img.data || img.size <= 0) return {};
  int left = rect.left(), top = rect.top(), width = rect.width(), height = rect.height();
  if (left >= img.width || left < 0) left = 0;
  if (top >= img.height || top < 0) top = 0;
  if (width < 1) width = img.width;
  if (height < 1) height = img.height;
  return QRect(left, top, std::min(width, img.width - left), std::min(height, img.height - top));
}

QImage QimgScreenImage(const Qimg& img) {
  if (!img.data || img.size <= 0) return {};
  if (img.bpp != 15 && img.bpp != 16) return RowsImage(img);
  // The 24-bit conversion decides the colours, so a 16-bit picture looks as it will be saved.
  Qimg wide;
  QImage image;
  GuardedSilent("IMGBasic.ImgPutEx", [&] {
    ImgCopy(img, wide);
    ImgConvBpp(wide, wide, 24);
    image = RowsImage(wide).copy();
  });
  ImgFree(wide);
  ErrClear();
  return image;
}

void ImgPutEx(const Qimg& img, const QRect& rect, QPainter& painter, int x, int y, int32_t /*method*/) {
  const QRect part = ClipPutRect(img, rect);
  if (part.isEmpty()) return;
  const QImage image = QimgScreenImage(img);
  if (!image.isNull()) painter.drawImage(QPoint(x, y), image, part);
}

void ImgPut(const Qimg& img, QPainter& painter, int x, int y) { ImgPutEx(img, QRect(), painter, x, y, 0); }

void ImgFromFn(const std::vector<uint8_t>& block, Qimg& img) {
  Guarded("IMGBasic.ImgFromFn", [&] {
    if (block.size() < size_t(kBlockHeader)) ErrSet(7, 2);
    const int32_t width = int32_t(ReadU32(block.data())), height = int32_t(ReadU32(block.data() + 4));
    const int32_t bytes = int32_t(ReadU32(block.data() + 8)), packed = int32_t(ReadU32(block.data() + 12));
    if (bytes < 1 || bytes > 4 || !ImgCheckDims(width, height, bytes * 8)) ErrSet(7, 2);
    const size_t palette = bytes == 1 ? kPaletteBytes : 0;
    const size_t pixels = size_t(width) * size_t(height) * size_t(bytes);
    const size_t stored = packed == 0 ? pixels : size_t(packed);
    if (packed < 0 || block.size() < kBlockHeader + palette + stored) ErrSet(7, 2);
    _imgalloc_(img, width, height, bytes * 8, "IMGBasic.ImgFromFn.img");
    const uint8_t* p = block.data() + kBlockHeader;
    if (palette) std::memcpy(img.palette, p, palette);
    p += palette;
    if (packed == 0)
      std::memcpy(img.data, p, pixels);
    else
      DecodePixels(p, packed, img);
  });
}

const std::vector<uint8_t>& PlaceholderBlock() {
  static const std::vector<uint8_t> block = MakePlaceholder();
  return block;
}

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::black);
  setPalette(p);
  setAutoFillBackground(true);
  setMinimumSize(120, 90);
}

void PictureView::SetPicture(const Qimg& img) {
  picture_ = QimgScreenImage(img).copy();
  update();
}

void PictureView::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QSize size = picture_.size().scaled(this->size(), Qt::KeepAspectRatio);
  const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
  painter.drawImage(target, picture_);
}

}  // namespace rf::ui
