// Batch jobs: the edit list of a job's inputs, its effect chain and the output definition
// derived from them, ready for the run commands.
#include "engine/batchjob.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "editlist/mmedit.h"
#include "effects/fnchain.h"
#include "effects/fnrun.h"
#include "engine/geodlg.h"
#include "engine/outdef.h"
#include "engine/project.h"
#include "formats/ff_avi.h"
#include "formats/ff_mpg.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"

namespace rf {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// What building a job's project derives on the way.
struct JobState {
  explicit JobState(Project& p) : project(p) { FFSaveInit(opts); }

  Project& project;
  MMList& list = project.list;
  WaveFormatEx soundFormat{};
  int32_t framesTotal = 0, samplesTotal = 0;
  QffSaveOpt opts;
  OutputDef& def = project.output;
  double fps = 0;
  bool pictures = false, sound = false;
  std::string videoName, audioName;
};

const QUniInfo* InfoOf(const JobState& js, const MMBlockRec& b) {
  return &MMFile_GetPtrByIndex(js.list.files, b.file)->info;
}

// The sound format of the output: the first audio file's, else CD quality, with the values the
// job gives.
WaveFormatEx SoundFormat(const JobState& js, const BatchJob& job) {
  WaveFormatEx f{WAVE_FORMAT_PCM, 2, 44100, 0, 0, 16, 0};
  for (const MMBlockRec* b : js.list.audio.items) {
    if (!MMBlockP_IsFile(*b)) continue;
    f = InfoOf(js, *b)->audio.decodedFormat;
    break;
  }
  if (job.audioRate > 0 || job.audioBits > 0 || job.audioChannels > 0)
    return OutPcmFormat(job.audioRate > 0 ? job.audioRate : int32_t(f.samplesPerSec),
                        job.audioChannels > 0 ? job.audioChannels : f.channels,
                        job.audioBits > 0 ? job.audioBits : f.bitsPerSample);
  WaveFormatValidate(f);
  return f;
}

double OutputRate(const JobState& js, double wanted) {
  if (wanted > 0) return wanted;
  for (const MMBlockRec* b : js.list.video.items) {
    const double rate = InfoOf(js, *b)->video.frameRate;
    if (rate > 0) return rate;
  }
  return 25.0;
}

bool MpegFamily(int32_t format) { return format == FF_MPG || format == FF_MP2 || format == FF_MOV; }

// The sound MPEG and MP4 encoders take: 16 bits, one or two channels, an MPEG audio rate.
WaveFormatEx MpegSoundFormat(WaveFormatEx f, int32_t format) {
  if (format != FF_MOV) f.samplesPerSec = uint32_t(MpgAudioRate(int32_t(f.samplesPerSec)));
  f.channels = std::min<uint16_t>(f.channels, 2);
  f.bitsPerSample = 16;
  f.formatTag = WAVE_FORMAT_PCM;
  f.extraSize = 0;
  WaveFormatValidate(f);
  return f;
}

// The MPEG options of the job into the save options; false with the error set when refused.
bool MpegOptions(const BatchJob& job, int32_t format, QffSaveOpt& opts) {
  if (format == FF_MOV && !job.codec.empty() && Lower(job.codec) != "h264") {
    SetLastFileName(job.output);
    ErrSetText(2, "MP4 outputs are written with the h264 codec only, not " + job.codec);
    return false;
  }
  opts.mpegFormat = job.mpeg2 ? 2 : 1;
  if (job.mpegRate > 0) opts.mpegRate = job.mpegRate;
  opts.param1 = format == FF_MOV && job.crf >= 0 ? job.crf : FF_AUTO;
  FFSavePrepare(opts, 0, 0, 24);
  return true;
}

void RefuseOutput(const std::string& name, const char* medium) {
  SetLastFileName(name);
  ErrSetText(2, "No input has " + std::string(medium) + " for this output: " + name);
}

// An output that nothing of the inputs can reach is refused before any output is created.
void CheckOutputsReceive(const JobState& js, const BatchJob& job, bool pictures) {
  const bool sound = !js.list.audio.items.empty();
  if (pictures && js.list.video.items.empty()) RefuseOutput(job.output, "pictures");
  if (!pictures && !sound) RefuseOutput(job.output, "sound");
  if (!job.audioOutput.empty() && !sound) RefuseOutput(job.audioOutput, "sound");
}

// The AVI compressor of the job with its defaults, then the settings the job gives.
void SetAviOptions(QffSaveOpt& opts, const BatchJob& job) {
  AviSettingsInit(opts.avi, job.codec.empty() ? opts.avi.fourcc : AviFourCC(job.codec));
  if (job.quality != NOT_SET) opts.avi.quality = job.quality;
  if (job.keyFrames != NOT_SET) opts.avi.keyFrameEvery = job.keyFrames;
  if (job.dataRate != NOT_SET) opts.avi.dataRate = job.dataRate;
}

// The job's geometry through the rules of the dialogs that set it in the desktop program: a
// size, ratio or divisor fixes the rescale size, whose height then follows its width.
void ApplyGeometry(OutputDef& def, const BatchGeometry& g) {
  RescaleDialog size(def);
  if (g.width > 0 || g.aspect > 0 || g.divisible > 1) {
    size.automatic = false;
    size.width = std::to_string(g.width > 0 ? g.width : def.SrcWidth);
    size.height = std::to_string(g.height > 0 ? g.height : def.SrcHeight);
  }
  size.fixedAspect = g.aspect > 0;
  if (size.fixedAspect) size.ratio = std::to_string(g.aspect);
  size.divisor = std::to_string(g.divisible);
  size.resample = g.resample;
  size.smallMode = size.largeMode = g.fit;
  size.borderColor = g.borderColor;
  size.WidthExit();
  size.Accept(def);
  CropDialog crop(def);
  crop.left = std::to_string(g.crop[0]);
  crop.top = std::to_string(g.crop[1]);
  crop.right = std::to_string(g.crop[2]);
  crop.bottom = std::to_string(g.crop[3]);
  crop.resizeBack = g.resizeBack;
  crop.Accept(def);
  RotateDialog turn(def);
  turn.rotation = g.rotation;
  turn.Accept(def);
}

// An AVI compressor that takes pictures of the asked depth at the final size writes them so.
void AcceptDepth(QffSaveOpt& opts, const OutputDef& def, int32_t depth) {
  aviCodecsRec checked{};
  if (AviCompressorCheck(opts.avi.fourcc, def.FinalWidth, def.FinalHeight, depth, checked))
    opts.avi.acceptedDepth = checked.acceptedDepth;
}

int32_t OutModeOf(const JobState& js, const BatchJob& job) {
  if (!js.pictures) return OM_AUDIO_ONLY;
  if (!job.audioOutput.empty()) return OM_SEPARATE;
  return js.audioName.empty() ? OM_VIDEO_ONLY : OM_SAME_FILE;
}

// The output definition: the automatic values from the edit list, the rate, frame count and
// sound format the run derives (the first input's), then the job's settings and names.
void DefineOutput(JobState& js, const BatchJob& job, int32_t format) {
  OutputDef& def = js.def;
  SetOutputDefaults(def, true, true);
  CalcOptimalOutput(def, js.list);
  def.FPS = js.fps;
  def.Frames = js.framesTotal;
  def.KeepDuration = OutBool(job.keepDuration);
  def.Duration = js.framesTotal / js.fps;
  def.WaveFormat = js.soundFormat;
  def.Samples = js.samplesTotal;
  def.Interleave = job.interleave > 0 ? job.interleave : std::max(int32_t(std::trunc(js.fps)), 1);
  def.Direction = job.backwards ? -1 : 1;
  def.Depth = job.depth ? job.depth : 24;
  def.Dither = OutBool(job.dither);
  def.SinglePalette = OutBool(job.sharedPalette);
  def.Grayscale = OutBool(job.grayscale);
  ApplyGeometry(def, job.geometry);
  if (format == FF_AVI && job.depth) AcceptDepth(js.opts, def, job.depth);
  def.OutMode = OutModeOf(js, job);
  def.VideoFormat = js.pictures ? format : FF_AUTO;
  def.VideoSaveOpt = js.opts;
  OutSetVideoFile(def, js.videoName);
  OutSetAudioFile(def, js.audioName);
  def.AudioFormat = FFGetId(js.audioName, FF_SAVE_TABLE);
  OutputFiles_OnChange(def);
}

// The edit list, the effect chain, the save options and the output definition of a job; false
// with the error register set when the job is refused.
bool PrepareJob(JobState& js, const BatchJob& job) {
  ProjectClear(js.project);
  for (const BatchInput& in : job.inputs) {
    if (in.name.empty())
      ProjectAddSilence(js.project, in.silenceSeconds);
    else
      ProjectAddFile(js.project, in.name, job.sequences, in.first, in.last);
  }
  for (const BatchEffect& fx : job.effects)
    ProjectAddEffect(js.project, fx.id, fx.values, fx.valueCount, fx.first, fx.last);
  js.fps = OutputRate(js, job.fps);
  // MPEG knows only its standard rates: the next one up is written.
  if (FFGetId(job.output, FF_SAVE_TABLE) == FF_MPG) js.fps = MpgStdRate(js.fps);
  for (const MMBlockRec* b : js.list.video.items) {
    const int32_t frames = b->last - b->first + 1;
    const double rate = b->frequency > 0 ? b->frequency : js.fps;
    js.framesTotal += job.keepDuration ? int32_t(std::trunc(frames * js.fps / rate)) : frames;
  }
  js.soundFormat = SoundFormat(js, job);
  const int32_t format = FFGetId(job.output, FF_SAVE_TABLE);
  if (MpegFamily(format)) js.soundFormat = MpegSoundFormat(js.soundFormat, format);
  for (const MMBlockRec* b : js.list.audio.items) {
    const int32_t quants = MMBlockP_IsFile(*b) ? b->last - b->first + 1 : b->fileQuants;
    js.samplesTotal += int32_t(std::trunc(quants * js.soundFormat.samplesPerSec / b->frequency));
  }
  if (format == FF_AUTO) {
    SetLastFileName(job.output);
    ErrSet(14, 5);
    return false;
  }
  js.pictures = (FFGetFlags(format, FF_SAVE_TABLE) & FFF_PICTURES) != 0;
  CheckOutputsReceive(js, job, js.pictures);
  FFSaveSetFormat(js.opts, format);
  if (format == FF_AVI) SetAviOptions(js.opts, job);
  // A movie that carries sound takes it into the same file unless it has a file of its own.
  const bool soundInside = js.pictures && (FFGetFlags(format, FF_SAVE_TABLE) & FFF_SOUND) != 0;
  if (MpegFamily(format) && !MpegOptions(job, format, js.opts)) return false;
  js.sound = !js.list.audio.items.empty() && (!job.audioOutput.empty() || !js.pictures || soundInside);
  js.videoName = js.pictures ? job.output : std::string();
  js.audioName = !job.audioOutput.empty()                    ? job.audioOutput
                 : js.pictures && !(soundInside && js.sound) ? std::string()
                                                             : job.output;
  if (!ErrNone()) return false;
  DefineOutput(js, job, format);
  return ErrNone();
}

}  // namespace

