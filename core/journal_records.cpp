// Record times and the precision records keep: shared by the windows that
// make records and the journal that stores them.
#include "core/journal_records.h"
#include "core/number_format.h"
#include "core/operation_log.h"
#include "core/settings_files.h"

namespace qv {

std::string JournalTime(std::chrono::system_clock::time_point t) {
  // The log's stamp without its brackets.
  const std::string stamp = LogStamp(t);
  return stamp.substr(1, stamp.size() - 2);
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
