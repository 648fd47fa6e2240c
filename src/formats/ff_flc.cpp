// FLIC reader and writer: palette chunks, byte runs, line deltas and the ring frame.
#include "formats/ff_flc.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/ffbasic.h"
#include "formats/ffdesc.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kPaletteChunk = FLC_CHUNK_HEADER + 2 + 2 + 768;
// The longest run or literal packet.
constexpr int32_t kMaxCount = 127;
// An FLI delta larger than this is stored uncompressed.
constexpr int32_t kFliDeltaLimit = 60000;
// The header's 16-bit frame count must also hold the ring frame while it is written.
constexpr int32_t kMaxFrames = 65534;
// A skip word of the word delta covers at most this many rows (its top two bits stay set).
constexpr int32_t kMaxRowSkip = 16384;

[[noreturn]] void Damaged() {
  ErrSet(7, 2);
  MonAbort();
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(Le16(p)) | uint32_t(Le16(p + 2)) << 16; }
void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// ---- decoding: every decoder checks each count against its row and its data, and returns false
// for a damaged chunk before anything lands outside the picture.

using Decoder = bool (*)(const uint8_t* p, const uint8_t* end, Qimg& img);

uint8_t* RowOf(Qimg& img, int32_t y) { return img.data + size_t(y) * size_t(img.width); }

bool FLCGetPal(const uint8_t* p, const uint8_t* end, Qimg& img, int shift) {
  if (end - p < 2) return false;
  int32_t packets = Le16(p);
  p += 2;
  int32_t index = 0;
  while (packets-- > 0) {
    if (end - p < 2) return false;
    index += p[0];
    const int32_t n = p[1] ? p[1] : 256;
    p += 2;
    if (n > 256 - index || end - p < 3 * n) return false;
    for (const int32_t last = index + n; index < last; ++index, p += 3) {
      img.palette[index][0] = uint8_t(p[2] << shift);
      img.palette[index][1] = uint8_t(p[1] << shift);
      img.palette[index][2] = uint8_t(p[0] << shift);
    }
  }
  return true;
}

bool DecodeColor256(const uint8_t* p, const uint8_t* end, Qimg& img) { return FLCGetPal(p, end, img, 0); }
bool DecodeColor64(const uint8_t* p, const uint8_t* end, Qimg& img) { return FLCGetPal(p, end, img, 2); }

// The packet count byte of a row wraps on rows wider than 255 packets, so a row ends where its
// width is filled, not where the count says.
bool DecodeByteRun(const uint8_t* p, const uint8_t* end, Qimg& img) {
  const int32_t w = img.width;
  for (int32_t y = 0; y < img.height; ++y) {
    if (p == end) return false;
    ++p;
    uint8_t* row = RowOf(img, y);
    for (int32_t x = 0; x < w;) {
      if (end - p < 2) return false;
      const int32_t c = int8_t(*p++);
      if (c >= 0) {
        if (c > w - x) return false;
        std::memset(row + x, *p++, size_t(c));
        x += c;
      } else {
        if (-c > w - x || end - p < -c) return false;
        std::memcpy(row + x, p, size_t(-c));
        p -= c;
        x -= c;
      }
    }
  }
  return true;
}

bool DecodeByteDelta(const uint8_t* p, const uint8_t* end, Qimg& img) {
  if (end - p < 4) return false;
  const int32_t first = Le16(p), rows = Le16(p + 2), w = img.width;
  p += 4;
  if (first > img.height || rows > img.height - first) return false;
  for (int32_t y = first; y < first + rows; ++y) {
    if (p == end) return false;
    uint8_t* row = RowOf(img, y);
    int32_t x = 0;
    for (int32_t packets = *p++; packets > 0; --packets) {
      if (end - p < 2) return false;
      x += p[0];
      const int32_t c = int8_t(p[1]);
      p += 2;
      if (c < 0) {
        if (x > w + c || p == end) return false;
        std::memset(row + x, *p++, size_t(-c));
        x -= c;
      } else {
        if (x > w - c || end - p < c) return false;
        std::memcpy(row + x, p, size_t(c));
        p += c;
        x += c;
      }
    }
  }
  return true;
}

