// The receive ring, and the serial port on a real pseudo-terminal: the
// options it asks a device for, opening, writing, receiving into the ring
// with one log line per block, closing under load and failures of the line.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "serial/port_slots.h"
#include "serial/recv_ring.h"
#include "serial/serial_port.h"
#include "serial/tcp_device.h"
#include "serial/termios_line.h"
#include "support/pty_peer.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace test;

TEST(RecvRing, CountsUnreadBytesAcrossTheWrap) {
  // clang-format off
  const std::tuple<int, int, int> cases[] = {{0, 0, 0}, {5, 5, 0}, {100, 40, 60}, {10, 8000, 202},
      {8191, 0, 8191}, {0, 1, 8191}, {0, 8191, 1}, {8191, 8191, 0}};  // head, tail, unread
  // clang-format on
  for (const auto& [head, tail, count] : cases)
    EXPECT_EQ(RecvCount(head, tail, kRecvBufSize), count) << "head " << head << " tail " << tail;
}

TEST(RecvRing, Holds8191UnreadBytesAndDropsTheRest) {
  RecvRing full;
  const Bytes data = Sequence(8191, 3);
  full.Append(data);
  full.Append(Bytes{0xEE});
  EXPECT_EQ(full.RecvHead(), 8191);
  EXPECT_EQ(full.DroppedBytes(), 1u);
  EXPECT_EQ(UnreadOf(full), data);

  RecvRing ring;
  const Bytes first = Sequence(8000, 1);
  ring.Append(first);
  ASSERT_TRUE(ring.SetRecvTail(100));
  const Bytes second = Sequence(500, 0x40);
  ring.Append(second);  // 291 of them fit, 99 past the end: 7900 + 291 = 8191
  EXPECT_EQ(ring.Unread(), 8191);
  EXPECT_EQ(ring.DroppedBytes(), 209u);
  Bytes expected(first.begin() + 100, first.end());
  expected.insert(expected.end(), second.begin(), second.begin() + 291);
  EXPECT_EQ(UnreadOf(ring), expected);
  EXPECT_EQ(ring.RecvHead(), (8000 + 291) & kRecvIndexMask) << "wrapped past the end";
}

TEST(RecvRing, TailMovesOnlyWithinTheUnreadBytes) {
  RecvRing ring;
  ring.Append(Sequence(50));
  EXPECT_FALSE(ring.SetRecvTail(51)) << "past the head";
  EXPECT_FALSE(ring.SetRecvTail(8192)) << "outside the ring";
  EXPECT_TRUE(ring.SetRecvTail(20));
  EXPECT_FALSE(ring.SetRecvTail(10)) << "backwards";
  EXPECT_TRUE(ring.SetRecvTail(50));
  EXPECT_EQ(ring.Unread(), 0);

  // A position taken from a snapshot before a reset no longer applies.
  ring.Append(Sequence(30));
  RecvSnapshot before = ring.Snapshot();
  ring.Reset();
  ring.Append(Sequence(5));
  EXPECT_FALSE(ring.SetRecvTail(before.RecvHead));
  EXPECT_EQ(ring.Unread(), 5);
}

TEST(RecvRing, ResetRecvBuffersEmptiesEveryRing) {
  PortSlots slots;
  for (int n : {1, 7, 32}) {
    slots[n].Append(Sequence(static_cast<size_t>(100 * n)));
    slots[n].SetRecvTail(3);
  }
  slots.ResetRecvBuffers();
  for (int n = 1; n <= kPortSlotCount; ++n)
    EXPECT_TRUE(slots[n].RecvHead() == 0 && slots[n].RecvTail() == 0) << n;
  EXPECT_THROW(slots[0], std::out_of_range);
  EXPECT_THROW(slots[33], std::out_of_range);
}

