// HAV reader and writer on the tracked files: header, page table and index pages, frame records
// with palette and image chunks, strips through the codecs of havcodec, and the sound chain.
#include "formats/ff_hav.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "formats/ffbasic.h"
#include "formats/ffdesc.h"
#include "formats/havcodec.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr uint32_t kMagic = 0x1A564148;  // "HAV" and 1A hex, little-endian
constexpr uint32_t kFrameType = 1;
constexpr uint32_t kPaletteType = 2;
constexpr uint32_t kSoundType = 3;
constexpr uint32_t kImageType = 4;
constexpr uint32_t kStripType = 5;
constexpr int32_t kFrameHeader = 16;
constexpr int32_t kChunkHeader = 16;
constexpr int32_t kStripEntry = 20;
constexpr int32_t kSoundHeader = 16;
constexpr int32_t kPaletteBytes = 256 * 3;
constexpr int32_t kSmallFrame = 65521;
constexpr int32_t kSmallLimit = 65520;
constexpr int32_t kLargeSlack = 8192;
constexpr int32_t kTablesEnd = HAV_FIRST_PAGE_AT + HAV_PAGE_SIZE;
// No writer makes frames this large; a header that claims more is damaged, not a movie.
constexpr int64_t kMaxRawFrame = int64_t(64) << 20;
constexpr uint32_t kMaxRate = 1000000;
constexpr int32_t kMaxChunks = 64;

int32_t g_codec = HAV_CODEC_FAST;
int32_t g_keyFrames = 25;

void Damaged() { ErrSet(12, 1); }

void FreeAll(QHavHandle& hv) {
  MemFree(hv.work);
  MemFree(hv.strip);
  MemFree(hv.predicted);
  MemFree(hv.predictedPrev);
  MemFree(hv.previous);
  MemFree(hv.soundIndex);
  hv = QHavHandle{};
}

// Gives up a writer after a failure: the half-written file is closed and removed.
void AbandonWriter(QHavHandle& hv) {
  const ErrLockScope lock;
  FAbandon(hv.file);
  FreeAll(hv);
}

void ReleaseReader(QHavHandle& hv) {
  const ErrLockScope lock;
  if (hv.file) FClose(hv.file);
  FreeAll(hv);
}

void ReadAt(QHavHandle& hv, int64_t offset, void* dst, int64_t n) {
  if (offset < 0 || n < 0 || offset > hv.fileSize - n) Damaged();
  if (n == 0) return;
  FSeek(hv.file, offset);
  FRead(hv.file, dst, int32_t(n));
}

void WriteAt(QHavHandle& hv, int64_t offset, const void* src, int64_t n) {
  if (offset + n > int64_t(UINT32_MAX)) ErrSet(12, 2);
  FSeek(hv.file, offset);
  FWrite(hv.file, src, int32_t(n));
}

WaveFormatEx SoundFormatOf(int32_t flags, int32_t rate) {
  WaveFormatEx f{
      WAVE_FORMAT_PCM, uint16_t(flags & 4 ? 2 : 1), uint32_t(rate), 0, 0, uint16_t((flags & 3) == 3 ? 16 : 8), 0};
  WaveFormatValidate(f);
  return f;
}

bool Predicted(const QHavHandle& hv) { return (hv.codec & 2) && hv.bytesPerPixel == 3; }

int32_t RowBytes(const QHavHandle& hv) { return hv.width * hv.bytesPerPixel; }

// ---- reading

void CheckHeader(QHavHandle& hv) {
  if (hv.frames < 0 || hv.frames > HAV_MAX_FRAMES || hv.keyInterval < 0) Damaged();
  if (!std::isfinite(hv.frameRate) || hv.frameRate < 0 || hv.frameRate > kMaxRate) Damaged();
  if (hv.frames > 0) {
    if (hv.bytesPerPixel < 1 || hv.bytesPerPixel > 3 || hv.width < 1 || hv.height < 1 || hv.codec < 0 || hv.codec > 3)
      Damaged();
    if (int64_t(hv.width) * hv.height * hv.bytesPerPixel > kMaxRawFrame) Damaged();
    if (hv.fileSize < kTablesEnd) Damaged();
  } else {
    // A file without pictures has no picture size, whatever the fields say.
    hv.width = hv.height = hv.bytesPerPixel = 0;
  }
  const int32_t f = hv.soundFlags;
  if (f != 0 && ((f & 1) == 0 || f > 7 || hv.soundRate < 1 || uint32_t(hv.soundRate) > kMaxRate)) Damaged();
}

