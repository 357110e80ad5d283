#include "journal/ui/results_workbook.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "journal/core/journal_store.h"
#include "journal/core/verification_record.h"

namespace qv {
namespace {

constexpr uint32_t kRed = 0xFF0000;

// What the grid's cells of one flow point hold, in the order of the
// layout's columns: the journal's key of each, and the limit that makes an
// error red (empty for a cell that is no error). "coef" is the point's own
// coefficient, as the flow grid shows it under the point.
struct CellSource {
  std::string_view key;
  std::string_view limit;
};
constexpr CellSource kFlowCells[] = {
    {"meter_volume", ""}, {"volume_error", "volume_limit"}, {"coef", ""}};
constexpr CellSource kOverallCells[] = {{"meter_volume", ""},
                                        {"volume_error", "volume_limit"},
                                        {"meter_heat", ""},
                                        {"heat_error", "heat_limit"}};

// The combo box texts of the detection windows' class and location.
constexpr std::array<std::array<const char*, 3>, 2> kLevels = {
    {{"1 级", "2 级", "3 级"}, {"Level one", "Level two", "Level three"}}};
constexpr std::array<std::array<const char*, 2>, 2> kLocations = {
    {{"回水", "进水"}, {"Exit", "Entre"}}};

std::string Field(const ReadingRecord& r, std::string_view key) {
  static const std::vector<std::string> keys = ReadingColumns();
  const auto at = std::find(keys.begin(), keys.end(), key);
  return at == keys.end() ? std::string() : ReadingField(r, static_cast<size_t>(at - keys.begin()));
}

// The reading's verdict covers both its errors; an error is red when the
// reading failed on it (journal/core/verification_record.h).
bool Red(const ReadingRecord& r, std::string_view error) {
  return error == "heat_error" ? HeatFailed(r) : VolumeFailed(r);
}

std::vector<ExportCell> PointCells(const ReadingRecord& r, std::span<const CellSource> sources) {
  std::vector<ExportCell> cells;
  for (const CellSource& s : sources) {
    const std::string key =
        s.key == "coef" ? "coef" + std::to_string(r.FlowPoint) : std::string(s.key);
    ExportCell& cell = cells.emplace_back(ExportCell{Field(r, key), 0});
    if (!s.limit.empty() && !cell.text.empty() && Red(r, s.key)) cell.rgb = kRed;
  }
  return cells;
}

ExportTable Table(const std::vector<const ReadingRecord*>& readings, const WorkbookLayout& layout,
                  std::span<const CellSource> sources, bool english) {
  ExportTable t;
  t.layout = &layout;
  const ReadingRecord& newest = *readings.front();
  const auto header = [&](HeaderValue v) -> std::string& {
    return t.header[static_cast<size_t>(v)];
  };
  header(HeaderValue::kCaliber) = newest.Dn ? std::to_string(newest.Dn) : "";
  if (newest.Level >= 1 && newest.Level <= 3)
    header(HeaderValue::kLevel) = kLevels[english][newest.Level - 1];
  if (newest.Location == 0 || newest.Location == 1)
    header(HeaderValue::kLocation) = kLocations[english][newest.Location];
  header(HeaderValue::kTester) = newest.Tester;
  header(HeaderValue::kDate) = newest.Time.substr(0, 10);
  t.flux_num = kFlowPoints - 1;
  std::map<std::string, size_t> rows;  // address -> index in t.rows
  for (const ReadingRecord* r : readings) {
    if (r->FlowPoint < 1 || r->FlowPoint > kFlowPoints) continue;
    const size_t k = static_cast<size_t>(r->FlowPoint - 1);
    if (r->FlowPoint == kFlowPoints) t.flux_num = kFlowPoints;
    if (t.flow_points[k].empty()) t.flow_points[k] = std::to_string(r->Flow);
    const auto [at, added] = rows.try_emplace(r->Address, t.rows.size());
    if (added) t.rows.push_back({r->Address, {}});
    std::vector<ExportCell>& cells = t.rows[at->second].points[k];
    if (cells.empty()) cells = PointCells(*r, sources);  // newer readings came first
  }
  return t;
}

}  // namespace

std::vector<ExportTable> ReadingTables(const std::vector<ReadingRecord>& readings, bool english) {
  std::vector<ExportTable> tables;
  for (const auto& [window, layout, sources] :
       {std::tuple{kFlowWindow, &FlowWorkbook(), std::span<const CellSource>(kFlowCells)},
        std::tuple{kOverallWindow, &OverallWorkbook(),
                   std::span<const CellSource>(kOverallCells)}}) {
    std::vector<const ReadingRecord*> own;
    for (const ReadingRecord& r : readings) {
      if (r.Window == window) own.push_back(&r);
    }
    if (!own.empty()) tables.push_back(Table(own, *layout, sources, english));
  }
  return tables;
}

}  // namespace qv
