#include "detection/ui/result_export.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <ctime>

#include "core/ini_file.h"
#include "detection/ui/base_group.h"
#include "detection/ui/flow_grid.h"
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

ExportTable GatherTable(const WorkbookLayout& layout, const BaseGroup& base,
                        std::span<QLineEdit* const> flux, const TFlowGrid& grid, int flux_num) {
  ExportTable t;
  t.layout = &layout;
  const auto text = [](const QString& s) { return s.trimmed().toStdString(); };
  t.header[static_cast<size_t>(HeaderValue::kCaliber)] = text(base.cbxCaliber->currentText());
  t.header[static_cast<size_t>(HeaderValue::kLevel)] = text(base.cbxLevel->currentText());
  t.header[static_cast<size_t>(HeaderValue::kLocation)] = text(base.cbxLocation->currentText());
  t.header[static_cast<size_t>(HeaderValue::kTester)] = text(base.lblOperName->text());
  t.header[static_cast<size_t>(HeaderValue::kDate)] = text(base.lblDateTime1->text());
  for (size_t k = 0; k < t.flow_points.size() && k < flux.size(); ++k)
    t.flow_points[k] = flux[k]->text().toStdString();
  t.flux_num = flux_num;
  for (int r = 0; r < kMeterRows; ++r) {
    if (!grid.cbx[r]->isChecked()) continue;
    ExportRow& row = t.rows.emplace_back();
    row.address = grid.edtAddr[r]->text().toStdString();
    for (int k = 0; k < kFlowPoints; ++k) {
      for (const QLineEdit* cell : grid.PointCells(r, k)) {
        row.points[k].push_back(
            {cell->text().toStdString(), TFlowGrid::TextColour(*cell).rgb() & 0xFFFFFFu});
      }
    }
  }
  return t;
}

}  // namespace qv
