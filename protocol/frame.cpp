#include "protocol/frame.h"

#include <algorithm>

namespace qv {

Bytes BuildFrame(size_t preamble, const FrameHeader& header, std::span<const uint8_t> payload) {
  Bytes out(preamble, kWakeUpByte);
  out.reserve(preamble + FrameOffset::kData + payload.size() + 2);
  out.push_back(kFrameStart);
  out.push_back(header.type);
  out.insert(out.end(), header.address.begin(), header.address.end());
  out.push_back(header.control);
  out.push_back(header.length);
  out.push_back(header.di.di0);
  out.push_back(header.di.di1);
  out.push_back(header.ser);
  out.insert(out.end(), payload.begin(), payload.end());
  out.push_back(FrameChecksum(std::span<const uint8_t>(out).subspan(preamble)));
  out.push_back(kFrameEnd);
  return out;
}

FrameCheck CheckFrame(std::span<const uint8_t> frame) {
  if (frame.size() < kMinFrameLength) return FrameCheck::kTooShort;
  if (frame[0] != kFrameStart) return FrameCheck::kNoStart;
  const uint8_t length = frame[FrameOffset::kLength];
  const size_t total = FrameOffset::Total(length);
  if (total < kMinFrameLength) return FrameCheck::kTooShort;
  if (frame.size() < total || frame[FrameOffset::End(length)] != kFrameEnd) {
    return FrameCheck::kIncomplete;
  }
  const size_t cs = FrameOffset::Checksum(length);
  if (FrameChecksum(frame.first(cs)) != frame[cs]) return FrameCheck::kChecksumError;
  return FrameCheck::kCorrect;
}

namespace {

size_t NextStart(std::span<const uint8_t> bytes, size_t from) {
  const auto it =
      std::find(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), kFrameStart);
  return static_cast<size_t>(it - bytes.begin());
}

// What the 68 at `p` starts, judged on the bytes that have arrived.
ScanResult Candidate(std::span<const uint8_t> bytes, size_t p) {
  const std::span<const uint8_t> rest = bytes.subspan(p);
  if (rest.size() <= FrameOffset::kLength) return {ScanStatus::kNeedMore, p, 0};
  const size_t total = FrameOffset::Total(rest[FrameOffset::kLength]);
  if (total < kMinFrameLength) {
    return {ScanStatus::kError, p, total, FrameCheck::kTooShort};
  }
  if (rest.size() < total) return {ScanStatus::kNeedMore, p, 0};
  const FrameCheck check = CheckFrame(rest.first(total));
  if (check == FrameCheck::kCorrect) return {ScanStatus::kComplete, p, total, check};
  return {ScanStatus::kError, p, total, check};
}

}  // namespace

ScanResult ScanFrame(std::span<const uint8_t> bytes) {
  const size_t first = NextStart(bytes, 0);
  if (first == bytes.size()) return {ScanStatus::kNeedMore, first, 0};
  const ScanResult result = Candidate(bytes, first);
  if (result.status != ScanStatus::kNeedMore) return result;
  // The first 68 waits for more bytes; if a correct frame already follows it,
  // that 68 was noise (frames do not overlap) and the frame is taken now.
  for (size_t q = NextStart(bytes, first + 1); q < bytes.size(); q = NextStart(bytes, q + 1)) {
    const ScanResult later = Candidate(bytes, q);
    if (later.status == ScanStatus::kComplete) return later;
  }
  return result;
}

}  // namespace qv
