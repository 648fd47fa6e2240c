// Windows device-independent bitmaps (format 3): file and information headers, bit fields,
// colour table, padded rows of 1 to 32 bits (bottom-up or top-down) or 4- and 8-bit run-length
// data.
#include "formats/ff_bmp.h"

#include <algorithm>
#include <cstring>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 3;
constexpr int32_t kFileHeader = 14;
constexpr int32_t kInfoHeader = 40;
constexpr int32_t kCoreHeader = 12;  // OS/2
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;
// Headers from 52 bytes on hold the masks; after the 40-byte one they follow it: either way here.
constexpr int64_t kMasksOffset = kFileHeader + kInfoHeader;
constexpr int32_t kPaletteBuffer = 1024;

int32_t RowPadding(int64_t rowBytes) { return int32_t((4 - rowBytes % 4) % 4); }

// Bytes of one row in the file: whole 32-bit words.
int64_t FileStride(const QImgFile& imgf) { return (int64_t(imgf.width) * imgf.fileBpp + 31) / 32 * 4; }
int64_t FileRowBytes(const QImgFile& imgf) { return (int64_t(imgf.width) * imgf.fileBpp + 7) / 8; }

// Pixel k of a run of value: the byte itself, or its two nibbles in turn from the high one.
uint8_t RunPixel(uint8_t value, int64_t k, int32_t bits) {
  if (bits == 8) return value;
  return uint8_t(k & 1 ? value & 15 : value >> 4);
}

// Count and value pairs; a count of 0 introduces an escape: 0 end of line, 1 end of bitmap,
// 2 a move by (dx, dy), 3 or more that many pixels as they stand, padded to a word. Pixels are
// bytes, or nibbles when bits is 4. The end of a line continues at the start of the next row
// whatever the line's length was. A run, copy or move that would pass the end of the output or
// of the data stops there.
void DecodeRle(const uint8_t* src, size_t length, uint8_t* dst, int64_t width, int64_t height, int32_t bits) {
  const int64_t size = width * height;
  int64_t pos = 0, x = 0, y = 0;
  size_t in = 0;
  while (length - in >= 2 && pos < size) {
    const uint8_t count = src[in], value = src[in + 1];
    in += 2;
    if (count != 0) {
      const int64_t n = std::min<int64_t>(count, size - pos);
      for (int64_t k = 0; k < n; ++k) dst[pos + k] = RunPixel(value, k, bits);
      pos += count;
      x += count;
    } else if (value == 0) {
      x = 0;
      ++y;
      pos = y * width;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (length - in < 2) return;
      x += src[in];
      y += src[in + 1];
      in += 2;
      pos = y * width + x;
    } else {
      const size_t bytes = bits == 8 ? value : (value + 1u) / 2;
      const int64_t present = int64_t(length - in) * 8 / bits;
      const int64_t n = std::min({int64_t(value), present, size - pos});
      for (int64_t k = 0; k < n; ++k) dst[pos + k] = RunPixel(src[in + size_t(k * bits / 8)], k, bits);
      if (n < value) return;
      pos += value;
      x += value;
      in += bytes + (bytes & 1u);
      in = std::min(in, length);
    }
  }
}

bool Contiguous(uint32_t mask) {
  if (mask == 0) return true;
  const uint32_t m = mask >> __builtin_ctz(mask);
  return (m & (m + 1)) == 0;
}

// The picture depth that holds pixels of these masks: 15 or 16 bits where they are that layout,
// 32 with alpha, else 24; 0 when a mask is broken or lies outside the pixel.
int32_t MaskedDepth(const uint32_t* masks, int32_t bitCount) {
  const uint64_t outside = ~((uint64_t(1) << bitCount) - 1);
  for (int32_t c = 0; c < 4; ++c)
    if (!Contiguous(masks[c]) || (masks[c] & outside) != 0) return 0;
  if (masks[3] != 0) return 32;
  const auto is = [masks](uint32_t r, uint32_t g, uint32_t b) {
    return masks[0] == r && masks[1] == g && masks[2] == b;
  };
  if (bitCount == 16 && is(0x7C00, 0x3E0, 0x1F)) return 15;
  if (bitCount == 16 && is(0xF800, 0x7E0, 0x1F)) return 16;
  return 24;
}

