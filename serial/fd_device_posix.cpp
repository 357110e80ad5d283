#include "serial/fd_device_posix.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

namespace qv {
namespace {

// A device that reports end of file or hang-up: the peer, the adapter or
// the connection is gone.
std::error_code HangUpError() {
  return std::make_error_code(std::errc::io_error);
}

// Milliseconds left until `deadline` for poll(), or -1 for no limit.
int PollTimeout(bool limited, std::chrono::steady_clock::time_point deadline) {
  if (!limited) return -1;
  auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT_MAX));
}

}  // namespace

std::error_code LastError() {
  return {errno, std::generic_category()};
}

std::error_code PosixFdDevice::Adopt(int fd) {
  const int stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop < 0) return LastError();
  fd_ = fd;
  stop_fd_ = stop;
  return {};
}

ReadResult PosixFdDevice::Read(std::span<uint8_t> into,
                               std::optional<std::chrono::milliseconds> wait) {
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

ssize_t PosixFdDevice::WriteSome(std::span<const uint8_t> bytes) {
  return ::write(fd_, bytes.data(), bytes.size());
}

WriteResult PosixFdDevice::Write(std::span<const uint8_t> bytes) {
  size_t offset = 0;
  while (offset < bytes.size()) {
    ssize_t n = WriteSome(bytes.subspan(offset));
    if (n > 0) {
      offset += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return {WriteStatus::kFailed, LastError()};
    // The output queue is full: wait for room or for the stop signal,
    // without time limit (the line drains at its own pace).
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

void PosixFdDevice::Stop() {
  if (stop_fd_ < 0) return;
  const uint64_t one = 1;
  // The counter stays non-zero (nobody reads it), so every later poll sees
  // the signal too. A full counter still leaves it set: the result is moot.
  [[maybe_unused]] ssize_t n = ::write(stop_fd_, &one, sizeof one);
}

void PosixFdDevice::Close() {
  if (fd_ >= 0) {
    BeforeClose();
    ::close(fd_);
    fd_ = -1;
  }
  if (stop_fd_ >= 0) {
    ::close(stop_fd_);
    stop_fd_ = -1;
  }
}

}  // namespace qv
