// The two caption sets of the parameter settings window, one row per
// captioned control (found by its object name), and the names its messages
// give the fields.
#pragma once

#include "ui/captions.h"

namespace qv {

// Every caption of the window, its language-dependent lists and its title.
const CaptionTable& SetParaCaptions();

// The name of an edit of the basic parameters (its label's caption:
// "误差标准" / "Standard Error").
QString SettingName(const char* edit_object, bool english);
// "第3行系数二" / "Row 3 Coef. Two"; "第3行新地址" / "Row 3 New Address".
QString CoefficientName(int row, int k, bool english);
QString NewAddressName(int row, bool english);

}  // namespace qv
