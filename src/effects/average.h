// The temporal average: every frame of a run folded into one picture.
#pragma once

namespace rf {

struct Qimg;

// Adds the frame's colours to the running sums; the first frame fixes the size and a frame of
// another size fails with (4, 1).
void ImgAverage(const Qimg& frame);
// The 24-bit mean of the frames added since the first ImgAverage, which ends the average; fails
// with (7, 2147483647) when none was added.
void ImgAverageDone(Qimg& result);

}  // namespace rf
