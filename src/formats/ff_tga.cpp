// Truevision Targa pictures (format 1): 18-byte header, colour map, plain or run-length pixels.
#include "formats/ff_tga.h"

#include <algorithm>
#include <cstring>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 1;
constexpr int32_t kHeaderSize = 18;
constexpr int32_t kTypeMapped = 1;
constexpr int32_t kTypeTrue = 2;
constexpr int32_t kTypeGrey = 3;
constexpr int32_t kTypeRle = 8;  // added to the plain types
constexpr int32_t kOriginTop = 32;
constexpr int32_t kPaletteBuffer = 1024;
// The header's size fields are 16-bit.
constexpr int32_t kMaxSide = 65535;

int32_t g_compression = -1;

bool IsMapped(int32_t type) { return (type & ~kTypeRle) == kTypeMapped; }
bool IsGrey(int32_t type) { return (type & ~kTypeRle) == kTypeGrey; }

// Colour-map entries of 2 (15-bit colour), 3 or 4 bytes into the picture palette from the first
// index on; entries past the palette's 256 are dropped.
void ConvertPalette(const uint8_t* buf, int32_t bytes, const QImgFile& imgf, Qimg& img) {
  const int32_t size = imgf.palEntrySize;
  if (size < 2 || size > 4) return;
  for (int32_t i = 0; i < bytes / size; ++i) {
    const int32_t index = imgf.firstPalIndex + i;
    if (index >= 256) break;
    const uint8_t* e = buf + i * size;
    uint8_t* p = img.palette[index];
    if (size == 2) {
      const uint32_t w = uint32_t(e[0] | (e[1] << 8));
      p[0] = uint8_t((w & 0x1F) << 3);
      p[1] = uint8_t(((w >> 5) & 0x1F) << 3);
      p[2] = uint8_t(((w >> 10) & 0x1F) << 3);
    } else {
      std::memcpy(p, e, 3);
    }
  }
}

void ReadPalette(const QImgFile& imgf, Qimg& img) {
  uint8_t buf[kPaletteBuffer] = {};
  const auto bytes = int32_t(std::min<int64_t>(imgf.paletteSize, kPaletteBuffer));
  FSeek(imgf.file, imgf.paletteOffset);
  FRead(imgf.file, buf, bytes);
  ConvertPalette(buf, bytes, imgf, img);
}

// Packets of one header byte each: 128 + n - 1 before one pixel repeated n times, or n - 1
// before n pixels as they stand. Packets may cross rows; a packet that would run past the end of
// the output or of the data is cut there.
void DecodeRle(const uint8_t* src, size_t length, uint8_t* dst, size_t size, size_t pixel) {
  size_t in = 0, out = 0;
  while (in < length && out < size) {
    const uint8_t header = src[in++];
    const size_t count = (header & 127u) + 1;
    if (header & 128u) {
      if (length - in < pixel) return;
      for (size_t k = 0; k < count && out < size; ++k, out += pixel) std::memcpy(dst + out, src + in, pixel);
      in += pixel;
    } else {
      const size_t n = std::min({count, (length - in) / pixel, (size - out) / pixel});
      std::memcpy(dst + out, src + in, n * pixel);
      in += n * pixel;
      out += n * pixel;
      if (n < count) return;
    }
  }
}

// Codes one row of N-byte pixels into out, which holds at least the row's bytes and one header
// per 128 pixels; returns the bytes written. Two or more equal neighbours form a run packet of up
// to 128 pixels, other pixels gather into literal packets of up to 128; no packet crosses the
// row's end. N is a constant so that each pixel comparison is one load, not a call.
template <int N>
int32_t CodeRowOf(const uint8_t* row, int32_t width, uint8_t* out) {
  auto same = [row](int32_t a, int32_t b) { return std::memcmp(row + size_t(a) * N, row + size_t(b) * N, N) == 0; };
  uint8_t* o = out;
  int32_t x = 0;
  while (x < width) {
    int32_t count = 1;
    while (x + count < width && count < 128 && same(x, x + count)) ++count;
    if (count >= 2) {
      *o++ = uint8_t(127 + count);
      std::memcpy(o, row + size_t(x) * N, N);
      o += N;
    } else {
      // A literal ends where two equal neighbours begin a run.
      while (x + count < width && count < 128 && !(x + count + 1 < width && same(x + count, x + count + 1))) ++count;
      *o++ = uint8_t(count - 1);
      std::memcpy(o, row + size_t(x) * N, size_t(count) * N);
      o += size_t(count) * N;
    }
    x += count;
  }
  return int32_t(o - out);
}

