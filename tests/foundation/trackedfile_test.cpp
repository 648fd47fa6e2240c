// The file table: open modes, short reads, limits, delete, rename, text lines and faults.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/trackedfile.h"

namespace rf {
namespace {

class TrackedFileTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("files");
};

TEST_F(TrackedFileTest, ShortReadReportsAndLaterReadClears) {
  const std::string name = dir + "/ten.bin";
  test::WriteWholeFile(name, "0123456789");
  int32_t h;
  ASSERT_EQ(FOpen(h, name, FM_READ), 0);
  EXPECT_EQ(FSize(h), 10);
  ASSERT_EQ(FSeek(h, 6), 0);
  char buf[10] = {};
  int32_t done = -1;
  FReadCount(h, buf, 10, done);
  EXPECT_EQ(done, 4);
  EXPECT_TRUE(ErrNone()) << "FReadCount reports nothing";
  FSeek(h, 6);
  EXPECT_EQ(FRead(h, buf, 10), 3);
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(ErrMessage(ErrCategory(), ErrCode()), "Cannot read from file.");
  FSeek(h, 0);
  EXPECT_EQ(FRead(h, buf, 2), 0);
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(FPos(h), 2);
  EXPECT_EQ(FRead(h, buf, 0), 0);
  EXPECT_EQ(FRead(NOT_SET, buf, 4), 0);
  FClose(h);
  EXPECT_EQ(FSize(h), FILE_NOT_SET);
  EXPECT_EQ(FPos(h), FILE_NOT_SET);
}

TEST_F(TrackedFileTest, OpenModesAndTheirErrors) {
  int32_t h;
  const std::string missing = dir + "/none.bin";
  EXPECT_EQ(FOpen(h, missing, FM_READ), 1);
  EXPECT_EQ(h, NOT_SET);
  EXPECT_EQ(FOpen(h, missing, FM_APPEND), 7);
  EXPECT_EQ(FOpen(h, dir + "/no/such/dir.bin", FM_CREATE), 2);
  EXPECT_EQ(ErrLastMessage(), "Cannot create file: " + dir + "/no/such/dir.bin");

  const std::string name = dir + "/a.bin";
  ASSERT_EQ(FOpen(h, name, FM_CREATE | FM_WRITE), 0);
  EXPECT_EQ(FWrite(h, "abc", 3), 0);
  FClose(h);
  ASSERT_EQ(FOpen(h, name, FM_APPEND | FM_WRITE), 0);
  EXPECT_EQ(FPos(h), 3);
  FWrite(h, "de", 2);
  FClose(h);
  EXPECT_EQ(test::ReadWholeFile(name), "abcde");
  ASSERT_EQ(FOpen(h, name, FM_CREATE), 0);
  EXPECT_EQ(FSize(h), 0) << "create truncates";
  FClose(h);
  ErrClear();
}

TEST_F(TrackedFileTest, SixtyFifthOpenIsAFatalFault) {
  const std::string name = dir + "/shared.bin";
  test::WriteWholeFile(name, "x");
  std::vector<int32_t> handles;
  for (int i = 0; i < FILE_MAX_HANDLES; ++i) {
    int32_t h;
    ASSERT_EQ(FOpen(h, name, FM_READ), 0);
    for (int32_t earlier : handles) ASSERT_NE(earlier, h) << "handles are never reused";
    handles.push_back(h);
  }
  int32_t h;
  EXPECT_EQ(FOpen(h, name, FM_READ), 11);
  EXPECT_EQ(h, NOT_SET);
  EXPECT_EQ(ErrLastMessage(), "Fatal file manager fault.");
  FClose(handles[10]);
  ASSERT_EQ(FOpen(h, name, FM_READ), 0);
  EXPECT_GT(h, handles.back());
  handles[10] = h;
  for (int32_t each : handles) FClose(each);
  FClose(12345);  // unknown handles are ignored
  EXPECT_TRUE(WarnNone());
}

TEST_F(TrackedFileTest, DeleteAndRename) {
  EXPECT_EQ(FDelete(dir + "/missing.bin"), 0);
  EXPECT_TRUE(ErrNone());

  const std::string ro = dir + "/readonly.bin";
  test::WriteWholeFile(ro, "x");
  ::chmod(ro.c_str(), 0444);
  EXPECT_EQ(FDelete(ro), 0);
  EXPECT_EQ(test::ReadWholeFile(ro), "");

  const std::string a = dir + "/a.bin", b = dir + "/b.bin";
  EXPECT_EQ(FRename(a, b), 0);
  EXPECT_EQ(ErrCode(), 10);
  test::WriteWholeFile(a, "A");
  test::WriteWholeFile(b, "B");
  EXPECT_EQ(FRename(a, b), 0);
  EXPECT_EQ(ErrLastMessage(), "File name change failed.");
  EXPECT_EQ(FDelete(b), 0);
  EXPECT_EQ(FRename(a, b), 0);
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(test::ReadWholeFile(b), "A");
}

TEST_F(TrackedFileTest, TextLinesEndInCrLfAndReadBothEndings) {
  const std::string name = dir + "/list.txt";
  int32_t h;
  ASSERT_EQ(TXTOpen(h, name, FM_CREATE), 0);
  TXTWrite(h, "first");
  TXTWrite(h, "");
  TXTClose(h);
  ASSERT_EQ(TXTOpen(h, name, FM_APPEND), 0);
  TXTWrite(h, "third");
  TXTClose(h);
  EXPECT_EQ(test::ReadWholeFile(name), "first\r\n\r\nthird\r\n");

  test::WriteWholeFile(name, "a\r\nb\nc");
  ASSERT_EQ(TXTOpen(h, name, 0), 0);
  std::vector<std::string> lines;
  std::string line;
  while (TXTReadLn(h, line)) lines.push_back(line);
  TXTClose(h);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(TXTOpen(h, dir + "/none.txt", 0), 1);
  ErrClear();
}

TEST_F(TrackedFileTest, InjectedFaults) {
  const std::string name = dir + "/f.bin";
  int32_t h;
  FaultAfter(Fault::Open, 1);
  EXPECT_EQ(FOpen(h, name, FM_CREATE), 2);
  ASSERT_EQ(FOpen(h, name, FM_CREATE), 0);
  FaultAfter(Fault::Write, 2);
  EXPECT_EQ(FWrite(h, "a", 1), 0);
  EXPECT_EQ(FWrite(h, "b", 1), 4);
  EXPECT_EQ(ErrLastMessage(), "Cannot write to file.");
  FSeek(h, 0);
  char c;
  FaultAfter(Fault::Read, 1);
  EXPECT_EQ(FRead(h, &c, 1), 3);
  EXPECT_EQ(FRead(h, &c, 1), 0);
  EXPECT_EQ(c, 'a');
  FClose(h);
  ErrClear();
}

}  // namespace
}  // namespace rf
