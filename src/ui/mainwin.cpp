// The main window's composition, its menus and buttons, and the views of the lists, the
// position, the previews and the command states.
#include "ui/mainwin.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

#include "effects/fnrun.h"
#include "engine/imgcache.h"
#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/monitor.h"
#include "foundation/trace.h"
#include "ui/mainwin_dialogs.h"
#include "ui/picture.h"
#include "ui/progress.h"

namespace rf::ui {
namespace {

const char* const kTitle = "Reelforge";

std::string Format(const char* pattern, std::initializer_list<std::string> values) {
  std::string text = pattern;
  size_t at = 0;
  for (const std::string& v : values) {
    at = text.find("%s", at);
    if (at == std::string::npos) break;
    text.replace(at, 2, v);
    at += v.size();
  }
  return text;
}

std::string Grouped(int64_t n) { return FormatUInt(100, uint32_t(std::max<int64_t>(n, 0))); }

// A position of list from its quant.
ListPosition CalcPosFromQuant(const MMBlockList& list, int32_t quant) {
  if (list.items.empty()) return {};
  ListPosition p;
  p.quant = std::clamp(quant, 0, std::max(list.totalQuants - 1, 0));
  p.time = MMBlock_GetTimeByQuant(list, p.quant);
  p.block = MMBlock_GetBlockIndex(list, MM_BY_QUANT, p.quant);
  return p;
}

ListPosition CalcPosFromTime(const MMBlockList& list, double time) {
  if (list.items.empty()) return {};
  return CalcPosFromQuant(list, MMBlock_GetQuantByTime(list, std::clamp(time, 0.0, list.totalTime)));
}

}  // namespace

MainDialogs& Dialogs() {
  static MainDialogs dialogs;
  return dialogs;
}

TfrmMain::TfrmMain(const std::string& stateFile)
    : project_(std::make_unique<Project>()), stateFile_(stateFile.empty() ? DefaultWindowStateFile() : stateFile) {
  setObjectName("frmMain");
  setWindowTitle(kTitle);
  MMInit(clipboard_);
  state_ = ReadWindowState(stateFile_);
  runSettings_.tempFolder = QDir::tempPath().toStdString();
  env_.status = [this](const std::string& s) { ShowStatus(s, ""); };
  env_.showFileInfo = [this](const std::string& name) {
    if (Dialogs().fileInformation) Dialogs().fileInformation(this, name);
  };
  progress_ = new TfrmProgress(this);
  BuildWindow();
  BuildMenus();
  setAcceptDrops(true);
  ProgramResetVars();
  if (!state_.geometry.empty())
    restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(state_.geometry)));
  else
    resize(960, 640);
  SetUnit(true, state_.videoUnit);
  SetUnit(false, state_.audioUnit);
  ready_ = true;
}

TfrmMain::~TfrmMain() {
  ImgCache_Clear();
  project_.reset();
  MMDone(clipboard_);
}

QAction* TfrmMain::Action(const QString& path) const {
  const auto it = actions_.find(path);
  return it == actions_.end() ? nullptr : it->second;
}

QAction* TfrmMain::AddCommand(QMenu* menu, const QString& path, const QString& caption, const QKeySequence& key,
                              std::function<void()> body) {
  auto* action = menu->addAction(caption);
  action->setShortcut(key);
  action->setObjectName(path);
  connect(action, &QAction::triggered, this, [this, body = std::move(body)] { Command(body); });
  actions_[path] = action;
  return action;
}

QToolButton* TfrmMain::AddButton(const char* name, const QString& text, const QString& accessible, QAction* action) {
  auto* button = new QToolButton(this);
  button->setObjectName(name);
  button->setDefaultAction(action);
  button->setText(text);
  button->setToolTip(accessible);
  button->setAccessibleName(accessible);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setAutoRaise(true);
  buttons_[name] = button;
  return button;
}

