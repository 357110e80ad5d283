#include "detection/ui/result_export.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <ctime>

#include "core/ini_file.h"
#include "ui/operator_input.h"

namespace qv {

ResultExport::ResultExport(BenchState& state, TOperatorInput& input, QWidget* owner)
    : open(
          [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }),
      state_(state),
      input_(input),
      owner_(owner) {}

void ResultExport::Export(const ExportTable& table) {
  if (table.rows.empty()) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  std::string path;
  try {
    path = SaveWorkbook(table, ExportFolder(state_), local);
  } catch (const FileWriteError& e) {
    QMessageBox::critical(owner_, owner_->windowTitle(), QString::fromStdString(e.what()));
    return;
  }
  state_.Log.Post(" 导出数据：" + path);
  const QString saved = QString::fromStdString(path);
  // The results are kept whatever happens next: the operator is told where.
  if (!open(saved))
    input_.Inform(QString::fromUtf8("未安装Microsoft Excel 2000!请安装!\n") + saved);
}

namespace {

// The text of item `index` of list `object` in `captions`, in the language.
std::string ListText(const CaptionTable& captions, std::string_view object, int index,
                     bool english) {
  for (const ListCaptions& list : captions.lists) {
    if (object != list.object || index < 0 || index >= static_cast<int>(list.chinese.size()))
      continue;
    const char* text = (english ? list.english : list.chinese)[static_cast<size_t>(index)];
    return text ? text : "";
  }
  return {};
}

}  // namespace

ExportTable GatherTable(const WorkbookLayout& layout, const DetectionSheet& sheet,
                        const BenchState& state, const CaptionTable& captions) {
  const SystemSettings& s = state.Settings;
  ExportTable t;
  t.layout = &layout;
  const auto header = [&t](HeaderValue v) -> std::string& {
    return t.header[static_cast<size_t>(v)];
  };
  header(HeaderValue::kCaliber) = ValidDn(s.DN) ? std::to_string(DnSizeTable[s.DN]) : "";
  header(HeaderValue::kLevel) = ListText(captions, "cbxLevel", s.MeasurementLevel, s.English());
  header(HeaderValue::kLocation) = ListText(captions, "cbxLocation", s.Location, s.English());
  header(HeaderValue::kTester) = s.OperatorName;
  header(HeaderValue::kDate) = s.TestDate;
  for (int k = 0; k < kFlowPoints; ++k)
    t.flow_points[k] = std::to_string(s.FlowPoints()[k]);
  t.flux_num = s.FluxNum;
  const std::vector<SheetCell> cells =
      sheet.Heat()
          ? std::vector{SheetCell::kVolume, SheetCell::kVolumeError, SheetCell::kHeat,
                        SheetCell::kHeatError}
          : std::vector{SheetCell::kVolume, SheetCell::kVolumeError, SheetCell::kCoefficient};
  for (int r = 0; r < kMeterRows; ++r) {
    if (!state.Rows[r].Selected) continue;
    ExportRow& row = t.rows.emplace_back();
    row.address = state.Rows[r].Address;
    for (int k = 0; k < kFlowPoints; ++k) {
      for (SheetCell cell : cells) {
        const CellText shown = sheet.Cell(r, k, cell);
        row.points[k].push_back({shown.Text, shown.Red ? 0xFF0000u : 0u});
      }
    }
  }
  return t;
}

}  // namespace qv
