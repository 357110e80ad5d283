// Small text helpers shared by the parsers of operator input.
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

}  // namespace qv
