#include "journal/ui/results_pages.h"

namespace qv {

ResultsPages::ResultsPages(QObject* parent) : QObject(parent) {
  worker_ = std::thread([this] { Work(); });
}

ResultsPages::~ResultsPages() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    if (reader_) reader_->Interrupt();
  }
  wake_.notify_all();
  worker_.join();
}

void ResultsPages::Query(const std::string& path, const ReadingFilter& filter) {
  path_ = path;
  filter_ = filter;
  asked_more_ = false;
  Job job{0, path, filter, std::nullopt, true};
  {
    std::lock_guard lock(mutex_);
    job.generation = ++generation_;
    // What still runs for an older filter is of no use any more.
    if (reader_) reader_->Interrupt();
    job_.reset();
    if (LastReadingId(path) > read_at_once) {
      job_ = job;
      wake_.notify_one();
      return;
    }
  }
  std::mutex own;
  JournalReader* reader = nullptr;
  RunJob(
      job, reader, [] { return true; }, own,
      [this](Reply a) {
        std::lock_guard lock(mutex_);
        replies_.push_back(std::move(a));
      });
  Deliver();
}

void ResultsPages::More() {
  if (complete_ || asked_more_ || readings_.empty()) return;
  asked_more_ = true;
  {
    std::lock_guard lock(mutex_);
    job_ = Job{generation_, path_, filter_, PageKey{readings_.back().Time, readings_.back().Id},
               false};
  }
  wake_.notify_one();
}

void ResultsPages::Post(Reply answer) {
  {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(answer));
  }
  QMetaObject::invokeMethod(
      this, [this] { Deliver(); }, Qt::QueuedConnection);
}

void ResultsPages::Deliver() {
  std::vector<Reply> answers;
  uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    answers.swap(replies_);
    generation = generation_;
  }
  for (Reply& a : answers) {
    if (a.generation != generation) continue;
    if (a.counted) {
      count_ = a.count;
      if (!a.error.empty()) error_ = a.error;
    } else if (a.first) {
      // The list of the filter before stays until the new one is there.
      readings_ = std::move(a.page);
      count_.reset();
      error_ = a.error;
    } else {
      readings_.insert(readings_.end(), a.page.begin(), a.page.end());
      asked_more_ = false;
      error_ = a.error;
    }
    if (!a.counted) complete_ = !a.more;
    emit Changed(a.first);
  }
}

void ResultsPages::RunJob(const Job& job, JournalReader*& reader,
                          const std::function<bool()>& current, std::mutex& mutex,
                          const std::function<void(Reply)>& give) {
  JournalReader own;
  Reply page{job.generation, !job.after};
  if (own.Open(job.path, page.error)) {
    std::lock_guard lock(mutex);
    reader = &own;
  }
  if (page.error.empty()) {
    page.page = own.Page(job.filter, job.after, kPageSize + 1, page.error);
    page.more = page.page.size() > kPageSize;
    if (page.more) page.page.resize(kPageSize);
  }
  if (current()) give(std::move(page));
  if (job.count && current()) {
    Reply count{job.generation};
    count.counted = true;
    count.count = own.Count(job.filter, count.error);
    if (current()) give(std::move(count));
  }
  std::lock_guard lock(mutex);
  reader = nullptr;
}

void ResultsPages::Work() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || job_; });
      if (stop_) return;
      job = std::move(*job_);
      job_.reset();
    }
    // Nothing is kept of a job a newer one has overtaken.
    const auto current = [&] {
      std::lock_guard lock(mutex_);
      return !stop_ && !job_ && generation_ == job.generation;
    };
    RunJob(job, reader_, current, mutex_, [this](Reply a) { Post(std::move(a)); });
  }
}

}  // namespace qv
