#include "sim/lib/sim_line.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qv::sim {

namespace {

// Raw 2400 baud 8E1 on the slave, so nothing is echoed or translated before
// the program sets its own line options.
bool MakeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cflag |= PARENB | CLOCAL | CREAD;
  t.c_cflag &= ~(PARODD | CSTOPB);
  cfsetispeed(&t, B2400);
  cfsetospeed(&t, B2400);
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

std::unique_ptr<SimLine> SimLine::OpenPty(std::string& error) {
  std::unique_ptr<SimLine> line(new SimLine);
  if (openpty(&line->master_, &line->slave_, nullptr, nullptr, nullptr) != 0) {
    error = std::string("openpty: ") + std::strerror(errno);
    return nullptr;
  }
  char name[256];
  if (ttyname_r(line->slave_, name, sizeof name) != 0 || !MakeRaw(line->slave_)) {
    error = std::string("pseudo-terminal set-up: ") + std::strerror(errno);
    return nullptr;
  }
  line->path_ = name;
  fcntl(line->master_, F_SETFD, FD_CLOEXEC);
  fcntl(line->slave_, F_SETFD, FD_CLOEXEC);
  fcntl(line->master_, F_SETFL, fcntl(line->master_, F_GETFL) | O_NONBLOCK);
  return line;
}

std::unique_ptr<SimLine> SimLine::ListenTcp(uint16_t port, std::string& error) {
  std::unique_ptr<SimLine> line(new SimLine);
  line->listen_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never reachable from the network
  socklen_t size = sizeof a;
  if (line->listen_ < 0 ||
      setsockopt(line->listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(line->listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(line->listen_, 4) != 0 ||
      getsockname(line->listen_, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    error = "TCP port " + std::to_string(port) + ": " + std::strerror(errno);
    return nullptr;
  }
  line->path_ = "tcp:127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  return line;
}

SimLine::~SimLine() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  if (listen_ >= 0) close(listen_);
}

void SimLine::Accept() {
  const int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  CloseConnection();
  master_ = fd;
}

void SimLine::CloseConnection() {
  if (listen_ < 0 || master_ < 0) return;
  // shutdown() ends the connection now, even while the bench thread polls it.
  shutdown(master_, SHUT_RDWR);
  close(master_);
  master_ = -1;
  queue_.clear();
  blocked_ = false;
}

ssize_t SimLine::WriteOut(const uint8_t* bytes, size_t count) {
  // MSG_NOSIGNAL: a program that went away fails the send instead of
  // ending the bench with SIGPIPE.
  if (listen_ >= 0) return send(master_, bytes, count, MSG_NOSIGNAL);
  return write(master_, bytes, count);
}

Bytes SimLine::Read() {
  Bytes out;
  uint8_t buf[4096];
  while (master_ >= 0) {
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) {
      out.insert(out.end(), buf, buf + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // The program closed its connection (end of file) or it broke.
    if (n == 0 || (errno != EAGAIN && listen_ >= 0)) CloseConnection();
    break;  // EAGAIN: nothing more for now
  }
  return out;
}

void SimLine::Send(Bytes bytes, SteadyTime start, bool paced) {
  if (bytes.empty()) return;
  if (!queue_.empty()) start = std::max(start, queue_end_);
  queue_end_ = paced ? start + kByteTime * static_cast<int64_t>(bytes.size()) : start;
  queue_.push_back({std::move(bytes), 0, start, paced});
}

SteadyTime SimLine::NextDue() const {
  const Chunk& c = queue_.front();
  return c.paced ? c.start + kByteTime * static_cast<int64_t>(c.sent) : c.start;
}

void SimLine::Flush(SteadyTime now) {
  blocked_ = false;
  while (!queue_.empty()) {
    Chunk& c = queue_.front();
    if (now < c.start) return;
    size_t due = c.bytes.size();
    if (c.paced) {
      // Bytes whose time has come: the first leaves at `start`.
      const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - c.start);
      due = std::min(due, static_cast<size_t>(elapsed / kByteTime) + 1);
    }
    if (due > c.sent) {
      const ssize_t n = WriteOut(c.bytes.data() + c.sent, due - c.sent);
      if (n < 0) {
        if (errno == EINTR) continue;
        blocked_ = errno == EAGAIN;
        if (!blocked_) queue_.pop_front();  // the line is gone: drop the reply
        if (!blocked_) CloseConnection();
        return;
      }
      c.sent += static_cast<size_t>(n);
    }
    if (c.sent < c.bytes.size()) {
      blocked_ = !c.paced || c.sent < due;
      return;
    }
    queue_.pop_front();
  }
}

void SimLine::ReleaseExclusive() {
  if (slave_ >= 0) ioctl(slave_, TIOCNXCL);
}

}  // namespace qv::sim
