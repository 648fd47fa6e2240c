// The encoder modules and the multiplexers: pictures and sound are encoded into stream files,
// which a multiplexer combines into the output, written through the tracked files.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/trackedfile.h"
#include "os/kernel.h"
#include "platform/avlib.h"
#include "platform/avptr.h"
#include "platform/mpeglib.h"

namespace rf {
namespace {

std::atomic<MplImgPtrCBF> g_imgPtr = nullptr;
std::atomic<int64_t> g_putCalls = 0;

using Codec = AvCodecPtr;
using Packet = AvPacketPtr;
using Frame = AvFramePtr;
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

const AVRational kRates[9] = {{0, 1},  {24000, 1001}, {24, 1},       {25, 1}, {30000, 1001},
                              {30, 1}, {50, 1},       {60000, 1001}, {60, 1}};

// The stream file of an encoder that an MP4 is made from: a header with the codec's parameters,
// then each packet with its times.
constexpr uint32_t kLogMagic = 0x4C504652;  // "RFPL"
struct LogHeader {
  uint32_t magic = kLogMagic;
  int32_t type = 0;  // AVMediaType
  int32_t codecId = 0;
  int32_t width = 0, height = 0;
  int32_t tbNum = 1, tbDen = 1;
  int32_t sampleRate = 0, channels = 0, frameSize = 0, initialPadding = 0;
  int32_t extradataSize = 0;
};
struct LogRecord {
  int64_t pts, dts, duration;
  int32_t flags, size;
};

void WriteLogHeader(std::FILE* f, const AVCodecContext* c) {
  LogHeader h;
  h.type = c->codec_type;
  h.codecId = c->codec_id;
  h.width = c->width;
  h.height = c->height;
  h.tbNum = c->time_base.num;
  h.tbDen = c->time_base.den;
  h.sampleRate = c->sample_rate;
  h.channels = c->ch_layout.nb_channels;
  h.frameSize = c->frame_size;
  h.initialPadding = c->initial_padding;
  h.extradataSize = c->extradata_size;
  std::fwrite(&h, sizeof h, 1, f);
  if (c->extradata_size > 0) std::fwrite(c->extradata, 1, size_t(c->extradata_size), f);
}

// Writes what the encoder has ready: the bare packets of an elementary stream, or log records.
bool Drain(AVCodecContext* c, AVPacket* pkt, std::FILE* out, bool log) {
  for (;;) {
    const int r = Av().avcodec_receive_packet(c, pkt);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    bool ok = true;
    if (log) {
      // A picture lasts one tick of the time base; the muxer needs it to show the last one.
      const int64_t duration = pkt->duration > 0                     ? pkt->duration
                               : c->codec_type == AVMEDIA_TYPE_VIDEO ? 1
                                                                     : c->frame_size;
      const LogRecord rec{pkt->pts, pkt->dts, duration, pkt->flags, pkt->size};
      ok = std::fwrite(&rec, sizeof rec, 1, out) == 1;
    }
    ok = ok && std::fwrite(pkt->data, 1, size_t(pkt->size), out) == size_t(pkt->size);
    Av().av_packet_unref(pkt);
    if (!ok) return false;
  }
}

// Output through the tracked files: a created file replaces its name only when complete.
struct TrackedOut {
  int32_t handle = 0;
  bool failed = false;
  bool open = false;

  bool Open(std::string_view name) {
    open = FOpen(handle, name, FM_CREATE | FM_WRITE) == 0;
    return open;
  }
  static int Write(void* self, uint8_t* data, int size) {
    auto* t = static_cast<TrackedOut*>(self);
    if (FWrite(t->handle, data, size) != 0) t->failed = true;
    return t->failed ? AVERROR(EIO) : size;
  }
  bool Close() {
    if (!open) return false;
    open = false;
    if (failed) {
      FAbandon(handle);
      return false;
    }
    FClose(handle);
    return true;
  }
  ~TrackedOut() {
    if (open) FAbandon(handle);
  }
};

bool CopyInto(TrackedOut& out, std::string_view file) {
  File in(std::fopen(std::string(file).c_str(), "rb"));
  if (!in) return false;
  std::vector<uint8_t> buffer(1 << 16);
  for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0;)
    if (TrackedOut::Write(&out, buffer.data(), int(n)) < 0) return false;
  return true;
}

}  // namespace

