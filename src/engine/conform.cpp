// The conversion run (trace labels "ConForm.*"): block acquisition, frame loading, the video
// function, frame-rate conversion and writing, interleaved with the audio step.
#include "engine/conform.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/constate.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"

namespace rf {
namespace detail {
namespace {
std::unique_ptr<ConState> g_state = std::make_unique<ConState>();
int32_t g_stop = csRunning;
}  // namespace

ConState& Con() { return *g_state; }
int32_t& ConStop() { return g_stop; }

void ConRecordFailure() {
  if (ErrNone()) return;
  ConState& s = Con();
  if (s.failed) return;
  s.failed = true;
  s.failCategory = ErrCategory();
  s.failCode = ErrCode();
  s.failText = ErrLastMessage();
  s.failFileName = LastFileName();
}

void ConRecordFailure(int32_t category, int32_t code, const std::string& fileName) {
  ConState& s = Con();
  if (s.failed) return;
  s.failed = true;
  s.failCategory = category;
  s.failCode = code;
  s.failText = ErrMessage(category, code);
  s.failFileName = fileName;
}

bool ConLoadWithReplies(const std::string& fileName, const std::function<void()>& load) {
  ConState& s = Con();
  for (;;) {
    GuardedSilent("ConForm.ConLoad", load);
    if (ErrNone()) return true;
    if (!s.error) {
      ConRecordFailure();
      return false;
    }
    // Taken before the error procedure, which may show and clear it: a reply that ends the run
    // keeps the failure as the run's result, the others forget it.
    const bool recordedBefore = s.failed;
    ConRecordFailure();
    int32_t reply = erIgnore;
    s.error(fileName, reply);
    const bool endsRun = reply == erAbort || reply == erStop;
    if (!endsRun) s.failed = recordedBefore;
    if (reply == erRetry) continue;
    ErrClear();
    if (endsRun) ConStop() = reply;
    return !endsRun && reply != erSkipBlock;
  }
}

}  // namespace detail

using detail::Con;
using detail::ConState;
using detail::ConStop;

namespace {

void CloseVideoInput(ConState& s) {
  if (!s.videoInOpen) return;
  UniClose(s.videoIn);
  s.videoInOpen = false;
}

// Opens and resolves the next video block; false when it has no video.
bool ResolveVideoBlock(ConState& s) {
  QConBlock& b = s.videoBlock;
  switch (b.Kind) {
    case bkFileName:
      s.videoInfoP = &s.videoInfo;
      // The format hint asks for the numbered files that follow the named one.
      if (!UniInfo(static_cast<const char*>(b.Source), s.videoInfo, b.FormatHint != 0)) {
        detail::ConRecordFailure(6, 9, static_cast<const char*>(b.Source));
        return false;
      }
      break;
    case bkInfo:
      s.videoInfoP = static_cast<const QUniInfo*>(b.Source);
      break;
    case bkMemory:
      s.videoInfo = QUniInfo{};
      s.videoIn = QUniHandle{};
      s.videoInfoP = &s.videoInfo;
      break;
    default:
      return false;
  }
  const QUniInfo& info = *s.videoInfoP;
  if (b.Kind != bkMemory) {
    UniOpen(s.videoIn, info);
    s.videoInOpen = true;
  }
  if (b.FrameRate != NOT_SET_F) s.videoIn.video.frameRate = b.FrameRate;
  if (s.videoIn.video.frameRate == 0.0) s.videoIn.video.frameRate = s.FrameRate;
  const double fileRate = info.video.frameRate;
  if (b.First == NOT_SET)
    b.First = b.StartTime != NOT_SET_F ? int32_t(std::trunc(detail::ConProduct(b.StartTime, fileRate))) + 1 : 1;
  if (b.Count == NOT_SET) {
    if (b.Kind == bkMemory)
      b.Count = 1;
    else if (b.Duration != NOT_SET_F)
      b.Count = int32_t(std::trunc(detail::ConProduct(b.Duration, fileRate)));
    else
      b.Count = info.video.frames;
  }
  const int32_t frames = b.Kind == bkMemory ? 1 : info.video.frames;
  const bool hasVideo = b.Kind == bkMemory || (info.video.hasVideo && frames >= b.First && b.Count != 0);
  if (!hasVideo) return false;
  b.First = std::clamp(b.First, 1, frames);
  b.Count = std::clamp(b.Count, 1, frames - b.First + 1);
  if (b.Repeat < 1) b.Repeat = 1;
  s.frameStep = 1;
  if (b.Direction == -1) {
    s.frameStep = -1;
    b.First = b.First + b.Count - 1;
  }
  s.ratio = s.videoIn.video.frameRate != 0.0 ? s.FrameRate / s.videoIn.video.frameRate : 1.0;
  s.progressPos = s.countTotal;
  s.countTotal += b.Count;
  const bool statefulDecoder =
      info.format == FF_HAV || info.format == FF_FLC || (info.format == FF_GIF && info.kind == UNI_MOVIE);
  if (s.videoFunc && statefulDecoder) {
    s.loadTarget = &s.DecodeImg;
  } else {
    s.loadTarget = &s.WorkImg;
    ImgFree(s.DecodeImg);
  }
  return true;
}

// Step A: asks for blocks until one has video, the source ends or the run stops.
void AcquireVideoBlock(ConState& s) {
  bool hasVideo = false;
  do {
    s.VideoNeedBlock = false;
    s.videoSource(s.videoBlock);
    s.VideoDone = s.videoBlock.End || ConStop() == csStop;
    if (ConStop() != csRunning) return;
    if (s.VideoDone) return;
    hasVideo = ResolveVideoBlock(s);
    if (!hasVideo) {
      CloseVideoInput(s);
      s.VideoNeedBlock = true;
    }
  } while (!s.VideoDone && !hasVideo && ConStop() == csRunning && s.videoBlock.Kind != bkMemory);
}

void EndVideoBlock(ConState& s) {
  CloseVideoInput(s);
  s.VideoNeedBlock = true;
  s.videoBlock.Count = 0;
}

// Writes the image once for each output frame the rate conversion gives it; false when the
// audio step asked the run to end.
bool WriteFrame(ConState& s, Qimg* image) {
  QConBlock& b = s.videoBlock;
  // A frame whose failed load was ignored may have left no picture: there is nothing to write.
  if (image && !ImgValid(*image)) image = nullptr;
  for (int32_t r = 0; r < b.Repeat; ++r) {
    s.accumulator += s.ratio;
    if (!image) continue;
    int32_t writes = 1;
    if (s.RateConvert) {
      if (s.firstFrame && std::trunc(s.accumulator) < 1) s.accumulator = 1.0;
      writes = int32_t(std::trunc(s.accumulator));
    }
    for (int32_t w = 0; w < writes; ++w) {
      UniImgSave(*s.videoOutput, *image);
      if (s.firstFrame) s.videoName = s.videoOutput->name;
      if (!detail::ConSnd_()) return false;
    }
    if (s.RateConvert) s.accumulator -= std::trunc(s.accumulator);
    s.firstFrame = false;
  }
  return true;
}

// Step B: one source frame; false when the block ended.
bool VideoFrame(ConState& s) {
  QConBlock& b = s.videoBlock;
  Qimg* loaded = b.Kind == bkMemory ? const_cast<Qimg*>(static_cast<const Qimg*>(b.Source)) : s.loadTarget;
  if (b.Kind != bkMemory) {
    const int32_t frame = b.First;
    if (!detail::ConLoadWithReplies(s.videoIn.name, [&] { UniImgLoad(s.videoIn, *s.loadTarget, frame, 2); })) {
      EndVideoBlock(s);
      return false;
    }
  }
  if (ConStop() != csRunning) {
    EndVideoBlock(s);
    return false;
  }
  Qimg* image = loaded;
  if (s.videoFunc) {
    if (loaded != &s.WorkImg) ImgCopy(*loaded, s.WorkImg);
    QConVideoFunc rec;
    rec.FrameIndex = s.funcFrames;
    rec.Source = &s.WorkImg;
    rec.Spare = &s.SpareImg;
    s.videoFunc(rec);
    ++s.funcFrames;
    if (ConStop() != csRunning) {
      EndVideoBlock(s);
      return false;
    }
    image = rec.Result;
  }
  if (s.videoOutRequested && !WriteFrame(s, image)) {
    EndVideoBlock(s);
    return false;
  }
  b.First += s.frameStep;
  --b.Count;
  ++s.progressPos;
  if (b.Count > 0) return true;
  EndVideoBlock(s);
  return false;
}

void Setup(ConState& s, std::string_view videoFileName, std::string_view audioFileName, const QffSaveOpt* opts) {
  s.accumulator = 0;
  s.ratio = 0;
  s.progressPos = 0;
  s.countTotal = 0;
  s.funcFrames = 0;
  s.SamplesBase = 0;
  s.SamplesDone = 0;
  s.failed = false;
  const bool hasVideo = bool(s.videoSource), hasAudio = bool(s.audioSource);
  s.VideoDone = !hasVideo;
  s.AudioDone = !hasAudio;
  s.VideoNeedBlock = hasVideo;
  s.AudioNeedBlock = hasAudio;
  s.videoInOpen = s.audioInOpen = false;
  s.firstFrame = true;
  s.ChunkAtFrame = false;
  s.videoOutRequested = !videoFileName.empty();
  s.audioOutRequested = !audioFileName.empty();
  s.videoBlock = QConBlock{};
  s.audioBlock = QConBlock{};
  s.FrameRate = std::clamp(s.FrameRate, 0.0, 2147483647.0);
  if (s.Interleave < 1) s.Interleave = int32_t(std::trunc(s.FrameRate));
  s.videoOutput = s.audioOutput = nullptr;
  if (s.videoOutRequested) {
    s.videoOutput = &s.videoOut;
    UniCreate(s.videoOut, videoFileName);
    if (opts) UniSetSaveOptions(s.videoOut, *opts);
    UniSetFrameCount(s.videoOut, s.FrameCount);
    UniSetFrameRate(s.videoOut, s.FrameRate);
    s.videoName = s.videoOut.name;
  }
  if (s.audioOutRequested) {
    if (s.videoOutRequested && audioFileName == videoFileName) {
      s.audioOutput = &s.videoOut;
      if (s.Interleave <= 0) s.Interleave = std::max(int32_t(std::trunc(s.FrameRate)), 1);
      UniSetInterleave(s.videoOut, s.Interleave);
    } else {
      s.audioOutput = &s.audioOwnOut;
      UniCreate(s.audioOwnOut, audioFileName);
      s.audioName = s.audioOwnOut.name;
    }
  }
  s.runStart = std::chrono::steady_clock::now();
}

void MainLoop(ConState& s) {
  for (;;) {
    if (!s.VideoDone && s.VideoNeedBlock) AcquireVideoBlock(s);
    if (!s.VideoDone && ConStop() == csRunning && !s.VideoNeedBlock) {
      if (!VideoFrame(s) && ConStop() != csRunning) return;
    }
    if (!s.ChunkAtFrame && !detail::ConSnd_()) return;
    s.ChunkAtFrame = false;
    if ((s.VideoDone && s.AudioDone) || ConStop() != csRunning) return;
    if (s.progress) {
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - s.runStart).count();
      QConProgress rec;
      rec.VideoFramesDone = s.progressPos;
      rec.VideoTime = elapsed - s.AudioTime;
      rec.SamplesDone = s.SamplesDone;
      rec.AudioTime = s.AudioTime;
      s.progress(rec);
      if (ConStop() != csRunning) return;
    }
  }
}

bool Empty(const QUniHandle& h) { return h.currentFrame == 0 && h.samplePos == 0; }

// What an output wrote, so that an empty one can be dropped after closing.
struct Written {
  std::string name;
  bool sequence = false;
  QSeqName seq;
};

Written WrittenBy(const QUniHandle& h, std::string_view fileName) {
  Written w{std::string(fileName), h.kind == UNI_SEQUENCE && h.created, h.seq};
  return w;
}

// An output that received nothing leaves the file its name had before: what it created is taken
// out of the run's output group.
void DropOutput(const Written& w) {
  FGroupDrop(w.name);
  if (w.sequence)
    for (int32_t i = 1; i <= w.seq.count; ++i) FGroupDrop(SeqMakeName(w.seq, i));
}

void EndOfRun(ConState& s, std::string_view videoFileName, std::string_view audioFileName, QConReport& result) {
  result = QConReport{};
  bool videoEmpty = false, audioEmpty = false;
  const Written video = WrittenBy(s.videoOut, videoFileName);
  const Written audio = WrittenBy(s.audioOwnOut, audioFileName);
  if (s.videoOutput) {
    result.VideoFrames = s.videoOutput->currentFrame;
    result.VideoName = s.videoName;
    videoEmpty = Empty(*s.videoOutput);
  }
  if (s.audioOutput) {
    result.AudioSamples = s.audioOutput->samplePos;
    result.AudioName = s.audioOutput == &s.videoOut ? s.videoName : s.audioName;
    audioEmpty = Empty(*s.audioOutput);
  }
  ConCloseAll();
  if (s.videoOutRequested && videoEmpty) DropOutput(video);
  if (s.audioOutRequested && audioEmpty) DropOutput(audio);
}

}  // namespace

