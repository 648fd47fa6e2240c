// The video compressor list, opening and query mode, the state blob and the dialogs, and the
// compressor's answers about formats it takes.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "foundation/bytes.h"

#include "platform/libmsg.h"
#include "platform/vcodecdetail.h"

namespace rf {
namespace detail {
namespace {

constexpr AVPixelFormat kNone = AV_PIX_FMT_NONE;

constexpr VcOptionRow kCinepakOptions[] = {{"max_strips", "Strips per frame at most", 1, 32, 3}};
constexpr VcOptionRow kHuffyuvOptions[] = {{"pred", "Prediction (left, plane)", 0, 1, 0}};
constexpr VcOptionRow kFfv1Options[] = {{"coder", "Range coder instead of Golomb-Rice", 0, 1, 0},
                                        {"context", "Large context model", 0, 1, 0}};
constexpr VcOptionRow kZmbvOptions[] = {{"compression_level", "Compression level", 0, 9, 9}};
constexpr VcOptionRow kMpeg4Options[] = {{"mbd", "Macroblock decision (simple, bits, distortion)", 0, 2, 0}};
constexpr VcOptionRow kUtOptions[] = {{"pred", "Prediction (none, left, gradient, median)", 0, 3, 1}};

constexpr uint32_t kAll = VIDCF_QUALITY | VIDCF_CRUNCH | VIDCF_TEMPORAL;
constexpr AVPixelFormat kYuv = AV_PIX_FMT_YUV420P;

// The list in ICInfo order; only rows whose encoder or decoder is installed are listed.
// clang-format off
const VcRow kRows[] = {
  // code    name          description                    decoder                 encoder      flags
  //   quality             key rate  bias  pixels given for 8, 16, 24 bits                              options
  {"cvid", "Cinepak",     "Cinepak Codec",                AV_CODEC_ID_CINEPAK,    "cinepak",   VIDCF_QUALITY | VIDCF_TEMPORAL,
     VcQuality::Lambda,  15,   0, {kNone, AV_PIX_FMT_RGB24, AV_PIX_FMT_RGB24},                 kCinepakOptions},
  {"MSVC", "Video-1",     "Video-1",                      AV_CODEC_ID_MSVIDEO1,   "msvideo1",  VIDCF_TEMPORAL,
     VcQuality::None,    15,  -1, {kNone, AV_PIX_FMT_RGB555LE, AV_PIX_FMT_RGB555LE},           {}},
  {"MJPG", "MJPEG",       "Motion JPEG",                  AV_CODEC_ID_MJPEG,      "mjpeg",     VIDCF_QUALITY | VIDCF_CRUNCH,
     VcQuality::QScale,   1,   0, {kNone, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ420P},           {}},
  {"HFYU", "HuffYUV",     "HuffYUV lossless",             AV_CODEC_ID_HUFFYUV,    "huffyuv",   0,
     VcQuality::None,     1,   0, {AV_PIX_FMT_RGB24, AV_PIX_FMT_RGB24, AV_PIX_FMT_RGB24},      kHuffyuvOptions},
  {"FFV1", "FFV1",        "FFV1 lossless",                AV_CODEC_ID_FFV1,       "ffv1",      VIDCF_TEMPORAL,
     VcQuality::None,    12,   0, {AV_PIX_FMT_BGR0, AV_PIX_FMT_BGR0, AV_PIX_FMT_BGR0},         kFfv1Options},
  {"ZMBV", "ZMBV",        "Zip Motion Blocks Video",      AV_CODEC_ID_ZMBV,       "zmbv",      VIDCF_TEMPORAL,
     VcQuality::None,   300,   0, {AV_PIX_FMT_PAL8, AV_PIX_FMT_RGB555LE, AV_PIX_FMT_BGR0},     kZmbvOptions},
  {"XVID", "Xvid",        "Xvid MPEG-4",                  AV_CODEC_ID_MPEG4,      "mpeg4",     kAll,
     VcQuality::QScale, 300,   0, {kNone, kYuv, kYuv},                                         kMpeg4Options},
  {"FMP4", "FMP4",        "MPEG-4 part 2",                AV_CODEC_ID_MPEG4,      "mpeg4",     kAll,
     VcQuality::QScale, 250,   0, {kNone, kYuv, kYuv},                                         kMpeg4Options},
  {"MP42", "MPEG-4 V2",   "MPEG-4 version 2",             AV_CODEC_ID_MSMPEG4V2,  "msmpeg4v2", kAll,
     VcQuality::QScale, 250,   0, {kNone, kYuv, kYuv},                                         kMpeg4Options},
  {"DIV3", "MPEG-4 V3",   "MPEG-4 version 3",             AV_CODEC_ID_MSMPEG4V3,  "msmpeg4",   kAll,
     VcQuality::QScale, 250,   0, {kNone, kYuv, kYuv},                                         kMpeg4Options},
  {"H264", "H.264",       "H.264 / AVC",                  AV_CODEC_ID_H264,       "libx264",   kAll,
     VcQuality::Crf,    250,   0, {kNone, kYuv, kYuv},                                         {}},
  {"ULRG", "Ut Video",    "Ut Video lossless (RGB)",      AV_CODEC_ID_UTVIDEO,    "utvideo",   0,
     VcQuality::None,     1,   0, {AV_PIX_FMT_GBRP, AV_PIX_FMT_GBRP, AV_PIX_FMT_GBRP},         kUtOptions},
  {"MRLE", "RLE",         "Run length encoded bitmaps",   AV_CODEC_ID_MSRLE,      nullptr,     0,
     VcQuality::None,     1,   0, {kNone, kNone, kNone},                                       {}},
  {"MPG4", "MPEG-4 V1",   "MPEG-4 version 1",             AV_CODEC_ID_MSMPEG4V1,  nullptr,     0,
     VcQuality::None,     1,   0, {kNone, kNone, kNone},                                       {}},
  {"IV32", "Indeo 3",     "Indeo Video 3",                AV_CODEC_ID_INDEO3,     nullptr,     0,
     VcQuality::None,     1,   0, {kNone, kNone, kNone},                                       {}},
  {"IV50", "Indeo 5",     "Indeo Video 5",                AV_CODEC_ID_INDEO5,     nullptr,     0,
     VcQuality::None,     1,   0, {kNone, kNone, kNone},                                       {}},
  {"tscc", "Screen",      "Screen capture codec",         AV_CODEC_ID_TSCC,       nullptr,     0,
     VcQuality::None,     1,   0, {kNone, kNone, kNone},                                       {}},
};
// clang-format on

// Codes that name another row's compressor.
const struct {
  const char* alias;
  const char* fourcc;
} kAliases[] = {{"CRAM", "MSVC"}, {"WHAM", "MSVC"}, {"RLE ", "MRLE"}};

uint32_t Upper(uint32_t fourcc) {
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) out |= uint32_t(std::toupper(int((fourcc >> (8 * i)) & 0xFF))) << (8 * i);
  return out;
}

bool SameCode(uint32_t a, const char* b) { return Upper(a) == Upper(VcFourCC(b)); }

IcDialogs*& Dialogs() {
  static IcDialogs* dialogs = nullptr;
  return dialogs;
}

// The open handles; the desktop program may query compressors while a run decodes in another
// thread, so every look at the list holds its lock.
struct LiveList {
  std::mutex lock;
  std::vector<IcCodec*> handles;
};

LiveList& LiveCodecs() {
  static LiveList live;
  return live;
}

bool Installed(const VcRow& row) { return VcEncoder(row) || Av().avcodec_find_decoder(row.decoder); }

// The decoder the codec library's RIFF tables name for a code the list does not have.
AVCodecID ListedDecoder(uint32_t fourcc) {
  const AVCodecTag* const tables[] = {Av().avformat_get_riff_video_tags(), nullptr};
  return Av().av_codec_get_id(tables, fourcc);
}

std::string Clip(std::string text, size_t n) { return text.size() > n ? text.substr(0, n) : text; }

}  // namespace

std::span<const VcRow> VcRows() { return kRows; }

const VcRow* VcFindRow(uint32_t fourcc) {
  for (const auto& a : kAliases)
    if (SameCode(fourcc, a.alias)) fourcc = VcFourCC(a.fourcc);
  for (const VcRow& row : kRows)
    if (SameCode(fourcc, row.fourcc)) return &row;
  return nullptr;
}

bool VcLive(HIC hic) {
  LiveList& live = LiveCodecs();
  std::lock_guard guard(live.lock);
  return hic && std::find(live.handles.begin(), live.handles.end(), hic) != live.handles.end();
}

const AVCodec* VcEncoder(const VcRow& row) {
  return row.encoder ? Av().avcodec_find_encoder_by_name(row.encoder) : nullptr;
}

}  // namespace detail

