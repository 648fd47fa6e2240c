// Portable any-map pictures (format 15): a text header of tokens with comments, then decimal or
// binary samples scaled to 8 bits, or bits of a bitmap; written through a 4096-byte buffer.
#include "formats/ff_pnm.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 15;
constexpr int32_t kMinSide = 4;
constexpr int32_t kMaxSide = 4096;
constexpr int32_t kMaxValue = 65535;
// Numbers are not read further than this: every larger one is as wrong as it.
constexpr int64_t kNumberCap = int64_t(1) << 40;

int32_t g_encoding = 0;

bool IsBitmap(const QPNMFile& pnm) { return pnm.kind == 1 || pnm.kind == 4; }

// Bytes of one binary row in the file.
int64_t RawRowBytes(const QPNMFile& pnm) {
  if (IsBitmap(pnm)) return (int64_t(pnm.f.width) + 7) / 8;
  return pnm.f.rowBytes * pnm.sampleBytes;
}

bool IsBlank(int32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(int32_t c) { return c >= '0' && c <= '9'; }

// The next byte, or -1 at the end of the file.
int32_t NextByte(QPNMFile& pnm) {
  if (pnm.bufferPos < pnm.bufferFill) return pnm.buffer[pnm.bufferPos++];
  uint8_t c;
  return PNMReadBuf_(pnm, &c, 1) == 1 ? c : -1;
}

// The first byte of the next token, past blanks and "#" comments; -1 at the end of the file.
int32_t SkipBlanks(QPNMFile& pnm) {
  for (;;) {
    int32_t c = NextByte(pnm);
    if (c == '#')
      while (c >= 0 && c != '\n' && c != '\r') c = NextByte(pnm);
    if (c < 0 || (!IsBlank(c) && c != '#')) return c;
  }
}

// Reads one decimal number. Error (7, 9) at the end of the file; (7, badCode) when the token is
// not a number. The byte after the number is consumed: a blank, or the start of a comment, which
// is skipped.
int64_t ReadNumber(QPNMFile& pnm, int32_t badCode) {
  int32_t c = SkipBlanks(pnm);
  if (c < 0) ImgFileFail(7, 9);
  if (!IsDigit(c)) ImgFileFail(7, badCode);
  int64_t v = 0;
  for (; IsDigit(c); c = NextByte(pnm)) v = std::min(v * 10 + (c - '0'), kNumberCap);
  if (c == '#')
    while (c >= 0 && c != '\n' && c != '\r') c = NextByte(pnm);
  else if (c >= 0 && !IsBlank(c))
    ImgFileFail(7, badCode);
  return v;
}

// A sample is a fraction of the maximum value: rounded to the nearest of 0 .. 255. Samples past
// the maximum are damage and count as the maximum.
uint8_t Scale(const QPNMFile& pnm, int64_t v) {
  const int64_t max = pnm.maxValue;
  return uint8_t((std::min(v, max) * 255 + max / 2) / max);
}

// One text bitmap sample: a single "0" or "1", with or without blanks around it.
int64_t ReadBit(QPNMFile& pnm) {
  const int32_t c = SkipBlanks(pnm);
  if (c != '0' && c != '1') ImgFileFail(7, 9);
  return c - '0';
}

// The binary samples of one row: bytes, big-endian pairs, or bits packed from the highest on with
// each row starting on a new byte.
int64_t RawSample(const QPNMFile& pnm, const uint8_t* raw, int32_t i) {
  if (IsBitmap(pnm)) return (raw[i / 8] >> (7 - i % 8)) & 1;
  if (pnm.sampleBytes == 2) return (raw[2 * i] << 8) | raw[2 * i + 1];
  return raw[i];
}

// Fills one picture row: samples per pixel are grey, or red, green and blue. Bitmap samples are
// 1 for black.
void ReadRow(QPNMFile& pnm, uint8_t* row, int32_t width, uint8_t* raw) {
  const int32_t channels = pnm.f.bytesPerPixel;
  const int32_t samples = width * channels;
  const auto rawBytes = int32_t(RawRowBytes(pnm));
  if (!pnm.ascii && PNMReadBuf_(pnm, raw, rawBytes) < rawBytes) ImgFileFail(7, 9);
  for (int32_t i = 0; i < samples; ++i) {
    int64_t v;
    if (!pnm.ascii)
      v = RawSample(pnm, raw, i);
    else if (IsBitmap(pnm))
      v = ReadBit(pnm);
    else
      v = ReadNumber(pnm, 9);
    if (IsBitmap(pnm)) v = 1 - v;
    // Colour samples arrive red first; the picture keeps blue first.
    const int32_t at = channels == 3 ? (i / 3) * 3 + 2 - i % 3 : i;
    row[at] = Scale(pnm, v);
  }
}

// Output through a fixed buffer: most writes are a few characters.
struct PnmWriter {
  int32_t file;
  uint8_t bytes[PNM_BUFFER_SIZE];
  int32_t used = 0;

  void Flush() {
    FWrite(file, bytes, used);
    used = 0;
  }
  void Put(const void* data, int32_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
      if (used == PNM_BUFFER_SIZE) Flush();
      const int32_t k = std::min(n, PNM_BUFFER_SIZE - used);
      std::memcpy(bytes + used, p, size_t(k));
      used += k;
      p += k;
      n -= k;
    }
  }
  void Text(const std::string& s) { Put(s.data(), int32_t(s.size())); }
};

