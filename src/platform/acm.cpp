// Wave-format conversion streams: PCM and float through libswresample, every other wave tag
// through the libavcodec decoder that the RIFF tag tables name for it.
#include "platform/acm.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "foundation/bytes.h"

#include "platform/avlib.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

enum class SourceKind { Pcm, Float, Codec };

struct SourceInfo {
  SourceKind kind = SourceKind::Pcm;
  AVCodecID codec = AV_CODEC_ID_NONE;
};

// Sound whose frames can carry more than this per channel is not a sound we believe in.
constexpr uint32_t kMaxRate = 1000000;
// Blocks decoded ahead of a seek target for decoders with memory across blocks.
constexpr int32_t kPrerollBlocks = 8;
// Raw bytes handed to a PCM-family decoder at once.
constexpr uint32_t kPcmPacketBytes = 8192;

const uint8_t* ExtraBytes(const WaveFormatEx* f) { return reinterpret_cast<const uint8_t*>(f) + sizeof(WaveFormatEx); }

// The tag that describes the samples: an extensible format carries it in its sub-format.
uint16_t EffectiveTag(const WaveFormatEx* f) {
  if (f->formatTag != WAVE_FORMAT_EXTENSIBLE) return f->formatTag;
  if (f->extraSize < 22) return 0;
  ByteReader r(ExtraBytes(f), f->extraSize);
  r.skip(6);  // valid bits, channel mask
  return r.u16le();
}

AVCodecID CodecForTag(uint16_t tag) {
  const AVCodecTag* const tables[] = {Av().avformat_get_riff_audio_tags(), nullptr};
  return Av().av_codec_get_id(tables, tag);
}

bool PlainFrames(const WaveFormatEx* f) {
  return f->bitsPerSample % 8 == 0 && f->blockAlign == uint32_t(f->channels) * (f->bitsPerSample / 8);
}

bool BasicShape(const WaveFormatEx* f) {
  return f->channels >= 1 && f->channels <= ACM_MAX_CHANNELS && f->samplesPerSec >= 1 && f->samplesPerSec <= kMaxRate &&
         f->blockAlign >= 1;
}

bool ResolveSource(const WaveFormatEx* f, SourceInfo& out) {
  if (!BasicShape(f)) return false;
  const uint16_t tag = EffectiveTag(f);
  const uint16_t bits = f->bitsPerSample;
  if (tag == WAVE_FORMAT_PCM) {
    out.kind = SourceKind::Pcm;
    return (bits == 8 || bits == 16 || bits == 24 || bits == 32) && PlainFrames(f);
  }
  if (tag == WAVE_FORMAT_IEEE_FLOAT) {
    out.kind = SourceKind::Float;
    return (bits == 32 || bits == 64) && PlainFrames(f);
  }
  out.kind = SourceKind::Codec;
  if (!AvLoad()) return false;
  out.codec = CodecForTag(tag);
  return out.codec != AV_CODEC_ID_NONE && Av().avcodec_find_decoder(out.codec) != nullptr;
}

bool ValidPcmTarget(const WaveFormatEx* f) {
  const uint16_t bits = f->bitsPerSample;
  return f->formatTag == WAVE_FORMAT_PCM && BasicShape(f) && (bits == 8 || bits == 16 || bits == 24 || bits == 32) &&
         PlainFrames(f);
}

// The sample format libswresample sees for packed frames of these bits (24 bits travel as 32).
AVSampleFormat PackedFormat(bool isFloat, int bits) {
  if (isFloat) return bits == 64 ? AV_SAMPLE_FMT_DBL : AV_SAMPLE_FMT_FLT;
  return bits == 8 ? AV_SAMPLE_FMT_U8 : bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
}

bool IsPcmFamily(AVCodecID id) { return id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT; }