void TfrmMain::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  AddCommand(file, "&File/Open...", "Open...", QKeySequence("Ctrl+O"),
             [this] { GuiFileAdd("Select File(s) to Add", false); });
  AddCommand(file, "&File/Insert...", "Insert...", {}, [this] { GuiFileAdd("Select File(s) to Insert", true); });
  QMenu* silence = file->addMenu("Audio Silence");
  AddCommand(silence, "&File/Audio Silence/Insert Above...", "Insert Above...", {}, [this] { InsertSilence(0); });
  AddCommand(silence, "&File/Audio Silence/Insert Below...", "Insert Below...", {}, [this] { InsertSilence(1); });
  file->addSeparator();
  AddCommand(file, "&File/Settings...", "Settings...", QKeySequence(Qt::Key_F6), [this] { BlockSettings(); });
  AddCommand(file, "&File/Information", "Information", QKeySequence(Qt::Key_F5), [this] { FileInformation(); });
  AddCommand(file, "&File/Play", "Play", {}, [this] { PlaySelected(); });
  AddCommand(file, "&File/Save Current Picture...", "Save Current Picture...", {}, [this] { SaveCurrentPicture(); });
  file->addSeparator();
  AddCommand(file, "&File/Define Output...", "Define Output...", {}, [this] { DefineOutput(); });
  AddCommand(file, "&File/Start Processing", "Start Processing", QKeySequence(Qt::Key_F9),
             [this] { StartProcessing(); });
  file->addSeparator();
  AddCommand(file, "&File/Import List...", "Import List...", {}, [this] { ListFile(true); });
  AddCommand(file, "&File/Export List...", "Export List...", {}, [this] { ListFile(false); });
  file->addSeparator();
  QAction* exit = file->addAction("Exit");
  connect(exit, &QAction::triggered, this, &QWidget::close);
  actions_["&File/Exit"] = exit;

  QMenu* edit = menuBar()->addMenu("&Edit");
  AddCommand(edit, "&Edit/Select All", "Select All", QKeySequence("Ctrl+A"), [this] { SelectAll(); });
  edit->addSeparator();
  AddCommand(edit, "&Edit/Cut", "Cut", QKeySequence("Ctrl+X"), [this] { CopyCut(true); });
  AddCommand(edit, "&Edit/Copy", "Copy", QKeySequence("Ctrl+C"), [this] { CopyCut(false); });
  AddCommand(edit, "&Edit/Paste Above", "Paste Above", QKeySequence("Ctrl+V"), [this] { Paste(0, false); });
  AddCommand(edit, "&Edit/Paste Below", "Paste Below", QKeySequence("Ctrl+Shift+V"), [this] { Paste(1, false); });
  AddCommand(edit, "&Edit/Paste - Duplicate Above", "Paste - Duplicate Above", QKeySequence("Ctrl+D"),
             [this] { Paste(0, true); });
  AddCommand(edit, "&Edit/Paste - Duplicate Below", "Paste - Duplicate Below", QKeySequence("Ctrl+Shift+D"),
             [this] { Paste(1, true); });
  AddCommand(edit, "&Edit/Delete", "Delete", QKeySequence(Qt::Key_Delete), [this] { DeleteSelected(); });
  edit->addSeparator();
  const struct {
    const char* menu;
    const char* time;
    const char* quant;
    bool video;
  } units[] = {{"Video Unit", "Time (hh:mm:ss.msec)", "Frame", true},
               {"Audio Unit", "Time (hh:mm:ss:msec)", "Sample", false}};
  for (const auto& u : units) {
    QMenu* sub = edit->addMenu(u.menu);
    auto* group = new QActionGroup(sub);
    const bool video = u.video;
    for (const auto& [caption, unit] : {std::pair{u.time, 1}, std::pair{u.quant, 0}}) {
      QAction* a = sub->addAction(caption);
      a->setCheckable(true);
      group->addAction(a);
      connect(a, &QAction::triggered, this, [this, video, unit = unit] { SetUnit(video, unit); });
      actions_[QString("&Edit/") + u.menu + "/" + caption] = a;
    }
  }

  QMenu* fx = menuBar()->addMenu("&Video Effect");
  AddCommand(fx, "&Video Effect/Add...", "Add...", {}, [this] { EffectAdd(false); });
  AddCommand(fx, "&Video Effect/Insert...", "Insert...", {}, [this] { EffectAdd(true); });
  AddCommand(fx, "&Video Effect/Settings...", "Settings...", {}, [this] { EffectSettings(); });
  AddCommand(fx, "&Video Effect/Range...", "Range...", {}, [this] { EffectRange(); });
  AddCommand(fx, "&Video Effect/Delete", "Delete", {}, [this] { EffectDelete(false); });
  AddCommand(fx, "&Video Effect/Clear List", "Clear List", {}, [this] { EffectDelete(true); });

  QMenu* preview = menuBar()->addMenu("&Preview");
  connect(preview, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
  AddCommand(preview, "&Preview/Render Preview", "Render Preview", {}, [this] { RenderPreviewCmd(); });
  AddCommand(preview, "&Preview/Play Preview", "Play Preview", {},
             [this] { PlayFile(runSettings_.tempFolder + "/$reelforge-preview.hav"); });
  AddCommand(preview, "&Preview/Play Saved Video File", "Play Saved Video File", {},
             [this] { PlayFile(OutVideoFile(project_->output)); });
  AddCommand(preview, "&Preview/Play Saved Audio File", "Play Saved Audio File", {},
             [this] { PlayFile(OutAudioFile(project_->output)); });
  preview->addSeparator();
  AddCommand(preview, "&Preview/Go To...", "Go To...", QKeySequence("Ctrl+G"), [this] { GoToDialog(); });

  QMenu* session = menuBar()->addMenu("&Session");
  AddCommand(session, "&Session/Open...", "Open...", {}, [this] { SessionFile(0); });
  AddCommand(session, "&Session/Merge...", "Merge...", {}, [this] { SessionFile(1); });
  AddCommand(session, "&Session/Save...", "Save...", {}, [this] { SessionFile(2); });
  recentMenu_ = session->addMenu("Recent Sessions");
  session->addSeparator();
  AddCommand(session, "&Session/New (default template)", "New (default template)", QKeySequence("Ctrl+N"),
             [this] { NewSession(false); });
  AddCommand(session, "&Session/New (blank)", "New (blank)", QKeySequence("Ctrl+Shift+N"),
             [this] { NewSession(true); });
  FillRecentMenu();

  QMenu* tools = menuBar()->addMenu("&Tools");
  AddCommand(tools, "&Tools/Count Colors", "Count Colors", {}, [this] { CountColorsCmd(); });
  AddCommand(tools, "&Tools/Temporal Average", "Temporal Average", {}, [this] { TemporalAverageCmd(); });
  AddCommand(tools, "&Tools/Run Vistrel", "Run Vistrel", {}, [this] { RunPlayer(); })->setObjectName("mnuRunVistrel");
  actions_["&Tools/Run Vistrel"]->setData("&Tools/Run Vistrel");
  AddCommand(tools, "&Tools/Options...", "Options...", {}, [this] { Options(); });

  QMenu* help = menuBar()->addMenu("&Help");
  AddCommand(help, "&Help/Contents", "Contents", QKeySequence(Qt::Key_F1), [this] { About(); });
  AddCommand(help, "&Help/Frequently Asked Questions", "Frequently Asked Questions", {}, [this] { About(); });
  QMenu* log = help->addMenu("Execution Log");
  connect(log, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
  AddCommand(log, "&Help/Execution Log/Start Logging", "Start Logging", {}, [this] {
    ToggleLog();
  })->setCheckable(true);
  AddCommand(log, "&Help/Execution Log/View Log", "View Log", {}, [this] { ViewLog(); });
  AddCommand(log, "&Help/Execution Log/Delete Log", "Delete Log", {}, [this] { DeleteLog(); });
  help->addSeparator();
  AddCommand(help, "&Help/About...", "About...", {}, [this] { About(); });

  // The tool buttons share the menu's actions, and so their enabled states.
  const struct {
    const char* name;
    const char* text;
    const char* accessible;
    const char* action;
  } tools_[] = {
      {"btnFileAdd", "Add", "Add files", "&File/Open..."},
      {"btnFileInsert", "Insert", "Insert files", "&File/Insert..."},
      {"btnFileSettings", "Settings", "Block settings", "&File/Settings..."},
      {"btnFileDelete", "Delete", "Delete blocks", "&Edit/Delete"},
      {"btnFileInfo", "Info", "File information", "&File/Information"},
      {"btnFuncAdd", "Add effect", "Add effect", "&Video Effect/Add..."},
      {"btnFuncInsert", "Insert effect", "Insert effect", "&Video Effect/Insert..."},
      {"btnFuncSettings", "Effect settings", "Effect settings", "&Video Effect/Settings..."},
      {"btnFuncDelete", "Delete effect", "Delete effect", "&Video Effect/Delete"},
      {"btnDefineOutput", "Output", "Define output", "&File/Define Output..."},
      {"btnStart", "Start", "Start processing", "&File/Start Processing"},
  };
  auto* bar = findChild<QWidget*>("toolRow");
  for (const auto& t : tools_) bar->layout()->addWidget(AddButton(t.name, t.text, t.accessible, Action(t.action)));
  static_cast<QHBoxLayout*>(bar->layout())->addStretch();

  // Navigation under the position bar.
  const struct {
    const char* name;
    const char* text;
    const char* accessible;
    std::function<int32_t()> frame;
  } nav[] = {
      {"btnToStart", "|<", "First frame", [] { return 0; }},
      {"btnFramePrev", "<", "Previous frame", [this] { return videoPos_.quant - 1; }},
      {"btnFrameNext", ">", "Next frame", [this] { return videoPos_.quant + 1; }},
      {"btnToEnd", ">|", "Last frame", [this] { return project_->list.video.totalQuants - 1; }},
  };
  auto* navRow = findChild<QWidget*>("navRow");
  for (const auto& n : nav) {
    auto* action = new QAction(n.text, this);
    connect(action, &QAction::triggered, this, [this, f = n.frame] {
      if (trackBar_->isEnabled()) GoToFrame(f());
    });
    actions_[n.name] = action;
    navRow->layout()->addWidget(AddButton(n.name, n.text, n.accessible, action));
  }

  // Tab order as a person reads the window: buttons, lists, output information, position.
  QWidget* previous = nullptr;
  auto chain = [&previous](QWidget* w) {
    if (previous) setTabOrder(previous, w);
    previous = w;
  };
  for (const auto& t : tools_) chain(buttons_[t.name]);
  for (QWidget* w :
       {static_cast<QWidget*>(panVideo_), static_cast<QWidget*>(panAudio_), static_cast<QWidget*>(panOptic_),
        static_cast<QWidget*>(lstOutInfo_), static_cast<QWidget*>(trackBar_)})
    chain(w);
  for (const auto& n : nav) chain(buttons_[n.name]);
}

void TfrmMain::BuildWindow() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  auto* toolRow = new QWidget(central);
  toolRow->setObjectName("toolRow");
  new QHBoxLayout(toolRow);
  toolRow->layout()->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(toolRow);

  auto makeList = [this, central](const char* name, const char* accessible, QStringList columns) {
    auto* view = new QTreeWidget(central);
    view->setObjectName(name);
    view->setAccessibleName(accessible);
    view->setHeaderLabels(columns);
    view->setRootIsDecorated(false);
    view->setSelectionMode(QAbstractItemView::ContiguousSelection);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
    connect(view, &QTreeWidget::itemSelectionChanged, this, [this] {
      if (!busy_) UpdateCommandStates();
    });
    return view;
  };
  panVideo_ = makeList("panVideo", "Video blocks", {"Video", "Start", "Length"});
  panAudio_ = makeList("panAudio", "Audio blocks", {"Audio", "Start", "Length"});
  panOptic_ = makeList("panOptic", "Video effects", {"Effect", "Range"});
  connect(panVideo_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    const int32_t row = panVideo_->indexOfTopLevelItem(item);
    GoToFrame(int32_t(MMBlock_GetFirstItem(project_->list.video, row, MM_BY_QUANT)));
  });

  auto* lists = new QSplitter(Qt::Vertical, central);
  lists->addWidget(panVideo_);
  lists->addWidget(panAudio_);
  lists->addWidget(panOptic_);

  auto* pictures = new QWidget(central);
  auto* pictureLayout = new QVBoxLayout(pictures);
  pictureLayout->setContentsMargins(0, 0, 0, 0);
  panInput_ = new PictureView(pictures);
  panInput_->setObjectName("panInput");
  panInput_->setAccessibleName("Input preview");
  panOutput_ = new PictureView(pictures);
  panOutput_->setObjectName("panOutput");
  panOutput_->setAccessibleName("Output preview");
  lstOutInfo_ = new QPlainTextEdit(pictures);
  lstOutInfo_->setObjectName("lstOutInfo");
  lstOutInfo_->setAccessibleName("Output information");
  lstOutInfo_->setReadOnly(true);
  lstOutInfo_->setMaximumHeight(110);
  pictureLayout->addWidget(panInput_, 1);
  pictureLayout->addWidget(panOutput_, 1);
  pictureLayout->addWidget(lstOutInfo_);

  auto* split = new QSplitter(Qt::Horizontal, central);
  split->addWidget(lists);
  split->addWidget(pictures);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  layout->addWidget(split, 1);

  auto* position = new QHBoxLayout;
  trackBar_ = new QSlider(Qt::Horizontal, central);
  trackBar_->setObjectName("TrackBar1");
  trackBar_->setAccessibleName("Position");
  connect(trackBar_, &QSlider::valueChanged, this, [this](int value) {
    if (!busy_) GoToFrame(value);
  });
  position->addWidget(trackBar_, 1);
  auto* navRow = new QWidget(central);
  navRow->setObjectName("navRow");
  new QHBoxLayout(navRow);
  navRow->layout()->setContentsMargins(0, 0, 0, 0);
  position->addWidget(navRow);
  layout->addLayout(position);
  setCentralWidget(central);

  panStatus_ = new QLabel(this);
  panStatus_->setObjectName("panStatus");
  panStatus_->setAccessibleName("Status");
  statusBar()->addWidget(panStatus_, 1);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    for (int32_t list : {LIST_VIDEO, LIST_AUDIO, LIST_EFFECTS})
      if (now && now == ListView(list) && !busy_) SetActiveList(list);
  });
}

