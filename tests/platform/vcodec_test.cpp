// The video compressor stand-in: the list, query mode, format checks, compress/decompress round
// trips, key frames, the state blob, the dialogs and our own RLE decoding.
#include "platform/vcodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/avlib.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

uint32_t Code(const char* text) { return VcFourCC(text); }

// Every test leaves no compressor open.
class VcodecTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(AvLoad()) << AvLoadFailure(); }
  void TearDown() override {
    ICSetDialogs(nullptr);
    EXPECT_EQ(ICOpenCount(), 0);
  }
};

struct Picture {
  DibFormat format;
  std::vector<uint8_t> bits;
};

// A picture of frame t: smooth ramps with a little texture that move with t, so that each frame
// differs a little from the one before.
Picture MakePicture(int32_t w, int32_t h, int32_t bitCount, int t) {
  Picture p{DibFormatFor(w, h, bitCount), {}};
  const uint32_t stride = DibRowBytes(w, bitCount);
  p.bits.assign(size_t(stride) * size_t(h), 0);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const int texture = (x ^ y) & 3;
      const uint8_t b = uint8_t(40 + x * 150 / w + t + texture), g = uint8_t(40 + y * 150 / h + 2 * t),
                    r = uint8_t(200 - (x + y) * 100 / (w + h) + texture);
      uint8_t* px = &p.bits[size_t(y) * stride + size_t(x) * size_t(bitCount / 8)];
      if (bitCount == 24) {
        px[0] = b, px[1] = g, px[2] = r;
      } else if (bitCount == 16) {
        const uint16_t v = uint16_t((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
        px[0] = uint8_t(v), px[1] = uint8_t(v >> 8);
      } else {
        px[0] = uint8_t(x + y * 2 + t);
      }
    }
  }
  return p;
}

