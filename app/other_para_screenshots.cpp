// Pictures of the other-parameters window against a virtual bench, in both
// languages, for the README: accumulated flow, pairing, heat unit, pipe
// mode and PT number read back from the meters, one meter silent (red
// lamp), the others answering (lime). Run it on a real display (Xvfb is
// enough; scripts/screenshots does that):
//
//   other-para-screenshots OUTDIR
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
#include "tools/ui/other_para_frm.h"

namespace {

using namespace qv;
using namespace qv::pictures;

constexpr int kMeters = 6;
constexpr int kSilent = 4;  // meter 5 never answers

}  // namespace

int main(int argc, char** argv) {
  const auto p = pictures::StartForPictures(argc, argv);
  if (!p) return 1;
  SharedState& state = p->state;
  TMainFrm& main = *p->program->MainFrm;

  sim::BenchOptions options;
  options.wiring = sim::Wiring::kMulti;
  options.meter_count = kMeters;
  sim::VirtualBench bench(options);
  if (!StartBench(bench, kSilent)) return 1;
  for (int m = 0; m < kMeters; ++m) {
    bench.UpdateMeter(m, [m](sim::MeterState& s) {
      s.volume_l = 123456 + 1000 * static_cast<uint64_t>(m);
      s.pairing = {2500, 2503, 2498, 5000, 5004, 4997, 8500, 8506, 8495};
      s.heat_unit = m % 2 ? 0x11 : 0x05;
      s.pt_number = 4000000001u + static_cast<uint64_t>(m);
    });
  }
  state.Settings.ReadAgainTimes = 1;
  state.Settings.CommWaitTimer = 1000;
  if (!sim::ConnectProgram(state, bench)) return 1;
  for (int r = 0; r < kMeters; ++r)
    state.Rows[r].Selected = true;

  // The operator's run: the read-backs of every kind.
  QAction* open = main.findChild<QAction*>("N1");
  open->trigger();
  TOtherParaFrm& frm = *p->program->OtherParaFrm;
  for (const char* button : {"btn8", "btn9", "btn13", "btn15", "btn17"})
    frm.findChild<QPushButton*>(button)->click();

  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    state.Settings.Language = language;
    // The window takes the language when it is shown again.
    frm.hide();
    open->trigger();
    Settle(500);
    ok &= Save(Window(main), QString("%1/other-para-%2.png").arg(p->out, lang));
  }
  for (int n = 1; n <= kMeters; ++n)
    state.Slots[n].Port->Close();
  return ok ? 0 : 1;
}
