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
const Bytes kUntouched = {0xEE, 0xEE};

Bytes Hex(std::string_view text) {
  Bytes b;
  EXPECT_TRUE(ParseHex(text, b)) << text;
  return b;
}

// Every bench builder, by selector and address, with harmless values.
using BenchBuild = std::function<int(int32_t protocol, std::string_view address, Bytes& out)>;
std::vector<std::pair<const char*, BenchBuild>> BenchBuilders() {
  return {
      {"WriteAddress",
       [](int32_t p, std::string_view a, Bytes& o) { return BuildWriteAddress(p, a, o, "1"); }},
      {"EnterCalibration", BuildEnterCalibration},
      {"ExitCalibration", BuildExitCalibration},
      {"ClearData", BuildClearData},
      {"Initialise", BuildInitialise},
      {"StartTest", BuildStartTest},
      {"EndTest", BuildEndTest},
      {"BenchReadData", BuildBenchReadData},
      {"CalibrateFlowPoint", [](int32_t p, std::string_view a,
                                Bytes& o) { return BuildCalibrateFlowPoint(p, a, o, 1, "1"); }},
      {"AdjustTemperature",
       [](int32_t p, std::string_view a, Bytes& o) {
         return BuildAdjustTemperature(p, a, o, TemperatureLevel::kLow, "1");
       }},
      {"SetCaliber", [](int32_t p, std::string_view a,
                        Bytes& o) { return BuildSetCaliber(p, a, o, 1, 5, kCoefs); }},
      {"WriteAllCoefficients",
       [](int32_t p, std::string_view a, Bytes& o) {
         return BuildWriteAllCoefficients(p, a, o, 4, kCoefs);
       }},
      {"WriteCoefficient", [](int32_t p, std::string_view a,
                              Bytes& o) { return BuildWriteCoefficient(p, a, o, 1, 1); }},
      {"SetLocation",
       [](int32_t p, std::string_view a, Bytes& o) { return BuildSetLocation(p, a, o, 0); }},
      {"WriteAccumulator",
       [](int32_t p, std::string_view a, Bytes& o) {
         return BuildWriteAccumulator(p, a, o, Accumulator::kHeat, "1");
       }},
      {"ReadUltrasonicData", BuildReadUltrasonicData},
      {"ReadAccumulatedFlow", BuildReadAccumulatedFlow},
      {"ReadTemperaturePairing", BuildReadTemperaturePairing},
      {"WriteTemperaturePairing",
       [](int32_t p, std::string_view a, Bytes& o) {
         return BuildWriteTemperaturePairing(p, a, o, TemperatureLevel::kMid, "1", "2", "3");
       }},
      {"ReadHeatUnit", BuildReadHeatUnit},
      {"WriteHeatUnit", [](int32_t p, std::string_view a,
                           Bytes& o) { return BuildWriteHeatUnit(p, a, o, HeatUnit::kGJ); }},
      {"ReadPipe", BuildReadPipe},
      {"WritePipe", [](int32_t p, std::string_view a,
                       Bytes& o) { return BuildWritePipe(p, a, o, PipeMode::kDouble); }},
      {"ReadPtNumber", BuildReadPtNumber},
      {"WritePtNumber",
       [](int32_t p, std::string_view a, Bytes& o) { return BuildWritePtNumber(p, a, o, "7"); }},
  };
}

TEST(BenchSelector, OnlyProtocol188Builds) {
  for (const auto& [name, build] : BenchBuilders()) {
    Bytes out;
    EXPECT_EQ(build(0, kAddr, out), 0) << name;
    EXPECT_EQ(out[4], 0x55) << name;
    for (int32_t protocol : {1, -1, 2}) {
      Bytes refused = kUntouched;
      EXPECT_EQ(build(protocol, kAddr, refused), -1) << name << " " << protocol;
      EXPECT_EQ(refused, kUntouched) << name;
    }
  }
  Bytes out = kUntouched;
  EXPECT_EQ(BuildReadAddress(1, out), -1);
  EXPECT_EQ(out, kUntouched);
}

