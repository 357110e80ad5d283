// The wire's numbers: BCD and binary fields, checksums, hex text, and the
// numbers an operator types scaled for a meter. Replies read field by
// field: the metering data of each meter version, and the read-address
// answer found in the bytes a line received. (The coefficient read-back is
// read through the window against bench-sim.)
#include <gtest/gtest.h>

#include <limits>

#include "core/number_format.h"
#include "protocol/codec.h"
#include "protocol/entry_value.h"
#include "protocol/frame.h"
#include "protocol/reply_layout.h"
#include "reading/core/reading_format.h"
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

// A metering reply of `type` from meter 12345678901234 with the given
// groups (hex of 25 bytes) and a fixed tail: supply 45.67 °C, return
// 32.10 °C, 1234 h, clock 2025-12-31 23:59:30, status 05 00.
Bytes MeteringReply(const std::string& type, const std::string& groups,
                    const std::string& di = "90 1F") {
  EXPECT_EQ(Hex(groups).size(), 25u);
  return Complete("68 " + type + " 34 12 90 78 56 34 12 81 2E " + di + " 01 " + groups +
                  " 67 45 00  10 32 00  34 12 00  30 59 23 31 12 25 20  05 00");
}

constexpr const char* kGroups =
    "00 00 00 00 05  00 12 00 00 05  01 00 00 00 11  10 00 00 00 32  34 12 00 00 2C";

// Every column of a decoded reply, joined by '|' ("-": nothing shown).
std::string Row(const MeteringTexts& texts) {
  std::string row;
  for (const std::optional<std::string>& text : texts.column)
    row += (row.empty() ? "" : "|") + text.value_or("-");
  return row;
}

TEST(MeteringData, ValueFirstVersions) {
  const Bytes f = MeteringReply("20", kGroups);
  ASSERT_EQ(f.size(), 59u);
  ASSERT_EQ(CheckFrame(f), FrameCheck::kCorrect);

  // Cold: one GJ-coded unit × 277.78.
  EXPECT_EQ(Row(MeteringTextsOf(DecodeMeteringData(f, "M-BusV2.02"))),
            "0|1200|278|0.00|0.001|1234|45.67|32.10|1234|2025-12-31 23:59:30|"
            "0500欠压  回水温度有误   |数据返回正确");

  // The same flow group reads a thousand times larger under 2.01.
  EXPECT_EQ(MeteringTextsOf(DecodeMeteringData(f, "M-BusV2.01"))[ReadingColumn::FlowRate], "1.000");
  // 2.03 shifts the energies down one group and reads power from G3.
  const MeteringTexts v203 = MeteringTextsOf(DecodeMeteringData(f, "M-BusV2.03"));
  EXPECT_EQ(v203[ReadingColumn::CurrentHeat], "0");
  EXPECT_EQ(v203[ReadingColumn::CurrentCold], "1200");
  EXPECT_EQ(v203[ReadingColumn::HeatPower], kTextUnknownUnit);  // unit 11 is no power unit
  EXPECT_EQ(v203[ReadingColumn::CommResult], kTextDataUnknownUnit);
  // A TG row that answers with DI 90 1F reads like 2.02.
  EXPECT_EQ(MeteringTextsOf(DecodeMeteringData(f, "TG"))[ReadingColumn::FlowRate], "0.001");
}

TEST(MeteringData, UnitFirstVersionSplitsHeatAndCold) {
  constexpr const char* groups =
      "05 00 25 00 00  05 00 12 00 00  17 50 01 00 00  32 00 00 00 01  2C 34 12 00 00";
  const Bytes heat = MeteringReply("20", groups);
  // The same groups in a heat meter's reply (20) and a cold meter's (21).
  const std::string rest =
      "|1.50|0.1000|12.34|45.67|32.10|1234|2025-12-31 23:59:30|"
      "0500欠压  回水温度有误   |数据返回正确";
  EXPECT_EQ(Row(MeteringTextsOf(DecodeMeteringData(heat, "M-BusV3.01"))),
            "25.00|12.00|0.00" + rest);
  EXPECT_EQ(Row(MeteringTextsOf(DecodeMeteringData(MeteringReply("21", groups), "M-BusV3.01"))),
            "25.00|0.00|12.00" + rest);
}

