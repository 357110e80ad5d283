// What the three scale decoders share: the reply line without its line end,
// its blank-separated words, the signed number of a mass, and the reading
// built from a number and a unit.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "protocol/scale_reading.h"

namespace qv::scale_text {

// `line` without the CR and LF at its end; nothing when anything else in it
// is not a printable ASCII character.
std::optional<std::string_view> Printable(std::string_view line);
// `s` without the blanks around it.
std::string_view Trim(std::string_view s);
// The words of `s` between blanks.
std::vector<std::string_view> Words(std::string_view s);
// "+12.5", "-0.010", "  100" (blanks after the sign allowed): the number,
// or nothing when `s` is anything else (no exponent, no comma, no "inf").
std::optional<double> Mass(std::string_view s);
// A reading of `value` in `unit` in state `state` (stable or moving): the
// mass in kg, or an unknown-unit error that names the unit.
ScaleReading Weighed(ScaleState state, double value, std::string_view unit);
// A reading without a mass: over- or underload, or an error.
ScaleReading Without(ScaleState state, ScaleError error = ScaleError::kNone,
                     std::string_view text = {});

}  // namespace qv::scale_text