// Video encoder.
struct MplEncoder {
  Codec ctx;
  Packet pkt;
  Frame frame;
  File out;
  SwsContext* sws = nullptr;
  bool log = false;
  int32_t available = 0;
  int32_t next = 0;  // number of the next picture to encode

  ~MplEncoder() {
    if (sws) Av().sws_freeContext(sws);
  }
};

void GetImgPtrFuncSet(MplImgPtrCBF callback) { g_imgPtr = callback; }

int64_t MplPutFrameCalls() { return g_putCalls; }

namespace {

const AVCodec* VideoCodec(const MplEncParams& p) {
  if (p.codec == MplVideoCodec::H264) return Av().avcodec_find_encoder_by_name("libx264");
  return Av().avcodec_find_encoder(p.mpeg1 ? AV_CODEC_ID_MPEG1VIDEO : AV_CODEC_ID_MPEG2VIDEO);
}

Codec OpenVideoEncoder(const MplEncParams& p, const AVCodec* codec) {
  Codec c(Av().avcodec_alloc_context3(codec));
  if (!c) return nullptr;
  const AVRational rate =
      p.rateNum > 0 && p.rateDen > 0 ? AVRational{p.rateNum, p.rateDen} : kRates[std::clamp(p.rateCode, 1, 8)];
  c->width = p.width;
  c->height = p.height;
  c->time_base = AVRational{rate.den, rate.num};
  c->framerate = rate;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->thread_count = 1;
  if (p.codec == MplVideoCodec::H264) {
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Av().av_opt_set_int(c->priv_data, "crf", std::clamp(p.crf, 0, 51), 0);
  } else {
    c->bit_rate = int64_t(p.bitRate);
  }
  if (Av().avcodec_open2(c.get(), codec, nullptr) < 0) return nullptr;
  return c;
}

}  // namespace

int32_t CreateMPEG(MplEncoder*& encoder, std::string_view file, const MplEncParams& params) {
  encoder = nullptr;
  if (!AvLoad()) return detail::MplEncFail(AvLoadFailure());
  const AVCodec* codec = VideoCodec(params);
  if (!codec) return detail::MplEncFail("The video encoder is not installed");
  auto e = std::make_unique<MplEncoder>();
  e->ctx = OpenVideoEncoder(params, codec);
  if (!e->ctx) return detail::MplEncFail("Cannot start the video encoder");
  e->log = params.codec == MplVideoCodec::H264;
  e->out.reset(std::fopen(std::string(file).c_str(), "wb"));
  if (!e->out) return detail::MplEncFail("Cannot create " + std::string(file));
  if (e->log) WriteLogHeader(e->out.get(), e->ctx.get());
  e->pkt.reset(Av().av_packet_alloc());
  e->frame.reset(Av().av_frame_alloc());
  e->frame->width = params.width;
  e->frame->height = params.height;
  e->frame->format = AV_PIX_FMT_YUV420P;
  if (Av().av_frame_get_buffer(e->frame.get(), 0) < 0) return detail::MplEncFail("Out of memory for a picture");
  encoder = e.release();
  return 1;
}

void SetNumFramesMPEG(MplEncoder* encoder, int32_t n) { encoder->available = n; }

int32_t PutMPEGFrame(MplEncoder* encoder) {
  ++g_putCalls;
  MplEncoder& e = *encoder;
  if (e.next >= e.available) return detail::MplEncFail("No picture is available to encode");
  uint8_t* pixels = nullptr;
  const MplImgPtrCBF fetch = g_imgPtr;
  if (fetch) fetch(e.next, pixels);
  if (!pixels) return detail::MplEncFail("The picture to encode was not handed over");
  AVCodecContext* c = e.ctx.get();
  e.sws = Av().sws_getCachedContext(e.sws, c->width, c->height, AV_PIX_FMT_BGR24, c->width, c->height,
                                    AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!e.sws || Av().av_frame_make_writable(e.frame.get()) < 0) return detail::MplEncFail("Cannot convert the picture");
  const uint8_t* src[4] = {pixels, nullptr, nullptr, nullptr};
  const int stride[4] = {c->width * 3, 0, 0, 0};
  Av().sws_scale(e.sws, src, stride, 0, c->height, e.frame->data, e.frame->linesize);
  e.frame->pts = e.next++;
  if (Av().avcodec_send_frame(c, e.frame.get()) < 0 || !Drain(c, e.pkt.get(), e.out.get(), e.log))
    return detail::MplEncFail("Cannot encode the picture");
  return 1;
}

