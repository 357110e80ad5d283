#include "ui/tool_form.h"

#include <QShortcut>

#include "ui/meter_grid.h"
#include "ui/operator_input.h"

namespace qv {

TToolForm::TToolForm(SharedState& state, QWidget* parent)
    : QWidget(parent), state_(state), input_(new TOperatorInput(state, this)) {
  // Created hidden as a window of its own; the main window docks it.
  setWindowFlag(Qt::Window, parent == nullptr);
  // Esc ends the window's running operation (no further frame is sent), or
  // else the window's own wait.
  auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  esc->setContext(Qt::WidgetWithChildrenShortcut);
  connect(esc, &QShortcut::activated, this, [this] {
    if (state_.OperationRunning) {
      CancelOperation();
    } else {
      CancelWait();
    }
  });
  FollowLanguage(this, state_.Settings, shown_language_, [this] { ShowLanguage(); });
}

TToolForm::~TToolForm() {
  delete input_;
}

const CaptionTable& TToolForm::Captions() const {
  static const CaptionTable kNone{};
  return kNone;
}

void TToolForm::ShowLanguage() {
  ApplyLanguage();
  shown_language_ = state_.Settings.Language;
}

RunTimers TToolForm::BindRun(OperationRunner& run) {
  return BindRunTimers(this, run, kReadTimerMs, 0, {}, [this] { input_->Beep(); });
}

RunTimers TToolForm::BindRun(BenchRun& run, TMeterGrid& grid, int blink_ms) {
  return BindRunTimers(
      this, run, kReadTimerMs, blink_ms, [&grid, &run] { grid.BlinkServed(run); },
      [this] { input_->Beep(); });
}

void TToolForm::CancelOperation() {
  CancelRuns();
  pump_.Interrupt();
}

}  // namespace qv
