#include "core/hex.h"

#include <cctype>

namespace qv {

std::string ByteToHex(uint8_t b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

std::string HexText(std::span<const uint8_t> p) {
  std::string out;
  out.reserve(p.size() * 3);
  for (uint8_t b : p) {
    out += ' ';
    out += ByteToHex(b);
  }
  return out;
}

bool ParseHex(std::string_view text, Bytes& out) {
  out.clear();
  int high = -1;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    const int v = std::isdigit(static_cast<unsigned char>(c))
                      ? c - '0'
                      : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return high < 0;
}

}  // namespace qv
