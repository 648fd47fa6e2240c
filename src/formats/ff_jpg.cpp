// JPEG pictures (format 8): libjpeg with source and destination managers over the tracked files,
// its longjmp kept inside one small trampoline and its messages raised once it is gone.
#include "formats/ff_jpg.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
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

constexpr int32_t kFormatId = 8;
constexpr int32_t kDefaultQuality = 85;
constexpr size_t kBufferBytes = 4096;
// Progressive files can ask for endless scans over a tiny picture; no real file needs this many.
constexpr int kMaxScans = 500;
// libjpeg's working memory beyond the picture itself (the coefficients of a progressive file).
constexpr long kMaxLibMemory = 1L << 30;

int32_t g_quality = kDefaultQuality;

// Everything libjpeg's callbacks need; plain data, so that a longjmp may cross it.
struct JpegShared {
  jpeg_error_mgr pub;
  jmp_buf jump;
  int32_t file;
  int32_t ioCategory;
  int32_t ioCode;
  char error[JMSG_LENGTH_MAX];
  char warning[JMSG_LENGTH_MAX];
};

struct JpegSource {
  jpeg_source_mgr pub;
  JpegShared* shared;
  int64_t remaining;  // bytes of the file not yet read
  JOCTET buffer[kBufferBytes];
};

struct JpegDest {
  jpeg_destination_mgr pub;
  JpegShared* shared;
  JOCTET buffer[kBufferBytes];
};

struct JpegRead {
  jpeg_decompress_struct cinfo;
  jpeg_progress_mgr progress;
  JpegShared shared;
  JpegSource src;
  // What the decoding step is asked for and what it found.
  bool headerOnly;
  uint8_t* out;
  int64_t capacity;
  int width, height, components;
  bool fits;
};

struct JpegWrite {
  jpeg_compress_struct cinfo;
  JpegShared shared;
  JpegDest dest;
  const uint8_t* in;
  int width, height, quality;
};

JpegShared& SharedOf(j_common_ptr c) { return *reinterpret_cast<JpegShared*>(c->err); }

// Hands libjpeg's current message to the trace and, when the slot is free, keeps it there.
void Route(j_common_ptr c, LibLevel level, char (&slot)[JMSG_LENGTH_MAX]) {
  char text[JMSG_LENGTH_MAX];
  c->err->format_message(c, text);
  LibMessage("libjpeg", level, text);
  if (slot[0] == 0) std::memcpy(slot, text, sizeof text);
}

void OnErrorExit(j_common_ptr c) {
  JpegShared& s = SharedOf(c);
  Route(c, LibLevel::Error, s.error);
  std::longjmp(s.jump, 1);
}

void OnMessage(j_common_ptr c, int level) {
  if (level >= 0) return;  // trace output
  Route(c, LibLevel::Warning, SharedOf(c).warning);
  ++c->err->num_warnings;
}

// libjpeg's own printer writes to standard error; nothing of ours calls it, but the library may.
void OnOutput(j_common_ptr c) {
  char text[JMSG_LENGTH_MAX];
  c->err->format_message(c, text);
  LibMessage("libjpeg", LibLevel::Note, text);
}

void OnProgress(j_common_ptr c) {
  if (!c->is_decompressor || reinterpret_cast<j_decompress_ptr>(c)->input_scan_number <= kMaxScans) return;
  JpegShared& s = SharedOf(c);
  std::snprintf(s.error, sizeof s.error, "Progressive JPEG image has more than %d scans", kMaxScans);
  std::longjmp(s.jump, 1);
}

// Runs a tracked file operation for libjpeg, which must never see our exceptions.
template <class Op>
bool TrackedIo(JpegShared& s, Op&& op) {
  GuardedSilent("FF_JPG.FileIo", op);
  if (ErrNone()) return true;
  if (s.ioCategory == 0) {
    s.ioCategory = ErrCategory();
    s.ioCode = ErrCode();
  }
  ErrClear();
  return false;
}

