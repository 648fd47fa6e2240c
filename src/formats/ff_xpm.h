// XPM pictures (format 17): a reader and a writer of the text and the unit's Info, Load and Save
// on top of them.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "image/imgbasic.h"

namespace rf {

// A picture as the XPM wrappers exchange it: 24-bit blue-green-red pixels, rows top first.
struct QXpmDesc {
  int32_t width = 0;
  int32_t height = 0;
  int32_t reserved1 = 0;
  uint8_t* pixels = nullptr;
  int32_t reserved2 = 0;
};

// Reads through the tracked files and returns 0 on success, 1 for a damaged file. Without pixels
// the whole file is checked and only width and height are filled; with pixels (for width x height
// as filled before) the picture. Transparent pixels read as black; colour names outside the X11
// table read as black with a warning.
int ReadXpm(std::string_view name, QXpmDesc& desc);
// Writes a 24-bit picture with one "#RRGGBB" colour per distinct pixel value; a failed write
// leaves no file.
int WriteXpm(std::string_view name, const QXpmDesc& desc);

void XPMInfo(std::string_view name, QffInfo& info);
void XPMLoad(std::string_view name, Qimg& img);
// Writes the picture converted to 24 bits.
void XPMSave(std::string_view name, const Qimg& img);

}  // namespace rf
