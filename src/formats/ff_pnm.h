// Portable any-map pictures (format 15): reader of bitmaps, grey and colour maps in text or binary
// form, writer of colour maps.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/stillio.h"
#include "image/imgbasic.h"

namespace rf {

inline constexpr int32_t PNM_BUFFER_SIZE = 4096;

// One PNM file while it is read: the common still fields, the header values and the state of the
// buffered reader (the file position of the buffer's first byte, its fill and read position).
struct QPNMFile {
  QImgFile f;
  int32_t kind = 0;  // the digit after "P"
  int32_t maxValue = 0;
  int32_t ascii = 0;
  int32_t sampleBytes = 0;  // binary samples: 1, or 2 (big-endian) for maximum values past 255
  uint8_t* buffer = nullptr;
  int64_t bufferStart = 0;
  int32_t bufferFill = 0;
  int32_t bufferPos = 0;
};

// Copies up to count bytes from the file's current read position to dest through the buffer and
// returns how many there were before the end of the file.
int32_t PNMReadBuf_(QPNMFile& pnm, uint8_t* dest, int32_t count);

// Opens the file and reads the header up to the first sample; the file and the reader's buffer
// stay open (PNMClose_ releases both). Error (7, 2) for a header that is not "P1" to "P6" with
// its numbers, a width or height past 31 bits, or a maximum value outside 1 to 65535; (7, 9)
// when the file ends inside it.
void PNMOpen_(QPNMFile& pnm, std::string_view name);
void PNMClose_(QPNMFile& pnm);
void PNMInfo(std::string_view name, QffInfo& info);
// Error (7, 1) unless width and height lie in 4 to 4096; (7, 9) when the samples end early or a
// text sample is not a number. Bitmaps and grey maps load as 8 bits with a grey palette (bitmaps
// black and white), colour maps as 24 bits; samples are scaled from the maximum value to 255
// with rounding.
void PNMLoad(std::string_view name, Qimg& img);
// Writes "P6" (or "P3" when text is chosen) with maximum value 255, converting to 24 bits.
void PNMSave(std::string_view name, const Qimg& img);
// 1: PNMSave writes text samples; any other value: binary (the initial choice).
void PNMSetEncoding(int32_t value);

}  // namespace rf
