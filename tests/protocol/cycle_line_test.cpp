// The cycle on a real line (a pseudo-terminal playing two meters): a reply
// that comes late in its wait still counts, so its meter is never asked
// again, and the next request keeps the line's guard of silence after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <latch>
#include <thread>

#include "protocol/operation_runner.h"
#include "protocol/routing.h"
#include "support/hex.h"
#include "support/pty_peer.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr OperationRow kEnter[] = {{1, "进入检定", Command::kEnterCalibration, 0, 0,
                                    Command::kEnterCalibration, Confirm::kReply, ReplySub::kAny, 0,
                                    ReplyLayout::kNone}};

// The request to meter n and its reply.
Bytes Request(int n) {
  return *BuildRequest(Command::kEnterCalibration, {.address = std::to_string(n)});
}
Bytes Reply(int n) {
  return test::Complete("68 55 0" + std::to_string(n) + " 00 00 00 00 00 00 A4 05 01 10 01 01 00");
}

// Meters 1 and 2, selected, on one line or on a line each (in parallel),
// with `attempts` of two seconds; the ports opened.
void WireTwoMeters(SharedState& s, int attempts, const std::vector<std::string>& lines) {
  s.Settings.MeterNum = 2;
  s.Settings.ReadAgainTimes = attempts;
  s.Settings.CommWaitTimer = 2000;
  s.Settings.CommType = lines.size() == 1 ? kCommSingle : kCommMulti;
  s.Settings.ParallelLines = lines.size() > 1;
  for (size_t i = 0; i < lines.size(); ++i)
    s.PortDevices[i + 1] = lines[i];
  for (int r = 0; r < 2; ++r)
    s.Rows[r] = {std::to_string(r + 1), true, lines.size() == 1 ? 1 : r + 1, 0, {}};
  s.Slots.CreatePorts(s.PortDevices, s.Log);
  OpenMeterPorts(s);
}

TEST(CycleLine, ALateReplyCountsAndTheNextRequestKeepsTheGuard) {
  test::PtyPeer line;
  SharedState s;
  WireTwoMeters(s, 3, {line.Path()});
  ASSERT_TRUE(s.Slots[1].PortOpen);

  // Meter 1 answers late in its wait (with room to spare on a busy
  // machine); meter 2 at once.
  Bytes heard;
  Clock::time_point reply_sent, next_heard;
  std::thread meters([&] {
    heard = line.Receive(Request(1).size());
    std::this_thread::sleep_for(1500ms);
    line.Send(Reply(1));
    reply_sent = Clock::now();
    const Bytes next = line.Receive(Request(2).size());
    next_heard = Clock::now();
    heard.insert(heard.end(), next.begin(), next.end());
    line.Send(Reply(2));
  });

  HeadlessPump pump;
  BenchRun run(s, pump, kEnter);
  ASSERT_TRUE(run.Run(1));
  meters.join();
  s.Slots[1].Port->Close();

  EXPECT_EQ(run.LampOf(0), Lamp::Lime);
  EXPECT_EQ(run.LampOf(1), Lamp::Lime);
  // Meter 1 was asked once: what came after its request was meter 2's.
  EXPECT_EQ(test::ToHex(heard), test::ToHex(test::Concat(Request(1), Request(2))));
  EXPECT_GE(next_heard - reply_sent, 20ms);
}

