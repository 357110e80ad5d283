// The flow detection window through one flow-point read over 20 simulated
// meters on one line at the pace of 2400 baud, with the program's timers
// (1000 ms reply wait, 1000 ms poll) and the message monitor taking every
// log line. Prints the seconds spent per meter, their ratio to the line-time
// floor (request and reply bytes at 11 bits a byte, 2400 baud), and the
// longest stall of the event loop during the run: the largest gap between
// two firings of a 10 ms probe timer, with the event handler that took the
// most of it. The window must never stall the loop for more than 20 ms; the
// exit code says whether it did.
//
// `flow_run flood`: the same read of two meters behind a serial device
// server that streams bytes without end as fast as loopback TCP takes them;
// both rows must end red, and the loop must keep within the same limit.
// Prints the bytes the server sent and the peak resident memory before and
// after the read.
//
// Runs on the offscreen platform unless a display is set.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "bench/stall_probe.h"
#include "detection/ui/flow_detection_frm.h"
#include "detection/ui/flow_grid.h"
#include "protocol/routing.h"
#include "serial/port_slots.h"
#include "shell/log_feed.h"
#include "shell/show_message_frm.h"
#include "sim/lib/flood_server.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"

namespace {

constexpr int kMeters = 20;
constexpr int kProbeMs = 10;
constexpr qint64 kStallLimitMs = 20;
// Bench read request (20 bytes) and reply (68 bytes), 11 bits a byte.
constexpr double kLineFloorSeconds = (20 + 68) * 11 / 2400.0;

// The peak resident memory of this process, in MB.
double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

void Configure(qv::SharedState& state, int meters) {
  qv::SystemSettings& s = state.Settings;
  s.MeterNum = meters;
  s.FluxNum = 5;
  s.DN = 1;
  s.MeasurementLevel = 1;
  s.SetFlowPoints({50, 25, 250, 2500, 5000});
  s.StandardError = 1;
  s.ReadAgainTimes = 3;
  s.CommWaitTimer = 1000;
  s.FluidTerm = 20;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  qv::bench::TimedApplication app(argc, argv);

  const bool flood = argc > 1 && std::strcmp(argv[1], "flood") == 0;
  const int meters = flood ? 2 : kMeters;
  qv::SharedState state;
  Configure(state, meters);
  std::unique_ptr<qv::sim::VirtualBench> bench;
  std::unique_ptr<qv::sim::FloodServer> server;
  if (flood) {
    server = std::make_unique<qv::sim::FloodServer>();
    state.Settings.CommType = qv::kCommSingle;
    for (int r = 0; r < meters; ++r) {
      state.Rows[r].Comm = 1;
      state.Rows[r].Address = std::to_string(2024000001 + r);
    }
    state.PortDevices[1] = server->Device();
    state.Slots.CreatePorts(state.PortDevices, state.Log);
    qv::OpenMeterPorts(state);
  } else {
    qv::sim::BenchOptions options;
    options.wiring = qv::sim::Wiring::kSingle;
    options.meter_count = kMeters;
    options.pacing = true;
    bench = std::make_unique<qv::sim::VirtualBench>(options);
    std::string error;
    if (!bench->Start(error)) {
      std::fprintf(stderr, "bench-sim: %s\n", error.c_str());
      return 1;
    }
    bench->SetFlowPoint(3);
    qv::sim::ConnectProgram(state, *bench);
  }
  if (!state.Slots[1].PortOpen) {
    std::fprintf(stderr, "cannot open %s\n", state.PortDevices[1].c_str());
    return 1;
  }

  qv::LogFeed feed(state.Log);
  qv::TShowMessageFrm monitor(state);
  monitor.show();
  qv::TFlowDetectionFrm window(state);
  window.resize(1366, 680);
  window.show();
  window.findChild<QCheckBox*>("cbxAll1")->click();
  window.findChild<QComboBox*>("cbxFlux")->setCurrentIndex(2);
  auto* volume = window.findChild<QLineEdit*>("edtVolume");
  volume->setText("20");
  emit volume->textEdited(volume->text());

  // The window as the operator finds it: shown, laid out and painted before
  // anything is pressed.
  QEventLoop settle;
  QTimer::singleShot(500, &settle, &QEventLoop::quit);
  settle.exec();

  // The probe: the largest gap between two of its firings while the read runs.
  qv::bench::StallProbe probe(app, kProbeMs);

  const double peak_before = PeakMegabytes();
  QElapsedTimer run;
  run.start();
  probe.Start();
  window.findChild<QPushButton*>("BtnFlow")->click();
  probe.Stop();
  const double seconds = static_cast<double>(run.elapsed()) / 1000.0;

  int answered = 0;
  for (int r = 0; r < meters; ++r)
    answered += window.Run().LampOf(r) == qv::Lamp::Lime;
  std::printf("meters answered: %d of %d\n", answered, meters);
  std::printf("seconds per meter: %.3f\n", seconds / meters);
  if (flood) {
    std::printf(
        "bytes the server sent: %.1f MB, peak memory %.1f MB before the read, %.1f MB "
        "after\n",
        static_cast<double>(server->BytesSent()) / 1e6, peak_before, PeakMegabytes());
  } else {
    std::printf("line-time floor per meter: %.3f s, ratio %.2f\n", kLineFloorSeconds,
                seconds / kMeters / kLineFloorSeconds);
  }
  std::printf("longest event-loop stall: %lld ms (probe every %d ms, limit %lld ms)\n",
              static_cast<long long>(probe.Longest()), kProbeMs,
              static_cast<long long>(kStallLimitMs));
  std::printf("behind it: %s\n", qPrintable(probe.Behind()));
  state.Slots[1].Port->Close();
  return answered == (flood ? 0 : meters) && probe.Longest() <= kStallLimitMs ? 0 : 1;
}
