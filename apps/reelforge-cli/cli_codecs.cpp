// The codecs command: the video compressor list with what each compressor supports.
#include <cstdio>
#include <string>

#include "cli.h"
#include "formats/ff_avi.h"

namespace rf::cli {
namespace {

const char* const kCodecsHelp =
    "usage: reelforge-cli codecs\n"
    "\n"
    "Lists the video compressors an AVI output can use (render --codec FOURCC), in the\n"
    "compressor list's order: the code, whether it can encode, whether it takes a quality,\n"
    "key frames and a data rate, and its name and description.\n";

const char* YesNo(int32_t flag) { return flag ? "yes" : "no"; }

}  // namespace

int CmdCodecs(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help") {
      std::fputs(kCodecsHelp, stdout);
      return kOk;
    }
    return Fail(kUsage, "codecs: unexpected argument '" + a + "' (see 'reelforge-cli codecs --help')");
  }
  std::printf("%-6s  %-7s  %-7s  %-9s  %-9s  %-16s  %s\n", "FOURCC", "ENCODER", "QUALITY", "KEYFRAMES", "DATA RATE",
              "NAME", "DESCRIPTION");
  for (const aviCodecsRec& rec : AviCodecs(0, 0, 0)) {
    const uint32_t code = rec.fourcc;
    const std::string fourcc{char(code), char(code >> 8), char(code >> 16), char(code >> 24)};
    std::printf("%-6s  %-7s  %-7s  %-9s  %-9s  %-16s  %s\n", fourcc.c_str(), YesNo(rec.isEncoder),
                YesNo(rec.supportsQuality), YesNo(rec.supportsKeyFrames), YesNo(rec.supportsDataRate),
                AviRecName(rec).c_str(), AviRecDescription(rec).c_str());
  }
  return kOk;
}

}  // namespace rf::cli
