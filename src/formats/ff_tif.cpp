// TIFF pictures (format 10): libtiff over the tracked files, its messages into the error register.
#include "formats/ff_tif.h"

#include <fcntl.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 10;
// Strips of about this many bytes keep the reader's buffers small and the coders efficient.
constexpr int64_t kStripBytes = 64 * 1024;
// No single block libtiff allocates for a picture we can hold needs more.
constexpr tmsize_t kMaxLibAlloc = tmsize_t(256) << 20;
constexpr int32_t kMaxIo = 1 << 30;

int32_t g_compression = COMPRESSION_NONE;

struct CompressionName {
  int32_t tag;
  const char* name;
};

const CompressionName kCompressionNames[] = {
    {1, "Uncompressed"},
    {2, "CCITT modified Huffman RLE"},
    {3, "CCITT Group 3 fax encoding"},
    {4, "CCITT Group 4 fax encoding"},
    {5, "Variable-Length-Code LZW (Lempel-Ziv & Welch)"},
    {6, "JPEG 6.0"},
    {7, "JPEG DCT compression"},
    {32766, "NeXT 2-bit RLE"},
    {32771, "#1 w/ word alignment"},
    {32773, "Macintosh RLE (PackBits)"},
    {32809, "ThunderScan RLE"},
    {32895, "IT8 CT w/padding"},
    {32896, "IT8 Linework RLE"},
    {32897, "IT8 Monochrome picture"},
    {32898, "IT8 Binary line art"},
    {32908, "Pixar companded 10bit LZW"},
    {32909, "Pixar companded 11bit ZIP"},
    {32946, "Deflate compression (modified LZ77)"},
    {32947, "Kodak DCS encoding"},
    {34661, "ISO JBIG"},
    {34676, "SGI Log Luminance RLE"},
    {34677, "SGI Log 24-bit packed"},
};

// Keeps the first message of a kind: later ones are mostly consequences of it.
void Keep(char (&dest)[256], const char* module, const char* fmt, va_list ap) {
  if (dest[0] != 0) return;
  char text[200];
  std::vsnprintf(text, sizeof text, fmt, ap);
  if (module && *module)
    std::snprintf(dest, sizeof dest, "%s: %s", module, text);
  else
    std::snprintf(dest, sizeof dest, "%s", text);
}

// Every message goes to the trace; the record keeps the one it reports.
void Route(LibLevel level, const char* module, const char* fmt, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  LibMessageV(module && *module ? std::string("libtiff ") + module : "libtiff", level, fmt, copy);
  va_end(copy);
}

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  Route(LibLevel::Error, module, fmt, ap);
  Keep(static_cast<QTifFile*>(user)->error, module, fmt, ap);
  return 1;
}

int OnWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  Route(LibLevel::Warning, module, fmt, ap);
  Keep(static_cast<QTifFile*>(user)->warning, module, fmt, ap);
  return 1;
}

// libtiff's few messages outside an open file go to its process-wide handlers, which would
// print them on standard error.
void OnGlobalError(const char* module, const char* fmt, va_list ap) { Route(LibLevel::Error, module, fmt, ap); }
void OnGlobalWarning(const char* module, const char* fmt, va_list ap) { Route(LibLevel::Warning, module, fmt, ap); }

// Runs a tracked file operation for libtiff, which must never see our exceptions: a failure is
// kept in the record and reported to libtiff as a failed call.
template <class Op>
bool TrackedIo(QTifFile& t, Op&& op) {
  GuardedSilent("FF_TIF.FileIo", op);
  if (ErrNone()) return true;
  if (t.ioCategory == 0) {
    t.ioCategory = ErrCategory();
    t.ioCode = ErrCode();
  }
  ErrClear();
  return false;
}

// Failures are reported as nothing done rather than as -1: libtiff adds the count it gets to its
// buffer offsets without checking for a negative one.
tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  QTifFile& t = *static_cast<QTifFile*>(h);
  if (t.dead || n < 0) return 0;
  // Reads past the end come back short, as from any file; libtiff judges them.
  const int64_t count = std::min<int64_t>({n, std::max<int64_t>(0, t.size - t.pos), kMaxIo});
  if (count == 0) return 0;
  if (!TrackedIo(t, [&] {
        FSeek(t.file, t.pos);
        FRead(t.file, buf, int32_t(count));
      }))
    return 0;
  t.pos += count;
  return tmsize_t(count);
}

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t n) {
  QTifFile& t = *static_cast<QTifFile*>(h);
  if (t.dead || n < 0 || n > kMaxIo) return 0;
  if (n == 0) return 0;
  if (!TrackedIo(t, [&] {
        FSeek(t.file, t.pos);
        FWrite(t.file, buf, int32_t(n));
      }))
    return 0;
  t.pos += n;
  t.size = std::max(t.size, t.pos);
  return n;
}

toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  QTifFile& t = *static_cast<QTifFile*>(h);
  const int64_t base = whence == SEEK_CUR ? t.pos : whence == SEEK_END ? t.size : 0;
  const int64_t to = base + int64_t(off);
  if (to < 0) return toff_t(-1);
  t.pos = to;
  return toff_t(to);
}

// The tracked file is closed by TIFClose_ after libtiff is done with it.
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return toff_t(static_cast<QTifFile*>(h)->size); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

TIFF* ClientOpen(QTifFile& t, std::string_view name, const char* mode) {
  static const bool routed = (TIFFSetErrorHandler(OnGlobalError), TIFFSetWarningHandler(OnGlobalWarning), true);
  (void)routed;
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  if (!opts) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(opts, OnError, &t);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, OnWarning, &t);
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts, kMaxLibAlloc);
  const std::string path(name);
  TIFF* tif = TIFFClientOpenExt(path.c_str(), mode, &t, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                UnmapProc, opts);
  TIFFOpenOptionsFree(opts);
  return tif;
}

// Frees the handle without writing anything more.
void Discard(QTifFile& t) {
  if (!t.tif) return;
  t.dead = true;
  TIFFClose(t.tif);
  t.tif = nullptr;
}

// Discards the handle whenever the routine ends, so that libtiff's structures never outlive it.
struct TifHold {
  QTifFile& t;
  ~TifHold() { Discard(t); }
};

// Raises what went wrong once the handle and the file are closed, most telling first: the tracked
// file's own error, libtiff's message, else the given image error.
[[noreturn]] void Fail(QTifFile& t, int32_t code) {
  Discard(t);
  // Closed here, as the abort's own close would clear the warning.
  FClose(t.file);
  if (t.warning[0]) WarnSetText(1, t.warning);
  if (t.ioCategory != 0) ErrSet(t.ioCategory, t.ioCode);
  if (t.error[0]) ErrSetText(1, t.error);
  ImgFileFail(7, code);
}

// What a picture of this file looks like, when it has a layout we read.
struct Layout {
  bool supported;
  int32_t bpp;
};

bool IsGrey(int32_t photometric) {
  return photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
}

bool IsRgb(const QTifFile& t) {
  // JPEG-coded YCbCr is handed to us as RGB by libtiff's JPEG codec.
  return t.photometric == PHOTOMETRIC_RGB || (t.photometric == PHOTOMETRIC_YCBCR && t.compression == COMPRESSION_JPEG);
}

Layout GetLayout(const QTifFile& t) {
  const bool contig = t.planar == PLANARCONFIG_CONTIG || t.samples == 1;
  const int32_t b = t.bitsPerSample;
  if (contig && !t.tiled && t.samples == 1 && (b == 1 || b == 2 || b == 4 || b == 8) &&
      (IsGrey(t.photometric) || (t.photometric == PHOTOMETRIC_PALETTE && t.hasColormap)))
    return {true, 8};
  if (contig && !t.tiled && t.samples >= 3 && b == 8 && IsRgb(t)) return {true, 24};
  return {false, int32_t(std::clamp<int64_t>(int64_t(b) * t.samples, 0, 1 << 16))};
}

