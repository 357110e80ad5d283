// The transaction cycle on synthetic rings: replies are appended to a slot's
// ring by a timer of the headless pump, as a port's reader would.
#include "protocol/cycle.h"

#include <gtest/gtest.h>

#include "protocol/operation_runner.h"
#include "reading/core/reading_run.h"
#include "serial/port_slots.h"
#include "support/fake_transport.h"
#include "support/hex.h"
#include "support/log_lines.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

using test::Complete;
using test::Hex;

// The mode reply (A4 01 10) of meter 00000000000001 and 00000000000002.
const Bytes kModeReply1 = Complete("68 55 01 00 00 00 00 00 00 A4 05 01 10 01 01 00");
const Bytes kModeReply2 = Complete("68 55 02 00 00 00 00 00 00 A4 05 01 10 01 01 00");

// A bench window with two operations: code 1 is confirmed by the mode
// reply, code 10 (which sends Initialise) is not.
constexpr OperationRow kModeOperations[] = {
    {1, "进入检定", Command::kEnterCalibration, 0, 0, Command::kEnterCalibration, Confirm::kReply,
     ReplySub::kAny, 0, ReplyLayout::kNone},
    {10, "退出检定", Command::kInitialise, 0, 0, Command::kInitialise, Confirm::kTestReply,
     ReplySub::kAny, 0, ReplyLayout::kNone},
};

class CycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.Settings.MeterNum = 4;
    s.Settings.ReadAgainTimes = 1;
    s.Settings.CommWaitTimer = 1000;
    s.Settings.CommType = kCommSingle;
    for (int r = 0; r < 4; ++r) {
      s.Rows[r].Address = std::to_string(r + 1);
      s.Rows[r].Comm = 3;
    }
    // The slot takes frames as if open; no line is behind its port.
    s.Slots.CreatePorts(s.PortDevices, s.Log);
    s.Slots[3].Port = std::make_unique<testing_support::FakeTransport>();
    s.Slots[3].PortOpen = true;
    read_timer = pump.AddTimer(100ms, [this] { window.Cycle().ReadTimerTick(); });
    window.on_poll_timers = [this](bool on) { pump.SetActive(read_timer, on); };
    window.on_reply = [this](int, const OperationRow&, std::span<const uint8_t>) { ++decoded; };
  }

  // Appends `bytes` to slot 3's ring once, `after` from now.
  void ReplyAfter(std::chrono::milliseconds after, Bytes bytes) {
    auto once = std::make_shared<bool>(false);
    const auto id = pump.AddTimer(after, [this, bytes, once] {
      if (!*once) s.Slots[3].Append(bytes);
      *once = true;
    });
    pump.SetActive(id, true);
  }
  size_t Sent() { return log.Count(" 发送数据："); }

  SharedState s;
  // Every reply comes from the pump's timers: its waits take no wall time.
  HeadlessPump pump{HeadlessPump::Time::kVirtual};
  BenchRun window{s, pump, kModeOperations};
  int decoded = 0;  // replies the window took
  HeadlessPump::TimerId read_timer{};
  test::LogLines log{s.Log};
};

TEST(WaitPeriods, NearestWithHalvesToEven) {
  // Wait, period and periods; a wait half-way between two counts takes the
  // even one (250 of 500: 0, 750 of 500: 2).
  const std::tuple<uint32_t, uint32_t, uint32_t> cases[] = {
      {1000, 500, 2}, {249, 500, 0},   {250, 500, 0},   {251, 500, 1},    {750, 500, 2},
      {1250, 500, 2}, {1500, 1000, 2}, {2500, 1000, 2}, {65535, 500, 131}};
  for (const auto& [wait, period, periods] : cases)
    EXPECT_EQ(WaitPeriods(wait, period), periods) << wait << " / " << period;
}

