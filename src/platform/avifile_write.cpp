// AVI writer: chunks appended as they come, idx1 for the first RIFF part, OpenDML parts and
// indexes once a part would pass its limit, and the header list written last into room kept
// before the first movi list.
#include <algorithm>
#include <cmath>

#include "foundation/bytes.h"
#include "foundation/trackedfile.h"
#include "platform/avifile_impl.h"

namespace rf {
namespace {

// Room for this many parts' standard indexes is kept in each stream's header.
constexpr int32_t kSuperSlots = 128;
// A stream created after the first chunk finds room for a format of this size.
constexpr int64_t kLateFormat = 2048;
constexpr int32_t kDmlhSize = 248;
constexpr size_t kMaxStreams = 100;

int64_t Even(int64_t n) { return n + (n & 1); }

int64_t SuperIndexBytes() { return kAviIndexHeader + 16 * int64_t(kSuperSlots); }

// A strl list with its format and the room for its super index.
int64_t StreamListBytes(int64_t formatSize) {
  return 12 + 8 + kAviStreamHeader + 8 + Even(formatSize) + 8 + SuperIndexBytes();
}

// Everything before the first movi list but the JUNK that fills the rest of the room.
int64_t HeaderBytes(const AviFile& f) {
  int64_t n = 12 + 12 + 8 + kAviMainHeader;
  for (const auto& s : f.streams) n += StreamListBytes(int64_t(s->format.size()));
  return n + 12 + 8 + kDmlhSize;
}

bool Started(const AviFile& f) { return f.headerRoom > 0; }

// Whether the headers still fit the room kept once data was written.
bool HeadersFit(const AviFile& f) { return !Started(f) || HeaderBytes(f) + 8 <= f.headerRoom; }

int32_t Failed(AviFile& f) {
  f.failed = true;
  return AviFail(AVIERR_FILEWRITE, "a write to the file failed");
}

bool WriteAt(AviFile& f, int64_t pos, const void* data, int64_t n) {
  if (f.failed || FSeek(f.handle, pos) != 0 ||
      (n > 0 && AviUnraised([&] { return FWrite(f.handle, data, int32_t(n)); }) != 0)) {
    f.failed = true;
    return false;
  }
  return true;
}

bool Append(AviFile& f, const void* data, int64_t n) {
  if (!WriteAt(f, f.pos, data, n)) return false;
  f.pos += n;
  return true;
}

bool Append(AviFile& f, const ByteWriter& w) { return Append(f, w.bytes().data(), int64_t(w.size())); }

bool Patch32(AviFile& f, int64_t pos, int64_t value) {
  ByteWriter w;
  w.u32le(uint32_t(value));
  return WriteAt(f, pos, w.bytes().data(), 4);
}

uint32_t IdOf(int32_t number, const char* kind) {
  return AviFourcc(char('0' + number / 10), char('0' + number % 10), kind[0], kind[1]);
}

uint32_t ChunkIdFor(const AviStream& s) {
  if (s.info.fccType == streamtypeAUDIO) return IdOf(s.number, "wb");
  const bool plain = s.format.size() >= 20 && ByteReader(s.format.data() + 16, 4).u32le() == 0;
  return IdOf(s.number, plain ? "db" : "dc");
}

// Stream units a chunk holds: sound of a sample size counts its samples, all else its chunks.
int64_t UnitsOf(const AviStream& s, int64_t size) {
  return s.info.fccType == streamtypeAUDIO && s.info.dwSampleSize > 0 ? size / s.info.dwSampleSize : 1;
}

bool BeginList(AviFile& f, const char* riffType) {
  ByteWriter w;
  w.fourcc("RIFF");
  w.u32le(0);
  w.fourcc(riffType);
  f.partStart = f.pos;
  return Append(f, w);
}

bool BeginMovi(AviFile& f) {
  ByteWriter w;
  w.fourcc("LIST");
  w.u32le(0);
  w.fourcc("movi");
  f.moviList = f.pos;
  return Append(f, w);
}

// The first chunk fixes where the data starts: after room for the headers of the streams there
// are, one more stream, and a JUNK header.
bool StartData(AviFile& f) {
  f.headerRoom = HeaderBytes(f) + StreamListBytes(kLateFormat) + 8;
  f.parts = 1;
  f.pos = 0;
  if (!BeginList(f, "AVI ")) return false;
  f.pos = f.headerRoom;
  return BeginMovi(f);
}

// A standard index of the stream's chunks in the part, inside the part's movi list.
bool WriteStandardIndex(AviFile& f, AviStream& s) {
  ByteWriter w;
  w.u32le(AviFourcc('i', 'x', char('0' + s.number / 10), char('0' + s.number % 10)));
  w.u32le(0);
  w.u16le(2);
  w.u8(0);
  w.u8(kAviIndexOfChunks);
  w.u32le(0);
  w.u32le(s.chunkId);
  w.u64le(uint64_t(f.partStart));
  w.u32le(0);
  uint32_t entries = 0;
  for (const AviWrittenChunk& c : f.partChunks)
    if (c.stream == s.number) {
      w.u32le(uint32_t(c.offset - f.partStart));
      w.u32le(c.size | (c.key ? 0 : kAviDeltaFrame));
      ++entries;
    }
  if (entries == 0) return true;
  w.patch32le(4, uint32_t(w.size() - 8));
  w.patch32le(12, entries);
  s.super.push_back(AviSuperEntry{f.pos, uint32_t(w.size()), uint32_t(s.partUnits)});
  return Append(f, w);
}

bool WriteIdx1(AviFile& f) {
  ByteWriter w;
  w.fourcc("idx1");
  w.u32le(uint32_t(16 * f.partChunks.size()));
  const int64_t base = f.moviList + 8;
  for (const AviWrittenChunk& c : f.partChunks) {
    w.u32le(f.streams[c.stream]->chunkId);
    w.u32le(c.key ? AVIIF_KEYFRAME : 0);
    w.u32le(uint32_t(c.offset - 8 - base));
    w.u32le(c.size);
  }
  return Append(f, w);
}

const AviStream* VideoOf(const AviFile& f) {
  for (const auto& s : f.streams)
    if (s->info.fccType == streamtypeVIDEO) return s.get();
  return nullptr;
}

// Closes the part: its standard indexes (OpenDML files), its movi list, idx1 for the first part,
// and the part's size.
bool EndPart(AviFile& f, bool openDml) {
  if (openDml)
    for (auto& s : f.streams)
      if (!WriteStandardIndex(f, *s)) return false;
  for (auto& s : f.streams) s->partUnits = 0;
  if (!Patch32(f, f.moviList + 4, f.pos - (f.moviList + 8))) return false;
  if (f.parts == 1) {
    if (!WriteIdx1(f)) return false;
    const AviStream* video = VideoOf(f);
    f.firstPartFrames = video ? uint32_t(video->length) : 0;
  }
  f.partChunks.clear();
  return Patch32(f, f.partStart + 4, f.pos - (f.partStart + 8));
}

int32_t NextPart(AviFile& f) {
  if (f.parts >= kSuperSlots) return AviFail(AVIERR_UNSUPPORTED, "the file has too many parts");
  if (!EndPart(f, true) || !BeginList(f, "AVIX") || !BeginMovi(f)) return Failed(f);
  ++f.parts;
  return AVIERR_OK;
}

void PutStreamHeader(ByteWriter& w, const AviStream& s) {
  const AVISTREAMINFO& i = s.info;
  w.fourcc("strh");
  w.u32le(kAviStreamHeader);
  for (uint32_t v : {i.fccType, i.fccHandler, i.dwFlags}) w.u32le(v);
  w.u16le(i.wPriority);
  w.u16le(i.wLanguage);
  for (uint32_t v : {i.dwInitialFrames, i.dwScale, i.dwRate, uint32_t(0), uint32_t(s.length),
                     std::max(i.dwSuggestedBufferSize, s.largest), i.dwQuality, i.dwSampleSize})
    w.u32le(v);
  for (int32_t v : {i.rcFrame.left, i.rcFrame.top, i.rcFrame.right, i.rcFrame.bottom})
    w.u16le(uint16_t(std::clamp(v, -32768, 32767)));
}

void PutSuperIndex(ByteWriter& w, const AviStream& s) {
  w.fourcc("indx");
  w.u32le(uint32_t(SuperIndexBytes()));
  w.u16le(4);
  w.u8(0);
  w.u8(kAviIndexOfIndexes);
  w.u32le(uint32_t(s.super.size()));
  w.u32le(s.chunkId);
  w.fill(0, 12);
  for (const AviSuperEntry& e : s.super) {
    w.u64le(uint64_t(e.offset));
    w.u32le(e.size);
    w.u32le(e.duration);
  }
  w.fill(0, size_t(16 * (kSuperSlots - int32_t(s.super.size()))));
}

void PutStreamList(ByteWriter& w, const AviStream& s, bool openDml) {
  const size_t start = w.size();
  w.fourcc("LIST");
  w.u32le(0);
  w.fourcc("strl");
  PutStreamHeader(w, s);
  w.fourcc("strf");
  w.u32le(uint32_t(s.format.size()));
  w.write(s.format.data(), s.format.size());
  w.fill(0, s.format.size() & 1);
  if (openDml) PutSuperIndex(w, s);
  w.patch32le(start + 4, uint32_t(w.size() - start - 8));
}

// The seconds the longest stream plays, for the main header's data rate.
double Duration(const AviFile& f) {
  double seconds = 0;
  for (const auto& s : f.streams)
    if (s->info.dwRate > 0) seconds = std::max(seconds, double(s->length) * s->info.dwScale / s->info.dwRate);
  return seconds;
}

void PutMainHeader(ByteWriter& w, const AviFile& f, bool openDml) {
  const AviStream* video = VideoOf(f);
  uint32_t usPerFrame = 0, width = 0, height = 0;
  if (video && video->info.dwRate > 0)
    usPerFrame = uint32_t(std::lround(1e6 * video->info.dwScale / video->info.dwRate));
  if (video) {
    const AVIRECT& r = video->info.rcFrame;
    width = uint32_t(std::max(0, r.right - r.left));
    height = uint32_t(std::max(0, r.bottom - r.top));
  }
  int64_t bytes = 0;
  uint32_t largest = 0;
  for (const auto& s : f.streams) {
    bytes += s->bytes;
    largest = std::max(largest, s->largest);
  }
  const double seconds = Duration(f);
  const uint32_t flags = AVIF_HASINDEX | (f.streams.size() > 1 ? AVIF_ISINTERLEAVED : 0);
  const uint32_t frames = openDml ? f.firstPartFrames : video ? uint32_t(video->length) : 0;
  w.fourcc("avih");
  w.u32le(kAviMainHeader);
  for (uint32_t v : {usPerFrame, uint32_t(seconds > 0 ? std::min(4e9, std::ceil(bytes / seconds)) : 0), uint32_t(0),
                     flags, frames, uint32_t(0), uint32_t(f.streams.size()), largest, width, height})
    w.u32le(v);
  w.fill(0, 16);
}

// The header list and the JUNK that fills the room up to the first movi list.
bool WriteHeaders(AviFile& f) {
  const bool openDml = f.parts > 1;
  ByteWriter w;
  w.fourcc("LIST");
  w.u32le(0);
  w.fourcc("hdrl");
  PutMainHeader(w, f, openDml);
  for (const auto& s : f.streams) PutStreamList(w, *s, openDml);
  if (openDml) {
    const AviStream* video = VideoOf(f);
    w.fourcc("LIST");
    w.u32le(4 + 8 + kDmlhSize);
    w.fourcc("odml");
    w.fourcc("dmlh");
    w.u32le(kDmlhSize);
    w.u32le(video ? uint32_t(video->length) : 0);
    w.fill(0, kDmlhSize - 4);
  }
  w.patch32le(4, uint32_t(w.size() - 8));
  const int64_t junk = f.headerRoom - 12 - int64_t(w.size()) - 8;
  w.fourcc("JUNK");
  w.u32le(uint32_t(junk));
  w.fill(0, size_t(junk));
  return WriteAt(f, 12, w.bytes().data(), int64_t(w.size()));
}

}  // namespace

int32_t AviWriteCreateStream(AviFile& f, const AVISTREAMINFO& info, PAVISTREAM* stream) {
  if (f.streams.size() >= kMaxStreams) return AVIERR_UNSUPPORTED;
  auto s = std::make_unique<AviStream>();
  s->file = &f;
  s->number = int32_t(f.streams.size());
  s->info = info;
  f.streams.push_back(std::move(s));
  if (!HeadersFit(f)) {
    f.streams.pop_back();
    return AviFail(AVIERR_UNSUPPORTED, "no room is left for another stream's header");
  }
  *stream = f.streams.back().get();
  return AVIERR_OK;
}

int32_t AviWriteFormat(AviStream& s, const void* format, int32_t size) {
  std::vector<uint8_t> old(static_cast<const uint8_t*>(format), static_cast<const uint8_t*>(format) + size);
  s.format.swap(old);
  if (!HeadersFit(*s.file)) {
    s.format.swap(old);
    return AviFail(AVIERR_UNSUPPORTED, "no room is left for the stream's new format");
  }
  return AVIERR_OK;
}

int32_t AviWriteChunk(AviStream& s, const void* data, int32_t size, uint32_t flags, int32_t* samples) {
  AviFile& f = *s.file;
  if (f.failed) return AVIERR_FILEWRITE;
  if (!Started(f) && !StartData(f)) return Failed(f);
  if (s.chunkId == 0) s.chunkId = ChunkIdFor(s);
  if (!f.partChunks.empty() && f.pos + 8 + size - f.partStart > f.partLimit)
    if (const int32_t r = NextPart(f); r != AVIERR_OK) return r;
  // The header goes out from the stack: a frame costs no allocation.
  uint8_t header[8];
  for (int i = 0; i < 4; ++i) {
    header[i] = uint8_t(s.chunkId >> (8 * i));
    header[4 + i] = uint8_t(uint32_t(size) >> (8 * i));
  }
  const uint8_t pad = 0;
  const int64_t at = f.pos + 8;
  if (!Append(f, header, 8) || !Append(f, data, size) || ((size & 1) && !Append(f, &pad, 1))) return Failed(f);
  const bool key = s.info.fccType != streamtypeVIDEO || (flags & AVIIF_KEYFRAME);
  f.partChunks.push_back(AviWrittenChunk{at, uint32_t(size), uint16_t(s.number), key});
  const int64_t units = UnitsOf(s, size);
  s.length += units;
  s.partUnits += units;
  s.bytes += size;
  s.largest = std::max(s.largest, uint32_t(size));
  if (samples) *samples = int32_t(units);
  return AVIERR_OK;
}

bool AviWriteFinish(AviFile& f) {
  if (!Started(f) && !StartData(f)) return false;
  for (auto& s : f.streams)
    if (s->chunkId == 0) s->chunkId = ChunkIdFor(*s);
  return EndPart(f, f.parts > 1) && WriteHeaders(f);
}

}  // namespace rf
