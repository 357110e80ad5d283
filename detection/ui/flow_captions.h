// The two caption sets of the flow detection window, one row per captioned
// control (found by its object name), and the names its messages give the
// fields.
#pragma once

#include "ui/captions.h"

namespace qv {

// Every caption of the window, its lists and its title.
const CaptionTable& FlowCaptions();

// The cells of a flow point.
enum class CellKind { kVolume, kError, kCoefficient, kHeat };
// "第3行流量二体积" / "Row 3 Flow Two volume" (误差 / error, 系数 /
// coefficient, 热量 / heat).
QString CellName(int row, int point, CellKind kind, bool english);

}  // namespace qv