TEST_F(CycleTest, AnsweredRowTurnsLimeAndTheSilentOneRed) {
  s.Settings.ReadAgainTimes = 2;
  s.Rows[0].Selected = s.Rows[1].Selected = true;
  ReplyAfter(200ms, kModeReply1);
  ASSERT_TRUE(window.Run(1));
  EXPECT_EQ(window.LampOf(0), Lamp::Lime);
  EXPECT_EQ(window.LampOf(1), Lamp::Red);
  EXPECT_EQ(decoded, 1);
  EXPECT_EQ(window.CurrentOperation(), 0);
  EXPECT_EQ(window.CurrentRow(), -1);
  EXPECT_FALSE(pump.Active(read_timer));
  // Row 1 answered at the first attempt, row 2 used both; no line for silence.
  EXPECT_EQ(Sent(), 3u);
  EXPECT_EQ(log.Count("操作类型：对第1个设备的进行进入检定操作"), 1u);
  EXPECT_EQ(log.Count("操作类型：对第2个设备的进行进入检定操作"), 1u);
  EXPECT_EQ(log.Count("操作类型：进入检定操作结束"), 1u);
  EXPECT_EQ(log.Take().size(), 6u);
}

TEST_F(CycleTest, ReplyForAnotherRowTurnsThatRowLimeAndUnknownAddressesChangeNothing) {
  s.Rows[0].Selected = s.Rows[1].Selected = true;
  ReplyAfter(150ms, Complete("68 55 09 00 00 00 00 00 00 A4 05 01 10 01 01 00"));
  ReplyAfter(200ms, kModeReply2);
  window.Run(1);
  EXPECT_EQ(window.LampOf(0), Lamp::Red);
  EXPECT_EQ(window.LampOf(1), Lamp::Lime);
  EXPECT_EQ(decoded, 1);
  EXPECT_EQ(s.Slots[3].Unread(), 0);
}

TEST_F(CycleTest, CorruptRepliesAndRepliesOfOtherOperationsAreDropped) {
  s.Rows[0].Selected = true;
  Bytes bad = kModeReply1;
  bad[bad.size() - 2] ^= 0xFF;
  ReplyAfter(150ms, bad);
  window.Run(1);
  EXPECT_EQ(window.LampOf(0), Lamp::Red);
  EXPECT_EQ(s.Slots[3].Unread(), 0);

  // Code 10 is not accepted by this window: the good reply is consumed only.
  window.Run(10);
  EXPECT_EQ(window.LampOf(0), Lamp::Red);
  EXPECT_EQ(decoded, 0);
}

TEST_F(CycleTest, NoAttemptsSendNothing) {
  s.Settings.ReadAgainTimes = 0;
  s.Rows[0].Selected = true;
  window.Run(1);
  EXPECT_EQ(Sent(), 0u);
  EXPECT_EQ(window.LampOf(0), Lamp::Red);
}

// Rows whose address builds no frame ("zz") go red; rows beyond MeterNum
// are not looked at.
TEST_F(CycleTest, NoFrameMeansNothingSentAndARedRow) {
  s.Settings.MeterNum = 3;
  s.Rows[0].Selected = s.Rows[2].Selected = s.Rows[3].Selected = true;
  s.Rows[0].Address = s.Rows[2].Address = "zz";
  window.Run(1);
  EXPECT_EQ(Sent(), 0u);
  EXPECT_EQ(log.Count("操作类型：进入检定操作结束"), 1u);
  EXPECT_EQ(window.LampOf(0), Lamp::Red);
  EXPECT_EQ(window.LampOf(1), Lamp::ButtonFace);  // not selected
  EXPECT_EQ(window.LampOf(2), Lamp::Red);
  EXPECT_EQ(window.LampOf(3), Lamp::ButtonFace);
}

