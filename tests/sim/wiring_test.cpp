// Who hears and who answers under each wiring: one shared line, one line per
// meter, and one line behind the 16-channel switch.
#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace qv::sim::test {
namespace {

// Initialise to meter 2024000001 and 2024000002, and their replies.
constexpr const char* kInit1 = "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D 16";
constexpr const char* kInit1Reply = "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16";
constexpr const char* kInit2 = "FE FE FE 68 55 02 00 00 24 20 00 00 24 04 01 01 01 00 2E 16";
constexpr const char* kInit2Reply = "68 55 02 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16";
constexpr size_t kInitReplySize = 17;
// ReadAddress (wildcard address) and the replies of meters 1 and 2.
constexpr const char* kReadAddress = "FE FE FE 68 55 AA AA AA AA AA AA AA 23 04 81 0A 01 00 16 16";
constexpr const char* kAddress1Reply = "68 55 01 00 00 24 20 00 00 A3 04 81 0A 01 00 35 16";
constexpr const char* kAddress2Reply = "68 55 02 00 00 24 20 00 00 A3 04 81 0A 01 00 36 16";
// Initialise to the broadcast address.
constexpr const char* kInitBroadcast =
    "FE FE FE 68 55 AA AA AA AA AA AA AA 24 04 01 01 01 00 8E 16";

// Switch frames (28 bytes) and status replies (24 bytes).
constexpr const char* kConnect1 =
    "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 05 A9 AA AA AA AA AA AA AA 17 16";
constexpr const char* kConnect1Reply =
    "68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 01 00 00 00 00 00 00 00 49 16";
constexpr const char* kConnect0 =
    "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 06 9A AA AA AA AA AA AA AA 09 16";
constexpr const char* kConnect0Reply =
    "68 56 AB CD EF 12 34 56 78 B9 0B 12 34 06 10 00 00 00 00 00 00 00 59 16";
constexpr const char* kConnect3 =
    "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 FF AA A9 AA AA AA AA AA AA 11 16";
constexpr const char* kConnect3Reply =
    "68 56 AB CD EF 12 34 56 78 B9 0B 12 34 FF 00 01 00 00 00 00 00 00 43 16";
constexpr size_t kStatusSize = 24;

// Sends `request` and expects no reply once the bench has taken it in.
void ExpectNoReply(VirtualBench& bench, PtyClient& line, const char* request) {
  const size_t before = bench.ReceivedCount();
  line.WriteHex(request);
  ASSERT_TRUE(bench.WaitReceived(before + 1, milliseconds(2000)));
  EXPECT_TRUE(line.ReadUntilSilent(milliseconds(100)).empty()) << request;
}

TEST(SingleWiring, OnlyTheAddressedMeterAnswers) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 3));
  StartKnown(bench);
  ASSERT_EQ(bench.DevicePaths().size(), 1u);
  PtyClient line(bench.DevicePaths()[0]);
  EXPECT_EQ(line.Exchange(kInit2, kInitReplySize), kInit2Reply);
  EXPECT_TRUE(line.ReadUntilSilent(milliseconds(50)).empty());
  EXPECT_EQ(line.Exchange(kInit1, kInitReplySize), kInit1Reply);
  const auto received = bench.Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].answers, std::vector<int>{1});
  EXPECT_EQ(received[1].answers, std::vector<int>{0});
}

TEST(SingleWiring, ReadAddressIsAnsweredByTheFirstMeterOnly) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 3));
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  EXPECT_EQ(line.Exchange(kReadAddress, 17), kAddress1Reply);
  EXPECT_TRUE(line.ReadUntilSilent(milliseconds(100)).empty());
}

TEST(SingleWiring, BroadcastAndForeignAddressesGetNoReply) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 2));
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  ExpectNoReply(bench, line, kInitBroadcast);
  ExpectNoReply(bench, line,
                "FE FE FE 68 55 03 00 00 24 20 00 00 24 04 01 01 01 00 2F 16");  // 2024000003
}

TEST(MultiWiring, EachMeterHasItsOwnLine) {
  VirtualBench bench(KnownOptions(Wiring::kMulti, 3));
  StartKnown(bench);
  const auto paths = bench.DevicePaths();
  ASSERT_EQ(paths.size(), 3u);
  EXPECT_NE(paths[0], paths[1]);
  PtyClient line1(paths[0]);
  PtyClient line2(paths[1]);
  EXPECT_EQ(line2.Exchange(kReadAddress, 17), kAddress2Reply);
  EXPECT_EQ(line1.Exchange(kReadAddress, 17), kAddress1Reply);
  EXPECT_EQ(line2.Exchange(kInit2, kInitReplySize), kInit2Reply);
  // Meter 1 is not on line 2.
  ExpectNoReply(bench, line2, kInit1);
  EXPECT_TRUE(line1.ReadUntilSilent(milliseconds(50)).empty());
  EXPECT_EQ(bench.PortOfMeter(2), 2);
}

