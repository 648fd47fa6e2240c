// Scratch folders and the clean-state fixture shared by the test programs.
#include "common/test_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"
#include "os/kernel.h"

namespace rf::test {

std::string ScratchDir(const std::string& name) {
  const std::string dir = kernel::TempDir() + "/" + name;
  std::system(("rm -rf '" + dir + "'").c_str());
  kernel::MakeDirs(dir);
  return dir;
}

std::string StandardErrorOf(const std::function<void()>& call) {
  const std::string path = ScratchDir("stderr") + "/fd2.txt";
  std::fflush(stderr);
  const int saved = ::dup(2);
  const int file = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  ::dup2(file, 2);
  call();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  ::close(file);
  return ReadWholeFile(path);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

void FoundationTest::SetUp() {
  ErrUnlock();
  ErrClear();
  WarnClear();
  FaultReset();
  TraceStop();
}

void FoundationTest::TearDown() {
  FaultReset();
  TraceStop();
  EXPECT_EQ(MonDepth(), 0) << "a guarded block was left open";
  EXPECT_EQ(MemCount(), 0) << "tracked blocks were left allocated";
  EXPECT_EQ(FCount(), 0) << "tracked files were left open";
  while (MonDepth() > 0) MonEnd();
  MemReleaseFrom(0);
  FCloseFrom(0);
  ErrUnlock();
  ErrClear();
}

}  // namespace rf::test
