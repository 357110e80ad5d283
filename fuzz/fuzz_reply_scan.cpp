// The scan of a receive ring at a poll tick, with the recognisers of the
// windows. Input: the recogniser (first byte), where the unread bytes start
// in the ring (two bytes), where the first tick's bytes end (one byte, in
// 1/256 of them), then the bytes. Two ticks are scanned as the bytes
// arrive. Every frame handed over lies in the unread bytes and begins with a
// recognised header; it is L + 13 bytes long, or shorter when it is damaged
// and a correct frame follows right after it. Frames are handed in order: one
// starts after the end of a correct frame before it, after the start of a
// damaged one. The read position never leaves the unread bytes, and no
// correct, recognised reply the scan consumed is passed over unhanded (a
// damaged length byte must not hide the replies after it).
#include <algorithm>
#include <memory>
#include <vector>

#include "detection/core/flow_detection_run.h"
#include "fuzz/fuzz_check.h"
#include "protocol/commands.h"
#include "protocol/cycle.h"
#include "protocol/frame.h"
#include "protocol/operation_table.h"
#include "protocol/reply_scan.h"
#include "tools/core/other_para_run.h"
#include "tools/core/set_para_run.h"

using namespace qv;
using qv::fuzz::Check;

namespace {

bool ReadingReply(const ReplyHeader& h) {
  const std::span<const uint8_t> s(h);
  return IsReplyTo(Command::kReadMeterData, s) || IsReplyTo(Command::kSetClock, s);
}

ReplyRecogniser Recogniser(uint8_t choice) {
  const auto table = [](std::span<const OperationRow> t) -> ReplyRecogniser {
    return [t](const ReplyHeader& h) { return IsSwitchHeader(h) || RecognisedBy(t, h); };
  };
  switch (choice % 6) {
    case 0:
      return [](const ReplyHeader&) { return true; };
    case 1:
      return table(FlowOperations());
    case 2:
      return table(OverallOperations());
    case 3:
      return table(SetParaOperations());
    case 4:
      return table(OtherParaOperations());
    default:
      return ReadingReply;
  }
}

struct Handed {
  size_t at;  // from the first unread byte
  size_t length;
  bool correct;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const ReplyRecogniser recognise = Recogniser(data[0]);
  const uint16_t start = static_cast<uint16_t>((data[1] << 8 | data[2]) & kRecvIndexMask);
  std::span<const uint8_t> bytes(data + 4, size - 4);
  if (bytes.size() > kRecvMaxUnread) bytes = bytes.first(kRecvMaxUnread);
  const size_t firstTick = bytes.size() * data[3] / 256;

  auto snapshot = std::make_unique<RecvSnapshot>();
  snapshot->RecvBuf.fill(0x68);  // bytes outside the unread ones must never be read as a reply
  for (size_t i = 0; i < bytes.size(); ++i)
    snapshot->RecvBuf[(start + i) & kRecvIndexMask] = bytes[i];
  snapshot->RecvTail = start;

  std::vector<Handed> handed;
  size_t consumed = 0;  // bytes before the read position
  const auto correctAt = [&](size_t at, size_t end) {
    return at < end && bytes[at] == kFrameStart &&
           CheckFrame(bytes.subspan(at, end - at)) == FrameCheck::kCorrect;
  };
  for (const size_t arrived : {firstTick, bytes.size()}) {
    snapshot->RecvHead = static_cast<uint16_t>((start + arrived) & kRecvIndexMask);
    const uint16_t tail = ScanRing(*snapshot, recognise, [&](std::span<const uint8_t> frame) {
      Check(frame.size() >= kHeaderBytes, "a frame shorter than its header");
      ReplyHeader h;
      std::copy_n(frame.begin(), kHeaderBytes, h.begin());
      Check(frame[0] == kFrameStart && recognise(h), "a frame handed that is not recognised");
      const size_t claimed = FrameOffset::Total(frame[FrameOffset::kLength]);
      const bool correct = CheckFrame(frame) == FrameCheck::kCorrect;
      Check(frame.size() == claimed || (!correct && frame.size() < claimed),
            "a frame longer than L + 13, or a correct one shorter");
      // Where the frame stood: the first place from the earliest one it may
      // start at that holds its bytes (and, cut short, a correct frame right
      // after them).
      size_t at = consumed;
      if (!handed.empty())
        at = std::max(at, handed.back().at + (handed.back().correct ? handed.back().length : 1));
      const auto fits = [&](size_t a) {
        return std::equal(frame.begin(), frame.end(), bytes.begin() + static_cast<ptrdiff_t>(a)) &&
               (frame.size() == claimed || correctAt(a + frame.size(), arrived));
      };
      while (at + frame.size() <= arrived && !fits(at))
        ++at;
      Check(at + frame.size() <= arrived,
            "a frame that is not in the unread bytes, out of order, overlapping a correct one "
            "before it, or cut short without a correct frame after it");
      handed.push_back({at, frame.size(), correct});
    });
    const auto moved = static_cast<size_t>(RecvCount(tail, snapshot->RecvTail, kRecvBufSize));
    Check(moved <=
              static_cast<size_t>(RecvCount(snapshot->RecvHead, snapshot->RecvTail, kRecvBufSize)),
          "the read position left the unread bytes");
    consumed += moved;
    snapshot->RecvTail = tail;
    // A correct frame is consumed whole, a damaged one at least from its 68
    // (so it is never handed again).
    Check(handed.empty() ||
              (handed.back().correct ? handed.back().at + handed.back().length <= consumed
                                     : handed.back().at < consumed),
          "a handed frame is not consumed");
  }

  // A correct, recognised reply lying wholly in the consumed bytes may only
  // give way to a correct frame handed over some of its bytes. The correct
  // frames handed never overlap, so one walk over them does.
  std::vector<Handed> correct;
  for (const Handed& f : handed)
    if (f.correct) correct.push_back(f);
  size_t next = 0;
  for (size_t q = 0; q + kMinReplyBytes <= consumed; ++q) {
    if (!correctAt(q, consumed)) continue;
    ReplyHeader h;
    std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(q), kHeaderBytes, h.begin());
    if (!recognise(h)) continue;
    const size_t length = FrameOffset::Total(bytes[q + FrameOffset::kLength]);
    while (next < correct.size() && correct[next].at + correct[next].length <= q)
      ++next;
    Check(next < correct.size() && correct[next].at < q + length,
          "a correct reply was consumed without being handed");
  }
  return 0;
}
