// Batch rendering: the edit list of a job's inputs, the output definition derived from it, block
// sources walking it, the video function (geometry around the effect chain, then the output
// depth) and the audio function (the output's sound format).
#include "engine/batchjob.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>

#include "editlist/mmedit.h"
#include "effects/fnchain.h"
#include "effects/fnrun.h"
#include "engine/geodlg.h"
#include "engine/geometry.h"
#include "engine/outdef.h"
#include "engine/predict.h"
#include "engine/project.h"
#include "formats/ff_avi.h"
#include "formats/ff_mpg.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Everything a running job owns; released whatever way the run ends.
struct JobState {
  Project project;
  MMList& list = project.list;
  size_t nextVideo = 0, nextAudio = 0;
  std::vector<int32_t> videoOrder;
  WaveFormatEx soundFormat{};
  int32_t depth = 0;
  int32_t ditherMethod = 0;
  int32_t framesTotal = 0, samplesTotal = 0;
  double videoEstimate = 0, audioEstimate = 0;
  std::chrono::steady_clock::time_point started;
  QffSaveOpt opts;
  OutputDef& def = project.output;
  GeoWork geo;
  double fps = 0;
  bool pictures = false, sound = false;
  std::string videoName, audioName;

  JobState() { FFSaveInit(opts); }
  ~JobState() { GeoDone(geo); }
};

const QUniInfo* InfoOf(const JobState& js, const MMBlockRec& b) {
  return &MMFile_GetPtrByIndex(js.list.files, b.file)->info;
}

void NextVideoBlock(JobState& js, bool backwards, QConBlock& block) {
  const auto& items = js.list.video.items;
  if (js.nextVideo >= items.size()) {
    block.End = RF_TRUE;
    return;
  }
  const size_t i = backwards ? items.size() - 1 - js.nextVideo : js.nextVideo;
  ++js.nextVideo;
  const MMBlockRec& b = *items[i];
  block.Kind = bkInfo;
  block.Source = InfoOf(js, b);
  block.First = b.first + 1;
  block.Count = b.last - b.first + 1;
  block.StartTime = block.Duration = NOT_SET_F;
  block.FrameRate = b.frequency;
  block.Repeat = 1;
  block.Direction = backwards ? -1 : 1;
  block.End = RF_FALSE;
}

void NextAudioBlock(JobState& js, bool backwards, QConBlock& block) {
  const auto& items = js.list.audio.items;
  if (js.nextAudio >= items.size()) {
    block.End = RF_TRUE;
    return;
  }
  const size_t i = backwards ? items.size() - 1 - js.nextAudio : js.nextAudio;
  ++js.nextAudio;
  const MMBlockRec& b = *items[i];
  block.StartTime = block.Duration = NOT_SET_F;
  block.End = RF_FALSE;
  if (!MMBlockP_IsFile(b)) {
    block.Kind = bkSilence;
    block.Source = nullptr;
    block.First = 0;
    block.Count = b.fileQuants;
    return;
  }
  block.Kind = bkInfo;
  block.Source = InfoOf(js, b);
  block.First = b.first;
  block.Count = b.last - b.first + 1;
}

// The sound format of the output: the first audio file's, else CD quality.
WaveFormatEx SoundFormat(const JobState& js) {
  for (const MMBlockRec* b : js.list.audio.items)
    if (MMBlockP_IsFile(*b)) return InfoOf(js, *b)->audio.decodedFormat;
  WaveFormatEx f{WAVE_FORMAT_PCM, 2, 44100, 0, 0, 16, 0};
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
  def.Interleave = std::max(int32_t(std::trunc(js.fps)), 1);
  def.Direction = job.backwards ? -1 : 1;
  def.Depth = job.depth ? job.depth : 24;
  def.Dither = OutBool(job.dither);
  def.SinglePalette = RF_FALSE;
  ApplyGeometry(def, job.geometry);
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
  js.soundFormat = SoundFormat(js);
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
  js.depth = job.depth;
  js.ditherMethod = job.dither ? 1 : 0;
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

bool BatchRender(const BatchJob& job, const BatchProgressCBF& progress, QConReport& report) {
  JobState js;
  GuardedSilent("MainUnit.ProcessingExec", [&] {
    if (!PrepareJob(js, job)) return;
    js.started = std::chrono::steady_clock::now();

    if (js.pictures && !js.list.video.items.empty())
      ConSetVideoBlockCBF([&](QConBlock& b) { NextVideoBlock(js, job.backwards, b); });
    if (js.sound) ConSetAudioBlockCBF([&](QConBlock& b) { NextAudioBlock(js, job.backwards, b); });
    ConSetVideoFuncCBF([&](QConVideoFunc& rec) {
      Qimg* current = rec.Source;
      GeoPrepareFrame(js.def, js.geo, current);
      FnChainApply(js.project.chain, rec.FrameIndex, current, *rec.Spare);
      GeoFinishFrame(js.def, js.geo, current);
      // An AVI output takes the depth its compressor accepts unless a depth is asked for.
      int32_t target = js.depth || js.opts.format != FF_AVI
                           ? FFSaveDepth(js.opts.format, js.depth ? js.depth : current->bpp)
                           : FFSavePrepare(js.opts, current->width, current->height, current->bpp);
      if (target <= 0 || target == FF_AUTO) target = current->bpp;
      if (target != current->bpp) {
        Qimg& dst = current == rec.Spare ? *rec.Source : *rec.Spare;
        ImgConvBppEx(*current, dst, target, js.ditherMethod);
        current = &dst;
      }
      rec.Result = current;
    });
    ConSetAudioFuncCBF([&](QConAudioFunc& rec) {
      if (WaveFormatEqual(rec.Source->format, js.soundFormat)) {
        rec.Result = rec.Source;
        return;
      }
      SndConvert(*rec.Source, *rec.Spare, js.soundFormat);
      rec.Result = rec.Spare;
    });
    ConSetProgressCBF(
        [&](QConProgress& p) {
          if (!progress) return;
          BatchProgress bp;
          bp.framesDone = p.VideoFramesDone;
          bp.framesTotal = js.framesTotal;
          bp.samplesDone = p.SamplesDone;
          bp.samplesTotal = js.samplesTotal;
          bp.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - js.started).count();
          js.videoEstimate = Predict_Time(js.videoEstimate, p.VideoTime, js.framesTotal, p.VideoFramesDone);
          js.audioEstimate = Predict_Time(js.audioEstimate, p.AudioTime, js.samplesTotal, p.SamplesDone);
          bp.remaining = Predict_TimeGranulate(js.videoEstimate + js.audioEstimate);
          progress(bp);
        },
        // A frame or sound that cannot be read ends the job: a batch run never writes around holes.
        [](const std::string&, int32_t& reply) { reply = erAbort; });
    ConSetFrameCount(std::max(js.framesTotal, 1));
    ConSetFrameRate(job.keepDuration, js.fps);
    ConSetInterleave(js.def.Interleave);
    ConStart(js.videoName, js.audioName, &js.opts, report);
  });
  const bool aborted = ConGetStopState() == csAbort;
  // A failed or aborted run has removed what it wrote and left every earlier file as it was.
  const bool ok = ErrNone() && !aborted;
  ConDone();
  return ok;
}

bool BatchDescribe(const BatchJob& job, std::vector<std::string>& lines) {
  JobState js;
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
