// Frames as a meter or the channel switch sees them on the line: the request
// parser (fed in pieces, resyncs on 0x68) and the reply builder. Written from
// the byte positions of the line protocol, independently of the program's own
// frame builders, so that a fault there shows up against this code.
//
// Byte map of a frame, offsets from the 0x68 (a WriteCoefficient request for
// coefficient 1 = 12345 to meter 2024000001):
//   68 55 01 00 00 24 20 00 00 24 08 01 0A 01 45 23 01 00 00 CS 16
//   |  |  A0 ......... A6  C  L  DI0 DI1 SER payload...   |  end
//   0  1  2             8  9  10 11  12  13  14           L+11 L+12
// L counts DI0 through the last payload byte; the frame is L + 13 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/codec.h"

namespace qv::sim {

inline constexpr uint8_t kStartByte = 0x68;
inline constexpr uint8_t kEndByte = 0x16;
inline constexpr uint8_t kWakeByte = 0xFE;
// Bytes of a frame besides its L counted bytes: 68 T A0..A6 C L ... CS 16.
inline constexpr size_t kFrameOverhead = 13;
// Shortest frame: L = 3 (DI0 DI1 SER and nothing else).
inline constexpr size_t kMinFrame = kFrameOverhead + 3;

// Frame types (byte 1).
inline constexpr uint8_t kTypeBench = 0x55;
inline constexpr uint8_t kTypeHeat = 0x20;
inline constexpr uint8_t kTypeCold = 0x21;
inline constexpr uint8_t kTypeSwitch = 0x56;

// Seven address bytes in line order, A0 (two lowest digits) first.
struct SimAddress {
  std::array<uint8_t, 7> bytes{};

  // Hex digit text, left-padded with "0" to 14 digits: "2024000001" ->
  // 01 00 00 24 20 00 00. Nothing for an empty text, more than 14 digits or a
  // character that is not a hex digit.
  static std::optional<SimAddress> FromText(std::string_view text);
  // 14 upper-case hex digits, A6 first: "00002024000001".
  std::string Text() const;
  bool IsBroadcast() const;
  static SimAddress Broadcast();
  bool operator==(const SimAddress&) const = default;
};

// Data identifier as transmitted: DI0 at offset 11, DI1 at offset 12.
struct DataId {
  uint8_t d0 = 0;
  uint8_t d1 = 0;
  bool operator==(const DataId&) const = default;
};

// One complete, checked frame (request or reply).
struct SimFrame {
  uint8_t type = 0;
  SimAddress address;
  uint8_t control = 0;
  DataId di;
  uint8_t serial = 0;
  Bytes payload;  // the bytes after SER up to the checksum
  Bytes raw;      // the frame from its 0x68 through its 0x16
};

// Builds a frame from its fields: 68 T A0..A6 C L DI0 DI1 SER payload CS 16,
// with L = 3 + payload size and CS the byte sum from the 0x68. No wake bytes.
Bytes BuildFrame(uint8_t type, const SimAddress& address, uint8_t control, DataId di,
                 uint8_t serial, std::span<const uint8_t> payload);

// Incremental parser of the byte stream one line carries. Bytes before a 0x68
// (wake bytes, noise) are skipped. A frame is complete once L + 13 bytes from
// its 0x68 are present; one whose end byte or checksum is wrong is dropped
// and the search resumes at the byte after its 0x68, as a meter would.
//
// One tolerance: the StartTest and EndTest requests carry L = 04 although
// five bytes follow L (DI0 DI1 SER F2 00). When the frame read with the stated
// L ends wrongly but reading one byte further gives a correct end byte and
// checksum, that longer frame is taken, with the extra byte in the payload.
class FrameReader {
 public:
  enum class Status { kNeedMore, kFrame, kDropped };
  struct Result {
    Status status = Status::kNeedMore;
    SimFrame frame;   // kFrame
    Bytes discarded;  // kDropped: the bytes given up (a bad frame's bytes)
  };

  void Feed(std::span<const uint8_t> bytes);
  // Takes the next frame; call until it returns kNeedMore.
  Result Next();
  // Forgets a partial frame (the line fell silent in the middle of it).
  void Reset() { buffer_.clear(); }
  bool HasPartial() const { return !buffer_.empty(); }

 private:
  Bytes buffer_;
};

// Checks `raw` (from its 0x68) as a frame of exactly raw.size() bytes whose L
// may be short of the real count by `slack` (0 or 1); fills `out`.
bool ParseFrame(std::span<const uint8_t> raw, size_t slack, SimFrame& out);

}  // namespace qv::sim
