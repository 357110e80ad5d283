// What a scale reader reported, collected for a test: the statuses and the
// ends of waits, with bounded waiting for the one a test expects.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "protocol/scale_reader.h"

namespace qv::test {

class ScaleEvents {
 public:
  ScaleReader::Listener Listener() {
    return {[this](const ScaleStatus& s) { Add(statuses_, s); },
            [this](const ScaleWaitResult& w) { Add(waits_, w); }};
  }

  // The end of wait `id`, once reported (nothing after `limit`).
  std::optional<ScaleWaitResult> Ended(uint64_t id,
                                       std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::optional<ScaleWaitResult> found;
    Until([&] { return (found = Find(id)).has_value(); }, limit);
    return found;
  }
  // Whether a status that `pred` accepts has been reported, waiting for one.
  bool SawStatus(const std::function<bool(const ScaleStatus&)>& pred,
                 std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return Until(
        [&] {
          for (const ScaleStatus& s : statuses_)
            if (pred(s)) return true;
          return false;
        },
        limit);
  }
  bool WaitReported(uint64_t id) {
    std::lock_guard lock(mu_);
    return Find(id).has_value();
  }

 private:
  template <class T>
  void Add(std::vector<T>& to, const T& value) {
    std::lock_guard lock(mu_);
    to.push_back(value);
    cv_.notify_all();
  }
  std::optional<ScaleWaitResult> Find(uint64_t id) const {
    for (const ScaleWaitResult& w : waits_)
      if (w.Id == id) return w;
    return std::nullopt;
  }
  template <class Pred>
  bool Until(Pred pred, std::chrono::milliseconds limit) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, limit, pred);
  }

  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<ScaleStatus> statuses_;
  std::vector<ScaleWaitResult> waits_;
};

}  // namespace qv::test
