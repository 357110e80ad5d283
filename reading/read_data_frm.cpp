#include "reading/read_data_frm.h"

#include <QShowEvent>
#include <QVBoxLayout>

namespace qv {

TReadDataFrm::TReadDataFrm(SharedState& state, QWidget* parent) : TToolForm(state, parent) {
  setObjectName("ReadDataFrm");
  caption_ = new QLabel(this);
  caption_->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(caption_);
  ApplyLanguage();
}

void TReadDataFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) ApplyLanguage();
  TToolForm::showEvent(event);
}

void TReadDataFrm::ApplyLanguage() {
  const QString title = ByLanguage(state_.Settings, "抄表", "Read Data");
  setWindowTitle(title);
  caption_->setText(title);
}

}  // namespace qv
