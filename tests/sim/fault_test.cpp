// Faults injected into a meter's replies, under each wiring, and replies
// paced at the line speed.
#include <gtest/gtest.h>

#include "support/known_bench.h"

namespace qv::sim {
namespace {

using namespace qv::test;

// Each fault under each wiring: Initialise to meter 1 and the reply as the
// fault shapes it.
struct FaultCase {
  const char* name;
  MeterFaults faults;
  const char* reply;  // empty: no reply
};
const FaultCase kFaultCases[] = {
    {"none", {}, kInit1Reply},
    {"silent", {.silent = true}, ""},
    {"bad_checksum", {.bad_checksum = true}, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16"},
    {"missing_end", {.missing_end = true}, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD"},
    {"split", {.split = true}, kInit1Reply},
    {"noise",
     {.noise = true},
     "5A A5 68 00 FF FE FE FE FE 68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16"},
    {"delay", {.delay = milliseconds(150)}, kInit1Reply},
};

MeterSetup Faulty(const MeterFaults& faults) {
  MeterSetup setup;
  setup.faults = faults;
  return setup;
}

class FaultUnderWiring : public ::testing::TestWithParam<std::tuple<Wiring, FaultCase>> {};

TEST_P(FaultUnderWiring, ReplyIsShapedByTheFault) {
  const auto& [wiring, fault] = GetParam();
  KnownBench b(KnownOptions(wiring, 2, Faulty(fault.faults)));
  if (wiring == Wiring::kChannel) {
    EXPECT_EQ(b.line.Exchange(kConnect0, 24), kConnect0Reply);
  }
  const size_t before = b.bench.ReceivedCount();
  EXPECT_EQ(b.line.Exchange(kInit1, Hex(fault.reply).size()), fault.reply);
  ASSERT_TRUE(b.bench.WaitReceived(before + 1, kDeadline));
  // Faults changed while running take effect, and nothing else came of the
  // request: the next bytes are the plain reply to the next one.
  b.bench.SetFaults(0, {});
  EXPECT_EQ(b.line.Exchange(kInit1, 17), kInit1Reply);
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultUnderWiring,
                         ::testing::Combine(::testing::Values(Wiring::kSingle, Wiring::kMulti,
                                                              Wiring::kChannel),
                                            ::testing::ValuesIn(kFaultCases)),
                         [](const auto& info) {
                           return std::string(WiringText(std::get<0>(info.param))) + "_" +
                                  std::get<1>(info.param).name;
                         });

TEST(Faults, SilentMeterKeepsWritesAndItsNeighbourAnswers) {
  KnownBench b(KnownOptions(Wiring::kSingle, 2, Faulty({.silent = true})));
  EXPECT_TRUE(NoReplyBefore(b.bench, b.line,
                            CompleteHex("68 55 01 00 00 24 20 00 00 24 08 01 0A 01 45 23 01 00 00"),
                            "FE FE FE 68 55 02 00 00 24 20 00 00 24 04 01 01 01 00 2E 16",
                            "68 55 02 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16"));
  EXPECT_EQ(b.bench.Meter(0).coefficients[0], 12345);
}

TEST(Faults, SplitReplyComesInTwoWrites) {
  KnownBench b(KnownOptions(Wiring::kSingle, 1, Faulty({.split = true})));
  ASSERT_TRUE(b.line.SendHex(kInit1));
  // Whatever has come when the first bytes arrive is the first half alone.
  const Bytes first = b.line.Receive(1);
  EXPECT_EQ(ToHex(first), "68 55 01 00 00 24 20 00");
  EXPECT_EQ(ToHex(Concat(first, b.line.Receive(17 - first.size()))), kInit1Reply);
}

TEST(Faults, PacedRepliesAreUnchanged) {
  BenchOptions options = KnownOptions(Wiring::kSingle, 1);
  options.pacing = true;
  KnownBench b(options);
  EXPECT_EQ(b.line.Exchange(kInit1, 17), kInit1Reply);
  // A long reply and a split one at line speed.
  const Bytes reply =
      Hex(b.line.Exchange("FE FE FE 68 55 01 00 00 24 20 00 00 21 04 90 1F 01 00 D7 16", 68));
  ASSERT_EQ(reply.size(), 68u);
  EXPECT_EQ(reply.back(), 0x16);
  b.bench.SetFaults(0, {.split = true});
  EXPECT_EQ(b.line.Exchange(kInit1, 17), kInit1Reply);
}

}  // namespace
}  // namespace qv::sim
