// The other-parameters window's captions in both languages, and the names
// of its row fields in messages.
#pragma once

#include "ui/captions.h"

namespace qv {

const CaptionTable& OtherParaCaptions();
// "第3行写数据" / "Row 3 Write Data", "第3行低温标准" / "Row 3 Low Temp. Standard.",
// "第3行PT编号" / "Row 3 PT No" for field `field` (OtherParaField numbering).
QString OtherParaFieldName(int row, int field, bool english);

}  // namespace qv
