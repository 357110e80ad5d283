// The bench's lines: who hears and who answers under each wiring (one
// shared line, one line per meter, one line behind the 16-channel switch),
// requests arriving in pieces, a corpus of bad frames a meter must ignore,
// faults injected into a meter's replies under each wiring, replies paced at
// the line speed, and a line opened for exclusive use, closed and opened
// again, as with a real serial device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/lib/sim_frame.h"
#include "support/known_bench.h"
#include "support/temp_files.h"

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

// Initialise's reply to meter 1 with its checksum off by one, without its
// end byte, and after noise.
constexpr const char* kBadSum1 = "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16";
constexpr const char* kNoEnd1 = "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD";
constexpr const char* kNoisy1 =
    "5A A5 68 00 FF FE FE FE FE 68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16";

// Each fault of a meter under each wiring, and (but a delay) injected into
// every reply: Initialise to meter 1 and the reply as the fault shapes it.
struct FaultCase {
  const char* name;
  MeterFaults faults;
  ReplyFault injected;
  const char* reply;  // empty: no reply
};
const FaultCase kFaultCases[] = {
    {"silent", {.silent = true}, ReplyFault::kSilent, ""},
    {"bad_checksum", {.bad_checksum = true}, ReplyFault::kBadSum, kBadSum1},
    {"missing_end", {.missing_end = true}, ReplyFault::kMissingEnd, kNoEnd1},
    {"split", {.split = true}, ReplyFault::kSplit, kInit1Reply},
    {"noise", {.noise = true}, ReplyFault::kNoise, kNoisy1},
    {"delay", {.delay = milliseconds(150)}, ReplyFault::kNone, kInit1Reply},
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

// Each kind injected into every reply, and a corrupted L (null: Initialise's
// reply with another L): the reply as the kind shapes it, and the bench's
// record of what it sent.
TEST(InjectedFaults, EachKindShapesTheReplyAndIsRecorded) {
  std::vector<std::pair<ReplyFault, const char*>> kinds{{ReplyFault::kCorruptedLength, nullptr}};
  for (const FaultCase& c : kFaultCases)
    if (c.injected != ReplyFault::kNone) kinds.emplace_back(c.injected, c.reply);
  for (const auto& [fault, reply] : kinds) {
    SCOPED_TRACE(std::string(ReplyFaultText(fault)));
    BenchOptions options = KnownOptions(Wiring::kSingle, 2);
    options.injected = {1.0, 5, {fault}};
    KnownBench b(options);
    Bytes want = Hex(reply ? reply : kInit1Reply);
    const Bytes got = Hex(b.line.Exchange(kInit1, want.size()));
    ASSERT_TRUE(b.bench.WaitReceived(1, kDeadline));
    if (!reply) {
      EXPECT_NE(got.at(10), want[10]);
      want[10] = got.at(10);  // nothing else differs
    }
    EXPECT_EQ(got, want);
    const std::vector<SentReply> sent = b.bench.SentSince(0);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].meter, 0);
    EXPECT_EQ(sent[0].fault, fault);
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

// The replies of meters 1 and 2 to ReadAddress.
constexpr const char* kAddress1Reply = "68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16";
constexpr const char* kAddress2Reply = "68 55 02 00 00 24 20 00 00 A3 04 81 0A 01 00 36 16";

// Switch frames (28 bytes) and status replies (24 bytes).
constexpr const char* kConnect1 =
    "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 05 A9 AA AA AA AA AA AA AA 17 16";
constexpr const char* kConnect1Reply =
    "68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 01 00 00 00 00 00 00 00 49 16";
constexpr size_t kStatusSize = 24;

TEST(SingleWiring, OnlyTheAddressedMeterAnswersAndTheFirstTheWildcard) {
  KnownBench b(KnownOptions(Wiring::kSingle, 3));
  ASSERT_EQ(b.bench.DevicePaths().size(), 1u);
  EXPECT_EQ(b.line.Exchange(kInit2, 17), kInit2Reply);
  EXPECT_EQ(b.line.Exchange(kReadAddress, 17), kAddress1Reply);
  const auto received = b.bench.Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].answers, std::vector<int>{1});
  EXPECT_EQ(received[1].answers, std::vector<int>{0});
  // Broadcast and foreign (2024000009) addresses get no reply.
  for (const char* head : {"68 55 AA AA AA AA AA AA AA 24 04 01 01 01 00",
                           "68 55 09 00 00 24 20 00 00 24 04 01 01 01 00"})
    EXPECT_TRUE(NoReplyBefore(b.bench, b.line, CompleteHex(head), kInit1, kInit1Reply)) << head;
}

TEST(MultiWiring, EachMeterHasItsOwnLine) {
  KnownBench b(KnownOptions(Wiring::kMulti, 3));
  const auto paths = b.bench.DevicePaths();
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_NE(paths[0], paths[1]);
  PtyPeer line2(paths[1]);
  EXPECT_EQ(line2.Exchange(kReadAddress, 17), kAddress2Reply);
  EXPECT_EQ(b.line.Exchange(kReadAddress, 17), kAddress1Reply);
  // Meter 1 is not on line 2, and line 1 carries nothing of it.
  EXPECT_TRUE(NoReplyBefore(b.bench, line2, kInit1, kInit2, kInit2Reply));
  EXPECT_EQ(b.line.Exchange(kInit1, 17), kInit1Reply);
  EXPECT_EQ(b.bench.PortOfMeter(2), 2);
}

