#include "protocol/routing.h"

#include <algorithm>
#include <exception>
#include <set>
#include <string>

namespace qv {
namespace {

// Which row's `Comm` names the port of a row.
enum class PortSource : uint8_t { kNone, kFirstRow, kOwnRow };

struct WiringRule {
  int32_t CommType;
  PortSource Port;
  bool SwitchChannel;  // the row's `Channel` must be opened on the switch
};

// One rule per wiring of the bench.
constexpr std::array<WiringRule, 4> kWiringRules = {{
    {kCommSingle, PortSource::kFirstRow, false},  // "单串口"
    {kCommMulti, PortSource::kOwnRow, false},     // "多串口"
    {kCommInfrared, PortSource::kNone, false},    // "红外": nothing is sent
    {kCommChannel, PortSource::kFirstRow, true},  // "多通道"
}};

bool ValidRow(int row) {
  return row >= 0 && row < kMeterRows;
}

// Opens the slot's port. Whatever the port throws (its threads could not be
// started, it ran out of memory) counts as a port that did not open, with
// the reason in `why`: opening a port never ends the program.
bool OpenSlotPort(PortSlot& slot, std::string* why = nullptr) {
  if (!slot.Port) return false;
  try {
    return slot.Port->Open();
  } catch (const std::exception& e) {
    if (why) *why = e.what();
  } catch (...) {
    if (why) *why = "unknown error";
  }
  return false;
}

}  // namespace

RowRoute RouteForRow(const BenchState& state, int row) {
  RowRoute route;
  if (!ValidRow(row)) return route;
  for (const WiringRule& rule : kWiringRules) {
    if (rule.CommType != state.Settings.CommType) continue;
    if (rule.Port == PortSource::kNone) return route;
    const int32_t comm = state.Rows[rule.Port == PortSource::kFirstRow ? 0 : row].Comm;
    if (!PortSlots::ValidNumber(comm)) return route;
    route.Slot = comm;
    if (rule.SwitchChannel) route.Channel = state.Rows[row].Channel;
    return route;
  }
  return route;
}

PortSlot* RowSendSlot(SharedState& state, int row) {
  const RowRoute route = RouteForRow(state, row);
  if (!route.HasPort()) return nullptr;
  PortSlot& slot = state.Slots[route.Slot];
  return slot.PortOpen && slot.Port ? &slot : nullptr;
}

std::vector<int> BroadcastRows(const BenchState& state, int count) {
  std::vector<int> rows;
  if (count <= 0) return rows;
  if (state.Settings.CommType == kCommInfrared) return {0};
  std::set<std::pair<int, int32_t>> lines;
  for (int r = 0; r < std::min(count, kMeterRows); ++r) {
    const RowRoute route = RouteForRow(state, r);
    if (route.HasPort() && lines.insert({route.Slot, route.Channel.value_or(-1)}).second)
      rows.push_back(r);
  }
  return rows;
}

int LineOfRow(const BenchState& state, int row) {
  if (state.Settings.CommType == kCommInfrared) return kPortSlotCount + 1 + row;
  return RouteForRow(state, row).Slot;
}

std::string LineText(const BenchState& state, int row) {
  if (state.Settings.CommType == kCommInfrared) return "红外";
  const RowRoute route = RouteForRow(state, row);
  std::string text = "COM" + std::to_string(route.Slot);
  if (route.Channel) text += "通道" + std::to_string(*route.Channel + 1);
  return text;
}

void ResetRecvBuffers(SharedState& state) {
  state.Slots.ResetRecvBuffers();
}

void OpenMeterPorts(SharedState& state) {
  for (const MeterRow& row : state.Rows) {
    if (!PortSlots::ValidNumber(row.Comm)) continue;
    PortSlot& slot = state.Slots[row.Comm];
    if (!slot.PortOpen) slot.PortOpen = OpenSlotPort(slot);
  }
}

bool AssignRowPort(SharedState& state, int row, int32_t comm, std::string* why) {
  if (!ValidRow(row) || (comm != 0 && !PortSlots::ValidNumber(comm))) return false;
  state.Rows[row].Comm = comm;
  if (comm == 0) return false;
  PortSlot& slot = state.Slots[comm];
  if (!slot.PortOpen) slot.PortOpen = OpenSlotPort(slot, why);
  return slot.PortOpen;
}

void DropPort(PortSlot& slot) {
  if (slot.Port) slot.Port->Close();
  if (slot.PortOpen) slot.Lost = true;
  slot.PortOpen = false;
}

void DropFailedPorts(SharedState& state) {
  for (int n = 1; n <= kPortSlotCount; ++n) {
    PortSlot& slot = state.Slots[n];
    if (slot.PortOpen && slot.Port && slot.Port->Failed()) DropPort(slot);
  }
}

void RefreshPorts(SharedState& state) {
  DropFailedPorts(state);
  // Rows share ports: each lost port is tried once, so a port still away
  // costs one attempt and one log line per operation, not one per row.
  std::set<int> tried;
  for (const MeterRow& row : state.Rows) {
    if (!PortSlots::ValidNumber(row.Comm) || !tried.insert(row.Comm).second) continue;
    PortSlot& slot = state.Slots[row.Comm];
    if (!slot.Lost || slot.PortOpen || !slot.Port) continue;
    slot.PortOpen = OpenSlotPort(slot);
    if (!slot.PortOpen) continue;
    slot.Lost = false;
    state.Log.Post(" 串口" + slot.Port->PortName() + "重新打开");
  }
}

void InitSystem(SharedState& state) {
  InitBenchState(state);
  state.Slots.CreatePorts(state.PortDevices, state.Log);
  OpenMeterPorts(state);
}

}  // namespace qv