// The 24-bit packed picture an 8-bit one shows through its palette.
std::vector<uint8_t> Expand(const Picture& p) {
  const int32_t w = p.format.header.width, h = p.format.header.height;
  const uint32_t in = DibRowBytes(w, 8), out = DibRowBytes(w, 24);
  std::vector<uint8_t> bits(size_t(out) * size_t(h), 0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      std::memcpy(&bits[size_t(y) * out + size_t(x) * 3], &p.format.extra[size_t(p.bits[size_t(y) * in + x]) * 4], 3);
  return bits;
}

// The palette indices of an 8-bit picture, rows bottom first, without padding.
std::vector<uint8_t> Indices(const PackedDib& p) {
  std::vector<uint8_t> v;
  const uint32_t stride = DibRowBytes(p.header.width, 8);
  for (int32_t y = 0; y < p.header.height; ++y)
    v.insert(v.end(), p.bits.begin() + ptrdiff_t(y * stride), p.bits.begin() + ptrdiff_t(y * stride + p.header.width));
  return v;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

struct Coded {
  DibFormat format;
  std::vector<std::vector<uint8_t>> chunks;
  std::vector<bool> keys;
};

Coded Compress(const char* code, const std::vector<Picture>& pictures, const IcCompressOptions& options = {},
               const std::vector<uint8_t>& state = {}) {
  Coded c;
  HIC hic = ICOpen(ICTYPE_VIDEO, Code(code), ICMODE_COMPRESS);
  EXPECT_NE(hic, nullptr) << code;
  if (!hic) return c;
  if (!state.empty()) {
    EXPECT_EQ(ICSetState(hic, state.data(), uint32_t(state.size())), ICERR_OK);
  }
  EXPECT_EQ(ICCompressGetFormat(hic, pictures[0].format, c.format), ICERR_OK) << code;
  EXPECT_EQ(ICCompressBegin(hic, pictures[0].format, options), ICERR_OK) << code;
  for (const Picture& p : pictures) {
    std::vector<uint8_t> out;
    bool key = false;
    EXPECT_EQ(ICCompress(hic, 0, p.bits.data(), p.bits.size(), out, &key), ICERR_OK) << code;
    EXPECT_FALSE(out.empty()) << code << ": every picture gives its chunk at once";
    c.chunks.push_back(out);
    c.keys.push_back(key);
  }
  EXPECT_EQ(ICCompressEnd(hic), ICERR_OK);
  ICClose(hic);
  return c;
}

// The decoded pictures (header and bits) of every chunk.
std::vector<PackedDib> Decompress(const Coded& c, int32_t outBitCount) {
  std::vector<PackedDib> pictures;
  HIC hic = ICLocateDecompressor(c.format, c.format.header.compression);
  EXPECT_NE(hic, nullptr);
  if (!hic) return pictures;
  EXPECT_EQ(ICDecompressBegin(hic, c.format, outBitCount), ICERR_OK);
  for (const auto& chunk : c.chunks) {
    const PackedDib* out = nullptr;
    EXPECT_EQ(ICDecompress(hic, 0, chunk.data(), uint32_t(chunk.size()), &out), ICERR_OK);
    if (out) pictures.push_back(*out);
  }
  ICClose(hic);
  return pictures;
}

std::vector<Picture> Frames(int32_t w, int32_t h, int32_t bitCount, int n) {
  std::vector<Picture> v;
  for (int t = 0; t < n; ++t) v.push_back(MakePicture(w, h, bitCount, t));
  return v;
}

// The list as this library build has it: every code the table names, in this order, each an
// encoder exactly when the codec library has the encoder behind it.
TEST_F(VcodecTest, ListKeepsItsOrderAndNamesTheLibrarysEncoders) {
  struct Row {
    const char* code;
    const char* encoder;
  };
  const Row rows[] = {{"cvid", "cinepak"},   {"MSVC", "msvideo1"}, {"MJPG", "mjpeg"},   {"HFYU", "huffyuv"},
                      {"FFV1", "ffv1"},      {"ZMBV", "zmbv"},     {"XVID", "mpeg4"},   {"FMP4", "mpeg4"},
                      {"MP42", "msmpeg4v2"}, {"DIV3", "msmpeg4"},  {"H264", "libx264"}, {"ULRG", "utvideo"}};
  std::vector<IcInfo> list;
  for (IcInfo info; ICInfo(ICTYPE_VIDEO, uint32_t(list.size()), &info);) list.push_back(info);
  ASSERT_GE(list.size(), 12u);
  size_t at = 0;
  for (const Row& r : rows) {
    const bool present = Av().avcodec_find_encoder_by_name(r.encoder) != nullptr;
    while (at < list.size() && list[at].fccHandler != Code(r.code)) ++at;
    ASSERT_LT(at, list.size()) << r.code << " missing or out of order";
    HIC hic = ICOpen(ICTYPE_VIDEO, Code(r.code), ICMODE_COMPRESS);
    EXPECT_EQ(hic != nullptr, present) << r.code;
    if (hic) ICClose(hic);
  }
  for (size_t i = 0; i < list.size(); ++i) {
    IcInfo again;
    ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, uint32_t(i), &again));
    EXPECT_EQ(again.fccHandler, list[i].fccHandler) << "the order is stable";
    EXPECT_EQ(list[i].fccType, ICTYPE_VIDEO);
    EXPECT_FALSE(list[i].name.empty());
    EXPECT_LE(list[i].name.size(), 16u);
    EXPECT_LE(list[i].description.size(), 128u);
  }
  IcInfo none;
  EXPECT_FALSE(ICInfo(ICTYPE_VIDEO, uint32_t(list.size()), &none));
  EXPECT_FALSE(ICInfo(Code("auds"), 0, &none));
}

TEST_F(VcodecTest, CodesOpenByAliasAndAnyCaseAndUnknownCodesDoNot) {
  struct Case {
    const char* code;
    uint32_t mode;
    const char* opensAs;  // nullptr: does not open
  };
  const Case cases[] = {
      {"CRAM", ICMODE_QUERY, "MSVC"},     {"WHAM", ICMODE_QUERY, "MSVC"},      {"msvc", ICMODE_COMPRESS, "MSVC"},
      {"CVID", ICMODE_QUERY, "cvid"},     {"xvid", ICMODE_DECOMPRESS, "XVID"}, {"VP80", ICMODE_DECOMPRESS, "VP80"},
      {"VP80", ICMODE_COMPRESS, nullptr}, {"ZZZZ", ICMODE_QUERY, nullptr},     {"ZZZZ", ICMODE_DECOMPRESS, nullptr},
      {"IV50", ICMODE_COMPRESS, nullptr},
  };
  for (const Case& c : cases) {
    HIC hic = ICOpen(ICTYPE_VIDEO, Code(c.code), c.mode);
    EXPECT_EQ(hic != nullptr, c.opensAs != nullptr) << c.code << " mode " << c.mode;
    if (!hic) continue;
    IcInfo info;
    EXPECT_EQ(ICGetInfo(hic, &info), ICERR_OK);
    EXPECT_EQ(VcFourCCText(info.fccHandler), c.opensAs) << c.code;
    EXPECT_FALSE(info.description.empty()) << c.code << ": a code the decoders know is described by them";
    ICClose(hic);
  }
  EXPECT_EQ(ICOpen(Code("auds"), Code("cvid"), ICMODE_QUERY), nullptr);
  EXPECT_EQ(ICClose(nullptr), ICERR_BADHANDLE);
}

