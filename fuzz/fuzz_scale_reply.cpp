// The scale decoders and the line splitter on any bytes: the first byte
// picks the format. A reading is always one the interface allows: a mass
// (finite) exactly when the state carries one, a stable reading only in a
// known unit, an error always with its reason; lines never exceed their
// bound nor hold a line feed.
#include <cmath>

#include "fuzz/fuzz_check.h"
#include "protocol/scale_reading.h"

using namespace qv;
using qv::fuzz::Check;

namespace {

void CheckReading(const ScaleReading& r) {
  const bool weighed = r.State == ScaleState::kStable || r.State == ScaleState::kMoving;
  Check(r.MassKg.has_value() == (weighed && r.Error != ScaleError::kBusy),
        "a mass without a weighing state, or a weighing without a mass");
  Check(!r.MassKg || std::isfinite(*r.MassKg), "a mass that is not finite");
  Check((r.State == ScaleState::kError) ==
            (r.Error != ScaleError::kNone && r.Error != ScaleError::kBusy),
        "an error state without its reason, or a reason without the state");
  Check(r.ErrorText.empty() == (r.Error == ScaleError::kNone), "an error without its text");
  Check(!r.Stable() || KgPerUnit(r.Unit).has_value(), "a stable reading in an unknown unit");
  Check(r.Unit.empty() || KgPerUnit(r.Unit) || r.Error == ScaleError::kUnknownUnit,
        "an unknown unit that is not refused");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qv::fuzz::Input in = qv::fuzz::Split(data, size);
  const ScaleFormat& format = kScaleFormats[in.choice % kScaleFormats.size()];
  const std::string_view bytes(reinterpret_cast<const char*>(in.rest.data()), in.rest.size());
  if (const std::optional<ScaleReading> r = format.Decode(bytes, "g")) CheckReading(*r);
  ScaleLineSplitter splitter;
  const auto line = [&](std::string_view text) {
    Check(text.size() <= ScaleLineSplitter::kMaxLine, "a line longer than its bound");
    Check(text.find('\n') == std::string_view::npos, "a line feed inside a line");
    if (const std::optional<ScaleReading> r = format.Decode(text, "kg")) CheckReading(*r);
  };
  splitter.Feed(bytes, line);
  line(splitter.TakeRest());
  return 0;
}