int32_t CloseMPEGEnc(MplEncoder*& encoder) {
  std::unique_ptr<MplEncoder> e(encoder);
  encoder = nullptr;
  if (!e) return 0;
  Av().avcodec_send_frame(e->ctx.get(), nullptr);
  const bool drained = Drain(e->ctx.get(), e->pkt.get(), e->out.get(), e->log);
  const bool closed = std::fclose(e->out.release()) == 0;
  if (!drained || !closed) return detail::MplEncFail("Cannot finish the video stream");
  return 1;
}

// Audio encoder: whole codec frames are encoded; the rest waits for the next call.
struct MplAudioEncoder {
  Codec ctx;
  Packet pkt;
  Frame frame;
  File out;
  SwrContext* swr = nullptr;
  bool log = false;
  int32_t channels = 2;
  std::vector<int16_t> waiting;
  int64_t pts = 0;

  ~MplAudioEncoder() {
    if (swr) Av().swr_free(&swr);
  }

  bool Encode(const int16_t* samples, int32_t count) {
    AVCodecContext* c = ctx.get();
    frame->nb_samples = count;
    frame->format = c->sample_fmt;
    Av().av_channel_layout_default(&frame->ch_layout, channels);
    frame->sample_rate = c->sample_rate;
    if (Av().av_frame_get_buffer(frame.get(), 0) < 0) return false;
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
    if (Av().swr_convert(swr, frame->data, count, in, count) != count) return false;
    frame->pts = pts;
    pts += count;
    const bool ok = Av().avcodec_send_frame(c, frame.get()) >= 0 && Drain(c, pkt.get(), out.get(), log);
    Av().av_frame_unref(frame.get());
    return ok;
  }
};

int32_t MPACreate(MplAudioEncoder*& state, std::string_view file, const MplAudioEncParams& params) {
  const MplModule m = MplModule::AudioEncoder;
  state = nullptr;
  if (!AvLoad()) return detail::MplFail(m, AvLoadFailure());
  const AVCodec* codec = Av().avcodec_find_encoder(params.aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_MP2);
  if (!codec) return detail::MplFail(m, "The audio encoder is not installed");
  auto a = std::make_unique<MplAudioEncoder>();
  a->channels = params.mode == 3 ? 1 : 2;
  a->log = params.aac != 0;
  a->ctx.reset(Av().avcodec_alloc_context3(codec));
  AVCodecContext* c = a->ctx.get();
  c->sample_rate = params.samplesPerSec;
  c->sample_fmt = params.aac ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
  Av().av_channel_layout_default(&c->ch_layout, a->channels);
  c->bit_rate = int64_t(params.kbps) * 1000;
  c->time_base = AVRational{1, params.samplesPerSec};
  if (a->log) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (Av().avcodec_open2(c, codec, nullptr) < 0) return detail::MplFail(m, "Cannot start the audio encoder");
  if (Av().swr_alloc_set_opts2(&a->swr, &c->ch_layout, c->sample_fmt, c->sample_rate, &c->ch_layout, AV_SAMPLE_FMT_S16,
                               c->sample_rate, 0, nullptr) < 0 ||
      Av().swr_init(a->swr) < 0)
    return detail::MplFail(m, "Cannot prepare the sound for the encoder");
  a->out.reset(std::fopen(std::string(file).c_str(), "wb"));
  if (!a->out) return detail::MplFail(m, "Cannot create " + std::string(file));
  if (a->log) WriteLogHeader(a->out.get(), c);
  a->pkt.reset(Av().av_packet_alloc());
  a->frame.reset(Av().av_frame_alloc());
  state = a.release();
  return 1;
}

