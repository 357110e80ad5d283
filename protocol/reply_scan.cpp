#include "protocol/reply_scan.h"

#include <algorithm>
#include <vector>

#include "protocol/frame.h"

namespace qv {

namespace {

// Where the first correct frame after the 68 at the front of `bytes` starts,
// or bytes.size() when none has arrived whole.
size_t NextCorrectFrame(std::span<const uint8_t> bytes) {
  for (size_t q = 1; q + kMinFrameLength <= bytes.size(); ++q) {
    if (bytes[q] == kFrameStart && CheckFrame(bytes.subspan(q)) == FrameCheck::kCorrect) return q;
  }
  return bytes.size();
}

// How far to move past a damaged candidate: to the next 68 inside it, the
// only place a reply can start (the same as passing it over byte by byte,
// without leaving its last bytes unread).
size_t PassOver(std::span<const uint8_t> candidate) {
  return static_cast<size_t>(std::find(candidate.begin() + 1, candidate.end(), kFrameStart) -
                             candidate.begin());
}

}  // namespace

// The unread bytes are laid out in order first, so the walk needs no wrap.
// A recognised header's L is only a claim: a candidate that turns out damaged
// (its claimed end is not a 16 after a correct sum) is still handed over, so
// the window can say what was wrong, but only the bytes up to the next 68 in
// it are consumed, and the replies its claimed length covers are found.
uint16_t ScanRing(const RecvSnapshot& snapshot, const ReplyRecogniser& recognise,
                  const ReplyHandler& handle) {
  const size_t tail = snapshot.RecvTail & kRecvIndexMask;
  const size_t unread =
      static_cast<size_t>(RecvCount(snapshot.RecvHead & kRecvIndexMask, tail, kRecvBufSize));
  std::vector<uint8_t> bytes(unread);
  for (size_t i = 0; i < unread; ++i)
    bytes[i] = snapshot.RecvBuf[(tail + i) & kRecvIndexMask];

  const std::span<const uint8_t> all(bytes);
  size_t p = 0;
  while (unread - p >= kMinReplyBytes) {
    const std::span<const uint8_t> rest = all.subspan(p);
    ReplyHeader header;
    std::copy_n(rest.begin(), kHeaderBytes, header.begin());
    if (rest[0] != kFrameStart || !recognise(header)) {
      ++p;
      continue;
    }
    const size_t length = FrameOffset::Total(rest[FrameOffset::kLength]);
    if (rest.size() >= length) {
      const std::span<const uint8_t> frame = rest.first(length);
      handle(frame);
      p += CheckFrame(frame) == FrameCheck::kCorrect ? length : PassOver(frame);
      continue;
    }
    // Its claimed end has not arrived. Frames on one line do not overlap, so
    // a correct frame after it shows this one ended early (a damaged L): it is
    // handed over as far as it goes and passed over. Otherwise it is
    // completed on a later tick.
    const size_t next = NextCorrectFrame(rest);
    if (next == rest.size()) break;
    if (next >= kMinFrameLength) handle(rest.first(next));
    p += PassOver(rest.first(next));
  }
  return static_cast<uint16_t>((tail + p) & kRecvIndexMask);
}

}  // namespace qv
