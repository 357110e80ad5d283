// Replies to the standard requests (T = 0x20 / 0x21): metering data in the
// layout of the meter's protocol version, and the clock setting.
//
// Metering-data reply, L = 0x2E (59 bytes), offsets from the 0x68:
//   14 G1  19 G2  24 G3  29 G4  34 G5 (5 bytes each: BCD4 value + unit code,
//   or unit code + BCD4 value in the unit-first layout of "M-BusV3.01")
//   39..41 supply, 42..44 return temperature, BCD, hundredths of °C
//   45..47 working time, BCD, hours
//   48..54 meter clock ss mm hh DD MM YY CC, BCD
//   55 status 1 (fault bits)   56 status 2
// Example, "M-BusV2.02", heat 1200 kWh in G2: ... 00 12 00 00 05 ...
#include <algorithm>
#include <chrono>

#include "sim/lib/meter_handlers.h"
#include "sim/lib/meter_model.h"

namespace qv::sim::detail {

namespace {

using namespace std::chrono;

enum class Quantity { kSettlement, kHeat, kCold, kOwnEnergy, kPower, kFlow, kVolume };

// One group: what it carries, its unit code and the factor from the
// quantity (kWh, kW, m³/h, m³) to the BCD value, chosen so that the reading
// window's conversion for that unit gives the quantity back.
struct Group {
  Quantity quantity;
  uint8_t unit;
  double scale;
};

struct Layout {
  ProtocolVersion version;
  bool unit_first;
  std::array<Group, 5> groups;
};

// Unit codes: 05 kWh, 17 kW, 29 L, 2C m³, 32 and 35 flow rate.
constexpr Layout kLayouts[] = {
    {ProtocolVersion::kV201,
     false,
     {{{Quantity::kSettlement, 0x05, 1},
       {Quantity::kHeat, 0x05, 1},
       {Quantity::kCold, 0x05, 1},
       {Quantity::kFlow, 0x35, 10000},
       {Quantity::kVolume, 0x29, 1000}}}},
    {ProtocolVersion::kV202,
     false,
     {{{Quantity::kSettlement, 0x05, 1},
       {Quantity::kHeat, 0x05, 1},
       {Quantity::kCold, 0x05, 1},
       {Quantity::kFlow, 0x32, 10000},
       {Quantity::kVolume, 0x29, 1000}}}},
    {ProtocolVersion::kV203,
     false,
     {{{Quantity::kHeat, 0x05, 1},
       {Quantity::kCold, 0x05, 1},
       {Quantity::kPower, 0x17, 100},
       {Quantity::kFlow, 0x32, 10000},
       {Quantity::kVolume, 0x29, 1000}}}},
    {ProtocolVersion::kV301,
     true,
     {{{Quantity::kSettlement, 0x05, 100},
       {Quantity::kOwnEnergy, 0x05, 100},
       {Quantity::kPower, 0x17, 100},
       {Quantity::kFlow, 0x35, 10000},
       {Quantity::kVolume, 0x2C, 100}}}},
    {ProtocolVersion::kTG,
     false,
     {{{Quantity::kCold, 0x05, 100},
       {Quantity::kHeat, 0x05, 100},
       {Quantity::kPower, 0x17, 100},
       {Quantity::kFlow, 0x35, 10000},
       {Quantity::kVolume, 0x2C, 100}}}},
};

const Layout& LayoutOf(ProtocolVersion v) {
  return *std::find_if(std::begin(kLayouts), std::end(kLayouts),
                       [&](const Layout& l) { return l.version == v; });
}

double QuantityValue(Quantity q, const MeterContext& c) {
  const MeterState& m = c.m;
  switch (q) {
    case Quantity::kSettlement:
      return static_cast<double>(m.shared_heat_wh) / 1000;
    case Quantity::kHeat:
      return static_cast<double>(m.heat_wh) / 1000;
    case Quantity::kCold:
      return static_cast<double>(m.cold_wh) / 1000;
    case Quantity::kOwnEnergy:
      return static_cast<double>(m.kind == MeterKind::kHeat ? m.heat_wh : m.cold_wh) / 1000;
    case Quantity::kPower:
      return MeterPowerKw(m, c.bench);
    case Quantity::kFlow:
      return MeterFlowLph(m, c.bench) / 1000;
    case Quantity::kVolume:
      return static_cast<double>(m.volume_l) / 1000;
  }
  return 0;
}

Bytes ClockBytes(CivilTime t) {
  const auto day = floor<days>(t);
  const year_month_day ymd{day};
  const hh_mm_ss hms{t - day};
  const int year = static_cast<int>(ymd.year());
  const uint64_t fields[] = {static_cast<uint64_t>(hms.seconds().count()),
                             static_cast<uint64_t>(hms.minutes().count()),
                             static_cast<uint64_t>(hms.hours().count()),
                             static_cast<unsigned>(ymd.day()),
                             static_cast<unsigned>(ymd.month()),
                             static_cast<uint64_t>(year % 100),
                             static_cast<uint64_t>(year / 100)};
  Bytes out;
  for (uint64_t f : fields)
    Append(out, IntToBcd(f, 1));
  return out;
}

Bytes MeteringPayload(MeterContext& c, ProtocolVersion version) {
  const Layout& layout = LayoutOf(version);
  Bytes p;
  for (const Group& g : layout.groups) {
    const Bytes value = BcdOf(QuantityValue(g.quantity, c) * g.scale, 4);
    if (layout.unit_first) p.push_back(g.unit);
    Append(p, value);
    if (!layout.unit_first) p.push_back(g.unit);
  }
  Append(p, BcdOf(MeterInletC(c.m, c.bench) * 100, 3));
  Append(p, BcdOf(MeterOutletC(c.m, c.bench) * 100, 3));
  Append(p, IntToBcd(c.m.work_hours, 3));
  Append(p, ClockBytes(c.now + seconds(c.m.clock_offset_s)));
  p.push_back(c.m.status[0]);
  p.push_back(c.m.status[1]);
  return p;
}

}  // namespace

// DI 90 1F: the layout of the meter's own version; a "TG" meter asked with
// 90 1F answers in the common value-first layout of "M-BusV2.02".
bool MeteringDataReply(MeterContext& c, Reply& r) {
  const ProtocolVersion v =
      c.m.protocol == ProtocolVersion::kTG ? ProtocolVersion::kV202 : c.m.protocol;
  r.payload = MeteringPayload(c, v);
  return true;
}

// DI 1F 90: the "TG" layout, whatever the meter's version.
bool MeteringDataTgReply(MeterContext& c, Reply& r) {
  r.payload = MeteringPayload(c, ProtocolVersion::kTG);
  return true;
}

// DI A0 15 (15 A0 under "TG"): ss mm hh DD MM YY CC in BCD. The meter keeps
// the offset to the bench clock, so its clock runs on. A second of 60 rolls
// over into the next minute; an impossible date is refused without a reply.
// Reply, L = 05: the two status bytes.
//   68 20 <A0..A6> 84 05 A0 15 01 00 00 CS 16
bool SetClockReply(MeterContext& c, Reply& r) {
  const std::span<const uint8_t> p(c.request.payload);
  auto field = [&](size_t i) { return static_cast<unsigned>(BcdToInt(p.subspan(i, 1))); };
  const year_month_day ymd{year{static_cast<int>(field(6) * 100 + field(5))}, month{field(4)},
                           day{field(3)}};
  if (!ymd.ok() || field(2) > 23 || field(1) > 59 || field(0) > 60) return false;
  const CivilTime set = sys_days{ymd} + hours{field(2)} + minutes{field(1)} + seconds{field(0)};
  c.m.clock_offset_s = (set - c.now).count();
  r.payload = {c.m.status[0], c.m.status[1]};
  return true;
}

}  // namespace qv::sim::detail
