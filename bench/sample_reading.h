// One flow-window reading of a 20-meter bench, the n-th of a long run: the
// row, the meter volume and the verdict vary with n. The journal and upload
// benchmarks fill their journals with these.
#pragma once

#include <string>

#include "core/journal_records.h"

namespace qv::benchmarks {

inline ReadingRecord SampleReading(int n) {
  ReadingRecord r;
  r.Window = kFlowWindow;
  r.Tester = "Test";
  r.Dn = 20;
  r.Level = 2;
  r.StandardError = 1;
  r.Address = std::to_string(2024000000 + n % 20 + 1);
  r.Row = n % 20 + 1;
  r.FlowPoint = 3;
  r.Flow = 250;
  r.StandardVolume = 20.0;
  r.MeterVolume = 20.0 + (n % 50) / 100.0;
  r.VolumeError = (n % 50) / 20.0;
  r.VolumeLimit = 2.0;
  r.Verdict = n % 50 > 40 ? kVerdictFail : kVerdictPass;
  r.Inlet = 80;
  r.Outlet = 60;
  r.Coefficients = {10000, 10000, 10000, 10000, std::nullopt};
  return r;
}

}  // namespace qv::benchmarks
