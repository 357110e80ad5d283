#include "tools/core/set_para_run.h"

#include <algorithm>

#include "protocol/address.h"
#include "protocol/frame.h"
#include "protocol/routing.h"

namespace qv {
namespace {

using C = Command;
using F = Confirm;
using L = ReplyLayout;
// No reply this window takes is shorter than the shortest frame.
constexpr uint8_t kMin = kMinFrameLength;
constexpr ReplySub kAny = ReplySub::kAny;
// Bytes of the received data read after a read-address request.
constexpr size_t kAddressReadMax = 1024;

// Leaving verification is answered like entering it (the same DI); the
// whole set of coefficients by its own DI 01 09.
// clang-format off
constexpr std::array<OperationRow, 14> kSetParaOperations{{
// code                     label           command                    var  ch  reply                      confirm      sub   min   layout
{kParaReadAddress,          "读地址",       C::kReadAddress,           0,   0,  C::kReadAddress,           F::kSlotRead, kAny, kMin, L::kNone},
{kParaWriteAddress,         "写地址",       C::kWriteAddress,          0,   0,  C::kWriteAddress,          F::kReply,    kAny, kMin, L::kNone},
{kParaSetClock,             "系统对时",     C::kSetClock,              0,   0,  C::kSetClock,              F::kReply,    kAny, kMin, L::kNone},
{kParaEnterCheck,           "进入检定",     C::kEnterCalibration,      0,   0,  C::kEnterCalibration,      F::kReply,    kAny, kMin, L::kNone},
{kParaSetCaliber,           "设置口径",     C::kSetCaliber,            0,   0,  C::kSetCaliber,            F::kReply,    kAny, kMin, L::kNone},
{kParaSetLocation,          "设置安装位置", C::kSetLocation,           0,   0,  C::kSetLocation,           F::kReply,    kAny, kMin, L::kNone},
{kParaExitCheck,            "退出检定",     C::kExitCalibration,       0,   0,  C::kEnterCalibration,      F::kReply,    kAny, kMin, L::kNone},
{kParaWriteAllCoef,         "写全部系数",   C::kWriteAllCoefficients,  0,   0,  C::kWriteAllCoefficients,  F::kReply,    kAny, kMin, L::kNone},
{WriteCoefficientCode(0),   "写系数一",     C::kWriteCoefficient,      0,   0,  C::kWriteCoefficient,      F::kVariant,  kAny, kMin, L::kNone},
{WriteCoefficientCode(1),   "写系数二",     C::kWriteCoefficient,      1,   0,  C::kWriteCoefficient,      F::kVariant,  kAny, kMin, L::kNone},
{WriteCoefficientCode(2),   "写系数三",     C::kWriteCoefficient,      2,   0,  C::kWriteCoefficient,      F::kVariant,  kAny, kMin, L::kNone},
{WriteCoefficientCode(3),   "写系数四",     C::kWriteCoefficient,      3,   0,  C::kWriteCoefficient,      F::kVariant,  kAny, kMin, L::kNone},
{WriteCoefficientCode(4),   "写系数五",     C::kWriteCoefficient,      4,   0,  C::kWriteCoefficient,      F::kVariant,  kAny, kMin, L::kNone},
{kParaReadCoef,             "读系数",       C::kBenchReadData,         0,   0,  C::kBenchReadData,         F::kReply,    kAny, kMin, L::kBenchRead},
}};
// clang-format on
static_assert(OperationsConsistent(kSetParaOperations),
              "parameter operations: a code out of place");

// Clock replies come in the standard frames of a heat or a cold meter.
bool StandardType(std::span<const uint8_t> frame) {
  return frame.size() > FrameOffset::kType &&
         (frame[FrameOffset::kType] == 0x20 || frame[FrameOffset::kType] == 0x21);
}

// Bytes of `slot` received from ring position `from` on (at most
// `kAddressReadMax`), taken as read.
Bytes TakeReceived(PortSlot& slot, uint16_t from) {
  RecvSnapshot ring;
  slot.Snapshot(ring);
  const auto count = static_cast<size_t>(
      std::min<int32_t>(RecvCount(ring.RecvHead, from, kRecvBufSize), kAddressReadMax));
  Bytes out(count);
  for (size_t i = 0; i < count; ++i)
    out[i] = ring.RecvBuf[(from + i) & kRecvIndexMask];
  slot.SetRecvTail(static_cast<uint16_t>((from + count) & kRecvIndexMask));
  return out;
}

}  // namespace

std::span<const OperationRow> SetParaOperations() {
  return kSetParaOperations;
}

SetParaRun::SetParaRun(SharedState& state, EventPump& pump)
    : BenchRun(state, pump, kSetParaOperations), pump_(pump) {
  on_reply = [this](int row, const OperationRow& op, std::span<const uint8_t> frame) {
    if (op.layout != ReplyLayout::kBenchRead) return;
    const CoefficientReadBack read = DecodeCoefficientReadBack(frame);
    if (read.Coefficients) {
      for (size_t k = 0; k < read.Coefficients->size(); ++k)
        state_.Rows[row].Coefficients[k] = static_cast<int32_t>((*read.Coefficients)[k]);
    }
    if (on_read_back) on_read_back(row, read);
  };
}

CommandRequest SetParaRun::ValuesFor(const OperationRow& op, const SetParaRowInputs& in) const {
  const SystemSettings& s = state_.Settings;
  CommandRequest v;
  v.fluxNum = s.FluxNum;
  v.coefficients = in.Coefficients;
  switch (op.command) {
    case Command::kSetCaliber:
      v.number = in.Dn;
      break;
    case Command::kSetLocation:
      v.number = s.Location;
      break;
    default:
      break;
  }
  return v;
}

bool SetParaRun::RunOperation(int code, const TakeInputs& take) {
  const OperationRow* op = Operation(code);
  if (!op || op->confirm == Confirm::kSlotRead || op->command == Command::kWriteCoefficient) {
    return false;
  }
  return RunRows(code, [this, op, &take](RunTable& rows) {
    const std::optional<SetParaInputs> inputs = take ? take(*op) : SetParaInputs{};
    if (!inputs) return false;
    for (int r = 0; r < kMeterRows; ++r) {
      rows[r].NewAddress = (*inputs)[r].NewAddress;
      rows[r].Values = ValuesFor(*op, (*inputs)[r]);
    }
    return true;
  });
}

bool SetParaRun::WriteCoefficient(int row, int k,
                                  const std::function<std::optional<int32_t>()>& take) {
  if (row < 0 || row >= kMeterRows || k < 0 || k >= kFlowPoints) return false;
  const auto fill = [&take, row](RunTable& rows) {
    const std::optional<int32_t> value = take();
    if (value) rows[row].Values.number = *value;
    return value.has_value();
  };
  return RunOne(
      WriteCoefficientCode(k), row, fill,
      [&] { state_.Log.CoefficientWrite(row + 1, k + 1, true); },
      [&] { state_.Log.CoefficientWrite(row + 1, k + 1, false); });
}

bool SetParaRun::ReadAddresses() {
  const OperationRow& op = *Operation(kParaReadAddress);
  // The wildcard request, the same for every row; none outside "188".
  const std::optional<Bytes> frame =
      OperationFrame(op, state_.Settings.CommProtocol, kBroadcastAddressText, {});
  const auto begin = [this] {
    for (int r = 0; r < MeterCount(); ++r)
      SetLamp(r, Lamp::ButtonFace);
    if (on_status_timer) on_status_timer(true);
  };
  std::array<bool, kMeterRows> served{};
  const auto take = [&] {
    for (int r = 0; r < MeterCount(); ++r)
      served[r] = state_.Rows[r].Selected;
    return true;
  };
  const bool ran = OperationRunner::Run(
      op, take, begin,
      [&] {
        for (int r = 0; r < kMeterRows && !cycle_.Cancelled(); ++r) {
          if (!served[r]) continue;
          state_.Log.AddressRead(r + 1);
          current_row_ = r;
          if (!frame || !ReadAddressOf(r, *frame)) SetLamp(r, Lamp::Red);
          current_row_ = -1;
        }
      },
      false);
  if (!ran) return false;
  if (on_status_timer) on_status_timer(false);
  state_.Log.AddressReadFinished();
  return true;
}

bool SetParaRun::OpenRowChannel(int row) {
  const RowRoute route = RouteForRow(state_, row);
  if (!route.Channel || state_.ChannelState[*route.Channel] == 1) return true;
  // The switch's answer comes through the poll, which is otherwise off
  // here so that the meters' answers stay in the ring for this loop.
  if (on_read_timer) on_read_timer(true);
  cycle_.OpenChannel(*route.Channel);
  if (on_read_timer) on_read_timer(false);
  return state_.ChannelState[*route.Channel] == 1;
}

bool SetParaRun::ReadAddressOf(int row, const Bytes& frame) {
  const SystemSettings& s = state_.Settings;
  for (uint32_t attempt = 0; attempt < s.ReadAgainTimes && !cycle_.Cancelled(); ++attempt) {
    if (!OpenRowChannel(row)) continue;
    PortSlot* slot = RowSendSlot(state_, row);
    const uint16_t from = slot ? slot->RecvHead() : 0;
    if (cycle_.SendFrame(row, frame) != SendResult::kSent) continue;
    pump_.Pump(std::chrono::milliseconds(s.CommWaitTimer));
    // Infrared wiring sends nothing and has no line to read.
    if (s.CommType == kCommInfrared || !slot) continue;
    const Bytes received = TakeReceived(*slot, from);
    if (received.empty()) continue;
    state_.Log.BytesReceived(received);
    const std::optional<std::string> address = AcceptAddressReply(received);
    if (!address) continue;
    SetAddress(row, *address);
    SetLamp(row, Lamp::Lime);
    return true;
  }
  return false;
}

void SetParaRun::SetAddress(int row, const std::string& address) {
  state_.Rows[row].Address = address;
  if (on_address) on_address(row, address);
}

void SetParaRun::TakeReply(const OperationRow& op, std::span<const uint8_t> frame) {
  if (op.code == kParaWriteAddress) {
    // The meter answers from its new address: the row whose new address
    // it is takes it as its current one.
    if (!Confirms(op, frame) || CheckFrame(frame) != FrameCheck::kCorrect) return;
    const std::string reply = ReplyAddressText(frame);
    for (int r = 0; r < MeterCount(); ++r) {
      const std::string& wanted = RunningRows()[r].NewAddress;
      if (wanted.empty() || !RowMatchesReply(wanted, reply)) continue;
      SetLamp(r, Lamp::Lime);
      SetAddress(r, MeterAddress(wanted).Text());
      return;
    }
    return;
  }
  if (op.command == Command::kSetClock && !StandardType(frame)) return;
  BenchRun::TakeReply(op, frame);
}

}  // namespace qv
