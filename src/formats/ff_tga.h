// Truevision Targa pictures (format 1): reader and writer, plain and run-length coded.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

namespace rf {

// Opens the file, reads and checks its 18-byte header into imgf; the file stays open.
// Error (7, 2) when the image type is not 1, 2, 3 (grey), 9, 10 or 11, or the colour-map type not
// 0 or 1.
void TGAOpen_(QImgFile& imgf, std::string_view name);
void TGAInfo(std::string_view name, QffInfo& info);
// Error (7, 1) for depths the picture record has no layout for, and for colour-mapped or grey
// files of other than 8 bits; 16-bit files load as 15-bit, grey files as 8-bit with a grey
// palette.
void TGALoad_(std::string_view name, Qimg& img);
// Writes bottom-left origin, colour-mapped (8 bits) or true-colour, coded when the module
// setting says so.
void TGASave_(std::string_view name, const Qimg& img);
// Non-zero: TGASave_ run-length codes (initially on).
void TGASetCompression(int32_t value);

}  // namespace rf
