// The streaming sound buffer over a ring-buffer output, its virtual output, and the preview player.
#include "ui/sound.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"

namespace rf::ui {

bool SoundStream::Start() {
  if (!playing_) playing_ = OnStart();
  return playing_;
}

void SoundStream::Stop() {
  if (playing_) OnStop();
  playing_ = false;
}

void SoundStream::Write(int32_t offset, const uint8_t* data, int32_t bytes) {
  std::memcpy(ring_.data() + offset, data, size_t(bytes));
}

void SoundStream::Consume(uint8_t* dest, int32_t bytes) {
  const int32_t total = int32_t(ring_.size());
  for (int32_t done = 0; done < bytes && total > 0;) {
    const int32_t piece = std::min(bytes - done, total - playPos_);
    std::memcpy(dest + done, ring_.data() + playPos_, size_t(piece));
    done += piece;
    playPos_ = (playPos_ + piece) % total;
  }
}

void VirtualSoundStream::Advance(int32_t frames) {
  if (!Playing() || frames <= 0) return;
  const size_t bytes = size_t(frames) * format_.blockAlign;
  const size_t old = received_.size();
  received_.resize(old + bytes);
  Consume(received_.data() + old, int32_t(bytes));
}

void VirtualSoundStream::Tick() {
  if (tick_) tick_();
}

void VirtualSoundStream::StartTimer(int32_t periodMs, std::function<void()> tick) {
  period_ = periodMs;
  tick_ = std::move(tick);
  ++timersStarted_;
}

std::unique_ptr<SoundStream> VirtualSoundOutput::CreateStream(const WaveFormatEx& format, int32_t bytes) {
  auto stream = std::make_unique<VirtualSoundStream>(format, bytes);
  last_ = stream.get();
  return stream;
}

struct PeriodicTimer::State {
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  std::thread thread;
};

void PeriodicTimer::Start(int32_t periodMs, std::function<void()> tick) {
  Stop();
  state_ = std::make_shared<State>();
  const auto period = std::chrono::milliseconds(std::max(periodMs, 1));
  state_->thread = std::thread([state = state_.get(), period, tick = std::move(tick)] {
    std::unique_lock lock(state->mutex);
    while (!state->wake.wait_for(lock, period, [state] { return state->stop; })) tick();
  });
}

void PeriodicTimer::Stop() {
  if (!state_) return;
  {
    std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->wake.notify_all();
  state_->thread.join();
  state_.reset();
}

namespace {

SoundOutputFactory& Factory() {
  static SoundOutputFactory factory;
  return factory;
}

// The module state: the open output, nil when none is available.
std::unique_ptr<SoundOutput>& Output() {
  static std::unique_ptr<SoundOutput> output;
  return output;
}

// Calls the filler unless it is running already; busy is cleared also when it throws.
void GuardedFill(QDXABuf& buf, bool prefill) {
  if (!buf.filler) return;
  int32_t idle = RF_FALSE;
  if (!buf.busy.compare_exchange_strong(idle, RF_TRUE)) return;
  struct Clear {
    std::atomic<int32_t>& busy;
    ~Clear() { busy = RF_FALSE; }
  } clear{buf.busy};
  try {
    buf.filler(buf.callbackData, prefill);
  } catch (...) {
    // A failing filler loses one refill; the next timer tick asks again.
  }
}

int32_t BytesToUnit(const QDXABuf& buf, int32_t bytes, int32_t unit) {
  if (unit == 0) return bytes;
  if (unit == 1) return buf.format.blockAlign > 0 ? bytes / buf.format.blockAlign : 0;
  return 0;
}

}  // namespace

SoundOutputFactory SetSoundOutputFactory(SoundOutputFactory factory) {
  return std::exchange(Factory(), std::move(factory));
}

bool DXAInit() {
  TraceLabel label("DXAudio.DXAInit");
  if (DXAAvailable()) DXADone();
  if (Factory()) Output() = Factory()();
  return DXAAvailable();
}

void DXADone() {
  TraceLabel label("DXAudio.DXADone");
  Output().reset();
}

bool DXAAvailable() { return Output() != nullptr; }

void DXABufReset(QDXABuf& buf) {
  buf.buffer.reset();
  buf.valid = RF_FALSE;
  buf.filler = nullptr;
  buf.busy = RF_FALSE;
}

bool DXABufCreate(QDXABuf& buf, const WaveFormatEx& format, double seconds) {
  TraceLabel label("DXAudio.DXABufCreate");
  DXABufReset(buf);
  buf.format = format;
  buf.length = seconds;
  const bool sane = seconds > 0 && format.samplesPerSec > 0 && format.blockAlign >= 1;
  buf.totalSize = sane ? int32_t(seconds * format.samplesPerSec * format.blockAlign) : 0;
  if (DXAAvailable() && buf.totalSize > 0) buf.buffer = Output()->CreateStream(format, buf.totalSize);
  buf.valid = buf.buffer ? RF_TRUE : RF_FALSE;
  buf.callbackData = DXA_NOT_SET;
  buf.timerId = 0;
  buf.timerPeriod = int32_t(seconds * 1000 * 0.25);
  DXABufClear(buf);
  return buf.valid != 0;
}

void DXABufDestroy(QDXABuf& buf) {
  TraceLabel label("DXAudio.DXABufDestroy");
  if (!DXAAvailable() || !buf.valid) return;
  DXABufStop(buf);
  while (buf.busy || DXABufStatus(buf) == 8) std::this_thread::yield();
  DXABufReset(buf);
}

int32_t DXABufClear(QDXABuf& buf) {
  if (buf.buffer) buf.buffer->SetPlayPosition(0);
  buf.cursor = -1;
  return 0;
}

void DXABufSetFiller(QDXABuf& buf, DXAFiller filler) { buf.filler = std::move(filler); }

void DXABufPreFill(QDXABuf& buf) { GuardedFill(buf, true); }

bool DXABufPlay(QDXABuf& buf) {
  TraceLabel label("DXAudio.DXABufPlay");
  if (!buf.valid || !buf.buffer->Start()) return false;
  buf.buffer->StartTimer(buf.timerPeriod, [&buf] { GuardedFill(buf, false); });
  buf.timerId = 1;
  return true;
}

bool DXABufStop(QDXABuf& buf) {
  TraceLabel label("DXAudio.DXABufStop");
  if (!buf.valid) return true;
  buf.buffer->Stop();
  buf.buffer->StopTimer();
  buf.timerId = 0;
  DXABufClear(buf);
  return true;
}

int32_t DXABufStatus(const QDXABuf& buf) {
  if (!buf.valid) return 1;
  return buf.buffer->Playing() ? 4 + 8 : 0;
}

int32_t DXABufGetTotalSize(const QDXABuf& buf, int32_t unit) { return BytesToUnit(buf, buf.totalSize, unit); }

int32_t DXABufGetFreeSize(const QDXABuf& buf, int32_t unit) {
  int32_t bytes = buf.totalSize;
  if (buf.cursor != -1) {
    if (!buf.valid) return 0;
    const int32_t play = buf.buffer->PlayPosition();
    bytes = buf.cursor > play ? buf.totalSize - (buf.cursor - play) : play - buf.cursor;
  }
  return BytesToUnit(buf, bytes, unit);
}

bool DXABufFill(QDXABuf& buf, int32_t count, const uint8_t* data) {
  TraceLabel label("DXAudio.DXABufFill");
  const int32_t align = buf.format.blockAlign;
  const int64_t wanted = count > 0 && align > 0 ? int64_t(count) * align : 0;
  const int32_t bytes = int32_t(std::clamp<int64_t>(wanted, 0, buf.totalSize));
  if (bytes <= 0) return true;
  if (!buf.valid) return false;
  buf.cursor = std::clamp(buf.cursor, 0, buf.totalSize - 1);
  // The two regions of a locked span: up to the ring's end, then the wrap from its start.
  const int32_t first = std::min(bytes, buf.totalSize - buf.cursor);
  buf.buffer->Write(buf.cursor, data, first);
  if (bytes > first) buf.buffer->Write(0, data + first, bytes - first);
  buf.cursor = (buf.cursor + bytes) % buf.totalSize;
  return true;
}

GigaHertz::GigaHertz(GhzPoster post) : post_(std::move(post)) { DXAInit(); }

GigaHertz::~GigaHertz() {
  Close();
  DXADone();
}

bool GigaHertz::Open(const std::string& name) {
  bool found = false;
  GuardedSilent("GigaHertz.Open", [&] {
    if (opened_) Close();
    readPos_ = playPos_ = 0;
    created_ = opened_ = playing_ = RF_FALSE;
    restart_ = RF_FALSE;
    if (!UniInfo(name, info_, false) || !info_.audio.hasAudio || !info_.audio.audioReadable) return;
    found = true;
    const WaveFormatEx& format = info_.audio.decodedFormat;
    const double duration = format.samplesPerSec > 0 ? double(info_.audio.frames) / format.samplesPerSec : 0;
    bufferLength_ = std::clamp(duration, 0.1, 0.5);
    refillPeriod_ = bufferLength_ * 0.25;
    created_ = DXABufCreate(buf_, format, bufferLength_) ? RF_TRUE : RF_FALSE;
    if (!created_) return;
    GuardedSilent("GigaHertz.Open.UniOpen", [&] { UniOpen(handle_, info_); });
    if (ErrNone())
      opened_ = RF_TRUE;
    else
      DXABufDestroy(buf_);
  });
  return found && ErrNone() && opened_;
}

void GigaHertz::Close() {
  if (!opened_) return;
  if (playing_) Pause();
  DXABufDestroy(buf_);
  {
    ErrLockScope keep;
    UniClose(handle_);
  }
  opened_ = RF_FALSE;
  readPos_ = playPos_ = 0;
}

void GigaHertz::Play() {
  if (!opened_ || !post_ || playing_) return;
  // The filler runs on the timer thread too: it only marks a restart and asks for a refill.
  DXABufSetFiller(buf_, [this](int32_t, bool prefill) {
    if (prefill) restart_ = RF_TRUE;
    post_(GHZ_REFILL);
  });
  DXABufPreFill(buf_);
  playing_ = DXABufPlay(buf_) ? RF_TRUE : RF_FALSE;
}

void GigaHertz::Pause() {
  readPos_ = Position();
  DXABufStop(buf_);
  playing_ = RF_FALSE;
}

void GigaHertz::Seek(double fraction) {
  readPos_ = playPos_ = std::clamp(int32_t(Length() * fraction), 0, Length());
  restart_ = RF_TRUE;
}

int32_t GigaHertz::Position() const { return std::min(std::max(playPos_ + DXABufGetFreeSize(buf_, 1), 0), Length()); }

double GigaHertz::Fraction() const { return Length() > 0 ? std::clamp(double(Position()) / Length(), 0.0, 1.0) : 0.0; }

void GigaHertz::Refill() {
  if (!opened_ || !playing_) return;
  const bool restart = restart_ != 0;
  int32_t n = 0;
  if (restart) {
    n = DXABufGetTotalSize(buf_, 1) - 8;
    playPos_ = readPos_;
  } else {
    n = DXABufGetFreeSize(buf_, 1) - 8;
  }
  if (n <= 256) return;
  QSndBuf sound{};
  int32_t got = 0;
  GuardedSilent("GigaHertz.Refill", [&] {
    MonSetCleanup([&] { SndFree(sound); });
    if (readPos_ >= Length() - 8) {
      sound.format = info_.audio.decodedFormat;
    } else {
      const int32_t count = std::max(std::min(n, Length() - readPos_ - 1), 0);
      UniSndLoad(handle_, sound, readPos_, restart ? 0 : 1, count);
      got = std::min(sound.count, n);
    }
    if (n > got) SndAddSilence(sound, n);
  });
  if (!ErrNone()) {
    // The window thread shows the failure; playback ends where the sound could not be read.
    Pause();
    return;
  }
  if (restart) {
    DXABufClear(buf_);
    restart_ = RF_FALSE;
  } else {
    playPos_ = std::min(playPos_ + n, Length());
  }
  DXABufFill(buf_, n, sound.SndData);
  SndFree(sound);
  readPos_ += got;
  if (playPos_ >= readPos_) {
    DXABufStop(buf_);
    post_(GHZ_END);
  }
}

}  // namespace rf::ui
