// Selector rules, refused inputs, the clock, and the reply markers of the
// command catalogue. Golden frames are in commands_golden_test.cpp.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "support/local_time.h"

namespace qv {
namespace {

using testing_time::Local;

constexpr std::string_view kAddr = "12345678901234";
constexpr std::array<int32_t, kFlowPoints> kCoefs = {1, 2, 3, 4, 5};

Bytes Hex(std::string_view text) {
  Bytes b;
  EXPECT_TRUE(ParseHex(text, b)) << text;
  return b;
}

// Every bench command with harmless values, through the request builder the
// operation tables use.
CommandRequest Harmless(int32_t protocol, std::string_view address) {
  CommandRequest r;
  r.selector = protocol;
  r.address = address;
  r.value = EntryValue("1");
  r.pairing = {EntryValue("1"), EntryValue("2"), EntryValue("3")};
  r.number = 1;
  r.newAddress = "1";
  r.coefficients = kCoefs;
  return r;
}
std::vector<Command> BenchCommands() {
  std::vector<Command> out;
  for (const CommandRow& row : kCommands) {
    if (row.family == Family::kBench) out.push_back(row.id);
  }
  return out;
}
Bytes Field(const std::optional<Bytes>& f, size_t at, size_t n) {
  return f ? Bytes(f->begin() + static_cast<long>(at), f->begin() + static_cast<long>(at + n))
           : Bytes{};
}

TEST(Selectors, BenchOnlyUnder188StandardUnderVersionsZeroToFive) {
  for (Command c : BenchCommands()) {
    const std::string_view name = Row(c).name;
    const std::optional<Bytes> built = BuildRequest(c, Harmless(0, kAddr));
    ASSERT_TRUE(built) << name;
    EXPECT_EQ((*built)[4], 0x55) << name;
    for (int32_t protocol : {1, -1, 2})
      EXPECT_FALSE(BuildRequest(c, Harmless(protocol, kAddr))) << name;
    for (std::string_view bad : {"12G4", "12 34", "meter1"}) {
      // ReadAddress goes to AA x7 whatever the row holds.
      EXPECT_EQ(BuildRequest(c, Harmless(0, bad)).has_value(), c == Command::kReadAddress)
          << name << " " << bad;
    }
  }
  EXPECT_EQ(Field(BuildReadAddress(0), 5, 7), Hex("AA AA AA AA AA AA AA"));
  EXPECT_FALSE(BuildWriteAddress(0, kAddr, "12X4"));

  const auto now = std::chrono::system_clock::now();
  for (int v = -1; v <= 6; ++v) {
    const bool valid = v >= 0 && v <= 5;
    EXPECT_EQ(BuildReadMeterData(v, kAddr, false).has_value(), valid) << v;
    EXPECT_EQ(BuildSetClock(v, kAddr, now).has_value(), valid) << v;
  }
  EXPECT_FALSE(BuildReadMeterData(1, "zz", false));
  // The TG address rule only under version 5.
  EXPECT_EQ(Field(BuildReadMeterData(5, "12345678", false), 5, 7), Hex("78 56 34 12 00 11 11"));
  EXPECT_EQ(Field(BuildReadMeterData(4, "12345678", false), 5, 7), Hex("78 56 34 12 00 00 00"));
}

// The seven time bytes of a SetClock frame built at `now`.
std::string ClockField(std::chrono::system_clock::time_point now) {
  const std::optional<Bytes> f = BuildSetClock(1, kAddr, now);
  return f ? HexText(Field(f, 17, 7)) : "refused";
}

TEST(SetClock, SendsOneSecondLaterWithFullCarryAndRefusesYearsItCannotHold) {
  const std::pair<std::chrono::system_clock::time_point, const char*> cases[] = {
      {Local(2024, 3, 5, 14, 7, 59), " 00 08 14 05 03 24 20"},
      {Local(2024, 3, 5, 14, 7, 59) + std::chrono::milliseconds(999), " 00 08 14 05 03 24 20"},
      {Local(2024, 3, 5, 14, 59, 59), " 00 00 15 05 03 24 20"},
      {Local(2024, 3, 5, 23, 59, 59), " 00 00 00 06 03 24 20"},
      {Local(2024, 2, 28, 23, 59, 59), " 00 00 00 29 02 24 20"},  // leap
      {Local(2023, 2, 28, 23, 59, 59), " 00 00 00 01 03 23 20"},
      {Local(2024, 12, 31, 23, 59, 59), " 00 00 00 01 01 25 20"},
      {Local(1999, 12, 31, 23, 59, 59), " 00 00 00 01 01 00 20"},
      {Local(2099, 12, 31, 23, 59, 58), " 59 59 23 31 12 99 20"},
      {Local(2099, 12, 31, 23, 59, 59), "refused"},
      {Local(1999, 6, 1, 12, 0, 0), "refused"},
  };
  for (const auto& [now, expected] : cases)
    EXPECT_EQ(ClockField(now), expected);
}

TEST(SetCaliber, CoefficientCountAndDnCodes) {
  for (int32_t fluxNum : {1, 2, 3, 4, 5}) {
    const std::optional<Bytes> f = BuildSetCaliber(0, kAddr, 1, fluxNum, kCoefs);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->size(), fluxNum == 5 ? 44u : 40u);
    EXPECT_EQ((*f)[13], fluxNum == 5 ? 0x1C : 0x18);
  }
  const std::pair<int, const char*> cases[] = {
      {0, "15 00"}, {8, "00 01"}, {13, "00 03"}, {17, "00 05"}};
  for (const auto& [index, bcd] : cases)
    EXPECT_EQ(Field(BuildSetCaliber(0, kAddr, index, 4, kCoefs), 17, 2), Hex(bcd)) << index;
  for (int index : {-1, 18})
    EXPECT_FALSE(BuildSetCaliber(0, kAddr, index, 4, kCoefs)) << index;
}

// Values that cannot be sent as they are build nothing rather than a
// different number.
TEST(Values, RefusedWhenNotANumberNegativeOrTooWide) {
  using L = TemperatureLevel;
  const std::vector<std::pair<const char*, std::optional<Bytes>>> refused = {
      {"volume text", BuildCalibrateFlowPoint(0, kAddr, 1, "abc")},
      {"volume negative", BuildCalibrateFlowPoint(0, kAddr, 1, "-1")},
      {"volume past 32 bits", BuildCalibrateFlowPoint(0, kAddr, 1, "429496.7296")},
      {"flow point 0", BuildCalibrateFlowPoint(0, kAddr, 0, "1")},
      {"flow point 6", BuildCalibrateFlowPoint(0, kAddr, 6, "1")},
      {"temperature 100", BuildAdjustTemperature(0, kAddr, L::kHigh, "100")},
      {"temperature negative", BuildAdjustTemperature(0, kAddr, L::kLow, "-0.5")},
      {"pairing text", BuildWriteTemperaturePairing(0, kAddr, L::kLow, "1", "x", "1")},
      {"coefficient negative", BuildWriteCoefficient(0, kAddr, 1, -1)},
      {"coefficient 9 digits", BuildWriteCoefficient(0, kAddr, 1, 100000000)},
      {"coefficient index 0", BuildWriteCoefficient(0, kAddr, 0, 1)},
      {"coefficient index 6", BuildWriteCoefficient(0, kAddr, 6, 1)},
      {"caliber coefficient",
       BuildSetCaliber(0, kAddr, 1, 4, std::array<int32_t, 5>{1, -2, 3, 4, 5})},
      {"fifth coefficient",
       BuildWriteAllCoefficients(0, kAddr, 5, std::array<int32_t, 5>{1, 2, 3, 4, 100000000})},
      {"register 13 digits", BuildWriteAccumulator(0, kAddr, Accumulator::kHeat, "1000000000")},
      {"register text", BuildWriteAccumulator(0, kAddr, Accumulator::kWorkTime, "7,9")},
      {"location 256", BuildSetLocation(0, kAddr, 256)},
      {"location negative", BuildSetLocation(0, kAddr, -1)},
      {"PT fraction", BuildWritePtNumber(0, kAddr, "12.5")},
      {"PT 11 digits", BuildWritePtNumber(0, kAddr, "12345678901")},
  };
  for (const auto& [what, frame] : refused)
    EXPECT_FALSE(frame) << what;

  EXPECT_EQ(Field(BuildCalibrateFlowPoint(0, kAddr, 1, "429496.7295"), 17, 4), Hex("FF FF FF FF"));
  EXPECT_EQ(Field(BuildAdjustTemperature(0, kAddr, L::kHigh, "99.999"), 17, 3), Hex("02 99 99"));
  EXPECT_EQ(Field(BuildWritePtNumber(0, kAddr, "9999999999"), 17, 6), Hex("80 99 99 99 99 99"));
}

TEST(Catalogue, FramesBuiltCheckAsCorrectExceptTheShortLength) {
  for (Command c : BenchCommands()) {
    const std::optional<Bytes> f = BuildRequest(c, Harmless(0, kAddr));
    ASSERT_TRUE(f);
    const FrameCheck check = CheckFrame(std::span<const uint8_t>(*f).subspan(kMeterPreamble));
    // StartTest and EndTest are sent with L one short of their payload.
    const bool shortL = c == Command::kStartTest || c == Command::kEndTest;
    EXPECT_EQ(check, shortL ? FrameCheck::kIncomplete : FrameCheck::kCorrect) << Row(c).name;
  }
}

TEST(Catalogue, RequestDataIdsByVariantAndVersion) {
  EXPECT_EQ(RequestDataId(Command::kCalibrateFlowPoint, 0), (DataId{0x01, 0x03}));
  EXPECT_EQ(RequestDataId(Command::kCalibrateFlowPoint, 4), (DataId{0x01, 0x07}));
  EXPECT_EQ(RequestDataId(Command::kWriteCoefficient, 4), (DataId{0x01, 0x0E}));
  EXPECT_EQ(RequestDataId(Command::kSetClock, 0, 4), (DataId{0xA0, 0x15}));
  EXPECT_EQ(RequestDataId(Command::kSetClock, 0, 5), (DataId{0x15, 0xA0}));
  EXPECT_EQ(RequestDataId(Command::kReadMeterData, 0, 5), (DataId{0x1F, 0x90}));
  EXPECT_EQ(RequestDataId(Command::kBenchReadData, 0, 5), (DataId{0x90, 0x1F}));  // bench: no swap
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