using detail::VcRow;

uint32_t VcFourCC(std::string_view text) {
  uint32_t code = 0;
  for (size_t i = 0; i < 4; ++i) code |= uint32_t(uint8_t(i < text.size() ? text[i] : ' ')) << (8 * i);
  return code;
}

std::string VcFourCCText(uint32_t fourcc) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = char((fourcc >> (8 * i)) & 0xFF);
    text[size_t(i)] = std::isprint(uint8_t(c)) ? c : '?';
  }
  return text;
}

bool VcIsUncompressed(uint32_t fourcc) {
  return fourcc == 0 || detail::SameCode(fourcc, "DIB ") || detail::SameCode(fourcc, "RAW ") ||
         detail::SameCode(fourcc, "RGB ");
}

uint32_t DibRowBytes(int32_t width, int32_t bitCount) { return uint32_t((int64_t(width) * bitCount + 31) / 32 * 4); }

DibFormat DibFormatFor(int32_t width, int32_t height, int32_t bitCount) {
  DibFormat f;
  DibHeader& h = f.header;
  h.width = width;
  h.height = height;
  h.planes = 1;
  h.bitCount = uint16_t(bitCount == 15 ? 16 : bitCount);
  h.compression = BI_RGB;
  h.sizeImage = uint32_t(width * ((h.bitCount + 7) / 8) * height);
  if (h.bitCount == 8) {
    h.clrUsed = 256;
    f.extra.resize(1024);
    for (int i = 0; i < 256; ++i) std::memset(&f.extra[size_t(i) * 4], i, 3);
  }
  h.size = uint32_t(sizeof(DibHeader) + f.extra.size());
  return f;
}

