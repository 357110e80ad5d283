// POSIX termios backend of the serial device: a tty opened non-blocking and
// exclusively, set up with termios; reading, writing and the stop signal are
// the shared descriptor device's (fd_device_posix.h).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "serial/fd_device_posix.h"
#include "serial/serial_device.h"
#include "serial/termios_line.h"

namespace qv {
namespace {

// Character devices of the Unix 98 pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

class PosixSerialDevice final : public PosixFdDevice {
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
    const std::error_code e = Adopt(fd);
    if (e) {
      ::ioctl(fd, TIOCNXCL);
      ::close(fd);
    }
    return e;
  }

  std::error_code Configure(const LineSettings& line) override {
    const std::error_code e = Apply(line);
    if (!e || !IsPseudoTerminal()) return e;
    // A pseudo-terminal carries bytes, not bits, and some kernels refuse 7
    // data bits and parity on one outright (EINVAL): one that stays at 8
    // bits without parity passes the same characters, so it serves.
    LineSettings bytes = line;
    bytes.DataBits = 8;
    bytes.ParityMode = Parity::kNone;
    return Apply(bytes);
  }

  void Purge(PurgeQueue queue) override {
    if (fd_ < 0) return;
    static constexpr std::array<int, 3> kFlush = {TCIFLUSH, TCOFLUSH, TCIOFLUSH};
    ::tcflush(fd_, kFlush[static_cast<size_t>(queue)]);
  }

 protected:
  // Give the device back to other programs; closing drops the lock.
  void BeforeClose() override { ::ioctl(fd_, TIOCNXCL); }

 private:
  // Sets `line` and checks what the device holds afterwards.
  std::error_code Apply(const LineSettings& line) {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return LastError();
    if (!MakeLineTermios(t, line)) return std::make_error_code(std::errc::invalid_argument);
    // tcsetattr succeeds when any part of the change took, and fails when
    // none did; what counts is what the device holds afterwards.
    const int set = ::tcsetattr(fd_, TCSANOW, &t);
    const std::error_code set_error = set != 0 ? LastError() : std::error_code();
    termios back{};
    if (::tcgetattr(fd_, &back) != 0) return LastError();
    // A pseudo-terminal has no parity and always reports none. Every other
    // device must take the parity too.
    if (TermiosMatches(back, line, !IsPseudoTerminal())) return {};
    return set_error ? set_error : std::make_error_code(std::errc::invalid_argument);
  }

  bool IsPseudoTerminal() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
  }
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
  return std::make_unique<PosixSerialDevice>();
}

std::string DefaultDevicePath(int n) {
  return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace qv