TEST_F(VcodecTest, FourCCTextsAndUncompressedCodes) {
  EXPECT_EQ(Code("cvid"), 0x64697663u);
  EXPECT_EQ(VcFourCCText(Code("DIB ")), "DIB ");
  EXPECT_EQ(VcFourCCText(0x00010203), "????");
  for (const char* raw : {"DIB ", "dib ", "RAW ", "rgb "}) EXPECT_TRUE(VcIsUncompressed(Code(raw))) << raw;
  EXPECT_TRUE(VcIsUncompressed(0));
  for (const char* packed : {"cvid", "DIB1", "MRLE"}) EXPECT_FALSE(VcIsUncompressed(Code(packed))) << packed;
}

TEST_F(VcodecTest, CapabilityFlagsAndDefaultsSayWhatTheEncoderDoes) {
  struct Case {
    const char* code;
    uint32_t flags;
    bool longKeyInterval;
  };
  const uint32_t Q = VIDCF_QUALITY, C = VIDCF_CRUNCH, T = VIDCF_TEMPORAL;
  const Case cases[] = {{"cvid", Q | T, true},     {"MSVC", T, true},         {"MJPG", Q | C, false},
                        {"HFYU", 0, false},        {"FFV1", T, true},         {"ZMBV", T, true},
                        {"XVID", Q | C | T, true}, {"H264", Q | C | T, true}, {"ULRG", 0, false}};
  for (const Case& c : cases) {
    HIC hic = ICOpen(ICTYPE_VIDEO, Code(c.code), ICMODE_QUERY);
    ASSERT_NE(hic, nullptr) << c.code;
    IcInfo info;
    ICGetInfo(hic, &info);
    EXPECT_EQ(info.flags, c.flags) << c.code;
    EXPECT_EQ(ICGetDefaultQuality(hic), c.flags & Q ? 7500 : 0) << c.code;
    EXPECT_EQ(ICGetDefaultKeyFrameRate(hic) > 1, c.longKeyInterval) << c.code;
    ICClose(hic);
  }
}

TEST_F(VcodecTest, CompressQueryTakesOrRefusesPictures) {
  struct Case {
    const char* code;
    int32_t w, h, bits;
    bool taken;
  };
  const Case cases[] = {
      {"cvid", 320, 240, 24, true}, {"cvid", 321, 240, 24, false}, {"cvid", 320, 240, 8, false},
      {"MSVC", 320, 240, 16, true}, {"MSVC", 322, 242, 16, false}, {"MJPG", 321, 240, 24, false},
      {"MJPG", 320, 240, 8, false}, {"HFYU", 320, 240, 8, true},   {"ZMBV", 320, 240, 8, true},
      {"FFV1", 3, 5, 24, true},     {"H264", 321, 240, 24, false}, {"H264", 322, 240, 16, true},
      {"XVID", 320, 240, 8, false}, {"ULRG", 33, 17, 24, true},    {"FMP4", 320, 240, 32, false},
      {"MJPG", 320, 242, 24, true}, {"DIV3", 320, 241, 16, false},
  };
  for (const Case& c : cases) {
    HIC hic = ICOpen(ICTYPE_VIDEO, Code(c.code), ICMODE_QUERY);
    ASSERT_NE(hic, nullptr) << c.code;
    const DibFormat in = DibFormatFor(c.w, c.h, c.bits);
    EXPECT_EQ(ICCompressQuery(hic, in, nullptr) == ICERR_OK, c.taken)
        << c.code << " " << c.w << "x" << c.h << "x" << c.bits;
    ICClose(hic);
  }
  HIC hic = ICOpen(ICTYPE_VIDEO, Code("FFV1"), ICMODE_QUERY);
  DibFormat in = DibFormatFor(64, 48, 24);
  in.header.height = -48;
  EXPECT_NE(ICCompressQuery(hic, in, nullptr), ICERR_OK) << "top-down pictures are refused";
  in = DibFormatFor(64, 48, 24);
  in.header.compression = Code("MJPG");
  EXPECT_NE(ICCompressQuery(hic, in, nullptr), ICERR_OK) << "compressed input is refused";
  ICClose(hic);
  hic = ICOpen(ICTYPE_VIDEO, Code("IV50"), ICMODE_QUERY);
  ASSERT_NE(hic, nullptr);
  EXPECT_EQ(ICCompressQuery(hic, DibFormatFor(64, 48, 24), nullptr), ICERR_UNSUPPORTED) << "a decoder only";
  ICClose(hic);
}

