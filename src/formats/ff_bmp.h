// Windows device-independent bitmaps (format 3): reader of plain, bit-field and 4- and 8-bit
// run-length files, bottom-up or top-down, writer of plain bottom-up files.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

namespace rf {

// Opens the file, reads and checks the file header, the information header (40 bytes or longer,
// or the 12-byte OS/2 one) and any bit-field masks into imgf; the file stays open. Error (7, 2)
// without the "BM" signature or with a height of -2^31.
void DIBOpen_(QImgFile& imgf, std::string_view name);
void DIBInfo(std::string_view name, QffInfo& info);
// Error (7, 1) unless 1, 4, 8, 16, 24 or 32 bits per pixel with contiguous masks. Indices load as
// 8 bits with the file's colour table; 16-bit pixels as 15 or 16 bits where the masks are that
// layout, other masked pixels as 24 bits, or 32 with an alpha mask.
void DIBLoad_(std::string_view name, Qimg& img);
void DIBSave_(std::string_view name, const Qimg& img);

}  // namespace rf
