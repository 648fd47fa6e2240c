// The peer tools on scratch files: running them, their decoded pixels and ours side by side.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/imgbasic.h"

namespace rf::test {

// The real tools; another program of that name earlier on the path is not it.
inline constexpr const char* kConvert = "/usr/bin/convert";
inline constexpr const char* kFfmpeg = "/usr/bin/ffmpeg";

bool ConvertRun(const std::string& args);
bool FfmpegRun(const std::string& args);
std::vector<uint8_t> FileBytes(const std::string& path);

// The pixels a peer decodes from a file: red, green, blue bytes, rows top first, empty when it
// fails. ImageMagick keeps a bottom-left origin as a tag, so its rows are turned the way the file
// means them.
std::vector<uint8_t> DecodedByConvert(const std::string& file, const std::string& scratch);
std::vector<uint8_t> DecodedByFfmpeg(const std::string& file, const std::string& scratch);
// ImageMagick's 16-bit decode rounded to 8 bits as we round (its own 8-bit output truncates).
std::vector<uint8_t> DecodedRounded(const std::string& file, const std::string& scratch);

// Our picture as red, green, blue bytes: 8 bits through the palette, 15 and 16 bits widened by
// shifting, the fourth byte of 32 bits left out.
std::vector<uint8_t> OurRgb(const Qimg& img);

// Byte by byte: differences up to `tolerance`, or below the top `bits` bits, do not count.
void ExpectSamePixels(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs, int tolerance = 0,
                      int bits = 8);

}  // namespace rf::test
