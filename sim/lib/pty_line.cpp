#include "sim/lib/pty_line.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
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

std::unique_ptr<PtyLine> PtyLine::Open(std::string& error) {
  std::unique_ptr<PtyLine> line(new PtyLine);
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

PtyLine::~PtyLine() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

Bytes PtyLine::Read() {
  Bytes out;
  uint8_t buf[4096];
  for (;;) {
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) {
      out.insert(out.end(), buf, buf + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return out;  // EAGAIN: nothing more for now
  }
}

void PtyLine::Send(Bytes bytes, SteadyTime start, bool paced) {
  if (bytes.empty()) return;
  if (!queue_.empty()) start = std::max(start, queue_end_);
  queue_end_ = paced ? start + kByteTime * static_cast<int64_t>(bytes.size()) : start;
  queue_.push_back({std::move(bytes), 0, start, paced});
}

SteadyTime PtyLine::NextDue() const {
  const Chunk& c = queue_.front();
  return c.paced ? c.start + kByteTime * static_cast<int64_t>(c.sent) : c.start;
}

void PtyLine::Flush(SteadyTime now) {
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
      const ssize_t n = write(master_, c.bytes.data() + c.sent, due - c.sent);
      if (n < 0) {
        if (errno == EINTR) continue;
        blocked_ = errno == EAGAIN;
        if (!blocked_) queue_.pop_front();  // the line is gone: drop the reply
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

void PtyLine::ReleaseExclusive() {
  ioctl(slave_, TIOCNXCL);
}

}  // namespace qv::sim
