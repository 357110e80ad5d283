// The operation log: one time-stamped Chinese line per operation, frame sent
// and block received. Producers on any thread (the user-interface thread and
// every port's reader) build a whole line and push it into a queue in one
// step; the user-interface side drains the queue and hands each line to the
// monitor. A producer never waits for the consumer: when nobody drains, the
// oldest lines are dropped and counted.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qv {

using WallClock = std::function<std::chrono::system_clock::time_point()>;

// "[yyyy-MM-dd hh:mm:ss]" of `t` in local time, 24-hour, two-digit fields.
std::string LogStamp(std::chrono::system_clock::time_point t);

class OperationLog {
 public:
  using Sink = std::function<void(const std::string& line)>;

  // Lines kept while nobody drains: far more than a monitor shows (101).
  static constexpr size_t kDefaultCapacity = 4096;

  explicit OperationLog(size_t capacity = kDefaultCapacity);
  OperationLog(const OperationLog&) = delete;
  OperationLog& operator=(const OperationLog&) = delete;

  void SetClock(WallClock clock);

  // --- producers, any thread -------------------------------------------
  // Stamps `text` and queues the line. `text` starts with its own blank.
  void Post(std::string_view text);
  void FrameSent(std::span<const uint8_t> frame);      // " 发送数据：" FE FE ...
  void BytesReceived(std::span<const uint8_t> block);  // " 收到数据：" ...
  void ChannelFrame(std::span<const uint8_t> frame);   // " 打开通道：" ...
  void ChannelSendFailed();                            // " 打开通道数据发送失败"
  void ChannelNotConfirmed();                          // " 通道打开失败"
  // " 操作类型：对第" n "个设备的进行" name "操作"; `row` is 1-based.
  void Operation(int row, std::string_view name);
  // " 操作类型：" name "操作结束"
  void OperationFinished(std::string_view name);
  // " 操作类型：" name "操作已取消": the operator cancelled it.
  void OperationCancelled(std::string_view name);
  // " 操作类型：对第" n "仪表的" point "补偿" "操作开始"/"操作结束"
  void CalibrationStep(int row, std::string_view flowPointName, bool start);
  // " 操作类型：对第" n "仪表进行" "写系数一".."写系数五" "操作开始"/"操作结束"
  void CoefficientWrite(int row, int coefficient, bool start);
  // " 操作类型：准备进行第" n "个设备的读地址操作"
  void AddressRead(int row);
  // " 操作类型：读地址操作结束"
  void AddressReadFinished();

  // Called by a producer when the queue turns non-empty; it must not block
  // (the user interface posts itself an event and drains later).
  void SetWakeup(std::function<void()> wakeup);
  // Runs before every line posted from the thread that sets it (the user
  // interface): the ports log what they received so far, so the lines keep
  // the order in which things happened. Not run for the lines it posts.
  void SetBeforeLine(std::function<void()> hook);

  // --- consumer, user-interface thread ----------------------------------
  std::vector<std::string> TakePending();
  // Takes every queued line and delivers each through `NotifyMonitor`.
  size_t DeliverPending();
  // Sets `MessageText` to the line and hands it to the sink; with no sink
  // registered the line is dropped.
  void NotifyMonitor(const std::string& line);
  void SetSink(Sink sink);
  bool HasSink() const { return static_cast<bool>(sink_); }
  // The last line delivered.
  const std::string& MessageText() const { return message_text_; }
  // Lines dropped because the queue was full.
  uint64_t Dropped() const;

 private:
  void Push(std::string line);

  const size_t capacity_;
  WallClock clock_;
  mutable std::mutex mutex_;
  std::deque<std::string> queue_;
  uint64_t dropped_ = 0;
  std::function<void()> wakeup_;
  std::function<void()> before_line_;
  std::atomic<std::thread::id> before_line_thread_{};
  bool in_before_line_ = false;  // touched by that thread only
  Sink sink_;
  std::string message_text_;
};

}  // namespace qv
