// HAV strip codecs: MSB-first bit streams read through a 64-bit window and written through a
// 64-bit accumulator, so no inner loop calls a function per bit or allocates per pixel.
#include "formats/havcodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace rf {
namespace {

static_assert(std::endian::native == std::endian::little, "the match finder compares words as little-endian");

constexpr int32_t kMaxNumber = 767;
constexpr int32_t kMaxLongSkip = kMaxNumber * 64 + 63 - 62;
constexpr int32_t kShortSkipMax = 65;
constexpr int32_t kPhraseSlots = 1024;
// Stream bits a literal costs: the yardstick of the BEST writer's choices.
constexpr int32_t kLiteralBits = 10;

struct Phrase {
  int32_t pos;
  int32_t len;
};

class BitReader {
 public:
  explicit BitReader(const uint8_t* data) : data_(data) {}
  // The next n bits (1 .. 32), most significant first, without consuming them.
  uint32_t Peek(int n) const {
    uint64_t w;
    std::memcpy(&w, data_ + (pos_ >> 3), 8);
    w = __builtin_bswap64(w);
    return uint32_t((w << (pos_ & 7)) >> (64 - n));
  }
  void Skip(int n) { pos_ += uint64_t(n); }
  uint32_t Read(int n) {
    const uint32_t v = Peek(n);
    pos_ += uint64_t(n);
    return v;
  }
  uint64_t pos() const { return pos_; }

 private:
  const uint8_t* data_;
  uint64_t pos_ = 0;
};

int32_t ReadNumber(BitReader& br) {
  const uint32_t w = br.Peek(16);
  const int zeros = std::countl_zero(uint16_t(w));
  if (zeros >= 7) {
    br.Skip(16);
    return int32_t(256 + (w & 511));
  }
  const int length = 2 * zeros + 2;
  br.Skip(length);
  return int32_t(w >> (16 - length));
}

// The decoder's output position inside one strip.
struct Output {
  uint8_t* out;
  int64_t p;
  int64_t total;
  int64_t row;
  int32_t bpp;
  bool Room(int64_t n) const { return n <= total - p; }
};

bool PutLiteral(Output& o, uint32_t byte) {
  if (o.p >= o.total) return false;
  o.out[o.p++] = uint8_t(byte);
  return true;
}

// A run pixel arrives as 1 byte, a 16-bit value MSB first, or bytes first, third, second.
bool PutRun(Output& o, uint32_t pixel, int32_t count) {
  const int64_t bytes = int64_t(count) * o.bpp;
  if (!o.Room(bytes)) return false;
  uint8_t* d = o.out + o.p;
  if (o.bpp == 1) {
    std::memset(d, int(pixel), size_t(bytes));
  } else {
    const uint8_t px[3] = {uint8_t(o.bpp == 2 ? pixel : pixel >> 16), uint8_t(o.bpp == 2 ? pixel >> 8 : pixel),
                           uint8_t(pixel >> 8)};
    std::memcpy(d, px, size_t(o.bpp));
    for (int64_t done = o.bpp; done < bytes;) {
      const int64_t n = std::min(done, bytes - done);
      std::memcpy(d + done, d, size_t(n));
      done += n;
    }
  }
  o.p += bytes;
  return true;
}

// Copies run byte by byte forward, so a source just behind p repeats its pattern.
bool PutCopy(Output& o, int64_t src, int64_t len) {
  if (src < 0 || !o.Room(len) || src + len > o.total) return false;
  uint8_t* d = o.out + o.p;
  const uint8_t* s = o.out + src;
  const int64_t dist = o.p - src;
  if (dist >= len || dist <= -len) {
    std::memcpy(d, s, size_t(len));
  } else if (dist >= 8) {
    for (int64_t done = 0; done < len; done += dist)
      std::memcpy(d + done, s + done, size_t(std::min(dist, len - done)));
  } else {
    for (int64_t i = 0; i < len; ++i) d[i] = s[i];
  }
  o.p += len;
  return true;
}

bool PutSkip(Output& o, int64_t len) {
  if (!o.Room(len)) return false;
  o.p += len;
  return true;
}

}  // namespace

void HavNumberCode(int32_t v, uint32_t& bits, int32_t& length) {
  if (v >= 256) {
    bits = uint32_t(v - 256);
    length = 16;
    return;
  }
  bits = uint32_t(v);
  length = 2 * int32_t(std::bit_width(uint32_t(v))) - 2;
}

