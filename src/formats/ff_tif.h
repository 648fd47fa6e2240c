// TIFF pictures (format 10) through libtiff, read and written line by line over the tracked files.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

struct tiff;  // libtiff's handle

namespace rf {

// One TIFF file while libtiff works on it. libtiff reaches the tracked file through this record,
// so it must stay where it is while the handle is open.
struct QTifFile {
  ::tiff* tif = nullptr;
  int32_t file = 0;
  int64_t size = 0;   // bytes in the file
  int64_t pos = 0;    // where libtiff's next read or write goes
  bool dead = false;  // the handle is being discarded: no more file access
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerSample = 0;
  int32_t samples = 0;
  int32_t photometric = 0;
  int32_t compression = 0;
  int32_t planar = 0;
  int32_t tiled = 0;
  int32_t hasColormap = 0;
  // The first failure of a tracked file operation libtiff asked for, and libtiff's first error and
  // warning texts; they are raised once the handle is gone.
  int32_t ioCategory = 0;
  int32_t ioCode = 0;
  char error[256] = {};
  char warning[256] = {};
};

// Opens the file for reading and reads its first directory's fields; error (7, 8) when libtiff
// cannot open it (category 1 with libtiff's text when it says why).
void TIFOpen_(QTifFile& t, std::string_view name);
// Replaces any file of that name by a new TIFF file; runs in the caller's guarded block so that a
// failed save deletes it.
void TIFCreate_(QTifFile& t, QImgFile& imgf, std::string_view name);
// Flushes a written file (failure: error (7, 5)), closes the handle and the file.
void TIFClose_(QTifFile& t);

void TIFInfo(std::string_view name, QffInfo& info);
// 1, 2, 4 or 8-bit grey and palette files load as 8-bit pictures, 8-bit RGB (also with extra
// samples, and JPEG-coded YCbCr) as 24-bit; other layouts are error (7, 1).
void TIFLoad(std::string_view name, Qimg& img);
// 8-bit pictures are written with their colour map, all others as 24-bit RGB; JPEG coding cannot
// hold palette indices, so 8-bit pictures are then written as RGB.
void TIFSave(std::string_view name, const Qimg& img);
// The compression tag TIFSave writes: 1, 5, 7, 32773 or 32946 (initially 1; others mean 1).
void TIFSetCompression(int32_t value);

// The name Info gives a compression tag value.
const char* TIFCompressionName(int32_t tag);

}  // namespace rf
