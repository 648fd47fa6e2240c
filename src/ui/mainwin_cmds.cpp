// The main window's commands: each takes the re-entrancy flag, runs its operation in an error
// frame, shows what went wrong and refreshes the window.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSlider>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

#include "effects/fnrun.h"
#include "engine/imgcache.h"
#include "formats/ffcodecs.h"
#include "formats/ffdesc.h"
#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"
#include "ui/mainwin.h"
#include "ui/mainwin_dialogs.h"
#include "ui/progress.h"
#include "ui/runner.h"

namespace rf::ui {
namespace {

// "label|*.a;*.b|..." as the dialog's filters "label (*.a *.b)".
QStringList QtFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|', Qt::SkipEmptyParts);
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString masks = parts[i + 1];
    out << parts[i] + " (" + masks.replace(';', ' ') + ")";
  }
  return out;
}

std::vector<std::string> ToNames(const QStringList& list) {
  std::vector<std::string> names;
  for (const QString& s : list) names.push_back(s.toStdString());
  return names;
}

bool NotAvailable(const char* what) {
  ShowInfoBox(std::string(what) + " is not available in this build.");
  return false;
}

std::string FolderOf(const std::string& name) {
  return QFileInfo(QString::fromStdString(name)).absolutePath().toStdString();
}

}  // namespace

void TfrmMain::Command(const std::function<void()>& body) {
  if (busy_) return;
  busy_ = true;
  GuardedSilent("MainUnit.Command", body);
  busy_ = false;
  ShowLastError();
  if (ready_) RefreshLists();
  // A run's last word ("Processing time: ...") stays on the status line.
  if (!keptStatus_.isEmpty()) panStatus_->setText(keptStatus_);
  keptStatus_.clear();
}

void TfrmMain::RunJob(const std::function<int32_t(ProgressView&)>& job) {
  SetCommandsEnabled(false);
  RunTexts texts;
  texts.title = [this](const std::string& t) {
    setWindowTitle(t.empty() ? QString("Reelforge") : QString::fromStdString(t));
  };
  texts.status = [this](const std::string& s) { ShowStatus(s, ""); };
  // The command's error frame stays open on this thread while the job runs: the job ends its
  // errors in a frame of its own so that none travels out of the worker.
  RunOnWorker(*progress_, texts, [&job](ProgressView& p) {
    int32_t result = 2;
    GuardedSilent("MainUnit.RunJob", [&] { result = job(p); });
    return result;
  });
  keptStatus_ = panStatus_->text();
  SetCommandsEnabled(true);
}

void TfrmMain::AddFiles(const QStringList& names) {
  Command([&] {
    const AddRequest r = FileAddStringList(*project_, ToNames(names), NOT_SET, NOT_SET, env_);
    RefreshLists();
    if (r.videoAdded > 0) SelectRows(LIST_VIDEO, r.firstVideoPos, r.videoAdded);
    if (r.audioAdded > 0) SelectRows(LIST_AUDIO, r.firstAudioPos, r.audioAdded);
    ShowStatus("", "");
  });
}

void TfrmMain::GuiFileAdd(const QString& title, bool insert) {
  ShowStatus("Opening files...", "");
  QFileDialog dialog(this, title, QString::fromStdString(fileOpenDir_));
  dialog.setObjectName("dlgOpenFiles");
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  const QStringList filters = QtFilters(FFMakeLoadFilter(0, 3));
  dialog.setNameFilters(filters);
  if (filterIndex_ < filters.size()) dialog.selectNameFilter(filters[filterIndex_]);
  std::vector<std::string> names;
  if (dialog.exec() == QDialog::Accepted) names = ToNames(dialog.selectedFiles());
  if (names.empty()) {
    ShowStatus("", "");
    return;
  }
  OrderProperly(names);
  fileOpenDir_ = FolderOf(names.front());
  filterIndex_ = int32_t(std::max<qsizetype>(filters.indexOf(dialog.selectedNameFilter()), 0));
  const int32_t videoPos = insert ? Selection(LIST_VIDEO).first : NOT_SET;
  const int32_t audioPos = insert ? Selection(LIST_AUDIO).first : NOT_SET;
  const AddRequest r = FileAddStringList(*project_, names, videoPos, audioPos, env_);
  RefreshLists();
  if (r.videoAdded > 0) SelectRows(LIST_VIDEO, r.firstVideoPos, r.videoAdded);
  if (r.audioAdded > 0) SelectRows(LIST_AUDIO, r.firstAudioPos, r.audioAdded);
  ShowStatus("", "");
}

