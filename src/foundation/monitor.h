// Guarded blocks: an error set inside one aborts it, releases what it acquired and propagates.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/trace.h"

namespace rf {

// The one exception the monitor raises; it carries the message of the error that aborted.
class EMon : public std::exception {
 public:
  explicit EMon(std::string message = {}) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

inline constexpr int32_t MON_MAX_DEPTH = 256;

void MonBegin();
void MonBeginSilent();
void MonNextSilent();
void MonSetCleanup(std::function<void()> cleanup);
[[noreturn]] void MonAbort();
void MonCatch(std::string_view exceptionMessage);
void MonEnd();
void MonDisable();
void MonEnable();
int32_t MonDepth();

// Writes "Monitoring failure: N hanging processes." to the trace when frames are still open.
void MonReportHanging();

namespace detail {
// Told by the error register of every error it stores.
void MonOnError();

template <class Body>
void RunGuarded(std::string_view label, bool silent, Body&& body) {
  TraceLabel scope(label);
  if (silent)
    MonBeginSilent();
  else
    MonBegin();
  try {
    body();
  } catch (const std::exception& e) {
    MonCatch(e.what());
  } catch (...) {
    MonCatch("Unknown exception.");
  }
  MonEnd();
}
}  // namespace detail

// The shape of every guarded routine: label, frame, body, catch, close. An error inside the
// body aborts it; the error then propagates to the enclosing guarded routine.
template <class Body>
void Guarded(std::string_view label, Body&& body) {
  detail::RunGuarded(label, false, std::forward<Body>(body));
}

// As Guarded, but the error stops here and stays in the register for the caller.
template <class Body>
void GuardedSilent(std::string_view label, Body&& body) {
  detail::RunGuarded(label, true, std::forward<Body>(body));
}

}  // namespace rf
