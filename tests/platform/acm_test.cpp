// The conversion stand-in: suggestions, decoding of wave tags, held-back output, tag names.
#include "platform/acm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace rf {
namespace {

WaveFormatEx Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits) {
  return WaveFormatEx{tag, channels, rate, rate * align, align, bits, 0};
}

// The 16-bit samples in bytes.
std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> v(bytes.size() / 2);
  std::memcpy(v.data(), bytes.data(), v.size() * 2);
  return v;
}

// Converts bytes in one call and returns what came out.
std::vector<uint8_t> Convert(HACMSTREAM s, const std::vector<uint8_t>& in, uint32_t room, uint32_t flags = 0) {
  std::vector<uint8_t> out(room);
  ACMSTREAMHEADER h{};
  h.cbStruct = sizeof h;
  h.pbSrc = in.data();
  h.cbSrcLength = uint32_t(in.size());
  h.pbDst = out.data();
  h.cbDstLength = room;
  EXPECT_EQ(acmStreamPrepareHeader(s, &h, 0), 0);
  EXPECT_EQ(acmStreamConvert(s, &h, flags), 0);
  EXPECT_EQ(acmStreamUnprepareHeader(s, &h, 0), 0);
  EXPECT_EQ(h.cbSrcLengthUsed, in.size());
  out.resize(h.cbDstLengthUsed);
  return out;
}

