// Numeric and text codecs of the meter line protocol. All pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/hex.h"

namespace qv {

// How a number is coded in a frame.
//   kBcd       two decimal digits a byte, byte 0 the least significant
//   kBinaryBE  binary, the first byte the most significant
//   kBinaryLE  binary, the first byte the least significant
enum class Coding : uint8_t { kBcd, kBinaryBE, kBinaryLE };

// Little-endian BCD: byte 0 holds the two least significant digits.
// 56 34 12 -> 123456.
//
// A digit above 9 is a reading too: it counts as its value 10..15 (1A reads
// as 1 x 10 + 10 = 20, FF as 165), never as an error. This is the one rule
// for every BCD field of every reply: the meters' own displays read their
// registers so, and the results already stored were read so.
uint64_t BcdToInt(std::span<const uint8_t> p);
// The number `p` holds in `coding`.
uint64_t NumberOf(std::span<const uint8_t> p, Coding coding);
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
