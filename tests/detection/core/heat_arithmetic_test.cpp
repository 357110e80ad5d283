#include "detection/core/heat_arithmetic.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "core/number_format.h"
#include "core/shared_state.h"
#include "detection/core/flow_arithmetic.h"

namespace qv {
namespace {

TEST(HeatArithmetic, EnthalpyInterpolatesLikeTheDensity) {
  const double cases[][2] = {{80, 335.45f},        {150, 632.26f},
                             {150.00005, 632.26f}, {20.5, (84.476f + 88.659f) / 2},
                             {1.0001, 0},          {150.001, 0}};
  for (const auto& [t, h] : cases)
    EXPECT_NEAR(WaterEnthalpy(t), h, 1e-9) << t;
}

TEST(HeatArithmetic, LimitOfClassTwoAtDn20) {
  const double limit = ErrorLimit(HeatErrorLimitFormula(1, NominalFlowTable[1], 50, 60, 80), 1, 0);
  EXPECT_NEAR(limit, 4.6, 1e-12);
  EXPECT_EQ(ErrorLimitLabel(limit), " Err(4.60)");
  EXPECT_NEAR(HeatErrorLimitFormula(0, 2500, 50, 80, 60), 3.1, 1e-12);
  EXPECT_NEAR(HeatErrorLimitFormula(2, 2500, 50, 80, 60), 7.1, 1e-12);
  // No limit, and no division, without a flow point or a temperature difference.
  EXPECT_EQ(HeatErrorLimitFormula(1, 2500, 0, 80, 60), 0);
  EXPECT_EQ(HeatErrorLimitFormula(1, 2500, 50, 60, 60.00005), 0);
}

TEST(HeatArithmetic, ReferenceHeatOfOneHundredKilograms) {
  EXPECT_EQ(FormatFixed(*StandardHeat(60, 80, 20, 100, 1), 4), "2.2656");
  EXPECT_EQ(FormatFixed(*StandardHeat(60, 80, 20, 100, 0), 4), "2.2922");
  // Any temperature outside the water tables gives no reference heat.
  for (const auto& [exit, entre, fluid] :
       {std::array{0.5, 80.0, 20.0}, {60.0, 151.0, 20.0}, {60.0, 80.0, 1.0}, {NAN, 80.0, 20.0}}) {
    EXPECT_FALSE(StandardHeat(exit, entre, fluid, 100, 1)) << exit << " " << entre << " " << fluid;
  }
}

TEST(HeatArithmetic, HeatErrorAgainstTheLimit) {
  EXPECT_EQ(*EvaluateHeatError(2.05, 2.0, 4.6), (HeatErrorCell{"2.50", false}));
  EXPECT_EQ(*EvaluateHeatError(1.9, 2.0, 4.6), (HeatErrorCell{"-5.00", true}));
  EXPECT_FALSE(EvaluateHeatError(1.9, 0.000009, 4.6));
  EXPECT_FALSE(EvaluateHeatError(1.9, std::nullopt, 4.6));
}

}  // namespace
}  // namespace qv
