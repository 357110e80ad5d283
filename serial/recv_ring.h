// The receive ring of one port slot: 8192 bytes filled by the port's reader
// thread and consumed by the user-interface thread. `RecvHead` is the next
// free byte, `RecvTail` the oldest unread one; head == tail means empty, so
// at most 8191 unread bytes fit. Every operation takes the ring's lock once,
// so an append (a whole received block), a reset and a consumer's snapshot
// never interleave.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>

namespace qv {

inline constexpr int kRecvBufSize = 8192;
inline constexpr uint16_t kRecvIndexMask = kRecvBufSize - 1;  // 0x1FFF
inline constexpr int kRecvMaxUnread = kRecvBufSize - 1;

// Unread bytes between `tail` and `head` in a ring of `size` bytes.
constexpr int32_t RecvCount(int32_t head, int32_t tail, int32_t size) {
  return tail <= head ? head - tail : size + head - tail;
}

// What a consumer works on: the whole ring as it was, with both indexes.
struct RecvSnapshot {
  std::array<uint8_t, kRecvBufSize> RecvBuf{};
  uint16_t RecvHead = 0;
  uint16_t RecvTail = 0;

  int32_t Unread() const { return RecvCount(RecvHead, RecvTail, kRecvBufSize); }
};

class RecvRing {
 public:
  RecvRing() = default;
  RecvRing(const RecvRing&) = delete;
  RecvRing& operator=(const RecvRing&) = delete;

  // Reader thread: appends a received block. Bytes that do not fit in a
  // full ring are dropped and counted; unread bytes are never overwritten.
  void Append(std::span<const uint8_t> block);
  // Empties the ring: both indexes to 0; unread bytes are discarded.
  void Reset();
  // Copies the ring and both indexes in one step.
  RecvSnapshot Snapshot() const;
  void Snapshot(RecvSnapshot& into) const;
  // Consumer: marks everything before `tail` as read. Only a position from
  // the current tail up to the current head is taken (a position from a
  // snapshot older than a reset is refused); returns whether it was taken.
  bool SetRecvTail(uint16_t tail);

  uint16_t RecvHead() const;
  uint16_t RecvTail() const;
  int32_t Unread() const;
  // Bytes dropped because the ring was full, since construction.
  uint64_t DroppedBytes() const;
  // When bytes last arrived (the epoch of the steady clock before any).
  std::chrono::steady_clock::time_point LastAppend() const;
  // Appends since construction: a consumer that remembers it knows
  // whether anything has come since it last looked.
  uint64_t Appends() const;
  // Runs on the reader thread after every append, outside the ring's lock:
  // how the user-interface thread learns that bytes have come.
  void SetWaker(std::function<void()> waker);

 private:
  void AppendLocked(std::span<const uint8_t> block);

  mutable std::mutex mutex_;
  std::array<uint8_t, kRecvBufSize> buf_{};
  uint16_t head_ = 0;
  uint16_t tail_ = 0;
  uint64_t dropped_ = 0;
  std::chrono::steady_clock::time_point last_append_{};
  uint64_t appends_ = 0;
  std::function<void()> waker_;
};

}  // namespace qv
