// What the main window expects of the five tool windows (flow detection,
// overall detection, parameter settings, other parameters, meter reading):
// each is created once at start-up as a hidden window, the main window docks
// it into its client panel, closing it runs its close handler and only hides
// it, and on the program's end the main window asks it to end a running
// operation before anything is saved.
//
// A tool window runs its operations (BenchRun, ReadingRun) with `Pump()` as
// their EventPump and overrides `CancelRuns()` to cancel them; the base then
// interrupts the wait in progress so the operation unwinds at once.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "serial/port_slots.h"
#include "ui/captions.h"
#include "ui/qt_event_pump.h"

namespace qv {

class TToolForm : public QWidget {
  Q_OBJECT

 public:
  explicit TToolForm(SharedState& state, QWidget* parent = nullptr);

  // Ends the window's running operation cleanly: no further frame is sent,
  // the wait in progress returns, and the operation returns to its caller
  // through the event loop. Nothing happens while the window is idle.
  void CancelOperation();

  QtEventPump& Pump() { return pump_; }
  SharedState& Shared() { return state_; }

 protected:
  // Cancels every run the window owns (`BenchRun::Cancel`,
  // `ReadingRun::Cancel`).
  virtual void CancelRuns() {}
  // Ends a wait of the window's own outside an operation (for a reading of
  // the scale) on Esc.
  virtual void CancelWait() {}
  // Sets every caption in the language of the settings.
  virtual void ApplyLanguage() {}
  // `ApplyLanguage`, remembering the language shown.
  void ShowLanguage();
  // Starts the one-second language follow-up "Timer1": a language chosen
  // in another window reaches this one's captions within a second.
  void FollowLanguage();

  SharedState& state_;

 private:
  QtEventPump pump_;
  int shown_language_ = -1;
};

// A tool window whose controls are not built yet: it shows its caption, in
// the language of the settings each time it is shown, and docks like the
// others.
class TPlaceholderForm : public TToolForm {
  Q_OBJECT

 public:
  TPlaceholderForm(SharedState& state, QWidget* parent, const char* object_name,
                   const char* chinese, const char* english);

 protected:
  void showEvent(QShowEvent* event) override;
  void ApplyLanguage() override;

 private:
  const char* chinese_;
  const char* english_;
  QLabel* caption_;
};

}  // namespace qv
