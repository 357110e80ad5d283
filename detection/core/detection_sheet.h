// The detection sheet: every value the flow and the overall detection
// windows show, without the windows.
//
// Inputs: per flow point the bench's values (the scale readings, the weight,
// a typed standard volume, the fluid, inlet and outlet temperatures); per row
// and flow point what the meter read (volume, heat); per row the meter's
// temperatures and coefficients from its last reply; the bench settings
// (class, pipe size, location, flow points, factor and offset, meters and
// points under test). `Recompute` derives everything else from them: each
// point's standard volume, reference heat and limits, each reading's errors
// and verdict. A derived value without a usable reference (no standard
// volume or one of 0, no reference heat, a point or row not under test) is
// empty: none is ever kept from an earlier state.
//
// Every change of an input recomputes. A value the operator gives enters as
// a whole or not at all: a refused one leaves the sheet as it was.
//
// The overall detection's sheet (`heat`) adds the heat: inlet and outlet
// temperatures per point, the meters' heat, the reference heat and the heat
// limits; the flow detection's keeps the meters' coefficients instead.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/journal_records.h"
#include "core/shared_state.h"

namespace qv {

// The bench values of a flow point, as the bench group shows them.
enum class BenchField { kInitial, kFinal, kWeight, kVolume, kFluid, kEntre, kExit };

// What became of a value the operator gave.
enum class Entry {
  kTaken,
  // A scale reading taken, but the final one is below the initial one: the
  // weight (and all that follows from it) stays as it was.
  kNegativeWeighing,
  // A temperature outside the water tables: nothing changed.
  kOutOfRange,
};

// The temperatures the water tables cover: 1 .. 150 °C.
bool BenchTemperatureInRange(double t);

// An error against its limit: the percent (unrounded) and whether it is
// beyond the limit (shown red).
struct SheetError {
  double Percent = 0;
  bool Outside = false;
};

// The cells of a flow point in a row, as the grid and the workbook show them.
enum class SheetCell { kVolume, kVolumeError, kCoefficient, kHeat, kHeatError };
struct CellText {
  std::string Text;  // "" for an empty cell
  bool Red = false;  // an error beyond its limit
};

class DetectionSheet {
 public:
  DetectionSheet(const SystemSettings& settings, bool heat);

  bool Heat() const { return heat_; }

  // The flow point the bench values belong to (0..4). Selecting a point
  // that was never given a temperature carries the one shown over to it:
  // the bench's water is the same.
  int SelectedPoint() const { return selected_; }
  void SelectPoint(int point);

  // The operator's value of `field` of the selected point (nothing: the
  // field emptied). The standard volume typed holds until the weight, a
  // scale reading or the fluid temperature changes again; then the weighed
  // volume holds. A scale reading is always taken; the weight follows it
  // unless the final reading would be below the initial one (an empty
  // reading counts as 0). A temperature outside 1 .. 150 °C is refused.
  Entry Enter(BenchField field, std::optional<double> value);
  // A scale reading taken from the scale: exactly `Enter` of the initial
  // (or final) reading of the selected point, remembered as read, not typed.
  Entry EnterScaleReading(bool final_reading, double kg);
  // What `field` of `point` holds: the input, and for kVolume the standard
  // volume (typed or weighed).
  std::optional<double> Bench(int point, BenchField field) const;
  // The temperatures of the selected point that the operator has not given
  // (nor carried over from a point he gave them for) take these.
  void DefaultTemperatures(double fluid, double entre, double exit);

  // A meter's reply for flow point `point` of `row`: its volume (heat) at
  // the precision the grid shows them, its temperatures and coefficients.
  // With a journal, the reading of the meter at `address` is recorded.
  void Read(int row, int point, double litres, double kwh, double entre, double exit,
            std::span<const int64_t> coefficients, const std::string& address);
  // The operator's meter volume (heat) of `row` at `point`; nothing: emptied.
  void EnterVolume(int row, int point, std::optional<double> litres);
  void EnterHeat(int row, int point, std::optional<double> kwh);
  // "界面清空": every meter's values gone; the bench values stay.
  void ClearReadings();

  std::optional<double> Volume(int row, int point) const { return rows_.at(row).volume.at(point); }
  std::optional<double> MeterHeat(int row, int point) const { return rows_.at(row).heat.at(point); }
  std::optional<double> Entre(int row) const { return rows_.at(row).entre; }
  std::optional<double> Exit(int row) const { return rows_.at(row).exit; }
  std::optional<int64_t> Coefficient(int row, int point) const {
    return rows_.at(row).coefficients.at(point);
  }

