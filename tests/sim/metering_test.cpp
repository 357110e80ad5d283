// Metering data (C 01) in every protocol version, heat and cold, and the
// clock setting (C 04), byte for byte, on a meter in the known state of
// support/known_bench.h.
#include <gtest/gtest.h>

#include "support/known_bench.h"

namespace qv::sim {
namespace {

using namespace qv::test;

struct MeteringGolden {
  const char* protocol;  // the meter's version, " cold" for a cold meter
  bool cold;
  const char* request;
  const char* reply;
};

// Groups of the known meter: settlement 1000 kWh, heat 1234.567 kWh, cold
// 89 kWh, power 1.144 kW (50 L/h, 80 -> 60 degC), flow 0.05 m3/h, volume
// 56.789 m3; then 80.00 and 60.00 degC, 4321 h, 2024-03-05 14:07:59, 01 00.
// A cold meter answers with T = 21, whatever type the request carried.
const MeteringGolden kMeteringGolden[] = {
    {"M-BusV2.01", false, "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 20 01 00 00 24 20 00 00 81 2E 90 1F 01 00 10 00 00 05 35 12 00 00 05 89 00 00 00 05 00 05 "
     "00 00 35 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 78 16"},
    {"M-BusV2.02", false, "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 20 01 00 00 24 20 00 00 81 2E 90 1F 01 00 10 00 00 05 35 12 00 00 05 89 00 00 00 05 00 05 "
     "00 00 32 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 75 16"},
    {"M-BusV2.03", false, "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 20 01 00 00 24 20 00 00 81 2E 90 1F 01 35 12 00 00 05 89 00 00 00 05 14 01 00 00 17 00 05 "
     "00 00 32 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 8C 16"},
    {"M-BusV3.01", false, "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 20 01 00 00 24 20 00 00 81 2E 90 1F 01 05 00 00 10 00 05 57 34 12 00 17 14 01 00 00 35 00 "
     "05 00 00 2C 79 56 00 00 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 49 16"},
    {"M-BusV3.01 cold", true, "FE FE FE 68 21 01 00 00 24 20 00 00 01 03 90 1F 01 82 16",
     "68 21 01 00 00 24 20 00 00 81 2E 90 1F 01 05 00 00 10 00 05 00 89 00 00 17 14 01 00 00 35 00 "
     "05 00 00 2C 79 56 00 00 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 36 16"},
    {"TG", false, "FE FE FE 68 20 01 00 00 24 00 11 11 01 03 1F 90 01 83 16",
     "68 20 01 00 00 24 00 11 11 81 2E 1F 90 01 00 89 00 00 05 57 34 12 00 05 14 01 00 00 17 00 05 "
     "00 00 35 79 56 00 00 2C 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 C4 16"},
    {"M-BusV2.01 cold", true, "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 21 01 00 00 24 20 00 00 81 2E 90 1F 01 00 10 00 00 05 35 12 00 00 05 89 00 00 00 05 00 05 "
     "00 00 35 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 79 16"},
    {"M-BusV2.02 cold", true, "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 21 01 00 00 24 20 00 00 81 2E 90 1F 01 00 10 00 00 05 35 12 00 00 05 89 00 00 00 05 00 05 "
     "00 00 32 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 76 16"},
    {"M-BusV2.03 cold", true, "FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16",
     "68 21 01 00 00 24 20 00 00 81 2E 90 1F 01 35 12 00 00 05 89 00 00 00 05 14 01 00 00 17 00 05 "
     "00 00 32 89 67 05 00 29 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 8D 16"},
    {"TG cold", true, "FE FE FE 68 21 01 00 00 24 00 11 11 01 03 1F 90 01 84 16",
     "68 21 01 00 00 24 00 11 11 81 2E 1F 90 01 00 89 00 00 05 57 34 12 00 05 14 01 00 00 17 00 05 "
     "00 00 35 79 56 00 00 2C 00 80 00 00 60 00 21 43 00 59 07 14 05 03 24 20 01 00 C5 16"},
};

MeterSetup Speaking(ProtocolVersion protocol, bool cold = false) {
  MeterSetup setup;
  setup.kind = cold ? MeterKind::kCold : MeterKind::kHeat;
  setup.protocol = protocol;
  return setup;
}

class MeteringDataGolden : public ::testing::TestWithParam<MeteringGolden> {};

TEST_P(MeteringDataGolden, ReplyMatchesByteForByte) {
  const MeteringGolden& g = GetParam();
  const std::string_view name = g.protocol;
  KnownBench b(KnownOptions(Wiring::kSingle, 1,
                            Speaking(*ParseProtocol(name.substr(0, name.find(' '))), g.cold)));
  ASSERT_EQ(Hex(g.reply).size(), 59u);
  EXPECT_EQ(b.line.Exchange(g.request, 59), g.reply);
}

INSTANTIATE_TEST_SUITE_P(AllVersions, MeteringDataGolden, ::testing::ValuesIn(kMeteringGolden),
                         [](const auto& info) {
                           std::string name = info.param.protocol;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(Clock, SetClockIsAcknowledgedAndTheMeterClockFollows) {
  KnownBench b(KnownOptions(Wiring::kSingle, 1, Speaking(ProtocolVersion::kV202)));
  // 2024-03-05 14:08:00, one second after the bench clock.
  EXPECT_EQ(b.line.Exchange("FE FE FE 68 20 01 00 00 24 20 00 00 04 0A A0 15 01 "
                            "00 08 14 05 03 24 20 F9 16",
                            18),
            "68 20 01 00 00 24 20 00 00 84 05 A0 15 01 01 00 0D 16");
  EXPECT_EQ(b.bench.Meter(0).clock_offset_s, 1);
  // The metering data now carry 14:08:00 at offsets 48..54.
  const Bytes reply =
      Hex(b.line.Exchange("FE FE FE 68 20 01 00 00 24 20 00 00 01 03 90 1F 01 81 16", 59));
  ASSERT_EQ(reply.size(), 59u);
  EXPECT_EQ(ToHex(std::span(reply).subspan(48, 7)), "00 08 14 05 03 24 20");
}

TEST(Clock, TgClockUsesTheSwappedIdentifier) {
  KnownBench b(KnownOptions(Wiring::kSingle, 1, Speaking(ProtocolVersion::kTG)));
  EXPECT_EQ(b.line.Exchange("FE FE FE 68 20 01 00 00 24 00 11 11 04 0A 15 A0 01 "
                            "00 08 14 05 03 24 20 FB 16",
                            18),
            "68 20 01 00 00 24 00 11 11 84 05 15 A0 01 01 00 0F 16");
}

TEST(Clock, SecondSixtyRollsOverAndAnImpossibleDateIsRefused) {
  KnownBench b(KnownOptions(Wiring::kSingle, 1, Speaking(ProtocolVersion::kV202)));
  // 14:07:60 is 14:08:00.
  EXPECT_EQ(
      Hex(b.line.Exchange(
              CompleteHex("68 20 01 00 00 24 20 00 00 04 0A A0 15 01 60 07 14 05 03 24 20"), 18))
          .size(),
      18u);
  EXPECT_EQ(b.bench.Meter(0).clock_offset_s, 1);
  // 31 February: no reply, clock unchanged.
  EXPECT_TRUE(
      NoReplyBefore(b.bench, b.line,
                    CompleteHex("68 20 01 00 00 24 20 00 00 04 0A A0 15 01 00 00 12 31 02 24 20"),
                    kInit1, kInit1Reply));
  EXPECT_EQ(b.bench.Meter(0).clock_offset_s, 1);
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

}  // namespace
}  // namespace qv::sim
