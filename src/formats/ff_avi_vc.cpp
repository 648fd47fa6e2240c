// The AVI video compressor: current settings, the compressor list and checks, the fallback chain
// and the options dialog without its window (part of the FF_AVI unit).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "formats/ff_avi.h"
#include "foundation/errors.h"
#include "platform/acm.h"
#include "platform/vcodec.h"

namespace rf {
namespace {

constexpr uint32_t kCinepak = MakeFourCC("cvid");
constexpr uint32_t kDib = MakeFourCC("DIB ");
constexpr uint32_t kMrle = MakeFourCC("MRLE");
constexpr uint32_t kMsvc = MakeFourCC("msvc");
// The list ends at this many compressors, as the compressor interface numbers them.
constexpr uint32_t kMaxCodecs = 254;
constexpr int32_t kProbeWidth = 320, kProbeHeight = 240;

struct CurrentSettings {
  aviCodecsRec rec{};
  AviCompressOptions options{};
  bool uncompressed = false;
};

void BuildOptions(CurrentSettings& s);

// The settings start as Cinepak, the first time anything asks for them.
CurrentSettings& Current() {
  static CurrentSettings s = [] {
    CurrentSettings init;
    AviSettingsInit(init.rec, kCinepak);
    init.uncompressed = AviIsUncompressed(init.rec.fourcc);
    BuildOptions(init);
    return init;
  }();
  return s;
}

// A compressor opened in query mode for one question, closed whatever happens.
class QueryCodec {
 public:
  explicit QueryCodec(uint32_t fourcc) {
    // The Video-1 codes of other makers are answered by the one Video-1 compressor.
    const uint32_t upper = VcFourCC(Upper(VcFourCCText(fourcc)));
    const bool videoOne = upper == MakeFourCC("MSVC") || upper == MakeFourCC("CRAM") || upper == MakeFourCC("WHAM");
    hic_ = ICOpen(ICTYPE_VIDEO, videoOne ? kMsvc : fourcc, ICMODE_QUERY);
  }
  ~QueryCodec() {
    if (hic_) ICClose(hic_);
  }
  QueryCodec(const QueryCodec&) = delete;
  QueryCodec& operator=(const QueryCodec&) = delete;
  HIC get() const { return hic_; }
  explicit operator bool() const { return hic_ != nullptr; }

 private:
  static std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }
  HIC hic_ = nullptr;
};

void SetShort(uint8_t* field, size_t capacity, const std::string& text) {
  const size_t n = std::min(text.size(), capacity);
  field[0] = uint8_t(n);
  std::memcpy(field + 1, text.data(), n);
}

std::string GetShort(const uint8_t* field, size_t capacity) {
  return std::string(reinterpret_cast<const char*>(field + 1), std::min<size_t>(field[0], capacity));
}

void TakeDefaults(HIC hic, aviCodecsRec& rec) {
  rec.keyFrameEvery = ICGetDefaultKeyFrameRate(hic);
  rec.quality = std::clamp(ICGetDefaultQuality(hic) / 100, 0, 100);
}

void TakeInfo(HIC hic, aviCodecsRec& rec) {
  IcInfo info;
  if (ICGetInfo(hic, &info) != ICERR_OK) return;
  SetShort(rec.name, 16, info.name);
  SetShort(rec.description, 128, info.description);
  rec.supportsQuality = (info.flags & VIDCF_QUALITY) ? RF_TRUE : RF_FALSE;
  rec.supportsKeyFrames = (info.flags & VIDCF_TEMPORAL) ? RF_TRUE : RF_FALSE;
  rec.supportsDataRate = (info.flags & (VIDCF_CRUNCH | VIDCF_QUALITY)) ? RF_TRUE : RF_FALSE;
}

// The first of 24, 16 and 8 bits in which the compressor takes a 320 x 240 picture (16 given as 15).
int32_t AcceptedDepth(uint32_t fourcc) {
  aviCodecsRec probe{};
  for (int32_t depth : {24, 15, 8})
    if (AviCompressorCheck(fourcc, kProbeWidth, kProbeHeight, depth, probe)) return depth;
  return 0;
}

void BuildOptions(CurrentSettings& s) {
  AviCompressOptions& o = s.options;
  o = AviCompressOptions{};
  o.fccType = streamtypeVIDEO;
  o.fccHandler = s.rec.fourcc;
  o.keyFrameEvery = s.rec.keyFrameEvery;
  o.quality = s.rec.quality * 100;
  o.bytesPerSecond = s.rec.dataRate * 1024;
  o.flags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
  if (s.rec.dataRate != 0 && s.rec.fourcc != kMrle) o.flags |= AVICOMPRESSF_DATARATE;
  if (s.uncompressed) return;
  QueryCodec codec(s.rec.fourcc);
  if (!codec) return;
  o.state.resize(ICGetStateSize(codec.get()));
  if (!o.state.empty() && ICGetState(codec.get(), o.state.data(), uint32_t(o.state.size())) != ICERR_OK)
    o.state.clear();
}

// The current compressor takes such pictures; the depth becomes the accepted one.
bool TrySilently(int32_t width, int32_t height, int32_t depth) {
  CurrentSettings& s = Current();
  aviCodecsRec out{};
  if (!s.uncompressed && !AviCompressorCheck(s.rec.fourcc, width, height, depth, out)) return false;
  s.rec.acceptedDepth = depth == 16 ? 15 : depth;
  BuildOptions(s);
  return true;
}

void MakeCurrent(uint32_t fourcc) {
  aviCodecsRec rec;
  AviSettingsInit(rec, fourcc);
  AviSettingsApply(rec);
}

AviDialogView* g_view = nullptr;

}  // namespace

