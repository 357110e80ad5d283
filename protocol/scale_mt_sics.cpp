// MT-SICS level 0 replies: "S", a blank, the status, and for a weight the
// value right-aligned in ten characters and its unit, blank-separated:
//   "S S     100.00 g"   stable        "S D     129.07 g"   dynamic
//   "S I"   not executable now (taring, or no stability within the scale's
//           own time-out)
//   "S +"   overload                    "S -"   underload
//   "ES"    syntax error   "ET" transmission error   "EL" logical error
#include <string>

#include "protocol/scale_reading.h"
#include "protocol/scale_text.h"

namespace qv {
namespace {

using namespace scale_text;

struct ErrorRow {
  std::string_view reply;
  ScaleError error;
  std::string_view text;
};
constexpr ErrorRow kErrors[] = {
    {"ES", ScaleError::kSyntax, "syntax error: the scale did not understand the command"},
    {"ET", ScaleError::kTransmission, "transmission error: parity or a wrong character"},
    {"EL", ScaleError::kLogical, "logical error: the scale cannot carry out the command"},
};

}  // namespace

std::optional<ScaleReading> DecodeMtSics(std::string_view line, std::string_view) {
  const std::optional<std::string_view> text = Printable(line);
  if (!text) return std::nullopt;
  std::vector<std::string_view> words = Words(*text);
  if (words.size() == 1) {
    for (const ErrorRow& row : kErrors) {
      if (words[0] == row.reply) return Without(ScaleState::kError, row.error, row.text);
    }
    return std::nullopt;
  }
  if (words.size() < 2 || words[0] != "S" || words[1].size() != 1) return std::nullopt;
  const char status = words[1][0];
  if (words.size() == 2) {
    switch (status) {
      case 'I':
        return Without(ScaleState::kMoving, ScaleError::kBusy,
                       "busy: taring, or not stable within the scale's own time");
      case '+':
        return Without(ScaleState::kOverload);
      case '-':
        return Without(ScaleState::kUnderload);
      default:
        return std::nullopt;
    }
  }
  if (status != 'S' && status != 'D') return std::nullopt;
  // A sign set apart from its digits ("-  12.34") is one value.
  if (words.size() == 5 && (words[2] == "-" || words[2] == "+")) {
    words[2] =
        std::string_view(words[2].data(), words[3].data() + words[3].size() - words[2].data());
    words.erase(words.begin() + 3);
  }
  if (words.size() != 4) return std::nullopt;
  const std::optional<double> value = Mass(words[2]);
  if (!value) return std::nullopt;
  return Weighed(status == 'S' ? ScaleState::kStable : ScaleState::kMoving, *value, words[3]);
}

}  // namespace qv
