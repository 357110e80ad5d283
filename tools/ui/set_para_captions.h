// The two caption sets of the parameter settings window, one row per
// captioned control (found by its object name), and the names its messages
// give the fields.
#pragma once

#include "tools/core/set_para_settings.h"
#include "ui/captions.h"

namespace qv {

// Every caption of the window, its language-dependent lists and its title.
const CaptionTable& SetParaCaptions();

// The name of an edit of the basic parameters or the bench group (its
// label's caption: "误差标准" / "Standard Error").
QString SettingName(const char* edit_object, bool english);
// Why a text of the bench group was refused, naming the field: for a date
// the text and the form expected, for a connection text that the password
// belongs in libpq's password file.
QString RefusedTextMessage(const TextSetting& setting, const QString& text, bool english);
// "第3行系数二" / "Row 3 Coef. Two"; "第3行新地址" / "Row 3 New Address".
QString CoefficientName(int row, int k, bool english);
QString NewAddressName(int row, bool english);

}  // namespace qv