TEST_F(VcodecTest, CompressGetFormatDescribesTheOutput) {
  struct Case {
    const char* code;
    int32_t bits;
    uint16_t outBits;
    bool codecData;
  };
  const Case cases[] = {{"HFYU", 24, 24, true},
                        {"MJPG", 24, 24, false},
                        {"MSVC", 24, 16, false},
                        {"ULRG", 24, 24, true},
                        {"XVID", 16, 24, false}};
  for (const Case& c : cases) {
    HIC hic = ICOpen(ICTYPE_VIDEO, Code(c.code), ICMODE_QUERY);
    const DibFormat in = DibFormatFor(64, 48, c.bits);
    DibFormat out;
    ASSERT_EQ(ICCompressGetFormat(hic, in, out), ICERR_OK) << c.code;
    EXPECT_EQ(out.header.compression, Code(c.code));
    EXPECT_EQ(out.header.width, 64);
    EXPECT_EQ(out.header.height, 48);
    EXPECT_EQ(out.header.bitCount, c.outBits) << c.code;
    EXPECT_EQ(out.header.size, 40 + out.extra.size());
    EXPECT_EQ(!out.extra.empty(), c.codecData) << c.code;
    EXPECT_EQ(ICCompressGetFormatSize(hic, in), int32_t(out.header.size));
    EXPECT_EQ(ICCompressQuery(hic, in, &out), ICERR_OK);
    DibFormat other = out;
    other.header.width = 32;
    EXPECT_EQ(ICCompressQuery(hic, in, &other), ICERR_BADFORMAT) << "an output it would not make";
    ICClose(hic);
  }
}

TEST_F(VcodecTest, LosslessCompressorsGiveThePicturesBackExactly) {
  struct Case {
    const char* code;
    int32_t w, h, bits;
  };
  const Case cases[] = {{"FFV1", 33, 17, 24}, {"FFV1", 32, 16, 8},  {"HFYU", 34, 17, 24}, {"HFYU", 32, 16, 16},
                        {"ULRG", 33, 17, 24}, {"ZMBV", 33, 17, 24}, {"ZMBV", 32, 16, 8}};
  for (const Case& c : cases) {
    const std::vector<Picture> in = Frames(c.w, c.h, c.bits, 5);
    const Coded coded = Compress(c.code, in, IcCompressOptions{ICQUALITY_DEFAULT, 3, 0, 25, 1});
    const std::vector<PackedDib> out = Decompress(coded, 24);
    ASSERT_EQ(out.size(), in.size()) << c.code;
    for (size_t i = 0; i < in.size(); ++i) {
      EXPECT_EQ(out[i].header.bitCount, 24);
      EXPECT_EQ(out[i].header.width, c.w);
      EXPECT_EQ(out[i].header.height, c.h);
      // A 16-bit picture is compared with what a second lossless compressor makes of it.
      const std::vector<uint8_t> want = c.bits == 24  ? in[i].bits
                                        : c.bits == 8 ? Expand(in[i])
                                                      : Decompress(Compress("FFV1", {in[i]}), 24)[0].bits;
      EXPECT_EQ(out[i].bits, want) << c.code << " frame " << i;
    }
  }
}

TEST_F(VcodecTest, PalettedAndFiveBitStreamsDecodeInTheirOwnKind) {
  // ZMBV keeps 8-bit pictures as indices with their palette and 16-bit ones as 5-5-5.
  const std::vector<Picture> eight = Frames(32, 16, 8, 3);
  const std::vector<PackedDib> a = Decompress(Compress("ZMBV", eight), 0);
  ASSERT_EQ(a.size(), 3u);
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].header.bitCount, 8);
    EXPECT_EQ(a[i].bits, eight[i].bits);
    EXPECT_EQ(std::memcmp(a[i].palette, eight[i].format.extra.data(), 1024), 0);
  }
  const std::vector<Picture> sixteen = Frames(32, 16, 16, 3);
  const std::vector<PackedDib> b = Decompress(Compress("ZMBV", sixteen), 16);
  ASSERT_EQ(b.size(), 3u);
  for (size_t i = 0; i < b.size(); ++i) EXPECT_EQ(b[i].bits, sixteen[i].bits) << "frame " << i;
}

