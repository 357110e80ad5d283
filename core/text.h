// Small text helpers shared by the parsers of operator input and the
// exports.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// `s` without the blanks and control characters around it, as an edit
// field's text is read (" 123\t" -> "123").
constexpr std::string_view TrimText(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
    s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
    s.remove_suffix(1);
  return s;
}

// `s` as a one-line setting holds it: every control character a blank,
// and the blanks around it removed ("\tBench 3\r" -> "Bench 3").
inline std::string OneLineText(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7f') c = ' ';
  }
  return std::string(TrimText(out));
}

// Whether a spreadsheet program would take a cell holding `s` as a formula
// (or the start of one): it begins with '=', '+', '-', '@', a tab or a
// carriage return. Text that comes from data (an address as typed, a
// tester's name, anything the journal holds) must reach a spreadsheet as
// text: in CSV it is written with a leading apostrophe (`SpreadsheetText`),
// in a workbook as a string cell, never as a formula.
constexpr bool StartsLikeFormula(std::string_view s) {
  return !s.empty() && std::string_view("=+-@\t\r").find(s.front()) != std::string_view::npos;
}

// `s` as a CSV cell of text from data: with a leading apostrophe when it
// would start a formula ("=1+2" -> "'=1+2"), unchanged otherwise.
inline std::string SpreadsheetText(std::string_view s) {
  return StartsLikeFormula(s) ? "'" + std::string(s) : std::string(s);
}

}  // namespace qv
