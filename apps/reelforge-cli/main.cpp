// reelforge-cli: batch rendering, file information and the demo from a shell.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "editlist/informer.h"
#include "formats/uniaccess.h"
#include "foundation/errors.h"
#include "foundation/shutdown.h"

namespace rf::cli {
namespace {

const char* const kUsageText =
    "usage: reelforge-cli COMMAND [OPTIONS] ...\n"
    "\n"
    "Commands:\n"
    "  info [--csv] FILE...           the information report of each file\n"
    "  render [OPTIONS] -o OUTPUT INPUT...\n"
    "                                 render the inputs, in order, into OUTPUT\n"
    "  convert INPUT OUTPUT [OPTIONS] the same for one input\n"
    "  count-colors [OPTIONS] INPUT...\n"
    "                                 the number of colours the rendered frames hold\n"
    "  average [OPTIONS] -o OUTPUT INPUT...\n"
    "                                 the mean of the rendered frames as one picture\n"
    "  demo [DIR]                     write sample material and render it into DIR (./demo-out)\n"
    "  codecs                         the video compressors AVI outputs can use\n"
    "  session new|show|add|save      build, print, extend and save session files\n"
    "\n"
    "'reelforge-cli COMMAND --help' describes a command's options.\n"
    "Options: --help, --version\n";

const char* const kInfoHelp =
    "usage: reelforge-cli info [--csv] [--sequences] FILE...\n"
    "\n"
    "Prints the information report of every FILE on standard output.\n"
    "  --csv         one header line, then one line per file, the values separated by\n"
    "                semicolons\n"
    "  --sequences   treat a numbered picture as the first of a sequence\n";

}  // namespace

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "reelforge-cli: %s\n", message.c_str());
  return status;
}

std::string TakeError() {
  std::string text = ErrLastMessage();
  const std::string& file = LastFileName();
  if (!file.empty() && text.find(file) == std::string::npos) text += " (file: " + file + ")";
  ErrClear();
  return text;
}

int CmdInfo(int argc, char** argv) {
  bool csv = false, sequences = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help") {
      std::fputs(kInfoHelp, stdout);
      return kOk;
    }
    if (a == "--csv")
      csv = true;
    else if (a == "--sequences")
      sequences = true;
    else if (a.rfind("-", 0) == 0 && a != "-")
      return Fail(kUsage, "info: unknown option '" + a + "' (see 'reelforge-cli info --help')");
    else
      files.push_back(a);
  }
  if (files.empty()) return Fail(kUsage, "info: no file given (see 'reelforge-cli info --help')");
  std::vector<QUniInfo> infos(files.size());
  int status = kOk;
  InfoListInit();
  for (size_t i = 0; i < files.size(); ++i) {
    if (UniInfo(files[i], infos[i], sequences)) {
      InfoListAdd(&infos[i]);
    } else {
      UniRaiseLastProblem();
      status = Fail(kFailed, TakeError());
    }
  }
  const std::string text = InfoListGetStr(csv);
  InfoListDone();
  std::fwrite(text.data(), 1, text.size(), stdout);
  return status;
}

}  // namespace rf::cli

int main(int argc, char** argv) {
  using namespace rf::cli;
  if (argc < 2) {
    std::fputs(kUsageText, stderr);
    return kUsage;
  }
  const std::string command = argv[1];
  ApplyPreferences();
  // The run's messages: results on standard output, everything else as the program's complaints.
  rf::SetMessageBoxHook([](rf::MsgBox kind, const std::string&, const std::string& text) {
    if (kind == rf::MsgBox::Information)
      std::printf("%s\n", text.c_str());
    else
      Fail(kFailed, text);
  });
  int status;
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsageText, stdout);
    status = kOk;
  } else if (command == "--version") {
    std::printf("reelforge-cli %s\n", RF_VERSION);
    status = kOk;
  } else if (command == "info") {
    status = CmdInfo(argc - 1, argv + 1);
  } else if (command == "render") {
    status = CmdRender(argc - 1, argv + 1, JobCommand::Render);
  } else if (command == "convert") {
    status = CmdRender(argc - 1, argv + 1, JobCommand::Convert);
  } else if (command == "count-colors") {
    status = CmdRender(argc - 1, argv + 1, JobCommand::CountColors);
  } else if (command == "average") {
    status = CmdRender(argc - 1, argv + 1, JobCommand::Average);
  } else if (command == "demo") {
    status = CmdDemo(argc - 1, argv + 1);
  } else if (command == "codecs") {
    status = CmdCodecs(argc - 1, argv + 1);
  } else if (command == "session") {
    status = CmdSession(argc - 1, argv + 1);
  } else {
    status = Fail(kUsage, "unknown command '" + command + "' (see 'reelforge-cli --help')");
  }
  rf::FoundationDone();
  return status;
}
