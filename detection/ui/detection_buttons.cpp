#include "detection/ui/detection_buttons.h"

#include <QApplication>

#include "detection/core/flow_detection_run.h"

namespace qv {

TDetectionButtons::TDetectionButtons(Actions a, QWidget* parent) : QWidget(parent) {
  grid_ = new QGridLayout(this);
  grid_->setContentsMargins(0, 8, 0, 0);
  const auto run = [run = a.run](int code) { return [run, code] { run(code); }; };
  btnInit = Button("btnInit", run(kFlowInit));
  btnStart = Button("btnStart", run(kFlowStart));
  btnEnd = Button(a.end_name, run(kFlowEnd));
  btnExcel = Button("btnExcel", {});  // the window connects it
  QPushButton* monitor = Button("btnMonitorInfo", [] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "ShowMessageFrm") w->show();
    }
  });
  monitor->hide();
  buttons_ = {Button("btnCheckIn", run(kFlowEnterCheck)),
              btnInit,
              btnStart,
              Button(a.flow_name, a.read_flow),
              btnEnd,
              Button("btnExitCheck", run(kFlowExitCheck)),
              Button("btnClear", run(kFlowClear)),
              Button("btnClearFace", a.clear_face),
              btnExcel,
              monitor};
  Pack();
}

QPushButton* TDetectionButtons::Button(const char* name, std::function<void()> clicked) {
  auto* button = new QPushButton(this);
  button->setObjectName(name);
  if (clicked) connect(button, &QPushButton::clicked, this, std::move(clicked));
  return button;
}

void TDetectionButtons::Pack() {
  constexpr int kPerRow = 4;
  int at = 0;
  for (QPushButton* b : buttons_) {
    grid_->removeWidget(b);
    if (b->isHidden()) continue;
    grid_->addWidget(b, at / kPerRow, at % kPerRow);
    ++at;
  }
}

}  // namespace qv
