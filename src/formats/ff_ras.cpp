// Sun raster pictures (format 14): 32-byte big-endian header, optional colour map in red, green
// and blue planes, rows padded to an even length, plain or coded by the Sun run-length rule.
#include "formats/ff_ras.h"

#include <algorithm>
#include <cstring>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 14;
constexpr uint32_t kMagic = 0x59A66A95;
constexpr int32_t kHeaderSize = 32;
constexpr int32_t kLengthOffset = 16;
constexpr int32_t kTypeStandard = 1;
constexpr int32_t kTypeCoded = 2;
constexpr int32_t kTypeRgb = 3;
constexpr int32_t kMaxType = 5;
constexpr uint8_t kEscape = 0x80;
constexpr int32_t kMaxRun = 256;

int32_t g_compression = 1;

int64_t RowBytes(const QRASFile& ras) { return int64_t(ras.f.width) * (ras.depth / 8); }
int64_t PaddedRowBytes(const QRASFile& ras) { return (RowBytes(ras) + 1) & ~int64_t(1); }

// Rows are padded to an even length, but files of older writers hold them unpadded; such files
// say so by a data length (for coded files, a decoded length) of exactly the unpadded rows.
int64_t RowStride(const QRASFile& ras, int64_t length) {
  return length == RowBytes(ras) * ras.f.height ? RowBytes(ras) : PaddedRowBytes(ras);
}

// The Sun rule: 80 hex, 0 is 80 hex itself; 80 hex, n, v is n + 1 copies of v; any other byte
// stands for itself. Stops at the end of either buffer; returns the bytes written.
size_t DecodeSun(const uint8_t* src, size_t length, uint8_t* dst, size_t size) {
  size_t in = 0, out = 0;
  while (in < length && out < size) {
    const uint8_t b = src[in++];
    if (b != kEscape) {
      dst[out++] = b;
      continue;
    }
    if (in == length) break;
    const size_t n = src[in++];
    if (n == 0) {
      dst[out++] = kEscape;
      continue;
    }
    if (in == length) break;
    const size_t k = std::min(n + 1, size - out);
    std::memset(dst + out, src[in++], k);
    out += k;
  }
  return out;
}

// Codes one row into out (at least 2 * n bytes); returns the bytes written. Runs of three or more
// (of two or more for 80 hex, which costs two bytes alone) become run packets of at most 256.
int32_t CodeRow(const uint8_t* row, int32_t n, uint8_t* out) {
  int32_t used = 0;
  for (int32_t i = 0; i < n;) {
    const uint8_t v = row[i];
    int32_t j = i + 1;
    while (j < n && row[j] == v && j - i < kMaxRun) ++j;
    const int32_t run = j - i;
    if (v == kEscape && run == 1) {
      out[used++] = kEscape;
      out[used++] = 0;
    } else if (v == kEscape || run >= 3) {
      out[used++] = kEscape;
      out[used++] = uint8_t(run - 1);
      out[used++] = v;
    } else {
      for (int32_t k = 0; k < run; ++k) out[used++] = v;
    }
    i = j;
  }
  return used;
}

// One row of file pixels into picture pixels: 32-bit pixels lose their first byte, red-green-blue
// files are turned to blue-green-red. dst may be src when the pixel sizes are equal.
void ConvertRow(const QRASFile& ras, const uint8_t* src, uint8_t* dst) {
  if (ras.depth == 8) {
    if (dst != src) std::memcpy(dst, src, size_t(ras.f.width));
    return;
  }
  const size_t step = size_t(ras.depth / 8);
  const bool rgb = ras.type == kTypeRgb;
  for (int32_t x = 0; x < ras.f.width; ++x) {
    const uint8_t* s = src + size_t(x) * step + (step - 3);
    const uint8_t a = s[0], b = s[1], c = s[2];
    uint8_t* d = dst + size_t(x) * 3;
    d[0] = rgb ? c : a;
    d[1] = b;
    d[2] = rgb ? a : c;
  }
}

