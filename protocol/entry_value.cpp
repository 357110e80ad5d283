#include "protocol/entry_value.h"

#include <charconv>
#include <climits>
#include <limits>

#include "core/number_format.h"
#include "core/text.h"

namespace qv {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A decimal number as its significant digits and a power of ten:
// "-12.5e1" -> negative, digits "125", exponent 0.
struct Decimal {
  bool negative = false;
  std::string digits;  // no leading zeros; empty for zero
  int64_t exponent = 0;
};

std::optional<Decimal> ParseDecimal(std::string_view s) {
  Decimal d;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) d.negative = s[i++] == '-';
  size_t mantissaDigits = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i, ++mantissaDigits)
    d.digits += s[i];
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && IsDigit(s[i]); ++i, ++mantissaDigits) {
      d.digits += s[i];
      --d.exponent;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negativeExponent = s[i++] == '-';
    int64_t e = 0;
    size_t exponentDigits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++exponentDigits) {
      if (e < 100000) e = e * 10 + (s[i] - '0');  // far beyond any int64 result
    }
    if (exponentDigits == 0) return std::nullopt;
    d.exponent += negativeExponent ? -e : e;
  }
  if (i != s.size()) return std::nullopt;
  const size_t nonZero = d.digits.find_first_not_of('0');
  d.digits.erase(0, nonZero == std::string::npos ? d.digits.size() : nonZero);
  return d;
}

// Blanks only, or nothing: the operator left the field empty, which is 0.
std::optional<Decimal> ParseEntry(std::string_view text) {
  text = TrimText(text);
  if (text.empty()) return Decimal{};
  return ParseDecimal(text);
}

}  // namespace

EntryValue::EntryValue(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  // to_chars writes "inf" and "nan", which the parser refuses, as it should.
  text_ = ec == std::errc() ? std::string(buf, end) : std::string("?");
}

std::optional<int64_t> EntryValue::Scaled(int decimals) const {
  const std::optional<Decimal> d = ParseEntry(text_);
  if (!d) return std::nullopt;
  const int64_t shift = d->exponent + decimals;
  // The integer part of digits x 10^shift.
  std::string whole = d->digits;
  if (shift >= 0) {
    if (!whole.empty()) {
      if (shift > 19) return std::nullopt;
      whole.append(static_cast<size_t>(shift), '0');
    }
  } else {
    const size_t drop = static_cast<size_t>(-shift);
    whole.erase(whole.size() > drop ? whole.size() - drop : 0);
  }
  if (whole.empty()) return 0;
  uint64_t magnitude = 0;
  const auto [ptr, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), magnitude);
  constexpr uint64_t kMax = std::numeric_limits<int64_t>::max();
  if (ec != std::errc() || ptr != whole.data() + whole.size() || magnitude > kMax) {
    return std::nullopt;
  }
  const auto value = static_cast<int64_t>(magnitude);
  return d->negative ? -value : value;
}

std::optional<int64_t> EntryValue::Integer() const {
  const std::optional<Decimal> d = ParseEntry(text_);
  if (!d) return std::nullopt;
  // Every digit behind the decimal point must be 0.
  const size_t n = d->digits.size();
  for (int64_t k = 0; k < -d->exponent && static_cast<size_t>(k) < n; ++k) {
    if (d->digits[n - 1 - static_cast<size_t>(k)] != '0') return std::nullopt;
  }
  return Scaled(0);
}

bool IsNumberOrEmptyText(std::string_view text) {
  return TrimText(text).empty() || ParseNumber(text).has_value();
}

bool IsWholeOrEmptyText(std::string_view text) {
  if (TrimText(text).empty()) return true;
  const std::optional<int64_t> v = EntryValue(text).Integer();
  return v && *v >= INT32_MIN && *v <= INT32_MAX;
}

}  // namespace qv
