#include "serial/serial_port.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "serial/device_access.h"
#include "serial/line_open.h"

namespace qv {
namespace {

// Log texts of a thread that ended on an I/O failure, after " 串口COMn".
constexpr std::string_view kReaderStoppedText = "读取已停止";
constexpr std::string_view kWriterStoppedText = "写入已停止";

std::string StoppedLine(const std::string& port_name, std::string_view what) {
  std::string line = " 串口";
  line += port_name;
  line += what;
  return line;
}

// How many received bytes a port logs in a second: twice what its line
// carries (11 bits a character), at least a whole receive ring (8192). A device that sends more is
// no meter on a serial line (noise, a server streaming without end): all
// its bytes still reach the ring, but the log, and so the monitor and the
// user interface behind it, gets only this many, and then one line saying
// how many it left out.
class LogBudget {
 public:
  using Clock = std::chrono::steady_clock;
  explicit LogBudget(uint32_t baud) : per_second_(std::max<size_t>(kRecvBufSize, baud / 11 * 2)) {}

  // Of `count` bytes that arrive now, how many go to the log.
  size_t Take(size_t count) {
    const auto now = Clock::now();
    if (now - second_ >= std::chrono::seconds(1)) {
      second_ = now;
      used_ = 0;
    }
    const size_t n = std::min(count, per_second_ - used_);
    used_ += n;
    skipped_ += count - n;
    return n;
  }
  // The bytes left out since they were last told, once a second while the
  // stream goes on, or at once when `ended`.
  size_t TakeSkipped(bool ended) {
    const auto now = Clock::now();
    if (skipped_ == 0 || (!ended && now - told_ < std::chrono::seconds(1))) return 0;
    told_ = now;
    return std::exchange(skipped_, 0);
  }

