// PNG pictures (format 9) through libpng, with our own read and write functions over the tracked
// files.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "image/imgbasic.h"

struct png_struct_def;  // libpng's handles
struct png_info_def;

namespace rf {

// One PNG file while libpng reads it. libpng reaches the tracked file through this record, so it
// must stay where it is while the structures exist.
struct QPngFile {
  png_struct_def* png = nullptr;
  png_info_def* info = nullptr;
  int32_t writing = 0;
  int32_t file = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitDepth = 0;
  int32_t colorType = 0;
  int32_t channels = 0;  // in the file, alpha included
  // What libpng works on during a save.
  const Qimg* picture = nullptr;
  uint8_t** rows = nullptr;
  // The first failure of a tracked file operation libpng asked for, libpng's error text and its
  // first warning; they are raised once the structures are gone.
  int32_t ioCategory = 0;
  int32_t ioCode = 0;
  char error[256] = {};
  char warning[256] = {};
};

// Opens the file, checks the signature (error (7, 2)), creates the read structures (error (7, 7))
// and reads the header; libpng's own complaints are category 1 with its text.
void PNGOpen_(QPngFile& p, std::string_view name);
// Destroys libpng's structures and closes the file.
void PNGClose_(QPngFile& p);

// Reports the depth PNGLoad delivers: 8 for grey and palette files, 24 for colour, alpha or not.
void PNGInfo(std::string_view name, QffInfo& info);
// 16-bit samples are scaled to 8 bits, alpha is dropped, grey files get a grey palette.
void PNGLoad(std::string_view name, Qimg& img);
// 8-bit pictures are written with their 256-entry palette, all others as 24-bit RGB.
void PNGSave(std::string_view name, const Qimg& img);
// The zlib level PNGSave uses, 0-9 (initially 7; FF_AUTO restores 7, other values are clamped).
void PNGSetLevel(int32_t value);

}  // namespace rf
