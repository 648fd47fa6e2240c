// The logic of the "Define Output" dialog: the rules of its controls and what OK stores.
#include "engine/outdlg.h"

#include <algorithm>
#include <filesystem>

#include "editlist/valuelist.h"
#include "effects/fnparams.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"

namespace rf {
namespace {

constexpr QDepthChoice kDepths[] = {{24, "24-bit (16,777,216 colors)"},
                                    {16, "16-bit (65,536 colors)"},
                                    {15, "15-bit (32,768 colors)"},
                                    {8, "8-bit (256 colors)"}};

bool VideoMode(int32_t mode) { return mode == OM_SAME_FILE || mode == OM_SEPARATE || mode == OM_VIDEO_ONLY; }
bool SeparateAudioMode(int32_t mode) { return mode == OM_SEPARATE || mode == OM_AUDIO_ONLY; }

std::string FolderOf(const std::string& name) { return std::filesystem::path(name).parent_path().string(); }

// True when the name's folder (the current folder for a bare name) exists.
bool FolderAccessible(const std::string& name) {
  const std::string folder = FolderOf(name);
  std::error_code ec;
  return folder.empty() || std::filesystem::is_directory(folder, ec);
}

}  // namespace

OutputDialog::OutputDialog(const OutputDef& def) : edit_(def) {
  const std::string last = ShortStrGet(def.LastVideoFile.data());
  lastVideoFolder_ = FolderOf(last.empty() ? OutVideoFile(def) : last);
}

void OutputDialog::SetVideoFile(std::string_view name) {
  std::string full(name);
  if (!full.empty() && full.find('/') == std::string::npos && !lastVideoFolder_.empty())
    full = lastVideoFolder_ + "/" + full;
  OutSetVideoFile(edit_, full);
  edit_.VideoFormat = full.empty() ? FF_AUTO : FFGetId(full, FF_SAVE_TABLE);
}

void OutputDialog::SetAudioFile(std::string_view name) {
  OutSetAudioFile(edit_, name);
  const int32_t format = FFGetId(name, FF_SAVE_TABLE);
  const int32_t flags = format == FF_AUTO ? 0 : FFGetFlags(format, FF_SAVE_TABLE);
  edit_.AudioFormat = (flags & FFF_SOUND) != 0 ? format : FF_AUTO;
}

void OutputDialog::SetOutMode(int32_t mode) { edit_.OutMode = std::clamp(mode, OM_SAME_FILE, OM_AUDIO_ONLY); }
bool OutputDialog::VideoNameEnabled() const { return VideoMode(edit_.OutMode); }
bool OutputDialog::AudioNameEnabled() const { return SeparateAudioMode(edit_.OutMode); }

void OutputDialog::SetFPSText(std::string_view text) {
  double fps = edit_.FPS;
  OutParseFloat(text, fps);
  edit_.FPS = std::clamp(fps, 0.001, 1000000.0);
}

void OutputDialog::SetAutoFPS(bool on) { edit_.AutoFPS = OutBool(on); }
void OutputDialog::SetKeepDuration(bool on) { edit_.KeepDuration = OutBool(on); }
void OutputDialog::SetGrayscale(bool on) { edit_.Grayscale = OutBool(on); }
void OutputDialog::SetDither(bool on) { edit_.Dither = OutBool(on); }
void OutputDialog::SetSinglePalette(bool on) { edit_.SinglePalette = OutBool(on); }
void OutputDialog::SetBackwards(bool on) { edit_.Direction = on ? -1 : 1; }

std::vector<QDepthChoice> OutputDialog::DepthChoices() const {
  std::vector<QDepthChoice> choices;
  for (const QDepthChoice& c : kDepths)
    if (FFSaveDepth(edit_.VideoFormat, c.bits) == c.bits) choices.push_back(c);
  return choices;
}

void OutputDialog::SetDepth(int32_t bits) {
  for (const QDepthChoice& c : DepthChoices())
    if (c.bits == bits) edit_.Depth = bits;
}

std::string OutputDialog::VideoCodecLabel() const {
  if (edit_.VideoFormat == FF_AUTO) return "Video file name (or file type) is not selected.";
  QffSaveOpt opts = edit_.VideoSaveOpt;
  if (opts.format != edit_.VideoFormat) FFSaveSetFormat(opts, edit_.VideoFormat);
  return FFSaveCodecName(opts);
}

void OutputDialog::SetWave(int32_t rate, int32_t channels, int32_t bits) {
  edit_.WaveFormat = OutPcmFormat(rate, channels, bits);
}

void OutputDialog::ApplyAudioPreset(int32_t index) {
  VList presets;
  VList_AudioPresets(presets);
  if (index >= 0 && index < VList_GetCount(presets))
    SetWave(VList_GetInt(presets, index, 1, 44100), VList_GetInt(presets, index, 3, 2),
            VList_GetInt(presets, index, 2, 16));
  VList_Free(presets);
}

void OutputDialog::SetAudioRateText(std::string_view text) {
  int32_t rate = 44100;
  OutParseInt(text, rate);
  const WaveFormatEx& w = edit_.WaveFormat;
  SetWave(std::clamp(rate, 8000, 48000), w.channels, w.bitsPerSample);
}

void OutputDialog::SetStereo(bool stereo) {
  const WaveFormatEx& w = edit_.WaveFormat;
  SetWave(int32_t(w.samplesPerSec), stereo ? 2 : 1, w.bitsPerSample);
}

void OutputDialog::Set16Bit(bool sixteen) {
  const WaveFormatEx& w = edit_.WaveFormat;
  SetWave(int32_t(w.samplesPerSec), w.channels, sixteen ? 16 : 8);
}

void OutputDialog::SetAutoRate(bool on) { edit_.AutoRate = OutBool(on); }
void OutputDialog::SetAutoChannels(bool on) { edit_.AutoChannels = OutBool(on); }
void OutputDialog::SetAutoBits(bool on) { edit_.AutoBits = OutBool(on); }
void OutputDialog::SetInterleaveText(std::string_view text) { OutParseInt(text, edit_.Interleave); }
void OutputDialog::SetAutoInterleave(bool on) { edit_.AutoInterleave = OutBool(on); }

std::vector<std::string> OutputDialog::Accept(OutputDef& def) const {
  def = edit_;
  std::vector<std::string> warnings;
  if (VideoMode(def.OutMode) && !FolderAccessible(OutVideoFile(def)))
    warnings.push_back("WARNING:  Destination video folder is not accessible.");
  if (SeparateAudioMode(def.OutMode) && !FolderAccessible(OutAudioFile(def)))
    warnings.push_back("WARNING:  Destination audio folder is not accessible.");
  OutputFiles_OnChange(def);
  return warnings;
}

}  // namespace rf