TEST(ChannelWiring, MetersHearNothingUntilTheirChannelIsConnected) {
  KnownBench b(KnownOptions(Wiring::kChannel, 4));
  ASSERT_EQ(b.bench.DevicePaths().size(), 1u);
  EXPECT_FALSE(b.bench.ConnectedChannel().has_value());
  EXPECT_TRUE(NoReplyBefore(b.bench, b.line, kInit2, kConnect1, kConnect1Reply));
  EXPECT_EQ(b.bench.ConnectedChannel(), 1);
  EXPECT_EQ(b.line.Exchange(kInit2, 17), kInit2Reply);
  // Meter 1 sits on channel 0; the wildcard reaches meter 2.
  EXPECT_TRUE(NoReplyBefore(b.bench, b.line, kInit1, kReadAddress, kAddress2Reply));

  EXPECT_EQ(b.line.Exchange(kConnect0, kStatusSize), kConnect0Reply);
  EXPECT_TRUE(NoReplyBefore(b.bench, b.line, kInit2, kInit1, kInit1Reply));
}

// Channel 3 is the low nibble of M1 and reported in S1, channel 15 the low
// nibble of M7, reported in S7; no channel asked for turns every one off.
TEST(ChannelWiring, StatusReportsChannelsInTheirNibbles) {
  KnownBench b(KnownOptions(Wiring::kChannel, 16));
  for (const auto& [m, s, channel] :
       {std::tuple("FF AA A9 AA AA AA AA AA AA", "FF 00 01 00 00 00 00 00 00", std::optional(3)),
        {"07 AA AA AA AA AA AA AA A9", "07 00 00 00 00 00 00 00 01", 15},
        {"08 AA AA AA AA AA AA AA AA", "08 00 00 00 00 00 00 00 00", std::nullopt}}) {
    EXPECT_EQ(
        b.line.Exchange(CompleteHex(std::string("68 56 AB CD EF 12 34 56 78 39 0B 12 34 ") + m),
                        kStatusSize),
        CompleteHex(std::string("68 56 AB CD EF 12 34 56 78 B9 0B 12 34 ") + s));
    EXPECT_EQ(b.bench.ConnectedChannel(), channel);
  }
}

TEST(ChannelWiring, SwitchFramesNeedTheSwitchAddressAndAGoodChecksum) {
  KnownBench b(KnownOptions(Wiring::kChannel, 2));
  EXPECT_EQ(b.line.Exchange(kConnect0, kStatusSize), kConnect0Reply);
  // Channel 1 asked for by another address and with a checksum off by one:
  // no reply, and meter 1 on channel 0 still hears.
  for (const std::string& bad :
       {CompleteHex("68 56 AB CD EF 12 34 56 79 39 0B 12 34 05 A9 AA AA AA AA AA AA AA"),
        std::string("68 56 AB CD EF 12 34 56 78 39 0B 12 34 05 A9 AA AA AA AA AA AA AA 18 16")})
    EXPECT_TRUE(NoReplyBefore(b.bench, b.line, bad, kInit1, kInit1Reply)) << bad;
}

TEST(ChannelWiring, SilentSwitchNeitherAnswersNorConnects) {
  BenchOptions options = KnownOptions(Wiring::kChannel, 2);
  options.switch_silent = true;
  KnownBench b(options);
  ASSERT_TRUE(b.line.SendHex(kConnect1));
  ASSERT_TRUE(b.line.SendHex(kInit2));
  ASSERT_TRUE(b.bench.WaitReceived(2, kDeadline));
  EXPECT_FALSE(b.bench.ConnectedChannel().has_value());
  b.bench.SetSwitchSilent(false);
  EXPECT_EQ(b.line.Exchange(kConnect1, kStatusSize), kConnect1Reply);
}

TEST(ChannelWiring, MoreThanSixteenMetersAreRefused) {
  VirtualBench bench(KnownOptions(Wiring::kChannel, 17));
  std::string error;
  EXPECT_FALSE(bench.Start(error));
  EXPECT_NE(error.find("1..16"), std::string::npos) << error;
}

TEST(Benches, TwoRunSideBySide) {
  BenchOptions other = KnownOptions(Wiring::kSingle, 1);
  other.first_address = 2024000002;
  KnownBench a(KnownOptions(Wiring::kSingle, 1));
  KnownBench b(other);
  ASSERT_NE(a.line.Path(), b.line.Path());
  EXPECT_EQ(b.line.Exchange(kInit2, 17), kInit2Reply);
  EXPECT_EQ(a.line.Exchange(kInit1, 17), kInit1Reply);
  EXPECT_EQ(a.bench.ReceivedCount(), 1u);
  EXPECT_EQ(b.bench.ReceivedCount(), 1u);
}

// Opens the line for exclusive use, tries a second open while it is held,
// closes it and opens it again; what came of it.
std::string OpenCloseReopen(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0 || ioctl(fd, TIOCEXCL) != 0) return "not held";
  if (open(path.c_str(), O_RDWR | O_NOCTTY) >= 0) return "opened while held";
  close(fd);
  // The bench clears exclusive use once it sees the close.
  const bool reopened = WaitFor([&] {
    const int again = open(path.c_str(), O_RDWR | O_NOCTTY);
    return again >= 0 && close(again) == 0;
  });
  return reopened ? "reopened" : "not reopened";
}

// Exclusive use binds only unprivileged users: the opens run in a child
// process that is one.
TEST(ExclusiveUse, LineCanBeReopenedAfterTheProgramClosesIt) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 1));
  const std::string path = StartKnown(bench);
  if (getuid() == 0) chmod(path.c_str(), 0666);
  EXPECT_EQ(RunInChild([&] { return OpenCloseReopen(path); }, {.unprivileged = true}), "reopened");
  // The line still works afterwards.
  EXPECT_EQ(PtyPeer(path).Exchange(kInit1, 17), kInit1Reply);
}

}  // namespace
}  // namespace qv::sim
