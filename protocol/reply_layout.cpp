#include "protocol/reply_layout.h"

#include "protocol/codec.h"

namespace qv {
namespace {

// Volume: hundredths of a litre, or thousandths of a cubic metre (2C).
constexpr Scale kOne{1, 1};
constexpr Scale kHundredths{1, 100};
constexpr std::array<UnitScale, 1> kVolumeUnits{{{0x2C, {1, 100000}}}};
// Heat: x1, x10 .. x100000 for units 05..0A, then thousandths (kWh); any
// other unit code as 05.
constexpr std::array<UnitScale, 6> kHeatUnits{{{0x05, {1, 1000}},
                                               {0x06, {10, 1000}},
                                               {0x07, {100, 1000}},
                                               {0x08, {1000, 1000}},
                                               {0x09, {10000, 1000}},
                                               {0x0A, {100000, 1000}}}};

constexpr FieldLayout kVolume{14, 4, Coding::kBcd, kHundredths, 18, kVolumeUnits};
constexpr FieldLayout kHeat{19, 4, Coding::kBcd, {1, 1000}, 23, kHeatUnits};
constexpr FieldLayout kEntre{24, 3, Coding::kBcd, kHundredths};
constexpr FieldLayout kExit{27, 3, Coding::kBcd, kHundredths};
constexpr std::array<FieldLayout, 4> kCoefficients{{{36, 4, Coding::kBcd, kOne},
                                                    {40, 4, Coding::kBcd, kOne},
                                                    {44, 4, Coding::kBcd, kOne},
                                                    {48, 4, Coding::kBcd, kOne}}};

}  // namespace

std::optional<uint64_t> ReadRaw(std::span<const uint8_t> frame, const FieldLayout& f) {
  if (frame.size() < static_cast<size_t>(f.offset) + f.length) return std::nullopt;
  const auto bytes = frame.subspan(f.offset, f.length);
  if (f.coding == Coding::kBcd) return BcdToInt(bytes);
  uint64_t v = 0;
  if (f.coding == Coding::kBinaryLE) {
    for (auto b = bytes.rbegin(); b != bytes.rend(); ++b)
      v = v << 8 | *b;
    return v;
  }
  for (uint8_t b : bytes)
    v = v << 8 | b;
  return v;
}

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

std::optional<double> ReadBenchHeat(std::span<const uint8_t> frame) {
  return ReadField(frame, kHeat);
}

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

std::optional<double> ReadUnitField(std::span<const uint8_t> frame, const FieldLayout& field) {
  if (field.unitAt < 0 || frame.size() <= static_cast<size_t>(field.unitAt)) return std::nullopt;
  const uint8_t unit = frame[static_cast<size_t>(field.unitAt)];
  for (const UnitScale& u : field.units) {
    if (u.unit == unit) return ReadField(frame, field);
  }
  return std::nullopt;
}

}  // namespace qv
