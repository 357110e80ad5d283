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
#include <string>

#include "bench/stall_probe.h"
#include "detection/ui/flow_detection_frm.h"
#include "detection/ui/flow_grid.h"
#include "serial/port_slots.h"
#include "shell/log_feed.h"
#include "shell/show_message_frm.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"

namespace {

constexpr int kMeters = 20;
constexpr int kProbeMs = 10;
constexpr qint64 kStallLimitMs = 20;
// Bench read request (20 bytes) and reply (68 bytes), 11 bits a byte.
constexpr double kLineFloorSeconds = (20 + 68) * 11 / 2400.0;

void Configure(qv::SharedState& state) {
  qv::SystemSettings& s = state.Settings;
  s.MeterNum = kMeters;
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

  qv::sim::BenchOptions options;
  options.wiring = qv::sim::Wiring::kSingle;
  options.meter_count = kMeters;
  options.pacing = true;
  qv::sim::VirtualBench bench(options);
  std::string error;
  if (!bench.Start(error)) {
    std::fprintf(stderr, "bench-sim: %s\n", error.c_str());
    return 1;
  }
  bench.SetFlowPoint(3);

  qv::SharedState state;
  Configure(state);
  if (!qv::sim::ConnectProgram(state, bench)) {
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

  QElapsedTimer run;
  run.start();
  probe.Start();
  window.findChild<QPushButton*>("BtnFlow")->click();
  probe.Stop();
  const double seconds = static_cast<double>(run.elapsed()) / 1000.0;

  int answered = 0;
  for (int r = 0; r < kMeters; ++r)
    answered += window.Run().LampOf(r) == qv::Lamp::Lime;
  std::printf("meters answered: %d of %d\n", answered, kMeters);
  std::printf("seconds per meter: %.3f\n", seconds / kMeters);
  std::printf("line-time floor per meter: %.3f s, ratio %.2f\n", kLineFloorSeconds,
              seconds / kMeters / kLineFloorSeconds);
  std::printf("longest event-loop stall: %lld ms (probe every %d ms, limit %lld ms)\n",
              static_cast<long long>(probe.Longest()), kProbeMs,
              static_cast<long long>(kStallLimitMs));
  std::printf("behind it: %s\n", qPrintable(probe.Behind()));
  state.Slots[1].Port->Close();
  return answered == kMeters && probe.Longest() <= kStallLimitMs ? 0 : 1;
}
