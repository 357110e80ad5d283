// The settings files as read from any bytes: sysinfo.ini's keys and
// comminfo.ini's rows and scale. Every range-checked value lands in its
// range; a document written back, or saved as the program saves it, and
// read again gives the same values; a value set stays on its own line,
// whatever it holds.
#include <string>
#include <string_view>

#include "core/ini_file.h"
#include "core/settings_files.h"
#include "fuzz/fuzz_check.h"

using namespace qv;
using qv::fuzz::Check;

namespace {

// `as_saved`: floats compared as a save writes them, 15 significant digits
// (a file's "01553255926280448383" is saved as "1.55325592628045E18").
bool Same(const SystemSettings& a, const SystemSettings& b, bool as_saved = false) {
  const auto same = [as_saved](double x, double y) {
    return x == y || (x != x && y != y) || (as_saved && FloatText(x) == FloatText(y));
  };
  return a.CommProtocol == b.CommProtocol && a.MeterType == b.MeterType && a.DN == b.DN &&
         a.Language == b.Language && a.MeasurementLevel == b.MeasurementLevel &&
         a.Location == b.Location && a.CommType == b.CommType &&
         same(a.StandardError, b.StandardError) && same(a.ErrorCorrection, b.ErrorCorrection) &&
         a.MeterNum == b.MeterNum && a.FluxNum == b.FluxNum && a.FlowPoints() == b.FlowPoints() &&
         same(a.EntreTerm, b.EntreTerm) && same(a.ExitTerm, b.ExitTerm) &&
         same(a.FluidTerm, b.FluidTerm) && a.CommWaitTimer == b.CommWaitTimer &&
         a.ReadAgainTimes == b.ReadAgainTimes && a.ParallelLines == b.ParallelLines &&
         a.BenchName == b.BenchName && a.BenchReference == b.BenchReference &&
         a.CalibrationDue == b.CalibrationDue && a.FactoryServer == b.FactoryServer;
}

bool SameScale(const ScaleSettings& a, const ScaleSettings& b) {
  bool same = a.Device == b.Device && a.Protocol == b.Protocol && a.Line() == b.Line();
  for (const ScaleLineKey key : kScaleLineKeys)
    same = same && ScaleLineSetting(a, key) == ScaleLineSetting(b, key);
  return same;
}

void CheckRanges(const BenchState& state) {
  const SystemSettings& s = state.Settings;
  Check(s.CommProtocol >= 0 && s.CommProtocol <= 1, "CommProtocol");
  Check(s.MeterType >= 0 && s.MeterType <= 1, "MeterType");
  Check(s.DN >= 0 && s.DN < kDnCount, "DN");
  Check(s.MeasurementLevel >= 0 && s.MeasurementLevel <= 2, "MeasurementLevel");
  Check(s.Location >= 0 && s.Location <= 1, "Location");
  Check(s.CommType >= 0 && s.CommType <= 3, "CommType");
  Check(s.MeterNum >= 1 && s.MeterNum <= kMeterRows, "MeterNum");
  Check(s.FluxNum >= 1 && s.FluxNum <= kFlowPoints, "FluxNum");
  for (double v : {s.StandardError, s.ErrorCorrection, s.EntreTerm, s.ExitTerm, s.FluidTerm})
    Check(v == v && v - v == 0, "a float key that is not finite");
  Check(s.CalibrationDue.empty() || IsCalibrationDate(s.CalibrationDue), "CalibrationDue");
  Check(!HoldsPassword(s.FactoryServer), "a password taken from the file");
  for (const MeterRow& r : state.Rows) {
    Check(r.Comm >= 0 && r.Comm <= kPortCount, "Comm");
    Check(r.Channel >= 0 && r.Channel <= 15, "Channel");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const IniFile ini = IniFile::Parse(text);
  // One bench state for the whole run, cleared for each input: building one
  // (its operation log's queue) costs far more than reading a document.
  static BenchState* const state = new BenchState;
  state->Settings = SystemSettings{};
  state->Rows = {};
  state->PortDevices = {};
  ReadSysInfo(ini, state->Settings);
  ReadCommInfo(ini, *state);
  CheckRanges(*state);

  // Written back as the program saves it, then read again.
  IniFile again = IniFile::Parse(ini.Text());
  SystemSettings reread;
  ReadSysInfo(again, reread);
  Check(Same(state->Settings, reread), "a document written back reads differently");

  // Saved as the program saves it, then read again: the same values.
  IniFile saved = IniFile::Parse(text);
  WriteSysInfo(saved, state->Settings);
  WriteCommInfo(saved, *state);
  auto restarted = std::make_unique<BenchState>();
  const IniFile reloaded = IniFile::Parse(saved.Text());
  ReadSysInfo(reloaded, restarted->Settings);
  ReadCommInfo(reloaded, *restarted);
  Check(
      Same(state->Settings, restarted->Settings, true) && SameScale(state->Scale, restarted->Scale),
      "a saved document reads differently");

  // A value holding any text stays one value of one key.
  const std::string value(text.substr(0, 64));
  again.Set("BaseParam", "Fuzz", value);
  again.Set("Fuzz section", "0", value);
  const IniFile third = IniFile::Parse(again.Text());
  const auto got = third.Get("BaseParam", "Fuzz");
  Check(got.has_value(), "a key set is not found again");
  SystemSettings third_settings;
  ReadSysInfo(third, third_settings);
  Check(Same(state->Settings, third_settings), "setting one key changed another");
  return 0;
}
