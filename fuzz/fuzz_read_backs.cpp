// The parameter windows' read-backs: the other-parameters replies of every
// operation (the first byte picks it), the coefficient read-back and the
// read-address reply of the parameter settings window, and whether a reply
// confirms each operation of the windows' tables.
#include <cmath>

#include "detection/core/flow_detection_run.h"
#include "fuzz/fuzz_check.h"
#include "protocol/operation_table.h"
#include "protocol/reply_layout.h"
#include "tools/core/other_para_run.h"
#include "tools/core/set_para_run.h"

using namespace qv;
using qv::fuzz::Check;

namespace {

bool IsHexText(const std::string& s) {
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto in = qv::fuzz::Split(data, size);
  const std::span<const uint8_t> frame = in.rest;

  const int code = 1 + in.choice % kOtherParaOperations;
  const OtherParaReadBack o = DecodeOtherParaReply(code, frame);
  for (const auto& v : {o.AccFlow, o.Flow})
    Check(!v || (std::isfinite(*v) && *v >= 0), "a flow that is not finite or negative");
  Check(!o.Status || (o.Status->size() == 4 && IsHexText(*o.Status)), "status not 4 hex digits");
  if (o.Pairing) {
    for (double v : *o.Pairing)
      Check(std::isfinite(v) && v >= 0, "a pairing value out of shape");
  }
  Check(!o.HeatUnit || *o.HeatUnit >= 0, "a heat unit outside its list");
  Check(!o.Pipe || *o.Pipe >= 0, "a pipe mode outside its list");

  const CoefficientReadBack c = DecodeCoefficientReadBack(frame);
  Check(c.Coefficients.has_value() == (frame.size() >= kBenchReadMinLength),
        "coefficients from a short reply");
  Check(!c.Times || frame.size() >= 68, "transit times from a short reply");

  if (const auto address = AcceptAddressReply(frame)) {
    Check(address->size() == 14 && IsHexText(*address), "an address that is not 14 hex digits");
  }

  for (const auto table :
       {FlowOperations(), OverallOperations(), SetParaOperations(), OtherParaOperations()}) {
    for (const OperationRow& op : table)
      (void)Confirms(op, frame);
  }
  return 0;
}