bool ReadChunk(JpegSource& src, size_t n) {
  return TrackedIo(*src.shared, [&] { FRead(src.shared->file, src.buffer, int32_t(n)); });
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// At the end of the file an end marker is made up, as libjpeg's own file source does, so that a
// truncated file decodes what it has and warns.
boolean FillInput(j_decompress_ptr c) {
  auto& src = *reinterpret_cast<JpegSource*>(c->src);
  const auto n = size_t(std::min<int64_t>(src.remaining, kBufferBytes));
  if (n == 0) {
    WARNMS(c, JWRN_JPEG_EOF);
    src.buffer[0] = 0xFF;
    src.buffer[1] = JPEG_EOI;
    src.pub.bytes_in_buffer = 2;
  } else {
    if (!ReadChunk(src, n)) ERREXIT(c, JERR_FILE_READ);
    src.remaining -= int64_t(n);
    src.pub.bytes_in_buffer = n;
  }
  src.pub.next_input_byte = src.buffer;
  return TRUE;
}

void SkipInput(j_decompress_ptr c, long count) {
  jpeg_source_mgr& pub = *c->src;
  if (count <= 0) return;
  while (count > long(pub.bytes_in_buffer)) {
    count -= long(pub.bytes_in_buffer);
    FillInput(c);
  }
  pub.next_input_byte += count;
  pub.bytes_in_buffer -= size_t(count);
}

bool WriteChunk(JpegDest& dest, size_t n) {
  return n == 0 || TrackedIo(*dest.shared, [&] { FWrite(dest.shared->file, dest.buffer, int32_t(n)); });
}

void InitDest(j_compress_ptr c) {
  auto& dest = *reinterpret_cast<JpegDest*>(c->dest);
  dest.pub.next_output_byte = dest.buffer;
  dest.pub.free_in_buffer = kBufferBytes;
}

boolean EmptyOutput(j_compress_ptr c) {
  auto& dest = *reinterpret_cast<JpegDest*>(c->dest);
  if (!WriteChunk(dest, kBufferBytes)) ERREXIT(c, JERR_FILE_WRITE);
  InitDest(c);
  return TRUE;
}

void TermDest(j_compress_ptr c) {
  auto& dest = *reinterpret_cast<JpegDest*>(c->dest);
  if (!WriteChunk(dest, kBufferBytes - dest.pub.free_in_buffer)) ERREXIT(c, JERR_FILE_WRITE);
}

void InstallErrors(JpegShared& s) {
  jpeg_std_error(&s.pub);
  s.pub.error_exit = OnErrorExit;
  s.pub.emit_message = OnMessage;
  s.pub.output_message = OnOutput;
}

// The one place libjpeg's longjmp lands: false when libjpeg gave up during step. Steps hold
// nothing with a destructor and never raise our errors.
template <class Job>
bool JpegRun(Job& job, void (*step)(Job&)) {
  if (setjmp(job.shared.jump)) return false;
  step(job);
  return true;
}

void DecodeStep(JpegRead& j) {
  j_decompress_ptr c = &j.cinfo;
  jpeg_create_decompress(c);
  c->mem->max_memory_to_use = kMaxLibMemory;
  c->progress = &j.progress;
  j.progress.progress_monitor = OnProgress;
  j.src.pub.init_source = InitSource;
  j.src.pub.fill_input_buffer = FillInput;
  j.src.pub.skip_input_data = SkipInput;
  j.src.pub.resync_to_restart = jpeg_resync_to_restart;
  j.src.pub.term_source = TermSource;
  c->src = &j.src.pub;
  jpeg_read_header(c, TRUE);
  j.width = int(c->image_width);
  j.height = int(c->image_height);
  j.components = c->num_components;
  if (j.headerOnly) return;
  j.fits = (j.components == 1 || j.components == 3) && int64_t(j.width) * j.height * j.components <= j.capacity;
  if (!j.fits) return;
  c->out_color_space = j.components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_start_decompress(c);
  const auto rowBytes = size_t(j.width) * j.components;
  while (c->output_scanline < c->output_height) {
    JSAMPROW row = j.out + size_t(c->output_scanline) * rowBytes;
    jpeg_read_scanlines(c, &row, 1);
  }
  jpeg_finish_decompress(c);
}

void EncodeStep(JpegWrite& j) {
  j_compress_ptr c = &j.cinfo;
  jpeg_create_compress(c);
  j.dest.pub.init_destination = InitDest;
  j.dest.pub.empty_output_buffer = EmptyOutput;
  j.dest.pub.term_destination = TermDest;
  c->dest = &j.dest.pub;
  c->image_width = JDIMENSION(j.width);
  c->image_height = JDIMENSION(j.height);
  c->input_components = 3;
  c->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(c);
  jpeg_set_quality(c, j.quality, TRUE);
  jpeg_start_compress(c, TRUE);
  const auto rowBytes = size_t(j.width) * 3;
  while (c->next_scanline < c->image_height) {
    // libjpeg only reads the rows it is given.
    JSAMPROW row = const_cast<JSAMPROW>(j.in + size_t(c->next_scanline) * rowBytes);
    jpeg_write_scanlines(c, &row, 1);
  }
  jpeg_finish_compress(c);
}

// Frees libjpeg's structures whenever a wrapper ends, also when our own code fails; destroying a
// never-created object is harmless as it is zeroed.
template <class Info>
struct JpegHold {
  Info& cinfo;
  ~JpegHold() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&cinfo)); }
};

// After libjpeg is done: raises its failure while the file is still open, so that the failing
// block's cleanup removes a file being written instead of letting its close replace the old one;
// else closes the file and hands on libjpeg's warning (a close clears the warning register).
void Report(JpegShared& s, bool ok) {
  if (!ok) {
    if (s.ioCategory != 0) ErrSet(s.ioCategory, s.ioCode);
    ErrSetText(1, s.error[0] ? s.error : "JPEG library failure");
  }
  FClose(s.file);
  if (s.warning[0]) WarnSetText(1, s.warning);
}

