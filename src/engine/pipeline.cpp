// The per-frame pipeline: rescale, crop and rotate, the effect chain over its ranges, the final
// size, grayscale, then the output depth or the shared palette.
#include "engine/pipeline.h"

#include "effects/tone.h"
#include "image/palopt.h"

namespace rf {
namespace {

// The stages after the geometry write from one of the frame's pictures into the other, never
// into the geometry's own pictures, which keep their sizes from frame to frame.
Qimg& Target(const PipelineFrame& f, Qimg* source, Qimg* spare) { return *(f.current == spare ? source : spare); }

void Grayscale(const OutputDef& def, PipelineFrame& f, Qimg* source, Qimg* spare) {
  Qimg& dst = Target(f, source, spare);
  if (def.Depth == 8 && f.current->bpp != 8)
    ImgConvBppEx(*f.current, dst, 8, 2);
  else
    ImgGray(*f.current, dst);
  f.current = &dst;
}

void ConvertDepth(const OutputDef& def, PipelineFrame& f, Qimg* source, Qimg* spare) {
  if (f.palettePass) {
    if (f.pass == 1) {
      PalCountColors(*f.current);
      return;
    }
    Qimg& dst = Target(f, source, spare);
    PalRemap(*f.current, dst, def.Dither != 0);
    f.current = &dst;
    return;
  }
  if (f.current->bpp == def.Depth) return;
  Qimg& dst = Target(f, source, spare);
  if (def.Depth == 8 && def.Dither)
    ImgConvBppEx(*f.current, dst, 8, 1);
  else
    ImgConvBpp(*f.current, dst, def.Depth);
  f.current = &dst;
}

}  // namespace

void PipelineRun(const OutputDef& def, const QFnChain& chain, GeoWork& work, PipelineFrame& frame) {
  Qimg* const source = frame.current;
  Qimg* const spare = frame.other;
  GeoPrepareFrame(def, work, frame.current);
  FnChainApply(chain, frame.frameIndex, frame.current, *spare);
  GeoFinishFrame(def, work, frame.current);
  if (def.Grayscale) Grayscale(def, frame, source, spare);
  ConvertDepth(def, frame, source, spare);
  frame.other = frame.current == spare ? source : spare;
}

}  // namespace rf
