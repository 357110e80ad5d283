// The results window over a journal of a morning's readings, in both
// languages, on the smallest screen it is made for.
#include <QAction>

#include "app/picture_support.h"

using namespace qv;
using namespace qv::pictures;

int main(int argc, char** argv) {
  const auto p = StartForPictures(argc, argv);
  if (!p) return 1;
  SharedState& state = p->state;
  if (!state.Journal || !state.Journal->IsOpen()) return 1;
  // Eight meters read at flow points 1 (weighing typed) and 3 (read from
  // the scale); meter 6 reads 3 % high.
  uint64_t last = 0;
  for (int point : {0, 2}) {
    for (int m = 0; m < 8; ++m) {
      ReadingRecord r;
      r.Time = "2024-03-05 " + std::string(point ? "10:" : "09:") + std::to_string(10 + m) + ":00";
      r.Window = kFlowWindow;
      r.Tester = "Test";
      r.Dn = 20;
      r.Level = 2;
      r.StandardError = 1;
      r.Address = std::to_string(2024000001 + m);
      r.Row = m + 1;
      r.FlowPoint = point + 1;
      r.Flow = point ? 250 : 50;
      r.StandardVolume = 20;
      r.Weighing = point ? kWeighingScale : kWeighingTyped;
      const double error = m == 5 ? 3.0 : 0.25 * (m % 4) - 0.5;
      r.MeterVolume = Shown(20 * (1 + error / 100), shown::kVolume);
      r.VolumeError = error;
      r.VolumeLimit = point ? 2.0 : 2.01;
      r.Verdict = m == 5 ? kVerdictFail : kVerdictPass;
      r.Inlet = 80;
      r.Outlet = 60;
      r.Coefficients = {10000, 10000, 10000, 10000, std::nullopt};
      last = state.Journal->Record(r);
    }
  }
  if (!state.Journal->WaitAcknowledged(last, std::chrono::seconds(30))) return 1;
  TMainFrm& main = *p->program->MainFrm;
  main.findChild<QAction*>("nResults")->trigger();
  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    state.Settings.Language = language;
    Settle(1500);
    ok &= Save(Window(main), QString("%1/results-%2.png").arg(p->out, lang));
  }
  return ok ? 0 : 1;
}
