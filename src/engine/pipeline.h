// The fixed per-frame pipeline of a run: geometry, the effect chain, the final size, grayscale
// and the output depth (or the shared palette's two passes).
#pragma once

#include <cstdint>

#include "effects/fnchain.h"
#include "engine/geometry.h"
#include "engine/outdef.h"
#include "image/imgbasic.h"

namespace rf {

// One frame's place in the pipeline: the pictures it may write into and the palette pass.
struct PipelineFrame {
  int32_t frameIndex = 0;
  Qimg* current = nullptr;  // the picture handed in; on return the picture that holds the result
  Qimg* other = nullptr;    // a second picture of the run the stages may overwrite
  bool palettePass = false;
  int32_t pass = 1;  // with palettePass: 1 counts the colours, 2 maps to the shared palette
};

// Runs the frame through every stage. The geometric stages write into work, the others into
// the frame's two pictures, so that the picture current points at is the only result.
void PipelineRun(const OutputDef& def, const QFnChain& chain, GeoWork& work, PipelineFrame& frame);

}  // namespace rf
