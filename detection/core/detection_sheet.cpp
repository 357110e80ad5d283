#include "detection/core/detection_sheet.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "core/number_format.h"
#include "detection/core/flow_arithmetic.h"
#include "detection/core/heat_arithmetic.h"

namespace qv {

std::string ShortestDecimal(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v == 0 ? 0.0 : v);  // no "-0"
  return buf;
}

bool BenchTemperatureInRange(double t) {
  return FluidTemperatureInRange(t);
}

DetectionSheet::DetectionSheet(const SystemSettings& settings, bool heat)
    : settings_(settings), heat_(heat) {
  // The bench as the window starts: the scale readings and the weight of
  // the first point at 0, the fluid temperature of the settings.
  BenchPoint& first = bench_[0];
  first.initial = first.final_reading = first.weight = 0.0;
  first.temps[kFluidTemp].value = settings.FluidTerm;
  Recompute();
}

void DetectionSheet::SelectPoint(int point) {
  if (point < 0 || point >= kFlowPoints || point == selected_) return;
  const BenchPoint& was = bench_[selected_];
  for (int t = 0; t < kTemps; ++t) {
    if (!bench_[point].temps[t].given) bench_[point].temps[t] = was.temps[t];
  }
  selected_ = point;
  Recompute();
}

Entry DetectionSheet::EnterScaleReading(bool final_reading, double kg) {
  return EnterReading(final_reading ? BenchField::kFinal : BenchField::kInitial, kg,
                      Source::kScale);
}

Entry DetectionSheet::EnterReading(BenchField field, std::optional<double> value, Source from) {
  BenchPoint& b = bench_[selected_];
  const bool initial = field == BenchField::kInitial;
  (initial ? b.initial : b.final_reading) = value;
  (initial ? b.initial_from : b.final_from) = value ? from : Source::kNone;
  const double net = b.final_reading.value_or(0) - b.initial.value_or(0);
  if (net < 0) {
    Recompute();
    return Entry::kNegativeWeighing;
  }
  b.weight = net;
  // A reading nobody gave (the 0 the window starts with, an emptied field)
  // was neither read nor typed.
  const auto either = [&](Source s) { return b.initial_from == s || b.final_from == s; };
  const bool scale = either(Source::kScale), typed = either(Source::kTyped);
  b.weighing = scale && typed ? kWeighingMixed
               : scale        ? kWeighingScale
               : typed        ? kWeighingTyped
                              : "";
  b.volume_typed = false;
  Recompute();
  return Entry::kTaken;
}

Entry DetectionSheet::Enter(BenchField field, std::optional<double> value) {
  BenchPoint& b = bench_[selected_];
  switch (field) {
    case BenchField::kInitial:
    case BenchField::kFinal:
      return EnterReading(field, value, Source::kTyped);
    case BenchField::kWeight:
      b.weight = value;
      b.weighing = value ? kWeighingTyped : "";
      b.volume_typed = false;
      break;
    case BenchField::kVolume:
      b.typed_volume = value;
      b.volume_typed = true;
      break;
    case BenchField::kFluid:
      return EnterTemperature(kFluidTemp, value);
    case BenchField::kEntre:
      return EnterTemperature(kEntreTemp, value);
    case BenchField::kExit:
      return EnterTemperature(kExitTemp, value);
  }
  Recompute();
  return Entry::kTaken;
}

Entry DetectionSheet::EnterTemperature(Temp temp, std::optional<double> value) {
  if (value && !BenchTemperatureInRange(*value)) return Entry::kOutOfRange;
  BenchPoint& b = bench_[selected_];
  b.temps[temp] = {value, true};
  // A new fluid temperature weighs the weight anew.
  if (temp == kFluidTemp) b.volume_typed = false;
  Recompute();
  return Entry::kTaken;
}

std::optional<double> DetectionSheet::Bench(int point, BenchField field) const {
  const BenchPoint& b = bench_.at(point);
  switch (field) {
    case BenchField::kInitial:
      return b.initial;
    case BenchField::kFinal:
      return b.final_reading;
    case BenchField::kWeight:
      return b.weight;
    case BenchField::kVolume:
      return points_.at(point).standard;
    case BenchField::kFluid:
      return b.temps[kFluidTemp].value;
    case BenchField::kEntre:
      return b.temps[kEntreTemp].value;
    case BenchField::kExit:
      return b.temps[kExitTemp].value;
  }
  return std::nullopt;
}

void DetectionSheet::DefaultTemperatures(double fluid, double entre, double exit) {
  BenchPoint& b = bench_[selected_];
  const double defaults[kTemps] = {fluid, entre, exit};
  for (int t = 0; t < kTemps; ++t) {
    if (!b.temps[t].given) b.temps[t].value = defaults[t];
  }
  Recompute();
}