// DI 1F 90 reads in the TG layout whatever the row says.
TEST(MeteringData, TgLayoutSwapsHeatAndCold) {
  constexpr const char* groups =
      "00 01 00 00 11  00 12 00 00 05  00 00 00 00 17  00 00 00 01 32  34 12 00 00 2C";
  EXPECT_EQ(
      Row(MeteringTextsOf(DecodeMeteringData(MeteringReply("20", groups, "1F 90"), "M-BusV3.01"))),
      "0|12.00|277.78|0.00|0.100|12.34|45.67|32.10|1234|2025-12-31 23:59:30|"
      "0500欠压  回水温度有误   |数据返回正确");
}

TEST(MeteringData, ShortCorrectFramesShowNothing) {
  // A correct but short frame shows nothing rather than reading past its end.
  const Bytes shortFrame = Complete("68 20 00 00 00 00 00 00 00 81 03 90 1F 01");
  ASSERT_EQ(CheckFrame(shortFrame), FrameCheck::kCorrect);
  EXPECT_EQ(
      MeteringTextsOf(DecodeMeteringData(shortFrame, "M-BusV2.02"))[ReadingColumn::CommResult],
      std::nullopt);
}

TEST(MeteringData, StatusBits) {
  EXPECT_EQ(StatusBitsText(0x00), "");
  EXPECT_EQ(StatusBitsText(0xF0), "");
  EXPECT_EQ(StatusBitsText(0x0F), "欠压  进水温度有误   回水温度有误   流量传感器有误  ");
}

// The bytes a line received and the address read from them ("none": not
// accepted).
TEST(AddressReplyTest, TheFirstReplyWithItsSumAndControlGivesTheAddress) {
  const std::pair<const char*, const char*> cases[] = {
      {"68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16", "00002024000001"},
      {"FE FE 00 68 55 0A 0B 0C 0D 0E 0F 10 A3 04 81 0A 01 00 4B", "100F0E0D0C0B0A"},
      {"68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 36 16", "none"},  // sum
      {"68 55 01 00 00 24 20 00 00 A4 04 81 0A 01 00 36 16", "none"},  // control
      {"68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00", "none"},        // short
      // Only the first 68 55 counts.
      {"68 55 00 68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16", "none"},
  };
  for (const auto& [received, address] : cases)
    EXPECT_EQ(AcceptAddressReply(Hex(received)).value_or("none"), address) << received;
}

TEST(NumberFormat, RoundsHalfAwayFromZeroOnTheDecimalValue) {
  EXPECT_EQ(FormatFixed(277.78, 0), "278");
  EXPECT_EQ(FormatFixed(2.675, 2), "2.68");
  EXPECT_EQ(FormatFixed(1.005, 2), "1.01");
  EXPECT_EQ(FormatFixed(-2.005, 2), "-2.01");
  EXPECT_EQ(FormatFixed(0.0004, 3), "0.000");
  EXPECT_EQ(FormatFixed(-0.0004, 3), "0.000");
  EXPECT_EQ(FormatFixed(9.9996, 3), "10.000");
  EXPECT_EQ(FormatFixed(0, 2), "0.00");
  EXPECT_EQ(FormatFixed(123456789.0, 0), "123456789");
  EXPECT_EQ(FormatFixed(0.5, 0), "1");
  EXPECT_EQ(FormatFixed(1e-7 * 1000000, 4), "0.1000");
}

TEST(NumberFormat, ParsesOperatorNumbers) {
  EXPECT_EQ(ParseNumber(" 12.5 "), 12.5);
  EXPECT_EQ(ParseNumber("-3"), -3.0);
  EXPECT_EQ(ParseNumber("1e3"), 1000.0);
  EXPECT_EQ(ParseNumber(""), std::nullopt);
  EXPECT_EQ(ParseNumber("12a"), std::nullopt);
  EXPECT_EQ(ParseNumber("inf"), std::nullopt);
  EXPECT_EQ(ParseNumber("0x10"), std::nullopt);
}

}  // namespace
}  // namespace qv
