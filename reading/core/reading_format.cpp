#include "reading/core/reading_format.h"

#include "core/number_format.h"
#include "protocol/codec.h"

namespace qv {

std::string StatusBitsText(uint8_t status) {
  static constexpr const char* kBits[] = {"欠压  ", "进水温度有误   ", "回水温度有误   ",
                                          "流量传感器有误  "};
  std::string out;
  for (int bit = 0; bit < 4; ++bit) {
    if (status & (1u << bit)) out += kBits[bit];
  }
  return out;
}

MeteringTexts MeteringTextsOf(const std::optional<MeteringData>& data) {
  MeteringTexts out;
  if (!data) return out;
  bool units_known = true;
  for (size_t i = 0; i < data->quantities.size(); ++i) {
    const auto& q = data->quantities[i];
    out.column[i] = q ? FormatFixed(q->value, q->decimals) : kTextUnknownUnit;
    units_known = units_known && q;
  }
  auto set = [&](ReadingColumn c, std::string text) {
    out.column[static_cast<size_t>(c)] = std::move(text);
  };
  set(ReadingColumn::SupplyTemperature, FormatFixed(data->supplyC, 2));
  set(ReadingColumn::ReturnTemperature, FormatFixed(data->returnC, 2));
  set(ReadingColumn::AccumulatedTime, std::to_string(data->hours));
  set(ReadingColumn::MeterClock, BcdDateTimeText(std::span<const uint8_t, 7>(data->clock)));
  set(ReadingColumn::Status,
      ByteToHex(data->status[0]) + ByteToHex(data->status[1]) + StatusBitsText(data->status[0]));
  set(ReadingColumn::CommResult, units_known ? kTextDataOk : kTextDataUnknownUnit);
  return out;
}

}  // namespace qv