void ReadHeader(QHavHandle& hv) {
  uint8_t head[HAV_HEADER_SIZE];
  if (hv.fileSize < HAV_HEADER_SIZE) Damaged();
  ReadAt(hv, 0, head, HAV_HEADER_SIZE);
  ByteReader r(head, sizeof head);
  if (r.u32le() != kMagic || r.i32le() != HAV_HEADER_SIZE) Damaged();
  if (r.i32le() != HAV_VERSION) ErrSet(12, 5);
  hv.width = r.i32le();
  hv.height = r.i32le();
  hv.bytesPerPixel = r.i32le();
  hv.codec = r.i32le();
  hv.frames = r.i32le();
  hv.keyInterval = r.i32le();
  hv.frameRate = std::bit_cast<double>(r.u64le());
  hv.soundFlags = r.i32le();
  hv.soundRate = r.i32le();
  hv.soundFirst = r.i32le();
  hv.smallFrame = r.i32le();
  hv.soundTotal = r.i32le();
  CheckHeader(hv);
  hv.bpp = hv.bytesPerPixel * 8;
  hv.rawSize = hv.width * hv.height * hv.bytesPerPixel;
}

void LoadPage(QHavHandle& hv, int32_t page) {
  if (page == hv.pageNumber) return;
  hv.pageNumber = -1;
  const uint32_t at = hv.pageTable[page];
  if (at < uint32_t(HAV_HEADER_SIZE)) Damaged();
  ReadAt(hv, at, hv.page, HAV_PAGE_SIZE);
  hv.pageNumber = page;
}

struct IndexEntry {
  uint32_t offset;
  uint32_t size;
  uint32_t flags;
};

IndexEntry EntryOf(QHavHandle& hv, int32_t index) {
  LoadPage(hv, index / HAV_PAGE_ENTRIES);
  ByteReader r(hv.page + (index % HAV_PAGE_ENTRIES) * HAV_ENTRY_SIZE, HAV_ENTRY_SIZE);
  IndexEntry e;
  e.offset = r.u32le();
  e.size = r.u32le();
  e.flags = r.u32le();
  return e;
}

// The sound chain as (data offset, sample frames) pairs. A chain cut short by the end of the
// file keeps the whole sample frames it has.
void ReadSoundChain(QHavHandle& hv) {
  std::vector<uint32_t> pairs;
  const int32_t align = hv.soundFormat.blockAlign;
  int64_t total = 0;
  for (uint32_t at = uint32_t(hv.soundFirst); at != 0;) {
    if (at < uint32_t(HAV_HEADER_SIZE) || int64_t(at) + kSoundHeader > hv.fileSize) break;
    uint8_t head[kSoundHeader];
    ReadAt(hv, at, head, kSoundHeader);
    ByteReader r(head, sizeof head);
    const uint32_t type = r.u32le();
    const uint32_t headerSize = r.u32le();
    const uint32_t next = r.u32le();
    const uint32_t count = r.u32le();
    if (type != kSoundType || headerSize < uint32_t(kSoundHeader) || headerSize > uint32_t(hv.fileSize)) Damaged();
    const int64_t data = int64_t(at) + headerSize;
    const int64_t room = std::max<int64_t>(0, hv.fileSize - data) / align;
    const int64_t frames = std::min({int64_t(count), room, int64_t(INT32_MAX) - total});
    pairs.push_back(uint32_t(data));
    pairs.push_back(uint32_t(frames));
    total += frames;
    if (frames < int64_t(count)) break;
    if (next != 0 && next <= at) Damaged();
    at = next;
  }
  hv.soundTotal = int32_t(total);
  hv.soundBlocks = int32_t(pairs.size() / 2);
  if (pairs.empty()) return;
  _memalloc_(hv.soundIndex, int32_t(pairs.size() * sizeof(uint32_t)), MEM_RESIZE, "FF_HAV.HAVOpen.soundIndex");
  std::memcpy(hv.soundIndex, pairs.data(), pairs.size() * sizeof(uint32_t));
}

void EnsureReadBuffers(QHavHandle& hv) {
  if (!hv.previous) _memalloc_(hv.previous, hv.rawSize, MEM_RESIZE, "FF_HAV.HAVImgLoad.previous");
  if (Predicted(hv) && !hv.predicted) _memalloc_(hv.predicted, hv.rawSize, MEM_RESIZE, "FF_HAV.HAVImgLoad.predicted");
}

