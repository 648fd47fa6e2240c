// The main window driven as a person drives it: files chosen in the open dialog and dropped
// from a file manager, silence inserted, blocks cut and pasted with an effect range following,
// every shortcut reaching its command, one run per F9, and the window's state kept.
#include "ui/mainwin.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <cstdio>
#include <memory>
#include <set>

#include "common/test_support.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "ui/mainwin_dialogs.h"
#include "ui/progress.h"

#include "screenshot.h"

namespace rf {
namespace {

// Counts how often the watched window was shown.
struct ShowCounter : QObject {
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    count += event->type() == QEvent::Show;
    return false;
  }
};

class MainWindowTest : public test::FoundationTest {
 protected:
  std::string dir = test::ScratchDir("mainwin");
  std::unique_ptr<ui::TfrmMain> window;
  test::MessageRecorder recorder{Answer::No, false};
  std::vector<std::string>& messages = recorder.texts;

  void SetUp() override {
    FoundationTest::SetUp();
    ui::Dialogs() = {};
    Open();
  }
  void TearDown() override {
    window.reset();
    ui::Dialogs() = {};
    FoundationTest::TearDown();
  }

  void Open() {
    window = std::make_unique<ui::TfrmMain>(dir + "/state/window-state");
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    Activate();
  }

  // Without a window manager activation may lag behind on a busy machine; the application is
  // then told directly which window has the keyboard.
  void Activate() {
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get(), 1000)) QApplication::setActiveWindow(window.get());
  }

  // Numbered width x height pictures prefix0001.bmp .. with moving colour bands; returns the first.
  std::string Sequence(const std::string& prefix, int32_t count, int32_t width = 8, int32_t height = 6) {
    for (int32_t n = 1; n <= count; ++n) {
      Qimg img;
      _imgalloc_(img, width, height, 24, "Test.MainWin.img");
      for (int32_t i = 0; i < img.size; ++i) {
        const int32_t x = i / 3 % width, y = i / 3 / width;
        img.data[i] = uint8_t(i % 3 == 0 ? (x + n * 4) * 2 : i % 3 == 1 ? y * 2 : (x + y) / 2 + n * 8);
      }
      char name[64];
      std::snprintf(name, sizeof name, "/%s%04d.bmp", prefix.c_str(), n);
      ImgSave(dir + name, img, FF_AUTO);
      ImgFree(img);
    }
    return dir + "/" + prefix + "0001.bmp";
  }

  Project& project() { return window->project(); }
  std::vector<int32_t> VideoLengths() {
    std::vector<int32_t> out;
    for (const MMBlockRec* b : project().list.video.items) out.push_back(b->last - b->first + 1);
    return out;
  }
  std::vector<std::string> VideoNames() {
    std::vector<std::string> out;
    for (const MMBlockRec* b : project().list.video.items)
      out.push_back(MMFile_GetShortNameByIndex(project().list.files, b->file));
    return out;
  }
  QTreeWidget* List(const char* name) { return window->findChild<QTreeWidget*>(name); }

  // A key pressed in the window, which a closed dialog may have left inactive.
  void Press(const QKeySequence& key) {
    Activate();
    QTest::keySequence(window.get(), key);
  }

  // Clicks row of a list as a person does, making it the active list.
  void ClickRow(const char* list, int row) {
    QTreeWidget* view = List(list);
    const QRect r = view->visualItemRect(view->topLevelItem(row));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
  }

  // Runs act on the modal dialog that will be open once the event loop runs.
  template <class Act>
  static void OnModal(Act act, int delay = 100) {
    QTimer::singleShot(delay, [act] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      act(dialog);
    });
  }
};

