// Bytes as hex text and back: the log shows every frame this way, golden
// vectors and the simulator's options are written this way.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

using Bytes = std::vector<uint8_t>;

// Two upper-case hex digits.
std::string ByteToHex(uint8_t b);
// A blank before each byte: 68 55 16 -> " 68 55 16". Used for the log.
std::string HexText(std::span<const uint8_t> p);
// Parses blank-separated or packed hex ("68 55" or "6855"); false on an odd
// digit count or a non-hex character. For golden vectors and the simulator.
bool ParseHex(std::string_view text, Bytes& out);

}  // namespace qv