uint32_t AviFourCC(std::string_view text) {
  std::string padded(text.substr(0, 4));
  padded.resize(4, ' ');
  return VcFourCC(padded);
}

bool AviIsUncompressed(uint32_t fourcc) { return VcIsUncompressed(fourcc); }

std::string AviRecName(const aviCodecsRec& rec) { return GetShort(rec.name, 16); }
std::string AviRecDescription(const aviCodecsRec& rec) { return GetShort(rec.description, 128); }

std::string AVIGetVideoName(uint32_t fourcc) {
  std::string name = fourcc != 0 ? "(" + VcFourCCText(fourcc) + ") " : std::string();
  if (AviIsUncompressed(fourcc)) return name + "Full frames, uncompressed";
  QueryCodec codec(fourcc);
  IcInfo info;
  if (codec && ICGetInfo(codec.get(), &info) == ICERR_OK && !info.description.empty()) return name + info.description;
  return name + "Unknown codec";
}

std::string AVIGetAudioName(uint16_t tag) {
  std::string name = "(#" + std::to_string(tag) + ") ";
  if (tag == WAVE_FORMAT_PCM) return name + "PCM, uncompressed";
  const std::string known = acmFormatTagName(tag);
  return name + (known.empty() ? "Unknown codec" : known);
}

void AviSettingsInit(aviCodecsRec& rec, uint32_t fourcc) {
  std::memset(&rec, 0, sizeof rec);
  rec.fourcc = fourcc;
  if (AviIsUncompressed(fourcc)) {
    rec.keyFrameEvery = 1;
    rec.isEncoder = RF_TRUE;
    rec.acceptedDepth = 24;
    return;
  }
  {
    QueryCodec codec(fourcc);
    if (!codec) return;
    TakeDefaults(codec.get(), rec);
    TakeInfo(codec.get(), rec);
  }
  rec.acceptedDepth = AcceptedDepth(fourcc);
  rec.isEncoder = rec.acceptedDepth != 0 ? RF_TRUE : RF_FALSE;
}

void AviSettingsApply(const aviCodecsRec& rec) {
  CurrentSettings& s = Current();
  std::memcpy(&s.rec, &rec, sizeof rec);
  s.uncompressed = AviIsUncompressed(rec.fourcc);
  BuildOptions(s);
}

void AviSettingsStore(aviCodecsRec& rec) { std::memcpy(&rec, &Current().rec, sizeof rec); }

int32_t AviSettingsDepth() { return Current().rec.acceptedDepth; }

const AviCompressOptions& AviCurrentOptions() { return Current().options; }

bool AviCompressorCheck(uint32_t fourcc, int32_t width, int32_t height, int32_t depth, aviCodecsRec& rec) {
  const int32_t accepted = depth == 16 ? 15 : depth;
  if (AviIsUncompressed(fourcc)) {
    rec.outWidth = width;
    rec.outHeight = height;
    rec.acceptedDepth = accepted;
    return true;
  }
  QueryCodec codec(fourcc);
  if (!codec) return false;
  const DibFormat in = DibFormatFor(width, height, accepted == 15 ? 16 : accepted);
  if (ICCompressQuery(codec.get(), in, nullptr) != ICERR_OK) return false;
  if (ICCompressGetFormatSize(codec.get(), in) < 40) return false;
  DibFormat out;
  if (ICCompressGetFormat(codec.get(), in, out) != ICERR_OK) return false;
  rec.outWidth = out.header.width;
  rec.outHeight = std::abs(out.header.height);
  rec.acceptedDepth = out.header.bitCount == 16 ? 15 : out.header.bitCount;
  return true;
}

void AviSetVC(int32_t width, int32_t height, int32_t depth, bool allowDialog) {
  bool ok = TrySilently(width, height, depth);
  if (!ok && allowDialog && AviSelectVC(width, height, depth)) ok = TrySilently(width, height, depth);
  for (uint32_t fallback : {kCinepak, kDib}) {
    if (ok) break;
    MakeCurrent(fallback);
    ok = TrySilently(width, height, depth);
  }
  if (!ok) ErrSet(9, 7);
}

