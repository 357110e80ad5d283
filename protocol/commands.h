// The command catalogue: every request frame the bench sends to meters.
//
// `kCommands` holds one row per command with everything the line protocol
// fixes about it: type, control code, length, data identifier, the fixed
// lead of its payload, the kind of value that follows and how its reply is
// recognised. `BuildRequest` builds every frame from the row and the
// caller's values; the reply scans of the windows read the same rows through
// `IsReplyTo`.
//
// Adding a command:
//   1. its name in `Command` (before kCount);
//   2. its row in `kCommands`, in the same order (the compiler checks the
//      order, a row for every name, and that L counts DI, SER and payload);
//   3. a golden frame in tests/protocol/commands_golden_test.cpp (a test
//      fails for a command without one).
// A command whose payload carries a kind of value no command carried before
// also needs its `Payload` kind: a row in `kPayloads` and a case in the
// payload switch of commands.cpp (the compiler asks for it). A window sends
// it by a row in its operation table.
//
// Two families:
//   bench frames    T = 55, built only for `CommProtocol` 0 ("188"); the
//                   payload always ends in one 00, counted in L
//   standard frames T = 20 (21 for a cold meter under versions 4 and 5),
//                   built for protocol versions 0..5; no trailing 00
//
// `BuildRequest` gives the whole frame (preamble through 16), or nothing, so
// nothing is sent: selector out of range, an address that is not hex
// digits, a value that is not a number, is negative or does not fit its
// field.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/shared_state.h"
#include "protocol/address.h"
#include "protocol/codec.h"
#include "protocol/entry_value.h"

