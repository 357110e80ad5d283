#include "detection/ui/flow_detection_frm.h"

#include <QShowEvent>
#include <QVBoxLayout>

namespace qv {

TFlowDetectionFrm::TFlowDetectionFrm(SharedState& state, QWidget* parent)
    : TToolForm(state, parent) {
  setObjectName("FlowDetectionFrm");
  caption_ = new QLabel(this);
  caption_->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption_);
  ApplyLanguage();
}

void TFlowDetectionFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) ApplyLanguage();
  TToolForm::showEvent(event);
}

void TFlowDetectionFrm::ApplyLanguage() {
  const QString title = ByLanguage(state_.Settings, "流量检测", "Flow Detection");
  setWindowTitle(title);
  caption_->setText(title);
}

}  // namespace qv
