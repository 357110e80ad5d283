// The serial port on a real pseudo-terminal: opening, line settings,
// writing through the writer thread, receiving into the ring with one log
// line per block, closing under load and failures of the line.
#include "serial/serial_port.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "support/pty_peer.h"

namespace qv {
namespace {

using namespace testing_serial;

class SerialPortTest : public ::testing::Test {
 protected:
  SerialPortTest() {
    port.SetPortNumber(3);
    port.SetDevicePath(peer.Path());
  }

  // The ring's unread bytes in order.
  Bytes Unread() const {
    RecvSnapshot s = ring.Snapshot();
    Bytes out;
    for (uint16_t i = s.RecvTail; i != s.RecvHead; i = (i + 1) & kRecvIndexMask) {
      out.push_back(s.RecvBuf[i]);
    }
    return out;
  }
  bool RingHolds(size_t n) const { return static_cast<size_t>(ring.Unread()) >= n; }

  PtyPeer peer;
  RecvRing ring;
  OperationLog log;
  LogLines lines{log};
  TSerialPort port{ring, log};
};

TEST_F(SerialPortTest, DefaultsAndNaming) {
  RecvRing r;
  OperationLog l;
  TSerialPort fresh(r, l);
  EXPECT_EQ(fresh.PortNumber(), 1);
  EXPECT_EQ(fresh.PortName(), "COM1");
  EXPECT_EQ(fresh.DevicePath(), "/dev/ttyS0");
  EXPECT_EQ(fresh.BaudRate(), 2400u);
  EXPECT_EQ(fresh.InQueueSize(), 4096u);
  EXPECT_EQ(fresh.ReadIntervalTimeout(), 100u);
  EXPECT_FALSE(fresh.Active());
  fresh.SetPortNumber(0);
  EXPECT_EQ(fresh.PortName(), "COM1");
  fresh.SetPortNumber(12);
  EXPECT_EQ(fresh.PortName(), "COM12");
  EXPECT_EQ(fresh.DevicePath(), "/dev/ttyS11");
  fresh.SetDevicePath("/dev/ttyUSB0");
  EXPECT_EQ(fresh.DevicePath(), "/dev/ttyUSB0");
}

TEST_F(SerialPortTest, OpensClosesAndReopens) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(port.Open()) << "round " << round;
    EXPECT_TRUE(port.Active());
    EXPECT_TRUE(port.ReaderRunning());
    EXPECT_TRUE(port.WriterRunning());
    const Bytes frame = {0x68, static_cast<uint8_t>(round), 0x16};
    ASSERT_TRUE(port.WriteCommData(frame));
    EXPECT_EQ(peer.Receive(frame.size()), frame);
    port.Close();
    EXPECT_FALSE(port.Active());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.ReaderRunning());
    EXPECT_FALSE(port.WriterRunning());
  }
  port.Close();  // closing a closed port does nothing
}

TEST_F(SerialPortTest, OpenOnOpenPortFailsAndChangesNothing) {
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.Open());
  EXPECT_TRUE(port.Active());
  ASSERT_TRUE(port.WriteCommData(Bytes{1, 2, 3}));
  EXPECT_EQ(peer.Receive(3), (Bytes{1, 2, 3}));
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
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_FALSE(t.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | BRKINT));
}

TEST_F(SerialPortTest, OpenRefusesMissingDevicesAndOtherFiles) {
  TempDir dir;
  const std::string missing = dir.Dir() + "ttyNone";
  port.SetDevicePath(missing);
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(missing)) << "a missing device is never created";

  const std::string plain = dir.Dir() + "plain";
  std::ofstream(plain) << "x";
  port.SetDevicePath(plain);
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.Active());
}

TEST_F(SerialPortTest, WriteCommDataRefusesEmptyBlocksAndClosedPorts) {
  const Bytes frame = {0x68, 0x16};
  EXPECT_FALSE(port.WriteCommData(frame)) << "never opened";
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.WriteCommData(frame.data(), 0));
  EXPECT_FALSE(port.WriteCommData(nullptr, 5));
  EXPECT_TRUE(port.WriteCommData(frame));
  EXPECT_EQ(peer.Receive(2), frame);
  port.Close();
  EXPECT_FALSE(port.WriteCommData(frame)) << "closed";
}