QTreeWidget* TfrmMain::ListView(int32_t list) const {
  return list == LIST_VIDEO ? panVideo_ : list == LIST_AUDIO ? panAudio_ : panOptic_;
}

void TfrmMain::SetActiveList(int32_t list) {
  activeList_ = std::clamp(list, LIST_VIDEO, LIST_EFFECTS);
  ShowPosition();
  UpdateCommandStates();
}

std::pair<int32_t, int32_t> TfrmMain::Selection(int32_t list) const {
  const QTreeWidget* view = ListView(list);
  int32_t first = NOT_SET, last = NOT_SET;
  for (int32_t i = 0; i < view->topLevelItemCount(); ++i)
    if (view->topLevelItem(i)->isSelected()) {
      if (first == NOT_SET) first = i;
      last = i;
    }
  if (first == NOT_SET) {
    QTreeWidgetItem* current = view->currentItem();
    if (!current) return {NOT_SET, 0};
    first = last = view->indexOfTopLevelItem(current);
  }
  return {first, last - first + 1};
}

void TfrmMain::SelectRows(int32_t list, int32_t first, int32_t count) {
  QTreeWidget* view = ListView(list);
  view->clearSelection();
  first = std::max(first, 0);
  for (int32_t i = first; i < first + count && i < view->topLevelItemCount(); ++i) {
    if (i == first) view->setCurrentItem(view->topLevelItem(i));
    view->topLevelItem(i)->setSelected(true);
  }
}

