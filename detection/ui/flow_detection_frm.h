// The flow detection window: verification runs over the selected meters. Until its controls are
// built it shows its caption only; the main window docks it like any tool window.
#pragma once

#include <QLabel>

#include "shell/tool_form.h"

namespace qv {

class TFlowDetectionFrm : public TToolForm {
  Q_OBJECT

 public:
  explicit TFlowDetectionFrm(SharedState& state, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ApplyLanguage();

  QLabel* caption_;
};

}  // namespace qv