// Masks of bit-field files; files without them, or with no colour mask at all, have the
// standard layout of their bit count (5 bits a colour at 16 bits, a byte at 32).
void ReadMasks(QImgFile& imgf, uint32_t compression, int64_t infoSize) {
  static constexpr uint32_t kWords[4] = {0x7C00, 0x3E0, 0x1F, 0}, kLongs[4] = {0xFF0000, 0xFF00, 0xFF, 0};
  std::memcpy(imgf.masks, imgf.fileBpp == 16 ? kWords : kLongs, sizeof imgf.masks);
  if (compression != kBitFields && compression != kAlphaBitFields) return;
  const int32_t count = compression == kAlphaBitFields || infoSize >= 56 ? 4 : 3;
  uint8_t bytes[16] = {};
  FSeek(imgf.file, kMasksOffset);
  FRead(imgf.file, bytes, 4 * count);
  ByteReader r(bytes, sizeof bytes);
  uint32_t masks[4];
  for (uint32_t& m : masks) m = r.u32le();
  if (masks[0] | masks[1] | masks[2]) std::memcpy(imgf.masks, masks, sizeof masks);
  // Masks after a 40-byte header come before the colour table.
  if (infoSize == kInfoHeader) imgf.paletteOffset += 4 * count;
}

// One channel of a pixel, scaled from its mask's width to 8 bits with rounding.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int32_t shift = __builtin_ctz(mask);
  const uint64_t max = mask >> shift, v = (pixel & mask) >> shift;
  return uint8_t((v * 255 + max / 2) / max);
}

