#include "protocol/reply_scan.h"

#include <gtest/gtest.h>

#include <vector>

#include "protocol/codec.h"

namespace qv {
namespace {

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
    Bytes b;
    ASSERT_TRUE(ParseHex(hex, b));
    for (uint8_t x : b) {
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

}  // namespace
}  // namespace qv
