// JPEG pictures (format 8): three small wrapper calls over libjpeg and the unit's Info, Load and
// Save on top of them.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "image/imgbasic.h"

namespace rf {

// The wrappers read and write through the tracked files and return 0 on success. libjpeg's errors
// become category 1 with its text (raised once its structures are gone), its first warning goes to
// the warning register.

// Reads the header: the picture's size and its number of colour components.
int info_JPEG_file(std::string_view name, int* width, int* height, int* components);
// Decodes into buffer, which holds *width x *height x *components bytes on entry; rows top first,
// blue-green-red or grey. Returns non-zero, buffer untouched, when the picture is not 1 or 3
// components or does not fit; on success the three values are the decoded picture's.
int read_JPEG_file(std::string_view name, uint8_t* buffer, int* width, int* height, int* components);
// Codes a 24-bit blue-green-red buffer at the given quality (1-100). Non-zero for unusable
// arguments, before any file is made; a failed write leaves no file.
int write_JPEG_file(std::string_view name, const uint8_t* buffer, int width, int height, int quality);

void JPGInfo(std::string_view name, QffInfo& info);
// Grey files load as 8-bit pictures with a grey palette, colour files as 24-bit; others are error
// (7, 1).
void JPGLoad(std::string_view name, Qimg& img);
// Codes the picture as 24-bit colour at the module's quality.
void JPGSave(std::string_view name, const Qimg& img);
// The quality JPGSave uses, 1-100 (initially 85; FF_AUTO restores 85, other values are clamped).
void JPGSetQuality(int32_t value);

}  // namespace rf
