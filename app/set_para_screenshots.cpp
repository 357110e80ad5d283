// Pictures of the parameter settings window against a virtual bench, in
// both languages, for the README: the addresses read and the coefficients
// and transit times read back from the meters, one meter silent (red
// lamp), the others answering (lime), and the bench group filled in. Run
// it on a real display (Xvfb is enough; scripts/screenshots does that):
//
//   set-para-screenshots OUTDIR
//
// It starts the program in a scratch program directory, so no settings
// file of a real bench is touched.
#include <QAction>
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
constexpr int kSilent = 5;  // meter 6 never answers

}  // namespace

int main(int argc, char** argv) {
  const auto p = pictures::StartForPictures(argc, argv);
  if (!p) return 1;
  SharedState& state = p->state;
  TMainFrm& main = *p->program->MainFrm;

  // One port per meter, so that every meter answers the address request.
  sim::BenchOptions options;
  options.wiring = sim::Wiring::kMulti;
  options.meter_count = kMeters;
  sim::VirtualBench bench(options);
  if (!StartBench(bench, kSilent)) return 1;
  state.Settings.ReadAgainTimes = 1;
  state.Settings.CommWaitTimer = 1000;
  state.Settings.FluxNum = 4;
  // The bench group filled in as a bench with a scale would have it.
  state.Settings.BenchName = "Bench 3";
  state.Settings.BenchReference = "Mass standard M-12";
  state.Settings.CalibrationDue = "2026-09-30";
  state.Settings.FactoryServer = "service=qorvantis";
  state.Scale.Device = "/dev/serial/by-id/usb-FTDI_FT232R-if01-port0";
  state.Scale.ChooseProtocol(ScaleProtocol::kSbi);
  if (!sim::ConnectProgram(state, bench)) return 1;
  for (int r = 0; r < kMeters; ++r) {
    state.Rows[r].Selected = true;
    state.Rows[r].Address.clear();
  }

  // The operator's run: read the addresses, then the coefficients.
  main.findChild<QAction*>("nSetPara")->trigger();
  TSetParaFrm& frm = *p->program->SetParaFrm;
  frm.findChild<QPushButton*>("btn2")->click();
  frm.findChild<QPushButton*>("btnReadCoef")->click();

  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    state.Settings.Language = language;
    // Both windows follow the language within a second.
    Settle(1500);
    ok &= Save(Window(main), QString("%1/set-para-%2.png").arg(p->out, lang));
  }
  for (int n = 1; n <= kMeters; ++n)
    state.Slots[n].Port->Close();
  return ok ? 0 : 1;
}