// Fills bytes with the repeated word (lo, hi); an odd count ends with lo.
void FillWords(uint8_t* dst, uint8_t lo, uint8_t hi, int32_t bytes) {
  int32_t i = 0;
  for (; i + 1 < bytes; i += 2) {
    dst[i] = lo;
    dst[i + 1] = hi;
  }
  if (i < bytes) dst[i] = lo;
}

// Codes one row's packets of words; the last word of a row of odd width reaches one byte past
// the row, and that byte is dropped.
bool DecodeWordRow(const uint8_t*& p, const uint8_t* end, uint8_t* row, int32_t w, int32_t packets) {
  const int32_t reach = w + (w & 1);
  int32_t x = 0;
  for (; packets > 0; --packets) {
    if (end - p < 2) return false;
    x += p[0];
    const int32_t c = int8_t(p[1]);
    p += 2;
    const int32_t bytes = 2 * (c < 0 ? -c : c);
    if (x > reach - bytes) return false;
    const int32_t inRow = std::max(0, std::min(bytes, w - x));
    if (c < 0) {
      if (end - p < 2) return false;
      FillWords(row + x, p[0], p[1], inRow);
      p += 2;
    } else {
      if (end - p < bytes) return false;
      std::memcpy(row + x, p, size_t(inRow));
      p += bytes;
    }
    x += bytes;
  }
  return true;
}

// Row words: top bits 11 skip rows, 10 set the row's last byte, else a packet count. Decoding
// ends after the coded rows or where the data ends between rows.
bool DecodeWordDelta(const uint8_t* p, const uint8_t* end, Qimg& img) {
  if (end - p < 2) return false;
  int32_t rows = Le16(p);
  p += 2;
  for (int32_t y = 0; rows > 0 && end - p >= 2;) {
    const uint16_t word = Le16(p);
    p += 2;
    if ((word & 0xC000) == 0xC000) {
      y += 0x10000 - word;
      if (y > img.height) return false;
      continue;
    }
    if (y >= img.height) return false;
    if ((word & 0xC000) == 0x8000) {
      RowOf(img, y)[img.width - 1] = uint8_t(word);
      continue;
    }
    if (!DecodeWordRow(p, end, RowOf(img, y), img.width, word)) return false;
    ++y;
    --rows;
  }
  return true;
}

bool DecodeBlack(const uint8_t*, const uint8_t*, Qimg& img) {
  std::memset(img.data, 0, size_t(img.size));
  return true;
}

bool DecodeCopy(const uint8_t* p, const uint8_t* end, Qimg& img) {
  if (end - p < img.size) return false;
  std::memcpy(img.data, p, size_t(img.size));
  return true;
}

struct ChunkKind {
  uint16_t type;
  bool palette;
  Decoder decode;
};

const ChunkKind kChunks[] = {
    {FLC_COLOR_256, true, DecodeColor256},
    {FLC_COLOR_64, true, DecodeColor64},
    {FLC_DELTA_WORD, false, DecodeWordDelta},
    {FLC_DELTA_BYTE, false, DecodeByteDelta},
    {FLC_BLACK, false, DecodeBlack},
    {FLC_BYTE_RUN, false, DecodeByteRun},
    {FLC_COPY, false, DecodeCopy},
};

const ChunkKind* FindChunk(uint16_t type) {
  for (const ChunkKind& k : kChunks)
    if (k.type == type) return &k;
  return nullptr;
}

// No decoder reads more than this of an intact chunk; the bytes past it are not read.
int32_t ChunkReadLimit(const QFlcHandle& ff) {
  return int32_t(std::min<int64_t>(3 * int64_t(ff.pixels) + 1024 * int64_t(ff.height) + 4096, INT32_MAX / 2));
}

void ReadAt(const QFlcHandle& ff, int64_t at, void* buffer, int32_t count) {
  FSeek(ff.file, at);
  FRead(ff.file, buffer, count);
}

