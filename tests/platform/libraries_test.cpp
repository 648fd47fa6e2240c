// The codec libraries opened on first use, and every outside library's messages in the trace.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "foundation/trace.h"
#include "platform/acm.h"
#include "platform/avlib.h"
#include "platform/libmsg.h"

namespace rf {
namespace {

using Sonames = const char * [size_t(AvLibrary::Count)];

TEST(LibrariesTest, AMissingLibraryOrFunctionIsNamedInTheFailure) {
  struct Case {
    AvLibrary replaced;
    const char* by;
    const char* failure;
  };
  const Case cases[] = {
      {AvLibrary::Codec, "libreelforge-absent.so.1", "libreelforge-absent.so.1 is not installed"},
      {AvLibrary::Util, "libz.so.1", "lacks the function av_mallocz"},
      {AvLibrary::Format, "libz.so.1", "lacks the function avformat_get_riff_video_tags"},
  };
  for (const Case& c : cases) {
    Sonames names;
    for (size_t i = 0; i < size_t(AvLibrary::Count); ++i) names[i] = detail::AvSoname(AvLibrary(i));
    names[size_t(c.replaced)] = c.by;
    AvApi api;
    std::string failure;
    EXPECT_FALSE(detail::AvResolve(api, names, failure)) << c.by;
    EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
    EXPECT_EQ(api.av_mallocz, nullptr) << "a table that failed is left empty";
  }
  ASSERT_TRUE(AvLoad()) << AvLoadFailure();
  EXPECT_NE(Av().swr_convert, nullptr);
  EXPECT_NE(Av().av_codec_get_id, nullptr);
}

// One stored block of mono MS ADPCM whose predictor index (its first byte) is out of range.
std::vector<uint8_t> AdpcmFormat() {
  const int16_t coefficients[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  std::vector<uint8_t> f(18 + 32);
  const WaveFormatEx head{2, 1, 22050, 11155, 256, 4, 32};
  std::memcpy(f.data(), &head, 18);
  const uint16_t samplesPerBlock = 500, count = 7;
  std::memcpy(&f[18], &samplesPerBlock, 2);
  std::memcpy(&f[20], &count, 2);
  std::memcpy(&f[22], coefficients, sizeof coefficients);
  return f;
}

TEST(LibrariesTest, CodecMessagesGoToTheTraceAndTheReasonNotToStandardError) {
  const std::string trace = test::ScratchDir("libtrace") + "/trace.txt";
  TraceSetFile(trace);
  TraceStart("heading");
  const auto format = AdpcmFormat();
  const auto* adpcm = reinterpret_cast<const WaveFormatEx*>(format.data());
  const WaveFormatEx pcm{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
  std::vector<uint8_t> block(256, 0x11);
  block[0] = 200;
  std::string reason;
  const std::string printed = test::StandardErrorOf([&] {
    HACMSTREAM s = nullptr;
    ASSERT_EQ(acmStreamOpen(&s, adpcm, &pcm, 0), 0);
    std::vector<uint8_t> out(4096);
    ACMSTREAMHEADER h{sizeof h, 0, block.data(), uint32_t(block.size()), 0, out.data(), uint32_t(out.size()), 0};
    acmStreamPrepareHeader(s, &h, 0);
    EXPECT_EQ(acmStreamConvert(s, &h, 0), 0) << "a damaged block is dropped, the sound goes on";
    acmStreamUnprepareHeader(s, &h, 0);
    EXPECT_EQ(h.cbDstLengthUsed, 0u);
    reason = LibTakeReason();
    acmStreamClose(s, 0);
  });
  TraceStop();
  EXPECT_EQ(printed, "");
  EXPECT_NE(reason.find("block_predictor"), std::string::npos) << reason;
  EXPECT_EQ(reason.find("0x"), std::string::npos) << "no addresses in a user's message: " << reason;
  EXPECT_EQ(LibTakeReason(), "") << "a reason is taken once";
  EXPECT_NE(test::ReadWholeFile(trace).find("#" + reason), std::string::npos);
}

TEST(LibrariesTest, TheLastErrorLineIsTheReasonAndEachCallStartsWithout) {
  LibMessage("lib", LibLevel::Error, "first\n");
  LibMessage("lib", LibLevel::Warning, "a warning");
  LibMessage("lib", LibLevel::Error, "  second  \r\n");
  LibMessage("lib", LibLevel::Note, "a note");
  EXPECT_EQ(LibTakeReason(), "lib: second");
  LibMessage("lib", LibLevel::Error, "stale");
  const WaveFormatEx a{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0}, b{WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0};
  HACMSTREAM s = nullptr;
  ASSERT_EQ(acmStreamOpen(&s, &a, &b, 0), 0);
  EXPECT_EQ(LibTakeReason(), "") << "an old line is not the reason of a new call";
  acmStreamClose(s, 0);
}

}  // namespace
}  // namespace rf
