// The events both Win32 devices (COM port and serial device server) wait
// on: a manual-reset stop event set by Stop(), and one completion event
// each for the reader's and the writer's overlapped operation. A blocked
// read or write ends the moment the stop event is set.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

namespace qv {

class IoEvents {
 public:
  // Creates the three events; false (see GetLastError) when one fails.
  bool Create() {
    stop_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    read_done_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    write_done_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return stop_ && read_done_ && write_done_;
  }

  void Close() {
    for (HANDLE* h : {&stop_, &read_done_, &write_done_}) {
      if (*h) ::CloseHandle(*h);
      *h = nullptr;
    }
  }

  void Stop() {
    if (stop_) ::SetEvent(stop_);
  }
  bool Stopped() const { return ::WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0; }

  // The completion event of a new read or write, reset.
  HANDLE ReadDone() { return Reset(read_done_); }
  HANDLE WriteDone() { return Reset(write_done_); }

  // Waits for the pending read (no limit without `wait`) or write, or the
  // stop: WAIT_OBJECT_0 when stopped, WAIT_OBJECT_0 + 1 when the operation
  // completed, WAIT_TIMEOUT or WAIT_FAILED otherwise.
  DWORD WaitRead(std::optional<std::chrono::milliseconds> wait) const {
    DWORD limit = INFINITE;
    if (wait) limit = static_cast<DWORD>(std::clamp<int64_t>(wait->count(), 0, MAXDWORD - 1));
    return Wait(read_done_, limit);
  }
  DWORD WaitWrite() const { return Wait(write_done_, INFINITE); }

 private:
  static HANDLE Reset(HANDLE h) {
    ::ResetEvent(h);
    return h;
  }
  DWORD Wait(HANDLE done, DWORD limit) const {
    HANDLE events[2] = {stop_, done};
    return ::WaitForMultipleObjects(2, events, FALSE, limit);
  }

  HANDLE stop_ = nullptr;
  HANDLE read_done_ = nullptr;
  HANDLE write_done_ = nullptr;
};

}  // namespace qv
