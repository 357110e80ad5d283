#include "protocol/reply_layout.h"

#include <algorithm>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "protocol/frame.h"

namespace qv {
namespace {

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
  uint8_t length;  // bytes
  Coding coding;
  Scale scale;
  int8_t unitAt = -1;  // offset of the unit byte, -1 = none
  std::span<const UnitScale> units{};
};

constexpr Scale kOne{1, 1};
constexpr Scale kHundredths{1, 100};

// Bench read.
// Volume: hundredths of a litre, or thousandths of a cubic metre (2C).
constexpr UnitScale kVolumeUnits[] = {{0x2C, {1, 100000}}};
// Heat: x1, x10 .. x100000 for units 05..0A, then thousandths (kWh); any
// other unit code as 05.
constexpr UnitScale kHeatUnits[] = {{0x05, {1, 1000}},     {0x06, {10, 1000}},
                                    {0x07, {100, 1000}},   {0x08, {1000, 1000}},
                                    {0x09, {10000, 1000}}, {0x0A, {100000, 1000}}};
constexpr FieldLayout kVolume{14, 4, Coding::kBcd, kHundredths, 18, kVolumeUnits};
constexpr FieldLayout kHeat{19, 4, Coding::kBcd, {1, 1000}, 23, kHeatUnits};
constexpr FieldLayout kEntre{24, 3, Coding::kBcd, kHundredths};
constexpr FieldLayout kExit{27, 3, Coding::kBcd, kHundredths};
constexpr std::array<FieldLayout, 4> kCoefficients{{{36, 4, Coding::kBcd, kOne},
                                                    {40, 4, Coding::kBcd, kOne},
                                                    {44, 4, Coding::kBcd, kOne},
                                                    {48, 4, Coding::kBcd, kOne}}};
// The long coefficient read-back.
constexpr uint8_t kLongReadBack = 0x37;
constexpr uint32_t kSignBit = 0x80000000u;
constexpr FieldLayout kDifference{53, 4, Coding::kBinaryLE, kOne};
constexpr FieldLayout kDownstream{57, 4, Coding::kBinaryLE, kOne};
constexpr FieldLayout kUpstream{61, 4, Coding::kBinaryLE, kOne};

// Read address: the sum of the reply's first 15 bytes stands right after
// them.
constexpr size_t kAddressSummed = 15;

// Other parameters.
constexpr UnitScale kAccFlowUnits[] = {
    {0x29, {1, 100}}, {0x2A, {1, 10}}, {0x2B, {1, 1}}, {0x2C, {10, 1}}};
constexpr UnitScale kFlowRateUnits[] = {
    {0x32, {1, 1000}}, {0x33, {1, 100}}, {0x34, {1, 10}}, {0x35, {1, 1}}};
struct FlowReplyLayout {
  FieldLayout AccFlow;
  FieldLayout Flow;
  uint8_t StatusAt;  // two status bytes
};
constexpr FlowReplyLayout kUltrasonicFlow{{30, 4, Coding::kBcd, kOne, 34, kAccFlowUnits},
                                          {35, 4, Coding::kBcd, kOne, 39, kFlowRateUnits},
                                          40};
constexpr FlowReplyLayout kAccumulatedFlow{{14, 4, Coding::kBcd, kOne, 18, kAccFlowUnits},
                                           {19, 4, Coding::kBcd, kOne, 23, kFlowRateUnits},
                                           24};
constexpr FieldLayout PairingField(size_t k) {
  return {static_cast<uint8_t>(15 + 2 * k), 2, Coding::kBcd, kHundredths};
}
constexpr size_t kUnitPipeCodeAt = 16;
constexpr FieldLayout kPtNumber{18, 5, Coding::kBcd, kOne};

// Metering data.
constexpr size_t kGroupsAt = 14;
constexpr size_t kGroupBytes = 5;
constexpr FieldLayout kSupply{39, 3, Coding::kBcd, kHundredths};
constexpr FieldLayout kReturn{42, 3, Coding::kBcd, kHundredths};
constexpr FieldLayout kHours{45, 3, Coding::kBcd, kOne};
constexpr size_t kClockAt = 48;
constexpr size_t kStatusAt = 55;

// The raw number of a field, unscaled; nothing when the frame is too short.
std::optional<uint64_t> ReadRaw(std::span<const uint8_t> frame, const FieldLayout& f) {
  if (frame.size() < static_cast<size_t>(f.offset) + f.length) return std::nullopt;
  return NumberOf(frame.subspan(f.offset, f.length), f.coding);
}

// The field's value; nothing when the frame is too short to hold it (or its
// unit byte).
std::optional<double> ReadField(std::span<const uint8_t> frame, const FieldLayout& f) {
  const std::optional<uint64_t> raw = ReadRaw(frame, f);
  if (!raw) return std::nullopt;
  Scale scale = f.scale;
  if (f.unitAt >= 0) {
    if (frame.size() <= static_cast<size_t>(f.unitAt)) return std::nullopt;
    for (const UnitScale& u : f.units) {
      if (u.unit == frame[static_cast<size_t>(f.unitAt)]) scale = u.scale;
    }
  }
  return static_cast<double>(*raw) * scale.multiply / scale.divide;
}

// A field whose unit byte is one of its `units`: that scale; else nothing.
std::optional<double> ReadUnitField(std::span<const uint8_t> frame, const FieldLayout& field) {
  if (frame.size() <= static_cast<size_t>(field.unitAt)) return std::nullopt;
  const uint8_t unit = frame[static_cast<size_t>(field.unitAt)];
  for (const UnitScale& u : field.units) {
    if (u.unit == unit) return ReadField(frame, field);
  }
  return std::nullopt;
}

std::optional<uint8_t> CodeByte(std::span<const uint8_t> frame) {
  if (frame.size() <= kUnitPipeCodeAt) return std::nullopt;
  return frame[kUnitPipeCodeAt];
}

// Conversion of one metering group: each unit code the rule knows, with
// its factor.
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

struct MeteringLayout {
  bool unitFirst;
  std::array<Source, kMeteringQuantities> columns;  // settlement .. accumulated flow
};

// clang-format off
constexpr MeteringLayout kV201{false, {{{0, nullptr, 0}, {2, &kEnergyA, 0}, {3, &kEnergyA, 0},
                                       {0, nullptr, 2}, {4, &kFlowA1, 0}, {5, &kVolumeA, 0}}}};
constexpr MeteringLayout kV202{false, {{{0, nullptr, 0}, {2, &kEnergyA, 0}, {3, &kEnergyA, 0},
                                       {0, nullptr, 2}, {4, &kFlowA, 0}, {5, &kVolumeA, 0}}}};
constexpr MeteringLayout kV203{false, {{{0, nullptr, 0}, {1, &kEnergyA, 0}, {2, &kEnergyA, 0},
                                       {3, &kPowerA, 0}, {4, &kFlowA, 0}, {5, &kVolumeA, 0}}}};
constexpr MeteringLayout kV301{true, {{{1, &kEnergyB, 0}, {2, &kEnergyB, 2, 0x20},
                                      {2, &kEnergyB, 2, 0x21}, {3, &kPowerA, 0},
                                      {4, &kFlowB4, 0}, {5, &kVolumeB, 0}}}};
constexpr MeteringLayout kTG{false, {{{0, nullptr, 0}, {2, &kEnergyC, 0}, {1, &kEnergyC, 0},
                                     {3, &kPowerA, 0}, {4, &kFlowB3, 0}, {5, &kVolumeB, 0}}}};
// By protocol version index (kVersionNames); 0 and "TG" rows answering with
// DI 90 1F read as "M-BusV2.02".
constexpr std::array<const MeteringLayout*, kVersionCount> kMeteringLayouts = {
    &kV202, &kV201, &kV202, &kV203, &kV301, &kV202};
// clang-format on

std::optional<ShownNumber> Convert(std::span<const uint8_t> frame, bool unitFirst,
                                   const Source& src) {
  const bool heatMeter = frame[FrameOffset::kType] == 0x20;
  const bool typeMatches = src.onlyForType == 0 || (src.onlyForType == 0x20) == heatMeter;
  if (src.group == 0 || !typeMatches) return ShownNumber{0, src.fixedDecimals};
  const auto group = frame.subspan(kGroupsAt + kGroupBytes * (src.group - 1), kGroupBytes);
  const uint8_t unit = unitFirst ? group[0] : group[4];
  const double v = static_cast<double>(BcdToInt(group.subspan(unitFirst ? 1 : 0, 4)));
  for (const UnitFactor& u : src.rule->units) {
    if (u.factor != 0 && u.unit == unit) return ShownNumber{v * u.factor, src.rule->decimals};
  }
  return std::nullopt;
}

}  // namespace