  // Derives every value below from the inputs and the settings; every
  // change above runs it, a change of the settings made elsewhere needs it.
  void Recompute();

  std::optional<double> StandardVolume(int point) const { return points_.at(point).standard; }
  // Nothing below 0.00001 kWh (no mass, equal temperatures) or without
  // every value it needs.
  std::optional<double> ReferenceHeat(int point) const { return points_.at(point).reference; }
  double VolumeLimit(int point) const { return points_.at(point).volume_limit; }
  double HeatLimit(int point) const { return points_.at(point).heat_limit; }
  std::optional<SheetError> VolumeError(int row, int point) const {
    return cells_.at(row).at(point).volume;
  }
  std::optional<SheetError> HeatError(int row, int point) const {
    return cells_.at(row).at(point).heat;
  }
  // kVerdictFail when an error is beyond its limit, kVerdictPass when one is
  // known and none is, else empty.
  std::string Verdict(int row, int point) const;
  // A cell's text ("#0.00" volume and errors, "#0.000" heat).
  CellText Cell(int row, int point, SheetCell cell) const;

  // The results journal: hands a record over and gives its id (0: none
  // kept). A reading is recorded when it is read; whenever what the sheet
  // shows for it changes afterwards (its standard volume weighed later, a
  // temperature, the class), a record that supersedes the last one follows,
  // until the reading is cleared or read anew.
  std::function<int64_t(const ReadingRecord&)> journal;
  WallClock clock = [] { return std::chrono::system_clock::now(); };

  // What the sheet shows for the reading of (row, point) of the meter at
  // `address`, as a journal record, with what a verification record shows
  // besides: the bench and the meter type of the settings, the point's
  // fluid (and inlet and outlet) temperatures. A record superseding it keeps
  // the bench and the meter type of the reading it supersedes.
  ReadingRecord Record(int row, int point, const std::string& address) const;

 private:
  enum Temp { kFluidTemp, kEntreTemp, kExitTemp, kTemps };
  struct Temperature {
    std::optional<double> value;
    bool given = false;  // by the operator, not a default
  };
  // Where a scale reading came from.
  enum class Source : uint8_t { kNone, kTyped, kScale };
  struct BenchPoint {
    std::optional<double> initial, final_reading, weight, typed_volume;
    Source initial_from = Source::kNone, final_from = Source::kNone;
    // Where the weight came from (kWeighing...; empty: nobody gave one).
    std::string weighing;
    bool volume_typed = false;
    std::array<Temperature, kTemps> temps{};
  };
  struct MeterValues {
    std::array<std::optional<double>, kFlowPoints> volume{}, heat{};
    std::optional<double> entre, exit;
    std::array<std::optional<int64_t>, kFlowPoints> coefficients{};
  };
  struct PointValues {
    std::optional<double> standard, reference;
    double volume_limit = 0;
    double heat_limit = 0;
  };
  struct CellValues {
    std::optional<SheetError> volume, heat;
  };
  // A reading in the journal: its last record and that record's id.
  struct Recorded {
    int64_t id = 0;
    ReadingRecord record;
  };

  Entry EnterReading(BenchField field, std::optional<double> value, Source from);
  Entry EnterTemperature(Temp temp, std::optional<double> value);
  void Follow();
  // The record of a reading now: what the meter said with it as `was` holds
  // it, the rest as the sheet shows it.
  ReadingRecord RecordNow(int row, int point, const ReadingRecord& was) const;

  const SystemSettings& settings_;
  bool heat_;
  int selected_ = 0;
  std::array<BenchPoint, kFlowPoints> bench_{};
  std::array<MeterValues, kMeterRows> rows_{};
  std::array<PointValues, kFlowPoints> points_{};
  std::array<std::array<CellValues, kFlowPoints>, kMeterRows> cells_{};
  std::array<std::array<std::optional<Recorded>, kFlowPoints>, kMeterRows> recorded_{};
};

// A number in the shortest general decimal form, up to 15 significant
// digits: 100 -> "100", 0.1 -> "0.1", 99.5 -> "99.5".
std::string ShortestDecimal(double v);

}  // namespace qv
