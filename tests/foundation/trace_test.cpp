// The trace file: heading, error and warning records with call path and machine state.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "foundation/shutdown.h"
#include "foundation/trace.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

class TraceTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("trace");
  std::string file = dir + "/Reelforge.log";

  void SetUp() override {
    FoundationTest::SetUp();
    TraceSetFile(file);
  }

  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::string all = test::ReadWholeFile(file);
    size_t start = 0;
    for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(all.substr(start, end - start));
    EXPECT_EQ(start, all.size()) << "every line ends in CR LF";
    return lines;
  }
};

TEST_F(TraceTest, StartWritesTheHeading) {
  test::WriteWholeFile(file, "old contents\r\n");
  TraceStart("Reelforge 0.1");
  ASSERT_TRUE(TraceActive());
  const auto lines = Lines();
  const char* patterns[] = {"Reelforge 0\\.1", R"(Trace started at \d{4}-\d\d-\d\d, \d\d:\d\d)",
                            R"(OS: Linux v\d+\.\d+ - build \d+)", R"(CPU: .+, processors: [1-9]\d*)", "-{40}"};
  ASSERT_EQ(lines.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(std::regex_match(lines[i], std::regex(patterns[i]))) << lines[i];
}

TEST_F(TraceTest, ErrorRecordCarriesCallPathAndMachineState) {
  TraceStart("heading");
  const std::string missing = dir + "/missing.avi";
  GuardedSilent("MainUnit.FileAdd", [&] {
    int32_t h;
    FOpen(h, missing, FM_READ);
  });
  EXPECT_EQ(ErrCode(), 1);
  EXPECT_EQ(LastFileName(), missing) << "the trace's own file work leaves the last file name alone";
  ErrClear();

  const auto lines = Lines();
  ASSERT_GE(lines.size(), 5u + 8u);
  EXPECT_EQ(lines[5], "!6:1;\"Cannot open file: " + missing + "\"");
  const char* patterns[] = {R"(@MainUnit\.FileAdd:Basic\.FOpen;[1-9][0-9]*)",
                            "#Physical memory:",
                            R"(#  total: [\d,]+k, free: [\d,]+k)",
                            "#Swap memory:",
                            R"(#  total: [\d,]+k, free: [\d,]+k)",
                            "#Drive /",
                            R"(#  total: \d{1,3}(,\d{3})*k, free: [\d,]+k)"};
  for (size_t i = 0; i < 7; ++i) EXPECT_TRUE(std::regex_match(lines[6 + i], std::regex(patterns[i]))) << lines[6 + i];
}

TEST_F(TraceTest, WarningsAndForeignExceptionsAreRecorded) {
  TraceStart("heading");
  WarnSetText(1, "libpng warning: iCCP: known incorrect sRGB profile", Site{77});
  GuardedSilent("Test.Run", [] { throw std::runtime_error("boom"); });
  ErrClear();
  const std::string all = test::ReadWholeFile(file);
  EXPECT_NE(all.find("?1:2147483647;\"libpng warning: iCCP: known incorrect sRGB profile\"\r\n@;77\r\n"),
            std::string::npos);
  EXPECT_NE(all.find("!3:2147483647;\"boom\"\r\n@Test.Run;0\r\n"), std::string::npos) << all;
}

TEST_F(TraceTest, WriteTextSplitsAtLineEnds) {
  TraceStart("heading");
  TraceWriteText("one\r\ntwo\r\n");
  TraceWrite("plain");
  const auto lines = Lines();
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()),
            (std::vector<std::string>{"#one", "#two", "plain"}));
}

TEST_F(TraceTest, InactiveTraceWritesNothingAndFailedStartStaysInactive) {
  TraceWrite("nothing");
  EXPECT_EQ(test::ReadWholeFile(file), "");
  TraceSetFile(dir + "/no/such/folder/trace.txt");
  ErrSet(7, 4);
  TraceStart("heading");
  EXPECT_FALSE(TraceActive());
  EXPECT_EQ(ErrCategory(), 7) << "the trace never disturbs the error being reported";
  ErrClear();
}

TEST_F(TraceTest, LabelStackIsEmptiedByAnError) {
  TraceStart("heading");
  TraceEnter("A.B");
  TraceEnter("C.D");
  EXPECT_EQ(TraceLabelPath(), "A.B:C.D");
  ErrSet(4, 2);
  EXPECT_EQ(TraceLabelPath(), "");
  TraceLeave();
  ErrClear();
}

TEST_F(TraceTest, EndOfRunReportListsAndReleasesWhatWasLeft) {
  TraceStart("heading");
  int32_t first, second;
  ASSERT_EQ(FOpen(first, dir + "/one.bin", FM_CREATE), 0);
  ASSERT_EQ(TXTOpen(second, dir + "/two.txt", FM_CREATE), 0);
  char* block = nullptr;
  _memalloc_(block, 10, MEM_RESIZE, "Test.Done.block", Site{12});
  const std::string peak = FormatUInt(100, uint32_t(MemPeak()));  // earlier tests in this process count too
  MonBegin();
  FoundationDone();
  MonEnd();
  EXPECT_EQ(FCount(), 0);
  EXPECT_EQ(MemCount(), 0);
  const std::string all = test::ReadWholeFile(file);
  EXPECT_NE(all.find("#Monitoring failure: 1 hanging processes.\r\n"
                     "#Max. allocated memory handles: " +
                     peak +
                     "\r\n#Memory handles not freed:\r\n"
                     "#  C:Test.Done.block:12:12 bytes\r\n"
                     "#Files not closed: 2\r\n#  " +
                     dir + "/two.txt\r\n#  " + dir + "/one.bin\r\n"),
            std::string::npos)
      << all;
}

}  // namespace
}  // namespace rf
