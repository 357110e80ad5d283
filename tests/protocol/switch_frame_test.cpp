// Frames read from the line: the channel switch's frame and its status reply,
// and replies scanned out of a receive ring.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "protocol/codec.h"
#include "protocol/frame.h"
#include "protocol/reply_scan.h"
#include "protocol/switch_frame.h"
#include "support/hex.h"

namespace qv {
namespace {

using namespace test;

// Golden switch frames, written out by hand: channel, sequence in, frame.
struct SwitchGolden {
  int channel;
  uint8_t seq;
  const char* frame;
};
// clang-format off
const SwitchGolden kSwitchGolden[] = {
  {0, 0x00,  "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 00 9A AA AA AA AA AA AA AA 03 16"},
  {3, 0x7F,  "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 7F AA A9 AA AA AA AA AA AA 91 16"},
  {15, 0xFF, "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 FF AA AA AA AA AA AA AA A9 11 16"},
};
// clang-format on

TEST(SwitchFrame, GoldenFramesConsumeOneSequenceValue) {
  for (const SwitchGolden& g : kSwitchGolden) {
    uint8_t seq = g.seq;
    Bytes frame;
    ASSERT_EQ(BuildSwitchFrame(g.channel, seq, frame), 0);
    EXPECT_EQ(ToHex(frame), g.frame) << g.channel;
    EXPECT_EQ(seq, static_cast<uint8_t>(g.seq + 1)) << g.channel;
  }
}

TEST(SwitchFrame, SequenceWrapsFromFFTo00) {
  uint8_t seq = 0xFE;
  for (uint8_t expected : {0xFE, 0xFF, 0x00}) {
    Bytes f;
    BuildSwitchFrame(1, seq, f);
    EXPECT_EQ(f.at(17), expected);
  }
  EXPECT_EQ(seq, 0x01);
}

// Channel 2k is the high nibble of M_k, channel 2k + 1 its low nibble: 9
// for the channel asked for, A for every other.
TEST(SwitchFrame, EachChannelHasItsOwnNibble) {
  for (int ch = 0; ch < kSwitchChannels; ++ch) {
    uint8_t seq = 0;
    Bytes f;
    ASSERT_EQ(BuildSwitchFrame(ch, seq, f), 0);
    std::string expected = "AA AA AA AA AA AA AA AA";
    expected[ch / 2 * 3 + ch % 2] = '9';
    EXPECT_EQ(ToHex(std::span(f).subspan(18, 8)), expected) << ch;
  }
}

TEST(SwitchFrame, ChannelOutsideTheSwitchBuildsNothing) {
  for (int ch : {-1, 16, 19}) {
    uint8_t seq = 7;
    Bytes f = {0x01};
    EXPECT_EQ(BuildSwitchFrame(ch, seq, f), -1);
    EXPECT_EQ(seq, 7);
    EXPECT_EQ(f, Bytes{0x01});
  }
}

// Status reply with channels 0, 3, 14 and 15 connected (S0 = 10, S1 = 01,
// S7 = 11); other nibble values (S2 = 2F, S3 = 9A) mean not connected.
constexpr const char* kStatus =
    "68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33 16";

std::array<int32_t, 20> Flags(int32_t fill) {
  std::array<int32_t, 20> f;
  f.fill(fill);
  return f;
}

TEST(SwitchStatus, GoodReplyWritesAllSixteenFlags) {
  std::array<int32_t, 20> state = Flags(7);
  ASSERT_EQ(ApplySwitchStatus(Hex(kStatus), state), SwitchReplyStatus::kApplied);
  const std::array<int32_t, 20> expected = {1, 0, 0, 1, 0, 0, 0, 0, 0, 0,
                                            0, 0, 0, 0, 1, 1, 7, 7, 7, 7};
  EXPECT_EQ(state, expected);  // flags 16..19 are no switch channels
}

TEST(SwitchStatus, BadRepliesLeaveTheFlagsAlone) {
  struct Bad {
    const char* hex;
    SwitchReplyStatus why;
  };
  using enum SwitchReplyStatus;
  const Bad bad[] = {
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 34 16", kChecksumError},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33 00", kIncomplete},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33", kWrongLength},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33 16 16", kWrongLength},
      // Our own frame echoed (C = 39), and another frame type.
      {"68 56 AB CD EF 12 34 56 78 39 0B 12 34 05 10 01 2F 9A 00 00 00 11 B3 16", kNotStatus},
      {"68 55 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 32 16", kNotStatus},
      {"", kWrongLength},
  };
  for (const Bad& b : bad) {
    std::array<int32_t, 20> state = Flags(0);
    EXPECT_EQ(ApplySwitchStatus(Hex(b.hex), state), b.why) << b.hex;
    EXPECT_EQ(state, Flags(0)) << b.hex;
  }
}

TEST(SwitchStatus, RecognisedBy68And56) {
  EXPECT_TRUE(IsSwitchReply(Hex(kStatus)));
  EXPECT_FALSE(IsSwitchReply(Hex("68 55 AB")));
  EXPECT_FALSE(IsSwitchReply(Hex("FE 68 56")));
  EXPECT_FALSE(IsSwitchReply(Hex("68")));
}