bool HavDecodeBest(const uint8_t* stream, int32_t size, uint8_t* out, const HavStrip& strip) {
  BitReader br(stream);
  Output o{out, 0, strip.total, strip.row, strip.bytesPerPixel};
  const uint64_t limit = uint64_t(std::max(0, size)) * 8;
  std::array<Phrase, kPhraseSlots> ring;
  int32_t filled = 0;
  int32_t next = 0;
  while (br.pos() <= limit) {
    const uint32_t t = br.Peek(12);
    bool ok;
    if (t >= 3072) {
      br.Skip(10);
      ok = PutLiteral(o, (t >> 2) & 255);
    } else if (t >= 1536) {
      br.Skip(12);
      const int32_t n = ReadNumber(br);
      const int32_t i = int32_t(t - 1536) >> 6;
      const int64_t d = i <= 11 ? 64 + int64_t(i) * o.row : int64_t(i - 11) * o.row;
      const int64_t at = o.p;
      ok = PutCopy(o, at - d + (t & 63), n);
      ring[size_t(next)] = Phrase{int32_t(at), n};
      next = (next + 1) % kPhraseSlots;
      filled = std::min(filled + 1, kPhraseSlots);
    } else if (t >= 512) {
      br.Skip(12);
      const int32_t slot = int32_t(t) - 512;
      ok = slot < filled && PutCopy(o, ring[size_t(slot)].pos, ring[size_t(slot)].len);
    } else if (t >= 448) {
      br.Skip(12);
      if (o.p == o.total) return br.pos() <= limit;
      ok = PutSkip(o, int64_t(ReadNumber(br)) * 64 + (t & 63) - 62);
    } else if (t >= 384) {
      br.Skip(12);
      ok = PutSkip(o, (t & 63) + 2);
    } else if (t >= 256) {
      br.Skip(12);
      ok = PutCopy(o, o.p - o.row, (t & 127) + 2);
    } else {
      br.Skip(4);
      const uint32_t pixel = br.Read(8 * o.bpp);
      ok = PutRun(o, pixel, ReadNumber(br));
    }
    if (!ok) return false;
  }
  return false;
}

bool HavDecodeFast(const uint8_t* stream, int32_t size, uint8_t* out, const HavStrip& strip) {
  BitReader br(stream);
  Output o{out, 0, strip.total, strip.row, strip.bytesPerPixel};
  const uint64_t limit = uint64_t(std::max(0, size)) * 8;
  while (br.pos() <= limit) {
    const uint32_t t = br.Peek(10);
    bool ok;
    if (t >= 512) {
      br.Skip(9);
      ok = PutLiteral(o, (t >> 1) & 255);
    } else if (t >= 448) {
      br.Skip(10);
      if (o.p == o.total) return br.pos() <= limit;
      ok = PutSkip(o, int64_t(ReadNumber(br)) * 64 + (t & 63) - 62);
    } else if (t >= 384) {
      br.Skip(10);
      ok = PutSkip(o, (t & 63) + 2);
    } else if (t >= 256) {
      br.Skip(9);
      ok = PutCopy(o, o.p - o.row, ((t >> 1) & 63) + 2);
    } else {
      br.Skip(2);
      const uint32_t pixel = br.Read(8 * o.bpp);
      ok = PutRun(o, pixel, ReadNumber(br));
    }
    if (!ok) return false;
  }
  return false;
}

namespace {

class BitWriter {
 public:
  BitWriter(uint8_t* out, int32_t capacity) : begin_(out), out_(out), end_(out + std::max(0, capacity)) {}
  // Room for one more token; the longest is 44 bits.
  bool Room() const { return end_ - out_ >= 8; }
  void Put(uint32_t bits, int n) {
    acc_ = (acc_ << n) | bits;
    n_ += n;
    if (n_ >= 32) {
      n_ -= 32;
      const uint32_t word = __builtin_bswap32(uint32_t(acc_ >> n_));
      std::memcpy(out_, &word, 4);
      out_ += 4;
    }
  }
  void PutNumber(int32_t v) {
    uint32_t bits;
    int32_t length;
    HavNumberCode(v, bits, length);
    Put(bits, length);
  }
  // The stream's length with its last byte padded by zero bits; -1 past the capacity.
  int32_t Finish() {
    for (; n_ > 0; n_ -= 8) {
      if (out_ == end_) return -1;
      *out_++ = uint8_t(n_ >= 8 ? acc_ >> (n_ - 8) : acc_ << (8 - n_));
    }
    return int32_t(out_ - begin_);
  }