void ReadColourMap(const QRASFile& ras, Qimg& img) {
  const uint32_t entries = ras.mapLength / 3;
  const auto count = int32_t(std::min<uint32_t>(entries, 256));
  uint8_t plane[256];
  for (int32_t p = 0; p < 3; ++p) {
    FSeek(ras.f.file, kHeaderSize + int64_t(p) * entries);
    FRead(ras.f.file, plane, count);
    for (int32_t i = 0; i < count; ++i) img.palette[i][2 - p] = plane[i];
  }
}

void LoadPlain(QRASFile& ras, Qimg& img) {
  const int64_t rowBytes = RowBytes(ras), stride = RowStride(ras, ras.dataLength);
  // The last row's padding may be missing.
  if (ras.f.dataOffset + stride * (img.height - 1) + rowBytes > ras.f.fileSize) ImgFileFail(7, 9);
  _memalloc_(ras.f.CmpsData, int32_t(rowBytes), MEM_RESIZE, "FF_RAS.RASLoad.row");
  for (int32_t y = 0; y < img.height; ++y) {
    FSeek(ras.f.file, ras.f.dataOffset + stride * y);
    FRead(ras.f.file, ras.f.CmpsData, int32_t(rowBytes));
    ConvertRow(ras, ras.f.CmpsData, img.data + size_t(y) * img.width * img.bytesPerPixel);
  }
  MemFree(ras.f.CmpsData);
}

void LoadCoded(QRASFile& ras, uint8_t*& pixels, Qimg& img) {
  const int64_t bytes = PaddedRowBytes(ras) * img.height;
  // Each input byte yields at least half an output byte.
  GetCmpsData_(ras.f, 2 * bytes + 2);
  _memalloc_(pixels, int32_t(bytes), MEM_RESIZE, "FF_RAS.RASLoad.pixels");
  std::memset(pixels, 0, size_t(bytes));
  const auto decoded = int64_t(DecodeSun(ras.f.CmpsData, size_t(ras.f.cmpsLength), pixels, size_t(bytes)));
  MemFree(ras.f.CmpsData);
  const int64_t stride = RowStride(ras, decoded);
  for (int32_t y = 0; y < img.height; ++y)
    ConvertRow(ras, pixels + y * stride, img.data + size_t(y) * img.width * img.bytesPerPixel);
  MemFree(pixels);
}

void WriteHeader(const QImgFile& f, int64_t rowBytes, bool coded) {
  const bool mapped = f.bpp == 8;
  ByteWriter w;
  w.u32be(kMagic);
  w.u32be(uint32_t(f.width));
  w.u32be(uint32_t(f.height));
  w.u32be(uint32_t(f.bpp));
  w.u32be(uint32_t(rowBytes * f.height));
  w.u32be(coded ? kTypeCoded : kTypeStandard);
  w.u32be(mapped ? 1 : 0);
  w.u32be(mapped ? 768 : 0);
  FWrite(f.file, w.bytes().data(), int32_t(w.size()));
}

}  // namespace

void RASSetCompression(int32_t value) { g_compression = value; }

void RASOpen_(QRASFile& ras, std::string_view name) {
  Guarded("FF_RAS.RASOpen_", [&] {
    ras = QRASFile{};
    uint8_t bytes[kHeaderSize];
    ImgFileOpenRead(ras.f, name, bytes, kHeaderSize);
    ByteReader r(bytes, sizeof bytes);
    const uint32_t magic = r.u32be();
    const int64_t width = r.u32be();
    const int64_t height = r.u32be();
    const int64_t depth = r.u32be();
    ras.dataLength = r.u32be();
    const uint32_t type = r.u32be();
    const uint32_t mapType = r.u32be();
    ras.mapLength = r.u32be();
    if (magic != kMagic) ImgFileFail(7, 2);
    // Sizes the record cannot hold, and depths past 16 bits (which would overflow the geometry's
    // byte counts), are damage: refused rather than reported as some other number.
    if (width > INT32_MAX || height > INT32_MAX || depth > 0xFFFF) ImgFileFail(7, 2);
    // Other values past 31 bits are damage too; clamped, they stay unsupported.
    auto clamp = [](uint32_t v) { return int32_t(std::min<uint32_t>(v, 0x7FFFFFFF)); };
    ras.depth = int32_t(depth);
    ras.type = clamp(type);
    ras.mapType = clamp(mapType);
    const bool layout = depth == 8 || depth == 24 || depth == 32;
    ImgFileSetGeometry(ras.f, int32_t(width), int32_t(height), depth == 32 ? 24 : int32_t(depth));
    ras.f.supported = layout && type <= kMaxType ? RF_TRUE : RF_FALSE;
    ras.f.compressed = type == kTypeCoded ? RF_TRUE : RF_FALSE;
    ras.f.paletteOffset = kHeaderSize;
    ras.f.paletteSize = ras.mapLength;
    ras.f.dataOffset = kHeaderSize + int64_t(ras.mapLength);
  });
}

