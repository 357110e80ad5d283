#include "tools/ui/other_para_frm.h"

namespace qv {

TOtherParaFrm::TOtherParaFrm(SharedState& state, QWidget* parent)
    : TPlaceholderForm(state, parent, "OtherParaFrm", "其它参数", "Other Parameters") {}

}  // namespace qv
