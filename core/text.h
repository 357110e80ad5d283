// Small text helpers shared by the parsers of operator input.
#pragma once

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

}  // namespace qv
