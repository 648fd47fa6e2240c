// The logic of the three geometry dialogs ("Video Size Settings", "Crop", "Rotate Image") behind
// their windows: each holds the controls' contents, applies the value rules when a field is left
// and stores into the output definition only when accepted.
#pragma once

#include <cstdint>
#include <string>

#include "engine/outdef.h"

namespace rf {

struct QPstVideoRes {
  const char* name;
  int32_t width;
  int32_t height;
};
// The common resolutions the size dialog's "Select..." offers, in menu order.
inline constexpr int32_t RES_PRESET_COUNT = 13;
extern const QPstVideoRes kResolutionPresets[RES_PRESET_COUNT];

// The fixed aspect ratio and its check box outlive each dialog for as long as the program runs.
struct QFixedAspect {
  bool fixed = false;
  double ratio = 4.0 / 3.0;
};
QFixedAspect& RescaleFixedAspect();

// "Video Size Settings". The text fields hold what the user typed; the events apply the rules.
class RescaleDialog {
 public:
  explicit RescaleDialog(const OutputDef& def);

  bool automatic;
  std::string width, height, ratio, divisor;
  bool fixedAspect;
  bool resample;
  int32_t smallMode, largeMode;
  int32_t borderColor;

  // Leaving a field: the fields are read, the fixed ratio applied from the field left, the sizes
  // made divisible, and the fields rewritten with the results.
  void WidthExit();
  void HeightExit();
  void RatioExit();
  void DivisorExit();
  // A common resolution chosen from the menu (index into kResolutionPresets).
  void SelectResolution(int32_t index);
  // OK: stores the sizes, method, modes, colour and divisor, and recomputes the final size.
  void Accept(OutputDef& def);

 private:
  enum class From { Width, Height, None };
  void Read();
  void Apply(From from);
  void Write();

  int32_t srcW_, srcH_;
  int32_t w_, h_, div_;
  double ratio_;
};

// "Crop". Margins are clamped when read so that at least 4 pixels remain of the rescale size.
class CropDialog {
 public:
  explicit CropDialog(const OutputDef& def);

  std::string left, top, right, bottom;
  bool resizeBack;

  // Any margin field left: every margin is read, clamped and written back.
  void MarginExit();
  void NoCropping();
  // The resulting "Width", "Height" and "Ratio", and the check box's caption.
  int32_t ResultWidth() const;
  int32_t ResultHeight() const;
  std::string RatioText() const;
  std::string ResizeBackCaption() const;
  void Accept(OutputDef& def);

 private:
  void Write();

  int32_t W_, H_;
  int32_t l_, t_, r_, b_;
};

// "Rotate Image": four exclusive buttons.
inline constexpr int32_t ROT_BUTTON_COUNT = 4;
struct QRotateButton {
  const char* caption;
  int32_t rotation;
};
extern const QRotateButton kRotateButtons[ROT_BUTTON_COUNT];

class RotateDialog {
 public:
  explicit RotateDialog(const OutputDef& def) : rotation(def.Rotation) {}
  void Press(int32_t button) { rotation = kRotateButtons[button].rotation; }
  void Accept(OutputDef& def) const;

  int32_t rotation;
};

}  // namespace rf
