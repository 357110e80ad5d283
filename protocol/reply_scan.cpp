#include "protocol/reply_scan.h"

#include <vector>

namespace qv {

uint16_t ScanRing(const RecvSnapshot& snapshot, const ReplyRecogniser& recognise,
                  const ReplyHandler& handle) {
  constexpr size_t kMask = kRecvIndexMask;
  const auto& ring = snapshot.RecvBuf;
  size_t p = snapshot.RecvTail & kMask;
  size_t left = static_cast<size_t>(RecvCount(snapshot.RecvHead & kMask, p, kRecvBufSize));
  std::vector<uint8_t> frame;
  while (left >= kMinReplyBytes) {
    if (ring[p] == 0x68) {
      ReplyHeader header;
      for (size_t i = 0; i < kHeaderBytes; ++i)
        header[i] = ring[(p + i) & kMask];
      if (recognise(header)) {
        const size_t length = static_cast<size_t>(header[10]) + 13;
        if (left < length) break;  // completed on a later tick
        frame.resize(length);
        for (size_t i = 0; i < length; ++i)
          frame[i] = ring[(p + i) & kMask];
        handle(frame);
        p = (p + length) & kMask;
        left -= length;
        continue;
      }
    }
    p = (p + 1) & kMask;
    --left;
  }
  return static_cast<uint16_t>(p);
}

}  // namespace qv