namespace qv {

enum class Command : uint8_t {
  kReadAddress,
  kWriteAddress,
  kSetClock,
  kReadMeterData,
  kEnterCalibration,
  kExitCalibration,
  kClearData,
  kInitialise,
  kStartTest,
  kEndTest,
  kBenchReadData,
  kCalibrateFlowPoint,
  kAdjustTemperature,
  kSetCaliber,
  kWriteAllCoefficients,
  kWriteCoefficient,
  kSetLocation,
  kWriteAccumulator,
  kReadUltrasonicData,
  kReadAccumulatedFlow,
  kReadTemperaturePairing,
  kWriteTemperaturePairing,
  kReadHeatUnit,
  kWriteHeatUnit,
  kReadPipe,
  kWritePipe,
  kReadPtNumber,
  kWritePtNumber,
  kCount  // not a command: the number of them
};

enum class Family : uint8_t { kBench, kStandard };

// What follows the fixed lead bytes of a payload; `CommandRequest` says
// which of the caller's values each kind reads.
enum class Payload : uint8_t {
  kNone,                // the lead bytes are all
  kNewAddress,          // 7 address bytes of the new address
  kClock,               // ss mm hh DD MM YY (BCD1 each), then 20
  kVolume,              // standard volume x10000 as BE4
  kTemperature,         // level byte, temperature x100 as BCD2
  kCaliber,             // DN as BCD2, 00 00, coefficients as BCD4
  kCoefficients,        // coefficients 1..4 (5) as BCD4
  kCoefficient,         // one coefficient as BCD4
  kLocation,            // one byte
  kAccumulator,         // sub-code, value as BCD6, unit code
  kTemperaturePairing,  // sub-code, three temperatures x100 as BCD2
  kHeatUnit,            // two unit bytes
  kPipe,                // one pipe-mode byte
  kPtNumber,            // PT number as BCD5
};

// How a value the caller gives travels: multiplied by 10^decimals and
// truncated toward zero (`whole`: a fraction is refused instead), then
// coded in `bytes` bytes. A value that is negative or does not fit builds
// no frame.
struct SentField {
  Coding coding = Coding::kBcd;
  uint8_t bytes = 0;  // 0: the caller sends no value of this kind
  int8_t decimals = 0;
  bool whole = false;
  // The largest number the bytes hold: 99..9 (two digits a byte) in BCD,
  // FF..F in binary.
  constexpr int64_t LargestRaw() const {
    int64_t limit = 1;
    for (int i = 0; i < bytes; ++i)
      limit *= coding == Coding::kBcd ? 100 : 256;
    return limit - 1;
  }
};

// The bytes each payload kind adds after the lead (a fifth coefficient not
// counted) and how the caller's value in it is sent.
struct PayloadRow {
  Payload id;
  uint8_t computed;
  SentField value;
};
// clang-format off
inline constexpr auto kPayloads = std::to_array<PayloadRow>({
    {Payload::kNone,               0,             {}},
    {Payload::kNewAddress,         kAddressBytes, {}},
    {Payload::kClock,              6 + 1,         {Coding::kBcd,      1}},
    {Payload::kVolume,             4,             {Coding::kBinaryBE, 4, 4}},  // litres
    {Payload::kTemperature,        1 + 2,         {Coding::kBcd,      2, 2}},  // degrees
    {Payload::kCaliber,            2 + 2 + 4 * 4, {Coding::kBcd,      4}},     // coefficients
    {Payload::kCoefficients,       4 * 4,         {Coding::kBcd,      4}},
    {Payload::kCoefficient,        4,             {Coding::kBcd,      4}},
    {Payload::kLocation,           1,             {Coding::kBinaryBE, 1}},
    {Payload::kAccumulator,        1 + 6 + 1,     {Coding::kBcd,      6, 3}},  // decimals: kAccumulators
    {Payload::kTemperaturePairing, 1 + 3 * 2,     {Coding::kBcd,      2, 2}},  // degrees
    {Payload::kHeatUnit,           2,             {}},
    {Payload::kPipe,               1,             {}},
    {Payload::kPtNumber,           5,             {Coding::kBcd,      5, 0, true}},
});
// clang-format on

// How a reply to the command is recognised: its control code and, for
// `kRequest`, the data identifier the request carried.
enum class ReplyDi : uint8_t { kNone, kRequest };
struct ReplyKind {
  uint8_t control = 0;
  ReplyDi di = ReplyDi::kNone;
};

// Up to seven fixed payload bytes right after SER.
struct Lead {
  std::array<uint8_t, 7> bytes{};
  uint8_t size = 0;
  constexpr std::span<const uint8_t> View() const { return {bytes.data(), size}; }
};

struct CommandRow {
  Command id;
  std::string_view name;
  Family family;
  uint8_t type;          // T
  uint8_t coldType;      // T for a cold meter under versions 4 and 5; 0 = same as `type`
  uint8_t control;       // C
  uint8_t length;        // L as sent
  uint8_t lengthFive;    // L with a fifth coefficient; 0 = no such form
  DataId di;             // DI of variant 0
  uint8_t variants;      // DI1 of variant k is di.di1 + k (flow point, coefficient)
  bool tgSwapsDi;        // version "TG" sends the DI bytes exchanged
  bool wildcardAddress;  // sent to AA x7 whatever the row's address
  Payload payload;       // computed part after `lead`
  Lead lead;             // fixed bytes after SER
  ReplyKind reply;
};

// clang-format off
inline constexpr auto kCommands = std::to_array<CommandRow>({
// id / name                                              family             T     coldT C     L     L5    DI            var TGswap wild   payload                         lead                                        reply
{Command::kReadAddress, "ReadAddress",                    Family::kBench,    0x55, 0,    0x23, 0x04, 0,    {0x81, 0x0A}, 1, false, true,  Payload::kNone,               {},                                         {0xA3, ReplyDi::kNone}},
{Command::kWriteAddress, "WriteAddress",                  Family::kBench,    0x55, 0,    0x35, 0x0B, 0,    {0xA0, 0x18}, 1, false, false, Payload::kNewAddress,         {},                                         {0xB5, ReplyDi::kRequest}},
{Command::kSetClock, "SetClock",                          Family::kStandard, 0x20, 0,    0x04, 0x0A, 0,    {0xA0, 0x15}, 1, true,  false, Payload::kClock,              {},                                         {0x84, ReplyDi::kRequest}},
{Command::kReadMeterData, "ReadMeterData",                Family::kStandard, 0x20, 0x21, 0x01, 0x03, 0,    {0x90, 0x1F}, 1, true,  false, Payload::kNone,               {},                                         {0x81, ReplyDi::kRequest}},
{Command::kEnterCalibration, "EnterCalibration",          Family::kBench,    0x55, 0,    0x24, 0x05, 0,    {0x01, 0x10}, 1, false, false, Payload::kNone,               {{0x01}, 1},                                {0xA4, ReplyDi::kRequest}},
{Command::kExitCalibration, "ExitCalibration",            Family::kBench,    0x55, 0,    0x24, 0x05, 0,    {0x01, 0x10}, 1, false, false, Payload::kNone,               {{0x02}, 1},                                {0xA4, ReplyDi::kRequest}},
{Command::kClearData, "ClearData",                        Family::kBench,    0x55, 0,    0x24, 0x05, 0,    {0x01, 0x10}, 1, false, false, Payload::kNone,               {{0x00}, 1},                                {0xA4, ReplyDi::kRequest}},
{Command::kInitialise, "Initialise",                      Family::kBench,    0x55, 0,    0x24, 0x04, 0,    {0x01, 0x01}, 1, false, false, Payload::kNone,               {},                                         {0xA4, ReplyDi::kRequest}},
// StartTest and EndTest: L stays 04 although F2 00 follow SER; meters expect it so.
{Command::kStartTest, "StartTest",                        Family::kBench,    0x55, 0,    0x24, 0x04, 0,    {0x01, 0x02}, 1, false, false, Payload::kNone,               {{0xF2}, 1},                                {0xA4, ReplyDi::kRequest}},
{Command::kEndTest, "EndTest",                            Family::kBench,    0x55, 0,    0x24, 0x04, 0,    {0x01, 0x08}, 1, false, false, Payload::kNone,               {{0xF2}, 1},                                {0xA4, ReplyDi::kRequest}},
{Command::kBenchReadData, "BenchReadData",                Family::kBench,    0x55, 0,    0x21, 0x04, 0,    {0x90, 0x1F}, 1, false, false, Payload::kNone,               {},                                         {0xA1, ReplyDi::kRequest}},
{Command::kCalibrateFlowPoint, "CalibrateFlowPoint",      Family::kBench,    0x55, 0,    0x24, 0x08, 0,    {0x01, 0x03}, 5, false, false, Payload::kVolume,             {},                                         {0xA4, ReplyDi::kRequest}},
{Command::kAdjustTemperature, "AdjustTemperature",        Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x12}, 1, false, false, Payload::kTemperature,        {},                                         {0xA4, ReplyDi::kRequest}},
{Command::kSetCaliber, "SetCaliber",                      Family::kBench,    0x55, 0,    0x24, 0x18, 0x1C, {0x01, 0x00}, 1, false, false, Payload::kCaliber,            {},                                         {0xA4, ReplyDi::kRequest}},
{Command::kWriteAllCoefficients, "WriteAllCoefficients",  Family::kBench,    0x55, 0,    0x24, 0x14, 0x18, {0x01, 0x09}, 1, false, false, Payload::kCoefficients,       {},                                         {0xA4, ReplyDi::kRequest}},
{Command::kWriteCoefficient, "WriteCoefficient",          Family::kBench,    0x55, 0,    0x24, 0x08, 0,    {0x01, 0x0A}, 5, false, false, Payload::kCoefficient,        {},                                         {0xA4, ReplyDi::kRequest}},
{Command::kSetLocation, "SetLocation",                    Family::kBench,    0x55, 0,    0x24, 0x05, 0,    {0x01, 0x0F}, 1, false, false, Payload::kLocation,           {},                                         {0xA4, ReplyDi::kRequest}},
// WriteAccumulator: sub-codes, scales and units in kAccumulators.
{Command::kWriteAccumulator, "WriteAccumulator",          Family::kBench,    0x55, 0,    0x24, 0x0C, 0,    {0x01, 0x11}, 1, false, false, Payload::kAccumulator,        {},                                         {0xA4, ReplyDi::kRequest}},
{Command::kReadUltrasonicData, "ReadUltrasonicData",      Family::kBench,    0x55, 0,    0x21, 0x06, 0,    {0x90, 0x1E}, 1, false, false, Payload::kNone,               {{0x00, 0x50}, 2},                          {0xA1, ReplyDi::kRequest}},
{Command::kReadAccumulatedFlow, "ReadAccumulatedFlow",    Family::kBench,    0x55, 0,    0x21, 0x06, 0,    {0x90, 0x1D}, 1, false, false, Payload::kNone,               {{0x00, 0x50}, 2},                          {0xA1, ReplyDi::kRequest}},
{Command::kReadTemperaturePairing, "ReadTemperaturePairing", Family::kBench,  0x55, 0,    0x24, 0x07, 0,    {0x01, 0x12}, 1, false, false, Payload::kNone,               {{0x05, 0x00, 0x50}, 3},                    {0xA4, ReplyDi::kRequest}},
{Command::kWriteTemperaturePairing, "WriteTemperaturePairing", Family::kBench, 0x55, 0,   0x24, 0x0B, 0,    {0x01, 0x12}, 1, false, false, Payload::kTemperaturePairing, {},                                         {0xA4, ReplyDi::kRequest}},
{Command::kReadHeatUnit, "ReadHeatUnit",                  Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x13}, 1, false, false, Payload::kNone,               {{0x00, 0x00, 0x00}, 3},                    {0xA4, ReplyDi::kRequest}},
{Command::kWriteHeatUnit, "WriteHeatUnit",                Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x13}, 1, false, false, Payload::kHeatUnit,           {{0x80}, 1},                                {0xA4, ReplyDi::kRequest}},
{Command::kReadPipe, "ReadPipe",                          Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x13}, 1, false, false, Payload::kNone,               {{0x01, 0x00, 0x00}, 3},                    {0xA4, ReplyDi::kRequest}},
{Command::kWritePipe, "WritePipe",                        Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x13}, 1, false, false, Payload::kPipe,               {{0x81, 0x00}, 2},                          {0xA4, ReplyDi::kRequest}},
{Command::kReadPtNumber, "ReadPtNumber",                  Family::kBench,    0x55, 0,    0x24, 0x0A, 0,    {0x01, 0x14}, 1, false, false, Payload::kNone,               {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 6},  {0xA4, ReplyDi::kRequest}},
{Command::kWritePtNumber, "WritePtNumber",                Family::kBench,    0x55, 0,    0x24, 0x0A, 0,    {0x01, 0x14}, 1, false, false, Payload::kPtNumber,           {{0x80}, 1},                                {0xA4, ReplyDi::kRequest}},
});
// clang-format on

