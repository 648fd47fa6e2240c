// The state of the one conversion run, shared by the run and its audio step.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "engine/conform.h"

namespace rf::detail {

struct ConState {
  // Settings given before the run.
  double FrameRate = 0;
  bool RateConvert = false;
  int32_t FrameCount = 0;
  int32_t Interleave = 0;
  ConBlockCBF videoSource;
  ConBlockCBF audioSource;
  ConVideoFuncCBF videoFunc;
  ConAudioFuncCBF audioFunc;
  ConProgressCBF progress;
  ConErrorCBF error;

  // Run flags.
  bool VideoDone = false, AudioDone = false;
  bool VideoNeedBlock = false, AudioNeedBlock = false;
  bool videoOutRequested = false, audioOutRequested = false;
  bool videoInOpen = false, audioInOpen = false;
  bool ChunkAtFrame = false;
  bool Silence = false;
  bool firstFrame = false;

  // Handles; the audio output may be the video output itself.
  QUniHandle videoIn, audioIn, videoOut, audioOwnOut;
  QUniHandle* videoOutput = nullptr;
  QUniHandle* audioOutput = nullptr;
  std::string videoName, audioName;  // reported names

  QConBlock videoBlock, audioBlock;
  QUniInfo videoInfo, audioInfo;         // for blocks that name a file, or carry a picture
  const QUniInfo* videoInfoP = nullptr;  // the info of the current video block
  const QUniInfo* audioInfoP = nullptr;

  Qimg WorkImg, SpareImg, DecodeImg;
  Qimg* loadTarget = nullptr;
  QSndBuf SndSrc, SndSpare;
  WaveFormatEx silenceFormat{};

  // Frame counting and rate conversion.
  int32_t frameStep = 1;
  double ratio = 0;
  double accumulator = 0;
  int32_t progressPos = 0;
  int32_t countTotal = 0;
  int32_t funcFrames = 0;

  // Audio counters and timers.
  double SndRate = 0;
  int32_t SamplesDone = 0;
  int32_t SamplesBase = 0;
  double AudioTime = 0;
  std::chrono::steady_clock::time_point runStart;

  // The first failure recorded while the run went on past it, restored when the run ends.
  bool failed = false;
  int32_t failCategory = 0, failCode = 0;
  std::string failText, failFileName;
};

ConState& Con();

// A time times a rate, counted as 0 unless both are positive.
inline double ConProduct(double a, double b) { return a > 0 && b > 0 ? a * b : 0; }
int32_t& ConStop();

// Runs a load in a silent block; on failure asks the error procedure and acts on its reply.
// False when the block must end. A reply that ends the run records the failure, which the
// run raises again when it ends.
bool ConLoadWithReplies(const std::string& fileName, const std::function<void()>& load);
// Keeps the error in the register as the run's recorded failure.
void ConRecordFailure();
// Records a failure the run goes on past, without raising it.
void ConRecordFailure(int32_t category, int32_t code, const std::string& fileName);

}  // namespace rf::detail
