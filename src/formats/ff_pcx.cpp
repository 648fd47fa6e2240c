// ZSoft Paintbrush pictures (format 2): 128-byte header, run-length scan lines, palette at the end.
#include "formats/ff_pcx.h"

#include <algorithm>
#include <cstring>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 2;
constexpr int32_t kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kPaletteMarker = 12;
constexpr int32_t kPaletteBytes = 768;
// The marker byte and the palette after the coded lines of an 8-bit file.
constexpr int64_t kPaletteTail = 1 + kPaletteBytes;
// xmax and ymax are 16-bit, and so is the even line length.
constexpr int32_t kMaxWidth = 65534;
constexpr int32_t kMaxHeight = 65536;
// A byte of 192 or more is a run: the next byte repeated (byte - 192) times.
constexpr uint8_t kRunFlag = 192;
constexpr int32_t kMaxRun = 63;

// Decodes the run-length stream in pieces, so that runs may continue across scan lines.
struct RleReader {
  const uint8_t* src;
  size_t length;
  size_t pos = 0;
  size_t runLeft = 0;
  uint8_t runValue = 0;

  // Writes the next n bytes to dst, or drops them when dst is null; false when the data ended
  // first (the bytes decoded so far are written).
  bool Take(uint8_t* dst, size_t n) {
    while (n > 0) {
      if (runLeft == 0) {
        if (pos >= length) return false;
        const uint8_t b = src[pos++];
        if (b < kRunFlag) {
          runLeft = 1;
          runValue = b;
        } else {
          if (pos >= length) return false;
          runLeft = b - kRunFlag;
          runValue = src[pos++];
          continue;
        }
      }
      const size_t k = std::min(runLeft, n);
      if (dst) {
        std::memset(dst, runValue, k);
        dst += k;
      }
      n -= k;
      runLeft -= k;
    }
    return true;
  }
};

// Red, green and blue planes of width bytes each into blue-green-red pixels.
void PCX24Fix(const uint8_t* planes, uint8_t* row, size_t width) {
  for (size_t x = 0; x < width; ++x) {
    row[3 * x] = planes[2 * width + x];
    row[3 * x + 1] = planes[width + x];
    row[3 * x + 2] = planes[x];
  }
}

void DecodeRows(const QImgFile& imgf, Qimg& img, uint8_t* planes) {
  RleReader in{imgf.CmpsData, size_t(imgf.cmpsLength)};
  const auto width = size_t(imgf.width);
  const size_t padding = size_t(imgf.planeBytes) - width;
  for (int32_t y = 0; y < imgf.height; ++y) {
    uint8_t* row = img.data + size_t(y) * size_t(imgf.rowBytes);
    bool more = true;
    if (!planes) {
      more = in.Take(row, width) && in.Take(nullptr, padding);
    } else {
      std::memset(planes, 0, 3 * width);
      for (int32_t p = 0; p < 3 && more; ++p) more = in.Take(planes + p * width, width) && in.Take(nullptr, padding);
      PCX24Fix(planes, row, width);
    }
    if (!more) return;
  }
}

void ReadPalette(const QImgFile& imgf, Qimg& img) {
  uint8_t rgb[kPaletteBytes];
  FSeek(imgf.file, imgf.fileSize - kPaletteBytes);
  FRead(imgf.file, rgb, kPaletteBytes);
  for (int32_t i = 0; i < 256; ++i) {
    img.palette[i][0] = rgb[3 * i + 2];
    img.palette[i][1] = rgb[3 * i + 1];
    img.palette[i][2] = rgb[3 * i];
  }
}

