// Golden frames of every command builder. Each expected frame was written out
// by hand from the command table (preamble, 68, T, A0..A6, C, L, DI, SER,
// payload, CS, 16); the checksums were worked out separately.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <ctime>
#include <functional>
#include <string>

#include "protocol/codec.h"
#include "protocol/commands.h"
#include "support/local_time.h"

namespace qv {
namespace {

using testing_time::Local;

// The meter most vectors address: A0..A6 = 34 12 90 78 56 34 12.
constexpr std::string_view kAddr = "12345678901234";

constexpr std::array<int32_t, kFlowPoints> kCoefs = {10000, 12345678, 1, 99999999, 5};
constexpr std::array<int32_t, kFlowPoints> kSmallCoefs = {1, 2, 3, 4, 5};

struct Golden {
  const char* name;
  std::function<std::optional<Bytes>()> build;
  const char* expected;
};
void PrintTo(const Golden& g, std::ostream* os) {
  *os << g.name;
}

// clang-format off
const Golden kGolden[] = {
  {"ReadAddress", [] { return BuildReadAddress(0); },
   "FE FE FE 68 55 AA AA AA AA AA AA AA 23 04 81 0A 01 00 16 16"},
  {"WriteAddress", [] { return BuildWriteAddress(0, kAddr, "11223344556677"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 35 0B A0 18 01 77 66 55 44 33 22 11 00 7C 16"},
  {"SetClockVersion1", [] { return BuildSetClock(1, kAddr, Local(2024, 3, 5, 14, 7, 58)); },
   "FE FE FE 68 20 34 12 90 78 56 34 12 04 0A A0 15 01 59 07 14 05 03 24 20 F6 16"},
  {"SetClockTGCarriesTheMinute", [] { return BuildSetClock(5, "12345678", Local(2024, 3, 5, 14, 7, 59)); },
   "FE FE FE 68 20 78 56 34 12 00 11 11 04 0A 15 A0 01 00 08 14 05 03 24 20 EA 16"},
  {"SetClockBroadcastCarriesTheYear", [] { return BuildSetClock(0, "AAAAAAAAAAAAAA", Local(2024, 12, 31, 23, 59, 59)); },
   "FE FE FE 68 20 AA AA AA AA AA AA AA 04 0A A0 15 01 00 00 00 01 01 25 20 39 16"},
  {"ReadMeterDataVersion2", [] { return BuildReadMeterData(2, kAddr, false); },
   "FE FE FE 68 20 34 12 90 78 56 34 12 01 03 90 1F 01 26 16"},
  {"ReadMeterDataVersion4Cold", [] { return BuildReadMeterData(4, kAddr, true); },
   "FE FE FE 68 21 34 12 90 78 56 34 12 01 03 90 1F 01 27 16"},
  {"ReadMeterDataVersion3ColdKeepsType20", [] { return BuildReadMeterData(3, kAddr, true); },
   "FE FE FE 68 20 34 12 90 78 56 34 12 01 03 90 1F 01 26 16"},
  {"ReadMeterDataTG", [] { return BuildReadMeterData(5, "12345678", false); },
   "FE FE FE 68 20 78 56 34 12 00 11 11 01 03 1F 90 01 72 16"},
  {"ReadMeterDataTGCold", [] { return BuildReadMeterData(5, "12345678", true); },
   "FE FE FE 68 21 78 56 34 12 00 11 11 01 03 1F 90 01 73 16"},
  {"EnterCalibration", [] { return BuildEnterCalibration(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 05 01 10 01 01 00 E3 16"},
  {"ExitCalibration", [] { return BuildExitCalibration(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 05 01 10 01 02 00 E4 16"},
  {"ClearData", [] { return BuildClearData(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 05 01 10 01 00 00 E2 16"},
  {"Initialise", [] { return BuildInitialise(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 04 01 01 01 00 D2 16"},
  {"StartTestKeepsLength04", [] { return BuildStartTest(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 04 01 02 01 F2 00 C5 16"},
  {"EndTestKeepsLength04", [] { return BuildEndTest(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 04 01 08 01 F2 00 CB 16"},
  {"BenchReadData", [] { return BuildBenchReadData(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 21 04 90 1F 01 00 7C 16"},
  {"CalibrateFlowPoint3", [] { return BuildCalibrateFlowPoint(0, kAddr, 3, "12.3456"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 05 01 00 01 E2 40 00 FD 16"},
  {"CalibrateFlowPoint1", [] { return BuildCalibrateFlowPoint(0, kAddr, 1, 1.0); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 03 01 00 00 27 10 00 0F 16"},
  {"AdjustTemperatureMid", [] { return BuildAdjustTemperature(0, kAddr, TemperatureLevel::kMid, "45.67"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 12 01 01 67 45 00 93 16"},
  {"AdjustTemperatureLowEmpty", [] { return BuildAdjustTemperature(0, kAddr, TemperatureLevel::kLow, ""); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 12 01 00 00 00 00 E6 16"},
  {"SetCaliberFourPoints", [] { return BuildSetCaliber(0, kAddr, 8, 4, kCoefs); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 18 01 00 01 00 01 00 00 00 00 01 00 78 56 34 12 01 00 00 00 99 99 99 99 00 60 16"},
  {"SetCaliberFivePoints", [] { return BuildSetCaliber(0, kAddr, 5, 5, kCoefs); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 1C 01 00 01 50 00 00 00 00 00 01 00 78 56 34 12 01 00 00 00 99 99 99 99 05 00 00 00 00 B8 16"},
  {"WriteAllCoefficientsThreePoints", [] { return BuildWriteAllCoefficients(0, kAddr, 3, kSmallCoefs); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 14 01 09 01 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 00 F4 16"},
  {"WriteAllCoefficientsFivePoints", [] { return BuildWriteAllCoefficients(0, kAddr, 5, kSmallCoefs); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 18 01 09 01 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 05 00 00 00 00 FD 16"},
  {"WriteCoefficient2", [] { return BuildWriteCoefficient(0, kAddr, 2, 7500); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 0B 01 00 75 00 00 00 55 16"},
  {"WriteCoefficient5", [] { return BuildWriteCoefficient(0, kAddr, 5, 3); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 0E 01 03 00 00 00 00 E6 16"},
  {"SetLocation", [] { return BuildSetLocation(0, kAddr, 1); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 05 01 0F 01 01 00 E2 16"},
  {"WriteAccumulatorHeat", [] { return BuildWriteAccumulator(0, kAddr, Accumulator::kHeat, "12.3456"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 05 45 23 01 00 00 00 05 00 5D 16"},
  {"WriteAccumulatorCold", [] { return BuildWriteAccumulator(0, kAddr, Accumulator::kCold, " "); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 06 00 00 00 00 00 00 05 00 F5 16"},
  {"WriteAccumulatorFlow", [] { return BuildWriteAccumulator(0, kAddr, Accumulator::kFlow, "1"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 07 00 10 00 00 00 00 2C 00 2D 16"},
  {"WriteAccumulatorWorkTime", [] { return BuildWriteAccumulator(0, kAddr, Accumulator::kWorkTime, "7.9"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 08 07 00 00 00 00 00 00 00 F9 16"},
  {"WriteAccumulatorSharedHeat", [] { return BuildWriteAccumulator(0, kAddr, Accumulator::kSharedHeat, "999999999.999"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 09 99 99 99 99 99 99 05 00 8E 16"},
  {"WriteAccumulatorReturnFlow", [] { return BuildWriteAccumulator(0, kAddr, Accumulator::kReturnFlow, "0.5"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 0A 00 05 00 00 00 00 2C 00 25 16"},
  {"ReadUltrasonicData", [] { return BuildReadUltrasonicData(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 21 06 90 1E 01 00 50 00 CD 16"},
  {"ReadAccumulatedFlow", [] { return BuildReadAccumulatedFlow(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 21 06 90 1D 01 00 50 00 CC 16"},
  {"ReadTemperaturePairing", [] { return BuildReadTemperaturePairing(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 12 01 05 00 50 00 3B 16"},
  {"WriteTemperaturePairingHigh", [] { return BuildWriteTemperaturePairing(0, kAddr, TemperatureLevel::kHigh, "20.29", "20.5", "19.999"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0B 01 12 01 08 29 20 50 20 99 19 00 5D 16"},
  {"WriteTemperaturePairingLow", [] { return BuildWriteTemperaturePairing(0, kAddr, TemperatureLevel::kLow, "", 0.01, ""); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0B 01 12 01 06 00 00 01 00 00 00 00 F1 16"},
  {"ReadHeatUnit", [] { return BuildReadHeatUnit(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 00 00 00 00 E7 16"},
  {"WriteHeatUnitGJ", [] { return BuildWriteHeatUnit(0, kAddr, HeatUnit::kGJ); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 80 01 11 00 79 16"},
  {"WriteHeatUnitKWh", [] { return BuildWriteHeatUnit(0, kAddr, HeatUnit::kKWh); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 80 00 05 00 6C 16"},
  {"ReadPipe", [] { return BuildReadPipe(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 01 00 00 00 E8 16"},
  {"WritePipeDouble", [] { return BuildWritePipe(0, kAddr, PipeMode::kDouble); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 81 00 02 00 6A 16"},
  {"WritePipeSingle", [] { return BuildWritePipe(0, kAddr, PipeMode::kSingle); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 81 00 01 00 69 16"},
  {"ReadPtNumber", [] { return BuildReadPtNumber(0, kAddr); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0A 01 14 01 00 00 00 00 00 00 00 EB 16"},
  {"WritePtNumber", [] { return BuildWritePtNumber(0, kAddr, "1234567890"); },
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0A 01 14 01 80 90 78 56 34 12 00 0F 16"},
};
// clang-format on

class CommandGolden : public testing::TestWithParam<Golden> {};

TEST_P(CommandGolden, BuildsTheFrameByteForByte) {
  const Golden& g = GetParam();
  Bytes expected;
  ASSERT_TRUE(ParseHex(g.expected, expected));
  const std::optional<Bytes> frame = g.build();
  ASSERT_TRUE(frame);
  EXPECT_EQ(HexText(*frame), HexText(expected));
}

INSTANTIATE_TEST_SUITE_P(AllCommands, CommandGolden, testing::ValuesIn(kGolden),
                         [](const testing::TestParamInfo<Golden>& info) {
                           return std::string(info.param.name);
                         });

// Every command of the catalogue has at least one golden frame above.
TEST(CommandGoldenCoverage, EveryCommandHasAVector) {
  for (const CommandRow& row : kCommands) {
    bool found = false;
    for (const Golden& g : kGolden) {
      found = found || std::string_view(g.name).starts_with(row.name);
    }
    EXPECT_TRUE(found) << row.name;
  }
}

}  // namespace
}  // namespace qv
