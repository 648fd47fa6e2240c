// Packed DIBs: header fields through the byte reader, rows flipped and padded both ways.
#include "image/imgdib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"

namespace rf {

int32_t DibStride(int32_t width, int32_t bpp) { return (width * ((bpp + 7) / 8) + 3) & ~3; }

bool DibReadInfo(const uint8_t* data, int64_t size, DibInfo& info) {
  if (!data || size < DIB_HEADER_SIZE) return false;
  ByteReader r(data, DIB_HEADER_SIZE);
  info.size = r.u32le();
  info.width = r.i32le();
  info.height = r.i32le();
  info.planes = r.u16le();
  info.bitCount = r.u16le();
  info.compression = r.u32le();
  info.sizeImage = r.u32le();
  info.xPelsPerMeter = r.i32le();
  info.yPelsPerMeter = r.i32le();
  info.clrUsed = r.u32le();
  info.clrImportant = r.u32le();
  return r.ok();
}

std::vector<uint8_t> DibStreamFormat(int32_t width, int32_t height, int32_t bpp, const uint8_t (*palette)[3]) {
  const bool indexed = bpp == 8;
  ByteWriter w;
  w.u32le(DIB_HEADER_SIZE);
  w.u32le(uint32_t(width));
  w.u32le(uint32_t(height));
  w.u16le(1);
  w.u16le(uint16_t(bpp == 15 ? 16 : bpp));
  w.u32le(DIB_BI_RGB);
  w.u32le(uint32_t(DibStride(width, bpp)) * uint32_t(height));
  w.u32le(0);
  w.u32le(0);
  w.u32le(indexed ? 256 : 0);
  w.u32le(0);
  for (int32_t i = 0; indexed && i < 256; ++i) {
    for (int32_t c = 0; c < 3; ++c) w.u8(palette ? palette[i][c] : 0);
    w.u8(0);
  }
  return w.bytes();
}

void MakeQimg(Qimg& img, const uint8_t* bits, int32_t width, int32_t height, int32_t bpp, int32_t stride,
              bool topDown) {
  Guarded("IMGBasic.MakeQimg", [&] {
    if (_imgalloc_(img, width, height, bpp, "IMGBasic.MakeQimg.img") != 0) MonAbort();
    const int32_t row = width * img.bytesPerPixel;
    if (topDown && stride == row) {
      std::memcpy(img.data, bits, size_t(row) * height);
      return;
    }
    for (int32_t y = 0; y < height; ++y) {
      const int32_t source = topDown ? y : height - 1 - y;
      std::memcpy(img.data + size_t(y) * row, bits + size_t(source) * stride, size_t(row));
    }
  });
}

void DibToQimg(Qimg& img, const uint8_t* dib, int64_t size) {
  Guarded("IMGBasic.DibToQimg", [&] {
    DibInfo info;
    if (!DibReadInfo(dib, size, info) || info.size < uint32_t(DIB_HEADER_SIZE) || info.size > size) {
      ErrSet(7, 2);
      return;
    }
    const int64_t colours = info.bitCount == 8 ? DIB_PALETTE_SIZE : 0;
    if (int64_t(info.size) + colours > size) {
      ErrSet(7, 2);
      return;
    }
    const uint8_t* bits = dib + info.size + colours;
    DibRowsToQimg(img, info, dib + info.size, bits, size - (bits - dib));
  });
}

void DibRowsToQimg(Qimg& img, const DibInfo& info, const uint8_t* colours, const uint8_t* bits, int64_t size) {
  Guarded("IMGBasic.DibRowsToQimg", [&] {
    const int32_t bpp = info.bitCount == 16 ? 15 : info.bitCount;
    // A negative height marks rows stored top first.
    const bool topDown = info.height < 0;
    const int32_t height = int32_t(std::min<int64_t>(std::abs(int64_t(info.height)), IMG_MAX_SIDE + 1));
    if (info.compression != DIB_BI_RGB || (bpp == 8 && !colours)) {
      ErrSet(7, 2);
      return;
    }
    if (!ImgCheckDims(info.width, height, bpp)) return;
    const int32_t stride = DibStride(info.width, bpp);
    if (int64_t(stride) * height > size) {
      ErrSet(7, 2);
      return;
    }
    MakeQimg(img, bits, info.width, height, bpp, stride, topDown);
    if (bpp != 8) return;
    for (int32_t i = 0; i < 256; ++i) std::memcpy(img.palette[i], colours + 4 * i, 3);
  });
}

void QimgToDibBits(const Qimg& img, uint8_t* bits) {
  const int32_t row = img.width * img.bytesPerPixel;
  const int32_t stride = DibStride(img.width, img.bpp);
  for (int32_t y = 0; y < img.height; ++y) {
    uint8_t* out = bits + size_t(img.height - 1 - y) * stride;
    std::memcpy(out, img.data + size_t(y) * row, size_t(row));
    std::memset(out + row, 0, size_t(stride - row));
  }
}

}  // namespace rf
