// Reply layouts: where each field of a meter's reply stands, how it is coded
// and what one step of it is worth, decoded into small typed structs. Every
// field of every meter reply is read here and nowhere else; BCD digits above
// 9 are read as codec.h says. Turning the numbers into cell text is the
// windows' business.
//
// Offsets count from the 68 of the reply; the header (T, address, C, L, DI,
// SER) is frame.h's. Data start at 14.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// What reads a confirming reply's data; a window's operation table names
// the layout of each operation.
enum class ReplyLayout : uint8_t {
  kNone,
  kBenchRead,        // BenchRead (the coefficient read-back reads it too)
  kMeteringData,     // MeteringData
  kClock,            // no data examined
  kUltrasonicFlow,   // FlowReading
  kAccumulatedFlow,  // FlowReading
  kPairing,          // ReadPairing
  kHeatUnit,         // ReadHeatUnit
  kPipe,             // ReadPipeMode
  kPtNumber,         // ReadPtNumber
};

// --- bench read ---------------------------------------------------------
// Bench read reply (C A1, DI 90 1F, L 37):
//   14..17 volume, BCD, hundredths of a litre (thousandths of m³ when the
//   unit at 18 is 2C) | 19..22 heat, BCD, Wh, x10^(unit-5) for units 05..0A
//   at 23, any other unit as 05 | 24..26 inlet °C/100 | 27..29 outlet °C/100
//   36, 40, 44, 48 coefficients of flow points 1..4, BCD4
// Example: 34 12 00 00 at 14 with unit 2C reads 0.01234 L, with 29 12.34 L;
// heat 78 56 34 12 with unit 08 reads 12345678.000 kWh, with 05 12345.678;
// 1A 2B 3C 4D with unit 06 reads 534231.200 (digits above 9 as 10..15).
// Large pipe sizes use the same scale: there is no separate large-meter one.
struct BenchRead {
  double VolumeL = 0;
  double HeatKWh = 0;
  double EntreC = 0;
  double ExitC = 0;
  std::array<int64_t, 4> Coefficients{};
};
// Through the fourth coefficient.
inline constexpr size_t kBenchReadMinLength = 52;
// A reply shorter than `kBenchReadMinLength` reads as nothing.
std::optional<BenchRead> DecodeBenchRead(std::span<const uint8_t> frame);

// The coefficient read-back of the parameter settings window is a bench
// read; with L = 37 (68 bytes) it also carries the ultrasonic transit times:
//   53..56  time difference, binary, byte 53 lowest; bit 7 of 56 = negative
//   57..60  downstream, 61..64 upstream transit time, binary, lowest first
// Example: 78 56 34 92 at 53 reads a difference of -0x12345678.
struct TransitTimes {
  bool Negative = false;    // the difference's sign bit
  uint32_t Difference = 0;  // without the sign bit
  uint32_t Downstream = 0;
  uint32_t Upstream = 0;
};
struct CoefficientReadBack {
  std::optional<std::array<int64_t, 4>> Coefficients;  // a reply too short has none
  std::optional<TransitTimes> Times;                   // only when L is 37
};
CoefficientReadBack DecodeCoefficientReadBack(std::span<const uint8_t> frame);

// --- read address -------------------------------------------------------
// Read address reply (17 bytes; L is not relied on):
//   68 55 A0..A6 A3 04 81 0A SER 00 CS 16
//   0  1  2..8   9  10 11 12 13  14 15 16
// CS at 15 is the sum of bytes 0..14. Example, meter 00002024000001:
//   68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16
// Only the first 68 55 of `received` (the bytes a line received) is looked
// at; the address (bytes 8 down to 2, upper-case hex) when it is the reply,
// else nothing.
std::optional<std::string> AcceptAddressReply(std::span<const uint8_t> received);

