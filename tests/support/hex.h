// Bytes written as hex text in tests: golden vectors in, readable results out,
// and a frame head completed into a whole frame.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/hex.h"

namespace qv::test {

// "68 55 01" (or "685501") as bytes; text that is not hex fails the test
// through the exception, so no malformed vector passes by being empty.
inline Bytes Hex(std::string_view text) {
  Bytes out;
  if (!ParseHex(text, out)) throw std::invalid_argument("not hex: " + std::string(text));
  return out;
}

// Bytes as "68 55 01": upper case, one blank between bytes.
// Written here, not with the program's HexText, so that the log's dumps are
// checked against text made independently.
inline std::string ToHex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// A frame from its 0x68 through its last payload byte, completed with its
// checksum (the byte sum from the 0x68) and the end byte 16.
inline Bytes Complete(Bytes frame) {
  uint8_t sum = 0;
  for (uint8_t b : frame)
    sum = static_cast<uint8_t>(sum + b);
  frame.push_back(sum);
  frame.push_back(0x16);
  return frame;
}
inline Bytes Complete(std::string_view head_hex) {
  return Complete(Hex(head_hex));
}
inline std::string CompleteHex(std::string_view head_hex) {
  return ToHex(Complete(head_hex));
}

}  // namespace qv::test