void DetectionSheet::Read(int row, int point, double litres, double kwh, double entre, double exit,
                          std::span<const int64_t> coefficients, const std::string& address) {
  MeterValues& m = rows_.at(row);
  m.volume.at(point) = qv::Shown(litres, shown::kVolume);
  if (heat_) m.heat.at(point) = qv::Shown(kwh, shown::kHeat);
  m.entre = qv::Shown(entre, shown::kTemperature);
  m.exit = qv::Shown(exit, shown::kTemperature);
  if (!heat_) {
    for (size_t k = 0; k < coefficients.size() && k < m.coefficients.size(); ++k)
      m.coefficients[k] = coefficients[k];
  }
  // A new reading: the one before it keeps the last record it had.
  recorded_[row][point].reset();
  Recompute();
  if (!journal) return;
  ReadingRecord record = Record(row, point, address);
  record.Time = JournalTime(clock());
  const int64_t id = journal(record);
  recorded_[row][point] = Recorded{id, std::move(record)};
}

void DetectionSheet::EnterVolume(int row, int point, std::optional<double> litres) {
  rows_.at(row).volume.at(point) = qv::Shown(litres, shown::kVolume);
  if (!litres) recorded_[row][point].reset();
  Recompute();
}

void DetectionSheet::EnterHeat(int row, int point, std::optional<double> kwh) {
  rows_.at(row).heat.at(point) = qv::Shown(kwh, shown::kHeat);
  Recompute();
}

void DetectionSheet::ClearReadings() {
  rows_ = {};
  recorded_ = {};
  Recompute();
}

void DetectionSheet::Recompute() {
  const SystemSettings& s = settings_;
  const bool dn = ValidDn(s.DN);
  const auto q = s.FlowPoints();
  for (int p = 0; p < kFlowPoints; ++p) {
    const BenchPoint& b = bench_[p];
    PointValues& v = points_[p];
    const std::optional<double>& fluid = b.temps[kFluidTemp].value;
    // The standard volume at the precision the bench group shows it: what
    // the errors are measured against is what the operator reads.
    v.standard = b.typed_volume;
    if (!b.volume_typed) {
      v.standard.reset();
      if (b.weight && fluid && FluidTemperatureInRange(*fluid))
        v.standard = qv::Shown(VolumeFromMass(*fluid, *b.weight), shown::kStandardVolume);
    }
    v.volume_limit =
        ErrorLimit(FlowErrorLimitFormula(s.MeasurementLevel, dn ? DnSizeTable[s.DN] : 0, q[p]),
                   s.StandardError, s.ErrorCorrection);
    v.reference.reset();
    v.heat_limit = 0;
    if (!heat_) continue;
    const std::optional<double>& entre = b.temps[kEntreTemp].value;
    const std::optional<double>& exit = b.temps[kExitTemp].value;
    // Without both temperatures there is no difference to judge by.
    const double formula =
        entre && exit ? HeatErrorLimitFormula(s.MeasurementLevel, dn ? NominalFlowTable[s.DN] : 0,
                                              q[p], *exit, *entre)
                      : 0;
    v.heat_limit = ErrorLimit(formula, s.StandardError, s.ErrorCorrection);
    if (b.weight && fluid && entre && exit) {
      const std::optional<double> heat = StandardHeat(*exit, *entre, *fluid, *b.weight, s.Location);
      if (heat && *heat >= kLeastReferenceHeat) v.reference = heat;
    }
  }
  // Only the meters and the points under test are judged.
  const int meters = std::clamp(s.MeterNum, 0, kMeterRows);
  const int points = std::clamp(s.FluxNum, 0, kFlowPoints);
  for (int r = 0; r < kMeterRows; ++r) {
    for (int p = 0; p < kFlowPoints; ++p) {
      CellValues& c = cells_[r][p];
      c = {};
      if (r >= meters || p >= points) continue;
      const PointValues& v = points_[p];
      const std::optional<double>& volume = rows_[r].volume[p];
      if (volume && v.standard && *v.standard != 0) {
        const double percent = FlowError(*volume, *v.standard) * 100;
        c.volume = SheetError{percent, OutsideLimit(percent, v.volume_limit)};
      }
      const std::optional<double>& heat = rows_[r].heat[p];
      if (heat && v.reference) {
        const double percent = HeatErrorPercent(*heat, *v.reference);
        c.heat = SheetError{percent, OutsideLimit(percent, v.heat_limit)};
      }
    }
  }
  Follow();
}

std::string DetectionSheet::Verdict(int row, int point) const {
  const CellValues& c = cells_.at(row).at(point);
  if ((c.volume && c.volume->Outside) || (c.heat && c.heat->Outside)) return kVerdictFail;
  return c.volume || c.heat ? kVerdictPass : "";
}

