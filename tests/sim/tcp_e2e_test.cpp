// A bench behind a serial device server, bench-sim's own or Debian's
// ser2net in front of the bench's pseudo-terminal: the program's ports reach
// the virtual bench over loopback TCP exactly as over the pseudo-terminal,
// and a lost connection is taken up again at the next operation.
#include <gtest/gtest.h>

#include <thread>

#include "sim/lib/flood_server.h"
#include "support/cycle_bench.h"
#include "support/known_bench.h"
#include "support/ser2net.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// How the program reaches the bench's line; kFlood reaches a server that
// streams without end instead.
enum class Via { kPseudoTerminal, kBenchSimTcp, kSer2net, kFlood };

#define SKIP_WITHOUT_SER2NET() \
  if (test::Ser2net::Program().empty()) GTEST_SKIP() << test::Ser2net::kMissing

// Two meters on one line in the known state, the program reaching it as
// `via` says, with a flow point read and a metering-data read ready.
struct FlowRead : test::ProgramOnBench {
  explicit FlowRead(Via via) {
    sim::BenchOptions options = test::KnownOptions(sim::Wiring::kSingle, 2);
    if (via == Via::kBenchSimTcp) options.tcp_port = 0;
    auto started = std::make_unique<sim::VirtualBench>(options);
    device = test::StartKnown(*started);
    if (via == Via::kSer2net) {
      server = std::make_unique<test::Ser2net>(device);
      EXPECT_TRUE(server->Start());
      device = server->Device();
    } else if (via == Via::kFlood) {
      flood = std::make_unique<sim::FloodServer>(std::chrono::seconds(600));
      device = flood->Device();
    }
    connected = Connect(std::move(started), {device});
    s.Settings.ReadAgainTimes = 3;
    reading.FillFromSelection();
    for (ReadingRow& row : reading.rows)
      row.Version = "M-BusV2.02";
    flow.on_flow_read = [this](int row, int point, const BenchRead& r) {
      reads.push_back({double(row), double(point), r.VolumeL, r.HeatKWh, r.EntreC, r.ExitC});
    };
  }
  ~FlowRead() { ClosePorts(); }  // before the server goes

  std::unique_ptr<test::Ser2net> server;
  std::unique_ptr<sim::FloodServer> flood;
  std::string device;
  bool connected = false;
  std::vector<std::array<double, 6>> reads;
};

// Over bench-sim's own server and over ser2net, the lines hear, the reads
// give and the log says what they do over the pseudo-terminal.
class OverTcp : public ::testing::TestWithParam<Via> {};

TEST_P(OverTcp, AFlowReadAndAMeterReadingMatchThePseudoTerminal) {
  if (GetParam() == Via::kSer2net) SKIP_WITHOUT_SER2NET();
  FlowRead pty(Via::kPseudoTerminal), tcp(GetParam());
  ASSERT_TRUE(tcp.device.starts_with("tcp:127.0.0.1:")) << tcp.device;
  for (FlowRead* run : {&pty, &tcp}) {
    ASSERT_TRUE(run->connected) << run->device;
    ASSERT_TRUE(run->flow.Run(kFlowEnterCheck));
    ASSERT_TRUE(run->flow.Run(FlowReadCode(0)));
    ASSERT_TRUE(run->reading.ReadData({0, 1}));
    for (int r = 0; r < 2; ++r) {
      EXPECT_EQ(run->flow.LampOf(r), Lamp::Lime);
      EXPECT_EQ(run->reading.rows[r].State, RowState::Answered);
    }
  }
  EXPECT_EQ(tcp.Heard(), pty.Heard());
  ASSERT_EQ(tcp.reads.size(), 2u);
  EXPECT_EQ(tcp.reads, pty.reads);
  for (int r = 0; r < 2; ++r)
    EXPECT_EQ(tcp.reading.rows[r].Columns, pty.reading.rows[r].Columns);
  // The received lines alone: where a reader's line falls among the others
  // depends on the moment it arrives.
  const std::vector<std::string> lines = tcp.Logged(" 收到数据：");
  EXPECT_EQ(lines, pty.Logged(" 收到数据："));
  EXPECT_EQ(lines.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Servers, OverTcp, ::testing::Values(Via::kBenchSimTcp, Via::kSer2net),
                         [](const auto& info) {
                           return info.param == Via::kSer2net ? "Ser2net" : "BenchSim";
                         });

TEST(SerialDeviceServer, ALostConnectionIsTakenUpAtTheNextOperation) {
  FlowRead tcp(Via::kBenchSimTcp);
  ASSERT_TRUE(tcp.connected);
  ASSERT_TRUE(tcp.flow.Run(kFlowEnterCheck));
  tcp.bench->DropConnections();
  // The reader sees the connection end: the port is failed, not yet closed.
  ASSERT_TRUE(test::WaitFor([&] { return tcp.s.Slots[1].Port->Failed(); }));
  tcp.Logged();
  ASSERT_TRUE(tcp.flow.Run(FlowReadCode(0)));
  EXPECT_EQ(tcp.flow.LampOf(0), Lamp::Lime);
  EXPECT_EQ(tcp.reads.size(), 2u);
  const std::vector<std::string> lines = tcp.Logged();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), " 串口COM1重新打开");
}

