#include "protocol/switch_frame.h"

#include "protocol/frame.h"

namespace qv {

namespace {

constexpr size_t kSwitchPreamble = 4;
constexpr AddressBytes kSwitchAddress = {0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56, 0x78};
constexpr uint8_t kSwitchControl = 0x39;
constexpr uint8_t kSwitchLength = 0x0B;
constexpr DataId kSwitchDi = {0x12, 0x34};
constexpr uint8_t kConnectNibble = 0x9;
constexpr uint8_t kLeaveNibble = 0xA;
constexpr uint8_t kConnectedNibble = 0x1;
constexpr size_t kStatusBytes = kSwitchChannels / 2;

}  // namespace

int BuildSwitchFrame(int channel, uint8_t& seq, Bytes& out) {
  if (channel < 0 || channel >= kSwitchChannels) return -1;
  std::array<uint8_t, kStatusBytes> m{};
  for (size_t k = 0; k < kStatusBytes; ++k) {
    const auto nibble = [&](int ch) { return ch == channel ? kConnectNibble : kLeaveNibble; };
    m[k] = static_cast<uint8_t>(nibble(static_cast<int>(2 * k)) << 4 |
                                nibble(static_cast<int>(2 * k + 1)));
  }
  const FrameHeader h{.type = kSwitchType,
                      .address = kSwitchAddress,
                      .control = kSwitchControl,
                      .length = kSwitchLength,
                      .di = kSwitchDi,
                      .ser = seq};
  out = BuildFrame(kSwitchPreamble, h, m);
  ++seq;  // uint8_t: 255 wraps to 0
  return 0;
}

bool IsSwitchReply(std::span<const uint8_t> frame) {
  return frame.size() > FrameOffset::kType && frame[0] == kFrameStart &&
         frame[FrameOffset::kType] == kSwitchType;
}

SwitchReplyStatus ApplySwitchStatus(std::span<const uint8_t> reply,
                                    std::array<int32_t, 20>& ChannelState) {
  if (reply.size() != kSwitchReplyLength) return SwitchReplyStatus::kWrongLength;
  if (!IsSwitchReply(reply) || reply[FrameOffset::kControl] != kSwitchReplyControl ||
      reply[FrameOffset::kLength] != kSwitchLength) {
    return SwitchReplyStatus::kNotStatus;
  }
  switch (CheckFrame(reply)) {
    case FrameCheck::kCorrect:
      break;
    case FrameCheck::kChecksumError:
      return SwitchReplyStatus::kChecksumError;
    default:
      return SwitchReplyStatus::kIncomplete;
  }
  for (size_t k = 0; k < kStatusBytes; ++k) {
    const uint8_t s = reply[FrameOffset::kData + k];
    ChannelState[2 * k] = (s >> 4) == kConnectedNibble ? 1 : 0;
    ChannelState[2 * k + 1] = (s & 0x0F) == kConnectedNibble ? 1 : 0;
  }
  return SwitchReplyStatus::kApplied;
}

}  // namespace qv
