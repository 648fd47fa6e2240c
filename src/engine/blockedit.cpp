// The rules of the block settings: clamped selections, the texts of the edits in frames, samples
// or times, the conversion between video and audio positions and the write-back into the lists.
#include "engine/blockedit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "foundation/miscprocs.h"

namespace rf {
namespace {

constexpr int32_t kTimeFlags = SEC_LIST;

int32_t Clamp(int64_t value, int32_t low, int32_t high) {
  return int32_t(std::clamp<int64_t>(value, low, std::max(low, high)));
}

int32_t Length(const MMBlockRec& block) { return block.last - block.first + 1; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The integer typed, or fallback when the text holds none.
int64_t ParseInteger(std::string_view text, int64_t fallback) {
  text = Trim(text);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() ? value : fallback;
}

}  // namespace

std::string BlockRateText(double rate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", rate);
  return text;
}

double BlockSeconds(int32_t position, double rate) { return position > 0 && rate > 0 ? position / rate : 0; }

void BlockEdit::Load(const QInputSettings& settings, double defaultFps) {
  *this = BlockEdit{};
  const MMBlockList* lists[2] = {settings.videoList, settings.audioList};
  const int32_t indexes[2] = {settings.videoIndex, settings.audioIndex};
  for (int32_t side : {BE_VIDEO, BE_AUDIO}) {
    const MMBlockRec* block = lists[side] ? MMBlock_GetPtrByIndex(*lists[side], indexes[side]) : nullptr;
    if (!block) continue;
    present_[side] = true;
    block_[side] = *block;
    if (lists[side]->files) file_[side] = MMFile_GetPtrByIndex(*lists[side]->files, block->file);
  }
  if (present_[BE_VIDEO]) {
    oldVideoLength_ = Length(block_[BE_VIDEO]);
    block_[BE_VIDEO].frequency = std::clamp(block_[BE_VIDEO].frequency, BE_MIN_RATE, BE_MAX_RATE);
  }
  const double native = file_[BE_VIDEO] ? file_[BE_VIDEO]->info.video.frameRate : 0;
  referenceRate_ = native >= BE_MIN_RATE && native <= BE_MAX_RATE ? native : defaultFps;
  linked_ = present_[BE_VIDEO] && present_[BE_AUDIO] && block_[BE_VIDEO].link == settings.audioIndex &&
            block_[BE_AUDIO].link == settings.videoIndex;
  linkActive_ = linked_ && block_[BE_VIDEO].linked && block_[BE_AUDIO].linked;
}

void BlockEdit::Apply(QInputSettings& settings) const {
  MMBlockList* lists[2] = {settings.videoList, settings.audioList};
  const int32_t indexes[2] = {settings.videoIndex, settings.audioIndex};
  for (int32_t side : {BE_VIDEO, BE_AUDIO}) {
    MMBlockRec* target = lists[side] ? MMBlock_GetPtrByIndex(*lists[side], indexes[side]) : nullptr;
    if (!target || !present_[side]) continue;
    MMBlockRec block = block_[side];
    if (linked_) block.linked = linkActive_ ? RF_TRUE : RF_FALSE;
    *target = block;
    MMBlock_Update(*lists[side], indexes[side]);
  }
  settings.startPosition = 0;
  settings.lengthChange = 0;
  if (present_[BE_VIDEO] && lists[BE_VIDEO]) {
    settings.startPosition = int32_t(MMBlock_GetFirstItem(*lists[BE_VIDEO], indexes[BE_VIDEO], MM_BY_QUANT));
    settings.lengthChange = Length(block_[BE_VIDEO]) - oldVideoLength_;
  }
}

void BlockEdit::Drop(int32_t side) {
  present_[side] = false;
  linked_ = linkActive_ = false;
}

void BlockEdit::SetIn(int32_t side, int32_t value) {
  MMBlockRec& b = block_[side];
  b.first = Clamp(value, 0, b.fileQuants - 1);
  b.last = Clamp(b.last, b.first, b.fileQuants - 1);
  Follow(side);
}

void BlockEdit::SetOut(int32_t side, int32_t value) {
  MMBlockRec& b = block_[side];
  b.last = Clamp(value, 0, b.fileQuants - 1);
  b.first = Clamp(b.first, 0, b.last);
  Follow(side);
}

void BlockEdit::SetLength(int32_t side, int32_t value) {
  MMBlockRec& b = block_[side];
  // A length below one unit would leave the out point before the in point.
  const int64_t length = std::max<int64_t>(value, 1);
  int64_t last = b.first + length - 1;
  if (last >= b.fileQuants) {
    last = b.fileQuants - 1;
    b.first = Clamp(b.fileQuants - length, 0, b.fileQuants - 1);
  }
  b.last = int32_t(last);
  Follow(side);
}

void BlockEdit::SelectAll(int32_t side) {
  SetIn(side, 0);
  SetLength(side, FileLength(side));
}

void BlockEdit::Follow(int32_t side) {
  const int32_t other = 1 - side;
  if (!linkActive_ || !present_[other]) return;
  MMBlockRec& o = block_[other];
  o.first = Clamp(Convert(side, block_[side].first), 0, o.fileQuants - 1);
  o.last = Clamp(Convert(side, block_[side].last), 0, o.fileQuants - 1);
}

int32_t BlockEdit::Convert(int32_t fromSide, int32_t position) const {
  const double audioRate = block_[BE_AUDIO].frequency;
  if (position <= 0 || audioRate <= 0 || referenceRate_ <= 0) return 0;
  const double factor = fromSide == BE_VIDEO ? audioRate / referenceRate_ : referenceRate_ / audioRate;
  return Clamp(int64_t(std::trunc(position * factor)), 0, INT32_MAX);
}

void BlockEdit::SetField(int32_t side, int32_t field, std::string_view text) {
  const int32_t value = ReadField(side, field, text);
  if (value == NOT_SET) return;
  if (field == BE_IN)
    SetIn(side, value);
  else if (field == BE_OUT)
    SetOut(side, value);
  else
    SetLength(side, value);
}

std::string BlockEdit::FieldText(int32_t side, int32_t field) const {
  const MMBlockRec& b = block_[side];
  const int32_t values[3] = {b.first + 1, b.last + 1, Length(b)};
  if (unit_[side] == BE_UNIT_NUMBER) return std::to_string(values[field]);
  // In times the out point shows where its last unit ends.
  const int32_t positions[3] = {b.first, b.last + 1, Length(b)};
  return SecToStr(kTimeFlags, BlockSeconds(positions[field], b.frequency));
}

int32_t BlockEdit::ReadField(int32_t side, int32_t field, std::string_view text) const {
  const MMBlockRec& b = block_[side];
  const int32_t current[3] = {b.first, b.last, Length(b)};
  // Times are shown rounded, so reading back an untouched entry must not move the point.
  if (Trim(text) == FieldText(side, field)) return current[field];
  const int32_t shift = field == BE_LENGTH ? 0 : 1;
  if (unit_[side] == BE_UNIT_NUMBER) {
    const int64_t typed = ParseInteger(text, int64_t(current[field]) + shift);
    return Clamp(typed - shift, INT32_MIN + 1, INT32_MAX);
  }
  if (unit_[side] != BE_UNIT_TIME) return NOT_SET;
  const int32_t shown = field == BE_OUT ? b.last + 1 : current[field];
  const double seconds = StrToSec(text, BlockSeconds(shown, b.frequency));
  const int64_t units = seconds > 0 && b.frequency > 0 ? int64_t(std::trunc(seconds * b.frequency)) : 0;
  return Clamp(units - (field == BE_OUT ? 1 : 0), INT32_MIN + 1, INT32_MAX);
}

int32_t BlockEdit::ClampPosition(int32_t side, int32_t position) const {
  // The audio bar may stand just past the last sample: the end of the sound.
  const int32_t last = side == BE_VIDEO ? FileLength(side) - 1 : FileLength(side);
  return Clamp(position, 0, last);
}

std::string BlockEdit::PositionLabel(int32_t side, int32_t position) const {
  const int32_t p = ClampPosition(side, position);
  return "Time=" + SecToStr(kTimeFlags, BlockSeconds(p, Rate(side))) + (side == BE_VIDEO ? ",  Frame=" : ",  Sample=") +
         std::to_string(int64_t(p) + 1);
}

bool BlockEdit::SetFrameRate(std::string_view text) {
  const std::string typed(Trim(text));
  char* end = nullptr;
  double rate = std::strtod(typed.c_str(), &end);
  if (typed.empty() || end != typed.c_str() + typed.size()) rate = Rate(BE_VIDEO);
  return SetFrameRate(rate);
}

bool BlockEdit::SetFrameRate(double rate) {
  if (std::clamp(rate, BE_MIN_RATE, BE_MAX_RATE) != rate) return false;
  block_[BE_VIDEO].frequency = rate;
  return true;
}

std::string BlockEdit::FrameRateText() const { return BlockRateText(Rate(BE_VIDEO)); }

}  // namespace rf
