// The folder of the files the program writes: the settings files, Info.txt,
// the hourly trace files and exports/. Beside the program when its folder
// can be written (a copy unpacked anywhere, as always); otherwise, as for a
// program installed under /usr or /opt, the user's own data folder, which
// the first start fills with the settings files found beside the program.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qv {

// The folder's name under the user's data folder.
inline constexpr char kDataFolderName[] = "qorvantis";

// Looks up an environment variable; null when it is not set.
using EnvLookup = std::function<const char*(const char*)>;

// The user's data folder of this program, with its trailing separator: on
// Windows %APPDATA%\qorvantis\, elsewhere by the XDG rule $XDG_DATA_HOME
// (when it is an absolute path) or else $HOME/.local/share, then
// qorvantis/. Empty when the environment names no such folder.
std::string UserDataDir(const EnvLookup& env);

// Whether a file can be created in `dir` right now: a probe file is created
// and removed again. (Asking the permission bits would tell a privileged
// user "no" for a folder he can write, and miss a read-only mount.)
bool DirWritable(const std::string& dir);

struct DataDirChoice {
  std::string Dir;                  // with its trailing separator
  bool BesideProgram;               // Dir is the program's folder
  std::string Unusable;             // the user folder that could not be created, if any
  std::vector<std::string> Copied;  // settings files copied in from beside the program
};

// The data folder for a program in `program_dir`: that folder when it is
// writable and not under /usr (the package manager's), else the user's data folder (created when
// missing), into which each settings file found beside the program is copied unless the user folder
// has its own. When the user folder cannot be made either, the program's folder after all (its
// saves then fail with their message).
DataDirChoice ChooseDataDir(const std::string& program_dir, const EnvLookup& env);

// The operation log's start-up line about the choice, for instance
// " 数据文件夹：/home/u/.local/share/qorvantis/（程序所在文件夹不可写）".
std::string DataDirLine(const DataDirChoice& choice);

}  // namespace qv
