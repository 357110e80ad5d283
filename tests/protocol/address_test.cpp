#include "protocol/address.h"

#include <gtest/gtest.h>

#include "protocol/codec.h"

namespace qv {
namespace {

std::string Encoded(std::string_view text, AddressRule rule = AddressRule::kPlain) {
  const std::optional<AddressBytes> a = MeterAddress(text, rule).Encode();
  return a ? HexText(*a) : "none";
}

TEST(MeterAddress, LastDigitPairTravelsFirst) {
  EXPECT_EQ(Encoded("12345678901234"), " 34 12 90 78 56 34 12");
  EXPECT_EQ(Encoded("1"), " 01 00 00 00 00 00 00");
  EXPECT_EQ(Encoded(""), " 00 00 00 00 00 00 00");
  EXPECT_EQ(Encoded("AAAAAAAAAAAAAA"), " AA AA AA AA AA AA AA");
  EXPECT_EQ(Encoded("abcdef"), " EF CD AB 00 00 00 00");
  EXPECT_EQ(HexText(*MeterAddress::Broadcast().Encode()), " AA AA AA AA AA AA AA");
}

TEST(MeterAddress, TrimsAndPadsTo14) {
  EXPECT_EQ(MeterAddress("  1234\t").Text(), "00000000001234");
  EXPECT_EQ(MeterAddress("abc").Text(), "00000000000abc");
  // Only the first 14 characters are read.
  EXPECT_EQ(MeterAddress("1234567890123456").Text(), "12345678901234");
  EXPECT_EQ(Encoded("1234567890123456"), " 34 12 90 78 56 34 12");
}

TEST(MeterAddress, TGRulePrefixesShortNumbers) {
  EXPECT_EQ(MeterAddress("12345678", AddressRule::kTG).Text(), "11110012345678");
  EXPECT_EQ(MeterAddress("1234", AddressRule::kTG).Text(), "11110000001234");
  EXPECT_EQ(MeterAddress("", AddressRule::kTG).Text(), "11110000000000");
  EXPECT_EQ(Encoded("", AddressRule::kTG), " 00 00 00 00 00 11 11");
  // Longer texts are whole addresses already.
  EXPECT_EQ(MeterAddress("123456789", AddressRule::kTG).Text(), "00000123456789");
  EXPECT_EQ(MeterAddress("22334455667788", AddressRule::kTG).Text(), "22334455667788");
  EXPECT_EQ(MeterAddress(kBroadcastAddressText, AddressRule::kTG).Text(), "AAAAAAAAAAAAAA");
}

TEST(MeterAddress, TextThatIsNotHexDoesNotEncode) {
  EXPECT_EQ(Encoded("12G4"), "none");
  EXPECT_EQ(Encoded("12 34"), "none");  // inner blank
  EXPECT_EQ(Encoded("-1"), "none");
  EXPECT_EQ(Encoded("0x12"), "none");
  EXPECT_EQ(Encoded("１２"), "none");              // full-width digits
  EXPECT_EQ(Encoded("123456789012345Z"), "none");  // even past the 14 read
  EXPECT_EQ(Encoded("12G4", AddressRule::kTG), "none");
}

Bytes ReplyWithAddress(std::string_view a0ToA6) {
  Bytes frame;
  EXPECT_TRUE(ParseHex(std::string("68 55 ") + std::string(a0ToA6) + " A4 03 01 0A 01", frame));
  return frame;
}

TEST(ReplyAddress, A6FirstInUpperCase) {
  EXPECT_EQ(ReplyAddressText(ReplyWithAddress("34 12 90 78 56 34 12")), "12345678901234");
  EXPECT_EQ(ReplyAddressText(ReplyWithAddress("ef cd ab 00 00 00 00")), "00000000ABCDEF");
  Bytes shortFrame;
  ParseHex("68 55 34 12 90 78 56 34", shortFrame);
  EXPECT_EQ(ReplyAddressText(shortFrame), "");
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
