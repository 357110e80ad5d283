// Record times and the precision records keep: shared by the windows that
// make records and the journal that stores them.
#include <ctime>

#include "core/journal_records.h"
#include "core/number_format.h"
#include "core/settings_files.h"

namespace qv {

std::string JournalTime(std::chrono::system_clock::time_point t) {
  const std::time_t secs = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&secs, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

std::optional<double> Shown(std::optional<double> v, int decimals) {
  if (!v) return v;
  return ParseNumber(FormatFixed(*v, decimals));
}

std::string GivenTemperatureText(double v) {
  const std::string fixed = FormatFixed(v, shown::kTemperature);
  return ParseNumber(fixed) == v ? fixed : FloatText(v);
}

}  // namespace qv
