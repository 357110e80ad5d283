#include "cli/meter_session.h"

#include <algorithm>

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/routing.h"
#include "serial/device_access.h"
#include "serial/serial_port.h"
#include "serial/tcp_device.h"

namespace qv::cli {
namespace {

// The meter's row and port: row 1 on COM1, the only port.
constexpr int kRow = 0;
constexpr int kPort = 1;

// The address bytes of a frame (from its first byte, preamble included).
std::optional<AddressBytes> AddressOf(const Bytes& frame) {
  const auto start = std::find(frame.begin(), frame.end(), kFrameStart);
  if (frame.end() - start < static_cast<ptrdiff_t>(kMinFrameLength)) return std::nullopt;
  AddressBytes a{};
  std::copy_n(start + FrameOffset::kAddress, a.size(), a.begin());
  return a;
}

}  // namespace

MeterSession::MeterSession(Options options)
    : options_(std::move(options)),
      state_(std::make_unique<SharedState>()),
      cycle_(*state_, pump_, *this) {
  SharedState& s = *state_;
  s.Settings.CommType = kCommSingle;
  s.Settings.CommWaitTimer = options_.wait_ms;
  s.Settings.ReadAgainTimes = options_.attempts;
  s.Rows[kRow].Comm = kPort;
  s.PortDevices[kPort] = options_.device;
  s.Slots.CreatePorts(s.PortDevices, s.Log);
  if (auto* port = dynamic_cast<TSerialPort*>(s.Slots[kPort].Port.get())) {
    port->SetLine(options_.line);
  }
}

MeterSession::~MeterSession() {
  state_->Slots[kPort].Port->Close();
  FlushTrace();
}

bool MeterSession::Open(std::string& error) {
  OpenMeterPorts(*state_);
  if (state_->Slots[kPort].PortOpen) return true;
  error = DeviceOpenError(options_.device, DeviceOpenProblem(options_.device));
  return false;
}

std::string DeviceOpenError(const std::string& device, const std::string& problem) {
  if (!IsTcpDevice(device)) return "cannot open " + device + ": " + problem;
  return ParseTcpDevice(device) ? "no serial device server accepts a connection at " + device
                                : "a server is written tcp:HOST:PORT, not " + device;
}

Answer MeterSession::Ask(Command command, const Bytes& frame, bool expect_reply) {
  return Ask(
      command, [&frame] { return std::optional<Bytes>(frame); }, expect_reply);
}

Answer MeterSession::Ask(Command command, const FrameBuilder& build, bool expect_reply) {
  Answer answer;
  const FrameBuilder sending = [&] {
    std::optional<Bytes> frame = build();
    if (frame) answer.sent = *frame;
    return frame;
  };
  command_ = command;
  from_ = std::nullopt;
  if (const std::optional<Bytes> first = build(); first && !Row(command).wildcardAddress)
    from_ = AddressOf(*first);
  reply_.clear();
  bad_reply_ = false;
  state_->Slots.ResetRecvBuffers();
  if (!expect_reply) {
    const bool sent = cycle_.SendFrame(kRow, sending) == SendResult::kSent;
    answer.status = sent ? Exit::kOk : Exit::kNoDevice;
    // The writer sends on its own thread and closing the port drops what it
    // has not sent: a broadcast is given the reply wait to leave the line
    // (a 26-byte frame takes 120 ms at 2400 baud 8E1) before the program ends.
    if (sent) pump_.Pump(std::chrono::milliseconds(options_.wait_ms));
  } else if (cycle_.Exchange(kRow, sending).answered) {
    answer.status = Exit::kOk;
    answer.reply = reply_;
  } else if (!state_->Slots[kPort].PortOpen) {
    answer.status = Exit::kNoDevice;  // the line was lost and stayed lost
  } else {
    answer.status = bad_reply_ ? Exit::kBadReply : Exit::kNoReply;
  }
  FlushTrace();
  return answer;
}

bool MeterSession::RowAnswered(int) const {
  return !reply_.empty();
}

bool MeterSession::RecogniseReply(const ReplyHeader& header) const {
  if (!IsReplyTo(command_, header)) return false;
  return !from_ || std::equal(from_->begin(), from_->end(), header.begin() + FrameOffset::kAddress);
}

void MeterSession::HandleReply(std::span<const uint8_t> frame) {
  if (!reply_.empty()) return;
  if (CheckFrame(frame) == FrameCheck::kCorrect) {
    reply_.assign(frame.begin(), frame.end());
  } else {
    bad_reply_ = true;
  }
}

// Lines of received blocks come from the port's reader once a block has
// ended, and at the latest when the port closes.
void MeterSession::FlushTrace() {
  for (const std::string& line : state_->Log.TakePending()) {
    if (options_.trace) options_.trace(line);
  }
}

}  // namespace qv::cli