// An 8-bit Video-1 chunk is one 4x4 block filled with colour 5: the decoder draws it through
// the palette of the stored format.
TEST_F(VcodecTest, PalettedStreamsTakeTheStoredPalette) {
  DibFormat format = DibFormatFor(4, 4, 8);
  format.header.compression = Code("CRAM");
  const uint8_t entry[4] = {10, 20, 30, 0};
  std::memcpy(&format.extra[5 * 4], entry, 4);
  Coded coded{format, {{5, 0x80, 0, 0}}, {true}};
  const std::vector<PackedDib> natural = Decompress(coded, 0);
  ASSERT_EQ(natural.size(), 1u);
  EXPECT_EQ(natural[0].header.bitCount, 8);
  EXPECT_EQ(Indices(natural[0]), std::vector<uint8_t>(16, 5));
  EXPECT_EQ(std::memcmp(&natural[0].palette[5 * 4], entry, 4), 0);
  const std::vector<PackedDib> full = Decompress(coded, 24);
  ASSERT_EQ(full.size(), 1u);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(std::memcmp(&full[0].bits[i * 3], entry, 3), 0) << "pixel " << i;
}

// Lossy compressors at their default quality: the bound is a little under what each reaches on
// these smooth ramps, so a broken conversion (swapped colours, flipped rows) falls far below it.
TEST_F(VcodecTest, LossyCompressorsStayWithinTheirPsnr) {
  struct Case {
    const char* code;
    int32_t bits;
    double minPsnr;
  };
  const Case cases[] = {{"MJPG", 24, 36}, {"XVID", 24, 35}, {"FMP4", 16, 28}, {"MP42", 24, 35},
                        {"DIV3", 24, 35}, {"H264", 24, 40}, {"cvid", 24, 32}, {"MSVC", 24, 29}};
  for (const Case& c : cases) {
    const std::vector<Picture> in = Frames(64, 48, c.bits, 6);
    const std::vector<PackedDib> out = Decompress(Compress(c.code, in), 24);
    ASSERT_EQ(out.size(), in.size()) << c.code;
    for (size_t i = 0; i < in.size(); ++i) {
      const std::vector<uint8_t> ref = c.bits == 24 ? in[i].bits : Decompress(Compress("HFYU", {in[i]}), 24)[0].bits;
      EXPECT_GT(Psnr(out[i].bits, ref), c.minPsnr) << c.code << " frame " << i;
    }
  }
}

TEST_F(VcodecTest, QualityAndDataRateChangeTheOutput) {
  const std::vector<Picture> in = Frames(64, 48, 24, 10);
  size_t sizes[2] = {};
  double psnr[2] = {};
  const int32_t qualities[2] = {1000, 10000};
  for (int i = 0; i < 2; ++i) {
    const Coded c = Compress("MJPG", in, IcCompressOptions{qualities[i], 0, 0, 25, 1});
    for (const auto& chunk : c.chunks) sizes[i] += chunk.size();
    psnr[i] = Psnr(Decompress(c, 24)[0].bits, in[0].bits);
  }
  EXPECT_LT(sizes[0], sizes[1]);
  EXPECT_LT(psnr[0] + 5, psnr[1]);
  // A data rate well below what the best quality takes, and one well above it.
  const std::vector<Picture> large = Frames(160, 120, 24, 10);
  size_t rated[2] = {};
  const int32_t rates[2] = {2000, 400000};
  for (int i = 0; i < 2; ++i) {
    const Coded c = Compress("FMP4", large, IcCompressOptions{ICQUALITY_DEFAULT, 0, rates[i], 25, 1});
    for (const auto& chunk : c.chunks) rated[i] += chunk.size();
  }
  EXPECT_LT(rated[0], rated[1]);
  // AVI frame rates come as a rate over 10000, which MPEG-4 must take in lowest terms or close.
  for (uint32_t rate : {299700u, 123457u}) {
    const Coded c =
        Compress("FMP4", Frames(64, 48, 24, 2), IcCompressOptions{ICQUALITY_DEFAULT, 0, 20000, rate, 10000});
    EXPECT_EQ(c.chunks.size(), 2u) << rate;
  }
}

