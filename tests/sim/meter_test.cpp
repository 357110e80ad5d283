// The simulated meter, in the known state of support/known_bench.h: every
// request written out as hex and its reply byte for byte (the bench
// commands, T = 55; the metering data, C 01, in every protocol version, heat
// and cold; the clock setting, C 04), and the bench model: seeded errors,
// volumes that follow the coefficients (so a compensation or a calibration
// really shrinks a meter's error), written values that are kept and read
// back, and the numbers an operator types.
#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

#include "detection/core/heat_arithmetic.h"
#include "protocol/reply_layout.h"
#include "sim/lib/meter_model.h"
#include "sim/lib/water.h"
#include "support/known_bench.h"

namespace qv::sim {
namespace {

using namespace qv::test;

// A row whose name begins with a protocol version ("TG", "M-BusV3.01
// cold") is answered by a meter of that version and kind; the others by the
// known meter (M-BusV2.02, heat).
struct Golden {
  const char* name;
  const char* request;
  const char* reply = nullptr;  // none: the request echoed with C | 80
};

// Bench read: 10 L at flow point 1 -> 00 10 00 00 29 (hundredths of L); heat
// 229 Wh (10 L, 80 -> 60 degC, density at the return) -> 29 02 00 00 05;
// temperatures 00 80 00 / 00 60 00; DN 20 00; coefficients 00 00 01 00;
// time difference 1000 ps E8 03 00 00, downstream 39999500 ps 0C 58 62 02,
// upstream 40000500 ps F4 5B 62 02.
const Golden kGolden[] = {
    {"read_address", "FE FE FE 68 55 AA AA AA AA AA AA AA 23 04 81 0A 01 00 16 16",
     "68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16"},
    {"write_address",
     "FE FE FE 68 55 01 00 00 24 20 00 00 35 0B A0 18 01 99 00 00 24 20 00 00 00 D8 16",
     "68 55 99 00 00 24 20 00 00 B5 0B A0 18 01 99 00 00 24 20 00 00 00 F0 16"},
    {"enter", "FE FE FE 68 55 01 00 00 24 20 00 00 24 05 01 10 01 01 00 3E 16"},
    {"exit", "FE FE FE 68 55 01 00 00 24 20 00 00 24 05 01 10 01 02 00 3F 16"},
    {"clear", "FE FE FE 68 55 01 00 00 24 20 00 00 24 05 01 10 01 00 00 3D 16"},
    {"init", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D 16"},
    {"start", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 02 01 F2 00 20 16",
     "68 55 01 00 00 24 20 00 00 A4 05 01 02 01 F2 00 A1 16"},
    {"end", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 08 01 F2 00 26 16",
     "68 55 01 00 00 24 20 00 00 A4 05 01 08 01 F2 00 A7 16"},
    {"calibrate1", "FE FE FE 68 55 01 00 00 24 20 00 00 24 08 01 03 01 00 01 9A 28 00 F6 16"},
    {"adjust_high", "FE FE FE 68 55 01 00 00 24 20 00 00 24 07 01 12 01 02 00 80 00 C3 16"},
    {"set_caliber",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 18 01 00 01 25 00 00 00 01 00 01 00 02 00 01 00 03 00 "
     "01 00 04 00 01 00 00 73 16"},
    {"write_all",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 14 01 09 01 01 00 01 00 02 00 01 00 03 00 01 00 04 00 "
     "01 00 00 53 16"},
    {"write_coef3", "FE FE FE 68 55 01 00 00 24 20 00 00 24 08 01 0C 01 45 23 01 00 00 A5 16"},
    {"location", "FE FE FE 68 55 01 00 00 24 20 00 00 24 05 01 0F 01 01 00 3D 16"},
    {"acc_heat",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 0C 01 11 01 05 45 23 01 00 00 00 05 00 B8 16"},
    {"ultrasonic", "FE FE FE 68 55 01 00 00 24 20 00 00 21 06 90 1E 01 00 50 00 28 16",
     "68 55 01 00 00 24 20 00 00 A1 20 90 1E 01 E8 03 00 00 0C 58 62 02 F4 5B 62 02 00 00 00 00 89 "
     "67 05 00 29 50 00 00 00 32 01 00 00 79 16"},
    {"acc_flow", "FE FE FE 68 55 01 00 00 24 20 00 00 21 06 90 1D 01 00 50 00 27 16",
     "68 55 01 00 00 24 20 00 00 A1 10 90 1D 01 89 67 05 00 29 50 00 00 00 32 01 00 00 02 16"},
    {"read_pairing", "FE FE FE 68 55 01 00 00 24 20 00 00 24 07 01 12 01 05 00 50 00 96 16",
     "68 55 01 00 00 24 20 00 00 A4 17 01 12 01 05 00 25 00 25 00 25 00 50 00 50 00 50 00 80 00 80 "
     "00 80 00 B5 16"},
    {"write_pairing_low",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 0B 01 12 01 06 00 25 10 25 90 24 00 59 16"},
    {"read_heat_unit", "FE FE FE 68 55 01 00 00 24 20 00 00 24 07 01 13 01 00 00 00 00 42 16",
     "68 55 01 00 00 24 20 00 00 A4 07 01 13 01 00 00 05 00 C7 16"},
    {"write_heat_unit", "FE FE FE 68 55 01 00 00 24 20 00 00 24 07 01 13 01 80 01 11 00 D4 16"},
    {"read_pipe", "FE FE FE 68 55 01 00 00 24 20 00 00 24 07 01 13 01 01 00 00 00 43 16",
     "68 55 01 00 00 24 20 00 00 A4 07 01 13 01 01 00 01 00 C4 16"},
    {"write_pipe", "FE FE FE 68 55 01 00 00 24 20 00 00 24 07 01 13 01 81 00 02 00 C5 16"},
    {"read_pt", "FE FE FE 68 55 01 00 00 24 20 00 00 24 0A 01 14 01 00 00 00 00 00 00 00 46 16",
     "68 55 01 00 00 24 20 00 00 A4 0D 01 14 01 05 00 00 00 45 23 01 00 00 00 37 16"},
    {"write_pt", "FE FE FE 68 55 01 00 00 24 20 00 00 24 0A 01 14 01 80 54 76 98 00 00 00 28 16",
     "68 55 01 00 00 24 20 00 00 A4 0D 01 14 01 06 00 00 00 54 76 98 00 00 00 31 16"},
    {"bench_read", "FE FE FE 68 55 01 00 00 24 20 00 00 21 04 90 1F 01 00 D7 16",
     "68 55 01 00 00 24 20 00 00 A1 37 90 1F 01 00 10 00 00 29 29 02 00 00 05 00 80 00 00 60 00 00 "
     "00 20 00 00 00 00 00 01 00 00 00 01 00 00 00 01 00 00 00 01 00 00 E8 03 00 00 0C 58 62 02 F4 "
     "5B 62 02 00 5D 16"},
    // Groups of the known meter: settlement 1000 kWh, heat 1234.567 kWh, cold
    // 89 kWh, power 1.144 kW (50 L/h, 80 -> 60 degC), flow 0.05 m3/h, volume
    // 56.789 m3; then 80.00 and 60.00 degC, 4321 h, 2024-03-05 14:07:59, 01 00.
    // A cold meter answers with T = 21, whatever type the request carried.
    {"M-BusV2.01", "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 20 01 00 00 24 20 00 00 81 2E 90 1F 01 00 10 00 00 05 35 12 00 00 05 89 00 00 00 05 00 05 "
     "00 00 35 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 78 16"},
    {"M-BusV2.02", "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 20 01 00 00 24 20 00 00 81 2E 90 1F 01 00 10 00 00 05 35 12 00 00 05 89 00 00 00 05 00 05 "
     "00 00 32 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 75 16"},
    {"M-BusV2.03", "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 20 01 00 00 24 20 00 00 81 2E 90 1F 01 35 12 00 00 05 89 00 00 00 05 14 01 00 00 17 00 05 "
     "00 00 32 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 8C 16"},
    {"M-BusV3.01", "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 20 01 00 00 24 20 00 00 81 2E 90 1F 01 05 00 00 10 00 05 57 34 12 00 17 14 01 00 00 35 00 "
     "05 00 00 2C 79 56 00 00 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 49 16"},
    {"M-BusV3.01 cold", "FE FE FE 68 21 01 00 00 24 20 00 00 01 03 90 1F 01 82 16",
     "68 21 01 00 00 24 20 00 00 81 2E 90 1F 01 05 00 00 10 00 05 00 89 00 00 17 14 01 00 00 35 00 "
     "05 00 00 2C 79 56 00 00 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 36 16"},
    {"TG", "FE FE FE 68 20 01 00 00 24 00 11 11 01 03 1F 90 01 83 16",
     "68 20 01 00 00 24 00 11 11 81 2E 1F 90 01 00 89 00 00 05 57 34 12 00 05 14 01 00 00 17 00 05 "
     "00 00 35 79 56 00 00 2C 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 C4 16"},
    {"M-BusV2.01 cold", "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 21 01 00 00 24 20 00 00 81 2E 90 1F 01 00 10 00 00 05 35 12 00 00 05 89 00 00 00 05 00 05 "
     "00 00 35 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 79 16"},
    {"TG cold", "FE FE FE 68 21 01 00 00 24 00 11 11 01 03 1F 90 01 84 16",
     "68 21 01 00 00 24 00 11 11 81 2E 1F 90 01 00 89 00 00 05 57 34 12 00 05 14 01 00 00 17 00 05 "
     "00 00 35 79 56 00 00 2C 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 C5 16"},
    {"TG set_clock",
     "FE FE FE 68 20 01 00 00 24 00 11 11 04 0A 15 A0 01 00 08 14 05 03 24 20 FB 16",
     "68 20 01 00 00 24 00 11 11 84 05 15 A0 01 01 00 0F 16"},
};

class GoldenReply : public ::testing::TestWithParam<Golden> {};

TEST_P(GoldenReply, ReplyMatchesByteForByte) {
  const Golden& g = GetParam();
  const std::string name = g.name;
  MeterSetup setup;
  setup.protocol = ParseProtocol(name.substr(0, name.find(' '))).value_or(setup.protocol);
  if (name.ends_with(" cold")) setup.kind = MeterKind::kCold;
  KnownBench b(KnownOptions(Wiring::kSingle, 1, setup));
  // An echo: the request from its 68 with C | 80 and a new checksum.
  Bytes echo = Hex(std::string_view(g.request).substr(9));
  echo[9] |= 0x80;
  const std::string reply =
      g.reply ? g.reply : CompleteHex(ToHex(std::span(echo).first(echo.size() - 2)));
  EXPECT_EQ(b.line.Exchange(g.request, Hex(reply).size()), reply);
  // Nothing follows the reply: the next bytes answer the next request, a
  // ReadAddress (the meter's address may have changed).
  const std::string address = ToHex(b.bench.Meter(0).address.bytes);
  EXPECT_EQ(b.line.Exchange(kReadAddress, 17),
            CompleteHex("68 55 " + address + " A3 04 81 0A 01 00"));
}

INSTANTIATE_TEST_SUITE_P(AllRequests, GoldenReply, ::testing::ValuesIn(kGolden),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// The meter clock follows a set clock, second 60 rolls over, an impossible
// date is refused without a reply.
TEST(Clock, SetClockIsAcknowledgedAndTheMeterClockFollows) {
  KnownBench b(KnownOptions(Wiring::kSingle, 1));
  const std::string set = "68 20 01 00 00 24 20 00 00 04 0A A0 15 01 ";
  const std::string ack = "68 20 01 00 00 24 20 00 00 84 05 A0 15 01 01 00 0D 16";
  // 2024-03-05 14:08:00, one second after the bench clock.
  EXPECT_EQ(b.line.Exchange(CompleteHex(set + "00 08 14 05 03 24 20"), 18), ack);
  EXPECT_EQ(b.bench.Meter(0).clock_offset_s, 1);
  // The metering data now carry 14:08:00 at offsets 48..54.
  const Bytes reply =
      Hex(b.line.Exchange("FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16", 59));
  ASSERT_EQ(reply.size(), 59u);
  EXPECT_EQ(ToHex(std::span(reply).subspan(48, 7)), "00 08 14 05 03 24 20");
  // 15:07:60 is 15:08:00.
  EXPECT_EQ(b.line.Exchange(CompleteHex(set + "60 07 15 05 03 24 20"), 18), ack);
  EXPECT_EQ(b.bench.Meter(0).clock_offset_s, 3601);
  EXPECT_TRUE(NoReplyBefore(b.bench, b.line, CompleteHex(set + "00 00 12 31 02 24 20"), kInit1,
                            kInit1Reply));
  EXPECT_EQ(b.bench.Meter(0).clock_offset_s, 3601);
}

TEST(Clock, BroadcastSetsEveryClockWithoutReply) {
  KnownBench b(KnownOptions(Wiring::kSingle, 3));
  // 2024-03-05 15:07:59: one hour ahead.
  EXPECT_TRUE(
      NoReplyBefore(b.bench, b.line,
                    CompleteHex("68 20 AA AA AA AA AA AA AA 04 0A A0 15 01 59 07 15 05 03 24 20"),
                    kInit1, kInit1Reply));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(b.bench.Meter(i).clock_offset_s, 3600) << i;
}

constexpr const char* kBenchRead1 = "FE FE FE 68 55 01 00 00 24 20 00 00 21 04 90 1F 01 00 D7 16";
constexpr const char* kHeader1 = "68 55 01 00 00 24 20 00 00 ";

// A write to meter 2024000001: C 24, DI 01 `di1`, the payload hex.
std::string Write1(const std::string& di1, const std::string& payload) {
  const size_t length = 3 + Hex(payload).size();
  return "FE FE FE " + CompleteHex(std::string(kHeader1) + "24 " + ToHex(Bytes{uint8_t(length)}) +
                                   " 01 " + di1 + " 01 " + payload);
}

std::string Bcd(uint64_t v, size_t n) {
  return ToHex(IntToBcd(v, n));
}

class ModelTest : public ::testing::Test {
 protected:
  // The bench read reply's bytes `from` .. `to` (exclusive).
  std::string BenchRead(size_t from, size_t to) {
    const Bytes r = Hex(b.line.Exchange(kBenchRead1, 68));
    return r.size() == 68 ? ToHex(std::span(r).subspan(from, to - from)) : "short reply";
  }
  double ReadLitres() { return BcdToInt(Hex(BenchRead(14, 18))) / 100.0; }
  // Sends a write and returns its reply's size.
  size_t Written(const std::string& request, size_t reply_size) {
    return Hex(b.line.Exchange(request, reply_size)).size();
  }
  KnownBench b{KnownOptions(Wiring::kSingle, 1)};
};

TEST_F(ModelTest, VolumeFollowsErrorAndCoefficients) {
  b.bench.UpdateMeter(0, [](MeterState& m) { m.errors[0] = 0.015; });
  EXPECT_DOUBLE_EQ(ReadLitres(), 10.15);
  b.bench.UpdateMeter(0, [](MeterState& m) { m.coefficients[0] = 8000; });
  EXPECT_DOUBLE_EQ(ReadLitres(), 8.12);  // 10 x 1.015 x 0.8
  b.bench.SetFlowPoint(3);
  EXPECT_DOUBLE_EQ(ReadLitres(), 20.0);  // point 3 keeps its own coefficient
}

TEST_F(ModelTest, HeatFollowsVolumeTemperaturesAndHeatError) {
  // 200 L at point 5, 80 -> 60 degC, meter in the return: 4.5772 kWh; with a
  // heat calculation error of +2 % the meter reports 4669 Wh.
  b.bench.UpdateMeter(0, [](MeterState& m) { m.heat_error = 0.02; });
  b.bench.SetFlowPoint(5);
  const Bytes r = Hex(b.line.Exchange(kBenchRead1, 68));
  ASSERT_EQ(r.size(), 68u);
  EXPECT_EQ(ToHex(std::span(r).subspan(19, 5)), "69 46 00 00 05");
  // The program reads it against the mass of 200 L at 20 degC: +2.00 %.
  const auto reference = StandardHeat(60, 80, 20, 199.688, 0);
  EXPECT_EQ(EvaluateHeatError(DecodeBenchRead(r)->HeatKWh, reference, 4.6)->Text, "2.00");
}

TEST_F(ModelTest, CompensationShrinksTheError) {
  b.bench.UpdateMeter(0, [](MeterState& m) { m.errors[1] = -0.018; });
  b.bench.SetFlowPoint(2);
  const double standard = 5.0;
  const double err = (ReadLitres() - standard) / standard;
  EXPECT_NEAR(err, -0.018, 1e-9);
  // new = (1 - err) x old, as the compensation computes it.
  const auto corrected = static_cast<uint64_t>((1 - err) * 10000);
  EXPECT_EQ(Written(Write1("0B", Bcd(corrected, 4) + " 00"), 21), 21u);
  EXPECT_EQ(b.bench.Meter(0).coefficients[1], static_cast<int32_t>(corrected));
  EXPECT_LT(std::fabs((ReadLitres() - standard) / standard), 0.002);
}

TEST_F(ModelTest, CalibrationMakesThePointReadTheStandardVolume) {
  b.bench.UpdateMeter(0, [](MeterState& m) { m.errors[0] = 0.02; });
  EXPECT_DOUBLE_EQ(ReadLitres(), 10.2);
  // Standard volume 10.000 L x 10000 = 100000 = 00 01 86 A0 (big-endian).
  EXPECT_EQ(Written(Write1("03", "00 01 86 A0 00"), 21), 21u);
  EXPECT_EQ(b.bench.Meter(0).coefficients[0], 9804);  // 10000 x 10 / 10.2
  EXPECT_EQ(b.bench.Meter(0).calibrated[0], 100000u);
  EXPECT_DOUBLE_EQ(ReadLitres(), 10.0);
}

TEST_F(ModelTest, WrittenValuesAreReadBack) {
  // SetCaliber: DN 50, coefficients 10001..10004.
  EXPECT_EQ(Written(Write1("00", "50 00 00 00 " + Bcd(10001, 4) + " " + Bcd(10002, 4) + " " +
                                     Bcd(10003, 4) + " " + Bcd(10004, 4) + " 00"),
                    37),
            37u);
  EXPECT_EQ(BenchRead(32, 34), "50 00");
  EXPECT_EQ(BenchRead(36, 52), "01 00 01 00 02 00 01 00 03 00 01 00 04 00 01 00");

  // Location, accumulated flow, pairing, heat unit, pipe, PT number.
  EXPECT_EQ(Written(Write1("0F", "01 00"), 18), 18u);
  EXPECT_EQ(Written(Write1("11", "07 " + Bcd(123456, 6) + " 2C 00"), 25), 25u);
  EXPECT_EQ(Written(Write1("12", "07 00 50 10 50 90 49 00"), 24), 24u);
  EXPECT_EQ(Written(Write1("13", "80 01 11 00"), 20), 20u);
  EXPECT_EQ(Written(Write1("13", "81 00 02 00"), 20), 20u);
  EXPECT_EQ(Written(Write1("14", "80 " + Bcd(4455667788, 5) + " 00"), 26), 26u);
  EXPECT_EQ(b.bench.Meter(0).location, 1);
  EXPECT_EQ(b.bench.Meter(0).volume_l, 123456u);
  // Heat unit, pipe, PT number and pairing read back.
  EXPECT_EQ(b.line.Exchange(Write1("13", "00 00 00 00"), 20),
            CompleteHex(std::string(kHeader1) + "A4 07 01 13 01 00 01 11 00"));
  EXPECT_EQ(b.line.Exchange(Write1("13", "01 00 00 00"), 20),
            CompleteHex(std::string(kHeader1) + "A4 07 01 13 01 01 00 02 00"));
  EXPECT_EQ(b.line.Exchange(Write1("14", "00 00 00 00 00 00 00"), 26),
            CompleteHex(std::string(kHeader1) + "A4 0D 01 14 01 05 00 00 00 88 77 66 55 44 00"));
  const std::string pairing = b.line.Exchange(Write1("12", "05 00 50 00"), 36);
  EXPECT_EQ(pairing.substr(15 * 3, 18 * 3 - 1),
            "00 25 00 25 00 25 00 50 10 50 90 49 00 80 00 80 00 80");
}

TEST_F(ModelTest, WrittenAddressIsKept) {
  EXPECT_EQ(
      Written(CompleteHex(std::string(kHeader1) + "35 0B A0 18 01 99 00 00 24 20 00 00 00"), 24),
      24u);
  EXPECT_EQ(b.bench.Meter(0).address.Text(), "00002024000099");
  // The old address no longer answers; the new one does.
  EXPECT_TRUE(NoReplyBefore(b.bench, b.line, kBenchRead1,
                            CompleteHex("68 55 99 00 00 24 20 00 00 24 04 01 01 01 00"),
                            CompleteHex("68 55 99 00 00 24 20 00 00 A4 04 01 01 01 00")));
}

TEST_F(ModelTest, TemperatureAdjustmentClearsTheProbeErrors) {
  b.bench.UpdateMeter(0, [](MeterState& m) { m.inlet_probe_error = 0.12; });
  EXPECT_EQ(BenchRead(24, 27), "12 80 00");
  EXPECT_EQ(Written(Write1("12", "01 00 50 00"), 20), 20u);
  EXPECT_EQ(b.bench.Meter(0).adjusted[1], 5000);
  EXPECT_EQ(BenchRead(24, 27), "00 80 00");
}

TEST(Model, FlowReadEventGivesTheOperatorTheBenchValues) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 1));
  std::vector<FlowReadEvent> events;
  std::mutex mu;
  bench.OnFlowRead([&](const FlowReadEvent& e) {
    std::lock_guard lock(mu);
    events.push_back(e);
  });
  PtyPeer line(StartKnown(bench));
  bench.SetFlowPoint(4);
  EXPECT_EQ(Hex(line.Exchange(kBenchRead1, 68)).size(), 68u);
  // The event may follow the reply onto the line by a moment.
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(mu);
    return !events.empty();
  }));
  std::lock_guard lock(mu);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].flow_point, 4);
  EXPECT_DOUBLE_EQ(events[0].reference_litres, 100);
  // 100 L at 20 degC (998.44 kg/m3).
  EXPECT_NEAR(events[0].mass_kg, 99.844, 1e-4);
  EXPECT_EQ(events[0].address, "00002024000001");
}

