// The scan of a receive ring at a poll tick, with the recognisers of the
// windows. Input: the recogniser (first byte), where the unread bytes start
// in the ring (two bytes), where the first tick's bytes end (one byte, in
// 1/256 of them), then the bytes. Two ticks are scanned as the bytes
// arrive. Every frame handed over lies in the unread bytes, begins with a
// recognised header, is L + 13 bytes long and follows the one before it;
// the read position never leaves the unread bytes.
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

// Also checked: no correct, recognised reply lying wholly in the bytes the
// scan consumed is passed over unhanded (a damaged length byte must not
// hide the replies after it).
constexpr bool kCheckNoReplyLost = false;

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
  for (const size_t arrived : {firstTick, bytes.size()}) {
    snapshot->RecvHead = static_cast<uint16_t>((start + arrived) & kRecvIndexMask);
    const uint16_t tail = ScanRing(*snapshot, recognise, [&](std::span<const uint8_t> frame) {
      Check(frame.size() >= kHeaderBytes, "a frame shorter than its header");
      ReplyHeader h;
      std::copy_n(frame.begin(), kHeaderBytes, h.begin());
      Check(frame[0] == kFrameStart && recognise(h), "a frame handed that is not recognised");
      Check(frame.size() == FrameOffset::Total(frame[FrameOffset::kLength]),
            "a frame whose length is not L + 13");
      // Where the frame stood: search from the read position.
      size_t at =
          handed.empty() ? consumed : std::max(consumed, handed.back().at + handed.back().length);
      while (at + frame.size() <= arrived &&
             !std::equal(frame.begin(), frame.end(), bytes.begin() + static_cast<ptrdiff_t>(at)))
        ++at;
      Check(at + frame.size() <= arrived, "a frame that is not in the unread bytes");
      Check(handed.empty() || at >= handed.back().at + handed.back().length,
            "frames handed out of order or overlapping");
      handed.push_back({at, frame.size(), CheckFrame(frame) == FrameCheck::kCorrect});
    });
    const auto moved = static_cast<size_t>(RecvCount(tail, snapshot->RecvTail, kRecvBufSize));
    Check(moved <=
              static_cast<size_t>(RecvCount(snapshot->RecvHead, snapshot->RecvTail, kRecvBufSize)),
          "the read position left the unread bytes");
    consumed += moved;
    snapshot->RecvTail = tail;
    Check(handed.empty() || handed.back().at + handed.back().length <= consumed,
          "a handed frame is not consumed");
  }

  if (kCheckNoReplyLost) {
    size_t next = 0;
    for (size_t q = 0; q + kMinReplyBytes <= consumed; ++q) {
      while (next < handed.size() && handed[next].at + handed[next].length <= q)
        ++next;
      if (next < handed.size() && handed[next].at <= q && handed[next].correct) continue;
      const auto rest = bytes.subspan(q, consumed - q);
      if (rest[0] != kFrameStart || CheckFrame(rest) != FrameCheck::kCorrect) continue;
      ReplyHeader h;
      std::copy_n(rest.begin(), kHeaderBytes, h.begin());
      const size_t length = FrameOffset::Total(rest[FrameOffset::kLength]);
      // A correct reply may only give way to a correct one handed over it.
      bool yields = false;
      for (size_t k = next; k < handed.size() && handed[k].at < q + length; ++k)
        yields = yields || handed[k].correct;
      Check(!recognise(h) || yields, "a correct reply was consumed without being handed");
    }
  }
  return 0;
}
