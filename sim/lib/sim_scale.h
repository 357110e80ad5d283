// The bench's weighing scale as the virtual bench plays it: a tank whose net
// mass follows the bench, and the three line formats it can speak, written
// here from the formats themselves (not shared with the program's decoders,
// which it checks).
//
// A run of a flow point fills the tank with the reference mass of that
// point's water: the mass rises over `fill`, stays moving for a second after
// the water stops, then stands still at the old mass plus the delivered
// one, to the gram. While it moves the readings carry a little noise.
// Injected faults: a silent scale, a scale in overload, a scale that never
// becomes stable.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/bench_settings.h"
#include "sim/lib/meter_model.h"
#include "sim/lib/sim_line.h"

namespace qv::sim {

enum class ScaleFault { kNone, kSilent, kOverload, kUnstable };
// "none", "silent", "overload", "unstable".
std::string_view ScaleFaultText(ScaleFault fault);
std::optional<ScaleFault> ParseScaleFault(std::string_view text);

class SimScale {
 public:
  // The water stops this long before the reading becomes stable.
  static constexpr std::chrono::milliseconds kSettle{1000};
  // A continuous-ASCII scale sends a line this often.
  static constexpr std::chrono::milliseconds kSendPeriod{100};

  // A tank holding a seeded rest of water (1 to 5 kg, to the gram).
  SimScale(ScaleProtocol protocol, uint64_t seed, std::chrono::milliseconds fill);

  ScaleProtocol Protocol() const { return protocol_; }
  void SetFault(ScaleFault fault) { fault_ = fault; }
  ScaleFault Fault() const { return fault_; }

  // Water of `kg` begins to flow in at `now`; a run still going is
  // completed first.
  void StartRun(double kg, SteadyTime now);
  // The net mass that stands still once the water has settled.
  double SettledKg() const { return base_kg_ + run_kg_; }

  struct Weight {
    double kg = 0;
    bool stable = false;
  };
  Weight At(SteadyTime now);

  // Takes bytes the program sent; returns what the scale answers to the
  // requests they complete (empty: nothing to send).
  std::string Hear(std::string_view bytes, SteadyTime now);
  // The line a continuous-ASCII scale sends at `now` (empty for the other
  // formats and a silent scale).
  std::string Unasked(SteadyTime now);

 private:
  std::string Reply(std::string_view request, SteadyTime now);
  std::string MtSics(std::string_view command, SteadyTime now);
  std::string Sbi(SteadyTime now);

  ScaleProtocol protocol_;
  std::chrono::milliseconds fill_;
  ScaleFault fault_ = ScaleFault::kNone;
  double base_kg_ = 0;
  double run_kg_ = 0;
  std::optional<SteadyTime> run_start_;
  SeededRandom noise_;
  std::string heard_;
};

}  // namespace qv::sim
