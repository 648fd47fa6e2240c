// HAV movies, the program's own lossless format: reader with direct positioning through key
// frames, writer with the index completed at close, and the PCM sound chain.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/sndbasic.h"
#include "image/imgbasic.h"
#include "platform/waveformat.h"

namespace rf {

inline constexpr int32_t HAV_HEADER_SIZE = 64;
inline constexpr int32_t HAV_VERSION = 97;
inline constexpr int32_t HAV_PAGE_ENTRIES = 256;
inline constexpr int32_t HAV_ENTRY_SIZE = 12;
inline constexpr int32_t HAV_PAGE_SIZE = HAV_PAGE_ENTRIES * HAV_ENTRY_SIZE;
inline constexpr int32_t HAV_PAGE_TABLE_AT = HAV_HEADER_SIZE;
inline constexpr int32_t HAV_FIRST_PAGE_AT = HAV_PAGE_TABLE_AT + HAV_PAGE_ENTRIES * 4;
inline constexpr int32_t HAV_MAX_FRAMES = HAV_PAGE_ENTRIES * HAV_PAGE_ENTRIES;
inline constexpr int32_t HAV_CODEC_BEST = 0;
inline constexpr int32_t HAV_CODEC_FAST = 1;
inline constexpr int32_t HAV_CODEC_BEST_P = 2;

// One open HAV file. Plain data only: the movie layer frees it as a tracked block.
struct QHavHandle {
  // The header fields.
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytesPerPixel = 0;
  int32_t codec = 0;
  int32_t frames = 0;
  int32_t keyInterval = 0;
  double frameRate = 0;
  int32_t soundFlags = 0;
  int32_t soundRate = 0;
  int32_t soundFirst = 0;
  int32_t smallFrame = 0;
  int32_t soundTotal = 0;
  int32_t bpp = 0;  // bytes per pixel x 8
  uint32_t pageTable[HAV_PAGE_ENTRIES] = {};
  uint8_t page[HAV_PAGE_SIZE] = {};
  int32_t pageNumber = -1;
  int32_t file = 0;
  int32_t current = 0;  // frames read or written
  int32_t rawSize = 0;
  uint8_t* work = nullptr;       // a frame record, tracked
  uint8_t* strip = nullptr;      // the data of a strip stored after its record, tracked
  uint8_t* predicted = nullptr;  // residuals of the last frame, tracked
  uint8_t* previous = nullptr;   // pixels of the last frame, tracked
  uint8_t palette[256][3] = {};  // blue, green, red, as pictures hold it
  WaveFormatEx soundFormat{};
  int32_t soundPos = 0;  // sample frames read or written
  int32_t paletteChanged = 0;
  int32_t writing = 0;
  // Reading: the size of the file, the frame the buffers hold (0 none), the frame positioning
  // asked for next (0 none), and the sound chain as (data offset, sample frames) pairs.
  int64_t fileSize = 0;
  int32_t held = 0;
  int32_t pending = 0;
  uint32_t* soundIndex = nullptr;
  int32_t soundBlocks = 0;
  // Writing: the end of the file, the last sound block, the residuals of the frame before.
  int64_t fileEnd = 0;
  int32_t soundLast = 0;
  uint8_t* predictedPrev = nullptr;
};

void HAVOpen(QHavHandle& hv, std::string_view name);
void HAVInfo(std::string_view name, QffInfo& info);
// Frame 0 is the next frame; flags bit 0: img already holds the frame loaded last.
void HAVImgLoad(QHavHandle& hv, Qimg& img, int32_t frame, int32_t flags);
void HAVImgLoadNext(QHavHandle& hv, Qimg& img);
// Positions the reader so that the next load of frame 0 delivers frame.
void HAVImgSetPos(QHavHandle& hv, int32_t frame);
// The key frame at or before frame (direction -1), else the one at or after it.
int32_t HAVNearestKeyFrame(const QHavHandle& hv, int32_t frame, int32_t direction);
// Reads the palette that frame (1-based) shows from the palette chunks before it.
void HAVGetPal(QHavHandle& hv, int32_t frame);
void HAVSndLoad(QHavHandle& hv, QSndBuf& sound, int32_t start, int32_t flags, int32_t count);
void HAVSndSeek(QHavHandle& hv, int32_t position);

void HAVCreate(QHavHandle& hv, std::string_view name, double frameRate);
void HAVImgSave(QHavHandle& hv, Qimg& img);
void HAVSndSave(QHavHandle& hv, const QSndBuf& sound);
void HAVClose(QHavHandle& hv);

// Writer settings for new files; each returns the current value and keeps it when passed NOT_SET.
int32_t HAVSetCodec(int32_t codec);
int32_t HAVSetKeyFrames(int32_t interval);

}  // namespace rf
