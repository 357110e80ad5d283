#include "protocol/commands.h"

#include <ctime>
#include <optional>

#include "protocol/frame.h"

namespace qv {

namespace {

// Bytes the computed part of each payload kind adds after the lead (the
// fifth coefficient not counted), indexed by `Payload`.
constexpr std::array<size_t, 14> kComputedSize = {
    0,              // kNone
    kAddressBytes,  // kNewAddress
    7,              // kClock
    4,              // kVolume
    1 + 2,          // kTemperature
    2 + 2 + 4 * 4,  // kCaliber
    4 * 4,          // kCoefficients
    4,              // kCoefficient
    1,              // kLocation
    1 + 6 + 1,      // kAccumulator
    1 + 3 * 2,      // kTemperaturePairing
    2,              // kHeatUnit
    1,              // kPipe
    5,              // kPtNumber
};
static_assert(kComputedSize.size() == static_cast<size_t>(Payload::kPtNumber) + 1);

// The table checks itself: rows in enum order, and every L counts DI, SER
// and the payload, except StartTest and EndTest, whose L is one short.
constexpr bool TableConsistent() {
  for (size_t i = 0; i < kCommands.size(); ++i) {
    const CommandRow& row = kCommands[i];
    if (static_cast<size_t>(row.id) != i) return false;
    const size_t trailer = row.family == Family::kBench ? 1 : 0;
    const size_t computed = kComputedSize[static_cast<size_t>(row.payload)];
    const size_t counted = 3 + row.lead.size + computed + trailer;
    const bool shortL = row.id == Command::kStartTest || row.id == Command::kEndTest;
    if (row.length != counted - (shortL ? 1 : 0)) return false;
    if (row.lengthFive != 0 && row.lengthFive != row.length + 4) return false;
  }
  return true;
}
static_assert(TableConsistent(), "command table: row order or length byte wrong");

// The byte after the time fields of SetClock: the century, always 20.
constexpr uint8_t kClockCentury = 0x20;
// Versions under which a cold meter is addressed with its own type byte.
constexpr bool ColdTypeVersion(int version) {
  return version == 4 || version == kVersionTG;
}

bool SelectorAccepted(const CommandRow& row, int selector) {
  if (row.family == Family::kBench) return selector == 0;  // "188" only
  return selector >= 0 && selector < kVersionCount;
}

// Appends `v` as `n` bytes of little-endian BCD; false when it does not fit.
bool PutBcd(Bytes& p, int64_t v, size_t n) {
  int64_t limit = 1;
  for (size_t i = 0; i < n; ++i)
    limit *= 100;
  if (v < 0 || v >= limit) return false;
  const Bytes b = IntToBcd(static_cast<uint64_t>(v), n);
  p.insert(p.end(), b.begin(), b.end());
  return true;
}

// Appends `v` as `n` big-endian bytes; false when it does not fit.
bool PutBinBE(Bytes& p, int64_t v, size_t n) {
  if (v < 0 || (n < 8 && static_cast<uint64_t>(v) >> (8 * n) != 0)) return false;
  const Bytes b = IntToBinBE(static_cast<uint64_t>(v), n);
  p.insert(p.end(), b.begin(), b.end());
  return true;
}

bool PutScaledBcd(Bytes& p, const EntryValue& value, int decimals, size_t n) {
  const std::optional<int64_t> v = value.Scaled(decimals);
  return v && PutBcd(p, *v, n);
}

bool PutCoefficients(Bytes& p, int32_t fluxNum, std::span<const int32_t, kFlowPoints> c) {
  const size_t count = fluxNum == kFlowPoints ? kFlowPoints : kFlowPoints - 1;
  for (size_t i = 0; i < count; ++i) {
    if (!PutBcd(p, c[i], 4)) return false;
  }
  return true;
}

struct Request {
  int selector = 0;  // CommProtocol or protocol version, as the row's family says
  std::string_view address;
  int variant = 0;
  bool coldMeter = false;
  bool fifthCoefficient = false;
};

// The one path every builder takes: checks, header from the table, payload =
// lead + computed part (+ 00 for bench frames), frame.
int Build(Command c, const Request& r, std::span<const uint8_t> computed, Bytes& out) {
  const CommandRow& row = Row(c);
  if (!SelectorAccepted(row, r.selector)) return -1;
  if (r.variant < 0 || r.variant >= row.variants) return -1;
  const bool standard = row.family == Family::kStandard;
  const bool tg = standard && r.selector == kVersionTG;
  const MeterAddress address =
      row.wildcardAddress ? MeterAddress::Broadcast()
                          : MeterAddress(r.address, tg ? AddressRule::kTG : AddressRule::kPlain);
  const std::optional<AddressBytes> a = address.Encode();
  if (!a) return -1;

  FrameHeader h;
  h.type = row.type;
  if (standard && r.coldMeter && row.coldType != 0 && ColdTypeVersion(r.selector)) {
    h.type = row.coldType;
  }
  h.address = *a;
  h.control = row.control;
  h.length = r.fifthCoefficient ? row.lengthFive : row.length;
  h.di = RequestDataId(c, r.variant, standard ? r.selector : 0);

  Bytes payload(row.lead.View().begin(), row.lead.View().end());
  payload.insert(payload.end(), computed.begin(), computed.end());
  if (row.family == Family::kBench) payload.push_back(0x00);
  out = BuildFrame(kMeterPreamble, h, payload);
  return 0;
}

int BuildPlain(Command c, int32_t commProtocol, std::string_view address, Bytes& out) {
  return Build(c, {.selector = commProtocol, .address = address}, {}, out);
}

template <typename Table, typename Id>
const auto* Find(const Table& table, Id id) {
  for (const auto& row : table) {
    if (row.id == id) return &row;
  }
  return static_cast<const typename Table::value_type*>(nullptr);
}

}  // namespace

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

int BuildReadAddress(int32_t commProtocol, Bytes& out) {
  return BuildPlain(Command::kReadAddress, commProtocol, kBroadcastAddressText, out);
}

int BuildWriteAddress(int32_t commProtocol, std::string_view address, Bytes& out,
                      std::string_view newAddress) {
  const std::optional<AddressBytes> a = MeterAddress(newAddress).Encode();
  if (!a) return -1;
  return Build(Command::kWriteAddress, {.selector = commProtocol, .address = address}, *a, out);
}

int BuildSetClock(int version, std::string_view address, Bytes& out,
                  std::chrono::system_clock::time_point now) {
  using std::chrono::seconds;
  // One reading of the clock, one second ahead for the time the frame takes
  // to reach the meter; localtime carries the second into minute, hour, day,
  // month and year.
  const std::time_t t =
      std::chrono::system_clock::to_time_t(std::chrono::floor<seconds>(now) + seconds(1));
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return -1;
  const int year = local.tm_year + 1900;
  Bytes p;
  for (const int field :
       {local.tm_sec, local.tm_min, local.tm_hour, local.tm_mday, local.tm_mon + 1, year - 2000}) {
    // The frame holds two year digits after a fixed century of 20.
    if (!PutBcd(p, field, 1)) return -1;
  }
  p.push_back(kClockCentury);
  return Build(Command::kSetClock, {.selector = version, .address = address}, p, out);
}

int BuildReadMeterData(int version, std::string_view address, Bytes& out, bool coldMeter) {
  return Build(Command::kReadMeterData,
               {.selector = version, .address = address, .coldMeter = coldMeter}, {}, out);
}

int BuildEnterCalibration(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kEnterCalibration, commProtocol, address, out);
}
int BuildExitCalibration(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kExitCalibration, commProtocol, address, out);
}
int BuildClearData(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kClearData, commProtocol, address, out);
}
int BuildInitialise(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kInitialise, commProtocol, address, out);
}
int BuildStartTest(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kStartTest, commProtocol, address, out);
}
int BuildEndTest(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kEndTest, commProtocol, address, out);
}
int BuildBenchReadData(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kBenchReadData, commProtocol, address, out);
}

