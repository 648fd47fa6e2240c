// The trace log: error and warning records with their call path and the machine's state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/common.h"

namespace rf {

inline constexpr int32_t TRACE_MAX_LABELS = 256;

void TraceSetFile(std::string_view name);
const std::string& TraceFile();
bool TraceActive();
void TraceStop();
void TraceStart(std::string_view heading);
void TraceEnter(std::string_view label);
void TraceLeave();
void TraceWrite(std::string_view line);
// Splits the text at CR LF pairs and writes every piece prefixed with "#".
void TraceWriteText(std::string_view text);
void TraceMemoryStatus();
void TraceDiskStatus(std::string_view path);

// The stacked labels from the outermost to the innermost, joined by ":".
std::string TraceLabelPath();
void TraceClearLabels();
// The three groups of an error ('!') or warning ('?') record.
void TraceRecord(char marker, int32_t category, int32_t code, const std::string& message, Site site);

// Pushes a routine's label for the length of a scope.
class TraceLabel {
 public:
  explicit TraceLabel(std::string_view label) { TraceEnter(label); }
  ~TraceLabel() { TraceLeave(); }
  TraceLabel(const TraceLabel&) = delete;
  TraceLabel& operator=(const TraceLabel&) = delete;
};

}  // namespace rf
