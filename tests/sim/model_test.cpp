// The bench model: seeded errors, volumes that follow the coefficients (so a
// compensation or a calibration really shrinks a meter's error), written
// values that are kept and read back, and the numbers an operator types.
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
