// sysinfo.ini (section "BaseParam": the settings record) and comminfo.ini
// (sections "Comm" and "Channel": port and switch channel of each row, and
// the optional "Devices" section naming the device of a port number). Both
// live in the data folder, `BenchState::DataFolder()`. Loading never fails: a missing or bad
// value gives the key's default. Saving throws FileWriteError.
#pragma once

#include <string>

#include "core/ini_file.h"
#include "core/shared_state.h"

namespace qv {

std::string SysInfoPath(const BenchState& state);
std::string CommInfoPath(const BenchState& state);

void LoadSysInfo(BenchState& state);
void SaveSysInfo(const BenchState& state);
// What LoadSysInfo takes from a document already read: every key of
// "BaseParam", a missing or bad value as its default.
void ReadSysInfo(const IniFile& ini, SystemSettings& settings);
// Reads "Comm" and "Channel" of rows 0..19 and the "Devices" section.
void LoadCommInfo(BenchState& state);
void ReadCommInfo(const IniFile& ini, BenchState& state);
// Writes "Comm" and "Channel"; the "Devices" section is kept as it is.
void SaveCommInfo(const BenchState& state);

// Flow points from the nominal flow Q of `dn`: 2 %, 1 %, 10 %, 100 % and
// 200 % of Q, truncated toward zero. A `dn` outside the table changes nothing.
void SetDefaultFlowPoints(SystemSettings& settings, int32_t dn);

// Float text as the settings files hold it: the shortest decimal text with
// at most 15 significant digits ("1", "0", "50", "0.1", "-2.5").
std::string FloatText(double v);

}  // namespace qv
