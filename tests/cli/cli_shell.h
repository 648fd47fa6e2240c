// Runs the command-line program from the tests through a shell, capturing its output and status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "common/test_support.h"

namespace rf::clitest {

struct CmdResult {
  int status;
  std::string out, err;
};

// Runs a shell command line, capturing standard output and standard error.
inline CmdResult Shell(const std::string& command) {
  const std::string errFile = test::ScratchDir("cli-err") + "/stderr.txt";
  CmdResult r;
  FILE* p = ::popen((command + " 2>" + errFile).c_str(), "r");
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int raw = ::pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.err = test::ReadWholeFile(errFile);
  return r;
}

// A test's scratch folder and the program run in it: "@" in names and arguments stands for the
// folder followed by "/".
class ScratchCli {
 public:
  explicit ScratchCli(const std::string& name) : dir(test::ScratchDir(name)) {}
  std::string At(std::string s) const {
    for (size_t at; (at = s.find('@')) != std::string::npos;) s.replace(at, 1, dir + "/");
    return s;
  }
  CmdResult Cli(const std::string& args) const { return Shell(std::string(RF_CLI_PATH) + " " + At(args)); }

  const std::string dir;
};

}  // namespace rf::clitest
