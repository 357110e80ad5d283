// A virtual bench: meters (and, on a channel-wired bench, the channel switch)
// behind pseudo-terminals or loopback TCP ports (as behind serial device
// servers), served by one thread of its own. Everything lives
// in the object: two benches can run side by side in one process.
//
//   VirtualBench bench(options);
//   std::string error;
//   if (!bench.Start(error)) ...;
//   bench.DevicePaths();   // open these as the serial devices
//   bench.Meter(0);        // a meter's state
//   bench.Received();      // what the bench heard
//   bench.Stop();          // also done by the destructor
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/lib/channel_switch.h"
#include "sim/lib/meter.h"
#include "sim/lib/sim_line.h"
#include "sim/lib/sim_scale.h"

namespace qv::sim {

inline constexpr int kMaxMeters = 20;

enum class Wiring {
  kSingle,   // every meter on one line; the addressed meter answers
  kMulti,    // one line per meter
  kChannel,  // one line behind the 16-channel switch
};
std::string_view WiringText(Wiring w);  // "single", "multi", "channel"
std::optional<Wiring> ParseWiring(std::string_view text);

struct MeterSetup {
  std::string address;  // empty: the default address of the position
  MeterKind kind = MeterKind::kHeat;
  ProtocolVersion protocol = ProtocolVersion::kV202;
  MeterFaults faults;
};

// What was done to one reply on its way out, when faults are injected.
enum class ReplyFault {
  kNone,
  kSilent,           // not sent at all
  kBadSum,           // checksum byte off by one
  kMissingEnd,       // the 0x16 is not sent
  kSplit,            // sent in two writes with a pause between
  kNoise,            // noise and FE wake bytes before the 0x68
  kCorruptedLength,  // the L byte changed on the line (the checksum not)
};
inline constexpr ReplyFault kReplyFaults[] = {
    ReplyFault::kSilent, ReplyFault::kBadSum,     ReplyFault::kNoise,
    ReplyFault::kSplit,  ReplyFault::kMissingEnd, ReplyFault::kCorruptedLength};
std::string_view ReplyFaultText(ReplyFault f);  // "none", "silent", "bad sum" ...
// Whether a reply so treated still reaches the program whole and correct.
constexpr bool DeliversCorrectReply(ReplyFault f) {
  return f == ReplyFault::kNone || f == ReplyFault::kSplit || f == ReplyFault::kNoise;
}

// Faults injected into a share of all replies (the meters' and the
// switch's), drawn from a generator seeded with `seed`: the same requests
// meet the same faults. None by default.
struct FaultInjection {
  double rate = 0;  // 0.1: one reply in ten
  uint64_t seed = 1;
  std::vector<ReplyFault> kinds{std::begin(kReplyFaults), std::end(kReplyFaults)};
};

// One reply the bench produced, and what was done to it.
struct SentReply {
  int meter = 0;  // position, -1 = the switch
  ReplyFault fault = ReplyFault::kNone;
};

struct BenchOptions {
  Wiring wiring = Wiring::kSingle;
  // Meters 1..20 (1..16 behind the switch); position i gets meters[i] when
  // given, else a default set-up.
  int meter_count = 1;
  std::vector<MeterSetup> meters;
  // Default address of position i: first_address + i in decimal digits; a
  // "TG" meter gets "111100" followed by the last eight of those digits.
  uint64_t first_address = 2024000001;
  uint64_t seed = 1;
  double error_spread = 0.02;  // systematic errors within ±2 %
  // Heat calculation errors within ±this; none by default, so that a
  // meter's heat error is what its flow sensor and probes make of it
  // (bench-sim itself draws them within ±1 %).
  double heat_error_spread = 0;
  bool pacing = false;  // replies at the speed of 2400 baud 8E1
  bool switch_silent = false;
  FaultInjection injected;
  // Lines on TCP ports of 127.0.0.1 instead of pseudo-terminals: line i on
  // `*tcp_port` + i, or each on a free port when it is 0.
  std::optional<uint16_t> tcp_port;
  // The bench's wall clock; defaults to local time.
  std::function<CivilTime()> clock;
  // A weighing scale speaking this protocol on a line of its own (on a TCP
  // line, the port after the meters' lines); none by default.
  std::optional<ScaleProtocol> scale;
  ScaleFault scale_fault = ScaleFault::kNone;
  // How long the water of one run takes to flow into the tank.
  std::chrono::milliseconds scale_fill{3000};
};

// One frame (or bad frame) that reached a line.
struct ReceivedFrame {
  int port = 0;              // index into DevicePaths()
  Bytes bytes;               // from the 0x68
  bool valid = false;        // false: wrong end byte or checksum, ignored
  std::vector<int> answers;  // meters (by position) that answered; -1 = switch
};

// One meter answering a bench read: what an operator needs to type into the
// detection windows to check it (the bench's own temperatures, not what the
// meter's probes read), and what the meter reported.
struct FlowReadEvent {
  int meter = 0;
  std::string address;
  int flow_point = 1;
  double reference_litres = 0;
  double mass_kg = 0;
  double meter_litres = 0;
  double inlet_c = 0;
  double outlet_c = 0;
  double fluid_c = 0;
  double meter_kwh = 0;
};

class VirtualBench {
 public:
  explicit VirtualBench(BenchOptions options);
  ~VirtualBench();
  VirtualBench(const VirtualBench&) = delete;
  VirtualBench& operator=(const VirtualBench&) = delete;