TEST_F(VcodecTest, KeyFramesComeEveryNFramesAndDecodeAlone) {
  struct Case {
    const char* code;
    bool ownKeys;  // also makes a key frame where it finds nothing to take from the frame before
  };
  const Case cases[] = {{"cvid", true},  {"MSVC", false}, {"FFV1", false}, {"ZMBV", false},
                        {"XVID", false}, {"DIV3", false}, {"MP42", false}, {"H264", false}};
  for (const Case& k : cases) {
    for (int every : {0, 1, 4}) {
      const Coded c = Compress(k.code, Frames(64, 48, 24, 9), IcCompressOptions{ICQUALITY_DEFAULT, every, 0, 25, 1});
      ASSERT_EQ(c.keys.size(), 9u);
      for (size_t i = 0; i < c.keys.size(); ++i) {
        const bool key = i == 0 || (every > 0 && i % size_t(every) == 0);
        if (key || !k.ownKeys) {
          EXPECT_EQ(c.keys[i], key) << k.code << " every " << every << " frame " << i;
        }
      }
      if (every != 4) continue;
      // Decoding from the key frame in the middle gives the same pictures as from the start.
      Coded tail = c;
      tail.chunks.erase(tail.chunks.begin(), tail.chunks.begin() + 4);
      const std::vector<PackedDib> whole = Decompress(c, 24), part = Decompress(tail, 24);
      ASSERT_EQ(part.size(), 5u);
      for (size_t i = 0; i < part.size(); ++i)
        EXPECT_EQ(part[i].bits, whole[i + 4].bits) << k.code << " frame " << i + 4;
    }
  }
  for (const char* code : {"MJPG", "HFYU", "ULRG"}) {
    const Coded c = Compress(code, Frames(32, 16, 24, 4), IcCompressOptions{ICQUALITY_DEFAULT, 0, 0, 25, 1});
    for (bool key : c.keys) EXPECT_TRUE(key) << code << ": every picture stands alone";
  }
  // A key frame asked for by the caller comes whatever the interval says.
  HIC hic = ICOpen(ICTYPE_VIDEO, Code("FMP4"), ICMODE_COMPRESS);
  const std::vector<Picture> in = Frames(64, 48, 24, 3);
  ASSERT_EQ(ICCompressBegin(hic, in[0].format, IcCompressOptions{}), ICERR_OK);
  std::vector<uint8_t> out;
  bool keys[3];
  for (int i = 0; i < 3; ++i)
    ICCompress(hic, i == 2 ? ICCOMPRESS_KEYFRAME : 0, in[size_t(i)].bits.data(), in[size_t(i)].bits.size(), out,
               &keys[i]);
  EXPECT_TRUE(keys[0]);
  EXPECT_FALSE(keys[1]);
  EXPECT_TRUE(keys[2]);
  EXPECT_EQ(ICCompress(hic, 0, in[0].bits.data(), in[0].bits.size() - 1, out, &keys[0]), ICERR_BADPARAM);
  ICClose(hic);
}

// Dialogs that record what they were shown and set every option to its maximum.
struct FakeDialogs : IcDialogs {
  std::string aboutText;
  bool confirm = true;
  void about(const std::string& name, const std::string& text) override { aboutText = name + ": " + text; }
  bool configure(const std::string&, std::vector<IcOption>& options) override {
    for (auto& o : options) o.value = o.maximum + 5;
    return confirm;
  }
};

TEST_F(VcodecTest, AboutAndConfigureNeedTheDialogsAndAnOption) {
  HIC ffv1 = ICOpen(ICTYPE_VIDEO, Code("FFV1"), ICMODE_QUERY);
  HIC mjpg = ICOpen(ICTYPE_VIDEO, Code("MJPG"), ICMODE_QUERY);
  EXPECT_EQ(ICQueryAbout(ffv1), ICERR_UNSUPPORTED) << "the command line has no dialogs";
  EXPECT_EQ(ICQueryConfigure(ffv1), ICERR_UNSUPPORTED);
  EXPECT_EQ(ICConfigure(ffv1), ICERR_UNSUPPORTED);
  FakeDialogs dialogs;
  ICSetDialogs(&dialogs);
  EXPECT_EQ(ICQueryAbout(mjpg), ICERR_OK);
  EXPECT_EQ(ICAbout(mjpg), ICERR_OK);
  EXPECT_NE(dialogs.aboutText.find("MJPG"), std::string::npos) << dialogs.aboutText;
  EXPECT_EQ(ICQueryConfigure(mjpg), ICERR_UNSUPPORTED) << "nothing to configure";
  EXPECT_EQ(ICQueryConfigure(ffv1), ICERR_OK);
  dialogs.confirm = false;
  const std::vector<IcOption> before = ICGetOptions(ffv1);
  EXPECT_EQ(ICConfigure(ffv1), ICERR_ERROR);
  EXPECT_EQ(ICGetOptions(ffv1)[0].value, before[0].value) << "a cancelled dialog changes nothing";
  dialogs.confirm = true;
  EXPECT_EQ(ICConfigure(ffv1), ICERR_OK);
  for (const IcOption& o : ICGetOptions(ffv1)) EXPECT_EQ(o.value, o.maximum) << o.key << " is kept in its range";
  ICClose(ffv1);
  ICClose(mjpg);
}