// Decodes the sub-chunks of the frame chunk at [start, end) into img.
void FLCunCmps(QFlcHandle& ff, Qimg& img, int64_t start, int64_t end, int32_t chunks, uint8_t*& data) {
  const int32_t limit = ChunkReadLimit(ff);
  for (int64_t at = start + FLC_FRAME_HEADER; chunks > 0; --chunks) {
    uint8_t head[FLC_CHUNK_HEADER];
    if (end - at < FLC_CHUNK_HEADER) Damaged();
    ReadAt(ff, at, head, FLC_CHUNK_HEADER);
    const uint32_t size = Le32(head);
    if (size < uint32_t(FLC_CHUNK_HEADER) || int64_t(size) > end - at) Damaged();
    if (const ChunkKind* kind = FindChunk(Le16(head + 4))) {
      const int32_t n = int32_t(std::min<int64_t>(size - FLC_CHUNK_HEADER, limit));
      if (n > 0 && MemSize(data) < n) _memalloc_(data, n, MEM_RESIZE, "FF_FLC.FLCLoadNext.IMGvars.cmpsdata");
      if (n > 0) FRead(ff.file, data, n);
      if (!kind->decode(data, data + n, img)) Damaged();
      if (kind->palette) ff.paletteChanged = RF_TRUE;
    }
    at += size;
  }
}

// Reads chunk headers from the current position, passing over every chunk that is not a frame;
// the frame's start, end and sub-chunk count.
void FindFrame(QFlcHandle& ff, int64_t& start, int64_t& end, int32_t& chunks) {
  for (start = FPos(ff.file);; start = end) {
    uint8_t head[FLC_FRAME_HEADER];
    if (ff.fileSize - start < FLC_FRAME_HEADER) Damaged();
    ReadAt(ff, start, head, FLC_FRAME_HEADER);
    const uint32_t size = Le32(head);
    if (size < uint32_t(FLC_FRAME_HEADER) || int64_t(size) > ff.fileSize - start) Damaged();
    end = start + size;
    if (Le16(head + 4) == FLC_FRAME_TYPE) {
      chunks = Le16(head + 6);
      return;
    }
  }
}

// ---- the header

QFlcHeader ParseHeader(const uint8_t* bytes) {
  ByteReader r(bytes, FLC_HEADER_SIZE);
  QFlcHeader h;
  h.size = r.u32le();
  h.magic = r.u16le();
  h.frames = r.u16le();
  h.width = r.u16le();
  h.height = r.u16le();
  h.depth = r.u16le();
  h.flags = r.u16le();
  h.speed = r.u32le();
  r.seek(38);
  h.aspectX = r.u16le();
  h.aspectY = r.u16le();
  r.seek(80);
  h.frame1 = r.u32le();
  h.frame2 = r.u32le();
  return h;
}

void WriteHeader(const QFlcHandle& ff) {
  const QFlcHeader& h = ff.header;
  ByteWriter w;
  w.u32le(h.size);
  w.u16le(h.magic);
  w.u16le(h.frames);
  w.u16le(h.width);
  w.u16le(h.height);
  w.u16le(h.depth);
  w.u16le(h.flags);
  w.u32le(h.speed);
  w.fill(0, 38 - w.size());
  w.u16le(h.aspectX);
  w.u16le(h.aspectY);
  w.fill(0, 80 - w.size());
  w.u32le(h.frame1);
  w.u32le(h.frame2);
  w.fill(0, FLC_HEADER_SIZE - w.size());
  FSeek(ff.file, 0);
  FWrite(ff.file, w.bytes().data(), FLC_HEADER_SIZE);
}

