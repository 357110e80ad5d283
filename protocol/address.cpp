#include "protocol/address.h"

#include <algorithm>

#include "core/text.h"
#include "protocol/codec.h"

namespace qv {

namespace {

constexpr std::string_view kTgPrefix = "111100";
constexpr size_t kTgNumberDigits = 8;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string PadLeft(std::string_view s, size_t width) {
  std::string out;
  if (s.size() < width) out.assign(width - s.size(), '0');
  out += s;
  return out;
}

}  // namespace

MeterAddress::MeterAddress(std::string_view text, AddressRule rule) {
  const std::string_view trimmed = TrimText(text);
  hex_ = std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return HexDigit(c) >= 0; });
  std::string full;
  if (rule == AddressRule::kTG && trimmed.size() <= kTgNumberDigits) {
    full = std::string(kTgPrefix) + PadLeft(trimmed, kTgNumberDigits);
  } else {
    full = PadLeft(trimmed, kAddressDigits);
  }
  text_ = full.substr(0, kAddressDigits);
}

std::optional<AddressBytes> MeterAddress::Encode() const {
  if (!hex_) return std::nullopt;
  AddressBytes bytes{};
  // A0 is the last digit pair, A6 the first.
  for (size_t i = 0; i < kAddressBytes; ++i) {
    const size_t pair = kAddressDigits - 2 * (i + 1);
    bytes[i] = static_cast<uint8_t>(HexDigit(text_[pair]) << 4 | HexDigit(text_[pair + 1]));
  }
  return bytes;
}

bool MeterAddress::Matches(std::string_view replyText) const {
  return std::equal(text_.begin(), text_.end(), replyText.begin(), replyText.end(),
                    [](char a, char b) { return Upper(a) == Upper(b); });
}

std::string ReplyAddressText(std::span<const uint8_t> frame) {
  constexpr size_t kFirst = 2;  // A0
  if (frame.size() < kFirst + kAddressBytes) return {};
  std::string text;
  for (size_t i = kAddressBytes; i-- > 0;)
    text += ByteToHex(frame[kFirst + i]);
  return text;
}

bool RowMatchesReply(std::string_view rowText, std::string_view replyText, AddressRule rule) {
  return MeterAddress(rowText, rule).Matches(replyText);
}

}  // namespace qv