int32_t MPASave(MplAudioEncoder* state, const int16_t* samples, int32_t count) {
  MplAudioEncoder& a = *state;
  a.waiting.insert(a.waiting.end(), samples, samples + size_t(std::max(count, 0)) * size_t(a.channels));
  const int32_t size = a.ctx->frame_size;
  const size_t whole = a.waiting.size() / size_t(a.channels) / size_t(size);
  for (size_t i = 0; i < whole; ++i)
    if (!a.Encode(a.waiting.data() + i * size_t(size) * size_t(a.channels), size))
      return detail::MplFail(MplModule::AudioEncoder, "Cannot encode the sound");
  a.waiting.erase(a.waiting.begin(), a.waiting.begin() + ptrdiff_t(whole * size_t(size) * size_t(a.channels)));
  return 1;
}

int32_t MPAClose(MplAudioEncoder*& state) {
  std::unique_ptr<MplAudioEncoder> a(state);
  state = nullptr;
  if (!a) return 0;
  // The last frame is filled up with silence: the encoder takes whole frames only.
  bool ok = true;
  if (!a->waiting.empty()) {
    a->waiting.resize(size_t(a->ctx->frame_size) * size_t(a->channels), 0);
    ok = a->Encode(a->waiting.data(), a->ctx->frame_size);
  }
  Av().avcodec_send_frame(a->ctx.get(), nullptr);
  ok = Drain(a->ctx.get(), a->pkt.get(), a->out.get(), a->log) && ok;
  ok = std::fclose(a->out.release()) == 0 && ok;
  return ok ? 1 : detail::MplFail(MplModule::AudioEncoder, "Cannot finish the sound stream");
}

namespace {

using Input = AvInputPtr;

// A muxer writing through a tracked output, or into a file of its own.
struct Muxer {
  AVFormatContext* oc = nullptr;
  AVIOContext* io = nullptr;
  ~Muxer() {
    if (io) {
      Av().av_free(io->buffer);
      Av().avio_context_free(&io);
    } else if (oc && oc->pb)
      Av().avio_closep(&oc->pb);
    if (oc) Av().avformat_free_context(oc);
  }
};

// One elementary stream as the multiplexer reads it, with the time of its next packet.
struct EsInput {
  Input in;
  AVRational step{0, 1};  // duration of one packet
  int64_t count = 0;
  AVStream* out = nullptr;
  bool done = true;
};

bool OpenEs(EsInput& es, std::string_view file, const char* format, bool video) {
  AVFormatContext* raw = nullptr;
  if (Av().avformat_open_input(&raw, std::string(file).c_str(), Av().av_find_input_format(format), nullptr) < 0)
    return false;
  es.in.reset(raw);
  if (Av().avformat_find_stream_info(raw, nullptr) < 0 || raw->nb_streams < 1) return false;
  const AVStream* st = raw->streams[0];
  if (video) {
    const AVRational r = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (r.num <= 0 || r.den <= 0) return false;
    es.step = AVRational{r.den, r.num};
  } else {
    if (st->codecpar->sample_rate <= 0) return false;
    es.step = AVRational{st->codecpar->frame_size > 0 ? st->codecpar->frame_size : 1152, st->codecpar->sample_rate};
  }
  es.done = false;
  return true;
}

double NextTime(const EsInput& es) { return double(es.count) * es.step.num / es.step.den; }

// Copies the next packet of an input, timed by its place in the stream.
bool CopyPacket(AVFormatContext* oc, EsInput& es, AVPacket* pkt) {
  if (Av().av_read_frame(es.in.get(), pkt) < 0) {
    es.done = true;
    return true;
  }
  pkt->stream_index = es.out->index;
  pkt->pts = pkt->dts = es.count++;
  pkt->duration = 1;
  pkt->pos = -1;
  Av().av_packet_rescale_ts(pkt, es.step, es.out->time_base);
  return Av().av_interleaved_write_frame(oc, pkt) >= 0;
}

bool AddStreamLike(AVFormatContext* oc, EsInput& es) {
  es.out = Av().avformat_new_stream(oc, nullptr);
  return es.out && Av().avcodec_parameters_copy(es.out->codecpar, es.in->streams[0]->codecpar) >= 0 &&
         ((es.out->time_base = es.step), true);
}

bool Interleave(AVFormatContext* oc, EsInput& a, EsInput& b) {
  Packet pkt(Av().av_packet_alloc());
  if (Av().avformat_write_header(oc, nullptr) < 0) return false;
  while (!a.done || !b.done) {
    EsInput& next = b.done || (!a.done && NextTime(a) <= NextTime(b)) ? a : b;
    if (!CopyPacket(oc, next, pkt.get())) return false;
  }
  return Av().av_write_trailer(oc) >= 0;
}

}  // namespace