std::string LowerExtension(std::string_view name) {
  const size_t slash = name.rfind('/'), dot = name.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(name.substr(dot));
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string_view Stem(std::string_view name) { return name.substr(0, name.size() - LowerExtension(name).size()); }

// Frames per second from the header's speed in ticks of 1/ticksPerSecond s, to one decimal.
double RateOf(uint32_t speed, double ticksPerSecond) {
  return speed == 0 ? 0 : std::round(ticksPerSecond / speed * 10) * 0.1;
}

uint32_t SpeedOf(double rate, double ticksPerSecond) {
  if (!(rate > 0)) return 0;
  return uint32_t(std::min(std::round(ticksPerSecond / rate), double(UINT32_MAX)));
}

// ---- encoding

// The coded picture sub-chunk: its type and length; an uncompressed one is the picture itself.
struct Coded {
  uint16_t type;
  int32_t length;
};

int32_t RoundedShare(double share, int32_t pixels) { return int32_t(std::lround(share * pixels)); }

int32_t RunLength(const uint8_t* p, int32_t max) {
  int32_t n = 1;
  while (n < max && p[n] == p[0]) ++n;
  return n;
}

// One row of the full-frame byte run: its packet count byte (the low byte on rows of more than
// 255 packets), runs of 2..127 as (n, value), other bytes as literals (-n, bytes).
uint8_t* CodeRunRow(const uint8_t* row, int32_t w, uint8_t* out) {
  uint8_t* count = out++;
  int32_t packets = 0, literal = 0;
  const uint8_t* from = row;
  auto flush = [&] {
    if (literal == 0) return;
    *out++ = uint8_t(-literal);
    std::memcpy(out, from, size_t(literal));
    out += literal;
    ++packets;
    literal = 0;
  };
  for (int32_t x = 0; x < w;) {
    const int32_t run = RunLength(row + x, std::min(kMaxCount, w - x));
    if (run >= 2) {
      flush();
      *out++ = uint8_t(run);
      *out++ = row[x];
      ++packets;
      x += run;
      continue;
    }
    if (literal == 0) from = row + x;
    if (++literal == kMaxCount) flush();
    ++x;
  }
  flush();
  *count = uint8_t(packets);
  return out;
}

// Units of N bytes: the byte delta codes bytes, the word delta 16-bit words.
template <int N>
bool SameUnit(const uint8_t* a, const uint8_t* b) {
  if constexpr (N == 1) {
    return *a == *b;
  } else {
    uint16_t u, v;
    std::memcpy(&u, a, 2);
    std::memcpy(&v, b, 2);
    return u == v;
  }
}

template <int N>
int32_t UnitRun(const uint8_t* p, int32_t max) {
  int32_t n = 1;
  while (n < max && SameUnit<N>(p + N * n, p)) ++n;
  return n;
}

// The packets of one changed row against the previous picture's row: a column skip byte (in
// bytes) over unchanged units, then a run (-n, unit) or literal units (n, units). A literal
// carries a single unchanged unit along, as that is shorter than a new packet, and ends before
// two unchanged units or a run of three.
template <int N>
uint8_t* CodeDeltaRow(const uint8_t* cur, const uint8_t* prev, int32_t units, uint8_t* out, int32_t& packets) {
  constexpr int32_t kMaxSkip = 255 / N;
  auto changed = [&](int32_t i) { return !SameUnit<N>(cur + N * i, prev + N * i); };
  auto literalEnds = [&](int32_t i) {
    if (!changed(i) && (i + 1 == units || !changed(i + 1))) return true;
    return i + 2 < units && SameUnit<N>(cur + N * i, cur + N * (i + 1)) && SameUnit<N>(cur + N * i, cur + N * (i + 2));
  };
  packets = 0;
  for (int32_t x = 0;;) {
    int32_t skip = 0;
    for (; x < units && !changed(x); ++x) ++skip;
    if (x == units) return out;
    for (; skip > kMaxSkip; skip -= kMaxSkip, ++packets) {
      *out++ = uint8_t(kMaxSkip * N);
      *out++ = 0;
    }
    *out++ = uint8_t(skip * N);
    ++packets;
    const int32_t run = UnitRun<N>(cur + N * x, std::min(kMaxCount, units - x));
    if (run >= 2) {
      *out++ = uint8_t(-run);
      std::memcpy(out, cur + N * x, N);
      out += N;
      x += run;
      continue;
    }
    int32_t e = x + 1;
    while (e < units && e - x < kMaxCount && !literalEnds(e)) ++e;
    *out++ = uint8_t(e - x);
    std::memcpy(out, cur + N * x, size_t(N * (e - x)));
    out += N * (e - x);
    x = e;
  }
}

bool SameRow(const uint8_t* a, const uint8_t* b, int32_t w) { return std::memcmp(a, b, size_t(w)) == 0; }

// Readers disagree on the rows of an uncompressed frame unless the width is a multiple of 4 (some
// pad each row to 4 bytes), so at other widths a frame whose coding does not pay is a byte run.
bool CopyAllowed(const QFlcHandle& ff) { return ff.width % 4 == 0; }

Coded FLCCmpsRLE(QFlcHandle& ff, const uint8_t* pixels) {
  const int32_t limit = CopyAllowed(ff) ? RoundedShare(0.95, ff.pixels) : INT32_MAX;
  uint8_t* out = ff.cmpsdata;
  for (int32_t y = 0; y < ff.height; ++y) {
    out = CodeRunRow(pixels + size_t(y) * ff.width, ff.width, out);
    if (out - ff.cmpsdata > limit) return {FLC_COPY, ff.pixels};
  }
  return {FLC_BYTE_RUN, int32_t(out - ff.cmpsdata)};
}

Coded Uncompressed(QFlcHandle& ff, const uint8_t* pixels) {
  return CopyAllowed(ff) ? Coded{FLC_COPY, ff.pixels} : FLCCmpsRLE(ff, pixels);
}

// Rows before the first changed one are skipped at the top, rows after the last are left out,
// unchanged rows between are a packet count of 0. At 320 pixels a row has at most 214 packets.
Coded FLICmpsDiff(QFlcHandle& ff, const uint8_t* pixels) {
  const int32_t w = ff.width;
  auto row = [&](const uint8_t* base, int32_t y) { return base + size_t(y) * w; };
  int32_t first = 0, last = ff.height - 1;
  while (first < ff.height && SameRow(row(pixels, first), row(ff.previmg, first), w)) ++first;
  while (last > first && SameRow(row(pixels, last), row(ff.previmg, last), w)) --last;
  const int32_t rows = first < ff.height ? last - first + 1 : 0;
  Put16(ff.cmpsdata, rows > 0 ? uint32_t(first) : 0);
  Put16(ff.cmpsdata + 2, uint32_t(rows));
  uint8_t* out = ff.cmpsdata + 4;
  for (int32_t y = first; y < first + rows; ++y) {
    uint8_t* count = out++;
    int32_t packets = 0;
    if (!SameRow(row(pixels, y), row(ff.previmg, y), w))
      out = CodeDeltaRow<1>(row(pixels, y), row(ff.previmg, y), w, out, packets);
    *count = uint8_t(packets);
    if (out - ff.cmpsdata > kFliDeltaLimit) return Uncompressed(ff, pixels);
  }
  return {FLC_DELTA_BYTE, int32_t(out - ff.cmpsdata)};
}

// Words start at even columns; on rows of odd width the last word takes the row's last byte and a
// zero past it, the same in both pictures, so it never counts as a change.
Coded FLCCmpsDiff(QFlcHandle& ff, const uint8_t* pixels) {
  const int32_t w = ff.width, units = (w + 1) / 2;
  const int32_t limit = RoundedShare(0.95, ff.pixels);
  std::vector<uint8_t> padded(w & 1 ? 2 * size_t(w + 1) : 0);
  uint8_t* out = ff.cmpsdata + 2;
  int32_t rows = 0, skipped = 0;
  for (int32_t y = 0; y < ff.height; ++y) {
    const uint8_t* cur = pixels + size_t(y) * w;
    const uint8_t* prev = ff.previmg + size_t(y) * w;
    if (SameRow(cur, prev, w)) {
      ++skipped;
      continue;
    }
    for (; skipped > 0; skipped -= std::min(skipped, kMaxRowSkip), out += 2)
      Put16(out, uint32_t(0x10000 - std::min(skipped, kMaxRowSkip)));
    if (w & 1) {
      std::memcpy(padded.data(), cur, size_t(w));
      std::memcpy(padded.data() + w + 1, prev, size_t(w));
      cur = padded.data();
      prev = padded.data() + w + 1;
    }
    uint8_t* count = out;
    int32_t packets = 0;
    out = CodeDeltaRow<2>(cur, prev, units, out + 2, packets);
    Put16(count, uint32_t(packets));
    ++rows;
    if (out - ff.cmpsdata > limit) return Uncompressed(ff, pixels);
  }
  Put16(ff.cmpsdata, uint32_t(rows));
  return {FLC_DELTA_WORD, int32_t(out - ff.cmpsdata)};
}

// FLI palettes hold 6-bit components.
int PaletteShift(const QFlcHandle& ff) { return ff.fliMode ? 2 : 0; }

bool SamePalette(const QFlcHandle& ff, const Qimg& pic) {
  const int shift = PaletteShift(ff);
  for (int32_t i = 0; i < 256; ++i)
    for (int32_t c = 0; c < 3; ++c)
      if (ff.palette[i][c] >> shift != pic.palette[i][c] >> shift) return false;
  return true;
}

// The whole palette in one packet: 256 colours as red, green, blue.
void PutPalette(ByteWriter& w, const QFlcHandle& ff, const Qimg& pic) {
  const int shift = PaletteShift(ff);
  w.u32le(kPaletteChunk);
  w.u16le(ff.fliMode ? FLC_COLOR_64 : FLC_COLOR_256);
  w.u16le(1);
  w.u8(0);
  w.u8(0);
  for (int32_t i = 0; i < 256; ++i) {
    w.u8(pic.palette[i][2] >> shift);
    w.u8(pic.palette[i][1] >> shift);
    w.u8(pic.palette[i][0] >> shift);
  }
}

// Writes one frame chunk. A later frame carries a palette only when the picture's palette differs
// from the one in effect, so pictures reduced one by one keep their colours.
void FLC2Dsk(QFlcHandle& ff, const Qimg& pic) {
  const bool first = ff.current == 0;
  const bool palette = first || !SamePalette(ff, pic);
  const Coded coded = first        ? FLCCmpsRLE(ff, pic.data)
                      : ff.fliMode ? FLICmpsDiff(ff, pic.data)
                                   : FLCCmpsDiff(ff, pic.data);
  const int64_t size = FLC_FRAME_HEADER + (palette ? kPaletteChunk : 0) + FLC_CHUNK_HEADER + int64_t(coded.length);
  if (ff.fileSize + size > int64_t(UINT32_MAX)) ErrSet(12, 2);
  ByteWriter w;
  w.u32le(uint32_t(size));
  w.u16le(FLC_FRAME_TYPE);
  w.u16le(palette ? 2 : 1);
  w.fill(0, 8);
  if (palette) PutPalette(w, ff, pic);
  w.u32le(uint32_t(FLC_CHUNK_HEADER + coded.length));
  w.u16le(coded.type);
  FSeek(ff.file, ff.fileSize);
  FWrite(ff.file, w.bytes().data(), int32_t(w.size()));
  FWrite(ff.file, coded.type == FLC_COPY ? pic.data : ff.cmpsdata, coded.length);
  ff.fileSize += size;
  if (palette) std::memcpy(ff.palette, pic.palette, sizeof ff.palette);
}

// The first picture fixes the size, the variant, the speed and the file's name.
void StartFile(QFlcHandle& ff, const Qimg& pic) {
  ff.fliMode = pic.width == 320 && pic.height == 200 ? RF_TRUE : RF_FALSE;
  QFlcHeader& h = ff.header;
  h.magic = ff.fliMode ? FLC_MAGIC_FLI : FLC_MAGIC_FLC;
  h.speed = SpeedOf(ff.frameRate, ff.fliMode ? 70 : 1000);
  h.width = uint16_t(pic.width);
  h.height = uint16_t(pic.height);
  ff.width = pic.width;
  ff.height = pic.height;
  ff.pixels = pic.width * pic.height;
  const std::string name = std::string(ff.name) + (ff.fliMode ? ".fli" : ".flc");
  FOpen(ff.file, name, FM_CREATE | FM_WRITE);
  WriteHeader(ff);
  ff.fileSize = FLC_HEADER_SIZE;
  ff.headerWritten = RF_TRUE;
  _memalloc_(ff.previmg, ff.pixels, MEM_RESIZE, "FF_FLC.FLCSave.ff.previmg");
  // A byte run takes at most 4 bytes for 3 pixels; a delta stops one row past its limit, and no
  // row codes to more than 4 bytes a pixel.
  _memalloc_(ff.cmpsdata, ff.pixels + ff.pixels / 2 + 4 * ff.width + 64, MEM_RESIZE, "FF_FLC.FLCSave.ff.cmpsdata");
}

// Frees what a handle holds and zeroes it; a writer's file is closed and removed.
void ReleaseHandle(QFlcHandle& ff) {
  const ErrLockScope lock;
  if (ff.writing)
    FAbandon(ff.file);
  else
    FClose(ff.file);
  MemFree(ff.name);
  MemFree(ff.previmg);
  MemFree(ff.cmpsdata);
  ImgFree(ff.FirstFrame);
  std::destroy_at(&ff);
  std::construct_at(&ff);
}

}  // namespace

