// Helpers of the flow (and overall) detection window tests: a shared state set up like a
// bench (class 2, DN 20, flow points 50 .. 5000 L/h), the window made and
// shown on it, typing into fields as the operator does, and message boxes
// found and closed without blocking the test.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

#include "detection/ui/flow_detection_frm.h"
#include "detection/ui/flow_grid.h"
#include "detection/ui/overall_detection_frm.h"
#include "serial/port_slots.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"
#include "support/detection_settings.h"
#include "support/form_input.h"
#include "ui/operator_input.h"

namespace qv::flow_test {

using test_support::ModalCloser;

// The window on its own state, shown as a top-level window; every message
// box it shows is closed at once and its text kept in `boxes`.
template <typename Frm = TFlowDetectionFrm>
struct BasicWindow {
  ModalCloser boxes;
  std::unique_ptr<SharedState> state = std::make_unique<SharedState>();
  std::unique_ptr<Frm> frm;
  int beeps = 0;

  explicit BasicWindow(int meters = 20, const std::function<void(SharedState&)>& setup = {}) {
    test::DetectionSettings(state->Settings, meters);
    if (setup) setup(*state);
    frm = std::make_unique<Frm>(*state);
    frm->Input().beep = [this] { ++beeps; };
    frm->resize(1366, 700);
    frm->show();
    frm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frm.get()));
  }

  template <typename T = QWidget>
  T* Find(const QString& name) const {
    T* w = frm->template findChild<T*>(name);
    if (!w) qWarning("no control %s", qPrintable(name));
    return w;
  }
  QLineEdit* Edit(const QString& name) const { return Find<QLineEdit>(name); }
  TFlowGrid& Grid() const { return frm->Grid(); }
  // Re-shows the window after a settings change, as docking it again does.
  void Reshow() const {
    frm->hide();
    frm->show();
  }
};
using Window = BasicWindow<>;

using test_support::Type;

inline const QColor kBlack(Qt::black);

// The window against a virtual bench of meters on one line (pseudo-
// terminals), every row given its meter's address. The reply poll runs at a
// tenth of its period to keep the tests quick; nothing depends on it.
template <typename Frm>
struct BasicSimWindow {
  std::unique_ptr<sim::VirtualBench> bench;
  std::unique_ptr<BasicWindow<Frm>> w;

  explicit BasicSimWindow(int meters, const std::function<void(sim::BenchOptions&)>& options = {},
                          const std::function<void(SharedState&)>& setup = {}) {
    sim::BenchOptions o;
    o.wiring = sim::Wiring::kSingle;
    o.meter_count = meters;
    if (options) options(o);
    bench = std::make_unique<sim::VirtualBench>(o);
    std::string error;
    if (!bench->Start(error)) qFatal("bench-sim: %s", error.c_str());
    // Flow point 3 with a 20 L run, 80 °C in, 60 °C out; meters without
    // errors of their own until a test gives them one.
    sim::BenchConditions c;
    c.flow_point = 3;
    c.reference_litres = {5, 5, 20, 100, 200};
    c.inlet_c = 80;
    c.outlet_c = 60;
    c.fluid_c = 20;
    bench->SetConditions(c);
    for (int i = 0; i < meters; ++i) {
      bench->UpdateMeter(i, [](sim::MeterState& m) {
        m.errors = {};
        m.inlet_probe_error = m.outlet_probe_error = 0;
      });
    }
    w = std::make_unique<BasicWindow<Frm>>(meters, [&](SharedState& s) {
      // The rows hold the ten digits an operator types; replies pad them
      // to fourteen.
      sim::ConnectProgram(s, *bench);
      if (setup) setup(s);
    });
    w->frm->template findChild<QTimer*>("ReadTimer")->setInterval(100);
  }
  ~BasicSimWindow() {
    for (int n = 1; n <= kPortCount; ++n) {
      if (w->state->Slots[n].Port) w->state->Slots[n].Port->Close();
      w->state->Slots[n].PortOpen = false;
    }
    w.reset();
    bench.reset();
  }
  BasicSimWindow(const BasicSimWindow&) = delete;
  BasicSimWindow& operator=(const BasicSimWindow&) = delete;

  void SetError(int meter, int point, double error) {
    bench->UpdateMeter(meter, [&](sim::MeterState& m) { m.errors[point] = error; });
  }
  void Select(std::initializer_list<int> rows) const {
    for (int r : rows)
      w->Grid().cbx[r]->setChecked(true);
  }
  void Click(const char* button) const {
    auto* b = w->frm->template findChild<QAbstractButton*>(button);
    if (!b) qFatal("no button %s", button);
    b->click();
  }
  QColor Lamp(int row) const { return w->Grid().LampColour(row); }
  // Log lines written since the last call.
  std::vector<std::string> Lines() const { return w->state->Log.TakePending(); }
};
using SimWindow = BasicSimWindow<TFlowDetectionFrm>;

}  // namespace qv::flow_test
