#include "sim/lib/sim_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv::sim {
namespace {

struct FaultRow {
  ScaleFault fault;
  std::string_view text;
};
constexpr FaultRow kFaults[] = {{ScaleFault::kNone, "none"},
                                {ScaleFault::kSilent, "silent"},
                                {ScaleFault::kOverload, "overload"},
                                {ScaleFault::kUnstable, "unstable"}};

// Largest swing of a moving reading, kg: water splashing into the tank.
constexpr double kNoiseKg = 0.05;
// SBI's print request.
constexpr std::string_view kEscP = "\x1bP";

double Grams(double kg) {
  return std::round(kg * 1000) / 1000;
}

std::string Printf(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

}  // namespace

std::string_view ScaleFaultText(ScaleFault fault) {
  for (const FaultRow& row : kFaults)
    if (row.fault == fault) return row.text;
  return {};
}

std::optional<ScaleFault> ParseScaleFault(std::string_view text) {
  for (const FaultRow& row : kFaults)
    if (row.text == text) return row.fault;
  return std::nullopt;
}

SimScale::SimScale(ScaleProtocol protocol, uint64_t seed, std::chrono::milliseconds fill)
    : protocol_(protocol), fill_(fill), noise_(seed ^ 0x5CA1EULL) {
  base_kg_ = Grams(3 + 2 * noise_.Signed());
}

void SimScale::StartRun(double kg, SteadyTime now) {
  base_kg_ = Grams(base_kg_ + run_kg_);
  run_kg_ = Grams(kg);
  run_start_ = now;
}

SimScale::Weight SimScale::At(SteadyTime now) {
  const bool settled = !run_start_ || now >= *run_start_ + fill_ + kSettle;
  double kg = SettledKg();
  if (run_start_ && now < *run_start_ + fill_) {
    const double share = std::chrono::duration<double>(now - *run_start_) / fill_;
    kg = base_kg_ + run_kg_ * share;
  }
  if (settled && fault_ != ScaleFault::kUnstable) return {kg, true};
  return {Grams(kg + kNoiseKg * noise_.Signed()), false};
}

std::string SimScale::Hear(std::string_view bytes, SteadyTime now) {
  std::string out;
  for (char c : bytes) {
    heard_ += c;
    if (protocol_ == ScaleProtocol::kSbi) {
      // ESC P is the whole request; anything else is dropped.
      if (heard_.ends_with(kEscP)) {
        out += Reply(kEscP, now);
        heard_.clear();
      } else if (heard_.size() > kEscP.size()) {
        heard_.erase(0, heard_.size() - 1);
      }
    } else if (c == '\n') {
      std::string_view command(heard_);
      while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
        command.remove_suffix(1);
      if (protocol_ == ScaleProtocol::kMtSics) out += Reply(command, now);
      heard_.clear();
    } else if (heard_.size() > 64) {
      heard_.clear();
    }
  }
  return out;
}

std::string SimScale::Reply(std::string_view request, SteadyTime now) {
  if (fault_ == ScaleFault::kSilent) return {};
  return protocol_ == ScaleProtocol::kSbi ? Sbi(now) : MtSics(request, now);
}

// MT-SICS level 0: "S S" + the value right-aligned in 10 characters + the
// unit; "S D" while moving; "S +" in overload; "S I" for S (send when
// stable) while the load moves; "ES" for a command it does not know.
std::string SimScale::MtSics(std::string_view command, SteadyTime now) {
  if (command != "SI" && command != "S") return "ES\r\n";
  if (fault_ == ScaleFault::kOverload) return "S +\r\n";
  const Weight w = At(now);
  if (command == "S" && !w.stable) return "S I\r\n";
  return std::string(w.stable ? "S S " : "S D ") + Printf("%10.3f", w.kg) + " kg\r\n";
}

// SBI, 16 characters: sign, blank, the value in 8, blank, the unit in 3
// (blank while moving), CR LF; "High" in the value's place in overload.
std::string SimScale::Sbi(SteadyTime now) {
  if (fault_ == ScaleFault::kOverload) return "      High    \r\n";
  const Weight w = At(now);
  return std::string(w.kg < 0 ? "- " : "+ ") + Printf("%8.3f", std::abs(w.kg)) +
         (w.stable ? " kg \r\n" : "    \r\n");
}

// Continuous ASCII: ST/US/OL, NT, the signed net mass zero-padded, kg.
std::string SimScale::Unasked(SteadyTime now) {
  if (protocol_ != ScaleProtocol::kAscii || fault_ == ScaleFault::kSilent) return {};
  if (fault_ == ScaleFault::kOverload) return "OL,NT,+9999.999kg\r\n";
  const Weight w = At(now);
  return std::string(w.stable ? "ST,NT," : "US,NT,") + (w.kg < 0 ? "-" : "+") +
         Printf("%08.3f", std::abs(w.kg)) + "kg\r\n";
}

}  // namespace qv::sim
