// The window fixture of the tool window tests: the window on a shared state
// of its own, shown as a top-level window on the width of the smallest
// screen (1366) and active; every message box it shows is closed at once and
// its text kept in `boxes`, its beeps counted. With `StartBench` it runs
// against a virtual bench (bench-sim on pseudo-terminals), every row given
// its meter's port and address, and its reply poll runs at a tenth of its
// period to keep the tests quick (nothing depends on it). The window and its
// ports go before the bench.
#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serial/port_slots.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"
#include "support/form_input.h"
#include "ui/operator_input.h"

namespace qv::test {

template <typename Frm>
struct WindowFixture {
  test_support::ModalCloser boxes;
  std::unique_ptr<sim::VirtualBench> bench;
  std::unique_ptr<SharedState> state = std::make_unique<SharedState>();
  std::unique_ptr<Frm> frm;
  int beeps = 0;

  WindowFixture() = default;
  WindowFixture(const WindowFixture&) = delete;
  WindowFixture& operator=(const WindowFixture&) = delete;
  ~WindowFixture() {
    for (int n = 1; n <= kPortCount; ++n) {
      if (state->Slots[n].Port) state->Slots[n].Port->Close();
      state->Slots[n].PortOpen = false;
    }
    frm.reset();
    bench.reset();
  }

  // Starts the virtual bench; `Make` connects the rows to its meters.
  void StartBench(const sim::BenchOptions& options) {
    bench = std::make_unique<sim::VirtualBench>(options);
    std::string error;
    if (!bench->Start(error)) qFatal("bench-sim: %s", error.c_str());
  }
  // Makes the window, `setup` having changed the state first, and shows it
  // `height` pixels high.
  void Make(const std::function<void(SharedState&)>& setup = {}, int height = 700) {
    if (bench && !sim::ConnectProgram(*state, *bench)) qFatal("ports did not open");
    if (setup) setup(*state);
    frm = std::make_unique<Frm>(*state);
    frm->Input().beep = [this] { ++beeps; };
    if (bench) frm->template findChild<QTimer*>("ReadTimer")->setInterval(100);
    frm->resize(1366, height);
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
  void Click(const QString& button) const {
    auto* b = Find<QAbstractButton>(button);
    if (!b) qFatal("no button %s", qPrintable(button));
    b->click();
  }
  // What each named control (or menu item) shows: its text, a list's
  // current item, a group's title.
  QStringList Texts(const QStringList& names) const {
    QStringList texts;
    for (const QString& name : names) {
      const QObject* w = Find<QObject>(name);
      QVariant text;
      for (const char* property : {"text", "currentText", "title"}) {
        if (w && !text.isValid()) text = w->property(property);
      }
      texts << (text.isValid() ? text.toString() : "no text of " + name);
    }
    return texts;
  }
  // Those of the named controls that are not hidden.
  QStringList Shown(const QStringList& names) const {
    QStringList shown;
    for (const QString& name : names) {
      if (QWidget* w = Find(name); w && !w->isHidden()) shown << name;
    }
    return shown;
  }
  // The texts of the message boxes `action` brings up.
  QStringList Told(const std::function<void()>& action) {
    boxes.texts.clear();
    action();
    return std::exchange(boxes.texts, {});
  }
  // Types `text` into the field `name`; the texts of the message boxes that
  // brings up.
  QStringList Typed(const QString& name, const QString& text) {
    return Told([&] { test_support::Type(Edit(name), text); });
  }
  QColor Lamp(int row) const { return frm->Grid().LampColour(row); }
  // The lamps of rows 0 .. rows - 1.
  QList<QColor> Lamps(int rows) const {
    QList<QColor> lamps;
    for (int r = 0; r < rows; ++r)
      lamps << Lamp(r);
    return lamps;
  }
  // Log lines written since the last call.
  std::vector<std::string> Lines() const { return state->Log.TakePending(); }
};

// Whether `told` is one message that holds every one of `parts`; what was
// told is logged when not.
inline bool IsOneMessage(const QStringList& told, const QStringList& parts) {
  bool one = told.size() == 1;
  for (const QString& part : parts)
    one = one && told[0].contains(part);
  if (!one) qWarning("told: %s", qPrintable(told.join('|')));
  return one;
}

inline bool Has(std::string_view line, std::string_view text) {
  return line.find(text) != std::string_view::npos;
}
// How many of the log `lines` hold `text`.
inline long Count(const std::vector<std::string>& lines, std::string_view text) {
  return std::count_if(lines.begin(), lines.end(), [text](const auto& l) { return Has(l, text); });
}

}  // namespace qv::test
