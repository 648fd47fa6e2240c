// Messages of the outside libraries into the trace, and the last error line as a failure's reason.
#include "platform/libmsg.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "foundation/trace.h"

namespace rf {
namespace {

// Decoders may run on threads of their own.
std::mutex g_lock;
std::string g_reason;

// Drops the line end and the spaces that libraries leave around their text.
std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

}  // namespace

void LibMessage(std::string_view library, LibLevel level, std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return;
  const std::string line = library.empty() ? std::string(text) : std::string(library) + ": " + std::string(text);
  std::lock_guard<std::mutex> hold(g_lock);
  TraceWriteText(line);
  if (level == LibLevel::Error) g_reason = line;
}

void LibMessageV(std::string_view library, LibLevel level, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  LibMessage(library, level, text);
}

std::string LibTakeReason() {
  std::lock_guard<std::mutex> hold(g_lock);
  return std::exchange(g_reason, std::string());
}

void LibDropReason() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_reason.clear();
}

}  // namespace rf
