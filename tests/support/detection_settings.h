// The settings of a small bench the detection tests run on: class 2, DN 20
// (nominal flow 2500 L/h), flow points 50 .. 5000 L/h, five points, fluid
// 20 °C, one line, two attempts of a second each.
#pragma once

#include "core/shared_state.h"

namespace qv::test {

inline void DetectionSettings(SystemSettings& s, int meters) {
  s.MeterNum = meters;
  s.FluxNum = 5;
  s.MeterType = 0;
  s.DN = 1;  // 20 mm
  s.MeasurementLevel = 1;
  s.SetFlowPoints({50, 25, 250, 2500, 5000});
  s.StandardError = 1;
  s.ErrorCorrection = 0;
  s.ReadAgainTimes = 2;
  s.CommWaitTimer = 1000;
  s.CommType = kCommSingle;
  s.FluidTerm = 20;
  s.OperatorName = "Test";
  s.TestDate = "2024-03-05";
}

}  // namespace qv::test