TEST_F(VcodecTest, StateBlobCarriesTheOptionsAndRefusesForeignOnes) {
  FakeDialogs dialogs;
  ICSetDialogs(&dialogs);
  HIC a = ICOpen(ICTYPE_VIDEO, Code("HFYU"), ICMODE_QUERY);
  ASSERT_EQ(ICConfigure(a), ICERR_OK);
  std::vector<uint8_t> state(ICGetStateSize(a));
  ASSERT_GT(state.size(), 0u);
  ASSERT_EQ(ICGetState(a, state.data(), uint32_t(state.size())), ICERR_OK);
  HIC b = ICOpen(ICTYPE_VIDEO, Code("HFYU"), ICMODE_COMPRESS);
  const std::vector<IcOption> fresh = ICGetOptions(b);
  auto broken = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> s = state;
    s[at] = value;
    return s;
  };
  const std::vector<std::vector<uint8_t>> foreign = {broken(0, 'X'), broken(4, 'X'), broken(12, 0x7F),
                                                     std::vector<uint8_t>(state.begin(), state.end() - 1)};
  for (const auto& s : foreign) {
    EXPECT_EQ(ICSetState(b, s.data(), uint32_t(s.size())), ICERR_BADPARAM);
    EXPECT_EQ(ICGetOptions(b)[0].value, fresh[0].value);
  }
  HIC ffv1 = ICOpen(ICTYPE_VIDEO, Code("FFV1"), ICMODE_QUERY);
  EXPECT_EQ(ICSetState(ffv1, state.data(), uint32_t(state.size())), ICERR_BADPARAM) << "another compressor's blob";
  ASSERT_EQ(ICSetState(b, state.data(), uint32_t(state.size())), ICERR_OK);
  EXPECT_EQ(ICGetOptions(b)[0].value, ICGetOptions(a)[0].value);
  ICClose(a);
  ICClose(b);
  ICClose(ffv1);
  // The options reach the encoder: another prediction, other bytes, the same pictures.
  const std::vector<Picture> in = Frames(32, 16, 24, 2);
  const Coded plain = Compress("HFYU", in), configured = Compress("HFYU", in, {}, state);
  EXPECT_NE(plain.chunks[0], configured.chunks[0]);
  EXPECT_EQ(Decompress(configured, 24)[1].bits, in[1].bits);
}

// One RLE stream over a small picture and the indices it must leave, rows bottom first.
struct RleCase {
  const char* what;
  int bits;
  int32_t w, h;
  std::vector<uint8_t> stream;
  std::vector<uint8_t> indices;
};

Coded RleStream(const RleCase& c) {
  Coded coded;
  coded.format = DibFormatFor(c.w, c.h, 8);
  coded.format.header.compression = c.bits == 8 ? BI_RLE8 : BI_RLE4;
  coded.format.header.bitCount = uint16_t(c.bits);
  coded.chunks.push_back(c.stream);
  return coded;
}

TEST_F(VcodecTest, RleStreamsDecodeWithEveryEscapeAndCutDamagedRuns) {
  const RleCase cases[] = {
      {"runs and end of line", 8, 4, 2, {3, 7, 1, 9, 0, 0, 2, 5, 0, 1}, {7, 7, 7, 9, 5, 5, 0, 0}},
      {"absolute run padded to a word", 8, 4, 2, {0, 3, 1, 2, 3, 0, 1, 4, 0, 1}, {1, 2, 3, 4, 0, 0, 0, 0}},
      {"delta right and up", 8, 4, 3, {0, 2, 2, 1, 2, 6, 0, 1}, {0, 0, 0, 0, 0, 0, 6, 6, 0, 0, 0, 0}},
      {"end of bitmap stops", 8, 2, 2, {2, 1, 0, 1, 2, 9}, {1, 1, 0, 0}},
      {"run past the row is cut", 8, 3, 2, {9, 4, 0, 0, 1, 5}, {4, 4, 4, 5, 0, 0}},
      {"absolute run past the data stops", 8, 4, 1, {1, 3, 0, 5, 1, 2}, {3, 0, 0, 0}},
      {"delta out of the picture stops", 8, 2, 2, {1, 1, 0, 2, 0, 9, 1, 8}, {1, 0, 0, 0}},
      {"rows past the top are ignored", 8, 2, 1, {2, 3, 0, 0, 2, 4, 0, 0, 2, 5}, {3, 3}},
      {"a lone count at the end", 8, 2, 1, {2, 6, 5}, {6, 6}},
      {"RLE4 runs alternate nibbles", 4, 5, 1, {5, 0x12, 0, 1}, {1, 2, 1, 2, 1}},
      {"RLE4 absolute run", 4, 4, 2, {0, 3, 0x34, 0x50, 0, 0, 2, 0xEE}, {3, 4, 5, 0, 14, 14, 0, 0}},
      {"RLE4 run past the row is cut", 4, 3, 1, {200, 0x9A}, {9, 10, 9}},
  };
  for (const RleCase& c : cases) {
    const std::vector<PackedDib> out = Decompress(RleStream(c), 0);
    ASSERT_EQ(out.size(), 1u) << c.what;
    EXPECT_EQ(out[0].header.bitCount, 8) << c.what;
    EXPECT_EQ(Indices(out[0]), c.indices) << c.what;
  }
}

