#include "core/data_dir.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define QV_GETPID _getpid
#else
#include <unistd.h>
#define QV_GETPID ::getpid
#endif

namespace qv {
namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// The files copied from beside the program on a first start: the two
// settings files, which a bench is set up with before it is installed.
constexpr std::string_view kSettingsFiles[] = {"sysinfo.ini", "comminfo.ini"};

std::string WithSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != '/' && dir.back() != kSeparator) dir += kSeparator;
  return dir;
}

bool NonEmpty(const char* s) {
  return s != nullptr && *s != '\0';
}

}  // namespace

std::string UserDataDir(const EnvLookup& env) {
#if defined(_WIN32)
  const char* appdata = env("APPDATA");
  if (!NonEmpty(appdata)) return {};
  return WithSeparator(appdata) + kDataFolderName + kSeparator;
#else
  // The XDG base directory rule: a relative $XDG_DATA_HOME is ignored.
  const char* xdg = env("XDG_DATA_HOME");
  if (NonEmpty(xdg) && xdg[0] == '/') return WithSeparator(xdg) + kDataFolderName + "/";
  const char* home = env("HOME");
  if (!NonEmpty(home)) return {};
  return WithSeparator(home) + ".local/share/" + kDataFolderName + "/";
#endif
}

bool DirWritable(const std::string& dir) {
  const fs::path probe =
      fs::path(dir.empty() ? "." : dir) / (".write-probe-" + std::to_string(QV_GETPID()));
  bool made = false;
  {
    std::ofstream out(probe, std::ios::binary | std::ios::app);
    made = out.good() && out.put('\n').flush().good();
  }
  std::error_code ec;
  fs::remove(probe, ec);
  return made;
}

DataDirChoice ChooseDataDir(const std::string& program_dir, const EnvLookup& env) {
  DataDirChoice choice{program_dir, true, {}, {}};
  // /usr belongs to the package manager: even a user who may write there
  // (root) keeps his files in his own folder.
  const bool packaged = program_dir.starts_with("/usr/");
  if (!packaged && DirWritable(program_dir)) return choice;
  const std::string user = UserDataDir(env);
  std::error_code ec;
  if (user.empty() || (fs::create_directories(user, ec), ec) || !DirWritable(user)) {
    choice.Unusable = user.empty() ? std::string("$HOME") : user;
    return choice;
  }
  choice.Dir = user;
  choice.BesideProgram = false;
  for (std::string_view name : kSettingsFiles) {
    const fs::path from = fs::path(program_dir) / name;
    const fs::path to = fs::path(user) / name;
    if (!fs::is_regular_file(from, ec) || fs::exists(to, ec)) continue;
    if (!fs::copy_file(from, to, fs::copy_options::skip_existing, ec)) continue;
    // A copy of a read-only file would refuse every later save.
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    choice.Copied.emplace_back(name);
  }
  return choice;
}

std::string DataDirLine(const DataDirChoice& choice) {
  std::string line = " 数据文件夹：" + choice.Dir;
  if (choice.BesideProgram && choice.Unusable.empty()) return line + "（程序所在文件夹）";
  if (choice.BesideProgram) {
    return line + "（程序所在文件夹不可写，用户数据文件夹" + choice.Unusable + "无法创建）";
  }
  line += "（程序所在文件夹不可写";
  if (!choice.Copied.empty()) {
    line += "，已从程序所在文件夹复制";
    for (size_t i = 0; i < choice.Copied.size(); ++i)
      line += (i ? "、" : "") + choice.Copied[i];
  }
  return line + "）";
}

}  // namespace qv