struct CodecDeleter {
  void operator()(AVCodecContext* c) const { Av().avcodec_free_context(&c); }
};
struct ParserDeleter {
  void operator()(AVCodecParserContext* p) const { Av().av_parser_close(p); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { Av().av_packet_free(&p); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { Av().av_frame_free(&f); }
};
struct SwrDeleter {
  void operator()(SwrContext* s) const { Av().swr_free(&s); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using ParserPtr = std::unique_ptr<AVCodecParserContext, ParserDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;

CodecPtr OpenDecoder(const WaveFormatEx* f, AVCodecID id) {
  const AVCodec* codec = Av().avcodec_find_decoder(id);
  if (!codec) return nullptr;
  CodecPtr c(Av().avcodec_alloc_context3(codec));
  if (!c) return nullptr;
  c->sample_rate = int(f->samplesPerSec);
  Av().av_channel_layout_default(&c->ch_layout, f->channels);
  c->block_align = f->blockAlign;
  c->bits_per_coded_sample = f->bitsPerSample;
  c->bit_rate = int64_t(f->avgBytesPerSec) * 8;
  if (f->extraSize > 0 && f->formatTag != WAVE_FORMAT_EXTENSIBLE) {
    c->extradata = static_cast<uint8_t*>(Av().av_mallocz(size_t(f->extraSize) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!c->extradata) return nullptr;
    std::memcpy(c->extradata, ExtraBytes(f), f->extraSize);
    c->extradata_size = f->extraSize;
  }
  if (Av().avcodec_open2(c.get(), codec, nullptr) < 0) return nullptr;
  return c;
}

// Copies the last of n frames, one vector per plane (one for packed samples).
void KeepLastFrame(const uint8_t* const* planes, int n, AVSampleFormat format, int channels,
                   std::vector<std::vector<uint8_t>>& last) {
  const bool planar = Av().av_sample_fmt_is_planar(format);
  const int bytes = Av().av_get_bytes_per_sample(format) * (planar ? 1 : channels);
  last.resize(planar ? size_t(channels) : 1);
  for (size_t p = 0; p < last.size(); ++p)
    last[p].assign(planes[p] + size_t(n - 1) * bytes, planes[p] + size_t(n) * bytes);
}

std::vector<AcmStream*>& LiveStreams() {
  static std::vector<AcmStream*> live;
  return live;
}

}  // namespace

struct AcmStream {
  WaveFormatEx src{};
  WaveFormatEx dst{};
  SourceInfo in;
  CodecPtr decoder;
  ParserPtr parser;
  PacketPtr packet;
  FramePtr frame;
  SwrPtr swr;
  int swrFormat = -1, swrRate = 0, swrChannels = 0;  // what swr was set up to take
  int64_t swrIn = 0, swrOut = 0;                     // frames swr took and gave since it was set up
  std::vector<std::vector<uint8_t>> lastFrame;       // the last frame swr took, plane by plane
  std::vector<uint8_t> parserInput;                  // the parser's copy of the source, padded
  std::vector<uint8_t> carry;                        // source bytes short of a whole frame or block
  std::vector<uint8_t> pending;                      // converted bytes waiting for destination space
  std::vector<uint8_t> scratch;
  std::vector<uint8_t> extra;  // the source format's extra bytes
  int32_t prepared = 0;

  WaveFormatEx* srcWithExtra() { return reinterpret_cast<WaveFormatEx*>(extra.data()); }

  bool openDecoder() {
    decoder = OpenDecoder(srcWithExtra(), in.codec);
    if (!decoder) return false;
    parser.reset(IsPcmFamily(in.codec) ? nullptr : Av().av_parser_init(in.codec));
    packet.reset(Av().av_packet_alloc());
    frame.reset(Av().av_frame_alloc());
    return packet && frame;
  }

  bool ensureSwr(int format, int rate, int channels) {
    if (swr && format == swrFormat && rate == swrRate && channels == swrChannels) return true;
    swr.reset();
    AVChannelLayout inLayout, outLayout;
    Av().av_channel_layout_default(&inLayout, channels);
    Av().av_channel_layout_default(&outLayout, dst.channels);
    SwrContext* s = nullptr;
    const int r = Av().swr_alloc_set_opts2(&s, &outLayout, PackedFormat(false, dst.bitsPerSample),
                                           int(dst.samplesPerSec), &inLayout, AVSampleFormat(format), rate, 0, nullptr);
    Av().av_channel_layout_uninit(&inLayout);
    Av().av_channel_layout_uninit(&outLayout);
    if (r < 0 || !s) {
      Av().swr_free(&s);
      return false;
    }
    swr.reset(s);
    // Mono spreads to every channel at full level and every channel folds into mono equally,
    // as a listener expects; other layouts take the resampler's standard mix.
    if (channels != dst.channels && (channels == 1 || dst.channels == 1)) {
      std::vector<double> matrix(size_t(channels) * dst.channels, channels == 1 ? 1.0 : 1.0 / channels);
      if (Av().swr_set_matrix(s, matrix.data(), channels) < 0) return false;
    }
    if (Av().swr_init(s) < 0) return false;
    swrFormat = format;
    swrRate = rate;
    swrChannels = channels;
    swrIn = swrOut = 0;
    return true;
  }

  // Resamples n frames (null planes: what the resampler still holds) and appends up to limit
  // frames of the result, packed in the destination format, to pending.
  bool resample(const uint8_t* const* planes, int n, int64_t limit) {
    int room = Av().swr_get_out_samples(swr.get(), n);
    if (room < 0) return false;
    // Draining, the resampler gives what it holds, which its estimate for no input leaves out.
    if (!planes) room = int(std::clamp<int64_t>(limit - swrOut, room, INT32_MAX / 64));
    const int outBytes = dst.bitsPerSample == 24 ? 4 : dst.bitsPerSample / 8;
    scratch.resize(size_t(room) * dst.channels * outBytes + 64);
    uint8_t* out = scratch.data();
    const int converted = Av().swr_convert(swr.get(), &out, room, const_cast<const uint8_t**>(planes), n);
    if (converted < 0) return false;
    const int got = int(std::clamp<int64_t>(limit - swrOut, 0, converted));
    swrOut += got;
    const size_t samples = size_t(got) * dst.channels;
    if (dst.bitsPerSample == 24) {
      const size_t at = pending.size();
      pending.resize(at + samples * 3);
      for (size_t i = 0; i < samples; ++i) std::memcpy(&pending[at + i * 3], &scratch[i * 4 + 1], 3);
    } else {
      pending.insert(pending.end(), scratch.begin(), scratch.begin() + ptrdiff_t(samples * outBytes));
    }
    return true;
  }

  // Resamples n frames and appends them to pending; the last frame is kept for the sound's end.
  bool feed(const uint8_t* const* planes, int n, int format, int rate, int channels) {
    if (n <= 0) return true;
    if (!ensureSwr(format, rate, channels)) return false;
    if (!resample(planes, n, INT64_MAX)) return false;
    swrIn += n;
    KeepLastFrame(planes, n, AVSampleFormat(format), channels, lastFrame);
    return true;
  }

  // Ends the sound: the resampler's delayed tail comes out, so that the sound lasts exactly as
  // long as its source: every output instant inside the source's span, ceil(in * out / in rate).
  // The last source frame is held for a while first, longer than the resampler's filter, as the
  // resampler gives a few frames too few on some rate pairs (none at all for a sound shorter than
  // its filter) and its filter must not see the sound drop to silence at its end.
  bool finishResampling() {
    if (!swr || swrIn == 0) return true;
    const int64_t total = (swrIn * int64_t(dst.samplesPerSec) + swrRate - 1) / swrRate;
    const int hold = 64 * int(1 + swrRate / dst.samplesPerSec) + 64;
    std::vector<std::vector<uint8_t>> held(lastFrame.size());
    std::vector<const uint8_t*> planes(lastFrame.size());
    for (size_t p = 0; p < lastFrame.size(); ++p) {
      for (int i = 0; i < hold; ++i) held[p].insert(held[p].end(), lastFrame[p].begin(), lastFrame[p].end());
      planes[p] = held[p].data();
    }
    if (!resample(planes.data(), hold, total)) return false;
    while (swrOut < total) {
      const int64_t before = swrOut;
      if (!resample(nullptr, 0, total)) return false;
      if (swrOut == before) break;
    }
    return true;
  }

  // Delivers what the decoder still holds, then the resampler's tail; the next conversion
  // starts a new sound.
  bool finish() {
    if (decoder) {
      uint8_t* out = nullptr;
      int outSize = 0;
      if (parser)
        Av().av_parser_parse2(parser.get(), decoder.get(), &out, &outSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE,
                              0);
      if (outSize > 0 && !decodePacket(out, outSize)) return false;
      Av().avcodec_send_packet(decoder.get(), nullptr);
      if (!receiveFrames()) return false;
    }
    const bool ok = finishResampling();
    const std::vector<uint8_t> keep = std::move(pending);
    reset();
    pending = keep;
    return ok;
  }

  bool convertPlain(const uint8_t* data, size_t size) {
    carry.insert(carry.end(), data, data + size);
    const size_t frames = carry.size() / src.blockAlign;
    if (frames == 0) return true;
    const size_t bytes = frames * src.blockAlign;
    const bool isFloat = in.kind == SourceKind::Float;
    bool ok;
    if (!isFloat && src.bitsPerSample == 24) {
      // libswresample has no packed 24-bit samples: widen them to 32 bits first.
      const size_t samples = bytes / 3;
      std::vector<uint8_t> wide(samples * 4);
      for (size_t i = 0; i < samples; ++i) {
        wide[i * 4] = 0;
        std::memcpy(&wide[i * 4 + 1], &carry[i * 3], 3);
      }
      const uint8_t* planes[1] = {wide.data()};
      ok = feed(planes, int(frames), AV_SAMPLE_FMT_S32, int(src.samplesPerSec), src.channels);
    } else {
      const uint8_t* planes[1] = {carry.data()};
      ok = feed(planes, int(frames), PackedFormat(isFloat, src.bitsPerSample), int(src.samplesPerSec), src.channels);
    }
    carry.erase(carry.begin(), carry.begin() + ptrdiff_t(bytes));
    return ok;
  }

  bool receiveFrames() {
    while (Av().avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
      const bool ok = feed(frame->extended_data, frame->nb_samples, frame->format, frame->sample_rate,
                           frame->ch_layout.nb_channels);
      Av().av_frame_unref(frame.get());
      if (!ok) return false;
    }
    return true;
  }

  bool decodePacket(const uint8_t* data, int size) {
    packet->data = const_cast<uint8_t*>(data);
    packet->size = size;
    // A damaged packet is dropped; the sound goes on with the next one.
    if (Av().avcodec_send_packet(decoder.get(), packet.get()) < 0) return true;
    return receiveFrames();
  }

  bool convertCoded(const uint8_t* data, size_t size) {
    if (parser) {
      // The parsers read a little past their input, so they get a copy followed by zeroed bytes.
      parserInput.assign(data, data + size);
      parserInput.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
      data = parserInput.data();
      while (size > 0) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int used = Av().av_parser_parse2(parser.get(), decoder.get(), &out, &outSize, data, int(size),
                                               AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0) return true;
        data += used;
        size -= size_t(used);
        if (outSize > 0 && !decodePacket(out, outSize)) return false;
        if (used == 0 && outSize == 0) break;
      }
      return true;
    }
    // Block codecs take one stored block per packet; PCM-like codecs take many blocks at once.
    carry.insert(carry.end(), data, data + size);
    const uint32_t unit = IsPcmFamily(in.codec)
                              ? std::max<uint32_t>(1, kPcmPacketBytes / src.blockAlign) * src.blockAlign
                              : src.blockAlign;
    size_t at = 0;
    while (carry.size() - at >= src.blockAlign) {
      const size_t n = std::min<size_t>(unit, (carry.size() - at) / src.blockAlign * src.blockAlign);
      if (!decodePacket(carry.data() + at, int(n))) return false;
      at += n;
    }
    carry.erase(carry.begin(), carry.begin() + ptrdiff_t(at));
    return true;
  }

  void reset() {
    carry.clear();
    pending.clear();
    swr.reset();
    swrFormat = -1;
    lastFrame.clear();
    if (decoder) {
      Av().avcodec_flush_buffers(decoder.get());
      parser.reset(IsPcmFamily(in.codec) ? nullptr : Av().av_parser_init(in.codec));
    }
  }
};

namespace {

bool Live(HACMSTREAM s) {
  const auto& live = LiveStreams();
  return s && std::find(live.begin(), live.end(), s) != live.end();
}

}  // namespace

int32_t acmFormatSuggest(const WaveFormatEx* src, WaveFormatEx* dst, uint32_t dstSize, uint32_t flags) {
  LibDropReason();
  if (!src || !dst || dstSize < sizeof(WaveFormatEx)) return MMSYSERR_INVALPARAM;
  if (!(flags & ACM_FORMATSUGGESTF_WFORMATTAG) || dst->formatTag != WAVE_FORMAT_PCM) return ACMERR_NOTPOSSIBLE;
  SourceInfo in;
  if (!ResolveSource(src, in)) return ACMERR_NOTPOSSIBLE;
  uint16_t bits = 16;  // what every decoder and float source is delivered as
  if (in.kind == SourceKind::Pcm) {
    bits = src->bitsPerSample;
  } else if (in.kind == SourceKind::Codec) {
    try {
      if (!OpenDecoder(src, in.codec)) return ACMERR_NOTPOSSIBLE;
    } catch (const std::bad_alloc&) {
      return MMSYSERR_NOMEM;
    }
  }
  WaveFormatEx f{};
  f.formatTag = WAVE_FORMAT_PCM;
  f.channels = src->channels;
  f.samplesPerSec = src->samplesPerSec;
  f.bitsPerSample = bits;
  f.blockAlign = uint16_t(f.channels * (bits / 8));
  f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
  f.extraSize = 0;
  *dst = f;
  return 0;
}

int32_t acmStreamOpen(HACMSTREAM* stream, const WaveFormatEx* src, const WaveFormatEx* dst, uint32_t flags) {
  LibDropReason();
  if (!stream || !src || !dst) return MMSYSERR_INVALPARAM;
  *stream = nullptr;
  SourceInfo in;
  // Every stream resamples through the codec libraries, whatever its source.
  if (!AvLoad() || !ResolveSource(src, in) || !ValidPcmTarget(dst)) return ACMERR_NOTPOSSIBLE;
  try {
    auto s = std::make_unique<AcmStream>();
    s->src = *src;
    s->dst = *dst;
    s->in = in;
    const auto* bytes = reinterpret_cast<const uint8_t*>(src);
    s->extra.assign(bytes, bytes + sizeof(WaveFormatEx) + src->extraSize);
    if (in.kind == SourceKind::Codec && !s->openDecoder()) return ACMERR_NOTPOSSIBLE;
    LiveStreams().push_back(s.get());
    *stream = s.release();
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  }
  return 0;
}

int32_t acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags) {
  if (!Live(stream)) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER) || (!header->pbSrc && header->cbSrcLength) ||
      (!header->pbDst && header->cbDstLength))
    return MMSYSERR_INVALPARAM;
  ++stream->prepared;
  return 0;
}