// A reader thread appends a counting sequence in blocks while the consumer
// takes snapshots and consumes: the consumer sees every byte once, in order.
TEST(RecvRing, AppendAndConsumeOnTwoThreads) {
  RecvRing ring;
  constexpr size_t kTotal = 200000;
  std::jthread reader([&](std::stop_token stop) {
    size_t sent = 0;
    while (sent < kTotal && !stop.stop_requested()) {
      // Leaves the consumer room so that nothing is dropped; 50 us lets it
      // catch up without spinning.
      if (ring.Unread() > 6000) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        continue;
      }
      const size_t n = std::min<size_t>(97, kTotal - sent);
      ring.Append(Sequence(n, static_cast<uint8_t>(sent)));
      sent += n;
    }
  });
  size_t seen = 0;
  bool in_order = true;
  RecvSnapshot s;
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  while (seen < kTotal && std::chrono::steady_clock::now() < end) {
    ring.Snapshot(s);
    uint16_t i = s.RecvTail;
    for (; i != s.RecvHead; i = (i + 1) & kRecvIndexMask, ++seen) {
      in_order = in_order && s.RecvBuf[i] == static_cast<uint8_t>(seen);
    }
    ASSERT_TRUE(ring.SetRecvTail(i));
  }
  EXPECT_EQ(seen, kTotal);
  EXPECT_TRUE(in_order);
  EXPECT_EQ(ring.DroppedBytes(), 0u);
}

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

  PtyPeer peer;
  RecvRing ring;
  OperationLog log;
  LogLines lines{log};
  TSerialPort port{ring, log};
};

TEST_F(SerialPortTest, NumberGivesNameAndDeviceUntilADeviceIsSet) {
  TSerialPort fresh(ring, log);
  EXPECT_EQ(fresh.PortName() + " " + fresh.DevicePath(), "COM1 /dev/ttyS0");
  fresh.SetPortNumber(0);
  EXPECT_EQ(fresh.PortName(), "COM1");
  fresh.SetPortNumber(12);
  EXPECT_EQ(fresh.PortName() + " " + fresh.DevicePath(), "COM12 /dev/ttyS11");
  fresh.SetDevicePath("/dev/ttyUSB0");
  EXPECT_EQ(fresh.DevicePath(), "/dev/ttyUSB0");
}

// The line reads back 2400 baud, 8 data bits, 1 stop bit, raw. (A
// pseudo-terminal always reports no parity: it carries bytes, not bits; the
// even parity is checked on the options the port asks for, TermiosLine.)
TEST_F(SerialPortTest, OpensWritesInQueueOrderClosesAndReopens) {
  EXPECT_FALSE(port.WriteCommData(Bytes{0x68})) << "never opened";
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(port.Open()) << "round " << round;
    EXPECT_FALSE(port.Open()) << "already open";
    EXPECT_TRUE(port.Active() && port.IsOpen() && port.ReaderRunning() && port.WriterRunning());
    termios t{};
    ASSERT_EQ(::tcgetattr(peer.Slave(), &t), 0);
    EXPECT_TRUE(::cfgetispeed(&t) == B2400 && ::cfgetospeed(&t) == B2400);
    EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | CREAD), static_cast<tcflag_t>(CS8 | CREAD));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN) || t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | BRKINT));
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

TEST_F(SerialPortTest, OpenRefusesMissingDevicesAndOtherFiles) {
  TempDir dir;
  std::ofstream(dir.File("plain")) << "x";
  for (const std::string& path : {dir.File("ttyNone"), dir.File("plain")}) {
    port.SetDevicePath(path);
    EXPECT_FALSE(port.Open()) << path;
    EXPECT_FALSE(port.IsOpen() || port.Active()) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("ttyNone"))) << "a missing device is never created";
}

// A burst is one block in the ring and one log line, a later burst another;
// a long one is handed over in blocks of the input queue's 4096 bytes.
TEST_F(SerialPortTest, ReceivedBurstsAreBlocksWithOneLogLineEach) {
  ASSERT_TRUE(port.Open());
  const Bytes burst = {0x68, 0x20, 0xAA, 0x16, 0x68, 0x20, 0xBB, 0x0C, 0x16};
  const std::string dump = " " + ToHex(burst);
  ASSERT_TRUE(peer.Send(burst));
  EXPECT_EQ(Received(1), std::vector<std::string>{dump});
  EXPECT_EQ(Unread(), burst);
  ASSERT_TRUE(peer.Send(Bytes{0x16}));
  EXPECT_EQ(Received(2), (std::vector<std::string>{dump, " 16"}));
  const Bytes data = Sequence(4096 + 100, 7);
  ASSERT_TRUE(peer.Send(data));
  EXPECT_EQ(Received(4),
            (std::vector<std::string>{dump, " 16", " " + ToHex(std::span(data).first(4096)),
                                      " " + ToHex(std::span(data).subspan(4096))}));
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
  ASSERT_TRUE(WaitFor([&] { return UnreadOf(ring).size() == first.size() + second.size(); }));
  EXPECT_TRUE(injected);
  EXPECT_EQ(Unread(), Concat(first, second));
  port.Close();
  EXPECT_EQ(lines.Count(kReceivedLabel), 2u);
}

