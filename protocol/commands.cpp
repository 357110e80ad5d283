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
std::optional<Bytes> Build(Command c, const Request& r, std::span<const uint8_t> computed) {
  const CommandRow& row = Row(c);
  if (!SelectorAccepted(row, r.selector)) return std::nullopt;
  if (r.variant < 0 || r.variant >= row.variants) return std::nullopt;
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
  h.length = r.fifthCoefficient ? row.lengthFive : row.length;
  h.di = RequestDataId(c, r.variant, standard ? r.selector : 0);

  Bytes payload(row.lead.View().begin(), row.lead.View().end());
  payload.insert(payload.end(), computed.begin(), computed.end());
  if (row.family == Family::kBench) payload.push_back(0x00);
  return BuildFrame(kMeterPreamble, h, payload);
}

std::optional<Bytes> BuildPlain(Command c, int32_t commProtocol, std::string_view address) {
  return Build(c, {.selector = commProtocol, .address = address}, {});
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

std::optional<Bytes> BuildReadAddress(int32_t commProtocol) {
  return BuildPlain(Command::kReadAddress, commProtocol, kBroadcastAddressText);
}

std::optional<Bytes> BuildWriteAddress(int32_t commProtocol, std::string_view address,
                                       std::string_view newAddress) {
  const std::optional<AddressBytes> a = MeterAddress(newAddress).Encode();
  if (!a) return std::nullopt;
  return Build(Command::kWriteAddress, {.selector = commProtocol, .address = address}, *a);
}

std::optional<Bytes> BuildSetClock(int version, std::string_view address,
                                   std::chrono::system_clock::time_point now) {
  using std::chrono::seconds;
  // One reading of the clock, one second ahead for the time the frame takes
  // to reach the meter; localtime carries the second into minute, hour, day,
  // month and year.
  const std::time_t t =
      std::chrono::system_clock::to_time_t(std::chrono::floor<seconds>(now) + seconds(1));
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return std::nullopt;
  const int year = local.tm_year + 1900;
  Bytes p;
  for (const int field :
       {local.tm_sec, local.tm_min, local.tm_hour, local.tm_mday, local.tm_mon + 1, year - 2000}) {
    // The frame holds two year digits after a fixed century of 20.
    if (!PutBcd(p, field, 1)) return std::nullopt;
  }
  p.push_back(kClockCentury);
  return Build(Command::kSetClock, {.selector = version, .address = address}, p);
}

std::optional<Bytes> BuildReadMeterData(int version, std::string_view address, bool coldMeter) {
  return Build(Command::kReadMeterData,
               {.selector = version, .address = address, .coldMeter = coldMeter}, {});
}

std::optional<Bytes> BuildEnterCalibration(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kEnterCalibration, commProtocol, address);
}
std::optional<Bytes> BuildExitCalibration(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kExitCalibration, commProtocol, address);
}
std::optional<Bytes> BuildClearData(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kClearData, commProtocol, address);
}
std::optional<Bytes> BuildInitialise(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kInitialise, commProtocol, address);
}
std::optional<Bytes> BuildStartTest(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kStartTest, commProtocol, address);
}
std::optional<Bytes> BuildEndTest(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kEndTest, commProtocol, address);
}
std::optional<Bytes> BuildBenchReadData(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kBenchReadData, commProtocol, address);
}

std::optional<Bytes> BuildCalibrateFlowPoint(int32_t commProtocol, std::string_view address,
                                             int point, const EntryValue& volume) {
  Bytes p;
  const std::optional<int64_t> v = volume.Scaled(4);  // litres x10000
  if (!v || !PutBinBE(p, *v, 4)) return std::nullopt;
  return Build(Command::kCalibrateFlowPoint,
               {.selector = commProtocol, .address = address, .variant = point - 1}, p);
}

std::optional<Bytes> BuildAdjustTemperature(int32_t commProtocol, std::string_view address,
                                            TemperatureLevel level, const EntryValue& temperature) {
  const TemperatureLevelRow* row = Find(kTemperatureLevels, level);
  if (row == nullptr) return std::nullopt;
  Bytes p{row->adjustLevel};
  if (!PutScaledBcd(p, temperature, 2, 2)) return std::nullopt;  // degrees x100
  return Build(Command::kAdjustTemperature, {.selector = commProtocol, .address = address}, p);
}

