// Helpers of the flow detection window tests: a shared state set up like a
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

#include "core/shared_state.h"
#include "detection/ui/flow_detection_frm.h"
#include "detection/ui/flow_grid.h"
#include "detection/ui/operator_input.h"

namespace qv::flow_test {

// Settings of a small bench before the window is made.
inline void BenchSettings(SystemSettings& s, int meters) {
  s.MeterNum = meters;
  s.FluxNum = 5;
  s.MeterType = 0;
  s.DN = 1;  // 20 mm
  s.MeasurementLevel = 1;
  s.SetFlowPoints({50, 25, 250, 2500, 5000});
  s.StandardError = 1;
  s.ErrorCorrection = 0;
  s.ReadAgainTimes = 2;
  s.CommWaitTimer = 1000;
  s.CommType = kCommSingle;
  s.FluidTerm = 20;
  s.OperatorName = "Test";
  s.TestDate = "2024-03-05";
}

// Closes every modal dialog as soon as it is up, for as long as it lives,
// keeping the texts of the message boxes: a test that triggers one is never
// blocked by it.
class ModalCloser {
 public:
  ModalCloser() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      auto* box = qobject_cast<QMessageBox*>(modal);
      texts << (box ? box->text() : QString());
      modal->close();
    });
    timer_.start();
  }
  QStringList texts;

 private:
  QTimer timer_;
};

// The window on its own state, shown as a top-level window; every message
// box it shows is closed at once and its text kept in `boxes`.
struct Window {
  ModalCloser boxes;
  std::unique_ptr<SharedState> state = std::make_unique<SharedState>();
  std::unique_ptr<TFlowDetectionFrm> frm;
  int beeps = 0;

  explicit Window(int meters = 20, const std::function<void(SharedState&)>& setup = {}) {
    BenchSettings(state->Settings, meters);
    if (setup) setup(*state);
    frm = std::make_unique<TFlowDetectionFrm>(*state);
    frm->Input().beep = [this] { ++beeps; };
    frm->resize(1366, 700);
    frm->show();
    frm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frm.get()));
  }

  template <typename T = QWidget>
  T* Find(const QString& name) const {
    T* w = frm->findChild<T*>(name);
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

// Replaces the text of `edit` as typed: every key goes through the edit,
// and Enter ends the editing (or moves along an Enter chain, which ends it
// the same way).
inline void Type(QLineEdit* edit, const QString& text, bool finish = true) {
  // A message box closed a moment ago may still hold the activation; focus
  // changes (and the editing they end) need the window active.
  QWidget* window = edit->window();
  if (!window->isActiveWindow()) {
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
  }
  edit->setFocus();
  edit->selectAll();
  if (text.isEmpty()) {
    QTest::keyClick(edit, Qt::Key_Delete);
  } else {
    QTest::keyClicks(edit, text);
  }
  if (finish) QTest::keyClick(edit, Qt::Key_Return);
}

inline const QColor kBlack(Qt::black);

}  // namespace qv::flow_test
