// What a scale reader reported, collected for a test: the statuses and the
// ends of waits, with bounded waiting for the one a test expects.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "protocol/scale_reader.h"

namespace qv::test {

// A scale on `device` speaking `protocol` on the protocol's own line.
inline ScaleSettings ScaleOn(std::string device, ScaleProtocol protocol) {
  ScaleSettings s;
  s.Device = std::move(device);
  s.Protocol = protocol;
  return s;
}

class ScaleEvents {
 public:
  ScaleReader::Listener Listener() {
    return {[this](const ScaleStatus& s) { Add(statuses_, s); },
            [this](const ScaleWaitResult& w) { Add(waits_, w); }};
  }
  // The end of wait `id`, once reported (nothing after 20 s).
  std::optional<ScaleWaitResult> Ended(uint64_t id) {
    std::optional<ScaleWaitResult> found;
    Until([&] {
      for (const ScaleWaitResult& w : waits_)
        if (w.Id == id) found = w;
      return found.has_value();
    });
    return found;
  }
  // Whether a status that `pred` accepts has been reported, waiting for one.
  bool SawStatus(const std::function<bool(const ScaleStatus&)>& pred) {
    return Until([&] { return std::any_of(statuses_.begin(), statuses_.end(), pred); });
  }
  bool SawConnected() {
    return SawStatus([](const ScaleStatus& s) { return s.Link == ScaleLink::kConnected; });
  }
  size_t WaitsReported() {
    std::lock_guard lock(mu_);
    return waits_.size();
  }

 private:
  template <class T>
  void Add(std::vector<T>& to, const T& value) {
    std::lock_guard lock(mu_);
    to.push_back(value);
    cv_.notify_all();
  }
  template <class Pred>
  bool Until(Pred pred) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(20), pred);
  }

  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<ScaleStatus> statuses_;
  std::vector<ScaleWaitResult> waits_;
};

}  // namespace qv::test
