// The program-wide 32-bit linear congruential generator every random effect draws from.
#pragma once

#include <cstdint>

namespace rf {

// The generator's arithmetic: seed <- seed x 134775813 + 1, then the high half of seed x n, a
// value in 0..n - 1. Loops that draw for every byte run it on a local copy of the seed (stores
// through byte pointers would otherwise force the shared seed back to memory each time) and put
// the seed back when done.
struct FnRandGen {
  uint32_t seed;

  uint32_t Next(uint32_t n) {
    seed = seed * 134775813u + 1u;
    return uint32_t((uint64_t(seed) * n) >> 32);
  }
};

uint32_t FnRandSeed();
void FnRandSetSeed(uint32_t seed);
// One draw from the shared generator, 0..n - 1 (0 for n = 0).
uint32_t FnRandom(uint32_t n);
// The fresh seed a random effect takes at the start of each frame: from the clock, or the fixed
// seed while one is set.
void FnRandomize();

// Makes every later FnRandomize take this seed, so that noise and chaos repeat exactly.
void FnRandFix(uint32_t seed);
// Back to seeds from the clock.
void FnRandUnfix();

}  // namespace rf
