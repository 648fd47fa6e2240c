// Remaining-time estimate of a conversion run.
#include "engine/predict.h"

#include <cmath>

namespace rf {

double Predict_Time(double previous, double elapsed, double total, double done) {
  if (!(done > 0) || !(total > 0)) return 0.0;
  double estimate = elapsed * total / done - elapsed;
  if (estimate < 0) estimate = 0.0;
  return previous > 60.0 ? (estimate + previous) * 0.5 : estimate;
}

double Predict_TimeGranulate(double seconds) {
  const double step = seconds > 3600 ? 300 : seconds > 900 ? 60 : seconds > 60 ? 5 : 1;
  return std::trunc(seconds / step) * step;
}

}  // namespace rf
