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
constexpr Entry kBelow = Entry::kNegativeWeighing;
constexpr Entry kOut = Entry::kOutOfRange;
constexpr auto kNone = std::nullopt;

TEST(DetectionSheet, BenchValuesGiveTheStandardVolume) {
  struct Case {
    const char* name;
    Steps steps;
    std::optional<double> weight, volume, fluid;
  };
  const Case cases[] = {
      {"as the window starts: 0 kg", {}, 0.0, 0.0, 20.0},
      {"weighed", {{F::kFluid, 20.5}, {F::kFinal, 110}, {F::kInitial, 10}}, 100.0, 100.167, 20.5},
      // A final reading below the initial one keeps the weight; an initial
      // one typed first waits for the final one.
      {"final below initial", {{F::kFinal, 110}, {F::kInitial, 250, kBelow}}, 110.0, 110.172, 20.0},
      {"initial before final", {{F::kInitial, 10, kBelow}, {F::kFinal, 110}}, 100.0, 100.156, 20.0},
      {"typed", {{F::kVolume, 5}}, 0.0, 5.0, 20.0},
      {"weighed again after typing", {{F::kVolume, 5}, {F::kWeight, 50}}, 50.0, 50.078, 20.0},
      {"the volume emptied", {{F::kVolume, kNone}}, 0.0, kNone, 20.0},
      {"1.5 °C", {{F::kFluid, 1.5}, {F::kWeight, 100}}, 100.0, 99.980, 1.5},
      // A refused fluid temperature leaves the one before: 100.156 L, not
      // the 99.980 L of the 2 °C its first keystroke was.
      {"200 °C refused", {{F::kFluid, 200, kOut}, {F::kFinal, 100}}, 100.0, 100.156, 20.0},
      {"no fluid temperature", {{F::kFluid, kNone}, {F::kFinal, 100}}, 100.0, kNone, kNone},
      {"no weight", {{F::kWeight, kNone}}, kNone, kNone, 20.0},
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
  EXPECT_EQ(sheet.Bench(1, F::kInitial), kNone);
  EXPECT_EQ(sheet.Bench(1, F::kWeight), kNone);
  EXPECT_EQ(sheet.StandardVolume(1), kNone);
  Enter(sheet, {{F::kFluid, 30}, {F::kWeight, 50}});
  sheet.SelectPoint(0);
  EXPECT_EQ(sheet.Bench(0, F::kFluid), 20.5);
  EXPECT_EQ(sheet.StandardVolume(0), 100.167);
  EXPECT_EQ(sheet.Bench(0, F::kInitial), 10.0);
  sheet.SelectPoint(7);  // no such point
  EXPECT_EQ(sheet.SelectedPoint(), 0);
}

// What row 0 shows at point 0: its volume error, its heat error and its
// verdict, "-" for an empty one, an error shown red marked with "!".
std::string Shown(const DetectionSheet& sheet) {
  std::string out;
  for (SheetCell cell : {SheetCell::kVolumeError, SheetCell::kHeatError}) {
    const CellText c = sheet.Cell(0, 0, cell);
    out += (c.Text.empty() ? "-" : c.Text) + (c.Red ? "! " : " ");
  }
  const std::string verdict = sheet.Verdict(0, 0);
  return out + (verdict.empty() ? "-" : verdict);
}

// 100 kg at 20 °C run from 80 to 60 °C: 100.156 L, 2.2922 kWh where the
// meter sits in the return pipe. Limits at 50 L/h: volume 2.008, heat 4.6.
const Steps kRun = {{F::kEntre, 80}, {F::kExit, 60}, {F::kFinal, 100}};

Steps RunThen(const Step& last) {
  Steps steps = kRun;
  steps.push_back(last);
  return steps;
}

TEST(DetectionSheet, ErrorsAgainstTheirReferencesAndLimits) {
  // After `steps`, the meter's volume and heat entered.
  struct Case {
    const char* name;
    Steps steps;
    std::optional<double> volume, heat;
    const char* shown;
    int location = 0;  // the return pipe; 1: the supply pipe
  };
  const Steps equal = {{F::kEntre, 60}, {F::kExit, 60}, {F::kFinal, 100}};
  const Case cases[] = {
      {"exact", kRun, 100.16, 2.292, "0.00 -0.01 pass"},
      {"volume out", kRun, 102.18, 2.292, "2.02! -0.01 fail"},
      {"heat out", kRun, 100.16, 2.41, "0.00 5.14! fail"},
      {"heat alone", kRun, kNone, 2.292, "- -0.01 pass"},
      {"typed volume of 0", {{F::kVolume, 0}}, 80, kNone, "- - -"},
      {"no reference heat without temperatures", {{F::kFinal, 100}}, 100.16, 2.292, "0.00 - pass"},
      {"equal temperatures", equal, 100.16, 0.0, "0.00 - pass"},
      // An emptied fluid temperature gives neither a standard volume nor a
      // reference heat: no error is kept from before.
      {"fluid emptied", RunThen({F::kFluid, kNone}), 100.16, 2.292, "- - -"},
      // A temperature outside the tables changes nothing.
      {"160 °C refused", RunThen({F::kEntre, 160, kOut}), 100.16, 2.292, "0.00 -0.01 pass"},
      // Half an entry never stands: the standard volume typed is whole.
      {"a tiny standard volume", {{F::kVolume, 0.0032}}, 80, kNone, "2499900.00! - fail"},
      {"the supply pipe", kRun, 100.16, 2.266, "0.00 0.02 pass", 1},
  };
  for (const Case& c : cases) {
    SystemSettings s = Bench();
    s.Location = c.location;
    DetectionSheet sheet(s, true);
    Enter(sheet, c.steps);
    sheet.EnterVolume(0, 0, c.volume);
    sheet.EnterHeat(0, 0, c.heat);
    EXPECT_EQ(Shown(sheet), c.shown) << c.name;
  }
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
  EXPECT_EQ(flow.MeterHeat(1, 2), kNone);  // no heat in the flow detection
  EXPECT_EQ(flow.Entre(1), 80.0);
  DetectionSheet overall(s, true);
  overall.Read(1, 2, 20.1649, 2.3456, 80.004, 59.996, coefficients, "2024000002");
  EXPECT_EQ(overall.Cell(1, 2, SheetCell::kHeat).Text, "2.346");
  EXPECT_EQ(overall.Coefficient(1, 2), kNone);
  overall.ClearReadings();
  EXPECT_EQ(overall.Cell(1, 2, SheetCell::kVolume).Text, "");
  EXPECT_EQ(overall.Exit(1), kNone);
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
// The record a record supersedes, its references, errors and verdict.
auto Figures(const ReadingRecord& r) {
  return std::tuple{r.Supersedes,  r.StandardVolume, r.ReferenceHeat,
                    r.VolumeError, r.HeatError,      r.Verdict};
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
  using R = decltype(Figures(j.records[0]));
  EXPECT_EQ(Conditions(j.records[0]), C("Bench 3", 0, 20.0, 80.0, 60.0));
  EXPECT_EQ(Figures(j.records[0]), R(0, 0.0, kNone, kNone, kNone, ""));
  Enter(sheet, {kRun[2]});
  ASSERT_EQ(j.records.size(), 2u);
  EXPECT_EQ(Figures(j.records[1]), R(1, 100.156, 2.2922, 0.0, -0.01, kVerdictPass));
  EXPECT_EQ(j.records[1].Time, j.records[0].Time);
  EXPECT_EQ(j.records[1].Address, "2024000001");
  // A corrected final reading: the volume and the heat error both follow.
  Enter(sheet, {{F::kFinal, 110}});
  ASSERT_EQ(j.records.size(), 3u);
  EXPECT_EQ(Figures(j.records[2]), R(2, 110.172, 2.5214, -9.09, -9.1, kVerdictFail));
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
  EXPECT_EQ(Conditions(j.records.back()), C("Bench 4", 1, kNone, kNone, kNone));
}

// A scale reading taken from the scale.
Step Read(BenchField field, double kg, Entry entry = Entry::kTaken) {
  return {field, kg, entry, true};
}

TEST(DetectionSheet, TheJournalTellsWhereTheWeighingCameFrom) {
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
