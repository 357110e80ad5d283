// One virtual serial line: a pseudo-terminal whose master side the bench
// holds, and whose slave path the program opens as its serial device.
//
// The bench keeps a slave descriptor of its own open for the line's whole
// life, so the master never sees a hang-up (EIO, endless POLLHUP) when the
// program closes its port and opens it again. Holding the slave has one side
// effect: the pseudo-terminal is never closed for good, so the exclusive-use
// flag (TIOCEXCL) that the program sets would outlive the program's close and
// refuse its next open. `ReleaseExclusive` clears it; the bench calls it when
// it sees the program's descriptor closed.
//
// Output is queued with a start time. Paced output leaves the line at the
// speed of 2400 baud 8E1: 11 bits (start, 8 data, parity, stop) per byte.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <string>

#include "protocol/codec.h"

namespace qv::sim {

using SteadyTime = std::chrono::steady_clock::time_point;

// 11 bits at 2400 baud: 4583 µs a byte.
inline constexpr std::chrono::microseconds kByteTime{11 * 1000000 / 2400};

class PtyLine {
 public:
  // A new raw pseudo-terminal; nothing and `error` set when none can be had.
  static std::unique_ptr<PtyLine> Open(std::string& error);
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  const std::string& Path() const { return path_; }
  int MasterFd() const { return master_; }

  // Reads what the program has written (empty when nothing is waiting).
  Bytes Read();

  // Queues `bytes` to leave at `start` (after anything queued before them);
  // paced output goes out one byte time apart.
  void Send(Bytes bytes, SteadyTime start, bool paced);
  // Writes what is due at `now`; stops early when the program does not read.
  void Flush(SteadyTime now);
  // When the next queued byte is due, or nothing when the queue is empty.
  bool HasQueued() const { return !queue_.empty(); }
  SteadyTime NextDue() const;
  // True when the last write was refused because the line's buffer is full.
  bool Blocked() const { return blocked_; }
  // When the last queued byte leaves the line.
  SteadyTime QueueEnd() const { return queue_end_; }

  void ReleaseExclusive();

 private:
  PtyLine() = default;
  struct Chunk {
    Bytes bytes;
    size_t sent = 0;
    SteadyTime start;
    bool paced = false;
  };

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::deque<Chunk> queue_;
  SteadyTime queue_end_{};
  bool blocked_ = false;
};

}  // namespace qv::sim