constexpr const CommandRow& Row(Command c) {
  return kCommands[static_cast<size_t>(c)];
}

// WriteAccumulator registers: sub-code, decimal places of the value sent
// (x1000 = 3, working time x1 = 0) and CJ/T 188 unit code (05 kWh, 2C m3).
enum class Accumulator : uint8_t { kHeat, kCold, kFlow, kWorkTime, kSharedHeat, kReturnFlow };
struct AccumulatorRow {
  Accumulator id;
  uint8_t subCode;
  int8_t decimals;
  uint8_t unit;
};
// clang-format off
inline constexpr std::array<AccumulatorRow, 6> kAccumulators = {{
    {Accumulator::kHeat,       0x05, 3, 0x05},
    {Accumulator::kCold,       0x06, 3, 0x05},
    {Accumulator::kFlow,       0x07, 3, 0x2C},
    {Accumulator::kWorkTime,   0x08, 0, 0x00},
    {Accumulator::kSharedHeat, 0x09, 3, 0x05},
    {Accumulator::kReturnFlow, 0x0A, 3, 0x2C},
}};
// clang-format on

// Temperature levels: AdjustTemperature sends the level byte, the pairing
// commands a sub-code.
enum class TemperatureLevel : uint8_t { kLow, kMid, kHigh };
struct TemperatureLevelRow {
  TemperatureLevel id;
  uint8_t adjustLevel;
  uint8_t pairingSubCode;
};
inline constexpr std::array<TemperatureLevelRow, 3> kTemperatureLevels = {{
    {TemperatureLevel::kLow, 0x00, 0x06},
    {TemperatureLevel::kMid, 0x01, 0x07},
    {TemperatureLevel::kHigh, 0x02, 0x08},
}};

