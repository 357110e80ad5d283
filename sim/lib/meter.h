// One simulated heat (or cold) meter: what it keeps, and how it answers the
// requests it hears. The answers are laid out after the reply positions the
// program's windows read; each meter speaks one protocol version for its
// metering data.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/lib/sim_frame.h"

namespace qv::sim {

inline constexpr int kSimFlowPoints = 5;

// Civil (wall-clock) time of the bench, counted as if it were UTC.
using CivilTime = std::chrono::sys_seconds;

enum class MeterKind { kHeat, kCold };

enum class ProtocolVersion { kV201, kV202, kV203, kV301, kTG };
// "M-BusV2.01", "M-BusV2.02", "M-BusV2.03", "M-BusV3.01", "TG".
std::string_view ProtocolText(ProtocolVersion v);
std::optional<ProtocolVersion> ParseProtocol(std::string_view text);

// Misbehaviour injected into one meter's answers.
struct MeterFaults {
  bool silent = false;                 // never answers (still hears and keeps writes)
  bool bad_checksum = false;           // checksum byte off by one
  bool missing_end = false;            // the 0x16 is not sent
  bool split = false;                  // reply in two writes with a pause between
  bool noise = false;                  // noise and FE wake bytes before the 0x68
  std::chrono::milliseconds delay{0};  // pause before the reply starts
  // The next this many frames addressed to the meter are lost on the line:
  // neither heard nor answered (a meter that answers only a retry).
  int missed_frames = 0;
};

// What the bench is doing now: the flow point the water runs at, the flow
// rate and the reference volume of one run at each point, the temperatures.
struct BenchConditions {
  int flow_point = 1;  // 1..5
  std::array<double, kSimFlowPoints> flow_lph{50, 25, 250, 2500, 5000};
  std::array<double, kSimFlowPoints> reference_litres{5, 5, 20, 100, 200};
  double inlet_c = 80;
  double outlet_c = 60;
  double fluid_c = 20;
};

struct MeterState {
  SimAddress address;
  MeterKind kind = MeterKind::kHeat;
  ProtocolVersion protocol = ProtocolVersion::kV202;

  // Coefficients of flow points 1..5 now and as delivered; the volume a
  // meter measures scales with their ratio.
  std::array<int32_t, kSimFlowPoints> coefficients{10000, 10000, 10000, 10000, 10000};
  std::array<int32_t, kSimFlowPoints> initial_coefficients{10000, 10000, 10000, 10000, 10000};
  // Systematic error of the flow sensor at each flow point (0.01 = +1 %).
  std::array<double, kSimFlowPoints> errors{};
  // Temperature probe errors in °C, cleared by a temperature adjustment.
  double inlet_probe_error = 0;
  double outlet_probe_error = 0;
  // Systematic error of the meter's heat calculation (0.01 = +1 %), on top
  // of what its flow sensor and probes add; no bench command changes it.
  double heat_error = 0;

  // A transit-time difference (ps) reported instead of the one the flow
  // makes: a reverse flow, or a test's chosen bytes.
  std::optional<int64_t> reported_difference_ps;
  // The heat field of bench reads (four BCD bytes and the unit code)
  // reported instead of the computed one: digits above 9, a test's chosen
  // bytes.
  std::optional<std::array<uint8_t, 5>> reported_heat;

  int32_t dn_mm = 20;
  uint8_t location = 0;  // 0 return pipe, 1 supply pipe
  bool verifying = false;
  bool test_running = false;
  int data_clears = 0;
  int64_t clock_offset_s = 0;  // meter clock minus bench clock

  // Accumulated registers as written (thousandths of kWh and of m³, hours).
  uint64_t heat_wh = 0;
  uint64_t cold_wh = 0;
  uint64_t volume_l = 0;
  uint64_t work_hours = 0;
  uint64_t shared_heat_wh = 0;
  uint64_t return_volume_l = 0;

  // Pairing values in hundredths of °C: low standard, inlet, return, then
  // middle, then high.
  std::array<uint16_t, 9> pairing{};
  // Temperature adjustments in hundredths of °C by level (low, mid, high).
  std::array<std::optional<uint16_t>, 3> adjusted{};
  // Last standard volume sent by CalibrateFlowPoint, ten-thousandths of L.
  std::array<std::optional<uint32_t>, kSimFlowPoints> calibrated{};

  uint8_t heat_unit = 0x05;  // 0x05 kWh, 0x11 GJ
  uint8_t pipe_mode = 1;     // 1 single, 2 double
  uint64_t pt_number = 0;
  std::array<uint8_t, 2> status{};  // status bytes 1 (fault bits) and 2

  uint8_t FrameType() const { return kind == MeterKind::kHeat ? kTypeHeat : kTypeCold; }
};

// How a frame reached the meter.
enum class Hearing {
  kOwnAddress,  // addressed to this meter
  kBroadcast,   // AA x7: act on it where a meter would, never answer
  kWildcard,    // ReadAddress on a line where this meter answers it
};

// The meter's reply to `request` (from its 0x68, no wake bytes), or nothing.
// Updates `state` with what the request writes.
std::optional<Bytes> MeterAnswer(MeterState& state, const BenchConditions& bench, CivilTime now,
                                 const SimFrame& request, Hearing hearing);

// True when `request` is the ReadAddress command (answered by address
// wildcard rather than by the meter's own address).
bool IsReadAddress(const SimFrame& request);

}  // namespace qv::sim
