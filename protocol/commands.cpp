#include "protocol/commands.h"

#include <ctime>
#include <optional>

#include "protocol/frame.h"

namespace qv {

namespace {

// The tables check themselves: a row for every command and every payload
// kind a command sends, in enum order, and every L counts DI, SER and the
// payload, except StartTest and EndTest, whose L is one short.
constexpr bool TableConsistent() {
  if (kCommands.size() != static_cast<size_t>(Command::kCount)) return false;
  for (size_t i = 0; i < kPayloads.size(); ++i) {
    if (static_cast<size_t>(kPayloads[i].id) != i) return false;
  }
  for (size_t i = 0; i < kCommands.size(); ++i) {
    const CommandRow& row = kCommands[i];
    if (static_cast<size_t>(row.id) != i) return false;
    if (static_cast<size_t>(row.payload) >= kPayloads.size()) return false;
    const size_t trailer = row.family == Family::kBench ? 1 : 0;
    const size_t computed = kPayloads[static_cast<size_t>(row.payload)].computed;
    const size_t counted = 3 + row.lead.size + computed + trailer;
    const bool shortL = row.id == Command::kStartTest || row.id == Command::kEndTest;
    if (row.length != counted - (shortL ? 1 : 0)) return false;
    if (row.lengthFive != 0 && row.lengthFive != row.length + 4) return false;
  }
  return true;
}
static_assert(TableConsistent(), "command table: a row missing, out of order, or L wrong");

// The byte after the time fields of SetClock: the century, always 20.
constexpr uint8_t kClockCentury = 0x20;
// A DN of SetCaliber: at most 500, two BCD bytes.
constexpr SentField kDnField{Coding::kBcd, 2};

// Versions under which a cold meter is addressed with its own type byte.
constexpr bool ColdTypeVersion(int version) {
  return version == 4 || version == kVersionTG;
}

bool SelectorAccepted(const CommandRow& row, int selector) {
  if (row.family == Family::kBench) return selector == 0;  // "188"
  return selector >= 0 && selector < kVersionCount;
}

// Appends `raw` as `field` codes it; false when it is negative or does not
// fit.
bool Put(Bytes& p, int64_t raw, const SentField& field) {
  if (raw < 0 || raw > field.LargestRaw()) return false;
  const auto v = static_cast<uint64_t>(raw);
  const Bytes b =
      field.coding == Coding::kBcd ? IntToBcd(v, field.bytes) : IntToBinBE(v, field.bytes);
  p.insert(p.end(), b.begin(), b.end());
  return true;
}
bool Put(Bytes& p, const EntryValue& value, const SentField& field) {
  const std::optional<int64_t> raw = field.whole ? value.Integer() : value.Scaled(field.decimals);
  return raw && Put(p, *raw, field);
}

template <typename Table>
const auto* Find(const Table& table, int choice) {
  for (const auto& row : table) {
    if (static_cast<int>(row.id) == choice) return &row;
  }
  return static_cast<const typename Table::value_type*>(nullptr);
}

// ss mm hh DD MM YY of `now` plus one second, local time, then the century.
std::optional<Bytes> ClockField(std::chrono::system_clock::time_point now) {
  using std::chrono::seconds;
  // One reading of the clock, one second ahead for the time the frame takes
  // to reach the meter; localtime carries the second into minute, hour, day,
  // month and year.
  const std::time_t t =
      std::chrono::system_clock::to_time_t(std::chrono::floor<seconds>(now) + seconds(1));
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return std::nullopt;
  const SentField field = ValueField(Command::kSetClock);
  Bytes p;
  for (const int v : {local.tm_sec, local.tm_min, local.tm_hour, local.tm_mday, local.tm_mon + 1,
                      local.tm_year + 1900 - 2000}) {
    // The frame holds two year digits after a fixed century of 20.
    if (!Put(p, v, field)) return std::nullopt;
  }
  p.push_back(kClockCentury);
  return p;
}

// The part of the payload after the lead: the caller's values, as the
// command's payload kind sends them.
std::optional<Bytes> Computed(Command c, const CommandRequest& r) {
  const SentField field = ValueField(c, r.choice);
  const auto* level = Find(kTemperatureLevels, r.choice);
  const int coefficients = r.fluxNum == kFlowPoints ? kFlowPoints : kFlowPoints - 1;
  Bytes p;
  bool ok = true;
  switch (Row(c).payload) {
    case Payload::kNone:
      break;
    case Payload::kNewAddress: {
      const std::optional<AddressBytes> a = MeterAddress(r.newAddress).Encode();
      if (!a) return std::nullopt;
      p.assign(a->begin(), a->end());
      break;
    }
    case Payload::kClock:
      return ClockField(r.now);
    case Payload::kVolume:
    case Payload::kPtNumber:
      ok = Put(p, r.value, field);
      break;
    case Payload::kTemperature:
      if (level == nullptr) return std::nullopt;
      p.push_back(level->adjustLevel);
      ok = Put(p, r.value, field);
      break;
    case Payload::kCaliber:
      // The index checked whole: a number past 32 bits is no DN.
      if (r.number < 0 || r.number >= kDnCount) return std::nullopt;
      Put(p, DnSizeTable[static_cast<size_t>(r.number)], kDnField);
      p.insert(p.end(), {0x00, 0x00});
      [[fallthrough]];
    case Payload::kCoefficients:
      for (int i = 0; i < coefficients && ok; ++i)
        ok = Put(p, r.coefficients[static_cast<size_t>(i)], field);
      break;
    case Payload::kCoefficient:
    case Payload::kLocation:
      ok = Put(p, r.number, field);
      break;
    case Payload::kAccumulator: {
      const AccumulatorRow* a = Find(kAccumulators, r.choice);
      if (a == nullptr) return std::nullopt;
      p.push_back(a->subCode);
      ok = Put(p, r.value, field);
      p.push_back(a->unit);
      break;
    }
    case Payload::kTemperaturePairing:
      if (level == nullptr) return std::nullopt;
      p.push_back(level->pairingSubCode);
      for (const EntryValue& t : r.pairing)
        ok = ok && Put(p, t, field);
      break;
    case Payload::kHeatUnit:
      if (r.choice < 0 || r.choice >= static_cast<int>(kHeatUnitBytes.size())) return std::nullopt;
      p.assign(kHeatUnitBytes[static_cast<size_t>(r.choice)].begin(),
               kHeatUnitBytes[static_cast<size_t>(r.choice)].end());
      break;
    case Payload::kPipe:
      if (r.choice < 0 || r.choice >= static_cast<int>(kPipeModeBytes.size())) return std::nullopt;
      p.push_back(kPipeModeBytes[static_cast<size_t>(r.choice)]);
      break;
  }
  if (!ok) return std::nullopt;
  return p;
}

}  // namespace

int VersionIndex(std::string_view name) {
  for (int i = 1; i < kVersionCount; ++i) {
    if (kVersionNames[static_cast<size_t>(i)] == name) return i;
  }
  return -1;
}

DataId RequestDataId(Command c, int variant, int version) {
  const CommandRow& row = Row(c);
  DataId di{row.di.di0, static_cast<uint8_t>(row.di.di1 + variant)};
  if (row.tgSwapsDi && version == kVersionTG) di = di.Swapped();
  return di;
}

int ReplyVariant(Command c, std::span<const uint8_t> frame) {
  const CommandRow& row = Row(c);
  if (row.reply.di == ReplyDi::kNone) return 0;
  if (frame.size() <= FrameOffset::kDi1) return -1;
  const DataId got{frame[FrameOffset::kDi0], frame[FrameOffset::kDi1]};
  for (int k = 0; k < row.variants; ++k) {
    if (got == RequestDataId(c, k, 0)) return k;
    if (row.tgSwapsDi && got == RequestDataId(c, k, kVersionTG)) return k;
  }
  return -1;
}

bool IsReplyTo(Command c, std::span<const uint8_t> frame) {
  const CommandRow& row = Row(c);
  if (frame.size() <= FrameOffset::kControl || frame[0] != kFrameStart) return false;
  if (row.family == Family::kBench && frame[FrameOffset::kType] != row.type) return false;
  if (frame[FrameOffset::kControl] != row.reply.control) return false;
  return ReplyVariant(c, frame) >= 0;
}

// The one path every frame takes: the caller's values, the checks, the
// header from the table, payload = lead + computed part (+ 00 for bench
// frames), the frame.
std::optional<Bytes> BuildRequest(Command c, const CommandRequest& r) {
  const CommandRow& row = Row(c);
  const std::optional<Bytes> computed = Computed(c, r);
  if (!computed || !SelectorAccepted(row, r.selector)) return std::nullopt;
  // A command with one data identifier has no variants to choose from.
  const int variant = row.variants > 1 ? r.variant : 0;
  if (variant < 0 || variant >= row.variants) return std::nullopt;
  const bool standard = row.family == Family::kStandard;
  const bool tg = standard && r.selector == kVersionTG;
  const MeterAddress address =
      row.wildcardAddress ? MeterAddress::Broadcast()
                          : MeterAddress(r.address, tg ? AddressRule::kTG : AddressRule::kPlain);
  const std::optional<AddressBytes> a = address.Encode();
  if (!a) return std::nullopt;

  FrameHeader h;
  h.type = row.type;
  if (standard && r.coldMeter && row.coldType != 0 && ColdTypeVersion(r.selector)) {
    h.type = row.coldType;
  }
  h.address = *a;
  h.control = row.control;
  const bool five = row.lengthFive != 0 && r.fluxNum == kFlowPoints;
  h.length = five ? row.lengthFive : row.length;
  h.di = RequestDataId(c, variant, standard ? r.selector : 0);

  Bytes payload(row.lead.View().begin(), row.lead.View().end());
  payload.insert(payload.end(), computed->begin(), computed->end());
  if (row.family == Family::kBench) payload.push_back(0x00);
  return BuildFrame(kMeterPreamble, h, payload);
}

}  // namespace qv
