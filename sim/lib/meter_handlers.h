// Internal to the meter: the reply being built and the handlers that the
// command table in meter.cpp dispatches to, one per request kind.
#pragma once

#include "sim/lib/meter.h"

namespace qv::sim::detail {

struct Reply {
  uint8_t type = 0;
  SimAddress address;
  uint8_t control = 0;
  DataId di;
  uint8_t serial = 0;
  Bytes payload;
};

struct MeterContext {
  MeterState& m;
  const BenchConditions& bench;
  CivilTime now;
  const SimFrame& request;
};

// Fills `reply` (type, address, control, DI and serial come preset from the
// request) and returns true, or returns false when the meter stays silent.
using Handler = bool (*)(MeterContext& c, Reply& reply);

// Bench family (T = 0x55), meter_bench.cpp.
bool ReadAddressReply(MeterContext& c, Reply& r);
bool WriteAddressReply(MeterContext& c, Reply& r);
bool BenchReadReply(MeterContext& c, Reply& r);
bool UltrasonicReply(MeterContext& c, Reply& r);
bool AccumulatedFlowReply(MeterContext& c, Reply& r);
bool ModeReply(MeterContext& c, Reply& r);
bool TestStepReply(MeterContext& c, Reply& r);
bool CalibrateReply(MeterContext& c, Reply& r);
bool CaliberReply(MeterContext& c, Reply& r);
bool AllCoefficientsReply(MeterContext& c, Reply& r);
bool CoefficientReply(MeterContext& c, Reply& r);
bool LocationReply(MeterContext& c, Reply& r);
bool AccumulatorReply(MeterContext& c, Reply& r);
bool TemperatureReply(MeterContext& c, Reply& r);
bool UnitPipeReply(MeterContext& c, Reply& r);
bool PtNumberReply(MeterContext& c, Reply& r);

// Standard family (T = 0x20 / 0x21), meter_reading.cpp.
bool MeteringDataReply(MeterContext& c, Reply& r);
bool MeteringDataTgReply(MeterContext& c, Reply& r);
bool SetClockReply(MeterContext& c, Reply& r);

// Little-endian BCD of a non-negative quantity rounded to an integer.
Bytes BcdOf(double v, size_t n);
void Append(Bytes& out, const Bytes& more);

}  // namespace qv::sim::detail
