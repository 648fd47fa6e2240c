// The run commands: the checks before a run, the working data, the callbacks that feed the
// conversion run from the project (block sources, the pipeline, the audio format, progress with
// stop and abort), the shared palette's two passes and the outcome.
#include "engine/procexec.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "effects/average.h"
#include "effects/fnparams.h"
#include "engine/pipeline.h"
#include "engine/predict.h"
#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "image/palopt.h"
#include "os/kernel.h"

namespace rf {
namespace {

using Clock = std::chrono::steady_clock;

// The command guard: a command that finds another one running returns at once.
bool g_commandBusy = false;

class CommandGuard {
 public:
  CommandGuard() : entered_(!g_commandBusy) { g_commandBusy = true; }
  ~CommandGuard() {
    if (entered_) g_commandBusy = false;
  }
  CommandGuard(const CommandGuard&) = delete;
  CommandGuard& operator=(const CommandGuard&) = delete;
  bool Entered() const { return entered_; }

 private:
  bool entered_;
};

// The state of the run in progress that the working data does not hold.
struct RunContext {
  Project* project = nullptr;
  QWorkingData* work = nullptr;
  ProgressView* progress = nullptr;
  Clock::time_point started;
  bool failureShown = false;  // the error procedure has shown the run's failure already
};

double Elapsed(const RunContext& run) { return std::chrono::duration<double>(Clock::now() - run.started).count(); }

std::string Normalised(const std::string& name) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(name, ec);
  return ec ? name : p.lexically_normal().string();
}

// Two names of one file: the same path, or two links to one file.
bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (Normalised(a) == Normalised(b)) return true;
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

bool NamesABlockFile(const Project& project, const MMBlockList& blocks, const std::string& name) {
  for (const MMBlockRec* b : blocks.items) {
    if (!MMBlockP_IsFile(*b)) continue;
    const QMMFileInfo* file = MMFile_GetPtrByIndex(project.list.files, b->file);
    if (file && SameFile(file->info.name, name)) return true;
  }
  return false;
}

// False when the file exists and the user does not want it replaced.
bool PassesOverwriteCheck(const std::string& name, const RunSettings& settings) {
  if (name.empty() || !settings.warningOverwrite || !kernel::FileExists(name)) return true;
  return AskQuestion(Buttons::YesNo, "File \u201c" + name + "\u201d already exists. Overwrite?") == Answer::Yes;
}

// The edit list's samples at the output's rate.
int32_t AudioSamples(const Project& project) {
  double total = 0;
  const double rate = project.output.WaveFormat.samplesPerSec;
  for (const MMBlockRec* b : project.list.audio.items)
    if (b->frequency > 0) total += std::trunc((b->last - b->first + 1) * rate / b->frequency);
  return int32_t(std::min(total, 2147483647.0));
}

const QUniInfo* BlockInfo(const Project& project, const MMBlockRec& b) {
  return &MMFile_GetPtrByIndex(project.list.files, b.file)->info;
}

// Block i of n in the output's order; false past the last one.
const MMBlockRec* NextBlock(const Project& project, const MMBlockList& blocks, QConBlock& rec) {
  const int32_t n = int32_t(blocks.items.size());
  if (rec.Index >= n) {
    rec.End = RF_TRUE;
    return nullptr;
  }
  const int32_t i = project.output.Direction != 1 ? n - 1 - rec.Index : rec.Index;
  ++rec.Index;
  rec.End = RF_FALSE;
  rec.Repeat = 1;
  rec.Direction = project.output.Direction == 1 ? 1 : -1;
  rec.StartTime = rec.Duration = NOT_SET_F;
  return blocks.items[size_t(i)];
}

void AddVideoBlock(const Project& project, QConBlock& rec) {
  const MMBlockRec* b = NextBlock(project, project.list.video, rec);
  if (!b) return;
  rec.Kind = bkInfo;
  rec.Source = BlockInfo(project, *b);
  rec.FormatHint = 0;
  // The edit list counts frames from 0, the run from 1.
  rec.First = b->first + 1;
  rec.Count = b->last - b->first + 1;
  rec.FrameRate = b->frequency;
}

void AddAudioBlock(const Project& project, QConBlock& rec) {
  const MMBlockRec* b = NextBlock(project, project.list.audio, rec);
  if (!b) return;
  const bool file = MMBlockP_IsFile(*b);
  rec.Kind = file ? bkInfo : bkSilence;
  rec.Source = file ? BlockInfo(project, *b) : nullptr;
  rec.First = b->first;
  rec.Count = b->last - b->first + 1;
}

// The frame through the pipeline, with the record's pictures as the working data's.
void RunPipeline(const Project& project, QWorkingData& work, GeoWork& geo, QConVideoFunc& rec) {
  work.FrameIndex = rec.FrameIndex;
  PipelineFrame frame{rec.FrameIndex, rec.Source, rec.Spare, work.PalettePass != 0, work.Pass};
  PipelineRun(project.output, project.chain, geo, frame);
  work.CurImg = frame.current;
  work.OtherImg = frame.other;
}

// The geometry's pictures for the life of the working data that refers to them.
std::shared_ptr<GeoWork> NewGeoWork() {
  return std::shared_ptr<GeoWork>(new GeoWork, [](GeoWork* g) {
    GeoDone(*g);
    delete g;
  });
}

void SetVideoFunction(QWorkingData& work, Project& project, std::function<void(QWorkingData&, QConVideoFunc&)> finish) {
  auto geo = NewGeoWork();
  work.videoFunc = [&project, &work, geo, finish = std::move(finish)](QConVideoFunc& rec) {
    RunPipeline(project, work, *geo, rec);
    finish(work, rec);
  };
}

std::string TimeText(double seconds) {
  return seconds < 1 ? "--:--:--" : SecToStr(SEC_HOURS | SEC_MINUTES | SEC_SECONDS | SEC_NO_MILLIS, seconds);
}

std::string LineText(const char* medium, const char* unit, int32_t done, int32_t total, double percent) {
  char pct[32];
  std::snprintf(pct, sizeof pct, "%.1f", percent);
  return std::string(medium) + ": " + unit + " " + FormatUInt(100, uint32_t(std::max(done, 0))) + " of " +
         FormatUInt(100, uint32_t(std::max(total, 0))) + "  (" + pct + "% done)";
}

// One progress line when its count changed; adds its percentage to sum. True when updated.
bool UpdateLine(ProgressView& view, int32_t line, const char* medium, const char* unit, int32_t done, int32_t total,
                int32_t& last, double& sum) {
  if (total <= 0 || done == last) return false;
  const double percent = double(done) / total * 100.0;
  view.SetLine(line, LineText(medium, unit, done, total, percent), int32_t(std::trunc(percent * 100)));
  view.SetCounts(line, done, total);
  last = done;
  sum += percent;
  return true;
}

void ConvertProgress(RunContext& run, const QConProgress& p) {
  QWorkingData& work = *run.work;
  ProgressView& view = *run.progress;
  const double now = Elapsed(run);
  if (!(now - work.LastUpdate > 0.5)) return;
  work.LastUpdate = now;
  double sum = 0;
  int32_t shown = 0;
  shown += UpdateLine(view, 0, "Video", "frame", p.VideoFramesDone, work.VideoTotal, work.LastVideo, sum);
  shown += UpdateLine(view, 1, "Audio", "sample", p.SamplesDone, work.AudioTotal, work.LastAudio, sum);
  work.VideoRemain = Predict_Time(work.VideoRemain, p.VideoTime, work.VideoTotal, p.VideoFramesDone);
  work.AudioRemain = Predict_Time(work.AudioRemain, p.AudioTime, work.AudioTotal, p.SamplesDone);
  view.SetTimes(TimeText(Predict_TimeGranulate(work.VideoRemain + work.AudioRemain)), TimeText(now));
  if (shown > 0) {
    char title[48];
    std::snprintf(title, sizeof title, "%.1f%% done", sum / shown);
    view.SetTitle(title);
  }
  const int32_t state = view.State();
  if (state == PW_STOP) ConSetStopState(csStop);
  if (state == PW_ABORT) ConSetStopState(csAbort);
  if (state != PW_PROCESSING) work.Busy = RF_FALSE;
}

// A load failure during the run: told at once, and the run stops keeping what it wrote.
void RunError(RunContext& run, const std::string& fileName, int32_t& reply) {
  const std::string message = ErrLastMessage();
  ShowErrorBox(message.find(fileName) == std::string::npos ? message + " (file: " + fileName + ")" : message);
  run.failureShown = true;
  reply = erStop;
}

void RegisterRun(RunContext& run) {
  QWorkingData& work = *run.work;
  const OutputDef& def = run.project->output;
  ConSetProgressCBF([&run](QConProgress& p) { ConvertProgress(run, p); },
                    [&run](const std::string& name, int32_t& reply) { RunError(run, name, reply); });
  ConSetVideoFuncCBF(work.videoFunc);
  ConSetAudioFuncCBF(work.audioFunc);
  ConSetFrameRate(work.RateConvert != 0, def.FPS);
  ConSetInterleave(work.VideoFrames > 0 ? std::clamp(def.Interleave, 1, work.VideoFrames) : 1);
  ConSetFrameCount(work.VideoFrames);
  if (work.VideoOn) ConSetVideoBlockCBF(work.videoSource);
  if (work.AudioOn && !work.PalettePass) ConSetAudioBlockCBF(work.audioSource);
}

void RunPasses(RunContext& run) {
  QWorkingData& work = *run.work;
  ProgressView& view = *run.progress;
  const QffSaveOpt& opts = run.project->output.VideoSaveOpt;
  if (!work.PalettePass) {
    view.Open(work.captionSingle, work.VideoFrames > 0, work.AudioShown > 0);
    ConStart(work.VideoName, work.AudioName, &opts, work.Report);
    return;
  }
  view.Open(work.captionPass1, work.VideoOn != 0, false);
  // The shared palette's working block lives for both passes, however they end.
  struct PaletteScope {
    PaletteScope() { PalInit(); }
    ~PaletteScope() { PalDone(); }
  } palette;
  PalClearVars();
  work.Pass = 1;
  QConReport counting;
  ConStart("", "", &opts, counting);
  view.Close();
  if (work.Busy && ErrNone()) {
    if (work.AudioOn) ConSetAudioBlockCBF(work.audioSource);
    view.Open(work.captionPass2, work.VideoFrames > 0, work.AudioShown > 0);
    PalReduce(256);
    work.Pass = 2;
    ConStart(work.VideoName, work.AudioName, &opts, work.Report);
  }
}

// The outcome of a run that has ended, with the failure shown once.
int32_t Outcome(RunContext& run, bool aborted) {
  const QConReport& report = run.work->Report;
  if (!ErrNone()) {
    if (run.failureShown)
      ErrClear();
    else
      ShowLastError();
    return 2;
  }
  // An aborted run has removed what it wrote.
  return !aborted && (report.VideoFrames > 0 || report.AudioSamples > 0) ? 0 : 1;
}

// Ends the average a stopped run left open, without disturbing the error register.
void ResetAverage() {
  ErrLockScope lock;
  Qimg rest;
  GuardedSilent("MainUnit.ResetAverage", [&] { ImgAverageDone(rest); });
  ImgFree(rest);
}

// The preview presets, by the "PVRenderMode" preference.
struct PreviewPreset {
  const char* name;
  int32_t width, height, bits;
  bool grayscale;
};
constexpr PreviewPreset kPreviewPresets[4] = {
    {"Super Fast", 100, 100, 8, true},
    {"Fast", 200, 200, 8, true},
    {"Medium", 200, 200, 16, false},
    {"Hi Quality", 400, 400, 16, false},
};

std::string PreviewName(const RunSettings& settings) {
  const std::string folder = settings.tempFolder.empty() ? kernel::TempDir() : settings.tempFolder;
  return (std::filesystem::path(folder) / "$reelforge-preview.hav").string();
}

// Rewrites the output definition for a preview into name; false when no medium can be on.
bool RewriteForPreview(Project& project, const PreviewPreset& preset, const std::string& name) {
  OutputDef& def = project.output;
  const bool video = def.VideoOn || (OutVideoFile(def).empty() && !project.list.video.items.empty());
  const bool audio = def.AudioOn || (OutAudioFile(def).empty() && !project.list.audio.items.empty());
  if (!video && !audio) return false;
  int32_t x = 0, y = 0, width = def.FinalWidth, height = def.FinalHeight;
  CalcBoxResize(preset.width, preset.height, false, x, y, width, height);
  def.FinalWidth = width;
  def.FinalHeight = height;
  def.OutMode = video && audio ? OM_SAME_FILE : video ? OM_VIDEO_ONLY : OM_AUDIO_ONLY;
  OutSetVideoFile(def, video ? name : "");
  OutSetAudioFile(def, audio ? name : "");
  def.VideoFormat = def.AudioFormat = FF_HAV;
  FFSaveSetFormat(def.VideoSaveOpt, FF_HAV);
  def.Filter = 0;
  def.Depth = preset.bits;
  def.SinglePalette = RF_TRUE;
  def.Dither = RF_FALSE;
  def.Grayscale = OutBool(preset.grayscale);
  def.WaveFormat = OutPcmFormat(22050, std::max<int32_t>(def.WaveFormat.channels, 1), 8);
  OutputFiles_OnChange(def);
  return true;
}

}  // namespace

