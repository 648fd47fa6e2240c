// GIF reader: the file scan with its process-wide position cache, the LZW decoder and the
// composition of animation frames on the logical screen.
#include "formats/ff_gif.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

constexpr int32_t kHeaderSize = 13;
constexpr int32_t kDescriptorSize = 9;  // after the ","
constexpr int32_t kScanBuffer = 65536;
constexpr int32_t kMaxCodes = 4096;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kControlLabel = 0xF9;
constexpr uint8_t kImage = ',';
constexpr const char* kCompression = "Variable-Length-Code LZW (Lempel-Ziv & Welch)";

// The frame positions and the handle of the file scanned last, so that opening the same
// unchanged file again costs no scan. An ordinary container: it lives as long as the process.
struct PositionCache {
  bool valid = false;
  std::string name;
  int64_t size = 0;
  int64_t date = 0;
  QGifHandle handle;
  std::vector<std::vector<int32_t>> blocks;  // 256 positions each, the end position last
};

PositionCache& Cache() {
  static PositionCache cache;
  return cache;
}

// Reads up to count bytes; a short read is no error here, the caller judges what it got.
int32_t ReadSome(int32_t file, void* buffer, int32_t count) {
  int32_t done = 0;
  FReadCount(file, buffer, count, done);
  return done;
}

int64_t FileDate(std::string_view name) {
  std::error_code ec;
  const auto t = std::filesystem::last_write_time(std::filesystem::path(std::string(name)), ec);
  return ec ? 0 : int64_t(t.time_since_epoch().count());
}

// Reads a file forward through a 64-kilobyte window; bytes past the end read as -1.
class ScanReader {
 public:
  ScanReader(int32_t file, uint8_t* buffer, int64_t start) : file_(file), buf_(buffer), pos_(start) {}

  int64_t pos() const { return pos_ - (end_ - at_); }
  int32_t byte() {
    if (at_ == end_ && !Refill()) return -1;
    return buf_[at_++];
  }
  // False when the file ends first.
  bool skip(int64_t n) {
    const int64_t inBuffer = std::min<int64_t>(n, end_ - at_);
    at_ += int32_t(inBuffer);
    n -= inBuffer;
    if (n == 0) return true;
    pos_ += n;
    return pos_ <= FSize(file_);
  }
  // Passes sub-blocks up to and including the zero-length one; false when the file ends first.
  bool skipBlocks() {
    for (;;) {
      const int32_t n = byte();
      if (n <= 0) return n == 0;
      if (!skip(n)) return false;
    }
  }

 private:
  bool Refill() {
    if (FSeek(file_, pos_) != 0) return false;
    end_ = ReadSome(file_, buf_, kScanBuffer);
    at_ = 0;
    pos_ += end_;
    return end_ > 0;
  }

  int32_t file_;
  uint8_t* buf_;
  int64_t pos_;  // file position of the buffer's end
  int32_t at_ = 0;
  int32_t end_ = 0;
};

// What the blocks before an image say about it.
struct FrameHeader {
  int32_t left = 0, top = 0, width = 0, height = 0;
  int32_t flags = 0;
  int32_t disposal = 0;
  int32_t transparent = -1;
  int32_t delay = 0;
  int32_t dataStart = 0;  // offset of the local colour table (or the LZW data) in the frame
};

bool LocalTable(const FrameHeader& h) { return (h.flags & 0x80) != 0; }
bool Interlaced(const FrameHeader& h) { return (h.flags & 0x40) != 0; }
int32_t TableBytes(int32_t flags) { return 3 << ((flags & 7) + 1); }

void ReadControl(const uint8_t* p, FrameHeader& h) {
  h.disposal = (p[0] >> 2) & 7;
  h.delay = p[1] | (p[2] << 8);
  if (p[0] & 1) h.transparent = p[3];
}

