// The block settings dialog over the engine's block model: two pages of bars, buttons and entries,
// the frame preview from the image cache and the audio preview player's messages.
#include "ui/blockdlg.h"

// Before Qt, whose "slots" keyword would rename a field of the value list.
#include "editlist/valuelist.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "effects/fnchain.h"
#include "engine/blockedit.h"
#include "engine/imgcache.h"
#include "engine/outdef.h"
#include "engine/project.h"
#include "foundation/errors.h"
#include "foundation/monitor.h"
#include "ui/sound.h"
#include "ui/soundqt.h"

namespace rf::ui {
namespace {

constexpr QSize kPreviewSize(320, 240);

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The widgets of one page: the bar, its label, the three entries and the selection buttons.
struct Page {
  QWidget* widget = nullptr;
  QLabel* file = nullptr;
  QLabel* position = nullptr;
  QSlider* bar = nullptr;
  QLineEdit* edits[3] = {};
  QPushButton* inPoint = nullptr;
  QPushButton* outPoint = nullptr;
  QPushButton* view = nullptr;
  QPushButton* selectAll = nullptr;
  bool barLock = false;
  bool editLock = false;
};

// Sets a bar without its own handlers running.
void SetBarQuietly(Page& page, int32_t value) {
  page.barLock = true;
  page.bar->setValue(value);
  page.barLock = false;
}

class BlockDialog : public QDialog {
 public:
  BlockDialog(QWidget* parent, QInputSettings& settings, const BlockDialogOptions& options);
  ~BlockDialog() override { DoneControls(); }
  void Apply() const { model_.Apply(settings_); }

 private:
  void BuildPage(int32_t side, const char* const names[]);
  void BuildVideoExtras(QGridLayout* grid);
  void BuildAudioExtras(QVBoxLayout* layout);
  void InitControls(bool startOnVideo);
  bool OpenVideo();
  void OpenAudio();
  void InitBar(int32_t side);
  void WriteEdits();
  void ShowVideo(int32_t position, bool fetch);
  void ShowAudio(int32_t position);
  void DrawFrame(int32_t frame);
  void OnBar(int32_t side, int32_t value);
  void OnBarReleased(int32_t side);
  void SeekPlayer(int32_t position, bool whilePlaying);
  void OnEdit(int32_t side, int32_t field);
  void OnSelection(int32_t side);
  void OnFrameRate();
  void ApplyFrameRate(bool applied);
  void OnPlayerMessage(int32_t message);
  void OnStop();
  void DoneControls();

