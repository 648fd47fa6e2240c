// The fixed geometric steps of every output frame: rescale with a fitting mode, crop the margins,
// rotate, and the final scaling to the output size after the effect chain.
#pragma once

#include <cstdint>

#include "engine/outdef.h"
#include "image/imgbasic.h"

namespace rf {

// The pictures the steps write into, one per step and kept from frame to frame: with frames of
// one size each of them gets the same size every time, so after the first frame no step
// allocates a pixel block of its own. The picture handed in is never changed, so a decoder that
// builds each frame on the previous one can keep using it.
struct GeoWork {
  Qimg fitted;   // the frame scaled (or cut) by the fitting mode
  Qimg placed;   // on the border canvas, or the fitted frame's window
  Qimg cropped;  // without the crop margins
  Qimg rotated;
  Qimg final;  // scaled to the final size after the effect chain

  GeoWork() = default;
  GeoWork(const GeoWork&) = delete;
  GeoWork& operator=(const GeoWork&) = delete;
};
void GeoDone(GeoWork& work);

// Each step takes current and, when it makes a new picture, leaves current pointing at it.

// Scales to the rescale size with the fitting mode the frame's size selects (the small-image
// mode when it fits inside, else the large-image mode). Error (4, 1) for an empty frame or size.
void GeoRescale(const OutputDef& def, GeoWork& work, Qimg*& current);
// Cuts the crop margins from a frame of the rescale size; nothing when they are all 0.
void GeoCrop(const OutputDef& def, GeoWork& work, Qimg*& current);
// Turns the frame by the output's rotation; nothing for rotation 0.
void GeoRotate(const OutputDef& def, GeoWork& work, Qimg*& current);
// The three steps above, in this order: what a frame goes through before the effect chain.
void GeoPrepareFrame(const OutputDef& def, GeoWork& work, Qimg*& current);
// Scales the frame to the final size when it differs (after the effect chain); this also scales
// a cropped frame back with "Resize back to".
void GeoFinishFrame(const OutputDef& def, GeoWork& work, Qimg*& current);

}  // namespace rf
