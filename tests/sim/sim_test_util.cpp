#include "sim_test_util.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace qv::sim::test {

using Clock = std::chrono::steady_clock;

Bytes Hex(std::string_view text) {
  Bytes out;
  if (!ParseHex(text, out)) out.clear();
  return out;
}

std::string ToHex(const Bytes& bytes) {
  std::string s = HexText(bytes);
  return s.empty() ? s : s.substr(1);
}

std::string WithChecksum(std::string_view body_hex) {
  Bytes b = Hex(body_hex);
  const uint8_t cs = FrameChecksum(b);
  b.push_back(cs);
  b.push_back(0x16);
  return ToHex(b);
}

PtyClient::PtyClient(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  ioctl(fd_, TIOCEXCL);
  termios t{};
  tcgetattr(fd_, &t);
  cfmakeraw(&t);
  t.c_cflag |= PARENB | CLOCAL | CREAD;
  t.c_cflag &= ~(PARODD | CSTOPB);
  cfsetispeed(&t, B2400);
  cfsetospeed(&t, B2400);
  tcsetattr(fd_, TCSANOW, &t);
}

PtyClient::~PtyClient() {
  Close();
}

void PtyClient::Close() {
  if (fd_ < 0) return;
  ioctl(fd_, TIOCNXCL);
  close(fd_);
  fd_ = -1;
}

void PtyClient::Write(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR && errno != EAGAIN) return;
    if (n > 0) done += static_cast<size_t>(n);
  }
}

namespace {
// Waits up to `wait` for a byte and appends what is there; false when none.
bool ReadSome(int fd, Bytes& out, milliseconds wait) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return false;
  uint8_t buf[512];
  const ssize_t n = read(fd, buf, sizeof buf);
  if (n <= 0) return false;
  out.insert(out.end(), buf, buf + n);
  return true;
}
}  // namespace

Bytes PtyClient::ReadCount(size_t count, milliseconds deadline) {
  Bytes out;
  const auto end = Clock::now() + deadline;
  while (out.size() < count && Clock::now() < end) {
    const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
    ReadSome(fd_, out, std::max(left, milliseconds(1)));
  }
  return out;
}

Bytes PtyClient::ReadUntilSilent(milliseconds silence, milliseconds deadline) {
  Bytes out;
  const auto end = Clock::now() + deadline;
  while (Clock::now() < end) {
    if (!ReadSome(fd_, out, silence)) break;
  }
  return out;
}

std::string PtyClient::Exchange(std::string_view request_hex, size_t count) {
  WriteHex(request_hex);
  return ToHex(ReadCount(count));
}

}  // namespace qv::sim::test
