// The logic of the "Video Size Settings", "Crop" and "Rotate Image" dialogs.
#include "engine/geodlg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/miscprocs.h"

namespace rf {

const QPstVideoRes kResolutionPresets[RES_PRESET_COUNT] = {
    {"VGA 320 x 200", 320, 200},
    {"VGA 320 x 240", 320, 240},
    {"VGA 640 x 480", 640, 480},
    {"VGA 800 x 600", 800, 600},
    {"VGA 1024 x 768", 1024, 768},
    {"DV 704 x 480 (NTSC)", 704, 480},
    {"DV 704 x 576 (PAL)", 704, 576},
    {"DV 768 x 480 (NTSC)", 768, 480},
    {"DV 768 x 576 (PAL)", 768, 576},
    {"MPEG-1/VideoCD 352 x 240 (NTSC)", 352, 240},
    {"MPEG-1/VideoCD 352 x 288 (PAL)", 352, 288},
    {"DVD 720 x 480 (NTSC)", 720, 480},
    {"DVD 720 x 576 (PAL)", 720, 576},
};

const QRotateButton kRotateButtons[ROT_BUTTON_COUNT] = {
    {"No rotation", 0}, {"90 degrees", 1}, {"-90 degrees", 3}, {"180 degrees", 2}};

namespace {

constexpr int32_t kMaxDivisor = 256;
constexpr double kMinRatio = 1.0 / 4096, kMaxRatio = 4096;

int32_t ClampSide(double v) { return int32_t(std::clamp(v, double(OUT_MIN_SIDE), double(OUT_MAX_SIDE))); }

// A side made divisible, but never below the smallest multiple that still is a usable side.
int32_t DivisibleSide(int32_t value, int32_t divisor) {
  const int32_t v = DivisibleInt(value, divisor);
  return v >= OUT_MIN_SIDE ? v : (OUT_MIN_SIDE + divisor - 1) / divisor * divisor;
}

std::string FloatText(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

}  // namespace

QFixedAspect& RescaleFixedAspect() {
  static QFixedAspect aspect;
  return aspect;
}

RescaleDialog::RescaleDialog(const OutputDef& def)
    : automatic(def.AutoSize != 0),
      fixedAspect(RescaleFixedAspect().fixed),
      resample(def.Filter == 1),
      smallMode(def.SmallMode),
      largeMode(def.LargeMode),
      borderColor(def.BorderColor),
      srcW_(def.SrcWidth),
      srcH_(def.SrcHeight),
      w_(def.Width),
      h_(def.Height),
      div_(std::clamp(def.DivisibleBy, 1, kMaxDivisor)),
      ratio_(RescaleFixedAspect().ratio) {
  Write();
}

void RescaleDialog::Read() {
  if (automatic) {
    w_ = srcW_;
    h_ = srcH_;
  } else {
    OutParseInt(width, w_);
    OutParseInt(height, h_);
  }
  w_ = ClampSide(w_);
  h_ = ClampSide(h_);
  if (OutParseFloat(ratio, ratio_) && ratio_ > 0)
    ratio_ = std::clamp(ratio_, kMinRatio, kMaxRatio);
  else
    ratio_ = double(w_) / h_;
  OutParseInt(divisor, div_);
  div_ = std::clamp(div_, 1, kMaxDivisor);
}

void RescaleDialog::Apply(From from) {
  if (automatic) return;
  if (fixedAspect && from == From::Width) h_ = ClampSide(std::nearbyint(w_ / ratio_));
  if (fixedAspect && from == From::Height) w_ = ClampSide(std::nearbyint(h_ * ratio_));
  w_ = DivisibleSide(w_, div_);
  h_ = DivisibleSide(h_, div_);
}

void RescaleDialog::Write() {
  width = std::to_string(w_);
  height = std::to_string(h_);
  ratio = FloatText(ratio_);
  divisor = std::to_string(div_);
}

void RescaleDialog::WidthExit() {
  Read();
  Apply(From::Width);
  Write();
}

void RescaleDialog::HeightExit() {
  Read();
  Apply(From::Height);
  Write();
}

void RescaleDialog::RatioExit() { WidthExit(); }

void RescaleDialog::DivisorExit() {
  Read();
  Apply(From::None);
  Write();
}

void RescaleDialog::SelectResolution(int32_t index) {
  if (index < 0 || index >= RES_PRESET_COUNT) return;
  automatic = false;
  Read();
  w_ = kResolutionPresets[index].width;
  h_ = kResolutionPresets[index].height;
  ratio_ = double(w_) / h_;
  Apply(From::Width);
  Write();
}

void RescaleDialog::Accept(OutputDef& def) {
  Read();
  Apply(From::None);
  Write();
  def.AutoSize = OutBool(automatic);
  def.Width = w_;
  def.Height = h_;
  def.Filter = resample ? 1 : 0;
  def.SmallMode = std::clamp(smallMode, SM_STRETCH, SM_CENTER);
  def.LargeMode = std::clamp(largeMode, SM_STRETCH, SM_CENTER);
  def.BorderColor = borderColor & 0xFFFFFF;
  def.DivisibleBy = div_;
  RescaleFixedAspect() = {fixedAspect, ratio_};
  OutCalcFinalSize(def);
}

CropDialog::CropDialog(const OutputDef& def)
    : resizeBack(def.ResizeBack != 0),
      W_(def.Width),
      H_(def.Height),
      l_(def.CropLeft),
      t_(def.CropTop),
      r_(def.CropRight),
      b_(def.CropBottom) {
  MarginExit();
}

void CropDialog::MarginExit() {
  OutParseInt(left, l_);
  OutParseInt(top, t_);
  OutParseInt(right, r_);
  OutParseInt(bottom, b_);
  const int32_t spareW = std::max(W_ - OUT_MIN_SIDE, 0), spareH = std::max(H_ - OUT_MIN_SIDE, 0);
  l_ = std::clamp(l_, 0, spareW);
  r_ = std::clamp(r_, 0, spareW - l_);
  t_ = std::clamp(t_, 0, spareH);
  b_ = std::clamp(b_, 0, spareH - t_);
  Write();
}

void CropDialog::NoCropping() {
  l_ = t_ = r_ = b_ = 0;
  Write();
}

void CropDialog::Write() {
  left = std::to_string(l_);
  top = std::to_string(t_);
  right = std::to_string(r_);
  bottom = std::to_string(b_);
}

int32_t CropDialog::ResultWidth() const { return W_ - l_ - r_; }
int32_t CropDialog::ResultHeight() const { return H_ - t_ - b_; }

std::string CropDialog::RatioText() const {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", double(ResultWidth()) / std::max(ResultHeight(), 1));
  return text;
}

std::string CropDialog::ResizeBackCaption() const { return "Resize back to " + ResolutionToText(W_, H_); }

void CropDialog::Accept(OutputDef& def) {
  MarginExit();
  def.CropLeft = l_;
  def.CropTop = t_;
  def.CropRight = r_;
  def.CropBottom = b_;
  def.ResizeBack = OutBool(resizeBack);
  OutCalcFinalSize(def);
}

void RotateDialog::Accept(OutputDef& def) const {
  def.Rotation = rotation;
  OutCalcFinalSize(def);
}

}  // namespace rf
