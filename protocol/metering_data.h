// Decoding of the metering-data reply (C 81) into typed values: the six
// energy and flow quantities with the decimals their layout shows them
// with, the temperatures, the working hours, the meter clock and the status
// bytes. Turning them into the list's texts is the reading window's
// business (reading/core/reading_format.h).
//
// Metering reply, offsets from the 68 (numbers are little-endian BCD):
//   0 68 | 1 T (20 heat, 21 cold) | 2..8 address | 9 C=81 | 10 L | 11..12 DI
//   13 SER | 14..38 five groups G1..G5 of 4 value bytes + 1 unit byte (the
//   unit comes first under "M-BusV3.01") | 39..41 supply °C/100
//   42..44 return °C/100 | 45..47 hours | 48..54 clock ss mm hh DD MM YY CC
//   55 status 1 | 56 status 2 | L+11 CS | L+12 16
// Example group 00 12 00 00 05: 1200 kWh.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qv {

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

// A correct metering reply (C 81, DI 90 1F) under the row's protocol text
// ("M-BusV2.01" .. "M-BusV3.01"; any other text reads as "M-BusV2.02").
// Nothing for a frame too short to hold the data.
std::optional<MeteringData> DecodeMeteringData(std::span<const uint8_t> frame,
                                               std::string_view version);
// A correct metering reply with DI 1F 90, whatever the row's protocol text.
std::optional<MeteringData> DecodeMeteringDataTG(std::span<const uint8_t> frame);

}  // namespace qv
