// Compression of packed bottom-up pictures through the codec library encoders: quality, key
// frames and data rate as each encoder takes them.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <string>

#include "platform/libmsg.h"
#include "platform/vcodecdetail.h"

namespace rf {
namespace detail {
namespace {

// "No key frames but the first": the longest interval the encoders take.
constexpr int kNoKeyInterval = 1 << 30;
// Pictures larger than this on a side are refused before an encoder sees them.
constexpr int32_t kMaxSide = 16384;
constexpr int32_t kDefaultQuality = 7500;

int DepthSlot(int bitCount) { return bitCount == 8 ? 0 : bitCount == 16 ? 1 : bitCount == 24 ? 2 : -1; }

AVPixelFormat SourceFormat(int bitCount) {
  return bitCount == 8 ? AV_PIX_FMT_PAL8 : bitCount == 16 ? AV_PIX_FMT_RGB555LE : AV_PIX_FMT_BGR24;
}

bool TakesInput(const DibHeader& h) {
  return h.compression == BI_RGB && h.width >= 1 && h.width <= kMaxSide && h.height >= 1 && h.height <= kMaxSide &&
         DepthSlot(h.bitCount) >= 0;
}

// Quality 0..10000 as the quantiser scale 31..2 of the block-transform encoders.
int QScale(int32_t quality) { return 2 + (10000 - quality) * 29 / 10000; }

void SetQuality(AVCodecContext* ctx, VcQuality kind, int32_t quality) {
  if (quality < 0 || quality > 10000) quality = kDefaultQuality;
  switch (kind) {
    case VcQuality::QScale:
      ctx->flags |= AV_CODEC_FLAG_QSCALE;
      ctx->global_quality = QScale(quality) * FF_QP2LAMBDA;
      break;
    case VcQuality::Lambda:
      // The default quality lands on the encoder's own default weighting of errors and bits.
      ctx->global_quality = 1 + (10000 - quality) * 8 * FF_LAMBDA_SCALE / 10000;
      break;
    case VcQuality::Crf:
      Av().av_opt_set(ctx, "crf", std::to_string(51.0 - quality * 41.0 / 10000).c_str(), AV_OPT_SEARCH_CHILDREN);
      break;
    case VcQuality::None:
      break;
  }
}

void SetKeyFrames(AVCodecContext* ctx, const VcRow& row, int32_t every) {
  ctx->gop_size = every > 0 ? every : kNoKeyInterval;
  ctx->keyint_min = every > 0 ? every + row.keyMinBias : kNoKeyInterval;
  // Key frames come where they are asked for, never at a scene change the encoder finds: the
  // constant-rate-factor encoder switches scene cuts off with 0, the others with a huge threshold.
  const int sceneCut = row.quality == VcQuality::Crf ? 0 : 1000000000;
  Av().av_opt_set_int(ctx, "sc_threshold", sceneCut, AV_OPT_SEARCH_CHILDREN);
}

void SetRate(AVCodecContext* ctx, const IcCompressOptions& options) {
  uint32_t rate = options.rate, scale = options.scale;
  if (rate == 0 || scale == 0) rate = 25, scale = 1;
  const uint32_t common = std::gcd(rate, scale);
  rate /= common, scale /= common;
  // MPEG-4 takes no time base finer than 1/65535; the rate only steers the data rate.
  while (rate > 65535) rate = (rate + 1) / 2, scale = std::max<uint32_t>(1, (scale + 1) / 2);
  ctx->time_base = AVRational{int(scale), int(rate)};
  ctx->framerate = AVRational{int(rate), int(scale)};
}

void SetDataRate(AVCodecContext* ctx, int32_t bytesPerSecond) {
  ctx->bit_rate = int64_t(bytesPerSecond) * 8;
  ctx->rc_max_rate = ctx->bit_rate;
  ctx->rc_buffer_size = int(std::min<int64_t>(ctx->bit_rate, INT32_MAX));
}

}  // namespace

CodecPtr VcOpenEncoder(const IcCodec& codec, const DibFormat& in, const IcCompressOptions& options) {
  const VcRow& row = *codec.row;
  const AVCodec* encoder = VcEncoder(row);
  if (!encoder || !TakesInput(in.header)) return nullptr;
  const AVPixelFormat pixels = row.pixels[DepthSlot(in.header.bitCount)];
  // Half-resolution colour planes need whole pairs of pixels, and an encoder that finds out
  // for itself does not always clean up after refusing.
  const bool halfColour = pixels == AV_PIX_FMT_YUV420P || pixels == AV_PIX_FMT_YUVJ420P;
  if (pixels == AV_PIX_FMT_NONE || (halfColour && (in.header.width % 2 || in.header.height % 2))) return nullptr;
  CodecPtr ctx(Av().avcodec_alloc_context3(encoder));
  if (!ctx) return nullptr;
  ctx->width = in.header.width;
  ctx->height = in.header.height;
  ctx->pix_fmt = pixels;
  ctx->thread_count = 1;  // one picture in, one chunk out, the same bytes every run
  ctx->max_b_frames = 0;
  SetRate(ctx.get(), options);
  SetKeyFrames(ctx.get(), row, options.keyFrameEvery);
  if ((row.flags & VIDCF_CRUNCH) && options.bytesPerSecond > 0)
    SetDataRate(ctx.get(), options.bytesPerSecond);
  else
    SetQuality(ctx.get(), row.quality, options.quality);
  // Without look-ahead an encoder gives each picture's chunk at once.
  Av().av_opt_set(ctx.get(), "tune", "zerolatency", AV_OPT_SEARCH_CHILDREN);
  for (size_t i = 0; i < codec.options.size(); ++i)
    Av().av_opt_set_int(ctx.get(), row.options[i].key, codec.options[i], AV_OPT_SEARCH_CHILDREN);
  if (Av().avcodec_open2(ctx.get(), encoder, nullptr) < 0) return nullptr;
  return ctx;
}

namespace {

// The stored palette as the converter and the encoders read it: 256 entries 0xAARRGGBB.
void PaletteWords(const DibFormat& in, uint32_t* words) {
  std::fill(words, words + 256, 0xFF000000u);
  const size_t n = std::min<size_t>(256, in.extra.size() / 4);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* e = &in.extra[i * 4];
    words[i] = 0xFF000000u | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
  }
}

bool StartRun(IcCodec& codec, const DibFormat& in, const IcCompressOptions& options) {
  auto run = std::make_unique<VcEncodeRun>();
  run->ctx = VcOpenEncoder(codec, in, options);
  if (!run->ctx) return false;
  run->in = in;
  run->source = SourceFormat(in.header.bitCount);
  run->keyFrameEvery = options.keyFrameEvery;
  run->frame.reset(Av().av_frame_alloc());
  run->packet.reset(Av().av_packet_alloc());
  if (!run->frame || !run->packet) return false;
  AVFrame* f = run->frame.get();
  f->format = run->ctx->pix_fmt;
  f->width = run->ctx->width;
  f->height = run->ctx->height;
  if (Av().av_frame_get_buffer(f, 0) < 0) return false;
  if (run->source != run->ctx->pix_fmt) {
    run->sws.reset(Av().sws_getCachedContext(nullptr, f->width, f->height, run->source, f->width, f->height,
                                             run->ctx->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                                             nullptr));
    if (!run->sws) return false;
  }
  codec.encode = std::move(run);
  return true;
}

// Puts the packed bottom-up picture into the encoder's frame, converting where the formats differ.
void FillFrame(VcEncodeRun& run, const uint8_t* bits) {
  AVFrame* f = run.frame.get();
  const int stride = int(DibRowBytes(f->width, run.in.header.bitCount));
  uint32_t palette[256];
  PaletteWords(run.in, palette);
  const uint8_t* top = bits + size_t(stride) * size_t(f->height - 1);
  if (!run.sws) {
    const size_t rowBytes = std::min<size_t>(size_t(stride), size_t(f->linesize[0]));
    for (int y = 0; y < f->height; ++y)
      std::memcpy(f->data[0] + size_t(y) * f->linesize[0], top - size_t(y) * stride, rowBytes);
    if (run.source == AV_PIX_FMT_PAL8) std::memcpy(f->data[1], palette, sizeof palette);
    return;
  }
  const uint8_t* planes[4] = {top, reinterpret_cast<const uint8_t*>(palette), nullptr, nullptr};
  const int strides[4] = {-stride, 0, 0, 0};
  Av().sws_scale(run.sws.get(), planes, strides, 0, f->height, f->data, f->linesize);
}

}  // namespace
}  // namespace detail

