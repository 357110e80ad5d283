// Requests arriving in pieces, a corpus of bad frames a meter must ignore,
// faults injected into a meter's replies under each wiring, and replies paced
// at the line speed.
#include <gtest/gtest.h>

#include "sim/lib/sim_frame.h"
#include "support/known_bench.h"

namespace qv::sim {
namespace {

using namespace qv::test;

constexpr const char* kInit1Frame = "68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D 16";

TEST(FrameReader, WaitsForTheWholeFrameFedInPieces) {
  FrameReader reader;
  const Bytes frame = Hex(kInit1);
  for (size_t i = 0; i + 1 < frame.size(); ++i) {
    reader.Feed(Bytes{frame[i]});
    EXPECT_EQ(reader.Next().status, FrameReader::Status::kNeedMore) << i;
  }
  reader.Feed(Bytes{frame.back()});
  const auto r = reader.Next();
  ASSERT_EQ(r.status, FrameReader::Status::kFrame);
  EXPECT_EQ(ToHex(r.frame.raw), kInit1Frame);
  EXPECT_EQ(reader.Next().status, FrameReader::Status::kNeedMore);
  EXPECT_FALSE(reader.HasPartial());
  // Two frames in one burst.
  reader.Feed(Hex(std::string(kInit1Frame) + " FE FE " + kInit1Frame));
  EXPECT_EQ(reader.Next().status, FrameReader::Status::kFrame);
  EXPECT_EQ(reader.Next().status, FrameReader::Status::kFrame);
  EXPECT_EQ(reader.Next().status, FrameReader::Status::kNeedMore);
}

TEST(SimAddress, EncodesDigitsLowByteFirst) {
  const SimAddress a = *SimAddress::FromText("12345678901234");
  EXPECT_EQ(ToHex(a.bytes), "34 12 90 78 56 34 12");
  EXPECT_EQ(SimAddress::FromText("2024000001")->Text(), "00002024000001");
  for (const char* bad : {"", "123456789012345", "12G4"})
    EXPECT_FALSE(SimAddress::FromText(bad).has_value()) << bad;
  EXPECT_TRUE(SimAddress::Broadcast().IsBroadcast());
}

// Frames a meter must not answer, with what is wrong with them and whether
// they are whole frames at all.
struct BadFrame {
  const char* why;
  const char* bytes;
  bool valid;
};
const BadFrame kBadFrames[] = {
    {"checksum off by one", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2E 16", false},
    {"end byte 17", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D 17", false},
    {"end byte missing", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D", false},
    {"L one too long", "FE FE FE 68 55 01 00 00 24 20 00 00 24 05 01 01 01 00 2E 16", false},
    {"StartTest with a wrong checksum",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 02 01 F2 00 21 16", false},
    {"unknown DI", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 7F 01 00 AB 16", true},
    {"unknown control code", "FE FE FE 68 55 01 00 00 24 20 00 00 22 04 90 1F 01 00 D8 16", true},
    {"payload too short for WriteCoefficient",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 0A 01 45 7B 16", true},
    {"unknown WriteAccumulator sub-code",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 0C 01 11 01 0B 45 23 01 00 00 00 05 00 BE 16", true},
    {"metering data with the bench type",
     "FE FE FE 68 55 01 00 00 24 20 00 00 01 03 90 1F 01 B6 16", true},
};

class BadFrameCorpus : public ::testing::TestWithParam<BadFrame> {};

TEST_P(BadFrameCorpus, IsIgnoredAndTheNextGoodRequestIsAnswered) {
  KnownBench b(KnownOptions(Wiring::kSingle, 1));
  EXPECT_TRUE(NoReplyBefore(b.bench, b.line, GetParam().bytes, kInit1, kInit1Reply))
      << GetParam().why;
  EXPECT_EQ(b.bench.Received().at(0).valid, GetParam().valid) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadFrameCorpus, ::testing::ValuesIn(kBadFrames));

TEST(LineInput, RequestWrittenInPiecesIsAnswered) {
  KnownBench b(KnownOptions(Wiring::kSingle, 2));
  // Meter 2's reply shows the bench has read the first piece of meter 1's
  // request before the rest is written.
  EXPECT_EQ(b.line.Exchange(std::string(kInit2) + " FE FE FE 68 55 01 00", 17), kInit2Reply);
  EXPECT_EQ(b.line.Exchange("00 24 20 00 00 24 04 01 01 01 00 2D 16", 17), kInit1Reply);
}

// Each fault under each wiring: Initialise to meter 1 and the reply as the
// fault shapes it.
struct FaultCase {
  const char* name;
  MeterFaults faults;
  const char* reply;  // empty: no reply
};
const FaultCase kFaultCases[] = {
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

// Faults injected into every reply, one kind at a time: the reply as the
// kind shapes it, and the bench's record of what it sent.
struct InjectedCase {
  ReplyFault fault;
  const char* reply;  // empty: no reply; null: Initialise's reply with another L
};
const InjectedCase kInjectedCases[] = {
    {ReplyFault::kSilent, ""},
    {ReplyFault::kBadSum, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16"},
    {ReplyFault::kMissingEnd, "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD"},
    {ReplyFault::kSplit, kInit1Reply},
    {ReplyFault::kNoise,
     "5A A5 68 00 FF FE FE FE FE 68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16"},
    {ReplyFault::kCorruptedLength, nullptr},
};

TEST(InjectedFaults, EachKindShapesTheReplyAndIsRecorded) {
  for (const InjectedCase& c : kInjectedCases) {
    SCOPED_TRACE(std::string(ReplyFaultText(c.fault)));
    BenchOptions options = KnownOptions(Wiring::kSingle, 2);
    options.injected = {1.0, 5, {c.fault}};
    KnownBench b(options);
    Bytes want = Hex(c.reply ? c.reply : kInit1Reply);
    const Bytes got = Hex(b.line.Exchange(kInit1, want.size()));
    ASSERT_TRUE(b.bench.WaitReceived(1, kDeadline));
    if (!c.reply) {
      EXPECT_NE(got.at(10), want[10]);
      want[10] = got.at(10);  // nothing else differs
    }
    EXPECT_EQ(got, want);
    const std::vector<SentReply> sent = b.bench.SentSince(0);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].meter, 0);
    EXPECT_EQ(sent[0].fault, c.fault);
  }
}

TEST(InjectedFaults, SameSeedSameFaultsAndNoneByDefault) {
  const auto faults = [](double rate, uint64_t seed) {
    BenchOptions options = KnownOptions(Wiring::kMulti, 1);
    options.injected.rate = rate;
    options.injected.seed = seed;
    options.injected.kinds = {ReplyFault::kBadSum};
    KnownBench b(options);
    std::string out;
    for (int i = 0; i < 24; ++i) {
      const std::string reply = b.line.Exchange(kInit1, 17);
      out += reply == kInit1Reply ? '.' : 'x';
    }
    EXPECT_EQ(b.bench.SentCount(), 24u);
    return out;
  };
  const std::string first = faults(0.5, 3);
  EXPECT_EQ(faults(0.5, 3), first);
  EXPECT_NE(first.find('x'), std::string::npos);
  EXPECT_NE(first.find('.'), std::string::npos);
  EXPECT_EQ(faults(0, 3), std::string(24, '.'));
}

}  // namespace
}  // namespace qv::sim