// A flush asked for on the thread whose log lines flush the ports first
// (the user interface) logs the pending bytes once and does not wait on
// itself.
TEST_F(SerialPortTest, FlushFromTheLoggingThreadLogsOnce) {
  log.SetBeforeLine([&](int) { port.FlushReceived(); });
  ASSERT_TRUE(port.Open());
  const Bytes reply = {0x68, 0x03, 0x16};
  ASSERT_TRUE(peer.Send(reply));
  ASSERT_TRUE(WaitFor([&] { return Unread() == reply; }));
  port.FlushReceived();
  EXPECT_EQ(Received(1), std::vector<std::string>{" " + ToHex(reply)});
  port.Close();
}

// Closing while the writer waits for room on a line nobody reads, and while
// bytes flow both ways.
TEST_F(SerialPortTest, CloseUnderLoad) {
  ASSERT_TRUE(port.Open());
  for (int i = 0; i < 64; ++i)
    ASSERT_TRUE(port.WriteCommData(Sequence(4096)));
  port.Close();
  EXPECT_FALSE(port.WriterRunning());
  ASSERT_TRUE(port.Open());
  peer.Drain();
  {
    std::jthread meter([&](std::stop_token stop) {
      while (!stop.stop_requested()) {
        peer.TrySend(Sequence(64));
        std::this_thread::sleep_for(1ms);  // 64 kB/s: far faster than the line, never idle
      }
    });
    for (int i = 0; i < 50; ++i)
      port.WriteCommData(Sequence(512));
    ASSERT_TRUE(WaitFor([&] { return ring.Unread() >= 1000; }));
    port.Close();
    EXPECT_FALSE(port.Active());
  }

  // The line still works after a new Open.
  ASSERT_TRUE(port.Open());
  peer.Drain();  // whatever of the old output got through
  ASSERT_TRUE(port.WriteCommData(Bytes{0x42}));
  EXPECT_EQ(peer.Receive(1), Bytes{0x42});
}

TEST(SerialPortLog, CloseWhileNobodyDrainsTheLog) {
  PtyPeer peer;
  RecvRing ring;
  OperationLog log(2);
  TSerialPort port(ring, log);
  port.SetDevicePath(peer.Path());
  ASSERT_TRUE(port.Open());
  // Full blocks follow each other with no gap; the log overflows.
  std::jthread meter([&](std::stop_token stop) {
    while (!stop.stop_requested())
      if (peer.TrySend(Sequence(256)) == 0) std::this_thread::sleep_for(1ms);  // full: let it drain
  });
  ASSERT_TRUE(WaitFor([&] { return log.Dropped() > 0; }));
  port.Close();
  EXPECT_FALSE(port.ReaderRunning());
}

// The voluntary context switches of the threads `tids` of this process, or
// -1 unless each sleeps in a wait without a time limit (poll with no
// time-out, or a futex wait with none: a condition variable's wait).
long SwitchesIfWaitingWithoutLimit(const std::vector<std::string>& tids) {
  long total = 0;
  for (const std::string& tid : tids) {
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
    bool sleeping = false;
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("State:")) sleeping = line.find("S (sleeping)") != std::string::npos;
      if (line.starts_with("voluntary_ctxt_switches:")) total += std::stol(line.substr(24));
    }
    if (!unlimited || !sleeping) return -1;
  }
  return total;
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
  long idle = -1;
  ASSERT_TRUE(WaitFor([&] { return (idle = SwitchesIfWaitingWithoutLimit(mine)) >= 0; }))
      << "a wait with a time-out";
  // One byte in: the reader wakes, ends its block after the 100 ms gap and
  // sleeps again; the writer never wakes. A wake-up loop would add many.
  ASSERT_TRUE(peer.Send(Bytes{0x16}));
  ASSERT_TRUE(WaitFor([&] { return lines.Count(kReceivedLabel) == 1; }));
  long after = -1;
  ASSERT_TRUE(WaitFor([&] { return (after = SwitchesIfWaitingWithoutLimit(mine)) >= 0; }));
  EXPECT_LE(after - idle, 5);
}