// The data of one strip into the picture, or with prediction through the residual buffer.
void DecodeStrip(QHavHandle& hv, const uint8_t* data, int32_t size, int32_t firstRow, int32_t rows, bool compressed) {
  const int32_t row = RowBytes(hv);
  const int32_t total = rows * row;
  const int32_t at = firstRow * row;
  const bool predicted = Predicted(hv);
  uint8_t* target = (predicted ? hv.predicted : hv.previous) + at;
  if (!compressed) {
    if (size != total) Damaged();
    std::memcpy(target, data, size_t(total));
  } else {
    const HavStrip strip{total, row, hv.bytesPerPixel};
    const bool ok =
        (hv.codec & 1) ? HavDecodeFast(data, size, target, strip) : HavDecodeBest(data, size, target, strip);
    if (!ok) ErrSet(12, 3);
  }
  if (predicted) HavUnpredict(target, hv.previous + at, total);
}

// A palette chunk at pos of the record; returns where the next chunk starts.
int64_t ReadPaletteChunk(QHavHandle& hv, ByteReader& r, int64_t pos) {
  const uint32_t headerSize = r.u32le();
  const uint32_t count = r.u32le();
  const uint32_t first = r.u32le();
  if (headerSize < uint32_t(kChunkHeader) || first > 256 || count > 256 - first) Damaged();
  r.seek(size_t(pos + headerSize));
  const uint8_t* colours = r.take(size_t(count) * 3);
  if (!r.ok()) Damaged();
  for (uint32_t i = 0; i < count; ++i) {
    hv.palette[first + i][0] = colours[i * 3 + 2];
    hv.palette[first + i][1] = colours[i * 3 + 1];
    hv.palette[first + i][2] = colours[i * 3];
  }
  hv.paletteChanged = RF_TRUE;
  return int64_t(r.pos());
}

// An image chunk at pos of the record at recordAt: its strips decoded in order, the first k
// from inside the record, the others from the file after it.
int64_t ReadImageChunk(QHavHandle& hv, ByteReader& r, int64_t pos, int64_t recordAt) {
  const uint32_t tableAt = r.u32le();
  const uint32_t strips = r.u32le();
  const uint32_t inside = r.u32le();
  if (tableAt < uint32_t(kChunkHeader) || strips < 1 || strips > uint32_t(hv.height) || inside > strips) Damaged();
  const int64_t table = pos + tableAt;
  int64_t inData = table + int64_t(strips) * kStripEntry;
  int64_t outData = recordAt + int64_t(r.size());
  if (inData > int64_t(r.size())) Damaged();
  int32_t rowsDone = 0;
  for (uint32_t j = 0; j < strips; ++j) {
    r.seek(size_t(table + int64_t(j) * kStripEntry));
    const uint32_t type = r.u32le();
    const uint32_t entrySize = r.u32le();
    const uint32_t size = r.u32le();
    const uint32_t rows = r.u32le();
    const uint32_t compressed = r.u32le();
    if (!r.ok() || type != kStripType || entrySize != uint32_t(kStripEntry) || rows < 1 ||
        rows > uint32_t(hv.height - rowsDone) || compressed > 1 || size > uint32_t(INT32_MAX - HAV_STREAM_PAD))
      Damaged();
    const uint8_t* data;
    if (j < inside) {
      if (inData + size > int64_t(r.size())) Damaged();
      data = hv.work + inData;
      inData += size;
    } else {
      _memalloc_(hv.strip, int32_t(size) + HAV_STREAM_PAD, MEM_RESIZE, "FF_HAV.HAVImgLoadNext.strip");
      std::memset(hv.strip + size, 0, HAV_STREAM_PAD);
      ReadAt(hv, outData, hv.strip, size);
      data = hv.strip;
      outData += size;
    }
    DecodeStrip(hv, data, int32_t(size), rowsDone, int32_t(rows), compressed != 0);
    rowsDone += int32_t(rows);
  }
  return inData;
}

// Reads frame index (0-based) and applies its chunks; with palettesOnly the image is left alone.
void DecodeFrame(QHavHandle& hv, int32_t index, bool palettesOnly) {
  const IndexEntry e = EntryOf(hv, index);
  if (e.offset < uint32_t(HAV_HEADER_SIZE) || e.size < uint32_t(kFrameHeader) ||
      int64_t(e.offset) + e.size > hv.fileSize)
    Damaged();
  _memalloc_(hv.work, int32_t(e.size) + HAV_STREAM_PAD, MEM_RESIZE, "FF_HAV.HAVImgLoadNext.work");
  std::memset(hv.work + e.size, 0, HAV_STREAM_PAD);
  ReadAt(hv, e.offset, hv.work, e.size);
  ByteReader r(hv.work, e.size);
  const uint32_t type = r.u32le();
  const uint32_t first = r.u32le();
  const uint32_t chunks = r.u32le();
  if (type != kFrameType || first < uint32_t(kFrameHeader) || first > e.size || chunks > uint32_t(kMaxChunks))
    Damaged();
  int64_t pos = first;
  for (uint32_t c = 0; c < chunks; ++c) {
    r.seek(size_t(pos));
    const uint32_t chunk = r.u32le();
    if (!r.ok()) Damaged();
    if (chunk == kPaletteType)
      pos = ReadPaletteChunk(hv, r, pos);
    else if (chunk == kImageType && !palettesOnly)
      pos = ReadImageChunk(hv, r, pos, e.offset);
    else if (chunk != kImageType)
      Damaged();
    if (palettesOnly && chunk == kImageType) return;
  }
}