int BuildCalibrateFlowPoint(int32_t commProtocol, std::string_view address, Bytes& out, int point,
                            const EntryValue& volume) {
  Bytes p;
  const std::optional<int64_t> v = volume.Scaled(4);  // litres x10000
  if (!v || !PutBinBE(p, *v, 4)) return -1;
  return Build(Command::kCalibrateFlowPoint,
               {.selector = commProtocol, .address = address, .variant = point - 1}, p, out);
}

int BuildAdjustTemperature(int32_t commProtocol, std::string_view address, Bytes& out,
                           TemperatureLevel level, const EntryValue& temperature) {
  const TemperatureLevelRow* row = Find(kTemperatureLevels, level);
  if (row == nullptr) return -1;
  Bytes p{row->adjustLevel};
  if (!PutScaledBcd(p, temperature, 2, 2)) return -1;  // degrees x100
  return Build(Command::kAdjustTemperature, {.selector = commProtocol, .address = address}, p, out);
}

int BuildSetCaliber(int32_t commProtocol, std::string_view address, Bytes& out, int dnIndex,
                    int32_t fluxNum, std::span<const int32_t, kFlowPoints> coefficients) {
  if (!ValidDn(dnIndex)) return -1;
  Bytes p;
  PutBcd(p, DnSizeTable[static_cast<size_t>(dnIndex)], 2);  // at most 500: fits
  p.insert(p.end(), {0x00, 0x00});
  if (!PutCoefficients(p, fluxNum, coefficients)) return -1;
  return Build(
      Command::kSetCaliber,
      {.selector = commProtocol, .address = address, .fifthCoefficient = fluxNum == kFlowPoints}, p,
      out);
}

