// The error and warning registers, message composition and the message-box hook.
#include <gtest/gtest.h>

#include <vector>

#include "common/test_support.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "foundation/trackedfile.h"

namespace rf {
namespace {

class ErrorsTest : public test::FoundationTest {};

// A sample of the table: its edges, a text two categories share, the numbered and undefined ones.
TEST_F(ErrorsTest, MessagesFollowTheCategoryTable) {
  const struct {
    int32_t category, code;
    const char* text;
  } rows[] = {{5, 0, "No errors."},
              {0, 5, "No errors."},
              {4, 2147483647, "General \"GEN\" error."},
              {4, -3, "General \"GEN\" error."},
              {12, 7, "End of movie reached."},
              {14, 7, "End of movie reached."},
              {10, 42, "AVI subsystem malfunction: 42"},
              {19, -1, "Fatal error in Audio Compression Manager: 4294967295"},
              {18, 3, "Undefined error: 18:3"},
              {21, 1, "Undefined error: 21:1"}};
  for (const auto& r : rows) EXPECT_EQ(ErrMessage(r.category, r.code), r.text) << r.category << ":" << r.code;
}

TEST_F(ErrorsTest, FileMessagesNameTheLastFile) {
  int32_t h;
  const std::string name = test::ScratchDir("errors") + "/missing.bmp";
  EXPECT_EQ(FOpen(h, name, FM_READ), 1);
  EXPECT_EQ(ErrCategory(), 6);
  EXPECT_EQ(ErrLastMessage(), "Cannot open file: " + name);
  EXPECT_EQ(ErrMessage(6, 6), "Cannot delete file: " + name);
  ErrClear();
}

TEST_F(ErrorsTest, TextCategoriesShowTheStoredText) {
  ErrSetText(1, "libtiff: bad strip");
  EXPECT_EQ(ErrCode(), TEXT_ONLY_CODE);
  EXPECT_EQ(ErrLastMessage(), "libtiff: bad strip");
  EXPECT_EQ(ErrMessage(2, 5), "libtiff: bad strip");
  // A new error without a text keeps the previous text.
  ErrSet(3, 9);
  EXPECT_EQ(ErrLastMessage(), "libtiff: bad strip");
  ErrClear();
  EXPECT_TRUE(ErrNone());
}

TEST_F(ErrorsTest, LockedRegisterKeepsTheErrorBeingReported) {
  ErrSet(7, 2);
  ErrLock();
  ErrSet(6, 3);
  ErrClear();
  ErrUnlock();
  EXPECT_EQ(ErrCategory() * 100 + ErrCode(), 702);
  ErrSet(6, 0);
  EXPECT_TRUE(ErrNone());
}

TEST_F(ErrorsTest, WarningsUseTheirOwnTextAndNeverAbort) {
  ErrSetText(1, "the error's text");
  bool finished = false;
  Guarded("Test.Warn", [&] {
    WarnSetText(1, "JPEG: premature end of data");
    finished = true;
  });
  EXPECT_TRUE(finished);
  EXPECT_FALSE(WarnNone());
  EXPECT_EQ(WarnLastMessage(), "JPEG: premature end of data");
  EXPECT_EQ(ErrLastMessage(), "No errors.");
  WarnSet(6, 0);
  EXPECT_TRUE(WarnNone());
}

TEST_F(ErrorsTest, BoxesGoThroughTheHook) {
  struct Shown {
    MsgBox kind;
    std::string title, text;
  };
  std::vector<Shown> shown;
  auto previous = SetMessageBoxHook([&](MsgBox k, const std::string& t, const std::string& s) {
    shown.push_back({k, t, s});
  });
  SetAppTitle("Reelforge test");
  ErrSet(7, 1);
  EXPECT_TRUE(ShowLastError("a.tga"));
  EXPECT_TRUE(ErrNone());
  EXPECT_FALSE(ShowLastError());
  DvlShowError("Fatal error: internal monitoring overflow.");
  ShowInfoBox("Done.");
  SetMessageBoxHook(previous);
  SetAppTitle("");

  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].kind, MsgBox::Error);
  EXPECT_EQ(shown[0].title, "Reelforge test");
  EXPECT_EQ(shown[0].text, "Image format not supported. (file: a.tga)");
  EXPECT_EQ(shown[1].title, "Error");
  EXPECT_EQ(shown[2].kind, MsgBox::Information);
}

}  // namespace
}  // namespace rf
