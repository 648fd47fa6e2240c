// PNG pictures (format 9): libpng with our read and write functions, its longjmp kept inside the
// small wrappers below and its messages turned into the error register once it is gone.
#include "formats/ff_png.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/ffdesc.h"
#include "formats/stillio.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

constexpr int32_t kFormatId = 9;
constexpr int32_t kDefaultLevel = 7;
constexpr int32_t kSigBytes = 4;
constexpr size_t kMaxIo = size_t(1) << 30;
// libpng reads a whole chunk into memory before it looks at it: a damaged length must not make it
// allocate more than any real chunk (a colour profile, a text) or its row buffers need.
constexpr png_alloc_size_t kMaxLibAlloc = 16 << 20;

int32_t g_level = kDefaultLevel;

void Keep(char (&dest)[256], const char* text) {
  if (dest[0] == 0) std::snprintf(dest, sizeof dest, "%s", text ? text : "");
}

// libpng wants error functions that never return: the text is kept and the wrapper that called
// libpng is resumed through its setjmp.
void OnError(png_structp png, png_const_charp text) {
  auto* p = static_cast<QPngFile*>(png_get_error_ptr(png));
  LibMessage("libpng", LibLevel::Error, text ? text : "");
  Keep(p->error, text);
  png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp text) {
  LibMessage("libpng", LibLevel::Warning, text ? text : "");
  Keep(static_cast<QPngFile*>(png_get_error_ptr(png))->warning, text);
}

// Runs a tracked file operation for libpng, which must never see our exceptions: a failure is kept
// in the record and the caller reports it to libpng.
template <class Op>
bool TrackedIo(QPngFile& p, Op&& op) {
  GuardedSilent("FF_PNG.FileIo", op);
  if (ErrNone()) return true;
  if (p.ioCategory == 0) {
    p.ioCategory = ErrCategory();
    p.ioCode = ErrCode();
  }
  ErrClear();
  return false;
}

bool ReadTracked(QPngFile& p, uint8_t* data, size_t length) {
  for (size_t done = 0; done < length;) {
    const size_t n = std::min(length - done, kMaxIo);
    if (!TrackedIo(p, [&] { FRead(p.file, data + done, int32_t(n)); })) return false;
    done += n;
  }
  return true;
}

bool WriteTracked(QPngFile& p, const uint8_t* data, size_t length) {
  for (size_t done = 0; done < length;) {
    const size_t n = std::min(length - done, kMaxIo);
    if (!TrackedIo(p, [&] { FWrite(p.file, data + done, int32_t(n)); })) return false;
    done += n;
  }
  return true;
}

// These two frames hold nothing with a destructor when png_error leaves them.
void ReadFn(png_structp png, png_bytep data, size_t length) {
  if (!ReadTracked(*static_cast<QPngFile*>(png_get_io_ptr(png)), data, length)) png_error(png, "Read Error");
}

void WriteFn(png_structp png, png_bytep data, size_t length) {
  if (!WriteTracked(*static_cast<QPngFile*>(png_get_io_ptr(png)), data, length)) png_error(png, "Write Error");
}

// libpng's own memory, refused beyond the limit: it then reports a lack of memory as usual.
png_voidp LibAlloc(png_structp, png_alloc_size_t size) { return size > kMaxLibAlloc ? nullptr : std::malloc(size); }
void LibFree(png_structp, png_voidp block) { std::free(block); }

// Tracked files write through at once: there is nothing to flush.
void FlushFn(png_structp) {}

// The one place libpng's longjmp lands: false when libpng gave up during step. Steps hold nothing
// with a destructor and never raise our errors.
bool PngRun(QPngFile& p, void (*step)(QPngFile&)) {
  if (setjmp(png_jmpbuf(p.png))) return false;
  step(p);
  return true;
}

void Destroy(QPngFile& p) {
  if (!p.png) return;
  if (p.writing)
    png_destroy_write_struct(&p.png, &p.info);
  else
    png_destroy_read_struct(&p.png, &p.info, nullptr);
  p.png = nullptr;
  p.info = nullptr;
}

