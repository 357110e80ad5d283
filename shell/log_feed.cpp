#include "shell/log_feed.h"

namespace qv {

LogFeed::LogFeed(OperationLog& log) : log_(log), target_(std::make_shared<Target>()) {
  target_->feed = this;
  log_.SetWakeup([target = target_] {
    std::lock_guard lock(target->mutex);
    if (!target->feed) return;
    // Queued: runs later on the feed's (the user-interface) thread. Qt
    // discards it if the feed is destroyed before it runs.
    QMetaObject::invokeMethod(
        target->feed, [feed = target->feed] { feed->log_.DeliverPending(); }, Qt::QueuedConnection);
  });
  log_.DeliverPending();
}

LogFeed::~LogFeed() {
  log_.SetWakeup({});
  std::lock_guard lock(target_->mutex);
  target_->feed = nullptr;
}

}  // namespace qv