void TfrmMain::FillBlockList(QTreeWidget* view, const MMBlockList& list, int32_t kind, int32_t unit) {
  const QSignalBlocker blocker(view);
  const auto [first, count] = Selection(kind);
  view->clear();
  for (int32_t i = 0; i < int32_t(list.items.size()); ++i) {
    std::string name, start, length;
    MMBlock_GetNameData(list, i, unit == 1 ? MM_BY_TIME : MM_BY_QUANT, name, 255, start, 64, length, 64);
    const MMBlockRec& b = *list.items[size_t(i)];
    if (!MMBlockP_IsFile(b)) name = "Silence " + SecToStr(SEC_LIST, b.duration);
    view->addTopLevelItem(new QTreeWidgetItem(
        {QString::fromStdString(name), QString::fromStdString(start), QString::fromStdString(length)}));
  }
  if (first != NOT_SET) SelectRows(kind, std::min(first, view->topLevelItemCount() - 1), count);
  view->header()->resizeSections(QHeaderView::ResizeToContents);
}

void TfrmMain::FillEffects() {
  const QSignalBlocker blocker(panOptic_);
  const auto [first, count] = Selection(LIST_EFFECTS);
  panOptic_->clear();
  for (const QFnEntry* e : project_->chain) {
    const std::string range =
        e->last >= FN_RANGE_LAST ? Grouped(e->first) + " -" : Grouped(e->first) + " - " + Grouped(e->last);
    panOptic_->addTopLevelItem(
        new QTreeWidgetItem({QString::fromStdString(FnEntryText(*e)), QString::fromStdString(range)}));
  }
  if (first != NOT_SET) SelectRows(LIST_EFFECTS, std::min(first, panOptic_->topLevelItemCount() - 1), count);
}

