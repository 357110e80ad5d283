#include "protocol/codec.h"

#include <cctype>

namespace qv {

uint64_t BcdToInt(std::span<const uint8_t> p) {
  uint64_t result = 0;
  for (size_t i = p.size(); i-- > 0;) {
    result = result * 100 + 10 * (p[i] >> 4) + (p[i] & 0x0F);
  }
  return result;
}

uint64_t NumberOf(std::span<const uint8_t> p, Coding coding) {
  if (coding == Coding::kBcd) return BcdToInt(p);
  uint64_t v = 0;
  if (coding == Coding::kBinaryLE) {
    for (auto b = p.rbegin(); b != p.rend(); ++b)
      v = v << 8 | *b;
    return v;
  }
  for (uint8_t b : p)
    v = v << 8 | b;
  return v;
}

Bytes IntToBcd(uint64_t v, size_t n) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t pair = v % 100;
    out[i] = static_cast<uint8_t>((pair / 10) << 4 | (pair % 10));
    v /= 100;
  }
  return out;
}

Bytes IntToBinBE(uint64_t v, size_t n) {
  Bytes out(n);
  for (size_t i = n; i-- > 0;) {
    out[i] = static_cast<uint8_t>(v & 0xFF);
    v >>= 8;
  }
  return out;
}

uint8_t FrameChecksum(std::span<const uint8_t> p) {
  unsigned sum = 0;
  for (uint8_t b : p)
    sum += b;
  return static_cast<uint8_t>(sum & 0xFF);
}

namespace {
std::string TwoDigits(uint64_t v) {
  std::string s = std::to_string(v);
  return v < 10 ? "0" + s : s;
}
}  // namespace

std::string BcdDateTimeText(std::span<const uint8_t, 7> p) {
  auto field = [&](size_t i) { return BcdToInt(p.subspan(i, 1)); };
  const uint64_t year = field(6) * 100 + field(5);
  return std::to_string(year) + "-" + TwoDigits(field(4)) + "-" + TwoDigits(field(3)) + " " +
         TwoDigits(field(2)) + ":" + TwoDigits(field(1)) + ":" + TwoDigits(field(0));
}

}  // namespace qv
