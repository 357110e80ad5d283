// The command catalogue: every request frame the bench sends to meters.
//
// `kCommands` holds one row per command with everything the line protocol
// fixes about it: type, control code, length, data identifier, the fixed part
// of its payload and how its reply is recognised. The builders below read
// their row; the reply scans of the windows read the same rows through
// `IsReplyTo`.
//
// Two families:
//   bench frames    T = 55, built only for `CommProtocol` 0 ("188"); the
//                   payload always ends in one 00, counted in L
//   standard frames T = 20 (21 for a cold meter under versions 4 and 5),
//                   built for protocol versions 0..5; no trailing 00
//
// Every builder returns the whole frame (preamble through 16), or nothing,
// so nothing is sent: selector out of range, an address that is not hex
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
};
inline constexpr size_t kCommandCount = 28;

enum class Family : uint8_t { kBench, kStandard };

// What follows the fixed lead bytes of a payload.
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
  std::array<std::string_view, 6> labels;  // operation labels, by variant index
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
inline constexpr std::array<CommandRow, kCommandCount> kCommands = {{
// id / name / labels                                                                                    family            T     coldT C     L     L5    DI            var TGswap wild   payload                         lead                                           reply
{Command::kReadAddress, "ReadAddress", {"读地址"},                                                        Family::kBench,    0x55, 0,    0x23, 0x04, 0,    {0x81, 0x0A}, 1, false, true,  Payload::kNone,               {},                                            {0xA3, ReplyDi::kNone}},
{Command::kWriteAddress, "WriteAddress", {"写地址"},                                                      Family::kBench,    0x55, 0,    0x35, 0x0B, 0,    {0xA0, 0x18}, 1, false, false, Payload::kNewAddress,         {},                                            {0xB5, ReplyDi::kRequest}},
{Command::kSetClock, "SetClock", {"系统对时", "广播对时"},                                                Family::kStandard, 0x20, 0,    0x04, 0x0A, 0,    {0xA0, 0x15}, 1, true,  false, Payload::kClock,              {},                                            {0x84, ReplyDi::kRequest}},
{Command::kReadMeterData, "ReadMeterData", {"读计量数据"},                                                Family::kStandard, 0x20, 0x21, 0x01, 0x03, 0,    {0x90, 0x1F}, 1, true,  false, Payload::kNone,               {},                                            {0x81, ReplyDi::kRequest}},
{Command::kEnterCalibration, "EnterCalibration", {"进入检定"},                                            Family::kBench,    0x55, 0,    0x24, 0x05, 0,    {0x01, 0x10}, 1, false, false, Payload::kNone,               {{0x01}, 1},                                   {0xA4, ReplyDi::kRequest}},
{Command::kExitCalibration, "ExitCalibration", {"退出检定"},                                              Family::kBench,    0x55, 0,    0x24, 0x05, 0,    {0x01, 0x10}, 1, false, false, Payload::kNone,               {{0x02}, 1},                                   {0xA4, ReplyDi::kRequest}},
{Command::kClearData, "ClearData", {"数据清空"},                                                          Family::kBench,    0x55, 0,    0x24, 0x05, 0,    {0x01, 0x10}, 1, false, false, Payload::kNone,               {{0x00}, 1},                                   {0xA4, ReplyDi::kRequest}},
{Command::kInitialise, "Initialise", {"初始化"},                                                          Family::kBench,    0x55, 0,    0x24, 0x04, 0,    {0x01, 0x01}, 1, false, false, Payload::kNone,               {},                                            {0xA4, ReplyDi::kRequest}},
// StartTest and EndTest: L stays 04 although F2 00 follow SER; meters expect it so.
{Command::kStartTest, "StartTest", {"开始"},                                                              Family::kBench,    0x55, 0,    0x24, 0x04, 0,    {0x01, 0x02}, 1, false, false, Payload::kNone,               {{0xF2}, 1},                                   {0xA4, ReplyDi::kRequest}},
{Command::kEndTest, "EndTest", {"结束"},                                                                  Family::kBench,    0x55, 0,    0x24, 0x04, 0,    {0x01, 0x08}, 1, false, false, Payload::kNone,               {{0xF2}, 1},                                   {0xA4, ReplyDi::kRequest}},
{Command::kBenchReadData, "BenchReadData", {"流量一", "流量二", "流量三", "流量四", "流量五", "读系数"},  Family::kBench,    0x55, 0,    0x21, 0x04, 0,    {0x90, 0x1F}, 1, false, false, Payload::kNone,               {},                                            {0xA1, ReplyDi::kRequest}},
{Command::kCalibrateFlowPoint, "CalibrateFlowPoint", {"流量一标定", "流量二标定", "流量三标定", "流量四标定", "流量五标定"},
                                                                                                          Family::kBench,    0x55, 0,    0x24, 0x08, 0,    {0x01, 0x03}, 5, false, false, Payload::kVolume,             {},                                            {0xA4, ReplyDi::kRequest}},
{Command::kAdjustTemperature, "AdjustTemperature", {"低温调整", "中温调整", "高温调整"},                  Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x12}, 1, false, false, Payload::kTemperature,        {},                                            {0xA4, ReplyDi::kRequest}},
{Command::kSetCaliber, "SetCaliber", {"设置口径"},                                                        Family::kBench,    0x55, 0,    0x24, 0x18, 0x1C, {0x01, 0x00}, 1, false, false, Payload::kCaliber,            {},                                            {0xA4, ReplyDi::kRequest}},
{Command::kWriteAllCoefficients, "WriteAllCoefficients", {"写全部系数"},                                  Family::kBench,    0x55, 0,    0x24, 0x14, 0x18, {0x01, 0x09}, 1, false, false, Payload::kCoefficients,       {},                                            {0xA4, ReplyDi::kRequest}},
{Command::kWriteCoefficient, "WriteCoefficient", {"写系数一", "写系数二", "写系数三", "写系数四", "写系数五"},
                                                                                                          Family::kBench,    0x55, 0,    0x24, 0x08, 0,    {0x01, 0x0A}, 5, false, false, Payload::kCoefficient,        {},                                            {0xA4, ReplyDi::kRequest}},
{Command::kSetLocation, "SetLocation", {"设置安装位置"},                                                  Family::kBench,    0x55, 0,    0x24, 0x05, 0,    {0x01, 0x0F}, 1, false, false, Payload::kLocation,           {},                                            {0xA4, ReplyDi::kRequest}},
// WriteAccumulator: labels, sub-codes, scales and units in kAccumulators.
{Command::kWriteAccumulator, "WriteAccumulator", {},                                                      Family::kBench,    0x55, 0,    0x24, 0x0C, 0,    {0x01, 0x11}, 1, false, false, Payload::kAccumulator,        {},                                            {0xA4, ReplyDi::kRequest}},
{Command::kReadUltrasonicData, "ReadUltrasonicData", {"读超声数据"},                                      Family::kBench,    0x55, 0,    0x21, 0x06, 0,    {0x90, 0x1E}, 1, false, false, Payload::kNone,               {{0x00, 0x50}, 2},                             {0xA1, ReplyDi::kRequest}},
{Command::kReadAccumulatedFlow, "ReadAccumulatedFlow", {"读累计流量"},                                    Family::kBench,    0x55, 0,    0x21, 0x06, 0,    {0x90, 0x1D}, 1, false, false, Payload::kNone,               {{0x00, 0x50}, 2},                             {0xA1, ReplyDi::kRequest}},
{Command::kReadTemperaturePairing, "ReadTemperaturePairing", {"读温度配对"},                              Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x12}, 1, false, false, Payload::kNone,               {{0x05, 0x00, 0x50}, 3},                       {0xA4, ReplyDi::kRequest}},
{Command::kWriteTemperaturePairing, "WriteTemperaturePairing", {"写低温配对", "写中温配对", "写高温配对"}, Family::kBench,    0x55, 0,    0x24, 0x0B, 0,    {0x01, 0x12}, 1, false, false, Payload::kTemperaturePairing, {},                                            {0xA4, ReplyDi::kRequest}},
{Command::kReadHeatUnit, "ReadHeatUnit", {"读热量单位"},                                                  Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x13}, 1, false, false, Payload::kNone,               {{0x00, 0x00, 0x00}, 3},                       {0xA4, ReplyDi::kRequest}},
{Command::kWriteHeatUnit, "WriteHeatUnit", {"写热量单位"},                                                Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x13}, 1, false, false, Payload::kHeatUnit,           {{0x80}, 1},                                   {0xA4, ReplyDi::kRequest}},
{Command::kReadPipe, "ReadPipe", {"读管道"},                                                              Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x13}, 1, false, false, Payload::kNone,               {{0x01, 0x00, 0x00}, 3},                       {0xA4, ReplyDi::kRequest}},
{Command::kWritePipe, "WritePipe", {"写管道"},                                                            Family::kBench,    0x55, 0,    0x24, 0x07, 0,    {0x01, 0x13}, 1, false, false, Payload::kPipe,               {{0x81, 0x00}, 2},                             {0xA4, ReplyDi::kRequest}},
{Command::kReadPtNumber, "ReadPtNumber", {"读PT编号"},                                                    Family::kBench,    0x55, 0,    0x24, 0x0A, 0,    {0x01, 0x14}, 1, false, false, Payload::kNone,               {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 6},     {0xA4, ReplyDi::kRequest}},
{Command::kWritePtNumber, "WritePtNumber", {"写PT编号"},                                                  Family::kBench,    0x55, 0,    0x24, 0x0A, 0,    {0x01, 0x14}, 1, false, false, Payload::kPtNumber,           {{0x80}, 1},                                   {0xA4, ReplyDi::kRequest}},
}};
// clang-format on