// The adapter goes away in the middle of an operation and comes back under
// the same name (a /dev/serial/by-id link): the rows after it end red with
// no frame reported sent, the slot shows the port closed, and the next
// operation opens it again without a restart.
TEST(CycleLine, AnAdapterPulledMidOperationIsOpenedAgainWhenItIsBack) {
  test::TempDir dir;
  const std::string link = dir.File("by-id-adapter");
  auto line = std::make_unique<test::PtyPeer>();
  std::filesystem::create_symlink(line->Path(), link);
  SharedState s;
  WireTwoMeters(s, 2, {link});
  ASSERT_TRUE(s.Slots[1].PortOpen);

  std::thread pull([&] {
    line->Receive(Request(1).size());
    line->HangUp();  // meter 1's request reached the line, then it went away
  });
  HeadlessPump pump;
  BenchRun run(s, pump, kEnter);
  ASSERT_TRUE(run.Run(1));
  pull.join();
  EXPECT_EQ(run.LampOf(0), Lamp::Red);
  EXPECT_EQ(run.LampOf(1), Lamp::Red);
  EXPECT_FALSE(s.Slots[1].PortOpen);
  test::LogLines pulled(s.Log);
  EXPECT_EQ(pulled.Count(" 发送数据："), 1u);
  EXPECT_EQ(pulled.Count(" 串口COM1读取已停止"), 1u);

  // Still away (its name gone, as when it is unplugged): the next operation
  // finds no line, sends nothing and reopens nothing.
  line.reset();
  std::filesystem::remove(link);
  ASSERT_TRUE(run.Run(1));
  EXPECT_EQ(run.LampOf(0), Lamp::Red);
  EXPECT_FALSE(s.Slots[1].PortOpen);
  test::LogLines away(s.Log);
  EXPECT_EQ(away.Count(" 发送数据："), 0u);
  EXPECT_EQ(away.Count(" 串口COM1重新打开"), 0u);
  EXPECT_EQ(away.Count(" 串口COM1打开失败"), 1u);  // one try for the two rows on it

  // Plugged back in: the same name leads to a new line.
  line = std::make_unique<test::PtyPeer>();
  std::filesystem::create_symlink(line->Path(), link);
  std::thread meters([&] {
    for (int n = 1; n <= 2; ++n) {
      line->Receive(Request(n).size());
      line->Send(Reply(n));
    }
  });
  ASSERT_TRUE(run.Run(1));
  meters.join();
  s.Slots[1].Port->Close();
  EXPECT_EQ(run.LampOf(0), Lamp::Lime);
  EXPECT_EQ(run.LampOf(1), Lamp::Lime);
  EXPECT_EQ(test::LogLines(s.Log).Count(" 串口COM1重新打开"), 1u);
}

// Parallel lines, a line per meter: meter 1's adapter goes away after its
// request; meter 2 answers while meter 1's wait runs, the dead line takes no
// second frame, and the port's line stays in its row's lines in the log.
TEST(CycleLine, APulledAdapterHoldsUpNoOtherLine) {
  test::PtyPeer lines[2];
  SharedState s;
  WireTwoMeters(s, 2, {lines[0].Path(), lines[1].Path()});
  ASSERT_TRUE(s.Slots[1].PortOpen && s.Slots[2].PortOpen);

  std::latch pulled(1);
  std::thread pull([&] {
    lines[0].Receive(Request(1).size());
    lines[0].HangUp();
    pulled.count_down();
  });
  std::thread meter([&] {
    lines[1].Receive(Request(2).size());
    pulled.wait();
    lines[1].Send(Reply(2));
  });
  HeadlessPump pump;
  BenchRun run(s, pump, kEnter);
  std::vector<std::pair<int, Lamp>> lamps;
  run.on_lamp = [&](int row, Lamp lamp) { lamps.emplace_back(row, lamp); };
  ASSERT_TRUE(run.Run(1));
  pull.join();
  meter.join();
  s.Slots[2].Port->Close();

  EXPECT_LT(std::ranges::find(lamps, std::pair(1, Lamp::Lime)),
            std::ranges::find(lamps, std::pair(0, Lamp::Red)));
  EXPECT_EQ(lamps.back(), std::pair(0, Lamp::Red));
  test::LogLines logged(s.Log);
  EXPECT_EQ(logged.Count(" 发送数据："), 2u);
  EXPECT_LT(logged.First("对第1个设备"), logged.First(" 串口COM1读取已停止"));
  EXPECT_LT(logged.First(" 串口COM1读取已停止"), logged.First("对第2个设备"));
}

}  // namespace
}  // namespace qv
