// Pictures on screen: Qimg pictures of every depth drawn by a painter, the constant image blocks
// the program holds (the placeholder frame) and the black preview panel that shows one picture.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "image/imgbasic.h"

class QPainter;

namespace rf::ui {

// The part of img that ImgPutEx draws for rect (left, top, width, height in picture pixels): a
// start beyond the picture becomes 0, a width or height below 1 means the whole picture, and the
// size is cut to the picture. Empty for a picture without pixels.
QRect ClipPutRect(const Qimg& img, const QRect& rect);
// img as the screen sees it. Pictures whose rows are 4-byte multiples are shown straight from
// their pixel block (the image refers to img.data and lives no longer than it); other rows are
// copied into 4-byte-aligned rows. 15- and 16-bit pictures show the colours of their 24-bit
// conversion.
QImage QimgScreenImage(const Qimg& img);
// Draws the rect part of img at (x, y). method is the palette reduction of displays that need
// one; true-colour displays never do.
void ImgPutEx(const Qimg& img, const QRect& rect, QPainter& painter, int x, int y, int32_t method);
void ImgPut(const Qimg& img, QPainter& painter, int x, int y);

// A constant image block: width, height and bytes per pixel (32-bit little-endian each), the
// length of the compressed pixels (0: stored plainly), the 768-byte palette for 1 byte per pixel,
// then the pixels (compressed with the lossless frame coder when the length is not 0).
void ImgFromFn(const std::vector<uint8_t>& block, Qimg& img);
// The block of the picture shown when a preview frame cannot be loaded (293 x 58, 8 bits).
const std::vector<uint8_t>& PlaceholderBlock();

// A black panel showing one picture centred and scaled to fit, keeping its aspect ratio.
class PictureView : public QWidget {
 public:
  explicit PictureView(QWidget* parent = nullptr);
  // Takes a copy of img (nothing shown for an empty picture).
  void SetPicture(const Qimg& img);
  const QImage& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

}  // namespace rf::ui