void TfrmMain::InsertSilence(int32_t offset) {
  bool ok = false;
  const double seconds = QInputDialog::getDouble(this, "Audio Silence", "Duration (seconds):", 10.0, 0.0, 1e9, 3, &ok);
  if (!ok) return;
  const int32_t selected = Selection(LIST_AUDIO).first;
  AddRequest r = MakeAddRequest(*project_, NOT_SET, selected == NOT_SET ? NOT_SET : selected + offset);
  r.silenceDuration = seconds;
  AudioSilenceAdd(*project_, r);
  RefreshLists();
  SelectRows(LIST_AUDIO, r.firstAudioPos, 1);
}

void TfrmMain::BlockSettings() {
  if (activeList_ == LIST_EFFECTS) return;
  const int32_t index = Selection(activeList_).first;
  MMBlockList& list = activeList_ == LIST_VIDEO ? project_->list.video : project_->list.audio;
  const MMBlockRec* block = MMBlock_GetPtrByIndex(list, index);
  if (!block) return;
  if (!MMBlockP_IsFile(*block)) {
    bool ok = false;
    const double seconds =
        QInputDialog::getDouble(this, "Audio Silence", "Duration (seconds):", block->duration, 0.0, 1e9, 3, &ok);
    if (ok) SilenceSetDuration(*project_, index, seconds);
    return;
  }
  if (!Dialogs().blockSettings) {
    NotAvailable("The block settings dialog");
    return;
  }
  const int32_t start = int32_t(MMBlock_GetFirstItem(list, index, MM_BY_QUANT));
  int32_t change = 0;
  if (!Dialogs().blockSettings(this, *project_, activeList_, index, change) || activeList_ != LIST_VIDEO) return;
  if (change > 0) FnRangesInserted(project_->chain, start, change);
  if (change < 0) FnRangesDeleted(project_->chain, start, -change);
}

void TfrmMain::FileInformation() {
  const auto [index, count] = Selection(activeList_);
  const MMBlockList& list = activeList_ == LIST_AUDIO ? project_->list.audio : project_->list.video;
  const MMBlockRec* block = MMBlock_GetPtrByIndex(list, index);
  if (!block || !MMBlockP_IsFile(*block)) return;
  const QMMFileInfo* file = MMFile_GetPtrByIndex(project_->list.files, block->file);
  if (!Dialogs().fileInformation) {
    NotAvailable("The file information window");
    return;
  }
  if (file) Dialogs().fileInformation(this, file->info.name);
}

void TfrmMain::PlaySelected() {
  const MMBlockList& list = activeList_ == LIST_AUDIO ? project_->list.audio : project_->list.video;
  const MMBlockRec* block = MMBlock_GetPtrByIndex(list, Selection(activeList_).first);
  if (!block || !MMBlockP_IsFile(*block)) return;
  if (const QMMFileInfo* file = MMFile_GetPtrByIndex(project_->list.files, block->file)) PlayFile(file->info.name);
}

void TfrmMain::PlayFile(const std::string& name) {
  if (Dialogs().play)
    Dialogs().play(name);
  else
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(name)));
}

void TfrmMain::SaveCurrentPicture() {
  Qimg input, output;
  if (!LoadPreview(input, output)) {
    ImgFree(input);
    ImgFree(output);
    return;
  }
  char proposal[32];
  std::snprintf(proposal, sizeof proposal, "/Pic%05d.bmp", videoPos_.quant + 1);
  const QString name = QFileDialog::getSaveFileName(
      this, "Select Output File Name", QString::fromStdString(fileOpenDir_) + proposal,
      QtFilters(FFMakeSaveFilter(FFF_STILL, 3)).join(";;"), nullptr, QFileDialog::DontUseNativeDialog);
  if (!name.isEmpty()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    GuardedSilent("MainUnit.SaveCurrentPicture", [&] { ImgSave(name.toStdString(), output, FF_AUTO); });
    QApplication::restoreOverrideCursor();
  }
  ImgFree(input);
  ImgFree(output);
}