// Brings the buffers to frame target (1-based), decoding forward from what they hold when that
// lies between target's key frame and target, else from the key frame.
void DecodeUpTo(QHavHandle& hv, int32_t target) {
  EnsureReadBuffers(hv);
  const int32_t key = HAVNearestKeyFrame(hv, target, -1);
  if (hv.held < key || hv.held > target) {
    hv.held = 0;
    if (hv.bytesPerPixel == 1) HAVGetPal(hv, key);
    hv.held = key - 1;
  }
  while (hv.held < target) {
    const int32_t next = hv.held + 1;
    hv.held = 0;
    DecodeFrame(hv, next - 1, false);
    hv.held = next;
  }
}

void Deliver(const QHavHandle& hv, Qimg& img) {
  if (!ImgValid(img) || img.width != hv.width || img.height != hv.height || img.bpp != hv.bpp) {
    if (_imgalloc_(img, hv.width, hv.height, hv.bpp, "FF_HAV.HAVImgLoad.img") != 0) MonAbort();
  }
  std::memcpy(img.data, hv.previous, size_t(hv.rawSize));
  if (hv.bytesPerPixel == 1) std::memcpy(img.palette, hv.palette, sizeof hv.palette);
}

// ---- writing

void WriteHeader(QHavHandle& hv) {
  ByteWriter w;
  w.u32le(kMagic);
  w.u32le(HAV_HEADER_SIZE);
  w.u32le(HAV_VERSION);
  for (const int32_t v : {hv.width, hv.height, hv.bytesPerPixel, hv.codec, hv.frames, hv.keyInterval})
    w.u32le(uint32_t(v));
  w.u64le(std::bit_cast<uint64_t>(hv.frameRate));
  for (const int32_t v : {hv.soundFlags, hv.soundRate, hv.soundFirst, hv.smallFrame, hv.soundTotal})
    w.u32le(uint32_t(v));
  WriteAt(hv, 0, w.bytes().data(), int64_t(w.size()));
}

// Sound saved before the first picture starts at offset 64, where the tables go: it moves
// behind them, each link shifted by the same distance.
void MoveEarlySound(QHavHandle& hv) {
  const int64_t size = hv.fileEnd - HAV_HEADER_SIZE;
  if (size <= 0) return;
  if (size > INT32_MAX) ErrSet(12, 4);
  const int64_t shift = kTablesEnd - HAV_HEADER_SIZE;
  std::vector<uint8_t> sound(static_cast<size_t>(size));
  FSeek(hv.file, HAV_HEADER_SIZE);
  FRead(hv.file, sound.data(), int32_t(size));
  for (uint32_t at = uint32_t(hv.soundFirst); at != 0;) {
    uint8_t* link = sound.data() + (at - HAV_HEADER_SIZE) + 8;
    ByteReader r(link, 4);
    at = r.u32le();
    ByteWriter w;
    w.u32le(at == 0 ? 0 : uint32_t(at + shift));
    std::memcpy(link, w.bytes().data(), 4);
  }
  hv.soundFirst = int32_t(hv.soundFirst + shift);
  hv.soundLast = int32_t(hv.soundLast + shift);
  WriteAt(hv, kTablesEnd, sound.data(), size);
  hv.fileEnd += shift;
}

// The page table and index page 0 follow the header in every file with pictures.
void ReserveTables(QHavHandle& hv) {
  MoveEarlySound(hv);
  const std::vector<uint8_t> zeros(size_t(kTablesEnd - HAV_HEADER_SIZE), 0);
  WriteAt(hv, HAV_HEADER_SIZE, zeros.data(), int64_t(zeros.size()));
  hv.fileEnd = std::max<int64_t>(hv.fileEnd, kTablesEnd);
  hv.pageTable[0] = uint32_t(HAV_FIRST_PAGE_AT);
  hv.pageNumber = 0;
}

void WritePageTable(QHavHandle& hv) {
  ByteWriter w;
  for (const uint32_t at : hv.pageTable) w.u32le(at);
  WriteAt(hv, HAV_PAGE_TABLE_AT, w.bytes().data(), int64_t(w.size()));
}