int32_t ICCompressBegin(HIC hic, const DibFormat& in, const IcCompressOptions& options) {
  if (!detail::VcLive(hic) || hic->mode == ICMODE_DECOMPRESS || !hic->row) return ICERR_BADHANDLE;
  LibDropReason();
  hic->encode.reset();
  try {
    if (!detail::StartRun(*hic, in, options)) {
      hic->encode.reset();
      return ICERR_BADFORMAT;
    }
  } catch (const std::bad_alloc&) {
    hic->encode.reset();
    return ICERR_MEMORY;
  }
  return ICERR_OK;
}

int32_t ICCompress(HIC hic, uint32_t flags, const uint8_t* bits, size_t size, std::vector<uint8_t>& out, bool* key) {
  if (!detail::VcLive(hic) || !hic->encode) return ICERR_BADHANDLE;
  detail::VcEncodeRun& run = *hic->encode;
  const DibHeader& h = run.in.header;
  if (!bits || size < size_t(DibRowBytes(h.width, h.bitCount)) * size_t(h.height)) return ICERR_BADPARAM;
  LibDropReason();
  AVFrame* f = run.frame.get();
  if (Av().av_frame_make_writable(f) < 0) return ICERR_MEMORY;
  detail::FillFrame(run, bits);
  const bool wantKey = (flags & ICCOMPRESS_KEYFRAME) || run.frames == 0 ||
                       (run.keyFrameEvery > 0 && run.frames % run.keyFrameEvery == 0);
  f->pict_type = wantKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  f->pts = run.frames;
  f->quality = run.ctx->global_quality;
  if (Av().avcodec_send_frame(run.ctx.get(), f) < 0) return ICERR_ERROR;
  ++run.frames;
  AVPacket* p = run.packet.get();
  const int got = Av().avcodec_receive_packet(run.ctx.get(), p);
  if (got == AVERROR(EAGAIN)) {
    out.clear();
    if (key) *key = false;
    return ICERR_OK;
  }
  if (got < 0) return ICERR_ERROR;
  out.assign(p->data, p->data + p->size);
  if (key) *key = (p->flags & AV_PKT_FLAG_KEY) != 0;
  Av().av_packet_unref(p);
  return ICERR_OK;
}

int32_t ICCompressEnd(HIC hic) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  hic->encode.reset();
  return ICERR_OK;
}

}  // namespace rf