TEST_F(MainWindowTest, FilesChosenInTheOpenDialogAreAddedInTheUsersOrder) {
  for (const char* name : {"a", "b", "c", "d", "e"}) Sequence(std::string("pic_") + name + "_", 1);
  // The dialog hands the names back as e, b, c, d, a; the window adds them as a .. e.
  OnModal([this](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Select File(s) to Add");
    dialog->setDirectory(QString::fromStdString(dir));
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    edit->setText("\"pic_e_0001.bmp\" \"pic_b_0001.bmp\" \"pic_c_0001.bmp\" \"pic_d_0001.bmp\" \"pic_a_0001.bmp\"");
    QTest::keyClick(edit, Qt::Key_Return);
  });
  Press(QKeySequence("Ctrl+O"));
  EXPECT_EQ(VideoNames(), std::vector<std::string>({"pic_a_0001.bmp", "pic_b_0001.bmp", "pic_c_0001.bmp",
                                                    "pic_d_0001.bmp", "pic_e_0001.bmp"}));
  EXPECT_EQ(List("panVideo")->topLevelItemCount(), 5);
  EXPECT_TRUE(messages.empty());

  // A cancelled dialog adds nothing and leaves the status line empty.
  OnModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  Press(QKeySequence("Ctrl+O"));
  EXPECT_EQ(VideoLengths().size(), 5u);
}

TEST_F(MainWindowTest, DroppedFilesAreAddedAtTheEndAsSequencesOnlyWhenAlone) {
  const std::string ten = Sequence("ten_", 10), three = Sequence("three_", 3);
  for (const std::vector<std::string>& names :
       {std::vector<std::string>{ten}, std::vector<std::string>{three, dir + "/ten_0002.bmp"}}) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& n : names) urls << QUrl::fromLocalFile(QString::fromStdString(n));
    mime.setUrls(urls);
    QWidget* target = List("panAudio")->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
  }
  EXPECT_EQ(VideoLengths(), std::vector<int32_t>({10, 1, 1}));
  EXPECT_EQ(List("panVideo")->topLevelItemCount(), 3);
}

TEST_F(MainWindowTest, SilenceIsInsertedAboveTheSelectedAudioBlock) {
  window->AddFiles({QString::fromStdString(Sequence("s_", 2))});
  ProjectAddSilence(project(), 1);
  window->AddFiles({});
  ClickRow("panAudio", 0);
  OnModal([](QWidget* w) {
    auto* input = qobject_cast<QInputDialog*>(w);
    ASSERT_NE(input, nullptr);
    EXPECT_DOUBLE_EQ(input->doubleValue(), 10.0);
    input->setDoubleValue(2.5);
    input->accept();
  });
  window->Action("&File/Audio Silence/Insert Above...")->trigger();
  std::vector<int32_t> lengths;
  for (const MMBlockRec* b : project().list.audio.items) lengths.push_back(b->last - b->first + 1);
  EXPECT_EQ(lengths, std::vector<int32_t>({20000, 8000}));
  EXPECT_EQ(List("panAudio")->topLevelItem(0)->text(0).toStdString().rfind("Silence ", 0), 0u);
}

TEST_F(MainWindowTest, CutAndPasteByShortcutMoveBlocksAndTheEffectRangeFollows) {
  window->AddFiles({QString::fromStdString(Sequence("x_", 5))});
  window->AddFiles({QString::fromStdString(Sequence("y_", 10))});
  window->AddFiles({QString::fromStdString(Sequence("z_", 5))});
  ASSERT_EQ(VideoLengths(), std::vector<int32_t>({5, 10, 5}));
  QFnEntry& effect = ProjectAddEffect(project(), 1, nullptr, 0, 15, 19);  // on the last block
  effect.flexStart = effect.flexEnd = RF_TRUE;

  ClickRow("panVideo", 1);
  Press(QKeySequence("Ctrl+X"));
  EXPECT_EQ(VideoLengths(), std::vector<int32_t>({5, 5}));
  EXPECT_EQ(std::make_pair(effect.first, effect.last), std::make_pair(5, 9));

  ClickRow("panVideo", 0);
  Press(QKeySequence("Ctrl+Shift+V"));  // Paste Below
  EXPECT_EQ(VideoLengths(), std::vector<int32_t>({5, 10, 5}));
  EXPECT_EQ(std::make_pair(effect.first, effect.last), std::make_pair(15, 19));

  ClickRow("panVideo", 0);
  OnModal([](QWidget* w) {
    auto* input = qobject_cast<QInputDialog*>(w);
    ASSERT_NE(input, nullptr);
    input->setIntValue(3);
    input->accept();
  });
  Press(QKeySequence("Ctrl+D"));  // Paste - Duplicate Above
  EXPECT_EQ(VideoLengths(), std::vector<int32_t>({10, 10, 10, 5, 10, 5}));
  EXPECT_EQ(std::make_pair(effect.first, effect.last), std::make_pair(45, 49));

  ClickRow("panVideo", 0);
  Press(QKeySequence("Ctrl+A"));
  Press(QKeySequence(Qt::Key_Delete));
  EXPECT_TRUE(project().list.video.items.empty());
  EXPECT_TRUE(project().list.files.empty());
}