// Codes one line into out; returns the bytes written. Equal neighbours form runs of up to 63
// bytes, and a single byte of 192 or more becomes a run of one.
int32_t CodeLine(const uint8_t* line, int32_t n, uint8_t* out) {
  int32_t used = 0, repeats = 0;
  uint8_t p = line[0];
  auto run = [&] {
    out[used++] = uint8_t(kRunFlag + 1 + repeats);
    out[used++] = p;
  };
  auto literal = [&] {
    if (p >= kRunFlag) out[used++] = kRunFlag + 1;
    out[used++] = p;
  };
  for (int32_t i = 1; i < n; ++i) {
    const uint8_t q = line[i];
    if (q == p && repeats < kMaxRun - 1) {
      ++repeats;
    } else if (q == p || repeats != 0) {
      run();
      p = q;
      repeats = 0;
    } else {
      literal();
      p = q;
    }
  }
  if (repeats != 0)
    run();
  else
    literal();
  return used;
}

void WriteHeader(const QImgFile& imgf) {
  ByteWriter w;
  w.u8(kManufacturer);
  w.u8(5);  // version
  w.u8(1);  // run-length coded
  w.u8(8);  // bits per pixel per plane
  w.u16le(0);
  w.u16le(0);
  w.u16le(uint32_t(imgf.width - 1));
  w.u16le(uint32_t(imgf.height - 1));
  w.u16le(uint32_t(imgf.width));
  w.u16le(uint32_t(imgf.height));
  w.fill(0, 48 + 1);  // 16-colour palette, reserved
  w.u8(uint32_t(imgf.bytesPerPixel));
  w.u16le(uint32_t(imgf.planeBytes));
  w.fill(0, kHeaderSize - w.size());
  FWrite(imgf.file, w.bytes().data(), int32_t(w.size()));
}

// Splits a blue-green-red row into its red, green and blue planes.
void SplitPlanes(const uint8_t* row, uint8_t* planes, size_t width) {
  for (size_t x = 0; x < width; ++x) {
    planes[x] = row[3 * x + 2];
    planes[width + x] = row[3 * x + 1];
    planes[2 * width + x] = row[3 * x];
  }
}

// Every plane of a scan line is padded to the even line length with a literal 0, so that
// readers which take the planes bytes-per-line apart find them.
void WriteRows(QImgFile& imgf, const Qimg& img, uint8_t*& tmplin) {
  const auto rowBytes = int32_t(imgf.rowBytes);
  const int32_t planes = imgf.bytesPerPixel;
  const uint8_t zero = 0;
  _memalloc_(imgf.CmpsData, 2 * rowBytes, MEM_RESIZE, "ConForm.PCXSave_.imgf.CmpsData");
  if (planes == 3) _memalloc_(tmplin, rowBytes, MEM_RESIZE, "ConForm.PCXSave_.tmplin");
  for (int32_t y = 0; y < img.height; ++y) {
    const uint8_t* line = img.data + size_t(y) * rowBytes;
    if (planes == 3) {
      SplitPlanes(line, tmplin, size_t(img.width));
      line = tmplin;
    }
    if (img.width % 2 == 0) {
      FWrite(imgf.file, imgf.CmpsData, CodeLine(line, rowBytes, imgf.CmpsData));
      continue;
    }
    for (int32_t p = 0; p < planes; ++p) {
      FWrite(imgf.file, imgf.CmpsData, CodeLine(line + p * img.width, img.width, imgf.CmpsData));
      FWrite(imgf.file, &zero, 1);
    }
  }
  MemFree(tmplin);
  MemFree(imgf.CmpsData);
}

void WritePalette(const QImgFile& imgf, const Qimg& img) {
  uint8_t tail[kPaletteTail];
  tail[0] = kPaletteMarker;
  for (int32_t i = 0; i < 256; ++i) {
    tail[1 + 3 * i] = img.palette[i][2];
    tail[2 + 3 * i] = img.palette[i][1];
    tail[3 + 3 * i] = img.palette[i][0];
  }
  FWrite(imgf.file, tail, int32_t(kPaletteTail));
}

}  // namespace

