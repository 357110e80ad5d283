// The texts of the meter-reading list: columns 3..14 filled from a decoded
// metering reply ("#0", "#0.00" ... by the decimals its layout gives, the
// meter clock, the status bytes and their fault texts) and the outcome
// texts of an exchange.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/reply_layout.h"

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

// What a decoded reply shows: a text per column (nothing at all for a reply
// that held no data).
struct MeteringTexts {
  std::array<std::optional<std::string>, kReadingColumns> column;
  const std::optional<std::string>& operator[](ReadingColumn c) const {
    return column[static_cast<size_t>(c)];
  }
};

// "欠压  ", "进水温度有误   ", "回水温度有误   ", "流量传感器有误  " for bits 0..3.
std::string StatusBitsText(uint8_t status);

// The columns of a decoded reply, its communication result "数据返回正确";
// a quantity whose unit code its layout does not list shows
// `kTextUnknownUnit`, and the result says the units were not understood.
// Nothing at all for a reply that held no data.
MeteringTexts MeteringTextsOf(const std::optional<MeteringData>& data);

// Communication-result texts.
inline constexpr const char* kTextDataOk = "数据返回正确";
inline constexpr const char* kTextDataIncomplete = "返回数据不完整";
inline constexpr const char* kTextDataChecksum = "返回校验错误";
inline constexpr const char* kTextDataUnknownUnit = "返回数据单位无法识别";
inline constexpr const char* kTextClockOk = "系统对时返回正确";
inline constexpr const char* kTextClockIncomplete = "系统对时返回数据不完整";
inline constexpr const char* kTextClockChecksum = "系统对时返回校验错误";
inline constexpr const char* kTextNoReply = "没有数据返回";
inline constexpr const char* kTextFailedCell = "─";
inline constexpr const char* kTextUnknownUnit = "单位未知";

}  // namespace qv
