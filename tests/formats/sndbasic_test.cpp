// Audio buffers, wave conversion and the buffered loader.
#include "formats/sndbasic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedmem.h"
#include "platform/acm.h"

namespace rf {
namespace {

WaveFormatEx Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
  WaveFormatEx f{WAVE_FORMAT_PCM, channels, rate, 0, 0, bits, 0};
  WaveFormatValidate(f);
  return f;
}

class SndBasicTest : public test::FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    WaveConvertReset();
  }
  void TearDown() override {
    WaveConvertReset();
    EXPECT_EQ(acmStreamCount(), 0);
    FoundationTest::TearDown();
  }
  // Runs an operation that must fail with the given error, in a block that stops it here.
  template <class Body>
  void ExpectError(int32_t category, int32_t code, Body&& body) {
    GuardedSilent("Test.Expect", body);
    EXPECT_EQ(ErrCategory(), category);
    EXPECT_EQ(ErrCode(), code);
    ErrClear();
  }
};

std::vector<int16_t> Samples16(const QSndBuf& b) {
  std::vector<int16_t> v(size_t(b.count) * b.format.channels);
  if (!v.empty()) std::memcpy(v.data(), b.SndData, v.size() * 2);
  return v;
}

TEST_F(SndBasicTest, SilenceBytesFollowTheSampleSizeAndTheDefaultFormat) {
  QSndBuf eight, sixteen, none;
  SndMakeSilence(eight, 100, Pcm(2, 11025, 8));
  ASSERT_EQ(eight.count, 100);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(eight.SndData[i], 128) << i;
  SndMakeSilence(sixteen, 50, Pcm(1, 44100, 16));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(sixteen.SndData[i], 0) << i;

  SndAddSilence(none, 10);
  EXPECT_TRUE(WaveFormatEqual(none.format, Pcm(1, 22050, 8)));
  EXPECT_EQ(std::tuple(none.count, none.SndData[9]), std::tuple(10, 128));

  // Growing keeps the frames already held; a shorter request changes nothing.
  eight.SndData[0] = 7;
  SndAddSilence(eight, 150);
  EXPECT_EQ(eight.SndData[0], 7);
  EXPECT_EQ(eight.SndData[299], 128);
  SndAddSilence(eight, 20);
  EXPECT_EQ(eight.count, 150);

  QSndBuf broken;
  broken.format = Pcm(0, 44100, 16);
  broken.format.formatTag = WAVE_FORMAT_PCM;
  ExpectError(8, 4, [&] { SndAddSilence(broken, 10); });
  SndFree(eight);
  SndFree(sixteen);
  SndFree(none);
  SndFree(broken);
  EXPECT_EQ(eight.SndData, nullptr);
  EXPECT_EQ(eight.format.formatTag, 0);
}

TEST_F(SndBasicTest, JoinTakesTheFormatOfAnEmptyBufferAndConvertsOtherwise) {
  QSndBuf stereo;
  SndMakeSilence(stereo, 4, Pcm(2, 44100, 16));
  const int16_t values[8] = {1, -1, 1000, -1000, 32767, -32768, 5, 6};
  std::memcpy(stereo.SndData, values, sizeof values);

  QSndBuf empty;
  SndJoin(empty, stereo);
  EXPECT_TRUE(WaveFormatEqual(empty.format, stereo.format));
  ASSERT_EQ(empty.count, 4);
  EXPECT_EQ(std::memcmp(empty.SndData, values, sizeof values), 0) << "no conversion on the way";

  // 8-bit mono 22050 onto 16-bit stereo 44100: converted first, and the appended count is
  // the converted count.
  QSndBuf mono;
  SndMakeSilence(mono, 1000, Pcm(1, 22050, 8));
  QSndBuf reference;
  SndConvert(mono, reference, stereo.format);
  WaveConvertReset();
  EXPECT_GT(reference.count, 1900);
  EXPECT_LE(reference.count, 2000);
  SndJoin(empty, mono);
  EXPECT_TRUE(WaveFormatEqual(empty.format, stereo.format));
  ASSERT_EQ(empty.count, 4 + reference.count);
  const auto joined = Samples16(empty);
  for (size_t i = 8; i < joined.size(); ++i) ASSERT_EQ(joined[i], 0) << "8-bit silence is 16-bit zero at " << i;

  // A source without frames or without a valid format changes nothing.
  QSndBuf nothing;
  nothing.format = Pcm(1, 8000, 8);
  SndJoin(empty, nothing);
  EXPECT_EQ(empty.count, 4 + reference.count);
  SndFree(stereo);
  SndFree(empty);
  SndFree(mono);
  SndFree(reference);
}