 private:
  uint8_t* begin_;
  uint8_t* out_;
  uint8_t* end_;
  uint64_t acc_ = 0;
  int n_ = 0;
};

// The token codes that differ between the two codecs; the run prefix is all zeros in both.
struct Dialect {
  int literalBits;
  uint32_t literalPrefix;
  int runBits;
  uint32_t copyPrefix;
  int copyBits;
  int32_t copyMax;
  uint32_t shortSkip;
  uint32_t longSkip;
  int skipBits;
};
constexpr Dialect kFast{9, 1u << 8, 2, 0b010u << 6, 9, 65, 0b0110u << 6, 0b0111u << 6, 10};
constexpr Dialect kBest{10, 0b11u << 8, 4, 0b00010u << 7, 12, 129, 0b000110u << 6, 0b000111u << 6, 12};

enum class Kind { Literal, Run, Copy, Skip, BackRef, Repeat };

struct Token {
  Kind kind = Kind::Literal;
  int32_t len = 1;  // bytes of the strip it produces
  int32_t arg = 0;  // back-reference: its 12-bit code; repeat: the phrase slot
};

int32_t MatchLen(const uint8_t* a, const uint8_t* b, int32_t max) {
  int32_t n = 0;
  for (; n + 8 <= max; n += 8) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + (std::countr_zero(x ^ y) >> 3);
  }
  while (n < max && a[n] == b[n]) ++n;
  return n;
}

// Equal pixels starting at p, at most maxPixels; below 2 means no run.
int32_t RunPixels(const uint8_t* cur, int32_t left, int32_t bpp, int32_t maxPixels) {
  if (left < 2 * bpp) return 0;
  const int32_t same = MatchLen(cur + bpp, cur, std::min(left - bpp, (maxPixels - 1) * bpp));
  return (same + bpp) / bpp;
}

uint32_t StreamPixel(const uint8_t* px, int32_t bpp) {
  if (bpp == 1) return px[0];
  if (bpp == 2) return uint32_t(px[1]) << 8 | px[0];
  return uint32_t(px[0]) << 16 | uint32_t(px[2]) << 8 | px[1];
}

void Emit(BitWriter& bw, const Dialect& d, const Token& tk, const uint8_t* at, int32_t bpp) {
  switch (tk.kind) {
    case Kind::Literal:
      bw.Put(d.literalPrefix | at[0], d.literalBits);
      break;
    case Kind::Run:
      bw.Put(0, d.runBits);
      bw.Put(StreamPixel(at, bpp), 8 * bpp);
      bw.PutNumber(tk.len / bpp);
      break;
    case Kind::Copy:
      bw.Put(d.copyPrefix | uint32_t(tk.len - 2), d.copyBits);
      break;
    case Kind::Skip:
      if (tk.len <= kShortSkipMax) {
        bw.Put(d.shortSkip | uint32_t(tk.len - 2), d.skipBits);
      } else {
        bw.Put(d.longSkip | uint32_t((tk.len - 66) % 64), d.skipBits);
        bw.PutNumber((tk.len - 66) / 64 + 2);
      }
      break;
    case Kind::BackRef:
      bw.Put(uint32_t(tk.arg), 12);
      bw.PutNumber(tk.len);
      break;
    case Kind::Repeat:
      bw.Put(uint32_t(512 + tk.arg), 12);
      break;
  }
}

}  // namespace

int32_t HavEncodeFast(const uint8_t* cur, const uint8_t* prev, const HavStrip& strip, uint8_t* out, int32_t capacity) {
  BitWriter bw(out, capacity);
  const int32_t total = strip.total;
  const int32_t row = strip.row;
  const int32_t bpp = strip.bytesPerPixel;
  for (int32_t p = 0; p < total;) {
    if (!bw.Room()) return -1;
    const int32_t left = total - p;
    const uint8_t* at = cur + p;
    Token tk;
    if (prev && left >= 2 && at[0] == prev[p] && at[1] == prev[p + 1])
      tk = {Kind::Skip, MatchLen(at, prev + p, std::min(left, kMaxLongSkip))};
    if (tk.len < kMaxNumber * bpp) {
      const int32_t pixels = RunPixels(at, left, bpp, kMaxNumber);
      if (pixels >= 2 && pixels * bpp > tk.len) tk = {Kind::Run, pixels * bpp};
    }
    if (tk.len < 66 && p >= row && left >= 2 && at[0] == at[-row] && at[1] == at[1 - row]) {
      const int32_t len = MatchLen(at, at - row, std::min(left, kFast.copyMax));
      if (len >= tk.len) tk = {Kind::Copy, len};
    }
    Emit(bw, kFast, tk, at, bpp);
    p += tk.len;
  }
  if (!bw.Room()) return -1;
  bw.Put(kFast.longSkip, kFast.skipBits);
  return bw.Finish();
}

