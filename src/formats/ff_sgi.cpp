// Silicon Graphics pictures (format 13): 512-byte big-endian header, channel planes stored bottom
// row first, verbatim or with per-row run-length tables.
#include "formats/ff_sgi.h"

#include <algorithm>
#include <cstring>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 13;
constexpr int32_t kMagic = 474;
constexpr int32_t kHeaderRead = 108;
constexpr int32_t kDataOffset = 512;
constexpr int32_t kMaxSide = 65535;  // the header's sizes are 16-bit
constexpr int32_t kMaxRun = 127;

int32_t g_compression = 1;

// The byte of a picture pixel that channel c fills, or -1 when the picture has no room for it
// (the alpha of a grey file).
int32_t ChannelByte(int32_t channels, int32_t c) {
  static const int32_t kPlace[5][4] = {{-1}, {0, -1}, {0, -1}, {2, 1, 0, -1}, {2, 1, 0, 3}};
  return kPlace[channels][c];
}

// The SGI rule: a count byte whose low 7 bits are 0 ends the row; with bit 7 set that many bytes
// follow as they stand, else the next byte repeats that many times. Output beyond the row and
// input beyond the data are cut off.
void DecodeRow(const uint8_t* src, size_t length, uint8_t* row, size_t width) {
  size_t in = 0, out = 0;
  while (in < length && out < width) {
    const uint8_t c = src[in++];
    const size_t n = c & 127u;
    if (n == 0) return;
    if (c & 128u) {
      const size_t k = std::min({n, length - in, width - out});
      std::memcpy(row + out, src + in, k);
      in += k;
      out += k;
    } else {
      if (in == length) return;
      const size_t k = std::min(n, width - out);
      std::memset(row + out, src[in++], k);
      out += k;
    }
  }
}

// Codes one row into out, which holds at least 2 * width + 2 bytes; returns the bytes written.
// Three or more equal bytes form a repeat packet, everything else gathers into literal packets;
// both hold at most 127 bytes, and a 0 count ends the row.
int32_t CodeRow(const uint8_t* row, int32_t width, uint8_t* out) {
  auto runAt = [&](int32_t i) { return i + 2 < width && row[i] == row[i + 1] && row[i] == row[i + 2]; };
  int32_t used = 0, i = 0;
  while (i < width) {
    if (runAt(i)) {
      int32_t j = i + 1;
      while (j < width && j - i < kMaxRun && row[j] == row[i]) ++j;
      out[used++] = uint8_t(j - i);
      out[used++] = row[i];
      i = j;
    } else {
      const int32_t start = i;
      while (i < width && i - start < kMaxRun && !runAt(i)) ++i;
      out[used++] = uint8_t(128 + i - start);
      std::memcpy(out + used, row + start, size_t(i - start));
      used += i - start;
    }
  }
  out[used++] = 0;
  return used;
}

// Places one stored row of channel c into the picture, turning the bottom-first order over.
void PlaceRow(const QSGIFile& sgi, const uint8_t* row, int32_t stored, int32_t c, Qimg& img) {
  const int32_t at = ChannelByte(sgi.channels, c);
  if (at < 0) return;
  const size_t step = size_t(img.bytesPerPixel);
  uint8_t* dst = img.data + size_t(img.height - 1 - stored) * img.width * step + size_t(at);
  for (int32_t x = 0; x < img.width; ++x) dst[x * step] = row[x];
}

void LoadVerbatim(QSGIFile& sgi, Qimg& img) {
  const int64_t needed = kDataOffset + int64_t(sgi.f.width) * sgi.f.height * sgi.channels;
  if (needed > sgi.f.fileSize) ImgFileFail(7, 9);
  _memalloc_(sgi.f.CmpsData, sgi.f.width, MEM_RESIZE, "FF_SGI.SGILoad.row");
  FSeek(sgi.f.file, kDataOffset);
  for (int32_t c = 0; c < sgi.channels; ++c)
    for (int32_t y = 0; y < sgi.f.height; ++y) {
      FRead(sgi.f.file, sgi.f.CmpsData, sgi.f.width);
      PlaceRow(sgi, sgi.f.CmpsData, y, c, img);
    }
  MemFree(sgi.f.CmpsData);
}

