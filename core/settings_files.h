// sysinfo.ini (section "BaseParam": the settings record; "Bench" and
// "Factory": the bench's name, reference equipment, calibration due date
// and factory server) and comminfo.ini (sections "Comm" and "Channel": port
// and switch channel of each row; "Scale": the weighing scale; and the
// optional "Devices" section naming the device of a port number). Both live
// in the data folder, `BenchState::DataFolder()`. Loading never fails: a
// missing or bad value gives the key's default. Saving throws FileWriteError.
// "ParallelLines" and the "Bench", "Factory" and "Scale" sections are written
// once they hold more than their defaults or the file has them: a bench that
// uses none of them keeps the keys its files always had.
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
// "BaseParam", "Bench" and "Factory", a missing or bad value as its default.
void ReadSysInfo(const IniFile& ini, SystemSettings& settings);
// What SaveSysInfo sets in the document before writing it.
void WriteSysInfo(IniFile& ini, const SystemSettings& settings);
// Reads "Comm" and "Channel" of rows 0..19, the "Scale" and the "Devices"
// sections.
void LoadCommInfo(BenchState& state);
void ReadCommInfo(const IniFile& ini, BenchState& state);
// Writes "Comm", "Channel" and "Scale"; the "Devices" section is kept as it
// is.
void SaveCommInfo(const BenchState& state);
void WriteCommInfo(IniFile& ini, const BenchState& state);

// Flow points from the nominal flow Q of `dn`: 2 %, 1 %, 10 %, 100 % and
// 200 % of Q, truncated toward zero. A `dn` outside the table changes nothing.
void SetDefaultFlowPoints(SystemSettings& settings, int32_t dn);

// Float text as the settings files hold it: the shortest decimal text with
// at most 15 significant digits ("1", "0", "50", "0.1", "-2.5").
std::string FloatText(double v);

}  // namespace qv
