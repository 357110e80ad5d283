// What the picture programs that run against a virtual bench share:
// starting the bench with one meter silent, the operator's typing and
// weighing, and the bench settings of the two detection windows' pictures.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <cstdio>
#include <string>

#include "app/picture_support.h"
#include "serial/port_slots.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"

namespace qv::pictures {

// Starts the bench (saying why when it cannot) with meter index `silent`
// never answering, so a picture shows a red lamp beside the lime ones.
inline bool StartBench(sim::VirtualBench& bench, int silent) {
  std::string error;
  if (!bench.Start(error)) {
    std::fprintf(stderr, "bench-sim: %s\n", error.c_str());
    return false;
  }
  sim::MeterFaults faults;
  faults.silent = true;
  bench.SetFaults(silent, faults);
  return true;
}

// Types `text` into a field as the operator does, ending the editing.
inline void Enter(QWidget& window, const char* field, const QString& text) {
  auto* edit = window.findChild<QLineEdit*>(field);
  edit->setText(text);
  emit edit->textEdited(text);
  emit edit->editingFinished();
}

// The bench's weighing of one run as the operator takes it from the scale:
// the initial reading, the water of the current flow point into the tank,
// the final reading once it is stable. The final press waits until the
// reading moves, as the operator does: a reading the scale sent before the
// water ran is no final reading.
inline void WeighRun(sim::VirtualBench& bench, QWidget& window) {
  window.findChild<QPushButton*>("btnScaleInitial")->click();
  bench.StartScaleRun();
  Settle(300);
  window.findChild<QPushButton*>("btnScaleFinal")->click();
}

// The detection windows' pictures: `meters` meters, all selected, five
// flow points, DN 20 class 2, one attempt of a second.
inline void ConfigureDetection(SharedState& state, const sim::VirtualBench& bench, int meters) {
  SystemSettings& s = state.Settings;
  s.MeterNum = meters;
  s.FluxNum = 5;
  s.DN = 1;
  s.MeasurementLevel = 1;
  s.SetFlowPoints({50, 125, 250, 2500, 5000});
  s.StandardError = 1;
  s.ErrorCorrection = 0;
  s.ReadAgainTimes = 1;
  s.CommWaitTimer = 1000;
  sim::ConnectProgram(state, bench);
  for (int r = 0; r < meters; ++r)
    state.Rows[r].Selected = true;
}

}  // namespace qv::pictures
