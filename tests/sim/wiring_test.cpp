// Who hears and who answers under each wiring (one shared line, one line per
// meter, one line behind the 16-channel switch), and a line opened for
// exclusive use, closed and opened again, as with a real serial device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/known_bench.h"
#include "support/temp_files.h"

namespace qv::sim {
namespace {

using namespace qv::test;

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