// One file row into picture pixels: indices of 1 or 4 bits from the highest bit on, or pixels of
// 16 or 32 bits through their masks.
void ExpandRow(const QImgFile& imgf, const uint8_t* src, uint8_t* dst) {
  const int32_t bits = imgf.fileBpp;
  for (int64_t x = 0; x < imgf.width; ++x) {
    if (bits < 8) {
      const int64_t bit = x * bits;
      dst[x] = uint8_t((src[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1));
      continue;
    }
    const uint8_t* p = src + x * (bits / 8);
    const uint32_t pixel =
        bits == 16 ? uint32_t(p[0] | p[1] << 8) : uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24;
    uint8_t* d = dst + x * imgf.bytesPerPixel;
    // The picture keeps blue, green, red and alpha.
    for (int32_t c = 0; c < imgf.bytesPerPixel; ++c) d[c] = Channel(pixel, imgf.masks[c == 3 ? 3 : 2 - c]);
  }
}

// Rows whose pixels the picture does not hold as they stand, one at a time through a buffer.
void ExpandRows(QImgFile& imgf, Qimg& img) {
  const int64_t stride = FileStride(imgf);
  const auto rowBytes = int32_t(FileRowBytes(imgf));
  _memalloc_(imgf.CmpsData, rowBytes, MEM_RESIZE, "ConForm.DIBLoad_.row");
  for (int32_t i = 0; i < imgf.height; ++i) {
    const int32_t row = imgf.bottomUp ? imgf.height - 1 - i : i;
    FSeek(imgf.file, imgf.dataOffset + stride * i);
    FRead(imgf.file, imgf.CmpsData, rowBytes);
    ExpandRow(imgf, imgf.CmpsData, img.data + size_t(row) * size_t(imgf.rowBytes));
  }
  MemFree(imgf.CmpsData);
}

// Rows the picture holds byte for byte: 8 and 24 bits, and 16 bits in its 15- or 16-bit layout.
bool DirectRows(const QImgFile& imgf) {
  return imgf.fileBpp == 8 || imgf.fileBpp == 24 || (imgf.fileBpp == 16 && imgf.bpp <= 16);
}

// Error (7, 9) when the file ends before the data begins or before the last plain row ends (its
// padding may be missing).
void CheckData(const QImgFile& imgf) {
  if (imgf.dataOffset < 0 || imgf.dataOffset > imgf.fileSize) ImgFileFail(7, 9);
  if (imgf.compressed) return;
  if (imgf.dataOffset + FileStride(imgf) * (imgf.height - 1) + FileRowBytes(imgf) > imgf.fileSize) ImgFileFail(7, 9);
}

// The picture depth of a file's pixels: indices of up to 8 bits in 8, 24 as it stands, 16 and 32
// bits by their masks; 0 for any other bit count or broken masks.
int32_t PictureDepth(const QImgFile& imgf) {
  switch (imgf.fileBpp) {
    case 1:
    case 4:
    case 8:
      return 8;
    case 24:
      return 24;
    case 16:
    case 32:
      return MaskedDepth(imgf.masks, imgf.fileBpp);
    default:
      return 0;
  }
}

void ReadPalette(const QImgFile& imgf, Qimg& img) {
  FSeek(imgf.file, imgf.paletteOffset);
  if (imgf.os2Header) {
    FRead(imgf.file, img.palette, int32_t(imgf.paletteSize));
    return;
  }
  uint8_t buf[kPaletteBuffer] = {};
  FRead(imgf.file, buf, int32_t(imgf.paletteSize));
  for (int32_t i = 0; i < 256; ++i) std::memcpy(img.palette[i], buf + 4 * i, 3);
}

void WriteHeaders(const QImgFile& imgf, int32_t paletteBytes, int32_t rowPadding) {
  const auto imageSize = uint32_t((imgf.rowBytes + rowPadding) * imgf.height);
  const uint32_t offset = uint32_t(kFileHeader + kInfoHeader + paletteBytes);
  ByteWriter w;
  w.u8('B');
  w.u8('M');
  w.u32le(offset + imageSize);
  w.u16le(0);
  w.u16le(0);
  w.u32le(offset);
  w.u32le(kInfoHeader);
  w.u32le(uint32_t(imgf.width));
  w.u32le(uint32_t(imgf.height));  // positive: bottom row first
  w.u16le(1);
  w.u16le(uint32_t(imgf.bytesPerPixel * 8));
  w.u32le(0);  // uncompressed
  w.u32le(imageSize);
  w.u32le(0);
  w.u32le(0);
  w.u32le(uint32_t(paletteBytes / 4));
  w.u32le(uint32_t(paletteBytes / 4));
  FWrite(imgf.file, w.bytes().data(), int32_t(w.size()));
}

void WritePalette(const QImgFile& imgf, const Qimg& img) {
  uint8_t quads[kPaletteBuffer] = {};
  for (int32_t i = 0; i < 256; ++i) std::memcpy(quads + 4 * i, img.palette[i], 3);
  FWrite(imgf.file, quads, kPaletteBuffer);
}

}  // namespace

