// Movie dispatch: one handle and one set of operations over every multi-frame or sound format,
// each format reached through its row of one table.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/sndbasic.h"
#include "platform/waveformat.h"
#include "image/imgbasic.h"

namespace rf {

struct QGifHandle;
struct QFlcHandle;
struct QAviHandle;
struct QHavHandle;
struct QMpgHandle;
struct QWavHandle;

// An open movie. The value pointers point into the format's own handle (or at a constant zero
// for a field the format does not have), so they always read the live state.
struct QMviHandle {
  int32_t format = 0;
  const int32_t* width = nullptr;
  const int32_t* height = nullptr;
  const int32_t* bytesPerPixel = nullptr;
  const int32_t* bpp = nullptr;
  const double* frameRate = nullptr;
  const int32_t* frames = nullptr;
  const int32_t* current = nullptr;    // frames decoded (reading) or written (writing)
  const int32_t* samplePos = nullptr;  // sample frames read or written
  const int32_t* writing = nullptr;
  QGifHandle* GIF = nullptr;
  QFlcHandle* FLC = nullptr;
  QAviHandle* AVI = nullptr;
  QHavHandle* HAV = nullptr;
  QMpgHandle* MPG = nullptr;
  QWavHandle* WAV = nullptr;
  int32_t hasAudio = 0;
  const WaveFormatEx* audioFormat = nullptr;

  // Sub-handles are tracked through the fields above, so a live handle is never copied; only a
  // fresh one is moved in to zero it.
  QMviHandle() = default;
  QMviHandle(const QMviHandle&) = delete;
  QMviHandle& operator=(const QMviHandle&) = delete;
  QMviHandle& operator=(QMviHandle&&) = default;
};

// Opens for reading; FF_AUTO takes the format from the name's extension. Error (12, 1) for a
// format that has no movie reader.
void MviOpen(QMviHandle& mv, std::string_view name, int32_t format);
// Creates for writing, the format from the name through the save table; error (12, 1) when it
// has no movie writer.
void MviCreate(QMviHandle& mv, std::string_view name, double frameRate, int32_t framesPerChunk, int32_t frames);
void MviImgSetPos(QMviHandle& mv, int32_t frame);
// Frame numbers are 1-based, 0 the next frame; flags bit 0: img already holds the frame loaded
// last. Error (12, 7) past the last frame.
void MviImgLoad(QMviHandle& mv, Qimg& img, int32_t frame, int32_t flags);
// Flags bit 0: continue without seeking when the reader stands at first.
void MviSndLoad(QMviHandle& mv, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count);
void MviImgSave(QMviHandle& mv, Qimg& img);
void MviSndSave(QMviHandle& mv, const QSndBuf& buffer);
void MviClose(QMviHandle& mv);

}  // namespace rf
