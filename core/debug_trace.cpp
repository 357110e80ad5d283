#include "core/debug_trace.h"

#include <cstdio>
#include <ctime>

#include "core/ini_file.h"

namespace qv {

void WriteDebugLog(const std::string& dir, std::string_view text,
                   std::chrono::system_clock::time_point now) {
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const int year = tm.tm_year + 1900;
  const int month = tm.tm_mon + 1;

  // A new file every hour: "yyyyMMddhh" + "Text.txt".
  char file[96];
  std::snprintf(file, sizeof file, "%04d%02d%02d%02dText.txt", year, month, tm.tm_mday, tm.tm_hour);
  // One section per second, "yyyy-MM-dd hh:nn:ss": a second call within the
  // same second replaces the first entry.
  char section[96];
  std::snprintf(section, sizeof section, "%04d-%02d-%02d %02d:%02d:%02d", year, month, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);

  IniFile ini = IniFile::Load(dir + file);
  ini.Set(section, "调试", text);
  ini.Save();
}

}  // namespace qv
