#include "protocol/metering_data.h"

#include "core/number_format.h"
#include "protocol/codec.h"

namespace qv {
namespace {

// Conversion of one group: each unit code the rule knows, with its factor.
struct UnitFactor {
  uint8_t unit;
  double factor;
};
struct Rule {
  std::array<UnitFactor, 4> units;  // unit 0 with factor 0 ends the list
  int decimals;
};

// clang-format off
constexpr Rule kEnergyA{{{{0x11, 277.78}, {0x05, 1}, {0x08, 1000}, {0x0A, 100000}}}, 0};
constexpr Rule kEnergyB{{{{0x05, 0.01}, {0x08, 10}, {0x0A, 1000}, {0, 0}}}, 2};
constexpr Rule kEnergyC{{{{0x05, 0.01}, {0x08, 10}, {0x0A, 1000}, {0x11, 2.7778}}}, 2};
constexpr Rule kPowerA{{{{0x14, 1e-5}, {0x17, 0.01}, {0x1A, 10}, {0, 0}}}, 2};
constexpr Rule kFlowA{{{{0x32, 1e-4}, {0x35, 0.1}, {0, 0}, {0, 0}}}, 3};
constexpr Rule kFlowA1{{{{0x32, 0.1}, {0x35, 1e-4}, {0, 0}, {0, 0}}}, 3};
constexpr Rule kFlowB4{{{{0x32, 1e-7}, {0x35, 1e-4}, {0, 0}, {0, 0}}}, 4};
constexpr Rule kFlowB3{{{{0x32, 1e-7}, {0x35, 1e-4}, {0, 0}, {0, 0}}}, 3};
constexpr Rule kVolumeA{{{{0x29, 1e-3}, {0x2C, 1}, {0, 0}, {0, 0}}}, 0};
constexpr Rule kVolumeB{{{{0x29, 1e-5}, {0x2C, 0.01}, {0, 0}, {0, 0}}}, 2};
// clang-format on

// Where a column's number comes from: group 1..5 and its rule, or a fixed
// text (group 0), or the heat/cold split of "M-BusV3.01" (group 2 when the
// meter type matches, else "0.00").
struct Source {
  int group;
  const Rule* rule;
  const char* fixed;
  int onlyForType = 0;  // 0x20 heat only, 0x21 cold only (not-heat), 0 always
};

struct Layout {
  bool unitFirst;
  std::array<Source, 6> columns;  // settlement .. accumulated flow
};

// clang-format off
constexpr Layout kV201{false, {{{0, nullptr, "0"}, {2, &kEnergyA, nullptr}, {3, &kEnergyA, nullptr},
                               {0, nullptr, "0.00"}, {4, &kFlowA1, nullptr}, {5, &kVolumeA, nullptr}}}};
constexpr Layout kV202{false, {{{0, nullptr, "0"}, {2, &kEnergyA, nullptr}, {3, &kEnergyA, nullptr},
                               {0, nullptr, "0.00"}, {4, &kFlowA, nullptr}, {5, &kVolumeA, nullptr}}}};
constexpr Layout kV203{false, {{{0, nullptr, "0"}, {1, &kEnergyA, nullptr}, {2, &kEnergyA, nullptr},
                               {3, &kPowerA, nullptr}, {4, &kFlowA, nullptr}, {5, &kVolumeA, nullptr}}}};
constexpr Layout kV301{true, {{{1, &kEnergyB, nullptr}, {2, &kEnergyB, "0.00", 0x20},
                              {2, &kEnergyB, "0.00", 0x21}, {3, &kPowerA, nullptr},
                              {4, &kFlowB4, nullptr}, {5, &kVolumeB, nullptr}}}};
constexpr Layout kTG{false, {{{0, nullptr, "0"}, {2, &kEnergyC, nullptr}, {1, &kEnergyC, nullptr},
                             {3, &kPowerA, nullptr}, {4, &kFlowB3, nullptr}, {5, &kVolumeB, nullptr}}}};
// clang-format on

struct VersionLayout {
  std::string_view text;
  const Layout* layout;
};
constexpr std::array<VersionLayout, 4> kVersions{{{"M-BusV2.01", &kV201},
                                                  {"M-BusV2.02", &kV202},
                                                  {"M-BusV2.03", &kV203},
                                                  {"M-BusV3.01", &kV301}}};

constexpr size_t kGroupsAt = 14;

std::optional<std::string> Convert(std::span<const uint8_t> frame, bool unitFirst,
                                   const Source& src) {
  const bool typeMatches = src.onlyForType == 0 || (src.onlyForType == 0x20) == (frame[1] == 0x20);
  if (src.group == 0 || !typeMatches) return std::string(src.fixed);
  const auto group = frame.subspan(kGroupsAt + 5 * (src.group - 1), 5);
  const uint8_t unit = unitFirst ? group[0] : group[4];
  const double v = static_cast<double>(BcdToInt(group.subspan(unitFirst ? 1 : 0, 4)));
  for (const UnitFactor& u : src.rule->units) {
    if (u.factor != 0 && u.unit == unit) return FormatFixed(v * u.factor, src.rule->decimals);
  }
  return std::nullopt;
}

MeteringTexts Decode(std::span<const uint8_t> frame, const Layout& layout) {
  MeteringTexts out;
  // A correct frame shorter than the layout has no data to show; everything
  // past its end would be read out of bounds.
  if (frame.size() < kMeteringReplyLength) return out;
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    out.column[i] = Convert(frame, layout.unitFirst, layout.columns[i]);
  }
  auto set = [&](ReadingColumn c, std::string text) {
    out.column[static_cast<size_t>(c)] = std::move(text);
  };
  set(ReadingColumn::SupplyTemperature,
      FormatFixed(static_cast<double>(BcdToInt(frame.subspan(39, 3))) / 100, 2));
  set(ReadingColumn::ReturnTemperature,
      FormatFixed(static_cast<double>(BcdToInt(frame.subspan(42, 3))) / 100, 2));
  set(ReadingColumn::AccumulatedTime, std::to_string(BcdToInt(frame.subspan(45, 3))));
  set(ReadingColumn::MeterClock, BcdDateTimeText(frame.subspan<48, 7>()));
  set(ReadingColumn::Status,
      ByteToHex(frame[55]) + ByteToHex(frame[56]) + StatusBitsText(frame[55]));
  set(ReadingColumn::CommResult, kTextDataOk);
  return out;
}

}  // namespace

std::string StatusBitsText(uint8_t status) {
  static constexpr const char* kBits[] = {"欠压  ", "进水温度有误   ", "回水温度有误   ",
                                          "流量传感器有误  "};
  std::string out;
  for (int bit = 0; bit < 4; ++bit) {
    if (status & (1u << bit)) out += kBits[bit];
  }
  return out;
}

MeteringTexts DecodeMeteringData(std::span<const uint8_t> frame, std::string_view version) {
  const Layout* layout = &kV202;
  for (const VersionLayout& v : kVersions) {
    if (v.text == version) layout = v.layout;
  }
  return Decode(frame, *layout);
}

MeteringTexts DecodeMeteringDataTG(std::span<const uint8_t> frame) {
  return Decode(frame, kTG);
}

}  // namespace qv
