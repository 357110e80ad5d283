// Frame building, the received-frame check and the incremental scan, with a
// corpus of bad frames.
#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/hex.h"

namespace qv {
namespace {

using test::Hex;

// A write-coefficient reply from meter 12345678901234 (L = 03, 16 bytes).
constexpr const char* kGoodReply = "68 55 34 12 90 78 56 34 12 A4 03 01 0A 01 5A 16";
// A bench read reply with five data bytes (L = 08, 21 bytes).
constexpr const char* kLongReply = "68 55 34 12 90 78 56 34 12 A1 08 90 1F 01 11 22 33 44 55 FF 16";

// The layout of a whole frame is pinned by the command goldens.
TEST(BuildFrame, ChecksumWrapsAndSkipsThePreamble) {
  FrameHeader h;
  h.type = 0xFF;
  h.address = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  h.control = 0xFF;
  h.length = 0x04;
  h.di = {0xFF, 0xFF};
  h.ser = 0xFF;
  const Bytes frame = BuildFrame(4, h, Hex("FF"));
  // 68 + 13 x FF + 04 = 0xD5F -> 5F.
  EXPECT_EQ(frame.size(), 4u + 16 + 1);
  EXPECT_EQ(frame[frame.size() - 2], 0x5F);
  EXPECT_EQ(frame.back(), kFrameEnd);
  EXPECT_EQ(CheckFrame(std::span<const uint8_t>(frame).subspan(4)), FrameCheck::kCorrect);
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

}  // namespace
}  // namespace qv
