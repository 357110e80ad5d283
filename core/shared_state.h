// Process-wide state of the bench without its ports: the settings record,
// the 20 meter rows, the channel-switch flags, the per-flow-point
// temperatures, the operation log and the constant pipe-size tables. The
// program holds exactly one, inside its `SharedState` (serial/port_slots.h),
// which adds the 32 port slots; tests build their own instances so that
// none depends on another's leftovers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/bench_settings.h"
#include "core/journal_records.h"
#include "core/operation_log.h"

namespace qv {

inline constexpr int kMeterRows = 20;
inline constexpr int kFlowPoints = 5;
inline constexpr int kDnCount = 18;
inline constexpr int kPortCount = 32;

// Wiring of the bench (`CommType`).
enum CommTypeValue : int32_t {
  kCommSingle = 0,    // "单串口": every frame through the port of row 1
  kCommMulti = 1,     // "多串口": every row through its own port
  kCommInfrared = 2,  // "红外": nothing is transmitted
  kCommChannel = 3,   // "多通道": port of row 1 behind the channel switch
};

// The settings record. Every field starts at zero; `LoadSysInfo` fills in the
// file values or the defaults.
struct SystemSettings {
  int32_t CommProtocol = 0;
  int32_t MeterType = 0;
  int32_t DN = 0;
  int32_t Language = 0;
  int32_t MeasurementLevel = 0;
  int32_t Location = 0;
  int32_t CommType = 0;
  double StandardError = 0;
  double ErrorCorrection = 0;
  int32_t MeterNum = 0;
  int32_t FluxNum = 0;
  int32_t FluxOne = 0;
  int32_t FluxTwo = 0;
  int32_t FluxThree = 0;
  int32_t FluxFour = 0;
  int32_t FluxFive = 0;
  double EntreTerm = 0;
  double ExitTerm = 0;
  double FluidTerm = 0;
  std::string OperatorName;  // not stored; "Test" once the main window shows
  std::string TestDate;      // not stored; today, "yyyy-MM-dd"
  uint16_t ReadAgainTimes = 0;
  uint16_t CommWaitTimer = 0;
  // Rows on different lines are served at the same time.
  bool ParallelLines = false;
  // The bench as its records name it: its name (unique in the factory), its
  // reference equipment and that equipment's calibration due date
  // ("yyyy-mm-dd" or empty).
  std::string BenchName;
  std::string BenchReference;
  std::string CalibrationDue;
  // libpq connection text of the factory server ("host=... dbname=..." or
  // "service=NAME"), never with a password; empty: nothing is sent.
  std::string FactoryServer;

  bool English() const { return Language == 1; }
  // The five flow points as one array, index 0..4 = FluxOne..FluxFive.
  std::array<int32_t, kFlowPoints> FlowPoints() const {
    return {FluxOne, FluxTwo, FluxThree, FluxFour, FluxFive};
  }
  void SetFlowPoints(const std::array<int32_t, kFlowPoints>& q);
};

// One bench position, index 0..19, shown to the operator as 1..20.
struct MeterRow {
  std::string Address;  // hex digits as typed or as a meter reported them
  bool Selected = false;
  int32_t Comm = 0;     // 0 = none, 1..32 = COM1..COM32
  int32_t Channel = 0;  // switch channel 0..15, shown as 1..16
  std::array<int32_t, kFlowPoints> Coefficients{};
};

// Temperatures of one flow point: supply, return and fluid.
struct FlowPointTerm {
  double Entre = 0;
  double Exit = 0;
  double Fluid = 0;
};

// Nominal diameter in millimetres, indexed by `DN`.
inline constexpr std::array<int32_t, kDnCount> DnSizeTable = {
    15, 20, 25, 32, 40, 50, 65, 80, 100, 125, 150, 200, 250, 300, 350, 400, 450, 500};

// Nominal flow, indexed by `DN`. The last three rows are exactly these values.
inline constexpr std::array<int32_t, kDnCount> NominalFlowTable = {
    1500,   2500,   3500,   6000,   10000,  15000,  25000,   40000,    60000,
    100000, 150000, 250000, 400000, 600000, 750000, 9000000, 12000000, 150000000};

inline bool ValidDn(int32_t dn) {
  return dn >= 0 && dn < kDnCount;
}

struct BenchState {
  SystemSettings Settings;
  std::array<MeterRow, kMeterRows> Rows;
  // Indexed by switch channel, not by row: 1 = the switch confirmed it open.
  std::array<int32_t, kMeterRows> ChannelState{};
  std::array<FlowPointTerm, kFlowPoints> FlowPointTerms{};
  uint8_t SwitchFrameSeq = 0;
  // Device path of each port number 1..32 (index 0 unused), from the optional
  // "Devices" section of comminfo.ini; empty = the platform default.
  std::array<std::string, kPortCount + 1> PortDevices;
  // The weighing scale, from the "Scale" section of comminfo.ini.
  ScaleSettings Scale;
  // The program's directory, with its trailing separator.
  std::string ProgramDir;
  // Folder of the files the program writes (settings files, Info.txt, trace
  // files, exports/), with its trailing separator: chosen at start-up (see
  // core/data_dir.h); empty until then, which means `ProgramDir`.
  std::string DataDir;
  OperationLog Log;
  // An operation runs in some window; a second one is refused meanwhile.
  bool OperationRunning = false;

  // Where the program's files go: `DataDir`, or `ProgramDir` while none was
  // chosen.
  const std::string& DataFolder() const { return DataDir.empty() ? ProgramDir : DataDir; }

  // The results journal; none while the program runs without one.
  std::unique_ptr<ResultRecorder> Journal;
};

// The part of start-up that touches no port: chooses the data folder for
// `state.ProgramDir` (logging which one), clears the rows and the switch
// flags, resets the switch sequence and reads both settings files from the
// data folder.
void InitBenchState(BenchState& state);

}  // namespace qv