void FLCOpen(QFlcHandle& ff, std::string_view name) {
  Guarded("FF_FLC.FLCOpen", [&] {
    ReleaseHandle(ff);
    MonSetCleanup([&] { ReleaseHandle(ff); });
    FOpen(ff.file, name, FM_READ);
    ff.fileSize = FSize(ff.file);
    if (ff.fileSize < FLC_HEADER_SIZE) Damaged();
    uint8_t bytes[FLC_HEADER_SIZE];
    FRead(ff.file, bytes, FLC_HEADER_SIZE);
    ff.header = ParseHeader(bytes);
    if (ff.header.magic != FLC_MAGIC_FLI && ff.header.magic != FLC_MAGIC_FLC) Damaged();
    ff.width = ff.header.width;
    ff.height = ff.header.height;
    ff.frames = ff.header.frames;
    ff.pixels = int32_t(std::min<int64_t>(int64_t(ff.width) * ff.height, INT32_MAX));
    ff.frameRate = RateOf(ff.header.speed, LowerExtension(name) == ".fli" ? 70 : 1000);
    ff.bytesPerPixel = 1;
    ff.bpp = 8;
  });
}

void FLCInfo(std::string_view name, QffInfo& info) {
  QFlcHandle ff;
  Guarded("FF_FLC.FLCInfo", [&] {
    FLCOpen(ff, name);
    info.fileSize = ff.fileSize;
    QVideoBlock& v = info.video;
    v.width = ff.width;
    v.height = ff.height;
    v.frames = ff.frames;
    v.bytesPerPixel = 1;
    v.bpp = 8;
    v.frameRate = ff.frameRate;
    v.compression = "RLE + pixel difference from previous frame";
    v.hasVideo = v.videoReadable = ff.width > 0 ? RF_TRUE : RF_FALSE;
    FLCClose(ff);
  });
}

