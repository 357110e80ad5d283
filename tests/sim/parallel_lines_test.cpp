// Parallel lines against the virtual bench, a line per meter on
// pseudo-terminals: every line hears what it hears when the rows are served
// one after another, the log reads the same, a silent meter holds up no
// other line, and a cancel ends every line.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/cycle_bench.h"
#include "support/known_bench.h"
#include "tools/core/set_para_run.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
constexpr int kMeters = 4;
const sim::MeterFaults kSilent{.silent = true};

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
  bench->SetFaults(1, kSilent);
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

// Meter 1 is silent: meter 2, on a line of its own, has answered while the
// first of meter 1's two attempts was still waiting.
TEST_F(ParallelLinesBench, ASilentMeterHoldsUpNoOtherLine) {
  bench->SetFaults(0, kSilent);
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
  EXPECT_EQ(first_line_heard, 1u);
  EXPECT_EQ(Heard(0)[0].size(), 2u);
}

// Two silent meters on two lines: a cancel while both wait ends both
// lines, with no further attempt on either.
TEST_F(ParallelLinesBench, ACancelEndsEveryLine) {
  bench->SetFaults(0, kSilent);
  bench->SetFaults(1, kSilent);
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