TEST_F(MainWindowTest, EveryShortcutReachesItsCommand) {
  window->AddFiles({QString::fromStdString(Sequence("k_", 3))});
  window->AddFiles({QString::fromStdString(Sequence("m_", 2))});
  ClickRow("panVideo", 0);
  const struct {
    QKeySequence key;
    const char* path;
  } table[] = {
      {QKeySequence("Ctrl+O"), "&File/Open..."},
      {QKeySequence("F6"), "&File/Settings..."},
      {QKeySequence("F5"), "&File/Information"},
      {QKeySequence("F9"), "&File/Start Processing"},
      {QKeySequence("Ctrl+A"), "&Edit/Select All"},
      {QKeySequence("Ctrl+C"), "&Edit/Copy"},
      {QKeySequence("Ctrl+V"), "&Edit/Paste Above"},
      {QKeySequence("Ctrl+Shift+V"), "&Edit/Paste Below"},
      {QKeySequence("Ctrl+D"), "&Edit/Paste - Duplicate Above"},
      {QKeySequence("Ctrl+Shift+D"), "&Edit/Paste - Duplicate Below"},
      {QKeySequence("Ctrl+G"), "&Preview/Go To..."},
      {QKeySequence("F1"), "&Help/Contents"},
      {QKeySequence("Ctrl+X"), "&Edit/Cut"},
      {QKeySequence("Del"), "&Edit/Delete"},
      {QKeySequence("Ctrl+N"), "&Session/New (default template)"},
      {QKeySequence("Ctrl+Shift+N"), "&Session/New (blank)"},
  };
  // Ctrl+N needs a default session to exist.
  const std::string templ = dir + "/default.rfs";
  test::WriteWholeFile(templ, "x");
  ui::Dialogs().defaultSession = [templ] { return templ; };
  for (const auto& row : table) {
    QAction* action = window->Action(row.path);
    ASSERT_NE(action, nullptr) << row.path;
    EXPECT_EQ(action->shortcut(), row.key) << row.path;
    QSignalSpy spy(action, &QAction::triggered);
    // Whatever the command opens is closed again.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) QTest::keyClick(modal, Qt::Key_Escape);
    });
    closer.start(50);
    ClickRow("panVideo", 0);
    Press(row.key);
    EXPECT_EQ(spy.count(), 1) << row.path;
  }
  EXPECT_TRUE(project().list.video.items.empty());
}

TEST_F(MainWindowTest, DefineOutputNeedsInputAndShowsTheDefinedOutput) {
  int opened = 0;
  const std::string out = dir + "/result.avi";
  ui::Dialogs().defineOutput = [&](QWidget*, Project& p) {
    ++opened;
    OutSetVideoFile(p.output, out);
    p.output.VideoFormat = FFGetId(out, FF_SAVE_TABLE);
    return true;
  };
  window->Action("&File/Define Output...")->setEnabled(true);
  window->Action("&File/Define Output...")->trigger();
  EXPECT_EQ(messages, std::vector<std::string>({"Select some input file first."}));
  EXPECT_EQ(opened, 0);

  window->AddFiles({QString::fromStdString(Sequence("o_", 4))});
  QTest::mouseClick(window->findChild<QToolButton*>("btnDefineOutput"), Qt::LeftButton);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(OutVideoFile(project().output), out);
}