bool CheckOutput(const Project& project, const RunSettings& settings) {
  const OutputDef& def = project.output;
  const bool videoBlocks = !project.list.video.items.empty(), audioBlocks = !project.list.audio.items.empty();
  const bool videoWanted = videoBlocks && def.VideoOn, audioWanted = audioBlocks && def.AudioOn;
  const std::string video = OutVideoFile(def), audio = OutAudioFile(def);
  if (!videoBlocks && !audioBlocks) {
    ShowWarningBox("There are no input files.");
    return false;
  }
  if ((video.empty() && audio.empty()) || (videoWanted && video.empty()) || (audioWanted && audio.empty())) {
    ShowWarningBox("Please enter the output file name.");
    return false;
  }
  if (!videoWanted && !audioWanted) {
    ShowWarningBox("This combination of input files and output settings cannot produce any output.");
    return false;
  }
  for (const std::string& name : {video, audio}) {
    if (NamesABlockFile(project, project.list.video, name) || NamesABlockFile(project, project.list.audio, name)) {
      ShowErrorBox("Please select another output file, this one is used as the input file.");
      return false;
    }
  }
  if (!PassesOverwriteCheck(video, settings)) return false;
  if (!audio.empty() && SameFile(audio, video)) return true;
  return PassesOverwriteCheck(audio, settings);
}

