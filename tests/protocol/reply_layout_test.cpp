// Replies read field by field: the metering data of each meter version,
// and the read-address answer found in the bytes a line received. (The
// coefficient read-back is read through the window against bench-sim.)
#include "protocol/reply_layout.h"

#include <gtest/gtest.h>

#include "core/number_format.h"
#include "protocol/frame.h"
#include "reading/core/reading_format.h"
#include "support/hex.h"

namespace qv {
namespace {

using test::Complete;
using test::Hex;

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

TEST(MeteringData, ValueFirstVersions) {
  const Bytes f = MeteringReply("20", kGroups);
  ASSERT_EQ(f.size(), 59u);
  ASSERT_EQ(CheckFrame(f), FrameCheck::kCorrect);

  const MeteringTexts v202 = MeteringTextsOf(DecodeMeteringData(f, "M-BusV2.02"));
  EXPECT_EQ(v202[ReadingColumn::Settlement], "0");
  EXPECT_EQ(v202[ReadingColumn::CurrentHeat], "1200");
  EXPECT_EQ(v202[ReadingColumn::CurrentCold], "278");  // 1 GJ-coded unit × 277.78
  EXPECT_EQ(v202[ReadingColumn::HeatPower], "0.00");
  EXPECT_EQ(v202[ReadingColumn::FlowRate], "0.001");
  EXPECT_EQ(v202[ReadingColumn::AccumulatedFlow], "1234");
  EXPECT_EQ(v202[ReadingColumn::SupplyTemperature], "45.67");
  EXPECT_EQ(v202[ReadingColumn::ReturnTemperature], "32.10");
  EXPECT_EQ(v202[ReadingColumn::AccumulatedTime], "1234");
  EXPECT_EQ(v202[ReadingColumn::MeterClock], "2025-12-31 23:59:30");
  EXPECT_EQ(v202[ReadingColumn::Status], "0500欠压  回水温度有误   ");
  EXPECT_EQ(v202[ReadingColumn::CommResult], "数据返回正确");

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
  const MeteringTexts h = MeteringTextsOf(DecodeMeteringData(heat, "M-BusV3.01"));
  EXPECT_EQ(h[ReadingColumn::Settlement], "25.00");
  EXPECT_EQ(h[ReadingColumn::CurrentHeat], "12.00");
  EXPECT_EQ(h[ReadingColumn::CurrentCold], "0.00");
  EXPECT_EQ(h[ReadingColumn::HeatPower], "1.50");
  EXPECT_EQ(h[ReadingColumn::FlowRate], "0.1000");
  EXPECT_EQ(h[ReadingColumn::AccumulatedFlow], "12.34");

  const MeteringTexts c =
      MeteringTextsOf(DecodeMeteringData(MeteringReply("21", groups), "M-BusV3.01"));
  EXPECT_EQ(c[ReadingColumn::CurrentHeat], "0.00");
  EXPECT_EQ(c[ReadingColumn::CurrentCold], "12.00");
}

// DI 1F 90 reads in the TG layout whatever the row says.
TEST(MeteringData, TgLayoutSwapsHeatAndCold) {
  constexpr const char* groups =
      "00 01 00 00 11  00 12 00 00 05  00 00 00 00 17  00 00 00 01 32  34 12 00 00 2C";
  const MeteringTexts t =
      MeteringTextsOf(DecodeMeteringData(MeteringReply("20", groups, "1F 90"), "M-BusV3.01"));
  EXPECT_EQ(t[ReadingColumn::CurrentHeat], "12.00");
  EXPECT_EQ(t[ReadingColumn::CurrentCold], "277.78");
  EXPECT_EQ(t[ReadingColumn::FlowRate], "0.100");
  EXPECT_EQ(t[ReadingColumn::AccumulatedFlow], "12.34");
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
