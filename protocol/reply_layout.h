// Reply layouts as data: where each number of a reply stands, how it is
// coded and what one step of it is worth, decoded into small typed structs.
// Turning the numbers into cell text is the windows' business.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace qv {

// kBinaryLE: the byte at the lowest offset is the least significant.
enum class Coding : uint8_t { kBcd, kBinaryBE, kBinaryLE };

// What one step of a raw number is worth: raw x multiply / divide is the
// value in the field's unit (kept as two numbers so that a division by 100
// stays exactly that, not a multiplication by an inexact 0.01).
struct Scale {
  double multiply;
  double divide;
};
// A unit code and the scale it selects.
struct UnitScale {
  uint8_t unit;
  Scale scale;
};

// One number of a reply. With `unitAt` set, the byte there selects the
// scale from `units`; a code not listed takes `scale`.
struct FieldLayout {
  uint8_t offset;  // from the 68
  uint8_t length;  // bytes (BCD: little-endian, two digits a byte)
  Coding coding;
  Scale scale;
  int8_t unitAt = -1;  // offset of the unit byte, -1 = none
  std::span<const UnitScale> units{};
};

// The field's value; nothing when the frame is too short to hold it (or its
// unit byte).
std::optional<double> ReadField(std::span<const uint8_t> frame, const FieldLayout& field);
// The raw number of a field, unscaled.
std::optional<uint64_t> ReadRaw(std::span<const uint8_t> frame, const FieldLayout& field);

// Bench read reply (C A1, DI 90 1F, L 37), offsets from the 68:
//   14..17 volume, BCD, hundredths of a litre (thousandths of m³ when the
//   unit at 18 is 2C) | 19..22 heat, BCD, Wh, x10^(unit-5) for units 05..0A
//   at 23 | 24..26 inlet °C/100 | 27..29 outlet °C/100
//   36, 40, 44, 48 coefficients of flow points 1..4, BCD4
// Example: 34 12 00 00 at 14 with unit 2C reads 0.01234 L, with 29 12.34 L;
// heat 78 56 34 12 with unit 08 reads 12345678.000 kWh, with 05 12345.678.
struct BenchRead {
  double VolumeL = 0;
  double HeatKWh = 0;
  double EntreC = 0;
  double ExitC = 0;
  std::array<int64_t, 4> Coefficients{};
};
// The heat field alone (it lies within the shortest bench read).
std::optional<double> ReadBenchHeat(std::span<const uint8_t> frame);
// Through the fourth coefficient.
inline constexpr size_t kBenchReadMinLength = 52;
// A reply shorter than `kBenchReadMinLength` reads as nothing.
std::optional<BenchRead> DecodeBenchRead(std::span<const uint8_t> frame);

// Other parameters replies (type 55), offsets from the 68:
//   ReadUltrasonicData (C A1, DI 90 1E): 30..33 accumulated flow, BCD4, unit
//   at 34 | 35..38 flow, BCD4, unit at 39 | status bytes 40, 41
//   ReadAccumulatedFlow (C A1, DI 90 1D): 14..17 accumulated flow, unit at
//   18 | 19..22 flow, unit at 23 | status bytes 24, 25
//   ReadTemperaturePairing (C A4, DI 01 12, sub-code 05 at 14): nine BCD2 at
//   15, 17 .. 31, hundredths of a degree (00 25 at 15 reads 25.00)
//   ReadHeatUnit / ReadPipe (C A4, DI 01 13, 00 / 01 at 14): the code at 16
//   ReadPtNumber (C A4, DI 01 14, 05 at 14): 18..22 PT number, BCD5
// Example: 56 34 12 00 29 at 14 reads 1234.56 (unit 29), 2C reads 1234560.
// A unit code not listed reads as nothing (the display keeps its value).
inline constexpr UnitScale kAccFlowUnits[] = {
    {0x29, {1, 100}}, {0x2A, {1, 10}}, {0x2B, {1, 1}}, {0x2C, {10, 1}}};
inline constexpr UnitScale kFlowRateUnits[] = {
    {0x32, {1, 1000}}, {0x33, {1, 100}}, {0x34, {1, 10}}, {0x35, {1, 1}}};
struct FlowReplyLayout {
  FieldLayout AccFlow;
  FieldLayout Flow;
  uint8_t StatusLow;  // the status byte at the lower offset; the other follows
};
inline constexpr FlowReplyLayout kUltrasonicFlowLayout{
    {30, 4, Coding::kBcd, {1, 1}, 34, kAccFlowUnits},
    {35, 4, Coding::kBcd, {1, 1}, 39, kFlowRateUnits},
    40};
inline constexpr FlowReplyLayout kAccumulatedFlowLayout{
    {14, 4, Coding::kBcd, {1, 1}, 18, kAccFlowUnits},
    {19, 4, Coding::kBcd, {1, 1}, 23, kFlowRateUnits},
    24};
inline constexpr uint8_t kPairingFirst = 15;
inline constexpr size_t kPairingValues = 9;
inline constexpr FieldLayout PairingField(size_t k) {
  return {static_cast<uint8_t>(kPairingFirst + 2 * k), 2, Coding::kBcd, {1, 100}};
}
inline constexpr uint8_t kUnitPipeCodeAt = 16;
inline constexpr FieldLayout kPtNumberField{18, 5, Coding::kBcd, {1, 1}};
// A field whose unit byte is one of its `units`: that scale; else nothing.
std::optional<double> ReadUnitField(std::span<const uint8_t> frame, const FieldLayout& field);

}  // namespace qv
