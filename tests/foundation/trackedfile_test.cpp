// The file table: open modes, short reads, limits, delete, rename, text lines and faults; the
// buffer against a model, created files under temporaries, the output group, non-regular files.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <random>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/faults.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"

namespace rf {
namespace {

class TrackedFileTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("files");

  // The names in the folder that start with a dot: temporaries left behind.
  std::vector<std::string> Hidden() const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
      while (const dirent* e = ::readdir(d))
        if (e->d_name[0] == '.' && std::string(e->d_name) != "." && std::string(e->d_name) != "..")
          names.push_back(e->d_name);
      ::closedir(d);
    }
    return names;
  }

  static bool Exists(const std::string& name) { return ::access(name.c_str(), F_OK) == 0; }

  static uint32_t ModeOf(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 ? uint32_t(st.st_mode & 07777) : 0;
  }
};

TEST_F(TrackedFileTest, ShortReadReportsAndLaterReadClears) {
  const std::string name = dir + "/ten.bin";
  test::WriteWholeFile(name, "0123456789");
  int32_t h;
  ASSERT_EQ(FOpen(h, name, FM_READ), 0);
  ASSERT_EQ(FSeek(h, 6), 0);
  char buf[10] = {};
  int32_t done = -1;
  FReadCount(h, buf, 10, done);
  EXPECT_EQ(done, 4);
  EXPECT_TRUE(ErrNone()) << "FReadCount reports nothing";
  FSeek(h, 6);
  EXPECT_EQ(FRead(h, buf, 10), 3);
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(ErrLastMessage(), "Cannot read from file.");
  FSeek(h, 0);
  EXPECT_EQ(FRead(h, buf, 2) + FRead(h, buf, 0) + FRead(NOT_SET, buf, 4), 0);
  EXPECT_TRUE(ErrNone());
  EXPECT_EQ(std::vector<int64_t>({FSize(h), FPos(h)}), std::vector<int64_t>({10, 2}));
  FClose(h);
  EXPECT_EQ(std::vector<int64_t>({FSize(h), FPos(h)}), std::vector<int64_t>(2, FILE_NOT_SET));
}

TEST_F(TrackedFileTest, OpenModesAndTheirErrors) {
  int32_t h;
  const std::string missing = dir + "/none.bin";
  EXPECT_EQ(FOpen(h, missing, FM_READ), 1);
  EXPECT_EQ(FOpen(h, missing, FM_APPEND), 7);
  EXPECT_EQ(FOpen(h, dir + "/no/such/dir.bin", FM_CREATE), 2);
  EXPECT_EQ(h, NOT_SET);
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
  FRename(a, b);
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
  EXPECT_EQ(ErrLastMessage(), "Cannot write to file.") << "the lost write is reported again at the close";
  EXPECT_FALSE(Exists(name)) << "a file that lost a write is not kept";
  ErrClear();
}

TEST_F(TrackedFileTest, BufferedAccessAgreesWithAModel) {
  // Sizes around the buffer's windows, so that reads and writes start, end and cross them.
  const int32_t sizes[] = {1, 7, 1920, 65535, 65536, 65537, 300000, 1 << 20, (1 << 20) + 3};
  std::mt19937 rng(15);
  std::string model;
  int64_t pos = 0;
  int32_t h;
  ASSERT_EQ(FOpen(h, dir + "/rw.bin", FM_CREATE), 0);
  for (int step = 0; step < 300; ++step) {
    const int32_t count = sizes[rng() % std::size(sizes)];
    switch (rng() % 3) {
      case 0: {  // write
        std::string bytes(size_t(count), '\0');
        for (char& c : bytes) c = char(rng());
        ASSERT_EQ(FWrite(h, bytes.data(), count), 0);
        if (model.size() < size_t(pos)) model.resize(size_t(pos), '\0');
        model.replace(size_t(pos), std::min<size_t>(bytes.size(), model.size() - size_t(pos)), bytes);
        pos += count;
        break;
      }
      case 1: {  // read
        std::string got(size_t(count), '\0');
        int32_t done = 0;
        FReadCount(h, got.data(), count, done);
        const int64_t expected = std::clamp<int64_t>(int64_t(model.size()) - pos, 0, count);
        ASSERT_EQ(done, expected) << "step " << step;
        ASSERT_EQ(got.substr(0, size_t(done)), model.substr(size_t(pos), size_t(done))) << "step " << step;
        pos += done;
        break;
      }
      default:  // seek, now and then past the end
        pos = int64_t(rng() % (model.size() + 70000));
        ASSERT_EQ(FSeek(h, pos), 0);
    }
    ASSERT_EQ(FPos(h), pos);
    ASSERT_EQ(FSize(h), int64_t(model.size()));
  }
  FClose(h);
  EXPECT_TRUE(ErrNone()) << ErrLastMessage();
  EXPECT_EQ(test::ReadWholeFile(dir + "/rw.bin"), model);
}

