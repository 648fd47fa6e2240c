// The audio step of the conversion run: opens audio blocks, decides when a chunk is due, loads
// or makes it, passes it through the audio function and writes it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

#include "engine/constate.h"
#include "formats/sndbasic.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"

namespace rf::detail {
namespace {

void CloseAudioInput(ConState& s) {
  if (!s.audioInOpen) return;
  UniClose(s.audioIn);
  s.audioInOpen = false;
}

void EndAudioBlock(ConState& s) {
  if (!s.Silence) CloseAudioInput(s);
  s.AudioNeedBlock = true;
  s.audioBlock.Count = 0;
}

// The sound format of silence: PCM, 8000 Hz, mono, 8 bits.
WaveFormatEx SilenceFormat() {
  WaveFormatEx f{WAVE_FORMAT_PCM, 1, 8000, 0, 0, 8, 0};
  f.blockAlign = uint16_t(f.bitsPerSample / 8 * f.channels);
  f.avgBytesPerSec = f.blockAlign * f.samplesPerSec;
  return f;
}

// Resolves the audio block just handed out; false when it has no audio.
bool ResolveAudioBlock(ConState& s) {
  QConBlock& b = s.audioBlock;
  s.Silence = b.Kind == bkSilence || b.Source == nullptr;
  if (s.Silence) {
    s.SndRate = 8000.0;
    s.silenceFormat = SilenceFormat();
    if (b.First == NOT_SET) b.First = 0;
    if (b.Count == NOT_SET) b.Count = 0;
    return true;
  }
  int32_t samples = 0;
  if (b.Kind == bkMemory) {
    const QSndBuf& buffer = *static_cast<const QSndBuf*>(b.Source);
    samples = buffer.count;
    s.SndRate = buffer.format.samplesPerSec;
  } else {
    if (b.Kind == bkFileName) {
      s.audioInfoP = &s.audioInfo;
      if (!UniInfo(static_cast<const char*>(b.Source), s.audioInfo, false)) {
        ConRecordFailure(6, 9, static_cast<const char*>(b.Source));
        s.AudioNeedBlock = true;
        b.Count = 0;
        return false;
      }
    } else {
      s.audioInfoP = static_cast<const QUniInfo*>(b.Source);
    }
    UniOpen(s.audioIn, *s.audioInfoP);
    s.audioInOpen = true;
    samples = s.audioInfoP->audio.frames;
    s.SndRate = s.audioInfoP->audio.samplesPerSec;
  }
  if (b.First == NOT_SET)
    b.First = b.StartTime != NOT_SET_F ? int32_t(std::trunc(ConProduct(b.StartTime, s.SndRate))) : 0;
  if (b.Count == NOT_SET) {
    if (b.Kind == bkMemory)
      b.Count = samples;
    else if (b.Duration != NOT_SET_F)
      b.Count = int32_t(std::trunc(ConProduct(b.Duration, s.SndRate)));
    else
      b.Count = samples;
  }
  const bool hasAudio = b.Kind == bkMemory || (s.audioInfoP->audio.hasAudio && samples > b.First && b.Count != 0);
  if (!hasAudio) return false;
  b.First = std::clamp(b.First, 0, samples);
  b.Count = std::clamp(b.Count, 0, samples - b.First);
  s.SamplesDone = s.SamplesBase;
  s.SamplesBase += b.Count;
  return true;
}

// Step 3: asks for blocks until one has audio; false when the run must end.
bool AcquireAudioBlock(ConState& s) {
  while (s.AudioNeedBlock) {
    s.AudioNeedBlock = false;
    s.audioSource(s.audioBlock);
    s.AudioDone = s.audioBlock.End || ConStop() == csStop;
    if (ConStop() != csRunning) return false;
    if (s.AudioDone) return true;
    const bool hasAudio = ResolveAudioBlock(s);
    if (!hasAudio) {
      if (!s.Silence) CloseAudioInput(s);
      s.AudioNeedBlock = true;
      if (s.audioBlock.Kind == bkMemory) return true;
    }
  }
  return true;
}

// Step 5: one chunk; false when the run must end.
bool WriteChunk(ConState& s) {
  QConBlock& b = s.audioBlock;
  int32_t size;
  if (s.VideoDone || !(s.FrameRate > 0))
    size = s.SndRate >= 1 ? int32_t(std::trunc(s.SndRate)) : b.Count;
  else
    size = int32_t(std::min(std::trunc(std::max(s.Interleave, 1) * s.SndRate / s.FrameRate), 2147483647.0));
  size = std::clamp(size, 0, b.Count);
  s.SamplesDone += size;
  const int32_t first = b.First;
  bool go = true;
  if (s.Silence) {
    SndMakeSilence(s.SndSrc, size, s.silenceFormat);
  } else if (b.Kind == bkMemory) {
    const QSndBuf& source = *static_cast<const QSndBuf*>(b.Source);
    GuardedSilent("ConForm.ConSnd_", [&] {
      _sndalloc_(s.SndSrc, std::max(1, size * source.format.blockAlign), "ConForm.ConSnd_.SndSrc");
      s.SndSrc.format = source.format;
      SndMove(source, s.SndSrc, first, size);
      s.SndSrc.count = size;
    });
    go = ErrNone();
    if (!go) ConRecordFailure();
  } else {
    go = ConLoadWithReplies(s.audioIn.name, [&] { UniSndLoad(s.audioIn, s.SndSrc, first, 1, size); });
  }
  if (!go) {
    EndAudioBlock(s);
    return ConStop() == csRunning;
  }
  // The block's last chunk ends its sound: conversions deliver what they hold back, so that the
  // block is written exactly as long as it is.
  std::optional<WaveConvertEnding> ending;
  if (size == b.Count) ending.emplace();
  QSndBuf* buffer = &s.SndSrc;
  if (s.audioFunc) {
    QConAudioFunc rec;
    rec.Source = &s.SndSrc;
    rec.Spare = &s.SndSpare;
    s.audioFunc(rec);
    if (ConStop() != csRunning) {
      EndAudioBlock(s);
      return false;
    }
    buffer = rec.Result;
  }
  if (s.audioOutRequested && buffer) UniSndSave(*s.audioOutput, *buffer);
  b.First += size;
  b.Count -= size;
  if (b.Count > 0) return true;
  EndAudioBlock(s);
  return ConStop() == csRunning;
}

}  // namespace

bool ConSnd_() {
  ConState& s = Con();
  bool result = true;
  TraceLabel scope("ConForm.ConSnd_");
  if (s.AudioDone) return result;
  const auto started = std::chrono::steady_clock::now();
  if (!AcquireAudioBlock(s)) {
    result = false;
  } else {
    const int32_t interleave = std::max(s.Interleave, 1);
    s.ChunkAtFrame = s.videoOutput && s.videoOutput->currentFrame % interleave == 0;
    if (!s.AudioDone && !s.AudioNeedBlock && (s.ChunkAtFrame || s.VideoDone)) result = WriteChunk(s);
  }
  s.AudioTime += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

}  // namespace rf::detail