void WriteSample(PnmWriter& w, uint8_t v) {
  char text[4];
  int32_t n = 0;
  if (v >= 100) text[n++] = char('0' + v / 100);
  if (v >= 10) text[n++] = char('0' + v / 10 % 10);
  text[n++] = char('0' + v % 10);
  text[n++] = '\n';
  w.Put(text, n);
}

}  // namespace

void PNMSetEncoding(int32_t value) { g_encoding = value; }

int32_t PNMReadBuf_(QPNMFile& pnm, uint8_t* dest, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    if (pnm.bufferPos == pnm.bufferFill) {
      pnm.bufferStart += pnm.bufferFill;
      pnm.bufferPos = pnm.bufferFill = 0;
      const int64_t left = pnm.f.fileSize - pnm.bufferStart;
      if (left <= 0) break;
      pnm.bufferFill = int32_t(std::min<int64_t>(left, PNM_BUFFER_SIZE));
      FRead(pnm.f.file, pnm.buffer, pnm.bufferFill);
    }
    const int32_t k = std::min(count - done, pnm.bufferFill - pnm.bufferPos);
    std::memcpy(dest + done, pnm.buffer + pnm.bufferPos, size_t(k));
    pnm.bufferPos += k;
    done += k;
  }
  return done;
}

void PNMOpen_(QPNMFile& pnm, std::string_view name) {
  Guarded("FF_PNM.PNMOpen_", [&] {
    pnm = QPNMFile{};
    ImgFileOpenRead(pnm.f, name, nullptr, 0);
    _memalloc_(pnm.buffer, PNM_BUFFER_SIZE, MEM_RESIZE, "FF_PNM.PNMOpen_.buffer");
    const int32_t p = NextByte(pnm);
    const int32_t digit = NextByte(pnm);
    if (p != 'P' || digit < '1' || digit > '6') ImgFileFail(7, 2);
    pnm.kind = digit - '0';
    const bool bitmap = pnm.kind == 1 || pnm.kind == 4;
    const bool colour = pnm.kind == 3 || pnm.kind == 6;
    pnm.ascii = pnm.kind <= 3 ? RF_TRUE : RF_FALSE;
    // "P6" must be a token of its own.
    const int32_t after = NextByte(pnm);
    if (after >= 0 && !IsBlank(after) && after != '#') ImgFileFail(7, 2);
    if (after == '#')
      for (int32_t c = after; c >= 0 && c != '\n' && c != '\r';) c = NextByte(pnm);
    const int64_t width = ReadNumber(pnm, 2);
    const int64_t height = ReadNumber(pnm, 2);
    // A size the record cannot hold is refused rather than reported as some other number.
    if (width > INT32_MAX || height > INT32_MAX) ImgFileFail(7, 2);
    const int64_t maxValue = bitmap ? 1 : ReadNumber(pnm, 2);
    if (maxValue < 1 || maxValue > kMaxValue) ImgFileFail(7, 2);
    pnm.maxValue = int32_t(maxValue);
    pnm.sampleBytes = pnm.maxValue > 255 ? 2 : 1;
    pnm.f.dataOffset = pnm.bufferStart + pnm.bufferPos;
    const bool sides = width >= kMinSide && width <= kMaxSide && height >= kMinSide && height <= kMaxSide;
    ImgFileSetGeometry(pnm.f, int32_t(width), int32_t(height), colour ? 24 : 8);
    pnm.f.supported = sides ? RF_TRUE : RF_FALSE;
  });
}

