// AVI reader: the header lists, the stream formats, and every stream's chunks found through the
// OpenDML indexes, idx1, or a scan of the movi lists; every size and offset is checked first.
#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/bytes.h"
#include "platform/avifile_impl.h"

namespace rf {
namespace {

constexpr uint32_t kHdrl = AviFourcc('h', 'd', 'r', 'l');
constexpr uint32_t kAvih = AviFourcc('a', 'v', 'i', 'h');
constexpr uint32_t kStrl = AviFourcc('s', 't', 'r', 'l');
constexpr uint32_t kStrh = AviFourcc('s', 't', 'r', 'h');
constexpr uint32_t kStrf = AviFourcc('s', 't', 'r', 'f');
constexpr uint32_t kStrn = AviFourcc('s', 't', 'r', 'n');
constexpr uint32_t kIndx = AviFourcc('i', 'n', 'd', 'x');
constexpr uint32_t kOdml = AviFourcc('o', 'd', 'm', 'l');
constexpr uint32_t kDmlh = AviFourcc('d', 'm', 'l', 'h');
constexpr uint32_t kIdx1 = AviFourcc('i', 'd', 'x', '1');
constexpr uint32_t kRec = AviFourcc('r', 'e', 'c', ' ');

// A format beyond this is damage, not a codec's setup data.
constexpr int64_t kMaxFormat = 1 << 20;
// Pictures beyond these sizes are damage: no decoder is given them.
constexpr int64_t kMaxSide = 32768;
constexpr int64_t kMaxPixels = int64_t(1) << 28;
// Index entries are read in batches of this many bytes.
constexpr int64_t kIndexBatch = 64 * 1024;
// The two digits of chunk ids number at most this many streams.
constexpr size_t kMaxStreams = 100;

struct Span {
  int64_t begin = -1, end = -1;
  int64_t size() const { return end - begin; }
  bool present() const { return begin >= 0; }
};

// A chunk's header: id, list type, its data as present in the file, and whether the file or its
// parent ends before the size says.
struct Chunk {
  uint32_t id = 0, type = 0;
  Span data;
  bool truncated = false;
};

// Where things are, collected while the lists are walked.
struct Layout {
  bool haveHeader = false;
  std::vector<Span> movis;  // the data of every movi list, in file order
  int64_t moviType = 0;     // the first movi list's type: idx1 offsets count from it
  Span idx1;
  std::vector<Span> indx;  // per stream
  uint32_t totalFrames = 0;
  bool claimsTooMuch = false;
};

// Reads the chunk header at pos within end and moves pos after the chunk and its pad byte.
bool NextChunk(const AviFile& f, int64_t& pos, int64_t end, Chunk& c) {
  uint8_t h[12];
  if (pos + 8 > end || !AviReadAt(f, pos, h, 8)) return false;
  ByteReader r(h, sizeof h);
  c.id = r.u32le();
  int64_t size = r.u32le();
  c.data.begin = pos + 8;
  c.type = 0;
  if (c.id == kAviRiff || c.id == kAviList) {
    if (size < 4 || pos + 12 > end || !AviReadAt(f, pos + 8, h + 8, 4)) return false;
    c.type = r.u32le();
    c.data.begin += 4;
    size -= 4;
  }
  c.truncated = c.data.begin + size > end;
  c.data.end = std::min(c.data.begin + size, end);
  // A list's size counts its type too, which keeps the parity: the pad follows the data.
  pos = c.data.begin + size + (size & 1);
  return true;
}

bool ReadSpan(const AviFile& f, const Span& s, std::vector<uint8_t>& out, int64_t limit) {
  if (s.size() < 0 || s.size() > limit) return false;
  out.resize(size_t(s.size()));
  return AviReadAt(f, s.begin, out.data(), s.size());
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// The stream a data chunk id belongs to ("01wb" is stream 1), or -1 for any other chunk.
// Palette changes are not frames.
int32_t StreamOfId(uint32_t id, size_t streams) {
  const uint8_t a = id & 0xFF, b = (id >> 8) & 0xFF;
  if (!IsDigit(a) || !IsDigit(b) || (id >> 16) == (AviFourcc(0, 0, 'p', 'c') >> 16)) return -1;
  const auto n = size_t((a - '0') * 10 + (b - '0'));
  return n < streams ? int32_t(n) : -1;
}

void ReadMainHeader(AviFile& f, const std::vector<uint8_t>& bytes, Layout& l) {
  ByteReader r(bytes.data(), bytes.size());
  const uint32_t usPerFrame = r.u32le();
  f.info.dwMaxBytesPerSec = r.u32le();
  r.u32le();  // padding granularity
  f.info.dwFlags = r.u32le();
  l.totalFrames = r.u32le();
  r.u32le();  // initial frames
  r.u32le();  // streams: the strl lists count
  f.info.dwSuggestedBufferSize = r.u32le();
  f.info.dwWidth = r.u32le();
  f.info.dwHeight = r.u32le();
  if (usPerFrame > 0) {
    f.info.dwScale = usPerFrame;
    f.info.dwRate = 1000000;
  }
  l.claimsTooMuch = l.claimsTooMuch || l.totalFrames > INT32_MAX;
}

void ReadStreamHeader(AviStream& s, const std::vector<uint8_t>& bytes, Layout& l) {
  ByteReader r(bytes.data(), bytes.size());
  AVISTREAMINFO& i = s.info;
  i.fccType = r.u32le();
  i.fccHandler = r.u32le();
  i.dwFlags = r.u32le();
  i.wPriority = r.u16le();
  i.wLanguage = r.u16le();
  i.dwInitialFrames = r.u32le();
  i.dwScale = r.u32le();
  i.dwRate = r.u32le();
  i.dwStart = r.u32le();
  i.dwLength = r.u32le();
  i.dwSuggestedBufferSize = r.u32le();
  i.dwQuality = r.u32le();
  i.dwSampleSize = r.u32le();
  i.rcFrame = {r.i16le(), r.i16le(), r.i16le(), r.i16le()};
  l.claimsTooMuch = l.claimsTooMuch || i.dwLength > INT32_MAX;
}

void ReadStreamName(AviStream& s, const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size() && i < 63 && bytes[i] != 0; ++i) s.info.szName[i] = char16_t(bytes[i]);
}

// Walks the chunks of a span, handing each to visit; a truncated chunk is the last.
template <class Visit>
void Walk(const AviFile& f, const Span& span, Visit&& visit) {
  int64_t pos = span.begin;
  Chunk c;
  while (NextChunk(f, pos, span.end, c)) {
    if (!visit(c) || c.truncated) return;
  }
}

int32_t ReadStreamList(AviFile& f, const Span& span, Layout& l) {
  if (f.streams.size() >= kMaxStreams) return AVIERR_OK;
  auto s = std::make_unique<AviStream>();
  s->file = &f;
  s->number = int32_t(f.streams.size());
  Span indx;
  bool ok = true;
  std::vector<uint8_t> bytes;
  Walk(f, span, [&](const Chunk& c) {
    if (c.id == kStrh || c.id == kStrn) {
      ok = ReadSpan(f, Span{c.data.begin, std::min(c.data.end, c.data.begin + 256)}, bytes, 256);
      if (ok && c.id == kStrh) ReadStreamHeader(*s, bytes, l);
      if (ok && c.id == kStrn) ReadStreamName(*s, bytes);
    } else if (c.id == kStrf) {
      ok = ReadSpan(f, c.data, s->format, kMaxFormat);
    } else if (c.id == kIndx) {
      indx = c.data;
    }
    return ok;
  });
  if (!ok) return AviFail(AVIERR_BADFORMAT, "a stream header cannot be read");
  f.streams.push_back(std::move(s));
  l.indx.push_back(indx);
  return AVIERR_OK;
}

int32_t ReadHeaderList(AviFile& f, const Span& span, Layout& l) {
  int32_t result = AVIERR_OK;
  std::vector<uint8_t> bytes;
  Walk(f, span, [&](const Chunk& c) {
    if (c.id == kAvih) {
      if (!ReadSpan(f, Span{c.data.begin, std::min(c.data.end, c.data.begin + kAviMainHeader)}, bytes, 64))
        result = AviFail(AVIERR_BADFORMAT, "the main header cannot be read");
      ReadMainHeader(f, bytes, l);
    } else if (c.id == kAviList && c.type == kStrl) {
      result = ReadStreamList(f, c.data, l);
    } else if (c.id == kAviList && c.type == kOdml) {
      Walk(f, c.data, [&](const Chunk& d) {
        uint8_t total[4];
        if (d.id == kDmlh && d.data.size() >= 4 && AviReadAt(f, d.data.begin, total, 4))
          l.claimsTooMuch = l.claimsTooMuch || ByteReader(total, 4).u32le() > INT32_MAX;
        return true;
      });
    }
    return result == AVIERR_OK;
  });
  return result;
}

// The chunks of one RIFF part: its header list (first part only), movi lists and idx1.
int32_t ReadPart(AviFile& f, const Span& span, bool first, Layout& l) {
  int32_t result = AVIERR_OK;
  Walk(f, span, [&](const Chunk& c) {
    if (first && c.id == kAviList && c.type == kHdrl && !l.haveHeader) {
      l.haveHeader = true;
      result = ReadHeaderList(f, c.data, l);
    } else if (c.id == kAviList && c.type == kAviMovi) {
      if (l.movis.empty()) l.moviType = c.data.begin - 4;
      // A writer that stopped early leaves the list's size at 0: it runs to the end of the part.
      l.movis.push_back(c.data.size() == 0 ? Span{c.data.begin, span.end} : c.data);
    } else if (first && c.id == kIdx1 && !c.truncated) {
      // An index cut short by the end of the file lacks the last chunks: a scan finds them.
      l.idx1 = c.data;
    }
    return result == AVIERR_OK;
  });
  return result;
}

int32_t ReadParts(AviFile& f, Layout& l) {
  int64_t pos = 0;
  Chunk c;
  for (bool first = true; NextChunk(f, pos, f.fileSize, c); first = false) {
    if (c.id != kAviRiff || (first && c.type != kAviForm)) {
      if (first) return AviFail(AVIERR_BADFORMAT, "not a RIFF AVI file");
      break;
    }
    // A writer that stopped early leaves the first part's size at 0: the part runs to the end.
    if (first && c.data.size() == 0) c.data.end = f.fileSize;
    if (c.type == kAviForm || c.type == kAviExtension)
      if (const int32_t r = ReadPart(f, c.data, first, l); r != AVIERR_OK) return r;
    if (c.truncated) break;
  }
  if (!l.haveHeader) return AviFail(AVIERR_BADFORMAT, "the file has no header list");
  if (l.claimsTooMuch) return AviFail(AVIERR_BADFORMAT, "a header claims more than 2^31 frames or samples");
  return AVIERR_OK;
}

bool Uncompressed(const AviStream& s) {
  if (s.info.fccType != streamtypeVIDEO) return true;
  const uint32_t compression = ByteReader(s.format.data() + 16, 4).u32le();
  return compression == 0 || compression == 3;
}

// Video formats are at least a BITMAPINFOHEADER whose size field fits them; sound formats at
// least a WAVEFORMATEX whose extra bytes are there. Absurd pictures fail here, before any decoder.
int32_t CheckFormat(AviStream& s) {
  auto& fmt = s.format;
  if (s.info.fccType == streamtypeVIDEO) {
    if (fmt.size() < size_t(kAviBitmapHeader)) fmt.resize(kAviBitmapHeader);
    ByteReader r(fmt.data(), fmt.size());
    const uint32_t size = r.u32le();
    const int64_t width = r.i32le(), height = r.i32le();
    const uint32_t fitted = std::clamp<uint32_t>(size, kAviBitmapHeader, uint32_t(fmt.size()));
    for (int i = 0; i < 4; ++i) fmt[size_t(i)] = uint8_t(fitted >> (8 * i));
    const int64_t h = height < 0 ? -height : height;
    if (width < 1 || h < 1 || width > kMaxSide || h > kMaxSide || width * h > kMaxPixels)
      return AviFail(AVIERR_BADFORMAT, "the picture size " + std::to_string(width) + "x" + std::to_string(height) +
                                           " of a video stream is out of range");
  } else if (s.info.fccType == streamtypeAUDIO) {
    if (fmt.size() < size_t(kAviWaveHeader)) fmt.resize(kAviWaveHeader);
    const uint16_t extra = ByteReader(fmt.data() + 16, 2).u16le();
    const auto fitted = uint16_t(std::min<size_t>(extra, std::min<size_t>(fmt.size() - kAviWaveHeader, 65535)));
    fmt[16] = uint8_t(fitted);
    fmt[17] = uint8_t(fitted >> 8);
    // Plain PCM is a byte stream of whole blocks whatever the header's sample size says, and no
    // sound has samples larger than a block can be: readers size their buffers by it.
    ByteReader r(fmt.data(), fmt.size());
    const uint16_t tag = r.u16le();
    r.skip(10);
    const uint16_t blockAlign = r.u16le();
    if ((tag == 1 && blockAlign > 0) || s.info.dwSampleSize > 65535) s.info.dwSampleSize = blockAlign;
  }
  return AVIERR_OK;
}

// Adds a chunk found in an index or a scan. Data past the end of the file is cut off: a video
// frame cut short is dropped, sound keeps the bytes there are.
void AddChunk(AviFile& f, AviStream& s, int64_t offset, int64_t size, bool key) {
  if (offset < 0 || offset > f.fileSize) return;
  if (offset + size > f.fileSize) {
    if (s.info.fccType == streamtypeVIDEO) return;
    size = f.fileSize - offset;
  }
  s.chunks.push_back(AviChunk{offset, uint32_t(size), key});
}

// ---- OpenDML indexes

struct IndexHeader {
  uint16_t longsPerEntry;
  uint8_t type;
  uint32_t entries;
  uint64_t base;
};

IndexHeader ReadIndexHeader(const uint8_t* p) {
  ByteReader r(p, kAviIndexHeader);
  IndexHeader h{};
  h.longsPerEntry = r.u16le();
  r.u8();
  h.type = r.u8();
  h.entries = r.u32le();
  r.u32le();
  h.base = r.u64le();
  return h;
}

// Reads an index chunk's header and entries; false when they do not fit in it.
bool ReadIndex(const AviFile& f, const Span& span, uint16_t minLongs, IndexHeader& h, std::vector<uint8_t>& entries) {
  uint8_t head[kAviIndexHeader];
  if (span.size() < kAviIndexHeader || !AviReadAt(f, span.begin, head, kAviIndexHeader)) return false;
  h = ReadIndexHeader(head);
  if (h.longsPerEntry < minLongs) return false;
  const int64_t entrySize = 4 * int64_t(h.longsPerEntry);
  if (int64_t(h.entries) > (span.size() - kAviIndexHeader) / entrySize) return false;
  return ReadSpan(f, Span{span.begin + kAviIndexHeader, span.begin + kAviIndexHeader + h.entries * entrySize}, entries,
                  span.size());
}

bool ReadStandardIndex(AviFile& f, AviStream& s, const Span& span) {
  IndexHeader h;
  std::vector<uint8_t> entries;
  if (!ReadIndex(f, span, 2, h, entries) || h.type != kAviIndexOfChunks || h.base > uint64_t(f.fileSize)) return false;
  // Every chunk has at least its 8-byte header in the file: more entries are indexes repeated.
  if (int64_t(s.chunks.size()) + h.entries > f.fileSize / 8) return false;
  ByteReader r(entries.data(), entries.size());
  for (uint32_t i = 0; i < h.entries; ++i) {
    const int64_t offset = int64_t(h.base) + r.u32le();
    const uint32_t size = r.u32le();
    r.skip(4 * size_t(h.longsPerEntry - 2));
    AddChunk(f, s, offset, size & ~kAviDeltaFrame, !(size & kAviDeltaFrame));
  }
  return true;
}

bool ReadSuperIndex(AviFile& f, AviStream& s, const Span& span) {
  IndexHeader h;
  std::vector<uint8_t> entries;
  uint8_t head[kAviIndexHeader];
  if (span.size() < kAviIndexHeader || !AviReadAt(f, span.begin, head, kAviIndexHeader)) return false;
  if (ReadIndexHeader(head).type == kAviIndexOfChunks) return ReadStandardIndex(f, s, span);
  if (!ReadIndex(f, span, 4, h, entries) || h.type != kAviIndexOfIndexes) return false;
  ByteReader r(entries.data(), entries.size());
  for (uint32_t i = 0; i < h.entries; ++i) {
    const uint64_t offset = r.u64le();
    r.skip(4 * size_t(h.longsPerEntry) - 8);
    uint8_t ix[8];
    if (offset > uint64_t(f.fileSize) - 8 || !AviReadAt(f, int64_t(offset), ix, 8)) return false;
    const int64_t begin = int64_t(offset) + 8;
    if (!ReadStandardIndex(f, s, Span{begin, std::min(f.fileSize, begin + ByteReader(ix + 4, 4).u32le())}))
      return false;
  }
  return true;
}

bool ReadOpenDmlIndexes(AviFile& f, const Layout& l) {
  bool any = false;
  for (size_t i = 0; i < f.streams.size(); ++i) {
    AviStream& s = *f.streams[i];
    if (s.info.fccType != streamtypeVIDEO && s.info.fccType != streamtypeAUDIO) continue;
    if (!l.indx[i].present() || !ReadSuperIndex(f, s, l.indx[i])) return false;
    any = true;
  }
  return any;
}

// ---- idx1

struct Idx1Entry {
  uint32_t id, flags, offset, size;
};

template <class Visit>
bool ForEachIdx1(const AviFile& f, const Span& idx1, Visit&& visit) {
  std::vector<uint8_t> batch;
  for (int64_t at = idx1.begin; at + 16 <= idx1.end;) {
    const int64_t n = std::min(kIndexBatch, (idx1.end - at) / 16 * 16);
    if (!ReadSpan(f, Span{at, at + n}, batch, kIndexBatch)) return false;
    ByteReader r(batch.data(), batch.size());
    for (int64_t i = 0; i < n / 16; ++i)
      if (!visit(Idx1Entry{r.u32le(), r.u32le(), r.u32le(), r.u32le()})) return false;
    at += n;
  }
  return true;
}

bool ChunkIdAt(const AviFile& f, int64_t pos, uint32_t id) {
  uint8_t h[4];
  return pos >= 0 && AviReadAt(f, pos, h, 4) && ByteReader(h, 4).u32le() == id;
}

// Offsets count from the movi list's type or from the start of the file; the first data entry
// tells which. -1 when neither fits: the index is damaged.
int64_t Idx1Base(const AviFile& f, const Layout& l) {
  int64_t base = -1;
  ForEachIdx1(f, l.idx1, [&](const Idx1Entry& e) {
    if (StreamOfId(e.id, f.streams.size()) < 0) return true;
    if (ChunkIdAt(f, l.moviType + e.offset, e.id))
      base = l.moviType;
    else if (ChunkIdAt(f, e.offset, e.id))
      base = 0;
    return false;
  });
  return base;
}

// Reads idx1 into the streams; false (streams untouched) when an entry points outside the file,
// the entries go backwards, or the last one does not find its chunk.
bool ReadIdx1(AviFile& f, const Layout& l) {
  const int64_t base = Idx1Base(f, l);
  if (base < 0) return false;
  std::vector<std::vector<AviChunk>> found(f.streams.size());
  int64_t last = -1;
  uint32_t lastId = 0;
  const bool ok = ForEachIdx1(f, l.idx1, [&](const Idx1Entry& e) {
    const int32_t n = StreamOfId(e.id, f.streams.size());
    if (n < 0) return true;
    const int64_t at = base + e.offset;
    if (at <= last || at + 8 + int64_t(e.size) > f.fileSize) return false;
    found[size_t(n)].push_back(AviChunk{at + 8, e.size, (e.flags & AVIIF_KEYFRAME) != 0});
    last = at;
    lastId = e.id;
    return true;
  });
  if (!ok || (last >= 0 && !ChunkIdAt(f, last, lastId))) return false;
  for (size_t i = 0; i < found.size(); ++i) f.streams[i]->chunks = std::move(found[i]);
  return true;
}

// ---- scan

void ScanSpan(AviFile& f, const Span& span, int depth) {
  Walk(f, span, [&](const Chunk& c) {
    if (c.id == kAviList && c.type == kRec && depth == 0) {
      ScanSpan(f, c.data, 1);
    } else if (const int32_t n = StreamOfId(c.id, f.streams.size()); n >= 0) {
      AviStream& s = *f.streams[size_t(n)];
      const bool key = s.chunks.empty() || Uncompressed(s);
      // A frame cut short by the end of the file is dropped, sound keeps what there is.
      if (!c.truncated || s.info.fccType != streamtypeVIDEO)
        s.chunks.push_back(AviChunk{c.data.begin, uint32_t(c.data.size()), key});
    }
    return true;
  });
}

void FindChunks(AviFile& f, const Layout& l) {
  if (ReadOpenDmlIndexes(f, l)) {
    f.indexKind = AviIndexKind::OpenDml;
    return;
  }
  for (auto& s : f.streams) s->chunks.clear();
  if (l.movis.size() == 1 && l.idx1.present() && ReadIdx1(f, l)) {
    f.indexKind = AviIndexKind::Idx1;
    return;
  }
  f.indexKind = AviIndexKind::Scan;
  for (const Span& movi : l.movis) ScanSpan(f, movi, 0);
}

// The stream's length and buffer size from the chunks there are, and its key frames.
void Settle(AviStream& s) {
  uint32_t largest = 0;
  for (const AviChunk& c : s.chunks) largest = std::max(largest, c.size);
  AVISTREAMINFO& i = s.info;
  i.dwSuggestedBufferSize = std::max(largest, s.info.fccType == streamtypeAUDIO ? i.dwSampleSize : 0);
  if (i.fccType == streamtypeAUDIO && i.dwSampleSize > 0) {
    s.byteStarts.reserve(s.chunks.size() + 1);
    int64_t total = 0;
    for (const AviChunk& c : s.chunks) {
      s.byteStarts.push_back(total);
      total += c.size;
    }
    s.byteStarts.push_back(total);
    i.dwLength = uint32_t(std::min<int64_t>(total / i.dwSampleSize, INT32_MAX));
    return;
  }
  i.dwLength = uint32_t(std::min<size_t>(s.chunks.size(), INT32_MAX));
  for (size_t n = 0; n < s.chunks.size(); ++n)
    if (n == 0 || s.chunks[n].key) s.keyFrames.push_back(int32_t(n));
}

void FillFileInfo(AviFile& f) {
  f.info.dwCaps = 1;
  f.info.dwStreams = uint32_t(f.streams.size());
  std::memcpy(f.info.szFileType, "AVI", 4);
  for (const auto& s : f.streams) {
    f.info.dwSuggestedBufferSize = std::max(f.info.dwSuggestedBufferSize, s->info.dwSuggestedBufferSize);
    if (s->info.fccType == streamtypeVIDEO && f.info.dwLength == 0) {
      f.info.dwScale = s->info.dwScale;
      f.info.dwRate = s->info.dwRate;
      f.info.dwLength = s->info.dwLength;
    }
  }
}

}  // namespace

int32_t AviReadHeaders(AviFile& f) {
  Layout l;
  if (const int32_t r = ReadParts(f, l); r != AVIERR_OK) return r;
  for (auto& s : f.streams)
    if (const int32_t r = CheckFormat(*s); r != AVIERR_OK) return r;
  FindChunks(f, l);
  for (auto& s : f.streams) Settle(*s);
  FillFileInfo(f);
  return AVIERR_OK;
}

}  // namespace rf
