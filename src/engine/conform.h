// The conversion run: reads every block a caller hands out, passes each frame through the video
// function, writes it (with frame-rate conversion) and interleaves the audio, in one pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "formats/ffsaveopt.h"
#include "formats/sndbasic.h"
#include "formats/uniaccess.h"
#include "image/imgbasic.h"

namespace rf {

// ConStopState values.
inline constexpr int32_t csRunning = 0;
inline constexpr int32_t csAbort = 1;  // stop now and delete the outputs
inline constexpr int32_t csStop = 2;   // stop now and keep what was written

// Block kinds.
inline constexpr int32_t bkSilence = 0;   // audio only: no source, produce silence
inline constexpr int32_t bkFileName = 1;  // Source: a zero-terminated file name
inline constexpr int32_t bkInfo = 2;      // Source: a QUniInfo
inline constexpr int32_t bkMemory = 3;    // Source: a Qimg (video) or a QSndBuf (audio)

// Replies of the error procedure; any other value ignores the failure.
inline constexpr int32_t erIgnore = 0;
inline constexpr int32_t erAbort = 1;
inline constexpr int32_t erStop = 2;
inline constexpr int32_t erRetry = 3;
inline constexpr int32_t erSkipBlock = 4;

// One block request, filled by a block source. Fields it leaves alone keep the previous block's
// values: the record is cleared only when the run starts.
struct QConBlock {
  const void* Source = nullptr;
  int32_t Kind = 0;
  int32_t Index = 0;  // the source's own cursor
  int32_t First = 0;  // video: frame from 1; audio: sample from 0; NOT_SET: from StartTime
  int32_t Count = 0;  // NOT_SET: from Duration, or to the end
  double StartTime = 0;
  double Duration = 0;
  int32_t Repeat = 0;      // below 1 counts as 1
  double FrameRate = 0;    // replaces the file's when not NOT_SET
  int32_t Direction = 0;   // -1 backwards
  int32_t FormatHint = 0;  // kind 1 video: non-zero gathers a numbered sequence from its first member
  int32_t End = 0;
};

struct QConVideoFunc {
  int32_t reserved0 = 0;
  int32_t FrameIndex = 0;  // frames handed to the video function earlier in this run
  Qimg* Source = nullptr;
  Qimg* Spare = nullptr;
  int32_t reserved1 = 0;
  int32_t reserved2 = 0;
  Qimg* Result = nullptr;  // set by the function; nil writes nothing for this frame
};

struct QConAudioFunc {
  int32_t reserved[4] = {};
  QSndBuf* Source = nullptr;
  QSndBuf* Spare = nullptr;
  int32_t reserved4 = 0;
  QSndBuf* Result = nullptr;  // set by the function; nil writes nothing
};

struct QConProgress {
  int32_t reserved = 0;
  int32_t VideoFramesDone = 0;
  double VideoTime = 0;
  int32_t SamplesDone = 0;
  double AudioTime = 0;
};

struct QConReport {
  int32_t VideoFrames = 0;
  int32_t AudioSamples = 0;
  std::string VideoName;
  std::string AudioName;
};

using ConBlockCBF = std::function<void(QConBlock& block)>;
using ConVideoFuncCBF = std::function<void(QConVideoFunc& rec)>;
using ConAudioFuncCBF = std::function<void(QConAudioFunc& rec)>;
using ConProgressCBF = std::function<void(QConProgress& rec)>;
using ConErrorCBF = std::function<void(const std::string& fileName, int32_t& reply)>;

void ConSetVideoBlockCBF(ConBlockCBF source);
void ConSetAudioBlockCBF(ConBlockCBF source);
void ConSetVideoFuncCBF(ConVideoFuncCBF function);
void ConSetAudioFuncCBF(ConAudioFuncCBF function);
void ConSetProgressCBF(ConProgressCBF progress, ConErrorCBF error);
void ConSetFrameCount(int32_t frames);
void ConSetFrameRate(bool rateConvert, double frameRate);
void ConSetInterleave(int32_t framesPerChunk);
void ConSetStopState(int32_t state);
int32_t ConGetStopState();

// Runs the conversion; an empty name means no output of that medium. Failures stay in the error
// register; outputs are deleted when nothing was written to them or the run was aborted.
void ConStart(std::string_view videoFileName, std::string_view audioFileName, const QffSaveOpt* saveOptions,
              QConReport& result);
// Forgets every setting and the state of the last run.
void ConDone();
// Closes the inputs and outputs of the run and frees its pictures and buffers.
void ConCloseAll();

namespace detail {
// The audio step, called by the run after every written frame and on every pass of its loop;
// false when the run must end.
bool ConSnd_();
}  // namespace detail

}  // namespace rf
