// The parameter settings window's rules without the window: which setting
// each list and edit of the basic parameters holds and how its text is
// stored, what the communication mode does to the rows' port and channel
// lists and to the open ports, a row's port choice, the pipe sizes copied
// to the selected rows, the new-address numbering and the coefficients as
// they are sent.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "protocol/commands.h"
#include "serial/port_slots.h"

namespace qv {

// A list of the basic parameters: the setting holds the list index plus
// `offset` (the meter and flow point counts start at 1).
struct SettingList {
  std::string_view object;
  int32_t SystemSettings::*member;
  int32_t offset;
  int32_t count;  // items of the list
};
// Every list of the basic parameters and the communication mode list.
std::span<const SettingList> SettingLists();
const SettingList* FindSettingList(std::string_view object);
// Stores the list index `index` (nothing for an index outside the list); a
// new pipe size also resets the five flow points from its nominal flow.
bool StoreSettingIndex(SystemSettings& s, const SettingList& list, int index);
// The index a list shows for its setting, -1 when the setting is outside it.
int SettingIndex(const SystemSettings& s, const SettingList& list);

// An edit of the basic parameters: a decimal number (double), a whole
// number within 32 bits (int32) or within 16 bits unsigned (uint16), and
// what an empty text stores. The temperatures are also copied into every
// flow point's temperatures (`term`).
using SettingMember =
    std::variant<double SystemSettings::*, int32_t SystemSettings::*, uint16_t SystemSettings::*>;
struct SettingEdit {
  std::string_view object;
  SettingMember member;
  double empty;
  double FlowPointTerm::*term = nullptr;
};
std::span<const SettingEdit> SettingEdits();
// Whether the edit takes `text` (blanks around it ignored; empty counts).
bool AcceptsSettingText(const SettingEdit& edit, std::string_view text);
// Stores `text`: false, with nothing changed, when the edit does not take it.
bool StoreSettingText(BenchState& state, const SettingEdit& edit, std::string_view text);
// The text the edit shows for its setting.
std::string SettingText(const SystemSettings& s, const SettingEdit& edit);

// A text of the bench group (name, reference equipment, calibration due
// date, factory server, scale device): stored as one line without the
// blanks around it; some refuse texts.
enum class TextRule {
  kAny,
  kDate,        // empty or a date "yyyy-mm-dd"
  kNoPassword,  // a connection text without a password
};
struct TextSetting {
  std::string_view object;
  std::string& (*field)(BenchState&);
  TextRule rule;
};
std::span<const TextSetting> TextSettings();
bool AcceptsTextSetting(const TextSetting& setting, std::string_view text);
// Stores `text`: false, with nothing changed, when the setting refuses it.
bool StoreTextSetting(BenchState& state, const TextSetting& setting, std::string_view text);

// A list of the scale: its protocol (no key) or one of its line settings.
struct ScaleList {
  std::string_view object;
  std::optional<ScaleLineKey> key;
};
std::span<const ScaleList> ScaleLists();
std::vector<std::string> ScaleListItems(const ScaleList& list);
// The item in force: the protocol, or the line setting given or the
// protocol's own; -1 when it is none of the items.
int ScaleListIndex(const ScaleSettings& scale, const ScaleList& list);
// Stores item `index` (nothing for an index outside the list). A protocol
// chosen brings its own line: every line setting follows it again.
bool StoreScaleIndex(ScaleSettings& scale, const ScaleList& list, int index);

// What the communication mode does to one row's port and channel lists:
// enabled, disabled, or left as they are (nothing).
struct CommLayout {
  std::optional<bool> port;
  std::optional<bool> channel;
};
CommLayout CommModeLayout(int32_t comm_type, int32_t meter_num, int row);
// One serial port for every meter: every open port but row 1's is closed.
void CloseOtherPorts(SharedState& state);
// The row's port list chose `comm` (0 = none): stored in the row, and the
// port opened when its slot is not open. A port that cannot be opened stays
// closed and the log says why. Whether the row now has an open port.
bool ChooseRowPort(SharedState& state, int row, int32_t comm);

// The rows whose pipe size list follows the one chosen in `row`: with
// `same` every selected row among 0..meter_num-1, else `row` alone.
std::vector<int> RowsTakingDn(std::span<const MeterRow> rows, int32_t meter_num, int row,
                              bool same);

// New addresses are typed as decimal numbers of up to 14 digits.
inline constexpr int kNewAddressLength = 14;
// Whether `text` can be written as a meter's new address: 1 to 14 hex
// digits (typed as decimal digits).
bool IsNewAddress(std::string_view text);

// The largest coefficient a frame carries (eight BCD digits).
inline constexpr int64_t kCoefficientMax = ValueField(Command::kWriteCoefficient).LargestRaw();
// A coefficient edit's value for the row: a whole number within 32 bits, 0
// for an empty text; nothing for any other text.
std::optional<int32_t> CoefficientValue(std::string_view text);
// A coefficient as it is sent: a whole number 0..kCoefficientMax. An empty
// text is no value: nothing.
std::optional<int32_t> CoefficientToSend(std::string_view text);

}  // namespace qv
