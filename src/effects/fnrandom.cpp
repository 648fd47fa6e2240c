// The shared random generator and its per-frame seeding.
#include "effects/fnrandom.h"

#include <time.h>

namespace rf {
namespace {

struct RandState {
  uint32_t seed = 0;
  bool fixed = false;
  uint32_t fixedSeed = 0;
};
RandState g_rand;

uint32_t ClockSeed() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  // Nanoseconds change fastest; the seconds keep two runs a second apart from meeting.
  return uint32_t(ts.tv_nsec) ^ (uint32_t(ts.tv_sec) * 2654435761u);
}

}  // namespace

uint32_t FnRandSeed() { return g_rand.seed; }
void FnRandSetSeed(uint32_t seed) { g_rand.seed = seed; }

uint32_t FnRandom(uint32_t n) {
  FnRandGen gen{g_rand.seed};
  const uint32_t v = gen.Next(n);
  g_rand.seed = gen.seed;
  return v;
}

void FnRandomize() { g_rand.seed = g_rand.fixed ? g_rand.fixedSeed : ClockSeed(); }

void FnRandFix(uint32_t seed) {
  g_rand.fixed = true;
  g_rand.fixedSeed = seed;
}

void FnRandUnfix() { g_rand.fixed = false; }

}  // namespace rf