// Opens, decodes as far as asked and closes; returns whether libjpeg went through.
void RunRead(JpegRead& j, std::string_view name) {
  FOpen(j.shared.file, name, FM_READ);
  j.src.remaining = std::max<int64_t>(0, FSize(j.shared.file));
  j.src.shared = &j.shared;
  InstallErrors(j.shared);
  j.cinfo.err = &j.shared.pub;
  JpegHold<jpeg_decompress_struct> hold{j.cinfo};
  const bool ok = JpegRun(j, DecodeStep);
  jpeg_destroy_decompress(&j.cinfo);
  Report(j.shared, ok);
}

// The size of a file, for Info.
int64_t FileSizeOf(std::string_view name) {
  int32_t file = 0;
  FOpen(file, name, FM_READ);
  const int64_t size = FSize(file);
  FClose(file);
  return std::max<int64_t>(0, size);
}

}  // namespace

int info_JPEG_file(std::string_view name, int* width, int* height, int* components) {
  int result = 1;
  JpegRead j{};
  Guarded("FF_JPG.info_JPEG_file", [&] {
    j.headerOnly = true;
    RunRead(j, name);
    *width = j.width;
    *height = j.height;
    *components = j.components;
    result = 0;
  });
  return result;
}

int read_JPEG_file(std::string_view name, uint8_t* buffer, int* width, int* height, int* components) {
  int result = 1;
  JpegRead j{};
  Guarded("FF_JPG.read_JPEG_file", [&] {
    if (!buffer || *width < 1 || *height < 1 || *components < 1) return;
    j.out = buffer;
    j.capacity = int64_t(*width) * *height * *components;
    RunRead(j, name);
    if (!j.fits) return;
    *width = j.width;
    *height = j.height;
    *components = j.components;
    result = 0;
  });
  return result;
}

int write_JPEG_file(std::string_view name, const uint8_t* buffer, int width, int height, int quality) {
  int result = 1;
  QImgFile imgf;
  JpegWrite j{};
  Guarded("FF_JPG.write_JPEG_file", [&] {
    if (!buffer || width < 1 || height < 1 || quality < 1 || quality > 100) return;
    j.in = buffer;
    j.width = width;
    j.height = height;
    j.quality = quality;
    ImgFileCreate(imgf, name);
    j.shared.file = imgf.file;
    j.dest.shared = &j.shared;
    InstallErrors(j.shared);
    j.cinfo.err = &j.shared.pub;
    JpegHold<jpeg_compress_struct> hold{j.cinfo};
    const bool ok = JpegRun(j, EncodeStep);
    jpeg_destroy_compress(&j.cinfo);
    Report(j.shared, ok);
    result = 0;
  });
  return result;
}

void JPGSetQuality(int32_t value) { g_quality = value == FF_AUTO ? kDefaultQuality : std::clamp(value, 1, 100); }

void JPGInfo(std::string_view name, QffInfo& info) {
  Guarded("FF_JPG.JPGInfo", [&] {
    // First, as its close clears the warning register.
    info.fileSize = FileSizeOf(name);
    int width = 0, height = 0, components = 0;
    if (info_JPEG_file(name, &width, &height, &components) != 0) ImgFileFail(7, 8);
    info.format = kFormatId;
    info.video.width = width;
    info.video.height = height;
    info.video.bytesPerPixel = components;
    info.video.bpp = components * 8;
    info.video.frames = 1;
    info.video.compression = "JFIF 1.02";
    info.video.hasVideo = RF_TRUE;
    info.video.videoReadable = components == 1 || components == 3 ? RF_TRUE : RF_FALSE;
  });
}

void JPGLoad(std::string_view name, Qimg& img) {
  Guarded("FF_JPG.JPGLoad", [&] {
    ImgFileFreeOnFailure(img);
    int width = 0, height = 0, components = 0;
    if (info_JPEG_file(name, &width, &height, &components) != 0) ImgFileFail(7, 8);
    if (components != 1 && components != 3) ImgFileFail(7, 1);
    if (!ImgCheckDims(width, height, components * 8)) MonAbort();
    if (_imgalloc_(img, width, height, components * 8, "FF_JPG.JPGLoad.img") != 0) MonAbort();
    if (read_JPEG_file(name, img.data, &width, &height, &components) != 0) ImgFileFail(7, 8);
    ImgSetDims(img, width, height, components * 8);
    if (components == 1)
      for (int32_t i = 0; i < 256; ++i) std::memset(img.palette[i], i, 3);
  });
}

void JPGSave(std::string_view name, const Qimg& img) {
  Qimg rgb;
  Guarded("FF_JPG.JPGSave", [&] {
    if (!ImgValid(img) || !ImgCheckDims(img.width, img.height, img.bpp)) ImgFileFail(7, 2);
    const Qimg* src = &ImgFileAtDepth(img, rgb, 24);
    if (write_JPEG_file(name, src->data, src->width, src->height, g_quality) != 0) ImgFileFail(7, 11);
    ImgFree(rgb);
  });
}

}  // namespace rf