// Parses the extensions and the image descriptor at the start of one frame's bytes; false when
// no descriptor follows them.
bool ParseFrameHeader(const uint8_t* p, int32_t n, FrameHeader& h) {
  ByteReader r(p, size_t(n));
  for (;;) {
    const uint8_t b = r.u8();
    if (!r.ok()) return false;
    if (b == kImage) break;
    if (b != kExtension) return false;
    const uint8_t label = r.u8();
    for (uint8_t len = r.u8(); len != 0 && r.ok(); len = r.u8()) {
      const uint8_t* block = r.take(len);
      if (label == kControlLabel && len >= 4 && block) ReadControl(block, h);
    }
  }
  h.left = r.u16le();
  h.top = r.u16le();
  h.width = r.u16le();
  h.height = r.u16le();
  h.flags = r.u8();
  h.dataStart = int32_t(r.pos());
  return r.ok();
}

void StoreTable(const uint8_t* rgb, int32_t bytes, uint8_t (&palette)[256][3]) {
  for (int32_t i = 0; i < bytes / 3; ++i) {
    palette[i][0] = rgb[3 * i + 2];
    palette[i][1] = rgb[3 * i + 1];
    palette[i][2] = rgb[3 * i];
  }
}

// What the scan of one frame found.
struct ScanStep {
  int64_t position = -1;  // -1: no more frames
  FrameHeader header;
};

// Reads the blocks of the next frame up to and over its image data.
ScanStep ScanFrame(ScanReader& in, bool locateOnly) {
  ScanStep step;
  int64_t control = -1;
  uint8_t bytes[kDescriptorSize];
  for (;;) {
    const int64_t at = in.pos();
    const int32_t b = in.byte();
    if (b == kExtension) {
      const int32_t label = in.byte();
      const int32_t len = in.byte();
      if (label == kControlLabel && len == 4) {
        for (int32_t i = 0; i < 4; ++i) bytes[i] = uint8_t(in.byte());
        ReadControl(bytes, step.header);
        if (control < 0) control = at;
        if (!in.skipBlocks()) return step;
      } else if (len < 0 || (len > 0 && (!in.skip(len) || !in.skipBlocks()))) {
        return step;
      }
      continue;
    }
    // The trailer, the end of the file or bytes that start no block end the frames.
    if (b != kImage) return step;
    for (int32_t i = 0; i < kDescriptorSize; ++i) bytes[i] = uint8_t(in.byte());
    FrameHeader& h = step.header;
    h.left = bytes[0] | (bytes[1] << 8);
    h.top = bytes[2] | (bytes[3] << 8);
    h.width = bytes[4] | (bytes[5] << 8);
    h.height = bytes[6] | (bytes[7] << 8);
    h.flags = bytes[8];
    step.position = control >= 0 ? control : at;
    if (locateOnly) return step;
    if (LocalTable(h)) in.skip(TableBytes(h.flags));
    in.byte();  // LZW code size
    in.skipBlocks();
    return step;
  }
}

bool CoversScreen(const QGifHandle& gf, const FrameHeader& h) {
  return h.left == 0 && h.top == 0 && h.width == gf.width && h.height == gf.height;
}

void ReadHeader(QGifHandle& gf) {
  uint8_t bytes[kHeaderSize];
  if (ReadSome(gf.file, bytes, kHeaderSize) != kHeaderSize) ErrSet(7, 2);
  ByteReader r(bytes, sizeof bytes);
  const std::string signature = {char(r.u8()), char(r.u8()), char(r.u8())};
  const std::string version = {char(r.u8()), char(r.u8()), char(r.u8())};
  if (signature != "GIF" || (version != "87a" && version != "89a")) ErrSet(7, 2);
  gf.width = r.u16le();
  gf.height = r.u16le();
  const int32_t flags = r.u8();
  const int32_t background = r.u8();
  gf.bytesPerPixel = 1;
  gf.bpp = 8;
  gf.fileSize = FSize(gf.file);
  if (!ImgCheckDims(gf.width, gf.height, 8)) MonAbort();
  gf.background = -1;
  if (flags & 0x80) {
    uint8_t rgb[768];
    const int32_t n = TableBytes(flags);
    if (ReadSome(gf.file, rgb, n) != n) ErrSet(7, 2);
    StoreTable(rgb, n, gf.palette);
    gf.globalTable = RF_TRUE;
    gf.background = background;
  }
}