TEST(AcmTest, SuggestsSixteenBitPcmForCodecsAndRefusesTheUnknown) {
  WaveFormatEx ima = Format(0x11, 2, 22050, 1024, 4);
  WaveFormatEx out{};
  out.formatTag = WAVE_FORMAT_PCM;
  ASSERT_EQ(acmFormatSuggest(&ima, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), 0);
  EXPECT_EQ(std::vector<uint32_t>({out.formatTag, out.channels, out.samplesPerSec, out.avgBytesPerSec, out.blockAlign,
                                   out.bitsPerSample}),
            std::vector<uint32_t>({WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16}));

  WaveFormatEx pcm24 = Format(WAVE_FORMAT_PCM, 1, 48000, 3, 24);
  ASSERT_EQ(acmFormatSuggest(&pcm24, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), 0);
  EXPECT_EQ(out.bitsPerSample, 24) << "PCM keeps its depth";

  WaveFormatEx unknown = Format(0x7A7A, 1, 8000, 10, 0);
  EXPECT_EQ(acmFormatSuggest(&unknown, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
  WaveFormatEx nine = Format(0x11, 9, 8000, 1024, 4);
  EXPECT_EQ(acmFormatSuggest(&nine, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
  out.formatTag = 2;
  EXPECT_EQ(acmFormatSuggest(&ima, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmFormatSuggest(&ima, &out, 16, ACM_FORMATSUGGESTF_WFORMATTAG), MMSYSERR_INVALPARAM);

  EXPECT_FALSE(acmFormatTagName(2).empty());
  EXPECT_NE(acmFormatTagName(2), acmFormatTagName(0x11));
  EXPECT_EQ(acmFormatTagName(0x7A7A), "");
}

TEST(AcmTest, ALawDecodesAndOutputThatDoesNotFitWaits) {
  const WaveFormatEx alaw = Format(6, 1, 8000, 1, 8);
  const WaveFormatEx pcm = Format(WAVE_FORMAT_PCM, 1, 8000, 2, 16);
  HACMSTREAM s = nullptr;
  ASSERT_EQ(acmStreamOpen(&s, &alaw, &pcm, ACM_STREAMOPENF_NONREALTIME), 0);
  EXPECT_EQ(acmStreamCount(), 1);
  // a-law 0xD5 and 0x55 are the smallest steps either side of zero.
  const std::vector<uint8_t> in = {0xD5, 0x55, 0xD5, 0x55};
  EXPECT_EQ(Samples(Convert(s, in, 4)), (std::vector<int16_t>{8, -8})) << "room for two of the four frames";
  const auto rest = Convert(s, {}, 100);
  EXPECT_EQ(rest.size(), 4u) << "the two frames held back come out next";
  ASSERT_EQ(acmStreamReset(s, 0), 0);
  EXPECT_EQ(Convert(s, {}, 100).size(), 0u);
  EXPECT_EQ(acmStreamClose(s, 0), 0);
  EXPECT_EQ(acmStreamCount(), 0);
  EXPECT_EQ(acmStreamClose(s, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmTest, ExtensiblePcmAndFloatAreReadAsPlainSamples) {
  // An extensible 24-bit stereo format: valid bits, channel mask, the PCM sub-format.
  std::vector<uint8_t> ext(18 + 22);
  WaveFormatEx head = Format(WAVE_FORMAT_EXTENSIBLE, 2, 44100, 6, 24);
  head.extraSize = 22;
  std::memcpy(ext.data(), &head, 18);
  const uint8_t tail[22] = {24, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  std::memcpy(ext.data() + 18, tail, 22);
  const auto* extFormat = reinterpret_cast<const WaveFormatEx*>(ext.data());
  const WaveFormatEx s16 = Format(WAVE_FORMAT_PCM, 2, 44100, 4, 16);
  HACMSTREAM s = nullptr;
  ASSERT_EQ(acmStreamOpen(&s, extFormat, &s16, 0), 0);
  EXPECT_EQ(Samples(Convert(s, {0x00, 0x34, 0x12, 0x00, 0xCC, 0xED}, 16)),
            (std::vector<int16_t>{0x1234, int16_t(0xEDCC)}));
  acmStreamClose(s, 0);

  const WaveFormatEx f32 = Format(WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 4, 32);
  const WaveFormatEx s16m = Format(WAVE_FORMAT_PCM, 1, 8000, 2, 16);
  ASSERT_EQ(acmStreamOpen(&s, &f32, &s16m, 0), 0);
  const float samples[3] = {0.5f, -1.0f, 2.0f};
  std::vector<uint8_t> in(12);
  std::memcpy(in.data(), samples, 12);
  EXPECT_EQ(Samples(Convert(s, in, 6)), (std::vector<int16_t>{16384, -32768, 32767})) << "out of range clips";
  acmStreamClose(s, 0);

  const WaveFormatEx alaw = Format(6, 1, 8000, 1, 8);
  EXPECT_EQ(acmStreamOpen(&s, &s16m, &alaw, 0), ACMERR_NOTPOSSIBLE) << "only PCM is produced";
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(acmStreamCount(), 0);
}

WaveFormatEx Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
  const uint16_t align = uint16_t(channels * (bits / 8));
  return Format(WAVE_FORMAT_PCM, channels, rate, align, bits);
}

// n frames of 16-bit sound at one level in every channel.
std::vector<uint8_t> Level(int32_t frames, uint16_t channels, int16_t level) {
  std::vector<int16_t> samples(size_t(frames) * channels, level);
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

// Converts a sound in chunks of the given frames, the last chunk ending it; all that came out.
std::vector<uint8_t> ConvertInChunks(const WaveFormatEx& from, const WaveFormatEx& to, const std::vector<uint8_t>& in,
                                     int32_t chunkFrames) {
  HACMSTREAM s = nullptr;
  EXPECT_EQ(acmStreamOpen(&s, &from, &to, ACM_STREAMOPENF_NONREALTIME), 0);
  std::vector<uint8_t> out;
  const size_t chunk = size_t(chunkFrames) * from.blockAlign;
  for (size_t at = 0; at < in.size(); at += chunk) {
    const size_t n = std::min(chunk, in.size() - at);
    const std::vector<uint8_t> piece(in.begin() + ptrdiff_t(at), in.begin() + ptrdiff_t(at + n));
    const uint32_t room =
        uint32_t(double(n) / from.blockAlign * to.samplesPerSec / from.samplesPerSec + 512) * to.blockAlign;
    const auto got = Convert(s, piece, room, at + n == in.size() ? ACM_STREAMCONVERTF_END : 0);
    out.insert(out.end(), got.begin(), got.end());
  }
  acmStreamClose(s, 0);
  return out;
}

// A sound converted in the chunks the audio step cuts (a second, a 29.97 or 23.976 fps
// interleave, one video frame) comes out exactly as long as it went in: every output instant
// inside the source's span, ceil(frames * out rate / in rate). A resampler that keeps its
// delayed tail loses a few frames at every sound's end.
TEST(AcmTest, AnEndedSoundComesOutExactlyAsLongAsItWentIn) {
  const uint32_t rates[] = {8000, 11025, 22050, 44100, 48000};
  for (uint32_t in : rates)
    for (uint32_t out : rates) {
      if (in == out) continue;
      const int32_t chunks[] = {int32_t(in), int32_t(29 * in / 29.97), int32_t(23 * in / 23.976), int32_t(in / 25)};
      for (int32_t frames : {int32_t(in) + 37, 1, 220})
        for (int32_t chunk : chunks) {
          if (chunk > frames && chunk != chunks[0]) continue;
          const auto got = ConvertInChunks(Pcm(in, 2, 16), Pcm(out, 2, 16), Level(frames, 2, 1000), chunk);
          const int64_t expected = (int64_t(frames) * out + in - 1) / in;
          EXPECT_EQ(int64_t(got.size() / 4), expected)
              << in << " -> " << out << ", " << frames << " frames by " << chunk;
        }
    }
}

// The frames that come out at the end carry the sound (here a steady level), not silence made
// up to fill the count; channel and depth changes end the same way.
TEST(AcmTest, TheTailOfAnEndedSoundCarriesTheSound) {
  struct Case {
    uint32_t inRate, outRate;
    uint16_t inChannels, outChannels, outBits;
  };
  const Case cases[] = {{44100, 22050, 2, 2, 16}, {8000, 48000, 1, 1, 16}, {22050, 44100, 1, 2, 16},
                        {48000, 11025, 2, 1, 16}, {44100, 8000, 1, 1, 24}, {11025, 22050, 1, 1, 8}};
  for (const Case& c : cases) {
    const WaveFormatEx to = Pcm(c.outRate, c.outChannels, c.outBits);
    const auto got =
        ConvertInChunks(Pcm(c.inRate, c.inChannels, 16), to, Level(int32_t(c.inRate / 10), c.inChannels, 8000), 1000);
    const int64_t frames = (int64_t(c.inRate / 10) * c.outRate + c.inRate - 1) / c.inRate;
    ASSERT_EQ(int64_t(got.size()), frames * to.blockAlign) << c.inRate << " -> " << c.outRate;
    // The last frame's first sample, scaled back to 16 bits.
    const uint8_t* last = got.data() + got.size() - to.blockAlign;
    int32_t v = 0;
    if (c.outBits == 8) v = (int32_t(last[0]) - 128) * 256;
    if (c.outBits == 16) v = int16_t(last[0] | last[1] << 8);
    if (c.outBits == 24) v = int16_t(last[1] | last[2] << 8);
    EXPECT_NEAR(v, 8000, 400) << c.inRate << " -> " << c.outRate << " ends at " << v;
  }
}

// After a sound has ended the stream starts a new one: the second sound is as exact as the first.
TEST(AcmTest, TheSoundAfterAnEndedOneStartsAfresh) {
  const WaveFormatEx from = Pcm(44100, 1, 16), to = Pcm(22050, 1, 16);
  HACMSTREAM s = nullptr;
  ASSERT_EQ(acmStreamOpen(&s, &from, &to, 0), 0);
  for (int sound = 0; sound < 2; ++sound)
    EXPECT_EQ(Convert(s, Level(44100, 1, 1000), 60000, ACM_STREAMCONVERTF_END).size(), 22050u * 2) << sound;
  acmStreamClose(s, 0);
}

}  // namespace
}  // namespace rf
