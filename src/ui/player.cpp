// The player widget: decoding through the universal media layer; the clock is the sound's play
// position while the sound plays, else the file's frame rate.
#include "ui/player.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "formats/uniaccess.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "image/imgbasic.h"
#include "ui/sound.h"

namespace rf::ui {
namespace {

// Sequences and stills carry no rate of their own.
constexpr double kDefaultRate = 25.0;
// While the sound drives the clock the picture looks at it this often.
constexpr int kSoundTickMs = 10;

QImage ToQImage(Qimg& img) {
  Qimg rgb;
  Qimg* src = &img;
  if (img.bpp != 24) {
    ImgConvBpp(img, rgb, 24);
    src = &rgb;
  }
  QImage out = QImage(src->data, src->width, src->height, src->width * 3, QImage::Format_BGR888).copy();
  ImgFree(rgb);
  return out;
}

QString Clock(double seconds) {
  const int total = int(seconds * 100 + 0.5);
  return QString("%1:%2.%3")
      .arg(total / 6000)
      .arg(total / 100 % 60, 2, 10, QChar('0'))
      .arg(total % 100, 2, 10, QChar('0'));
}

}  // namespace

struct PlayerWidget::Media {
  QString name;
  QUniInfo info;
  QUniHandle handle;
  Qimg img;
  int32_t frames = 0;
  int32_t position = 0;
  double rate = kDefaultRate;
  // Receives the sound player's messages; queued ones die with it when the file closes.
  std::unique_ptr<QObject> soundContext;
  std::unique_ptr<GigaHertz> sound;  // null when the file has no sound or there is no output
  ~Media() {
    ErrLockScope lock;
    ImgFree(img);
    UniClose(handle);
  }
};

PlayerWidget::PlayerWidget(QWidget* parent)
    : QWidget(parent),
      picture_(new QLabel(this)),
      bar_(new QSlider(Qt::Horizontal, this)),
      playButton_(new QToolButton(this)),
      time_(new QLabel(this)),
      timer_(new QTimer(this)) {
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setMinimumSize(160, 120);
  picture_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  picture_->setStyleSheet("background: black; color: gray;");
  playButton_->setFocusPolicy(Qt::NoFocus);
  bar_->setFocusPolicy(Qt::NoFocus);
  time_->setMinimumWidth(time_->fontMetrics().horizontalAdvance("00000 / 00000  00:00.00"));
  timer_->setTimerType(Qt::PreciseTimer);
  auto* controls = new QHBoxLayout;
  controls->addWidget(playButton_);
  controls->addWidget(bar_, 1);
  controls->addWidget(time_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 4);
  layout->addWidget(picture_, 1);
  layout->addLayout(controls);
  setFocusPolicy(Qt::StrongFocus);
  connect(playButton_, &QToolButton::clicked, this, &PlayerWidget::TogglePlay);
  connect(bar_, &QSlider::valueChanged, this, [this](int value) {
    if (media_ && value != media_->position) Seek(value);
  });
  connect(timer_, &QTimer::timeout, this, &PlayerWidget::Tick);
  UpdateControls();
}

PlayerWidget::~PlayerWidget() = default;

bool PlayerWidget::Open(const QString& name) {
  CloseFile();
  auto media = std::make_unique<Media>();
  media->name = name;
  const std::string path = name.toStdString();
  if (!UniInfo(path, media->info, true)) {
    UniRaiseLastProblem();
    ShowLastError(path);
    return false;
  }
  GuardedSilent("Player.Open", [&] { UniOpen(media->handle, media->info); });
  if (ShowLastError(path)) return false;
  media->frames = media->handle.video.hasVideo ? std::max(media->handle.video.frames, 1) : 0;
  if (media->handle.video.frameRate > 0) media->rate = media->handle.video.frameRate;
  media_ = std::move(media);
  if (media_->info.audio.hasAudio) {
    media_->soundContext = std::make_unique<QObject>();
    QObject* context = media_->soundContext.get();
    auto sound = std::make_unique<GigaHertz>([this, context](int32_t message) {
      QMetaObject::invokeMethod(
          context, [this, message] { OnSoundMessage(message); }, Qt::QueuedConnection);
    });
    // Without an output, or with sound that cannot be read, the picture plays silently.
    if (DXAAvailable() && sound->Open(path)) media_->sound = std::move(sound);
    ShowLastError(path);
  }
  emit FileChanged(name);
  ShowFrame(1);
  UpdateControls();
  return true;
}

void PlayerWidget::CloseFile() {
  Pause();
  media_.reset();
  shown_ = QImage();
  picture_->clear();
  UpdateControls();
}

bool PlayerWidget::IsOpen() const { return media_ != nullptr; }
QString PlayerWidget::FileName() const { return media_ ? media_->name : QString(); }
int32_t PlayerWidget::Frames() const { return media_ ? media_->frames : 0; }
int32_t PlayerWidget::Position() const { return media_ ? media_->position : 0; }
double PlayerWidget::FrameRate() const { return media_ ? media_->rate : 0; }
bool PlayerWidget::IsPlaying() const { return timer_->isActive(); }
bool PlayerWidget::HasSound() const { return media_ && media_->sound; }

int32_t PlayerWidget::SoundSampleOf(int32_t frame) const {
  if (!media_) return 0;
  // Rounded up, so that the sample's own frame is the one given.
  return int32_t(std::ceil(double(frame - 1) * media_->info.audio.decodedFormat.samplesPerSec / media_->rate));
}

void PlayerWidget::ShowFrame(int32_t frame) {
  if (!media_ || media_->frames == 0) return;
  frame = std::clamp(frame, 1, media_->frames);
  Media& m = *media_;
  // The next frame decodes on from the last one; any other is a seek to its key frame.
  const bool next = frame == m.handle.currentFrame + 1;
  GuardedSilent("Player.ShowFrame", [&] { UniImgLoad(m.handle, m.img, next ? 0 : frame, 0); });
  if (ShowLastError(m.name.toStdString())) {
    Pause();
    return;
  }
  m.position = frame;
  shown_ = ToQImage(m.img);
  Refresh();
  UpdateControls();
}

void PlayerWidget::Seek(int32_t frame) {
  ShowFrame(frame);
  if (IsPlaying()) RunClock();
}

void PlayerWidget::Step(int32_t delta) {
  Pause();
  ShowFrame(Position() + delta);
}

void PlayerWidget::Play() {
  if (!media_ || media_->frames < 2) return;
  if (media_->position >= media_->frames) ShowFrame(1);
  RunClock();
}

void PlayerWidget::RunClock() {
  if (media_->sound) StartSound();
  const bool soundClock = media_->sound && media_->sound->Playing();
  timer_->start(soundClock ? kSoundTickMs : int(std::lround(1000.0 / media_->rate)));
  UpdateControls();
}

void PlayerWidget::StartSound() {
  GigaHertz& sound = *media_->sound;
  if (sound.Length() <= 0) return;
  sound.Seek((SoundSampleOf(media_->position) + 0.5) / sound.Length());
  sound.Play();
  // The first fill is done at once so that the sound's position is where the picture is.
  sound.Refill();
  ShowLastError(media_->name.toStdString());
}

void PlayerWidget::OnSoundMessage(int32_t message) {
  if (!media_ || !media_->sound) return;
  if (message == GHZ_END) {
    media_->sound->End();
    // A picture longer than its sound runs on at the file's rate.
    if (IsPlaying()) timer_->setInterval(int(std::lround(1000.0 / media_->rate)));
    return;
  }
  media_->sound->Refill();
  ShowLastError(media_->name.toStdString());
}

void PlayerWidget::Pause() {
  timer_->stop();
  if (media_ && media_->sound) media_->sound->Pause();
  UpdateControls();
}

void PlayerWidget::TogglePlay() { IsPlaying() ? Pause() : Play(); }

void PlayerWidget::ToggleFullScreen() {
  QWidget* top = window();
  top->setWindowState(top->windowState() ^ Qt::WindowFullScreen);
}

int32_t PlayerWidget::ClockFrame() const {
  const Media& m = *media_;
  if (!m.sound || !m.sound->Playing()) return m.position + 1;
  const double samplesPerSec = m.info.audio.decodedFormat.samplesPerSec;
  return 1 + int32_t(std::floor(m.sound->Position() * m.rate / samplesPerSec));
}

void PlayerWidget::Tick() {
  // A clock past the end still shows the last frame before playing stops.
  const int32_t frame = media_ ? ClockFrame() : 0;
  if (media_ && frame > media_->position && media_->position < media_->frames)
    ShowFrame(std::min(frame, media_->frames));
  if (!media_ || frame > media_->frames) {
    Pause();
    emit Finished();
  }
}

void PlayerWidget::Refresh() {
  if (shown_.isNull()) return;
  // The picture fills the room it has, keeping its shape.
  picture_->setPixmap(
      QPixmap::fromImage(shown_.scaled(picture_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void PlayerWidget::UpdateControls() {
  const int32_t frames = Frames();
  const QSignalBlocker block(bar_);
  bar_->setRange(frames > 0 ? 1 : 0, frames);
  bar_->setValue(Position());
  bar_->setEnabled(frames > 1);
  playButton_->setEnabled(frames > 1);
  playButton_->setIcon(style()->standardIcon(IsPlaying() ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
  if (!media_) {
    time_->clear();
  } else if (frames == 0) {
    time_->setText(tr("sound only, %1").arg(Clock(media_->info.audio.duration)));
  } else {
    time_->setText(QString("%1 / %2  %3").arg(Position()).arg(frames).arg(Clock((Position() - 1) / media_->rate)));
  }
}

void PlayerWidget::keyPressEvent(QKeyEvent* event) {
  const int32_t second = media_ ? std::max(1, int32_t(std::lround(media_->rate))) : 1;
  switch (event->key()) {
    case Qt::Key_Space:
      TogglePlay();
      break;
    case Qt::Key_Right:
      Step(1);
      break;
    case Qt::Key_Left:
      Step(-1);
      break;
    case Qt::Key_Up:
      Step(second);
      break;
    case Qt::Key_Down:
      Step(-second);
      break;
    case Qt::Key_Home:
      Pause();
      ShowFrame(1);
      break;
    case Qt::Key_End:
      Pause();
      ShowFrame(Frames());
      break;
    case Qt::Key_F:
      ToggleFullScreen();
      break;
    case Qt::Key_Escape:
      if (window()->isFullScreen()) ToggleFullScreen();
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void PlayerWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Refresh();
}

}  // namespace rf::ui
