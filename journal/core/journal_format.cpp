// The parts of the results journal that need no database: where the
// journal lives, and the CSV and JSON forms of readings. They build
// wherever the program's core does, with or without SQLite.
#include <ctime>
#include <functional>

#include "core/number_format.h"
#include "core/settings_files.h"
#include "core/text.h"
#include "journal/core/journal_store.h"

namespace qv {

std::string JournalPath(const std::string& data_folder) {
  return data_folder + "results.sqlite";
}

namespace {

struct Column {
  const char* key;
  std::function<std::string(const ReadingRecord&)> text;
  bool number;
};

std::string Fixed(std::optional<double> v, int decimals) {
  return v ? FormatFixed(*v, decimals) : std::string();
}

std::string Integer(std::optional<int64_t> v) {
  return v ? std::to_string(*v) : std::string();
}

std::string Given(std::optional<double> v) {
  return v ? GivenTemperatureText(*v) : std::string();
}

const std::vector<Column>& Columns() {
  using R = const ReadingRecord&;
  static const std::vector<Column> columns = {
      {"time", [](R r) { return r.Time; }, false},
      {"window", [](R r) { return r.Window; }, false},
      {"tester", [](R r) { return r.Tester; }, false},
      {"address", [](R r) { return r.Address; }, false},
      {"row", [](R r) { return std::to_string(r.Row); }, true},
      {"dn", [](R r) { return std::to_string(r.Dn); }, true},
      {"level", [](R r) { return std::to_string(r.Level); }, true},
      {"location", [](R r) { return std::to_string(r.Location); }, true},
      {"standard_error", [](R r) { return FormatFixed(r.StandardError, 4); }, true},
      {"error_correction", [](R r) { return FormatFixed(r.ErrorCorrection, 4); }, true},
      {"flow_point", [](R r) { return std::to_string(r.FlowPoint); }, true},
      {"flow", [](R r) { return std::to_string(r.Flow); }, true},
      {"standard_volume", [](R r) { return Fixed(r.StandardVolume, shown::kStandardVolume); },
       true},
      {"reference_heat", [](R r) { return Fixed(r.ReferenceHeat, shown::kReferenceHeat); }, true},
      {"meter_volume", [](R r) { return Fixed(r.MeterVolume, shown::kVolume); }, true},
      {"meter_heat", [](R r) { return Fixed(r.MeterHeat, shown::kHeat); }, true},
      {"volume_error", [](R r) { return Fixed(r.VolumeError, shown::kPercent); }, true},
      {"volume_limit", [](R r) { return Fixed(r.VolumeLimit, shown::kPercent); }, true},
      {"heat_error", [](R r) { return Fixed(r.HeatError, shown::kPercent); }, true},
      {"heat_limit", [](R r) { return Fixed(r.HeatLimit, shown::kPercent); }, true},
      {"verdict", [](R r) { return r.Verdict; }, false},
      {"inlet", [](R r) { return Fixed(r.Inlet, shown::kTemperature); }, true},
      {"outlet", [](R r) { return Fixed(r.Outlet, shown::kTemperature); }, true},
      {"coef1", [](R r) { return Integer(r.Coefficients[0]); }, true},
      {"coef2", [](R r) { return Integer(r.Coefficients[1]); }, true},
      {"coef3", [](R r) { return Integer(r.Coefficients[2]); }, true},
      {"coef4", [](R r) { return Integer(r.Coefficients[3]); }, true},
      {"coef5", [](R r) { return Integer(r.Coefficients[4]); }, true},
      {"bench_name", [](R r) { return r.BenchName; }, false},
      {"bench_reference", [](R r) { return r.BenchReference; }, false},
      {"calibration_due", [](R r) { return r.CalibrationDue; }, false},
      {"meter_type", [](R r) { return r.MeterType ? std::to_string(*r.MeterType) : ""; }, true},
      {"fluid", [](R r) { return Given(r.Fluid); }, true},
      {"bench_inlet", [](R r) { return Given(r.BenchInlet); }, true},
      {"bench_outlet", [](R r) { return Given(r.BenchOutlet); }, true},
      {"weighing", [](R r) { return r.Weighing; }, false},
  };
  return columns;
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
// A text column's value that would start a formula in a spreadsheet gets its
// apostrophe; numbers are the program's own and stay numbers ("-3.50").
std::string CsvField(const std::string& value, bool number) {
  const std::string s = number ? value : SpreadsheetText(value);
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

std::vector<std::string> ReadingColumns() {
  std::vector<std::string> keys;
  for (const Column& c : Columns())
    keys.emplace_back(c.key);
  return keys;
}

std::string ReadingField(const ReadingRecord& r, size_t column) {
  return column < Columns().size() ? Columns()[column].text(r) : std::string();
}

std::string ReadingsCsv(const std::vector<ReadingRecord>& readings,
                        const std::vector<std::string>* benches) {
  std::string out = benches ? "bench," : "";
  const auto& columns = Columns();
  for (size_t i = 0; i < columns.size(); ++i)
    out += (i ? "," : "") + std::string(columns[i].key);
  out += "\r\n";
  for (size_t n = 0; n < readings.size(); ++n) {
    if (benches) out += CsvField(benches->at(n), false) + ",";
    for (size_t i = 0; i < columns.size(); ++i)
      out += (i ? "," : "") + CsvField(columns[i].text(readings[n]), columns[i].number);
    out += "\r\n";
  }
  return out;
}

std::string ReadingsJson(const std::vector<ReadingRecord>& readings,
                         const std::vector<std::string>* benches) {
  std::string out = "[";
  const auto& columns = Columns();
  for (size_t n = 0; n < readings.size(); ++n) {
    out += n ? ",\n {" : "\n {";
    if (benches) out += "\"bench\": " + JsonString(benches->at(n)) + ", ";
    for (size_t i = 0; i < columns.size(); ++i) {
      const std::string v = columns[i].text(readings[n]);
      out += (i ? ", " : "") + JsonString(columns[i].key) + ": ";
      out += v.empty() ? "null" : columns[i].number ? v : JsonString(v);
    }
    out += "}";
  }
  return out + (readings.empty() ? "]\n" : "\n]\n");
}

}  // namespace qv
