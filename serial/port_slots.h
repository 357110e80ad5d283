// The 32 port slots of the bench, numbered 1..32: slot n holds port "COM"n,
// whether it is open for the rows, and its receive ring. Meter rows find
// their slot (and switch channel) through `RouteForRow`, by the bench's
// wiring.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/operation_log.h"
#include "serial/recv_ring.h"
#include "serial/serial_port.h"

namespace qv {

struct SharedState;

inline constexpr int kPortSlotCount = 32;

// A slot is its receive ring (`RecvHead`, `RecvTail`, the 8192-byte
// `RecvBuf`, see RecvRing) together with its port. `Port` is created at
// start-up and destroyed before the ring it feeds.
struct PortSlot : RecvRing {
  std::unique_ptr<TSerialPort> Port;
  // True while `Port` is open for the rows (user-interface thread only).
  bool PortOpen = false;
};

class PortSlots {
 public:
  static bool ValidNumber(int n) { return n >= 1 && n <= kPortSlotCount; }

  // Slot `n`, 1..32; throws std::out_of_range for any other number.
  PortSlot& operator[](int n) { return slots_.at(static_cast<size_t>(n - 1)); }
  const PortSlot& operator[](int n) const { return slots_.at(static_cast<size_t>(n - 1)); }

  // Start-up: gives every slot a new closed port numbered after the slot,
  // using `devices[n]` as the device of port n when that is not empty
  // (index 0 unused); empties the rings and clears `PortOpen`. Ports left
  // open by an earlier call are closed.
  void CreatePorts(std::span<const std::string> devices, OperationLog& log);
  // Empties every ring, discarding unread bytes.
  void ResetRecvBuffers();

 private:
  std::array<PortSlot, kPortSlotCount> slots_;
};

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
RowRoute RouteForRow(const SharedState& state, int row);
// The slot a row's frames are sent through, when it has one and it is open.
PortSlot* RowSendSlot(SharedState& state, int row);

// Empties the rings of all 32 slots.
void ResetRecvBuffers(SharedState& state);
// For rows 0..19 in order: opens the port the row names when its slot is
// not open yet and records the result in `PortOpen`. Failures are silent;
// a later row naming the same port tries again.
void OpenMeterPorts(SharedState& state);
// Gives row `row` the port `comm` (0 = none): stores it in the row's `Comm`
// and opens the port when its slot is not open. Returns whether the row now
// has an open port. Ports no longer named by any row stay open. A row or
// port number out of range changes nothing and gives false.
bool AssignRowPort(SharedState& state, int row, int32_t comm);

}  // namespace qv
