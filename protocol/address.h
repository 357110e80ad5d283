// Meter addresses and data identifiers of the meter line protocol.
//
// An address is typed by the operator as hex digits (one row of the meter
// list). It is trimmed and left-padded with "0" to 14 characters; only the
// first 14 characters are read. On the line it travels as seven bytes A0..A6,
// the last digit pair first:
//
//   text  1 2 3 4 5 6 7 8 9 0 1 2 3 4
//   bytes A0=34 A1=12 A2=90 A3=78 A4=56 A5=34 A6=12
//
// Meters of the "TG" protocol version carry a fixed "111100" in front of their
// 8-digit numbers: under that rule a text of up to 8 characters is padded to 8
// and prefixed, so "12345678" becomes "11110012345678" and "1234" becomes
// "11110000001234". Longer texts are taken as full addresses and padded as
// usual.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv {

inline constexpr size_t kAddressDigits = 14;
inline constexpr size_t kAddressBytes = 7;

// A0..A6 in transmission order.
using AddressBytes = std::array<uint8_t, kAddressBytes>;

// How an address text is completed to 14 digits.
enum class AddressRule : uint8_t {
  kPlain,  // left-pad with "0" to 14
  kTG,     // up to 8 characters: pad to 8 and prefix "111100"
};

// The address every meter answers to.
inline constexpr std::string_view kBroadcastAddressText = "AAAAAAAAAAAAAA";

// The text of a meter address, completed to 14 characters as the rule says.
// The text may hold anything; whether it can be sent is `Encode()`'s answer.
class MeterAddress {
 public:
  explicit MeterAddress(std::string_view text, AddressRule rule = AddressRule::kPlain);

  static MeterAddress Broadcast() { return MeterAddress(kBroadcastAddressText); }

  // The 14 characters read from the completed text, in their original case.
  const std::string& Text() const { return text_; }

  // The seven bytes A0..A6, or nothing when the trimmed text holds anything
  // but hex digits (such a text names no meter, so no frame may be built).
  std::optional<AddressBytes> Encode() const;

  // True when this address names the meter that sent a reply whose address
  // text (see `ReplyAddressText`) is `replyText`; letter case is ignored.
  bool Matches(std::string_view replyText) const;

 private:
  std::string text_;
  bool hex_ = false;
};

// The 14 upper-case hex digits of a reply's address: the bytes at offsets
// 8, 7, ..., 2 from its 0x68. Empty when the frame is shorter than 9 bytes.
std::string ReplyAddressText(std::span<const uint8_t> frame);

// The row-match rule: the row's address text, completed to 14 characters,
// equals the reply's address text, ignoring letter case.
bool RowMatchesReply(std::string_view rowText, std::string_view replyText,
                     AddressRule rule = AddressRule::kPlain);

// A data identifier, two bytes in transmission order: the bench read command
// sends 90 1F, that is {0x90, 0x1F}.
struct DataId {
  uint8_t di0 = 0;
  uint8_t di1 = 0;

  // The same identifier with its bytes exchanged ("TG" meters send 1F 90).
  constexpr DataId Swapped() const { return {di1, di0}; }
  friend constexpr bool operator==(DataId, DataId) = default;
};

}  // namespace qv
