// The output definition: the one record that says what a run produces, its defaults, the values
// it derives from the edit list, its normalisation and the texts that describe it.
#pragma once

#include <array>
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

// A record boolean from a C++ one.
constexpr int32_t OutBool(bool b) { return b ? RF_TRUE : RF_FALSE; }

// A short string: a length byte followed by up to 255 characters.
using ShortString = std::array<uint8_t, 256>;

// The fields of the output definition, in their stored order. Booleans are 0 / -1.
#define RF_OUTPUT_DEF_FIELDS(X)                                                    \
  X(int32_t, OutMode)                                                              \
  X(int32_t, AutoSize)                                                             \
  X(int32_t, AutoFPS)                                                              \
  X(int32_t, VideoOn)                                                              \
  X(ShortString, VideoFile)                                                        \
  X(ShortString, LastVideoFile)                                                    \
  X(QffSaveOpt, VideoSaveOpt)                                                      \
  X(int32_t, Frames)                                                               \
  X(double, FPS)                                                                   \
  X(int32_t, KeepDuration)                                                         \
  X(double, Duration)                                                              \
  X(int32_t, Depth)                                                                \
  X(int32_t, VideoFormat)                                                          \
  X(int32_t, SrcWidth)                                                             \
  X(int32_t, SrcHeight)                                                            \
  X(int32_t, Filter) /* 0 resize, 1 resample */                                    \
  X(int32_t, SmallMode)                                                            \
  X(int32_t, LargeMode)                                                            \
  X(int32_t, BorderColor) /* 0xRRGGBB */                                           \
  X(int32_t, DivisibleBy)                                                          \
  X(int32_t, Width)                                                                \
  X(int32_t, Height)                                                               \
  X(int32_t, CropLeft)                                                             \
  X(int32_t, CropRight)                                                            \
  X(int32_t, CropTop)                                                              \
  X(int32_t, CropBottom)                                                           \
  X(int32_t, ResizeBack)                                                           \
  X(int32_t, Rotation) /* 0 none, 1 clockwise, 2 half turn, 3 counter-clockwise */ \
  X(int32_t, FinalWidth)                                                           \
  X(int32_t, FinalHeight)                                                          \
  X(int32_t, Direction) /* 1 forwards, -1 backwards */                             \
  X(int32_t, SinglePalette)                                                        \
  X(int32_t, Dither)                                                               \
  X(int32_t, Grayscale)                                                            \
  X(int32_t, AutoRate)                                                             \
  X(int32_t, AutoChannels)                                                         \
  X(int32_t, AutoBits)                                                             \
  X(int32_t, AutoInterleave)                                                       \
  X(int32_t, AudioOn)                                                              \
  X(ShortString, AudioFile)                                                        \
  X(ShortString, LastAudioFile)                                                    \
  X(int32_t, AudioFormat)                                                          \
  X(int32_t, Samples)                                                              \
  X(double, AudioDuration)                                                         \
  X(WaveFormatEx, WaveFormat)                                                      \
  X(int32_t, Interleave)

#define RF_OUTPUT_DEF_FIELD(type, name) type name;

// The record as the program holds it: fields on their natural boundaries, so that they can be
// bound to references; copied whole, it holds no pointers.
struct OutputDef {
  RF_OUTPUT_DEF_FIELDS(RF_OUTPUT_DEF_FIELD)
};
static_assert(std::is_trivially_copyable_v<OutputDef>);

// The record as session files store it: 1496 bytes, packed, little-endian.
#pragma pack(push, 1)
struct OutputDefStored {
  RF_OUTPUT_DEF_FIELDS(RF_OUTPUT_DEF_FIELD)
};
#pragma pack(pop)
#undef RF_OUTPUT_DEF_FIELD

static_assert(sizeof(OutputDefStored) == 1496);
static_assert(offsetof(OutputDefStored, VideoFile) == 16 && offsetof(OutputDefStored, LastVideoFile) == 272 &&
              offsetof(OutputDefStored, VideoSaveOpt) == 528 && offsetof(OutputDefStored, Frames) == 810 &&
              offsetof(OutputDefStored, FPS) == 814 && offsetof(OutputDefStored, Duration) == 826 &&
              offsetof(OutputDefStored, SrcWidth) == 842 && offsetof(OutputDefStored, Width) == 870 &&
              offsetof(OutputDefStored, FinalWidth) == 902 && offsetof(OutputDefStored, Direction) == 910 &&
              offsetof(OutputDefStored, AudioOn) == 942 && offsetof(OutputDefStored, AudioFile) == 946 &&
              offsetof(OutputDefStored, LastAudioFile) == 1202 && offsetof(OutputDefStored, AudioFormat) == 1458 &&
              offsetof(OutputDefStored, AudioDuration) == 1466 && offsetof(OutputDefStored, WaveFormat) == 1474 &&
              offsetof(OutputDefStored, Interleave) == 1492);

// Between the program's record and the stored one, field by field.
void OutputDefStore(const OutputDef& def, OutputDefStored& stored);
void OutputDefLoad(const OutputDefStored& stored, OutputDef& def);

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
// An MPEG audio output takes 16-bit PCM at the MPEG rate at or above its rate.
void OutAdjustMpegAudio(OutputDef& def);

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