void TfrmMain::RefreshLists() {
  FillBlockList(panVideo_, project_->list.video, LIST_VIDEO, state_.videoUnit);
  FillBlockList(panAudio_, project_->list.audio, LIST_AUDIO, state_.audioUnit);
  FillEffects();
  ShowOutputInfoText();
  RefreshTrackBar();
  UpdateCommandStates();
}

void TfrmMain::ShowOutputInfoText() {
  const MMList& list = project_->list;
  std::string text;
  for (const std::string& line : ShowOutputInfo(project_->output, !list.video.items.empty(), !list.audio.items.empty()))
    text += line + "\n";
  lstOutInfo_->setPlainText(QString::fromStdString(text));
}

void TfrmMain::RefreshTrackBar() {
  const int32_t total = project_->list.video.totalQuants;
  const QSignalBlocker blocker(trackBar_);
  trackBar_->setRange(0, std::max(total - 1, 0));
  trackBar_->setEnabled(total >= 2 && !busy_);
  GoToFrame(total < 2 ? 0 : videoPos_.quant);
}

void TfrmMain::GoToFrame(int32_t frame) {
  const MMList& list = project_->list;
  videoPos_ = CalcPosFromQuant(list.video, frame);
  audioPos_ = CalcPosFromTime(list.audio, videoPos_.time);
  {
    const QSignalBlocker blocker(trackBar_);
    trackBar_->setValue(videoPos_.quant);
  }
  for (int32_t kind : {LIST_VIDEO, LIST_AUDIO}) {
    const ListPosition& p = kind == LIST_VIDEO ? videoPos_ : audioPos_;
    QTreeWidget* view = ListView(kind);
    for (int32_t i = 0; i < view->topLevelItemCount(); ++i) {
      QFont font = view->topLevelItem(i)->font(0);
      font.setBold(i == p.block);
      for (int c = 0; c < view->columnCount(); ++c) view->topLevelItem(i)->setFont(c, font);
    }
  }
  ShowPosition();
  ShowPreviews();
}