// Destroys libpng's structures whenever the routine ends, also when our own code fails.
struct PngHold {
  QPngFile& p;
  ~PngHold() { Destroy(p); }
};

// Raises what went wrong, most telling first, once libpng's structures are gone: the tracked
// file's own error, libpng's message, else the given image error.
[[noreturn]] void Fail(QPngFile& p, int32_t code) {
  Destroy(p);
  // Closed here, as the abort's own close would clear the warning.
  FClose(p.file);
  if (p.warning[0]) WarnSetText(1, p.warning);
  if (p.ioCategory != 0) ErrSet(p.ioCategory, p.ioCode);
  if (p.error[0]) ErrSetText(1, p.error);
  ImgFileFail(7, code);
}

void ReadHeaderStep(QPngFile& p) {
  png_set_sig_bytes(p.png, kSigBytes);
  png_read_info(p.png, p.info);
  png_uint_32 w = 0, h = 0;
  int depth = 0, type = 0;
  png_get_IHDR(p.png, p.info, &w, &h, &depth, &type, nullptr, nullptr, nullptr);
  // libpng refuses sides beyond 31 bits itself.
  p.width = int32_t(w);
  p.height = int32_t(h);
  p.bitDepth = depth;
  p.colorType = type;
  p.channels = png_get_channels(p.png, p.info);
}

void PrepareStep(QPngFile& p) {
  png_set_scale_16(p.png);
  png_set_strip_alpha(p.png);
  png_set_packing(p.png);
  png_set_bgr(p.png);
  png_set_interlace_handling(p.png);
  png_read_update_info(p.png, p.info);
}

void ReadRowsStep(QPngFile& p) {
  png_read_image(p.png, p.rows);
  png_read_end(p.png, nullptr);
}

void WriteStep(QPngFile& p) {
  const Qimg& img = *p.picture;
  const bool mapped = img.bpp == 8;
  png_set_compression_level(p.png, g_level);
  png_set_IHDR(p.png, p.info, png_uint_32(img.width), png_uint_32(img.height), 8,
               mapped ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (mapped) {
    png_color palette[256];
    for (int32_t i = 0; i < 256; ++i) palette[i] = {img.palette[i][2], img.palette[i][1], img.palette[i][0]};
    png_set_PLTE(p.png, p.info, palette, 256);
  }
  png_write_info(p.png, p.info);
  png_set_bgr(p.png);
  png_write_image(p.png, p.rows);
  png_write_end(p.png, p.info);
}

int32_t LoadedBpp(int32_t colorType) {
  return (colorType & PNG_COLOR_MASK_COLOR) && colorType != PNG_COLOR_TYPE_PALETTE ? 24 : 8;
}

// Row pointers into a picture, in a tracked block so that a failed routine releases them.
void MakeRows(QPngFile& p, const Qimg& img, std::string_view label) {
  _memalloc_(p.rows, int32_t(sizeof(uint8_t*)) * img.height, MEM_RESIZE, label);
  const auto rowBytes = size_t(img.width) * img.bytesPerPixel;
  for (int32_t y = 0; y < img.height; ++y) p.rows[y] = img.data + size_t(y) * rowBytes;
}

void SetPalette(QPngFile& p, Qimg& img) {
  png_color palette[256] = {};
  if (p.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp filePalette = nullptr;
    int count = 0;
    if (png_get_PLTE(p.png, p.info, &filePalette, &count) && filePalette)
      std::copy_n(filePalette, std::clamp(count, 0, 256), palette);
  } else {
    png_build_grayscale_palette(std::min(p.bitDepth, 8), palette);
  }
  for (int32_t i = 0; i < 256; ++i) {
    img.palette[i][0] = palette[i].blue;
    img.palette[i][1] = palette[i].green;
    img.palette[i][2] = palette[i].red;
  }
}

// Ends a routine that went through: closes up, then hands on libpng's warning.
void Finish(QPngFile& p) {
  PNGClose_(p);
  if (p.warning[0]) WarnSetText(1, p.warning);
}

}  // namespace