int32_t acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags) {
  LibDropReason();
  if (!Live(stream)) return MMSYSERR_INVALHANDLE;
  if (!header) return MMSYSERR_INVALPARAM;
  if (stream->prepared == 0) return ACMERR_UNPREPARED;
  header->cbSrcLengthUsed = 0;
  header->cbDstLengthUsed = 0;
  try {
    bool ok = stream->in.kind == SourceKind::Codec ? stream->convertCoded(header->pbSrc, header->cbSrcLength)
                                                   : stream->convertPlain(header->pbSrc, header->cbSrcLength);
    if (ok && (flags & ACM_STREAMCONVERTF_END)) ok = stream->finish();
    if (!ok) return ACMERR_NOTPOSSIBLE;
    auto& pending = stream->pending;
    const size_t n =
        std::min<size_t>(pending.size(), header->cbDstLength) / stream->dst.blockAlign * stream->dst.blockAlign;
    if (n) std::memcpy(header->pbDst, pending.data(), n);
    pending.erase(pending.begin(), pending.begin() + ptrdiff_t(n));
    header->cbSrcLengthUsed = header->cbSrcLength;
    header->cbDstLengthUsed = uint32_t(n);
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  }
  return 0;
}

int32_t acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags) {
  if (!Live(stream)) return MMSYSERR_INVALHANDLE;
  if (!header) return MMSYSERR_INVALPARAM;
  if (stream->prepared == 0) return ACMERR_UNPREPARED;
  --stream->prepared;
  return 0;
}