void TfrmMain::ShowPosition() {
  const bool audio = activeList_ == LIST_AUDIO;
  const MMBlockList& list = audio ? project_->list.audio : project_->list.video;
  const ListPosition& p = audio ? audioPos_ : videoPos_;
  const int32_t unit = audio ? state_.audioUnit : state_.videoUnit;
  if (list.items.empty()) {
    ShowStatus("", "");
    return;
  }
  const MMBlockRec* b = MMBlock_GetPtrByIndex(list, p.block);
  std::string text;
  if (unit == 1) {
    text = Format("Time %s of %s", {SecToStr(14, p.time), SecToStr(14, list.totalTime)});
    if (b)
      text += Format(",  Start=%s,  Length=%s", {SecToStr(14, b->startTime), SecToStr(14, b->endTime - b->startTime)});
  } else {
    text =
        Format("%s %s of %s", {audio ? "Sample" : "Frame", Grouped(int64_t(p.quant) + 1), Grouped(list.totalQuants)});
    if (b)
      text += Format(",  Start=%s,  Length=%s", {Grouped(int64_t(MMBlock_GetFirstItem(list, p.block, MM_BY_QUANT)) + 1),
                                                 Grouped(int64_t(b->last) - b->first + 1)});
  }
  ShowStatus(text, "");
}

