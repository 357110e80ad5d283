// Decoding of the metering-data reply (C 81) and the clock-set reply (C 84)
// into the texts of the meter-reading list.
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
#include <string>
#include <string_view>

namespace qv {

// Columns 3..14 of the meter-reading list, in order.
enum class ReadingColumn : uint8_t {
  Settlement,  // "结算日冷热量(Kwh)"
  CurrentHeat,
  CurrentCold,
  HeatPower,
  FlowRate,
  AccumulatedFlow,
  SupplyTemperature,
  ReturnTemperature,
  AccumulatedTime,
  MeterClock,
  Status,
  CommResult,  // "通讯情况"
};
inline constexpr int kReadingColumns = 12;

// What a decoded reply shows: a text per column, or nothing where the column
// keeps its previous text (a unit code the rule does not know).
struct MeteringTexts {
  std::array<std::optional<std::string>, kReadingColumns> column;
  const std::optional<std::string>& operator[](ReadingColumn c) const {
    return column[static_cast<size_t>(c)];
  }
};

// A metering reply through its status bytes, checksum and end byte.
inline constexpr size_t kMeteringReplyLength = 59;

// "欠压  ", "进水温度有误   ", "回水温度有误   ", "流量传感器有误  " for bits 0..3.
std::string StatusBitsText(uint8_t status);

// A correct metering reply (C 81, DI 90 1F) under the row's protocol text
// ("M-BusV2.01" .. "M-BusV3.01"; any other text reads as "M-BusV2.02").
MeteringTexts DecodeMeteringData(std::span<const uint8_t> frame, std::string_view version);
// A correct metering reply with DI 1F 90, whatever the row's protocol text.
MeteringTexts DecodeMeteringDataTG(std::span<const uint8_t> frame);

// Communication-result texts.
inline constexpr const char* kTextDataOk = "数据返回正确";
inline constexpr const char* kTextDataIncomplete = "返回数据不完整";
inline constexpr const char* kTextDataChecksum = "返回校验错误";
inline constexpr const char* kTextClockOk = "系统对时返回正确";
inline constexpr const char* kTextClockIncomplete = "系统对时返回数据不完整";
inline constexpr const char* kTextClockChecksum = "系统对时返回校验错误";
inline constexpr const char* kTextNoReply = "没有数据返回";
inline constexpr const char* kTextFailedCell = "─";

}  // namespace qv