void InitWorkingData(QWorkingData& work, Project& project) {
  const OutputDef& def = project.output;
  work = QWorkingData{};
  work.Busy = RF_TRUE;
  work.VideoOn = def.VideoOn && !project.list.video.items.empty() ? RF_TRUE : RF_FALSE;
  work.AudioOn = def.AudioOn && !project.list.audio.items.empty() ? RF_TRUE : RF_FALSE;
  // The progress counts source frames; the run's frame count is what the output receives.
  work.VideoTotal = work.VideoOn ? project.list.video.totalQuants : 0;
  work.VideoFrames = work.VideoOn ? std::max(def.Frames, 0) : 0;
  work.AudioTotal = work.AudioShown = work.AudioOn ? AudioSamples(project) : 0;
  work.PalettePass = OutBool(work.VideoTotal > 0 && def.Depth == 8 && def.SinglePalette && !def.Grayscale);
  work.RateConvert = def.KeepDuration;
  work.VideoName = work.VideoOn ? OutVideoFile(def) : std::string();
  work.AudioName = work.AudioOn ? OutAudioFile(def) : std::string();
  work.videoSource = [&project](QConBlock& rec) { AddVideoBlock(project, rec); };
  work.audioSource = [&project](QConBlock& rec) { AddAudioBlock(project, rec); };
  SetVideoFunction(work, project, [](QWorkingData& w, QConVideoFunc& rec) { rec.Result = w.CurImg; });
  work.audioFunc = [&project](QConAudioFunc& rec) {
    rec.Result = rec.Source;
    if (WaveFormatEqual(rec.Source->format, project.output.WaveFormat)) return;
    SndConvert(*rec.Source, *rec.Spare, project.output.WaveFormat);
    rec.Result = rec.Spare;
  };
}

