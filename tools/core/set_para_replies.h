// What the parameter settings window reads out of meter replies besides the
// confirmation itself: the address a meter gives to the read-address
// request, and the coefficients and ultrasonic transit times of the
// coefficient read-back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qv {

// Read address reply, offsets from the 68 (17 bytes; L is not relied on):
//   68 55 A0..A6 A3 04 81 0A SER 00 CS 16
//   0  1  2..8   9  10 11 12 13  14 15 16
// CS at 15 is the sum of bytes 0..14. Example, meter 00002024000001:
//   68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16
// Only the first 68 55 of `received` is looked at; the address (bytes 8
// down to 2, upper-case hex) when it is the reply, else nothing.
std::optional<std::string> AcceptAddressReply(std::span<const uint8_t> received);
// Bytes of the received data read after a read-address request.
inline constexpr size_t kAddressReadMax = 1024;

// Ultrasonic transit times of a long read-back, in the meter's units.
struct TransitTimes {
  bool Negative = false;    // the difference's sign bit (bit 7 of byte 56)
  uint32_t Difference = 0;  // without the sign bit
  uint32_t Downstream = 0;
  uint32_t Upstream = 0;
};

// Coefficient read-back: a bench read reply (C A1, DI 90 1F), offsets from
// the 68:
//   36..39, 40..43, 44..47, 48..51  coefficients 1..4, BCD4 (low digits first)
//   with L = 37 (68 bytes) also:
//   53..56  time difference, binary, byte 53 lowest; bit 7 of 56 = negative
//   57..60  downstream, 61..64 upstream transit time, binary, lowest first
// Example: 78 56 34 92 at 53 reads a difference of -0x12345678.
struct CoefficientReadBack {
  std::optional<std::array<int64_t, 4>> Coefficients;  // a reply too short has none
  std::optional<TransitTimes> Times;                   // only when L is 37
};
CoefficientReadBack DecodeCoefficientReadBack(std::span<const uint8_t> frame);

}  // namespace qv