TEST(Seeds, SameSeedSameBenchOtherSeedOtherErrors) {
  const SimAddress a = *SimAddress::FromText("1");
  const auto make = [&](uint64_t seed, int i) {
    return MakeMeter(seed, i, 0.02, a, MeterKind::kHeat, ProtocolVersion::kV202).errors;
  };
  EXPECT_EQ(make(7, 3), make(7, 3));
  EXPECT_NE(make(7, 3), make(8, 3));
  EXPECT_EQ(MakeConditions(7).reference_litres, MakeConditions(7).reference_litres);
  // Over many meters the errors stay within the spread and use all of it.
  double lo = 0, hi = 0;
  for (int i = 0; i < 20; ++i)
    for (double e : make(1, i)) {
      lo = std::min(lo, e);
      hi = std::max(hi, e);
    }
  EXPECT_LT(lo, -0.015);
  EXPECT_GT(hi, 0.015);
  EXPECT_LE(std::max(-lo, hi), 0.02);
}

TEST(Water, TablesInterpolateBetweenWholeDegrees) {
  EXPECT_NEAR(Density(20.5), 998.33, 1e-3);
  // 100 kg at 20 degC, 80 -> 60 degC: 2.2922 kWh with the meter in the return.
  EXPECT_NEAR(HeatKwh(100000 / 998.44, 80, 60, false), 2.2922, 1e-3);
  EXPECT_NEAR(HeatKwh(100000 / 998.44, 80, 60, true), 2.2656, 1e-3);
}

}  // namespace
}  // namespace qv::sim
