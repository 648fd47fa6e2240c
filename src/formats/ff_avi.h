// AVI movies: the reader and writer over the AVI file stand-in, and the video compressor settings,
// list and choice over the installable compressors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/ffsaveopt.h"
#include "formats/qffinfo.h"
#include "formats/sndbasic.h"
#include "image/imgbasic.h"
#include "platform/avifile.h"

namespace rf {

struct AviFrameDecoder;
struct AviFrameEncoder;

// One open AVI file, for reading or for writing. Allocated by the movie dispatch as plain bytes:
// every member is a plain value or a pointer that AviClose releases.
struct QAviHandle {
  PAVIFILE file = nullptr;
  PAVISTREAM video = nullptr;
  PAVISTREAM rawVideo = nullptr;       // writing: the stream the frames go to
  AviFrameDecoder* decoder = nullptr;  // reading: decodes stored frames into pictures
  AviFrameEncoder* encoder = nullptr;  // writing: the compressor of the stream
  PAVISTREAM sound = nullptr;
  int32_t width = 0, height = 0, bytesPerPixel = 0, bpp = 0;
  int32_t nextFrame = 0;  // frames decoded or written so far
  int32_t frames = 0;
  int32_t fileSize = 0;
  int32_t maxDataRate = 0;
  double frameRate = 0;
  AVISTREAMINFO videoInfo{};
  AVISTREAMINFO soundInfo{};
  uint8_t* videoFormat = nullptr;  // the stored stream format, tracked
  int32_t videoFormatSize = 0;
  int32_t framesPerChunk = 0;
  int32_t writing = 0;
  QSndLoader sl;
  int32_t samplePos = 0;
  int32_t totalSamples = 0;
  int32_t framesPerBlock = 0;  // decoded sample frames in one stored block
  aviCodecsRec settings{};
  int32_t frameSize = 0;        // bytes of one padded bottom-up frame
  uint8_t* frameBuf = nullptr;  // writing: that frame, tracked
};

// The reader and writer; frames count from 1, 0 is the next frame.
void AviOpen(QAviHandle& af, std::string_view name);
void AviInfo(std::string_view name, QffInfo& info);
void AviImgLoad(QAviHandle& af, Qimg& img, int32_t frame, int32_t flags);
void AviSndSeek(QAviHandle& af, int32_t sample);
void AviSndLoad(QAviHandle& af, QSndBuf& buffer, int32_t first, int32_t flags, int32_t count);
void AviCreate(QAviHandle& af, std::string_view name, int32_t framesPerChunk, double frameRate);
void AviImgSave(QAviHandle& af, Qimg& img);
void AviSndSave(QAviHandle& af, const QSndBuf& buffer);
void AviClose(QAviHandle& af);

// Display names of a video compressor code and of a wave format tag.
std::string AVIGetVideoName(uint32_t fourcc);
std::string AVIGetAudioName(uint16_t tag);

// The settings records: a record for a compressor with its defaults; making one current; a copy
// of the current one; the depth pictures are handed to the current compressor in.
void AviSettingsInit(aviCodecsRec& rec, uint32_t fourcc);
void AviSettingsApply(const aviCodecsRec& rec);
void AviSettingsStore(aviCodecsRec& rec);
int32_t AviSettingsDepth();
// Short strings of the record (a length byte, then the characters).
std::string AviRecName(const aviCodecsRec& rec);
std::string AviRecDescription(const aviCodecsRec& rec);

// A code from its text, padded with spaces to four characters ("DIB" -> "DIB ").
uint32_t AviFourCC(std::string_view text);
// True for the codes of uncompressed frames: 0, "DIB ", "RAW ", "RGB " in any case.
bool AviIsUncompressed(uint32_t fourcc);
// Whether the compressor takes width x height pictures of depth bits (8, 15, 16 or 24); fills
// the output size and depth it would produce into rec.
bool AviCompressorCheck(uint32_t fourcc, int32_t width, int32_t height, int32_t depth, aviCodecsRec& rec);
// Makes the current settings usable for such pictures: silently, then (when allowed) through the
// dialog, then with Cinepak, then uncompressed; error (9, 7) when even that fails.
void AviSetVC(int32_t width, int32_t height, int32_t depth, bool allowDialog);
// The compressor list: every installed compressor that answers, then the uncompressed entry.
// With a picture size and depth the compatibility and output size are filled in.
std::vector<aviCodecsRec> AviCodecs(int32_t width, int32_t height, int32_t depth);

// The compression of the current settings, as a writer hands it to the compressor.
struct AviCompressOptions {
  uint32_t fccType;
  uint32_t fccHandler;
  int32_t keyFrameEvery;
  int32_t quality;  // 0..10000
  int32_t bytesPerSecond;
  uint32_t flags;              // AVICOMPRESSF_*
  std::vector<uint8_t> state;  // the compressor's state blob
};
inline constexpr uint32_t AVICOMPRESSF_DATARATE = 2;
inline constexpr uint32_t AVICOMPRESSF_KEYFRAMES = 4;
inline constexpr uint32_t AVICOMPRESSF_VALID = 8;
const AviCompressOptions& AviCurrentOptions();

// The AVI options dialog without its window ("Select AVI Video Format"): the compressor list of
// the chosen filter, the selection and the information texts. The desktop program draws it.
class AviDialogModel {
 public:
  enum Show { kCompatible = 0, kEncoders = 1, kAll = 2 };
  static const char* const kShowTexts[3];
  static constexpr const char* kRetrieving = "   Retrieving codec info, please wait...";
  static constexpr const char* kNoCodec = "No compatible codec can be found.";

  AviDialogModel(int32_t width, int32_t height, int32_t depth);
  // The list for a filter; the current compressor stays selected when it is shown.
  void SetShow(Show show);
  Show show() const { return show_; }
  const std::vector<aviCodecsRec>& shown() const { return shown_; }
  int32_t selected() const { return selected_; }  // index into shown(), -1 none
  void Select(int32_t index);
  const aviCodecsRec& working() const { return working_; }
  // "FourCC:", "Encoder:", "Before:", "After:" texts, and whether "After" differs (bold).
  std::string FourCCText() const;
  std::string EncoderText() const;
  std::string BeforeText() const;
  std::string AfterText() const;
  bool AfterDiffers() const;
  // Which controls are enabled for the selection.
  bool QualityEnabled() const { return working_.supportsQuality != 0; }
  bool KeyFramesEnabled() const { return working_.supportsKeyFrames != 0; }
  bool DataRateEnabled() const { return working_.supportsDataRate != 0; }
  bool ConfigureEnabled() const { return working_.hasConfigure != 0; }
  bool AboutEnabled() const { return working_.hasAbout != 0; }
  // The compressor's own dialogs.
  void Configure();
  void About();
  // OK: unchecked boxes are given as 0; the working settings become current.
  void Confirm(int32_t quality, int32_t keyFrameEvery, int32_t dataRate);

 private:
  int32_t width_, height_, depth_;
  Show show_ = kCompatible;
  std::vector<aviCodecsRec> all_;
  std::vector<aviCodecsRec> shown_;
  int32_t selected_ = -1;
  aviCodecsRec working_{};
};

// The window of the dialog; returns true when the user pressed OK (having called Confirm).
class AviDialogView {
 public:
  virtual ~AviDialogView() = default;
  virtual bool Run(AviDialogModel& model) = 0;
};
// Installs the window (nullptr: none; AviSelectVC then answers "cancelled").
void AviSetDialogView(AviDialogView* view);
// Shows the dialog for the output's picture; true when confirmed.
bool AviSelectVC(int32_t width, int32_t height, int32_t depth);

}  // namespace rf
