// POSIX backend of the serial device server connection: a non-blocking
// TCP socket; reading, writing and the stop signal are the shared
// descriptor device's (fd_device_posix.h).
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "serial/fd_device_posix.h"
#include "serial/tcp_device.h"

namespace qv {
namespace {

// How long a connect may take before the port counts as not opened. It runs
// on the user-interface thread at an operation's start; a server on the
// bench's network answers within milliseconds, and 3 s still allows for a
// slow wireless link without freezing the program for long.
constexpr std::chrono::milliseconds kConnectTimeout{3000};
// A connection whose server vanished without closing it (cable pulled,
// server switched off) is found by TCP keep-alive probes: the first after
// 10 s of silence, then every 5 s, given up after 3 unanswered, so the port
// shows as failed within about 25 s, like an unplugged adapter.
constexpr int kKeepIdleS = 10;
constexpr int kKeepIntervalS = 5;
constexpr int kKeepCount = 3;

std::error_code ConnectOne(int fd, const addrinfo& a) {
  if (::connect(fd, a.ai_addr, a.ai_addrlen) == 0) return {};
  if (errno != EINPROGRESS) return LastError();
  pollfd p{fd, POLLOUT, 0};
  int r = 0;
  do {
    r = ::poll(&p, 1, static_cast<int>(kConnectTimeout.count()));
  } while (r < 0 && errno == EINTR);
  if (r < 0) return LastError();
  if (r == 0) return std::make_error_code(std::errc::timed_out);
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return LastError();
  return {error, std::generic_category()};
}

void SetOption(int fd, int level, int name, int value) {
  // An option the system refuses only makes the connection less lively.
  [[maybe_unused]] int r = ::setsockopt(fd, level, name, &value, sizeof value);
}

class PosixTcpDevice final : public PosixFdDevice {
 public:
  ~PosixTcpDevice() override { Close(); }

  std::error_code Open(const std::string& path) override {
    if (fd_ >= 0) return std::make_error_code(std::errc::device_or_resource_busy);
    const std::optional<TcpEndpoint> endpoint = ParseTcpDevice(path);
    if (!endpoint) return std::make_error_code(std::errc::invalid_argument);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(endpoint->Port);
    if (::getaddrinfo(endpoint->Host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
      return std::make_error_code(std::errc::host_unreachable);
    }
    std::error_code e = std::make_error_code(std::errc::host_unreachable);
    for (const addrinfo* a = found; a; a = a->ai_next) {
      const int fd =
          ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) {
        e = LastError();
        continue;
      }
      e = ConnectOne(fd, *a);
      if (!e) {
        // A frame leaves at once, not held back to gather more bytes.
        SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
        SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
        SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleS);
        SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalS);
        SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
        e = Adopt(fd);
        if (!e) break;
      }
      ::close(fd);
    }
    ::freeaddrinfo(found);
    return e;
  }

  // The server's serial line has the settings the server was given.
  std::error_code Configure(const LineSettings&) override { return {}; }

  // Input: what the connection holds is read and dropped. Output handed to
  // the connection cannot be taken back.
  void Purge(PurgeQueue queue) override {
    if (fd_ < 0 || queue == PurgeQueue::kOutput) return;
    // What the connection holds now, and no more: against a server that
    // streams without pause, reading until nothing is left would never end.
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0) return;
    uint8_t buf[4096];
    while (queued > 0) {
      const ssize_t n =
          ::recv(fd_, buf, std::min(sizeof buf, static_cast<size_t>(queued)), MSG_DONTWAIT);
      if (n <= 0) break;
      queued -= static_cast<int>(n);
    }
  }

 protected:
  // MSG_NOSIGNAL: a connection the server closed fails the write with EPIPE
  // instead of ending the program with SIGPIPE.
  ssize_t WriteSome(std::span<const uint8_t> bytes) override {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
};

}  // namespace

std::unique_ptr<SerialDevice> MakeTcpDevice() {
  return std::make_unique<PosixTcpDevice>();
}

}  // namespace qv
