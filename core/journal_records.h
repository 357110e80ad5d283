// What the results journal keeps: one record per reading a detection window
// accepted into its grid, and one per coefficient or calibration write sent
// to a meter. Numbers are the values the grid showed, at the precision it
// showed them; a cell that was empty is no value.
//
// The journal only ever grows. When what a window shows for a reading
// changes after it was recorded (its standard volume weighed afterwards, a
// temperature or the class changed), a new record of the same reading
// supersedes the old one, which stays as it was: a reading's current record
// is the one no other record supersedes.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace qv {

// Local time of a record, "yyyy-MM-dd hh:mm:ss": sorts as it reads.
std::string JournalTime(std::chrono::system_clock::time_point t);

// The flow or the heat error within its limit, outside it, or not known
// (no standard volume or reference heat yet).
inline constexpr const char* kVerdictPass = "pass";
inline constexpr const char* kVerdictFail = "fail";

// The window a reading comes from.
inline constexpr const char* kFlowWindow = "flow";
inline constexpr const char* kOverallWindow = "overall";

// Where the weight behind a reading's standard volume came from: the scale
// readings taken from the scale (an initial reading nobody gave counts as
// 0), typed (a reading or the weight itself), or one reading of each kind.
// Empty: no weighing (the standard volume typed, or none given).
inline constexpr const char* kWeighingScale = "scale";
inline constexpr const char* kWeighingTyped = "typed";
inline constexpr const char* kWeighingMixed = "mixed";

struct ReadingRecord {
  int64_t Id = 0;          // given by the journal
  std::string Time;        // JournalTime of the reading; the journal stamps an empty one
  int64_t Supersedes = 0;  // the Id of the record this one replaces; 0 for none
  std::string Window;
  std::string Tester;
  // Bench settings that shaped the result.
  int Dn = 0;        // nominal diameter, mm
  int Level = 0;     // accuracy class 1..3
  int Location = 0;  // 0 return pipe, 1 supply pipe
  double StandardError = 0;
  double ErrorCorrection = 0;
  std::string Address;
  int Row = 0;                           // 1..20
  int FlowPoint = 0;                     // 1..5
  int Flow = 0;                          // L/h
  std::optional<double> StandardVolume;  // L, "#0.000"
  std::string Weighing;                  // kWeighingScale, kWeighingTyped, kWeighingMixed or empty
  std::optional<double> ReferenceHeat;   // kWh, "#0.0000"
  std::optional<double> MeterVolume;     // L, "#0.00"
  std::optional<double> MeterHeat;       // kWh, "#0.000"
  std::optional<double> VolumeError;     // %, "#0.00"
  std::optional<double> VolumeLimit;     // %, "#0.00"
  std::optional<double> HeatError;       // %, "#0.00"
  std::optional<double> HeatLimit;       // %, "#0.00"
  std::string Verdict;                   // kVerdictPass, kVerdictFail or empty
  std::optional<double> Inlet;           // °C, "#0.00"
  std::optional<double> Outlet;          // °C, "#0.00"
  std::array<std::optional<int64_t>, 5> Coefficients{};
  // What a verification record shows besides the grid, as it stood when the
  // reading was taken: the bench ([Bench] of sysinfo.ini), the meter type
  // of the bench settings and the bench's temperatures of the flow point.
  // Readings journalled before these were kept have none of them.
  std::string BenchName;
  std::string BenchReference;
  std::string CalibrationDue;         // "yyyy-mm-dd" or empty
  std::optional<int> MeterType;       // 0 mechanical meter, 1 heat meter
  std::optional<double> Fluid;        // °C, the point's fluid temperature as given
  std::optional<double> BenchInlet;   // °C, the overall detection's inlet as given
  std::optional<double> BenchOutlet;  // °C, its outlet

  bool operator==(const ReadingRecord&) const = default;
  // The same reading with the same values, whatever the two records' ids.
  bool SameReading(ReadingRecord other) const {
    other.Id = Id;
    other.Supersedes = Supersedes;
    return other == *this;
  }
};

struct WriteRecord {
  int64_t Id = 0;
  std::string Time;
  std::string Tester;
  std::string Address;
  int Row = 0;
  std::string What;   // the operation as the log names it: "写系数三", "流量一补偿"
  std::string Value;  // what was sent, as the operator reads it
  std::optional<std::string> Before;  // the value before, when it is known
  bool Confirmed = false;             // the meter answered the write
};

// Decimals a reading's numbers are shown and kept with.
namespace shown {
inline constexpr int kVolume = 2;
inline constexpr int kStandardVolume = 3;
inline constexpr int kHeat = 3;
inline constexpr int kReferenceHeat = 4;
inline constexpr int kPercent = 2;
inline constexpr int kTemperature = 2;
}  // namespace shown

// A temperature the operator gave, as records show it: with the two
// decimals of the other temperatures, or with more when it has them (20.5
// shows "20.50", 20.125 "20.125").
std::string GivenTemperatureText(double v);

// `v` rounded to `decimals` as a cell shows it (nothing stays nothing).
std::optional<double> Shown(std::optional<double> v, int decimals);

// Where the windows hand their readings and writes: the results journal
// (journal/core/journal.h, which says when a record is taken and stored).
class ResultRecorder {
 public:
  virtual ~ResultRecorder() = default;

  // Queues a record; its sequence number, 0 when it was not taken. A
  // reading gets its id at once in `*id` (0 when it was not taken), so that
  // a later record can supersede it.
  virtual uint64_t Record(ReadingRecord reading, int64_t* id = nullptr) = 0;
  virtual uint64_t Record(WriteRecord write) = 0;

  virtual bool IsOpen() const = 0;
  virtual const std::string& Path() const = 0;
  // The sequence number of the last record taken, and of the last one stored.
  virtual uint64_t Taken() const = 0;
  virtual uint64_t Acknowledged() const = 0;
  // Waits until `seq` is stored or the recorder has stopped; whether it was
  // stored.
  virtual bool WaitAcknowledged(uint64_t seq, std::chrono::milliseconds timeout) = 0;
};

}  // namespace qv