void PNGSetLevel(int32_t value) { g_level = value == FF_AUTO ? kDefaultLevel : std::clamp(value, 0, 9); }

void PNGOpen_(QPngFile& p, std::string_view name) {
  Guarded("FF_PNG.PNGOpen_", [&] {
    p = QPngFile{};
    FOpen(p.file, name, FM_READ);
    png_byte sig[kSigBytes];
    FRead(p.file, sig, kSigBytes);
    if (png_sig_cmp(sig, 0, kSigBytes) != 0) ImgFileFail(7, 2);
    p.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &p, OnError, OnWarning, nullptr, LibAlloc, LibFree);
    if (p.png) p.info = png_create_info_struct(p.png);
    if (!p.info) Fail(p, 7);
    png_set_read_fn(p.png, &p, ReadFn);
    if (!PngRun(p, ReadHeaderStep)) Fail(p, 2);
  });
}

void PNGClose_(QPngFile& p) {
  Guarded("FF_PNG.PNGClose_", [&] {
    Destroy(p);
    FClose(p.file);
  });
}

void PNGInfo(std::string_view name, QffInfo& info) {
  QPngFile p;
  Guarded("FF_PNG.PNGInfo", [&] {
    PngHold hold{p};
    PNGOpen_(p, name);
    const int32_t bpp = LoadedBpp(p.colorType);
    info.format = kFormatId;
    info.fileSize = std::max<int64_t>(0, FSize(p.file));
    info.video.width = p.width;
    info.video.height = p.height;
    info.video.bpp = bpp;
    info.video.bytesPerPixel = bpp / 8;
    info.video.frames = 1;
    info.video.hasVideo = RF_TRUE;
    info.video.videoReadable = RF_TRUE;
    Finish(p);
  });
}

void PNGLoad(std::string_view name, Qimg& img) {
  QPngFile p;
  Guarded("FF_PNG.PNGLoad", [&] {
    ImgFileFreeOnFailure(img);
    PngHold hold{p};
    PNGOpen_(p, name);
    if (!ImgCheckDims(p.width, p.height, 8)) MonAbort();
    if (!PngRun(p, PrepareStep)) Fail(p, 3);
    const int32_t channels = png_get_channels(p.png, p.info);
    const int32_t bpp = channels * 8;
    if ((bpp != 8 && bpp != 24) || png_get_rowbytes(p.png, p.info) != size_t(p.width) * channels) Fail(p, 1);
    if (!ImgCheckDims(p.width, p.height, bpp)) MonAbort();
    if (_imgalloc_(img, p.width, p.height, bpp, "FF_PNG.PNGLoad.img") != 0) MonAbort();
    ImgSetDims(img, p.width, p.height, bpp);
    MakeRows(p, img, "FF_PNG.PNGLoad.rows");
    if (!PngRun(p, ReadRowsStep)) Fail(p, 3);
    if (bpp == 8) SetPalette(p, img);
    MemFree(p.rows);
    Finish(p);
  });
}

void PNGSave(std::string_view name, const Qimg& img) {
  QImgFile imgf;
  QPngFile p;
  Qimg rgb;
  Guarded("FF_PNG.PNGSave", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    PngHold hold{p};
    ImgFileCreate(imgf, name);
    p.file = imgf.file;
    p.picture = &img;
    if (img.bpp != 8 && img.bpp != 24) {
      ImgCopy(img, rgb);
      ImgConvBpp(rgb, rgb, 24);
      p.picture = &rgb;
    }
    MakeRows(p, *p.picture, "FF_PNG.PNGSave.rows");
    p.writing = RF_TRUE;
    p.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &p, OnError, OnWarning);
    if (p.png) p.info = png_create_info_struct(p.png);
    if (!p.info) Fail(p, 7);
    png_set_write_fn(p.png, &p, WriteFn, FlushFn);
    if (!PngRun(p, WriteStep)) Fail(p, 5);
    MemFree(p.rows);
    Finish(p);
    ImgFree(rgb);
  });
}

}  // namespace rf