void SwitchPage(QHavHandle& hv, int32_t page) {
  if (page == hv.pageNumber) return;
  WriteAt(hv, hv.pageTable[hv.pageNumber], hv.page, HAV_PAGE_SIZE);
  std::memset(hv.page, 0, sizeof hv.page);
  WriteAt(hv, hv.fileEnd, hv.page, HAV_PAGE_SIZE);
  hv.pageTable[page] = uint32_t(hv.fileEnd);
  hv.fileEnd += HAV_PAGE_SIZE;
  hv.pageNumber = page;
}

// The writer's buffer limit: strips whose compressed data would pass it are stored raw.
int32_t BufferLimit(const QHavHandle& hv) { return hv.smallFrame ? kSmallLimit : hv.rawSize + kLargeSlack; }

// Predicted strips are never stored raw, so their room covers a stream of literals only.
int32_t PredictedRoom(int32_t raw) { return raw + raw / 4 + 64; }

int32_t Encode(int32_t codec, const uint8_t* cur, const uint8_t* prev, const HavStrip& s, uint8_t* out, int32_t room) {
  return (codec & 1) ? HavEncodeFast(cur, prev, s, out, room) : HavEncodeBest(cur, prev, s, out, room);
}

// BEST on 24-bit pictures becomes BEST-P when prediction makes the first half of the first frame
// smaller.
int32_t ChooseCodec(const QHavHandle& hv, const Qimg& pic) {
  if (hv.codec != HAV_CODEC_BEST || hv.bytesPerPixel != 3) return hv.codec;
  const int32_t rows = hv.height == 1 ? 1 : hv.height / 2;
  const HavStrip half{rows * RowBytes(hv), RowBytes(hv), 3};
  std::vector<uint8_t> residuals(size_t(half.total));
  std::vector<uint8_t> out(size_t(PredictedRoom(half.total)));
  HavPredict(pic.data, residuals.data(), half.total);
  const int32_t room = int32_t(out.size());
  const int32_t plain = HavEncodeBest(pic.data, nullptr, half, out.data(), room);
  const int32_t predicted = HavEncodeBest(residuals.data(), nullptr, half, out.data(), room);
  return predicted >= 0 && (plain < 0 || predicted < plain) ? HAV_CODEC_BEST_P : HAV_CODEC_BEST;
}

void StartVideo(QHavHandle& hv, const Qimg& pic) {
  hv.width = pic.width;
  hv.height = pic.height;
  hv.bytesPerPixel = pic.bytesPerPixel;
  hv.bpp = hv.bytesPerPixel * 8;
  hv.rawSize = pic.size;
  hv.smallFrame = hv.rawSize < kSmallFrame ? 1 : 0;
  hv.codec = ChooseCodec(hv, pic);
  ReserveTables(hv);
  const int32_t room = std::max({BufferLimit(hv), hv.rawSize, Predicted(hv) ? PredictedRoom(hv.rawSize) : 0});
  _memalloc_(hv.work, room + 1024, MEM_RESIZE, "FF_HAV.HAVImgSave.work");
  _memalloc_(hv.previous, hv.rawSize, MEM_RESIZE, "FF_HAV.HAVImgSave.previous");
  if (Predicted(hv)) {
    _memalloc_(hv.predicted, hv.rawSize, MEM_RESIZE, "FF_HAV.HAVImgSave.predicted");
    _memalloc_(hv.predictedPrev, hv.rawSize, MEM_RESIZE, "FF_HAV.HAVImgSave.predictedPrev");
  }
}

// The frame header, a palette chunk when one is due, and the image chunk's header and table.
std::vector<uint8_t> RecordHead(const QHavHandle& hv, const Qimg& pic, bool palette, int32_t size, bool compressed,
                                int32_t inside) {
  ByteWriter w;
  for (const uint32_t v : {kFrameType, uint32_t(kFrameHeader), palette ? 2u : 1u, 0u}) w.u32le(v);
  if (palette) {
    for (const uint32_t v : {kPaletteType, uint32_t(kChunkHeader), 256u, 0u}) w.u32le(v);
    for (int i = 0; i < 256; ++i) {
      w.u8(pic.palette[i][2]);
      w.u8(pic.palette[i][1]);
      w.u8(pic.palette[i][0]);
    }
  }
  for (const uint32_t v : {kImageType, uint32_t(kChunkHeader), 1u, uint32_t(inside)}) w.u32le(v);
  for (const uint32_t v :
       {kStripType, uint32_t(kStripEntry), uint32_t(size), uint32_t(hv.height), compressed ? 1u : 0u})
    w.u32le(v);
  return std::move(w.bytes());
}

