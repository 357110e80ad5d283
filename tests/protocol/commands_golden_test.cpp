// The command catalogue: golden frames of every command, the selector
// rules, the clock, and the reply markers. Each golden frame was written out
// by hand from the catalogue (preamble, 68, T, A0..A6, C, L, DI, SER,
// payload, CS, 16); the checksums were worked out separately. A vector
// without a frame is a request that must build nothing: a value that is not
// a number, negative, past its field's largest, a choice or variant the
// command does not have.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "support/hex.h"
#include "support/local_time.h"

namespace qv {
namespace {

using test::Hex;
using testing_time::Local;
using C = Command;

// The meter most vectors address: A0..A6 = 34 12 90 78 56 34 12.
constexpr std::string_view kAddr = "12345678901234";

constexpr std::array<int32_t, kFlowPoints> kCoefs = {10000, 12345678, 1, 99999999, 5};
constexpr std::array<int32_t, kFlowPoints> kSmallCoefs = {1, 2, 3, 4, 5};

struct Golden {
  const char* name;
  Command command;
  CommandRequest request;
  const char* expected;  // nullptr: refused
};
void PrintTo(const Golden& g, std::ostream* os) {
  *os << g.name;
}

constexpr auto kLow = static_cast<int>(TemperatureLevel::kLow);
constexpr auto kMid = static_cast<int>(TemperatureLevel::kMid);
constexpr auto kHigh = static_cast<int>(TemperatureLevel::kHigh);
constexpr auto kHeat = static_cast<int>(Accumulator::kHeat);
constexpr auto kWorkTime = static_cast<int>(Accumulator::kWorkTime);

// clang-format off
const Golden kGolden[] = {
  {"ReadAddress", C::kReadAddress, {.address = "12G4"},
   "FE FE FE 68 55 AA AA AA AA AA AA AA 23 04 81 0A 01 00 16 16"},
  {"WriteAddress", C::kWriteAddress, {.address = kAddr, .newAddress = "11223344556677"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 35 0B A0 18 01 77 66 55 44 33 22 11 00 7C 16"},
  {"WriteAddressNotHex", C::kWriteAddress, {.address = kAddr, .newAddress = "12X4"}, nullptr},
  {"SetClockVersion1", C::kSetClock, {.selector = 1, .address = kAddr, .now = Local(2024, 3, 5, 14, 7, 58)},
   "FE FE FE 68 20 34 12 90 78 56 34 12 04 0A A0 15 01 59 07 14 05 03 24 20 F6 16"},
  {"SetClockTGCarriesTheMinute", C::kSetClock, {.selector = 5, .address = "12345678", .now = Local(2024, 3, 5, 14, 7, 59)},
   "FE FE FE 68 20 78 56 34 12 00 11 11 04 0A 15 A0 01 00 08 14 05 03 24 20 EA 16"},
  {"SetClockBroadcastCarriesTheYear", C::kSetClock, {.address = "AAAAAAAAAAAAAA", .now = Local(2024, 12, 31, 23, 59, 59)},
   "FE FE FE 68 20 AA AA AA AA AA AA AA 04 0A A0 15 01 00 00 00 01 01 25 20 39 16"},
  {"SetClockVersion6", C::kSetClock, {.selector = 6, .address = kAddr}, nullptr},
  {"ReadMeterDataVersion2", C::kReadMeterData, {.selector = 2, .address = kAddr},
   "FE FE FE 68 20 34 12 90 78 56 34 12 01 03 90 1F 01 26 16"},
  {"ReadMeterDataVersion4Cold", C::kReadMeterData, {.selector = 4, .address = kAddr, .coldMeter = true},
   "FE FE FE 68 21 34 12 90 78 56 34 12 01 03 90 1F 01 27 16"},
  {"ReadMeterDataVersion4ShortAddress", C::kReadMeterData, {.selector = 4, .address = "12345678"},
   "FE FE FE 68 20 78 56 34 12 00 00 00 01 03 90 1F 01 50 16"},
  {"ReadMeterDataVersion3ColdKeepsType20", C::kReadMeterData, {.selector = 3, .address = kAddr, .coldMeter = true},
   "FE FE FE 68 20 34 12 90 78 56 34 12 01 03 90 1F 01 26 16"},
  {"ReadMeterDataTG", C::kReadMeterData, {.selector = 5, .address = "12345678"},
   "FE FE FE 68 20 78 56 34 12 00 11 11 01 03 1F 90 01 72 16"},
  {"ReadMeterDataTGCold", C::kReadMeterData, {.selector = 5, .address = "12345678", .coldMeter = true},
   "FE FE FE 68 21 78 56 34 12 00 11 11 01 03 1F 90 01 73 16"},
  {"ReadMeterDataVersionMinus1", C::kReadMeterData, {.selector = -1, .address = kAddr}, nullptr},
  {"ReadMeterDataNotHex", C::kReadMeterData, {.selector = 1, .address = "zz"}, nullptr},
  {"EnterCalibration", C::kEnterCalibration, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 05 01 10 01 01 00 E3 16"},
  {"ExitCalibration", C::kExitCalibration, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 05 01 10 01 02 00 E4 16"},
  {"ClearData", C::kClearData, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 05 01 10 01 00 00 E2 16"},
  {"Initialise", C::kInitialise, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 04 01 01 01 00 D2 16"},
  {"StartTestKeepsLength04", C::kStartTest, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 04 01 02 01 F2 00 C5 16"},
  {"EndTestKeepsLength04", C::kEndTest, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 04 01 08 01 F2 00 CB 16"},
  {"BenchReadData", C::kBenchReadData, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 21 04 90 1F 01 00 7C 16"},
  {"BenchReadDataEuropean", C::kBenchReadData, {.selector = 1, .address = kAddr}, nullptr},
  {"CalibrateFlowPoint3", C::kCalibrateFlowPoint, {.address = kAddr, .variant = 2, .value = "12.3456"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 05 01 00 01 E2 40 00 FD 16"},
  {"CalibrateFlowPoint1", C::kCalibrateFlowPoint, {.address = kAddr, .value = 1.0},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 03 01 00 00 27 10 00 0F 16"},
  {"CalibrateFlowPointLargest", C::kCalibrateFlowPoint, {.address = kAddr, .value = "429496.7295"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 03 01 FF FF FF FF 00 D4 16"},
  {"CalibrateFlowPointPast32Bits", C::kCalibrateFlowPoint, {.address = kAddr, .value = "429496.7296"}, nullptr},
  {"CalibrateFlowPointText", C::kCalibrateFlowPoint, {.address = kAddr, .value = "abc"}, nullptr},
  {"CalibrateFlowPointNegative", C::kCalibrateFlowPoint, {.address = kAddr, .value = "-1"}, nullptr},
  {"CalibrateFlowPoint6", C::kCalibrateFlowPoint, {.address = kAddr, .variant = 5, .value = "1"}, nullptr},
  {"AdjustTemperatureMid", C::kAdjustTemperature, {.address = kAddr, .choice = kMid, .value = "45.67"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 12 01 01 67 45 00 93 16"},
  {"AdjustTemperatureLowEmpty", C::kAdjustTemperature, {.address = kAddr, .choice = kLow, .value = ""},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 12 01 00 00 00 00 E6 16"},
  {"AdjustTemperatureHighLargest", C::kAdjustTemperature, {.address = kAddr, .choice = kHigh, .value = "99.999"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 12 01 02 99 99 00 1A 16"},
  {"AdjustTemperature100", C::kAdjustTemperature, {.address = kAddr, .choice = kHigh, .value = "100"}, nullptr},
  {"AdjustTemperatureNegative", C::kAdjustTemperature, {.address = kAddr, .choice = kLow, .value = "-0.5"}, nullptr},
  {"AdjustTemperatureNoLevel", C::kAdjustTemperature, {.address = kAddr, .choice = 3, .value = "1"}, nullptr},
  {"SetCaliberFourPoints", C::kSetCaliber, {.address = kAddr, .number = 8, .fluxNum = 4, .coefficients = kCoefs},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 18 01 00 01 00 01 00 00 00 00 01 00 78 56 34 12 01 00 00 00 99 99 99 99 00 60 16"},
  {"SetCaliberFivePoints", C::kSetCaliber, {.address = kAddr, .number = 5, .fluxNum = 5, .coefficients = kCoefs},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 1C 01 00 01 50 00 00 00 00 00 01 00 78 56 34 12 01 00 00 00 99 99 99 99 05 00 00 00 00 B8 16"},
  {"SetCaliberNoDn", C::kSetCaliber, {.address = kAddr, .number = 18, .coefficients = kCoefs}, nullptr},
  {"SetCaliberNegativeDn", C::kSetCaliber, {.address = kAddr, .number = -1, .coefficients = kCoefs}, nullptr},
  {"SetCaliberDnPast32Bits", C::kSetCaliber, {.address = kAddr, .number = 4294967296, .coefficients = kCoefs}, nullptr},
  {"SetCaliberNegativeCoefficient", C::kSetCaliber, {.address = kAddr, .coefficients = {1, -2, 3, 4, 5}}, nullptr},
  {"WriteAllCoefficientsThreePoints", C::kWriteAllCoefficients, {.address = kAddr, .fluxNum = 3, .coefficients = kSmallCoefs},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 14 01 09 01 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 00 F4 16"},
  {"WriteAllCoefficientsFivePoints", C::kWriteAllCoefficients, {.address = kAddr, .fluxNum = 5, .coefficients = kSmallCoefs},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 18 01 09 01 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 05 00 00 00 00 FD 16"},
  {"WriteAllCoefficientsFifthPast8Digits", C::kWriteAllCoefficients, {.address = kAddr, .fluxNum = 5, .coefficients = {1, 2, 3, 4, 100000000}}, nullptr},
  {"WriteCoefficient2", C::kWriteCoefficient, {.address = kAddr, .variant = 1, .number = 7500},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 0B 01 00 75 00 00 00 55 16"},
  {"WriteCoefficient5", C::kWriteCoefficient, {.address = kAddr, .variant = 4, .number = 3},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 08 01 0E 01 03 00 00 00 00 E6 16"},
  {"WriteCoefficientPast8Digits", C::kWriteCoefficient, {.address = kAddr, .number = 100000000}, nullptr},
  {"WriteCoefficientNegative", C::kWriteCoefficient, {.address = kAddr, .number = -1}, nullptr},
  {"WriteCoefficient0", C::kWriteCoefficient, {.address = kAddr, .variant = -1, .number = 1}, nullptr},
  {"SetLocation", C::kSetLocation, {.address = kAddr, .number = 1},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 05 01 0F 01 01 00 E2 16"},
  {"SetLocation256", C::kSetLocation, {.address = kAddr, .number = 256}, nullptr},
  {"SetLocationNegative", C::kSetLocation, {.address = kAddr, .number = -1}, nullptr},
  {"SetLocationPast32Bits", C::kSetLocation, {.address = kAddr, .number = 4294967297}, nullptr},
  {"WriteAccumulatorHeat", C::kWriteAccumulator, {.address = kAddr, .choice = kHeat, .value = "12.3456"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 05 45 23 01 00 00 00 05 00 5D 16"},
  {"WriteAccumulatorCold", C::kWriteAccumulator, {.address = kAddr, .choice = 1, .value = " "},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 06 00 00 00 00 00 00 05 00 F5 16"},
  {"WriteAccumulatorFlow", C::kWriteAccumulator, {.address = kAddr, .choice = 2, .value = "1"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 07 00 10 00 00 00 00 2C 00 2D 16"},
  {"WriteAccumulatorWorkTime", C::kWriteAccumulator, {.address = kAddr, .choice = kWorkTime, .value = "7.9"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 08 07 00 00 00 00 00 00 00 F9 16"},
  {"WriteAccumulatorSharedHeat", C::kWriteAccumulator, {.address = kAddr, .choice = 4, .value = "999999999.999"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 09 99 99 99 99 99 99 05 00 8E 16"},
  {"WriteAccumulatorReturnFlow", C::kWriteAccumulator, {.address = kAddr, .choice = 5, .value = "0.5"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0C 01 11 01 0A 00 05 00 00 00 00 2C 00 25 16"},
  {"WriteAccumulatorPast12Digits", C::kWriteAccumulator, {.address = kAddr, .choice = kHeat, .value = "1000000000"}, nullptr},
  {"WriteAccumulatorComma", C::kWriteAccumulator, {.address = kAddr, .choice = kWorkTime, .value = "7,9"}, nullptr},
  {"ReadUltrasonicData", C::kReadUltrasonicData, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 21 06 90 1E 01 00 50 00 CD 16"},
  {"ReadAccumulatedFlow", C::kReadAccumulatedFlow, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 21 06 90 1D 01 00 50 00 CC 16"},
  {"ReadTemperaturePairing", C::kReadTemperaturePairing, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 12 01 05 00 50 00 3B 16"},
  {"WriteTemperaturePairingHigh", C::kWriteTemperaturePairing, {.address = kAddr, .choice = kHigh, .pairing = {"20.29", "20.5", "19.999"}},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0B 01 12 01 08 29 20 50 20 99 19 00 5D 16"},
  {"WriteTemperaturePairingLow", C::kWriteTemperaturePairing, {.address = kAddr, .choice = kLow, .pairing = {"", 0.01, ""}},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0B 01 12 01 06 00 00 01 00 00 00 00 F1 16"},
  {"WriteTemperaturePairingText", C::kWriteTemperaturePairing, {.address = kAddr, .pairing = {"1", "x", "1"}}, nullptr},
  {"ReadHeatUnit", C::kReadHeatUnit, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 00 00 00 00 E7 16"},
  {"WriteHeatUnitGJ", C::kWriteHeatUnit, {.address = kAddr, .choice = static_cast<int>(HeatUnit::kGJ)},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 80 01 11 00 79 16"},
  {"WriteHeatUnitKWh", C::kWriteHeatUnit, {.address = kAddr, .choice = static_cast<int>(HeatUnit::kKWh)},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 80 00 05 00 6C 16"},
  {"ReadPipe", C::kReadPipe, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 01 00 00 00 E8 16"},
  {"WritePipeDouble", C::kWritePipe, {.address = kAddr, .choice = static_cast<int>(PipeMode::kDouble)},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 81 00 02 00 6A 16"},
  {"WritePipeSingle", C::kWritePipe, {.address = kAddr, .choice = static_cast<int>(PipeMode::kSingle)},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 07 01 13 01 81 00 01 00 69 16"},
  {"ReadPtNumber", C::kReadPtNumber, {.address = kAddr},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0A 01 14 01 00 00 00 00 00 00 00 EB 16"},
  {"WritePtNumber", C::kWritePtNumber, {.address = kAddr, .value = "1234567890"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0A 01 14 01 80 90 78 56 34 12 00 0F 16"},
  {"WritePtNumberLargest", C::kWritePtNumber, {.address = kAddr, .value = "9999999999"},
   "FE FE FE 68 55 34 12 90 78 56 34 12 24 0A 01 14 01 80 99 99 99 99 99 00 68 16"},
  {"WritePtNumberFraction", C::kWritePtNumber, {.address = kAddr, .value = "12.5"}, nullptr},
  {"WritePtNumber11Digits", C::kWritePtNumber, {.address = kAddr, .value = "12345678901"}, nullptr},
};
// clang-format on

class CommandGolden : public testing::TestWithParam<Golden> {};

TEST_P(CommandGolden, BuildsTheFrameByteForByte) {
  const Golden& g = GetParam();
  const std::optional<Bytes> frame = BuildRequest(g.command, g.request);
  if (!g.expected) {
    EXPECT_FALSE(frame) << test::ToHex(frame.value_or(Bytes{}));
    return;
  }
  ASSERT_TRUE(frame);
  EXPECT_EQ(test::ToHex(*frame), g.expected);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, CommandGolden, testing::ValuesIn(kGolden),
                         [](const testing::TestParamInfo<Golden>& info) {
                           return std::string(info.param.name);
                         });

// Every command of the catalogue has at least one golden frame above.
TEST(CommandGoldenCoverage, EveryCommandHasAFrame) {
  for (const CommandRow& row : kCommands) {
    bool found = false;
    for (const Golden& g : kGolden)
      found = found || (g.command == row.id && g.expected);
    EXPECT_TRUE(found) << row.name;
  }
}

// Every bench command with harmless values.
CommandRequest Harmless(int32_t protocol, std::string_view address) {
  CommandRequest r{.selector = protocol, .address = address, .value = "1", .number = 1};
  r.pairing = {EntryValue("1"), EntryValue("2"), EntryValue("3")};
  r.newAddress = "1";
  r.coefficients = {1, 2, 3, 4, 5};
  return r;
}

TEST(Selectors, BenchOnlyUnder188StandardUnderVersionsZeroToFive) {
  for (const CommandRow& row : kCommands) {
    if (row.family != Family::kBench) continue;
    const Command c = row.id;
    const std::string_view name = row.name;
    const std::optional<Bytes> built = BuildRequest(c, Harmless(0, kAddr));
    ASSERT_TRUE(built) << name;
    // Sent exactly so, the short L of StartTest and EndTest included.
    const FrameCheck check = CheckFrame(std::span<const uint8_t>(*built).subspan(kMeterPreamble));
    const bool shortL = c == Command::kStartTest || c == Command::kEndTest;
    EXPECT_EQ(check, shortL ? FrameCheck::kIncomplete : FrameCheck::kCorrect) << name;
    for (int32_t protocol : {1, -1, 2})
      EXPECT_FALSE(BuildRequest(c, Harmless(protocol, kAddr))) << name;
    for (std::string_view bad : {"12G4", "12 34", "meter1"}) {
      // ReadAddress goes to AA x7 whatever the row holds.
      EXPECT_EQ(BuildRequest(c, Harmless(0, bad)).has_value(), c == Command::kReadAddress)
          << name << " " << bad;
    }
  }
  for (int v = -1; v <= 6; ++v) {
    const bool valid = v >= 0 && v <= 5;
    for (Command c : {Command::kReadMeterData, Command::kSetClock}) {
      const CommandRequest r{.selector = v, .address = kAddr, .now = Local(2024, 1, 1, 0, 0, 0)};
      EXPECT_EQ(BuildRequest(c, r).has_value(), valid) << v;
    }
  }
}

TEST(SetClock, SendsOneSecondLaterWithFullCarryAndRefusesYearsItCannotHold) {
  const std::pair<std::chrono::system_clock::time_point, const char*> cases[] = {
      {Local(2024, 3, 5, 14, 7, 59), "00 08 14 05 03 24 20"},
      {Local(2024, 3, 5, 14, 7, 59) + std::chrono::milliseconds(999), "00 08 14 05 03 24 20"},
      {Local(2024, 3, 5, 14, 59, 59), "00 00 15 05 03 24 20"},
      {Local(2024, 3, 5, 23, 59, 59), "00 00 00 06 03 24 20"},
      {Local(2024, 2, 28, 23, 59, 59), "00 00 00 29 02 24 20"},  // leap
      {Local(2023, 2, 28, 23, 59, 59), "00 00 00 01 03 23 20"},
      {Local(2024, 12, 31, 23, 59, 59), "00 00 00 01 01 25 20"},
      {Local(1999, 12, 31, 23, 59, 59), "00 00 00 01 01 00 20"},
      {Local(2099, 12, 31, 23, 59, 58), "59 59 23 31 12 99 20"},
      {Local(2099, 12, 31, 23, 59, 59), "refused"},
      {Local(1999, 6, 1, 12, 0, 0), "refused"},
  };
  // The seven time bytes of the frame built at `now`.
  for (const auto& [now, expected] : cases) {
    const auto f = BuildRequest(Command::kSetClock, {.selector = 1, .address = kAddr, .now = now});
    EXPECT_EQ(f ? test::ToHex(std::span(*f).subspan(17, 7)) : "refused", expected);
  }
}

// Reply headers (68 .. DI), as meters send them.
TEST(Replies, RecognisedByControlCodeAndDataId) {
  const Bytes coef3 = Hex("68 55 34 12 90 78 56 34 12 A4 03 01 0C 01");
  EXPECT_TRUE(IsReplyTo(Command::kWriteCoefficient, coef3));
  EXPECT_EQ(ReplyVariant(Command::kWriteCoefficient, coef3), 2);
  EXPECT_FALSE(IsReplyTo(Command::kCalibrateFlowPoint, coef3));
  EXPECT_FALSE(IsReplyTo(Command::kWriteAllCoefficients, coef3));

  const Bytes point5 = Hex("68 55 34 12 90 78 56 34 12 A4 03 01 07 01");
  EXPECT_EQ(ReplyVariant(Command::kCalibrateFlowPoint, point5), 4);

  const Bytes benchRead = Hex("68 55 34 12 90 78 56 34 12 A1 37 90 1F 01");
  EXPECT_TRUE(IsReplyTo(Command::kBenchReadData, benchRead));
  EXPECT_FALSE(IsReplyTo(Command::kReadMeterData, benchRead));
  EXPECT_FALSE(IsReplyTo(Command::kReadUltrasonicData, benchRead));

  // Bench replies come with type 55 only.
  EXPECT_FALSE(
      IsReplyTo(Command::kBenchReadData, Hex("68 20 34 12 90 78 56 34 12 A1 37 90 1F 01")));

  for (const char* meterData :
       {"68 20 34 12 90 78 56 34 12 81 2E 90 1F 01", "68 21 34 12 90 78 56 34 12 81 2E 1F 90 01"}) {
    EXPECT_TRUE(IsReplyTo(Command::kReadMeterData, Hex(meterData))) << meterData;
    EXPECT_FALSE(IsReplyTo(Command::kSetClock, Hex(meterData))) << meterData;
  }
  for (const char* clock :
       {"68 20 34 12 90 78 56 34 12 84 03 A0 15 01", "68 20 34 12 90 78 56 34 12 84 03 15 A0 01"}) {
    EXPECT_TRUE(IsReplyTo(Command::kSetClock, Hex(clock))) << clock;
  }
  EXPECT_FALSE(IsReplyTo(Command::kSetClock, Hex("68 20 34 12 90 78 56 34 12 84 03 A0 16 01")));

  EXPECT_TRUE(IsReplyTo(Command::kReadAddress, Hex("68 55 34 12 90 78 56 34 12 A3 04 81 0A 01")));
  EXPECT_TRUE(IsReplyTo(Command::kReadAddress, Hex("68 55 34 12 90 78 56 34 12 A3 04 00 00 01")));
  EXPECT_TRUE(IsReplyTo(Command::kWriteAddress, Hex("68 55 34 12 90 78 56 34 12 B5 03 A0 18 01")));
  EXPECT_FALSE(IsReplyTo(Command::kWriteAddress, Hex("68 55 34 12 90 78 56 34 12 35 0B A0 18 01")));

  EXPECT_FALSE(IsReplyTo(Command::kWriteCoefficient, Hex("68 55 34 12 90 78 56 34 12 A4")));
  EXPECT_FALSE(
      IsReplyTo(Command::kWriteCoefficient, Hex("FE 55 34 12 90 78 56 34 12 A4 03 01 0C 01")));
}

}  // namespace
}  // namespace qv
