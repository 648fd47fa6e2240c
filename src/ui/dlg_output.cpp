// "Define Output": the window over the output dialog's logic.
// The value lists have a field named like a Qt keyword macro, so they come before any Qt header.
#include "editlist/valuelist.h"

#include "ui/dlg_output.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "foundation/errors.h"
#include "ui/dlg_common.h"
#include "ui/dlg_geometry.h"
#include "ui/dlg_saveopt.h"

namespace rf::ui {
namespace {

constexpr const char* kModeNames[4] = {"Video and Audio (same file)", "Video and Audio (separate files)", "Video Only",
                                       "Audio Only"};

QPushButton* Button(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* Field(QWidget* parent, const char* name, int width = 0) {
  auto* field = new QLineEdit(parent);
  field->setAccessibleName(name);
  if (width > 0) field->setMaximumWidth(width);
  return field;
}

// Sets a field's text unless the user is typing in it.
void Put(QLineEdit* field, const std::string& text) {
  if (!field->hasFocus() || !field->isModified()) field->setText(Qs(text));
}

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// The first extension of a format ("avi" of ".avi").
std::string FirstExtension(const QffDesc& desc) {
  const size_t next = desc.extensions.find('.', 1);
  return desc.extensions.substr(0, next);
}

QString FileFilter(const std::vector<QffDesc>& formats) {
  QStringList filters;
  for (const QffDesc& desc : formats) {
    QString patterns = Qs(desc.extensions).replace(".", " *.").trimmed();
    filters << Qs(desc.description) + " (" + patterns + ")";
  }
  return filters.join(";;");
}

void FillFormats(QComboBox* list, const std::vector<QffDesc>& formats) {
  for (const QffDesc& desc : formats) list->addItem(Qs(desc.description));
}

int IndexOf(const std::vector<QffDesc>& formats, int32_t id) {
  for (size_t i = 0; i < formats.size(); ++i)
    if (formats[i].id == id) return int(i);
  return -1;
}

}  // namespace

TfrmOutput::TfrmOutput(OutputDef& def, const QImage& preview, QWidget* parent)
    : QDialog(parent),
      def_(def),
      model_(def),
      preview_(preview),
      videoFormats_(VListPopulateFormats(FFF_PICTURES)),
      audioFormats_(VListPopulateFormats(FFF_SOUND)) {
  setWindowTitle("Define Output");
  auto* layout = new QVBoxLayout(this);
  auto* tabs = new QTabWidget(this);
  tabs->addTab(FilesTab(), "Files");
  tabs->addTab(VideoTab(), "Video");
  tabs->addTab(AudioTab(), "Audio");
  layout->addWidget(tabs);
  AddOkCancel(this, layout);
  Show();
}

QWidget* TfrmOutput::FilesTab() {
  auto* tab = new QWidget;
  auto* column = new QVBoxLayout(tab);
  auto* modes = new QGroupBox("Output", tab);
  auto* modeColumn = new QVBoxLayout(modes);
  chkOutMode_ = new QButtonGroup(this);
  for (int mode = 0; mode < 4; ++mode) {
    auto* button = new QRadioButton(kModeNames[mode], modes);
    chkOutMode_->addButton(button, mode);
    modeColumn->addWidget(button);
  }
  column->addWidget(modes);
  const auto fileBox = [&](const char* title, QLineEdit*& edit, QPushButton*& browse, QComboBox*& list,
                           const std::vector<QffDesc>& formats, bool video) {
    auto* box = new QGroupBox(title, tab);
    auto* grid = new QGridLayout(box);
    edit = Field(box, title);
    browse = Button("Browse...", box);
    browse->setAccessibleName(QString("Browse for the ") + title);
    list = new QComboBox(box);
    list->setAccessibleName(QString(title) + " type");
    FillFormats(list, formats);
    grid->addWidget(edit, 0, 0);
    grid->addWidget(browse, 0, 1);
    grid->addWidget(list, 1, 0, 1, 2);
    column->addWidget(box);
    connect(edit, &QLineEdit::editingFinished, this, [this] {
      TakeTexts();
      Show();
    });
    connect(browse, &QPushButton::clicked, this, [this, video] { Browse(video); });
    connect(list, &QComboBox::activated, this, [this, video](int index) { ChooseFormat(video, index); });
  };
  fileBox("Video file", edVidFile_, btnVidBrowse_, lstVideoExt_, videoFormats_, true);
  fileBox("Audio file", edAudFile_, btnAudBrowse_, lstAudioExt_, audioFormats_, false);
  column->addStretch();
  connect(chkOutMode_, &QButtonGroup::idClicked, this, [this](int mode) {
    model_.SetOutMode(mode);
    Show();
  });
  return tab;
}

QWidget* TfrmOutput::VideoTab() {
  auto* tab = new QWidget;
  auto* column = new QVBoxLayout(tab);
  auto* rate = new QGroupBox("Frame Rate", tab);
  auto* rateGrid = new QGridLayout(rate);
  edFPS_ = Field(rate, "Frames per second", 110);
  auto* btnSelFPS = Button("Select...", rate);
  btnSelFPS->setAccessibleName("Select a frame rate");
  chkAutoFPS_ = new QCheckBox("Automatic", rate);
  chkKeepDuration_ = new QCheckBox("Keep Original Duration", rate);
  rateGrid->addWidget(edFPS_, 0, 0);
  rateGrid->addWidget(new QLabel("fps", rate), 0, 1);
  rateGrid->addWidget(btnSelFPS, 0, 2);
  rateGrid->addWidget(chkAutoFPS_, 0, 3);
  rateGrid->addWidget(chkKeepDuration_, 1, 0, 1, 4);
  column->addWidget(rate);

  auto* size = new QGroupBox("Size", tab);
  auto* sizeGrid = new QGridLayout(size);
  auto* btnRescale = Button("&Rescale...", size);
  auto* btnCrop = Button("&Crop...", size);
  auto* btnRotate = Button("Ro&tate...", size);
  labResolution_ = new QLabel(size);
  labCrop_ = new QLabel(size);
  labRotation_ = new QLabel(size);
  labFinalSize_ = new QLabel(size);
  sizeGrid->addWidget(btnRescale, 0, 0);
  sizeGrid->addWidget(labResolution_, 0, 1);
  sizeGrid->addWidget(btnCrop, 1, 0);
  sizeGrid->addWidget(labCrop_, 1, 1);
  sizeGrid->addWidget(btnRotate, 2, 0);
  sizeGrid->addWidget(labRotation_, 2, 1);
  sizeGrid->addWidget(labFinalSize_, 3, 0, 1, 2);
  column->addWidget(size);

  auto* colours = new QGroupBox("Colors", tab);
  auto* colourGrid = new QGridLayout(colours);
  edColorDepth_ = Field(colours, "Color depth");
  edColorDepth_->setReadOnly(true);
  auto* btnSelColorDepth = Button("Select...", colours);
  btnSelColorDepth->setAccessibleName("Select a color depth");
  chkGrayscale_ = new QCheckBox("&Grayscale", colours);
  chkDither_ = new QCheckBox("D&ither", colours);
  chkSinglePal_ = new QCheckBox("Single &Palette", colours);
  colourGrid->addWidget(edColorDepth_, 0, 0, 1, 2);
  colourGrid->addWidget(btnSelColorDepth, 0, 2);
  colourGrid->addWidget(chkGrayscale_, 1, 0);
  colourGrid->addWidget(chkDither_, 1, 1);
  colourGrid->addWidget(chkSinglePal_, 1, 2);
  column->addWidget(colours);
  chkBackwards_ = new QCheckBox("Save &Backwards", tab);
  column->addWidget(chkBackwards_);
  auto* codec = new QGroupBox("Format", tab);
  auto* codecRow = new QHBoxLayout(codec);
  labVideoCodec_ = new QLabel(codec);
  auto* btnVideoCodec = Button("&Format Options...", codec);
  codecRow->addWidget(labVideoCodec_, 1);
  codecRow->addWidget(btnVideoCodec);
  column->addWidget(codec);
  column->addStretch();

  connect(edFPS_, &QLineEdit::editingFinished, this, [this] {
    TakeTexts();
    Show();
  });
  connect(btnSelFPS, &QPushButton::clicked, this, [this, btnSelFPS] {
    VList rates;
    VList_FrameRates(rates);
    QStringList names;
    std::vector<double> values;
    for (int32_t i = 0; i < VList_GetCount(rates); ++i) {
      names << Qs(VList_GetStr(rates, i, 0, ""));
      values.push_back(VList_GetFloat(rates, i, 1, 0));
    }
    VList_Free(rates);
    Popup(btnSelFPS, names, [this, values](int i) { model_.SetFPSText(Number(values[size_t(i)])); });
  });
  connect(btnSelColorDepth, &QPushButton::clicked, this, [this, btnSelColorDepth] {
    const std::vector<QDepthChoice> choices = model_.DepthChoices();
    QStringList names;
    for (const QDepthChoice& c : choices) names << c.text;
    Popup(btnSelColorDepth, names, [this, choices](int i) { model_.SetDepth(choices[size_t(i)].bits); });
  });
  const std::pair<QCheckBox*, void (OutputDialog::*)(bool)> toggles[] = {
      {chkAutoFPS_, &OutputDialog::SetAutoFPS},         {chkKeepDuration_, &OutputDialog::SetKeepDuration},
      {chkGrayscale_, &OutputDialog::SetGrayscale},     {chkDither_, &OutputDialog::SetDither},
      {chkSinglePal_, &OutputDialog::SetSinglePalette}, {chkBackwards_, &OutputDialog::SetBackwards}};
  for (const auto& [box, setter] : toggles)
    connect(box, &QCheckBox::toggled, this, [this, setter](bool on) {
      if (showing_) return;
      (model_.*setter)(on);
      Show();
    });
  connect(btnRescale, &QPushButton::clicked, this, [this] {
    DlgRescale dialog(model_.Geometry(), this);
    dialog.exec();
    Show();
  });
  connect(btnCrop, &QPushButton::clicked, this, [this] {
    DlgCrop dialog(model_.Geometry(), preview_, this);
    dialog.exec();
    Show();
  });
  connect(btnRotate, &QPushButton::clicked, this, [this] {
    DlgRotate dialog(model_.Geometry(), this);
    dialog.exec();
    Show();
  });
  connect(btnVideoCodec, &QPushButton::clicked, this, &TfrmOutput::FormatOptions);
  ChainTabOrder({edFPS_, btnSelFPS, chkAutoFPS_, chkKeepDuration_, btnRescale, btnCrop, btnRotate, edColorDepth_,
                 btnSelColorDepth, chkGrayscale_, chkDither_, chkSinglePal_, chkBackwards_, btnVideoCodec});
  return tab;
}

QWidget* TfrmOutput::AudioTab() {
  auto* tab = new QWidget;
  auto* column = new QVBoxLayout(tab);
  auto* btnAudioPresets = Button("Standard Audio Formats...", tab);
  column->addWidget(btnAudioPresets, 0, Qt::AlignLeft);
  auto* grid = new QGridLayout;
  edAudioRate_ = Field(tab, "Sample rate", 110);
  auto* btnSelAudioRate = Button("Select...", tab);
  btnSelAudioRate->setAccessibleName("Select a sample rate");
  chkAutoFreq_ = new QCheckBox("Automatic", tab);
  chkAutoFreq_->setAccessibleName("Automatic sample rate");
  grid->addWidget(new QLabel("Sample rate", tab), 0, 0);
  grid->addWidget(edAudioRate_, 0, 1);
  grid->addWidget(new QLabel("Hz", tab), 0, 2);
  grid->addWidget(btnSelAudioRate, 0, 3);
  grid->addWidget(chkAutoFreq_, 0, 4);
  radAudioStereo_ = new QRadioButton("Stereo", tab);
  radAudioMono_ = new QRadioButton("Mono", tab);
  chkAutoChan_ = new QCheckBox("Automatic", tab);
  chkAutoChan_->setAccessibleName("Automatic channels");
  auto* channels = new QButtonGroup(this);
  channels->addButton(radAudioStereo_);
  channels->addButton(radAudioMono_);
  grid->addWidget(new QLabel("Channels", tab), 1, 0);
  grid->addWidget(radAudioStereo_, 1, 1);
  grid->addWidget(radAudioMono_, 1, 2, 1, 2);
  grid->addWidget(chkAutoChan_, 1, 4);
  radAudio16bit_ = new QRadioButton("16-bit", tab);
  radAudio8bit_ = new QRadioButton("8-bit", tab);
  chkAutoBits_ = new QCheckBox("Automatic", tab);
  chkAutoBits_->setAccessibleName("Automatic bits");
  auto* bits = new QButtonGroup(this);
  bits->addButton(radAudio16bit_);
  bits->addButton(radAudio8bit_);
  grid->addWidget(new QLabel("Bits", tab), 2, 0);
  grid->addWidget(radAudio16bit_, 2, 1);
  grid->addWidget(radAudio8bit_, 2, 2, 1, 2);
  grid->addWidget(chkAutoBits_, 2, 4);
  edInter_ = Field(tab, "Interleave every, frames", 110);
  chkAutoInter_ = new QCheckBox("Automatic", tab);
  chkAutoInter_->setAccessibleName("Automatic interleave");
  grid->addWidget(new QLabel("Every", tab), 3, 0);
  grid->addWidget(edInter_, 3, 1);
  grid->addWidget(new QLabel("frame(s)", tab), 3, 2, 1, 2);
  grid->addWidget(chkAutoInter_, 3, 4);
  column->addLayout(grid);
  column->addStretch();

  connect(btnAudioPresets, &QPushButton::clicked, this, [this, btnAudioPresets] {
    VList presets;
    VList_AudioPresets(presets);
    QStringList names;
    for (int32_t i = 0; i < VList_GetCount(presets); ++i) names << Qs(VList_GetStr(presets, i, 0, ""));
    VList_Free(presets);
    Popup(btnAudioPresets, names, [this](int i) { model_.ApplyAudioPreset(i); });
  });
  connect(btnSelAudioRate, &QPushButton::clicked, this, [this, btnSelAudioRate] {
    VList rates;
    VList_SampleRates(rates);
    QStringList names;
    std::vector<int32_t> values;
    for (int32_t i = 0; i < VList_GetCount(rates); ++i) {
      names << Qs(VList_GetStr(rates, i, 0, ""));
      values.push_back(VList_GetInt(rates, i, 1, 44100));
    }
    VList_Free(rates);
    Popup(btnSelAudioRate, names,
          [this, values](int i) { model_.SetAudioRateText(std::to_string(values[size_t(i)])); });
  });
  for (QLineEdit* field : {edAudioRate_, edInter_})
    connect(field, &QLineEdit::editingFinished, this, [this] {
      TakeTexts();
      Show();
    });
  const std::pair<QAbstractButton*, std::function<void(bool)>> toggles[] = {
      {chkAutoFreq_, [this](bool on) { model_.SetAutoRate(on); }},
      {chkAutoChan_, [this](bool on) { model_.SetAutoChannels(on); }},
      {chkAutoBits_, [this](bool on) { model_.SetAutoBits(on); }},
      {chkAutoInter_, [this](bool on) { model_.SetAutoInterleave(on); }},
      {radAudioStereo_, [this](bool on) { model_.SetStereo(on); }},
      {radAudio16bit_, [this](bool on) { model_.Set16Bit(on); }}};
  for (const auto& [box, setter] : toggles)
    connect(box, &QAbstractButton::toggled, this, [this, setter](bool on) {
      if (showing_) return;
      setter(on);
      Show();
    });
  ChainTabOrder({btnAudioPresets, edAudioRate_, btnSelAudioRate, chkAutoFreq_, radAudioStereo_, radAudioMono_,
                 chkAutoChan_, radAudio16bit_, radAudio8bit_, chkAutoBits_, edInter_, chkAutoInter_});
  return tab;
}

// What the user typed into the text fields, into the model; untouched fields are left alone so
// that a value shown rounded is not read back rounded.
void TfrmOutput::TakeTexts() {
  const std::pair<QLineEdit*, std::function<void(const std::string&)>> fields[] = {
      {edVidFile_, [this](const std::string& t) { model_.SetVideoFile(t); }},
      {edAudFile_, [this](const std::string& t) { model_.SetAudioFile(t); }},
      {edFPS_, [this](const std::string& t) { model_.SetFPSText(t); }},
      {edAudioRate_, [this](const std::string& t) { model_.SetAudioRateText(t); }},
      {edInter_, [this](const std::string& t) { model_.SetInterleaveText(t); }}};
  for (const auto& [field, setter] : fields) {
    if (!field->isModified()) continue;
    setter(Ss(field->text()));
    field->setModified(false);
  }
}

void TfrmOutput::Show() {
  showing_ = true;
  ShowFiles();
  ShowVideo();
  ShowAudio();
  showing_ = false;
}

void TfrmOutput::ShowFiles() {
  const OutputDef& e = model_.Edit();
  if (QAbstractButton* mode = chkOutMode_->button(e.OutMode)) mode->setChecked(true);
  Put(edVidFile_, OutVideoFile(e));
  Put(edAudFile_, OutAudioFile(e));
  lstVideoExt_->setCurrentIndex(IndexOf(videoFormats_, e.VideoFormat));
  lstAudioExt_->setCurrentIndex(IndexOf(audioFormats_, e.AudioFormat));
  for (QWidget* w : std::initializer_list<QWidget*>{edVidFile_, btnVidBrowse_, lstVideoExt_})
    w->setEnabled(model_.VideoNameEnabled());
  for (QWidget* w : std::initializer_list<QWidget*>{edAudFile_, btnAudBrowse_, lstAudioExt_})
    w->setEnabled(model_.AudioNameEnabled());
}

void TfrmOutput::ShowVideo() {
  const OutputDef& e = model_.Edit();
  Put(edFPS_, Number(e.FPS));
  chkAutoFPS_->setChecked(e.AutoFPS != 0);
  chkKeepDuration_->setChecked(e.KeepDuration != 0);
  labResolution_->setText(Qs(model_.ResolutionLabel()));
  labCrop_->setText(Qs(OutCropText(e)));
  labRotation_->setText(Qs(OutRotationText(e.Rotation)));
  labFinalSize_->setText(Qs(OutFinalSizeText(e)));
  chkGrayscale_->setChecked(e.Grayscale != 0);
  chkDither_->setChecked(e.Dither != 0);
  chkSinglePal_->setChecked(e.SinglePalette != 0);
  edColorDepth_->setText(QString("%1-bit").arg(e.Depth));
  for (const QDepthChoice& c : model_.DepthChoices())
    if (c.bits == e.Depth) edColorDepth_->setText(c.text);
  chkBackwards_->setChecked(e.Direction == -1);
  labVideoCodec_->setText(Qs(model_.VideoCodecLabel()));
}

void TfrmOutput::ShowAudio() {
  const OutputDef& e = model_.Edit();
  Put(edAudioRate_, std::to_string(e.WaveFormat.samplesPerSec));
  chkAutoFreq_->setChecked(e.AutoRate != 0);
  (e.WaveFormat.channels == 2 ? radAudioStereo_ : radAudioMono_)->setChecked(true);
  chkAutoChan_->setChecked(e.AutoChannels != 0);
  (e.WaveFormat.bitsPerSample == 16 ? radAudio16bit_ : radAudio8bit_)->setChecked(true);
  chkAutoBits_->setChecked(e.AutoBits != 0);
  Put(edInter_, std::to_string(e.Interleave));
  chkAutoInter_->setChecked(e.AutoInterleave != 0);
}

void TfrmOutput::Popup(QPushButton* button, const QStringList& texts, const std::function<void(int)>& chosen) {
  QMenu menu(button);
  for (int i = 0; i < texts.size(); ++i) menu.addAction(texts[i])->setData(i);
  if (QAction* action = menu.exec(button->mapToGlobal(QPoint(0, button->height())))) {
    TakeTexts();
    chosen(action->data().toInt());
    Show();
  }
}

void TfrmOutput::Browse(bool video) {
  TakeTexts();
  const OutputDef& e = model_.Edit();
  const QString name = QFileDialog::getSaveFileName(this, video ? "Select Output File" : "Select Output Audio File",
                                                    Qs(video ? OutVideoFile(e) : OutAudioFile(e)),
                                                    FileFilter(video ? videoFormats_ : audioFormats_));
  if (name.isEmpty()) return;
  if (video)
    model_.SetVideoFile(Ss(name));
  else
    model_.SetAudioFile(Ss(name));
  Show();
}

// A format picked from the list gives the file name its extension.
void TfrmOutput::ChooseFormat(bool video, int index) {
  const std::vector<QffDesc>& formats = video ? videoFormats_ : audioFormats_;
  if (index < 0 || index >= int(formats.size())) return;
  TakeTexts();
  const OutputDef& e = model_.Edit();
  std::string name = video ? OutVideoFile(e) : OutAudioFile(e);
  const size_t slash = name.rfind('/'), dot = name.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
  if (name.empty() || name.back() == '/') name += "output";
  name += FirstExtension(formats[size_t(index)]);
  if (video)
    model_.SetVideoFile(name);
  else
    model_.SetAudioFile(name);
  Show();
}

void TfrmOutput::FormatOptions() {
  TakeTexts();
  OutputDef& e = model_.Geometry();
  if (e.VideoFormat == FF_AUTO) return;
  QffSaveOpt opts = e.VideoSaveOpt;
  if (opts.format != e.VideoFormat) FFSaveSetFormat(opts, e.VideoFormat);
  QtSaveOptionDialogs dialogs(this);
  if (FFSaveDlg(opts, e.FinalWidth, e.FinalHeight, e.Depth, dialogs)) e.VideoSaveOpt = opts;
  Show();
}

void TfrmOutput::accept() {
  TakeTexts();
  for (const std::string& warning : model_.Accept(def_)) ShowWarningBox(warning);
  QDialog::accept();
}

}  // namespace rf::ui