void WriteFrame(QHavHandle& hv, const Qimg& pic) {
  const int32_t index = hv.current;
  const bool key = hv.keyInterval <= 0 ? index == 0 : index % hv.keyInterval == 0;
  const bool predicted = Predicted(hv);
  const uint8_t* source = pic.data;
  const uint8_t* before = key ? nullptr : hv.previous;
  if (predicted) {
    HavPredict(pic.data, hv.predicted, hv.rawSize);
    source = hv.predicted;
    before = key ? nullptr : hv.predictedPrev;
  }
  const bool palette = hv.bytesPerPixel == 1 && (index == 0 || std::memcmp(pic.palette, hv.palette, sizeof hv.palette));
  const int32_t headBytes = kFrameHeader + (palette ? kChunkHeader + kPaletteBytes : 0) + kChunkHeader + kStripEntry;
  uint8_t* data = hv.work + headBytes;
  const int32_t limit = BufferLimit(hv);
  const HavStrip strip{hv.rawSize, RowBytes(hv), hv.bytesPerPixel};
  int32_t size = Encode(hv.codec, source, before, strip, data, predicted ? PredictedRoom(hv.rawSize) : limit);
  const bool compressed = size >= 0;
  if (!compressed) {
    if (predicted) ErrSet(12, 4);
    std::memcpy(data, pic.data, size_t(hv.rawSize));
    size = hv.rawSize;
  }
  const int32_t inside = size <= limit ? 1 : 0;
  const std::vector<uint8_t> head = RecordHead(hv, pic, palette, size, compressed, inside);
  std::memcpy(hv.work, head.data(), head.size());
  WriteAt(hv, hv.fileEnd, hv.work, int64_t(headBytes) + size);
  ByteWriter entry;
  for (const uint32_t v : {uint32_t(hv.fileEnd), uint32_t(headBytes + (inside ? size : 0)), palette ? 1u : 0u})
    entry.u32le(v);
  std::memcpy(hv.page + (index % HAV_PAGE_ENTRIES) * HAV_ENTRY_SIZE, entry.bytes().data(), HAV_ENTRY_SIZE);
  hv.fileEnd += int64_t(headBytes) + size;
  std::memcpy(hv.previous, pic.data, size_t(hv.rawSize));
  if (predicted) MemXchg(hv.predicted, hv.predictedPrev);
  if (hv.bytesPerPixel == 1) std::memcpy(hv.palette, pic.palette, sizeof hv.palette);
  hv.current = hv.frames = index + 1;
}

// Movie pictures are prepared by FFInit, which keeps to the movie size limits; the format itself
// takes any size, so smaller pictures only get their depth converted here.
void Prepare(QffPrepared& prepared, Qimg& img) {
  if (!ImgValid(img)) ErrSet(14, 1);
  if (img.width >= FF_MOVIE_MIN_SIDE && img.height >= FF_MOVIE_MIN_SIDE) {
    FFInit(FF_HAV, prepared, img, 1);
    return;
  }
  const int32_t depth = FFSaveDepth(FF_HAV, img.bpp);
  prepared.img = &img;
  if (depth == img.bpp) return;
  ImgConvBpp(img, prepared.temp, depth);
  prepared.img = &prepared.temp;
}

void FixSoundFormat(QHavHandle& hv, const WaveFormatEx& format) {
  if (format.formatTag != WAVE_FORMAT_PCM || format.channels < 1 || format.samplesPerSec < 1 ||
      format.samplesPerSec > kMaxRate)
    ErrSet(12, 4);
  hv.soundFlags = (format.bitsPerSample == 8 ? 1 : 3) | (format.channels >= 2 ? 4 : 0);
  hv.soundRate = int32_t(format.samplesPerSec);
  hv.soundFormat = SoundFormatOf(hv.soundFlags, hv.soundRate);
}

}  // namespace

void HAVOpen(QHavHandle& hv, std::string_view name) {
  Guarded("FF_HAV.HAVOpen", [&] {
    hv = QHavHandle{};
    MonSetCleanup([&] { ReleaseReader(hv); });
    FOpen(hv.file, name, FM_READ);
    hv.fileSize = FSize(hv.file);
    ReadHeader(hv);
    if (hv.frames > 0) {
      uint8_t table[HAV_PAGE_ENTRIES * 4];
      ReadAt(hv, HAV_PAGE_TABLE_AT, table, sizeof table);
      ByteReader r(table, sizeof table);
      for (uint32_t& at : hv.pageTable) at = r.u32le();
      LoadPage(hv, 0);
    }
    if (hv.soundFlags != 0) {
      hv.soundFormat = SoundFormatOf(hv.soundFlags, hv.soundRate);
      ReadSoundChain(hv);
    }
  });
}

