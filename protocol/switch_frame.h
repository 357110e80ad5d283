// The frame that tells the multi-channel switch which of its 16 channels to
// connect, and the decoding of the switch's status reply.
//
// Switch frame, 28 bytes (connect channel 0, sequence 00):
//
//   FE FE FE FE           wake-up preamble (4)
//   68                    start
//   56                    type: switch
//   AB CD EF 12 34 56 78  the switch's fixed address
//   39                    control
//   0B                    length
//   12 34                 data identifier
//   00                    SER: the running sequence value
//   9A AA AA AA AA AA AA AA   M0..M7: Mk = channel 2k (high nibble), 2k+1
//                         (low nibble); 9 = connect, A = leave
//   03                    CS over the 22 bytes 68..M7
//   16                    end
//
// Status reply, 24 bytes: 68 56, seven address bytes, B9, 0B, two DI bytes,
// SER, S0..S7 (offsets 14..21), CS, 16. A nibble of 1 in Sk means channel 2k
// (high) or 2k+1 (low) is connected; any other value means it is not.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "protocol/codec.h"

namespace qv {

inline constexpr int kSwitchChannels = 16;
inline constexpr uint8_t kSwitchType = 0x56;
inline constexpr size_t kSwitchFrameLength = 28;
inline constexpr size_t kSwitchReplyLength = 24;
inline constexpr uint8_t kSwitchReplyControl = 0xB9;

// Builds the frame connecting `channel` (0..15) into `out`, carrying `seq`,
// which is then incremented (255 wraps to 0). Returns 0, or -1 for a channel
// outside 0..15, leaving `out` and `seq` as they were.
int BuildSwitchFrame(int channel, uint8_t& seq, Bytes& out);

// True when `frame` starts with 68 56: the bench windows' scans take it as a
// switch status reply and hand it to `ApplySwitchStatus`.
bool IsSwitchReply(std::span<const uint8_t> frame);

enum class SwitchReplyStatus : uint8_t {
  kApplied,        // all 16 flags written
  kWrongLength,    // not 24 bytes
  kNotStatus,      // not 68 56, or control not B9, or L not 0B
  kIncomplete,     // last byte not 16
  kChecksumError,  // CS differs from the sum of 68..S7
};

// Writes the 16 channel flags (1 connected, 0 not) from a status reply, but
// only from a whole, correct one: any other frame leaves `ChannelState` as it
// was, so line noise never marks a channel connected.
SwitchReplyStatus ApplySwitchStatus(std::span<const uint8_t> reply,
                                    std::array<int32_t, 20>& ChannelState);

}  // namespace qv
