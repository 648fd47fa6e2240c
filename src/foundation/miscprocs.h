// Shared texts and arithmetic: times and numbers as the user sees them, fitting a picture to a box.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rf {

// SecToStr flag bits.
inline constexpr int32_t SEC_HOURS = 1;       // always show hours
inline constexpr int32_t SEC_MINUTES = 2;     // always show minutes
inline constexpr int32_t SEC_SECONDS = 4;     // always show seconds
inline constexpr int32_t SEC_MILLIS = 8;      // always show milliseconds
inline constexpr int32_t SEC_NO_MILLIS = 16;  // never show milliseconds
// The form of every time shown in lists and dialogs: 01:05.040.
inline constexpr int32_t SEC_LIST = SEC_MINUTES | SEC_SECONDS | SEC_MILLIS;

std::string SecToStr(int32_t flags, double seconds);
double StrToSec(std::string_view text, double defaultValue);

// The integer formatter. Codes: 0 plain; 1..99 right-aligned in that width; 100..199 grouped
// by threes with "," in a width of code - 100; 200 and above zero-padded to code - 200 digits.
std::string FormatUInt(int32_t code, uint32_t value);

// Fits w x h inside the box keeping the aspect ratio (x, y centre it); with enlarge false a
// picture that already fits keeps its size. Error (4, 1) for unusable sizes.
void CalcBoxResize(int32_t boxW, int32_t boxH, bool enlarge, int32_t& x, int32_t& y, int32_t& w, int32_t& h);
// Covers the box keeping the aspect ratio; x and y are the amounts to cut on the left and top.
void CalcCropResize(int32_t boxW, int32_t boxH, bool enlarge, int32_t& x, int32_t& y, int32_t& w, int32_t& h);

// value rounded down to a multiple of divisor (toward zero); a zero divisor is a run-time
// exception (std::domain_error), as a division by zero would be.
int32_t DivisibleInt(int32_t value, int32_t divisor);
double DivisibleFloat(double value, double divisor);

}  // namespace rf
