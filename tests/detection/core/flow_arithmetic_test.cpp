#include "detection/core/flow_arithmetic.h"

#include <gtest/gtest.h>

#include "core/number_format.h"

namespace qv {
namespace {

TEST(FlowArithmetic, LimitOfClassTwoAtDn20) {
  const double limit = ErrorLimit(FlowErrorLimitFormula(1, 20, 50), 1, 0);
  EXPECT_DOUBLE_EQ(limit, 2.008);
  EXPECT_EQ(ErrorLimitLabel(limit), " Err(2.01)");
  EXPECT_DOUBLE_EQ(FlowErrorLimitFormula(0, 20, 50), 1.004);
  EXPECT_DOUBLE_EQ(FlowErrorLimitFormula(2, 20, 50), 3.02);
  EXPECT_EQ(FlowErrorLimitFormula(1, 20, 0), 0);
  EXPECT_EQ(FlowErrorLimitFormula(3, 20, 50), 0);
  EXPECT_DOUBLE_EQ(ErrorLimit(2.0, 1.5, 0.25), 3.25);
}

TEST(FlowArithmetic, DensityInterpolatesBetweenWholeDegrees) {
  EXPECT_EQ(FormatFixed(WaterDensity(20.5), 2), "998.33");
  EXPECT_DOUBLE_EQ(WaterDensity(20), static_cast<double>(998.44f));
  EXPECT_DOUBLE_EQ(WaterDensity(150), static_cast<double>(917.08f));
  EXPECT_DOUBLE_EQ(WaterDensity(150.000005), static_cast<double>(917.08f));
  EXPECT_DOUBLE_EQ(WaterDensity(1.5), static_cast<double>(1000.2f));
  EXPECT_EQ(WaterDensity(1), -1.0);
  EXPECT_EQ(WaterDensity(1.00001), -1.0);
  EXPECT_EQ(WaterDensity(150.1), -2.0);
  EXPECT_EQ(DensityTable.size(), 150u);
  EXPECT_FLOAT_EQ(DensityTable[9], 999.94f);
  EXPECT_FLOAT_EQ(DensityTable[99], 958.58f);
}

TEST(FlowArithmetic, VolumeFromMass) {
  EXPECT_EQ(FormatFixed(VolumeFromMass(20.5, 100), 3), "100.167");
  EXPECT_EQ(VolumeFromMass(-3, 100), 0);
  EXPECT_DOUBLE_EQ(VolumeFromMass(1, 100), -100000);  // the signal value passes through
  EXPECT_FALSE(FluidTemperatureInRange(1));
  EXPECT_TRUE(FluidTemperatureInRange(1.5));
  EXPECT_TRUE(FluidTemperatureInRange(150));
  EXPECT_FALSE(FluidTemperatureInRange(150.5));
}

TEST(FlowArithmetic, ErrorAgainstTheUnroundedLimit) {
  const double limit = 2.008;
  const double ok = FlowError(100.50, 100.000) * 100;
  EXPECT_EQ(FormatFixed(ok, 2), "0.50");
  EXPECT_FALSE(OutsideLimit(ok, limit));
  const double bad = FlowError(97.99, 100.000) * 100;
  EXPECT_EQ(FormatFixed(bad, 2), "-2.01");
  EXPECT_TRUE(OutsideLimit(bad, limit));
  EXPECT_FALSE(OutsideLimit(2.0, 2.0));  // exactly at the limit passes
  EXPECT_TRUE(OutsideLimit(0.01, 0));    // a flow point of 0 gives limit 0
}

TEST(FlowArithmetic, CompensationTruncatesTowardZero) {
  EXPECT_EQ(CompensatedCoefficient(10000, 25.00), 7500);
  EXPECT_EQ(CompensatedCoefficient(3, -50.00), 4);
  EXPECT_EQ(CompensatedCoefficient(0, 10), 0);
  EXPECT_EQ(CompensatedCoefficient(100, 150), -50);
}

}  // namespace
}  // namespace qv
