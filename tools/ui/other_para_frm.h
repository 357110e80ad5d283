// The other-parameters window: accumulated registers, pairing, heat unit, pipe mode, PT number.
// Until its controls are built it shows its caption only; the main window docks it like any tool
// window.
#pragma once

#include "ui/tool_form.h"

namespace qv {

class TOtherParaFrm : public TPlaceholderForm {
  Q_OBJECT

 public:
  explicit TOtherParaFrm(SharedState& state, QWidget* parent = nullptr);
};

}  // namespace qv