std::vector<aviCodecsRec> AviCodecs(int32_t width, int32_t height, int32_t depth) {
  std::vector<aviCodecsRec> list;
  const bool forPicture = width > 0 && height > 0 && depth > 0;
  IcInfo listed;
  for (uint32_t i = 0; i < kMaxCodecs && ICInfo(ICTYPE_VIDEO, i, &listed); ++i) {
    // Uncompressed frames have their own entry at the end.
    if (AviIsUncompressed(listed.fccHandler)) continue;
    aviCodecsRec rec{};
    {
      QueryCodec codec(listed.fccHandler);
      IcInfo info;
      if (!codec || ICGetInfo(codec.get(), &info) != ICERR_OK) continue;
      rec.fourcc = listed.fccHandler;
      TakeInfo(codec.get(), rec);
      TakeDefaults(codec.get(), rec);
      rec.hasAbout = ICQueryAbout(codec.get()) == ICERR_OK ? RF_TRUE : RF_FALSE;
      rec.hasConfigure = ICQueryConfigure(codec.get()) == ICERR_OK ? RF_TRUE : RF_FALSE;
    }
    rec.acceptedDepth = AcceptedDepth(rec.fourcc);
    rec.isEncoder = rec.acceptedDepth != 0 ? RF_TRUE : RF_FALSE;
    if (forPicture && rec.isEncoder)
      rec.compatible = AviCompressorCheck(rec.fourcc, width, height, depth, rec) ? RF_TRUE : RF_FALSE;
    rec.index = int32_t(list.size()) + 1;
    list.push_back(rec);
  }
  aviCodecsRec raw{};
  raw.fourcc = kDib;
  SetShort(raw.name, 16, "Uncompressed");
  SetShort(raw.description, 128, "Full Frames, Uncompressed");
  raw.keyFrameEvery = 1;
  raw.isEncoder = RF_TRUE;
  raw.acceptedDepth = 24;
  if (forPicture) raw.compatible = AviCompressorCheck(kDib, width, height, depth, raw) ? RF_TRUE : RF_FALSE;
  raw.index = int32_t(list.size()) + 1;
  list.push_back(raw);
  return list;
}

const char* const AviDialogModel::kShowTexts[3] = {"Codecs compatible with current settings",
                                                   "All compression capable codecs", "All installed codecs"};

AviDialogModel::AviDialogModel(int32_t width, int32_t height, int32_t depth)
    : width_(width), height_(height), depth_(depth == 16 ? 15 : depth), all_(AviCodecs(width, height, depth)) {
  AviSettingsStore(working_);
  // The current compressor's entry tells what it makes of this picture; the chosen quality,
  // key frames and data rate stay.
  for (const aviCodecsRec& rec : all_) {
    if (rec.fourcc != working_.fourcc) continue;
    aviCodecsRec chosen = rec;
    chosen.keyFrameEvery = working_.keyFrameEvery;
    chosen.dataRate = working_.dataRate;
    chosen.quality = working_.quality;
    std::memcpy(&working_, &chosen, sizeof chosen);
  }
  SetShow(kCompatible);
}

void AviDialogModel::SetShow(Show show) {
  show_ = show;
  shown_.clear();
  for (const aviCodecsRec& rec : all_) {
    const bool take = show == kAll || (show == kEncoders && rec.isEncoder) || (show == kCompatible && rec.compatible);
    if (take) shown_.push_back(rec);
  }
  selected_ = -1;
  for (size_t i = 0; i < shown_.size(); ++i)
    if (shown_[i].fourcc == working_.fourcc) selected_ = int32_t(i);
}

void AviDialogModel::Select(int32_t index) {
  if (index < 0 || index >= int32_t(shown_.size())) return;
  selected_ = index;
  std::memcpy(&working_, &shown_[size_t(index)], sizeof working_);
}

std::string AviDialogModel::FourCCText() const {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08Xh", unsigned(working_.fourcc));
  return VcFourCCText(working_.fourcc) + ",  " + hex;
}

std::string AviDialogModel::EncoderText() const { return working_.isEncoder ? "Yes" : "No"; }

std::string AviDialogModel::BeforeText() const {
  return std::to_string(width_) + "x" + std::to_string(height_) + ", " + std::to_string(depth_) + "-bit";
}

std::string AviDialogModel::AfterText() const {
  if (!working_.compatible) return "not supported";
  return std::to_string(working_.outWidth) + "x" + std::to_string(working_.outHeight) + ", " +
         std::to_string(working_.acceptedDepth) + "-bit";
}

bool AviDialogModel::AfterDiffers() const { return AfterText() != BeforeText(); }

void AviDialogModel::Configure() {
  QueryCodec codec(working_.fourcc);
  if (codec) ICConfigure(codec.get());
}

void AviDialogModel::About() {
  QueryCodec codec(working_.fourcc);
  if (codec) ICAbout(codec.get());
}

void AviDialogModel::Confirm(int32_t quality, int32_t keyFrameEvery, int32_t dataRate) {
  working_.quality = working_.supportsQuality ? std::clamp(quality, 0, 100) : 0;
  working_.keyFrameEvery = std::max(0, keyFrameEvery);
  working_.dataRate = std::max(0, dataRate);
  AviSettingsApply(working_);
}

void AviSetDialogView(AviDialogView* view) { g_view = view; }

bool AviSelectVC(int32_t width, int32_t height, int32_t depth) {
  if (!g_view) return false;
  AviDialogModel model(width, height, depth);
  return g_view->Run(model);
}

}  // namespace rf