int32_t ProcessingExec(Project& project, QWorkingData& work, ProgressView& progress, const RunSettings& settings) {
  RunContext run{&project, &work, &progress, Clock::now(), false};
  OutputDef& def = project.output;
  bool aborted = false;
  GuardedSilent("MainUnit.ProcessingExec", [&] {
    OutAdjustMpegAudio(def);
    work.Busy = RF_TRUE;
    progress.SetStatus("Processing...");
    RegisterRun(run);
    RunPasses(run);
  });
  aborted = ConGetStopState() == csAbort;
  ConDone();
  const int32_t result = Outcome(run, aborted);
  progress.Close();
  progress.SetTitle("");
  work.Busy = RF_FALSE;
  const double seconds = Elapsed(run);
  if (result == 0) {
    ShortStrSet(def.LastVideoFile.data(), work.Report.VideoName, 255);
    ShortStrSet(def.LastAudioFile.data(), work.Report.AudioName, 255);
  }
  progress.SetStatus("Processing time: " + SecToStr(SEC_HOURS | SEC_MINUTES | SEC_SECONDS | SEC_NO_MILLIS, seconds));
  if (settings.signalEnd && settings.play && seconds / 60 >= settings.signalMinutes)
    settings.play(settings.signalSound);
  return result;
}

