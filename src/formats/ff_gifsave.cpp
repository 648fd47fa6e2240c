// Animated GIF writer: 8-bit frames reduced to the rectangle that changed, unchanged pixels in it
// made transparent, each coded with our LZW encoder.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "formats/ff_gif.h"
#include "formats/ffbasic.h"
#include "formats/ffdesc.h"
#include "formats/stillio.h"
#include "foundation/bytes.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {

// The state of one GIF being written.
struct QGifWriter {
  double rate = 0;
  int32_t loops = 0;
  int32_t animated = 0;   // write the NETSCAPE loop block
  int32_t hasGlobal = 0;  // the caller gave the global colour table
  uint8_t global[256][3] = {};
  uint8_t* shown = nullptr;  // blue-green-red of the screen as a viewer shows it after the last frame
};

namespace {

constexpr int32_t kMaxCodes = 4096;
constexpr int32_t kHashSize = 8192;
constexpr int32_t kBlock = 255;
constexpr int32_t kDisposeNone = 1 << 2;  // leave the frame in place for the next one

int32_t gLoops = 0;

// Packs codes least significant bit first into sub-blocks of at most 255 bytes.
class CodeWriter {
 public:
  explicit CodeWriter(std::vector<uint8_t>& out) : out_(out) {}

  void put(uint32_t code, int32_t size) {
    acc_ |= uint64_t(code) << bits_;
    bits_ += size;
    while (bits_ >= 8) {
      byte(uint8_t(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  void finish() {
    if (bits_ > 0) byte(uint8_t(acc_));
    flushBlock();
    out_.push_back(0);
  }

 private:
  void byte(uint8_t b) {
    block_[fill_++] = b;
    if (fill_ == kBlock) flushBlock();
  }
  void flushBlock() {
    if (fill_ == 0) return;
    out_.push_back(uint8_t(fill_));
    out_.insert(out_.end(), block_, block_ + fill_);
    fill_ = 0;
  }

  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int32_t bits_ = 0;
  uint8_t block_[kBlock];
  int32_t fill_ = 0;
};

// The delay of frame k in hundredths: the rounded end time minus the rounded start time, so that
// no rounding error piles up (3 frames per second give 33, 34, 33).
int32_t DelayOf(double rate, int32_t k) {
  if (rate <= 0) return 0;
  const auto at = [rate](int32_t n) { return int64_t(std::llround(n * 100.0 / rate)); };
  return int32_t(std::clamp<int64_t>(at(k + 1) - at(k), 0, 65535));
}

int32_t BitsFor(int32_t maxIndex) {
  int32_t bits = 2;
  while ((1 << bits) <= maxIndex) ++bits;
  return bits;
}

void PutTable(ByteWriter& w, const uint8_t (&palette)[256][3], int32_t entries) {
  for (int32_t i = 0; i < entries; ++i) {
    w.u8(palette[i][2]);
    w.u8(palette[i][1]);
    w.u8(palette[i][0]);
  }
}

void WriteBytes(const QGifHandle& gf, const ByteWriter& w) { FWrite(gf.file, w.bytes().data(), int32_t(w.size())); }

void WriteScreen(QGifHandle& gf, const Qimg& img) {
  QGifWriter& wr = *gf.writer;
  gf.width = img.width;
  gf.height = img.height;
  gf.bytesPerPixel = 1;
  gf.bpp = 8;
  if (!wr.hasGlobal) std::memcpy(wr.global, img.palette, sizeof wr.global);
  _memalloc_(wr.shown, img.width * img.height * 3, MEM_RESIZE, "FF_GIF.GIFSave.shown");
  ByteWriter w;
  w.write("GIF89a", 6);
  w.u16le(uint32_t(img.width));
  w.u16le(uint32_t(img.height));
  w.u8(0xF7);  // a global table of 256 entries, 8 bits of colour resolution
  w.u8(0);
  w.u8(0);
  PutTable(w, wr.global, 256);
  if (wr.animated) {
    w.u8(0x21);
    w.u8(0xFF);
    w.u8(11);
    w.write("NETSCAPE2.0", 11);
    w.u8(3);
    w.u8(1);
    w.u16le(uint32_t(wr.loops));
    w.u8(0);
  }
  WriteBytes(gf, w);
}

// The smallest rectangle holding every pixel whose colour differs from the screen shown.
struct Change {
  int32_t left = 0, top = 0, width = 0, height = 0;
};

bool Differs(const Qimg& img, const uint8_t* shown, size_t i) {
  return std::memcmp(img.palette[img.data[i]], shown + 3 * i, 3) != 0;
}

Change FindChange(const Qimg& img, const uint8_t* shown) {
  int32_t left = img.width, right = -1, top = img.height, bottom = -1;
  for (int32_t y = 0; y < img.height; ++y) {
    const size_t row = size_t(y) * size_t(img.width);
    int32_t x0 = 0;
    while (x0 < img.width && !Differs(img, shown, row + size_t(x0))) ++x0;
    if (x0 == img.width) continue;
    int32_t x1 = img.width - 1;
    while (!Differs(img, shown, row + size_t(x1))) --x1;
    left = std::min(left, x0);
    right = std::max(right, x1);
    top = std::min(top, y);
    bottom = y;
  }
  if (right < 0) return Change{0, 0, 1, 1};  // nothing changed: one transparent pixel keeps the time
  return Change{left, top, right - left + 1, bottom - top + 1};
}

// Cuts the rectangle out of the frame; unchanged pixels become the transparent index when one is
// free. Returns that index, or -1; the screen shown takes the new colours.
int32_t CutRectangle(const Qimg& img, uint8_t* shown, const Change& c, bool first, std::vector<uint8_t>& pixels) {
  bool used[256] = {};
  pixels.resize(size_t(c.width) * size_t(c.height));
  for (int32_t y = 0; y < c.height; ++y)
    for (int32_t x = 0; x < c.width; ++x) {
      const size_t i = size_t(c.top + y) * size_t(img.width) + size_t(c.left + x);
      if (first || Differs(img, shown, i)) used[img.data[i]] = true;
    }
  int32_t key = -1;
  if (!first)
    for (int32_t k = 0; k < 256 && key < 0; ++k)
      if (!used[k]) key = k;
  for (int32_t y = 0; y < c.height; ++y)
    for (int32_t x = 0; x < c.width; ++x) {
      const size_t i = size_t(c.top + y) * size_t(img.width) + size_t(c.left + x);
      const bool changed = first || Differs(img, shown, i);
      pixels[size_t(y) * size_t(c.width) + size_t(x)] = changed || key < 0 ? img.data[i] : uint8_t(key);
      if (changed) std::memcpy(shown + 3 * i, img.palette[img.data[i]], 3);
    }
  return key;
}

void WriteFrame(QGifHandle& gf, const Qimg& img) {
  QGifWriter& wr = *gf.writer;
  if (gf.decoded == 0) WriteScreen(gf, img);
  if (img.width != gf.width || img.height != gf.height || img.bpp != 8) ErrSet(14, 1);
  const bool first = gf.decoded == 0;
  const Change c = first ? Change{0, 0, img.width, img.height} : FindChange(img, wr.shown);
  std::vector<uint8_t> pixels;
  const int32_t key = CutRectangle(img, wr.shown, c, first, pixels);
  const bool local = std::memcmp(img.palette, wr.global, sizeof wr.global) != 0;
  const int32_t maxIndex = std::max(key, int32_t(*std::max_element(pixels.begin(), pixels.end())));
  const int32_t bits = BitsFor(maxIndex);

  ByteWriter w;
  w.write("\x21\xF9\x04", 3);
  w.u8(uint32_t(kDisposeNone | (key >= 0 ? 1 : 0)));
  w.u16le(uint32_t(DelayOf(wr.rate, gf.decoded)));
  w.u8(uint32_t(std::max(0, key)));
  w.u8(0);
  w.u8(',');
  w.u16le(uint32_t(c.left));
  w.u16le(uint32_t(c.top));
  w.u16le(uint32_t(c.width));
  w.u16le(uint32_t(c.height));
  w.u8(local ? uint32_t(0x80 | (bits - 1)) : 0);
  if (local) PutTable(w, img.palette, 1 << bits);
  GIFEncodeLzw_(pixels.data(), int32_t(pixels.size()), bits, w.bytes());
  WriteBytes(gf, w);
  ++gf.decoded;
  ++gf.frames;
}

// Gives up a writer after a failure: the half-written file is removed.
void Abandon(QGifHandle& gf) {
  FAbandon(gf.file);
  gf.file = 0;
  if (gf.writer) MemFree(gf.writer->shown);
  MemFree(gf.writer);
}

void StartWriter(QGifHandle& gf, std::string_view name, double rate, bool animated) {
  gf = QGifHandle{};
  _memalloc_(gf.writer, int32_t(sizeof(QGifWriter)), MEM_RESIZE, "FF_GIF.GIFCreate.writer");
  new (gf.writer) QGifWriter{};
  gf.writer->rate = rate;
  gf.writer->loops = gLoops;
  gf.writer->animated = animated ? RF_TRUE : RF_FALSE;
  gf.writing = RF_TRUE;
  gf.frameRate = rate;
  if (FOpen(gf.file, name, FM_CREATE | FM_WRITE) != 0) MonAbort();
}

}  // namespace

void GIFEncodeLzw_(const uint8_t* pixels, int32_t count, int32_t bits, std::vector<uint8_t>& out) {
  const int32_t minSize = std::clamp(bits, 2, 8);
  const int32_t clear = 1 << minSize, end = clear + 1;
  // Open addressing over (prefix code, byte) keys; a key of 0 marks a free slot.
  std::vector<uint32_t> keys(kHashSize);
  std::vector<uint16_t> codes(kHashSize);
  out.push_back(uint8_t(minSize));
  CodeWriter cw(out);
  int32_t size = minSize + 1, next = clear + 2;
  cw.put(uint32_t(clear), size);
  if (count <= 0) {
    cw.put(uint32_t(end), size);
    cw.finish();
    return;
  }
  // The encoder defines each code one step before the decoder does; the code size follows the
  // decoder's count, which is one behind.
  const auto define = [&] {
    ++next;
    if (next > (1 << size) && size < 12) ++size;
  };
  uint32_t prefix = pixels[0];
  for (int32_t i = 1; i < count; ++i) {
    const uint32_t key = ((prefix << 8) | pixels[i]) + 1;
    uint32_t slot = (key * 2654435761u) >> 19;
    while (keys[slot] != 0 && keys[slot] != key) slot = (slot + 1) & (kHashSize - 1);
    if (keys[slot] == key) {
      prefix = codes[slot];
      continue;
    }
    cw.put(prefix, size);
    keys[slot] = key;
    codes[slot] = uint16_t(next);
    define();
    if (next == kMaxCodes) {
      cw.put(uint32_t(clear), size);
      std::fill(keys.begin(), keys.end(), 0u);
      size = minSize + 1;
      next = clear + 2;
    }
    prefix = pixels[i];
  }
  cw.put(prefix, size);
  define();
  cw.put(uint32_t(end), size);
  cw.finish();
}

void GIFSetLoops(int32_t loops) { gLoops = std::clamp(loops, 0, 65535); }

void GIFCreate(QGifHandle& gf, std::string_view name, double frameRate) {
  Guarded("FF_GIF.GIFCreate", [&] {
    MonSetCleanup([&] { Abandon(gf); });
    StartWriter(gf, name, frameRate, true);
  });
}

void GIFSetGlobalPalette(QGifHandle& gf, const uint8_t (&palette)[256][3]) {
  if (!gf.writer || gf.decoded > 0) return;
  std::memcpy(gf.writer->global, palette, sizeof gf.writer->global);
  gf.writer->hasGlobal = RF_TRUE;
}

void GIFSave(QGifHandle& gf, Qimg& img) {
  QffPrepared prepared;
  Guarded("FF_GIF.GIFSave", [&] {
    if (!gf.writing || !gf.writer) ErrSet(12, 2);
    MonSetCleanup([&] {
      FFDone(prepared);
      Abandon(gf);
    });
    FFInit(FF_GIF, prepared, img, 1);
    WriteFrame(gf, *prepared.img);
    FFDone(prepared);
  });
}

void GIFSave_(std::string_view name, const Qimg& img) {
  QGifHandle gf;
  Qimg temp;
  Guarded("FF_GIF.GIFSave_", [&] {
    MonSetCleanup([&] {
      ImgFree(temp);
      Abandon(gf);
    });
    if (!ImgValid(img) || img.width > 65535 || img.height > 65535) ErrSet(7, 2);
    StartWriter(gf, name, 0, false);
    WriteFrame(gf, ImgFileAtDepth(img, temp, 8));
    ImgFree(temp);
    GIFClose(gf);
  });
}

void GIFFinish_(QGifHandle& gf) {
  Guarded("FF_GIF.GIFClose", [&] {
    MonSetCleanup([&] { Abandon(gf); });
    if (gf.file) {
      // A file without frames still gets its screen, so that it is a GIF.
      if (gf.decoded == 0) {
        ByteWriter w;
        w.write("GIF89a\0\0\0\0\0\0\0", 13);
        WriteBytes(gf, w);
      }
      const uint8_t trailer = ';';
      FWrite(gf.file, &trailer, 1);
      FClose(gf.file);
      gf.file = 0;
    }
    MemFree(gf.writer->shown);
    MemFree(gf.writer);
  });
}

}  // namespace rf