  QInputSettings& settings_;
  BlockEdit model_;
  Page pages_[2];
  QTabWidget* tabs_ = nullptr;
  QLabel* preview_ = nullptr;
  QPushButton* frameBack_ = nullptr;
  QPushButton* frameFwd_ = nullptr;
  QLineEdit* fps_ = nullptr;
  QToolButton* fpsSelect_ = nullptr;
  QPushButton* play_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* soundNote_ = nullptr;
  QCheckBox* link_ = nullptr;
  QUniHandle video_;
  std::unique_ptr<GigaHertz> player_;
  bool audioDragged_ = false;
  bool videoNeedsRefresh_ = false;
};

BlockDialog::BlockDialog(QWidget* parent, QInputSettings& settings, const BlockDialogOptions& options)
    : QDialog(parent), settings_(settings) {
  setObjectName("DlgInputSettings");
  setWindowTitle("File Settings");
  model_.Load(settings, OutDefaultFPS());
  model_.SetUnit(BE_VIDEO, options.videoUnit);
  model_.SetUnit(BE_AUDIO, options.audioUnit);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("pages");
  static const char* const videoNames[] = {"TrackBar1", "edVideoIn", "edVideoOut", "edVideoLen"};
  static const char* const audioNames[] = {"TrackBar2", "edAudioIn", "edAudioOut", "edAudioLen"};
  BuildPage(BE_VIDEO, videoNames);
  BuildPage(BE_AUDIO, audioNames);
  link_ = new QCheckBox("Link Audio Video", this);
  link_->setObjectName("cbLink");
  connect(link_, &QCheckBox::toggled, this, [this](bool on) { model_.SetLinkActive(on); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName("buttons");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(link_);
  layout->addWidget(buttons);
  InitControls(settings.startOnVideo);
}

void BlockDialog::BuildPage(int32_t side, const char* const names[]) {
  Page& page = pages_[side];
  page.widget = new QWidget;
  auto* layout = new QVBoxLayout(page.widget);
  page.file = new QLabel;
  layout->addWidget(page.file);
  if (side == BE_VIDEO) {
    preview_ = new QLabel;
    preview_->setObjectName("preview");
    preview_->setFixedSize(kPreviewSize);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setStyleSheet("background: black");
    layout->addWidget(preview_, 0, Qt::AlignHCenter);
  }
  page.bar = new QSlider(Qt::Horizontal);
  page.bar->setObjectName(names[0]);
  page.bar->setFocusPolicy(Qt::StrongFocus);
  layout->addWidget(page.bar);
  page.position = new QLabel;
  page.position->setObjectName(side == BE_VIDEO ? "lblVideoPos" : "lblAudioPos");
  layout->addWidget(page.position);
  connect(page.bar, &QSlider::valueChanged, this, [this, side](int value) { OnBar(side, value); });
  connect(page.bar, &QSlider::sliderReleased, this, [this, side] { OnBarReleased(side); });
  auto* grid = new QGridLayout;
  static const char* const captions[] = {"In:", "Out:", "Length:"};
  for (int32_t field = 0; field < 3; ++field) {
    grid->addWidget(new QLabel(captions[field]), field, 0);
    page.edits[field] = new QLineEdit;
    page.edits[field]->setObjectName(names[field + 1]);
    grid->addWidget(page.edits[field], field, 1);
    connect(page.edits[field], &QLineEdit::editingFinished, this, [this, side, field] { OnEdit(side, field); });
  }
  page.inPoint = new QPushButton("In Point");
  page.outPoint = new QPushButton("Out Point");
  page.view = new QPushButton("View");
  page.selectAll = new QPushButton("Select All");
  const QString prefix = side == BE_VIDEO ? "btnVideo" : "btnAudio";
  page.inPoint->setObjectName(prefix + "InPoint");
  page.outPoint->setObjectName(prefix + "OutPoint");
  page.view->setObjectName(prefix + "View");
  page.selectAll->setObjectName(prefix + "SelectAll");
  grid->addWidget(page.inPoint, 0, 2);
  grid->addWidget(page.outPoint, 1, 2);
  grid->addWidget(page.view, 2, 2);
  grid->addWidget(page.selectAll, 3, 2);
  connect(page.inPoint, &QPushButton::clicked, this, [this, side] {
    model_.SetIn(side, pages_[side].bar->value());
    OnSelection(side);
  });
  connect(page.outPoint, &QPushButton::clicked, this, [this, side] {
    model_.SetOut(side, pages_[side].bar->value());
    OnSelection(side);
  });
  connect(page.selectAll, &QPushButton::clicked, this, [this, side] {
    model_.SelectAll(side);
    OnSelection(side);
  });
  // View goes back to the in point of the selection.
  connect(page.view, &QPushButton::clicked, this,
          [this, side] { pages_[side].bar->setValue(model_.Block(side).first); });
  layout->addLayout(grid);
  if (side == BE_VIDEO) BuildVideoExtras(grid);
  if (side == BE_AUDIO) BuildAudioExtras(layout);
  tabs_->addTab(page.widget, side == BE_VIDEO ? "Video" : "Audio");
}

void BlockDialog::BuildVideoExtras(QGridLayout* grid) {
  frameBack_ = new QPushButton("<");
  frameBack_->setObjectName("btnFrameBack");
  frameFwd_ = new QPushButton(">");
  frameFwd_->setObjectName("btnFrameFwd");
  connect(frameBack_, &QPushButton::clicked, this,
          [this] { pages_[BE_VIDEO].bar->setValue(pages_[BE_VIDEO].bar->value() - 1); });
  connect(frameFwd_, &QPushButton::clicked, this,
          [this] { pages_[BE_VIDEO].bar->setValue(pages_[BE_VIDEO].bar->value() + 1); });
  grid->addWidget(frameBack_, 3, 0);
  grid->addWidget(frameFwd_, 3, 1);
  grid->addWidget(new QLabel("Frame rate:"), 4, 0);
  fps_ = new QLineEdit;
  fps_->setObjectName("edFPS");
  grid->addWidget(fps_, 4, 1);
  connect(fps_, &QLineEdit::editingFinished, this, &BlockDialog::OnFrameRate);
  fpsSelect_ = new QToolButton;
  fpsSelect_->setText("Select...");
  fpsSelect_->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(fpsSelect_);
  VList rates;
  VList_FrameRates(rates);
  for (int32_t row = 0; row < VList_GetCount(rates); ++row) {
    const double rate = VList_GetFloat(rates, row, 1, 30.0);
    connect(menu->addAction(Text(VList_GetStr(rates, row, 0, ""))), &QAction::triggered, this, [this, rate] {
      fps_->setText(Text(BlockRateText(rate)));
      ApplyFrameRate(model_.SetFrameRate(rate));
    });
  }
  VList_Free(rates);
  fpsSelect_->setMenu(menu);
  grid->addWidget(fpsSelect_, 4, 2);
}

void BlockDialog::BuildAudioExtras(QVBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  play_ = new QPushButton("Play");
  play_->setObjectName("btnPlay");
  pause_ = new QPushButton("Pause");
  pause_->setObjectName("btnPause");
  stop_ = new QPushButton("Stop");
  stop_->setObjectName("btnStop");
  for (QPushButton* button : {play_, pause_, stop_}) row->addWidget(button);
  soundNote_ = new QLabel;
  soundNote_->setObjectName("lblSound");
  row->addWidget(soundNote_, 1);
  layout->addLayout(row);
  connect(play_, &QPushButton::clicked, this, [this] { player_->Play(); });
  connect(pause_, &QPushButton::clicked, this, [this] { player_->Pause(); });
  connect(stop_, &QPushButton::clicked, this, &BlockDialog::OnStop);
}

void BlockDialog::InitControls(bool startOnVideo) {
  tabs_->setCurrentIndex(startOnVideo ? 0 : 1);
  if (!model_.Present(BE_VIDEO))
    pages_[BE_VIDEO].file->setText("No video");
  else if (OpenVideo())
    pages_[BE_VIDEO].file->setText("Video file: " + Text(model_.File(BE_VIDEO)->info.name));
  if (model_.Present(BE_AUDIO))
    OpenAudio();
  else
    pages_[BE_AUDIO].file->setText("No audio");
  link_->setEnabled(model_.Linked());
  link_->setChecked(model_.LinkActive());
  InitBar(BE_VIDEO);
  InitBar(BE_AUDIO);
  fps_->setText(Text(model_.FrameRateText()));
  WriteEdits();
  if (model_.Present(BE_VIDEO)) ShowVideo(model_.Block(BE_VIDEO).first, true);
  if (model_.Present(BE_AUDIO)) ShowAudio(model_.Block(BE_AUDIO).first);
}

bool BlockDialog::OpenVideo() {
  const QMMFileInfo* file = model_.File(BE_VIDEO);
  if (file) {
    GuardedSilent("DlgInputSettings.OpenVideo", [&] { UniOpen(video_, file->info); });
    if (!ShowLastError(file->info.name)) return true;
  }
  model_.Drop(BE_VIDEO);
  pages_[BE_VIDEO].file->setText("ERROR OPENING VIDEO FILE");
  return false;
}

void BlockDialog::OpenAudio() {
  const QMMFileInfo* file = model_.File(BE_AUDIO);
  player_ = std::make_unique<GigaHertz>([this](int32_t message) {
    QMetaObject::invokeMethod(
        this, [this, message] { OnPlayerMessage(message); }, Qt::QueuedConnection);
  });
  const bool sound = DXAAvailable();
  soundNote_->setText(sound ? QString() : "No sound output.");
  for (QPushButton* button : {play_, pause_, stop_}) button->setEnabled(sound);
  // Without an output the selection can still be edited; only a file that cannot be read is dropped.
  const bool opened = file && (sound ? player_->Open(file->info.name) : file->info.audio.hasAudio != 0);
  if (opened) {
    pages_[BE_AUDIO].file->setText("Audio file: " + Text(file->info.name));
    return;
  }
  if (file) ShowLastError(file->info.name);
  model_.Drop(BE_AUDIO);
  pages_[BE_AUDIO].file->setText("ERROR OPENING AUDIO FILE");
}

void BlockDialog::InitBar(int32_t side) {
  Page& page = pages_[side];
  const bool present = model_.Present(side);
  page.widget->setEnabled(present);
  if (!present) return;
  page.barLock = true;
  page.bar->setSingleStep(1);
  page.bar->setPageStep(std::max(int(std::lround(model_.Rate(side))), 1));
  page.bar->setRange(0, std::max(model_.FileLength(side) - 1, 0));
  page.bar->setValue(model_.Block(side).first);
  page.barLock = false;
  if (side == BE_VIDEO && model_.FileLength(side) <= 1)
    for (QWidget* w :
         {static_cast<QWidget*>(page.bar), static_cast<QWidget*>(frameBack_), static_cast<QWidget*>(frameFwd_)})
      w->setEnabled(false);
}

void BlockDialog::WriteEdits() {
  for (int32_t side : {BE_VIDEO, BE_AUDIO}) {
    if (!model_.Present(side)) continue;
    pages_[side].editLock = true;
    for (int32_t field = 0; field < 3; ++field) pages_[side].edits[field]->setText(Text(model_.FieldText(side, field)));
    pages_[side].editLock = false;
  }
}

void BlockDialog::ShowVideo(int32_t position, bool fetch) {
  const int32_t p = model_.ClampPosition(BE_VIDEO, position);
  pages_[BE_VIDEO].position->setText(Text(model_.PositionLabel(BE_VIDEO, p)));
  SetBarQuietly(pages_[BE_VIDEO], p);
  if (fetch) DrawFrame(p);
}

void BlockDialog::DrawFrame(int32_t frame) {
  Qimg img, rgb;
  GuardedSilent("DlgInputSettings.ShowFrame", [&] {
    MonSetCleanup([&] {
      ImgFree(img);
      ImgFree(rgb);
    });
    ImgCache_GetImage(model_.File(BE_VIDEO)->info, frame, img);
    if (!ErrNone() || !img.data) return;
    ImgConvBpp(img, rgb, 24);
    const QImage picture(rgb.data, rgb.width, rgb.height, rgb.width * 3, QImage::Format_BGR888);
    preview_->setPixmap(
        QPixmap::fromImage(picture.scaled(kPreviewSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  });
  ImgFree(img);
  ImgFree(rgb);
  if (!ErrNone()) ShowLastError(model_.File(BE_VIDEO)->info.name);
}

void BlockDialog::ShowAudio(int32_t position) {
  const int32_t p = model_.ClampPosition(BE_AUDIO, position);
  pages_[BE_AUDIO].position->setText(Text(model_.PositionLabel(BE_AUDIO, p)));
  SetBarQuietly(pages_[BE_AUDIO], p);
}

void BlockDialog::OnBar(int32_t side, int32_t value) {
  if (pages_[side].barLock) return;
  const bool dragging = pages_[side].bar->isSliderDown();
  if (side == BE_VIDEO) {
    ShowVideo(value, !dragging);
    videoNeedsRefresh_ = dragging;
  } else {
    ShowAudio(value);
    audioDragged_ = dragging;
    if (!dragging) SeekPlayer(value, false);
  }
  if (!model_.LinkActive()) return;
  const int32_t other = model_.Convert(side, value);
  if (side == BE_VIDEO) {
    ShowAudio(other);
    SeekPlayer(other, false);
  } else {
    ShowVideo(other, !dragging);
    videoNeedsRefresh_ = videoNeedsRefresh_ || dragging;
  }
}

// The player follows the audio bar; a running player only when the user let go of the bar.
void BlockDialog::SeekPlayer(int32_t position, bool whilePlaying) {
  if (player_ && (whilePlaying || !player_->Playing()))
    player_->Seek(double(position) / std::max(pages_[BE_AUDIO].bar->maximum(), 1));
}

void BlockDialog::OnBarReleased(int32_t side) {
  if (side == BE_AUDIO) {
    audioDragged_ = false;
    SeekPlayer(pages_[BE_AUDIO].bar->value(), true);
  }
  if (videoNeedsRefresh_ && model_.Present(BE_VIDEO)) ShowVideo(pages_[BE_VIDEO].bar->value(), true);
  videoNeedsRefresh_ = false;
}

void BlockDialog::OnEdit(int32_t side, int32_t field) {
  if (pages_[side].editLock) return;
  model_.SetField(side, field, pages_[side].edits[field]->text().toStdString());
  OnSelection(side);
}

// After a change of selection: rewrite the entries and show where the in points now stand.
void BlockDialog::OnSelection(int32_t side) {
  WriteEdits();
  if (side == BE_VIDEO || model_.LinkActive()) {
    if (model_.Present(BE_VIDEO)) ShowVideo(model_.Block(BE_VIDEO).first, true);
  }
  if ((side == BE_AUDIO || model_.LinkActive()) && model_.Present(BE_AUDIO)) {
    ShowAudio(model_.Block(BE_AUDIO).first);
    SeekPlayer(model_.Block(BE_AUDIO).first, false);
  }
}

void BlockDialog::OnFrameRate() { ApplyFrameRate(model_.SetFrameRate(fps_->text().toStdString())); }

void BlockDialog::ApplyFrameRate(bool applied) {
  fps_->setText(Text(model_.FrameRateText()));
  if (!applied) return;
  WriteEdits();
  ShowVideo(model_.Block(BE_VIDEO).first, true);
}

void BlockDialog::OnPlayerMessage(int32_t message) {
  if (!player_) return;
  if (message == GHZ_END) {
    player_->End();
    return;
  }
  player_->Refill();
  if (ShowLastError(model_.File(BE_AUDIO)->info.name)) return;
  if (!audioDragged_ && !pages_[BE_AUDIO].bar->isSliderDown())
    ShowAudio(int32_t(player_->Fraction() * pages_[BE_AUDIO].bar->maximum()));
}

void BlockDialog::OnStop() {
  player_->Pause();
  player_->Seek(0);
  ShowAudio(0);
}

void BlockDialog::DoneControls() {
  ErrLockScope keep;
  UniClose(video_);
  player_.reset();
}

}  // namespace

bool DlgInputSettings(QWidget* parent, QInputSettings& settings, const BlockDialogOptions& options) {
  InstallSoundOutput();
  BlockDialog dialog(parent, settings, options);
  if (dialog.exec() != QDialog::Accepted) return false;
  dialog.Apply();
  return true;
}

bool ShowBlockDialog(QWidget* parent, Project& project, int32_t kind, int32_t index,
                     const BlockDialogOptions& options) {
  QInputSettings settings;
  settings.videoList = &project.list.video;
  settings.audioList = &project.list.audio;
  settings.startOnVideo = kind == BLOCK_VIDEO;
  const MMBlockList& own = kind == BLOCK_VIDEO ? project.list.video : project.list.audio;
  const MMBlockList& other = kind == BLOCK_VIDEO ? project.list.audio : project.list.video;
  const MMBlockRec* block = MMBlock_GetPtrByIndex(own, index);
  if (!block) return false;
  const int32_t partner = MMBlock_GetPtrByIndex(other, block->link) ? block->link : NOT_SET;
  settings.videoIndex = kind == BLOCK_VIDEO ? index : partner;
  settings.audioIndex = kind == BLOCK_VIDEO ? partner : index;
  if (!DlgInputSettings(parent, settings, options)) return false;
  if (settings.lengthChange < 0) FnRangesDeleted(project.chain, settings.startPosition, -settings.lengthChange);
  if (settings.lengthChange > 0) FnRangesInserted(project.chain, settings.startPosition, settings.lengthChange);
  return true;
}

}  // namespace rf::ui
