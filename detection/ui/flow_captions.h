// The captions of the two detection windows, one row per captioned control
// (found by its object name): the rows both windows share, each window's
// own, and the names their messages give the fields.
#pragma once

#include <span>

#include "ui/captions.h"

namespace qv {

// The table of a detection window: its `title`, the rows and lists both
// windows share, its `own` rows, and `per_point` once for each flow point
// with "%1" in the object name standing for the point's number
// ("lblQ%1Bulk" gives lblQ1Bulk .. lblQ5Bulk).
CaptionTable DetectionCaptions(Caption title, std::span<const Caption> own,
                               std::span<const Caption> per_point);

// Every caption of the flow detection window and of the overall detection
// window, their lists and titles.
const CaptionTable& FlowCaptions();
const CaptionTable& OverallCaptions();

// The cells of a flow point.
enum class CellKind { kVolume, kError, kCoefficient, kHeat };
// "第3行流量二体积" / "Row 3 Flow Two volume" (误差 / error, 系数 /
// coefficient, 热量 / heat).
QString CellName(int row, int point, CellKind kind, bool english);

}  // namespace qv
