// The serial port on a real pseudo-terminal: the options it asks a device
// for, opening, line settings, writing through the writer thread, receiving
// into the ring with one log line per block, closing under load and failures
// of the line.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "serial/serial_port.h"
#include "serial/termios_line.h"
#include "support/pty_peer.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace test;

class SerialPortTest : public ::testing::Test {
 protected:
  SerialPortTest() {
    port.SetPortNumber(3);
    port.SetDevicePath(peer.Path());
  }

  Bytes Unread() const { return UnreadOf(ring); }
  // The byte dumps of the "received" log lines, once there are `count`.
  std::vector<std::string> Received(size_t count) {
    WaitFor([&] { return lines.Count(kReceivedLabel) >= count; });
    std::vector<std::string> dumps;
    for (const std::string& line : lines.Take())
      if (const size_t at = line.find(kReceivedLabel); at != std::string::npos)
        dumps.push_back(line.substr(at + kReceivedLabel.size()));
    return dumps;
  }
  bool RingHolds(size_t n) const { return static_cast<size_t>(ring.Unread()) >= n; }

  PtyPeer peer;
  RecvRing ring;
  OperationLog log;
  LogLines lines{log};
  TSerialPort port{ring, log};
};

TEST(SerialPortNaming, NumberGivesNameAndDeviceUntilADeviceIsSet) {
  RecvRing ring;
  OperationLog log;
  TSerialPort port(ring, log);
  EXPECT_EQ(port.PortName(), "COM1");
  EXPECT_EQ(port.DevicePath(), "/dev/ttyS0");
  port.SetPortNumber(0);
  EXPECT_EQ(port.PortName(), "COM1");
  port.SetPortNumber(12);
  EXPECT_EQ(port.PortName(), "COM12");
  EXPECT_EQ(port.DevicePath(), "/dev/ttyS11");
  port.SetDevicePath("/dev/ttyUSB0");
  EXPECT_EQ(port.DevicePath(), "/dev/ttyUSB0");
}

TEST_F(SerialPortTest, OpensWritesInQueueOrderClosesAndReopens) {
  EXPECT_FALSE(port.WriteCommData(Bytes{0x68})) << "never opened";
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(port.Open()) << "round " << round;
    EXPECT_FALSE(port.Open()) << "already open";
    EXPECT_TRUE(port.Active() && port.IsOpen() && port.ReaderRunning() && port.WriterRunning());
    const Bytes a = Sequence(40, static_cast<uint8_t>(round)), b = Sequence(900, 0x80);
    EXPECT_FALSE(port.WriteCommData(a.data(), 0));
    EXPECT_FALSE(port.WriteCommData(nullptr, 5));
    ASSERT_TRUE(port.WriteCommData(a));
    ASSERT_TRUE(port.WriteCommData(b));
    ASSERT_TRUE(port.WriteCommData(Bytes{0x16}));
    EXPECT_EQ(peer.Receive(a.size() + b.size() + 1), Concat(Concat(a, b), Bytes{0x16}));
    port.Close();
    EXPECT_FALSE(port.Active() || port.IsOpen() || port.ReaderRunning() || port.WriterRunning());
    EXPECT_FALSE(port.WriteCommData(a)) << "closed";
  }
  port.Close();  // closing a closed port does nothing
}

TEST_F(SerialPortTest, HeldDeviceCannotBeOpenedAgain) {
  ASSERT_TRUE(port.Open());
  RecvRing other_ring;
  TSerialPort other(other_ring, log);
  other.SetDevicePath(peer.Path());
  EXPECT_FALSE(other.Open());
  std::unique_ptr<SerialDevice> raw = MakeSerialDevice();
  EXPECT_TRUE(raw->Open(peer.Path()));
  int exclusive = 0;
  ASSERT_EQ(::ioctl(peer.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_NE(exclusive, 0);

  port.Close();
  ASSERT_EQ(::ioctl(peer.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0) << "closing gives the device back";
  EXPECT_TRUE(other.Open());
}

// A pseudo-terminal always reports no parity (it carries bytes, not bits);
// the even parity itself is checked on the options the port asks for, in
// termios_line_test.cpp.
TEST_F(SerialPortTest, LineSettingsRead2400EightBitsOneStopRaw) {
  ASSERT_TRUE(port.Open());
  termios t{};
  ASSERT_EQ(::tcgetattr(peer.Slave(), &t), 0);
  EXPECT_EQ(::cfgetispeed(&t), B2400);
  EXPECT_EQ(::cfgetospeed(&t), B2400);
  EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | CREAD), static_cast<tcflag_t>(CS8 | CREAD));
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_FALSE(t.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | BRKINT));
}

