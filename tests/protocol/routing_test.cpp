// Port slots: which slot and channel a row uses under each wiring, opening
// the rows' ports and giving a row a port. (Start-up opening the ports that
// comminfo.ini names is run by the window tests through the program's own
// start-up.) Then the cycle on real lines (pseudo-terminals playing two
// meters): a reply that comes late in its wait still counts, so its meter is
// never asked again, and the next request keeps the line's guard of silence
// after it; an adapter pulled mid-operation.
#include "protocol/routing.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <latch>
#include <memory>
#include <string>
#include <thread>

#include "protocol/operation_runner.h"
#include "support/hex.h"
#include "support/pty_peer.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace test;

struct RouteCase {
  const char* what;
  int32_t comm_type;
  int row;
  int slot;
  std::optional<int32_t> channel;
  int row0_comm = 5;  // 0: row 0 has no port
};

TEST(RouteForRow, FollowsTheWiring) {
  const RouteCase kCases[] = {
      {"single port: row 0's port for all", kCommSingle, 0, 5, std::nullopt},
      {"single port: row 0's port for all", kCommSingle, 2, 5, std::nullopt},
      {"single port: even a row without a port", kCommSingle, 3, 5, std::nullopt},
      {"one port per meter: own port", kCommMulti, 0, 5, std::nullopt},
      {"one port per meter: COM3 shared", kCommMulti, 1, 3, std::nullopt},
      {"one port per meter: COM3 shared", kCommMulti, 2, 3, std::nullopt},
      {"one port per meter: no port", kCommMulti, 3, 0, std::nullopt},
      {"one port per meter: no such port", kCommMulti, 4, 0, std::nullopt},
      {"infrared: nothing", kCommInfrared, 0, 0, std::nullopt},
      {"infrared: nothing", kCommInfrared, 1, 0, std::nullopt},
      {"channel switch: row 0's port, own channel", kCommChannel, 0, 5, 2},
      {"channel switch: row 0's port, own channel", kCommChannel, 2, 5, 9},
      {"unknown wiring", 4, 0, 0, std::nullopt},
      {"unknown wiring", -1, 1, 0, std::nullopt},
      {"row out of range", kCommMulti, 20, 0, std::nullopt},
      {"row out of range", kCommSingle, -1, 0, std::nullopt},
      {"single port: none on row 0, none for all", kCommSingle, 2, 0, std::nullopt, 0},
      {"channel switch: none on row 0, none for all", kCommChannel, 1, 0, std::nullopt, 0},
  };
  for (const RouteCase& c : kCases) {
    auto s = std::make_unique<SharedState>();
    s->Settings.CommType = c.comm_type;
    // Row 0 on COM5 (unless the case says otherwise) channel 2, rows 1 and 2
    // on COM3 channels 7 and 9, row 3 on no port, row 4 on a port number the
    // bench does not have.
    s->Rows[0] = {"", false, c.row0_comm, 2, {}};
    s->Rows[1] = {"", false, 3, 7, {}};
    s->Rows[2] = {"", false, 3, 9, {}};
    s->Rows[4].Comm = 40;
    const RowRoute r = RouteForRow(*s, c.row);
    EXPECT_EQ(r.Slot, c.slot) << c.what << ", row " << c.row;
    EXPECT_EQ(r.Channel, c.channel) << c.what << ", row " << c.row;
    EXPECT_EQ(r.HasPort(), c.slot != 0);
  }
}

class SlotPortsTest : public ::testing::Test {
 protected:
  SlotPortsTest() {
    state->Settings.CommType = kCommMulti;
    state->PortDevices[3] = com3.Path();
    state->PortDevices[8] = com8.Path();
    state->PortDevices[9] = dir.File("no-such-device");
    state->Slots.CreatePorts(state->PortDevices, state->Log);
  }

  PtyPeer com3;
  PtyPeer com8;
  TempDir dir;
  std::unique_ptr<SharedState> state = std::make_unique<SharedState>();
};

TEST_F(SlotPortsTest, OpenMeterPortsOpensEachNamedPortOnce) {
  state->Rows[0].Comm = 3;
  state->Rows[1].Comm = 9;  // the device is missing: stays closed, logged
  state->Rows[5].Comm = 3;
  state->Rows[6].Comm = 8;
  OpenMeterPorts(*state);
  EXPECT_TRUE(state->Slots[3].PortOpen && state->Slots[8].PortOpen);
  // The missing device stays closed; rows without a port open nothing.
  EXPECT_FALSE(state->Slots[9].PortOpen || state->Slots[1].PortOpen);
  // No message box, but the log says which port and why.
  const auto lines = state->Log.TakePending();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" 串口COM9打开失败：设备" + dir.File("no-such-device") + "不存在"),
            std::string::npos)
      << lines[0];

  // Rows 0 and 5 share slot 3 and its ring.
  EXPECT_EQ(RowSendSlot(*state, 0), &state->Slots[3]);
  EXPECT_EQ(RowSendSlot(*state, 5), &state->Slots[3]);
  EXPECT_EQ(RowSendSlot(*state, 1), nullptr) << "its port is not open";
  EXPECT_EQ(RowSendSlot(*state, 2), nullptr) << "no port";
  ASSERT_TRUE(com3.Send(Bytes{0x68, 0x16}));
  EXPECT_TRUE(WaitFor([&] { return state->Slots[3].Unread() == 2; }));
  EXPECT_EQ(state->Slots[8].Unread(), 0);
}

