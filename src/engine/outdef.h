// The output definition: the one record that says what a run produces, its defaults, the values
// it derives from the edit list, its normalisation and the texts that describe it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "editlist/mmedit.h"
#include "formats/ffdesc.h"
#include "formats/ffsaveopt.h"
#include "platform/waveformat.h"

namespace rf {

// Output modes.
inline constexpr int32_t OM_SAME_FILE = 0;   // "Video and Audio (same file)"
inline constexpr int32_t OM_SEPARATE = 1;    // "Video and Audio (separate files)"
inline constexpr int32_t OM_VIDEO_ONLY = 2;  // "Video Only"
inline constexpr int32_t OM_AUDIO_ONLY = 3;  // "Audio Only"

// Scaling (fitting) modes, in the order the lists offer them.
inline constexpr int32_t SM_STRETCH = 0;
inline constexpr int32_t SM_BORDER = 1;
inline constexpr int32_t SM_CROP = 2;
inline constexpr int32_t SM_CENTER = 3;
inline constexpr const char* kScalingModeNames[4] = {"Stretch (DEFAULT)", "Best Fit Using Border",
                                                     "Best Fit Using Crop", "Center"};

// Every geometric size of the output lies in this range.
inline constexpr int32_t OUT_MIN_SIDE = 4;
inline constexpr int32_t OUT_MAX_SIDE = 4096;

// Stored byte for byte in session files: 1496 bytes, packed, little-endian, no pointers. Short
// strings are a length byte followed by up to 255 characters; booleans are 0 / -1.
#pragma pack(push, 1)
struct OutputDef {
  int32_t OutMode;
  int32_t AutoSize;
  int32_t AutoFPS;
  int32_t VideoOn;
  uint8_t VideoFile[256];
  uint8_t LastVideoFile[256];
  QffSaveOpt VideoSaveOpt;
  int32_t Frames;
  double FPS;
  int32_t KeepDuration;
  double Duration;
  int32_t Depth;
  int32_t VideoFormat;
  int32_t SrcWidth, SrcHeight;
  int32_t Filter;  // 0 resize, 1 resample
  int32_t SmallMode;
  int32_t LargeMode;
  int32_t BorderColor;  // 0xRRGGBB
  int32_t DivisibleBy;
  int32_t Width, Height;
  int32_t CropLeft, CropRight, CropTop, CropBottom;
  int32_t ResizeBack;
  int32_t Rotation;  // 0 none, 1 clockwise, 2 half turn, 3 counter-clockwise
  int32_t FinalWidth, FinalHeight;
  int32_t Direction;  // 1 forwards, -1 backwards
  int32_t SinglePalette;
  int32_t Dither;
  int32_t Grayscale;
  int32_t AutoRate, AutoChannels, AutoBits, AutoInterleave;
  int32_t AudioOn;
  uint8_t AudioFile[256];
  uint8_t LastAudioFile[256];
  int32_t AudioFormat;
  int32_t Samples;
  double AudioDuration;
  WaveFormatEx WaveFormat;
  int32_t Interleave;
};
#pragma pack(pop)
static_assert(sizeof(OutputDef) == 1496);
static_assert(std::is_trivially_copyable_v<OutputDef>);
static_assert(offsetof(OutputDef, VideoFile) == 16 && offsetof(OutputDef, LastVideoFile) == 272 &&
              offsetof(OutputDef, VideoSaveOpt) == 528 && offsetof(OutputDef, Frames) == 810 &&
              offsetof(OutputDef, FPS) == 814 && offsetof(OutputDef, Duration) == 826 &&
              offsetof(OutputDef, SrcWidth) == 842 && offsetof(OutputDef, Width) == 870 &&
              offsetof(OutputDef, FinalWidth) == 902 && offsetof(OutputDef, Direction) == 910 &&
              offsetof(OutputDef, AudioOn) == 942 && offsetof(OutputDef, AudioFile) == 946 &&
              offsetof(OutputDef, LastAudioFile) == 1202 && offsetof(OutputDef, AudioFormat) == 1458 &&
              offsetof(OutputDef, AudioDuration) == 1466 && offsetof(OutputDef, WaveFormat) == 1474 &&
              offsetof(OutputDef, Interleave) == 1492);

// The frame rate new outputs start with (the "DefaultFPS" preference), kept in 0.001 .. 1000000.
void OutSetDefaultFPS(double fps);
double OutDefaultFPS();

// The size the output starts with before any video file is known (the placeholder picture's).
inline constexpr int32_t OUT_PLACEHOLDER_WIDTH = 293;
inline constexpr int32_t OUT_PLACEHOLDER_HEIGHT = 58;

// Resets the video part (with both parts also OutMode) and/or the audio part (without Samples).
void SetOutputDefaults(OutputDef& def, bool video, bool audio);
// Derives the automatic sizes, frame rate, frame count, wave format and interleave from the list.
void CalcOptimalOutput(OutputDef& def, const MMList& list);
// Discards margins that leave less than 4 pixels and derives FinalWidth x FinalHeight.
void OutCalcFinalSize(OutputDef& def);
// Normalises after the dialog or a session load: full names, which outputs are on, the depth the
// video format stores, the shared file of mode 0.
void OutputFiles_OnChange(OutputDef& def);

// The names as strings; setting one cuts it to 255 characters.
std::string OutVideoFile(const OutputDef& def);
std::string OutAudioFile(const OutputDef& def);
void OutSetVideoFile(OutputDef& def, std::string_view name);
void OutSetAudioFile(OutputDef& def, std::string_view name);

// A PCM wave format with the block alignment and byte rate that follow from the three values.
WaveFormatEx OutPcmFormat(int32_t rate, int32_t channels, int32_t bits);

// A dialog field's number: surrounding blanks allowed, nothing else; false leaves value alone.
bool OutParseInt(std::string_view text, int32_t& value);
bool OutParseFloat(std::string_view text, double& value);

// "640 x 480".
std::string ResolutionToText(int32_t width, int32_t height);
// "44100 Hz, stereo, 16-bit".
std::string GetAudioFormatStr(const WaveFormatEx& format);
// The geometry as the output dialog's labels show it.
std::string OutCropText(const OutputDef& def);
std::string OutRotationText(int32_t rotation);
std::string OutFinalSizeText(const OutputDef& def);
// The output information the main window shows, one line each; a part without blocks in the edit
// list reads "No ... output".
std::vector<std::string> ShowOutputInfo(const OutputDef& def, bool hasVideoBlocks, bool hasAudioBlocks);
// The save formats that carry pictures (FFF_PICTURES) or sound (FFF_SOUND), in table order.
std::vector<QffDesc> VListPopulateFormats(int32_t capability);

}  // namespace rf