void SetPositions(QGifHandle& gf, const std::vector<int32_t>& positions) {
  _memalloc_(gf.positions, int32_t(positions.size() * sizeof(int32_t)), MEM_RESIZE, "FF_GIF.GIFOpen.positions");
  std::copy(positions.begin(), positions.end(), gf.positions);
}

// The scan of the whole file: every frame's position, the rate from the delays and whether
// frames build on earlier ones.
void ScanAll(QGifHandle& gf, uint8_t*& buffer, std::vector<int32_t>& positions) {
  _memalloc_(buffer, kScanBuffer, MEM_RESIZE, "FF_GIF.GIFOpen.GIFCmpsBuf");
  ScanReader in(gf.file, buffer, FPos(gf.file));
  int64_t totalDelay = 0;
  bool localTables = false;
  for (;;) {
    const ScanStep step = ScanFrame(in, false);
    if (step.position < 0) break;
    const FrameHeader& h = step.header;
    // The first frame builds on nothing; a later one that leaves pixels of the screen showing
    // makes every frame depend on the ones before it.
    if (!positions.empty() && (!CoversScreen(gf, h) || h.transparent >= 0)) gf.dependent = RF_TRUE;
    positions.push_back(int32_t(step.position));
    totalDelay += h.delay;
    localTables = localTables || LocalTable(h);
  }
  if (positions.empty()) ErrSet(7, 4);
  gf.frames = int32_t(positions.size());
  // One palette cannot show frames that bring colour tables of their own over each other.
  if (localTables && gf.frames > 1 && int64_t(gf.width) * gf.height * 3 <= IMG_MAX_BYTES) {
    gf.bytesPerPixel = 3;
    gf.bpp = 24;
  }
  positions.push_back(int32_t(std::min<int64_t>(in.pos(), gf.fileSize)));
  gf.frameRate = totalDelay > 0 ? double(gf.frames) * 100.0 / double(totalDelay) : 0.0;
  MemFree(buffer);
}

bool CacheHolds(std::string_view name, int64_t size, int64_t date) {
  const PositionCache& c = Cache();
  return c.valid && c.name == name && c.size == size && c.date == date;
}

void TakeFromCache(QGifHandle& gf) {
  const PositionCache& c = Cache();
  const int32_t file = gf.file;
  gf = c.handle;
  gf.file = file;
  std::vector<int32_t> positions;
  for (const auto& block : c.blocks) positions.insert(positions.end(), block.begin(), block.end());
  SetPositions(gf, positions);
}

void StoreInCache(const QGifHandle& gf, std::string_view name, int64_t date, const std::vector<int32_t>& positions) {
  PositionCache& c = Cache();
  c.valid = true;
  c.name = name;
  c.size = gf.fileSize;
  c.date = date;
  c.handle = gf;
  c.handle.file = 0;
  c.handle.positions = nullptr;
  c.blocks.clear();
  for (size_t i = 0; i < positions.size(); i += 256)
    c.blocks.emplace_back(positions.begin() + long(i), positions.begin() + long(std::min(positions.size(), i + 256)));
}

// A window clipped to the screen; empty when it lies outside.
struct Rect {
  int32_t left, top, width, height;
};

Rect Clip(const QGifHandle& gf, const FrameHeader& h) {
  const int32_t right = std::min(gf.width, h.left + h.width);
  const int32_t bottom = std::min(gf.height, h.top + h.height);
  Rect r{h.left, h.top, std::max(0, right - h.left), std::max(0, bottom - h.top)};
  if (r.width == 0 || r.height == 0) r = Rect{0, 0, 0, 0};
  return r;
}

