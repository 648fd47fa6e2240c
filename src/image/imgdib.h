// Packed device-independent bitmaps (DIBs): pictures from raw rows or from a DIB a decoder
// delivers, and the bottom-up padded rows and header a DIB writer stores.
#pragma once

#include <cstdint>
#include <vector>

#include "image/imgbasic.h"

namespace rf {

inline constexpr int32_t DIB_HEADER_SIZE = 40;
inline constexpr int32_t DIB_PALETTE_SIZE = 256 * 4;
inline constexpr uint32_t DIB_BI_RGB = 0;

// The fields of a BITMAPINFOHEADER, in stored order.
struct DibInfo {
  uint32_t size = DIB_HEADER_SIZE;
  int32_t width = 0;
  int32_t height = 0;  // positive: rows bottom-up
  uint16_t planes = 1;
  uint16_t bitCount = 0;
  uint32_t compression = DIB_BI_RGB;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};

// Bytes of one stored row: width x bytes per pixel rounded up to a multiple of 4.
int32_t DibStride(int32_t width, int32_t bpp);
// Reads a header from size bytes; false when fewer than 40 bytes are there.
bool DibReadInfo(const uint8_t* data, int64_t size, DibInfo& info);
// The header of an uncompressed width x height DIB of bpp bits (15 stored as 16), followed for
// 8 bits by the 256-entry colour table (blue, green, red, 0) and 256 colours used: 40 or 1064 bytes.
std::vector<uint8_t> DibStreamFormat(int32_t width, int32_t height, int32_t bpp, const uint8_t (*palette)[3]);

// img from height rows of width pixels at bpp bits, stride bytes apart; topDown false means the
// first source row is the last picture row.
void MakeQimg(Qimg& img, const uint8_t* bits, int32_t width, int32_t height, int32_t bpp, int32_t stride, bool topDown);
// img from a packed DIB of size bytes (header, 8-bit colour table, rows). Uncompressed 8, 16
// (read as 15), 24 and 32 bits; anything else, or fewer bytes than the header promises, is error
// (7, 2).
void DibToQimg(Qimg& img, const uint8_t* dib, int64_t size);
// The same with the parts apart: the header's fields, the 1024-byte colour table (8 bits) and
// size bytes of rows.
void DibRowsToQimg(Qimg& img, const DibInfo& info, const uint8_t* colours, const uint8_t* bits, int64_t size);
// Writes img's rows bottom row first, each padded with zeros to DibStride; bits holds
// DibStride x height bytes.
void QimgToDibBits(const Qimg& img, uint8_t* bits);

}  // namespace rf
