// POSIX termios backend of the serial device: a tty opened non-blocking and
// waited on with poll(), next to an eventfd that carries the stop signal, so
// a blocked read or write wakes the moment the port is closed.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <utility>

#include "serial/serial_device.h"
#include "serial/termios_line.h"

namespace qv {
namespace {

// Character devices of the Unix 98 pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

std::error_code LastError() {
  return {errno, std::generic_category()};
}

// A device that reports end of file or hang-up: the peer or the adapter is
// gone.
std::error_code HangUpError() {
  return std::make_error_code(std::errc::io_error);
}

class PosixSerialDevice final : public SerialDevice {
 public:
  ~PosixSerialDevice() override { Close(); }

  std::error_code Open(const std::string& path) override {
    if (fd_ >= 0) return std::make_error_code(std::errc::device_or_resource_busy);
    // O_NONBLOCK: neither the open nor a later read or write may hang on the
    // modem lines; every wait goes through poll(). No O_CREAT: only an
    // existing device is opened.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return LastError();
    // The advisory lock refuses a second open even to a privileged process,
    // which TIOCEXCL lets through; TIOCEXCL refuses every other program.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      std::error_code e = errno == EWOULDBLOCK
                              ? std::make_error_code(std::errc::device_or_resource_busy)
                              : LastError();
      ::close(fd);
      return e;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
      std::error_code e = LastError();
      ::close(fd);
      return e;
    }
    int stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop < 0) {
      std::error_code e = LastError();
      ::ioctl(fd, TIOCNXCL);
      ::close(fd);
      return e;
    }
    fd_ = fd;
    stop_fd_ = stop;
    return {};
  }

  std::error_code Configure(const LineSettings& line) override {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return LastError();
    if (!MakeLineTermios(t, line)) return std::make_error_code(std::errc::invalid_argument);
    // tcsetattr succeeds when any part of the change took, and fails when
    // none did; what counts is what the device holds afterwards.
    const int set = ::tcsetattr(fd_, TCSANOW, &t);
    const std::error_code set_error = set != 0 ? LastError() : std::error_code();
    termios back{};
    if (::tcgetattr(fd_, &back) != 0) return LastError();
    // A pseudo-terminal carries bytes, not bits: it has no parity and always
    // reports none. Every other device must take the parity too.
    if (TermiosMatches(back, line, !IsPseudoTerminal())) return {};
    return set_error ? set_error : std::make_error_code(std::errc::invalid_argument);
  }

  ReadResult Read(std::span<uint8_t> into, std::optional<std::chrono::milliseconds> wait) override {
    if (into.empty())
      return {ReadStatus::kFailed, 0, std::make_error_code(std::errc::invalid_argument)};
    using Clock = std::chrono::steady_clock;
    const auto deadline = wait ? Clock::now() + *wait : Clock::time_point::max();
    for (;;) {
      std::array<pollfd, 2> fds = {{{fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}}};
      int r = ::poll(fds.data(), fds.size(), PollTimeout(wait.has_value(), deadline));
      if (r < 0) {
        if (errno == EINTR) continue;
        return {ReadStatus::kFailed, 0, LastError()};
      }
      if (fds[1].revents != 0) return {ReadStatus::kStopped, 0, {}};
      if (r == 0) return {ReadStatus::kTimeout, 0, {}};
      if (fds[0].revents & POLLNVAL) {
        return {ReadStatus::kFailed, 0, std::make_error_code(std::errc::bad_file_descriptor)};
      }
      ssize_t n = ::read(fd_, into.data(), into.size());
      if (n > 0) return {ReadStatus::kData, static_cast<size_t>(n), {}};
      if (n == 0) return {ReadStatus::kFailed, 0, HangUpError()};
      if (errno != EAGAIN && errno != EINTR) return {ReadStatus::kFailed, 0, LastError()};
      if (fds[0].revents & (POLLHUP | POLLERR)) return {ReadStatus::kFailed, 0, HangUpError()};
      // Woken without data (another reader took it): wait again.
    }
  }

  WriteResult Write(std::span<const uint8_t> bytes) override {
    size_t offset = 0;
    while (offset < bytes.size()) {
      ssize_t n = ::write(fd_, bytes.data() + offset, bytes.size() - offset);
      if (n > 0) {
        offset += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return {WriteStatus::kFailed, LastError()};
      // The driver's output queue is full: wait for room or for the stop
      // signal, without time limit (the line drains at its own pace).
      std::array<pollfd, 2> fds = {{{fd_, POLLOUT, 0}, {stop_fd_, POLLIN, 0}}};
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return {WriteStatus::kFailed, LastError()};
      }
      if (fds[1].revents != 0) return {WriteStatus::kStopped, {}};
      if ((fds[0].revents & POLLOUT) == 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
        return {WriteStatus::kFailed, HangUpError()};
      }
    }
    return {WriteStatus::kDone, {}};
  }

  void Purge(PurgeQueue queue) override {
    if (fd_ < 0) return;
    static constexpr std::array<int, 3> kFlush = {TCIFLUSH, TCOFLUSH, TCIOFLUSH};
    ::tcflush(fd_, kFlush[static_cast<size_t>(queue)]);
  }

  void Stop() override {
    if (stop_fd_ < 0) return;
    const uint64_t one = 1;
    // The counter stays non-zero (nobody reads it), so every later poll sees
    // the signal too. A full counter still leaves it set: the result is moot.
    [[maybe_unused]] ssize_t n = ::write(stop_fd_, &one, sizeof one);
  }

  void Close() override {
    if (fd_ >= 0) {
      // Give the device back to other programs; closing drops the lock.
      ::ioctl(fd_, TIOCNXCL);
      ::close(fd_);
      fd_ = -1;
    }
    if (stop_fd_ >= 0) {
      ::close(stop_fd_);
      stop_fd_ = -1;
    }
  }

  bool IsOpen() const override { return fd_ >= 0; }

 private:
  bool IsPseudoTerminal() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
  }

  // Milliseconds left until `deadline` for poll(), or -1 for no limit.
  static int PollTimeout(bool limited, std::chrono::steady_clock::time_point deadline) {
    if (!limited) return -1;
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX));
  }

  int fd_ = -1;
  int stop_fd_ = -1;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
  return std::make_unique<PosixSerialDevice>();
}

std::string DefaultDevicePath(int n) {
  return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace qv
