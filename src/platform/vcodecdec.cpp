// Decompression of stored chunks into packed bottom-up pictures: the codec library decoders
// for every code they know, our own RLE for RLE4/RLE8 bitmaps.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/libmsg.h"
#include "platform/vcodecdetail.h"

namespace rf {
namespace detail {
namespace {

// A decoded picture holds at most this many pixels (a side may still be up to 32768).
constexpr int64_t kMaxPixels = int64_t(1) << 26;

int32_t Height(const DibFormat& in) { return std::abs(in.header.height); }

bool Decodable(const DibFormat& in) {
  return in.header.width >= 1 && Height(in) >= 1 && int64_t(in.header.width) * Height(in) <= kMaxPixels;
}

// The palette stored after a header of up to 8 bits, as 256 entries of blue, green, red, 0.
std::vector<uint8_t> StoredPalette(const DibFormat& in) {
  if (in.header.bitCount > 8 || in.header.bitCount == 0) return {};
  const size_t wanted = in.header.clrUsed ? in.header.clrUsed : size_t(1) << in.header.bitCount;
  const size_t n = std::min<size_t>({wanted, 256, in.extra.size() / 4});
  std::vector<uint8_t> palette(1024, 0);
  std::copy(in.extra.begin(), in.extra.begin() + ptrdiff_t(n * 4), palette.begin());
  for (size_t i = 0; i < 256; ++i) palette[i * 4 + 3] = 0;
  return palette;
}

CodecPtr OpenDecoder(AVCodecID id, const DibFormat& in) {
  const AVCodec* codec = Av().avcodec_find_decoder(id);
  if (!codec) return nullptr;
  CodecPtr ctx(Av().avcodec_alloc_context3(codec));
  if (!ctx) return nullptr;
  ctx->width = in.header.width;
  ctx->height = Height(in);
  ctx->codec_tag = in.header.compression;
  ctx->bits_per_coded_sample = in.header.bitCount;
  ctx->thread_count = 1;  // no frame threading: each chunk gives its picture at once
  if (!in.extra.empty()) {
    ctx->extradata = static_cast<uint8_t*>(Av().av_mallocz(in.extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!ctx->extradata) return nullptr;
    std::memcpy(ctx->extradata, in.extra.data(), in.extra.size());
    ctx->extradata_size = int(in.extra.size());
  }
  if (Av().avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
  return ctx;
}

bool StartLibraryRun(IcCodec& codec, const DibFormat& in) {
  auto run = std::make_unique<VcDecodeRun>();
  run->ctx = OpenDecoder(codec.decoder, in);
  run->frame.reset(Av().av_frame_alloc());
  run->packet.reset(Av().av_packet_alloc());
  if (!run->ctx || !run->frame || !run->packet) return false;
  run->palette = StoredPalette(in);
  codec.decode = std::move(run);
  return true;
}

void StartRleRun(IcCodec& codec, const DibFormat& in) {
  auto run = std::make_unique<VcRleRun>();
  run->bits = in.header.compression == BI_RLE4 || in.header.bitCount == 4 ? 4 : 8;
  run->indices.assign(size_t(in.header.width) * size_t(Height(in)), 0);
  codec.rleRun = std::move(run);
}

// The picture of a decoded frame: palette indices as they are where 8 bits are wanted, else
// converted to 24 or 16 bits.
bool TakeFrame(IcCodec& codec, VcDecodeRun& run) {
  const AVFrame* f = run.frame.get();
  PackedDib& pic = codec.picture;
  const int32_t width = pic.header.width, height = pic.header.height;
  if (f->format == AV_PIX_FMT_PAL8 && codec.outBitCount == 0 && f->width == width && f->height == height) {
    VcShapePicture(pic, width, height, 8);
    const size_t stride = DibRowBytes(width, 8);
    for (int32_t y = 0; y < height; ++y)
      std::memcpy(pic.bits.data() + size_t(height - 1 - y) * stride, f->data[0] + size_t(y) * f->linesize[0],
                  size_t(width));
    for (int i = 0; i < 256; ++i) {
      uint32_t word;
      std::memcpy(&word, f->data[1] + i * 4, 4);
      const uint8_t entry[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), 0};
      std::memcpy(pic.palette + i * 4, entry, 4);
    }
    return true;
  }
  const int32_t bits = codec.outBitCount == 16 ? 16 : 24;
  VcShapePicture(pic, width, height, bits);
  const AVPixelFormat target = bits == 16 ? AV_PIX_FMT_RGB555LE : AV_PIX_FMT_BGR24;
  run.sws.reset(Av().sws_getCachedContext(run.sws.release(), f->width, f->height, AVPixelFormat(f->format), width,
                                          height, target, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
  if (!run.sws) return false;
  const int stride = int(DibRowBytes(width, bits));
  uint8_t* planes[4] = {pic.bits.data() + size_t(stride) * size_t(height - 1), nullptr, nullptr, nullptr};
  const int strides[4] = {-stride, 0, 0, 0};
  Av().sws_scale(run.sws.get(), f->data, f->linesize, 0, f->height, planes, strides);
  return true;
}

int32_t Receive(IcCodec& codec, VcDecodeRun& run, uint32_t flags) {
  const int got = Av().avcodec_receive_frame(run.ctx.get(), run.frame.get());
  if (got == AVERROR(EAGAIN)) return ICERR_DONTDRAW;
  if (got < 0) return ICERR_BADFORMAT;
  bool ok = true;
  if (!(flags & ICDECOMPRESS_HURRYUP)) ok = TakeFrame(codec, run);
  Av().av_frame_unref(run.frame.get());
  return ok ? ICERR_OK : ICERR_INTERNAL;
}

bool AttachPalette(VcDecodeRun& run) {
  if (run.palette.empty() || run.paletteSent) return true;
  uint8_t* side = Av().av_packet_new_side_data(run.packet.get(), AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
  if (!side) return false;
  for (size_t i = 0; i < 256; ++i) {
    const uint8_t* e = &run.palette[i * 4];
    const uint32_t word = 0xFF000000u | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
    std::memcpy(side + i * 4, &word, 4);
  }
  run.paletteSent = true;
  return true;
}

int32_t DecodeChunk(IcCodec& codec, uint32_t flags, const uint8_t* data, uint32_t size) {
  VcDecodeRun& run = *codec.decode;
  AVPacket* p = run.packet.get();
  Av().av_packet_unref(p);
  if (!AttachPalette(run)) return ICERR_MEMORY;
  p->data = const_cast<uint8_t*>(data);  // the library copies a packet it does not own
  p->size = int(size);
  int sent = Av().avcodec_send_packet(run.ctx.get(), p);
  if (sent == AVERROR(EAGAIN)) {
    // The decoder holds a picture from before: that one is this call's, the chunk goes in after.
    const int32_t r = Receive(codec, run, flags);
    sent = Av().avcodec_send_packet(run.ctx.get(), p);
    Av().av_packet_unref(p);
    return sent < 0 && sent != AVERROR(EAGAIN) ? ICERR_BADFORMAT : r;
  }
  Av().av_packet_unref(p);
  if (sent < 0) return ICERR_BADFORMAT;
  return Receive(codec, run, flags);
}

void DecodeRle(IcCodec& codec, uint32_t flags, const uint8_t* data, uint32_t size) {
  VcRleRun& run = *codec.rleRun;
  PackedDib& pic = codec.picture;
  VcRleDecode(run, pic.header.width, pic.header.height, data, size);
  if (!(flags & ICDECOMPRESS_HURRYUP)) VcPaintIndices(pic, run.indices.data(), pic.palette);
}

}  // namespace
}  // namespace detail

int32_t ICDecompressQuery(HIC hic, const DibFormat& in) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  if (hic->mode == ICMODE_COMPRESS || !detail::Decodable(in)) return ICERR_BADFORMAT;
  if (hic->rle) return in.header.bitCount == 4 || in.header.bitCount == 8 ? ICERR_OK : ICERR_BADFORMAT;
  LibDropReason();
  return detail::OpenDecoder(hic->decoder, in) ? ICERR_OK : ICERR_BADFORMAT;
}

int32_t ICDecompressBegin(HIC hic, const DibFormat& in, int32_t outBitCount) {
  const int32_t query = ICDecompressQuery(hic, in);
  if (query != ICERR_OK) return query;
  if (outBitCount != 0 && outBitCount != 16 && outBitCount != 24) return ICERR_BADFORMAT;
  ICDecompressEnd(hic);
  hic->outBitCount = outBitCount;
  const int32_t height = detail::Height(in);
  const bool paletted = in.header.bitCount <= 8 && outBitCount == 0;
  std::vector<uint8_t> palette = detail::StoredPalette(in);
  palette.resize(1024);
  std::memcpy(hic->picture.palette, palette.data(), 1024);
  try {
    detail::VcShapePicture(hic->picture, in.header.width, height, paletted ? 8 : outBitCount ? outBitCount : 24);
    std::fill(hic->picture.bits.begin(), hic->picture.bits.end(), uint8_t(0));
    if (hic->rle) {
      detail::StartRleRun(*hic, in);
    } else if (!detail::StartLibraryRun(*hic, in)) {
      hic->decode.reset();
      return ICERR_BADFORMAT;
    }
  } catch (const std::bad_alloc&) {
    ICDecompressEnd(hic);
    return ICERR_MEMORY;
  }
  return ICERR_OK;
}

int32_t ICDecompress(HIC hic, uint32_t flags, const uint8_t* data, uint32_t size, const PackedDib** out) {
  if (!detail::VcLive(hic) || (!hic->decode && !hic->rleRun)) return ICERR_BADHANDLE;
  if (!out || (!data && size > 0)) return ICERR_BADPARAM;
  *out = &hic->picture;
  // An empty chunk stands for a picture that did not change.
  if (size == 0) return ICERR_OK;
  LibDropReason();
  if (hic->rleRun) {
    detail::DecodeRle(*hic, flags, data, size);
    return ICERR_OK;
  }
  return detail::DecodeChunk(*hic, flags, data, size);
}

int32_t ICDecompressReset(HIC hic) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  if (hic->decode) Av().avcodec_flush_buffers(hic->decode->ctx.get());
  if (hic->rleRun) std::fill(hic->rleRun->indices.begin(), hic->rleRun->indices.end(), uint8_t(0));
  return ICERR_OK;
}

int32_t ICDecompressEnd(HIC hic) {
  if (!detail::VcLive(hic)) return ICERR_BADHANDLE;
  hic->decode.reset();
  hic->rleRun.reset();
  return ICERR_OK;
}

}  // namespace rf
