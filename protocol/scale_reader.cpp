#include "protocol/scale_reader.h"

#include <algorithm>
#include <array>

#include "serial/device_access.h"
#include "serial/line_open.h"

namespace qv {
namespace {

// The longest the thread blocks on the line at once, so that a change of
// what is wanted, a wait's deadline and the silence of the scale are seen
// within a quarter of a second.
constexpr std::chrono::milliseconds kLongestRead{250};

// The end of a stable wait that `r` decides at once, if any.
std::optional<ScaleWaitEnd> StableWaitEnd(const ScaleReading& r) {
  if (r.Stable()) return ScaleWaitEnd::kTaken;
  if (r.State == ScaleState::kOverload) return ScaleWaitEnd::kOverload;
  if (r.State == ScaleState::kUnderload) return ScaleWaitEnd::kUnderload;
  if (r.Error == ScaleError::kUnknownUnit) return ScaleWaitEnd::kUnknownUnit;
  return std::nullopt;  // moving, busy or a passing error: wait on
}

}  // namespace

ScaleReader::ScaleReader(ScaleSettings settings, Listener listener, ScaleTimings timings)
    : settings_(std::move(settings)),
      format_(ScaleFormatOf(settings_.Protocol)),
      listener_(std::move(listener)),
      timings_(timings),
      thread_([this] { Run(); }) {}

ScaleReader::~ScaleReader() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
    if (device_) device_->Stop();
  }
  wake_.notify_all();
  thread_.join();
}

void ScaleReader::SetLive(bool live) {
  {
    std::lock_guard lock(mu_);
    live_ = live;
    retry_ = live;
  }
  wake_.notify_all();
}

uint64_t ScaleReader::BeginWait(ScaleWaitKind kind, std::chrono::milliseconds limit) {
  uint64_t id = 0;
  {
    std::lock_guard lock(mu_);
    id = next_id_++;
    const Clock::time_point now = Clock::now();
    waits_.push_back({id, kind, now, now + limit, std::nullopt, {}});
    retry_ = true;
  }
  wake_.notify_all();
  return id;
}

void ScaleReader::CancelWait(uint64_t id) {
  std::lock_guard lock(mu_);
  std::erase_if(waits_, [&](const Wait& w) { return w.Id == id; });
}

ScaleStatus ScaleReader::Status() const {
  std::lock_guard lock(mu_);
  return status_;
}

void ScaleReader::PublishStatus(ScaleStatus status) {
  {
    std::lock_guard lock(mu_);
    status_ = status;
  }
  if (listener_.Status) listener_.Status(status);
}

template <class Decide>
void ScaleReader::EndWaits(Decide&& decide) {
  std::vector<ScaleWaitResult> ended;
  {
    std::lock_guard lock(mu_);
    std::erase_if(waits_, [&](Wait& w) {
      std::optional<ScaleWaitResult> r = decide(w);
      if (!r) return false;
      r->Id = w.Id;
      ended.push_back(std::move(*r));
      return true;
    });
  }
  if (listener_.Waited) {
    for (const ScaleWaitResult& r : ended)
      listener_.Waited(r);
  }
}

bool ScaleReader::Connect() {
  const std::string& path = settings_.Device;
  const LineSettings line = ToLineSettings(settings_.Line());
  OpenedLine opened = OpenLine(path, line);
  if (!opened.Device) {
    Disconnect(opened.Failure == LineOpenFailure::kOpen
                   ? DeviceOpenProblem(path)
                   : "设备" + path + "无法设为" + LineSettingsText(line) + "（不是串口？）");
    return false;
  }
  {
    std::lock_guard lock(mu_);
    line_ = std::move(opened.Device);
    device_ = line_.get();
    if (stopping_) device_->Stop();
  }
  last_reply_ = Clock::now();
  awaiting_ = false;
  PublishStatus({ScaleLink::kConnected, {}, std::nullopt, {}});
  return true;
}

void ScaleReader::Disconnect(std::string problem) {
  {
    std::lock_guard lock(mu_);
    device_ = nullptr;
  }
  line_.reset();
  PublishStatus({ScaleLink::kNotConnected, problem, std::nullopt, {}});
  EndWaits([&](const Wait&) {
    return std::optional<ScaleWaitResult>({0, ScaleWaitEnd::kNotConnected, {}, {}, problem});
  });
}

