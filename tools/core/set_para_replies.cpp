#include "tools/core/set_para_replies.h"

#include <algorithm>

#include "protocol/frame.h"
#include "protocol/reply_layout.h"

namespace qv {
namespace {

constexpr uint8_t kAddressReplyControl = 0xA3;
constexpr uint8_t kBenchType = 0x55;
// The sum of the reply's first 15 bytes stands right after them.
constexpr size_t kAddressSummed = 15;
constexpr uint8_t kLongReadBack = 0x37;
constexpr uint32_t kSignBit = 0x80000000u;

constexpr Scale kOne{1, 1};
constexpr FieldLayout kDifference{53, 4, Coding::kBinaryLE, kOne};
constexpr FieldLayout kDownstream{57, 4, Coding::kBinaryLE, kOne};
constexpr FieldLayout kUpstream{61, 4, Coding::kBinaryLE, kOne};

uint32_t Raw32(std::span<const uint8_t> frame, const FieldLayout& f) {
  return static_cast<uint32_t>(ReadRaw(frame, f).value_or(0));
}

}  // namespace

std::optional<std::string> AcceptAddressReply(std::span<const uint8_t> received) {
  const uint8_t start[] = {kFrameStart, kBenchType};
  const auto at = std::search(received.begin(), received.end(), std::begin(start), std::end(start));
  if (at == received.end()) return std::nullopt;
  const auto frame = received.subspan(static_cast<size_t>(at - received.begin()));
  if (frame.size() <= kAddressSummed) return std::nullopt;
  uint8_t sum = 0;
  for (size_t i = 0; i < kAddressSummed; ++i)
    sum = static_cast<uint8_t>(sum + frame[i]);
  if (sum != frame[kAddressSummed] || frame[FrameOffset::kControl] != kAddressReplyControl) {
    return std::nullopt;
  }
  return ReplyAddressText(frame);
}

CoefficientReadBack DecodeCoefficientReadBack(std::span<const uint8_t> frame) {
  CoefficientReadBack out;
  if (const std::optional<BenchRead> read = DecodeBenchRead(frame)) {
    out.Coefficients = read->Coefficients;
  }
  if (frame.size() > FrameOffset::kLength && frame[FrameOffset::kLength] == kLongReadBack &&
      frame.size() >= FrameOffset::Total(kLongReadBack)) {
    const uint32_t difference = Raw32(frame, kDifference);
    out.Times = TransitTimes{(difference & kSignBit) != 0, difference & ~kSignBit,
                             Raw32(frame, kDownstream), Raw32(frame, kUpstream)};
  }
  return out;
}

}  // namespace qv