int BuildWriteAllCoefficients(int32_t commProtocol, std::string_view address, Bytes& out,
                              int32_t fluxNum, std::span<const int32_t, kFlowPoints> coefficients) {
  Bytes p;
  if (!PutCoefficients(p, fluxNum, coefficients)) return -1;
  return Build(
      Command::kWriteAllCoefficients,
      {.selector = commProtocol, .address = address, .fifthCoefficient = fluxNum == kFlowPoints}, p,
      out);
}

int BuildWriteCoefficient(int32_t commProtocol, std::string_view address, Bytes& out, int index,
                          int64_t value) {
  Bytes p;
  if (!PutBcd(p, value, 4)) return -1;
  return Build(Command::kWriteCoefficient,
               {.selector = commProtocol, .address = address, .variant = index - 1}, p, out);
}

int BuildSetLocation(int32_t commProtocol, std::string_view address, Bytes& out, int32_t location) {
  Bytes p;
  if (!PutBinBE(p, location, 1)) return -1;
  return Build(Command::kSetLocation, {.selector = commProtocol, .address = address}, p, out);
}

int BuildWriteAccumulator(int32_t commProtocol, std::string_view address, Bytes& out,
                          Accumulator which, const EntryValue& value) {
  const AccumulatorRow* row = Find(kAccumulators, which);
  if (row == nullptr) return -1;
  Bytes p{row->subCode};
  if (!PutScaledBcd(p, value, row->decimals, 6)) return -1;
  p.push_back(row->unit);
  return Build(Command::kWriteAccumulator, {.selector = commProtocol, .address = address}, p, out);
}

int BuildReadUltrasonicData(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kReadUltrasonicData, commProtocol, address, out);
}
int BuildReadAccumulatedFlow(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kReadAccumulatedFlow, commProtocol, address, out);
}
int BuildReadTemperaturePairing(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kReadTemperaturePairing, commProtocol, address, out);
}

int BuildWriteTemperaturePairing(int32_t commProtocol, std::string_view address, Bytes& out,
                                 TemperatureLevel level, const EntryValue& standard,
                                 const EntryValue& supply, const EntryValue& returnTemperature) {
  const TemperatureLevelRow* row = Find(kTemperatureLevels, level);
  if (row == nullptr) return -1;
  Bytes p{row->pairingSubCode};
  for (const EntryValue* t : {&standard, &supply, &returnTemperature}) {
    if (!PutScaledBcd(p, *t, 2, 2)) return -1;  // degrees x100
  }
  return Build(Command::kWriteTemperaturePairing, {.selector = commProtocol, .address = address}, p,
               out);
}

int BuildReadHeatUnit(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kReadHeatUnit, commProtocol, address, out);
}

int BuildWriteHeatUnit(int32_t commProtocol, std::string_view address, Bytes& out, HeatUnit unit) {
  const auto i = static_cast<size_t>(unit);
  if (i >= kHeatUnitBytes.size()) return -1;
  return Build(Command::kWriteHeatUnit, {.selector = commProtocol, .address = address},
               kHeatUnitBytes[i], out);
}

int BuildReadPipe(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kReadPipe, commProtocol, address, out);
}

int BuildWritePipe(int32_t commProtocol, std::string_view address, Bytes& out, PipeMode mode) {
  const auto i = static_cast<size_t>(mode);
  if (i >= kPipeModeBytes.size()) return -1;
  return Build(Command::kWritePipe, {.selector = commProtocol, .address = address},
               std::span<const uint8_t>(&kPipeModeBytes[i], 1), out);
}

int BuildReadPtNumber(int32_t commProtocol, std::string_view address, Bytes& out) {
  return BuildPlain(Command::kReadPtNumber, commProtocol, address, out);
}

int BuildWritePtNumber(int32_t commProtocol, std::string_view address, Bytes& out,
                       const EntryValue& ptNumber) {
  Bytes p;
  const std::optional<int64_t> v = ptNumber.Integer();
  if (!v || !PutBcd(p, *v, 5)) return -1;
  return Build(Command::kWritePtNumber, {.selector = commProtocol, .address = address}, p, out);
}

}  // namespace qv