void ScaleReader::HandleLine(std::string_view line, Clock::time_point now) {
  const std::optional<ScaleReading> reading = format_.Decode(line, last_unit_);
  if (!reading) return;  // noise, an echo, a torn line
  if (!reading->Unit.empty() && KgPerUnit(reading->Unit)) last_unit_ = reading->Unit;
  last_reply_ = now;
  awaiting_ = false;
  PublishStatus({ScaleLink::kConnected, {}, reading, std::string(line)});
  EndWaits([&](Wait& w) -> std::optional<ScaleWaitResult> {
    w.Last = reading;
    w.LastLine = line;
    if (w.Kind == ScaleWaitKind::kAny)
      return ScaleWaitResult{0, ScaleWaitEnd::kTaken, reading, std::string(line), {}};
    const std::optional<ScaleWaitEnd> end = StableWaitEnd(*reading);
    if (!end) return std::nullopt;
    return ScaleWaitResult{0, *end, reading, std::string(line), {}};
  });
}

void ScaleReader::Run() {
  ScaleLineSplitter splitter;
  Clock::time_point next_request{}, request_sent{}, last_byte{};
  std::array<uint8_t, 256> buf{};
  for (;;) {
    bool resumed = false;
    {
      std::unique_lock lock(mu_);
      if (!stopping_ && !Wanted()) {
        resumed = true;
        wake_.wait(lock, [&] { return stopping_ || Wanted(); });
      }
      if (stopping_) break;
    }
    Clock::time_point now = Clock::now();
    if (!line_) {
      if (!Connect()) {
        std::unique_lock lock(mu_);
        retry_ = false;
        wake_.wait_for(lock, timings_.Reconnect, [&] { return stopping_ || retry_; });
        continue;
      }
      next_request = now;
      splitter.TakeRest();
    } else if (resumed) {
      // What came while nobody listened is old news.
      line_->Purge(PurgeQueue::kInput);
      splitter.TakeRest();
      last_reply_ = now;
      awaiting_ = false;
      next_request = now;
    }
    const std::string_view request = format_.Request;
    if (!request.empty() && now >= next_request &&
        (!awaiting_ || now - request_sent >= timings_.ReplyWait)) {
      const auto bytes =
          std::span(reinterpret_cast<const uint8_t*>(request.data()), request.size());
      const WriteResult w = line_->Write(bytes);
      if (w.Status == WriteStatus::kStopped) break;
      if (w.Status == WriteStatus::kFailed) {
        Disconnect("设备" + settings_.Device + "连接中断");
        continue;
      }
      awaiting_ = true;
      request_sent = now;
      next_request = now + timings_.RequestPeriod;
    }
    Clock::time_point until = now + kLongestRead;
    if (!request.empty())
      until = std::min(until, awaiting_ ? request_sent + timings_.ReplyWait : next_request);
    if (splitter.HasPending()) until = std::min(until, last_byte + timings_.LineGap);
    const auto wait = std::max(std::chrono::ceil<std::chrono::milliseconds>(until - now),
                               std::chrono::milliseconds(1));
    const ReadResult r = line_->Read(buf, wait);
    now = Clock::now();
    if (r.Status == ReadStatus::kStopped) break;
    if (r.Status == ReadStatus::kFailed) {
      Disconnect("设备" + settings_.Device + "连接中断");
      continue;
    }
    if (r.Status == ReadStatus::kData) {
      last_byte = now;
      splitter.Feed(std::string_view(reinterpret_cast<const char*>(buf.data()), r.Count),
                    [&](std::string_view line) { HandleLine(line, now); });
    } else if (splitter.HasPending() && now - last_byte >= timings_.LineGap) {
      HandleLine(splitter.TakeRest(), now);
    }
    const bool silent = now - last_reply_ >= timings_.Silent;
    if (silent && Status().Link == ScaleLink::kConnected) {
      PublishStatus({ScaleLink::kSilent, {}, std::nullopt, {}});
    }
    EndWaits([&](const Wait& w) -> std::optional<ScaleWaitResult> {
      if (now - std::max(last_reply_, w.Start) >= timings_.Silent || (now >= w.Deadline && !w.Last))
        return ScaleWaitResult{0, ScaleWaitEnd::kSilent, {}, {}, {}};
      if (now >= w.Deadline)
        return ScaleWaitResult{0, ScaleWaitEnd::kNoStable, w.Last, w.LastLine, {}};
      return std::nullopt;
    });
  }
  std::lock_guard lock(mu_);
  device_ = nullptr;
}

}  // namespace qv
