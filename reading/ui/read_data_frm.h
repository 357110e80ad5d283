// The meter reading window: metering data and clock setting. Until its controls are built it shows
// its caption only; the main window docks it like any tool window.
#pragma once

#include "ui/tool_form.h"

namespace qv {

class TReadDataFrm : public TPlaceholderForm {
  Q_OBJECT

 public:
  explicit TReadDataFrm(SharedState& state, QWidget* parent = nullptr);
};

}  // namespace qv