constexpr const CommandRow& Row(Command c) {
  return kCommands[static_cast<size_t>(c)];
}

// WriteAccumulator registers: sub-code, decimal places of the value sent
// (x1000 = 3, working time x1 = 0) and CJ/T 188 unit code (05 kWh, 2C m3).
enum class Accumulator : uint8_t { kHeat, kCold, kFlow, kWorkTime, kSharedHeat, kReturnFlow };
struct AccumulatorRow {
  Accumulator id;
  std::string_view label;
  uint8_t subCode;
  int decimals;
  uint8_t unit;
};
// clang-format off
inline constexpr std::array<AccumulatorRow, 6> kAccumulators = {{
    {Accumulator::kHeat,       "写热量",     0x05, 3, 0x05},
    {Accumulator::kCold,       "写冷量",     0x06, 3, 0x05},
    {Accumulator::kFlow,       "写流量",     0x07, 3, 0x2C},
    {Accumulator::kWorkTime,   "写工作时间", 0x08, 0, 0x00},
    {Accumulator::kSharedHeat, "写分摊热量", 0x09, 3, 0x05},
    {Accumulator::kReturnFlow, "写回水温度", 0x0A, 3, 0x2C},
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

// The two unit bytes WriteHeatUnit sends after 80 (the row's list index).
enum class HeatUnit : uint8_t { kKWh, kGJ };
inline constexpr std::array<std::array<uint8_t, 2>, 2> kHeatUnitBytes = {
    {{0x00, 0x05}, {0x01, 0x11}}};

// The pipe-mode byte WritePipe sends after 81 00 (the row's list index).
enum class PipeMode : uint8_t { kSingle, kDouble };
inline constexpr std::array<uint8_t, 2> kPipeModeBytes = {0x01, 0x02};

// Protocol versions of the standard family, as indices: 1 "M-BusV2.01",
// 2 "M-BusV2.02", 3 "M-BusV2.03", 4 "M-BusV3.01", 5 "TG"; 0 builds like 1..4.
inline constexpr int kVersionCount = 6;
inline constexpr int kVersionTG = 5;

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

// Everything a request can carry besides what the table fixes; each command
// reads the fields its payload needs. The window operation tables build
// their frames through it.
struct CommandRequest {
  int selector = 0;  // `CommProtocol` (bench family) or protocol version 0..5
  std::string_view address;
  int variant = 0;       // flow point or coefficient 0..4, where the DI counts it
  int choice = 0;        // TemperatureLevel, Accumulator, HeatUnit or PipeMode
  EntryValue value{""};  // volume, temperature, register value or PT number
  std::array<EntryValue, 3> pairing{EntryValue(""), EntryValue(""), EntryValue("")};
  int64_t number = 0;                 // coefficient, location or DN index
  std::string_view newAddress;        // WriteAddress
  int32_t fluxNum = kFlowPoints - 1;  // a fifth coefficient is sent when it is 5
  std::array<int32_t, kFlowPoints> coefficients{};
  bool coldMeter = false;
  std::chrono::system_clock::time_point now{};  // SetClock
};
std::optional<Bytes> BuildRequest(Command c, const CommandRequest& r);

// --- builders -----------------------------------------------------------
// `commProtocol`: the setting `CommProtocol` (bench family, 0 only).
// `version`: protocol version index 0..5 (standard family).

std::optional<Bytes> BuildReadAddress(int32_t commProtocol);
std::optional<Bytes> BuildWriteAddress(int32_t commProtocol, std::string_view address,
                                       std::string_view newAddress);
// Sends `now` plus one second, local time.
std::optional<Bytes> BuildSetClock(int version, std::string_view address,
                                   std::chrono::system_clock::time_point now);
std::optional<Bytes> BuildReadMeterData(int version, std::string_view address, bool coldMeter);
std::optional<Bytes> BuildEnterCalibration(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildExitCalibration(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildClearData(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildInitialise(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildStartTest(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildEndTest(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildBenchReadData(int32_t commProtocol, std::string_view address);
// `point` 1..5; `volume` in litres, sent x10000.
std::optional<Bytes> BuildCalibrateFlowPoint(int32_t commProtocol, std::string_view address,
                                             int point, const EntryValue& volume);
// `temperature` in degrees, sent x100.
std::optional<Bytes> BuildAdjustTemperature(int32_t commProtocol, std::string_view address,
                                            TemperatureLevel level, const EntryValue& temperature);
// `dnIndex` into `DnSizeTable`; a fifth coefficient is sent when `fluxNum` is 5.
std::optional<Bytes> BuildSetCaliber(int32_t commProtocol, std::string_view address, int dnIndex,
                                     int32_t fluxNum,
                                     std::span<const int32_t, kFlowPoints> coefficients);
std::optional<Bytes> BuildWriteAllCoefficients(int32_t commProtocol, std::string_view address,
                                               int32_t fluxNum,
                                               std::span<const int32_t, kFlowPoints> coefficients);
// `index` 1..5.
std::optional<Bytes> BuildWriteCoefficient(int32_t commProtocol, std::string_view address,
                                           int index, int64_t value);
std::optional<Bytes> BuildSetLocation(int32_t commProtocol, std::string_view address,
                                      int32_t location);
std::optional<Bytes> BuildWriteAccumulator(int32_t commProtocol, std::string_view address,
                                           Accumulator which, const EntryValue& value);
std::optional<Bytes> BuildReadUltrasonicData(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildReadAccumulatedFlow(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildReadTemperaturePairing(int32_t commProtocol, std::string_view address);
// Temperatures in degrees, each sent x100, in the order standard, supply, return.
std::optional<Bytes> BuildWriteTemperaturePairing(int32_t commProtocol, std::string_view address,
                                                  TemperatureLevel level,
                                                  const EntryValue& standard,
                                                  const EntryValue& supply,
                                                  const EntryValue& returnTemperature);
std::optional<Bytes> BuildReadHeatUnit(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildWriteHeatUnit(int32_t commProtocol, std::string_view address,
                                        HeatUnit unit);
std::optional<Bytes> BuildReadPipe(int32_t commProtocol, std::string_view address);
std::optional<Bytes> BuildWritePipe(int32_t commProtocol, std::string_view address, PipeMode mode);
std::optional<Bytes> BuildReadPtNumber(int32_t commProtocol, std::string_view address);
// `ptNumber`: a whole number of at most ten digits.
std::optional<Bytes> BuildWritePtNumber(int32_t commProtocol, std::string_view address,
                                        const EntryValue& ptNumber);

}  // namespace qv