void ReadFields(QTifFile& t) {
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1, compression = COMPRESSION_NONE, planar = PLANARCONFIG_CONTIG, photometric = 0;
  TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(t.tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(t.tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(t.tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(t.tif, TIFFTAG_PLANARCONFIG, &planar);
  // Files without the tag are taken as what their samples suggest.
  if (!TIFFGetField(t.tif, TIFFTAG_PHOTOMETRIC, &photometric))
    photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  t.hasColormap = TIFFGetField(t.tif, TIFFTAG_COLORMAP, &r, &g, &b) && r && g && b ? RF_TRUE : RF_FALSE;
  // Sides beyond 32 bits signed are refused as any oversized picture is, by ImgCheckDims.
  t.width = int32_t(std::min<uint32_t>(width, INT32_MAX));
  t.height = int32_t(std::min<uint32_t>(height, INT32_MAX));
  t.bitsPerSample = bits;
  t.samples = samples;
  t.compression = compression;
  t.planar = planar;
  t.photometric = photometric;
  t.tiled = TIFFIsTiled(t.tif) ? RF_TRUE : RF_FALSE;
}

void SetPalette(QTifFile& t, Qimg& img) {
  const int32_t entries = 1 << t.bitsPerSample;
  if (t.photometric != PHOTOMETRIC_PALETTE) {
    // An even ramp over the levels the samples hold; white is level 0 in min-is-white files.
    for (int32_t i = 0; i < entries; ++i) {
      const int32_t level = t.photometric == PHOTOMETRIC_MINISWHITE ? entries - 1 - i : i;
      const auto v = uint8_t(level * 255 / (entries - 1));
      std::memset(img.palette[i], v, 3);
    }
    return;
  }
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  TIFFGetField(t.tif, TIFFTAG_COLORMAP, &r, &g, &b);
  bool wide = false;
  for (int32_t i = 0; i < entries; ++i) wide = wide || r[i] > 255 || g[i] > 255 || b[i] > 255;
  auto scale = [wide](uint16_t v) { return uint8_t(wide ? (v + 128) / 257 : v); };
  for (int32_t i = 0; i < entries; ++i) {
    img.palette[i][0] = scale(b[i]);
    img.palette[i][1] = scale(g[i]);
    img.palette[i][2] = scale(r[i]);
  }
}

// One scan line into one picture row: samples below 8 bits unpacked (first pixel in the high
// bits), red-green-blue turned round, extra samples dropped.
void StoreRow(const QTifFile& t, const uint8_t* line, uint8_t* row) {
  if (t.samples == 1) {
    const int32_t bits = t.bitsPerSample;
    if (bits == 8) {
      std::memcpy(row, line, size_t(t.width));
      return;
    }
    const int32_t perByte = 8 / bits, mask = (1 << bits) - 1;
    for (int32_t x = 0; x < t.width; ++x) {
      const int32_t shift = 8 - bits * (x % perByte + 1);
      row[x] = uint8_t((line[x / perByte] >> shift) & mask);
    }
    return;
  }
  for (int32_t x = 0; x < t.width; ++x) {
    const uint8_t* p = line + size_t(x) * t.samples;
    row[3 * x] = p[2];
    row[3 * x + 1] = p[1];
    row[3 * x + 2] = p[0];
  }
}

int32_t CompressionToWrite() {
  switch (g_compression) {
    case COMPRESSION_LZW:
    case COMPRESSION_JPEG:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_DEFLATE:
      return TIFFIsCODECConfigured(uint16_t(g_compression)) ? g_compression : COMPRESSION_NONE;
    default:
      return COMPRESSION_NONE;
  }
}

int32_t RowsPerStrip(int64_t rowBytes, int32_t height, int32_t compression) {
  int64_t rows = std::clamp<int64_t>(kStripBytes / std::max<int64_t>(rowBytes, 1), 1, height);
  // libtiff's JPEG coder needs whole 8-line blocks in every strip but the last.
  if (compression == COMPRESSION_JPEG && rows < height) rows = std::max<int64_t>(8, rows / 8 * 8);
  return int32_t(std::min<int64_t>(rows, height));
}

void SetFields(QTifFile& t, const Qimg& img, int32_t compression) {
  const bool mapped = img.bpp == 8;
  TIFF* tif = t.tif;
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(img.height)) &&
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(img.width)) && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, compression) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, mapped ? 1 : 3) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                         uint32_t(RowsPerStrip(int64_t(img.width) * img.bytesPerPixel, img.height, compression))) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, mapped ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
  if (ok && mapped) {
    uint16_t r[256], g[256], b[256];
    for (int32_t i = 0; i < 256; ++i) {
      // 8-bit entries widened so that 255 becomes 65535.
      b[i] = uint16_t(img.palette[i][0] * 257);
      g[i] = uint16_t(img.palette[i][1] * 257);
      r[i] = uint16_t(img.palette[i][2] * 257);
    }
    ok = TIFFSetField(tif, TIFFTAG_COLORMAP, r, g, b);
  }
  if (!ok) Fail(t, 5);
}

void WriteRows(QTifFile& t, const Qimg& img) {
  const auto rowBytes = size_t(img.width) * img.bytesPerPixel;
  uint8_t* line = nullptr;
  _memalloc_(line, int32_t(rowBytes), MEM_RESIZE, "FF_TIF.TIFSave.line");
  for (int32_t y = 0; y < img.height; ++y) {
    const uint8_t* row = img.data + size_t(y) * rowBytes;
    if (img.bpp == 8) {
      std::memcpy(line, row, rowBytes);
    } else {
      for (size_t x = 0; x < rowBytes; x += 3) {
        line[x] = row[x + 2];
        line[x + 1] = row[x + 1];
        line[x + 2] = row[x];
      }
    }
    if (TIFFWriteScanline(t.tif, line, uint32_t(y), 0) < 0) Fail(t, 5);
  }
  MemFree(line);
}

}  // namespace

