// The command-line program end to end on generated inputs: results checked with our readers,
// ffprobe and sox; every refusal by its exit status and message; Ctrl-C; the outside libraries.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli/cli_shell.h"
#include "common/test_support.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "formats/uniaccess.h"

namespace rf {
namespace {

using clitest::CmdResult;
using clitest::Shell;

CmdResult Cli(const std::string& args) { return Shell(std::string(RF_CLI_PATH) + " " + args); }

bool Exists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0;
}

// Little-endian numbers in file bytes: appended, stored at an offset, read back.
void Add(std::string& s, uint32_t v, int bytes = 4) { s.append(reinterpret_cast<const char*>(&v), size_t(bytes)); }
void PutLE32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
}
uint32_t LE(const std::string& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(b[at + size_t(i)]);
  return v;
}

class CliTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("cli");

  // Every "@" of a pattern stands for the scratch folder.
  std::string At(std::string s) const {
    for (size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, dir + "/");
    return s;
  }
  void MakeWith(const std::string& command) { ASSERT_EQ(Shell(At(command)).status, 0) << command; }
};

TEST_F(CliTest, DemoInputsThroughRenderConvertAndInfo) {
  const CmdResult demo = Cli(At("demo @demo"));
  ASSERT_EQ(demo.status, 0) << demo.err;
  EXPECT_NE(demo.out.find(At("video: @demo/demo.avi (46 frames)")), std::string::npos) << demo.out;
  QUniInfo info;
  ASSERT_TRUE(UniInfo(At("@demo/demo.avi"), info, false));
  // Two stills held 8 frames each and the 30 pictures of the sequence, fitted into 240 x 180 and
  // cropped by 8 on every side.
  EXPECT_EQ(info.video.frames, 46);
  EXPECT_EQ(info.video.width, 224);
  EXPECT_EQ(info.video.height, 164);
  EXPECT_EQ(Shell(At("ffprobe -v error -select_streams a -show_entries stream=sample_rate,channels -of csv=p=0 "
                     "@demo/demo.avi"))
                .out,
            "22050,1\n");
  // Half a second of silence and the two-second tone.
  EXPECT_NEAR(info.audio.frames, 11025 + 44100, 64);
  ASSERT_TRUE(UniInfo(At("@demo/$reelforge-preview.hav"), info, false));
  EXPECT_EQ(info.video.frames, 46);
  EXPECT_LE(info.video.width, 200);
  EXPECT_LE(info.video.height, 200);

  CmdResult r = Cli("render -q --sequences --depth 8 --dither --effect 'negative@0-1'" +
                    At(" -o @neg.bmp @demo/input/pattern0001.tga") + "@5-9");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(At("video: @neg0.bmp (5 frames)")), std::string::npos) << r.out;
  EXPECT_EQ(Shell(At("ffprobe -v error -show_entries stream=pix_fmt -of csv=p=0 @neg4.bmp")).out, "pal8\n");

  r = Cli(At("convert @demo/input/tone.wav @long.wav --silence 1 --progress=machine"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("percent="), std::string::npos) << r.err;
  EXPECT_NEAR(std::stol(Shell(At("soxi -s @long.wav")).out), 44100 + 22050, 64);

  r = Cli(At("info @demo/input/tone.wav"));
  EXPECT_NE(r.out.find("22050"), std::string::npos) << r.out;
  // Values such as "WAV, Windows Wave Sound" hold commas: semicolons part the 21 columns, and the
  // help must say so.
  r = Cli(At("info --csv @demo/input/tone.wav @demo/demo.avi"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << "a header line and one line per file:\n" << r.out;
  const std::string header = r.out.substr(0, r.out.find('\n'));
  EXPECT_EQ(std::count(header.begin(), header.end(), ';'), 20) << header;
  const std::string help = Cli("info --help").out;
  EXPECT_NE(help.find("semicolons"), std::string::npos) << help;
  EXPECT_EQ(help.find("comma"), std::string::npos) << help;
  EXPECT_NE(Cli("render --help").out.find("--keep-duration"), std::string::npos);
  EXPECT_EQ(Cli("--version").out.rfind("reelforge-cli ", 0), 0u);
}

void CutAtHalf(std::string& bmp) { bmp.resize(bmp.size() / 2); }
void HugeHeader(std::string& bmp) {
  PutLE32(bmp, 18, 65536);
  PutLE32(bmp, 22, 65536);
}
void IdatPastEnd(std::string& png) { png.replace(png.find("IDAT") - 4, 4, std::string("\0\x10\0\0", 4)); }
// Every strip of a little-endian TIFF starts where the file ends.
void StripsPastEnd(std::string& tif) {
  const uint32_t ifd = LE(tif, 4, 4);
  for (uint32_t e = 0; e < LE(tif, ifd, 2); ++e) {
    const size_t entry = ifd + 2 + 12 * e;
    if (LE(tif, entry, 2) != 273) continue;
    const uint32_t count = LE(tif, entry + 4, 4);
    const size_t width = LE(tif, entry + 2, 2) == 3 ? 2 : 4;
    const size_t values = count * width <= 4 ? entry + 8 : LE(tif, entry + 8, 4);
    for (uint32_t k = 0; k < count; ++k)
      for (size_t i = 0; i < width; ++i) tif[values + k * width + i] = char(tif.size() >> (8 * i));
  }
}

// Every way a run is refused, with its exit status and message, and no output left behind: a
// header that promises more than the file holds ends with the reader's message (never as if
// Ctrl-C had been pressed), an output nothing reaches is refused before it is created, and a bad
// command line is a usage error.
TEST_F(CliTest, RefusalsGiveTheirStatusAndMessage) {
  const struct {
    const char* file;
    void (*damage)(std::string& bytes);
  } kDamaged[] = {
      {"cut.bmp", CutAtHalf}, {"huge.bmp", HugeHeader}, {"idat.png", IdatPastEnd}, {"strip.tif", StripsPastEnd}};
  for (const auto& d : kDamaged) {
    const std::string ext = std::string(d.file).substr(std::string(d.file).find('.'));
    const std::string pixels = ext == ".bmp" ? "bgr24" : "rgb24";
    MakeWith("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48 -frames:v 1 -pix_fmt " + pixels + " @good" + ext);
    std::string bytes = test::ReadWholeFile(At("@good" + ext));
    d.damage(bytes);
    test::WriteWholeFile(At("@") + d.file, bytes);
  }
  MakeWith("cp @good.bmp @locked.bmp && chmod 0 @locked.bmp");
  MakeWith("ffmpeg -v error -y -f lavfi -i sine=d=0.2 @tone.wav");
  MakeWith("sox -n -r 8000 -c 1 -b 8 @nosamples.wav trim 0 0");
  // The superuser reads every file: the program runs as nobody then.
  const std::string nobody = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const struct {
    std::string args;
    int status;
    std::string message;
  } kCases[] = {
      {"convert -q @cut.bmp @out.bmp", 1, "Image data corrupted. (file: @cut.bmp)"},
      {"convert -q @huge.bmp @out.bmp", 1, "Invalid image format. (file: @huge.bmp)"},
      {"convert -q @idat.png @out.bmp", 1, "Cannot read from file. (file: @idat.png)"},
      {"convert -q @strip.tif @out.bmp", 1, "Read error"},
      {"info @locked.bmp", 1, "Cannot open file (permission denied): @locked.bmp"},
      {"convert -q @tone.wav @o.bmp", 1, "No input has pictures for this output: @o.bmp"},
      {"convert -q @good.bmp @o.wav", 1, "No input has sound for this output: @o.wav"},
      {"convert -q @good.bmp @o.bmp --audio-out @o.wav", 1, "No input has sound for this output: @o.wav"},
      {"convert -q @nosamples.wav @o.wav", 1, "Cannot read from WAV file. (file: @nosamples.wav)"},
      {"render -q -o @x.bmp @none.tga", 1, "reelforge-cli: File not exist. (file: @none.tga)"},
      {"render --bogus -o @x.bmp a.tga", 2, "unknown or incomplete option '--bogus'"},
      {"render --effect Sparkle -o @x.bmp a.tga", 2, "unknown effect 'Sparkle'"},
      {"render --depth 12 -o @x.bmp a.tga", 2, "--depth wants 24, 16, 15 or 8"},
      {"convert onlyone.tga", 2, "convert: wants INPUT and OUTPUT"},
      {"frobnicate", 2, "unknown command 'frobnicate'"},
  };
  for (const auto& c : kCases) {
    const CmdResult r = Shell(nobody + RF_CLI_PATH + " " + At(c.args));
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(At(c.message)), std::string::npos) << c.args << ": " << r.err;
    if (c.message == "Read error") {
      EXPECT_NE(r.err.find(At("@strip.tif")), std::string::npos) << r.err;
    }
    for (const char* out : {"out.bmp", "o.bmp", "o.wav", "x.bmp"}) EXPECT_FALSE(Exists(At("@") + out)) << c.args;
  }
}

// What a name is when it is no readable media file, as info and convert both tell it.
TEST_F(CliTest, RefusedInputsSayWhy) {
  const struct {
    const char* file;
    const char* make;  // a shell command given the path; nullptr: the content is written
    std::string content;
    const char* message;
  } kCases[] = {
      {"missing.bmp", "true", "", "File not exist. (file: "},
      {"folder.bmp", "mkdir", "", "Is a folder, not a file: "},
      {"fifo.bmp", "mkfifo", "", "Not a regular file (a pipe or a device): "},
      {"empty.bmp", nullptr, "", "File is empty: "},
      {"notes.txt", nullptr, "plain words\n", "Unknown file format: "},
      {"short.bmp", nullptr, std::string("BM\0\0", 4), "Cannot read from file. (file: "},
  };
  for (const auto& c : kCases) {
    const std::string name = At("@") + c.file;
    if (c.make)
      MakeWith(std::string(c.make) + " " + name);
    else
      test::WriteWholeFile(name, c.content);
    // A pipe must be refused, not opened: a wait on it would end the test here.
    for (const std::string command : {"info ", "convert -q "}) {
      const std::string out = command == "info " ? "" : At(" @out.bmp");
      const CmdResult r = Shell("timeout 20 " + std::string(RF_CLI_PATH) + " " + command + name + out);
      EXPECT_EQ(r.status, 1) << command << c.file << ": " << r.err;
      EXPECT_NE(r.err.find(std::string(c.message) + name), std::string::npos) << r.err;
    }
    EXPECT_FALSE(Exists(At("@out.bmp"))) << c.file;
  }
}

// Whether a SIGINT sent to the process still waits to be taken.
bool InterruptPending(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if ((line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0) &&
        (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1) & 1))
      return true;
  return false;
}

