// The MPEG modules' shared parts: the error callbacks each module reports through and the
// standard frame rates.
#include "platform/mpeglib.h"

#include <atomic>
#include <cmath>

#include "platform/libmsg.h"

namespace rf {
namespace {

std::atomic<MplErrorCBF> g_handlers[4] = {};
std::atomic<MplErrorCBF> g_encoderHandler = nullptr;

const double kStdRates[9] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};

int32_t Report(MplErrorCBF handler, const std::string& text) {
  const std::string reason = LibTakeReason();
  const std::string full = reason.empty() ? text : text + " (" + reason + ")";
  if (handler) handler(full.c_str());
  return 0;
}

}  // namespace

void MOSLErrorFuncSet(MplModule module, MplErrorCBF callback) { g_handlers[int(module)] = callback; }

void EncErrorFuncSet(MplErrorCBF callback) { g_encoderHandler = callback; }

double MplStdRate(int32_t code) { return code >= 0 && code <= 8 ? kStdRates[code] : 0; }

namespace detail {

int32_t MplFail(MplModule module, const std::string& text) { return Report(g_handlers[int(module)], text); }

int32_t MplEncFail(const std::string& text) { return Report(g_encoderHandler, text); }

int32_t MplNearestCode(double rate) {
  for (int32_t code = 1; code <= 8; ++code)
    if (std::fabs(kStdRates[code] - rate) <= kStdRates[code] * 0.001) return code;
  return 0;
}

}  // namespace detail
}  // namespace rf