int32_t MPlexMPEG(std::string_view output, std::string_view video, std::string_view audio, int32_t mpeg2) {
  const MplModule m = MplModule::Multiplexer;
  TrackedOut out;
  if (!out.Open(output)) return detail::MplFail(m, "Cannot create " + std::string(output));
  // A single stream is the output as it stands.
  if (video.empty() || audio.empty()) {
    if (!CopyInto(out, video.empty() ? audio : video) || !out.Close())
      return detail::MplFail(m, "Cannot write " + std::string(output));
    return 1;
  }
  if (!AvLoad()) return detail::MplFail(m, AvLoadFailure());
  EsInput v, a;
  if (!OpenEs(v, video, "mpegvideo", true) || !OpenEs(a, audio, "mp3", false))
    return detail::MplFail(m, "Cannot read the streams to combine");
  Muxer mux;
  if (Av().avformat_alloc_output_context2(&mux.oc, nullptr, mpeg2 ? "vob" : "mpeg", nullptr) < 0)
    return detail::MplFail(m, "The system stream writer is not installed");
  constexpr int kBuffer = 1 << 16;
  auto* buffer = static_cast<uint8_t*>(Av().av_malloc(kBuffer));
  mux.io = Av().avio_alloc_context(buffer, kBuffer, 1, &out, nullptr, TrackedOut::Write, nullptr);
  mux.oc->pb = mux.io;
  mux.oc->flags |= AVFMT_FLAG_CUSTOM_IO;
  mux.oc->max_delay = 700000;  // the decoder buffer a player is assumed to have, 0.7 s
  if (!AddStreamLike(mux.oc, v) || !AddStreamLike(mux.oc, a) || !Interleave(mux.oc, v, a))
    return detail::MplFail(m, "Cannot combine the streams into " + std::string(output));
  Av().avio_flush(mux.io);
  if (out.failed || !out.Close()) return detail::MplFail(m, "Cannot write " + std::string(output));
  return 1;
}

namespace {

// A stream file of an encoder, read back record by record.
struct LogInput {
  File file;
  LogHeader header;
  std::vector<uint8_t> extradata;
  AVStream* out = nullptr;
  LogRecord next{};
  bool done = true;

