// The frame of the meter line protocol: building, finding and checking.
//
// Byte map of a transmitted frame (EnterCalibration to meter 12345678901234):
//
//   FE FE FE              wake-up preamble (3; the switch frame uses 4)
//   68                    start                       offset 0 from the 68
//   55                    type T                      1
//   34 12 90 78 56 34 12  address A0..A6              2..8
//   24                    control C                   9
//   05                    length L                    10
//   01 10                 data identifier DI0 DI1     11..12
//   01                    serial byte SER             13
//   01 00                 payload (L - 3 bytes)       14..L+10
//   E3                    CS: sum of 68..payload      L+11
//   16                    end                         L+12
//
// A frame counted from its 68 is L + 13 bytes long; replies have the same
// shape, with bit 7 set in C.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/address.h"
#include "protocol/codec.h"

namespace qv {

inline constexpr uint8_t kWakeUpByte = 0xFE;
inline constexpr uint8_t kFrameStart = 0x68;
inline constexpr uint8_t kFrameEnd = 0x16;
inline constexpr size_t kMeterPreamble = 3;
// The smallest frame (L = 3, no payload) counted from its 68; anything
// shorter is not examined.
inline constexpr size_t kMinFrameLength = 16;

// Field positions counted from the 68 of a frame.
struct FrameOffset {
  static constexpr size_t kType = 1;
  static constexpr size_t kAddress = 2;  // A0; A6 is at 8
  static constexpr size_t kControl = 9;
  static constexpr size_t kLength = 10;
  static constexpr size_t kDi0 = 11;
  static constexpr size_t kDi1 = 12;
  static constexpr size_t kSer = 13;
  static constexpr size_t kData = 14;
  static constexpr size_t Checksum(uint8_t length) { return length + 11u; }
  static constexpr size_t End(uint8_t length) { return length + 12u; }
  static constexpr size_t Total(uint8_t length) { return length + 13u; }
};

// Everything between the 68 and the payload.
struct FrameHeader {
  uint8_t type = 0;
  AddressBytes address{};
  uint8_t control = 0;
  uint8_t length = 0;  // sent as given, even when it does not count the payload
  DataId di;
  uint8_t ser = 0x01;
};

// The builder core used by every command: `preamble` wake-up bytes, 68,
// header, payload, checksum over 68..last payload byte, 16.
Bytes BuildFrame(size_t preamble, const FrameHeader& header, std::span<const uint8_t> payload);

// The check applied to a received frame (the bytes from its 68).
enum class FrameCheck : uint8_t {
  kTooShort,       // fewer than 16 bytes, or an L below 3: not examined
  kNoStart,        // does not begin with 68
  kIncomplete,     // fewer than L + 13 bytes, or the end byte is not 16
  kChecksumError,  // CS differs from the sum of the bytes before it
  kCorrect,
};

// Checks the L + 13 bytes of the frame at the front of `frame`; bytes after
// them belong to whatever follows and are not looked at.
FrameCheck CheckFrame(std::span<const uint8_t> frame);

// Incremental search for the next frame in received bytes. Everything before
// a 68 (FE wake-up bytes, line noise) is skipped.
enum class ScanStatus : uint8_t {
  kNeedMore,  // no whole frame yet; the bytes before `offset` are noise
  kComplete,  // a correct frame at [offset, offset + length); bytes before are noise
  kError,     // the 68 at `offset` starts no correct frame (see `check`):
              // drop the bytes through `offset` and scan again
};

struct ScanResult {
  ScanStatus status = ScanStatus::kNeedMore;
  size_t offset = 0;
  size_t length = 0;  // kComplete: the frame's length; kError: what its L claimed
  FrameCheck check = FrameCheck::kTooShort;  // kError: why the candidate failed
};

// Looks at `bytes` (the unread received bytes) for the first frame. A 68 that
// would need more bytes than have arrived is passed over when a correct frame
// starts after it, so a stray 68 in noise cannot hold back a whole reply.
ScanResult ScanFrame(std::span<const uint8_t> bytes);

}  // namespace qv
