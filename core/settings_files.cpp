#include "core/settings_files.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ini_file.h"
#include "core/text.h"

namespace qv {

namespace {

constexpr std::string_view kBaseParam = "BaseParam";
constexpr std::string_view kDevices = "Devices";
constexpr std::string_view kScale = "Scale";

using IntField = int32_t SystemSettings::*;
using WordField = uint16_t SystemSettings::*;  // 16-bit: the file value modulo 65536
using FloatField = double SystemSettings::*;

// One key of sysinfo.ini. Integer keys accept only [min, max]; anything
// else, like text that is not a number, reads as the default.
struct SysKey {
  std::string_view key;
  std::variant<IntField, WordField, FloatField> field;
  std::string_view defaultText;  // empty: a flow point, defaulted from the DN
  int32_t min = INT32_MIN;
  int32_t max = INT32_MAX;
};

// Read and written in this order; DN comes before the flow points, whose
// defaults follow from it.
const SysKey kSysKeys[] = {
    // The list-backed keys take only an index of their list: a wiring of 7
    // would make every send fail silently, a class of 5 a limit of 0.
    {"CommProtocol", &SystemSettings::CommProtocol, "0", 0, 1},
    {"MeterType", &SystemSettings::MeterType, "0", 0, 1},
    {"DN", &SystemSettings::DN, "1", 0, kDnCount - 1},
    {"Language", &SystemSettings::Language, "0"},
    {"MeasurementLevel", &SystemSettings::MeasurementLevel, "1", 0, 2},
    {"Location", &SystemSettings::Location, "0", 0, 1},
    {"CommType", &SystemSettings::CommType, "0", 0, 3},
    {"StandardError", &SystemSettings::StandardError, "1"},
    {"ErrorCorrection", &SystemSettings::ErrorCorrection, "0"},
    {"MeterNum", &SystemSettings::MeterNum, "16", 1, kMeterRows},
    {"FluxNum", &SystemSettings::FluxNum, "5", 1, kFlowPoints},
    {"FluxOne", &SystemSettings::FluxOne, ""},
    {"FluxTwo", &SystemSettings::FluxTwo, ""},
    {"FluxThree", &SystemSettings::FluxThree, ""},
    {"FluxFour", &SystemSettings::FluxFour, ""},
    {"FluxFive", &SystemSettings::FluxFive, ""},
    {"EntreTerm", &SystemSettings::EntreTerm, "50"},
    {"ExitTerm", &SystemSettings::ExitTerm, "50"},
    {"FluidTerm", &SystemSettings::FluidTerm, "50"},
    {"CommWaitTimer", &SystemSettings::CommWaitTimer, "1000", 0},
    {"ReadAgainTimes", &SystemSettings::ReadAgainTimes, "3", 0},
};
constexpr std::string_view kParallelLines = "ParallelLines";  // 0 or 1, after them

// The text keys of sysinfo.ini, after "BaseParam". A value its rule refuses
// reads as empty: a due date that is no date is no due date, and a
// password is never taken from the file (a save then drops it).
struct TextKey {
  std::string_view section;
  std::string_view key;
  std::string SystemSettings::*field;
  bool (*valid)(std::string_view);  // nullptr: any text
};
const TextKey kTextKeys[] = {
    {"Bench", "Name", &SystemSettings::BenchName, nullptr},
    {"Bench", "Reference", &SystemSettings::BenchReference, nullptr},
    {"Bench", "CalibrationDue", &SystemSettings::CalibrationDue, IsCalibrationDate},
    {"Factory", "Server", &SystemSettings::FactoryServer,
     [](std::string_view text) { return !HoldsPassword(text); }},
};

// The flow points in the order of their keys, and the share of the nominal
// flow each one defaults to, in percent.
constexpr IntField kFlowPointFields[kFlowPoints] = {
    &SystemSettings::FluxOne, &SystemSettings::FluxTwo, &SystemSettings::FluxThree,
    &SystemSettings::FluxFour, &SystemSettings::FluxFive};
constexpr int64_t kFlowPointPercent[kFlowPoints] = {2, 1, 10, 100, 200};

// One column of comminfo.ini: a section with keys "0".."19", one per row.
struct RowKey {
  std::string_view section;
  int32_t MeterRow::*field;
  int32_t max;  // 0..max; anything else reads as 0
};
constexpr RowKey kRowKeys[] = {
    {"Comm", &MeterRow::Comm, kPortCount},
    {"Channel", &MeterRow::Channel, 15},
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Decimal with an optional sign, or "0x"/"0X" and hexadecimal digits; the
// whole text must be the number and it must fit 32 bits.
std::optional<int32_t> ParseInteger(std::string_view s) {
  int base = 10;
  if (s.starts_with("0x") || s.starts_with("0X")) {
    s.remove_prefix(2);
    base = 16;
    if (s.empty() || !IsHexDigit(s.front())) return std::nullopt;
  } else if (s.starts_with('+')) {
    s.remove_prefix(1);
    if (s.empty() || !IsDigit(s.front())) return std::nullopt;
  }
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// A finite decimal number, '.' as the decimal separator, exponent allowed.
std::optional<double> ParseFloat(std::string_view s) {
  if (s.starts_with('+')) {
    s.remove_prefix(1);
    if (s.starts_with('-')) return std::nullopt;
  }
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

int32_t ReadInteger(const IniFile& ini, std::string_view section, std::string_view key, int32_t def,
                    int32_t min, int32_t max) {
  const auto text = ini.Get(section, key);
  const auto v = text ? ParseInteger(*text) : std::nullopt;
  return (v && *v >= min && *v <= max) ? *v : def;
}

void LoadKey(const IniFile& ini, const SysKey& k, SystemSettings& s) {
  if (const auto* f = std::get_if<FloatField>(&k.field)) {
    const auto text = ini.Get(kBaseParam, k.key);
    const auto v = text ? ParseFloat(*text) : std::nullopt;
    s.*(*f) = v ? *v : *ParseFloat(k.defaultText);
    return;
  }
  int32_t def = 0;
  if (k.defaultText.empty()) {
    SystemSettings points;
    SetDefaultFlowPoints(points, s.DN);
    for (int i = 0; i < kFlowPoints; ++i) {
      if (std::get<IntField>(k.field) == kFlowPointFields[i]) def = points.*kFlowPointFields[i];
    }
  } else {
    def = *ParseInteger(k.defaultText);
  }
  const int32_t v = ReadInteger(ini, kBaseParam, k.key, def, k.min, k.max);
  if (const auto* w = std::get_if<WordField>(&k.field)) {
    s.*(*w) = static_cast<uint16_t>(v % 65536);
  } else {
    s.*std::get<IntField>(k.field) = v;
  }
}

std::string ValueText(const SysKey& k, const SystemSettings& s) {
  if (const auto* f = std::get_if<FloatField>(&k.field)) return FloatText(s.*(*f));
  if (const auto* w = std::get_if<WordField>(&k.field)) return std::to_string(s.*(*w));
  return std::to_string(s.*std::get<IntField>(k.field));
}

// A key added after the files' first form, the value to write and whether
// it is the key's default.
struct AddedKey {
  std::string_view section;
  std::string_view key;
  std::string value;
  bool isDefault;
};

// Keys added after the files' first form are written as a group (a section,
// or "ParallelLines" alone) only when one of them holds more than its
// default or the file has one of them already: the files of a bench that
// uses none of them keep exactly the keys they always had.
void SetAddedKeys(IniFile& ini, const std::vector<AddedKey>& keys) {
  const bool write = std::any_of(keys.begin(), keys.end(), [&ini](const AddedKey& k) {
    return !k.isDefault || ini.Get(k.section, k.key).has_value();
  });
  for (const AddedKey& k : keys) {
    if (write) ini.Set(k.section, k.key, k.value);
  }
}

}  // namespace

std::string SysInfoPath(const BenchState& state) {
  return state.DataFolder() + "sysinfo.ini";
}

std::string CommInfoPath(const BenchState& state) {
  return state.DataFolder() + "comminfo.ini";
}

// Reads a settings file, telling the log what of it could not be read.
static IniFile LoadNoting(const std::string& path, BenchState& state) {
  IniFile ini = IniFile::Load(path);
  if (const std::string note = ini.UnreadNote(); !note.empty()) state.Log.Post(note);
  return ini;
}

void LoadSysInfo(BenchState& state) {
  ReadSysInfo(LoadNoting(SysInfoPath(state), state), state.Settings);
}

void ReadSysInfo(const IniFile& ini, SystemSettings& settings) {
  for (const SysKey& k : kSysKeys)
    LoadKey(ini, k, settings);
  settings.ParallelLines = ReadInteger(ini, kBaseParam, kParallelLines, 0, 0, 1) == 1;
  for (const TextKey& k : kTextKeys) {
    const std::string text = OneLineText(ini.Get(k.section, k.key).value_or(""));
    settings.*k.field = !k.valid || text.empty() || k.valid(text) ? text : std::string();
  }
}

void SaveSysInfo(const BenchState& state) {
  IniFile ini = IniFile::Load(SysInfoPath(state));
  WriteSysInfo(ini, state.Settings);
  ini.Save();
}

void WriteSysInfo(IniFile& ini, const SystemSettings& settings) {
  for (const SysKey& k : kSysKeys)
    ini.Set(kBaseParam, k.key, ValueText(k, settings));
  const bool parallel = settings.ParallelLines;
  SetAddedKeys(ini, {{kBaseParam, kParallelLines, parallel ? "1" : "0", !parallel}});
  // One group per section.
  std::vector<AddedKey> group;
  for (const TextKey& k : kTextKeys) {
    if (!group.empty() && group.front().section != k.section) {
      SetAddedKeys(ini, group);
      group.clear();
    }
    const std::string& value = settings.*k.field;
    group.push_back({k.section, k.key, value, value.empty()});
  }
  SetAddedKeys(ini, group);
}

void LoadCommInfo(BenchState& state) {
  ReadCommInfo(LoadNoting(CommInfoPath(state), state), state);
}

void ReadCommInfo(const IniFile& ini, BenchState& state) {
  for (const RowKey& col : kRowKeys) {
    for (int row = 0; row < kMeterRows; ++row) {
      state.Rows[row].*col.field =
          ReadInteger(ini, col.section, std::to_string(row), 0, 0, col.max);
    }
  }
  for (int port = 1; port <= kPortCount; ++port) {
    state.PortDevices[port] = ini.Get(kDevices, std::to_string(port)).value_or("");
  }
  // A protocol or line setting that is not one of its choices reads as the
  // default: the first protocol, the protocol's own line.
  ScaleSettings& scale = state.Scale;
  scale = {};
  scale.Device = OneLineText(ini.Get(kScale, "Device").value_or(""));
  scale.Protocol =
      ScaleProtocolNamed(ini.Get(kScale, "Protocol").value_or("")).value_or(scale.Protocol);
  for (const ScaleLineKey key : kScaleLineKeys) {
    SetScaleLine(scale, key, ini.Get(kScale, ScaleLineKeyName(key)).value_or(""));
  }
}

void SaveCommInfo(const BenchState& state) {
  IniFile ini = IniFile::Load(CommInfoPath(state));
  WriteCommInfo(ini, state);
  ini.Save();
}

void WriteCommInfo(IniFile& ini, const BenchState& state) {
  for (const RowKey& col : kRowKeys) {
    for (int row = 0; row < kMeterRows; ++row) {
      ini.Set(col.section, std::to_string(row), std::to_string(state.Rows[row].*col.field));
    }
  }
  // A line setting that follows the protocol is written empty.
  const ScaleSettings& scale = state.Scale;
  std::vector<AddedKey> keys = {{kScale, "Device", scale.Device, scale.Device.empty()},
                                {kScale, "Protocol", std::string(ScaleProtocolName(scale.Protocol)),
                                 scale.Protocol == ScaleSettings{}.Protocol}};
  for (const ScaleLineKey key : kScaleLineKeys) {
    std::string setting = ScaleLineSetting(scale, key);
    keys.push_back({kScale, ScaleLineKeyName(key), setting, setting.empty()});
  }
  SetAddedKeys(ini, keys);
}

void SetDefaultFlowPoints(SystemSettings& settings, int32_t dn) {
  if (!ValidDn(dn)) return;
  // 64-bit integer arithmetic keeps every percentage exact (2 % of 2500 is
  // 50) and 2 x the largest nominal flow within range.
  const int64_t q = NominalFlowTable[dn];
  for (int i = 0; i < kFlowPoints; ++i) {
    settings.*kFlowPointFields[i] = static_cast<int32_t>(q * kFlowPointPercent[i] / 100);
  }
}

std::string FloatText(double v) {
  if (v == 0) return "0";  // also -0
  // Shortest text that keeps 15 significant digits, like "%.15g" but free of
  // the process locale; an exponent is written "1E20" / "1E-5".
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  std::string text(buf, res.ptr);
  const size_t e = text.find('e');
  if (e == std::string::npos) return text;
  std::string mantissa = text.substr(0, e);
  std::string_view exp = std::string_view(text).substr(e + 1);
  std::string sign;
  if (exp.front() == '-') sign = "-";
  exp.remove_prefix(1);  // '+' or '-'
  while (exp.size() > 1 && exp.front() == '0')
    exp.remove_prefix(1);
  return mantissa + "E" + sign + std::string(exp);
}

}  // namespace qv
