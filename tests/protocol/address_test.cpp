// Meter addresses: the text a row holds, its line bytes and the address a
// reply carries.
#include <gtest/gtest.h>

#include "protocol/address.h"
#include "support/hex.h"

namespace qv {
namespace {

using namespace test;

// An address text, its rule, the 14 characters it stands for and its seven
// line bytes, last digit pair first ("none": it does not encode). Blanks
// around are trimmed, only the first 14 characters read; the TG rule puts
// 111100 before numbers of up to 8 digits.
struct AddressCase {
  std::string_view text;
  AddressRule rule;
  const char* padded;
  const char* bytes;
};
const AddressCase kAddresses[] = {
    {"12345678901234", AddressRule::kPlain, "12345678901234", "34 12 90 78 56 34 12"},
    {"1", AddressRule::kPlain, "00000000000001", "01 00 00 00 00 00 00"},
    {"", AddressRule::kPlain, "00000000000000", "00 00 00 00 00 00 00"},
    {"abcdef", AddressRule::kPlain, "00000000abcdef", "EF CD AB 00 00 00 00"},
    {"  1234\t", AddressRule::kPlain, "00000000001234", "34 12 00 00 00 00 00"},
    {"1234567890123456", AddressRule::kPlain, "12345678901234", "34 12 90 78 56 34 12"},
    {"12345678", AddressRule::kTG, "11110012345678", "78 56 34 12 00 11 11"},
    {"", AddressRule::kTG, "11110000000000", "00 00 00 00 00 11 11"},
    {"123456789", AddressRule::kTG, "00000123456789", "89 67 45 23 01 00 00"},
    {"22334455667788", AddressRule::kTG, "22334455667788", "88 77 66 55 44 33 22"},
    {kBroadcastAddressText, AddressRule::kTG, "AAAAAAAAAAAAAA", "AA AA AA AA AA AA AA"},
    {"12G4", AddressRule::kPlain, "", "none"},
    {"12 34", AddressRule::kPlain, "", "none"},  // inner blank
    {"-1", AddressRule::kPlain, "", "none"},
    {"0x12", AddressRule::kPlain, "", "none"},
    {"１２", AddressRule::kPlain, "", "none"},              // full-width digits
    {"123456789012345Z", AddressRule::kPlain, "", "none"},  // even past the 14 read
    {"12G4", AddressRule::kTG, "", "none"},
};

TEST(MeterAddress, PadsToFourteenAndSendsTheLastDigitPairFirst) {
  for (const AddressCase& c : kAddresses) {
    const MeterAddress a(c.text, c.rule);
    if (*c.padded) {
      EXPECT_EQ(a.Text(), c.padded) << c.text;
    }
    const auto bytes = a.Encode();
    EXPECT_EQ(bytes ? ToHex(*bytes) : "none", c.bytes) << c.text;
  }
  EXPECT_EQ(ToHex(*MeterAddress::Broadcast().Encode()), "AA AA AA AA AA AA AA");
}

TEST(ReplyAddress, A6FirstInUpperCase) {
  const auto text = [](const std::string& a0_to_a6) {
    return ReplyAddressText(Hex("68 55 " + a0_to_a6 + " A4 03 01 0A 01"));
  };
  EXPECT_EQ(text("34 12 90 78 56 34 12"), "12345678901234");
  EXPECT_EQ(text("ef cd ab 00 00 00 00"), "00000000ABCDEF");
  EXPECT_EQ(ReplyAddressText(Hex("68 55 34 12 90 78 56 34")), "");
}

TEST(ReplyAddress, RowMatchPadsAndIgnoresCase) {
  EXPECT_TRUE(RowMatchesReply("1234", "00000000001234"));
  EXPECT_TRUE(RowMatchesReply(" abcdef ", "00000000ABCDEF"));
  EXPECT_TRUE(RowMatchesReply("00000000ABCDEF", "00000000abcdef"));
  EXPECT_FALSE(RowMatchesReply("1235", "00000000001234"));
  EXPECT_FALSE(RowMatchesReply("1234", "0000000001234"));  // 13 characters
  EXPECT_FALSE(RowMatchesReply("1234", ""));
  EXPECT_TRUE(RowMatchesReply("12345678", "11110012345678", AddressRule::kTG));
  EXPECT_FALSE(RowMatchesReply("12345678", "11110012345678"));
}

TEST(DataId, TransmissionOrderAndSwap) {
  constexpr DataId di{0x90, 0x1F};
  static_assert(di.Swapped() == DataId{0x1F, 0x90});
  EXPECT_NE(di, di.Swapped());
  EXPECT_EQ(di.Swapped().Swapped(), di);
}

}  // namespace
}  // namespace qv
