#include "detection/core/flow_bench_values.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// Class 2, DN 20, flow points 50 .. 5000 L/h, no factor or offset.
SystemSettings ClassTwoDn20() {
  SystemSettings s;
  s.MeasurementLevel = 1;
  s.DN = 1;
  s.SetFlowPoints({50, 0, 250, 2500, 5000});
  s.StandardError = 1;
  s.ErrorCorrection = 0;
  return s;
}

TEST(FlowBenchValues, LimitsAndLabelsPerFlowPoint) {
  SystemSettings s = ClassTwoDn20();
  FlowBenchValues v(s);
  v.ComputeLimits();
  EXPECT_DOUBLE_EQ(v.Limit(0), 2.008);
  EXPECT_EQ(v.LimitLabel(0), " Err(2.01)");
  EXPECT_EQ(v.Limit(1), 0);  // flow point 0: every non-zero error shows red
  EXPECT_EQ(v.LimitLabel(1), " Err(0.00)");
  // Factor and offset, and a recomputation after a settings change.
  s.StandardError = 0.5;
  s.ErrorCorrection = 0.25;
  v.ComputeLimits();
  EXPECT_DOUBLE_EQ(v.Limit(0), 2.008 * 0.5 + 0.25);
  // A DN outside the table counts as no diameter.
  s.DN = 40;
  v.ComputeLimits();
  EXPECT_DOUBLE_EQ(v.Limit(0), 2 * 0.5 + 0.25);
}

TEST(FlowBenchValues, ErrorAgainstThePointsOwnStandardVolume) {
  const SystemSettings s = ClassTwoDn20();
  FlowBenchValues v(s);
  v.ComputeLimits();
  EXPECT_FALSE(v.Evaluate(0, 100.5));  // no standard volume yet
  v.SetStandardVolume(0, 100.0);
  EXPECT_EQ(v.StandardVolume(0), 100.0);
  auto ok = v.Evaluate(0, 100.50);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->Text, "0.50");
  EXPECT_FALSE(ok->Outside);
  // -2.01 shown, outside 2.008 although the label reads Err(2.01).
  auto bad = v.Evaluate(0, 97.99);
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->Text, "-2.01");
  EXPECT_TRUE(bad->Outside);
  // Exactly at the limit passes.
  EXPECT_FALSE(v.Evaluate(0, 102.008)->Outside);
  // Every point is measured against its own standard volume and limit,
  // whatever point is selected.
  v.SetSelectedFlowPoint(1);
  EXPECT_FALSE(v.Evaluate(1, 100.5));
  v.SetStandardVolume(1, 50.0);
  EXPECT_EQ(v.Evaluate(0, 100.5)->Text, "0.50");
  EXPECT_EQ(v.Evaluate(1, 51.0)->Text, "2.00");
  EXPECT_TRUE(v.Evaluate(1, 51.0)->Outside);
  v.SetSelectedFlowPoint(7);  // out of range: unchanged
  EXPECT_EQ(v.SelectedFlowPoint(), 1);
}

TEST(FlowBenchValues, Weighing) {
  Weighing w = FlowBenchValues::Weigh(10, 110, 20.5);
  EXPECT_EQ(w.Outcome, WeighingOutcome::kDone);
  EXPECT_EQ(w.Weight, "100");
  EXPECT_EQ(w.Volume, "100.167");
  w = FlowBenchValues::Weigh(0, 99.5, std::nullopt);
  EXPECT_EQ(w.Outcome, WeighingOutcome::kNoFluid);
  EXPECT_EQ(w.Weight, "99.5");
  EXPECT_EQ(w.Volume, "");
  EXPECT_EQ(FlowBenchValues::Weigh(50, 49.9, 20).Outcome, WeighingOutcome::kNegative);
  EXPECT_EQ(FlowBenchValues::Weigh(0, 0, 20).Volume, "0.000");
  EXPECT_EQ(FlowBenchValues::VolumeOf(100, 20).Volume, "100.156");
}

TEST(FlowBenchValues, FluidOutsideTheTableGivesNoVolume) {
  // At 1 °C the table signals -1: the volume would be -100000 L.
  for (double t : {1.0, 0.5, -3.0, 150.5}) {
    const Weighing w = FlowBenchValues::VolumeOf(100, t);
    EXPECT_EQ(w.Outcome, WeighingOutcome::kFluidOutOfRange) << t;
    EXPECT_EQ(w.Weight, "100") << t;
    EXPECT_EQ(w.Volume, "") << t;
  }
  EXPECT_EQ(FlowBenchValues::VolumeOf(100, 1.5).Outcome, WeighingOutcome::kDone);
  EXPECT_EQ(FlowBenchValues::VolumeOf(100, 150).Outcome, WeighingOutcome::kDone);
}

TEST(FlowBenchValues, ShortestDecimal) {
  EXPECT_EQ(ShortestDecimal(100), "100");
  EXPECT_EQ(ShortestDecimal(0.1), "0.1");
  EXPECT_EQ(ShortestDecimal(110.3 - 10.1), "100.2");
  EXPECT_EQ(ShortestDecimal(-0.0), "0");
}

}  // namespace
}  // namespace qv
