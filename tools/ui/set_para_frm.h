// The parameter settings window: bench settings and each row's port, channel and address. Until its
// controls are built it shows its caption only; the main window docks it like any tool window.
#pragma once

#include "ui/tool_form.h"

namespace qv {

class TSetParaFrm : public TPlaceholderForm {
  Q_OBJECT

 public:
  explicit TSetParaFrm(SharedState& state, QWidget* parent = nullptr);
};

}  // namespace qv
