// Remaining-time estimates and their display steps.
#include <gtest/gtest.h>

#include "engine/predict.h"

namespace rf {
namespace {

TEST(PredictTest, EstimateFromProgress) {
  EXPECT_DOUBLE_EQ(Predict_Time(0, 10, 100, 0), 0.0) << "nothing done yet";
  EXPECT_DOUBLE_EQ(Predict_Time(0, 10, 0, 5), 0.0);
  EXPECT_DOUBLE_EQ(Predict_Time(0, 10, 100, 25), 30.0);
  EXPECT_DOUBLE_EQ(Predict_Time(50, 10, 100, 25), 30.0) << "a previous estimate up to a minute is ignored";
  EXPECT_DOUBLE_EQ(Predict_Time(60, 10, 100, 25), 30.0);
  EXPECT_DOUBLE_EQ(Predict_Time(90, 10, 100, 25), 60.0);
  EXPECT_DOUBLE_EQ(Predict_Time(0, 10, 100, 101), 0.0) << "done past the total never goes negative";
}

TEST(PredictTest, DisplaySteps) {
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(3601), 3600);
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(3899), 3600);
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(3600), 3600);
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(901), 900);
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(959), 900);
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(61), 60);
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(64.9), 60);
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(59.7), 59);
  EXPECT_DOUBLE_EQ(Predict_TimeGranulate(0.4), 0);
}

}  // namespace
}  // namespace rf