std::optional<BenchRead> DecodeBenchRead(std::span<const uint8_t> frame) {
  if (frame.size() < kBenchReadMinLength) return std::nullopt;
  BenchRead r;
  r.VolumeL = *ReadField(frame, kVolume);
  r.HeatKWh = *ReadField(frame, kHeat);
  r.EntreC = *ReadField(frame, kEntre);
  r.ExitC = *ReadField(frame, kExit);
  for (size_t k = 0; k < kCoefficients.size(); ++k)
    r.Coefficients[k] = static_cast<int64_t>(*ReadRaw(frame, kCoefficients[k]));
  return r;
}

CoefficientReadBack DecodeCoefficientReadBack(std::span<const uint8_t> frame) {
  CoefficientReadBack out;
  if (const std::optional<BenchRead> read = DecodeBenchRead(frame)) {
    out.Coefficients = read->Coefficients;
  }
  if (frame.size() > FrameOffset::kLength && frame[FrameOffset::kLength] == kLongReadBack &&
      frame.size() >= FrameOffset::Total(kLongReadBack)) {
    const auto raw32 = [&](const FieldLayout& f) {
      return static_cast<uint32_t>(*ReadRaw(frame, f));
    };
    const uint32_t difference = raw32(kDifference);
    out.Times = TransitTimes{(difference & kSignBit) != 0, difference & ~kSignBit,
                             raw32(kDownstream), raw32(kUpstream)};
  }
  return out;
}