  // Checks the options, creates the lines and starts serving them.
  bool Start(std::string& error);
  void Stop();

  // Called on the bench thread for every answered bench read. Set before
  // Start.
  void OnFlowRead(std::function<void(const FlowReadEvent&)> callback);

  // The devices the program opens, one per line: one for single and channel
  // wiring, one per meter for multi (slave paths, or "tcp:127.0.0.1:PORT").
  std::vector<std::string> DevicePaths() const;
  // Line index of meter `i`.
  int PortOfMeter(int i) const;
  int MeterCount() const { return static_cast<int>(meters_.size()); }
  Wiring GetWiring() const { return options_.wiring; }

  MeterState Meter(int i) const;
  void UpdateMeter(int i, const std::function<void(MeterState&)>& change);
  void SetFaults(int i, const MeterFaults& faults);
  void SetSwitchSilent(bool silent);
  std::optional<int> ConnectedChannel() const;
  // TCP lines drop their connections, as a server losing its network does.
  void DropConnections();

  BenchConditions Conditions() const;
  void SetConditions(const BenchConditions& conditions);
  // Switches the flow point (1..5); on a bench with a scale the water of
  // that point begins to run into the tank.
  void SetFlowPoint(int point);

  // The scale's device ("" without a scale) and what it speaks.
  std::string ScaleDevicePath() const;
  std::optional<ScaleProtocol> SpokenScaleProtocol() const { return options_.scale; }
  void SetScaleFault(ScaleFault fault);
  // The water of the current flow point begins to run into the tank, as a
  // StartTest does when no meter's test is running yet.
  void StartScaleRun();
  // The net mass the scale will show once the water has settled.
  double ScaleSettledKg() const;

  std::vector<ReceivedFrame> Received() const;
  // Frames (good and bad) received since the start.
  size_t ReceivedCount() const;
  // Replies produced since the start (the silent ones too), and those from
  // number `first` on (as far as they are still kept).
  size_t SentCount() const;
  std::vector<SentReply> SentSince(size_t first) const;
  // Waits until at least `count` frames have been received.
  bool WaitReceived(size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Port;
  struct ScalePort;
  struct SimMeter {
    MeterState state;
    MeterFaults faults;
  };

  bool BuildMeters(std::string& error);
  void Run();
  void ReadPort(size_t port, SteadyTime now, std::vector<FlowReadEvent>& events);
  void Deliver(size_t port, const SimFrame& frame, SteadyTime now,
               std::vector<FlowReadEvent>& events);
  std::vector<int> MetersHearing(size_t port) const;
  // Sends a reply of `meter` (-1: the switch) with its faults and any
  // injected one; false when nothing went out.
  bool SendReply(size_t port, int meter, MeterFaults faults, Bytes reply, SteadyTime now);
  void Record(ReceivedFrame frame);
  void HandleNotify();
  int PollTimeoutMs(SteadyTime now) const;
  void StartScaleRunLocked(SteadyTime now);
  void ServeScale(short revents, short listen_revents, SteadyTime now);

  BenchOptions options_;
  std::vector<std::unique_ptr<Port>> ports_;
  std::unique_ptr<ScalePort> scale_;
  std::vector<SimMeter> meters_;
  ChannelSwitch switch_;
  BenchConditions conditions_;
  std::function<void(const FlowReadEvent&)> on_flow_read_;

  mutable std::mutex mu_;
  mutable std::condition_variable received_cv_;
  std::deque<ReceivedFrame> received_;
  size_t received_count_ = 0;
  std::deque<SentReply> sent_;
  size_t sent_count_ = 0;
  std::mt19937_64 fault_rng_;

  int stop_fd_ = -1;
  int notify_fd_ = -1;
  std::thread thread_;
};

}  // namespace qv::sim
