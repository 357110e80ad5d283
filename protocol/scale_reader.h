// The bench scale on its own line, read on a thread of its own so that
// nobody waits for it: the reader opens the scale's device with the
// scale's line settings, asks for a reading a few times a second (or, for a
// scale that sends unasked, listens) while readings are wanted, and reports
// each reading and each change of the link to a listener. A caller may also
// wait for one reading: any reading, or a stable one, within a time limit;
// the end of the wait is reported to the listener too.
//
// The listener runs on the reader's thread and must not block: a window
// hands what it gets to its own thread. Nothing else of the reader blocks:
// every member function returns at once, the destructor after at most one
// connection attempt (3 s for a serial device server).
//
//   ScaleReader reader(bench.Scale, {on_status, on_waited});
//   reader.SetLive(true);                     // window shown
//   const uint64_t id = reader.BeginWait(ScaleWaitKind::kStable, 10s);
//   reader.CancelWait(id);                    // Esc
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/bench_settings.h"
#include "protocol/scale_reading.h"
#include "serial/serial_device.h"

namespace qv {

// How the line to the scale stands.
enum class ScaleLink : uint8_t {
  kClosed,        // nothing tried yet
  kConnected,     // open, and the scale answered or may still answer
  kNotConnected,  // the device cannot be opened or set up, or it was lost
  kSilent,        // open, but no reply for ScaleTimings::Silent
};

struct ScaleStatus {
  ScaleLink Link = ScaleLink::kClosed;
  // kNotConnected: why, as the operation log words it
  // ("设备/dev/ttyUSB1不存在").
  std::string Problem;
  // The latest reading while connected, and the reply line it came from.
  std::optional<ScaleReading> Reading;
  std::string Line;
};

enum class ScaleWaitKind : uint8_t {
  kAny,     // the next reading, whatever it says
  kStable,  // the next stable reading in a known unit
};

enum class ScaleWaitEnd : uint8_t {
  kTaken,         // `Reading` is the reading waited for
  kNoStable,      // the time limit passed without one (last reading in `Reading`)
  kOverload,      // the scale reported an overload
  kUnderload,     // ... an underload
  kUnknownUnit,   // ... a unit that is not g, kg, t or lb
  kSilent,        // the scale did not answer
  kNotConnected,  // the line cannot be opened or was lost (`Problem` says why)
};

struct ScaleWaitResult {
  uint64_t Id = 0;
  ScaleWaitEnd End = ScaleWaitEnd::kSilent;
  std::optional<ScaleReading> Reading;
  std::string Line;
  std::string Problem;
};

// The reader's times.
struct ScaleTimings {
  // While readings are wanted, a request goes out this often: four
  // readings a second, twice what a live display needs. At 1200 baud an SBI
  // exchange (2 characters out, 22 back, 10 bits each) takes 200 ms, so
  // the line still has room.
  std::chrono::milliseconds RequestPeriod{250};
  // A request unanswered this long is sent again; a scale answers within a
  // few character times.
  std::chrono::milliseconds ReplyWait{1000};
  // A reply without a line end is complete after this much silence: more
  // than ten character times at 1200 baud (8.3 ms each).
  std::chrono::milliseconds LineGap{100};
  // No reply for this long: the scale counts as silent.
  std::chrono::milliseconds Silent{3000};
  // A line that cannot be opened is tried again this often while wanted.
  std::chrono::milliseconds Reconnect{2000};
};

class ScaleReader {
 public:
  struct Listener {
    std::function<void(const ScaleStatus&)> Status;
    std::function<void(const ScaleWaitResult&)> Waited;
  };

  // Starts the reader's thread; the line is opened once readings are wanted
  // or waited for.
  ScaleReader(ScaleSettings settings, Listener listener, ScaleTimings timings = {});
  ~ScaleReader();
  ScaleReader(const ScaleReader&) = delete;
  ScaleReader& operator=(const ScaleReader&) = delete;

  const ScaleSettings& Settings() const { return settings_; }
  // Whether live readings are wanted (a window showing them is visible).
  // Without live readings and waits the line stays open and quiet.
  void SetLive(bool live);
  // Begins a wait of at most `limit`; its end is reported with the id
  // returned.
  uint64_t BeginWait(ScaleWaitKind kind, std::chrono::milliseconds limit);
  // Ends the wait without a report. A wait that ended at the same moment
  // may still be reported: a caller ignores ids it no longer waits for.
  void CancelWait(uint64_t id);
  ScaleStatus Status() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Wait {
    uint64_t Id;
    ScaleWaitKind Kind;
    Clock::time_point Start;
    Clock::time_point Deadline;
    std::optional<ScaleReading> Last;
    std::string LastLine;
  };

  void Run();
  bool Wanted() const { return live_ || !waits_.empty(); }
  // Opens the line; false (reported) when it cannot be.
  bool Connect();
  void Disconnect(std::string problem);
  void HandleLine(std::string_view line, Clock::time_point now);
  // Ends the waits `decide` gives an end for, and reports them.
  template <class Decide>
  void EndWaits(Decide&& decide);
  void PublishStatus(ScaleStatus status);

  const ScaleSettings settings_;
  const ScaleFormat& format_;
  const Listener listener_;
  const ScaleTimings timings_;

  mutable std::mutex mu_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool live_ = false;
  bool retry_ = false;  // a line that could not be opened is tried again at once
  uint64_t next_id_ = 1;
  std::vector<Wait> waits_;
  ScaleStatus status_;
  SerialDevice* device_ = nullptr;  // the open line, for Stop from the destructor

  // The reader thread's own.
  std::unique_ptr<SerialDevice> line_;
  std::string last_unit_ = "kg";
  Clock::time_point last_reply_{};
  bool awaiting_ = false;

  std::thread thread_;
};

}  // namespace qv
