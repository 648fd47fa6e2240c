// The save options of one output: the per-format compression choices, their defaults, names and
// the writer parameters prepared from them. Stored byte for byte in session files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/common.h"

namespace rf {

// One video compressor description; also the AVI settings inside the save options. 210 bytes.
#pragma pack(push, 1)
struct aviCodecsRec {
  int32_t index;
  uint32_t fourcc;
  int32_t openHandle;
  uint8_t name[17];          // length byte, up to 16 characters
  uint8_t description[129];  // length byte, up to 128 characters
  int32_t hasAbout;
  int32_t hasConfigure;
  int32_t supportsQuality;
  int32_t supportsKeyFrames;
  int32_t supportsDataRate;
  int32_t isEncoder;
  int32_t compatible;
  int32_t outWidth;
  int32_t outHeight;
  int32_t acceptedDepth;
  int32_t keyFrameEvery;
  int32_t dataRate;  // kilobytes per second, 0 off
  int32_t quality;   // 0..100
};

struct QffSaveOpt {
  int32_t valid;
  int32_t hasDialog;
  int32_t format;
  int32_t param1;           // main compression value for the writer
  int32_t param2;           // JPEG quality for the writer
  int32_t param3;           // MPEG rate for the writer
  int32_t param4;           // second HAV setting for the writer
  int32_t tgaCompression;   // 1 run-length, 0 none
  int32_t tiffCompression;  // 1 none, 5 LZW, 7 JPEG, 32773 PackBits, 32946 Deflate
  int32_t sgiCompression;   // 1 run-length, 0 none
  int32_t rasCompression;   // 1 run-length, 0 none
  int32_t pnmEncoding;      // 0 binary, 1 ASCII
  int32_t havCodec;         // 1 FAST, 0 BEST
  int32_t pngLevel;
  int32_t mpegFormat;  // 1 MPEG-1, 2 MPEG-2
  aviCodecsRec avi;
  int32_t jpegQuality;  // percent
  int32_t havSetting;
  int32_t mpegRate;
};
#pragma pack(pop)
static_assert(sizeof(aviCodecsRec) == 210);
static_assert(offsetof(aviCodecsRec, name) == 12);
static_assert(offsetof(aviCodecsRec, hasAbout) == 158);
static_assert(offsetof(aviCodecsRec, quality) == 206);
static_assert(sizeof(QffSaveOpt) == 282);
static_assert(offsetof(QffSaveOpt, avi) == 60);
static_assert(offsetof(QffSaveOpt, mpegRate) == 278);

// A four-character code with its first character in the low byte.
constexpr uint32_t MakeFourCC(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
         uint32_t(uint8_t(code[3])) << 24;
}

void FFSaveInit(QffSaveOpt& opts);
void FFSaveSetFormat(QffSaveOpt& opts, int32_t id);
// The compression description shown for the output.
std::string FFSaveCodecName(const QffSaveOpt& opts);

}  // namespace rf