TEST_F(SerialPortTest, BlocksLeaveTheLineInQueueOrder) {
  ASSERT_TRUE(port.Open());
  const Bytes a = Sequence(40, 0x10);
  const Bytes b = Sequence(900, 0x80);
  const Bytes c = {0x16};
  ASSERT_TRUE(port.WriteCommData(a));
  ASSERT_TRUE(port.WriteCommData(b));
  ASSERT_TRUE(port.WriteCommData(c));
  EXPECT_EQ(peer.Receive(a.size() + b.size() + c.size()), Concat(Concat(a, b), c));
}

TEST_F(SerialPortTest, ReceivedBurstIsOneBlockInTheRingAndOneLogLine) {
  ASSERT_TRUE(port.Open());
  const Bytes frame1 = {0x68, 0x20, 0xAA, 0x16};
  const Bytes frame2 = {0x68, 0x20, 0xBB, 0x0C, 0x16};
  const Bytes burst = Concat(frame1, frame2);
  ASSERT_TRUE(peer.Send(burst));
  ASSERT_TRUE(WaitFor([&] { return lines.Count(kReceivedLabel) >= 1; }));
  EXPECT_EQ(Unread(), burst);
  const std::string& line = lines.Take().front();
  EXPECT_EQ(line.substr(line.find(kReceivedLabel)), std::string(kReceivedLabel) + Dump(burst));

  // The next burst is a block and a line of its own, after the first.
  const Bytes single = {0x16};
  ASSERT_TRUE(peer.Send(single));
  ASSERT_TRUE(WaitFor([&] { return lines.Count(kReceivedLabel) >= 2; }));
  EXPECT_EQ(Unread(), Concat(burst, single));
  EXPECT_EQ(lines.Count(kReceivedLabel), 2u);
  const std::string& last = lines.Take().back();
  EXPECT_EQ(last.substr(last.find(kReceivedLabel)), std::string(kReceivedLabel) + " 16");
}

TEST_F(SerialPortTest, LongInputIsHandedOverInBlocksOfInQueueSize) {
  ASSERT_TRUE(port.Open());
  const Bytes data = Sequence(4096 + 100, 7);
  ASSERT_TRUE(peer.Send(data));
  ASSERT_TRUE(WaitFor([&] { return lines.Count(kReceivedLabel) >= 2; }));
  EXPECT_EQ(Unread(), data);
  EXPECT_EQ(lines.Count(kReceivedLabel), 2u);
  EXPECT_EQ(lines.Take().front().substr(lines.Take().front().find(kReceivedLabel)),
            std::string(kReceivedLabel) + Dump(Bytes(data.begin(), data.begin() + 4096)));
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

// Threads of this process and their status fields, from /proc.
std::map<std::string, std::string> ThreadStatus(const std::string& tid) {
  std::map<std::string, std::string> fields;
  std::ifstream in("/proc/self/task/" + tid + "/status");
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const size_t value = line.find_first_not_of(" \t", colon + 1);
    fields[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
  }
  return fields;
}

std::set<std::string> ThreadIds() {
  std::set<std::string> ids;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
    ids.insert(e.path().filename().string());
  }
  return ids;
}

TEST_F(SerialPortTest, IdleOpenPortThreadsSleep) {
  // A sanitizer runtime starts a helper thread along with the first thread
  // of a process: let that happen before counting the port's threads.
  std::thread([] {}).join();
  const std::set<std::string> before = ThreadIds();
  ASSERT_TRUE(port.Open());
  std::vector<std::string> mine;
  auto asleep = [&] {
    mine.clear();
    for (const std::string& id : ThreadIds()) {
      if (before.count(id)) continue;
      mine.push_back(id);
      if (ThreadStatus(id)["State"].rfind("S", 0) != 0) return false;
    }
    return mine.size() == 2;
  };
  ASSERT_TRUE(WaitFor(asleep)) << "reader and writer block";
  auto switches = [&] {
    long total = 0;
    for (const std::string& id : mine)
      total += std::stol(ThreadStatus(id)["voluntary_ctxt_switches"]);
    return total;
  };
  const long start = switches();
  // A loop with a short time-out would wake several times in this window;
  // blocked threads do not wake at all.
  std::this_thread::sleep_for(500ms);
  EXPECT_LE(switches() - start, 1);
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

}  // namespace
}  // namespace qv