std::optional<Bytes> BuildSetCaliber(int32_t commProtocol, std::string_view address, int dnIndex,
                                     int32_t fluxNum,
                                     std::span<const int32_t, kFlowPoints> coefficients) {
  if (!ValidDn(dnIndex)) return std::nullopt;
  Bytes p;
  PutBcd(p, DnSizeTable[static_cast<size_t>(dnIndex)], 2);  // at most 500: fits
  p.insert(p.end(), {0x00, 0x00});
  if (!PutCoefficients(p, fluxNum, coefficients)) return std::nullopt;
  return Build(
      Command::kSetCaliber,
      {.selector = commProtocol, .address = address, .fifthCoefficient = fluxNum == kFlowPoints},
      p);
}

std::optional<Bytes> BuildWriteAllCoefficients(int32_t commProtocol, std::string_view address,
                                               int32_t fluxNum,
                                               std::span<const int32_t, kFlowPoints> coefficients) {
  Bytes p;
  if (!PutCoefficients(p, fluxNum, coefficients)) return std::nullopt;
  return Build(
      Command::kWriteAllCoefficients,
      {.selector = commProtocol, .address = address, .fifthCoefficient = fluxNum == kFlowPoints},
      p);
}

std::optional<Bytes> BuildWriteCoefficient(int32_t commProtocol, std::string_view address,
                                           int index, int64_t value) {
  Bytes p;
  if (!PutBcd(p, value, 4)) return std::nullopt;
  return Build(Command::kWriteCoefficient,
               {.selector = commProtocol, .address = address, .variant = index - 1}, p);
}

std::optional<Bytes> BuildSetLocation(int32_t commProtocol, std::string_view address,
                                      int32_t location) {
  Bytes p;
  if (!PutBinBE(p, location, 1)) return std::nullopt;
  return Build(Command::kSetLocation, {.selector = commProtocol, .address = address}, p);
}

std::optional<Bytes> BuildWriteAccumulator(int32_t commProtocol, std::string_view address,
                                           Accumulator which, const EntryValue& value) {
  const AccumulatorRow* row = Find(kAccumulators, which);
  if (row == nullptr) return std::nullopt;
  Bytes p{row->subCode};
  if (!PutScaledBcd(p, value, row->decimals, 6)) return std::nullopt;
  p.push_back(row->unit);
  return Build(Command::kWriteAccumulator, {.selector = commProtocol, .address = address}, p);
}

std::optional<Bytes> BuildReadUltrasonicData(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kReadUltrasonicData, commProtocol, address);
}
std::optional<Bytes> BuildReadAccumulatedFlow(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kReadAccumulatedFlow, commProtocol, address);
}
std::optional<Bytes> BuildReadTemperaturePairing(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kReadTemperaturePairing, commProtocol, address);
}

std::optional<Bytes> BuildWriteTemperaturePairing(int32_t commProtocol, std::string_view address,
                                                  TemperatureLevel level,
                                                  const EntryValue& standard,
                                                  const EntryValue& supply,
                                                  const EntryValue& returnTemperature) {
  const TemperatureLevelRow* row = Find(kTemperatureLevels, level);
  if (row == nullptr) return std::nullopt;
  Bytes p{row->pairingSubCode};
  for (const EntryValue* t : {&standard, &supply, &returnTemperature}) {
    if (!PutScaledBcd(p, *t, 2, 2)) return std::nullopt;  // degrees x100
  }
  return Build(Command::kWriteTemperaturePairing, {.selector = commProtocol, .address = address},
               p);
}

std::optional<Bytes> BuildReadHeatUnit(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kReadHeatUnit, commProtocol, address);
}

std::optional<Bytes> BuildWriteHeatUnit(int32_t commProtocol, std::string_view address,
                                        HeatUnit unit) {
  const auto i = static_cast<size_t>(unit);
  if (i >= kHeatUnitBytes.size()) return std::nullopt;
  return Build(Command::kWriteHeatUnit, {.selector = commProtocol, .address = address},
               kHeatUnitBytes[i]);
}

