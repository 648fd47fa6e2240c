// The logic of the "Define Output" dialog behind its window: it edits a copy of the output
// definition through the rules of each control and copies it back when accepted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/outdef.h"

namespace rf {

struct QDepthChoice {
  int32_t bits;
  const char* text;
};

class OutputDialog {
 public:
  explicit OutputDialog(const OutputDef& def);

  // The copy being edited; the window reads its fields to fill the controls.
  const OutputDef& Edit() const { return edit_; }

  // "Files" tab.
  void SetVideoFile(std::string_view name);  // edVidFile: a bare name gets the last video folder
  void SetAudioFile(std::string_view name);  // edAudFile
  void SetOutMode(int32_t mode);             // chkOutMode
  bool VideoNameEnabled() const;             // modes 0, 1 and 2
  bool AudioNameEnabled() const;             // modes 1 and 3

  // "Video" tab.
  void SetFPSText(std::string_view text);  // edFPS, kept in 0.001 .. 1000000
  void SetAutoFPS(bool on);
  void SetKeepDuration(bool on);
  void SetGrayscale(bool on);
  void SetDither(bool on);
  void SetSinglePalette(bool on);
  void SetDepth(int32_t bits);  // one of DepthChoices()
  void SetBackwards(bool on);
  // The depths the video format can store, deepest first.
  std::vector<QDepthChoice> DepthChoices() const;
  std::string VideoCodecLabel() const;
  // The geometry dialogs write into the copy (they recompute its final size).
  OutputDef& Geometry() { return edit_; }
  std::string ResolutionLabel() const { return ResolutionToText(edit_.Width, edit_.Height); }

  // "Audio" tab.
  void ApplyAudioPreset(int32_t index);          // btnAudioPresets: a row of VList_AudioPresets
  void SetAudioRateText(std::string_view text);  // edAudioRate: 8000 .. 48000, 44100 when unreadable
  void SetStereo(bool stereo);                   // radAudioStereo / radAudioMono
  void Set16Bit(bool sixteen);                   // radAudio16bit / radAudio8bit
  void SetAutoRate(bool on);
  void SetAutoChannels(bool on);
  void SetAutoBits(bool on);
  void SetInterleaveText(std::string_view text);  // edInter: the old value when unreadable
  void SetAutoInterleave(bool on);

  // OK: copies the edit back and normalises it; the warnings to show, in order.
  std::vector<std::string> Accept(OutputDef& def) const;

 private:
  void SetWave(int32_t rate, int32_t channels, int32_t bits);

  OutputDef edit_;
  std::string lastVideoFolder_;
};

}  // namespace rf
