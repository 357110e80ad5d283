// The readings the results window lists, read from the journal page by page
// on a thread of their own, so that typing a filter over a journal of a
// million readings never holds the window up. A new filter asks for its
// newest page and its count at once and shows them when they come, the
// list of the filter before staying until then; a query still running for
// an older filter is interrupted. A journal small enough to be read in a
// moment is read at once, on the window's thread. Further pages come as the
// list is scrolled down.
#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "journal/core/journal_store.h"

namespace qv {

class ResultsPages : public QObject {
  Q_OBJECT

 public:
  // Readings a page holds: a few screens of the list.
  static constexpr size_t kPageSize = 100;

  explicit ResultsPages(QObject* parent = nullptr);
  // Interrupts what runs and ends the thread.
  ~ResultsPages() override;

  // Readings up to which a journal is read at once.
  int64_t read_at_once = 20000;

  // Lists the readings of the journal at `path` that pass `filter` anew,
  // from the newest.
  void Query(const std::string& path, const ReadingFilter& filter);
  // Asks for the page after the readings listed, when there is one.
  void More();

  const std::vector<ReadingRecord>& Readings() const { return readings_; }
  // Every reading of the filter is listed.
  bool Complete() const { return complete_; }
  // How many readings pass the filter, once counted.
  std::optional<int64_t> Count() const { return count_; }
  const std::string& Error() const { return error_; }

 signals:
  // Readings, the count or the error changed; `first` for the first page of
  // a new filter.
  void Changed(bool first);

 private:
  struct Job {
    uint64_t generation = 0;
    std::string path;
    ReadingFilter filter = {};
    std::optional<PageKey> after = {};
    bool count = false;
  };
  // What a job gave: a page, or the count of its filter.
  struct Reply {
    uint64_t generation = 0;
    bool first = false;
    std::vector<ReadingRecord> page = {};
    bool more = false;
    std::optional<int64_t> count = {};
    bool counted = false;
    std::string error = {};
  };

  void Work();
  // Runs `job` through a connection of its own (`reader` while it is open,
  // guarded by `mutex`), giving its page and then its count to `give` while
  // `current` says the job is still wanted.
  static void RunJob(const Job& job, JournalReader*& reader, const std::function<bool()>& current,
                     std::mutex& mutex, const std::function<void(Reply)>& give);
  void Post(Reply answer);
  // Shows the answers of the current filter that came.
  void Deliver();

  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable wake_;  // the worker: a job or the end
  std::optional<Job> job_;
  std::vector<Reply> replies_;
  uint64_t generation_ = 0;  // of the filter listed now
  bool stop_ = false;
  JournalReader* reader_ = nullptr;  // the worker's, while a job runs

  std::vector<ReadingRecord> readings_;
  bool complete_ = true;
  bool asked_more_ = false;
  std::optional<int64_t> count_;
  std::string error_;
  std::string path_;
  ReadingFilter filter_;
};

}  // namespace qv