void HAVInfo(std::string_view name, QffInfo& info) {
  QHavHandle hv;
  Guarded("FF_HAV.HAVInfo", [&] {
    HAVOpen(hv, name);
    MonSetCleanup([&] { ReleaseReader(hv); });
    info.fileSize = hv.fileSize;
    QVideoBlock& v = info.video;
    v.width = hv.width;
    v.height = hv.height;
    v.bytesPerPixel = hv.bytesPerPixel;
    v.bpp = hv.bpp;
    v.frames = hv.frames;
    v.frameRate = hv.frameRate;
    static const char* const kNames[] = {"BEST", "FAST", "BEST-P"};
    v.compression = hv.codec >= 0 && hv.codec <= 2 ? kNames[hv.codec] : "N/A";
    v.hasVideo = hv.frames > 0 ? RF_TRUE : RF_FALSE;
    v.videoReadable = RF_TRUE;
    if (hv.soundFlags != 0) {
      QAudioBlock& a = info.audio;
      a.storedFormat = a.decodedFormat = hv.soundFormat;
      a.frames = hv.soundTotal;
      a.compression = "PCM, uncompressed";
      a.hasAudio = RF_TRUE;
    }
    info.audio.audioReadable = RF_TRUE;
    HAVClose(hv);
  });
}

int32_t HAVNearestKeyFrame(const QHavHandle& hv, int32_t frame, int32_t direction) {
  if (hv.keyInterval <= 0) return 1;
  const int32_t k = hv.keyInterval;
  const int32_t f = std::clamp(frame, 1, std::max(1, hv.frames));
  const int32_t before = (f - 1) / k * k + 1;
  if (direction == -1 || before == f) return before;
  const int64_t after = int64_t(before) + k;
  return after <= hv.frames ? int32_t(after) : before;
}

void HAVGetPal(QHavHandle& hv, int32_t frame) {
  Guarded("FF_HAV.HAVGetPal", [&] {
    for (int32_t index = std::min(frame, hv.frames) - 2; index >= 0; --index) {
      if (EntryOf(hv, index).flags & 1) {
        DecodeFrame(hv, index, true);
        return;
      }
    }
  });
}

void HAVImgSetPos(QHavHandle& hv, int32_t frame) {
  if (!hv.writing && frame >= 1 && frame <= hv.frames) hv.pending = frame;
}

void HAVImgLoad(QHavHandle& hv, Qimg& img, int32_t frame, int32_t flags) {
  Guarded("FF_HAV.HAVImgLoad", [&] {
    if (hv.writing || !hv.file) return;
    if (frame < 0 || frame > hv.frames) Damaged();
    int32_t target = frame;
    if (frame == 0) {
      target = hv.pending ? hv.pending : hv.current + 1;
      if (target > hv.frames) ErrSet(15, 1);
    }
    hv.pending = 0;
    if ((flags & 1) && target == hv.current && hv.held == target) return;
    DecodeUpTo(hv, target);
    hv.current = target;
    Deliver(hv, img);
  });
}

void HAVImgLoadNext(QHavHandle& hv, Qimg& img) { HAVImgLoad(hv, img, 0, 0); }

// Every load finds its block through the index, so continuing and seeking are one path.
void HAVSndLoad(QHavHandle& hv, QSndBuf& sound, int32_t start, int32_t, int32_t count) {
  Guarded("FF_HAV.HAVSndLoad", [&] {
    sound.count = 0;
    if (hv.writing || !hv.file || hv.soundBlocks == 0) return;
    const int32_t align = hv.soundFormat.blockAlign;
    const int32_t first = std::clamp(start, 0, hv.soundTotal);
    const int32_t n = std::min({std::max(0, count), hv.soundTotal - first, (1 << 30) / align});
    hv.soundPos = first;
    if (n == 0) return;
    _sndalloc_(sound, n * align, "FF_HAV.HAVSndLoad.sound");
    sound.format = hv.soundFormat;
    int64_t base = 0;
    int32_t b = 0;
    while (b < hv.soundBlocks && base + hv.soundIndex[2 * b + 1] <= first) base += hv.soundIndex[2 * b++ + 1];
    int32_t done = 0;
    for (; done < n && b < hv.soundBlocks; base += hv.soundIndex[2 * b++ + 1]) {
      const int64_t skip = first + done - base;
      const int32_t take = int32_t(std::min<int64_t>(int64_t(hv.soundIndex[2 * b + 1]) - skip, n - done));
      ReadAt(hv, int64_t(hv.soundIndex[2 * b]) + skip * align, sound.SndData + int64_t(done) * align,
             int64_t(take) * align);
      done += take;
    }
    sound.count = done;
    hv.soundPos = first + done;
  });
}