TEST(BenchSelector, AddressThatIsNotHexBuildsNothing) {
  for (const auto& [name, build] : BenchBuilders()) {
    for (std::string_view bad : {"12G4", "12 34", "meter1"}) {
      Bytes out = kUntouched;
      EXPECT_EQ(build(0, bad, out), -1) << name << " " << bad;
      EXPECT_EQ(out, kUntouched) << name;
    }
  }
  // ReadAddress goes to AA x7 whatever the row holds.
  Bytes out;
  EXPECT_EQ(BuildReadAddress(0, out), 0);
  EXPECT_EQ(HexText(std::span<const uint8_t>(out).subspan(5, 7)), " AA AA AA AA AA AA AA");
}

TEST(BenchSelector, NewAddressThatIsNotHexBuildsNothing) {
  Bytes out = kUntouched;
  EXPECT_EQ(BuildWriteAddress(0, kAddr, out, "12X4"), -1);
  EXPECT_EQ(out, kUntouched);
}

TEST(StandardSelector, VersionsZeroToFiveOnly) {
  const auto now = std::chrono::system_clock::now();
  for (int v = 0; v < 6; ++v) {
    Bytes a, b;
    EXPECT_EQ(BuildReadMeterData(v, kAddr, a, false), 0) << v;
    EXPECT_EQ(BuildSetClock(v, kAddr, b, now), 0) << v;
  }
  for (int v : {-1, 6, 99}) {
    Bytes a = kUntouched, b = kUntouched;
    EXPECT_EQ(BuildReadMeterData(v, kAddr, a, false), -1) << v;
    EXPECT_EQ(BuildSetClock(v, kAddr, b, now), -1) << v;
    EXPECT_EQ(a, kUntouched);
    EXPECT_EQ(b, kUntouched);
  }
  Bytes c = kUntouched;
  EXPECT_EQ(BuildReadMeterData(1, "zz", c, false), -1);
  EXPECT_EQ(c, kUntouched);
}

TEST(StandardSelector, TGAddressRuleOnlyUnderVersion5) {
  Bytes tg, plain;
  ASSERT_EQ(BuildReadMeterData(5, "12345678", tg, false), 0);
  ASSERT_EQ(BuildReadMeterData(4, "12345678", plain, false), 0);
  EXPECT_EQ(HexText(std::span<const uint8_t>(tg).subspan(5, 7)), " 78 56 34 12 00 11 11");
  EXPECT_EQ(HexText(std::span<const uint8_t>(plain).subspan(5, 7)), " 78 56 34 12 00 00 00");
}

// The seven time bytes of a SetClock frame built at `now`.
std::string ClockField(std::chrono::system_clock::time_point now) {
  Bytes f;
  if (BuildSetClock(1, kAddr, f, now) != 0) return "refused";
  return HexText(std::span<const uint8_t>(f).subspan(17, 7));
}

TEST(SetClock, SendsOneSecondLaterWithFullCarry) {
  EXPECT_EQ(ClockField(Local(2024, 3, 5, 14, 7, 59)), " 00 08 14 05 03 24 20");
  EXPECT_EQ(ClockField(Local(2024, 3, 5, 14, 59, 59)), " 00 00 15 05 03 24 20");
  EXPECT_EQ(ClockField(Local(2024, 3, 5, 23, 59, 59)), " 00 00 00 06 03 24 20");
  EXPECT_EQ(ClockField(Local(2024, 2, 28, 23, 59, 59)), " 00 00 00 29 02 24 20");  // leap
  EXPECT_EQ(ClockField(Local(2023, 2, 28, 23, 59, 59)), " 00 00 00 01 03 23 20");
  EXPECT_EQ(ClockField(Local(2024, 12, 31, 23, 59, 59)), " 00 00 00 01 01 25 20");
  EXPECT_EQ(ClockField(Local(1999, 12, 31, 23, 59, 59)), " 00 00 00 01 01 00 20");
}

