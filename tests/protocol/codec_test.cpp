// The wire's numbers: BCD and binary fields, checksums, hex text, and the
// numbers an operator types scaled for a meter.
#include <gtest/gtest.h>

#include <limits>

#include "protocol/codec.h"
#include "protocol/entry_value.h"
#include "support/hex.h"

namespace qv {
namespace {

using namespace test;

// Little-endian digit pairs ("56 34 12" is 123456); nibbles above 9 are
// read at face value (1A -> 1 x 10 + 10), digits beyond a field dropped.
// Fields as hex, their values and sizes.
// clang-format off
const std::pair<const char*, uint64_t> kBcdRead[] = {
    {"56 34 12", 123456}, {"99 99 99 99", 99999999}, {"00 12 00 00", 1200}, {"", 0}, {"1A", 20},
    {"FF 01", 265}};
const std::tuple<uint64_t, size_t, const char*> kBcdWritten[] = {
    {123456, 3, "56 34 12"}, {100, 2, "00 01"}, {7, 4, "07 00 00 00"}, {0, 2, "00 00"}, {5, 0, ""},
    {123456, 2, "56 34"}};
const std::tuple<uint64_t, size_t, const char*> kBinBE[] = {
    {0x00012345, 4, "00 01 23 45"}, {123456, 4, "00 01 E2 40"}, {0xFFFFFFFF, 4, "FF FF FF FF"},
    {0x1FF, 1, "FF"}, {0x0102030405060708, 8, "01 02 03 04 05 06 07 08"}};
// clang-format on

TEST(Bcd, ReadsAndWritesLittleEndianDigitPairs) {
  for (const auto& [hex, value] : kBcdRead)
    EXPECT_EQ(BcdToInt(Hex(hex)), value) << hex;
  for (const auto& [value, size, hex] : kBcdWritten)
    EXPECT_EQ(ToHex(IntToBcd(value, size)), hex) << value;
  EXPECT_EQ(BcdToInt(IntToBcd(9876543210, 5)), 9876543210u);
}

TEST(BinBE, MostSignificantFirstHighBytesDropped) {
  for (const auto& [value, size, hex] : kBinBE)
    EXPECT_EQ(ToHex(IntToBinBE(value, size)), hex) << value;
}

TEST(FrameChecksum, SumsModulo256) {
  EXPECT_EQ(FrameChecksum(Hex("FF 02")), 0x01);
  EXPECT_EQ(FrameChecksum(Hex("80 80")), 0x00);
  EXPECT_EQ(FrameChecksum({}), 0x00);
  EXPECT_EQ(FrameChecksum(Bytes(1000, 0xFF)), 0x18);  // 255000 = 0x3E418
}

TEST(BcdDateTimeText, YearMonthDayHourMinuteSecond) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"05 04 03 02 01 24 20", "2024-01-02 03:04:05"}, {"30 59 23 31 12 25 20", "2025-12-31 23:59:30"},
      {"00 00 00 01 01 05 00", "5-01-01 00:00:00"},  // the year is not padded
      {"00 00 00 01 01 99 19", "1999-01-01 00:00:00"}};
  // clang-format on
  for (const auto& [hex, text] : cases)
    EXPECT_EQ(BcdDateTimeText(std::span<const uint8_t, 7>(Hex(hex).data(), 7)), text);
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

// Typed text, the power of ten, and the scaled value ("none": refused).
// Scaling works on the digits typed, not on their binary approximation (in
// binary floating point 0.29 x 100 is 28.999999999999996), truncates toward
// zero, takes an empty text as 0, signs, points and exponents, and refuses
// what is no number or leaves the int64 range.
// clang-format off
const std::tuple<const char*, int, const char*> kScaled[] = {
    {"12.3456", 3, "12345"}, {"7.9", 0, "7"}, {"12.3456", 4, "123456"}, {"-7.9", 0, "-7"},
    {"-0.004", 2, "0"}, {"0.5", 3, "500"}, {"1", 4, "10000"}, {"0.29", 2, "29"},
    {"20.29", 2, "2029"}, {"1.1", 4, "11000"}, {"", 2, "0"}, {"   ", 2, "0"}, {" 12.5 ", 1, "125"},
    {"+3", 0, "3"}, {".5", 1, "5"}, {"5.", 1, "50"}, {"1e3", 0, "1000"}, {"1.5E-1", 2, "15"},
    {"000123", 0, "123"}, {"9223372036854775807", 0, "9223372036854775807"},
    {"1e-400", 4, "0"}, {"0e999999999", 0, "0"}, {"99999999999999999999", 0, "none"},
    {"1e30", 0, "none"}, {"abc", 0, "none"}, {"1,5", 0, "none"}, {"1.2.3", 0, "none"},
    {"12a", 0, "none"}, {"e5", 0, "none"}, {".", 0, "none"}, {"-", 0, "none"}, {"1e", 0, "none"},
    {"0x10", 0, "none"}, {"inf", 0, "none"}, {"nan", 0, "none"}, {"1 2", 0, "none"}};
// clang-format on

std::string Text(std::optional<int64_t> v) {
  return v ? std::to_string(*v) : "none";
}

TEST(EntryValue, ScalesTheDigitsTypedAndTruncatesTowardZero) {
  for (const auto& [text, decimals, scaled] : kScaled)
    EXPECT_EQ(Text(EntryValue(text).Scaled(decimals)), scaled) << text << " " << decimals;
}

TEST(EntryValue, NumbersOfTheProgramScaleThroughTheirShortestDecimalForm) {
  EXPECT_EQ(EntryValue(0.29).Scaled(2), 29);
  EXPECT_EQ(EntryValue(4.35).Scaled(2), 435);
  EXPECT_EQ(EntryValue(1e20).Scaled(-18), 100);
  EXPECT_EQ(EntryValue(0).Scaled(2), 0);
  EXPECT_EQ(EntryValue(25).Scaled(2), 2500);
  EXPECT_EQ(EntryValue(int64_t{-3}).Scaled(0), -3);
  EXPECT_FALSE(EntryValue(static_cast<const char*>(nullptr)).Scaled(0));
  EXPECT_FALSE(EntryValue(std::numeric_limits<double>::infinity()).Scaled(0));
  EXPECT_FALSE(EntryValue(std::numeric_limits<double>::quiet_NaN()).Scaled(0));
}

TEST(EntryValue, IntegerRefusesFractions) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"42", "42"}, {"42.000", "42"}, {"10e-1", "1"}, {"", "0"}, {"1.05", "none"}, {"0.5", "none"},
      {"x", "none"}};
  // clang-format on
  for (const auto& [text, integer] : cases)
    EXPECT_EQ(Text(EntryValue(text).Integer()), integer) << text;
}

}  // namespace
}  // namespace qv