size_t Offset(const Qimg& img, int32_t x, int32_t y) {
  return (size_t(y) * size_t(img.width) + size_t(x)) * size_t(img.bytesPerPixel);
}

// The screen's background as a pixel: the index at 8 bits, its colour at 24.
const uint8_t* BackgroundPixel(const QGifHandle& gf, uint8_t& index) {
  static const uint8_t kBlack[3] = {};
  index = uint8_t(std::max(0, gf.background));
  if (gf.bytesPerPixel == 1) return &index;
  return gf.background >= 0 ? gf.palette[gf.background] : kBlack;
}

void FillRect(Qimg& img, const Rect& r, const uint8_t* pixel) {
  const int32_t bp = img.bytesPerPixel;
  for (int32_t y = 0; y < r.height; ++y) {
    uint8_t* row = img.data + Offset(img, r.left, r.top + y);
    if (bp == 1)
      std::memset(row, *pixel, size_t(r.width));
    else
      for (int32_t x = 0; x < r.width; ++x) std::memcpy(row + 3 * x, pixel, 3);
  }
}

// Copies a rectangle of the screen to or from a packed block of its size.
void CopyRect(Qimg& img, const Rect& r, uint8_t* block, bool toScreen) {
  const size_t rowBytes = size_t(r.width) * size_t(img.bytesPerPixel);
  for (int32_t y = 0; y < r.height; ++y) {
    uint8_t* row = img.data + Offset(img, r.left, r.top + y);
    uint8_t* saved = block + size_t(y) * rowBytes;
    if (toScreen)
      std::memcpy(row, saved, rowBytes);
    else
      std::memcpy(saved, row, rowBytes);
  }
}

void DisposePrevious(QGifHandle& gf, Qimg& img) {
  const Rect r{gf.prevLeft, gf.prevTop, gf.prevWidth, gf.prevHeight};
  uint8_t index;
  if (gf.prevDisposal == 2) FillRect(img, r, BackgroundPixel(gf, index));
  if (gf.prevDisposal == 3 && gf.PrevImg) CopyRect(img, r, gf.PrevImg, true);
}

void RememberWindow(QGifHandle& gf, Qimg& img, const FrameHeader& h) {
  const Rect r = Clip(gf, h);
  gf.prevDisposal = h.disposal;
  gf.prevLeft = r.left;
  gf.prevTop = r.top;
  gf.prevWidth = r.width;
  gf.prevHeight = r.height;
  if (h.disposal != 3 || r.width == 0) return;
  _memalloc_(gf.PrevImg, r.width * r.height * img.bytesPerPixel, MEM_RESIZE, "FF_GIF.GIFLoadNext.gf.PrevImg");
  CopyRect(img, r, gf.PrevImg, false);
}

// Calls place(decoded row, screen row) for each row of a window, interlaced rows arriving in
// four passes.
template <class Place>
void ForEachRow(const FrameHeader& h, Place&& place) {
  if (!Interlaced(h)) {
    for (int32_t y = 0; y < h.height; ++y) place(y, y);
    return;
  }
  static const int32_t kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  int32_t row = 0;
  for (int32_t pass = 0; pass < 4; ++pass)
    for (int32_t y = kStart[pass]; y < h.height; y += kStep[pass]) place(row++, y);
}

