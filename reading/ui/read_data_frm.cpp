#include "reading/ui/read_data_frm.h"

namespace qv {

TReadDataFrm::TReadDataFrm(SharedState& state, QWidget* parent)
    : TPlaceholderForm(state, parent, "ReadDataFrm", "抄表", "Read Data") {}

}  // namespace qv
