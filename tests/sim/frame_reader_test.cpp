// Requests arriving in pieces, after noise, and a corpus of bad frames that
// a meter must ignore.
#include <gtest/gtest.h>

#include <thread>

#include "sim/lib/sim_frame.h"
#include "sim_fixture.h"

namespace qv::sim::test {
namespace {

constexpr const char* kInit1 = "68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D 16";
constexpr const char* kInit1Reply = "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16";

TEST(FrameReader, WaitsForTheWholeFrameFedInPieces) {
  FrameReader reader;
  const Bytes frame = Hex(std::string("FE FE FE ") + kInit1);
  for (size_t i = 0; i + 1 < frame.size(); ++i) {
    reader.Feed(Bytes{frame[i]});
    EXPECT_EQ(reader.Next().status, FrameReader::Status::kNeedMore) << i;
  }
  reader.Feed(Bytes{frame.back()});
  const auto r = reader.Next();
  ASSERT_EQ(r.status, FrameReader::Status::kFrame);
  EXPECT_EQ(ToHex(r.frame.raw), kInit1);
  EXPECT_EQ(r.frame.control, 0x24);
  EXPECT_EQ(r.frame.di, (DataId{0x01, 0x01}));
  EXPECT_EQ(ToHex(r.frame.payload), "00");
  EXPECT_EQ(reader.Next().status, FrameReader::Status::kNeedMore);
  EXPECT_FALSE(reader.HasPartial());
}

TEST(FrameReader, ResyncsAfterNoiseAndAStrayStartByte) {
  FrameReader reader;
  // A stray 68 whose "frame" ends wrongly, then the real request.
  reader.Feed(Hex(std::string("00 FF 68 01 02 03 04 05 06 07 08 09 03 0B 0C 0D 0E 0F ") + kInit1));
  auto r = reader.Next();
  ASSERT_EQ(r.status, FrameReader::Status::kDropped);
  r = reader.Next();
  ASSERT_EQ(r.status, FrameReader::Status::kFrame);
  EXPECT_EQ(ToHex(r.frame.raw), kInit1);
}

TEST(FrameReader, TwoFramesInOneBurst) {
  FrameReader reader;
  reader.Feed(Hex(std::string(kInit1) + " FE FE " + kInit1));
  EXPECT_EQ(reader.Next().status, FrameReader::Status::kFrame);
  EXPECT_EQ(reader.Next().status, FrameReader::Status::kFrame);
  EXPECT_EQ(reader.Next().status, FrameReader::Status::kNeedMore);
}

TEST(FrameReader, StartTestWithItsShortLengthIsTaken) {
  FrameReader reader;
  // L = 04, five bytes follow: 01 02 01 F2 00; the checksum covers them all.
  reader.Feed(Hex("68 55 01 00 00 24 20 00 00 24 04 01 02 01 F2 00 20 16"));
  const auto r = reader.Next();
  ASSERT_EQ(r.status, FrameReader::Status::kFrame);
  EXPECT_EQ(ToHex(r.frame.payload), "F2 00");
}

TEST(SimAddress, EncodesDigitsLowByteFirst) {
  const SimAddress a = *SimAddress::FromText("12345678901234");
  EXPECT_EQ(ToHex(Bytes(a.bytes.begin(), a.bytes.end())), "34 12 90 78 56 34 12");
  EXPECT_EQ(SimAddress::FromText("2024000001")->Text(), "00002024000001");
  EXPECT_FALSE(SimAddress::FromText("").has_value());
  EXPECT_FALSE(SimAddress::FromText("123456789012345").has_value());
  EXPECT_FALSE(SimAddress::FromText("12G4").has_value());
  EXPECT_TRUE(SimAddress::Broadcast().IsBroadcast());
}

// Frames a meter must not answer, with what is wrong with them.
struct BadFrame {
  const char* why;
  const char* bytes;
};
const BadFrame kBadFrames[] = {
    {"checksum off by one", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2E 16"},
    {"end byte 17", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D 17"},
    {"end byte missing, line then silent",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D"},
    {"L one too long", "FE FE FE 68 55 01 00 00 24 20 00 00 24 05 01 01 01 00 2E 16"},
    {"StartTest with a wrong checksum",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 02 01 F2 00 21 16"},
    {"unknown DI", "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 7F 01 00 AB 16"},
    {"unknown control code", "FE FE FE 68 55 01 00 00 24 20 00 00 22 04 90 1F 01 00 D8 16"},
    {"payload too short for WriteCoefficient",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 05 01 0A 01 45 7C 16"},
    {"unknown WriteAccumulator sub-code",
     "FE FE FE 68 55 01 00 00 24 20 00 00 24 0C 01 11 01 0B 45 23 01 00 00 00 05 00 BE 16"},
    {"metering data with the bench type",
     "FE FE FE 68 55 01 00 00 24 20 00 00 01 03 90 1F 01 B6 16"},
};

class BadFrameCorpus : public ::testing::TestWithParam<BadFrame> {};

TEST_P(BadFrameCorpus, IsIgnoredAndTheNextGoodRequestIsAnswered) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 1));
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  line.WriteHex(GetParam().bytes);
  EXPECT_TRUE(line.ReadUntilSilent(milliseconds(300)).empty()) << GetParam().why;
  // The meter is not confused by what came before.
  EXPECT_EQ(line.Exchange(kInit1, 17), kInit1Reply) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadFrameCorpus, ::testing::ValuesIn(kBadFrames));

TEST(LineInput, RequestWrittenInPiecesIsAnswered) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 1));
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  line.WriteHex("FE FE FE 68 55 01 00");
  std::this_thread::sleep_for(milliseconds(20));
  line.WriteHex("00 24 20 00 00 24 04 01");
  std::this_thread::sleep_for(milliseconds(20));
  line.WriteHex("01 01 00 2D 16");
  EXPECT_EQ(ToHex(line.ReadCount(17)), kInit1Reply);
}

TEST(LineInput, BadFramesAreRecordedAsIgnored) {
  VirtualBench bench(KnownOptions(Wiring::kSingle, 1));
  StartKnown(bench);
  PtyClient line(bench.DevicePaths()[0]);
  line.WriteHex(kBadFrames[0].bytes);
  ASSERT_TRUE(bench.WaitReceived(1, milliseconds(2000)));
  const auto r = bench.Received();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_FALSE(r[0].valid);
  EXPECT_TRUE(r[0].answers.empty());
}

}  // namespace
}  // namespace qv::sim::test
