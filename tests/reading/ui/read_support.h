// Helpers of the meter reading window tests: the window on a virtual bench
// whose meters stand in a known state (heat 1234.567 kWh, cold 89 kWh,
// settlement 1000 kWh, 56.789 m³, 4321 h, status 01 00; 50 L/h, 80 °C in,
// 60 °C out; the bench clock at 2024-03-05 14:07:59), its program directory
// a scratch folder, every message box closed at once and its text kept.
#pragma once

#include <QTemporaryDir>
#include <QTreeWidget>

#include "reading/ui/read_data_frm.h"
#include "reading/ui/reading_list.h"
#include "support/window_fixture.h"

namespace qv::read_test {

inline sim::CivilTime BenchClock() {
  using namespace std::chrono;
  return sys_days{year{2024} / March / 5} + hours{14} + minutes{7} + seconds{59};
}

// The program directory, gone after the window.
struct ScratchDir {
  QTemporaryDir dir;
};

struct ReadBench : ScratchDir, test::WindowFixture<TReadDataFrm> {
  // Meters `setups` (or `count` default ones), every position selected;
  // `setup` changes the state before the window is made.
  explicit ReadBench(sim::Wiring wiring, std::vector<sim::MeterSetup> setups, int count = 0,
                     const std::function<void(SharedState&)>& setup = {}) {
    sim::BenchOptions o;
    o.wiring = wiring;
    o.meter_count = setups.empty() ? count : static_cast<int>(setups.size());
    o.meters = std::move(setups);
    o.clock = BenchClock;
    StartBench(o);
    for (int i = 0; i < bench->MeterCount(); ++i) {
      bench->UpdateMeter(i, [](sim::MeterState& m) {
        m.errors = {};
        m.inlet_probe_error = m.outlet_probe_error = 0;
        m.heat_wh = 1234567;
        m.cold_wh = 89000;
        m.shared_heat_wh = 1000000;
        m.volume_l = 56789;
        m.work_hours = 4321;
        m.status = {0x01, 0x00};
      });
    }
    sim::BenchConditions c;
    c.flow_point = 1;
    bench->SetConditions(c);
    state->ProgramDir = dir.path().toStdString() + "/";
    state->Settings.ReadAgainTimes = 2;
    state->Settings.CommWaitTimer = 1000;
    Make(
        [&](SharedState& s) {
          for (int r = 0; r < bench->MeterCount(); ++r)
            s.Rows[r].Selected = true;
          if (setup) setup(s);
        },
        600);
  }

  QTreeWidget* List() const { return frm->findChild<QTreeWidget*>("lvMain"); }
  QString Cell(int row, int column) const { return List()->topLevelItem(row)->text(column); }
  // Columns 3..14 of a row.
  QStringList Data(int row) const {
    QStringList out;
    for (int c = 3; c <= 14; ++c)
      out << Cell(row, c);
    return out;
  }
  void Select(std::initializer_list<int> rows) const {
    List()->clearSelection();
    for (int r : rows)
      List()->topLevelItem(r)->setSelected(true);
  }
  // A menu item of PopupMenu2 or a button, as the operator uses it.
  void Use(const char* name) const {
    if (auto* action = frm->findChild<QAction*>(name)) {
      action->trigger();
    } else {
      frm->findChild<QAbstractButton*>(name)->click();
    }
  }
};

}  // namespace qv::read_test