void ConSetVideoBlockCBF(ConBlockCBF source) { Con().videoSource = std::move(source); }
void ConSetAudioBlockCBF(ConBlockCBF source) { Con().audioSource = std::move(source); }
void ConSetVideoFuncCBF(ConVideoFuncCBF function) { Con().videoFunc = std::move(function); }
void ConSetAudioFuncCBF(ConAudioFuncCBF function) { Con().audioFunc = std::move(function); }
void ConSetProgressCBF(ConProgressCBF progress, ConErrorCBF error) {
  Con().progress = std::move(progress);
  Con().error = std::move(error);
}
void ConSetFrameCount(int32_t frames) { Con().FrameCount = frames; }
void ConSetFrameRate(bool rateConvert, double frameRate) {
  Con().RateConvert = rateConvert;
  Con().FrameRate = frameRate;
}
void ConSetInterleave(int32_t framesPerChunk) { Con().Interleave = framesPerChunk; }
void ConSetStopState(int32_t state) { ConStop() = state; }
int32_t ConGetStopState() { return ConStop(); }

void ConStart(std::string_view videoFileName, std::string_view audioFileName, const QffSaveOpt* saveOptions,
              QConReport& result) {
  ConState& s = Con();
  // Every file of the run is written under a temporary name until the run ends: only a finished
  // or stopped run puts them in the place of the files their names had.
  const bool ownGroup = FGroupBegin();
  GuardedSilent("ConForm.ConStart", [&] {
    Setup(s, videoFileName, audioFileName, saveOptions);
    MainLoop(s);
  });
  detail::ConRecordFailure();
  // The end of the run must not disturb the failure being reported; a file that cannot be
  // finished fails the run.
  const bool failed = s.failed;
  if (failed) ErrLock();
  EndOfRun(s, videoFileName, audioFileName, result);
  if (failed) ErrUnlock();
  if (ownGroup) {
    if (s.failed || ConStop() == csAbort)
      FGroupDiscard();
    else
      FGroupCommit();
  }
  if (s.failed) {
    SetLastFileName(s.failFileName);
    ErrSetFull(s.failCategory, s.failCode, s.failText);
  }
}

void ConCloseAll() {
  ConState& s = Con();
  // Every file is closed, also after another one failed to: the first failure is the run's.
  const std::function<void()> closes[] = {
      [&] { CloseVideoInput(s); },
      [&] {
        if (s.audioInOpen) UniClose(s.audioIn);
        s.audioInOpen = false;
      },
      [&] { UniClose(s.videoOut); },
      [&] { UniClose(s.audioOwnOut); },
  };
  for (const auto& close : closes) {
    GuardedSilent("ConForm.ConCloseAll", close);
    detail::ConRecordFailure();
  }
  SndFree(s.SndSpare);
  SndFree(s.SndSrc);
  ImgFree(s.SpareImg);
  ImgFree(s.WorkImg);
  ImgFree(s.DecodeImg);
}

void ConDone() {
  detail::g_state = std::make_unique<ConState>();
  ConStop() = csRunning;
}

}  // namespace rf
