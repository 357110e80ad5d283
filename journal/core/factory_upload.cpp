#include "journal/core/factory_upload.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "journal/core/factory_server.h"
#include "journal/core/pg_link.h"

namespace qv {

namespace {

// One bench's records on their way: the journal as the outbox, the link to
// the server and the marks of what the server holds.
class Uploader {
 public:
  Uploader(std::string journal_path, int wake_fd)
      : path_(std::move(journal_path)), link_(wake_fd) {}

  // Opens the outbox (once) and counts what waits, and what the server
  // holds when that is not known (the first time, marks moved by another
  // uploader): the count of a whole year's journal is not for every nudge.
  FactoryOutcome Count(UploadStatus& status, std::string& error) {
    if (!open_ && !outbox_.Open(path_, error)) return FactoryOutcome::kNoJournal;
    JournalOutbox::Marks marks;
    if (!outbox_.ReadMarks(marks, error)) return FactoryOutcome::kNoJournal;
    const bool known = open_ && marks == marks_ && status.Uploaded == uploaded_;
    open_ = true;
    marks_ = marks;
    if (!outbox_.Count(marks_, known ? nullptr : &status.Uploaded, status.Waiting, error)) {
      return FactoryOutcome::kNoJournal;
    }
    uploaded_ = status.Uploaded;
    return FactoryOutcome::kDone;
  }

  // Connects, makes or checks the server's schema, and moves the marks to
  // what the server holds of this bench.
  FactoryOutcome Connect(const FactoryTarget& target, UploadStatus& status, std::string& error) {
    if (target.Bench.empty()) {
      error = "the bench has no name (set it in the parameter settings)";
      return FactoryOutcome::kRefused;
    }
    FactoryOutcome o = link_.Connect(target.Server, error);
    if (o == FactoryOutcome::kDone) o = EnsureFactorySchema(link_, error);
    BenchProgress held;
    if (o == FactoryOutcome::kDone) {
      o = ReadBenchProgress(link_, target.Bench, outbox_.JournalId(), held, error);
    }
    if (o != FactoryOutcome::kDone) return o;
    // Records of another journal under this name would be taken for this
    // journal's records of the same ids, and this journal's dropped.
    if (held.JournalId != outbox_.JournalId()) {
      error = "the server already holds the bench name \"" + target.Bench +
              "\" for another journal: give this bench a name of its own";
      return FactoryOutcome::kRefused;
    }
    JournalOutbox::Marks last;
    if (!outbox_.LastIds(last, error)) return FactoryOutcome::kNoJournal;
    if (held.Held.Readings > last.Readings || held.Held.Writes > last.Writes) {
      error = "the server holds more records of bench \"" + target.Bench +
              "\" than its journal (a journal put back from an older copy?)";
      return FactoryOutcome::kRefused;
    }
    if (held.Held == marks_) return FactoryOutcome::kDone;
    if (!outbox_.WriteMarks(held.Held, error)) return FactoryOutcome::kNoJournal;
    marks_ = held.Held;
    if (!outbox_.Count(marks_, &status.Uploaded, status.Waiting, error)) {
      return FactoryOutcome::kNoJournal;
    }
    uploaded_ = status.Uploaded;
    return FactoryOutcome::kDone;
  }

  // Sends the next batch and marks it; `sent` is 0 when nothing waits.
  FactoryOutcome SendNext(const FactoryTarget& target, UploadStatus& status, size_t& sent,
                          std::string& error) {
    sent = 0;
    JournalOutbox::Batch batch;
    if (!outbox_.Next(marks_, FactorySender::kBatch, batch, error)) {
      return FactoryOutcome::kNoJournal;
    }
    if (batch.Size() == 0) return FactoryOutcome::kDone;
    const FactoryOutcome o = SendBatch(link_, target.Bench, batch, error);
    if (o != FactoryOutcome::kDone) return o;
    JournalOutbox::Marks next = marks_;
    if (!batch.Readings.empty()) next.Readings = batch.Readings.back().Id;
    if (!batch.Writes.empty()) next.Writes = batch.Writes.back().Id;
    // Unmarked, the batch is sent again and inserts nothing.
    if (!outbox_.WriteMarks(next, error)) return FactoryOutcome::kNoJournal;
    marks_ = next;
    sent = batch.Size();
    uploaded_ = status.Uploaded += sent;
    status.Waiting -= std::min<uint64_t>(status.Waiting, sent);
    return FactoryOutcome::kDone;
  }

  void Disconnect() { link_.Close(); }

