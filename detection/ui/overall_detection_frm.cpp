#include "detection/ui/overall_detection_frm.h"

namespace qv {

TOverallDetectionFrm::TOverallDetectionFrm(SharedState& state, QWidget* parent)
    : TPlaceholderForm(state, parent, "OverallDetectionFrm", "总体检测", "Total Detection") {}

}  // namespace qv