void TfrmMain::DefineOutput() {
  const MMList& list = project_->list;
  if (list.video.items.empty() && list.audio.items.empty()) {
    ShowInfoBox("Select some input file first.");
    return;
  }
  CalcOptimalOutput(project_->output, list);
  if (!Dialogs().defineOutput) {
    NotAvailable("The output definition dialog");
    return;
  }
  if (!Dialogs().defineOutput(this, *project_)) return;
  CalcOptimalOutput(project_->output, list);
  OutputFiles_OnChange(project_->output);
  ShowOutputInfoText();
}

void TfrmMain::StartProcessing() {
  QCoreApplication::processEvents();
  RunEngine(Dialogs().startProcessing, "Processing");
}

void TfrmMain::RenderPreviewCmd() { RunEngine(Dialogs().renderPreview, "Preview rendering"); }
void TfrmMain::CountColorsCmd() { RunEngine(Dialogs().countColors, "Counting colours"); }
void TfrmMain::TemporalAverageCmd() { RunEngine(Dialogs().temporalAverage, "Averaging frames"); }

void TfrmMain::RunEngine(const MainDialogs::Run& run, const char* what) {
  if (!run) {
    NotAvailable(what);
    return;
  }
  RunJob([this, &run](ProgressView& p) { return run(*project_, p, runSettings_); });
}

void TfrmMain::ListFile(bool import) {
  const auto& hook = import ? Dialogs().listImport : Dialogs().listExport;
  if (!hook) {
    NotAvailable("List files");
    return;
  }
  const QString name =
      import ? QFileDialog::getOpenFileName(this, "Import File List", {},
                                            "All Supported Lists (*.lst *.vfl);;Simple List (*.lst);;Versatile File "
                                            "List (*.vfl);;Any File (*)",
                                            nullptr, QFileDialog::DontUseNativeDialog)
             : QFileDialog::getSaveFileName(this, "Export File List", {},
                                            "Simple List (*.lst);;Versatile File List (*.vfl);;Any File (*)", nullptr,
                                            QFileDialog::DontUseNativeDialog);
  if (!name.isEmpty()) hook(this, *project_, name.toStdString());
}

void TfrmMain::SelectAll() {
  QTreeWidget* view = ListView(activeList_);
  if (view->topLevelItemCount() > 0) SelectRows(activeList_, 0, view->topLevelItemCount());
}

void TfrmMain::CopyCut(bool cut) {
  const auto [first, count] = Selection(activeList_);
  if (first == NOT_SET) return;
  if (activeList_ != LIST_EFFECTS) {
    if (cut)
      CutBlocks(*project_, clipboard_, activeList_, first, count);
    else
      CopyBlocks(*project_, clipboard_, activeList_, first, count);
    return;
  }
  effectClipboard_.clear();
  for (int32_t i = first; i < first + count; ++i) {
    const QFnEntry& e = *project_->chain[size_t(i)];
    effectClipboard_.emplace_back(e, e.fnParams ? *e.fnParams : QFnParams{});
  }
  if (cut)
    for (int32_t i = first + count - 1; i >= first; --i) ProjectDeleteEffect(*project_, size_t(i));
}

void TfrmMain::Paste(int32_t offset, bool duplicate) {
  int32_t times = 1;
  if (duplicate) {
    bool ok = false;
    times = QInputDialog::getInt(this, "Duplicate", "Number of copies:", 2, 1, 10000, 1, &ok);
    if (!ok) return;
  }
  const int32_t selected = Selection(activeList_).first;
  if (activeList_ == LIST_EFFECTS) {
    size_t at = selected == NOT_SET ? project_->chain.size() : size_t(selected + offset);
    for (const auto& [entry, params] : effectClipboard_) ProjectInsertEffect(*project_, at++, entry, &params);
    return;
  }
  const int32_t inserted = PasteBlocks(*project_, clipboard_, activeList_, selected, offset, times);
  const MMBlockList& list = activeList_ == LIST_VIDEO ? project_->list.video : project_->list.audio;
  const int32_t at = selected == NOT_SET ? int32_t(list.items.size()) - inserted : selected + offset;
  RefreshLists();
  SelectRows(activeList_, at, inserted);
}

