#include <cstdlib>

#include "core/data_dir.h"
#include "core/settings_files.h"
#include "core/shared_state.h"

namespace qv {

void InitBenchState(BenchState& state) {
  const DataDirChoice data =
      ChooseDataDir(state.ProgramDir, [](const char* name) { return std::getenv(name); });
  state.DataDir = data.Dir;
  state.Log.Post(DataDirLine(data));
  // Addresses and selections are never persisted: every start begins clean.
  for (int i = 0; i < kMeterRows; ++i) {
    MeterRow& row = state.Rows[i];
    row.Address.clear();
    state.ChannelState[i] = 0;
    row.Selected = false;
    row.Comm = 0;
    row.Channel = 0;
  }
  for (MeterRow& row : state.Rows)
    row.Coefficients.fill(0);
  state.SwitchFrameSeq = 0;
  LoadSysInfo(state);
  LoadCommInfo(state);
}

}  // namespace qv
