#include "serial/recv_ring.h"

#include <algorithm>
#include <cstring>

namespace qv {

void RecvRing::Append(std::span<const uint8_t> block) {
  std::function<void()> waker;
  {
    std::lock_guard lock(mutex_);
    AppendLocked(block);
    last_append_ = std::chrono::steady_clock::now();
    ++appends_;
    waker = waker_;
  }
  if (waker) waker();
}

void RecvRing::AppendLocked(std::span<const uint8_t> block) {
  const size_t room = static_cast<size_t>(kRecvMaxUnread - RecvCount(head_, tail_, kRecvBufSize));
  const size_t taken = std::min(room, block.size());
  dropped_ += block.size() - taken;
  if (taken == 0) return;
  // At most two copies: up to the end of the array, then from its start.
  const size_t first = std::min(taken, static_cast<size_t>(kRecvBufSize - head_));
  std::memcpy(buf_.data() + head_, block.data(), first);
  std::memcpy(buf_.data(), block.data() + first, taken - first);
  head_ = static_cast<uint16_t>((head_ + taken) & kRecvIndexMask);
}

std::chrono::steady_clock::time_point RecvRing::LastAppend() const {
  std::lock_guard lock(mutex_);
  return last_append_;
}

uint64_t RecvRing::Appends() const {
  std::lock_guard lock(mutex_);
  return appends_;
}

void RecvRing::SetWaker(std::function<void()> waker) {
  std::lock_guard lock(mutex_);
  waker_ = std::move(waker);
}

void RecvRing::Reset() {
  std::lock_guard lock(mutex_);
  head_ = 0;
  tail_ = 0;
}

RecvSnapshot RecvRing::Snapshot() const {
  RecvSnapshot s;
  Snapshot(s);
  return s;
}

void RecvRing::Snapshot(RecvSnapshot& into) const {
  std::lock_guard lock(mutex_);
  into.RecvBuf = buf_;
  into.RecvHead = head_;
  into.RecvTail = tail_;
}

bool RecvRing::SetRecvTail(uint16_t tail) {
  std::lock_guard lock(mutex_);
  if (tail > kRecvIndexMask) return false;
  // The new tail must lie within the unread span [tail_, head_].
  if (RecvCount(tail, tail_, kRecvBufSize) > RecvCount(head_, tail_, kRecvBufSize)) return false;
  tail_ = tail;
  return true;
}

uint16_t RecvRing::RecvHead() const {
  std::lock_guard lock(mutex_);
  return head_;
}

uint16_t RecvRing::RecvTail() const {
  std::lock_guard lock(mutex_);
  return tail_;
}

int32_t RecvRing::Unread() const {
  std::lock_guard lock(mutex_);
  return RecvCount(head_, tail_, kRecvBufSize);
}

uint64_t RecvRing::DroppedBytes() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace qv