int32_t BatchEffectId(const std::string& name) {
  const std::string wanted = Lower(name);
  for (int32_t id = 1; id <= FnCount(); ++id)
    if (Lower(FnName(id)) == wanted) return id;
  return 0;
}

bool BatchBuild(const BatchJob& job, Project& project) {
  JobState js(project);
  GuardedSilent("MainUnit.BatchBuild", [&] { PrepareJob(js, job); });
  return ErrNone();
}

bool BatchDescribe(const BatchJob& job, std::vector<std::string>& lines) {
  Project project;
  JobState js(project);
  GuardedSilent("MainUnit.ShowOutputInfo", [&] {
    if (!PrepareJob(js, job)) return;
    const OutputDef& def = js.def;
    lines = ShowOutputInfo(def, !js.list.video.items.empty(), js.sound);
    if (!def.VideoOn || js.list.video.items.empty()) return;
    lines.push_back("");
    lines.push_back("GEOMETRY");
    lines.push_back("  Source: \t" + ResolutionToText(def.SrcWidth, def.SrcHeight));
    lines.push_back("  Rescale: \t" + ResolutionToText(def.Width, def.Height) + ", " +
                    kScalingModeNames[def.SmallMode] + (def.Filter == 1 ? ", resampled" : ", resized"));
    lines.push_back("  Crop: \t\t" + OutCropText(def) + (def.ResizeBack ? ", resized back" : ""));
    lines.push_back("  Rotation: \t" + OutRotationText(def.Rotation));
    lines.push_back("  Final size: \t" + ResolutionToText(def.FinalWidth, def.FinalHeight));
  });
  return ErrNone();
}

}  // namespace rf
