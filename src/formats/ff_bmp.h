// Windows device-independent bitmaps (format 3): reader of plain and 8-bit run-length files,
// writer of plain bottom-up files.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

namespace rf {

// Opens the file, reads and checks the file header and the information header (40 bytes, or the
// 12-byte OS/2 one) into imgf; the file stays open. Error (7, 2) without the "BM" signature.
void DIBOpen_(QImgFile& imgf, std::string_view name);
void DIBInfo(std::string_view name, QffInfo& info);
// Error (7, 1) unless 8, 16 (loaded as 15) or 24 bits per pixel.
void DIBLoad_(std::string_view name, Qimg& img);
void DIBSave_(std::string_view name, const Qimg& img);

}  // namespace rf
