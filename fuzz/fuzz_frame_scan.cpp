// The frame scanner over received bytes, consumed as a reader does: a
// correct frame is taken and the bytes through it dropped, a 68 that starts
// no frame is dropped, and reading stops when more bytes are needed. Every
// frame taken is a correct one within the bytes, and every step moves on.
#include "fuzz/fuzz_check.h"
#include "protocol/frame.h"

using namespace qv;
using qv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  while (!bytes.empty()) {
    const ScanResult r = ScanFrame(bytes);
    if (r.status == ScanStatus::kNeedMore) {
      Check(r.offset <= bytes.size(), "a wait points past the bytes");
      break;
    }
    Check(r.offset < bytes.size() && bytes[r.offset] == kFrameStart, "a candidate is not at a 68");
    if (r.status == ScanStatus::kComplete) {
      Check(r.length >= kMinFrameLength && r.offset + r.length <= bytes.size(),
            "a frame outside the bytes");
      const auto frame = bytes.subspan(r.offset, r.length);
      Check(CheckFrame(frame) == FrameCheck::kCorrect, "a frame taken that is not correct");
      Check(r.length == FrameOffset::Total(frame[FrameOffset::kLength]), "length is not L + 13");
      Check(frame.back() == kFrameEnd, "a frame that does not end in 16");
      bytes = bytes.subspan(r.offset + r.length);
    } else {
      Check(r.check != FrameCheck::kCorrect, "a correct frame refused");
      bytes = bytes.subspan(r.offset + 1);
    }
  }
  // Each check on its own: never reads past what it is given.
  for (size_t n = 0; n <= size && n <= 300; n += 7)
    (void)CheckFrame(std::span<const uint8_t>(data, n));
  return 0;
}
