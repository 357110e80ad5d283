// The 16-channel switch in front of the meters on a channel-wired bench. It
// has a fixed address, connects the one channel a switch frame asks for and
// reports which channel is connected.
//
// Switch frame (28 bytes with its four wake bytes), connecting channel 3:
//   FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 SEQ
//   AA A9 AA AA AA AA AA AA CS 16
// Byte Mk carries channel 2k in its high nibble and 2k+1 in its low nibble:
// 9 = connect this channel, A = leave it off.
// Status reply (24 bytes), channel 3 connected:
//   68 56 AB CD EF 12 34 56 78 B9 0B 12 34 SEQ 00 01 00 00 00 00 00 00 CS 16
// A nibble of 1 means connected, 0 not.
#pragma once

#include <optional>

#include "sim/lib/sim_frame.h"

namespace qv::sim {

inline constexpr int kSwitchChannels = 16;
// AB CD EF 12 34 56 78 on the line, A0 first.
inline constexpr SimAddress kSwitchAddress{{0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56, 0x78}};

class ChannelSwitch {
 public:
  // True when `frame` is addressed to the switch (type 0x56, its address).
  static bool IsForSwitch(const SimFrame& frame);

  // Connects what the frame asks for and returns the status reply, or
  // nothing when the frame is not a switch command. With several channels
  // asked for, the lowest one is connected; with none, every channel is off.
  std::optional<Bytes> Handle(const SimFrame& frame);

  std::optional<int> Connected() const { return connected_; }
  void Connect(std::optional<int> channel) { connected_ = channel; }

 private:
  std::optional<int> connected_;
};

}  // namespace qv::sim
