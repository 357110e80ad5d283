// Pictures of the meter reading window after a read against a virtual
// bench, in both languages, for the README: meters of several protocol
// versions answer, one stays silent. Run it on a real display (Xvfb is
// enough; scripts/screenshots does that):
//
//   read-screenshots OUTDIR
//
// It starts the program in a scratch program directory, so no settings
// file of a real bench is touched.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
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
using sim::ProtocolVersion;

constexpr ProtocolVersion kVersions[] = {
    ProtocolVersion::kV301, ProtocolVersion::kV301, ProtocolVersion::kV202, ProtocolVersion::kV203,
    ProtocolVersion::kV201, ProtocolVersion::kTG,   ProtocolVersion::kV301};
constexpr int kMeters = 7;
constexpr int kSilent = 6;

bool StartBench(sim::VirtualBench& bench) {
  if (!pictures::StartBench(bench, kSilent)) return false;
  for (int i = 0; i < kMeters; ++i) {
    bench.UpdateMeter(i, [i](sim::MeterState& m) {
      m.heat_wh = 1234567 + 811000 * static_cast<uint64_t>(i);
      m.cold_wh = 89000;
      m.shared_heat_wh = 1000000;
      m.volume_l = 56789 + 4100 * static_cast<uint64_t>(i);
      m.work_hours = 4321 + 17 * static_cast<uint64_t>(i);
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
  for (ProtocolVersion v : kVersions) {
    sim::MeterSetup setup;
    setup.protocol = v;
    options.meters.push_back(setup);
  }
  sim::VirtualBench bench(options);
  if (!StartBench(bench)) return 1;
  state.Settings.ReadAgainTimes = 1;
  state.Settings.CommWaitTimer = 1000;
  sim::ConnectProgram(state, bench);
  for (int r = 0; r < kMeters; ++r)
    state.Rows[r].Selected = true;
  if (!state.Slots[1].PortOpen) return 1;

  // The operator's read: each row's protocol, then "读数据"; the message at
  // its end is closed as the operator would.
  main.findChild<QAction*>("nReadData")->trigger();
  TReadDataFrm& frm = *p->program->ReadDataFrm;
  auto* list = frm.findChild<QTreeWidget*>("lvMain");
  for (int r = 0; r < kMeters; ++r)
    list->topLevelItem(r)->setText(2, QString::fromUtf8(sim::ProtocolText(kVersions[r])));
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  closer.start(50);
  frm.findChild<QAbstractButton*>("btn1")->click();
  list->topLevelItem(2)->setSelected(true);

  bool ok = true;
  for (const auto& [language, lang] : {std::pair{0, "zh"}, std::pair{1, "en"}}) {
    state.Settings.Language = language;
    Settle(1500);  // the windows follow the language within a second
    ok &= Save(Window(main), QString("%1/read-data-%2.png").arg(p->out, lang));
  }
  state.Slots[1].Port->Close();
  return ok ? 0 : 1;
}
