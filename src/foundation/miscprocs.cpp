// Time and number texts, box fitting and rounding to multiples (trace labels "miscprocs.*").
#include "foundation/miscprocs.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "foundation/errors.h"
#include "foundation/monitor.h"

namespace rf {
namespace {

// Whole part of a non-negative time field, clamped so that it always fits the formatter.
uint32_t Whole(double v) {
  if (!(v > 0)) return 0;
  return v >= 4294967295.0 ? UINT32_MAX : uint32_t(v);
}

// A signed decimal integer filling the whole field, as the time fields are read.
bool ParseField(std::string_view field, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  if (i == field.size()) return false;
  int64_t v = 0;
  for (; i < field.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(field[i]))) return false;
    v = v * 10 + (field[i] - '0');
    if (v > int64_t(INT32_MAX) + 1) return false;
  }
  v = negative ? -v : v;
  if (v > INT32_MAX) return false;
  value = v;
  return true;
}

std::string_view Trim(std::string_view s) {
  const char* ws = " \t\r\n\f\v";
  const size_t first = s.find_first_not_of(ws);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(ws) - first + 1);
}

enum class Fit { Inside, Cover };

void FitBox(const char* label, Fit fit, int32_t W, int32_t H, bool enlarge, int32_t& x, int32_t& y, int32_t& w,
            int32_t& h) {
  Guarded(label, [&] {
    MonSetCleanup([&] {
      x = 0;
      y = 0;
      w = W;
      h = H;
    });
    if (w < 1 || h < 1) {
      ErrSet(4, 1);
      return;
    }
    if (!enlarge && w <= W && h <= H) {
      x = (W - w) / 2;
      y = (H - h) / 2;
      return;
    }
    const double rx = double(W) / w, ry = double(H) / h;
    if (!(rx > 0) || !(ry > 0)) {
      ErrSet(4, 1);
      return;
    }
    const bool widthRules = fit == Fit::Inside ? rx < ry : rx > ry;
    const double scaled = widthRules ? std::trunc(h * rx) : std::trunc(w * ry);
    if (scaled > INT32_MAX) {
      ErrSet(4, 1);
      return;
    }
    if (widthRules) {
      w = W;
      h = int32_t(scaled);
    } else {
      h = H;
      w = int32_t(scaled);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    x = std::abs(W - w) / 2;
    y = std::abs(H - h) / 2;
  });
}

}  // namespace

std::string SecToStr(int32_t flags, double seconds) {
  if (!(seconds > 0)) seconds = 0;
  const double hours = std::trunc(seconds * (1.0 / 3600));
  seconds -= hours * 3600;
  const double minutes = std::trunc(seconds * (1.0 / 60));
  seconds -= minutes * 60;
  const uint32_t h = Whole(hours), m = Whole(minutes), s = Whole(seconds);
  const uint32_t ms = Whole((seconds - std::trunc(seconds)) * 1000.0);

  std::string text;
  if (h >= 1 || (flags & SEC_HOURS)) {
    text = FormatUInt(202, h);
    flags |= SEC_MINUTES | SEC_SECONDS;
  }
  if (m >= 1 || (flags & SEC_MINUTES)) {
    flags |= SEC_SECONDS;
    if (!text.empty()) text += ':';
    text += FormatUInt(202, m);
  }
  if (s >= 1 || (flags & SEC_SECONDS)) {
    if (!text.empty()) text += ':';
    text += FormatUInt(202, s);
  }
  if (ms < 1 && !(flags & SEC_MILLIS)) return text;
  if (!(flags & SEC_NO_MILLIS)) {
    if (text.empty()) text.push_back('0');
    text += '.';
    text += FormatUInt(203, ms);
  }
  return text;
}

double StrToSec(std::string_view text, double defaultValue) {
  text = Trim(text);
  if (text.empty()) return defaultValue;
  int64_t ms = 0, sec = 0, min = 0, hours = 0;
  size_t end = text.size();
  if (const size_t dot = text.find('.'); dot != std::string_view::npos) {
    if (!ParseField(text.substr(dot + 1), ms)) return defaultValue;
    end = dot;
  }
  const std::string_view clock = text.substr(0, end);
  const size_t secColon = clock.rfind(':');
  if (!ParseField(secColon == std::string_view::npos ? clock : clock.substr(secColon + 1), sec)) return defaultValue;
  if (secColon != std::string_view::npos) {
    const std::string_view rest = clock.substr(0, secColon);
    const size_t minColon = rest.rfind(':');
    if (!ParseField(minColon == std::string_view::npos ? rest : rest.substr(minColon + 1), min)) return defaultValue;
    if (minColon != std::string_view::npos && !ParseField(rest.substr(0, minColon), hours)) return defaultValue;
  }
  return double(ms) * 0.001 + double(sec) + double(min) * 60 + double(hours) * 3600;
}

std::string FormatUInt(int32_t code, uint32_t value) {
  constexpr size_t kMaxText = 255;
  std::string digits = std::to_string(value);
  if (code <= 0) return digits;
  if (code >= 200) {
    const size_t width = std::min(size_t(code - 200), kMaxText);
    return digits.size() >= width ? digits : std::string(width - digits.size(), '0') + digits;
  }
  std::string text;
  size_t width = size_t(code);
  if (code >= 100) {
    width = size_t(code - 100);
    for (size_t i = 0; i < digits.size(); ++i) {
      if (i && (digits.size() - i) % 3 == 0) text += ',';
      text += digits[i];
    }
  } else {
    text = digits;
  }
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

void CalcBoxResize(int32_t boxW, int32_t boxH, bool enlarge, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
  FitBox("miscprocs.CalcBoxResize", Fit::Inside, boxW, boxH, enlarge, x, y, w, h);
}

void CalcCropResize(int32_t boxW, int32_t boxH, bool enlarge, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
  FitBox("miscprocs.CalcCropResize", Fit::Cover, boxW, boxH, enlarge, x, y, w, h);
}

int32_t DivisibleInt(int32_t value, int32_t divisor) {
  if (divisor == 0) throw std::domain_error("Division by zero.");
  if (divisor == -1) return value;  // value / -1 overflows for the smallest integer
  return value / divisor * divisor;
}

double DivisibleFloat(double value, double divisor) {
  if (divisor == 0) throw std::domain_error("Floating point division by zero.");
  return std::trunc(value / divisor) * divisor;
}

}  // namespace rf
