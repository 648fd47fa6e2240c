// Audio buffers (allocate, silence, join, cut, delete, convert), wave-format conversion and the
// buffered sound loader that the readers deliver decoded PCM through.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/common.h"
#include "platform/waveformat.h"

namespace rf {

// An audio buffer: interleaved sample frames and their format. A zeroed record is an empty
// buffer with no format; the buffer owns its tracked block.
struct QSndBuf {
  uint8_t* SndData = nullptr;
  int32_t capacity = 0;  // bytes allocated
  int32_t count = 0;     // sample frames held
  WaveFormatEx format{};
};

// State of the buffered sound loader, embedded in each reader's handle.
struct QSndLoader {
  WaveFormatEx* InFormat = nullptr;  // the stored format with its extra bytes, tracked
  int32_t inFormatSize = 0;
  WaveFormatEx decodedFormat{};  // the PCM delivered
  uint8_t* SndData = nullptr;    // decoded bytes not yet delivered, tracked
  int32_t held = 0;              // decoded bytes in SndData
  int32_t delivered = 0;         // of those, already delivered
  int32_t unitsRead = 0;         // source units (what the read callback counts)
  int32_t unitsTotal = 0;
  int32_t endReached = 0;
};

// A reader's read callback: allocates raw (tracked) with at most wanted bytes of stored sound,
// reports the bytes and the source units read; the loader frees raw. Returns whether the whole
// request was read.
using SndReadCBF = bool (*)(void* handle, uint8_t*& raw, int32_t wanted, int32_t& bytesRead, int32_t& unitsRead);

// Formats are equal when their first 16 bytes are (the extra size is not compared).
bool WaveFormatEqual(const WaveFormatEx& a, const WaveFormatEx& b);
// Valid when channels, rate and bits are non-zero; sets block align and average bytes per second.
bool WaveFormatValidate(WaveFormatEx& format);
// The format silence takes in a buffer without one: PCM, mono, 22050 Hz, 8 bits.
WaveFormatEx SndDefaultFormat();

// Allocates or resizes the buffer's block to bytes (label "(SndAlloc):" + label).
void _sndalloc_(QSndBuf& buffer, int32_t bytes, std::string_view label, Site site = {});
void SndFree(QSndBuf& buffer);
void SndAddSilence(QSndBuf& buffer, int32_t frames);
void SndMakeSilence(QSndBuf& buffer, int32_t frames, const WaveFormatEx& format);
void SndJoin(QSndBuf& destination, const QSndBuf& source);
// Copies frames first .. first + count - 1; the destination's count is left to the caller.
void SndMove(const QSndBuf& source, QSndBuf& destination, int32_t first, int32_t count);
void SndDelete(QSndBuf& buffer, int32_t first, int32_t count);
void SndConvert(const QSndBuf& source, QSndBuf& destination, const WaveFormatEx& format);
void SndLoad(void* handle, QSndLoader& loader, QSndBuf& buffer, SndReadCBF read, int32_t frames);

// Converts sound between wave formats; a format pointer addresses 18 + extraSize bytes.
// Consecutive calls for the same pair of formats continue one sound, so chunk boundaries leave
// no seam; sound that does not fit the destination comes out on the next call.
void WaveConvert(const uint8_t* source, uint8_t* destination, int32_t sourceLength, int32_t capacity, int32_t& produced,
                 const WaveFormatEx* sourceFormat, const WaveFormatEx* destinationFormat);
// One conversion step through the compression manager.
void WaveConvert_(const uint8_t* source, uint8_t* destination, int32_t sourceLength, int32_t capacity,
                  int32_t& produced, const WaveFormatEx* sourceFormat, const WaveFormatEx* destinationFormat);
// Marks the conversions made while it lives as the ends of their sounds: each delivers what the
// converter holds back, so that a sound converted in pieces comes out exactly as long as it went
// in, and the next conversion of the pair starts a new sound.
class WaveConvertEnding {
 public:
  WaveConvertEnding();
  ~WaveConvertEnding();
  WaveConvertEnding(const WaveConvertEnding&) = delete;
  WaveConvertEnding& operator=(const WaveConvertEnding&) = delete;

 private:
  bool outer_;
};
// Ends every sound in progress: the next conversion of any pair starts afresh. Readers call it
// when they seek; it also releases the conversion streams.
void WaveConvertReset();
// Ends the sound in progress for one pair of formats only.
void WaveConvertReset(const WaveFormatEx* sourceFormat, const WaveFormatEx* destinationFormat);

}  // namespace rf
