// The output definition: defaults, the values derived from the edit list, normalisation, texts.
#include "engine/outdef.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "effects/fnparams.h"
#include "formats/ff_mpg.h"
#include "formats/ffcodecs.h"
#include "foundation/miscprocs.h"
#include "foundation/trace.h"

namespace rf {
namespace {

double g_defaultFps = 30.0;

// The save-table flags of a format, 0 when the table does not hold it.
int32_t SaveFlags(int32_t format) {
  const int32_t flags = FFGetFlags(format, FF_SAVE_TABLE);
  return flags == FF_AUTO ? 0 : flags;
}

// A name as a full path (the record cuts it to 255 characters); an empty name stays empty.
std::string FullName(const std::string& name) {
  if (name.empty()) return name;
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(name, ec);
  return ec ? name : p.lexically_normal().string();
}

void ResetVideo(OutputDef& def) {
  def.AutoSize = def.AutoFPS = RF_TRUE;
  def.VideoOn = RF_FALSE;
  OutSetVideoFile(def, "");
  def.LastVideoFile = def.VideoFile;
  FFSaveInit(def.VideoSaveOpt);
  def.Frames = 0;
  def.FPS = g_defaultFps;
  def.KeepDuration = RF_TRUE;
  def.Duration = 0.0;
  def.Depth = 24;
  def.VideoFormat = FF_AUTO;
  def.SrcWidth = OUT_PLACEHOLDER_WIDTH;
  def.SrcHeight = OUT_PLACEHOLDER_HEIGHT;
  def.Filter = 1;
  def.SmallMode = def.LargeMode = SM_STRETCH;
  def.BorderColor = 0;
  def.DivisibleBy = 1;
  def.Width = def.FinalWidth = def.SrcWidth;
  def.Height = def.FinalHeight = def.SrcHeight;
  def.CropLeft = def.CropRight = def.CropTop = def.CropBottom = 0;
  def.ResizeBack = RF_FALSE;
  def.Rotation = 0;
  def.Direction = 1;
  def.SinglePalette = def.Dither = RF_TRUE;
}

void ResetAudio(OutputDef& def) {
  def.AutoRate = def.AutoChannels = def.AutoBits = def.AutoInterleave = RF_TRUE;
  def.AudioOn = RF_FALSE;
  OutSetAudioFile(def, "");
  def.LastAudioFile = def.AudioFile;
  def.AudioFormat = FF_AUTO;
  def.AudioDuration = 0.0;
  def.WaveFormat = OutPcmFormat(8000, 1, 8);
  def.Interleave = int32_t(std::trunc(def.FPS));
}

// The highest frame rate of every file the list holds.
double HighestFrameRate(const MMList& list) {
  double best = 0;
  for (const auto& f : list.files) best = std::max(best, f->info.video.frameRate);
  return best;
}

void CalcVideo(OutputDef& def, const MMList& list) {
  const QMMFileInfo* first = MMFile_GetPtrByIndex(list.files, list.video.items.front()->file);
  if (first) {
    def.SrcWidth = first->info.video.width;
    def.SrcHeight = first->info.video.height;
  }
  if (def.AutoSize) {
    def.Filter = 1;
    def.Width = def.SrcWidth;
    def.Height = def.SrcHeight;
  }
  if (def.AutoFPS) {
    const double highest = HighestFrameRate(list);
    def.FPS = highest < 0.001 ? g_defaultFps : highest;
    def.Frames = list.video.totalQuants;
    def.KeepDuration = RF_TRUE;
    def.Duration = def.FPS > 0 ? def.Frames / def.FPS : 0.0;
  }
  OutCalcFinalSize(def);
}

// The highest rate, channel count and bit depth over the audio blocks; silence is 8000/1/8.
void CalcAudio(OutputDef& def, const MMList& list) {
  int32_t rate = 0, channels = 0, bits = 0;
  for (const MMBlockRec* b : list.audio.items) {
    const QMMFileInfo* f = MMBlockP_IsFile(*b) ? MMFile_GetPtrByIndex(list.files, b->file) : nullptr;
    const QAudioBlock* a = f ? &f->info.audio : nullptr;
    rate = std::max(rate, a ? int32_t(std::trunc(a->samplesPerSec)) : 8000);
    channels = std::max(channels, a ? a->channels : 1);
    bits = std::max(bits, a ? a->bitsPerSample : 8);
  }
  const WaveFormatEx& w = def.WaveFormat;
  if (!def.AutoRate) rate = int32_t(w.samplesPerSec);
  if (!def.AutoChannels) channels = w.channels;
  if (!def.AutoBits) bits = w.bitsPerSample;
  if (rate >= 1 && channels >= 1 && bits >= 1) def.WaveFormat = OutPcmFormat(rate, channels, bits);
  def.AudioDuration = list.audio.totalTime;
}

// The depth the video format stores for the final size and the wanted depth; 24 when unknown.
int32_t StoredDepth(const OutputDef& def) {
  QffSaveOpt opts = def.VideoSaveOpt;
  if (opts.format != def.VideoFormat) FFSaveSetFormat(opts, def.VideoFormat);
  const int32_t depth = FFSavePrepare(opts, def.FinalWidth, def.FinalHeight, def.Depth);
  return depth == FF_AUTO || depth <= 0 ? 24 : depth;
}

}  // namespace

namespace {
#define RF_OUTPUT_DEF_COPY(type, name) to.name = from.name;
template <class To, class From>
void CopyFields(To& to, const From& from) {
  RF_OUTPUT_DEF_FIELDS(RF_OUTPUT_DEF_COPY)
}
#undef RF_OUTPUT_DEF_COPY
}  // namespace

void OutputDefStore(const OutputDef& def, OutputDefStored& stored) { CopyFields(stored, def); }
void OutputDefLoad(const OutputDefStored& stored, OutputDef& def) { CopyFields(def, stored); }

void OutSetDefaultFPS(double fps) { g_defaultFps = std::clamp(fps, 0.001, 1000000.0); }
double OutDefaultFPS() { return g_defaultFps; }

std::string OutVideoFile(const OutputDef& def) { return ShortStrGet(def.VideoFile.data()); }
std::string OutAudioFile(const OutputDef& def) { return ShortStrGet(def.AudioFile.data()); }
void OutSetVideoFile(OutputDef& def, std::string_view name) { ShortStrSet(def.VideoFile.data(), name, 255); }
void OutSetAudioFile(OutputDef& def, std::string_view name) { ShortStrSet(def.AudioFile.data(), name, 255); }

WaveFormatEx OutPcmFormat(int32_t rate, int32_t channels, int32_t bits) {
  WaveFormatEx w{};
  w.formatTag = WAVE_FORMAT_PCM;
  w.channels = uint16_t(channels);
  w.samplesPerSec = uint32_t(rate);
  w.bitsPerSample = uint16_t(bits);
  w.blockAlign = uint16_t(channels * ((bits + 7) / 8));
  w.avgBytesPerSec = uint32_t(rate) * w.blockAlign;
  return w;
}

void SetOutputDefaults(OutputDef& def, bool video, bool audio) {
  TraceLabel scope("CommonProcs.SetOutputDefaults");
  if (video && audio) def.OutMode = OM_SAME_FILE;
  if (video) ResetVideo(def);
  if (audio) ResetAudio(def);
}

void CalcOptimalOutput(OutputDef& def, const MMList& list) {
  TraceLabel scope("CommonProcs.CalcOptimalOutput");
  if (!list.video.items.empty()) CalcVideo(def, list);
  if (!list.audio.items.empty() && (def.AutoRate || def.AutoChannels || def.AutoBits)) CalcAudio(def, list);
  if (def.AutoInterleave) def.Interleave = int32_t(std::trunc(def.FPS));
}

void OutCalcFinalSize(OutputDef& def) {
  const int32_t croppedW = def.Width - def.CropLeft - def.CropRight;
  const int32_t croppedH = def.Height - def.CropTop - def.CropBottom;
  const bool discard = croppedW < OUT_MIN_SIDE || croppedH < OUT_MIN_SIDE;
  if (discard) def.CropLeft = def.CropRight = def.CropTop = def.CropBottom = 0;
  def.FinalWidth = def.ResizeBack || discard ? def.Width : croppedW;
  def.FinalHeight = def.ResizeBack || discard ? def.Height : croppedH;
  if (def.Rotation == 1 || def.Rotation == 3) std::swap(def.FinalWidth, def.FinalHeight);
}

void OutputFiles_OnChange(OutputDef& def) {
  TraceLabel scope("CommonProcs.OutputFiles_OnChange");
  OutSetVideoFile(def, FullName(OutVideoFile(def)));
  OutSetAudioFile(def, FullName(OutAudioFile(def)));
  const bool videoMode = def.OutMode >= OM_SAME_FILE && def.OutMode <= OM_VIDEO_ONLY;
  def.VideoOn = OutBool(videoMode && (SaveFlags(def.VideoFormat) & FFF_PICTURES) != 0);
  if (def.VideoOn && def.VideoFormat == FF_MPG) def.FPS = MpgStdRate(def.FPS);
  if (def.VideoOn) {
    def.Depth = StoredDepth(def);
  } else {
    OutSetVideoFile(def, "");
    if (def.Depth == NOT_SET || def.Depth == 0) def.Depth = 24;
  }
  if (def.OutMode == OM_SAME_FILE) {
    def.AudioFile = def.VideoFile;
    def.AudioFormat = FFGetId(OutVideoFile(def), FF_SAVE_TABLE);
  }
  const bool audioMode = def.OutMode == OM_SAME_FILE || def.OutMode == OM_SEPARATE || def.OutMode == OM_AUDIO_ONLY;
  def.AudioOn = OutBool(audioMode && (SaveFlags(def.AudioFormat) & FFF_SOUND) != 0);
  if (def.AudioOn)
    OutAdjustMpegAudio(def);
  else
    OutSetAudioFile(def, "");
}

void OutAdjustMpegAudio(OutputDef& def) {
  if (def.AudioFormat != FF_MPG && def.AudioFormat != FF_MP2) return;
  def.WaveFormat = OutPcmFormat(MpgAudioRate(int32_t(def.WaveFormat.samplesPerSec)), def.WaveFormat.channels, 16);
}

namespace {
std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

template <class T>
bool Parse(std::string_view text, T& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  T parsed{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
  value = parsed;
  return true;
}
}  // namespace

bool OutParseInt(std::string_view text, int32_t& value) { return Parse(text, value); }
bool OutParseFloat(std::string_view text, double& value) {
  double parsed = 0;
  if (!Parse(text, parsed) || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

std::string ResolutionToText(int32_t width, int32_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

std::string GetAudioFormatStr(const WaveFormatEx& format) {
  std::string channels = format.channels == 1   ? "mono"
                         : format.channels == 2 ? "stereo"
                                                : std::to_string(format.channels) + " channels";
  return std::to_string(format.samplesPerSec) + " Hz, " + channels + ", " + std::to_string(format.bitsPerSample) +
         "-bit";
}

std::string OutCropText(const OutputDef& def) {
  if (def.CropLeft == 0 && def.CropRight == 0 && def.CropTop == 0 && def.CropBottom == 0) return "No Cropping";
  return "Left " + std::to_string(def.CropLeft) + ", Top " + std::to_string(def.CropTop) + ", Right " +
         std::to_string(def.CropRight) + ", Bottom " + std::to_string(def.CropBottom);
}

std::string OutRotationText(int32_t rotation) {
  static constexpr const char* kTexts[4] = {"No Rotation", "90 degrees", "180 degrees", "-90 degrees"};
  return kTexts[rotation >= 1 && rotation <= 3 ? rotation : 0];
}

std::string OutFinalSizeText(const OutputDef& def) {
  return " Final Size:  " + ResolutionToText(def.FinalWidth, def.FinalHeight);
}

}  // namespace rf

namespace rf {
namespace {

std::string DepthText(const OutputDef& def) {
  std::string text = std::to_string(def.Depth) + "-bit";
  if (def.Depth != 8) return text;
  text += def.SinglePalette ? ", single palette" : ", multi-palette";
  return def.Dither ? text + ", dithered" : text;
}

std::string RateText(const OutputDef& def) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f fps", def.FPS);
  return def.KeepDuration ? std::string(text) + ", keep duration" : text;
}

void VideoInfo(const OutputDef& def, std::vector<std::string>& lines) {
  const std::string name = OutVideoFile(def);
  lines.push_back("  File name: \t" + name);
  lines.push_back("  Format: \t\t" + FFGetDesc(name, FF_SAVE_TABLE).description);
  lines.push_back("  Resolution: \t" + ResolutionToText(def.FinalWidth, def.FinalHeight));
  lines.push_back("  Color depth: \t" + DepthText(def));
  lines.push_back("  Frames: \t\t" + FormatUInt(100, uint32_t(std::max(def.Frames, 0))));
  lines.push_back("  Frame rate: \t" + RateText(def));
  lines.push_back("  Duration: \t" + SecToStr(SEC_LIST, def.Duration));
  if (def.Direction < 0) lines.push_back("  Direction: \tBackwards");
}

void AudioInfo(const OutputDef& def, std::vector<std::string>& lines) {
  lines.push_back("  File name: \t" + (def.OutMode == OM_SAME_FILE ? OutVideoFile(def) : OutAudioFile(def)));
  lines.push_back("  Format: \t\t" + GetAudioFormatStr(def.WaveFormat));
  lines.push_back("  Duration: \t" + SecToStr(SEC_LIST, def.AudioDuration));
  lines.push_back("  Samples: \t" + std::to_string(def.Samples));
  lines.push_back("  Interleave: \t" + std::to_string(def.Interleave));
}

}  // namespace

std::vector<std::string> ShowOutputInfo(const OutputDef& def, bool hasVideoBlocks, bool hasAudioBlocks) {
  std::vector<std::string> lines{"VIDEO OUTPUT"};
  if (def.VideoOn && hasVideoBlocks)
    VideoInfo(def, lines);
  else
    lines.push_back("  No video output");
  lines.push_back("");
  lines.push_back("AUDIO OUTPUT");
  if (def.AudioOn && hasAudioBlocks)
    AudioInfo(def, lines);
  else
    lines.push_back("  No audio output");
  return lines;
}

std::vector<QffDesc> VListPopulateFormats(int32_t capability) {
  std::vector<QffDesc> formats;
  QffDesc desc;
  for (int32_t i = 0; FFGetDescByIndex(i, FF_SAVE_TABLE, desc); ++i)
    if ((desc.flags & capability) != 0) formats.push_back(desc);
  return formats;
}

}  // namespace rf