TEST_F(SlotPortsTest, AssignRowPortOpensOnlyWhatIsNotOpen) {
  EXPECT_TRUE(AssignRowPort(*state, 4, 8));
  EXPECT_EQ(state->Rows[4].Comm, 8);
  EXPECT_TRUE(state->Slots[8].PortOpen);
  EXPECT_TRUE(AssignRowPort(*state, 6, 8)) << "already open: shared";

  EXPECT_FALSE(AssignRowPort(*state, 4, 9));
  EXPECT_EQ(state->Rows[4].Comm, 9) << "the row keeps the number it was given";
  EXPECT_FALSE(state->Slots[9].PortOpen);

  EXPECT_FALSE(AssignRowPort(*state, 6, 0));
  EXPECT_EQ(state->Rows[6].Comm, 0);
  EXPECT_TRUE(state->Slots[8].PortOpen) << "a port no longer named stays open";
  EXPECT_TRUE(state->Slots[8].Port->IsOpen());

  EXPECT_FALSE(AssignRowPort(*state, 4, 33));
  EXPECT_FALSE(AssignRowPort(*state, 20, 3));
  EXPECT_EQ(state->Rows[4].Comm, 9) << "out of range changes nothing";
}

// The real port, in a child process allowed no more threads: its reader
// cannot be started, and the row is left without an open port.
TEST_F(SlotPortsTest, NoThreadForAPortLeavesItClosed) {
  ASSERT_EQ(::chmod(com8.Path().c_str(), 0666), 0);  // the child runs as nobody
  const std::string outcome = RunInChild(
      [&] {
        std::string why;
        const bool open = AssignRowPort(*state, 4, 8, &why);
        return why + (open || state->Slots[8].PortOpen || state->Rows[4].Comm != 8 ? " wrong" : "");
      },
      {.unprivileged = true, .threadLimit = 0});
  EXPECT_EQ(outcome, "Unable to create read thread!");
}

using Clock = std::chrono::steady_clock;

constexpr OperationRow kEnter[] = {{1, "进入检定", Command::kEnterCalibration, 0, 0,
                                    Command::kEnterCalibration, Confirm::kReply, ReplySub::kAny, 0,
                                    ReplyLayout::kNone}};

// The request to meter n and its reply.
Bytes Request(int n) {
  return *BuildRequest(Command::kEnterCalibration, {.address = std::to_string(n)});
}
Bytes Reply(int n) {
  return Complete("68 55 0" + std::to_string(n) + " 00 00 00 00 00 00 A4 05 01 10 01 01 00");
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
  PtyPeer line;
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
  EXPECT_EQ(ToHex(heard), ToHex(Concat(Request(1), Request(2))));
  EXPECT_GE(next_heard - reply_sent, 20ms);
}

// The adapter goes away in the middle of an operation and comes back under
// the same name (a /dev/serial/by-id link): the rows after it end red with
// no frame reported sent, the slot shows the port closed, and the next
// operation opens it again without a restart.
TEST(CycleLine, AnAdapterPulledMidOperationIsOpenedAgainWhenItIsBack) {
  TempDir dir;
  const std::string link = dir.File("by-id-adapter");
  auto line = std::make_unique<PtyPeer>();
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
  LogLines pulled(s.Log);
  EXPECT_EQ(pulled.Count(" 发送数据："), 1u);
  EXPECT_EQ(pulled.Count(" 串口COM1读取已停止"), 1u);

  // Still away (its name gone, as when it is unplugged): the next operation
  // finds no line, sends nothing and reopens nothing.
  line.reset();
  std::filesystem::remove(link);
  ASSERT_TRUE(run.Run(1));
  EXPECT_EQ(run.LampOf(0), Lamp::Red);
  EXPECT_FALSE(s.Slots[1].PortOpen);
  LogLines away(s.Log);
  EXPECT_EQ(away.Count(" 发送数据："), 0u);
  EXPECT_EQ(away.Count(" 串口COM1重新打开"), 0u);
  EXPECT_EQ(away.Count(" 串口COM1打开失败"), 1u);  // one try for the two rows on it

  // Plugged back in: the same name leads to a new line.
  line = std::make_unique<PtyPeer>();
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
  EXPECT_EQ(LogLines(s.Log).Count(" 串口COM1重新打开"), 1u);
}

// Parallel lines, a line per meter: meter 1's adapter goes away after its
// request; meter 2 answers while meter 1's wait runs, the dead line takes no
// second frame, and the port's line stays in its row's lines in the log.
TEST(CycleLine, APulledAdapterHoldsUpNoOtherLine) {
  PtyPeer lines[2];
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
  LogLines logged(s.Log);
  EXPECT_EQ(logged.Count(" 发送数据："), 2u);
  EXPECT_LT(logged.First("对第1个设备"), logged.First(" 串口COM1读取已停止"));
  EXPECT_LT(logged.First(" 串口COM1读取已停止"), logged.First("对第2个设备"));
}

}  // namespace
}  // namespace qv
