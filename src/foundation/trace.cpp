// The trace log file: one line appended at a time, with errors, warnings and machine state.
#include "foundation/trace.h"

#include <ctime>
#include <vector>

#include "foundation/errors.h"
#include "foundation/miscprocs.h"
#include "foundation/trackedfile.h"
#include "os/kernel.h"

namespace rf {
namespace {

bool g_active = false;
std::string g_file = "trace.txt";
std::string g_labels[TRACE_MAX_LABELS];
int32_t g_depth = 0;

std::string KB(uint64_t kb) { return FormatUInt(100, uint32_t(kb > UINT32_MAX ? UINT32_MAX : kb)) + "k"; }

std::string NowText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d, %H:%M", &local);
  return text;
}

// Appends lines to the trace file without disturbing the error register or the last file name.
void AppendLines(const std::vector<std::string>& lines) {
  if (!g_active) return;
  const bool wasLocked = ErrLocked();
  ErrLock();
  g_active = false;
  const std::string lastName = LastFileName();
  int32_t handle;
  if (TXTOpen(handle, g_file, FM_APPEND) == 0) {
    for (const auto& line : lines) TXTWrite(handle, line);
    TXTClose(handle);
  }
  SetLastFileName(lastName);
  g_active = true;
  if (!wasLocked) ErrUnlock();
}

}  // namespace

void TraceSetFile(std::string_view name) { g_file = name; }
const std::string& TraceFile() { return g_file; }
bool TraceActive() { return g_active; }

void TraceStop() {
  g_active = false;
  g_depth = 0;
}

void TraceStart(std::string_view heading) {
  const bool wasLocked = ErrLocked();
  ErrLock();
  g_active = false;
  int32_t handle = NOT_SET;
  // Written in place, so that the log can be read while the program runs.
  const bool created = FDelete(g_file) == 0 && TXTOpen(handle, g_file, FM_CREATE | FM_DIRECT) == 0;
  if (created) TXTClose(handle);
  if (!wasLocked) ErrUnlock();
  if (!created) return;
  g_active = true;
  g_depth = 0;
  const auto os = kernel::GetSystemVersion();
  AppendLines({std::string(heading), "Trace started at " + NowText(),
               "OS: " + os.name + " v" + std::to_string(os.major) + "." + std::to_string(os.minor) + " - build " +
                   std::to_string(os.build),
               "CPU: " + kernel::ProcessorName() + ", processors: " + std::to_string(kernel::ProcessorCount()),
               std::string(40, '-')});
}

void TraceEnter(std::string_view label) {
  if (g_active && g_depth < TRACE_MAX_LABELS) g_labels[g_depth++] = label;
}

void TraceLeave() {
  if (g_active && g_depth >= 1) --g_depth;
}

void TraceWrite(std::string_view line) { AppendLines({std::string(line)}); }

void TraceWriteText(std::string_view text) {
  if (!g_active) return;
  std::vector<std::string> lines;
  for (;;) {
    const size_t end = text.find("\r\n");
    lines.push_back("#" + std::string(text.substr(0, end)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 2);
    if (text.empty()) break;
  }
  AppendLines(lines);
}

void TraceMemoryStatus() {
  const auto m = kernel::GetMemoryStatus();
  TraceWriteText("Physical memory:\r\n  total: " + KB(m.totalPhysKB) + ", free: " + KB(m.availPhysKB) +
                 "\r\nSwap memory:\r\n  total: " + KB(m.totalSwapKB) + ", free: " + KB(m.availSwapKB));
}

void TraceDiskStatus(std::string_view path) {
  const auto d = kernel::GetDiskStatus(std::string(path));
  TraceWriteText("Drive " + std::string(path) + "\r\n  total: " + KB(d.totalKB) + ", free: " + KB(d.freeKB));
}

std::string TraceLabelPath() {
  std::string path;
  for (int32_t i = 0; i < g_depth; ++i) {
    if (i) path += ':';
    path += g_labels[i];
  }
  return path;
}

void TraceClearLabels() { g_depth = 0; }

void TraceRecord(char marker, int32_t category, int32_t code, const std::string& message, Site site) {
  if (!g_active) return;
  AppendLines({std::string(1, marker) + std::to_string(category) + ":" + std::to_string(code) + ";\"" + message + "\"",
               "@" + TraceLabelPath() + ";" + std::to_string(site.number)});
  TraceMemoryStatus();
  TraceDiskStatus("/");
}

}  // namespace rf