// Starts a render, sends Ctrl-C as many times as asked once its first progress line arrived, and
// returns its exit status.
int InterruptedRender(const std::vector<std::string>& args, int interrupts) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], 2);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, 1);
    ::close(pipeFds[0]);
    std::vector<char*> argv{const_cast<char*>(RF_CLI_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(RF_CLI_PATH, argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  std::string seen;
  char buf[256];
  for (ssize_t n; seen.find("frames=") == std::string::npos && (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
    seen.append(buf, size_t(n));
  // Signals of one kind do not queue: each Ctrl-C waits until the program has taken the one
  // before, however slowly a loaded machine schedules it, and follows at once, well inside the
  // half second the program waits before it acts on the first.
  for (int i = 0; i < interrupts; ++i) {
    while (InterruptPending(pid)) ::usleep(200);
    ::kill(pid, SIGINT);
  }
  while (::read(pipeFds[0], buf, sizeof buf) > 0) {
  }
  ::close(pipeFds[0]);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(CliTest, CtrlCStopsOnceAndAbortsTwice) {
  // Large frames through a slow effect keep every frame busy far longer than the pause between
  // two Ctrl-Cs.
  Qimg big;
  ASSERT_EQ(_imgalloc_(big, 640, 480, 24, "Test.Cli.big"), 0);
  for (int32_t i = 0; i < big.size; ++i) big.data[i] = uint8_t(i * 31 % 251);
  ImgSave(At("@big.tga"), big, FF_AUTO);
  ImgFree(big);
  std::vector<std::string> args{"render", "--progress=machine", "--effect", "Oil painting:7"};
  for (int i = 0; i < 20; ++i) args.push_back(At("@big.tga"));
  args.push_back("-o");

  std::vector<std::string> stop = args;
  stop.push_back(At("@stop.bmp"));
  EXPECT_EQ(InterruptedRender(stop, 1), 130);
  QUniInfo info;
  ASSERT_TRUE(UniInfo(At("@stop00.bmp"), info, true)) << "a stopped render keeps what it wrote";
  EXPECT_GE(info.video.frames, 1);
  EXPECT_LT(info.video.frames, 20);

  std::vector<std::string> abort = args;
  abort.push_back(At("@abort.bmp"));
  EXPECT_EQ(InterruptedRender(abort, 2), 130);
  EXPECT_FALSE(Exists(At("@abort00.bmp"))) << "an aborted render deletes what it wrote";
  EXPECT_FALSE(Exists(At("@abort01.bmp")));
}

// A WAV file from its format chunk's body and its sample bytes.
std::string Wav(const std::string& format, const std::string& data) {
  std::string s = "RIFF";
  Add(s, uint32_t(4 + 8 + format.size() + 8 + data.size()));
  s += "WAVEfmt ";
  Add(s, uint32_t(format.size()));
  s += format + "data";
  Add(s, uint32_t(data.size()));
  return s + data;
}

// frames of a 440 Hz tone, 16-bit stereo.
std::string ToneWav(uint32_t rate, int32_t frames) {
  std::string format, data;
  for (const auto& [v, bytes] : {std::pair{1u, 2}, {2u, 2}, {rate, 4}, {rate * 4, 4}, {4u, 2}, {16u, 2}})
    Add(format, v, bytes);
  for (int32_t i = 0; i < frames; ++i) {
    const auto v = uint16_t(int16_t(std::lround(8000 * std::sin(2 * M_PI * 440 * i / rate))));
    Add(data, v, 2), Add(data, v, 2);
  }
  return Wav(format, data);
}

// MS ADPCM whose every block names predictor 200 of the 7 the format has.
std::string DamagedAdpcmWav() {
  std::string format;
  for (const auto& [v, bytes] :
       {std::pair{2u, 2}, {1u, 2}, {22050u, 4}, {11155u, 4}, {256u, 2}, {4u, 2}, {32u, 2}, {500u, 2}, {7u, 2}})
    Add(format, v, bytes);
  for (int16_t c : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}) Add(format, uint16_t(c), 2);
  std::string block(256, '\x11');
  block[0] = char(200);
  std::string data;
  for (int i = 0; i < 12; ++i) data += block;
  return Wav(format, data);
}

// Start-up maps no codec library: a picture's information, or the version, needs none of them.
TEST_F(CliTest, StartUpLoadsNoCodecLibrary) {
  MakeWith("ffmpeg -v error -y -f lavfi -i testsrc2=size=8x8 -frames:v 1 -pix_fmt bgr24 @p.bmp");
  for (const std::string args : {"--version", "info p.bmp"}) {
    const CmdResult r = Shell(At("cd @ && LD_DEBUG=files ") + RF_CLI_PATH + " " + args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_NE(r.err.find("file="), std::string::npos) << "the loader's report is missing";
    for (const char* library : {"libavcodec", "libavformat", "libavutil", "libswresample", "libswscale"})
      EXPECT_EQ(r.err.find(library), std::string::npos) << args << " loads " << library;
  }
}

// Sounds at other rates are resampled to the first one's rate and keep their length exactly; a
// codec that refuses a sound says why once, through the program's own message.
TEST_F(CliTest, SoundsKeepTheirLengthAndCodecsKeepQuiet) {
  test::WriteWholeFile(At("@lead.wav"), ToneWav(22050, 220));
  test::WriteWholeFile(At("@a.wav"), ToneWav(44100, 44100));
  test::WriteWholeFile(At("@b.wav"), ToneWav(8000, 8001));
  const CmdResult r = Shell(At("cd @ && ") + RF_CLI_PATH + " render -q -o r.wav lead.wav a.wav b.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string wav = test::ReadWholeFile(At("@r.wav"));
  ASSERT_NE(wav.find("data"), std::string::npos);
  EXPECT_EQ(LE(wav, wav.find("data") + 4, 4) / 4, 220u + 22050u + 22053u);

  test::WriteWholeFile(At("@bad.wav"), DamagedAdpcmWav());
  for (const std::string args : {"convert bad.wav o.wav", "info bad.wav"}) {
    const CmdResult bad = Shell(At("cd @ && ") + RF_CLI_PATH + " " + args);
    EXPECT_EQ(bad.err.find("adpcm_ms @"), std::string::npos) << args << ":\n" << bad.err;
    EXPECT_LE(std::count(bad.err.begin(), bad.err.end(), '\n'), 1) << args << ":\n" << bad.err;
  }
}

}  // namespace
}  // namespace rf
