#include "sim/lib/meter.h"

#include <algorithm>

#include "sim/lib/meter_handlers.h"

namespace qv::sim {

namespace {

using detail::Handler;

struct ProtocolRow {
  ProtocolVersion version;
  std::string_view text;
};
constexpr ProtocolRow kProtocols[] = {
    {ProtocolVersion::kV201, "M-BusV2.01"}, {ProtocolVersion::kV202, "M-BusV2.02"},
    {ProtocolVersion::kV203, "M-BusV2.03"}, {ProtocolVersion::kV301, "M-BusV3.01"},
    {ProtocolVersion::kTG, "TG"},
};

// Which frames a request kind arrives in.
enum class Family { kBench, kStandard };

// Every request a meter answers: frame family, control code, DI0, the range
// of DI1, the least payload (bytes after SER) it needs, whether a broadcast
// makes it act (without a reply), whether it is answered by wildcard, and the
// handler building the reply.
struct CommandRow {
  Family family;
  uint8_t control;
  uint8_t di0;
  uint8_t di1_first;
  uint8_t di1_last;
  size_t min_payload;
  bool acts_on_broadcast;
  bool wildcard;
  Handler handler;
};

constexpr CommandRow kCommands[] = {
    {Family::kBench, 0x23, 0x81, 0x0A, 0x0A, 1, false, true, detail::ReadAddressReply},
    {Family::kBench, 0x35, 0xA0, 0x18, 0x18, 8, false, false, detail::WriteAddressReply},
    {Family::kBench, 0x21, 0x90, 0x1F, 0x1F, 1, false, false, detail::BenchReadReply},
    {Family::kBench, 0x21, 0x90, 0x1E, 0x1E, 1, false, false, detail::UltrasonicReply},
    {Family::kBench, 0x21, 0x90, 0x1D, 0x1D, 1, false, false, detail::AccumulatedFlowReply},
    {Family::kBench, 0x24, 0x01, 0x00, 0x00, 21, false, false, detail::CaliberReply},
    {Family::kBench, 0x24, 0x01, 0x01, 0x02, 1, false, false, detail::TestStepReply},
    {Family::kBench, 0x24, 0x01, 0x03, 0x07, 5, false, false, detail::CalibrateReply},
    {Family::kBench, 0x24, 0x01, 0x08, 0x08, 1, false, false, detail::TestStepReply},
    {Family::kBench, 0x24, 0x01, 0x09, 0x09, 17, false, false, detail::AllCoefficientsReply},
    {Family::kBench, 0x24, 0x01, 0x0A, 0x0E, 5, false, false, detail::CoefficientReply},
    {Family::kBench, 0x24, 0x01, 0x0F, 0x0F, 2, false, false, detail::LocationReply},
    {Family::kBench, 0x24, 0x01, 0x10, 0x10, 2, false, false, detail::ModeReply},
    {Family::kBench, 0x24, 0x01, 0x11, 0x11, 9, false, false, detail::AccumulatorReply},
    {Family::kBench, 0x24, 0x01, 0x12, 0x12, 2, false, false, detail::TemperatureReply},
    {Family::kBench, 0x24, 0x01, 0x13, 0x13, 4, false, false, detail::UnitPipeReply},
    {Family::kBench, 0x24, 0x01, 0x14, 0x14, 7, false, false, detail::PtNumberReply},
    {Family::kStandard, 0x01, 0x90, 0x1F, 0x1F, 0, false, false, detail::MeteringDataReply},
    {Family::kStandard, 0x01, 0x1F, 0x90, 0x90, 0, false, false, detail::MeteringDataTgReply},
    {Family::kStandard, 0x04, 0xA0, 0x15, 0x15, 7, true, false, detail::SetClockReply},
    {Family::kStandard, 0x04, 0x15, 0xA0, 0xA0, 7, true, false, detail::SetClockReply},
};

bool InFamily(Family f, uint8_t type) {
  if (f == Family::kBench) return type == kTypeBench;
  return type == kTypeHeat || type == kTypeCold;
}

const CommandRow* FindCommand(const SimFrame& r) {
  const auto row =
      std::find_if(std::begin(kCommands), std::end(kCommands), [&](const CommandRow& c) {
        return InFamily(c.family, r.type) && c.control == r.control && c.di0 == r.di.d0 &&
               r.di.d1 >= c.di1_first && r.di.d1 <= c.di1_last;
      });
  return row == std::end(kCommands) ? nullptr : &*row;
}

}  // namespace

std::string_view ProtocolText(ProtocolVersion v) {
  for (const ProtocolRow& row : kProtocols)
    if (row.version == v) return row.text;
  return {};
}

std::optional<ProtocolVersion> ParseProtocol(std::string_view text) {
  for (const ProtocolRow& row : kProtocols)
    if (row.text == text) return row.version;
  return std::nullopt;
}

bool IsReadAddress(const SimFrame& request) {
  const CommandRow* row = FindCommand(request);
  return row != nullptr && row->wildcard;
}

std::optional<Bytes> MeterAnswer(MeterState& state, const BenchConditions& bench, CivilTime now,
                                 const SimFrame& request, Hearing hearing) {
  const CommandRow* row = FindCommand(request);
  if (row == nullptr || request.payload.size() < row->min_payload) return std::nullopt;
  if (hearing == Hearing::kWildcard && !row->wildcard) return std::nullopt;
  if (hearing == Hearing::kBroadcast && !row->acts_on_broadcast) return std::nullopt;

  detail::Reply reply;
  reply.type = row->family == Family::kBench ? kTypeBench : state.FrameType();
  reply.address = state.address;
  reply.control = static_cast<uint8_t>(request.control | 0x80);
  reply.di = request.di;
  reply.serial = request.serial;
  detail::MeterContext context{state, bench, now, request};
  if (!row->handler(context, reply)) return std::nullopt;
  // A broadcast is carried out but never answered: the answers would collide.
  if (hearing == Hearing::kBroadcast) return std::nullopt;
  return BuildFrame(reply.type, reply.address, reply.control, reply.di, reply.serial,
                    reply.payload);
}

}  // namespace qv::sim