bool DibFormatParse(const uint8_t* bytes, size_t size, DibFormat& out) {
  ByteReader r(bytes, size);
  DibHeader h;
  h.size = r.u32le();
  h.width = r.i32le();
  h.height = r.i32le();
  h.planes = r.u16le();
  h.bitCount = r.u16le();
  h.compression = r.u32le();
  h.sizeImage = r.u32le();
  h.xPelsPerMeter = r.i32le();
  h.yPelsPerMeter = r.i32le();
  h.clrUsed = r.u32le();
  h.clrImportant = r.u32le();
  // A picture beyond 32768 on a side is no picture a stream of ours can hold.
  constexpr int32_t kMaxSide = 32768;
  if (!r.ok() || h.size < sizeof(DibHeader) || h.width < 1 || h.width > kMaxSide || h.height == 0 ||
      h.height < -kMaxSide || h.height > kMaxSide || h.bitCount > 64)
    return false;
  out.header = h;
  out.extra.assign(bytes + sizeof(DibHeader), bytes + size);
  out.header.size = uint32_t(size);
  return true;
}

std::vector<uint8_t> DibFormatBytes(const DibFormat& format) {
  const DibHeader& h = format.header;
  ByteWriter w;
  w.u32le(uint32_t(sizeof(DibHeader) + format.extra.size()));
  w.u32le(uint32_t(h.width));
  w.u32le(uint32_t(h.height));
  w.u16le(h.planes);
  w.u16le(h.bitCount);
  w.u32le(h.compression);
  w.u32le(h.sizeImage);
  w.u32le(uint32_t(h.xPelsPerMeter));
  w.u32le(uint32_t(h.yPelsPerMeter));
  w.u32le(h.clrUsed);
  w.u32le(h.clrImportant);
  w.write(format.extra.data(), format.extra.size());
  return std::move(w.bytes());
}

void ICSetDialogs(IcDialogs* dialogs) { detail::Dialogs() = dialogs; }

bool ICInfo(uint32_t fccType, uint32_t index, IcInfo* info) {
  if (fccType != ICTYPE_VIDEO || !info || !AvLoad()) return false;
  for (const VcRow& row : detail::VcRows()) {
    if (!detail::Installed(row)) continue;
    if (index-- > 0) continue;
    *info = IcInfo{ICTYPE_VIDEO, VcFourCC(row.fourcc), row.flags, row.name, row.description};
    return true;
  }
  return false;
}

namespace {

HIC Register(std::unique_ptr<IcCodec> codec) {
  detail::LiveList& live = detail::LiveCodecs();
  std::lock_guard guard(live.lock);
  live.handles.push_back(codec.get());
  return codec.release();
}

bool IsRleCode(uint32_t fourcc) {
  return fourcc == BI_RLE8 || fourcc == BI_RLE4 || detail::SameCode(fourcc, "MRLE") || detail::SameCode(fourcc, "RLE ");
}

}  // namespace

