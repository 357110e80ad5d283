// Numeric and text codecs of the meter line protocol. All pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/hex.h"

namespace qv {

// Little-endian BCD: byte 0 holds the two least significant digits.
// 56 34 12 -> 123456. Nibbles above 9 are taken as they are (no check).
uint64_t BcdToInt(std::span<const uint8_t> p);
// `n` bytes of little-endian BCD; digits beyond 2n are dropped.
// IntToBcd(123456, 3) -> 56 34 12.
Bytes IntToBcd(uint64_t v, size_t n);
// `n` bytes, most significant first. IntToBinBE(0x12345, 4) -> 00 01 23 45.
Bytes IntToBinBE(uint64_t v, size_t n);
// Sum of the bytes modulo 256: FF 02 -> 01.
uint8_t FrameChecksum(std::span<const uint8_t> p);
// ss mm hh DD MM YY CC in BCD -> "CCYY-MM-DD hh:mm:ss" (year unpadded).
// 05 04 03 02 01 24 20 -> "2024-01-02 03:04:05".
std::string BcdDateTimeText(std::span<const uint8_t, 7> p);

}  // namespace qv