TEST_F(SerialPortTest, OpenRefusesMissingDevicesAndOtherFiles) {
  TempDir dir;
  const std::string missing = dir.File("ttyNone");
  port.SetDevicePath(missing);
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(missing)) << "a missing device is never created";

  const std::string plain = dir.File("plain");
  std::ofstream(plain) << "x";
  port.SetDevicePath(plain);
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.Active());
}

// A burst is one block in the ring and one log line, a later burst another;
// a long one is handed over in blocks of the input queue's 4096 bytes.
TEST_F(SerialPortTest, ReceivedBurstsAreBlocksWithOneLogLineEach) {
  ASSERT_TRUE(port.Open());
  const Bytes burst = {0x68, 0x20, 0xAA, 0x16, 0x68, 0x20, 0xBB, 0x0C, 0x16};
  ASSERT_TRUE(peer.Send(burst));
  EXPECT_EQ(Received(1), std::vector<std::string>{Dump(burst)});
  EXPECT_EQ(Unread(), burst);
  ASSERT_TRUE(peer.Send(Bytes{0x16}));
  EXPECT_EQ(Received(2), (std::vector<std::string>{Dump(burst), " 16"}));
  const Bytes data = Sequence(4096 + 100, 7);
  ASSERT_TRUE(peer.Send(data));
  EXPECT_EQ(Received(4), (std::vector<std::string>{Dump(burst), " 16",
                                                   Dump(Bytes(data.begin(), data.begin() + 4096)),
                                                   Dump(Bytes(data.begin() + 4096, data.end()))}));
  EXPECT_EQ(Unread(), Concat(Concat(burst, Bytes{0x16}), data));
}

TEST_F(SerialPortTest, BytesArrivingWhileTheReaderHandsOverAreKept) {
  const Bytes first = {0x68, 0x01, 0x16};
  const Bytes second = {0x68, 0x02, 0x02, 0x16};
  std::atomic<bool> injected{false};
  // The wake-up runs on the reader thread while it hands the first block
  // over: the second burst arrives while no read is pending.
  log.SetWakeup([&] {
    if (!injected.exchange(true)) peer.Send(second);
  });
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(peer.Send(first));
  ASSERT_TRUE(WaitFor([&] { return RingHolds(first.size() + second.size()); }));
  EXPECT_TRUE(injected);
  EXPECT_EQ(Unread(), Concat(first, second));
  port.Close();
  EXPECT_EQ(lines.Count(kReceivedLabel), 2u);
}

TEST_F(SerialPortTest, CloseDuringTrafficInBothDirections) {
  ASSERT_TRUE(port.Open());
  std::atomic<bool> stop{false};
  std::thread meter([&] {
    const Bytes chunk = Sequence(64);
    while (!stop) {
      peer.TrySend(chunk);
      std::this_thread::sleep_for(1ms);  // 64 kB/s: far faster than the line, never idle
    }
  });
  for (int i = 0; i < 50; ++i)
    port.WriteCommData(Sequence(512));
  ASSERT_TRUE(WaitFor([&] { return RingHolds(1000); }));
  port.Close();
  EXPECT_FALSE(port.Active());
  stop = true;
  meter.join();

  // The line still works after a new Open.
  ASSERT_TRUE(port.Open());
  peer.Drain();  // whatever of the old output got through
  ASSERT_TRUE(port.WriteCommData(Bytes{0x42}));
  EXPECT_EQ(peer.Receive(1), Bytes{0x42});
}

TEST_F(SerialPortTest, CloseWhileTheWriterWaitsForRoomOnTheLine) {
  ASSERT_TRUE(port.Open());
  // Nobody reads the line: the writer soon waits for the driver to take more.
  for (int i = 0; i < 64; ++i)
    ASSERT_TRUE(port.WriteCommData(Sequence(4096)));
  port.Close();
  EXPECT_FALSE(port.WriterRunning());
  ASSERT_TRUE(port.Open());
}

