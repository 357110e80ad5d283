#include "core/operation_log.h"

#include <ctime>
#include <utility>

#include "core/hex.h"

namespace qv {

std::string LogStamp(std::chrono::system_clock::time_point t) {
  const std::time_t secs = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&secs, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "[%Y-%m-%d %H:%M:%S]", &tm);
  return buf;
}

OperationLog::OperationLog(size_t capacity)
    : capacity_(capacity == 0 ? 1 : capacity),
      clock_([] { return std::chrono::system_clock::now(); }) {}

void OperationLog::SetClock(WallClock clock) {
  std::lock_guard lock(mutex_);
  clock_ = std::move(clock);
}

void OperationLog::SetBeforeLine(std::function<void(int block)> hook) {
  before_line_ = std::move(hook);
  before_line_thread_ = std::this_thread::get_id();
}

void OperationLog::Post(std::string_view text) {
  PostTo(PostingInto(), text);
}

void OperationLog::PostTo(int block, std::string_view text) {
  BeforeLine(block);
  PostLine(block, text);
}

void OperationLog::BeforeLine(int block) {
  if (before_line_thread_.load() == std::this_thread::get_id() && before_line_ &&
      !in_before_line_) {
    in_before_line_ = true;
    before_line_(block);
    in_before_line_ = false;
  }
}

void OperationLog::PostLine(int block, std::string_view text) {
  WallClock clock;
  {
    std::lock_guard lock(mutex_);
    clock = clock_;
  }
  std::string line = LogStamp(clock());
  line += text;
  std::function<void()> wakeup;
  {
    std::lock_guard lock(mutex_);
    const auto b = static_cast<size_t>(block);
    if (block >= 0 && b < blocks_.size() && b >= shown_) {
      std::deque<std::string>& held = blocks_[b].lines;
      // A block keeps at most what the queue would.
      if (held.size() >= capacity_) {
        held.pop_front();
        ++dropped_;
      }
      held.push_back(std::move(line));
    } else if (PushLocked(std::move(line))) {
      wakeup = wakeup_;
    }
  }
  // Outside the lock: the wake-up may post an event to the user interface.
  if (wakeup) wakeup();
}

bool OperationLog::PushLocked(std::string line) {
  if (queue_.size() >= capacity_) {
    queue_.pop_front();
    ++dropped_;
  }
  queue_.push_back(std::move(line));
  return queue_.size() == 1;
}

bool OperationLog::ShowClosedLocked() {
  bool wake = false;
  for (; shown_ < blocks_.size() && blocks_[shown_].closed; ++shown_) {
    for (std::string& line : blocks_[shown_].lines)
      wake = PushLocked(std::move(line)) || wake;
    blocks_[shown_].lines.clear();
  }
  return wake;
}

void OperationLog::OpenBlocks(size_t count) {
  std::lock_guard lock(mutex_);
  blocks_.assign(count, {});
  shown_ = 0;
}

void OperationLog::PostInto(int block) {
  blocks_thread_ = std::this_thread::get_id();
  posting_into_ = block;
}

int OperationLog::PostingInto() const {
  return blocks_thread_.load() == std::this_thread::get_id() ? posting_into_ : kNoBlock;
}

void OperationLog::CloseBlock(int block) {
  std::function<void()> wakeup;
  {
    std::lock_guard lock(mutex_);
    if (block < 0 || static_cast<size_t>(block) >= blocks_.size()) return;
    blocks_[static_cast<size_t>(block)].closed = true;
    if (ShowClosedLocked()) wakeup = wakeup_;
  }
  if (wakeup) wakeup();
}

void OperationLog::EndBlocks() {
  std::function<void()> wakeup;
  {
    std::lock_guard lock(mutex_);
    for (Block& b : blocks_)
      b.closed = true;
    if (ShowClosedLocked()) wakeup = wakeup_;
    blocks_.clear();
    shown_ = 0;
  }
  PostInto(kNoBlock);
  if (wakeup) wakeup();
}

void OperationLog::FrameSent(std::span<const uint8_t> frame) {
  Post(" 发送数据：" + HexText(frame));
}

bool OperationLog::FrameSent(std::span<const uint8_t> frame, const std::function<bool()>& send) {
  const int block = PostingInto();
  BeforeLine(block);
  if (!send()) return false;
  PostLine(block, " 发送数据：" + HexText(frame));
  return true;
}

void OperationLog::BytesReceived(std::span<const uint8_t> bytes) {
  BytesReceived(bytes, PostingInto());
}

void OperationLog::BytesReceived(std::span<const uint8_t> bytes, int block) {
  PostTo(block, " 收到数据：" + HexText(bytes));
}

void OperationLog::ChannelFrame(std::span<const uint8_t> frame) {
  Post(" 打开通道：" + HexText(frame));
}

void OperationLog::ChannelSendFailed() {
  Post(" 打开通道数据发送失败");
}

void OperationLog::ChannelNotConfirmed() {
  Post(" 通道打开失败");
}

void OperationLog::Operation(int row, std::string_view name) {
  Post(" 操作类型：对第" + std::to_string(row) + "个设备的进行" + std::string(name) + "操作");
}

void OperationLog::OperationFinished(std::string_view name) {
  Post(" 操作类型：" + std::string(name) + "操作结束");
}

void OperationLog::OperationCancelled(std::string_view name) {
  Post(" 操作类型：" + std::string(name) + "操作已取消");
}

namespace {
const char* StartOrEnd(bool start) {
  return start ? "操作开始" : "操作结束";
}
}  // namespace

void OperationLog::CalibrationStep(int row, std::string_view flowPointName, bool start) {
  Post(" 操作类型：对第" + std::to_string(row) + "仪表的" + std::string(flowPointName) + "补偿" +
       StartOrEnd(start));
}

void OperationLog::CoefficientWrite(int row, int coefficient, bool start) {
  static constexpr const char* kNames[] = {"写系数一", "写系数二", "写系数三", "写系数四",
                                           "写系数五"};
  const int index = coefficient < 1 ? 0 : coefficient > 5 ? 4 : coefficient - 1;
  Post(" 操作类型：对第" + std::to_string(row) + "仪表进行" + kNames[index] + StartOrEnd(start));
}

void OperationLog::AddressRead(int row) {
  Post(" 操作类型：准备进行第" + std::to_string(row) + "个设备的读地址操作");
}

void OperationLog::AddressReadFinished() {
  Post(" 操作类型：读地址操作结束");
}

void OperationLog::SetWakeup(std::function<void()> wakeup) {
  std::lock_guard lock(mutex_);
  wakeup_ = std::move(wakeup);
}

std::vector<std::string> OperationLog::TakePending() {
  std::deque<std::string> taken;
  {
    std::lock_guard lock(mutex_);
    taken.swap(queue_);
  }
  return {std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end())};
}

size_t OperationLog::DeliverPending() {
  std::vector<std::string> lines = TakePending();
  for (const std::string& line : lines)
    NotifyMonitor(line);
  return lines.size();
}

void OperationLog::NotifyMonitor(const std::string& line) {
  message_text_ = line;
  if (sink_) sink_(message_text_);
}

void OperationLog::SetSink(Sink sink) {
  sink_ = std::move(sink);
}

uint64_t OperationLog::Dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace qv
