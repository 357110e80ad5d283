// Which port slot (and switch channel) carries a meter row's frames under
// the bench's wiring, and opening the ports the rows name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serial/port_slots.h"

namespace qv {

// Where a row's frames go: `Slot` 0 = nowhere (no port, or infrared
// wiring); `Channel` is the switch channel to open first, under the
// multi-channel wiring only.
struct RowRoute {
  int Slot = 0;
  std::optional<int32_t> Channel;

  bool HasPort() const { return Slot != 0; }
};

// The slot and channel of row `row` (0..19) under the bench's `CommType`:
// single port and multi-channel use row 0's port for every row, one port
// per meter uses the row's own, infrared none. A port number outside
// 1..32, a row outside 0..19 or an unknown wiring gives no slot.
RowRoute RouteForRow(const BenchState& state, int row);
// The slot a row's frames are sent through, when it has one and it is open.
PortSlot* RowSendSlot(SharedState& state, int row);
// The rows a broadcast reaching every meter of rows 0..count-1 is sent for:
// the first row on each distinct port and, behind the switch, on each
// distinct channel, in row order. Rows without a port are left out; on
// infrared wiring (nothing is transmitted) row 0 stands for all.
std::vector<int> BroadcastRows(const BenchState& state, int count);
// The line row `row` is served on: rows with the same line are served one
// after another, rows on different lines may be served at the same time.
// Single port and multi-channel wiring have one line (the switch's port),
// one port per meter a line per port, infrared wiring (nothing is sent) a
// line per row; rows without a port share line 0.
int LineOfRow(const BenchState& state, int row);
// The line of `row` as the log names it: "COM3", "COM1通道5" behind the
// switch, "红外" on infrared wiring.
std::string LineText(const BenchState& state, int row);

// Empties the rings of all 32 slots.
void ResetRecvBuffers(SharedState& state);
// For rows 0..19 in order: opens the port the row names when its slot is
// not open yet and records the result in `PortOpen`. A port that fails is
// logged with the reason (no message box); a later row naming the same
// port tries again.
void OpenMeterPorts(SharedState& state);
// Gives row `row` the port `comm` (0 = none): stores it in the row's `Comm`
// and opens the port when its slot is not open. Returns whether the row now
// has an open port. Ports no longer named by any row stay open. A row or
// port number out of range changes nothing and gives false. Nothing is
// thrown: a port that failed to open by raising an error (no thread for
// it) stays closed and `why`, when given, holds the error's text.
bool AssignRowPort(SharedState& state, int row, int32_t comm, std::string* why = nullptr);

// Before each operation: a port whose line failed is closed (its slot shows
// it closed), and every lost port a row still names is opened again, so an
// adapter plugged back in serves without a restart. Each reopened port is
// logged. Ports closed on purpose (a change of wiring) stay closed.
void RefreshPorts(SharedState& state);
// A port whose line failed (it refused a frame) is closed and marked lost.
void DropPort(PortSlot& slot);
// After each operation: every open port whose line failed meanwhile (its
// reader or writer stopped) is dropped, so its slot shows it closed.
void DropFailedPorts(SharedState& state);

// Start-up before any window exists: `InitBenchState`, then the 32 ports
// are created and those the rows name are opened (silently going on past
// any that fail).
void InitSystem(SharedState& state);

}  // namespace qv
