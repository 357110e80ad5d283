// bench-sim's options.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/lib/command_line.h"

namespace qv::sim {
namespace {

TEST(CommandLine, DefaultsAreSixteenPacedMetersOnOneLine) {
  SimCommandLine cl;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({}, cl, error)) << error;
  EXPECT_EQ(cl.bench.wiring, Wiring::kSingle);
  EXPECT_EQ(cl.bench.meter_count, 16);
  EXPECT_TRUE(cl.bench.pacing);
  EXPECT_EQ(cl.flow_point, 1);
}

// Arguments given as one blank-separated text.
std::vector<std::string> Args(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string word; in >> word;)
    out.push_back(word);
  return out;
}

TEST(CommandLine, EveryOptionIsTaken) {
  SimCommandLine cl;
  std::string error;
  ASSERT_TRUE(ParseCommandLine(
      Args("--wiring multi --meters=4 --addresses 11,22 --protocol M-BusV2.01,TG --cold 2 "
           "--seed 9 --spread 1.5 --flow-point 3 --inlet 70 --outlet 50 --fluid 25 "
           "--fault silent:1 --fault delay=300:2,3 --fault noise:all --switch-silent "
           "--no-pacing --program-dir /tmp/p --configure"),
      cl, error))
      << error;
  EXPECT_EQ(cl.bench.wiring, Wiring::kMulti);
  EXPECT_EQ(cl.bench.meter_count, 4);
  ASSERT_GE(cl.bench.meters.size(), 4u);
  EXPECT_EQ(cl.bench.meters[0].address, "11");
  EXPECT_EQ(cl.bench.meters[1].address, "22");
  EXPECT_EQ(cl.bench.meters[0].protocol, ProtocolVersion::kV201);
  EXPECT_EQ(cl.bench.meters[3].protocol, ProtocolVersion::kTG);
  EXPECT_EQ(cl.bench.meters[1].kind, MeterKind::kCold);
  EXPECT_EQ(cl.bench.meters[0].kind, MeterKind::kHeat);
  EXPECT_EQ(cl.bench.seed, 9u);
  EXPECT_DOUBLE_EQ(cl.bench.error_spread, 0.015);
  EXPECT_EQ(cl.flow_point, 3);
  EXPECT_EQ(cl.inlet_c, 70);
  EXPECT_EQ(cl.outlet_c, 50);
  EXPECT_EQ(cl.fluid_c, 25);
  EXPECT_TRUE(cl.bench.meters[0].faults.silent);
  EXPECT_EQ(cl.bench.meters[2].faults.delay, std::chrono::milliseconds(300));
  EXPECT_TRUE(cl.bench.meters[3].faults.noise);
  EXPECT_TRUE(cl.bench.switch_silent);
  EXPECT_FALSE(cl.bench.pacing);
  EXPECT_EQ(cl.program_dir, "/tmp/p");
  EXPECT_TRUE(cl.configure);
}

TEST(CommandLine, BadArgumentsAreRefusedWithAReason) {
  for (const char* bad : {"--meters 0", "--meters 21", "--wiring star", "--protocol V9",
                          "--fault loud:1", "--fault silent:0", "--flow-point 6", "--inlet 200",
                          "--configure", "--seed", "--bogus", "--fault delay=x:1"}) {
    SimCommandLine cl;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(Args(bad), cl, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace qv::sim