// CodeRowOf for the pixel size at hand; -1 when out (capacity bytes) could be too small.
int32_t CodeRow(const uint8_t* row, int32_t width, int32_t pixel, uint8_t* out, int32_t capacity) {
  if (int64_t(width) * pixel + (width + 127) / 128 > capacity) return -1;
  switch (pixel) {
    case 1:
      return CodeRowOf<1>(row, width, out);
    case 2:
      return CodeRowOf<2>(row, width, out);
    case 3:
      return CodeRowOf<3>(row, width, out);
    case 4:
      return CodeRowOf<4>(row, width, out);
    default:
      return -1;
  }
}

void WriteHeader(const QImgFile& imgf, bool coded) {
  const bool mapped = imgf.bytesPerPixel == 1;
  ByteWriter w;
  w.u8(0);  // ID length
  w.u8(mapped ? 1 : 0);
  w.u8((mapped ? kTypeMapped : kTypeTrue) + (coded ? kTypeRle : 0));
  w.u16le(0);  // first entry index
  w.u16le(mapped ? 256 : 0);
  w.u8(mapped ? 24 : 0);
  w.u16le(0);  // x origin
  w.u16le(0);  // y origin
  w.u16le(uint32_t(imgf.width));
  w.u16le(uint32_t(imgf.height));
  w.u8(uint32_t(imgf.bytesPerPixel * 8));
  w.u8(0);  // bottom-left origin
  FWrite(imgf.file, w.bytes().data(), int32_t(w.size()));
}

void WriteCodedRows(QImgFile& imgf, const Qimg& img) {
  const auto rowBytes = int32_t(imgf.rowBytes);
  _memalloc_(imgf.CmpsData, 2 * rowBytes, MEM_RESIZE, "ConForm.TGASave_.imgf.CmpsData");
  for (int32_t row = img.height - 1; row >= 0; --row) {
    const int32_t n =
        CodeRow(img.data + size_t(row) * rowBytes, img.width, img.bytesPerPixel, imgf.CmpsData, 2 * rowBytes);
    if (n < 0) ImgFileFail(7, 5);
    FWrite(imgf.file, imgf.CmpsData, n);
  }
  MemFree(imgf.CmpsData);
}

}  // namespace

void TGASetCompression(int32_t value) { g_compression = value; }