TEST_F(MainWindowTest, F9TwiceStartsOneRunAndTheWindowStaysResponsive) {
  window->AddFiles({QString::fromStdString(Sequence("r_", 3))});
  std::atomic<int> runs{0};
  ui::Dialogs().startProcessing = [&](Project&, ProgressView& p, const RunSettings&) {
    ++runs;
    p.Open("Saving to file...", true, false);
    for (int i = 0; i < 60 && p.State() == PW_PROCESSING; ++i) {
      p.SetLine(0, "Video: frame " + std::to_string(i + 1) + " of 60", (i + 1) * 10000 / 60);
      QThread::msleep(10);
    }
    p.Close();
    return 0;
  };
  int ticks = 0;
  bool progressShown = false, commandsOff = false;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    ++ticks;
    auto* progress = window->findChild<ui::TfrmProgress*>();
    progressShown = progressShown || (progress && progress->isVisible());
    commandsOff = commandsOff || !window->Action("&File/Open...")->isEnabled();
    if (ticks == 3) QTest::keyClick(window.get(), Qt::Key_F9);
  });
  ticker.start(20);
  QTest::keyClick(window.get(), Qt::Key_F9);
  ticker.stop();
  EXPECT_EQ(runs, 1);
  EXPECT_GE(ticks, 5);  // the window's own timers kept running during the run
  EXPECT_TRUE(progressShown);
  EXPECT_TRUE(commandsOff);
  EXPECT_TRUE(window->Action("&File/Open...")->isEnabled());
  EXPECT_FALSE(window->findChild<ui::TfrmProgress*>()->isVisible());
}

TEST_F(MainWindowTest, PositionBarAndNavigationFollowTheFrames) {
  window->AddFiles({QString::fromStdString(Sequence("one_", 1))});
  auto* next = window->findChild<QToolButton*>("btnFrameNext");
  QTest::mouseClick(next, Qt::LeftButton);
  EXPECT_EQ(window->VideoPosition().quant, 0);  // one frame: the bar is disabled
  window->AddFiles({QString::fromStdString(Sequence("four_", 4))});
  for (int i = 0; i < 6; ++i) QTest::mouseClick(next, Qt::LeftButton);
  EXPECT_EQ(window->VideoPosition().quant, 4);  // stays on the last frame
  EXPECT_EQ(window->VideoPosition().block, 1);
  EXPECT_EQ(window->StatusText(), " Frame 5 of 5,  Start=2,  Length=4       ");
  QTest::mouseClick(window->findChild<QToolButton*>("btnToStart"), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(), " Frame 1 of 5,  Start=1,  Length=1       ");
}

