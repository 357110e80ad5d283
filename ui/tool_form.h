// What the main window expects of its tool windows (shell/tool_windows.cpp
// lists them): each is created once at start-up as a hidden window, the main
// window docks it into its client panel, closing it runs its close handler
// and only hides it, and on the program's end the main window asks it to end
// a running operation before anything is saved.
//
// The base does what every tool window needs: the operator's input rules
// (`Input()`), the timers of a run with their default periods and the lamp
// blinking (`BindRun`), and the one-second language follow-up "Timer1".
//
// A tool window runs its operations (BenchRun, ReadingRun) with `Pump()` as
// their EventPump and overrides `CancelRuns()` to cancel them; the base then
// interrupts the wait in progress so the operation unwinds at once.
#pragma once

#include <QTimer>
#include <QWidget>

#include "serial/port_slots.h"
#include "ui/captions.h"
#include "ui/qt_event_pump.h"
#include "ui/run_timers.h"

namespace qv {

class BenchRun;
class TMeterGrid;
class TOperatorInput;

class TToolForm : public QWidget {
  Q_OBJECT

 public:
  explicit TToolForm(SharedState& state, QWidget* parent = nullptr);
  ~TToolForm() override;

  // Ends the window's running operation cleanly: no further frame is sent,
  // the wait in progress returns, and the operation returns to its caller
  // through the event loop. Nothing happens while the window is idle.
  void CancelOperation();

  // The window's captions in both languages, applied by `ApplyLanguage`.
  virtual const CaptionTable& Captions() const;

  QtEventPump& Pump() { return pump_; }
  SharedState& Shared() { return state_; }
  TOperatorInput& Input() { return *input_; }

 protected:
  // The reply poll: a meter's reply is taken from its port's ring at least
  // this often (the reader thread wakes the wait at once; the poll is the
  // safety net).
  static constexpr int kReadTimerMs = 1000;
  // The lamp of a row being served changes colour this often.
  static constexpr int kStatusTimerMs = 100;

  // "ReadTimer" polls `run`'s replies while it waits for them; a refused
  // start beeps.
  RunTimers BindRun(OperationRunner& run);
  // So, and "StatusTimer" blinks the lamps in `grid` of the rows `run`
  // serves, every `blink_ms`.
  RunTimers BindRun(BenchRun& run, TMeterGrid& grid, int blink_ms = kStatusTimerMs);

  // Cancels every run the window owns (`BenchRun::Cancel`,
  // `ReadingRun::Cancel`).
  virtual void CancelRuns() {}
  // Ends a wait of the window's own outside an operation (for a reading of
  // the scale) on Esc.
  virtual void CancelWait() {}
  // Sets every caption in the language of the settings.
  virtual void ApplyLanguage() {}
  // `ApplyLanguage`, remembering the language shown; "Timer1" calls it
  // within a second of a language chosen in another window.
  void ShowLanguage();

  SharedState& state_;
  // The operator's input rules of the window's fields. They go first when
  // the window closes (the editing of the field holding the focus ends
  // then), while the rest of the window is still there.
  TOperatorInput* input_;

 private:
  QtEventPump pump_;
  int shown_language_ = -1;
};

}  // namespace qv