// Puts the first `decoded` pixels of a window decoded at its own size onto the screen, clipped,
// without its transparent pixels; pixels the data never reached keep what the screen showed. A
// 24-bit screen takes the colours of the frame's table.
void PlaceWindow(const QGifHandle& gf, Qimg& img, const FrameHeader& h, int32_t decoded,
                 const uint8_t (&table)[256][3]) {
  const Rect r = Clip(gf, h);
  if (r.width == 0) return;
  const int32_t key = h.transparent;
  ForEachRow(h, [&](int32_t from, int32_t y) {
    const int32_t width = std::clamp(decoded - from * h.width, 0, r.width);
    if (y >= r.height || width == 0) return;
    const uint8_t* src = gf.window + size_t(from) * size_t(h.width);
    uint8_t* dst = img.data + Offset(img, r.left, r.top + y);
    if (img.bytesPerPixel == 3) {
      for (int32_t x = 0; x < width; ++x)
        if (src[x] != key) std::memcpy(dst + 3 * x, table[src[x]], 3);
    } else if (key < 0) {
      std::memcpy(dst, src, size_t(width));
    } else {
      for (int32_t x = 0; x < width; ++x)
        if (src[x] != key) dst[x] = src[x];
    }
  });
}

void EnsureScreen(const QGifHandle& gf, Qimg& img) {
  if (ImgValid(img) && img.width == gf.width && img.height == gf.height && img.bpp == gf.bpp) return;
  if (_imgalloc_(img, gf.width, gf.height, gf.bpp, "FF_GIF.GIFLoadNext.ih") != 0) MonAbort();
  ImgSetDims(img, gf.width, gf.height, gf.bpp);
}

// Reads frame n's bytes, from its first block to the next frame's, into gf.data.
int32_t ReadFrameBytes(QGifHandle& gf, int32_t n) {
  const int64_t start = gf.positions[n];
  const int64_t length =
      std::clamp<int64_t>(std::min(gf.fileSize, int64_t(gf.positions[n + 1])) - start, 0, int64_t(IMG_MAX_BYTES));
  if (length == 0) ErrSet(7, 9);
  _memalloc_(gf.data, int32_t(length) + 8, MEM_RESIZE, "FF_GIF.GIFLoadNext.GIFCmpsBuf");
  int32_t got = 0;
  if (FSeek(gf.file, start) == 0) got = ReadSome(gf.file, gf.data, int32_t(length));
  if (got == 0) ErrSet(7, 9);
  std::memset(gf.data + got, 0, size_t(length) + 8 - size_t(got));
  return got;
}

// The most pixels LZW data of that many bytes can give: codes are at least 2 bits, and the k-th
// code after a clear stands for at most k pixels, never more than 4096. A window the data cannot
// fill gets no room beyond it.
int64_t MaxPixels(int32_t bytes) {
  const int64_t codes = int64_t(std::max(0, bytes)) * 4;
  return std::min(codes * kMaxCodes, codes * (codes + 1) / 2);
}

void DecodeFrame(QGifHandle& gf, Qimg& img) {
  const int32_t n = gf.decoded;
  const int32_t got = ReadFrameBytes(gf, n);
  FrameHeader h;
  if (!ParseFrameHeader(gf.data, got, h)) ErrSet(7, 4);
  int32_t at = h.dataStart;
  uint8_t table[256][3];
  std::memcpy(table, gf.palette, sizeof table);
  if (LocalTable(h)) {
    const int32_t bytes = TableBytes(h.flags);
    if (got - at < bytes) ErrSet(7, 9);
    StoreTable(gf.data + at, bytes, table);
    at += bytes;
  }
  if (img.bytesPerPixel == 1) std::memcpy(img.palette, table, sizeof table);
  uint8_t index;
  if (n == 0) FillRect(img, Rect{0, 0, gf.width, gf.height}, BackgroundPixel(gf, index));
  RememberWindow(gf, img, h);
  if (h.width == 0 || h.height == 0) return;
  if (!ImgCheckDims(h.width, h.height, 8)) MonAbort();
  // A window that is the 8-bit screen itself, shown whole, is decoded in place.
  const bool direct = img.bytesPerPixel == 1 && CoversScreen(gf, h) && !Interlaced(h) && h.transparent < 0;
  const int32_t pixels = int32_t(std::min<int64_t>(int64_t(h.width) * h.height, MaxPixels(got - at)));
  if (!direct) _memalloc_(gf.window, pixels, MEM_RESIZE, "FF_GIF.GIFLoadNext.ih_temp");
  if (!gf.table) _memalloc_(gf.table, int32_t(sizeof(QGifLzwTable)), MEM_RESIZE, "FF_GIF.GIFLoadNext.GIFLZWChBuf");
  const int32_t decoded = GIFDecodeLzw_(gf.data + at, got - at, direct ? img.data : gf.window, pixels, *gf.table);
  if (decoded < 0) ErrSet(7, 9);
  if (!direct) PlaceWindow(gf, img, h, decoded, table);
}

}  // namespace

