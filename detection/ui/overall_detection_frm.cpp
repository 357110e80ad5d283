#include "detection/ui/overall_detection_frm.h"

#include <QShowEvent>
#include <QVBoxLayout>

namespace qv {

TOverallDetectionFrm::TOverallDetectionFrm(SharedState& state, QWidget* parent)
    : TToolForm(state, parent) {
  setObjectName("OverallDetectionFrm");
  caption_ = new QLabel(this);
  caption_->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption_);
  ApplyLanguage();
}

void TOverallDetectionFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) ApplyLanguage();
  TToolForm::showEvent(event);
}

void TOverallDetectionFrm::ApplyLanguage() {
  const QString title = ByLanguage(state_.Settings, "总体检测", "Total Detection");
  setWindowTitle(title);
  caption_->setText(title);
}

}  // namespace qv
