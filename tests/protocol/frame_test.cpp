// Frames on the line: meter frames built, checked and scanned incrementally
// (with a corpus of bad frames), the channel switch's frame and its status
// reply, and replies scanned out of a receive ring.
#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "protocol/codec.h"
#include "protocol/reply_scan.h"
#include "protocol/switch_frame.h"
#include "support/hex.h"

namespace qv {
namespace {

using namespace test;

// A write-coefficient reply from meter 12345678901234 (L = 03, 16 bytes).
constexpr const char* kGoodReply = "68 55 34 12 90 78 56 34 12 A4 03 01 0A 01 5A 16";
// A bench read reply with five data bytes (L = 08, 21 bytes).
constexpr const char* kLongReply = "68 55 34 12 90 78 56 34 12 A1 08 90 1F 01 11 22 33 44 55 FF 16";

// The layout of a whole frame is pinned by the command goldens.
TEST(BuildFrame, ChecksumWrapsAndSkipsThePreamble) {
  const FrameHeader h{.type = 0xFF,
                      .address = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                      .control = 0xFF,
                      .length = 0x04,
                      .di = {0xFF, 0xFF},
                      .ser = 0xFF};
  // 68 + 13 x FF + 04 = 0xD5F: the sum is 5F.
  EXPECT_EQ(ToHex(BuildFrame(4, h, Hex("FF"))),
            "FE FE FE FE 68 FF FF FF FF FF FF FF FF FF 04 FF FF FF FF 5F 16");
}

TEST(CheckFrame, GoodFramesAreCorrect) {
  EXPECT_EQ(CheckFrame(Hex(kGoodReply)), FrameCheck::kCorrect);
  EXPECT_EQ(CheckFrame(Hex(kLongReply)), FrameCheck::kCorrect);
  // Bytes after the frame belong to the next one.
  EXPECT_EQ(CheckFrame(Hex(std::string(kGoodReply) + " 68 55")), FrameCheck::kCorrect);
}

// The corpus of bad frames: each with what the check says and what the scan
// makes of it when it is all that has arrived.
struct BadFrame {
  const char* name;
  const char* hex;
  FrameCheck check;  // CheckFrame on the bytes as they are
  ScanStatus scan;   // ScanFrame on the same bytes
  size_t scanOffset;
};

// clang-format off
const BadFrame kBadFrames[] = {
  {"WrongChecksum",      "68 55 34 12 90 78 56 34 12 A4 03 01 0A 01 61 16",    FrameCheck::kChecksumError, ScanStatus::kError, 0},
  {"MissingEndByte",     "68 55 34 12 90 78 56 34 12 A4 03 01 0A 01 5A 00",    FrameCheck::kIncomplete,    ScanStatus::kError, 0},
  {"EndByteNotThere",    "68 55 34 12 90 78 56 34 12 A1 08 90 1F 01 11 22 33", FrameCheck::kIncomplete,    ScanStatus::kNeedMore, 0},
  {"TruncatedHeader",    "68 55 34 12 90 78 56 34 12 A4",                      FrameCheck::kTooShort,      ScanStatus::kNeedMore, 0},
  {"TooShortForAFrame",  "68 55 34 12 90 78 56 34 12 A4 01 01 0A 16 16",       FrameCheck::kTooShort,      ScanStatus::kError, 0},
  {"LengthBelowMinimum", "68 55 34 12 90 78 56 34 12 A4 02 01 0A 01 59 16 00", FrameCheck::kTooShort  ,    ScanStatus::kError, 0},
  {"NoiseOnly",          "00 13 FF FE 16 16 16 16 16 16 16 16 16 16 16 16",    FrameCheck::kNoStart,       ScanStatus::kNeedMore, 16},
  {"PreambleOnly",       "FE FE FE FE",                                        FrameCheck::kTooShort,      ScanStatus::kNeedMore, 4},
  {"Empty",              "",                                                   FrameCheck::kTooShort,      ScanStatus::kNeedMore, 0},
};
// clang-format on

class BadFrameCorpus : public testing::TestWithParam<BadFrame> {};

TEST_P(BadFrameCorpus, IsNeverTakenAsCorrect) {
  const BadFrame& bad = GetParam();
  const Bytes bytes = Hex(bad.hex);
  EXPECT_EQ(CheckFrame(bytes), bad.check);
  const ScanResult r = ScanFrame(bytes);
  EXPECT_EQ(r.status, bad.scan);
  EXPECT_EQ(r.offset, bad.scanOffset);
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadFrameCorpus, testing::ValuesIn(kBadFrames),
                         [](const testing::TestParamInfo<BadFrame>& info) {
                           return std::string(info.param.name);
                         });

TEST(ScanFrame, ReportsWhyACandidateFailed) {
  const ScanResult bad = ScanFrame(Hex("FE FE 68 55 34 12 90 78 56 34 12 A4 03 01 0A 01 61 16"));
  EXPECT_EQ(bad.status, ScanStatus::kError);
  EXPECT_EQ(bad.offset, 2u);
  EXPECT_EQ(bad.length, 16u);
  EXPECT_EQ(bad.check, FrameCheck::kChecksumError);
}

TEST(ScanFrame, SkipsPreambleAndNoise) {
  for (const char* before : {"FE FE FE", "FE FE FE FE", "00 13 FF 16", "16 16 FE"}) {
    const ScanResult r = ScanFrame(Hex(std::string(before) + " " + kGoodReply));
    EXPECT_EQ(r.status, ScanStatus::kComplete) << before;
    EXPECT_EQ(r.offset, Hex(before).size()) << before;
    EXPECT_EQ(r.length, 16u) << before;
  }
}

TEST(ScanFrame, NeedsMoreUntilTheLastByteArrives) {
  const Bytes all = Hex(std::string("FE FE FE ") + kLongReply);
  for (size_t n = 0; n < all.size(); ++n) {
    const ScanResult r = ScanFrame(std::span<const uint8_t>(all).first(n));
    ASSERT_EQ(r.status, ScanStatus::kNeedMore) << n;
    // Preamble bytes may be dropped; the 68 is kept once it has arrived.
    EXPECT_EQ(r.offset, std::min<size_t>(n, 3)) << n;
  }
  const ScanResult r = ScanFrame(all);
  EXPECT_EQ(r.status, ScanStatus::kComplete);
  EXPECT_EQ(r.offset, 3u);
  EXPECT_EQ(r.length, 21u);
}

TEST(ScanFrame, AStray68DoesNotHoldBackAReplyBehindIt) {
  // 68 FF in noise would claim 268 bytes; the whole reply after it is taken.
  const ScanResult r = ScanFrame(Hex(std::string("68 FF 00 ") + kGoodReply));
  EXPECT_EQ(r.status, ScanStatus::kComplete);
  EXPECT_EQ(r.offset, 3u);
  // Without a correct frame behind it, the stray 68 waits for its bytes.
  const ScanResult alone = ScanFrame(Hex("68 FF 00 68 55 34"));
  EXPECT_EQ(alone.status, ScanStatus::kNeedMore);
  EXPECT_EQ(alone.offset, 0u);
}

// A receiver's loop: take complete frames, drop the bad 68 and rescan on an
// error, keep what needs more bytes.
std::vector<Bytes> Drain(Bytes& pending) {
  std::vector<Bytes> frames;
  for (;;) {
    const ScanResult r = ScanFrame(pending);
    const auto at = pending.begin() + static_cast<std::ptrdiff_t>(r.offset);
    if (r.status == ScanStatus::kNeedMore) {
      pending.erase(pending.begin(), at);
      return frames;
    }
    if (r.status == ScanStatus::kComplete) {
      frames.emplace_back(at, at + static_cast<std::ptrdiff_t>(r.length));
      pending.erase(pending.begin(), at + static_cast<std::ptrdiff_t>(r.length));
    } else {
      pending.erase(pending.begin(), at + 1);
    }
  }
}

TEST(ScanFrame, ResynchronisesAfterBadFramesAcrossArrivals) {
  const std::string stream = std::string("FE FE 68 55 34 12 90 78 56 34 12 A4 03 01 0A 01 61 16 ") +
                             "00 FE FE FE " + kGoodReply + " FE FE " + kLongReply;
  const Bytes all = Hex(stream);
  // Arriving in uneven pieces gives the same frames as arriving at once.
  for (size_t piece : {1u, 5u, 17u, 1000u}) {
    Bytes pending;
    std::vector<Bytes> frames;
    for (size_t i = 0; i < all.size(); i += piece) {
      const size_t n = std::min(piece, all.size() - i);
      pending.insert(pending.end(), all.begin() + static_cast<std::ptrdiff_t>(i),
                     all.begin() + static_cast<std::ptrdiff_t>(i + n));
      for (Bytes& f : Drain(pending))
        frames.push_back(std::move(f));
    }
    ASSERT_EQ(frames.size(), 2u) << piece;
    EXPECT_EQ(frames[0], Hex(kGoodReply)) << piece;
    EXPECT_EQ(frames[1], Hex(kLongReply)) << piece;
    EXPECT_TRUE(pending.empty()) << piece;
  }
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
    EXPECT_EQ(ToHex(frame), g.frame) << g.channel;
    EXPECT_EQ(seq, static_cast<uint8_t>(g.seq + 1)) << g.channel;
  }
}

// Channel 2k is the high nibble of M_k, channel 2k + 1 its low nibble: 9
// for the channel asked for, A for every other. A channel outside the
// switch builds nothing and takes no sequence value.
TEST(SwitchFrame, EachChannelHasItsOwnNibble) {
  for (int ch = -1; ch <= 19; ++ch) {
    uint8_t seq = 7;
    Bytes f = {0x01};
    if (ch < 0 || ch > 15) {
      EXPECT_EQ(BuildSwitchFrame(ch, seq, f), -1) << ch;
      EXPECT_EQ(std::pair(seq, f), std::pair(uint8_t{7}, Bytes{0x01})) << ch;
      continue;
    }
    ASSERT_EQ(BuildSwitchFrame(ch, seq, f), 0);
    std::string expected = "AA AA AA AA AA AA AA AA";
    expected[ch / 2 * 3 + ch % 2] = '9';
    EXPECT_EQ(ToHex(std::span(f).subspan(18, 8)), expected) << ch;
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
  // Recognised by 68 and 56.
  EXPECT_TRUE(IsSwitchReply(Hex(kStatus)));
  EXPECT_FALSE(IsSwitchReply(Hex("68 55 AB")));
  EXPECT_FALSE(IsSwitchReply(Hex("FE 68 56")));
  EXPECT_FALSE(IsSwitchReply(Hex("68")));
}

TEST(SwitchStatus, BadRepliesLeaveTheFlagsAlone) {
  using enum SwitchReplyStatus;
  const std::pair<const char*, SwitchReplyStatus> bad[] = {
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 34 16", kChecksumError},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33 00", kIncomplete},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33", kWrongLength},
      {"68 56 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 33 16 16", kWrongLength},
      // Our own frame echoed (C = 39), and another frame type.
      {"68 56 AB CD EF 12 34 56 78 39 0B 12 34 05 10 01 2F 9A 00 00 00 11 B3 16", kNotStatus},
      {"68 55 AB CD EF 12 34 56 78 B9 0B 12 34 05 10 01 2F 9A 00 00 00 11 32 16", kNotStatus},
      {"", kWrongLength},
  };
  for (const auto& [hex, why] : bad) {
    std::array<int32_t, 20> state = Flags(0);
    EXPECT_EQ(ApplySwitchStatus(Hex(hex), state), why) << hex;
    EXPECT_EQ(state, Flags(0)) << hex;
  }
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

// Preamble and noise are consumed; an A4 reply this window does not take
// is passed over and the scan goes on.
TEST(ReplyScan, NoiseAndUnrecognisedFramesBeforeAReplyAreConsumed) {
  Ring r;
  r.Append("FE FE FE 00 68 12 68");
  r.Append("68 55 01 00 00 00 00 00 00 A4 04 01 10 01 00 AA 16");
  r.Append(kReply);
  r.Tick();
  ASSERT_EQ(r.taken.size(), 1u);
  EXPECT_EQ(HexText(r.taken[0]), " " + std::string(kReply));
  EXPECT_EQ(r.tail, r.head);
}

// Fewer than sixteen bytes are not examined; a split reply is taken on the
// tick that completes it.
TEST(ReplyScan, SplitReplyIsTakenOnTheTickThatCompletesIt) {
  Ring r;
  r.Append("FE FE 68 55 01 00 00 00 00 00 00 A1 07 90 1F");
  r.Tick();
  EXPECT_EQ(r.tail, 0);
  r.Append("01 11");
  r.Tick();
  EXPECT_TRUE(r.taken.empty());
  EXPECT_EQ(r.tail, 2);  // the preamble is gone, the reply's start stays
  r.Append("22 33 44 C0 16");
  r.Tick();
  ASSERT_EQ(r.taken.size(), 1u);
  EXPECT_EQ(r.tail, r.head);
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
