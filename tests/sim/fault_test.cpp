// Faults injected into a meter's replies and into the switch, and replies
// paced at the line speed.
#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace qv::sim::test {
namespace {

constexpr const char* kInit1 = "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D 16";
constexpr const char* kInit1Reply = "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16";

class FaultTest : public ::testing::Test {
 protected:
  void StartWith(const MeterFaults& faults, bool pacing = false) {
    BenchOptions options = KnownOptions(Wiring::kSingle, 2);
    MeterSetup setup;
    setup.faults = faults;
    options.meters = {setup};
    options.pacing = pacing;
    bench_ = std::make_unique<VirtualBench>(options);
    StartKnown(*bench_);
    line_ = std::make_unique<PtyClient>(bench_->DevicePaths()[0]);
  }
  std::unique_ptr<VirtualBench> bench_;
  std::unique_ptr<PtyClient> line_;
};

TEST_F(FaultTest, SilentMeterKeepsWritesButNeverAnswers) {
  StartWith({.silent = true});
  line_->WriteHex(WithChecksum("68 55 01 00 00 24 20 00 00 24 08 01 0A 01 45 23 01 00 00"));
  ASSERT_TRUE(bench_->WaitReceived(1, milliseconds(2000)));
  EXPECT_TRUE(line_->ReadUntilSilent(milliseconds(150)).empty());
  EXPECT_EQ(bench_->Meter(0).coefficients[0], 12345);
  EXPECT_TRUE(bench_->Received()[0].answers.empty());
  // Its neighbour on the same line still answers.
  EXPECT_EQ(line_->Exchange("FE FE FE 68 55 02 00 00 24 20 00 00 24 04 01 01 01 00 2E 16", 17),
            "68 55 02 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16");
}

TEST_F(FaultTest, WrongChecksumIsOffByOne) {
  StartWith({.bad_checksum = true});
  EXPECT_EQ(line_->Exchange(kInit1, 17), "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16");
}

TEST_F(FaultTest, MissingEndByteIsNotSent) {
  StartWith({.missing_end = true});
  line_->WriteHex(kInit1);
  EXPECT_EQ(ToHex(line_->ReadUntilSilent(milliseconds(150))),
            "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD");
}

TEST_F(FaultTest, NoiseAndWakeBytesComeBeforeTheReply) {
  StartWith({.noise = true});
  EXPECT_EQ(line_->Exchange(kInit1, 26), std::string("5A A5 68 00 FF FE FE FE FE ") + kInit1Reply);
}

TEST_F(FaultTest, SplitReplyArrivesInTwoParts) {
  StartWith({.split = true});
  line_->WriteHex(kInit1);
  // The pause inside the reply is longer than this silence.
  const Bytes first = line_->ReadUntilSilent(milliseconds(100));
  const Bytes second = line_->ReadCount(17 - first.size());
  EXPECT_EQ(ToHex(first), "68 55 01 00 00 24 20 00");
  Bytes whole = first;
  whole.insert(whole.end(), second.begin(), second.end());
  EXPECT_EQ(ToHex(whole), kInit1Reply);
}

TEST_F(FaultTest, DelayedReplyIsComplete) {
  StartWith({.delay = milliseconds(200)});
  EXPECT_EQ(line_->Exchange(kInit1, 17), kInit1Reply);
}

TEST_F(FaultTest, FaultsCanBeChangedWhileRunning) {
  StartWith({});
  EXPECT_EQ(line_->Exchange(kInit1, 17), kInit1Reply);
  bench_->SetFaults(0, {.bad_checksum = true, .noise = true});
  EXPECT_EQ(line_->Exchange(kInit1, 26),
            "5A A5 68 00 FF FE FE FE FE 68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16");
  bench_->SetFaults(0, {});
  EXPECT_EQ(line_->Exchange(kInit1, 17), kInit1Reply);
}

TEST_F(FaultTest, PacedRepliesAreUnchanged) {
  StartWith({}, true);
  EXPECT_EQ(line_->Exchange(kInit1, 17), kInit1Reply);
  // A long reply and a split one at line speed.
  const Bytes reply =
      Hex(line_->Exchange("FE FE FE 68 55 01 00 00 24 20 00 00 21 04 90 1F 01 00 D7 16", 68));
  ASSERT_EQ(reply.size(), 68u);
  EXPECT_EQ(reply.back(), 0x16);
  bench_->SetFaults(0, {.split = true});
  EXPECT_EQ(line_->Exchange(kInit1, 17), kInit1Reply);
}

}  // namespace
}  // namespace qv::sim::test

namespace qv::sim::test {
namespace {

// Each fault under each wiring: Initialise to meter 1 (behind the switch,
// channel 0 is connected first) and the reply as the fault shapes it.
struct FaultCase {
  const char* name;
  MeterFaults faults;
  const char* reply;  // empty: no reply
};
const FaultCase kFaultCases[] = {
    {"none", {}, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16"},
    {"silent", {.silent = true}, ""},
    {"bad_checksum", {.bad_checksum = true}, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16"},
    {"missing_end", {.missing_end = true}, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD"},
    {"split", {.split = true}, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16"},
    {"noise",
     {.noise = true},
     "5A A5 68 00 FF FE FE FE FE 68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16"},
    {"delay", {.delay = milliseconds(150)}, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16"},
};

class FaultUnderWiring : public ::testing::TestWithParam<std::tuple<Wiring, FaultCase>> {};

TEST_P(FaultUnderWiring, ReplyIsShapedByTheFault) {
  const auto& [wiring, fault] = GetParam();
  BenchOptions options = KnownOptions(wiring, 2);
  MeterSetup setup;
  setup.faults = fault.faults;
  options.meters = {setup};
  VirtualBench bench(options);
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  if (wiring == Wiring::kChannel) {
    EXPECT_EQ(line.Exchange("FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 06 "
                            "9A AA AA AA AA AA AA AA 09 16",
                            24),
              "68 56 AB CD EF 12 34 56 78 B9 0B 12 34 06 10 00 00 00 00 00 00 00 59 16");
  }
  const size_t before = bench.ReceivedCount();
  line.WriteHex(kInit1);
  ASSERT_TRUE(bench.WaitReceived(before + 1, milliseconds(2000)));
  const Bytes expected = Hex(fault.reply);
  if (expected.empty()) {
    EXPECT_TRUE(line.ReadUntilSilent(milliseconds(200)).empty());
    return;
  }
  EXPECT_EQ(ToHex(line.ReadCount(expected.size())), fault.reply);
  EXPECT_TRUE(line.ReadUntilSilent(milliseconds(50)).empty());
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultUnderWiring,
                         ::testing::Combine(::testing::Values(Wiring::kSingle, Wiring::kMulti,
                                                              Wiring::kChannel),
                                            ::testing::ValuesIn(kFaultCases)),
                         [](const auto& info) {
                           return std::string(WiringText(std::get<0>(info.param))) + "_" +
                                  std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace qv::sim::test
