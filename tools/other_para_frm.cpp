#include "tools/other_para_frm.h"

#include <QShowEvent>
#include <QVBoxLayout>

namespace qv {

TOtherParaFrm::TOtherParaFrm(SharedState& state, QWidget* parent) : TToolForm(state, parent) {
  setObjectName("OtherParaFrm");
  caption_ = new QLabel(this);
  caption_->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption_);
  ApplyLanguage();
}

void TOtherParaFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) ApplyLanguage();
  TToolForm::showEvent(event);
}

void TOtherParaFrm::ApplyLanguage() {
  const QString title = ByLanguage(state_.Settings, "其它参数", "Other Parameters");
  setWindowTitle(title);
  caption_->setText(title);
}

}  // namespace qv
