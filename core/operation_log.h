// The operation log: one time-stamped Chinese line per operation, frame sent
// and block received. Producers on any thread (the user-interface thread and
// every port's reader) build a whole line and push it into a queue in one
// step; the user-interface side drains the queue and hands each line to the
// monitor. A producer never waits for the consumer: when nobody drains, the
// oldest lines are dropped and counted.
//
// While rows on different lines are served at the same time, each row's
// lines are gathered in a block of their own and the blocks reach the queue
// whole, in row order:
//
//   OpenBlocks(3)    rows served in the order 0, 1, 2
//   row 1 done       CloseBlock(1): held, row 0 is still being served
//   row 0 done       CloseBlock(0): blocks 0 and 1 are queued
//   EndBlocks()      block 2 (done or not) is queued; lines go straight on
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

  // No block: a line goes to the queue at once.
  static constexpr int kNoBlock = -1;

  void SetClock(WallClock clock);

  // --- producers, any thread -------------------------------------------
  // Stamps `text` and queues the line, or holds it in the block the posting
  // thread writes into (see `PostInto`). `text` starts with its own blank.
  void Post(std::string_view text);
  // The same into block `block` (kNoBlock, or one already shown: queued).
  void PostTo(int block, std::string_view text);
  void FrameSent(std::span<const uint8_t> frame);  // " 发送数据：" FE FE ...
  // The same for a frame `send` hands to a port, once it has (true): what
  // the ports received before is logged before the line, and a reply that
  // comes back at once after it.
  bool FrameSent(std::span<const uint8_t> frame, const std::function<bool()>& send);
  void BytesReceived(std::span<const uint8_t> bytes);  // " 收到数据：" ...
  void BytesReceived(std::span<const uint8_t> bytes, int block);
  void ChannelFrame(std::span<const uint8_t> frame);  // " 打开通道：" ...
  void ChannelSendFailed();                           // " 打开通道数据发送失败"
  void ChannelNotConfirmed();                         // " 通道打开失败"
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
  // interface), with the block the line goes to: the ports writing into
  // that block log what they received so far, so the lines keep the order
  // in which things happened. Not run for the lines it posts.
  void SetBeforeLine(std::function<void(int block)> hook);

  // --- blocks, user-interface thread -------------------------------------
  // Starts `count` blocks, numbered in the order they are shown. Block b
  // is queued whole once it and every block before it are closed.
  void OpenBlocks(size_t count);
  // Lines this thread posts go into `block` from now on (kNoBlock: to the
  // queue as usual).
  void PostInto(int block);
  // The block this thread's lines go into.
  int PostingInto() const;
  // The row of `block` is done: the block is shown as soon as those before
  // it are. A line posted into it later follows it.
  void CloseBlock(int block);
  // Shows every block not shown yet, in order, and ends the blocks.
  void EndBlocks();

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
  // A block and the lines it holds until it is shown.
  struct Block {
    std::deque<std::string> lines;
    bool closed = false;
  };

  // Runs the before-line hook for a line into `block` (on its thread only).
  void BeforeLine(int block);
  // Stamps `text` and queues it or holds it in `block`.
  void PostLine(int block, std::string_view text);
  // Under the lock: queues the line; true when the queue turned non-empty.
  bool PushLocked(std::string line);
  // Under the lock: queues every closed block from the first not shown yet.
  bool ShowClosedLocked();

  const size_t capacity_;
  WallClock clock_;
  mutable std::mutex mutex_;
  std::deque<std::string> queue_;
  uint64_t dropped_ = 0;
  std::function<void()> wakeup_;
  std::function<void(int block)> before_line_;
  std::atomic<std::thread::id> before_line_thread_{};
  bool in_before_line_ = false;  // touched by that thread only
  std::vector<Block> blocks_;    // under the lock
  size_t shown_ = 0;             // blocks before this one are queued
  std::atomic<std::thread::id> blocks_thread_{};
  int posting_into_ = kNoBlock;  // touched by that thread only
  Sink sink_;
  std::string message_text_;
};

}  // namespace qv