// The two unit bytes WriteHeatUnit sends after 80 (the row's list index);
// the second is the unit code a meter reports its heat unit with.
enum class HeatUnit : uint8_t { kKWh, kGJ };
inline constexpr std::array<std::array<uint8_t, 2>, 2> kHeatUnitBytes = {
    {{0x00, 0x05}, {0x01, 0x11}}};

// The pipe-mode byte WritePipe sends after 81 00 (the row's list index),
// also the code a meter reports its pipe mode with.
enum class PipeMode : uint8_t { kSingle, kDouble };
inline constexpr std::array<uint8_t, 2> kPipeModeBytes = {0x01, 0x02};

// Protocol versions of the standard family, as indices: 1 "M-BusV2.01",
// 2 "M-BusV2.02", 3 "M-BusV2.03", 4 "M-BusV3.01", 5 "TG"; 0 builds like
// 1..4 and names none.
inline constexpr int kVersionCount = 6;
inline constexpr int kVersionTG = 5;
inline constexpr std::array<std::string_view, kVersionCount> kVersionNames = {
    "", "M-BusV2.01", "M-BusV2.02", "M-BusV2.03", "M-BusV3.01", "TG"};
// The index of a version's name, -1 for any other text.
int VersionIndex(std::string_view name);

// How the value a caller gives `c` travels (for WriteAccumulator the
// register `choice`); its `bytes` are 0 for a command that sends none.
constexpr SentField ValueField(Command c, int choice = 0) {
  SentField field = kPayloads[static_cast<size_t>(Row(c).payload)].value;
  for (const AccumulatorRow& a : kAccumulators) {
    if (Row(c).payload == Payload::kAccumulator && static_cast<int>(a.id) == choice)
      field.decimals = a.decimals;
  }
  return field;
}

