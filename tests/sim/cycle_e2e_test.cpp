// The program's transaction cycle against the virtual bench, through real
// pseudo-terminals and the program's own serial ports: frames come from the
// program's builders, replies from the simulated meters. On parallel lines
// (a line per meter) every line hears what it hears when the rows are
// served one after another, the log reads the same, a silent meter holds up
// no other line, and a cancel ends every line.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/lib/virtual_bench.h"
#include "support/cycle_bench.h"
#include "support/known_bench.h"
#include "support/pty_peer.h"
#include "tools/core/set_para_run.h"

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

constexpr int kMeters = 4;

class ParallelLinesBench : public test::CycleBench {
 protected:
  // The meters' clocks read alike in every run.
  void SetUp() override { Start(sim::Wiring::kMulti, kMeters, {}, test::FixedClock); }
  SetParaRun para{s, pump};
};

// The operations of the bench windows, the meter-reading window and the
// parameter window's read-address loop, with meter 2 silent and row 4
// given no port: what the lines hear and what the log says is the same
// whether the rows are served one after another or on their lines at once.
TEST_F(ParallelLinesBench, EachLineHearsWhatItHeardInTurnAndTheLogReadsTheSame) {
  bench->SetFaults(1, {.silent = true});
  s.Rows[3].Comm = 0;
  const std::pair<const char*, std::function<bool()>> operations[] = {
      {"bench command", [&] { return flow.Run(kFlowEnterCheck); }},
      {"metering data",
       [&] {
         reading.FillFromSelection();
         return reading.ReadData({0, 1, 2, 3});
       }},
      {"read address", [&] { return para.ReadAddresses(); }},
  };
  for (const auto& [name, run] : operations) {
    SCOPED_TRACE(name);
    std::map<int, std::vector<std::string>> heard[2];
    std::vector<std::string> logged[2];
    for (const bool parallel : {false, true}) {
      s.Settings.ParallelLines = parallel;
      const size_t from = bench->ReceivedCount();
      Logged();
      ASSERT_TRUE(run());
      heard[parallel] = Heard(from);
      logged[parallel] = Logged();
    }
    EXPECT_EQ(heard[1].size(), size_t{kMeters - 1});
    EXPECT_EQ(heard[1], heard[0]);
    EXPECT_EQ(logged[1], logged[0]);
    EXPECT_EQ(heard[1][1].size(), 2u);  // meter 2 asked twice
  }
}

// Meter 1 is silent: meter 2, on a line of its own, has answered before
// meter 1's second attempt went out (how soon the bench's thread notes the
// first one depends on the machine's load).
TEST_F(ParallelLinesBench, ASilentMeterHoldsUpNoOtherLine) {
  bench->SetFaults(0, {.silent = true});
  s.Settings.ParallelLines = true;
  s.Settings.CommWaitTimer = 2000;
  std::vector<std::pair<int, Lamp>> lamps;
  size_t first_line_heard = 0;
  flow.on_lamp = [&](int row, Lamp lamp) {
    if (lamp == Lamp::ButtonFace) return;
    lamps.emplace_back(row, lamp);
    if (row == 1) first_line_heard = Heard(0)[0].size();
  };
  ASSERT_TRUE(flow.Run(kFlowEnterCheck));
  EXPECT_LT(std::ranges::find(lamps, std::pair(1, Lamp::Lime)),
            std::ranges::find(lamps, std::pair(0, Lamp::Red)));
  EXPECT_EQ(lamps.back(), std::pair(0, Lamp::Red));
  EXPECT_LT(first_line_heard, 2u);
  EXPECT_EQ(Heard(0)[0].size(), 2u);
}

// Two silent meters on two lines: a cancel while both wait ends both
// lines, with no further attempt on either.
TEST_F(ParallelLinesBench, ACancelEndsEveryLine) {
  bench->SetFaults(0, {.silent = true});
  bench->SetFaults(1, {.silent = true});
  s.Rows[2].Selected = s.Rows[3].Selected = false;
  s.Settings.ParallelLines = true;
  s.Settings.ReadAgainTimes = 3;
  const auto cancel = pump.AddTimer(10ms, [&] {
    if (bench->ReceivedCount() == 2) flow.Cancel();
  });
  pump.SetActive(cancel, true);
  ASSERT_TRUE(flow.Run(kFlowEnterCheck));
  test::LogLines logged(s.Log);
  EXPECT_EQ(logged.Count(" 发送数据："), 2u);
  EXPECT_EQ(logged.Count("操作已取消"), 1u);
  EXPECT_EQ(flow.LampOf(0), Lamp::Red);
  EXPECT_EQ(flow.LampOf(1), Lamp::Red);
}

}  // namespace
}  // namespace qv
