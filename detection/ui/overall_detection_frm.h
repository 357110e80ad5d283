// The overall detection window: volume and heat tested together. Until its controls are built it
// shows its caption only; the main window docks it like any tool window.
#pragma once

#include "ui/tool_form.h"

namespace qv {

class TOverallDetectionFrm : public TPlaceholderForm {
  Q_OBJECT

 public:
  explicit TOverallDetectionFrm(SharedState& state, QWidget* parent = nullptr);
};

}  // namespace qv