// The data identifier a command sends for a variant (flow point or
// coefficient 0..4) and protocol version (standard family).
DataId RequestDataId(Command c, int variant = 0, int version = 0);

// True when `frame` (from its 68) carries the markers of a reply to `c`: type
// 55 for bench commands, the reply control code and, where replies carry it,
// one of the command's data identifiers. Length, end byte and checksum are
// `CheckFrame`'s business.
bool IsReplyTo(Command c, std::span<const uint8_t> frame);

// The variant (0-based flow point or coefficient) whose data identifier the
// reply carries, or -1 when it carries none of the command's.
int ReplyVariant(Command c, std::span<const uint8_t> frame);

// Everything a request can carry besides what the table fixes; each payload
// kind reads its own fields:
//   kNewAddress           newAddress
//   kClock                now (sent one second later, local time)
//   kVolume               value (litres)
//   kTemperature          choice (TemperatureLevel), value (degrees)
//   kCaliber              number (index into DnSizeTable), fluxNum, coefficients
//   kCoefficients         fluxNum, coefficients
//   kCoefficient          number
//   kLocation             number
//   kAccumulator          choice (Accumulator), value
//   kTemperaturePairing   choice (TemperatureLevel), pairing (standard,
//                         supply, return; degrees)
//   kHeatUnit             choice (HeatUnit)
//   kPipe                 choice (PipeMode)
//   kPtNumber             value (a whole number)
struct CommandRequest {
  int selector = 0;  // `CommProtocol` (bench family) or protocol version 0..5
  std::string_view address{};
  int variant = 0;  // flow point or coefficient 0..4, where the DI counts it
  int choice = 0;
  EntryValue value{""};
  std::array<EntryValue, 3> pairing{EntryValue(""), EntryValue(""), EntryValue("")};
  int64_t number = 0;
  std::string_view newAddress{};
  int32_t fluxNum = kFlowPoints - 1;  // a fifth coefficient is sent when it is 5
  std::array<int32_t, kFlowPoints> coefficients{};
  bool coldMeter = false;  // standard family: type 21 under versions 4 and 5
  std::chrono::system_clock::time_point now{};
};
std::optional<Bytes> BuildRequest(Command c, const CommandRequest& r);

}  // namespace qv