namespace {

constexpr int kHashBits = 15;
constexpr int32_t kChainDepth = 8;
constexpr int32_t kPhraseHash = 4096;

uint32_t Hash4(const uint8_t* at) {
  uint32_t v;
  std::memcpy(&v, at, 4);
  return (v * 2654435761u) >> (32 - kHashBits);
}

int32_t NumberBits(int32_t v) {
  uint32_t bits;
  int32_t length;
  HavNumberCode(v, bits, length);
  return length;
}

int32_t SkipBits(int32_t len) { return len <= kShortSkipMax ? 12 : 12 + NumberBits((len - 66) / 64 + 2); }

// The 12-bit back-reference code that reaches d bytes back, or 0 when none does: d up to 64,
// or within 64 bytes left or 63 bytes right of the pixel 1 .. 12 rows above.
uint32_t BackRefCode(int32_t d, int32_t row) {
  if (d < 1) return 0;
  if (d <= 64) return 1536 + uint32_t(64 - d);
  const int32_t k = d / row;
  const int32_t rem = d - k * row;
  if (k >= 1 && k <= 11 && rem >= 1 && rem <= 64) return uint32_t(1536 + k * 64 + 64 - rem);
  const int32_t up = rem == 0 ? k : k + 1;
  if (up >= 1 && up <= 12 && up * row - d <= 63) return uint32_t(1536 + (11 + up) * 64 + up * row - d);
  return 0;
}

// The BEST writer's match search: skips against the previous frame, runs, copies from above,
// back-references found through a hash chain over the reachable window, and repeats of phrases
// that earlier back-references recorded. Each is weighed by the bits it saves against literals.
class BestSearch {
 public:
  BestSearch(const uint8_t* cur, const uint8_t* prev, const HavStrip& s)
      : cur_(cur), prev_(prev), s_(s), head_(size_t(1) << kHashBits, -1), phraseOf_(kPhraseHash, -1) {
    const int64_t window = 12 * int64_t(s.row) + 64;
    size_t span = 1;
    while (int64_t(span) <= window) span <<= 1;
    link_.assign(span, -1);
    mask_ = int32_t(span - 1);
  }

  Token Choose(int32_t p) {
    best_ = Token{};
    gain_ = 0;
    const int32_t left = s_.total - p;
    const uint8_t* at = cur_ + p;
    const int32_t bpp = s_.bytesPerPixel;
    if (prev_ && left >= 2 && at[0] == prev_[p] && at[1] == prev_[p + 1]) {
      const int32_t len = MatchLen(at, prev_ + p, std::min(left, kMaxLongSkip));
      Consider(Kind::Skip, len, SkipBits(len), 0);
    }
    const int32_t pixels = RunPixels(at, left, bpp, kMaxNumber);
    if (pixels >= 2) Consider(Kind::Run, pixels * bpp, 4 + 8 * bpp + NumberBits(pixels), 0);
    if (p >= s_.row && left >= 2 && at[0] == at[-s_.row] && at[1] == at[1 - s_.row])
      Consider(Kind::Copy, MatchLen(at, at - s_.row, std::min(left, kBest.copyMax)), 12, 0);
    if (left >= 4) TryRepeat(at, left);
    TryBackRefs(p, at, left);
    return best_;
  }

  // Makes positions from .. to - 1 findable by later back-references.
  void Insert(int32_t from, int32_t to) {
    const int32_t last = std::min(to, s_.total - 3);
    for (int32_t q = from; q < last; ++q) {
      const uint32_t h = Hash4(cur_ + q);
      link_[size_t(q & mask_)] = head_[h];
      head_[h] = q;
    }
  }