TEST_F(TrackedFileTest, ASecondHandleSeesWhatTheFirstWrote) {
  const std::string name = dir + "/shared.bin";
  test::WriteWholeFile(name, "0123456789");
  int32_t writer, reader;
  ASSERT_EQ(FOpen(writer, name, FM_WRITE), 0);
  FSeek(writer, 4);
  FWrite(writer, "ab", 2);
  ASSERT_EQ(FOpen(reader, name, FM_READ), 0);
  char got[10];
  EXPECT_EQ(FRead(reader, got, 10), 0);
  EXPECT_EQ(std::string(got, 10), "0123ab6789");
  FClose(reader);
  FClose(writer);
}

enum class End { Close, GuardFails, Abandon, WriteFault };

TEST_F(TrackedFileTest, ACreatedFileReplacesItsNameOnlyOnANormalClose) {
  struct Case {
    const char* what;
    bool old;          // a file had the name before
    uint32_t oldMode;  // its permissions
    int32_t extra;     // more open flags
    End end;
    bool replaced;
  };
  const Case cases[] = {
      {"new file", false, 0, 0, End::Close, true},
      {"overwrite keeps the permissions", true, 0600, 0, End::Close, true},
      {"overwrite of a read-only file", true, 0444, 0, End::Close, true},
      {"failed guarded block", true, 0644, 0, End::GuardFails, false},
      {"failed guarded block, no old file", false, 0, 0, End::GuardFails, false},
      {"abandoned", true, 0644, 0, End::Abandon, false},
      {"lost write", true, 0644, 0, End::WriteFault, false},
      {"written in place", true, 0644, FM_DIRECT, End::Close, true},
  };
  const mode_t mask = ::umask(0);
  ::umask(mask);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = dir + "/out.bin";
    ::unlink(name.c_str());
    if (c.old) {
      test::WriteWholeFile(name, "OLD");
      ::chmod(name.c_str(), c.oldMode);
    }
    int32_t h = NOT_SET;
    auto write = [&] {
      FOpen(h, name, FM_CREATE | FM_WRITE | c.extra);
      if (c.end == End::WriteFault) FaultAfter(Fault::Write, 2);
      FWrite(h, "NEW", 3);
      FWrite(h, "ER", 2);
      const bool inPlace = (c.extra & FM_DIRECT) != 0;
      EXPECT_EQ(test::ReadWholeFile(name), inPlace ? "" : c.old ? "OLD" : "") << "while it is written";
      EXPECT_EQ(Hidden().size(), inPlace ? 0u : 1u);
      if (c.end == End::GuardFails) ErrSet(7, 2);
      if (c.end == End::Abandon) FAbandon(h);
      FClose(h);
    };
    GuardedSilent("Test.Write", write);
    const char* error = c.end == End::GuardFails   ? "Invalid image format."
                        : c.end == End::WriteFault ? "Cannot write to file."
                                                   : "No errors.";
    EXPECT_EQ(ErrLastMessage(), error);
    ErrClear();
    EXPECT_EQ(FCount(), 0);
    EXPECT_TRUE(Hidden().empty());
    EXPECT_EQ(test::ReadWholeFile(name), c.replaced ? "NEWER" : c.old ? "OLD" : "");
    const uint32_t mode = c.old ? c.oldMode : c.replaced ? 0644u & ~uint32_t(mask) : 0u;
    EXPECT_EQ(ModeOf(name), mode);
  }
}

