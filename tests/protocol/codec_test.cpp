#include "protocol/codec.h"

#include <gtest/gtest.h>

#include "support/hex.h"

namespace qv {
namespace {

using namespace test;

// Little-endian digit pairs ("56 34 12" is 123456); nibbles above 9 are
// read at face value (1A -> 1 x 10 + 10), digits beyond a field dropped.
TEST(Bcd, ReadsAndWritesLittleEndianDigitPairs) {
  for (const auto& [hex, value] : {std::pair<const char*, uint64_t>("56 34 12", 123456),
                                   {"99 99 99 99", 99999999},
                                   {"00 12 00 00", 1200},
                                   {"", 0},
                                   {"1A", 20},
                                   {"FF 01", 265}})
    EXPECT_EQ(BcdToInt(Hex(hex)), value) << hex;
  for (const auto& [value, size, hex] :
       {std::tuple<uint64_t, size_t, const char*>(123456, 3, "56 34 12"),
        {100, 2, "00 01"},
        {7, 4, "07 00 00 00"},
        {0, 2, "00 00"},
        {5, 0, ""},
        {123456, 2, "56 34"}})
    EXPECT_EQ(ToHex(IntToBcd(value, size)), hex) << value;
  EXPECT_EQ(BcdToInt(IntToBcd(9876543210, 5)), 9876543210u);
}

TEST(BinBE, MostSignificantFirstHighBytesDropped) {
  for (const auto& [value, size, hex] :
       {std::tuple<uint64_t, size_t, const char*>(0x00012345, 4, "00 01 23 45"),
        {123456, 4, "00 01 E2 40"},
        {0xFFFFFFFF, 4, "FF FF FF FF"},
        {0x1FF, 1, "FF"},
        {0x0102030405060708, 8, "01 02 03 04 05 06 07 08"}})
    EXPECT_EQ(ToHex(IntToBinBE(value, size)), hex) << value;
}

TEST(FrameChecksum, SumsModulo256) {
  EXPECT_EQ(FrameChecksum(Hex("FF 02")), 0x01);
  EXPECT_EQ(FrameChecksum(Hex("80 80")), 0x00);
  EXPECT_EQ(FrameChecksum({}), 0x00);
  EXPECT_EQ(FrameChecksum(Bytes(1000, 0xFF)), 0x18);  // 255000 = 0x3E418
}

TEST(BcdDateTimeText, YearMonthDayHourMinuteSecond) {
  for (const auto& [hex, text] :
       {std::pair("05 04 03 02 01 24 20", "2024-01-02 03:04:05"),
        {"30 59 23 31 12 25 20", "2025-12-31 23:59:30"},
        {"00 00 00 01 01 05 00", "5-01-01 00:00:00"},  // the year is not padded
        {"00 00 00 01 01 99 19", "1999-01-01 00:00:00"}}) {
    const Bytes b = Hex(hex);
    EXPECT_EQ(BcdDateTimeText(std::span<const uint8_t, 7>(b.data(), 7)), text);
  }
}

TEST(HexText, BlankBeforeEveryByteAndUpperCaseDigits) {
  EXPECT_EQ(HexText(Bytes{0x68, 0x0A, 0xAB, 0xFF, 0x00}), " 68 0A AB FF 00");
  EXPECT_EQ(HexText({}), "");
  EXPECT_EQ(ByteToHex(0x0A), "0A");
  EXPECT_EQ(ByteToHex(0xAB), "AB");
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
