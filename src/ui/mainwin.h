// The main window TfrmMain: the block lists, the effect chain, the previews, the output
// information, the position bar and the status line, and every command of the program.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/editcmd.h"
#include "engine/procexec.h"
#include "engine/project.h"
#include "ui/mainwin_dialogs.h"
#include "ui/mainwin_state.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSlider;
class QToolButton;
class QTreeWidget;

namespace rf::ui {

class PictureView;
class TfrmProgress;

// Which list the list commands act on.
inline constexpr int32_t LIST_VIDEO = 0;
inline constexpr int32_t LIST_AUDIO = 1;
inline constexpr int32_t LIST_EFFECTS = 2;

// A position in one of the lists: the quant from 0, its time and the block holding it.
struct ListPosition {
  int32_t quant = 0;
  double time = 0;
  int32_t block = NOT_SET;
};

class TfrmMain : public QMainWindow {
 public:
  // stateFile keeps the window's geometry, units and recent sessions (empty: the default file).
  explicit TfrmMain(const std::string& stateFile = {});
  ~TfrmMain() override;

  Project& project() { return *project_; }
  const MMList& clipboard() const { return clipboard_; }
  // The action of a menu item by its caption path, "&File/Open..." (nil when there is none).
  QAction* Action(const QString& path) const;
  // Files named on the command line or dropped: added at the end of both lists.
  void AddFiles(const QStringList& names);
  // The run settings handed to processing (the preferences decide them).
  RunSettings& runSettings() { return runSettings_; }
  bool Busy() const { return busy_; }
  std::string StatusText() const;
  int32_t ActiveList() const { return activeList_; }
  void SetActiveList(int32_t list);
  const ListPosition& VideoPosition() const { return videoPos_; }
  // Sets the position bar to frame (limited to the list).
  void GoToFrame(int32_t frame);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Project> project_;
  MMList clipboard_;
  std::vector<std::pair<QFnEntry, QFnParams>> effectClipboard_;
  EditEnv env_;
  RunSettings runSettings_;
  WindowState state_;
  std::string stateFile_;
  bool busy_ = false;   // the command re-entrancy flag
  bool ready_ = false;  // false during start-up and shut-down
  int32_t activeList_ = LIST_VIDEO;
  ListPosition videoPos_, audioPos_;
  int32_t filterIndex_ = 0;  // the open dialog's filter chosen last in this run
  std::string fileOpenDir_;
  QString keptStatus_;  // the folder of the files opened last
  std::string lastVideoOut_, lastAudioOut_;

  QTreeWidget* panVideo_ = nullptr;
  QTreeWidget* panAudio_ = nullptr;
  QTreeWidget* panOptic_ = nullptr;
  PictureView* panInput_ = nullptr;
  PictureView* panOutput_ = nullptr;
  QPlainTextEdit* lstOutInfo_ = nullptr;
  QSlider* trackBar_ = nullptr;
  QLabel* panStatus_ = nullptr;
  TfrmProgress* progress_ = nullptr;
  std::map<QString, QAction*> actions_;
  std::map<QString, QToolButton*> buttons_;
  QMenu* recentMenu_ = nullptr;
  QMenu* effectPopup_ = nullptr;

  // Construction.
  void BuildMenus();
  void BuildWindow();
  QAction* AddCommand(QMenu* menu, const QString& path, const QString& caption, const QKeySequence& key,
                      std::function<void()> body);
  QToolButton* AddButton(const char* name, const QString& text, const QString& accessible, QAction* action);

  // The command wrapper: the re-entrancy flag, the error frame and the refresh afterwards.
  void Command(const std::function<void()>& body);
  void RunJob(const std::function<int32_t(ProgressView&)>& job);
  void RunEngine(const MainDialogs::Run& run, const char* what);

  // The commands.
  void GuiFileAdd(const QString& title, bool insert);
  void InsertSilence(int32_t offset);
  void BlockSettings();
  void FileInformation();
  void PlaySelected();
  void SaveCurrentPicture();
  void DefineOutput();
  void StartProcessing();
  void ListFile(bool import);
  void SelectAll();
  void CopyCut(bool cut);
  void Paste(int32_t offset, bool duplicate);
  void DeleteSelected();
  void SetUnit(bool video, int32_t unit);
  void EffectAdd(bool insert);
  void EffectSettings();
  void EffectRange();
  void EffectDelete(bool all);
  void RenderPreviewCmd();
  void PlayFile(const std::string& name);
  void GoToDialog();
  void SessionFile(int32_t which);
  void OpenSession(const std::string& name);
  void NewSession(bool blank);
  void CountColorsCmd();
  void TemporalAverageCmd();
  void RunPlayer();
  void Options();
  void ToggleLog();
  void ViewLog();
  void DeleteLog();
  void About();

  // Views.
  void RefreshLists();
  void FillBlockList(QTreeWidget* view, const MMBlockList& list, int32_t kind, int32_t unit);
  void FillEffects();
  void ShowOutputInfoText();
  void RefreshTrackBar();
  void ShowPosition();
  void ShowPreviews();
  // The current frame and the output preview picture of it; false when there is none.
  bool LoadPreview(Qimg& input, Qimg& output);
  void ShowStatus(const std::string& first, const std::string& second);
  void UpdateCommandStates();
  void SetCommandsEnabled(bool enabled);
  void RememberRecent(const std::string& name);
  void FillRecentMenu();
  // Selection of a list: first selected row and count (first NOT_SET when none).
  std::pair<int32_t, int32_t> Selection(int32_t list) const;
  void SelectRows(int32_t list, int32_t first, int32_t count);
  QTreeWidget* ListView(int32_t list) const;
  std::string LogFile() const;
  void ProgramResetVars();
};

}  // namespace rf::ui