TEST_F(SndBasicTest, MoveCopiesARangeAndDeleteRemovesOrCuts) {
  QSndBuf b;
  SndMakeSilence(b, 10, Pcm(1, 8000, 16));
  for (int i = 0; i < 10; ++i) reinterpret_cast<int16_t*>(b.SndData)[i] = int16_t(i * 10);

  QSndBuf part;
  part.count = 77;
  SndMove(b, part, 7, 100);  // cut to the 3 frames there are
  EXPECT_EQ(part.capacity, 6);
  EXPECT_EQ(part.count, 0) << "a destination without a block starts zeroed; the count is the caller's";
  EXPECT_TRUE(WaveFormatEqual(part.format, b.format));
  EXPECT_EQ(Samples16({.SndData = part.SndData, .count = 3, .format = b.format}), (std::vector<int16_t>{70, 80, 90}));
  part.count = 5;
  SndMove(b, part, 0, 2);
  EXPECT_EQ(part.count, 5) << "the count of a destination with a block is left alone";
  SndMove(b, part, 10, 1);  // first at the end: nothing happens
  EXPECT_EQ(part.capacity, 4);

  SndDelete(b, 2, 3);
  ASSERT_EQ(b.count, 7);
  EXPECT_EQ(b.capacity, 14);
  const int16_t expect[7] = {0, 10, 50, 60, 70, 80, 90};
  EXPECT_EQ(std::memcmp(b.SndData, expect, sizeof expect), 0);
  SndDelete(b, 4, 100);  // past the end: cut at the first removed frame
  EXPECT_EQ(std::tuple(b.count, b.capacity), std::tuple(4, 14));
  SndDelete(b, 4, 1);  // first not below the count
  EXPECT_EQ(b.count, 4);
  SndDelete(b, 0, 4);
  EXPECT_EQ(b.count, 0);
  EXPECT_EQ(b.SndData, nullptr);
  EXPECT_TRUE(WaveFormatEqual(b.format, Pcm(1, 8000, 16)));
  SndFree(b);
  SndFree(part);
}

TEST_F(SndBasicTest, EqualFormatsCopyAndTooSmallACapacityFails) {
  const WaveFormatEx f = Pcm(2, 44100, 16);
  WaveFormatEx g = f;
  g.extraSize = 22;  // not compared
  const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t dst[8] = {};
  int32_t produced = -1;
  WaveConvert(src, dst, 8, 8, produced, &f, &g);
  EXPECT_EQ(produced, 8);
  EXPECT_EQ(std::memcmp(src, dst, 8), 0);
  ExpectError(8, 3, [&] { WaveConvert(src, dst, 8, 7, produced, &f, &f); });
  WaveConvert(src, dst, 0, 8, produced, &f, &f);
  EXPECT_EQ(produced, 0);

  // Validation derives the align and the rate; a zero field makes a format invalid.
  WaveFormatEx v{WAVE_FORMAT_PCM, 2, 48000, 1, 1, 24, 0};
  EXPECT_TRUE(WaveFormatValidate(v));
  EXPECT_EQ(v.blockAlign, 6);
  EXPECT_EQ(v.avgBytesPerSec, 288000u);
  v.bitsPerSample = 0;
  EXPECT_FALSE(WaveFormatValidate(v));
  QSndBuf one, out;
  SndMakeSilence(one, 1, f);
  ExpectError(8, 1, [&] { SndConvert(one, out, v); });
  SndFree(one);
  SndFree(out);
}

