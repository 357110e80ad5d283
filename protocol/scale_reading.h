// What a weighing scale says on its line, whatever it speaks: one reading
// (state, mass in kg, the unit as sent, why it is an error). Three line
// formats, each with its own decoder of one reply line (CR LF or not):
//
//   MT-SICS level 0, asked with "SI" (at once) or "S" (when stable):
//     "S S     100.00 g"  stable      "S D     129.07 g"  moving
//     "S I"  busy   "S +" overload   "S -" underload
//     "ES" syntax, "ET" transmission, "EL" logical error
//   SBI print, asked with ESC 'P' (1B 50); 16 characters (14 printable and
//   CR LF), or 22 with a 6-character identifier in front ("N     "):
//     "+   12.345 kg \r\n"   stable (a unit is printed only when stable)
//     "+   12.345    \r\n"   moving
//     "      High    \r\n"   overload ("H", "HH", "High"; "L", "LL", "Low")
//   Continuous ASCII of weighing indicators, sent unasked a few times a
//   second: status ST (stable), US (unstable) or OL (overload), GS (gross)
//   or NT (net), the signed mass and its unit:
//     "ST,GS,+0100.000kg"   "US,NT,-  12.50 kg"   "OL,GS,+9999.999kg"
//
// The units g, kg, t and lb are converted to kg; any other unit is refused:
// the reading is an error that names it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/bench_settings.h"

namespace qv {

enum class ScaleState : uint8_t { kStable, kMoving, kOverload, kUnderload, kError };
// "stable", "moving", "overload", "underload", "error".
std::string_view ScaleStateName(ScaleState state);

// Why a reading is an error (or, for a busy MT-SICS scale, why it has no
// mass).
enum class ScaleError : uint8_t {
  kNone,
  kBusy,          // MT-SICS "S I": taring, or no stability within its own time
  kUnknownUnit,   // a unit other than g, kg, t, lb
  kSyntax,        // MT-SICS "ES": the command was not understood
  kTransmission,  // MT-SICS "ET": parity error or a wrong character
  kLogical,       // MT-SICS "EL": the command cannot be carried out
};

struct ScaleReading {
  ScaleState State = ScaleState::kError;
  // The mass the scale sent, in kg; nothing for over- and underload, a busy
  // scale and an error.
  std::optional<double> MassKg;
  // The unit as sent ("kg", "g", ...); empty when the scale sent none.
  std::string Unit;
  ScaleError Error = ScaleError::kNone;
  // Why it is an error, in words ("unknown unit oz"); empty otherwise.
  std::string ErrorText;

  bool Stable() const { return State == ScaleState::kStable; }
  bool operator==(const ScaleReading&) const = default;
};

// kg per unit of "g", "kg", "t" or "lb" (letter case aside); nothing for
// any other unit.
std::optional<double> KgPerUnit(std::string_view unit);

// One reply line, with or without its CR LF. `unit_when_missing` is the
// unit of a reading sent without one (SBI prints its unit only when the
// reading is stable; the reader passes the last unit it saw). Nothing when
// the line is no reply of the format (noise, an echo, a half line).
using ScaleDecoder = std::optional<ScaleReading> (*)(std::string_view line,
                                                     std::string_view unit_when_missing);
std::optional<ScaleReading> DecodeMtSics(std::string_view line, std::string_view unit_when_missing);
std::optional<ScaleReading> DecodeSbi(std::string_view line, std::string_view unit_when_missing);
std::optional<ScaleReading> DecodeAscii(std::string_view line, std::string_view unit_when_missing);

// One row per protocol: what asks for a reading and what decodes the reply.
struct ScaleFormat {
  ScaleProtocol Protocol;
  // Sent for each reading; empty: the scale sends unasked.
  std::string_view Request;
  ScaleDecoder Decode;
};
inline constexpr std::array<ScaleFormat, 3> kScaleFormats = {{
    {ScaleProtocol::kMtSics, "SI\r\n", DecodeMtSics},
    {ScaleProtocol::kSbi, "\x1bP", DecodeSbi},
    {ScaleProtocol::kAscii, "", DecodeAscii},
}};
const ScaleFormat& ScaleFormatOf(ScaleProtocol protocol);

// Cuts the bytes of a scale's line into reply lines: a line ends at LF
// (a CR before it is dropped), or, for a scale that sends no line end, when
// the caller sees the line fall silent (`TakeRest`). Lines longer than any
// reply are cut, so noise without a line end cannot grow without limit.
class ScaleLineSplitter {
 public:
  // Longest line kept: a 22-character SBI reply and more than any MT-SICS
  // or indicator line.
  static constexpr size_t kMaxLine = 64;

  // Takes `bytes`; calls `line(text)` for each line they complete.
  template <class OnLine>
  void Feed(std::string_view bytes, OnLine&& line) {
    for (char c : bytes) {
      if (c == '\n') {
        if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
        line(std::string_view(pending_));
        pending_.clear();
      } else if (pending_.size() < kMaxLine) {
        pending_ += c;
      }
    }
  }
  bool HasPending() const { return !pending_.empty(); }
  // The bytes of a line that never got its LF (and forgets them).
  std::string TakeRest() { return std::exchange(pending_, {}); }

 private:
  std::string pending_;
};

}  // namespace qv
