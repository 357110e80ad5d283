// The metering-data reply under every protocol version (the first byte
// picks the row's protocol text; a reply with DI 1F 90 reads as TG), and
// the list texts made of it. A frame too short for the data reads as
// nothing; every number shown reads back as the value it shows.
#include <cmath>
#include <string_view>

#include "core/number_format.h"
#include "fuzz/fuzz_check.h"
#include "protocol/reply_layout.h"
#include "reading/core/reading_format.h"

using namespace qv;
using qv::fuzz::Check;

namespace {

constexpr std::string_view kVersions[] = {"M-BusV2.01", "M-BusV2.02", "M-BusV2.03",
                                          "M-BusV3.01", "TG",         ""};

void CheckDecoded(const std::optional<MeteringData>& data, std::span<const uint8_t> frame) {
  Check(data.has_value() == (frame.size() >= kMeteringReplyLength),
        "data from a frame too short, or none from a long one");
  const MeteringTexts texts = MeteringTextsOf(data);
  if (!data) {
    for (const auto& c : texts.column)
      Check(!c.has_value(), "a text without data");
    return;
  }
  bool units_known = true;
  for (size_t i = 0; i < data->quantities.size(); ++i) {
    const auto& q = data->quantities[i];
    units_known = units_known && q;
    if (!q) {
      Check(texts.column[i] == std::string(kTextUnknownUnit), "an unknown unit shown as a number");
      continue;
    }
    Check(q->decimals >= 0 && q->decimals <= 4 && std::isfinite(q->value) && q->value >= 0,
          "a quantity out of shape");
    const std::optional<double> back = ParseNumber(*texts.column[i]);
    Check(back.has_value(), "a quantity's text is not a number");
    Check(std::fabs(*back - q->value) <=
              0.5 * std::pow(10.0, -q->decimals) * (1 + 1e-9) + std::fabs(q->value) * 1e-12,
          "a quantity's text is not its value");
  }
  // A reading with a unit not understood is never called correct.
  Check(texts[ReadingColumn::CommResult] ==
            std::string(units_known ? kTextDataOk : kTextDataUnknownUnit),
        "result text");
  Check(texts[ReadingColumn::MeterClock]->size() >= 16, "clock text too short");  // year "0"
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto in = qv::fuzz::Split(data, size);
  const std::string_view version = kVersions[in.choice % std::size(kVersions)];
  CheckDecoded(DecodeMeteringData(in.rest, version), in.rest);
  if (!in.rest.empty()) (void)StatusBitsText(in.rest[0]);
  return 0;
}