TEST(SetClock, FractionsOfTheSecondDoNotCount) {
  const auto t = Local(2024, 3, 5, 14, 7, 59) + std::chrono::milliseconds(999);
  EXPECT_EQ(ClockField(t), " 00 08 14 05 03 24 20");
}

TEST(SetClock, RefusesYearsTheFrameCannotHold) {
  EXPECT_EQ(ClockField(Local(2099, 12, 31, 23, 59, 59)), "refused");
  EXPECT_EQ(ClockField(Local(1999, 6, 1, 12, 0, 0)), "refused");
  EXPECT_EQ(ClockField(Local(2099, 12, 31, 23, 59, 58)), " 59 59 23 31 12 99 20");
}

TEST(SetCaliber, FourOrFiveCoefficientsByFlowPointCount) {
  for (int32_t fluxNum : {1, 2, 3, 4}) {
    Bytes f;
    ASSERT_EQ(BuildSetCaliber(0, kAddr, f, 1, fluxNum, kCoefs), 0);
    EXPECT_EQ(f.size(), 40u);
    EXPECT_EQ(f[13], 0x18);
  }
  Bytes f;
  ASSERT_EQ(BuildSetCaliber(0, kAddr, f, 1, 5, kCoefs), 0);
  EXPECT_EQ(f.size(), 44u);
  EXPECT_EQ(f[13], 0x1C);
}

TEST(SetCaliber, DnCodesFromTheSizeTable) {
  const std::pair<int, const char*> cases[] = {
      {0, " 15 00"}, {8, " 00 01"}, {13, " 00 03"}, {17, " 00 05"}};
  for (const auto& [index, bcd] : cases) {
    Bytes f;
    ASSERT_EQ(BuildSetCaliber(0, kAddr, f, index, 4, kCoefs), 0);
    EXPECT_EQ(HexText(std::span<const uint8_t>(f).subspan(17, 2)), bcd) << index;
  }
  for (int index : {-1, 18}) {
    Bytes f = kUntouched;
    EXPECT_EQ(BuildSetCaliber(0, kAddr, f, index, 4, kCoefs), -1) << index;
    EXPECT_EQ(f, kUntouched);
  }
}