int32_t StartProcessing(Project& project, ProgressView& progress, const RunSettings& settings) {
  CommandGuard guard;
  if (!guard.Entered() || !CheckOutput(project, settings)) return NOT_RUN;
  QWorkingData work;
  InitWorkingData(work, project);
  project.output.LastVideoFile = project.output.VideoFile;
  project.output.LastAudioFile = project.output.AudioFile;
  const int32_t result = ProcessingExec(project, work, progress, settings);
  if (result == 0 && settings.playOutput && settings.play)
    settings.play(!work.VideoName.empty() ? work.VideoName : work.AudioName);
  return result;
}

int32_t CountColors(Project& project, ProgressView& progress, const RunSettings& settings, int32_t& colors) {
  colors = 0;
  CommandGuard guard;
  if (!guard.Entered() || project.list.video.items.empty()) return NOT_RUN;
  QWorkingData work;
  InitWorkingData(work, project);
  work.captionSingle = work.captionPass1 = work.captionPass2 = "Counting colors";
  work.PalettePass = RF_FALSE;
  work.VideoOn = RF_TRUE;
  work.VideoTotal = project.list.video.totalQuants;
  work.VideoFrames = std::max(project.output.Frames, 1);
  work.AudioOn = work.AudioTotal = work.AudioShown = 0;
  work.VideoName.clear();
  work.AudioName.clear();
  work.audioSource = nullptr;
  work.audioFunc = nullptr;
  SetVideoFunction(work, project, [](QWorkingData& w, QConVideoFunc& rec) {
    ImgColorsCount(*w.CurImg);
    rec.Result = nullptr;
  });
  ImgColorsDone();
  const int32_t result = ProcessingExec(project, work, progress, settings);
  colors = ImgColorsDone();
  ShowInfoBox("Number of unique colors: " + std::to_string(colors));
  return result;
}

int32_t TemporalAverage(Project& project, ProgressView& progress, const RunSettings& settings) {
  CommandGuard guard;
  if (!guard.Entered() || project.list.video.items.empty() || !CheckOutput(project, settings)) return NOT_RUN;
  QWorkingData work;
  InitWorkingData(work, project);
  work.captionSingle = work.captionPass1 = "Averaging Frames";
  work.VideoFrames = 1;
  work.PalettePass = work.RateConvert = RF_FALSE;
  work.AudioOn = work.AudioTotal = work.AudioShown = 0;
  work.AudioName.clear();
  SetVideoFunction(work, project, [](QWorkingData& w, QConVideoFunc& rec) {
    ImgAverage(*w.CurImg);
    rec.Result = nullptr;
    if (w.FrameIndex < w.VideoTotal - 1) return;
    ImgAverageDone(*w.OtherImg);
    rec.Result = w.OtherImg;
  });
  ResetAverage();
  const int32_t result = ProcessingExec(project, work, progress, settings);
  if (result == 0 && settings.playOutput && settings.play) settings.play(work.VideoName);
  ResetAverage();
  return result;
}

int32_t RenderPreview(Project& project, ProgressView& progress, const RunSettings& settings, std::string& previewName) {
  CommandGuard guard;
  if (!guard.Entered()) return NOT_RUN;
  previewName = PreviewName(settings);
  const PreviewPreset& preset = kPreviewPresets[std::clamp(settings.previewMode, 0, 3)];
  const OutputDef saved = project.output;
  int32_t result = NOT_RUN;
  if (RewriteForPreview(project, preset, previewName)) {
    QWorkingData work;
    InitWorkingData(work, project);
    work.captionSingle = work.captionPass1 = work.captionPass2 = "Rendering preview, please wait...";
    result = ProcessingExec(project, work, progress, settings);
  } else {
    ShowWarningBox("This combination of input files and output settings cannot produce any output.");
  }
  project.output = saved;
  if (result == 0 && settings.play) settings.play(previewName);
  return result;
}

}  // namespace rf