std::optional<std::string> AcceptAddressReply(std::span<const uint8_t> received) {
  const uint8_t start[] = {kFrameStart, Row(Command::kReadAddress).type};
  const auto at = std::search(received.begin(), received.end(), std::begin(start), std::end(start));
  if (at == received.end()) return std::nullopt;
  const auto frame = received.subspan(static_cast<size_t>(at - received.begin()));
  if (frame.size() <= kAddressSummed) return std::nullopt;
  if (FrameChecksum(frame.first(kAddressSummed)) != frame[kAddressSummed] ||
      frame[FrameOffset::kControl] != Row(Command::kReadAddress).reply.control) {
    return std::nullopt;
  }
  return ReplyAddressText(frame);
}

FlowReading ReadFlowReply(std::span<const uint8_t> frame, ReplyLayout layout) {
  const FlowReplyLayout& l =
      layout == ReplyLayout::kUltrasonicFlow ? kUltrasonicFlow : kAccumulatedFlow;
  FlowReading out;
  out.AccFlow = ReadUnitField(frame, l.AccFlow);
  out.Flow = ReadUnitField(frame, l.Flow);
  if (frame.size() > static_cast<size_t>(l.StatusAt) + 1)
    out.Status = {frame[l.StatusAt], frame[l.StatusAt + 1u]};
  return out;
}

std::optional<std::array<double, kPairingValues>> ReadPairing(std::span<const uint8_t> frame) {
  std::array<double, kPairingValues> values{};
  for (size_t k = 0; k < kPairingValues; ++k) {
    const std::optional<double> v = ReadField(frame, PairingField(k));
    if (!v) return std::nullopt;
    values[k] = *v;
  }
  return values;
}

std::optional<int> ReadHeatUnit(std::span<const uint8_t> frame) {
  const std::optional<uint8_t> code = CodeByte(frame);
  for (size_t i = 0; code && i < kHeatUnitBytes.size(); ++i) {
    if (kHeatUnitBytes[i][1] == *code) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::optional<int> ReadPipeMode(std::span<const uint8_t> frame) {
  const std::optional<uint8_t> code = CodeByte(frame);
  for (size_t i = 0; code && i < kPipeModeBytes.size(); ++i) {
    if (kPipeModeBytes[i] == *code) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::optional<uint64_t> ReadPtNumber(std::span<const uint8_t> frame) {
  return ReadRaw(frame, kPtNumber);
}

std::optional<MeteringData> DecodeMeteringData(std::span<const uint8_t> frame,
                                               std::string_view version) {
  // A correct frame shorter than the layout has no data to show; everything
  // past its end would be read out of bounds.
  if (frame.size() < kMeteringReplyLength) return std::nullopt;
  MeteringData out;
  out.type = frame[FrameOffset::kType];
  out.tg = DataId{frame[FrameOffset::kDi0], frame[FrameOffset::kDi1]} ==
           RequestDataId(Command::kReadMeterData, 0, kVersionTG);
  const int index = VersionIndex(version);
  const MeteringLayout& layout =
      out.tg ? kTG : *kMeteringLayouts[static_cast<size_t>(std::max(index, 0))];
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    out.quantities[i] = Convert(frame, layout.unitFirst, layout.columns[i]);
  }
  out.supplyC = *ReadField(frame, kSupply);
  out.returnC = *ReadField(frame, kReturn);
  out.hours = static_cast<uint32_t>(*ReadRaw(frame, kHours));
  std::copy_n(frame.begin() + kClockAt, out.clock.size(), out.clock.begin());
  out.status = {frame[kStatusAt], frame[kStatusAt + 1]};
  return out;
}

}  // namespace qv