int32_t GIFDecodeLzw_(uint8_t* data, int32_t length, uint8_t* out, int32_t capacity, QGifLzwTable& t) {
  if (length < 1) return 0;
  const int32_t minSize = data[0];
  if (minSize < 1 || minSize > 8) return -1;
  // Join the sub-blocks in place: the codes run on across their length bytes.
  int32_t bytes = 0;
  for (int32_t at = 1; at < length;) {
    const int32_t n = std::min(int32_t(data[at]), length - at - 1);
    if (n == 0) break;
    std::memmove(data + bytes, data + at + 1, size_t(n));
    bytes += n;
    at += 1 + n;
  }
  std::memset(data + bytes, 0, 8);
  const int32_t clear = 1 << minSize, end = clear + 1;
  for (int32_t c = 0; c < clear; ++c) {
    t.suffix[c] = t.first[c] = uint8_t(c);
    t.length[c] = 1;
  }
  const uint64_t totalBits = uint64_t(bytes) * 8;
  uint64_t bit = 0;
  int32_t size = minSize + 1, mask = (1 << size) - 1, next = clear + 2, prev = -1, written = 0;
  while (written < capacity && bit + uint64_t(size) <= totalBits) {
    uint64_t word;
    std::memcpy(&word, data + (bit >> 3), 8);
    const int32_t code = int32_t((word >> (bit & 7)) & uint64_t(mask));
    bit += uint64_t(size);
    if (code == clear) {
      size = minSize + 1;
      mask = (1 << size) - 1;
      next = clear + 2;
      prev = -1;
      continue;
    }
    if (code == end) break;
    if (prev < 0) {
      if (code > clear) return -1;
      out[written++] = uint8_t(code);
      prev = code;
      continue;
    }
    if (code > next) return -1;
    if (next < kMaxCodes) {
      // The new entry is the previous string and the first byte of this one; for the code that is
      // being defined right now that byte is the previous string's first.
      const uint8_t firstByte = code == next ? t.first[prev] : t.first[code];
      t.prefix[next] = uint16_t(prev);
      t.suffix[next] = firstByte;
      t.first[next] = t.first[prev];
      t.length[next] = uint16_t(t.length[prev] + 1);
      ++next;
      if (next > mask && size < 12) {
        ++size;
        mask = (1 << size) - 1;
      }
    }
    int32_t c = code;
    int32_t len = t.length[c];
    // A string that overruns the target is cut at its end.
    for (int32_t drop = written + len - capacity; drop > 0; --drop, --len) c = t.prefix[c];
    uint8_t* p = out + written + len;
    written += len;
    for (int32_t k = 0; k < len; ++k) {
      *--p = t.suffix[c];
      c = t.prefix[c];
    }
    prev = code;
  }
  return written;
}

void GIFFreeFPosBlk_() { Cache() = PositionCache{}; }