void DIBOpen_(QImgFile& imgf, std::string_view name) {
  Guarded("ConForm.DIBOpen_", [&] {
    uint8_t bytes[kFileHeader + kInfoHeader] = {};
    ImgFileOpenRead(imgf, name, bytes, kFileHeader + 4);
    ByteReader head(bytes, kFileHeader + 4);
    if (head.u8() != 'B' || head.u8() != 'M') ImgFileFail(7, 2);
    head.skip(8);  // file size, reserved words
    const int64_t pixelOffset = head.u32le();
    const int64_t infoSize = head.u32le();
    imgf.os2Header = infoSize == kCoreHeader ? RF_TRUE : RF_FALSE;
    const int32_t rest = imgf.os2Header ? kCoreHeader - 4 : kInfoHeader - 4;
    FRead(imgf.file, bytes + kFileHeader + 4, rest);
    ByteReader info(bytes + kFileHeader + 4, size_t(rest));
    int64_t width, height;
    int32_t bitCount;
    uint32_t compression = 0;
    if (imgf.os2Header) {
      width = info.u16le();
      height = info.u16le();
      info.u16le();  // planes
      bitCount = info.u16le();
    } else {
      width = info.i32le();
      height = info.i32le();
      info.u16le();  // planes
      bitCount = info.u16le();
      // Short headers of other writers end before the compression field.
      if (infoSize >= 20) compression = info.u32le();
    }
    // A negative height marks rows stored top row first; one whose size has no positive
    // counterpart is refused rather than reported as some other number.
    imgf.bottomUp = height >= 0 ? RF_TRUE : RF_FALSE;
    height = height < 0 ? -height : height;
    if (height > INT32_MAX) ImgFileFail(7, 2);
    // Other compressions are read as plain rows.
    const bool coded =
        !imgf.os2Header && ((bitCount <= 8 && compression == kRle8) || (bitCount == 4 && compression == kRle4));
    imgf.compressed = coded ? RF_TRUE : RF_FALSE;
    imgf.runBits = compression == kRle4 ? 4 : 8;
    imgf.fileBpp = bitCount;
    imgf.paletteOffset = infoSize + kFileHeader;
    if (bitCount == 16 || bitCount == 32) ReadMasks(imgf, imgf.os2Header ? 0 : compression, infoSize);
    const int32_t depth = PictureDepth(imgf);
    imgf.supported = depth != 0 ? RF_TRUE : RF_FALSE;
    ImgFileSetGeometry(imgf, int32_t(width), int32_t(height), depth != 0 ? depth : bitCount);
    imgf.paletteSize = std::clamp<int64_t>(pixelOffset - imgf.paletteOffset, 0, imgf.os2Header ? 768 : 1024);
    imgf.dataOffset = pixelOffset;
  });
}

void DIBInfo(std::string_view name, QffInfo& info) {
  QImgFile imgf;
  Guarded("ConForm.DIBInfo", [&] {
    DIBOpen_(imgf, name);
    ImgFileFillInfo(imgf, kFormatId, imgf.width >= 1 && imgf.height >= 1, info);
    FClose(imgf.file);
  });
}

void DIBLoad_(std::string_view name, Qimg& img) {
  QImgFile imgf;
  Guarded("ConForm.DIBLoad_", [&] {
    ImgFileFreeOnFailure(img);
    DIBOpen_(imgf, name);
    if (!imgf.supported) ImgFileFail(7, 1);
    if (!ImgCheckDims(imgf.width, imgf.height, imgf.bpp)) MonAbort();
    CheckData(imgf);
    if (_imgalloc_(img, imgf.width, imgf.height, imgf.bpp, "ConForm.DIBLoad_.ih") != 0) MonAbort();
    if (imgf.bytesPerPixel == 1 && imgf.paletteSize > 0) ReadPalette(imgf, img);
    ImgSetDims(img, imgf.width, imgf.height, imgf.bpp);
    if (imgf.compressed) {
      // Two bytes per pixel, with room for lines coded to their padded length and their ends.
      const int64_t most = 2 * (int64_t(imgf.width) * imgf.height + 8 * int64_t(imgf.height) + 8);
      GetCmpsData_(imgf, most);
      std::memset(img.data, 0, size_t(img.size));
      DecodeRle(imgf.CmpsData, size_t(imgf.cmpsLength), img.data, imgf.width, imgf.height, imgf.runBits);
      MemFree(imgf.CmpsData);
      if (imgf.bottomUp) ImgFlipV(img, img);
    } else if (DirectRows(imgf)) {
      Dsk2Mem_(imgf, img.data, int32_t(FileStride(imgf) - imgf.rowBytes));
    } else {
      ExpandRows(imgf, img);
    }
    ImgClear15BitTop(img);
    FClose(imgf.file);
  });
}

void DIBSave_(std::string_view name, const Qimg& img) {
  QImgFile imgf;
  Guarded("ConForm.DIBSave_", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    ImgFileCreate(imgf, name);
    ImgFileSetGeometry(imgf, img.width, img.height, img.bpp);
    const int32_t paletteBytes = imgf.bytesPerPixel == 1 ? kPaletteBuffer : 0;
    const int32_t padding = RowPadding(imgf.rowBytes);
    WriteHeaders(imgf, paletteBytes, padding);
    if (paletteBytes) WritePalette(imgf, img);
    Mem2Dsk_(imgf, img, padding);
    FClose(imgf.file);
  });
}

}  // namespace rf
