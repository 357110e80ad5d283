// One virtual serial line, either a pseudo-terminal whose master side the
// bench holds and whose slave path the program opens as its serial device,
// or a TCP port on the loopback interface that the program connects to as it
// would to a serial device server ("tcp:127.0.0.1:PORT"). A TCP line serves
// one connection at a time: a new one replaces the old (a program that lost
// its connection comes back), and replies still queued for the old one are
// dropped.
//
// The bench keeps a slave descriptor of its own open for the line's whole
// life, so the master never sees a hang-up (EIO, endless POLLHUP) when the
// program closes its port and opens it again. Holding the slave has one side
// effect: the pseudo-terminal is never closed for good, so the exclusive-use
// flag (TIOCEXCL) that the program sets would outlive the program's close and
// refuse its next open. `ReleaseExclusive` clears it; the bench calls it when
// it sees the program's descriptor closed. A TCP line has none of this.
//
// Output is queued with a start time. Paced output leaves the line at the
// speed of 2400 baud 8E1: 11 bits (start, 8 data, parity, stop) per byte.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "protocol/codec.h"

namespace qv::sim {

using SteadyTime = std::chrono::steady_clock::time_point;

// 11 bits at 2400 baud: 4583 µs a byte.
inline constexpr std::chrono::microseconds kByteTime{11 * 1000000 / 2400};

class SimLine {
 public:
  // A new raw pseudo-terminal; nothing and `error` set when none can be had.
  static std::unique_ptr<SimLine> OpenPty(std::string& error);
  // A line listening on 127.0.0.1:`port` (0: a free port the system picks);
  // nothing and `error` set when the port cannot be had.
  static std::unique_ptr<SimLine> ListenTcp(uint16_t port, std::string& error);
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  // What the program opens: the slave's path or "tcp:127.0.0.1:PORT".
  const std::string& Path() const { return path_; }
  // The descriptor carrying the program's bytes; -1 while a TCP line has no
  // connection.
  int MasterFd() const { return master_; }
  // A TCP line's listening socket, -1 for a pseudo-terminal.
  int ListenFd() const { return listen_; }
  // Takes a waiting connection in place of the current one.
  void Accept();
  // A TCP line drops its connection, as a server losing its network does.
  void CloseConnection();

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
  SimLine() = default;
  ssize_t WriteOut(const uint8_t* bytes, size_t count);
  struct Chunk {
    Bytes bytes;
    size_t sent = 0;
    SteadyTime start;
    bool paced = false;
  };

  int master_ = -1;
  int slave_ = -1;
  int listen_ = -1;
  std::string path_;
  std::deque<Chunk> queue_;
  SteadyTime queue_end_{};
  bool blocked_ = false;
};

}  // namespace qv::sim
