// SBI print replies. The 16-character form, positions 1..16:
//   1 sign (+, - or blank), 2 blank, 3..10 the value (digits and decimal
//   point, right-aligned), 11 blank, 12..14 the unit (left-aligned, blanks
//   after it), 15 CR, 16 LF:      "+   12.345 kg \r\n"
// The 22-character form puts a 6-character identifier in front ("N     "
// net, "G     " gross, "Stat  " a status). The unit is printed only when the
// reading is stable. Over- and underload print a text where the value
// stands: "H", "HH" or "High"; "L", "LL" or "Low".
// Some scales leave out the CR LF, some pad to 16 printable characters:
// the fields are found by their contents, not by their positions.
#include <algorithm>
#include <string>

#include "protocol/scale_reading.h"
#include "protocol/scale_text.h"

namespace qv {
namespace {

using namespace scale_text;

// The longest form without an identifier, printable characters only.
constexpr size_t kShortForm = 16;
constexpr size_t kIdentifier = 6;
constexpr size_t kLongForm = kIdentifier + kShortForm;

struct LoadText {
  std::string_view text;
  ScaleState state;
};
constexpr LoadText kLoadTexts[] = {
    {"H", ScaleState::kOverload},  {"HH", ScaleState::kOverload},  {"HIGH", ScaleState::kOverload},
    {"L", ScaleState::kUnderload}, {"LL", ScaleState::kUnderload}, {"LOW", ScaleState::kUnderload}};

bool SameFolded(std::string_view a, std::string_view upper) {
  return std::equal(a.begin(), a.end(), upper.begin(), upper.end(), [](char x, char y) {
    return (x >= 'a' && x <= 'z' ? static_cast<char>(x - 'a' + 'A') : x) == y;
  });
}

bool IsNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == ' ';
}

}  // namespace

std::optional<ScaleReading> DecodeSbi(std::string_view line, std::string_view unit_when_missing) {
  const std::optional<std::string_view> text = Printable(line);
  if (!text || text->size() > kLongForm) return std::nullopt;
  std::string_view body = *text;
  if (body.size() > kShortForm) body.remove_prefix(kIdentifier);
  body = Trim(body);
  if (body.empty()) return std::nullopt;
  // The value ends where the unit's letters begin.
  const auto unit_at = std::find_if_not(body.begin(), body.end(), IsNumberChar);
  const std::string_view number = Trim(body.substr(0, static_cast<size_t>(unit_at - body.begin())));
  const std::string_view unit = Trim(body.substr(static_cast<size_t>(unit_at - body.begin())));
  if (std::string_view sign_free = Trim(number);
      sign_free == "+" || sign_free == "-" || sign_free.empty()) {
    // No digits: an over- or underload text stands where the value would.
    for (const LoadText& load : kLoadTexts) {
      if (SameFolded(unit, load.text)) return Without(load.state);
    }
    return std::nullopt;
  }
  const std::optional<double> value = Mass(number);
  if (!value || Words(unit).size() > 1) return std::nullopt;
  if (unit.empty()) {
    ScaleReading moving = Weighed(ScaleState::kMoving, *value, unit_when_missing);
    moving.Unit.clear();
    return moving;
  }
  return Weighed(ScaleState::kStable, *value, unit);
}

}  // namespace qv
