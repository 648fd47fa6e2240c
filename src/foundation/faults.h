// Fault injection for tests: make the Nth following allocation, open, read or write fail.
#pragma once

#include <cstdint>

namespace rf {

enum class Fault { Alloc, Open, Read, Write, Count };

// n = 1 fails the next operation of that kind, n = 0 switches the countdown off.
void FaultAfter(Fault kind, int32_t n);
void FaultReset();
// The operations of that kind still to come before the failure; 0 once it happened or when off.
int32_t FaultLeft(Fault kind);

namespace detail {
// Counts one operation down; true when this one must fail.
bool FaultHit(Fault kind);
}  // namespace detail

}  // namespace rf
