// Windows device-independent bitmaps (format 3): file and information headers, colour table,
// padded bottom-up rows or 8-bit run-length data.
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
constexpr int32_t kPaletteBuffer = 1024;

int32_t RowPadding(int64_t rowBytes) { return int32_t((4 - rowBytes % 4) % 4); }

// Count and value pairs; a count of 0 introduces an escape: 0 end of line, 1 end of bitmap,
// 2 a move by (dx, dy), 3 or more that many bytes as they stand, padded to a word. The end of
// a line continues at the start of the next row whatever the line's length was. A run, copy or
// move that would pass the end of the output or of the data stops there.
void DecodeRle8(const uint8_t* src, size_t length, uint8_t* dst, int64_t width, int64_t height) {
  const int64_t size = width * height;
  int64_t pos = 0, x = 0, y = 0;
  size_t in = 0;
  while (length - in >= 2 && pos < size) {
    const uint8_t count = src[in], value = src[in + 1];
    in += 2;
    if (count != 0) {
      std::memset(dst + pos, value, size_t(std::min<int64_t>(count, size - pos)));
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
      const size_t n = std::min({size_t(value), length - in, size_t(size - pos)});
      std::memcpy(dst + pos, src + in, n);
      if (n < value) return;
      pos += value;
      x += value;
      in += value + (value & 1u);
      in = std::min(in, length);
    }
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
    int32_t width, height, bitCount;
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
    imgf.compressed = !imgf.os2Header && bitCount <= 8 && compression == kRle8 ? RF_TRUE : RF_FALSE;
    imgf.supported = bitCount == 8 || bitCount == 16 || bitCount == 24 ? RF_TRUE : RF_FALSE;
    ImgFileSetGeometry(imgf, width, height, bitCount == 16 ? 15 : bitCount);
    imgf.bottomUp = RF_TRUE;
    imgf.paletteOffset = infoSize + kFileHeader;
    imgf.paletteSize = std::clamp<int64_t>(pixelOffset - infoSize - kFileHeader, 0, imgf.os2Header ? 768 : 1024);
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
    const int32_t padding = RowPadding(imgf.rowBytes);
    ImgFileCheckData(imgf, padding);
    if (_imgalloc_(img, imgf.width, imgf.height, imgf.bpp, "ConForm.DIBLoad_.ih") != 0) MonAbort();
    if (imgf.bytesPerPixel == 1 && imgf.paletteSize > 0) ReadPalette(imgf, img);
    ImgSetDims(img, imgf.width, imgf.height, imgf.bpp);
    if (imgf.compressed) {
      // Two bytes per pixel, with room for lines coded to their padded length and their ends.
      const int64_t most = 2 * (int64_t(imgf.width) * imgf.height + 8 * int64_t(imgf.height) + 8);
      GetCmpsData_(imgf, most);
      DecodeRle8(imgf.CmpsData, size_t(imgf.cmpsLength), img.data, imgf.width, imgf.height);
      MemFree(imgf.CmpsData);
      ImgFlipV(img, img);
    } else {
      Dsk2Mem_(imgf, img.data, padding);
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
