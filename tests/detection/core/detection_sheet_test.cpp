// The detection sheet as tables: bench values and readings in, every
// derived value out, for the flow and the overall detection; the journal
// records that follow a reading.
#include "detection/core/detection_sheet.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/detection_settings.h"

namespace qv {
namespace {

// The bench of the window tests with four meters.
SystemSettings Bench() {
  SystemSettings s;
  test::DetectionSettings(s, 4);
  return s;
}

struct Step {
  BenchField field;
  std::optional<double> value;
  Entry entry = Entry::kTaken;
  bool scale = false;  // a scale reading taken from the scale, not typed
};
using Steps = std::vector<Step>;

// Enters `steps` into the selected point, each giving its entry.
void Enter(DetectionSheet& sheet, const Steps& steps) {
  for (const Step& s : steps) {
    const Entry entry = s.scale ? sheet.EnterScaleReading(s.field == BenchField::kFinal, *s.value)
                                : sheet.Enter(s.field, s.value);
    EXPECT_EQ(entry, s.entry) << static_cast<int>(s.field);
  }
}

using F = BenchField;

TEST(DetectionSheet, BenchValuesGiveTheStandardVolume) {
  struct Case {
    const char* name;
    Steps steps;
    std::optional<double> weight, volume, fluid;
  };
  const Case cases[] = {
      {"as the window starts: 0 kg", {}, 0.0, 0.0, 20.0},
      {"weighed", {{F::kFluid, 20.5}, {F::kFinal, 110}, {F::kInitial, 10}}, 100.0, 100.167, 20.5},
      {"a final reading below the initial one keeps the weight",
       {{F::kFinal, 110}, {F::kInitial, 250, Entry::kNegativeWeighing}},
       110.0,
       110.172,
       20.0},
      {"an initial reading before the final one waits for it",
       {{F::kInitial, 10, Entry::kNegativeWeighing}, {F::kFinal, 110}},
       100.0,
       100.156,
       20.0},
      {"typed", {{F::kVolume, 5}}, 0.0, 5.0, 20.0},
      {"weighed again after typing", {{F::kVolume, 5}, {F::kWeight, 50}}, 50.0, 50.078, 20.0},
      {"the volume emptied", {{F::kVolume, std::nullopt}}, 0.0, std::nullopt, 20.0},
      {"1.5 °C", {{F::kFluid, 1.5}, {F::kWeight, 100}}, 100.0, 99.980, 1.5},
      // A refused fluid temperature leaves the one before: 100.156 L, not
      // the 99.980 L of the 2 °C its first keystroke was.
      {"200 °C refused",
       {{F::kFluid, 200, Entry::kOutOfRange}, {F::kFinal, 100}},
       100.0,
       100.156,
       20.0},
      {"an emptied fluid temperature weighs nothing",
       {{F::kFluid, std::nullopt}, {F::kFinal, 100}},
       100.0,
       std::nullopt,
       std::nullopt},
      {"no weight", {{F::kWeight, std::nullopt}}, std::nullopt, std::nullopt, 20.0},
  };
  const SystemSettings s = Bench();
  for (const Case& c : cases) {
    for (bool heat : {false, true}) {
      DetectionSheet sheet(s, heat);
      Enter(sheet, c.steps);
      EXPECT_EQ(sheet.Bench(0, F::kWeight), c.weight) << c.name;
      EXPECT_EQ(sheet.StandardVolume(0), c.volume) << c.name;
      EXPECT_EQ(sheet.Bench(0, F::kFluid), c.fluid) << c.name;
    }
  }
}

TEST(DetectionSheet, EachPointHasItsOwnBenchValues) {
  const SystemSettings s = Bench();
  DetectionSheet sheet(s, true);
  Enter(sheet, {{F::kFluid, 20.5}, {F::kEntre, 80}, {F::kFinal, 110}, {F::kInitial, 10}});
  sheet.SelectPoint(1);
  // The water's temperatures carry over to a point without its own; the
  // scale readings and the weight do not.
  EXPECT_EQ(sheet.Bench(1, F::kFluid), 20.5);
  EXPECT_EQ(sheet.Bench(1, F::kEntre), 80.0);
  EXPECT_EQ(sheet.Bench(1, F::kInitial), std::nullopt);
  EXPECT_EQ(sheet.Bench(1, F::kWeight), std::nullopt);
  EXPECT_EQ(sheet.StandardVolume(1), std::nullopt);
  Enter(sheet, {{F::kFluid, 30}, {F::kWeight, 50}});
  sheet.SelectPoint(0);
  EXPECT_EQ(sheet.Bench(0, F::kFluid), 20.5);
  EXPECT_EQ(sheet.StandardVolume(0), 100.167);
  EXPECT_EQ(sheet.Bench(0, F::kInitial), 10.0);
  sheet.SelectPoint(7);  // no such point
  EXPECT_EQ(sheet.SelectedPoint(), 0);
}

// The cells of row 0 at point 0 after `steps` and a meter volume (heat).
struct CellCase {
  const char* name;
  Steps steps;
  std::optional<double> volume, heat;
  const char* volume_error;
  bool volume_red;
  const char* heat_error;
  bool heat_red;
  const char* verdict;
};

void CheckCells(const SystemSettings& s, std::span<const CellCase> cases) {
  for (const CellCase& c : cases) {
    DetectionSheet sheet(s, true);
    Enter(sheet, c.steps);
    sheet.EnterVolume(0, 0, c.volume);
    sheet.EnterHeat(0, 0, c.heat);
    const CellText v = sheet.Cell(0, 0, SheetCell::kVolumeError);
    const CellText h = sheet.Cell(0, 0, SheetCell::kHeatError);
    EXPECT_EQ(v.Text, c.volume_error) << c.name;
    EXPECT_EQ(v.Red, c.volume_red) << c.name;
    EXPECT_EQ(h.Text, c.heat_error) << c.name;
    EXPECT_EQ(h.Red, c.heat_red) << c.name;
    EXPECT_EQ(sheet.Verdict(0, 0), c.verdict) << c.name;
  }
}

// 100 kg at 20 °C run from 80 to 60 °C: 100.156 L, 2.2922 kWh where the
// meter sits in the return pipe. Limits at 50 L/h: volume 2.008, heat 4.6.
const Steps kRun = {{F::kEntre, 80}, {F::kExit, 60}, {F::kFinal, 100}};

TEST(DetectionSheet, ErrorsAgainstTheirReferencesAndLimits) {
  const CellCase cases[] = {
      {"exact", kRun, 100.16, 2.292, "0.00", false, "-0.01", false, kVerdictPass},
      {"volume out", kRun, 102.18, 2.292, "2.02", true, "-0.01", false, kVerdictFail},
      {"heat out", kRun, 100.16, 2.41, "0.00", false, "5.14", true, kVerdictFail},
      {"heat alone", kRun, std::nullopt, 2.292, "", false, "-0.01", false, kVerdictPass},
      {"typed volume of 0", {{F::kVolume, 0}}, 80, std::nullopt, "", false, "", false, ""},
      {"no reference heat without temperatures",
       {{F::kFinal, 100}},
       100.16,
       2.292,
       "0.00",
       false,
       "",
       false,
       kVerdictPass},
      {"equal temperatures",
       {{F::kEntre, 60}, {F::kExit, 60}, {F::kFinal, 100}},
       100.16,
       0.0,
       "0.00",
       false,
       "",
       false,
       kVerdictPass},
      // An emptied fluid temperature gives neither a standard volume nor a
      // reference heat: no error is kept from before.
      {"fluid emptied",
       {kRun[0], kRun[1], kRun[2], {F::kFluid, std::nullopt}},
       100.16,
       2.292,
       "",
       false,
       "",
       false,
       ""},
      // A temperature outside the tables changes nothing.
      {"160 °C refused",
       {kRun[0], kRun[1], kRun[2], {F::kEntre, 160, Entry::kOutOfRange}},
       100.16,
       2.292,
       "0.00",
       false,
       "-0.01",
       false,
       kVerdictPass},
      // Half an entry never stands: the standard volume typed is whole.
      {"a tiny standard volume",
       {{F::kVolume, 0.0032}},
       80,
       std::nullopt,
       "2499900.00",
       true,
       "",
       false,
       kVerdictFail},
  };
  CheckCells(Bench(), cases);
  SystemSettings supply = Bench();
  supply.Location = 1;  // the supply pipe
  const CellCase in_supply[] = {
      {"supply pipe", kRun, 100.16, 2.266, "0.00", false, "0.02", false, kVerdictPass}};
  CheckCells(supply, in_supply);
}

TEST(DetectionSheet, LimitsFollowTheSettings) {
  SystemSettings s = Bench();
  DetectionSheet sheet(s, true);
  Enter(sheet, kRun);
  EXPECT_DOUBLE_EQ(sheet.VolumeLimit(0), 2.008);
  EXPECT_NEAR(sheet.HeatLimit(0), 4.6, 1e-12);
  EXPECT_EQ(sheet.HeatLimit(1), 0);  // no temperatures at point 2
  sheet.EnterVolume(0, 0, 102.18);
  EXPECT_TRUE(sheet.VolumeError(0, 0)->Outside);
  s.MeasurementLevel = 2;  // class 3: 3.02
  s.StandardError = 0.5;
  s.ErrorCorrection = 1.5;
  sheet.Recompute();
  EXPECT_DOUBLE_EQ(sheet.VolumeLimit(0), (3 + 0.05 * 20 / 50) * 0.5 + 1.5);
  EXPECT_FALSE(sheet.VolumeError(0, 0)->Outside);
  // Only the meters and points under test are judged.
  sheet.SelectPoint(3);
  Enter(sheet, {{F::kWeight, 100}});
  sheet.EnterVolume(3, 0, 100);
  sheet.EnterVolume(0, 3, 100);
  EXPECT_TRUE(sheet.VolumeError(3, 0) && sheet.VolumeError(0, 3));
  s.MeterNum = 3;
  s.FluxNum = 3;
  sheet.Recompute();
  EXPECT_FALSE(sheet.VolumeError(3, 0));
  EXPECT_FALSE(sheet.VolumeError(0, 3));
  EXPECT_TRUE(sheet.VolumeError(0, 0));
}

TEST(DetectionSheet, ShowingAgainKeepsWhatTheOperatorGave) {
  const SystemSettings s = Bench();
  DetectionSheet sheet(s, true);
  sheet.DefaultTemperatures(50, 50, 50);
  Enter(sheet, {{F::kEntre, 80}, {F::kExit, 72.5}, {F::kFinal, 100}});
  const std::optional<double> heat = sheet.ReferenceHeat(0);
  EXPECT_NEAR(sheet.HeatLimit(0), 5.6, 1e-12);
  sheet.DefaultTemperatures(45, 45, 45);
  EXPECT_EQ(sheet.Bench(0, F::kEntre), 80.0);
  EXPECT_EQ(sheet.Bench(0, F::kFluid), 45.0);  // the operator gave none
  EXPECT_NEAR(sheet.HeatLimit(0), 5.6, 1e-12);
  EXPECT_NE(sheet.ReferenceHeat(0), heat);
  Enter(sheet, {{F::kFluid, 50}});
  EXPECT_EQ(sheet.ReferenceHeat(0), heat);
}

TEST(DetectionSheet, ReadingsAsTheGridShowsThem) {
  const SystemSettings s = Bench();
  DetectionSheet flow(s, false);
  const int64_t coefficients[] = {10000, 10001, 10002, 10003};
  flow.Read(1, 2, 20.1649, 2.3456, 80.004, 59.996, coefficients, "2024000002");
  EXPECT_EQ(flow.Cell(1, 2, SheetCell::kVolume).Text, "20.16");
  EXPECT_EQ(flow.Cell(1, 2, SheetCell::kCoefficient).Text, "10002");
  EXPECT_EQ(flow.Cell(1, 4, SheetCell::kCoefficient).Text, "");
  EXPECT_EQ(flow.MeterHeat(1, 2), std::nullopt);  // no heat in the flow detection
  EXPECT_EQ(flow.Entre(1), 80.0);
  DetectionSheet overall(s, true);
  overall.Read(1, 2, 20.1649, 2.3456, 80.004, 59.996, coefficients, "2024000002");
  EXPECT_EQ(overall.Cell(1, 2, SheetCell::kHeat).Text, "2.346");
  EXPECT_EQ(overall.Coefficient(1, 2), std::nullopt);
  overall.ClearReadings();
  EXPECT_EQ(overall.Cell(1, 2, SheetCell::kVolume).Text, "");
  EXPECT_EQ(overall.Exit(1), std::nullopt);
}

// The records a sheet hands to the journal, ids from 1.
struct Journal {
  std::vector<ReadingRecord> records;
  void Attach(DetectionSheet& sheet) {
    sheet.journal = [this](const ReadingRecord& r) {
      records.push_back(r);
      records.back().Id = static_cast<int64_t>(records.size());
      return records.back().Id;
    };
    sheet.clock = [] { return std::chrono::system_clock::time_point{}; };
  }
};

// The bench, the meter type and the bench temperatures of a record.
auto Conditions(const ReadingRecord& r) {
  return std::tuple{r.BenchName, r.MeterType, r.Fluid, r.BenchInlet, r.BenchOutlet};
}

TEST(DetectionSheet, TheJournalFollowsWhatTheSheetShows) {
  SystemSettings s = Bench();
  s.BenchName = "Bench 3";
  DetectionSheet sheet(s, true);
  Journal j;
  j.Attach(sheet);
  Enter(sheet, {kRun[0], kRun[1]});
  // Read first, weighed afterwards: the first record has no reference, the
  // weighing supersedes it with the errors the sheet then shows.
  sheet.Read(0, 0, 100.16, 2.292, 80, 60, {}, "2024000001");
  ASSERT_EQ(j.records.size(), 1u);
  using C = decltype(Conditions(j.records[0]));
  EXPECT_EQ(Conditions(j.records[0]), C("Bench 3", 0, 20.0, 80.0, 60.0));
  EXPECT_EQ(j.records[0].StandardVolume, 0.0);
  EXPECT_EQ(j.records[0].VolumeError, std::nullopt);
  EXPECT_EQ(j.records[0].Verdict, "");
  Enter(sheet, {kRun[2]});
  ASSERT_EQ(j.records.size(), 2u);
  const ReadingRecord& weighed = j.records[1];
  EXPECT_EQ(weighed.Supersedes, 1);
  EXPECT_EQ(weighed.Time, j.records[0].Time);
  EXPECT_EQ(weighed.StandardVolume, 100.156);
  EXPECT_EQ(weighed.ReferenceHeat, 2.2922);
  EXPECT_EQ(weighed.VolumeError, 0.0);
  EXPECT_EQ(weighed.HeatError, -0.01);
  EXPECT_EQ(weighed.Verdict, kVerdictPass);
  EXPECT_EQ(weighed.Address, "2024000001");
  // A corrected final reading: the volume and the heat error both follow.
  Enter(sheet, {{F::kFinal, 110}});
  ASSERT_EQ(j.records.size(), 3u);
  EXPECT_EQ(j.records[2].Supersedes, 2);
  EXPECT_EQ(j.records[2].VolumeError, -9.09);
  EXPECT_EQ(j.records[2].HeatError, -9.1);
  EXPECT_EQ(j.records[2].Verdict, kVerdictFail);
  // Another row's reading changes nothing of this one; nothing changed
  // gives no record.
  sheet.Read(1, 0, 100.16, 2.292, 81, 61, {}, "2024000002");
  sheet.Recompute();
  ASSERT_EQ(j.records.size(), 4u);
  EXPECT_EQ(j.records[3].Supersedes, 0);
  // A class changed afterwards: both readings follow, on the bench they
  // were taken on; a temperature changed: its record says so.
  s.MeasurementLevel = 2;
  std::tie(s.BenchName, s.MeterType) = std::tuple{"Bench 4", 1};
  sheet.Recompute();
  EXPECT_EQ(j.records.size(), 6u);
  Enter(sheet, {{F::kExit, 55}});
  ASSERT_EQ(j.records.size(), 8u);
  EXPECT_EQ(Conditions(j.records[7]), C("Bench 3", 0, 20.0, 80.0, 55.0));
  sheet.Read(2, 0, 100.16, 2.292, 80, 55, {}, "2024000003");
  EXPECT_EQ(Conditions(j.records.back()), C("Bench 4", 1, 20.0, 80.0, 55.0));
  // Cleared: no more records for them.
  sheet.ClearReadings();
  Enter(sheet, {{F::kFinal, 100}});
  EXPECT_EQ(j.records.size(), 9u);

  // The flow detection keeps no inlet or outlet; a bench whose settings hold
  // no fluid temperature (0) gives none.
  s.FluidTerm = 0;
  DetectionSheet flow(s, false);
  j.Attach(flow);
  flow.Read(0, 0, 100, 0, 80, 60, {}, "2024000001");
  EXPECT_EQ(Conditions(j.records.back()),
            C("Bench 4", 1, std::nullopt, std::nullopt, std::nullopt));
}

// A scale reading taken from the scale.
Step Read(BenchField field, double kg, Entry entry = Entry::kTaken) {
  return {field, kg, entry, true};
}

TEST(DetectionSheet, TheJournalTellsWhereTheWeighingCameFrom) {
  constexpr Entry kBelow = Entry::kNegativeWeighing;
  const std::pair<Steps, std::string> cases[] = {
      {{Read(F::kInitial, 3.2, kBelow), Read(F::kFinal, 103.2)}, kWeighingScale},
      {{Read(F::kFinal, 100)}, kWeighingScale},  // the initial 0 the window starts with
      {{{F::kInitial, 3.2, kBelow}, Read(F::kFinal, 103.2)}, kWeighingMixed},
      {{Read(F::kFinal, 50), {F::kWeight, 100}}, kWeighingTyped},
      // A reading below the initial one keeps the weight, and its origin.
      {{{F::kInitial, 10, kBelow}, {F::kFinal, 110}, Read(F::kFinal, 5, kBelow)}, kWeighingTyped},
      {{Read(F::kFinal, 100), {F::kVolume, 99}}, ""},  // no weighing behind the volume
  };
  for (const auto& [steps, weighing] : cases) {
    const SystemSettings s = Bench();
    DetectionSheet sheet(s, false);
    Journal j;
    j.Attach(sheet);
    Enter(sheet, steps);
    sheet.Read(0, 0, 100.16, 0, 80, 60, {}, "2024000001");
    ASSERT_EQ(j.records.size(), 1u);
    EXPECT_EQ(j.records[0].Weighing, weighing) << j.records[0].StandardVolume.value_or(-1);
  }
}

}  // namespace
}  // namespace qv
