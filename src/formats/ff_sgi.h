// Silicon Graphics pictures (format 13): reader of 1-4 channel files, plain or run-length coded,
// and writer of 3-channel files.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

namespace rf {

// One SGI file while it is read: the common still fields (geometry of the picture it loads to,
// compressed for storage 1) and the header fields the reader acts on.
struct QSGIFile {
  QImgFile f;
  int32_t storage = 0;  // 0 verbatim, 1 run-length coded
  int32_t bytesPerChannel = 0;
  int32_t dimension = 0;
  int32_t channels = 0;  // z size after the dimension rule
  int32_t colorMap = 0;
};

// Opens the file and reads the header into sgi; the file stays open. Error (7, 2) when the magic
// number is not 474.
void SGIOpen_(QSGIFile& sgi, std::string_view name);
void SGIInfo(std::string_view name, QffInfo& info);
// Error (7, 1) unless 1 byte per channel, storage 0 or 1, 1 to 4 channels and colour-map type 0.
// One and two channels (grey, grey with alpha) load as 8-bit grey, three as 24 and four as 32 bits.
void SGILoad(std::string_view name, Qimg& img);
// Writes 3 channels of 1 byte, converting other depths to 24 bits; run-length coded when the
// module setting says so.
void SGISave(std::string_view name, const Qimg& img);
// 0: SGISave writes verbatim data; any other value: run-length coded (the initial choice).
void SGISetCompression(int32_t value);

}  // namespace rf