void FLCRewind(QFlcHandle& ff) {
  FSeek(ff.file, FLC_HEADER_SIZE);
  ff.current = 0;
}

void FLCLoadNext(QFlcHandle& ff, Qimg& img, bool skip) {
  uint8_t* data = nullptr;
  Guarded("FF_FLC.FLCLoadNext", [&] {
    ff.paletteChanged = RF_FALSE;
    if (ff.current + 1 > ff.frames) ErrSet(17, 1);
    const bool fits = img.data && img.width == ff.width && img.height == ff.height && img.bpp == 8;
    if (!skip && !fits && _imgalloc_(img, ff.width, ff.height, 8, "FF_FLC.FLCLoadNext.ih") != 0) MonAbort();
    int64_t start = 0, end = 0;
    int32_t chunks = 0;
    FindFrame(ff, start, end, chunks);
    if (!skip) FLCunCmps(ff, img, start, end, chunks, data);
    MemFree(data);
    FSeek(ff.file, end);
    ++ff.current;
    if (!skip) ImgSetDims(img, ff.width, ff.height, 8);
  });
}

void FLCLoad(QFlcHandle& ff, Qimg& img, int32_t frame, int32_t flags) {
  Guarded("FF_FLC.FLCLoad", [&] {
    if (frame < 0 || frame > ff.frames) ErrSet(12, 1);
    if (frame == 0 || frame == ff.current + 1) {
      FLCLoadNext(ff, img, false);
      return;
    }
    if ((flags & 1) && frame == ff.current) return;
    if (!(flags & 1) || frame < ff.current) FLCRewind(ff);
    while (ff.current < frame) FLCLoadNext(ff, img, false);
  });
}

