// Numbers typed by the operator and sent to meters.
//
// The operator types decimal numbers (a volume in litres, a temperature in
// degrees, a register value); the meter takes integers in a fixed unit, so the
// number is scaled by a power of ten (x10000, x1000, x100 or x1) and truncated
// toward zero: 12.3456 x1000 sends 12345, 7.9 x1 sends 7. The scaling is done
// on the decimal digits themselves, so 20.29 x100 is exactly 2029 (a binary
// floating-point product would give 2028.9999... and send 2028).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

class EntryValue {
 public:
  // The text of an edit field; surrounding blanks are ignored and an empty
  // text counts as 0.
  EntryValue(std::string_view text) : text_(text) {}  // NOLINT: implicit on purpose
  EntryValue(const char* text) : text_(text != nullptr ? text : "?") {}  // NOLINT
  EntryValue(const std::string& text) : text_(text) {}                   // NOLINT
  // A number computed by the program; it is scaled through its shortest
  // decimal form, so 0.29 is taken as the 0.29 it prints as.
  EntryValue(double value);  // NOLINT
  // Whole numbers; these also keep a literal 0 from meaning a null text.
  EntryValue(int value) : text_(std::to_string(value)) {}      // NOLINT
  EntryValue(int64_t value) : text_(std::to_string(value)) {}  // NOLINT

  // value x 10^decimals truncated toward zero; nothing when the text is not a
  // decimal number (or not finite) or the result leaves the int64 range.
  std::optional<int64_t> Scaled(int decimals) const;

  // The value as an integer; nothing when it has a fractional part or is not
  // a number.
  std::optional<int64_t> Integer() const;

 private:
  std::string text_;
};

// Whether an operator's `text` is a number, or nothing at all (blanks only).
bool IsNumberOrEmptyText(std::string_view text);
// Whether it is a whole number within 32 bits, or nothing at all.
bool IsWholeOrEmptyText(std::string_view text);

}  // namespace qv