HIC ICOpen(uint32_t fccType, uint32_t fccHandler, uint32_t mode) {
  LibDropReason();
  if (fccType != ICTYPE_VIDEO || !AvLoad()) return nullptr;
  auto codec = std::make_unique<IcCodec>();
  codec->fourcc = fccHandler;
  codec->mode = mode;
  codec->row = detail::VcFindRow(fccHandler);
  codec->rle = IsRleCode(fccHandler);
  codec->decoder = codec->row ? codec->row->decoder : detail::ListedDecoder(fccHandler);
  const bool decodes = codec->rle || (codec->decoder != AV_CODEC_ID_NONE && Av().avcodec_find_decoder(codec->decoder));
  const bool encodes = codec->row && detail::VcEncoder(*codec->row);
  const bool usable = mode == ICMODE_COMPRESS ? encodes : mode == ICMODE_DECOMPRESS ? decodes : encodes || decodes;
  if (!usable) return nullptr;
  if (codec->row)
    for (const auto& o : codec->row->options) codec->options.push_back(o.value);
  return Register(std::move(codec));
}

HIC ICLocateDecompressor(const DibFormat& in, uint32_t fccHandler) {
  const uint32_t compression = in.header.compression;
  if (compression == BI_RGB) return nullptr;
  if (IsRleCode(compression) && in.header.bitCount != 4 && in.header.bitCount != 8) return nullptr;
  HIC hic = ICOpen(ICTYPE_VIDEO, compression, ICMODE_DECOMPRESS);
  if (!hic && !IsRleCode(compression)) hic = ICOpen(ICTYPE_VIDEO, fccHandler, ICMODE_DECOMPRESS);
  return hic;
}

int32_t ICClose(HIC hic) {
  detail::LiveList& live = detail::LiveCodecs();
  {
    std::lock_guard guard(live.lock);
    const auto at = std::find(live.handles.begin(), live.handles.end(), hic);
    if (!hic || at == live.handles.end()) return ICERR_BADHANDLE;
    live.handles.erase(at);
  }
  delete hic;
  return ICERR_OK;
}

int32_t ICGetInfo(HIC hic, IcInfo* info) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  if (!info) return ICERR_BADPARAM;
  if (hic->row) {
    *info = IcInfo{ICTYPE_VIDEO, VcFourCC(hic->row->fourcc), hic->row->flags, hic->row->name, hic->row->description};
    return ICERR_OK;
  }
  // A code only the decoder list knows is described by its decoder.
  const AVCodecDescriptor* d = Av().avcodec_descriptor_get(hic->decoder);
  info->fccType = ICTYPE_VIDEO;
  info->fccHandler = hic->fourcc;
  info->flags = 0;
  info->name = detail::Clip(d && d->name ? d->name : VcFourCCText(hic->fourcc), 16);
  info->description = detail::Clip(d && d->long_name ? d->long_name : info->name, 128);
  return ICERR_OK;
}

int32_t ICGetDefaultKeyFrameRate(HIC hic) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  return hic->row && (hic->row->flags & VIDCF_TEMPORAL) ? hic->row->keyFrameRate : 1;
}

int32_t ICGetDefaultQuality(HIC hic) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  return hic->row && (hic->row->flags & VIDCF_QUALITY) ? 7500 : 0;
}

int32_t ICQueryAbout(HIC hic) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  return detail::Dialogs() ? ICERR_OK : ICERR_UNSUPPORTED;
}

int32_t ICQueryConfigure(HIC hic) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  return detail::Dialogs() && !hic->options.empty() ? ICERR_OK : ICERR_UNSUPPORTED;
}

int32_t ICAbout(HIC hic) {
  if (ICQueryAbout(hic) != ICERR_OK) return ICERR_UNSUPPORTED;
  IcInfo info;
  ICGetInfo(hic, &info);
  const AVCodecDescriptor* d = Av().avcodec_descriptor_get(hic->decoder);
  std::string text = info.description + " (" + VcFourCCText(info.fccHandler) + ")";
  if (d && d->long_name) text += "\nCodec: " + std::string(d->long_name);
  if (hic->row && hic->row->encoder) text += "\nEncoder: " + std::string(hic->row->encoder);
  detail::Dialogs()->about(info.name, text);
  return ICERR_OK;
}

std::vector<IcOption> ICGetOptions(HIC hic) {
  std::vector<IcOption> out;
  if (!detail::VcLive(hic) || !hic->row) return out;
  for (size_t i = 0; i < hic->options.size(); ++i) {
    const auto& o = hic->row->options[i];
    out.push_back(IcOption{o.key, o.label, o.minimum, o.maximum, hic->options[i]});
  }
  return out;
}

int32_t ICConfigure(HIC hic) {
  if (ICQueryConfigure(hic) != ICERR_OK) return ICERR_UNSUPPORTED;
  std::vector<IcOption> options = ICGetOptions(hic);
  if (!detail::Dialogs()->configure(hic->row->name, options) || options.size() != hic->options.size())
    return ICERR_ERROR;
  for (size_t i = 0; i < options.size(); ++i)
    hic->options[i] = std::clamp(options[i].value, hic->row->options[i].minimum, hic->row->options[i].maximum);
  return ICERR_OK;
}

