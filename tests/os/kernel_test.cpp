// The kernel stand-in: folders from the environment, machine facts, file primitives.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/test_support.h"
#include "os/kernel.h"

namespace rf {
namespace {

TEST(KernelTest, FoldersFollowTheEnvironment) {
  const std::string saved = std::getenv("REELFORGE_CONFIG_DIR");
  ::setenv("REELFORGE_CONFIG_DIR", "/tmp/somewhere/", 1);
  EXPECT_EQ(kernel::ConfigDir(), "/tmp/somewhere");
  ::unsetenv("REELFORGE_CONFIG_DIR");
  ::setenv("XDG_CONFIG_HOME", "/home/u/.cfg", 1);
  EXPECT_EQ(kernel::ConfigDir(), "/home/u/.cfg/reelforge");
  EXPECT_EQ(kernel::SharedIniPath(), "/home/u/.cfg/velmora.ini");
  ::setenv("REELFORGE_CONFIG_DIR", saved.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST(KernelTest, MachineFacts) {
  EXPECT_EQ(kernel::GetSystemVersion().name, "Linux");
  EXPECT_GE(kernel::ProcessorCount(), 1u);
  EXPECT_FALSE(kernel::ProcessorName().empty());
  const auto m = kernel::GetMemoryStatus();
  EXPECT_GT(m.totalPhysKB, 0u);
  EXPECT_LE(m.availPhysKB, m.totalPhysKB);
  const auto d = kernel::GetDiskStatus("/");
  EXPECT_TRUE(d.valid);
  EXPECT_GT(d.totalKB, 0u);
  EXPECT_FALSE(kernel::GetDiskStatus("/no/such/path").valid);
  const uint32_t t0 = kernel::TickCount();
  EXPECT_GE(kernel::TickCount() - t0, 0u);
}

TEST(KernelTest, FilePrimitives) {
  const std::string dir = test::ScratchDir("kernel");
  EXPECT_TRUE(kernel::MakeDirs(dir + "/a/b/c"));
  EXPECT_EQ(kernel::OpenFile(dir + "/a", kernel::Access::ReadOnly, kernel::Disposition::OpenExisting), -1)
      << "folders are not files";
  const std::string f = dir + "/a/f.bin";
  int fd = kernel::OpenFile(f, kernel::Access::ReadOnly, kernel::Disposition::CreateTruncate);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(kernel::WriteFile(fd, "hello", 5), 5) << "creating always grants write access";
  EXPECT_EQ(kernel::FileSize(fd), 5);
  EXPECT_FALSE(kernel::SeekFile(fd, -1));
  EXPECT_TRUE(kernel::SeekFile(fd, 1));
  char buf[8];
  EXPECT_EQ(kernel::ReadFile(fd, buf, 8), 4);
  EXPECT_TRUE(kernel::CloseFile(fd));
  EXPECT_TRUE(kernel::FileExists(f));
  EXPECT_FALSE(kernel::FileExists(dir + "/a"));
  EXPECT_TRUE(kernel::RenameFile(f, f + ".2"));
  EXPECT_TRUE(kernel::DeleteFile(f + ".2"));
  EXPECT_FALSE(kernel::DeleteFile(f + ".2"));
}

}  // namespace
}  // namespace rf
