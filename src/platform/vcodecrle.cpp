// RLE8 and RLE4 bitmaps decoded over the kept picture, and palette indices painted into a
// packed picture of 8, 16 or 24 bits.
#include <algorithm>
#include <cstring>

#include "platform/vcodecdetail.h"

namespace rf::detail {
namespace {

// Walks one chunk's codes; every pixel lands through put(), which knows the row and picture.
class RleWalk {
 public:
  RleWalk(VcRleRun& run, int32_t width, int32_t height, const uint8_t* data, size_t size)
      : run_(run), width_(width), height_(height), data_(data), size_(size) {}

  void decode() {
    while (y_ < height_ && at_ + 2 <= size_) {
      const uint8_t count = data_[at_++];
      const uint8_t code = data_[at_++];
      if (count > 0) {
        encodedRun(count, code);
      } else if (code == 0) {  // end of line
        x_ = 0;
        ++y_;
      } else if (code == 1) {  // end of bitmap
        return;
      } else if (code == 2) {  // delta: move right and up
        if (at_ + 2 > size_) return;
        x_ += data_[at_++];
        y_ += data_[at_++];
      } else if (!absoluteRun(code)) {
        return;
      }
    }
  }

 private:
  void put(uint8_t index) {
    if (x_ < width_ && y_ < height_) run_.indices[size_t(y_) * size_t(width_) + size_t(x_)] = index;
    ++x_;
  }

  // count pixels of one value (RLE8), or of two alternating nibbles, high first (RLE4).
  void encodedRun(int count, uint8_t value) {
    for (int i = 0; i < count && x_ < width_; ++i) put(run_.bits == 8 ? value : i % 2 ? value & 15 : value >> 4);
  }

  // count literal pixels, padded to a 16-bit boundary; false when the chunk ends inside them.
  bool absoluteRun(int count) {
    const size_t bytes = run_.bits == 8 ? size_t(count) : size_t(count + 1) / 2;
    if (at_ + bytes > size_) return false;
    const uint8_t* p = data_ + at_;
    for (int i = 0; i < count && x_ < width_; ++i) put(run_.bits == 8 ? p[i] : i % 2 ? p[i / 2] & 15 : p[i / 2] >> 4);
    at_ += bytes + (bytes & 1);
    return true;
  }

  VcRleRun& run_;
  const int32_t width_, height_;
  const uint8_t* data_;
  const size_t size_;
  size_t at_ = 0;
  int64_t x_ = 0, y_ = 0;
};

}  // namespace

void VcRleDecode(VcRleRun& run, int32_t width, int32_t height, const uint8_t* data, size_t size) {
  RleWalk(run, width, height, data, size).decode();
}

void VcShapePicture(PackedDib& picture, int32_t width, int32_t height, int32_t bitCount) {
  DibHeader& h = picture.header;
  h = DibHeader{};
  h.size = sizeof(DibHeader);
  h.width = width;
  h.height = height;
  h.planes = 1;
  h.bitCount = uint16_t(bitCount);
  h.compression = BI_RGB;
  h.sizeImage = DibRowBytes(width, bitCount) * uint32_t(height);
  h.clrUsed = bitCount == 8 ? 256 : 0;
  picture.bits.resize(h.sizeImage);
}

void VcPaintIndices(PackedDib& picture, const uint8_t* indices, const uint8_t* palette) {
  const DibHeader& h = picture.header;
  const size_t stride = DibRowBytes(h.width, h.bitCount);
  for (int32_t y = 0; y < h.height; ++y) {
    const uint8_t* in = indices + size_t(y) * size_t(h.width);
    uint8_t* out = picture.bits.data() + size_t(y) * stride;
    if (h.bitCount == 8) {
      std::memcpy(out, in, size_t(h.width));
      continue;
    }
    for (int32_t x = 0; x < h.width; ++x) {
      const uint8_t* e = palette + size_t(in[x]) * 4;
      if (h.bitCount == 24) {
        std::memcpy(out + size_t(x) * 3, e, 3);
      } else {
        const uint16_t v = uint16_t((e[2] >> 3) << 10 | (e[1] >> 3) << 5 | e[0] >> 3);
        out[size_t(x) * 2] = uint8_t(v);
        out[size_t(x) * 2 + 1] = uint8_t(v >> 8);
      }
    }
  }
}

}  // namespace rf::detail