// No open port, or no such wiring: no frame goes out. Infrared sends
// nothing but logs the frame.
TEST_F(CycleTest, OnlyAnOpenPortOrInfraredTakesAFrame) {
  const Bytes frame = Hex("FE FE FE 68 55 01 00 00 00 00 00 00 24 05 01 10 01 01 00 F3 16");
  s.Slots[3].PortOpen = false;
  EXPECT_NE(window.Cycle().SendFrame(0, frame), SendResult::kSent);
  s.Settings.CommType = 7;
  s.Slots[3].PortOpen = true;
  EXPECT_NE(window.Cycle().SendFrame(0, frame), SendResult::kSent);
  EXPECT_EQ(Sent(), 0u);
  s.Settings.CommType = kCommInfrared;
  s.Slots[3].PortOpen = false;
  EXPECT_EQ(window.Cycle().SendFrame(0, frame), SendResult::kSent);
  EXPECT_EQ(log.Count(" 发送数据： FE FE FE 68 55"), 1u);
}

TEST_F(CycleTest, ASecondOperationIsRefusedWhileOneRuns) {
  s.Rows[0].Selected = true;
  int refused = 0;
  bool inner = true;
  window.on_refused = [&] { ++refused; };
  const auto nested = pump.AddTimer(100ms, [&] { inner = window.Run(10); });
  pump.SetActive(nested, true);
  window.Run(1);
  pump.SetActive(nested, false);
  EXPECT_FALSE(inner);
  EXPECT_GE(refused, 1);
  EXPECT_EQ(log.Count("退出检定"), 0u);
  EXPECT_FALSE(s.OperationRunning);
}

TEST_F(CycleTest, CancelEndsTheRunWithoutFurtherFrames) {
  for (int r = 0; r < 4; ++r)
    s.Rows[r].Selected = true;
  const auto stop = pump.AddTimer(300ms, [&] { window.Cancel(); });
  pump.SetActive(stop, true);
  window.Run(1);
  EXPECT_EQ(Sent(), 1u);
  EXPECT_EQ(window.CurrentOperation(), 0);
  EXPECT_FALSE(s.OperationRunning);
}

// The meter-reading window's copy of the cycle.
class ReadingTest : public CycleTest {
 protected:
  void SetUp() override {
    CycleTest::SetUp();
    reading_timer = pump.AddTimer(100ms, [this] { reading.Cycle().ReadTimerTick(); });
    reading.on_poll_timers = [this](bool on) { pump.SetActive(reading_timer, on); };
    s.Rows[0].Selected = s.Rows[2].Selected = true;
    reading.FillFromSelection();
  }
  ReadingRun reading{s, pump};
  HeadlessPump::TimerId reading_timer{};
};

// A clock-set reply from meter 3 (position 2).
const Bytes kClockReply3 = Complete("68 20 03 00 00 00 00 00 00 84 03 A0 15 01");

TEST_F(ReadingTest, RowsFollowTheirMeterPosition) {
  ASSERT_EQ(reading.rows.size(), 2u);
  EXPECT_EQ(reading.rows[1].Position, 2);
  EXPECT_EQ(reading.rows[1].Version, "M-BusV3.01");
  ReplyAfter(200ms, kClockReply3);
  reading.SetClock({1});
  EXPECT_EQ(reading.rows[1].State, RowState::Answered);
  EXPECT_EQ(reading.rows[1].Column(ReadingColumn::CommResult), "系统对时返回正确");
  EXPECT_EQ(log.Count("操作类型：对第3个设备的进行系统对时操作"), 1u);
  EXPECT_EQ(reading.rows[0].State, RowState::Pending);
}

TEST_F(ReadingTest, ShortWaitsHaveNoPeriodAndMarkTheRowFailed) {
  s.Settings.CommWaitTimer = 200;
  s.Settings.ReadAgainTimes = 2;
  reading.ReadData({0});
  EXPECT_EQ(reading.rows[0].State, RowState::Failed);
  EXPECT_EQ(reading.rows[0].Column(ReadingColumn::CommResult), "没有数据返回");
  EXPECT_EQ(reading.rows[0].Column(ReadingColumn::Settlement), "─");
  EXPECT_EQ(Sent(), 2u);
}

