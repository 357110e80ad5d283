// The two caption sets of the flow detection window, one row per captioned
// control (found by its object name), and the names its messages give the
// fields.
#pragma once

#include <QString>
#include <QWidget>

namespace qv {

// Sets the caption of every listed control under `root`, the items of the
// three lists and the window title.
void ApplyFlowCaptions(QWidget& root, bool english);

// The caption of `object` without its blanks and colon ("称初值",
// "Initial Value"), naming the field in messages.
QString CaptionName(const char* object, bool english);

// "第3行流量二体积" / "Row 3 Flow Two volume" (`coefficient` for the
// coefficient cell).
QString CellName(int row, int point, bool coefficient, bool english);

// The compensation item of the error cells' popup menu.
QString CompensateCaption(bool english);

}  // namespace qv
