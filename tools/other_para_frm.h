// The other-parameters window: accumulated registers, pairing, heat unit, pipe mode, PT number.
// Until its controls are built it shows its caption only; the main window docks it like any tool
// window.
#pragma once

#include <QLabel>

#include "shell/tool_form.h"

namespace qv {

class TOtherParaFrm : public TToolForm {
  Q_OBJECT

 public:
  explicit TOtherParaFrm(SharedState& state, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ApplyLanguage();

  QLabel* caption_;
};

}  // namespace qv