TEST(ChannelWiring, MetersHearNothingUntilTheirChannelIsConnected) {
  VirtualBench bench(KnownOptions(Wiring::kChannel, 4));
  StartKnown(bench);
  ASSERT_EQ(bench.DevicePaths().size(), 1u);
  PtyClient line(bench.DevicePaths()[0]);
  ExpectNoReply(bench, line, kInit2);
  EXPECT_FALSE(bench.ConnectedChannel().has_value());

  EXPECT_EQ(line.Exchange(kConnect1, kStatusSize), kConnect1Reply);
  EXPECT_EQ(bench.ConnectedChannel(), 1);
  EXPECT_EQ(line.Exchange(kInit2, kInitReplySize), kInit2Reply);
  ExpectNoReply(bench, line, kInit1);  // meter 1 sits on channel 0
  EXPECT_EQ(line.Exchange(kReadAddress, 17), kAddress2Reply);

  EXPECT_EQ(line.Exchange(kConnect0, kStatusSize), kConnect0Reply);
  EXPECT_EQ(line.Exchange(kInit1, kInitReplySize), kInit1Reply);
  ExpectNoReply(bench, line, kInit2);
}

TEST(ChannelWiring, StatusReportsChannelsInTheirNibbles) {
  VirtualBench bench(KnownOptions(Wiring::kChannel, 16));
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  EXPECT_EQ(line.Exchange(kConnect3, kStatusSize), kConnect3Reply);
  EXPECT_EQ(bench.ConnectedChannel(), 3);
  // Channel 15: M7 = A9, reported as S7 = 01.
  line.WriteHex(WithChecksum("68 56 AB CD EF 12 34 56 78 39 0B 12 34 07 AA AA AA AA AA AA AA A9"));
  EXPECT_EQ(ToHex(line.ReadCount(kStatusSize)),
            WithChecksum("68 56 AB CD EF 12 34 56 78 B9 0B 12 34 07 00 00 00 00 00 00 00 01"));
  // No channel asked for: every channel off.
  line.WriteHex(WithChecksum("68 56 AB CD EF 12 34 56 78 39 0B 12 34 08 AA AA AA AA AA AA AA AA"));
  EXPECT_EQ(ToHex(line.ReadCount(kStatusSize)),
            WithChecksum("68 56 AB CD EF 12 34 56 78 B9 0B 12 34 08 00 00 00 00 00 00 00 00"));
  EXPECT_FALSE(bench.ConnectedChannel().has_value());
}

TEST(ChannelWiring, SwitchFramesNeedTheSwitchAddressAndAGoodChecksum) {
  VirtualBench bench(KnownOptions(Wiring::kChannel, 2));
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  // Another address.
  ExpectNoReply(
      bench, line,
      WithChecksum("68 56 AB CD EF 12 34 56 79 39 0B 12 34 05 A9 AA AA AA AA AA AA AA").c_str());
  // Checksum off by one.
  ExpectNoReply(
      bench, line,
      "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 05 A9 AA AA AA AA AA AA AA 18 16");
  EXPECT_FALSE(bench.ConnectedChannel().has_value());
}

TEST(ChannelWiring, SilentSwitchNeitherAnswersNorConnects) {
  BenchOptions options = KnownOptions(Wiring::kChannel, 2);
  options.switch_silent = true;
  VirtualBench bench(options);
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  ExpectNoReply(bench, line, kConnect1);
  EXPECT_FALSE(bench.ConnectedChannel().has_value());
  ExpectNoReply(bench, line, kInit2);
  bench.SetSwitchSilent(false);
  EXPECT_EQ(line.Exchange(kConnect1, kStatusSize), kConnect1Reply);
}

TEST(ChannelWiring, MoreThanSixteenMetersAreRefused) {
  BenchOptions options = KnownOptions(Wiring::kChannel, 17);
  VirtualBench bench(options);
  std::string error;
  EXPECT_FALSE(bench.Start(error));
  EXPECT_NE(error.find("1..16"), std::string::npos) << error;
}

TEST(Benches, TwoRunSideBySide) {
  VirtualBench a(KnownOptions(Wiring::kSingle, 1));
  BenchOptions other = KnownOptions(Wiring::kSingle, 1);
  other.first_address = 2024000002;
  VirtualBench b(other);
  StartKnown(a);
  StartKnown(b);
  ASSERT_NE(a.DevicePaths()[0], b.DevicePaths()[0]);
  PtyClient la(a.DevicePaths()[0]);
  PtyClient lb(b.DevicePaths()[0]);
  EXPECT_EQ(lb.Exchange(kInit2, kInitReplySize), kInit2Reply);
  EXPECT_EQ(la.Exchange(kInit1, kInitReplySize), kInit1Reply);
  EXPECT_EQ(a.ReceivedCount(), 1u);
  EXPECT_EQ(b.ReceivedCount(), 1u);
}

}  // namespace
}  // namespace qv::sim::test
