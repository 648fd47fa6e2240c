// The sound layer of the audio preview: a looping ring-buffer output (real or virtual), the
// streaming buffer topped up in pieces while it plays, and the player that feeds it from a file.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/uniaccess.h"

namespace rf::ui {

// One looping ring of PCM bytes on an output. The output plays from the play position onward
// and wraps at the end of the ring; the owner writes ahead of it.
class SoundStream {
 public:
  SoundStream(const WaveFormatEx& format, int32_t bytes) : format_(format), ring_(size_t(bytes), 0) {}
  virtual ~SoundStream() = default;
  SoundStream(const SoundStream&) = delete;
  SoundStream& operator=(const SoundStream&) = delete;

  bool Start();
  void Stop();
  bool Playing() const { return playing_; }
  int32_t PlayPosition() const { return playPos_; }
  int32_t RingBytes() const { return int32_t(ring_.size()); }
  void SetPlayPosition(int32_t byte) { playPos_ = ring_.empty() ? 0 : byte % int32_t(ring_.size()); }
  // Copies bytes into the ring at offset; the caller keeps offset + bytes within the ring.
  void Write(int32_t offset, const uint8_t* data, int32_t bytes);
  // A periodic timer calling tick from a thread of its own; one per stream.
  virtual void StartTimer(int32_t periodMs, std::function<void()> tick) = 0;
  virtual void StopTimer() = 0;

 protected:
  // Hands the output the next bytes of the loop (as far as dest holds) and moves the play position.
  void Consume(uint8_t* dest, int32_t bytes);
  virtual bool OnStart() { return true; }
  virtual void OnStop() {}
  const WaveFormatEx format_;

 private:
  std::vector<uint8_t> ring_;
  int32_t playPos_ = 0;
  bool playing_ = false;
};

// A sound output: makes streams. Null when the machine has no sound output.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  virtual std::unique_ptr<SoundStream> CreateStream(const WaveFormatEx& format, int32_t bytes) = 0;
};

// The output DXAInit opens; the desktop installs the real one, tests a virtual one.
using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>()>;
SoundOutputFactory SetSoundOutputFactory(SoundOutputFactory factory);  // returns the previous one

// A deterministic output for tests: nothing plays until Advance moves the play cursor, and every
// sample frame the cursor passes is recorded. Tick runs the stream's timer once.
class VirtualSoundStream : public SoundStream {
 public:
  using SoundStream::SoundStream;
  void Advance(int32_t frames);
  void Tick();
  bool TimerRunning() const { return bool(tick_); }
  int32_t TimerPeriod() const { return period_; }
  int32_t TimersStarted() const { return timersStarted_; }
  const std::vector<uint8_t>& Received() const { return received_; }
  void StartTimer(int32_t periodMs, std::function<void()> tick) override;
  void StopTimer() override { tick_ = nullptr; }

 private:
  std::function<void()> tick_;
  int32_t period_ = 0;
  int32_t timersStarted_ = 0;
  std::vector<uint8_t> received_;
};

class VirtualSoundOutput : public SoundOutput {
 public:
  std::unique_ptr<SoundStream> CreateStream(const WaveFormatEx& format, int32_t bytes) override;
  // The stream made last (nil before the first); it lives as long as its buffer.
  VirtualSoundStream* Last() const { return last_; }

 private:
  VirtualSoundStream* last_ = nullptr;
};

// The timer thread of the real output: calls tick every period until stopped.
class PeriodicTimer {
 public:
  ~PeriodicTimer() { Stop(); }
  void Start(int32_t periodMs, std::function<void()> tick);
  void Stop();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// The streaming buffer: one looping ring of `length` seconds, refilled in pieces.
inline constexpr int32_t DXA_NOT_SET = NOT_SET;
using DXAFiller = std::function<void(int32_t data, bool prefill)>;

struct QDXABuf {
  std::unique_ptr<SoundStream> buffer;
  int32_t valid = 0;
  int32_t cursor = -1;  // where the next fill starts; -1 after a clear
  double length = 0;
  int32_t totalSize = 0;
  WaveFormatEx format{};
  int32_t callbackData = 0;
  int32_t timerId = 0;
  int32_t timerPeriod = 0;
  DXAFiller filler;
  std::atomic<int32_t> busy{0};
};

bool DXAInit();
void DXADone();
bool DXAAvailable();
bool DXABufCreate(QDXABuf& buf, const WaveFormatEx& format, double seconds);
void DXABufDestroy(QDXABuf& buf);
void DXABufReset(QDXABuf& buf);
int32_t DXABufClear(QDXABuf& buf);
void DXABufSetFiller(QDXABuf& buf, DXAFiller filler);
void DXABufPreFill(QDXABuf& buf);
bool DXABufPlay(QDXABuf& buf);
bool DXABufStop(QDXABuf& buf);
// 1: unreadable; otherwise 4 (looping) + 8 (playing).
int32_t DXABufStatus(const QDXABuf& buf);
// Unit 0: bytes, 1: sample frames, other: 0.
int32_t DXABufGetTotalSize(const QDXABuf& buf, int32_t unit);
int32_t DXABufGetFreeSize(const QDXABuf& buf, int32_t unit);
bool DXABufFill(QDXABuf& buf, int32_t count, const uint8_t* data);

// Messages the player posts to its owner.
inline constexpr int32_t GHZ_REFILL = 1095;
inline constexpr int32_t GHZ_END = 1096;
using GhzPoster = std::function<void(int32_t message)>;

// The audio preview player: reads one file's sound sequentially into the streaming buffer.
// Every call but the poster's runs on the owner's thread.
class GigaHertz {
 public:
  // post delivers the player's messages to the owner's thread; it may be called from the timer.
  explicit GigaHertz(GhzPoster post);
  ~GigaHertz();
  GigaHertz(const GigaHertz&) = delete;
  GigaHertz& operator=(const GigaHertz&) = delete;

  bool Open(const std::string& name);
  void Close();
  void Play();
  void Pause();
  void Seek(double fraction);
  int32_t Position() const;
  double Fraction() const;
  void Refill();
  void End() { Pause(); }

  bool Opened() const { return opened_ != 0; }
  bool Playing() const { return playing_ != 0; }
  int32_t Length() const { return info_.audio.frames; }
  double BufferLength() const { return bufferLength_; }
  int32_t ReadPosition() const { return readPos_; }
  int32_t PlayPosition() const { return playPos_; }
  const QDXABuf& Buffer() const { return buf_; }

 private:
  GhzPoster post_;
  QUniInfo info_;
  QUniHandle handle_;
  int32_t readPos_ = 0;
  int32_t playPos_ = 0;
  QDXABuf buf_;
  double bufferLength_ = 0;
  double refillPeriod_ = 0;
  int32_t created_ = 0;
  int32_t opened_ = 0;
  int32_t playing_ = 0;
  std::atomic<int32_t> restart_{0};
};

}  // namespace rf::ui
