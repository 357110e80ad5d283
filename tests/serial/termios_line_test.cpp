// The options the POSIX backend asks a device for: raw mode, 2400 baud,
// 8 data bits, even parity, 1 stop bit, and everything else as reported.
#include "serial/termios_line.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// Options as a freshly opened terminal reports them: cooked, echoing, with
// a few options of its own that must survive.
termios Reported() {
  termios t{};
  t.c_iflag = ICRNL | IXON | IXANY | IMAXBEL | BRKINT;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN;
  t.c_cflag = CS7 | PARODD | PARENB | CSTOPB | HUPCL | CRTSCTS;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 5;
  t.c_cc[VINTR] = 3;
  ::cfsetispeed(&t, B9600);
  ::cfsetospeed(&t, B9600);
  return t;
}

TEST(TermiosLine, BenchLineIs2400EightEvenOneRaw) {
  termios t = Reported();
  ASSERT_TRUE(MakeLineTermios(t, LineSettings{}));
  EXPECT_EQ(::cfgetispeed(&t), B2400);
  EXPECT_EQ(::cfgetospeed(&t), B2400);
  // Options the line settings do not name (HUPCL, CRTSCTS, IXANY, ONLCR,
  // ECHOE, VINTR) stay as the device reported them.
  constexpr tcflag_t kControl = CSIZE | PARENB | PARODD | CSTOPB | CREAD | CLOCAL | HUPCL | CRTSCTS;
  EXPECT_EQ(t.c_cflag & kControl,
            static_cast<tcflag_t>(CS8 | PARENB | CREAD | CLOCAL | HUPCL | CRTSCTS));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN | ECHOE), static_cast<tcflag_t>(ECHOE));
  EXPECT_EQ(t.c_oflag & (OPOST | ONLCR), static_cast<tcflag_t>(ONLCR));
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | BRKINT | IXANY), static_cast<tcflag_t>(IXANY));
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(t.c_cc[VINTR], 3);
  EXPECT_TRUE(TermiosMatches(t, LineSettings{}, true));
}

TEST(TermiosLine, OtherFormatsAndUnsupportedOnes) {
  termios t = Reported();
  ASSERT_TRUE(MakeLineTermios(t, LineSettings{9600, 7, Parity::kOdd, 2}));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
            static_cast<tcflag_t>(CS7 | PARENB | PARODD | CSTOPB));
  ASSERT_TRUE(MakeLineTermios(t, LineSettings{2400, 8, Parity::kNone, 1}));
  EXPECT_FALSE(t.c_cflag & (PARENB | PARODD));

  const termios before = t;
  EXPECT_FALSE(MakeLineTermios(t, LineSettings{2401, 8, Parity::kEven, 1}));
  EXPECT_FALSE(MakeLineTermios(t, LineSettings{2400, 9, Parity::kEven, 1}));
  EXPECT_FALSE(MakeLineTermios(t, LineSettings{2400, 8, Parity::kEven, 3}));
  EXPECT_EQ(t.c_cflag, before.c_cflag) << "refused settings change nothing";
}

TEST(TermiosLine, ReadBackCheck) {
  termios t = Reported();
  EXPECT_FALSE(TermiosMatches(t, LineSettings{}, false)) << "cooked, 9600";
  ASSERT_TRUE(MakeLineTermios(t, LineSettings{}));
  termios no_parity = t;
  no_parity.c_cflag &= ~PARENB;
  EXPECT_FALSE(TermiosMatches(no_parity, LineSettings{}, true));
  EXPECT_TRUE(TermiosMatches(no_parity, LineSettings{}, false));
  termios slow = t;
  ::cfsetospeed(&slow, B1200);
  EXPECT_FALSE(TermiosMatches(slow, LineSettings{}, false));
  termios echoing = t;
  echoing.c_lflag |= ECHO;
  EXPECT_FALSE(TermiosMatches(echoing, LineSettings{}, false));
}

}  // namespace
}  // namespace qv