void PNMClose_(QPNMFile& pnm) {
  MemFree(pnm.buffer);
  FClose(pnm.f.file);
}

void PNMInfo(std::string_view name, QffInfo& info) {
  QPNMFile pnm;
  Guarded("FF_PNM.PNMInfo", [&] {
    PNMOpen_(pnm, name);
    ImgFileFillInfo(pnm.f, kFormatId, true, info);
    info.video.compression = pnm.ascii ? "Ascii encoded" : "Binary encoded";
    PNMClose_(pnm);
  });
}

void PNMLoad(std::string_view name, Qimg& img) {
  QPNMFile pnm;
  uint8_t* raw = nullptr;
  Guarded("FF_PNM.PNMLoad", [&] {
    ImgFileFreeOnFailure(img);
    PNMOpen_(pnm, name);
    if (!pnm.f.supported) ImgFileFail(7, 1);
    if (!ImgCheckDims(pnm.f.width, pnm.f.height, pnm.f.bpp)) MonAbort();
    const int64_t rowSamples = pnm.f.rowBytes;
    if (!pnm.ascii && pnm.f.dataOffset + RawRowBytes(pnm) * pnm.f.height > pnm.f.fileSize) ImgFileFail(7, 9);
    if (_imgalloc_(img, pnm.f.width, pnm.f.height, pnm.f.bpp, "FF_PNM.PNMLoad.img") != 0) MonAbort();
    std::memset(img.palette, 0, sizeof img.palette);
    if (img.bpp == 8) ImgFileGreyPalette(img);
    if (!pnm.ascii) _memalloc_(raw, int32_t(RawRowBytes(pnm)), MEM_RESIZE, "FF_PNM.PNMLoad.raw");
    for (int32_t y = 0; y < img.height; ++y) ReadRow(pnm, img.data + size_t(y) * size_t(rowSamples), img.width, raw);
    MemFree(raw);
    PNMClose_(pnm);
  });
}

void PNMSave(std::string_view name, const Qimg& img) {
  QImgFile f;
  Qimg temp;
  Guarded("FF_PNM.PNMSave", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    ImgFileCreate(f, name);
    const Qimg& src = ImgFileAtDepth(img, temp, 24);
    const bool ascii = g_encoding == 1;
    PnmWriter w{f.file, {}};
    w.Text(std::string(ascii ? "P3" : "P6") + "\n" + std::to_string(src.width) + " " + std::to_string(src.height) +
           "\n255\n");
    const size_t pixels = size_t(src.width) * size_t(src.height);
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t* p = src.data + i * 3;
      const uint8_t rgb[3] = {p[2], p[1], p[0]};
      if (ascii)
        for (uint8_t v : rgb) WriteSample(w, v);
      else
        w.Put(rgb, 3);
    }
    w.Flush();
    FClose(f.file);
    ImgFree(temp);
  });
}

}  // namespace rf
