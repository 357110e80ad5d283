// Every bench command (T = 0x55) written out as hex, and the meter's reply
// byte for byte, on a meter in the known state of support/known_bench.h.
#include <gtest/gtest.h>

#include "support/known_bench.h"

namespace qv::sim {
namespace {

using namespace qv::test;

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
const Golden kBenchGolden[] = {
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
};

class BenchCommandGolden : public ::testing::TestWithParam<Golden> {};

TEST_P(BenchCommandGolden, ReplyMatchesByteForByte) {
  const Golden& g = GetParam();
  KnownBench b(KnownOptions(Wiring::kSingle, 1));
  std::string reply = g.reply ? g.reply : "";
  if (!g.reply) {
    Bytes echo = Hex(std::string_view(g.request).substr(9));  // from the 68
    echo[9] |= 0x80;
    reply = CompleteHex(ToHex(std::span(echo).first(echo.size() - 2)));
  }
  EXPECT_EQ(b.line.Exchange(g.request, Hex(reply).size()), reply);
  // Nothing follows the reply: the next bytes answer the next request, a
  // ReadAddress (the meter's address may have changed).
  const std::string address = ToHex(b.bench.Meter(0).address.bytes);
  EXPECT_EQ(b.line.Exchange(kReadAddress, 17),
            CompleteHex("68 55 " + address + " A3 04 81 0A 01 00"));
}

INSTANTIATE_TEST_SUITE_P(AllCommands, BenchCommandGolden, ::testing::ValuesIn(kBenchGolden),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::sim
