#include "serial/port_slots.h"

#include "core/program_dir.h"
#include "serial/serial_port.h"

namespace qv {

static_assert(kPortSlotCount == kPortCount);

void PortSlots::CreatePorts(std::span<const std::string> devices, OperationLog& log) {
  for (int n = 1; n <= kPortSlotCount; ++n) {
    PortSlot& slot = (*this)[n];
    slot.Port.reset();
    auto port = std::make_unique<TSerialPort>(slot, log);
    port->SetPortNumber(static_cast<uint8_t>(n));
    if (static_cast<size_t>(n) < devices.size()) port->SetDevicePath(devices[n]);
    slot.Port = std::move(port);
    slot.Reset();
    slot.PortOpen = false;
  }
  // Lines of the user-interface thread (where the ports are created) come
  // after the received bytes they follow from; a line of one row's block
  // leaves the lines of rows served beside it on other ports whole.
  log.SetBeforeLine([this](int block) { FlushReceived(block); });
}

void PortSlots::FlushReceived(int block) {
  for (PortSlot& slot : slots_) {
    if (slot.Port && slot.Port->LogBlock() == block) slot.Port->FlushReceived();
  }
}

void PortSlots::SetWaker(const std::function<void()>& waker) {
  for (PortSlot& slot : slots_)
    slot.SetWaker(waker);
}

void PortSlots::ResetRecvBuffers() {
  for (PortSlot& slot : slots_)
    slot.Reset();
}

SharedState& State() {
  static SharedState* state = [] {
    auto* s = new SharedState;  // lives for the whole process, never destroyed
    s->ProgramDir = ExecutableDir();
    return s;
  }();
  return *state;
}

}  // namespace qv