void RASInfo(std::string_view name, QffInfo& info) {
  QRASFile ras;
  Guarded("FF_RAS.RASInfo", [&] {
    RASOpen_(ras, name);
    ImgFileFillInfo(ras.f, kFormatId, true, info);
    FClose(ras.f.file);
  });
}

void RASLoad(std::string_view name, Qimg& img) {
  QRASFile ras;
  uint8_t* pixels = nullptr;
  Guarded("FF_RAS.RASLoad", [&] {
    ImgFileFreeOnFailure(img);
    RASOpen_(ras, name);
    if (!ras.f.supported) ImgFileFail(7, 1);
    if (!ImgCheckDims(ras.f.width, ras.f.height, ras.f.bpp)) MonAbort();
    if (ras.f.dataOffset > ras.f.fileSize) ImgFileFail(7, 9);
    if (_imgalloc_(img, ras.f.width, ras.f.height, ras.f.bpp, "FF_RAS.RASLoad.img") != 0) MonAbort();
    std::memset(img.data, 0, size_t(img.size));
    std::memset(img.palette, 0, sizeof img.palette);
    if (ras.depth == 8 && ras.mapType == 1)
      ReadColourMap(ras, img);
    else if (ras.depth == 8)
      ImgFileGreyPalette(img);  // no map: grey levels
    if (ras.f.compressed)
      LoadCoded(ras, pixels, img);
    else
      LoadPlain(ras, img);
    FClose(ras.f.file);
  });
}

void RASSave(std::string_view name, const Qimg& img) {
  QImgFile f;
  Qimg temp;
  Guarded("FF_RAS.RASSave", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    ImgFileCreate(f, name);
    const Qimg& src = img.bpp == 8 ? img : ImgFileAtDepth(img, temp, 24);
    ImgFileSetGeometry(f, src.width, src.height, src.bpp);
    const bool coded = g_compression != 0;
    // Every row is padded to an even length with a zero byte.
    const int64_t padded = (f.rowBytes + 1) & ~int64_t(1);
    WriteHeader(f, padded, coded);
    if (src.bpp == 8) {
      uint8_t planes[768];
      for (int32_t p = 0; p < 3; ++p)
        for (int32_t i = 0; i < 256; ++i) planes[p * 256 + i] = src.palette[i][2 - p];
      FWrite(f.file, planes, int32_t(sizeof planes));
    }
    const auto rowBytes = int32_t(f.rowBytes);
    // One padded row, then room for coding it.
    _memalloc_(f.CmpsData, 3 * int32_t(padded), MEM_RESIZE, "FF_RAS.RASSave.cmps");
    uint8_t* row = f.CmpsData;
    uint8_t* out = f.CmpsData + padded;
    row[padded - 1] = 0;
    uint32_t codedBytes = 0;
    for (int32_t y = 0; y < src.height; ++y) {
      std::memcpy(row, src.data + size_t(y) * size_t(rowBytes), size_t(rowBytes));
      if (coded) {
        const int32_t n = CodeRow(row, int32_t(padded), out);
        FWrite(f.file, out, n);
        codedBytes += uint32_t(n);
      } else {
        FWrite(f.file, row, int32_t(padded));
      }
    }
    MemFree(f.CmpsData);
    if (coded) {
      // Readers take the length of coded data from the header, so it must be the coded length.
      ByteWriter w;
      w.u32be(codedBytes);
      FSeek(f.file, kLengthOffset);
      FWrite(f.file, w.bytes().data(), 4);
    }
    FClose(f.file);
    ImgFree(temp);
  });
}

}  // namespace rf
