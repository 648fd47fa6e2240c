// The program and its outside libraries: what start-up loads, sounds that keep their length, and
// library messages that stay off standard error.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/test_support.h"

namespace rf {
namespace {

struct Outcome {
  int status;
  std::string err;
};

// Runs the program with a shell prefix (environment settings), keeping its standard error.
Outcome Program(const std::string& prefix, const std::string& args) {
  const std::string errFile = test::ScratchDir("libcli-err") + "/stderr.txt";
  const int raw = std::system((prefix + " " + RF_CLI_PATH + " " + args + " >/dev/null 2>" + errFile).c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::ReadWholeFile(errFile)};
}

void Put32(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
void Put16(std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }

// A WAV file from its format chunk's body and its sample bytes.
std::string Wav(const std::string& format, const std::string& data) {
  std::string s = "RIFF";
  Put32(s, uint32_t(4 + 8 + format.size() + 8 + data.size()));
  s += "WAVEfmt ";
  Put32(s, uint32_t(format.size()));
  s += format;
  s += "data";
  Put32(s, uint32_t(data.size()));
  return s + data;
}

// frames of a 440 Hz tone, 16-bit stereo.
std::string ToneWav(uint32_t rate, int32_t frames) {
  std::string format;
  Put16(format, 1), Put16(format, 2), Put32(format, rate), Put32(format, rate * 4), Put16(format, 4), Put16(format, 16);
  std::string data;
  for (int32_t i = 0; i < frames; ++i) {
    const auto v = int16_t(std::lround(8000 * std::sin(2 * M_PI * 440 * i / rate)));
    Put16(data, uint16_t(v)), Put16(data, uint16_t(v));
  }
  return Wav(format, data);
}

// MS ADPCM whose every block names predictor 200 of the 7 the format has.
std::string DamagedAdpcmWav() {
  std::string format;
  Put16(format, 2), Put16(format, 1), Put32(format, 22050), Put32(format, 11155), Put16(format, 256);
  Put16(format, 4), Put16(format, 32), Put16(format, 500), Put16(format, 7);
  for (int16_t c : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}) Put16(format, uint16_t(c));
  std::string block(256, '\x11');
  block[0] = char(200);
  std::string data;
  for (int i = 0; i < 12; ++i) data += block;
  return Wav(format, data);
}

uint32_t DataFrames(const std::string& wav, uint32_t align) {
  const size_t at = wav.find("data");
  if (at == std::string::npos) return 0;
  uint32_t size;
  std::memcpy(&size, wav.data() + at + 4, 4);
  return size / align;
}

class LibrariesCliTest : public ::testing::Test {
 protected:
  std::string dir = test::ScratchDir("libcli");
};

// Start-up maps no codec library: a picture's information, or the version, needs none of them.
TEST_F(LibrariesCliTest, StartUpLoadsNoCodecLibrary) {
  std::string bmp = "BM";
  Put32(bmp, 54 + 12), Put32(bmp, 0), Put32(bmp, 54), Put32(bmp, 40), Put32(bmp, 2), Put32(bmp, 2);
  Put16(bmp, 1), Put16(bmp, 24), Put32(bmp, 0), Put32(bmp, 12), Put32(bmp, 2835), Put32(bmp, 2835);
  Put32(bmp, 0), Put32(bmp, 0);
  test::WriteWholeFile(dir + "/p.bmp", bmp + std::string(12, '\x40'));
  for (const std::string args : {"--version", "info p.bmp"}) {
    const Outcome r = Program("cd " + dir + " && LD_DEBUG=files", args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_NE(r.err.find("file="), std::string::npos) << "the loader's report is missing";
    for (const char* library : {"libavcodec", "libavformat", "libavutil", "libswresample", "libswscale"})
      EXPECT_EQ(r.err.find(library), std::string::npos) << args << " loads " << library;
  }
}

// Sounds at other rates are resampled to the first one's rate and keep their length exactly.
TEST_F(LibrariesCliTest, ResampledSoundsKeepTheirLength) {
  test::WriteWholeFile(dir + "/lead.wav", ToneWav(22050, 220));
  test::WriteWholeFile(dir + "/a.wav", ToneWav(44100, 44100));
  test::WriteWholeFile(dir + "/b.wav", ToneWav(8000, 8001));
  const Outcome r = Program("cd " + dir + " &&", "render -q -o r.wav lead.wav a.wav b.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(DataFrames(test::ReadWholeFile(dir + "/r.wav"), 4), 220u + 22050u + 22053u);
}

// A codec that refuses the sound says why once, through the program's own message.
TEST_F(LibrariesCliTest, ACodecsComplaintsStayOffStandardError) {
  test::WriteWholeFile(dir + "/bad.wav", DamagedAdpcmWav());
  for (const std::string args : {"convert bad.wav o.wav", "info bad.wav"}) {
    const Outcome r = Program("cd " + dir + " &&", args);
    EXPECT_EQ(r.err.find("adpcm_ms @"), std::string::npos) << args << ":\n" << r.err;
    EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ":\n" << r.err;
  }
}

}  // namespace
}  // namespace rf