void TfrmMain::DeleteSelected() {
  const auto [first, count] = Selection(activeList_);
  if (first == NOT_SET) return;
  if (activeList_ == LIST_EFFECTS)
    EffectDelete(false);
  else
    DeleteBlocks(*project_, activeList_, first, count);
}

void TfrmMain::SetUnit(bool video, int32_t unit) {
  (video ? state_.videoUnit : state_.audioUnit) = unit;
  const QString path = video ? (unit == 1 ? "&Edit/Video Unit/Time (hh:mm:ss.msec)" : "&Edit/Video Unit/Frame")
                             : (unit == 1 ? "&Edit/Audio Unit/Time (hh:mm:ss:msec)" : "&Edit/Audio Unit/Sample");
  if (QAction* a = Action(path)) a->setChecked(true);
  if (ready_) RefreshLists();
}

void TfrmMain::EffectAdd(bool insert) {
  QMenu popup(this);
  for (int32_t id = 1; id <= 31; ++id) popup.addAction(QString::fromStdString(FnName(id)))->setData(id);
  const QAction* chosen = popup.exec(QCursor::pos());
  if (!chosen) return;
  const int32_t selected = Selection(LIST_EFFECTS).first;
  const size_t at = insert && selected != NOT_SET ? size_t(selected) : project_->chain.size();
  QFnEntry entry = FnMakeEntry(chosen->data().toInt());
  if (Dialogs().effectSettings && !Dialogs().effectSettings(this, entry)) {
    FnFree(entry.fnParams);
    return;
  }
  if (entry.fnParams) {
    ProjectInsertEffect(*project_, at, entry, entry.fnParams);
    FnFree(entry.fnParams);
    return;
  }
  // Without a dialog the effect starts with its default values.
  ProjectAddEffect(*project_, entry.id, nullptr, 0, FN_RANGE_FIRST, FN_RANGE_LAST);
  QFnEntry* added = project_->chain.back();
  project_->chain.pop_back();
  project_->chain.insert(project_->chain.begin() + std::ptrdiff_t(std::min(at, project_->chain.size())), added);
}

void TfrmMain::EffectSettings() {
  const int32_t selected = Selection(LIST_EFFECTS).first;
  if (selected == NOT_SET) return;
  if (!Dialogs().effectSettings) {
    NotAvailable("The effect dialog");
    return;
  }
  QFnEntry& entry = *project_->chain[size_t(selected)];
  QFnEntry copy = entry;
  copy.fnParams = nullptr;
  FnCopy(copy.fnParams, entry.fnParams);
  if (Dialogs().effectSettings(this, copy)) std::swap(entry.fnParams, copy.fnParams);
  FnFree(copy.fnParams);
}

void TfrmMain::EffectRange() {
  const auto [first, count] = Selection(LIST_EFFECTS);
  if (first == NOT_SET) return;
  if (!Dialogs().effectRange) {
    NotAvailable("The effect range dialog");
    return;
  }
  RangePositions pos;
  const MMBlockList& video = project_->list.video;
  pos.current = videoPos_.quant;
  pos.list = state_.videoUnit == 1 ? &video : nullptr;
  const auto [block, blocks] = Selection(LIST_VIDEO);
  pos.selectedStart = pos.selectedEnd = pos.current;
  if (block != NOT_SET) {
    pos.selectedStart = int32_t(MMBlock_GetFirstItem(video, block, MM_BY_QUANT));
    pos.selectedEnd = int32_t(MMBlock_GetLastItem(video, block + blocks - 1, MM_BY_QUANT));
  }
  Dialogs().effectRange(this, *project_, first, first + count - 1, pos);
}

void TfrmMain::EffectDelete(bool all) {
  auto [first, count] = Selection(LIST_EFFECTS);
  if (all) first = 0, count = int32_t(project_->chain.size());
  if (first == NOT_SET) return;
  for (int32_t i = first + count - 1; i >= first; --i) ProjectDeleteEffect(*project_, size_t(i));
}

