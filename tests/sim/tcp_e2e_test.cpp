// A bench behind a serial device server: the program's ports reach the
// virtual bench over loopback TCP exactly as over a pseudo-terminal, and a
// lost connection is taken up again at the next operation.
#include <gtest/gtest.h>

#include "detection/core/flow_detection_run.h"
#include "sim/lib/program_state.h"
#include "support/known_bench.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// A flow point read of two meters on one line, as the detection window runs it.
struct FlowRead {
  explicit FlowRead(bool tcp) {
    sim::BenchOptions options = test::KnownOptions(sim::Wiring::kSingle, 2);
    if (tcp) options.tcp_port = 0;
    bench = std::make_unique<sim::VirtualBench>(options);
    device = test::StartKnown(*bench);
    s.Settings.CommWaitTimer = 1000;
    s.Settings.ReadAgainTimes = 3;
    connected = sim::ConnectProgram(s, *bench);
    s.Rows[0].Selected = s.Rows[1].Selected = true;
    poll = pump.AddTimer(100ms, [this] { flow.Cycle().ReadTimerTick(); });
    flow.on_poll_timers = [this](bool on) { pump.SetActive(poll, on); };
    flow.on_flow_read = [this](int row, int point, const BenchRead& r) {
      reads.push_back({double(row), double(point), r.VolumeL, r.HeatKWh, r.EntreC, r.ExitC});
    };
  }
  ~FlowRead() { s.Slots[1].Port->Close(); }

  // The log's lines without their time stamps; only those starting with
  // `kind` when one is given (where a reader's line falls among the user
  // interface's depends on the moment it arrives).
  std::vector<std::string> Lines(std::string_view kind = "") {
    std::vector<std::string> out;
    for (const std::string& line : s.Log.TakePending()) {
      out.push_back(line.substr(line.find(']') + 1));
      if (!out.back().starts_with(kind)) out.pop_back();
    }
    return out;
  }
  std::vector<Bytes> Heard() const {
    std::vector<Bytes> out;
    for (const sim::ReceivedFrame& f : bench->Received())
      out.push_back(f.bytes);
    return out;
  }

  std::unique_ptr<sim::VirtualBench> bench;
  std::string device;
  bool connected = false;
  SharedState s;
  HeadlessPump pump;
  FlowDetectionRun flow{s, pump};
  HeadlessPump::TimerId poll{};
  std::vector<std::array<double, 6>> reads;
};

TEST(SerialDeviceServer, AFlowReadOverTcpMatchesThePseudoTerminal) {
  FlowRead pty(false), tcp(true);
  ASSERT_TRUE(tcp.device.starts_with("tcp:127.0.0.1:")) << tcp.device;
  for (FlowRead* run : {&pty, &tcp}) {
    ASSERT_TRUE(run->connected) << run->device;
    ASSERT_TRUE(run->flow.Run(kFlowEnterCheck));
    ASSERT_TRUE(run->flow.Run(FlowReadCode(0)));
    EXPECT_EQ(run->flow.LampOf(0), Lamp::Lime);
    EXPECT_EQ(run->flow.LampOf(1), Lamp::Lime);
  }
  EXPECT_EQ(tcp.Heard(), pty.Heard());
  ASSERT_EQ(tcp.reads.size(), 2u);
  EXPECT_EQ(tcp.reads, pty.reads);
  const std::vector<std::string> lines = tcp.Lines(" 收到数据：");
  EXPECT_EQ(lines, pty.Lines(" 收到数据："));
  EXPECT_EQ(lines.size(), 4u);
}

TEST(SerialDeviceServer, ALostConnectionIsTakenUpAtTheNextOperation) {
  FlowRead tcp(true);
  ASSERT_TRUE(tcp.connected);
  ASSERT_TRUE(tcp.flow.Run(kFlowEnterCheck));
  tcp.bench->DropConnections();
  // The reader sees the connection end: the port is failed, not yet closed.
  ASSERT_TRUE(test::WaitFor([&] { return tcp.s.Slots[1].Port->Failed(); }));
  tcp.Lines();
  ASSERT_TRUE(tcp.flow.Run(FlowReadCode(0)));
  EXPECT_EQ(tcp.flow.LampOf(0), Lamp::Lime);
  EXPECT_EQ(tcp.reads.size(), 2u);
  const std::vector<std::string> lines = tcp.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), " 串口COM1重新打开");
}

TEST(SerialDeviceServer, NoServerListeningLeavesThePortClosed) {
  sim::BenchOptions options = test::KnownOptions(sim::Wiring::kSingle, 1);
  options.tcp_port = 0;
  std::string device;
  {
    sim::VirtualBench bench(options);
    device = test::StartKnown(bench);
  }  // its port is free again, and nobody listens there
  SharedState s;
  s.PortDevices[1] = device;
  s.Slots.CreatePorts(s.PortDevices, s.Log);
  EXPECT_FALSE(s.Slots[1].Port->Open());
  EXPECT_FALSE(s.Slots[1].Port->IsOpen());
}

}  // namespace
}  // namespace qv
