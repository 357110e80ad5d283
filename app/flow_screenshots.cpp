// Pictures of the flow detection window after a flow point read against a
// virtual bench, in both languages, for the README: some meters answer
// (lime lamps) and one stays silent (red), some errors are within the limit
// (black) and some outside it (red); both scale readings are taken from the
// bench's scale, whose live reading the window shows. Run it on a real display (Xvfb is
// enough; scripts/screenshots does that):
//
//   flow-screenshots OUTDIR
//
// It starts the program in a scratch program directory, so no settings
// file of a real bench is touched.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/bench_pictures.h"
#include "app/picture_support.h"
#include "serial/port_slots.h"
#include "shell/program.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"

namespace {

using namespace qv;
using namespace qv::pictures;

constexpr int kMeters = 8;
// Errors of the meters at flow point 3; meter 5 (index 4) never answers.
constexpr double kErrors[kMeters] = {0.008, -0.012, 0.031, 0.004, 0, -0.025, 0.015, 0.0};
constexpr int kSilent = 4;

bool StartBench(sim::VirtualBench& bench) {
  if (!pictures::StartBench(bench, kSilent)) return false;
  sim::BenchConditions c;
  c.flow_point = 3;
  c.reference_litres = {5, 5, 20, 100, 200};
  bench.SetConditions(c);
  for (int i = 0; i < kMeters; ++i) {
    bench.UpdateMeter(i, [i](sim::MeterState& m) {
      m.errors = {};
      m.errors[2] = kErrors[i];
      m.inlet_probe_error = m.outlet_probe_error = 0;
    });
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const auto p = pictures::StartForPictures(argc, argv);
  if (!p) return 1;
  SharedState& state = p->state;
  TMainFrm& main = *p->program->MainFrm;

  sim::BenchOptions options;
  options.meter_count = kMeters;
  options.scale = ScaleProtocol::kMtSics;
  options.scale_fill = std::chrono::milliseconds(500);
  sim::VirtualBench bench(options);
  if (!StartBench(bench)) return 1;
  ConfigureDetection(state, bench, kMeters);
  if (!state.Slots[1].PortOpen) return 1;

  // The operator's run: flow point three, the bench's weighing, the read.
  main.findChild<QAction*>("nFlowDetection")->trigger();
  TFlowDetectionFrm& flow = *p->program->FlowDetectionFrm;
  flow.findChild<QComboBox*>("cbxFlux")->setCurrentIndex(2);
  Enter(flow, "edtFluxTerm", "20");
  WeighRun(bench, flow);
  flow.findChild<QPushButton*>("BtnFlow")->click();

  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    state.Settings.Language = language;
    // Both windows follow the language within a second.
    Settle(1500);
    ok &= Save(Window(main), QString("%1/flow-detection-%2.png").arg(p->out, lang));
    // The bench group with the scale's live reading, larger in the README.
    ok &= Save(flow.findChild<QWidget*>("gbBench")->grab(),
               QString("%1/scale-%2.png").arg(p->out, lang));
  }
  state.Slots[1].Port->Close();
  return ok ? 0 : 1;
}
