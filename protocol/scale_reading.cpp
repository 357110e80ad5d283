#include "protocol/scale_reading.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "protocol/scale_text.h"

namespace qv {
namespace {

struct UnitRow {
  std::string_view unit;
  double kg;
};
// The units a bench scale reports its mass in; the pound is defined as
// exactly 0.45359237 kg.
constexpr UnitRow kUnits[] = {{"g", 0.001}, {"kg", 1}, {"t", 1000}, {"lb", 0.45359237}};

constexpr std::string_view kStateNames[] = {"stable", "moving", "overload", "underload", "error"};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::string_view ScaleStateName(ScaleState state) {
  return kStateNames[static_cast<size_t>(state)];
}

std::optional<double> KgPerUnit(std::string_view unit) {
  for (const UnitRow& row : kUnits) {
    if (std::equal(unit.begin(), unit.end(), row.unit.begin(), row.unit.end(),
                   [](char a, char b) { return Lower(a) == b; })) {
      return row.kg;
    }
  }
  return std::nullopt;
}

const ScaleFormat& ScaleFormatOf(ScaleProtocol protocol) {
  return *std::find_if(kScaleFormats.begin(), kScaleFormats.end(),
                       [&](const ScaleFormat& f) { return f.Protocol == protocol; });
}

namespace scale_text {

std::optional<std::string_view> Printable(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
    line.remove_suffix(1);
  for (char c : line) {
    if (c < ' ' || c > '~') return std::nullopt;
  }
  return line;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> words;
  for (s = Trim(s); !s.empty(); s = Trim(s)) {
    const size_t end = std::min(s.find(' '), s.find('\t'));
    words.push_back(s.substr(0, end));
    s.remove_prefix(std::min(end, s.size()));
  }
  return words;
}

std::optional<double> Mass(std::string_view s) {
  s = Trim(s);
  std::string digits;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    if (s.front() == '-') digits += '-';
    s = Trim(s.substr(1));
  }
  if (s.empty() ||
      !std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) {
    return std::nullopt;
  }
  if (std::count(s.begin(), s.end(), '.') > 1 || s == ".") return std::nullopt;
  digits += s;
  double v = 0;
  const char* end = digits.data() + digits.size();
  const auto r = std::from_chars(digits.data(), end, v, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != end) return std::nullopt;
  return v == 0 ? 0.0 : v;  // no "-0"
}

ScaleReading Weighed(ScaleState state, double value, std::string_view unit) {
  const std::optional<double> kg = KgPerUnit(unit);
  if (!kg) {
    return {ScaleState::kError, std::nullopt, std::string(unit), ScaleError::kUnknownUnit,
            "unknown unit " + std::string(unit)};
  }
  return {state, value * *kg, std::string(unit), ScaleError::kNone, {}};
}

ScaleReading Without(ScaleState state, ScaleError error, std::string_view text) {
  return {state, std::nullopt, {}, error, std::string(text)};
}

}  // namespace scale_text
}  // namespace qv
