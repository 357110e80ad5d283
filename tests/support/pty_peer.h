// The test's end of a serial line: either a new pseudo-terminal whose slave
// side the program's port opens while the test plays the meter on the master
// side, or a line someone else made (a bench-sim line) opened the way the
// program opens a serial port. Also: bounded waiting for a condition and a
// ring's unread bytes (the log's lines: support/log_lines.h).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/recv_ring.h"
#include "support/hex.h"
#include "support/log_lines.h"

namespace qv::test {

using namespace std::chrono_literals;

// Generous: the tests also run under the sanitizers on a loaded machine.
inline constexpr std::chrono::seconds kDeadline{10};

// Checks `cond` every 2 ms (short against the 100 ms block gap, so a test
// waits little longer than the port) until it holds or `limit` passes;
// returns its last value.
template <class Cond>
bool WaitFor(Cond cond, std::chrono::milliseconds limit = kDeadline) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= end) return cond();
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

class PtyPeer {
 public:
  // A new pseudo-terminal; the port under test opens Path().
  PtyPeer() {
    char name[256] = {};
    if (::openpty(&fd_, &slave_, name, nullptr, nullptr) != 0) std::abort();
    path_ = name;
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
  }
  // The existing line `device` (a bench line, raw already), opened for
  // exclusive use as the program opens its port.
  explicit PtyPeer(const std::string& device) : path_(device) {
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    exclusive_ = fd_ >= 0 && ::ioctl(fd_, TIOCEXCL) == 0;
  }
  ~PtyPeer() {
    HangUp();
    if (slave_ >= 0) ::close(slave_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  // The device the port opens (a new pseudo-terminal) or the one opened.
  const std::string& Path() const { return path_; }
  // A new pseudo-terminal's own descriptor of Path(): keeps it alive while
  // the port is closed, and reads back its settings.
  int Slave() const { return slave_; }

  // Sends `bytes`; false when they could not all be written in time.
  bool Send(const Bytes& bytes) const {
    size_t done = 0;
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return false;
      } else {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 10);  // re-checks the deadline at least every 10 ms
      }
    }
    return done == bytes.size();
  }
  bool SendHex(std::string_view hex) const { return Send(Hex(hex)); }
  // One non-blocking write attempt; the bytes taken.
  size_t TrySend(const Bytes& bytes) const {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    return n > 0 ? static_cast<size_t>(n) : 0;
  }

  // Waits until at least `count` bytes have come (or the deadline passed)
  // and returns everything that had come by then.
  Bytes Receive(size_t count) const {
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (out.size() < count) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) < 0) break;
      if (!Read(out) && !(p.revents & POLLIN)) break;  // hung up
    }
    return out;
  }
  // Whatever has come so far, without waiting for more.
  Bytes Drain() const {
    Bytes out;
    while (Read(out)) {
    }
    return out;
  }
  // Sends `request_hex` and returns the reply of `count` bytes as hex.
  std::string Exchange(std::string_view request_hex, size_t count) const {
    return SendHex(request_hex) ? ToHex(Receive(count)) : "not sent";
  }

  // The test's side goes away: the other side is hung up.
  void HangUp() {
    if (fd_ < 0) return;
    if (exclusive_) ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }

 private:
  // Appends what one read gives; false when it gave nothing.
  bool Read(Bytes& out) const {
    uint8_t buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) return false;
    out.insert(out.end(), buf, buf + n);
    return true;
  }

  int fd_ = -1;
  int slave_ = -1;
  bool exclusive_ = false;
  std::string path_;
};

inline constexpr std::string_view kReceivedLabel = " 收到数据：";

inline Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// `count` bytes counting up from `first`, wrapping at 256.
inline Bytes Sequence(size_t count, uint8_t first = 0) {
  Bytes out(count);
  for (size_t i = 0; i < count; ++i)
    out[i] = static_cast<uint8_t>(first + i);
  return out;
}

// A ring's unread bytes in order.
inline Bytes UnreadOf(const RecvRing& ring) {
  const RecvSnapshot s = ring.Snapshot();
  Bytes out;
  for (uint16_t i = s.RecvTail; i != s.RecvHead; i = (i + 1) & kRecvIndexMask)
    out.push_back(s.RecvBuf[i]);
  return out;
}

}  // namespace qv::test
