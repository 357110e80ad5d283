#include "tools/set_para_frm.h"

#include <QShowEvent>
#include <QVBoxLayout>

namespace qv {

TSetParaFrm::TSetParaFrm(SharedState& state, QWidget* parent) : TToolForm(state, parent) {
  setObjectName("SetParaFrm");
  caption_ = new QLabel(this);
  caption_->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption_);
  ApplyLanguage();
}

void TSetParaFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) ApplyLanguage();
  TToolForm::showEvent(event);
}

void TSetParaFrm::ApplyLanguage() {
  const QString title = ByLanguage(state_.Settings, "参数设置", "Parameter Settings");
  setWindowTitle(title);
  caption_->setText(title);
}

}  // namespace qv