  void Record(int32_t p, int32_t len) {
    ring_[size_t(next_)] = Phrase{p, len};
    if (s_.total - p >= 4) phraseOf_[Hash4(cur_ + p) % kPhraseHash] = next_;
    next_ = (next_ + 1) % kPhraseSlots;
  }

 private:
  void Consider(Kind kind, int32_t len, int32_t bits, int32_t arg) {
    const int32_t gain = len * kLiteralBits - bits;
    if (len >= 2 && gain > gain_) {
      best_ = Token{kind, len, arg};
      gain_ = gain;
    }
  }

  void TryRepeat(const uint8_t* at, int32_t left) {
    const int32_t slot = phraseOf_[Hash4(at) % kPhraseHash];
    if (slot < 0) return;
    const Phrase& ph = ring_[size_t(slot)];
    if (ph.len <= left && ph.len * kLiteralBits - 12 > gain_ && cur_[ph.pos] == at[0] &&
        std::memcmp(cur_ + ph.pos, at, size_t(ph.len)) == 0)
      Consider(Kind::Repeat, ph.len, 12, slot);
  }

  // The code of the distance is looked for only when the match would be the best choice.
  void TryDistance(int32_t p, const uint8_t* at, int32_t maxLen, int64_t d) {
    if (d < 1 || d > p || at[0] != at[-d] || at[1] != at[1 - d]) return;
    const int32_t len = MatchLen(at, at - d, maxLen);
    const int32_t bits = 12 + NumberBits(std::max(len, 2));
    if (len * kLiteralBits - bits <= gain_) return;
    const uint32_t code = BackRefCode(int32_t(d), s_.row);
    if (code != 0) Consider(Kind::BackRef, len, bits, int32_t(code));
  }

  void TryBackRefs(int32_t p, const uint8_t* at, int32_t left) {
    if (left < 2) return;
    const int32_t maxLen = std::min(left, kMaxNumber);
    const int64_t row = s_.row;
    const int32_t bpp = s_.bytesPerPixel;
    for (const int64_t d : {int64_t(bpp), int64_t(2 * bpp), row, row - bpp, row + bpp, 2 * row})
      TryDistance(p, at, maxLen, d);
    if (left < 4) return;
    const int64_t window = 12 * row + 64;
    int32_t q = head_[Hash4(at)];
    for (int32_t depth = 0; q >= 0 && depth < kChainDepth; ++depth) {
      if (p - q > window) break;
      TryDistance(p, at, maxLen, p - q);
      const int32_t older = link_[size_t(q & mask_)];
      if (older >= q) break;
      q = older;
    }
  }

  const uint8_t* cur_;
  const uint8_t* prev_;
  HavStrip s_;
  std::vector<int32_t> head_;
  std::vector<int32_t> link_;
  int32_t mask_ = 0;
  std::vector<int32_t> phraseOf_;
  std::array<Phrase, kPhraseSlots> ring_{};
  int32_t next_ = 0;
  Token best_;
  int32_t gain_ = 0;
};

}  // namespace

int32_t HavEncodeBest(const uint8_t* cur, const uint8_t* prev, const HavStrip& strip, uint8_t* out, int32_t capacity) {
  BitWriter bw(out, capacity);
  BestSearch search(cur, prev, strip);
  for (int32_t p = 0; p < strip.total;) {
    if (!bw.Room()) return -1;
    const Token tk = search.Choose(p);
    Emit(bw, kBest, tk, cur + p, strip.bytesPerPixel);
    if (tk.kind == Kind::BackRef) search.Record(p, tk.len);
    search.Insert(p, p + tk.len);
    p += tk.len;
  }
  if (!bw.Room()) return -1;
  bw.Put(kBest.longSkip, kBest.skipBits);
  return bw.Finish();
}

void HavPredict(const uint8_t* pixels, uint8_t* residuals, int32_t total) {
  for (int32_t i = 0; i < std::min(total, 3); ++i) residuals[i] = pixels[i];
  for (int32_t i = 3; i < total; ++i) residuals[i] = uint8_t(pixels[i] - pixels[i - 3]);
}

void HavUnpredict(const uint8_t* residuals, uint8_t* pixels, int32_t total) {
  for (int32_t i = 0; i < std::min(total, 3); ++i) pixels[i] = residuals[i];
  for (int32_t i = 3; i < total; ++i) pixels[i] = uint8_t(pixels[i - 3] + residuals[i]);
}

}  // namespace rf
