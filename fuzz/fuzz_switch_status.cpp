// The switch status reply: only a whole, correct reply writes the channel
// flags, each flag is 0 or 1, and the four flags past the switch's 16
// channels are never touched.
#include <algorithm>

#include "fuzz/fuzz_check.h"
#include "protocol/frame.h"
#include "protocol/switch_frame.h"

using namespace qv;
using qv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> reply(data, size);
  std::array<int32_t, 20> flags;
  flags.fill(7);
  const SwitchReplyStatus status = ApplySwitchStatus(reply, flags);
  if (status == SwitchReplyStatus::kApplied) {
    Check(size == kSwitchReplyLength && CheckFrame(reply) == FrameCheck::kCorrect,
          "flags taken from a reply that is not whole and correct");
    Check(std::all_of(flags.begin(), flags.begin() + kSwitchChannels,
                      [](int32_t f) { return f == 0 || f == 1; }),
          "a flag other than 0 or 1");
  } else {
    Check(std::all_of(flags.begin(), flags.begin() + kSwitchChannels,
                      [](int32_t f) { return f == 7; }),
          "a refused reply changed a flag");
  }
  Check(std::all_of(flags.begin() + kSwitchChannels, flags.end(), [](int32_t f) { return f == 7; }),
        "a flag past channel 16 was written");
  (void)IsSwitchReply(reply);
  // The frame built for a channel is answered by the status the switch sends.
  if (size > 0) {
    uint8_t seq = size > 1 ? data[1] : 0;
    Bytes frame;
    const int channel = static_cast<int8_t>(data[0]);
    const int built = BuildSwitchFrame(channel, seq, frame);
    Check((built == 0) == (channel >= 0 && channel < kSwitchChannels), "a channel outside 0..15");
    if (built == 0) {
      Check(frame.size() == kSwitchFrameLength, "switch frame length");
      Check(CheckFrame(std::span<const uint8_t>(frame).subspan(4)) == FrameCheck::kCorrect,
            "a switch frame that is not correct");
    }
  }
  return 0;
}
