// Universal media access: every input is examined and opened, and every output created, behind
// one record and one handle, whether it is a still, a numbered sequence, a movie or a sound.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/ffsaveopt.h"
#include "formats/mvi.h"
#include "formats/qffinfo.h"
#include "formats/seqname.h"
#include "formats/sndbasic.h"
#include "image/imgbasic.h"

namespace rf {

struct QUniInfo {
  int32_t format = 0;
  int32_t kind = 0;
  std::string name;
  int64_t size = 0;  // the file's size, or the sum of a sequence's members
  std::string formatLabel;
  QVideoBlock video;
  QAudioBlock audio;
  int32_t maxDataRate = 0;
  QSeqName seq;  // kind 2 only
};

// One open input or output. For an output the video block's frame count is the number of frames
// announced, and "readable" means that pictures (or sound) can be written.
struct QUniHandle {
  int32_t format = 0;
  int32_t kind = 0;
  std::string name;
  int32_t created = 0;
  int32_t videoFixed = 0;
  int32_t audioFixed = 0;
  double outFrameRate = 0;
  int32_t framesPerChunk = 0;
  int32_t currentFrame = 0;  // 1-based: last frame loaded, or frames written
  int32_t samplePos = 0;
  double videoTime = 0;
  double audioTime = 0;
  QVideoBlock video;
  QAudioBlock audio;
  QffSaveOpt saveOpt{};
  QMviHandle movie;
  QSeqName seq;

  QUniHandle() = default;
  QUniHandle(const QUniHandle&) = delete;
  QUniHandle& operator=(const QUniHandle&) = delete;
  QUniHandle& operator=(QUniHandle&&) = default;
};

// Whether member number of a sequence exists as a single readable picture of the reference's
// size and depth; size receives its file size (0 when missing).
bool SeqProbe(std::string_view suffix, std::string_view prefix, int32_t number, int32_t digitWidth,
              const QVideoBlock& reference, int64_t& size);

// Examines a file, trying every format when its extension lies, and with scanSequence gathers
// the numbered files that follow it. False (with the warning "File not exist.") when nothing
// could be read; the error register is left clear and the reason is kept for UniLastProblem.
bool UniInfo(std::string_view name, QUniInfo& info, bool scanSequence);

// Why the last UniInfo returned false, as the error it would have raised: the path's own
// problem (missing, a folder, not a regular file, no permission, empty), an unknown format, or
// the reader's message. Category 0 after a UniInfo that succeeded.
struct QUniProblem {
  int32_t category = 0;
  int32_t code = 0;
  std::string text;  // the composed message
  std::string fileName;
};
const QUniProblem& UniLastProblem();
// Sets the last problem in the error register, with its file as the last file name.
void UniRaiseLastProblem();

std::string UniGetFileName(const QUniInfo& info, int32_t index);

void UniOpen(QUniHandle& h, const QUniInfo& info);
void UniImgSetPos(QUniHandle& h, int32_t frame);
// Frame numbers are 1-based; 0 asks for the next frame. Flags bit 0: img holds the frame loaded
// last from this handle.
void UniImgLoad(QUniHandle& h, Qimg& img, int32_t frame, int32_t flags);
void UniSndLoad(QUniHandle& h, QSndBuf& buffer, int32_t firstSample, int32_t flags, int32_t count);

void UniCreate(QUniHandle& h, std::string_view name);
void UniSetSaveOptions(QUniHandle& h, const QffSaveOpt& opts);
int32_t UniSetFrameCount(QUniHandle& h, int32_t frames);
void UniSetFrameRate(QUniHandle& h, double framesPerSecond);
void UniSetInterleave(QUniHandle& h, int32_t framesPerChunk);
// Creates the output on the first save: a single file, a numbered sequence or a movie.
void UniCreateCheck_(QUniHandle& h);
// The first picture fixes the output's geometry; later ones are converted and resized to it.
void UniImgSave(QUniHandle& h, Qimg& img);
void UniSndSave(QUniHandle& h, const QSndBuf& buffer);
void UniClose(QUniHandle& h);

}  // namespace rf
