#include "shell/tool_form.h"

namespace qv {

TToolForm::TToolForm(SharedState& state, QWidget* parent) : QWidget(parent), state_(state) {
  // Created hidden as a window of its own; the main window docks it.
  setWindowFlag(Qt::Window, parent == nullptr);
}

void TToolForm::CancelOperation() {
  CancelRuns();
  pump_.Interrupt();
}

}  // namespace qv
