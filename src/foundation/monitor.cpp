// The guarded-block stack: frames, abort on error, release of tracked resources, propagation.
#include "foundation/monitor.h"

#include <cstdlib>

#include "foundation/errors.h"
#include "foundation/trackedfile.h"
#include "foundation/trackedmem.h"

namespace rf {
namespace {

struct Frame {
  int32_t memStart = 0;
  int32_t fileStart = 0;
  bool aborted = false;
  bool silent = false;
  int32_t category = 0;
  int32_t code = 0;
  std::function<void()> cleanup;
};

Frame g_frames[MON_MAX_DEPTH];
int32_t g_depth = 0;
int32_t g_catches = 0;
bool g_disabled = false;
bool g_nextSilent = false;

constexpr size_t kMaxExceptionText = 1025;

Frame& Current() { return g_frames[g_depth - 1]; }
bool HoldsError(const Frame& f) { return f.category != 0 && f.code != 0; }

void RunCleanup(Frame& f) {
  if (!f.cleanup) return;
  auto cleanup = std::move(f.cleanup);
  f.cleanup = nullptr;
  const bool wasDisabled = g_disabled;
  g_disabled = true;
  try {
    cleanup();
  } catch (...) {
  }
  g_disabled = wasDisabled;
}

void Release(const Frame& f) {
  const bool wasDisabled = g_disabled;
  const bool wasLocked = ErrLocked();
  g_disabled = true;
  ErrLock();
  try {
    MemReleaseFrom(f.memStart);
    FCloseFrom(f.fileStart);
  } catch (...) {
  }
  if (!wasLocked) ErrUnlock();
  g_disabled = wasDisabled;
}

void Begin(bool silent) {
  if (g_disabled) return;
  if (g_depth == MON_MAX_DEPTH) {
    DvlShowError("Fatal error: internal monitoring overflow.");
    std::_Exit(EXIT_FAILURE);
  }
  if (g_depth == 0) g_catches = 0;
  Frame& f = g_frames[g_depth];
  f = Frame{};
  f.memStart = MemCount();
  f.fileStart = FCount();
  f.silent = silent || g_nextSilent;
  ++g_depth;
  ErrClear();
  WarnClear();
  g_nextSilent = false;
}

}  // namespace

void MonBegin() { Begin(false); }
void MonBeginSilent() { Begin(true); }
void MonNextSilent() { g_nextSilent = true; }

void MonSetCleanup(std::function<void()> cleanup) {
  if (!g_disabled && g_depth >= 1) Current().cleanup = std::move(cleanup);
}

void MonAbort() {
  if (!g_disabled && g_depth >= 1) Current().aborted = true;
  throw EMon();
}

void detail::MonOnError() {
  if (g_disabled || g_depth < 1) return;
  const int32_t category = ErrCategory(), code = ErrCode();
  Frame& f = Current();
  if (category == 0 || code == 0 || f.aborted) return;
  f.category = category;
  f.code = code;
  RunCleanup(f);
  Release(f);
  f.aborted = true;
  throw EMon(ErrMessage(category, code));
}

void MonCatch(std::string_view exceptionMessage) {
  if (g_disabled) return;
  ++g_catches;
  if (g_depth < 1 || !ErrNone() || Current().aborted) return;
  Frame& f = Current();
  RunCleanup(f);
  Release(f);
  const std::string_view text = exceptionMessage.substr(0, kMaxExceptionText);
  detail::ErrStore(3, TEXT_ONLY_CODE, text);
  f.category = 3;
  f.code = TEXT_ONLY_CODE;
  f.aborted = true;
  TraceRecord('!', 3, TEXT_ONLY_CODE, std::string(text), Site{0});
}

void MonEnd() {
  if (g_disabled || g_depth == 0) return;
  if (g_catches > 1) {
    const int32_t skipped = std::min(g_catches - 1, g_depth - 1);
    Frame& outer = g_frames[g_depth - 1 - skipped];
    outer.category = Current().category;
    outer.code = Current().code;
    g_depth -= skipped;
  }
  Frame& closed = Current();
  if (HoldsError(closed)) {
    RunCleanup(closed);
    Release(closed);
  }
  --g_depth;
  g_catches = 0;
  detail::ErrStore(closed.category, closed.code, {});
  if (closed.silent) return;
  if (g_depth >= 1) {
    Frame& enclosing = Current();
    enclosing.category = closed.category;
    enclosing.code = closed.code;
    // A block that only stopped (MonAbort without an error) ends there: marking the enclosing
    // block aborted would make a later error in it neither abort it nor stay reported.
    enclosing.aborted = HoldsError(closed) && closed.aborted;
  }
  if (HoldsError(closed) && closed.aborted) throw EMon(ErrMessage(closed.category, closed.code));
}

void MonDisable() { g_disabled = true; }
void MonEnable() { g_disabled = false; }
int32_t MonDepth() { return g_depth; }

void MonReportHanging() {
  if (g_depth > 0) TraceWriteText("Monitoring failure: " + std::to_string(g_depth) + " hanging processes.");
}

}  // namespace rf
