// The results window over a journal of a morning's readings, in both
// languages, on the smallest screen it is made for; a meter's history with
// its error curve; and that meter's verification record, made with the
// window's "证书" button, kept as PDF for scripts/screenshots to render.
#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>

#include "app/picture_support.h"
#include "journal/ui/results_frm.h"

using namespace qv;
using namespace qv::pictures;

namespace {

// A reading of the bench "Bench 3" (DN 20, class 2) at 20.5 °C, weighed
// with its scale (at the first flow point, typed).
ReadingRecord Reading(int meter, int point, const std::string& time, int flow, double error,
                      double limit) {
  ReadingRecord r;
  r.Time = "2024-03-05 " + time;
  r.Window = kFlowWindow;
  r.Tester = "Test";
  r.Dn = 20;
  r.Level = 2;
  r.StandardError = 1;
  r.Address = std::to_string(2024000001 + meter);
  r.Row = meter + 1;
  r.FlowPoint = point + 1;
  r.Flow = flow;
  r.StandardVolume = 20;
  r.Weighing = point ? kWeighingScale : kWeighingTyped;
  r.MeterVolume = Shown(20 * (1 + error / 100), shown::kVolume);
  r.VolumeError = error;
  r.VolumeLimit = limit;
  r.Verdict = std::abs(error) > limit ? kVerdictFail : kVerdictPass;
  r.Inlet = 20.51;
  r.Outlet = 20.49;
  r.Coefficients = {10000, 10000, 10000, 10000, std::nullopt};
  std::tie(r.BenchName, r.BenchReference, r.CalibrationDue, r.MeterType, r.Fluid) =
      std::tuple{"Bench 3", "Mass standard M-12", "2026-09-30", 1, 20.5};
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const auto p = StartForPictures(argc, argv);
  if (!p) return 1;
  SharedState& state = p->state;
  if (!state.Journal || !state.Journal->IsOpen()) return 1;
  // Eight meters read at flow points 1 and 3; meter 6 reads 3 % high. Then
  // meter 8 at all five points, 2.5 % low at the fourth.
  uint64_t last = 0;
  for (int point : {0, 2}) {
    for (int m = 0; m < 8; ++m) {
      const double error = m == 5 ? 3.0 : 0.25 * (m % 4) - 0.5;
      last = state.Journal->Record(
          Reading(m, point, std::string(point ? "10:" : "09:") + std::to_string(10 + m) + ":00",
                  point ? 250 : 50, error, point ? 2.0 : 2.01));
    }
  }
  const std::array<std::tuple<int, double, double>, 5> points = {{{50, 0.62, 2.8},
                                                                  {250, 0.35, 2.16},
                                                                  {1500, -0.41, 2.03},
                                                                  {2500, -2.5, 2.02},
                                                                  {3000, 0.18, 2.01}}};
  for (int k = 0; k < 5; ++k) {
    const auto [flow, error, limit] = points[k];
    last = state.Journal->Record(
        Reading(7, k, "11:" + std::to_string(10 + 5 * k) + ":00", flow, error, limit));
  }
  if (!state.Journal->WaitAcknowledged(last, std::chrono::seconds(30))) return 1;
  TMainFrm& main = *p->program->MainFrm;
  main.findChild<QAction*>("nResults")->trigger();
  TResultsFrm* results = p->program->ResultsFrm.get();
  if (!results) return 1;
  QString made;
  results->open = [&](const QString& path) { return made = path, true; };
  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    state.Settings.Language = language;
    Settle(1500);
    ok &= Save(Window(main), QString("%1/results-%2.png").arg(p->out, lang));
    QDialog* history = results->ShowHistory("2024000008");
    Settle();
    ok &= Save(Window(*history), QString("%1/results-history-%2.png").arg(p->out, lang));
    history->close();
    // The record of meter 8, as the operator makes it: its newest reading
    // selected, "证书".
    auto* list = results->findChild<QTableWidget*>("lvResults");
    list->clearSelection();
    list->selectRow(0);
    results->findChild<QPushButton*>("btnCertificate")->click();
    const QString record = QString("%1/record-%2.pdf").arg(p->out, lang);
    QFile::remove(record);
    ok &= !made.isEmpty() && QFile::copy(made, record);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(record));
  }
  return ok ? 0 : 1;
}
