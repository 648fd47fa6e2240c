// Countdowns behind FaultAfter.
#include "foundation/faults.h"

namespace rf {
namespace {
int32_t g_countdown[int(Fault::Count)] = {};
}

void FaultAfter(Fault kind, int32_t n) { g_countdown[int(kind)] = n > 0 ? n : 0; }

void FaultReset() {
  for (auto& c : g_countdown) c = 0;
}

int32_t FaultLeft(Fault kind) { return g_countdown[int(kind)]; }

bool detail::FaultHit(Fault kind) {
  int32_t& c = g_countdown[int(kind)];
  if (c == 0) return false;
  return --c == 0;
}

}  // namespace rf