TEST_F(SerialPortTest, PeerHangUpStopsTheReaderAndRefusesEveryLaterFrame) {
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(peer.Send(Bytes{0x68, 0x16}));
  ASSERT_TRUE(WaitFor([&] { return ring.Unread() == 2; }));
  EXPECT_FALSE(port.Failed());
  peer.HangUp();
  ASSERT_TRUE(WaitFor([&] { return !port.ReaderRunning(); }));
  EXPECT_TRUE(WaitFor([&] { return lines.Count(" 串口COM3读取已停止") == 1; }));
  EXPECT_TRUE(port.Active()) << "the port stays open until its owner closes it";
  EXPECT_TRUE(port.Failed());
  // Nothing is taken for a line that is gone, so nothing is reported sent.
  EXPECT_FALSE(port.WriteCommData(Bytes{0x68}));
  EXPECT_EQ(lines.Count(" 串口COM3读取已停止"), 1u);
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

TEST(TermiosLine, BenchLineIs2400EightEvenOneRawAndReadsBackSo) {
  termios t = Reported();
  EXPECT_FALSE(TermiosMatches(t, LineSettings{}, false)) << "cooked, 9600";
  ASSERT_TRUE(MakeLineTermios(t, LineSettings{}));
  EXPECT_TRUE(::cfgetispeed(&t) == B2400 && ::cfgetospeed(&t) == B2400);
  // Options the line settings do not name (HUPCL, CRTSCTS, IXANY, ONLCR,
  // ECHOE, VINTR) stay as the device reported them.
  constexpr tcflag_t kControl = CSIZE | PARENB | PARODD | CSTOPB | CREAD | CLOCAL | HUPCL | CRTSCTS;
  EXPECT_EQ(t.c_cflag & kControl,
            static_cast<tcflag_t>(CS8 | PARENB | CREAD | CLOCAL | HUPCL | CRTSCTS));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN | ECHOE), static_cast<tcflag_t>(ECHOE));
  EXPECT_EQ(t.c_oflag & (OPOST | ONLCR), static_cast<tcflag_t>(ONLCR));
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | BRKINT | IXANY), static_cast<tcflag_t>(IXANY));
  EXPECT_EQ(std::tuple(t.c_cc[VMIN], t.c_cc[VTIME], t.c_cc[VINTR]), std::tuple(1, 0, 3));
  EXPECT_TRUE(TermiosMatches(t, LineSettings{}, true));
  // Without parity it passes only where parity is not checked; slow or
  // echoing, never.
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

}  // namespace
}  // namespace qv

TEST(TcpDevice, DevicePathsOfSerialDeviceServers) {
  const std::tuple<std::string_view, std::string_view, int> good[] = {
      {"tcp:127.0.0.1:4001", "127.0.0.1", 4001},
      {"tcp:server.local:1", "server.local", 1},
      {"tcp:[fe80::1]:65535", "fe80::1", 65535}};
  for (const auto& [path, host, port] : good) {
    const auto e = qv::ParseTcpDevice(path);
    ASSERT_TRUE(e) << path;
    EXPECT_EQ(std::tuple(e->Host, e->Port), std::tuple(host, port)) << path;
  }
  for (const char* bad : {"tcp:fe80::1:4001", "tcp::4001", "tcp:host:0", "tcp:host:65536",
                          "tcp:host:40x", "tcp:host", "/dev/ttyS0"})
    EXPECT_FALSE(qv::ParseTcpDevice(bad)) << bad;
}
