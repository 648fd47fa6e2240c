// FLIC animations (format 5): the FLI (320 x 200) and FLC (any size) reader and writer.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "image/imgbasic.h"

namespace rf {

inline constexpr int32_t FLC_HEADER_SIZE = 128;
inline constexpr uint16_t FLC_MAGIC_FLI = 0xAF11;
inline constexpr uint16_t FLC_MAGIC_FLC = 0xAF12;
inline constexpr uint16_t FLC_FRAME_TYPE = 0xF1FA;
inline constexpr int32_t FLC_FRAME_HEADER = 16;
inline constexpr int32_t FLC_CHUNK_HEADER = 6;

// Sub-chunk types of a frame.
inline constexpr uint16_t FLC_COLOR_256 = 4;    // palette, 8-bit components
inline constexpr uint16_t FLC_DELTA_WORD = 7;   // word-oriented line delta (FLC)
inline constexpr uint16_t FLC_COLOR_64 = 11;    // palette, 6-bit components
inline constexpr uint16_t FLC_DELTA_BYTE = 12;  // byte-oriented line delta (FLI)
inline constexpr uint16_t FLC_BLACK = 13;
inline constexpr uint16_t FLC_BYTE_RUN = 15;  // full frame, byte runs
inline constexpr uint16_t FLC_COPY = 16;      // full frame, uncompressed

// The fields of the 128-byte file header; the other bytes are zero.
struct QFlcHeader {
  uint32_t size = 0;
  uint16_t magic = 0;
  uint16_t frames = 0;  // without the ring frame
  uint16_t width = 0;
  uint16_t height = 0;
  uint16_t depth = 0;
  uint16_t flags = 0;
  uint32_t speed = 0;  // FLI: 1/70 s, FLC: milliseconds
  uint16_t aspectX = 0;
  uint16_t aspectY = 0;
  uint32_t frame1 = 0;  // offset of frame 1
  uint32_t frame2 = 0;  // offset of frame 2
};

// One open FLIC file, for reading or for writing. width, height and frames repeat the header's
// values as 32-bit numbers for the movie layer.
struct QFlcHandle {
  QFlcHeader header;
  int32_t bytesPerPixel = 0;
  int32_t bpp = 0;
  char* name = nullptr;  // writer: the name without its extension (tracked)
  int32_t file = NOT_SET;
  int32_t current = 0;  // frames decoded or written
  int32_t pixels = 0;   // width x height
  int64_t fileSize = 0;
  Qimg FirstFrame;              // writer: the first picture, written again as the ring frame
  uint8_t* previmg = nullptr;   // writer: the previous picture's pixels
  uint8_t* cmpsdata = nullptr;  // writer: the coded frame
  int32_t fliMode = 0;
  int32_t writing = 0;
  int32_t headerWritten = 0;
  int32_t paletteChanged = 0;  // reading: the last frame carried a palette
  double frameRate = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t frames = 0;
  uint8_t palette[256][3] = {};  // writer: the palette the file holds now (blue, green, red)
};

// Error (7, 2) for a file that is not a FLIC.
void FLCOpen(QFlcHandle& ff, std::string_view name);
void FLCInfo(std::string_view name, QffInfo& info);
// Decodes the next frame into img (kept from the previous frame: deltas change only what
// differs), or with skip only steps over it. Error (17, 1) past the last frame, (7, 2) for a
// damaged frame.
void FLCLoadNext(QFlcHandle& ff, Qimg& img, bool skip);
// Frame 1 .. frames, 0 the next one; flags bit 0: img holds the frame decoded last. Error (12, 1)
// for a frame out of range.
void FLCLoad(QFlcHandle& ff, Qimg& img, int32_t frame, int32_t flags);
void FLCRewind(QFlcHandle& ff);
// The file is made by the first FLCSave: name's stem + ".fli" for 320 x 200 pictures, + ".flc"
// for any other size.
void FLCCreate(QFlcHandle& ff, std::string_view name, double frameRate);
// Error (7, 2) for a picture of another size than the first.
void FLCSave(QFlcHandle& ff, Qimg& img);
// A writer adds the ring frame and the final header.
void FLCClose(QFlcHandle& ff);

}  // namespace rf