// A bench read reply kind (C A1, DI 90 1F) and a 20-byte reply carrying it.
bool IsBenchRead(const ReplyHeader& h) {
  return h[1] == 0x55 && h[9] == 0xA1 && h[11] == 0x90 && h[12] == 0x1F;
}
constexpr const char* kReply = "68 55 01 00 00 00 00 00 00 A1 07 90 1F 01 11 22 33 44 C0 16";

struct Ring {
  RecvSnapshot snap;
  uint8_t* buf = snap.RecvBuf.data();
  uint16_t& head = snap.RecvHead;
  uint16_t& tail = snap.RecvTail;
  std::vector<Bytes> taken;

  void Append(const char* hex) {
    for (uint8_t x : Hex(hex)) {
      buf[head] = x;
      head = (head + 1) & kRecvIndexMask;
    }
  }
  void Tick() {
    tail = ScanRing(snap, IsBenchRead,
                    [&](std::span<const uint8_t> f) { taken.emplace_back(f.begin(), f.end()); });
  }
};

TEST(ReplyScan, PreambleAndNoiseBeforeAReplyAreConsumed) {
  Ring r;
  r.Append("FE FE FE 00 68 12 68");
  r.Append(kReply);
  r.Tick();
  ASSERT_EQ(r.taken.size(), 1u);
  EXPECT_EQ(HexText(r.taken[0]), " " + std::string(kReply));
  EXPECT_EQ(r.tail, r.head);
}

TEST(ReplyScan, SplitReplyIsTakenOnTheTickThatCompletesIt) {
  Ring r;
  r.Append("FE FE 68 55 01 00 00 00 00 00 00 A1 07 90 1F 01 11");
  r.Tick();
  EXPECT_TRUE(r.taken.empty());
  EXPECT_EQ(r.tail, 2);  // the preamble is gone, the reply's start stays
  r.Append("22 33 44 C0 16");
  r.Tick();
  ASSERT_EQ(r.taken.size(), 1u);
  EXPECT_EQ(r.tail, r.head);
}

TEST(ReplyScan, FewerThanSixteenBytesAreNotExamined) {
  Ring r;
  r.Append("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E");
  r.Tick();
  EXPECT_EQ(r.tail, 0);
}

TEST(ReplyScan, ReplyWrappingTheEndOfTheRing) {
  Ring r;
  r.head = r.tail = kRecvBufSize - 7;
  r.Append(kReply);
  r.Append(kReply);
  ASSERT_LT(r.head, r.tail);
  r.Tick();
  ASSERT_EQ(r.taken.size(), 2u);
  EXPECT_EQ(HexText(r.taken[0]), " " + std::string(kReply));
  EXPECT_EQ(r.taken[0], r.taken[1]);
  EXPECT_EQ(r.tail, r.head);
}

TEST(ReplyScan, UnrecognisedFramesArePassedOverAndTheScanGoesOn) {
  Ring r;
  // An A4 reply this window does not take, then the bench read reply.
  r.Append("68 55 01 00 00 00 00 00 00 A4 04 01 10 01 00 AA 16");
  r.Append(kReply);
  r.Tick();
  ASSERT_EQ(r.taken.size(), 1u);
  EXPECT_EQ(r.taken[0][9], 0xA1);
}

// Golden rings, one tick per entry: the bytes it adds and what the scan
// hands over, by address byte A0, "!" marking a damaged candidate (reported,
// then passed over). A damaged L keeps its meter's original sum, as a byte
// hit on the line does.
#define R(a, cs) "68 55 " a " 00 00 00 00 00 00 A1 07 90 1F 01 11 22 33 44 " cs " 16 "
#define DAMAGED(l) "68 55 01 00 00 00 00 00 00 A1 " l " 90 1F 01 11 22 33 44 C0 16 "
const std::vector<std::pair<std::string, std::string>> kScanGolden[] = {
    {{DAMAGED("37") R("02", "C1") R("03", "C2") R("04", "C3") R("05", "C4") R("06", "C5")
          R("07", "C6") R("08", "C7") R("09", "C8") R("0A", "C9") R("0B", "CA") R("0C", "CB"),
      "01! 02 03 04 05 06 07 08 09 0A 0B 0C"}},
    // Its claimed end not yet there: a correct reply after it shows it ended.
    {{DAMAGED("37") R("02", "C1"), "01! 02"}, {R("03", "C2"), "03"}},
    {{DAMAGED("FF"), ""}, {R("02", "C1") R("03", "C2"), "01! 02 03"}},  // alone, it waits
    {{DAMAGED("03") R("02", "C1"), "01! 02"}},
    {{R("01", "C1") R("02", "C1"), "01! 02"}},  // a bad sum
};
#undef R
#undef DAMAGED

TEST(ReplyScan, EveryCorrectReplyAfterADamagedOneIsFound) {
  for (const auto& ticks : kScanGolden) {
    Ring r;
    for (const auto& [appended, expected] : ticks) {
      r.taken.clear();
      r.Append(appended.c_str());
      r.Tick();
      std::string got;
      for (const Bytes& f : r.taken)
        got += (got.empty() ? "" : " ") + ToHex(std::span(f).subspan(2, 1)) +
               (CheckFrame(f) == FrameCheck::kCorrect ? "" : "!");
      EXPECT_EQ(got, expected) << ticks.front().first;
    }
    EXPECT_EQ(r.tail, r.head) << ticks.front().first;  // nothing left behind
  }
}

}  // namespace
}  // namespace qv
