#include "protocol/switch_frame.h"

#include <gtest/gtest.h>

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
  const Bad bad[] = {
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 34 16",
       SwitchReplyStatus::kChecksumError},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33 00",
       SwitchReplyStatus::kIncomplete},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33",
       SwitchReplyStatus::kWrongLength},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33 16 16",
       SwitchReplyStatus::kWrongLength},
      {"68 56 AB CD EF 12 34 56 78 39 0B 12 34 05 10 01 2F 9A 00 00 00 11 B3 16",
       SwitchReplyStatus::kNotStatus},  // our own frame echoed: C = 39
      {"68 55 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 32 16",
       SwitchReplyStatus::kNotStatus},
      {"", SwitchReplyStatus::kWrongLength},
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

}  // namespace
}  // namespace qv