 private:
  const std::string path_;
  JournalOutbox outbox_;
  bool open_ = false;
  PgLink link_;
  JournalOutbox::Marks marks_;
  uint64_t uploaded_ = 0;  // records up to `marks_`
};

void Failed(UploadStatus& status, FactoryOutcome o, const std::string& error) {
  status.Failure = o;
  status.Reason = o == FactoryOutcome::kDone ? "" : error;
}

}  // namespace

std::string FactoryUnavailable() {
  return {};
}

FactoryOutcome UploadWaiting(const std::string& journal_path, const FactoryTarget& target,
                             UploadStatus& status, uint64_t& sent) {
  status = {};
  sent = 0;
  Uploader uploader(journal_path, -1);
  std::string error;
  FactoryOutcome o = uploader.Count(status, error);
  if (o == FactoryOutcome::kDone) o = uploader.Connect(target, status, error);
  for (size_t n = 1; o == FactoryOutcome::kDone && n > 0; sent += n)
    o = uploader.SendNext(target, status, n, error);
  Failed(status, o, error);
  return o;
}

FactorySender::FactorySender(std::string journal_path) : journal_path_(std::move(journal_path)) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
  thread_ = std::thread([this] { Run(); });
}

FactorySender::~FactorySender() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  Wake();
  thread_.join();
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
}

void FactorySender::Wake() {
  if (wake_[1] < 0) return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
}

void FactorySender::Configure(const FactoryTarget& target) {
  {
    std::lock_guard lock(mutex_);
    if (target_ == target) return;
    target_ = target;
    changed_ = true;
  }
  cv_.notify_all();
  Wake();  // a connection or statement under way for the old target ends
}

void FactorySender::Nudge() {
  {
    std::lock_guard lock(mutex_);
    nudged_ = true;
  }
  cv_.notify_all();
}

UploadStatus FactorySender::Status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void FactorySender::Publish(const UploadStatus& status) {
  {
    std::lock_guard lock(mutex_);
    if (status_ == status) return;
    status_ = status;
  }
  if (on_change) on_change();
}

bool FactorySender::Interrupted() const {
  std::lock_guard lock(mutex_);
  return stop_ || changed_;
}

void FactorySender::Run() {
  // Below the windows' thread in the scheduler's eyes: on a busy computer
  // the operator's events go first, the upload follows.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNice);
  Uploader uploader(journal_path_, wake_[0]);
  // The target whose server the marks were last set by: with nothing
  // waiting, it need not be asked again.
  std::optional<FactoryTarget> checked;
  int pause_ms = 0;
  std::unique_lock lock(mutex_);
  while (!stop_) {
    // Wakings for targets already seen are dropped; one that comes later
    // ends the link's next wait.
    lock.unlock();
    for (char buf[64]; wake_[0] >= 0 && ::read(wake_[0], buf, sizeof buf) > 0;) {
    }
    lock.lock();
    if (stop_) break;  // its waking may have been among those dropped
    if (target_.Server.empty()) {
      checked.reset();
      pause_ms = 0;
      changed_ = false;
      lock.unlock();
      Publish({});
      lock.lock();
      cv_.wait(lock, [&] { return stop_ || changed_; });
      continue;
    }
    if (changed_) pause_ms = 0;  // a new target is tried at once
    const FactoryTarget target = target_;
    changed_ = nudged_ = false;
    UploadStatus status = status_;
    lock.unlock();

    std::string error;
    FactoryOutcome o = uploader.Count(status, error);
    if (o == FactoryOutcome::kDone) Publish(status);
    if (o == FactoryOutcome::kDone && (status.Waiting > 0 || checked != target)) {
      o = uploader.Connect(target, status, error);
      if (o == FactoryOutcome::kDone) checked = target;
      for (size_t sent = 1; o == FactoryOutcome::kDone && sent > 0 && !Interrupted();) {
        o = uploader.SendNext(target, status, sent, error);
        if (o == FactoryOutcome::kDone) Failed(status, o, error);
        Publish(status);
      }
      uploader.Disconnect();
    }
    // Stopped: the program ends, or the target changed mid-way.
    if (o == FactoryOutcome::kStopped) {
      lock.lock();
      continue;
    }
    Failed(status, o, error);
    Publish(status);

    lock.lock();
    if (o == FactoryOutcome::kDone) {
      pause_ms = 0;
      cv_.wait(lock, [&] { return stop_ || changed_ || nudged_; });
      continue;
    }
    checked.reset();
    pause_ms = pause_ms ? std::min(pause_ms * 2, kLongestPauseMs) : kFirstPauseMs;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(pause_ms);
    while (cv_.wait_until(lock, until, [&] { return stop_ || changed_ || nudged_; }) && !stop_ &&
           !changed_) {
      // What the journal has taken meanwhile is counted now, sent later.
      nudged_ = false;
      status = status_;
      lock.unlock();
      if (uploader.Count(status, error) == FactoryOutcome::kDone) Publish(status);
      lock.lock();
    }
  }
}

}  // namespace qv
