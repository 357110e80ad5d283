#include "sim/lib/channel_switch.h"

namespace qv::sim {

namespace {
constexpr uint8_t kSwitchCommand = 0x39;
constexpr size_t kChannelBytes = 8;
constexpr uint8_t kAskConnect = 0x9;
constexpr uint8_t kReportConnected = 0x1;
}  // namespace

bool ChannelSwitch::IsForSwitch(const SimFrame& frame) {
  return frame.type == kTypeSwitch && frame.address == kSwitchAddress;
}

std::optional<Bytes> ChannelSwitch::Handle(const SimFrame& frame) {
  if (!IsForSwitch(frame) || frame.control != kSwitchCommand ||
      frame.payload.size() < kChannelBytes)
    return std::nullopt;
  connected_.reset();
  for (int ch = kSwitchChannels - 1; ch >= 0; --ch) {
    const uint8_t b = frame.payload[static_cast<size_t>(ch / 2)];
    const uint8_t nibble = ch % 2 == 0 ? b >> 4 : b & 0x0F;
    if (nibble == kAskConnect) connected_ = ch;
  }
  Bytes status(kChannelBytes, 0x00);
  if (connected_) {
    const size_t k = static_cast<size_t>(*connected_ / 2);
    status[k] = *connected_ % 2 == 0 ? kReportConnected << 4 : kReportConnected;
  }
  return BuildFrame(kTypeSwitch, kSwitchAddress, kSwitchCommand | 0x80, frame.di, frame.serial,
                    status);
}

}  // namespace qv::sim
