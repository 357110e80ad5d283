#include "protocol/metering_data.h"

#include <algorithm>

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

// Where a quantity comes from: group 1..5 and its rule, or a fixed zero
// (group 0) shown with `fixedDecimals`, or the heat/cold split of
// "M-BusV3.01" (the group when the meter type matches, else a zero).
struct Source {
  int group;
  const Rule* rule;
  int fixedDecimals;
  int onlyForType = 0;  // 0x20 heat only, 0x21 cold only (not-heat), 0 always
};

struct Layout {
  bool unitFirst;
  std::array<Source, kMeteringQuantities> columns;  // settlement .. accumulated flow
};

// clang-format off
constexpr Layout kV201{false, {{{0, nullptr, 0}, {2, &kEnergyA, 0}, {3, &kEnergyA, 0},
                               {0, nullptr, 2}, {4, &kFlowA1, 0}, {5, &kVolumeA, 0}}}};
constexpr Layout kV202{false, {{{0, nullptr, 0}, {2, &kEnergyA, 0}, {3, &kEnergyA, 0},
                               {0, nullptr, 2}, {4, &kFlowA, 0}, {5, &kVolumeA, 0}}}};
constexpr Layout kV203{false, {{{0, nullptr, 0}, {1, &kEnergyA, 0}, {2, &kEnergyA, 0},
                               {3, &kPowerA, 0}, {4, &kFlowA, 0}, {5, &kVolumeA, 0}}}};
constexpr Layout kV301{true, {{{1, &kEnergyB, 0}, {2, &kEnergyB, 2, 0x20},
                              {2, &kEnergyB, 2, 0x21}, {3, &kPowerA, 0},
                              {4, &kFlowB4, 0}, {5, &kVolumeB, 0}}}};
constexpr Layout kTG{false, {{{0, nullptr, 0}, {2, &kEnergyC, 0}, {1, &kEnergyC, 0},
                             {3, &kPowerA, 0}, {4, &kFlowB3, 0}, {5, &kVolumeB, 0}}}};
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

std::optional<ShownNumber> Convert(std::span<const uint8_t> frame, bool unitFirst,
                                   const Source& src) {
  const bool typeMatches = src.onlyForType == 0 || (src.onlyForType == 0x20) == (frame[1] == 0x20);
  if (src.group == 0 || !typeMatches) return ShownNumber{0, src.fixedDecimals};
  const auto group = frame.subspan(kGroupsAt + 5 * (src.group - 1), 5);
  const uint8_t unit = unitFirst ? group[0] : group[4];
  const double v = static_cast<double>(BcdToInt(group.subspan(unitFirst ? 1 : 0, 4)));
  for (const UnitFactor& u : src.rule->units) {
    if (u.factor != 0 && u.unit == unit) return ShownNumber{v * u.factor, src.rule->decimals};
  }
  return std::nullopt;
}

std::optional<MeteringData> Decode(std::span<const uint8_t> frame, const Layout& layout) {
  // A correct frame shorter than the layout has no data to show; everything
  // past its end would be read out of bounds.
  if (frame.size() < kMeteringReplyLength) return std::nullopt;
  MeteringData out;
  out.type = frame[1];
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    out.quantities[i] = Convert(frame, layout.unitFirst, layout.columns[i]);
  }
  out.supplyC = static_cast<double>(BcdToInt(frame.subspan(39, 3))) / 100;
  out.returnC = static_cast<double>(BcdToInt(frame.subspan(42, 3))) / 100;
  out.hours = static_cast<uint32_t>(BcdToInt(frame.subspan(45, 3)));
  std::copy_n(frame.begin() + 48, out.clock.size(), out.clock.begin());
  out.status = {frame[55], frame[56]};
  return out;
}

}  // namespace

std::optional<MeteringData> DecodeMeteringData(std::span<const uint8_t> frame,
                                               std::string_view version) {
  const Layout* layout = &kV202;
  for (const VersionLayout& v : kVersions) {
    if (v.text == version) layout = v.layout;
  }
  return Decode(frame, *layout);
}

std::optional<MeteringData> DecodeMeteringDataTG(std::span<const uint8_t> frame) {
  return Decode(frame, kTG);
}

}  // namespace qv
