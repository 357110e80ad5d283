#include "serial/termios_line.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace qv {
namespace {

struct SpeedCode {
  uint32_t Rate;
  speed_t Code;
};

// Line speeds the termios interface names.
constexpr std::array<SpeedCode, 10> kSpeeds = {{{300, B300},
                                                {600, B600},
                                                {1200, B1200},
                                                {2400, B2400},
                                                {4800, B4800},
                                                {9600, B9600},
                                                {19200, B19200},
                                                {38400, B38400},
                                                {57600, B57600},
                                                {115200, B115200}}};

struct SizeCode {
  uint8_t Bits;
  tcflag_t Code;
};

constexpr std::array<SizeCode, 4> kDataBits = {{{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}}};

// Raw mode: bytes pass unchanged in both directions. These are the flags
// cfmakeraw clears, so that nothing else of the device's options changes.
constexpr tcflag_t kRawClearedInput =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON;
constexpr tcflag_t kRawClearedOutput = OPOST;
constexpr tcflag_t kRawClearedLocal = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

struct Codes {
  speed_t Speed;
  tcflag_t Size;
};

std::optional<Codes> CodesOf(const LineSettings& line) {
  auto speed = std::find_if(kSpeeds.begin(), kSpeeds.end(),
                            [&](const SpeedCode& s) { return s.Rate == line.BaudRate; });
  auto size = std::find_if(kDataBits.begin(), kDataBits.end(),
                           [&](const SizeCode& s) { return s.Bits == line.DataBits; });
  if (speed == kSpeeds.end() || size == kDataBits.end()) return std::nullopt;
  if (line.StopBits != 1 && line.StopBits != 2) return std::nullopt;
  return Codes{speed->Code, size->Code};
}

tcflag_t ParityFlags(Parity p) {
  switch (p) {
    case Parity::kNone:
      return 0;
    case Parity::kOdd:
      return PARENB | PARODD;
    case Parity::kEven:
      return PARENB;
  }
  return 0;
}

}  // namespace

bool MakeLineTermios(termios& t, const LineSettings& line) {
  const std::optional<Codes> codes = CodesOf(line);
  if (!codes) return false;
  termios n = t;
  n.c_iflag &= ~kRawClearedInput;
  n.c_oflag &= ~kRawClearedOutput;
  n.c_lflag &= ~kRawClearedLocal;
  n.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
  n.c_cflag |= codes->Size | ParityFlags(line.ParityMode);
  if (line.StopBits == 2) n.c_cflag |= CSTOPB;
  // Receiver on; the meters use only the data lines, so the modem status
  // lines must neither block the line nor hang it up.
  n.c_cflag |= CREAD | CLOCAL;
  // A read returns as soon as one byte is there (the reader waits in poll).
  n.c_cc[VMIN] = 1;
  n.c_cc[VTIME] = 0;
  if (::cfsetispeed(&n, codes->Speed) != 0 || ::cfsetospeed(&n, codes->Speed) != 0) return false;
  t = n;
  return true;
}

bool TermiosMatches(const termios& t, const LineSettings& line, bool check_parity) {
  const std::optional<Codes> codes = CodesOf(line);
  if (!codes) return false;
  if (::cfgetispeed(&t) != codes->Speed || ::cfgetospeed(&t) != codes->Speed) return false;
  if ((t.c_cflag & CSIZE) != codes->Size) return false;
  if (((t.c_cflag & CSTOPB) != 0) != (line.StopBits == 2)) return false;
  if ((t.c_cflag & CREAD) == 0) return false;
  if ((t.c_iflag & kRawClearedInput) || (t.c_oflag & kRawClearedOutput) ||
      (t.c_lflag & kRawClearedLocal)) {
    return false;
  }
  return !check_parity || (t.c_cflag & (PARENB | PARODD)) == ParityFlags(line.ParityMode);
}

}  // namespace qv