// A bad reply is said while the attempt runs; a reply after the attempt's
// end is consumed and changes nothing.
TEST_F(ReadingTest, BadAndLateClockRepliesLeaveTheRowFailed) {
  Bytes bad = kClockReply3;
  bad.back() = 0x00;
  ReplyAfter(150ms, bad);
  std::vector<std::string> results;
  reading.on_row = [&](size_t i) {
    if (i == 1) results.push_back(reading.rows[1].Column(ReadingColumn::CommResult));
  };
  reading.SetClock({1});
  EXPECT_NE(std::find(results.begin(), results.end(), "系统对时返回数据不完整"), results.end());
  EXPECT_EQ(reading.rows[1].Column(ReadingColumn::CommResult), "没有数据返回");
  ASSERT_EQ(reading.rows[1].State, RowState::Failed);
  s.Slots[3].Append(kClockReply3);
  reading.Cycle().ReadTimerTick();
  EXPECT_EQ(reading.rows[1].State, RowState::Failed);
  EXPECT_EQ(s.Slots[3].Unread(), 0);
}

// A metering reply of meter 1 ("M-BusV2.02"): heat 1200 kWh in G2.
Bytes MeteringReply1() {
  return Complete(
      "68 20 01 00 00 00 00 00 00 81 2E 90 1F 01"
      " 00 00 00 00 05  00 12 00 00 05  00 00 00 00 05  00 00 00 00 32  00 00 00 00 2C"
      " 00 50 00  00 40 00  00 00 00  30 59 23 31 12 25 20  00 00");
}

TEST_F(ReadingTest, MeteringRepliesFillTheRowOrSayWhatWasWrong) {
  reading.rows[0].Version = "M-BusV2.02";
  ReplyAfter(150ms, MeteringReply1());
  reading.ReadData({0});
  EXPECT_EQ(reading.rows[0].State, RowState::Answered);
  EXPECT_EQ(reading.rows[0].Column(ReadingColumn::CurrentHeat), "1200");
  EXPECT_EQ(reading.rows[0].Column(ReadingColumn::MeterClock), "2025-12-31 23:59:30");
  EXPECT_EQ(reading.rows[0].Column(ReadingColumn::CommResult), "数据返回正确");

  // Decoded on the tick that sees them; the attempt's end then says no reply,
  // so the texts are checked as each reply is decoded.
  for (auto [damage, text] : {std::pair{0, "返回校验错误"}, std::pair{1, "返回数据不完整"}}) {
    Bytes bad = MeteringReply1();
    (damage == 0 ? bad[bad.size() - 2] : bad.back()) ^= 0x01;
    std::string seen;
    reading.on_row = [&](size_t i) {
      if (i == 0 && reading.rows[0].State == RowState::Failed && seen.empty()) {
        seen = reading.rows[0].Column(ReadingColumn::CommResult);
      }
    };
    ReplyAfter(150ms, bad);
    reading.ReadData({0});
    EXPECT_EQ(seen, text);
    EXPECT_EQ(reading.rows[0].Column(ReadingColumn::HeatPower), "─");
  }
}

TEST_F(ReadingTest, BroadcastSendsEveryAttemptAndWaitsForNone) {
  s.Settings.ReadAgainTimes = 3;
  reading.BroadcastClock();
  EXPECT_EQ(log.Count(" 发送数据： FE FE FE 68 20 AA AA AA AA AA AA AA 04"), 3u);
  EXPECT_EQ(log.Count("操作类型：广播对时操作结束"), 1u);
  EXPECT_FALSE(pump.Active(reading_timer));
}

TEST_F(ReadingTest, UnknownVersionsAreSkipped) {
  reading.rows[0].Version = "M-Bus";
  reading.ReadData({0});
  EXPECT_EQ(Sent(), 0u);
  EXPECT_EQ(reading.rows[0].State, RowState::Pending);
}

}  // namespace
}  // namespace qv
