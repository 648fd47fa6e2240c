// The decoder modules: one pass over a file's packets builds an index (positions, key pictures,
// display order, sample positions), kept per file; readers position through it and decode.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <numeric>
#include <vector>

#include "platform/avlib.h"
#include "platform/avptr.h"
#include "platform/mpeglib.h"

namespace rf {
namespace {

// Packets of one track in decode order.
struct Entry {
  int64_t pos = -1;
  int64_t pts = AV_NOPTS_VALUE;
  int64_t dts = AV_NOPTS_VALUE;
  uint64_t hash = 0;
  int32_t size = 0;
  int32_t key = 0;
  int32_t display = 0;      // video: place in display order
  int32_t ordinal = 0;      // earlier packets with the same position, size and contents
  int64_t firstSample = 0;  // audio: the packet's first sample
};

struct Track {
  int stream = -1;
  std::vector<Entry> packets;
  std::vector<int32_t> byDisplay;  // decode index of each displayed picture
  std::vector<int32_t> keys;       // decode indices of key pictures
  int64_t samples = 0;
};

struct FileIndex {
  std::string name;
  int64_t size = 0;
  int64_t mtime = 0;
  bool byteSeek = false;
  Track video, audio;
  MplVideoInfo vinfo;
  MplAudioInfo ainfo{};
};

using IndexPtr = std::shared_ptr<const FileIndex>;

// A bound on what a damaged header may make us believe.
constexpr int32_t kMaxSide = 16384;
constexpr size_t kMaxPackets = 20000000;

using Input = AvInputPtr;
using Codec = AvCodecPtr;
using Packet = AvPacketPtr;
using Frame = AvFramePtr;

uint64_t Fnv(const uint8_t* data, int32_t size) {
  uint64_t h = 1469598103934665603ull;
  for (int32_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

Input OpenInput(const std::string& name, std::string& why) {
  if (!AvLoad()) {
    why = AvLoadFailure();
    return {};
  }
  AVFormatContext* raw = nullptr;
  if (Av().avformat_open_input(&raw, name.c_str(), nullptr, nullptr) < 0) {
    why = "Cannot open or recognise the file " + name;
    return {};
  }
  Input in(raw);
  if (Av().avformat_find_stream_info(raw, nullptr) < 0) {
    why = "Cannot read the streams of " + name;
    return {};
  }
  return in;
}

bool Decodable(const AVCodecParameters* p) { return Av().avcodec_find_decoder(p->codec_id) != nullptr; }

int PickVideo(const AVFormatContext* c) {
  for (unsigned i = 0; i < c->nb_streams; ++i) {
    const AVStream* st = c->streams[i];
    const AVCodecParameters* p = st->codecpar;
    if (p->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
    if (p->width > 0 && p->height > 0 && p->width <= kMaxSide && p->height <= kMaxSide && Decodable(p)) return int(i);
  }
  return -1;
}

int PickAudio(const AVFormatContext* c) {
  for (unsigned i = 0; i < c->nb_streams; ++i) {
    const AVCodecParameters* p = c->streams[i]->codecpar;
    if (p->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    if (p->sample_rate > 0 && p->sample_rate <= 768000 && p->ch_layout.nb_channels > 0 && Decodable(p)) return int(i);
  }
  return -1;
}

// Byte streams are positioned by file offset; containers with an index by time.
bool ByteSeekable(const AVFormatContext* c) {
  static const char* const kByteStreams[] = {"mpeg", "mpegvideo", "mp3", "mpegts", "m4v", "h264", "hevc", "aac"};
  const std::string name = c->iformat->name;
  return std::any_of(std::begin(kByteStreams), std::end(kByteStreams), [&](const char* n) { return name == n; });
}

// The temporal reference of an MPEG picture and whether a group of pictures starts before it.
bool MpegPicture(const uint8_t* d, int32_t n, bool& gop, int32_t& reference) {
  gop = false;
  for (int32_t i = 0; i + 5 < n; ++i) {
    if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1) continue;
    if (d[i + 3] == 0xB8) gop = true;
    if (d[i + 3] == 0x00) {
      reference = (d[i + 4] << 2) | (d[i + 5] >> 6);
      return true;
    }
    i += 2;
  }
  return false;
}

bool IsPermutation(const Track& t) {
  std::vector<char> seen(t.packets.size(), 0);
  for (const Entry& e : t.packets) {
    if (e.display < 0 || size_t(e.display) >= seen.size() || seen[size_t(e.display)]) return false;
    seen[size_t(e.display)] = 1;
  }
  return true;
}

// Display order by presentation time; packets without one keep decode order.
void OrderByTime(Track& t) {
  std::vector<int32_t> order(t.packets.size());
  std::iota(order.begin(), order.end(), 0);
  const bool timed =
      std::all_of(t.packets.begin(), t.packets.end(), [](const Entry& e) { return e.pts != AV_NOPTS_VALUE; });
  if (timed)
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t a, int32_t b) { return t.packets[a].pts < t.packets[b].pts; });
  for (size_t i = 0; i < order.size(); ++i) t.packets[size_t(order[i])].display = int32_t(i);
}

// MPEG pictures carry their place in their group; the groups follow each other.
bool OrderByReference(Track& t, const std::vector<std::pair<bool, int32_t>>& refs) {
  int32_t base = 0;
  for (size_t i = 0; i < t.packets.size(); ++i) {
    if (refs[i].second < 0) return false;
    if (refs[i].first) base = int32_t(i);
    t.packets[i].display = base + refs[i].second;
  }
  return IsPermutation(t);
}

void FinishVideo(FileIndex& fi, const AVFormatContext* c, const std::vector<std::pair<bool, int32_t>>& refs) {
  Track& t = fi.video;
  const AVStream* st = c->streams[t.stream];
  const AVCodecID id = st->codecpar->codec_id;
  const bool mpeg = id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO;
  if (!mpeg || !OrderByReference(t, refs)) OrderByTime(t);
  t.byDisplay.assign(t.packets.size(), 0);
  for (size_t i = 0; i < t.packets.size(); ++i) {
    t.byDisplay[size_t(t.packets[i].display)] = int32_t(i);
    if (t.packets[i].key) t.keys.push_back(int32_t(i));
  }
  MplVideoInfo& v = fi.vinfo;
  v.width = st->codecpar->width;
  v.height = st->codecpar->height;
  v.frames = int32_t(t.packets.size());
  v.mpeg2 = id == AV_CODEC_ID_MPEG2VIDEO;
  const std::string format = c->iformat->name;
  v.mpeg = mpeg && (format == "mpeg" || format == "mpegvideo");
  v.bitRate = int32_t(std::clamp<int64_t>(c->bit_rate > 0 ? c->bit_rate : st->codecpar->bit_rate, 0, INT32_MAX));
  const AVCodecDescriptor* d = Av().avcodec_descriptor_get(id);
  v.codec = d && d->long_name ? d->long_name : "unknown";
  v.container = c->iformat->long_name ? c->iformat->long_name : c->iformat->name;
  // The rate: the nominal one of an MPEG stream; otherwise the average spacing of the display
  // times, which for a variable rate is frames less one over the time from first to last.
  const AVRational nominal = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
  double rate = nominal.num > 0 && nominal.den > 0 ? double(nominal.num) / nominal.den : 0;
  std::vector<int64_t> times;
  for (int32_t i : t.byDisplay) times.push_back(t.packets[size_t(i)].pts);
  const bool timed =
      times.size() >= 2 && std::none_of(times.begin(), times.end(), [](int64_t x) { return x == AV_NOPTS_VALUE; });
  if (timed && !mpeg && times.back() > times.front()) {
    const double span = double(times.back() - times.front()) * st->time_base.num / st->time_base.den;
    const double average = double(times.size() - 1) / span;
    const double step = double(times.back() - times.front()) / double(times.size() - 1);
    for (size_t i = 1; i < times.size(); ++i)
      if (std::fabs(double(times[i] - times[i - 1]) - step) > std::max(1.0, step * 0.1)) v.variableRate = 1;
    if (v.variableRate || std::fabs(average - rate) > rate * 0.001) rate = average;
  }
  v.frameRate = rate;
  v.rateCode = detail::MplNearestCode(rate);
  if (v.rateCode) v.frameRate = MplStdRate(v.rateCode);
}

void FinishAudio(FileIndex& fi, const AVFormatContext* c) {
  const AVCodecParameters* p = c->streams[fi.audio.stream]->codecpar;
  MplAudioInfo& a = fi.ainfo;
  a.samplesPerSec = p->sample_rate;
  a.channels = std::min(p->ch_layout.nb_channels, 8);
  a.bitsPerSample = 16;
  a.blockAlign = a.channels * 2;
  a.samplesPerFrame = p->frame_size > 0 ? p->frame_size : 1152;
  if (p->frame_size <= 0 && !fi.audio.packets.empty() && fi.audio.packets.size() > 1)
    a.samplesPerFrame = int32_t(std::max<int64_t>(1, fi.audio.packets[1].firstSample));
  a.word24 = fi.audio.stream;
  a.word28 = p->codec_id;
  const bool mpa = p->codec_id == AV_CODEC_ID_MP1 || p->codec_id == AV_CODEC_ID_MP2 || p->codec_id == AV_CODEC_ID_MP3;
  a.layer = !mpa ? 0 : p->codec_id == AV_CODEC_ID_MP1 ? 1 : p->codec_id == AV_CODEC_ID_MP2 ? 2 : 3;
  a.version = !mpa ? -1 : p->sample_rate >= 32000 ? 1 : 0;
  a.totalSamples = int32_t(std::min<int64_t>(fi.audio.samples, INT32_MAX));
  a.frames = int32_t(fi.audio.packets.size());
  a.kbps = int32_t(std::clamp<int64_t>(p->bit_rate / 1000, 0, INT32_MAX));
  const AVCodecDescriptor* d = Av().avcodec_descriptor_get(p->codec_id);
  std::snprintf(a.codec, sizeof a.codec, "%s", d && d->long_name ? d->long_name : "unknown");
}

void AddPacket(Track& t, const AVPacket* pkt, std::vector<std::pair<bool, int32_t>>* refs, const AVStream* st,
               int rate) {
  Entry e;
  e.pos = pkt->pos;
  e.pts = pkt->pts;
  e.dts = pkt->dts;
  e.size = pkt->size;
  e.hash = Fnv(pkt->data, pkt->size);
  e.key = (pkt->flags & AV_PKT_FLAG_KEY) ? 1 : 0;
  for (auto it = t.packets.rbegin(); it != t.packets.rend() && it->pos == e.pos; ++it)
    if (it->size == e.size && it->hash == e.hash) ++e.ordinal;
  if (refs) {
    bool gop = false;
    int32_t reference = -1;
    if (!MpegPicture(pkt->data, pkt->size, gop, reference)) reference = -1;
    refs->emplace_back(gop || t.packets.empty(), reference);
  } else {
    e.firstSample = t.samples;
    const int64_t samples = pkt->duration > 0 ? Av().av_rescale_q(pkt->duration, st->time_base, AVRational{1, rate})
                            : st->codecpar->frame_size > 0 ? st->codecpar->frame_size
                                                           : 1152;
    t.samples += std::max<int64_t>(samples, 1);
  }
  t.packets.push_back(e);
}

std::shared_ptr<FileIndex> Scan(const std::string& name, std::string& why) {
  Input in = OpenInput(name, why);
  if (!in) return nullptr;
  auto fi = std::make_shared<FileIndex>();
  fi->name = name;
  fi->video.stream = PickVideo(in.get());
  fi->audio.stream = PickAudio(in.get());
  fi->byteSeek = ByteSeekable(in.get());
  for (unsigned i = 0; i < in->nb_streams; ++i)
    if (int(i) != fi->video.stream && int(i) != fi->audio.stream) in->streams[i]->discard = AVDISCARD_ALL;
  Packet pkt(Av().av_packet_alloc());
  std::vector<std::pair<bool, int32_t>> refs;
  const int rate = fi->audio.stream >= 0 ? in->streams[fi->audio.stream]->codecpar->sample_rate : 1;
  while (Av().av_read_frame(in.get(), pkt.get()) >= 0) {
    const int s = pkt->stream_index;
    if (pkt->size > 0 && fi->video.packets.size() + fi->audio.packets.size() < kMaxPackets) {
      if (s == fi->video.stream) AddPacket(fi->video, pkt.get(), &refs, in->streams[s], rate);
      if (s == fi->audio.stream) AddPacket(fi->audio, pkt.get(), nullptr, in->streams[s], rate);
    }
    Av().av_packet_unref(pkt.get());
  }
  if (fi->video.packets.empty()) fi->video.stream = -1;
  if (fi->audio.packets.empty()) fi->audio.stream = -1;
  if (fi->video.stream >= 0) FinishVideo(*fi, in.get(), refs);
  if (fi->audio.stream >= 0) FinishAudio(*fi, in.get());
  fi->vinfo.hasAudio = fi->audio.stream >= 0;
  return fi;
}

// The indexes of the files examined last, each valid while the file's size and date stay.
IndexPtr Indexed(std::string_view name, std::string& why) {
  static std::mutex lock;
  static std::list<IndexPtr> cache;
  const std::string key(name);
  struct stat st {};
  if (::stat(key.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    why = "Cannot open the file " + key;
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> hold(lock);
    for (auto it = cache.begin(); it != cache.end(); ++it)
      if ((*it)->name == key && (*it)->size == st.st_size &&
          (*it)->mtime == st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec)
        return *it;
  }
  std::shared_ptr<FileIndex> fi = Scan(key, why);
  if (!fi) return nullptr;
  fi->size = st.st_size;
  fi->mtime = st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec;
  std::lock_guard<std::mutex> hold(lock);
  cache.push_front(fi);
  if (cache.size() > 4) cache.pop_back();
  return fi;
}

Codec OpenDecoder(const AVCodecParameters* p) {
  const AVCodec* codec = Av().avcodec_find_decoder(p->codec_id);
  Codec ctx(Av().avcodec_alloc_context3(codec));
  if (!ctx || Av().avcodec_parameters_to_context(ctx.get(), p) < 0) return nullptr;
  ctx->thread_count = 1;
  // Every sample is delivered; what an encoder added in front is the sound's, not ours to cut.
  ctx->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
  if (Av().avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
  return ctx;
}

// Reads one track's packets in decode order and positions on any of them.
class TrackReader {
 public:
  bool Open(IndexPtr index, bool video, std::string& why) {
    index_ = std::move(index);
    track_ = video ? &index_->video : &index_->audio;
    in_ = OpenInput(index_->name, why);
    if (!in_) return false;
    if (unsigned(track_->stream) >= in_->nb_streams) {
      why = "The streams of " + index_->name + " changed";
      return false;
    }
    for (unsigned i = 0; i < in_->nb_streams; ++i)
      if (int(i) != track_->stream) in_->streams[i]->discard = AVDISCARD_ALL;
    pending_.reset(Av().av_packet_alloc());
    next_ = 0;
    return true;
  }
  const AVStream* Stream() const { return in_->streams[track_->stream]; }
  const Track& Entries() const { return *track_; }
  int32_t NextIndex() const { return next_; }

  // The next packet and its decode index; false at the end or when the file no longer matches.
  bool Next(AVPacket* pkt, int32_t& index) {
    if (havePending_) {
      havePending_ = false;
      Av().av_packet_move_ref(pkt, pending_.get());
    } else if (!ReadOwn(pkt)) {
      return false;
    }
    if (size_t(next_) >= track_->packets.size() || !Matches(track_->packets[size_t(next_)], pkt)) {
      Av().av_packet_unref(pkt);
      next_ = int32_t(track_->packets.size());
      return false;
    }
    index = next_++;
    return true;
  }

  // Makes `target` the next packet read: a seek near it, else reading from the start.
  bool PositionAt(int32_t target) {
    if (target == next_) return true;
    if (Seek(target)) return true;
    std::string why;
    Input fresh = OpenInput(index_->name, why);
    if (!fresh) return false;
    in_ = std::move(fresh);
    for (unsigned i = 0; i < in_->nb_streams; ++i)
      if (int(i) != track_->stream) in_->streams[i]->discard = AVDISCARD_ALL;
    havePending_ = false;
    next_ = 0;
    Packet pkt(Av().av_packet_alloc());
    int32_t index = 0;
    while (next_ < target) {
      if (!Next(pkt.get(), index)) return false;
      Av().av_packet_unref(pkt.get());
    }
    return true;
  }

 private:
  static bool Matches(const Entry& e, const AVPacket* pkt) {
    return e.size == pkt->size && e.pos == pkt->pos && e.hash == Fnv(pkt->data, pkt->size);
  }

  bool ReadOwn(AVPacket* pkt) {
    while (Av().av_read_frame(in_.get(), pkt) >= 0) {
      if (pkt->stream_index == track_->stream && pkt->size > 0) return true;
      Av().av_packet_unref(pkt);
    }
    return false;
  }

  bool Seek(int32_t target) {
    const Entry& e = track_->packets[size_t(target)];
    if (e.pos < 0) return false;
    const int64_t ts = e.dts != AV_NOPTS_VALUE ? e.dts : e.pts;
    const int r = index_->byteSeek       ? Av().av_seek_frame(in_.get(), -1, e.pos, AVSEEK_FLAG_BYTE)
                  : ts != AV_NOPTS_VALUE ? Av().av_seek_frame(in_.get(), track_->stream, ts, AVSEEK_FLAG_BACKWARD)
                                         : -1;
    havePending_ = false;
    if (r < 0) return false;
    int32_t seen = 0;
    for (int32_t reads = 0; reads < 100000 && ReadOwn(pending_.get()); ++reads) {
      if (Matches(e, pending_.get()) && seen++ == e.ordinal) {
        havePending_ = true;
        next_ = target;
        return true;
      }
      const bool passed = pending_->pos > e.pos;
      Av().av_packet_unref(pending_.get());
      if (passed) break;
    }
    return false;
  }

  IndexPtr index_;
  const Track* track_ = nullptr;
  Input in_;
  Packet pending_;
  bool havePending_ = false;
  int32_t next_ = 0;
};

}  // namespace

// Video decoder: pictures in display order, each identified by the decode index of its packet.
struct MplDecoder {
  IndexPtr index;
  TrackReader reader;
  Codec ctx;
  Packet pkt;
  Frame held;  // a picture decoded ahead of the one asked for
  bool holding = false;
  bool ended = false;  // the decoder has been told the end
  int32_t nextDisplay = 0;
  SwsContext* sws = nullptr;

  ~MplDecoder() {
    if (sws) Av().sws_freeContext(sws);
  }

  int32_t DisplayOf(const AVFrame* f) const {
    const int64_t i = f->pts != AV_NOPTS_VALUE ? f->pts : f->pkt_dts;
    const auto& packets = index->video.packets;
    return i >= 0 && size_t(i) < packets.size() ? packets[size_t(i)].display : -1;
  }

  // Decodes until the picture displayed at `target` is in `held`; false when it never comes.
  bool Reach(int32_t target) {
    for (;;) {
      if (holding) {
        const int32_t d = DisplayOf(held.get());
        if (d == target) return true;
        if (d > target) return false;
        Av().av_frame_unref(held.get());
        holding = false;
      }
      const int r = Av().avcodec_receive_frame(ctx.get(), held.get());
      if (r == 0) {
        holding = true;
        continue;
      }
      if (r != AVERROR(EAGAIN) || ended) return false;
      int32_t at = 0;
      if (reader.Next(pkt.get(), at)) {
        pkt->pts = pkt->dts = at;
        pkt->flags &= ~AV_PKT_FLAG_DISCARD;              // every indexed picture is shown
        Av().avcodec_send_packet(ctx.get(), pkt.get());  // damaged pictures are passed over
        Av().av_packet_unref(pkt.get());
      } else {
        Av().avcodec_send_packet(ctx.get(), nullptr);
        ended = true;
      }
    }
  }

  bool Convert(uint8_t* pixels) {
    const AVFrame* f = held.get();
    const int w = index->vinfo.width, h = index->vinfo.height;
    sws = Av().sws_getCachedContext(sws, f->width, f->height, AVPixelFormat(f->format), w, h, AV_PIX_FMT_BGR24,
                                    SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!sws) return false;
    uint8_t* dst[4] = {pixels, nullptr, nullptr, nullptr};
    int stride[4] = {w * 3, 0, 0, 0};
    return Av().sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride) == h;
  }
};

int32_t GetMovieInfo(std::string_view name, MplVideoInfo& info) {
  std::string why;
  const IndexPtr fi = Indexed(name, why);
  if (!fi) return detail::MplFail(MplModule::VideoDecoder, why);
  info = fi->vinfo;
  return fi->video.stream >= 0 ? 1 : 0;
}

int32_t GetMPEGInfo(std::string_view name, int32_t& width, int32_t& height, int32_t& frames, int32_t& rateCode,
                    int32_t& bitRate, int32_t& mpeg2, int32_t& hasAudio) {
  MplVideoInfo v;
  if (!GetMovieInfo(name, v) || !v.mpeg) return 0;
  width = v.width;
  height = v.height;
  frames = v.frames;
  rateCode = v.rateCode;
  bitRate = v.bitRate;
  mpeg2 = v.mpeg2;
  hasAudio = v.hasAudio;
  return 1;
}

int32_t OpenMPEG(MplDecoder*& decoder, std::string_view name, int32_t) {
  decoder = nullptr;
  std::string why;
  IndexPtr fi = Indexed(name, why);
  if (!fi) return detail::MplFail(MplModule::VideoDecoder, why);
  if (fi->video.stream < 0) return detail::MplFail(MplModule::VideoDecoder, "No pictures in " + std::string(name));
  auto d = std::make_unique<MplDecoder>();
  d->index = fi;
  if (!d->reader.Open(fi, true, why)) return detail::MplFail(MplModule::VideoDecoder, why);
  d->ctx = OpenDecoder(d->reader.Stream()->codecpar);
  if (!d->ctx) return detail::MplFail(MplModule::VideoDecoder, "Cannot start the video decoder");
  d->pkt.reset(Av().av_packet_alloc());
  d->held.reset(Av().av_frame_alloc());
  decoder = d.release();
  return 1;
}

int32_t SeekMPEG(MplDecoder*& decoder, int32_t frame) {
  MplDecoder& d = *decoder;
  const Track& t = d.index->video;
  const int32_t target = frame - 1;
  if (target < 0 || size_t(target) >= t.packets.size()) return 0;
  // The key picture to start from: the last one decoded before the target that is not shown
  // after it, so that every picture from it on decodes as it does from the start.
  const int32_t decodeAt = t.byDisplay[size_t(target)];
  auto it = std::upper_bound(t.keys.begin(), t.keys.end(), decodeAt);
  int32_t start = 0;
  while (it != t.keys.begin()) {
    --it;
    if (t.packets[size_t(*it)].display <= target) {
      start = *it;
      break;
    }
  }
  const bool ahead = target >= d.nextDisplay && !d.ended && start <= d.reader.NextIndex();
  d.nextDisplay = target;
  if (ahead) return 1;
  Av().avcodec_flush_buffers(d.ctx.get());
  Av().av_frame_unref(d.held.get());
  d.holding = d.ended = false;
  // A picture that cannot be reached is the caller's failed frame, not an error.
  return d.reader.PositionAt(start) ? 1 : 0;
}

int32_t GetMPEGFrame(MplDecoder*& decoder, uint8_t* pixels) {
  MplDecoder& d = *decoder;
  const int32_t target = d.nextDisplay++;
  if (!d.Reach(target)) return 0;
  const bool ok = d.Convert(pixels);
  Av().av_frame_unref(d.held.get());
  d.holding = false;
  return ok ? 1 : 0;
}

void CloseMPEG(MplDecoder*& decoder) {
  delete decoder;
  decoder = nullptr;
}

// Audio decoder: 16-bit PCM, positioned by sample through the packets' first samples.
struct MplAudioDecoder {
  IndexPtr index;
  TrackReader reader;
  Codec ctx;
  Packet pkt;
  Frame frame;
  SwrContext* swr = nullptr;
  std::vector<int16_t> decoded;  // interleaved samples from `decodedAt` on
  int64_t decodedAt = 0;
  int64_t position = 0;  // the next sample delivered
  bool ended = false;

  ~MplAudioDecoder() {
    if (swr) Av().swr_free(&swr);
  }

  int32_t Channels() const { return index->ainfo.channels; }

  // Decodes the next piece of sound into `decoded`; false at the end.
  bool DecodeMore() {
    for (;;) {
      const int r = Av().avcodec_receive_frame(ctx.get(), frame.get());
      if (r == 0) {
        const bool ok = Take(frame.get());
        Av().av_frame_unref(frame.get());
        if (ok) return true;
        continue;
      }
      if (r != AVERROR(EAGAIN) || ended) return false;
      int32_t at = 0;
      if (reader.Next(pkt.get(), at)) {
        pkt->pts = pkt->dts = reader.Entries().packets[size_t(at)].firstSample;
        Av().avcodec_send_packet(ctx.get(), pkt.get());
        Av().av_packet_unref(pkt.get());
      } else {
        Av().avcodec_send_packet(ctx.get(), nullptr);
        ended = true;
      }
    }
  }

  bool Take(const AVFrame* f) {
    if (f->nb_samples <= 0) return false;
    if (!swr) {
      AVChannelLayout out{};
      Av().av_channel_layout_default(&out, Channels());
      if (Av().swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, f->sample_rate,
                                   const_cast<AVChannelLayout*>(&f->ch_layout), AVSampleFormat(f->format),
                                   f->sample_rate, 0, nullptr) < 0 ||
          Av().swr_init(swr) < 0)
        return false;
    }
    std::vector<int16_t> pcm(size_t(f->nb_samples) * size_t(Channels()));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(pcm.data())};
    const int got =
        Av().swr_convert(swr, out, f->nb_samples, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (got <= 0) return false;
    pcm.resize(size_t(got) * size_t(Channels()));
    const int64_t at = f->pts != AV_NOPTS_VALUE ? f->pts : decodedAt + int64_t(decoded.size()) / Channels();
    decoded = std::move(pcm);
    decodedAt = at;
    return true;
  }
};

int32_t GetMPAInfo(std::string_view name, MplAudioInfo& info) {
  std::string why;
  const IndexPtr fi = Indexed(name, why);
  if (!fi) return detail::MplFail(MplModule::AudioDecoder, why);
  info = fi->ainfo;
  return fi->audio.stream >= 0 ? 1 : 0;
}

int32_t OpenMPA(MplAudioDecoder*& state, std::string_view name) {
  state = nullptr;
  std::string why;
  IndexPtr fi = Indexed(name, why);
  if (!fi) return detail::MplFail(MplModule::AudioDecoder, why);
  if (fi->audio.stream < 0) return detail::MplFail(MplModule::AudioDecoder, "No sound in " + std::string(name));
  auto a = std::make_unique<MplAudioDecoder>();
  a->index = fi;
  if (!a->reader.Open(fi, false, why)) return detail::MplFail(MplModule::AudioDecoder, why);
  a->ctx = OpenDecoder(a->reader.Stream()->codecpar);
  if (!a->ctx) return detail::MplFail(MplModule::AudioDecoder, "Cannot start the audio decoder");
  a->pkt.reset(Av().av_packet_alloc());
  a->frame.reset(Av().av_frame_alloc());
  state = a.release();
  return 1;
}

int32_t GetMPAData(MplAudioDecoder* state, uint8_t* buffer, int32_t count, int32_t& got) {
  MplAudioDecoder& a = *state;
  const int32_t ch = a.Channels();
  got = 0;
  auto* out = reinterpret_cast<int16_t*>(buffer);
  while (got < count) {
    const int64_t held = int64_t(a.decoded.size()) / ch;
    if (a.position < a.decodedAt) {
      // A gap in the sound is silence, so that positions stay those of the index.
      const int64_t n = std::min<int64_t>(a.decodedAt - a.position, count - got);
      std::memset(out + size_t(got) * ch, 0, size_t(n) * ch * 2);
      got += int32_t(n);
      a.position += n;
      continue;
    }
    if (a.position < a.decodedAt + held) {
      const int64_t from = a.position - a.decodedAt;
      const int64_t n = std::min<int64_t>(held - from, count - got);
      std::memcpy(out + size_t(got) * ch, a.decoded.data() + size_t(from) * ch, size_t(n) * ch * 2);
      got += int32_t(n);
      a.position += n;
      continue;
    }
    if (!a.DecodeMore()) break;
  }
  return 1;
}

int32_t SeekMPA(MplAudioDecoder* state, int32_t audioFrame) {
  MplAudioDecoder& a = *state;
  const auto& packets = a.index->audio.packets;
  const int64_t target = int64_t(audioFrame) * a.index->ainfo.samplesPerFrame;
  auto it = std::upper_bound(packets.begin(), packets.end(), target,
                             [](int64_t s, const Entry& e) { return s < e.firstSample; });
  // Decoders carry state from packet to packet (overlapping transforms, the layer III
  // reservoir): a few packets before the one wanted are decoded and dropped.
  const int32_t packet = int32_t(std::max<ptrdiff_t>(0, it - packets.begin() - 1));
  const int32_t start = std::max(0, packet - 3);
  a.position = target;
  if (target >= a.decodedAt && !a.ended && a.reader.NextIndex() <= packet + 1 && a.reader.NextIndex() >= start)
    return 1;
  Av().avcodec_flush_buffers(a.ctx.get());
  a.decoded.clear();
  a.decodedAt = packets.empty() ? 0 : packets[size_t(start)].firstSample;
  a.ended = false;
  if (!a.reader.PositionAt(start)) return detail::MplFail(MplModule::AudioDecoder, "Cannot position the sound");
  return 1;
}

void CloseMPA(MplAudioDecoder*& state) {
  delete state;
  state = nullptr;
}

}  // namespace rf