void LoadCoded(QSGIFile& sgi, uint8_t*& tables, uint8_t*& row, Qimg& img) {
  const int32_t count = sgi.f.height * sgi.channels;
  const int64_t tableBytes = int64_t(count) * 8;
  if (kDataOffset + tableBytes > sgi.f.fileSize) ImgFileFail(7, 9);
  _memalloc_(tables, int32_t(tableBytes), MEM_RESIZE, "FF_SGI.SGILoad.tables");
  FSeek(sgi.f.file, kDataOffset);
  FRead(sgi.f.file, tables, int32_t(tableBytes));
  // A coded row never needs more than two bytes per pixel and its end mark.
  const int64_t longest = 2 * int64_t(sgi.f.width) + 2;
  _memalloc_(sgi.f.CmpsData, int32_t(longest), MEM_RESIZE, "FF_SGI.SGILoad.cmps");
  _memalloc_(row, sgi.f.width, MEM_RESIZE, "FF_SGI.SGILoad.row");
  ByteReader starts(tables, size_t(count) * 4), lengths(tables + size_t(count) * 4, size_t(count) * 4);
  for (int32_t c = 0; c < sgi.channels; ++c)
    for (int32_t y = 0; y < sgi.f.height; ++y) {
      const int64_t start = starts.u32be();
      const int64_t length = std::min<int64_t>(lengths.u32be(), longest);
      if (start + length > sgi.f.fileSize) ImgFileFail(7, 9);
      std::memset(row, 0, size_t(sgi.f.width));
      if (length > 0) {
        FSeek(sgi.f.file, start);
        FRead(sgi.f.file, sgi.f.CmpsData, int32_t(length));
        DecodeRow(sgi.f.CmpsData, size_t(length), row, size_t(sgi.f.width));
      }
      PlaceRow(sgi, row, y, c, img);
    }
  MemFree(row);
  MemFree(sgi.f.CmpsData);
  MemFree(tables);
}

void WriteHeader(const QSGIFile& sgi, bool coded) {
  ByteWriter w;
  w.u16be(kMagic);
  w.u8(coded ? 1 : 0);
  w.u8(1);  // bytes per channel
  w.u16be(3);
  w.u16be(uint32_t(sgi.f.width));
  w.u16be(uint32_t(sgi.f.height));
  w.u16be(3);
  w.u32be(0);  // minimum pixel value
  w.u32be(255);
  w.fill(0, kDataOffset - w.size());
  FWrite(sgi.f.file, w.bytes().data(), int32_t(w.size()));
}

// Pulls channel c of picture row y (BGR bytes) into row.
void TakeChannel(const Qimg& img, int32_t y, int32_t c, uint8_t* row) {
  const uint8_t* src = img.data + size_t(y) * img.width * 3 + size_t(2 - c);
  for (int32_t x = 0; x < img.width; ++x) row[x] = src[size_t(x) * 3];
}

void SaveVerbatim(QSGIFile& sgi, const Qimg& img) {
  _memalloc_(sgi.f.CmpsData, img.width, MEM_RESIZE, "FF_SGI.SGISave.row");
  for (int32_t c = 0; c < 3; ++c)
    for (int32_t y = img.height - 1; y >= 0; --y) {
      TakeChannel(img, y, c, sgi.f.CmpsData);
      FWrite(sgi.f.file, sgi.f.CmpsData, img.width);
    }
  MemFree(sgi.f.CmpsData);
}

// Writes the tables as zeros first, then the rows, then the tables over the zeros.
void SaveCoded(QSGIFile& sgi, uint8_t*& tables, uint8_t*& row, const Qimg& img) {
  const int32_t count = img.height * 3;
  const int32_t tableBytes = count * 8;
  _memalloc_(tables, tableBytes, MEM_RESIZE, "FF_SGI.SGISave.tables");
  _memalloc_(row, img.width, MEM_RESIZE, "FF_SGI.SGISave.row");
  _memalloc_(sgi.f.CmpsData, 2 * img.width + 2, MEM_RESIZE, "FF_SGI.SGISave.cmps");
  FWrite(sgi.f.file, tables, tableBytes);
  uint32_t at = uint32_t(kDataOffset + tableBytes);
  int32_t index = 0;
  auto put32 = [&](int32_t i, uint32_t v) {
    for (int32_t k = 0; k < 4; ++k) tables[i * 4 + k] = uint8_t(v >> (24 - 8 * k));
  };
  for (int32_t c = 0; c < 3; ++c)
    for (int32_t y = img.height - 1; y >= 0; --y, ++index) {
      TakeChannel(img, y, c, row);
      const int32_t n = CodeRow(row, img.width, sgi.f.CmpsData);
      FWrite(sgi.f.file, sgi.f.CmpsData, n);
      put32(index, at);
      put32(count + index, uint32_t(n));
      at += uint32_t(n);
    }
  FSeek(sgi.f.file, kDataOffset);
  FWrite(sgi.f.file, tables, tableBytes);
  MemFree(sgi.f.CmpsData);
  MemFree(row);
  MemFree(tables);
}

