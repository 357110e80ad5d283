// Fixed-point display of numbers as the windows show them ("#0", "#0.00",
// "#0.000", "#0.0000"): at least one integer digit, exactly `decimals`
// decimals, rounded half away from zero on the decimal value (2.675 shows
// 2.68, as an operator expects, not 2.67 as the binary value would give).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv {

std::string FormatFixed(double v, int decimals);

// Parses a number typed by the operator ("12", "-3.5", " 0.25 ", "1e3");
// nothing for empty text, trailing garbage, inf or nan.
std::optional<double> ParseNumber(std::string_view text);

}  // namespace qv
