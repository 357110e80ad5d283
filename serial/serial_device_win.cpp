// Win32 backend of the serial device: the COM device opened exclusively for
// overlapped I/O; each read and write is waited on together with a
// manual-reset stop event, so a blocked read or write ends the moment the
// port is closed.
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "serial/io_events_win.h"
#include "serial/serial_device.h"

namespace qv {
namespace {

// Driver queues each way: the port's largest block.
constexpr DWORD kQueueSize = 4096;

std::error_code ErrorOf(DWORD code) {
  return {static_cast<int>(code), std::system_category()};
}

std::error_code LastError() {
  return ErrorOf(::GetLastError());
}

BYTE ParityByte(Parity p) {
  switch (p) {
    case Parity::kOdd:
      return ODDPARITY;
    case Parity::kEven:
      return EVENPARITY;
    case Parity::kNone:
      break;
  }
  return NOPARITY;
}

class WinSerialDevice final : public SerialDevice {
 public:
  ~WinSerialDevice() override { Close(); }

  std::error_code Open(const std::string& path) override {
    if (handle_ != INVALID_HANDLE_VALUE)
      return std::make_error_code(std::errc::device_or_resource_busy);
    // No sharing: while this handle is held, every other open of the port,
    // in this program or another, fails.
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    handle_ = h;
    std::error_code e;
    if (!events_.Create() || !::SetupComm(h, kQueueSize, kQueueSize)) e = LastError();
    if (e) Close();
    return e;
  }

  std::error_code Configure(const LineSettings& line) override {
    if (line.BaudRate == 0) return std::make_error_code(std::errc::invalid_argument);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return LastError();
    dcb.BaudRate = line.BaudRate;
    dcb.ByteSize = line.DataBits;
    dcb.Parity = ParityByte(line.ParityMode);
    dcb.fParity = line.ParityMode != Parity::kNone;
    dcb.StopBits = line.StopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    // Raw bytes: no software flow control, no replaced or dropped
    // characters, and a line error does not stall later reads.
    dcb.fBinary = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(handle_, &dcb)) return LastError();
    // A read waits without limit for its first byte (until Read's own wait
    // or the stop event cancels it) and completes once the line has been
    // silent for two character times (11 bits each), with what it took. Only
    // an interval time-out: the driver's "return what is there at once"
    // special case (MAXDWORD, MAXDWORD, n) is not honoured by every serial
    // layer (wine's never completes such a read). No write time-outs: the
    // line drains at its own pace.
    const DWORD gap = std::max<DWORD>(10, 2 * 11 * 1000 / line.BaudRate + 1);
    COMMTIMEOUTS t{gap, 0, 0, 0, 0};
    if (!::SetCommTimeouts(handle_, &t)) return LastError();
    DCB back{};
    back.DCBlength = sizeof back;
    if (!::GetCommState(handle_, &back)) return LastError();
    if (back.BaudRate != dcb.BaudRate || back.ByteSize != dcb.ByteSize ||
        back.Parity != dcb.Parity || back.StopBits != dcb.StopBits) {
      return std::make_error_code(std::errc::invalid_argument);
    }
    return {};
  }

  ReadResult Read(std::span<uint8_t> into, std::optional<std::chrono::milliseconds> wait) override {
    if (into.empty())
      return {ReadStatus::kFailed, 0, std::make_error_code(std::errc::invalid_argument)};
    if (events_.Stopped()) return {ReadStatus::kStopped, 0, {}};
    OVERLAPPED ov{};
    ov.hEvent = events_.ReadDone();
    const DWORD want = static_cast<DWORD>(std::min<size_t>(into.size(), kQueueSize));
    DWORD n = 0;
    if (::ReadFile(handle_, into.data(), want, &n, &ov)) {
      if (n > 0) return {ReadStatus::kData, n, {}};
      return {ReadStatus::kTimeout, 0, {}};
    }
    if (::GetLastError() != ERROR_IO_PENDING) return {ReadStatus::kFailed, 0, LastError()};
    const DWORD woke = events_.WaitRead(wait);
    const bool completed = woke == WAIT_OBJECT_0 + 1;
    if (!completed) ::CancelIoEx(handle_, &ov);
    // Waits for the read to be really over (done or cancelled): the buffer
    // and `ov` are ours again. Bytes it took before the cancel count.
    if (!::GetOverlappedResult(handle_, &ov, &n, TRUE)) {
      const DWORD err = ::GetLastError();
      if (completed || err != ERROR_OPERATION_ABORTED)
        return {ReadStatus::kFailed, 0, ErrorOf(err)};
      n = 0;
    }
    if (n > 0) return {ReadStatus::kData, n, {}};
    if (woke == WAIT_OBJECT_0) return {ReadStatus::kStopped, 0, {}};
    if (woke == WAIT_TIMEOUT || completed) return {ReadStatus::kTimeout, 0, {}};
    return {ReadStatus::kFailed, 0, LastError()};
  }

  WriteResult Write(std::span<const uint8_t> bytes) override {
    size_t offset = 0;
    while (offset < bytes.size()) {
      OVERLAPPED ov{};
      ov.hEvent = events_.WriteDone();
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, MAXDWORD));
      DWORD n = 0;
      if (!::WriteFile(handle_, bytes.data() + offset, want, &n, &ov)) {
        if (::GetLastError() != ERROR_IO_PENDING) return {WriteStatus::kFailed, LastError()};
        const DWORD woke = events_.WaitWrite();
        if (woke != WAIT_OBJECT_0 + 1) {
          const std::error_code e = LastError();
          ::CancelIoEx(handle_, &ov);
          ::GetOverlappedResult(handle_, &ov, &n, TRUE);
          if (woke == WAIT_OBJECT_0) return {WriteStatus::kStopped, {}};
          return {WriteStatus::kFailed, e};
        }
        if (!::GetOverlappedResult(handle_, &ov, &n, TRUE))
          return {WriteStatus::kFailed, LastError()};
      }
      offset += n;
    }
    return {WriteStatus::kDone, {}};
  }

  void Purge(PurgeQueue queue) override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // Only the queues: aborting a pending read or write here would end the
    // port's threads as if the line had failed.
    static constexpr DWORD kFlags[] = {PURGE_RXCLEAR, PURGE_TXCLEAR, PURGE_RXCLEAR | PURGE_TXCLEAR};
    ::PurgeComm(handle_, kFlags[static_cast<size_t>(queue)]);
  }

  void Stop() override { events_.Stop(); }

  void Close() override {
    events_.Close();
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  IoEvents events_;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
  return std::make_unique<WinSerialDevice>();
}

std::string DefaultDevicePath(int n) {
  // The device namespace form: the only one that reaches COM10 and above.
  return "\\\\.\\COM" + std::to_string(n);
}

}  // namespace qv
