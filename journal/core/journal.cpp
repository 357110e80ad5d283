#include "journal/core/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "journal/core/journal_store.h"

namespace qv {

ResultJournal::ResultJournal() = default;

ResultJournal::~ResultJournal() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

void ResultJournal::Problem(JournalProblem kind, const std::string& detail) {
  {
    std::lock_guard lock(mutex_);
    if (reported_) return;
    reported_ = true;
  }
  if (on_problem) on_problem(kind, detail);
}

bool ResultJournal::Open(const std::string& path) {
  if (IsOpen()) return true;
  path_ = path;
  const std::string lock_path = path + ".lock";
  const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    Problem(JournalProblem::kUnwritable, lock_path + ": " + std::strerror(errno));
    return false;
  }
  // A lock of its own open file: even a second journal in this process
  // on the same folder is refused.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    if (e == EWOULDBLOCK) {
      Problem(JournalProblem::kLocked, path);
    } else {
      Problem(JournalProblem::kUnwritable, lock_path + ": " + std::strerror(e));
    }
    return false;
  }
  lock_fd_ = fd;
  // Nobody else writes the journal now: the ids of new readings follow the
  // newest one stored.
  const int64_t last_id = LastReadingId(path);
  {
    std::lock_guard lock(mutex_);
    stopped_ = false;
    last_reading_id_ = last_id;
  }
  writer_ = std::thread([this] { WriterLoop(); });
  return true;
}

uint64_t ResultJournal::Enqueue(Entry entry, int64_t* id) {
  std::lock_guard lock(mutex_);
  if (id) *id = 0;
  if (!writer_.joinable() || stopped_ || stop_) return 0;
  if (queue_.size() >= kMaxPending) {
    ++lost_;
    return 0;
  }
  if (auto* reading = std::get_if<ReadingRecord>(&entry)) reading->Id = ++last_reading_id_;
  queue_.push_back(std::move(entry));
  ++next_seq_;
  if (id) *id = last_reading_id_;
  wake_.notify_one();
  return next_seq_;
}

uint64_t ResultJournal::Record(ReadingRecord reading, int64_t* id) {
  if (reading.Time.empty()) reading.Time = JournalTime(clock());
  return Enqueue(std::move(reading), id);
}

uint64_t ResultJournal::Record(WriteRecord write) {
  if (write.Time.empty()) write.Time = JournalTime(clock());
  return Enqueue(std::move(write), nullptr);
}

uint64_t ResultJournal::Taken() const {
  std::lock_guard lock(mutex_);
  return next_seq_;
}

uint64_t ResultJournal::Acknowledged() const {
  std::lock_guard lock(mutex_);
  return acked_;
}

bool ResultJournal::WaitAcknowledged(uint64_t seq, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  stored_.wait_for(lock, timeout, [&] { return acked_ >= seq || stopped_; });
  return acked_ >= seq;
}

bool ResultJournal::Stopped() const {
  std::lock_guard lock(mutex_);
  return stopped_;
}

uint64_t ResultJournal::Lost() const {
  std::lock_guard lock(mutex_);
  return lost_;
}

void ResultJournal::WriterLoop() {
  JournalStore store;
  std::string error;
  const bool opened = store.Open(path_, error);
  if (!opened) {
    // Told before anyone waiting learns that the journal stopped.
    Problem(JournalProblem::kUnwritable, error);
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
      lost_ += queue_.size();
      queue_.clear();
    }
    stored_.notify_all();
    return;
  }
  std::vector<ReadingRecord> readings;
  std::vector<WriteRecord> writes;
  std::deque<Entry> batch;
  for (;;) {
    uint64_t last = 0;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping with nothing left
      // Everything queued so far goes into one transaction: a burst of
      // records costs one commit. The queue is taken whole, so a producer
      // never waits while the records are sorted.
      batch.clear();
      batch.swap(queue_);
      last = acked_ + batch.size();
    }
    readings.clear();
    writes.clear();
    for (Entry& e : batch) {
      if (auto* r = std::get_if<ReadingRecord>(&e)) {
        readings.push_back(std::move(*r));
      } else {
        writes.push_back(std::move(std::get<WriteRecord>(e)));
      }
    }
    const bool written = store.Write(readings, writes, error);
    if (!written) Problem(JournalProblem::kUnwritable, error);
    {
      std::lock_guard lock(mutex_);
      if (written) {
        acked_ = last;
      } else {
        stopped_ = true;
        lost_ += (last - acked_) + queue_.size();
        queue_.clear();
      }
    }
    stored_.notify_all();
    if (!written) return;
  }
}

}  // namespace qv