void TIFSetCompression(int32_t value) { g_compression = value; }

const char* TIFCompressionName(int32_t tag) {
  for (const CompressionName& c : kCompressionNames)
    if (c.tag == tag) return c.name;
  return "Unknown compression";
}

void TIFOpen_(QTifFile& t, std::string_view name) {
  Guarded("FF_TIF.TIFOpen_", [&] {
    t = QTifFile{};
    FOpen(t.file, name, FM_READ);
    t.size = std::max<int64_t>(0, FSize(t.file));
    t.tif = ClientOpen(t, name, "rm");
    if (!t.tif) Fail(t, 8);
    ReadFields(t);
    if (t.photometric == PHOTOMETRIC_YCBCR && t.compression == COMPRESSION_JPEG)
      TIFFSetField(t.tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  });
}

void TIFCreate_(QTifFile& t, QImgFile& imgf, std::string_view name) {
  t = QTifFile{};
  ImgFileCreate(imgf, name);
  t.file = imgf.file;
  t.tif = ClientOpen(t, name, "w");
  if (!t.tif) Fail(t, 11);
}

void TIFClose_(QTifFile& t) {
  Guarded("FF_TIF.TIFClose_", [&] {
    if (t.tif && TIFFGetMode(t.tif) != O_RDONLY && !TIFFFlush(t.tif)) Fail(t, 5);
    Discard(t);
    if (t.ioCategory != 0) Fail(t, 5);
    FClose(t.file);
    // After the close, which clears the warning register.
    if (t.warning[0]) WarnSetText(1, t.warning);
  });
}

void TIFInfo(std::string_view name, QffInfo& info) {
  QTifFile t;
  Guarded("FF_TIF.TIFInfo", [&] {
    TifHold hold{t};
    TIFOpen_(t, name);
    const Layout layout = GetLayout(t);
    info.format = kFormatId;
    info.fileSize = t.size;
    info.video.width = t.width;
    info.video.height = t.height;
    info.video.bpp = layout.bpp;
    info.video.bytesPerPixel = (layout.bpp + 7) / 8;
    info.video.frames = 1;
    info.video.compression = TIFCompressionName(t.compression);
    info.video.hasVideo = RF_TRUE;
    info.video.videoReadable = layout.supported ? RF_TRUE : RF_FALSE;
    TIFClose_(t);
  });
}

void TIFLoad(std::string_view name, Qimg& img) {
  QTifFile t;
  Guarded("FF_TIF.TIFLoad", [&] {
    ImgFileFreeOnFailure(img);
    TifHold hold{t};
    TIFOpen_(t, name);
    const Layout layout = GetLayout(t);
    if (!layout.supported) Fail(t, 1);
    if (!ImgCheckDims(t.width, t.height, layout.bpp)) MonAbort();
    const int64_t needed = (int64_t(t.width) * t.bitsPerSample * t.samples + 7) / 8;
    const int64_t lineBytes = TIFFScanlineSize64(t.tif);
    if (lineBytes < needed || lineBytes > IMG_MAX_BYTES) Fail(t, 1);
    if (_imgalloc_(img, t.width, t.height, layout.bpp, "FF_TIF.TIFLoad.img") != 0) MonAbort();
    ImgSetDims(img, t.width, t.height, layout.bpp);
    if (layout.bpp == 8) SetPalette(t, img);
    uint8_t* line = nullptr;
    _memalloc_(line, int32_t(lineBytes), MEM_RESIZE, "FF_TIF.TIFLoad.line");
    const auto rowBytes = size_t(img.width) * img.bytesPerPixel;
    for (int32_t y = 0; y < t.height; ++y) {
      if (TIFFReadScanline(t.tif, line, uint32_t(y), 0) < 0) Fail(t, 3);
      StoreRow(t, line, img.data + size_t(y) * rowBytes);
    }
    MemFree(line);
    TIFClose_(t);
  });
}

void TIFSave(std::string_view name, const Qimg& img) {
  QImgFile imgf;
  QTifFile t;
  Qimg rgb;
  Guarded("FF_TIF.TIFSave", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    const int32_t compression = CompressionToWrite();
    TifHold hold{t};
    TIFCreate_(t, imgf, name);
    const Qimg* src = &img;
    if (img.bpp != 24 && (img.bpp != 8 || compression == COMPRESSION_JPEG)) {
      ImgCopy(img, rgb);
      ImgConvBpp(rgb, rgb, 24);
      src = &rgb;
    }
    SetFields(t, *src, compression);
    WriteRows(t, *src);
    TIFClose_(t);
    ImgFree(rgb);
  });
}

}  // namespace rf
