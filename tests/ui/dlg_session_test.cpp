// The session section window and the file information window, driven as a person does.
#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include "formats/uniaccess.h"
#include "ui/dlg_driver.h"
#include "ui/dlg_entry.h"

namespace rf {
namespace {

using namespace testui;

TEST(SessionSectionWindow, ChosenSectionsComeBackAsFlags) {
  const struct {
    bool loading;
    uint32_t preset;
    const char* toggle;
    bool confirm;
    bool wantResult;
    uint32_t want;
  } rows[] = {{false, ui::SES_FILES, "Video Effects", true, true, ui::SES_FILES | ui::SES_EFFECTS},
              {false, ui::SES_OUTPUT | ui::SES_START_NEW, "Output Settings", true, true, 0},
              {true, ui::SES_OUTPUT | ui::SES_FILES, "Start new session", true, true,
               ui::SES_OUTPUT | ui::SES_FILES | ui::SES_START_NEW},
              {true, ui::SES_EFFECTS, "List of Files (both video and audio)", false, false, ui::SES_EFFECTS}};
  for (const auto& row : rows) {
    uint32_t flags = row.preset;
    WhenOpen("Select Session Contents", [&](QWidget* w) {
      ClickInto(w, row.toggle);
      Key(row.confirm ? Qt::Key_Return : Qt::Key_Escape);
    });
    EXPECT_EQ(ui::ShowSessionSections(nullptr, row.loading ? "Which sections to load?" : "Which sections to save?",
                                      row.loading, flags),
              row.wantResult);
    EXPECT_EQ(flags, row.want) << row.toggle;
  }
}

TEST(SessionSectionWindow, TabReachesEverySectionInOrder) {
  uint32_t flags = 0;
  QStringList walked;
  WhenOpen("Select Session Contents", [&](QWidget*) {
    for (int i = 0; i < 5; ++i) {
      walked << FocusName();
      Tab();
    }
    Key(Qt::Key_Escape);
  });
  ui::ShowSessionSections(nullptr, "Which sections to load?", true, flags);
  const QStringList expected = {"Output Settings", "List of Files (both video and audio)", "Video Effects",
                                "Start new session", "OK"};
  EXPECT_EQ(walked, expected);
}

TEST(FileInformationWindow, ShowsTheReportOfEachFileInOrder) {
  QUniInfo first, second;
  first.name = "/media/first.wav";
  first.size = 1000;
  second.name = "/media/second.wav";
  second.size = 2000;
  QString shown;
  WhenOpen("File Information", [&](QWidget* w) {
    shown = w->findChild<QPlainTextEdit*>()->toPlainText();
    Key(Qt::Key_Escape);
  });
  ui::ShowFileInformation(nullptr, {&first, &second});
  EXPECT_LT(shown.indexOf("first.wav"), shown.indexOf("second.wav"));
  EXPECT_GE(shown.indexOf("first.wav"), 0);
  EXPECT_EQ(shown.count("No video stream"), 2);
  EXPECT_FALSE(shown.contains('\r')) << "line ends as the text box shows them";
}

}  // namespace
}  // namespace rf