void FillGreyPalette(Qimg& img) {
  for (int32_t i = 0; i < 256; ++i) std::memset(img.palette[i], i, 3);
}

}  // namespace

void SGISetCompression(int32_t value) { g_compression = value; }

void SGIOpen_(QSGIFile& sgi, std::string_view name) {
  Guarded("FF_SGI.SGIOpen_", [&] {
    sgi = QSGIFile{};
    uint8_t bytes[kHeaderRead];
    ImgFileOpenRead(sgi.f, name, bytes, kHeaderRead);
    ByteReader r(bytes, sizeof bytes);
    const int32_t magic = r.u16be();
    sgi.storage = r.u8();
    sgi.bytesPerChannel = r.u8();
    sgi.dimension = r.u16be();
    int32_t width = r.u16be();
    int32_t height = r.u16be();
    int32_t channels = r.u16be();
    r.seek(104);
    sgi.colorMap = r.i32be();
    if (magic != kMagic) ImgFileFail(7, 2);
    if (sgi.dimension == 1) height = channels = 1;
    if (sgi.dimension == 2) channels = 1;
    if (sgi.dimension < 1 || sgi.dimension > 3) channels = 0;
    sgi.channels = channels;
    // Grey with alpha keeps its grey: the picture has no 16-bit grey layout.
    ImgFileSetGeometry(sgi.f, width, height, channels == 2 ? 8 : channels * 8);
    sgi.f.compressed = sgi.storage == 1 ? RF_TRUE : RF_FALSE;
    sgi.f.supported = sgi.bytesPerChannel == 1 && (sgi.storage == 0 || sgi.storage == 1) && channels >= 1 &&
                              channels <= 4 && sgi.colorMap == 0
                          ? RF_TRUE
                          : RF_FALSE;
  });
}

void SGIInfo(std::string_view name, QffInfo& info) {
  QSGIFile sgi;
  Guarded("FF_SGI.SGIInfo", [&] {
    SGIOpen_(sgi, name);
    ImgFileFillInfo(sgi.f, kFormatId, true, info);
    FClose(sgi.f.file);
  });
}

void SGILoad(std::string_view name, Qimg& img) {
  QSGIFile sgi;
  uint8_t* tables = nullptr;
  uint8_t* row = nullptr;
  Guarded("FF_SGI.SGILoad", [&] {
    ImgFileFreeOnFailure(img);
    SGIOpen_(sgi, name);
    if (!sgi.f.supported) ImgFileFail(7, 1);
    if (!ImgCheckDims(sgi.f.width, sgi.f.height, sgi.f.bpp)) MonAbort();
    if (_imgalloc_(img, sgi.f.width, sgi.f.height, sgi.f.bpp, "FF_SGI.SGILoad.img") != 0) MonAbort();
    std::memset(img.data, 0, size_t(img.size));
    if (img.bpp == 8) FillGreyPalette(img);
    if (sgi.f.compressed)
      LoadCoded(sgi, tables, row, img);
    else
      LoadVerbatim(sgi, img);
    FClose(sgi.f.file);
  });
}

void SGISave(std::string_view name, const Qimg& img) {
  QSGIFile sgi;
  Qimg temp;
  uint8_t* tables = nullptr;
  uint8_t* row = nullptr;
  Guarded("FF_SGI.SGISave", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    if (img.width > kMaxSide || img.height > kMaxSide) ImgFileFail(7, 1);
    ImgFileCreate(sgi.f, name);
    const Qimg& src = ImgFileAtDepth(img, temp, 24);
    ImgFileSetGeometry(sgi.f, src.width, src.height, 24);
    const bool coded = g_compression != 0;
    WriteHeader(sgi, coded);
    if (coded)
      SaveCoded(sgi, tables, row, src);
    else
      SaveVerbatim(sgi, src);
    FClose(sgi.f.file);
    ImgFree(temp);
  });
}

}  // namespace rf
