#include "sim/lib/program_state.h"

#include <gtest/gtest.h>

#include "serial/port_slots.h"

namespace qv::sim {
namespace {

TEST(ProgramState, OperatorAddresses) {
  MeterState m;
  m.address = *SimAddress::FromText("2024000001");
  EXPECT_EQ(OperatorAddress(m), "2024000001");
  m.address = *SimAddress::FromText("11110024000005");
  m.protocol = ProtocolVersion::kTG;
  EXPECT_EQ(OperatorAddress(m), "24000005");
}

TEST(ProgramState, ChannelBenchRowsShareTheSwitchLine) {
  BenchOptions options;
  options.wiring = Wiring::kChannel;
  options.meter_count = 3;
  VirtualBench bench(options);
  std::string error;
  ASSERT_TRUE(bench.Start(error)) << error;
  SharedState s;
  ASSERT_TRUE(ConnectProgram(s, bench));
  EXPECT_EQ(s.Settings.CommType, kCommChannel);
  EXPECT_EQ(s.Settings.MeterNum, 3);
  EXPECT_EQ(s.Rows[2].Comm, 1);
  EXPECT_EQ(s.Rows[2].Channel, 2);
  EXPECT_EQ(s.Rows[2].Address, "2024000003");
  EXPECT_FALSE(s.Rows[2].Selected);
  EXPECT_EQ(s.Rows[3].Comm, 0);
  s.Slots[1].Port->Close();
}

}  // namespace
}  // namespace qv::sim