std::optional<Bytes> BuildReadPipe(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kReadPipe, commProtocol, address);
}

std::optional<Bytes> BuildWritePipe(int32_t commProtocol, std::string_view address, PipeMode mode) {
  const auto i = static_cast<size_t>(mode);
  if (i >= kPipeModeBytes.size()) return std::nullopt;
  return Build(Command::kWritePipe, {.selector = commProtocol, .address = address},
               std::span<const uint8_t>(&kPipeModeBytes[i], 1));
}

std::optional<Bytes> BuildReadPtNumber(int32_t commProtocol, std::string_view address) {
  return BuildPlain(Command::kReadPtNumber, commProtocol, address);
}

std::optional<Bytes> BuildWritePtNumber(int32_t commProtocol, std::string_view address,
                                        const EntryValue& ptNumber) {
  Bytes p;
  const std::optional<int64_t> v = ptNumber.Integer();
  if (!v || !PutBcd(p, *v, 5)) return std::nullopt;
  return Build(Command::kWritePtNumber, {.selector = commProtocol, .address = address}, p);
}

std::optional<Bytes> BuildRequest(Command c, const CommandRequest& r) {
  const int p = r.selector;
  const std::string_view a = r.address;
  const int k = r.variant + 1;
  const auto level = static_cast<TemperatureLevel>(r.choice);
  switch (c) {
    case Command::kReadAddress:
      return BuildReadAddress(p);
    case Command::kWriteAddress:
      return BuildWriteAddress(p, a, r.newAddress);
    case Command::kSetClock:
      return BuildSetClock(p, a, r.now);
    case Command::kReadMeterData:
      return BuildReadMeterData(p, a, r.coldMeter);
    case Command::kEnterCalibration:
      return BuildEnterCalibration(p, a);
    case Command::kExitCalibration:
      return BuildExitCalibration(p, a);
    case Command::kClearData:
      return BuildClearData(p, a);
    case Command::kInitialise:
      return BuildInitialise(p, a);
    case Command::kStartTest:
      return BuildStartTest(p, a);
    case Command::kEndTest:
      return BuildEndTest(p, a);
    case Command::kBenchReadData:
      return BuildBenchReadData(p, a);
    case Command::kCalibrateFlowPoint:
      return BuildCalibrateFlowPoint(p, a, k, r.value);
    case Command::kAdjustTemperature:
      return BuildAdjustTemperature(p, a, level, r.value);
    case Command::kSetCaliber:
      return BuildSetCaliber(p, a, static_cast<int>(r.number), r.fluxNum, r.coefficients);
    case Command::kWriteAllCoefficients:
      return BuildWriteAllCoefficients(p, a, r.fluxNum, r.coefficients);
    case Command::kWriteCoefficient:
      return BuildWriteCoefficient(p, a, k, r.number);
    case Command::kSetLocation:
      return BuildSetLocation(p, a, static_cast<int32_t>(r.number));
    case Command::kWriteAccumulator:
      return BuildWriteAccumulator(p, a, static_cast<Accumulator>(r.choice), r.value);
    case Command::kReadUltrasonicData:
      return BuildReadUltrasonicData(p, a);
    case Command::kReadAccumulatedFlow:
      return BuildReadAccumulatedFlow(p, a);
    case Command::kReadTemperaturePairing:
      return BuildReadTemperaturePairing(p, a);
    case Command::kWriteTemperaturePairing:
      return BuildWriteTemperaturePairing(p, a, level, r.pairing[0], r.pairing[1], r.pairing[2]);
    case Command::kReadHeatUnit:
      return BuildReadHeatUnit(p, a);
    case Command::kWriteHeatUnit:
      return BuildWriteHeatUnit(p, a, static_cast<HeatUnit>(r.choice));
    case Command::kReadPipe:
      return BuildReadPipe(p, a);
    case Command::kWritePipe:
      return BuildWritePipe(p, a, static_cast<PipeMode>(r.choice));
    case Command::kReadPtNumber:
      return BuildReadPtNumber(p, a);
    case Command::kWritePtNumber:
      return BuildWritePtNumber(p, a, r.value);
  }
  return std::nullopt;
}

}  // namespace qv