TEST(SerialDeviceServer, NoServerListeningLeavesThePortClosed) {
  SharedState s;
  s.PortDevices[1] = "tcp:127.0.0.1:1";  // nobody listens there
  s.Slots.CreatePorts(s.PortDevices, s.Log);
  EXPECT_FALSE(s.Slots[1].Port->Open());
  EXPECT_FALSE(s.Slots[1].Port->IsOpen());
}

TEST(SerialDeviceServer, AnEndlessStreamLeavesTheRowRedAndWhatIsKeptBounded) {
  const auto opened = std::chrono::steady_clock::now();
  FlowRead run(Via::kFlood);
  ASSERT_TRUE(run.connected);
  SharedState& s = run.s;
  s.Settings.ReadAgainTimes = 2;
  s.Settings.CommWaitTimer = 500;
  ASSERT_TRUE(run.flow.Run(kFlowEnterCheck));
  EXPECT_EQ(run.flow.LampOf(0), Lamp::Red);
  // Closing and opening again discard only what is there: a stream that
  // never pauses keeps neither waiting (the server outlasts the test's
  // time limit).
  s.Slots[1].Port->Close();
  ASSERT_TRUE(s.Slots[1].Port->Open());
  ASSERT_TRUE(test::WaitFor([&] { return run.flood->BytesSent() > (1u << 20); }));
  s.Slots[1].Port->Close();
  const auto seconds =
      std::chrono::ceil<std::chrono::seconds>(std::chrono::steady_clock::now() - opened).count();
  // The ring kept at most its size and dropped the rest.
  EXPECT_GT(s.Slots[1].DroppedBytes(), 0u);
  // The log took no more than the port's budget (a receive ring a second,
  // counted afresh from each opening: two here) and said what it left out.
  const std::string received = " 收到数据：";
  size_t logged = 0, told = 0;
  for (const std::string& line : s.Log.TakePending()) {
    if (const size_t at = line.find(received); at != std::string::npos)
      logged += (line.size() - at - received.size()) / 3;  // " XX" a byte
    told += line.find(" 串口COM1收到数据过快：") != std::string::npos;
  }
  EXPECT_GT(told, 0u);
  EXPECT_LE(logged, static_cast<size_t>(kRecvBufSize * (seconds + 2)));
}

TEST(Ser2net, AServerRestartedMidOperationRefusesMeanwhileAndIsTakenUpAgain) {
  SKIP_WITHOUT_SER2NET();
  FlowRead run(Via::kSer2net);
  ASSERT_TRUE(run.connected);
  ASSERT_TRUE(run.flow.Run(kFlowEnterCheck));
  // The server goes down as the first request of the read reaches the line.
  const size_t heard = run.bench->ReceivedCount();
  std::thread restart([&] {
    run.bench->WaitReceived(heard + 1, test::kDeadline);
    run.server->Stop();
  });
  ASSERT_TRUE(run.flow.Run(FlowReadCode(0)));
  restart.join();
  EXPECT_EQ(run.flow.LampOf(1), Lamp::Red);
  EXPECT_EQ(run.Logged("读取已停止"), std::vector<std::string>{" 串口COM1读取已停止"});
  // While it is down, the connection is refused and the port stays closed.
  run.s.Slots[1].Port->Close();
  EXPECT_FALSE(run.s.Slots[1].Port->Open());
  EXPECT_EQ(run.Logged("打开失败").size(), 1u);

  ASSERT_TRUE(run.server->Start());
  ASSERT_TRUE(run.flow.Run(FlowReadCode(0)));
  EXPECT_EQ(run.flow.LampOf(0), Lamp::Lime);
  EXPECT_EQ(run.flow.LampOf(1), Lamp::Lime);
  EXPECT_EQ(run.Logged("重新打开"), std::vector<std::string>{" 串口COM1重新打开"});
}

TEST(Ser2net, AServerWhoseLineNeverAnswersLeavesTheRowsRed) {
  SKIP_WITHOUT_SER2NET();
  FlowRead run(Via::kSer2net);
  ASSERT_TRUE(run.connected);
  for (int m = 0; m < 2; ++m)
    run.bench->SetFaults(m, {.silent = true});
  run.s.Settings.ReadAgainTimes = 2;
  run.s.Settings.CommWaitTimer = 300;
  ASSERT_TRUE(run.flow.Run(kFlowEnterCheck));
  EXPECT_EQ(run.flow.LampOf(0), Lamp::Red);
  EXPECT_EQ(run.flow.LampOf(1), Lamp::Red);
  // Every attempt crossed the server to the line.
  EXPECT_EQ(run.bench->ReceivedCount(), 4u);
}

}  // namespace
}  // namespace qv