TEST_F(TrackedFileTest, ALinkStaysALinkToTheReplacedFile) {
  const std::string target = dir + "/target.bin", link = dir + "/link.bin";
  test::WriteWholeFile(target, "old");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  int32_t h;
  ASSERT_EQ(FOpen(h, link, FM_CREATE), 0);
  FWrite(h, "new", 3);
  FClose(h);
  struct stat st {};
  EXPECT_TRUE(::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_EQ(test::ReadWholeFile(target), "new");
}

TEST_F(TrackedFileTest, AWriteLostAtTheCloseIsAWriteError) {
  // The file-size limit makes the final write fail as a full disk would.
  const std::string name = dir + "/big.bin";
  test::WriteWholeFile(name, "OLD");
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  int32_t h;
  ASSERT_EQ(FOpen(h, name, FM_CREATE | FM_WRITE), 0);
  const std::string chunk(40000, 'x');
  for (int i = 0; i < 3; ++i) FWrite(h, chunk.data(), int32_t(chunk.size()));
  ErrClear();
  FClose(h);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(ErrLastMessage(), "Cannot write to file.");
  ErrClear();
  EXPECT_EQ(test::ReadWholeFile(name), "OLD");
  EXPECT_TRUE(Hidden().empty());
}

TEST_F(TrackedFileTest, TheOutputGroupHoldsFilesUntilItEnds) {
  for (const bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "discard");
    const std::string a = dir + "/a.bin", b = dir + "/b.bin", c = dir + "/c.bin";
    test::WriteWholeFile(a, "old a");
    ::unlink(b.c_str());
    ::unlink(c.c_str());
    ASSERT_TRUE(FGroupBegin());
    EXPECT_FALSE(FGroupBegin()) << "one group at a time";
    int32_t h;
    for (const auto& [name, text] : {std::pair{a, "new a"}, {b, "new b"}, {a, "newer a"}, {c, "new c"}}) {
      ASSERT_EQ(FOpen(h, name, FM_CREATE | FM_WRITE), 0);
      FWrite(h, text, int32_t(std::strlen(text)));
      FClose(h);
    }
    FGroupDrop(c);
    EXPECT_EQ(test::ReadWholeFile(a), "old a");
    EXPECT_FALSE(Exists(b));
    ASSERT_EQ(FOpen(h, a, FM_READ), 0) << "a later step reads what an earlier one wrote";
    char got[7];
    EXPECT_EQ(FRead(h, got, 7), 0);
    EXPECT_EQ(std::string(got, 7), "newer a");
    FClose(h);
    EXPECT_EQ(Hidden().size(), 2u);
    if (commit)
      FGroupCommit();
    else
      FGroupDiscard();
    EXPECT_TRUE(ErrNone());
    EXPECT_EQ(test::ReadWholeFile(a), commit ? "newer a" : "old a");
    EXPECT_EQ(Exists(b), commit);
    EXPECT_FALSE(Exists(c));
    EXPECT_TRUE(Hidden().empty());
  }
}

TEST_F(TrackedFileTest, NonRegularFilesAreRefusedWithoutWaiting) {
  const std::string fifo = dir + "/pipe.bmp";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  // A pipe without a writer would hold a blocking open for ever: the alarm ends the test instead.
  ::alarm(20);
  const struct {
    std::string name;
    int32_t mode, code;
  } cases[] = {
      {fifo, FM_READ, 1},        {fifo, 0, 1},      {fifo, FM_WRITE, 1}, {fifo, FM_APPEND, 7}, {fifo, FM_CREATE, 2},
      {"/dev/null", FM_READ, 1}, {dir, FM_READ, 1}, {dir, FM_CREATE, 2},
  };
  for (const auto& c : cases) {
    int32_t h;
    EXPECT_EQ(FOpen(h, c.name, c.mode), c.code) << c.name << " mode " << c.mode;
    EXPECT_EQ(h, NOT_SET);
  }
  ::alarm(0);
  ErrClear();
  EXPECT_TRUE(Hidden().empty());
}

}  // namespace
}  // namespace rf