void TfrmMain::GoToDialog() {
  const MMBlockList& video = project_->list.video;
  if (video.items.empty()) return;
  QDialog dialog(this);
  dialog.setWindowTitle("Go To");
  auto* form = new QFormLayout(&dialog);
  auto* value = new QLineEdit(&dialog);
  value->setObjectName("edtPosition");
  auto* relative = new QCheckBox("Relative", &dialog);
  const bool time = state_.videoUnit == 1;
  form->addRow(time ? "Time (seconds):" : QString("Frame (0 - %1):").arg(video.totalQuants - 1), value);
  form->addRow(relative);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string text = value->text().toStdString();
  if (time) {
    const double seconds = StrToSec(text, 0) + (relative->isChecked() ? videoPos_.time : 0);
    GoToFrame(MMBlock_GetQuantByTime(video, std::clamp(seconds, 0.0, video.totalTime)));
  } else {
    const int32_t frame = value->text().toInt() + (relative->isChecked() ? videoPos_.quant : 0);
    GoToFrame(std::clamp(frame, 0, video.totalQuants - 1));
  }
}

void TfrmMain::SessionFile(int32_t which) {
  const char* const titles[] = {"Open session", "Merge session", "Save session"};
  const QString filter = which == 2 ? "Reelforge Session (*.rfs)" : "Reelforge Session (*.rfs);;Corvane Script (*.scr)";
  const QString name =
      which == 2
          ? QFileDialog::getSaveFileName(this, titles[which], {}, filter, nullptr, QFileDialog::DontUseNativeDialog)
          : QFileDialog::getOpenFileName(this, titles[which], {}, filter, nullptr, QFileDialog::DontUseNativeDialog);
  if (name.isEmpty()) return;
  if (which == 0) {
    OpenSession(name.toStdString());
    return;
  }
  const auto& hook = which == 1 ? Dialogs().sessionMerge : Dialogs().sessionSave;
  if (!hook) {
    NotAvailable("Session files");
    return;
  }
  if (hook(this, *project_, name.toStdString()) && which == 2) RememberRecent(name.toStdString());
}

void TfrmMain::OpenSession(const std::string& name) {
  if (!Dialogs().sessionOpen) {
    NotAvailable("Session files");
    return;
  }
  if (Dialogs().sessionOpen(this, *project_, name)) RememberRecent(name);
  ProgramResetVars();
}

void TfrmMain::NewSession(bool blank) {
  ProjectClear(*project_);
  SetOutputDefaults(project_->output, true, true);
  const std::string name = Dialogs().defaultSession ? Dialogs().defaultSession() : std::string();
  if (!blank && !name.empty() && Dialogs().sessionOpen) Dialogs().sessionOpen(this, *project_, name);
  ProgramResetVars();
}

void TfrmMain::RunPlayer() {
  const QString player = QCoreApplication::applicationDirPath() + "/../vistrel/vistrel";
  if (!QProcess::startDetached(QFileInfo::exists(player) ? player : QString("vistrel")))
    ShowErrorBox("The player cannot be started.");
}

void TfrmMain::Options() {
  if (!Dialogs().options) {
    NotAvailable("The preferences dialog");
    return;
  }
  if (Dialogs().options(this)) ImgCache_Clear();
}

std::string TfrmMain::LogFile() const { return FolderOf(stateFile_) + "/Reelforge.log"; }

void TfrmMain::ToggleLog() {
  if (TraceActive()) {
    TraceStop();
    return;
  }
  TraceSetFile(LogFile());
  TraceStart("Reelforge " + QCoreApplication::applicationVersion().toStdString());
  TraceDiskStatus(FolderOf(stateFile_));
}

void TfrmMain::ViewLog() {
  QFile file(QString::fromStdString(LogFile()));
  if (!file.open(QIODevice::ReadOnly)) return;
  QDialog window(this);
  window.setWindowTitle("Execution Log");
  auto* layout = new QVBoxLayout(&window);
  auto* text = new QPlainTextEdit(QString::fromUtf8(file.readAll()), &window);
  text->setReadOnly(true);
  layout->addWidget(text);
  window.resize(640, 480);
  window.exec();
}

void TfrmMain::DeleteLog() {
  if (TraceActive()) TraceStop();
  QFile::remove(QString::fromStdString(LogFile()));
}

void TfrmMain::About() {
  QMessageBox::about(this, "About Reelforge",
                     "Reelforge " + QCoreApplication::applicationVersion() +
                         "\nTurns pictures, movies and sounds into new movies, picture sequences and sound files.");
}

}  // namespace rf::ui