  bool Open(std::string_view name) {
    file.reset(std::fopen(std::string(name).c_str(), "rb"));
    if (!file || std::fread(&header, sizeof header, 1, file.get()) != 1 || header.magic != kLogMagic) return false;
    if (header.extradataSize < 0 || header.extradataSize > (1 << 20) || header.tbNum <= 0 || header.tbDen <= 0)
      return false;
    extradata.resize(size_t(header.extradataSize));
    if (!extradata.empty() && std::fread(extradata.data(), 1, extradata.size(), file.get()) != extradata.size())
      return false;
    done = false;
    return Advance();
  }
  bool Advance() {
    done = std::fread(&next, sizeof next, 1, file.get()) != 1 || next.size < 0;
    return true;
  }
  double Time() const { return double(next.dts) * header.tbNum / header.tbDen; }
};

bool AddLogStream(AVFormatContext* oc, LogInput& in) {
  in.out = Av().avformat_new_stream(oc, nullptr);
  if (!in.out) return false;
  AVCodecParameters* p = in.out->codecpar;
  const LogHeader& h = in.header;
  p->codec_type = AVMediaType(h.type);
  p->codec_id = AVCodecID(h.codecId);
  p->width = h.width;
  p->height = h.height;
  p->sample_rate = h.sampleRate;
  p->frame_size = h.frameSize;
  p->initial_padding = h.initialPadding;
  if (h.type == AVMEDIA_TYPE_VIDEO) p->format = AV_PIX_FMT_YUV420P;
  if (h.type == AVMEDIA_TYPE_AUDIO) {
    p->format = AV_SAMPLE_FMT_FLTP;
    Av().av_channel_layout_default(&p->ch_layout, h.channels);
  }
  if (!in.extradata.empty()) {
    p->extradata = static_cast<uint8_t*>(Av().av_mallocz(in.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(p->extradata, in.extradata.data(), in.extradata.size());
    p->extradata_size = int(in.extradata.size());
  }
  in.out->time_base = AVRational{h.tbNum, h.tbDen};
  return true;
}

bool CopyRecord(AVFormatContext* oc, LogInput& in, AVPacket* pkt) {
  if (Av().av_new_packet(pkt, in.next.size) < 0) return false;
  if (std::fread(pkt->data, 1, size_t(in.next.size), in.file.get()) != size_t(in.next.size)) return false;
  pkt->pts = in.next.pts;
  pkt->dts = in.next.dts;
  pkt->duration = in.next.duration;
  pkt->flags = in.next.flags;
  pkt->stream_index = in.out->index;
  Av().av_packet_rescale_ts(pkt, AVRational{in.header.tbNum, in.header.tbDen}, in.out->time_base);
  const bool ok = Av().av_interleaved_write_frame(oc, pkt) >= 0;
  return ok && in.Advance();
}

bool WriteMp4(const std::string& file, std::vector<LogInput*>& inputs) {
  Muxer mux;
  if (Av().avformat_alloc_output_context2(&mux.oc, nullptr, "mp4", file.c_str()) < 0) return false;
  for (LogInput* in : inputs)
    if (!AddLogStream(mux.oc, *in)) return false;
  if (Av().avio_open(&mux.oc->pb, file.c_str(), AVIO_FLAG_WRITE) < 0) return false;
  AVDictionary* options = nullptr;
  Av().av_dict_set(&options, "movflags", "+faststart", 0);
  const bool header = Av().avformat_write_header(mux.oc, &options) >= 0;
  Av().av_dict_free(&options);
  if (!header) return false;
  Packet pkt(Av().av_packet_alloc());
  for (;;) {
    LogInput* next = nullptr;
    for (LogInput* in : inputs)
      if (!in->done && (!next || in->Time() < next->Time())) next = in;
    if (!next) break;
    if (!CopyRecord(mux.oc, *next, pkt.get())) return false;
  }
  return Av().av_write_trailer(mux.oc) >= 0;
}

}  // namespace

int32_t MPlexMP4(std::string_view output, std::string_view video, std::string_view audio) {
  const MplModule m = MplModule::Multiplexer;
  if (!AvLoad()) return detail::MplFail(m, AvLoadFailure());
  LogInput v, a;
  std::vector<LogInput*> inputs;
  if (!video.empty()) {
    if (!v.Open(video)) return detail::MplFail(m, "Cannot read the video stream to combine");
    inputs.push_back(&v);
  }
  if (!audio.empty()) {
    if (!a.Open(audio)) return detail::MplFail(m, "Cannot read the sound stream to combine");
    inputs.push_back(&a);
  }
  // The index moves to the front in a second pass over the file, which the writer makes by name:
  // it writes a file of its own, copied into the output when complete.
  const std::string temp = MplTempName("mp4");
  if (temp.empty()) return detail::MplFail(m, "Cannot create a temporary file");
  const bool written = WriteMp4(temp, inputs);
  TrackedOut out;
  const bool ok = written && out.Open(output) && CopyInto(out, temp) && out.Close();
  kernel::DeleteFile(temp);
  return ok ? 1 : detail::MplFail(m, "Cannot write " + std::string(output));
}

std::string MplTempName(const char* kind) {
  std::string name = kernel::TempDir() + "/reelforge-" + kind + "-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return {};
  ::close(fd);
  return name;
}

bool MplCanWriteMp4() {
  return AvLoad() && Av().avcodec_find_encoder_by_name("libx264") && Av().avcodec_find_encoder(AV_CODEC_ID_AAC);
}

}  // namespace rf