TEST_F(SndBasicTest, SampleSizesAndChannelCountsConvertExactly) {
  QSndBuf s16;
  SndMakeSilence(s16, 4, Pcm(1, 8000, 16));
  const int16_t values[4] = {0, 256, -32768, 32767};
  std::memcpy(s16.SndData, values, sizeof values);

  QSndBuf s8, s24, back, stereo, mono;
  SndConvert(s16, s8, Pcm(1, 8000, 8));
  ASSERT_EQ(s8.count, 4);
  EXPECT_EQ(std::vector<uint8_t>(s8.SndData, s8.SndData + 4), (std::vector<uint8_t>{128, 129, 0, 255}));

  SndConvert(s16, s24, Pcm(1, 8000, 24));
  ASSERT_EQ(s24.count, 4);
  const uint8_t expect24[12] = {0, 0, 0, 0, 0, 1, 0, 0, 0x80, 0, 0xFF, 0x7F};
  EXPECT_EQ(std::memcmp(s24.SndData, expect24, 12), 0);
  SndConvert(s24, back, Pcm(1, 8000, 16));
  ASSERT_EQ(back.count, 4);
  EXPECT_EQ(std::memcmp(back.SndData, values, sizeof values), 0) << "16 -> 24 -> 16 is lossless";

  SndConvert(s16, stereo, Pcm(2, 8000, 16));
  ASSERT_EQ(stereo.count, 4);
  EXPECT_EQ(Samples16(stereo), (std::vector<int16_t>{0, 0, 256, 256, -32768, -32768, 32767, 32767}))
      << "mono spreads at full level";
  SndConvert(stereo, mono, Pcm(1, 8000, 16));
  ASSERT_EQ(mono.count, 4);
  EXPECT_EQ(Samples16(mono), std::vector<int16_t>(values, values + 4));
  for (auto* b : {&s16, &s8, &s24, &back, &stereo, &mono}) SndFree(*b);
}

TEST_F(SndBasicTest, CompressedSoundConvertsThroughItsPcmAndManagerFailuresAreReported) {
  // a-law decodes to 16-bit mono first; the second step makes the requested layout.
  const WaveFormatEx alaw{6, 1, 8000, 8000, 1, 8, 0};
  const uint8_t src[2] = {0xD5, 0x55};
  int16_t stereo[8] = {};
  int32_t produced = 0;
  const WaveFormatEx s16 = Pcm(2, 8000, 16), u8 = Pcm(1, 8000, 8);
  WaveConvert(src, reinterpret_cast<uint8_t*>(stereo), 2, sizeof stereo, produced, &alaw, &s16);
  ASSERT_EQ(produced, 8);
  EXPECT_EQ(std::vector<int16_t>(stereo, stereo + 4), (std::vector<int16_t>{8, 8, -8, -8}));
  uint8_t eight[4] = {};
  WaveConvert(src, eight, 2, sizeof eight, produced, &alaw, &u8);
  ASSERT_EQ(produced, 2);
  EXPECT_EQ(eight[0] * 256 + eight[1], 128 * 256 + 127);

  // 12-bit PCM is a valid record but no stream produces it; an unknown tag has no PCM at all.
  const WaveFormatEx twelve{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 12, 0};
  const WaveFormatEx mono16 = Pcm(1, 8000, 16), unknown{0x7A7A, 1, 8000, 1000, 10, 0, 0};
  ExpectError(19, ACMERR_NOTPOSSIBLE, [&] { WaveConvert(src, eight, 2, 4, produced, &mono16, &twelve); });
  ExpectError(8, 3, [&] { WaveConvert(src, eight, 2, 4, produced, &unknown, &mono16); });
}

// A sine converted in 100 pieces must equal the same sine converted at once: the resampler's
// state runs on across the pieces, so there is no click at a boundary.
TEST_F(SndBasicTest, ResamplingInChunksMatchesResamplingWhole) {
  const WaveFormatEx from = Pcm(1, 44100, 16), to = Pcm(1, 48000, 16);
  const int frames = 44100;
  std::vector<int16_t> sine(frames);
  for (int i = 0; i < frames; ++i) sine[i] = int16_t(std::lround(12000 * std::sin(2 * M_PI * 997 * i / 44100.0)));
  const auto* src = reinterpret_cast<const uint8_t*>(sine.data());

  std::vector<int16_t> whole(60000);
  int32_t produced = 0;
  WaveConvert(src, reinterpret_cast<uint8_t*>(whole.data()), frames * 2, 120000, produced, &from, &to);
  whole.resize(size_t(produced / 2));
  EXPECT_GT(whole.size(), 47900u);

  WaveConvertReset();
  std::vector<int16_t> pieces;
  const int chunk = frames / 100;
  for (int c = 0; c < 100; ++c) {
    std::vector<int16_t> out(chunk * 2);
    WaveConvert(src + c * chunk * 2, reinterpret_cast<uint8_t*>(out.data()), chunk * 2, int32_t(out.size() * 2),
                produced, &from, &to);
    pieces.insert(pieces.end(), out.begin(), out.begin() + produced / 2);
  }
  ASSERT_GE(pieces.size() + 2, whole.size());
  const size_t n = std::min(pieces.size(), whole.size());
  int worst = 0;
  for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::abs(pieces[i] - whole[i]));
  EXPECT_LE(worst, 1) << "pieces differ from the whole conversion";
  // The largest step of a 997 Hz sine of amplitude 12000 at 48 kHz is about 1566.
  int step = 0;
  for (size_t i = 1; i < pieces.size(); ++i) step = std::max(step, std::abs(pieces[i] - pieces[i - 1]));
  EXPECT_LT(step, 1700);

  // A different pair starts its own sound; coming back after a reset starts afresh.
  WaveConvertReset();
  std::vector<int16_t> again(60000);
  WaveConvert(src, reinterpret_cast<uint8_t*>(again.data()), frames * 2, 120000, produced, &from, &to);
  again.resize(size_t(produced / 2));
  EXPECT_EQ(again, whole);
}

