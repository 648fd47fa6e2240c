// The INI stand-in: parsing and lookups without regard to case, rewrites that keep what they do
// not change, and the file written in one rename.
#include <gtest/gtest.h>

#include <dirent.h>

#include "common/test_support.h"
#include "platform/profile.h"

namespace rf {
namespace {

TEST(IniText, LooksUpWithoutRegardToCase) {
  IniText ini;
  ini.Parse(
      "top=1\n; note\n[Local]\r\n  Key = a value \r\nempty=\r\nno equals sign\n[ Other ]\nkey=2\n[local]\nkey=3\n");
  struct Case {
    const char* section;
    const char* key;
    bool found;
    const char* value;
  };
  const Case cases[] = {{"", "top", true, "1"},
                        {"LOCAL", "KEY", true, "a value"},
                        {"local", "Empty", true, ""},
                        {"Other", "key", true, "2"},
                        {"Local", "top", false, ""},
                        {"Missing", "key", false, ""},
                        {"Local", "no equals sign", false, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    std::string v;
    EXPECT_EQ(ini.Get(c.section, c.key, v), c.found);
    EXPECT_EQ(v, c.value);
  }
}

TEST(IniText, SetChangesOnlyItsValue) {
  IniText ini;
  ini.Parse("; kept\r\n[Local]\r\nA=1\r\n\r\n[Forms]\r\nX=9\r\n");
  ini.Set("local", "a", "2");
  ini.Set("Local", "B", "3");
  ini.Set("New", "C", "4");
  EXPECT_EQ(ini.Serialize(), "; kept\r\n[Local]\r\nA=2\r\nB=3\r\n\r\n[Forms]\r\nX=9\r\n[New]\r\nC=4\r\n");
  IniText again;
  again.Parse(ini.Serialize());
  EXPECT_EQ(again.Serialize(), ini.Serialize());
}

TEST(Profile, FlushReplacesTheFileAndLeavesNothingElse) {
  const std::string dir = test::ScratchDir("profile");
  const std::string file = dir + "/sub/p.ini";
  EXPECT_EQ(ProfileGetString(file, "S", "k", "def"), "def");
  ProfileSetString(file, "S", "k", "line\r\nbreak");
  EXPECT_EQ(ProfileGetString(file, "s", "K", "def"), "line  break");
  EXPECT_FALSE(test::ReadWholeFile(file).size());
  ASSERT_TRUE(ProfileFlush(file));
  EXPECT_EQ(test::ReadWholeFile(file), "[S]\r\nk=line  break\r\n");
  ProfileSetString(file, "S", "k", "2");
  ASSERT_TRUE(ProfileFlush(file));
  EXPECT_EQ(ProfileGetString(file, "S", "k", ""), "2");
  int entries = 0;
  if (DIR* d = ::opendir((dir + "/sub").c_str())) {
    while (const dirent* e = ::readdir(d)) entries += e->d_name[0] != '.' || e->d_name[1] > '.';
    ::closedir(d);
  }
  EXPECT_EQ(entries, 1);
  // A folder where the file should be: the rewrite fails and the folder stays.
  ProfileSetString(dir + "/sub", "S", "k", "v");
  EXPECT_FALSE(ProfileFlush(dir + "/sub"));
}

}  // namespace
}  // namespace rf
