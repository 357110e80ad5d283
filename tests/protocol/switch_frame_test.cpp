#include "protocol/switch_frame.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

Bytes Hex(std::string_view text) {
  Bytes b;
  EXPECT_TRUE(ParseHex(text, b)) << text;
  return b;
}

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
    EXPECT_EQ(HexText(frame), HexText(Hex(g.frame))) << g.channel;
    EXPECT_EQ(frame.size(), kSwitchFrameLength);
    EXPECT_EQ(seq, static_cast<uint8_t>(g.seq + 1)) << g.channel;
  }
}

TEST(SwitchFrame, SequenceWrapsFromFFTo00) {
  uint8_t seq = 0xFE;
  Bytes a, b, c;
  BuildSwitchFrame(1, seq, a);
  BuildSwitchFrame(1, seq, b);
  BuildSwitchFrame(1, seq, c);
  EXPECT_EQ(a[17], 0xFE);
  EXPECT_EQ(b[17], 0xFF);
  EXPECT_EQ(c[17], 0x00);
  EXPECT_EQ(seq, 0x01);
}

TEST(SwitchFrame, EachChannelHasItsOwnNibble) {
  for (int ch = 0; ch < kSwitchChannels; ++ch) {
    uint8_t seq = 0;
    Bytes f;
    ASSERT_EQ(BuildSwitchFrame(ch, seq, f), 0);
    int nines = 0;
    for (size_t k = 0; k < 8; ++k) {
      const uint8_t m = f[18 + k];
      nines += (m >> 4) == 9;
      nines += (m & 0xF) == 9;
      const int hi = static_cast<int>(2 * k), lo = hi + 1;
      EXPECT_EQ(m >> 4, hi == ch ? 0x9 : 0xA);
      EXPECT_EQ(m & 0xF, lo == ch ? 0x9 : 0xA);
    }
    EXPECT_EQ(nines, 1);
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
