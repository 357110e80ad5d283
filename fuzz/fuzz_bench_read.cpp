// The bench read reply of the detection windows: volume, heat, the two
// temperatures and the four coefficients. A reply shorter than the layout
// reads as nothing; every value is finite and never negative (BCD has no
// sign).
#include <cmath>

#include "fuzz/fuzz_check.h"
#include "protocol/reply_layout.h"

using namespace qv;
using qv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> frame(data, size);
  const std::optional<BenchRead> r = DecodeBenchRead(frame);
  Check(r.has_value() == (size >= kBenchReadMinLength), "read from a short reply");
  if (r) {
    for (double v : {r->VolumeL, r->HeatKWh, r->EntreC, r->ExitC})
      Check(std::isfinite(v) && v >= 0, "a value that is not finite or negative");
    for (int64_t c : r->Coefficients)
      Check(c >= 0, "a negative coefficient");
  }
  return 0;
}
