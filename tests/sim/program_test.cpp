// bench-sim the program: its options, the settings files it leaves for the
// program (read back with the program's own loaders), the shared state it
// sets up for tests, and the program itself run end to end.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/settings_files.h"
#include "core/shared_state.h"
#include "serial/port_slots.h"
#include "sim/lib/command_line.h"
#include "sim/lib/program_files.h"
#include "sim/lib/program_state.h"
#include "support/pty_peer.h"
#include "support/temp_files.h"

namespace qv::sim {
namespace {

using namespace qv::test;

TEST(CommandLine, DefaultsAreSixteenPacedMetersOnOneLine) {
  SimCommandLine cl;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({}, cl, error)) << error;
  EXPECT_EQ(std::tuple(cl.bench.wiring, cl.bench.meter_count, cl.bench.pacing, cl.flow_point),
            std::tuple(Wiring::kSingle, 16, true, 1));
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
           "--no-pacing --program-dir /tmp/p --configure --scale sbi --scale-fault unstable"),
      cl, error))
      << error;
  const BenchOptions& o = cl.bench;
  EXPECT_EQ(std::tuple(o.wiring, o.meter_count, o.seed, o.error_spread, o.switch_silent, o.pacing),
            std::tuple(Wiring::kMulti, 4, uint64_t{9}, 0.015, true, false));
  ASSERT_GE(o.meters.size(), 4u);
  EXPECT_EQ(o.meters[0].address + "," + o.meters[1].address, "11,22");
  EXPECT_EQ(std::tuple(o.meters[0].protocol, o.meters[3].protocol),
            std::tuple(ProtocolVersion::kV201, ProtocolVersion::kTG));
  EXPECT_EQ(std::tuple(o.meters[0].kind, o.meters[1].kind),
            std::tuple(MeterKind::kHeat, MeterKind::kCold));
  EXPECT_TRUE(o.meters[0].faults.silent && o.meters[3].faults.noise);
  EXPECT_EQ(o.meters[2].faults.delay, std::chrono::milliseconds(300));
  EXPECT_EQ(std::tuple(cl.flow_point, cl.inlet_c, cl.outlet_c, cl.fluid_c),
            std::tuple(3, std::optional(70.0), std::optional(50.0), std::optional(25.0)));
  EXPECT_EQ(std::tuple(cl.program_dir, cl.configure), std::tuple(std::string("/tmp/p"), true));
  EXPECT_EQ(std::tuple(o.scale, o.scale_fault),
            std::tuple(std::optional(ScaleProtocol::kSbi), ScaleFault::kUnstable));
}

