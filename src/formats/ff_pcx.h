// ZSoft Paintbrush pictures (format 2): run-length coded, 8-bit with palette or 24-bit in planes.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

namespace rf {

// Opens the file, reads and checks its 128-byte header into imgf; the file stays open.
// Error (7, 2) when the manufacturer byte is not 10.
void PCXOpen_(QImgFile& imgf, std::string_view name);
void PCXInfo(std::string_view name, QffInfo& info);
// Error (7, 1) unless 8 bits per plane, 1 or 3 planes and run-length coding.
void PCXLoad_(std::string_view name, Qimg& img);
// Writes 8-bit pictures with their palette and 24-bit pictures as three planes; other depths
// are error (7, 1).
void PCXSave_(std::string_view name, const Qimg& img);

}  // namespace rf
