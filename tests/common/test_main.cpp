// Test entry point: points the configuration and temporary folders at a private scratch root so
// that no test touches the real home folder.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <string>

#include "os/kernel.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* base = std::getenv("TMPDIR");
  std::string root = std::string(base && *base ? base : "/tmp") + "/reelforge-test-" + std::to_string(::getpid());
  rf::kernel::MakeDirs(root + "/config");
  ::setenv("TMPDIR", root.c_str(), 1);
  ::setenv("REELFORGE_CONFIG_DIR", (root + "/config").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  const int result = RUN_ALL_TESTS();
  if (result == 0) std::system(("rm -rf '" + root + "'").c_str());
  return result;
}
