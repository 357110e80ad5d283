// Helpers of the flow and overall detection window tests: the window on a
// small bench's settings, alone or against simulated meters.
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
#include "support/detection_settings.h"
#include "support/window_fixture.h"

namespace qv::flow_test {

// The window on its own state (`DetectionSettings`), perhaps against a
// virtual bench that `start` sets up.
template <typename Frm = TFlowDetectionFrm>
struct BasicWindow : test::WindowFixture<Frm> {
  explicit BasicWindow(int meters = 20, const std::function<void(SharedState&)>& setup = {},
                       const std::function<void(BasicWindow&)>& start = {}) {
    test::DetectionSettings(this->state->Settings, meters);
    if (start) start(*this);
    this->Make(setup);
  }
  TFlowGrid& Grid() const { return this->frm->Grid(); }
  void Select(std::initializer_list<int> rows) const {
    for (int r : rows)
      Grid().cbx[r]->setChecked(true);
  }
  // Re-shows the window after a settings change, as docking it again does.
  void Reshow() const {
    this->frm->hide();
    this->frm->show();
  }
};
using Window = BasicWindow<>;

using test_support::Type;

inline const QColor kBlack(Qt::black);
inline const QColor& kLime = TFlowGrid::kLime;
inline const QColor& kRed = TFlowGrid::kRed;

// The window against a virtual bench of meters on one line, every row
// given its meter's address.
template <typename Frm>
struct BasicSimWindow : BasicWindow<Frm> {
  explicit BasicSimWindow(int meters, const std::function<void(sim::BenchOptions&)>& options = {},
                          const std::function<void(SharedState&)>& setup = {})
      : BasicWindow<Frm>(meters, setup, [&](BasicWindow<Frm>& w) {
          sim::BenchOptions o;
          o.wiring = sim::Wiring::kSingle;
          o.meter_count = meters;
          if (options) options(o);
          w.StartBench(o);
          // Flow point 3 (the bench's 20 L run, 80 to 60 °C, 20 °C water);
          // meters without errors of their own until a test gives them one.
          w.bench->SetConditions({.flow_point = 3});
          for (int i = 0; i < meters; ++i) {
            w.bench->UpdateMeter(i, [](sim::MeterState& m) {
              m.errors = {};
              m.inlet_probe_error = m.outlet_probe_error = 0;
            });
          }
        }) {}

  void SetError(int meter, int point, double error) {
    this->bench->UpdateMeter(meter, [&](sim::MeterState& m) { m.errors[point] = error; });
  }
};
using SimWindow = BasicSimWindow<TFlowDetectionFrm>;

}  // namespace qv::flow_test