 private:
  const size_t per_second_;
  Clock::time_point second_{};
  Clock::time_point told_{};
  size_t used_ = 0;
  size_t skipped_ = 0;
};

}  // namespace

TSerialPort::TSerialPort(RecvRing& ring, OperationLog& log) : ring_(ring), log_(log) {}

TSerialPort::~TSerialPort() {
  Close();
}

void TSerialPort::SetPortNumber(uint8_t n) {
  if (n == 0 || n == port_number_) return;
  port_number_ = n;
  port_name_ = "COM" + std::to_string(n);
}

void TSerialPort::SetDevicePath(std::string path) {
  device_path_ = std::move(path);
}

std::string TSerialPort::DevicePath() const {
  return device_path_.empty() ? DefaultDevicePath(port_number_) : device_path_;
}

bool TSerialPort::Open() {
  if (device_) return false;
  // Whoever asked (start-up, the settings window, a reopen before an
  // operation), the log says why, so that the operator can mend it.
  const std::string path = DevicePath();
  OpenedLine opened = OpenLine(path, line_);
  if (opened.Failure == LineOpenFailure::kOpen) {
    log_.Post(" 串口" + port_name_ + "打开失败：" + DeviceOpenProblem(path));
    return false;
  }
  if (opened.Failure == LineOpenFailure::kConfigure) {
    log_.Post(" 串口" + port_name_ + "打开失败：设备" + path + "无法设为" + LineSettingsText(line_) +
              "（不是串口？）");
    return false;
  }
  std::unique_ptr<SerialDevice> device = std::move(opened.Device);
  // Bytes that arrive from here on wait in the driver until the reader
  // takes them.
  {
    std::lock_guard lock(queue_mutex_);
    queue_.clear();
    stopping_ = false;
    accepting_ = true;  // the queue takes blocks before the writer runs
  }
  device_ = std::move(device);
  SerialDevice& dev = *device_;
  reader_running_ = true;
  try {
    reader_ = std::thread(&TSerialPort::ReadLoop, this, std::ref(dev), port_name_);
  } catch (const std::system_error&) {
    reader_running_ = false;
    StopThreads();
    throw std::runtime_error("Unable to create read thread!");
  }
  writer_running_ = true;
  try {
    writer_ = std::thread(&TSerialPort::WriteLoop, this, std::ref(dev), port_name_);
  } catch (const std::system_error&) {
    writer_running_ = false;
    StopThreads();
    throw std::runtime_error("Unable to create write thread!");
  }
  active_ = true;
  return true;
}

void TSerialPort::Close() {
  if (!device_) return;
  StopThreads();
}

// Signals both threads, waits for them and releases the device. Neither
// thread waits for anything but the line, its queue and the stop signal
// (the log hand-over never blocks), so both end at once.
void TSerialPort::StopThreads() {
  device_->Stop();
  {
    std::lock_guard lock(queue_mutex_);
    stopping_ = true;
    accepting_ = false;
    queue_.clear();
  }
  queue_cv_.notify_all();
  if (reader_.joinable()) reader_.join();
  if (writer_.joinable()) writer_.join();
  // Dropping unsent output also keeps close() from waiting for it to drain.
  device_->Purge(PurgeQueue::kBoth);
  device_->Close();
  device_.reset();
  active_ = false;
}

bool TSerialPort::WriteCommData(const uint8_t* data, uint32_t count) {
  if (count == 0 || data == nullptr) return false;
  std::vector<uint8_t> block(data, data + count);
  {
    std::lock_guard lock(queue_mutex_);
    if (!accepting_) return false;
    queue_.push_back(std::move(block));
  }
  queue_cv_.notify_one();
  return true;
}

void TSerialPort::ReadLoop(SerialDevice& device, std::string port_name) {
  std::vector<uint8_t> chunk(kInQueueSize);
  size_t block = 0;  // bytes of the block now being received
  LogBudget budget(line_.BaudRate);
  // Logs the block so far, and how much the budget left out of the log.
  const auto flush = [&](bool ended) {
    FlushReceived();
    if (const size_t skipped = budget.TakeSkipped(ended)) {
      log_.Post(" 串口" + port_name + "收到数据过快：" + std::to_string(skipped) +
                "字节未记入日志");
    }
  };
  for (;;) {
    // No block begun: wait for the line without limit (an idle port costs
    // nothing). A block begun: it ends after kReadInterval of silence.
    std::optional<std::chrono::milliseconds> wait;
    if (block > 0) wait = kReadInterval;
    // A block is at most kInQueueSize bytes: the read never runs past it.
    ReadResult r = device.Read(std::span<uint8_t>(chunk).first(kInQueueSize - block), wait);
    if (r.Status == ReadStatus::kData) {
      const std::span<const uint8_t> bytes(chunk.data(), r.Count);
      // Kept for the log before the ring gets them: whatever the user
      // interface sees in the ring, a flush of the log will find.
      const size_t logged = budget.Take(bytes.size());
      {
        std::lock_guard lock(received_mutex_);
        received_.insert(received_.end(), bytes.begin(), bytes.begin() + logged);
      }
      ring_.Append(bytes);
      block += r.Count;
      if (block >= kInQueueSize) {
        flush(false);
        block = 0;
      }
      // Past the budget the line is no meter's: the reader takes a breath
      // after each read, so the stream costs little processor time (a
      // server then waits for the connection to take more) and the stop
      // still ends the thread at once.
      if (logged < bytes.size()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    flush(true);
    block = 0;
    if (r.Status == ReadStatus::kTimeout) continue;
    if (r.Status == ReadStatus::kFailed) {
      // The line is gone (an adapter pulled, a hang-up): nothing more is
      // taken for sending, so no frame is reported sent that never left.
      {
        std::lock_guard lock(queue_mutex_);
        accepting_ = false;
        queue_.clear();
      }
      log_.Post(StoppedLine(port_name, kReaderStoppedText));
    }
    reader_running_ = false;
    return;
  }
}

void TSerialPort::FlushReceived() {
  // Held while logging, so that the reader's flush and one from the user
  // interface keep the order of the bytes. Recursive: the log line itself
  // flushes every port first when it comes from the user interface thread,
  // which then finds nothing left here.
  std::lock_guard order(flush_mutex_);
  std::vector<uint8_t> bytes;
  {
    std::lock_guard lock(received_mutex_);
    bytes.swap(received_);
  }
  if (!bytes.empty()) log_.BytesReceived(bytes);
}

void TSerialPort::WriteLoop(SerialDevice& device, std::string port_name) {
  for (;;) {
    std::vector<uint8_t> block;
    {
      std::unique_lock lock(queue_mutex_);
      // Waits without limit: an idle port's writer sleeps until a block or
      // the stop arrives.
      queue_cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) break;
      block = std::move(queue_.front());
      queue_.pop_front();
    }
    WriteResult r = device.Write(block);
    if (r.Status == WriteStatus::kStopped) break;
    if (r.Status == WriteStatus::kFailed) {
      {
        std::lock_guard lock(queue_mutex_);
        accepting_ = false;
        queue_.clear();
      }
      log_.Post(StoppedLine(port_name, kWriterStoppedText));
      break;
    }
  }
  writer_running_ = false;
}

}  // namespace qv
