#include "protocol/codec.h"

#include <gtest/gtest.h>

#include <array>

namespace qv {
namespace {

Bytes Hex(std::string_view text) {
  Bytes b;
  EXPECT_TRUE(ParseHex(text, b)) << text;
  return b;
}

TEST(Bcd, ReadsLittleEndianDigitPairs) {
  EXPECT_EQ(BcdToInt(Hex("56 34 12")), 123456u);
  EXPECT_EQ(BcdToInt(Hex("99 99 99 99")), 99999999u);
  EXPECT_EQ(BcdToInt(Hex("00 12 00 00")), 1200u);
  EXPECT_EQ(BcdToInt({}), 0u);
  // Nibbles above 9 are taken at face value: 1A -> 1*10 + 10.
  EXPECT_EQ(BcdToInt(Hex("1A")), 20u);
  EXPECT_EQ(BcdToInt(Hex("FF 01")), 100u + 165u);
}

TEST(Bcd, WritesLittleEndianDigitPairs) {
  EXPECT_EQ(IntToBcd(123456, 3), Hex("56 34 12"));
  EXPECT_EQ(IntToBcd(100, 2), Hex("00 01"));
  EXPECT_EQ(IntToBcd(7, 4), Hex("07 00 00 00"));
  EXPECT_EQ(IntToBcd(0, 2), Hex("00 00"));
  EXPECT_TRUE(IntToBcd(5, 0).empty());
  // Digits beyond the field are dropped.
  EXPECT_EQ(IntToBcd(123456, 2), Hex("56 34"));
}

TEST(Bcd, RoundTripsTenDigits) {
  const uint64_t v = 9876543210;
  EXPECT_EQ(BcdToInt(IntToBcd(v, 5)), v);
}

TEST(BinBE, MostSignificantFirst) {
  EXPECT_EQ(IntToBinBE(0x00012345, 4), Hex("00 01 23 45"));
  EXPECT_EQ(IntToBinBE(123456, 4), Hex("00 01 E2 40"));
  EXPECT_EQ(IntToBinBE(0xFFFFFFFF, 4), Hex("FF FF FF FF"));
  EXPECT_EQ(IntToBinBE(0x1FF, 1), Hex("FF"));  // high bytes dropped
  EXPECT_EQ(IntToBinBE(0x0102030405060708, 8), Hex("01 02 03 04 05 06 07 08"));
}

TEST(ByteToHex, TwoUpperCaseDigits) {
  EXPECT_EQ(ByteToHex(0x00), "00");
  EXPECT_EQ(ByteToHex(0x0A), "0A");
  EXPECT_EQ(ByteToHex(0xAB), "AB");
  EXPECT_EQ(ByteToHex(0xFF), "FF");
}

TEST(FrameChecksum, SumsModulo256) {
  EXPECT_EQ(FrameChecksum(Hex("FF 02")), 0x01);
  EXPECT_EQ(FrameChecksum(Hex("80 80")), 0x00);
  EXPECT_EQ(FrameChecksum({}), 0x00);
  const Bytes many(1000, 0xFF);  // 255000 = 0x3E418
  EXPECT_EQ(FrameChecksum(many), 0x18);
}

TEST(BcdDateTimeText, YearMonthDayHourMinuteSecond) {
  const auto text = [](std::string_view hex) {
    const Bytes b = Hex(hex);
    return BcdDateTimeText(std::span<const uint8_t, 7>(b.data(), 7));
  };
  EXPECT_EQ(text("05 04 03 02 01 24 20"), "2024-01-02 03:04:05");
  EXPECT_EQ(text("30 59 23 31 12 25 20"), "2025-12-31 23:59:30");
  EXPECT_EQ(text("00 00 00 01 01 05 00"), "5-01-01 00:00:00");  // year not padded
  EXPECT_EQ(text("00 00 00 01 01 99 19"), "1999-01-01 00:00:00");
}

TEST(HexText, BlankBeforeEveryByte) {
  EXPECT_EQ(HexText(Hex("68 55 16")), " 68 55 16");
  EXPECT_EQ(HexText(Hex("0a")), " 0A");
  EXPECT_EQ(HexText({}), "");
}

TEST(ParseHex, AcceptsSpacedOrPackedEitherCase) {
  Bytes b;
  EXPECT_TRUE(ParseHex("68 55", b));
  EXPECT_EQ(b, (Bytes{0x68, 0x55}));
  EXPECT_TRUE(ParseHex("6855aB", b));
  EXPECT_EQ(b, (Bytes{0x68, 0x55, 0xAB}));
  EXPECT_TRUE(ParseHex("", b));
  EXPECT_TRUE(b.empty());
  EXPECT_FALSE(ParseHex("685", b));  // odd digit count
  EXPECT_FALSE(ParseHex("68 G5", b));
}

}  // namespace
}  // namespace qv
