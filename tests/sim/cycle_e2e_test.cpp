// The program's transaction cycle against the virtual bench, through real
// pseudo-terminals and the program's own serial ports: frames come from the
// program's builders, replies from the simulated meters.
#include <gtest/gtest.h>

#include "sim/lib/virtual_bench.h"
#include "support/cycle_bench.h"
#include "support/pty_peer.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using sim::Wiring;

using test::CycleBench;

TEST_F(CycleBench, EveryWiringReachesEveryMeter) {
  for (Wiring wiring : {Wiring::kSingle, Wiring::kMulti, Wiring::kChannel}) {
    SCOPED_TRACE(std::string(sim::WiringText(wiring)));
    TearDown();
    s.ChannelState.fill(0);
    Start(wiring, 3);
    ASSERT_TRUE(flow.Run(kFlowEnterCheck));
    for (int r = 0; r < 3; ++r) {
      EXPECT_EQ(flow.LampOf(r), Lamp::Lime) << r;
      EXPECT_TRUE(bench->Meter(r).verifying) << r;
    }
  }
}

TEST_F(CycleBench, AConnectedChannelIsNotAskedForAgain) {
  Start(Wiring::kChannel, 2);
  s.Rows[1].Selected = false;
  flow.Run(kFlowEnterCheck);
  EXPECT_EQ(SwitchFrames(), 1u);
  EXPECT_EQ(s.ChannelState[0], 1);
  flow.Run(FlowReadCode(0));
  EXPECT_EQ(SwitchFrames(), 1u);
  EXPECT_EQ(flow.LampOf(0), Lamp::Lime);
  // Another meter's channel: one more switch frame, and channel 1 is the open one.
  s.Rows[1].Selected = true;
  s.Rows[0].Selected = false;
  flow.Run(FlowReadCode(0));
  EXPECT_EQ(SwitchFrames(), 2u);
  EXPECT_EQ(s.ChannelState[0], 0);
  EXPECT_EQ(s.ChannelState[1], 1);
}

TEST_F(CycleBench, ASilentSwitchLeavesTheRowRedWithItsLines) {
  Start(Wiring::kChannel, 1);
  bench->SetSwitchSilent(true);
  s.Settings.ReadAgainTimes = 1;
  flow.Run(kFlowEnterCheck);
  EXPECT_EQ(flow.LampOf(0), Lamp::Red);
  test::LogLines logged(s.Log);
  EXPECT_EQ(logged.Count(" 通道打开失败"), 1u);
  EXPECT_EQ(logged.Count(" 发送数据："), 0u);
}

TEST_F(CycleBench, ASilentMeterEndsRedBetweenAnsweringNeighbours) {
  Start(Wiring::kSingle, 3);
  bench->SetFaults(1, {.silent = true});
  std::vector<int> read_rows;
  flow.on_flow_read = [&](int row, int point, const BenchRead& r) {
    EXPECT_EQ(point, 2);
    EXPECT_GT(r.VolumeL, 0);
    read_rows.push_back(row);
  };
  flow.Run(FlowReadCode(2));
  EXPECT_EQ(flow.LampOf(0), Lamp::Lime);
  EXPECT_EQ(flow.LampOf(1), Lamp::Red);
  EXPECT_EQ(flow.LampOf(2), Lamp::Lime);
  EXPECT_EQ(read_rows, (std::vector<int>{0, 2}));
}

TEST_F(CycleBench, CompensationWritesTheCorrectedCoefficient) {
  Start(Wiring::kSingle, 1);
  ASSERT_TRUE(flow.Compensate(0, 1, 9876));
  EXPECT_EQ(flow.LampOf(0), Lamp::Lime);
  EXPECT_EQ(bench->Meter(0).coefficients[1], 9876);
  const auto lines = s.Log.TakePending();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines.front().find(" 操作类型：对第1仪表的流量二补偿操作开始"), std::string::npos);
  EXPECT_NE(lines.back().find(" 操作类型：对第1仪表的流量二补偿操作结束"), std::string::npos);
}

TEST_F(CycleBench, MeteringDataInEveryProtocolVersion) {
  using enum sim::ProtocolVersion;
  const sim::ProtocolVersion versions[] = {kV201, kV202, kV203, kV301, kTG};
  std::vector<sim::MeterSetup> setups(5);
  for (size_t i = 0; i < 5; ++i)
    setups[i].protocol = versions[i];
  setups[3].kind = sim::MeterKind::kCold;
  Start(Wiring::kMulti, 5, setups);
  reading.FillFromSelection();
  ASSERT_EQ(reading.rows.size(), 5u);
  for (size_t i = 0; i < 5; ++i)
    reading.rows[i].Version = std::string(sim::ProtocolText(versions[i]));
  // The TG meter's row holds the eight digits its operator knows.
  ASSERT_EQ(reading.rows[4].Address.size(), 8u);
  reading.cold_meter = false;
  ASSERT_TRUE(reading.ReadData({0, 1, 2, 3, 4}));
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(reading.rows[i].Version);
    EXPECT_EQ(reading.rows[i].State, RowState::Answered);
    EXPECT_EQ(reading.rows[i].Column(ReadingColumn::CommResult), "数据返回正确");
    EXPECT_FALSE(reading.rows[i].Column(ReadingColumn::MeterClock).empty());
  }
}

TEST_F(CycleBench, ClockSettingAndBroadcast) {
  Start(Wiring::kSingle, 2);
  bench->UpdateMeter(0, [](sim::MeterState& m) { m.clock_offset_s = -3600; });
  reading.FillFromSelection();
  ASSERT_TRUE(reading.SetClock({0, 1}));
  EXPECT_EQ(reading.rows[0].Column(ReadingColumn::CommResult), "系统对时返回正确");
  EXPECT_EQ(reading.rows[1].Column(ReadingColumn::CommResult), "系统对时返回正确");
  EXPECT_LE(std::abs(bench->Meter(0).clock_offset_s), 2);

  const size_t before = bench->ReceivedCount();
  s.Settings.ReadAgainTimes = 3;
  ASSERT_TRUE(reading.BroadcastClock());
  ASSERT_TRUE(bench->WaitReceived(before + 3, 5000ms));
  const auto frames = bench->Received();
  ASSERT_EQ(frames.size(), before + 3);
  for (size_t i = before; i < frames.size(); ++i)
    EXPECT_TRUE(frames[i].answers.empty());
}

}  // namespace
}  // namespace qv