// Values that cannot be sent as they are build nothing rather than a
// different number.
TEST(Values, RefusedWhenNotANumberNegativeOrTooWide) {
  const std::vector<std::pair<const char*, std::function<int(Bytes&)>>> refused = {
      {"volume text", [](Bytes& f) { return BuildCalibrateFlowPoint(0, kAddr, f, 1, "abc"); }},
      {"volume negative", [](Bytes& f) { return BuildCalibrateFlowPoint(0, kAddr, f, 1, "-1"); }},
      {"volume past 32 bits",
       [](Bytes& f) { return BuildCalibrateFlowPoint(0, kAddr, f, 1, "429496.7296"); }},
      {"flow point 0", [](Bytes& f) { return BuildCalibrateFlowPoint(0, kAddr, f, 0, "1"); }},
      {"flow point 6", [](Bytes& f) { return BuildCalibrateFlowPoint(0, kAddr, f, 6, "1"); }},
      {"temperature 100",
       [](Bytes& f) {
         return BuildAdjustTemperature(0, kAddr, f, TemperatureLevel::kHigh, "100");
       }},
      {"temperature negative",
       [](Bytes& f) {
         return BuildAdjustTemperature(0, kAddr, f, TemperatureLevel::kLow, "-0.5");
       }},
      {"pairing text",
       [](Bytes& f) {
         return BuildWriteTemperaturePairing(0, kAddr, f, TemperatureLevel::kLow, "1", "x", "1");
       }},
      {"coefficient negative", [](Bytes& f) { return BuildWriteCoefficient(0, kAddr, f, 1, -1); }},
      {"coefficient 9 digits",
       [](Bytes& f) { return BuildWriteCoefficient(0, kAddr, f, 1, 100000000); }},
      {"coefficient index 0", [](Bytes& f) { return BuildWriteCoefficient(0, kAddr, f, 0, 1); }},
      {"coefficient index 6", [](Bytes& f) { return BuildWriteCoefficient(0, kAddr, f, 6, 1); }},
      {"caliber coefficient",
       [](Bytes& f) {
         return BuildSetCaliber(0, kAddr, f, 1, 4, std::array<int32_t, 5>{1, -2, 3, 4, 5});
       }},
      {"fifth coefficient",
       [](Bytes& f) {
         return BuildWriteAllCoefficients(0, kAddr, f, 5,
                                          std::array<int32_t, 5>{1, 2, 3, 4, 100000000});
       }},
      {"register 13 digits",
       [](Bytes& f) {
         return BuildWriteAccumulator(0, kAddr, f, Accumulator::kHeat, "1000000000");
       }},
      {"register text",
       [](Bytes& f) { return BuildWriteAccumulator(0, kAddr, f, Accumulator::kWorkTime, "7,9"); }},
      {"location 256", [](Bytes& f) { return BuildSetLocation(0, kAddr, f, 256); }},
      {"location negative", [](Bytes& f) { return BuildSetLocation(0, kAddr, f, -1); }},
      {"PT fraction", [](Bytes& f) { return BuildWritePtNumber(0, kAddr, f, "12.5"); }},
      {"PT 11 digits", [](Bytes& f) { return BuildWritePtNumber(0, kAddr, f, "12345678901"); }},
  };
  for (const auto& [what, build] : refused) {
    Bytes f = kUntouched;
    EXPECT_EQ(build(f), -1) << what;
    EXPECT_EQ(f, kUntouched) << what;
  }
}

TEST(Values, LargestThatFit) {
  Bytes f;
  ASSERT_EQ(BuildCalibrateFlowPoint(0, kAddr, f, 1, "429496.7295"), 0);
  EXPECT_EQ(HexText(std::span<const uint8_t>(f).subspan(17, 4)), " FF FF FF FF");
  ASSERT_EQ(BuildAdjustTemperature(0, kAddr, f, TemperatureLevel::kHigh, "99.999"), 0);
  EXPECT_EQ(HexText(std::span<const uint8_t>(f).subspan(17, 3)), " 02 99 99");
  ASSERT_EQ(BuildWritePtNumber(0, kAddr, f, "9999999999"), 0);
  EXPECT_EQ(HexText(std::span<const uint8_t>(f).subspan(17, 6)), " 80 99 99 99 99 99");
}

TEST(Catalogue, FramesBuiltCheckAsCorrectExceptTheShortLength) {
  for (const auto& [name, build] : BenchBuilders()) {
    Bytes f;
    ASSERT_EQ(build(0, kAddr, f), 0);
    const FrameCheck check = CheckFrame(std::span<const uint8_t>(f).subspan(kMeterPreamble));
    const bool shortL =
        std::string_view(name) == "StartTest" || std::string_view(name) == "EndTest";
    // StartTest and EndTest are sent with L one short of their payload.
    EXPECT_EQ(check, shortL ? FrameCheck::kIncomplete : FrameCheck::kCorrect) << name;
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

TEST(Catalogue, OperationLabels) {
  EXPECT_EQ(Row(Command::kSetClock).labels[1], "广播对时");
  EXPECT_EQ(Row(Command::kBenchReadData).labels[5], "读系数");
  EXPECT_EQ(Row(Command::kCalibrateFlowPoint).labels[2], "流量三标定");
  EXPECT_EQ(Row(Command::kWriteCoefficient).labels[4], "写系数五");
  EXPECT_EQ(kAccumulators[5].label, "写回水温度");
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
