// The receive ring: counting, capacity, overflow, reset, the consumer's
// tail, and one appending thread against a consuming one.
#include "serial/recv_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "serial/port_slots.h"
#include "support/pty_peer.h"

namespace qv {
namespace {

using namespace test;

struct CountCase {
  int32_t head, tail, count;
};

TEST(RecvRing, CountsUnreadBytesAcrossTheWrap) {
  constexpr CountCase kCases[] = {
      {0, 0, 0},       {5, 5, 0},    {100, 40, 60}, {10, 8000, 202},
      {8191, 0, 8191}, {0, 1, 8191}, {0, 8191, 1},  {8191, 8191, 0},
  };
  for (const CountCase& c : kCases) {
    EXPECT_EQ(RecvCount(c.head, c.tail, kRecvBufSize), c.count)
        << "head " << c.head << " tail " << c.tail;
  }
}

TEST(RecvRing, Holds8191UnreadBytesAtMost) {
  RecvRing ring;
  const Bytes data = Sequence(8191, 3);
  ring.Append(data);
  EXPECT_EQ(ring.Unread(), 8191);
  EXPECT_EQ(ring.RecvHead(), 8191);
  EXPECT_EQ(ring.DroppedBytes(), 0u);
  ring.Append(Bytes{0xEE});
  EXPECT_EQ(ring.Unread(), 8191);
  EXPECT_EQ(ring.DroppedBytes(), 1u);
  EXPECT_EQ(UnreadOf(ring), data);
}

TEST(RecvRing, OverflowKeepsTheUnreadBytesAndDropsTheRest) {
  RecvRing ring;
  const Bytes first = Sequence(8000, 1);
  ring.Append(first);
  ASSERT_TRUE(ring.SetRecvTail(100));
  const Bytes second = Sequence(500, 0x40);
  ring.Append(second);  // 291 of them fit: 7900 + 291 = 8191
  EXPECT_EQ(ring.Unread(), 8191);
  EXPECT_EQ(ring.DroppedBytes(), 209u);
  Bytes expected(first.begin() + 100, first.end());
  expected.insert(expected.end(), second.begin(), second.begin() + 291);
  EXPECT_EQ(UnreadOf(ring), expected);
  EXPECT_EQ(ring.RecvHead(), (8000 + 291) & kRecvIndexMask) << "wrapped past the end";
}

TEST(RecvRing, BlocksWrapAroundTheEndInOrder) {
  RecvRing ring;
  ring.Append(Sequence(8100));
  ASSERT_TRUE(ring.SetRecvTail(8100));
  const Bytes block = Sequence(300, 0x90);
  ring.Append(block);
  EXPECT_EQ(ring.RecvTail(), 8100);
  EXPECT_EQ(ring.RecvHead(), 300 - 92);
  EXPECT_EQ(UnreadOf(ring), block);
}

TEST(RecvRing, TailMovesOnlyWithinTheUnreadBytes) {
  RecvRing ring;
  ring.Append(Sequence(50));
  EXPECT_FALSE(ring.SetRecvTail(51)) << "past the head";
  EXPECT_FALSE(ring.SetRecvTail(8192)) << "outside the ring";
  EXPECT_TRUE(ring.SetRecvTail(20));
  EXPECT_FALSE(ring.SetRecvTail(10)) << "backwards";
  EXPECT_TRUE(ring.SetRecvTail(50));
  EXPECT_EQ(ring.Unread(), 0);

  // A position taken from a snapshot before a reset no longer applies.
  ring.Append(Sequence(30));
  RecvSnapshot before = ring.Snapshot();
  ring.Reset();
  ring.Append(Sequence(5));
  EXPECT_FALSE(ring.SetRecvTail(before.RecvHead));
  EXPECT_EQ(ring.Unread(), 5);
}

TEST(RecvRing, ResetRecvBuffersEmptiesEveryRing) {
  PortSlots slots;
  for (int n : {1, 7, 32}) {
    slots[n].Append(Sequence(static_cast<size_t>(100 * n)));
    slots[n].SetRecvTail(3);
  }
  slots.ResetRecvBuffers();
  for (int n = 1; n <= kPortSlotCount; ++n) {
    EXPECT_EQ(slots[n].RecvHead(), 0) << n;
    EXPECT_EQ(slots[n].RecvTail(), 0) << n;
    EXPECT_EQ(slots[n].Unread(), 0) << n;
  }
  EXPECT_THROW(slots[0], std::out_of_range);
  EXPECT_THROW(slots[33], std::out_of_range);
}

// A reader thread appends a counting sequence in blocks while the consumer
// takes snapshots and consumes: the consumer sees every byte once, in order.
TEST(RecvRing, AppendAndConsumeOnTwoThreads) {
  RecvRing ring;
  constexpr size_t kTotal = 200000;
  std::thread reader([&] {
    size_t sent = 0;
    while (sent < kTotal) {
      // Leaves the consumer room so that nothing is dropped; 50 us lets it
      // catch up without spinning.
      if (ring.Unread() > 6000) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        continue;
      }
      const size_t n = std::min<size_t>(97, kTotal - sent);
      ring.Append(Sequence(n, static_cast<uint8_t>(sent)));
      sent += n;
    }
  });
  size_t seen = 0;
  bool in_order = true;
  RecvSnapshot s;
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  while (seen < kTotal && std::chrono::steady_clock::now() < end) {
    ring.Snapshot(s);
    uint16_t i = s.RecvTail;
    for (; i != s.RecvHead; i = (i + 1) & kRecvIndexMask, ++seen) {
      in_order = in_order && s.RecvBuf[i] == static_cast<uint8_t>(seen);
    }
    ASSERT_TRUE(ring.SetRecvTail(i));
  }
  reader.join();
  EXPECT_EQ(seen, kTotal);
  EXPECT_TRUE(in_order);
  EXPECT_EQ(ring.DroppedBytes(), 0u);
}

}  // namespace
}  // namespace qv