void PCXOpen_(QImgFile& imgf, std::string_view name) {
  Guarded("ConForm.PCXOpen_", [&] {
    uint8_t bytes[kHeaderSize];
    ImgFileOpenRead(imgf, name, bytes, kHeaderSize);
    ByteReader r(bytes, sizeof bytes);
    if (r.u8() != kManufacturer) ImgFileFail(7, 2);
    r.u8();  // version
    const int32_t encoding = r.u8();
    const int32_t bitsPerPlane = r.u8();
    const int32_t xmin = r.u16le(), ymin = r.u16le(), xmax = r.u16le(), ymax = r.u16le();
    r.seek(65);
    const int32_t planes = r.u8();
    const int32_t bytesPerLine = r.u16le();
    imgf.supported = bitsPerPlane == 8 && (planes == 1 || planes == 3) && encoding == 1 ? RF_TRUE : RF_FALSE;
    ImgFileSetGeometry(imgf, xmax - xmin + 1, ymax - ymin + 1, planes * 8);
    // A line length shorter than the picture is damage; the even width is what writers use.
    const int32_t evenWidth = imgf.width + (imgf.width & 1);
    imgf.planeBytes = bytesPerLine >= imgf.width ? bytesPerLine : evenWidth;
    imgf.compressed = RF_TRUE;
    imgf.paletteSize = kPaletteBytes;
    imgf.dataOffset = kHeaderSize;
  });
}

void PCXInfo(std::string_view name, QffInfo& info) {
  QImgFile imgf;
  Guarded("ConForm.PCXInfo", [&] {
    PCXOpen_(imgf, name);
    ImgFileFillInfo(imgf, kFormatId, imgf.width >= 1 && imgf.height >= 1, info);
    FClose(imgf.file);
  });
}

void PCXLoad_(std::string_view name, Qimg& img) {
  QImgFile imgf;
  uint8_t* lintmp = nullptr;
  Guarded("ConForm.PCXLoad_", [&] {
    ImgFileFreeOnFailure(img);
    PCXOpen_(imgf, name);
    if (!imgf.supported) ImgFileFail(7, 1);
    if (!ImgCheckDims(imgf.width, imgf.height, imgf.bpp)) MonAbort();
    const bool paletted = imgf.bytesPerPixel == 1;
    const int64_t tail = paletted ? kPaletteTail : 0;
    if (imgf.fileSize < imgf.dataOffset + tail) ImgFileFail(7, 9);
    if (_imgalloc_(img, imgf.width, imgf.height, imgf.bpp, "ConForm.PCXLoad_.ih") != 0) MonAbort();
    if (paletted) ReadPalette(imgf, img);
    ImgSetDims(img, imgf.width, imgf.height, imgf.bpp);
    // No decoded byte costs more than two coded ones.
    const int64_t lineBytes = int64_t(imgf.planeBytes) * imgf.bytesPerPixel;
    GetCmpsData_(imgf, std::min(imgf.fileSize - imgf.dataOffset - tail, 2 * lineBytes * imgf.height));
    if (!paletted) _memalloc_(lintmp, int32_t(imgf.rowBytes), MEM_RESIZE, "ConForm.PCX24Fix_.lintmp");
    DecodeRows(imgf, img, lintmp);
    MemFree(lintmp);
    MemFree(imgf.CmpsData);
    FClose(imgf.file);
  });
}

void PCXSave_(std::string_view name, const Qimg& img) {
  QImgFile imgf;
  uint8_t* tmplin = nullptr;
  Guarded("ConForm.PCXSave_", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    if ((img.bpp != 8 && img.bpp != 24) || img.width > kMaxWidth || img.height > kMaxHeight) ImgFileFail(7, 1);
    ImgFileCreate(imgf, name);
    ImgFileSetGeometry(imgf, img.width, img.height, img.bpp);
    imgf.planeBytes = img.width + (img.width & 1);
    WriteHeader(imgf);
    WriteRows(imgf, img, tmplin);
    if (img.bpp == 8) WritePalette(imgf, img);
    FClose(imgf.file);
  });
}

}  // namespace rf
