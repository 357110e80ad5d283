// Continuous ASCII of weighing indicators: three comma-separated fields,
// sent unasked several times a second, each line ended by CR LF:
//   status  ST stable, US unstable, OL overload
//   kind    GS gross, NT net
//   weight  sign, value (zero-padded or blank-padded) and unit, with or
//           without a blank between them
//   "ST,GS,+0100.000kg"   "US,NT,-  12.50 kg"   "OL,GS,+9999.999kg"
// An overloaded indicator may print anything where the value stands.
#include <algorithm>
#include <string>

#include "protocol/scale_reading.h"
#include "protocol/scale_text.h"

namespace qv {
namespace {

using namespace scale_text;

struct StatusRow {
  std::string_view text;
  ScaleState state;
};
constexpr StatusRow kStatuses[] = {
    {"ST", ScaleState::kStable}, {"US", ScaleState::kMoving}, {"OL", ScaleState::kOverload}};
constexpr std::string_view kKinds[] = {"GS", "NT"};

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::optional<ScaleReading> DecodeAscii(std::string_view line, std::string_view) {
  const std::optional<std::string_view> text = Printable(line);
  if (!text) return std::nullopt;
  const size_t first = text->find(',');
  const size_t second = first == std::string_view::npos ? first : text->find(',', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::string_view status = Trim(text->substr(0, first));
  const std::string_view kind = Trim(text->substr(first + 1, second - first - 1));
  const std::string_view weight = Trim(text->substr(second + 1));
  const auto row = std::find_if(std::begin(kStatuses), std::end(kStatuses),
                                [&](const StatusRow& r) { return r.text == status; });
  if (row == std::end(kStatuses) ||
      std::find(std::begin(kKinds), std::end(kKinds), kind) == std::end(kKinds)) {
    return std::nullopt;
  }
  if (row->state == ScaleState::kOverload) return Without(ScaleState::kOverload);
  const auto unit_at = std::find_if(weight.begin(), weight.end(), IsLetter);
  const size_t split = static_cast<size_t>(unit_at - weight.begin());
  const std::optional<double> value = Mass(weight.substr(0, split));
  const std::string_view unit = Trim(weight.substr(split));
  if (!value || unit.empty() || !std::all_of(unit.begin(), unit.end(), IsLetter))
    return std::nullopt;
  return Weighed(row->state, *value, unit);
}

}  // namespace qv