TEST(SerialPortLog, CloseWhileNobodyDrainsTheLog) {
  PtyPeer peer;
  RecvRing ring;
  OperationLog log(2);
  TSerialPort port(ring, log);
  port.SetDevicePath(peer.Path());
  ASSERT_TRUE(port.Open());
  std::atomic<bool> stop{false};
  std::thread meter([&] {
    const Bytes chunk = Sequence(256);
    while (!stop) {
      if (peer.TrySend(chunk) == 0) std::this_thread::sleep_for(1ms);  // full: let it drain
    }
  });
  // Full blocks follow each other with no gap; the log overflows.
  ASSERT_TRUE(WaitFor([&] { return log.Dropped() > 0; }));
  port.Close();
  EXPECT_FALSE(port.ReaderRunning());
  stop = true;
  meter.join();
}

// A thread of this process: its voluntary context switches, or -1 unless
// it sleeps in a wait without a time limit (poll with no time-out, or a
// futex wait with none: a condition variable's wait).
long SwitchesIfWaitingWithoutLimit(const std::string& tid) {
  const std::string task = "/proc/self/task/" + tid;
  std::ifstream syscall(task + "/syscall");
  long nr = -1;
  unsigned long long arg[4] = {};
  syscall >> nr >> std::hex >> arg[0] >> arg[1] >> arg[2] >> arg[3];
  const bool unlimited =
#ifdef SYS_poll
      (nr == SYS_poll && static_cast<int>(arg[2]) < 0) ||
#endif
      (nr == SYS_ppoll && arg[2] == 0) || (nr == SYS_futex && arg[3] == 0);
  std::ifstream status(task + "/status");
  std::string line;
  bool sleeping = false;
  long switches = -1;
  while (std::getline(status, line)) {
    if (line.starts_with("State:")) sleeping = line.find("S (sleeping)") != std::string::npos;
    if (line.starts_with("voluntary_ctxt_switches:")) switches = std::stol(line.substr(24));
  }
  return unlimited && sleeping ? switches : -1;
}

std::set<std::string> ThreadIds() {
  std::set<std::string> ids;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
    ids.insert(e.path().filename().string());
  return ids;
}

TEST_F(SerialPortTest, IdleOpenPortThreadsWaitWithoutLimit) {
  // A sanitizer runtime starts a helper thread along with the first thread
  // of a process: let that happen before telling the port's threads apart.
  std::thread([] {}).join();
  const std::set<std::string> before = ThreadIds();
  ASSERT_TRUE(port.Open());
  std::vector<std::string> mine;
  for (const std::string& id : ThreadIds())
    if (!before.count(id)) mine.push_back(id);
  ASSERT_EQ(mine.size(), 2u) << "a reader and a writer";
  // Their switches, once both sleep without a time limit; -1 until then.
  auto switches = [&] {
    long total = 0;
    for (const std::string& id : mine) {
      const long n = SwitchesIfWaitingWithoutLimit(id);
      if (n < 0) return -1L;
      total += n;
    }
    return total;
  };
  long idle = -1;
  ASSERT_TRUE(WaitFor([&] { return (idle = switches()) >= 0; })) << "a wait with a time-out";
  // One byte in: the reader wakes, ends its block after the 100 ms gap and
  // sleeps again; the writer never wakes. A wake-up loop would add many.
  ASSERT_TRUE(peer.Send(Bytes{0x16}));
  ASSERT_TRUE(WaitFor([&] { return lines.Count(kReceivedLabel) == 1; }));
  long after = -1;
  ASSERT_TRUE(WaitFor([&] { return (after = switches()) >= 0; }));
  EXPECT_LE(after - idle, 5);
}

TEST_F(SerialPortTest, PeerHangUpEndsBothThreadsWithOneLineEach) {
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(peer.Send(Bytes{0x68, 0x16}));
  ASSERT_TRUE(WaitFor([&] { return RingHolds(2); }));
  peer.HangUp();
  ASSERT_TRUE(WaitFor([&] { return !port.ReaderRunning(); }));
  EXPECT_TRUE(WaitFor([&] { return lines.Count(" 串口COM3读取已停止") == 1; }));
  EXPECT_TRUE(port.Active()) << "the port stays open for everybody else";
  EXPECT_TRUE(port.WriterRunning());

  // The next block fails on the line; from then on WriteCommData refuses.
  ASSERT_TRUE(port.WriteCommData(Bytes{0x68}));
  ASSERT_TRUE(WaitFor([&] { return !port.WriterRunning(); }));
  EXPECT_FALSE(port.WriteCommData(Bytes{0x68}));
  EXPECT_EQ(lines.Count(" 串口COM3写入已停止"), 1u);
  EXPECT_EQ(lines.Count(" 串口COM3读取已停止"), 1u);
  EXPECT_TRUE(port.Active());
  port.Close();
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(Unread(), (Bytes{0x68, 0x16}));
}

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