bool TfrmMain::LoadPreview(Qimg& input, Qimg& output) {
  const MMList& list = project_->list;
  if (videoPos_.block == NOT_SET) return false;
  bool loaded = false;
  GuardedSilent("MainUnit.GetPreviewImage", [&] {
    int32_t fileIndex = NOT_SET, fileQuant = 0;
    MMBlock_GetBlockInfo(list.video, MM_BY_QUANT, videoPos_.quant, fileIndex, fileQuant);
    const QMMFileInfo* file = MMFile_GetPtrByIndex(list.files, fileIndex);
    if (!file) return;
    ImgCache_GetImage(file->info, fileQuant, input);
    if (!input.data) return;
    ImgCopy(input, output);
    Qimg spare;
    Qimg* current = &output;
    FnChainApply(project_->chain, videoPos_.quant, current, spare);
    if (current != &output) ImgXchg(output, spare);
    ImgFree(spare);
    loaded = true;
  });
  ErrClear();
  return loaded;
}

void TfrmMain::ShowPreviews() {
  Qimg input, output;
  if (!LoadPreview(input, output)) {
    ImgFree(input);
    GuardedSilent("MainUnit.ShowPreviews", [&] {
      ImgFromFn(PlaceholderBlock(), input);
      ImgCopy(input, output);
    });
    ErrClear();
  }
  panInput_->SetPicture(input);
  panOutput_->SetPicture(output);
  ImgFree(input);
  ImgFree(output);
}

void TfrmMain::ShowStatus(const std::string& first, const std::string& second) {
  panStatus_->setText(QString::fromStdString(" " + first + "       " + second));
}

std::string TfrmMain::StatusText() const { return panStatus_->text().toStdString(); }

void TfrmMain::UpdateCommandStates() {
  if (busy_) return;
  const MMList& list = project_->list;
  const bool hasVideo = !list.video.items.empty(), hasAudio = !list.audio.items.empty();
  const bool hasEffects = !project_->chain.empty();
  const bool videoSel = Selection(LIST_VIDEO).first != NOT_SET, audioSel = Selection(LIST_AUDIO).first != NOT_SET;
  const bool effectSel = Selection(LIST_EFFECTS).first != NOT_SET;
  const bool activeBlockSel = (activeList_ == LIST_VIDEO && videoSel) || (activeList_ == LIST_AUDIO && audioSel);
  const bool activeSel = activeList_ == LIST_EFFECTS ? effectSel : activeBlockSel;
  const bool activeNotEmpty = activeList_ == LIST_VIDEO ? hasVideo : activeList_ == LIST_AUDIO ? hasAudio : hasEffects;
  const bool clip = activeList_ == LIST_VIDEO   ? !clipboard_.video.items.empty()
                    : activeList_ == LIST_AUDIO ? !clipboard_.audio.items.empty()
                                                : !effectClipboard_.empty();
  const bool frames = list.video.totalQuants > 1;
  const bool any = hasVideo || hasAudio;
  const QFileInfo preview(QString::fromStdString(runSettings_.tempFolder + "/$reelforge-preview.hav"));
  const std::string defaultSession = Dialogs().defaultSession ? Dialogs().defaultSession() : std::string();
  const struct {
    const char* path;
    bool enabled;
  } table[] = {
      {"&Preview/Go To...", frames},
      {"btnFrameNext", frames},
      {"btnFramePrev", frames},
      {"btnToStart", frames},
      {"btnToEnd", frames},
      {"&File/Insert...", videoSel || audioSel},
      {"&File/Save Current Picture...", videoSel},
      {"&File/Settings...", activeBlockSel},
      {"&File/Information", activeBlockSel},
      {"&File/Play", activeBlockSel},
      {"&File/Export List...", any},
      {"&File/Define Output...", any},
      {"&File/Start Processing", any},
      {"&Preview/Render Preview", any},
      {"&Edit/Select All", activeNotEmpty},
      {"&Edit/Cut", activeSel},
      {"&Edit/Copy", activeSel},
      {"&Edit/Delete", activeSel},
      {"&Edit/Paste Above", clip},
      {"&Edit/Paste Below", clip},
      {"&Edit/Paste - Duplicate Above", clip && activeList_ != LIST_EFFECTS},
      {"&Edit/Paste - Duplicate Below", clip && activeList_ != LIST_EFFECTS},
      {"&Preview/Play Preview", preview.exists()},
      {"&Preview/Play Saved Video File", QFileInfo::exists(QString::fromStdString(OutVideoFile(project_->output)))},
      {"&Preview/Play Saved Audio File", QFileInfo::exists(QString::fromStdString(OutAudioFile(project_->output)))},
      {"&Video Effect/Insert...", effectSel},
      {"&Video Effect/Settings...", effectSel},
      {"&Video Effect/Range...", effectSel},
      {"&Video Effect/Delete", effectSel},
      {"&Video Effect/Clear List", hasEffects},
      {"&Session/New (default template)",
       !defaultSession.empty() && QFileInfo::exists(QString::fromStdString(defaultSession))},
      {"&Tools/Count Colors", hasVideo},
      {"&Tools/Temporal Average", hasVideo},
      {"&Help/Execution Log/View Log", QFileInfo::exists(QString::fromStdString(LogFile()))},
      {"&Help/Execution Log/Delete Log", QFileInfo::exists(QString::fromStdString(LogFile()))},
  };
  for (const auto& row : table)
    if (QAction* a = Action(row.path)) a->setEnabled(row.enabled);
  Action("&Help/Execution Log/Start Logging")->setChecked(TraceActive());
  // The list's delete button acts on blocks only.
  buttons_["btnFileDelete"]->setEnabled(activeBlockSel);
}

