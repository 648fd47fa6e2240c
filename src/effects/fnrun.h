// Running one effect on one picture, and the parameter facts of each effect.
#pragma once

#include <cstdint>

#include "effects/fnparams.h"

namespace rf {

struct Qimg;

struct FnParamSpec {
  double minimum = 0;
  double maximum = 0;
  double defaultValue = 0;
};

// From the operation table of the image core.
int32_t FnParamCount(int32_t id);
FnParamSpec FnParamRange(int32_t id, int32_t index);
bool FnInPlace(int32_t id);

// Applies effect id to src; result is src when the effect works in place, else spare. Values
// reach the effects truncated toward zero, except gamma's. Unknown identifiers do nothing.
void FnRun(int32_t id, Qimg& src, Qimg& spare, const QFnParams& params, Qimg*& result);

}  // namespace rf
