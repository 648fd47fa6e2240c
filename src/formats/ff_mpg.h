// MPEG video and audio (and, through the same decoders, MP4, MOV, MKV, WebM and any movie the
// codec libraries open): the handle, the information cache, reading, the writer's frame pool,
// frame-rate and data-rate rules, the stream files and their multiplexing, the options dialog.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/ffsaveopt.h"
#include "formats/qffinfo.h"
#include "formats/sndbasic.h"
#include "image/imgbasic.h"
#include "platform/mpeglib.h"

namespace rf {

inline constexpr int32_t MPG_POOL_SLOTS = 3;

struct QMpgPoolSlot {
  int32_t frame = -1;  // the picture's number, -1 when the slot is free
  Qimg img;
};

struct QMpgHandle {
  MplDecoder* decoder = nullptr;
  MplEncoder* encoder = nullptr;
  int32_t width = 0, height = 0;
  int32_t bytesPerPixel = 0, bpp = 0;
  int32_t framesEncoded = 0;
  int32_t frames = 0;
  int32_t current = 0;  // reading: the frame decoded last; writing: pictures handed in
  int32_t framesQueued = 0;
  double frameRate = 0;
  int32_t rateCode = 0;
  int32_t format = 0;  // 1 MPEG-1, 2 MPEG-2
  int32_t hasVideo = 0, hasAudio = 0;
  int32_t openArgument = 0;
  int32_t frameFailed = 0;
  int32_t writing = 0;
  int32_t videoDecoderOpen = 0, audioDecoderOpen = 0;
  int32_t videoEncoderCreated = 0, audioEncoderCreated = 0;
  char outputName[256] = {};
  char videoFile[256] = {};
  char audioFile[256] = {};
  MplAudioDecoder* audioDecoder = nullptr;
  int32_t blockAlign = 0;
  int32_t audioWords[3] = {};  // the audio frames and the two further words of the information
  int32_t samplesPerFrame = 0;
  int32_t currentAudioFrame = 0;
  MplAudioEncoder* audioEncoder = nullptr;
  int32_t samplePos = 0;
  WaveFormatEx soundFormat{};
  QMpgPoolSlot pool[MPG_POOL_SLOTS];
  int32_t slotInUse = 0;
  int32_t slotsFilled = 0;
  int32_t mp4 = 0;  // written as MP4 with H.264 and AAC
};

// Unit settings.
// 1 MPEG-1 or 2 MPEG-2 for new outputs.
void MpgSetFormat(int32_t format);
// Kilobits per second (FF_AUTO keeps the rate); returns the rate in effect.
int32_t MpgSetRate(int32_t kbps);
// The MPEG-2 switch: off, MPEG-2 files are not decoded and MPEG-2 output is not produced.
void MpgSetMpeg2Enabled(bool on);
bool MpgMpeg2Enabled();
// Quality of MP4 outputs (0 best .. 51).
void MpgSetCrf(int32_t crf);
// The writer parameters of the save options.
void MpgApplySettings(const QffSaveOpt& opts);

int32_t MpgRateCode(double frameRate);
double MpgStdRate(double frameRate);
int32_t MpgAudioRate(int32_t samplesPerSec);
bool isMPEGCached(std::string_view name);

// MPEG files (the MPEG row) and any movie (the row of the other containers).
void MpgInfo(std::string_view name, QffInfo& info);
void MovInfo(std::string_view name, QffInfo& info);
void MpgOpen(QMpgHandle& h, std::string_view name, int32_t argument);
void MpgImgLoad(QMpgHandle& h, Qimg& img, int32_t frame, int32_t flags);
void MpgImgRewind(QMpgHandle& h);
void MpgSndSeek(QMpgHandle& h, int32_t sample);
void MpgSndLoad(QMpgHandle& h, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count);
// The caller's frame rate becomes the standard rate written. format is the output's format
// identifier (MPEG, MP2 or MP4).
void MpgCreate(QMpgHandle& h, std::string_view name, double& frameRate, int32_t frames, int32_t format);
void MpgImgSave(QMpgHandle& h, Qimg& img);
void MpgSndSave(QMpgHandle& h, const QSndBuf& buffer);
void MpgClose(QMpgHandle& h);
// Combines the stream files into output (a single stream is copied); deletes them when asked.
void MpgMultiPlex(std::string_view output, std::string_view video, std::string_view audio, bool deleteSources,
                  bool mpeg2);

// The options dialog.
struct QDlgMPGData {
  std::string title;
  int32_t format = 1;
  int32_t minRate = 1;
  int32_t maxRate = 102400;
  int32_t rate = 1125;  // kilobits per second
};
struct QMPGPresetItem {
  const char* name;
  int32_t rate;  // kilobits per second; 0 for "Custom"
};
inline constexpr int32_t MPG_PRESETS = 7;
extern const QMPGPresetItem kMpgPresets[MPG_PRESETS];

// The dialog's state as its window shows it.
struct QMpgDlgState {
  int32_t format = 1;
  bool mpeg2Enabled = true;
  std::string mpeg2Caption;
  int32_t preset = MPG_PRESETS - 1;
  bool ratesLocked = false;
  int32_t rate = 1125;  // kilobits per second
  int32_t byteRate() const { return rate / 8; }
};
QMpgDlgState MpgDlgStart(const QDlgMPGData& data);
void MpgDlgChoosePreset(QMpgDlgState& state, int32_t preset);
void MpgDlgSetBitRate(QMpgDlgState& state, int32_t kbps);
void MpgDlgSetByteRate(QMpgDlgState& state, int32_t kBps);
// OK: the format and the rate into the save options.
void MpgDlgConfirm(const QMpgDlgState& state, QffSaveOpt& opts);

// The window: shows the state, lets the user change it through the calls above; true on OK.
class MpgDialogWindow {
 public:
  virtual ~MpgDialogWindow() = default;
  virtual bool Run(QMpgDlgState& state) = 0;
};
// "MPEG Compression": true when confirmed, the options then hold the choice.
bool DlgMPG(QDlgMPGData& data, QffSaveOpt& opts, MpgDialogWindow& window);

}  // namespace rf
