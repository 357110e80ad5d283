#include "ui/tool_form.h"

#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>

namespace qv {

TToolForm::TToolForm(SharedState& state, QWidget* parent) : QWidget(parent), state_(state) {
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
}

void TToolForm::ShowLanguage() {
  ApplyLanguage();
  shown_language_ = state_.Settings.Language;
}

void TToolForm::FollowLanguage() {
  // Once a second: the settings change in another window, without a signal.
  constexpr int kFollowUpMs = 1000;
  auto* timer = new QTimer(this);
  timer->setObjectName("Timer1");
  timer->setInterval(kFollowUpMs);
  connect(timer, &QTimer::timeout, this, [this] {
    if (state_.Settings.Language != shown_language_) ShowLanguage();
  });
  timer->start();
}

void TToolForm::CancelOperation() {
  CancelRuns();
  pump_.Interrupt();
}

TPlaceholderForm::TPlaceholderForm(SharedState& state, QWidget* parent, const char* object_name,
                                   const char* chinese, const char* english)
    : TToolForm(state, parent), chinese_(chinese), english_(english) {
  setObjectName(object_name);
  caption_ = new QLabel(this);
  caption_->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption_);
  ApplyLanguage();
}

void TPlaceholderForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) ApplyLanguage();
  TToolForm::showEvent(event);
}

void TPlaceholderForm::ApplyLanguage() {
  const QString title = ByLanguage(state_.Settings, chinese_, english_);
  setWindowTitle(title);
  caption_->setText(title);
}

}  // namespace qv