namespace {

// The blob: a mark, the list code it belongs to, the option count, then each value.
constexpr uint32_t kStateMark = 0x53564652;  // "RFVS"

}  // namespace

uint32_t ICGetStateSize(HIC hic) {
  if (!detail::VcLive(hic) || !hic->row) return 0;
  return uint32_t(12 + 4 * hic->options.size());
}

int32_t ICGetState(HIC hic, void* state, uint32_t size) {
  const uint32_t need = ICGetStateSize(hic);
  if (need == 0) return detail::VcLive(hic) ? ICERR_UNSUPPORTED : ICERR_BADHANDLE;
  if (!state || size < need) return ICERR_BADPARAM;
  ByteWriter w;
  w.u32le(kStateMark);
  w.u32le(VcFourCC(hic->row->fourcc));
  w.u32le(uint32_t(hic->options.size()));
  for (int32_t v : hic->options) w.u32le(uint32_t(v));
  std::memcpy(state, w.bytes().data(), need);
  return ICERR_OK;
}

int32_t ICSetState(HIC hic, const void* state, uint32_t size) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  if (!hic->row || !state) return ICERR_BADPARAM;
  ByteReader r(state, size);
  const bool head = r.u32le() == kStateMark && r.u32le() == VcFourCC(hic->row->fourcc) &&
                    r.u32le() == hic->options.size() && size == ICGetStateSize(hic);
  if (!head) return ICERR_BADPARAM;
  std::vector<int32_t> values;
  for (const auto& o : hic->row->options) {
    const int32_t v = r.i32le();
    if (v < o.minimum || v > o.maximum) return ICERR_BADPARAM;
    values.push_back(v);
  }
  hic->options = values;
  return ICERR_OK;
}

namespace {

bool CanCompress(HIC hic) {
  return detail::VcLive(hic) && hic->mode != ICMODE_DECOMPRESS && hic->row && detail::VcEncoder(*hic->row);
}

// The output format of the opened encoder: the list code, its bit count and its codec data.
DibFormat OutputFormat(const IcCodec& codec, const AVCodecContext& ctx) {
  DibFormat out;
  DibHeader& h = out.header;
  h.width = ctx.width;
  h.height = ctx.height;
  h.planes = 1;
  h.bitCount = uint16_t(ctx.bits_per_coded_sample > 0 ? ctx.bits_per_coded_sample : 24);
  h.compression = VcFourCC(codec.row->fourcc);
  h.sizeImage = DibRowBytes(ctx.width, 24) * uint32_t(ctx.height);
  if (ctx.extradata_size > 0) out.extra.assign(ctx.extradata, ctx.extradata + ctx.extradata_size);
  h.size = uint32_t(sizeof(DibHeader) + out.extra.size());
  return out;
}

int32_t QueryOutput(HIC hic, const DibFormat& in, DibFormat* out) {
  if (!CanCompress(hic)) return detail::VcLive(hic) ? ICERR_UNSUPPORTED : ICERR_BADHANDLE;
  LibDropReason();
  detail::CodecPtr ctx = detail::VcOpenEncoder(*hic, in, IcCompressOptions{});
  if (!ctx) return ICERR_BADFORMAT;
  if (out) *out = OutputFormat(*hic, *ctx);
  return ICERR_OK;
}

}  // namespace

int32_t ICCompressQuery(HIC hic, const DibFormat& in, const DibFormat* out) {
  DibFormat made;
  const int32_t r = QueryOutput(hic, in, &made);
  if (r != ICERR_OK || !out) return r;
  const DibHeader& want = out->header;
  const bool same = detail::Upper(want.compression) == detail::Upper(made.header.compression) &&
                    want.width == made.header.width && want.height == made.header.height;
  return same ? ICERR_OK : ICERR_BADFORMAT;
}

int32_t ICCompressGetFormatSize(HIC hic, const DibFormat& in) {
  DibFormat made;
  const int32_t r = QueryOutput(hic, in, &made);
  return r == ICERR_OK ? int32_t(made.header.size) : r;
}

int32_t ICCompressGetFormat(HIC hic, const DibFormat& in, DibFormat& out) { return QueryOutput(hic, in, &out); }

int32_t ICOpenCount() {
  detail::LiveList& live = detail::LiveCodecs();
  std::lock_guard guard(live.lock);
  return int32_t(live.handles.size());
}

}  // namespace rf
