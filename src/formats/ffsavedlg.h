// The format options dialogs of an output without their windows: which choices each format
// offers, and how the answers land in the save options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "effects/fndialog.h"
#include "formats/ffsaveopt.h"

namespace rf {

struct FFChoiceItem {
  std::string text;
  int32_t value;
};

// The windows behind the options dialogs; the desktop program shows real ones, the command line
// and the tests answer directly. Each returns true when the user confirmed.
class SaveOptionDialogs {
 public:
  virtual ~SaveOptionDialogs() = default;
  // A titled list of choices; value holds the current choice and receives the chosen one.
  virtual bool Choice(const std::string& title, const std::vector<FFChoiceItem>& items, int32_t& value) = 0;
  // The one-value slider dialog of the effects; data.values[0] receives the value.
  virtual bool Value(QDlgData& data) = 0;
  // The dialogs of the movie formats (AVI compressor, HAV and MPEG settings), which work on the
  // whole record.
  virtual bool MovieOptions(QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth) = 0;
};

// True when the format has no dialog or the user confirmed it; a cancelled dialog leaves the
// options as they were.
bool FFSaveDlg(QffSaveOpt& opts, int32_t width, int32_t height, int32_t depth, SaveOptionDialogs& dialogs);

// The choices of a choice dialog for a format and its title; empty for formats without one.
std::vector<FFChoiceItem> FFSaveChoices(int32_t format, std::string& title);

}  // namespace rf
