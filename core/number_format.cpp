#include "core/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/text.h"

namespace qv {

std::string FormatFixed(double v, int decimals) {
  if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v > 0 ? "INF" : "-INF");
  if (decimals < 0) decimals = 0;
  // 15 significant digits are exact for a double; round those in decimal.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
  std::string digits;
  digits += buf[0];
  digits.append(buf + 2, 14);
  const int exponent = std::atoi(buf + 17);
  // Value = 0.digits × 10^(exponent + 1). Keep the digits up to `decimals`.
  const int point = exponent + 1;  // digits before the decimal point
  const int keep = point + decimals;
  std::string kept;
  if (keep < 0) {
    kept = "";
  } else {
    kept = digits.substr(0, std::min<size_t>(keep, digits.size()));
    while (static_cast<int>(kept.size()) < keep)
      kept += '0';
    const bool roundUp = keep < static_cast<int>(digits.size()) && digits[keep] >= '5';
    if (roundUp) {
      int i = static_cast<int>(kept.size()) - 1;
      for (; i >= 0 && kept[i] == '9'; --i)
        kept[i] = '0';
      if (i >= 0) {
        ++kept[i];
      } else {
        kept.insert(kept.begin(), '1');
      }
    }
  }
  // `kept` now holds the value × 10^decimals as an integer digit string.
  while (static_cast<int>(kept.size()) < decimals + 1)
    kept.insert(kept.begin(), '0');
  std::string integer = kept.substr(0, kept.size() - decimals);
  const std::string fraction = kept.substr(kept.size() - decimals);
  const size_t nonzero = integer.find_first_not_of('0');
  integer = nonzero == std::string::npos ? "0" : integer.substr(nonzero);
  const bool zero = kept.find_first_not_of('0') == std::string::npos;
  std::string out = (v < 0 && !zero) ? "-" : "";
  out += integer;
  if (decimals > 0) out += "." + fraction;
  return out;
}

std::optional<double> ParseNumber(std::string_view text) {
  const std::string s(TrimText(text));
  if (s.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
  // strtod also takes hex floats ("0x1p3"); an operator never means those.
  if (s.find_first_of("xXpP") != std::string::npos) return std::nullopt;
  return v;
}

}  // namespace qv
