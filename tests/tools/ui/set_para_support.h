// Helpers of the parameter settings window tests: the window on a state of
// its own, or against a virtual bench (bench-sim on pseudo-terminals) with
// every row given its meter's port and address.
#pragma once

#include <functional>
#include <memory>

#include "sim/lib/program_state.h"
#include "support/form_input.h"
#include "tools/ui/set_para_frm.h"
#include "tools/ui/set_para_grid.h"
#include "ui/operator_input.h"

namespace qv::set_para_test {

using test_support::ModalCloser;
using test_support::Type;

struct Window {
  ModalCloser boxes;
  std::unique_ptr<SharedState> state = std::make_unique<SharedState>();
  std::unique_ptr<TSetParaFrm> frm;
  int beeps = 0;

  explicit Window(int meters = 20, const std::function<void(SharedState&)>& setup = {}) {
    SystemSettings& s = state->Settings;
    s.MeterNum = meters;
    s.FluxNum = 4;
    s.DN = 1;
    s.ReadAgainTimes = 2;
    s.CommWaitTimer = 500;
    s.CommType = kCommMulti;
    if (setup) setup(*state);
    frm = std::make_unique<TSetParaFrm>(*state);
    frm->Input().beep = [this] { ++beeps; };
    frm->resize(1366, 700);
    frm->show();
    frm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frm.get()));
  }
  template <typename T = QWidget>
  T* Find(const QString& name) const {
    T* w = frm->findChild<T*>(name);
    if (!w) qFatal("no control %s", qPrintable(name));
    return w;
  }
  QLineEdit* Edit(const QString& name) const { return Find<QLineEdit>(name); }
  QComboBox* List(const QString& name) const { return Find<QComboBox>(name); }
  TSetParaGrid& Grid() const { return frm->Grid(); }
  void Click(const char* button) const { Find<QAbstractButton>(button)->click(); }
  void Select(std::initializer_list<int> rows) const {
    for (int r : rows)
      Grid().cbx[r]->setChecked(true);
  }
  QColor Lamp(int row) const { return Grid().LampColour(row); }
  // Log lines written since the last call.
  std::vector<std::string> Lines() const { return state->Log.TakePending(); }
};

// The window against `meters` simulated meters; the reply poll runs at a
// tenth of its period to keep the tests quick. The window (and its ports)
// goes before the bench.
struct SimWindow {
  std::unique_ptr<sim::VirtualBench> bench;
  std::unique_ptr<Window> w;

  explicit SimWindow(int meters, sim::Wiring wiring = sim::Wiring::kSingle,
                     const std::function<void(SharedState&)>& setup = {}) {
    sim::BenchOptions o;
    o.wiring = wiring;
    o.meter_count = meters;
    bench = std::make_unique<sim::VirtualBench>(o);
    std::string error;
    if (!bench->Start(error)) qFatal("bench-sim: %s", error.c_str());
    w = std::make_unique<Window>(meters, [&](SharedState& s) {
      sim::ConnectProgram(s, *bench);
      if (setup) setup(s);
    });
    w->Find<QTimer>("ReadTimer")->setInterval(100);
  }
  void Silence(int meter) const {
    sim::MeterFaults silent;
    silent.silent = true;
    bench->SetFaults(meter, silent);
  }
};

inline bool Has(const std::string& line, const char* text) {
  return line.find(text) != std::string::npos;
}

}  // namespace qv::set_para_test
