// Helpers of the parameter settings window tests: the window on a state of
// its own, or against a virtual bench (bench-sim on pseudo-terminals) with
// every row given its meter's port and address.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "support/window_fixture.h"
#include "tools/ui/set_para_frm.h"
#include "tools/ui/set_para_grid.h"

namespace qv::set_para_test {

using test::Count;
using test::Has;
using test::IsOneMessage;
using test_support::ModalCloser;
using test_support::Type;

inline const QColor& kLime = TMeterGrid::kLime;
inline const QColor& kRed = TMeterGrid::kRed;

// The window on a state of its own, 20 meters, DN 15, two attempts of
// 500 ms each; against a virtual bench when `bench_options` are given.
struct Window : test::WindowFixture<TSetParaFrm> {
  explicit Window(int meters = 20, const std::function<void(SharedState&)>& setup = {},
                  const std::optional<sim::BenchOptions>& bench_options = {}) {
    SystemSettings& s = state->Settings;
    s.MeterNum = meters;
    s.FluxNum = 4;
    s.DN = 1;
    s.ReadAgainTimes = 2;
    s.CommWaitTimer = 500;
    s.CommType = kCommMulti;
    if (bench_options) StartBench(*bench_options);
    Make(setup);
  }
  QComboBox* List(const QString& name) const { return Find<QComboBox>(name); }
  TSetParaGrid& Grid() const { return frm->Grid(); }
  void Select(std::initializer_list<int> rows) const {
    for (int r : rows)
      Grid().cbx[r]->setChecked(true);
  }
};

// The window against `meters` simulated meters.
struct SimWindow : Window {
  explicit SimWindow(int meters, sim::Wiring wiring = sim::Wiring::kSingle,
                     const std::function<void(SharedState&)>& setup = {})
      : Window(meters, setup, Options(meters, wiring)) {}
  static sim::BenchOptions Options(int meters, sim::Wiring wiring) {
    sim::BenchOptions o;
    o.wiring = wiring;
    o.meter_count = meters;
    return o;
  }
};

}  // namespace qv::set_para_test
