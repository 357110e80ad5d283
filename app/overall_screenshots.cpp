// Pictures of the overall detection window after two flow points were read
// against a virtual bench, in both languages, for the README: some meters
// answer (lime lamps) and one stays silent (red), some volume and heat
// errors are within their limits (black) and some outside (red). Run it on
// a real display (Xvfb is enough; scripts/screenshots does that):
//
//   overall-screenshots OUTDIR
//
// It starts the program in a scratch program directory, so no settings
// file of a real bench is touched.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
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
// Flow errors of the meters at flow points 2 and 3 and their heat errors;
// meter 5 (index 4) never answers.
constexpr double kErrors[kMeters] = {0.008, -0.012, 0.031, 0.004, 0, -0.025, 0.015, 0.0};
constexpr double kHeatErrors[kMeters] = {0.01, 0.002, -0.004, 0.06, 0, 0.003, -0.05, 0.0};
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
      m.errors[1] = m.errors[2] = kErrors[i];
      m.heat_error = kHeatErrors[i];
      m.inlet_probe_error = m.outlet_probe_error = 0;
    });
  }
  return true;
}

}  // namespace

// One flow point as the operator runs it: the bench at that point, its
// temperatures typed, its weighing taken from the scale, the read.
void ReadPoint(sim::VirtualBench& bench, QWidget& window, int point, double litres) {
  sim::BenchConditions c;
  c.flow_point = point + 1;
  c.reference_litres = {5, litres, litres, 100, 200};
  bench.SetConditions(c);
  window.findChild<QComboBox*>("cbxFlux")->setCurrentIndex(point);
  Enter(window, "edtEntreTerm", "80");
  Enter(window, "edtExitTerm", "60");
  Enter(window, "edtFluxTerm", "20");
  WeighRun(bench, window);
  window.findChild<QPushButton*>("btnFlow")->click();
}

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

  main.findChild<QAction*>("nTotalDetection")->trigger();
  TOverallDetectionFrm& overall = *p->program->OverallDetectionFrm;
  ReadPoint(bench, overall, 1, 10);
  ReadPoint(bench, overall, 2, 20);

  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    state.Settings.Language = language;
    // The window follows the language within a second.
    Settle(1500);
    ok &= Save(Window(main), QString("%1/overall-detection-%2.png").arg(p->out, lang));
  }
  state.Slots[1].Port->Close();
  return ok ? 0 : 1;
}