void GIFOpen(QGifHandle& gf, std::string_view name, bool single) {
  uint8_t* buffer = nullptr;
  Guarded("FF_GIF.GIFOpen", [&] {
    gf = QGifHandle{};
    MonSetCleanup([&] {
      MemFree(gf.positions);
      gf = QGifHandle{};
    });
    if (FOpen(gf.file, name, FM_READ) != 0) MonAbort();
    ReadHeader(gf);
    if (single) {
      _memalloc_(buffer, kScanBuffer, MEM_RESIZE, "FF_GIF.GIFOpen.GIFCmpsBuf");
      ScanReader reader(gf.file, buffer, FPos(gf.file));
      const ScanStep step = ScanFrame(reader, true);
      MemFree(buffer);
      if (step.position < 0) ErrSet(7, 4);
      gf.frames = 1;
      gf.frameRate = step.header.delay > 0 ? 100.0 / step.header.delay : 0.0;
      SetPositions(gf, {int32_t(step.position), int32_t(std::min<int64_t>(gf.fileSize, INT32_MAX))});
      return;
    }
    const int64_t date = FileDate(name);
    if (CacheHolds(name, gf.fileSize, date)) {
      TakeFromCache(gf);
      return;
    }
    GIFFreeFPosBlk_();
    std::vector<int32_t> positions;
    ScanAll(gf, buffer, positions);
    SetPositions(gf, positions);
    StoreInCache(gf, name, date, positions);
  });
}

void GIFInfo(std::string_view name, QffInfo& info) {
  QGifHandle gf;
  Guarded("FF_GIF.GIFInfo", [&] {
    MonSetCleanup([&] { GIFClose(gf); });
    GIFOpen(gf, name, false);
    info.fileSize = gf.fileSize;
    info.video.width = gf.width;
    info.video.height = gf.height;
    info.video.bytesPerPixel = gf.bytesPerPixel;
    info.video.bpp = gf.bpp;
    info.video.frames = gf.frames;
    info.video.frameRate = gf.frameRate;
    if (gf.frameRate > 0) info.video.duration = gf.frames / gf.frameRate;
    info.video.compression = kCompression;
    info.video.hasVideo = info.video.videoReadable = gf.frames > 0 ? RF_TRUE : RF_FALSE;
    GIFClose(gf);
  });
}

void GIFLoadNext(QGifHandle& gf, Qimg& img) {
  Guarded("FF_GIF.GIFLoadNext", [&] {
    if (gf.frames < 1 || gf.decoded >= gf.frames || !gf.positions) ErrSet(12, 7);
    EnsureScreen(gf, img);
    if (gf.decoded > 0) DisposePrevious(gf, img);
    DecodeFrame(gf, img);
    ++gf.decoded;
  });
}

void GIFLoad(QGifHandle& gf, Qimg& img, int32_t frame, int32_t flags) {
  Guarded("FF_GIF.GIFLoad", [&] {
    if (frame < 0 || frame > gf.frames) ErrSet(12, 1);
    const bool holdsLast = (flags & 1) != 0;
    if (frame == 0 || frame == gf.decoded + 1) {
      GIFLoadNext(gf, img);
      return;
    }
    if (holdsLast && frame == gf.decoded) return;
    if (!gf.dependent) {
      // Every frame covers the screen: the one before needs no disposal.
      gf.decoded = frame - 1;
      gf.prevDisposal = 0;
    } else if (!(holdsLast && frame > gf.decoded)) {
      gf.decoded = 0;
    }
    while (gf.decoded < frame) GIFLoadNext(gf, img);
  });
}

void GIFClose(QGifHandle& gf) {
  if (gf.writing) {
    GIFFinish_(gf);
    gf = QGifHandle{};
    return;
  }
  MemFree(gf.PrevImg);
  MemFree(gf.positions);
  MemFree(gf.data);
  MemFree(gf.window);
  MemFree(gf.table);
  if (gf.file) FClose(gf.file);
  gf.file = 0;
}

void GIFLoad_(std::string_view name, Qimg& img) {
  QGifHandle gf;
  Guarded("FF_GIF.GIFLoad_", [&] {
    MonSetCleanup([&] { GIFClose(gf); });
    GIFOpen(gf, name, true);
    GIFLoad(gf, img, 1, 0);
    GIFClose(gf);
  });
}

}  // namespace rf
