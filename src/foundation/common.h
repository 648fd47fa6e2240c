// Program-wide markers and the call-site number that accompanies every error and allocation.
#pragma once

#include <cstdint>

namespace rf {

// The not-set marker: a missing index, position, time, parameter, handle or choice.
inline constexpr int32_t NOT_SET = int32_t(0xAF100D7Cu);
inline constexpr double NOT_SET_F = -1357902468.0;

// 32-bit booleans of records: 0 false, -1 true; readers test for non-zero.
inline constexpr int32_t RF_FALSE = 0;
inline constexpr int32_t RF_TRUE = -1;

// A fixed positive number per call site, written to the trace only. Left as the default it is
// the caller's source line (the builtin is evaluated where the default argument is used).
struct Site {
  int32_t number;
  constexpr Site(int32_t n = __builtin_LINE()) : number(n) {}
};

}  // namespace rf
