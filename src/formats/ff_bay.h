// Bayer camera pictures (format 16): 512 x 384 sensor samples in 2 x 2 cells and a 12-byte
// trailer naming the camera, colour or monochrome and the exposure. Read only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

namespace rf {

inline constexpr int32_t BAY_WIDTH = 512;
inline constexpr int32_t BAY_HEIGHT = 384;
inline constexpr int32_t BAY_SENSOR_BYTES = BAY_WIDTH * BAY_HEIGHT;
inline constexpr int32_t BAY_TRAILER_BYTES = 12;
// The trailer follows the sensor bytes at once; the file's remaining 1012 bytes carry nothing
// the reader uses, but a file of any other size is not a BAY file.
inline constexpr int32_t BAY_FILE_SIZE = 197632;
static_assert(BAY_SENSOR_BYTES + BAY_TRAILER_BYTES <= BAY_FILE_SIZE);

// One BAY file while it is read: the common still fields and the trailer's fields.
struct QBayFile {
  QImgFile f;
  std::string camera;      // the two code characters, up to a zero byte
  int32_t colourByte = 0;  // 1 colour, 2 monochrome
  int32_t exposure = 0;    // exposure index
};

// Opens the file and reads the trailer; the file stays open. Error (7, 2) "Invalid image format."
// unless the file has exactly BAY_FILE_SIZE bytes and its trailer holds "BAY 2".
void BayOpen_(QBayFile& bay, std::string_view name);
// Reports the exposure value in the frame-rate field and the camera's mode as the compression.
void BayInfo(std::string_view name, QffInfo& info);
// Error (7, 1) for a colour byte other than 1 or 2. Colour files load as 24 bits, monochrome
// files as 8 bits with a grey palette.
void BayLoad(std::string_view name, Qimg& img);

}  // namespace rf
