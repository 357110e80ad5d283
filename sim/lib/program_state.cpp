#include "sim/lib/program_state.h"

#include "protocol/routing.h"
#include "sim/lib/program_files.h"

namespace qv::sim {

std::string OperatorAddress(const MeterState& meter) {
  const std::string text = meter.address.Text();
  if (meter.protocol == ProtocolVersion::kTG) return text.substr(text.size() - 8);
  const size_t first = text.find_first_not_of('0');
  return first == std::string::npos ? "0" : text.substr(first);
}

bool ConnectProgram(SharedState& state, const VirtualBench& bench,
                    std::vector<std::string> devices) {
  const std::vector<std::string> paths = devices.empty() ? bench.DevicePaths() : std::move(devices);
  for (size_t i = 0; i < paths.size() && i < static_cast<size_t>(kPortCount); ++i) {
    state.PortDevices[i + 1] = paths[i];
  }
  const int meters = bench.MeterCount();
  state.Settings.CommType = CommTypeFor(bench.GetWiring());
  state.Settings.MeterNum = meters;
  for (int r = 0; r < meters; ++r) {
    const RowWiring w = RowWiringFor(bench.GetWiring(), meters, r);
    MeterRow& row = state.Rows[r];
    row.Comm = w.comm;
    row.Channel = w.channel;
    row.Address = OperatorAddress(bench.Meter(r));
  }
  if (const auto protocol = bench.SpokenScaleProtocol()) {
    state.Scale.Device = bench.ScaleDevicePath();
    state.Scale.ChooseProtocol(*protocol);
  }
  state.Slots.CreatePorts(state.PortDevices, state.Log);
  OpenMeterPorts(state);
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!state.Slots[static_cast<int>(i) + 1].PortOpen) return false;
  }
  return true;
}

}  // namespace qv::sim
