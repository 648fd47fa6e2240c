// The real sound output: each stream is a QAudioSink fed in push mode from the stream's ring by a
// pump on the window thread; the ring's play position is what the pump has handed on.
#include "ui/soundqt.h"

#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QTimer>
#include <memory>
#include <vector>

#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "ui/sound.h"

namespace rf::ui {
namespace {

QAudioFormat ToQt(const WaveFormatEx& format) {
  QAudioFormat q;
  q.setSampleRate(int(format.samplesPerSec));
  q.setChannelCount(format.channels);
  q.setSampleFormat(format.bitsPerSample == 8    ? QAudioFormat::UInt8
                    : format.bitsPerSample == 32 ? QAudioFormat::Int32
                                                 : QAudioFormat::Int16);
  return q;
}

// How often the pump tops up the sink: well inside the shortest ring of a tenth of a second.
constexpr int kPumpMs = 10;

class QtSoundStream : public SoundStream {
 public:
  using SoundStream::SoundStream;
  ~QtSoundStream() override {
    StopTimer();
    QtSoundStream::OnStop();
  }
  void StartTimer(int32_t periodMs, std::function<void()> tick) override { timer_.Start(periodMs, std::move(tick)); }
  void StopTimer() override { timer_.Stop(); }

 protected:
  bool OnStart() override {
    sink_ = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), ToQt(format_));
    // The sink holds a quarter of the ring at most, so that what it has taken never reaches
    // the part of the ring the refills have not written yet.
    const int32_t align = std::max<int32_t>(format_.blockAlign, 1);
    sink_->setBufferSize(std::max(RingBytes() / 4 / align, 1) * align);
    io_ = sink_->start();
    if (!io_) {
      sink_.reset();
      return false;
    }
    pump_ = std::make_unique<QTimer>();
    QObject::connect(pump_.get(), &QTimer::timeout, [this] { Pump(); });
    pump_->start(kPumpMs);
    Pump();
    return true;
  }
  void OnStop() override {
    pump_.reset();
    if (sink_) sink_->stop();
    sink_.reset();
    io_ = nullptr;
  }

 private:
  void Pump() {
    const int32_t align = std::max<int32_t>(format_.blockAlign, 1);
    const int32_t bytes = int32_t(sink_->bytesFree()) / align * align;
    if (bytes <= 0) return;
    scratch_.resize(size_t(bytes));
    Consume(scratch_.data(), bytes);
    io_->write(reinterpret_cast<const char*>(scratch_.data()), bytes);
  }

  PeriodicTimer timer_;
  std::unique_ptr<QAudioSink> sink_;
  QIODevice* io_ = nullptr;
  std::unique_ptr<QTimer> pump_;
  std::vector<uint8_t> scratch_;
};

class QtSoundOutput : public SoundOutput {
 public:
  std::unique_ptr<SoundStream> CreateStream(const WaveFormatEx& format, int32_t bytes) override {
    if (!QMediaDevices::defaultAudioOutput().isFormatSupported(ToQt(format))) return nullptr;
    return std::make_unique<QtSoundStream>(format, bytes);
  }
};

// The sound PlayWave plays: its bytes, the buffer reading them and the sink.
struct WavePlayback {
  QByteArray bytes;
  QBuffer source;
  std::unique_ptr<QAudioSink> sink;
};

std::unique_ptr<WavePlayback>& CurrentWave() {
  static std::unique_ptr<WavePlayback> wave;
  return wave;
}

// The whole decoded sound of a file, or an empty buffer when it has none.
bool LoadSound(const std::string& name, QSndBuf& sound) {
  QUniInfo info;
  if (!UniInfo(name, info, false) || !info.audio.hasAudio || !info.audio.audioReadable) return false;
  QUniHandle handle;
  GuardedSilent("SoundQt.PlayWave", [&] {
    UniOpen(handle, info);
    UniSndLoad(handle, sound, 0, 0, info.audio.frames);
  });
  {
    ErrLockScope keep;
    UniClose(handle);
  }
  const bool ok = ErrNone() && sound.count > 0;
  ErrClear();
  return ok;
}

}  // namespace

bool SoundOutputPresent() { return !QMediaDevices::defaultAudioOutput().isNull(); }

void InstallSoundOutput() {
  const auto previous = SetSoundOutputFactory(nullptr);
  if (previous) {
    SetSoundOutputFactory(previous);
    return;
  }
  SetSoundOutputFactory([]() -> std::unique_ptr<SoundOutput> {
    if (!SoundOutputPresent()) return nullptr;
    return std::make_unique<QtSoundOutput>();
  });
}

bool PlayWave(const std::string& name) {
  CurrentWave().reset();
  if (!SoundOutputPresent()) return false;
  QSndBuf sound{};
  if (!LoadSound(name, sound)) {
    SndFree(sound);
    return false;
  }
  auto wave = std::make_unique<WavePlayback>();
  wave->bytes = QByteArray(reinterpret_cast<const char*>(sound.SndData), sound.count * sound.format.blockAlign);
  const QAudioFormat format = ToQt(sound.format);
  SndFree(sound);
  wave->source.setBuffer(&wave->bytes);
  wave->source.open(QIODevice::ReadOnly);
  wave->sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format);
  wave->sink->start(&wave->source);
  CurrentWave() = std::move(wave);
  return true;
}

}  // namespace rf::ui