int32_t acmStreamReset(HACMSTREAM stream, uint32_t flags) {
  if (!Live(stream)) return MMSYSERR_INVALHANDLE;
  stream->reset();
  return 0;
}

int32_t acmStreamClose(HACMSTREAM stream, uint32_t flags) {
  if (!Live(stream)) return MMSYSERR_INVALHANDLE;
  auto& live = LiveStreams();
  live.erase(std::find(live.begin(), live.end(), stream));
  delete stream;
  return 0;
}

int32_t acmPrerollBlocks(const WaveFormatEx* src) {
  SourceInfo in;
  if (!src || !ResolveSource(src, in) || in.kind != SourceKind::Codec) return 0;
  // These ADPCM blocks carry their predictor state in their own header.
  if (IsPcmFamily(in.codec) || in.codec == AV_CODEC_ID_ADPCM_MS || in.codec == AV_CODEC_ID_ADPCM_IMA_WAV) return 0;
  return kPrerollBlocks;
}

std::string acmFormatTagName(uint16_t tag) {
  // The extensible tag names no codec: its sub-format does.
  if (tag == WAVE_FORMAT_EXTENSIBLE) return "Extensible wave format";
  if (!AvLoad()) return std::string();
  const AVCodecID id = CodecForTag(tag);
  const AVCodecDescriptor* d = id == AV_CODEC_ID_NONE ? nullptr : Av().avcodec_descriptor_get(id);
  return d && d->long_name ? std::string(d->long_name).substr(0, 255) : std::string();
}

int32_t acmStreamCount() { return int32_t(LiveStreams().size()); }

}  // namespace rf
