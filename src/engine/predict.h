// The remaining-time estimate of a conversion run, smoothed and coarsened for display.
#pragma once

namespace rf {

// Seconds left for one medium from the time spent and the units done; an earlier estimate above
// a minute is averaged in so that the figure does not jump.
double Predict_Time(double previous, double elapsed, double total, double done);
// Rounds down to whole steps of 300 s above an hour, 60 s above 15 minutes, 5 s above a minute,
// else 1 s.
double Predict_TimeGranulate(double seconds);

}  // namespace rf
