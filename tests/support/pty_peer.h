// Test helpers for the serial lines: a pseudo-terminal whose slave side the
// port opens while the test plays the meter on the master side, bounded
// waiting for a condition, and the lines an operation log has queued.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/operation_log.h"

namespace qv::testing_serial {

using Bytes = std::vector<uint8_t>;
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
  PtyPeer() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) std::abort();
    path_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPeer() {
    HangUp();
    ::close(slave_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  // The device the port opens.
  const std::string& Path() const { return path_; }
  // The test's own descriptor of that device: keeps the pseudo-terminal
  // alive while the port is closed, and reads back its settings.
  int Slave() const { return slave_; }

  // Sends `bytes` to the port; false when they could not all be written
  // before the deadline.
  bool Send(const Bytes& bytes) const {
    size_t done = 0;
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (done < bytes.size()) {
      ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (std::chrono::steady_clock::now() >= end) {
        return false;
      } else {
        // Re-checks the deadline at least every 10 ms.
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
      }
    }
    return true;
  }
  // One non-blocking write attempt; the bytes taken.
  size_t TrySend(const Bytes& bytes) const {
    ssize_t n = ::write(master_, bytes.data(), bytes.size());
    return n > 0 ? static_cast<size_t>(n) : 0;
  }

  // What the port wrote, once `count` bytes came or the deadline passed.
  Bytes Receive(size_t count) const {
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    uint8_t buf[4096];
    while (out.size() < count && std::chrono::steady_clock::now() < end) {
      ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
      if (n > 0) {
        out.insert(out.end(), buf, buf + n);
      } else {
        // Re-checks the deadline at least every 10 ms.
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, 10);
      }
    }
    return out;
  }

  // Whatever the port wrote so far, without waiting for more.
  Bytes Drain() const {
    Bytes out;
    uint8_t buf[4096];
    ssize_t n;
    while ((n = ::read(master_, buf, sizeof buf)) > 0)
      out.insert(out.end(), buf, buf + n);
    return out;
  }

  // The meter's side goes away: the port's side is hung up.
  void HangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Collects the lines an operation log queued so far.
class LogLines {
 public:
  explicit LogLines(OperationLog& log) : log_(log) {}

  const std::vector<std::string>& Take() {
    for (std::string& line : log_.TakePending())
      lines_.push_back(std::move(line));
    return lines_;
  }
  // Lines taken so far that contain `text`.
  size_t Count(std::string_view text) {
    Take();
    return static_cast<size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const auto& l) {
      return l.find(text) != std::string::npos;
    }));
  }

 private:
  OperationLog& log_;
  std::vector<std::string> lines_;
};

inline constexpr std::string_view kReceivedLabel = " 收到数据：";

// "68 AA 16" as the byte dump of a log line: " 68 AA 16".
inline std::string Dump(const Bytes& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    out += ' ';
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

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

// A temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qv-serial-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Dir() const { return path_ + "/"; }

 private:
  std::string path_;
};

}  // namespace qv::testing_serial
