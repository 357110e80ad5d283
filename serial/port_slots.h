// The 32 port slots of the bench, numbered 1..32: slot n holds port "COM"n,
// whether it is open for the rows, and its receive ring. Which row uses
// which slot is the transaction cycle's business (protocol/routing.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/operation_log.h"
#include "core/shared_state.h"
#include "serial/port_transport.h"
#include "serial/recv_ring.h"

namespace qv {

inline constexpr int kPortSlotCount = 32;

// A slot is its receive ring (`RecvHead`, `RecvTail`, the 8192-byte
// `RecvBuf`, see RecvRing) together with its port. `Port` is created at
// start-up and destroyed before the ring it feeds.
struct PortSlot : RecvRing {
  std::unique_ptr<PortTransport> Port;
  // True while `Port` is open for the rows (user-interface thread only).
  bool PortOpen = false;
  // Its line failed while open: it is opened again before each operation
  // until that succeeds (user-interface thread only).
  bool Lost = false;
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
  // Every port whose lines go into log block `block` logs what it received
  // and has not logged yet.
  void FlushReceived(int block);
  // `waker` runs on a reader thread whenever bytes arrive on any port
  // (empty: nothing runs).
  void SetWaker(const std::function<void()>& waker);

 private:
  std::array<PortSlot, kPortSlotCount> slots_;
};

// The bench's whole state: the core state and the 32 port slots. The slots
// are the derived part, so they (and the ports' reader threads, which log)
// end before the log does.
struct SharedState : BenchState {
  PortSlots Slots;
};

// The program's one instance. Its `ProgramDir` is the executable's directory.
SharedState& State();

}  // namespace qv
