// Winsock backend of the serial device server connection. Reads and writes
// are overlapped, like the COM device's: each is waited on together with a
// manual-reset stop event, so a blocked read or write ends the moment the
// port is closed.

// winsock2.h first: the other headers build on its types.
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "serial/io_events_win.h"
#include "serial/tcp_device.h"

// The number of unanswered keep-alive probes (Windows 10 1703 and later;
// older systems refuse the option and give up after their fixed 10).
#ifndef TCP_KEEPCNT
#define TCP_KEEPCNT 16
#endif

namespace qv {
namespace {

// How long a connect may take before the port counts as not opened: as on
// Linux, a server on the bench's network answers within milliseconds, and
// 3 s still allows for a slow wireless link.
constexpr long kConnectTimeoutS = 3;
// A server that vanished without closing the connection is found by
// keep-alive probes: the first after 10 s of silence, then every 5 s, given
// up after 3 unanswered.
constexpr ULONG kKeepIdleMs = 10000;
constexpr ULONG kKeepIntervalMs = 5000;
constexpr DWORD kKeepCount = 3;
// The largest block one read takes.
constexpr DWORD kReadBlock = 4096;

std::error_code ErrorOf(DWORD code) {
  return {static_cast<int>(code), std::system_category()};
}

std::error_code SocketError() {
  return ErrorOf(static_cast<DWORD>(::WSAGetLastError()));
}

// The server closed the connection: read as a hang-up, as on Linux.
std::error_code HangUpError() {
  return std::make_error_code(std::errc::io_error);
}

// Winsock is started once for the process and left running until it ends.
std::error_code StartWinsock() {
  static std::once_flag once;
  static int result = 0;
  std::call_once(once, [] {
    WSADATA data;
    result = ::WSAStartup(MAKEWORD(2, 2), &data);
  });
  return result == 0 ? std::error_code{} : ErrorOf(static_cast<DWORD>(result));
}

std::error_code ConnectOne(SOCKET s, const addrinfo& a) {
  u_long non_blocking = 1;
  if (::ioctlsocket(s, FIONBIO, &non_blocking) != 0) return SocketError();
  if (::connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return SocketError();
    // Connected: writable; refused or unreachable: in the exception set.
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit{kConnectTimeoutS, 0};
    const int r = ::select(0, nullptr, &writable, &failed, &limit);
    if (r == SOCKET_ERROR) return SocketError();
    if (r == 0) return std::make_error_code(std::errc::timed_out);
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
      return SocketError();
    if (error != 0) return ErrorOf(static_cast<DWORD>(error));
  }
  // The socket stays non-blocking: overlapped reads and writes wait
  // whatever the mode, and Purge's plain reads must never wait.
  return {};
}

void SetOption(SOCKET s, int level, int name, DWORD value) {
  // An option the system refuses only makes the connection less lively.
  ::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

void SetKeepAlive(SOCKET s) {
  SetOption(s, SOL_SOCKET, SO_KEEPALIVE, 1);
  tcp_keepalive k{1, kKeepIdleMs, kKeepIntervalMs};
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &k, sizeof k, nullptr, 0, &returned, nullptr, nullptr);
  SetOption(s, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
}

class WinTcpDevice final : public SerialDevice {
 public:
  ~WinTcpDevice() override { Close(); }

  std::error_code Open(const std::string& path) override {
    if (socket_ != INVALID_SOCKET) return std::make_error_code(std::errc::device_or_resource_busy);
    const std::optional<TcpEndpoint> endpoint = ParseTcpDevice(path);
    if (!endpoint) return std::make_error_code(std::errc::invalid_argument);
    if (std::error_code e = StartWinsock()) return e;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(endpoint->Port);
    if (::getaddrinfo(endpoint->Host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
      return std::make_error_code(std::errc::host_unreachable);
    }
    std::error_code e = std::make_error_code(std::errc::host_unreachable);
    SOCKET connected = INVALID_SOCKET;
    for (const addrinfo* a = found; a && connected == INVALID_SOCKET; a = a->ai_next) {
      // Not inherited by processes this one starts.
      const SOCKET s = ::WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0,
                                    WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
      if (s == INVALID_SOCKET) {
        e = SocketError();
        continue;
      }
      e = ConnectOne(s, *a);
      if (e) {
        ::closesocket(s);
        continue;
      }
      connected = s;
    }
    ::freeaddrinfo(found);
    if (connected == INVALID_SOCKET) return e;
    // A frame leaves at once, not held back to gather more bytes.
    SetOption(connected, IPPROTO_TCP, TCP_NODELAY, 1);
    SetKeepAlive(connected);
    socket_ = connected;
    if (!events_.Create()) {
      e = ErrorOf(::GetLastError());
      Close();
      return e;
    }
    return {};
  }

  // The server's serial line has the settings the server was given.
  std::error_code Configure(const LineSettings&) override { return {}; }

  ReadResult Read(std::span<uint8_t> into, std::optional<std::chrono::milliseconds> wait) override {
    if (into.empty())
      return {ReadStatus::kFailed, 0, std::make_error_code(std::errc::invalid_argument)};
    if (events_.Stopped()) return {ReadStatus::kStopped, 0, {}};
    WSAOVERLAPPED ov{};
    ov.hEvent = events_.ReadDone();
    WSABUF buf{static_cast<ULONG>(std::min<size_t>(into.size(), kReadBlock)),
               reinterpret_cast<char*>(into.data())};
    DWORD n = 0;
    DWORD flags = 0;
    if (::WSARecv(socket_, &buf, 1, &n, &flags, &ov, nullptr) == 0) {
      if (n > 0) return {ReadStatus::kData, n, {}};
      return {ReadStatus::kFailed, 0, HangUpError()};
    }
    if (::WSAGetLastError() != WSA_IO_PENDING) return {ReadStatus::kFailed, 0, SocketError()};
    const DWORD woke = events_.WaitRead(wait);
    const bool completed = woke == WAIT_OBJECT_0 + 1;
    if (!completed) ::CancelIoEx(reinterpret_cast<HANDLE>(socket_), &ov);
    // Waits for the read to be really over (done or cancelled): the buffer
    // and `ov` are ours again. Bytes it took before the cancel count.
    if (!::WSAGetOverlappedResult(socket_, &ov, &n, TRUE, &flags)) {
      const int err = ::WSAGetLastError();
      if (completed || err != WSA_OPERATION_ABORTED)
        return {ReadStatus::kFailed, 0, ErrorOf(static_cast<DWORD>(err))};
      n = 0;
    }
    if (n > 0) return {ReadStatus::kData, n, {}};
    // A completed read of no bytes: the server closed the connection.
    if (completed) return {ReadStatus::kFailed, 0, HangUpError()};
    if (woke == WAIT_OBJECT_0) return {ReadStatus::kStopped, 0, {}};
    if (woke == WAIT_TIMEOUT) return {ReadStatus::kTimeout, 0, {}};
    return {ReadStatus::kFailed, 0, ErrorOf(::GetLastError())};
  }

  WriteResult Write(std::span<const uint8_t> bytes) override {
    size_t offset = 0;
    while (offset < bytes.size()) {
      WSAOVERLAPPED ov{};
      ov.hEvent = events_.WriteDone();
      WSABUF buf{static_cast<ULONG>(std::min<size_t>(bytes.size() - offset, MAXDWORD)),
                 const_cast<char*>(reinterpret_cast<const char*>(bytes.data() + offset))};
      DWORD n = 0;
      DWORD flags = 0;
      if (::WSASend(socket_, &buf, 1, &n, 0, &ov, nullptr) != 0) {
        if (::WSAGetLastError() != WSA_IO_PENDING) return {WriteStatus::kFailed, SocketError()};
        const DWORD woke = events_.WaitWrite();
        if (woke != WAIT_OBJECT_0 + 1) {
          const std::error_code e = ErrorOf(::GetLastError());
          ::CancelIoEx(reinterpret_cast<HANDLE>(socket_), &ov);
          ::WSAGetOverlappedResult(socket_, &ov, &n, TRUE, &flags);
          if (woke == WAIT_OBJECT_0) return {WriteStatus::kStopped, {}};
          return {WriteStatus::kFailed, e};
        }
        if (!::WSAGetOverlappedResult(socket_, &ov, &n, TRUE, &flags))
          return {WriteStatus::kFailed, SocketError()};
      }
      if (n == 0) return {WriteStatus::kFailed, HangUpError()};
      offset += n;
    }
    return {WriteStatus::kDone, {}};
  }

  // Input: what the connection holds is read and dropped. Output handed to
  // the connection cannot be taken back.
  void Purge(PurgeQueue queue) override {
    if (socket_ == INVALID_SOCKET || queue == PurgeQueue::kOutput) return;
    // What the connection holds now, and no more: against a server that
    // streams without pause, reading until nothing is left would never end.
    u_long queued = 0;
    if (::ioctlsocket(socket_, FIONREAD, &queued) != 0) return;
    char buf[4096];
    while (queued > 0) {
      const int n = ::recv(socket_, buf, static_cast<int>(std::min<u_long>(sizeof buf, queued)), 0);
      if (n <= 0) break;
      queued -= static_cast<u_long>(n);
    }
  }

  void Stop() override { events_.Stop(); }

  void Close() override {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    socket_ = INVALID_SOCKET;
    events_.Close();
  }

  bool IsOpen() const override { return socket_ != INVALID_SOCKET; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  IoEvents events_;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeTcpDevice() {
  return std::make_unique<WinTcpDevice>();
}

}  // namespace qv
