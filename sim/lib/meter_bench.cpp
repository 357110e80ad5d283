// Replies to the bench commands (T = 0x55). Unless a read-back is asked
// for, a write is acknowledged with C | 0x80, the request's DI and SER, and
// the request's payload repeated.
#include <algorithm>
#include <cmath>

#include "sim/lib/meter_handlers.h"
#include "sim/lib/meter_model.h"

namespace qv::sim::detail {

namespace {

Bytes Zeros(size_t n) {
  return Bytes(n, 0x00);
}

bool Echo(MeterContext& c, Reply& r) {
  r.payload = c.request.payload;
  return true;
}

uint64_t Bcd(std::span<const uint8_t> p) {
  return BcdToInt(p);
}

// Signed 31-bit magnitude, little-endian, sign in the top bit of the last
// byte (the time difference); or plain little-endian binary.
Bytes SignedLe(int64_t v) {
  const uint64_t mag = static_cast<uint64_t>(v < 0 ? -v : v) & 0x7FFFFFFFULL;
  Bytes out{static_cast<uint8_t>(mag), static_cast<uint8_t>(mag >> 8),
            static_cast<uint8_t>(mag >> 16), static_cast<uint8_t>(mag >> 24)};
  if (v < 0) out[3] |= 0x80;
  return out;
}
Bytes Le(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

// CJ/T 188 unit codes the meters report in.
constexpr uint8_t kUnitWh = 0x05;  // with a value in Wh: shown /1000 as kWh
constexpr uint8_t kUnitLitre = 0x29;
constexpr uint8_t kUnitLph = 0x32;  // L/h

}  // namespace

Bytes BcdOf(double v, size_t n) {
  return IntToBcd(static_cast<uint64_t>(std::llround(std::max(0.0, v))), n);
}

void Append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

// ReadAddress reply, 17 bytes, address = the meter's own:
//   68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 CS 16
bool ReadAddressReply(MeterContext& c, Reply& r) {
  return Echo(c, r);
}

// WriteAddress: the meter takes the new address and answers from it.
//   68 55 <new A0..A6> B5 0B A0 18 01 <new A0..A6> 00 CS 16
bool WriteAddressReply(MeterContext& c, Reply& r) {
  std::copy_n(c.request.payload.begin(), 7, c.m.address.bytes.begin());
  r.address = c.m.address;
  return Echo(c, r);
}

// BenchReadData reply, L = 0x37 (68 bytes), offsets from the 0x68:
//   14..17 volume of the run, BCD, hundredths of L    18 unit 29 (L)
//   19..22 heat of the run, BCD, Wh                   23 unit 05
//   24..26 inlet, 27..29 outlet temperature, BCD, hundredths of °C
//   30..31 00 00   32..33 DN in mm, BCD   34..35 00 00
//   36..51 coefficients 1..4, BCD4 each   52 00
//   53..56 time difference (ps, little-endian, sign in bit 7 of byte 56)
//   57..60 downstream, 61..64 upstream transit time (ps, little-endian)
//   65 00
bool BenchReadReply(MeterContext& c, Reply& r) {
  const double litres = MeterVolumeLitres(c.m, c.bench, c.bench.flow_point);
  const TransitTimes t = MeterTransitTimes(c.m, c.bench);
  Bytes& p = r.payload;
  Append(p, BcdOf(litres * 100, 4));
  p.push_back(kUnitLitre);
  if (c.m.reported_heat) {
    p.insert(p.end(), c.m.reported_heat->begin(), c.m.reported_heat->end());
  } else {
    Append(p, BcdOf(MeterHeatKwh(c.m, c.bench, litres) * 1000, 4));
    p.push_back(kUnitWh);
  }
  Append(p, BcdOf(MeterInletC(c.m, c.bench) * 100, 3));
  Append(p, BcdOf(MeterOutletC(c.m, c.bench) * 100, 3));
  Append(p, Zeros(2));
  Append(p, BcdOf(c.m.dn_mm, 2));
  Append(p, Zeros(2));
  for (size_t i = 0; i < 4; ++i)
    Append(p, BcdOf(c.m.coefficients[i], 4));
  p.push_back(0x00);
  Append(p, SignedLe(t.difference));
  Append(p, Le(t.downstream));
  Append(p, Le(t.upstream));
  p.push_back(0x00);
  return true;
}

// ReadUltrasonicData reply, L = 0x20:
//   14..17 time difference   18..21 downstream   22..25 upstream (as above)
//   26..29 00   30..33 accumulated volume, BCD, L   34 unit 29

// The tail both flow replies share: accumulated volume (BCD4, litres, unit
// 29), flow rate (BCD4, L/h, unit 32), the two status bytes and the 00.
void AppendVolumeFlowStatus(const MeterContext& c, Bytes& p) {
  Append(p, BcdOf(static_cast<double>(c.m.volume_l), 4));
  p.push_back(kUnitLitre);
  Append(p, BcdOf(MeterFlowLph(c.m, c.bench), 4));
  p.push_back(kUnitLph);
  p.push_back(c.m.status[0]);
  p.push_back(c.m.status[1]);
  p.push_back(0x00);
}

//   35..38 flow rate, BCD, L/h   39 unit 32   40..41 status 1, 2   42 00
bool UltrasonicReply(MeterContext& c, Reply& r) {
  const TransitTimes t = MeterTransitTimes(c.m, c.bench);
  Bytes& p = r.payload;
  Append(p, SignedLe(t.difference));
  Append(p, Le(t.downstream));
  Append(p, Le(t.upstream));
  Append(p, Zeros(4));
  AppendVolumeFlowStatus(c, p);
  return true;
}

// ReadAccumulatedFlow reply, L = 0x10:
//   14..17 accumulated volume, BCD, L   18 unit 29
//   19..22 flow rate, BCD, L/h   23 unit 32   24..25 status 1, 2   26 00
bool AccumulatedFlowReply(MeterContext& c, Reply& r) {
  AppendVolumeFlowStatus(c, r.payload);
  return true;
}

// DI 01 10: 01 enter verification, 02 leave it, 00 clear the test data.
bool ModeReply(MeterContext& c, Reply& r) {
  switch (c.request.payload[0]) {
    case 0x01:
      c.m.verifying = true;
      break;
    case 0x02:
      c.m.verifying = false;
      break;
    case 0x00:
      ++c.m.data_clears;
      break;
    default:
      return false;
  }
  return Echo(c, r);
}

// DI 01 01 Initialise, 01 02 StartTest, 01 08 EndTest.
bool TestStepReply(MeterContext& c, Reply& r) {
  c.m.test_running = c.request.di.d1 == 0x02;
  return Echo(c, r);
}

// DI 01 03..01 07: the standard volume of flow point 1..5 (BE4, 1/10000 L).
// The meter rescales that point's coefficient so that its run volume becomes
// the standard volume.
bool CalibrateReply(MeterContext& c, Reply& r) {
  const auto& p = c.request.payload;
  const uint32_t standard = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                            static_cast<uint32_t>(p[2]) << 8 | p[3];
  const int point = c.request.di.d1 - 0x02;
  const size_t i = static_cast<size_t>(point - 1);
  c.m.calibrated[i] = standard;
  const double measured = MeterVolumeLitres(c.m, c.bench, point);
  if (standard > 0 && measured > 0)
    c.m.coefficients[i] =
        static_cast<int32_t>(std::llround(c.m.coefficients[i] * (standard / 10000.0) / measured));
  return Echo(c, r);
}

// DI 01 00: DN (BCD2), 00 00, coefficients 1..4 (BCD4), coefficient 5 when
// the frame is long enough, 00.
bool CaliberReply(MeterContext& c, Reply& r) {
  const std::span<const uint8_t> p(c.request.payload);
  c.m.dn_mm = static_cast<int32_t>(Bcd(p.subspan(0, 2)));
  const size_t count = p.size() >= 25 ? 5 : 4;
  for (size_t i = 0; i < count; ++i)
    c.m.coefficients[i] = static_cast<int32_t>(Bcd(p.subspan(4 + 4 * i, 4)));
  return Echo(c, r);
}

// DI 01 09: coefficients 1..4 (and 5) as BCD4, 00.
bool AllCoefficientsReply(MeterContext& c, Reply& r) {
  const std::span<const uint8_t> p(c.request.payload);
  const size_t count = p.size() >= 21 ? 5 : 4;
  for (size_t i = 0; i < count; ++i)
    c.m.coefficients[i] = static_cast<int32_t>(Bcd(p.subspan(4 * i, 4)));
  return Echo(c, r);
}

// DI 01 0A..01 0E: coefficient 1..5 as BCD4, 00.
bool CoefficientReply(MeterContext& c, Reply& r) {
  const size_t i = static_cast<size_t>(c.request.di.d1 - 0x0A);
  c.m.coefficients[i] =
      static_cast<int32_t>(Bcd(std::span<const uint8_t>(c.request.payload).first(4)));
  return Echo(c, r);
}

// DI 01 0F: installation location byte, 00.
bool LocationReply(MeterContext& c, Reply& r) {
  c.m.location = c.request.payload[0];
  return Echo(c, r);
}

namespace {
// WriteAccumulator sub-codes and the register each one writes.
struct AccumulatorRow {
  uint8_t sub_code;
  uint64_t MeterState::*target;
};
constexpr AccumulatorRow kAccumulators[] = {
    {0x05, &MeterState::heat_wh},        {0x06, &MeterState::cold_wh},
    {0x07, &MeterState::volume_l},       {0x08, &MeterState::work_hours},
    {0x09, &MeterState::shared_heat_wh}, {0x0A, &MeterState::return_volume_l},
};
}  // namespace

// DI 01 11: sub-code, value as BCD6, unit code, 00.
bool AccumulatorReply(MeterContext& c, Reply& r) {
  const std::span<const uint8_t> p(c.request.payload);
  const auto row = std::find_if(std::begin(kAccumulators), std::end(kAccumulators),
                                [&](const AccumulatorRow& a) { return a.sub_code == p[0]; });
  if (row == std::end(kAccumulators)) return false;
  c.m.*(row->target) = Bcd(p.subspan(1, 6));
  return Echo(c, r);
}

// DI 01 12, by the byte at 14:
//   00/01/02 temperature adjustment at the low/mid/high level: BCD2, 00;
//   05 read the pairing: reply 05, nine BCD2 values (offsets 15..32), 00;
//   06/07/08 write the low/mid/high pairing: standard, inlet, return, 00.
bool TemperatureReply(MeterContext& c, Reply& r) {
  const std::span<const uint8_t> p(c.request.payload);
  const uint8_t sub = p[0];
  if (sub <= 0x02) {
    if (p.size() < 3) return false;
    c.m.adjusted[sub] = static_cast<uint16_t>(Bcd(p.subspan(1, 2)));
    c.m.inlet_probe_error = 0;
    c.m.outlet_probe_error = 0;
    return Echo(c, r);
  }
  if (sub == 0x05) {
    r.payload.push_back(0x05);
    for (uint16_t v : c.m.pairing)
      Append(r.payload, IntToBcd(v, 2));
    r.payload.push_back(0x00);
    return true;
  }
  if (sub >= 0x06 && sub <= 0x08) {
    if (p.size() < 7) return false;
    const size_t level = static_cast<size_t>(sub - 0x06);
    for (size_t j = 0; j < 3; ++j)
      c.m.pairing[level * 3 + j] = static_cast<uint16_t>(Bcd(p.subspan(1 + 2 * j, 2)));
    return Echo(c, r);
  }
  return false;
}

// DI 01 13, by the byte at 14 (the value sits at 16):
//   00 read the heat unit: reply 00, flag (01 for GJ), unit code, 00
//   80 write it: 80, flag, unit code, 00
//   01 read the pipe mode: reply 01, 00, mode (01 single, 02 double), 00
//   81 write it: 81, 00, mode, 00
bool UnitPipeReply(MeterContext& c, Reply& r) {
  const std::span<const uint8_t> p(c.request.payload);
  switch (p[0]) {
    case 0x00:
      r.payload = {0x00, static_cast<uint8_t>(c.m.heat_unit == 0x11 ? 0x01 : 0x00), c.m.heat_unit,
                   0x00};
      return true;
    case 0x80:
      c.m.heat_unit = p[2];
      return Echo(c, r);
    case 0x01:
      r.payload = {0x01, 0x00, c.m.pipe_mode, 0x00};
      return true;
    case 0x81:
      c.m.pipe_mode = p[2];
      return Echo(c, r);
    default:
      return false;
  }
}

// DI 01 14: 00 read, 80 write (PT number BCD5 at 15..19). Reply, L = 0x0D:
//   14 sub-code (05 after a read, 06 after a write)  15..17 00
//   18..22 PT number, BCD5   23 00
bool PtNumberReply(MeterContext& c, Reply& r) {
  const std::span<const uint8_t> p(c.request.payload);
  uint8_t sub = 0;
  if (p[0] == 0x00) {
    sub = 0x05;
  } else if (p[0] == 0x80) {
    c.m.pt_number = Bcd(p.subspan(1, 5));
    sub = 0x06;
  } else {
    return false;
  }
  r.payload = {sub, 0x00, 0x00, 0x00};
  Append(r.payload, IntToBcd(c.m.pt_number, 5));
  r.payload.push_back(0x00);
  return true;
}

}  // namespace qv::sim::detail
