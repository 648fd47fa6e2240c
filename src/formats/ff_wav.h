// WAV files: the reader (PCM and every wave tag the converter decodes) and the PCM writer.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/qffinfo.h"
#include "formats/sndbasic.h"
#include "platform/riff.h"

namespace rf {

inline constexpr int32_t FF_WAV_ID = 12;
// 'RIFF' size 'WAVE', 'fmt ' 18 and the format, 'data' size: where a written file's sound starts.
inline constexpr int32_t WAV_HEADER_SIZE = 46;

// One open WAV file, for reading or for writing. For a writer, dataChunk holds the data offset
// and the bytes written, and sl.decodedFormat the format being written.
struct QWavHandle {
  HMMIO file = 0;
  MMCKINFO dataChunk{};
  QSndLoader sl;
  int32_t position = 0;  // sample frames
  int32_t totalFrames = 0;
  int32_t framesPerBlock = 0;  // decoded frames in one stored block
  int32_t writing = 0;
  int32_t headerReserved = 0;
  int32_t readable = 0;
};

void WAVOpen(QWavHandle& wf, std::string_view name);
void WAVInfo(std::string_view name, QffInfo& info);
// Frame counts from 0; a frame past the end positions at the last frame.
void WAVSeek(QWavHandle& wf, int32_t frame);
// Flags bit 0: continue from the current position when it is first.
void WAVLoad(QWavHandle& wf, QSndBuf& buffer, int32_t first, int32_t flags, int32_t frames);
void WAVCreate(QWavHandle& wf, std::string_view name);
void WAVSave(QWavHandle& wf, const QSndBuf& buffer);
void WAVClose(QWavHandle& wf);

// The steps behind them.
// Finds the next chunk (flags 0) or the next one with ck's id (MMIO_FINDCHUNK) or form type
// (MMIO_FINDRIFF, MMIO_FINDLIST) under parent, reading over the chunks passed; the descent's
// result.
int32_t FindChunkAndKeepExtras_(HMMIO file, MMCKINFO& ck, const MMCKINFO* parent, uint32_t flags);
// Reads a chunk's data and discards it.
void ReadIntoExtra_(HMMIO file, const MMCKINFO& ck);
// The read callback of WAVLoad: whole stored blocks of the 'data' chunk.
bool WAVLoad_(void* handle, uint8_t*& raw, int32_t wanted, int32_t& bytesRead, int32_t& unitsRead);
// Closes a reader that failed to open, with error (13, 1).
void WAVAbort_(QWavHandle& wf);

}  // namespace rf
