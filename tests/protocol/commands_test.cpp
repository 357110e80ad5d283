// Selector rules, the clock, and the reply markers of the command catalogue.
// Golden frames (and refused values) are in commands_golden_test.cpp.
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

constexpr std::string_view kAddr = "12345678901234";

// Every bench command with harmless values.
CommandRequest Harmless(int32_t protocol, std::string_view address) {
  CommandRequest r{.selector = protocol, .address = address, .value = "1", .number = 1};
  r.pairing = {EntryValue("1"), EntryValue("2"), EntryValue("3")};
  r.newAddress = "1";
  r.coefficients = {1, 2, 3, 4, 5};
  return r;
}
std::vector<Command> BenchCommands() {
  std::vector<Command> out;
  for (const CommandRow& row : kCommands) {
    if (row.family == Family::kBench) out.push_back(row.id);
  }
  return out;
}

TEST(Selectors, BenchOnlyUnder188StandardUnderVersionsZeroToFive) {
  for (Command c : BenchCommands()) {
    const std::string_view name = Row(c).name;
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

// The seven time bytes of a SetClock frame built at `now`.
std::string ClockField(std::chrono::system_clock::time_point now) {
  const std::optional<Bytes> f =
      BuildRequest(Command::kSetClock, {.selector = 1, .address = kAddr, .now = now});
  return f ? test::ToHex(std::span<const uint8_t>(*f).subspan(17, 7)) : "refused";
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
  for (const auto& [now, expected] : cases)
    EXPECT_EQ(ClockField(now), expected);
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
