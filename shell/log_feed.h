// Carries the operation log's lines to the user-interface thread. A producer
// (any thread) that finds the queue empty posts one delivery; the delivery
// runs on the user-interface thread and hands every queued line to the
// monitor. Producers never wait for the window.
#pragma once

#include <QObject>
#include <memory>
#include <mutex>

#include "core/operation_log.h"

namespace qv {

class LogFeed : public QObject {
  Q_OBJECT

 public:
  // Registers itself as `log`'s wake-up and delivers what is already
  // queued (with no monitor yet, those lines are dropped).
  explicit LogFeed(OperationLog& log);
  // Unregisters; a producer that is posting right now finishes first.
  ~LogFeed() override;

 private:
  // What a producer thread reaches: `feed` is cleared, under `mutex`,
  // before the feed goes away, so no delivery is ever posted to it after.
  struct Target {
    std::mutex mutex;
    LogFeed* feed = nullptr;
  };

  OperationLog& log_;
  std::shared_ptr<Target> target_;
};

}  // namespace qv
