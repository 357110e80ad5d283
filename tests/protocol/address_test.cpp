// Meter addresses: the text a row holds, its line bytes, the address a reply
// carries, and numbering the rows that follow.
#include <gtest/gtest.h>

#include <array>

#include "protocol/address.h"
#include "protocol/address_numbering.h"
#include "support/hex.h"

namespace qv {
namespace {

using namespace test;
using Assigned = std::vector<std::pair<int, std::string>>;

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

TEST(AddressNumbering, KeysAnAddressCellTakes) {
  for (char32_t c = U'0'; c <= U'9'; ++c)
    EXPECT_EQ(ClassifyAddressKey(c), AddressKey::kPass);
  EXPECT_EQ(ClassifyAddressKey(0x08), AddressKey::kPass);
  EXPECT_EQ(ClassifyAddressKey(0x0D), AddressKey::kRenumber);
  for (char32_t c : {U'a', U'F', U' ', U'-', U'.', U'\x16', U'\x1B', U'０'})
    EXPECT_EQ(ClassifyAddressKey(c), AddressKey::kReject) << static_cast<uint32_t>(c);
}

// Rows 4, 6, 7 and 10 (shown 1-based) are selected, row 5 holds 555; the
// row numbered from holds `address`. A double-click (`all`) numbers every
// selected row below within MeterNum, Enter the next one only; "none": an
// address that is no number, or no such row, numbers nothing. A number too
// long for the cell is not given.
struct NumberingCase {
  const char* address;
  int meters, row;
  bool all;
  const char* numbered;
};
// clang-format off
const NumberingCase kNumbering[] = {
    {"100", 8, 2, true, "100: 3=101 5=102 6=103"}, {" 0099 ", 20, 2, false, "99: 3=100"},
    {"7", 20, 9, false, "7:"}, {"", 20, 9, false, "none"},
    {"9999999998", 20, 2, true, "9999999998: 3=9999999999"},
    {"", 20, 2, true, "none"}, {"  ", 20, 2, true, "none"}, {"12a", 20, 2, true, "none"},
    {"1.5", 20, 2, true, "none"}, {"0x10", 20, 2, true, "none"},
    {"99999999999999999999", 20, 2, true, "none"}, {"100", 20, 20, true, "none"},
    {"100", 20, -1, true, "none"}};
// clang-format on

TEST(AddressNumbering, NumbersTheSelectedRowsThatFollow) {
  for (const NumberingCase& c : kNumbering) {
    std::array<MeterRow, kMeterRows> rows;
    for (int r : {3, 5, 6, 9})
      rows[r].Selected = true;
    rows[4].Address = "555";
    if (c.row >= 0 && c.row < kMeterRows) rows[c.row].Address = c.address;
    const auto n = NumberFollowingRows(rows, c.meters, c.row, c.all);
    std::string numbered = n ? n->Normalised + ":" : "none";
    for (const auto& [row, address] : n ? n->Assigned : Assigned{})
      numbered += " " + std::to_string(row) + "=" + address;
    EXPECT_EQ(numbered, c.numbered) << c.address << " row " << c.row;
  }
}

}  // namespace
}  // namespace qv
