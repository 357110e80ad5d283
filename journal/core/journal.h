// The results journal: readings and writes are handed over in one short
// step and stored by one writer thread, so a slow or failing disk never
// holds up the window that made them.
//
// A record is acknowledged once the writer's transaction holding it has
// committed (synchronous=FULL: on the disk, not only in a cache); the
// sequence number `Record` returns is acknowledged when `Acknowledged()`
// has reached it. An acknowledged record survives the program being killed
// at any moment after.
//
// One program writes a journal at a time: `Open` takes an exclusive lock on
// "<journal>.lock" (flock, released by the system when the process ends,
// however it ends). A second program on the same folder gets kLocked and
// runs without a journal.
//
// The first problem (locked, not writable, a write that failed) is reported
// once through `on_problem`; after a failed write the journal stops and
// every later record is dropped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

#include "core/journal_records.h"
#include "core/operation_log.h"

namespace qv {

enum class JournalProblem {
  kLocked,      // another program writes this journal
  kUnwritable,  // the folder or the file cannot be written
};

class ResultJournal final : public ResultRecorder {
 public:
  // Records waiting for the writer beyond which new ones are dropped: far
  // more than a whole day at a bench, so only a writer that stopped
  // making progress reaches it.
  static constexpr size_t kMaxPending = 200000;

  ResultJournal();
  // Stores what is queued, then stops the writer.
  ~ResultJournal() override;
  ResultJournal(const ResultJournal&) = delete;
  ResultJournal& operator=(const ResultJournal&) = delete;

  // Set before `Open`. Called at most once, on the opening thread or on
  // the writer thread; it must not block.
  std::function<void(JournalProblem, const std::string& detail)> on_problem;
  WallClock clock = [] { return std::chrono::system_clock::now(); };

  // Takes the lock and starts the writer, which opens the database. False
  // (and `on_problem` called) when the journal is locked or its folder
  // cannot be written.
  bool Open(const std::string& path);
  bool IsOpen() const override { return writer_.joinable(); }
  const std::string& Path() const override { return path_; }

  // Queues a record (stamped with `clock` when its time is empty); its
  // sequence number, 0 when the journal is not open, has stopped or the
  // queue is full. A reading gets its id here, at once, in `*id` (0 when it
  // is not taken), so that a later record can supersede it.
  uint64_t Record(ReadingRecord reading, int64_t* id = nullptr) override;
  uint64_t Record(WriteRecord write) override;

  // The sequence number of the last record taken.
  uint64_t Taken() const override;
  // The sequence number of the last record the writer has committed.
  uint64_t Acknowledged() const override;
  // Waits until `seq` is acknowledged or the journal has stopped; whether
  // it was acknowledged.
  bool WaitAcknowledged(uint64_t seq, std::chrono::milliseconds timeout) override;
  // Whether the journal is not taking records (not open, or stopped after
  // a problem), and the records it lost.
  bool Stopped() const;
  uint64_t Lost() const;

 private:
  using Entry = std::variant<ReadingRecord, WriteRecord>;
  uint64_t Enqueue(Entry entry, int64_t* id);
  void WriterLoop();
  void Problem(JournalProblem kind, const std::string& detail);

  std::string path_;
  int lock_fd_ = -1;
  std::thread writer_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;    // the writer: work or stop
  std::condition_variable stored_;  // waiters: something committed
  std::deque<Entry> queue_;
  uint64_t next_seq_ = 0;        // last sequence number handed out
  int64_t last_reading_id_ = 0;  // the id of the newest reading, stored or queued
  uint64_t acked_ = 0;
  uint64_t lost_ = 0;
  bool stop_ = false;
  bool stopped_ = true;  // not open yet, or after a problem
  bool reported_ = false;
};

}  // namespace qv
