// The scan of a receive ring that every window runs at each poll tick: it
// walks the unread bytes of a ring copy, finds the replies the window
// recognises, hands each complete one over and says where reading goes on.
//
//   ring:  .. FE FE 68 55 34 12 .. A1 37 90 1F 01 <data> CS 16 ..
//                   ^p (header test on p+1, p+9, p+11, p+12; length = L + 13)
//
// Bytes that can no longer begin a recognised reply are consumed, so noise
// never piles up in front of later replies; an incomplete reply and anything
// after it stay for the next tick. The L byte of a recognised header is
// trusted only once the frame it claims checks out (16 at its end, a correct
// sum): a damaged candidate is handed over for the window to report, then
// passed over up to the next 68 within it, so the replies inside its claimed
// length are still found.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "serial/recv_ring.h"

namespace qv {

// Fewer unread bytes than this are never examined: no reply is shorter.
inline constexpr size_t kMinReplyBytes = 16;
// Bytes of a reply header the recognisers look at: 68 T A0..A6 C L DI0 DI1.
inline constexpr size_t kHeaderBytes = 13;

using ReplyHeader = std::array<uint8_t, kHeaderBytes>;

// Whether a window takes the frame starting with this header (header[0] is
// the 0x68).
using ReplyRecogniser = std::function<bool(const ReplyHeader& header)>;
// Receives each recognised candidate from its 68: a complete frame through
// its last byte, or a damaged one as far as its claimed length or the next
// correct frame reaches (the handler checks it with CheckFrame).
using ReplyHandler = std::function<void(std::span<const uint8_t> frame)>;

// Scans the snapshot from its `RecvTail` up to its `RecvHead` and returns
// the new read position.
uint16_t ScanRing(const RecvSnapshot& ring, const ReplyRecogniser& recognise,
                  const ReplyHandler& handle);

}  // namespace qv
