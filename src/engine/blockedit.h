// The block settings of one edit-list input: in point, out point, length and frame rate of a video
// block and its audio block, the texts the dialog shows, and the link that keeps both in step.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "editlist/mmedit.h"

namespace rf {

// What the caller hands the dialog and reads back after OK.
struct QInputSettings {
  MMBlockList* videoList = nullptr;
  int32_t videoIndex = NOT_SET;
  MMBlockList* audioList = nullptr;
  int32_t audioIndex = NOT_SET;
  bool startOnVideo = true;
  int32_t startPosition = 0;  // out: output frame at which the video block starts
  int32_t lengthChange = 0;   // out: new minus old length of the video block, in frames
};

inline constexpr int32_t BE_VIDEO = 0;
inline constexpr int32_t BE_AUDIO = 1;
inline constexpr int32_t BE_IN = 0;
inline constexpr int32_t BE_OUT = 1;
inline constexpr int32_t BE_LENGTH = 2;
// Display units: 0 numbers (frames or samples, from 1), 1 times.
inline constexpr int32_t BE_UNIT_NUMBER = 0;
inline constexpr int32_t BE_UNIT_TIME = 1;
inline constexpr double BE_MIN_RATE = 0.001;
inline constexpr double BE_MAX_RATE = 1e6;

class BlockEdit {
 public:
  // Copies the blocks the record names. defaultFps stands in for a file without a usable rate.
  void Load(const QInputSettings& settings, double defaultFps);
  // Writes both blocks back, updates their lists and fills the record's output fields.
  void Apply(QInputSettings& settings) const;

  bool Present(int32_t side) const { return present_[side]; }
  // The side's file could not be opened: the dialog goes on without it.
  void Drop(int32_t side);
  const MMBlockRec& Block(int32_t side) const { return block_[side]; }
  const QMMFileInfo* File(int32_t side) const { return file_[side]; }
  int32_t FileLength(int32_t side) const { return block_[side].fileQuants; }
  double Rate(int32_t side) const { return block_[side].frequency; }
  double ReferenceRate() const { return referenceRate_; }
  void SetUnit(int32_t side, int32_t unit) { unit_[side] = unit; }

  // Both blocks name each other; the link is active when the user keeps them in step.
  bool Linked() const { return linked_; }
  bool LinkActive() const { return linkActive_; }
  void SetLinkActive(bool active) { linkActive_ = linked_ && active; }

  // The selection rules; each clamps, never rejects, and moves the linked side along.
  void SetIn(int32_t side, int32_t value);
  void SetOut(int32_t side, int32_t value);
  void SetLength(int32_t side, int32_t value);
  void SelectAll(int32_t side);
  // Reads an edit's text and applies the field's rule.
  void SetField(int32_t side, int32_t field, std::string_view text);

  std::string FieldText(int32_t side, int32_t field) const;
  // The value a field's text stands for; text left as shown keeps the current value.
  int32_t ReadField(int32_t side, int32_t field, std::string_view text) const;
  // "Time=..., Frame=n" / "Sample=n" for a position, clamped as the bar shows it.
  std::string PositionLabel(int32_t side, int32_t position) const;
  int32_t ClampPosition(int32_t side, int32_t position) const;
  // A position of one side at the same time on the other side.
  int32_t Convert(int32_t fromSide, int32_t position) const;

  // The video block's frame rate as typed: applied when it lies in range (true), else refused.
  bool SetFrameRate(std::string_view text);
  bool SetFrameRate(double rate);
  std::string FrameRateText() const;

 private:
  void Follow(int32_t side);

  bool present_[2] = {false, false};
  MMBlockRec block_[2]{};
  const QMMFileInfo* file_[2] = {nullptr, nullptr};
  int32_t unit_[2] = {BE_UNIT_NUMBER, BE_UNIT_NUMBER};
  int32_t oldVideoLength_ = 0;
  double referenceRate_ = 0;
  bool linked_ = false;
  bool linkActive_ = false;
};

// A frame rate as the entry shows it.
std::string BlockRateText(double rate);
// Seconds at a position of a rate, 0 when either is not positive.
double BlockSeconds(int32_t position, double rate);

}  // namespace rf