void HAVSndSeek(QHavHandle& hv, int32_t position) { hv.soundPos = std::clamp(position, 0, hv.soundTotal); }

void HAVCreate(QHavHandle& hv, std::string_view name, double frameRate) {
  Guarded("FF_HAV.HAVCreate", [&] {
    hv = QHavHandle{};
    MonSetCleanup([&] { AbandonWriter(hv); });
    FOpen(hv.file, name, FM_CREATE);
    hv.writing = RF_TRUE;
    hv.codec = g_codec;
    hv.keyInterval = g_keyFrames;
    hv.frameRate = frameRate;
    hv.pageNumber = -1;
    WriteHeader(hv);
    hv.fileEnd = HAV_HEADER_SIZE;
  });
}

void HAVImgSave(QHavHandle& hv, Qimg& img) {
  QffPrepared prepared;
  Guarded("FF_HAV.HAVImgSave", [&] {
    if (!hv.writing || !hv.file) ErrSet(12, 2);
    MonSetCleanup([&] {
      FFDone(prepared);
      AbandonWriter(hv);
    });
    Prepare(prepared, img);
    const Qimg& pic = *prepared.img;
    if (hv.bytesPerPixel == 0)
      StartVideo(hv, pic);
    else if (pic.width != hv.width || pic.height != hv.height || pic.bytesPerPixel != hv.bytesPerPixel)
      ErrSet(12, 4);
    if (hv.current >= HAV_MAX_FRAMES) ErrSet(12, 2);
    SwitchPage(hv, hv.current / HAV_PAGE_ENTRIES);
    WriteFrame(hv, pic);
    FFDone(prepared);
  });
}

void HAVSndSave(QHavHandle& hv, const QSndBuf& sound) {
  QSndBuf converted;
  Guarded("FF_HAV.HAVSndSave", [&] {
    if (!hv.writing || !hv.file || sound.count <= 0) return;
    MonSetCleanup([&] {
      SndFree(converted);
      AbandonWriter(hv);
    });
    if (hv.soundFlags == 0) FixSoundFormat(hv, sound.format);
    const QSndBuf* source = &sound;
    if (!WaveFormatEqual(sound.format, hv.soundFormat)) {
      SndConvert(sound, converted, hv.soundFormat);
      source = &converted;
    }
    const int64_t at = hv.fileEnd;
    const int64_t bytes = int64_t(source->count) * hv.soundFormat.blockAlign;
    ByteWriter w;
    for (const uint32_t v : {kSoundType, uint32_t(kSoundHeader), 0u, uint32_t(source->count)}) w.u32le(v);
    WriteAt(hv, at, w.bytes().data(), kSoundHeader);
    WriteAt(hv, at + kSoundHeader, source->SndData, bytes);
    ByteWriter link;
    link.u32le(uint32_t(at));
    if (hv.soundLast)
      WriteAt(hv, int64_t(uint32_t(hv.soundLast)) + 8, link.bytes().data(), 4);
    else
      hv.soundFirst = int32_t(at);
    hv.soundLast = int32_t(uint32_t(at));
    hv.fileEnd = at + kSoundHeader + bytes;
    hv.soundTotal = int32_t(std::min<int64_t>(int64_t(hv.soundTotal) + source->count, INT32_MAX));
    hv.soundPos = hv.soundTotal;
    SndFree(converted);
  });
}

void HAVClose(QHavHandle& hv) {
  Guarded("FF_HAV.HAVClose", [&] {
    // A guarded block that failed may have closed the file and freed the blocks already.
    if (!hv.file || FName(hv.file).empty()) {
      FreeAll(hv);
      return;
    }
    if (hv.writing) {
      MonSetCleanup([&] { AbandonWriter(hv); });
      WriteHeader(hv);
      if (hv.pageNumber >= 0) {
        WriteAt(hv, hv.pageTable[hv.pageNumber], hv.page, HAV_PAGE_SIZE);
        WritePageTable(hv);
      }
    }
    const int32_t file = hv.file;
    hv.file = 0;
    FreeAll(hv);
    FClose(file);
  });
}

int32_t HAVSetCodec(int32_t codec) {
  if (codec != NOT_SET) g_codec = std::clamp(codec, HAV_CODEC_BEST, HAV_CODEC_FAST);
  return g_codec;
}

int32_t HAVSetKeyFrames(int32_t interval) {
  if (interval != NOT_SET) g_keyFrames = std::max(0, interval);
  return g_keyFrames;
}

}  // namespace rf