void TGAOpen_(QImgFile& imgf, std::string_view name) {
  Guarded("ConForm.TGAOpen_", [&] {
    uint8_t bytes[kHeaderSize];
    ImgFileOpenRead(imgf, name, bytes, kHeaderSize);
    ByteReader r(bytes, sizeof bytes);
    const int32_t idLength = r.u8();
    const int32_t mapType = r.u8();
    const int32_t type = r.u8();
    const int32_t firstEntry = r.u16le();
    const int32_t mapLength = r.u16le();
    const int32_t entryBits = r.u8();
    r.skip(4);  // origin
    const int32_t width = r.u16le();
    const int32_t height = r.u16le();
    const int32_t depth = r.u8();
    const int32_t descriptor = r.u8();
    const int32_t plainType = type & ~kTypeRle;
    // A colour-map type past 1 is no picture of this format: other files whose bytes happen to
    // make a valid image type are refused by it.
    if ((type & 0xF0) != 0 || plainType < kTypeMapped || plainType > kTypeGrey || mapType > 1) ImgFileFail(7, 2);

    ImgFileSetGeometry(imgf, width, height, depth == 16 ? 15 : depth);
    // Colour-mapped pixels are palette indices, grey ones grey levels; other depths have no
    // picture layout.
    const bool layout = imgf.bpp == 8 || imgf.bpp == 15 || imgf.bpp == 24 || imgf.bpp == 32;
    const bool oneByte = IsMapped(type) || IsGrey(type);
    imgf.supported = layout && (!oneByte || imgf.bpp == 8) ? RF_TRUE : RF_FALSE;
    imgf.compressed = (type & kTypeRle) ? RF_TRUE : RF_FALSE;
    imgf.bottomUp = (descriptor & kOriginTop) ? RF_FALSE : RF_TRUE;
    imgf.palEntrySize = (entryBits + 7) / 8;
    imgf.firstPalIndex = firstEntry;
    // A colour map is only there when the map type says so, whatever the entry size claims.
    imgf.paletteSize = mapType != 0 ? int64_t(mapLength) * imgf.palEntrySize : 0;
    imgf.grey = IsGrey(type) ? RF_TRUE : RF_FALSE;
    imgf.paletteOffset = kHeaderSize + idLength;
    imgf.dataOffset = imgf.paletteOffset + imgf.paletteSize;
  });
}

void TGAInfo(std::string_view name, QffInfo& info) {
  QImgFile imgf;
  Guarded("ConForm.TGAInfo", [&] {
    TGAOpen_(imgf, name);
    ImgFileFillInfo(imgf, kFormatId, imgf.bpp >= 1 && imgf.bpp <= 32, info);
    FClose(imgf.file);
  });
}

void TGALoad_(std::string_view name, Qimg& img) {
  QImgFile imgf;
  Guarded("ConForm.TGALoad_", [&] {
    ImgFileFreeOnFailure(img);
    TGAOpen_(imgf, name);
    if (!imgf.supported) ImgFileFail(7, 1);
    if (!ImgCheckDims(imgf.width, imgf.height, imgf.bpp)) MonAbort();
    ImgFileCheckData(imgf, 0);
    if (_imgalloc_(img, imgf.width, imgf.height, imgf.bpp, "ConForm.TGALoad_.ih") != 0) MonAbort();
    if (imgf.grey)
      ImgFileGreyPalette(img);
    else if (imgf.paletteSize > 0)
      ReadPalette(imgf, img);
    ImgSetDims(img, imgf.width, imgf.height, imgf.bpp);
    if (imgf.compressed) {
      // Each packet yields at least one pixel, so longer data cannot be needed.
      const int64_t pixels = int64_t(imgf.width) * imgf.height;
      GetCmpsData_(imgf, pixels * (1 + imgf.bytesPerPixel));
      DecodeRle(imgf.CmpsData, size_t(imgf.cmpsLength), img.data, size_t(imgf.imageBytes), size_t(imgf.bytesPerPixel));
      MemFree(imgf.CmpsData);
      if (imgf.bottomUp) ImgFlipV(img, img);
    } else {
      Dsk2Mem_(imgf, img.data, 0);
    }
    ImgClear15BitTop(img);
    FClose(imgf.file);
  });
}

void TGASave_(std::string_view name, const Qimg& img) {
  QImgFile imgf;
  Guarded("ConForm.TGASave_", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    if (img.width > kMaxSide || img.height > kMaxSide) ImgFileFail(7, 1);
    ImgFileCreate(imgf, name);
    ImgFileSetGeometry(imgf, img.width, img.height, img.bpp);
    const bool coded = g_compression != 0;
    WriteHeader(imgf, coded);
    if (imgf.bytesPerPixel == 1) FWrite(imgf.file, img.palette, int32_t(sizeof img.palette));
    if (coded)
      WriteCodedRows(imgf, img);
    else
      Mem2Dsk_(imgf, img, 0);
    FClose(imgf.file);
  });
}

}  // namespace rf
