// Every request written out as hex and the meter's reply byte for byte, on a
// meter in the known state of support/known_bench.h: the bench commands
// (T = 55), the metering data (C 01) in every protocol version, heat and
// cold, and the clock setting (C 04).
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qv::sim