// --- other parameters ---------------------------------------------------
// Replies of type 55:
//   ReadUltrasonicData (C A1, DI 90 1E): 30..33 accumulated flow, BCD4, unit
//   at 34 | 35..38 flow, BCD4, unit at 39 | status bytes 40, 41
//   ReadAccumulatedFlow (C A1, DI 90 1D): 14..17 accumulated flow, unit at
//   18 | 19..22 flow, unit at 23 | status bytes 24, 25
//   ReadTemperaturePairing (C A4, DI 01 12, sub-code 05 at 14): nine BCD2 at
//   15, 17 .. 31, hundredths of a degree (00 25 at 15 reads 25.00)
//   ReadHeatUnit / ReadPipe (C A4, DI 01 13, 00 / 01 at 14): the code at 16,
//   as WriteHeatUnit / WritePipe send it (05 kWh, 11 GJ; 01 single, 02 double)
//   ReadPtNumber (C A4, DI 01 14, 05 at 14): 18..22 PT number, BCD5
// Example: 56 34 12 00 29 at 14 reads 1234.56 (unit 29), 2C reads 1234560.
// Units of the accumulated flow: 29 x0.01, 2A x0.1, 2B x1, 2C x10; of the
// flow: 32 x0.001, 33 x0.01, 34 x0.1, 35 x1. A unit code not listed reads
// as nothing (the display keeps its value).
struct FlowReading {
  std::optional<double> AccFlow;
  std::optional<double> Flow;
  std::optional<std::array<uint8_t, 2>> Status;  // as they stand in the reply
};
// `layout`: kUltrasonicFlow or kAccumulatedFlow.
FlowReading ReadFlowReply(std::span<const uint8_t> frame, ReplyLayout layout);
inline constexpr size_t kPairingValues = 9;
// Low standard, supply, return, then middle, then high; nothing when the
// reply is too short for all nine.
std::optional<std::array<double, kPairingValues>> ReadPairing(std::span<const uint8_t> frame);
// Indices into kHeatUnitBytes and kPipeModeBytes (protocol/commands.h);
// nothing for a code not listed there.
std::optional<int> ReadHeatUnit(std::span<const uint8_t> frame);
std::optional<int> ReadPipeMode(std::span<const uint8_t> frame);
std::optional<uint64_t> ReadPtNumber(std::span<const uint8_t> frame);

// --- metering data ------------------------------------------------------
// Metering reply (C 81), numbers little-endian BCD:
//   0 68 | 1 T (20 heat, 21 cold) | 2..8 address | 9 C=81 | 10 L | 11..12 DI
//   13 SER | 14..38 five groups G1..G5 of 4 value bytes + 1 unit byte (the
//   unit comes first under "M-BusV3.01") | 39..41 supply °C/100
//   42..44 return °C/100 | 45..47 hours | 48..54 clock ss mm hh DD MM YY CC
//   55 status 1 | 56 status 2 | L+11 CS | L+12 16
// Example group 00 12 00 00 05: 1200 kWh.

// A number and the decimals it is shown with (a layout's fixed "0" is 0
// with none, its fixed "0.00" is 0 with two).
struct ShownNumber {
  double value = 0;
  int decimals = 0;
};

// The quantities of the groups, in list order.
enum class MeteringQuantity : uint8_t {
  Settlement,       // kWh
  CurrentHeat,      // kWh
  CurrentCold,      // kWh
  HeatPower,        // kW
  FlowRate,         // m³/h
  AccumulatedFlow,  // m³
};
inline constexpr int kMeteringQuantities = 6;

struct MeteringData {
  uint8_t type = 0;  // T: 20 heat, 21 cold
  bool tg = false;   // read with the TG layout (the reply carried DI 1F 90)
  // Nothing where the group's unit code is not one its rule knows.
  std::array<std::optional<ShownNumber>, kMeteringQuantities> quantities{};
  double supplyC = 0;  // hundredths of °C in the reply
  double returnC = 0;
  uint32_t hours = 0;
  std::array<uint8_t, 7> clock{};   // ss mm hh DD MM YY CC, BCD
  std::array<uint8_t, 2> status{};  // status 1 (fault bits), status 2

  const std::optional<ShownNumber>& operator[](MeteringQuantity q) const {
    return quantities[static_cast<size_t>(q)];
  }
};

// A metering reply through its status bytes, checksum and end byte.
inline constexpr size_t kMeteringReplyLength = 59;

// A correct metering reply: one carrying DI 1F 90 in the TG layout whatever
// the row's protocol text; one carrying 90 1F in the layout of the row's
// text ("M-BusV2.01" .. "M-BusV3.01"; any other text reads as
// "M-BusV2.02"). Nothing for a frame too short to hold the data.
std::optional<MeteringData> DecodeMeteringData(std::span<const uint8_t> frame,
                                               std::string_view version);

}  // namespace qv