TEST(CommandLine, BadArgumentsAreRefusedWithAReason) {
  for (const char* bad : {"--meters 0", "--meters 21", "--wiring star", "--protocol V9",
                          "--fault loud:1", "--fault silent:0", "--flow-point 6", "--inlet 200",
                          "--configure", "--seed", "--bogus", "--fault delay=x:1", "--scale x",
                          "--scale-fault unstable", "--scale ascii --scale-fault loud"}) {
    SimCommandLine cl;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(Args(bad), cl, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

namespace fs = std::filesystem;

void Load(const std::string& dir, BenchState& state) {
  state.ProgramDir = dir;
  LoadSysInfo(state);
  LoadCommInfo(state);
}

TEST(ProgramFiles, MultiWiringGivesEachRowItsPortAndKeepsTheRest) {
  TempDir dir;
  std::ofstream(dir.File("comminfo.ini")) << "; bench PC\n[Devices]\n32=/dev/ttyUSB0\n";
  std::ofstream(dir.File("sysinfo.ini")) << "[BaseParam]\nLanguage=1\nDN=4\n";
  std::string error;
  ASSERT_TRUE(WriteProgramFiles(
      {dir.Dir(), Wiring::kMulti, 3, {"/dev/pts/71", "/dev/pts/72", "/dev/pts/73"}, true}, error))
      << error;
  BenchState state;
  Load(dir.Dir(), state);
  EXPECT_EQ(std::tuple(state.Settings.CommType, state.Settings.MeterNum, state.Settings.Language,
                       state.Settings.DN),
            std::tuple(kCommMulti, 3, 1, 4));
  for (int row = 0; row < kMeterRows; ++row) {
    EXPECT_EQ(state.Rows[static_cast<size_t>(row)].Comm, row < 3 ? row + 1 : 0) << row;
    EXPECT_EQ(state.Rows[static_cast<size_t>(row)].Channel, 0) << row;
  }
  EXPECT_EQ(state.PortDevices[1], "/dev/pts/71");
  EXPECT_EQ(state.PortDevices[3], "/dev/pts/73");
  EXPECT_EQ(state.PortDevices[32], "/dev/ttyUSB0");
  EXPECT_NE(ReadFile(dir.File("comminfo.ini")).find("; bench PC"), std::string::npos);
}

// The scale's line follows its protocol: a parity left from another scale
// is emptied.
TEST(ProgramFiles, WithoutConfigureOnlyTheDevicesAndTheScaleChange) {
  TempDir dir;
  std::ofstream(dir.File("comminfo.ini"))
      << "[Comm]\n0=7\n[Channel]\n0=2\n[Scale]\nDevice=/dev/ttyUSB3\nParity=E\n";
  std::string error;
  ASSERT_TRUE(WriteProgramFiles(
      {dir.Dir(), Wiring::kSingle, 4, {"/dev/pts/9"}, false, "/dev/pts/10", ScaleProtocol::kSbi},
      error));
  BenchState state;
  Load(dir.Dir(), state);
  EXPECT_EQ(state.Rows[0].Comm, 7);
  EXPECT_EQ(state.Rows[0].Channel, 2);
  EXPECT_EQ(state.PortDevices[1], "/dev/pts/9");
  EXPECT_EQ(state.Scale.Device, "/dev/pts/10");
  EXPECT_EQ(state.Scale.Protocol, ScaleProtocol::kSbi);
  EXPECT_EQ(state.Scale.Line(), DefaultScaleLine(ScaleProtocol::kSbi));
  EXPECT_FALSE(fs::exists(dir.File("sysinfo.ini")));
}

TEST(ProgramFiles, SingleWiringPutsEveryRowOnPortOne) {
  for (int row = 0; row < kMeterRows; ++row) {
    EXPECT_EQ(RowWiringFor(Wiring::kSingle, 5, row).comm, 1);
    EXPECT_EQ(RowWiringFor(Wiring::kSingle, 5, row).channel, 0);
  }
  EXPECT_EQ(CommTypeFor(Wiring::kSingle), kCommSingle);
  EXPECT_EQ(CommTypeFor(Wiring::kChannel), kCommChannel);
}

TEST(ProgramFiles, UnwritableDirectoryIsReported) {
  std::string error;
  EXPECT_FALSE(
      WriteProgramFiles({"/proc/no-such-dir", Wiring::kSingle, 1, {"/dev/pts/9"}, true}, error));
  EXPECT_NE(error.find("Unable to write to "), std::string::npos) << error;
}

// The bench-sim program beside the test programs' folder.
std::string BenchSimPath() {
  return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bench-sim").string();
}

TEST(BenchSimProgram, ConfiguresAReadyChannelSwitchBench) {
  const std::string program = BenchSimPath();
  TempDir dir;
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], 1);
    execl(program.c_str(), program.c_str(), "--wiring", "channel", "--meters", "16",
          "--program-dir", dir.Dir().c_str(), "--configure", "--no-pacing",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  // What it prints up to its "ready" line.
  std::string printed;
  char buf[512];
  for (ssize_t n; !printed.ends_with("Ctrl+C\n") && (n = read(out[0], buf, sizeof buf)) > 0;)
    printed.append(buf, static_cast<size_t>(n));
  ASSERT_NE(printed.find("ready"), std::string::npos) << program << ": " << printed;
  const size_t at = printed.find("port 1: ") + 8;
  const std::string device = printed.substr(at, printed.find('\n', at) - at);
  EXPECT_NE(printed.find("meter 16: address 00002024000016"), std::string::npos) << printed;

  BenchState state;
  Load(dir.Dir(), state);
  EXPECT_EQ(std::tuple(state.Settings.CommType, state.Settings.MeterNum, state.PortDevices[1]),
            std::tuple(kCommChannel, 16, device));
  for (int row = 0; row < 16; ++row) {
    EXPECT_EQ(state.Rows[static_cast<size_t>(row)].Comm, 1) << row;
    EXPECT_EQ(state.Rows[static_cast<size_t>(row)].Channel, row) << row;
  }
  // The line answers: connect channel 3, then stop the program.
  EXPECT_EQ(PtyPeer(device).Exchange("FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 FF "
                                     "AA A9 AA AA AA AA AA AA 11 16",
                                     24),
            "68 56 AB CD EF 12 34 56 78 B9 0B 12 34 FF 00 01 00 00 00 00 00 00 43 16");
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  close(out[0]);
}

TEST(BenchSimProgram, ExitStatusOfBadOptionsAndHelp) {
  for (const auto& [options, status] : {std::pair(" --meters 21", 2),
                                        {" --wiring channel --meters 17", 1},
                                        {" --configure", 2},
                                        {" --help", 0}}) {
    const std::string command = BenchSimPath() + options + " >/dev/null 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), status) << command;
  }
}

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
