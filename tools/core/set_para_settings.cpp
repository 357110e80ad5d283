#include "tools/core/set_para_settings.h"

#include <algorithm>
#include <cctype>

#include "core/number_format.h"
#include "core/settings_files.h"
#include "core/text.h"
#include "protocol/entry_value.h"
#include "protocol/routing.h"

namespace qv {
namespace {

using S = SystemSettings;

// clang-format off
constexpr std::array<SettingList, 9> kLists{{
    {"cbxCommProtocol", &S::CommProtocol,     0, 2},
    {"cbxMeterType",    &S::MeterType,        0, 2},
    {"cbxCaliber",      &S::DN,               0, kDnCount},
    {"cbxLevel",        &S::MeasurementLevel, 0, 3},
    {"cbxLocation",     &S::Location,         0, 2},
    {"cbxMeterNum",     &S::MeterNum,         1, kMeterRows},
    {"cbxLanguage",     &S::Language,         0, 2},
    {"cbxFluxNum",      &S::FluxNum,          1, kFlowPoints},
    {"cbxCommType",     &S::CommType,         0, 4},
}};

// An emptied wait stores the default second, an emptied retry count the
// default three attempts; everything else 0.
constexpr std::array<SettingEdit, 12> kEdits{{
    {"edtError",          &S::StandardError,   0},
    {"edtCorrection",     &S::ErrorCorrection, 0},
    {"edtFlux1",          &S::FluxOne,         0},
    {"edtFlux2",          &S::FluxTwo,         0},
    {"edtFlux3",          &S::FluxThree,       0},
    {"edtFlux4",          &S::FluxFour,        0},
    {"edtFlux5",          &S::FluxFive,        0},
    {"edtEntreTerm",      &S::EntreTerm,       0, &FlowPointTerm::Entre},
    {"edtExitTerm",       &S::ExitTerm,        0, &FlowPointTerm::Exit},
    {"edtFluidTerm",      &S::FluidTerm,       0, &FlowPointTerm::Fluid},
    {"edtWaitTime",       &S::CommWaitTimer,   1000},
    {"edtReadAgainTimes", &S::ReadAgainTimes,  3},
}};
// clang-format on

constexpr std::array<TextSetting, 5> kTexts{{
    {"edtBenchName", [](BenchState& s) -> std::string& { return s.Settings.BenchName; },
     TextRule::kAny},
    {"edtReference", [](BenchState& s) -> std::string& { return s.Settings.BenchReference; },
     TextRule::kAny},
    {"edtCalibrationDue", [](BenchState& s) -> std::string& { return s.Settings.CalibrationDue; },
     TextRule::kDate},
    {"edtServer", [](BenchState& s) -> std::string& { return s.Settings.FactoryServer; },
     TextRule::kNoPassword},
    {"edtScaleDevice", [](BenchState& s) -> std::string& { return s.Scale.Device; },
     TextRule::kAny},
}};

constexpr std::array<ScaleList, 5> kScaleLists{{
    {"cbxScaleProtocol", std::nullopt},
    {"cbxScaleBaud", ScaleLineKey::kBaud},
    {"cbxScaleDataBits", ScaleLineKey::kDataBits},
    {"cbxScaleParity", ScaleLineKey::kParity},
    {"cbxScaleStopBits", ScaleLineKey::kStopBits},
}};

// The communication modes' effect on a row's lists; rows past the meter
// count are always disabled where a mode enables.
enum class Lists : uint8_t { kKeep, kNone, kFirstRow, kMeters, kFirstRowKept };
struct CommModeRule {
  int32_t comm_type;
  Lists ports;
  Lists channels;
};
constexpr std::array<CommModeRule, 4> kCommModes{{
    {kCommSingle, Lists::kFirstRowKept, Lists::kNone},
    {kCommMulti, Lists::kMeters, Lists::kNone},
    {kCommInfrared, Lists::kKeep, Lists::kKeep},
    {kCommChannel, Lists::kFirstRow, Lists::kMeters},
}};

std::optional<bool> Apply(Lists rule, int32_t meter_num, int row) {
  switch (rule) {
    case Lists::kKeep:
      return std::nullopt;
    case Lists::kNone:
      return false;
    case Lists::kFirstRow:
      return row == 0;
    case Lists::kMeters:
      return row < meter_num;
    case Lists::kFirstRowKept:
      if (row == 0) return std::nullopt;
      return false;
  }
  return std::nullopt;
}

std::optional<int64_t> WholeNumber(std::string_view text) {
  return EntryValue(std::string(text)).Integer();
}

}  // namespace

std::span<const SettingList> SettingLists() {
  return kLists;
}

const SettingList* FindSettingList(std::string_view object) {
  for (const SettingList& l : kLists) {
    if (l.object == object) return &l;
  }
  return nullptr;
}

bool StoreSettingIndex(SystemSettings& s, const SettingList& list, int index) {
  if (index < 0 || index >= list.count) return false;
  s.*list.member = index + list.offset;
  if (list.member == &S::DN) SetDefaultFlowPoints(s, s.DN);
  return true;
}

int SettingIndex(const SystemSettings& s, const SettingList& list) {
  const int index = s.*list.member - list.offset;
  return index >= 0 && index < list.count ? index : -1;
}

std::span<const SettingEdit> SettingEdits() {
  return kEdits;
}

bool AcceptsSettingText(const SettingEdit& edit, std::string_view text) {
  const std::string_view t = TrimText(text);
  if (t.empty()) return true;
  if (std::holds_alternative<double S::*>(edit.member)) return ParseNumber(t).has_value();
  const std::optional<int64_t> v = WholeNumber(t);
  if (!v) return false;
  if (std::holds_alternative<uint16_t S::*>(edit.member)) return *v >= 0 && *v <= UINT16_MAX;
  return *v >= INT32_MIN && *v <= INT32_MAX;
}

bool StoreSettingText(BenchState& state, const SettingEdit& edit, std::string_view text) {
  if (!AcceptsSettingText(edit, text)) return false;
  const std::string_view t = TrimText(text);
  SystemSettings& s = state.Settings;
  if (const auto* d = std::get_if<double S::*>(&edit.member)) {
    s.** d = t.empty() ? edit.empty : *ParseNumber(t);
    if (edit.term) {
      for (FlowPointTerm& point : state.FlowPointTerms)
        point.*edit.term = s.**d;
    }
  } else if (const auto* w = std::get_if<uint16_t S::*>(&edit.member)) {
    s.** w = static_cast<uint16_t>(t.empty() ? edit.empty : *WholeNumber(t));
  } else {
    s.*std::get<int32_t S::*>(edit.member) =
        static_cast<int32_t>(t.empty() ? edit.empty : *WholeNumber(t));
  }
  return true;
}

std::string SettingText(const SystemSettings& s, const SettingEdit& edit) {
  if (const auto* d = std::get_if<double S::*>(&edit.member)) return FloatText(s.**d);
  if (const auto* w = std::get_if<uint16_t S::*>(&edit.member)) return std::to_string(s.**w);
  return std::to_string(s.*std::get<int32_t S::*>(edit.member));
}

std::span<const TextSetting> TextSettings() {
  return kTexts;
}

bool AcceptsTextSetting(const TextSetting& setting, std::string_view text) {
  const std::string t = OneLineText(text);
  switch (setting.rule) {
    case TextRule::kAny:
      return true;
    case TextRule::kDate:
      return t.empty() || IsCalibrationDate(t);
    case TextRule::kNoPassword:
      return !HoldsPassword(t);
  }
  return false;
}

bool StoreTextSetting(BenchState& state, const TextSetting& setting, std::string_view text) {
  if (!AcceptsTextSetting(setting, text)) return false;
  setting.field(state) = OneLineText(text);
  return true;
}

std::span<const ScaleList> ScaleLists() {
  return kScaleLists;
}

std::vector<std::string> ScaleListItems(const ScaleList& list) {
  const auto names = list.key ? ScaleLineChoices(*list.key) : std::span(kScaleProtocolNames);
  return {names.begin(), names.end()};
}

int ScaleListIndex(const ScaleSettings& scale, const ScaleList& list) {
  if (!list.key) return static_cast<int>(scale.Protocol);
  const auto choices = ScaleLineChoices(*list.key);
  const auto it = std::find(choices.begin(), choices.end(), ScaleLineValue(scale, *list.key));
  return it == choices.end() ? -1 : static_cast<int>(it - choices.begin());
}

bool StoreScaleIndex(ScaleSettings& scale, const ScaleList& list, int index) {
  const std::vector<std::string> items = ScaleListItems(list);
  if (index < 0 || index >= static_cast<int>(items.size())) return false;
  if (!list.key) {
    scale.ChooseProtocol(static_cast<ScaleProtocol>(index));
    return true;
  }
  return SetScaleLine(scale, *list.key, items[index]);
}

CommLayout CommModeLayout(int32_t comm_type, int32_t meter_num, int row) {
  for (const CommModeRule& m : kCommModes) {
    if (m.comm_type == comm_type) {
      return {Apply(m.ports, meter_num, row), Apply(m.channels, meter_num, row)};
    }
  }
  return {};
}

void CloseOtherPorts(SharedState& state) {
  for (int n = 1; n <= kPortSlotCount; ++n) {
    if (n == state.Rows[0].Comm) continue;
    PortSlot& slot = state.Slots[n];
    if (slot.PortOpen && slot.Port) slot.Port->Close();
    slot.PortOpen = false;
  }
}

bool ChooseRowPort(SharedState& state, int row, int32_t comm) {
  std::string why;  // the port opened but its threads could not be started
  const bool open = AssignRowPort(state, row, comm, &why);
  if (!why.empty()) {
    state.Log.Post(" 串口COM" + std::to_string(comm) + "打开失败：" + why);
    return false;
  }
  // A port that would not open has logged why.
  return open;
}

std::vector<int> RowsTakingDn(std::span<const MeterRow> rows, int32_t meter_num, int row,
                              bool same) {
  if (!same) return {row};
  std::vector<int> out;
  const int count = std::clamp(meter_num, 0, static_cast<int32_t>(rows.size()));
  for (int r = 0; r < count; ++r) {
    if (rows[r].Selected) out.push_back(r);
  }
  return out;
}

bool IsNewAddress(std::string_view text) {
  const std::string_view t = TrimText(text);
  return !t.empty() && t.size() <= static_cast<size_t>(kNewAddressLength) &&
         std::all_of(t.begin(), t.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

std::optional<int32_t> CoefficientValue(std::string_view text) {
  const std::string_view t = TrimText(text);
  if (t.empty()) return 0;
  const std::optional<int64_t> v = WholeNumber(t);
  if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(*v);
}

std::optional<int32_t> CoefficientToSend(std::string_view text) {
  const std::string_view t = TrimText(text);
  if (t.empty()) return std::nullopt;
  const std::optional<int64_t> v = WholeNumber(t);
  if (!v || *v < 0 || *v > kCoefficientMax) return std::nullopt;
  return static_cast<int32_t>(*v);
}

}  // namespace qv
