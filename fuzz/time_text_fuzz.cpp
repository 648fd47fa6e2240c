// Any text read as a time gives a finite value or the default, and its text reads back.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/miscprocs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double seconds = rf::StrToSec(text, -1.0);
  if (!std::isfinite(seconds)) std::abort();
  if (seconds >= 0) {
    const std::string shown = rf::SecToStr(rf::SEC_LIST, seconds);
    if (rf::StrToSec(shown, -2.0) < 0) std::abort();
  }
  rf::FormatUInt(int32_t(size), uint32_t(seconds > 0 && seconds < 4e9 ? seconds : 0));
  return 0;
}
