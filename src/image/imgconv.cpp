// Conversion of pictures between bit depths, grey included; palette reduction is left to PalOpt.
#include <bit>
#include <cstring>

#include "foundation/monitor.h"
#include "image/imgbasic.h"
#include "image/imgpixels.h"
#include "image/palopt.h"

namespace rf {
namespace {

static_assert(std::endian::native == std::endian::little, "whole-pixel stores assume little-endian words");

using detail::Load16;
using detail::Store16;

// Pixel loops over whole pictures: rows have no padding, so a picture is one long row.
void PaletteToWords(const Qimg& src, uint8_t* to, int32_t n, bool sixteen) {
  uint16_t table[256];
  for (int32_t i = 0; i < 256; ++i) {
    const uint8_t* e = src.palette[i];
    table[i] = uint16_t(sixteen ? detail::Pack16(e[0], e[1], e[2]) : detail::Pack15(e[0], e[1], e[2]));
  }
  for (int32_t i = 0; i < n; ++i) Store16(to + 2 * i, table[src.data[i]]);
}

void PaletteToBytes(const Qimg& src, uint8_t* to, int32_t n, int32_t stride) {
  for (int32_t i = 0; i < n; ++i, to += stride) std::memcpy(to, src.palette[src.data[i]], 3);
}

// Words to bytes through two 256-entry tables, one per word byte, whose entries are or-ed into
// the blue-green-red value of the pixel.
void WordsToBytes(const uint8_t* from, uint8_t* to, int32_t n, int32_t stride, bool sixteen) {
  uint32_t low[256], high[256];
  uint8_t bgr[3];
  for (uint32_t i = 0; i < 256; ++i) {
    sixteen ? detail::Unpack16(i, bgr) : detail::Unpack15(i, bgr);
    low[i] = bgr[0] | (uint32_t(bgr[1]) << 8) | (uint32_t(bgr[2]) << 16);
    sixteen ? detail::Unpack16(i << 8, bgr) : detail::Unpack15(i << 8, bgr);
    high[i] = bgr[0] | (uint32_t(bgr[1]) << 8) | (uint32_t(bgr[2]) << 16);
  }
  if (n <= 0) return;
  // Four bytes are stored per pixel for speed; at 24 bits the fourth is overwritten by the next
  // pixel, so the last pixel is stored by bytes.
  const int32_t wide = stride == 4 ? n : n - 1;
  for (int32_t i = 0; i < wide; ++i, to += stride) {
    const uint32_t v = low[from[2 * i]] | high[from[2 * i + 1]];
    std::memcpy(to, &v, 4);
  }
  if (stride == 3) {
    const uint32_t v = low[from[2 * wide]] | high[from[2 * wide + 1]];
    to[0] = uint8_t(v);
    to[1] = uint8_t(v >> 8);
    to[2] = uint8_t(v >> 16);
  }
}

void BytesToWords(const uint8_t* from, int32_t stride, uint8_t* to, int32_t n, bool sixteen) {
  if (sixteen)
    for (int32_t i = 0; i < n; ++i, from += stride) Store16(to + 2 * i, detail::Pack16(from[0], from[1], from[2]));
  else
    for (int32_t i = 0; i < n; ++i, from += stride) Store16(to + 2 * i, detail::Pack15(from[0], from[1], from[2]));
}

void BytesToBytes(const uint8_t* from, int32_t fromStride, uint8_t* to, int32_t toStride, int32_t n) {
  for (int32_t i = 0; i < n; ++i, from += fromStride, to += toStride) {
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
    if (toStride == 4) to[3] = 0;
  }
}

// Grey index = channel sum div 3, through one table instead of a division per pixel.
struct GreyTable {
  uint8_t div3[768];
  GreyTable() {
    for (int32_t i = 0; i < 768; ++i) div3[i] = uint8_t(i / 3);
  }
};
const GreyTable kGrey;

void ToGrey(const Qimg& src, Qimg& dst, int32_t n) {
  for (int32_t i = 0; i < 256; ++i) dst.palette[i][0] = dst.palette[i][1] = dst.palette[i][2] = uint8_t(i);
  const uint8_t* from = src.data;
  uint8_t* to = dst.data;
  const uint8_t* div3 = kGrey.div3;
  if (src.bpp == 24 || src.bpp == 32) {
    const int32_t stride = src.bytesPerPixel;
    for (int32_t i = 0; i < n; ++i, from += stride) to[i] = div3[from[0] + from[1] + from[2]];
  } else if (src.bpp == 15) {
    // The widened channels fill their low bits: 7 for blue and red, 14 for green.
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t w = Load16(from + 2 * i);
      to[i] = div3[(((w & 0x1F) << 3) | 7) + ((((w >> 5) & 0x1F) << 3) | 14) + ((((w >> 10) & 0x1F) << 3) | 7)];
    }
  } else if (src.bpp == 16) {
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t w = Load16(from + 2 * i);
      to[i] = div3[(((w & 0x1F) << 3) | 7) + ((((w >> 5) & 0x3F) << 2) | 6) + ((((w >> 11) & 0x1F) << 3) | 7)];
    }
  }
}

}  // namespace

void detail::ConvertPixels(const Qimg& src, Qimg& dst) {
  const int32_t n = src.width * src.height;
  const uint8_t* from = src.data;
  uint8_t* to = dst.data;
  if (!from || !to || n <= 0) return;
  const int32_t s = src.bpp, d = dst.bpp;
  if (d == 8) {
    ToGrey(src, dst, n);
  } else if (s == 8 && (d == 15 || d == 16)) {
    PaletteToWords(src, to, n, d == 16);
  } else if (s == 8 && (d == 24 || d == 32)) {
    PaletteToBytes(src, to, n, dst.bytesPerPixel);
    if (d == 32)
      for (int32_t i = 0; i < n; ++i) to[4 * i + 3] = 0;
  } else if (s == 15 && d == 16) {
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t w = Load16(from + 2 * i);
      Store16(to + 2 * i, ((w & 0x7FE0) << 1) | (w & 0x1F));
    }
  } else if (s == 16 && d == 15) {
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t w = Load16(from + 2 * i);
      Store16(to + 2 * i, ((w & 0xFFC0) >> 1) | (w & 0x1F));
    }
  } else if ((s == 15 || s == 16) && (d == 24 || d == 32)) {
    WordsToBytes(from, to, n, dst.bytesPerPixel, s == 16);
  } else if ((s == 24 || s == 32) && (d == 15 || d == 16)) {
    BytesToWords(from, src.bytesPerPixel, to, n, d == 16);
  } else if ((s == 24 || s == 32) && (d == 24 || d == 32)) {
    BytesToBytes(from, src.bytesPerPixel, to, dst.bytesPerPixel, n);
  }
}

void ImgConvBppEx(Qimg& src, Qimg& dst, int32_t bpp, int32_t method) {
  Qimg temp;
  Guarded("IMGBasic.ImgConvBppEx", [&] {
    if (src.bpp == bpp) {
      if (&src != &dst) ImgCopy(src, dst);
      return;
    }
    const bool inPlace = &src == &dst;
    Qimg& target = inPlace ? temp : dst;
    detail::ImgAllocOrStop(target, src.width, src.height, bpp,
                           inPlace ? "IMGBasic.ImgConvBppEx.ih_temp" : "IMGBasic.ImgConvBppEx.dest");
    if (bpp == 8 && method != 2 && method != 4)
      ConvTo8bit(src, target, method == 1);
    else
      detail::ConvertPixels(src, target);
    if (inPlace) {
      ImgXchg(src, temp);
      ImgFree(temp);
    }
  });
}

}  // namespace rf