void FLCCreate(QFlcHandle& ff, std::string_view name, double frameRate) {
  Guarded("FF_FLC.FLCCreate", [&] {
    ReleaseHandle(ff);
    MonSetCleanup([&] { ReleaseHandle(ff); });
    const std::string_view stem = Stem(name);
    _memalloc_(ff.name, int32_t(stem.size() + 1), MEM_STRING, "FF_FLC.FLCCreate.ff.name");
    std::memcpy(ff.name, stem.data(), stem.size());
    ff.name[stem.size()] = 0;
    ff.header.depth = 8;
    ff.header.flags = 3;
    ff.header.frame1 = FLC_HEADER_SIZE;
    ff.header.aspectX = ff.header.aspectY = 1;
    ff.bytesPerPixel = 1;
    ff.bpp = 8;
    ff.writing = RF_TRUE;
    ff.frameRate = frameRate;
  });
}

void FLCSave(QFlcHandle& ff, Qimg& img) {
  QffPrepared prepared;
  Guarded("FF_FLC.FLCSave", [&] {
    if (!ff.writing) ErrSet(12, 2);
    MonSetCleanup([&] {
      FFDone(prepared);
      ReleaseHandle(ff);
    });
    FFInit(FF_FLC, prepared, img, 1);
    const Qimg& pic = *prepared.img;
    if (!ff.headerWritten) StartFile(ff, pic);
    if (pic.width != ff.width || pic.height != ff.height || pic.bytesPerPixel != 1) ErrSet(7, 2);
    if (ff.frames >= kMaxFrames) ErrSet(12, 2);
    FLC2Dsk(ff, pic);
    if (ff.current == 0) {
      ff.header.frame2 = uint32_t(ff.fileSize);
      if (_imgalloc_(ff.FirstFrame, ff.width, ff.height, 8, "FF_FLC.FLCSave.ff.FirstFrame") != 0) MonAbort();
      std::memcpy(ff.FirstFrame.data, pic.data, size_t(ff.pixels));
      ImgCopyPalette(pic, ff.FirstFrame);
    }
    std::memcpy(ff.previmg, pic.data, size_t(ff.pixels));
    ff.header.frames = uint16_t(++ff.frames);
    ++ff.current;
    FFDone(prepared);
  });
}

void FLCClose(QFlcHandle& ff) {
  Guarded("FF_FLC.FLCClose", [&] {
    // A guarded block that failed may have closed the file already.
    if (FName(ff.file).empty()) {
      ReleaseHandle(ff);
      return;
    }
    MonSetCleanup([&] { ReleaseHandle(ff); });
    if (ff.writing) {
      FLCSave(ff, ff.FirstFrame);
      ff.header.frames = uint16_t(--ff.frames);
      ff.header.size = uint32_t(ff.fileSize);
      WriteHeader(ff);
      FClose(ff.file);
    }
    ff.writing = RF_FALSE;
    ReleaseHandle(ff);
  });
}

}  // namespace rf
