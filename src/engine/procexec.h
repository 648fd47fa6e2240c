// Turns a user command into conversion runs: the checks before a run, the working data, the
// per-frame pipeline around the effect chain, one shared palette in two passes, progress with
// stop and abort, and the outcome. The command line and the desktop program share all of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/conform.h"
#include "engine/project.h"

namespace rf {

// Progress window states.
inline constexpr int32_t PW_NONE = 0;
inline constexpr int32_t PW_PROCESSING = 1;
inline constexpr int32_t PW_STOP = 2;   // stop and keep what was written
inline constexpr int32_t PW_ABORT = 3;  // stop and delete the output

// The progress window as a run sees it; the front ends implement it. A run calls it on the
// thread that runs it, at most twice a second apart from opening and closing.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // Opens with a caption and the two lines (0 "Video", 1 "Audio"); the state becomes
  // PW_PROCESSING. A line that is off shows "No data".
  virtual void Open(const std::string& caption, bool videoLine, bool audioLine) = 0;
  virtual void Close() = 0;
  // A line's text and its bar position, 0 .. 10000.
  virtual void SetLine(int32_t line, const std::string& text, int32_t position) = 0;
  // The numbers behind a line's text, after every SetLine; for views that show them otherwise.
  virtual void SetCounts(int32_t /*line*/, int32_t /*done*/, int32_t /*total*/) {}
  // The remaining and the elapsed time as shown ("--:--:--" below a second).
  virtual void SetTimes(const std::string& remaining, const std::string& elapsed) = 0;
  // The application title during a run ("12.5% done"); empty restores the default title.
  virtual void SetTitle(const std::string& title) = 0;
  // The main window's status line ("Processing...", "Processing time: 00:01:02").
  virtual void SetStatus(const std::string& text) = 0;
  // Processes the user's pending input and returns the window state (PW_...).
  virtual int32_t State() = 0;
};

// What the preferences and the front end decide about runs.
struct RunSettings {
  bool warningOverwrite = true;  // ask before replacing an existing output
  bool playOutput = false;       // play the result of a successful run
  bool signalEnd = false;        // play signalSound after runs of at least signalMinutes
  int32_t signalMinutes = 0;
  std::string signalSound;
  int32_t previewMode = 0;  // preview preset 0 .. 3
  std::string tempFolder;   // where the preview file goes
  // Plays a result or a sound file (the player link or the sound layer); may be empty.
  std::function<void(const std::string& name)> play;
};

// The run's state between the command and the callbacks.
struct QWorkingData {
  int32_t Busy = 0;
  int32_t Pass = 1;  // 1 counting colours of a palette run, 2 writing
  int32_t VideoTotal = 0;
  int32_t VideoFrames = 0;
  int32_t AudioTotal = 0;
  int32_t AudioShown = 0;
  int32_t PalettePass = 0;
  int32_t RateConvert = 0;
  int32_t FrameIndex = 0;
  Qimg* CurImg = nullptr;
  Qimg* OtherImg = nullptr;
  int32_t LastVideo = NOT_SET;
  int32_t LastAudio = NOT_SET;
  double LastUpdate = -1000.0;
  double VideoRemain = 0;
  double AudioRemain = 0;
  int32_t VideoOn = 0, AudioOn = 0;
  std::string VideoName, AudioName;
  std::function<void(QConBlock&)> videoSource, audioSource;
  std::function<void(QConVideoFunc&)> videoFunc;
  std::function<void(QConAudioFunc&)> audioFunc;
  std::string captionSingle = "Saving to file...";
  std::string captionPass1 = "Creating palette (Step 1 of 2)...";
  std::string captionPass2 = "Saving to file (Step 2 of 2)...";
  QConReport Report;  // what the writing run wrote
};

// What a command returns when it started no run (another command is running, or it was refused).
inline constexpr int32_t NOT_RUN = -1;

// True when a run can start; otherwise shows the one message that says why (asking before an
// existing output is replaced, when the settings say so).
bool CheckOutput(const Project& project, const RunSettings& settings);
// The working data of a "Start Processing" run of the project.
void InitWorkingData(QWorkingData& work, Project& project);
// Runs once or, for a shared palette, twice. 0: something was written; 1: nothing was written;
// 2: an error was recorded (and shown).
int32_t ProcessingExec(Project& project, QWorkingData& work, ProgressView& progress, const RunSettings& settings);

// The commands.
int32_t StartProcessing(Project& project, ProgressView& progress, const RunSettings& settings);
// Shows "Number of unique colors: N" and returns N through colors.
int32_t CountColors(Project& project, ProgressView& progress, const RunSettings& settings, int32_t& colors);
int32_t TemporalAverage(Project& project, ProgressView& progress, const RunSettings& settings);
// Renders into the preview file (returned through previewName) and plays it.
int32_t RenderPreview(Project& project, ProgressView& progress, const RunSettings& settings, std::string& previewName);

}  // namespace rf