CellText DetectionSheet::Cell(int row, int point, SheetCell cell) const {
  const auto fixed = [](std::optional<double> v, int decimals) {
    return v ? FormatFixed(*v, decimals) : std::string();
  };
  const auto error = [](std::optional<SheetError> e) {
    return e ? CellText{FormatFixed(e->Percent, shown::kPercent), e->Outside} : CellText{};
  };
  switch (cell) {
    case SheetCell::kVolume:
      return {fixed(Volume(row, point), shown::kVolume)};
    case SheetCell::kVolumeError:
      return error(VolumeError(row, point));
    case SheetCell::kCoefficient: {
      const std::optional<int64_t> c = Coefficient(row, point);
      return {c ? std::to_string(*c) : std::string()};
    }
    case SheetCell::kHeat:
      return {fixed(MeterHeat(row, point), shown::kHeat)};
    case SheetCell::kHeatError:
      return error(HeatError(row, point));
  }
  return {};
}

ReadingRecord DetectionSheet::Record(int row, int point, const std::string& address) const {
  const SystemSettings& s = settings_;
  const MeterValues& m = rows_.at(row);
  const PointValues& v = points_.at(point);
  const std::optional<SheetError> volume_error = VolumeError(row, point);
  const std::optional<SheetError> heat_error = HeatError(row, point);
  const auto percent = [](std::optional<SheetError> e) {
    return e ? qv::Shown(e->Percent, shown::kPercent) : std::nullopt;
  };
  ReadingRecord r;
  r.Window = heat_ ? kOverallWindow : kFlowWindow;
  r.Tester = s.OperatorName;
  r.Dn = ValidDn(s.DN) ? DnSizeTable[s.DN] : 0;
  r.Level = s.MeasurementLevel + 1;
  r.Location = s.Location;
  r.StandardError = s.StandardError;
  r.ErrorCorrection = s.ErrorCorrection;
  r.Address = address;
  r.Row = row + 1;
  r.FlowPoint = point + 1;
  r.Flow = s.FlowPoints().at(point);
  r.StandardVolume = qv::Shown(v.standard, shown::kStandardVolume);
  r.MeterVolume = m.volume.at(point);
  r.VolumeError = percent(volume_error);
  r.VolumeLimit = qv::Shown(v.volume_limit, shown::kPercent);
  if (heat_) {
    r.ReferenceHeat = qv::Shown(v.reference, shown::kReferenceHeat);
    r.MeterHeat = m.heat.at(point);
    r.HeatError = percent(heat_error);
    r.HeatLimit = qv::Shown(v.heat_limit, shown::kPercent);
  }
  r.Verdict = Verdict(row, point);
  r.Inlet = m.entre;
  r.Outlet = m.exit;
  if (!heat_) r.Coefficients = m.coefficients;
  // What a verification record shows besides the grid: the bench and the
  // meter type of the settings, and the point's bench temperatures as the
  // sheet holds them (the inlet and outlet only in the overall detection's).
  // A temperature outside the water tables (the 0 of a bench whose settings
  // hold none) is no temperature given: the record keeps none.
  r.BenchName = s.BenchName;
  r.BenchReference = s.BenchReference;
  r.CalibrationDue = s.CalibrationDue;
  r.MeterType = s.MeterType;
  const auto given = [](const Temperature& t) {
    return t.value && BenchTemperatureInRange(*t.value) ? t.value : std::nullopt;
  };
  const BenchPoint& b = bench_.at(point);
  r.Fluid = given(b.temps[kFluidTemp]);
  // Where the weighing behind a weighed standard volume came from.
  if (v.standard && !b.volume_typed) r.Weighing = b.weighing;
  if (heat_) {
    r.BenchInlet = given(b.temps[kEntreTemp]);
    r.BenchOutlet = given(b.temps[kExitTemp]);
  }
  return r;
}

ReadingRecord DetectionSheet::RecordNow(int row, int point, const ReadingRecord& was) const {
  // What the meter said with the reading, and the bench it was taken on
  // (its name, reference equipment and their calibration, the meter type),
  // stay as they were then; the rest, the bench temperatures included, is
  // what the sheet shows now.
  ReadingRecord now = Record(row, point, was.Address);
  now.Time = was.Time;
  now.Inlet = was.Inlet;
  now.Outlet = was.Outlet;
  now.Coefficients = was.Coefficients;
  std::tie(now.BenchName, now.BenchReference, now.CalibrationDue, now.MeterType) =
      std::tie(was.BenchName, was.BenchReference, was.CalibrationDue, was.MeterType);
  return now;
}

void DetectionSheet::Follow() {
  if (!journal) return;
  for (int r = 0; r < kMeterRows; ++r) {
    for (int p = 0; p < kFlowPoints; ++p) {
      std::optional<Recorded>& recorded = recorded_[r][p];
      if (!recorded) continue;
      ReadingRecord now = RecordNow(r, p, recorded->record);
      now.Supersedes = recorded->id;
      if (now.SameReading(recorded->record)) continue;
      const int64_t id = journal(now);
      recorded->record = std::move(now);
      if (id != 0) recorded->id = id;
    }
  }
}

}  // namespace qv
