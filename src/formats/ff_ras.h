// Sun raster pictures (format 14): reader of 8, 24 and 32-bit files, plain, run-length coded or
// in red-green-blue order, and writer of 8 and 24-bit files.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

namespace rf {

// One Sun raster file while it is read: the common still fields (geometry of the picture it loads
// to, compressed for type 2) and the header fields the reader acts on.
struct QRASFile {
  QImgFile f;
  int32_t depth = 0;  // bits per pixel in the file
  uint32_t dataLength = 0;
  int32_t type = 0;
  int32_t mapType = 0;
  uint32_t mapLength = 0;
};

// Opens the file and reads the 32-byte header into ras; the file stays open. Error (7, 2) when the
// magic number is wrong or width, height or depth are past what a picture can have.
void RASOpen_(QRASFile& ras, std::string_view name);
void RASInfo(std::string_view name, QffInfo& info);
// Error (7, 1) unless type 0 to 5 and depth 8, 24 or 32. Rows are padded to an even length unless
// the data length (coded files: the decoded length) is that of unpadded rows; 32-bit pixels load
// as 24 bits.
void RASLoad(std::string_view name, Qimg& img);
// Writes 8-bit pictures with their palette and other depths as 24 bits, run-length coded when the
// module setting says so, rows padded to an even length. The header's data length is the length
// of the data as written.
void RASSave(std::string_view name, const Qimg& img);
// 0: RASSave writes plain rows; any other value: run-length coded (the initial choice).
void RASSetCompression(int32_t value);

}  // namespace rf
