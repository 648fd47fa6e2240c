// The player widget: one movie, sequence, still or sound file shown frame by frame through the
// universal media layer, with its sound through the sound layer, play/pause, a position bar, full
// screen and media-player keys.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <memory>

class QLabel;
class QSlider;
class QTimer;
class QToolButton;

namespace rf::ui {

class PlayerWidget : public QWidget {
  Q_OBJECT
 public:
  explicit PlayerWidget(QWidget* parent = nullptr);
  ~PlayerWidget() override;

  // Opens a file and shows its first frame; false (the reason shown) when it cannot be read.
  bool Open(const QString& name);
  void CloseFile();
  bool IsOpen() const;
  QString FileName() const;

  int32_t Frames() const;
  int32_t Position() const;  // 1-based frame shown, 0 when nothing is open
  double FrameRate() const;  // frames per second taken from the file
  bool IsPlaying() const;
  const QImage& ShownImage() const { return shown_; }
  bool HasSound() const;  // the file's sound plays on an output
  // The sample frame where a video frame's sound starts.
  int32_t SoundSampleOf(int32_t frame) const;

  void ShowFrame(int32_t frame);
  // Shows a frame and, while playing, restarts the sound there.
  void Seek(int32_t frame);
  void Step(int32_t delta);
  void Play();
  void Pause();
  void TogglePlay();
  void ToggleFullScreen();

 signals:
  void Finished();  // playing reached the last frame
  void FileChanged(const QString& name);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Media;
  void Tick();
  int32_t ClockFrame() const;
  void StartSound();
  void RunClock();
  void OnSoundMessage(int32_t message);
  void Refresh();
  void UpdateControls();
  std::unique_ptr<Media> media_;
  QImage shown_;
  QLabel* picture_;
  QSlider* bar_;
  QToolButton* playButton_;
  QLabel* time_;
  QTimer* timer_;
};

}  // namespace rf::ui