// Random bytes as RLE over pictures of every small width: escapes, runs and deltas land
// anywhere, and nothing may be written outside the picture (the sanitizer build watches).
TEST_F(VcodecTest, RandomRleStreamsStayInsideThePicture) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u, uint8_t(seed >> 24); };
  for (int bits : {4, 8}) {
    for (int32_t w = 1; w <= 9; ++w) {
      RleCase c{"random", bits, w, 3, {}, {}};
      Coded coded = RleStream(c);
      for (int chunk = 0; chunk < 20; ++chunk) {
        std::vector<uint8_t> bytes(size_t(next() % 64));
        for (auto& b : bytes) b = next() % 4 == 0 ? uint8_t(next() % 3) : next();
        coded.chunks.push_back(bytes);
      }
      const std::vector<PackedDib> out = Decompress(coded, 24);
      ASSERT_EQ(out.size(), coded.chunks.size());
      EXPECT_EQ(out.back().bits.size(), size_t(DibRowBytes(w, 24)) * 3);
    }
  }
}

TEST_F(VcodecTest, RleFramesPaintOverThePreviousPictureInAnyDepth) {
  RleCase c{"two frames", 8, 2, 2, {2, 1, 0, 0, 2, 2, 0, 1}, {}};
  Coded coded = RleStream(c);
  coded.chunks.push_back({0, 2, 1, 1, 1, 3, 0, 1});  // move to the top right pixel, paint it
  coded.chunks.push_back({});                        // an unchanged picture
  std::vector<PackedDib> out = Decompress(coded, 0);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(Indices(out[1]), (std::vector<uint8_t>{1, 1, 2, 3}));
  EXPECT_EQ(Indices(out[2]), Indices(out[1]));
  out = Decompress(coded, 24);
  ASSERT_EQ(out.size(), 3u);
  const std::vector<uint8_t> grey = {1, 1, 1, 1, 1, 1, 0, 0, 2, 2, 2, 3, 3, 3, 0, 0};
  EXPECT_EQ(out[1].bits, grey) << "the grey palette shows each index as its own level, rows padded";
  EXPECT_EQ(ICLocateDecompressor(DibFormatFor(4, 4, 24), Code("MRLE")), nullptr)
      << "uncompressed frames are the caller's";
}

TEST_F(VcodecTest, AMissingDecoderFailsTheOpenAndDamagedChunksAreRejected) {
  DibFormat unknown = DibFormatFor(64, 48, 24);
  unknown.header.compression = Code("ZZZZ");
  EXPECT_EQ(ICLocateDecompressor(unknown, Code("ZZZZ")), nullptr);
  // The stream handler names the decoder when the format's code is unknown.
  HIC hic = ICLocateDecompressor(unknown, Code("MJPG"));
  ASSERT_NE(hic, nullptr);
  ICClose(hic);
  Coded c = Compress("MJPG", Frames(64, 48, 24, 1));
  const std::vector<uint8_t> good = Decompress(c, 24)[0].bits;
  hic = ICLocateDecompressor(c.format, 0);
  ASSERT_EQ(ICDecompressBegin(hic, c.format, 24), ICERR_OK);
  const PackedDib* out = nullptr;
  ASSERT_EQ(ICDecompress(hic, 0, c.chunks[0].data(), uint32_t(c.chunks[0].size()), &out), ICERR_OK);
  const std::vector<uint8_t> junk(300, 0x5A);
  EXPECT_EQ(ICDecompress(hic, 0, junk.data(), uint32_t(junk.size()), &out), ICERR_BADFORMAT);
  EXPECT_NE(LibTakeReason(), "") << "the decoder's complaint is the reason";
  EXPECT_EQ(ICDecompress(hic, 0, nullptr, 0, &out), ICERR_OK);
  EXPECT_EQ(out->bits, good) << "an empty chunk repeats the last picture";
  EXPECT_EQ(ICDecompressBegin(hic, c.format, 32), ICERR_BADFORMAT);
  ICClose(hic);
}

}  // namespace
}  // namespace rf