TEST_F(MainWindowTest, ControlsAreReachedByTabInReadingOrderAndNamed) {
  std::vector<QWidget*> order;
  QWidget* first = window->findChild<QToolButton*>("btnFileAdd");
  first->setFocus();
  QWidget* w = first;
  for (int i = 0; i < 40; ++i) {
    order.push_back(w);
    w = w->nextInFocusChain();
    while (w != first && !(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain();
    if (w == first) break;
  }
  auto at = [&](const char* name) {
    for (size_t i = 0; i < order.size(); ++i)
      if (order[i]->objectName() == name) return int(i);
    return -1;
  };
  const char* reading[] = {"btnFileAdd", "btnStart",  "panVideo",   "panAudio", "panOptic",
                           "lstOutInfo", "TrackBar1", "btnToStart", "btnToEnd"};
  for (size_t i = 0; i + 1 < std::size(reading); ++i) {
    EXPECT_GE(at(reading[i]), 0) << reading[i];
    EXPECT_LT(at(reading[i]), at(reading[i + 1])) << reading[i] << " before " << reading[i + 1];
  }
  for (QToolButton* b : window->findChildren<QToolButton*>()) {
    if (b->objectName().startsWith("btn")) {
      EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();
    }
  }
}

TEST_F(MainWindowTest, GeometryAndUnitsAreKeptBetweenRuns) {
  window->resize(1100, 655);
  window->Action("&Edit/Video Unit/Time (hh:mm:ss.msec)")->trigger();
  window->close();
  window.reset();
  Open();
  EXPECT_EQ(window->size(), QSize(1100, 655));
  EXPECT_TRUE(window->Action("&Edit/Video Unit/Time (hh:mm:ss.msec)")->isChecked());
  window->AddFiles({QString::fromStdString(Sequence("t_", 50))});
  EXPECT_EQ(window->StatusText().rfind(" Time ", 0), 0u);

  // A damaged state file gives the defaults.
  window->close();
  window.reset();
  test::WriteWholeFile(dir + "/state/window-state", std::string("\0\xff garbage\nvideoUnit=7\n", 23));
  Open();
  EXPECT_TRUE(window->Action("&Edit/Video Unit/Frame")->isChecked());
}

TEST_F(MainWindowTest, SavedSessionsAreOfferedAgainAfterARestart) {
  const std::string name = dir + "/work.rfs";
  std::vector<std::string> saved, opened;
  ui::Dialogs().sessionSave = [&](QWidget*, Project&, const std::string& file) {
    saved.push_back(file);
    return true;
  };
  ui::Dialogs().sessionOpen = [&](QWidget*, Project&, const std::string& file) {
    opened.push_back(file);
    return true;
  };
  OnModal([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Save session");
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    edit->setText(QString::fromStdString(name));
    QTest::keyClick(edit, Qt::Key_Return);
  });
  window->Action("&Session/Save...")->trigger();
  EXPECT_EQ(saved, std::vector<std::string>({name}));
  window->close();
  window.reset();
  Open();
  QAction* entry = nullptr;
  for (QAction* a : window->findChildren<QAction*>())
    if (a->text() == QString::fromStdString(name)) entry = a;
  ASSERT_NE(entry, nullptr);
  entry->trigger();
  EXPECT_EQ(opened, std::vector<std::string>({name}));
}

TEST_F(MainWindowTest, ScreenshotWithALoadedEditList) {
  window->AddFiles({QString::fromStdString(Sequence("shot_a_", 24, 160, 120))});
  window->AddFiles({QString::fromStdString(Sequence("shot_b_", 12, 160, 120))});
  ProjectAddSilence(project(), 3);
  ProjectAddEffect(project(), 1, nullptr, 0, 0, 23);
  window->AddFiles({});
  window->resize(1000, 640);
  window->GoToFrame(5);
  QTest::qWait(50);
  testui::SaveScreenshot(*window, "main-window.png");
}

TEST_F(MainWindowTest, StartProcessingWritesTheAviAndClosesTheProgressWindow) {
  const std::string out = dir + "/film.avi";
  window->AddFiles({QString::fromStdString(Sequence("film_", 12, 32, 24))});
  ui::Dialogs().defineOutput = [&](QWidget*, Project& p) {
    OutSetVideoFile(p.output, out);
    p.output.VideoFormat = FFGetId(out, FF_SAVE_TABLE);
    return true;
  };
  QTest::mouseClick(window->findChild<QToolButton*>("btnDefineOutput"), Qt::LeftButton);
  ShowCounter shows;
  auto* progress = window->findChild<ui::TfrmProgress*>();
  progress->installEventFilter(&shows);
  Press(QKeySequence(Qt::Key_F9));
  EXPECT_EQ(messages, std::vector<std::string>());
  EXPECT_EQ(shows.count, 1);
  EXPECT_FALSE(progress->isVisible());
  QUniInfo info;
  ASSERT_TRUE(UniInfo(out, info, false)) << out;
  EXPECT_EQ(info.video.frames, 12);
  EXPECT_EQ(std::make_pair(info.video.width, info.video.height), std::make_pair(32, 24));
  EXPECT_EQ(window->StatusText().rfind(" Processing time: ", 0), 0u) << window->StatusText();
}

}  // namespace
}  // namespace rf
