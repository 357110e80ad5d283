// Numbers typed by the operator: what a number field accepts, and the
// integer sent to a meter (scaled by 10^0 .. 10^4 and truncated toward
// zero). Whatever is accepted gives an integer within range or a clear
// refusal, agrees with the field's check, and is what the decimal text says.
#include <cmath>
#include <string>
#include <string_view>

#include "core/number_format.h"
#include "fuzz/fuzz_check.h"
#include "protocol/entry_value.h"

using namespace qv;
using qv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<double> number = ParseNumber(text);
  const bool numberOrEmpty = IsNumberOrEmptyText(text);
  const bool wholeOrEmpty = IsWholeOrEmptyText(text);
  Check(!number || numberOrEmpty, "a number the field refuses");
  Check(!number || std::isfinite(*number), "a number that is not finite");

  const EntryValue entry(text);
  const std::optional<int64_t> integer = entry.Integer();
  if (integer) {
    Check(entry.Scaled(0) == integer, "an integer that scales to something else");
    if (*integer >= INT32_MIN && *integer <= INT32_MAX)
      Check(wholeOrEmpty, "a whole number refused");
  }
  if (wholeOrEmpty && number) Check(integer.has_value(), "a whole number without its integer");
  for (int decimals = 0; decimals <= 4; ++decimals) {
    const std::optional<int64_t> scaled = entry.Scaled(decimals);
    if (!scaled || !number) continue;
    // The decimal digits themselves are scaled; the binary value is within
    // one step (and its own rounding) of them.
    const double expected = std::trunc(*number * std::pow(10.0, decimals));
    const double slack = 1 + std::fabs(expected) * 1e-12;
    Check(std::fabs(static_cast<double>(*scaled) - expected) <= slack,
          "a scaled value that is not the text's number");
  }
  // A number the program computed goes through its shortest text.
  if (number) {
    const std::optional<int64_t> fromDouble = EntryValue(*number).Scaled(2);
    const double expected = std::trunc(*number * 100);
    if (fromDouble) {
      Check(
          std::fabs(static_cast<double>(*fromDouble) - expected) <= 1 + std::fabs(expected) * 1e-12,
          "a computed value scaled wrongly");
    }
  }
  return 0;
}