void TfrmMain::SetCommandsEnabled(bool enabled) {
  for (auto& [path, action] : actions_) action->setEnabled(enabled);
  for (auto& [name, button] : buttons_) button->setEnabled(enabled);
  trackBar_->setEnabled(enabled);
  for (int32_t list : {LIST_VIDEO, LIST_AUDIO, LIST_EFFECTS}) ListView(list)->setEnabled(enabled);
  if (enabled) RefreshLists();
}

void TfrmMain::ProgramResetVars() {
  videoPos_ = audioPos_ = {};
  ImgCache_Clear();
  ImgCache_MinItems(1);
  RefreshLists();
  GoToFrame(0);
  ShowStatus("", "");
}

void TfrmMain::FillRecentMenu() {
  recentMenu_->clear();
  for (const std::string& name : state_.recent) {
    QAction* a = recentMenu_->addAction(QString::fromStdString(name));
    connect(a, &QAction::triggered, this, [this, name] { Command([this, name] { OpenSession(name); }); });
  }
  recentMenu_->setEnabled(!state_.recent.empty());
}

void TfrmMain::RememberRecent(const std::string& name) {
  AddRecent(state_, name);
  FillRecentMenu();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  ready_ = false;
  state_.geometry = saveGeometry().toBase64().toStdString();
  WriteWindowState(stateFile_, state_);
  ImgCache_Clear();
  if (TraceActive()) TraceStop();
  event->accept();
}

void TfrmMain::changeEvent(QEvent* event) {
  // Activating the window during a run brings the progress window to the front.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && progress_->State() == PW_PROCESSING)
    progress_->raise();
  QMainWindow::changeEvent(event);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !busy_) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
  QStringList names;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) names << url.toLocalFile();
  if (names.isEmpty() || busy_) return;
  event->acceptProposedAction();
  AddFiles(names);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (drag->mimeData()->hasUrls() && !busy_) drag->acceptProposedAction();
      return true;
    }
    case QEvent::Drop:
      dropEvent(static_cast<QDropEvent*>(event));
      return true;
    default:
      return QMainWindow::eventFilter(watched, event);
  }
}

}  // namespace rf::ui
