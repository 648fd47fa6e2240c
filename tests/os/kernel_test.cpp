// The kernel stand-in: folders from the environment, machine facts, file primitives.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <set>

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
  EXPECT_GT(kernel::GetDiskStatus("/").totalKB, 0u);
  EXPECT_FALSE(kernel::GetDiskStatus("/no/such/path").valid);
}

TEST(KernelTest, FilePrimitives) {
  const std::string dir = test::ScratchDir("kernel");
  EXPECT_TRUE(kernel::MakeDirs(dir + "/a/b/c"));
  EXPECT_EQ(kernel::OpenFile(dir + "/a", kernel::Access::ReadOnly, kernel::Disposition::OpenExisting), -1)
      << "folders are not files";
  const std::string f = dir + "/a/f.bin";
  int fd = kernel::OpenFile(f, kernel::Access::ReadOnly, kernel::Disposition::CreateTruncate);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(kernel::WriteFileAt(fd, "hello", 5, 0), 5) << "creating always grants write access";
  EXPECT_EQ(kernel::WriteFileAt(fd, "J", 1, 0), 1);
  char buf[8];
  EXPECT_EQ(kernel::ReadFileAt(fd, buf, 8, 1), 4);
  EXPECT_EQ(std::string(buf, 4), "ello");
  EXPECT_TRUE(kernel::CloseFile(fd));
  int64_t size = 0;
  fd = kernel::OpenFile(f, kernel::Access::ReadOnly, kernel::Disposition::OpenExisting, &size);
  EXPECT_EQ(size, 5);
  kernel::CloseFile(fd);
  EXPECT_TRUE(kernel::FileExists(f));
  EXPECT_FALSE(kernel::FileExists(dir + "/a"));
  EXPECT_TRUE(kernel::RenameFile(f, f + ".2"));
  EXPECT_TRUE(kernel::DeleteFile(f + ".2"));
  EXPECT_FALSE(kernel::DeleteFile(f + ".2"));
}

TEST(KernelTest, TemporariesAreHiddenUniqueAndBesideTheirTarget) {
  const std::string dir = test::ScratchDir("kernel_temp");
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name;
    const int fd = kernel::CreateTempBeside(dir + "/out.bmp", name);
    ASSERT_GE(fd, 0);
    kernel::CloseFile(fd);
    EXPECT_EQ(name.rfind(dir + "/.out.bmp.", 0), 0u) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  const uint32_t exact = 0604;
  std::string name;
  const int fd = kernel::CreateTempBeside(dir + "/" + std::string(300, 'n'), name, &exact);
  ASSERT_GE(fd, 0) << "a long target name still gives a temporary";
  kernel::CloseFile(fd);
  uint32_t mode = 0;
  EXPECT_EQ(kernel::KindOf(name, &mode), kernel::NameKind::Regular);
  EXPECT_EQ(mode, exact) << "the exact mode is not cut by the file mask";
  EXPECT_EQ(kernel::KindOf(dir), kernel::NameKind::Other);
  EXPECT_EQ(kernel::KindOf(dir + "/none"), kernel::NameKind::Missing);
  EXPECT_LT(kernel::CreateTempBeside(dir + "/no/such/out.bmp", name), 0);
  ASSERT_EQ(::symlink(name.c_str(), (dir + "/link").c_str()), 0);
  char* real = ::realpath(name.c_str(), nullptr);
  std::string target;
  EXPECT_EQ(kernel::KindOf(dir + "/link", &mode, &target), kernel::NameKind::Regular);
  EXPECT_EQ(target, real) << "a link stands for the file it points at";
  std::free(real);
  EXPECT_EQ(kernel::KindOf(name, &mode, &target), kernel::NameKind::Regular);
  EXPECT_EQ(target, name);
  ASSERT_EQ(::symlink((dir + "/none").c_str(), (dir + "/dangling").c_str()), 0);
  EXPECT_EQ(kernel::KindOf(dir + "/dangling"), kernel::NameKind::Missing);
}

}  // namespace
}  // namespace rf