// A memory "file" of 8-bit sound read through SndLoad as 16-bit.
struct MemorySource {
  std::vector<uint8_t> bytes;
  size_t at = 0;
  int reads = 0;
};

bool ReadMemory(void* handle, uint8_t*& raw, int32_t wanted, int32_t& bytesRead, int32_t& unitsRead) {
  auto& m = *static_cast<MemorySource*>(handle);
  ++m.reads;
  const int32_t n = int32_t(std::min<size_t>(size_t(wanted), m.bytes.size() - m.at));
  bytesRead = unitsRead = 0;
  if (n < 1) return false;
  _memalloc_(raw, n, MEM_RESIZE, "Test.ReadMemory.raw");
  std::memcpy(raw, m.bytes.data() + m.at, size_t(n));
  m.at += size_t(n);
  bytesRead = unitsRead = n;
  return n == wanted;
}

TEST_F(SndBasicTest, LoaderKeepsTheSurplusForTheNextCall) {
  MemorySource m;
  for (int i = 0; i < 1000; ++i) m.bytes.push_back(uint8_t(i * 7));
  WaveFormatEx stored = Pcm(1, 8000, 8);
  QSndLoader sl;
  _memalloc_(sl.InFormat, sizeof(WaveFormatEx), MEM_RESIZE, "Test.sl.InFormat");
  *sl.InFormat = stored;
  sl.decodedFormat = Pcm(1, 8000, 16);
  sl.unitsTotal = 1000;

  std::vector<uint8_t> got;
  QSndBuf b;
  // 100 frames want 200 decoded bytes, so each read of 200 stored bytes leaves 100 frames over.
  auto load = [&](int32_t frames) {
    SndLoad(&m, sl, b, ReadMemory, frames);
    for (int16_t v : Samples16(b)) got.push_back(uint8_t(v / 256 + 128));
    return b.count;
  };
  EXPECT_EQ(load(100), 100);
  EXPECT_EQ(load(100), 100);
  EXPECT_EQ(m.reads, 1) << "the second call is served from the surplus";
  while (load(150) != 0) continue;
  EXPECT_TRUE(sl.endReached);
  EXPECT_EQ(got, m.bytes);
  EXPECT_TRUE(WaveFormatEqual(b.format, sl.decodedFormat));
  SndFree(b);
  MemFree(sl.InFormat);
  MemFree(sl.SndData);
}

TEST_F(SndBasicTest, FailingAllocationsLeaveNoBlockBehind) {
  QSndBuf keep;
  SndMakeSilence(keep, 500, Pcm(1, 22050, 8));
  for (int n = 1; n < 20; ++n) {
    QSndBuf dest;
    SndMakeSilence(dest, 10, Pcm(2, 44100, 16));
    const int32_t before = MemCount();
    FaultAfter(Fault::Alloc, n);
    GuardedSilent("Test.Join", [&] { SndJoin(dest, keep); });
    const bool failed = !ErrNone();
    FaultReset();
    ErrClear();
    if (failed) {
      EXPECT_EQ(MemCount(), before) << "after failing allocation " << n;
    } else {
      EXPECT_GT(dest.count, 10);
    }
    SndFree(dest);
    if (!failed) break;
  }
  SndFree(keep);
}

}  // namespace
}  // namespace rf
