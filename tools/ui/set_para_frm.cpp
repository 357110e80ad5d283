#include "tools/ui/set_para_frm.h"

namespace qv {

TSetParaFrm::TSetParaFrm(SharedState& state, QWidget* parent)
    : TPlaceholderForm(state, parent, "SetParaFrm", "参数设置", "Parameter Settings") {}

}  // namespace qv
