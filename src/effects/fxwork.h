// What the effect units share: the guarded operation shell and clamping of parameters.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>

#include "foundation/monitor.h"
#include "image/imgbasic.h"

namespace rf::detail {

// ImgInit, body(work), ImgDone: the frame of every effect. Called inside the effect's guarded
// block with a work record declared outside it, so that the temporary is still there when a
// failure releases it.
template <class Body>
void WorkOn(ImgWork& work, const ImgOpInfo& info, Qimg& src, Qimg& dst, Body&& body) {
  ImgInit(info, work, src, &dst);
  body(work);
  ImgDone(work);
}

// The whole guarded effect for operation op with its table description.
template <class Body>
void RunEffect(std::string_view label, int32_t op, Qimg& src, Qimg& dst, Body&& body) {
  ImgWork work;
  Guarded(label, [&] {
    ImgOpInfo info;
    ImgInfo(info, op);
    WorkOn(work, info, src, dst, body);
  });
}

inline int32_t ClampInt(int32_t v, int32_t lo, int32_t hi) { return std::min(std::max(v, lo), hi); }

// A stored value that is not a number takes the lower bound rather than poisoning a table.
inline double ClampReal(double v, double lo, double hi) { return std::isnan(v) ? lo : std::min(std::max(v, lo), hi); }

inline uint8_t ClampByte(int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace rf::detail
